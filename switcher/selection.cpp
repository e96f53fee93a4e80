// Selection and expansion: the model's flags first, then, while the switcher
// dialog is open, the item that shows the record.
//
// Thread: the model's owner, the main thread (model/threading.h). The tree
// messages reach the control on the switcher thread; each send waits until
// that thread has handled it.
#include "log/log.h"
#include "model/globals.h"
#include "model/records.h"
#include "platform/desktop.h"
#include "switcher/population.h"

namespace {

// Changes only the item's state image: text, picture, expansion and the
// control's own selection stay as they are.
void sendMarkerUpdate(HWND dialog, HTREEITEM item, int stateImage) {
    TVITEMW tvi = {};
    tvi.mask = TVIF_STATE;
    tvi.hItem = item;
    tvi.state = INDEXTOSTATEIMAGEMASK(stateImage);
    tvi.stateMask = TVIS_STATEIMAGEMASK;
    sendTreeMessage(dialog, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tvi));
}

// A program's TVM_EXPAND raises no TVN_ITEMEXPANDEDW, so the flag is set
// here rather than by the dialog's notification handler.
void openGroup(PLRGroup *group) {
    group->expanded = 1;
    HWND dialog = g_hwndSwitcherDialog;
    if (dialog == nullptr) return;
    if (group->hti == nullptr) {
        logMessage(PLR_T("PLRGroup::expand: hti was NULL.  Not sending message."));
        return;
    }
    sendTreeMessage(dialog, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(group->hti));
}

}  // namespace

void PLRWindow::select(bool selectedState) {
    selected = selectedState ? 1 : 0;
    if (selectedState) g_rootGroup.expand(this);

    HWND dialog = g_hwndSwitcherDialog;
    if (dialog == nullptr) return;
    if (hti == nullptr) {
        logMessage(PLR_T("PLRWindow::select: hti was NULL.  Not sending message."));
        return;
    }
    sendMarkerUpdate(dialog, hti, selectedState ? STATE_IMAGE_SELECTED_WINDOW : 0);
}

void PLRGroup::select(bool selectedState) {
    // When this group already holds the selection it is cleared here and set
    // again below: two marker updates for the same item.
    if (selectedState) g_rootGroup.deselectSelectedGroup();
    selected = selectedState ? 1 : 0;

    HWND dialog = g_hwndSwitcherDialog;
    if (dialog == nullptr) return;
    if (hti == nullptr) {
        logMessage(PLR_T("PLRGroup::select: hti was NULL.  Not sending message."));
        return;
    }
    sendMarkerUpdate(dialog, hti, selectedState ? STATE_IMAGE_SELECTED_GROUP : 0);
}

// Opens the groups on the path to the window from the inside out, so the
// root is opened last.
bool PLRGroup::expand(PLRWindow *window) {
    for (PLRWindow *own : windows) {
        if (own == window) {
            openGroup(this);
            return true;
        }
    }
    for (PLRGroup *subgroup : subgroups) {
        if (subgroup->expand(window)) {
            openGroup(this);
            return true;
        }
    }
    return false;
}

bool PLRGroup::selectWindowByHwnd(HWND target) {
    for (PLRWindow *window : windows) {
        if (window->hwnd == target) {
            window->select(true);
            return true;
        }
    }
    for (PLRGroup *subgroup : subgroups) {
        if (subgroup->selectWindowByHwnd(target)) return true;
    }
    return false;
}

bool PLRGroup::deselectSelectedWindow() {
    for (PLRWindow *window : windows) {
        if (window->selected) {
            window->select(false);
            return true;
        }
    }
    for (PLRGroup *subgroup : subgroups) {
        if (subgroup->deselectSelectedWindow()) return true;
    }
    return false;
}

bool PLRGroup::deselectSelectedGroup() {
    if (selected) {
        select(false);
        return true;
    }
    for (PLRGroup *subgroup : subgroups) {
        if (subgroup->deselectSelectedGroup()) return true;
    }
    return false;
}
