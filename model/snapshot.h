// The snapshot of the tree that a switch takes, so that cancelling the switch
// can put the tree back (g_pPrevAllWindows).
//
// Thread: main thread only.
#pragma once

// Deep-copies g_rootGroup into a new snapshot and remembers the group
// counter. Does nothing while a snapshot exists.
void takeSnapshot();
// Replaces the tree's records with copies of the snapshot's and gives back
// the group numbers taken since. The snapshot stays. Nothing happens
// without a snapshot.
void restoreSnapshot();
// Frees the snapshot, if any.
void discardSnapshot();
