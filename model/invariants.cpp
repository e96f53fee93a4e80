#include "model/invariants.h"

#include <set>
#include <sstream>

#include "model/globals.h"
#include "model/records.h"
#include "model/threading.h"

namespace {

// Everything found in one tree. The walk never enters a group twice, so a
// group that (wrongly) contains itself cannot make it loop.
struct TreeCensus {
    std::set<const PLRGroup *> groups;
    std::set<const PLRWindow *> windows;
    std::set<HWND, PlrHwndLess> handles;
    int selectedGroups = 0;
    int selectedWindows = 0;
    std::string problem;

    void fail(const std::string &text) {
        if (problem.empty()) problem = text;
    }

    void walk(const PLRGroup *group, const char *treeName) {
        if (!groups.insert(group).second) {
            std::ostringstream text;
            text << treeName << ": group " << group << " is reached twice";
            fail(text.str());
            return;
        }
        if (group->selected != 0) ++selectedGroups;
        for (const PLRWindow *window : group->windows) {
            if (window == nullptr) {
                fail(std::string(treeName) + ": null window record");
                continue;
            }
            if (!windows.insert(window).second) {
                std::ostringstream text;
                text << treeName << ": window record " << window << " is in two lists";
                fail(text.str());
                continue;
            }
            if (window->selected != 0) ++selectedWindows;
            if (!handles.insert(window->hwnd).second) {
                std::ostringstream text;
                text << treeName << ": window handle " << window->hwnd << " is held by two records";
                fail(text.str());
            }
        }
        for (const PLRGroup *subgroup : group->subgroups) {
            if (subgroup == nullptr) {
                fail(std::string(treeName) + ": null subgroup");
                continue;
            }
            walk(subgroup, treeName);
        }
    }
};

// First record two censuses share, described; empty when they share none.
std::string sharedRecord(const TreeCensus &a, const TreeCensus &b, const char *what) {
    for (const PLRGroup *group : b.groups) {
        if (a.groups.count(group) != 0) {
            std::ostringstream text;
            text << what << " shares group " << group << " with the tree";
            return text.str();
        }
    }
    for (const PLRWindow *window : b.windows) {
        if (a.windows.count(window) != 0) {
            std::ostringstream text;
            text << what << " shares window record " << window << " with the tree";
            return text.str();
        }
    }
    return std::string();
}

}  // namespace

bool plrCheckInvariants(std::string *problem) {
    PLR_ASSERT_MODEL_THREAD();
    std::string found;

    TreeCensus tree;
    tree.walk(&g_rootGroup, "tree");
    found = tree.problem;
    if (found.empty() && tree.selectedGroups != 1) {
        std::ostringstream text;
        text << "tree: " << tree.selectedGroups << " selected groups instead of exactly one";
        found = text.str();
    }
    if (found.empty() && tree.selectedWindows > 1) {
        std::ostringstream text;
        text << "tree: " << tree.selectedWindows << " selected windows";
        found = text.str();
    }

    if (found.empty() && g_pPrevAllWindows != nullptr) {
        TreeCensus snapshot;
        snapshot.walk(g_pPrevAllWindows, "snapshot");
        found = snapshot.problem;
        if (found.empty()) found = sharedRecord(tree, snapshot, "snapshot");
    }

    if (found.empty() && g_pGroupBeingDeleted != nullptr && g_pGroupBeingDeleted != &g_rootGroup) {
        TreeCensus deleted;
        deleted.walk(g_pGroupBeingDeleted, "group being deleted");
        found = deleted.problem;
        if (found.empty()) found = sharedRecord(tree, deleted, "group being deleted");
    }

    if (problem != nullptr) *problem = found;
    return found.empty();
}
