// Moving window records by drag and drop: the model side.
//
// Thread: main thread only. The switcher thread waits in runOnMainThread
// while these run, and carries out the tree messages sent from here.
#include "editing/dragdrop.h"

#include "log/log.h"
#include "model/discovery.h"
#include "model/globals.h"
#include "model/records.h"
#include "model/threading.h"
#include "platform/desktop.h"

HTREEITEM g_htiDragSource = nullptr;

namespace {

// Whether the record lies anywhere in the group's subtree. Decided on the
// record itself: a record whose item could not be made has a null hti, and a
// search by item would then match any other record without one.
bool subtreeHolds(const PLRGroup *group, const PLRWindow *window) {
    for (const PLRWindow *own : group->windows)
        if (own == window) return true;
    for (const PLRGroup *subgroup : group->subgroups)
        if (subtreeHolds(subgroup, window)) return true;
    return false;
}

// The model's lookups by item match records without an item when asked for a
// null item; a null item never stands for a record here.
PLRWindow *windowOfItem(HTREEITEM item) { return item != nullptr ? g_rootGroup.findWindowByHti(item) : nullptr; }
PLRGroup *groupOfItem(HTREEITEM item) { return item != nullptr ? g_rootGroup.findGroupByHti(item) : nullptr; }

}  // namespace

bool dragSourceIsWindowItem(HTREEITEM item) {
    PLR_ASSERT_MODEL_THREAD();
    g_htiDragSource = item;
    return windowOfItem(item) != nullptr;
}

bool isGroupItem(HTREEITEM item) {
    PLR_ASSERT_MODEL_THREAD();
    return groupOfItem(item) != nullptr;
}

void dropOnTarget(HWND dialog, HTREEITEM trackedTarget) {
    PLR_ASSERT_MODEL_THREAD();
    // The tracked target is used only while it still shows a group: an item
    // deleted during the drag must not be sent to the control.
    HTREEITEM target = isGroupItem(trackedTarget) ? trackedTarget : nullptr;
    if (target == nullptr)
        target = reinterpret_cast<HTREEITEM>(sendTreeMessage(dialog, TVM_GETNEXTITEM, TVGN_DROPHILITE, 0));
    // A dialog that is no longer the open one belongs to an ended switch: its
    // items are no longer the model's.
    if (dialog == g_hwndSwitcherDialog && isGroupItem(target)) itemDropped(target);
    sendTreeMessage(dialog, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(target));
    sendTreeMessage(dialog, TVM_SELECTITEM, TVGN_DROPHILITE, 0);
}

HTREEITEM insertMovedWindowItem(PLRWindow *window, HTREEITEM parentItem) {
    // Presses while the switcher is open read nothing from the desktop, so
    // the record holds the caption the window had when the switch opened.
    refreshCaption(window);
    TVINSERTSTRUCTW insert = {};
    insert.hParent = parentItem;
    insert.hInsertAfter = TVI_FIRST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_STATE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = window->caption;
    insert.item.iImage = window->imageIndex;
    insert.item.iSelectedImage = window->imageIndex;
    insert.item.state = window->selected ? INDEXTOSTATEIMAGEMASK(1) : 0;
    insert.item.stateMask = TVIS_STATEIMAGEMASK;
    return reinterpret_cast<HTREEITEM>(
        sendTreeMessage(g_hwndSwitcherDialog, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void itemDropped(HTREEITEM target) {
    PLR_ASSERT_MODEL_THREAD();
    if (g_bDeletingGroup != 0) {
        // The main thread is inside a deletion's waits; the tree must not
        // change under it.
        logMessage(PLR_T("itemDropped: a group is being deleted.  Ignoring the drop."));
        return;
    }
    PLRWindow *source = windowOfItem(g_htiDragSource);
    if (source == nullptr) {
        logMessage(PLR_T("itemDropped: could not find dragged window."));
        return;
    }
    PLRGroup *destination = groupOfItem(target);
    if (destination == nullptr) {
        logMessage(PLR_T("itemDropped: could not find target group."));
        return;
    }

    g_rootGroup.removeWindowByHti(g_htiDragSource);
    source->hti = nullptr;  // its item is gone
    destination->windows.push_front(source);

    if (g_hwndSwitcherDialog != nullptr) source->hti = insertMovedWindowItem(source, destination->hti);

    if (source->selected != 0) {
        PLRGroup *selectedGroup = g_rootGroup.getSelectedGroup();
        if (selectedGroup == nullptr) {
            logMessage(PLR_T("itemDropped: could not find selected group."));
            return;
        }
        if (!subtreeHolds(selectedGroup, source)) destination->select(true);
    }
}

bool PLRGroup::removeWindowByHti(HTREEITEM item) {
    PLR_ASSERT_MODEL_THREAD();
    // A null item would match every record without one, and deleting the
    // null item empties the whole tree.
    if (item == nullptr) return false;
    for (PLRWindow *window : windows) {
        if (window->hti != item) continue;
        if (g_hwndSwitcherDialog != nullptr)
            sendTreeMessage(g_hwndSwitcherDialog, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
        // Found again after the send rather than through an iterator kept
        // across it.
        windows.remove(window);
        return true;
    }
    for (PLRGroup *group : subgroups)
        if (group->removeWindowByHti(item)) return true;
    return false;
}
