// The model's invariants, checked in one place:
//   - exactly one group of the tree is selected;
//   - at most one window record of the tree is selected;
//   - a window handle is held by at most one record of the tree, and by at
//     most one record of the snapshot;
//   - no record is in two lists (nor a group inside its own subtree);
//   - the snapshot, and a group being deleted, share no record with the tree.
//
// Thread: main thread only. Used by tests and the fuzzer after every step.
#pragma once

#include <string>

// True when every invariant holds; otherwise false, with the first broken
// one described in *problem (when not null).
bool plrCheckInvariants(std::string *problem);
