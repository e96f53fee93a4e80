#include "shell/switch_win32.h"

#include <cstdio>

#include "editing/dialog_win32.h"
#include "log/log.h"
#include "model/globals.h"
#include "model/threading.h"
#include "platform/phases.h"
#include "shell/globals_win32.h"
#include "shell/mainthread_win32.h"

// The test build (the one with the thread checks) times the hook.
#ifdef PLR_THREAD_CHECKS
#define PLR_HOOK_TIMING 1
#endif

namespace {

#ifdef PLR_HOOK_TIMING
// Main thread only. The most recent durations, in QueryPerformanceCounter
// ticks.
constexpr unsigned kHookSamples = 1u << 16;
LONGLONG g_hookTicks[kHookSamples];
unsigned g_hookCalls = 0;

class HookTimer {
public:
    HookTimer() noexcept { QueryPerformanceCounter(&start_); }
    ~HookTimer() {
        LARGE_INTEGER end;
        QueryPerformanceCounter(&end);
        g_hookTicks[g_hookCalls++ % kHookSamples] = end.QuadPart - start_.QuadPart;
    }
    HookTimer(const HookTimer &) = delete;
    HookTimer &operator=(const HookTimer &) = delete;

private:
    LARGE_INTEGER start_;
};
#endif

bool isAltKey(DWORD vkCode) { return vkCode == VK_MENU || vkCode == VK_LMENU || vkCode == VK_RMENU; }

// Decides whether this key event ends the switch and, if so, posts that to
// the main window's queue, where the ending runs once the hook has returned.
void noteAltRelease(int code, WPARAM wParam, LPARAM lParam) noexcept {
#ifdef PLR_HOOK_TIMING
    HookTimer timer;
#endif
    if (code != HC_ACTION || (wParam != WM_KEYUP && wParam != WM_SYSKEYUP)) return;
    // Only vkCode is read: injected keys count like real ones.
    const KBDLLHOOKSTRUCT *key = reinterpret_cast<const KBDLLHOOKSTRUCT *>(lParam);
    if (!isAltKey(key->vkCode)) return;
    PLR_ASSERT_MODEL_THREAD();
    if (g_bDeletingGroup != 0 || g_hwndSwitcherDialog == nullptr) return;
    notePhase(PlrPhase::AltReleased);
    PostMessageW(g_hwndMain, WM_PLR_ALT_RELEASED, reinterpret_cast<WPARAM>(g_hwndSwitcherDialog), 0);
}

}  // namespace

DWORD WINAPI TaskSwitchThread(LPVOID parameter) noexcept {
    // The tree-view class must be registered before the dialog creates its
    // control; registering again is harmless.
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_TREEVIEW_CLASSES;
    InitCommonControlsEx(&controls);

    const INT_PTR result = DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(101), nullptr, DialogProc2,
                                           reinterpret_cast<LPARAM>(parameter));
    if (result == -1) logLastError(PLR_T("DialogBoxParam"), PLR_T("TaskSwitchThread"));
    return 0;
}

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam) noexcept {
    noteAltRelease(code, wParam, lParam);
    return CallNextHookEx(g_hKeyboardHook, code, wParam, lParam);
}

LRESULT CALLBACK TreeViewSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    // The main thread decides whether this is still the open switch: the
    // focus also goes when a switch has just ended and its dialog hides.
    if (message == WM_KILLFOCUS) {
        const HWND mainWindow = handOverWindow();
        if (mainWindow != nullptr)
            PostMessageW(mainWindow, WM_PLR_FOCUS_LOST, reinterpret_cast<WPARAM>(GetParent(window)), 0);
    }
    return CallWindowProcW(g_oldTreeViewProc, window, message, wParam, lParam);
}

void writeKeyboardHookTimings() {
#ifdef PLR_HOOK_TIMING
    wchar_t path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"PLR_HOOK_TIMING_FILE", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    FILE *file = _wfopen(path, L"w");
    if (file == nullptr) return;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::fprintf(file, "frequency %lld\n", static_cast<long long>(frequency.QuadPart));
    const unsigned count = g_hookCalls < kHookSamples ? g_hookCalls : kHookSamples;
    for (unsigned i = 0; i < count; ++i) std::fprintf(file, "%lld\n", static_cast<long long>(g_hookTicks[i]));
    std::fclose(file);
#endif
}
