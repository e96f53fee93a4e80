// Creating and deleting groups against the fake desktop and the fake tree
// control: numbering, where new groups and their items go, the item forms,
// the selection, the "Notification" box, the log lines, the order of a
// deletion and the emptying of the root.
//
// The tree of every test, as the dialog shows it:
//   Root Group (selected)
//     r1 (selected)  r2
//     A              a1
//       B            b1  b2
//     C              (empty)
// Every record stands for a live window of a process of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "editing/dragdrop.h"
#include "editing/groups.h"
#include "model/queries.h"
#include "model_fixture.h"
#include "platform/desktop.h"
#include "platform/fake/fake_imagelist.h"
#include "platform/fake/fake_tree.h"
#include "switcher/population.h"

namespace {

class GroupsTest : public ModelTest {
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
        b2 = addLive(b, u"b2");
        c = addGroup(&g_rootGroup);
        r1->selected = 1;
        clearCapturedLogLines();
    }
    void TearDown() override {
        if (faketree::hasTree(dialog)) {
            EXPECT_EQ(faketree::invalidHandleUses(dialog), 0) << faketree::dump(dialog);
        }
        faketree::reset();
        fakeimg::reset();
        ModelTest::TearDown();
    }

    // A record for a new live window of a process of its own.
    static PLRWindow *addLive(PLRGroup *group, const std::u16string &caption) {
        return addRecord(group, fakeDesktop().addAppWindow(caption), caption);
    }

    // The dialog as it stands after its initialisation.
    void openDialog() {
        faketree::createTree(dialog);
        g_hwndSwitcherDialog = dialog;
        populateTreeView(dialog);
        faketree::clearMessages(dialog);
        clearCapturedLogLines();
    }

    // Moves the model's selection as a hotkey would have, markers included.
    void selectModel(PLRWindow *window, PLRGroup *group) {
        if (PLRWindow *old = g_rootGroup.getSelectedWindow()) old->select(false);
        if (window != nullptr) window->select(true);
        group->select(true);
        clearCapturedLogLines();
        if (faketree::hasTree(dialog)) faketree::clearMessages(dialog);
        fakeDesktop().clearCalls();
    }

    std::vector<faketree::Message> messagesOf(UINT message) {
        std::vector<faketree::Message> found;
        for (const faketree::Message &each : faketree::messages(dialog))
            if (each.message == message) found.push_back(each);
        return found;
    }

    static std::u16string groupName(int number) {
        const std::string digits = std::to_string(number);
        return u"Group " + std::u16string(digits.begin(), digits.end());
    }
    static std::u16string nameOf(const PLRGroup *group) { return std::u16string(group->name); }

    int closeRequests(HWND hwnd) { return fakeDesktop().sendCount(hwnd, WM_CLOSE); }

    const HWND dialog = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0xD1A0));
    PLRWindow *r1 = nullptr, *r2 = nullptr, *a1 = nullptr, *b1 = nullptr, *b2 = nullptr;
    PLRGroup *a = nullptr, *b = nullptr, *c = nullptr;
};

// ---------------------------------------------------------------- createGroup

TEST_F(GroupsTest, TwoCreatesAddNumberedEmptyGroupsLastUnderTheSelectedGroupAndKeepTheSelection) {
    openDialog();
    selectModel(a1, a);
    const int firstNumber = g_groupCounter;
    const HTREEITEM aItem = a->hti;
    const bool aExpanded = faketree::isExpanded(dialog, aItem);

    createGroup();
    createGroup();

    ASSERT_EQ(a->subgroups.size(), 3u);
    PLRGroup *first = *std::next(a->subgroups.begin());
    PLRGroup *second = a->subgroups.back();
    EXPECT_EQ(a->subgroups.front(), b);
    EXPECT_EQ(nameOf(first), groupName(firstNumber));
    EXPECT_EQ(nameOf(second), groupName(firstNumber + 1));
    for (PLRGroup *created : {first, second}) {
        EXPECT_TRUE(created->windows.empty() && created->subgroups.empty());
        EXPECT_EQ(created->selected, 0);
        EXPECT_EQ(created->expanded, 1);
        ASSERT_NE(created->hti, nullptr);
        EXPECT_EQ(faketree::item(dialog, created->hti).text, nameOf(created));
        EXPECT_EQ(faketree::stateImage(dialog, created->hti), 0);
    }
    // Last children of the parent's item, after its window and older group.
    EXPECT_EQ(faketree::children(dialog, aItem),
              (std::vector<HTREEITEM>{a1->hti, b->hti, first->hti, second->hti}))
        << faketree::dump(dialog);

    const std::vector<faketree::Message> inserts = messagesOf(TVM_INSERTITEMW);
    ASSERT_EQ(inserts.size(), 2u);
    for (const faketree::Message &insert : inserts) {
        EXPECT_EQ(insert.parent, aItem);
        EXPECT_EQ(insert.insertAfter, TVI_LAST);
        EXPECT_EQ(insert.mask, 0x2bu);
        EXPECT_EQ(insert.image, 0);
        EXPECT_EQ(insert.selectedImage, 0);
        EXPECT_EQ(insert.state, static_cast<UINT>(TVIS_EXPANDED));
        EXPECT_EQ(insert.stateMask, 0xF07Fu);
    }
    EXPECT_EQ(inserts[0].text, nameOf(first));
    EXPECT_EQ(inserts[1].text, nameOf(second));

    // Nothing else moved: no selection change, no expansion of the parent.
    EXPECT_TRUE(messagesOf(TVM_EXPAND).empty());
    EXPECT_EQ(faketree::isExpanded(dialog, aItem), aExpanded);
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), a);
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), a1);
    EXPECT_EQ(faketree::stateImage(dialog, a->hti), STATE_IMAGE_SELECTED_GROUP);
    EXPECT_TRUE(logLines().empty());
    expectInvariants();

    // The next population puts the new groups in the same places.
    g_rootGroup.clearHtis();
    faketree::createTree(dialog);
    populateTreeView(dialog);
    std::vector<std::u16string> labels;
    for (HTREEITEM child : faketree::children(dialog, a->hti)) labels.push_back(faketree::item(dialog, child).text);
    EXPECT_EQ(labels, (std::vector<std::u16string>{u"a1", nameOf(b), nameOf(first), nameOf(second)}));
}

TEST_F(GroupsTest, CreateWithTheRootSelectedAddsUnderTheRoot) {
    openDialog();
    createGroup();

    ASSERT_EQ(g_rootGroup.subgroups.size(), 3u);
    PLRGroup *created = g_rootGroup.subgroups.back();
    EXPECT_EQ(faketree::item(dialog, created->hti).parent, g_rootGroup.hti);
    EXPECT_EQ(faketree::children(dialog, g_rootGroup.hti).back(), created->hti);
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), &g_rootGroup);
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), r1);
    expectInvariants();
}

TEST_F(GroupsTest, CreateWithoutTheDialogChangesOnlyTheModel) {
    const int number = g_groupCounter;
    createGroup();

    ASSERT_EQ(g_rootGroup.subgroups.size(), 3u);
    EXPECT_EQ(nameOf(g_rootGroup.subgroups.back()), groupName(number));
    EXPECT_EQ(g_rootGroup.subgroups.back()->hti, nullptr);
    EXPECT_EQ(faketree::messagesWithoutTree(), 0);
    EXPECT_EQ(logLines(), (std::vector<std::u16string>{u"createGroup: g_hwndSwitcherDialog was NULL."}));
    expectInvariants();
}

TEST_F(GroupsTest, CreateWithNoSelectedGroupDiscardsTheGroupButAdvancesTheCounter) {
    openDialog();
    g_rootGroup.selected = 0;
    const int number = g_groupCounter;
    const int items = faketree::itemCount(dialog);

    createGroup();

    EXPECT_EQ(g_rootGroup.subgroups.size(), 2u);
    EXPECT_EQ(a->subgroups.size(), 1u);
    EXPECT_TRUE(b->subgroups.empty() && c->subgroups.empty());
    EXPECT_EQ(faketree::itemCount(dialog), items);
    EXPECT_EQ(g_groupCounter, number + 1);
    EXPECT_EQ(logLines(), (std::vector<std::u16string>{u"globalGetSelectedGroup: could not find selected group."}));
}

TEST_F(GroupsTest, CreateWhenTheControlRefusesTheItemLeavesTheGroupWithoutOne) {
    openDialog();
    faketree::setInsertFailures(dialog, 1);
    createGroup();
    ASSERT_EQ(g_rootGroup.subgroups.size(), 3u);
    EXPECT_EQ(g_rootGroup.subgroups.back()->hti, nullptr);
    expectInvariants();
}

// ------------------------------------------------------ createGroupFromSelected

TEST_F(GroupsTest, FromSelectedMovesTheWindowIntoANewSelectedGroupWithExactItems) {
    openDialog();
    selectModel(b1, b);
    const HTREEITEM oldItem = b1->hti;
    const HTREEITEM bItem = b->hti;
    const int number = g_groupCounter;
    // Presses while the switcher is open read nothing from the desktop; the
    // moved window's new item shows its caption as it is now.
    fakeDesktop().window(b1->hwnd)->caption = u"b1, renamed";

    createGroupFromSelected();

    ASSERT_EQ(b->subgroups.size(), 1u);
    PLRGroup *created = b->subgroups.back();
    EXPECT_EQ(nameOf(created), groupName(number));
    EXPECT_EQ(created->windows, (std::list<PLRWindow *>{b1}));
    EXPECT_EQ(b->windows, (std::list<PLRWindow *>{b2}));
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), created);
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), b1);
    EXPECT_EQ(b->selected, 0);

    // Items: the group last under B with the star, the window first under
    // the group with the arrow, the old item gone.
    EXPECT_FALSE(faketree::isItem(dialog, oldItem));
    EXPECT_EQ(faketree::children(dialog, bItem), (std::vector<HTREEITEM>{b2->hti, created->hti}));
    EXPECT_EQ(faketree::children(dialog, created->hti), (std::vector<HTREEITEM>{b1->hti}));
    EXPECT_EQ(faketree::stateImage(dialog, created->hti), STATE_IMAGE_SELECTED_GROUP);
    EXPECT_EQ(faketree::stateImage(dialog, bItem), 0);
    EXPECT_EQ(faketree::stateImage(dialog, b1->hti), STATE_IMAGE_SELECTED_WINDOW);

    const std::vector<faketree::Message> inserts = messagesOf(TVM_INSERTITEMW);
    ASSERT_EQ(inserts.size(), 2u);
    EXPECT_EQ(inserts[0].parent, bItem);
    EXPECT_EQ(inserts[0].insertAfter, TVI_LAST);
    EXPECT_EQ(inserts[0].mask, 0x2bu);
    EXPECT_EQ(inserts[0].text, nameOf(created));
    EXPECT_EQ(inserts[0].image, 0);
    EXPECT_EQ(inserts[0].selectedImage, 0);
    EXPECT_EQ(inserts[0].state, static_cast<UINT>(TVIS_EXPANDED | INDEXTOSTATEIMAGEMASK(2)));
    EXPECT_EQ(inserts[0].stateMask, 0xF07Fu);
    EXPECT_EQ(inserts[1].parent, created->hti);
    EXPECT_EQ(inserts[1].insertAfter, TVI_FIRST);
    EXPECT_EQ(inserts[1].mask, 0x2bu);
    EXPECT_EQ(inserts[1].text, u"b1, renamed");
    EXPECT_EQ(inserts[1].image, b1->imageIndex);
    EXPECT_EQ(inserts[1].selectedImage, b1->imageIndex);
    EXPECT_EQ(inserts[1].state, static_cast<UINT>(INDEXTOSTATEIMAGEMASK(1)));
    EXPECT_EQ(inserts[1].stateMask, 0xF000u);

    // The old item goes last, after the new one exists.
    const std::vector<faketree::Message> all = faketree::messages(dialog);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back().message, static_cast<UINT>(TVM_DELETEITEM));
    EXPECT_EQ(all.back().item, oldItem);
    EXPECT_TRUE(logLines().empty());
    EXPECT_TRUE(fakeDesktop().callsOf(FakeDeskCall::MessageBox).empty());
    expectInvariants();
}

TEST_F(GroupsTest, FromSelectedWithoutASelectedWindowTakesTheForegroundWindowsRecord) {
    openDialog();
    selectModel(nullptr, a);
    fakeDesktop().setForeground(b2->hwnd);

    createGroupFromSelected();

    ASSERT_EQ(b->subgroups.size(), 1u);
    PLRGroup *created = b->subgroups.front();
    EXPECT_EQ(created->windows, (std::list<PLRWindow *>{b2}));
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), b2);
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), created);
    EXPECT_EQ(faketree::stateImage(dialog, b2->hti), STATE_IMAGE_SELECTED_WINDOW);
    EXPECT_EQ(faketree::stateImage(dialog, a->hti), 0);
    EXPECT_TRUE(fakeDesktop().callsOf(FakeDeskCall::MessageBox).empty());
    expectInvariants();
}

TEST_F(GroupsTest, FromSelectedWithNoWindowAnywhereShowsOnlyTheNotificationBox) {
    openDialog();
    selectModel(nullptr, &g_rootGroup);
    fakeDesktop().setForeground(nullptr);
    const int number = g_groupCounter;

    createGroupFromSelected();

    const std::vector<FakeDeskCall> boxes = fakeDesktop().callsOf(FakeDeskCall::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"Could not determine selected window.  Can't create new group.");
    EXPECT_EQ(boxes[0].caption, u"Notification");
    EXPECT_EQ(g_groupCounter, number);
    EXPECT_EQ(g_rootGroup.subgroups.size(), 2u);
    EXPECT_TRUE(faketree::messages(dialog).empty());
    EXPECT_TRUE(logLines().empty());
}

TEST_F(GroupsTest, FromSelectedAbortsWhenTheForegroundWindowIsNotInTheTree) {
    openDialog();
    selectModel(nullptr, &g_rootGroup);
    fakeDesktop().setForeground(fakeDesktop().addAppWindow(u"stranger"));
    const int number = g_groupCounter;

    createGroupFromSelected();

    EXPECT_EQ(logLines(), (std::vector<std::u16string>{
                              u"Could not find selected window's group.  Aborting creation of group from selected "
                              u"window."}));
    EXPECT_EQ(g_groupCounter, number);
    EXPECT_EQ(g_rootGroup.subgroups.size(), 2u);
    EXPECT_TRUE(fakeDesktop().callsOf(FakeDeskCall::MessageBox).empty());
    EXPECT_TRUE(faketree::messages(dialog).empty());
}

TEST_F(GroupsTest, FromSelectedBeforeTheDialogExistsChangesTheModelAndLogsBothLines) {
    selectModel(a1, a);
    createGroupFromSelected();

    ASSERT_EQ(a->subgroups.size(), 2u);
    EXPECT_EQ(a->subgroups.back()->windows, (std::list<PLRWindow *>{a1}));
    EXPECT_TRUE(a->windows.empty());
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), a->subgroups.back());
    EXPECT_EQ(logLines(), (std::vector<std::u16string>{u"createGroupFromSelected: g_hwndSwitcherDialog was NULL.",
                                                        u"createGroupFromSelected: hti was NULL for selected window."}));
    EXPECT_EQ(faketree::messagesWithoutTree(), 0);
    expectInvariants();
}

TEST_F(GroupsTest, FromSelectedWithAStaleItemAndNoDialogLogsIt) {
    selectModel(r2, &g_rootGroup);
    r2->hti = item(0x5150);
    createGroupFromSelected();
    EXPECT_EQ(logLines(),
              (std::vector<std::u16string>{u"createGroupFromSelected: g_hwndSwitcherDialog was NULL.",
                                           u"createGroupFromSelected: hti wasn't NULL but g_hwndSwitcherDialog was."}));
    EXPECT_EQ(g_rootGroup.subgroups.back()->windows, (std::list<PLRWindow *>{r2}));
}

// Regression: a selected window without an item while the dialog is open
// must not delete the null item, which would empty the whole tree.
TEST_F(GroupsTest, FromSelectedWithAWindowWithoutAnItemKeepsTheRestOfTheTree) {
    openDialog();
    selectModel(b1, b);
    const HTREEITEM strandedItem = b1->hti;
    b1->hti = nullptr;
    const int items = faketree::itemCount(dialog);

    createGroupFromSelected();

    EXPECT_TRUE(faketree::isItem(dialog, g_rootGroup.hti));
    EXPECT_TRUE(faketree::isItem(dialog, strandedItem));
    EXPECT_EQ(faketree::itemCount(dialog), items + 2);
    for (const faketree::Message &message : messagesOf(TVM_DELETEITEM)) EXPECT_NE(message.item, nullptr);
    EXPECT_EQ(logLines(), (std::vector<std::u16string>{u"createGroupFromSelected: hti was NULL for selected window."}));
    EXPECT_EQ(b->subgroups.front()->windows, (std::list<PLRWindow *>{b1}));
    expectInvariants();
}

TEST_F(GroupsTest, FromSelectedWhenTheControlRefusesTheGroupItemInsertsNothingAtTheTopLevel) {
    openDialog();
    selectModel(b1, b);
    const HTREEITEM oldItem = b1->hti;
    const std::vector<HTREEITEM> topLevel = faketree::children(dialog, nullptr);
    faketree::setInsertFailures(dialog, 1);

    createGroupFromSelected();

    PLRGroup *created = b->subgroups.front();
    EXPECT_EQ(created->hti, nullptr);
    EXPECT_EQ(b1->hti, nullptr);
    EXPECT_FALSE(faketree::isItem(dialog, oldItem));
    EXPECT_EQ(faketree::children(dialog, nullptr), topLevel);
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), created);
    expectInvariants();
}

// ---------------------------------------------------------------- deleteGroup

TEST_F(GroupsTest, DeletingALeafGroupClosesItsApplicationsSelectsTheParentAndItsFirstWindow) {
    openDialog();
    selectModel(b1, b);
    // Each program has a second top-level window outside the group.
    FakeWindow hidden;
    hidden.style = 0;
    hidden.processId = fakeDesktop().window(b1->hwnd)->processId;
    const HWND b1Other = fakeDesktop().createWindow(hidden);
    hidden.processId = fakeDesktop().window(b2->hwnd)->processId;
    const HWND b2Other = fakeDesktop().createWindow(hidden);
    const DWORD b1Process = fakeDesktop().window(b1->hwnd)->processId;
    const DWORD b2Process = fakeDesktop().window(b2->hwnd)->processId;
    const HTREEITEM bItem = b->hti;
    const HWND b1Window = b1->hwnd, b2Window = b2->hwnd;

    deleteGroup();

    for (HWND closed : {b1Window, b1Other, b2Window, b2Other}) EXPECT_EQ(closeRequests(closed), 1);
    EXPECT_FALSE(fakeDesktop().process(b1Process)->running);
    EXPECT_FALSE(fakeDesktop().process(b2Process)->running);
    EXPECT_TRUE(fakeDesktop().callsOf(FakeDeskCall::TerminateProcess).empty());
    EXPECT_EQ(closeRequests(a1->hwnd) + closeRequests(r1->hwnd) + closeRequests(r2->hwnd), 0);

    EXPECT_EQ(a->subgroups.size(), 0u);
    EXPECT_FALSE(faketree::isItem(dialog, bItem));
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), a);
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), a1);
    EXPECT_EQ(faketree::stateImage(dialog, a->hti), STATE_IMAGE_SELECTED_GROUP);
    EXPECT_EQ(faketree::stateImage(dialog, a1->hti), STATE_IMAGE_SELECTED_WINDOW);
    EXPECT_EQ(g_bDeletingGroup, 0);
    EXPECT_EQ(g_pGroupBeingDeleted, nullptr);
    EXPECT_TRUE(logLines().empty());
    expectInvariants();
}

TEST_F(GroupsTest, DeletionDetachesAndSelectsTheParentBeforeClosingAndDestroysAfterwards) {
    openDialog();
    selectModel(b2, b);
    // b1 asks a question: its close request waits, and the test looks at the
    // program's state while it waits.
    fakeDesktop().window(b1->hwnd)->onClose = FakeCloseBehaviour::AsksModalQuestion;
    PLRGroup *deleted = b;
    const HTREEITEM bItem = b->hti;
    bool looked = false;
    fakeDesktop().duringSendWait = [&](HWND hwnd, UINT message) {
        if (message != WM_CLOSE) return;
        looked = true;
        EXPECT_EQ(hwnd, b1->hwnd);
        EXPECT_EQ(g_bDeletingGroup, 1);
        EXPECT_EQ(g_pGroupBeingDeleted, deleted);
        EXPECT_FALSE(faketree::isItem(dialog, bItem));
        EXPECT_TRUE(a->subgroups.empty());
        EXPECT_EQ(g_rootGroup.getSelectedGroup(), a);
        EXPECT_EQ(faketree::stateImage(dialog, a->hti), STATE_IMAGE_SELECTED_GROUP);
        // The records still exist; the parent's first window is not yet
        // selected.
        EXPECT_EQ(deleted->windows.size(), 2u);
        EXPECT_EQ(a1->selected, 0);
        EXPECT_EQ(g_rootGroup.getSelectedWindow(), nullptr);
    };

    deleteGroup();
    fakeDesktop().duringSendWait = nullptr;

    EXPECT_TRUE(looked);
    EXPECT_EQ(g_pGroupBeingDeleted, nullptr);
    EXPECT_EQ(g_bDeletingGroup, 0);
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), a1);
    expectInvariants();
}

TEST_F(GroupsTest, DeletingAGroupWithSubgroupsClosesDepthFirstAndLeavesNoWindowSelectedInAnEmptyParent) {
    PLRGroup *d = addGroup(c);
    PLRWindow *d1 = addLive(d, u"d1");
    PLRGroup *e = addGroup(c);
    PLRWindow *e1 = addLive(e, u"e1");
    PLRWindow *c1 = addLive(c, u"c1");
    openDialog();
    selectModel(d1, c);
    const HWND order[] = {c1->hwnd, d1->hwnd, e1->hwnd};

    deleteGroup();

    std::vector<HWND> closed;
    for (const FakeDeskCall &call : fakeDesktop().callsOf(FakeDeskCall::SendMessageTimeout))
        if (call.message == WM_CLOSE) closed.push_back(call.hwnd);
    EXPECT_EQ(closed, std::vector<HWND>(std::begin(order), std::end(order)));
    EXPECT_EQ(g_rootGroup.subgroups, (std::list<PLRGroup *>{a}));
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), &g_rootGroup);
    // The root's first window is r1.
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), r1);
    expectInvariants();
}

TEST_F(GroupsTest, DeletingAnEmptyGroupClosesNothing) {
    openDialog();
    selectModel(nullptr, c);
    const HTREEITEM cItem = c->hti;

    deleteGroup();

    EXPECT_EQ(fakeDesktop().sendCount(r1->hwnd, WM_CLOSE), 0);
    for (const FakeDeskCall &call : fakeDesktop().callsOf(FakeDeskCall::SendMessageTimeout))
        EXPECT_NE(call.message, static_cast<UINT>(WM_CLOSE));
    EXPECT_FALSE(faketree::isItem(dialog, cItem));
    EXPECT_EQ(g_rootGroup.subgroups, (std::list<PLRGroup *>{a}));
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), &g_rootGroup);
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), r1);
    expectInvariants();
}

TEST_F(GroupsTest, TheGroupCounterKeepsCountingAfterADeletion) {
    selectModel(nullptr, c);
    const int number = g_groupCounter;
    deleteGroup();
    createGroup();
    EXPECT_EQ(nameOf(g_rootGroup.subgroups.back()), groupName(number));
}

TEST_F(GroupsTest, EmptyingTheRootClosesEveryApplicationAndEmptiesTheTree) {
    openDialog();
    const HWND every[] = {r1->hwnd, r2->hwnd, a1->hwnd, b1->hwnd, b2->hwnd};

    deleteGroup();

    std::vector<HWND> closed;
    for (const FakeDeskCall &call : fakeDesktop().callsOf(FakeDeskCall::SendMessageTimeout))
        if (call.message == WM_CLOSE) closed.push_back(call.hwnd);
    // Tree order: the root's own windows, then each subgroup depth first.
    EXPECT_EQ(closed, std::vector<HWND>(std::begin(every), std::end(every)));
    EXPECT_EQ(faketree::itemCount(dialog), 0);
    EXPECT_TRUE(g_rootGroup.windows.empty());
    EXPECT_TRUE(g_rootGroup.subgroups.empty());
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), &g_rootGroup);
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), nullptr);
    EXPECT_EQ(g_rootGroup.hti, nullptr);
    EXPECT_EQ(g_bDeletingGroup, 0);
    EXPECT_TRUE(logLines().empty());
    expectInvariants();

    // Later commands of the same switch do not use the dead root item: a
    // new group gets no item rather than one at the top level.
    clearCapturedLogLines();
    createGroup();
    EXPECT_EQ(g_rootGroup.subgroups.size(), 1u);
    EXPECT_EQ(faketree::itemCount(dialog), 0);
    EXPECT_EQ(logLines(), (std::vector<std::u16string>{u"createGroup: hti was NULL.  Not sending message."}));
    deleteGroup();
    EXPECT_TRUE(g_rootGroup.subgroups.empty());
}

TEST_F(GroupsTest, EmptyingTheRootWithoutTheDialogEmptiesOnlyTheModel) {
    deleteGroup();
    EXPECT_TRUE(g_rootGroup.windows.empty() && g_rootGroup.subgroups.empty());
    EXPECT_EQ(g_rootGroup.selected, 1);
    EXPECT_EQ(logLines(), (std::vector<std::u16string>{u"deleteGroup: g_hwndSwitcherDialog was NULL."}));
    EXPECT_EQ(faketree::messagesWithoutTree(), 0);
    EXPECT_EQ(g_bDeletingGroup, 0);
}

TEST_F(GroupsTest, WithNoSelectedGroupTheDeletionAbortsAndClearsTheFlag) {
    openDialog();
    g_rootGroup.selected = 0;
    const int items = faketree::itemCount(dialog);

    deleteGroup();

    EXPECT_EQ(logLines(), (std::vector<std::u16string>{u"globalGetSelectedGroup: could not find selected group.",
                                                        u"Could not find parent group.  Aborting group deletion."}));
    EXPECT_EQ(g_bDeletingGroup, 0);
    EXPECT_EQ(faketree::itemCount(dialog), items);
    EXPECT_EQ(g_rootGroup.subgroups.size(), 2u);
    EXPECT_TRUE(fakeDesktop().callsOf(FakeDeskCall::SendMessageTimeout).empty());
}

TEST_F(GroupsTest, DeletionBeforeTheDialogExistsTouchesNoItemAndTheDialogShowsTheTreeWithoutTheGroup) {
    selectModel(b1, b);
    const std::u16string deletedName = nameOf(b);

    deleteGroup();

    EXPECT_TRUE(logLines().empty());
    EXPECT_EQ(faketree::messagesWithoutTree(), 0);
    EXPECT_EQ(g_rootGroup.getSelectedGroup(), a);
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), a1);

    openDialog();
    for (HTREEITEM shown : faketree::allItems(dialog)) EXPECT_NE(faketree::item(dialog, shown).text, deletedName);
    EXPECT_EQ(faketree::stateImage(dialog, a->hti), STATE_IMAGE_SELECTED_GROUP);
    EXPECT_EQ(faketree::stateImage(dialog, a1->hti), STATE_IMAGE_SELECTED_WINDOW);
}

// The dialog can come up while the closing waits (the hotkey starts it
// before the deletion runs): its population runs inside the deletion.
TEST_F(GroupsTest, ADialogThatOpensDuringTheClosingEndsUpShowingTheResult) {
    selectModel(b1, b);
    fakeDesktop().window(b2->hwnd)->onClose = FakeCloseBehaviour::AsksModalQuestion;
    fakeDesktop().duringSendWait = [&](HWND, UINT message) {
        if (message == WM_CLOSE && g_hwndSwitcherDialog == nullptr) openDialog();
    };

    deleteGroup();
    fakeDesktop().duringSendWait = nullptr;

    ASSERT_TRUE(faketree::hasTree(dialog));
    EXPECT_EQ(faketree::stateImage(dialog, a->hti), STATE_IMAGE_SELECTED_GROUP);
    EXPECT_EQ(faketree::stateImage(dialog, a1->hti), STATE_IMAGE_SELECTED_WINDOW);
    EXPECT_EQ(faketree::children(dialog, a->hti), (std::vector<HTREEITEM>{a1->hti}));
    expectInvariants();
}

TEST_F(GroupsTest, EmptyingTheRootWhileTheDialogOpensDuringTheClosingEmptiesTheNewTree) {
    fakeDesktop().window(b2->hwnd)->onClose = FakeCloseBehaviour::AsksModalQuestion;
    fakeDesktop().duringSendWait = [&](HWND, UINT message) {
        if (message == WM_CLOSE && g_hwndSwitcherDialog == nullptr) openDialog();
    };
    deleteGroup();
    fakeDesktop().duringSendWait = nullptr;
    ASSERT_TRUE(faketree::hasTree(dialog));
    EXPECT_EQ(faketree::itemCount(dialog), 0);
    EXPECT_EQ(g_rootGroup.hti, nullptr);
}

TEST_F(GroupsTest, AStaleItemWithTheDialogClosedIsLoggedAndTheDeletionGoesOn) {
    selectModel(nullptr, c);
    c->hti = item(0x7310);
    deleteGroup();
    EXPECT_EQ(logLines(), (std::vector<std::u16string>{u"deleteGroup: hti wasn't NULL but g_hwndSwitcherDialog was."}));
    EXPECT_EQ(g_rootGroup.subgroups, (std::list<PLRGroup *>{a}));
}

// ---------------------------------------------------------- findParentGroup

TEST_F(GroupsTest, FindParentGroupFindsTheHolderOfTheGroupAnywhereBelow) {
    EXPECT_EQ(g_rootGroup.findParentGroup(a), &g_rootGroup);
    EXPECT_EQ(g_rootGroup.findParentGroup(c), &g_rootGroup);
    EXPECT_EQ(g_rootGroup.findParentGroup(b), a);
    EXPECT_EQ(a->findParentGroup(b), a);
    EXPECT_EQ(c->findParentGroup(b), nullptr);
    EXPECT_EQ(g_rootGroup.findParentGroup(&g_rootGroup), nullptr);
    EXPECT_EQ(g_rootGroup.findParentGroup(nullptr), nullptr);
    PLRGroup outside;
    EXPECT_EQ(g_rootGroup.findParentGroup(&outside), nullptr);
}

}  // namespace
