// Window and group records: the tree of groups the user builds.
//
// g_rootGroup owns the whole tree: each group owns its subgroups and its
// window records, and moving a record between groups moves its pointer. A
// record sits in exactly one list at a time. Icon handles belong to the
// windows and are never destroyed here.
//
// Thread: the model is owned by the main thread (see model/threading.h).
#pragma once

#include <list>

#include "platform/win32types.h"

class PLRGroup;

// Number of window records freed so far in this run (main thread).
extern unsigned long g_windowRecordsFreed;

// Result of the recursive navigation steps.
enum NavResult {
    Done = 0,       // the step has selected its target
    PassedEnd = 1,  // the target lies outside this subtree
    NotFound = 2,   // the selection is not in this subtree, or it is empty
};

class PLRWindow {
public:
    static const int kCaptionUnits = 128;

    HWND hwnd;
    HICON hIconBig;
    HICON hIconSmall;
    plr_char caption[kCaptionUnits];
    int selected;
    HTREEITEM hti;
    int imageIndex;

    // Only ever the target of an assignment.
    PLRWindow();
    // Discovery: records hwnd with the caption of hwndRoot (of hwnd when
    // that has none). The icons come later: the pass asks every new window
    // at once (model/icons.h).
    PLRWindow(HWND hwndRoot, HWND hwnd);
    PLRWindow(const PLRWindow &) = delete;
    PLRWindow &operator=(const PLRWindow &other);
    // Counts the records freed (g_windowRecordsFreed), so a lookup index can
    // tell that a record it holds may be gone.
    ~PLRWindow();

    // Sets or clears the selection and the item's arrow (selection.cpp).
    void select(bool selectedState);
};

class PLRGroup {
public:
    static const int kNameUnits = 1024;

    std::list<PLRGroup *> subgroups;
    std::list<PLRWindow *> windows;
    HTREEITEM hti;
    int selected;
    plr_char name[kNameUnits];
    int expanded;

    PLRGroup();
    ~PLRGroup();
    PLRGroup(const PLRGroup &) = delete;
    // Deep copy: frees this group's records, then copies the source's.
    PLRGroup &operator=(const PLRGroup &source);

    // Queries, in tree order; first match wins (queries.cpp).
    PLRWindow *getSelectedWindow();
    PLRWindow *findWindowByHwnd(HWND target);
    PLRWindow *findWindowByCaption(const plr_char *text);
    PLRWindow *findWindowByHti(HTREEITEM item);
    PLRGroup *getSelectedGroup();
    PLRGroup *findGroupByHti(HTREEITEM item);
    PLRGroup *getSelectedWindowGroup();
    PLRGroup *findGroupByCaption(const plr_char *text);
    // The group whose own list holds the record of `target`.
    PLRGroup *findGroupByHwnd(HWND target);
    int countWindows();
    void clearHtis();
    bool removeWindow(HWND target);

    // Pruning (pruning.cpp).
    bool deleteInactiveWindow();

    // Selection and expansion (selection.cpp).
    void select(bool selectedState);
    bool expand(PLRWindow *window);
    bool selectWindowByHwnd(HWND target);
    bool deselectSelectedWindow();
    bool deselectSelectedGroup();

    // Keyboard navigation (navigation.cpp).
    NavResult selectNextWindow();
    NavResult selectPreviousWindow();
    bool selectFirstWindow();
    bool selectLastWindow();
    void selectFirstLeafGroup();
    bool selectNextGroup();
    NavResult selectPreviousGroup();

    // Group editing (editing/).
    PLRGroup *findParentGroup(PLRGroup *child);
    bool removeWindowByHti(HTREEITEM item);

    // Closing the applications of a deleted group (shell/closing.cpp).
    void closeApplications();
};
