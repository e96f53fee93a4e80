// The prepared population (plan on the model's thread, items inserted from
// the plan alone, handles stored afterwards) must give exactly the tree,
// pictures and log lines that populateTreeView gives, and must refuse to
// store handles once the model no longer shows what the plan copied.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "switcher/population_plan.h"
#include "switcher_test_support.h"

namespace {

// Everything a population leaves behind that the user or later code sees.
struct Shown {
    std::string outline;
    std::vector<HICON> icons;          // normal list, index 1 on
    std::vector<int> iconSourceSizes;  // width of the picture each place was filled from
    std::vector<int> stateResources;   // state list
    int groupResource = 0;             // normal list, index 0
    std::vector<std::u16string> log;
    std::vector<int> imageIndices;     // windows in tree order
    std::vector<bool> windowHasItem;   // windows in tree order
    std::vector<std::u16string> windowItemTexts;

    bool operator==(const Shown &o) const {
        return outline == o.outline && icons == o.icons && iconSourceSizes == o.iconSourceSizes &&
               stateResources == o.stateResources &&
               groupResource == o.groupResource && log == o.log && imageIndices == o.imageIndices &&
               windowHasItem == o.windowHasItem && windowItemTexts == o.windowItemTexts;
    }
};

class PopulationPlanTest : public SwitcherTest {
protected:
    // Root windows r1, r2; group G (collapsed) with w1, w2 and subgroup H;
    // H with h1; an empty group E. w2 and H carry the markers.
    void buildExample() {
        r1 = addWindow(&g_rootGroup, u"r1");
        r2 = addWindow(&g_rootGroup, u"r2");
        G = addNamedGroup(&g_rootGroup, u"G");
        w1 = addWindow(G, u"w1");
        w2 = addWindow(G, u"w2");
        H = addNamedGroup(G, u"H");
        h1 = addWindow(H, u"h1");
        addNamedGroup(&g_rootGroup, u"E");
        G->expanded = 0;
        g_rootGroup.selected = 0;
        H->selected = 1;
        w2->selected = 1;
    }

    static void windowsInOrder(PLRGroup *group, std::vector<PLRWindow *> &out) {
        for (PLRWindow *window : group->windows) out.push_back(window);
        for (PLRGroup *subgroup : group->subgroups) windowsInOrder(subgroup, out);
    }

    Shown capture() {
        Shown shown;
        shown.outline = outline(kDialog);
        HIMAGELIST normal = faketree::imageList(kDialog, TVSIL_NORMAL);
        for (int i = 1; i < fakeimg::imageCount(normal); ++i) {
            shown.icons.push_back(fakeimg::iconAt(normal, i));
            shown.iconSourceSizes.push_back(fakeimg::info(normal).images[static_cast<std::size_t>(i)].sourceWidth);
        }
        if (fakeimg::imageCount(normal) > 0) shown.groupResource = fakeimg::resourceAt(normal, 0);
        HIMAGELIST state = faketree::imageList(kDialog, TVSIL_STATE);
        for (int i = 0; i < fakeimg::imageCount(state); ++i)
            shown.stateResources.push_back(fakeimg::resourceAt(state, i));
        shown.log = logLines();
        std::vector<PLRWindow *> windows;
        windowsInOrder(&g_rootGroup, windows);
        for (PLRWindow *window : windows) {
            shown.imageIndices.push_back(window->imageIndex);
            shown.windowHasItem.push_back(window->hti != nullptr);
            shown.windowItemTexts.push_back(window->hti != nullptr ? itemText(window->hti) : u"");
        }
        return shown;
    }

    void reopenTree() {
        closeDialog(kDialog);
        faketree::createTree(kDialog);
        clearCapturedLogLines();
    }

    Shown viaPopulateTreeView() {
        clearCapturedLogLines();
        openDialog(kDialog);
        Shown shown = capture();
        reopenTree();
        return shown;
    }

    Shown viaPlan() {
        clearCapturedLogLines();
        g_hwndSwitcherDialog = kDialog;
        g_rootGroup.hti = nullptr;
        const PopulationPlan plan = buildPopulationPlan();
        const std::vector<HTREEITEM> handles = applyPopulationPlan(kDialog, plan);
        EXPECT_TRUE(adoptPopulation(plan, handles));
        Shown shown = capture();
        reopenTree();
        return shown;
    }

public:
    PLRWindow *r1 = nullptr, *r2 = nullptr, *w1 = nullptr, *w2 = nullptr, *h1 = nullptr;
    PLRGroup *G = nullptr, *H = nullptr;
};

TEST_F(PopulationPlanTest, PlanGivesTheTreeOfTheDirectPopulation) {
    buildExample();
    const Shown direct = viaPopulateTreeView();
    const Shown planned = viaPlan();
    EXPECT_EQ(direct.outline, planned.outline);
    EXPECT_TRUE(direct == planned);
    EXPECT_EQ(5u, planned.icons.size());
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5}), planned.imageIndices);
    EXPECT_EQ(r1->hIconSmall, planned.icons.at(0));
    EXPECT_EQ(h1->hIconSmall, planned.icons.at(4));

    // The messages themselves: same order, forms and texts.
    openDialog(kDialog);
    const std::vector<faketree::Message> directMessages = faketree::messages(kDialog);
    reopenTree();
    faketree::clearMessages(kDialog);
    g_hwndSwitcherDialog = kDialog;
    const PopulationPlan plan = buildPopulationPlan();
    ASSERT_TRUE(adoptPopulation(plan, applyPopulationPlan(kDialog, plan)));
    std::vector<faketree::Message> plannedMessages = faketree::messages(kDialog);
    // The dialog's own thread fills a tree not yet shown with redrawing off
    // around the items, and leaves it on.
    EXPECT_TRUE(faketree::redrawOn(kDialog));
    const auto isRedraw = [](const faketree::Message &m) { return m.message == WM_SETREDRAW; };
    ASSERT_EQ(2, std::count_if(plannedMessages.begin(), plannedMessages.end(), isRedraw));
    const auto off = std::find_if(plannedMessages.begin(), plannedMessages.end(), isRedraw);
    EXPECT_EQ(0u, off->wParam);
    const auto firstInsert = std::find_if(plannedMessages.begin(), plannedMessages.end(),
                                          [](const faketree::Message &m) { return m.message == TVM_INSERTITEMW; });
    EXPECT_LT(off - plannedMessages.begin(), firstInsert - plannedMessages.begin());
    EXPECT_EQ(1u, plannedMessages.back().wParam);
    EXPECT_EQ(static_cast<UINT>(WM_SETREDRAW), plannedMessages.back().message);
    plannedMessages.erase(std::remove_if(plannedMessages.begin(), plannedMessages.end(), isRedraw),
                          plannedMessages.end());
    ASSERT_EQ(directMessages.size(), plannedMessages.size());
    for (std::size_t i = 0; i < directMessages.size(); ++i) {
        const faketree::Message &a = directMessages[i];
        const faketree::Message &b = plannedMessages[i];
        EXPECT_EQ(a.message, b.message) << i;
        EXPECT_EQ(a.wParam, b.wParam) << i;
        EXPECT_EQ(a.text, b.text) << i;
        EXPECT_EQ(a.mask, b.mask) << i;
        EXPECT_EQ(a.stateMask, b.stateMask) << i;
        EXPECT_EQ(a.insertAfter, b.insertAfter) << i;
        EXPECT_EQ(a.parent == nullptr, b.parent == nullptr) << i;
    }
}

// A small icon is not always 16 pixels: the stand-in for a window that does
// not answer is the 32-pixel application icon, and a window with only a
// large icon shows that one. Each still takes exactly its own place, on both
// ways of filling the list, and the list is given only pictures of its own
// size (appended as they are, a 32-pixel picture would take two places and
// move every later window's picture).
TEST_F(PopulationPlanTest, IconsOfEverySizeTakeOnePlaceEach) {
    buildExample();
    r2->hIconSmall = FakeDesktop::applicationIcon();
    w1->hIconSmall = fakeDesktop().newIcon(32);
    w2->hIconSmall = fakeDesktop().newIcon(48);
    const Shown direct = viaPopulateTreeView();
    const Shown planned = viaPlan();
    EXPECT_TRUE(direct == planned);
    EXPECT_EQ((std::vector<HICON>{r1->hIconSmall, r2->hIconSmall, w1->hIconSmall, w2->hIconSmall, h1->hIconSmall}),
              direct.icons);
    EXPECT_EQ(std::vector<int>(5, 16), direct.iconSourceSizes);
    EXPECT_EQ(std::vector<int>(5, 16), planned.iconSourceSizes);
    EXPECT_TRUE(planned.log.empty());
}

// Windows sharing one icon reuse its bitmaps, yet each keeps its own place;
// failures log and stand in exactly as the direct population does.
TEST_F(PopulationPlanTest, SharedAndFailingIconsKeepEveryPictureInPlace) {
    buildExample();
    w1->hIconSmall = r1->hIconSmall;
    h1->hIconSmall = r1->hIconSmall;
    fakeimg::setIconInfoFails(r2->hIconSmall, true);
    w2->hIconSmall = r2->hIconSmall;
    const Shown direct = viaPopulateTreeView();
    const Shown planned = viaPlan();
    EXPECT_TRUE(direct == planned);
    ASSERT_EQ(5u, planned.icons.size());
    EXPECT_EQ(r1->hIconSmall, planned.icons[2]);
    EXPECT_EQ(r1->hIconSmall, planned.icons[4]);
    EXPECT_EQ(FakeDesktop::applicationIcon(), planned.icons[1]);
    EXPECT_EQ(FakeDesktop::applicationIcon(), planned.icons[3]);
    // One GetIconInfo report per window whose icon failed.
    EXPECT_EQ(2u, planned.log.size());
    EXPECT_EQ(0, fakeimg::liveBitmaps());

    fakeimg::setIconInfoFails(r2->hIconSmall, false);
    fakeimg::setAddFailsForIcon(r1->hIconSmall, true);
    const Shown directAddFails = viaPopulateTreeView();
    const Shown plannedAddFails = viaPlan();
    EXPECT_TRUE(directAddFails == plannedAddFails);
    EXPECT_EQ((std::vector<std::u16string>(3, u"Couldn't add image to image list.")), plannedAddFails.log);
}

// The list is grown to its full size before the pictures go in, so a place
// that can take neither its icon nor the stand-in stays blank and every
// later window keeps its own picture (appending would move them up by one).
TEST_F(PopulationPlanTest, PlaceWithoutAnyPictureStaysBlankAndTheRestKeepTheirPlaces) {
    buildExample();
    fakeimg::setAddFailsForIcon(r2->hIconSmall, true);
    fakeimg::setAddFailsForIcon(FakeDesktop::applicationIcon(), true);
    const Shown planned = viaPlan();
    ASSERT_EQ(5u, planned.icons.size());
    EXPECT_EQ(r1->hIconSmall, planned.icons[0]);
    EXPECT_EQ(nullptr, planned.icons[1]);
    EXPECT_EQ(w1->hIconSmall, planned.icons[2]);
    EXPECT_EQ(h1->hIconSmall, planned.icons[4]);
    EXPECT_EQ((std::vector<std::u16string>{u"Couldn't add image to image list.",
                                           u"Couldn't add stand-in image to image list."}),
              planned.log);
    EXPECT_EQ(0, fakeimg::liveBitmaps());
}

TEST_F(PopulationPlanTest, RefusedItemsLeaveTheSameGapsAsTheDirectPopulation) {
    buildExample();
    // Root, r1 and r2 go in; G's item is refused.
    faketree::setInsertFailures(kDialog, 1, 3);
    const Shown direct = viaPopulateTreeView();
    faketree::setInsertFailures(kDialog, 1, 3);
    const Shown planned = viaPlan();
    EXPECT_TRUE(direct == planned);
    EXPECT_EQ((std::vector<bool>{true, true, false, false, false}), planned.windowHasItem);
    EXPECT_EQ(5, planned.imageIndices.back());

    faketree::setInsertFailures(kDialog, 1);
    g_hwndSwitcherDialog = kDialog;
    const PopulationPlan plan = buildPopulationPlan();
    const std::vector<HTREEITEM> handles = applyPopulationPlan(kDialog, plan);
    EXPECT_EQ(0, faketree::itemCount(kDialog));
    for (HTREEITEM handle : handles) EXPECT_EQ(nullptr, handle);
}

TEST_F(PopulationPlanTest, HandlesGoToTheRecordsTheItemsShow) {
    buildExample();
    g_hwndSwitcherDialog = kDialog;
    g_rootGroup.hti = nullptr;
    const PopulationPlan plan = buildPopulationPlan();
    const std::vector<HTREEITEM> handles = applyPopulationPlan(kDialog, plan);
    ASSERT_TRUE(adoptPopulation(plan, handles));
    EXPECT_EQ(u"Root Group", itemText(g_rootGroup.hti));
    for (PLRWindow *window : {r1, r2, w1, w2, h1}) {
        ASSERT_NE(nullptr, window->hti);
        EXPECT_EQ(std::u16string(window->caption), itemText(window->hti));
        EXPECT_EQ(window->imageIndex, faketree::item(kDialog, window->hti).image);
    }
    EXPECT_EQ(G->hti, faketree::item(kDialog, H->hti).parent);
    EXPECT_EQ(H->hti, faketree::item(kDialog, h1->hti).parent);
    // Later commands address the new items.
    faketree::clearMessages(kDialog);
    w2->select(false);
    EXPECT_EQ(0, marker(w2->hti));
}

// Anything that changes what the tree shows between the plan and the
// handles makes the handles unusable: none is stored.
TEST_F(PopulationPlanTest, ChangedModelRefusesTheHandles) {
    struct Change {
        const char *name;
        void (*apply)(PopulationPlanTest &);
    };
    const Change changes[] = {
        {"selection", [](PopulationPlanTest &t) { t.w2->selected = 0, t.w1->selected = 1; }},
        {"caption", [](PopulationPlanTest &t) { plrCopy(t.h1->caption, PLRWindow::kCaptionUnits, u"renamed"); }},
        {"expansion", [](PopulationPlanTest &t) { t.G->expanded = 1; }},
        {"icon", [](PopulationPlanTest &t) { t.r1->hIconSmall = t.r2->hIconSmall; }},
        {"order", [](PopulationPlanTest &t) { std::swap(t.G->windows.front(), t.G->windows.back()); }},
        {"new group", [](PopulationPlanTest &t) { addNamedGroup(t.H, u"new"); }},
    };
    buildExample();
    for (const Change &change : changes) {
        SCOPED_TRACE(change.name);
        g_hwndSwitcherDialog = kDialog;
        g_rootGroup.hti = nullptr;
        const PopulationPlan plan = buildPopulationPlan();
        const std::vector<HTREEITEM> handles = applyPopulationPlan(kDialog, plan);
        EXPECT_TRUE(planMatchesModel(plan));
        change.apply(*this);
        EXPECT_FALSE(planMatchesModel(plan));
        EXPECT_FALSE(adoptPopulation(plan, handles));
        EXPECT_EQ(nullptr, g_rootGroup.hti);
        for (PLRWindow *window : {r1, r2, w1, w2, h1}) EXPECT_EQ(nullptr, window->hti);
        reopenTree();
    }
    // Handles of another length are refused as well.
    const PopulationPlan plan = buildPopulationPlan();
    EXPECT_FALSE(adoptPopulation(plan, std::vector<HTREEITEM>(plan.items.size() - 1, nullptr)));
}

}  // namespace
