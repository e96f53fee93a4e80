// Thread: main thread only (see shell/lifecycle.h).
#include "shell/lifecycle.h"

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <utility>

#include "editing/mouse.h"
#include "log/log.h"
#include "model/globals.h"
#include "model/invariants.h"
#include "model/snapshot.h"
#include "model/threading.h"
#include "platform/phases.h"
#include "shell/activation.h"
#include "shell/hotkeys.h"

namespace {

// How long a new switch, or the end of the program, waits for the switcher
// thread of the previous switch.
constexpr DWORD kSwitcherThreadWaitMs = 2000;
// More waiting work than a person can cause: beyond it, requests are dropped
// rather than memory growing without bound.
constexpr std::size_t kMaxPending = 4096;

enum class Ending { Alt, Focus, Cancel, Aborted, Other };

// What waits for the command in progress, in the order it came.
struct PendingWork {
    enum Kind { EndSwitch, Hotkey, Request } kind;
    unsigned serial;  // EndSwitch: the switch it is meant for
    Ending ending;    // EndSwitch
    UINT message;     // Request
    WPARAM wParam;    // Hotkey: the id; Request
    LPARAM lParam;    // Request
};

const SwitchPlatform *g_platform = nullptr;
SwitchPhase g_phase = SwitchPhase::Idle;
// The serial of the switch that is opening or open (the last one opened).
unsigned g_serial = 0;
// The dialog of the opening switch whose initialisation had to wait for a
// command. It is already shown, with an empty tree.
HWND g_waitingDialog = nullptr;
// An Alt release came while a group deletion ran during this switch: the
// Alt keys being up when its dialog opens then ends nothing.
bool g_altReleaseIgnored = false;
std::deque<PendingWork> g_pending;
int g_commandDepth = 0;
SwitchCounts g_counts = {};

bool switchRunning() { return g_phase == SwitchPhase::Opening || g_phase == SwitchPhase::Open; }

void noteEnding(Ending ending) {
    switch (ending) {
    case Ending::Alt: ++g_counts.altEndings; break;
    case Ending::Focus: ++g_counts.focusEndings; break;
    case Ending::Cancel: ++g_counts.cancelEndings; break;
    case Ending::Aborted: ++g_counts.abortedOpenings; break;
    case Ending::Other: ++g_counts.otherEndings; break;
    }
}

void queue(PendingWork work) {
    if (g_pending.size() >= kMaxPending) {
        logMessage(PLR_T("MainWndProc: too much work waiting for a command.  Dropping a request."));
        return;
    }
    g_pending.push_back(work);
}

void queueEnding(unsigned serial, Ending ending) {
    queue(PendingWork{PendingWork::EndSwitch, serial, ending, 0, 0, 0});
}

// The switch that is opening or open ends. Its dialog, open or waiting, is
// told to end; a dialog that has not asked for its initialisation yet is told
// so when it asks (its serial no longer matches).
void endSwitch(Ending ending) {
    notePhase(PlrPhase::SwitchEnded);
    HWND dialog = g_hwndSwitcherDialog != nullptr ? g_hwndSwitcherDialog : g_waitingDialog;
    g_hwndSwitcherDialog = nullptr;
    g_waitingDialog = nullptr;
    g_phase = SwitchPhase::Idle;
    noteEnding(ending);
    // The chosen window comes forward while the dialog is still up: a dialog
    // that hides while it is the active window makes the system activate the
    // window below it, and under load that can land after this activation
    // and undo it. Once the chosen window is active, hiding the dialog
    // activates nothing.
    if (ending == Ending::Alt) {
        if (PLRWindow *selected = g_rootGroup.getSelectedWindow()) activateWindow(selected->hwnd);
    }
    if (dialog != nullptr) g_platform->endDialog(dialog);
    // A cancel has restored the tree from the snapshot, which stays for a
    // later cancel, with the item handles it restored.
    if (ending == Ending::Cancel) return;
    discardSnapshot();
    g_rootGroup.clearHtis();
}

// The Alt keys are up although the hook saw no release for this switch (it
// may have been skipped by the system), or its release came while the hook
// could not end the switch yet.
bool altUpUnseen() {
    return !g_altReleaseIgnored && g_platform->altKeyDown != nullptr && !g_platform->altKeyDown();
}

// Opening to Open: the dialog becomes the open switcher and its tree is
// filled. A dialog whose Alt keys are already up ends with the Alt ending
// instead. Returns whether the dialog stays.
bool openDialog(HWND dialog, bool withinHandOff) {
    if (altUpUnseen()) {
        // Told by the result of the hand-off, or by a message when it waited.
        if (withinHandOff) g_waitingDialog = nullptr;
        endSwitch(Ending::Alt);
        return false;
    }
    g_waitingDialog = nullptr;
    g_hwndSwitcherDialog = dialog;
    g_phase = SwitchPhase::Open;
    g_platform->fillTree(dialog, withinHandOff);
    return true;
}

void startSwitch() {
    // 0 names no switch.
    if (++g_serial == 0) ++g_serial;
    g_platform->setOpeningGate(false);
    if (!g_platform->startSwitcherThread(g_serial)) {
        g_platform->setOpeningGate(true);
        return;
    }
    g_phase = SwitchPhase::Opening;
    g_altReleaseIgnored = false;
    ++g_counts.opened;
    notePhase(PlrPhase::ThreadStarted);
}

// The opening press's passes and snapshot are done; its command follows. The
// dialog may ask for its tree now: a short command is over before the main
// thread takes the request, a long one (a deletion waiting for applications)
// makes it wait, so the dialog shows at once.
void releaseSwitcherDialog(UINT) { g_platform->setOpeningGate(true); }

bool previousSwitcherEnded() {
    if (g_platform->switcherThreadEnded(kSwitcherThreadWaitMs)) return true;
    logMessage(PLR_T("MainWndProc: the previous switcher thread is still running.  Not opening the switcher."));
    return false;
}

// Test builds check the model's invariants at the end of every command and
// stop the program when one is broken, so that the tests fail there.
void checkModelAfterCommand() {
#ifdef PLR_THREAD_CHECKS
    std::string problem;
    if (plrCheckInvariants(&problem)) return;
    std::fprintf(stderr, "model invariant broken after a command: %s\n", problem.c_str());
    std::fflush(stderr);
    std::abort();
#endif
}

void runPending(const PendingWork &work) {
    switch (work.kind) {
    case PendingWork::EndSwitch:
        if (switchRunning() && work.serial == g_serial) {
            ModelCommandScope scope;
            endSwitch(work.ending);
        }
        break;
    case PendingWork::Hotkey:
        switchHotkey(static_cast<UINT>(work.wParam));
        break;
    case PendingWork::Request:
        g_platform->runRequest(work.message, work.wParam, work.lParam);
        break;
    }
}

}  // namespace

void setSwitchPlatform(const SwitchPlatform *platform) { g_platform = platform; }

SwitchPhase currentSwitchPhase() {
    PLR_ASSERT_MODEL_THREAD();
    if (switchRunning() && g_platform->switcherThreadEnded(0)) {
        g_waitingDialog = nullptr;
        if (g_phase == SwitchPhase::Open) {
            // A dialog ends only when the main thread tells it to; should it
            // have gone some other way, its switch ends without activation
            // rather than waiting for a dialog that no longer exists.
            g_hwndSwitcherDialog = nullptr;
            endSwitch(Ending::Other);
        } else {
            // The dialog could not be made: the next press opens the switcher
            // again, with the snapshot of this opening.
            g_phase = SwitchPhase::Idle;
            noteEnding(Ending::Other);
        }
    }
    return g_phase;
}

LRESULT switchHotkey(UINT id) {
    if (!isHotkeyId(id)) return 0;
    PLR_ASSERT_MODEL_THREAD();
    if (g_phase == SwitchPhase::Closing) return 0;
    notePhase(PlrPhase::Hotkey);
    if (modelCommandRunning()) {
        queue(PendingWork{PendingWork::Hotkey, 0, Ending::Other, 0, id, 0});
        return 0;
    }
    ModelCommandScope scope;

    // Only one switcher at a time: a press while one is opening or open, or
    // while the previous one's thread is still ending, changes the model only.
    const bool opening = currentSwitchPhase() == SwitchPhase::Idle;
    const bool mayStart = opening && previousSwitcherEnded();
    if (mayStart) startSwitch();
    const bool started = mayStart && g_phase == SwitchPhase::Opening;
    const bool completed = runHotkeyPress(id, opening, started ? releaseSwitcherDialog : nullptr);
    if (started) {
        // A dialog that has not been initialised yet belongs to no switch
        // now; it is told so when it asks.
        if (!completed && g_phase == SwitchPhase::Opening) {
            g_phase = SwitchPhase::Idle;
            noteEnding(Ending::Aborted);
        }
        g_platform->setOpeningGate(true);
    }
    if (!completed) return -1;
    if (isCancelHotkey(id) && switchRunning()) endSwitch(Ending::Cancel);
    return 0;
}

bool queueWhileCommandRuns(UINT message, WPARAM wParam, LPARAM lParam) {
    PLR_ASSERT_MODEL_THREAD();
    if (!modelCommandRunning()) return false;
    queue(PendingWork{PendingWork::Request, 0, Ending::Other, message, wParam, lParam});
    return true;
}

void switchAltReleased() {
    PLR_ASSERT_MODEL_THREAD();
    if (!switchRunning()) return;
    if (g_bDeletingGroup != 0) {
        g_altReleaseIgnored = true;
        return;
    }
    notePhase(PlrPhase::AltReleased);
    queueEnding(g_serial, Ending::Alt);
    if (!modelCommandRunning()) g_platform->wake();
}

void switchFocusLost(unsigned serial) {
    PLR_ASSERT_MODEL_THREAD();
    // The focus also goes when a dialog hides at the end of its switch.
    if (!switchRunning() || serial != g_serial) return;
    queueEnding(serial, Ending::Focus);
    runPendingSwitchWork();
}

void runPendingSwitchWork() {
    PLR_ASSERT_MODEL_THREAD();
    static bool running = false;
    if (running || modelCommandRunning()) return;
    running = true;
    for (;;) {
        if (g_phase == SwitchPhase::Closing) {
            g_pending.clear();
            break;
        }
        if (!g_pending.empty()) {
            const PendingWork work = g_pending.front();
            g_pending.pop_front();
            runPending(work);
            continue;
        }
        if (g_waitingDialog != nullptr) {
            const HWND dialog = g_waitingDialog;
            if (g_phase != SwitchPhase::Opening) {
                g_waitingDialog = nullptr;
                continue;
            }
            ModelCommandScope scope;
            openDialog(dialog, false);
            continue;
        }
        break;
    }
    running = false;
}

LRESULT runHandedOverWork(PlrMainThreadFn fn, void *context) {
    PLR_ASSERT_MODEL_THREAD();
    if (fn == nullptr) return 0;
    if (fn == switcherDialogInitialising || fn == expansionHandedOver) return fn(context);
    if (modelCommandRunning()) return 0;
    ModelCommandScope scope;
    return fn(context);
}

LRESULT switcherDialogInitialising(void *context) {
    PLR_ASSERT_MODEL_THREAD();
    const DialogInitialisation *init = static_cast<const DialogInitialisation *>(context);
    // An ending that came before (a quick tap's Alt release, noted by the
    // hook while the press ran) ends the switch before its dialog shows.
    runPendingSwitchWork();
    if (init == nullptr || init->dialog == nullptr || g_phase != SwitchPhase::Opening || init->serial != g_serial)
        return 0;
    if (modelCommandRunning()) {
        g_waitingDialog = init->dialog;
        return 1;
    }
    ModelCommandScope scope;
    return openDialog(init->dialog, true) ? 1 : 0;
}

LRESULT expansionHandedOver(void *context) {
    PLR_ASSERT_MODEL_THREAD();
    const ExpansionRecord *record = static_cast<const ExpansionRecord *>(context);
    // Only the group's flag changes: nothing a waiting command walks, so it
    // is recorded even while one runs, and the next switch shows the group
    // as the user left it.
    if (record != nullptr) mouseItemExpanded(record->dialog, record->item, record->action);
    return 0;
}

void stopSwitcherForExit() {
    PLR_ASSERT_MODEL_THREAD();
    const bool running = switchRunning();
    g_phase = SwitchPhase::Closing;
    g_pending.clear();
    g_platform->setOpeningGate(true);
    if (g_hwndSwitcherDialog != nullptr) {
        g_platform->endDialog(std::exchange(g_hwndSwitcherDialog, nullptr));
        discardSnapshot();
        g_rootGroup.clearHtis();
    }
    if (g_waitingDialog != nullptr) g_platform->endDialog(std::exchange(g_waitingDialog, nullptr));
    if (running) noteEnding(Ending::Other);
    // A dialog still on its way to its initialisation is told to end when it
    // asks (taken during the wait).
    if (!g_platform->switcherThreadEnded(kSwitcherThreadWaitMs))
        logMessage(PLR_T("MainWndProc: the switcher thread did not end."));
}

ModelCommandScope::ModelCommandScope() noexcept { ++g_commandDepth; }

ModelCommandScope::~ModelCommandScope() {
    if (--g_commandDepth != 0) return;
    checkModelAfterCommand();
    runPendingSwitchWork();
}

bool modelCommandRunning() noexcept { return g_commandDepth > 0; }

SwitchCounts switchCounts() { return g_counts; }

void resetSwitchLifeCycle() {
    g_phase = SwitchPhase::Idle;
    g_serial = 0;
    g_waitingDialog = nullptr;
    g_altReleaseIgnored = false;
    g_pending.clear();
    g_commandDepth = 0;
    g_counts = SwitchCounts();
}
