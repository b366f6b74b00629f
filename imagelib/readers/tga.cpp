// Truevision Targa: colour-mapped, true-colour and grey pictures (image
// types 1, 2, 3), raw or run-length encoded (9, 10, 11), of 1, 8, 15, 16,
// 24 or 32 bits per pixel (16-bit grey pictures are grey and alpha), stored
// from either side and either end. The image ID becomes the comment; the
// TGA 2.0 footer and extension area are not read.
//
// Portable: talks to the library only through the load context's callbacks
// and the picture file.
#include <cstdio>
#include <cstring>

#include "../bytereader.h"
#include "../metadata.h"
#include "../readconvert.h"
#include "readerio.h"
#include "readers.h"

namespace {

constexpr int kHeaderSize = 18;
constexpr int kSideLimit = 15001;  // sides must be below this
constexpr uint16_t kCompressionRle = 1;
// Image descriptor bits.
constexpr uint8_t kRightToLeft = 0x10;
constexpr uint8_t kTopDown = 0x20;

struct TargaHeader {
    int idLength;
    int mapType;
    int imageType;
    int firstEntry;
    int mapLength;
    int entrySize;
    int32_t width;
    int32_t height;
    int depth;
    int descriptor;
};

bool IsRle(int imageType) { return imageType >= 9; }
bool IsGrey(int imageType) { return imageType == 3 || imageType == 11; }

// Reads and checks the 18-byte header: 2 for a field outside the accepted
// values, 4 when the file ends inside it, else 0.
int ReadTargaHeader(PictureFile* f, TargaHeader* h) {
    uint8_t b[kHeaderSize];
    if (ReadFileBytes(f, b, sizeof b) != sizeof b) return kLoadIncomplete;
    ByteReader r(b, sizeof b);
    h->idLength = r.U8();
    h->mapType = r.U8();
    h->imageType = r.U8();
    h->firstEntry = r.U16Le();
    h->mapLength = r.U16Le();
    h->entrySize = r.U8();
    r.Skip(4);  // x and y origin
    h->width = r.U16Le();
    h->height = r.U16Le();
    h->depth = r.U8();
    h->descriptor = r.U8();
    if (h->mapType > 1) return kLoadNotRecognised;
    const int t = h->imageType;
    if (!(t == 1 || t == 2 || t == 3 || t == 9 || t == 10 || t == 11)) return kLoadNotRecognised;
    if (h->mapType == 1 && (h->mapLength == 0 || h->entrySize == 0)) return kLoadNotRecognised;
    if (h->entrySize != 0 && h->entrySize != 24 && h->entrySize != 32) return kLoadNotRecognised;
    if (h->width >= kSideLimit || h->height >= kSideLimit) return kLoadNotRecognised;
    const int d = h->depth;
    if (!(d == 1 || d == 8 || d == 15 || d == 16 || d == 24 || d == 32)) return kLoadNotRecognised;
    if (h->mapType == 1 && (h->mapLength < h->firstEntry || h->mapLength > 256)) return kLoadNotRecognised;
    return kLoadOk;
}

// Reads `count` colour map entries of 24 or 32 bits into the B, G, R
// palette, the first at index `first`; entries past index 255 are skipped,
// and so is the fourth byte of 32-bit entries. Returns the entries stored,
// or -1 when the file ends first.
int ReadTargaColourMap(PictureFile* f, int entrySize, int first, int count, uint8_t* palette) {
    if (entrySize != 24 && entrySize != 32) return 0;
    const size_t entryBytes = size_t(entrySize / 8);
    int stored = 0;
    for (int i = 0; i < count; ++i) {
        uint8_t e[4];
        if (ReadFileBytes(f, e, entryBytes) != entryBytes) return -1;
        const int index = first + i;
        if (index > 255) continue;
        std::memcpy(palette + 3 * index, e, 3);
        ++stored;
    }
    return stored;
}

// Layout of the rows for a depth: the header flags and bits, the bytes of
// one pixel in a run-length packet and of one stored row. 16-bit pixels are
// 5-5-5 colour, or in grey pictures a grey byte and an alpha byte; the
// converters have no layout for such pairs, so they are widened here to
// B, G, R, A before each row goes on.
struct TargaLayout {
    uint32_t flags;
    int bits;
    size_t pixelBytes;
    size_t rowBytes;
    bool greyAlpha;
};

TargaLayout LayoutFor(int depth, bool grey, int32_t width) {
    const size_t w = size_t(width);
    switch (depth) {
        case 1: return {0, 1, 1, (w + 7) / 8, false};
        case 8: return {0, 8, 1, w, false};
        case 15: return {kLayoutWords, 15, 2, w * 2, false};
        case 16:
            if (grey) return {kLayoutBgra, 32, 2, w * 2, true};
            return {kLayoutWords, 15, 2, w * 2, false};
        case 24: return {kLayoutReversed, 24, 3, w * 3, false};
        default: return {kLayoutBgra, 32, 4, w * 4, false};
    }
}

// Widens the row's grey and alpha pairs to B, G, R, A in place (from the
// end, so no pair is overwritten before it is read).
void WidenGreyAlphaRow(const ImageHeader* h) {
    uint8_t* row = h->rowBuffer;
    for (size_t x = size_t(h->width); x-- > 0;) {
        const uint8_t grey = row[2 * x];
        const uint8_t alpha = row[2 * x + 1];
        uint8_t* out = row + 4 * x;
        out[0] = out[1] = out[2] = grey;
        out[3] = alpha;
    }
}

// Run-length packets of pixels of `pixelBytes` bytes; packets run across
// rows. A 1-bit picture is coded byte by byte over its packed rows, so its
// rows end after width bits, not width bytes. The file ending at a packet
// header or inside a packet ends with 4.
int DecodeTargaRle(PictureFile* f, LoadContext* ctx, const ImageHeader* h, const TargaLayout& layout) {
    const size_t p = layout.pixelBytes;
    const size_t rowPixels = layout.rowBytes / p;
    uint8_t* row = h->rowBuffer;
    size_t x = 0;
    int32_t y = 0;
    uint8_t value[4];
    while (y < h->height) {
        const int header = ReadFileByte(f);
        if (header < 0) return kLoadIncomplete;
        size_t count = size_t(header & 0x7F) + 1;
        const bool run = (header & 0x80) != 0;
        if (run && ReadFileBytes(f, value, p) != p) return kLoadIncomplete;
        while (count > 0) {
            const size_t n = count < rowPixels - x ? count : rowPixels - x;
            uint8_t* at = row + x * p;
            if (run) {
                for (size_t i = 0; i < n; ++i) std::memcpy(at + i * p, value, p);
            } else if (ReadFileBytes(f, at, n * p) != n * p) {
                return kLoadIncomplete;
            }
            x += n;
            count -= n;
            if (x < rowPixels) continue;
            if (layout.greyAlpha) WidenGreyAlphaRow(h);
            const int r = ctx->callbacks.putScanlines(ctx, -1, y, 1);
            if (r) return r;
            x = 0;
            if (++y == h->height) return kLoadOk;
        }
    }
    return kLoadOk;
}

int ReadTarga(PictureFile* f, LoadContext* ctx) {
    TargaHeader th;
    const int checked = ReadTargaHeader(f, &th);
    if (checked) return checked;

    if (th.idLength && (ctx->options.flags & kLoadKeepComment)) ReadPictureComment(f, ctx, uint32_t(th.idLength));
    bool positioned = SeekWithinFile(f, kHeaderSize + th.idLength);

    uint8_t palette[768] = {};
    bool havePalette = false;
    const bool readMap = th.depth <= 8 && (th.mapType == 1 || th.imageType == 1 || th.imageType == 9);
    if (positioned && readMap) {
        const int stored = ReadTargaColourMap(f, th.entrySize, th.firstEntry, th.mapLength, palette);
        if (stored < 0) positioned = false;
        havePalette = stored > 0 && !IsGrey(th.imageType);
    }
    if (th.mapType == 1 || readMap) {
        const int64_t dataOffset = kHeaderSize + th.idLength + int64_t(th.mapLength) * (th.entrySize / 8);
        positioned = positioned && SeekWithinFile(f, dataOffset);
    }

    const TargaLayout layout = LayoutFor(th.depth, IsGrey(th.imageType), th.width);
    ImageHeader h;
    ctx->callbacks.clearImageHeader(&h);
    h.flags = layout.flags;
    h.orientation = uint16_t(((th.descriptor & kTopDown) ? 0 : kSourceBottomUp) |
                             ((th.descriptor & kRightToLeft) ? kSourceRightToLeft : 0));
    h.width = th.width;
    h.height = th.height;
    h.planes = 1;
    h.bitsPerPlane = int16_t(layout.bits);
    // Room for the widened grey and alpha rows.
    h.bytesPerPlane = uint32_t(layout.greyAlpha ? layout.rowBytes * 2 : layout.rowBytes);
    std::snprintf(h.description, sizeof h.description, "Truevision TARGA (Type %d)", th.imageType);
    if (IsRle(th.imageType)) h.compression = kCompressionRle;
    // Pixels of 8 bits or fewer index the colour map, or without one are grey.
    if (havePalette) {
        h.palette = palette;
        h.paletteLayout = kPaletteBgr;
        h.paletteBits = 8;
    } else if (th.depth <= 8) {
        h.flags |= kHeaderGreyLevels;
    }
    if (positioned && !IsRle(th.imageType)) {
        const int fits = CheckStoredRowsFit(f, ctx, TellPictureFile(f), layout.rowBytes, uint64_t(h.height));
        if (fits != kLoadOk) return fits;
    }
    const int begun = ctx->callbacks.beginImage(ctx, &h);
    if (BeginImageStops(begun)) return begun;

    int result = kLoadIncomplete;
    if (positioned && IsRle(th.imageType))
        result = DecodeTargaRle(f, ctx, &h, layout);
    else if (positioned)
        result = ReadStoredRows(f, ctx, &h, layout.rowBytes, layout.greyAlpha ? WidenGreyAlphaRow : nullptr);
    return FinishReaderPicture(ctx, result, kPaletteBgr, 8, h.palette);
}

}  // namespace

int ReadTargaEntry(FileSource* source, LoadContext* ctx) { return RunReaderOnSource(source, ctx, ReadTarga); }
