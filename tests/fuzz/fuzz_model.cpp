// libFuzzer target: random sequences of what the program does to the model
// and the switcher's tree — a desktop whose windows come, go and hide;
// discovery, pruning and refresh passes; the four navigation keys; taking,
// restoring and discarding the snapshot; group creation; filling a fake
// dialog's tree and closing it; the user opening and closing groups — with
// the model's invariants and the tree's consistency checked after every
// step. A broken check prints what broke and aborts, which libFuzzer reports
// as a crash with the input that caused it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "editing/groups.h"
#include "model/discovery.h"
#include "model/globals.h"
#include "model/invariants.h"
#include "model/pruning.h"
#include "model/queries.h"
#include "model/snapshot.h"
#include "model/threading.h"
#include "platform/desktop.h"
#include "platform/fake/fake_desktop.h"
#include "platform/fake/fake_imagelist.h"
#include "platform/fake/fake_log.h"
#include "platform/fake/fake_tree.h"
#include "platform/text.h"
#include "switcher/navigation.h"
#include "switcher/population.h"

namespace {

[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "check failed: %s\n", what.c_str());
    std::abort();
}

#define FUZZ_CHECK(condition, what) \
    do {                            \
        if (!(condition)) fail(what); \
    } while (0)

// The program's state right after start-up, on an empty desktop.
void resetWorld() {
    plrSetModelThread();
    discardSnapshot();
    for (PLRGroup *group : g_rootGroup.subgroups) delete group;
    g_rootGroup.subgroups.clear();
    for (PLRWindow *window : g_rootGroup.windows) delete window;
    g_rootGroup.windows.clear();
    g_rootGroup.hti = nullptr;
    g_rootGroup.selected = 1;
    g_rootGroup.expanded = 1;
    plrCopy(g_rootGroup.name, PLRGroup::kNameUnits, PLR_T("Group 0"));
    g_groupCounter = 1;
    g_numberNewGroups = 1;
    g_savedGroupCounter = 0;
    g_seenWindows.clear();
    g_hwndSwitcherDialog = nullptr;
    g_hwndShell = nullptr;
    g_bDeletingGroup = 0;
    g_pGroupBeingDeleted = nullptr;
    g_dwLog = 1;
    g_dwCallTerminateProcess = 0;
    g_pfnIsHungAppWindow = fakeIsHungAppWindow;
    fakeDesktop().reset();
    faketree::reset();
    fakeimg::reset();
    clearCapturedLogLines();
    resetFakeLocalMemory();
}

struct Run {
    std::vector<HWND> windows;  // created and not yet destroyed
    std::uintptr_t nextDialog = 0xD1000;
    HWND dialog = nullptr;       // the open fake dialog

    HWND pick(FuzzedDataProvider &input) {
        if (windows.empty()) return nullptr;
        return windows[input.ConsumeIntegralInRange<std::size_t>(0, windows.size() - 1)];
    }

    void openDialog() {
        if (dialog != nullptr) return;
        nextDialog += 0x10;
        dialog = reinterpret_cast<HWND>(nextDialog);
        faketree::createTree(dialog);
        g_hwndSwitcherDialog = dialog;
        populateTreeView(dialog);
    }

    // The end of a switch: the dialog's lists go with it, the handle is
    // cleared, and so are the records' item handles.
    void closeDialog() {
        if (dialog == nullptr) return;
        FUZZ_CHECK(faketree::invalidHandleUses(dialog) == 0,
                   "tree message named a missing item: " + faketree::invalidHandleReports(dialog).front());
        g_hwndSwitcherDialog = nullptr;
        releaseTreeImageLists(dialog);
        faketree::destroyTree(dialog);
        dialog = nullptr;
        g_rootGroup.clearHtis();
    }
};

void collect(PLRGroup *group, std::vector<PLRGroup *> &groups) {
    groups.push_back(group);
    for (PLRGroup *sub : group->subgroups) collect(sub, groups);
}

bool inSubtree(PLRGroup *group, PLRWindow *window) {
    for (PLRWindow *own : group->windows) {
        if (own == window) return true;
    }
    for (PLRGroup *sub : group->subgroups) {
        if (inSubtree(sub, window)) return true;
    }
    return false;
}

// The items of the open dialog against the records: a record's item exists,
// sits under its group's item, shows its record's marker and, for a window,
// its picture.
void checkItems(const Run &run, PLRGroup *group, HTREEITEM parentItem, bool isRoot) {
    if (group->hti != nullptr) {
        FUZZ_CHECK(faketree::isItem(run.dialog, group->hti), "group record holds a dead item");
        const faketree::ItemView view = faketree::item(run.dialog, group->hti);
        if (!isRoot && parentItem != nullptr) FUZZ_CHECK(view.parent == parentItem, "group item under a wrong parent");
        const int marker = static_cast<int>((view.state & TVIS_STATEIMAGEMASK) >> 12);
        FUZZ_CHECK(marker == (group->selected ? STATE_IMAGE_SELECTED_GROUP : 0), "group marker out of step");
    }
    for (PLRWindow *window : group->windows) {
        if (window->hti == nullptr) continue;
        FUZZ_CHECK(faketree::isItem(run.dialog, window->hti), "window record holds a dead item");
        const faketree::ItemView view = faketree::item(run.dialog, window->hti);
        if (group->hti != nullptr) FUZZ_CHECK(view.parent == group->hti, "window item under a wrong parent");
        const int marker = static_cast<int>((view.state & TVIS_STATEIMAGEMASK) >> 12);
        FUZZ_CHECK(marker == (window->selected ? STATE_IMAGE_SELECTED_WINDOW : 0), "window marker out of step");
        FUZZ_CHECK(view.image == window->imageIndex, "window item shows another picture");
    }
    for (PLRGroup *sub : group->subgroups) checkItems(run, sub, group->hti, false);
}

void checkNoItems(PLRGroup *group) {
    for (PLRWindow *window : group->windows) FUZZ_CHECK(window->hti == nullptr, "window keeps an item after the switch");
    for (PLRGroup *sub : group->subgroups) {
        FUZZ_CHECK(sub->hti == nullptr, "group keeps an item after the switch");
        checkNoItems(sub);
    }
}

void checkAll(const Run &run) {
    std::string problem;
    FUZZ_CHECK(plrCheckInvariants(&problem), problem);

    PLRWindow *selectedWindow = g_rootGroup.getSelectedWindow();
    PLRGroup *selectedGroup = g_rootGroup.getSelectedGroup();
    if (selectedWindow != nullptr && selectedGroup != nullptr) {
        FUZZ_CHECK(inSubtree(selectedGroup, selectedWindow), "selected window outside the selected group");
    }

    FUZZ_CHECK(faketree::messagesWithoutTree() == 0, "tree message to a dialog without a tree");
    FUZZ_CHECK(fakeimg::liveBitmaps() == 0, "GDI bitmap leaked");
    FUZZ_CHECK(fakeimg::invalidDeletes() == 0 && fakeimg::invalidDestroys() == 0, "double delete");
    if (run.dialog != nullptr) {
        FUZZ_CHECK(faketree::invalidHandleUses(run.dialog) == 0,
                   "tree message named a missing item: " + faketree::invalidHandleReports(run.dialog).front());
        checkItems(run, &g_rootGroup, nullptr, true);
        FUZZ_CHECK(fakeimg::liveImageLists() == 2, "image lists of the open dialog");
    } else {
        checkNoItems(&g_rootGroup);
        FUZZ_CHECK(fakeimg::liveImageLists() == 0, "image list leaked");
    }
}

const char16_t *const kCaptions[] = {u"Editor", u"Mail", u"Editor", u"", u"Terminal", u"Browser - page"};

void step(Run &run, FuzzedDataProvider &input) {
    FakeDesktop &desktop = fakeDesktop();
    switch (input.ConsumeIntegralInRange<int>(0, 21)) {
    case 0: {
        const int caption = input.ConsumeIntegralInRange<int>(0, 5);
        run.windows.push_back(desktop.addAppWindow(kCaptions[caption]));
        break;
    }
    case 1: {
        FakeWindow window;
        window.owner = run.pick(input);
        window.caption = u"owned";
        run.windows.push_back(desktop.createWindow(window));
        break;
    }
    case 2: {
        HWND victim = run.pick(input);
        if (victim == nullptr) break;
        desktop.destroyWindow(victim);
        // Owned windows go with their owner.
        std::vector<HWND> alive;
        for (HWND h : run.windows) {
            if (desktop.window(h) != nullptr) alive.push_back(h);
        }
        run.windows.swap(alive);
        break;
    }
    case 3:
        if (FakeWindow *w = desktop.window(run.pick(input))) w->style ^= WS_VISIBLE;
        break;
    case 4:
        if (FakeWindow *w = desktop.window(run.pick(input))) w->exStyle ^= WS_EX_TOOLWINDOW;
        break;
    case 5:
        discoveryPass();
        break;
    case 6:
        // The program prunes only while no dialog is open.
        if (run.dialog == nullptr) {
            discoveryPass();
            pruneInactiveWindows();
        }
        break;
    case 7:
        refreshPass();
        break;
    case 8: globalSelectNextWindow(); break;
    case 9: globalSelectPreviousWindow(); break;
    case 10: globalSelectNextGroup(); break;
    case 11: globalSelectPreviousGroup(); break;
    case 12:
        // The program takes the snapshot when a switch opens, before its
        // dialog exists: the copy holds no item handle below the root.
        if (run.dialog == nullptr) takeSnapshot();
        break;
    case 13:
        // Cancel: the tree comes back from the snapshot and the dialog ends.
        restoreSnapshot();
        run.closeDialog();
        break;
    case 14:
        // The end of a switch.
        run.closeDialog();
        discardSnapshot();
        break;
    case 15: run.openDialog(); break;
    case 16: run.closeDialog(); break;
    case 17: createGroup(); break;
    case 18: createGroupFromSelected(); break;
    case 19:
        if (HWND foreground = run.pick(input)) desktop.setForeground(foreground);
        break;
    default:
        // The user opens or closes a group item; the dialog records what the
        // control reports as done.
        if (run.dialog != nullptr) {
            std::vector<PLRGroup *> groups;
            collect(&g_rootGroup, groups);
            PLRGroup *group = groups[input.ConsumeIntegralInRange<std::size_t>(0, groups.size() - 1)];
            const bool open = input.ConsumeBool();
            if (group->hti != nullptr &&
                sendTreeMessage(run.dialog, TVM_EXPAND, open ? TVE_EXPAND : TVE_COLLAPSE,
                                reinterpret_cast<LPARAM>(group->hti))) {
                group->expanded = open ? 1 : 0;
            }
        }
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    resetWorld();
    FuzzedDataProvider input(data, size);
    Run run;
    for (int steps = 0; steps < 200 && input.remaining_bytes() > 0; ++steps) {
        step(run, input);
        checkAll(run);
        clearCapturedLogLines();
        fakeDesktop().clearCalls();
    }
    run.closeDialog();
    discardSnapshot();
    checkAll(run);
    return 0;
}
