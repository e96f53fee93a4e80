// The switch life cycle's platform on Windows (see shell/lifecycle.h).
//
// Thread: main thread, except waitForOpeningPress and waitForSwitch. There
// is at most one switcher thread of a switch at a time: a new switch takes
// one only after the previous one has ended. Besides it there may be one
// spare: a switcher thread made ahead of its switch, whose dialog waits,
// hidden and touching nothing shared, in its initialisation until a switch
// takes it. Making a thread and its dialog costs more than the rest of an
// opening (under Wine 10 about 23 ms, more than the reference switcher's
// whole opening), and the spare makes it before the hotkey comes.
#include "shell/switchstate_win32.h"

#include <atomic>

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

// When the next spare is made: soon after the dialog of a switch is filled,
// while the user still holds Alt; at the latest this long after a switch
// started (its dialog may never open).
constexpr UINT kSpareAfterFillMs = 50;
constexpr UINT kSpareDelayMs = 1000;
// How long the program's end waits for the spare to go.
constexpr DWORD kSpareEndWaitMs = 2000;

// Main thread only.
UniqueKernelHandle g_switcherThread;
UniqueKernelHandle g_spareThread;

// Auto-reset: set when the spare is given a switch (g_spareSerial nonzero)
// or must end (g_spareSerial 0). Made once by the main thread before the
// first spare, never replaced.
UniqueKernelHandle g_spareWake;
std::atomic<unsigned> g_spareSerial{0};

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
    SetTimer(g_hwndMain, kSpareTimerId, kSpareDelayMs, nullptr);
    if (g_spareThread && !threadHasEnded(g_spareThread.get())) {
        g_spareSerial.store(serial);
        SetEvent(g_spareWake.get());
        g_switcherThread = std::move(g_spareThread);
        return true;
    }
    // A spare that ended (its dialog could not be made) is of no use.
    g_spareThread.reset();
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
    SetTimer(g_hwndMain, kSpareTimerId, kSpareAfterFillMs, nullptr);
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

void prepareSpareSwitcher() {
    KillTimer(g_hwndMain, kSpareTimerId);
    if (g_spareThread && !threadHasEnded(g_spareThread.get())) return;
    g_spareThread.reset();
    if (!g_spareWake) g_spareWake.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    // Without the event there is no spare: each switch makes its thread.
    if (!g_spareWake) return;
    ResetEvent(g_spareWake.get());
    g_spareSerial.store(0);
    // Parameter 0: no switch yet (serials start at 1).
    HANDLE thread = CreateThread(nullptr, 0, TaskSwitchThread, nullptr, 0, nullptr);
    if (thread == nullptr) {
        logLastError(PLR_T("CreateThread"), PLR_T("MainWndProc"));
        return;
    }
    g_spareThread.reset(thread);
}

void stopSpareSwitcher() {
    KillTimer(g_hwndMain, kSpareTimerId);
    if (!g_spareThread) return;
    g_spareSerial.store(0);
    SetEvent(g_spareWake.get());
    if (!waitForThreadEnd(g_spareThread.get(), kSpareEndWaitMs))
        logMessage(PLR_T("MainWndProc: the spare switcher thread did not end."));
    g_spareThread.reset();
}

unsigned waitForSwitch() {
    const HANDLE wake = g_spareWake.get();
    if (wake == nullptr) return 0;
    for (;;) {
        // The thread's hidden dialog still gets the messages the system
        // sends to every top-level window; it answers them while it waits.
        const DWORD result = MsgWaitForMultipleObjects(1, &wake, FALSE, 10000, QS_SENDMESSAGE);
        if (result == WAIT_OBJECT_0) return g_spareSerial.load();
        if (result == WAIT_OBJECT_0 + 1) {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else if (result != WAIT_TIMEOUT) {
            return 0;
        }
    }
}

void waitForOpeningPress() {
    const HANDLE gate = g_openingGate.get();
    if (gate != nullptr) WaitForSingleObject(gate, kOpeningGateWaitMs);
}
