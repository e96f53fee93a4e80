#include "shell/mainthread_win32.h"

#include "model/threading.h"
#include "shell/globals_win32.h"

LRESULT runOnMainThread(PlrMainThreadFn fn, void *context) {
    if (plrOnModelThread()) return fn(context);
    const HWND mainWindow = g_hwndMain;
    if (mainWindow == nullptr) return 0;
    DWORD_PTR result = 0;
    // SMTO_NORMAL keeps this thread handling sent messages while it waits.
    // The bound only matters when the main thread is stuck; model work on the
    // main thread itself never waits on this thread.
    if (!SendMessageTimeoutW(mainWindow, WM_PLR_RUN, reinterpret_cast<WPARAM>(fn), reinterpret_cast<LPARAM>(context),
                             SMTO_NORMAL, 10000, &result))
        return 0;
    return static_cast<LRESULT>(result);
}
