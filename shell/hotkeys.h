// What one hotkey press does to the model: the opening of a switch, the
// refresh, the snapshot and the command of each key.
//
// Thread: main thread (MainWndProc's WM_HOTKEY). Platform-free: the desktop
// is reached through desk::*, the switcher's tree through the operations
// that update it while the dialog is open.
#pragma once

#include "platform/win32types.h"

enum PlrHotkeyId : UINT {
    kHotkeyNextWindow = 1000,      // Alt+Tab
    kHotkeyPreviousWindow = 1001,  // Alt+Shift+Tab
    kHotkeyNextGroup = 1002,       // Alt+Up
    kHotkeyPreviousGroup = 1003,   // Alt+Down
    kHotkeyCreateGroup = 1004,     // Alt+Insert
    kHotkeyGroupFromSelected = 1005,  // Alt+Ctrl+Insert
    kHotkeyDeleteGroup = 1006,     // Alt+Delete
    kHotkeyCancel = 1007,          // Alt+Esc
    kHotkeyCancelShift = 1008,     // Alt+Shift+Esc
};

bool isHotkeyId(WPARAM id);
bool isCancelHotkey(UINT id);

// Opening of a switch: the discovery pass (with `refresh`, also the captions
// and icons of the windows already known), the pruning, and the foreground
// window's record moved to the front of its group and selected (found by its
// handle). Returns false when the press must stop there: no selected group,
// or no group for the selected window (both logged).
bool runOpeningSteps(bool refresh = true);

// One press. `opening`: no switcher is showing or starting, so the opening
// steps run first, refreshing every record (not for the cancel keys). A
// press while a switch is open reads nothing from the desktop. Then the
// snapshot while none exists, `releaseSwitcher(id)` when opening (it may be null: a
// press that starts no switcher), and the key's command. The program makes
// the switcher's thread at the start of the press; releaseSwitcher lets its
// dialog go on to ask for its tree. The cancel keys restore the tree from
// the snapshot; closing the dialog is the caller's business. Returns false
// when the opening aborted the press: nothing after the opening steps ran.
bool runHotkeyPress(UINT id, bool opening, void (*releaseSwitcher)(UINT id));
