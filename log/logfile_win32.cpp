#include "log/logfile_win32.h"

#include <share.h>
#include <stdio.h>

#include "log/log.h"
#include "shell/globals_win32.h"

const wchar_t kLogFileName[] = L"PelorineLog.txt";

namespace {

// Serialises the stream between the main and the switcher thread, so a line
// is never written to, or flushed on, a stream that is being closed. Statically
// initialised: usable before start-up has run anything.
SRWLOCK g_logLock = SRWLOCK_INIT;

class LogLock {
public:
    LogLock() noexcept { AcquireSRWLockExclusive(&g_logLock); }
    ~LogLock() { ReleaseSRWLockExclusive(&g_logLock); }
    LogLock(const LogLock &) = delete;
    LogLock &operator=(const LogLock &) = delete;
};

}  // namespace

bool openLogFile(const wchar_t *path) {
    LogLock lock;
    if (g_pLogFile != nullptr) return true;
    g_pLogFile = _wfsopen(path, L"a", _SH_DENYNO);
    return g_pLogFile != nullptr;
}

void closeLogFile() {
    LogLock lock;
    if (g_pLogFile == nullptr) return;
    fclose(g_pLogFile);
    g_pLogFile = nullptr;
}

// Text mode: the C runtime turns the line feed into CR LF and the UTF-16
// text into 8-bit characters. Write and flush failures are ignored. The
// line is written as it is rather than formatted: nothing else in the
// program formats with the C runtime, whose formatting code would make up a
// tenth of the executable.
void logWriteLine(const plr_char *line) {
    LogLock lock;
    if (g_pLogFile == nullptr) return;
    if (line != nullptr) fputws(line, g_pLogFile);
    fputwc(L'\n', g_pLogFile);
    fflush(g_pLogFile);
}
