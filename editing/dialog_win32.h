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
