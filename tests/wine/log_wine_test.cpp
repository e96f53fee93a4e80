// The log file on the real system: reports with the system's own texts, a
// shared and appended file, lines on disk at once, and nothing written once
// the stream is closed, also while another thread is logging.
#include <gtest/gtest.h>

#include <share.h>
#include <stdio.h>
#include <windows.h>

#include <sstream>
#include <string>

#include "log/log.h"
#include "log/logfile_win32.h"
#include "model/globals.h"
#include "shell/globals_win32.h"
#include "wine_test_support.h"

namespace {

std::wstring systemText(DWORD code) {
    wchar_t *text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&text), 0,
                       nullptr);
    std::wstring result = length != 0 ? std::wstring(text, length) : std::wstring();
    if (text != nullptr) LocalFree(text);
    return result;
}

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file(kLogFileName);
        g_dwLog = 1;
    }
    void TearDown() override {
        closeLogFile();
        g_dwLog = 0;
    }

    ScratchDir dir;
    std::wstring path;
};

// ---------------------------------------------------------------- reports

TEST_F(LogFileTest, ReportCarriesTheSystemsTextForTheCode) {
    ASSERT_TRUE(openLogFile(path.c_str()));
    const std::wstring text = systemText(ERROR_ACCESS_DENIED);
    ASSERT_FALSE(text.empty());

    SetLastError(ERROR_ACCESS_DENIED);
    logLastError(L"SetWindowsHookEx", L"wWinMain");
    EXPECT_EQ(readWholeFile(path), textModeLine(L"SetWindowsHookEx, called from wWinMain failed with error 5: " + text));
}

TEST_F(LogFileTest, CodeZeroReportHasTheNumberAndItsText) {
    ASSERT_TRUE(openLogFile(path.c_str()));
    SetLastError(0);
    logLastError(L"GetProcAddress", L"wWinMain");
    EXPECT_EQ(readWholeFile(path),
              textModeLine(L"GetProcAddress, called from wWinMain failed with error 0: " + systemText(0)));
}

TEST_F(LogFileTest, NegativeCodeKeepsNamesAndWholeNumber) {
    ASSERT_TRUE(openLogFile(path.c_str()));
    SetLastError(0x80004005u);
    logLastError(L"DialogBoxParam", L"TaskSwitchThread");
    const std::string written = readWholeFile(path);
    const std::string head = "DialogBoxParam, called from TaskSwitchThread failed with error -2147467259: ";
    EXPECT_EQ(written.compare(0, head.size(), head), 0) << written;
}

// ------------------------------------------------------- file and sharing

TEST_F(LogFileTest, OpenLogIsSharedAndAppendedTo) {
    writeWholeFile(path, "first copy\r\n");
    ASSERT_TRUE(openLogFile(path.c_str()));

    // A second copy of the program opens the same file while this one has it.
    FILE *second = _wfsopen(path.c_str(), L"a", _SH_DENYNO);
    ASSERT_NE(second, nullptr);
    logMessage(L"from this copy");
    fwprintf(second, L"%ls\n", L"from the second copy");
    fflush(second);
    fclose(second);
    logMessage(L"again from this copy");

    EXPECT_EQ(readWholeFile(path), "first copy\r\nfrom this copy\r\nfrom the second copy\r\nagain from this copy\r\n");
}

TEST_F(LogFileTest, LinesAreOnDiskBeforeTheStreamCloses) {
    ASSERT_TRUE(openLogFile(path.c_str()));
    logMessage(L"GetShellWindow returned NULL");
    EXPECT_EQ(readWholeFile(path), "GetShellWindow returned NULL\r\n");
}

TEST_F(LogFileTest, LoggingOffLeavesTheFileUntouched) {
    ASSERT_TRUE(openLogFile(path.c_str()));
    g_dwLog = 0;
    logMessage(L"not written");
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    logLastError(L"LoadImage", L"MainWndProc");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(readWholeFile(path), "");
}

// ------------------------------------------------------------ after close

TEST_F(LogFileTest, NothingIsWrittenAfterTheClose) {
    ASSERT_TRUE(openLogFile(path.c_str()));
    logMessage(L"before");
    closeLogFile();
    EXPECT_EQ(g_pLogFile, nullptr);

    logMessage(L"after");
    SetLastError(ERROR_ACCESS_DENIED);
    logLastError(L"CreateWindowEx", L"wWinMain");
    closeLogFile();  // a second close does nothing
    EXPECT_EQ(readWholeFile(path), "before\r\n");
}

struct WriterState {
    volatile LONG written = 0;  // lines handed to the log so far
    volatile LONG stop = 0;
};

DWORD WINAPI writeLines(LPVOID parameter) {
    WriterState *state = static_cast<WriterState *>(parameter);
    for (int i = 0; i < 200000 && state->stop == 0; ++i) {
        logMessage(L"switcher thread line");
        InterlockedIncrement(&state->written);
    }
    return 0;
}

// Waits (bounded) until the writer has handed over at least `lines` lines.
bool waitForLines(const WriterState &state, LONG lines) {
    for (int spins = 0; spins < 10000; ++spins) {
        if (state.written >= lines) return true;
        Sleep(1);
    }
    return false;
}

TEST_F(LogFileTest, CloseWhileAnotherThreadLogsLeavesOnlyWholeLines) {
    ASSERT_TRUE(openLogFile(path.c_str()));
    WriterState state;
    HANDLE thread = CreateThread(nullptr, 0, writeLines, &state, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    // Close in the middle of the writing, and let it write on after the close.
    const bool writing = waitForLines(state, 50);
    closeLogFile();
    const LONG atClose = state.written;
    const bool wroteOn = waitForLines(state, atClose + 50);
    InterlockedExchange(&state.stop, 1);
    ASSERT_EQ(WaitForSingleObject(thread, 20000), WAIT_OBJECT_0);
    CloseHandle(thread);
    ASSERT_TRUE(writing);
    ASSERT_TRUE(wroteOn);

    const std::string written = readWholeFile(path);
    std::istringstream lines(written);
    std::string line;
    LONG count = 0;
    while (std::getline(lines, line)) {
        EXPECT_EQ(line, "switcher thread line\r");
        ++count;
    }
    // Every line handed over before the close is there; none after it.
    EXPECT_GE(count, 50);
    EXPECT_LE(count, atClose + 1);
    EXPECT_LT(count, state.written);
    if (!written.empty()) {
        EXPECT_EQ(written.back(), '\n');
    }
}

}  // namespace
