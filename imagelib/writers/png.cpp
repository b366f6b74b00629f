// PNG writing through libpng: grey, bilevel, palette, RGB and RGBA pictures,
// optionally Adam7-interlaced, with resolution, transparency and comment.
//
// libpng reports fatal errors through a long jump back into WritePngStream.
// That function holds only plain C records (no object with a destructor may
// be skipped by the jump); what it must release after a jump is kept in a
// record with volatile fields.
#include "pngwriter.h"

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include <png.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "../checked.h"
#include "../formats.h"
#include "../savecontext.h"
#include "writerio.h"

namespace {

// What the jump target must release.
struct PngWriteState {
    SaveContext* ctx;
    volatile int writeBegun;
    uint8_t* volatile image;          // interlaced pictures: all rows
    png_bytep* volatile rowPointers;
    uint8_t* volatile previousRow;    // rows filtered by our own choice: the last one
};

[[noreturn]] void PngErrorExit(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Warnings are not the user's business.
void PngWarning(png_structp, png_const_charp) {}

png_voidp PngMalloc(png_structp, png_alloc_size_t size) { return std::malloc(size); }

void PngFree(png_structp, png_voidp block) { std::free(block); }

// A short write ends the save through the library's error path.
void PngWriteData(png_structp png, png_bytep data, size_t length) {
    auto* file = static_cast<PictureFile*>(png_get_io_ptr(png));
    if (WriteFileBytes(file, data, length) != length) png_error(png, "write failed");
}

// The file is flushed and checked when it is closed.
void PngFlush(png_structp) {}

void ReleasePngState(PngWriteState* st) {
    if (st->writeBegun) {
        st->writeBegun = 0;
        st->ctx->callbacks.endWrite(st->ctx);
    }
    std::free(st->image);
    st->image = nullptr;
    std::free(st->rowPointers);
    st->rowPointers = nullptr;
    std::free(st->previousRow);
    st->previousRow = nullptr;
}

// ---------------------------------------------------------------------------
// The adaptive row filter, chosen here. libpng, given all five filters,
// makes every one of them for each row and keeps the one whose bytes, read
// as signed, have the smallest sum of magnitudes (the first of equal ones,
// in the order none, sub, up, average, Paeth); it computes them a byte at a
// time. The same sums are taken here 16 bytes at a time, and libpng is then
// told the one filter to apply: the same rows, the same stream, one filter
// made per row instead of five.

// The filter's measure of one byte: its magnitude read as signed.
inline uint32_t Magnitude(uint8_t v) { return v < 128 ? v : 256u - v; }

inline uint8_t PaethPredictor(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(b - c + a - c);
    return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Adds the five filters' measures of bytes [from, to) of `row` to sums.
void AddFilterSums(const uint8_t* row, const uint8_t* prev, size_t from, size_t to, size_t bpp, uint64_t sums[5]) {
    for (size_t i = from; i < to; ++i) {
        const int x = row[i], b = prev[i];
        const int a = i >= bpp ? row[i - bpp] : 0, c = i >= bpp ? prev[i - bpp] : 0;
        sums[0] += Magnitude(uint8_t(x));
        sums[1] += Magnitude(uint8_t(x - a));
        sums[2] += Magnitude(uint8_t(x - b));
        sums[3] += Magnitude(uint8_t(x - ((a + b) >> 1)));
        sums[4] += Magnitude(uint8_t(x - PaethPredictor(a, b, c)));
    }
}

#if defined(__SSE2__)
// Sums of the measures of 16 filtered bytes, added to acc (two 64-bit lanes).
inline __m128i AddMagnitudes(__m128i acc, __m128i v) {
    const __m128i zero = _mm_setzero_si128();
    return _mm_add_epi64(acc, _mm_sad_epu8(_mm_min_epu8(v, _mm_sub_epi8(zero, v)), zero));
}

// The Paeth predictions of 8 bytes held as 16-bit lanes.
inline __m128i PaethLanes(__m128i a, __m128i b, __m128i c) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i bc = _mm_sub_epi16(b, c), ac = _mm_sub_epi16(a, c);
    const __m128i sum = _mm_add_epi16(bc, ac);
    const __m128i pa = _mm_max_epi16(bc, _mm_sub_epi16(zero, bc));
    const __m128i pb = _mm_max_epi16(ac, _mm_sub_epi16(zero, ac));
    const __m128i pc = _mm_max_epi16(sum, _mm_sub_epi16(zero, sum));
    const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
    const __m128i useC = _mm_cmpgt_epi16(pb, pc);
    const __m128i bOrC = _mm_or_si128(_mm_and_si128(useC, c), _mm_andnot_si128(useC, b));
    return _mm_or_si128(_mm_and_si128(notA, bOrC), _mm_andnot_si128(notA, a));
}
#endif

// The filter libpng's adaptive choice takes for `row` after `prev` (zeros
// before the first row): 0 none, 1 sub, 2 up, 3 average, 4 Paeth.
int ChooseRowFilter(const uint8_t* row, const uint8_t* prev, size_t n, size_t bpp) {
    uint64_t sums[5] = {0, 0, 0, 0, 0};
    size_t i = n < 16 ? n : 16;  // the bytes without a left neighbour are among the first 16 (bpp <= 8)
    AddFilterSums(row, prev, 0, i, bpp, sums);
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi8(1);
    __m128i acc[5] = {zero, zero, zero, zero, zero};
    for (; i + 16 <= n; i += 16) {
        const auto load = [](const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
        const __m128i x = load(row + i), a = load(row + i - bpp), b = load(prev + i), c = load(prev + i - bpp);
        acc[0] = AddMagnitudes(acc[0], x);
        acc[1] = AddMagnitudes(acc[1], _mm_sub_epi8(x, a));
        acc[2] = AddMagnitudes(acc[2], _mm_sub_epi8(x, b));
        const __m128i average = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
        acc[3] = AddMagnitudes(acc[3], _mm_sub_epi8(x, average));
        const __m128i low = PaethLanes(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero),
                                       _mm_unpacklo_epi8(c, zero));
        const __m128i high = PaethLanes(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero),
                                        _mm_unpackhi_epi8(c, zero));
        acc[4] = AddMagnitudes(acc[4], _mm_sub_epi8(x, _mm_packus_epi16(low, high)));
    }
    for (int f = 0; f < 5; ++f) {
        alignas(16) uint64_t lanes[2];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), acc[f]);
        sums[f] += lanes[0] + lanes[1];
    }
#endif
    AddFilterSums(row, prev, i, n, bpp, sums);
    int best = 0;
    for (int f = 1; f < 5; ++f)
        if (sums[f] < sums[best]) best = f;
    return best;
}

// The grey level that index `index` of a `levels`-level picture is written
// as at `bitDepth` bits: the ramp of the save's grey map.
png_uint_16 GreyLevelOfIndex(int index, int levels, int bitDepth) {
    const int top = (1 << bitDepth) - 1;
    return static_cast<png_uint_16>(index * top / (levels - 1));
}

// PNG layout of each picture kind.
struct PngLayout {
    int colourType;
    int bitDepth;
    int bitsPerPlane;   // bits of one pixel in the rows the writer asks for
    int paletteEntries; // PLTE entries, palette pictures only
};

bool ChoosePngLayout(const SaveContext* ctx, PngLayout* out) {
    switch (ctx->picture.kind) {
    case kPixelGrey:
        *out = {PNG_COLOR_TYPE_GRAY, 8, 8, 0};
        return true;
    case kPixelBilevel:
        *out = {PNG_COLOR_TYPE_GRAY, 1, 1, 0};
        return true;
    case kPixelMaskColour:
        if (ctx->picture.bitsPerPixel == 24) *out = {PNG_COLOR_TYPE_RGB, 8, 24, 0};
        else *out = {PNG_COLOR_TYPE_RGB_ALPHA, 8, 32, 0};
        return true;
    case kPixelPalette:
        if (EffectiveColourCount(kPixelPalette, ctx->picture.colourCount) <= 16) *out = {PNG_COLOR_TYPE_PALETTE, 4, 4, 16};
        else *out = {PNG_COLOR_TYPE_PALETTE, 8, 8, 256};
        return true;
    default:
        return false;
    }
}

void SetPngFilter(png_structp png, uint16_t choice) {
    static const int kMasks[] = {PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG, PNG_FILTER_PAETH,
                                 PNG_ALL_FILTERS};
    if (choice >= 1 && choice <= 5) png_set_filter(png, PNG_FILTER_TYPE_BASE, kMasks[choice - 1]);
}

// pHYs, the comment and tRNS.
void SetPngAncillary(png_structp png, png_infop info, const SaveContext* ctx, const PngLayout& layout) {
    if (ctx->picture.xResolution > 0 && ctx->picture.yResolution > 0) {
        png_set_pHYs(png, info, static_cast<png_uint_32>(ctx->picture.xResolution * kDotsPerInchToPerMetre),
                     static_cast<png_uint_32>(ctx->picture.yResolution * kDotsPerInchToPerMetre), PNG_RESOLUTION_METER);
    }
    if (ctx->picture.comment) {
        png_text text;
        std::memset(&text, 0, sizeof text);
        text.compression = PNG_TEXT_COMPRESSION_NONE;
        text.key = const_cast<png_charp>("Comment");
        text.text = const_cast<png_charp>(ctx->picture.comment);  // only read
        text.text_length = std::strlen(ctx->picture.comment);
        png_set_text(png, info, &text, 1);
    }
    const int t = ctx->picture.transparentIndex;
    if (t < 0 || ctx->picture.kind == kPixelMaskColour) return;
    if (layout.colourType == PNG_COLOR_TYPE_PALETTE) {
        if (t >= layout.paletteEntries) return;
        png_byte alpha[256];
        std::memset(alpha, 255, sizeof alpha);
        alpha[t] = 0;
        png_set_tRNS(png, info, alpha, t + 1, nullptr);
        return;
    }
    // Grey and bilevel: the key is the level the transparent index is written as.
    const int levels = EffectiveColourCount(ctx->picture.kind, ctx->picture.colourCount);
    if (t >= levels) return;
    png_color_16 key;
    std::memset(&key, 0, sizeof key);
    key.gray = GreyLevelOfIndex(t, levels, layout.bitDepth);
    png_set_tRNS(png, info, nullptr, 0, &key);
}

// Adam7 needs every row at once: they are gathered into one block.
bool AllocInterlaceRows(PngWriteState* st, int32_t height, size_t rowBytes) {
    size_t total, pointerBytes;
    if (!CheckedMul(size_t(height), rowBytes, &total) || !CheckedMul(size_t(height), sizeof(png_bytep), &pointerBytes))
        return false;
    auto* image = static_cast<uint8_t*>(std::malloc(total));
    auto* rows = static_cast<png_bytep*>(std::malloc(pointerBytes));
    st->image = image;
    st->rowPointers = rows;
    if (!image || !rows) return false;
    for (int32_t y = 0; y < height; ++y) rows[y] = image + size_t(y) * rowBytes;
    return true;
}

}  // namespace

int WritePngStream(PictureFile* file, SaveContext* ctx) {
    PngLayout layout;
    if (!ChoosePngLayout(ctx, &layout)) return kSaveRefused;

    // Bytes of one row: whole bytes holding width pixels of the layout's bits.
    const uint64_t rowBits = uint64_t(uint32_t(ctx->picture.width)) * uint64_t(layout.bitsPerPlane);
    const uint64_t rowBytes64 = (rowBits + 7) / 8;
    if (ctx->picture.width < 1 || ctx->picture.height < 1 || rowBytes64 > UINT32_MAX) return kSaveWriteFailed;
    const size_t rowBytes = size_t(rowBytes64);

    PngWriteState st;
    st.ctx = ctx;
    st.writeBegun = 0;
    st.image = nullptr;
    st.rowPointers = nullptr;
    st.previousRow = nullptr;

    png_structp png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, &st, PngErrorExit, PngWarning, nullptr,
                                                PngMalloc, PngFree);
    if (!png) return kSaveNoMemory;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return kSaveNoMemory;
    }
    if (setjmp(png_jmpbuf(png))) {
        ReleasePngState(&st);
        png_destroy_write_struct(&png, &info);
        return kSaveWriteFailed;
    }

    png_set_write_fn(png, file, PngWriteData, PngFlush);
    // Any size the format can hold may be written.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    const SaveOptions& opt = ctx->options;
    if (opt.compressionLevel >= 0) png_set_compression_level(png, opt.compressionLevel > 9 ? 9 : opt.compressionLevel);
    SetPngFilter(png, opt.pngFilter);

    const bool interlaced = opt.interlaced != 0;
    png_set_IHDR(png, info, png_uint_32(ctx->picture.width), png_uint_32(ctx->picture.height), layout.bitDepth, layout.colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    SetPngAncillary(png, info, ctx, layout);

    if (interlaced && !AllocInterlaceRows(&st, ctx->picture.height, rowBytes)) {
        ReleasePngState(&st);
        png_destroy_write_struct(&png, &info);
        return kSaveNoMemory;
    }

    WriteHeader header;
    ctx->callbacks.clearWriteHeader(&header);
    std::strcpy(header.description, "PiNG");
    header.planes = 1;
    header.bitsPerPlane = static_cast<int16_t>(layout.bitsPerPlane);
    header.bytesPerPlane = static_cast<uint32_t>(rowBytes);
    header.rowsPerCall = 1;
    if (layout.colourType == PNG_COLOR_TYPE_PALETTE) {
        header.paletteLayout = kPaletteTriples;
        header.paletteBits = 8;
    }
    const int begun = ctx->callbacks.beginWrite(ctx, &header);
    if (begun != kSaveOk) {
        ReleasePngState(&st);
        png_destroy_write_struct(&png, &info);
        return begun;
    }
    st.writeBegun = 1;

    if (layout.colourType == PNG_COLOR_TYPE_PALETTE) {
        png_color plte[256];
        std::memset(plte, 0, sizeof plte);
        const int colours = EffectiveColourCount(kPixelPalette, ctx->picture.colourCount);
        const int used = colours < layout.paletteEntries ? colours : layout.paletteEntries;
        for (int i = 0; i < used; ++i) {
            plte[i].red = header.palette[3 * i];
            plte[i].green = header.palette[3 * i + 1];
            plte[i].blue = header.palette[3 * i + 2];
        }
        png_set_PLTE(png, info, plte, layout.paletteEntries);
    }
    png_write_info(png, info);

    // All five filters, as asked or as libpng's default for the layout: the
    // choice is made here (ChooseRowFilter) from the second row on, once
    // libpng has set up for all five with the first. Pictures one pixel
    // wide or high are left to libpng, which drops filters for them.
    const bool allFilters = opt.pngFilter == 5 || ((opt.pngFilter < 1 || opt.pngFilter > 5) &&
                                                   layout.colourType != PNG_COLOR_TYPE_PALETTE && layout.bitDepth >= 8);
    if (allFilters && !interlaced && ctx->picture.width > 1 && ctx->picture.height > 1) {
        st.previousRow = static_cast<uint8_t*>(std::malloc(rowBytes));
        if (!st.previousRow) {
            ReleasePngState(&st);
            png_destroy_write_struct(&png, &info);
            return kSaveNoMemory;
        }
    }
    const size_t filterBpp = size_t(layout.bitsPerPlane + 7) / 8;  // as libpng counts a pixel

    int status = kSaveOk;
    for (int32_t y = 0; y < ctx->picture.height && status == kSaveOk; ++y) {
        status = ctx->callbacks.getScanlines(ctx, y, 1);
        if (status != kSaveOk) break;
        if (interlaced) {
            std::memcpy(st.rowPointers[y], header.rowBuffer, rowBytes);
            continue;
        }
        uint8_t* const previous = st.previousRow;
        if (previous && y > 0) {
            const int f = ChooseRowFilter(header.rowBuffer, previous, rowBytes, filterBpp);
            png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE << f);
        }
        png_write_row(png, header.rowBuffer);
        if (previous) std::memcpy(previous, header.rowBuffer, rowBytes);
    }
    if (status == kSaveOk && interlaced) png_write_image(png, st.rowPointers);
    if (status == kSaveOk) png_write_end(png, info);

    ReleasePngState(&st);
    png_destroy_write_struct(&png, &info);
    return status;
}

int WritePng(FileSource* source, SaveContext* ctx) { return RunWriterOnSource(source, ctx, WritePngStream); }

void PngWriterOptions(FormatCapability* records, const FormatRow*) {
    static const uint16_t kTypes[] = {kPixelMask4Byte, kPixelMask3Byte, kPixelGrey, kPixelPalette, kPixelBilevel};
    ListWriterTypes(records, kTypes);
}
