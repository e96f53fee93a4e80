// plr_benchprobe: times window switching from inside the Windows session.
//
//   plr_benchprobe --switcher-class C --fixture-pid F [--fixture-pid F2 ...]
//                  [--rounds N] [--warmup W] [--burst TABS]
//
// The keys come from outside, as a person's do (X key events, sent by the
// caller with xdotool): keys injected from here do not stay down once the
// switcher takes the focus, as Wine then reads the keyboard's state from X
// again. The probe prints a line on stdout when it wants them, and its own
// low-level keyboard hook notes when each key arrives. The hook goes in
// before the switcher starts: "READY" asks the caller to start it, and the
// probe then waits for its main window (class C). The system calls the
// newest hook first, so the switcher's hook gets each key straight from the
// system and hands it on to the probe's. The other way round, a WoW64 Wine
// (10) loses the key releases on their way on to the hook of a 32-bit
// switcher, which then never sees Alt go up.
//   "OPEN <round>"     the caller presses Alt and taps Tab;
//   "RELEASE <round>"  the caller releases Alt;
//   "BURST <round>"    the caller presses Alt, taps Tab TABS times and
//                      releases Alt at once after the last.
//
// Each round: a window of the fixture processes is put in front; OPEN; the
// probe measures from the Tab until a switcher dialog of process P (a
// top-level "#32770" window holding a filled tree view 1001) is shown and in
// front (looking at the foreground window only, which costs the Wine server
// next to nothing: the measured programs share that server); after a moment
// RELEASE, and it measures from the Alt release until another fixture window
// is in the foreground. Prints one JSON object with both lists in
// milliseconds and the number of rounds that did not finish.
//
// With --burst, each round is a burst instead: first an ordinary switch
// shows the switcher, whose tree gives the order of the windows (the children
// of its first item, the marked one (state image 1, else the caret) being one
// step on). Then the start window comes to the front again, BURST, and the
// probe measures from the Alt release until the window TABS steps on from
// the start is in front; it counts the rounds where another one stayed there
// ("wrong"), none came within five seconds ("late"), or it did not see every
// Tab ("lost_keys"). Every wait is bounded. Lines beginning "round " say why
// a round did not finish.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const DWORD kStepLimitMs = 2000;

DWORD g_switcherPid = 0;
std::vector<DWORD> g_fixturePids;
LARGE_INTEGER g_frequency;

double counterMs(long long counter) {
    return 1000.0 * static_cast<double>(counter) / static_cast<double>(g_frequency.QuadPart);
}

long long counterNow() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double nowMs() { return counterMs(counterNow()); }

DWORD processOf(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

bool isFixtureProcess(DWORD pid) {
    return std::find(g_fixturePids.begin(), g_fixturePids.end(), pid) != g_fixturePids.end();
}

BOOL CALLBACK collectFixture(HWND hwnd, LPARAM out) {
    if (isFixtureProcess(processOf(hwnd)) && IsWindowVisible(hwnd) && GetWindow(hwnd, GW_OWNER) == nullptr)
        reinterpret_cast<std::vector<HWND> *>(out)->push_back(hwnd);
    return TRUE;
}

struct Found {
    HWND dialog = nullptr;
};

BOOL CALLBACK findDialog(HWND hwnd, LPARAM out) {
    if (processOf(hwnd) != g_switcherPid || !IsWindowVisible(hwnd)) return TRUE;
    wchar_t cls[32] = {};
    GetClassNameW(hwnd, cls, 32);
    if (std::wcscmp(cls, L"#32770") != 0) return TRUE;
    HWND tree = GetDlgItem(hwnd, 1001);
    DWORD_PTR count = 0;
    if (tree == nullptr || !SendMessageTimeoutW(tree, TVM_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 50, &count) || count == 0)
        return TRUE;
    reinterpret_cast<Found *>(out)->dialog = hwnd;
    return FALSE;
}

// Any shown switcher dialog (walks every window).
HWND switcherDialog() {
    Found found;
    EnumWindows(findDialog, reinterpret_cast<LPARAM>(&found));
    return found.dialog;
}

// The switcher's dialog once it is shown and in front, as both switchers put
// it. Cheap enough to ask every millisecond: it looks at the foreground
// window alone, and at it only when it changed, so the probe does not load
// the Wine server while the programs it measures use it.
HWND shownSwitcher() {
    static HWND rejected = nullptr;
    const HWND fg = GetForegroundWindow();
    if (fg == nullptr || fg == rejected) return nullptr;
    Found found;
    findDialog(fg, reinterpret_cast<LPARAM>(&found));
    if (found.dialog == nullptr) rejected = fg;
    return found.dialog;
}

template <typename Pred>
bool waitFor(Pred pred, DWORD limitMs) {
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    while (!pred()) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(1);
    }
    return true;
}

std::wstring captionOf(HWND hwnd) {
    wchar_t text[256] = {};
    if (hwnd != nullptr) GetWindowTextW(hwnd, text, 256);
    return text;
}

// The switcher's tree, read from its process: tree-view messages carry
// pointers, which must point into that process, and the item has the layout
// of that process's bitness (a 32-bit switcher under a 64-bit probe: the
// 32-bit product under the WoW64 Wine).
struct TreeItem32 {
    UINT mask;
    DWORD hItem;
    UINT state;
    UINT stateMask;
    DWORD pszText;
    int cchTextMax;
    int iImage;
    int iSelectedImage;
    int cChildren;
    DWORD lParam;
};

template <typename Item>
struct RemoteItem {
    Item item;
    wchar_t text[256];
};

void pointItemAt(TVITEMW *item, DWORD_PTR handle, wchar_t *text) {
    item->hItem = reinterpret_cast<HTREEITEM>(handle);
    item->pszText = text;
}
void pointItemAt(TreeItem32 *item, DWORD_PTR handle, wchar_t *text) {
    item->hItem = static_cast<DWORD>(handle);
    item->pszText = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(text));
}

// The texts of the children of the tree's first item, in order, and which of
// them carries the marker (state image 1, else the caret), or -1.
template <typename Item>
bool readWindowOrderAs(HWND tree, HANDLE process, std::vector<std::wstring> *texts, int *marked) {
    RemoteItem<Item> *remote = static_cast<RemoteItem<Item> *>(
        VirtualAllocEx(process, nullptr, sizeof(RemoteItem<Item>), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    // A 32-bit process cannot be handed an address above 4 GB.
    bool ok = remote != nullptr &&
              (sizeof(Item) == sizeof(TVITEMW) || reinterpret_cast<UINT_PTR>(remote) + sizeof *remote <= 0xFFFFFFFFu);
    auto send = [&](UINT message, WPARAM wParam, LPARAM lParam) {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(tree, message, wParam, lParam, SMTO_ABORTIFHUNG, 2000, &result)) ok = false;
        return result;
    };
    *marked = -1;
    int caret = -1;
    const DWORD_PTR caretItem = ok ? send(TVM_GETNEXTITEM, TVGN_CARET, 0) : 0;
    const DWORD_PTR root = ok ? send(TVM_GETNEXTITEM, TVGN_ROOT, 0) : 0;
    for (DWORD_PTR item = root != 0 ? send(TVM_GETNEXTITEM, TVGN_CHILD, root) : 0; ok && item != 0;
         item = send(TVM_GETNEXTITEM, TVGN_NEXT, item)) {
        RemoteItem<Item> local = {};
        local.item.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_STATE;
        local.item.stateMask = TVIS_STATEIMAGEMASK;
        local.item.cchTextMax = 256;
        pointItemAt(&local.item, item, remote->text);
        if (!WriteProcessMemory(process, remote, &local, sizeof local, nullptr) ||
            !send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&remote->item)) ||
            !ReadProcessMemory(process, remote, &local, sizeof local, nullptr)) {
            ok = false;
            break;
        }
        local.text[255] = 0;
        if ((local.item.state & TVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(1)) *marked = static_cast<int>(texts->size());
        if (item == caretItem) caret = static_cast<int>(texts->size());
        texts->push_back(local.text);
    }
    if (*marked < 0) *marked = caret;
    if (remote != nullptr) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return ok && !texts->empty() && *marked >= 0;
}

bool readWindowOrder(HWND dialog, std::vector<std::wstring> *texts, int *marked) {
    const HWND tree = GetDlgItem(dialog, 1001);
    const HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                           PROCESS_QUERY_LIMITED_INFORMATION,
                                       FALSE, processOf(tree));
    if (process == nullptr) return false;
    BOOL mineIsWow64 = FALSE, itsIsWow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &mineIsWow64);
    IsWow64Process(process, &itsIsWow64);
    const bool ok = sizeof(void *) == 8 && itsIsWow64 && !mineIsWow64
                        ? readWindowOrderAs<TreeItem32>(tree, process, texts, marked)
                        : readWindowOrderAs<TVITEMW>(tree, process, texts, marked);
    CloseHandle(process);
    return ok;
}

void printList(const char *name, const std::vector<double> &values, bool last) {
    std::printf("\"%s\": [", name);
    for (size_t i = 0; i < values.size(); ++i) std::printf("%s%.3f", i ? ", " : "", values[i]);
    std::printf("]%s", last ? "" : ", ");
}

// Noted by the hook thread: the first Tab pressed and the first Alt released
// since the probe last asked for keys (QueryPerformanceCounter, 0 while
// none), and the Tabs pressed.
std::atomic<int> g_tabsSeen{0};
std::atomic<long long> g_tabDownAt{0};
std::atomic<long long> g_altUpAt{0};

LRESULT CALLBACK watchKeys(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const DWORD vk = reinterpret_cast<const KBDLLHOOKSTRUCT *>(lParam)->vkCode;
        const bool up = wParam == WM_KEYUP || wParam == WM_SYSKEYUP;
        if (!up && vk == VK_TAB) {
            ++g_tabsSeen;
            long long none = 0;
            g_tabDownAt.compare_exchange_strong(none, counterNow());
        }
        if (up && (vk == VK_MENU || vk == VK_LMENU || vk == VK_RMENU)) {
            long long none = 0;
            g_altUpAt.compare_exchange_strong(none, counterNow());
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

DWORD WINAPI keyWatcher(LPVOID) {
    HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, watchKeys, GetModuleHandleW(nullptr), 0);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    if (hook != nullptr) UnhookWindowsHookEx(hook);
    return 0;
}

// Asks the caller for keys; the notes start afresh.
void askForKeys(const char *what, int round) {
    g_tabsSeen = 0;
    g_tabDownAt = 0;
    g_altUpAt = 0;
    std::printf("%s %d\n", what, round);
    std::fflush(stdout);
}

void report(int round, const char *what, HWND window) {
    wchar_t className[128] = L"";
    if (window != nullptr) GetClassNameW(window, className, 128);
    std::printf("round %d: %s \"%ls\" (class %ls, pid %lu)\n", round, what, captionOf(window).c_str(), className,
                window != nullptr ? processOf(window) : 0ul);
    std::fflush(stdout);
}

bool bringToFront(HWND window) {
    SetForegroundWindow(window);
    return waitFor([&] { return GetForegroundWindow() == window; }, kStepLimitMs);
}

// One ordinary switch: Alt+Tab, the dialog shows, Alt goes up.
struct Switch {
    double openMs = 0;
    double activateMs = 0;
    bool shown = false;
    bool switched = false;
};

// `whileShown` runs while Alt is held and the dialog is shown.
template <typename Fn>
Switch oneSwitch(int round, HWND start, Fn whileShown) {
    Switch result;
    askForKeys("OPEN", round);
    if (!waitFor([] { return g_tabDownAt.load() != 0; }, 10000)) return result;
    HWND dialog = nullptr;
    result.shown = waitFor([&] { return (dialog = shownSwitcher()) != nullptr; }, kStepLimitMs);
    if (result.shown) {
        result.openMs = nowMs() - counterMs(g_tabDownAt.load());
        whileShown(dialog);
    }
    Sleep(100);  // the user holds Alt for a moment
    askForKeys("RELEASE", round);
    if (!waitFor([] { return g_altUpAt.load() != 0; }, 10000)) return result;
    result.switched = result.shown && waitFor([&] {
        const HWND fg = GetForegroundWindow();
        return fg != nullptr && fg != start && isFixtureProcess(processOf(fg));
    }, kStepLimitMs);
    if (result.switched) result.activateMs = nowMs() - counterMs(g_altUpAt.load());
    waitFor([&] { return switcherDialog() == nullptr; }, kStepLimitMs);
    Sleep(150);
    return result;
}

// Why rounds failed. The warm-up rounds count apart: the first switch of a
// switcher that has just started may meet a desktop another program left
// (under Wine, its task bar in front).
struct SwitchFailures {
    int failures = 0;
    // The start window did not come to the front, the switcher did not show,
    // or the release brought no other window forward.
    int notInFront = 0, notShown = 0, notSwitched = 0;
};

int runSwitches(const std::vector<HWND> &windows, int rounds, int warmup) {
    std::vector<double> open, activate;
    SwitchFailures measured, warm;
    for (int round = 0; round < warmup + rounds; ++round) {
        SwitchFailures &f = round < warmup ? warm : measured;
        const HWND start = windows[static_cast<size_t>(round) % windows.size()];
        if (!bringToFront(start)) {
            ++f.failures;
            ++f.notInFront;
            continue;
        }
        Sleep(100);
        const Switch s = oneSwitch(round, start, [](HWND) {});
        if (!s.shown || !s.switched) {
            ++f.failures;
            ++(s.shown ? f.notSwitched : f.notShown);
            report(round, s.shown ? "after the release in front:" : "no switcher shown; in front:",
                   GetForegroundWindow());
            continue;
        }
        if (round < warmup) continue;
        open.push_back(s.openMs);
        activate.push_back(s.activateMs);
    }
    std::printf("{");
    printList("open_ms", open, false);
    printList("activate_ms", activate, false);
    std::printf("\"failures\": %d, \"not_in_front\": %d, \"not_shown\": %d, \"not_switched\": %d, "
                "\"warmup_failures\": %d}\n",
                measured.failures, measured.notInFront, measured.notShown, measured.notSwitched, warm.failures);
    return 0;
}

int runBursts(const std::vector<HWND> &windows, int rounds, int warmup, int tabs) {
    std::vector<double> front;
    struct BurstFailures {
        int failures = 0, wrong = 0, late = 0, unread = 0, lostKeys = 0;
    } measured, warm;
    for (int round = 0; round < warmup + rounds; ++round) {
        BurstFailures &f = round < warmup ? warm : measured;
        const HWND start = windows[static_cast<size_t>(round) % windows.size()];
        if (!bringToFront(start)) {
            ++f.failures;
            continue;
        }
        Sleep(100);
        // The order, from one ordinary switch.
        std::vector<std::wstring> order;
        int marked = -1;
        bool read = false;
        oneSwitch(round, start, [&](HWND dialog) { read = readWindowOrder(dialog, &order, &marked); });
        if (!read || !bringToFront(start)) {
            ++f.failures;
            ++f.unread;
            report(round, "the order was not read; in front:", GetForegroundWindow());
            continue;
        }
        Sleep(150);
        const std::wstring expected = order[static_cast<size_t>(marked - 1 + tabs) % order.size()];

        askForKeys("BURST", round);
        // The burst itself takes TABS / rate seconds.
        if (!waitFor([] { return g_altUpAt.load() != 0; }, 20000)) {
            ++f.failures;
            ++f.late;
            continue;
        }
        const double releasedAt = counterMs(g_altUpAt.load());
        const bool arrived = waitFor([&] { return captionOf(GetForegroundWindow()) == expected; }, 5000);
        const double arrivedAt = nowMs();
        // Whatever a late switcher still does, it does before the next round.
        waitFor([&] { return switcherDialog() == nullptr; }, kStepLimitMs);
        Sleep(300);
        const bool stayed = captionOf(GetForegroundWindow()) == expected;
        if (g_tabsSeen.load() != tabs) ++f.lostKeys;
        if (!arrived || !stayed) {
            ++f.failures;
            ++(arrived ? f.wrong : f.late);
            std::printf("round %d: expected \"%ls\" in front, %d Tabs seen;", round, expected.c_str(), g_tabsSeen.load());
            report(round, "in front:", GetForegroundWindow());
            continue;
        }
        if (round >= warmup) front.push_back(arrivedAt - releasedAt);
    }
    std::printf("{");
    printList("burst_front_ms", front, false);
    std::printf("\"failures\": %d, \"wrong\": %d, \"late\": %d, \"unread\": %d, \"lost_keys\": %d, "
                "\"warmup_failures\": %d}\n",
                measured.failures, measured.wrong, measured.late, measured.unread, measured.lostKeys, warm.failures);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    int rounds = 20, warmup = 2, burst = 0;
    std::wstring switcherClass;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i];
        const unsigned long value = std::wcstoul(argv[i + 1], nullptr, 10);
        if (option == L"--switcher-class") switcherClass = argv[i + 1];
        if (option == L"--fixture-pid") g_fixturePids.push_back(value);
        if (option == L"--rounds") rounds = static_cast<int>(value);
        if (option == L"--warmup") warmup = static_cast<int>(value);
        if (option == L"--burst") burst = static_cast<int>(value);
    }
    if (switcherClass.empty() || g_fixturePids.empty()) {
        std::fputs("usage: plr_benchprobe --switcher-class C --fixture-pid F [--rounds N] [--warmup W] "
                   "[--burst TABS]\n",
                   stderr);
        return 2;
    }
    QueryPerformanceFrequency(&g_frequency);

    std::vector<HWND> windows;
    EnumWindows(collectFixture, reinterpret_cast<LPARAM>(&windows));
    if (windows.size() < 2) return 3;
    CreateThread(nullptr, 0, keyWatcher, nullptr, 0, nullptr);
    Sleep(200);  // the hook is in place
    std::puts("READY");
    std::fflush(stdout);
    HWND switcher = nullptr;
    if (!waitFor([&] { return (switcher = FindWindowW(switcherClass.c_str(), nullptr)) != nullptr; }, 30000)) return 4;
    g_switcherPid = processOf(switcher);
    Sleep(500);  // the switcher has installed its hook and hotkeys
    return burst > 0 ? runBursts(windows, rounds, warmup, burst) : runSwitches(windows, rounds, warmup);
}
