#include "platform/fake/fake_desktop.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "platform/desktop.h"

namespace {

typedef std::unique_lock<std::recursive_mutex> Lock;

// Real window handles carry a table index in the low word and a reuse
// counter in the high word: values are neither small nor in creation order.
HWND windowHandleForSlot(std::uintptr_t slot) {
    const std::uintptr_t uniquifier = 1 + (slot * 7) % 0x20;
    return reinterpret_cast<HWND>((uniquifier << 16) | (0x00A0 + 2 * slot));
}

const std::uintptr_t kApplicationIconValue = 0x00010003;

// Each thread has its own last error, as on Windows.
thread_local DWORD t_lastError = 0;

// The record of a message sent or posted.
FakeDeskCall messageCall(FakeDeskCall::Kind kind, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    FakeDeskCall call{kind};
    call.hwnd = hwnd;
    call.message = message;
    call.wParam = wParam;
    call.lParam = lParam;
    return call;
}

const char16_t *defaultSystemMessage(DWORD code) {
    switch (code) {
    case 0: return u"The operation completed successfully.\r\n";
    case 5: return u"Access is denied.\r\n";
    case 6: return u"The handle is invalid.\r\n";
    case 87: return u"The parameter is incorrect.\r\n";
    case 122: return u"The data area passed to a system call is too small.\r\n";
    case 1400: return u"Invalid window handle.\r\n";
    case 1409: return u"Hot key is already registered.\r\n";
    case 1460: return u"This operation returned because the timeout period expired.\r\n";
    default: return nullptr;
    }
}

}  // namespace

FakeDesktop::FakeDesktop() { reset(); }

void FakeDesktop::reset() {
    Lock lock(mutex_);
    windows_.clear();
    zOrder_.clear();
    processes_.clear();
    processHandles_.clear();
    icons_.clear();
    attached_.clear();
    systemMessages_.clear();
    for (DWORD code : {0u, 5u, 6u, 87u, 122u, 1400u, 1409u, 1460u}) systemMessages_[code] = defaultSystemMessage(code);
    foregroundScript_.clear();
    calls_.clear();
    pendingAnswers_.clear();
    desktopFailure_ = EnumFailure();
    windowsFailure_ = EnumFailure();
    foreground_ = nullptr;
    shellWindow_ = nullptr;
    clockMs_ = 0;
    nextWindowSlot_ = 0;
    nextIcon_ = 0;
    nextProcessHandle_ = 0;
    nextProcessId_ = 0;
    ownProcessId_ = kDefaultOwnProcessId;
    threadIdOverride_ = 0;
    outstandingMessages_ = 0;
    enumerations_ = 0;
    sentMessageTakes_ = 0;
    defaultForegroundResult = true;
    beforeEnumCallback = nullptr;
    duringSendWait = nullptr;
    onTakeSentMessages = nullptr;
    inputObserver = nullptr;
    t_lastError = 0;
}

// ---------------------------------------------------------------- set-up

FakeWindow *FakeDesktop::find(HWND hwnd) {
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? nullptr : &it->second;
}

const FakeWindow *FakeDesktop::find(HWND hwnd) const {
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? nullptr : &it->second;
}

FakeProcess &FakeDesktop::ensureProcess(DWORD processId) {
    auto it = processes_.find(processId);
    if (it != processes_.end()) return it->second;
    FakeProcess process;
    process.processId = processId;
    process.mainThreadId = processId + 4;
    return processes_[processId] = process;
}

DWORD FakeDesktop::createProcess() {
    Lock lock(mutex_);
    DWORD id;
    do {
        id = 0x1F40 + 8 * nextProcessId_++;
    } while (processes_.count(id) != 0 || id == ownProcessId_);
    ensureProcess(id);
    return id;
}

FakeProcess *FakeDesktop::process(DWORD processId) {
    Lock lock(mutex_);
    auto it = processes_.find(processId);
    return it == processes_.end() ? nullptr : &it->second;
}

void FakeDesktop::exitProcess(DWORD processId, UINT exitCode) {
    Lock lock(mutex_);
    endProcessLocked(processId, exitCode);
}

DWORD FakeDesktop::startProcessReusingId(DWORD processId) {
    Lock lock(mutex_);
    auto it = processes_.find(processId);
    bool taken = processId == 0 || processId == ownProcessId_ || (it != processes_.end() && it->second.running);
    for (const auto &entry : processHandles_)
        if (entry.second.processId == processId) taken = true;
    if (taken) return createProcess();
    if (it != processes_.end()) processes_.erase(it);
    ensureProcess(processId);
    return processId;
}

HWND FakeDesktop::createWindow(FakeWindow window) {
    Lock lock(mutex_);
    if (window.hwnd == nullptr) {
        do {
            window.hwnd = windowHandleForSlot(nextWindowSlot_++);
        } while (windows_.count(window.hwnd) != 0);
    } else if (windows_.count(window.hwnd) != 0) {
        return nullptr;
    }
    if (window.processId == 0) window.processId = createProcess();
    FakeProcess &process = ensureProcess(window.processId);
    process.running = true;
    if (window.threadId == 0) window.threadId = process.mainThreadId;
    const HWND hwnd = window.hwnd;
    windows_[hwnd] = std::move(window);
    zOrder_.insert(zOrder_.begin(), hwnd);
    return hwnd;
}

HWND FakeDesktop::addAppWindow(const std::u16string &caption, DWORD processId) {
    FakeWindow window;
    window.caption = caption;
    window.processId = processId;
    return createWindow(std::move(window));
}

FakeWindow *FakeDesktop::window(HWND hwnd) {
    Lock lock(mutex_);
    return find(hwnd);
}

void FakeDesktop::destroyLocked(HWND hwnd) {
    if (find(hwnd) == nullptr) return;
    windows_.erase(hwnd);
    zOrder_.erase(std::remove(zOrder_.begin(), zOrder_.end(), hwnd), zOrder_.end());
    if (foreground_ == hwnd) foreground_ = nullptr;
    // Destroying an owner destroys the windows it owns.
    std::vector<HWND> owned;
    for (const auto &entry : windows_)
        if (entry.second.owner == hwnd) owned.push_back(entry.first);
    for (HWND child : owned) destroyLocked(child);
}

void FakeDesktop::destroyWindow(HWND hwnd) {
    Lock lock(mutex_);
    destroyLocked(hwnd);
}

void FakeDesktop::endProcessLocked(DWORD processId, UINT exitCode) {
    FakeProcess &process = ensureProcess(processId);
    if (!process.running) return;
    process.running = false;
    process.exitCode = exitCode;
    std::vector<HWND> own;
    for (const auto &entry : windows_)
        if (entry.second.processId == processId) own.push_back(entry.first);
    for (HWND hwnd : own) destroyLocked(hwnd);
}

void FakeDesktop::setHung(HWND hwnd, bool countedBySystem) {
    Lock lock(mutex_);
    FakeWindow *window = find(hwnd);
    if (window == nullptr) return;
    window->answers = false;
    window->countedHung = countedBySystem;
}

HICON FakeDesktop::newIcon(int size) {
    Lock lock(mutex_);
    HICON icon = reinterpret_cast<HICON>(0x00A10011 + 4 * nextIcon_++);
    icons_[icon] = size;
    return icon;
}

HICON FakeDesktop::applicationIcon() { return reinterpret_cast<HICON>(kApplicationIconValue); }

bool FakeDesktop::isKnownIcon(HICON icon) const {
    Lock lock(mutex_);
    return icon == applicationIcon() || icons_.count(icon) != 0;
}

int FakeDesktop::iconSize(HICON icon) const {
    Lock lock(mutex_);
    if (icon == applicationIcon()) return kApplicationIconSize;
    auto found = icons_.find(icon);
    return found == icons_.end() ? 16 : found->second;
}

// ---------------------------------------------------------------- knobs

void FakeDesktop::setOwnProcessId(DWORD processId) {
    Lock lock(mutex_);
    ownProcessId_ = processId;
}

void FakeDesktop::setShellWindow(HWND hwnd) {
    Lock lock(mutex_);
    shellWindow_ = hwnd;
}

void FakeDesktop::setForeground(HWND hwnd) {
    Lock lock(mutex_);
    foreground_ = hwnd;
}

void FakeDesktop::scriptForegroundResults(std::initializer_list<bool> results) {
    Lock lock(mutex_);
    foregroundScript_.insert(foregroundScript_.end(), results.begin(), results.end());
}

void FakeDesktop::failEnumDesktopWindows(DWORD error, int afterWindows) {
    Lock lock(mutex_);
    desktopFailure_ = EnumFailure{true, error, afterWindows};
}

void FakeDesktop::failEnumWindows(DWORD error, int afterWindows) {
    Lock lock(mutex_);
    windowsFailure_ = EnumFailure{true, error, afterWindows};
}

void FakeDesktop::stopFailingEnumerations() {
    Lock lock(mutex_);
    desktopFailure_ = EnumFailure();
    windowsFailure_ = EnumFailure();
}

void FakeDesktop::setSystemMessage(DWORD code, const char16_t *text) {
    Lock lock(mutex_);
    if (text == nullptr) {
        systemMessages_.erase(code);
    } else {
        systemMessages_[code] = text;
    }
}

void FakeDesktop::setCurrentThreadIdOverride(DWORD threadId) {
    Lock lock(mutex_);
    threadIdOverride_ = threadId;
}

// ---------------------------------------------------------------- outcomes

std::uint64_t FakeDesktop::nowMs() const {
    Lock lock(mutex_);
    return clockMs_;
}

void FakeDesktop::advanceClock(std::uint64_t ms) {
    Lock lock(mutex_);
    clockMs_ += ms;
}

HWND FakeDesktop::foreground() const {
    Lock lock(mutex_);
    return foreground_;
}

std::vector<HWND> FakeDesktop::zOrder() const {
    Lock lock(mutex_);
    return zOrder_;
}

std::vector<FakeDeskCall> FakeDesktop::calls() const {
    Lock lock(mutex_);
    return calls_;
}

std::vector<FakeDeskCall> FakeDesktop::callsOf(FakeDeskCall::Kind kind) const {
    Lock lock(mutex_);
    std::vector<FakeDeskCall> result;
    for (const FakeDeskCall &call : calls_)
        if (call.kind == kind) result.push_back(call);
    return result;
}

int FakeDesktop::sendCount(HWND hwnd) const {
    Lock lock(mutex_);
    int count = 0;
    for (const FakeDeskCall &call : calls_)
        if ((call.kind == FakeDeskCall::SendMessageTimeout || call.kind == FakeDeskCall::SendMessageCallback) &&
            call.hwnd == hwnd)
            ++count;
    return count;
}

int FakeDesktop::sendCount(HWND hwnd, UINT message) const {
    Lock lock(mutex_);
    int count = 0;
    for (const FakeDeskCall &call : calls_)
        if ((call.kind == FakeDeskCall::SendMessageTimeout || call.kind == FakeDeskCall::SendMessageCallback) &&
            call.hwnd == hwnd && call.message == message)
            ++count;
    return count;
}

int FakeDesktop::outstandingAnswers() const {
    Lock lock(mutex_);
    return static_cast<int>(pendingAnswers_.size());
}

void FakeDesktop::clearCalls() {
    Lock lock(mutex_);
    calls_.clear();
}

std::set<std::pair<DWORD, DWORD>> FakeDesktop::attachedThreadPairs() const {
    Lock lock(mutex_);
    return std::set<std::pair<DWORD, DWORD>>(attached_.begin(), attached_.end());
}

int FakeDesktop::openHandleCount() const {
    Lock lock(mutex_);
    return static_cast<int>(processHandles_.size());
}

int FakeDesktop::outstandingSystemMessages() const {
    Lock lock(mutex_);
    return outstandingMessages_;
}

int FakeDesktop::enumerationCount() const {
    Lock lock(mutex_);
    return enumerations_;
}

int FakeDesktop::sentMessageTakes() const {
    Lock lock(mutex_);
    return sentMessageTakes_;
}

void FakeDesktop::takeSentMessages() {
    std::function<void()> observer;
    {
        Lock lock(mutex_);
        ++sentMessageTakes_;
        observer = onTakeSentMessages;
    }
    if (observer) observer();
    deliverDueAnswers();
}

void FakeDesktop::deliverDueAnswers() {
    const std::thread::id self = std::this_thread::get_id();
    for (;;) {
        PendingAnswer answer = {};
        {
            Lock lock(mutex_);
            auto due = pendingAnswers_.end();
            for (auto it = pendingAnswers_.begin(); it != pendingAnswers_.end(); ++it) {
                if (it->never || it->sender != self || it->dueMs > clockMs_) continue;
                if (due == pendingAnswers_.end() || it->dueMs < due->dueMs) due = it;
            }
            if (due == pendingAnswers_.end()) return;
            answer = *due;
            pendingAnswers_.erase(due);
            // A window destroyed before it answered never does.
            if (find(answer.hwnd) == nullptr) continue;
        }
        answer.callback(answer.hwnd, answer.message, answer.data, answer.result);
    }
}

void FakeDesktop::waitForSentMessages(DWORD timeoutMs) {
    const std::thread::id self = std::this_thread::get_id();
    std::vector<std::pair<HWND, UINT>> waitedOn;
    std::function<void(HWND, UINT)> observer;
    {
        Lock lock(mutex_);
        std::uint64_t until = clockMs_ + timeoutMs;
        for (const PendingAnswer &answer : pendingAnswers_) {
            if (answer.sender != self) continue;
            if (!answer.never && answer.dueMs < until) until = std::max(clockMs_, answer.dueMs);
        }
        for (PendingAnswer &answer : pendingAnswers_) {
            if (answer.sender != self || answer.waitedOn || (!answer.never && answer.dueMs <= clockMs_)) continue;
            answer.waitedOn = true;
            waitedOn.emplace_back(answer.hwnd, answer.message);
        }
        clockMs_ = until;
        observer = duringSendWait;
    }
    if (observer)
        for (const auto &entry : waitedOn) observer(entry.first, entry.second);
    takeSentMessages();
}

void FakeDesktop::record(FakeDeskCall call) { calls_.push_back(std::move(call)); }

bool FakeDesktop::anyInputAttachedLocked() const { return !attached_.empty(); }

void FakeDesktop::raiseLocked(HWND hwnd) {
    zOrder_.erase(std::remove(zOrder_.begin(), zOrder_.end(), hwnd), zOrder_.end());
    zOrder_.insert(zOrder_.begin(), hwnd);
}

// ---------------------------------------------------------------- desk:: side

BOOL FakeDesktop::enumerate(WNDENUMPROC proc, LPARAM lParam, bool desktop) {
    Lock lock(mutex_);
    ++enumerations_;
    const EnumFailure failure = desktop ? desktopFailure_ : windowsFailure_;
    // The system takes the list of windows first; windows created during the
    // pass are not reported, destroyed ones are skipped.
    const std::vector<HWND> listed = zOrder_;
    int reported = 0;
    for (HWND hwnd : listed) {
        if (failure.enabled && reported >= failure.afterWindows) break;
        if (find(hwnd) == nullptr) continue;
        lock.unlock();
        if (beforeEnumCallback) beforeEnumCallback(hwnd);
        lock.lock();
        if (find(hwnd) == nullptr) continue;
        ++reported;
        lock.unlock();
        const BOOL goOn = proc(hwnd, lParam);
        lock.lock();
        // A callback that stops the enumeration makes it return FALSE, with
        // whatever last error the callback left.
        if (!goOn) return FALSE;
    }
    if (failure.enabled) {
        t_lastError = failure.error;
        return FALSE;
    }
    return TRUE;
}

LONG_PTR FakeDesktop::getWindowLongPtr(HWND hwnd, int index) {
    Lock lock(mutex_);
    const FakeWindow *window = find(hwnd);
    if (window == nullptr) {
        t_lastError = ERROR_INVALID_WINDOW_HANDLE;
        return 0;
    }
    // Like the system, a successful read leaves the last error alone.
    if (index == GWL_STYLE) return window->style;
    if (index == GWL_EXSTYLE) return window->exStyle;
    t_lastError = ERROR_INVALID_PARAMETER;
    return 0;
}

HWND FakeDesktop::getWindow(HWND hwnd, UINT command) {
    Lock lock(mutex_);
    const FakeWindow *window = find(hwnd);
    if (window == nullptr) {
        t_lastError = ERROR_INVALID_WINDOW_HANDLE;
        return nullptr;
    }
    if (command == GW_OWNER) return window->owner;
    t_lastError = ERROR_INVALID_PARAMETER;
    return nullptr;
}

int FakeDesktop::internalGetWindowText(HWND hwnd, plr_char *buffer, int maxCount) {
    Lock lock(mutex_);
    FakeWindow *window = find(hwnd);
    if (window == nullptr) {
        t_lastError = ERROR_INVALID_WINDOW_HANDLE;
        return 0;
    }
    if (buffer == nullptr || maxCount <= 0) return 0;
    if (window->blankCaptionReads > 0) {
        --window->blankCaptionReads;
        buffer[0] = 0;
        return 0;
    }
    const std::size_t limit = static_cast<std::size_t>(maxCount - 1);
    const std::size_t count = std::min(window->caption.size(), limit);
    for (std::size_t i = 0; i < count; ++i) buffer[i] = window->caption[i];
    buffer[count] = 0;
    return static_cast<int>(count);
}

ULONG_PTR FakeDesktop::getClassLongPtr(HWND hwnd, int index) {
    Lock lock(mutex_);
    const FakeWindow *window = find(hwnd);
    if (window == nullptr) {
        t_lastError = ERROR_INVALID_WINDOW_HANDLE;
        return 0;
    }
    if (index == GCLP_HICON) return reinterpret_cast<ULONG_PTR>(window->classIcon);
    if (index == GCLP_HICONSM) return reinterpret_cast<ULONG_PTR>(window->classIconSmall);
    t_lastError = ERROR_INVALID_PARAMETER;
    return 0;
}

BOOL FakeDesktop::isWindow(HWND hwnd) {
    Lock lock(mutex_);
    return find(hwnd) != nullptr ? TRUE : FALSE;
}

BOOL FakeDesktop::isIconic(HWND hwnd) {
    Lock lock(mutex_);
    const FakeWindow *window = find(hwnd);
    return window != nullptr && window->iconic ? TRUE : FALSE;
}

DWORD FakeDesktop::getWindowThreadProcessId(HWND hwnd, DWORD *processId) {
    Lock lock(mutex_);
    const FakeWindow *window = find(hwnd);
    if (window == nullptr) {
        // The system leaves *processId as it was: callers must test the
        // result instead of reading a stale id.
        t_lastError = ERROR_INVALID_WINDOW_HANDLE;
        return 0;
    }
    if (processId != nullptr) *processId = window->processId;
    return window->threadId;
}

HWND FakeDesktop::findWindow(const plr_char *className) {
    Lock lock(mutex_);
    for (HWND hwnd : zOrder_) {
        const FakeWindow *window = find(hwnd);
        if (className != nullptr && window->className == std::u16string(className)) return hwnd;
    }
    return nullptr;
}

int FakeDesktop::getClassName(HWND hwnd, plr_char *buffer, int maxCount) {
    Lock lock(mutex_);
    const FakeWindow *window = find(hwnd);
    if (window == nullptr) {
        t_lastError = ERROR_INVALID_WINDOW_HANDLE;
        return 0;
    }
    if (buffer == nullptr || maxCount <= 0) {
        t_lastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    const std::size_t count = std::min(window->className.size(), static_cast<std::size_t>(maxCount - 1));
    for (std::size_t i = 0; i < count; ++i) buffer[i] = window->className[i];
    buffer[count] = 0;
    return static_cast<int>(count);
}

HWND FakeDesktop::getShellWindow() {
    Lock lock(mutex_);
    return find(shellWindow_) != nullptr ? shellWindow_ : nullptr;
}

LRESULT FakeDesktop::sendMessageTimeout(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                                        UINT timeoutMs, DWORD_PTR *result) {
    Lock lock(mutex_);
    FakeDeskCall call = messageCall(FakeDeskCall::SendMessageTimeout, hwnd, message, wParam, lParam);
    call.flags = flags;
    call.timeoutMs = timeoutMs;
    const std::size_t callIndex = calls_.size();
    record(call);

    // The outcome: 0 with a last error, or nonzero with *result.
    auto fail = [&](DWORD error) -> LRESULT {
        t_lastError = error;
        calls_[callIndex].result = 0;
        return 0;
    };
    auto waitOut = [&]() -> LRESULT {
        clockMs_ += timeoutMs;
        if (duringSendWait) {
            std::function<void(HWND, UINT)> observer = duringSendWait;
            lock.unlock();
            observer(hwnd, message);
            lock.lock();
        }
        return fail(ERROR_TIMEOUT);
    };

    FakeWindow *window = find(hwnd);
    if (window == nullptr) return fail(ERROR_INVALID_WINDOW_HANDLE);
    if (window->sendError != 0) return fail(window->sendError);
    if (!window->answers) {
        if ((flags & SMTO_ABORTIFHUNG) != 0 && window->countedHung) {
            if (!window->abortIfHungKeepsLastError) return fail(window->abortIfHungError);
            calls_[callIndex].result = 0;
            return 0;
        }
        return waitOut();
    }
    if (window->answersBeforeHanging == 0) {
        window->answers = false;
        return waitOut();
    }
    if (window->answersBeforeHanging > 0) --window->answersBeforeHanging;
    if (window->answerDelayMs > timeoutMs) return waitOut();
    clockMs_ += window->answerDelayMs;

    if (message == WM_CLOSE && window->onClose == FakeCloseBehaviour::AsksModalQuestion) return waitOut();
    const LRESULT answer = answerLocked(window, message, wParam, hwnd);
    if (result != nullptr) *result = static_cast<DWORD_PTR>(answer);
    calls_[callIndex].result = 1;
    return 1;
}

LRESULT FakeDesktop::answerLocked(FakeWindow *window, UINT message, WPARAM wParam, HWND hwnd) {
    switch (message) {
    case WM_GETICON:
        return reinterpret_cast<LRESULT>(wParam == ICON_BIG     ? window->iconBig
                                         : wParam == ICON_SMALL ? window->iconSmall
                                         : wParam == ICON_SMALL2 ? window->iconSmall2
                                                                 : nullptr);
    case WM_CLOSE:
        if (window->onClose == FakeCloseBehaviour::ClosesAtOnce) {
            const DWORD processId = window->processId;
            destroyLocked(hwnd);
            bool lastWindow = true;
            for (const auto &entry : windows_)
                if (entry.second.processId == processId) lastWindow = false;
            if (lastWindow) endProcessLocked(processId, 0);
        }
        return 0;
    default:
        return 0;
    }
}

BOOL FakeDesktop::sendMessageCallback(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, SENDASYNCPROC callback,
                                      ULONG_PTR data) {
    Lock lock(mutex_);
    FakeDeskCall call = messageCall(FakeDeskCall::SendMessageCallback, hwnd, message, wParam, lParam);
    const std::size_t callIndex = calls_.size();
    record(call);

    FakeWindow *window = find(hwnd);
    const DWORD error = window == nullptr ? static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE) : window->sendError;
    if (error != 0) {
        t_lastError = error;
        calls_[callIndex].result = 0;
        return FALSE;
    }
    calls_[callIndex].result = 1;
    PendingAnswer answer = {clockMs_, false, false, std::this_thread::get_id(), hwnd, message, callback, data, 0};
    if (window->answersBeforeHanging == 0) window->answers = false;
    if (window->answersBeforeHanging > 0) --window->answersBeforeHanging;
    // A window that answers late answers all the same, long after the
    // sender's bound.
    if (!window->answers || (message == WM_CLOSE && window->onClose == FakeCloseBehaviour::AsksModalQuestion)) {
        answer.never = true;
    } else {
        answer.dueMs = clockMs_ + window->answerDelayMs;
        answer.result = answerLocked(window, message, wParam, hwnd);
    }
    pendingAnswers_.push_back(answer);
    return TRUE;
}

BOOL FakeDesktop::postMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Lock lock(mutex_);
    FakeDeskCall call = messageCall(FakeDeskCall::PostMessage, hwnd, message, wParam, lParam);
    FakeWindow *window = find(hwnd);
    call.result = window != nullptr ? TRUE : FALSE;
    record(call);
    if (window == nullptr) {
        t_lastError = ERROR_INVALID_WINDOW_HANDLE;
        return FALSE;
    }
    // A responsive window handles a posted restore; a hung one never does.
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_RESTORE && window->answers) window->iconic = false;
    return TRUE;
}

HWND FakeDesktop::getForegroundWindow() {
    Lock lock(mutex_);
    return foreground_;
}

BOOL FakeDesktop::setForegroundWindow(HWND hwnd) {
    Lock lock(mutex_);
    bool allowed = defaultForegroundResult;
    if (!foregroundScript_.empty()) {
        allowed = foregroundScript_.front();
        foregroundScript_.pop_front();
    }
    FakeDeskCall call{FakeDeskCall::SetForegroundWindow};
    call.hwnd = hwnd;
    call.attachedAtCall = anyInputAttachedLocked();
    const bool ok = allowed && find(hwnd) != nullptr;
    call.result = ok ? TRUE : FALSE;
    record(call);
    if (!ok) return FALSE;
    foreground_ = hwnd;
    raiseLocked(hwnd);
    return TRUE;
}

BOOL FakeDesktop::bringWindowToTop(HWND hwnd) {
    Lock lock(mutex_);
    FakeDeskCall call{FakeDeskCall::BringWindowToTop};
    call.hwnd = hwnd;
    const bool ok = find(hwnd) != nullptr;
    call.result = ok ? TRUE : FALSE;
    record(call);
    if (!ok) {
        t_lastError = ERROR_INVALID_WINDOW_HANDLE;
        return FALSE;
    }
    raiseLocked(hwnd);
    return TRUE;
}

BOOL FakeDesktop::setWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    Lock lock(mutex_);
    FakeDeskCall call{FakeDeskCall::SetWindowPos};
    call.hwnd = hwnd;
    call.insertAfter = insertAfter;
    call.x = x;
    call.y = y;
    call.cx = cx;
    call.cy = cy;
    call.flags = flags;
    const bool ok = find(hwnd) != nullptr;
    call.result = ok ? TRUE : FALSE;
    record(call);
    if (!ok) {
        t_lastError = ERROR_INVALID_WINDOW_HANDLE;
        return FALSE;
    }
    if (insertAfter == HWND_TOP) raiseLocked(hwnd);
    return TRUE;
}

BOOL FakeDesktop::attachThreadInput(DWORD attachThread, DWORD toThread, BOOL attach) {
    Lock lock(mutex_);
    FakeDeskCall call{FakeDeskCall::AttachThreadInput};
    call.fromThread = attachThread;
    call.toThread = toThread;
    call.attach = attach;
    BOOL ok = TRUE;
    const std::pair<DWORD, DWORD> pair(attachThread, toThread);
    if (attachThread == 0 || toThread == 0 || attachThread == toThread) {
        ok = FALSE;
    } else if (attach) {
        attached_.insert(pair);
    } else {
        auto it = attached_.find(pair);
        if (it == attached_.end()) {
            ok = FALSE;
        } else {
            attached_.erase(it);
        }
    }
    call.result = ok;
    record(call);
    if (!ok) t_lastError = ERROR_INVALID_PARAMETER;
    return ok;
}

UINT FakeDesktop::sendInput(UINT count, INPUT *inputs, int size) {
    Lock lock(mutex_);
    FakeDeskCall call{FakeDeskCall::SendInput};
    call.inputSize = size;
    const bool ok = inputs != nullptr && size == static_cast<int>(sizeof(INPUT));
    if (inputs != nullptr) call.inputs.assign(inputs, inputs + count);
    call.result = ok ? count : 0;
    record(call);
    if (!ok) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    if (inputObserver) {
        std::function<void(const INPUT &)> observer = inputObserver;
        std::vector<INPUT> events(inputs, inputs + count);
        lock.unlock();
        for (const INPUT &event : events) observer(event);
    }
    return count;
}

DWORD FakeDesktop::getCurrentProcessId() {
    Lock lock(mutex_);
    return ownProcessId_;
}

HANDLE FakeDesktop::openProcess(DWORD access, DWORD processId) {
    Lock lock(mutex_);
    FakeDeskCall call{FakeDeskCall::OpenProcess};
    call.processId = processId;
    call.access = access;
    auto it = processes_.find(processId);
    DWORD error = 0;
    if (it == processes_.end() || !it->second.running) {
        error = ERROR_INVALID_PARAMETER;
    } else if ((access & PROCESS_TERMINATE) != 0 && !it->second.canOpenForTermination) {
        error = ERROR_ACCESS_DENIED;
    }
    if (error != 0) {
        record(call);
        t_lastError = error;
        return nullptr;
    }
    HANDLE handle = reinterpret_cast<HANDLE>(0x01A0 + 4 * nextProcessHandle_++);
    processHandles_[handle] = ProcessHandle{processId, access};
    call.handle = handle;
    call.result = reinterpret_cast<LRESULT>(handle);
    record(call);
    return handle;
}

BOOL FakeDesktop::terminateProcess(HANDLE handle, UINT exitCode) {
    Lock lock(mutex_);
    FakeDeskCall call{FakeDeskCall::TerminateProcess};
    call.handle = handle;
    call.exitCode = exitCode;
    auto it = processHandles_.find(handle);
    DWORD error = 0;
    if (it == processHandles_.end()) {
        error = PLR_FAKE_ERROR_INVALID_HANDLE;
    } else {
        // While the handle is open its id is not given out again, so the id
        // still names the process it was opened for.
        FakeProcess &process = ensureProcess(it->second.processId);
        call.processId = process.processId;
        // Terminating a process that has already ended is refused, and so is
        // a handle opened without the right.
        if (process.terminateFails || !process.running || (it->second.access & PROCESS_TERMINATE) == 0)
            error = ERROR_ACCESS_DENIED;
    }
    call.result = error == 0 ? TRUE : FALSE;
    record(call);
    if (error != 0) {
        t_lastError = error;
        return FALSE;
    }
    endProcessLocked(it->second.processId, exitCode);
    return TRUE;
}

DWORD FakeDesktop::getProcessId(HANDLE handle) {
    Lock lock(mutex_);
    auto it = processHandles_.find(handle);
    if (it == processHandles_.end()) {
        t_lastError = PLR_FAKE_ERROR_INVALID_HANDLE;
        return 0;
    }
    // The id stays readable after the process has ended.
    if ((it->second.access & (PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION)) == 0) {
        t_lastError = ERROR_ACCESS_DENIED;
        return 0;
    }
    return it->second.processId;
}

BOOL FakeDesktop::closeHandle(HANDLE handle) {
    Lock lock(mutex_);
    FakeDeskCall call{FakeDeskCall::CloseHandle};
    call.handle = handle;
    const bool ok = processHandles_.erase(handle) != 0;
    call.result = ok ? TRUE : FALSE;
    record(call);
    if (!ok) t_lastError = PLR_FAKE_ERROR_INVALID_HANDLE;
    return ok ? TRUE : FALSE;
}

int FakeDesktop::messageBox(const plr_char *text, const plr_char *caption) {
    Lock lock(mutex_);
    FakeDeskCall call{FakeDeskCall::MessageBox};
    call.text = text != nullptr ? std::u16string(text) : std::u16string();
    call.caption = caption != nullptr ? std::u16string(caption) : std::u16string();
    call.result = 1;  // IDOK
    record(call);
    return 1;
}

plr_char *FakeDesktop::formatSystemMessage(DWORD code) {
    Lock lock(mutex_);
    auto it = systemMessages_.find(code);
    if (it == systemMessages_.end()) {
        t_lastError = 317;  // ERROR_MR_MID_NOT_FOUND
        return nullptr;
    }
    plr_char *text = new plr_char[it->second.size() + 1];
    std::copy(it->second.begin(), it->second.end(), text);
    text[it->second.size()] = 0;
    ++outstandingMessages_;
    return text;
}

void FakeDesktop::freeSystemMessage(plr_char *text) {
    if (text == nullptr) return;
    Lock lock(mutex_);
    --outstandingMessages_;
    delete[] text;
}

BOOL FakeDesktop::isHungAppWindow(HWND hwnd) {
    Lock lock(mutex_);
    const FakeWindow *window = find(hwnd);
    return window != nullptr && window->countedHung ? TRUE : FALSE;
}

DWORD FakeDesktop::currentThreadId() {
    {
        Lock lock(mutex_);
        if (threadIdOverride_ != 0) return threadIdOverride_;
    }
    const std::size_t hash = std::hash<std::thread::id>()(std::this_thread::get_id());
    // Multiples of four like real ids, apart from the fake's own process and
    // thread numbering.
    return static_cast<DWORD>((hash & 0x0FFFFFFC) | 0x40000000);
}

HRESULT FakeDesktop::dwmGetWindowAttribute(HWND hwnd, DWORD attribute, void *value, DWORD size) {
    Lock lock(mutex_);
    const FakeWindow *window = find(hwnd);
    if (window == nullptr) return PLR_FAKE_E_HANDLE;
    if (window->dwmAttributeResult != S_OK) return window->dwmAttributeResult;
    if (attribute != DWMWA_CLOAKED || value == nullptr || size != sizeof(DWORD)) return E_INVALIDARG;
    *static_cast<DWORD *>(value) = window->cloaked;
    return S_OK;
}

FakeDesktop &fakeDesktop() {
    static FakeDesktop desktop;
    return desktop;
}

BOOL WINAPI fakeIsHungAppWindow(HWND hwnd) { return fakeDesktop().isHungAppWindow(hwnd); }

// ---------------------------------------------------------------- desk::

namespace desk {

DWORD getLastError() { return t_lastError; }
void setLastError(DWORD code) { t_lastError = code; }

plr_char *formatSystemMessage(DWORD code) { return fakeDesktop().formatSystemMessage(code); }
void freeSystemMessage(plr_char *text) { fakeDesktop().freeSystemMessage(text); }

BOOL enumDesktopWindows(WNDENUMPROC proc, LPARAM lParam) { return fakeDesktop().enumerate(proc, lParam, true); }
BOOL enumWindows(WNDENUMPROC proc, LPARAM lParam) { return fakeDesktop().enumerate(proc, lParam, false); }

LONG_PTR getWindowLongPtr(HWND hwnd, int index) { return fakeDesktop().getWindowLongPtr(hwnd, index); }
HWND getWindow(HWND hwnd, UINT command) { return fakeDesktop().getWindow(hwnd, command); }
int internalGetWindowText(HWND hwnd, plr_char *buffer, int maxCount) {
    return fakeDesktop().internalGetWindowText(hwnd, buffer, maxCount);
}
ULONG_PTR getClassLongPtr(HWND hwnd, int index) { return fakeDesktop().getClassLongPtr(hwnd, index); }
HICON loadApplicationIcon() { return FakeDesktop::applicationIcon(); }
BOOL isWindow(HWND hwnd) { return fakeDesktop().isWindow(hwnd); }
BOOL isIconic(HWND hwnd) { return fakeDesktop().isIconic(hwnd); }
DWORD getWindowThreadProcessId(HWND hwnd, DWORD *processId) {
    return fakeDesktop().getWindowThreadProcessId(hwnd, processId);
}
HWND findWindow(const plr_char *className) { return fakeDesktop().findWindow(className); }
int getClassName(HWND hwnd, plr_char *buffer, int maxCount) {
    return fakeDesktop().getClassName(hwnd, buffer, maxCount);
}
HWND getShellWindow() { return fakeDesktop().getShellWindow(); }

LRESULT sendMessageTimeout(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeoutMs,
                           DWORD_PTR *result) {
    return fakeDesktop().sendMessageTimeout(hwnd, message, wParam, lParam, flags, timeoutMs, result);
}
BOOL postMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return fakeDesktop().postMessage(hwnd, message, wParam, lParam);
}

HWND getForegroundWindow() { return fakeDesktop().getForegroundWindow(); }
BOOL setForegroundWindow(HWND hwnd) { return fakeDesktop().setForegroundWindow(hwnd); }
BOOL bringWindowToTop(HWND hwnd) { return fakeDesktop().bringWindowToTop(hwnd); }
BOOL setWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    return fakeDesktop().setWindowPos(hwnd, insertAfter, x, y, cx, cy, flags);
}
BOOL attachThreadInput(DWORD attachThread, DWORD toThread, BOOL attach) {
    return fakeDesktop().attachThreadInput(attachThread, toThread, attach);
}
UINT sendInput(UINT count, INPUT *inputs, int size) { return fakeDesktop().sendInput(count, inputs, size); }

DWORD getCurrentProcessId() { return fakeDesktop().getCurrentProcessId(); }
HANDLE openProcess(DWORD access, DWORD processId) { return fakeDesktop().openProcess(access, processId); }
DWORD getProcessId(HANDLE process) { return fakeDesktop().getProcessId(process); }
BOOL terminateProcess(HANDLE process, UINT exitCode) { return fakeDesktop().terminateProcess(process, exitCode); }
BOOL closeHandle(HANDLE handle) { return fakeDesktop().closeHandle(handle); }

int messageBox(const plr_char *text, const plr_char *caption) { return fakeDesktop().messageBox(text, caption); }

DWORD currentThreadId() { return fakeDesktop().currentThreadId(); }

ULONGLONG tickCount() { return fakeDesktop().nowMs(); }
void takeSentMessages() { fakeDesktop().takeSentMessages(); }
BOOL sendMessageCallback(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, SENDASYNCPROC callback,
                         ULONG_PTR data) {
    return fakeDesktop().sendMessageCallback(hwnd, message, wParam, lParam, callback, data);
}
void waitForSentMessages(DWORD timeoutMs) { fakeDesktop().waitForSentMessages(timeoutMs); }
HRESULT dwmGetWindowAttribute(HWND hwnd, DWORD attribute, void *value, DWORD size) {
    return fakeDesktop().dwmGetWindowAttribute(hwnd, attribute, value, size);
}

}  // namespace desk
