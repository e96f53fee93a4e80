// Creating and deleting groups.
//
// Thread: main thread only. Every tree message sent from here makes the main
// thread wait for the switcher thread, and while it waits it runs the
// messages other threads send it (the dialog's hand-offs, the keyboard hook).
// So the model is put in a consistent state before each send, and a record
// never sits in two lists across one.
#include "editing/groups.h"

#include <algorithm>
#include <new>

#include "editing/dragdrop.h"
#include "log/log.h"
#include "model/globals.h"
#include "model/queries.h"
#include "model/records.h"
#include "model/threading.h"
#include "platform/desktop.h"

namespace {

// The item of a new group, last under parentItem. extraState carries the
// selected-group marker when the new group is to be the selected one.
HTREEITEM insertNewGroupItem(PLRGroup *group, HTREEITEM parentItem, UINT extraState) {
    TVINSERTSTRUCTW insert = {};
    insert.hParent = parentItem;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_STATE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = group->name;
    insert.item.iImage = 0;
    insert.item.iSelectedImage = 0;
    insert.item.state = (group->expanded ? TVIS_EXPANDED : 0) | extraState;
    insert.item.stateMask = TVIS_STATEIMAGEMASK | 0x7F;
    return reinterpret_cast<HTREEITEM>(
        sendTreeMessage(g_hwndSwitcherDialog, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

// Empties the root group: the root itself cannot go. Every application of
// the tree is asked to close while all records are still in place; then the
// records and all items, the root's own included, go.
void emptyRootGroup() {
    g_rootGroup.closeApplications();

    for (PLRGroup *group : g_rootGroup.subgroups) delete group;
    g_rootGroup.subgroups.clear();
    for (PLRWindow *window : g_rootGroup.windows) delete window;
    g_rootGroup.windows.clear();

    if (g_hwndSwitcherDialog != nullptr)
        sendTreeMessage(g_hwndSwitcherDialog, TVM_DELETEITEM, 0, 0);
    else
        logMessage(PLR_T("deleteGroup: g_hwndSwitcherDialog was NULL."));
    // The root's item is gone with the rest. Until the next population the
    // root has no item, so later commands of this switch do not send to a
    // dead handle (or insert at the top level under it).
    g_rootGroup.hti = nullptr;
}

// Detaches the selected group, selects its parent, closes the group's
// applications and only then destroys its records.
void deleteSelectedGroup() {
    PLRGroup *selectedGroup = globalGetSelectedGroup();
    PLRGroup *parent = g_rootGroup.findParentGroup(selectedGroup);
    if (parent == nullptr) {
        logMessage(PLR_T("Could not find parent group.  Aborting group deletion."));
        return;
    }
    if (std::find(parent->subgroups.begin(), parent->subgroups.end(), selectedGroup) == parent->subgroups.end()) {
        logMessage(PLR_T("Could not find current group in its parent. Aborting group deletion."));
        return;
    }

    if (selectedGroup->hti != nullptr) {
        if (g_hwndSwitcherDialog != nullptr)
            sendTreeMessage(g_hwndSwitcherDialog, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(selectedGroup->hti));
        else
            logMessage(PLR_T("deleteGroup: hti wasn't NULL but g_hwndSwitcherDialog was."));
    }
    // Looked up again rather than through an iterator kept across the send.
    parent->subgroups.remove(selectedGroup);

    parent->select(true);

    g_pGroupBeingDeleted = selectedGroup;
    selectedGroup->closeApplications();
    g_pGroupBeingDeleted = nullptr;

    delete selectedGroup;

    parent->selectFirstWindow();
}

}  // namespace

void createGroup() {
    PLR_ASSERT_MODEL_THREAD();
    // Constructed first: the group counter advances even when the command
    // goes no further.
    PLRGroup *group = new (std::nothrow) PLRGroup();
    if (group == nullptr) {
        logMessage(PLR_T("createGroup: out of memory."));
        return;
    }

    PLRGroup *selectedGroup = globalGetSelectedGroup();
    if (selectedGroup == nullptr) {
        // Nowhere to put it.
        delete group;
        return;
    }
    selectedGroup->subgroups.push_back(group);

    if (g_hwndSwitcherDialog == nullptr) {
        logMessage(PLR_T("createGroup: g_hwndSwitcherDialog was NULL."));
        return;
    }
    if (selectedGroup->hti == nullptr) {
        logMessage(PLR_T("createGroup: hti was NULL.  Not sending message."));
        return;
    }
    group->hti = insertNewGroupItem(group, selectedGroup->hti, 0);
}

void createGroupFromSelected() {
    PLR_ASSERT_MODEL_THREAD();
    PLRGroup *windowGroup = g_rootGroup.getSelectedWindowGroup();
    if (windowGroup == nullptr) {
        const HWND foreground = desk::getForegroundWindow();
        if (foreground == nullptr) {
            desk::messageBox(PLR_T("Could not determine selected window.  Can't create new group."),
                             PLR_T("Notification"));
            return;
        }
        g_rootGroup.selectWindowByHwnd(foreground);
        windowGroup = g_rootGroup.getSelectedWindowGroup();
        if (windowGroup == nullptr) {
            logMessage(PLR_T("Could not find selected window's group.  Aborting creation of group from selected window."));
            return;
        }
    }

    PLRWindow *window = g_rootGroup.getSelectedWindow();
    if (window == nullptr) {
        logMessage(PLR_T("Could not find selected window.  Aborting creation of group from selected window."));
        return;
    }
    // Checked before anything moves: a window that is not in the group found
    // for it must not end up owned by two lists.
    const auto entry = std::find(windowGroup->windows.begin(), windowGroup->windows.end(), window);
    if (entry == windowGroup->windows.end()) {
        logMessage(PLR_T("Could not find selected window in its group."));
        return;
    }

    const HTREEITEM oldItem = window->hti;
    PLRGroup *group = new (std::nothrow) PLRGroup();
    if (group == nullptr) {
        logMessage(PLR_T("createGroupFromSelected: out of memory."));
        return;
    }

    // The whole move happens before the first tree message.
    windowGroup->windows.erase(entry);
    group->windows.push_back(window);
    windowGroup->subgroups.push_back(group);

    if (g_hwndSwitcherDialog != nullptr) {
        if (windowGroup->hti != nullptr)
            group->hti = insertNewGroupItem(group, windowGroup->hti, INDEXTOSTATEIMAGEMASK(2));
        else
            logMessage(PLR_T("createGroupFromSelected: hti was NULL.  Not sending message."));
        // The old item is deleted below; without a new one the record has no
        // item until the next population.
        window->hti = group->hti != nullptr ? insertMovedWindowItem(window, group->hti) : nullptr;
    } else {
        logMessage(PLR_T("createGroupFromSelected: g_hwndSwitcherDialog was NULL."));
    }

    group->select(true);

    // Decided on the item the window had before the move: deleting a null
    // item would empty the whole tree.
    if (oldItem != nullptr) {
        if (g_hwndSwitcherDialog != nullptr)
            sendTreeMessage(g_hwndSwitcherDialog, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(oldItem));
        else
            logMessage(PLR_T("createGroupFromSelected: hti wasn't NULL but g_hwndSwitcherDialog was."));
    } else {
        logMessage(PLR_T("createGroupFromSelected: hti was NULL for selected window."));
    }
}

void deleteGroup() {
    PLR_ASSERT_MODEL_THREAD();
    if (g_bDeletingGroup != 0) {
        // Only reachable if a command ever ran inside a deletion's waits.
        logMessage(PLR_T("deleteGroup: a deletion is already running."));
        return;
    }
    g_bDeletingGroup = 1;
    if (g_rootGroup.selected != 0)
        emptyRootGroup();
    else
        deleteSelectedGroup();
    g_bDeletingGroup = 0;
}

PLRGroup *PLRGroup::findParentGroup(PLRGroup *child) {
    if (child == nullptr) return nullptr;
    for (PLRGroup *group : subgroups)
        if (group == child) return this;
    for (PLRGroup *group : subgroups) {
        PLRGroup *parent = group->findParentGroup(child);
        if (parent != nullptr) return parent;
    }
    return nullptr;
}
