// plr_benchprobe: times window switching from inside the Windows session.
//
//   plr_benchprobe --switcher-pid P --fixture-pid F [--fixture-pid F2 ...]
//                  [--rounds N] [--warmup W]
//
// Each round: a window of the fixture processes is put in front; the probe injects
// Alt down + Tab and measures until a visible switcher dialog of process P
// (a top-level "#32770" window holding a filled tree view 1001) is shown;
// holds Alt for a moment, injects the Alt release and measures until another
// fixture window is in the foreground. Prints one JSON object with both lists in
// milliseconds and the number of rounds that did not finish. Every wait is
// bounded (two seconds per step).
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const DWORD kStepLimitMs = 2000;

DWORD g_switcherPid = 0;
std::vector<DWORD> g_fixturePids;
LARGE_INTEGER g_frequency;

double nowMs() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(g_frequency.QuadPart);
}

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

HWND switcherDialog() {
    Found found;
    EnumWindows(findDialog, reinterpret_cast<LPARAM>(&found));
    return found.dialog;
}

void key(WORD vk, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof(INPUT));
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

void printList(const char *name, const std::vector<double> &values, bool last) {
    std::printf("\"%s\": [", name);
    for (size_t i = 0; i < values.size(); ++i) std::printf("%s%.3f", i ? ", " : "", values[i]);
    std::printf("]%s", last ? "" : ", ");
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    int rounds = 20, warmup = 2;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i];
        const unsigned long value = std::wcstoul(argv[i + 1], nullptr, 10);
        if (option == L"--switcher-pid") g_switcherPid = value;
        if (option == L"--fixture-pid") g_fixturePids.push_back(value);
        if (option == L"--rounds") rounds = static_cast<int>(value);
        if (option == L"--warmup") warmup = static_cast<int>(value);
    }
    if (g_switcherPid == 0 || g_fixturePids.empty()) {
        std::fputs("usage: plr_benchprobe --switcher-pid P --fixture-pid F [--rounds N] [--warmup W]\n", stderr);
        return 2;
    }
    QueryPerformanceFrequency(&g_frequency);

    std::vector<HWND> windows;
    EnumWindows(collectFixture, reinterpret_cast<LPARAM>(&windows));
    if (windows.size() < 2) return 3;

    std::vector<double> open, activate;
    int failures = 0;
    // Why rounds failed: the start window did not come to the front, the
    // switcher did not show, or the release brought no other window forward.
    int notInFront = 0, notShown = 0, notSwitched = 0;
    for (int round = 0; round < warmup + rounds; ++round) {
        const HWND start = windows[static_cast<size_t>(round) % windows.size()];
        SetForegroundWindow(start);
        if (!waitFor([&] { return GetForegroundWindow() == start; }, kStepLimitMs)) {
            ++failures;
            ++notInFront;
            continue;
        }
        Sleep(100);

        const double t0 = nowMs();
        key(VK_MENU, false);
        key(VK_TAB, false);
        key(VK_TAB, true);
        HWND dialog = nullptr;
        const bool shown = waitFor([&] { return (dialog = switcherDialog()) != nullptr; }, kStepLimitMs);
        const double t1 = nowMs();
        Sleep(100);  // the user holds Alt for a moment

        const double t2 = nowMs();
        key(VK_MENU, true);
        const bool switched = shown && waitFor([&] {
            const HWND fg = GetForegroundWindow();
            return fg != nullptr && fg != start && isFixtureProcess(processOf(fg));
        }, kStepLimitMs);
        const double t3 = nowMs();
        waitFor([&] { return switcherDialog() == nullptr; }, kStepLimitMs);
        Sleep(150);

        if (!shown || !switched) {
            ++failures;
            ++(shown ? notSwitched : notShown);
            if (shown) {
                // What is in front instead, for the report.
                const HWND fg = GetForegroundWindow();
                wchar_t caption[64] = {};
                wchar_t startCaption[64] = {};
                if (fg != nullptr) GetWindowTextW(fg, caption, 64);
                GetWindowTextW(start, startCaption, 64);
                std::fwprintf(stderr, L"round %d: after the release \"%ls\" (pid %lu) is in front; the start was \"%ls\"\n",
                              round, caption, fg != nullptr ? processOf(fg) : 0ul, startCaption);
            }
            continue;
        }
        if (round < warmup) continue;
        open.push_back(t1 - t0);
        activate.push_back(t3 - t2);
    }
    std::printf("{");
    printList("open_ms", open, false);
    printList("activate_ms", activate, false);
    std::printf("\"failures\": %d, \"not_in_front\": %d, \"not_shown\": %d, \"not_switched\": %d}\n", failures,
                notInFront, notShown, notSwitched);
    return 0;
}
