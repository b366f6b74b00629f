// Resampling to any size: filtered (area average when shrinking, linear
// interpolation when enlarging) and plain sampling.
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "imagelib/checked.h"
#include "imagelib/geometry.h"
#include "imagelib/geometry/geometry_internal.h"

using namespace geometry;

namespace {

// One step of the walk along an axis: the part of source pixel `src` that
// output pixel `dst` covers (`span`), and where that part ends inside the
// source pixel (`end`, 0..1), which is where the interpolating filters sample.
struct Step {
    int32_t src;
    int32_t dst;
    double span;
    double end;
};

// Walks `outCount` output pixels of `scale` source pixels each over
// `srcCount` source pixels. An output pixel that ends inside a source pixel
// (within 0.0001) is one step; one that crosses source pixel boundaries adds
// a step per boundary. Positions are products, not running sums, so long
// walks do not drift, and the walk never leaves the source.
class AxisWalk {
public:
    AxisWalk(int32_t srcCount, int32_t outCount)
        : srcCount_(srcCount), outCount_(outCount), scale_(double(srcCount) / double(outCount)) {}

    // The next step; false after the last output pixel. `complete` tells
    // whether the step finishes its output pixel.
    bool Next(Step* step, bool* complete) {
        if (out_ >= outCount_) return false;
        const double end = double(out_ + 1) * scale_;
        if (end <= double(src_) + 1.0001 || src_ == srcCount_ - 1) {
            *step = Step{src_, out_, end - consumed_, Clamp01(end - double(src_))};
            consumed_ = end;
            ++out_;
            *complete = true;
        } else {
            *step = Step{src_, out_, double(src_ + 1) - consumed_, 1.0};
            consumed_ = double(src_ + 1);
            ++src_;
            *complete = false;
        }
        return true;
    }

    double scale() const { return scale_; }

private:
    static double Clamp01(double v) { return v < 0.0 ? 0.0 : v > 1.0 ? 1.0 : v; }

    int32_t srcCount_;
    int32_t outCount_;
    double scale_;
    int32_t src_ = 0;
    int32_t out_ = 0;
    double consumed_ = 0.0;
};

enum class Filter { kBilinear, kAcross, kDown, kArea };

struct ColumnStep {
    Step step;
    bool complete;
};

// Accumulates one source-row step into the output row's sums. P is the
// current pixel, R the one to its right, D the one below, DR both (each
// repeats the edge pixel at the last column or row).
template <Filter F, int SampleBytes>
void AccumulateRow(double* acc, const std::vector<ColumnStep>& columns, const uint8_t* row,
                   const uint8_t* below, int32_t width, int components, double dy, double fy) {
    const int pixelBytes = components * SampleBytes;
    for (const ColumnStep& cs : columns) {
        const Step& s = cs.step;
        const double w = s.span * dy;
        const double fx = s.end;
        const size_t at = size_t(s.src) * size_t(pixelBytes);
        const size_t right = s.src + 1 < width ? at + size_t(pixelBytes) : at;
        double* a = acc + size_t(s.dst) * size_t(components);
        for (int k = 0; k < components; ++k) {
            const size_t o = size_t(k) * SampleBytes;
            const double p = ReadSample<SampleBytes>(row + at + o);
            if constexpr (F == Filter::kArea) {
                a[k] += w * p;
            } else if constexpr (F == Filter::kAcross) {
                const double pr = ReadSample<SampleBytes>(row + right + o);
                a[k] += w * (p * (1.0 - fx) + pr * fx);
            } else if constexpr (F == Filter::kDown) {
                const double pd = ReadSample<SampleBytes>(below + at + o);
                a[k] += w * (p * (1.0 - fy) + pd * fy);
            } else {
                const double pr = ReadSample<SampleBytes>(row + right + o);
                const double pd = ReadSample<SampleBytes>(below + at + o);
                const double pdr = ReadSample<SampleBytes>(below + right + o);
                a[k] += w * ((pdr * fx + pd * (1.0 - fx)) * fy + (p * (1.0 - fx) + pr * fx) * (1.0 - fy));
            }
        }
    }
}

template <int SampleBytes>
void StoreRow(uint8_t* out, double* acc, size_t count, double factor, uint32_t maxSample) {
    for (size_t i = 0; i < count; ++i) {
        double v = acc[i] * factor + 0.0001;
        if (v < 0.0) v = 0.0;
        if (v > double(maxSample)) v = double(maxSample);
        WriteSample<SampleBytes>(out + i * SampleBytes, uint32_t(v));
        acc[i] = 0.0;
    }
}

// The area filter on 8-bit samples walks segments instead of steps: a run
// of whole source pixels (span 1) of one output pixel, summed as integers
// and weighted once, or one part pixel. The sums differ from step-by-step
// weighting only in the last bits, far below the 0.0001 that StoreRow adds
// before truncating.
struct AreaSegment {
    int32_t src;
    int32_t count;  // whole pixels from src; 0: the one part pixel src
    int32_t dst;
    double span;    // part pixels only
};

bool MakeAreaSegments(const std::vector<ColumnStep>& columns, std::vector<AreaSegment>* segments) {
    try {
        for (const ColumnStep& cs : columns) {
            const Step& s = cs.step;
            if (s.span != 1.0) {
                segments->push_back(AreaSegment{s.src, 0, s.dst, s.span});
            } else if (!segments->empty() && segments->back().count > 0 && segments->back().dst == s.dst &&
                       segments->back().src + segments->back().count == s.src) {
                ++segments->back().count;
            } else {
                segments->push_back(AreaSegment{s.src, 1, s.dst, 1.0});
            }
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

template <int C>
void AccumulateAreaBytes(double* acc, const std::vector<AreaSegment>& segments, const uint8_t* row, double dy) {
    for (const AreaSegment& seg : segments) {
        const uint8_t* p = row + size_t(seg.src) * C;
        double* a = acc + size_t(seg.dst) * C;
        if (seg.count == 0) {
            const double w = seg.span * dy;
            for (int k = 0; k < C; ++k) a[k] += w * p[k];
            continue;
        }
        uint32_t sum[C] = {};
        for (int32_t i = 0; i < seg.count; ++i, p += C)
            for (int k = 0; k < C; ++k) sum[k] += p[k];
        for (int k = 0; k < C; ++k) a[k] += dy * double(sum[k]);
    }
}

// The rows of an area resample of 8-bit samples (C of them a pixel).
template <int C>
void ResampleAreaBytes(const Bitmap* src, Bitmap* out, const Layout& layout, const std::vector<AreaSegment>& segments,
                       double* acc) {
    AxisWalk down(src->height, out->height);
    const double factor = 1.0 / (down.scale() * (double(src->width) / double(out->width)));
    const size_t rowSamples = size_t(out->width) * C;
    Step step;
    bool complete;
    while (down.Next(&step, &complete)) {
        AccumulateAreaBytes<C>(acc, segments, Row(src, step.src), step.span);
        if (complete) StoreRow<1>(Row(out, step.dst), acc, rowSamples, factor, layout.maxSample);
    }
}

template <Filter F, int SampleBytes>
void ResampleRows(const Bitmap* src, Bitmap* out, const Layout& layout,
                  const std::vector<ColumnStep>& columns, double* acc) {
    AxisWalk down(src->height, out->height);
    const double factor = 1.0 / (down.scale() * (double(src->width) / double(out->width)));
    const size_t rowSamples = size_t(out->width) * size_t(layout.components);
    Step step;
    bool complete;
    while (down.Next(&step, &complete)) {
        const int32_t below = step.src + 1 < src->height ? step.src + 1 : step.src;
        AccumulateRow<F, SampleBytes>(acc, columns, Row(src, step.src), Row(src, below), src->width,
                                      layout.components, step.span, step.end);
        if (complete) StoreRow<SampleBytes>(Row(out, step.dst), acc, rowSamples, factor, layout.maxSample);
    }
}

template <Filter F>
void ResampleRowsAnyDepth(const Bitmap* src, Bitmap* out, const Layout& layout,
                          const std::vector<ColumnStep>& columns, double* acc) {
    if constexpr (F == Filter::kArea) {
        std::vector<AreaSegment> segments;
        const int c = layout.components;
        if (layout.sampleBytes == 1 && (c == 1 || c == 3 || c == 4) && MakeAreaSegments(columns, &segments)) {
            if (c == 1) ResampleAreaBytes<1>(src, out, layout, segments, acc);
            else if (c == 3) ResampleAreaBytes<3>(src, out, layout, segments, acc);
            else ResampleAreaBytes<4>(src, out, layout, segments, acc);
            return;
        }
    }
    switch (layout.sampleBytes) {
    case 1: ResampleRows<F, 1>(src, out, layout, columns, acc); break;
    case 2: ResampleRows<F, 2>(src, out, layout, columns, acc); break;
    default: ResampleRows<F, 4>(src, out, layout, columns, acc); break;
    }
}

}  // namespace

int BitmapResample(Bitmap* src, Bitmap* dst, int32_t width, int32_t height, uint16_t mode) {
    if (width < 1 || height < 1) return kGeometryBadSize;
    Layout layout;
    int rc = CheckSource(src, &layout);
    if (rc != kGeometryDone) return rc;
    if (mode == kResampleNearest || src->pixelType == kPixelPalette || src->pixelType == kPixelBilevel)
        return BitmapResampleNearest(src, dst, width, height);

    Bitmap out;
    rc = NewPictureLike(&out, src, width, height);
    if (rc != kGeometryDone) return rc;

    std::vector<ColumnStep> columns;
    auto* acc = static_cast<double*>(AllocArray(size_t(width), sizeof(double) * size_t(layout.components)));
    size_t steps;
    bool ok = acc && CheckedAdd(size_t(width), size_t(src->width), &steps);
    if (ok) {
        try {
            columns.reserve(steps);
            AxisWalk across(src->width, width);
            ColumnStep cs;
            while (across.Next(&cs.step, &cs.complete)) columns.push_back(cs);
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    if (!ok) {
        std::free(acc);
        FreeBitmap(&out);
        return kGeometryNoMemory;
    }

    const bool enlargeAcross = src->width < width;
    const bool enlargeDown = src->height < height;
    if (enlargeAcross && enlargeDown) ResampleRowsAnyDepth<Filter::kBilinear>(src, &out, layout, columns, acc);
    else if (enlargeAcross) ResampleRowsAnyDepth<Filter::kAcross>(src, &out, layout, columns, acc);
    else if (enlargeDown) ResampleRowsAnyDepth<Filter::kDown>(src, &out, layout, columns, acc);
    else ResampleRowsAnyDepth<Filter::kArea>(src, &out, layout, columns, acc);

    std::free(acc);
    Deliver(src, dst, &out);
    return kGeometryDone;
}

int BitmapResampleNearest(Bitmap* src, Bitmap* dst, int32_t width, int32_t height) {
    if (width < 1 || height < 1) return kGeometryBadSize;
    Layout layout;
    int rc = CheckSource(src, &layout);
    if (rc != kGeometryDone) return rc;
    Bitmap out;
    rc = NewPictureLike(&out, src, width, height);
    if (rc != kGeometryDone) return rc;
    // Column table: the source pixel (bilevel) or byte offset of each output column.
    auto* columns = static_cast<uint32_t*>(AllocArray(size_t(width), sizeof(uint32_t)));
    if (!columns) {
        FreeBitmap(&out);
        return kGeometryNoMemory;
    }
    const bool bilevel = src->pixelType == kPixelBilevel;
    const uint32_t unit = bilevel ? 1u : uint32_t(layout.pixelBytes);
    for (int32_t i = 0; i < width; ++i)
        columns[i] = uint32_t(int64_t(src->width) * i / width) * unit;  // fits: below bytes per row
    const size_t pixelBytes = size_t(layout.pixelBytes);
    for (int32_t j = 0; j < height; ++j) {
        const uint8_t* from = Row(src, int32_t(int64_t(src->height) * j / height));
        uint8_t* to = Row(&out, j);
        if (bilevel) {
            for (int32_t i = 0; i < width; ++i) OrRowBit(to, i, GetRowBit(from, int32_t(columns[i])));
        } else if (pixelBytes == 1) {
            for (int32_t i = 0; i < width; ++i) to[i] = from[columns[i]];
        } else if (pixelBytes == 3) {
            for (int32_t i = 0; i < width; ++i, to += 3) std::memcpy(to, from + columns[i], 3);
        } else {
            for (int32_t i = 0; i < width; ++i, to += pixelBytes) std::memcpy(to, from + columns[i], pixelBytes);
        }
    }
    std::free(columns);
    Deliver(src, dst, &out);
    return kGeometryDone;
}
