// Handing work from the switcher thread to the model's owner, the main
// thread (see model/threading.h), and the main window's private messages.
#pragma once

#include "platform/win32types.h"

// Private messages of the main window.
#define WM_TRAYICON (WM_USER + 100)
#define WM_PLR_RUN (WM_APP + 1)           // wParam: PlrMainThreadFn, lParam: context
#define WM_PLR_ALT_RELEASED (WM_APP + 2)  // wParam: the dialog the hook saw open
#define WM_PLR_FOCUS_LOST (WM_APP + 3)    // wParam: the dialog whose tree lost the focus
// Posted by the main thread to the switcher dialog: the switch is over, the
// dialog ends itself on its own thread.
#define WM_PLR_END_SWITCHER (WM_APP + 4)

typedef LRESULT (*PlrMainThreadFn)(void *context);

// Runs fn(context) on the main thread and returns its result. From the main
// thread it calls fn directly. From the switcher thread it sends WM_PLR_RUN
// to the main window and waits; meanwhile the switcher thread still handles
// the tree messages the main thread sends it. fn is not run and 0 is
// returned when:
//   - the main window is gone (the program is ending);
//   - the main thread is in the middle of a model command that waits on sent
//     messages (a hotkey command, the end of a switch, another handed-over
//     action): running fn there would change lists the command is walking.
//     The dialog's initialisation is the one exception; it is deferred until
//     the command has finished (see shell/switchstate_win32.h).
LRESULT runOnMainThread(PlrMainThreadFn fn, void *context);

// Main thread: the window runOnMainThread sends to, set at WM_CREATE and
// cleared at WM_DESTROY. Read by the switcher thread, hence atomic.
void setHandOverWindow(HWND mainWindow);
HWND handOverWindow();

// Main thread: brackets work on the model that may take sent messages while
// it waits (every send to the switcher's tree, every timed send to another
// application). While one is open, handed-over actions are refused. When the
// outermost one closes, work that was deferred meanwhile runs.
class ModelCommandScope {
public:
    ModelCommandScope() noexcept;
    ~ModelCommandScope();
    ModelCommandScope(const ModelCommandScope &) = delete;
    ModelCommandScope &operator=(const ModelCommandScope &) = delete;
};
bool modelCommandRunning() noexcept;

// Main thread: WM_PLR_RUN. Runs the handed-over fn under the rules above.
LRESULT runHandedOverWork(PlrMainThreadFn fn, void *context) noexcept;
