// Bringing a top-level window of any process to the foreground.
//
// Thread: main thread only (the Alt ending of a switch and the closing of a
// deleted group's applications call it). Platform-free: it reaches the
// desktop through desk::* only.
#pragma once

#include "platform/win32types.h"

// Upper bound of the WM_NULL probe, in milliseconds.
constexpr unsigned kActivationProbeTimeoutMs = 250;

// Brings hwnd to the foreground and restores it when it is minimised. A
// window that is gone, hung or does not answer the probe in time is left
// alone. Nothing is logged.
void activateWindow(HWND hwnd);
