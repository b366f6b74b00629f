// Row helpers that the load side and the save side share: field scaling and
// mirroring of pixel rows.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

// An n-bit field (1 <= n <= 32) widened or narrowed to 8 bits:
// value x 255 / (2^n - 1), truncating; values above the field's maximum give 255.
inline uint32_t ScaleFieldTo8(uint32_t value, unsigned bits) {
    const uint64_t max = bits >= 32 ? 0xFFFFFFFFull : (uint64_t(1) << bits) - 1;
    if (max == 0) return 0;
    if (value >= max) return 255;
    return static_cast<uint32_t>(uint64_t(value) * 255 / max);
}

// Reverses the order of `count` pixels of `bytesPerPixel` bytes each, in place.
void MirrorPixelRow(uint8_t* line, int32_t count, unsigned bytesPerPixel);

// Reverses the first `count` pixels of a 1-bit row (most significant bit
// first), in place; bits after them are left as they are.
void MirrorBitRow(uint8_t* row, int32_t count);
