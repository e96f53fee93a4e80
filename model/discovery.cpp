// Discovery and refresh of the desktop's top-level windows.
//
// Thread: main thread. The callback runs inside EnumDesktopWindows, called
// from the hotkey handling of the main window. Each window is asked for its
// icons as the enumeration meets it, without waiting (model/icons.h); the
// answers are awaited once the enumeration is done. Meanwhile the system
// delivers messages sent to this thread (the switcher thread's requests,
// the keyboard hook), so no record pointer is held across that wait.
#include "model/discovery.h"

#include <cstdlib>
#include <new>
#include <unordered_map>

#include "log/log.h"
#include "model/globals.h"
#include "model/icons.h"
#include "model/queries.h"
#include "model/records.h"
#include "model/threading.h"
#include "platform/desktop.h"
#include "platform/phases.h"

namespace {

// Windows refuses owner cycles; the bound only keeps a corrupted chain from
// stalling the main thread.
const int kMaxOwnerHops = 4096;

// Handle-to-record index for one pass. Each lookup by handle would walk the
// whole tree, so a pass over n windows would cost n walks; the index is built
// with one walk in tree order at the start of the pass. A handle is held by at
// most one record, so the index answers exactly what the walk would. Records
// are only moved, never freed, by what can run inside a pass (the switcher's
// requests handled during a send); should any record be freed meanwhile
// (g_windowRecordsFreed moves), the index is rebuilt before it is used.
class PassIndex {
public:
    void build() {
        records_.clear();
        add(g_rootGroup);
        freedAtBuild_ = g_windowRecordsFreed;
        built_ = true;
    }
    void reset() { built_ = false; }

    PLRWindow *find(HWND hwnd) {
        if (!built_) return g_rootGroup.findWindowByHwnd(hwnd);
        if (freedAtBuild_ != g_windowRecordsFreed) build();
        auto it = records_.find(hwnd);
        PLRWindow *found = it == records_.end() ? nullptr : it->second;
#ifdef PLR_THREAD_CHECKS
        // Test builds prove that the index and the walk agree.
        if (found != g_rootGroup.findWindowByHwnd(hwnd)) {
            logMessage(PLR_T("PassIndex: index and tree disagree."));
            std::abort();
        }
#endif
        return found;
    }
    void insert(PLRWindow *record) {
        if (built_) records_.emplace(record->hwnd, record);
    }

private:
    void add(PLRGroup &group) {
        for (PLRWindow *window : group.windows) records_.emplace(window->hwnd, window);  // first in tree order wins
        for (PLRGroup *subgroup : group.subgroups) add(*subgroup);
    }

    std::unordered_map<HWND, PLRWindow *> records_;
    unsigned long freedAtBuild_ = 0;
    bool built_ = false;
};

PassIndex g_passIndex;

// Builds the index for the duration of one pass and drops it afterwards, so
// no lookup outside a pass can see a stale index.
struct PassIndexScope {
    PassIndexScope() { g_passIndex.build(); }
    ~PassIndexScope() { g_passIndex.reset(); }
    PassIndexScope(const PassIndexScope &) = delete;
    PassIndexScope &operator=(const PassIndexScope &) = delete;
};

// What the pass in progress does besides discovering: whether it rereads
// the captions and icons of the windows the tree already holds, and the
// icons it has asked for (null outside a pass).
bool g_passRefreshes = false;
IconBatch *g_passIcons = nullptr;

struct LongRead {
    LONG_PTR value;
    DWORD error;  // nonzero only when the read failed
};

// GetWindowLongPtr returns 0 both when it fails and when the value is 0 (an
// extended style of 0 is common), and a read that succeeds leaves the last
// error as it was: the error is cleared first, and a zero result counts as
// a failure only when the call set one.
LongRead readWindowLong(HWND hwnd, int index) {
    desk::setLastError(0);
    const LONG_PTR value = desk::getWindowLongPtr(hwnd, index);
    return LongRead{value, value == 0 ? desk::getLastError() : 0};
}

// Reports a failed read with its own error code, whatever ran since.
void reportFailedRead(const LongRead &read, const plr_char *caller) {
    desk::setLastError(read.error);
    logLastError(PLR_T("GetWindowLongPtr"), caller);
}

// Since Windows 8 the desktop keeps some windows out of sight without hiding
// them: suspended Store applications, windows on other virtual desktops, the
// system's own input and host windows. They pass the style test, but the
// user never sees them, and listed they would be entries that cannot be
// brought forward. A query that fails (Windows 7, Wine) counts as not
// cloaked.
bool isCloaked(HWND hwnd) {
    DWORD cloaked = 0;
    const HRESULT result =
        desk::dwmGetWindowAttribute(hwnd, DWMWA_CLOAKED, &cloaked, static_cast<DWORD>(sizeof cloaked));
    return SUCCEEDED(result) && cloaked != 0;
}

}  // namespace

bool isSwitchableWindow(HWND hwnd, HWND *rootOwner, const plr_char *caller, bool separateReports) {
    const LongRead style = readWindowLong(hwnd, GWL_STYLE);
    if (style.error != 0) reportFailedRead(style, caller);
    if ((style.value & WS_VISIBLE) == 0) return false;

    HWND root = hwnd;
    for (int hops = 0; hops < kMaxOwnerHops; ++hops) {
        HWND owner = desk::getWindow(root, GW_OWNER);
        if (owner == nullptr || owner == g_hwndShell) break;
        root = owner;
    }

    const LongRead rootRead = readWindowLong(root, GWL_EXSTYLE);
    if (rootRead.error != 0 && separateReports) reportFailedRead(rootRead, caller);
    LongRead ownRead = rootRead;
    if (root != hwnd) {
        ownRead = readWindowLong(hwnd, GWL_EXSTYLE);
        if (ownRead.error != 0 && separateReports) reportFailedRead(ownRead, caller);
    }
    if (!separateReports && (rootRead.error != 0 || ownRead.error != 0))
        reportFailedRead(rootRead.error != 0 ? rootRead : ownRead, caller);
    const LONG_PTR exStyle = ownRead.value;

    // An owned application window stands for itself on the task bar.
    if (root != hwnd && (exStyle & WS_EX_APPWINDOW) != 0) root = hwnd;
    if (rootOwner != nullptr) *rootOwner = root;

    const bool accepted =
        (exStyle & WS_EX_APPWINDOW) != 0 || (root == hwnd && (exStyle & WS_EX_TOOLWINDOW) == 0);
    if (!accepted || hwnd == g_hwndSwitcherDialog) return false;
    // Asked last: the query costs a call into the window manager, and most
    // windows are turned away by their styles already.
    return !isCloaked(hwnd);
}

BOOL CALLBACK EnumWindowsProc(HWND hwnd, LPARAM lParam) noexcept {
    plrTakeSentMessagesNowAndThen();
    try {
        HWND root = nullptr;
        if (!isSwitchableWindow(hwnd, &root, PLR_T("EnumWindowsProc"), true)) return TRUE;

        if (PLRWindow *record = g_passIndex.find(hwnd)) {
            if (g_passRefreshes) {
                // InternalGetWindowText sends nothing: a hung window cannot
                // hold the pass up here.
                if (desk::internalGetWindowText(hwnd, record->caption, PLRWindow::kCaptionUnits) == 0)
                    record->caption[0] = 0;
                record->caption[PLRWindow::kCaptionUnits - 1] = 0;
                if (g_passIcons != nullptr) g_passIcons->add(hwnd);
            }
        } else if (g_pGroupBeingDeleted == nullptr || g_pGroupBeingDeleted->findWindowByHwnd(hwnd) == nullptr) {
            PLRWindow *window = new (std::nothrow) PLRWindow(root, hwnd);
            PLRGroup *group = window != nullptr ? globalGetSelectedGroup() : nullptr;
            if (window == nullptr) {
                logMessage(PLR_T("EnumWindowsProc: out of memory."));
            } else if (group != nullptr) {
                group->windows.push_back(window);
                g_passIndex.insert(window);
                // An accepted window is its own root owner: the icons come
                // from the window itself.
                if (g_passIcons != nullptr) g_passIcons->add(root);
            } else {
                delete window;
            }
        }

        if (lParam != 0) g_seenWindows.insert(hwnd);
    } catch (...) {
        logMessage(PLR_T("EnumWindowsProc: out of memory."));
    }
    return TRUE;
}

namespace {

// Waits for the icons the pass asked for and stores them in the records of
// the tree, found again after the wait: requests handled during it may have
// moved or freed records.
void storeAnsweredIcons(IconBatch &icons) {
    icons.finish();
    for (std::size_t i = 0; i < icons.size(); ++i) {
        PLRWindow *record = g_passIndex.find(icons.hwnd(i));
        if (record == nullptr) continue;
        record->hIconBig = icons.big(i);
        record->hIconSmall = icons.small(i);
    }
}

// The pass-wide state, set for one pass and dropped after it.
class PassScope {
public:
    PassScope(bool refresh, IconBatch *icons) {
        g_passRefreshes = refresh;
        g_passIcons = icons;
    }
    ~PassScope() {
        g_passRefreshes = false;
        g_passIcons = nullptr;
    }
    PassScope(const PassScope &) = delete;
    PassScope &operator=(const PassScope &) = delete;
};

}  // namespace

bool discoveryPass(bool refresh) {
    PLR_ASSERT_MODEL_THREAD();
    PassIndexScope index;
    // Each window is asked for its icons as the enumeration meets it, so
    // that the applications answer while the enumeration goes on.
    IconBatch icons;
    PassScope pass(refresh, &icons);
    const bool complete = desk::enumDesktopWindows(EnumWindowsProc, 1) != FALSE;
    if (!complete) logLastError(PLR_T("EnumDesktopWindows"), PLR_T("MainWndProc"));
    notePhase(PlrPhase::Enumerated);
    storeAnsweredIcons(icons);
    return complete;
}

void refreshCaption(PLRWindow *record) {
    PLR_ASSERT_MODEL_THREAD();
    if (record == nullptr) return;
    const HWND hwnd = record->hwnd;
    if (!isSwitchableWindow(hwnd, nullptr, PLR_T("refreshCaption"), false)) return;
    if (desk::internalGetWindowText(hwnd, record->caption, PLRWindow::kCaptionUnits) == 0) record->caption[0] = 0;
    record->caption[PLRWindow::kCaptionUnits - 1] = 0;
}
