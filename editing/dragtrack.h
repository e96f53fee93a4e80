// Following a drag in the switcher's tree, with nothing of the system but
// the seam: where the pointer is in the tree, which group item it
// drop-highlights, and what a release leaves in the tree. The dialog's
// drag handlers (editing/dragdrop_win32.h) add the drag image, the mouse
// capture and the cursor.
//
// Thread: the switcher thread, which owns the tree. The model is reached
// only through the callbacks, which the dialog runs on the main thread.
#pragma once

#include "platform/win32types.h"

// Whether the item shows a group.
typedef bool (*DragIsGroupFn)(HTREEITEM item);
// The drop onto the tracked target (null when there is none); false when
// it did not run, because the main thread refused it while a command was
// running.
typedef bool (*DragDropFn)(HWND dialog, HTREEITEM target);

struct DragTrack {
    HWND dialog;       // the switcher dialog
    HWND tree;         // its tree view, control 1001
    HTREEITEM target;  // the last group item drop-highlighted, or null
};

// The pointer of a dialog mouse message (the dialog's client coordinates)
// in the tree's own client coordinates. The tree sits inside a margin whose
// size depends on the DPI and the dialog font.
POINT dragPointInTree(const DragTrack &drag, POINT pointInDialog);

// The pointer has moved to `pointInTree`: a group item under it gets the
// drop highlight and becomes the target. Over a window item or empty space
// the target stays.
void dragTrackPointer(DragTrack *drag, POINT pointInTree, DragIsGroupFn isGroup);

// The button is released: `drop` moves the window, if it can. A drop that
// did not run moves nothing and still leaves no drop highlight behind, as a
// completed one does. The drag has no target afterwards.
void dragTrackRelease(DragTrack *drag, DragDropFn drop);
