// The switch life cycle's platform (shell/lifecycle.h) on Windows: the
// switcher thread, the opening gate, the messages that end a dialog and wake
// the main thread, and the Alt keys' real state.
//
// Thread: main thread, except waitForOpeningPress (the switcher thread).
#pragma once

#include "platform/win32types.h"

// Start-up: hands the Windows platform to the life cycle.
void installSwitchPlatform();

// Switcher thread, in WM_INITDIALOG: waits until the press that opened the
// switch has run its passes, at most five seconds. After that the dialog
// asks for its tree anyway; the main thread then makes it wait until its
// command is done.
void waitForOpeningPress();
