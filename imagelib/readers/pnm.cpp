// The portable bitmap family: P1 to P6 in their ASCII and binary forms, and
// the XV visual schnauzer's 8-bit thumbnails (P7 332), whose bytes are
// 3-3-2 colours handed over with their palette.
//
// Portable: talks to the library only through the load context's callbacks
// and the picture file.
#include "pnm.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "../metadata.h"
#include "../readconvert.h"
#include "readerio.h"
#include "readers.h"

namespace {

constexpr int32_t kSideLimit = 16000;  // sides must be below this
constexpr uint32_t kMaxMaxval = 65535;
constexpr size_t kCommentCapacity = 512;

const char kBadSize[] = "Portable Bitmap : Bad picture's size !";

const char* const kDescriptions[] = {
    "Portable Bitmap (Type 1 - ASCII)",  "Portable Graymap (Type 2 - ASCII)",
    "Portable Pixmap (Type 3 - ASCII)",  "Portable Bitmap (Type 4 - Binary)",
    "Portable Graymap (Type 5 - Binary)", "Portable Pixmap (Type 6 - Binary)",
    "XV visual schnauzer",
};

struct PnmReader {
    PictureFile* file;
    char comment[kCommentCapacity];
    bool commentSeen;
};

bool IsSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsDigit(int c) { return c >= '0' && c <= '9'; }

// The next character, with a comment ("#" to the end of the line) standing
// as the line feed that ends it (or -1 at the end of the file). The first
// comment, up to 511 characters with its line feed, is kept.
int ReadPnmChar(PnmReader* r) {
    int c = ReadFileByte(r->file);
    if (c != '#') return c;
    size_t n = 0;
    while ((c = ReadFileByte(r->file)) >= 0) {
        if (!r->commentSeen && n < kCommentCapacity - 1) r->comment[n++] = char(c);
        if (c == '\n') break;
    }
    if (!r->commentSeen) {
        r->comment[n] = '\0';
        r->commentSeen = true;
    }
    return c;
}

int SkipSpace(PnmReader* r) {
    int c;
    do c = ReadPnmChar(r);
    while (IsSpace(c));
    return c;
}

// A decimal number after optional whitespace: 0 done, 4 at the end of the
// file, `notNumber` when another character stands there. The character that
// ends the digits is consumed. Values saturate at the 32-bit maximum.
int ReadPnmNumber(PnmReader* r, uint32_t* value, int notNumber) {
    int c = SkipSpace(r);
    if (c < 0) return kLoadIncomplete;
    if (!IsDigit(c)) return notNumber;
    uint64_t v = 0;
    do {
        v = v * 10 + uint64_t(c - '0');
        if (v > UINT32_MAX) v = UINT32_MAX;
        c = ReadPnmChar(r);
    } while (IsDigit(c));
    *value = uint32_t(v);
    return kLoadOk;
}

// 8-bit sample from a value of 0..maxval.
inline uint8_t ScaleSample(uint32_t v, uint32_t maxval) {
    if (v > maxval) v = maxval;
    if (maxval == 255) return uint8_t(v);
    if (maxval == 65535) return uint8_t(v >> 8);
    return uint8_t(uint64_t(v) * 255 / maxval);
}

// A deep sample of `bits` bits from a value of 0..maxval (full range kept).
inline uint16_t ScaleDeepSample(uint32_t v, uint32_t maxval, int bits) {
    if (v > maxval) v = maxval;
    const uint32_t top = (1u << bits) - 1;
    return uint16_t(maxval == top ? v : uint64_t(v) * top / maxval);
}

// Stores sample i of a row of native 16-bit samples.
inline void PutDeepSample(uint8_t* row, size_t i, uint16_t v) { std::memcpy(row + 2 * i, &v, sizeof v); }

// The palette of the 3-3-2 thumbnails: R bits 5-7, G bits 2-4, B bits 0-1.
void MakePalette332(uint8_t* rgb) {
    for (int i = 0; i < 256; ++i) {
        rgb[3 * i] = uint8_t((i >> 5 & 7) * 255 / 7);
        rgb[3 * i + 1] = uint8_t((i >> 2 & 7) * 255 / 7);
        rgb[3 * i + 2] = uint8_t((i & 3) * 255 / 3);
    }
}

// One row of `samples` values into `row`: bytes, or native 16-bit samples
// of `deepBits` bits when that is not 0 (maxval above 255).
int ReadPnmRow(PnmReader* r, int type, uint32_t maxval, uint8_t* row, size_t samples, uint8_t* wide,
               const uint8_t* lut, int deepBits) {
    PictureFile* f = r->file;
    switch (type) {
        case 1:
            // netpbm writes P1 digits without separators: one character a pixel.
            for (size_t i = 0; i < samples; ++i) {
                const int c = SkipSpace(r);
                if (c < 0) return kLoadIncomplete;
                if (c != '0' && c != '1') return kLoadCorrupt;
                row[i] = uint8_t(c - '0');
            }
            return kLoadOk;
        case 2:
        case 3:
            for (size_t i = 0; i < samples; ++i) {
                uint32_t v;
                const int e = ReadPnmNumber(r, &v, kLoadCorrupt);
                if (e != kLoadOk) return e;
                if (deepBits) PutDeepSample(row, i, ScaleDeepSample(v, maxval, deepBits));
                else row[i] = ScaleSample(v, maxval);
            }
            return kLoadOk;
        default:
            break;
    }
    if (type == 4 || maxval < 256) {
        if (ReadFileBytes(f, row, samples) != samples) return kLoadIncomplete;
        if (lut)
            for (size_t i = 0; i < samples; ++i) row[i] = lut[row[i]];
        return kLoadOk;
    }
    if (ReadFileBytes(f, wide, 2 * samples) != 2 * samples) return kLoadIncomplete;
    for (size_t i = 0; i < samples; ++i) {
        const uint32_t v = uint32_t(wide[2 * i] << 8 | wide[2 * i + 1]);
        if (deepBits) PutDeepSample(row, i, ScaleDeepSample(v, maxval, deepBits));
        else row[i] = ScaleSample(v, maxval);
    }
    return kLoadOk;
}

}  // namespace

int ReadPnm(PictureFile* f, LoadContext* ctx) {
    uint8_t magic[2];
    if (ReadFileBytes(f, magic, 2) != 2 || magic[0] != 'P' || magic[1] < '1' || magic[1] > '7')
        return kLoadNotRecognised;
    const int type = magic[1] - '0';
    const bool bilevel = type == 1 || type == 4;
    const bool pixmap = type == 3 || type == 6;

    PnmReader reader{};
    reader.file = f;
    ImageHeader ih;
    ctx->callbacks.clearImageHeader(&ih);
    CopyTextBounded(ih.description, sizeof ih.description, kDescriptions[type - 1]);

    uint32_t width = 0, height = 0, maxval = 255, ignored;
    int r = type == 7 ? ReadPnmNumber(&reader, &ignored, kLoadNotRecognised) : kLoadOk;
    if (r == kLoadOk) r = ReadPnmNumber(&reader, &width, kLoadNotRecognised);
    if (r == kLoadOk) r = ReadPnmNumber(&reader, &height, kLoadNotRecognised);
    if (r == kLoadOk && !bilevel) r = ReadPnmNumber(&reader, &maxval, kLoadNotRecognised);
    if (r != kLoadOk) return r;
    if (width < 1 || height < 1 || width >= kSideLimit || height >= kSideLimit) return RefusePicture(ctx, kBadSize);
    if (maxval < 1 || maxval > kMaxMaxval) return kLoadCorrupt;

    ih.planes = 1;
    ih.bitsPerPlane = int16_t(bilevel ? 1 : pixmap ? 24 : 8);
    ih.width = int32_t(width);
    ih.height = int32_t(height);
    ih.bytesPerPlane = bilevel ? (width + 7) / 8 : pixmap ? 3 * width : width;
    if (type == 1) {
        ih.bytesPerPlane = width;
        ih.flags = kLayoutBytePerPixel;  // P1 rows: one byte 0 or 1 per pixel
    }
    // What the bytes are: grey levels, or indexes of the 3-3-2 palette.
    uint8_t palette[256 * 3];
    if (type == 7) {
        MakePalette332(palette);
        ih.palette = palette;
        ih.paletteBits = 8;
    } else if (!pixmap) {
        ih.flags |= kHeaderGreyLevels;
    }
    // Samples above 8 bits are narrowed to bytes unless the load keeps them.
    int deepBits = 0;
    if (maxval > 255) {
        uint32_t bits = 0;
        while (bits < 16 && (maxval >> bits) != 0) ++bits;
        if ((ctx->options.flags & kLoadKeepDeepSamples) && type != 7) {
            deepBits = int(bits);
            ih.components = int16_t(pixmap ? 3 : 1);
            ih.bitsPerPlane = int16_t(bits);
            ih.bytesPerPlane *= 2;
            ih.flags &= ~uint32_t(kHeaderGreyLevels);
        } else {
            ih.fullWidth = ih.width;
            ih.fullHeight = ih.height;
            ih.fullBytesPerPlane = 2 * ih.bytesPerPlane;
            ih.fullBitsPerSample = bits;
            ih.fullComponents = pixmap ? 3 : 1;
        }
    }
    if (reader.commentSeen) SetPictureComment(ctx, reader.comment, strnlen(reader.comment, sizeof reader.comment));
    if (type >= 4 && type <= 6) {
        const uint64_t rowBytes = uint64_t(ih.bytesPerPlane) * (maxval > 255 && !deepBits ? 2 : 1);
        r = CheckStoredRowsFit(f, ctx, TellPictureFile(f), rowBytes, height);
        if (r != kLoadOk) return r;
    }
    r = ctx->callbacks.beginImage(ctx, &ih);
    if (BeginImageStops(r)) return r;

    // Binary samples of 9 to 16 bits are read into `wide` first; narrower
    // ones other than 0..255 are scaled through a table.
    const size_t samples = deepBits ? ih.bytesPerPlane / 2 : ih.bytesPerPlane;
    uint8_t* wide = nullptr;
    uint8_t lut[256];
    const bool useLut = type >= 5 && type <= 6 && maxval < 255;
    if (useLut)
        for (uint32_t v = 0; v < 256; ++v) lut[v] = ScaleSample(v, maxval);
    if (type >= 5 && maxval > 255) {
        wide = static_cast<uint8_t*>(std::malloc(2 * samples));
        if (!wide) return FinishReaderPicture(ctx, kLoadNoMemory);
    }
    for (int32_t y = 0; y < ih.height && r == kLoadOk; ++y) {
        r = ReadPnmRow(&reader, type, maxval, ih.rowBuffer, samples, wide, useLut ? lut : nullptr, deepBits);
        if (r == kLoadOk) r = ctx->callbacks.putScanlines(ctx, -1, y, 1);
    }
    std::free(wide);
    if (type == 7) return FinishReaderPicture(ctx, r, ih.paletteLayout, ih.paletteBits, palette);
    return FinishReaderPicture(ctx, r, bilevel ? kPaletteGreyInverted : 0, 0, nullptr);
}

int ReadPnmEntry(FileSource* source, LoadContext* ctx) { return RunReaderOnSource(source, ctx, ReadPnm); }
