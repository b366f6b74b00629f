// The display layer's portable core: global tables, DIB description, maps,
// palette and converter choice. See display.h.
#include "display/display.h"

#include <cstdlib>
#include <cstring>

#include "imagelib/checked.h"

DisplayState g_Display;

namespace {

// 4 x 4 thresholds of the 16-bit dither, row-major by (y mod 4, x mod 4).
constexpr uint8_t kThreshold4[4][4] = {{0, 4, 1, 5}, {6, 2, 7, 3}, {1, 5, 0, 4}, {7, 3, 6, 2}};

// 8 x 8 ordered-dither (Bayer) matrix of the cube, values 0..63, by (y, x).
constexpr uint8_t kBayer8[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

constexpr int kCubeStep = 51;  // 255 / (kCubeLevels - 1)

void FreeCubeTables(DisplayState* d) {
    std::free(d->cubeChannels[0]);  // the three channels are one block
    for (CubeChannelEntry*& channel : d->cubeChannels) channel = nullptr;
    std::free(d->cubeCells);
    d->cubeCells = nullptr;
}

// Each channel value lies between two cube levels; a cell of the 8 x 8
// matrix takes the upper one when the value's fraction passes the cell's
// threshold, so over a cell the levels average to the value.
int BuildCubeTables(DisplayState* d) {
    static constexpr uint8_t kWeight[3] = {36, 6, 1};
    auto* channels = static_cast<CubeChannelEntry*>(std::calloc(3 * 256, sizeof(CubeChannelEntry)));
    if (!channels) return 0;
    for (int c = 0; c < 3; ++c) {
        d->cubeChannels[c] = channels + 256 * c;
        for (int v = 0; v < 256; ++v) {
            const int lower = v / kCubeStep;
            const int upper = lower + 1 < kCubeLevels ? lower + 1 : lower;
            CubeChannelEntry& e = d->cubeChannels[c][v];
            e.fraction = uint8_t((v - lower * kCubeStep) * 255 / kCubeStep);
            e.index[0] = uint8_t(lower * kWeight[c]);
            e.index[1] = uint8_t(upper * kWeight[c]);
        }
    }
    using CellRow = uint8_t[kCubeCell][256];
    d->cubeCells = static_cast<CellRow*>(std::malloc(kCubeCell * sizeof(CellRow)));
    if (!d->cubeCells) return 0;
    for (int y = 0; y < kCubeCell; ++y) {
        for (int x = 0; x < kCubeCell; ++x) {
            uint8_t* cell = d->cubeCells[y][x];
            // Upper with probability f / 256: f > 4k + 2 for threshold k of 64.
            const int threshold = 4 * kBayer8[y][x] + 2;
            for (int f = 0; f < 256; ++f) cell[f] = f > threshold ? 1 : 0;
        }
    }
    return 1;
}

bool HostIsLittleEndian() {
    const uint16_t probe = 1;
    uint8_t first;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

bool IsOneByteType(uint16_t type) { return type == kPixelBilevel || type == kPixelGrey || type == kPixelPalette; }

// Sample order of each stored type: the sample index of red, green, blue
// (C, M, Y for CMYK) and of the fourth sample (K for CMYK), or -1.
struct TypeLayout {
    uint16_t type;
    int8_t components;
    int8_t order[4];
};
constexpr TypeLayout kLayouts[] = {
    {kPixelBilevel, 1, {0, 0, 0, -1}}, {kPixelGrey, 1, {0, 0, 0, -1}}, {kPixelPalette, 1, {0, 0, 0, -1}},
    {kPixelRGB, 3, {0, 1, 2, -1}},     {kPixelBGR, 3, {2, 1, 0, -1}},  {kPixelRGBA, 4, {0, 1, 2, 3}},
    {kPixelBGRA, 4, {2, 1, 0, 3}},     {kPixelABGR, 4, {3, 2, 1, 0}},  {kPixelARGB, 4, {1, 2, 3, 0}},
    {kPixelCMYK, 4, {0, 1, 2, 3}},
};

const TypeLayout* LayoutOf(uint16_t type) {
    for (const TypeLayout& l : kLayouts)
        if (l.type == type) return &l;
    return nullptr;
}

// Checks that the record describes readable pixels and fills the record's
// sample offsets. False for anything a converter could not read safely.
bool DescribeSource(ScreenBitmap* sb, const Bitmap* p) {
    PixelLayout pixels;
    if (!CheckBitmapLayout(p, &pixels)) return false;
    const TypeLayout* layout = LayoutOf(p->pixelType);
    if (!layout) return false;
    if (p->pixelType == kPixelBilevel) {
        std::memset(sb->channel, 0, sizeof sb->channel);
        sb->cmyk = 0;
        sb->sourceBytes = 0;  // bits, not bytes
        return true;
    }
    const int sampleBytes = pixels.sampleBytes;
    // Deep samples are shown by their most significant byte.
    const int high = HostIsLittleEndian() ? sampleBytes - 1 : 0;
    for (int k = 0; k < 4; ++k) {
        const int s = layout->order[k] < 0 ? 0 : layout->order[k];
        sb->channel[k] = uint8_t(s * sampleBytes + high);
    }
    sb->cmyk = p->pixelType == kPixelCMYK ? 1 : 0;
    sb->sourceBytes = uint8_t(p->bytesPerPixel);
    return true;
}

// The picture's colours for an 8-bit or 1-bit DIB: its palette, else a grey
// ramp over its levels. Returns the number of colours set.
int PictureColours(const Bitmap* p, DibColour* out) {
    std::memset(out, 0, 256 * sizeof(DibColour));
    const bool bilevel = p->pixelType == kPixelBilevel;
    if (p->palette) {
        int count = p->paletteCount;
        if (count < 1 || count > 256) count = bilevel ? 2 : 256;
        if (bilevel && count > 2) count = 2;
        for (int i = 0; i < count; ++i)
            out[i] = DibColour{p->palette[kPaletteBlue + i], p->palette[kPaletteGreen + i], p->palette[i], 0};
        return count;
    }
    // Grey levels 0 .. count - 1 spread over 0..255. Bilevel pictures have
    // two; a count that cannot be a ramp (1 or less, more than 256) and deep
    // samples (shown by their high byte) get all 256.
    int count = bilevel ? 2 : p->paletteCount;
    if (count < 2 || count > 256 || p->bitsPerSample > 8) count = 256;
    for (int i = 0; i < count; ++i) {
        const uint8_t v = uint8_t(i * 255 / (count - 1));
        out[i] = DibColour{v, v, v, 0};
    }
    return count;
}

// DIB rows are padded to 4 bytes; 0 when a row cannot be one.
int32_t DibStride(int64_t width, int64_t bitsPerPixel) { return AlignedRowBytes(width, bitsPerPixel, 4); }

// Fills sb->info (header and colour table) and sb->dibStride for the DIB the
// picture (null: the screen format) needs at sb->dibWidth x sb->dibHeight.
// False when the size cannot be a DIB.
bool DescribeDib(ScreenBitmap* sb, const Bitmap* picture, int screenBits) {
    DibInfo& info = sb->info;
    std::memset(&info, 0, sizeof info);
    info.header.size = sizeof(DibHeader);
    info.header.width = sb->dibWidth;
    info.header.height = sb->dibHeight;
    info.header.planes = 1;
    const int64_t w = sb->dibWidth;
    const uint16_t type = picture ? picture->pixelType : 0;
    int32_t stride = 0;
    if (type == kPixelBilevel) {
        info.header.bitCount = 1;
        info.header.coloursUsed = 2;
        PictureColours(picture, info.colours);
        stride = DibStride(w, 1);
    } else if (type == kPixelGrey || type == kPixelPalette || screenBits < 9) {
        info.header.bitCount = 8;
        stride = DibStride(w, 8);
        if (screenBits < 9) {
            // The converters write cube indices.
            info.header.coloursUsed = kCubeColours;
            FillCubeColours(info.colours);
        } else {
            info.header.coloursUsed = 256;
            PictureColours(picture, info.colours);
        }
    } else if (screenBits == 16) {
        info.header.bitCount = 16;
        info.header.compression = kDibBitFields;
        const uint32_t masks[3] = {kMask555Red, kMask555Green, kMask555Blue};
        std::memcpy(info.colours, masks, sizeof masks);
        stride = DibStride(w, 16);
    } else {
        info.header.bitCount = 24;
        stride = DibStride(w, 24);
    }
    size_t image = 0;
    if (stride < 1 || sb->dibHeight < 1 || !CheckedMul(size_t(stride), size_t(sb->dibHeight), &image) ||
        image > 0xFFFFFFFFu)
        return false;
    info.header.sizeImage = uint32_t(image);
    sb->dibStride = stride;
    return true;
}

void DeleteDib(const DibServices* services, ScreenBitmap* sb) {
    if (sb->dib) services->deleteDib(sb->dib);
    sb->dib = nullptr;
    sb->dibPixels = nullptr;
    sb->dibTopRow = nullptr;
}

void DeletePalette(const DibServices* services, ScreenBitmap* sb) {
    if (sb->palette && sb->palette != g_Display.sharedPalette) services->deletePalette(sb->palette);
    sb->palette = nullptr;
}

void FreeMaps(ScreenBitmap* sb) {
    std::free(sb->rowMap);
    std::free(sb->columnMap);
    sb->rowMap = nullptr;
    sb->columnMap = nullptr;
    sb->targetWidth = sb->targetHeight = 0;
    sb->sourceWidth = sb->sourceHeight = 0;
}

// n x i / d (rounded down) for i = 0, 1, 2, ...: the quotient and remainder
// carried from one i to the next.
struct StepRatio {
    int64_t value = 0, remainder = 0;
    const int64_t whole, part, d;
    StepRatio(int64_t n, int64_t divisor) : whole(n / divisor), part(n % divisor), d(divisor) {}
    void Next() {
        value += whole;
        remainder += part;
        if (remainder >= d) remainder -= d, ++value;
    }
};

// Nearest-neighbour maps: every division truncates, so the first row and
// column always show. Rows stored bottom-up are mapped as seen.
bool BuildMaps(ScreenBitmap* sb, const Bitmap* p, int32_t tw, int32_t th) {
    sb->rowMap = static_cast<const uint8_t**>(std::malloc(size_t(th) * sizeof(uint8_t*)));
    sb->columnMap = static_cast<int32_t*>(std::malloc(size_t(tw) * sizeof(int32_t)));
    if (!sb->rowMap || !sb->columnMap) return false;
    const int64_t pixelStep = p->pixelType == kPixelBilevel ? 1 : p->bytesPerPixel;
    // Source column width x x / tw, stepped without a division per column.
    StepRatio column(p->width, tw);
    for (int32_t x = 0; x < tw; ++x, column.Next()) sb->columnMap[x] = int32_t(column.value * pixelStep);
    const bool bottomUp = (p->orientation & 0x10) != 0;
    StepRatio source(p->height, th);
    for (int32_t y = 0; y < th; ++y, source.Next()) {
        int64_t row = source.value;
        if (bottomUp) row = p->height - 1 - row;
        sb->rowMap[y] = p->pixels + size_t(row) * size_t(p->bytesPerRow);
    }
    sb->targetWidth = tw;
    sb->targetHeight = th;
    sb->sourceWidth = p->width;
    sb->sourceHeight = p->height;
    return true;
}

// The converter for the DIB made for the picture, or null when the tables
// it reads are missing.
ScreenRowConverter ChooseConverter(const ScreenBitmap* sb, const Bitmap* p, int screenBits) {
    const bool colour = (p->pixelType & kPixelMaskColour) != 0;
    ScreenRowConverter chosen = nullptr;
    switch (sb->info.header.bitCount) {
    case 1:
        chosen = p->pixelType == kPixelBilevel ? ScreenRowsToMono : nullptr;
        break;
    case 8:
        if (screenBits < 9) {
            if (!g_Display.cubeCells || !g_Display.cubeChannels[0] || !g_Display.cubeChannels[1] ||
                !g_Display.cubeChannels[2])
                return nullptr;
            chosen = colour ? ScreenRowsRgbToCubeDithered : ScreenRowsIndexedToCubeDithered;
        } else {
            chosen = colour ? nullptr : ScreenRowsCopyMapped;
        }
        break;
    case 16:
        if (!g_Display.ditherRed || !g_Display.ditherGreen || !g_Display.ditherBlue) return nullptr;
        chosen = colour ? ScreenRowsRgbTo16Dithered : nullptr;
        break;
    case 24:
        chosen = colour ? ScreenRowsCopyMapped : nullptr;
        break;
    default:
        return nullptr;
    }
    // A picture at its own size into a DIB of that size, stored as the DIB
    // stores pixels, is copied row by row.
    const bool sameLayout = (sb->info.header.bitCount == 8 && sb->sourceBytes == 1 && !colour) ||
                            (sb->info.header.bitCount == 24 && p->pixelType == kPixelBGR && sb->sourceBytes == 3);
    if (chosen == ScreenRowsCopyMapped && sameLayout && sb->dibWidth == sb->targetWidth &&
        sb->dibHeight == sb->targetHeight && sb->targetWidth == sb->sourceWidth &&
        sb->targetHeight == sb->sourceHeight)
        chosen = ScreenRowsCopyDirect;
    return chosen;
}

}  // namespace

// ---------------------------------------------------------------------------

void DisplayBuildDitherTables(uint16_t* red, uint16_t* green, uint16_t* blue) {
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            const int t = kThreshold4[y][x];
            const size_t base = size_t(256) * size_t(y + 4 * x);
            for (int v = 0; v < 256; ++v) {
                const int level = v / 8 + ((v % 8) > t && v < 248 ? 1 : 0);
                red[base + v] = uint16_t(level << 10);
                green[base + v] = uint16_t(level << 5);
                blue[base + v] = uint16_t(level);
            }
        }
    }
}

void FillCubeColours(DibColour* colours) {
    for (int r = 0; r < kCubeLevels; ++r)
        for (int g = 0; g < kCubeLevels; ++g)
            for (int b = 0; b < kCubeLevels; ++b)
                colours[r * 36 + g * 6 + b] =
                    DibColour{uint8_t(b * kCubeStep), uint8_t(g * kCubeStep), uint8_t(r * kCubeStep), 0};
}

int DisplayInitForDepth(int screenBits) {
    DisplayReleaseTables();
    g_Display.screenBits = screenBits;
    if (screenBits == 16) {
        auto* tables = static_cast<uint16_t*>(std::malloc(3 * kDither16Entries * sizeof(uint16_t)));
        if (!tables) return 0;
        g_Display.ditherRed = tables;
        g_Display.ditherGreen = tables + kDither16Entries;
        g_Display.ditherBlue = tables + 2 * kDither16Entries;
        DisplayBuildDitherTables(g_Display.ditherRed, g_Display.ditherGreen, g_Display.ditherBlue);
    } else if (screenBits < 9) {
        if (!BuildCubeTables(&g_Display)) {
            FreeCubeTables(&g_Display);
            return 0;
        }
    }
    return 1;
}

void DisplayReleaseTables() {
    FreeCubeTables(&g_Display);
    std::free(g_Display.ditherRed);  // the three tables are one block
    std::memset(&g_Display, 0, sizeof g_Display);
}

// ---------------------------------------------------------------------------

namespace {

int MemoryCreateDib(ScreenBitmap* sb) {
    void* pixels = std::calloc(1, sb->info.header.sizeImage);
    sb->dib = pixels;
    sb->dibPixels = static_cast<uint8_t*>(pixels);
    return pixels != nullptr;
}

void MemoryFree(void* block) { std::free(block); }

void* MemoryCreatePalette(const DibColour* colours, int count) {
    if (count < 1 || count > 256) return nullptr;
    void* copy = std::malloc(size_t(count) * sizeof(DibColour));
    if (copy) std::memcpy(copy, colours, size_t(count) * sizeof(DibColour));
    return copy;
}

const DibServices kMemoryServices = {MemoryCreateDib, MemoryFree, MemoryCreatePalette, MemoryFree, nullptr};

}  // namespace

const DibServices* MemoryDibServices() { return &kMemoryServices; }

int ScreenBitmapCreateDibWith(const DibServices* services, ScreenBitmap* sb, const Bitmap* picture) {
    if (sb->dib) {
        if (!picture) return 1;
        const bool sizeKept = sb->info.header.width == sb->dibWidth && sb->info.header.height == sb->dibHeight;
        if (sizeKept && !IsOneByteType(picture->pixelType) && sb->info.header.bitCount > 8) return 1;
        DeleteDib(services, sb);
    }
    if (!DescribeDib(sb, picture, g_Display.screenBits)) return 0;
    if (!services->createDib(sb) || !sb->dibPixels) {
        DeleteDib(services, sb);
        return 0;
    }
    sb->dibTopRow = sb->dibPixels + size_t(sb->dibHeight - 1) * size_t(sb->dibStride);
    return 1;
}

int ScreenBitmapPrepareWith(const DibServices* services, ScreenBitmap* sb, const Bitmap* picture,
                            int32_t targetWidth, int32_t targetHeight, uint32_t flags) {
    // Until everything below has worked, nothing may be converted.
    sb->converter = nullptr;
    FreeMaps(sb);
    if (flags & kPrepareBuildPalette) DeletePalette(services, sb);
    if (targetWidth < 1 || targetHeight < 1 || !DescribeSource(sb, picture)) return 0;
    if (!ScreenBitmapCreateDibWith(services, sb, picture)) return 0;
    if (!BuildMaps(sb, picture, targetWidth, targetHeight)) {
        FreeMaps(sb);
        return 0;
    }

    const int screenBits = g_Display.screenBits;
    const bool oneByte = IsOneByteType(picture->pixelType);
    const int count = oneByte ? PictureColours(picture, sb->pictureColours) : 0;
    if (!oneByte) std::memset(sb->pictureColours, 0, sizeof sb->pictureColours);
    if ((flags & kPrepareBuildPalette) && sb->info.header.bitCount != 16) {
        if (screenBits < 9 && picture->pixelType != kPixelBilevel) {
            sb->palette = g_Display.sharedPalette;
        } else if (count != 0) {
            sb->palette = services->createPalette(sb->pictureColours, count);
            if (!sb->palette) return 0;
        }
    }

    sb->converter = ChooseConverter(sb, picture, screenBits);
    return sb->converter ? 1 : 0;
}

void ScreenBitmapConvert(const DibServices* services, ScreenBitmap* sb, int32_t x, int32_t y, int32_t width,
                         int32_t height) {
    if (!sb->converter || !sb->dibPixels) return;
    if (services && services->flush) services->flush();
    sb->converter(sb, x, y, width, height);
}

void ScreenBitmapFreeWith(const DibServices* services, ScreenBitmap* sb) {
    FreeMaps(sb);
    DeleteDib(services, sb);
    DeletePalette(services, sb);
    std::memset(sb, 0, sizeof *sb);
}

void* MakeScreenBitmapWith(const DibServices* services, const Bitmap* picture, int32_t width, int32_t height,
                           uint8_t** pixels) {
    if (pixels) *pixels = nullptr;
    if (width < 1 || height < 1) return nullptr;
    ScreenBitmap sb;
    std::memset(&sb, 0, sizeof sb);
    sb.dibWidth = width;
    sb.dibHeight = height;
    void* dib = nullptr;
    if (ScreenBitmapPrepareWith(services, &sb, picture, width, height, kPrepareBuildPalette)) {
        ScreenBitmapConvert(services, &sb, 0, 0, width, height);
        dib = sb.dib;
        if (pixels) *pixels = sb.dibPixels;
        sb.dib = nullptr;  // the caller's now
    }
    ScreenBitmapFreeWith(services, &sb);
    return dib;
}
