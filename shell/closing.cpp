// Closing the applications of a deleted group.
//
// Thread: main thread only. Each close request waits up to two seconds, and
// the main thread carries out the messages sent to it meanwhile (the keyboard
// hook, the dialog's hand-offs); g_bDeletingGroup, set by the caller, keeps
// those from ending the switch or changing the tree. Nothing is logged.
#include "shell/closing.h"

#include "model/globals.h"
#include "model/records.h"
#include "model/threading.h"
#include "platform/desktop.h"
#include "platform/handles.h"
#include "shell/activation.h"

namespace {

// The close request: WM_CLOSE, answered or not within the bound.
bool requestClose(HWND hwnd) {
    DWORD_PTR result = 0;
    return desk::sendMessageTimeout(hwnd, WM_CLOSE, 0, 0, SMTO_NORMAL, PLR_CLOSE_TIMEOUT_MS, &result) != 0;
}

// The process of a live window, or 0 when the window is gone.
DWORD processOf(HWND hwnd) {
    DWORD processId = 0;
    if (hwnd == nullptr || desk::getWindowThreadProcessId(hwnd, &processId) == 0) return 0;
    return processId;
}

// Brings the window forward and asks its application to close, terminating
// it when a request fails and the setting is on.
void closeApplicationOf(HWND hwnd) {
    // A window that is gone has no process to read: skipped rather than
    // acting on a stale or undefined process id.
    const DWORD processId = processOf(hwnd);
    if (processId == 0) return;
    // The program's own windows (the About box) can sit in a group; the
    // program never closes or terminates itself.
    if (processId == desk::getCurrentProcessId()) return;

    activateWindow(hwnd);
    // The activation waits on the window; it may have closed meanwhile.
    if (processOf(hwnd) != processId) return;

    // The desktop shell's process owns the desktop and the taskbar: only the
    // record's own window is asked, and the shell is never terminated.
    const DWORD shellProcessId = processOf(g_hwndShell);
    if (shellProcessId != 0 && processId == shellProcessId) {
        requestClose(hwnd);
        return;
    }

    if (desk::enumWindows(EnumWindowsProcCloseWindows, static_cast<LPARAM>(processId)) == 0 &&
        g_dwCallTerminateProcess != 0) {
        UniqueProcess process(desk::openProcess(PROCESS_TERMINATE, processId));
        if (process) desk::terminateProcess(process.get(), PLR_TERMINATE_EXIT_CODE);
    }
}

}  // namespace

BOOL CALLBACK EnumWindowsProcCloseWindows(HWND hwnd, LPARAM processId) noexcept {
    const DWORD target = static_cast<DWORD>(processId);
    DWORD windowProcess = 0;
    if (desk::getWindowThreadProcessId(hwnd, &windowProcess) == 0) return TRUE;
    if (windowProcess != target || target == desk::getCurrentProcessId()) return TRUE;
    return requestClose(hwnd) ? TRUE : FALSE;
}

void PLRGroup::closeApplications() {
    PLR_ASSERT_MODEL_THREAD();
    for (PLRWindow *window : windows) closeApplicationOf(window->hwnd);
    for (PLRGroup *group : subgroups) group->closeApplications();
}
