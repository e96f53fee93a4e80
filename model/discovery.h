// Discovery and refresh of the desktop's top-level windows.
//
// Thread: main thread only. The callbacks run inside EnumDesktopWindows,
// called from the hotkey handling of the main window.
#pragma once

#include "platform/win32types.h"

// The filter shared by both passes: visible and not cloaked, and either an
// application window or unowned (or owned by the shell window) and not a
// tool window; never the switcher dialog. Yields the window's root owner
// (the last owner before the shell window) in *rootOwner when it is not
// null.
// `caller` names the callback in the log reports of failed style reads (a
// style that is 0 is no failure). `separateReports`: discovery reports each
// failed extended-style read on its own; refresh makes a single report when
// either read fails.
bool isSwitchableWindow(HWND hwnd, HWND *rootOwner, const plr_char *caller, bool separateReports);

// Fills *iconBig and *iconSmall with the window's icons, asking the window with
// WM_GETICON (bounded to 250 ms each, never waiting on a hung window) and
// falling back to its class icons and the system application icon.
void getWindowIcons(HWND hwnd, HICON *iconBig, HICON *iconSmall);

// Discovery callback: adds a record for every switchable window the tree
// does not hold yet; a nonzero lParam records each accepted window in
// g_seenWindows. Always returns TRUE.
BOOL CALLBACK EnumWindowsProc(HWND hwnd, LPARAM lParam) noexcept;

// Refresh callback: rereads caption and icons of existing records. Always
// returns TRUE.
BOOL CALLBACK EnumWindowsProcUpdateCaptionAndIcons(HWND hwnd, LPARAM lParam) noexcept;

// The discovery pass (EnumWindowsProc with lParam 1) and the refresh pass
// (EnumWindowsProcUpdateCaptionAndIcons with lParam 0) over the desktop. A
// failed enumeration is logged as called from MainWndProc; the caller goes on.
// discoveryPass returns false when its enumeration failed: g_seenWindows may
// then lack windows that still exist, and must not be used for pruning.
bool discoveryPass();
void refreshPass();
