#include "switcher/population.h"

#include "log/log.h"
#include "model/globals.h"
#include "model/threading.h"
#include "platform/desktop.h"
#include "platform/handles.h"

namespace {

const int kImageSize = 16;
const UINT kImageListFlags = ILC_COLOR16 | ILC_MASK;
const COLORREF kWhite = 0x00FFFFFF;

}  // namespace

HTREEITEM insertTreeItem(HWND hDlg, HTREEITEM parent, HTREEITEM insertAfter, plr_char *text, int image, UINT state,
                         UINT stateMask) {
    TVINSERTSTRUCTW insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = insertAfter;
    insert.item.mask = TREE_ITEM_MASK;
    insert.item.pszText = text;
    insert.item.iImage = image;
    insert.item.iSelectedImage = image;
    insert.item.state = state;
    insert.item.stateMask = stateMask;
    return reinterpret_cast<HTREEITEM>(sendTreeMessage(hDlg, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

namespace {

// Whether GetIconInfo's bitmaps are one place of the list. A monochrome icon
// has no colour bitmap; its mask holds two masks, one above the other.
bool fitsOnePlace(HBITMAP colour, HBITMAP mask) {
    int width = 0;
    int height = 0;
    if (colour != nullptr)
        return desk::getBitmapSize(colour, &width, &height) && width == kImageSize && height == kImageSize;
    return desk::getBitmapSize(mask, &width, &height) && width == kImageSize && height == 2 * kImageSize;
}

}  // namespace

bool getIconBitmaps(HICON icon, UniqueBitmap *colour, UniqueBitmap *mask) {
    HBITMAP colourBitmap = nullptr;
    HBITMAP maskBitmap = nullptr;
    if (!desk::getIconInfo(icon, &colourBitmap, &maskBitmap)) {
        logLastError(PLR_T("GetIconInfo"), PLR_T("AddGroupIconsToImageList"));
        return false;
    }
    colour->reset(colourBitmap);
    mask->reset(maskBitmap);
    if (fitsOnePlace(colour->get(), mask->get())) return true;

    // Not every small icon is small: the system's application icon, which
    // stands in for a window that does not answer, and the only icon of a
    // window that has no small one are 32 pixels. The list would cut such a
    // bitmap into one image per 16 pixels of its width and move every later
    // picture; the picture is drawn at the list's size instead.
    colour->reset();
    mask->reset();
    UniqueIcon fitted(desk::copyIcon(icon, kImageSize, kImageSize));
    if (!fitted) {
        logLastError(PLR_T("CopyImage"), PLR_T("AddGroupIconsToImageList"));
        return false;
    }
    if (!desk::getIconInfo(fitted.get(), &colourBitmap, &maskBitmap)) {
        logLastError(PLR_T("GetIconInfo"), PLR_T("AddGroupIconsToImageList"));
        return false;
    }
    colour->reset(colourBitmap);
    mask->reset(maskBitmap);
    return true;
}

// Adds the system's generic application icon in place of a picture that
// could not be added, so that the images after it keep their places: the
// items address images by position. Returns the index, or -1.
int addStandInImage(HIMAGELIST imageList) {
    if (imageList == nullptr) return -1;
    UniqueBitmap colour;
    UniqueBitmap mask;
    int index = -1;
    if (getIconBitmaps(desk::loadApplicationIcon(), &colour, &mask))
        index = desk::imageListAdd(imageList, colour.get(), mask.get());
    if (index == -1) logMessage(PLR_T("Couldn't add stand-in image to image list."));
    return index;
}

namespace {

// Loads a bitmap resource and adds it; a picture that cannot be had is
// replaced by a stand-in so that the next picture keeps its index.
void addBitmapResource(HIMAGELIST imageList, int resourceId, bool masked) {
    UniqueBitmap bitmap(desk::loadBitmap(resourceId));
    if (!bitmap) logMessage(PLR_T("LoadBitmap failed."));
    const int index = masked ? desk::imageListAddMasked(imageList, bitmap.get(), kWhite)
                             : desk::imageListAdd(imageList, bitmap.get(), nullptr);
    if (index == -1) {
        logMessage(PLR_T("ImageList_Add failed."));
        addStandInImage(imageList);
    }
}

}  // namespace

void addIconBitmaps(HIMAGELIST imageList, HBITMAP colour, HBITMAP mask) {
    if (desk::imageListAdd(imageList, colour, mask) == -1) {
        logMessage(PLR_T("Couldn't add image to image list."));
        addStandInImage(imageList);
    }
}

// Hands the list to the tree. The tree keeps it until releaseTreeImageLists
// takes it back; a list it held before (a second population of the same
// dialog) is ours and is destroyed here.
void attachImageList(HWND hDlg, WPARAM which, UniqueImageList list) {
    UniqueImageList previous(reinterpret_cast<HIMAGELIST>(
        sendTreeMessage(hDlg, TVM_SETIMAGELIST, which, reinterpret_cast<LPARAM>(list.get()))));
    list.release();
}

UINT groupItemState(const PLRGroup *group) {
    UINT state = 0;
    if (group->selected) state |= INDEXTOSTATEIMAGEMASK(STATE_IMAGE_SELECTED_GROUP);
    if (group->expanded) state |= TVIS_EXPANDED;
    return state;
}

UINT windowItemState(const PLRWindow *window) {
    return window->selected ? INDEXTOSTATEIMAGEMASK(STATE_IMAGE_SELECTED_WINDOW) : 0;
}

HTREEITEM insertWindowItem(HWND hDlg, PLRWindow *window, HTREEITEM parent, HTREEITEM insertAfter) {
    return insertTreeItem(hDlg, parent, insertAfter, window->caption, window->imageIndex, windowItemState(window),
                          WINDOW_ITEM_STATE_MASK);
}

HTREEITEM insertGroupItem(HWND hDlg, PLRGroup *group, HTREEITEM parent, HTREEITEM insertAfter) {
    return insertTreeItem(hDlg, parent, insertAfter, group->name, GROUP_IMAGE_INDEX, groupItemState(group),
                          GROUP_ITEM_STATE_MASK);
}

void AddGroupIconsToImageList(PLRGroup *group, HIMAGELIST imageList) {
    for (PLRWindow *window : group->windows) {
        // The list copies the pictures; the bitmaps are ours.
        UniqueBitmap colour;
        UniqueBitmap mask;
        if (!getIconBitmaps(window->hIconSmall, &colour, &mask)) {
            addStandInImage(imageList);
            continue;
        }
        addIconBitmaps(imageList, colour.get(), mask.get());
    }
    for (PLRGroup *subgroup : group->subgroups) AddGroupIconsToImageList(subgroup, imageList);
}

void insertGroupItems(HWND hDlg, PLRGroup *group, HTREEITEM parent, int *nextImageIndex) {
    // A null parent means the group's own item could not be inserted. Its
    // records then get no item rather than one at the top level of the
    // tree; they still take their image indices, which follow the icons.
    for (PLRWindow *window : group->windows) {
        // Each insert is a send to the dialog's thread, answered at once.
        plrTakeSentMessagesNowAndThen();
        window->imageIndex = *nextImageIndex;
        window->hti = parent != nullptr ? insertWindowItem(hDlg, window, parent, TVI_LAST) : nullptr;
        ++*nextImageIndex;
    }
    for (PLRGroup *subgroup : group->subgroups) {
        subgroup->hti = parent != nullptr ? insertGroupItem(hDlg, subgroup, parent, TVI_LAST) : nullptr;
        insertGroupItems(hDlg, subgroup, subgroup->hti, nextImageIndex);
    }
}

UniqueImageList createNormalImageList(int windowCount) {
    UniqueImageList normal(desk::imageListCreate(kImageSize, kImageSize, kImageListFlags, windowCount + 1, 0));
    if (!normal) logMessage(PLR_T("ImageList_Create failed."));
    addBitmapResource(normal.get(), IDB_GROUP, false);
    return normal;
}

void attachStateImageList(HWND hDlg) {
    if (sendTreeMessage(hDlg, TVM_GETIMAGELIST, TVSIL_STATE, 0) != 0) return;
    UniqueImageList state(desk::imageListCreate(kImageSize, kImageSize, kImageListFlags, 2, 0));
    if (!state) logMessage(PLR_T("ImageList_Create failed."));
    // Index 0 only fills the place: the tree reads state image 0 as none.
    // ImageList_AddMasked blackens the mask-colour pixels of the bitmap it is
    // given, so a bitmap added masked twice would show the arrow on a black
    // square; each add takes a freshly loaded copy.
    addBitmapResource(state.get(), IDB_ARROW, true);
    addBitmapResource(state.get(), IDB_ARROW, true);
    addBitmapResource(state.get(), IDB_STAR, true);
    attachImageList(hDlg, TVSIL_STATE, std::move(state));
}

void populateTreeView(HWND hDlg) {
    PLR_ASSERT_MODEL_THREAD();

    // The root keeps its item handle from the previous dialog until its new
    // item exists; until then nothing may address the old handle.
    g_rootGroup.hti = nullptr;

    UniqueImageList normal = createNormalImageList(g_rootGroup.countWindows());
    AddGroupIconsToImageList(&g_rootGroup, normal.get());
    attachImageList(hDlg, TVSIL_NORMAL, std::move(normal));
    attachStateImageList(hDlg);

    plr_char rootText[] = PLR_T("Root Group");
    g_rootGroup.hti = insertTreeItem(hDlg, nullptr, TVI_ROOT, rootText, GROUP_IMAGE_INDEX,
                                     groupItemState(&g_rootGroup), GROUP_ITEM_STATE_MASK);

    int nextImageIndex = 1;
    insertGroupItems(hDlg, &g_rootGroup, g_rootGroup.hti, &nextImageIndex);
}

void releaseTreeImageLists(HWND hDlg) {
    UniqueImageList normal(
        reinterpret_cast<HIMAGELIST>(sendTreeMessage(hDlg, TVM_SETIMAGELIST, TVSIL_NORMAL, 0)));
    UniqueImageList state(reinterpret_cast<HIMAGELIST>(sendTreeMessage(hDlg, TVM_SETIMAGELIST, TVSIL_STATE, 0)));
}
