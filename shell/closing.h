// Closing the applications of a deleted group. PLRGroup::closeApplications
// (declared with the records) walks the group's subtree; this is its
// enumeration callback.
//
// Thread: main thread only, inside deleteGroup while g_bDeletingGroup is 1.
#pragma once

#include "platform/win32types.h"

// Close-request bound for each window, in milliseconds.
#define PLR_CLOSE_TIMEOUT_MS 2000
// Exit code of a terminated application.
#define PLR_TERMINATE_EXIT_CODE 0xFFFFFFFFu

// EnumWindows callback: sends WM_CLOSE to hwnd when it belongs to the process
// given as lParam. Returns FALSE, ending the enumeration, when the request
// fails or is not answered within the bound.
BOOL CALLBACK EnumWindowsProcCloseWindows(HWND hwnd, LPARAM processId) noexcept;
