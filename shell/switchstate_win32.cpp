#include "shell/switchstate_win32.h"

#include <utility>

#include "log/log.h"
#include "model/globals.h"
#include "model/snapshot.h"
#include "model/threading.h"
#include "platform/handles.h"
#include "platform/phases.h"
#include "shell/activation.h"
#include "shell/globals_win32.h"
#include "shell/mainthread_win32.h"
#include "shell/switch_win32.h"
#include "switcher/population.h"
#include "switcher/population_win32.h"

namespace {

// How long a new switch or the end of the program waits for the switcher
// thread of the previous switch.
constexpr DWORD kSwitcherThreadWaitMs = 2000;
// How long a new dialog waits for the opening press (see waitForOpeningPress).
constexpr DWORD kOpeningGateWaitMs = 5000;

enum class Ending { None, Alt, Focus };

// Main thread only.
SwitchPhase g_phase = SwitchPhase::Idle;
UniqueKernelHandle g_switcherThread;
HWND g_deferredInitDialog = nullptr;
Ending g_deferredEnding = Ending::None;
HWND g_deferredEndingDialog = nullptr;

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

// The dialog calls EndDialog itself on its own thread when it takes this
// message; the main thread never waits for it here.
void endDialogOnItsThread(HWND dialog) {
    if (dialog != nullptr) PostMessageW(dialog, WM_PLR_END_SWITCHER, 0, 0);
}

// A dialog whose initialisation had to wait was already shown, and its tree
// may have lost the focus meanwhile. Such a loss came while the switch was
// still opening, where it ends nothing: its queued notice is dropped before
// the dialog counts as open.
void dropFocusLossesOfOpening() {
    MSG msg;
    while (PeekMessageW(&msg, g_hwndMain, WM_PLR_FOCUS_LOST, WM_PLR_FOCUS_LOST, PM_REMOVE | PM_NOYIELD)) {
    }
}

void openDialog(HWND dialog, bool shownBefore) {
    if (shownBefore) dropFocusLossesOfOpening();
    g_hwndSwitcherDialog = dialog;
    g_phase = SwitchPhase::Open;
    // Within the dialog's own hand-off its thread waits for us and can fill
    // its tree itself, far faster than item by item from here. A deferred
    // dialog is already running its own loop: it is filled from here.
    if (shownBefore)
        populateTreeView(dialog);
    else
        populateThroughDialogThread(dialog);
}

void endSwitch(bool activateSelected) {
    notePhase(PlrPhase::SwitchEnded);
    const HWND dialog = g_hwndSwitcherDialog;
    g_hwndSwitcherDialog = nullptr;
    g_phase = SwitchPhase::Idle;
    endDialogOnItsThread(dialog);
    if (activateSelected) {
        if (PLRWindow *selected = g_rootGroup.getSelectedWindow()) activateWindow(selected->hwnd);
    }
    discardSnapshot();
    g_rootGroup.clearHtis();
}

void requestEnding(HWND dialog, Ending ending) {
    PLR_ASSERT_MODEL_THREAD();
    if (dialog == nullptr || dialog != g_hwndSwitcherDialog) return;
    if (modelCommandRunning()) {
        // The first ending asked for wins, as it would have without the wait.
        if (g_deferredEnding == Ending::None) {
            g_deferredEnding = ending;
            g_deferredEndingDialog = dialog;
        }
        return;
    }
    ModelCommandScope scope;
    endSwitch(ending == Ending::Alt);
}

}  // namespace

SwitchPhase currentSwitchPhase() {
    PLR_ASSERT_MODEL_THREAD();
    const bool running = g_phase == SwitchPhase::Opening || g_phase == SwitchPhase::Open;
    if (running && g_switcherThread && threadHasEnded(g_switcherThread.get())) {
        // A dialog can only end when the main thread asks it to; should it
        // have gone otherwise, the switch ends as on a loss of focus rather
        // than waiting for a dialog that no longer exists.
        if (g_phase == SwitchPhase::Open) {
            g_hwndSwitcherDialog = nullptr;
            discardSnapshot();
            g_rootGroup.clearHtis();
        }
        g_switcherThread.reset();
        g_deferredInitDialog = nullptr;
        g_phase = SwitchPhase::Idle;
    }
    return g_phase;
}

bool previousSwitcherEnded() {
    if (!g_switcherThread) return true;
    if (!waitForThreadEnd(g_switcherThread.get(), kSwitcherThreadWaitMs)) {
        logMessage(PLR_T("MainWndProc: the previous switcher thread is still running.  Not opening the switcher."));
        return false;
    }
    g_switcherThread.reset();
    return true;
}

void startSwitcherThread(UINT id) {
    PLR_ASSERT_MODEL_THREAD();
    if (!g_openingGate) g_openingGate.reset(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    // Without a gate the dialog asks at once and is deferred: slower, same
    // result.
    if (g_openingGate) ResetEvent(g_openingGate.get());
    HANDLE thread = CreateThread(nullptr, 0, TaskSwitchThread, reinterpret_cast<LPVOID>(static_cast<UINT_PTR>(id)), 0,
                                 nullptr);
    if (thread == nullptr) {
        logLastError(PLR_T("CreateThread"), PLR_T("MainWndProc"));
        if (g_openingGate) SetEvent(g_openingGate.get());
        return;
    }
    g_switcherThread.reset(thread);
    g_phase = SwitchPhase::Opening;
    notePhase(PlrPhase::ThreadStarted);
}

void releaseSwitcherDialog(UINT) {
    PLR_ASSERT_MODEL_THREAD();
    if (g_openingGate) SetEvent(g_openingGate.get());
}

void openingPressFinished(bool completed) {
    PLR_ASSERT_MODEL_THREAD();
    // A dialog that has not been initialised yet belongs to no switch now;
    // it is told so when it asks.
    if (!completed && g_phase == SwitchPhase::Opening) g_phase = SwitchPhase::Idle;
    if (g_openingGate) SetEvent(g_openingGate.get());
}

void waitForOpeningPress() {
    const HANDLE gate = g_openingGate.get();
    if (gate != nullptr) WaitForSingleObject(gate, kOpeningGateWaitMs);
}

LRESULT switcherDialogInitialising(void *context) {
    PLR_ASSERT_MODEL_THREAD();
    const HWND dialog = static_cast<HWND>(context);
    if (g_phase != SwitchPhase::Opening || dialog == nullptr) return 0;
    if (modelCommandRunning()) {
        g_deferredInitDialog = dialog;
        return 1;
    }
    ModelCommandScope scope;
    openDialog(dialog, false);
    return 1;
}

void altReleased(HWND dialog) { requestEnding(dialog, Ending::Alt); }

void focusLost(HWND dialog) { requestEnding(dialog, Ending::Focus); }

void closeSwitcherAfterCancel() {
    PLR_ASSERT_MODEL_THREAD();
    if (g_hwndSwitcherDialog == nullptr) return;
    endDialogOnItsThread(g_hwndSwitcherDialog);
    g_hwndSwitcherDialog = nullptr;
    g_phase = SwitchPhase::Idle;
}

void stopSwitcherForExit() {
    PLR_ASSERT_MODEL_THREAD();
    g_phase = SwitchPhase::Closing;
    if (g_openingGate) SetEvent(g_openingGate.get());
    if (g_hwndSwitcherDialog != nullptr) {
        endDialogOnItsThread(g_hwndSwitcherDialog);
        g_hwndSwitcherDialog = nullptr;
        discardSnapshot();
        g_rootGroup.clearHtis();
    }
    endDialogOnItsThread(std::exchange(g_deferredInitDialog, nullptr));
    g_deferredEnding = Ending::None;
    if (!g_switcherThread) return;
    // A dialog still on its way to WM_INITDIALOG is told to end when it asks
    // for its initialisation (taken during the wait).
    if (!waitForThreadEnd(g_switcherThread.get(), kSwitcherThreadWaitMs))
        logMessage(PLR_T("MainWndProc: the switcher thread did not end."));
    g_switcherThread.reset();
}

void runDeferredSwitchWork() {
    PLR_ASSERT_MODEL_THREAD();
    static bool running = false;
    if (running) return;
    running = true;
    for (;;) {
        if (g_deferredInitDialog != nullptr) {
            const HWND dialog = std::exchange(g_deferredInitDialog, nullptr);
            if (g_phase != SwitchPhase::Opening) continue;
            ModelCommandScope scope;
            openDialog(dialog, true);
            continue;
        }
        if (g_deferredEnding != Ending::None) {
            const Ending ending = std::exchange(g_deferredEnding, Ending::None);
            const HWND dialog = std::exchange(g_deferredEndingDialog, nullptr);
            if (dialog != g_hwndSwitcherDialog || dialog == nullptr) continue;
            ModelCommandScope scope;
            endSwitch(ending == Ending::Alt);
            continue;
        }
        break;
    }
    running = false;
}
