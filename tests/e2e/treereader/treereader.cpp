// plr_treereader: looks at the desktop from outside the program under test and
// prints one JSON document on stdout. The end-to-end tests read the switcher's
// tree through it, find windows and message boxes, send messages and get the
// full 32-bit exit codes that Linux only sees modulo 256.
//
//   plr_treereader [--timeout MS] [--pid PID] MODE
//   --tree            the switcher dialog (a "#32770" whose child 1001 is a
//                     SysTreeView32; of PID when given; a visible one first,
//                     never a hidden one with an empty tree, which is not a
//                     switch's) and its items, depth first
//   --windows         every top-level window
//   --dialogs         every top-level "#32770" window with its child controls
//   --menus           every visible popup menu window ("#32768") and its items
//   --children HWND   one window and its direct child windows
//   --post HWND MSG WPARAM LPARAM / --send HWND MSG WPARAM LPARAM
//   --exitcode PID    prints {"opened": PID} once it holds the process, then
//                     waits (up to --timeout) for it and prints its exit code
//   --run EXE ARGS... starts EXE, waits (up to --timeout, then terminates it)
//   --keepalive SECONDS  keeps the Wine virtual desktop open, without any
//                     top-level window, until killed or SECONDS have passed
//   --probe HWND MS   one SendMessageTimeout(WM_NULL) bounded by MS; prints
//                     how long the window took to answer
//   --monitor HWND MS INTERVAL SECONDS  the same probe every INTERVAL ms, one
//                     JSON line each, until the window is gone (one last line
//                     with "gone") or SECONDS have passed
//   --register NAME   RegisterWindowMessageW(NAME): prints {"message": N}
//   --tray-delete HWND ID  takes away the notification icon ID of window HWND
//                     (of any process) as a restarting shell loses it
//
// Nothing of another process's memory is touched except the blocks this
// program allocates there for the tree-view messages. Numbers accept 0x.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

DWORD g_timeoutMs = 5000;

// ---------- JSON output ------------------------------------------------------
class Json {
public:
    std::string out;
    void key(const char *k) {
        comma();
        str(k);
        out += ':';
        pendingComma_ = false;
    }
    void str(const char *s) {
        comma();
        out += '"';
        for (; *s; ++s) escapeUnit(static_cast<unsigned char>(*s));
        out += '"';
        pendingComma_ = true;
    }
    void wstr(const wchar_t *s, size_t n) {
        comma();
        out += '"';
        for (size_t i = 0; i < n; ++i) escapeUnit(static_cast<unsigned>(s[i]));
        out += '"';
        pendingComma_ = true;
    }
    void wstr(const std::wstring &s) { wstr(s.data(), s.size()); }
    void num(long long v) {
        comma();
        out += std::to_string(v);
        pendingComma_ = true;
    }
    void unum(unsigned long long v) {
        comma();
        out += std::to_string(v);
        pendingComma_ = true;
    }
    void boolean(bool v) {
        comma();
        out += v ? "true" : "false";
        pendingComma_ = true;
    }
    void null() {
        comma();
        out += "null";
        pendingComma_ = true;
    }
    void begin(char c) {
        comma();
        out += c;
        pendingComma_ = false;
    }
    void end(char c) {
        out += c;
        pendingComma_ = true;
    }
    void rect(const RECT &r) {
        begin('[');
        num(r.left);
        num(r.top);
        num(r.right);
        num(r.bottom);
        end(']');
    }
    void print() {
        out += '\n';
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
    }

private:
    bool pendingComma_ = false;
    void comma() {
        if (pendingComma_) out += ',';
        pendingComma_ = false;
    }
    // Strings leave as ASCII: everything else, lone surrogates included, as \uXXXX.
    void escapeUnit(unsigned u) {
        if (u == '"' || u == '\\') {
            out += '\\';
            out += static_cast<char>(u);
        } else if (u >= 0x20 && u < 0x7f) {
            out += static_cast<char>(u);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u & 0xffffu);
            out += buf;
        }
    }
};

unsigned long long parseNumber(const wchar_t *s) { return std::wcstoull(s, nullptr, 0); }

std::wstring windowText(HWND hwnd) {
    // InternalGetWindowText sends no message, so a hung window cannot block us.
    wchar_t buf[2048];
    int n = InternalGetWindowText(hwnd, buf, static_cast<int>(sizeof buf / sizeof buf[0]));
    return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

std::wstring className(HWND hwnd) {
    wchar_t buf[256];
    int n = GetClassNameW(hwnd, buf, static_cast<int>(sizeof buf / sizeof buf[0]));
    return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

DWORD windowPid(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

void hwndValue(Json &j, HWND h) { j.unum(reinterpret_cast<ULONG_PTR>(h)); }

void windowCommon(Json &j, HWND h) {
    RECT r = {};
    GetWindowRect(h, &r);
    j.key("hwnd");
    hwndValue(j, h);
    j.key("pid");
    j.unum(windowPid(h));
    j.key("class");
    j.wstr(className(h));
    j.key("caption");
    j.wstr(windowText(h));
    j.key("visible");
    j.boolean(IsWindowVisible(h) != FALSE);
    j.key("iconic");
    j.boolean(IsIconic(h) != FALSE);
    j.key("foreground");
    j.boolean(GetForegroundWindow() == h);
    j.key("owner");
    hwndValue(j, GetWindow(h, GW_OWNER));
    j.key("style");
    j.unum(static_cast<unsigned long long>(GetWindowLongPtrW(h, GWL_STYLE)) & 0xffffffffull);
    j.key("exstyle");
    j.unum(static_cast<unsigned long long>(GetWindowLongPtrW(h, GWL_EXSTYLE)) & 0xffffffffull);
    j.key("rect");
    j.rect(r);
}

// A named CALLBACK function, not a lambda: on 32-bit Windows the callback
// must use the stdcall convention, which a lambda's conversion does not give.
BOOL CALLBACK collectWindow(HWND h, LPARAM p) {
    reinterpret_cast<std::vector<HWND> *>(p)->push_back(h);
    return TRUE;
}

std::vector<HWND> topLevelWindows() {
    std::vector<HWND> all;
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&all));
    return all;
}

// ---------- remote tree view access -----------------------------------------
// Tree-view messages carry pointers, which must point into the tree's own
// process: one block there holds the item structure, the text and the rectangle.
struct RemoteBlock {
    TVITEMW item;
    RECT rect;
    wchar_t text[2048];
};

class RemoteTree {
public:
    RemoteTree(HWND tree, DWORD pid) : tree_(tree) {
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                               FALSE, pid);
        if (process_)
            remote_ = static_cast<RemoteBlock *>(
                VirtualAllocEx(process_, nullptr, sizeof(RemoteBlock), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    ~RemoteTree() {
        if (remote_) VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
        if (process_) CloseHandle(process_);
    }
    RemoteTree(const RemoteTree &) = delete;
    RemoteTree &operator=(const RemoteTree &) = delete;

    bool ok() const { return remote_ != nullptr; }

    bool send(UINT msg, WPARAM w, LPARAM l, LRESULT *result) const {
        DWORD_PTR r = 0;
        if (!SendMessageTimeoutW(tree_, msg, w, l, SMTO_ABORTIFHUNG, g_timeoutMs, &r)) return false;
        *result = static_cast<LRESULT>(r);
        return true;
    }

    HTREEITEM next(HTREEITEM item, WPARAM code) const {
        LRESULT r = 0;
        if (!send(TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item), &r)) return nullptr;
        return reinterpret_cast<HTREEITEM>(r);
    }

    bool item(HTREEITEM h, TVITEMW *out, std::wstring *text) const {
        RemoteBlock local = {};
        local.item.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_STATE | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
        local.item.hItem = h;
        local.item.stateMask = TVIS_STATEIMAGEMASK | TVIS_EXPANDED | TVIS_SELECTED | TVIS_DROPHILITED | TVIS_BOLD;
        local.item.pszText = remote_->text;
        local.item.cchTextMax = static_cast<int>(sizeof local.text / sizeof local.text[0]);
        if (!WriteProcessMemory(process_, remote_, &local, sizeof local, nullptr)) return false;
        LRESULT r = 0;
        if (!send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&remote_->item), &r) || !r) return false;
        if (!ReadProcessMemory(process_, remote_, &local, sizeof local, nullptr)) return false;
        local.text[sizeof local.text / sizeof local.text[0] - 1] = 0;
        *out = local.item;
        text->assign(local.text, wcsnlen(local.text, sizeof local.text / sizeof local.text[0]));
        return true;
    }

    // Item rectangle (text part) in screen coordinates.
    bool itemRect(HTREEITEM h, RECT *out) const {
        // TVM_GETITEMRECT takes the item handle in the first bytes of the rectangle.
        if (!WriteProcessMemory(process_, &remote_->rect, &h, sizeof h, nullptr)) return false;
        LRESULT r = 0;
        if (!send(TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&remote_->rect), &r) || !r) return false;
        if (!ReadProcessMemory(process_, &remote_->rect, out, sizeof *out, nullptr)) return false;
        MapWindowPoints(tree_, HWND_DESKTOP, reinterpret_cast<POINT *>(out), 2);
        return true;
    }

private:
    HWND tree_;
    HANDLE process_ = nullptr;
    RemoteBlock *remote_ = nullptr;
};

void walkItems(Json &j, const RemoteTree &rt, HTREEITEM first, int depth, HTREEITEM caret, HTREEITEM drop,
               int *budget) {
    for (HTREEITEM h = first; h && *budget > 0; h = rt.next(h, TVGN_NEXT)) {
        --*budget;
        TVITEMW it = {};
        std::wstring text;
        bool got = rt.item(h, &it, &text);
        RECT r = {};
        bool haveRect = rt.itemRect(h, &r);
        j.begin('{');
        j.key("handle");
        j.unum(reinterpret_cast<ULONG_PTR>(h));
        j.key("depth");
        j.num(depth);
        j.key("text");
        j.wstr(text);
        j.key("read");
        j.boolean(got);
        j.key("state_image");
        j.num(static_cast<long long>((it.state & TVIS_STATEIMAGEMASK) >> 12));
        j.key("expanded");
        j.boolean((it.state & TVIS_EXPANDED) != 0);
        j.key("selected");
        j.boolean((it.state & TVIS_SELECTED) != 0);
        j.key("drop_state");
        j.boolean((it.state & TVIS_DROPHILITED) != 0);
        j.key("caret");
        j.boolean(h == caret);
        j.key("drop");
        j.boolean(h == drop);
        j.key("image");
        j.num(it.iImage);
        j.key("selected_image");
        j.num(it.iSelectedImage);
        j.key("children");
        j.num(it.cChildren);
        j.key("rect");
        if (haveRect)
            j.rect(r);
        else
            j.null();
        j.end('}');
        walkItems(j, rt, rt.next(h, TVGN_CHILD), depth + 1, caret, drop, budget);
    }
}

bool isSwitcherDialog(HWND h) {
    if (className(h) != L"#32770") return false;
    HWND tree = GetDlgItem(h, 1001);
    return tree && className(tree) == WC_TREEVIEWW;
}

// A hidden switcher dialog whose tree holds no item is not (yet, or no
// longer) a switch's: Pelorine keeps one made ahead of the next switch.
bool hiddenAndEmpty(HWND h) {
    if (IsWindowVisible(h)) return false;
    DWORD_PTR count = 0;
    return SendMessageTimeoutW(GetDlgItem(h, 1001), TVM_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, g_timeoutMs, &count) &&
           count == 0;
}

int modeTree(DWORD pid) {
    HWND found = nullptr;
    for (HWND h : topLevelWindows()) {
        if (pid && windowPid(h) != pid) continue;
        if (!isSwitcherDialog(h)) continue;
        if (IsWindowVisible(h)) {
            found = h;
            break;
        }
        if (!found && !hiddenAndEmpty(h)) found = h;
    }
    Json j;
    j.begin('{');
    HWND fg = GetForegroundWindow();
    j.key("foreground");
    if (fg) {
        j.begin('{');
        j.key("hwnd");
        hwndValue(j, fg);
        j.key("caption");
        j.wstr(windowText(fg));
        j.key("class");
        j.wstr(className(fg));
        j.key("pid");
        j.unum(windowPid(fg));
        j.end('}');
    } else {
        j.null();
    }
    j.key("dialog");
    if (!found) {
        j.null();
        j.key("items");
        j.begin('[');
        j.end(']');
        j.end('}');
        j.print();
        return 0;
    }
    HWND tree = GetDlgItem(found, 1001);
    j.begin('{');
    windowCommon(j, found);
    j.key("topmost");
    j.boolean((GetWindowLongPtrW(found, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0);
    j.key("tree_hwnd");
    hwndValue(j, tree);
    RECT tr = {};
    GetWindowRect(tree, &tr);
    j.key("tree_rect");
    j.rect(tr);
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof gti;
    DWORD tid = GetWindowThreadProcessId(found, nullptr);
    j.key("focus_hwnd");
    if (GetGUIThreadInfo(tid, &gti))
        hwndValue(j, gti.hwndFocus);
    else
        j.null();
    j.end('}');

    RemoteTree rt(tree, windowPid(found));
    LRESULT bk = 0;
    j.key("bk_color");
    if (rt.send(TVM_GETBKCOLOR, 0, 0, &bk))
        j.num(static_cast<long long>(static_cast<DWORD>(bk)));
    else
        j.null();
    j.key("btnface_color");
    j.num(static_cast<long long>(GetSysColor(COLOR_BTNFACE)));
    j.key("items");
    j.begin('[');
    if (rt.ok()) {
        HTREEITEM caret = rt.next(nullptr, TVGN_CARET);
        HTREEITEM drop = rt.next(nullptr, TVGN_DROPHILITE);
        int budget = 10000;
        walkItems(j, rt, rt.next(nullptr, TVGN_ROOT), 0, caret, drop, &budget);
    }
    j.end(']');
    j.key("remote_ok");
    j.boolean(rt.ok());
    j.end('}');
    j.print();
    return 0;
}

int modeWindows() {
    Json j;
    j.begin('{');
    j.key("foreground");
    hwndValue(j, GetForegroundWindow());
    j.key("windows");
    j.begin('[');
    for (HWND h : topLevelWindows()) {
        j.begin('{');
        windowCommon(j, h);
        j.end('}');
    }
    j.end(']');
    j.end('}');
    j.print();
    return 0;
}

void childWindows(Json &j, HWND h) {
    j.key("children");
    j.begin('[');
    for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        j.begin('{');
        j.key("hwnd");
        hwndValue(j, c);
        j.key("class");
        j.wstr(className(c));
        j.key("id");
        j.num(GetDlgCtrlID(c));
        j.key("text");
        j.wstr(windowText(c));
        j.key("visible");
        j.boolean(IsWindowVisible(c) != FALSE);
        RECT r = {};
        GetWindowRect(c, &r);
        j.key("rect");
        j.rect(r);
        j.end('}');
    }
    j.end(']');
}

int modeDialogs() {
    Json j;
    j.begin('{');
    j.key("dialogs");
    j.begin('[');
    for (HWND h : topLevelWindows()) {
        if (className(h) != L"#32770") continue;
        j.begin('{');
        windowCommon(j, h);
        childWindows(j, h);
        j.end('}');
    }
    j.end(']');
    j.end('}');
    j.print();
    return 0;
}

int modeChildren(HWND h) {
    Json j;
    j.begin('{');
    windowCommon(j, h);
    childWindows(j, h);
    j.end('}');
    j.print();
    return 0;
}

int modeMenus() {
    Json j;
    j.begin('{');
    j.key("menus");
    j.begin('[');
    for (HWND h : topLevelWindows()) {
        if (className(h) != L"#32768" || !IsWindowVisible(h)) continue;
        j.begin('{');
        windowCommon(j, h);
        j.key("items");
        j.begin('[');
        DWORD_PTR menu = 0;
        // MN_GETHMENU: the menu shown by a popup menu window.
        if (SendMessageTimeoutW(h, 0x01E1, 0, 0, SMTO_ABORTIFHUNG, g_timeoutMs, &menu) && menu) {
            HMENU m = reinterpret_cast<HMENU>(menu);
            int count = GetMenuItemCount(m);
            for (int i = 0; i < count; ++i) {
                wchar_t text[256] = {};
                GetMenuStringW(m, static_cast<UINT>(i), text, 255, MF_BYPOSITION);
                RECT r = {};
                BOOL haveRect = GetMenuItemRect(nullptr, m, static_cast<UINT>(i), &r);
                j.begin('{');
                j.key("id");
                j.num(static_cast<long long>(GetMenuItemID(m, i)));
                j.key("text");
                j.wstr(text, wcsnlen(text, 256));
                j.key("rect");
                if (haveRect)
                    j.rect(r);
                else
                    j.null();
                j.end('}');
            }
        }
        j.end(']');
        j.end('}');
    }
    j.end(']');
    j.end('}');
    j.print();
    return 0;
}

int modeMessage(bool post, wchar_t **args) {
    HWND h = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(parseNumber(args[0])));
    UINT msg = static_cast<UINT>(parseNumber(args[1]));
    WPARAM w = static_cast<WPARAM>(parseNumber(args[2]));
    LPARAM l = static_cast<LPARAM>(parseNumber(args[3]));
    Json j;
    j.begin('{');
    if (post) {
        BOOL ok = PostMessageW(h, msg, w, l);
        j.key("ok");
        j.boolean(ok != FALSE);
        j.key("error");
        j.num(ok ? 0 : static_cast<long long>(GetLastError()));
    } else {
        DWORD_PTR r = 0;
        LRESULT ok = SendMessageTimeoutW(h, msg, w, l, SMTO_NORMAL, g_timeoutMs, &r);
        j.key("ok");
        j.boolean(ok != 0);
        j.key("error");
        j.num(ok ? 0 : static_cast<long long>(GetLastError()));
        j.key("result");
        j.num(static_cast<long long>(static_cast<LONG_PTR>(r)));
    }
    j.end('}');
    j.print();
    return 0;
}

void printExit(HANDLE process, DWORD pid, bool terminated) {
    DWORD code = 0;
    BOOL ok = GetExitCodeProcess(process, &code);
    Json j;
    j.begin('{');
    j.key("pid");
    j.unum(pid);
    j.key("running");
    j.boolean(ok && code == STILL_ACTIVE && !terminated);
    j.key("terminated");
    j.boolean(terminated);
    j.key("exit_code");
    if (ok)
        j.unum(code);
    else
        j.null();
    j.end('}');
    j.print();
}

int modeExitCode(DWORD pid) {
    HANDLE p = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!p) {
        Json j;
        j.begin('{');
        j.key("pid");
        j.unum(pid);
        j.key("error");
        j.num(static_cast<long long>(GetLastError()));
        j.end('}');
        j.print();
        return 0;
    }
    // Tell the waiting test that the process is held: from now on its exit
    // code stays readable even if it ends before the wait below starts.
    Json opened;
    opened.begin('{');
    opened.key("opened");
    opened.unum(pid);
    opened.end('}');
    opened.print();
    WaitForSingleObject(p, g_timeoutMs);
    printExit(p, pid, false);
    CloseHandle(p);
    return 0;
}

std::wstring quoteArg(const std::wstring &a) {
    if (!a.empty() && a.find_first_of(L" \t\"") == std::wstring::npos) return a;
    std::wstring q = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : a) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only in front of a quote: doubled there, kept elsewhere.
        q.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        q += c;
        backslashes = 0;
    }
    q.append(backslashes * 2, L'\\');
    q += L'"';
    return q;
}

int modeRun(int argc, wchar_t **argv) {
    std::wstring cmd;
    for (int i = 0; i < argc; ++i) {
        if (i) cmd += L' ';
        cmd += quoteArg(argv[i]);
    }
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::vector<wchar_t> buf(cmd.begin(), cmd.end());
    buf.push_back(0);
    if (!CreateProcessW(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        Json j;
        j.begin('{');
        j.key("error");
        j.num(static_cast<long long>(GetLastError()));
        j.end('}');
        j.print();
        return 0;
    }
    CloseHandle(pi.hThread);
    bool terminated = false;
    if (WaitForSingleObject(pi.hProcess, g_timeoutMs) == WAIT_TIMEOUT) {
        // Bounded: a program that outlives the wait is ended here, by its handle.
        TerminateProcess(pi.hProcess, 0xDEAD);
        WaitForSingleObject(pi.hProcess, 5000);
        terminated = true;
    }
    printExit(pi.hProcess, pi.dwProcessId, terminated);
    CloseHandle(pi.hProcess);
    return 0;
}

int modeKeepAlive(DWORD seconds) {
    // A message-only window attaches the process to the desktop (which brings up
    // the virtual desktop's X window) without adding a top-level window that
    // window enumeration would see.
    HWND w = CreateWindowExW(0, L"STATIC", L"plr-keepalive", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    GetDesktopWindow();
    SetTimer(w, 1, seconds * 1000u, nullptr);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        if (m.message == WM_TIMER) break;
        DispatchMessageW(&m);
    }
    return 0;
}

// One bounded WM_NULL round trip; a window that does not take sent messages
// within timeoutMs reports ok false and error 1460 (ERROR_TIMEOUT).
void probeOnce(HWND h, DWORD timeoutMs) {
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    DWORD_PTR r = 0;
    SetLastError(0);
    LRESULT ok = SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &r);
    DWORD error = ok ? 0 : GetLastError();
    QueryPerformanceCounter(&t1);
    Json j;
    j.begin('{');
    j.key("ok");
    j.boolean(ok != 0);
    j.key("error");
    j.num(static_cast<long long>(error));
    j.key("ms");
    j.num(static_cast<long long>((t1.QuadPart - t0.QuadPart) * 1000 / freq.QuadPart));
    j.key("gone");
    j.boolean(!IsWindow(h));
    j.end('}');
    j.print();
}

int modeProbe(wchar_t **args) {
    probeOnce(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(parseNumber(args[0]))),
              static_cast<DWORD>(parseNumber(args[1])));
    return 0;
}

int modeMonitor(wchar_t **args) {
    HWND h = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(parseNumber(args[0])));
    const DWORD timeoutMs = static_cast<DWORD>(parseNumber(args[1]));
    const DWORD intervalMs = static_cast<DWORD>(parseNumber(args[2]));
    const ULONGLONG deadline = GetTickCount64() + parseNumber(args[3]) * 1000ull;
    while (GetTickCount64() < deadline) {
        probeOnce(h, timeoutMs);
        if (!IsWindow(h)) break;
        Sleep(intervalMs);
    }
    return 0;
}

int modeRegister(const wchar_t *name) {
    const UINT message = RegisterWindowMessageW(name);
    Json j;
    j.begin('{');
    j.key("message");
    j.unum(message);
    j.key("error");
    j.num(message != 0 ? 0 : static_cast<long long>(GetLastError()));
    j.end('}');
    j.print();
    return 0;
}

// The shell keys notification icons by window and id alone, so another
// process can remove one; that is how a test stands in for a taskbar that
// was made anew without it.
int modeTrayDelete(wchar_t **args) {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(parseNumber(args[0])));
    data.uID = static_cast<UINT>(parseNumber(args[1]));
    const BOOL ok = Shell_NotifyIconW(NIM_DELETE, &data);
    Json j;
    j.begin('{');
    j.key("ok");
    j.boolean(ok != FALSE);
    j.end('}');
    j.print();
    return 0;
}

int usage() {
    std::fputs("usage: plr_treereader [--timeout MS] [--pid PID] --tree|--windows|--dialogs|--menus|--children H|"
               "--post H M W L|--send H M W L|--exitcode PID|--run EXE ARGS...|--keepalive S|"
               "--probe H MS|--monitor H MS INTERVAL SECONDS|--register NAME|--tray-delete H ID\n",
               stderr);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    DWORD pid = 0;
    int i = 1;
    for (; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--timeout" && i + 1 < argc) {
            g_timeoutMs = static_cast<DWORD>(parseNumber(argv[++i]));
        } else if (a == L"--pid" && i + 1 < argc) {
            pid = static_cast<DWORD>(parseNumber(argv[++i]));
        } else {
            break;
        }
    }
    if (i >= argc) return usage();
    std::wstring mode = argv[i];
    int rest = argc - i - 1;
    wchar_t **args = argv + i + 1;
    if (mode == L"--tree") return modeTree(pid);
    if (mode == L"--windows") return modeWindows();
    if (mode == L"--dialogs") return modeDialogs();
    if (mode == L"--menus") return modeMenus();
    if (mode == L"--children" && rest >= 1)
        return modeChildren(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(parseNumber(args[0]))));
    if ((mode == L"--post" || mode == L"--send") && rest >= 4) return modeMessage(mode == L"--post", args);
    if (mode == L"--exitcode" && rest >= 1) return modeExitCode(static_cast<DWORD>(parseNumber(args[0])));
    if (mode == L"--run" && rest >= 1) return modeRun(rest, args);
    if (mode == L"--keepalive" && rest >= 1) return modeKeepAlive(static_cast<DWORD>(parseNumber(args[0])));
    if (mode == L"--probe" && rest >= 2) return modeProbe(args);
    if (mode == L"--monitor" && rest >= 4) return modeMonitor(args);
    if (mode == L"--register" && rest >= 1) return modeRegister(args[0]);
    if (mode == L"--tray-delete" && rest >= 2) return modeTrayDelete(args);
    return usage();
}
