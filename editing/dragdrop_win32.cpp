// Drag and drop in the switcher dialog: the switcher thread's side.
//
// Thread: the switcher thread (DialogProc2). While it waits in
// runOnMainThread it still carries out the tree messages the main thread
// sends back to its control.
#include "editing/dragdrop_win32.h"

#include <windowsx.h>

#include "editing/dragdrop.h"
#include "editing/dragtrack.h"
#include "log/log.h"
#include "platform/handles.h"
#include "shell/mainthread_win32.h"

int g_bDragging = 0;

namespace {

// Where the pointer is in the drag image: on the middle of the 16-pixel
// picture at the image's left, which stands in for the hidden cursor.
const int kDragHotSpot = 8;

struct DragState {
    DragTrack track = {nullptr, nullptr, nullptr};  // the drag image is locked to track.tree
    bool cursorHidden = false;                      // this thread owes one ShowCursor(TRUE)
    UniqueImageList image;                          // from TVM_CREATEDRAGIMAGE
};

// Switcher thread only, one at a time (see g_bDragging).
DragState g_drag;

struct DropRequest {
    HWND dialog;
    HTREEITEM target;
};

LRESULT beginOnMainThread(void *context) { return dragSourceIsWindowItem(static_cast<HTREEITEM>(context)) ? 1 : 0; }

LRESULT isGroupOnMainThread(void *context) { return isGroupItem(static_cast<HTREEITEM>(context)) ? 1 : 0; }

LRESULT dropOnMainThread(void *context) {
    const DropRequest *request = static_cast<const DropRequest *>(context);
    dropOnTarget(request->dialog, request->target);
    return 1;
}

bool isGroupViaMainThread(HTREEITEM item) { return runOnMainThread(isGroupOnMainThread, item) != 0; }

// runOnMainThread gives 0 when the main thread did not run the drop.
bool dropViaMainThread(HWND dialog, HTREEITEM target) {
    DropRequest request = {dialog, target};
    return runOnMainThread(dropOnMainThread, &request) != 0;
}

// Back to idle. The state is cleared before the calls: ReleaseCapture sends
// WM_CAPTURECHANGED to the dialog, which must find no drag left to end.
void finishDrag() {
    const bool showCursor = g_drag.cursorHidden;
    g_bDragging = 0;
    g_drag.cursorHidden = false;
    g_drag.track = DragTrack{nullptr, nullptr, nullptr};
    g_drag.image.reset();
    ReleaseCapture();
    if (showCursor) ShowCursor(TRUE);
}

}  // namespace

void dragBegin(HWND hDlg, const NMTREEVIEWW *info) {
    if (info == nullptr || g_bDragging != 0) return;
    const HTREEITEM item = info->itemNew.hItem;
    // Records the drag source and tells whether it is a window item; a group
    // item is not dragged.
    if (runOnMainThread(beginOnMainThread, item) == 0) return;

    const HWND tree = GetDlgItem(hDlg, IDC_SWITCHER_TREE);
    g_drag.track = DragTrack{hDlg, tree, nullptr};
    g_drag.image.reset(reinterpret_cast<HIMAGELIST>(
        SendMessageW(tree, TVM_CREATEDRAGIMAGE, 0, reinterpret_cast<LPARAM>(item))));
    bool imageShown = true;
    if (!ImageList_BeginDrag(g_drag.image.get(), 0, kDragHotSpot, kDragHotSpot)) {
        logMessage(PLR_T("ImageList_BeginDrag failed."));
        imageShown = false;
    }
    // ptDrag is in the tree's client coordinates already. The drag image is
    // placed in the tree's window coordinates, which are the same: the tree
    // has no border.
    if (!ImageList_DragEnter(tree, info->ptDrag.x, info->ptDrag.y)) {
        logMessage(PLR_T("ImageList_BeginDrag failed."));
        imageShown = false;
    }
    // The drag image stands in for the cursor. Without one (Wine's tree view
    // makes an empty drag image) the cursor stays, or nothing would show
    // where the mouse is.
    if (imageShown) {
        ShowCursor(FALSE);
        g_drag.cursorHidden = true;
    }
    SetCapture(hDlg);
    g_bDragging = 1;
}

void dragMouseMove(HWND, LPARAM lParam) {
    if (g_bDragging == 0) return;
    // The message gives the pointer in the dialog's client coordinates; the
    // tree's hit test and the drag image need it in the tree's.
    const POINT pointer = dragPointInTree(g_drag.track, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    ImageList_DragMove(pointer.x, pointer.y);
    // The highlight changes with the image hidden, which would otherwise
    // leave traces of itself in the tree.
    ImageList_DragShowNolock(FALSE);
    dragTrackPointer(&g_drag.track, pointer, isGroupViaMainThread);
    ImageList_DragShowNolock(TRUE);
}

void dragButtonUp(HWND) {
    if (g_bDragging == 0) return;
    ImageList_DragLeave(g_drag.track.tree);
    ImageList_EndDrag();
    dragTrackRelease(&g_drag.track, dropViaMainThread);
    finishDrag();
}

void dragResetAfterSwitch() {
    if (g_bDragging == 0) {
        g_drag.image.reset();
        return;
    }
    ImageList_DragLeave(g_drag.track.tree);
    ImageList_EndDrag();
    finishDrag();
}
