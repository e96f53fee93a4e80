// The life cycle of a switch, from its first hotkey until its dialog is
// gone, and the order in which the main window's work runs.
//
//   Idle     no switch. A hotkey press opens one.
//   Opening  the switcher thread of the switch runs; its dialog is not open
//            yet (not initialised, or its initialisation waits for a
//            command). Presses change only the model.
//   Open     g_hwndSwitcherDialog is the dialog. Presses update its tree.
//   Closing  the program is ending; no dialog opens any more.
//
// Endings: releasing Alt (the selected window comes forward), the dialog's
// tree losing the keyboard focus (nothing comes forward), a cancel key (the
// tree was restored; nothing comes forward, the snapshot stays). An ending
// is honoured whenever it comes: one that arrives while the switch is
// opening ends it as soon as the command in progress is over, and the
// dialog of a switch that ends before it is initialised is never shown.
// When the dialog opens, the real state of the Alt keys decides too, for a
// release the keyboard hook never saw (the system skips a hook that does
// not answer in time). An Alt release while a group deletion runs ends
// nothing: the deletion's own activations inject Alt presses, and a switch
// opened by the deletion does not end at its opening for that release
// either. Each switch ends exactly once: every switch has a serial number,
// an ending names the switch it was meant for, and it takes effect only
// while that switch is still opening or open.
//
// Commands: a hotkey's handling, an ending and the work the dialog hands
// over run inside a ModelCommandScope. A command may wait (a close
// request's two seconds, a message box, a modal loop) and the main thread
// then takes messages. Nothing that changes the model or ends the program
// runs inside it: hotkeys, the main window's requests (the tray icon's menu
// with About and Exit, a close) and endings are queued and run after the
// command, in the order they came. The dialog's initialisation waits for
// the command. Clicks and drops the dialog hands over meanwhile are refused
// (they do nothing, and the user clicks again); a group's fold or unfold is
// recorded at once, as it only sets the group's flag.
//
// Thread: main thread for everything here. The switcher thread reaches it
// by sending to the main window (runOnMainThread) and by posting the losses
// of its focus; the keyboard hook runs on the main thread.
//
// Platform-free: what it needs from the system comes through
// SwitchPlatform, which shell/switchstate_win32.cpp implements with a
// thread, an event and messages, and the native tests with their own.
#pragma once

#include "platform/win32types.h"

enum class SwitchPhase { Idle, Opening, Open, Closing };

// Work handed to the main thread (runOnMainThread).
typedef LRESULT (*PlrMainThreadFn)(void *context);

// What the life cycle asks of the system. Main thread, unless noted.
struct SwitchPlatform {
    // Starts the switcher thread of switch `serial`; its dialog gives the
    // serial back at its initialisation and with every focus loss. False
    // when no thread could be started (the platform reports it).
    bool (*startSwitcherThread)(unsigned serial);
    // True once the switcher thread started last has ended (or none was
    // started), waiting at most timeoutMs and taking sent messages meanwhile.
    bool (*switcherThreadEnded)(DWORD timeoutMs);
    // Closed while an opening press runs its passes: the new dialog asks for
    // its tree only once it is open again.
    void (*setOpeningGate)(bool open);
    // Tells the dialog to end; it does so on its own thread.
    void (*endDialog)(HWND dialog);
    // Fills the dialog's tree from the model. `withinHandOff`: the dialog's
    // thread waits in its initialisation hand-off and can fill its own tree.
    void (*fillTree)(HWND dialog, bool withinHandOff);
    // Whether an Alt key is down at this moment.
    bool (*altKeyDown)();
    // Runs a request of the main window that had to wait for a command.
    void (*runRequest)(UINT message, WPARAM wParam, LPARAM lParam);
    // Makes the main thread's message loop call runPendingSwitchWork soon
    // (it posts a message).
    void (*wake)();
};

// Start-up (and tests): the platform every later call uses.
void setSwitchPlatform(const SwitchPlatform *platform);

SwitchPhase currentSwitchPhase();

// WM_HOTKEY. Queued while a command runs. Otherwise: a press while Idle
// opens a switch (the switcher thread is started when the press begins, so
// that the dialog is made while the passes run); then the press itself
// (shell/hotkeys.h); a cancel key ends the switch. Returns -1 when the
// opening aborted the press, else 0.
LRESULT switchHotkey(UINT id);

// A request of the main window (the tray icon's menu, a close) that must
// not run inside a command: true when it was queued, to run after the
// command; false when the caller may run it now.
bool queueWhileCommandRuns(UINT message, WPARAM wParam, LPARAM lParam);

// The keyboard hook: an Alt key went up. Decides only; the ending runs from
// the message loop, or after the command that is running.
void switchAltReleased();

// WM_PLR_FOCUS_LOST: the tree of switch `serial`'s dialog lost the focus.
void switchFocusLost(unsigned serial);

// Runs what waited: endings, queued hotkeys and requests, a deferred
// initialisation. Does nothing while a command runs (the outermost command
// runs it when it ends).
void runPendingSwitchWork();

// WM_PLR_RUN: handed-over work. The dialog's initialisation and expansion
// records decide themselves; anything else is refused (0) while a command
// runs, and otherwise runs as a command.
LRESULT runHandedOverWork(PlrMainThreadFn fn, void *context);

// The dialog's initialisation, handed over from WM_INITDIALOG with a
// DialogInitialisation as context. Returns nonzero while the dialog is to
// stay, 0 when it must end at once without being shown (its switch has
// ended, or the program is ending). While a command runs, the dialog stays
// and is filled after the command.
struct DialogInitialisation {
    HWND dialog;
    unsigned serial;
};
LRESULT switcherDialogInitialising(void *context);

// TVN_ITEMEXPANDEDW, handed over with an ExpansionRecord as context.
struct ExpansionRecord {
    HWND dialog;
    HTREEITEM item;
    UINT action;
};
LRESULT expansionHandedOver(void *context);

// WM_DESTROY: Closing. Ends an open or waiting dialog, drops what is queued
// and waits (at most two seconds, taking sent messages) for the switcher
// thread, so that it no longer runs when the model is destroyed.
void stopSwitcherForExit();

// Brackets a command. While one is open, handed-over work is refused and
// hotkeys and requests are queued. When the outermost one closes, what
// waited runs, and test builds check the model's invariants.
class ModelCommandScope {
public:
    ModelCommandScope() noexcept;
    ~ModelCommandScope();
    ModelCommandScope(const ModelCommandScope &) = delete;
    ModelCommandScope &operator=(const ModelCommandScope &) = delete;
};
bool modelCommandRunning() noexcept;

// How many switches were opened and how each ended, since start-up.
struct SwitchCounts {
    unsigned opened;  // Idle to Opening
    unsigned altEndings;
    unsigned focusEndings;
    unsigned cancelEndings;
    unsigned abortedOpenings;  // the opening press stopped early
    unsigned otherEndings;     // the dialog went on its own, or the program ended
};
SwitchCounts switchCounts();
// Tests: back to Idle with nothing queued and the counts at zero. Only while
// no switcher thread runs.
void resetSwitchLifeCycle();
