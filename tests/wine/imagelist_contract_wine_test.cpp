// The image-list contract against comctl32's own image lists. The pictures
// are made and read with GDI: bitmaps compatible with the screen, as
// LoadBitmapW makes them, and each image drawn with ImageList_Draw over a
// known background into a 32-bit DIB section whose pixels are read back.
#include <gtest/gtest.h>

#include "platform/desktop.h"
#include "platform/win32types.h"
#include "tests/contract/imagelist_contract.h"

class ImageListContract : public ::testing::Test {
public:
    HBITMAP makeBitmap(int width, int height, const imagecontract::Quadrants &colours) {
        HDC screen = GetDC(nullptr);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
        HDC dc = CreateCompatibleDC(screen);
        ReleaseDC(nullptr, screen);
        HGDIOBJ old = SelectObject(dc, bitmap);
        const RECT quarters[4] = {{0, 0, width / 2, height / 2},
                                  {width / 2, 0, width, height / 2},
                                  {0, height / 2, width / 2, height},
                                  {width / 2, height / 2, width, height}};
        for (int i = 0; i < 4; ++i) {
            HBRUSH brush = CreateSolidBrush(colours[static_cast<size_t>(i)]);
            FillRect(dc, &quarters[i], brush);
            DeleteObject(brush);
        }
        SelectObject(dc, old);
        DeleteDC(dc);
        return bitmap;
    }

    HICON makeIcon(int size, const imagecontract::Quadrants &colours) {
        HBITMAP colour = makeBitmap(size, size, colours);
        // An all-zero AND mask: every pixel opaque.
        HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, mask);
        PatBlt(dc, 0, 0, size, size, BLACKNESS);
        SelectObject(dc, old);
        DeleteDC(dc);
        ICONINFO info = {};
        info.fIcon = TRUE;
        info.hbmColor = colour;
        info.hbmMask = mask;
        HICON icon = CreateIconIndirect(&info);
        DeleteObject(colour);
        DeleteObject(mask);
        return icon;
    }

    void destroyIcon(HICON icon) { DestroyIcon(icon); }

    COLORREF bitmapPixel(HBITMAP bitmap, int x, int y) {
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, bitmap);
        const COLORREF pixel = GetPixel(dc, x, y);
        SelectObject(dc, old);
        DeleteDC(dc);
        return pixel;
    }

    COLORREF imagePixel(HIMAGELIST list, int index, int x, int y) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = imagecontract::kSize;
        info.bmiHeader.biHeight = -imagecontract::kSize;  // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void *bits = nullptr;
        HBITMAP canvas = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (canvas == nullptr) return CLR_INVALID;
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, canvas);
        const RECT all = {0, 0, imagecontract::kSize, imagecontract::kSize};
        HBRUSH background = CreateSolidBrush(imagecontract::kBackground);
        FillRect(dc, &all, background);
        DeleteObject(background);
        ImageList_Draw(list, index, dc, 0, 0, ILD_NORMAL);
        GdiFlush();
        const DWORD pixel = static_cast<const DWORD *>(bits)[y * imagecontract::kSize + x];
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(canvas);
        // The DIB holds 0x00RRGGBB; a COLORREF is 0x00BBGGRR.
        return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
    }
};

#include "tests/contract/imagelist_contract.inc"
