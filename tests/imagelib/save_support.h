// Helpers of the save tests: bitmaps from literal bytes and the built-in
// registry held for one test.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

#include "imagelib/bitmap.h"
#include "imagelib/formats.h"
#include "tests/support/pictures.h"

namespace save_testing {

using TestBitmap = testing_support::OwnedBitmap;  // a bitmap that frees itself

// Allocates a bitmap (alignment 4) and fills its rows from `bytes`, given row
// by row without padding (for bilevel, (width + 7) / 8 bytes a row).
inline void MakeBitmap(TestBitmap* t, uint16_t type, int32_t width, int32_t height,
                       const std::vector<uint8_t>& bytes, uint16_t bitsPerSample = 8) {
    ASSERT_TRUE(bitsPerSample > 8 ? AllocBitmapWithDepth(&t->b, type, 4, width, height, bitsPerSample)
                                  : AllocBitmap(&t->b, type, 4, width, height));
    if (bytes.empty()) return;
    const size_t rowBytes = bytes.size() / size_t(height);
    ASSERT_EQ(rowBytes * size_t(height), bytes.size());
    ASSERT_LE(rowBytes, size_t(t->b.bytesPerRow));
    for (int32_t y = 0; y < height; ++y)
        std::memcpy(t->b.pixels + size_t(y) * size_t(t->b.bytesPerRow), bytes.data() + size_t(y) * rowBytes, rowBytes);
}

// Sets palette entries 0.. from RGB triples.
inline void SetPalette(Bitmap* b, std::initializer_list<uint32_t> rgb) {
    int i = 0;
    for (uint32_t c : rgb) {
        b->palette[i] = uint8_t(c >> 16);
        b->palette[kPaletteGreen + i] = uint8_t(c >> 8);
        b->palette[kPaletteBlue + i] = uint8_t(c);
        ++i;
    }
    b->paletteCount = int16_t(i);
}

struct BuiltinRegistry {
    BuiltinRegistry() { InitFormatRegistry(); }
    ~BuiltinRegistry() { FreeFormatRegistry(); }
};

}  // namespace save_testing
