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
#include "platform/text.h"
#include "shell/globals_win32.h"
#include "shell/hotkeys.h"
#include "shell/mainthread_win32.h"
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

void addTrayIcon() {
    HICON icon = static_cast<HICON>(LoadImageW(g_hInstance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, 16, 16, 0));
    if (icon == nullptr) logLastError(L"LoadImage", L"MainWndProc");

    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = g_hwndMain;
    data.uID = kTrayIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAYICON;
    data.hIcon = icon;
    plrCopy(data.szTip, sizeof(data.szTip) / sizeof(data.szTip[0]), L"Pelorine");
    if (!Shell_NotifyIconW(NIM_ADD, &data)) logLastError(L"Shell_NotifyIcon", L"MainWndProc");
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
    addTrayIcon();
    registerHotkeys();
    return DefWindowProcW(hwnd, WM_CREATE, wParam, lParam);
}

LRESULT onDestroy(HWND hwnd) {
    // The switcher thread must be gone before the model is destroyed at
    // exit; once the hand-over window is cleared it can no longer reach it.
    setHandOverWindow(nullptr);
    stopSwitcherForExit();
    // Wine keeps registrations of a window that is gone until the process
    // ends; give the keys back at once.
    unregisterHotkeys(hwnd);
    writeKeyboardHookTimings();
    closeLogFile();
    PostQuitMessage(0);
    return 0;
}

LRESULT onHotkey(WPARAM wParam) {
    if (!isHotkeyId(wParam)) return 0;
    PLR_ASSERT_MODEL_THREAD();
    const UINT id = static_cast<UINT>(wParam);
    ModelCommandScope scope;

    // Only one switcher at a time: a press while one is opening or open, or
    // while the previous one's thread is still ending, changes the model only.
    const bool opening = currentSwitchPhase() == SwitchPhase::Idle;
    const bool mayStart = opening && previousSwitcherEnded();
    if (!runHotkeyPress(id, opening, mayStart ? startSwitcherThread : nullptr)) return -1;
    if (isCancelHotkey(id)) closeSwitcherAfterCancel();
    return 0;
}

void showAboutBox() {
    if (g_bAboutBoxOpen != 0) return;
    DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(kAboutResource), nullptr, AboutDialogProc, 0);
}

LRESULT onTrayIcon(WPARAM wParam, LPARAM lParam) {
    if (wParam != kTrayIconId || lParam != WM_RBUTTONUP) return 0;

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

}  // namespace

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
    case WM_HOTKEY:
        return onHotkey(wParam);
    case WM_TRAYICON:
        return onTrayIcon(wParam, lParam);
    case WM_PLR_RUN:
        return runHandedOverWork(reinterpret_cast<PlrMainThreadFn>(wParam), reinterpret_cast<void *>(lParam));
    case WM_PLR_ALT_RELEASED:
        altReleased(reinterpret_cast<HWND>(wParam));
        return 0;
    case WM_PLR_FOCUS_LOST:
        focusLost(reinterpret_cast<HWND>(wParam));
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}
