#include "shell/activation.h"

#include "model/globals.h"
#include "platform/desktop.h"

namespace {

// Two Alt taps: the foreground lock lets a process take the foreground once
// it has seen the last input event, and these injected keys make it the last
// one.
void tapAltTwice() {
    INPUT events[4] = {};
    const DWORD flags[4] = {KEYEVENTF_EXTENDEDKEY, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP, KEYEVENTF_EXTENDEDKEY,
                            KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP};
    for (int i = 0; i < 4; ++i) {
        events[i].type = INPUT_KEYBOARD;
        events[i].ki.wVk = VK_MENU;
        events[i].ki.wScan = 0;
        events[i].ki.dwFlags = flags[i];
        events[i].ki.time = 0;
        events[i].ki.dwExtraInfo = 0;
    }
    desk::sendInput(4, events, static_cast<int>(sizeof(INPUT)));
}

// The second attempt: the foreground window's thread (or the taskbar's, when
// nothing is in the foreground) shares the target's input state for the time
// of the attempt, which lets SetForegroundWindow pass the foreground lock.
void forceForeground(HWND hwnd, HWND foreground) {
    if (foreground == nullptr) foreground = desk::findWindow(PLR_T("Shell_TrayWnd"));
    const DWORD foregroundThread = desk::getWindowThreadProcessId(foreground, nullptr);
    const DWORD targetThread = desk::getWindowThreadProcessId(hwnd, nullptr);
    desk::attachThreadInput(foregroundThread, targetThread, TRUE);
    if (!desk::setForegroundWindow(hwnd)) {
        tapAltTwice();
        desk::setForegroundWindow(hwnd);
    }
    desk::attachThreadInput(foregroundThread, targetThread, FALSE);
}

}  // namespace

void activateWindow(HWND hwnd) {
    if (!desk::isWindow(hwnd)) return;
    if (g_pfnIsHungAppWindow != nullptr && g_pfnIsHungAppWindow(hwnd)) return;

    // SMTO_ABORTIFHUNG returns at once for a window the system already counts
    // as hung. A failure with 0 or ERROR_TIMEOUT means no answer; any other
    // code (access denied to a more privileged window, for one) says nothing
    // about the window's health, so activation goes ahead.
    // The give-up on a hung window may leave the last error as it was, so
    // it is cleared first: a stale code must not read as "go ahead".
    DWORD_PTR result = 0;
    desk::setLastError(0);
    if (desk::sendMessageTimeout(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kActivationProbeTimeoutMs, &result) == 0) {
        const DWORD error = desk::getLastError();
        if (error == 0 || error == ERROR_TIMEOUT) return;
    }

    const HWND foreground = desk::getForegroundWindow();
    if (foreground != hwnd) {
        desk::bringWindowToTop(hwnd);
        desk::setWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
        if (!desk::setForegroundWindow(hwnd)) forceForeground(hwnd, foreground);
    }

    // Posted, not sent: the window restores itself in its own time and a
    // slow application cannot hold up the main thread.
    if (desk::isIconic(hwnd)) desk::postMessage(hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
}
