// Thread: main thread only (hotkeys and the endings of a switch).
#include "model/snapshot.h"

#include <new>

#include "log/log.h"
#include "model/globals.h"
#include "model/records.h"
#include "model/threading.h"

void takeSnapshot() {
    PLR_ASSERT_MODEL_THREAD();
    if (g_pPrevAllWindows != nullptr) return;
    // Copies take their names from their sources: numbering stays off so
    // the counter does not move.
    g_numberNewGroups = 0;
    PLRGroup *snapshot = new (std::nothrow) PLRGroup();
    if (snapshot != nullptr) {
        *snapshot = g_rootGroup;
        g_pPrevAllWindows = snapshot;
        g_savedGroupCounter = g_groupCounter;
    } else {
        logMessage(PLR_T("takeSnapshot: out of memory."));
    }
    g_numberNewGroups = 1;
}

void restoreSnapshot() {
    PLR_ASSERT_MODEL_THREAD();
    if (g_pPrevAllWindows == nullptr) return;
    g_numberNewGroups = 0;
    g_rootGroup = *g_pPrevAllWindows;
    g_numberNewGroups = 1;
    g_groupCounter = g_savedGroupCounter;
}

void discardSnapshot() {
    PLR_ASSERT_MODEL_THREAD();
    delete g_pPrevAllWindows;
    g_pPrevAllWindows = nullptr;
}
