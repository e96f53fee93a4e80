#include "platform/fake/fake_imagelist.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <map>
#include <mutex>
#include <set>

#include "platform/desktop.h"
#include "platform/fake/fake_desktop.h"
#include "resources/resource.h"

namespace {

// The system's codes for the failures the fake reproduces.
const DWORD kInvalidCursorHandle = 1402;
const DWORD kResourceNotFound = 1814;

typedef std::array<COLORREF, 4> Quarters;

// The program's bitmap resources are all 16 x 16.
const int kResourceSize = 16;

struct BitmapRecord {
    fakeimg::Picture picture = fakeimg::Picture::None;
    int resourceId = 0;
    HICON icon = nullptr;
    bool maskColourBlackened = false;  // a masked add has changed its pixels
    int width = 0;
    int height = 0;
    Quarters colours = {{0, 0, 0, 0}};
};

// An icon made by CopyImage: the original's picture at another size.
struct IconCopy {
    HICON original;
    int size;
};

struct State {
    std::mutex mutex;
    std::uintptr_t nextHandle = 0x7000000;
    std::map<HBITMAP, BitmapRecord> bitmaps;  // live bitmaps only
    std::map<HIMAGELIST, fakeimg::ImageListInfo> lists;  // live lists only
    int invalidDeletes = 0;
    int invalidDestroys = 0;
    std::set<HICON> iconInfoFails;
    std::set<HICON> addFailIcons;
    std::set<int> loadFails;
    std::set<int> addFailResources;
    int createFailures = 0;
    std::map<HICON, Quarters> iconColours;
    std::map<HICON, IconCopy> iconCopies;  // live copies only
    int invalidIconDestroys = 0;

    template <typename Handle>
    Handle newHandle() {
        nextHandle += 0x10;
        return reinterpret_cast<Handle>(nextHandle);
    }
};

State &state() {
    static State s;
    return s;
}

HBITMAP newBitmap(State &s, fakeimg::Picture picture, int resourceId, HICON icon, int width, int height) {
    HBITMAP bitmap = s.newHandle<HBITMAP>();
    BitmapRecord record;
    record.picture = picture;
    record.resourceId = resourceId;
    record.icon = icon;
    record.width = width;
    record.height = height;
    if (icon != nullptr && picture == fakeimg::Picture::IconColour) {
        auto colours = s.iconColours.find(icon);
        if (colours != s.iconColours.end()) record.colours = colours->second;
    }
    s.bitmaps[bitmap] = record;
    return bitmap;
}

// The original icon behind a copy, or the icon itself.
HICON originalIcon(const State &s, HICON icon) {
    auto copy = s.iconCopies.find(icon);
    return copy == s.iconCopies.end() ? icon : copy->second.original;
}

// An image showing part of the bitmap (in the bitmap's pixels).
fakeimg::ImageEntry imageOf(const BitmapRecord &bitmap, fakeimg::ImageEntry entry, int left, int top, int width,
                            int height) {
    entry.picture = bitmap.picture;
    entry.resourceId = bitmap.resourceId;
    entry.icon = bitmap.icon;
    entry.sourceWidth = bitmap.width;
    entry.sourceHeight = bitmap.height;
    entry.partLeft = left;
    entry.partTop = top;
    entry.partWidth = width;
    entry.partHeight = height;
    entry.colours = bitmap.colours;
    return entry;
}

HIMAGELIST newList(State &s, int cx, int cy, UINT flags, int initial, int grow) {
    HIMAGELIST list = s.newHandle<HIMAGELIST>();
    fakeimg::ImageListInfo info;
    info.cx = cx;
    info.cy = cy;
    info.flags = flags;
    info.initial = initial;
    info.grow = grow;
    s.lists[list] = info;
    return list;
}

bool addFails(const State &s, const BitmapRecord &record) {
    if (record.icon != nullptr && s.addFailIcons.count(record.icon) != 0) return true;
    return record.picture == fakeimg::Picture::Resource && s.addFailResources.count(record.resourceId) != 0;
}

// One place per list width of the bitmap, each showing its strip of the
// bitmap's top, as the system's lists add. Returns the first new index.
int append(State &s, HIMAGELIST list, HBITMAP image, const fakeimg::ImageEntry &entry) {
    auto found = s.lists.find(list);
    if (found == s.lists.end()) return -1;
    auto bitmap = s.bitmaps.find(image);
    if (bitmap == s.bitmaps.end()) return -1;
    if (addFails(s, bitmap->second)) return -1;
    fakeimg::ImageListInfo &info = found->second;
    const int places = info.cx > 0 ? bitmap->second.width / info.cx : 0;
    // A bitmap narrower than one image: the program never adds one, and the
    // contract does not say what the system does.
    if (places < 1) return -1;
    const int first = static_cast<int>(info.images.size());
    for (int place = 0; place < places; ++place)
        info.images.push_back(imageOf(bitmap->second, entry, place * info.cx, 0, info.cx,
                                      std::min(info.cy, bitmap->second.height)));
    return first;
}

}  // namespace

namespace fakeimg {

void reset() {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.bitmaps.clear();
    s.lists.clear();
    s.invalidDeletes = 0;
    s.invalidDestroys = 0;
    s.iconInfoFails.clear();
    s.addFailIcons.clear();
    s.loadFails.clear();
    s.addFailResources.clear();
    s.createFailures = 0;
    s.iconColours.clear();
    s.iconCopies.clear();
    s.invalidIconDestroys = 0;
}

int liveBitmaps() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return static_cast<int>(state().bitmaps.size());
}
int liveImageLists() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return static_cast<int>(state().lists.size());
}
int invalidDeletes() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().invalidDeletes;
}
int invalidDestroys() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().invalidDestroys;
}

bool isLiveImageList(HIMAGELIST list) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().lists.count(list) != 0;
}

ImageListInfo info(HIMAGELIST list) {
    std::lock_guard<std::mutex> lock(state().mutex);
    auto found = state().lists.find(list);
    return found == state().lists.end() ? ImageListInfo() : found->second;
}

int imageCount(HIMAGELIST list) { return static_cast<int>(info(list).images.size()); }

HICON iconAt(HIMAGELIST list, int index) {
    ImageListInfo i = info(list);
    if (index < 0 || index >= static_cast<int>(i.images.size())) return nullptr;
    const ImageEntry &entry = i.images[static_cast<std::size_t>(index)];
    return entry.picture == Picture::IconColour && entry.whole() ? entry.icon : nullptr;
}

int resourceAt(HIMAGELIST list, int index) {
    ImageListInfo i = info(list);
    if (index < 0 || index >= static_cast<int>(i.images.size())) return 0;
    const ImageEntry &entry = i.images[static_cast<std::size_t>(index)];
    return entry.picture == Picture::Resource && entry.whole() ? entry.resourceId : 0;
}

COLORREF imagePixel(HIMAGELIST list, int index, int x, int y, COLORREF background) {
    ImageListInfo i = info(list);
    if (index < 0 || index >= static_cast<int>(i.images.size()) || i.cx <= 0 || i.cy <= 0) return background;
    const ImageEntry &entry = i.images[static_cast<std::size_t>(index)];
    if (entry.picture == Picture::None || entry.sourceWidth <= 0 || entry.sourceHeight <= 0) return 0;
    // The place's pixel in the source picture, scaled when the place shows
    // more (or less) of it than its own size.
    const int sourceX = entry.partLeft + x * entry.partWidth / i.cx;
    const int sourceY = entry.partTop + y * entry.partHeight / i.cy;
    const std::size_t quarter =
        (sourceX >= entry.sourceWidth / 2 ? 1u : 0u) + (sourceY >= entry.sourceHeight / 2 ? 2u : 0u);
    const COLORREF colour = entry.colours[quarter];
    if (entry.maskedByColour && colour == entry.maskColour) return background;
    return colour;
}

HBITMAP createBitmap(int width, int height, const std::array<COLORREF, 4> &quarters) {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    HBITMAP bitmap = newBitmap(s, Picture::Painted, 0, nullptr, width, height);
    s.bitmaps[bitmap].colours = quarters;
    return bitmap;
}

COLORREF bitmapPixel(HBITMAP bitmap, int x, int y) {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto found = s.bitmaps.find(bitmap);
    if (found == s.bitmaps.end()) return 0;
    const BitmapRecord &record = found->second;
    const std::size_t quarter = (x >= record.width / 2 ? 1u : 0u) + (y >= record.height / 2 ? 2u : 0u);
    return record.colours[quarter];
}

void setIconColours(HICON icon, const std::array<COLORREF, 4> &quarters) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().iconColours[icon] = quarters;
}

int liveIconCopies() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return static_cast<int>(state().iconCopies.size());
}

int invalidIconDestroys() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().invalidIconDestroys;
}

void setIconInfoFails(HICON icon, bool fails) {
    std::lock_guard<std::mutex> lock(state().mutex);
    if (fails) {
        state().iconInfoFails.insert(icon);
    } else {
        state().iconInfoFails.erase(icon);
    }
}
void setAddFailsForIcon(HICON icon, bool fails) {
    std::lock_guard<std::mutex> lock(state().mutex);
    if (fails) {
        state().addFailIcons.insert(icon);
    } else {
        state().addFailIcons.erase(icon);
    }
}
void setLoadBitmapFails(int resourceId, bool fails) {
    std::lock_guard<std::mutex> lock(state().mutex);
    if (fails) {
        state().loadFails.insert(resourceId);
    } else {
        state().loadFails.erase(resourceId);
    }
}
void setAddFailsForResource(int resourceId, bool fails) {
    std::lock_guard<std::mutex> lock(state().mutex);
    if (fails) {
        state().addFailResources.insert(resourceId);
    } else {
        state().addFailResources.erase(resourceId);
    }
}
void setCreateFailures(int count) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().createFailures = count;
}

HIMAGELIST createDragImage() {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    HIMAGELIST list = newList(s, 16, 16, 0, 1, 0);
    s.lists[list].images.push_back(ImageEntry());
    return list;
}

}  // namespace fakeimg

namespace desk {

BOOL getIconInfo(HICON icon, HBITMAP *colour, HBITMAP *mask) {
    // Asked before the fake's own lock: the desktop never calls in here.
    const int desktopSize = fakeDesktop().iconSize(icon);
    State &s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    *colour = nullptr;
    *mask = nullptr;
    if (icon == nullptr || s.iconInfoFails.count(originalIcon(s, icon)) != 0) {
        lock.unlock();
        setLastError(kInvalidCursorHandle);
        return FALSE;
    }
    // The bitmaps are as large as the icon; a copy shows its original's
    // picture at its own size.
    auto copy = s.iconCopies.find(icon);
    const int size = copy != s.iconCopies.end() ? copy->second.size : desktopSize;
    const HICON picture = originalIcon(s, icon);
    *colour = newBitmap(s, fakeimg::Picture::IconColour, 0, picture, size, size);
    *mask = newBitmap(s, fakeimg::Picture::IconMask, 0, picture, size, size);
    return TRUE;
}

BOOL getBitmapSize(HBITMAP bitmap, int *width, int *height) {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto found = s.bitmaps.find(bitmap);
    if (found == s.bitmaps.end()) return FALSE;
    *width = found->second.width;
    *height = found->second.height;
    return TRUE;
}

HICON copyIcon(HICON icon, int cx, int cy) {
    State &s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    // An icon GetIconInfo cannot read cannot be copied either.
    if (icon == nullptr || cx <= 0 || cx != cy || s.iconInfoFails.count(originalIcon(s, icon)) != 0) {
        lock.unlock();
        setLastError(kInvalidCursorHandle);
        return nullptr;
    }
    HICON copy = s.newHandle<HICON>();
    s.iconCopies[copy] = IconCopy{originalIcon(s, icon), cx};
    return copy;
}

BOOL destroyIcon(HICON icon) {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    // Only icons the program made may be destroyed; other windows' icons
    // and the shared system icon are not the program's.
    if (s.iconCopies.erase(icon) == 0) {
        ++s.invalidIconDestroys;
        return FALSE;
    }
    return TRUE;
}

HBITMAP loadBitmap(int resourceId) {
    State &s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    // The program's bitmap resources that the tree uses.
    const bool known = resourceId == IDB_GROUP || resourceId == IDB_ARROW || resourceId == IDB_STAR;
    if (!known || s.loadFails.count(resourceId) != 0) {
        lock.unlock();
        setLastError(kResourceNotFound);
        return nullptr;
    }
    return newBitmap(s, fakeimg::Picture::Resource, resourceId, nullptr, kResourceSize, kResourceSize);
}

BOOL deleteObject(HBITMAP bitmap) {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (bitmap == nullptr) return FALSE;
    if (s.bitmaps.erase(bitmap) == 0) {
        ++s.invalidDeletes;
        return FALSE;
    }
    return TRUE;
}

HIMAGELIST imageListCreate(int cx, int cy, UINT flags, int initial, int grow) {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.createFailures > 0) {
        --s.createFailures;
        return nullptr;
    }
    return newList(s, cx, cy, flags, initial, grow);
}

int imageListAdd(HIMAGELIST list, HBITMAP image, HBITMAP mask) {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (mask != nullptr && s.bitmaps.count(mask) == 0) return -1;
    fakeimg::ImageEntry entry;
    entry.hasMaskBitmap = mask != nullptr;
    return append(s, list, image, entry);
}

int imageListAddMasked(HIMAGELIST list, HBITMAP image, COLORREF maskColour) {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    fakeimg::ImageEntry entry;
    entry.maskedByColour = true;
    entry.maskColour = maskColour;
    auto bitmap = s.bitmaps.find(image);
    if (bitmap != s.bitmaps.end()) entry.opaqueBackground = bitmap->second.maskColourBlackened;
    const int index = append(s, list, image, entry);
    if (index != -1 && bitmap != s.bitmaps.end()) {
        bitmap->second.maskColourBlackened = true;
        for (COLORREF &colour : bitmap->second.colours)
            if (colour == maskColour) colour = 0;
    }
    return index;
}

int imageListGetImageCount(HIMAGELIST list) {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto found = s.lists.find(list);
    return found == s.lists.end() ? 0 : static_cast<int>(found->second.images.size());
}

BOOL imageListSetImageCount(HIMAGELIST list, UINT count) {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto found = s.lists.find(list);
    if (found == s.lists.end()) return FALSE;
    // The system fills new places with blank images and drops those beyond.
    found->second.images.resize(count);
    return TRUE;
}

BOOL imageListReplace(HIMAGELIST list, int index, HBITMAP image, HBITMAP mask) {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto found = s.lists.find(list);
    if (found == s.lists.end()) return FALSE;
    if (index < 0 || index >= static_cast<int>(found->second.images.size())) return FALSE;
    auto bitmap = s.bitmaps.find(image);
    if (bitmap == s.bitmaps.end()) return FALSE;
    if (mask != nullptr && s.bitmaps.count(mask) == 0) return FALSE;
    if (addFails(s, bitmap->second)) return FALSE;
    fakeimg::ImageEntry entry;
    entry.hasMaskBitmap = mask != nullptr;
    // The whole picture, scaled into the one place whatever its size.
    found->second.images[static_cast<std::size_t>(index)] =
        imageOf(bitmap->second, entry, 0, 0, bitmap->second.width, bitmap->second.height);
    return TRUE;
}

BOOL imageListCopyWithin(HIMAGELIST list, int destination, int source) {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto found = s.lists.find(list);
    if (found == s.lists.end()) return FALSE;
    std::vector<fakeimg::ImageEntry> &images = found->second.images;
    const int count = static_cast<int>(images.size());
    if (destination < 0 || destination >= count || source < 0 || source >= count) return FALSE;
    images[static_cast<std::size_t>(destination)] = images[static_cast<std::size_t>(source)];
    return TRUE;
}

BOOL imageListDestroy(HIMAGELIST list) {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (list == nullptr) return FALSE;
    if (s.lists.erase(list) == 0) {
        ++s.invalidDestroys;
        return FALSE;
    }
    return TRUE;
}

}  // namespace desk
