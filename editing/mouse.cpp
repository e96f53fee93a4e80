#include "editing/mouse.h"

#include "log/log.h"
#include "model/globals.h"
#include "model/threading.h"
#include "platform/desktop.h"

namespace {

bool isOpenDialog(HWND dialog) { return dialog != nullptr && dialog == g_hwndSwitcherDialog; }

// A click handed over while a group deletion waits on the applications it
// closes must not move the selection: the deletion has already chosen the
// selected group, and emptying the root or selecting the parent's first
// window afterwards would leave no selected group, or two selected windows.
bool deletionRunning() { return g_bDeletingGroup != 0; }

HTREEITEM treeItem(HWND dialog, WPARAM which) {
    return reinterpret_cast<HTREEITEM>(sendTreeMessage(dialog, TVM_GETNEXTITEM, which, 0));
}

void selectTreeItem(HWND dialog, WPARAM which, HTREEITEM item) {
    sendTreeMessage(dialog, TVM_SELECTITEM, which, reinterpret_cast<LPARAM>(item));
}

// True when `window` is one of the records of `group`'s subtree. Compared by
// identity: an item handle would also match a record whose item was never
// inserted (null hti).
bool subtreeHolds(PLRGroup *group, PLRWindow *window) {
    return window != nullptr && group->findWindowByHwnd(window->hwnd) == window;
}

}  // namespace

void makeSelectedWindow(PLRWindow *window, HTREEITEM item, MouseClick click) {
    PLR_ASSERT_MODEL_THREAD();
    const bool dbl = click == MouseClick::Double;

    // No window is selected when the star is on a group without windows: the
    // click then simply selects its window.
    PLRWindow *previous = g_rootGroup.getSelectedWindow();
    window->select(true);
    if (previous != nullptr) previous->select(false);

    PLRGroup *selectedGroup = g_rootGroup.getSelectedGroup();
    if (selectedGroup == nullptr) {
        logMessage(dbl ? PLR_T("DialogProc2: could not find selected group while processing double click message - "
                               "aborting.")
                       : PLR_T("DialogProc2: could not find selected group while processing right click message - "
                               "aborting."));
        return;
    }
    if (selectedGroup->findWindowByHti(item) != nullptr) return;

    PLRGroup *windowGroup = g_rootGroup.getSelectedWindowGroup();
    if (windowGroup == nullptr) {
        logMessage(dbl ? PLR_T("DialogProc2: could not find selected window's group while processing double click "
                               "message - aborting.")
                       : PLR_T("DialogProc2: could not find selected window's group while processing right click "
                               "message - aborting."));
        return;
    }
    windowGroup->select(true);
}

void rightClickGroup(PLRGroup *group) {
    PLR_ASSERT_MODEL_THREAD();
    // With no window selected (the star was on a group without windows) the
    // group's first window becomes the selected one, as when the selected
    // window lies outside the group.
    PLRWindow *previous = g_rootGroup.getSelectedWindow();
    group->select(true);
    if (previous == nullptr || !subtreeHolds(group, previous)) {
        if (previous != nullptr) previous->select(false);
        group->selectFirstWindow();
    }
}

void mouseDoubleClick(HWND dialog) {
    PLR_ASSERT_MODEL_THREAD();
    if (!isOpenDialog(dialog) || deletionRunning()) return;

    const HTREEITEM item = treeItem(dialog, TVGN_CARET);
    if (item == nullptr) return;
    PLRWindow *window = g_rootGroup.findWindowByHti(item);
    PLRGroup *group = g_rootGroup.findGroupByHti(item);
    // The tree view toggles a group on its own and reports it as an expansion.
    if (group != nullptr) return;
    if (window == nullptr) {
        logMessage(PLR_T("DialogProc2: could not find selected window while processing double click message - "
                         "aborting."));
        return;
    }
    if (window->selected) return;
    makeSelectedWindow(window, item, MouseClick::Double);
}

void mouseRightClick(HWND dialog) {
    PLR_ASSERT_MODEL_THREAD();
    if (!isOpenDialog(dialog) || deletionRunning()) return;

    // comctl32 drop-highlights the item under the pointer while it reports a
    // right click; the caret is the fallback.
    HTREEITEM item = treeItem(dialog, TVGN_DROPHILITE);
    if (item != nullptr) {
        selectTreeItem(dialog, TVGN_CARET, item);
        selectTreeItem(dialog, TVGN_DROPHILITE, item);
    } else {
        item = treeItem(dialog, TVGN_CARET);
        if (item == nullptr) return;
    }

    PLRWindow *window = g_rootGroup.findWindowByHti(item);
    PLRGroup *group = g_rootGroup.findGroupByHti(item);
    if (window == nullptr && group == nullptr) {
        logMessage(PLR_T("DialogProc2: could not find selected window or group while processing right click message "
                         "- aborting."));
        return;
    }
    if (window != nullptr) {
        if (!window->selected) makeSelectedWindow(window, item, MouseClick::Right);
        return;
    }
    if (!group->selected) rightClickGroup(group);
}

void mouseItemExpanded(HWND dialog, HTREEITEM item, UINT action) {
    PLR_ASSERT_MODEL_THREAD();
    if (!isOpenDialog(dialog)) return;

    PLRGroup *group = g_rootGroup.findGroupByHti(item);
    if (group == nullptr) {
        logMessage(PLR_T("DialogProc2: could not find expanded or collapsed group."));
        return;
    }
    if (action == TVE_COLLAPSE)
        group->expanded = 0;
    else if (action == TVE_EXPAND)
        group->expanded = 1;
    else
        logMessage(PLR_T("DialogProc2: invalid action."));
}
