// The log's two writers against the fake desktop and the captured log: the
// report format, the room the report block leaves, what happens without a
// system text or without memory, and logging switched off.
#include <gtest/gtest.h>

#include <string>

#include "log/log.h"
#include "model/globals.h"
#include "platform/desktop.h"
#include "platform/fake/fake_desktop.h"
#include "platform/fake/fake_log.h"

namespace {

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedLog_ = g_dwLog;
        fakeDesktop().reset();
        clearCapturedLogLines();
        resetFakeLocalMemory();
        g_dwLog = 1;
    }
    void TearDown() override {
        g_dwLog = savedLog_;
        resetFakeLocalMemory();
        clearCapturedLogLines();
        fakeDesktop().reset();
    }

    // Fails the failed call `code` and reports it, as the program does.
    static void report(DWORD code, const char16_t *api = u"CreateWindowEx", const char16_t *caller = u"wWinMain") {
        desk::setLastError(code);
        logLastError(api, caller);
    }
    static std::u16string onlyLine() {
        EXPECT_EQ(capturedLogLines().size(), 1u);
        return capturedLogLines().empty() ? std::u16string() : capturedLogLines().front();
    }
    // Nothing the report borrowed is left behind.
    static void expectNothingLeaked() {
        EXPECT_EQ(fakeLocalBlocksInUse(), 0);
        EXPECT_EQ(fakeDesktop().outstandingSystemMessages(), 0);
    }

private:
    DWORD savedLog_ = 0;
};

// ------------------------------------------------------------ report format

TEST_F(LogTest, ReportNamesCallCallerCodeAndKeepsTheSystemTextUnchanged) {
    fakeDesktop().setSystemMessage(5, u"Access is denied.\r\n");
    report(5, u"SetWindowsHookEx", u"wWinMain");
    EXPECT_EQ(onlyLine(), u"SetWindowsHookEx, called from wWinMain failed with error 5: Access is denied.\r\n");
    expectNothingLeaked();
}

TEST_F(LogTest, CodeZeroStillGivesAFullReport) {
    fakeDesktop().setSystemMessage(0, u"The operation completed successfully.\r\n");
    report(0, u"GetProcAddress", u"wWinMain");
    EXPECT_EQ(onlyLine(),
              u"GetProcAddress, called from wWinMain failed with error 0: The operation completed successfully.\r\n");
}

TEST_F(LogTest, MessageIsWrittenAsOneLineVerbatim) {
    logMessage(u"PLRGroup::select: hti was NULL.  Not sending message.");
    logMessage(u"");
    ASSERT_EQ(capturedLogLines().size(), 2u);
    EXPECT_EQ(capturedLogLines()[0], u"PLRGroup::select: hti was NULL.  Not sending message.");
    EXPECT_EQ(capturedLogLines()[1], u"");
}

// ------------------------------------------------- room in the report block

TEST_F(LogTest, FourDigitCodeFillsTheBlockExactlyAndLosesNothing) {
    // 35 fixed units + 4 digits + terminator use the 40 spare units exactly.
    fakeDesktop().setSystemMessage(1400, u"Invalid window handle.\r\n");
    report(1400);
    EXPECT_EQ(onlyLine(), u"CreateWindowEx, called from wWinMain failed with error 1400: Invalid window handle.\r\n");
    expectNothingLeaked();
}

TEST_F(LogTest, LongNumbersCutOnlyTheEndOfTheSystemText) {
    // Five digits: one unit too many, taken from the end of the text.
    fakeDesktop().setSystemMessage(12345, u"ABCDEFGHIJ");
    report(12345);
    EXPECT_EQ(onlyLine(), u"CreateWindowEx, called from wWinMain failed with error 12345: ABCDEFGHI");

    // A negative 32-bit code prints 11 characters: seven units short.
    clearCapturedLogLines();
    fakeDesktop().setSystemMessage(0x80004005u, u"Unspecified error\r\n");
    report(0x80004005u);
    EXPECT_EQ(onlyLine(), u"CreateWindowEx, called from wWinMain failed with error -2147467259: Unspecified ");
    expectNothingLeaked();
}

TEST_F(LogTest, LongNumberWithShortSystemTextKeepsTheWholeNumber) {
    // The text is shorter than the units a long number needs beyond the
    // spare room: the block is made large enough for names and number.
    fakeDesktop().setSystemMessage(0x80004005u, u"ab");
    report(0x80004005u, u"AppendMenu", u"MainWndProc");
    const std::u16string line = onlyLine();
    EXPECT_EQ(line.rfind(u"AppendMenu, called from MainWndProc failed with error -2147467259: ", 0), 0u);

    clearCapturedLogLines();
    fakeDesktop().setSystemMessage(0x80004005u, nullptr);
    report(0x80004005u, u"AppendMenu", u"MainWndProc");
    EXPECT_EQ(onlyLine(), u"AppendMenu, called from MainWndProc failed with error -2147467259: ");
    expectNothingLeaked();
}

TEST_F(LogTest, BlockLargerThanAskedForIsUsedWhole) {
    // LocalAlloc may hand out more than requested; the report uses LocalSize.
    setFakeLocalAllocSlack(16);
    fakeDesktop().setSystemMessage(12345, u"ABCDEFGHIJ");
    report(12345);
    EXPECT_EQ(onlyLine(), u"CreateWindowEx, called from wWinMain failed with error 12345: ABCDEFGHIJ");
    expectNothingLeaked();
}

// ------------------------------------------------- no text, no memory

TEST_F(LogTest, CodeWithoutSystemTextGivesAnEmptyDescriptionAndTheCallersCode) {
    // The fake's FormatMessage fails for an unknown code and changes the last
    // error meanwhile; the report must still carry the caller's code.
    fakeDesktop().setSystemMessage(1234, nullptr);
    report(1234, u"LoadImage", u"MainWndProc");
    EXPECT_EQ(onlyLine(), u"LoadImage, called from MainWndProc failed with error 1234: ");
    expectNothingLeaked();
}

TEST_F(LogTest, ReportIsStillWrittenWhenTheBlockCannotBeAllocated) {
    setFakeLocalAllocFails(true);
    fakeDesktop().setSystemMessage(1409, u"Hot key is already registered.\r\n");
    report(1409, u"CreateThread", u"MainWndProc");
    EXPECT_EQ(onlyLine(),
              u"CreateThread, called from MainWndProc failed with error 1409: Hot key is already registered.\r\n");
    expectNothingLeaked();
}

TEST_F(LogTest, FallbackReportIsCutAtItsEndAndTerminated) {
    setFakeLocalAllocFails(true);
    fakeDesktop().setSystemMessage(87, std::u16string(2000, u'x').c_str());
    report(87, u"GetCursorPos", u"MainWndProc");
    const std::u16string line = onlyLine();
    const std::u16string head = u"GetCursorPos, called from MainWndProc failed with error 87: ";
    ASSERT_EQ(line.rfind(head, 0), 0u);
    EXPECT_EQ(line.size(), 511u);
    EXPECT_EQ(line.find_first_not_of(u'x', head.size()), std::u16string::npos);
    expectNothingLeaked();
}

// ------------------------------------------------------------ logging off

TEST_F(LogTest, LoggingOffWritesNothingAndLeavesTheLastErrorAlone) {
    g_dwLog = 0;
    logMessage(u"GetShellWindow returned NULL");
    // A code without system text: looking it up would change the last error.
    fakeDesktop().setSystemMessage(1234, nullptr);
    report(1234);
    EXPECT_TRUE(capturedLogLines().empty());
    EXPECT_EQ(desk::getLastError(), 1234u);
    EXPECT_EQ(fakeLocalBlocksInUse(), 0);
}

TEST_F(LogTest, AnyNonzeroSettingSwitchesLoggingOn) {
    g_dwLog = 0x100;
    logMessage(u"on");
    EXPECT_EQ(onlyLine(), u"on");
}

}  // namespace
