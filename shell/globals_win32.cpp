#include "shell/globals_win32.h"
HINSTANCE g_hInstance = nullptr;
HWND g_hwndMain = nullptr;
HHOOK g_hKeyboardHook = nullptr;
FILE *g_pLogFile = nullptr;
int g_bAboutBoxOpen = 0;
HWND g_hwndTreeView = nullptr;
WNDPROC g_oldTreeViewProc = nullptr;
