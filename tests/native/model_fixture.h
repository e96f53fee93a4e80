// Shared set-up for native tests that touch the model or the fake desktop.
//
// resetModelWorld() puts every global the core reads back to the state the
// program has right after start-up, on an empty fake desktop:
//   - g_rootGroup emptied (subgroups and window records freed), selected,
//     expanded, no item, named "Group 0";
//   - g_groupCounter 1, g_numberNewGroups 1, g_savedGroupCounter 0;
//   - the snapshot g_pPrevAllWindows freed and null; g_seenWindows empty;
//   - g_hwndSwitcherDialog, g_hwndShell null; g_bDeletingGroup 0 and
//     g_pGroupBeingDeleted null (NOT freed: a test that detaches a group
//     owns it and frees it itself);
//   - g_dwLog 1 (lines are captured), g_dwCallTerminateProcess 0,
//     g_pfnIsHungAppWindow = fakeIsHungAppWindow;
//   - the fake desktop reset (no windows, clock 0, records cleared), the
//     captured log lines and the fake local memory cleared;
//   - the calling thread recorded as the model's thread.
// It does not reset the fake tree control or image lists; tests that use
// them reset those too.
//
// ModelTest is a GoogleTest fixture that calls it before and after each
// test. The helpers build trees by hand without the desktop.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/globals.h"
#include "model/invariants.h"
#include "model/records.h"
#include "model/snapshot.h"
#include "model/threading.h"
#include "platform/fake/fake_desktop.h"
#include "platform/fake/fake_log.h"
#include "platform/text.h"

inline void resetModelWorld() {
    plrSetModelThread();
    delete g_pPrevAllWindows;
    g_pPrevAllWindows = nullptr;
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
    clearCapturedLogLines();
    resetFakeLocalMemory();
}

class ModelTest : public ::testing::Test {
protected:
    void SetUp() override { resetModelWorld(); }
    void TearDown() override { resetModelWorld(); }

    // A new numbered group appended to parent's subgroups.
    static PLRGroup *addGroup(PLRGroup *parent) {
        PLRGroup *group = new PLRGroup();
        parent->subgroups.push_back(group);
        return group;
    }
    // A window record built by hand (no desktop involved).
    static PLRWindow *addRecord(PLRGroup *group, HWND hwnd, const std::u16string &caption = u"") {
        PLRWindow *window = new PLRWindow();
        window->hwnd = hwnd;
        plrCopy(window->caption, PLRWindow::kCaptionUnits, caption.c_str());
        group->windows.push_back(window);
        return window;
    }
    // A handle value for records that need no fake window behind them.
    static HWND handle(std::uintptr_t value) { return reinterpret_cast<HWND>(value); }
    static HTREEITEM item(std::uintptr_t value) { return reinterpret_cast<HTREEITEM>(value); }

    static std::vector<std::u16string> logLines() { return capturedLogLines(); }
    static std::u16string text(const plr_char *value) { return std::u16string(value); }

    // Moves the selected-group flag from the root to `group`.
    static void selectGroup(PLRGroup *group) {
        PLRGroup *old = g_rootGroup.getSelectedGroup();
        if (old != nullptr) old->selected = 0;
        group->selected = 1;
    }

    static void expectInvariants() {
        std::string problem;
        EXPECT_TRUE(plrCheckInvariants(&problem)) << problem;
    }
};
