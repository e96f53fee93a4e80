// Filling the switcher's tree view (control 1001 of the dialog) from the
// model, and the forms of its three kinds of item.
//
// Thread: populateTreeView reads the whole model, so it runs on the main
// thread (the dialog hands it over from WM_INITDIALOG). Its messages reach
// the control on the switcher thread, which keeps handling them while it
// waits for the main thread. releaseTreeImageLists touches no record and
// runs on the switcher thread when the dialog is destroyed.
#pragma once

#include "model/records.h"
#include "platform/handles.h"
#include "platform/win32types.h"
#include "resources/resource.h"

// Image indices of the state image list.
#define STATE_IMAGE_SELECTED_WINDOW 1
#define STATE_IMAGE_SELECTED_GROUP 2

// Image index of every group item (the root item included).
#define GROUP_IMAGE_INDEX 0

// The fields every inserted item sets.
#define TREE_ITEM_MASK (TVIF_TEXT | TVIF_IMAGE | TVIF_STATE | TVIF_SELECTEDIMAGE)
// A group item clears every low state bit except the ones it sets.
#define GROUP_ITEM_STATE_MASK (TVIS_STATEIMAGEMASK | 0x007F)
#define WINDOW_ITEM_STATE_MASK TVIS_STATEIMAGEMASK

// Builds both image lists, attaches them to the tree of hDlg and inserts one
// item for the root, every group and every window. Stores each record's item
// handle in its hti and each window's icon position in its imageIndex.
void populateTreeView(HWND hDlg);

// Appends the small icon of every window of the group's subtree, in tree
// order: exactly one image per window, a stand-in image when the window's
// own icon cannot be added, so each window's index is its tree-order place.
void AddGroupIconsToImageList(PLRGroup *group, HIMAGELIST imageList);

// Inserts under `parent` the items of the group's own windows, then of its
// subgroups, each followed by its own subtree. Each window takes
// *nextImageIndex as its image index, which then advances.
void insertGroupItems(HWND hDlg, PLRGroup *group, HTREEITEM parent, int *nextImageIndex);

// One window item or group item in the shared form, inserted under `parent`
// after `insertAfter` (TVI_LAST while populating, TVI_FIRST when a record is
// moved in later). A window item uses the window's stored imageIndex. The
// result is the new item's handle, null when the control refused it; the
// record's hti is not written.
HTREEITEM insertWindowItem(HWND hDlg, PLRWindow *window, HTREEITEM parent, HTREEITEM insertAfter);
HTREEITEM insertGroupItem(HWND hDlg, PLRGroup *group, HTREEITEM parent, HTREEITEM insertAfter);

// The pieces both ways of filling the tree share (populateTreeView here and
// the prepared population of switcher/population_plan.h). None of them reads
// a record, so the switcher thread may run them.

// One item of any kind, in the shared form (TREE_ITEM_MASK).
HTREEITEM insertTreeItem(HWND hDlg, HTREEITEM parent, HTREEITEM insertAfter, plr_char *text, int image, UINT state,
                         UINT stateMask);
// The normal list, created for windowCount icons, holding the group picture
// at index 0. A failure is logged and the result may be empty.
UniqueImageList createNormalImageList(int windowCount);
// The bitmaps of the icon's picture at the size of one place of the normal
// list (16 x 16), whatever the icon's own size: exactly one image when
// added. A failure is logged (as called from AddGroupIconsToImageList) and
// leaves both empty.
bool getIconBitmaps(HICON icon, UniqueBitmap *colour, UniqueBitmap *mask);
// Adds one window icon from the bitmaps getIconBitmaps gave (left to the
// caller); a failed add is logged and replaced by a stand-in.
void addIconBitmaps(HIMAGELIST imageList, HBITMAP colour, HBITMAP mask);
// The generic application icon in place of a picture that could not be
// added. Returns its index, or -1 (logged).
int addStandInImage(HIMAGELIST imageList);
// Gives the list to the tree of hDlg; a list the tree held before is
// destroyed.
void attachImageList(HWND hDlg, WPARAM which, UniqueImageList list);
// Creates the state list (filler, arrow, star) and gives it to the tree,
// unless the tree has one already: the state pictures never change, so a
// tree filled again keeps its list, and a dialog made ahead of its switch
// loads them while it waits. Either thread of the dialog.
void attachStateImageList(HWND hDlg);

// The state a group or window item starts with (marker, expansion).
UINT groupItemState(const PLRGroup *group);
UINT windowItemState(const PLRWindow *window);

// Detaches both image lists from the tree of hDlg and destroys them. The
// tree view never destroys the lists given to it, so the dialog calls this
// while handling WM_DESTROY, when the control still exists.
void releaseTreeImageLists(HWND hDlg);
