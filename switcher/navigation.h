// Keyboard navigation: the window keys (Alt+Tab, Alt+Shift+Tab) move the
// selected window through the selected group's subtree in tree order; the
// group keys (Alt+Up, Alt+Down) move the selected group through all groups
// in post-order. The position is the model's selected flags; the keys keep
// no state of their own. The PLRGroup steps are declared in
// model/records.h.
//
// Thread: main thread (MainWndProc's hotkey commands).
#pragma once

// Alt+Tab: the next window of the selected group's subtree, wrapping around;
// the first one when none of them is selected.
void globalSelectNextWindow();
// Alt+Shift+Tab: the previous window, wrapping around; nothing when none of
// the subtree's windows is selected.
void globalSelectPreviousWindow();
// Alt+Up: clears the selected window inside the old group, moves to the
// next group in post-order and selects its subtree's first window.
void globalSelectNextGroup();
// Alt+Down: the same towards the previous group; from the first group in
// post-order it wraps to the root.
void globalSelectPreviousGroup();
