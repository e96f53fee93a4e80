// Closing the applications of a deleted group.
//
// Thread: main thread only. Each close request waits up to two seconds, and
// the main thread carries out the messages sent to it meanwhile (the keyboard
// hook, the dialog's hand-offs); g_bDeletingGroup, set by the caller, keeps
// those from ending the switch or changing the tree. Nothing is logged but
// running out of memory.
//
// A group may hold many windows of one program, and the request goes to all
// of the program's windows at once; so one deletion asks each application
// once. The walk carries a ClosingPass that remembers every process it has
// dealt with, which keeps the requests to one round per application and the
// waits to one close-request bound per application, whatever the number of
// its windows.
#include "shell/closing.h"

#include <list>
#include <new>

#include "log/log.h"
#include "model/globals.h"
#include "model/records.h"
#include "model/threading.h"
#include "platform/desktop.h"
#include "platform/handles.h"
#include "platform/text.h"
#include "shell/activation.h"

namespace {

// A process one deletion has dealt with.
struct ClosedProcess {
    DWORD processId = 0;
    // Every top-level window of the process got its request.
    bool allWindowsAsked = false;
    // A request to it went unanswered: it is not waited for again.
    bool unanswered = false;
    // With termination on, held from before the first request to the end of
    // the deletion. While it is open the system does not give the id to
    // another process, so the id keeps naming this one for every later
    // comparison, and termination goes through this handle only.
    UniqueProcess handle;
};

// What one deletion knows; it lives only as long as the walk.
struct ClosingPass {
    DWORD ownProcessId = 0;
    DWORD shellProcessId = 0;
    // A list: entries stay where they are while others are added.
    std::list<ClosedProcess> processes;
};

// Outcome of one close request. A send that fails for another reason (the
// window was destroyed since it was found, or a more privileged window
// refused the message) says nothing about whether the application answers.
enum class CloseAnswer { Answered, Unanswered, SendFailed };

CloseAnswer requestClose(HWND hwnd) {
    // SMTO_ABORTIFHUNG gives up at once on a window the system already counts
    // as hung, reporting 0 or ERROR_TIMEOUT; a cleared last error tells that
    // apart from a stale one.
    DWORD_PTR result = 0;
    desk::setLastError(0);
    if (desk::sendMessageTimeout(hwnd, WM_CLOSE, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, PLR_CLOSE_TIMEOUT_MS,
                                 &result) != 0)
        return CloseAnswer::Answered;
    const DWORD error = desk::getLastError();
    return error == 0 || error == ERROR_TIMEOUT ? CloseAnswer::Unanswered : CloseAnswer::SendFailed;
}

// The process of a live window, or 0 when the window is gone.
DWORD processOf(HWND hwnd) {
    DWORD processId = 0;
    if (hwnd == nullptr || desk::getWindowThreadProcessId(hwnd, &processId) == 0) return 0;
    return processId;
}

// On Windows 10 and later the frames of Store applications all belong to one
// host process (ApplicationFrameHost.exe); the application itself runs in
// another. Asking "the frame's process" would ask every Store application,
// and terminating it would end them all.
bool isApplicationFrame(HWND hwnd) {
    plr_char className[32] = {};
    if (desk::getClassName(hwnd, className, 32) == 0) return false;
    return plrEqual(className, PLR_T("ApplicationFrameWindow"));
}

ClosedProcess *findProcess(ClosingPass &pass, DWORD processId) {
    for (ClosedProcess &entry : pass.processes)
        if (entry.processId == processId) return &entry;
    return nullptr;
}

// The pass's entry for the process, made when missing; null only when
// memory runs out.
ClosedProcess *processEntry(ClosingPass &pass, DWORD processId) {
    ClosedProcess *entry = findProcess(pass, processId);
    if (entry != nullptr) return entry;
    try {
        pass.processes.emplace_back();
    } catch (const std::bad_alloc &) {
        logMessage(PLR_T("closeApplications: out of memory."));
        return nullptr;
    }
    pass.processes.back().processId = processId;
    return &pass.processes.back();
}

// The record's own window only: a window of the shell's process or an
// application frame stands for itself, not for the programs its process
// hosts, and that process is never terminated.
void closeHostedWindow(ClosingPass &pass, HWND hwnd, DWORD processId) {
    ClosedProcess *entry = processEntry(pass, processId);
    if (entry == nullptr || entry->allWindowsAsked || entry->unanswered) return;
    activateWindow(hwnd);
    // The activation waits on the window; it may have closed meanwhile.
    if (processOf(hwnd) != processId) return;
    if (requestClose(hwnd) == CloseAnswer::Unanswered) entry->unanswered = true;
}

// With termination on: opens the process before its first request and
// checks that the window still belongs to it, which it cannot when the
// process ended after its id was read and the id went to another one.
// Returns false when the window's process is gone; a process that cannot be
// opened is still asked, only never terminated.
bool holdProcess(ClosedProcess &entry, HWND hwnd) {
    entry.handle.reset(desk::openProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, entry.processId));
    if (processOf(hwnd) != entry.processId) {
        entry.handle.reset();
        return false;
    }
    if (entry.handle && desk::getProcessId(entry.handle.get()) != entry.processId) entry.handle.reset();
    return true;
}

// Terminates the process through the handle held since before its requests,
// and only when the handle names it and the record's window, if it still
// exists, belongs to it.
void terminate(const ClosedProcess &entry, HWND hwnd) {
    if (!entry.handle || desk::getProcessId(entry.handle.get()) != entry.processId) return;
    if (desk::isWindow(hwnd) && processOf(hwnd) != entry.processId) return;
    desk::terminateProcess(entry.handle.get(), PLR_TERMINATE_EXIT_CODE);
}

// Brings the window forward and asks its application to close, unless this
// deletion has already asked it; terminates the application when a request
// goes unanswered and the setting is on.
void closeApplicationOf(ClosingPass &pass, HWND hwnd) {
    // A window that is gone has no process to read: skipped rather than
    // acting on a stale or undefined process id.
    const DWORD processId = processOf(hwnd);
    if (processId == 0) return;
    // The program's own windows (the About box) can sit in a group; the
    // program never closes or terminates itself.
    if (processId == pass.ownProcessId) return;

    if (processId == pass.shellProcessId || isApplicationFrame(hwnd)) {
        closeHostedWindow(pass, hwnd, processId);
        return;
    }

    // Its windows had their requests, or it did not answer: a record of a
    // process already dealt with gets nothing more, not even activation.
    if (findProcess(pass, processId) != nullptr) return;

    activateWindow(hwnd);
    if (processOf(hwnd) != processId) return;

    ClosedProcess *entry = processEntry(pass, processId);
    if (entry == nullptr) return;
    entry->allWindowsAsked = true;
    if (g_dwCallTerminateProcess != 0 && !holdProcess(*entry, hwnd)) return;

    // The callback ends the enumeration with ERROR_TIMEOUT when a request goes
    // unanswered; a failure of the enumeration itself leaves another error.
    desk::setLastError(0);
    if (desk::enumWindows(EnumWindowsProcCloseWindows, static_cast<LPARAM>(processId)) != 0) return;
    if (desk::getLastError() != ERROR_TIMEOUT) return;
    entry->unanswered = true;
    if (g_dwCallTerminateProcess != 0) terminate(*entry, hwnd);
}

void closeApplicationsIn(const PLRGroup &group, ClosingPass &pass) {
    for (PLRWindow *window : group.windows) closeApplicationOf(pass, window->hwnd);
    for (PLRGroup *subgroup : group.subgroups) closeApplicationsIn(*subgroup, pass);
}

}  // namespace

BOOL CALLBACK EnumWindowsProcCloseWindows(HWND hwnd, LPARAM processId) noexcept {
    const DWORD target = static_cast<DWORD>(processId);
    DWORD windowProcess = 0;
    if (desk::getWindowThreadProcessId(hwnd, &windowProcess) == 0) return TRUE;
    if (windowProcess != target || target == desk::getCurrentProcessId()) return TRUE;
    // A window that went away or refused the message does not stop the
    // others of its process from being asked.
    if (requestClose(hwnd) != CloseAnswer::Unanswered) return TRUE;
    // EnumWindows returns FALSE with the callback's last error.
    desk::setLastError(ERROR_TIMEOUT);
    return FALSE;
}

void PLRGroup::closeApplications() {
    PLR_ASSERT_MODEL_THREAD();
    // Looked up now rather than once at start-up: after Explorer restarts
    // the shell has a new window in a new process. Discovery reads it too.
    g_hwndShell = desk::getShellWindow();
    ClosingPass pass;
    pass.ownProcessId = desk::getCurrentProcessId();
    pass.shellProcessId = processOf(g_hwndShell);
    closeApplicationsIn(*this, pass);
}
