#include "model/threading.h"

#include <cstdio>
#include <cstdlib>

#include "platform/desktop.h"

namespace {
// Written once at start-up before the switcher thread exists.
DWORD g_modelThreadId = 0;
bool g_modelThreadKnown = false;

// Main thread: how long a walk goes between two takes, and the last take.
const ULONGLONG kSentMessageSpanMs = 15;
ULONGLONG g_lastSentMessageTake = 0;
}  // namespace

void plrTakeSentMessagesNowAndThen() {
    const ULONGLONG now = desk::tickCount();
    if (now - g_lastSentMessageTake < kSentMessageSpanMs) return;
    desk::takeSentMessages();
    g_lastSentMessageTake = desk::tickCount();
}

void plrSetModelThread() {
    g_modelThreadId = desk::currentThreadId();
    g_modelThreadKnown = true;
}

bool plrOnModelThread() {
    return !g_modelThreadKnown || desk::currentThreadId() == g_modelThreadId;
}

// Only checked builds call this; the product is kept free of the C
// runtime's formatting code.
void plrCheckModelThread(const char *where) {
#ifdef PLR_THREAD_CHECKS
    if (plrOnModelThread()) return;
    std::fprintf(stderr, "model touched off the main thread in %s\n", where);
    std::fflush(stderr);
    std::abort();
#else
    (void)where;
#endif
}
