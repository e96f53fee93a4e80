// The switcher dialog's mouse handlers on the model, against the fake tree
// control: double and right clicks that move the window and group
// selections and their markers, expansion records, and the failure lines.
//
// The tree of every test, as the dialog shows it:
//   Root Group (selected)
//     r1 (selected)  r2
//     A              (no windows of its own)
//       B            b1  b2
//     C              (empty)
#include <gtest/gtest.h>

#include <string>

#include "editing/mouse.h"
#include "model_fixture.h"
#include "platform/desktop.h"
#include "platform/fake/fake_imagelist.h"
#include "platform/fake/fake_tree.h"
#include "switcher/population.h"

namespace {

class EditingMouseTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        faketree::reset();
        fakeimg::reset();
        r1 = addRecord(&g_rootGroup, handle(0x1010), u"r1");
        r2 = addRecord(&g_rootGroup, handle(0x1020), u"r2");
        a = addGroup(&g_rootGroup);
        b = addGroup(a);
        b1 = addRecord(b, handle(0x1030), u"b1");
        b2 = addRecord(b, handle(0x1040), u"b2");
        c = addGroup(&g_rootGroup);
        r1->selected = 1;

        faketree::createTree(dialog);
        g_hwndSwitcherDialog = dialog;
        populateTreeView(dialog);
        faketree::clearMessages(dialog);
        clearCapturedLogLines();
    }
    void TearDown() override {
        EXPECT_EQ(faketree::invalidHandleUses(dialog), 0) << faketree::dump(dialog);
        faketree::reset();
        fakeimg::reset();
        ModelTest::TearDown();
    }

    // What the user's click leaves in the control before it reports it.
    void setCaret(HTREEITEM target) {
        sendTreeMessage(dialog, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(target));
    }
    void setDropHighlight(HTREEITEM target) {
        sendTreeMessage(dialog, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(target));
    }
    void doubleClickOn(HTREEITEM target) {
        setCaret(target);
        faketree::clearMessages(dialog);
        mouseDoubleClick(dialog);
    }
    // Wine's control reports a right click without a drop highlight; the
    // caret then names the item.
    void rightClickOnCaret(HTREEITEM target) {
        setCaret(target);
        faketree::clearMessages(dialog);
        mouseRightClick(dialog);
    }

    int marker(HTREEITEM target) { return faketree::stateImage(dialog, target); }

    // Exactly the given window and group carry flags and markers.
    void expectSelection(PLRWindow *window, PLRGroup *group) {
        EXPECT_EQ(g_rootGroup.getSelectedWindow(), window);
        EXPECT_EQ(g_rootGroup.getSelectedGroup(), group);
        for (PLRWindow *each : {r1, r2, b1, b2})
            EXPECT_EQ(marker(each->hti), each == window ? STATE_IMAGE_SELECTED_WINDOW : 0)
                << faketree::dump(dialog);
        for (PLRGroup *each : {&g_rootGroup, a, b, c})
            EXPECT_EQ(marker(each->hti), each == group ? STATE_IMAGE_SELECTED_GROUP : 0) << faketree::dump(dialog);
        expectInvariants();
    }

    // Moves the model's selection without the dialog (as a hotkey would have).
    void selectModel(PLRWindow *window, PLRGroup *group) {
        const HWND open = g_hwndSwitcherDialog;
        if (PLRWindow *old = g_rootGroup.getSelectedWindow()) old->select(false);
        if (window != nullptr) window->select(true);
        group->select(true);
        g_hwndSwitcherDialog = open;
        clearCapturedLogLines();
        faketree::clearMessages(dialog);
    }

    // A tree item the model knows nothing of.
    HTREEITEM strayItem() {
        plr_char label[] = PLR_T("stray");
        TVINSERTSTRUCTW insert = {};
        insert.hParent = nullptr;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT;
        insert.item.pszText = label;
        return reinterpret_cast<HTREEITEM>(
            sendTreeMessage(dialog, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    }

    std::vector<std::u16string> lines() { return capturedLogLines(); }

    const HWND dialog = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0xD1A0));
    PLRWindow *r1 = nullptr, *r2 = nullptr, *b1 = nullptr, *b2 = nullptr;
    PLRGroup *a = nullptr, *b = nullptr, *c = nullptr;
};

// ---------------------------------------------------------------- double click

TEST_F(EditingMouseTest, DoubleClickSelectsWindowInsideSelectedGroupAndKeepsTheGroup) {
    expectSelection(r1, &g_rootGroup);
    doubleClickOn(b2->hti);
    expectSelection(b2, &g_rootGroup);
    EXPECT_TRUE(lines().empty());

    // A window in a subgroup of a selected subgroup: the group stays too.
    selectModel(b1, a);
    doubleClickOn(b2->hti);
    expectSelection(b2, a);
}

TEST_F(EditingMouseTest, DoubleClickOutsideSelectedGroupMovesTheStarToTheWindowsOwnGroup) {
    selectModel(b1, b);
    doubleClickOn(r2->hti);
    expectSelection(r2, &g_rootGroup);

    // Into a collapsed group: the path is opened in model and tree.
    sendTreeMessage(dialog, TVM_EXPAND, TVE_COLLAPSE, reinterpret_cast<LPARAM>(b->hti));
    b->expanded = 0;
    setCaret(b1->hti);
    faketree::clearMessages(dialog);
    selectModel(r2, a);
    mouseDoubleClick(dialog);
    expectSelection(b1, a);  // B lies inside the selected A
    EXPECT_EQ(b->expanded, 1);
    EXPECT_TRUE(faketree::isExpanded(dialog, b->hti));
}

TEST_F(EditingMouseTest, DoubleClickChangesNothingOnSelectedWindowGroupItemOrWithoutCaret) {
    doubleClickOn(r1->hti);
    expectSelection(r1, &g_rootGroup);

    a->expanded = 1;
    doubleClickOn(a->hti);
    expectSelection(r1, &g_rootGroup);
    EXPECT_EQ(a->expanded, 1);

    setCaret(nullptr);
    ASSERT_EQ(faketree::caret(dialog), nullptr);
    mouseDoubleClick(dialog);
    expectSelection(r1, &g_rootGroup);
    EXPECT_TRUE(lines().empty());
}

TEST_F(EditingMouseTest, DoubleClickFailuresAreLoggedAndStop) {
    doubleClickOn(strayItem());
    expectSelection(r1, &g_rootGroup);
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_EQ(lines()[0],
              u"DialogProc2: could not find selected window while processing double click message - aborting.");

    // No window selected (the selected group is empty): the click selects
    // its window, and the window's group becomes the selected group.
    clearCapturedLogLines();
    selectModel(nullptr, c);
    doubleClickOn(r2->hti);
    expectSelection(r2, &g_rootGroup);
    EXPECT_TRUE(lines().empty());

    // No group selected: the window selection has moved, then it stops.
    selectModel(r1, &g_rootGroup);
    g_rootGroup.selected = 0;
    doubleClickOn(b1->hti);
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), b1);
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), nullptr);
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_EQ(lines()[0],
              u"DialogProc2: could not find selected group while processing double click message - aborting.");
}

TEST_F(EditingMouseTest, WindowNotHeldByAnyGroupLogsTheMissingGroupForEitherClick) {
    // A record outside the tree (its group went away meanwhile).
    PLRWindow loose;
    loose.hwnd = handle(0x9990);
    loose.hti = strayItem();
    makeSelectedWindow(&loose, loose.hti, MouseClick::Double);
    EXPECT_EQ(lines().back(), u"DialogProc2: could not find selected window's group while processing double click "
                              u"message - aborting.");
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), &g_rootGroup);
    loose.selected = 0;

    r1->select(true);
    makeSelectedWindow(&loose, loose.hti, MouseClick::Right);
    EXPECT_EQ(lines().back(), u"DialogProc2: could not find selected window's group while processing right click "
                              u"message - aborting.");
    loose.selected = 0;
}

// ---------------------------------------------------------------- right click

TEST_F(EditingMouseTest, RightClickOnDropHighlightedWindowMakesItCurrentAndSelected) {
    // comctl32 drop-highlights the item under the pointer while it reports.
    setCaret(r1->hti);
    setDropHighlight(b1->hti);
    faketree::clearMessages(dialog);
    mouseRightClick(dialog);
    expectSelection(b1, &g_rootGroup);
    EXPECT_EQ(faketree::caret(dialog), b1->hti);
    EXPECT_EQ(faketree::dropHighlight(dialog), b1->hti);
}

TEST_F(EditingMouseTest, RightClickWithoutDropHighlightUsesTheCaret) {
    selectModel(b1, b);
    rightClickOnCaret(r2->hti);
    expectSelection(r2, &g_rootGroup);
    EXPECT_EQ(faketree::caret(dialog), r2->hti);

    // The selected window: nothing happens.
    rightClickOnCaret(r2->hti);
    expectSelection(r2, &g_rootGroup);

    setCaret(nullptr);
    mouseRightClick(dialog);
    expectSelection(r2, &g_rootGroup);
    EXPECT_TRUE(lines().empty());
}

TEST_F(EditingMouseTest, RightClickOnGroups) {
    // The selected group: nothing.
    rightClickOnCaret(g_rootGroup.hti);
    expectSelection(r1, &g_rootGroup);

    // A group whose subtree holds the selected window: only the star moves.
    selectModel(b2, &g_rootGroup);
    rightClickOnCaret(a->hti);
    expectSelection(b2, a);

    // A group outside: the first window of its subtree, depth first, takes
    // the arrow (A has no own windows; B's first is b1).
    selectModel(r2, &g_rootGroup);
    rightClickOnCaret(a->hti);
    expectSelection(b1, a);

    // An empty group: no window stays selected.
    rightClickOnCaret(c->hti);
    expectSelection(nullptr, c);
    EXPECT_TRUE(lines().empty());
}

TEST_F(EditingMouseTest, RightClickFailuresAreLogged) {
    rightClickOnCaret(strayItem());
    expectSelection(r1, &g_rootGroup);
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_EQ(lines()[0], u"DialogProc2: could not find selected window or group while processing right click "
                          u"message - aborting.");

    // No window selected (the selected group is empty): a right click on a
    // group selects it and its first window, one on a window selects it.
    clearCapturedLogLines();
    selectModel(nullptr, c);
    rightClickOnCaret(a->hti);
    expectSelection(b1, a);
    selectModel(nullptr, c);
    rightClickOnCaret(r2->hti);
    expectSelection(r2, &g_rootGroup);
    EXPECT_TRUE(lines().empty());

    selectModel(r1, &g_rootGroup);
    g_rootGroup.selected = 0;
    rightClickOnCaret(r2->hti);
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), r2);
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_EQ(lines()[0],
              u"DialogProc2: could not find selected group while processing right click message - aborting.");
}

// A selected window whose item could not be inserted (null hti) is still
// recognised as lying outside the clicked group, even when that group holds
// another record without an item.
TEST_F(EditingMouseTest, RightClickOnGroupComparesRecordsNotNullItemHandles) {
    PLRWindow *c1 = addRecord(c, handle(0x1050), u"c1");  // never got an item
    r1->hti = nullptr;
    rightClickOnCaret(c->hti);
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), c);
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), c1);
    EXPECT_EQ(r1->selected, 0);
    expectInvariants();
}

// ---------------------------------------------------------------- expansion

TEST_F(EditingMouseTest, ExpansionIsRecordedPerGroup) {
    mouseItemExpanded(dialog, a->hti, TVE_COLLAPSE);
    EXPECT_EQ(a->expanded, 0);
    EXPECT_EQ(b->expanded, 1);
    mouseItemExpanded(dialog, a->hti, TVE_EXPAND);
    EXPECT_EQ(a->expanded, 1);
    mouseItemExpanded(dialog, g_rootGroup.hti, TVE_COLLAPSE);
    EXPECT_EQ(g_rootGroup.expanded, 0);
    EXPECT_TRUE(lines().empty());

    mouseItemExpanded(dialog, a->hti, TVE_TOGGLE);
    EXPECT_EQ(a->expanded, 1);
    mouseItemExpanded(dialog, b->hti, 0);
    EXPECT_EQ(b->expanded, 1);
    EXPECT_EQ(lines(), (std::vector<std::u16string>{u"DialogProc2: invalid action.", u"DialogProc2: invalid action."}));

    clearCapturedLogLines();
    mouseItemExpanded(dialog, r1->hti, TVE_COLLAPSE);
    EXPECT_EQ(lines(), std::vector<std::u16string>{u"DialogProc2: could not find expanded or collapsed group."});
    expectSelection(r1, &g_rootGroup);
}

// ---------------------------------------------------------------- late clicks

// A click handed over while the switch ended (or for another dialog) belongs
// to a tree that is gone: the model and the control stay untouched, even for
// the root, whose item handle is not cleared between switches.
TEST_F(EditingMouseTest, ClicksForADialogThatIsNoLongerOpenChangeNothing) {
    setCaret(r2->hti);
    setDropHighlight(g_rootGroup.hti);
    g_hwndSwitcherDialog = nullptr;
    g_rootGroup.clearHtis();
    faketree::clearMessages(dialog);
    selectModel(r1, a);

    mouseDoubleClick(dialog);
    mouseRightClick(dialog);
    mouseItemExpanded(dialog, g_rootGroup.hti, TVE_COLLAPSE);
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), r1);
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), a);
    EXPECT_EQ(g_rootGroup.expanded, 1);
    EXPECT_TRUE(faketree::messages(dialog).empty());
    EXPECT_TRUE(lines().empty());

    const HWND otherDialog = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0xD2B0));
    g_hwndSwitcherDialog = otherDialog;
    mouseRightClick(dialog);
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), a);
    EXPECT_TRUE(faketree::messages(dialog).empty());
}

}  // namespace
