// The main window's procedure: one handler per message.
//
// Thread: main thread. It owns the model and the switch state; the
// switcher thread reaches it through WM_PLR_RUN (sent) and the endings of a
// switch arrive as posted messages.
#include "shell/mainwnd_win32.h"

#include <shellapi.h>

#include "log/log.h"
#include "log/logfile_win32.h"
#include "model/threading.h"
#include "platform/phases.h"
#include "platform/text.h"
#include "shell/globals_win32.h"
#include "shell/hotkeys.h"
#include "shell/lifecycle.h"
#include "shell/mainthread_win32.h"
#include "shell/startup_win32.h"
#include "shell/switch_win32.h"
#include "shell/switchstate_win32.h"

namespace {

constexpr UINT kTrayIconId = 107;
constexpr UINT kIconResource = 107;
constexpr UINT kAboutResource = 110;
constexpr UINT_PTR IDM_EXIT = 300;
constexpr UINT_PTR IDM_ABOUT = 301;

struct Hotkey {
    int id;
    UINT modifiers;
    UINT key;
    const wchar_t *failure;
};

// Registered in this order; none with MOD_NOREPEAT: a held key repeats.
const Hotkey kHotkeys[] = {
    {kHotkeyNextWindow, MOD_ALT, VK_TAB,
     L"RegisterHotKey() for Alt+Tab failed.  There is probably another application using that key combination "
     L"already running.  Aborting."},
    {kHotkeyPreviousWindow, MOD_ALT | MOD_SHIFT, VK_TAB,
     L"RegisterHotKey() for Alt+Shift+Tab failed.  There is probably another application using that key combination "
     L"already running.  Aborting."},
    {kHotkeyNextGroup, MOD_ALT, VK_UP,
     L"RegisterHotKey() for Alt+Up Arrow failed.  There is probably another application using that key combination "
     L"already running.  Aborting."},
    {kHotkeyPreviousGroup, MOD_ALT, VK_DOWN,
     L"RegisterHotKey() for Alt+Down Arrow failed.  There is probably another application using that key "
     L"combination already running.  Aborting."},
    {kHotkeyCreateGroup, MOD_ALT, VK_INSERT,
     L"RegisterHotKey() for Alt+Insert failed.  There is probably another application using that key combination "
     L"already running.  Aborting."},
    {kHotkeyGroupFromSelected, MOD_ALT | MOD_CONTROL, VK_INSERT,
     L"RegisterHotKey() for Alt+Control+Insert failed.  There is probably another application using that key "
     L"combination already running.  Aborting."},
    {kHotkeyDeleteGroup, MOD_ALT, VK_DELETE,
     L"RegisterHotKey() for Alt+Delete failed.  There is probably another application using that key combination "
     L"already running.  Aborting."},
    {kHotkeyCancel, MOD_ALT, VK_ESCAPE,
     L"RegisterHotKey() for Alt+Esc failed.  There is probably another application using that key combination "
     L"already running.  Aborting."},
    {kHotkeyCancelShift, MOD_ALT | MOD_SHIFT, VK_ESCAPE,
     L"RegisterHotKey() for Alt+Shift+Esc failed.  There is probably another application using that key "
     L"combination already running.  Aborting."},
};

// Loaded once at window creation; every later re-add shows the same icon.
// Ours (loaded without LR_SHARED): destroyed with the main window.
HICON g_trayIconImage = nullptr;

// The shell's "TaskbarCreated" message (0 if it could not be registered).
// Explorer broadcasts it to every top-level window when it has made a new
// taskbar, after a restart or a crash, and a new taskbar has no icons.
UINT g_taskbarCreatedMessage = 0;

NOTIFYICONDATAW trayIconData() {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = g_hwndMain;
    data.uID = kTrayIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAYICON;
    data.hIcon = g_trayIconImage;
    plrCopy(data.szTip, sizeof(data.szTip) / sizeof(data.szTip[0]), L"Pelorine");
    return data;
}

void addTrayIcon() {
    g_trayIconImage =
        static_cast<HICON>(LoadImageW(g_hInstance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, 16, 16, 0));
    if (g_trayIconImage == nullptr) logLastError(L"LoadImage", L"MainWndProc");

    NOTIFYICONDATAW data = trayIconData();
    if (!Shell_NotifyIconW(NIM_ADD, &data)) logLastError(L"Shell_NotifyIcon", L"MainWndProc");
}

void watchForNewTaskbars(HWND hwnd) {
    g_taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
    if (g_taskbarCreatedMessage == 0) {
        logLastError(L"RegisterWindowMessage", L"MainWndProc");
        return;
    }
    // Run elevated, the program would not get Explorer's broadcast at all:
    // messages from a lower integrity level are filtered unless allowed.
    if (!ChangeWindowMessageFilterEx(hwnd, g_taskbarCreatedMessage, MSGFLT_ALLOW, nullptr))
        logLastError(L"ChangeWindowMessageFilterEx", L"MainWndProc");
}

// The broadcast can also come while the icon still exists (a second
// broadcast, or one from another program): NIM_ADD then fails for the id in
// use, and NIM_MODIFY refreshes that icon, so there is never a second icon
// nor none. A new taskbar usually means a restarted shell, whose window is
// new as well.
LRESULT onTaskbarCreated() {
    findShellWindow();
    NOTIFYICONDATAW data = trayIconData();
    if (Shell_NotifyIconW(NIM_ADD, &data)) return 0;
    if (!Shell_NotifyIconW(NIM_MODIFY, &data)) logLastError(L"Shell_NotifyIcon", L"MainWndProc");
    return 0;
}

// A key already taken (typically by a first copy of the program) ends this
// one: the user is told which key, and the window goes.
void registerHotkeys() {
    for (const Hotkey &hotkey : kHotkeys) {
        if (RegisterHotKey(g_hwndMain, hotkey.id, hotkey.modifiers, hotkey.key)) continue;
        MessageBoxW(nullptr, hotkey.failure, L"Pelorine", MB_OK);
        removeTrayIcon();
        DestroyWindow(g_hwndMain);
        return;
    }
}

void unregisterHotkeys(HWND hwnd) {
    for (const Hotkey &hotkey : kHotkeys) UnregisterHotKey(hwnd, hotkey.id);
}

LRESULT onCreate(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    g_hwndMain = hwnd;
    setHandOverWindow(hwnd);
    watchForNewTaskbars(hwnd);
    addTrayIcon();
    registerHotkeys();
    startSendLatencyProbe();
    // The first switch's thread and dialog are made ahead, soon after
    // start-up (shell/switchstate_win32.h).
    SetTimer(hwnd, kSpareTimerId, 500, nullptr);
    return DefWindowProcW(hwnd, WM_CREATE, wParam, lParam);
}

LRESULT onDestroy(HWND hwnd) {
    // The switcher thread must be gone before the model is destroyed at
    // exit; once the hand-over window is cleared it can no longer reach it.
    setHandOverWindow(nullptr);
    stopSwitcherForExit();
    stopSpareSwitcher();
    // However the window ends (Exit, a WM_CLOSE from another program, the
    // end of the session), its icon goes with it: Explorer would otherwise
    // show a dead icon until the pointer passes over it. After Exit this
    // second removal finds nothing and changes nothing.
    removeTrayIcon();
    if (g_trayIconImage != nullptr) {
        DestroyIcon(g_trayIconImage);
        g_trayIconImage = nullptr;
    }
    // Wine keeps registrations of a window that is gone until the process
    // ends; give the keys back at once.
    unregisterHotkeys(hwnd);
    stopSendLatencyProbe();
    writeKeyboardHookTimings();
    writePhaseTimings();
    closeLogFile();
    PostQuitMessage(0);
    return 0;
}

void showAboutBox() {
    if (g_bAboutBoxOpen != 0) return;
    DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(kAboutResource), nullptr, AboutDialogProc, 0);
}

bool isTrayMenuRequest(WPARAM wParam, LPARAM lParam) { return wParam == kTrayIconId && lParam == WM_RBUTTONUP; }

// The menu, About and Exit never run inside a command that waits (a close
// request, a message box): Exit would destroy what the command still uses,
// and the menu's own loop would run further hotkeys inside it.
LRESULT onTrayIcon(WPARAM wParam, LPARAM lParam) {
    if (!isTrayMenuRequest(wParam, lParam)) return 0;
    if (queueWhileCommandRuns(WM_TRAYICON, wParam, lParam)) return 0;

    POINT point = {};
    if (!GetCursorPos(&point)) logLastError(L"GetCursorPos", L"MainWndProc");
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) logLastError(L"CreatePopupMenu", L"MainWndProc");
    if (!AppendMenuW(menu, MF_STRING, IDM_ABOUT, L"About...")) logLastError(L"AppendMenu", L"MainWndProc");
    if (!AppendMenuW(menu, MF_STRING, IDM_EXIT, L"Exit")) logLastError(L"AppendMenu", L"MainWndProc");
    SetForegroundWindow(g_hwndMain);
    const UINT_PTR command = static_cast<UINT_PTR>(
        TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_RIGHTALIGN | TPM_NONOTIFY | TPM_RETURNCMD, point.x, point.y, 0,
                       g_hwndMain, nullptr));
    if (command == IDM_EXIT) {
        removeTrayIcon();
        DestroyWindow(g_hwndMain);
    } else if (command == IDM_ABOUT) {
        showAboutBox();
    }
    if (menu != nullptr) DestroyMenu(menu);
    return 0;
}

// Another program asking the window to close ends the program, as Exit does:
// not inside a command either.
LRESULT onClose(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    if (queueWhileCommandRuns(WM_CLOSE, wParam, lParam)) return 0;
    return DefWindowProcW(hwnd, WM_CLOSE, wParam, lParam);
}

}  // namespace

void runMainWindowRequest(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TRAYICON)
        onTrayIcon(wParam, lParam);
    else if (message == WM_CLOSE && g_hwndMain != nullptr)
        onClose(g_hwndMain, wParam, lParam);
}

void removeTrayIcon() {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = g_hwndMain;
    data.uID = kTrayIconId;
    data.uFlags = 0;
    Shell_NotifyIconW(NIM_DELETE, &data);
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    switch (message) {
    case WM_CREATE:
        return onCreate(hwnd, wParam, lParam);
    case WM_DESTROY:
        return onDestroy(hwnd);
    case WM_CLOSE:
        return onClose(hwnd, wParam, lParam);
    case WM_HOTKEY:
        return switchHotkey(static_cast<UINT>(wParam));
    case WM_TRAYICON:
        return onTrayIcon(wParam, lParam);
    case WM_PLR_RUN:
        return runHandedOverWork(reinterpret_cast<PlrMainThreadFn>(wParam), reinterpret_cast<void *>(lParam));
    case WM_PLR_WAKE:
        runPendingSwitchWork();
        return 0;
    case WM_PLR_FOCUS_LOST:
        switchFocusLost(static_cast<unsigned>(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == kSpareTimerId) {
            prepareSpareSwitcher();
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    default:
        if (message != 0 && message == g_taskbarCreatedMessage) return onTaskbarCreated();
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}
