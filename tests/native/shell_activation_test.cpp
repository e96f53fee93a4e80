// Bringing a window to the foreground, against the fake desktop: which
// windows are left alone, the three foreground attempts, the joined input and
// the synthetic Alt taps, the posted restore, and the probe's time bound.
#include <gtest/gtest.h>

#include <vector>

#include "model_fixture.h"
#include "platform/desktop.h"
#include "shell/activation.h"

namespace {

class ShellActivationTest : public ModelTest {
protected:
    FakeDesktop &desk() { return fakeDesktop(); }

    // Two application windows; `other` is in the foreground.
    void SetUp() override {
        ModelTest::SetUp();
        other = desk().addAppWindow(u"Other");
        target = desk().addAppWindow(u"Target");
        desk().setForeground(other);
        desk().clearCalls();
    }

    std::vector<FakeDeskCall::Kind> kinds() const {
        std::vector<FakeDeskCall::Kind> result;
        for (const FakeDeskCall &call : fakeDesktop().calls()) result.push_back(call.kind);
        return result;
    }
    DWORD threadOf(HWND hwnd) { return desk().window(hwnd)->threadId; }

    HWND other = nullptr;
    HWND target = nullptr;
};

using K = FakeDeskCall;

// ---------------------------------------------------------------- left alone

TEST_F(ShellActivationTest, WindowClosedMeanwhileIsIgnoredWithoutAnyCall) {
    desk().destroyWindow(target);
    desk().clearCalls();
    activateWindow(target);
    EXPECT_TRUE(desk().calls().empty());
    EXPECT_EQ(desk().foreground(), other);

    activateWindow(nullptr);
    EXPECT_TRUE(desk().calls().empty());
}

TEST_F(ShellActivationTest, HungWindowIsLeftAloneEvenWhenMinimised) {
    desk().setHung(target);
    desk().window(target)->iconic = true;
    activateWindow(target);
    // Not even probed: the system's own test already says it is hung.
    EXPECT_TRUE(desk().calls().empty());
    EXPECT_TRUE(desk().window(target)->iconic);
    EXPECT_EQ(desk().foreground(), other);
}

TEST_F(ShellActivationTest, WithoutTheHungTestTheProbeGivesUpAtOnceOnAHungWindow) {
    g_pfnIsHungAppWindow = nullptr;
    desk().setHung(target);
    desk().window(target)->iconic = true;
    activateWindow(target);
    ASSERT_EQ(kinds(), std::vector<K::Kind>{K::SendMessageTimeout});
    EXPECT_EQ(desk().nowMs(), 0u);  // SMTO_ABORTIFHUNG: no waiting
    EXPECT_TRUE(desk().window(target)->iconic);
}

// The system may give up on a hung window without setting the last error: a
// code left from an earlier call must not pass for "access denied, go on".
TEST_F(ShellActivationTest, StaleLastErrorDoesNotLetAHungWindowThrough) {
    g_pfnIsHungAppWindow = nullptr;
    desk().setHung(target);
    desk().window(target)->abortIfHungKeepsLastError = true;
    ::desk::setLastError(ERROR_ACCESS_DENIED);
    activateWindow(target);
    ASSERT_EQ(kinds(), std::vector<K::Kind>{K::SendMessageTimeout});
    EXPECT_EQ(desk().foreground(), other);
}

TEST_F(ShellActivationTest, ProbeIsWmNullAbortIfHungBoundedTo250Ms) {
    desk().window(target)->answers = false;  // busy, not yet counted hung
    activateWindow(target);
    const std::vector<FakeDeskCall> calls = desk().calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].hwnd, target);
    EXPECT_EQ(calls[0].message, static_cast<UINT>(WM_NULL));
    EXPECT_EQ(calls[0].flags, static_cast<UINT>(SMTO_ABORTIFHUNG));
    EXPECT_EQ(calls[0].timeoutMs, 250u);
    // The whole activation waited exactly the bound, and gave up.
    EXPECT_EQ(desk().nowMs(), 250u);
    EXPECT_EQ(desk().foreground(), other);
}

TEST_F(ShellActivationTest, SlowButTimelyAnswerAndAccessDeniedProbeGoAhead) {
    desk().window(target)->answerDelayMs = 240;
    activateWindow(target);
    EXPECT_EQ(desk().foreground(), target);
    EXPECT_EQ(desk().nowMs(), 240u);

    // A probe refused with a code other than 0 or ERROR_TIMEOUT says nothing
    // about the window's health.
    desk().setForeground(other);
    desk().window(target)->answerDelayMs = 0;
    desk().window(target)->sendError = ERROR_ACCESS_DENIED;
    activateWindow(target);
    EXPECT_EQ(desk().foreground(), target);
}

// ---------------------------------------------------------------- attempts

TEST_F(ShellActivationTest, AlreadyForegroundButMinimisedOnlyPostsRestore) {
    desk().setForeground(target);
    desk().window(target)->iconic = true;
    activateWindow(target);
    ASSERT_EQ(kinds(), (std::vector<K::Kind>{K::SendMessageTimeout, K::PostMessage}));
    const FakeDeskCall post = desk().calls()[1];
    EXPECT_EQ(post.hwnd, target);
    EXPECT_EQ(post.message, static_cast<UINT>(WM_SYSCOMMAND));
    EXPECT_EQ(post.wParam, static_cast<WPARAM>(SC_RESTORE));
    EXPECT_EQ(post.lParam, 0);
    EXPECT_FALSE(desk().window(target)->iconic);

    // Already in front and not minimised: nothing beyond the probe.
    desk().clearCalls();
    activateWindow(target);
    EXPECT_EQ(kinds(), std::vector<K::Kind>{K::SendMessageTimeout});
}

TEST_F(ShellActivationTest, PlainAttemptRaisesThenSetsForeground) {
    activateWindow(target);
    ASSERT_EQ(kinds(), (std::vector<K::Kind>{K::SendMessageTimeout, K::BringWindowToTop, K::SetWindowPos,
                                             K::SetForegroundWindow}));
    const FakeDeskCall pos = desk().calls()[2];
    EXPECT_EQ(pos.hwnd, target);
    EXPECT_EQ(pos.insertAfter, HWND_TOP);
    EXPECT_EQ(pos.x + pos.y + pos.cx + pos.cy, 0);
    EXPECT_EQ(pos.flags, static_cast<UINT>(SWP_NOSIZE | SWP_NOMOVE));
    EXPECT_EQ(desk().foreground(), target);
    EXPECT_EQ(desk().zOrder().front(), target);
}

TEST_F(ShellActivationTest, SecondAttemptJoinsForegroundThreadAndDetachesAfterwards) {
    desk().scriptForegroundResults({false, true});
    activateWindow(target);

    const std::vector<FakeDeskCall> attaches = desk().callsOf(K::AttachThreadInput);
    ASSERT_EQ(attaches.size(), 2u);
    EXPECT_EQ(attaches[0].fromThread, threadOf(other));
    EXPECT_EQ(attaches[0].toThread, threadOf(target));
    EXPECT_TRUE(attaches[0].attach);
    EXPECT_EQ(attaches[1].fromThread, threadOf(other));
    EXPECT_EQ(attaches[1].toThread, threadOf(target));
    EXPECT_FALSE(attaches[1].attach);

    const std::vector<FakeDeskCall> attempts = desk().callsOf(K::SetForegroundWindow);
    ASSERT_EQ(attempts.size(), 2u);
    EXPECT_FALSE(attempts[0].attachedAtCall);
    EXPECT_TRUE(attempts[1].attachedAtCall);
    EXPECT_TRUE(desk().callsOf(K::SendInput).empty());
    EXPECT_TRUE(desk().attachedThreadPairs().empty());
    EXPECT_EQ(desk().foreground(), target);
}

TEST_F(ShellActivationTest, ThirdAttemptTapsAltTwiceWhileJoinedAndResultIsNotTested) {
    desk().scriptForegroundResults({false, false, false});
    std::vector<INPUT> seen;
    desk().inputObserver = [&](const INPUT &event) { seen.push_back(event); };
    activateWindow(target);

    ASSERT_EQ(kinds(), (std::vector<K::Kind>{K::SendMessageTimeout, K::BringWindowToTop, K::SetWindowPos,
                                             K::SetForegroundWindow, K::AttachThreadInput, K::SetForegroundWindow,
                                             K::SendInput, K::SetForegroundWindow, K::AttachThreadInput}));
    const FakeDeskCall input = desk().callsOf(K::SendInput)[0];
    EXPECT_EQ(input.inputSize, static_cast<int>(sizeof(INPUT)));
    ASSERT_EQ(input.inputs.size(), 4u);
    const DWORD expectedFlags[4] = {KEYEVENTF_EXTENDEDKEY, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP,
                                    KEYEVENTF_EXTENDEDKEY, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(input.inputs[i].type, static_cast<DWORD>(INPUT_KEYBOARD));
        EXPECT_EQ(input.inputs[i].ki.wVk, VK_MENU);
        EXPECT_EQ(input.inputs[i].ki.wScan, 0);
        EXPECT_EQ(input.inputs[i].ki.dwFlags, expectedFlags[i]);
        EXPECT_EQ(input.inputs[i].ki.time, 0u);
        EXPECT_EQ(input.inputs[i].ki.dwExtraInfo, 0u);
    }
    EXPECT_EQ(seen.size(), 4u);
    EXPECT_TRUE(desk().callsOf(K::SetForegroundWindow)[2].attachedAtCall);
    // Every attach has its detach, even though every attempt failed.
    EXPECT_TRUE(desk().attachedThreadPairs().empty());
    EXPECT_EQ(desk().foreground(), other);
    // Still raised in the z-order by the first step.
    EXPECT_EQ(desk().zOrder().front(), target);
}

TEST_F(ShellActivationTest, NoForegroundWindowJoinsTheTaskbarsThread) {
    FakeWindow taskbar;
    taskbar.className = u"Shell_TrayWnd";
    const HWND tray = desk().createWindow(taskbar);
    desk().setForeground(nullptr);
    desk().scriptForegroundResults({false, true});
    desk().clearCalls();
    activateWindow(target);

    const std::vector<FakeDeskCall> attaches = desk().callsOf(K::AttachThreadInput);
    ASSERT_EQ(attaches.size(), 2u);
    EXPECT_EQ(attaches[0].fromThread, threadOf(tray));
    EXPECT_EQ(attaches[0].toThread, threadOf(target));
    EXPECT_TRUE(attaches[0].attach);
    EXPECT_FALSE(attaches[1].attach);
    EXPECT_EQ(desk().foreground(), target);
}

TEST_F(ShellActivationTest, MinimisedWindowGetsRestorePostedAfterForegroundChange) {
    desk().window(target)->iconic = true;
    activateWindow(target);
    const std::vector<K::Kind> order = kinds();
    ASSERT_EQ(order.back(), K::PostMessage);
    EXPECT_EQ(order[order.size() - 2], K::SetForegroundWindow);
    EXPECT_EQ(desk().foreground(), target);
    EXPECT_FALSE(desk().window(target)->iconic);
    // Posted, never sent: only the probe was a send.
    EXPECT_EQ(desk().sendCount(target), 1);
}

TEST_F(ShellActivationTest, FailedAttemptsStillRestoreAMinimisedWindow) {
    desk().defaultForegroundResult = false;
    desk().window(target)->iconic = true;
    activateWindow(target);
    EXPECT_EQ(desk().foreground(), other);
    EXPECT_FALSE(desk().window(target)->iconic);
    EXPECT_EQ(desk().callsOf(K::PostMessage).size(), 1u);
}

}  // namespace
