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

    int status = kSaveOk;
    for (int32_t y = 0; y < ctx->picture.height && status == kSaveOk; ++y) {
        status = ctx->callbacks.getScanlines(ctx, y, 1);
        if (status != kSaveOk) break;
        if (interlaced) std::memcpy(st.rowPointers[y], header.rowBuffer, rowBytes);
        else png_write_row(png, header.rowBuffer);
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
