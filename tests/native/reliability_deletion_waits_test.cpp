// What the dialog's hand-offs may do while a group deletion waits on the
// applications it asks to close. The main thread takes sent messages during
// each close request, so a click, an expansion record or a drop can arrive in
// the middle of the deletion; none of them may leave the model without a
// selected group, with two selected windows, or with a record in the tree
// that the deletion is about to free.
//
// The tree of every test:
//   Root Group
//     r1  r2
//     A   a1
//       B b1
//     C   c1
// Every record stands for a live window of a process of its own; b1's
// application answers WM_CLOSE with a modal question, so the request for it
// waits out its two seconds and the hand-offs of a test run right there.
#include <gtest/gtest.h>

#include <functional>

#include "editing/dragdrop.h"
#include "editing/groups.h"
#include "editing/mouse.h"
#include "model_fixture.h"
#include "platform/desktop.h"
#include "platform/fake/fake_imagelist.h"
#include "platform/fake/fake_tree.h"
#include "switcher/population.h"

namespace {

const HWND kDialog = reinterpret_cast<HWND>(std::uintptr_t{0xD1B100});

class DeletionWaitsTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        faketree::reset();
        fakeimg::reset();
        r1 = addLive(&g_rootGroup, u"r1");
        r2 = addLive(&g_rootGroup, u"r2");
        a = addGroup(&g_rootGroup);
        a1 = addLive(a, u"a1");
        b = addGroup(a);
        b1 = addLive(b, u"b1");
        c = addGroup(&g_rootGroup);
        c1 = addLive(c, u"c1");
        fakeDesktop().window(b1->hwnd)->onClose = FakeCloseBehaviour::AsksModalQuestion;
        r1->selected = 1;

        faketree::createTree(kDialog);
        g_hwndSwitcherDialog = kDialog;
        populateTreeView(kDialog);
        clearCapturedLogLines();
    }

    void TearDown() override {
        fakeDesktop().duringSendWait = nullptr;
        EXPECT_EQ(faketree::invalidHandleUses(kDialog), 0) << faketree::dump(kDialog);
        releaseTreeImageLists(kDialog);
        faketree::reset();
        fakeimg::reset();
        ModelTest::TearDown();
    }

    static PLRWindow *addLive(PLRGroup *group, const std::u16string &caption) {
        return addRecord(group, fakeDesktop().addAppWindow(caption), caption);
    }

    // Runs `handOff` once, inside the first close request that waits.
    void duringTheCloseRequest(std::function<void()> handOff) {
        fakeDesktop().duringSendWait = [this, handOff](HWND, UINT message) {
            if (message != WM_CLOSE || ran_) return;
            ran_ = true;
            handOff();
        };
    }

    // The user right-clicks `item` (the control drop-highlights it while it
    // reports the click).
    static void rightClick(HTREEITEM item) {
        sendTreeMessage(kDialog, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(item));
        mouseRightClick(kDialog);
    }

    static int selectedGroups(const PLRGroup *group) {
        int count = group->selected != 0 ? 1 : 0;
        for (const PLRGroup *sub : group->subgroups) count += selectedGroups(sub);
        return count;
    }

    PLRWindow *r1 = nullptr, *r2 = nullptr, *a1 = nullptr, *b1 = nullptr, *c1 = nullptr;
    PLRGroup *a = nullptr, *b = nullptr, *c = nullptr;
    bool ran_ = false;
};

// Emptying the root: the records are all in place while their applications
// are asked to close. A right click on a group used to move the group
// selection off the root onto a group that the emptying then freed, leaving
// the tree without a selected group.
TEST_F(DeletionWaitsTest, ClicksDuringTheEmptyingOfTheRootLeaveTheRootSelected) {
    const HTREEITEM groupC = c->hti;
    const HTREEITEM windowA1 = a1->hti;
    duringTheCloseRequest([&] {
        rightClick(groupC);
        EXPECT_EQ(g_rootGroup.getSelectedGroup(), &g_rootGroup) << "a click moved the selection during the deletion";
        sendTreeMessage(kDialog, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(windowA1));
        mouseDoubleClick(kDialog);
        EXPECT_EQ(g_rootGroup.getSelectedWindow(), r1);
        expectInvariants();
    });

    deleteGroup();

    EXPECT_TRUE(ran_);
    EXPECT_EQ(selectedGroups(&g_rootGroup), 1);
    EXPECT_EQ(g_rootGroup.selected, 1);
    EXPECT_TRUE(g_rootGroup.subgroups.empty() && g_rootGroup.windows.empty());
    EXPECT_EQ(faketree::itemCount(kDialog), 0);
    expectInvariants();

    // After the deletion the same clicks work again (on a tree filled anew).
    PLRGroup *d = addGroup(&g_rootGroup);
    PLRWindow *d1 = addLive(d, u"d1");
    PLRWindow *r3 = addLive(&g_rootGroup, u"r3");
    r3->selected = 1;
    releaseTreeImageLists(kDialog);
    faketree::createTree(kDialog);
    populateTreeView(kDialog);
    rightClick(d->hti);
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), d);
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), d1);
    expectInvariants();
}

// Deleting a subgroup: the group has left the tree before the closing
// starts. A click during the wait finds no selected window in the tree and
// changes nothing; the deletion then selects the parent's first window, and
// exactly one window is selected.
TEST_F(DeletionWaitsTest, ClicksDuringTheDeletionOfASubgroupLeaveOneSelectedWindow) {
    r1->select(false);
    b->select(true);
    b1->select(true);
    const HTREEITEM groupC = c->hti;
    const HTREEITEM windowR2 = r2->hti;
    duringTheCloseRequest([&] {
        rightClick(groupC);
        rightClick(windowR2);
        sendTreeMessage(kDialog, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(windowR2));
        mouseDoubleClick(kDialog);
        expectInvariants();
    });

    deleteGroup();

    EXPECT_TRUE(ran_);
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), a);
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), a1);
    EXPECT_EQ(r2->selected, 0);
    EXPECT_EQ(c->selected, 0);
    expectInvariants();
}

// Records only the user's own expansion: it changes a flag, no list, and so
// still runs during a deletion. A drop does not: the records stay where the
// deletion expects them.
TEST_F(DeletionWaitsTest, AnExpansionRecordRunsAndADropIsIgnoredDuringTheEmptying) {
    const HTREEITEM groupA = a->hti;
    const HTREEITEM windowR2 = r2->hti;
    duringTheCloseRequest([&] {
        ASSERT_TRUE(sendTreeMessage(kDialog, TVM_EXPAND, TVE_COLLAPSE, reinterpret_cast<LPARAM>(groupA)));
        mouseItemExpanded(kDialog, groupA, TVE_COLLAPSE);
        EXPECT_EQ(a->expanded, 0);
        ASSERT_TRUE(dragSourceIsWindowItem(windowR2));
        dropOnTarget(kDialog, c->hti);
        EXPECT_EQ(c->windows.size(), 1u);
        EXPECT_EQ(g_rootGroup.windows.size(), 2u);
    });

    deleteGroup();

    EXPECT_TRUE(ran_);
    EXPECT_TRUE(g_rootGroup.windows.empty());
    EXPECT_EQ(faketree::itemCount(kDialog), 0);
    expectInvariants();
}

}  // namespace
