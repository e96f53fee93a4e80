// A behaving fake of the desktop behind desk::* for native tests.
//
// It keeps real state and answers the way the system answers, so tests set a
// scene up, run the code under test and assert outcomes:
//   - top-level windows with handle values like real ones, styles, owner,
//     class name, caption (UTF-16, any length), class icons and the icon each
//     WM_GETICON kind answers with (icons of any size), process and thread,
//     and whether the desktop cloaks them; enumeration in z-order (top
//     first; a new window goes on top) over a list taken when the
//     enumeration starts, skipping windows destroyed meanwhile, as the
//     system does;
//   - timed sends on a fake clock: a window that does not answer makes the
//     sender wait out its whole bound (the clock advances by the timeout,
//     the send returns 0 with ERROR_TIMEOUT); with SMTO_ABORTIFHUNG a window
//     the system already counts as hung costs nothing (clock unchanged);
//   - sends with a callback: the answer is due answerDelayMs after the send
//     on the fake clock, and the callback runs on the sending thread when
//     that thread takes sent messages or waits for them, however late; a
//     window that does not answer never calls it, nor does one destroyed
//     before its answer was due; waiting moves the clock to the next answer
//     due or by the whole bound;
//   - WM_CLOSE behaviours per window, processes that exit when their last
//     window closes or when terminated, handles that must be closed and
//     carry the access they were opened with; process ids that are given
//     out again once a process has ended and no handle holds it (a held
//     handle keeps the id taken, as on Windows);
//   - the shell's window (GetShellWindow), which a test can replace, as a
//     restarted shell does;
//   - the foreground window with scripted SetForegroundWindow results, and
//     records of every call that acts on other applications.
//
// Threads: the code under test may call desk::* from any thread; the fake
// serialises its state with a lock it never holds while calling back into
// test code (enumeration callbacks, observers). The set-up functions and
// window() are for the test's own thread while nothing else runs. The last
// error is per thread, as on Windows.
//
// Not here: the tree control (fake_tree.cpp), image lists, bitmaps and icon
// information (fake_imagelist.cpp), the log's local memory (fake_log.cpp).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/win32types.h"

// Extra Win32 values the fake uses that the native vocabulary lacks.
#define PLR_FAKE_ERROR_INVALID_HANDLE 6L
#define PLR_FAKE_WS_EX_WINDOWEDGE 0x00000100L
#define PLR_FAKE_WS_POPUP 0x80000000L
#define PLR_FAKE_WS_MINIMIZE 0x20000000L
#define PLR_FAKE_E_HANDLE ((HRESULT)0x80070006L)

// What a window does with WM_CLOSE.
enum class FakeCloseBehaviour {
    ClosesAtOnce,       // destroys itself; its process exits with its last window
    AnswersStaysOpen,   // answers the message and stays open
    AsksModalQuestion,  // shows a modal question: the send does not return within its bound
};

struct FakeWindow {
    HWND hwnd = nullptr;  // set by FakeDesktop::createWindow unless preset
    LONG_PTR style = WS_VISIBLE;
    LONG_PTR exStyle = PLR_FAKE_WS_EX_WINDOWEDGE;
    HWND owner = nullptr;
    std::u16string className;
    std::u16string caption;
    // The next this many caption reads return 0 characters.
    int blankCaptionReads = 0;

    // Class icons (GetClassLongPtr GCLP_HICON / GCLP_HICONSM).
    HICON classIcon = nullptr;
    HICON classIconSmall = nullptr;
    // The answers to WM_GETICON ICON_BIG / ICON_SMALL / ICON_SMALL2.
    HICON iconBig = nullptr;
    HICON iconSmall = nullptr;
    HICON iconSmall2 = nullptr;

    // Responsiveness. A window that does not answer makes every send wait
    // out its bound. `countedHung`: the system counts the window as hung
    // (IsHungAppWindow is true; SMTO_ABORTIFHUNG gives up at once).
    bool answers = true;
    bool countedHung = false;
    // The last error a send with SMTO_ABORTIFHUNG leaves when it gives up at
    // once on a counted-hung window (the system reports 0 or ERROR_TIMEOUT).
    DWORD abortIfHungError = ERROR_TIMEOUT;
    // ... or leaves the last error as it was before the call, as the system
    // may.
    bool abortIfHungKeepsLastError = false;
    // A window that answers takes this long on the fake clock; longer than
    // the sender's bound is a time-out.
    UINT answerDelayMs = 0;
    // When not negative: the window answers this many more sends, then stops
    // answering (not counted hung), as an application that hangs mid-pass.
    int answersBeforeHanging = -1;
    // When nonzero, every send to the window fails at once with this error
    // (for example ERROR_ACCESS_DENIED across integrity levels).
    DWORD sendError = 0;

    FakeCloseBehaviour onClose = FakeCloseBehaviour::ClosesAtOnce;
    bool iconic = false;

    DWORD processId = 0;  // 0: a new process of its own
    DWORD threadId = 0;   // 0: its process's main thread

    // Cloaking, as DwmGetWindowAttribute(DWMWA_CLOAKED) reports it: nonzero
    // when the desktop keeps the window out of sight although it is visible
    // (a suspended Store application, a window on another virtual desktop).
    DWORD cloaked = 0;
    // When not S_OK, every DwmGetWindowAttribute on the window fails with
    // this result, as on systems without the attribute and under Wine.
    HRESULT dwmAttributeResult = S_OK;
};

struct FakeProcess {
    DWORD processId = 0;
    DWORD mainThreadId = 0;
    bool running = true;
    UINT exitCode = 0;  // valid once running is false
    // Set-up knobs.
    bool canOpenForTermination = true;  // false: OpenProcess with PROCESS_TERMINATE fails with ERROR_ACCESS_DENIED
    bool terminateFails = false;        // TerminateProcess fails with ERROR_ACCESS_DENIED
};

// One call that acts on the desktop or another application, in call order.
struct FakeDeskCall {
    enum Kind {
        SendMessageTimeout,
        SendMessageCallback,
        PostMessage,
        SetForegroundWindow,
        BringWindowToTop,
        SetWindowPos,
        AttachThreadInput,
        SendInput,
        OpenProcess,
        TerminateProcess,
        CloseHandle,
        MessageBox,
    };
    explicit FakeDeskCall(Kind callKind) : kind(callKind) {}

    Kind kind;
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    UINT flags = 0;       // send flags, SetWindowPos flags
    UINT timeoutMs = 0;   // sends
    HWND insertAfter = nullptr;
    int x = 0, y = 0, cx = 0, cy = 0;
    DWORD fromThread = 0, toThread = 0;  // AttachThreadInput
    BOOL attach = FALSE;
    std::vector<INPUT> inputs;  // SendInput
    int inputSize = 0;
    DWORD processId = 0;  // OpenProcess
    DWORD access = 0;     // OpenProcess
    HANDLE handle = nullptr;
    UINT exitCode = 0;
    std::u16string text, caption;  // MessageBox
    LRESULT result = 0;            // what the call returned
    bool attachedAtCall = false;   // SetForegroundWindow: some thread input was joined
};

class FakeDesktop {
public:
    static constexpr DWORD kDefaultOwnProcessId = 0x0D2C;

    FakeDesktop();
    // Back to an empty desktop: no windows or processes, clock at 0, every
    // knob at its default, records cleared, handle numbering restarted.
    void reset();

    // --- Scene set-up (test thread) ---
    // Creates the window on top of the z-order and returns its handle.
    HWND createWindow(FakeWindow window);
    // A visible, unowned application window with a caption.
    HWND addAppWindow(const std::u16string &caption, DWORD processId = 0);
    // The live window, or null. Edit its fields freely between calls.
    FakeWindow *window(HWND hwnd);
    // Destroys the window and the windows it owns (as DestroyWindow does).
    void destroyWindow(HWND hwnd);
    // Marks the window as not answering and counted hung by the system.
    void setHung(HWND hwnd, bool countedBySystem = true);
    DWORD createProcess();
    FakeProcess *process(DWORD processId);
    // The process ends on its own with its windows.
    void exitProcess(DWORD processId, UINT exitCode = 0);
    // A new process that gets `processId` if the system may give it out
    // again (no process runs with it and no handle holds it), and a fresh id
    // otherwise. Returns the new process's id.
    DWORD startProcessReusingId(DWORD processId);
    // A fresh icon handle (belonging to nobody in particular), `size`
    // pixels square.
    HICON newIcon(int size = 16);
    // LoadIconW(NULL, IDI_APPLICATION): the large system icon, 32 pixels.
    static HICON applicationIcon();
    static const int kApplicationIconSize = 32;
    bool isKnownIcon(HICON icon) const;
    // The size of an icon handed out here; 16 for any other handle.
    int iconSize(HICON icon) const;

    // --- Knobs ---
    void setOwnProcessId(DWORD processId);
    // GetShellWindow's answer while that window exists (null once it is
    // destroyed, until a new one is set).
    void setShellWindow(HWND hwnd);
    void setForeground(HWND hwnd);  // no record, no z-order change
    // Results of the next SetForegroundWindow attempts, oldest first; once
    // used up, attempts succeed (`defaultForegroundResult`).
    void scriptForegroundResults(std::initializer_list<bool> results);
    bool defaultForegroundResult = true;
    // EnumDesktopWindows / EnumWindows fail with `error` after reporting
    // `afterWindows` windows (0: at once).
    void failEnumDesktopWindows(DWORD error, int afterWindows = 0);
    void failEnumWindows(DWORD error, int afterWindows = 0);
    // Both enumerations succeed again.
    void stopFailingEnumerations();
    // Overrides (or with null text removes) the system's text for a code.
    void setSystemMessage(DWORD code, const char16_t *text);
    // Called before each enumeration callback with the window about to be
    // reported; it may create or destroy windows.
    std::function<void(HWND)> beforeEnumCallback;
    // Called (without the fake's lock) while a send waits on a window that
    // does not answer in time, and once for each answer still outstanding
    // when the code first waits for the answers to its sends with a
    // callback: the sender takes sent messages meanwhile.
    std::function<void(HWND, UINT)> duringSendWait;
    // Called (without the fake's lock) when the code takes the messages sent
    // to its thread (desk::takeSentMessages).
    std::function<void()> onTakeSentMessages;
    int sentMessageTakes() const;
    // Called for each event of a successful SendInput.
    std::function<void(const INPUT &)> inputObserver;
    // A fixed value for desk::currentThreadId(), or 0 for the real thread.
    void setCurrentThreadIdOverride(DWORD threadId);

    // --- Outcomes ---
    std::uint64_t nowMs() const;
    void advanceClock(std::uint64_t ms);
    HWND foreground() const;
    std::vector<HWND> zOrder() const;  // top first
    std::vector<FakeDeskCall> calls() const;
    std::vector<FakeDeskCall> callsOf(FakeDeskCall::Kind kind) const;
    // Sends to one window, timed or with a callback (any message, or one
    // message when given).
    int sendCount(HWND hwnd) const;
    int sendCount(HWND hwnd, UINT message) const;
    void clearCalls();
    std::set<std::pair<DWORD, DWORD>> attachedThreadPairs() const;
    int openHandleCount() const;
    int outstandingSystemMessages() const;
    int enumerationCount() const;  // EnumDesktopWindows + EnumWindows calls
    // Sends with a callback whose callback has not run (yet).
    int outstandingAnswers() const;

    // --- The desk:: side (called by platform/fake/fake_desktop.cpp) ---
    BOOL enumerate(WNDENUMPROC proc, LPARAM lParam, bool desktop);
    LONG_PTR getWindowLongPtr(HWND hwnd, int index);
    HWND getWindow(HWND hwnd, UINT command);
    int internalGetWindowText(HWND hwnd, plr_char *buffer, int maxCount);
    ULONG_PTR getClassLongPtr(HWND hwnd, int index);
    BOOL isWindow(HWND hwnd);
    BOOL isIconic(HWND hwnd);
    DWORD getWindowThreadProcessId(HWND hwnd, DWORD *processId);
    HWND findWindow(const plr_char *className);
    int getClassName(HWND hwnd, plr_char *buffer, int maxCount);
    HWND getShellWindow();
    LRESULT sendMessageTimeout(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeoutMs,
                               DWORD_PTR *result);
    BOOL sendMessageCallback(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, SENDASYNCPROC callback,
                             ULONG_PTR data);
    void waitForSentMessages(DWORD timeoutMs);
    BOOL postMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND getForegroundWindow();
    BOOL setForegroundWindow(HWND hwnd);
    BOOL bringWindowToTop(HWND hwnd);
    BOOL setWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
    BOOL attachThreadInput(DWORD attachThread, DWORD toThread, BOOL attach);
    UINT sendInput(UINT count, INPUT *inputs, int size);
    DWORD getCurrentProcessId();
    HANDLE openProcess(DWORD access, DWORD processId);
    DWORD getProcessId(HANDLE process);
    BOOL terminateProcess(HANDLE process, UINT exitCode);
    BOOL closeHandle(HANDLE handle);
    int messageBox(const plr_char *text, const plr_char *caption);
    plr_char *formatSystemMessage(DWORD code);
    void freeSystemMessage(plr_char *text);
    BOOL isHungAppWindow(HWND hwnd);
    DWORD currentThreadId();
    void takeSentMessages();
    HRESULT dwmGetWindowAttribute(HWND hwnd, DWORD attribute, void *value, DWORD size);

private:
    struct ProcessHandle {
        DWORD processId = 0;
        DWORD access = 0;
    };
    // An answer to a send with a callback; never due for a window that
    // does not answer.
    struct PendingAnswer {
        std::uint64_t dueMs;
        bool never;
        bool waitedOn;  // duringSendWait has been told
        std::thread::id sender;
        HWND hwnd;
        UINT message;
        SENDASYNCPROC callback;
        ULONG_PTR data;
        LRESULT result;
    };
    struct EnumFailure {
        bool enabled = false;
        DWORD error = 0;
        int afterWindows = 0;
    };

    // Callers hold mutex_.
    FakeWindow *find(HWND hwnd);
    const FakeWindow *find(HWND hwnd) const;
    FakeProcess &ensureProcess(DWORD processId);
    void destroyLocked(HWND hwnd);
    void endProcessLocked(DWORD processId, UINT exitCode);
    void raiseLocked(HWND hwnd);
    void record(FakeDeskCall call);
    // What a window that answers gives back; WM_CLOSE also acts.
    LRESULT answerLocked(FakeWindow *window, UINT message, WPARAM wParam, HWND hwnd);
    // Runs the callbacks of the calling thread's answers that are due.
    void deliverDueAnswers();
    bool anyInputAttachedLocked() const;

    mutable std::recursive_mutex mutex_;
    std::map<HWND, FakeWindow> windows_;
    std::vector<HWND> zOrder_;  // top first
    std::map<DWORD, FakeProcess> processes_;
    std::map<HANDLE, ProcessHandle> processHandles_;
    std::map<HICON, int> icons_;  // size in pixels
    std::multiset<std::pair<DWORD, DWORD>> attached_;
    std::map<DWORD, std::u16string> systemMessages_;
    std::deque<bool> foregroundScript_;
    std::vector<FakeDeskCall> calls_;
    std::vector<PendingAnswer> pendingAnswers_;  // in send order
    EnumFailure desktopFailure_;
    EnumFailure windowsFailure_;
    HWND foreground_ = nullptr;
    HWND shellWindow_ = nullptr;
    std::uint64_t clockMs_ = 0;
    std::uintptr_t nextWindowSlot_ = 0;
    std::uintptr_t nextIcon_ = 0;
    std::uintptr_t nextProcessHandle_ = 0;
    DWORD nextProcessId_ = 0;
    DWORD ownProcessId_ = kDefaultOwnProcessId;
    DWORD threadIdOverride_ = 0;
    int outstandingMessages_ = 0;
    int sentMessageTakes_ = 0;
    int enumerations_ = 0;
};

// The one fake desktop all desk:: functions use.
FakeDesktop &fakeDesktop();

// Plug into g_pfnIsHungAppWindow: the fake's IsHungAppWindow.
BOOL WINAPI fakeIsHungAppWindow(HWND hwnd);
