// GIF87a and GIF89a: one image of the file (the load's image index) as an
// 8-bit palette picture, decoded by the GIF variant of LZW. The whole block
// stream is walked so that the load learns how many images the file holds,
// unless the load asks to stop after its image (flag 0x8000).
//
// Portable: talks to the library only through the load context's callbacks
// and the picture file. Keeps the comment extension when comments are wanted.
#include "gif.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../formats.h"
#include "../metadata.h"
#include "../readconvert.h"
#include "readerio.h"
#include "readers.h"

namespace {

constexpr int kTrailer = 0x3B;
constexpr int kExtensionIntroducer = 0x21;
constexpr int kImageSeparator = 0x2C;
constexpr int kGraphicControlLabel = 0xF9;
constexpr int kCommentLabel = 0xFE;
constexpr uint16_t kCompressionLzw = 2;
constexpr int kMaxCodeSize = 12;
// Writers may declare roots of up to 9 bits for 8-bit pixels; a literal code
// above 255 keeps its low byte, as other decoders read it.
constexpr int kMaxRootSize = 9;
constexpr int kTableSize = 1 << kMaxCodeSize;
// Comment extensions are kept up to this many bytes; the rest is skipped.
constexpr size_t kCommentLimit = 65536;

const char kBadSize[] = "GIF : Bad picture's size !";
const char kBadCodeSize[] = "GIF : Bad code's size !";
const char kLzwDisabled[] = "GIF : Bad compression (LZW) !";

// The reader's view of the file: the version letters, the global colour
// table and the transparent index named for the next image.
struct GifReader {
    PictureFile* file;
    LoadContext* ctx;
    char version[3];
    int globalBits;              // bits per pixel of the global table (or the screen's)
    uint8_t globalTable[768];    // R, G, B triples, zero when the file has none
    int16_t transparentIndex;
};

// The LZW data of one image: length-prefixed sub-blocks, read a block at a
// time. A zero-length sub-block ends the data; so does the end of the file.
struct GifDataStream {
    PictureFile* file;
    uint8_t block[255];
    int length;
    int pos;
    bool ended;       // the zero-length terminator was read
    bool truncated;   // the file ended inside the data
    uint32_t bits;
    int bitCount;
};

int NextDataByte(GifDataStream* s) {
    while (s->pos >= s->length) {
        if (s->ended || s->truncated) return -1;
        const int size = ReadFileByte(s->file);
        if (size < 0) {
            s->truncated = true;
            return -1;
        }
        if (size == 0) {
            s->ended = true;
            return -1;
        }
        s->length = int(ReadFileBytes(s->file, s->block, size_t(size)));
        s->pos = 0;
        if (s->length < size) s->truncated = true;
    }
    return s->block[s->pos++];
}

// The next code of `size` bits, least significant bits first; -1 when the
// data ends first.
int ReadCode(GifDataStream* s, int size) {
    while (s->bitCount < size) {
        const int b = NextDataByte(s);
        if (b < 0) return -1;
        s->bits |= uint32_t(b) << s->bitCount;
        s->bitCount += 8;
    }
    const int code = int(s->bits & ((1u << size) - 1));
    s->bits >>= size;
    s->bitCount -= size;
    return code;
}

// Skips sub-blocks up to and including the zero-length terminator. False
// when the file ends first.
bool SkipSubBlocks(PictureFile* f) {
    for (;;) {
        const int size = ReadFileByte(f);
        if (size < 0) return false;
        if (size == 0) return true;
        if (SkipFileBytes(f, size)) return false;
    }
}

// Whatever is left of an image's data after decoding, by sub-block lengths.
bool FinishDataStream(GifDataStream* s) {
    if (s->truncated) return false;
    return s->ended || SkipSubBlocks(s->file);
}

// Row number of the n-th delivered row: straight, or the four interlace
// passes (rows 0, 8, 16 ...; 4, 12 ...; 2, 6 ...; 1, 3 ...).
int32_t RowNumber(int32_t n, int32_t height, bool interlaced) {
    if (!interlaced) return n;
    const int32_t m = height - 1;
    if (n <= m / 8) return 8 * n;
    if (n <= m / 4) return 8 * (n - m / 8) - 4;
    if (n <= m / 2) return 4 * (n - m / 4) - 2;
    return 2 * (n - m / 2) - 1;
}

struct LzwTables {
    uint16_t prefix[kTableSize];
    uint8_t suffix[kTableSize];
    uint8_t stack[kTableSize + 1];
};

// Decodes one image's LZW data into rows of `width` index bytes, handing
// each finished row to the load under its (interlaced) row number. 0 when
// every row arrived; 4 when the data ends, breaks off at an end code, or is
// corrupt first (the rows so far, and the partial row padded with index 0,
// are delivered); a row callback's non-zero answer otherwise. The data
// stream is left inside the image's sub-blocks.
int DecodeLzw(GifDataStream* s, LzwTables* t, int minimumCodeSize, uint8_t* row, int32_t width, int32_t height,
              bool interlaced, LoadContext* ctx) {
    const int clear = 1 << minimumCodeSize;
    const int end = clear + 1;
    const int firstFree = clear + 2;
    int codeSize = minimumCodeSize + 1;
    int limit = 1 << codeSize;
    int nextFree = firstFree;
    int oldCode = -1;
    int firstChar = 0;
    int32_t x = 0;
    int32_t rowsDone = 0;

    for (;;) {
        int code = ReadCode(s, codeSize);
        if (code < 0 || code == end) break;
        if (code == clear) {
            codeSize = minimumCodeSize + 1;
            limit = 1 << codeSize;
            nextFree = firstFree;
            oldCode = -1;
            continue;
        }
        int sp = 0;
        const int inCode = code;
        if (oldCode < 0) {
            // After a clear code (or at a start without one) only a literal
            // can follow: the table is empty, so neither the next free code
            // nor anything above it has a meaning yet.
            if (code >= clear) break;
            firstChar = code;
            t->stack[sp++] = uint8_t(code);
        } else {
            if (code > nextFree) break;
            if (code == nextFree) {
                t->stack[sp++] = uint8_t(firstChar);
                code = oldCode;
            }
            // Every entry's prefix is an older entry, so the chain shortens
            // at each step and the stack cannot overflow.
            while (code >= firstFree) {
                t->stack[sp++] = t->suffix[code];
                code = t->prefix[code];
            }
            firstChar = code;
            t->stack[sp++] = uint8_t(code);
            if (nextFree < kTableSize) {
                t->prefix[nextFree] = uint16_t(oldCode);
                t->suffix[nextFree] = uint8_t(firstChar);
                ++nextFree;
                if (nextFree >= limit && codeSize < kMaxCodeSize) {
                    ++codeSize;
                    limit <<= 1;
                }
            }
        }
        oldCode = inCode;

        while (sp > 0) {
            row[x++] = t->stack[--sp];
            if (x < width) continue;
            const int r = ctx->callbacks.putScanlines(ctx, -1, RowNumber(rowsDone, height, interlaced), 1);
            if (r) return r;
            x = 0;
            if (++rowsDone == height) return kLoadOk;
        }
    }
    if (x > 0) {
        std::memset(row + x, 0, size_t(width - x));
        const int r = ctx->callbacks.putScanlines(ctx, -1, RowNumber(rowsDone, height, interlaced), 1);
        if (r) return r;
    }
    return kLoadIncomplete;
}

// Reads the signature and the logical screen descriptor, and the global
// colour table when there is one. 2 for another signature, 4 when the file
// ends first.
int ReadGifScreen(GifReader* g) {
    uint8_t screen[13];
    const size_t got = ReadFileBytes(g->file, screen, sizeof screen);
    if (got < 6 || std::memcmp(screen, "GIF", 3) != 0 ||
        (std::memcmp(screen + 3, "87a", 3) != 0 && std::memcmp(screen + 3, "89a", 3) != 0))
        return got < 6 ? kLoadIncomplete : kLoadNotRecognised;
    if (got < sizeof screen) return kLoadIncomplete;
    std::memcpy(g->version, screen + 3, 3);
    const uint8_t packed = screen[10];
    g->globalBits = (packed & 7) + 1;
    if (packed & 0x80) {
        const size_t bytes = size_t(3) << g->globalBits;
        if (ReadFileBytes(g->file, g->globalTable, bytes) != bytes) return kLoadIncomplete;
    }
    return kLoadOk;
}

// The graphic control extension: only its transparent index is used, for
// the next image only. Of several extensions before one image, one without
// the transparency flag leaves the index an earlier one named.
bool ReadGraphicControl(GifReader* g) {
    const int size = ReadFileByte(g->file);
    if (size < 0) return false;
    if (size == 0) return true;
    uint8_t block[255];
    if (ReadFileBytes(g->file, block, size_t(size)) != size_t(size)) return false;
    if (size == 4 && (block[0] & 1)) g->transparentIndex = block[3];
    return SkipSubBlocks(g->file);
}

// A comment extension: its sub-blocks joined into one text.
bool ReadCommentExtension(GifReader* g) {
    if (!(g->ctx->options.flags & kLoadKeepComment)) return SkipSubBlocks(g->file);
    char* text = nullptr;
    size_t length = 0;
    bool ok = true;
    for (;;) {
        const int size = ReadFileByte(g->file);
        if (size <= 0) {
            ok = size == 0;
            break;
        }
        if (length + size_t(size) > kCommentLimit) {
            if (SkipFileBytes(g->file, size)) {
                ok = false;
                break;
            }
            continue;
        }
        char* grown = static_cast<char*>(std::realloc(text, length + size_t(size) + 1));
        if (!grown) {
            ok = SkipFileBytes(g->file, size) == 0 && SkipSubBlocks(g->file);
            break;
        }
        text = grown;
        if (ReadFileBytes(g->file, text + length, size_t(size)) != size_t(size)) {
            ok = false;
            break;
        }
        length += size_t(size);
    }
    if (ok && text) {
        text[length] = '\0';
        if (!(length >= 3 && std::memcmp(text, "nCC", 3) == 0)) SetPictureComment(g->ctx, text, length);
    }
    std::free(text);
    return ok;
}

struct ImageOutcome {
    int status;       // 0 go on
    bool delivered;   // the wanted image was decoded completely
};

// The most pixels `codes` LZW codes can stand for: each code's string is at
// most one longer than the longest before it, and no string is longer than
// the 4096 entries of the table.
uint64_t MostLzwPixels(uint64_t codes) {
    constexpr uint64_t kTable = 4096;
    if (codes <= kTable) return codes * (codes + 1) / 2;
    return kTable * (kTable + 1) / 2 + (codes - kTable) * kTable;
}

// Whether the rest of the file could hold the LZW data of a width x height
// picture (under kLoadAcceptDamaged: of its first row), so that a few bytes
// declaring a huge picture cost no memory. True when the size is not known.
bool LzwDataCanHold(PictureFile* f, const LoadContext* ctx, int minimumCodeSize, int32_t width, int32_t height) {
    const int64_t left = RemainingFileBytes(f);
    if (ctx->infoOnly || left < 0) return true;
    const uint64_t codes = uint64_t(left) * 8 / uint64_t(minimumCodeSize + 1);
    const uint64_t needed = (ctx->options.flags & kLoadAcceptDamaged) ? uint64_t(width) : uint64_t(width) * uint64_t(height);
    return MostLzwPixels(codes) >= needed;
}

// One image, from its descriptor on. The wanted image is declared, decoded
// and ended; the others are skipped by their sub-block lengths.
ImageOutcome ReadGifImage(GifReader* g, bool wanted, const char* descriptionOverride, int16_t headerWord,
                          LzwTables* tables) {
    LoadContext* ctx = g->ctx;
    uint8_t d[9];
    if (ReadFileBytes(g->file, d, sizeof d) != sizeof d) return {kLoadIncomplete, false};
    const int32_t width = d[4] | d[5] << 8;
    const int32_t height = d[6] | d[7] << 8;
    const uint8_t packed = d[8];
    const bool interlaced = (packed & 0x40) != 0;

    int bits = g->globalBits;
    uint8_t palette[768];
    std::memcpy(palette, g->globalTable, sizeof palette);
    if (packed & 0x80) {
        bits = (packed & 7) + 1;
        const size_t bytes = size_t(3) << bits;
        std::memset(palette, 0, sizeof palette);
        if (ReadFileBytes(g->file, palette, bytes) != bytes) return {kLoadIncomplete, false};
    }
    if (width == 0 || height == 0) return {RefusePicture(ctx, kBadSize), false};
    const int minimumCodeSize = ReadFileByte(g->file);
    if (minimumCodeSize < 0) return {kLoadIncomplete, false};
    if (minimumCodeSize < 2 || minimumCodeSize > kMaxRootSize) return {RefusePicture(ctx, kBadCodeSize), false};
    if (!IsLzwEnabled()) return {RefusePicture(ctx, kLzwDisabled), false};

    if (!wanted) return {SkipSubBlocks(g->file) ? kLoadOk : kLoadIncomplete, false};
    if (!LzwDataCanHold(g->file, ctx, minimumCodeSize, width, height)) {
        ctx->pictureBegun = 1;  // recognised: the file falls short
        return {kLoadIncomplete, false};
    }

    // Two black entries in a two-colour table would hide the picture.
    if (bits == 1 && std::memcmp(palette, "\0\0\0\0\0\0", 6) == 0) std::memset(palette + 3, 255, 3);

    ImageHeader h;
    ctx->callbacks.clearImageHeader(&h);
    h.flags = kLayoutBytePerPixel | (interlaced ? uint32_t(kHeaderRowsOutOfOrder) : 0u);
    h.palette = palette;
    h.paletteLayout = kPaletteTriples;
    h.paletteBits = 8;
    h.headerExtra = headerWord;
    h.compression = kCompressionLzw;
    h.planes = 1;
    h.bitsPerPlane = int16_t(bits);
    h.width = width;
    h.height = height;
    h.bytesPerPlane = uint32_t(width);
    h.transparentIndex = g->transparentIndex;
    if (descriptionOverride && *descriptionOverride) {
        CopyTextBounded(h.description, sizeof h.description, descriptionOverride);
    } else {
        std::snprintf(h.description, sizeof h.description,
                      interlaced ? "Compuserve GIF (Version %c%c%c - Interlaced)" : "Compuserve GIF (Version %c%c%c)",
                      g->version[0], g->version[1], g->version[2]);
    }
    const int begun = ctx->callbacks.beginImage(ctx, &h);
    if (BeginImageStops(begun)) return {begun, false};

    GifDataStream s{};
    s.file = g->file;
    int status = DecodeLzw(&s, tables, minimumCodeSize, h.rowBuffer, width, height, interlaced, ctx);
    if (!FinishDataStream(&s) && status == kLoadOk) status = kLoadIncomplete;
    status = FinishReaderPicture(ctx, status, h.paletteLayout, h.paletteBits, palette);
    return {status, status == kLoadOk};
}

}  // namespace

int ReadGif(PictureFile* f, LoadContext* ctx, const char* descriptionOverride, int16_t headerWord) {
    GifReader g{};
    g.file = f;
    g.ctx = ctx;
    g.transparentIndex = -1;
    const int screen = ReadGifScreen(&g);
    if (screen) return screen;

    LzwTables* tables = static_cast<LzwTables*>(std::malloc(sizeof(LzwTables)));
    if (!tables) return kLoadNoMemory;
    const uint32_t wantedIndex = ctx->callbacks.getCallerValue ? ctx->callbacks.getCallerValue(ctx, 0) : 0;
    const bool stopAfterWanted = (ctx->options.flags & kLoadFirstImageOnly) != 0;
    ctx->imageCount = 0;
    int status = kLoadOk;
    bool done = false;
    for (;;) {
        const int c = ReadFileByte(f);
        if (c < 0 || c == kTrailer) break;
        if (c == kExtensionIntroducer) {
            const int label = ReadFileByte(f);
            bool ok;
            if (label == kGraphicControlLabel) ok = ReadGraphicControl(&g);
            else if (label == kCommentLabel) ok = ReadCommentExtension(&g);
            else ok = label >= 0 && SkipSubBlocks(f);
            if (!ok) break;
        } else if (c == kImageSeparator) {
            // Once the wanted image is done the count has passed its index.
            const bool wanted = ctx->imageCount == wantedIndex;
            ++ctx->imageCount;
            const ImageOutcome o = ReadGifImage(&g, wanted, descriptionOverride, headerWord, tables);
            g.transparentIndex = -1;  // the next image names its own
            status = o.status;
            if (o.delivered) done = true;
            if (status != kLoadOk || (wanted && stopAfterWanted)) break;
        }
        // Any other byte between blocks is passed over.
    }
    std::free(tables);
    if (done) return kLoadOk;
    return status == kLoadOk ? kLoadNotRecognised : status;
}

int ReadGifEntry(FileSource* source, LoadContext* ctx) {
    return RunReaderOnSource(source, ctx, [](PictureFile* f, LoadContext* c) { return ReadGif(f, c, nullptr, 0); });
}
