// Asking the desktop's windows for their icons, the slow ones side by side.
//
// A window is asked with WM_GETICON: ICON_BIG first; when it answers, for
// ICON_SMALL, and for ICON_SMALL2 when that gave none. The answers fill the
// gaps with the class icons and the system application icon. A window that
// does not answer its first ask within 250 ms, or that the system already
// counts as hung (not asked, not waited for), shows the application icon
// for both and is asked nothing more; one that does not answer a later ask
// shows its large icon as its small one.
//
// Each ask is a send that waits for the answer, but for 5 ms only: most
// windows answer at once, and a send that waits costs the least. A window
// that is busy is asked again with SendMessageCallbackW, which does not
// wait, and the batch goes on to the next window; once every window has been
// added, the main thread waits for the outstanding answers while it takes
// sent messages. Busy applications thus answer side by side instead of one
// after the other, each ask bounded to 250 ms from when it first went out.
// An answer that comes after its bound, or after the batch, is dropped.
//
// Thread: main thread. What runs while the answers are awaited is what runs
// in any of the main thread's waits (shell/lifecycle.h): a batch holds
// window handles and icons, nothing of the model.
#pragma once

#include <cstddef>
#include <deque>

#include "platform/win32types.h"

class IconBatch {
public:
    IconBatch() = default;
    // Answers still outstanding are dropped when they come.
    ~IconBatch();
    IconBatch(const IconBatch &) = delete;
    IconBatch &operator=(const IconBatch &) = delete;

    // Asks the window, waiting 5 ms at most. Returns the window's index in
    // the batch, in the order added.
    std::size_t add(HWND hwnd);
    // Waits until every window has answered or is given up on.
    void finish();
    std::size_t size() const { return asks_.size(); }
    HWND hwnd(std::size_t index) const { return asks_[index].hwnd; }
    // After finish(): the icons of the index-th window added.
    HICON big(std::size_t index) const { return asks_[index].big; }
    HICON small(std::size_t index) const { return asks_[index].small; }

    // One window's asks. Public for the answers' callback only.
    struct Ask {
        HWND hwnd;
        HICON big;
        HICON small;
        WPARAM kind;       // the kind of the ask in flight, or of the last one
        ULONGLONG sentAt;  // when it went out
        ULONG_PTR ticket;  // its ticket while in flight, else 0
        bool waiting;      // an ask is in flight
        bool answered;     // ... and its answer has come
        LRESULT answer;
    };

private:
    // Elements never move: answers find their ask by address.
    std::deque<Ask> asks_;
};

// One window alone.
void getWindowIcons(HWND hwnd, HICON *iconBig, HICON *iconSmall);
