// Pictures in tests: a Bitmap that frees itself, one load's bitmap and
// information held together, the built-in format registry built once, and
// pictures read back as R, G, B, A and compared.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imagelib/bitmap.h"
#include "imagelib/formats.h"
#include "imagelib/load.h"

namespace testing_support {

// A Bitmap that frees itself.
struct OwnedBitmap {
    Bitmap b{};
    OwnedBitmap() = default;
    OwnedBitmap(const OwnedBitmap&) = delete;
    OwnedBitmap& operator=(const OwnedBitmap&) = delete;
    ~OwnedBitmap() { FreeBitmap(&b); }
    Bitmap* operator->() { return &b; }
    Bitmap* get() { return &b; }
};

// One load's result, bitmap and information; both are freed with it.
struct LoadedPicture {
    int result = -100;
    Bitmap bitmap{};
    ImageInfo info{};
    LoadedPicture() = default;
    LoadedPicture(const LoadedPicture&) = delete;
    LoadedPicture& operator=(const LoadedPicture&) = delete;
    ~LoadedPicture() {
        FreeBitmap(&bitmap);
        FreePictureInfo(&info);
    }
    const uint8_t* Row(int y) const { return bitmap.pixels + size_t(y) * size_t(bitmap.bytesPerRow); }
};

// The built-in format registry, built on first use and kept for the whole
// test program. Not for tests that register a table of their own.
inline void EnsureFormatRegistry() {
    static const bool once = (InitFormatRegistry(), true);
    (void)once;
}

// Pixels as top-down R, G, B, A.
struct RgbaPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> px;
    const uint8_t* At(int x, int y) const { return &px[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
};

// A loaded picture as R, G, B, A (opaque unless it has alpha); CMYK pictures
// give their four bytes as they are. Empty when there are no pixels, and a
// failure for the types no reader gives.
inline RgbaPicture RgbaOf(const Bitmap& b) {
    RgbaPicture out;
    if (!b.pixels) return out;
    out.width = b.width;
    out.height = b.height;
    out.px.reserve(size_t(b.width) * size_t(b.height) * 4);
    for (int32_t y = 0; y < b.height; ++y) {
        const uint8_t* row = b.pixels + size_t(y) * size_t(b.bytesPerRow);
        for (int32_t x = 0; x < b.width; ++x) {
            uint8_t px[4] = {0, 0, 0, 255};
            switch (b.pixelType) {
                case kPixelBilevel: px[0] = px[1] = px[2] = GetRowBit(row, x) ? 255 : 0; break;
                case kPixelGrey: px[0] = px[1] = px[2] = row[x]; break;
                case kPixelPalette:
                    px[0] = b.palette[row[x]];
                    px[1] = b.palette[kPaletteGreen + row[x]];
                    px[2] = b.palette[kPaletteBlue + row[x]];
                    break;
                case kPixelRGB: std::memcpy(px, row + 3 * x, 3); break;
                case kPixelRGBA:
                case kPixelCMYK: std::memcpy(px, row + 4 * x, 4); break;
                default: ADD_FAILURE() << "pixel type " << b.pixelType; return {};
            }
            out.px.insert(out.px.end(), px, px + 4);
        }
    }
    return out;
}

// Which colours ExpectSamePixels compares: all, or only where the expected
// alpha is not 0 (an oracle may blank what a mask hides).
enum PixelScope { kAllPixels, kVisiblePixels };

// Pictures compared byte by byte (alpha only when asked), within `tolerance`;
// the first few differences are reported.
inline void ExpectSamePixels(const RgbaPicture& want, const RgbaPicture& got, bool alpha, int tolerance = 0,
                             PixelScope scope = kAllPixels) {
    ASSERT_EQ(want.width, got.width);
    ASSERT_EQ(want.height, got.height);
    ASSERT_EQ(want.px.size(), got.px.size());
    int bad = 0;
    for (size_t i = 0; i < got.px.size() && bad < 5; ++i) {
        const size_t p = i / 4;
        if (i % 4 == 3 ? !alpha : scope == kVisiblePixels && want.px[p * 4 + 3] == 0) continue;
        if (std::abs(int(got.px[i]) - int(want.px[i])) > tolerance) {
            ADD_FAILURE() << "pixel " << p % size_t(got.width) << "," << p / size_t(got.width) << " byte " << i % 4
                          << ": " << int(got.px[i]) << " want " << int(want.px[i]);
            ++bad;
        }
    }
}

}  // namespace testing_support
