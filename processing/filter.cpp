// Sharpen, smooth and noise reduction over padded work rows: each source row
// is copied once into a row with its edge pixels repeated, so the inner
// loops run over samples with no edge tests. 8-bit divisions by the
// per-call divisor go through a multiply by its reciprocal.
#include "processing/filter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "imagelib/checked.h"
#include "imagelib/geometry/geometry_internal.h"
#include "processing/reduce.h"

using namespace geometry;

namespace {

enum class Filter { kSharpen, kSmooth, kNoise };

// Exact x / d for 0 <= x < 2^24 and 1 <= d < 2^16: x * m >> 40 with m the
// rounded-up reciprocal, since x * d < 2^40.
struct Reciprocal {
    uint64_t m;
    explicit Reciprocal(uint32_t d) : m(((uint64_t(1) << 40) + d - 1) / d) {}
    uint32_t Divide(uint32_t x) const { return uint32_t((uint64_t(x) * m) >> 40); }
};

// Weights of one filter call.
struct Params {
    Filter filter;
    int32_t centre;   // sharpen: weight of the centre (100; 101 at amount 100)
    int32_t amount;   // sharpen: weight of the neighbours' sum, over 8
    int32_t divisor;  // sharpen 100 - amount (1 at 100); smooth k + 1225
    int32_t smooth;   // smooth: weight of the centre, k + 25
};

Params SharpenParams(int amount) {
    amount = std::clamp(amount, 0, 100);
    // At amount 100 the divisor would be 0. The weights then keep what the
    // others keep, that a flat area stays flat: c + 100 (c - mean).
    if (amount == 100) return Params{Filter::kSharpen, 101, 100, 1, 0};
    return Params{Filter::kSharpen, 100, amount, 100 - amount, 0};
}

Params SmoothParams(int strength) {
    strength = std::clamp(strength, 0, 100);
    const int32_t k = (100 - strength) * 3175 / 100;
    return Params{Filter::kSmooth, 0, 0, k + 1225, k + 25};
}

// Filters samples [begin, end) of the middle work row (indexed from the
// padded row's start) into out[0 .. end - begin).
// `rows` are the padded rows from two above to two below; `c` is the
// distance between one pixel's sample and the next pixel's.
template <typename T>
void FilterSpan(const Params& p, const T* const rows[5], T* out, size_t begin, size_t end, size_t c, int64_t max) {
    const T* up2 = rows[0];
    const T* up = rows[1];
    const T* mid = rows[2];
    const T* dn = rows[3];
    const T* dn2 = rows[4];
    constexpr bool kByte = std::is_same_v<T, uint8_t>;
    using Wide = std::conditional_t<kByte, int32_t, int64_t>;
    if (p.filter == Filter::kSharpen) {
        const Reciprocal r(uint32_t(p.divisor));
        for (size_t j = begin; j < end; ++j) {
            const Wide s = Wide(up[j - c]) + up[j] + up[j + c] + mid[j - c] + mid[j + c] + dn[j - c] + dn[j] + dn[j + c];
            const Wide n = Wide(mid[j]) * p.centre - (s * p.amount) / 8;
            Wide v;
            if (n <= 0) v = 0;  // truncation toward zero, then the clamp
            else if constexpr (kByte) v = Wide(r.Divide(uint32_t(n)));
            else v = n / p.divisor;
            out[j - begin] = T(v > max ? max : v);
        }
    } else if (p.filter == Filter::kSmooth) {
        const Reciprocal r(uint32_t(p.divisor));
        for (size_t j = begin; j < end; ++j) {
            const Wide direct = Wide(up[j]) + mid[j - c] + mid[j + c] + dn[j];
            const Wide diagonal = Wide(up[j - c]) + up[j + c] + dn[j - c] + dn[j + c];
            const Wide n = (2 * direct + diagonal) * 100 + Wide(mid[j]) * p.smooth;
            Wide v;
            if constexpr (kByte) v = Wide(r.Divide(uint32_t(n)));
            else v = n / p.divisor;
            out[j - begin] = T(v > max ? max : v);
        }
    } else {
        for (size_t j = begin; j < end; ++j) {
            const Wide near = Wide(up[j]) + mid[j - c] + mid[j + c] + dn[j];
            const Wide far = Wide(up2[j]) + mid[j - 2 * c] + mid[j + 2 * c] + dn2[j];
            const Wide v = (7 * Wide(mid[j]) + 3 * near - far) / 15;
            out[j - begin] = T(v < 0 ? 0 : v > max ? max : v);
        }
    }
}

// Runs the filter over `area` of `src` into `out` (same layout).
template <typename T>
int FilterPicture(const Params& p, const Bitmap* src, const PictureRect& area, Bitmap* out, int64_t max) {
    const int window = p.filter == Filter::kNoise ? 5 : 3;
    const int pad = window / 2;
    const size_t pixelBytes = src->bytesPerPixel;
    size_t rowBytes;
    if (!CheckedMul(size_t(src->width) + size_t(window - 1), pixelBytes, &rowBytes)) return kGeometryNoMemory;
    uint8_t* block = static_cast<uint8_t*>(AllocArray(size_t(window), rowBytes));
    if (!block) return kGeometryNoMemory;
    uint8_t* work[5];
    for (int i = 0; i < window; ++i) work[i] = block + size_t(i) * rowBytes;
    for (int i = 0; i < window; ++i) FillPaddedRow(work[i], src, area.y - pad + i, window);
    const size_t c = pixelBytes / sizeof(T);  // samples per pixel
    const size_t begin = (size_t(area.x) + size_t(pad)) * c;
    const size_t end = begin + size_t(area.width) * c;
    for (int32_t y = area.y; y < area.y + area.height; ++y) {
        if (y > area.y) {
            // Move the window one row down and pad only the new bottom row.
            uint8_t* first = work[0];
            for (int i = 0; i + 1 < window; ++i) work[i] = work[i + 1];
            work[window - 1] = first;
            FillPaddedRow(first, src, y + pad, window);
        }
        const T* rows[5];
        for (int i = 0; i < 5; ++i) {
            // The 3 x 3 filters read rows 1..3 of the five: centre them.
            const int at = window == 5 ? i : std::clamp(i - 1, 0, 2);
            rows[i] = reinterpret_cast<const T*>(work[at]);
        }
        T* o = reinterpret_cast<T*>(Row(out, y)) + size_t(area.x) * c;
        FilterSpan<T>(p, rows, o, begin, end, c, max);
    }
    std::free(block);
    return kGeometryDone;
}

int Run(const Params& p, Bitmap* picture, Bitmap* dst, const PictureRect* rect) {
    geometry::Layout layout;
    if (CheckSource(picture, &layout) != kGeometryDone) return kGeometryBadSize;
    if (picture->pixelType == kPixelBilevel) return kFilterRefusesBilevel;
    PictureRect area;
    if (ClipRectToBitmap(picture, rect, &area) != 0) return kGeometryBadSize;

    // Indices are not samples: a palette picture is filtered as its colours.
    Bitmap colours{};
    const Bitmap* from = picture;
    if (picture->pixelType == kPixelPalette) {
        const int rc = BitmapReduceColours(picture, &colours, kColourRGB, kDitherNone);
        if (rc != kGeometryDone) return rc;
        from = &colours;
    }
    Bitmap out{};
    int rc = NewPictureLike(&out, from, from->width, from->height);
    if (rc == kGeometryDone) {
        CopyRows(&out, from);  // what lies outside the rectangle is kept
        int64_t max = int64_t(layout.maxSample);
        if (from->pixelType == kPixelGrey && layout.sampleBytes == 1 && from->paletteCount >= 2 &&
            from->paletteCount < 256)
            max = from->paletteCount - 1;
        if (layout.sampleBytes == 1) rc = FilterPicture<uint8_t>(p, from, area, &out, max);
        else if (layout.sampleBytes == 2) rc = FilterPicture<uint16_t>(p, from, area, &out, max);
        else rc = FilterPicture<uint32_t>(p, from, area, &out, max);
        if (rc != kGeometryDone) FreeBitmap(&out);
    }
    FreeBitmap(&colours);
    if (rc != kGeometryDone) return rc;
    Deliver(picture, dst, &out);
    return kGeometryDone;
}

}  // namespace

void FillPaddedRow(uint8_t* work, const Bitmap* picture, int32_t row, int window) {
    const int pad = window / 2;
    const size_t pixelBytes = picture->bytesPerPixel;
    const size_t rowBytes = size_t(picture->width) * pixelBytes;
    const uint8_t* in = Row(picture, std::clamp(row, 0, picture->height - 1));
    std::memcpy(work + size_t(pad) * pixelBytes, in, rowBytes);
    for (int i = 0; i < pad; ++i) {
        std::memcpy(work + size_t(i) * pixelBytes, in, pixelBytes);
        std::memcpy(work + size_t(pad + i) * pixelBytes + rowBytes, in + rowBytes - pixelBytes, pixelBytes);
    }
}

int BitmapSharpen(Bitmap* picture, Bitmap* dst, const PictureRect* rect, int amount) {
    return Run(SharpenParams(amount), picture, dst, rect);
}

int BitmapSmooth(Bitmap* picture, Bitmap* dst, const PictureRect* rect, int strength) {
    return Run(SmoothParams(strength), picture, dst, rect);
}

int BitmapReduceNoise(Bitmap* picture, Bitmap* dst, const PictureRect* rect) {
    return Run(Params{Filter::kNoise, 0, 0, 15, 0}, picture, dst, rect);
}
