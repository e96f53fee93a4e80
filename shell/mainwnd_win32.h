// The hidden main window: tray icon, hotkeys and command dispatch.
#pragma once

#include "platform/win32types.h"

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
