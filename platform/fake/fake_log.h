// Native stand-ins for the log's edges: the log file (every line the log
// would write is kept in memory so tests can read it) and the system's local
// memory used for error reports. Lines are written only while g_dwLog is
// nonzero, exactly as on Windows.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The lines written since the last clearCapturedLogLines(), oldest first.
// Read it from the test's thread once the code under test has returned.
std::vector<std::u16string> &capturedLogLines();
void clearCapturedLogLines();

// desk::localAlloc of the fake: a zero-filled block whose localSize is the
// request plus `slackBytes` (the system may hand out more than asked for).
// With `fail` set every allocation returns null. resetFakeLocalMemory()
// restores the defaults (no slack, no failure).
void setFakeLocalAllocSlack(std::size_t slackBytes);
void setFakeLocalAllocFails(bool fail);
void resetFakeLocalMemory();
// Blocks handed out and not yet freed: a leak shows as a nonzero count.
int fakeLocalBlocksInUse();
