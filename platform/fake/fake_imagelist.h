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
// them out); any non-null icon converts, unless a knob makes it fail.
#pragma once

#include <vector>

#include "platform/win32types.h"

namespace fakeimg {

enum class Picture {
    None,         // no recorded picture (a drag image the tree made)
    Resource,     // a bitmap resource (resourceId)
    IconColour,   // the colour part of an icon
    IconMask,     // the mask part of an icon
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
// The icon whose colour bitmap sits at `index`, or null.
HICON iconAt(HIMAGELIST list, int index);
// The resource whose bitmap sits at `index`, or 0.
int resourceAt(HIMAGELIST list, int index);

// Knobs.
void setIconInfoFails(HICON icon, bool fails);   // GetIconInfo fails for this icon
void setAddFailsForIcon(HICON icon, bool fails); // adding its bitmaps returns -1
void setLoadBitmapFails(int resourceId, bool fails);
void setAddFailsForResource(int resourceId, bool fails);
void setCreateFailures(int count);               // the next `count` creates fail

// A drag image as the tree control makes one (not affected by the knobs).
HIMAGELIST createDragImage();

}  // namespace fakeimg
