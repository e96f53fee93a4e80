// Closing the applications of a deleted group. PLRGroup::closeApplications
// (declared with the records) walks the group's subtree; this is its
// enumeration callback.
//
// Thread: main thread only, inside deleteGroup while g_bDeletingGroup is 1.
#pragma once

#include "platform/win32types.h"

// Close-request bound, in milliseconds. A deletion waits it out at most once
// per application: a process that leaves a request unanswered is not asked
// again in the same deletion.
#define PLR_CLOSE_TIMEOUT_MS 2000
// Exit code of a terminated application.
#define PLR_TERMINATE_EXIT_CODE 0xFFFFFFFFu

// EnumWindows callback: sends WM_CLOSE to hwnd when it belongs to the process
// given as lParam. Only a request that is not answered within the bound (or
// at once, for a window the system counts as hung) ends the enumeration: the
// callback then returns FALSE with the last error ERROR_TIMEOUT. A request
// that fails otherwise (the window is gone) lets the enumeration go on.
BOOL CALLBACK EnumWindowsProcCloseWindows(HWND hwnd, LPARAM processId) noexcept;
