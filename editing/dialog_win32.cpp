#include "editing/dialog_win32.h"

#include <algorithm>

#include "editing/dragdrop_win32.h"
#include "editing/mouse.h"
#include "platform/phases.h"
#include "shell/globals_win32.h"
#include "shell/lifecycle.h"
#include "shell/mainthread_win32.h"
#include "shell/switch_win32.h"
#include "shell/switchstate_win32.h"
#include "switcher/population.h"
#include "switcher/population_win32.h"

namespace {

LRESULT doubleClickOnMainThread(void *dialog) {
    mouseDoubleClick(static_cast<HWND>(dialog));
    return 0;
}

LRESULT rightClickOnMainThread(void *dialog) {
    mouseRightClick(static_cast<HWND>(dialog));
    return 0;
}

// lParam: the serial number of the switch (TaskSwitchThread's parameter),
// or 0 for a dialog made ahead of its switch.
void onInitDialog(HWND hDlg, LPARAM lParam) {
    unsigned serial = static_cast<unsigned>(lParam);
    // Made ahead: it waits here, hidden, until a switch takes it, and ends
    // unseen when none will (the program ends). Until then it touches
    // nothing the switcher thread of a switch uses.
    if (serial == 0) {
        // Loading the state pictures takes about half a millisecond under
        // Wine 10, two under Wine 8: done here, before the hotkey comes.
        attachStateImageList(hDlg);
        serial = waitForSwitch();
        if (serial != 0) centreInWorkArea(hDlg);
    }
    if (serial == 0) {
        EndDialog(hDlg, 0);
        return;
    }
    notePhase(PlrPhase::DialogInit);
    // A dialog that ended during a drag may have left this thread's drag
    // state behind; a new thread starts clean, but the reset costs nothing.
    dragResetAfterSwitch();
    SendDlgItemMessageW(hDlg, IDC_SWITCHER_TREE, TVM_SETBKCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_BTNFACE)));

    // The tree's focus losses name the switch by this serial.
    SetWindowLongPtrW(hDlg, DWLP_USER, static_cast<LONG_PTR>(serial));

    // The main thread sets g_hwndSwitcherDialog and has the tree filled,
    // sending WM_PLR_POPULATE here while this thread waits. It is asked only
    // once the press that opened the switch has run its passes.
    waitForOpeningPress();
    DialogInitialisation init = {hDlg, serial};
    const bool stay = runOnMainThread(switcherDialogInitialising, &init) != 0;

    g_hwndTreeView = GetDlgItem(hDlg, IDC_SWITCHER_TREE);
    g_oldTreeViewProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(g_hwndTreeView, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TreeViewSubclassProc)));

    // No switch wants this dialog (it ended while it opened, or the program
    // is ending): it ends before it is ever shown.
    if (!stay) EndDialog(hDlg, 0);
}

void onNotify(HWND hDlg, const NMHDR *header) {
    if (header == nullptr) return;
    // Only the code is looked at: the tree view is the only child.
    switch (header->code) {
    case NM_DBLCLK:
        runOnMainThread(doubleClickOnMainThread, hDlg);
        break;
    case NM_RCLICK:
        runOnMainThread(rightClickOnMainThread, hDlg);
        break;
    case TVN_ITEMEXPANDEDW: {
        const NMTREEVIEWW *info = reinterpret_cast<const NMTREEVIEWW *>(header);
        ExpansionRecord record = {hDlg, info->itemNew.hItem, info->action};
        runOnMainThread(expansionHandedOver, &record);
        break;
    }
    case TVN_BEGINDRAGW:
        dragBegin(hDlg, reinterpret_cast<const NMTREEVIEWW *>(header));
        break;
    default:
        break;
    }
}

// A press on the margin around the tree: the system's move loop follows the
// mouse as if the (absent) caption had been grabbed.
void onLButtonDown(HWND hDlg) {
    ReleaseCapture();
    SendMessageW(hDlg, WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

void onEndSwitcher(HWND hDlg) {
    dragResetAfterSwitch();
    EndDialog(hDlg, 0);
}

void onDestroy(HWND hDlg) {
    dragResetAfterSwitch();
    releaseTreeImageLists(hDlg);
    if (g_hwndTreeView != nullptr && g_oldTreeViewProc != nullptr && GetParent(g_hwndTreeView) == hDlg)
        SetWindowLongPtrW(g_hwndTreeView, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_oldTreeViewProc));
}

}  // namespace

void centreInWorkArea(HWND hDlg) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    const HMONITOR monitor = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    RECT box;
    if (monitor == nullptr || !GetMonitorInfoW(monitor, &info) || !GetWindowRect(hDlg, &box)) return;
    const RECT &work = info.rcWork;
    // A dialog larger than the work area keeps its top left corner in it.
    const auto centred = [](LONG start, LONG end, LONG size) { return start + std::max(0L, (end - start - size) / 2); };
    const LONG x = centred(work.left, work.right, box.right - box.left);
    const LONG y = centred(work.top, work.bottom, box.bottom - box.top);
    SetWindowPos(hDlg, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK DialogProc2(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    switch (message) {
    case WM_INITDIALOG:
        onInitDialog(hDlg, lParam);
        break;
    case WM_NOTIFY:
        onNotify(hDlg, reinterpret_cast<const NMHDR *>(lParam));
        break;
    case WM_MOUSEMOVE:
        dragMouseMove(hDlg, lParam);
        break;
    case WM_LBUTTONUP:
        dragButtonUp(hDlg);
        break;
    case WM_LBUTTONDOWN:
        onLButtonDown(hDlg);
        break;
    case WM_PLR_END_SWITCHER:
        onEndSwitcher(hDlg);
        break;
    case WM_PLR_POPULATE:
        handlePopulationRequest(hDlg, lParam);
        break;
    case WM_SHOWWINDOW:
        if (wParam != 0) notePhase(PlrPhase::DialogShown);
        break;
    case WM_DESTROY:
        onDestroy(hDlg);
        break;
    default:
        break;
    }
    return FALSE;
}
