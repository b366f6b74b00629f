// Colour reduction to black and white, grey levels, palettes and the
// true-colour layouts, with thresholding, ordered dithering, halftone
// patterns or error diffusion. Dithering is table driven: per-call tables
// of step flags (one 64-entry table per cell of the 8 x 8 matrix), level
// and cube splits; the per-pixel work is lookups and additions.
#include <cstdlib>
#include <utility>
#include <cstring>

#include "processing/colour_internal.h"
#include "imagelib/geometry/geometry_internal.h"
#include "processing/reduce.h"

using namespace geometry;
using colour::ChannelOrder;
using colour::Rgb;

namespace {

constexpr int kGreyLevels[] = {4, 8, 16, 32, 64, 128, 216, 256};     // modes 2..9
constexpr int kPaletteColours[] = {8, 16, 32, 64, 128, 216, 256};    // modes 12..18
constexpr uint16_t kLayouts[] = {kPixelRGB, kPixelRGBA, kPixelBGR, kPixelABGR, kPixelBGRA, kPixelARGB};  // 19..24

// Halftone patterns of 36 steps for black and white.
constexpr uint8_t kPatternFirst[6][6] = {{15, 9, 17, 32, 22, 30}, {7, 1, 3, 19, 35, 23}, {13, 5, 11, 27, 26, 33},
                                         {31, 21, 29, 16, 10, 18}, {20, 36, 24, 8, 2, 4}, {28, 25, 34, 14, 6, 12}};
constexpr uint8_t kPatternSecond[6][6] = {{30, 19, 13, 20, 31, 35}, {18, 8, 5, 9, 21, 29}, {12, 4, 1, 2, 10, 28},
                                          {17, 7, 3, 6, 14, 27}, {26, 16, 11, 15, 22, 32}, {34, 25, 24, 23, 33, 36}};
// Ordered matrix of 64 steps for grey levels and colour cubes.
constexpr uint8_t kOrdered8[8][8] = {{0, 38, 9, 47, 2, 40, 11, 50},   {25, 12, 35, 22, 27, 15, 37, 24},
                                     {6, 44, 3, 41, 8, 47, 5, 43},    {31, 19, 28, 15, 34, 21, 31, 18},
                                     {1, 39, 11, 49, 0, 39, 10, 48},  {27, 14, 36, 23, 26, 13, 35, 23},
                                     {7, 46, 4, 43, 7, 45, 3, 42},    {33, 20, 30, 17, 32, 19, 29, 16}};

// The 16 x 16 Bayer matrix (0..255), built by quadrants from [[0, 2], [3, 1]];
// its top left cell holds 1 so that black stays black.
struct Bayer16 {
    uint8_t m[16][16];
    Bayer16() {
        m[0][0] = 0;
        for (int n = 1; n < 16; n *= 2)
            for (int y = n - 1; y >= 0; --y)
                for (int x = n - 1; x >= 0; --x) {
                    const int v = 4 * m[y][x];
                    m[y][x] = uint8_t(v);
                    m[y][x + n] = uint8_t(v + 2);
                    m[y + n][x] = uint8_t(v + 3);
                    m[y + n][x + n] = uint8_t(v + 1);
                }
        m[0][0] = 1;
    }
};

// Level ramp: value i of `from` levels expressed in `to` levels. A source
// with fewer than 2 levels has no ramp and reads as 256 levels; values past
// the last level read as the last.
struct LevelRamp {
    uint8_t v[256];
    LevelRamp(int from, int to) {
        if (from < 2 || from > 256) from = 256;
        for (int i = 0; i < 256; ++i) {
            const int s = i < from ? i : from - 1;
            v[i] = uint8_t(s * (to - 1) / (from - 1));
        }
    }
};

// Ordered dithering between levels: for every 0..255 value the lower level
// `base` and how far towards the next it lies, in 64ths.
struct LevelDither {
    uint8_t frac[256];
    uint8_t base[256];
    explicit LevelDither(int levels) {
        const double step = 255.0 / double(levels - 1);
        for (int x = 0; x < 256; ++x) {
            int b = int(double(x) / step);
            if (b == levels - 1) --b;
            base[x] = uint8_t(b);
            frac[x] = uint8_t(int((double(x) - double(b) * step) / (step / 63.0)));
        }
    }
    // 1 when value x at cell (cx, cy) takes the upper level.
    int Up(int x, int cx, int cy) const { return frac[x] > kOrdered8[cy & 7][cx & 7] ? 1 : 0; }
};

// Levels per channel of the colour cubes.
struct CubeShape {
    int colours, r, g, b;
};
constexpr CubeShape kCubes[] = {{8, 2, 2, 2},   {16, 2, 4, 2},  {32, 4, 4, 2},  {64, 4, 4, 4},
                                {128, 4, 8, 4}, {216, 6, 6, 6}, {256, 8, 8, 4}};

// Every 8-bit source pixel as one lookup: a grey, palette or bilevel value's
// colour, or a true-colour pixel read in its type's channel order.
class PixelSource {
public:
    explicit PixelSource(const Bitmap* src)
        : src_(src), reader_(src), trueColour_(IsTrueColour(src->pixelType)) {
        if (trueColour_) return;
        colour::IndexedColours(src, colours_);
        row_ = static_cast<uint8_t*>(AllocArray(size_t(src->width), 4));
    }
    ~PixelSource() { std::free(row_); }
    PixelSource(const PixelSource&) = delete;
    PixelSource& operator=(const PixelSource&) = delete;
    bool ok() const { return trueColour_ ? reader_.ok() : row_ != nullptr; }
    // Row y as packed red, green, blue, alpha; valid until the next call.
    const uint8_t* Rgba(int32_t y) {
        if (trueColour_) return reader_.RgbaRow(y);
        const uint8_t* row = Row(src_, y);
        for (int32_t x = 0; x < src_->width; ++x) {
            const Rgb c = colours_[colour::IndexedValue(src_, row, x)];
            row_[4 * x] = c.r;
            row_[4 * x + 1] = c.g;
            row_[4 * x + 2] = c.b;
            row_[4 * x + 3] = 255;
        }
        return row_;
    }

private:
    const Bitmap* src_;
    colour::RgbRowReader reader_;
    bool trueColour_;
    Rgb colours_[256];
    uint8_t* row_ = nullptr;
};

// The grey value of every pixel of a row: a grey picture's level, a colour's
// luminance.
class GreySource {
public:
    explicit GreySource(const Bitmap* src) : src_(src), pixels_(src) {}
    bool ok() const { return pixels_.ok(); }
    void Row(int32_t y, uint8_t* grey) {
        if (src_->pixelType == kPixelGrey) {
            const uint8_t* row = geometry::Row(src_, y);
            for (int32_t x = 0; x < src_->width; ++x) grey[x] = colour::GreyOfLevel(row[x], src_->paletteCount);
            return;
        }
        const uint8_t* p = pixels_.Rgba(y);
        for (int32_t x = 0; x < src_->width; ++x, p += 4) grey[x] = uint8_t(colour::Luminance(p[0], p[1], p[2]));
    }

private:
    const Bitmap* src_;
    PixelSource pixels_;
};

// A fresh result picture the size of `src`, with no transparent colour.
int NewResult(Bitmap* out, const Bitmap* src, uint16_t type, int paletteCount) {
    const int rc = NewPicture(out, type, src->rowAlignment, src->width, src->height, 8);
    if (rc != kGeometryDone) return rc;
    out->paletteCount = int16_t(paletteCount);
    out->transparentIndex = -1;
    return kGeometryDone;
}

int ToBilevel(const Bitmap* src, int method, Bitmap* out) {
    int rc = NewResult(out, src, kPixelBilevel, 2);
    if (rc != kGeometryDone) return rc;
    const int32_t width = src->width;
    GreySource greys(src);
    uint8_t* grey = static_cast<uint8_t*>(AllocArray(size_t(width), 1));
    // Error diffusion: errors carried to this row and the next, one spare
    // slot past the right edge that nothing reads.
    int32_t* errors = method == kDitherDiffusion ? static_cast<int32_t*>(AllocArray(2 * (size_t(width) + 1), 4))
                                                 : nullptr;
    if (!greys.ok() || !grey || (method == kDitherDiffusion && !errors)) {
        std::free(grey);
        std::free(errors);
        FreeBitmap(out);
        return kGeometryNoMemory;
    }
    static const Bayer16 bayer;
    int32_t* cur = errors;
    int32_t* next = errors ? errors + width + 1 : nullptr;
    for (int32_t y = 0; y < src->height; ++y) {
        greys.Row(y, grey);
        uint8_t* o = Row(out, y);
        for (int32_t x = 0; x < width; ++x) {
            const int g = grey[x];
            bool white;
            switch (method) {
                case kDitherNone: white = g >= 127; break;
                case kDitherOrdered: white = g >= bayer.m[y & 15][x & 15]; break;
                case kDitherDiffusion: {
                    const int32_t v = g + cur[x];
                    cur[x] = 0;
                    white = v >= 128;
                    const int32_t e = white ? v - 255 : v;
                    cur[x + 1] += 3 * e / 8;
                    next[x] += 3 * e / 8;
                    next[x + 1] += e / 4;
                    break;
                }
                default: {
                    const auto& pattern = method == kDitherPatternSecond ? kPatternSecond : kPatternFirst;
                    white = g * 36 / 255 >= pattern[y % 6][x % 6];
                }
            }
            if (white) OrRowBit(o, x, 1);
        }
        if (errors) {
            cur[width] = 0;
            std::swap(cur, next);
        }
    }
    std::free(grey);
    std::free(errors);
    return kGeometryDone;
}

int ToGreyLevels(const Bitmap* src, int levels, int method, Bitmap* out) {
    int rc = NewResult(out, src, kPixelGrey, levels);
    if (rc != kGeometryDone) return rc;
    const int32_t width = src->width;
    if (src->pixelType == kPixelBilevel) {
        for (int32_t y = 0; y < src->height; ++y) {
            const uint8_t* row = Row(src, y);
            uint8_t* o = Row(out, y);
            for (int32_t x = 0; x < width; ++x) o[x] = GetRowBit(row, x) ? uint8_t(levels - 1) : 0;
        }
        return kGeometryDone;
    }
    const bool ordered = method == kDitherOrdered && levels < 256;
    if (src->pixelType == kPixelGrey && !ordered) {
        const LevelRamp ramp(src->paletteCount, levels);
        for (int32_t y = 0; y < src->height; ++y) {
            const uint8_t* row = Row(src, y);
            uint8_t* o = Row(out, y);
            for (int32_t x = 0; x < width; ++x) o[x] = ramp.v[row[x]];
        }
        return kGeometryDone;
    }
    GreySource greys(src);
    if (!greys.ok()) {
        FreeBitmap(out);
        return kGeometryNoMemory;
    }
    const LevelRamp ramp(256, levels);
    const LevelDither dither(levels);
    for (int32_t y = 0; y < src->height; ++y) {
        uint8_t* o = Row(out, y);
        greys.Row(y, o);  // grey values, turned into levels in place
        if (ordered)
            for (int32_t x = 0; x < width; ++x) o[x] = uint8_t(dither.base[o[x]] + dither.Up(o[x], x, y));
        else
            for (int32_t x = 0; x < width; ++x) o[x] = ramp.v[o[x]];
    }
    return kGeometryDone;
}

int ToCube(const Bitmap* src, const CubeShape& cube, Bitmap* out) {
    int rc = NewResult(out, src, kPixelPalette, cube.r * cube.g * cube.b);
    if (rc != kGeometryDone) return rc;
    for (int ri = 0; ri < cube.r; ++ri)
        for (int gi = 0; gi < cube.g; ++gi)
            for (int bi = 0; bi < cube.b; ++bi) {
                const int i = (ri * cube.g + gi) * cube.b + bi;
                out->palette[i] = uint8_t(ri * 255 / (cube.r - 1));
                out->palette[kPaletteGreen + i] = uint8_t(gi * 255 / (cube.g - 1));
                out->palette[kPaletteBlue + i] = uint8_t(bi * 255 / (cube.b - 1));
            }
    PixelSource pixels(src);
    if (!pixels.ok()) {
        FreeBitmap(out);
        return kGeometryNoMemory;
    }
    const LevelDither dr(cube.r), dg(cube.g), db(cube.b);
    const int strideR = cube.g * cube.b, strideG = cube.b;
    for (int32_t y = 0; y < src->height; ++y) {
        const uint8_t* p = pixels.Rgba(y);
        uint8_t* o = Row(out, y);
        for (int32_t x = 0; x < src->width; ++x, p += 4) {
            const int r = dr.base[p[0]] + dr.Up(p[0], x, y);
            const int g = dg.base[p[1]] + dg.Up(p[1], x, y);
            const int b = db.base[p[2]] + db.Up(p[2], x, y);
            o[x] = uint8_t(r * strideR + g * strideG + b);
        }
    }
    return kGeometryDone;
}

int BilevelToPalette(const Bitmap* src, int colours, Bitmap* out) {
    int rc = NewResult(out, src, kPixelPalette, colours);
    if (rc != kGeometryDone) return rc;
    out->palette[1] = out->palette[kPaletteGreen + 1] = out->palette[kPaletteBlue + 1] = 255;
    for (int32_t y = 0; y < src->height; ++y) {
        const uint8_t* row = Row(src, y);
        uint8_t* o = Row(out, y);
        for (int32_t x = 0; x < src->width; ++x) o[x] = uint8_t(GetRowBit(row, x));
    }
    return kGeometryDone;
}

int ToLayout(const Bitmap* src, uint16_t type, Bitmap* out) {
    int rc = NewResult(out, src, type, 0);
    if (rc != kGeometryDone) return rc;
    PixelSource pixels(src);
    if (!pixels.ok()) {
        FreeBitmap(out);
        return kGeometryNoMemory;
    }
    const ChannelOrder order = colour::ChannelOrderOf(type);
    const size_t step = out->bytesPerPixel;
    for (int32_t y = 0; y < src->height; ++y) {
        const uint8_t* p = pixels.Rgba(y);
        uint8_t* o = Row(out, y);
        for (int32_t x = 0; x < src->width; ++x, p += 4, o += step) colour::PutRgba(o, order, p[0], p[1], p[2], p[3]);
    }
    return kGeometryDone;
}

// A copy of `src` (the result of a mode that asks for what the picture is).
int CopyOf(const Bitmap* src, Bitmap* out) {
    const int rc = NewPictureLike(out, src, src->width, src->height);
    if (rc == kGeometryDone) CopyRows(out, src);
    return rc;
}

bool ModeIsValid(int mode) { return (mode >= 1 && mode <= 9) || (mode >= 12 && mode <= 24); }

}  // namespace

int ReduceSampleDepth(Bitmap* src, Bitmap* dst) {
    geometry::Layout layout;
    int rc = CheckSource(src, &layout);
    if (rc != kGeometryDone) return rc;
    Bitmap out{};
    rc = NewPicture(&out, src->pixelType, src->rowAlignment, src->width, src->height, 8);
    if (rc != kGeometryDone) return rc;
    out.paletteCount = src->paletteCount;
    out.transparentIndex = src->transparentIndex;
    if (out.palette && src->palette) std::memcpy(out.palette, src->palette, kPaletteBytes);
    const int shift = colour::SampleShift(src);
    const size_t samples = size_t(src->width) * size_t(layout.components);
    for (int32_t y = 0; y < src->height; ++y) {
        const uint8_t* in = Row(src, y);
        uint8_t* o = Row(&out, y);
        if (src->pixelType == kPixelBilevel || layout.sampleBytes == 1) {
            std::memcpy(o, in, size_t(out.bytesPerRow));
            continue;
        }
        for (size_t i = 0; i < samples; ++i) {
            const uint32_t v = (layout.sampleBytes == 2 ? ReadSample<2>(in + 2 * i) : ReadSample<4>(in + 4 * i)) >> shift;
            o[i] = uint8_t(v > 255 ? 255 : v);
        }
    }
    Deliver(src, dst == src ? nullptr : dst, &out);
    return kGeometryDone;
}

int BitmapReduceColours(Bitmap* src, Bitmap* dst, int mode, int dither) {
    mode &= 0xFFFF;
    dither &= 0xFFFF;
    int rc = CheckSource(src, nullptr);
    if (rc != kGeometryDone) return rc;
    const bool deep = src->pixelType != kPixelBilevel && src->bitsPerSample > 8;
    Bitmap reduced{};
    const Bitmap* from = src;
    if (deep) {
        // Without a destination the source itself keeps 8 bits a sample,
        // whatever follows; with one a temporary copy serves.
        if (!dst) {
            rc = ReduceSampleDepth(src, nullptr);
            if (rc != kGeometryDone) return rc;
        } else if (ModeIsValid(mode)) {
            rc = ReduceSampleDepth(src, &reduced);
            if (rc != kGeometryDone) return rc;
            from = &reduced;
        }
    }
    if (!ModeIsValid(mode)) return kGeometryBadSize;

    const uint16_t type = src->pixelType;
    // Asked for what it is, the picture is copied into the destination, or
    // left as it is without one.
    const bool same = (mode == kColourBilevel && type == kPixelBilevel) ||
                      (mode >= kColourRGB && kLayouts[mode - kColourRGB] == type);
    if (same && !dst) return kGeometryDone;
    Bitmap out{};
    if (same) {
        rc = CopyOf(from, &out);
    } else if (mode == kColourBilevel) {
        rc = ToBilevel(from, dither, &out);
    } else if (mode <= kColourGrey256) {
        rc = ToGreyLevels(from, kGreyLevels[mode - kColourGrey4], dither, &out);
    } else if (mode <= kColourPalette256) {
        const int colours = kPaletteColours[mode - kColourPalette8];
        if (type == kPixelBilevel) rc = BilevelToPalette(from, colours, &out);
        else if (dither == kDitherOrdered) rc = ToCube(from, kCubes[mode - kColourPalette8], &out);
        else rc = colour::QuantizeToNew(from, colours, dither == kDitherDiffusion, &out);
    } else {
        rc = ToLayout(from, kLayouts[mode - kColourRGB], &out);
    }
    FreeBitmap(&reduced);
    if (rc != kGeometryDone) return rc;
    Deliver(src, dst, &out);
    return kGeometryDone;
}
