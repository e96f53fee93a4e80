// Thread ownership, decided once for the whole program:
//
//   The main thread owns the model: g_rootGroup and every record in it, the
//   snapshot g_pPrevAllWindows, the group counters, g_seenWindows,
//   g_hwndSwitcherDialog, g_bDeletingGroup and g_pGroupBeingDeleted. Only
//   code running on the main thread reads or writes them.
//
//   The main thread runs MainWndProc (hotkey commands, cancel, the endings of
//   a switch) and KeyboardHookProc, which the system calls on it.
//
//   The switcher thread runs the dialog's modal loop, DialogProc2 and the
//   tree view's subclass. It is made ahead of its switch and waits, touching
//   nothing shared, until a switch takes it (shell/switchstate_win32.h).
//   Whenever one of its handlers needs the model
//   (populating the tree, a click that selects, an expansion record, a drag
//   and drop) it hands the work to the main thread with SendMessageW to the
//   main window. While it waits there, it still handles the tree-view
//   messages the main thread sends back to its control, so the main thread
//   can update the tree without deadlock. The switcher thread never ends a
//   switch itself: the focus-loss ending is posted to the main thread, and so
//   is the Alt ending the hook decides on.
//
// PLR_ASSERT_MODEL_THREAD() states this at the model's entry points. In test
// builds (PLR_THREAD_CHECKS) a call from another thread logs the place and
// aborts the process, so a violation fails the tests; in the product it
// compiles to nothing.
#pragma once

#include "platform/win32types.h"

// Records the calling thread as the model's owner (start-up, tests).
void plrSetModelThread();
// Aborts the process in checked builds when not on the owner thread.
void plrCheckModelThread(const char *where);
// True when the calling thread owns the model (always true before any owner
// is recorded).
bool plrOnModelThread();

// Main thread, inside walks over the desktop or the tree that may take a
// while (a thousand windows under a slow system): carries out the messages
// sent to this thread when it has not for a moment. The keyboard hook is
// called by such a message, and Windows skips a hook that does not answer in
// time, then removes it for good; a send of the walk's own that is answered
// at once does not take them. What runs meanwhile is what runs in any of the
// walk's waits: the hook only notes a key, and the dialog's hand-offs wait
// or are refused while a command runs (shell/lifecycle.h).
void plrTakeSentMessagesNowAndThen();

#ifdef PLR_THREAD_CHECKS
#define PLR_ASSERT_MODEL_THREAD() plrCheckModelThread(__func__)
#else
#define PLR_ASSERT_MODEL_THREAD() ((void)0)
#endif
