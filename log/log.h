// The diagnostic log. Written only while the "Log" setting is nonzero; each
// line is flushed at once. Any thread may call these.
#pragma once

#include "platform/win32types.h"

// One log line holding text.
void logMessage(const plr_char *text);

// "<apiName>, called from <calledFrom> failed with error <code>: <text>",
// reading the calling thread's last-error code itself: call it directly
// after the failed call.
void logLastError(const plr_char *apiName, const plr_char *calledFrom);

// Where a finished line goes: the log file on Windows (never a closed
// stream), a capture buffer in native tests. Called only while logging is on.
void logWriteLine(const plr_char *line);
