// Lookup-table adjustments. Tables live on the stack; beyond a destination
// copy, only large pictures allocate (tables of byte pairs, 128 KiB each).
#include "processing/adjust.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "imagelib/geometry/geometry_internal.h"
#include "processing/colour_internal.h"

using namespace geometry;
using colour::ChannelOrder;

namespace {

constexpr double kOneOver255 = 0.00392156862745098;

// Entries of a palette in use: its count, or all 256 when the count is not
// a valid one.
int PaletteEntries(const Bitmap* b) {
    return b->paletteCount >= 1 && b->paletteCount <= 256 ? b->paletteCount : 256;
}

// Largest value a sample of this depth holds.
uint32_t MaxSample(const Bitmap* b) {
    return b->bitsPerSample >= 32 ? 0xFFFFFFFFu : (1u << b->bitsPerSample) - 1u;
}

// Sample at `p` on the 0..255 scale (for histograms).
uint8_t ScaledSample(const uint8_t* p, int sampleBytes, uint32_t max) {
    if (sampleBytes == 1) return *p;
    const uint64_t v = sampleBytes == 2 ? ReadSample<2>(p) : ReadSample<4>(p);
    return uint8_t(std::min<uint64_t>(v, max) * 255 / max);
}

// A deep sample through a 0..255 table, following the table linearly
// between its entries so that the identity table keeps every value.
void MapDeepSample(uint8_t* p, int sampleBytes, uint32_t max, const uint8_t* table) {
    const uint32_t v = sampleBytes == 2 ? ReadSample<2>(p) : ReadSample<4>(p);
    const double x = double(std::min(v, max)) * 255.0 / double(max);
    const int i = std::min(int(x), 255);
    const int next = std::min(i + 1, 255);
    const double y = (table[i] + (table[next] - table[i]) * (x - i)) * double(max) / 255.0;
    const uint32_t out = uint32_t(std::min<long long>(std::llround(y), max));
    if (sampleBytes == 2) WriteSample<2>(p, out);
    else WriteSample<4>(p, out);
}

// Checks the picture and the rectangle, and makes the destination copy that
// the adjustment then changes. `target` receives the record to change.
int Begin(Bitmap* picture, Bitmap* dst, const PictureRect* rect, Bitmap** target, PictureRect* area) {
    if (CheckSource(picture, nullptr) != kGeometryDone) return kGeometryBadSize;
    if (picture->pixelType == kPixelBilevel) return kAdjustRefusesBilevel;
    if (ClipRectToBitmap(picture, rect, area) != 0) return kGeometryBadSize;
    *target = picture;
    if (!dst || dst == picture) return kGeometryDone;
    Bitmap copy{};
    const int rc = NewPictureLike(&copy, picture, picture->width, picture->height);
    if (rc != kGeometryDone) return rc;
    CopyRows(&copy, picture);
    copy.orientation = picture->orientation;
    CopyBitmapMetadata(&copy, picture);
    *dst = copy;
    *target = dst;
    return kGeometryDone;
}

// Below this many bytes the pair tables cost more to build than they save.
constexpr uint64_t kPairTableMinBytes = 1 << 20;

// Maps byte j of every pixel inside `area` through tables[j] (one-byte
// samples). Large areas go two bytes at a time through tables of 65536
// byte pairs, one per pair position within a run of whole pixels, which
// halves the lookups and stores; the pair tables are the only allocation,
// and without them the bytes are mapped one by one.
void MapBytes(Bitmap* t, const PictureRect& area, const uint8_t* const tables[4]) {
    const size_t pixelBytes = t->bytesPerPixel;  // 1, 3 or 4
    const size_t span = size_t(area.width) * pixelBytes;
    bool uniform = true;  // one table for every byte: one pair table serves
    for (size_t k = 1; k < pixelBytes; ++k) uniform = uniform && tables[k] == tables[0];
    const size_t pairs = uniform ? 1 : pixelBytes == 3 ? 3 : 2;
    // Twelve bytes a step are whole pixels of every size; pair k of a step
    // is pair k % pairs of the pattern.
    constexpr size_t kStep = 12;
    size_t tableOf[kStep / 2];
    for (size_t k = 0; k < kStep / 2; ++k) tableOf[k] = (k % pairs) * 65536;
    uint16_t* pairTables = nullptr;
    if (uint64_t(span) * uint64_t(area.height) >= kPairTableMinBytes)
        pairTables = static_cast<uint16_t*>(AllocArray(pairs * 65536, sizeof(uint16_t)));
    if (pairTables) {
        for (size_t q = 0; q < pairs; ++q) {
            const uint8_t* first = tables[(2 * q) % pixelBytes];
            const uint8_t* second = tables[(2 * q + 1) % pixelBytes];
            for (int a = 0; a < 256; ++a)
                for (int b = 0; b < 256; ++b) {
                    // Keys and values in memory order, whatever the byte order.
                    const uint8_t in[2] = {uint8_t(a), uint8_t(b)}, out[2] = {first[a], second[b]};
                    uint16_t key, value;
                    std::memcpy(&key, in, 2);
                    std::memcpy(&value, out, 2);
                    pairTables[q * 65536 + key] = value;
                }
        }
    }
    for (int32_t y = area.y; y < area.y + area.height; ++y) {
        uint8_t* p = Row(t, y) + size_t(area.x) * pixelBytes;
        size_t i = 0;
        if (pairTables)
            for (; i + kStep <= span; i += kStep)
                for (size_t k = 0; k < kStep / 2; ++k) {
                    uint16_t v;
                    std::memcpy(&v, p + i + 2 * k, 2);
                    v = pairTables[tableOf[k] + v];
                    std::memcpy(p + i + 2 * k, &v, 2);
                }
        for (; i < span; ++i) p[i] = tables[i % pixelBytes][p[i]];
    }
    std::free(pairTables);
}

// Red, green and blue through their tables: a palette's entries, a grey
// picture's samples (through the red table, fitted to its levels), or the
// colour samples of true-colour pixels inside `area`, alpha kept.
void ApplyTables(Bitmap* t, const PictureRect& area, const uint8_t* red, const uint8_t* green, const uint8_t* blue) {
    if (t->pixelType == kPixelPalette) {
        const int n = PaletteEntries(t);
        for (int i = 0; i < n; ++i) {
            t->palette[i] = red[t->palette[i]];
            t->palette[kPaletteGreen + i] = green[t->palette[kPaletteGreen + i]];
            t->palette[kPaletteBlue + i] = blue[t->palette[kPaletteBlue + i]];
        }
        return;
    }
    const int sampleBytes = PixelSampleBytes(t->bitsPerSample);
    const uint32_t max = MaxSample(t);
    const size_t pixelBytes = t->bytesPerPixel;
    uint8_t identity[256];
    for (int i = 0; i < 256; ++i) identity[i] = uint8_t(i);
    if (t->pixelType == kPixelGrey) {
        uint8_t grey[256];
        std::memcpy(grey, red, 256);
        FitTableToGreyLevels(t, grey);
        if (sampleBytes == 1) {
            const uint8_t* tables[4] = {grey, grey, grey, grey};
            MapBytes(t, area, tables);
            return;
        }
        for (int32_t y = area.y; y < area.y + area.height; ++y) {
            uint8_t* p = Row(t, y) + size_t(area.x) * pixelBytes;
            for (int32_t x = 0; x < area.width; ++x, p += pixelBytes) MapDeepSample(p, sampleBytes, max, grey);
        }
        return;
    }
    const ChannelOrder order = colour::ChannelOrderOf(t->pixelType);
    if (sampleBytes == 1) {
        // The fourth byte (alpha, or CMYK's black) stays.
        const uint8_t* tables[4] = {identity, identity, identity, identity};
        tables[order.red] = red;
        tables[order.green] = green;
        tables[order.blue] = blue;
        MapBytes(t, area, tables);
        return;
    }
    const size_t at[3] = {size_t(order.red) * size_t(sampleBytes), size_t(order.green) * size_t(sampleBytes),
                          size_t(order.blue) * size_t(sampleBytes)};
    const uint8_t* tables[3] = {red, green, blue};
    for (int32_t y = area.y; y < area.y + area.height; ++y) {
        uint8_t* p = Row(t, y) + size_t(area.x) * pixelBytes;
        for (int32_t x = 0; x < area.width; ++x, p += pixelBytes)
            for (int k = 0; k < 3; ++k) MapDeepSample(p + at[k], sampleBytes, max, tables[k]);
    }
}

// How often each palette entry is used.
void PaletteUse(const Bitmap* b, uint32_t use[256]) {
    std::fill(use, use + 256, 0u);
    for (int32_t y = 0; y < b->height; ++y) {
        const uint8_t* row = Row(b, y);
        for (int32_t x = 0; x < b->width; ++x) ++use[row[x]];
    }
}

// The levels that hold the darkest and lightest 0.1 % of `counts`: the
// first level from each end where the running sum passes the threshold;
// when those meet, the lowest and highest levels in use. False when the
// histogram is empty.
bool TailLevels(const uint32_t counts[256], uint64_t pixels, int* low, int* high) {
    const uint64_t threshold = pixels / 1000;
    uint64_t sum = 0;
    *low = 255;
    for (int v = 0; v < 256; ++v)
        if ((sum += counts[v]) > threshold) {
            *low = v;
            break;
        }
    sum = 0;
    *high = 0;
    for (int v = 255; v >= 0; --v)
        if ((sum += counts[v]) > threshold) {
            *high = v;
            break;
        }
    if (*low == *high) {
        int first = -1, last = -1;
        for (int v = 0; v < 256; ++v)
            if (counts[v]) {
                if (first < 0) first = v;
                last = v;
            }
        if (first < 0) return false;
        *low = first;
        *high = last;
    }
    return true;
}

}  // namespace

void BuildAdjustTable(uint8_t table[256], int brightness, int contrast, double gamma) {
    contrast = std::clamp(contrast, -kContrastLimit, kContrastLimit);
    if (!(gamma >= kGammaMin)) gamma = kGammaMin;  // NaN too
    const bool keepGamma = gamma >= 0.9999 && gamma <= 1.0001;
    for (int i = 0; i < 256; ++i) {
        double v = std::clamp(int64_t(i) + brightness, int64_t(0), int64_t(255));
        if (contrast > 0) v = std::trunc((v - contrast) * 255.0 / (255.0 - 2.0 * contrast));
        else v = std::trunc((255.0 + 2.0 * contrast) * v * kOneOver255 - contrast);
        v = std::clamp(v, 0.0, 255.0);
        if (!keepGamma) v = std::trunc(std::pow(v * kOneOver255, 1.0 / gamma) * 255.0 + 0.5);
        table[i] = uint8_t(std::clamp(v, 0.0, 255.0));
    }
}

void FitTableToGreyLevels(const Bitmap* picture, uint8_t table[256]) {
    int n;
    if (picture->pixelType == kPixelBilevel) n = 2;
    else if (picture->pixelType == kPixelGrey && picture->bitsPerSample <= 8) n = picture->paletteCount;
    else return;
    if (n < 2 || n >= 256) return;  // no ramp of its own: samples are 0..255
    // Rounded both ways, so that the identity table stays the identity.
    uint8_t fitted[256] = {};
    for (int k = 0; k < n; ++k)
        fitted[k] = uint8_t((table[(k * 255 + (n - 1) / 2) / (n - 1)] * (n - 1) + 127) / 255);
    std::memcpy(table, fitted, 256);
}

int ApplyAdjustTable(Bitmap* picture, Bitmap* dst, const PictureRect* rect, const uint8_t table[256]) {
    Bitmap* target;
    PictureRect area;
    const int rc = Begin(picture, dst, rect, &target, &area);
    if (rc != kGeometryDone) return rc;
    ApplyTables(target, area, table, table, table);
    return kGeometryDone;
}

int ApplyChannelTables(Bitmap* picture, Bitmap* dst, const PictureRect* rect, const uint8_t tables[3][256]) {
    Bitmap* target;
    PictureRect area;
    const int rc = Begin(picture, dst, rect, &target, &area);
    if (rc != kGeometryDone) return rc;
    ApplyTables(target, area, tables[0], tables[1], tables[2]);
    return kGeometryDone;
}

int BitmapAdjustColours(Bitmap* picture, Bitmap* dst, const PictureRect* rect, int brightness, int contrast,
                        double gamma) {
    if (picture && picture->pixelType == kPixelBilevel) return kAdjustRefusesBilevel;
    uint8_t table[256];
    BuildAdjustTable(table, brightness, contrast, gamma);
    return ApplyAdjustTable(picture, dst, rect, table);
}

void ChannelHistograms(const Bitmap* picture, uint32_t counts[4][256]) {
    for (int k = 0; k < 4; ++k) std::fill(counts[k], counts[k] + 256, 0u);
    if (CheckSource(picture, nullptr) != kGeometryDone || picture->pixelType == kPixelBilevel) return;
    if (picture->pixelType == kPixelPalette) {
        uint32_t use[256];
        PaletteUse(picture, use);
        for (int i = 0; i < 256; ++i) {
            counts[0][picture->palette[i]] += use[i];
            counts[1][picture->palette[kPaletteGreen + i]] += use[i];
            counts[2][picture->palette[kPaletteBlue + i]] += use[i];
        }
        return;
    }
    const int sampleBytes = PixelSampleBytes(picture->bitsPerSample);
    const uint32_t max = MaxSample(picture);
    const ChannelOrder order = colour::ChannelOrderOf(picture->pixelType);
    const int at[4] = {order.red, order.green, order.blue, order.alpha};
    const int channels = picture->components;  // 1, 3 or 4
    for (int32_t y = 0; y < picture->height; ++y) {
        const uint8_t* p = Row(picture, y);
        for (int32_t x = 0; x < picture->width; ++x, p += picture->bytesPerPixel) {
            if (channels == 1) {
                const uint8_t v = ScaledSample(p, sampleBytes, max);
                ++counts[0][sampleBytes == 1 ? colour::GreyOfLevel(v, picture->paletteCount) : v];
                continue;
            }
            for (int k = 0; k < channels; ++k) ++counts[k][ScaledSample(p + at[k] * sampleBytes, sampleBytes, max)];
        }
    }
}

void LuminanceHistogram(const Bitmap* picture, uint32_t counts[256]) {
    std::fill(counts, counts + 256, 0u);
    if (CheckSource(picture, nullptr) != kGeometryDone || picture->pixelType == kPixelBilevel) return;
    const int32_t width = picture->width;
    if (picture->pixelType == kPixelPalette) {
        uint32_t use[256];
        PaletteUse(picture, use);
        const uint8_t* pal = picture->palette;
        for (int i = 0; i < 256; ++i)
            counts[colour::Luminance(pal[i], pal[kPaletteGreen + i], pal[kPaletteBlue + i])] += use[i];
        return;
    }
    if (picture->pixelType == kPixelGrey) {
        const int sampleBytes = PixelSampleBytes(picture->bitsPerSample);
        const uint32_t max = MaxSample(picture);
        for (int32_t y = 0; y < picture->height; ++y) {
            const uint8_t* p = Row(picture, y);
            for (int32_t x = 0; x < width; ++x, p += sampleBytes) {
                const uint8_t v = ScaledSample(p, sampleBytes, max);
                ++counts[sampleBytes == 1 ? colour::GreyOfLevel(v, picture->paletteCount) : v];
            }
        }
        return;
    }
    colour::RgbRowReader reader(picture);
    if (!reader.ok()) return;
    for (int32_t y = 0; y < picture->height; ++y) {
        const uint8_t* p = reader.RgbRow(y);
        for (int32_t x = 0; x < width; ++x, p += 3) ++counts[colour::Luminance(p[0], p[1], p[2])];
    }
}

int BitmapAutoLevels(Bitmap* picture, Bitmap* dst, const PictureRect* rect) {
    if (CheckSource(picture, nullptr) != kGeometryDone) return kGeometryBadSize;
    if (picture->pixelType == kPixelBilevel) return kAdjustRefusesBilevel;
    uint32_t counts[4][256];
    ChannelHistograms(picture, counts);
    const int channels = picture->components == 1 && picture->pixelType != kPixelPalette ? 1 : 3;
    const uint64_t pixels = uint64_t(picture->width) * uint64_t(picture->height);
    uint8_t tables[3][256];
    for (int k = 0; k < 3; ++k) {
        int low = 0, high = 255;
        // A grey picture's one channel serves all three tables.
        const bool found = TailLevels(counts[k < channels ? k : 0], pixels, &low, &high);
        for (int v = 0; v < 256; ++v) {
            int out = v;
            if (found && high > low) out = v < low ? 0 : v > high ? 255 : (v - low) * 255 / (high - low);
            tables[k][v] = uint8_t(out);
        }
    }
    return ApplyChannelTables(picture, dst, rect, tables);
}

int BitmapAutoContrast(Bitmap* picture, Bitmap* dst, const PictureRect* rect) {
    if (CheckSource(picture, nullptr) != kGeometryDone) return kGeometryBadSize;
    if (picture->pixelType == kPixelBilevel) return kAdjustRefusesBilevel;
    uint32_t counts[256];
    LuminanceHistogram(picture, counts);
    int low = 0, high = 255;
    const uint64_t pixels = uint64_t(picture->width) * uint64_t(picture->height);
    // One luminance (or none): nothing to stretch, the picture stays.
    if (!TailLevels(counts, pixels, &low, &high) || high <= low)
        return BitmapAdjustColours(picture, dst, rect, 0, 0, 1.0);
    return BitmapAdjustColours(picture, dst, rect, 128 - (low + high) / 2, (low - high + 255) / 2, 1.0);
}

int BitmapAdjustRgb(Bitmap* picture, Bitmap* dst, const PictureRect* rect, int red, int green, int blue) {
    if (picture && picture->pixelType == kPixelBilevel) return kAdjustRefusesBilevel;
    uint8_t tables[3][256];
    const int offsets[3] = {red, green, blue};
    for (int k = 0; k < 3; ++k)
        for (int v = 0; v < 256; ++v)
            tables[k][v] = uint8_t(std::clamp(int64_t(v) + offsets[k], int64_t(0), int64_t(255)));
    return ApplyChannelTables(picture, dst, rect, tables);
}
