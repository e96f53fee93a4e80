// Keyboard navigation: the four keys on the worked example and on the edge
// cases of the tree (single windows, empty groups at any depth, no selected
// window, no selected group), the order in which the group keys clear and
// set, and the open tree staying in step with the model.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "model/queries.h"
#include "switcher/navigation.h"
#include "switcher_test_support.h"

namespace {

class NavigationTest : public SwitcherTest {
protected:
    // R (r1, r2, A (a1, B (b1, b2)), C)
    void buildExample() {
        r1 = addWindow(&g_rootGroup, u"r1");
        r2 = addWindow(&g_rootGroup, u"r2");
        A = addNamedGroup(&g_rootGroup, u"A");
        a1 = addWindow(A, u"a1");
        B = addNamedGroup(A, u"B");
        b1 = addWindow(B, u"b1");
        b2 = addWindow(B, u"b2");
        C = addNamedGroup(&g_rootGroup, u"C");
    }

    void openQuietly() {
        openDialog();
        faketree::clearMessages(kDialog);
        clearCapturedLogLines();
    }

    static std::u16string selectedName() {
        PLRWindow *window = g_rootGroup.getSelectedWindow();
        return window == nullptr ? u"-" : std::u16string(window->caption);
    }

    static std::u16string selectedGroupName() {
        PLRGroup *group = g_rootGroup.getSelectedGroup();
        if (group == nullptr) return u"-";
        return group == &g_rootGroup ? u"R" : std::u16string(group->name);
    }

    // Presses a key `times` times and records the selected window after each.
    static std::vector<std::u16string> press(const std::function<void()> &key, int times) {
        std::vector<std::u16string> out;
        for (int i = 0; i < times; ++i) {
            key();
            out.push_back(selectedName());
        }
        return out;
    }

    // Presses a group key and records "group:window" after each press.
    static std::vector<std::u16string> pressGroupKey(const std::function<void()> &key, int times) {
        std::vector<std::u16string> out;
        for (int i = 0; i < times; ++i) {
            key();
            out.push_back(selectedGroupName() + u":" + selectedName());
        }
        return out;
    }

    // The open tree shows exactly what a fresh population would.
    void expectTreeInStep() {
        EXPECT_EQ(freshOutline(), outline(kDialog));
        expectInvariants();
    }

    static void selectWindow(PLRWindow *window) {
        PLRWindow *old = g_rootGroup.getSelectedWindow();
        if (old != nullptr) old->selected = 0;
        window->selected = 1;
    }

    PLRWindow *r1 = nullptr, *r2 = nullptr, *a1 = nullptr, *b1 = nullptr, *b2 = nullptr;
    PLRGroup *A = nullptr, *B = nullptr, *C = nullptr;
};

typedef std::vector<std::u16string> Names;

TEST_F(NavigationTest, WindowKeysCycleThroughTheRootsSubtree) {
    buildExample();
    r1->selected = 1;
    openQuietly();
    EXPECT_EQ((Names{u"r2", u"a1", u"b1", u"b2", u"r1"}), press(globalSelectNextWindow, 5));
    expectTreeInStep();
    EXPECT_EQ((Names{u"b2", u"b1", u"a1", u"r2", u"r1"}), press(globalSelectPreviousWindow, 5));
    expectTreeInStep();
    EXPECT_TRUE(logLines().empty());
}

TEST_F(NavigationTest, WindowKeysStayInsideTheSelectedGroup) {
    buildExample();
    selectGroup(A);
    a1->selected = 1;
    openQuietly();
    EXPECT_EQ((Names{u"b1", u"b2", u"a1"}), press(globalSelectNextWindow, 3));
    EXPECT_EQ((Names{u"b2", u"b1", u"a1"}), press(globalSelectPreviousWindow, 3));
    expectTreeInStep();
}

TEST_F(NavigationTest, WindowKeysInAnEmptyGroupChangeNothing) {
    buildExample();
    selectGroup(C);
    openQuietly();
    globalSelectNextWindow();
    globalSelectPreviousWindow();
    EXPECT_EQ(u"-", selectedName());
    EXPECT_TRUE(faketree::messages(kDialog).empty());
}

TEST_F(NavigationTest, GroupKeysWalkThePostOrder) {
    buildExample();
    r1->selected = 1;
    openQuietly();
    EXPECT_EQ((Names{u"B:b1", u"A:a1", u"C:-", u"R:r1"}), pressGroupKey(globalSelectNextGroup, 4));
    expectTreeInStep();
    EXPECT_EQ((Names{u"C:-", u"A:a1", u"B:b1", u"R:r1"}), pressGroupKey(globalSelectPreviousGroup, 4));
    expectTreeInStep();
}

TEST_F(NavigationTest, SingleWindowIsClearedAndSelectedAgain) {
    buildExample();
    PLRGroup *solo = addNamedGroup(C, u"solo");
    PLRWindow *only = addWindow(solo, u"only");
    selectGroup(C);
    only->selected = 1;
    openQuietly();

    globalSelectNextWindow();
    EXPECT_EQ(1, only->selected);
    const std::vector<faketree::Message> forward = messagesOf(TVM_SETITEMW);
    ASSERT_EQ(2u, forward.size());
    EXPECT_EQ(0u, forward[0].state);
    EXPECT_EQ(static_cast<UINT>(INDEXTOSTATEIMAGEMASK(1)), forward[1].state);

    faketree::clearMessages(kDialog);
    globalSelectPreviousWindow();
    EXPECT_EQ(1, only->selected);
    EXPECT_EQ(2u, messagesOf(TVM_SETITEMW).size());
    EXPECT_EQ(STATE_IMAGE_SELECTED_WINDOW, marker(only->hti));
}

TEST_F(NavigationTest, EmptyGroupsAreSkippedAtAnyDepth) {
    // R (r1, E1 (E2 (E3)), G (g1, H (), I (J (j1))), K ())
    PLRWindow *r1w = addWindow(&g_rootGroup, u"r1");
    PLRGroup *e1 = addNamedGroup(&g_rootGroup, u"E1");
    addNamedGroup(addNamedGroup(e1, u"E2"), u"E3");
    PLRGroup *g = addNamedGroup(&g_rootGroup, u"G");
    addWindow(g, u"g1");
    addNamedGroup(g, u"H");
    PLRGroup *i = addNamedGroup(g, u"I");
    addWindow(addNamedGroup(i, u"J"), u"j1");
    addNamedGroup(&g_rootGroup, u"K");
    r1w->selected = 1;
    openQuietly();

    EXPECT_EQ((Names{u"g1", u"j1", u"r1"}), press(globalSelectNextWindow, 3));
    EXPECT_EQ((Names{u"j1", u"g1", u"r1"}), press(globalSelectPreviousWindow, 3));

    // Inside G: its last own window goes to the first window of its first
    // non-empty subgroup, not back to its own first window.
    r1w->select(false);
    g->select(true);
    EXPECT_EQ((Names{u"g1", u"j1", u"g1"}), press(globalSelectNextWindow, 3));
    expectTreeInStep();
}

TEST_F(NavigationTest, WithoutASelectedWindowOnlyTheForwardKeySelects) {
    buildExample();
    selectGroup(A);
    openQuietly();
    globalSelectPreviousWindow();
    EXPECT_EQ(u"-", selectedName());
    EXPECT_TRUE(faketree::messages(kDialog).empty());
    globalSelectNextWindow();
    EXPECT_EQ(u"a1", selectedName());

    // A group without own windows: the first window of its subtree.
    a1->selected = 0;
    selectGroup(B);
    b1->selected = 0;
    globalSelectNextWindow();
    EXPECT_EQ(u"b1", selectedName());
}

TEST_F(NavigationTest, GroupKeysOntoAnEmptyGroupLeaveNoWindow) {
    buildExample();
    selectGroup(A);
    a1->selected = 1;
    openQuietly();
    globalSelectNextGroup();  // A -> C
    EXPECT_EQ(u"C", selectedGroupName());
    EXPECT_EQ(u"-", selectedName());
    faketree::clearMessages(kDialog);
    globalSelectNextWindow();
    globalSelectPreviousWindow();
    EXPECT_EQ(u"-", selectedName());
    EXPECT_TRUE(faketree::messages(kDialog).empty());
    expectTreeInStep();
}

TEST_F(NavigationTest, NextGroupGoesToTheFirstLeafOfTheNextSibling) {
    // R (P, Q (Q1 (Q11), Q2))
    PLRGroup *p = addNamedGroup(&g_rootGroup, u"P");
    PLRGroup *q = addNamedGroup(&g_rootGroup, u"Q");
    PLRGroup *q1 = addNamedGroup(q, u"Q1");
    addNamedGroup(q1, u"Q11");
    addNamedGroup(q, u"Q2");
    selectGroup(p);
    EXPECT_EQ((Names{u"Q11:-", u"Q1:-", u"Q2:-", u"Q:-", u"R:-", u"P:-"}),
              pressGroupKey(globalSelectNextGroup, 6));
}

TEST_F(NavigationTest, PreviousGroupGoesToTheLastSubgroupOrUpAndBack) {
    // R (P, Q (Q1 (Q11)))
    PLRGroup *p = addNamedGroup(&g_rootGroup, u"P");
    PLRGroup *q = addNamedGroup(&g_rootGroup, u"Q");
    PLRGroup *q1 = addNamedGroup(q, u"Q1");
    PLRGroup *q11 = addNamedGroup(q1, u"Q11");
    (void)p;
    selectGroup(q);
    EXPECT_EQ((Names{u"Q1:-"}), pressGroupKey(globalSelectPreviousGroup, 1));
    selectGroup(q11);
    EXPECT_EQ((Names{u"P:-", u"R:-", u"Q:-"}), pressGroupKey(globalSelectPreviousGroup, 3));
}

TEST_F(NavigationTest, GroupKeysClearTheOldWindowFirstAndOnlyInTheOldGroup) {
    buildExample();
    selectGroup(B);
    b2->selected = 1;
    openQuietly();

    globalSelectNextGroup();  // B -> A
    const std::vector<faketree::Message> updates = messagesOf(TVM_SETITEMW);
    ASSERT_EQ(4u, updates.size());
    EXPECT_EQ(b2->hti, updates[0].item);
    EXPECT_EQ(0u, updates[0].state);
    EXPECT_EQ(B->hti, updates[1].item);
    EXPECT_EQ(0u, updates[1].state);
    EXPECT_EQ(A->hti, updates[2].item);
    EXPECT_EQ(static_cast<UINT>(INDEXTOSTATEIMAGEMASK(2)), updates[2].state);
    EXPECT_EQ(a1->hti, updates[3].item);
    EXPECT_EQ(static_cast<UINT>(INDEXTOSTATEIMAGEMASK(1)), updates[3].state);
    expectTreeInStep();

    // A window selected outside the old group (which the model never holds)
    // is not the group key's to clear.
    a1->select(false);
    r1->select(true);
    globalSelectPreviousGroup();  // A -> B
    EXPECT_EQ(1, r1->selected);
    EXPECT_EQ(1, b1->selected);
}

TEST_F(NavigationTest, RootAloneKeepsItsSelectionButTheWindowMovesToTheFirst) {
    PLRWindow *x = addWindow(&g_rootGroup, u"x");
    PLRWindow *y = addWindow(&g_rootGroup, u"y");
    y->selected = 1;
    openQuietly();

    globalSelectNextGroup();
    EXPECT_EQ(1, g_rootGroup.selected);
    EXPECT_EQ(1, x->selected);
    EXPECT_EQ(0, y->selected);
    for (const faketree::Message &m : messagesOf(TVM_SETITEMW)) EXPECT_NE(g_rootGroup.hti, m.item);

    faketree::clearMessages(kDialog);
    y->select(true);
    x->select(false);
    faketree::clearMessages(kDialog);
    globalSelectPreviousGroup();
    EXPECT_EQ(1, g_rootGroup.selected);
    EXPECT_EQ(1, x->selected);
    int rootUpdates = 0;
    for (const faketree::Message &m : messagesOf(TVM_SETITEMW)) rootUpdates += m.item == g_rootGroup.hti ? 1 : 0;
    EXPECT_EQ(2, rootUpdates);
    expectTreeInStep();
}

TEST_F(NavigationTest, MissingSelectedGroupStopsEveryKey) {
    buildExample();
    r1->selected = 1;
    openQuietly();
    g_rootGroup.selected = 0;
    const std::string before = outline(kDialog);

    for (auto key : {globalSelectNextWindow, globalSelectPreviousWindow, globalSelectNextGroup,
                     globalSelectPreviousGroup}) {
        clearCapturedLogLines();
        key();
        EXPECT_EQ((Names{u"globalGetSelectedGroup: could not find selected group."}), logLines());
    }
    EXPECT_EQ(u"r1", selectedName());
    EXPECT_EQ(nullptr, g_rootGroup.getSelectedGroup());
    EXPECT_EQ(before, outline(kDialog));
    EXPECT_TRUE(faketree::messages(kDialog).empty());
}

TEST_F(NavigationTest, KeysWithTheDialogClosedChangeOnlyTheModel) {
    buildExample();
    r1->selected = 1;
    A->expanded = 0;
    B->expanded = 0;
    EXPECT_EQ((Names{u"r2", u"a1", u"b1"}), press(globalSelectNextWindow, 3));
    EXPECT_EQ(1, A->expanded);
    EXPECT_EQ(1, B->expanded);
    EXPECT_EQ((Names{u"C:-"}), pressGroupKey(globalSelectPreviousGroup, 1));
    EXPECT_EQ(0, faketree::messagesWithoutTree());
    EXPECT_TRUE(faketree::messages(kDialog).empty());
    // The next population shows the result.
    openDialog();
    EXPECT_EQ(STATE_IMAGE_SELECTED_GROUP, marker(C->hti));
    EXPECT_EQ(0, marker(b1->hti));
    expectTreeInStep();
}

// Random trees and random sequences of keys, clicks and the user's own
// expanding and collapsing, with the dialog open: after every step the open
// tree equals a fresh population of the model.
class TreeInStepTest : public NavigationTest {
protected:
    std::uint32_t next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }

    void buildRandom(PLRGroup *group, int depth) {
        const int windowCount = below(4);
        for (int i = 0; i < windowCount; ++i) addWindow(group, u"w" + std::u16string(1, u'a' + below(26)));
        if (depth >= 4) return;
        const int groupCount = below(depth == 0 ? 4 : 3);
        for (int i = 0; i < groupCount; ++i) {
            PLRGroup *sub = addNamedGroup(group, u"g" + std::u16string(1, u'a' + below(26)));
            sub->expanded = below(2);
            buildRandom(sub, depth + 1);
        }
    }

    static void collect(PLRGroup *group, std::vector<PLRGroup *> &groups, std::vector<PLRWindow *> &windows) {
        groups.push_back(group);
        for (PLRWindow *window : group->windows) windows.push_back(window);
        for (PLRGroup *sub : group->subgroups) collect(sub, groups, windows);
    }

    // What the dialog does for a click that selects a window: the window's
    // group becomes the selected group unless it already holds the window.
    static void click(PLRWindow *window, PLRGroup *owner) {
        g_rootGroup.deselectSelectedWindow();
        PLRGroup *selected = globalGetSelectedGroup();
        if (selected == nullptr || selected->findWindowByHwnd(window->hwnd) != window) owner->select(true);
        window->select(true);
    }

    std::uint32_t state_ = 0;
};

TEST_F(TreeInStepTest, RandomSequencesKeepTheTreeInStep) {
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        resetModelWorld();
        faketree::reset();
        fakeimg::reset();
        faketree::createTree(kDialog);
        faketree::createTree(kOtherDialog);
        state_ = seed;
        buildRandom(&g_rootGroup, 0);
        g_rootGroup.selectFirstWindow();
        openQuietly();
        std::vector<PLRGroup *> groups;
        std::vector<PLRWindow *> windows;
        collect(&g_rootGroup, groups, windows);

        for (int step = 0; step < 150 && !HasFailure(); ++step) {
            const int action = below(7);
            switch (action) {
            case 0: globalSelectNextWindow(); break;
            case 1: globalSelectPreviousWindow(); break;
            case 2: globalSelectNextGroup(); break;
            case 3: globalSelectPreviousGroup(); break;
            case 4:
                if (!windows.empty()) {
                    PLRWindow *window = windows[static_cast<std::size_t>(below(static_cast<int>(windows.size())))];
                    PLRGroup *owner = nullptr;
                    for (PLRGroup *group : groups) {
                        for (PLRWindow *own : group->windows) owner = own == window ? group : owner;
                    }
                    click(window, owner);
                }
                break;
            default: {
                // The user opens or closes a group; the dialog records what
                // the control reports as done.
                PLRGroup *group = groups[static_cast<std::size_t>(below(static_cast<int>(groups.size())))];
                const UINT how = action == 5 ? TVE_COLLAPSE : TVE_EXPAND;
                if (sendTreeMessage(kDialog, TVM_EXPAND, how, reinterpret_cast<LPARAM>(group->hti)))
                    group->expanded = how == TVE_EXPAND ? 1 : 0;
                break;
            }
            }
            SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step) + " action " +
                         std::to_string(action));
            expectTreeInStep();
        }
        closeDialog();
    }
}

}  // namespace
