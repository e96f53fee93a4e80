// Discovery and refresh of top-level windows against the fake desktop.
#include <string>
#include <utility>

#include "model/discovery.h"
#include "model/icons.h"
#include "model/pruning.h"
#include "model/queries.h"
#include "platform/desktop.h"
#include "model_fixture.h"

namespace {

std::string narrow(const std::u16string &text) { return std::string(text.begin(), text.end()); }

class DiscoveryTest : public ModelTest {
protected:
    HWND make(LONG_PTR style, LONG_PTR exStyle, HWND owner = nullptr, const std::u16string &caption = u"w") {
        FakeWindow window;
        window.style = style;
        window.exStyle = exStyle;
        window.owner = owner;
        window.caption = caption;
        return fakeDesktop().createWindow(window);
    }
    HWND plain(const std::u16string &caption = u"w") { return make(WS_VISIBLE, PLR_FAKE_WS_EX_WINDOWEDGE, nullptr, caption); }

    static bool accepted(HWND hwnd) { return isSwitchableWindow(hwnd, nullptr, u"test", true); }
    static HWND rootOf(HWND hwnd) {
        HWND root = nullptr;
        isSwitchableWindow(hwnd, &root, u"test", true);
        return root;
    }
    // Log lines that begin with `prefix`.
    static int linesStartingWith(const std::u16string &prefix) {
        int count = 0;
        for (const std::u16string &line : logLines())
            if (line.rfind(prefix, 0) == 0) ++count;
        return count;
    }
    static HICON recordIcon(HWND hwnd) { return g_rootGroup.findWindowByHwnd(hwnd)->hIconSmall; }
    static std::vector<HWND> handlesOf(const PLRGroup &group) {
        std::vector<HWND> result;
        for (const PLRWindow *window : group.windows) result.push_back(window->hwnd);
        return result;
    }
};

const LONG_PTR kEdge = PLR_FAKE_WS_EX_WINDOWEDGE;

}  // namespace

// ---------------------------------------------------------------- the filter

TEST_F(DiscoveryTest, FilterTakesVisibleUnownedNonToolAndApplicationWindows) {
    EXPECT_TRUE(accepted(plain()));
    EXPECT_FALSE(accepted(make(WS_VISIBLE, WS_EX_TOOLWINDOW)));
    EXPECT_TRUE(accepted(make(WS_VISIBLE, WS_EX_TOOLWINDOW | WS_EX_APPWINDOW)));
    EXPECT_FALSE(accepted(make(0, WS_EX_APPWINDOW)));
    EXPECT_FALSE(accepted(make(PLR_FAKE_WS_POPUP, kEdge)));
    HWND minimised = make(WS_VISIBLE | PLR_FAKE_WS_MINIMIZE, kEdge);
    fakeDesktop().window(minimised)->iconic = true;
    EXPECT_TRUE(accepted(minimised));

    HWND dialog = plain(u"Switcher");
    g_hwndSwitcherDialog = dialog;
    EXPECT_FALSE(accepted(dialog));
    g_hwndSwitcherDialog = nullptr;
    EXPECT_TRUE(accepted(dialog));
}

TEST_F(DiscoveryTest, OwnedWindowsNeedTheApplicationStyle) {
    HWND owner = plain();
    HWND owned = make(WS_VISIBLE, kEdge, owner);
    HWND ownedApp = make(WS_VISIBLE, WS_EX_APPWINDOW, owner);
    HWND ownedAppTool = make(WS_VISIBLE, WS_EX_APPWINDOW | WS_EX_TOOLWINDOW, owner);
    EXPECT_FALSE(accepted(owned));
    EXPECT_TRUE(accepted(ownedApp));
    EXPECT_TRUE(accepted(ownedAppTool));
    EXPECT_EQ(rootOf(owned), owner);
    EXPECT_EQ(rootOf(ownedApp), ownedApp);  // an owned application window stands for itself

    // A tool-window owner does not stop its application-window child.
    HWND toolOwner = make(WS_VISIBLE, WS_EX_TOOLWINDOW);
    EXPECT_TRUE(accepted(make(WS_VISIBLE, WS_EX_APPWINDOW, toolOwner)));
    // The application style of the root owner does not carry over.
    HWND appOwner = make(WS_VISIBLE, WS_EX_APPWINDOW);
    EXPECT_FALSE(accepted(make(WS_VISIBLE, kEdge, appOwner)));
}

TEST_F(DiscoveryTest, OwnerWalkStopsBeforeTheShellWindow) {
    HWND shell = make(WS_VISIBLE, kEdge, nullptr, u"Program Manager");
    g_hwndShell = shell;
    HWND shellOwned = make(WS_VISIBLE, kEdge, shell);
    HWND second = make(WS_VISIBLE, kEdge, shellOwned);
    HWND third = make(WS_VISIBLE, kEdge, second);
    EXPECT_TRUE(accepted(shellOwned));
    EXPECT_EQ(rootOf(shellOwned), shellOwned);
    EXPECT_FALSE(accepted(third));
    EXPECT_EQ(rootOf(third), shellOwned);

    // Without a known shell window its windows are plainly owned.
    g_hwndShell = nullptr;
    EXPECT_FALSE(accepted(shellOwned));
    EXPECT_EQ(rootOf(third), shell);
}

// A style or extended style of 0 is a value, not a failure: the system
// leaves the last error of an earlier call in place, so reporting every
// zero read logged a failure with a stale code on every pass. Only reads
// that fail are reported, with their own code: discovery reports each, the
// refresh of a single caption makes one report.
TEST_F(DiscoveryTest, OnlyStyleReadsThatFailAreReported) {
    const std::u16string discovery = u"GetWindowLongPtr, called from EnumWindowsProc failed with error ";
    const std::u16string refresh = u"GetWindowLongPtr, called from refreshCaption failed with error ";

    HWND noStyle = make(0, kEdge);
    HWND owner = make(WS_VISIBLE, 0);
    HWND owned = make(WS_VISIBLE, 0, owner);
    HWND unowned = make(WS_VISIBLE, 0);
    desk::setLastError(ERROR_ACCESS_DENIED);
    EnumWindowsProc(noStyle, 1);
    EnumWindowsProc(owned, 1);
    EnumWindowsProc(unowned, 1);
    PLRWindow ownedRecord;
    ownedRecord.hwnd = owned;
    refreshCaption(&ownedRecord);
    EXPECT_TRUE(logLines().empty()) << narrow(logLines().front());
    EXPECT_EQ(g_seenWindows, (std::set<HWND, PlrHwndLess>{unowned}));

    // The style of a window destroyed meanwhile.
    HWND gone = plain();
    fakeDesktop().destroyWindow(gone);
    EnumWindowsProc(gone, 1);
    ASSERT_EQ(logLines().size(), 1u);
    EXPECT_EQ(linesStartingWith(discovery + u"1400: "), 1) << narrow(logLines().front());

    // An owner that is gone: its extended style cannot be read, the window's
    // own reads 0. One report each, with the failed read's code.
    clearCapturedLogLines();
    fakeDesktop().window(owned)->owner = handle(0x7FF0);
    EnumWindowsProc(owned, 1);
    refreshCaption(&ownedRecord);
    EXPECT_EQ(linesStartingWith(discovery + u"1400: "), 1);
    EXPECT_EQ(linesStartingWith(refresh + u"1400: "), 1);
    EXPECT_EQ(logLines().size(), 2u);

    // Nothing is written while logging is off.
    g_dwLog = 0;
    clearCapturedLogLines();
    EnumWindowsProc(gone, 1);
    EnumWindowsProc(owned, 1);
    EXPECT_TRUE(logLines().empty());
}

// ---------------------------------------------------------------- discovery

TEST_F(DiscoveryTest, NewWindowsJoinTheSelectedGroupInZOrderAfterItsWindows) {
    PLRGroup *work = addGroup(&g_rootGroup);
    HWND older = plain(u"Older");
    addRecord(work, older, u"Older");
    selectGroup(work);
    HWND tool = make(WS_VISIBLE, WS_EX_TOOLWINDOW);
    HWND second = plain(u"Second");
    HWND first = plain(u"First");

    discoveryPass();
    EXPECT_EQ(handlesOf(*work), (std::vector<HWND>{older, first, second}));
    EXPECT_TRUE(g_rootGroup.windows.empty());
    EXPECT_EQ(g_seenWindows, (std::set<HWND, PlrHwndLess>{older, first, second}));
    EXPECT_EQ(g_seenWindows.count(tool), 0u);
    EXPECT_EQ(text(work->windows.back()->caption), u"Second");
    expectInvariants();

    // A second pass adds nothing.
    discoveryPass();
    EXPECT_EQ(work->windows.size(), 3u);
}

TEST_F(DiscoveryTest, KnownWindowsAreNotAddedAgainWhereverTheyAre) {
    HWND nested = plain(u"Nested");
    HWND beingDeleted = plain(u"Closing");
    PLRGroup *deep = addGroup(addGroup(&g_rootGroup));
    addRecord(deep, nested, u"stale caption");
    PLRGroup *detached = new PLRGroup();
    addRecord(detached, beingDeleted, u"Closing");
    g_pGroupBeingDeleted = detached;

    discoveryPass();
    EXPECT_EQ(g_rootGroup.countWindows(), 1);
    EXPECT_EQ(g_rootGroup.findWindowByHwnd(beingDeleted), nullptr);
    EXPECT_EQ(g_seenWindows.count(nested), 1u);
    EXPECT_EQ(g_seenWindows.count(beingDeleted), 1u);
    // Discovery leaves existing records alone and asks them nothing.
    EXPECT_EQ(text(deep->windows.front()->caption), u"stale caption");
    EXPECT_EQ(fakeDesktop().sendCount(nested), 0);
    expectInvariants();

    g_pGroupBeingDeleted = nullptr;
    delete detached;
}

// A window the desktop cloaks (a suspended Store application, one on
// another virtual desktop) is out of the user's sight, as a hidden one is:
// not listed, pruned once it becomes cloaked, and back like a new window,
// in the selected group, once it is shown again. A query that fails counts
// as not cloaked, as on systems without cloaking.
TEST_F(DiscoveryTest, CloakedWindowsAreTreatedAsHidden) {
    HWND shown = plain(u"Shown");
    HWND suspended = plain(u"Suspended");
    HWND other = plain(u"Other desktop");
    fakeDesktop().window(suspended)->cloaked = 1;
    EXPECT_FALSE(accepted(suspended));
    discoveryPass();
    pruneInactiveWindows();
    EXPECT_EQ(handlesOf(g_rootGroup), (std::vector<HWND>{other, shown}));

    fakeDesktop().window(other)->cloaked = 2;
    discoveryPass();
    pruneInactiveWindows();
    EXPECT_EQ(handlesOf(g_rootGroup), std::vector<HWND>{shown});

    PLRGroup *work = addGroup(&g_rootGroup);
    selectGroup(work);
    fakeDesktop().window(other)->cloaked = 0;
    fakeDesktop().window(suspended)->dwmAttributeResult = E_INVALIDARG;
    discoveryPass();
    pruneInactiveWindows();
    EXPECT_EQ(handlesOf(g_rootGroup), std::vector<HWND>{shown});
    EXPECT_EQ(handlesOf(*work), (std::vector<HWND>{other, suspended}));
    EXPECT_TRUE(logLines().empty());
    expectInvariants();
}

TEST_F(DiscoveryTest, CallbackRecordsSeenWindowsOnlyWhenAsked) {
    HWND window = plain();
    EXPECT_EQ(EnumWindowsProc(window, 0), TRUE);
    EXPECT_EQ(g_rootGroup.countWindows(), 1);
    EXPECT_TRUE(g_seenWindows.empty());
    EXPECT_EQ(EnumWindowsProc(window, 1), TRUE);
    EXPECT_EQ(g_seenWindows.count(window), 1u);
    EXPECT_EQ(EnumWindowsProc(make(0, 0), 1), TRUE);  // rejected windows also go on
}

TEST_F(DiscoveryTest, WithoutASelectedGroupNewWindowsAreSeenButNotKept) {
    g_rootGroup.selected = 0;
    HWND a = plain();
    HWND b = plain();
    discoveryPass();
    EXPECT_EQ(g_rootGroup.countWindows(), 0);
    EXPECT_EQ(g_seenWindows.size(), 2u);
    EXPECT_EQ(g_seenWindows.count(a) + g_seenWindows.count(b), 2u);
    EXPECT_EQ(logLines(), (std::vector<std::u16string>{u"globalGetSelectedGroup: could not find selected group.",
                                                       u"globalGetSelectedGroup: could not find selected group."}));
}

TEST_F(DiscoveryTest, SeenSetOrdersHandlesAsUnsignedValues) {
    FakeWindow high;
    high.hwnd = handle(0x80000010);
    fakeDesktop().createWindow(high);
    FakeWindow low;
    low.hwnd = handle(0x00010010);
    fakeDesktop().createWindow(low);
    discoveryPass();
    ASSERT_EQ(g_seenWindows.size(), 2u);
    EXPECT_EQ(*g_seenWindows.begin(), handle(0x00010010));
    EXPECT_EQ(*g_seenWindows.rbegin(), handle(0x80000010));
}

TEST_F(DiscoveryTest, WindowsDestroyedOrCreatedDuringThePass) {
    HWND lower = plain(u"Lower");
    HWND upper = plain(u"Upper");
    HWND created = nullptr;
    fakeDesktop().beforeEnumCallback = [&](HWND hwnd) {
        if (hwnd == upper && created == nullptr) {
            fakeDesktop().destroyWindow(lower);
            created = fakeDesktop().addAppWindow(u"Created");
        }
    };
    discoveryPass();
    EXPECT_EQ(handlesOf(g_rootGroup), std::vector<HWND>{upper});
    EXPECT_EQ(g_seenWindows.count(created), 0u);
}

TEST_F(DiscoveryTest, IconsReachRecordsMovedWhileTheyAreAwaited) {
    // A new window's record joins the selected group at once; its icons are
    // awaited after the enumeration, while the main thread takes sent
    // messages, and one of those may move the record elsewhere.
    PLRGroup *other = addGroup(&g_rootGroup);
    FakeWindow slow;
    slow.iconBig = fakeDesktop().newIcon();
    slow.iconSmall = fakeDesktop().newIcon();
    slow.answerDelayMs = 100;
    HWND slowWindow = fakeDesktop().createWindow(slow);
    fakeDesktop().duringSendWait = [&](HWND, UINT) {
        if (g_rootGroup.windows.empty()) return;
        other->windows.push_back(g_rootGroup.windows.front());
        g_rootGroup.windows.pop_front();
        selectGroup(other);
    };
    discoveryPass();
    ASSERT_EQ(handlesOf(*other), std::vector<HWND>{slowWindow});
    EXPECT_EQ(other->windows.front()->hIconBig, slow.iconBig);
    EXPECT_EQ(other->windows.front()->hIconSmall, slow.iconSmall);
    EXPECT_TRUE(g_rootGroup.windows.empty());
}

TEST_F(DiscoveryTest, FailedEnumerationIsReportedAndKeepsWhatItReached) {
    HWND second = plain();
    HWND first = plain();
    fakeDesktop().failEnumDesktopWindows(ERROR_ACCESS_DENIED, 1);
    discoveryPass();
    EXPECT_EQ(handlesOf(g_rootGroup), std::vector<HWND>{first});
    EXPECT_EQ(g_seenWindows.count(second), 0u);
    EXPECT_EQ(linesStartingWith(u"EnumDesktopWindows, called from MainWndProc failed with error 5: "), 1);
    discoveryPass(true);
    EXPECT_EQ(linesStartingWith(u"EnumDesktopWindows, called from MainWndProc failed with error 5: "), 2);
}

// ---------------------------------------------------------------- captions

TEST_F(DiscoveryTest, CaptionIsReadAgainAtDiscoveryButRefreshTakesItAsItIs) {
    HWND window = plain(u"Report.docx - Writer");
    fakeDesktop().window(window)->blankCaptionReads = 1;
    discoveryPass();
    ASSERT_EQ(g_rootGroup.windows.size(), 1u);
    PLRWindow *record = g_rootGroup.windows.front();
    EXPECT_EQ(text(record->caption), u"Report.docx - Writer");

    fakeDesktop().window(window)->caption = u"Report.docx* - Writer";
    discoveryPass(true);
    EXPECT_EQ(text(record->caption), u"Report.docx* - Writer");

    fakeDesktop().window(window)->blankCaptionReads = 1;
    discoveryPass(true);
    EXPECT_EQ(text(record->caption), u"");
    fakeDesktop().window(window)->caption.clear();
    discoveryPass(true);
    EXPECT_EQ(text(record->caption), u"");
}

TEST_F(DiscoveryTest, RefreshChangesOnlyRecordsOfTheTree) {
    HWND live = plain(u"Live");
    discoveryPass();
    PLRWindow *record = g_rootGroup.windows.front();
    takeSnapshot();
    HWND deleting = plain(u"Deleting");
    PLRGroup *detached = new PLRGroup();
    addRecord(detached, deleting, u"old");
    g_pGroupBeingDeleted = detached;
    HWND opened = plain(u"Opened since");

    fakeDesktop().window(live)->caption = u"Live, renamed";
    HICON newBig = fakeDesktop().newIcon();
    fakeDesktop().window(live)->iconBig = newBig;
    fakeDesktop().window(deleting)->caption = u"new";
    discoveryPass(true);
    EXPECT_EQ(text(record->caption), u"Live, renamed");
    EXPECT_EQ(record->hIconBig, newBig);
    EXPECT_EQ(text(g_pPrevAllWindows->windows.front()->caption), u"Live");
    EXPECT_EQ(text(detached->windows.front()->caption), u"old");
    EXPECT_NE(g_rootGroup.findWindowByHwnd(opened), nullptr);
    EXPECT_EQ(g_rootGroup.countWindows(), 2);

    g_pGroupBeingDeleted = nullptr;
    delete detached;
}

TEST_F(DiscoveryTest, RecordRemovedWhileRefreshWaitsIsNotWritten) {
    HWND slow = plain(u"Slow");
    discoveryPass();
    fakeDesktop().window(slow)->answers = false;
    fakeDesktop().duringSendWait = [&](HWND hwnd, UINT) { g_rootGroup.removeWindow(hwnd); };
    discoveryPass(true);  // the sanitiser build reports a write to the freed record
    EXPECT_EQ(g_rootGroup.countWindows(), 0);
}

TEST_F(DiscoveryTest, LookupsStayExactWhenRecordsMoveOrGoDuringAPass) {
    // A pass looks records up through an index built at its start. Requests
    // handled during a send may move records to another group or free them;
    // later lookups of the same pass must still find exactly what a walk of
    // the tree finds.
    HWND third = plain(u"Third");
    HWND second = plain(u"Second");
    HWND slow = plain(u"Slow");
    discoveryPass();
    ASSERT_EQ(g_rootGroup.countWindows(), 3);
    PLRGroup *other = addGroup(&g_rootGroup);
    PLRWindow *moved = g_rootGroup.findWindowByHwnd(second);
    fakeDesktop().window(slow)->answers = false;
    bool done = false;
    fakeDesktop().duringSendWait = [&](HWND hwnd, UINT) {
        if (hwnd != slow || std::exchange(done, true)) return;
        g_rootGroup.windows.remove(moved);
        other->windows.push_back(moved);
        g_rootGroup.removeWindow(third);
    };
    fakeDesktop().window(second)->caption = u"Second, renamed";
    fakeDesktop().window(third)->caption = u"Third, renamed";
    discoveryPass(true);
    EXPECT_EQ(text(moved->caption), u"Second, renamed");
    // The window whose record went is met later in the same pass and
    // discovered again as a new window.
    ASSERT_NE(g_rootGroup.findWindowByHwnd(third), nullptr);
    EXPECT_EQ(g_rootGroup.windows.back()->hwnd, third);
    EXPECT_EQ(text(g_rootGroup.windows.back()->caption), u"Third, renamed");
    EXPECT_EQ(g_rootGroup.countWindows(), 3);
    std::string problem;
    EXPECT_TRUE(plrCheckInvariants(&problem)) << problem;
}

// ---------------------------------------------------------------- icons

TEST_F(DiscoveryTest, IconFallbacks) {
    FakeDesktop &desktop = fakeDesktop();
    const HICON big = desktop.newIcon(), small = desktop.newIcon(), small2 = desktop.newIcon();
    const HICON classBig = desktop.newIcon(), classSmall = desktop.newIcon();
    const HICON app = FakeDesktop::applicationIcon();
    struct Case {
        const char *name;
        HICON answerBig, answerSmall, answerSmall2, classIcon, classIconSmall;
        HICON expectBig, expectSmall;
        int messages;
    } cases[] = {
        {"all answered", big, small, small2, classBig, classSmall, big, small, 2},
        {"small from ICON_SMALL2", big, nullptr, small2, classBig, classSmall, big, small2, 3},
        {"small from the class", big, nullptr, nullptr, classBig, classSmall, big, classSmall, 3},
        {"small is the big", big, nullptr, nullptr, classBig, nullptr, big, big, 3},
        {"big from the class", nullptr, small, nullptr, classBig, nullptr, classBig, small, 2},
        {"nothing at all", nullptr, nullptr, nullptr, nullptr, nullptr, app, app, 3},
    };
    for (const Case &c : cases) {
        FakeWindow desc;
        desc.iconBig = c.answerBig;
        desc.iconSmall = c.answerSmall;
        desc.iconSmall2 = c.answerSmall2;
        desc.classIcon = c.classIcon;
        desc.classIconSmall = c.classIconSmall;
        HWND hwnd = desktop.createWindow(desc);
        HICON gotBig = nullptr, gotSmall = nullptr;
        getWindowIcons(hwnd, &gotBig, &gotSmall);
        EXPECT_EQ(gotBig, c.expectBig) << c.name;
        EXPECT_EQ(gotSmall, c.expectSmall) << c.name;
        EXPECT_EQ(desktop.sendCount(hwnd, WM_GETICON), c.messages) << c.name;
        for (const FakeDeskCall &call : desktop.callsOf(FakeDeskCall::SendMessageTimeout)) {
            EXPECT_EQ(call.flags, static_cast<UINT>(SMTO_ABORTIFHUNG)) << c.name;
            EXPECT_LE(call.timeoutMs, 250u) << c.name;
            EXPECT_EQ(call.lParam, 0) << c.name;
        }
    }
}

TEST_F(DiscoveryTest, FailedSendWithAnotherErrorCountsAsAnAnswer) {
    FakeWindow desc;
    desc.sendError = ERROR_ACCESS_DENIED;
    desc.classIcon = fakeDesktop().newIcon();
    desc.classIconSmall = fakeDesktop().newIcon();
    HWND hwnd = fakeDesktop().createWindow(desc);
    HICON big = nullptr, small = nullptr;
    getWindowIcons(hwnd, &big, &small);
    EXPECT_EQ(big, desc.classIcon);
    EXPECT_EQ(small, desc.classIconSmall);
    EXPECT_EQ(fakeDesktop().sendCount(hwnd), 3);
}

// A window that does not answer promptly is asked once more without waiting
// (see the next tests); one that answers neither costs 250 ms at most.
TEST_F(DiscoveryTest, WindowThatDoesNotAnswerCostsOneBoundedWait) {
    FakeDesktop &desktop = fakeDesktop();
    const HICON app = FakeDesktop::applicationIcon();

    // Not (yet) counted hung: the first send waits out its 250 ms.
    FakeWindow silent;
    silent.iconBig = desktop.newIcon();
    silent.answers = false;
    HWND silentWindow = desktop.createWindow(silent);
    HICON big = nullptr, small = nullptr;
    getWindowIcons(silentWindow, &big, &small);
    EXPECT_EQ(desktop.nowMs(), 250u);
    EXPECT_EQ(big, app);
    EXPECT_EQ(small, app);
    EXPECT_EQ(desktop.sendCount(silentWindow), 2);

    // Counted hung by the system: asked nothing, waited for not at all.
    FakeWindow hung = silent;
    hung.countedHung = true;
    HWND hungWindow = desktop.createWindow(hung);
    getWindowIcons(hungWindow, &big, &small);
    EXPECT_EQ(desktop.nowMs(), 250u);
    EXPECT_EQ(big, app);
    EXPECT_EQ(small, app);
    EXPECT_EQ(desktop.sendCount(hungWindow), 0);
}

TEST_F(DiscoveryTest, WindowThatStopsAnsweringAfterTheBigIconShowsItAsSmall) {
    FakeWindow desc;
    desc.iconBig = fakeDesktop().newIcon();
    desc.iconSmall = fakeDesktop().newIcon();
    desc.answersBeforeHanging = 1;
    HWND hwnd = fakeDesktop().createWindow(desc);
    HICON big = nullptr, small = nullptr;
    getWindowIcons(hwnd, &big, &small);
    EXPECT_EQ(big, desc.iconBig);
    EXPECT_EQ(small, desc.iconBig);
    EXPECT_EQ(fakeDesktop().sendCount(hwnd), 3);
    EXPECT_EQ(fakeDesktop().nowMs(), 250u);

    // Same when the window stops answering before ICON_SMALL2.
    FakeWindow later;
    later.iconBig = fakeDesktop().newIcon();
    later.answersBeforeHanging = 2;
    HWND laterWindow = fakeDesktop().createWindow(later);
    getWindowIcons(laterWindow, &big, &small);
    EXPECT_EQ(small, later.iconBig);
    EXPECT_EQ(fakeDesktop().sendCount(laterWindow), 4);
}

// A window that answers at once is asked with a send that waits (5 ms at
// most); one that is busy is asked again without waiting, and the others are
// asked meanwhile: a pass waits about as long as its slowest window, not as
// long as all of them together. Each of the three asks goes out at most
// twice.
TEST_F(DiscoveryTest, BusyWindowsAnswerSideBySide) {
    FakeDesktop &desktop = fakeDesktop();
    std::vector<HWND> windows;
    windows.push_back(plain());  // answers nothing at once: three messages
    FakeWindow slow;
    slow.answerDelayMs = 200;  // answers within the bound
    windows.push_back(desktop.createWindow(slow));
    FakeWindow late;
    late.answerDelayMs = 300;  // never within the bound
    windows.push_back(desktop.createWindow(late));
    FakeWindow hung;
    hung.answers = false;
    hung.countedHung = true;
    windows.push_back(desktop.createWindow(hung));
    FakeWindow flaky;
    flaky.answersBeforeHanging = 2;
    windows.push_back(desktop.createWindow(flaky));

    discoveryPass();
    EXPECT_EQ(desktop.sendCount(windows[0]), 3);
    EXPECT_EQ(desktop.sendCount(windows[1]), 6);
    EXPECT_EQ(desktop.sendCount(windows[3]), 0);
    for (HWND hwnd : windows) EXPECT_LE(desktop.sendCount(hwnd), 6);
    // Top first: the flaky, late and slow windows' first 5 ms waits, then the
    // slow window's three asks of 205 ms each; the late and flaky windows
    // give up meanwhile, and the hung one costs nothing. One after the
    // other they took 600 + 250 + 250 ms.
    EXPECT_EQ(desktop.nowMs(), 10u + 3u * 205u);
    EXPECT_EQ(recordIcon(windows[2]), FakeDesktop::applicationIcon());
    desktop.clearCalls();
    discoveryPass(true);
    for (HWND hwnd : windows) EXPECT_LE(desktop.sendCount(hwnd), 6);
    EXPECT_EQ(g_rootGroup.countWindows(), 5);
}

// An answer comes whenever the main thread next takes sent messages, also
// long after its bound: it is dropped, and never taken for the answer to a
// later ask of the same window.
TEST_F(DiscoveryTest, AnswerAfterItsBoundIsDropped) {
    FakeDesktop &desktop = fakeDesktop();
    FakeWindow late;
    late.iconBig = desktop.newIcon();
    late.iconSmall = desktop.newIcon();
    late.answerDelayMs = 300;
    HWND lateWindow = desktop.createWindow(late);
    discoveryPass();
    ASSERT_EQ(g_rootGroup.windows.size(), 1u);
    PLRWindow *record = g_rootGroup.windows.front();
    EXPECT_EQ(record->hIconBig, FakeDesktop::applicationIcon());
    EXPECT_EQ(record->hIconSmall, FakeDesktop::applicationIcon());
    EXPECT_EQ(desktop.outstandingAnswers(), 1);

    // New icons, answered within the bound, but after the first pass's
    // answer, which comes at 300 ms while this pass waits.
    FakeWindow *window = desktop.window(lateWindow);
    window->iconBig = desktop.newIcon();
    window->iconSmall = desktop.newIcon();
    window->answerDelayMs = 80;
    discoveryPass(true);
    EXPECT_EQ(record->hIconBig, window->iconBig);
    EXPECT_EQ(record->hIconSmall, window->iconSmall);
    EXPECT_EQ(desktop.outstandingAnswers(), 0);
}
