#include "switcher/population_plan.h"

#include <cstddef>
#include <utility>

#include "log/log.h"
#include "model/globals.h"
#include "model/threading.h"
#include "platform/desktop.h"
#include "platform/handles.h"
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

// Same pictures, same log lines and same stand-ins as
// AddGroupIconsToImageList; an icon met before reuses its bitmaps. A failed
// GetIconInfo is not remembered, so each window with that icon reports it.
void addIcons(HIMAGELIST imageList, const std::vector<HICON> &icons) {
    std::vector<CachedIcon> cache;
    for (HICON icon : icons) {
        const CachedIcon *known = nullptr;
        for (const CachedIcon &entry : cache) {
            if (entry.icon == icon) {
                known = &entry;
                break;
            }
        }
        if (known != nullptr) {
            addIconBitmaps(imageList, known->colour.get(), known->mask.get());
            continue;
        }
        HBITMAP colour = nullptr;
        HBITMAP mask = nullptr;
        if (!desk::getIconInfo(icon, &colour, &mask)) {
            logLastError(PLR_T("GetIconInfo"), PLR_T("AddGroupIconsToImageList"));
            addStandInImage(imageList);
            continue;
        }
        // The list copies the pictures; the bitmaps GetIconInfo made are ours.
        UniqueBitmap colourBitmap(colour);
        UniqueBitmap maskBitmap(mask);
        addIconBitmaps(imageList, colourBitmap.get(), maskBitmap.get());
        if (cache.size() < kMaxCachedIcons)
            cache.push_back(CachedIcon{icon, std::move(colourBitmap), std::move(maskBitmap)});
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
