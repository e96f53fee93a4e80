#include "shell/mainthread_win32.h"

#include <atomic>

#include "model/threading.h"

namespace {

std::atomic<HWND> g_handOverWindow{nullptr};

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
