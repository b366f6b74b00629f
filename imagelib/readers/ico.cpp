// The Windows icon (and cursor) reader: one image of the icon directory, the
// one the load asks for or the richest. Entries stored as PNG go to the PNG
// reader; the others are bottom-up DIBs followed by a 1-bit AND mask.
//
// Portable: no platform headers; all file structures are read field by field
// (little-endian).
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "../bytereader.h"
#include "../checked.h"
#include "../fileio.h"
#include "../loadcontext.h"
#include "../readconvert.h"
#include "pngreader.h"
#include "readerio.h"

namespace {

constexpr uint32_t kBitmapHeaderSize = 40;
constexpr int32_t kSideLimit = 16000;

struct IconDirectory {
    uint16_t reserved;
    uint16_t type;   // 1 icon, 2 cursor
    uint16_t count;
};

struct IconEntry {
    uint32_t width;  // 0 in the file means 256
    uint32_t height;
    uint8_t colourCount;
    uint8_t reserved;
    uint16_t planes;
    uint16_t bitCount;
    uint32_t bytesInResource;
    uint32_t imageOffset;
};

struct IconBitmapHeader {
    uint32_t size;
    int32_t width;
    int32_t height;  // colour and mask halves together
    uint16_t planes;
    uint16_t bitCount;
};

// 0, 4 at the end of the file, 2 for a directory that is not an icon's.
int ReadIconDirectory(PictureFile* file, IconDirectory* dir) {
    dir->reserved = uint16_t(ReadUInt16Le(file));
    dir->type = uint16_t(ReadUInt16Le(file));
    dir->count = uint16_t(ReadUInt16Le(file));
    if (PictureFileFailed(file)) return kLoadIncomplete;
    if (dir->reserved != 0 || dir->type == 0 || dir->count == 0) return kLoadNotRecognised;
    return kLoadOk;
}

// 0, or 4 at the end of the file.
int ReadIconEntry(PictureFile* file, IconEntry* e) {
    uint8_t b[16];
    if (ReadFileBytes(file, b, sizeof b) != sizeof b) return kLoadIncomplete;
    ByteReader r(b, sizeof b);
    e->width = r.U8();
    e->height = r.U8();
    if (e->width == 0) e->width = 256;
    if (e->height == 0) e->height = 256;
    e->colourCount = r.U8();
    e->reserved = r.U8();
    e->planes = r.U16Le();
    e->bitCount = r.U16Le();
    e->bytesInResource = r.U32Le();
    e->imageOffset = r.U32Le();
    return kLoadOk;
}

// True when the whole header was there; the values are not checked here.
bool ReadIconBitmapHeader(PictureFile* file, IconBitmapHeader* h) {
    uint8_t b[kBitmapHeaderSize];
    if (ReadFileBytes(file, b, sizeof b) != sizeof b) return false;
    ByteReader r(b, sizeof b);
    h->size = r.U32Le();
    h->width = int32_t(r.U32Le());
    h->height = int32_t(r.U32Le());
    h->planes = r.U16Le();
    h->bitCount = r.U16Le();
    return true;
}

// The richest entry: one whose bit count, width and height are each at least
// the best so far replaces it, so among equals the last wins.
uint32_t ChooseBestEntry(const IconEntry* entries, uint32_t count) {
    uint32_t best = 0, bits = 0, width = 0, height = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const IconEntry& e = entries[i];
        if (e.bitCount >= bits && e.width >= width && e.height >= height) {
            best = i;
            bits = e.bitCount;
            width = e.width;
            height = e.height;
        }
    }
    return best;
}

bool IsIconBitCount(uint16_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Bytes of one DIB row of `width` pixels of `bits` bits: padded to 4.
size_t DibRowBytes(int32_t width, int bits) { return (size_t(width) * size_t(bits) + 31) / 32 * 4; }

// One colour row as B, G, R, A pixels with alpha 255 (24, 8 and 4 bits);
// `table` holds B, G, R triples.
void ExpandColourRow(const uint8_t* src, uint8_t* dst, int bits, int32_t width, const uint8_t* table) {
    for (int32_t x = 0; x < width; ++x, dst += 4) {
        const uint8_t* colour;
        if (bits == 24) colour = src + size_t(x) * 3;
        else if (bits == 8) colour = table + size_t(src[x]) * 3;
        else colour = table + size_t((src[x / 2] >> (x & 1 ? 0 : 4)) & 0xF) * 3;
        std::memcpy(dst, colour, 3);
        dst[3] = 255;
    }
}

struct IconImage {
    PictureFile* file;
    LoadContext* ctx;
    ImageHeader header;
    int32_t width;
    int32_t height;
    int bits;
    uint8_t table[768];
};

// Reads the AND mask into the alpha bytes of B, G, R, A rows (a set bit is
// transparent); `maskRow` holds one mask row. Returns the rows whose mask was
// read.
int32_t ApplyMask(IconImage* im, uint8_t* pixels, size_t stride, uint8_t* maskRow) {
    const size_t maskBytes = DibRowBytes(im->width, 1);
    for (int32_t y = 0; y < im->height; ++y) {
        if (ReadFileBytes(im->file, maskRow, maskBytes) != maskBytes) return y;
        uint8_t* px = pixels + size_t(y) * stride;
        for (int32_t x = 0; x < im->width; ++x) px[size_t(x) * 4 + 3] = (maskRow[x >> 3] & (0x80 >> (x & 7))) ? 0 : 255;
    }
    return im->height;
}

// Rows of `rowBytes` bytes the rest of the file holds, at least 1 (the
// first read then comes short) and at most `height`, which is also the
// answer when the file's size is not known.
int32_t RowsTheFileHolds(PictureFile* file, size_t rowBytes, int32_t height) {
    const int64_t left = RemainingFileBytes(file);
    if (left < 0) return height;
    const uint64_t held = uint64_t(left) / rowBytes;
    return held >= uint64_t(height) ? height : held == 0 ? 1 : int32_t(held);
}

// Pictures whose alpha comes from the mask (24, 8 and 4 bits with the
// mask-to-alpha option) and 32-bit pictures, whose mask stands in when their
// alpha is zero everywhere: the colour half is read whole as B, G, R, A
// before the mask, then the rows are delivered. Only the rows the file can
// hold are allocated: reading stops at the first short row anyway.
int DeliverMaskedRows(IconImage* im) {
    LoadContext* ctx = im->ctx;
    const size_t stride = size_t(im->width) * 4;
    const size_t srcBytes = DibRowBytes(im->width, im->bits);
    const int32_t heldRows = RowsTheFileHolds(im->file, srcBytes, im->height);
    size_t bytes;
    if (!CheckedMul(stride, size_t(heldRows), &bytes)) return kLoadNoMemory;
    auto* pixels = static_cast<uint8_t*>(std::malloc(bytes));
    auto* src = static_cast<uint8_t*>(std::malloc(srcBytes > stride ? srcBytes : stride));
    if (!pixels || !src) {
        std::free(pixels);
        std::free(src);
        return kLoadNoMemory;
    }
    int result = kLoadOk;
    int32_t rows = 0;
    for (; rows < heldRows; ++rows) {
        uint8_t* px = pixels + size_t(rows) * stride;
        if (im->bits == 32) {
            if (ReadFileBytes(im->file, px, stride) != stride) break;
        } else {
            if (ReadFileBytes(im->file, src, srcBytes) != srcBytes) break;
            ExpandColourRow(src, px, im->bits, im->width, im->table);
        }
    }
    if (rows < im->height) {
        result = kLoadIncomplete;
    } else {
        bool needMask = true;
        if (im->bits == 32)
            for (size_t i = 3; i < bytes && needMask; i += 4) needMask = pixels[i] == 0;
        if (needMask) {
            const int32_t masked = ApplyMask(im, pixels, stride, src);
            if (masked < im->height) {
                // Without its mask a row stays opaque.
                for (int32_t y = masked; y < im->height; ++y)
                    for (int32_t x = 0; x < im->width; ++x) pixels[size_t(y) * stride + size_t(x) * 4 + 3] = 255;
                result = kLoadIncomplete;
            }
        }
    }
    for (int32_t y = 0; y < rows; ++y) {
        std::memcpy(im->header.rowBuffer, pixels + size_t(y) * stride, stride);
        const int status = ctx->callbacks.putScanlines(ctx, -1, -1, 1);
        if (status != 0) {
            result = status;
            break;
        }
    }
    std::free(pixels);
    std::free(src);
    return result;
}

// The DIB of the chosen entry, from its bitmap header on.
int ReadIconDib(IconImage* im) {
    LoadContext* ctx = im->ctx;
    IconBitmapHeader bh;
    if (!ReadIconBitmapHeader(im->file, &bh) || bh.size != kBitmapHeaderSize || bh.width <= 0 || bh.height == 0 ||
        bh.width >= kSideLimit || uint32_t(bh.height) >= uint32_t(kSideLimit) || bh.planes != 1 ||
        !IsIconBitCount(bh.bitCount))
        return kLoadNotRecognised;
    im->width = bh.width;
    im->height = bh.height / 2;
    im->bits = bh.bitCount;
    if (im->bits <= 8) {
        const int entries = 1 << im->bits;
        for (int i = 0; i < entries; ++i) {
            uint8_t quad[4];
            if (ReadFileBytes(im->file, quad, 4) != 4) return kLoadIncomplete;
            std::memcpy(im->table + 3 * i, quad, 3);
        }
    }

    const bool maskToAlpha = ctx->options.iconMaskToAlpha && (im->bits == 4 || im->bits == 8 || im->bits == 24);
    const bool buffered = maskToAlpha || im->bits == 32;
    ImageHeader* h = &im->header;
    ctx->callbacks.clearImageHeader(h);
    std::strcpy(h->description, "Windows Icon");
    h->orientation = kSourceBottomUp;
    if (buffered) h->flags = kLayoutBgra;
    else if (im->bits == 16) h->flags = kLayoutWords;
    else if (im->bits == 24) h->flags = kLayoutReversed;
    h->bitsPerPlane = int16_t(buffered ? 32 : im->bits);
    h->bytesPerPlane = uint32_t(DibRowBytes(im->width, h->bitsPerPlane));
    h->width = im->width;
    h->height = im->height;
    h->planes = 1;
    if (im->bits <= 8 && !maskToAlpha) {
        h->palette = im->table;
        h->paletteLayout = kPaletteBgr;
        h->paletteBits = 8;
    }
    const int begin = ctx->callbacks.beginImage(ctx, h);
    if (BeginImageStops(begin)) return begin;

    // Other pictures: the colour rows as stored; the mask is not read.
    const int result = buffered ? DeliverMaskedRows(im) : ReadStoredRows(im->file, ctx, h, h->bytesPerPlane);
    return FinishReaderPicture(ctx, result, h->paletteLayout, h->paletteBits, h->palette);
}

int ReadIconFile(PictureFile* file, LoadContext* ctx) {
    IconDirectory dir;
    const int dirResult = ReadIconDirectory(file, &dir);
    if (dirResult != kLoadOk) return dirResult;
    auto* entries = static_cast<IconEntry*>(std::calloc(dir.count, sizeof(IconEntry)));
    if (!entries) return kLoadNoMemory;
    for (uint32_t i = 0; i < dir.count; ++i) {
        if (ReadIconEntry(file, &entries[i]) != kLoadOk) {
            std::free(entries);
            return kLoadNotRecognised;
        }
    }
    ctx->imageCount = dir.count;
    uint32_t wanted = ctx->options.imageIndex;
    if (wanted == 0 && ctx->options.iconChooseBest) wanted = ChooseBestEntry(entries, dir.count);
    const uint32_t offset = wanted < dir.count ? entries[wanted].imageOffset : 0;
    std::free(entries);
    if (wanted >= dir.count) return kLoadNotRecognised;
    if (!SeekWithinFile(file, offset)) return kLoadNotRecognised;

    uint8_t sig[4];
    const bool png = ReadFileBytes(file, sig, sizeof sig) == sizeof sig && sig[0] == 0x89 && sig[1] == 'P' &&
                     sig[2] == 'N' && sig[3] == 'G';
    if (!SeekWithinFile(file, offset)) return kLoadNotRecognised;
    if (png) return ReadPng(file, ctx, "ICO");

    auto* im = static_cast<IconImage*>(std::calloc(1, sizeof(IconImage)));
    if (!im) return kLoadNoMemory;
    im->file = file;
    im->ctx = ctx;
    const int result = ReadIconDib(im);
    std::free(im);
    return result;
}

}  // namespace

int ReadIcon(FileSource* source, LoadContext* ctx) { return RunReaderOnSource(source, ctx, ReadIconFile); }
