#include "shell/startup_win32.h"

#include "log/log.h"
#include "log/logfile_win32.h"
#include "model/globals.h"
#include "shell/globals_win32.h"
#include "shell/mainwnd_win32.h"
#include "shell/settings.h"
#include "shell/switch_win32.h"

const wchar_t kSettingsKey[] = L"SOFTWARE\\Pelorine";

namespace {
const wchar_t kMainWindowClass[] = L"Pelorine_MainWnd";
}  // namespace

DWORD readSettingValue(HKEY key, const wchar_t *name) {
    // Read with its type, so that a string is taken for the number it
    // spells rather than for its first bytes ("0" would read as 0x30). The
    // buffer holds any number a string can sensibly spell; longer data fails
    // with ERROR_MORE_DATA, leaves the buffer undefined and reads as 0, as
    // data longer than 4 bytes of any other type does.
    BYTE data[64] = {};
    DWORD type = REG_NONE;
    DWORD size = sizeof(data);
    if (RegQueryValueExW(key, name, nullptr, &type, data, &size) != ERROR_SUCCESS) return 0;
    return settingFromRegistryData(type, data, size);
}

void readSettings(HKEY root, const wchar_t *subKey) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return;
    g_dwCallTerminateProcess = readSettingValue(key, L"CallTerminateProcess");
    g_dwLog = readSettingValue(key, L"Log");
    RegCloseKey(key);
}

bool openLog(const wchar_t *path, PlrNotifyFn notify) {
    if (g_dwLog == 0) return false;
    if (!openLogFile(path)) {
        if (notify != nullptr) notify(L"Could not open log file.  Not writing out log messages.", L"Pelorine");
        g_dwLog = 0;
        return false;
    }
    logMessage(L"==================Pelorine startup====================");
    return true;
}

void selectRootGroup() { g_rootGroup.selected = 1; }

void loadHungWindowTest() {
    // Never freed: user32 stays loaded for the life of the process anyway.
    HMODULE user32 = LoadLibraryW(L"user32.dll");
    if (user32 == nullptr) logLastError(L"LoadLibrary", L"wWinMain");
    const FARPROC proc = GetProcAddress(user32, "IsHungAppWindow");
    if (proc == nullptr) {
        logLastError(L"GetProcAddress", L"wWinMain");
        g_pfnIsHungAppWindow = nullptr;
        return;
    }
    // Through the generic function-pointer type, which converts to any other
    // without a cast-function-type warning.
    g_pfnIsHungAppWindow = reinterpret_cast<PFNISHUNGAPPWINDOW>(reinterpret_cast<void (*)(void)>(proc));
}

void installKeyboardHook() {
    g_hKeyboardHook = SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardHookProc, g_hInstance, 0);
    if (g_hKeyboardHook == nullptr) logLastError(L"SetWindowsHookEx", L"wWinMain");
}

void releaseKeyboardHook() {
    if (g_hKeyboardHook == nullptr) return;
    UnhookWindowsHookEx(g_hKeyboardHook);
    g_hKeyboardHook = nullptr;
}

bool registerMainWindowClass() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = 0;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = g_hInstance;
    wc.lpszClassName = kMainWindowClass;
    if (RegisterClassExW(&wc) == 0) {
        logLastError(L"RegisterClassEx", L"wWinMain");
        return false;
    }
    return true;
}

HWND createMainWindow() {
    // Never shown; as a tool window it never gets a taskbar button.
    HWND hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, kMainWindowClass, L"Pelorine", 0, 0, 0, 0, 0, nullptr, nullptr,
                                g_hInstance, nullptr);
    // When WM_CREATE gave up (a hotkey is taken), WM_DESTROY has already
    // closed the log and this report is dropped.
    if (hwnd == nullptr) logLastError(L"CreateWindowEx", L"wWinMain");
    return hwnd;
}

void findShellWindow() {
    g_hwndShell = GetShellWindow();
    if (g_hwndShell == nullptr) logMessage(L"GetShellWindow returned NULL");
}

int runMessageLoop() {
    // KeyboardHookProc is called inside GetMessageW, on this thread.
    MSG msg = {};
    for (;;) {
        const BOOL result = GetMessageW(&msg, nullptr, 0, 0);
        if (result == 0) break;
        // -1 cannot come with a null window filter; should it ever, waiting
        // again would spin, so the loop ends instead.
        if (result == -1) return 0;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
