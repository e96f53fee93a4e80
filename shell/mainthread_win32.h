// Handing work from the switcher thread to the model's owner, the main
// thread (see model/threading.h).
#pragma once

#include "platform/win32types.h"

// Private messages of the main window.
#define WM_TRAYICON (WM_USER + 100)
#define WM_PLR_RUN (WM_APP + 1)           // wParam: PlrMainThreadFn, lParam: context
#define WM_PLR_ALT_RELEASED (WM_APP + 2)  // wParam: the dialog the hook saw open
#define WM_PLR_FOCUS_LOST (WM_APP + 3)    // wParam: the dialog whose tree lost the focus

typedef LRESULT (*PlrMainThreadFn)(void *context);

// Runs fn(context) on the main thread and returns its result. From the main
// thread it calls fn directly. From the switcher thread it sends WM_PLR_RUN
// to the main window and waits; meanwhile the switcher thread still handles
// the tree messages the main thread sends it. When the main window is gone
// (the program is ending) fn is not run and 0 is returned.
LRESULT runOnMainThread(PlrMainThreadFn fn, void *context);
