// Walks over the tree: tree order, first match wins.
#include <algorithm>

#include "model/queries.h"
#include "model_fixture.h"

namespace {

// root: windows r1, r2; groups A (a1; group AA (aa1)) and B (b1, b2).
class QueryTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        r1 = addRecord(&g_rootGroup, handle(0x11), u"Mail");
        r2 = addRecord(&g_rootGroup, handle(0x12), u"");
        groupA = addGroup(&g_rootGroup);
        a1 = addRecord(groupA, handle(0x21), u"Shell");
        groupAA = addGroup(groupA);
        aa1 = addRecord(groupAA, handle(0x31), u"Notes");
        groupB = addGroup(&g_rootGroup);
        b1 = addRecord(groupB, handle(0x41), u"Mail");
        b2 = addRecord(groupB, handle(0x42), u"Player");
        g_rootGroup.hti = item(0x900);
        groupA->hti = item(0x901);
        groupAA->hti = item(0x902);
        groupB->hti = item(0x903);
        int next = 0x910;
        for (PLRWindow *window : {r1, r2, a1, aa1, b1, b2}) window->hti = item(next++);
    }

    PLRGroup *groupA = nullptr, *groupAA = nullptr, *groupB = nullptr;
    PLRWindow *r1 = nullptr, *r2 = nullptr, *a1 = nullptr, *aa1 = nullptr, *b1 = nullptr, *b2 = nullptr;
};

}  // namespace

TEST_F(QueryTest, SelectedGroupIsFoundInPreOrder) {
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), &g_rootGroup);
    // With the root selected the walk stops there, even if a subgroup is
    // (wrongly) flagged too.
    groupAA->selected = 1;
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), &g_rootGroup);
    g_rootGroup.selected = 0;
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), groupAA);
    EXPECT_EQ(groupB->getSelectedGroup(), nullptr);
    groupAA->selected = 0;
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), nullptr);
}

TEST_F(QueryTest, GlobalSelectedGroupLogsWhenNoneIsSelected) {
    selectGroup(groupB);
    EXPECT_EQ(globalGetSelectedGroup(), groupB);
    EXPECT_TRUE(logLines().empty());
    groupB->selected = 0;
    EXPECT_EQ(globalGetSelectedGroup(), nullptr);
    EXPECT_EQ(logLines(), std::vector<std::u16string>{u"globalGetSelectedGroup: could not find selected group."});
    g_dwLog = 0;
    clearCapturedLogLines();
    EXPECT_EQ(globalGetSelectedGroup(), nullptr);
    EXPECT_TRUE(logLines().empty());
}

TEST_F(QueryTest, SelectedWindowTwoLevelsDownAndItsOwnGroup) {
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), nullptr);
    EXPECT_EQ(g_rootGroup.getSelectedWindowGroup(), nullptr);
    aa1->selected = 1;
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), aa1);
    EXPECT_EQ(g_rootGroup.getSelectedWindowGroup(), groupAA);
    EXPECT_EQ(groupA->getSelectedWindowGroup(), groupAA);
    EXPECT_EQ(groupB->getSelectedWindow(), nullptr);
    // Asking the selected group's subtree.
    EXPECT_EQ(groupA->getSelectedWindow(), aa1);
}

TEST_F(QueryTest, CaptionLookupIsExactAndPrefersTheHigherRecord) {
    EXPECT_EQ(g_rootGroup.findWindowByCaption(u"Mail"), r1);
    EXPECT_EQ(g_rootGroup.findGroupByCaption(u"Mail"), &g_rootGroup);
    EXPECT_EQ(groupB->findWindowByCaption(u"Mail"), b1);
    EXPECT_EQ(g_rootGroup.findWindowByCaption(u"mail"), nullptr);
    EXPECT_EQ(g_rootGroup.findGroupByCaption(u"mail"), nullptr);
    EXPECT_EQ(g_rootGroup.findWindowByCaption(u"Mai"), nullptr);
    EXPECT_EQ(g_rootGroup.findWindowByCaption(u"Mail "), nullptr);
    EXPECT_EQ(g_rootGroup.findWindowByCaption(u""), r2);
    EXPECT_EQ(g_rootGroup.findGroupByCaption(u"Notes"), groupAA);
    EXPECT_EQ(g_rootGroup.findWindowByCaption(u"Notes"), aa1);
    EXPECT_EQ(g_rootGroup.findGroupByCaption(u"Absent"), nullptr);

    // The group found by caption is always the one holding the window found.
    for (PLRWindow *window : {r1, r2, a1, aa1, b1, b2}) {
        PLRWindow *found = g_rootGroup.findWindowByCaption(window->caption);
        PLRGroup *holder = g_rootGroup.findGroupByCaption(window->caption);
        ASSERT_NE(holder, nullptr);
        EXPECT_NE(std::find(holder->windows.begin(), holder->windows.end(), found), holder->windows.end());
    }
}

TEST_F(QueryTest, HandleAndItemLookups) {
    EXPECT_EQ(g_rootGroup.findWindowByHwnd(handle(0x31)), aa1);
    EXPECT_EQ(g_rootGroup.findWindowByHwnd(handle(0x99)), nullptr);
    EXPECT_EQ(groupB->findWindowByHwnd(handle(0x31)), nullptr);
    EXPECT_EQ(g_rootGroup.findWindowByHti(item(0x913)), aa1);
    EXPECT_EQ(g_rootGroup.findGroupByHti(item(0x902)), groupAA);
    EXPECT_EQ(g_rootGroup.findGroupByHti(item(0x900)), &g_rootGroup);
    EXPECT_EQ(g_rootGroup.findGroupByHti(item(0x913)), nullptr);
    EXPECT_EQ(g_rootGroup.findWindowByHti(item(0x902)), nullptr);

    // A record inserted after the tree was filled has no item yet: a null
    // item matches the first such record in tree order.
    EXPECT_EQ(g_rootGroup.findWindowByHti(nullptr), nullptr);
    PLRWindow *late = addRecord(groupAA, handle(0x32), u"Late");
    PLRWindow *later = addRecord(groupB, handle(0x43), u"Later");
    EXPECT_EQ(g_rootGroup.findWindowByHti(nullptr), late);
    late->hti = item(0x999);
    EXPECT_EQ(g_rootGroup.findWindowByHti(nullptr), later);
}

TEST_F(QueryTest, CountWindowsCoversTheWholeSubtree) {
    EXPECT_EQ(g_rootGroup.countWindows(), 6);
    EXPECT_EQ(groupA->countWindows(), 2);
    PLRGroup *empty = addGroup(groupB);
    EXPECT_EQ(empty->countWindows(), 0);
    PLRGroup holder;
    g_numberNewGroups = 0;
    PLRGroup *inner = new PLRGroup();
    g_numberNewGroups = 1;
    holder.subgroups.push_back(inner);
    addRecord(inner, handle(0x1), u"x");
    addRecord(addGroup(inner), handle(0x2), u"y");
    EXPECT_EQ(holder.countWindows(), 2);
}

TEST_F(QueryTest, ClearHtisClearsEverythingBelowButNotTheGroupItself) {
    g_rootGroup.clearHtis();
    EXPECT_EQ(g_rootGroup.hti, item(0x900));
    EXPECT_EQ(g_rootGroup.findGroupByHti(item(0x900)), &g_rootGroup);
    for (PLRGroup *group : {groupA, groupAA, groupB}) EXPECT_EQ(group->hti, nullptr);
    for (PLRWindow *window : {r1, r2, a1, aa1, b1, b2}) EXPECT_EQ(window->hti, nullptr);
}

TEST_F(QueryTest, ClearHtisOnASubgroupLeavesTheRestAlone) {
    groupA->clearHtis();
    EXPECT_EQ(groupA->hti, item(0x901));
    EXPECT_EQ(groupAA->hti, nullptr);
    EXPECT_EQ(a1->hti, nullptr);
    EXPECT_EQ(aa1->hti, nullptr);
    EXPECT_EQ(r1->hti, item(0x910));
    EXPECT_EQ(b1->hti, item(0x914));
    EXPECT_EQ(groupB->hti, item(0x903));
}

TEST_F(QueryTest, RemoveWindowTakesOnlyTheFirstMatchingRecord) {
    EXPECT_FALSE(g_rootGroup.removeWindow(handle(0x77)));
    EXPECT_EQ(g_rootGroup.countWindows(), 6);

    EXPECT_TRUE(g_rootGroup.removeWindow(handle(0x31)));
    EXPECT_TRUE(groupAA->windows.empty());
    EXPECT_EQ(g_rootGroup.countWindows(), 5);
    EXPECT_EQ(g_rootGroup.findWindowByHwnd(handle(0x21)), a1);
    EXPECT_EQ(groupB->windows.front(), b1);
    EXPECT_FALSE(g_rootGroup.removeWindow(handle(0x31)));

    // Two records of one handle (which the model never makes): one call
    // removes the first in tree order only.
    addRecord(groupB, handle(0x21), u"duplicate");
    EXPECT_TRUE(g_rootGroup.removeWindow(handle(0x21)));
    EXPECT_TRUE(groupA->windows.empty());
    EXPECT_EQ(text(groupB->windows.back()->caption), u"duplicate");
}
