#include "platform/fake/fake_tree.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/desktop.h"
#include "platform/fake/fake_imagelist.h"

#ifndef TVHT_ABOVE
#define TVHT_ABOVE 0x0100
#define TVHT_BELOW 0x0200
#define TVHT_TORIGHT 0x0400
#define TVHT_TOLEFT 0x0800
#endif

namespace {

const COLORREF kDefaultColour = static_cast<COLORREF>(-1);
const plr_char *const kTextCallback = reinterpret_cast<const plr_char *>(static_cast<std::intptr_t>(-1));

std::string hex(const void *p) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%p", p);
    return buffer;
}

std::string narrow(const std::u16string &text) {
    std::string out;
    for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

std::string messageName(UINT message) {
    switch (message) {
    case TVM_INSERTITEMW: return "TVM_INSERTITEMW";
    case TVM_DELETEITEM: return "TVM_DELETEITEM";
    case TVM_EXPAND: return "TVM_EXPAND";
    case TVM_GETITEMRECT: return "TVM_GETITEMRECT";
    case TVM_GETCOUNT: return "TVM_GETCOUNT";
    case TVM_GETIMAGELIST: return "TVM_GETIMAGELIST";
    case TVM_SETIMAGELIST: return "TVM_SETIMAGELIST";
    case TVM_GETNEXTITEM: return "TVM_GETNEXTITEM";
    case TVM_SELECTITEM: return "TVM_SELECTITEM";
    case TVM_HITTEST: return "TVM_HITTEST";
    case TVM_CREATEDRAGIMAGE: return "TVM_CREATEDRAGIMAGE";
    case TVM_SETBKCOLOR: return "TVM_SETBKCOLOR";
    case TVM_GETITEMSTATE: return "TVM_GETITEMSTATE";
    case TVM_GETITEMW: return "TVM_GETITEMW";
    case TVM_SETITEMW: return "TVM_SETITEMW";
    case WM_SETREDRAW: return "WM_SETREDRAW";
    default: return "message " + std::to_string(message);
    }
}

class TreeControl {
public:
    struct Item {
        HTREEITEM parent = nullptr;
        std::vector<HTREEITEM> children;
        std::u16string text;
        int image = 0;
        int selectedImage = 0;
        UINT state = 0;
        LPARAM lParam = 0;
    };

    std::unordered_map<HTREEITEM, Item> items;
    std::vector<HTREEITEM> top;
    HTREEITEM caret = nullptr;
    HTREEITEM drop = nullptr;
    HIMAGELIST normalList = nullptr;
    HIMAGELIST stateList = nullptr;
    COLORREF background = kDefaultColour;
    bool redraw = true;
    std::vector<std::string> invalidReports;
    std::vector<faketree::Message> log;
    int insertFailures = 0;
    int insertsBeforeFailures = 0;
    HWND window = nullptr;         // the control's own window handle
    POINT placement = {0, 0};      // its client origin in the dialog's client area

    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) {
        faketree::Message record;
        record.message = message;
        record.wParam = wParam;
        record.lParam = lParam;
        current_ = &record;
        const LRESULT result = dispatch(message, wParam, lParam);
        record.result = result;
        current_ = nullptr;
        log.push_back(record);
        return result;
    }

    Item *find(HTREEITEM handle) {
        auto found = items.find(handle);
        return found == items.end() ? nullptr : &found->second;
    }

    std::vector<HTREEITEM> &siblingsOf(HTREEITEM parent) { return parent == nullptr ? top : items[parent].children; }

    // Visible items in display order: the top level, and the children of
    // expanded items.
    std::vector<HTREEITEM> visibleRows() const {
        std::vector<HTREEITEM> rows;
        appendVisible(top, rows);
        return rows;
    }

    int depthOf(HTREEITEM handle) const {
        int depth = 0;
        for (HTREEITEM p = items.at(handle).parent; p != nullptr; p = items.at(p).parent) ++depth;
        return depth;
    }

    void dumpInto(const std::vector<HTREEITEM> &level, int depth, std::string &out) const {
        for (HTREEITEM h : level) {
            const Item &item = items.at(h);
            out += std::string(static_cast<std::size_t>(depth) * 2, ' ');
            out += "\"" + narrow(item.text) + "\" image " + std::to_string(item.image) + " state 0x";
            char buffer[16];
            std::snprintf(buffer, sizeof buffer, "%X", item.state);
            out += buffer;
            out += " " + hex(h) + "\n";
            dumpInto(item.children, depth + 1, out);
        }
    }

private:
    faketree::Message *current_ = nullptr;

    void invalid(UINT message, HTREEITEM handle) {
        invalidReports.push_back(messageName(message) + " named item " + hex(handle) + ", which does not exist");
    }

    // The item a message names; null (and an invalid use) when absent.
    Item *require(UINT message, HTREEITEM handle) {
        if (current_ != nullptr) current_->item = handle;
        Item *item = find(handle);
        if (item == nullptr) invalid(message, handle);
        return item;
    }

    void appendVisible(const std::vector<HTREEITEM> &level, std::vector<HTREEITEM> &rows) const {
        for (HTREEITEM h : level) {
            rows.push_back(h);
            const Item &item = items.at(h);
            if ((item.state & TVIS_EXPANDED) != 0) appendVisible(item.children, rows);
        }
    }

    LRESULT dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
        case TVM_INSERTITEMW: return insert(reinterpret_cast<const TVINSERTSTRUCTW *>(lParam));
        case TVM_DELETEITEM: return remove(reinterpret_cast<HTREEITEM>(lParam));
        case TVM_EXPAND: return expand(static_cast<UINT>(wParam), reinterpret_cast<HTREEITEM>(lParam));
        case TVM_GETITEMRECT: return itemRect(wParam != 0, reinterpret_cast<RECT *>(lParam));
        case TVM_GETCOUNT: return static_cast<LRESULT>(items.size());
        case TVM_GETIMAGELIST: return getImageList(wParam);
        case TVM_SETIMAGELIST: return setImageList(wParam, reinterpret_cast<HIMAGELIST>(lParam));
        case TVM_GETNEXTITEM: return nextItem(static_cast<UINT>(wParam), reinterpret_cast<HTREEITEM>(lParam));
        case TVM_SELECTITEM: return selectItem(static_cast<UINT>(wParam), reinterpret_cast<HTREEITEM>(lParam));
        case TVM_HITTEST: return hitTest(reinterpret_cast<TVHITTESTINFO *>(lParam));
        case TVM_CREATEDRAGIMAGE: return dragImage(reinterpret_cast<HTREEITEM>(lParam));
        case TVM_SETBKCOLOR: {
            const COLORREF previous = background;
            background = static_cast<COLORREF>(lParam);
            return static_cast<LRESULT>(static_cast<std::intptr_t>(static_cast<std::int32_t>(previous)));
        }
        case TVM_GETITEMSTATE: {
            Item *item = require(message, reinterpret_cast<HTREEITEM>(wParam));
            return item == nullptr ? 0 : static_cast<LRESULT>(item->state & static_cast<UINT>(lParam));
        }
        case TVM_GETITEMW: return getItem(reinterpret_cast<TVITEMW *>(lParam));
        case TVM_SETITEMW: return setItem(reinterpret_cast<const TVITEMW *>(lParam));
        case WM_SETREDRAW:
            redraw = wParam != 0;
            return 0;
        default:
            invalidReports.push_back(messageName(message) + " is not handled by the fake tree");
            return 0;
        }
    }

    void decode(const TVITEMW &tvi) {
        if (current_ == nullptr) return;
        current_->mask = tvi.mask;
        current_->state = tvi.state;
        current_->stateMask = tvi.stateMask;
        current_->image = tvi.iImage;
        current_->selectedImage = tvi.iSelectedImage;
        if ((tvi.mask & TVIF_TEXT) != 0 && tvi.pszText != nullptr && tvi.pszText != kTextCallback) {
            current_->text = tvi.pszText;
        }
    }

    void apply(Item &item, const TVITEMW &tvi) {
        if ((tvi.mask & TVIF_TEXT) != 0) {
            item.text = (tvi.pszText == nullptr || tvi.pszText == kTextCallback) ? std::u16string() : tvi.pszText;
        }
        if ((tvi.mask & TVIF_IMAGE) != 0) item.image = tvi.iImage;
        if ((tvi.mask & TVIF_SELECTEDIMAGE) != 0) item.selectedImage = tvi.iSelectedImage;
        if ((tvi.mask & TVIF_PARAM) != 0) item.lParam = tvi.lParam;
        if ((tvi.mask & TVIF_STATE) != 0) item.state = (item.state & ~tvi.stateMask) | (tvi.state & tvi.stateMask);
    }

    LRESULT insert(const TVINSERTSTRUCTW *request) {
        decode(request->item);
        if (current_ != nullptr) {
            current_->parent = request->hParent;
            current_->insertAfter = request->hInsertAfter;
        }
        HTREEITEM parent = request->hParent == TVI_ROOT ? nullptr : request->hParent;
        if (parent != nullptr && require(TVM_INSERTITEMW, parent) == nullptr) return 0;
        if (insertsBeforeFailures > 0) {
            --insertsBeforeFailures;
        } else if (insertFailures > 0) {
            --insertFailures;
            return 0;
        }

        std::vector<HTREEITEM> &siblings = siblingsOf(parent);
        std::size_t position = siblings.size();
        HTREEITEM after = request->hInsertAfter;
        if (after == TVI_FIRST) {
            position = 0;
        } else if (after == TVI_SORT) {
            const std::u16string text = (request->item.mask & TVIF_TEXT) != 0 && request->item.pszText != nullptr &&
                                                request->item.pszText != kTextCallback
                                            ? std::u16string(request->item.pszText)
                                            : std::u16string();
            position = 0;
            while (position < siblings.size() && items.at(siblings[position]).text <= text) ++position;
        } else if (after != TVI_LAST && after != TVI_ROOT) {
            // An item that is not a sibling under this parent: the control
            // appends, as for TVI_LAST (and so for TVI_ROOT).
            auto found = std::find(siblings.begin(), siblings.end(), after);
            if (found != siblings.end()) {
                position = static_cast<std::size_t>(found - siblings.begin()) + 1;
            } else if (find(after) == nullptr) {
                invalid(TVM_INSERTITEMW, after);
            }
        }

        HTREEITEM handle = newHandle();
        Item item;
        item.parent = parent;
        apply(item, request->item);
        items[handle] = item;
        std::vector<HTREEITEM> &target = siblingsOf(parent);  // the map may have rehashed
        target.insert(target.begin() + static_cast<std::ptrdiff_t>(position), handle);
        return reinterpret_cast<LRESULT>(handle);
    }

    static HTREEITEM newHandle() {
        static std::uintptr_t next = 0x5000000;
        next += 0x20;
        return reinterpret_cast<HTREEITEM>(next);
    }

    bool inSubtree(HTREEITEM root, HTREEITEM candidate) const {
        for (HTREEITEM h = candidate; h != nullptr; h = items.at(h).parent) {
            if (h == root) return true;
        }
        return false;
    }

    void erase(HTREEITEM handle) {
        std::vector<HTREEITEM> children = items.at(handle).children;
        for (HTREEITEM child : children) erase(child);
        items.erase(handle);
    }

    LRESULT remove(HTREEITEM handle) {
        if (current_ != nullptr) current_->item = handle;
        if (handle == nullptr || handle == TVI_ROOT) {
            items.clear();
            top.clear();
            caret = nullptr;
            drop = nullptr;
            return TRUE;
        }
        Item *item = require(TVM_DELETEITEM, handle);
        if (item == nullptr) return FALSE;

        const HTREEITEM parent = item->parent;
        std::vector<HTREEITEM> &siblings = siblingsOf(parent);
        auto place = std::find(siblings.begin(), siblings.end(), handle);
        HTREEITEM next = (place + 1) != siblings.end() ? *(place + 1) : nullptr;
        HTREEITEM previous = place != siblings.begin() ? *(place - 1) : nullptr;

        HTREEITEM newCaret = caret;
        if (caret != nullptr && inSubtree(handle, caret)) {
            // The control moves the caret off a deleted item: to the next
            // sibling, else the parent, else the previous sibling.
            newCaret = next != nullptr ? next : (parent != nullptr ? parent : previous);
        }
        if (drop != nullptr && inSubtree(handle, drop)) drop = nullptr;

        siblings.erase(place);
        erase(handle);
        // A parent that loses its last child keeps TVIS_EXPANDED.
        if (newCaret != caret) {
            caret = nullptr;
            setCaret(newCaret);
        }
        return TRUE;
    }

    // The control never leaves its caret hidden: collapsing an item above
    // the caret makes the collapsed item the caret.
    void collapse(HTREEITEM handle) {
        items.at(handle).state &= ~TVIS_EXPANDED;
        if (caret != nullptr && caret != handle && inSubtree(handle, caret)) setCaret(handle);
    }

    LRESULT expand(UINT action, HTREEITEM handle) {
        Item *item = require(TVM_EXPAND, handle);
        if (item == nullptr) return FALSE;
        const bool expanded = (item->state & TVIS_EXPANDED) != 0;
        switch (action & 0x3) {
        case TVE_EXPAND:
            if (expanded) return TRUE;
            if (item->children.empty()) return FALSE;
            item->state |= TVIS_EXPANDED | TVIS_EXPANDEDONCE;
            return TRUE;
        case TVE_COLLAPSE:
            if (item->children.empty() || !expanded) return FALSE;
            collapse(handle);
            return TRUE;
        case TVE_TOGGLE:
            if (item->children.empty()) return FALSE;
            if (expanded) {
                collapse(handle);
            } else {
                item->state |= TVIS_EXPANDED | TVIS_EXPANDEDONCE;
            }
            return TRUE;
        default:
            return FALSE;
        }
    }

    LRESULT getImageList(WPARAM which) const {
        if (which == TVSIL_NORMAL) return reinterpret_cast<LRESULT>(normalList);
        if (which == TVSIL_STATE) return reinterpret_cast<LRESULT>(stateList);
        return 0;
    }

    LRESULT setImageList(WPARAM which, HIMAGELIST list) {
        HIMAGELIST previous = nullptr;
        if (which == TVSIL_NORMAL) {
            previous = normalList;
            normalList = list;
        } else if (which == TVSIL_STATE) {
            previous = stateList;
            stateList = list;
        }
        return reinterpret_cast<LRESULT>(previous);
    }

    LRESULT nextItem(UINT which, HTREEITEM handle) {
        switch (which) {
        case TVGN_ROOT: return reinterpret_cast<LRESULT>(top.empty() ? nullptr : top.front());
        case TVGN_CARET: return reinterpret_cast<LRESULT>(caret);
        case TVGN_DROPHILITE: return reinterpret_cast<LRESULT>(drop);
        default: break;
        }
        if ((handle == nullptr || handle == TVI_ROOT) && which == TVGN_CHILD) {
            return reinterpret_cast<LRESULT>(top.empty() ? nullptr : top.front());
        }
        Item *item = require(TVM_GETNEXTITEM, handle);
        if (item == nullptr) return 0;
        const std::vector<HTREEITEM> &siblings = siblingsOf(item->parent);
        auto place = std::find(siblings.begin(), siblings.end(), handle);
        switch (which) {
        case TVGN_NEXT: return reinterpret_cast<LRESULT>((place + 1) != siblings.end() ? *(place + 1) : nullptr);
        case TVGN_PREVIOUS: return reinterpret_cast<LRESULT>(place != siblings.begin() ? *(place - 1) : nullptr);
        case TVGN_PARENT: return reinterpret_cast<LRESULT>(item->parent);
        case TVGN_CHILD:
            return reinterpret_cast<LRESULT>(item->children.empty() ? nullptr : item->children.front());
        default: return 0;
        }
    }

    void setCaret(HTREEITEM handle) {
        if (caret != nullptr) {
            Item *old = find(caret);
            if (old != nullptr) old->state &= ~TVIS_SELECTED;
        }
        caret = handle;
        if (handle == nullptr) return;
        items.at(handle).state |= TVIS_SELECTED;
        // The caret is made visible: collapsed ancestors open.
        for (HTREEITEM p = items.at(handle).parent; p != nullptr; p = items.at(p).parent) {
            items.at(p).state |= TVIS_EXPANDED | TVIS_EXPANDEDONCE;
        }
    }

    LRESULT selectItem(UINT which, HTREEITEM handle) {
        if (current_ != nullptr) current_->item = handle;
        if (handle != nullptr && require(TVM_SELECTITEM, handle) == nullptr) return FALSE;
        switch (which & 0xFF) {
        case TVGN_CARET:
            setCaret(handle);
            return TRUE;
        case TVGN_DROPHILITE:
            if (drop != nullptr) items.at(drop).state &= ~TVIS_DROPHILITED;
            drop = handle;
            if (handle != nullptr) items.at(handle).state |= TVIS_DROPHILITED;
            return TRUE;
        default:
            return FALSE;
        }
    }

    int labelLeft(HTREEITEM handle) const {
        const Item &item = items.at(handle);
        int x = (depthOf(handle) + 1) * faketree::kIndent;
        if (stateList != nullptr && (item.state & TVIS_STATEIMAGEMASK) != 0) x += faketree::kImageWidth;
        if (normalList != nullptr) x += faketree::kImageWidth;
        return x;
    }

    int labelWidth(HTREEITEM handle) const {
        return static_cast<int>(items.at(handle).text.size()) * faketree::kCharWidth + faketree::kLabelPadding;
    }

    LRESULT itemRect(bool labelOnly, RECT *rect) {
        HTREEITEM handle = *reinterpret_cast<HTREEITEM *>(rect);
        if (require(TVM_GETITEMRECT, handle) == nullptr) return FALSE;
        const std::vector<HTREEITEM> rows = visibleRows();
        auto place = std::find(rows.begin(), rows.end(), handle);
        if (place == rows.end()) return FALSE;
        const int row = static_cast<int>(place - rows.begin());
        rect->top = row * faketree::kRowHeight;
        rect->bottom = rect->top + faketree::kRowHeight;
        rect->left = labelOnly ? labelLeft(handle) : 0;
        rect->right = labelOnly ? labelLeft(handle) + labelWidth(handle) : faketree::kClientWidth;
        return TRUE;
    }

    LRESULT hitTest(TVHITTESTINFO *info) {
        const LONG x = info->pt.x;
        const LONG y = info->pt.y;
        UINT outside = 0;
        if (x < 0) outside |= TVHT_TOLEFT;
        if (x >= faketree::kClientWidth) outside |= TVHT_TORIGHT;
        if (y < 0) outside |= TVHT_ABOVE;
        if (y >= faketree::kClientHeight) outside |= TVHT_BELOW;
        info->hItem = nullptr;
        if (outside != 0) {
            info->flags = outside;
            return 0;
        }
        const std::vector<HTREEITEM> rows = visibleRows();
        const std::size_t row = static_cast<std::size_t>(y / faketree::kRowHeight);
        if (row >= rows.size()) {
            info->flags = TVHT_NOWHERE;
            return 0;
        }
        HTREEITEM handle = rows[row];
        const Item &item = items.at(handle);
        const int buttonLeft = depthOf(handle) * faketree::kIndent;
        int left = buttonLeft + faketree::kIndent;
        if (x < buttonLeft) {
            info->flags = TVHT_ONITEMINDENT;
        } else if (x < left) {
            info->flags = item.children.empty() ? TVHT_ONITEMINDENT : TVHT_ONITEMBUTTON;
        } else {
            info->flags = TVHT_ONITEMRIGHT;
            if (stateList != nullptr && (item.state & TVIS_STATEIMAGEMASK) != 0) {
                if (x < left + faketree::kImageWidth) info->flags = TVHT_ONITEMSTATEICON;
                left += faketree::kImageWidth;
            }
            if (info->flags == TVHT_ONITEMRIGHT && normalList != nullptr) {
                if (x < left + faketree::kImageWidth) info->flags = TVHT_ONITEMICON;
                left += faketree::kImageWidth;
            }
            if (info->flags == TVHT_ONITEMRIGHT && x < left + labelWidth(handle)) info->flags = TVHT_ONITEMLABEL;
        }
        info->hItem = handle;
        return reinterpret_cast<LRESULT>(handle);
    }

    LRESULT dragImage(HTREEITEM handle) {
        if (require(TVM_CREATEDRAGIMAGE, handle) == nullptr) return 0;
        if (normalList == nullptr) return 0;
        return reinterpret_cast<LRESULT>(fakeimg::createDragImage());
    }

    LRESULT getItem(TVITEMW *tvi) {
        Item *item = require(TVM_GETITEMW, tvi->hItem);
        if (item == nullptr) return FALSE;
        if ((tvi->mask & TVIF_TEXT) != 0 && tvi->pszText != nullptr && tvi->cchTextMax > 0) {
            const std::size_t room = static_cast<std::size_t>(tvi->cchTextMax) - 1;
            const std::size_t length = std::min(room, item->text.size());
            std::copy(item->text.begin(), item->text.begin() + static_cast<std::ptrdiff_t>(length), tvi->pszText);
            tvi->pszText[length] = 0;
        }
        if ((tvi->mask & TVIF_IMAGE) != 0) tvi->iImage = item->image;
        if ((tvi->mask & TVIF_SELECTEDIMAGE) != 0) tvi->iSelectedImage = item->selectedImage;
        if ((tvi->mask & TVIF_PARAM) != 0) tvi->lParam = item->lParam;
        // The whole state comes back, whatever stateMask says.
        if ((tvi->mask & TVIF_STATE) != 0) tvi->state = item->state;
        if ((tvi->mask & TVIF_CHILDREN) != 0) tvi->cChildren = item->children.empty() ? 0 : 1;
        return TRUE;
    }

    LRESULT setItem(const TVITEMW *tvi) {
        decode(*tvi);
        Item *item = require(TVM_SETITEMW, tvi->hItem);
        if (item == nullptr) return FALSE;
        apply(*item, *tvi);
        return TRUE;
    }
};

struct Registry {
    std::mutex mutex;
    std::map<HWND, std::unique_ptr<TreeControl>> trees;
    int messagesWithoutTree = 0;
    std::uintptr_t nextWindow = 0;
};

Registry &registry() {
    static Registry r;
    return r;
}

TreeControl *treeOf(HWND dialog) {
    auto found = registry().trees.find(dialog);
    return found == registry().trees.end() ? nullptr : found->second.get();
}

}  // namespace

namespace {

LRESULT deliverTreeMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    TreeControl *tree = treeOf(dialog);
    if (tree == nullptr) {
        // SendDlgItemMessageW finds no control and answers 0.
        ++registry().messagesWithoutTree;
        return 0;
    }
    return tree->handle(message, wParam, lParam);
}

// Set only while no other thread runs (a test's set-up and tear-down).
faketree::SendRouter g_sendRouter;

}  // namespace

LRESULT sendTreeMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_sendRouter) {
        return g_sendRouter(dialog, [=]() { return deliverTreeMessage(dialog, message, wParam, lParam); });
    }
    return deliverTreeMessage(dialog, message, wParam, lParam);
}

namespace faketree {

void setSendRouter(SendRouter router) { g_sendRouter = std::move(router); }

void createTree(HWND dialog) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    TreeControl *tree = new TreeControl();
    // Control handles of their own, apart from the dialogs' and the fake
    // desktop's windows.
    tree->window = reinterpret_cast<HWND>(0x7E000000 + 4 * ++registry().nextWindow);
    registry().trees[dialog].reset(tree);
}

HWND treeWindow(HWND dialog) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    TreeControl *tree = treeOf(dialog);
    return tree == nullptr ? nullptr : tree->window;
}

void setPlacement(HWND dialog, int x, int y) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    TreeControl *tree = treeOf(dialog);
    if (tree != nullptr) tree->placement = POINT{x, y};
}

void destroyTree(HWND dialog) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    registry().trees.erase(dialog);
}

void reset() {
    std::lock_guard<std::mutex> lock(registry().mutex);
    registry().trees.clear();
    registry().messagesWithoutTree = 0;
    registry().nextWindow = 0;
}

bool hasTree(HWND dialog) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    return treeOf(dialog) != nullptr;
}

bool isItem(HWND dialog, HTREEITEM item) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    TreeControl *tree = treeOf(dialog);
    return tree != nullptr && tree->find(item) != nullptr;
}

ItemView item(HWND dialog, HTREEITEM handle) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    ItemView view;
    TreeControl *tree = treeOf(dialog);
    if (tree == nullptr) return view;
    TreeControl::Item *item = tree->find(handle);
    if (item == nullptr) return view;
    view.handle = handle;
    view.parent = item->parent;
    view.text = item->text;
    view.image = item->image;
    view.selectedImage = item->selectedImage;
    view.state = item->state;
    view.lParam = item->lParam;
    view.children = item->children;
    return view;
}

std::vector<HTREEITEM> children(HWND dialog, HTREEITEM parent) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    TreeControl *tree = treeOf(dialog);
    if (tree == nullptr) return {};
    if (parent == nullptr) return tree->top;
    TreeControl::Item *item = tree->find(parent);
    return item == nullptr ? std::vector<HTREEITEM>() : item->children;
}

std::vector<HTREEITEM> allItems(HWND dialog) {
    std::vector<HTREEITEM> out;
    std::vector<HTREEITEM> pending = children(dialog, nullptr);
    std::reverse(pending.begin(), pending.end());
    while (!pending.empty()) {
        HTREEITEM h = pending.back();
        pending.pop_back();
        out.push_back(h);
        std::vector<HTREEITEM> below = children(dialog, h);
        pending.insert(pending.end(), below.rbegin(), below.rend());
    }
    return out;
}

int itemCount(HWND dialog) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    TreeControl *tree = treeOf(dialog);
    return tree == nullptr ? 0 : static_cast<int>(tree->items.size());
}

int stateImage(HWND dialog, HTREEITEM handle) {
    return static_cast<int>((item(dialog, handle).state & TVIS_STATEIMAGEMASK) >> 12);
}

bool isExpanded(HWND dialog, HTREEITEM handle) { return (item(dialog, handle).state & TVIS_EXPANDED) != 0; }

HTREEITEM caret(HWND dialog) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    TreeControl *tree = treeOf(dialog);
    return tree == nullptr ? nullptr : tree->caret;
}

HTREEITEM dropHighlight(HWND dialog) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    TreeControl *tree = treeOf(dialog);
    return tree == nullptr ? nullptr : tree->drop;
}

HIMAGELIST imageList(HWND dialog, int which) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    TreeControl *tree = treeOf(dialog);
    if (tree == nullptr) return nullptr;
    if (which == TVSIL_NORMAL) return tree->normalList;
    if (which == TVSIL_STATE) return tree->stateList;
    return nullptr;
}

COLORREF backgroundColour(HWND dialog) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    TreeControl *tree = treeOf(dialog);
    return tree == nullptr ? kDefaultColour : tree->background;
}

bool redrawOn(HWND dialog) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    TreeControl *tree = treeOf(dialog);
    return tree == nullptr || tree->redraw;
}

std::string dump(HWND dialog) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    TreeControl *tree = treeOf(dialog);
    if (tree == nullptr) return "(no tree control)\n";
    std::string out;
    tree->dumpInto(tree->top, 0, out);
    return out.empty() ? "(empty tree)\n" : out;
}

int invalidHandleUses(HWND dialog) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    TreeControl *tree = treeOf(dialog);
    return tree == nullptr ? 0 : static_cast<int>(tree->invalidReports.size());
}

std::vector<std::string> invalidHandleReports(HWND dialog) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    TreeControl *tree = treeOf(dialog);
    return tree == nullptr ? std::vector<std::string>() : tree->invalidReports;
}

void clearInvalidHandleUses(HWND dialog) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    TreeControl *tree = treeOf(dialog);
    if (tree != nullptr) tree->invalidReports.clear();
}

int messagesWithoutTree() {
    std::lock_guard<std::mutex> lock(registry().mutex);
    return registry().messagesWithoutTree;
}

std::vector<Message> messages(HWND dialog) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    TreeControl *tree = treeOf(dialog);
    return tree == nullptr ? std::vector<Message>() : tree->log;
}

void clearMessages(HWND dialog) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    TreeControl *tree = treeOf(dialog);
    if (tree != nullptr) tree->log.clear();
}

void setInsertFailures(HWND dialog, int count, int after) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    TreeControl *tree = treeOf(dialog);
    if (tree == nullptr) return;
    tree->insertFailures = count;
    tree->insertsBeforeFailures = after;
}

}  // namespace faketree

namespace desk {

// Each dialog's client area lies at the screen's origin and its tree where
// faketree::setPlacement put it; other windows are unknown here.
int mapWindowPoints(HWND from, HWND to, POINT *points, UINT count) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    bool known = true;
    const auto origin = [&known](HWND window) {
        if (window == nullptr || treeOf(window) != nullptr) return POINT{0, 0};
        for (const auto &entry : registry().trees)
            if (entry.second->window == window) return entry.second->placement;
        known = false;
        return POINT{0, 0};
    };
    const POINT source = origin(from);
    const POINT destination = origin(to);
    if (!known) {
        setLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    const LONG dx = source.x - destination.x;
    const LONG dy = source.y - destination.y;
    for (UINT i = 0; points != nullptr && i < count; ++i) {
        points[i].x += dx;
        points[i].y += dy;
    }
    return static_cast<int>((static_cast<DWORD>(static_cast<WORD>(dy)) << 16) | static_cast<WORD>(dx));
}

}  // namespace desk
