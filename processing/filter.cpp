// Sharpen, smooth and noise reduction over padded work rows: each source row
// is copied once into a row with its edge pixels repeated, so the inner
// loops run over samples with no edge tests. Divisions of one-byte samples
// by the per-call divisor go through a multiply by its reciprocal.
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
// padded row's start) into out[0 .. end - begin). `rows` are the padded
// rows from two above to two below; `c` is the distance between one
// pixel's sample and the next pixel's.
//
// One-byte samples are computed in single precision, which every vector
// unit has: every product and sum is a whole number below 2^24, so exact,
// and trunc(n / d) for 0 <= n < 2^21 and 1 <= d <= 4400 equals
// trunc((n + 0.5) * (1 / d)), since (n + 0.5) / d lies at least 0.5 / d from
// any whole number and the two roundings err by far less.
template <typename T>
void FilterSpan(const Params& p, const T* const rows[5], T* __restrict out, size_t begin, size_t end, size_t c,
                int64_t max) {
    const T* __restrict up2 = rows[0];
    const T* __restrict up = rows[1];
    const T* __restrict mid = rows[2];
    const T* __restrict dn = rows[3];
    const T* __restrict dn2 = rows[4];
    constexpr bool kByte = std::is_same_v<T, uint8_t>;
    using Wide = std::conditional_t<kByte, float, int64_t>;
    using Sum = std::conditional_t<kByte, int32_t, int64_t>;
    // Weights in locals: stores through `out` cannot change them.
    const Wide top = Wide(max), smooth = Wide(p.smooth);
    const int64_t amount = p.amount, divisor = p.divisor;
    const float inverse = 1.0f / float(p.divisor);
    const float eightCentre = 8.0f * float(p.centre), amountF = float(p.amount);
    const float inverseEightD = 1.0f / (8.0f * float(p.divisor));
    if (p.filter == Filter::kSharpen) {
        for (size_t j = begin; j < end; ++j) {
            const Sum s = Sum(up[j - c]) + up[j] + up[j + c] + mid[j - c] + mid[j + c] + dn[j - c] + dn[j] + dn[j + c];
            Sum v;
            if constexpr (kByte) {
                // (centre c - floor(amount s / 8)) / d is floor((M + 7) / 8d)
                // with M = 8 centre c - amount s, for M + 7 >= 0: one
                // quotient, no inner floor. Below, both give at most 0.
                const float m = float(mid[j]) * eightCentre - float(s) * amountF;
                v = int32_t((m + 7.5f) * inverseEightD);
            } else {
                const Sum n = Sum(mid[j]) * p.centre - (s * amount) / 8;
                v = n > 0 ? n / divisor : 0;  // truncation toward zero
            }
            out[j - begin] = T(v < 0 ? 0 : v < Sum(top) ? v : Sum(top));
        }
    } else if (p.filter == Filter::kSmooth) {
        for (size_t j = begin; j < end; ++j) {
            const Sum direct = Sum(up[j]) + mid[j - c] + mid[j + c] + dn[j];
            const Sum diagonal = Sum(up[j - c]) + up[j + c] + dn[j - c] + dn[j + c];
            const Wide n = Wide(2 * direct + diagonal) * 100 + Wide(mid[j]) * smooth;
            Sum v;
            if constexpr (kByte) v = int32_t((n + 0.5f) * inverse);  // see above
            else v = n / divisor;
            out[j - begin] = T(v < Sum(top) ? v : Sum(top));
        }
    } else {
        for (size_t j = begin; j < end; ++j) {
            const Sum near = Sum(up[j]) + mid[j - c] + mid[j + c] + dn[j];
            const Sum far = Sum(up2[j]) + mid[j - 2 * c] + mid[j + 2 * c] + dn2[j];
            const Sum v = (7 * Sum(mid[j]) + 3 * near - far) / 15;
            out[j - begin] = T(v < 0 ? 0 : v < Sum(max) ? v : Sum(max));
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

// Runs the filter for the picture's sample size.
int FilterSamples(const Params& p, const Bitmap* src, const PictureRect& area, Bitmap* out, int sampleBytes,
                  int64_t max) {
    if (sampleBytes == 2) return FilterPicture<uint16_t>(p, src, area, out, max);
    if (sampleBytes == 4) return FilterPicture<uint32_t>(p, src, area, out, max);
    return FilterPicture<uint8_t>(p, src, area, out, max);
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
        // What lies outside the rectangle is kept.
        if (area.width != from->width || area.height != from->height) CopyRows(&out, from);
        int64_t max = int64_t(layout.maxSample);
        if (from->pixelType == kPixelGrey && layout.sampleBytes == 1 && from->paletteCount >= 2 &&
            from->paletteCount < 256)
            max = from->paletteCount - 1;
        rc = FilterSamples(p, from, area, &out, layout.sampleBytes, max);
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
