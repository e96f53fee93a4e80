// Helpers for the cross-built tests: a scratch directory of their own and
// whole-file reads, for tests that look at what the program wrote.
#pragma once

#include <windows.h>

#include <string>

// A fresh directory under the temporary directory, removed with its files
// when the object goes (close every file in it first: an open file cannot
// be deleted).
class ScratchDir {
public:
    ScratchDir() {
        wchar_t base[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, base);
        // Wine reuses process ids: a directory an earlier run left behind is
        // skipped, never reused.
        static unsigned counter = 0;
        for (int attempt = 0; attempt < 1000; ++attempt) {
            path_ = std::wstring(base) + L"plr-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                    std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++counter);
            if (CreateDirectoryW(path_.c_str(), nullptr)) break;
        }
    }
    ~ScratchDir() {
        WIN32_FIND_DATAW data;
        const std::wstring pattern = path_ + L"\\*";
        HANDLE find = FindFirstFileW(pattern.c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) DeleteFileW(file(data.cFileName).c_str());
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
        RemoveDirectoryW(path_.c_str());
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    const std::wstring &path() const { return path_; }
    std::wstring file(const wchar_t *name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// The file's bytes, read through a handle that shares everything, or "<missing>".
inline std::string readWholeFile(const std::wstring &path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got != 0) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

inline bool fileExists(const std::wstring &path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline void writeWholeFile(const std::wstring &path, const std::string &bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// What a text-mode stream makes of an ASCII line: each LF becomes CR LF.
inline std::string textModeLine(const std::wstring &line) {
    std::string out;
    for (wchar_t c : line) {
        if (c == L'\n') out += '\r';
        out += static_cast<char>(c);
    }
    return out + "\r\n";
}
