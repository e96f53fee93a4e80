// The fake desktop must behave as the system does where the tests of the
// whole program rely on it.
#include <thread>

#include "model_fixture.h"
#include "platform/desktop.h"

namespace {

std::vector<HWND> g_reported;
BOOL CALLBACK collect(HWND hwnd, LPARAM) {
    g_reported.push_back(hwnd);
    return TRUE;
}
BOOL CALLBACK stopAtOnce(HWND hwnd, LPARAM) {
    g_reported.push_back(hwnd);
    desk::setLastError(ERROR_TIMEOUT);
    return FALSE;
}

class FakeDesktopTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        g_reported.clear();
    }
};

}  // namespace

TEST_F(FakeDesktopTest, EnumerationFollowsTheZOrderOfItsStart) {
    FakeDesktop &desktop = fakeDesktop();
    HWND a = desktop.addAppWindow(u"a");
    HWND b = desktop.addAppWindow(u"b");
    HWND c = desktop.addAppWindow(u"c");
    EXPECT_EQ(desk::enumWindows(collect, 0), TRUE);
    EXPECT_EQ(g_reported, (std::vector<HWND>{c, b, a}));

    desk::bringWindowToTop(a);
    g_reported.clear();
    HWND created = nullptr;
    desktop.beforeEnumCallback = [&](HWND hwnd) {
        if (hwnd == a) {
            desktop.destroyWindow(b);
            created = desktop.addAppWindow(u"new");
        }
    };
    EXPECT_EQ(desk::enumDesktopWindows(collect, 0), TRUE);
    EXPECT_EQ(g_reported, (std::vector<HWND>{a, c}));
    EXPECT_EQ(desktop.zOrder(), (std::vector<HWND>{created, a, c}));
    EXPECT_EQ(desktop.enumerationCount(), 2);
}

TEST_F(FakeDesktopTest, StoppedOrFailingEnumerationReturnsFalse) {
    FakeDesktop &desktop = fakeDesktop();
    desktop.addAppWindow(u"a");
    desktop.addAppWindow(u"b");
    desk::setLastError(0);
    EXPECT_EQ(desk::enumWindows(stopAtOnce, 0), FALSE);
    EXPECT_EQ(desk::getLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_EQ(g_reported.size(), 1u);

    g_reported.clear();
    desktop.failEnumWindows(ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(desk::enumWindows(collect, 0), FALSE);
    EXPECT_EQ(desk::getLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(g_reported.size(), 1u);
    g_reported.clear();
    EXPECT_EQ(desk::enumDesktopWindows(collect, 0), TRUE);  // the other function is unaffected
    EXPECT_EQ(g_reported.size(), 2u);
}

TEST_F(FakeDesktopTest, HandlesLookRealAndPropertiesAnswerLikeTheSystem) {
    FakeDesktop &desktop = fakeDesktop();
    HWND owner = desktop.addAppWindow(u"owner");
    FakeWindow desc;
    desc.owner = owner;
    desc.className = u"Shell_TrayWnd";
    HWND owned = desktop.createWindow(desc);
    EXPECT_GT(reinterpret_cast<std::uintptr_t>(owner), 0xFFFFu);
    EXPECT_NE(owner, owned);
    EXPECT_EQ(desk::getWindow(owned, GW_OWNER), owner);
    EXPECT_EQ(desk::findWindow(u"Shell_TrayWnd"), owned);
    EXPECT_EQ(desk::findWindow(u"Other"), nullptr);
    EXPECT_EQ(desk::getWindowLongPtr(owner, GWL_STYLE), static_cast<LONG_PTR>(WS_VISIBLE));

    // Destroying the owner takes its owned windows with it.
    desktop.destroyWindow(owner);
    EXPECT_EQ(desk::isWindow(owner), FALSE);
    EXPECT_EQ(desk::isWindow(owned), FALSE);
    desk::setLastError(0);
    EXPECT_EQ(desk::getWindowLongPtr(owner, GWL_STYLE), 0);
    EXPECT_EQ(desk::getLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));

    DWORD processId = 0xABCD;
    EXPECT_EQ(desk::getWindowThreadProcessId(owner, &processId), 0u);
    EXPECT_EQ(processId, 0xABCDu);  // left as it was: callers must test the result

    plr_char buffer[4] = {u'x', u'x', u'x', u'x'};
    HWND titled = desktop.addAppWindow(u"Title");
    EXPECT_EQ(desk::internalGetWindowText(titled, buffer, 4), 3);
    EXPECT_EQ(std::u16string(buffer), u"Tit");
}

TEST_F(FakeDesktopTest, TimedSendsRunOnTheFakeClock) {
    FakeDesktop &desktop = fakeDesktop();
    HWND hung = desktop.addAppWindow(u"hung");
    desktop.setHung(hung);
    DWORD_PTR result = 77;
    EXPECT_EQ(desk::sendMessageTimeout(hung, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 250, &result), 0);
    EXPECT_EQ(desktop.nowMs(), 0u);
    EXPECT_EQ(desk::sendMessageTimeout(hung, WM_CLOSE, 0, 0, SMTO_NORMAL, 2000, &result), 0);
    EXPECT_EQ(desktop.nowMs(), 2000u);
    EXPECT_EQ(desk::getLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_EQ(fakeIsHungAppWindow(hung), TRUE);

    int waits = 0;
    desktop.duringSendWait = [&](HWND hwnd, UINT message) {
        EXPECT_EQ(hwnd, hung);
        EXPECT_EQ(message, static_cast<UINT>(WM_CLOSE));
        ++waits;
    };
    desk::sendMessageTimeout(hung, WM_CLOSE, 0, 0, SMTO_NORMAL, 2000, &result);
    EXPECT_EQ(waits, 1);

    HWND gone = desktop.addAppWindow(u"gone");
    desktop.destroyWindow(gone);
    EXPECT_EQ(desk::sendMessageTimeout(gone, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 250, &result), 0);
    EXPECT_EQ(desk::getLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(desktop.sendCount(hung), 3);
    EXPECT_EQ(desktop.sendCount(hung, WM_CLOSE), 2);
}

TEST_F(FakeDesktopTest, CloseBehavioursAndProcessExit) {
    FakeDesktop &desktop = fakeDesktop();
    const DWORD app = desktop.createProcess();
    HWND main = desktop.addAppWindow(u"main", app);
    HWND palette = desktop.addAppWindow(u"palette", app);
    FakeWindow asking;
    asking.onClose = FakeCloseBehaviour::AsksModalQuestion;
    const DWORD editor = desktop.createProcess();
    asking.processId = editor;
    HWND question = desktop.createWindow(asking);
    FakeWindow stubborn;
    stubborn.onClose = FakeCloseBehaviour::AnswersStaysOpen;
    HWND stays = desktop.createWindow(stubborn);

    DWORD_PTR result = 0;
    EXPECT_NE(desk::sendMessageTimeout(main, WM_CLOSE, 0, 0, SMTO_NORMAL, 2000, &result), 0);
    EXPECT_FALSE(desk::isWindow(main));
    EXPECT_TRUE(desktop.process(app)->running);
    EXPECT_NE(desk::sendMessageTimeout(palette, WM_CLOSE, 0, 0, SMTO_NORMAL, 2000, &result), 0);
    EXPECT_FALSE(desktop.process(app)->running);
    EXPECT_EQ(desktop.process(app)->exitCode, 0u);

    EXPECT_EQ(desk::sendMessageTimeout(question, WM_CLOSE, 0, 0, SMTO_NORMAL, 2000, &result), 0);
    EXPECT_EQ(desktop.nowMs(), 2000u);
    EXPECT_TRUE(desk::isWindow(question));
    EXPECT_NE(desk::sendMessageTimeout(stays, WM_CLOSE, 0, 0, SMTO_NORMAL, 2000, &result), 0);
    EXPECT_TRUE(desk::isWindow(stays));

    // Terminating the asking application ends it and its windows.
    HANDLE process = desk::openProcess(PROCESS_TERMINATE, editor);
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(desktop.openHandleCount(), 1);
    EXPECT_EQ(desk::terminateProcess(process, 0xFFFFFFFFu), TRUE);
    EXPECT_FALSE(desktop.process(editor)->running);
    EXPECT_EQ(desktop.process(editor)->exitCode, 0xFFFFFFFFu);
    EXPECT_FALSE(desk::isWindow(question));
    EXPECT_EQ(desk::terminateProcess(process, 1), FALSE);  // already ended
    EXPECT_EQ(desk::closeHandle(process), TRUE);
    EXPECT_EQ(desk::closeHandle(process), FALSE);
    EXPECT_EQ(desktop.openHandleCount(), 0);
    EXPECT_EQ(desk::openProcess(PROCESS_TERMINATE, editor), nullptr);  // gone
}

TEST_F(FakeDesktopTest, ProcessesThatCannotBeOpenedOrTerminated) {
    FakeDesktop &desktop = fakeDesktop();
    const DWORD guarded = desktop.createProcess();
    desktop.process(guarded)->canOpenForTermination = false;
    EXPECT_EQ(desk::openProcess(PROCESS_TERMINATE, guarded), nullptr);
    EXPECT_EQ(desk::getLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    desktop.process(guarded)->canOpenForTermination = true;
    desktop.process(guarded)->terminateFails = true;
    HANDLE process = desk::openProcess(PROCESS_TERMINATE, guarded);
    EXPECT_EQ(desk::terminateProcess(process, 0xFFFFFFFFu), FALSE);
    EXPECT_TRUE(desktop.process(guarded)->running);
    desk::closeHandle(process);
    EXPECT_EQ(desktop.openHandleCount(), 0);
    EXPECT_EQ(desk::getCurrentProcessId(), FakeDesktop::kDefaultOwnProcessId);
    desktop.setOwnProcessId(guarded);
    EXPECT_EQ(desk::getCurrentProcessId(), guarded);
}

TEST_F(FakeDesktopTest, AProcessIdIsGivenOutAgainOnlyWhenNoHandleHoldsIt) {
    FakeDesktop &desktop = fakeDesktop();
    const DWORD first = desktop.createProcess();
    const HWND window = desktop.addAppWindow(u"first", first);
    EXPECT_NE(desktop.startProcessReusingId(first), first) << "a running process keeps its id";

    HANDLE held = desk::openProcess(PROCESS_QUERY_LIMITED_INFORMATION, first);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(desk::getProcessId(held), first);
    EXPECT_EQ(desk::terminateProcess(held, 1), FALSE) << "opened without the right to terminate";
    EXPECT_TRUE(desktop.process(first)->running);
    desktop.exitProcess(first, 3);
    EXPECT_FALSE(desk::isWindow(window));
    EXPECT_NE(desktop.startProcessReusingId(first), first) << "a held handle keeps the id taken";
    EXPECT_EQ(desk::getProcessId(held), first) << "the id stays readable after the end";
    desk::closeHandle(held);
    EXPECT_EQ(desk::getProcessId(held), 0u);

    EXPECT_EQ(desktop.startProcessReusingId(first), first);
    EXPECT_TRUE(desktop.process(first)->running);
    HANDLE terminateOnly = desk::openProcess(PROCESS_TERMINATE, first);
    EXPECT_EQ(desk::getProcessId(terminateOnly), 0u);
    EXPECT_EQ(desk::getLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    desk::closeHandle(terminateOnly);
}

TEST_F(FakeDesktopTest, ClassNamesAndAShellWindowThatCanBeReplaced) {
    FakeDesktop &desktop = fakeDesktop();
    FakeWindow frame;
    frame.className = u"ApplicationFrameWindow";
    const HWND hwnd = desktop.createWindow(frame);
    plr_char name[8] = {};
    EXPECT_EQ(desk::getClassName(hwnd, name, 8), 7);
    EXPECT_EQ(std::u16string(name), u"Applica");

    EXPECT_EQ(desk::getShellWindow(), nullptr);
    const HWND shell = desktop.addAppWindow(u"");
    desktop.setShellWindow(shell);
    EXPECT_EQ(desk::getShellWindow(), shell);
    desktop.destroyWindow(shell);
    EXPECT_EQ(desk::getShellWindow(), nullptr);
    EXPECT_EQ(desk::getClassName(shell, name, 8), 0);
    EXPECT_EQ(desk::getLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(FakeDesktopTest, ForegroundAttemptsFollowTheScript) {
    FakeDesktop &desktop = fakeDesktop();
    HWND a = desktop.addAppWindow(u"a");
    HWND b = desktop.addAppWindow(u"b");
    desktop.scriptForegroundResults({false, true});
    EXPECT_EQ(desk::setForegroundWindow(a), FALSE);
    EXPECT_EQ(desk::getForegroundWindow(), nullptr);
    EXPECT_EQ(desk::attachThreadInput(7, 9, TRUE), TRUE);
    EXPECT_EQ(desk::setForegroundWindow(a), TRUE);
    EXPECT_EQ(desk::getForegroundWindow(), a);
    EXPECT_EQ(desktop.zOrder().front(), a);
    EXPECT_EQ(desktop.attachedThreadPairs(), (std::set<std::pair<DWORD, DWORD>>{{7, 9}}));
    EXPECT_EQ(desk::attachThreadInput(7, 9, FALSE), TRUE);
    EXPECT_TRUE(desktop.attachedThreadPairs().empty());
    EXPECT_EQ(desk::attachThreadInput(7, 9, FALSE), FALSE);
    const std::vector<FakeDeskCall> attempts = desktop.callsOf(FakeDeskCall::SetForegroundWindow);
    ASSERT_EQ(attempts.size(), 2u);
    EXPECT_FALSE(attempts[0].attachedAtCall);
    EXPECT_TRUE(attempts[1].attachedAtCall);
    EXPECT_EQ(desk::setForegroundWindow(b), TRUE);  // script used up: default
    desktop.destroyWindow(b);
    EXPECT_EQ(desk::getForegroundWindow(), nullptr);
}

TEST_F(FakeDesktopTest, InputPostsAndMessageBoxesAreRecorded) {
    FakeDesktop &desktop = fakeDesktop();
    INPUT events[2] = {};
    events[0].type = INPUT_KEYBOARD;
    events[0].ki.wVk = VK_MENU;
    events[0].ki.dwFlags = KEYEVENTF_EXTENDEDKEY;
    events[1] = events[0];
    events[1].ki.dwFlags = KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP;
    int observed = 0;
    desktop.inputObserver = [&](const INPUT &) { ++observed; };
    EXPECT_EQ(desk::sendInput(2, events, sizeof(INPUT)), 2u);
    EXPECT_EQ(desk::sendInput(2, events, sizeof(INPUT) - 4), 0u);
    EXPECT_EQ(observed, 2);
    const std::vector<FakeDeskCall> inputs = desktop.callsOf(FakeDeskCall::SendInput);
    ASSERT_EQ(inputs.size(), 2u);
    EXPECT_EQ(inputs[0].inputSize, static_cast<int>(sizeof(INPUT)));
    ASSERT_EQ(inputs[0].inputs.size(), 2u);
    EXPECT_EQ(inputs[0].inputs[1].ki.dwFlags, static_cast<DWORD>(KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP));

    HWND minimised = desktop.addAppWindow(u"min");
    desktop.window(minimised)->iconic = true;
    EXPECT_EQ(desk::postMessage(minimised, WM_SYSCOMMAND, SC_RESTORE, 0), TRUE);
    EXPECT_EQ(desk::isIconic(minimised), FALSE);
    EXPECT_EQ(desktop.callsOf(FakeDeskCall::PostMessage).size(), 1u);

    EXPECT_EQ(desk::messageBox(u"Text", u"Caption"), 1);
    const std::vector<FakeDeskCall> boxes = desktop.callsOf(FakeDeskCall::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"Text");
    EXPECT_EQ(boxes[0].caption, u"Caption");
}

TEST_F(FakeDesktopTest, LastErrorIsPerThreadAndSystemTextsAreCounted) {
    desk::setLastError(5);
    DWORD seenByOther = 99;
    std::thread other([&] { seenByOther = desk::getLastError(); });
    other.join();
    EXPECT_EQ(seenByOther, 0u);
    EXPECT_EQ(desk::getLastError(), 5u);

    plr_char *text = desk::formatSystemMessage(1460);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::u16string(text), u"This operation returned because the timeout period expired.\r\n");
    EXPECT_EQ(fakeDesktop().outstandingSystemMessages(), 1);
    desk::freeSystemMessage(text);
    EXPECT_EQ(fakeDesktop().outstandingSystemMessages(), 0);
    EXPECT_EQ(desk::formatSystemMessage(123456), nullptr);
}
