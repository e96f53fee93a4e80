// Selection and expansion: the model's flags, the markers in the open tree,
// the order of the expansions, and what happens without a dialog or without
// an item.
#include <gtest/gtest.h>

#include "switcher_test_support.h"

namespace {

class SelectionTest : public SwitcherTest {
protected:
    // Root: r1, A (a1, B (b1, C (c1))), D (empty). Groups below the root
    // start collapsed.
    void SetUp() override {
        SwitcherTest::SetUp();
        r1 = addWindow(&g_rootGroup, u"r1");
        A = addNamedGroup(&g_rootGroup, u"A");
        a1 = addWindow(A, u"a1");
        B = addNamedGroup(A, u"B");
        b1 = addWindow(B, u"b1");
        C = addNamedGroup(B, u"C");
        c1 = addWindow(C, u"c1");
        D = addNamedGroup(&g_rootGroup, u"D");
        for (PLRGroup *group : {A, B, C, D}) group->expanded = 0;
    }

    void openAndForget() {
        openDialog();
        faketree::clearMessages(kDialog);
        clearCapturedLogLines();
    }

    // Every marker update sent, as (item, state image) pairs.
    std::vector<std::pair<HTREEITEM, int>> markerUpdates() {
        std::vector<std::pair<HTREEITEM, int>> out;
        for (const faketree::Message &m : messagesOf(TVM_SETITEMW)) {
            EXPECT_EQ(0u, m.wParam);
            EXPECT_EQ(static_cast<UINT>(TVIF_STATE), m.mask);
            EXPECT_EQ(static_cast<UINT>(TVIS_STATEIMAGEMASK), m.stateMask);
            out.push_back(std::make_pair(m.item, static_cast<int>(m.state >> 12)));
        }
        return out;
    }

    std::vector<HTREEITEM> expandedItems() {
        std::vector<HTREEITEM> out;
        for (const faketree::Message &m : messagesOf(TVM_EXPAND)) {
            EXPECT_EQ(static_cast<WPARAM>(TVE_EXPAND), m.wParam);
            out.push_back(m.item);
        }
        return out;
    }

    PLRWindow *r1 = nullptr, *a1 = nullptr, *b1 = nullptr, *c1 = nullptr;
    PLRGroup *A = nullptr, *B = nullptr, *C = nullptr, *D = nullptr;
};

TEST_F(SelectionTest, WithoutADialogOnlyTheModelChanges) {
    c1->select(true);
    EXPECT_EQ(1, c1->selected);
    for (PLRGroup *group : {&g_rootGroup, A, B, C}) EXPECT_EQ(1, group->expanded);
    EXPECT_EQ(0, D->expanded);
    D->select(true);
    EXPECT_EQ(1, D->selected);
    EXPECT_EQ(0, g_rootGroup.selected);
    c1->select(false);
    EXPECT_EQ(0, c1->selected);

    EXPECT_TRUE(faketree::messages(kDialog).empty());
    EXPECT_EQ(0, faketree::messagesWithoutTree());
    EXPECT_TRUE(logLines().empty());
}

TEST_F(SelectionTest, SelectingADeepWindowOpensItsPathInnermostFirst) {
    openAndForget();
    c1->select(true);

    EXPECT_EQ((std::vector<HTREEITEM>{C->hti, B->hti, A->hti, g_rootGroup.hti}), expandedItems());
    for (PLRGroup *group : {&g_rootGroup, A, B, C}) {
        EXPECT_EQ(1, group->expanded);
        EXPECT_TRUE(faketree::isExpanded(kDialog, group->hti));
    }
    EXPECT_FALSE(faketree::isExpanded(kDialog, D->hti));
    EXPECT_EQ((std::vector<std::pair<HTREEITEM, int>>{{c1->hti, STATE_IMAGE_SELECTED_WINDOW}}), markerUpdates());
    EXPECT_EQ(STATE_IMAGE_SELECTED_WINDOW, marker(c1->hti));

    // The expansions happen before the marker update.
    const std::vector<faketree::Message> all = faketree::messages(kDialog);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(static_cast<UINT>(TVM_SETITEMW), all.back().message);
    EXPECT_TRUE(logLines().empty());
}

TEST_F(SelectionTest, DeselectingLeavesThePathOpen) {
    openAndForget();
    c1->select(true);
    faketree::clearMessages(kDialog);
    c1->select(false);
    EXPECT_EQ(0, c1->selected);
    EXPECT_TRUE(expandedItems().empty());
    EXPECT_EQ((std::vector<std::pair<HTREEITEM, int>>{{c1->hti, 0}}), markerUpdates());
    EXPECT_EQ(0, marker(c1->hti));
    for (PLRGroup *group : {&g_rootGroup, A, B, C}) {
        EXPECT_EQ(1, group->expanded);
        EXPECT_TRUE(faketree::isExpanded(kDialog, group->hti));
    }
}

TEST_F(SelectionTest, MarkerUpdateChangesOnlyTheStateImage) {
    openAndForget();
    sendTreeMessage(kDialog, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(a1->hti));
    const faketree::ItemView before = faketree::item(kDialog, a1->hti);
    a1->select(true);
    const faketree::ItemView after = faketree::item(kDialog, a1->hti);
    EXPECT_EQ(before.text, after.text);
    EXPECT_EQ(before.image, after.image);
    EXPECT_EQ(before.selectedImage, after.selectedImage);
    EXPECT_EQ(before.state & ~TVIS_STATEIMAGEMASK, after.state & ~TVIS_STATEIMAGEMASK);
    EXPECT_EQ(static_cast<UINT>(INDEXTOSTATEIMAGEMASK(1)), after.state & TVIS_STATEIMAGEMASK);
    EXPECT_EQ(a1->hti, faketree::caret(kDialog));
}

TEST_F(SelectionTest, WindowWithoutItemStillChangesTheModelAndOpensThePath) {
    openAndForget();
    PLRWindow *late = addWindow(C, u"late");  // came after the tree was filled
    late->select(true);
    EXPECT_EQ(1, late->selected);
    EXPECT_EQ((std::vector<HTREEITEM>{C->hti, B->hti, A->hti, g_rootGroup.hti}), expandedItems());
    EXPECT_TRUE(markerUpdates().empty());
    EXPECT_EQ((std::vector<std::u16string>{u"PLRWindow::select: hti was NULL.  Not sending message."}), logLines());
}

TEST_F(SelectionTest, GroupWithoutItemOnThePathIsLoggedAndSkipped) {
    openAndForget();
    B->hti = nullptr;
    c1->select(true);
    EXPECT_EQ((std::vector<HTREEITEM>{C->hti, A->hti, g_rootGroup.hti}), expandedItems());
    EXPECT_EQ(1, B->expanded);
    EXPECT_EQ((std::vector<std::u16string>{u"PLRGroup::expand: hti was NULL.  Not sending message."}), logLines());
}

TEST_F(SelectionTest, SelectingAGroupMovesTheStar) {
    openAndForget();
    B->select(true);
    EXPECT_EQ(0, g_rootGroup.selected);
    EXPECT_EQ(1, B->selected);
    EXPECT_EQ((std::vector<std::pair<HTREEITEM, int>>{{g_rootGroup.hti, 0}, {B->hti, STATE_IMAGE_SELECTED_GROUP}}),
              markerUpdates());
    for (PLRGroup *group : {&g_rootGroup, A, B, C, D})
        EXPECT_EQ(group == B ? STATE_IMAGE_SELECTED_GROUP : 0, marker(group->hti));
    // Selecting a group opens nothing and leaves the window selection.
    EXPECT_TRUE(expandedItems().empty());
    EXPECT_EQ(nullptr, g_rootGroup.getSelectedWindow());
    expectInvariants();
}

TEST_F(SelectionTest, ReselectingTheSelectedGroupSendsTwoMarkerUpdates) {
    openAndForget();
    g_rootGroup.select(true);
    EXPECT_EQ(1, g_rootGroup.selected);
    EXPECT_EQ((std::vector<std::pair<HTREEITEM, int>>{{g_rootGroup.hti, 0},
                                                      {g_rootGroup.hti, STATE_IMAGE_SELECTED_GROUP}}),
              markerUpdates());
    EXPECT_EQ(STATE_IMAGE_SELECTED_GROUP, marker(g_rootGroup.hti));
}

TEST_F(SelectionTest, GroupWithoutItemIsLoggedAndStillSelected) {
    openAndForget();
    D->hti = nullptr;
    D->select(true);
    EXPECT_EQ(1, D->selected);
    EXPECT_EQ(0, g_rootGroup.selected);
    EXPECT_EQ(0, marker(g_rootGroup.hti));
    EXPECT_EQ((std::vector<std::u16string>{u"PLRGroup::select: hti was NULL.  Not sending message."}), logLines());
}

TEST_F(SelectionTest, TwoSelectsWithoutClearingLeaveTwoArrows) {
    openAndForget();
    r1->select(true);
    b1->select(true);
    EXPECT_EQ(1, r1->selected);
    EXPECT_EQ(1, b1->selected);
    EXPECT_EQ(STATE_IMAGE_SELECTED_WINDOW, marker(r1->hti));
    EXPECT_EQ(STATE_IMAGE_SELECTED_WINDOW, marker(b1->hti));
}

TEST_F(SelectionTest, ExpandForAWindowOutsideTheTreeChangesNothing) {
    openAndForget();
    PLRWindow stray;
    EXPECT_FALSE(g_rootGroup.expand(&stray));
    EXPECT_FALSE(A->expand(r1));  // in the tree, but not in A's subtree
    for (PLRGroup *group : {A, B, C, D}) EXPECT_EQ(0, group->expanded);
    EXPECT_TRUE(faketree::messages(kDialog).empty());
    EXPECT_TRUE(B->expand(c1));
    EXPECT_EQ((std::vector<HTREEITEM>{C->hti, B->hti}), expandedItems());
    EXPECT_EQ(0, A->expanded);
}

TEST_F(SelectionTest, SelectWindowByHwndSearchesTheSubtreeOnly) {
    openAndForget();
    r1->select(true);
    EXPECT_FALSE(A->selectWindowByHwnd(r1->hwnd));
    EXPECT_FALSE(g_rootGroup.selectWindowByHwnd(handle(0xDEAD0)));
    EXPECT_TRUE(A->selectWindowByHwnd(c1->hwnd));
    EXPECT_EQ(1, c1->selected);
    EXPECT_EQ(1, r1->selected);  // clearing the old selection is the caller's duty
    EXPECT_EQ(STATE_IMAGE_SELECTED_WINDOW, marker(c1->hti));
    EXPECT_EQ(1, C->expanded);
}

TEST_F(SelectionTest, DeselectSelectedWindowClearsTheFirstInTreeOrderWithinTheSubtree) {
    openAndForget();
    r1->selected = 1;
    b1->selected = 1;
    c1->selected = 1;
    EXPECT_TRUE(C->deselectSelectedWindow());
    EXPECT_EQ(0, c1->selected);
    EXPECT_EQ(1, b1->selected);
    EXPECT_TRUE(A->deselectSelectedWindow());
    EXPECT_EQ(0, b1->selected);
    EXPECT_EQ(1, r1->selected);
    EXPECT_FALSE(A->deselectSelectedWindow());
    EXPECT_TRUE(g_rootGroup.deselectSelectedWindow());
    EXPECT_EQ(0, r1->selected);
    EXPECT_FALSE(g_rootGroup.deselectSelectedWindow());
    EXPECT_EQ((std::vector<std::pair<HTREEITEM, int>>{{c1->hti, 0}, {b1->hti, 0}, {r1->hti, 0}}), markerUpdates());
}

TEST_F(SelectionTest, DeselectSelectedGroupFindsTheGroupInTheSubtree) {
    openAndForget();
    C->select(true);
    faketree::clearMessages(kDialog);
    EXPECT_FALSE(D->deselectSelectedGroup());
    EXPECT_EQ(1, C->selected);
    EXPECT_TRUE(A->deselectSelectedGroup());
    EXPECT_EQ(0, C->selected);
    EXPECT_EQ((std::vector<std::pair<HTREEITEM, int>>{{C->hti, 0}}), markerUpdates());
    EXPECT_FALSE(g_rootGroup.deselectSelectedGroup());
}

}  // namespace
