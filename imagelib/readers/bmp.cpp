// Windows and OS/2 device-independent bitmaps, and the Pocket PC "2bp"
// files (2-bit Windows bitmaps): indexed pictures of 1 to 14 bits raw or
// RLE4/RLE8 compressed, true-colour pictures of 15 to 32 bits raw or with
// bit-field masks, and DXT block payloads (dxt.cpp). The packed depths 1, 2,
// 4 and 8 and the pixel sizes 16, 24 and 32 are the format's own; the others
// are read as their writers store them: indexes of 3 to 14 bits one byte a
// pixel, other true-colour depths (15 above all) as 16-bit words.
//
// Portable: talks to the library only through the load context's callbacks
// and the picture file. Never adds metadata or a comment.
#include "bmp.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../readconvert.h"
#include "readerio.h"
#include "readers.h"

namespace {

constexpr uint32_t kBmpMagic = 0x4D42;  // "BM"
constexpr uint32_t kOs2InfoSize = 12;
constexpr uint32_t kWindowsInfoSize = 40;
constexpr int64_t kFileHeaderSize = 14;
// The largest side the reader takes; larger values are refused by name.
constexpr int64_t kMaxSide = 65535;

enum BmpCompression : uint32_t { kBmpRaw = 0, kBmpRle8 = 1, kBmpRle4 = 2, kBmpBitFields = 3 };

constexpr uint16_t kCompressionRle = 1;

const char kBadSize[] = "Windows Bitmap : Bad picture's size !";

// The fields of the 14-byte file header and the 40-byte Windows info header
// the reader uses (for a 12-byte OS/2 header only its four fields; the rest
// stays 0).
struct BmpFileHeader {
    uint32_t dataOffset;
    uint32_t infoSize;
    int64_t width;        // as stored: signed 32-bit (Windows) or unsigned 16-bit (OS/2)
    int64_t height;
    uint32_t planes;
    uint32_t bitsPerPlane;
    uint32_t compression;
    int32_t xPelsPerMetre;
    int32_t yPelsPerMetre;
    uint32_t coloursUsed;
};

struct ColourMasks {
    uint32_t red;
    uint32_t green;
    uint32_t blue;
    uint32_t alpha;
};

// One field of a bit-field pixel, widened to 8 bits as value x 255 / max.
struct MaskField {
    uint32_t mask;
    int shift;
    uint32_t max;   // the field's largest value; 0 for an empty mask
};

MaskField MakeMaskField(uint32_t mask) {
    MaskField f{mask, 0, 0};
    if (!mask) return f;
    while (!(mask >> f.shift & 1)) ++f.shift;
    f.max = mask >> f.shift;
    return f;
}

inline uint8_t MaskValue(const MaskField& f, uint32_t pixel) {
    if (!f.max) return 0;
    return static_cast<uint8_t>(uint64_t((pixel & f.mask) >> f.shift) * 255 / f.max);
}

// Reads the file header and the info header's fields. False when the magic
// is not "BM", the info header size is neither 12 nor at least 40, or the
// file ends first. An OS/2 header reads only its 12 bytes, so small OS/2
// files are not mistaken for truncated ones.
bool ReadBmpFileHeader(PictureFile* f, BmpFileHeader* h) {
    std::memset(h, 0, sizeof *h);
    if (ReadUInt16Le(f) != kBmpMagic || f->eof) return false;
    SkipFileBytes(f, 8);  // file size, two reserved words
    h->dataOffset = ReadUInt32Le(f);
    h->infoSize = ReadUInt32Le(f);
    if (f->eof || (h->infoSize != kOs2InfoSize && h->infoSize < kWindowsInfoSize)) return false;
    if (h->infoSize == kOs2InfoSize) {
        h->width = ReadUInt16Le(f);
        h->height = ReadUInt16Le(f);
        h->planes = ReadUInt16Le(f);
        h->bitsPerPlane = ReadUInt16Le(f);
    } else {
        h->width = static_cast<int32_t>(ReadUInt32Le(f));
        h->height = static_cast<int32_t>(ReadUInt32Le(f));
        h->planes = ReadUInt16Le(f);
        h->bitsPerPlane = ReadUInt16Le(f);
        h->compression = ReadUInt32Le(f);
        SkipFileBytes(f, 4);  // image size
        h->xPelsPerMetre = static_cast<int32_t>(ReadUInt32Le(f));
        h->yPelsPerMetre = static_cast<int32_t>(ReadUInt32Le(f));
        h->coloursUsed = ReadUInt32Le(f);
        SkipFileBytes(f, 4);  // important colours
    }
    return !f->eof;
}

bool IsDxt(uint32_t compression) {
    return compression == kFourCcDxt1 || compression == kFourCcDxt3 || compression == kFourCcDxt5;
}

int32_t DotsPerInch(int32_t pelsPerMetre) {
    if (pelsPerMetre <= 0) return 0;
    const double dpi = pelsPerMetre * kPerMetreToDotsPerInch + 0.5;
    return dpi < 1e6 ? static_cast<int32_t>(dpi) : 0;
}

// Bytes of a stored row of `width` pixels of `bits` bits, padded to 4.
uint32_t StoredRowBytes(int64_t width, uint32_t bits) {
    return static_cast<uint32_t>((width * bits + 31) / 32 * 4);
}

bool SeekTo(PictureFile* f, int64_t offset) { return SeekWithinFile(f, offset); }

int EndWith(LoadContext* ctx, int result, uint16_t layout = 0, int bits = 0, const void* palette = nullptr) {
    return FinishReaderPicture(ctx, result, layout, bits, palette);
}

// RLE4 and RLE8 (one decoder: the opcodes are the same, only the pixel size
// differs). Rows start cleared; end of line and delta deliver the current
// row, and delta moves right and down; end of bitmap delivers the current row
// and ends, leaving the rows below blank. The file ending at an opcode or
// inside a run gives 4.
int DecodeBmpRle(PictureFile* f, LoadContext* ctx, const ImageHeader* ih, uint32_t bits,
                 uint32_t rowBytes) {
    uint8_t* row = ih->rowBuffer;
    const uint64_t width = static_cast<uint64_t>(ih->width);
    std::memset(row, 0, rowBytes);
    uint64_t x = 0;
    int32_t y = 0;
    auto put = [&](uint64_t px, unsigned value) {
        if (px >= width) return;
        if (bits == 8) {
            row[px] = static_cast<uint8_t>(value);
        } else {
            uint8_t& b = row[px >> 1];
            b = (px & 1) ? uint8_t((b & 0xF0) | (value & 0x0F)) : uint8_t((b & 0x0F) | (value << 4 & 0xF0));
        }
    };
    auto nextRow = [&]() {
        const int r = ctx->callbacks.putScanlines(ctx, -1, y, 1);
        ++y;
        std::memset(row, 0, rowBytes);
        return r;
    };
    uint8_t literal[256];
    while (y < ih->height) {
        const int n = ReadFileByte(f);
        const int c = ReadFileByte(f);
        if (c < 0) return kLoadIncomplete;
        if (n > 0) {
            // Encoded run: n pixels of one colour (RLE4: two colours alternating).
            for (int i = 0; i < n; ++i) put(x + i, bits == 8 ? c : (i & 1) ? c & 15 : c >> 4);
            x += static_cast<uint64_t>(n);
        } else if (c == 0) {
            const int r = nextRow();
            x = 0;
            if (r) return r;
        } else if (c == 1) {
            return nextRow();
        } else if (c == 2) {
            const int dx = ReadFileByte(f);
            const int dy = ReadFileByte(f);
            if (dy < 0) return kLoadIncomplete;
            x += static_cast<uint64_t>(dx);
            for (int i = 0; i < dy && y < ih->height; ++i) {
                const int r = nextRow();
                if (r) return r;
            }
        } else {
            // Absolute run of c pixels, its bytes padded to a 16-bit boundary.
            size_t bytes = bits == 8 ? size_t(c) : size_t(c + 1) / 2;
            bytes += bytes & 1;
            if (ReadFileBytes(f, literal, bytes) != bytes) return kLoadIncomplete;
            for (int i = 0; i < c; ++i)
                put(x + i, bits == 8 ? literal[i] : (i & 1) ? literal[i / 2] & 15 : literal[i / 2] >> 4);
            x += static_cast<uint64_t>(c);
        }
    }
    return kLoadOk;
}

// Bits per stored index: the packed depths as they are, any other a byte.
uint32_t IndexBits(uint32_t bits) { return bits == 1 || bits == 2 || bits == 4 ? bits : 8; }

// Bytes per stored true-colour pixel: 24 and 32 bits as they are, any other
// depth a 16-bit word.
uint32_t PixelBytes(uint32_t bits) { return bits == 24 || bits == 32 ? bits / 8 : 2; }

// Indexed pictures (1 to 14 bits): palette, then raw or RLE rows.
int ReadBmpIndexed(PictureFile* f, LoadContext* ctx, ImageHeader* ih, const BmpFileHeader& h,
                   int64_t base) {
    const uint32_t bits = h.bitsPerPlane;
    const uint32_t rowBytes = StoredRowBytes(ih->width, IndexBits(bits));
    ih->bitsPerPlane = int16_t(IndexBits(bits));
    ih->flags = 0;
    ih->rowsPerCall = 1;
    ih->bytesPerPlane = rowBytes;
    const bool rle = h.compression == kBmpRle8 || h.compression == kBmpRle4;
    int r = rle ? kLoadOk : CheckStoredRowsFit(f, ctx, base + h.dataOffset, rowBytes, uint64_t(ih->height));
    if (r != kLoadOk) return r;

    // The palette follows the info header: 3-byte entries for OS/2, 4-byte
    // B, G, R, x entries otherwise. It never runs into the pixel data. It is
    // read before the picture is declared, which a reduced load needs.
    const bool os2 = h.infoSize == kOs2InfoSize;
    const int64_t entryBytes = os2 ? 3 : 4;
    const int64_t paletteAt = base + kFileHeaderSize + h.infoSize;
    const int64_t dataAt = base + h.dataOffset;
    int64_t entries = (h.coloursUsed & 0xFFFF) ? (h.coloursUsed & 0xFFFF) : int64_t(1) << bits;
    if (entries > 256) entries = 256;
    if (dataAt > paletteAt && (dataAt - paletteAt) / entryBytes < entries) entries = (dataAt - paletteAt) / entryBytes;
    uint8_t stored[256 * 4];
    uint8_t palette[256 * 3] = {};
    const size_t paletteBytes = static_cast<size_t>(entries * entryBytes);
    const bool paletteRead = SeekTo(f, paletteAt) && ReadFileBytes(f, stored, paletteBytes) == paletteBytes;
    if (paletteRead)
        for (int64_t i = 0; i < entries; ++i) std::memcpy(palette + 3 * i, stored + entryBytes * i, 3);
    ih->palette = palette;
    ih->paletteLayout = kPaletteBgr;
    ih->paletteBits = 8;
    r = ctx->callbacks.beginImage(ctx, ih);
    if (BeginImageStops(r)) return r;

    if (!paletteRead || !SeekTo(f, dataAt)) return EndWith(ctx, kLoadIncomplete, kPaletteBgr, 8, palette);
    r = rle ? DecodeBmpRle(f, ctx, ih, bits, rowBytes) : ReadStoredRows(f, ctx, ih, rowBytes);
    return EndWith(ctx, r, kPaletteBgr, 8, palette);
}

// Where the bit-field masks are: inside a header of 52 bytes or more, else
// right after the header when the data leaves room for three of them. The
// defaults are 5-6-5 for 16-bit words and 8-8-8 for 32 bits.
int ReadColourMasks(PictureFile* f, const BmpFileHeader& h, int64_t base, ColourMasks* m) {
    if (PixelBytes(h.bitsPerPlane) == 2) *m = {0xF800, 0x07E0, 0x001F, 0};
    else *m = {0x00FF0000, 0x0000FF00, 0x000000FF, 0};
    if (h.compression != kBmpBitFields) return kLoadOk;
    const bool inHeader = h.infoSize >= 52;
    if (!inHeader && int64_t(h.dataOffset) < kFileHeaderSize + int64_t(h.infoSize) + 12) return kLoadOk;
    if (!SeekTo(f, base + kFileHeaderSize + (inHeader ? kWindowsInfoSize : h.infoSize)))
        return kLoadIncomplete;
    m->red = ReadUInt32Le(f);
    m->green = ReadUInt32Le(f);
    m->blue = ReadUInt32Le(f);
    if (h.infoSize >= 56) m->alpha = ReadUInt32Le(f);
    return f->eof ? kLoadIncomplete : kLoadOk;
}

// True-colour pictures (15 to 32 bits). Rows the converters know are
// delivered as stored; other bit-field layouts are widened here to B, G, R
// (16-bit words) or B, G, R, A (32 bits), each field scaled to 8 bits.
int ReadBmpTrueColour(PictureFile* f, LoadContext* ctx, ImageHeader* ih, const BmpFileHeader& h,
                      const ColourMasks& masks, int64_t dataAt) {
    const uint32_t bits = h.bitsPerPlane;
    const uint32_t fileBytes = PixelBytes(bits);
    const bool fields = h.compression == kBmpBitFields;
    bool convert = false;
    uint32_t outBytes = fileBytes;
    // Words go to the converters as 5-5-5 (15 bits) or by their flags (16).
    ih->bitsPerPlane = int16_t(8 * fileBytes);
    if (bits == 24) {
        ih->flags = kLayoutReversed;
    } else if (bits == 32) {
        ih->flags = kLayoutBgra | kHeaderMayHaveAlpha;  // the alpha may be all zero
        convert = fields && !(masks.red == 0x00FF0000 && masks.green == 0x0000FF00 && masks.blue == 0x000000FF);
    } else if (!fields || (masks.red == 0x7C00 && masks.green == 0x03E0 && masks.blue == 0x001F)) {
        ih->flags = kLayoutWords;
        if (bits == 15) ih->bitsPerPlane = 15;
    } else if (masks.red == 0xF800 && masks.green == 0x07E0 && masks.blue == 0x001F) {
        ih->flags = kLayout565;
    } else {
        ih->flags = kLayoutReversed;
        ih->bitsPerPlane = 24;
        outBytes = 3;
        convert = true;
    }
    const size_t pixelBytes = size_t(ih->width) * fileBytes;
    const int64_t padding = StoredRowBytes(ih->width, 8 * fileBytes) - int64_t(pixelBytes);
    ih->rowsPerCall = 1;
    ih->bytesPerPlane = uint32_t(ih->width) * outBytes;
    int r = CheckStoredRowsFit(f, ctx, dataAt, pixelBytes + uint64_t(padding), uint64_t(ih->height),
                               uint64_t(padding));
    if (r != kLoadOk) return r;
    r = ctx->callbacks.beginImage(ctx, ih);
    if (BeginImageStops(r)) return r;

    uint8_t* stored = ih->rowBuffer;
    if (convert) {
        stored = static_cast<uint8_t*>(std::malloc(pixelBytes));
        if (!stored) return EndWith(ctx, kLoadNoMemory);
    }
    const uint32_t wordMask = fileBytes == 2 ? 0xFFFF : 0xFFFFFFFF;
    const MaskField red = MakeMaskField(masks.red & wordMask);
    const MaskField green = MakeMaskField(masks.green & wordMask);
    const MaskField blue = MakeMaskField(masks.blue & wordMask);
    const MaskField alpha = MakeMaskField(bits == 32 ? masks.alpha : 0);

    r = SeekTo(f, dataAt) ? kLoadOk : kLoadIncomplete;
    for (int32_t y = 0; y < ih->height && r == kLoadOk; ++y) {
        if (ReadFileBytes(f, stored, pixelBytes) != pixelBytes) {
            r = kLoadIncomplete;
            break;
        }
        // A last row without its padding is still whole; a short middle row
        // shows as a short read of the next.
        SkipFileBytes(f, padding);
        if (convert) {
            uint8_t* out = ih->rowBuffer;
            const uint8_t* in = stored;
            for (int32_t x = 0; x < ih->width; ++x, in += fileBytes, out += outBytes) {
                const uint32_t p = fileBytes == 2 ? uint32_t(in[0] | in[1] << 8)
                                              : uint32_t(in[0]) | uint32_t(in[1]) << 8 |
                                                    uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
                out[0] = MaskValue(blue, p);
                out[1] = MaskValue(green, p);
                out[2] = MaskValue(red, p);
                if (outBytes == 4) out[3] = MaskValue(alpha, p);
            }
        }
        r = ctx->callbacks.putScanlines(ctx, -1, y, 1);
    }
    if (convert) std::free(stored);
    return EndWith(ctx, r);
}

int ReadBmpFromFile(PictureFile* file, LoadContext* ctx) { return ReadBmp(file, ctx, nullptr, 0); }

}  // namespace

int ReadBmp(PictureFile* f, LoadContext* ctx, const char* description, int64_t base) {
    BmpFileHeader h;
    if (!ReadBmpFileHeader(f, &h)) return kLoadNotRecognised;
    const bool os2 = h.infoSize == kOs2InfoSize;
    const bool dxt = IsDxt(h.compression);
    if (!dxt && h.compression > kBmpBitFields) return kLoadNotRecognised;

    ImageHeader ih;
    ctx->callbacks.clearImageHeader(&ih);
    CopyTextBounded(ih.description, sizeof ih.description,
                    dxt ? "Windows Bitmap (DXT)" : description ? description : os2 ? "OS/2 Bitmap" : "Windows Bitmap");
    const int64_t width = h.width < 0 ? -h.width : h.width;
    const int64_t height = h.height < 0 ? -h.height : h.height;
    ih.orientation = (h.height >= 0 || dxt) ? kSourceBottomUp : 0;
    // The rows hold whole pixels whatever the planes: a pixel is the planes'
    // bits together, read as one plane of that depth.
    if (!dxt && h.planes != 1) {
        h.bitsPerPlane = h.planes * h.bitsPerPlane;
        h.planes = 1;
    }
    ih.planes = static_cast<int16_t>(h.planes);
    ih.bitsPerPlane = static_cast<int16_t>(h.bitsPerPlane);
    ih.compression = (h.compression == kBmpRle8 || h.compression == kBmpRle4) ? kCompressionRle : 0;
    ih.xResolution = DotsPerInch(h.xPelsPerMetre);
    ih.yResolution = DotsPerInch(h.yPelsPerMetre);
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return RefusePicture(ctx, kBadSize);
    ih.width = static_cast<int32_t>(width);
    ih.height = static_cast<int32_t>(height);

    const int64_t dataAt = base + h.dataOffset;
    if (dxt) return DecodeDxtBitmap(f, ctx, &ih, h.compression, dataAt);

    // Pixels of 1 to 32 bits; RLE8 and RLE4 only at their own depths.
    const uint32_t bits = h.bitsPerPlane;
    if (h.planes != 1 || bits < 1 || bits > 32) return kLoadNotRecognised;
    if ((h.compression == kBmpRle8 && bits != 8) || (h.compression == kBmpRle4 && bits != 4))
        return kLoadNotRecognised;

    if (bits < 15) return ReadBmpIndexed(f, ctx, &ih, h, base);
    ColourMasks masks;
    const int r = ReadColourMasks(f, h, base, &masks);
    if (r != kLoadOk) return r;
    return ReadBmpTrueColour(f, ctx, &ih, h, masks, dataAt);
}

int ReadBmpEntry(FileSource* source, LoadContext* ctx) { return RunReaderOnSource(source, ctx, ReadBmpFromFile); }
