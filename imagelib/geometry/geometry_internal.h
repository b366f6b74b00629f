// Helpers shared by the geometric operations: checking a source record,
// allocating the new picture, handing the result over by the output
// convention, and reading samples of any depth.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "imagelib/bitmap.h"
#include "imagelib/geometry.h"

namespace geometry {

// What a validated source picture looks like to the operations.
struct Layout {
    int components;    // 1, 3 or 4 (1 for bilevel)
    int sampleBytes;   // 1, 2 or 4 (1 for bilevel)
    int pixelBytes;    // components x sampleBytes (1 for bilevel)
    uint32_t maxSample;  // largest value of one sample
};

// kGeometryDone when `src` is a picture these operations can read: known
// pixel type, width and height at least 1, pixels present, bytes per pixel
// consistent with the type and sample depth, rows wide enough for the width,
// a palette table for palette pictures; else kGeometryBadSize.
int CheckSource(const Bitmap* src, Layout* layout);

// Allocates `out` as AllocBitmapWithDepth would: kGeometryDone,
// kGeometryBadSize when the size is below 1 or the picture would not fit the
// record's 32-bit sizes, kGeometryNoMemory when the memory is not there.
int NewPicture(Bitmap* out, uint16_t type, int16_t alignment, int32_t width, int32_t height,
               uint16_t bitsPerSample);

// A new picture of the source's type, alignment and depth, carrying the
// source's palette count, transparent index and palette table.
int NewPictureLike(Bitmap* out, const Bitmap* src, int32_t width, int32_t height);

// Hands a finished picture over by the output convention. With a
// destination (other than the source itself) the destination's fields are
// overwritten with `out` plus a copy of the source's orientation,
// resolution, comment and metadata; the source is untouched. Without one the
// source's pixels and palette are freed and the source record takes `out`,
// keeping its own comment and metadata (moved, never copied, so nothing can
// be lost to a failed copy). Returns the record that now holds the result.
Bitmap* Deliver(Bitmap* src, Bitmap* dst, Bitmap* out);

// Size arithmetic for work buffers: count x size bytes, or null when the
// product does not fit or memory runs out. Zeroed.
void* AllocArray(size_t count, size_t size);

// Copies `count` pixels of a 1-bit row starting at pixel `srcX` to the start
// of `dstRow`. Reads only bytes holding those pixels; the bits after the last
// copied pixel in its byte are cleared.
void CopyBits(uint8_t* dstRow, const uint8_t* srcRow, int32_t srcX, int32_t count);

// Copies the pixel rows both pictures have, min(bytes per row) bytes each.
void CopyRows(Bitmap* dst, const Bitmap* src);

inline uint8_t* Row(const Bitmap* b, int32_t y) {
    return b->pixels + size_t(y) * size_t(b->bytesPerRow);
}

// Samples are stored in the processor's byte order (16-bit and 32-bit words).
template <int Bytes>
inline uint32_t ReadSample(const uint8_t* p) {
    if constexpr (Bytes == 1) {
        return *p;
    } else if constexpr (Bytes == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    } else {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
}

template <int Bytes>
inline void WriteSample(uint8_t* p, uint32_t v) {
    if constexpr (Bytes == 1) {
        *p = uint8_t(v);
    } else if constexpr (Bytes == 2) {
        const uint16_t w = uint16_t(v);
        std::memcpy(p, &w, 2);
    } else {
        std::memcpy(p, &v, 4);
    }
}

inline bool IsTrueColour(uint16_t type) { return (type & kPixelMaskColour) != 0; }

}  // namespace geometry
