// Closing the applications of a group against the fake desktop: close
// requests to every top-level window of each window's process, once per
// application and deletion, the two second bound on the fake clock,
// termination only with the setting on and only after a request went
// unanswered, through a handle held from before the requests, the program's
// own process, the desktop shell's process and the host of application
// frames, windows that are gone, and the depth-first order. Also how the
// registry data of the termination setting is read.
#include <gtest/gtest.h>

#include <vector>

#include "model_fixture.h"
#include "platform/desktop.h"
#include "shell/closing.h"
#include "shell/settings.h"

namespace {

class ClosingTest : public ModelTest {
protected:
    // The group being closed: detached from the tree, as a deletion leaves it.
    PLRGroup *group = nullptr;

    void SetUp() override {
        ModelTest::SetUp();
        group = new PLRGroup();
    }
    void TearDown() override {
        delete group;
        ModelTest::TearDown();
    }

    static PLRWindow *addLive(PLRGroup *into, DWORD processId = 0) {
        return addRecord(into, fakeDesktop().addAppWindow(u"app", processId), u"app");
    }
    // Another top-level window of the process, invisible and outside any group.
    static HWND addHiddenWindow(DWORD processId) {
        FakeWindow hidden;
        hidden.style = 0;
        hidden.processId = processId;
        return fakeDesktop().createWindow(hidden);
    }
    static DWORD processOf(HWND hwnd) { return fakeDesktop().window(hwnd)->processId; }

    static std::vector<FakeDeskCall> closeRequests() {
        std::vector<FakeDeskCall> found;
        for (const FakeDeskCall &call : fakeDesktop().callsOf(FakeDeskCall::SendMessageTimeout))
            if (call.message == WM_CLOSE) found.push_back(call);
        return found;
    }
    static std::vector<HWND> closedWindows() {
        std::vector<HWND> found;
        for (const FakeDeskCall &call : closeRequests()) found.push_back(call.hwnd);
        return found;
    }
    static bool running(DWORD processId) { return fakeDesktop().process(processId)->running; }
};

TEST_F(ClosingTest, AnApplicationThatClosesAtOnceGetsARequestForEachWindowAndExits) {
    PLRWindow *record = addLive(group);
    const HWND main = record->hwnd;
    const DWORD process = processOf(main);
    const HWND other = addHiddenWindow(process);
    g_dwCallTerminateProcess = 1;

    group->closeApplications();

    const std::vector<FakeDeskCall> requests = closeRequests();
    ASSERT_EQ(requests.size(), 2u);
    for (const FakeDeskCall &request : requests) {
        EXPECT_EQ(request.flags, static_cast<UINT>(SMTO_NORMAL | SMTO_ABORTIFHUNG));
        EXPECT_EQ(request.timeoutMs, 2000u);
        EXPECT_EQ(request.wParam, 0u);
        EXPECT_EQ(request.lParam, 0);
    }
    // Enumeration follows the z-order, in which the activation has just
    // raised the record's window to the top.
    EXPECT_EQ(closedWindows(), (std::vector<HWND>{main, other}));
    EXPECT_FALSE(running(process));
    EXPECT_EQ(fakeDesktop().process(process)->exitCode, 0u);
    // With the setting on the process is opened before its requests, and
    // the handle is closed when the deletion ends.
    const std::vector<FakeDeskCall> opens = fakeDesktop().callsOf(FakeDeskCall::OpenProcess);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].processId, process);
    EXPECT_EQ(opens[0].access, static_cast<DWORD>(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION));
    EXPECT_TRUE(fakeDesktop().callsOf(FakeDeskCall::TerminateProcess).empty());
    EXPECT_EQ(fakeDesktop().openHandleCount(), 0);
    // The record itself is untouched.
    EXPECT_EQ(group->windows.front(), record);
    EXPECT_EQ(record->hwnd, main);
}

TEST_F(ClosingTest, TheWindowIsBroughtForwardBeforeItsApplicationIsAskedToClose) {
    PLRWindow *record = addLive(group);
    fakeDesktop().setForeground(fakeDesktop().addAppWindow(u"elsewhere"));

    group->closeApplications();

    const std::vector<FakeDeskCall> calls = fakeDesktop().calls();
    std::size_t foreground = calls.size(), close = calls.size();
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].kind == FakeDeskCall::SetForegroundWindow && calls[i].hwnd == record->hwnd && foreground == calls.size())
            foreground = i;
        if (calls[i].kind == FakeDeskCall::SendMessageTimeout && calls[i].message == WM_CLOSE && close == calls.size())
            close = i;
    }
    ASSERT_LT(foreground, calls.size());
    ASSERT_LT(close, calls.size());
    EXPECT_LT(foreground, close);
}

TEST_F(ClosingTest, AModalQuestionKeepsTheApplicationRunningUnlessTerminationIsOn) {
    for (DWORD setting : {0u, 1u}) {
        SCOPED_TRACE(setting);
        resetModelWorld();
        PLRGroup question;
        PLRWindow *record = addLive(&question);
        const DWORD process = processOf(record->hwnd);
        const HWND last = addHiddenWindow(process);
        const HWND asking = addHiddenWindow(process);
        fakeDesktop().window(asking)->onClose = FakeCloseBehaviour::AsksModalQuestion;
        g_dwCallTerminateProcess = setting;

        question.closeApplications();

        // The record's window closes; the question's request waits out the
        // bound and ends the enumeration, so the last window gets none.
        EXPECT_EQ(closedWindows(), (std::vector<HWND>{record->hwnd, asking}));
        EXPECT_EQ(fakeDesktop().sendCount(last), 0);
        EXPECT_EQ(fakeDesktop().nowMs(), 2000u);
        if (setting == 0) {
            EXPECT_TRUE(running(process));
            EXPECT_TRUE(fakeDesktop().callsOf(FakeDeskCall::OpenProcess).empty());
            EXPECT_TRUE(fakeDesktop().callsOf(FakeDeskCall::TerminateProcess).empty());
        } else {
            EXPECT_FALSE(running(process));
            EXPECT_EQ(fakeDesktop().process(process)->exitCode, 0xFFFFFFFFu);
            const std::vector<FakeDeskCall> opens = fakeDesktop().callsOf(FakeDeskCall::OpenProcess);
            ASSERT_EQ(opens.size(), 1u);
            EXPECT_EQ(opens[0].processId, process);
            const std::vector<FakeDeskCall> terminations = fakeDesktop().callsOf(FakeDeskCall::TerminateProcess);
            ASSERT_EQ(terminations.size(), 1u);
            EXPECT_EQ(terminations[0].handle, opens[0].handle);
            EXPECT_EQ(terminations[0].exitCode, 0xFFFFFFFFu);
            EXPECT_EQ(fakeDesktop().openHandleCount(), 0);
        }
    }
}

// The system already counts it hung: the request gives up at once, with the
// last error ERROR_TIMEOUT or 0, and either counts as no answer.
TEST_F(ClosingTest, AHungApplicationIsNotActivatedAndIsTerminatedOnlyWithTheSettingOn) {
    for (DWORD setting : {0u, 1u}) {
        SCOPED_TRACE(setting);
        resetModelWorld();
        PLRGroup hung;
        PLRWindow *record = addLive(&hung);
        const DWORD process = processOf(record->hwnd);
        fakeDesktop().setHung(record->hwnd);
        fakeDesktop().window(record->hwnd)->abortIfHungError = setting == 0 ? ERROR_TIMEOUT : 0;
        g_dwCallTerminateProcess = setting;

        hung.closeApplications();

        EXPECT_TRUE(fakeDesktop().callsOf(FakeDeskCall::SetForegroundWindow).empty());
        EXPECT_TRUE(fakeDesktop().callsOf(FakeDeskCall::BringWindowToTop).empty());
        EXPECT_EQ(closedWindows(), (std::vector<HWND>{record->hwnd}));
        EXPECT_EQ(fakeDesktop().nowMs(), 0u);
        EXPECT_EQ(running(process), setting == 0);
        if (setting != 0) {
            EXPECT_EQ(fakeDesktop().process(process)->exitCode, 0xFFFFFFFFu);
        }
        EXPECT_EQ(fakeDesktop().openHandleCount(), 0);
    }
}

TEST_F(ClosingTest, AnApplicationThatAnswersButRefusesIsNeverTerminated) {
    PLRWindow *record = addLive(group);
    const DWORD process = processOf(record->hwnd);
    const HWND other = addHiddenWindow(process);
    fakeDesktop().window(record->hwnd)->onClose = FakeCloseBehaviour::AnswersStaysOpen;
    fakeDesktop().window(other)->onClose = FakeCloseBehaviour::AnswersStaysOpen;
    g_dwCallTerminateProcess = 1;

    group->closeApplications();

    EXPECT_EQ(closedWindows(), (std::vector<HWND>{record->hwnd, other}));
    EXPECT_TRUE(running(process));
    EXPECT_TRUE(fakeDesktop().callsOf(FakeDeskCall::TerminateProcess).empty());
    EXPECT_EQ(fakeDesktop().openHandleCount(), 0);
}

// A window destroyed between its check and its request, or one that refuses
// the message, says nothing about whether the application answers: the
// others are still asked and nothing is terminated.
TEST_F(ClosingTest, AWindowThatIsGoneOrRefusesTheSendNeverLeadsToTermination) {
    for (DWORD error : {static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), static_cast<DWORD>(ERROR_ACCESS_DENIED)}) {
        SCOPED_TRACE(error);
        resetModelWorld();
        PLRGroup app;
        PLRWindow *record = addLive(&app);
        const DWORD process = processOf(record->hwnd);
        const HWND last = addHiddenWindow(process);
        fakeDesktop().window(last)->onClose = FakeCloseBehaviour::AnswersStaysOpen;
        const HWND vanishing = addHiddenWindow(process);
        fakeDesktop().window(vanishing)->sendError = error;
        g_dwCallTerminateProcess = 1;

        app.closeApplications();

        EXPECT_EQ(closedWindows(), (std::vector<HWND>{record->hwnd, vanishing, last}));
        EXPECT_TRUE(running(process));
        EXPECT_TRUE(fakeDesktop().callsOf(FakeDeskCall::TerminateProcess).empty());
        EXPECT_EQ(fakeDesktop().openHandleCount(), 0);
    }
}

// The application ends on its own while its question waits, and a new
// process starts meanwhile. Had the id been read again for the termination,
// and the process opened only then, the newcomer could have had that id and
// been terminated in its place.
TEST_F(ClosingTest, AProcessStartedDuringTheWaitIsNeverTerminatedInsteadOfTheOneAsked) {
    PLRWindow *record = addLive(group);
    const DWORD process = processOf(record->hwnd);
    fakeDesktop().window(record->hwnd)->onClose = FakeCloseBehaviour::AsksModalQuestion;
    DWORD newcomer = 0;
    HWND newcomerWindow = nullptr;
    fakeDesktop().duringSendWait = [&](HWND, UINT message) {
        if (message != WM_CLOSE || newcomer != 0) return;
        fakeDesktop().exitProcess(process, 0);
        newcomer = fakeDesktop().startProcessReusingId(process);
        newcomerWindow = fakeDesktop().addAppWindow(u"newcomer", newcomer);
    };
    g_dwCallTerminateProcess = 1;

    group->closeApplications();
    fakeDesktop().duringSendWait = nullptr;

    ASSERT_NE(newcomer, 0u);
    EXPECT_TRUE(running(newcomer));
    EXPECT_TRUE(desk::isWindow(newcomerWindow));
    EXPECT_EQ(fakeDesktop().sendCount(newcomerWindow), 0);
    EXPECT_EQ(fakeDesktop().process(process)->exitCode, 0u) << "it ended on its own";
    EXPECT_EQ(fakeDesktop().openHandleCount(), 0);
}

TEST_F(ClosingTest, TheProgramsOwnWindowsAreNeverClosedNorItsProcessTerminated) {
    const DWORD own = desk::getCurrentProcessId();
    PLRWindow *about = addLive(group, own);  // the About box in a group
    fakeDesktop().window(about->hwnd)->onClose = FakeCloseBehaviour::AsksModalQuestion;
    const HWND ownMain = addHiddenWindow(own);
    PLRWindow *stranger = addLive(group);
    g_dwCallTerminateProcess = 1;

    group->closeApplications();

    EXPECT_EQ(fakeDesktop().sendCount(about->hwnd), 0);
    EXPECT_EQ(fakeDesktop().sendCount(ownMain), 0);
    for (const FakeDeskCall &call : fakeDesktop().callsOf(FakeDeskCall::SetForegroundWindow))
        EXPECT_EQ(call.hwnd, stranger->hwnd);
    for (const FakeDeskCall &call : fakeDesktop().callsOf(FakeDeskCall::OpenProcess)) EXPECT_NE(call.processId, own);
    EXPECT_TRUE(fakeDesktop().callsOf(FakeDeskCall::TerminateProcess).empty());
    // The other application in the same group is closed as usual.
    EXPECT_EQ(closedWindows(), (std::vector<HWND>{stranger->hwnd}));

    // The callback refuses the own process even when asked for it.
    fakeDesktop().clearCalls();
    EXPECT_EQ(EnumWindowsProcCloseWindows(about->hwnd, static_cast<LPARAM>(own)), TRUE);
    EXPECT_TRUE(closeRequests().empty());
}

TEST_F(ClosingTest, InTheShellsProcessOnlyTheRecordsWindowIsAskedAndTheShellIsNeverTerminated) {
    const DWORD shell = fakeDesktop().createProcess();
    g_hwndShell = addHiddenWindow(shell);
    fakeDesktop().setShellWindow(g_hwndShell);
    const HWND taskbar = addHiddenWindow(shell);
    PLRWindow *folder = addLive(group, shell);
    fakeDesktop().window(folder->hwnd)->onClose = FakeCloseBehaviour::AsksModalQuestion;
    // An ordinary application keeps the rule: all its windows are asked.
    PLRWindow *app = addLive(group);
    const HWND appOther = addHiddenWindow(processOf(app->hwnd));
    g_dwCallTerminateProcess = 1;

    group->closeApplications();

    EXPECT_EQ(closedWindows(), (std::vector<HWND>{folder->hwnd, app->hwnd, appOther}));
    EXPECT_EQ(fakeDesktop().sendCount(g_hwndShell), 0);
    EXPECT_EQ(fakeDesktop().sendCount(taskbar), 0);
    EXPECT_TRUE(running(shell));
    for (const FakeDeskCall &call : fakeDesktop().callsOf(FakeDeskCall::OpenProcess)) EXPECT_NE(call.processId, shell);
}

// Explorer restarted after start-up: its new process has a new shell window,
// and the one start-up found is gone.
TEST_F(ClosingTest, AfterTheShellRestartsItsNewProcessIsProtected) {
    const DWORD oldShell = fakeDesktop().createProcess();
    g_hwndShell = addHiddenWindow(oldShell);
    fakeDesktop().setShellWindow(g_hwndShell);
    fakeDesktop().exitProcess(oldShell);
    const DWORD shell = fakeDesktop().createProcess();
    const HWND shellWindow = addHiddenWindow(shell);
    fakeDesktop().setShellWindow(shellWindow);
    const HWND taskbar = addHiddenWindow(shell);
    PLRWindow *folder = addLive(group, shell);
    fakeDesktop().window(folder->hwnd)->onClose = FakeCloseBehaviour::AsksModalQuestion;
    g_dwCallTerminateProcess = 1;

    group->closeApplications();

    EXPECT_EQ(g_hwndShell, shellWindow) << "discovery reads it too";
    EXPECT_EQ(closedWindows(), (std::vector<HWND>{folder->hwnd}));
    EXPECT_EQ(fakeDesktop().sendCount(taskbar), 0);
    EXPECT_TRUE(running(shell));
    EXPECT_TRUE(fakeDesktop().callsOf(FakeDeskCall::OpenProcess).empty());
}

// The frames of Store applications all belong to one host process: a frame
// stands for its own application only, and the host is never terminated.
TEST_F(ClosingTest, AnApplicationFrameGetsOnlyItsOwnRequestAndItsHostIsNeverTerminated) {
    const DWORD host = fakeDesktop().createProcess();
    auto frame = [host](FakeCloseBehaviour onClose) {
        FakeWindow window;
        window.className = u"ApplicationFrameWindow";
        window.caption = u"store app";
        window.processId = host;
        window.onClose = onClose;
        return fakeDesktop().createWindow(window);
    };
    const HWND elsewhere = frame(FakeCloseBehaviour::AsksModalQuestion);  // not in the group
    PLRWindow *refusing = addRecord(group, frame(FakeCloseBehaviour::AnswersStaysOpen), u"store app");
    PLRWindow *closing = addRecord(group, frame(FakeCloseBehaviour::ClosesAtOnce), u"store app");
    g_dwCallTerminateProcess = 1;

    group->closeApplications();

    EXPECT_EQ(closedWindows(), (std::vector<HWND>{refusing->hwnd, closing->hwnd}));
    EXPECT_EQ(fakeDesktop().sendCount(elsewhere), 0);
    EXPECT_TRUE(running(host));
    EXPECT_TRUE(fakeDesktop().callsOf(FakeDeskCall::OpenProcess).empty());
}

TEST_F(ClosingTest, ARecordWhoseWindowIsGoneIsSkipped) {
    PLRWindow *first = addLive(group);
    const DWORD process = processOf(first->hwnd);
    // A second window of the same application, closed with the first.
    PLRWindow *second = addLive(group, process);
    PLRWindow *gone = addLive(group);
    fakeDesktop().destroyWindow(gone->hwnd);
    g_dwCallTerminateProcess = 1;

    group->closeApplications();

    EXPECT_EQ(closedWindows(), (std::vector<HWND>{first->hwnd, second->hwnd}));
    EXPECT_EQ(fakeDesktop().sendCount(gone->hwnd), 0);
    const std::vector<FakeDeskCall> opens = fakeDesktop().callsOf(FakeDeskCall::OpenProcess);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].processId, process);
    EXPECT_EQ(fakeDesktop().enumerationCount(), 1);
}

// Five records of one application: one round of requests, brought forward
// once; for one that does not answer, one wait, and with the setting on one
// termination.
TEST_F(ClosingTest, ManyWindowsOfOneApplicationAreAskedOnceAndWaitedForOnce) {
    struct Case {
        bool hung;
        DWORD setting;
    };
    for (const Case c : {Case{false, 1}, Case{true, 0}, Case{true, 1}}) {
        SCOPED_TRACE(testing::Message() << "hung " << c.hung << ", setting " << c.setting);
        resetModelWorld();
        PLRGroup app;
        PLRWindow *first = addLive(&app);
        const DWORD process = processOf(first->hwnd);
        for (int i = 0; i < 4; ++i) addLive(&app, process);
        for (PLRWindow *record : app.windows) {
            if (c.hung) {
                // Not yet counted hung by the system: each send waits its bound.
                fakeDesktop().setHung(record->hwnd, false);
            } else {
                fakeDesktop().window(record->hwnd)->onClose = FakeCloseBehaviour::AnswersStaysOpen;
            }
        }
        g_dwCallTerminateProcess = c.setting;

        app.closeApplications();

        EXPECT_EQ(fakeDesktop().enumerationCount(), 1);
        if (!c.hung) {
            for (PLRWindow *record : app.windows) EXPECT_EQ(fakeDesktop().sendCount(record->hwnd, WM_CLOSE), 1);
            for (const FakeDeskCall &call : fakeDesktop().callsOf(FakeDeskCall::SetForegroundWindow))
                EXPECT_EQ(call.hwnd, first->hwnd);
            EXPECT_TRUE(running(process));
        } else {
            // The activation's probe (a quarter second) and one request.
            EXPECT_EQ(fakeDesktop().nowMs(), 2250u);
            EXPECT_EQ(closeRequests().size(), 1u);
            EXPECT_EQ(running(process), c.setting == 0);
        }
        EXPECT_EQ(fakeDesktop().callsOf(FakeDeskCall::TerminateProcess).size(), c.hung && c.setting != 0 ? 1u : 0u);
        EXPECT_EQ(fakeDesktop().openHandleCount(), 0);
    }
}

TEST_F(ClosingTest, OwnWindowsComeFirstThenEachSubgroupDepthFirst) {
    PLRWindow *own = addLive(group);
    PLRGroup *first = new PLRGroup();
    PLRGroup *inner = new PLRGroup();
    PLRGroup *second = new PLRGroup();
    group->subgroups = {first, second};
    first->subgroups = {inner};
    PLRWindow *firstWindow = addLive(first);
    PLRWindow *innerWindow = addLive(inner);
    PLRWindow *secondWindow = addLive(second);
    PLRWindow *ownLast = addLive(group);

    group->closeApplications();

    EXPECT_EQ(closedWindows(), (std::vector<HWND>{own->hwnd, ownLast->hwnd, firstWindow->hwnd, innerWindow->hwnd,
                                                  secondWindow->hwnd}));
}

TEST_F(ClosingTest, AnEmptyGroupDoesNothing) {
    addHiddenWindow(fakeDesktop().createProcess());
    group->closeApplications();
    EXPECT_TRUE(fakeDesktop().calls().empty());
    EXPECT_EQ(fakeDesktop().enumerationCount(), 0);
}

TEST_F(ClosingTest, AProcessThatCannotBeOpenedIsLeftAlone) {
    PLRWindow *record = addLive(group);
    const DWORD process = processOf(record->hwnd);
    fakeDesktop().window(record->hwnd)->onClose = FakeCloseBehaviour::AsksModalQuestion;
    fakeDesktop().process(process)->canOpenForTermination = false;
    g_dwCallTerminateProcess = 1;

    group->closeApplications();

    EXPECT_EQ(fakeDesktop().callsOf(FakeDeskCall::OpenProcess).size(), 1u);
    EXPECT_TRUE(fakeDesktop().callsOf(FakeDeskCall::TerminateProcess).empty());
    EXPECT_TRUE(running(process));
    EXPECT_EQ(fakeDesktop().openHandleCount(), 0);
}

TEST_F(ClosingTest, TheCallbackAsksOnlyWindowsOfItsProcessAndStopsOnAnUnansweredRequest) {
    const HWND mine = fakeDesktop().addAppWindow(u"mine");
    const HWND other = fakeDesktop().addAppWindow(u"other");
    const LPARAM process = static_cast<LPARAM>(processOf(mine));

    EXPECT_EQ(EnumWindowsProcCloseWindows(other, process), TRUE);
    EXPECT_EQ(fakeDesktop().sendCount(other), 0);

    fakeDesktop().window(mine)->onClose = FakeCloseBehaviour::AnswersStaysOpen;
    EXPECT_EQ(EnumWindowsProcCloseWindows(mine, process), TRUE);
    fakeDesktop().window(mine)->onClose = FakeCloseBehaviour::AsksModalQuestion;
    EXPECT_EQ(EnumWindowsProcCloseWindows(mine, process), FALSE);
    EXPECT_EQ(desk::getLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_EQ(fakeDesktop().sendCount(mine, WM_CLOSE), 2);

    fakeDesktop().destroyWindow(other);
    EXPECT_EQ(EnumWindowsProcCloseWindows(other, process), TRUE);
}

// A value stored as a string was read as its first bytes, so "0" (0x30)
// switched termination on.
TEST(TerminationSettingTest, AStringIsTheDecimalNumberItSpellsAndOtherDataItsBytes) {
    auto read = [](DWORD type, const std::u16string &text, std::size_t bytes = std::u16string::npos) {
        std::vector<BYTE> data;
        for (char16_t unit : text) {
            data.push_back(static_cast<BYTE>(unit & 0xFF));
            data.push_back(static_cast<BYTE>(unit >> 8));
        }
        if (bytes != std::u16string::npos) data.resize(bytes);
        return settingFromRegistryData(type, data.data(), data.size());
    };
    const std::u16string terminated(1, u'\0');
    EXPECT_EQ(read(REG_SZ, u"0" + terminated), 0u);
    EXPECT_EQ(read(REG_SZ, u"1" + terminated), 1u);
    EXPECT_EQ(read(REG_EXPAND_SZ, u"1" + terminated), 1u);
    EXPECT_EQ(read(REG_SZ, u" 10\t" + terminated), 10u);
    EXPECT_EQ(read(REG_SZ, u"4294967295"), 0xFFFFFFFFu) << "unterminated";
    EXPECT_EQ(read(REG_SZ, u"4294967296" + terminated), 0u);
    EXPECT_EQ(read(REG_SZ, u"12" + terminated + u"3"), 12u) << "ends at the terminator";
    EXPECT_EQ(read(REG_SZ, u"12", 3), 1u) << "an odd last byte is no unit";
    for (const char16_t *text : {u"", u" ", u"1x", u"-1", u"+1", u"on", u"0x1", u"\xFF11"})
        EXPECT_EQ(read(REG_SZ, std::u16string(text) + terminated), 0u) << "not a decimal number";

    const BYTE bytes[] = {0x78, 0x56, 0x34, 0x12, 0x01};
    EXPECT_EQ(settingFromRegistryData(REG_DWORD, bytes, 4), 0x12345678u);
    EXPECT_EQ(settingFromRegistryData(REG_BINARY, bytes, 1), 0x78u);
    EXPECT_EQ(settingFromRegistryData(REG_BINARY, bytes, 5), 0u) << "longer than 4 bytes";
    EXPECT_EQ(read(7 /* REG_MULTI_SZ */, u"1" + terminated + terminated), 0u) << "6 bytes";
    EXPECT_EQ(settingFromRegistryData(REG_DWORD, nullptr, 0), 0u);
}

}  // namespace
