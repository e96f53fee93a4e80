// The switcher dialog's mouse handling that works on the model: double and
// right clicks that move the selection, and the record of expanded and
// collapsed groups.
//
// Thread: main thread. The dialog procedure runs on the switcher thread and
// hands each of these to the main thread; while it waits there it still
// carries out the tree messages sent back to it. Each handler first checks
// that `dialog` is still the open switcher dialog: a click that was handed
// over while the switch ended belongs to a tree that is already gone and
// changes nothing. A click handed over while a group deletion waits on the
// applications it closes changes nothing either.
#pragma once

#include "model/records.h"
#include "platform/win32types.h"

// NM_DBLCLK: the window under the tree's caret becomes the selected window.
void mouseDoubleClick(HWND dialog);

// NM_RCLICK: the right-clicked item (the drop-highlighted one, else the
// caret) becomes the tree's current item, and its window or group becomes
// the selected one.
void mouseRightClick(HWND dialog);

// TVN_ITEMEXPANDEDW: the group of `item` remembers whether the user expanded
// or collapsed it.
void mouseItemExpanded(HWND dialog, HTREEITEM item, UINT action);

// Which click a log line reports.
enum class MouseClick { Double, Right };

// Makes `window`, shown by `item`, the selected window; its group becomes the
// selected group when the old selected group's subtree does not hold it.
void makeSelectedWindow(PLRWindow *window, HTREEITEM item, MouseClick click);

// A right click on a group that is not selected: it becomes the selected
// group; a selected window outside its subtree gives way to its first window.
void rightClickGroup(PLRGroup *group);
