#include "platform/fake/fake_imagelist.h"

#include <cstddef>
#include <map>
#include <mutex>
#include <set>

#include "platform/desktop.h"
#include "resources/resource.h"

namespace {

// The system's codes for the failures the fake reproduces.
const DWORD kInvalidCursorHandle = 1402;
const DWORD kResourceNotFound = 1814;

struct BitmapRecord {
    fakeimg::Picture picture = fakeimg::Picture::None;
    int resourceId = 0;
    HICON icon = nullptr;
    bool maskColourBlackened = false;  // a masked add has changed its pixels
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

HBITMAP newBitmap(State &s, fakeimg::Picture picture, int resourceId, HICON icon) {
    HBITMAP bitmap = s.newHandle<HBITMAP>();
    BitmapRecord record;
    record.picture = picture;
    record.resourceId = resourceId;
    record.icon = icon;
    s.bitmaps[bitmap] = record;
    return bitmap;
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

int append(State &s, HIMAGELIST list, HBITMAP image, fakeimg::ImageEntry entry) {
    auto found = s.lists.find(list);
    if (found == s.lists.end()) return -1;
    auto bitmap = s.bitmaps.find(image);
    if (bitmap == s.bitmaps.end()) return -1;
    if (addFails(s, bitmap->second)) return -1;
    entry.picture = bitmap->second.picture;
    entry.resourceId = bitmap->second.resourceId;
    entry.icon = bitmap->second.icon;
    found->second.images.push_back(entry);
    return static_cast<int>(found->second.images.size()) - 1;
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
    return i.images[index].picture == Picture::IconColour ? i.images[index].icon : nullptr;
}

int resourceAt(HIMAGELIST list, int index) {
    ImageListInfo i = info(list);
    if (index < 0 || index >= static_cast<int>(i.images.size())) return 0;
    return i.images[index].picture == Picture::Resource ? i.images[index].resourceId : 0;
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
    State &s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    *colour = nullptr;
    *mask = nullptr;
    if (icon == nullptr || s.iconInfoFails.count(icon) != 0) {
        lock.unlock();
        setLastError(kInvalidCursorHandle);
        return FALSE;
    }
    *colour = newBitmap(s, fakeimg::Picture::IconColour, 0, icon);
    *mask = newBitmap(s, fakeimg::Picture::IconMask, 0, icon);
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
    return newBitmap(s, fakeimg::Picture::Resource, resourceId, nullptr);
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
    if (index != -1 && bitmap != s.bitmaps.end()) bitmap->second.maskColourBlackened = true;
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
    entry.picture = bitmap->second.picture;
    entry.resourceId = bitmap->second.resourceId;
    entry.icon = bitmap->second.icon;
    found->second.images[static_cast<std::size_t>(index)] = entry;
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
