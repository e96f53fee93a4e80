// The switch's three system callbacks: the switcher thread, the keyboard
// hook and the tree view's subclass. They decide and hand over; the endings
// themselves run on the main thread (shell/lifecycle.h).
#pragma once

#include "platform/win32types.h"

// Switcher thread: runs the modal switcher dialog (template 101,
// DialogProc2) until it ends. The parameter is the serial number of the
// switch (shell/lifecycle.h), handed on to the dialog as its creation value;
// 0 for a thread made ahead of its switch, whose dialog learns its serial
// when a switch takes it (shell/switchstate_win32.h).
DWORD WINAPI TaskSwitchThread(LPVOID parameter) noexcept;

// Main thread (the system calls the low-level hook on the thread that
// installed it). An Alt release is handed to the life cycle, which decides
// whether it ends the switch and has the ending run from the message loop.
// It never activates, sends or waits here: Windows skips a low-level hook
// that overruns its time-out, and silently removes one that does so again
// and again. Every key is passed on.
LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam) noexcept;

// Switcher thread: the tree view's window procedure. A loss of the keyboard
// focus posts WM_PLR_FOCUS_LOST with the switch's serial (kept in the
// dialog's DWLP_USER) to the main window; every message goes on to the
// control's own procedure.
LRESULT CALLBACK TreeViewSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

// Test builds measure the hook's own time. When the environment variable
// PLR_HOOK_TIMING_FILE names a file, this writes there the timer frequency
// and every measured duration in timer ticks, one per line. Main thread, at
// the end of the program; does nothing in the product.
void writeKeyboardHookTimings();

// Test builds measure how long the main thread goes without taking sent
// messages: Windows skips a low-level hook whose thread does not answer
// within its time-out (about 300 ms by default) and removes it for good
// after a few such misses. When PLR_SEND_LATENCY_FILE names a file, a probe
// thread keeps sending WM_NULL to the main window and notes how long each
// send waits; stopSendLatencyProbe (main thread, at the end) writes the
// timer frequency, then for every send the timer value when it began and
// its wait in timer ticks, one send per line. Both do nothing in the
// product.
void startSendLatencyProbe();
void stopSendLatencyProbe();
