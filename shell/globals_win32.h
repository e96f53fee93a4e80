// Windows-only process state of the shell. Owned by the main thread unless
// noted (see model/threading.h).
#pragma once

#include <cstdio>

#include "platform/win32types.h"

extern HINSTANCE g_hInstance;    // written once at start-up
extern HWND g_hwndMain;          // the hidden main window
extern HHOOK g_hKeyboardHook;    // the low-level keyboard hook
extern FILE *g_pLogFile;         // the open log, or null (see log/)
extern int g_bAboutBoxOpen;      // nonzero while the About box is shown
extern HWND g_hwndTreeView;      // switcher thread: the dialog's tree view
extern WNDPROC g_oldTreeViewProc;  // switcher thread: the control's own procedure
