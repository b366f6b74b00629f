// Shrinking resize by area averaging in fixed point (1024 per source pixel),
// which also turns palette pictures into true colour and bilevel pictures
// into grey.
//
// Each output pixel covers sx x sy source pixels (sx, sy >= 1). A source
// column lies wholly in one output column or is split at the output
// column's edge into a share for its own column and a share (the spill, in
// 1024ths) for the next; rows the same. A source row is first reduced across
// into one sum per output pixel (value x column share), and the row's sums
// are then added to the current and the next output row by the row's shares.
// An output pixel is its sum divided by the sum of the weights it received,
// truncated, so an area of one value keeps that value exactly.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "imagelib/geometry.h"
#include "imagelib/geometry/geometry_internal.h"

using namespace geometry;

namespace {

constexpr uint32_t kWhole = 1024;

// Where a source column or row goes: its output index, and the share (0..1024)
// that spills into the next output index. `ends` marks the last source
// column or row of its output pixel.
struct Share {
    int32_t dst;
    uint32_t spill;
    bool ends;
};

// The shares of source pixels 0, 1, ... in order (srcCount >= outCount).
class ShareWalk {
public:
    ShareWalk(int32_t srcCount, int32_t outCount)
        : outCount_(outCount), scale_(double(srcCount) / double(outCount)), bound_(scale_ - 1.0) {}

    Share Next() {
        const double x = double(pos_++);
        Share s{dst_ < outCount_ ? dst_ : outCount_ - 1, 0, false};
        if (x < bound_) return s;
        double spill = std::floor((x - bound_) * kWhole);
        if (spill < 0.0) spill = 0.0;
        if (spill > kWhole) spill = kWhole;
        if (dst_ + 1 < outCount_) s.spill = uint32_t(spill);
        s.ends = true;
        ++dst_;
        bound_ = double(dst_ + 1) * scale_ - 1.0;
        return s;
    }

private:
    int32_t outCount_;
    double scale_;
    double bound_;
    int32_t pos_ = 0;
    int32_t dst_ = 0;
};

// How source pixels become sample values.
enum class SourceKind { kSamples, kLookup1, kLookup3, kBits };

struct ShrinkPlan {
    SourceKind kind;
    int components;        // of the output
    int inSampleBytes;     // kSamples: bytes per source sample
    int outSampleBytes;
    uint32_t maxOut;
    uint32_t lut[256 * 3];  // kLookup1: value per index; kLookup3: three per index
};

template <int Bytes>
void ReadWords(const uint8_t* row, size_t count, uint32_t* samples) {
    for (size_t i = 0; i < count; ++i) samples[i] = ReadSample<Bytes>(row + i * Bytes);
}

// Fills `samples` (width x components) from source row `row`.
void ReadSamples(const ShrinkPlan& plan, const uint8_t* row, int32_t width, uint32_t* samples) {
    const int c = plan.components;
    switch (plan.kind) {
    case SourceKind::kSamples:
        if (plan.inSampleBytes == 1) ReadWords<1>(row, size_t(width) * c, samples);
        else if (plan.inSampleBytes == 2) ReadWords<2>(row, size_t(width) * c, samples);
        else ReadWords<4>(row, size_t(width) * c, samples);
        break;
    case SourceKind::kLookup1:
        for (int32_t x = 0; x < width; ++x) samples[x] = plan.lut[row[x]];
        break;
    case SourceKind::kLookup3:
        for (int32_t x = 0; x < width; ++x) std::memcpy(samples + size_t(x) * 3, plan.lut + row[x] * 3, 12);
        break;
    case SourceKind::kBits:
        for (int32_t x = 0; x < width; ++x) samples[x] = GetRowBit(row, x) ? 255u : 0u;
        break;
    }
}

// Work buffers of one shrink; all sized by the output width but `samples`,
// `columns` and `byteColumn`, which are sized by the source width.
template <typename Acc>
struct Buffers {
    Acc* across = nullptr;   // the current source row's sums per output pixel
    Acc* rows[2] = {};       // current and next output row (weights 1024 x 1024 per whole pixel)
    uint64_t* columnWeight = nullptr;  // the column shares each output column receives
    uint32_t* samples = nullptr;
    Share* columns = nullptr;
    int32_t* byteColumn = nullptr;  // bilevel bytes: output column of a byte wholly in one, else -1

    ~Buffers() {
        std::free(across);
        std::free(rows[0]);
        std::free(rows[1]);
        std::free(columnWeight);
        std::free(samples);
        std::free(columns);
        std::free(byteColumn);
    }
};

template <typename Acc>
void ReduceAcross(const uint32_t* samples, const Share* columns, int32_t width, int c, Acc* across) {
    for (int32_t x = 0; x < width; ++x) {
        const Share s = columns[x];
        Acc* a = across + size_t(s.dst) * c;
        const uint32_t* v = samples + size_t(x) * c;
        for (int k = 0; k < c; ++k) a[k] += Acc(v[k]) * (kWhole - s.spill);
        if (s.spill)
            for (int k = 0; k < c; ++k) a[c + k] += Acc(v[k]) * s.spill;
    }
}

// ReduceAcross for 8-bit samples read straight from the row (C of them a
// pixel). Columns wholly inside one output column are first summed as
// plain values and weighted once per run; the sums are the same as
// ReduceAcross gives, in fewer multiplications and without a pass that
// widens the row.
template <int C>
void ReduceAcrossBytes(const uint8_t* row, const Share* columns, int32_t width, uint64_t* across) {
    uint32_t run[C] = {};
    int32_t runDst = columns[0].dst;
    for (int32_t x = 0; x < width; ++x) {
        const uint8_t* v = row + size_t(x) * C;
        const Share s = columns[x];
        if (s.dst != runDst) {
            uint64_t* a = across + size_t(runDst) * C;
            for (int k = 0; k < C; ++k) a[k] += uint64_t(run[k]) * kWhole, run[k] = 0;
            runDst = s.dst;
        }
        if (!s.spill) {
            for (int k = 0; k < C; ++k) run[k] += v[k];
            continue;
        }
        uint64_t* a = across + size_t(s.dst) * C;
        for (int k = 0; k < C; ++k) {
            a[k] += uint64_t(run[k]) * kWhole + uint64_t(v[k]) * (kWhole - s.spill);
            a[C + k] += uint64_t(v[k]) * s.spill;
            run[k] = 0;
        }
    }
    uint64_t* a = across + size_t(runDst) * C;
    for (int k = 0; k < C; ++k) a[k] += uint64_t(run[k]) * kWhole;
}

// The bilevel row read a byte at a time: a byte whose eight pixels are whole
// columns of one output column adds its set-bit count at once; other bytes,
// and the last byte with padding bits, go pixel by pixel. Gives the same sums
// as reading every pixel.
template <typename Acc>
void ReduceBilevelBytes(const uint8_t* row, const Share* columns, const int32_t* byteColumn,
                        int32_t width, Acc* across) {
    const int32_t bytes = (width + 7) / 8;
    for (int32_t b = 0; b < bytes; ++b) {
        const uint8_t v = row[b];
        if (byteColumn[b] >= 0) {
            across[byteColumn[b]] += Acc(__builtin_popcount(v)) * (255u * kWhole);
            continue;
        }
        if (v == 0) continue;
        const int32_t end = b * 8 + 8 < width ? b * 8 + 8 : width;
        for (int32_t x = b * 8; x < end; ++x) {
            if (!((v >> (7 - (x & 7))) & 1)) continue;
            const Share s = columns[x];
            across[s.dst] += Acc(255) * (kWhole - s.spill);
            if (s.spill) across[s.dst + 1] += Acc(255) * s.spill;
        }
    }
}

// Output pixel i of a row = sums / (column weight i x the row's weight).
template <typename Acc, int OutBytes>
void StoreRow(uint8_t* out, const Acc* sums, int32_t width, int c, const uint64_t* columnWeight,
              uint64_t rowWeight, uint32_t maxOut) {
    for (int32_t i = 0; i < width; ++i) {
        const uint64_t divisor = columnWeight[i] * rowWeight;  // below 2^53: the area is below 2^33
        for (int k = 0; k < c; ++k) {
            Acc v = divisor ? sums[size_t(i) * c + k] / divisor : 0;
            if (v > maxOut) v = maxOut;
            WriteSample<OutBytes>(out + (size_t(i) * c + k) * OutBytes, uint32_t(v));
        }
    }
}

template <typename Acc>
void StoreAnyDepth(uint8_t* out, const Acc* sums, int32_t width, const uint64_t* columnWeight, uint64_t rowWeight,
                   const ShrinkPlan& plan) {
    const int c = plan.components;
    switch (plan.outSampleBytes) {
    case 1: StoreRow<Acc, 1>(out, sums, width, c, columnWeight, rowWeight, plan.maxOut); break;
    case 2: StoreRow<Acc, 2>(out, sums, width, c, columnWeight, rowWeight, plan.maxOut); break;
    default: StoreRow<Acc, 4>(out, sums, width, c, columnWeight, rowWeight, plan.maxOut); break;
    }
}

// The common case, 8-bit samples kept as they are, reduced straight from
// the row; false when the row is of another kind.
inline bool ReduceBytesAcross(const ShrinkPlan& plan, const uint8_t* row, const Share* columns, int32_t width,
                              uint64_t* across) {
    if (plan.kind != SourceKind::kSamples || plan.inSampleBytes != 1) return false;
    switch (plan.components) {
    case 1: ReduceAcrossBytes<1>(row, columns, width, across); return true;
    case 3: ReduceAcrossBytes<3>(row, columns, width, across); return true;
    case 4: ReduceAcrossBytes<4>(row, columns, width, across); return true;
    default: return false;
    }
}

// Deeper samples use 128-bit sums and the general path.
inline bool ReduceBytesAcross(const ShrinkPlan&, const uint8_t*, const Share*, int32_t, unsigned __int128*) {
    return false;
}

template <typename Acc>
int ShrinkInto(const Bitmap* src, Bitmap* out, const ShrinkPlan& plan, bool bilevelBytes,
               RowProgressCallback progress, uintptr_t user) {
    const int c = plan.components;
    const size_t sums = size_t(out->width) * size_t(c);
    const size_t spare = size_t(c);  // the spill past the last output pixel lands here unused
    Buffers<Acc> buf;
    buf.across = static_cast<Acc*>(AllocArray(sums + spare, sizeof(Acc)));
    buf.rows[0] = static_cast<Acc*>(AllocArray(sums, sizeof(Acc)));
    buf.rows[1] = static_cast<Acc*>(AllocArray(sums, sizeof(Acc)));
    buf.columns = static_cast<Share*>(AllocArray(size_t(src->width), sizeof(Share)));
    buf.columnWeight = static_cast<uint64_t*>(AllocArray(size_t(out->width) + 1, sizeof(uint64_t)));
    bool ok = buf.across && buf.rows[0] && buf.rows[1] && buf.columns && buf.columnWeight;
    if (bilevelBytes) {
        buf.byteColumn = static_cast<int32_t*>(AllocArray(size_t(src->width) / 8 + 1, sizeof(int32_t)));
        ok = ok && buf.byteColumn;
    } else {
        buf.samples = static_cast<uint32_t*>(AllocArray(size_t(src->width), sizeof(uint32_t) * size_t(c)));
        ok = ok && buf.samples;
    }
    if (!ok) return kGeometryNoMemory;

    ShareWalk across(src->width, out->width);
    for (int32_t x = 0; x < src->width; ++x) {
        const Share s = buf.columns[x] = across.Next();
        buf.columnWeight[s.dst] += kWhole - s.spill;
        buf.columnWeight[s.dst + 1] += s.spill;
    }
    if (bilevelBytes) {
        for (int32_t b = 0; b * 8 < src->width; ++b) {
            int32_t dst = -1;
            if (b * 8 + 8 <= src->width) {
                dst = buf.columns[b * 8].dst;
                for (int32_t x = b * 8; x < b * 8 + 8 && dst >= 0; ++x)
                    if (buf.columns[x].spill || buf.columns[x].dst != dst) dst = -1;
            }
            buf.byteColumn[b] = dst;
        }
    }

    ShareWalk down(src->height, out->height);
    uint64_t rowWeight[2] = {0, 0};  // of the current and the next output row
    int32_t outRow = 0;
    for (int32_t y = 0; y < src->height && outRow < out->height; ++y) {
        if (progress && progress(y, out->height, user)) return kGeometryStopped;
        std::memset(buf.across, 0, (sums + spare) * sizeof(Acc));
        if (bilevelBytes) {
            ReduceBilevelBytes(Row(src, y), buf.columns, buf.byteColumn, src->width, buf.across);
        } else if (!ReduceBytesAcross(plan, Row(src, y), buf.columns, src->width, buf.across)) {
            ReadSamples(plan, Row(src, y), src->width, buf.samples);
            ReduceAcross(buf.samples, buf.columns, src->width, c, buf.across);
        }
        const Share s = down.Next();
        Acc* cur = buf.rows[0];
        Acc* next = buf.rows[1];
        for (size_t i = 0; i < sums; ++i) {
            cur[i] += buf.across[i] * (kWhole - s.spill);
            if (s.spill) next[i] += buf.across[i] * s.spill;
        }
        rowWeight[0] += kWhole - s.spill;
        rowWeight[1] += s.spill;
        if (s.ends) {
            StoreAnyDepth(Row(out, outRow), cur, out->width, buf.columnWeight, rowWeight[0], plan);
            ++outRow;
            std::memset(cur, 0, sums * sizeof(Acc));
            buf.rows[0] = next;
            buf.rows[1] = cur;
            rowWeight[0] = rowWeight[1];
            rowWeight[1] = 0;
        }
    }
    if (outRow < out->height)
        StoreAnyDepth(Row(out, outRow), buf.rows[0], out->width, buf.columnWeight, rowWeight[0], plan);
    return kGeometryDone;
}

// Builds the plan for `src`; kGeometryBadSize when the source cannot be
// read this way (a grey picture with fewer than two levels).
int MakePlan(const Bitmap* src, const Layout& layout, uint16_t outputType, ShrinkPlan* plan,
             uint16_t* outType, uint16_t* outBits) {
    std::memset(plan, 0, sizeof *plan);
    plan->components = layout.components;
    plan->inSampleBytes = layout.sampleBytes;
    plan->outSampleBytes = 1;
    plan->maxOut = 255;
    *outType = src->pixelType;
    *outBits = 8;
    switch (src->pixelType) {
    case kPixelBilevel:
        plan->kind = SourceKind::kBits;
        *outType = kPixelGrey;
        break;
    case kPixelPalette: {
        plan->kind = SourceKind::kLookup3;
        plan->components = 3;
        *outType = outputType == kPixelRGB ? kPixelRGB : kPixelBGR;
        const size_t first = *outType == kPixelRGB ? 0 : kPaletteBlue;
        const size_t last = *outType == kPixelRGB ? kPaletteBlue : 0;
        for (int i = 0; i < 256; ++i) {
            plan->lut[i * 3] = src->palette[first + i];
            plan->lut[i * 3 + 1] = src->palette[kPaletteGreen + i];
            plan->lut[i * 3 + 2] = src->palette[last + i];
        }
        break;
    }
    case kPixelGrey:
        if (layout.sampleBytes == 1) {
            // Levels 0 .. count - 1 spread over 0 .. 255.
            if (src->paletteCount < 2) return kGeometryBadSize;
            plan->kind = SourceKind::kLookup1;
            for (uint32_t i = 0; i < 256; ++i) {
                const uint32_t v = i * 255u / uint32_t(src->paletteCount - 1);
                plan->lut[i] = v > 255 ? 255 : v;
            }
            break;
        }
        [[fallthrough]];
    default:
        plan->kind = SourceKind::kSamples;
        plan->outSampleBytes = layout.sampleBytes;
        plan->maxOut = layout.maxSample;
        *outBits = src->bitsPerSample;
        break;
    }
    return kGeometryDone;
}

// The shrunk picture in `out`, not yet handed over by the output convention
// (no orientation, resolution, comment or metadata of its own).
int ShrinkPicture(Bitmap* src, Bitmap* out, int32_t width, int32_t height, uint16_t outputType,
                  RowProgressCallback progress, uintptr_t user, bool bilevelOnly, bool bilevelBytes) {
    if (width < 1 || height < 1) return kGeometryBadSize;
    Layout layout;
    int rc = CheckSource(src, &layout);
    if (rc != kGeometryDone) return rc;
    if (bilevelOnly && src->pixelType != kPixelBilevel) return kGeometryBadSize;
    if (width > src->width || height > src->height) return kGeometryBadSize;

    ShrinkPlan plan;
    uint16_t outType, outBits;
    rc = MakePlan(src, layout, outputType, &plan, &outType, &outBits);
    if (rc != kGeometryDone) return rc;
    rc = NewPicture(out, outType, src->rowAlignment, width, height, outBits);
    if (rc != kGeometryDone) return rc;

    const bool bytes = bilevelBytes && src->pixelType == kPixelBilevel;
    // Sums reach the largest sample x 1024 x 1024 x 4 x the source's area:
    // below 2^64 for bytes (the area is below 2^31), not for deeper samples.
    rc = layout.sampleBytes > 1 ? ShrinkInto<unsigned __int128>(src, out, plan, bytes, progress, user)
                                 : ShrinkInto<uint64_t>(src, out, plan, bytes, progress, user);
    if (rc != kGeometryDone) {
        FreeBitmap(out);
        return rc;
    }
    if (src->pixelType == kPixelPalette || src->pixelType == kPixelBilevel) {
        out->paletteCount = outType == kPixelGrey ? 256 : 0;
        out->transparentIndex = -1;
    } else if (outType == kPixelGrey) {
        // Grey levels were spread over 0 .. 255 (8-bit), or kept (deep).
        out->paletteCount = 256;
        out->transparentIndex = src->transparentIndex;
        if (plan.kind == SourceKind::kLookup1 && src->transparentIndex >= 0 && src->transparentIndex <= 255)
            out->transparentIndex = int16_t(plan.lut[src->transparentIndex]);
    } else {
        out->paletteCount = src->paletteCount;
        out->transparentIndex = src->transparentIndex;
    }
    return kGeometryDone;
}

int Shrink(Bitmap* src, Bitmap* dst, int32_t width, int32_t height, uint16_t outputType,
           RowProgressCallback progress, uintptr_t user, bool bilevelOnly, bool bilevelBytes) {
    Bitmap out;
    const int rc = ShrinkPicture(src, &out, width, height, outputType, progress, user, bilevelOnly, bilevelBytes);
    if (rc == kGeometryDone) Deliver(src, dst, &out);
    return rc;
}

}  // namespace

int BitmapShrinkArea(Bitmap* src, Bitmap* dst, int32_t width, int32_t height, uint16_t outputType,
                     RowProgressCallback progress, uintptr_t user) {
    return Shrink(src, dst, width, height, outputType, progress, user, false, false);
}

int BitmapShrinkBilevel(Bitmap* src, Bitmap* dst, int32_t width, int32_t height) {
    // Wide steps read whole bytes; both give the same pixels.
    const bool bytes = src && width >= 1 && double(src->width) / double(width) >= 10.0;
    return Shrink(src, dst, width, height, kPixelGrey, nullptr, 0, true, bytes);
}

int BitmapShrinkBilevelBytes(Bitmap* src, Bitmap* dst, int32_t width, int32_t height) {
    return Shrink(src, dst, width, height, kPixelGrey, nullptr, 0, true, true);
}

int BitmapResize(Bitmap* src, Bitmap* dst, int32_t width, int32_t height, uint16_t outputType) {
    if (width < 1 || height < 1 || !src) return kGeometryBadSize;
    if (src->pixelType == kPixelBilevel) {
        if (width >= src->width || height > src->height) return kGeometryBadSize;
        return BitmapShrinkBilevel(src, dst, width, height);
    }
    if (width <= src->width && height <= src->height)
        return BitmapShrinkArea(src, dst, width, height, outputType, nullptr, 0);
    // Larger on either side: the area sums assume every output pixel covers
    // at least one source pixel, so the shrink only converts the type at the
    // source's own size (palette to true colour, grey levels over the byte)
    // and filtered resampling makes the size.
    Bitmap converted;
    int rc = ShrinkPicture(src, &converted, src->width, src->height, outputType, nullptr, 0, false, false);
    if (rc != kGeometryDone) return rc;
    Bitmap out{};
    rc = BitmapResample(&converted, &out, width, height, 0);
    FreeBitmap(&converted);
    if (rc == kGeometryDone) Deliver(src, dst, &out);
    return rc;
}
