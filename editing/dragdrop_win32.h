// Drag and drop in the switcher dialog: the switcher thread's side.
//
// Thread: the switcher thread, inside DialogProc2. The drag image, the mouse
// capture and the cursor stay on this thread; every look at the model and
// the drop itself are handed to the main thread (runOnMainThread).
//
// The drag state belongs to the thread that runs the dialog: each switch has
// a thread of its own, so a dialog that ended during a drag leaves nothing
// behind for the next one, and the dialog that is being destroyed puts its
// own capture and cursor right (dragResetAfterSwitch).
#pragma once

#include "platform/win32types.h"

// 1 from the start of a drag until the button is released. While set, the
// dialog holds the mouse capture, and the cursor is hidden whenever the drag
// image shows instead.
//
// Thread: the switcher thread only. There is never more than one: a switch
// starts its thread only after the previous one has ended (the main thread
// waits for it), so the drag state is plain data handed from one switcher
// thread to the next, and each dialog resets it when it starts and ends.
extern int g_bDragging;

// TVN_BEGINDRAGW: starts dragging when the item is a window item.
void dragBegin(HWND hDlg, const NMTREEVIEWW *info);
// WM_MOUSEMOVE: moves the drag image and drop-highlights the group item under
// the pointer.
void dragMouseMove(HWND hDlg, LPARAM lParam);
// WM_LBUTTONUP: drops the dragged window on the drop target and ends the drag.
void dragButtonUp(HWND hDlg);
// WM_INITDIALOG and WM_DESTROY: ends a drag that the end of a switch cut
// short, giving back the capture and the cursor and releasing the drag image.
void dragResetAfterSwitch();
