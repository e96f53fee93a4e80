// Helpers for the image-list contract cases (imagelist_contract.inc). The
// cases reach the lists only through the desk:: functions the population
// uses, so the same cases run natively against the fake image lists and,
// cross-built, against comctl32's image lists under Wine.
//
// A file that includes imagelist_contract.inc first defines the fixture
// ImageListContract, derived from ::testing::Test, with:
//   HBITMAP makeBitmap(int width, int height, const imagecontract::Quadrants &colours);
//       a bitmap such as LoadBitmapW gives (compatible with the screen),
//       each quarter filled with one colour; freed with desk::deleteObject
//   HICON makeIcon(int size, const imagecontract::Quadrants &colours);
//       an opaque square icon, each quarter one colour
//   void destroyIcon(HICON icon);
//   COLORREF bitmapPixel(HBITMAP bitmap, int x, int y);
//   COLORREF imagePixel(HIMAGELIST list, int index, int x, int y);
//       what image `index` shows at (x, y) when drawn over kBackground
#pragma once

#include <array>
#include <cstdlib>
#include <string>

#include "platform/desktop.h"
#include "platform/win32types.h"

namespace imagecontract {

#define PLR_CONTRACT_RGB(r, g, b) static_cast<COLORREF>((r) | ((g) << 8) | ((b) << 16))

// Colours a 16-bit list keeps exactly (multiples of 8 in each channel).
const COLORREF kRed = PLR_CONTRACT_RGB(248, 0, 0);
const COLORREF kGreen = PLR_CONTRACT_RGB(0, 248, 0);
const COLORREF kBlue = PLR_CONTRACT_RGB(0, 0, 248);
const COLORREF kYellow = PLR_CONTRACT_RGB(248, 248, 0);
const COLORREF kWhite = PLR_CONTRACT_RGB(255, 255, 255);
const COLORREF kBlack = PLR_CONTRACT_RGB(0, 0, 0);
// What shows through where an image is transparent.
const COLORREF kBackground = PLR_CONTRACT_RGB(248, 0, 248);

// Top left, top right, bottom left, bottom right.
typedef std::array<COLORREF, 4> Quadrants;

const Quadrants kFourColours = {{kRed, kGreen, kBlue, kYellow}};

// The list the population makes: 16 x 16, 16-bit colour with a mask.
const int kSize = 16;
const UINT kFlags = ILC_COLOR16 | ILC_MASK;

// A drawn colour read back, snapped to the nearest of the colours above: a
// 16-bit list may give 255 for 248.
inline COLORREF snap(COLORREF colour) {
    static const COLORREF known[] = {kRed, kGreen, kBlue, kYellow, kWhite, kBlack, kBackground};
    COLORREF best = known[0];
    int bestDistance = -1;
    for (COLORREF candidate : known) {
        int distance = 0;
        for (int shift = 0; shift < 24; shift += 8)
            distance += std::abs(static_cast<int>((colour >> shift) & 0xFF) -
                                 static_cast<int>((candidate >> shift) & 0xFF));
        if (bestDistance < 0 || distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

inline std::string name(COLORREF colour) {
    switch (colour) {
    case kRed: return "red";
    case kGreen: return "green";
    case kBlue: return "blue";
    case kYellow: return "yellow";
    case kWhite: return "white";
    case kBlack: return "black";
    case kBackground: return "background";
    default: return "other";
    }
}

inline std::string names(const Quadrants &colours) {
    return name(colours[0]) + " " + name(colours[1]) + " / " + name(colours[2]) + " " + name(colours[3]);
}

inline Quadrants uniform(COLORREF colour) { return Quadrants{{colour, colour, colour, colour}}; }

}  // namespace imagecontract
