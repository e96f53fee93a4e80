// Drag and drop in the switcher dialog: the switcher thread's side.
//
// Thread: the switcher thread (DialogProc2). While it waits in
// runOnMainThread it still carries out the tree messages the main thread
// sends back to its control.
#include "editing/dragdrop_win32.h"

#include <windowsx.h>

#include "editing/dragdrop.h"
#include "log/log.h"
#include "platform/handles.h"
#include "shell/mainthread_win32.h"

int g_bDragging = 0;

namespace {

struct DragState {
    HWND tree = nullptr;           // the control the drag image is locked to
    HTREEITEM target = nullptr;    // the last group item drop-highlighted
    bool cursorHidden = false;     // this thread owes one ShowCursor(TRUE)
    UniqueImageList image;         // from TVM_CREATEDRAGIMAGE
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
    return 0;
}

// Back to idle. The state is cleared before the calls: ReleaseCapture sends
// WM_CAPTURECHANGED to the dialog, which must find no drag left to end.
void finishDrag() {
    const bool showCursor = g_drag.cursorHidden;
    g_bDragging = 0;
    g_drag.cursorHidden = false;
    g_drag.target = nullptr;
    g_drag.tree = nullptr;
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
    g_drag.tree = tree;
    g_drag.target = nullptr;
    g_drag.image.reset(reinterpret_cast<HIMAGELIST>(
        SendMessageW(tree, TVM_CREATEDRAGIMAGE, 0, reinterpret_cast<LPARAM>(item))));
    bool imageShown = true;
    if (!ImageList_BeginDrag(g_drag.image.get(), 0, 0, 0)) {
        logMessage(PLR_T("ImageList_BeginDrag failed."));
        imageShown = false;
    }
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
    // Dialog client coordinates; fixed offsets stand in for the conversion
    // to the tree's coordinates.
    const int x = GET_X_LPARAM(lParam);
    const int y = GET_Y_LPARAM(lParam);
    ImageList_DragMove(x - 32, y - 25);
    ImageList_DragShowNolock(FALSE);

    TVHITTESTINFO hit = {};
    hit.pt.x = x - 20;
    hit.pt.y = y - 20;
    const HTREEITEM item =
        reinterpret_cast<HTREEITEM>(SendMessageW(g_drag.tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (item != nullptr && runOnMainThread(isGroupOnMainThread, item) != 0) {
        // Wine's tree view ignores a drop highlight on its current item and
        // leaves the old one in place, which would show another group as the
        // target: clear it first. The drop uses the tracked target.
        if (reinterpret_cast<HTREEITEM>(SendMessageW(g_drag.tree, TVM_GETNEXTITEM, TVGN_CARET, 0)) == item)
            SendMessageW(g_drag.tree, TVM_SELECTITEM, TVGN_DROPHILITE, 0);
        SendMessageW(g_drag.tree, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(item));
        g_drag.target = item;
    }
    ImageList_DragShowNolock(TRUE);
}

void dragButtonUp(HWND hDlg) {
    if (g_bDragging == 0) return;
    ImageList_DragLeave(g_drag.tree);
    ImageList_EndDrag();
    DropRequest request = {hDlg, g_drag.target};
    runOnMainThread(dropOnMainThread, &request);
    finishDrag();
}

void dragResetAfterSwitch() {
    if (g_bDragging == 0) {
        g_drag.image.reset();
        return;
    }
    ImageList_DragLeave(g_drag.tree);
    ImageList_EndDrag();
    finishDrag();
}
