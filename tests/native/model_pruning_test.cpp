// Deleting the records of windows the last discovery pass did not accept.
#include <algorithm>

#include "model/discovery.h"
#include "model/pruning.h"
#include "model_fixture.h"

namespace {

const char16_t kSnapshotLine[] =
    u"PLRGroup::deleteInactiveWindow: failed to remove inactive window from g_pPrevAllWindows.";

// Three windows in each of root, A and A's subgroup AA.
class PruningTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        groupA = addGroup(&g_rootGroup);
        groupAA = addGroup(groupA);
        for (int i = 0; i < 3; ++i) {
            addRecord(&g_rootGroup, handle(0x100 + i), u"root");
            addRecord(groupA, handle(0x200 + i), u"a");
            addRecord(groupAA, handle(0x300 + i), u"aa");
        }
    }
    void seeAllBut(std::initializer_list<std::uintptr_t> gone) {
        for (std::uintptr_t base : {0x100u, 0x200u, 0x300u})
            for (std::uintptr_t i = 0; i < 3; ++i)
                if (std::find(gone.begin(), gone.end(), base + i) == gone.end()) g_seenWindows.insert(handle(base + i));
    }
    PLRGroup *groupA = nullptr;
    PLRGroup *groupAA = nullptr;
};

void collectHandles(const PLRGroup &group, std::vector<HWND> *out) {
    for (const PLRWindow *window : group.windows) out->push_back(window->hwnd);
    for (const PLRGroup *subgroup : group.subgroups) collectHandles(*subgroup, out);
}

std::vector<HWND> handlesInTreeOrder(const PLRGroup &group) {
    std::vector<HWND> handles;
    collectHandles(group, &handles);
    return handles;
}

}  // namespace

TEST_F(PruningTest, NothingGoneLeavesTheTreeAlone) {
    seeAllBut({});
    EXPECT_FALSE(g_rootGroup.deleteInactiveWindow());
    pruneInactiveWindows();
    EXPECT_EQ(g_rootGroup.countWindows(), 9);
    EXPECT_TRUE(g_seenWindows.empty());
    EXPECT_TRUE(logLines().empty());
}

TEST_F(PruningTest, GoneWindowsLeaveOneCallEachInTreeOrder) {
    seeAllBut({0x302, 0x101, 0x200});
    EXPECT_TRUE(g_rootGroup.deleteInactiveWindow());
    EXPECT_EQ(g_rootGroup.findWindowByHwnd(handle(0x101)), nullptr);
    EXPECT_NE(g_rootGroup.findWindowByHwnd(handle(0x200)), nullptr);
    EXPECT_TRUE(g_rootGroup.deleteInactiveWindow());
    EXPECT_EQ(g_rootGroup.findWindowByHwnd(handle(0x200)), nullptr);
    EXPECT_NE(g_rootGroup.findWindowByHwnd(handle(0x302)), nullptr);
    EXPECT_TRUE(g_rootGroup.deleteInactiveWindow());
    EXPECT_FALSE(g_rootGroup.deleteInactiveWindow());
    EXPECT_EQ(g_rootGroup.countWindows(), 6);
    EXPECT_TRUE(logLines().empty());  // no snapshot, nothing to report
}

TEST_F(PruningTest, EmptiedGroupsStayInTheTree) {
    seeAllBut({0x300, 0x301, 0x302});
    pruneInactiveWindows();
    EXPECT_TRUE(groupAA->windows.empty());
    ASSERT_EQ(groupA->subgroups.size(), 1u);
    EXPECT_EQ(groupA->subgroups.front(), groupAA);
}

TEST_F(PruningTest, GoneWindowLeavesTheSnapshotTooSoCancelCannotBringItBack) {
    takeSnapshot();
    seeAllBut({0x201});
    pruneInactiveWindows();
    EXPECT_EQ(g_rootGroup.findWindowByHwnd(handle(0x201)), nullptr);
    EXPECT_EQ(g_pPrevAllWindows->findWindowByHwnd(handle(0x201)), nullptr);
    EXPECT_EQ(g_pPrevAllWindows->countWindows(), 8);
    EXPECT_TRUE(logLines().empty());
    restoreSnapshot();
    EXPECT_EQ(g_rootGroup.findWindowByHwnd(handle(0x201)), nullptr);
    EXPECT_EQ(g_rootGroup.countWindows(), 8);
    expectInvariants();
}

TEST_F(PruningTest, WindowNewerThanTheSnapshotIsReportedAndStillDeleted) {
    takeSnapshot();
    addRecord(groupA, handle(0x500), u"newer");
    seeAllBut({});
    pruneInactiveWindows();
    EXPECT_EQ(g_rootGroup.findWindowByHwnd(handle(0x500)), nullptr);
    EXPECT_EQ(logLines(), std::vector<std::u16string>{kSnapshotLine});
    EXPECT_EQ(g_pPrevAllWindows->countWindows(), 9);

    // Only a stale record in the live tree touches the snapshot.
    clearCapturedLogLines();
    g_rootGroup.removeWindow(handle(0x100));
    seeAllBut({0x100});
    pruneInactiveWindows();
    EXPECT_NE(g_pPrevAllWindows->findWindowByHwnd(handle(0x100)), nullptr);
    EXPECT_TRUE(logLines().empty());
}

// A pass that failed part way did not reach every window: the records of
// those it missed keep their groups until a pass that completes.
TEST_F(PruningTest, FailedEnumerationPrunesNothingAndTheNextCompletePassDoes) {
    fakeDesktop().addAppWindow(u"Somewhere");
    fakeDesktop().failEnumDesktopWindows(ERROR_ACCESS_DENIED);
    pruneInactiveWindows(discoveryPass());
    EXPECT_EQ(g_rootGroup.countWindows(), 9);
    EXPECT_EQ(groupAA->windows.size(), 3u);
    EXPECT_TRUE(g_seenWindows.empty());
    ASSERT_EQ(logLines().size(), 1u);
    EXPECT_EQ(logLines()[0].rfind(u"EnumDesktopWindows, called from MainWndProc failed with error 5: ", 0), 0u)
        << std::string(logLines()[0].begin(), logLines()[0].end());

    // The records of the scene have no windows on the fake desktop: the next
    // complete pass removes them and keeps the groups.
    fakeDesktop().stopFailingEnumerations();
    pruneInactiveWindows(discoveryPass());
    EXPECT_EQ(g_rootGroup.countWindows(), 1);
    EXPECT_EQ(groupA->subgroups.front(), groupAA);
    EXPECT_EQ(g_rootGroup.subgroups.front(), groupA);
}

// The one-walk pruning leaves exactly what calling deleteInactiveWindow until
// it returns false leaves, snapshot and log lines included.
TEST_F(PruningTest, OneWalkPruningMatchesRemovingOneRecordAtATime) {
    takeSnapshot();
    addRecord(groupA, handle(0x500), u"after the snapshot");
    seeAllBut({0x100, 0x202, 0x300, 0x302});
    std::set<HWND, PlrHwndLess> seen = g_seenWindows;
    while (g_rootGroup.deleteInactiveWindow()) {
    }
    const std::vector<HWND> expectedTree = handlesInTreeOrder(g_rootGroup);
    const std::vector<HWND> expectedSnapshot = handlesInTreeOrder(*g_pPrevAllWindows);
    const std::vector<std::u16string> expectedLog = logLines();
    ASSERT_EQ(expectedLog.size(), 1u);

    // The same scene again, pruned in one walk.
    TearDown();
    SetUp();
    takeSnapshot();
    addRecord(groupA, handle(0x500), u"after the snapshot");
    g_seenWindows = seen;
    pruneInactiveWindows();
    EXPECT_EQ(handlesInTreeOrder(g_rootGroup), expectedTree);
    EXPECT_EQ(handlesInTreeOrder(*g_pPrevAllWindows), expectedSnapshot);
    EXPECT_EQ(logLines(), expectedLog);
    EXPECT_TRUE(g_seenWindows.empty());
    expectInvariants();
}

// Windows that hide, close or stop being switchable, end to end.
TEST_F(ModelTest, HiddenWindowLosesItsRecordAndComesBackAtTheEndOfTheSelectedGroup) {
    HWND mail = fakeDesktop().addAppWindow(u"Mail");
    HWND notes = fakeDesktop().addAppWindow(u"Notes");
    HWND music = fakeDesktop().addAppWindow(u"Music");
    discoveryPass();
    pruneInactiveWindows();
    ASSERT_EQ(g_rootGroup.windows.size(), 3u);
    EXPECT_EQ(g_rootGroup.windows.front()->hwnd, music);  // top of the z-order first

    PLRGroup *group = addGroup(&g_rootGroup);
    selectGroup(group);
    fakeDesktop().window(notes)->style &= ~WS_VISIBLE;
    fakeDesktop().destroyWindow(mail);
    fakeDesktop().window(music)->exStyle |= WS_EX_TOOLWINDOW;
    discoveryPass();
    pruneInactiveWindows();
    EXPECT_EQ(g_rootGroup.countWindows(), 0);
    EXPECT_TRUE(g_seenWindows.empty());

    HWND fresh = fakeDesktop().addAppWindow(u"Fresh");
    discoveryPass();
    pruneInactiveWindows();
    fakeDesktop().window(notes)->style |= WS_VISIBLE;
    discoveryPass();
    pruneInactiveWindows();
    ASSERT_EQ(group->windows.size(), 2u);
    EXPECT_EQ(group->windows.front()->hwnd, fresh);
    EXPECT_EQ(group->windows.back()->hwnd, notes);
    EXPECT_TRUE(g_rootGroup.windows.empty());
    expectInvariants();
}
