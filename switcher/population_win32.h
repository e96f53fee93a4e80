// Filling the switcher's tree on the switcher thread while the main thread
// waits, with the model held still (see switcher/population_plan.h).
//
// The main thread, inside the dialog's initialisation hand-off (the switcher
// thread is waiting in runOnMainThread and takes sent messages), builds the
// plan and sends it to the dialog with WM_PLR_POPULATE. The switcher thread
// fills its own tree from the plan and fills in the item handles; the main
// thread then stores them in the records. While it waits it takes only sent
// messages (the keyboard hook, which only posts), so no command can change
// the model between the plan and the handles.
#pragma once

#include "platform/win32types.h"

// Sent by the main thread to the switcher dialog; lParam: the request.
#define WM_PLR_POPULATE (WM_APP + 5)

// Main thread, only while the dialog's thread waits in its initialisation
// hand-off. Fills the tree of `dialog` and stores the records' item handles
// and image indices. Falls back to populateTreeView (after emptying the
// tree) when the dialog did not fill it or the model no longer matches.
void populateThroughDialogThread(HWND dialog);

// Switcher thread: WM_PLR_POPULATE. Never reads a record.
void handlePopulationRequest(HWND hDlg, LPARAM lParam) noexcept;
