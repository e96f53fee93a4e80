// Construction, copying and destruction of the window and group records.
//
// Thread: main thread (the model's owner), except the construction of
// g_rootGroup, which runs during static initialisation.
#include <new>

#include "log/log.h"
#include "model/globals.h"
#include "model/records.h"
#include "platform/desktop.h"
#include "platform/text.h"

PLRWindow::PLRWindow()
    : hwnd(nullptr), hIconBig(nullptr), hIconSmall(nullptr), caption(), selected(0), hti(nullptr), imageIndex(-1) {}

PLRWindow::PLRWindow(HWND hwndRoot, HWND hwndWindow)
    : hwnd(hwndWindow), hIconBig(nullptr), hIconSmall(nullptr), caption(), selected(0), hti(nullptr), imageIndex(-1) {
    // InternalGetWindowText never sends a message, so a hung window cannot
    // block discovery here. A root without a title lends nothing: fall back
    // to the window's own.
    if (desk::internalGetWindowText(hwndRoot, caption, kCaptionUnits) == 0) {
        caption[0] = 0;
        if (desk::internalGetWindowText(hwnd, caption, kCaptionUnits) == 0) caption[0] = 0;
    }
    caption[kCaptionUnits - 1] = 0;
}

unsigned long g_windowRecordsFreed = 0;

PLRWindow::~PLRWindow() { ++g_windowRecordsFreed; }

PLRWindow &PLRWindow::operator=(const PLRWindow &other) {
    if (this == &other) return *this;
    hwnd = other.hwnd;
    hIconBig = other.hIconBig;
    hIconSmall = other.hIconSmall;
    for (int i = 0; i < kCaptionUnits; ++i) caption[i] = other.caption[i];
    selected = other.selected;
    hti = other.hti;
    imageIndex = other.imageIndex;
    return *this;
}

PLRGroup::PLRGroup() : subgroups(), windows(), hti(nullptr), selected(0), name(), expanded(1) {
    if (g_numberNewGroups != 0) {
        plrFormat(name, kNameUnits, PLR_T("Group %d"), g_groupCounter);
        ++g_groupCounter;
    }
}

PLRGroup::~PLRGroup() {
    for (PLRGroup *group : subgroups) delete group;
    for (PLRWindow *window : windows) delete window;
    subgroups.clear();
    windows.clear();
}

namespace {

// True when `candidate` is `root` or lies anywhere below it.
bool isInSubtree(const PLRGroup *root, const PLRGroup *candidate) {
    if (root == candidate) return true;
    for (const PLRGroup *group : root->subgroups)
        if (isInSubtree(group, candidate)) return true;
    return false;
}

// The deep copy proper, for two groups of which neither contains the other.
// Groups created here are numbered while g_numberNewGroups is set, and then
// take the source's name.
void copyGroup(PLRGroup &target, const PLRGroup &source) {
    for (PLRWindow *window : target.windows) delete window;
    target.windows.clear();
    for (PLRGroup *group : target.subgroups) delete group;
    target.subgroups.clear();

    for (const PLRWindow *sourceWindow : source.windows) {
        PLRWindow *window = new (std::nothrow) PLRWindow();
        if (window == nullptr) {
            logMessage(PLR_T("PLRGroup::operator=: out of memory."));
            continue;
        }
        *window = *sourceWindow;
        target.windows.push_back(window);
    }
    for (const PLRGroup *sourceGroup : source.subgroups) {
        PLRGroup *group = new (std::nothrow) PLRGroup();
        if (group == nullptr) {
            logMessage(PLR_T("PLRGroup::operator=: out of memory."));
            continue;
        }
        copyGroup(*group, *sourceGroup);
        target.subgroups.push_back(group);
    }

    target.hti = source.hti;
    target.selected = source.selected;
    target.expanded = source.expanded;
    if (plrCopy(target.name, PLRGroup::kNameUnits, source.name) != PLR_TEXT_OK)
        logMessage(PLR_T("PLRGroup::operator=: wcscpy_s failed."));
}

}  // namespace

PLRGroup &PLRGroup::operator=(const PLRGroup &source) {
    if (this == &source) return *this;

    // When one group lies inside the other, freeing this group's records
    // first would free the source, or the copy would walk the very list it
    // fills. Copy through an unnumbered temporary then, so the result and the
    // numbering are those of a copy from a separate tree.
    if (isInSubtree(this, &source) || isInSubtree(&source, this)) {
        const int savedNumbering = g_numberNewGroups;
        g_numberNewGroups = 0;
        PLRGroup *temporary = new (std::nothrow) PLRGroup();
        if (temporary != nullptr) copyGroup(*temporary, source);
        g_numberNewGroups = savedNumbering;
        if (temporary == nullptr) {
            logMessage(PLR_T("PLRGroup::operator=: out of memory."));
            return *this;
        }
        copyGroup(*this, *temporary);
        delete temporary;
        return *this;
    }

    copyGroup(*this, source);
    return *this;
}
