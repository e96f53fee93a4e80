// Filling the switcher's tree in three steps, so that the many tree and
// image-list calls run on the switcher thread, which owns the control: a
// message sent there from the main thread costs a thread switch for each
// item, one made on the control's own thread is a plain call.
//
//   1. buildPopulationPlan (main thread) copies from the model everything
//      the tree will show, in insertion order.
//   2. applyPopulationPlan (switcher thread) builds both image lists and
//      inserts the items from the plan alone. It never reads a record: the
//      record pointers in the plan are only carried back.
//   3. adoptPopulation (main thread) checks that the model still shows what
//      the plan copied and stores each record's item handle and image index.
//
// The result is the same tree populateTreeView gives: same pictures in the
// same places, same items, forms, markers and expansion, same log lines.
#pragma once

#include <string>
#include <vector>

#include "platform/win32types.h"

enum class PlanItemKind { Root, Group, Window };

struct PlanItem {
    int parent;  // index in the plan of the parent item, -1 for the root
    PlanItemKind kind;
    std::basic_string<plr_char> text;
    int image;
    UINT state;
    UINT stateMask;
    // PLRGroup * for the root and group items, PLRWindow * for window items.
    // Only the main thread looks through it.
    const void *record;
};

struct PopulationPlan {
    std::vector<PlanItem> items;  // insertion order; items[0] is the root
    std::vector<HICON> icons;     // every window's small icon, in tree order
};

// Main thread: the plan of the whole model (g_rootGroup).
PopulationPlan buildPopulationPlan();

// Main thread: true when a plan built now would equal `plan`.
bool planMatchesModel(const PopulationPlan &plan);

// Switcher thread (any thread: it reads no record): builds and attaches the
// image lists and inserts every item of the plan into the tree of hDlg.
// Returns one handle per plan item, null where the control refused the item
// or where its parent has no item.
std::vector<HTREEITEM> applyPopulationPlan(HWND hDlg, const PopulationPlan &plan);

// Main thread: when the model still matches the plan and there is one handle
// per item, stores each record's hti and each window's imageIndex and
// returns true. Otherwise changes nothing and returns false.
bool adoptPopulation(const PopulationPlan &plan, const std::vector<HTREEITEM> &items);
