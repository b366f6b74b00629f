// Tiny pictures for the display tests, built from red, green, blue triples in
// any stored pixel type, and screen bitmaps that free themselves.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "../processing/picture.h"
#include "display/display.h"
#include "imagelib/bitmap.h"

namespace screentest {

struct Rgb {
    uint8_t r, g, b;
};

using pictest::Picture;  // a Bitmap that frees itself

// Writes one sample of `bits` (8, 16 or 32) bits holding the byte value v
// scaled to the whole sample.
inline void PutSample(uint8_t* p, int bits, uint8_t v) {
    if (bits == 8) {
        *p = v;
    } else if (bits == 16) {
        const uint16_t s = uint16_t(v * 257u);
        std::memcpy(p, &s, 2);
    } else {
        const uint32_t s = uint32_t(v) * 0x01010101u;
        std::memcpy(p, &s, 4);
    }
}

// The samples of a colour in the type's stored order; the fourth sample of
// four-byte types is `fourth` (CMYK: K, with the inks taken from white).
inline std::vector<uint8_t> Samples(uint16_t type, Rgb c, uint8_t fourth) {
    switch (type) {
    case kPixelRGB: return {c.r, c.g, c.b};
    case kPixelBGR: return {c.b, c.g, c.r};
    case kPixelRGBA: return {c.r, c.g, c.b, fourth};
    case kPixelBGRA: return {c.b, c.g, c.r, fourth};
    case kPixelABGR: return {fourth, c.b, c.g, c.r};
    case kPixelARGB: return {fourth, c.r, c.g, c.b};
    case kPixelCMYK: return {uint8_t(255 - c.r), uint8_t(255 - c.g), uint8_t(255 - c.b), fourth};
    default: return {};
    }
}

// A true-colour picture of the type (deep samples with bits 16 or 32),
// colours row by row from the top.
inline void MakeColour(Bitmap* b, uint16_t type, int32_t w, int32_t h, const std::vector<Rgb>& colours,
                       int bits = 8, uint8_t fourth = 0) {
    ASSERT_EQ(AllocBitmapWithDepth(b, type, 4, w, h, uint16_t(bits)), 1);
    const int sampleBytes = bits / 8;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const std::vector<uint8_t> s = Samples(type, colours[size_t(y * w + x)], fourth);
            uint8_t* p = b->pixels + size_t(y) * b->bytesPerRow + size_t(x) * b->bytesPerPixel;
            for (size_t k = 0; k < s.size(); ++k) PutSample(p + k * sampleBytes, bits, s[k]);
        }
}

// A one-byte picture (grey or palette) of the given values.
inline void MakeIndexed(Bitmap* b, uint16_t type, int32_t w, int32_t h, const std::vector<uint8_t>& values,
                        int bits = 8) {
    ASSERT_EQ(AllocBitmapWithDepth(b, type, 4, w, h, uint16_t(bits)), 1);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            PutSample(b->pixels + size_t(y) * b->bytesPerRow + size_t(x) * b->bytesPerPixel, bits,
                      values[size_t(y * w + x)]);
}

// A bilevel picture from rows of '0' and '1'.
inline void MakeBilevel(Bitmap* b, const std::vector<const char*>& rows) {
    const int32_t w = int32_t(std::strlen(rows[0]));
    ASSERT_EQ(AllocBitmap(b, kPixelBilevel, 4, w, int32_t(rows.size())), 1);
    for (size_t y = 0; y < rows.size(); ++y)
        for (int32_t x = 0; x < w; ++x) PutRowBit(b->pixels + y * b->bytesPerRow, x, rows[y][x] == '1');
}

// Stores the rows in the opposite order and marks the picture bottom-up, so
// it shows as before.
inline void TurnBottomUp(Bitmap* b) {
    std::vector<uint8_t> row(size_t(b->bytesPerRow));
    for (int32_t y = 0; y < b->height / 2; ++y) {
        uint8_t* a = b->pixels + size_t(y) * b->bytesPerRow;
        uint8_t* z = b->pixels + size_t(b->height - 1 - y) * b->bytesPerRow;
        std::memcpy(row.data(), a, row.size());
        std::memcpy(a, z, row.size());
        std::memcpy(z, row.data(), row.size());
    }
    b->orientation = uint16_t(b->orientation | 0x10);
}

// A ScreenBitmap in heap memory that frees itself.
struct Screen {
    ScreenBitmap sb;
    explicit Screen(int32_t dibWidth = 0, int32_t dibHeight = 0) {
        std::memset(&sb, 0, sizeof sb);
        sb.dibWidth = dibWidth;
        sb.dibHeight = dibHeight;
    }
    ~Screen() { ScreenBitmapFreeWith(MemoryDibServices(), &sb); }
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    int Prepare(const Bitmap* picture, int32_t w, int32_t h, uint32_t flags = kPrepareBuildPalette) {
        if (sb.dibWidth == 0) {
            sb.dibWidth = w;
            sb.dibHeight = h;
        }
        return ScreenBitmapPrepareWith(MemoryDibServices(), &sb, picture, w, h, flags);
    }
    void Convert(int32_t x, int32_t y, int32_t w, int32_t h) {
        ScreenBitmapConvert(MemoryDibServices(), &sb, x, y, w, h);
    }
    // The whole DIB as stored (bottom row first).
    std::vector<uint8_t> Bytes() const {
        if (!sb.dibPixels) return {};
        return std::vector<uint8_t>(sb.dibPixels, sb.dibPixels + sb.info.header.sizeImage);
    }
};

// The picture converted whole at (w, h) into a DIB of that size.
inline std::vector<uint8_t> Converted(const Bitmap* picture, int32_t w, int32_t h) {
    Screen s;
    if (!s.Prepare(picture, w, h)) return {};
    s.Convert(0, 0, w, h);
    return s.Bytes();
}

}  // namespace screentest
