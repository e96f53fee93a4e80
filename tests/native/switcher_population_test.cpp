// Filling the tree view from the model: item order and forms, image lists and
// image indices, markers and expansion, failures that must not shift the
// pictures, and the release of what the population created.
#include <gtest/gtest.h>

#include <algorithm>

#include "switcher/navigation.h"
#include "switcher_test_support.h"

namespace {

class PopulationTest : public SwitcherTest {
protected:
    // Root windows r1, r2; group G with w1, w2 and subgroup H; H with h1.
    void buildExample() {
        r1 = addWindow(&g_rootGroup, u"r1");
        r2 = addWindow(&g_rootGroup, u"r2");
        G = addNamedGroup(&g_rootGroup, u"G");
        w1 = addWindow(G, u"w1");
        w2 = addWindow(G, u"w2");
        H = addNamedGroup(G, u"H");
        h1 = addWindow(H, u"h1");
    }

    static bool lineStartsWith(const std::u16string &line, const std::u16string &prefix) {
        return line.compare(0, prefix.size(), prefix) == 0;
    }

    PLRWindow *r1 = nullptr, *r2 = nullptr, *w1 = nullptr, *w2 = nullptr, *h1 = nullptr;
    PLRGroup *G = nullptr, *H = nullptr;
};

TEST_F(PopulationTest, OnlyTheRootGivesOneItemAndOnePicture) {
    plrCopy(g_rootGroup.name, PLRGroup::kNameUnits, u"Something else");
    openDialog();

    ASSERT_EQ(1, faketree::itemCount(kDialog));
    HTREEITEM root = faketree::children(kDialog, nullptr).at(0);
    EXPECT_EQ(g_rootGroup.hti, root);
    EXPECT_EQ(u"Root Group", itemText(root));
    EXPECT_EQ(STATE_IMAGE_SELECTED_GROUP, marker(root));
    EXPECT_TRUE(faketree::isExpanded(kDialog, root));

    HIMAGELIST normal = faketree::imageList(kDialog, TVSIL_NORMAL);
    ASSERT_TRUE(fakeimg::isLiveImageList(normal));
    EXPECT_EQ(1, fakeimg::imageCount(normal));
    EXPECT_EQ(IDB_GROUP, fakeimg::resourceAt(normal, 0));
    const fakeimg::ImageListInfo normalInfo = fakeimg::info(normal);
    EXPECT_EQ(16, normalInfo.cx);
    EXPECT_EQ(static_cast<UINT>(ILC_COLOR16 | ILC_MASK), normalInfo.flags);
    EXPECT_EQ(1, normalInfo.initial);
    EXPECT_FALSE(normalInfo.images[0].hasMaskBitmap);

    HIMAGELIST state = faketree::imageList(kDialog, TVSIL_STATE);
    const fakeimg::ImageListInfo stateInfo = fakeimg::info(state);
    ASSERT_EQ(3u, stateInfo.images.size());
    EXPECT_EQ(2, stateInfo.initial);
    EXPECT_EQ(IDB_ARROW, fakeimg::resourceAt(state, 0));
    EXPECT_EQ(IDB_ARROW, fakeimg::resourceAt(state, STATE_IMAGE_SELECTED_WINDOW));
    EXPECT_EQ(IDB_STAR, fakeimg::resourceAt(state, STATE_IMAGE_SELECTED_GROUP));
    for (const fakeimg::ImageEntry &entry : stateInfo.images) {
        EXPECT_TRUE(entry.maskedByColour);
        EXPECT_EQ(0x00FFFFFFu, entry.maskColour);
        // The arrow must be drawn on a transparent background, not on the
        // black square a bitmap already masked once would give.
        EXPECT_FALSE(entry.opaqueBackground);
    }
    EXPECT_EQ(0, fakeimg::liveBitmaps());
    EXPECT_TRUE(logLines().empty());
}

TEST_F(PopulationTest, ItemsFollowTreeOrderAndIndicesFollowTheIcons) {
    buildExample();
    openDialog();

    EXPECT_EQ((std::vector<std::u16string>{u"r1", u"r2", u"G"}), childTexts(g_rootGroup.hti));
    EXPECT_EQ((std::vector<std::u16string>{u"w1", u"w2", u"H"}), childTexts(G->hti));
    EXPECT_EQ((std::vector<std::u16string>{u"h1"}), childTexts(H->hti));
    EXPECT_EQ(8, faketree::itemCount(kDialog));

    HIMAGELIST normal = faketree::imageList(kDialog, TVSIL_NORMAL);
    EXPECT_EQ(6, fakeimg::info(normal).initial);
    ASSERT_EQ(6, fakeimg::imageCount(normal));
    int expected = 1;
    for (PLRWindow *window : {r1, r2, w1, w2, h1}) {
        EXPECT_EQ(expected, window->imageIndex);
        const faketree::ItemView view = faketree::item(kDialog, window->hti);
        EXPECT_EQ(expected, view.image);
        EXPECT_EQ(expected, view.selectedImage);
        EXPECT_EQ(window->hIconSmall, fakeimg::iconAt(normal, expected)) << "index " << expected;
        EXPECT_TRUE(fakeimg::info(normal).images[expected].hasMaskBitmap);
        ++expected;
    }
    for (PLRGroup *group : {&g_rootGroup, G, H}) {
        EXPECT_EQ(GROUP_IMAGE_INDEX, faketree::item(kDialog, group->hti).image);
        EXPECT_EQ(GROUP_IMAGE_INDEX, faketree::item(kDialog, group->hti).selectedImage);
    }
    EXPECT_EQ(0, fakeimg::liveBitmaps());
}

TEST_F(PopulationTest, EveryItemHasTheFormOfItsKind) {
    buildExample();
    openDialog();

    const std::vector<faketree::Message> inserts = messagesOf(TVM_INSERTITEMW);
    ASSERT_EQ(8u, inserts.size());
    const faketree::Message &root = inserts[0];
    EXPECT_EQ(nullptr, root.parent);
    EXPECT_EQ(TVI_ROOT, root.insertAfter);
    EXPECT_EQ(u"Root Group", root.text);
    EXPECT_EQ(0xF07Fu, root.stateMask);
    for (const faketree::Message &insert : inserts) {
        EXPECT_EQ(0x2Bu, insert.mask);
        if (&insert != &root) {
            EXPECT_EQ(TVI_LAST, insert.insertAfter);
        }
        const bool isGroup = insert.text == u"Root Group" || insert.text == u"G" || insert.text == u"H";
        EXPECT_EQ(isGroup ? 0xF07Fu : 0xF000u, insert.stateMask) << std::string(insert.text.begin(), insert.text.end());
    }
    // The lists are attached before the first item exists.
    std::vector<faketree::Message> all = faketree::messages(kDialog);
    all.erase(std::remove_if(all.begin(), all.end(),
                             [](const faketree::Message &m) { return m.message == TVM_GETIMAGELIST; }),
              all.end());
    ASSERT_GE(all.size(), 3u);
    EXPECT_EQ(static_cast<UINT>(TVM_SETIMAGELIST), all[0].message);
    EXPECT_EQ(static_cast<WPARAM>(TVSIL_NORMAL), all[0].wParam);
    EXPECT_EQ(static_cast<UINT>(TVM_SETIMAGELIST), all[1].message);
    EXPECT_EQ(static_cast<WPARAM>(TVSIL_STATE), all[1].wParam);
}

TEST_F(PopulationTest, MarkersShowOnlyTheSelectedRecords) {
    buildExample();
    w2->selected = 1;
    g_rootGroup.selected = 0;
    H->selected = 1;
    openDialog();

    for (PLRWindow *window : {r1, r2, w1, w2, h1})
        EXPECT_EQ(window == w2 ? STATE_IMAGE_SELECTED_WINDOW : 0, marker(window->hti));
    for (PLRGroup *group : {&g_rootGroup, G, H})
        EXPECT_EQ(group == H ? STATE_IMAGE_SELECTED_GROUP : 0, marker(group->hti));
    // A group item starts with no low state bits but its expansion.
    EXPECT_EQ(static_cast<UINT>(INDEXTOSTATEIMAGEMASK(2) | TVIS_EXPANDED),
              faketree::item(kDialog, H->hti).state);
}

TEST_F(PopulationTest, CollapsedGroupsStillHoldTheirItems) {
    buildExample();
    G->expanded = 0;
    g_rootGroup.expanded = 0;
    openDialog();

    EXPECT_FALSE(faketree::isExpanded(kDialog, g_rootGroup.hti));
    EXPECT_FALSE(faketree::isExpanded(kDialog, G->hti));
    EXPECT_TRUE(faketree::isExpanded(kDialog, H->hti));
    EXPECT_EQ((std::vector<std::u16string>{u"w1", u"w2", u"H"}), childTexts(G->hti));
    EXPECT_EQ(h1->hti, faketree::children(kDialog, H->hti).at(0));
}

TEST_F(PopulationTest, EmptyGroupsGetAGroupItem) {
    PLRGroup *empty = addNamedGroup(&g_rootGroup, u"Empty");
    PLRGroup *nested = addNamedGroup(empty, u"Nested empty");
    openDialog();

    ASSERT_TRUE(faketree::isItem(kDialog, empty->hti));
    ASSERT_TRUE(faketree::isItem(kDialog, nested->hti));
    EXPECT_EQ(u"Empty", itemText(empty->hti));
    EXPECT_EQ(GROUP_IMAGE_INDEX, faketree::item(kDialog, empty->hti).image);
    EXPECT_EQ(empty->hti, faketree::item(kDialog, nested->hti).parent);
    EXPECT_EQ(1, fakeimg::imageCount(faketree::imageList(kDialog, TVSIL_NORMAL)));
}

// A window whose icon cannot be had must not shift the pictures of the
// windows after it: each index still names the window's own icon.
TEST_F(PopulationTest, FailedIconKeepsLaterIndicesAligned) {
    buildExample();
    fakeimg::setIconInfoFails(r2->hIconSmall, true);
    fakeimg::setAddFailsForIcon(w2->hIconSmall, true);
    openDialog();

    HIMAGELIST normal = faketree::imageList(kDialog, TVSIL_NORMAL);
    ASSERT_EQ(6, fakeimg::imageCount(normal));
    EXPECT_EQ(r1->hIconSmall, fakeimg::iconAt(normal, 1));
    EXPECT_EQ(FakeDesktop::applicationIcon(), fakeimg::iconAt(normal, 2));
    EXPECT_EQ(w1->hIconSmall, fakeimg::iconAt(normal, 3));
    EXPECT_EQ(FakeDesktop::applicationIcon(), fakeimg::iconAt(normal, 4));
    EXPECT_EQ(h1->hIconSmall, fakeimg::iconAt(normal, 5));
    EXPECT_EQ(5, h1->imageIndex);
    EXPECT_EQ(5, faketree::item(kDialog, h1->hti).image);

    const std::vector<std::u16string> lines = logLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_TRUE(lineStartsWith(lines[0], u"GetIconInfo, called from AddGroupIconsToImageList failed with error 1402"))
        << std::string(lines[0].begin(), lines[0].end());
    EXPECT_EQ(u"Couldn't add image to image list.", lines[1]);
    EXPECT_EQ(0, fakeimg::liveBitmaps());
}

TEST_F(PopulationTest, MissingBitmapsKeepEveryPictureInItsPlace) {
    buildExample();
    fakeimg::setLoadBitmapFails(IDB_GROUP, true);
    fakeimg::setLoadBitmapFails(IDB_ARROW, true);
    openDialog();

    HIMAGELIST normal = faketree::imageList(kDialog, TVSIL_NORMAL);
    ASSERT_EQ(6, fakeimg::imageCount(normal));
    EXPECT_EQ(r1->hIconSmall, fakeimg::iconAt(normal, 1));
    EXPECT_EQ(h1->hIconSmall, fakeimg::iconAt(normal, 5));
    HIMAGELIST state = faketree::imageList(kDialog, TVSIL_STATE);
    ASSERT_EQ(3, fakeimg::imageCount(state));
    EXPECT_EQ(IDB_STAR, fakeimg::resourceAt(state, STATE_IMAGE_SELECTED_GROUP));

    // The arrow is loaded once per add (a masked add changes the bitmap), so
    // its failure is reported for each of its two places.
    EXPECT_EQ((std::vector<std::u16string>{u"LoadBitmap failed.", u"ImageList_Add failed.", u"LoadBitmap failed.",
                                           u"ImageList_Add failed.", u"LoadBitmap failed.", u"ImageList_Add failed."}),
              logLines());
    // The tree is filled all the same.
    EXPECT_EQ(8, faketree::itemCount(kDialog));
}

TEST_F(PopulationTest, FailedImageListCreationStillFillsTheTree) {
    buildExample();
    fakeimg::setCreateFailures(2);
    openDialog();

    EXPECT_EQ(8, faketree::itemCount(kDialog));
    EXPECT_EQ(nullptr, faketree::imageList(kDialog, TVSIL_NORMAL));
    EXPECT_EQ(5, h1->imageIndex);
    const std::vector<std::u16string> lines = logLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(u"ImageList_Create failed.", lines[0]);
    EXPECT_EQ(2, static_cast<int>(std::count(lines.begin(), lines.end(), u"ImageList_Create failed.")));
    EXPECT_EQ(0, fakeimg::liveImageLists());
}

TEST_F(PopulationTest, FailedGroupItemLeavesItsSubtreeWithoutItems) {
    buildExample();
    // Root, r1 and r2 go in; G's item fails.
    faketree::setInsertFailures(kDialog, 1, 3);
    openDialog();

    EXPECT_EQ(3, faketree::itemCount(kDialog));
    EXPECT_EQ((std::vector<std::u16string>{u"r1", u"r2"}), childTexts(g_rootGroup.hti));
    EXPECT_EQ(1u, faketree::children(kDialog, nullptr).size());
    for (PLRWindow *window : {w1, w2, h1}) EXPECT_EQ(nullptr, window->hti);
    for (PLRGroup *group : {G, H}) EXPECT_EQ(nullptr, group->hti);
    // The indices still follow the icons.
    EXPECT_EQ(3, w1->imageIndex);
    EXPECT_EQ(5, h1->imageIndex);

    // Later operations on those records change the model, log, and send
    // nothing for them.
    clearCapturedLogLines();
    faketree::clearMessages(kDialog);
    h1->select(true);
    EXPECT_EQ(1, h1->selected);
    EXPECT_TRUE(messagesOf(TVM_SETITEMW).empty());
    const std::vector<faketree::Message> expands = messagesOf(TVM_EXPAND);
    ASSERT_EQ(1u, expands.size());
    EXPECT_EQ(g_rootGroup.hti, expands[0].item);
    EXPECT_EQ((std::vector<std::u16string>{u"PLRGroup::expand: hti was NULL.  Not sending message.",
                                           u"PLRGroup::expand: hti was NULL.  Not sending message.",
                                           u"PLRWindow::select: hti was NULL.  Not sending message."}),
              logLines());
}

TEST_F(PopulationTest, FailedRootItemInsertsNothingAtTheTopLevel) {
    buildExample();
    faketree::setInsertFailures(kDialog, 1);
    openDialog();
    EXPECT_EQ(nullptr, g_rootGroup.hti);
    EXPECT_EQ(0, faketree::itemCount(kDialog));
    for (PLRWindow *window : {r1, r2, w1, w2, h1}) EXPECT_EQ(nullptr, window->hti);
    EXPECT_EQ(5, h1->imageIndex);
}

TEST_F(PopulationTest, ReleasingTheListsLeavesNothingBehind) {
    buildExample();
    openDialog();
    EXPECT_EQ(2, fakeimg::liveImageLists());
    EXPECT_EQ(0, fakeimg::liveBitmaps());
    releaseTreeImageLists(kDialog);
    EXPECT_EQ(0, fakeimg::liveImageLists());
    EXPECT_EQ(nullptr, faketree::imageList(kDialog, TVSIL_NORMAL));
    EXPECT_EQ(nullptr, faketree::imageList(kDialog, TVSIL_STATE));
    // A second release finds nothing to destroy.
    releaseTreeImageLists(kDialog);
    EXPECT_EQ(0, fakeimg::invalidDestroys());
}

TEST_F(PopulationTest, PopulatingTheSameTreeAgainDestroysTheListsItReplaces) {
    buildExample();
    openDialog();
    const HIMAGELIST normal = faketree::imageList(kDialog, TVSIL_NORMAL);
    const HIMAGELIST state = faketree::imageList(kDialog, TVSIL_STATE);
    sendTreeMessage(kDialog, TVM_DELETEITEM, 0, 0);
    populateTreeView(kDialog);
    EXPECT_EQ(2, fakeimg::liveImageLists());
    // The pictures of the windows are new; the state pictures never change
    // and stay, as do those a dialog made ahead loaded while it waited.
    EXPECT_NE(normal, faketree::imageList(kDialog, TVSIL_NORMAL));
    EXPECT_EQ(state, faketree::imageList(kDialog, TVSIL_STATE));
    releaseTreeImageLists(kDialog);
    EXPECT_EQ(0, fakeimg::liveImageLists());
}

// The root's handle survives a switch (the end of a switch clears the others
// only); the next dialog's root item must never be addressed with it.
TEST_F(PopulationTest, NextDialogNeverSeesThePreviousRootItem) {
    buildExample();
    h1->selected = 1;
    openDialog(kOtherDialog);
    const HTREEITEM oldRoot = g_rootGroup.hti;
    closeDialog(kOtherDialog);
    ASSERT_EQ(oldRoot, g_rootGroup.hti);

    openDialog(kDialog);
    EXPECT_NE(oldRoot, g_rootGroup.hti);
    EXPECT_TRUE(faketree::isItem(kDialog, g_rootGroup.hti));
    for (const faketree::Message &message : faketree::messages(kDialog)) {
        EXPECT_NE(oldRoot, message.item);
        EXPECT_NE(oldRoot, message.parent);
    }
    // Commands after the population address the new items.
    faketree::clearMessages(kDialog);
    globalSelectNextWindow();
    EXPECT_EQ(1, r1->selected);
    const std::vector<faketree::Message> expands = messagesOf(TVM_EXPAND);
    ASSERT_EQ(1u, expands.size());
    EXPECT_EQ(g_rootGroup.hti, expands[0].item);
}

}  // namespace
