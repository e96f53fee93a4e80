// The log stream on Windows: g_pLogFile (shell/globals_win32.h).
//
// Opened once by start-up on the main thread; closed once by the main
// window's WM_DESTROY through closeLogFile(). Lines may come from the main
// thread and from the switcher thread at any time, also after the close
// (the switcher thread can still be running, and start-up reports a failed
// window creation after WM_DESTROY has run): the stream is written, flushed
// and closed under one lock, and a line that comes after the close is
// dropped.
#pragma once

#include "platform/win32types.h"

// The log file, in the process's current directory.
extern const wchar_t kLogFileName[];

// Opens `path` for appending in text mode, shared for reading and writing
// with every other process (_wfsopen "a", _SH_DENYNO), into g_pLogFile.
// Returns false when it cannot be opened. A stream already open is kept.
bool openLogFile(const wchar_t *path);

// Closes the stream and nulls g_pLogFile; later lines are dropped. Safe to
// call again.
void closeLogFile();
