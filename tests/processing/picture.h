// Tiny pictures for the geometry tests: built from a list of sample values,
// read back as sample values, compared whole.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "imagelib/bitmap.h"
#include "tests/support/pictures.h"

namespace pictest {

using Picture = testing_support::OwnedBitmap;  // a Bitmap that frees itself

struct Kind {
    const char* name;
    uint16_t type;
    uint16_t bits;  // 8, or 16/32 for deep samples
};

// Every stored pixel type, plus deep samples.
inline const std::vector<Kind>& AllKinds() {
    static const std::vector<Kind> kinds = {
        {"bilevel", 1, 8},  {"grey", 2, 8},   {"palette", 4, 8}, {"rgb", 16, 8},    {"rgba", 32, 8},
        {"bgr", 64, 8},     {"abgr", 128, 8}, {"bgra", 256, 8},  {"argb", 512, 8},  {"cmyk", 1024, 8},
        {"grey16", 2, 16},  {"rgb16", 16, 16}, {"rgba16", 32, 16}, {"rgb32", 16, 32},
    };
    return kinds;
}

inline std::string KindName(const ::testing::TestParamInfo<Kind>& info) { return info.param.name; }

inline int SampleBytes(const Bitmap* b) {
    return b->pixelType == kPixelBilevel ? 1 : b->bytesPerPixel / b->components;
}

// Sample k of pixel (x, y); bilevel pixels are 0 or 1.
inline uint32_t Sample(const Bitmap* b, int32_t x, int32_t y, int k = 0) {
    const uint8_t* row = b->pixels + size_t(y) * size_t(b->bytesPerRow);
    if (b->pixelType == kPixelBilevel) return GetRowBit(row, x);
    const int sb = SampleBytes(b);
    const uint8_t* p = row + size_t(x) * b->bytesPerPixel + size_t(k) * sb;
    if (sb == 1) return *p;
    if (sb == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void SetSample(Bitmap* b, int32_t x, int32_t y, int k, uint32_t v) {
    uint8_t* row = b->pixels + size_t(y) * size_t(b->bytesPerRow);
    if (b->pixelType == kPixelBilevel) {
        PutRowBit(row, x, v ? 1 : 0);
        return;
    }
    const int sb = SampleBytes(b);
    uint8_t* p = row + size_t(x) * b->bytesPerPixel + size_t(k) * sb;
    if (sb == 1) *p = uint8_t(v);
    else if (sb == 2) {
        const uint16_t w = uint16_t(v);
        std::memcpy(p, &w, 2);
    } else {
        std::memcpy(p, &v, 4);
    }
}

// All samples, row by row, pixel by pixel.
inline std::vector<uint32_t> Samples(const Bitmap* b) {
    std::vector<uint32_t> v;
    for (int32_t y = 0; y < b->height; ++y)
        for (int32_t x = 0; x < b->width; ++x)
            for (int k = 0; k < b->components; ++k) v.push_back(Sample(b, x, y, k));
    return v;
}

// Allocates `type` at `bits` and fills it from `samples` (components per
// pixel, row by row). A palette picture gets a recognisable palette.
inline void Make(Picture& p, uint16_t type, int32_t w, int32_t h, const std::vector<uint32_t>& samples,
                 uint16_t bits = 8, int16_t alignment = 4) {
    ASSERT_EQ(1, AllocBitmapWithDepth(p.get(), type, alignment, w, h, bits));
    ASSERT_EQ(size_t(w) * size_t(h) * p->components, samples.size());
    size_t i = 0;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int k = 0; k < p->components; ++k) SetSample(p.get(), x, y, k, samples[i++]);
    if (p->palette) {
        for (int e = 0; e < 256; ++e) {
            p->palette[e] = uint8_t(e);
            p->palette[kPaletteGreen + e] = uint8_t(255 - e);
            p->palette[kPaletteBlue + e] = uint8_t(e * 7);
        }
    }
}

// A picture of the kind filled with distinct, random or patterned values.
inline void MakeRandom(Picture& p, const Kind& kind, int32_t w, int32_t h, uint32_t seed, int16_t alignment = 4) {
    ASSERT_EQ(1, AllocBitmapWithDepth(p.get(), kind.type, alignment, w, h, kind.bits));
    std::mt19937 rng(seed);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int k = 0; k < p->components; ++k) SetSample(p.get(), x, y, k, rng());
    if (p->palette)
        for (size_t e = 0; e < kPaletteBytes; ++e) p->palette[e] = uint8_t(rng());
}

// The samples of pixel (x, y) as one list (for pixel-wise comparisons).
inline std::vector<uint32_t> Pixel(const Bitmap* b, int32_t x, int32_t y) {
    std::vector<uint32_t> v;
    for (int k = 0; k < b->components; ++k) v.push_back(Sample(b, x, y, k));
    return v;
}

}  // namespace pictest
