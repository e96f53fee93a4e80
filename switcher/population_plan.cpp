#include "switcher/population_plan.h"

#include <cstddef>
#include <unordered_map>
#include <utility>

#include "log/log.h"
#include "model/globals.h"
#include "model/threading.h"
#include "platform/desktop.h"
#include "platform/handles.h"
#include "platform/phases.h"
#include "switcher/population.h"

namespace {

// Many windows of one program share one small icon. Its bitmaps are made
// once per population and added again for each of them; the bound keeps the
// GDI objects held at once small.
const std::size_t kMaxCachedIcons = 64;

struct CachedIcon {
    HICON icon;
    UniqueBitmap colour;
    UniqueBitmap mask;
};

void addGroupToPlan(PopulationPlan &plan, const PLRGroup *group, int parent) {
    for (PLRWindow *window : group->windows) {
        const int image = static_cast<int>(plan.icons.size()) + 1;
        plan.items.push_back(PlanItem{parent, PlanItemKind::Window, window->caption, image, windowItemState(window),
                                      WINDOW_ITEM_STATE_MASK, window});
        plan.icons.push_back(window->hIconSmall);
    }
    for (PLRGroup *subgroup : group->subgroups) {
        const int index = static_cast<int>(plan.items.size());
        plan.items.push_back(PlanItem{parent, PlanItemKind::Group, subgroup->name, GROUP_IMAGE_INDEX,
                                      groupItemState(subgroup), GROUP_ITEM_STATE_MASK, subgroup});
        addGroupToPlan(plan, subgroup, index);
    }
}

bool sameItem(const PlanItem &a, const PlanItem &b) {
    return a.parent == b.parent && a.kind == b.kind && a.text == b.text && a.image == b.image &&
           a.state == b.state && a.stateMask == b.stateMask && a.record == b.record;
}

const CachedIcon *findCached(const std::vector<CachedIcon> &cache, HICON icon) {
    for (const CachedIcon &entry : cache)
        if (entry.icon == icon) return &entry;
    return nullptr;
}

// The system's application icon, put at the first place that needs it and
// copied from there to every later one of the same population.
class StandInImage {
public:
    // Puts the stand-in at `index`, which the list already has.
    void put(HIMAGELIST imageList, int index) {
        if (placedAt_ >= 0 && desk::imageListCopyWithin(imageList, index, placedAt_)) return;
        UniqueBitmap colour;
        UniqueBitmap mask;
        bool placed = false;
        if (getIconBitmaps(desk::loadApplicationIcon(), &colour, &mask))
            placed = desk::imageListReplace(imageList, index, colour.get(), mask.get()) != FALSE;
        if (placed)
            placedAt_ = index;
        else
            logMessage(PLR_T("Couldn't add stand-in image to image list."));
    }

private:
    int placedAt_ = -1;
};

// Same pictures, same log lines and same stand-ins as
// AddGroupIconsToImageList, appending one image after the other: the way
// for a list that cannot be grown in one step.
void appendIcons(HIMAGELIST imageList, const std::vector<HICON> &icons) {
    std::vector<CachedIcon> cache;
    for (HICON icon : icons) {
        if (const CachedIcon *known = findCached(cache, icon)) {
            addIconBitmaps(imageList, known->colour.get(), known->mask.get());
            continue;
        }
        // The list copies the pictures; the bitmaps are ours.
        UniqueBitmap colourBitmap;
        UniqueBitmap maskBitmap;
        if (!getIconBitmaps(icon, &colourBitmap, &maskBitmap)) {
            addStandInImage(imageList);
            continue;
        }
        addIconBitmaps(imageList, colourBitmap.get(), maskBitmap.get());
        if (cache.size() < kMaxCachedIcons)
            cache.push_back(CachedIcon{icon, std::move(colourBitmap), std::move(maskBitmap)});
    }
}

// The same pictures and log lines as appendIcons, but the list is grown to
// its full size first and each place is then filled: replacing an image in
// place costs a fraction of appending one, and a window whose icon was
// already placed gets a copy of that place, which costs next to nothing
// (under Wine, 100 windows: appending 45-110 ms, replacing 25-75 ms, copying
// 0.2 ms). The window icons are most of the time spent opening a switch. A
// place that cannot be filled gets the stand-in; one that cannot even take
// that stays blank rather than moving every later picture up by one.
void addIcons(HIMAGELIST imageList, const std::vector<HICON> &icons) {
    const int first = desk::imageListGetImageCount(imageList);
    if (imageList == nullptr || first < 0 ||
        !desk::imageListSetImageCount(imageList, static_cast<UINT>(first) + static_cast<UINT>(icons.size()))) {
        appendIcons(imageList, icons);
        return;
    }
    // Where each icon went; an icon that could not be placed is not listed,
    // so each window with it tries and reports on its own.
    std::unordered_map<HICON, int> placedAt;
    StandInImage standIn;
    for (std::size_t i = 0; i < icons.size(); ++i) {
        const int index = first + static_cast<int>(i);
        const HICON icon = icons[i];
        const auto placed = placedAt.find(icon);
        if (placed != placedAt.end() && desk::imageListCopyWithin(imageList, index, placed->second)) continue;
        // The list copies the pictures; the bitmaps are ours. They have the
        // list's size: ImageList_Replace would stretch a larger picture under
        // Wine, but the population does not rely on what it does elsewhere.
        UniqueBitmap colourBitmap;
        UniqueBitmap maskBitmap;
        if (!getIconBitmaps(icon, &colourBitmap, &maskBitmap)) {
            standIn.put(imageList, index);
            continue;
        }
        if (desk::imageListReplace(imageList, index, colourBitmap.get(), maskBitmap.get())) {
            placedAt[icon] = index;
        } else {
            logMessage(PLR_T("Couldn't add image to image list."));
            standIn.put(imageList, index);
        }
    }
}

}  // namespace

PopulationPlan buildPopulationPlan() {
    PLR_ASSERT_MODEL_THREAD();
    PopulationPlan plan;
    plan.items.reserve(64);
    plan.items.push_back(PlanItem{-1, PlanItemKind::Root, PLR_T("Root Group"), GROUP_IMAGE_INDEX,
                                  groupItemState(&g_rootGroup), GROUP_ITEM_STATE_MASK, &g_rootGroup});
    addGroupToPlan(plan, &g_rootGroup, 0);
    return plan;
}

bool planMatchesModel(const PopulationPlan &plan) {
    PLR_ASSERT_MODEL_THREAD();
    const PopulationPlan now = buildPopulationPlan();
    if (now.items.size() != plan.items.size() || now.icons != plan.icons) return false;
    for (std::size_t i = 0; i < now.items.size(); ++i) {
        if (!sameItem(now.items[i], plan.items[i])) return false;
    }
    return true;
}

std::vector<HTREEITEM> applyPopulationPlan(HWND hDlg, const PopulationPlan &plan) {
    UniqueImageList normal = createNormalImageList(static_cast<int>(plan.icons.size()));
    addIcons(normal.get(), plan.icons);
    attachImageList(hDlg, TVSIL_NORMAL, std::move(normal));
    attachStateImageList(hDlg);
    notePhase(PlrPhase::ImagesReady);

    // The dialog has not been shown yet: the control need not lay itself out
    // again after every item, only once at the end (under Wine 100 items
    // take a third of the time this way).
    sendTreeMessage(hDlg, WM_SETREDRAW, FALSE, 0);
    std::vector<HTREEITEM> handles(plan.items.size(), nullptr);
    for (std::size_t i = 0; i < plan.items.size(); ++i) {
        const PlanItem &item = plan.items[i];
        HTREEITEM parent = nullptr;
        HTREEITEM after = TVI_ROOT;
        if (item.kind != PlanItemKind::Root) {
            // A parent without an item leaves its whole subtree without
            // items, as populateTreeView does; nothing goes to the top level.
            if (item.parent < 0 || static_cast<std::size_t>(item.parent) >= i) continue;
            parent = handles[static_cast<std::size_t>(item.parent)];
            if (parent == nullptr) continue;
            after = TVI_LAST;
        }
        // The control copies the text; the copy here only drops the const.
        std::basic_string<plr_char> text = item.text;
        handles[i] = insertTreeItem(hDlg, parent, after, &text[0], item.image, item.state, item.stateMask);
    }
    sendTreeMessage(hDlg, WM_SETREDRAW, TRUE, 0);
    return handles;
}

bool adoptPopulation(const PopulationPlan &plan, const std::vector<HTREEITEM> &items) {
    PLR_ASSERT_MODEL_THREAD();
    if (items.size() != plan.items.size() || !planMatchesModel(plan)) return false;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const PlanItem &item = plan.items[i];
        if (item.kind == PlanItemKind::Window) {
            // The plan matched the model just now, so the record is alive.
            PLRWindow *window = static_cast<PLRWindow *>(const_cast<void *>(item.record));
            window->hti = items[i];
            window->imageIndex = item.image;
        } else {
            static_cast<PLRGroup *>(const_cast<void *>(item.record))->hti = items[i];
        }
    }
    return true;
}
