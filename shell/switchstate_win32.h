// The life cycle of a switch as the main thread keeps it.
//
//   Idle     no switcher dialog; a hotkey press opens a switch.
//   Opening  the switcher thread has been started; its dialog has not yet
//            been initialised on the main thread. Presses change only the
//            model (no discovery, no second thread); the endings find no
//            dialog and do nothing.
//   Open     g_hwndSwitcherDialog is the dialog. Presses update its tree.
//   Closing  the program is ending: no dialog is initialised any more.
//
// Thread: main thread for everything here. The switcher thread reaches the
// dialog's initialisation through runOnMainThread, and the endings through
// messages posted to the main window (WM_PLR_ALT_RELEASED from the keyboard
// hook, WM_PLR_FOCUS_LOST from the tree view's subclass). An ending runs only
// while the dialog it names is still g_hwndSwitcherDialog, so each switch
// ends exactly once. The dialog is ended by a message posted to it
// (WM_PLR_END_SWITCHER): it calls EndDialog on its own thread.
#pragma once

#include "platform/win32types.h"

enum class SwitchPhase { Idle, Opening, Open, Closing };

// The current phase. A switcher thread that has ended takes the switch back
// to Idle: from Opening when its dialog could not be created, from Open
// (ending it without activation) should its dialog have gone some other way.
SwitchPhase currentSwitchPhase();

// Before a new switch: waits (at most two seconds, taking sent messages) for
// the previous switcher thread to end. False, logged, when it still runs: no
// second switcher is started then.
bool previousSwitcherEnded();

// Starts TaskSwitchThread with the hotkey id: Idle to Opening. A failure is
// logged ("CreateThread") and the switch stays Idle.
//
// The thread is started when the opening press begins, so that the dialog
// and its tree control are made while this thread runs the press's passes
// over the desktop (the two take about as long). The dialog waits, before it
// asks for its tree, until the passes are done (releaseSwitcherDialog).
void startSwitcherThread(UINT id);

// The opening press's passes and snapshot are done; its command follows.
// The dialog may ask for its tree now: a short command is over before the
// main thread takes the request, a long one (a deletion waiting for
// applications) defers it as any command does, so the dialog shows at once.
void releaseSwitcherDialog(UINT id);

// The opening press has run (completed true) or stopped early (false: the
// switch goes back to Idle and the waiting dialog ends before it is shown).
void openingPressFinished(bool completed);

// Switcher thread, in WM_INITDIALOG: waits until releaseSwitcherDialog or
// openingPressFinished, at most five seconds. After that the dialog asks for
// its tree anyway; the main thread then defers it until its command is done.
void waitForOpeningPress();

// WM_PLR_RUN from the dialog's WM_INITDIALOG, context the dialog. In Opening
// it sets g_hwndSwitcherDialog and fills the tree (Opening to Open); while a
// model command runs this is deferred until it has finished. Returns 1 while
// the dialog is to stay, 0 when it must end at once (the program is ending,
// or the dialog belongs to no opening switch).
LRESULT switcherDialogInitialising(void *context);

// WM_PLR_ALT_RELEASED and WM_PLR_FOCUS_LOST: the Alt ending activates the
// selected window, the focus ending does not. Both end the dialog, free the
// snapshot and clear the records' item handles. Deferred while a model
// command runs.
void altReleased(HWND dialog);
void focusLost(HWND dialog);

// The cancel keys, after the tree was restored: ends an open dialog without
// activating anything; the snapshot and the item handles stay.
void closeSwitcherAfterCancel();

// WM_DESTROY: Closing. Ends an open or initialising dialog and waits (at most
// two seconds, taking sent messages) for the switcher thread, so that it no
// longer runs when the model is destroyed.
void stopSwitcherForExit();

// Run by the outermost ModelCommandScope when it closes: the initialisation
// and the ending that had to wait for the command.
void runDeferredSwitchWork();
