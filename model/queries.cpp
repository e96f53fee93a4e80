// Tree queries: recursive walks in tree order, first match wins.
//
// Thread: main thread only. None of them changes the tree except clearHtis
// and removeWindow, and these stop walking a list as soon as they change it.
#include "model/queries.h"

#include "log/log.h"
#include "model/globals.h"
#include "model/threading.h"
#include "platform/text.h"

namespace {

// The first window record of the subtree, in tree order, that `matches`.
template <typename Match>
PLRWindow *findWindow(PLRGroup *group, const Match &matches) {
    for (PLRWindow *window : group->windows)
        if (matches(*window)) return window;
    for (PLRGroup *subgroup : group->subgroups) {
        PLRWindow *found = findWindow(subgroup, matches);
        if (found != nullptr) return found;
    }
    return nullptr;
}

// The first group of the subtree, in pre-order, whose own fields match.
template <typename Match>
PLRGroup *findGroup(PLRGroup *group, const Match &matches) {
    if (matches(*group)) return group;
    for (PLRGroup *subgroup : group->subgroups) {
        PLRGroup *found = findGroup(subgroup, matches);
        if (found != nullptr) return found;
    }
    return nullptr;
}

// The first group of the subtree, in tree order, one of whose own window
// records matches: the group that holds what findWindow returns.
template <typename Match>
PLRGroup *findGroupOfWindow(PLRGroup *group, const Match &matches) {
    for (PLRWindow *window : group->windows)
        if (matches(*window)) return group;
    for (PLRGroup *subgroup : group->subgroups) {
        PLRGroup *found = findGroupOfWindow(subgroup, matches);
        if (found != nullptr) return found;
    }
    return nullptr;
}

}  // namespace

PLRWindow *PLRGroup::getSelectedWindow() {
    return findWindow(this, [](const PLRWindow &window) { return window.selected != 0; });
}

PLRWindow *PLRGroup::findWindowByHwnd(HWND target) {
    return findWindow(this, [target](const PLRWindow &window) { return window.hwnd == target; });
}

PLRWindow *PLRGroup::findWindowByCaption(const plr_char *text) {
    if (text == nullptr) return nullptr;
    return findWindow(this, [text](const PLRWindow &window) { return plrEqual(window.caption, text); });
}

PLRWindow *PLRGroup::findWindowByHti(HTREEITEM item) {
    return findWindow(this, [item](const PLRWindow &window) { return window.hti == item; });
}

PLRGroup *PLRGroup::getSelectedGroup() {
    return findGroup(this, [](const PLRGroup &group) { return group.selected != 0; });
}

PLRGroup *PLRGroup::findGroupByHti(HTREEITEM item) {
    return findGroup(this, [item](const PLRGroup &group) { return group.hti == item; });
}

PLRGroup *PLRGroup::getSelectedWindowGroup() {
    return findGroupOfWindow(this, [](const PLRWindow &window) { return window.selected != 0; });
}

PLRGroup *PLRGroup::findGroupByHwnd(HWND target) {
    return findGroupOfWindow(this, [target](const PLRWindow &window) { return window.hwnd == target; });
}

PLRGroup *PLRGroup::findGroupByCaption(const plr_char *text) {
    if (text == nullptr) return nullptr;
    return findGroupOfWindow(this, [text](const PLRWindow &window) { return plrEqual(window.caption, text); });
}

int PLRGroup::countWindows() {
    int count = static_cast<int>(windows.size());
    for (PLRGroup *subgroup : subgroups) count += subgroup->countWindows();
    return count;
}

void PLRGroup::clearHtis() {
    for (PLRWindow *window : windows) window->hti = nullptr;
    for (PLRGroup *subgroup : subgroups) {
        subgroup->hti = nullptr;
        subgroup->clearHtis();
    }
}

bool PLRGroup::removeWindow(HWND target) {
    for (auto it = windows.begin(); it != windows.end(); ++it) {
        if ((*it)->hwnd == target) {
            delete *it;
            windows.erase(it);
            return true;
        }
    }
    for (PLRGroup *subgroup : subgroups)
        if (subgroup->removeWindow(target)) return true;
    return false;
}

PLRGroup *globalGetSelectedGroup() {
    PLR_ASSERT_MODEL_THREAD();
    PLRGroup *group = g_rootGroup.getSelectedGroup();
    if (group == nullptr) logMessage(PLR_T("globalGetSelectedGroup: could not find selected group."));
    return group;
}
