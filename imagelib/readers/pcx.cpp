// ZSoft Paintbrush (PCX): 1 to 8 planes of 1 to 31 bits, raw or run-length
// encoded, with the header's 16-colour palette, the standard one of version
// 3 files, or the 256-colour palette at the end of version 5 files. A
// multi-page DCX file (a table of page offsets, then one PCX picture a page)
// gives the page the load's image index names, and its page count.
//
// Portable: talks to the library only through the load context's callbacks
// and the picture file.
#include <cstdio>
#include <cstring>

#include "../bytereader.h"
#include "../readconvert.h"
#include "readerio.h"
#include "readers.h"

namespace {

constexpr int kHeaderSize = 128;
constexpr int kManufacturer = 10;
constexpr int kPaletteMarker = 12;
constexpr int kPaletteBytes256 = 768;
constexpr uint16_t kCompressionRle = 1;
constexpr uint32_t kDcxMagic = 987654321;
constexpr int kDcxMaxPages = 1023;

const char kBadSize[] = "Pcx : Bad picture's size !";

const uint8_t kStandardPalette[48] = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0xAA, 0x00, 0xAA, 0x00, 0x00, 0xAA, 0xAA, 0xAA, 0x00, 0x00, 0xAA,
    0x00, 0xAA, 0xAA, 0x55, 0x00, 0xAA, 0xAA, 0xAA, 0x55, 0x55, 0x55, 0x55, 0x55, 0xFF, 0x55, 0xFF,
    0x55, 0x55, 0xFF, 0xFF, 0xFF, 0x55, 0x55, 0xFF, 0x55, 0xFF, 0xFF, 0xFF, 0x55, 0xFF, 0xFF, 0xFF,
};

struct PcxHeader {
    int manufacturer;
    int version;
    int encoding;
    int bitsPerPixel;
    int32_t xMin, yMin, xMax, yMax;
    int32_t xDpi, yDpi;
    uint8_t palette[48];
    int planes;
    uint32_t bytesPerLine;
};

// False when the 128 bytes are not all there.
bool ReadPcxHeader(PictureFile* f, PcxHeader* h) {
    uint8_t b[kHeaderSize];
    if (ReadFileBytes(f, b, sizeof b) != sizeof b) return false;
    ByteReader r(b, sizeof b);
    h->manufacturer = r.U8();
    h->version = r.U8();
    h->encoding = r.U8();
    h->bitsPerPixel = r.U8();
    h->xMin = r.U16Le();
    h->yMin = r.U16Le();
    h->xMax = r.U16Le();
    h->yMax = r.U16Le();
    h->xDpi = r.U16Le();
    h->yDpi = r.U16Le();
    r.Read(h->palette, sizeof h->palette);
    r.Skip(1);  // reserved
    h->planes = r.U8();
    h->bytesPerLine = r.U16Le();
    return true;
}

// Run-length scan lines: a byte of 0xC0 or more repeats the next byte
// (byte & 0x3F) times, any other byte stands for itself. Runs are cut at
// the end of a line. When the file ends, the line so far (padded with
// zeros) is still delivered and the result is 4.
int DecodePcxRle(PictureFile* f, LoadContext* ctx, const ImageHeader* h, size_t lineBytes) {
    uint8_t* line = h->rowBuffer;
    for (int32_t y = 0; y < h->height; ++y) {
        size_t x = 0;
        bool ended = false;
        while (x < lineBytes) {
            int c = ReadFileByte(f);
            size_t n = 1;
            if (c >= 0xC0) {
                n = size_t(c & 0x3F);
                c = ReadFileByte(f);
            }
            if (c < 0) {
                ended = true;
                break;
            }
            if (n > lineBytes - x) n = lineBytes - x;
            std::memset(line + x, c, n);
            x += n;
        }
        if (ended) std::memset(line + x, 0, lineBytes - x);
        const int r = ctx->callbacks.putScanlines(ctx, -1, y, 1);
        if (r) return r;
        if (ended) return kLoadIncomplete;
    }
    return kLoadOk;
}

// The marker byte 12 and 768 bytes of R, G, B at the very end of the
// picture (`pictureEnd`, or the end of the file when negative), the marker
// at `notBefore` or later. Leaves the file anywhere.
bool ReadEndPalette(PictureFile* f, int64_t pictureEnd, int64_t notBefore, uint8_t* palette) {
    const int64_t from = kPaletteBytes256 + 1;
    const bool atEnd = pictureEnd < 0 ? SeekPictureFile(f, -from, SEEK_END) == 0
                                      : pictureEnd - from >= 0 && SeekWithinFile(f, pictureEnd - from);
    return atEnd && TellPictureFile(f) >= notBefore && ReadFileByte(f) == kPaletteMarker &&
           ReadFileBytes(f, palette, kPaletteBytes256) == kPaletteBytes256;
}

// The 256-colour palette of a version 5 file: the marker byte 12 and 768
// bytes of R, G, B, at the very end of the picture (`pictureEnd`, or the end
// of the file when negative). Files with bytes after it have the marker
// within 32 bytes after the image data. 0 found, 2 none, 4 when the file
// ends inside the palette.
int ReadTrailingPalette(PictureFile* f, int64_t pictureEnd, uint8_t* palette) {
    const int64_t dataEnd = TellPictureFile(f);
    if (ReadEndPalette(f, pictureEnd, dataEnd, palette)) return kLoadOk;
    if (SeekPictureFile(f, dataEnd, SEEK_SET) != 0) return kLoadNotRecognised;
    for (int i = 0; i < 32; ++i) {
        const int c = ReadFileByte(f);
        if (c < 0) break;
        if (c != kPaletteMarker) continue;
        std::memset(palette, 0, kPaletteBytes256);
        return ReadFileBytes(f, palette, kPaletteBytes256) == kPaletteBytes256 ? kLoadOk : kLoadIncomplete;
    }
    return kLoadNotRecognised;
}

// The header's 16 colours (the standard ones for version 3) in a palette of
// 256; the load reads 2^depth entries, so deeper pictures see black after.
void HeaderPalette(const PcxHeader& ph, uint8_t* palette) {
    std::memset(palette, 0, kPaletteBytes256);
    std::memcpy(palette, ph.version == 3 ? kStandardPalette : ph.palette, sizeof ph.palette);
}

// One PCX picture from where the file stands; `pictureEnd` as for
// ReadTrailingPalette.
int ReadPcxPicture(PictureFile* f, LoadContext* ctx, int64_t pictureEnd) {
    PcxHeader ph;
    if (!ReadPcxHeader(f, &ph) || ph.manufacturer != kManufacturer) return kLoadNotRecognised;

    ImageHeader h;
    ctx->callbacks.clearImageHeader(&h);
    CopyTextBounded(h.description, sizeof h.description, "Zsoft Paintbrush");
    h.width = ph.xMax - ph.xMin + 1;
    h.height = ph.yMax - ph.yMin + 1;
    h.planes = int16_t(ph.planes);
    h.bitsPerPlane = int16_t(ph.bitsPerPixel);
    h.bytesPerPlane = ph.bytesPerLine;
    h.xResolution = ph.xDpi;
    h.yResolution = ph.yDpi;
    if (ph.encoding != 0) h.compression = kCompressionRle;
    if (ph.bitsPerPixel == 15 || ph.bitsPerPixel == 16) h.flags = kLayoutWords;
    // Each plane's line must hold the width's pixels: the decoders fill
    // bytes-per-line x planes bytes and the converters read the width's.
    if (h.width < 1 || h.height < 1 || ph.planes < 1 || ph.planes > 8 || ph.bitsPerPixel < 1 ||
        ph.bitsPerPixel > 31 || uint64_t(ph.bytesPerLine) * 8 < uint64_t(h.width) * uint64_t(ph.bitsPerPixel)) {
        CopyTextBounded(ctx->subFormat, sizeof ctx->subFormat, kBadSize);
        return kLoadNotRecognised;
    }

    // What values of 8 bits or fewer are, for a reduced load to average
    // them: the palette a version 5 picture ends with; in other versions
    // the header's 16 colours at 3 to 7 bits, grey levels at 1, 2 and 8.
    // (A version 5 picture may also hold its palette just after its data,
    // which is only found once the data is read: its values stay undeclared.)
    const int depth = ph.planes * ph.bitsPerPixel;
    uint8_t declared[kPaletteBytes256] = {};
    if (depth <= 8 && ph.version == 5) {
        const int64_t dataStart = TellPictureFile(f);
        if (ReadEndPalette(f, pictureEnd, dataStart, declared)) h.palette = declared;
        if (!SeekWithinFile(f, dataStart)) return kLoadNotRecognised;
    } else if (depth >= 3 && depth <= 7) {
        HeaderPalette(ph, declared);
        h.palette = declared;
    } else if (depth <= 8) {
        h.flags |= kHeaderGreyLevels;
    }
    h.paletteLayout = kPaletteTriples;
    h.paletteBits = 8;

    const int begun = ctx->callbacks.beginImage(ctx, &h);
    if (BeginImageStops(begun)) return begun;
    const size_t lineBytes = size_t(ph.bytesPerLine) * size_t(ph.planes);
    int result = ph.encoding == 0 ? ReadStoredRows(f, ctx, &h, lineBytes) : DecodePcxRle(f, ctx, &h, lineBytes);

    // The trailing palette is only looked for in a complete file.
    uint8_t palette[kPaletteBytes256];
    bool havePalette = false;
    if (result == kLoadOk && ph.version == 5 && depth <= 8) {
        const int trailing = ReadTrailingPalette(f, pictureEnd, palette);
        if (trailing == kLoadIncomplete) result = kLoadIncomplete;
        havePalette = trailing != kLoadNotRecognised;
    }
    if (!havePalette && depth >= 3 && depth <= 7) {
        HeaderPalette(ph, palette);
        havePalette = true;
    }
    if (havePalette) return FinishReaderPicture(ctx, result, kPaletteTriples, 8, palette);
    return FinishReaderPicture(ctx, result);
}

// Whether the file begins with the DCX magic.
bool IsDcx(PictureFile* f) {
    uint8_t magic[4];
    return ReadFileBytes(f, magic, sizeof magic) == sizeof magic && ByteReader(magic, 4).U32Le() == kDcxMagic;
}

// A DCX file after its magic: up to 1023 page offsets ending at a zero, and
// the pages. The load's image index chooses the page (2 when there is no
// such page); a page ends where the next one starts, the last at the end of
// the file.
int ReadDcx(PictureFile* f, LoadContext* ctx) {
    // Recognised by its magic: a file that falls short is incomplete.
    const auto shortfall = [ctx] {
        ctx->pictureBegun = 1;
        return kLoadIncomplete;
    };
    uint32_t offsets[kDcxMaxPages + 1] = {};
    int pages = 0;
    while (pages < kDcxMaxPages) {
        const uint32_t at = ReadUInt32Le(f);
        if (f->eof) return shortfall();
        if (at == 0) break;
        offsets[pages++] = at;
    }
    ctx->imageCount = uint32_t(pages);
    const uint32_t wanted = ctx->callbacks.getCallerValue ? ctx->callbacks.getCallerValue(ctx, 0) : 0;
    if (wanted >= uint32_t(pages)) return kLoadNotRecognised;
    const int64_t start = offsets[wanted];
    const int64_t next = offsets[wanted + 1];
    // A stream handed in is measured first, so a page past its end is found
    // here as it is in a file or in memory, not by the read after the seek.
    LearnFileSize(f);
    if (!SeekWithinFile(f, start)) return shortfall();
    return ReadPcxPicture(f, ctx, next > start ? next : -1);
}

int ReadPcx(PictureFile* f, LoadContext* ctx) {
    if (IsDcx(f)) return ReadDcx(f, ctx);
    return SeekWithinFile(f, 0) ? ReadPcxPicture(f, ctx, -1) : kLoadNotRecognised;
}

}  // namespace

int ReadPcxEntry(FileSource* source, LoadContext* ctx) { return RunReaderOnSource(source, ctx, ReadPcx); }
