// Removal of the records of windows the last discovery pass did not accept.
//
// Thread: main thread only, while no switcher dialog is open.
#pragma once

// Deletes every record under g_rootGroup whose window is not in
// g_seenWindows, also from the snapshot while one exists, then empties
// g_seenWindows. The result is that of calling PLRGroup::deleteInactiveWindow
// until it returns false (same records gone, same log lines), but in one
// walk of the tree and one of the snapshot: restarting from the root after
// every removal is quadratic, and at a thousand windows of which half have
// gone that kept the main thread from taking sent messages (the keyboard
// hook among them) for far too long.
//
// `passComplete` false: the discovery pass's enumeration failed part way,
// so a window missing from g_seenWindows may simply not have been reached.
// Nothing is deleted then (the user's grouping of those windows would be
// lost); the next complete pass prunes as usual.
void pruneInactiveWindows(bool passComplete = true);
