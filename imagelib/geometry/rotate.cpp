// Rotation by quarter and half turns, with a word-at-a-time path for
// bilevel pictures whose rows are padded to 32 bits.
#include <cstdlib>
#include <cstring>
#include <utility>

#include "imagelib/geometry.h"
#include "imagelib/geometry/geometry_internal.h"

using namespace geometry;

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the bilevel rotations read rows as little-endian 32-bit words"
#endif

namespace {

// Quarter turns exchange the two resolutions.
void ExchangeResolution(Bitmap* b) { std::swap(b->xResolution, b->yResolution); }

// A 1-bit row read as little-endian words: pixel p of a word (0 = leftmost)
// is bit 7 - p mod 8 of byte p / 8, so its bit in the word is this.
constexpr int PixelBit(int p) { return (p & ~7) | (7 - (p & 7)); }

struct Masks {
    uint32_t bit[32];
    constexpr Masks() : bit() {
        for (int p = 0; p < 32; ++p) bit[p] = 1u << PixelBit(p);
    }
};
constexpr Masks kMasks;

inline uint32_t LoadWord(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void StoreWord(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// True when the fast bilevel paths may read and write whole words.
bool WordRows(const Bitmap* b) {
    return b->pixelType == kPixelBilevel && b->rowAlignment == 4 &&
           int64_t(b->bytesPerRow) == (int64_t(b->width) + 31) / 32 * 4;
}

// The bits of word `k` of a row that hold pixels (padding bits cleared).
uint32_t PixelMask(int32_t width, int32_t k) {
    const int32_t n = width - k * 32;
    if (n >= 32) return 0xFFFFFFFFu;
    uint32_t m = 0;
    for (int p = 0; p < n; ++p) m |= kMasks.bit[p];
    return m;
}

// Turns a bilevel picture a quarter, 32 x 32 pixels at a time. Output word
// column b holds output pixels 32b + q; source word k holds source columns
// 32k + p. Clockwise, output (x, y) = source (y, H - 1 - x): output row
// 32k + p, pixel 32b + q comes from source row H - 1 - 32b - q. Counter-
// clockwise, output (x, y) = source (W - 1 - y, x): output row W - 1 - 32k - p,
// pixel 32b + q from source row 32b + q.
void TurnBilevelWords(const Bitmap* src, Bitmap* out, bool clockwise) {
    const int32_t w = src->width, h = src->height;
    const int32_t srcWords = (w + 31) / 32;
    const int32_t outWords = (h + 31) / 32;
    const uint32_t lastMask = PixelMask(w, srcWords - 1);
    uint32_t block[32];
    for (int32_t b = 0; b < outWords; ++b) {
        for (int32_t k = 0; k < srcWords; ++k) {
            std::memset(block, 0, sizeof block);
            for (int q = 0; q < 32; ++q) {
                const int32_t r = clockwise ? h - 1 - 32 * b - q : 32 * b + q;
                if (r < 0 || r >= h) break;
                uint32_t word = LoadWord(Row(src, r) + size_t(k) * 4);
                if (k == srcWords - 1) word &= lastMask;
                while (word) {
                    const int bit = __builtin_ctz(word);
                    word &= word - 1;
                    block[PixelBit(bit)] |= kMasks.bit[q];
                }
            }
            for (int p = 0; p < 32; ++p) {
                const int32_t c = 32 * k + p;
                if (c >= w) break;
                const int32_t y = clockwise ? c : w - 1 - c;
                StoreWord(Row(out, y) + size_t(b) * 4, block[p]);
            }
        }
    }
}

uint8_t ReverseByte(uint8_t v) {
    v = uint8_t((v & 0xF0) >> 4 | (v & 0x0F) << 4);
    v = uint8_t((v & 0xCC) >> 2 | (v & 0x33) << 2);
    return uint8_t((v & 0xAA) >> 1 | (v & 0x55) << 1);
}

// Checks the source (a bilevel one when `bilevelOnly`) and allocates the
// turned picture (sides exchanged when `quarter`).
int PrepareTurn(Bitmap* src, bool quarter, bool bilevelOnly, Layout* layout, Bitmap* out) {
    const int rc = CheckSource(src, layout);
    if (rc != kGeometryDone) return rc;
    if (bilevelOnly && src->pixelType != kPixelBilevel) return kGeometryBadSize;
    return quarter ? NewPictureLike(out, src, src->height, src->width)
                   : NewPictureLike(out, src, src->width, src->height);
}

}  // namespace

int BitmapRotateQuarter(Bitmap* src, Bitmap* dst, int direction, RowProgressCallback progress, uintptr_t user) {
    Layout layout;
    Bitmap out;
    const int rc = PrepareTurn(src, true, false, &layout, &out);
    if (rc != kGeometryDone) return rc;
    const int32_t w = src->width, h = src->height;
    const bool clockwise = direction > 0;
    // Source row starts, so no row needs a multiplication per pixel.
    auto* rows = static_cast<const uint8_t**>(AllocArray(size_t(h), sizeof(uint8_t*)));
    if (!rows) {
        FreeBitmap(&out);
        return kGeometryNoMemory;
    }
    for (int32_t r = 0; r < h; ++r) rows[r] = Row(src, r);
    const size_t n = size_t(layout.pixelBytes);
    for (int32_t y = 0; y < out.height; ++y) {
        uint8_t* to = Row(&out, y);
        // Clockwise, output (x, y) = source (y, h - 1 - x); else (w - 1 - y, x).
        const int32_t column = clockwise ? y : w - 1 - y;
        if (src->pixelType == kPixelBilevel) {
            for (int32_t x = 0; x < h; ++x) OrRowBit(to, x, GetRowBit(rows[clockwise ? h - 1 - x : x], column));
            continue;
        }
        const size_t offset = size_t(column) * n;
        for (int32_t x = 0; x < h; ++x, to += n) std::memcpy(to, rows[clockwise ? h - 1 - x : x] + offset, n);
        if (progress && progress(y, w, user)) {
            std::free(rows);
            FreeBitmap(&out);
            return kGeometryStopped;
        }
    }
    std::free(rows);
    ExchangeResolution(Deliver(src, dst, &out));
    return kGeometryDone;
}

int BitmapRotateHalf(Bitmap* src, Bitmap* dst) {
    // Bilevel rows are turned a byte at a time, whatever their padding.
    if (src && src->pixelType == kPixelBilevel) return BitmapRotateBilevelHalf(src, dst);
    Layout layout;
    Bitmap out;
    const int rc = PrepareTurn(src, false, false, &layout, &out);
    if (rc != kGeometryDone) return rc;
    const int32_t w = src->width, h = src->height;
    const size_t n = size_t(layout.pixelBytes);
    for (int32_t j = 0; j < h; ++j) {
        const uint8_t* from = Row(src, h - 1 - j);
        uint8_t* to = Row(&out, j);
        for (int32_t x = 0; x < w; ++x) std::memcpy(to + size_t(x) * n, from + size_t(w - 1 - x) * n, n);
    }
    Deliver(src, dst, &out);
    return kGeometryDone;
}

static int RotateBilevelQuarter(Bitmap* src, Bitmap* dst, bool clockwise) {
    if (src && src->pixelType == kPixelBilevel && !WordRows(src))
        return BitmapRotateQuarter(src, dst, clockwise ? 1 : -1, nullptr, 0);
    Layout layout;
    Bitmap out;
    const int rc = PrepareTurn(src, true, true, &layout, &out);
    if (rc != kGeometryDone) return rc;
    TurnBilevelWords(src, &out, clockwise);
    ExchangeResolution(Deliver(src, dst, &out));
    return kGeometryDone;
}

int BitmapRotateBilevelRight(Bitmap* src, Bitmap* dst) { return RotateBilevelQuarter(src, dst, true); }

int BitmapRotateBilevelLeft(Bitmap* src, Bitmap* dst) { return RotateBilevelQuarter(src, dst, false); }

int BitmapRotateBilevelHalf(Bitmap* src, Bitmap* dst) {
    Layout layout;
    Bitmap out;
    const int rc = PrepareTurn(src, false, true, &layout, &out);
    if (rc != kGeometryDone) return rc;
    // Output pixel x is source pixel w - 1 - x: reverse the bytes holding
    // pixels and the bits in each, then skip the padding bits that came first.
    const int32_t w = src->width, h = src->height;
    const size_t bytes = (size_t(w) + 7) / 8;
    const int32_t pad = int32_t(bytes * 8) - w;
    auto* reversed = static_cast<uint8_t*>(AllocArray(bytes, 1));
    if (!reversed) {
        FreeBitmap(&out);
        return kGeometryNoMemory;
    }
    static const struct Table {
        uint8_t v[256];
        Table() : v() {
            for (int i = 0; i < 256; ++i) v[i] = ReverseByte(uint8_t(i));
        }
    } kReverse;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* from = Row(src, y);
        for (size_t k = 0; k < bytes; ++k) reversed[k] = kReverse.v[from[bytes - 1 - k]];
        CopyBits(Row(&out, h - 1 - y), reversed, pad, w);
    }
    std::free(reversed);
    Deliver(src, dst, &out);
    return kGeometryDone;
}

int BitmapRotate(Bitmap* src, Bitmap* dst, int32_t angle, RowProgressCallback progress, uintptr_t user) {
    const int rc = CheckSource(src, nullptr);
    if (rc != kGeometryDone) return rc;
    // Only right angles turn; any other angle leaves the picture as it is.
    int turn = angle % 90 != 0 ? 0 : ((angle % 360) + 360) % 360;  // 0, 90, 180 or 270 clockwise
    // Bottom-up rows: a clockwise turn in memory is counter-clockwise as seen.
    if (src->orientation & kOrientationBottomUp) {
        if (turn == 90) turn = 270;
        else if (turn == 270) turn = 90;
    }
    if (turn == 0) return BitmapCrop(src, dst, nullptr);
    if (WordRows(src)) {
        if (turn == 90) return BitmapRotateBilevelRight(src, dst);
        if (turn == 270) return BitmapRotateBilevelLeft(src, dst);
        return BitmapRotateBilevelHalf(src, dst);
    }
    if (turn == 180) return BitmapRotateHalf(src, dst);
    return BitmapRotateQuarter(src, dst, turn == 90 ? 1 : -1, progress, user);
}
