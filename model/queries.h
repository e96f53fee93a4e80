// Walks over the tree of groups. The PLRGroup queries themselves are
// declared in model/records.h; every walk visits a group's own windows in
// list order, then its subgroups in list order, depth first, and the first
// match wins.
//
// Thread: main thread only.
#pragma once

#include "model/records.h"

// The selected group of the whole tree, or null (logged) when no group is
// selected.
PLRGroup *globalGetSelectedGroup();
