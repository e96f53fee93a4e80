#include "shell/switch_win32.h"

#include <atomic>
#include <cstdio>

#include "editing/dialog_win32.h"
#include "log/log.h"
#include "model/globals.h"
#include "model/threading.h"
#include "platform/phases.h"
#include "shell/globals_win32.h"
#include "shell/lifecycle.h"
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

// Hands an Alt release to the life cycle, which decides whether it ends the
// switch; the ending itself runs once the hook has returned.
void noteAltRelease(int code, WPARAM wParam, LPARAM lParam) noexcept {
#ifdef PLR_HOOK_TIMING
    HookTimer timer;
#endif
    if (code != HC_ACTION || (wParam != WM_KEYUP && wParam != WM_SYSKEYUP)) return;
    // Only vkCode is read: injected keys count like real ones.
    const KBDLLHOOKSTRUCT *key = reinterpret_cast<const KBDLLHOOKSTRUCT *>(lParam);
    if (!isAltKey(key->vkCode)) return;
    switchAltReleased();
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
    // The main thread decides whether this is still the switch in progress:
    // the focus also goes when a switch has just ended and its dialog hides.
    if (message == WM_KILLFOCUS) {
        const HWND mainWindow = handOverWindow();
        const LONG_PTR serial = GetWindowLongPtrW(GetParent(window), DWLP_USER);
        if (mainWindow != nullptr)
            PostMessageW(mainWindow, WM_PLR_FOCUS_LOST, static_cast<WPARAM>(serial), 0);
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

#ifdef PLR_HOOK_TIMING
namespace {

// The probe thread's own: written only by it until the main thread has seen
// it end.
constexpr unsigned kLatencySamples = 1u << 16;
struct LatencySample {
    LONGLONG sentAt;  // QueryPerformanceCounter when the send began
    LONGLONG waited;
};
LatencySample g_latencySamples[kLatencySamples];
unsigned g_latencyCount = 0;
std::atomic<bool> g_latencyStop{false};
HANDLE g_latencyThread = nullptr;  // main thread
wchar_t g_latencyPath[MAX_PATH];   // main thread, before the probe starts

DWORD WINAPI SendLatencyProbe(LPVOID mainWindow) noexcept {
    const HWND target = static_cast<HWND>(mainWindow);
    while (!g_latencyStop.load()) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        DWORD_PTR result = 0;
        if (SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result) == 0 && !IsWindow(target)) break;
        QueryPerformanceCounter(&end);
        g_latencySamples[g_latencyCount++ % kLatencySamples] = {start.QuadPart, end.QuadPart - start.QuadPart};
        Sleep(2);
    }
    return 0;
}

}  // namespace
#endif

void startSendLatencyProbe() {
#ifdef PLR_HOOK_TIMING
    const DWORD length = GetEnvironmentVariableW(L"PLR_SEND_LATENCY_FILE", g_latencyPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || g_hwndMain == nullptr || !IsWindow(g_hwndMain)) return;
    g_latencyThread = CreateThread(nullptr, 0, SendLatencyProbe, g_hwndMain, 0, nullptr);
#endif
}

void stopSendLatencyProbe() {
#ifdef PLR_HOOK_TIMING
    if (g_latencyThread == nullptr) return;
    g_latencyStop.store(true);
    // The probe may be waiting for this thread right now: take its send.
    for (;;) {
        const DWORD result = MsgWaitForMultipleObjects(1, &g_latencyThread, FALSE, 5000, QS_SENDMESSAGE);
        if (result != WAIT_OBJECT_0 + 1) break;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    CloseHandle(g_latencyThread);
    g_latencyThread = nullptr;
    FILE *file = _wfopen(g_latencyPath, L"w");
    if (file == nullptr) return;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::fprintf(file, "frequency %lld\n", static_cast<long long>(frequency.QuadPart));
    const unsigned count = g_latencyCount < kLatencySamples ? g_latencyCount : kLatencySamples;
    for (unsigned i = 0; i < count; ++i)
        std::fprintf(file, "%lld %lld\n", static_cast<long long>(g_latencySamples[i].sentAt),
                     static_cast<long long>(g_latencySamples[i].waited));
    std::fclose(file);
#endif
}
