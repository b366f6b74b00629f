// Begin image and row delivery: BeginImage checks a reader's declaration,
// decides the output mode and the scaling, allocates the output bitmap and
// the row buffers; PutScanlines and PutStripRows carry each source row through
// the unpacker, the mirror, the scaling and the storer into the bitmap, with
// progress and cancel checks.
//
// Portable: no platform headers.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "checked.h"
#include "formats.h"
#include "load.h"
#include "loadcontext.h"
#include "pixelrows.h"
#include "readconvert.h"
#include "textutil.h"

namespace {

constexpr int32_t kSideLimit = 400000;     // width and height stay below
constexpr int32_t kBlockRows = 64;         // rows per call allowed past the height (block readers)
constexpr uint32_t kNoSmoothWhileLoading = 0x15ec004;
constexpr uint32_t kColourSpaceFlags = 0x1e0000;
constexpr int kProgressBarWidth = 60;
// Largest buffer a declaration may ask for: the output bitmap's own limit.
constexpr size_t kBufferLimit = size_t(std::numeric_limits<int32_t>::max());

template <typename T>
void FreeAndClear(T*& p) {
    std::free(p);
    p = nullptr;
}

// Frees the pixels and palette of a picture begun earlier in this load; the
// comment and metadata stay with the load.
void DiscardPixels(Bitmap* b) {
    if (!b) return;
    FreeAndClear(b->pixels);
    FreeAndClear(b->palette);
    MetadataBlock* metadata = b->metadata;
    char* comment = b->comment;
    std::memset(b, 0, sizeof *b);
    b->metadata = metadata;
    b->comment = comment;
}

uint32_t ChooseOutputMode(uint32_t headerFlags, int bpp, int c, uint32_t f) {
    if ((headerFlags & (kHeaderCmykInverted | kHeaderCmyk)) && bpp == 32) return 1952;
    if (c < 2) {
        if (bpp <= 8) {
            if ((f & kLoadLowDepthAsColour) && (f & kLoadPreferFourBytes)) return 1952;
            if (f & kLoadLowDepthAsColour) return 80;
            if (bpp == 1 && !(f & kLoadNoBilevel)) return 1;
            return 2;
        }
        if (bpp <= 24) {
            if (c == 1 && bpp >= 10) return 2;
            return (f & kLoadPreferFourBytes) ? 1952 : 80;
        }
        if (c == 1) return 2;
        return (f & kLoadPreferThreeBytes) ? 80 : 1952;
    }
    return (c != 4 && !(f & kLoadPreferFourBytes)) ? 80 : 1952;
}

// Deep samples reach the bitmap as they are: the colour spaces that the end
// of a load converts from bytes cannot be kept deep (CMYK can, when the load
// keeps CMYK).
bool DeepKeepsItsSpace(uint32_t headerFlags, uint32_t loadFlags) {
    const uint32_t cmyk = kHeaderCmykInverted | kHeaderCmyk;
    if (headerFlags & kColourSpaceFlags) return false;
    return !(headerFlags & cmyk) || ((headerFlags & kHeaderCmyk) && !(headerFlags & kHeaderCmykInverted) &&
                                     (loadFlags & kLoadKeepCmyk));
}

// The texts are copied whole: each field has the size of the header's.
static_assert(sizeof(ImageInfo::description) == sizeof(ImageHeader::description), "description sizes differ");
static_assert(sizeof(ImageInfo::compressionText) == sizeof(ImageHeader::compressionText),
              "compression text sizes differ");

void FillInfo(LoadContext* ctx, const ImageHeader* h, int32_t xres, int32_t yres) {
    ImageInfo* info = ctx->info;
    if (!info) return;
    CopyTextBounded(info->description, sizeof info->description, h->description);
    info->orientation = h->orientation;
    if (h->components >= 1) {
        info->bitsPerSample = uint16_t(h->bitsPerPlane);
        info->components = uint16_t(h->components);
    } else if (h->bitsPerPlane <= 8) {
        info->bitsPerSample = uint16_t(h->bitsPerPlane);
        info->components = uint16_t(h->planes);
    } else {
        info->bitsPerSample = 8;
        info->components = uint16_t(h->bitsPerPlane / 8);
    }
    info->planes = uint16_t(h->planes);
    info->bitsPerPlane = uint16_t(h->bitsPerPlane);
    info->xResolution = uint16_t(xres);
    info->yResolution = uint16_t(yres);
    info->compression = h->compression;
    info->colourSpace = h->colourSpace;
    CopyTextBounded(info->compressionText, sizeof info->compressionText, h->compressionText);
    if (h->fullWidth >= 1) {
        info->width = h->fullWidth;
        info->height = h->fullHeight;
        info->bytesPerPlane = h->fullBytesPerPlane;
        info->bitsPerSample = uint16_t(h->fullBitsPerSample);
        info->components = uint16_t(h->fullComponents);
    } else {
        info->width = h->width;
        info->height = h->height;
        info->bytesPerPlane = h->bytesPerPlane;
    }
}

void PrintRecognised(const LoadContext* ctx, const ImageHeader* h, int bpp, int32_t xres, int32_t yres) {
    // Nothing here may throw: the load is a C-style call.
    char name[512] = "";
    if (ctx->fileName) WideToUtf8Bounded(ctx->fileName, name, sizeof name);
    const int descriptionLength = int(strnlen(h->description, sizeof h->description));
    const char* space = GetColourSpaceName(h->colourSpace);
    if (h->compression != 0) {
        char compression[64];
        char own[sizeof h->compressionText + 1] = "";
        std::memcpy(own, h->compressionText, strnlen(h->compressionText, sizeof h->compressionText));
        FormatCompressionText(compression, sizeof compression, h->compression, own);
        std::printf("A %.*s (%s) - %s was recognized : %s\n", descriptionLength, h->description, space, compression,
                    name);
    } else {
        std::printf("A %.*s (%s) was recognized : %s\n", descriptionLength, h->description, space, name);
    }
    std::printf("    Width:%d Height:%d with %lu colors\n", h->width, h->height,
                static_cast<unsigned long>(1ul << std::min(bpp, 24)));
    std::printf("    Nplanes : %d      Bitscount : %d\n", h->planes, h->bitsPerPlane);
    std::printf("    Bytes Per Plane : %d \n", static_cast<int>(h->bytesPerPlane));
    std::printf("    xdpi : %d         ydpi : %d\n", xres, yres);
}

// The fitted size of round(target x side / other side), as the scaling on the
// fly computes it.
int32_t RoundedScale(int64_t target, int64_t numerator, int64_t denominator) {
    const double v = double(target) * double(numerator) / double(denominator) + 0.5;
    return v < 1.0 ? 1 : static_cast<int32_t>(v);
}

// Whole three-byte pixels that the smooth scaling may average while the
// rows arrive.
bool AveragesWhileLoading(const LoadRowState* rs) {
    return !(rs->headerFlags & kNoSmoothWhileLoading) && rs->bitsPerPlane == 24;
}

// What box averaging sums, by how the rows come; kBoxNone when it cannot
// average them (they are then point-sampled):
//  - whole pixels unpacked to three or four samples (colour, CMYK or
//    L*a*b*), a fourth alpha sample weighting the colours;
//  - the one sample of each plane, for byte planes delivered separately;
//  - values of at most 8 bits that the reader declared: grey levels, or
//    palette indexes summed as their colours.
enum BoxPixels { kBoxNone, kBoxSamples, kBoxPlane, kBoxGrey, kBoxPalette };

BoxPixels BoxPixelsOf(const LoadRowState* rs, const ImageHeader* h) {
    if (h->components >= 1) return kBoxNone;
    if (rs->separatePlanes) return rs->bitsPerPlane == 8 ? kBoxPlane : kBoxNone;
    if (rs->bitsPerPixel > 8) return kBoxSamples;
    if (rs->headerFlags & kHeaderGreyLevels) return kBoxGrey;
    return h->palette ? kBoxPalette : kBoxNone;
}

// Sets up what the box averaging of `kind` needs before the converters are
// chosen: the sums per pixel, the value table of declared values and the
// output they call for (grey levels widened to bytes, never bilevel;
// palette colours as three- or four-byte pixels).
void PrepareBoxPixels(LoadContext* ctx, const ImageHeader* h, BoxPixels kind) {
    LoadRowState* rs = &ctx->row;
    const uint32_t colourSpaces = kHeaderCmykInverted | kHeaderCmyk | kHeaderLabUnsigned | kHeaderLabUnsignedD50 |
                                  kHeaderLabSignedD50 | kHeaderLabSigned;
    switch (kind) {
    case kBoxSamples:
        rs->premultiply = rs->internalBytesPerPixel == 4 && !(rs->headerFlags & colourSpaces);
        // Premultiplied colours and alpha, and the plain colours for cells
        // whose alpha is zero throughout.
        rs->smoothSamples = rs->premultiply ? 7 : rs->internalBytesPerPixel;
        return;
    case kBoxPlane: rs->smoothSamples = 1; return;
    case kBoxGrey: {
        rs->smoothSamples = 1;
        rs->valueBytes = 1;
        const unsigned max = (1u << rs->bitsPerPixel) - 1;
        for (unsigned v = 0; v < 256; ++v) rs->values[v][0] = WidenField(v > max ? max : v, rs->bitsPerPixel);
        rs->valuesPlain = 1;
        for (unsigned v = 0; v < 256; ++v) rs->valuesPlain &= uint8_t(rs->values[v][0] == v);
        if (rs->outputMode == 1) {
            rs->outputMode = 2;
            rs->outBytesPerPixel = 1;
        }
        rs->finishedBits = 8;
        return;
    }
    case kBoxPalette: {
        rs->smoothSamples = 3;
        rs->valueBytes = 3;
        rs->valuesPlain = 0;
        uint8_t palette[kPaletteBytes] = {};
        ConvertReaderPalette(palette, h->palette, h->paletteLayout, h->paletteBits, 1 << rs->bitsPerPixel);
        for (int i = 0; i < 256; ++i) {
            rs->values[i][0] = palette[i];
            rs->values[i][1] = palette[kPaletteGreen + i];
            rs->values[i][2] = palette[kPaletteBlue + i];
            rs->valueLanes[i] = uint64_t(palette[i]) | uint64_t(palette[kPaletteGreen + i]) << 21 |
                                uint64_t(palette[kPaletteBlue + i]) << 42;
        }
        if (rs->outputMode == 1 || rs->outputMode == 2) {
            rs->outputMode = (ctx->options.flags & kLoadPreferFourBytes) ? 1952 : 80;
            rs->outBytesPerPixel = rs->outputMode == 1952 ? 4 : 3;
        }
        rs->finishedBits = 24;
        return;
    }
    case kBoxNone: return;
    }
}

// Sets the output size and the scaling mode; allocates nothing.
void ChooseScaling(LoadContext* ctx, const ImageHeader* h) {
    LoadRowState* rs = &ctx->row;
    LoadOptions& o = ctx->options;
    const int32_t w = rs->srcWidth;
    const int32_t hgt = rs->srcHeight;
    rs->outWidth = w;
    rs->outHeight = hgt;
    rs->scaleMode = kScaleNone;
    const int32_t tw = o.targetWidth;
    const int32_t th = o.targetHeight;
    if (tw < 1 || th < 1 || (o.keepReaderReduction == 1 && h->fullWidth >= 1) || (w <= tw && hgt <= th)) {
        o.targetWidth = w;
        o.targetHeight = hgt;
        return;
    }
    int32_t outW = tw;
    int32_t outH = RoundedScale(tw, hgt, w);
    if (outH > th) {
        outW = RoundedScale(th, w, hgt);
        outH = th;
    }
    // The fit never enlarges: one side is beyond its box.
    outW = std::min(std::max(outW, 1), w);
    outH = std::min(std::max(outH, 1), hgt);

    if (o.scaleMethod != 2) {
        if (rs->headerFlags & (kHeaderFitAfterLoad | kHeaderFitAfterLoad2)) {
            rs->scaleMode = kScaleNearestAfterLoad;
            return;
        }
        // Point samples of a reduced picture alias (fine patterns come out
        // as stripes or as one of their colours): a reduced load averages
        // instead wherever it can.
        const BoxPixels box = (o.flags & kLoadReduced) ? BoxPixelsOf(rs, h) : kBoxNone;
        rs->scaleMode = box != kBoxNone ? kScaleBox : kScaleNearest;
        PrepareBoxPixels(ctx, h, box);
    } else if (!AveragesWhileLoading(rs)) {
        rs->scaleMode = kScaleSmoothAfterLoad;
        return;
    } else {
        rs->scaleMode = kScaleSmooth;
    }
    rs->outWidth = outW;
    rs->outHeight = outH;
}

// Rows that arrive out of order revisit output rows already written: the
// sums of every output row are then kept, so each writing holds all the
// source rows that arrived for it.
bool BoxKeepsEveryRow(const LoadRowState* rs) {
    return (rs->headerFlags & kHeaderRowsOutOfOrder) && !rs->separatePlanes;
}

// Bytes the tables of the chosen scaling take (an upper bound).
size_t ScalingTableBytes(const LoadRowState* rs) {
    const size_t w = size_t(rs->srcWidth);
    if (rs->scaleMode == kScaleNearest) return (size_t(rs->srcHeight) + w) * sizeof(int32_t);
    if (rs->scaleMode == kScaleBox) {
        const size_t sumRows = BoxKeepsEveryRow(rs) ? size_t(rs->outHeight) : 1;
        return (size_t(rs->srcHeight) + w + 1 + size_t(rs->outHeight)) * sizeof(int32_t) +
               sumRows * size_t(rs->outWidth) * size_t(rs->smoothSamples) * sizeof(uint64_t) +
               size_t(rs->outWidth) * 4 + w * rs->valueBytes;
    }
    if (rs->scaleMode != kScaleSmooth) return 0;
    const size_t samples = size_t(rs->internalBytesPerPixel);
    const size_t cells = (size_t(rs->outWidth) + 10) * samples;
    return w * samples + 2 * cells * sizeof(uint64_t) + w * sizeof(int32_t);
}

// Builds the tables of the scaling ChooseScaling chose; false when a table
// cannot be allocated.
bool AllocScalingTables(LoadContext* ctx) {
    LoadRowState* rs = &ctx->row;
    const int32_t w = rs->srcWidth;
    const int32_t hgt = rs->srcHeight;
    const int32_t outW = rs->outWidth;
    const int32_t outH = rs->outHeight;
    if (rs->scaleMode == kScaleNearest) {
        rs->rowTable = static_cast<int32_t*>(std::malloc(size_t(hgt) * sizeof(int32_t)));
        // Bilevel output: the source column of each output column. Otherwise
        // the output column of each source column.
        const bool bilevel = rs->outputMode == 1;
        const int32_t columns = bilevel ? outW : w;
        rs->columnTable = static_cast<int32_t*>(std::malloc(size_t(columns) * sizeof(int32_t)));
        if (!rs->rowTable || !rs->columnTable) return false;
        int32_t last = -1;
        for (int32_t y = 0; y < hgt; ++y) {
            const auto e = static_cast<int32_t>(int64_t(y) * outH / hgt);
            rs->rowTable[y] = e == last ? -1 : e;
            last = e;
        }
        for (int32_t x = 0; x < columns; ++x)
            rs->columnTable[x] = bilevel ? static_cast<int32_t>(int64_t(x) * w / outW)
                                         : static_cast<int32_t>(int64_t(x) * outW / w);
        return true;
    }
    if (rs->scaleMode == kScaleBox) {
        // Source row y goes to output row y x outH / srcH, source column x
        // to output column x x outW / srcW (truncated): output column X
        // starts at source column ceil(X x srcW / outW), and the table ends
        // with srcW. As srcW >= outW, no output column is empty.
        rs->boxRow = -1;
        rs->boxPlane = 0;
        const size_t sumRows = BoxKeepsEveryRow(rs) ? size_t(outH) : 1;
        rs->rowTable = static_cast<int32_t*>(std::malloc(size_t(hgt) * sizeof(int32_t)));
        rs->columnTable = static_cast<int32_t*>(std::malloc((size_t(w) + 1) * sizeof(int32_t)));
        rs->boxSums = static_cast<uint64_t*>(
            std::calloc(sumRows * size_t(outW) * size_t(rs->smoothSamples), sizeof(uint64_t)));
        rs->boxRowCounts = static_cast<int32_t*>(std::calloc(size_t(outH), sizeof(int32_t)));
        rs->boxLine = static_cast<uint8_t*>(std::malloc(size_t(outW) * 4));
        if (rs->valueBytes) rs->valueLine = static_cast<uint8_t*>(std::malloc(size_t(w) * rs->valueBytes));
        if (!rs->rowTable || !rs->columnTable || !rs->boxSums || !rs->boxRowCounts || !rs->boxLine ||
            (rs->valueBytes && !rs->valueLine))
            return false;
        for (int32_t y = 0; y < hgt; ++y) rs->rowTable[y] = static_cast<int32_t>(int64_t(y) * outH / hgt);
        for (int32_t x = 0; x <= outW; ++x)
            rs->columnTable[x] = static_cast<int32_t>((int64_t(x) * w + outW - 1) / outW);
        return true;
    }
    if (rs->scaleMode != kScaleSmooth) return true;
    const int samples = rs->internalBytesPerPixel;
    rs->smoothSamples = samples;
    rs->smoothXs = double(w) / outW;
    rs->smoothYs = double(hgt) / outH;
    rs->smoothDivisor = static_cast<uint64_t>(rs->smoothXs * rs->smoothYs * 1024.0);
    if (rs->smoothDivisor < 1) rs->smoothDivisor = 1;
    rs->smoothRowEdge = rs->smoothYs - 1.0;
    const size_t cells = (size_t(outW) + 10) * size_t(samples);
    rs->smoothLine = static_cast<uint8_t*>(std::malloc(size_t(w) * size_t(samples)));
    rs->accA = static_cast<uint64_t*>(std::calloc(cells, sizeof(uint64_t)));
    rs->accB = static_cast<uint64_t*>(std::calloc(cells, sizeof(uint64_t)));
    rs->columnWeights = static_cast<int32_t*>(std::malloc(size_t(w) * sizeof(int32_t)));
    if (!rs->smoothLine || !rs->accA || !rs->accB || !rs->columnWeights) return false;
    // A column wholly inside the current output column has weight -1; one
    // that straddles the edge has the next column's share of 1024.
    double edge = rs->smoothXs - 1.0;
    for (int32_t x = 0; x < w; ++x) {
        if (x < edge) {
            rs->columnWeights[x] = -1;
        } else {
            const int32_t share = static_cast<int32_t>((x - edge) * 1024.0);
            rs->columnWeights[x] = std::min(std::max(share, 0), 1024);
            edge += rs->smoothXs;
        }
    }
    return true;
}

void ReportProgressBar(LoadContext* ctx) {
    const LoadRowState* rs = &ctx->row;
    if (!(ctx->options.flags & kLoadProgressBar) || rs->totalRows < 1) return;
    const int32_t pos = static_cast<int32_t>(int64_t(rs->rowsDone) * kProgressBarWidth / rs->totalRows);
    if (pos != ctx->progressBarPos) {
        ctx->progressBarPos = pos;
        std::fputc('*', stderr);
    }
}

// Counts one delivered row: row callback, progress, cancel. False when the
// load is cancelled.
bool CountDeliveredRow(LoadContext* ctx) {
    LoadRowState* rs = &ctx->row;
    const LoadOptions& o = ctx->options;
    if (o.rowCallback && o.rowCallback(rs->rowsDone, rs->totalRows, o.rowCallbackUser) != 0) ctx->cancelled = 1;
    ++rs->rowsDone;
    ReportProgressBar(ctx);
    if (ReportLoadProgress(ctx)) ctx->cancelled = 1;
    return !ctx->cancelled;
}

uint8_t* OutputRow(const LoadContext* ctx, int32_t row) {
    return ctx->bitmap->pixels + size_t(row) * size_t(ctx->bitmap->bytesPerRow);
}

void WatchAlpha(LoadContext* ctx, const uint8_t* line, int plane, int32_t count) {
    const LoadRowState* rs = &ctx->row;
    if (ctx->alphaSeen || !(rs->headerFlags & kHeaderMayHaveAlpha) || rs->bitsPerPixel != 32 ||
        rs->outBytesPerPixel != 4)
        return;
    if (rs->separatePlanes) {
        if (plane != 3) return;
        for (int32_t i = 0; i < count; ++i)
            if (line[i]) ctx->alphaSeen = 1;
    } else if (rs->linePixelBytes == 4) {
        for (int32_t i = 0; i < count; ++i)
            if (line[size_t(i) * 4 + 3]) ctx->alphaSeen = 1;
    }
}

// Bilevel output: the unpacked bits of source columns [x, x + count) go to
// output row `row`.
void StoreBilevel(LoadContext* ctx, const uint8_t* bits, int32_t row, int32_t x, int32_t count) {
    LoadRowState* rs = &ctx->row;
    uint8_t* dst = OutputRow(ctx, row);
    if (rs->scaleMode == kScaleNearest) {
        const int32_t* table = rs->columnTable;
        const int32_t* first = std::lower_bound(table, table + rs->outWidth, x);
        const int32_t* end = std::lower_bound(first, table + rs->outWidth, x + count);
        for (const int32_t* p = first; p < end; ++p)
            PutRowBit(dst, int32_t(p - table), GetRowBit(bits, *p - x));
        return;
    }
    if (x % 8 == 0 && (count % 8 == 0 || x + count == rs->srcWidth)) {
        rs->store(rs, bits, 0, dst + x / 8, count);
        return;
    }
    for (int32_t i = 0; i < count; ++i) PutRowBit(dst, x + i, GetRowBit(bits, i));
}

// Declared values of an unpacked line become their grey levels or colours
// (valueBytes each) in the value line, which is returned.
uint8_t* MapValues(const LoadRowState* rs, const uint8_t* line, int32_t count) {
    uint8_t* out = rs->valueLine;
    if (rs->valueBytes == 1) {
        for (int32_t i = 0; i < count; ++i) out[i] = rs->values[line[i]][0];
        return out;
    }
    for (int32_t i = 0; i < count; ++i, out += 3) {
        const uint8_t* v = rs->values[line[i]];
        out[0] = v[0];
        out[1] = v[1];
        out[2] = v[2];
    }
    return rs->valueLine;
}

// Pixels of a run summed in 21-bit lanes before the lanes are added to
// the sums: 8,224 values of at most 255 fill a lane.
constexpr int32_t kLaneRun = 8224;

void AddLanes(uint64_t lanes, uint64_t* sums) {
    sums[0] += lanes & 0x1FFFFF;
    sums[1] += (lanes >> 21) & 0x1FFFFF;
    sums[2] += lanes >> 42;
}

// Box averaging of declared values: each output column's run of values is
// summed as the N bytes (grey level, or R, G, B) each maps to; colours as
// one addition of their lanes a pixel.
template <int N>
void SumMappedRuns(const LoadRowState* rs, const uint8_t* line, uint64_t* sums) {
    const int32_t* starts = rs->columnTable;
    for (int32_t c = 0; c < rs->outWidth; ++c, sums += N) {
        const uint8_t* end = line + (starts[c + 1] - starts[c]);
        if (N == 1 && rs->valuesPlain) {
            // Values that are their own levels: summed as they are, which
            // the compiler does many at a time.
            uint32_t total = 0;
            for (; line < end; ++line) total += *line;
            sums[0] += total;
            continue;
        }
        if (N == 3) {
            while (line < end) {
                const uint8_t* part = line + std::min<ptrdiff_t>(end - line, kLaneRun);
                uint64_t lanes = 0;
                for (; line < part; ++line) lanes += rs->valueLanes[*line];
                AddLanes(lanes, sums);
            }
            continue;
        }
        uint32_t total[N] = {};
        for (; line < end; ++line) {
            const uint8_t* v = rs->values[*line];
            for (int k = 0; k < N; ++k) total[k] += v[k];
        }
        for (int k = 0; k < N; ++k) sums[k] += total[k];
    }
}

// The set bits of each byte value.
struct ByteOnes {
    uint8_t ones[256];
    ByteOnes() {
        for (unsigned b = 0; b < 256; ++b) ones[b] = uint8_t((b & 1) + (b >> 1 & 1) + (b >> 2 & 1) + (b >> 3 & 1) +
                                                            (b >> 4 & 1) + (b >> 5 & 1) + (b >> 6 & 1) + (b >> 7));
    }
};

// Box averaging of declared values straight from the reader's row of
// packed B-bit fields, N bytes (grey level, or R, G, B) each: one-bit
// fields are counted a byte at a time from a table, the others read in
// place, so the row is never widened to a byte per pixel first.
template <int N, int B>
void SumPackedRuns(const LoadRowState* rs, const uint8_t* row, uint64_t* sums) {
    const int32_t* starts = rs->columnTable;
    if (B == 1) {
        // The runs follow one another from column 0: the set bits before
        // each run's end are counted on from the last, a byte at a time.
        static const ByteOnes table;
        // Only the ones are counted while the output row is gathered, unless
        // its sums must stay as sums for a later writing of the row.
        const bool counts = !BoxKeepsEveryRow(rs);
        uint32_t whole = 0, before = 0;  // set bits of bytes [0, at), and before the run
        size_t at = 0;
        for (int32_t c = 0; c < rs->outWidth; ++c, sums += N) {
            const uint32_t end = uint32_t(starts[c + 1]), byte = end >> 3;
            for (; at < byte; ++at) whole += table.ones[row[at]];
            const uint32_t upTo = whole + ((end & 7) ? table.ones[row[byte] & uint8_t(0xFF00u >> (end & 7))] : 0);
            const uint32_t ones = upTo - before;
            before = upTo;
            if (counts) {
                sums[0] += ones;
                continue;
            }
            const uint32_t zeros = end - uint32_t(starts[c]) - ones;
            for (int k = 0; k < N; ++k) sums[k] += uint64_t(ones) * rs->values[1][k] + uint64_t(zeros) * rs->values[0][k];
        }
        return;
    }
    for (int32_t c = 0; c < rs->outWidth; ++c, sums += N) {
        const uint32_t first = uint32_t(starts[c]), end = uint32_t(starts[c + 1]);
        constexpr uint32_t kPerByte = 8 / B, kMask = (1u << B) - 1;
        const auto field = [&](uint32_t x) { return (row[x / kPerByte] >> (8 - B * (x % kPerByte + 1))) & kMask; };
        if (N == 3) {
            for (uint32_t x = first; x < end;) {
                const uint32_t part = std::min<uint32_t>(end, x + kLaneRun);
                uint64_t lanes = 0;
                for (; x < part; ++x) lanes += rs->valueLanes[field(x)];
                AddLanes(lanes, sums);
            }
            continue;
        }
        uint32_t total[N] = {};
        for (uint32_t x = first; x < end; ++x) {
            const uint8_t* v = rs->values[field(x)];
            for (int k = 0; k < N; ++k) total[k] += v[k];
        }
        for (int k = 0; k < N; ++k) sums[k] += total[k];
    }
}

template <int N>
void SumPacked(const LoadRowState* rs, const uint8_t* row, uint64_t* sums) {
    switch (rs->packedBits) {
    case 1: SumPackedRuns<N, 1>(rs, row, sums); return;
    case 2: SumPackedRuns<N, 2>(rs, row, sums); return;
    default: SumPackedRuns<N, 4>(rs, row, sums); return;
    }
}

// One source row (or the part of it from column x): unpack, mirror, scale
// and store at source row t (already turned for bottom-up storage).
void ProcessRow(LoadContext* ctx, const uint8_t* src, int plane, int32_t t, int32_t x, int32_t count) {
    LoadRowState* rs = &ctx->row;
    int32_t outRow = t;
    if (rs->scaleMode == kScaleNearest) {
        outRow = rs->rowTable[t];
        if (outRow < 0) return;
    }
    if (rs->unpackCopies && !rs->mirror && rs->scaleMode != kScaleNearest && rs->outputMode != 1) {
        // Nothing to rearrange: the storer reads the reader's row, which
        // spares a copy of every row (a tenth of a full JPEG decode).
        WatchAlpha(ctx, src, plane, count);
        rs->store(rs, src, plane, OutputRow(ctx, outRow) + size_t(x) * size_t(rs->outBytesPerPixel), count);
        return;
    }
    uint8_t* line = rs->internalLine;
    rs->unpack(rs, src, line, count);
    if (rs->valueBytes) line = MapValues(rs, line, count);
    if (rs->mirror) x = rs->srcWidth - x - count;

    if (rs->outputMode == 1) {
        if (rs->mirror) MirrorBitRow(line, count);
        StoreBilevel(ctx, line, outRow, x, count);
        return;
    }
    const int bytes = rs->linePixelBytes;
    if (rs->mirror) MirrorPixelRow(line, count, unsigned(bytes));
    WatchAlpha(ctx, line, plane, count);

    int32_t outX = x;
    int32_t outCount = count;
    if (rs->scaleMode == kScaleNearest) {
        // Each output column takes the last source column that maps to it,
        // so a block that holds that column writes it, whatever the order of
        // the blocks. Compacted in place: winners never run ahead of their
        // source position, so the copies move left.
        const int32_t* table = rs->columnTable;
        const int32_t last = rs->srcWidth - 1;
        outCount = 0;
        for (int32_t i = 0; i < count; ++i) {
            const int32_t s = x + i;
            const int32_t o = table[s];
            if (s < last && table[s + 1] == o) continue;
            if (outCount == 0) outX = o;
            const int32_t at = o - outX;
            if (at != i) std::memcpy(line + size_t(at) * bytes, line + size_t(i) * bytes, size_t(bytes));
            outCount = at + 1;
        }
        if (outCount == 0) return;
    }
    rs->store(rs, line, plane, OutputRow(ctx, outRow) + size_t(outX) * size_t(rs->outBytesPerPixel), outCount);
}

// Writes accumulator row `acc` as output row number k of the smooth scaling.
void EmitSmoothRow(LoadContext* ctx, const uint64_t* acc) {
    LoadRowState* rs = &ctx->row;
    const int32_t k = rs->smoothRowsOut++;
    if (k >= rs->outHeight) return;
    const size_t n = size_t(rs->outWidth) * size_t(rs->smoothSamples);
    uint8_t* line = rs->internalLine;
    for (size_t i = 0; i < n; ++i) {
        const uint64_t v = acc[i] / rs->smoothDivisor;
        line[i] = static_cast<uint8_t>(v > 255 ? 255 : v);
    }
    const int32_t row = rs->flip ? rs->outHeight - 1 - k : k;
    rs->store(rs, line, 0, OutputRow(ctx, row), rs->outWidth);
}

// Area-averaging reduction, one source row at a time, in fixed point with
// 1024 for a whole source pixel. Accumulators are 64-bit: an output pixel
// may gather hundreds of thousands of source pixels.
void SmoothRow(LoadContext* ctx, const uint8_t* src) {
    LoadRowState* rs = &ctx->row;
    const int32_t w = rs->srcWidth;
    const int s = rs->smoothSamples;
    uint8_t* line = rs->smoothLine;
    rs->unpack(rs, src, line, w);
    if (rs->mirror) MirrorPixelRow(line, w, unsigned(s));
    const int32_t y = rs->smoothRowsIn++;
    if (rs->smoothRowsOut >= rs->outHeight) return;

    uint64_t* a = rs->accA;
    uint64_t* b = rs->accB;
    const int32_t lastColumn = rs->outWidth;  // the slack cell past the row
    int32_t col = 0;
    if (y < rs->smoothRowEdge) {
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t* p = line + size_t(x) * s;
            const int32_t wt = rs->columnWeights[x];
            uint64_t* cur = a + size_t(col) * s;
            if (wt < 0) {
                for (int k = 0; k < s; ++k) cur[k] += uint64_t(p[k]) * 1024;
            } else {
                for (int k = 0; k < s; ++k) {
                    cur[k] += uint64_t(1024 - wt) * p[k];
                    cur[s + k] += uint64_t(wt) * p[k];
                }
                col = std::min(col + 1, lastColumn);
            }
        }
        return;
    }
    double fraction = (double(y) - rs->smoothRowEdge) * 1024.0;
    const uint64_t f = fraction >= 1024.0 ? 1024 : fraction <= 0.0 ? 0 : static_cast<uint64_t>(fraction);
    for (int32_t x = 0; x < w; ++x) {
        const uint8_t* p = line + size_t(x) * s;
        const int32_t wt = rs->columnWeights[x];
        uint64_t* cur = a + size_t(col) * s;
        uint64_t* next = b + size_t(col) * s;
        if (wt < 0) {
            for (int k = 0; k < s; ++k) {
                cur[k] += uint64_t(p[k]) * (1024 - f);
                next[k] += uint64_t(p[k]) * f;
            }
        } else {
            const uint64_t ws = uint64_t(wt);
            for (int k = 0; k < s; ++k) {
                const uint64_t v = p[k];
                cur[k] += (1024 - ws) * (1024 - f) * v / 1024;
                next[k] += (1024 - ws) * f * v / 1024;
                cur[s + k] += (1024 - f) * ws * v / 1024;
                next[s + k] += ws * f * v / 1024;
            }
            col = std::min(col + 1, lastColumn);
        }
    }
    EmitSmoothRow(ctx, a);
    // The next output row starts from what this row left in B.
    rs->accA = b;
    rs->accB = a;
    std::memset(a, 0, (size_t(rs->outWidth) + 10) * size_t(s) * sizeof(uint64_t));
    rs->smoothRowEdge += rs->smoothYs;
}

// Box averaging: the sums of output row `row` (every row's are kept when
// rows come out of order, else only those of the row being gathered).
uint64_t* BoxSumsOf(LoadRowState* rs, int32_t row) {
    const size_t rowSums = size_t(rs->outWidth) * size_t(rs->smoothSamples);
    return BoxKeepsEveryRow(rs) ? rs->boxSums + size_t(row) * rowSums : rs->boxSums;
}

// Box averaging: writes the gathered output row as the means of its sums.
// Sums kept for every row stay, so a later writing of the row includes
// them; otherwise they are cleared.
void EmitBoxRow(LoadContext* ctx) {
    LoadRowState* rs = &ctx->row;
    if (rs->boxRow < 0) return;
    const int32_t rowsIn = rs->boxRowCounts[rs->boxRow];
    if (rowsIn == 0) return;
    const int32_t outW = rs->outWidth;
    const size_t s = size_t(rs->smoothSamples);
    const int32_t* starts = rs->columnTable;
    uint64_t* sums = BoxSumsOf(rs, rs->boxRow);
    uint8_t* line = rs->boxLine;
    if (rs->packedBits == 1 && !BoxKeepsEveryRow(rs)) {
        // One-bit values were gathered as the count of ones of each cell
        // (SumPackedRuns): the sums of what they map to follow from it.
        for (int32_t x = 0; x < outW; ++x) {
            uint64_t* cell = sums + size_t(x) * s;
            const uint64_t n = uint64_t(starts[x + 1] - starts[x]) * uint64_t(rowsIn), ones = cell[0];
            for (size_t k = 0; k < s; ++k) cell[k] = ones * rs->values[1][k] + (n - ones) * rs->values[0][k];
        }
    }
    // Sums of a cell rarely pass 32 bits, and a 32-bit division is several
    // times quicker than a 64-bit one.
    const auto mean = [](uint64_t sum, uint64_t n) {
        const uint64_t rounded = sum + n / 2;
        return static_cast<uint8_t>((rounded | n) >> 32 ? rounded / n : uint32_t(rounded) / uint32_t(n));
    };
    size_t lineBytes = s;
    for (int32_t x = 0; x < outW; ++x) {
        const uint64_t n = uint64_t(starts[x + 1] - starts[x]) * uint64_t(rowsIn);
        uint64_t* cell = sums + size_t(x) * s;
        if (rs->premultiply) {
            // Colours weighted by alpha; where alpha is zero throughout, the
            // plain means (an alpha channel that turns out empty means none).
            const uint64_t alpha = cell[3];
            uint8_t* out = line + size_t(x) * 4;
            for (int k = 0; k < 3; ++k) out[k] = alpha ? mean(cell[k], alpha) : mean(cell[4 + k], n);
            out[3] = mean(alpha, n);
            lineBytes = 4;
        } else {
            for (size_t k = 0; k < s; ++k) line[size_t(x) * s + k] = mean(cell[k], n);
        }
        if (!BoxKeepsEveryRow(rs)) std::fill(cell, cell + s, uint64_t(0));
    }
    if (!BoxKeepsEveryRow(rs)) rs->boxRowCounts[rs->boxRow] = 0;
    if (rs->mirror) MirrorPixelRow(line, outW, unsigned(lineBytes));
    const int32_t row = rs->flip ? rs->outHeight - 1 - rs->boxRow : rs->boxRow;
    rs->store(rs, line, rs->boxPlane, OutputRow(ctx, row), outW);
}

// Box averaging: adds source row y (as delivered, before any flip) of
// `plane` to the sums of its output row, writing the row gathered before
// when y (or the plane) starts another. One pass over the row, integer sums.
void BoxRow(LoadContext* ctx, const uint8_t* src, int32_t y, int plane) {
    LoadRowState* rs = &ctx->row;
    const int32_t row = rs->rowTable[y];
    if (row != rs->boxRow || plane != rs->boxPlane) {
        EmitBoxRow(ctx);
        rs->boxRow = row;
        rs->boxPlane = plane;
    }
    const int32_t w = rs->srcWidth;
    uint64_t* sums = BoxSumsOf(rs, row);
    if (rs->packedBits) {
        if (rs->valueBytes == 1) SumPacked<1>(rs, src, sums);
        else SumPacked<3>(rs, src, sums);
        ++rs->boxRowCounts[row];
        return;
    }
    const uint8_t* line = src;
    if (!rs->unpackCopies) {
        rs->unpack(rs, src, rs->internalLine, w);
        line = rs->internalLine;
    }
    WatchAlpha(ctx, line, plane, w);
    // Each output column's run of source pixels is summed in registers
    // (a run holds fewer than 400000 pixels: 32 bits suffice for bytes).
    const int32_t outW = rs->outWidth;
    const int32_t* starts = rs->columnTable;
    if (rs->valueBytes == 1) {
        SumMappedRuns<1>(rs, line, sums);
    } else if (rs->valueBytes == 3) {
        SumMappedRuns<3>(rs, line, sums);
    } else if (rs->premultiply) {
        for (int32_t c = 0; c < outW; ++c, sums += 7) {
            const uint8_t* end = line + size_t(starts[c + 1] - starts[c]) * 4;
            uint64_t ra = 0, ga = 0, ba = 0;
            uint32_t a = 0, r = 0, g = 0, b = 0;
            for (; line < end; line += 4) {
                ra += uint32_t(line[0]) * line[3];
                ga += uint32_t(line[1]) * line[3];
                ba += uint32_t(line[2]) * line[3];
                a += line[3];
                r += line[0];
                g += line[1];
                b += line[2];
            }
            sums[0] += ra, sums[1] += ga, sums[2] += ba, sums[3] += a;
            sums[4] += r, sums[5] += g, sums[6] += b;
        }
    } else if (rs->smoothSamples == 3) {
        for (int32_t c = 0; c < outW; ++c, sums += 3) {
            const uint8_t* end = line + size_t(starts[c + 1] - starts[c]) * 3;
            uint32_t r = 0, g = 0, b = 0;
            for (; line < end; line += 3) {
                r += line[0];
                g += line[1];
                b += line[2];
            }
            sums[0] += r;
            sums[1] += g;
            sums[2] += b;
        }
    } else {
        const size_t s = size_t(rs->smoothSamples);
        for (int32_t c = 0; c < outW; ++c, sums += s)
            for (int32_t x = starts[c]; x < starts[c + 1]; ++x, line += s)
                for (size_t k = 0; k < s; ++k) sums[k] += line[k];
    }
    ++rs->boxRowCounts[row];
}

// Blocks of columns cannot be summed row by row: before any row was summed,
// the box averaging becomes the nearest scaling over the same tables (the
// first source row of each output row kept).
void BoxToNearest(LoadRowState* rs) {
    for (int32_t x = 0; x < rs->srcWidth; ++x)
        rs->columnTable[x] = static_cast<int32_t>(int64_t(x) * rs->outWidth / rs->srcWidth);
    int32_t last = -1;
    for (int32_t y = 0; y < rs->srcHeight; ++y) {
        const int32_t e = rs->rowTable[y];
        rs->rowTable[y] = e == last ? -1 : e;
        last = e;
    }
    rs->scaleMode = kScaleNearest;
}

// Bytes of the output bitmap of the row state's output size and mode.
uint64_t OutputBytes(const LoadRowState* rs, int16_t alignment) {
    const int32_t bits = rs->outputMode == 1 ? 1 : 8 * rs->outBytesPerPixel;
    return uint64_t(uint32_t(AlignedRowBytes(rs->outWidth, bits, alignment))) * uint64_t(rs->outHeight);
}

// Allocates the output bitmap of the row state's output size and mode, its
// rows aligned to `alignment` (at least 1). False when out of memory or too
// large.
bool AllocOutputRows(LoadContext* ctx, int16_t alignment) {
    const LoadRowState* rs = &ctx->row;
    const int32_t bits = rs->outputMode == 1 ? 1 : 8 * rs->outBytesPerPixel;
    const int32_t bytesPerRow = AlignedRowBytes(rs->outWidth, bits, alignment);
    if (!AllocOutputBitmap(ctx->bitmap, rs->outputMode, bytesPerRow, rs->outWidth, rs->outHeight, 1)) return false;
    ctx->bitmap->rowAlignment = alignment;
    return true;
}

// The bytes of the load's budget in use: BeginImage's buffers and what the
// reader has reserved for its own.
uint64_t BudgetTaken(const LoadContext* ctx) { return ctx->row.committedBytes + ctx->readerBytes; }

// True when `bytes` more, beside what is taken already, stay within the
// load's budget.
bool FitsBudget(const LoadContext* ctx, uint64_t bytes) {
    const uint64_t budget = GetLoadMemoryBudget(), taken = BudgetTaken(ctx);
    return taken <= budget && bytes <= budget - taken;
}

// A block that does not span the whole row cannot go through the smooth
// scaling as rows arrive: the picture is then loaded at full size and reduced
// at the end. 0 done, 1 out of memory.
int DeferSmoothScaling(LoadContext* ctx) {
    LoadRowState* rs = &ctx->row;
    FreeAndClear(rs->smoothLine);
    FreeAndClear(rs->accA);
    FreeAndClear(rs->accB);
    FreeAndClear(rs->columnWeights);
    rs->scaleMode = kScaleSmoothAfterLoad;
    rs->outWidth = rs->srcWidth;
    rs->outHeight = rs->srcHeight;
    const int16_t alignment = ctx->bitmap->rowAlignment;
    DiscardPixels(ctx->bitmap);
    // Counted on top of what BeginImage took: the buffers just freed were
    // small beside the full-size picture.
    const uint64_t full = OutputBytes(rs, alignment);
    if (!FitsBudget(ctx, full)) return kLoadNoMemory;
    rs->committedBytes += full;
    return AllocOutputRows(ctx, alignment) ? kLoadOk : kLoadNoMemory;
}

// Plane index of a delivery, and the restart of "next row" counting when a
// new plane begins.
int NormalisePlane(LoadRowState* rs, int plane) {
    if (plane < 0 || !rs->separatePlanes || plane >= rs->planes) plane = 0;
    if (plane != rs->runningPlane) {
        rs->runningPlane = plane;
        rs->runningRow = 0;
    }
    return plane;
}

std::atomic<uint64_t> gLoadBudget{kDefaultLoadMemoryBudget};

}  // namespace

uint64_t SetLoadMemoryBudget(uint64_t bytes) {
    return gLoadBudget.exchange(bytes ? bytes : kDefaultLoadMemoryBudget);
}

uint64_t GetLoadMemoryBudget() { return gLoadBudget.load(); }

bool ReserveReaderMemory(LoadContext* ctx, uint64_t bytes) {
    if (!FitsBudget(ctx, bytes)) return false;
    ctx->readerBytes += bytes;
    return true;
}

void ReleaseReaderMemory(LoadContext* ctx, uint64_t bytes) {
    ctx->readerBytes = bytes < ctx->readerBytes ? ctx->readerBytes - bytes : 0;
}

uint64_t LoadMemoryLeft(const LoadContext* ctx) {
    const uint64_t budget = GetLoadMemoryBudget(), taken = BudgetTaken(ctx);
    return budget > taken ? budget - taken : 0;
}

void ClearImageHeader(ImageHeader* h) {
    if (!h) return;
    std::memset(h, 0, sizeof *h);
    h->rowsPerCall = 1;
    h->planes = 1;
    h->bitsPerPlane = 1;
    h->fullBitsPerSample = 8;
    h->fullComponents = 1;
    h->transparentIndex = -1;
}

void ReleaseLoadRows(LoadRowState* rs) {
    FreeAndClear(rs->srcBuffer);
    FreeAndClear(rs->unpackScratch);
    FreeAndClear(rs->internalLine);
    FreeAndClear(rs->rowTable);
    FreeAndClear(rs->columnTable);
    FreeAndClear(rs->smoothLine);
    FreeAndClear(rs->accA);
    FreeAndClear(rs->accB);
    FreeAndClear(rs->columnWeights);
    FreeAndClear(rs->boxSums);
    FreeAndClear(rs->boxRowCounts);
    FreeAndClear(rs->boxLine);
    FreeAndClear(rs->valueLine);
    rs->active = 0;
}

int AllocOutputBitmap(Bitmap* b, uint32_t mode, int32_t bytesPerRow, int32_t width, int32_t height, int allocate) {
    std::memset(b, 0, sizeof *b);
    if (bytesPerRow < 1 || width < 1 || height < 1 || int64_t(bytesPerRow) * height > std::numeric_limits<int32_t>::max())
        return 0;
    if (allocate) {
        b->pixels = static_cast<uint8_t*>(std::calloc(size_t(bytesPerRow) * size_t(height), 1));
        if (!b->pixels) return 0;
    }
    b->width = width;
    b->height = height;
    b->bytesPerRow = bytesPerRow;
    b->pixelType = static_cast<uint16_t>(mode);
    b->paletteCount = 0;
    b->transparentIndex = -1;
    return 1;
}

int BeginImage(LoadContext* ctx, ImageHeader* h) {
    if (!ctx || !h) return kLoadNotRecognised;
    LoadRowState* rs = &ctx->row;
    // A second declaration in one load replaces the picture begun before.
    ReleaseLoadRows(rs);
    DiscardPixels(ctx->bitmap);
    std::memset(rs, 0, sizeof *rs);
    ctx->pictureBegun = 1;
    ctx->progressBarPos = 0;  // the bar starts empty: one star per sixtieth
    ctx->alphaSeen = 0;

    const int planes = h->planes;
    const int bits = h->bitsPerPlane;
    const int c = h->components;
    const int bpp = planes * bits;
    if (planes < 1 || bits < 1 || bpp > 32 || c < 0 || c > 4) return kLoadNotRecognised;
    if (h->width < 1 || h->width >= kSideLimit || h->height < 1 || h->height >= kSideLimit) return kLoadNotRecognised;
    if (h->rowsPerCall < 1 || (h->rowsPerCall > h->height && h->rowsPerCall > kBlockRows)) return kLoadNotRecognised;

    int32_t xres = h->xResolution;
    int32_t yres = h->yResolution;
    if (!(xres > 2 && yres > 2 && xres <= 10000 && yres <= 10000)) xres = yres = 0;

    FillInfo(ctx, h, xres, yres);
    if (ctx->infoOnly) return kLoadInfoStop;
    LoadOptions& o = ctx->options;
    if (o.flags & kLoadVerbose) PrintRecognised(ctx, h, bpp, xres, yres);

    uint32_t headerFlags = h->flags;
    if (headerFlags & kColourSpaceFlags) o.flags |= kLoadPreferThreeBytes;
    if (xres == 0) xres = yres = 72;
    if ((headerFlags & kHeaderSeparatePlanes) && planes == 1 && c < 1) headerFlags &= ~uint32_t(kHeaderSeparatePlanes);
    // Samples deeper than 8 bits: kept only when the load asks for them,
    // one grey, three colour or four samples in one plane, and only where
    // the end of the load has nothing to convert.
    const bool deep = c >= 1 && bits > 8;
    if (deep && (!(o.flags & kLoadKeepDeepSamples) || planes != 1 || c == 2 || !DeepKeepsItsSpace(headerFlags, o.flags)))
        return kLoadNotRecognised;

    rs->srcWidth = h->width;
    rs->srcHeight = h->height;
    rs->headerFlags = headerFlags;
    rs->rowsPerCall = h->rowsPerCall;
    rs->orientation = h->orientation;
    rs->bitsPerPlane = int16_t(bits);
    rs->planes = int16_t(planes);
    rs->bitsPerPixel = bpp;
    rs->bytesPerPlane = h->bytesPerPlane;
    rs->transparentIndex = h->transparentIndex;
    rs->xResolution = xres;
    rs->yResolution = yres;
    rs->separatePlanes = (headerFlags & kHeaderSeparatePlanes) ? 1 : 0;
    rs->mirror = ((h->orientation ^ o.orientation) & 0x1) ? 1 : 0;
    rs->flip = ((h->orientation ^ o.orientation) & 0x10) ? 1 : 0;
    rs->alphaFill = o.alphaValue;
    rs->outputMode = ChooseOutputMode(headerFlags, bpp, c, o.flags);
    rs->outBytesPerPixel = rs->outputMode == 1952 ? 4 : rs->outputMode == 80 ? 3 : 1;
    rs->internalBytesPerPixel = c >= 1 ? c : bpp <= 8 ? 1 : bpp <= 24 ? 3 : 4;
    rs->sampleBytes = 1;
    if (deep) {
        const bool wide = bits > 16;
        const bool four = rs->outputMode == 1952;
        rs->sampleBytes = wide ? 4 : 2;
        rs->outputMode = four ? (wide ? kModeDeep32x4 : kModeDeep16x4) : (wide ? kModeDeep32 : kModeDeep16);
        rs->outBytesPerPixel = (four ? 4 : c) * rs->sampleBytes;
        rs->internalBytesPerPixel = c * rs->sampleBytes;
        const uint32_t maxSample = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
        rs->deepAlpha = uint32_t(uint64_t(maxSample) * o.alphaValue / 255);
    }
    rs->finishedBits = bpp;
    rs->totalRows = rs->separatePlanes ? planes * h->height : h->height;
    rs->lastPercent = -1;
    rs->runningPlane = 0;

    if (rs->separatePlanes) rs->srcBytesPerRow = size_t(h->width);
    else if (c < 1) rs->srcBytesPerRow = size_t(planes) * h->bytesPerPlane;
    else rs->srcBytesPerRow = size_t(rs->sampleBytes) * size_t(c) * size_t(h->width);

    // The scaling comes first: averaging declared values changes the output
    // the converters are chosen for.
    ChooseScaling(ctx, h);
    UnpackPlan plan;
    if (!PlanReadConverters(rs, &plan)) return kLoadNotRecognised;

    // Everything the load will hold is sized, and weighed against the budget
    // together with what the reader holds, before any of it is allocated.
    const int16_t alignment = o.rowAlignment < 1 ? 1 : o.rowAlignment;
    size_t bufferBytes;
    if (!CheckedMul(rs->srcBytesPerRow, size_t(rs->rowsPerCall), &bufferBytes) ||
        !CheckedAdd(bufferBytes, 1024, &bufferBytes) || bufferBytes > kBufferLimit)
        return kLoadNoMemory;
    const size_t lineBytes = std::max<size_t>(size_t(h->width) * size_t(std::max(rs->internalBytesPerPixel, 1)), 4);
    uint64_t needed = OutputBytes(rs, alignment);
    needed += uint64_t(bufferBytes) + plan.scratchBytes + lineBytes + ScalingTableBytes(rs);
    if (!FitsBudget(ctx, needed)) return kLoadNoMemory;
    rs->committedBytes = needed;

    int result = kLoadNoMemory;
    do {
        if (!AllocScalingTables(ctx)) break;
        if (!AllocOutputRows(ctx, alignment)) break;
        rs->srcBuffer = static_cast<uint8_t*>(std::calloc(bufferBytes, 1));
        if (!rs->srcBuffer) break;
        if (plan.scratchBytes) {
            rs->unpackScratch = static_cast<uint8_t*>(std::calloc(plan.scratchBytes, 1));
            if (!rs->unpackScratch) break;
        }
        rs->internalLine = static_cast<uint8_t*>(std::calloc(lineBytes, 1));
        if (!rs->internalLine) break;
        result = kLoadOk;
    } while (false);
    if (result != kLoadOk) {
        ReleaseLoadRows(rs);
        DiscardPixels(ctx->bitmap);
        return result;
    }

    SelectReadConverters(rs, plan, o.pixelOrder);
    h->rowBuffer = rs->srcBuffer;
    rs->active = 1;
    if (o.flags & kLoadProgressBar) {
        for (int i = 0; i < kProgressBarWidth; ++i) std::fputc('-', stderr);
        std::fputc('\r', stderr);
    }
    return kLoadOk;
}

int PutScanlines(LoadContext* ctx, int plane, int firstRow, int rowCount) {
    if (!ctx) return kLoadOk;
    if (ctx->cancelled) return kLoadCancelled;
    LoadRowState* rs = &ctx->row;
    if (!rs->active || rowCount < 1) return kLoadOk;
    rowCount = std::min(rowCount, rs->rowsPerCall);
    plane = NormalisePlane(rs, plane);
    int64_t y = firstRow < 0 ? rs->runningRow : firstRow;
    for (int i = 0; i < rowCount; ++i, ++y) {
        // Rows past the height are dropped, never wrapped.
        if (y >= rs->srcHeight) break;
        rs->runningRow = int32_t(y + 1);
        if (!CountDeliveredRow(ctx)) break;
        const uint8_t* src = rs->srcBuffer + size_t(i) * rs->srcBytesPerRow;
        if (rs->scaleMode == kScaleSmooth) {
            SmoothRow(ctx, src);
            continue;
        }
        if (rs->scaleMode == kScaleBox) {
            BoxRow(ctx, src, int32_t(y), plane);
            continue;
        }
        const int32_t t = rs->flip ? rs->srcHeight - 1 - int32_t(y) : int32_t(y);
        ProcessRow(ctx, src, plane, t, 0, rs->srcWidth);
    }
    return ctx->cancelled ? kLoadCancelled : kLoadOk;
}

uint8_t* InPlaceRow(LoadContext* ctx, int32_t row) {
    if (!ctx) return nullptr;
    const LoadRowState* rs = &ctx->row;
    if (!rs->active || !rs->rowsUnchanged || rs->mirror || rs->scaleMode != kScaleNone || rs->planes != 1 ||
        row < 0 || row >= rs->srcHeight)
        return nullptr;
    return OutputRow(ctx, rs->flip ? rs->srcHeight - 1 - row : row);
}

bool LoadUsesRow(const LoadContext* ctx, int32_t row) {
    if (!ctx) return true;
    const LoadRowState* rs = &ctx->row;
    if (!rs->active || rs->scaleMode != kScaleNearest || !rs->rowTable || row < 0 || row >= rs->srcHeight) return true;
    return rs->rowTable[rs->flip ? rs->srcHeight - 1 - row : row] >= 0;
}

int PutRowsInPlace(LoadContext* ctx, int32_t firstRow, int32_t rowCount) {
    if (!ctx) return kLoadOk;
    if (ctx->cancelled) return kLoadCancelled;
    LoadRowState* rs = &ctx->row;
    const int64_t end = std::min<int64_t>(int64_t(firstRow) + rowCount, rs->srcHeight);
    for (int32_t y = std::max(firstRow, 0); y < end; ++y) {
        const uint8_t* row = InPlaceRow(ctx, y);
        if (!row) break;
        rs->runningRow = y + 1;
        if (!CountDeliveredRow(ctx)) break;
        WatchAlpha(ctx, row, 0, rs->srcWidth);
    }
    return ctx->cancelled ? kLoadCancelled : kLoadOk;
}

int PutStripRows(LoadContext* ctx, int plane, int firstRow, int rowCount, int x, int columns) {
    if (!ctx) return kLoadOk;
    if (ctx->cancelled) return kLoadCancelled;
    LoadRowState* rs = &ctx->row;
    if (!rs->active || rowCount < 1 || x < 0 || x >= rs->srcWidth || columns < 1) return kLoadOk;
    columns = std::min(columns, rs->srcWidth - x);
    rowCount = std::min(rowCount, rs->rowsPerCall);
    if (rs->scaleMode == kScaleSmooth && columns != rs->srcWidth) {
        if (rs->smoothRowsIn > 0) return kLoadOk;  // a reader that mixes rows and blocks
        const int deferred = DeferSmoothScaling(ctx);
        if (deferred != kLoadOk) return deferred;
    }
    if (rs->scaleMode == kScaleBox && columns != rs->srcWidth) {
        if (rs->boxRow >= 0) return kLoadOk;  // a reader that mixes rows and blocks
        BoxToNearest(rs);
    }
    plane = NormalisePlane(rs, plane);
    int64_t y = firstRow < 0 ? rs->runningRow : firstRow;
    for (int i = 0; i < rowCount; ++i, ++y) {
        if (y >= rs->srcHeight) break;
        if (x + columns == rs->srcWidth) rs->runningRow = int32_t(y + 1);
        // Progress counts whole rows' worth of delivered columns.
        rs->stripColumns += columns;
        while (rs->stripColumns >= rs->srcWidth && !ctx->cancelled) {
            rs->stripColumns -= rs->srcWidth;
            CountDeliveredRow(ctx);
        }
        if (ctx->cancelled) break;
        const uint8_t* src = rs->srcBuffer + size_t(i) * rs->srcBytesPerRow;
        if (rs->scaleMode == kScaleSmooth) {
            SmoothRow(ctx, src);
            continue;
        }
        if (rs->scaleMode == kScaleBox) {
            BoxRow(ctx, src, int32_t(y), plane);
            continue;
        }
        const int32_t t = rs->flip ? rs->srcHeight - 1 - int32_t(y) : int32_t(y);
        ProcessRow(ctx, src, plane, t, x, columns);
    }
    return ctx->cancelled ? kLoadCancelled : kLoadOk;
}

int CheckLoadCancelled(LoadContext* ctx) {
    if (!ctx) return 0;
    const LoadOptions& o = ctx->options;
    if (!ctx->cancelled && o.rowCallback && o.rowCallback(0, 1, o.rowCallbackUser) != 0) ctx->cancelled = 1;
    return ctx->cancelled ? 1 : 0;
}

int ReportLoadProgress(LoadContext* ctx) {
    LoadRowState* rs = &ctx->row;
    const LoadOptions& o = ctx->options;
    if (o.cancelCallback && (o.cancelCallback(o.cancelUser) & 0xFF) != 0) return 1;
    if (rs->totalRows < 1) return 0;
    const auto percent = static_cast<int32_t>(int64_t(rs->rowsDone) * 100 / rs->totalRows);
    if (percent != rs->lastPercent) {
        rs->lastPercent = percent;
        if (o.progressCallback) o.progressCallback(percent, o.progressUser);
    }
    return 0;
}

// Emits the last output row of the smooth or box scaling, which no later
// source row completes (EndImage).
void FlushScaledRow(LoadContext* ctx) {
    LoadRowState* rs = &ctx->row;
    if (rs->scaleMode == kScaleBox) {
        if (rs->boxSums) EmitBoxRow(ctx);
        return;
    }
    if (rs->scaleMode != kScaleSmooth || !rs->accA || rs->smoothRowsIn == 0) return;
    if (rs->smoothRowsOut < rs->outHeight) EmitSmoothRow(ctx, rs->accA);
}
