#include "editing/dragtrack.h"

#include "platform/desktop.h"

POINT dragPointInTree(const DragTrack &drag, POINT pointInDialog) {
    POINT point = pointInDialog;
    desk::mapWindowPoints(drag.dialog, drag.tree, &point, 1);
    return point;
}

void dragTrackPointer(DragTrack *drag, POINT pointInTree, DragIsGroupFn isGroup) {
    TVHITTESTINFO hit = {};
    hit.pt = pointInTree;
    // The hit flags are not examined: anywhere on a group's row counts.
    const HTREEITEM item =
        reinterpret_cast<HTREEITEM>(sendTreeMessage(drag->dialog, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (item == nullptr || !isGroup(item)) return;
    // Wine's tree view ignores a drop highlight on its current item and
    // leaves the old one in place, which would show another group as the
    // target: clear it first. The drop uses the tracked target.
    if (reinterpret_cast<HTREEITEM>(sendTreeMessage(drag->dialog, TVM_GETNEXTITEM, TVGN_CARET, 0)) == item)
        sendTreeMessage(drag->dialog, TVM_SELECTITEM, TVGN_DROPHILITE, 0);
    sendTreeMessage(drag->dialog, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(item));
    drag->target = item;
}

void dragTrackRelease(DragTrack *drag, DragDropFn drop) {
    // The main thread refuses handed-over work while a command of its own
    // waits on sent messages. Left on its group, the highlight of a refused
    // drop would be the target of a later drag released over empty space,
    // which falls back to the drop-highlighted item.
    if (!drop(drag->dialog, drag->target)) sendTreeMessage(drag->dialog, TVM_SELECTITEM, TVGN_DROPHILITE, 0);
    drag->target = nullptr;
}
