// The snapshot a switch takes, and cancelling back to it.
#include "model_fixture.h"

namespace {

class SnapshotTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        addRecord(&g_rootGroup, handle(0x10), u"Top");
        work = addGroup(&g_rootGroup);   // Group 1
        addRecord(work, handle(0x20), u"Editor");
        nested = addGroup(work);         // Group 2
        addRecord(nested, handle(0x30), u"Terminal");
        plrCopy(nested->name, PLRGroup::kNameUnits, PLR_T("Renamed"));
    }
    PLRGroup *work = nullptr;
    PLRGroup *nested = nullptr;
};

}  // namespace

TEST_F(SnapshotTest, TakingCopiesTheTreeWithoutSpendingNumbers) {
    ASSERT_EQ(g_groupCounter, 3);
    takeSnapshot();
    ASSERT_NE(g_pPrevAllWindows, nullptr);
    EXPECT_EQ(g_groupCounter, 3);
    EXPECT_EQ(g_savedGroupCounter, 3);
    EXPECT_EQ(g_numberNewGroups, 1);
    EXPECT_EQ(g_pPrevAllWindows->countWindows(), 3);
    ASSERT_EQ(g_pPrevAllWindows->subgroups.size(), 1u);
    EXPECT_EQ(text(g_pPrevAllWindows->subgroups.front()->name), u"Group 1");
    EXPECT_EQ(text(g_pPrevAllWindows->subgroups.front()->subgroups.front()->name), u"Renamed");
    EXPECT_EQ(text(g_pPrevAllWindows->name), text(g_rootGroup.name));
    EXPECT_EQ(g_pPrevAllWindows->selected, 1);
    expectInvariants();

    // A second take while one exists keeps the first.
    PLRGroup *first = g_pPrevAllWindows;
    addRecord(&g_rootGroup, handle(0x40), u"New");
    takeSnapshot();
    EXPECT_EQ(g_pPrevAllWindows, first);
    EXPECT_EQ(g_pPrevAllWindows->countWindows(), 3);
}

TEST_F(SnapshotTest, CancelPutsTheTreeBackAndGivesNumbersBack) {
    g_rootGroup.hti = item(0x700);
    takeSnapshot();

    // During the switch: two new groups, a window moved, flags changed.
    PLRGroup *made = addGroup(&g_rootGroup);
    EXPECT_EQ(text(made->name), u"Group 3");
    addGroup(made);
    PLRWindow *moved = work->windows.front();
    work->windows.pop_front();
    made->windows.push_back(moved);
    g_rootGroup.selected = 0;
    made->selected = 1;
    g_rootGroup.expanded = 0;
    g_rootGroup.hti = item(0x701);
    plrCopy(g_rootGroup.name, PLRGroup::kNameUnits, PLR_T("changed"));

    restoreSnapshot();
    EXPECT_EQ(g_groupCounter, 3);
    EXPECT_EQ(g_numberNewGroups, 1);
    ASSERT_EQ(g_rootGroup.subgroups.size(), 1u);
    EXPECT_EQ(text(g_rootGroup.subgroups.front()->windows.front()->caption), u"Editor");
    EXPECT_EQ(text(g_rootGroup.subgroups.front()->subgroups.front()->name), u"Renamed");
    EXPECT_EQ(g_rootGroup.selected, 1);
    EXPECT_EQ(g_rootGroup.expanded, 1);
    EXPECT_EQ(g_rootGroup.hti, item(0x700));
    EXPECT_EQ(text(g_rootGroup.name), u"Group 0");
    EXPECT_NE(g_pPrevAllWindows, nullptr);  // the snapshot stays
    expectInvariants();

    PLRGroup *next = addGroup(&g_rootGroup);
    EXPECT_EQ(text(next->name), u"Group 3");
}

TEST_F(SnapshotTest, RestoringTwiceGivesTheSameTree) {
    takeSnapshot();
    addGroup(&g_rootGroup);
    restoreSnapshot();
    addRecord(&g_rootGroup, handle(0x50), u"Between");
    restoreSnapshot();
    EXPECT_EQ(g_rootGroup.countWindows(), 3);
    EXPECT_EQ(g_rootGroup.findWindowByHwnd(handle(0x50)), nullptr);
    expectInvariants();
}

TEST_F(SnapshotTest, DiscardFreesTheSnapshotAndIsHarmlessWithoutOne) {
    discardSnapshot();
    EXPECT_EQ(g_pPrevAllWindows, nullptr);
    takeSnapshot();
    discardSnapshot();
    EXPECT_EQ(g_pPrevAllWindows, nullptr);
    EXPECT_EQ(g_rootGroup.countWindows(), 3);

    // Without a snapshot a cancel changes nothing.
    addGroup(&g_rootGroup);
    restoreSnapshot();
    EXPECT_EQ(g_rootGroup.subgroups.size(), 2u);
    EXPECT_EQ(g_groupCounter, 4);
}
