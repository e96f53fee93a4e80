// Handing work from the switcher thread to the model's owner, the main
// thread (see model/threading.h), and the main window's private messages.
#pragma once

#include "platform/win32types.h"
#include "shell/lifecycle.h"

// Private messages of the main window.
#define WM_TRAYICON (WM_USER + 100)
#define WM_PLR_RUN (WM_APP + 1)         // wParam: PlrMainThreadFn, lParam: context
#define WM_PLR_WAKE (WM_APP + 2)        // run the switch work that waits (runPendingSwitchWork)
#define WM_PLR_FOCUS_LOST (WM_APP + 3)  // wParam: the serial of the switch whose tree lost the focus
// Posted by the main thread to the switcher dialog: the switch is over, the
// dialog ends itself on its own thread.
#define WM_PLR_END_SWITCHER (WM_APP + 4)

// Runs fn(context) on the main thread and returns its result. From the main
// thread it calls fn directly. From the switcher thread it sends WM_PLR_RUN
// to the main window and waits; meanwhile the switcher thread still handles
// the tree messages the main thread sends it. fn is not run and 0 is
// returned when the main window is gone (the program is ending), and when
// the main thread is in the middle of a command that waits (see
// runHandedOverWork in shell/lifecycle.h for the work that is not refused).
LRESULT runOnMainThread(PlrMainThreadFn fn, void *context);

// Main thread: the window runOnMainThread sends to, set at WM_CREATE and
// cleared at WM_DESTROY. Read by the switcher thread, hence atomic.
void setHandOverWindow(HWND mainWindow);
HWND handOverWindow();
