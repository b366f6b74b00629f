// Targa writer: true colour (24 or 32 bits), colour-mapped (256-entry map)
// and black-and-white (8-bit grey, 1-bit bilevel) files, uncompressed or
// run-length encoded, top row first. The comment becomes the image ID.
//
// Every write is checked through the file's sticky error flag; a failed
// write, flush or close gives kSaveWriteFailed.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "imagelib/savecontext.h"
#include "imagelib/writers.h"
#include "imagelib/writers/writerio.h"

namespace {

constexpr int32_t kMaxSide = 65535;

enum TargaType : uint8_t {
    kTargaMapped = 1,
    kTargaTrueColour = 2,
    kTargaGrey = 3,
    kTargaMappedRle = 9,
    kTargaTrueColourRle = 10,
    kTargaGreyRle = 11,
};

constexpr uint8_t kTopFirst = 0x20;
constexpr uint8_t kAlphaBits8 = 0x08;

struct TargaLayout {
    uint8_t type;
    uint8_t depth;         // bits per pixel
    bool mapped;
    bool rle;
    unsigned pixelBytes;   // bytes per pixel for RLE packets
    size_t rowBytes;       // bytes of one uncompressed row
};

bool SamePixel(const uint8_t* a, const uint8_t* b, unsigned size) { return std::memcmp(a, b, size) == 0; }

}  // namespace

// Packs one row of `count` pixels of `pixelSize` bytes into run and raw
// packets (runs up to 128 pixels, raw packets up to 127); packets never cross
// rows. `out` holds at least count x (pixelSize + 1) bytes. Returns the bytes
// written.
size_t PackTargaRle(const uint8_t* row, size_t count, unsigned pixelSize, uint8_t* out) {
    uint8_t* o = out;
    size_t i = 0;
    auto at = [&](size_t k) { return row + k * pixelSize; };
    while (i < count) {
        if (i + 1 < count && SamePixel(at(i), at(i + 1), pixelSize)) {
            size_t n = 2;
            while (i + n < count && n < 128 && SamePixel(at(i + n), at(i), pixelSize)) ++n;
            *o++ = uint8_t((n - 1) | 0x80);
            std::memcpy(o, at(i), pixelSize);
            o += pixelSize;
            i += n;
        } else {
            size_t n = 0;
            while (i + n < count && n < 127 &&
                   !(i + n + 1 < count && SamePixel(at(i + n), at(i + n + 1), pixelSize)))
                ++n;
            *o++ = uint8_t(n - 1);
            std::memcpy(o, at(i), n * pixelSize);
            o += n * pixelSize;
            i += n;
        }
    }
    return size_t(o - out);
}

namespace {

TargaLayout ChooseLayout(const SaveContext* ctx) {
    const SavePictureInfo& p = ctx->picture;
    const bool rleWanted = ctx->options.rleSwitch != 0;
    TargaLayout l{};
    const size_t w = size_t(p.width);
    if (p.kind == kPixelMaskColour) {
        l.depth = p.bitsPerPixel == 32 ? 32 : 24;
        l.rle = rleWanted;
        l.type = l.rle ? kTargaTrueColourRle : kTargaTrueColour;
        l.pixelBytes = l.depth / 8;
        l.rowBytes = w * l.pixelBytes;
    } else if (p.kind == kPixelPalette) {
        l.mapped = true;
        l.depth = 8;
        l.rle = rleWanted;
        l.type = l.rle ? kTargaMappedRle : kTargaMapped;
        l.pixelBytes = 1;
        l.rowBytes = w;
    } else if (p.kind == kPixelGrey) {
        l.depth = 8;
        l.rle = rleWanted;
        l.type = l.rle ? kTargaGreyRle : kTargaGrey;
        l.pixelBytes = 1;
        l.rowBytes = w;
    } else {  // bilevel: always uncompressed
        l.depth = 1;
        l.type = kTargaGrey;
        l.pixelBytes = 1;
        l.rowBytes = (w + 7) / 8;
    }
    return l;
}

void WriteTargaHeader(PictureFile* f, const SaveContext* ctx, const TargaLayout& l) {
    const SavePictureInfo& p = ctx->picture;
    const size_t commentLength = p.comment ? std::strlen(p.comment) : 0;
    const bool withId = p.comment && commentLength < 255;
    uint8_t h[18] = {};
    h[0] = withId ? uint8_t(commentLength + 1) : 0;
    h[1] = l.mapped ? 1 : 0;
    h[2] = l.type;
    if (l.mapped) {
        h[5] = 0x00;  // map length 256, little-endian
        h[6] = 0x01;
        h[7] = 24;
    }
    h[12] = uint8_t(p.width);
    h[13] = uint8_t(p.width >> 8);
    h[14] = uint8_t(p.height);
    h[15] = uint8_t(p.height >> 8);
    h[16] = l.depth;
    h[17] = uint8_t(kTopFirst | (l.depth == 32 ? kAlphaBits8 : 0));
    WriteFileBytes(f, h, sizeof h);
    if (withId) WriteFileBytes(f, p.comment, commentLength + 1);
}

void FillHeader(const SaveContext* ctx, const TargaLayout& l, WriteHeader* h) {
    ctx->callbacks.clearWriteHeader(h);
    std::snprintf(h->description, sizeof h->description, "%s", ctx->options.rleSwitch ? "Targa RLE" : "Targa");
    h->planes = 1;
    h->bitsPerPlane = l.depth;
    h->bytesPerPlane = uint32_t(l.rowBytes);
    if (l.depth == 24) h->flags = kWriteReversed;
    else if (l.depth == 32) h->flags = kWriteBgra;
    if (l.mapped) {
        h->paletteLayout = kPaletteBgr;
        h->paletteBits = 8;
    }
}

int WriteTargaFile(PictureFile* f, SaveContext* ctx, const TargaLayout& l) {
    const WriterCallbacks& cb = ctx->callbacks;
    WriteTargaHeader(f, ctx, l);
    if (f->error) return kSaveWriteFailed;

    WriteHeader h;
    FillHeader(ctx, l, &h);
    const int begun = cb.beginWrite(ctx, &h);
    if (begun) return begun;

    std::vector<uint8_t> packed;
    if (l.rle) {
        try {
            packed.resize(size_t(ctx->picture.width) * (l.pixelBytes + 1));
        } catch (...) {
            cb.endWrite(ctx);
            return kSaveNoMemory;
        }
    }
    int result = kSaveOk;
    if (l.mapped) {
        WriteFileBytes(f, h.palette, 768);
        if (f->error) result = kSaveWriteFailed;
    }
    for (int32_t y = 0; y < ctx->picture.height && result == kSaveOk; ++y) {
        result = cb.getScanlines(ctx, y, 1);
        if (result) break;
        if (l.rle) {
            const size_t n = PackTargaRle(h.rowBuffer, size_t(ctx->picture.width), l.pixelBytes, packed.data());
            WriteFileBytes(f, packed.data(), n);
        } else {
            WriteFileBytes(f, h.rowBuffer, l.rowBytes);
        }
        if (f->error) result = kSaveWriteFailed;
    }
    cb.endWrite(ctx);
    return result;
}

}  // namespace

int WriteTarga(FileSource* source, SaveContext* ctx) {
    // The header holds 16-bit sizes.
    if (ctx->picture.width > kMaxSide || ctx->picture.height > kMaxSide) return kSaveRefused;
    const TargaLayout layout = ChooseLayout(ctx);
    return RunWriterOnSource(source, ctx,
                             [&layout](PictureFile* f, SaveContext* c) { return WriteTargaFile(f, c, layout); });
}
