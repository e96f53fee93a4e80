// The life cycle of a switch (shell/lifecycle.h) against the fake desktop,
// step by step on one thread: what the switcher thread would do (ask for its
// initialisation, lose its focus) is called where it would happen.
//
// Each test is a moment a user meets: a quick tap, a release the hook never
// saw, an ending while the dialog waits for a deletion, a request that comes
// while a command waits.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "editing/groups.h"
#include "model_fixture.h"
#include "platform/fake/fake_imagelist.h"
#include "platform/fake/fake_tree.h"
#include "shell/hotkeys.h"
#include "shell/lifecycle.h"
#include "switcher/population.h"

namespace {

const HWND kDialog = reinterpret_cast<HWND>(std::uintptr_t{0xD1A100});

// The platform, as plain records.
struct Platform {
    std::vector<unsigned> started;
    std::vector<HWND> endDialogs;
    std::vector<HWND> foregroundAtEndDialog;
    std::vector<HWND> filled;
    std::vector<UINT> requests;
    std::vector<bool> requestsInsideCommand;
    bool altDown = true;
    bool threadRunning = false;  // from its start until its dialog ends
    int wakes = 0;
    std::function<void(UINT)> onRequest;
};
Platform *g_platform = nullptr;

const SwitchPlatform kPlatform = {
    [](unsigned serial) {
        g_platform->started.push_back(serial);
        g_platform->threadRunning = true;
        return true;
    },
    [](DWORD) { return !g_platform->threadRunning; },
    [](bool) {},
    [](HWND dialog) {
        g_platform->endDialogs.push_back(dialog);
        g_platform->foregroundAtEndDialog.push_back(fakeDesktop().foreground());
        g_platform->threadRunning = false;
    },
    [](HWND dialog, bool) {
        g_platform->filled.push_back(dialog);
        populateTreeView(dialog);
    },
    []() { return g_platform->altDown; },
    [](UINT message, WPARAM, LPARAM) {
        g_platform->requests.push_back(message);
        g_platform->requestsInsideCommand.push_back(modelCommandRunning());
        if (g_platform->onRequest) g_platform->onRequest(message);
    },
    []() { ++g_platform->wakes; },
};

class LifeCycleTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        faketree::reset();
        fakeimg::reset();
        resetSwitchLifeCycle();
        g_platform = &platform;
        setSwitchPlatform(&kPlatform);
        faketree::createTree(kDialog);
        // Created bottom first: "Mail" is on top and in front.
        editor = fakeDesktop().addAppWindow(u"Editor");
        mail = fakeDesktop().addAppWindow(u"Mail");
        fakeDesktop().setForeground(mail);
    }
    void TearDown() override {
        fakeDesktop().duringSendWait = nullptr;
        releaseTreeImageLists(kDialog);
        faketree::reset();
        fakeimg::reset();
        setSwitchPlatform(nullptr);
        resetSwitchLifeCycle();
        g_platform = nullptr;
        ModelTest::TearDown();
    }

    // The switcher thread's initialisation hand-off.
    LRESULT initialise(unsigned serial) {
        DialogInitialisation init = {kDialog, serial};
        const LRESULT stay = runHandedOverWork(switcherDialogInitialising, &init);
        if (stay == 0) platform.threadRunning = false;  // it ends without being shown
        return stay;
    }
    unsigned serial() const { return platform.started.empty() ? 0 : platform.started.back(); }

    Platform platform;
    HWND editor = nullptr;
    HWND mail = nullptr;
};

}  // namespace

// A quick tap: Alt goes up while the opening press still runs. The switch
// ends as the press is over, the other window comes forward, and the dialog,
// asking afterwards, is told to end before it is ever shown.
TEST_F(LifeCycleTest, QuickTapEndsTheSwitchAfterThePressAndTheDialogNeverShows) {
    // Its icon request waits, and the hook runs meanwhile. It lies below the
    // others, so that Alt+Tab goes from Mail to Editor.
    HWND slow = fakeDesktop().addAppWindow(u"Slow");
    fakeDesktop().window(slow)->answerDelayMs = 1000;
    fakeDesktop().bringWindowToTop(editor);
    fakeDesktop().bringWindowToTop(mail);
    fakeDesktop().clearCalls();
    bool released = false;
    fakeDesktop().duringSendWait = [&](HWND, UINT) {
        if (released) return;
        released = true;
        platform.altDown = false;
        switchAltReleased();
    };
    switchHotkey(kHotkeyNextWindow);
    ASSERT_TRUE(released);
    EXPECT_EQ(currentSwitchPhase(), SwitchPhase::Idle);
    EXPECT_EQ(fakeDesktop().foreground(), editor);
    EXPECT_EQ(initialise(serial()), 0);
    EXPECT_TRUE(platform.filled.empty());
    EXPECT_TRUE(platform.endDialogs.empty());
    EXPECT_EQ(g_pPrevAllWindows, nullptr);

    // The next tap brings Mail back.
    platform.altDown = true;
    switchHotkey(kHotkeyNextWindow);
    platform.altDown = false;
    switchAltReleased();
    EXPECT_EQ(platform.wakes, 1);  // the ending runs from the message loop
    runPendingSwitchWork();
    EXPECT_EQ(fakeDesktop().foreground(), mail);
    EXPECT_EQ(initialise(serial()), 0);
    EXPECT_EQ(switchCounts().altEndings, 2u);
}

// The system skips a hook that answers too late: the release is never seen,
// and the Alt keys' state at the opening ends the switch.
TEST_F(LifeCycleTest, AltUpAtTheOpeningEndsTheSwitchEvenWhenTheHookSawNothing) {
    switchHotkey(kHotkeyNextWindow);
    platform.altDown = false;
    EXPECT_EQ(initialise(serial()), 0);
    EXPECT_EQ(fakeDesktop().foreground(), editor);
    EXPECT_EQ(currentSwitchPhase(), SwitchPhase::Idle);
    EXPECT_TRUE(platform.filled.empty());

    // Held: the dialog opens and stays until the release.
    platform.altDown = true;
    switchHotkey(kHotkeyNextWindow);
    EXPECT_NE(initialise(serial()), 0);
    EXPECT_EQ(currentSwitchPhase(), SwitchPhase::Open);
    EXPECT_EQ(g_hwndSwitcherDialog, kDialog);
    switchAltReleased();
    runPendingSwitchWork();
    EXPECT_EQ(platform.endDialogs, std::vector<HWND>{kDialog});
    // The chosen window is already in front when the dialog is told to hide:
    // a dialog hiding while active would hand the activation to whatever
    // lies below it.
    EXPECT_EQ(platform.foregroundAtEndDialog, std::vector<HWND>{mail});
    EXPECT_EQ(g_hwndSwitcherDialog, nullptr);
}

// Alt+Delete as the first key: the dialog asks while the deletion waits on
// an application asking "Save changes?", and shows unfilled. The application
// comes forward and the dialog loses the focus: that ends the switch once the
// deletion is over. An Alt release during the deletion ends nothing, even
// when the dialog opens with Alt up.
TEST_F(LifeCycleTest, FocusLossWhileADeletionOpensTheSwitchEndsItAfterTheDeletion) {
    fakeDesktop().window(mail)->onClose = FakeCloseBehaviour::AsksModalQuestion;
    for (bool focusLost : {true, false}) {
        SCOPED_TRACE(focusLost ? "focus lost" : "only Alt released");
        platform = Platform();
        platform.threadRunning = false;
        fakeDesktop().duringSendWait = [&](HWND, UINT message) {
            if (message != WM_CLOSE) return;
            EXPECT_NE(initialise(serial()), 0);  // waits, already shown
            platform.altDown = false;
            switchAltReleased();
            if (focusLost) switchFocusLost(serial());
        };
        switchHotkey(kHotkeyDeleteGroup);
        if (focusLost) {
            EXPECT_EQ(platform.endDialogs, std::vector<HWND>{kDialog});
            EXPECT_TRUE(platform.filled.empty());
            EXPECT_EQ(currentSwitchPhase(), SwitchPhase::Idle);
        } else {
            EXPECT_EQ(platform.filled, std::vector<HWND>{kDialog});
            EXPECT_EQ(currentSwitchPhase(), SwitchPhase::Open);
            switchFocusLost(serial());
            EXPECT_EQ(platform.endDialogs, std::vector<HWND>{kDialog});
        }
        EXPECT_EQ(g_hwndSwitcherDialog, nullptr);
        EXPECT_EQ(switchCounts().altEndings, 0u);
        fakeDesktop().duringSendWait = nullptr;
        releaseTreeImageLists(kDialog);
        faketree::destroyTree(kDialog);
        faketree::createTree(kDialog);
    }
}

// Alt+Esc as the first key restores nothing new and ends the switch: its
// dialog never shows and the snapshot stays for the cancel.
TEST_F(LifeCycleTest, CancelWhileOpeningEndsTheSwitchBeforeTheDialogShows) {
    switchHotkey(kHotkeyCancel);
    EXPECT_EQ(currentSwitchPhase(), SwitchPhase::Idle);
    EXPECT_NE(g_pPrevAllWindows, nullptr);
    EXPECT_EQ(initialise(serial()), 0);
    EXPECT_EQ(fakeDesktop().foreground(), mail);
    EXPECT_EQ(switchCounts().cancelEndings, 1u);
}

// An ending names its switch: a focus loss of an earlier switch's dialog
// that arrives late ends nothing of the next one.
TEST_F(LifeCycleTest, AnEndingOfAnEarlierSwitchLeavesTheNextOneOpen) {
    switchHotkey(kHotkeyNextWindow);
    const unsigned first = serial();
    EXPECT_NE(initialise(first), 0);
    switchAltReleased();
    runPendingSwitchWork();
    switchHotkey(kHotkeyNextWindow);
    ASSERT_NE(serial(), first);
    EXPECT_NE(initialise(serial()), 0);
    switchFocusLost(first);
    EXPECT_EQ(currentSwitchPhase(), SwitchPhase::Open);
    switchFocusLost(serial());
    EXPECT_EQ(currentSwitchPhase(), SwitchPhase::Idle);
    EXPECT_EQ(switchCounts().opened, 2u);
    EXPECT_EQ(switchCounts().altEndings + switchCounts().focusEndings, 2u);
}

// While a deletion empties the root and waits on an application, a cancel
// key, the tray menu's Exit and a group's fold arrive. The fold is recorded
// at once; the cancel and Exit run after the deletion, in that order, and
// not inside any command.
TEST_F(LifeCycleTest, NothingRunsInsideAWaitingCommandAndFoldsAreKept) {
    PLRGroup *group = addGroup(&g_rootGroup);
    switchHotkey(kHotkeyNextWindow);
    ASSERT_NE(initialise(serial()), 0);
    ASSERT_NE(group->hti, nullptr);
    fakeDesktop().window(editor)->onClose = FakeCloseBehaviour::AsksModalQuestion;
    ExpansionRecord fold = {kDialog, group->hti, TVE_COLLAPSE};
    bool delivered = false;
    fakeDesktop().duringSendWait = [&](HWND, UINT message) {
        if (message != WM_CLOSE || delivered) return;
        delivered = true;
        EXPECT_EQ(switchHotkey(kHotkeyCancel), 0);
        EXPECT_TRUE(queueWhileCommandRuns(WM_USER + 100, 107, WM_RBUTTONUP));
        runHandedOverWork(expansionHandedOver, &fold);
        EXPECT_EQ(group->expanded, 0);
        EXPECT_TRUE(platform.requests.empty());
    };
    platform.onRequest = [](UINT) { stopSwitcherForExit(); };
    switchHotkey(kHotkeyDeleteGroup);  // the root is selected: every application is asked
    ASSERT_TRUE(delivered);
    // The cancel ended the switch first (restoring the tree), then Exit ran.
    EXPECT_EQ(switchCounts().cancelEndings, 1u);
    EXPECT_EQ(platform.requests, std::vector<UINT>{WM_USER + 100});
    EXPECT_EQ(platform.requestsInsideCommand, std::vector<bool>{false});
    EXPECT_EQ(currentSwitchPhase(), SwitchPhase::Closing);
    EXPECT_EQ(g_hwndSwitcherDialog, nullptr);
    expectInvariants();
}
