#include "shell/switch_win32.h"

#include "shell/globals_win32.h"

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam) noexcept {
    return CallNextHookEx(g_hKeyboardHook, code, wParam, lParam);
}
