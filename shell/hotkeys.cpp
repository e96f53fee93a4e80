#include "shell/hotkeys.h"

#include "editing/groups.h"
#include "log/log.h"
#include "model/discovery.h"
#include "model/globals.h"
#include "model/pruning.h"
#include "model/snapshot.h"
#include "model/threading.h"
#include "platform/desktop.h"
#include "platform/phases.h"
#include "switcher/navigation.h"

bool isHotkeyId(WPARAM id) { return id >= kHotkeyNextWindow && id <= kHotkeyCancelShift; }

bool isCancelHotkey(UINT id) { return id == kHotkeyCancel || id == kHotkeyCancelShift; }

namespace {

// The window that was active when the switch opened becomes the first window
// of its group and the selected window. It is found by its handle, so that
// of two windows with one caption the one in front is taken. Only a window
// that no record holds (one the switcher does not list, such as an owned
// dialog in front of its application) is looked up by its caption: the
// first record in tree order with that caption.
bool selectForegroundWindowRecord() {
    const HWND foreground = desk::getForegroundWindow();
    if (foreground == nullptr) return true;

    PLRWindow *record = g_rootGroup.findWindowByHwnd(foreground);
    PLRGroup *group = record != nullptr ? g_rootGroup.findGroupByHwnd(foreground) : nullptr;
    if (record == nullptr) {
        plr_char caption[PLRWindow::kCaptionUnits] = {};
        // A foreground window that closed meanwhile reads as an empty
        // caption, which would pick whichever record has none.
        if (desk::internalGetWindowText(foreground, caption, PLRWindow::kCaptionUnits) == 0 &&
            !desk::isWindow(foreground))
            return true;
        group = g_rootGroup.findGroupByCaption(caption);
        record = g_rootGroup.findWindowByCaption(caption);
    }
    if (group == nullptr || record == nullptr) return true;

    auto entry = group->windows.begin();
    while (entry != group->windows.end() && *entry != record) ++entry;
    if (entry == group->windows.end()) {
        logMessage(PLR_T("MainWndProc: Could not find active window in its group.  Not setting first window."));
        return true;
    }
    group->windows.erase(entry);
    group->windows.push_front(record);

    if (record->selected) return true;
    if (PLRWindow *previous = g_rootGroup.getSelectedWindow()) previous->select(false);
    record->select(true);

    PLRGroup *selectedGroup = g_rootGroup.getSelectedGroup();
    if (selectedGroup == nullptr) {
        logMessage(PLR_T("MainWndProc: could not find selected group - aborting."));
        return false;
    }
    if (selectedGroup->findWindowByHwnd(record->hwnd) != nullptr) return true;
    PLRGroup *windowGroup = g_rootGroup.getSelectedWindowGroup();
    if (windowGroup == nullptr) {
        logMessage(PLR_T("MainWndProc: could not find selected window's group - aborting."));
        return false;
    }
    windowGroup->select(true);
    return true;
}

void runCommand(UINT id) {
    switch (id) {
    case kHotkeyNextWindow:
        globalSelectNextWindow();
        break;
    case kHotkeyPreviousWindow:
        globalSelectPreviousWindow();
        break;
    case kHotkeyNextGroup:
        globalSelectNextGroup();
        break;
    case kHotkeyPreviousGroup:
        globalSelectPreviousGroup();
        break;
    case kHotkeyCreateGroup:
        createGroup();
        break;
    case kHotkeyGroupFromSelected:
        createGroupFromSelected();
        break;
    case kHotkeyDeleteGroup:
        deleteGroup();
        break;
    case kHotkeyCancel:
    case kHotkeyCancelShift:
        // The tree and the group counter go back to the opening of the
        // switch; the snapshot stays for a later cancel.
        restoreSnapshot();
        break;
    default:
        break;
    }
}

}  // namespace

bool runOpeningSteps(bool refresh) {
    PLR_ASSERT_MODEL_THREAD();
    const bool passComplete = discoveryPass(refresh);
    notePhase(PlrPhase::Discovered);
    pruneInactiveWindows(passComplete);
    const bool selected = selectForegroundWindowRecord();
    notePhase(PlrPhase::Pruned);
    return selected;
}

bool runHotkeyPress(UINT id, bool opening, void (*releaseSwitcher)(UINT id)) {
    PLR_ASSERT_MODEL_THREAD();
    if (!isHotkeyId(id)) return true;
    // The refresh of captions and icons is part of the opening's pass. Later
    // presses leave the records as they are: the open tree does not follow
    // them, and what a switch shows is read when it opens.
    if (opening && !runOpeningSteps(!isCancelHotkey(id))) return false;
    notePhase(PlrPhase::Refreshed);
    takeSnapshot();
    if (opening && releaseSwitcher != nullptr) releaseSwitcher(id);
    runCommand(id);
    notePhase(PlrPhase::CommandDone);
    return true;
}
