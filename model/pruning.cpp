// Thread: main thread only, right after the discovery pass.
#include "model/pruning.h"

#include <vector>

#include "log/log.h"
#include "model/globals.h"
#include "model/records.h"
#include "model/threading.h"

namespace {

bool seen(HWND hwnd) { return g_seenWindows.count(hwnd) != 0; }

// Frees every stale record of the subtree and notes its handle, in tree
// order. Nothing in here sends or waits, so no other code sees the lists
// while they change.
void removeStaleRecords(PLRGroup *group, std::vector<HWND> *gone) {
    for (auto it = group->windows.begin(); it != group->windows.end();) {
        PLRWindow *window = *it;
        if (seen(window->hwnd)) {
            ++it;
            continue;
        }
        gone->push_back(window->hwnd);
        delete window;
        it = group->windows.erase(it);
    }
    for (PLRGroup *subgroup : group->subgroups) removeStaleRecords(subgroup, gone);
}

// Frees the snapshot's records of the given handles; returns how many it
// found. The snapshot holds a handle at most once, as the tree does.
std::size_t removeFromSnapshot(PLRGroup *group, const std::set<HWND, PlrHwndLess> &handles) {
    std::size_t removed = 0;
    for (auto it = group->windows.begin(); it != group->windows.end();) {
        if (handles.count((*it)->hwnd) == 0) {
            ++it;
            continue;
        }
        delete *it;
        it = group->windows.erase(it);
        ++removed;
    }
    for (PLRGroup *subgroup : group->subgroups) removed += removeFromSnapshot(subgroup, handles);
    return removed;
}

}  // namespace

bool PLRGroup::deleteInactiveWindow() {
    for (auto it = windows.begin(); it != windows.end(); ++it) {
        PLRWindow *window = *it;
        if (seen(window->hwnd)) continue;
        // A cancel must not bring back a window that has gone.
        if (g_pPrevAllWindows != nullptr && !g_pPrevAllWindows->removeWindow(window->hwnd))
            logMessage(PLR_T("PLRGroup::deleteInactiveWindow: failed to remove inactive window from g_pPrevAllWindows."));
        delete window;
        windows.erase(it);
        return true;
    }
    for (PLRGroup *subgroup : subgroups)
        if (subgroup->deleteInactiveWindow()) return true;
    return false;
}

void pruneInactiveWindows(bool passComplete) {
    PLR_ASSERT_MODEL_THREAD();
    if (passComplete) {
        std::vector<HWND> gone;
        removeStaleRecords(&g_rootGroup, &gone);
        if (!gone.empty() && g_pPrevAllWindows != nullptr) {
            // A cancel must not bring back a window that has gone. One report
            // for each gone window the snapshot did not hold (discovered after
            // it was taken), as the one-at-a-time removal writes them.
            const std::set<HWND, PlrHwndLess> goneSet(gone.begin(), gone.end());
            const std::size_t found = removeFromSnapshot(g_pPrevAllWindows, goneSet);
            for (std::size_t i = found; i < gone.size(); ++i)
                logMessage(
                    PLR_T("PLRGroup::deleteInactiveWindow: failed to remove inactive window from g_pPrevAllWindows."));
        }
    }
    g_seenWindows.clear();
}
