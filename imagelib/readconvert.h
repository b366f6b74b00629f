// Load-side scanline converters: the unpackers that turn a reader's source
// row into the unpacked line (one byte per index or grey pixel, R, G, B or
// R, G, B, A, colour-space data unchanged), the storers that write that line
// into the output row in the load's output mode and pixel order, and the
// palette builders of the end of a load.
//
// Converters run once per row and allocate nothing; BeginImage sizes every
// line they touch from the plan below.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "loadcontext.h"
#include "pixelrows.h"

// Header flags that choose the source pixel layout.
enum SourceLayoutFlags : uint32_t {
    kLayoutInterleavedPlanes = 0x1,  // word-interleaved bit planes
    kLayoutBytePerPixel = 0x2,       // one byte per pixel (1-bit: bytes 0 or 1)
    kLayoutReversed = 0x8,           // B, G, R / A, B, G, R
    kLayoutAlphaFirst = 0x10,        // A, R, G, B
    kLayoutBgra = 0x20,              // B, G, R, A
    kLayoutWords = 0x80,             // 15- and 16-bit pixels as little-endian words
    kLayout565 = 0x100,
    kLayout555BlueHigh = 0x200,      // 15-bit only; palettes: B, G, R order
    kLayout444High = 0x400,
    kLayout444Low = 0x800,
    kLayout555RedTop6 = 0x1000,      // R 11-15, G 6-10, B 0-4
    kLayout555RedTop5 = 0x2000,      // R 11-15, G 5-9, B 0-4
};

// ImageHeader::orientation bits a reader declares.
enum SourceOrientation : uint16_t {
    kSourceRightToLeft = 0x1,        // rows stored from their right end
    kSourceBottomUp = 0x10,          // rows stored bottom row first
};

// What the chosen unpacker of a declared layout needs.
struct UnpackPlan {
    int32_t linePixelBytes;  // bytes per pixel it writes; 0 for packed bits
    size_t rowBytes;         // bytes it reads from a row of srcWidth pixels
    size_t scratchBytes;     // work area before the line, 0 when none
    RowUnpacker unpack;      // the unpacker chosen
};

// Chooses how the row state's layout is unpacked. False when no unpacker
// handles it (the declaration is then refused): depths without a converter,
// bit planes wider than one bit, planar layouts other than 3 or 4 byte
// planes, unpacked pixels that disagree with the intermediate pixel size.
// Reads srcWidth, headerFlags, planes, bitsPerPlane, bitsPerPixel,
// bytesPerPlane, separatePlanes, outputMode, internalBytesPerPixel.
bool PlanReadConverters(const LoadRowState* rs, UnpackPlan* plan);

// Sets the unpacker of the plan and the matching storer in the row state
// (after PlanReadConverters accepted the layout and the lines are allocated).
// Values that a reduced load maps before storing (valueBytes) are stored as
// what they map to: grey levels, or R, G, B colours (finishedBits 24).
void SelectReadConverters(LoadRowState* rs, const UnpackPlan& plan, uint16_t pixelOrder);

// The byte of a three-byte (mode 80) or four-byte (mode 1952) output pixel
// where an index or grey value waits for its colour, by pixel order.
inline int IndexByteOfPixel(uint32_t outputMode, uint16_t pixelOrder) {
    if (outputMode != 1952) return pixelOrder == 0 ? 0 : 2;
    return pixelOrder == 0 ? 0 : pixelOrder == 1 ? 3 : pixelOrder == 3 ? 1 : 2;
}

// Row helpers, shared with the save side.
// bits 1, 2 or 4: each field (most significant first) becomes a byte holding
// its value; 8: plain copy; anything else writes nothing.
void UnpackPackedPixels(const uint8_t* src, uint8_t* dst, int32_t count, int bits);
// Clears 16 x words bytes of dst; bit 15 - i of plane p's word of a group
// becomes bit p of pixel i of the group.
void UnpackInterleavedBitplanes(const uint8_t* src, uint8_t* dst, int32_t words, int planes);
// Clears 8 x bytesPerPlane bytes of dst; bit 7 - j of byte k of plane p
// becomes bit p of pixel 8k + j.
void UnpackLineBitplanes(const uint8_t* src, uint8_t* dst, int32_t bytesPerPlane, int planes);

// Widens an n-bit field (n 1..8) to 8 bits: value x 255 / (2^n - 1).
inline uint8_t WidenField(uint32_t value, int bits) {
    return static_cast<uint8_t>(value * 255u / ((1u << bits) - 1u));
}

// Builds the planar library palette (kPaletteBytes, zeroed by the caller)
// from `entries` entries (at most 256) of a reader's palette in `layout`,
// with `bits` significant bits per value.
void ConvertReaderPalette(uint8_t* palette, const void* readerPalette, uint16_t layout, int bits,
                          int entries);
