// Drag and drop on the model against the fake tree control: which items are
// dragged and drop-highlighted, where a dropped window and its item go, the
// selection afterwards, the tree's caret and drop highlight, and the drops
// that must be ignored.
//
// The tree of every test, as the dialog shows it:
//   Root Group (selected)
//     r1 (selected)  r2
//     A              a1
//       B            b1  b2
//     C              (empty)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editing/dragdrop.h"
#include "editing/dragtrack.h"
#include "editing/groups.h"
#include "model_fixture.h"
#include "platform/desktop.h"
#include "platform/fake/fake_imagelist.h"
#include "platform/fake/fake_tree.h"
#include "switcher/population.h"

namespace {

class DragDropTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        faketree::reset();
        fakeimg::reset();
        g_htiDragSource = nullptr;
        r1 = addRecord(&g_rootGroup, fakeDesktop().addAppWindow(u"r1"), u"r1");
        r2 = addRecord(&g_rootGroup, fakeDesktop().addAppWindow(u"r2"), u"r2");
        a = addGroup(&g_rootGroup);
        a1 = addRecord(a, fakeDesktop().addAppWindow(u"a1"), u"a1");
        b = addGroup(a);
        b1 = addRecord(b, fakeDesktop().addAppWindow(u"b1"), u"b1");
        b2 = addRecord(b, fakeDesktop().addAppWindow(u"b2"), u"b2");
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
        g_htiDragSource = nullptr;
        faketree::reset();
        fakeimg::reset();
        ModelTest::TearDown();
    }

    // What the dialog's handlers do for a drag from `source` that passes
    // over `over` (when it is a group item) and is released there.
    void drag(HTREEITEM source, HTREEITEM over) {
        ASSERT_TRUE(dragSourceIsWindowItem(source));
        HTREEITEM tracked = nullptr;
        if (over != nullptr && isGroupItem(over)) {
            sendTreeMessage(dialog, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(over));
            tracked = over;
        }
        faketree::clearMessages(dialog);
        dropOnTarget(dialog, tracked);
    }

    void selectModel(PLRWindow *window, PLRGroup *group) {
        if (PLRWindow *old = g_rootGroup.getSelectedWindow()) old->select(false);
        if (window != nullptr) window->select(true);
        group->select(true);
        clearCapturedLogLines();
        faketree::clearMessages(dialog);
    }

    std::vector<faketree::Message> messagesOf(UINT message) {
        std::vector<faketree::Message> found;
        for (const faketree::Message &each : faketree::messages(dialog))
            if (each.message == message) found.push_back(each);
        return found;
    }

    // After every drop: the target (or nothing) is the current item and
    // nothing is drop-highlighted.
    void expectTreeAfterDrop(HTREEITEM caret) {
        EXPECT_EQ(faketree::caret(dialog), caret);
        EXPECT_EQ(faketree::dropHighlight(dialog), nullptr);
    }

    // The middle of the item's row, in the tree's client coordinates.
    POINT middleOf(HTREEITEM item) {
        RECT row = {};
        *reinterpret_cast<HTREEITEM *>(&row) = item;
        EXPECT_TRUE(sendTreeMessage(dialog, TVM_GETITEMRECT, FALSE, reinterpret_cast<LPARAM>(&row)));
        return POINT{(row.left + row.right) / 2, (row.top + row.bottom) / 2};
    }

    // The switcher thread's side of a drop that the main thread runs, or
    // refuses while a command of its own is running.
    static bool dropRuns(HWND dialog, HTREEITEM target) {
        dropOnTarget(dialog, target);
        return true;
    }
    static bool dropRefused(HWND, HTREEITEM) { return false; }

    const HWND dialog = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0xD1A0));
    PLRWindow *r1 = nullptr, *r2 = nullptr, *a1 = nullptr, *b1 = nullptr, *b2 = nullptr;
    PLRGroup *a = nullptr, *b = nullptr, *c = nullptr;
};

// ------------------------------------------------------------- drag sources

TEST_F(DragDropTest, OnlyWindowItemsAreDraggedButEverySourceIsRecorded) {
    EXPECT_TRUE(dragSourceIsWindowItem(r2->hti));
    EXPECT_EQ(g_htiDragSource, r2->hti);
    EXPECT_FALSE(dragSourceIsWindowItem(a->hti));
    EXPECT_EQ(g_htiDragSource, a->hti);
    EXPECT_FALSE(dragSourceIsWindowItem(g_rootGroup.hti));

    EXPECT_TRUE(isGroupItem(c->hti));
    EXPECT_TRUE(isGroupItem(g_rootGroup.hti));
    EXPECT_FALSE(isGroupItem(b1->hti));
}

TEST_F(DragDropTest, ANullItemIsNeitherAWindowNorAGroupEvenWhenRecordsLackItems) {
    r2->hti = nullptr;
    c->hti = nullptr;
    EXPECT_FALSE(dragSourceIsWindowItem(nullptr));
    EXPECT_FALSE(isGroupItem(nullptr));
    EXPECT_FALSE(g_rootGroup.removeWindowByHti(nullptr));
    EXPECT_EQ(g_rootGroup.windows.size(), 2u);
    EXPECT_TRUE(messagesOf(TVM_DELETEITEM).empty());
}

// -------------------------------------------------------------------- drops

TEST_F(DragDropTest, ADropOnAnotherGroupPutsTheWindowFirstThereWithItsItemFirst) {
    drag(b2->hti, a->hti);

    EXPECT_EQ(b->windows, (std::list<PLRWindow *>{b1}));
    EXPECT_EQ(a->windows, (std::list<PLRWindow *>{b2, a1}));
    EXPECT_EQ(faketree::children(dialog, a->hti).front(), b2->hti);
    EXPECT_EQ(faketree::children(dialog, b->hti), (std::vector<HTREEITEM>{b1->hti}));

    const std::vector<faketree::Message> inserts = messagesOf(TVM_INSERTITEMW);
    ASSERT_EQ(inserts.size(), 1u);
    EXPECT_EQ(inserts[0].parent, a->hti);
    EXPECT_EQ(inserts[0].insertAfter, TVI_FIRST);
    EXPECT_EQ(inserts[0].mask, 0x2bu);
    EXPECT_EQ(inserts[0].text, u"b2");
    EXPECT_EQ(inserts[0].image, b2->imageIndex);
    EXPECT_EQ(inserts[0].selectedImage, b2->imageIndex);
    EXPECT_EQ(inserts[0].state, 0u);
    EXPECT_EQ(inserts[0].stateMask, 0xF000u);
    EXPECT_EQ(messagesOf(TVM_DELETEITEM).size(), 1u);

    // A window that is not selected moves without any change of selection.
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), r1);
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), &g_rootGroup);
    expectTreeAfterDrop(a->hti);
    EXPECT_TRUE(logLines().empty());
    expectInvariants();
}

TEST_F(DragDropTest, ADropOnItsOwnGroupMovesItToTheFront) {
    drag(b2->hti, b->hti);

    EXPECT_EQ(b->windows, (std::list<PLRWindow *>{b2, b1}));
    EXPECT_EQ(faketree::children(dialog, b->hti), (std::vector<HTREEITEM>{b2->hti, b1->hti}));
    expectTreeAfterDrop(b->hti);
    expectInvariants();
}

TEST_F(DragDropTest, AReleaseWithNoDropHighlightMovesNothingAndLeavesNoCurrentItem) {
    sendTreeMessage(dialog, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(b->hti));
    drag(r2->hti, nullptr);

    EXPECT_EQ(g_rootGroup.windows, (std::list<PLRWindow *>{r1, r2}));
    EXPECT_TRUE(messagesOf(TVM_INSERTITEMW).empty());
    EXPECT_TRUE(messagesOf(TVM_DELETEITEM).empty());
    expectTreeAfterDrop(nullptr);
    expectInvariants();
}

TEST_F(DragDropTest, PassingOverAWindowItemKeepsTheLastGroupAsTarget) {
    ASSERT_TRUE(dragSourceIsWindowItem(r2->hti));
    // Over C, then over a window item: only groups are highlighted.
    for (HTREEITEM over : {c->hti, b1->hti})
        if (isGroupItem(over)) sendTreeMessage(dialog, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(over));
    EXPECT_EQ(faketree::dropHighlight(dialog), c->hti);
    dropOnTarget(dialog, c->hti);

    EXPECT_EQ(c->windows, (std::list<PLRWindow *>{r2}));
    expectTreeAfterDrop(c->hti);
}

TEST_F(DragDropTest, TheSelectedWindowDroppedOutsideTheSelectedGroupMakesTheTargetSelected) {
    selectModel(b1, b);
    drag(b1->hti, c->hti);

    EXPECT_EQ(c->windows, (std::list<PLRWindow *>{b1}));
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), c);
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), b1);
    EXPECT_EQ(faketree::stateImage(dialog, c->hti), STATE_IMAGE_SELECTED_GROUP);
    EXPECT_EQ(faketree::stateImage(dialog, b->hti), 0);
    EXPECT_EQ(faketree::stateImage(dialog, b1->hti), STATE_IMAGE_SELECTED_WINDOW);
    EXPECT_EQ(messagesOf(TVM_INSERTITEMW).at(0).state, static_cast<UINT>(INDEXTOSTATEIMAGEMASK(1)));
    expectInvariants();
}

TEST_F(DragDropTest, TheSelectedWindowDroppedInsideTheSelectedGroupsSubtreeKeepsTheGroup) {
    drag(r1->hti, b->hti);

    EXPECT_EQ(b->windows.front(), r1);
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), &g_rootGroup);
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), r1);
    EXPECT_EQ(faketree::stateImage(dialog, g_rootGroup.hti), STATE_IMAGE_SELECTED_GROUP);
    EXPECT_EQ(faketree::stateImage(dialog, b->hti), 0);
    expectInvariants();
}

TEST_F(DragDropTest, TheSelectedWindowDroppedWithNoSelectedGroupIsMovedAndLogged) {
    g_rootGroup.selected = 0;
    drag(r1->hti, c->hti);
    EXPECT_EQ(c->windows, (std::list<PLRWindow *>{r1}));
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), nullptr);
    EXPECT_EQ(logLines(), (std::vector<std::u16string>{u"itemDropped: could not find selected group."}));
}

TEST_F(DragDropTest, ACollapsedTargetIsNotExpandedByTheDrop) {
    c->expanded = 0;
    g_rootGroup.clearHtis();
    faketree::createTree(dialog);
    populateTreeView(dialog);
    drag(r2->hti, c->hti);
    EXPECT_EQ(c->windows, (std::list<PLRWindow *>{r2}));
    EXPECT_TRUE(messagesOf(TVM_EXPAND).empty());
    EXPECT_EQ(c->expanded, 0);
}

// ---------------------------------------------------- following the pointer

// The pointer comes in the dialog's client coordinates, and the tree sits
// inside the dialog's margin, by how much depends on the DPI and the dialog
// font: the group highlighted and dropped onto is the one under the
// pointer, wherever the tree sits.
TEST_F(DragDropTest, TheGroupUnderThePointerIsTheTargetWhereverTheTreeSits) {
    ASSERT_TRUE(dragSourceIsWindowItem(r2->hti));
    for (const POINT placement : {POINT{11, 11}, POINT{16, 17}, POINT{0, 0}}) {
        faketree::setPlacement(dialog, placement.x, placement.y);
        DragTrack track = {dialog, faketree::treeWindow(dialog), nullptr};
        for (HTREEITEM over : {b->hti, g_rootGroup.hti, a->hti, c->hti, b1->hti}) {
            const POINT inTree = middleOf(over);
            const POINT pointer = dragPointInTree(track, POINT{inTree.x + placement.x, inTree.y + placement.y});
            EXPECT_EQ(inTree.x, pointer.x);
            EXPECT_EQ(inTree.y, pointer.y);
            dragTrackPointer(&track, pointer, isGroupItem);
        }
        // Over the window item b1 last: the last group passed stays the target.
        EXPECT_EQ(track.target, c->hti);
        EXPECT_EQ(faketree::dropHighlight(dialog), c->hti);
    }
}

// A drop the main thread refuses (a command of its own is running) moves
// nothing and leaves no drop highlight behind, as a completed drop does:
// the next drag, released over empty space, must not land in that group.
TEST_F(DragDropTest, ARefusedDropLeavesNoHighlightForTheNextRelease) {
    DragTrack track = {dialog, faketree::treeWindow(dialog), nullptr};
    ASSERT_TRUE(dragSourceIsWindowItem(r2->hti));
    dragTrackPointer(&track, middleOf(c->hti), isGroupItem);
    ASSERT_EQ(faketree::dropHighlight(dialog), c->hti);
    dragTrackRelease(&track, dropRefused);
    EXPECT_EQ(faketree::dropHighlight(dialog), nullptr);
    EXPECT_EQ(track.target, nullptr);
    EXPECT_TRUE(c->windows.empty());

    ASSERT_TRUE(dragSourceIsWindowItem(r2->hti));
    dragTrackPointer(&track, POINT{5, faketree::kClientHeight - 5}, isGroupItem);
    dragTrackRelease(&track, dropRuns);
    EXPECT_TRUE(c->windows.empty());
    EXPECT_EQ(g_rootGroup.windows, (std::list<PLRWindow *>{r1, r2}));
    expectTreeAfterDrop(nullptr);

    // A drop that runs ends the same way.
    ASSERT_TRUE(dragSourceIsWindowItem(r2->hti));
    dragTrackPointer(&track, middleOf(c->hti), isGroupItem);
    dragTrackRelease(&track, dropRuns);
    EXPECT_EQ(c->windows, (std::list<PLRWindow *>{r2}));
    expectTreeAfterDrop(c->hti);
    expectInvariants();
}

// ------------------------------------------------------------ ignored drops

TEST_F(DragDropTest, ADropWhoseWindowWasRemovedDuringTheDragIsIgnored) {
    ASSERT_TRUE(dragSourceIsWindowItem(b2->hti));
    // The main thread prunes the window meanwhile.
    sendTreeMessage(dialog, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(b2->hti));
    b->windows.remove(b2);
    delete b2;
    b2 = nullptr;
    sendTreeMessage(dialog, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(c->hti));
    faketree::clearMessages(dialog);

    dropOnTarget(dialog, c->hti);

    EXPECT_TRUE(c->windows.empty());
    EXPECT_EQ(b->windows, (std::list<PLRWindow *>{b1}));
    EXPECT_TRUE(messagesOf(TVM_INSERTITEMW).empty());
    EXPECT_TRUE(messagesOf(TVM_DELETEITEM).empty());
    EXPECT_EQ(logLines(), (std::vector<std::u16string>{u"itemDropped: could not find dragged window."}));
    expectTreeAfterDrop(c->hti);
    expectInvariants();
}

TEST_F(DragDropTest, ATargetThatIsNoLongerAGroupIsIgnored) {
    ASSERT_TRUE(dragSourceIsWindowItem(r2->hti));
    sendTreeMessage(dialog, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(c->hti));
    const HTREEITEM goneTarget = c->hti;
    // The group is deleted on the main thread during the drag.
    selectModel(r1, c);
    deleteGroup();
    faketree::clearMessages(dialog);

    dropOnTarget(dialog, goneTarget);

    EXPECT_EQ(g_rootGroup.windows, (std::list<PLRWindow *>{r1, r2}));
    EXPECT_TRUE(messagesOf(TVM_INSERTITEMW).empty());
    for (const faketree::Message &message : faketree::messages(dialog)) EXPECT_NE(message.item, goneTarget);
    expectTreeAfterDrop(nullptr);

    // Named directly, a window item or an unknown item is no target either.
    itemDropped(b1->hti);
    itemDropped(nullptr);
    EXPECT_EQ(g_rootGroup.windows, (std::list<PLRWindow *>{r1, r2}));
    EXPECT_EQ(logLines(), (std::vector<std::u16string>{u"itemDropped: could not find target group.",
                                                        u"itemDropped: could not find target group."}));
}

// Wine's tree view keeps an old drop highlight when the pointer is over its
// current item; the target the drag tracked wins.
TEST_F(DragDropTest, TheTrackedTargetWinsOverAStaleDropHighlight) {
    ASSERT_TRUE(dragSourceIsWindowItem(r2->hti));
    sendTreeMessage(dialog, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(b->hti));
    dropOnTarget(dialog, c->hti);
    EXPECT_EQ(c->windows, (std::list<PLRWindow *>{r2}));
    EXPECT_EQ(b->windows.size(), 2u);
    expectTreeAfterDrop(c->hti);
}

TEST_F(DragDropTest, ADropFromADialogOfAnEndedSwitchMovesNoRecord) {
    ASSERT_TRUE(dragSourceIsWindowItem(r2->hti));
    sendTreeMessage(dialog, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(c->hti));
    g_hwndSwitcherDialog = nullptr;  // the switch ended meanwhile

    dropOnTarget(dialog, c->hti);

    EXPECT_TRUE(c->windows.empty());
    EXPECT_EQ(g_rootGroup.windows, (std::list<PLRWindow *>{r1, r2}));
}

TEST_F(DragDropTest, ADropDuringAGroupDeletionIsIgnored) {
    selectModel(a1, a);
    fakeDesktop().window(b1->hwnd)->onClose = FakeCloseBehaviour::AsksModalQuestion;
    ASSERT_TRUE(dragSourceIsWindowItem(r2->hti));
    const HTREEITEM target = c->hti;
    bool dropped = false;
    // The switcher thread's drop arrives while the main thread waits on a
    // close request.
    fakeDesktop().duringSendWait = [&](HWND, UINT message) {
        if (message != WM_CLOSE || dropped) return;
        dropped = true;
        sendTreeMessage(dialog, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(target));
        dropOnTarget(dialog, target);
    };

    deleteGroup();
    fakeDesktop().duringSendWait = nullptr;

    ASSERT_TRUE(dropped);
    EXPECT_TRUE(c->windows.empty());
    EXPECT_EQ(g_rootGroup.windows, (std::list<PLRWindow *>{r1, r2}));
    EXPECT_EQ(g_rootGroup.subgroups, (std::list<PLRGroup *>{c}));
    EXPECT_EQ(logLines(),
              (std::vector<std::u16string>{u"itemDropped: a group is being deleted.  Ignoring the drop."}));
    expectInvariants();
}

// ------------------------------------------------------------ removeWindowByHti

TEST_F(DragDropTest, RemoveWindowByHtiTakesTheRecordOutAndDeletesOnlyItsItem) {
    const HTREEITEM removed = b1->hti;
    EXPECT_TRUE(g_rootGroup.removeWindowByHti(removed));
    EXPECT_EQ(b->windows, (std::list<PLRWindow *>{b2}));
    EXPECT_FALSE(faketree::isItem(dialog, removed));
    EXPECT_TRUE(faketree::isItem(dialog, b2->hti));
    const std::vector<faketree::Message> deletes = messagesOf(TVM_DELETEITEM);
    ASSERT_EQ(deletes.size(), 1u);
    EXPECT_EQ(deletes[0].item, removed);
    // The record is the caller's now.
    delete b1;
    b1 = nullptr;

    EXPECT_FALSE(g_rootGroup.removeWindowByHti(item(0x4444)));
    EXPECT_FALSE(c->removeWindowByHti(b2->hti));
    EXPECT_EQ(messagesOf(TVM_DELETEITEM).size(), 1u);
}

TEST_F(DragDropTest, RemoveWindowByHtiWithTheDialogClosedSendsNothing) {
    g_hwndSwitcherDialog = nullptr;
    const HTREEITEM stale = a1->hti;
    EXPECT_TRUE(g_rootGroup.removeWindowByHti(stale));
    EXPECT_TRUE(a->windows.empty());
    EXPECT_TRUE(faketree::messages(dialog).empty());
    delete a1;
    a1 = nullptr;
}

}  // namespace
