// The image-list contract against the fake image lists the native tests use.
#include <gtest/gtest.h>

#include "platform/desktop.h"
#include "platform/fake/fake_desktop.h"
#include "platform/fake/fake_imagelist.h"
#include "platform/win32types.h"
#include "tests/contract/imagelist_contract.h"

class ImageListContract : public ::testing::Test {
public:
    void SetUp() override {
        fakeDesktop().reset();
        fakeimg::reset();
    }

    void TearDown() override {
        EXPECT_EQ(0, fakeimg::liveBitmaps());
        EXPECT_EQ(0, fakeimg::liveImageLists());
        EXPECT_EQ(0, fakeimg::liveIconCopies());
        EXPECT_EQ(0, fakeimg::invalidDeletes());
        EXPECT_EQ(0, fakeimg::invalidIconDestroys());
        fakeimg::reset();
        fakeDesktop().reset();
    }

    HBITMAP makeBitmap(int width, int height, const imagecontract::Quadrants &colours) {
        return fakeimg::createBitmap(width, height, colours);
    }

    HICON makeIcon(int size, const imagecontract::Quadrants &colours) {
        HICON icon = fakeDesktop().newIcon(size);
        fakeimg::setIconColours(icon, colours);
        return icon;
    }

    // The fake desktop's icons belong to nobody: nothing to destroy.
    void destroyIcon(HICON) {}

    COLORREF bitmapPixel(HBITMAP bitmap, int x, int y) { return fakeimg::bitmapPixel(bitmap, x, y); }

    COLORREF imagePixel(HIMAGELIST list, int index, int x, int y) {
        return fakeimg::imagePixel(list, index, x, y, imagecontract::kBackground);
    }
};

#include "tests/contract/imagelist_contract.inc"
