// Discovery and refresh of the desktop's top-level windows.
//
// Thread: main thread only. The callback runs inside EnumDesktopWindows,
// called from the hotkey handling of the main window.
#pragma once

#include "platform/win32types.h"

class PLRWindow;

// The filter of the pass and of a single caption's refresh: visible and not
// cloaked, and either an application window or unowned (or owned by the
// shell window) and not a tool window; never the switcher dialog. Yields
// the window's root owner (the last owner before the shell window) in
// *rootOwner when it is not null.
// `caller` names the caller in the log reports of failed style reads (a
// style that is 0 is no failure). `separateReports`: discovery reports each
// failed extended-style read on its own; a refresh makes a single report
// when either read fails.
bool isSwitchableWindow(HWND hwnd, HWND *rootOwner, const plr_char *caller, bool separateReports);

// Discovery callback: adds a record for every switchable window the tree
// does not hold yet (its caption read at once, its icons asked for when the
// enumeration is done); in a pass that refreshes, rereads the caption of
// every window the tree holds and asks it for its icons again. A nonzero
// lParam records each accepted window in g_seenWindows. Always returns
// TRUE.
BOOL CALLBACK EnumWindowsProc(HWND hwnd, LPARAM lParam) noexcept;

// The pass over the desktop that opens a switch (EnumWindowsProc with
// lParam 1), then the icons of the windows it listed, all asked at once
// (model/icons.h). `refresh`: the windows already known have their captions
// and icons read again as well, so the switch shows them as they are now.
// A failed enumeration is logged as called from MainWndProc; the caller goes
// on. Returns false when the enumeration failed: g_seenWindows may then lack
// windows that still exist, and must not be used for pruning.
bool discoveryPass(bool refresh = false);

// Rereads the caption of one record's window as the refreshing pass does,
// if the window is still switchable: for an item made while the switcher is
// open, which shows the window as it is at that moment.
void refreshCaption(PLRWindow *record);
