#include "shell/mainwnd_win32.h"

#include "shell/globals_win32.h"
#include "shell/mainthread_win32.h"

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    switch (message) {
    case WM_CREATE:
        g_hwndMain = hwnd;
        break;
    case WM_DESTROY:
        if (g_pLogFile != nullptr) {
            fclose(g_pLogFile);
            g_pLogFile = nullptr;
        }
        PostQuitMessage(0);
        return 0;
    case WM_PLR_RUN:
        return reinterpret_cast<PlrMainThreadFn>(wParam)(reinterpret_cast<void *>(lParam));
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
