// Moving window records by drag and drop: the model side.
//
// Thread: main thread only. The switcher thread's drag handlers
// (editing/dragdrop_win32.h) reach these through runOnMainThread and keep
// the drag image, the mouse capture and the cursor on their own side.
#pragma once

#include "platform/win32types.h"

class PLRWindow;

// The item on which the latest drag was reported. Main thread: written by
// dragSourceIsWindowItem, read by itemDropped.
extern HTREEITEM g_htiDragSource;

// Start of a drag: records item as the drag source and tells whether it is a
// window item (only those are dragged).
bool dragSourceIsWindowItem(HTREEITEM item);

// Whether item shows a group: the only items that get the drop highlight.
bool isGroupItem(HTREEITEM item);

// The drop of a drag in `dialog`. The target is trackedTarget, the last group
// item the drag drop-highlighted, or when there is none the tree's
// drop-highlighted item. A group target receives the dragged window
// (itemDropped); then the target becomes the tree's current item and the
// drop highlight goes. Records move only while `dialog` is the open switcher
// dialog.
void dropOnTarget(HWND dialog, HTREEITEM trackedTarget);

// Moves the dragged window (g_htiDragSource) to the front of the group shown
// by target, with its item first under the target's item. A drop whose
// window or group no longer exists, or that comes during a group deletion,
// is ignored.
void itemDropped(HTREEITEM target);

// Inserts the item of a window moved into the group shown by parentItem, as
// its first child, and returns it. The dialog must be open. The item shows
// the window's caption as it is now (read again first).
HTREEITEM insertMovedWindowItem(PLRWindow *window, HTREEITEM parentItem);
