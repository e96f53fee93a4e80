// Native stand-ins for the system's icons-to-bitmaps conversion, bitmap
// resources, GDI bitmap deletion and image lists (the desk:: functions of
// platform/desktop.h in that group).
//
// The fake keeps real state so tests check outcomes: every bitmap it hands
// out carries what it pictures (a resource id, or the icon it was made
// from, colour or mask part); an image list copies that description when a
// bitmap is added, as the system copies the pixels, so a test can read which
// picture sits at which index after the bitmaps are gone. Live bitmaps and
// live image lists are counted so a test can assert that nothing leaked, and
// deleting what is not live is counted as a fault.
//
// Icons are opaque HICON values chosen by the tests (the fake desktop hands
// them out, each with a size); any non-null icon converts, unless a knob
// makes it fail, into bitmaps as large as the icon.
//
// Sizes count as they do in the system's lists (the image-list contract
// tests hold the fake to comctl32's behaviour): an add takes one place per
// list width of the bitmap, each place showing its own strip of the
// picture, so a 32-pixel picture added to a 16-pixel list takes two places;
// a replace scales the whole picture into its one place.
#pragma once

#include <array>
#include <vector>

#include "platform/win32types.h"

namespace fakeimg {

enum class Picture {
    None,         // no recorded picture (a drag image the tree made)
    Resource,     // a bitmap resource (resourceId)
    IconColour,   // the colour part of an icon
    IconMask,     // the mask part of an icon
    Painted,      // a bitmap of the test's own making (createBitmap)
};

struct ImageEntry {
    Picture picture = Picture::None;
    int resourceId = 0;
    HICON icon = nullptr;
    bool hasMaskBitmap = false;     // added with ImageList_Add and a mask
    bool maskedByColour = false;    // added with ImageList_AddMasked
    COLORREF maskColour = 0;
    // ImageList_AddMasked also paints the mask-colour pixels of the SOURCE
    // bitmap black. Adding that bitmap masked a second time finds no pixel of
    // the mask colour: the picture then shows an opaque black background.
    bool opaqueBackground = false;
    // The part of the source picture the place shows, in the source's
    // pixels, and the source's size and quarter colours (top left, top
    // right, bottom left, bottom right) when it was added.
    int sourceWidth = 0;
    int sourceHeight = 0;
    int partLeft = 0;
    int partTop = 0;
    int partWidth = 0;
    int partHeight = 0;
    std::array<COLORREF, 4> colours = {{0, 0, 0, 0}};
    // The place shows the whole picture (not a strip of a wider one).
    bool whole() const {
        return partLeft == 0 && partTop == 0 && partWidth == sourceWidth && partHeight == sourceHeight;
    }
};

struct ImageListInfo {
    int cx = 0;
    int cy = 0;
    UINT flags = 0;
    int initial = 0;
    int grow = 0;
    std::vector<ImageEntry> images;
};

// Forgets every bitmap and list and every knob. Call in each test's set-up.
void reset();

// Leak and misuse accounting.
int liveBitmaps();
int liveImageLists();
int invalidDeletes();   // DeleteObject of a bitmap that is not live
int invalidDestroys();  // ImageList_Destroy of a list that is not live

bool isLiveImageList(HIMAGELIST list);
// The list's parameters and images; an empty description for a list that is
// not live.
ImageListInfo info(HIMAGELIST list);
int imageCount(HIMAGELIST list);
// The icon whose whole colour picture sits at `index`, or null (also for a
// strip of one).
HICON iconAt(HIMAGELIST list, int index);
// The resource whose whole bitmap sits at `index`, or 0.
int resourceAt(HIMAGELIST list, int index);
// What image `index` shows at (x, y) drawn over `background`: a blank place
// (grown by ImageList_SetImageCount) draws black, the mask colour of a
// masked add lets the background through.
COLORREF imagePixel(HIMAGELIST list, int index, int x, int y, COLORREF background);

// Bitmaps and icons of the tests' own making, for the image-list contract.
// A bitmap as LoadBitmapW gives one, each quarter filled with one colour.
HBITMAP createBitmap(int width, int height, const std::array<COLORREF, 4> &quarters);
COLORREF bitmapPixel(HBITMAP bitmap, int x, int y);
// The quarter colours of the icon's picture (black unless set).
void setIconColours(HICON icon, const std::array<COLORREF, 4> &quarters);

// Icons made by CopyImage (desk::copyIcon) not yet destroyed, and
// DestroyIcon calls on icons the program did not make.
int liveIconCopies();
int invalidIconDestroys();

// Knobs.
void setIconInfoFails(HICON icon, bool fails);   // GetIconInfo fails for this icon
void setAddFailsForIcon(HICON icon, bool fails); // adding its bitmaps returns -1
void setLoadBitmapFails(int resourceId, bool fails);
void setAddFailsForResource(int resourceId, bool fails);
void setCreateFailures(int count);               // the next `count` creates fail

// A drag image as the tree control makes one (not affected by the knobs).
HIMAGELIST createDragImage();

}  // namespace fakeimg
