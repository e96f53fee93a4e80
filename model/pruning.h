// Removal of the records of windows the last discovery pass did not accept.
//
// Thread: main thread only, while no switcher dialog is open.
#pragma once

// Deletes every record under g_rootGroup whose window is not in
// g_seenWindows (one PLRGroup::deleteInactiveWindow call per record), also
// from the snapshot while one exists, then empties g_seenWindows.
void pruneInactiveWindows();
