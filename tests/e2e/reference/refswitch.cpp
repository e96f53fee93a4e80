// plr_refswitch: the smallest program that switches windows the way Pelorine
// does, as the baseline of the switching benchmark. Alt+Tab (a registered
// hotkey) shows a topmost dialog with a tree view of the desktop's
// switchable windows ("Root Group" and one item per window, the window in
// front first) and moves the selection to the next window; releasing Alt
// (seen by a low-level keyboard hook) brings the selected window to the
// front. No groups, icons, second thread or logging. WM_CLOSE to its hidden
// window "PlrRefSwitch" ends it.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace {

const UINT kAltReleased = WM_APP + 1;

HINSTANCE g_instance = nullptr;
HWND g_main = nullptr;
HWND g_dialog = nullptr;
HWND g_tree = nullptr;
HHOOK g_hook = nullptr;
std::vector<HWND> g_windows;
std::vector<HTREEITEM> g_items;
size_t g_selected = 0;

bool switchable(HWND hwnd) {
    if (!IsWindowVisible(hwnd) || GetWindow(hwnd, GW_OWNER) != nullptr) return false;
    if (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) return false;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid != GetCurrentProcessId();
}

BOOL CALLBACK collect(HWND hwnd, LPARAM) {
    if (switchable(hwnd)) g_windows.push_back(hwnd);
    return TRUE;
}

void select(size_t index) {
    g_selected = index;
    if (index < g_items.size())
        SendMessageW(g_tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(g_items[index]));
}

void openSwitcher() {
    g_windows.clear();
    g_items.clear();
    EnumWindows(collect, 0);
    const HWND foreground = GetForegroundWindow();
    for (size_t i = 0; i < g_windows.size(); ++i) {
        if (g_windows[i] == foreground) {
            g_windows.erase(g_windows.begin() + static_cast<std::ptrdiff_t>(i));
            g_windows.insert(g_windows.begin(), foreground);
            break;
        }
    }
    const int width = 640, height = 360;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    g_dialog = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"#32770", L"", WS_POPUP | WS_THICKFRAME, x, y, width,
                               height, nullptr, nullptr, g_instance, nullptr);
    g_tree = CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_LINESATROOT, 10, 10,
                             width - 30, height - 30, g_dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(1001)),
                             g_instance, nullptr);
    TVINSERTSTRUCTW insert = {};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<wchar_t *>(L"Root Group");
    const HTREEITEM root =
        reinterpret_cast<HTREEITEM>(SendMessageW(g_tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    for (HWND hwnd : g_windows) {
        wchar_t caption[128] = {};
        GetWindowTextW(hwnd, caption, 128);
        insert.hParent = root;
        insert.item.pszText = caption;
        g_items.push_back(
            reinterpret_cast<HTREEITEM>(SendMessageW(g_tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert))));
    }
    SendMessageW(g_tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root));
    select(0);
    ShowWindow(g_dialog, SW_SHOW);
    SetForegroundWindow(g_dialog);
    SetFocus(g_tree);
}

void closeSwitcher() {
    if (g_dialog == nullptr) return;
    DestroyWindow(g_dialog);
    g_dialog = nullptr;
    if (g_selected < g_windows.size()) SetForegroundWindow(g_windows[g_selected]);
}

LRESULT CALLBACK hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && (wParam == WM_KEYUP || wParam == WM_SYSKEYUP)) {
        const DWORD vk = reinterpret_cast<const KBDLLHOOKSTRUCT *>(lParam)->vkCode;
        if ((vk == VK_MENU || vk == VK_LMENU || vk == VK_RMENU) && g_dialog != nullptr)
            PostMessageW(g_main, kAltReleased, 0, 0);
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

LRESULT CALLBACK mainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_HOTKEY:
        if (g_dialog == nullptr) openSwitcher();
        if (!g_windows.empty()) select((g_selected + 1) % g_windows.size());
        return 0;
    case kAltReleased:
        closeSwitcher();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    g_instance = instance;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSEXW cls = {};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = mainProc;
    cls.hInstance = instance;
    cls.lpszClassName = L"PlrRefSwitch";
    RegisterClassExW(&cls);
    g_main = CreateWindowExW(WS_EX_TOOLWINDOW, L"PlrRefSwitch", L"refswitch", 0, 0, 0, 0, 0, nullptr, nullptr,
                             instance, nullptr);
    if (g_main == nullptr || !RegisterHotKey(g_main, 1, MOD_ALT, VK_TAB)) return 1;
    g_hook = SetWindowsHookExW(WH_KEYBOARD_LL, hook, instance, 0);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (g_hook != nullptr) UnhookWindowsHookEx(g_hook);
    return 0;
}
