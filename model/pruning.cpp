// Thread: main thread only, right after the discovery pass.
#include "model/pruning.h"

#include "log/log.h"
#include "model/globals.h"
#include "model/records.h"
#include "model/threading.h"

bool PLRGroup::deleteInactiveWindow() {
    for (auto it = windows.begin(); it != windows.end(); ++it) {
        PLRWindow *window = *it;
        if (g_seenWindows.count(window->hwnd) != 0) continue;
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

void pruneInactiveWindows() {
    PLR_ASSERT_MODEL_THREAD();
    while (g_rootGroup.deleteInactiveWindow()) {
    }
    g_seenWindows.clear();
}
