// Definitions of the process-wide state declared in model/globals.h.
//
// Order matters for g_rootGroup: its constructor numbers it from
// g_groupCounter while g_numberNewGroups is set. Both counters are constant
// initialised (before any dynamic initialisation), and the root is defined
// after them in this file, so the root takes number 0 and leaves the counter
// at 1: the first group the user creates is "Group 1".
#include "model/globals.h"

DWORD g_dwCallTerminateProcess = 0;
DWORD g_dwLog = 0;

PFNISHUNGAPPWINDOW g_pfnIsHungAppWindow = nullptr;

HWND g_hwndShell = nullptr;
HWND g_hwndSwitcherDialog = nullptr;

int g_groupCounter = 0;
int g_numberNewGroups = 1;
int g_savedGroupCounter = 0;
PLRGroup *g_pPrevAllWindows = nullptr;

int g_bDeletingGroup = 0;
PLRGroup *g_pGroupBeingDeleted = nullptr;

PLRGroup g_rootGroup;
std::set<HWND, PlrHwndLess> g_seenWindows;
