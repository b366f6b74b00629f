#include "imagelib/geometry/geometry_internal.h"

#include <cstdlib>
#include <cstring>

#include "imagelib/checked.h"
#include "imagelib/metadata.h"

namespace geometry {

int CheckSource(const Bitmap* src, Layout* layout) {
    PixelLayout pixels;
    if (!CheckBitmapLayout(src, &pixels)) return kGeometryBadSize;
    if (src->pixelType == kPixelPalette && !src->palette) return kGeometryBadSize;
    if (layout) {
        if (src->pixelType == kPixelBilevel) {
            *layout = Layout{1, 1, 1, 1};
        } else {
            // Deep samples are stored in whole words and may use all of them.
            const uint32_t maxSample = pixels.sampleBytes == 1 ? 0xFFu : pixels.sampleBytes == 2 ? 0xFFFFu : 0xFFFFFFFFu;
            *layout = Layout{pixels.components, pixels.sampleBytes, pixels.pixelBytes, maxSample};
        }
    }
    return kGeometryDone;
}

int NewPicture(Bitmap* out, uint16_t type, int16_t alignment, int32_t width, int32_t height,
               uint16_t bitsPerSample) {
    std::memset(out, 0, sizeof *out);
    // The allocator fails for both reasons; tell a size that cannot exist
    // from memory that is not there by doing its size arithmetic first.
    if (PixelTypeComponents(type) == 0 || BitmapRowBytes(type, alignment, width, height, bitsPerSample) == 0)
        return kGeometryBadSize;
    return AllocBitmapWithDepth(out, type, alignment, width, height, bitsPerSample) ? kGeometryDone
                                                                                  : kGeometryNoMemory;
}

int NewPictureLike(Bitmap* out, const Bitmap* src, int32_t width, int32_t height) {
    const int rc = NewPicture(out, src->pixelType, src->rowAlignment, width, height, src->bitsPerSample);
    if (rc != kGeometryDone) return rc;
    out->paletteCount = src->paletteCount;
    out->transparentIndex = src->transparentIndex;
    if (out->palette && src->palette) std::memcpy(out->palette, src->palette, kPaletteBytes);
    return kGeometryDone;
}

Bitmap* Deliver(Bitmap* src, Bitmap* dst, Bitmap* out) {
    if (dst && dst != src) {
        CopyBitmapMetadata(out, src);
        *dst = *out;
        return dst;
    }
    out->orientation = src->orientation;
    out->xResolution = src->xResolution;
    out->yResolution = src->yResolution;
    out->comment = src->comment;
    out->metadata = src->metadata;
    src->comment = nullptr;
    src->metadata = nullptr;
    FreeBitmap(src);
    *src = *out;
    return src;
}

void* AllocArray(size_t count, size_t size) {
    size_t bytes;
    if (!CheckedMul(count, size, &bytes)) return nullptr;
    return std::calloc(bytes ? bytes : 1, 1);
}

void CopyBits(uint8_t* dstRow, const uint8_t* srcRow, int32_t srcX, int32_t count) {
    if (count < 1) return;
    const uint8_t* s = srcRow + (srcX >> 3);
    const int shift = srcX & 7;
    const size_t outBytes = (size_t(count) + 7) / 8;
    const size_t lastSrc = (size_t(shift) + size_t(count) - 1) / 8;  // last byte read, from s
    for (size_t k = 0; k < outBytes; ++k) {
        unsigned v = unsigned(s[k]) << shift;
        if (shift && k + 1 <= lastSrc) v |= unsigned(s[k + 1]) >> (8 - shift);
        dstRow[k] = uint8_t(v);
    }
    const int tail = count & 7;
    if (tail) dstRow[outBytes - 1] &= uint8_t(0xFF00u >> tail);
}

void CopyRows(Bitmap* dst, const Bitmap* src) {
    const size_t n = size_t(dst->bytesPerRow < src->bytesPerRow ? dst->bytesPerRow : src->bytesPerRow);
    const int32_t rows = dst->height < src->height ? dst->height : src->height;
    for (int32_t y = 0; y < rows; ++y) std::memcpy(Row(dst, y), Row(src, y), n);
}

}  // namespace geometry
