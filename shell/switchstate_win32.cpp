// The switch life cycle's platform on Windows (see shell/lifecycle.h).
//
// Thread: main thread, except waitForOpeningPress. There is at most one
// switcher thread at a time: a new switch starts one only after the previous
// one has ended.
#include "shell/switchstate_win32.h"

#include "log/log.h"
#include "platform/handles.h"
#include "shell/globals_win32.h"
#include "shell/lifecycle.h"
#include "shell/mainthread_win32.h"
#include "shell/mainwnd_win32.h"
#include "shell/switch_win32.h"
#include "switcher/population.h"
#include "switcher/population_win32.h"

namespace {

// How long a new dialog waits for the opening press (see waitForOpeningPress).
constexpr DWORD kOpeningGateWaitMs = 5000;

// Main thread only.
UniqueKernelHandle g_switcherThread;

// Manual-reset, signalled while no opening press is running. Made once, by
// the main thread before it starts the first switcher thread, and never
// replaced: the switcher threads read the handle without a lock.
UniqueKernelHandle g_openingGate;

bool threadHasEnded(HANDLE thread) { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }

// Waits for the thread while carrying out the messages other threads send to
// this one (the switcher's hand-overs, the keyboard hook's calls), so that
// neither side can block the other.
bool waitForThreadEnd(HANDLE thread, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return threadHasEnded(thread);
        const DWORD result =
            MsgWaitForMultipleObjects(1, &thread, FALSE, static_cast<DWORD>(deadline - now), QS_SENDMESSAGE);
        if (result == WAIT_OBJECT_0) return true;
        if (result != WAIT_OBJECT_0 + 1) return threadHasEnded(thread);
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

bool startSwitcherThread(unsigned serial) {
    HANDLE thread = CreateThread(nullptr, 0, TaskSwitchThread, reinterpret_cast<LPVOID>(static_cast<UINT_PTR>(serial)),
                                 0, nullptr);
    if (thread == nullptr) {
        logLastError(PLR_T("CreateThread"), PLR_T("MainWndProc"));
        return false;
    }
    g_switcherThread.reset(thread);
    return true;
}

bool switcherThreadEnded(DWORD timeoutMs) {
    if (!g_switcherThread) return true;
    const bool ended = timeoutMs == 0 ? threadHasEnded(g_switcherThread.get())
                                      : waitForThreadEnd(g_switcherThread.get(), timeoutMs);
    if (ended) g_switcherThread.reset();
    return ended;
}

void setOpeningGate(bool open) {
    if (!g_openingGate) g_openingGate.reset(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    // Without a gate the dialog asks at once and waits for the command:
    // slower, same result.
    if (!g_openingGate) return;
    if (open)
        SetEvent(g_openingGate.get());
    else
        ResetEvent(g_openingGate.get());
}

// The dialog calls EndDialog itself on its own thread when it takes this
// message; the main thread never waits for it here.
void endDialog(HWND dialog) {
    if (dialog != nullptr) PostMessageW(dialog, WM_PLR_END_SWITCHER, 0, 0);
}

// Within the dialog's own hand-off its thread waits for us and can fill its
// tree itself, far faster than item by item from here. A dialog that had to
// wait is already running its own loop: it is filled from here.
void fillTree(HWND dialog, bool withinHandOff) {
    if (withinHandOff)
        populateThroughDialogThread(dialog);
    else
        populateTreeView(dialog);
}

bool altKeyDown() {
    // The high bit: down at this moment, whichever Alt key it is.
    return (GetAsyncKeyState(VK_MENU) & 0x8000) != 0;
}

void wake() { PostMessageW(g_hwndMain, WM_PLR_WAKE, 0, 0); }

const SwitchPlatform kWindowsPlatform = {
    startSwitcherThread, switcherThreadEnded, setOpeningGate, endDialog, fillTree, altKeyDown,
    runMainWindowRequest, wake,
};

}  // namespace

void installSwitchPlatform() { setSwitchPlatform(&kWindowsPlatform); }

void waitForOpeningPress() {
    const HANDLE gate = g_openingGate.get();
    if (gate != nullptr) WaitForSingleObject(gate, kOpeningGateWaitMs);
}
