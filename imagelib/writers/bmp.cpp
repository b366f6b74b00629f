// BMP writer: Windows (40-byte header) or OS/2 (12-byte header) bitmaps, 1,
// 4, 8, 24 or 32 bits per pixel, rows bottom-up, with optional RLE4/RLE8.
//
// Every write is checked through the file's sticky error flag; a failed
// write, flush or close gives kSaveWriteFailed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imagelib/savecontext.h"
#include "imagelib/writers.h"
#include "imagelib/writers/writerio.h"

namespace {

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kWindowsInfoBytes = 40;
constexpr uint32_t kOs2InfoBytes = 12;
constexpr int64_t kOs2MaxSide = 65535;

struct BmpLayout {
    int bits;            // 1, 4, 8, 24 or 32
    int entries;         // palette entries written
    bool os2;
    bool rle;            // RLE4/RLE8 (never with the OS/2 header: it has no compression field)
    uint32_t rowBytes;   // stored row, padded to 4 bytes (uncompressed)
    uint32_t dataOffset;
};

// Depth and palette entries by the picture's kind.
void ChooseDepth(const SavePictureInfo& p, BmpLayout* l) {
    if (p.kind == kPixelBilevel) {
        l->bits = 1;
        l->entries = 2;
    } else if (p.kind == kPixelGrey || p.kind == kPixelPalette) {
        const bool small = EffectiveColourCount(p.kind, p.colourCount) <= 16;
        l->bits = small ? 4 : 8;
        l->entries = small ? 16 : 256;
    } else {
        l->bits = p.bitsPerPixel == 32 ? 32 : 24;
        l->entries = 0;
    }
}

// Worst case of one encoded row: every pixel alone (two bytes each) plus the
// end-of-line code.
uint64_t RleRowBound(int32_t width) { return uint64_t(width) * 2 + 2; }

// 0, or kSaveRefused when the picture does not fit the header's fields or a
// 32-bit file size.
int PlanLayout(const SaveContext* ctx, BmpLayout* l) {
    const SavePictureInfo& p = ctx->picture;
    ChooseDepth(p, l);
    l->os2 = ctx->options.os2Header != 0;
    l->rle = ctx->options.rleSwitch != 0 && !l->os2 && (l->bits == 4 || l->bits == 8);
    if (l->os2 && (p.width > kOs2MaxSide || p.height > kOs2MaxSide)) return kSaveRefused;
    const uint64_t rowBytes = (uint64_t(p.width) * uint64_t(l->bits) + 31) / 32 * 4;
    const uint64_t headers = kFileHeaderBytes + (l->os2 ? kOs2InfoBytes : kWindowsInfoBytes);
    const uint64_t offset = headers + uint64_t(l->entries) * (l->os2 ? 3 : 4);
    const uint64_t data = uint64_t(p.height) * (l->rle ? RleRowBound(p.width) : rowBytes) + (l->rle ? 2 : 0);
    if (offset + data > 0xFFFFFFFFull) return kSaveRefused;
    l->rowBytes = uint32_t(rowBytes);
    l->dataOffset = uint32_t(offset);
    return 0;
}

void WriteHeaders(PictureFile* f, const SaveContext* ctx, const BmpLayout& l) {
    const SavePictureInfo& p = ctx->picture;
    WriteFileBytes(f, "BM", 2);
    WriteUInt32Le(0, f);  // file size, patched at the end
    WriteUInt16Le(0, f);
    WriteUInt16Le(0, f);
    WriteUInt32Le(l.dataOffset, f);
    if (l.os2) {
        WriteUInt32Le(kOs2InfoBytes, f);
        WriteUInt16Le(uint32_t(p.width), f);
        WriteUInt16Le(uint32_t(p.height), f);
        WriteUInt16Le(1, f);
        WriteUInt16Le(uint32_t(l.bits), f);
        return;
    }
    WriteUInt32Le(kWindowsInfoBytes, f);
    WriteUInt32Le(uint32_t(p.width), f);
    WriteUInt32Le(uint32_t(p.height), f);
    WriteUInt16Le(1, f);
    WriteUInt16Le(uint32_t(l.bits), f);
    WriteUInt32Le(l.rle ? (l.bits == 8 ? 1 : 2) : 0, f);
    WriteUInt32Le(0, f);  // image size: patched for RLE files
    WriteUInt32Le(uint32_t(int32_t(p.xResolution * kDotsPerInchToPerMetre)), f);
    WriteUInt32Le(uint32_t(int32_t(p.yResolution * kDotsPerInchToPerMetre)), f);
    WriteUInt32Le(0, f);
    WriteUInt32Le(0, f);
}

void FillHeader(const SaveContext* ctx, const BmpLayout& l, WriteHeader* h) {
    ctx->callbacks.clearWriteHeader(h);
    std::snprintf(h->description, sizeof h->description, "%s%s", l.os2 ? "OS/2 Bitmap" : "Windows Bitmap",
                  l.rle ? " (RLE)" : "");
    h->orientation = kWriteBottomUp;
    h->planes = 1;
    h->bitsPerPlane = int16_t(l.bits);
    if (l.bits >= 24) {
        h->flags = l.bits == 32 ? kWriteBgra : kWriteReversed;
        h->bytesPerPlane = uint32_t(ctx->picture.width) * uint32_t(l.bits / 8);
    } else {
        h->bytesPerPlane = l.rowBytes;
        h->paletteLayout = kPaletteTriples;
        h->paletteBits = 8;
    }
}

// Pixel `index` of a 4-bit row: the high nibble of byte index / 2 for an
// even index, the low nibble for an odd one.
int GetBmpNibble(const uint8_t* row, int32_t index) {
    const uint8_t byte = row[index / 2];
    return (index & 1) ? (byte & 0x0F) : (byte >> 4);
}

// One RLE8 row into `out` (at most RleRowBound bytes); returns the byte count.
size_t EncodeBmpRle8Row(const uint8_t* p, int32_t w, uint8_t* out) {
    uint8_t* o = out;
    int32_t i = 0;
    while (i < w) {
        if (i < w - 1 && p[i] == p[i + 1]) {
            int32_t n = 1;
            while (i + n < w && p[i + n] == p[i] && n < 255) ++n;
            *o++ = uint8_t(n);
            *o++ = p[i];
            i += n;
        } else if (i == w - 1) {
            *o++ = 1;
            *o++ = p[i++];
        } else {
            int32_t c = 0;
            while (i + c < w - 1 && p[i + c] != p[i + c + 1] && c < 254) ++c;
            if (c <= 2) {
                for (int32_t k = 0; k < c; ++k) {
                    *o++ = 1;
                    *o++ = p[i + k];
                }
            } else {
                *o++ = 0;
                *o++ = uint8_t(c);
                std::memcpy(o, p + i, size_t(c));
                o += c;
                if (c & 1) *o++ = 0;
            }
            i += c;
        }
    }
    *o++ = 0;
    *o++ = 0;
    return size_t(o - out);
}

// One RLE4 row (packed nibbles, high first) into `out`; returns the byte count.
size_t EncodeBmpRle4Row(const uint8_t* row, int32_t w, uint8_t* out) {
    uint8_t* o = out;
    int32_t i = 0;
    auto px = [row](int32_t k) { return GetBmpNibble(row, k); };
    while (i < w) {
        if (i < w - 1 && px(i) == px(i + 1)) {
            int32_t n = 1;
            while (i + n < w && px(i + n) == px(i) && n < 255) ++n;
            *o++ = uint8_t(n);
            *o++ = uint8_t(px(i) << 4 | px(i));
            i += n;
        } else if (i == w - 1) {
            *o++ = 1;
            *o++ = uint8_t(px(i++) << 4);
        } else {
            int32_t c = 0;
            while (i + c < w - 1 && px(i + c) != px(i + c + 1) && c < 254) ++c;
            if (c == 1) {
                *o++ = 1;
                *o++ = uint8_t(px(i) << 4);
            } else if (c == 2) {
                *o++ = 2;
                *o++ = uint8_t(px(i) << 4 | px(i + 1));
            } else {
                *o++ = 0;
                *o++ = uint8_t(c);
                for (int32_t k = 0; k < c; k += 2)
                    *o++ = uint8_t(px(i + k) << 4 | (k + 1 < c ? px(i + k + 1) : 0));
                if (c % 4 == 1 || c % 4 == 2) *o++ = 0;
            }
            i += c;
        }
    }
    *o++ = 0;
    *o++ = 0;
    return size_t(o - out);
}

// The pixel data after the headers. 0, or a save result.
int WriteBmpPixels(PictureFile* f, SaveContext* ctx, const BmpLayout& l) {
    const WriterCallbacks& cb = ctx->callbacks;
    WriteHeader h;
    FillHeader(ctx, l, &h);
    const int begun = cb.beginWrite(ctx, &h);
    if (begun) return begun;

    const int32_t width = ctx->picture.width;
    std::vector<uint8_t> encoded;
    if (l.rle) {
        try {
            encoded.resize(size_t(RleRowBound(width)));
        } catch (...) {
            cb.endWrite(ctx);
            return kSaveNoMemory;
        }
    }
    if (l.entries) {
        uint8_t quad[4] = {0, 0, 0, 0};
        for (int i = 0; i < l.entries; ++i) {
            const uint8_t* rgb = h.palette + size_t(i) * 3;
            quad[0] = rgb[2];
            quad[1] = rgb[1];
            quad[2] = rgb[0];
            WriteFileBytes(f, quad, l.os2 ? 3 : 4);
        }
    }
    const size_t pixelBytes = l.bits >= 24 ? size_t(width) * size_t(l.bits / 8) : l.rowBytes;
    static const uint8_t kZeros[4] = {0, 0, 0, 0};
    const size_t pad = (4 - pixelBytes % 4) % 4;  // true colour rows only
    int result = kSaveOk;
    for (int32_t y = 0; y < ctx->picture.height && result == kSaveOk; ++y) {
        result = cb.getScanlines(ctx, y, 1);
        if (result) break;
        if (l.rle) {
            const size_t n = l.bits == 8 ? EncodeBmpRle8Row(h.rowBuffer, width, encoded.data())
                                         : EncodeBmpRle4Row(h.rowBuffer, width, encoded.data());
            WriteFileBytes(f, encoded.data(), n);
        } else {
            WriteFileBytes(f, h.rowBuffer, pixelBytes);
            if (pad) WriteFileBytes(f, kZeros, pad);
        }
        if (f->error) result = kSaveWriteFailed;
    }
    if (result == kSaveOk && l.rle) {
        static const uint8_t kEndOfBitmap[2] = {0, 1};
        WriteFileBytes(f, kEndOfBitmap, 2);
    }
    cb.endWrite(ctx);
    return result;
}

int WriteBmpFile(PictureFile* f, SaveContext* ctx, const BmpLayout& l) {
    WriteHeaders(f, ctx, l);
    if (f->error) return kSaveWriteFailed;
    int result = WriteBmpPixels(f, ctx, l);
    if (result) return result;

    // The file size, and for RLE files the real size of the encoded data.
    const int64_t end = TellPictureFile(f);
    if (end < 0 || end > int64_t(0xFFFFFFFF)) return kSaveWriteFailed;
    if (SeekPictureFile(f, 2, SEEK_SET) != 0) return kSaveWriteFailed;
    WriteUInt32Le(uint32_t(end), f);
    if (l.rle) {
        if (SeekPictureFile(f, kFileHeaderBytes + 20, SEEK_SET) != 0) return kSaveWriteFailed;
        WriteUInt32Le(uint32_t(end - l.dataOffset), f);
    }
    if (SeekPictureFile(f, end, SEEK_SET) != 0) return kSaveWriteFailed;
    return f->error ? kSaveWriteFailed : kSaveOk;
}

}  // namespace

int WriteBmp(FileSource* source, SaveContext* ctx) {
    BmpLayout layout{};
    const int planned = PlanLayout(ctx, &layout);
    if (planned) return planned;
    return RunWriterOnSource(source, ctx,
                             [&layout](PictureFile* f, SaveContext* c) { return WriteBmpFile(f, c, layout); });
}
