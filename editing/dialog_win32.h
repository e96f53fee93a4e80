// The switcher dialog's procedure (dialog template 101).
//
// Thread: the switcher thread, which runs the modal dialog. Every handler
// that needs the model hands it to the main thread (runOnMainThread) and
// waits; the tree messages the main thread sends back meanwhile are carried
// out here. The dialog never ends itself on its own initiative: the main
// thread posts WM_PLR_END_SWITCHER when the switch is over.
#pragma once

#include "platform/win32types.h"

// Returns FALSE for every message: the dialog manager and the tree view go on
// with their own default handling.
INT_PTR CALLBACK DialogProc2(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

// Centres the dialog in the work area of the primary monitor, as DS_CENTER
// does when the dialog is made. A dialog made ahead of its switch calls it
// when the switch takes it: the task bar, the resolution or the monitors may
// have changed since it was made.
void centreInWorkArea(HWND hDlg);
