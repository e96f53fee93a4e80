// One hotkey press on the model, against the fake desktop: the opening of a
// switch (discovery with the refresh, pruning, the foreground window's
// record), the snapshot, the start of the switcher and the command of each
// key.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model_fixture.h"
#include "shell/hotkeys.h"

namespace {

struct SwitcherStart {
    UINT id;
    bool snapshotTaken;
    int selectedWindows;
};
std::vector<SwitcherStart> g_starts;

int countSelected(PLRGroup *group) {
    int count = 0;
    for (PLRWindow *window : group->windows) count += window->selected != 0;
    for (PLRGroup *subgroup : group->subgroups) count += countSelected(subgroup);
    return count;
}

void recordStart(UINT id) { g_starts.push_back({id, g_pPrevAllWindows != nullptr, countSelected(&g_rootGroup)}); }

class ShellHotkeyTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        g_starts.clear();
        // Created bottom first: the desktop lists w3, w2, w1 (top first).
        w1 = fakeDesktop().addAppWindow(u"one");
        w2 = fakeDesktop().addAppWindow(u"two");
        w3 = fakeDesktop().addAppWindow(u"three");
        fakeDesktop().setForeground(w1);
    }

    bool press(UINT id, bool opening) { return runHotkeyPress(id, opening, recordStart); }
    // Holding Alt: the first key opens, the others find the switcher there.
    void pressHeld(std::initializer_list<UINT> ids) {
        bool first = true;
        for (UINT id : ids) {
            press(id, first);
            first = false;
        }
    }

    std::vector<std::u16string> rootOrder() {
        std::vector<std::u16string> result;
        for (PLRWindow *window : g_rootGroup.windows) result.push_back(window->caption);
        return result;
    }
    std::u16string selectedCaption() {
        PLRWindow *window = g_rootGroup.getSelectedWindow();
        return window != nullptr ? std::u16string(window->caption) : u"<none>";
    }

    HWND w1 = nullptr, w2 = nullptr, w3 = nullptr;
};

// ---------------------------------------------------------------- opening

TEST_F(ShellHotkeyTest, FirstAltTabOpensWithForegroundRecordFirstAndSelectsTheNext) {
    EXPECT_TRUE(press(kHotkeyNextWindow, true));
    // Discovered in z-order, then the foreground window moved to the front.
    EXPECT_EQ(rootOrder(), (std::vector<std::u16string>{u"one", u"three", u"two"}));
    EXPECT_EQ(selectedCaption(), u"three");
    EXPECT_EQ(fakeDesktop().enumerationCount(), 1);  // one pass discovers and refreshes
    ASSERT_EQ(g_starts.size(), 1u);
    EXPECT_EQ(g_starts[0].id, static_cast<UINT>(kHotkeyNextWindow));
    // The thread starts after the snapshot and before the command.
    EXPECT_TRUE(g_starts[0].snapshotTaken);
    ASSERT_NE(g_pPrevAllWindows, nullptr);
    EXPECT_EQ(g_pPrevAllWindows->getSelectedWindow()->hwnd, w1);
    EXPECT_TRUE(g_seenWindows.empty());
    expectInvariants();
}

TEST_F(ShellHotkeyTest, AltTabThreeTimesOpensOnceAndStepsThreeTimes) {
    pressHeld({kHotkeyNextWindow, kHotkeyNextWindow, kHotkeyNextWindow});
    EXPECT_EQ(fakeDesktop().enumerationCount(), 1);  // the opening's pass alone
    EXPECT_EQ(g_starts.size(), 1u);
    EXPECT_EQ(selectedCaption(), u"one");  // one -> three -> two -> one
    expectInvariants();

    // Alt+Shift+Tab steps back; the snapshot is the one of the opening.
    PLRGroup *snapshot = g_pPrevAllWindows;
    press(kHotkeyPreviousWindow, false);
    EXPECT_EQ(selectedCaption(), u"two");
    EXPECT_EQ(g_pPrevAllWindows, snapshot);
}

// The open tree does not follow the windows, so a press while it is open
// reads nothing from the desktop; the next opening shows them as they are.
TEST_F(ShellHotkeyTest, OnlyTheOpeningReadsTheDesktop) {
    press(kHotkeyNextWindow, true);
    const HWND w4 = fakeDesktop().addAppWindow(u"four");
    fakeDesktop().window(w1)->caption = u"one, renamed";
    HICON icon = fakeDesktop().newIcon();
    fakeDesktop().window(w2)->iconSmall = icon;
    fakeDesktop().clearCalls();
    press(kHotkeyNextWindow, false);
    EXPECT_EQ(g_rootGroup.findWindowByHwnd(w4), nullptr);
    EXPECT_EQ(std::u16string(g_rootGroup.findWindowByHwnd(w1)->caption), u"one");
    EXPECT_TRUE(fakeDesktop().calls().empty());
    EXPECT_EQ(fakeDesktop().enumerationCount(), 1);
    EXPECT_EQ(g_starts.size(), 1u);

    discardSnapshot();
    press(kHotkeyNextWindow, true);
    EXPECT_NE(g_rootGroup.findWindowByHwnd(w4), nullptr);
    EXPECT_EQ(std::u16string(g_rootGroup.findWindowByHwnd(w1)->caption), u"one, renamed");
    EXPECT_EQ(g_rootGroup.findWindowByHwnd(w2)->hIconSmall, icon);
}

// Two windows of one caption: the one in front is found by its handle, so
// the switch never starts from the other one. A window the tree does not
// hold (an owned dialog in front of its application) is still found by its
// caption.
TEST_F(ShellHotkeyTest, ForegroundIsFoundByItsHandleAndOnlyThenByCaption) {
    fakeDesktop().window(w3)->caption = u"same";
    fakeDesktop().window(w1)->caption = u"same";
    addRecord(&g_rootGroup, w2, u"two");
    addRecord(&g_rootGroup, w3, u"same");
    addRecord(&g_rootGroup, w1, u"same");
    // w1, the second "same" in tree order, is in the foreground; a cancel key
    // runs no refresh and no navigation, so only the opening acts.
    press(kHotkeyCancel, true);
    EXPECT_EQ(g_rootGroup.windows.front()->hwnd, w1);
    EXPECT_EQ(g_rootGroup.getSelectedWindow()->hwnd, w1);
    EXPECT_EQ(g_rootGroup.windows.back()->hwnd, w3);

    FakeWindow dialog;
    dialog.caption = u"two";
    dialog.owner = w2;
    const HWND owned = fakeDesktop().createWindow(dialog);
    fakeDesktop().setForeground(owned);
    discardSnapshot();  // the cancel restores the snapshot of the switch's opening
    press(kHotkeyCancel, true);
    EXPECT_EQ(g_rootGroup.windows.front()->hwnd, w2);
    EXPECT_EQ(g_rootGroup.getSelectedWindow()->hwnd, w2);
}

TEST_F(ShellHotkeyTest, ForegroundOutsideTheSelectedGroupSelectsItsGroup) {
    PLRGroup *g = addGroup(&g_rootGroup);
    PLRGroup *h = addGroup(&g_rootGroup);
    addRecord(g, w2, u"two");
    addRecord(g, w1, u"one");
    selectGroup(h);
    press(kHotkeyNextWindow, true);
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), g);
    // w1 moved to the front of G; Alt+Tab then steps inside G.
    EXPECT_EQ(g->windows.front()->hwnd, w1);
    EXPECT_EQ(g_rootGroup.getSelectedWindow()->hwnd, w2);
    // The new window w3 joined the group selected during discovery (H).
    ASSERT_EQ(h->windows.size(), 1u);
    EXPECT_EQ(h->windows.front()->hwnd, w3);
    expectInvariants();
}

TEST_F(ShellHotkeyTest, NoForegroundOrUnknownForegroundSkipsTheForegroundStep) {
    fakeDesktop().setForeground(nullptr);
    press(kHotkeyNextWindow, true);
    EXPECT_EQ(rootOrder(), (std::vector<std::u16string>{u"three", u"two", u"one"}));
    EXPECT_EQ(selectedCaption(), u"three");  // none selected: the first of S

    FakeWindow tool;
    tool.caption = u"a tool";
    tool.exStyle = WS_EX_TOOLWINDOW;
    fakeDesktop().setForeground(fakeDesktop().createWindow(tool));
    discardSnapshot();
    press(kHotkeyNextWindow, true);
    EXPECT_EQ(selectedCaption(), u"two");
    EXPECT_TRUE(logLines().empty());
}

TEST_F(ShellHotkeyTest, OpeningWithoutSelectedGroupAbortsThePress) {
    addRecord(&g_rootGroup, w1, u"one");
    g_rootGroup.selected = 0;
    EXPECT_FALSE(press(kHotkeyNextWindow, true));
    // Discovery found no group for w2 and w3 (logged twice), then the press
    // stopped.
    ASSERT_FALSE(logLines().empty());
    EXPECT_EQ(logLines().back(), u"MainWndProc: could not find selected group - aborting.");
    EXPECT_EQ(fakeDesktop().enumerationCount(), 1);  // no refresh
    EXPECT_EQ(g_pPrevAllWindows, nullptr);
    EXPECT_TRUE(g_starts.empty());
    EXPECT_EQ(selectedCaption(), u"one");  // the foreground step had got that far
}

TEST_F(ShellHotkeyTest, ClosedWindowsArePrunedAtOpeningOnly) {
    press(kHotkeyNextWindow, true);
    fakeDesktop().destroyWindow(w2);
    press(kHotkeyNextWindow, false);
    EXPECT_NE(g_rootGroup.findWindowByHwnd(w2), nullptr);
    press(kHotkeyNextWindow, true);
    EXPECT_EQ(g_rootGroup.findWindowByHwnd(w2), nullptr);
    EXPECT_EQ(g_pPrevAllWindows->findWindowByHwnd(w2), nullptr);
}

// ---------------------------------------------------------------- commands

TEST_F(ShellHotkeyTest, CancelRestoresTreeAndGroupCounter) {
    press(kHotkeyNextWindow, true);
    const int counter = g_groupCounter;
    press(kHotkeyCreateGroup, false);
    press(kHotkeyGroupFromSelected, false);
    press(kHotkeyNextWindow, false);
    ASSERT_EQ(g_rootGroup.subgroups.size(), 2u);
    EXPECT_EQ(g_groupCounter, counter + 2);

    const int enumerations = fakeDesktop().enumerationCount();
    press(kHotkeyCancel, false);
    EXPECT_EQ(fakeDesktop().enumerationCount(), enumerations);  // no refresh
    EXPECT_TRUE(g_rootGroup.subgroups.empty());
    EXPECT_EQ(rootOrder(), (std::vector<std::u16string>{u"one", u"three", u"two"}));
    EXPECT_EQ(selectedCaption(), u"one");
    EXPECT_EQ(g_groupCounter, counter);
    // The snapshot stays for the next switch's cancel.
    ASSERT_NE(g_pPrevAllWindows, nullptr);
    expectInvariants();
}

TEST_F(ShellHotkeyTest, CancelAsFirstKeyStillOpensTheSwitch) {
    press(kHotkeyCancelShift, true);
    EXPECT_EQ(fakeDesktop().enumerationCount(), 1);  // discovery, no refresh
    ASSERT_EQ(g_starts.size(), 1u);
    EXPECT_EQ(g_starts[0].id, static_cast<UINT>(kHotkeyCancelShift));
    EXPECT_EQ(selectedCaption(), u"one");
    EXPECT_EQ(g_rootGroup.windows.size(), 3u);
}

TEST_F(ShellHotkeyTest, GroupKeysOnARootOnlyTreeJumpToTheFirstWindow) {
    press(kHotkeyNextWindow, true);
    press(kHotkeyNextWindow, false);
    EXPECT_EQ(selectedCaption(), u"two");
    press(kHotkeyNextGroup, false);
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), &g_rootGroup);
    EXPECT_EQ(selectedCaption(), u"one");
    press(kHotkeyNextWindow, false);
    press(kHotkeyPreviousGroup, false);
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), &g_rootGroup);
    EXPECT_EQ(selectedCaption(), u"one");
    expectInvariants();
}

TEST_F(ShellHotkeyTest, GroupKeysMoveThroughGroupsInPostOrder) {
    press(kHotkeyCreateGroup, true);   // Group 1 under the root
    press(kHotkeyGroupFromSelected, false);  // w1's record into Group 2
    PLRGroup *withWindow = g_rootGroup.getSelectedGroup();
    ASSERT_NE(withWindow, &g_rootGroup);
    press(kHotkeyNextGroup, false);  // post-order: Group 1, Group 2, root
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), &g_rootGroup);
    EXPECT_EQ(selectedCaption(), u"three");
    press(kHotkeyNextGroup, false);
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), g_rootGroup.subgroups.front());
    EXPECT_EQ(selectedCaption(), u"<none>");
    press(kHotkeyPreviousGroup, false);
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), &g_rootGroup);
    expectInvariants();
}

TEST_F(ShellHotkeyTest, IdsOutsideTheRangeDoNothing) {
    EXPECT_TRUE(press(999, true));
    EXPECT_TRUE(press(1009, true));
    EXPECT_EQ(fakeDesktop().enumerationCount(), 0);
    EXPECT_TRUE(g_starts.empty());
    EXPECT_TRUE(isHotkeyId(1000) && isHotkeyId(1008) && !isHotkeyId(0));
}

}  // namespace
