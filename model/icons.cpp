#include "model/icons.h"

#include <new>
#include <unordered_map>

#include "log/log.h"
#include "model/globals.h"
#include "model/threading.h"
#include "platform/desktop.h"
#include "platform/phases.h"

namespace {

typedef IconBatch::Ask Ask;

const ULONGLONG kIconTimeoutMs = 250;
// Most windows answer at once, and a send that waits for the answer costs
// the least; one that has not answered within this bound is asked again
// without waiting, and the asks go on to the next window, so that busy
// applications answer side by side rather than one after the other.
const UINT kPromptAnswerMs = 5;
// The longest the wait sleeps before it looks at the asks' bounds again.
const ULONGLONG kWaitSliceMs = 50;

// The asks in flight, by ticket. The system calls answerArrived whenever the
// main thread takes sent messages, which may be long after the batch that
// asked has ended; a batch therefore lists its asks here while they are in
// flight and removes each one it stops waiting for, so an answer whose
// ticket is not listed (or that names another window) belongs to nobody and
// is dropped. Main thread only.
std::unordered_map<ULONG_PTR, Ask *> g_asksInFlight;
ULONG_PTR g_lastTicket = 0;

void CALLBACK answerArrived(HWND hwnd, UINT message, ULONG_PTR ticket, LRESULT result) noexcept {
    if (message != WM_GETICON) return;
    const auto it = g_asksInFlight.find(ticket);
    if (it == g_asksInFlight.end()) return;
    Ask *ask = it->second;
    if (ask->hwnd != hwnd || ask->ticket != ticket) return;
    g_asksInFlight.erase(it);
    ask->ticket = 0;
    ask->answered = true;
    ask->answer = result;
}

void stopWaiting(Ask &ask) {
    if (ask.ticket != 0) g_asksInFlight.erase(ask.ticket);
    ask.ticket = 0;
    ask.waiting = false;
}

HICON classIcon(HWND hwnd, int index) { return reinterpret_cast<HICON>(desk::getClassLongPtr(hwnd, index)); }

void unanswered(Ask &ask) {
    stopWaiting(ask);
    if (ask.kind == ICON_BIG) {
        // Not answering: asked nothing more this pass.
        ask.big = desk::loadApplicationIcon();
        ask.small = ask.big;
    } else {
        ask.small = ask.big;
    }
}

void answered(Ask &ask, LRESULT result);

// The window did not answer promptly: it is asked again without waiting, and
// its answer is awaited with the others' (bounded from its first ask).
void sendWithoutWaiting(Ask &ask) {
    ask.answered = false;
    ask.waiting = true;
    if (++g_lastTicket == 0) ++g_lastTicket;
    ask.ticket = g_lastTicket;
    try {
        // Listed before the send: for a window of this thread the system
        // calls back before the send returns.
        g_asksInFlight[ask.ticket] = &ask;
    } catch (const std::bad_alloc &) {
        ask.ticket = 0;
        unanswered(ask);
        return;
    }
    if (desk::sendMessageCallback(ask.hwnd, WM_GETICON, ask.kind, 0, answerArrived, ask.ticket)) return;
    stopWaiting(ask);
    // As with a timed send: a failure without an error, or a time-out, went
    // unanswered; any other failure counts as an answer of nothing.
    const DWORD error = desk::getLastError();
    if (error == 0 || error == ERROR_TIMEOUT)
        unanswered(ask);
    else
        answered(ask, 0);
}

void send(Ask &ask, WPARAM kind) {
    ask.kind = kind;
    ask.answered = false;
    ask.waiting = false;
    ask.sentAt = desk::tickCount();
    DWORD_PTR result = 0;
    if (desk::sendMessageTimeout(ask.hwnd, WM_GETICON, kind, 0, SMTO_ABORTIFHUNG, kPromptAnswerMs, &result) != 0) {
        answered(ask, static_cast<LRESULT>(result));
        return;
    }
    // A send that fails without an error went unanswered (the system counts
    // the window as hung); one that timed out finds a window that is busy;
    // any other failure counts as an answer of nothing.
    const DWORD error = desk::getLastError();
    if (error == ERROR_TIMEOUT)
        sendWithoutWaiting(ask);
    else if (error == 0)
        unanswered(ask);
    else
        answered(ask, 0);
}

void answered(Ask &ask, LRESULT result) {
    stopWaiting(ask);
    HICON icon = reinterpret_cast<HICON>(result);
    switch (ask.kind) {
    case ICON_BIG:
        if (icon == nullptr) icon = classIcon(ask.hwnd, GCLP_HICON);
        if (icon == nullptr) icon = desk::loadApplicationIcon();
        ask.big = icon;
        send(ask, ICON_SMALL);
        break;
    case ICON_SMALL:
        if (icon != nullptr)
            ask.small = icon;
        else
            send(ask, ICON_SMALL2);
        break;
    default:
        if (icon == nullptr) icon = classIcon(ask.hwnd, GCLP_HICONSM);
        ask.small = icon != nullptr ? icon : ask.big;
        break;
    }
}

bool countedHung(HWND hwnd) { return g_pfnIsHungAppWindow != nullptr && g_pfnIsHungAppWindow(hwnd) != FALSE; }

// Follows up every answer that has come and gives up on every ask past its
// bound. Returns how long the wait may sleep, or 0 when nothing is in
// flight any more.
ULONGLONG settle(std::deque<Ask> &asks) {
    ULONGLONG sleep = 0;
    for (Ask &ask : asks) {
        // An answer may send the next ask of the same window at once.
        while (ask.waiting && ask.answered) answered(ask, ask.answer);
        if (!ask.waiting) continue;
        const ULONGLONG elapsed = desk::tickCount() - ask.sentAt;
        if (elapsed >= kIconTimeoutMs) {
            unanswered(ask);
            continue;
        }
        const ULONGLONG left = kIconTimeoutMs - elapsed;
        if (sleep == 0 || left < sleep) sleep = left;
    }
    return sleep < kWaitSliceMs ? sleep : kWaitSliceMs;
}

}  // namespace

IconBatch::~IconBatch() {
    for (Ask &ask : asks_) stopWaiting(ask);
}

std::size_t IconBatch::add(HWND hwnd) {
    PLR_ASSERT_MODEL_THREAD();
    asks_.push_back(Ask{hwnd, nullptr, nullptr, ICON_BIG, 0, 0, false, false, 0});
    // A window the system counts as hung costs nothing, as with
    // SMTO_ABORTIFHUNG: it is neither asked nor waited for.
    if (countedHung(hwnd))
        unanswered(asks_.back());
    else
        send(asks_.back(), ICON_BIG);
    return asks_.size() - 1;
}

void IconBatch::finish() {
    PLR_ASSERT_MODEL_THREAD();
    notePhase(PlrPhase::IconsAsked);
    for (;;) {
        const ULONGLONG sleep = settle(asks_);
        if (sleep == 0) break;
        desk::waitForSentMessages(static_cast<DWORD>(sleep));
    }
}

void getWindowIcons(HWND hwnd, HICON *iconBig, HICON *iconSmall) {
    IconBatch batch;
    try {
        batch.add(hwnd);
    } catch (const std::bad_alloc &) {
        logMessage(PLR_T("getWindowIcons: out of memory.  Showing the application icon."));
        *iconBig = *iconSmall = desk::loadApplicationIcon();
        return;
    }
    batch.finish();
    *iconBig = batch.big(0);
    *iconSmall = batch.small(0);
}
