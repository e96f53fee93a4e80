// The version resource of pelorine.exe as Windows programs read it (the
// file's Properties in Explorer, installers): through GetFileVersionInfoW and
// VerQueryValueW, against the version the tree is built with.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "plr_version.h"

namespace {

// pelorine.exe sits at the top of the build directory, two levels above this
// test program (tests/wine/).
std::wstring productPath() {
    wchar_t self[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, length);
    for (int level = 0; level < 3; ++level) path.erase(path.find_last_of(L"\\/"));
    return path + L"\\pelorine.exe";
}

class VersionResourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring path = productPath();
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        ASSERT_NE(size, 0u) << "no version resource in " << std::string(path.begin(), path.end()) << ", error "
                            << GetLastError();
        block_.resize(size);
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block_.data()));
    }

    // The value at a VerQueryValueW path, with its length (units for text,
    // bytes otherwise); null when the path is not there.
    const void *query(const std::wstring &subBlock, UINT *length) {
        void *value = nullptr;
        *length = 0;
        if (!VerQueryValueW(block_.data(), subBlock.c_str(), &value, length)) return nullptr;
        return value;
    }

    std::wstring text(const std::wstring &subBlock) {
        UINT length = 0;
        const auto *value = static_cast<const wchar_t *>(query(subBlock, &length));
        if (value == nullptr) return L"<missing>";
        std::wstring result(value, length);
        return result.substr(0, result.find(L'\0'));
    }

    std::vector<BYTE> block_;
};

TEST_F(VersionResourceTest, FixedInformationHoldsTheVersionNumbersOfAnApplication) {
    UINT length = 0;
    const auto *fixed = static_cast<const VS_FIXEDFILEINFO *>(query(L"\\", &length));
    ASSERT_NE(fixed, nullptr);
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD high = MAKELONG(PLR_VERSION_MINOR, PLR_VERSION_MAJOR);
    const DWORD low = MAKELONG(0, PLR_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "a release is neither debug nor prerelease";
}

TEST_F(VersionResourceTest, StringsAreFoundThroughTheTranslationTheResourceDeclares) {
    // Readers ask for the translation first and build the string paths from it.
    UINT length = 0;
    const auto *pairs = static_cast<const WORD *>(query(L"\\VarFileInfo\\Translation", &length));
    ASSERT_NE(pairs, nullptr);
    ASSERT_EQ(length, 2 * sizeof(WORD)) << "one translation";
    EXPECT_EQ(pairs[0], 0x0409);
    EXPECT_EQ(pairs[1], 1200);
    wchar_t table[32] = {};
    swprintf(table, 32, L"\\StringFileInfo\\%04X%04X\\", pairs[0], pairs[1]);

    const std::wstring version = L"" PLR_VERSION_STRING;
    EXPECT_EQ(text(std::wstring(table) + L"ProductVersion"), version);
    EXPECT_EQ(text(std::wstring(table) + L"FileVersion"), version);
    EXPECT_EQ(text(std::wstring(table) + L"ProductName"), L"Pelorine");
    EXPECT_EQ(text(std::wstring(table) + L"OriginalFilename"), L"pelorine.exe");
    EXPECT_EQ(text(std::wstring(table) + L"FileDescription"), L"Pelorine task switcher");
    EXPECT_NE(text(std::wstring(table) + L"LegalCopyright").find(L"The Pelorine developers"), std::wstring::npos);
}

}  // namespace
