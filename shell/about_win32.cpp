// The About box: the picture and nothing else. The keyboard does nothing;
// a left click anywhere closes it (the picture's static control lets clicks
// through to the box).
//
// Thread: main thread, in a modal loop that keeps dispatching the main
// window's messages.
#include "shell/globals_win32.h"
#include "shell/mainwnd_win32.h"

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) noexcept {
    switch (message) {
    case WM_INITDIALOG:
        g_bAboutBoxOpen = 1;
        break;
    case WM_LBUTTONDOWN:
        g_bAboutBoxOpen = 0;
        EndDialog(dialog, 0);
        break;
    default:
        break;
    }
    return 0;
}
