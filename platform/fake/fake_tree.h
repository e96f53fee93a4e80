// A behaving tree-view control for native tests, and sendTreeMessage on top
// of it.
//
// A test creates the control of a fake dialog handle with createTree; from
// then on sendTreeMessage(dialog, ...) is answered by that control the way
// comctl32's tree view answers (the shared contract tests run the same cases
// against the real control under Wine). The control keeps real items: parent,
// order among siblings, text, image, selected image, state bits, lParam,
// the caret (TVGN_CARET, TVIS_SELECTED) and the drop highlight. It lays out
// its visible items in fixed rows so that hit tests and item rectangles work.
//
// One known difference from Wine's control: the fake drop-highlights the
// caret item like any other, where Wine's control ignores that request.
//
// Handles: an item handle is never reused. A message that names an item that
// does not exist (deleted, never inserted, another tree's, or null where an
// item is required) gets the real control's answer (FALSE, 0 or null) and is
// also counted as an invalid handle use: the real control on Windows does
// not check handles in every message, so the program must never send one;
// tests assert that the count stays 0.
//
// Thread: any; every call takes the fake's lock.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/win32types.h"

namespace faketree {

// Row layout of the fake control's client area (pixels).
const int kClientWidth = 300;
const int kClientHeight = 400;
const int kRowHeight = 16;
const int kIndent = 19;
const int kImageWidth = 16;
const int kCharWidth = 7;
const int kLabelPadding = 4;

// Creates (or re-creates, empty) the tree control of `dialog`.
void createTree(HWND dialog);
// The control's own window handle (GetDlgItem), null without a control.
HWND treeWindow(HWND dialog);
// Where the control's client area starts in the dialog's client area
// (0, 0 unless set); desk::mapWindowPoints converts between the two.
void setPlacement(HWND dialog, int x, int y);
// Removes the control, as when its dialog is destroyed. Its image lists
// stay alive: a tree view does not destroy the lists given to it.
void destroyTree(HWND dialog);
// Removes every control and every record of the fake.
void reset();
bool hasTree(HWND dialog);

struct ItemView {
    HTREEITEM handle = nullptr;
    HTREEITEM parent = nullptr;  // null for a top-level item
    std::u16string text;
    int image = 0;
    int selectedImage = 0;
    UINT state = 0;
    LPARAM lParam = 0;
    std::vector<HTREEITEM> children;
};

// Inspection. None of these counts as a message.
bool isItem(HWND dialog, HTREEITEM item);
ItemView item(HWND dialog, HTREEITEM item);                   // empty view when absent
std::vector<HTREEITEM> children(HWND dialog, HTREEITEM parent);  // null: top level
std::vector<HTREEITEM> allItems(HWND dialog);                  // pre-order
int itemCount(HWND dialog);
int stateImage(HWND dialog, HTREEITEM item);  // the state image index, 0 for none
bool isExpanded(HWND dialog, HTREEITEM item);
HTREEITEM caret(HWND dialog);
HTREEITEM dropHighlight(HWND dialog);
HIMAGELIST imageList(HWND dialog, int which);  // TVSIL_NORMAL or TVSIL_STATE
COLORREF backgroundColour(HWND dialog);
bool redrawOn(HWND dialog);  // false between WM_SETREDRAW FALSE and TRUE
// An indented outline of the items, for failure messages.
std::string dump(HWND dialog);

// Faults of the caller.
int invalidHandleUses(HWND dialog);
std::vector<std::string> invalidHandleReports(HWND dialog);
void clearInvalidHandleUses(HWND dialog);
// Messages sent to a dialog that has no tree control (answered with 0).
int messagesWithoutTree();

// Every message the control received, decoded.
struct Message {
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    HTREEITEM item = nullptr;         // the item the message names, if any
    UINT mask = 0;                    // TVITEMW fields of inserts and sets
    UINT state = 0;
    UINT stateMask = 0;
    int image = 0;
    int selectedImage = 0;
    std::u16string text;
    HTREEITEM parent = nullptr;       // inserts
    HTREEITEM insertAfter = nullptr;  // inserts
    LRESULT result = 0;
};
std::vector<Message> messages(HWND dialog);
void clearMessages(HWND dialog);

// Knob: after the next `after` inserts, `count` TVM_INSERTITEMW fail (return
// null, insert nothing).
void setInsertFailures(HWND dialog, int count, int after = 0);

// Threads: on Windows a message sent to the control from another thread is
// carried out on the control's own thread while the sender waits. A test
// that runs the dialog on a thread of its own installs a router: every
// sendTreeMessage then calls router(dialog, deliver), which must run
// deliver() (on whichever thread it chooses) and return its result. Install
// and remove it only while no other thread uses the fake; an empty router
// delivers on the calling thread.
typedef std::function<LRESULT(HWND dialog, const std::function<LRESULT()> &deliver)> SendRouter;
void setSendRouter(SendRouter router);

}  // namespace faketree
