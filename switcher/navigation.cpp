#include "switcher/navigation.h"

#include <iterator>

#include "model/globals.h"
#include "model/queries.h"
#include "model/records.h"
#include "model/threading.h"

namespace {

typedef std::list<PLRGroup *>::iterator GroupIter;

// selectFirstWindow on each subgroup from `from` to the end, first success wins.
bool selectFirstWindowFrom(std::list<PLRGroup *> &groups, GroupIter from) {
    for (GroupIter it = from; it != groups.end(); ++it) {
        if ((*it)->selectFirstWindow()) return true;
    }
    return false;
}

// selectLastWindow on each subgroup before `before`, the nearest first.
bool selectLastWindowBefore(std::list<PLRGroup *> &groups, GroupIter before) {
    for (GroupIter it = before; it != groups.begin();) {
        --it;
        if ((*it)->selectLastWindow()) return true;
    }
    return false;
}

}  // namespace

bool PLRGroup::selectFirstWindow() {
    if (!windows.empty()) {
        windows.front()->select(true);
        return true;
    }
    return selectFirstWindowFrom(subgroups, subgroups.begin());
}

bool PLRGroup::selectLastWindow() {
    if (selectLastWindowBefore(subgroups, subgroups.end())) return true;
    if (!windows.empty()) {
        windows.back()->select(true);
        return true;
    }
    return false;
}

NavResult PLRGroup::selectNextWindow() {
    if (windows.empty() && subgroups.empty()) return NotFound;

    for (auto it = windows.begin(); it != windows.end(); ++it) {
        if (!(*it)->selected) continue;
        (*it)->select(false);
        auto next = std::next(it);
        if (next != windows.end()) {
            (*next)->select(true);
            return Done;
        }
        return selectFirstWindowFrom(subgroups, subgroups.begin()) ? Done : PassedEnd;
    }

    for (GroupIter it = subgroups.begin(); it != subgroups.end(); ++it) {
        switch ((*it)->selectNextWindow()) {
        case Done:
            return Done;
        case PassedEnd:
            return selectFirstWindowFrom(subgroups, std::next(it)) ? Done : PassedEnd;
        case NotFound:
            break;
        }
    }
    return NotFound;
}

NavResult PLRGroup::selectPreviousWindow() {
    PLRWindow *before = nullptr;
    for (PLRWindow *window : windows) {
        if (window->selected) {
            window->select(false);
            if (before == nullptr) return PassedEnd;
            before->select(true);
            return Done;
        }
        before = window;
    }

    for (GroupIter it = subgroups.end(); it != subgroups.begin();) {
        --it;
        switch ((*it)->selectPreviousWindow()) {
        case Done:
            return Done;
        case PassedEnd:
            if (selectLastWindowBefore(subgroups, it)) return Done;
            if (windows.empty()) return PassedEnd;
            windows.back()->select(true);
            return Done;
        case NotFound:
            break;
        }
    }
    return NotFound;
}

void PLRGroup::selectFirstLeafGroup() {
    PLRGroup *group = this;
    while (!group->subgroups.empty()) group = group->subgroups.front();
    group->select(true);
}

bool PLRGroup::selectNextGroup() {
    // Only the root gets here selected: the recursion below enters only
    // subgroups that are not selected.
    if (selected) {
        if (!subgroups.empty()) subgroups.front()->selectFirstLeafGroup();
        return true;
    }
    for (GroupIter it = subgroups.begin(); it != subgroups.end(); ++it) {
        if (!(*it)->selected) continue;
        GroupIter next = std::next(it);
        if (next == subgroups.end()) {
            select(true);
        } else {
            (*next)->selectFirstLeafGroup();
        }
        return true;
    }
    for (PLRGroup *subgroup : subgroups) {
        if (subgroup->selectNextGroup()) return true;
    }
    return false;
}

NavResult PLRGroup::selectPreviousGroup() {
    if (selected) {
        if (subgroups.empty()) return PassedEnd;
        subgroups.back()->select(true);
        return Done;
    }
    for (GroupIter it = subgroups.end(); it != subgroups.begin();) {
        --it;
        PLRGroup *subgroup = *it;
        if (!subgroup->selected) continue;
        if (!subgroup->subgroups.empty()) {
            subgroup->subgroups.back()->select(true);
            return Done;
        }
        if (it == subgroups.begin()) return PassedEnd;
        (*std::prev(it))->select(true);
        return Done;
    }
    for (GroupIter it = subgroups.end(); it != subgroups.begin();) {
        --it;
        switch ((*it)->selectPreviousGroup()) {
        case Done:
            return Done;
        case PassedEnd:
            if (it == subgroups.begin()) return PassedEnd;
            (*std::prev(it))->select(true);
            return Done;
        case NotFound:
            break;
        }
    }
    return NotFound;
}

void globalSelectNextWindow() {
    PLR_ASSERT_MODEL_THREAD();
    PLRGroup *group = globalGetSelectedGroup();
    if (group == nullptr) return;

    std::list<PLRWindow *> &own = group->windows;
    std::list<PLRGroup *> &subgroups = group->subgroups;
    for (auto it = own.begin(); it != own.end(); ++it) {
        if (!(*it)->selected) continue;
        (*it)->select(false);
        auto next = std::next(it);
        if (next != own.end()) {
            (*next)->select(true);
            return;
        }
        if (selectFirstWindowFrom(subgroups, subgroups.begin())) return;
        own.front()->select(true);
        return;
    }

    for (GroupIter it = subgroups.begin(); it != subgroups.end(); ++it) {
        NavResult result = (*it)->selectNextWindow();
        if (result == Done) return;
        if (result == PassedEnd) {
            if (selectFirstWindowFrom(subgroups, std::next(it))) return;
            break;
        }
    }

    // Wrap-around, or no window of the subtree was selected.
    if (!own.empty()) {
        own.front()->select(true);
        return;
    }
    selectFirstWindowFrom(subgroups, subgroups.begin());
}

void globalSelectPreviousWindow() {
    PLR_ASSERT_MODEL_THREAD();
    PLRGroup *group = globalGetSelectedGroup();
    if (group == nullptr) return;

    std::list<PLRWindow *> &own = group->windows;
    std::list<PLRGroup *> &subgroups = group->subgroups;
    PLRWindow *before = nullptr;
    for (PLRWindow *window : own) {
        if (window->selected) {
            window->select(false);
            if (before != nullptr) {
                before->select(true);
                return;
            }
            if (selectLastWindowBefore(subgroups, subgroups.end())) return;
            own.back()->select(true);
            return;
        }
        before = window;
    }

    for (GroupIter it = subgroups.begin(); it != subgroups.end(); ++it) {
        NavResult result = (*it)->selectPreviousWindow();
        if (result == Done) return;
        if (result != PassedEnd) continue;
        if (selectLastWindowBefore(subgroups, it)) return;
        if (!own.empty()) {
            own.back()->select(true);
            return;
        }
        if (selectLastWindowBefore(subgroups, subgroups.end())) return;
    }
    // No window of the subtree was selected: none is selected now.
}

void globalSelectNextGroup() {
    PLR_ASSERT_MODEL_THREAD();
    PLRGroup *oldGroup = globalGetSelectedGroup();
    if (oldGroup == nullptr) return;
    oldGroup->deselectSelectedWindow();
    g_rootGroup.selectNextGroup();
    PLRGroup *newGroup = globalGetSelectedGroup();
    if (newGroup != nullptr) newGroup->selectFirstWindow();
}

void globalSelectPreviousGroup() {
    PLR_ASSERT_MODEL_THREAD();
    PLRGroup *oldGroup = globalGetSelectedGroup();
    if (oldGroup == nullptr) return;
    oldGroup->deselectSelectedWindow();
    if (g_rootGroup.selectPreviousGroup() == PassedEnd) g_rootGroup.select(true);
    PLRGroup *newGroup = globalGetSelectedGroup();
    if (newGroup != nullptr) newGroup->selectFirstWindow();
}
