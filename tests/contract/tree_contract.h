// Helpers for the tree-control contract cases (tree_contract.inc). They talk
// to the control only through sendTreeMessage, so the same cases run
// natively against the fake control and, cross-built, against comctl32's
// tree view under Wine.
//
// A file that includes tree_contract.inc first defines the fixture
// TreeContract, derived from ::testing::Test, with:
//   HWND dialog() const;          the parent whose control 1001 is the tree
//   void expectInvalidHandleUse(int count);
//                                 the last `count` messages named an item
//                                 that does not exist (the fake counts and
//                                 clears them; the real control keeps none)
#pragma once

#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/win32types.h"

namespace treecontract {

typedef std::basic_string<plr_char> Text;

inline HTREEITEM insert(HWND dialog, HTREEITEM parent, HTREEITEM after, const plr_char *text, UINT state = 0,
                        UINT stateMask = 0, int image = 0) {
    Text buffer(text);
    TVINSERTSTRUCTW request = {};
    request.hParent = parent;
    request.hInsertAfter = after;
    request.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_STATE | TVIF_SELECTEDIMAGE;
    request.item.pszText = &buffer[0];
    request.item.iImage = image;
    request.item.iSelectedImage = image;
    request.item.state = state;
    request.item.stateMask = stateMask;
    return reinterpret_cast<HTREEITEM>(
        sendTreeMessage(dialog, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&request)));
}

inline UINT state(HWND dialog, HTREEITEM item, UINT mask = 0xFFFF) {
    return static_cast<UINT>(sendTreeMessage(dialog, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), mask));
}

inline BOOL setState(HWND dialog, HTREEITEM item, UINT newState, UINT mask) {
    TVITEMW tvi = {};
    tvi.mask = TVIF_STATE;
    tvi.hItem = item;
    tvi.state = newState;
    tvi.stateMask = mask;
    return static_cast<BOOL>(sendTreeMessage(dialog, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tvi)));
}

inline Text text(HWND dialog, HTREEITEM item) {
    plr_char buffer[256] = {};
    TVITEMW tvi = {};
    tvi.mask = TVIF_TEXT;
    tvi.hItem = item;
    tvi.pszText = buffer;
    tvi.cchTextMax = 256;
    if (!sendTreeMessage(dialog, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tvi))) return Text(PLR_T("<failed>"));
    return Text(buffer);
}

inline HTREEITEM next(HWND dialog, UINT which, HTREEITEM item) {
    return reinterpret_cast<HTREEITEM>(
        sendTreeMessage(dialog, TVM_GETNEXTITEM, which, reinterpret_cast<LPARAM>(item)));
}

// Children in order, read through TVGN_CHILD and TVGN_NEXT; null: the top
// level.
inline std::vector<HTREEITEM> children(HWND dialog, HTREEITEM parent) {
    std::vector<HTREEITEM> out;
    HTREEITEM child = parent == nullptr ? next(dialog, TVGN_ROOT, nullptr) : next(dialog, TVGN_CHILD, parent);
    for (; child != nullptr && out.size() < 1000; child = next(dialog, TVGN_NEXT, child)) out.push_back(child);
    return out;
}

inline std::vector<Text> childTexts(HWND dialog, HTREEITEM parent) {
    std::vector<Text> out;
    for (HTREEITEM child : children(dialog, parent)) out.push_back(text(dialog, child));
    return out;
}

inline BOOL expand(HWND dialog, HTREEITEM item, UINT action) {
    return static_cast<BOOL>(sendTreeMessage(dialog, TVM_EXPAND, action, reinterpret_cast<LPARAM>(item)));
}

inline bool expanded(HWND dialog, HTREEITEM item) { return (state(dialog, item, TVIS_EXPANDED) & TVIS_EXPANDED) != 0; }

inline BOOL remove(HWND dialog, HTREEITEM item) {
    return static_cast<BOOL>(sendTreeMessage(dialog, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)));
}

inline BOOL select(HWND dialog, UINT which, HTREEITEM item) {
    return static_cast<BOOL>(sendTreeMessage(dialog, TVM_SELECTITEM, which, reinterpret_cast<LPARAM>(item)));
}

inline int count(HWND dialog) { return static_cast<int>(sendTreeMessage(dialog, TVM_GETCOUNT, 0, 0)); }

// The item's rectangle (label only or the whole row); false when the item is
// not shown (under a collapsed parent) or does not exist.
inline bool itemRect(HWND dialog, HTREEITEM item, bool labelOnly, RECT *rect) {
    *reinterpret_cast<HTREEITEM *>(rect) = item;
    return sendTreeMessage(dialog, TVM_GETITEMRECT, labelOnly ? 1 : 0, reinterpret_cast<LPARAM>(rect)) != 0;
}

inline HTREEITEM hitTest(HWND dialog, LONG x, LONG y, UINT *flags) {
    TVHITTESTINFO info = {};
    info.pt.x = x;
    info.pt.y = y;
    HTREEITEM result =
        reinterpret_cast<HTREEITEM>(sendTreeMessage(dialog, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
    *flags = info.flags;
    return result;
}

inline HIMAGELIST setImageList(HWND dialog, WPARAM which, HIMAGELIST list) {
    return reinterpret_cast<HIMAGELIST>(
        sendTreeMessage(dialog, TVM_SETIMAGELIST, which, reinterpret_cast<LPARAM>(list)));
}

}  // namespace treecontract
