// What the load side and the save side share: the palette layout flags,
// field scaling and the mirroring of pixel rows.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

// Palette layouts: how a reader hands its palette to EndImage, and how
// BeginWrite hands a writer its palette.
enum PaletteLayoutFlags : uint16_t {
    kPaletteGreyInverted = 0x1,      // red, green and blue as 255 minus themselves
    kPaletteWords333 = 0x2,          // big-endian words, 3-bit fields at bits 8, 4, 0
    kPaletteWords444Rotated = 0x4,   // 4-bit fields with the low bit rotated to the top
    kPaletteWords444 = 0x8,          // big-endian words, 4-bit fields at bits 8, 4, 0
    kPalettePlanes = 0x10,           // three arrays: reds, greens, blues
    kPaletteTriples = 0x100,         // save side: interleaved R, G, B triples
    kPaletteBgr = 0x200,             // with the byte and plane layouts: blue first
    kPaletteRgba = 0x400,
    kPaletteAbgr = 0x800,
    kPaletteBgra = 0x1000,
};

// Resolutions in files that count pixels per metre: dots per inch times
// kDotsPerInchToPerMetre, and back (the two are reciprocal). The factors are
// the ones files written before carry, so values come back as they went out.
constexpr double kDotsPerInchToPerMetre = 39.371370451786476;
constexpr double kPerMetreToDotsPerInch = 0.025399166666666667;

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
