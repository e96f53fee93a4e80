// Shared set-up of the switcher tests: the model fixture plus a fake dialog
// with its tree control, records with icons of their own, and a comparison
// of the open tree with what a fresh population of the model shows.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model_fixture.h"
#include "platform/desktop.h"
#include "platform/fake/fake_imagelist.h"
#include "platform/fake/fake_tree.h"
#include "switcher/population.h"

class SwitcherTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        faketree::reset();
        fakeimg::reset();
        faketree::createTree(kDialog);
        faketree::createTree(kOtherDialog);
    }

    void TearDown() override {
        // Faults no test may leave behind: a message naming no live item, a
        // message to a dialog without a tree, a GDI bitmap not deleted, and
        // an icon destroyed that is not the program's or made and kept.
        EXPECT_EQ(0, faketree::invalidHandleUses(kDialog)) << reports(kDialog) << faketree::dump(kDialog);
        EXPECT_EQ(0, faketree::invalidHandleUses(kOtherDialog)) << reports(kOtherDialog);
        EXPECT_EQ(0, faketree::messagesWithoutTree());
        EXPECT_EQ(0, fakeimg::liveBitmaps());
        EXPECT_EQ(0, fakeimg::invalidDeletes());
        EXPECT_EQ(0, fakeimg::invalidDestroys());
        EXPECT_EQ(0, fakeimg::liveIconCopies());
        EXPECT_EQ(0, fakeimg::invalidIconDestroys());
        faketree::reset();
        fakeimg::reset();
        ModelTest::TearDown();
    }

    // A window record with a handle and a small icon of its own.
    PLRWindow *addWindow(PLRGroup *group, const std::u16string &caption) {
        PLRWindow *window = addRecord(group, handle(0x10000 + 0x10 * ++windowCount_), caption);
        window->hIconSmall = fakeDesktop().newIcon();
        window->hIconBig = window->hIconSmall;
        return window;
    }

    // A subgroup with a name of the test's choosing.
    static PLRGroup *addNamedGroup(PLRGroup *parent, const std::u16string &name) {
        PLRGroup *group = addGroup(parent);
        plrCopy(group->name, PLRGroup::kNameUnits, name.c_str());
        return group;
    }

    // The dialog opens: the handle is published and the tree filled.
    void openDialog(HWND dialog = kDialog) {
        g_hwndSwitcherDialog = dialog;
        populateTreeView(dialog);
    }

    // The switch ends: lists released, the control gone, handles cleared.
    void closeDialog(HWND dialog = kDialog) {
        releaseTreeImageLists(dialog);
        faketree::destroyTree(dialog);
        g_hwndSwitcherDialog = nullptr;
        g_rootGroup.clearHtis();
    }

    static int marker(HTREEITEM item, HWND dialog = kDialog) { return faketree::stateImage(dialog, item); }
    static std::u16string itemText(HTREEITEM item, HWND dialog = kDialog) { return faketree::item(dialog, item).text; }
    static std::vector<std::u16string> childTexts(HTREEITEM parent, HWND dialog = kDialog) {
        std::vector<std::u16string> out;
        for (HTREEITEM child : faketree::children(dialog, parent)) out.push_back(itemText(child, dialog));
        return out;
    }

    static std::vector<faketree::Message> messagesOf(UINT message, HWND dialog = kDialog) {
        std::vector<faketree::Message> out;
        for (const faketree::Message &each : faketree::messages(dialog)) {
            if (each.message == message) out.push_back(each);
        }
        return out;
    }

    static std::string reports(HWND dialog) {
        std::string out;
        for (const std::string &report : faketree::invalidHandleReports(dialog)) out += report + "\n";
        return out;
    }

    // One line per item, indented by depth: text, picture, marker and
    // expansion. Two trees showing the same thing give the same outline.
    static std::string outline(HWND dialog) {
        std::string out;
        outlineInto(dialog, nullptr, 0, out);
        return out;
    }

    // What a fresh population of the model would show, built in a second
    // fake dialog. The records' item handles and image indices of the open
    // dialog are kept.
    std::string freshOutline() {
        std::vector<HTREEITEM> groupItems, windowItems;
        std::vector<int> indices;
        saveItems(&g_rootGroup, groupItems, windowItems, indices);
        const HWND open = g_hwndSwitcherDialog;

        faketree::createTree(kFreshDialog);
        g_hwndSwitcherDialog = kFreshDialog;
        populateTreeView(kFreshDialog);
        std::string fresh = outline(kFreshDialog);
        releaseTreeImageLists(kFreshDialog);
        faketree::destroyTree(kFreshDialog);

        g_hwndSwitcherDialog = open;
        std::size_t g = 0, w = 0;
        restoreItems(&g_rootGroup, groupItems, windowItems, indices, g, w);
        return fresh;
    }

    // Fake dialog handles: the open switcher, another dialog (a previous
    // switch), and the one freshOutline fills.
    static inline const HWND kDialog = reinterpret_cast<HWND>(std::uintptr_t{0xD1A200});
    static inline const HWND kOtherDialog = reinterpret_cast<HWND>(std::uintptr_t{0xD1A300});
    static inline const HWND kFreshDialog = reinterpret_cast<HWND>(std::uintptr_t{0xD1A400});

private:
    static void outlineInto(HWND dialog, HTREEITEM parent, int depth, std::string &out) {
        for (HTREEITEM child : faketree::children(dialog, parent)) {
            const faketree::ItemView view = faketree::item(dialog, child);
            out += std::string(static_cast<std::size_t>(depth) * 2, ' ');
            for (char16_t c : view.text) out += c < 0x80 ? static_cast<char>(c) : '?';
            out += " image " + std::to_string(view.image) + "/" + std::to_string(view.selectedImage);
            out += " marker " + std::to_string((view.state & TVIS_STATEIMAGEMASK) >> 12);
            if (!view.children.empty()) out += (view.state & TVIS_EXPANDED) != 0 ? " open" : " closed";
            out += "\n";
            outlineInto(dialog, child, depth + 1, out);
        }
    }

    static void saveItems(PLRGroup *group, std::vector<HTREEITEM> &groups, std::vector<HTREEITEM> &windows,
                          std::vector<int> &indices) {
        groups.push_back(group->hti);
        for (PLRWindow *window : group->windows) {
            windows.push_back(window->hti);
            indices.push_back(window->imageIndex);
        }
        for (PLRGroup *subgroup : group->subgroups) saveItems(subgroup, groups, windows, indices);
    }

    static void restoreItems(PLRGroup *group, const std::vector<HTREEITEM> &groups,
                             const std::vector<HTREEITEM> &windows, const std::vector<int> &indices,
                             std::size_t &g, std::size_t &w) {
        group->hti = groups[g++];
        for (PLRWindow *window : group->windows) {
            window->hti = windows[w];
            window->imageIndex = indices[w];
            ++w;
        }
        for (PLRGroup *subgroup : group->subgroups) restoreItems(subgroup, groups, windows, indices, g, w);
    }

    int windowCount_ = 0;
};
