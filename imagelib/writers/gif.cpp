// GIF writer: one image with a global colour table, optional graphic control
// (transparency) and comment extensions, optionally interlaced, coded by the
// library's own LZW encoder (compress-style, open addressing).
//
// Every write is checked through the file's sticky error flag; a failed
// write, flush or close gives kSaveWriteFailed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imagelib/formats.h"
#include "imagelib/savecontext.h"
#include "imagelib/writers.h"
#include "imagelib/writers/writerio.h"

namespace {

constexpr int kHashSize = 5003;     // prime, above the 4096 codes
constexpr int kMaxCodes = 4096;
constexpr int kMaxBits = 12;
constexpr size_t kPacketBytes = 254;
constexpr int32_t kMaxSide = 65535;

// The encoder's tables and output state. Tables come from one allocation so
// that a failure is seen before anything is written.
struct GifLzwEncoder {
    uint16_t* codes;       // kHashSize slots; 0 = empty
    uint16_t* prefixes;
    uint8_t* suffixes;
    PictureFile* file;
    uint32_t accumulator;
    int accumulated;       // bits in the accumulator
    uint8_t packet[kPacketBytes];
    size_t packetUsed;
    int bits;              // current code size
    int initialBits;
    int limit;             // largest code of the current size (4096 at 12 bits)
    int nextFree;
    int clearCode;
    int endCode;
};

bool AllocEncoder(GifLzwEncoder* e) {
    std::memset(e, 0, sizeof *e);
    void* block = std::malloc(kHashSize * (2 * sizeof(uint16_t) + 1));
    if (!block) return false;
    e->codes = static_cast<uint16_t*>(block);
    e->prefixes = e->codes + kHashSize;
    e->suffixes = reinterpret_cast<uint8_t*>(e->prefixes + kHashSize);
    return true;
}

void FreeEncoder(GifLzwEncoder* e) { std::free(e->codes); }

void FlushPacket(GifLzwEncoder* e) {
    if (!e->packetUsed) return;
    WriteFileByte(e->file, int(e->packetUsed));
    WriteFileBytes(e->file, e->packet, e->packetUsed);
    e->packetUsed = 0;
}

void PutByte(GifLzwEncoder* e, uint8_t b) {
    e->packet[e->packetUsed++] = b;
    if (e->packetUsed == kPacketBytes) FlushPacket(e);
}

// Codes go into the accumulator above its present bits, least significant
// bits first.
void PutCode(GifLzwEncoder* e, int code) {
    e->accumulator |= uint32_t(code) << e->accumulated;
    e->accumulated += e->bits;
    while (e->accumulated >= 8) {
        PutByte(e, uint8_t(e->accumulator));
        e->accumulator >>= 8;
        e->accumulated -= 8;
    }
}

void ClearCodes(GifLzwEncoder* e) { std::memset(e->codes, 0, kHashSize * sizeof(uint16_t)); }

void StartEncoding(GifLzwEncoder* e, PictureFile* f, int initialBits) {
    e->file = f;
    e->initialBits = e->bits = initialBits;
    e->clearCode = 1 << (initialBits - 1);
    e->endCode = e->clearCode + 1;
    e->nextFree = e->clearCode + 2;
    e->limit = (1 << initialBits) - 1;
    ClearCodes(e);
    PutCode(e, e->clearCode);
}

// A code was put out: widen the codes once the next free one no longer fits.
void WidenIfFull(GifLzwEncoder* e) {
    if (e->nextFree > e->limit) {
        ++e->bits;
        e->limit = e->bits == kMaxBits ? kMaxCodes : (1 << e->bits) - 1;
    }
}

// Adds one pixel to the string `ent` (the current prefix code).
inline void EncodePixel(GifLzwEncoder* e, int* ent, int c) {
    int i = *ent + 16 * c;
    if (i >= kHashSize) i -= kHashSize;
    if (e->codes[i]) {
        if (e->prefixes[i] == *ent && e->suffixes[i] == c) {
            *ent = e->codes[i];
            return;
        }
        const int step = i == 0 ? 1 : kHashSize - i;
        for (;;) {
            i -= step;
            if (i < 0) i += kHashSize;
            if (!e->codes[i]) break;
            if (e->prefixes[i] == *ent && e->suffixes[i] == c) {
                *ent = e->codes[i];
                return;
            }
        }
    }
    PutCode(e, *ent);
    const int previous = *ent;
    *ent = c;
    WidenIfFull(e);
    if (e->nextFree < kMaxCodes) {
        e->codes[i] = uint16_t(e->nextFree++);
        e->prefixes[i] = uint16_t(previous);
        e->suffixes[i] = uint8_t(c);
    } else {
        ClearCodes(e);
        PutCode(e, e->clearCode);
        e->nextFree = e->clearCode + 2;
        e->bits = e->initialBits;
        e->limit = (1 << e->bits) - 1;
    }
}

void FinishEncoding(GifLzwEncoder* e, int ent) {
    PutCode(e, ent);
    WidenIfFull(e);
    PutCode(e, e->endCode);
    if (e->accumulated > 0) PutByte(e, uint8_t(e->accumulator));
    e->accumulator = 0;
    e->accumulated = 0;
    FlushPacket(e);
}

// The next row to fetch: in order, or the four interlace passes (every 8th
// row from 0, every 8th from 4, every 4th from 2, every 2nd from 1). -1 after
// the last row.
struct RowOrder {
    int32_t height;
    bool interlaced;
    int pass;
    int32_t next;
};

int32_t NextRow(RowOrder* o) {
    static const int32_t kStart[4] = {0, 4, 2, 1};
    static const int32_t kStep[4] = {8, 8, 4, 2};
    if (!o->interlaced) return o->next < o->height ? o->next++ : -1;
    while (o->pass < 4) {
        if (o->next < o->height) {
            const int32_t row = o->next;
            o->next += kStep[o->pass];
            return row;
        }
        if (++o->pass < 4) o->next = kStart[o->pass];
    }
    return -1;
}

// Codes the whole picture into data sub-blocks. 0, or a GetScanlines result,
// or kSaveWriteFailed.
int GifLzwEncode(SaveContext* ctx, GifLzwEncoder* e, const WriteHeader& h, PictureFile* f, int initialBits,
                 int pixelBits, bool interlaced) {
    const int32_t width = ctx->picture.width;
    // Pixels index a table of 2^bits colours; anything above would be read as
    // a control code, so only the low bits are coded.
    const uint8_t mask = uint8_t((1u << pixelBits) - 1);
    RowOrder order{ctx->picture.height, interlaced, 0, 0};
    StartEncoding(e, f, initialBits);
    int ent = -1;
    for (int32_t row = NextRow(&order); row >= 0; row = NextRow(&order)) {
        const int got = ctx->callbacks.getScanlines(ctx, row, 1);
        if (got) return got;
        const uint8_t* px = h.rowBuffer;
        int32_t x = 0;
        if (ent < 0) ent = px[x++] & mask;
        for (; x < width; ++x) EncodePixel(e, &ent, px[x] & mask);
        if (f->error) return kSaveWriteFailed;
    }
    FinishEncoding(e, ent);
    return f->error ? kSaveWriteFailed : kSaveOk;
}

void WriteGifScreenDescriptor(PictureFile* f, const SaveContext* ctx, bool gif87a, int bits) {
    WriteFileBytes(f, gif87a ? "GIF87a" : "GIF89a", 6);
    WriteUInt16Le(uint32_t(ctx->picture.width), f);
    WriteUInt16Le(uint32_t(ctx->picture.height), f);
    const uint8_t tail[3] = {uint8_t(0x80 | (bits - 1)), 0, 0};
    WriteFileBytes(f, tail, 3);
}

void WriteGifImageDescriptor(PictureFile* f, const SaveContext* ctx, bool interlaced, int bits) {
    WriteUInt16Le(0, f);
    WriteUInt16Le(0, f);
    WriteUInt16Le(uint32_t(ctx->picture.width), f);
    WriteUInt16Le(uint32_t(ctx->picture.height), f);
    WriteFileByte(f, (interlaced ? 0x40 : 0) | (bits - 1));
}

int WriteGifFile(PictureFile* f, SaveContext* ctx, GifLzwEncoder* e, int bits) {
    const SavePictureInfo& p = ctx->picture;
    const bool interlaced = ctx->options.interlaced != 0;
    WriteHeader h;
    ctx->callbacks.clearWriteHeader(&h);
    std::snprintf(h.description, sizeof h.description, "%s", interlaced ? "Gif interlaced" : "Gif");
    h.flags = kWriteBytePerPixel;
    h.planes = 1;
    h.bitsPerPlane = 8;
    h.bytesPerPlane = uint32_t(p.width);
    h.paletteLayout = kPaletteTriples;
    h.paletteBits = 8;
    const int begun = ctx->callbacks.beginWrite(ctx, &h);
    if (begun) return begun;

    // Extensions need the GIF89a signature, whatever the option says. A
    // transparent index outside the colour table names no colour.
    const bool transparent = p.transparentIndex >= 0 && p.transparentIndex < (1 << bits);
    const size_t commentLength = p.comment ? std::strlen(p.comment) : 0;
    const bool comment = p.comment && commentLength < 255;
    const bool gif87a = ctx->options.gif87a && !transparent && !comment;

    WriteGifScreenDescriptor(f, ctx, gif87a, bits);
    WriteFileBytes(f, h.palette, size_t(3) << bits);
    if (transparent) {
        const uint8_t gce[8] = {'!', 0xF9, 0x04, 0x01, 0x00, 0x00, uint8_t(p.transparentIndex), 0x00};
        WriteFileBytes(f, gce, sizeof gce);
    }
    if (comment) {
        const uint8_t head[3] = {'!', 0xFE, uint8_t(commentLength + 1)};
        WriteFileBytes(f, head, 3);
        WriteFileBytes(f, p.comment, commentLength + 1);
        WriteFileByte(f, 0);
    }
    WriteFileByte(f, ',');
    WriteGifImageDescriptor(f, ctx, interlaced, bits);
    const int minimum = bits < 2 ? 2 : bits;
    WriteFileByte(f, minimum);
    int result = f->error ? kSaveWriteFailed : GifLzwEncode(ctx, e, h, f, minimum + 1, bits, interlaced);
    if (result == kSaveOk) {
        WriteFileByte(f, 0);
        WriteFileByte(f, ';');
        if (f->error) result = kSaveWriteFailed;
    }
    ctx->callbacks.endWrite(ctx);
    return result;
}

}  // namespace

int WriteGif(FileSource* source, SaveContext* ctx) {
    const SavePictureInfo& p = ctx->picture;
    if (!IsLzwEnabled() || p.kind == kPixelMaskColour) return kSaveRefused;
    if (p.width > kMaxSide || p.height > kMaxSide) return kSaveRefused;
    const int bits =
        p.kind == kPixelBilevel ? 1 : ctx->callbacks.bitsForColourCount(EffectiveColourCount(p.kind, p.colourCount));

    GifLzwEncoder encoder;
    if (!AllocEncoder(&encoder)) return kSaveNoMemory;
    const int result = RunWriterOnSource(
        source, ctx, [&encoder, bits](PictureFile* f, SaveContext* c) { return WriteGifFile(f, c, &encoder, bits); });
    FreeEncoder(&encoder);
    return result;
}

void GetGifWriterOptions(FormatCapability* records, const FormatRow* /*row*/) {
    records[0] = FormatCapability{kPixelPalette, 256, -1, -1, nullptr};
    records[1] = FormatCapability{kPixelGrey, 65535, -1, -1, nullptr};
    records[2] = FormatCapability{kPixelBilevel, 65535, -1, -1, nullptr};
}
