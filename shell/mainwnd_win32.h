// The hidden main window: tray icon, hotkeys, command dispatch, and the
// main thread's end of every hand-over from the switcher thread.
//
// Thread: main thread.
#pragma once

#include "platform/win32types.h"

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

// A request that waited for a command to end (shell/lifecycle.h), run as if
// it had just arrived: the tray icon's menu, a close.
void runMainWindowRequest(UINT message, WPARAM wParam, LPARAM lParam);

// Takes the tray icon away (NIM_DELETE); the result is ignored.
void removeTrayIcon();

// The About box (template 110): only a left click in it closes it.
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
