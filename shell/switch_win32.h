// The switch's three system callbacks: the switcher thread, the keyboard
// hook and the tree view's subclass. They decide and hand over; the endings
// themselves run on the main thread (shell/switchstate_win32.h).
#pragma once

#include "platform/win32types.h"

// Switcher thread: runs the modal switcher dialog (template 101,
// DialogProc2) until it ends. The parameter is the hotkey id.
DWORD WINAPI TaskSwitchThread(LPVOID parameter) noexcept;

// Main thread (the system calls the low-level hook on the thread that
// installed it). An Alt release while a switcher dialog is open and no group
// deletion runs posts WM_PLR_ALT_RELEASED to the main window. It never
// activates, sends or waits here: Windows silently removes a low-level hook
// that overruns its time-out. Every key is passed on.
LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam) noexcept;

// Switcher thread: the tree view's window procedure. A loss of the keyboard
// focus posts WM_PLR_FOCUS_LOST with the dialog to the main window; every
// message goes on to the control's own procedure.
LRESULT CALLBACK TreeViewSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

// Test builds measure the hook's own time. When the environment variable
// PLR_HOOK_TIMING_FILE names a file, this writes there the timer frequency
// and every measured duration in timer ticks, one per line. Main thread, at
// the end of the program; does nothing in the product.
void writeKeyboardHookTimings();
