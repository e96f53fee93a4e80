#include "shell/mainthread_win32.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/invariants.h"
#include "model/threading.h"
#include "shell/switchstate_win32.h"

namespace {

std::atomic<HWND> g_handOverWindow{nullptr};

// Main thread only.
int g_modelCommandDepth = 0;

}  // namespace

void setHandOverWindow(HWND mainWindow) { g_handOverWindow.store(mainWindow); }
HWND handOverWindow() { return g_handOverWindow.load(); }

LRESULT runOnMainThread(PlrMainThreadFn fn, void *context) {
    if (plrOnModelThread()) return fn(context);
    const HWND mainWindow = handOverWindow();
    if (mainWindow == nullptr) return 0;
    // No time-out: a send that timed out would stay queued, and the main
    // thread would later run fn with a context that no longer exists. The
    // main thread never waits on this thread without taking sent messages,
    // and refuses the work at once while it is busy, so the wait is short.
    // A destroyed main window makes the send fail at once.
    return SendMessageW(mainWindow, WM_PLR_RUN, reinterpret_cast<WPARAM>(fn), reinterpret_cast<LPARAM>(context));
}

ModelCommandScope::ModelCommandScope() noexcept { ++g_modelCommandDepth; }

namespace {

// Test builds check the model's invariants at the end of every command and
// stop the program when one is broken, so the end-to-end tests fail there.
void checkModelAfterCommand() {
#ifdef PLR_THREAD_CHECKS
    std::string problem;
    if (plrCheckInvariants(&problem)) return;
    std::fprintf(stderr, "model invariant broken after a command: %s\n", problem.c_str());
    std::fflush(stderr);
    std::abort();
#endif
}

}  // namespace

ModelCommandScope::~ModelCommandScope() {
    if (--g_modelCommandDepth != 0) return;
    runDeferredSwitchWork();
    if (g_modelCommandDepth == 0) checkModelAfterCommand();
}

bool modelCommandRunning() noexcept { return g_modelCommandDepth > 0; }

LRESULT runHandedOverWork(PlrMainThreadFn fn, void *context) noexcept {
    PLR_ASSERT_MODEL_THREAD();
    if (fn == nullptr) return 0;
    // The dialog's initialisation decides itself whether it can run now.
    if (fn == switcherDialogInitialising) return fn(context);
    if (modelCommandRunning()) return 0;
    ModelCommandScope scope;
    return fn(context);
}
