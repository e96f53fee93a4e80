// The switch life cycle's platform (shell/lifecycle.h) on Windows: the
// switcher thread, the opening gate, the messages that end a dialog and wake
// the main thread, and the Alt keys' real state.
//
// Thread: main thread, except waitForOpeningPress and waitForSwitch (the
// switcher thread).
#pragma once

#include "platform/win32types.h"

// Start-up: hands the Windows platform to the life cycle.
void installSwitchPlatform();

// Switcher thread, in WM_INITDIALOG: waits until the press that opened the
// switch has run its passes, at most five seconds. After that the dialog
// asks for its tree anyway; the main thread then makes it wait until its
// command is done.
void waitForOpeningPress();

// The timer of the main window that makes the next spare switcher thread.
constexpr UINT_PTR kSpareTimerId = 1;

// Main thread, on that timer (and at start-up): makes a switcher thread
// ahead of its switch, unless one is waiting already. Its dialog is created
// and waits, hidden, in its initialisation (waitForSwitch) until the next
// switch takes it; the switch starting then costs no new thread or dialog.
void prepareSpareSwitcher();

// Main thread, when the program ends: tells the spare to end and waits for
// it (at most two seconds, taking sent messages).
void stopSpareSwitcher();

// Switcher thread of a spare, in WM_INITDIALOG: waits, answering the
// messages sent to the thread, until a switch takes the dialog. Returns
// that switch's serial, or 0 when the dialog is to end unseen.
unsigned waitForSwitch();
