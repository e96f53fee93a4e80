// Creating and deleting groups: the Alt+Insert, Alt+Ctrl+Insert and
// Alt+Delete commands.
//
// Thread: main thread only (model/threading.h). MainWndProc calls these from
// its hotkey handling. They change the model first and then, while the
// switcher dialog is open, its tree view through sendTreeMessage.
#pragma once

#include "platform/win32types.h"

// Adds a new, empty group as the last subgroup of the selected group.
void createGroup();

// Moves the selected window (or, with none selected, the foreground window's
// record) out of its group into a new group, which becomes the last subgroup
// of that group and the selected group.
void createGroupFromSelected();

// Deletes the selected group with everything in it and asks the applications
// of all its windows to close; with the root selected, empties the whole tree
// instead. g_bDeletingGroup is 1 for the whole run.
void deleteGroup();
