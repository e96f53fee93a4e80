// The steps of start-up, in the order wWinMain runs them. All run on the main
// thread before any other thread exists; each failure is logged and start-up
// goes on with the handle or pointer concerned left null.
#pragma once

#include "platform/win32types.h"

// The settings key under HKEY_LOCAL_MACHINE.
extern const wchar_t kSettingsKey[];

// Reads one 32-bit setting from an open key (settingFromRegistryData: a
// string is the decimal number it spells; a value of another type but at
// most 4 bytes long is taken as its bytes). A missing or unreadable value
// gives 0.
DWORD readSettingValue(HKEY key, const wchar_t *name);

// "CallTerminateProcess" and "Log" from root\subKey into
// g_dwCallTerminateProcess and g_dwLog. Without the key both stay as they
// are (0 at start-up) and nothing is reported.
void readSettings(HKEY root = HKEY_LOCAL_MACHINE, const wchar_t *subKey = kSettingsKey);

typedef int (*PlrNotifyFn)(const wchar_t *text, const wchar_t *caption);

// When g_dwLog is set: opens the log at `path` and writes the start-up
// banner. When it cannot be opened, tells the user once through `notify`
// and switches logging off. Returns whether the log is open.
bool openLog(const wchar_t *path, PlrNotifyFn notify);

// At start the root group is the selected group.
void selectRootGroup();

// IsHungAppWindow of user32.dll into g_pfnIsHungAppWindow, or null.
void loadHungWindowTest();

// The global low-level keyboard hook into g_hKeyboardHook, or null.
void installKeyboardHook();
// Removes it again. Wine keeps the hook of a process that ended without
// removing it in its chain, where it hides key events from other hooks.
void releaseKeyboardHook();

// The class "Pelorine_MainWnd" with MainWndProc. Returns false on failure.
bool registerMainWindowClass();

// The hidden tool window; its WM_CREATE stores g_hwndMain, adds the tray icon
// and registers the hotkeys. Null on failure.
HWND createMainWindow();

// GetShellWindow into g_hwndShell. Also called when a new taskbar is
// announced: a restarted shell has a new window in a new process.
void findShellWindow();

// Runs the main thread's loop until WM_QUIT; returns its wParam.
int runMessageLoop();
