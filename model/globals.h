// Process-wide state shared by the core and the shell. Every item here is
// owned by the main thread (model/threading.h); the switcher thread reaches
// it only by sending a message to the main window.
#pragma once

#include <set>

#include "model/records.h"
#include "platform/win32types.h"

// Settings, written once at start-up before any other thread exists.
extern DWORD g_dwCallTerminateProcess;
extern DWORD g_dwLog;

// The system's hung-window test, or null when start-up did not find it.
typedef BOOL(WINAPI *PFNISHUNGAPPWINDOW)(HWND);
extern PFNISHUNGAPPWINDOW g_pfnIsHungAppWindow;

// The shell's desktop window (GetShellWindow), or null. Looked up at
// start-up, again when a new taskbar is announced and when a deletion starts:
// a restarted shell has a new window.
extern HWND g_hwndShell;

// The open switcher dialog, or null.
extern HWND g_hwndSwitcherDialog;

// The tree and its snapshot.
extern PLRGroup g_rootGroup;
extern PLRGroup *g_pPrevAllWindows;
extern int g_groupCounter;
extern int g_numberNewGroups;
extern int g_savedGroupCounter;

// Handles seen by the last discovery pass, ordered by unsigned value.
struct PlrHwndLess {
    bool operator()(HWND a, HWND b) const {
        return reinterpret_cast<ULONG_PTR>(a) < reinterpret_cast<ULONG_PTR>(b);
    }
};
extern std::set<HWND, PlrHwndLess> g_seenWindows;

// Group deletion in progress.
extern int g_bDeletingGroup;
extern PLRGroup *g_pGroupBeingDeleted;
