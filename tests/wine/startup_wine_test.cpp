// Start-up steps against the real system: reading the settings from the
// registry whatever type the values were stored with (a string as the
// number it spells, other types as their bytes), opening the log, and
// finding the optional hung-window test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/logfile_win32.h"
#include "model/globals.h"
#include "shell/globals_win32.h"
#include "shell/startup_win32.h"
#include "wine_test_support.h"

namespace {

// A settings key of the test's own under HKEY_CURRENT_USER, deleted at the end.
class SettingsKey {
public:
    SettingsKey() : subKey_(L"Software\\PelorineTest-" + std::to_wstring(GetCurrentProcessId())) {
        RegCreateKeyExW(HKEY_CURRENT_USER, subKey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    }
    ~SettingsKey() {
        if (key_ != nullptr) RegCloseKey(key_);
        RegDeleteKeyW(HKEY_CURRENT_USER, subKey_.c_str());
    }
    SettingsKey(const SettingsKey &) = delete;
    SettingsKey &operator=(const SettingsKey &) = delete;

    HKEY key() const { return key_; }
    const wchar_t *subKey() const { return subKey_.c_str(); }

    void set(const wchar_t *name, DWORD type, const void *data, DWORD bytes) {
        ASSERT_EQ(RegSetValueExW(key_, name, 0, type, static_cast<const BYTE *>(data), bytes), ERROR_SUCCESS);
    }
    void setDword(const wchar_t *name, DWORD value) { set(name, REG_DWORD, &value, sizeof(value)); }
    void setString(const wchar_t *name, const wchar_t *text, DWORD type = REG_SZ) {
        set(name, type, text, static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
    }

private:
    std::wstring subKey_;
    HKEY key_ = nullptr;
};

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_dwLog = 0;
        g_dwCallTerminateProcess = 0;
    }
    void TearDown() override {
        closeLogFile();
        g_dwLog = 0;
        g_dwCallTerminateProcess = 0;
    }

    // Outlives TearDown, which closes the log in it.
    ScratchDir dir;
};

// ------------------------------------------------------------- settings

TEST_F(StartupTest, ValueOfAnyOtherTypeUpToFourBytesIsReadAsItsBytes) {
    SettingsKey settings;
    settings.setDword(L"Dword", 0x12345678);
    const BYTE one = 0x07;
    settings.set(L"OneByte", REG_BINARY, &one, 1);
    const BYTE two[] = {0x01, 0x02};
    settings.set(L"TwoBytes", REG_BINARY, two, 2);

    EXPECT_EQ(readSettingValue(settings.key(), L"Dword"), 0x12345678u);
    EXPECT_EQ(readSettingValue(settings.key(), L"OneByte"), 0x07u);
    EXPECT_EQ(readSettingValue(settings.key(), L"TwoBytes"), 0x0201u);
}

// Read as its first bytes, "0" was 0x30: termination meant to be off was on.
TEST_F(StartupTest, StringValueIsReadAsTheNumberItSpells) {
    SettingsKey settings;
    settings.setString(L"Zero", L"0");
    settings.setString(L"One", L"1");
    settings.setString(L"Ten", L" 10 ", REG_EXPAND_SZ);
    settings.setString(L"Word", L"yes");

    EXPECT_EQ(readSettingValue(settings.key(), L"Zero"), 0u);
    EXPECT_EQ(readSettingValue(settings.key(), L"One"), 1u);
    EXPECT_EQ(readSettingValue(settings.key(), L"Ten"), 10u);
    EXPECT_EQ(readSettingValue(settings.key(), L"Word"), 0u);
}

TEST_F(StartupTest, LongerMissingOrEmptyValueReadsAsZero) {
    SettingsKey settings;
    const ULONGLONG wide = 0x0000000100000001ull;  // nonzero in both halves
    settings.set(L"Qword", REG_QWORD, &wide, sizeof(wide));
    std::vector<BYTE> large(100, 0x01);
    settings.set(L"Large", REG_BINARY, large.data(), static_cast<DWORD>(large.size()));
    settings.setString(L"LongText", L"                                                  1");
    settings.set(L"Empty", REG_BINARY, nullptr, 0);

    EXPECT_EQ(readSettingValue(settings.key(), L"Qword"), 0u);
    EXPECT_EQ(readSettingValue(settings.key(), L"Large"), 0u);
    EXPECT_EQ(readSettingValue(settings.key(), L"LongText"), 0u) << "more than the reader's buffer";
    EXPECT_EQ(readSettingValue(settings.key(), L"Empty"), 0u);
    EXPECT_EQ(readSettingValue(settings.key(), L"Missing"), 0u);
}

TEST_F(StartupTest, BothSettingsAreReadFromTheKey) {
    SettingsKey settings;
    settings.setDword(L"CallTerminateProcess", 1);
    const BYTE on = 0x01;
    settings.set(L"Log", REG_BINARY, &on, 1);

    readSettings(HKEY_CURRENT_USER, settings.subKey());
    EXPECT_EQ(g_dwCallTerminateProcess, 1u);
    EXPECT_EQ(g_dwLog, 1u);
}

TEST_F(StartupTest, EightByteLogValueLeavesLoggingOff) {
    SettingsKey settings;
    const ULONGLONG wide = 1;
    settings.set(L"Log", REG_QWORD, &wide, sizeof(wide));
    settings.set(L"CallTerminateProcess", REG_QWORD, &wide, sizeof(wide));

    readSettings(HKEY_CURRENT_USER, settings.subKey());
    EXPECT_EQ(g_dwLog, 0u);
    EXPECT_EQ(g_dwCallTerminateProcess, 0u);
}

TEST_F(StartupTest, MissingKeyLeavesBothSettingsOff) {
    readSettings(HKEY_CURRENT_USER, L"Software\\PelorineTest-no-such-key");
    EXPECT_EQ(g_dwLog, 0u);
    EXPECT_EQ(g_dwCallTerminateProcess, 0u);
}

// ------------------------------------------------------------- the log

std::vector<std::pair<std::wstring, std::wstring>> g_notices;
int recordNotice(const wchar_t *text, const wchar_t *caption) {
    g_notices.emplace_back(text, caption);
    return IDOK;
}

TEST_F(StartupTest, LogOffCreatesNoFile) {
    g_notices.clear();
    EXPECT_FALSE(openLog(dir.file(kLogFileName).c_str(), recordNotice));
    EXPECT_FALSE(fileExists(dir.file(kLogFileName)));
    EXPECT_TRUE(g_notices.empty());
}

TEST_F(StartupTest, BannerIsAppendedAfterExistingContent) {
    const std::wstring path = dir.file(kLogFileName);
    writeWholeFile(path, "earlier run\r\n");
    g_notices.clear();
    g_dwLog = 1;

    ASSERT_TRUE(openLog(path.c_str(), recordNotice));
    // On disk at once, while the log is still open.
    EXPECT_EQ(readWholeFile(path), "earlier run\r\n==================Pelorine startup====================\r\n");
    EXPECT_TRUE(g_notices.empty());
    EXPECT_EQ(g_dwLog, 1u);
}

TEST_F(StartupTest, UnopenableLogTellsTheUserOnceAndSwitchesLoggingOff) {
    const std::wstring path = dir.file(L"no-such-directory\\PelorineLog.txt");
    g_notices.clear();
    g_dwLog = 1;

    EXPECT_FALSE(openLog(path.c_str(), recordNotice));
    ASSERT_EQ(g_notices.size(), 1u);
    EXPECT_EQ(g_notices[0].first, L"Could not open log file.  Not writing out log messages.");
    EXPECT_EQ(g_notices[0].second, L"Pelorine");
    EXPECT_EQ(g_dwLog, 0u);
    EXPECT_EQ(g_pLogFile, nullptr);
}

// ------------------------------------------------ system hooks and lookups

TEST_F(StartupTest, HungWindowTestIsFoundAndAnswersForALiveWindow) {
    g_pfnIsHungAppWindow = nullptr;
    loadHungWindowTest();
    ASSERT_NE(g_pfnIsHungAppWindow, nullptr);
    HWND window = CreateWindowExW(0, L"STATIC", L"probe", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(g_pfnIsHungAppWindow(window));
    DestroyWindow(window);
}

TEST_F(StartupTest, KeyboardHookIsInstalledAndReleasedOnce) {
    g_hInstance = GetModuleHandleW(nullptr);
    installKeyboardHook();
    ASSERT_NE(g_hKeyboardHook, nullptr);
    releaseKeyboardHook();
    EXPECT_EQ(g_hKeyboardHook, nullptr);
    releaseKeyboardHook();  // nothing left to release
    EXPECT_EQ(g_hKeyboardHook, nullptr);
}

}  // namespace
