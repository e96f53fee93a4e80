// The life cycle of a switch: the switcher thread, the keyboard hook and the
// tree view's subclass.
#pragma once

#include "platform/win32types.h"

DWORD WINAPI TaskSwitchThread(LPVOID parameter) noexcept;
LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam) noexcept;
LRESULT CALLBACK TreeViewSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
