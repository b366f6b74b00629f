// The PNG reader over libpng (with the APNG extension): still pictures row by
// row, interlaced pictures in the bitmap's own rows (or, when scaled or
// converted, in one whole-picture block), and an APNG frame composed on an
// RGBA canvas. Texts, the ICC profile and an IPTC raw profile
// go to the load's comment, texts and metadata.
//
// Portable: no platform headers. libpng reports fatal errors by a long jump
// back into ReadPngBody; everything that must survive the jump lives in the
// heap-allocated PngLoad, and no function between the jump point and libpng
// holds objects with destructors.
#include "pngreader.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../checked.h"
#include "../fileio.h"
#include "../loadcontext.h"
#include "../metadata.h"
#include "../pixelrows.h"
#include "../textutil.h"
#include "readerio.h"

namespace {

constexpr png_uint_32 kSideLimit = 399999;  // BeginImage refuses 400000 and above
constexpr uint16_t kCompressionZip = 4;
constexpr char kIptcKey[] = "Raw profile type iptc";

// What a library error means at this point of the load.
enum PngPhase {
    kPhaseInfo,   // before the image information is complete: not a PNG (2)
    kPhaseSetup,  // before BeginImage: file not complete (4)
    kPhaseRows,   // rows and end chunks: EndImage if needed, then 15, 0 or 4
};

// A picture-sized block of RGBA rows with its row pointers for libpng.
struct RowBlock {
    uint8_t* pixels;
    png_bytep* rows;
    size_t stride;
};

struct PngLoad {
    PictureFile* file;
    int64_t start;        // where the PNG begins in the file
    LoadContext* ctx;
    const char* description;
    png_structp png;
    png_infop info;
    png_infop endInfo;
    PngPhase phase;
    int status;           // last PutScanlines answer
    int ended;            // EndImage has been called
    int complete;         // the progressive reader reached the end chunk
    int stopCode;         // a callback's reason to stop the progressive reader
    int textsBefore;      // texts read before the image (progressive reading)
    png_uint_32 rowsSeen; // rows the progressive reader delivered
    uint8_t feed[4096];   // bytes handed to the progressive reader
    int isPalette;
    uint8_t palette[768];
    uint8_t* block;       // interlaced pictures scaled or converted: the whole picture
    RowBlock canvas;      // APNG: the composed picture
    RowBlock saved;       // APNG: what a "previous" disposal restores
    RowBlock frame;       // APNG: the frame being read
    uint64_t blocksReserved;  // APNG: what the blocks hold, reserved in the load's budget
    ImageHeader header;
};

// ---------------------------------------------------------------------------
// libpng callbacks.

void PngLongJump(png_structp png, png_const_charp /*message*/) { png_longjmp(png, 1); }

void PngQuietWarning(png_structp, png_const_charp) {}

// The library's own blocks are rows (at most 399999 pixels of 8 bytes), the
// inflate state and chunk buffers. A chunk length is only a claim of the
// file (libpng merely warns about lengths beyond its chunk limit), so larger
// blocks are refused and the chunk fails as out of memory.
constexpr png_alloc_size_t kLibraryBlockLimit = png_alloc_size_t(16) << 20;

png_voidp PngAlloc(png_structp, png_alloc_size_t size) {
    return size <= kLibraryBlockLimit ? std::malloc(size) : nullptr;
}

void PngFree(png_structp, png_voidp p) { std::free(p); }

// Reads from the load's PictureFile, so memory sources and icon entries at an
// offset read the same way; a short read is the library error "Read error".
void PngReadData(png_structp png, png_bytep buffer, size_t length) {
    auto* st = static_cast<PngLoad*>(png_get_io_ptr(png));
    if (ReadFileBytes(st->file, buffer, length) != length) png_error(png, "Read error");
}

// ---------------------------------------------------------------------------
// Row blocks.

bool AllocRowBlock(RowBlock* b, png_uint_32 width, png_uint_32 height) {
    size_t bytes;
    b->stride = size_t(width) * 4;
    if (!CheckedMul(b->stride, height, &bytes)) return false;
    b->rows = static_cast<png_bytep*>(std::calloc(height, sizeof(png_bytep)));
    b->pixels = static_cast<uint8_t*>(std::calloc(bytes, 1));  // an APNG canvas starts transparent black
    if (!b->rows || !b->pixels) return false;
    for (png_uint_32 y = 0; y < height; ++y) b->rows[y] = b->pixels + size_t(y) * b->stride;
    return true;
}

void FreeRowBlock(RowBlock* b) {
    std::free(b->pixels);
    std::free(b->rows);
    b->pixels = nullptr;
    b->rows = nullptr;
}

// ---------------------------------------------------------------------------
// Texts and metadata.

bool StartsWith(const char* text, const char* prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The IPTC raw profile becomes an IPTC block behind a "Photoshop 3.0" header.
void AddIptcProfile(PngLoad* st, const png_text& text) {
    LoadContext* ctx = st->ctx;
    if (!(ctx->options.flags & kLoadKeepMetadata) || !ctx->callbacks.addMetadataBlock || !text.text) return;
    const size_t textLength = text.compression >= PNG_ITXT_COMPRESSION_NONE ? text.itxt_length : text.text_length;
    uint32_t count = 0;
    uint8_t* bytes = DecodeRawProfileIptc(text.text, textLength, &count);
    if (!bytes) return;
    const size_t headerBytes = kPhotoshopIptcHeaderSize;
    auto* block = static_cast<uint8_t*>(std::malloc(headerBytes + count));
    if (block) {
        std::memcpy(block, kPhotoshopIptcHeader, headerBytes);
        std::memcpy(block + headerBytes, bytes, count);
        ctx->callbacks.addMetadataBlock(ctx, kMetadataIptc, block, uint32_t(headerBytes + count));
    }
    std::free(block);
    std::free(bytes);
}

bool IsKeptAfterImage(const char* key) {
    static const char* const kKeys[] = {"Artist", "Author", "Comment", "Copyright", "Creation Time", "Description",
                                        "Disclaimer", "Document", "Label", "Make", "Model", "Software", "Source",
                                        "TimeStamp", "Title", "URL", "Warning"};
    for (const char* k : kKeys)
        if (std::strcmp(key, k) == 0) return true;
    return false;
}

// The texts of the chunks before the image (`afterImage` false: with the
// comments flag, "comment" in any case is the picture comment and other keys
// are keyed texts, values beginning "nCC" dropped) or after it (with the
// metadata flag, only the keys of IsKeptAfterImage). An IPTC raw profile is
// metadata wherever it stands.
void TakeTexts(PngLoad* st, png_infop from, bool afterImage, int first = 0) {
    const uint32_t flags = st->ctx->options.flags;
    png_textp texts = nullptr;
    int count = 0;
    png_get_text(st->png, from, &texts, &count);
    for (int i = first; i < count; ++i) {
        const png_text& t = texts[i];
        if (!t.key || !t.text) continue;
        if (StartsWith(t.key, kIptcKey)) {
            AddIptcProfile(st, t);
        } else if (afterImage) {
            if ((flags & kLoadKeepMetadata) && IsKeptAfterImage(t.key)) AddPictureText(st->ctx, t.key, t.text, std::strlen(t.text));
        } else if ((flags & kLoadKeepComment) && !StartsWith(t.text, "nCC")) {
            if (CompareTextNoCase(t.key, "comment") == 0) SetPictureComment(st->ctx, t.text, std::strlen(t.text));
            else AddPictureText(st->ctx, t.key, t.text, std::strlen(t.text));
        }
    }
}

void TakeIccProfile(PngLoad* st, int bitDepth) {
    LoadContext* ctx = st->ctx;
    if (!(ctx->options.flags & kLoadKeepMetadata) || !ctx->callbacks.addMetadataBlock || bitDepth > 8) return;
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(st->png, st->info, &name, &compression, &profile, &length) && profile && length)
        ctx->callbacks.addMetadataBlock(ctx, kMetadataIcc, profile, length);
}

// ---------------------------------------------------------------------------
// The end of the picture.

// Ends the picture once; a failed end becomes the status the load returns.
void FinishPicture(PngLoad* st) {
    if (st->ended) return;
    st->ended = 1;
    const int ended = st->isPalette ? st->ctx->callbacks.endImage(st->ctx, kPaletteTriples, 8, st->palette)
                                    : st->ctx->callbacks.endImage(st->ctx, 0, 0, nullptr);
    if (ended != kLoadOk && st->status != kLoadCancelled) st->status = ended;
}

// A library error: what it means depends on how far the load got.
int ResultOfLibraryError(PngLoad* st) {
    switch (st->phase) {
    case kPhaseInfo: return kLoadNotRecognised;
    case kPhaseSetup: return kLoadIncomplete;
    case kPhaseRows: break;
    }
    const bool wasEnded = st->ended != 0;
    FinishPicture(st);
    if (st->status != kLoadOk) return st->status;
    return wasEnded ? kLoadOk : kLoadIncomplete;
}

// ---------------------------------------------------------------------------
// APNG.

// Over-compositing of one non-premultiplied RGBA pixel onto another.
void BlendOver(uint8_t* dst, const uint8_t* src) {
    const uint32_t sa = src[3];
    if (sa == 0) return;
    if (sa == 255 || dst[3] == 0) {
        std::memcpy(dst, src, 4);
        return;
    }
    // Both alphas scaled by 255: out alpha x 255 = sa x 255 + da x (255 - sa).
    const uint32_t dstWeight = uint32_t(dst[3]) * (255 - sa);
    const uint32_t outAlpha255 = sa * 255 + dstWeight;
    for (int c = 0; c < 3; ++c)
        dst[c] = uint8_t((src[c] * sa * 255 + dst[c] * dstWeight + outAlpha255 / 2) / outAlpha255);
    dst[3] = uint8_t((outAlpha255 + 127) / 255);
}

struct FrameControl {
    png_uint_32 width, height, x, y;
    png_byte dispose, blend;
};

void ClearRect(RowBlock* canvas, const FrameControl& f) {
    for (png_uint_32 y = 0; y < f.height; ++y) std::memset(canvas->rows[f.y + y] + size_t(f.x) * 4, 0, size_t(f.width) * 4);
}

void CopyRect(RowBlock* dst, const RowBlock* src, const FrameControl& f) {
    for (png_uint_32 y = 0; y < f.height; ++y)
        std::memcpy(dst->rows[f.y + y] + size_t(f.x) * 4, src->rows[f.y + y] + size_t(f.x) * 4, size_t(f.width) * 4);
}

void DrawFrame(PngLoad* st, const FrameControl& f, bool first) {
    for (png_uint_32 y = 0; y < f.height; ++y) {
        uint8_t* dst = st->canvas.rows[f.y + y] + size_t(f.x) * 4;
        const uint8_t* src = st->frame.pixels + size_t(y) * size_t(f.width) * 4;
        if (first || f.blend == PNG_BLEND_OP_SOURCE) {
            std::memcpy(dst, src, size_t(f.width) * 4);
        } else {
            for (png_uint_32 x = 0; x < f.width; ++x) BlendOver(dst + size_t(x) * 4, src + size_t(x) * 4);
        }
    }
}

// Reads the current frame's image into st->frame (rows packed at the frame's width).
void ReadFrameImage(PngLoad* st, png_uint_32 width, png_uint_32 height) {
    for (png_uint_32 y = 0; y < height; ++y) st->frame.rows[y] = st->frame.pixels + size_t(y) * size_t(width) * 4;
    png_read_image(st->png, st->frame.rows);
}

// The canvas after animation frames 0..index of `frameCount` (a hidden
// default image not counted); rows are 8-bit RGBA (transforms set by the
// caller). 0 when composed; non-zero when a frame lies outside the canvas.
// Library errors jump out as usual.
int ComposeApngFrames(PngLoad* st, png_uint_32 index, png_uint_32 frameCount) {
    const png_uint_32 W = png_get_image_width(st->png, st->info);
    const png_uint_32 H = png_get_image_height(st->png, st->info);
    // The default image is not part of the animation: read and dropped.
    if (png_get_first_frame_is_hidden(st->png, st->info)) {
        png_read_frame_head(st->png, st->info);
        ReadFrameImage(st, W, H);
    }
    FrameControl previous{};
    for (png_uint_32 n = 0; n <= index && n < frameCount; ++n) {
        if (n > 0) {
            if (previous.dispose == PNG_DISPOSE_OP_BACKGROUND) ClearRect(&st->canvas, previous);
            else if (previous.dispose == PNG_DISPOSE_OP_PREVIOUS) CopyRect(&st->canvas, &st->saved, previous);
        }
        png_read_frame_head(st->png, st->info);
        FrameControl f{W, H, 0, 0, PNG_DISPOSE_OP_NONE, PNG_BLEND_OP_SOURCE};
        if (png_get_valid(st->png, st->info, PNG_INFO_fcTL)) {
            png_uint_16 delayNum, delayDen;
            png_get_next_frame_fcTL(st->png, st->info, &f.width, &f.height, &f.x, &f.y, &delayNum, &delayDen,
                                    &f.dispose, &f.blend);
        }
        if (f.width < 1 || f.height < 1 || f.x > W || f.y > H || f.width > W - f.x || f.height > H - f.y) return 1;
        // "Previous" on the first frame has nothing to go back to: it clears.
        if (n == 0 && f.dispose == PNG_DISPOSE_OP_PREVIOUS) f.dispose = PNG_DISPOSE_OP_BACKGROUND;
        if (f.dispose == PNG_DISPOSE_OP_PREVIOUS) CopyRect(&st->saved, &st->canvas, f);
        ReadFrameImage(st, f.width, f.height);
        DrawFrame(st, f, n == 0);
        previous = f;
    }
    return 0;
}

// Puts a composed canvas pixel over white (the background options).
void FlattenOnWhite(const uint8_t* src, uint8_t* dst, png_uint_32 width) {
    for (png_uint_32 x = 0; x < width; ++x, src += 4, dst += 3) {
        const uint32_t a = src[3];
        for (int c = 0; c < 3; ++c) dst[c] = uint8_t((src[c] * a + 255 * (255 - a) + 127) / 255);
    }
}

// Declares and delivers frame `index` of an animated PNG. Returns the load
// result, or -2 when the still picture should be read instead (nothing has
// been read from the file yet).
int ReadApngFrame(PngLoad* st, png_uint_32 index, png_uint_32 frameCount) {
    LoadContext* ctx = st->ctx;
    const png_uint_32 W = png_get_image_width(st->png, st->info);
    const png_uint_32 H = png_get_image_height(st->png, st->info);
    const bool flatten = ctx->options.pngAlphaBackground || ctx->options.pngTransparencyBackground;
    ImageHeader* h = &st->header;
    h->bitsPerPlane = flatten ? 24 : 32;
    h->bytesPerPlane = uint32_t(W) * uint32_t(h->bitsPerPlane / 8);
    if (ctx->infoOnly) return ctx->callbacks.beginImage(ctx, h);

    // The three blocks are held beside the picture: weighed with it. Without
    // the memory for them the still picture is read instead.
    const uint64_t blockBytes = (uint64_t(W) * 4 + sizeof(png_bytep)) * H;
    if (!ReserveReaderMemory(ctx, 3 * blockBytes)) return -2;
    if (!AllocRowBlock(&st->canvas, W, H) || !AllocRowBlock(&st->saved, W, H) || !AllocRowBlock(&st->frame, W, H)) {
        FreeRowBlock(&st->canvas);
        FreeRowBlock(&st->saved);
        FreeRowBlock(&st->frame);
        ReleaseReaderMemory(ctx, 3 * blockBytes);
        return -2;
    }
    st->blocksReserved = 3 * blockBytes;
    // Every colour type is read as 8-bit RGBA.
    png_set_expand(st->png);
    png_set_strip_16(st->png);
    png_set_gray_to_rgb(st->png);
    png_set_add_alpha(st->png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(st->png);
    png_read_update_info(st->png, st->info);
    if (png_get_rowbytes(st->png, st->info) != size_t(W) * 4) return kLoadIncomplete;

    if (ComposeApngFrames(st, index, frameCount) != 0) return kLoadIncomplete;
    FreeRowBlock(&st->saved);
    FreeRowBlock(&st->frame);
    ReleaseReaderMemory(ctx, 2 * blockBytes);
    st->blocksReserved = blockBytes;

    const int begin = ctx->callbacks.beginImage(ctx, h);
    if (BeginImageStops(begin)) return begin;
    st->phase = kPhaseRows;
    for (png_uint_32 y = 0; y < H && st->status == 0; ++y) {
        if (flatten) FlattenOnWhite(st->canvas.rows[y], h->rowBuffer, W);
        else std::memcpy(h->rowBuffer, st->canvas.rows[y], size_t(W) * 4);
        st->status = ctx->callbacks.putScanlines(ctx, -1, -1, 1);
    }
    FinishPicture(st);
    return st->status;
}

// ---------------------------------------------------------------------------
// The still picture.

// An interlaced picture: every pass but the last fills in the rows, the
// last completes each row just before it is delivered. The rows are the
// bitmap's own when the load stores them as decoded; otherwise (scaled or
// converted) one whole-picture block, counted in the load's memory budget
// before it is allocated. Leaves the last callback status in st->status.
void ReadInterlacedRows(PngLoad* st, int passes) {
    LoadContext* ctx = st->ctx;
    const png_uint_32 height = png_get_image_height(st->png, st->info);
    const size_t rowBytes = png_get_rowbytes(st->png, st->info);
    const bool inPlace = InPlaceRow(ctx, 0) != nullptr;
    if (!inPlace) {
        size_t bytes;
        if (CheckedMul(rowBytes, height, &bytes) && ReserveReaderMemory(ctx, bytes))
            st->block = static_cast<uint8_t*>(std::calloc(bytes, 1));
        if (!st->block) {
            st->status = kLoadNoMemory;
            return;
        }
    }
    auto row = [&](png_uint_32 y) { return inPlace ? InPlaceRow(ctx, int32_t(y)) : st->block + size_t(y) * rowBytes; };
    for (int pass = 0; pass < passes - 1; ++pass)
        for (png_uint_32 y = 0; y < height; ++y) png_read_row(st->png, row(y), nullptr);
    for (png_uint_32 y = 0; y < height && st->status == kLoadOk; ++y) {
        png_read_row(st->png, row(y), nullptr);
        if (inPlace) {
            st->status = PutRowsInPlace(ctx, int32_t(y), 1);
        } else {
            std::memcpy(st->header.rowBuffer, row(y), rowBytes);
            st->status = ctx->callbacks.putScanlines(ctx, -1, -1, 1);
        }
    }
}

int ReadStillRows(PngLoad* st, int interlacePasses) {
    LoadContext* ctx = st->ctx;
    ImageHeader* h = &st->header;
    const png_uint_32 height = png_get_image_height(st->png, st->info);
    if (ctx->infoOnly) return ctx->callbacks.beginImage(ctx, h);
    const int begin = ctx->callbacks.beginImage(ctx, h);
    if (BeginImageStops(begin)) return begin;
    st->phase = kPhaseRows;
    if (interlacePasses > 1) {
        ReadInterlacedRows(st, interlacePasses);
    } else {
        for (png_uint_32 y = 0; y < height && st->status == 0; ++y) {
            png_read_row(st->png, h->rowBuffer, nullptr);
            st->status = ctx->callbacks.putScanlines(ctx, -1, -1, 1);
        }
    }
    FinishPicture(st);
    if (st->status != 0) return st->status;
    png_read_end(st->png, st->endInfo);
    TakeTexts(st, st->endInfo, true);
    return 0;
}

// Colour handling of a still picture; the delivered row layout follows from
// the transforms set here. Returns the samples per pixel.
bool IsLittleEndian() {
    const uint16_t one = 1;
    uint8_t first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

int SetStillTransforms(PngLoad* st, int colourType, int bitDepth) {
    const LoadOptions& o = st->ctx->options;
    png_bytep alphas = nullptr;
    int alphaCount = 0;
    png_color_16p transColour = nullptr;
    const bool hasTrns = png_get_tRNS(st->png, st->info, &alphas, &alphaCount, &transColour) != 0;
    // Only a palette carries partial transparency in tRNS; grey and RGB name
    // one fully transparent colour.
    bool partial = false;
    if (hasTrns && alphas)
        for (int i = 0; i < alphaCount; ++i) partial = partial || (alphas[i] != 0 && alphas[i] != 255);

    png_color_16 white{};
    white.red = white.green = white.blue = white.gray = 255;
    int channels = 1;
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        png_set_strip_alpha(st->png);
        break;
    case PNG_COLOR_TYPE_PALETTE:
        if (partial && o.pngTransparencyBackground)
            png_set_background(st->png, &white, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
        break;
    case PNG_COLOR_TYPE_RGB:
    case PNG_COLOR_TYPE_RGB_ALPHA:
        channels = 3;
        if (o.pngAlphaBackground) png_set_background(st->png, &white, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
        else if (colourType == PNG_COLOR_TYPE_RGB_ALPHA) channels = 4;
        break;
    default:  // grey
        // 2- and 4-bit grey is widened to 8 bits here: the load keeps packed
        // values below 8 bits as they are, which would darken them.
        if (bitDepth == 2 || bitDepth == 4) png_set_expand_gray_1_2_4_to_8(st->png);
        break;
    }
    // 16-bit samples are narrowed to bytes unless the load keeps them; kept,
    // they come as native words.
    if (bitDepth == 16 && !(o.flags & kLoadKeepDeepSamples)) png_set_strip_16(st->png);
    else if (bitDepth == 16 && IsLittleEndian()) png_set_swap(st->png);

    ImageHeader* h = &st->header;
    if (hasTrns && alphas) {
        for (int i = 0; i < alphaCount; ++i) {
            if (alphas[i] == 0) {
                h->transparentIndex = int16_t(i);
                break;
            }
        }
    } else if (hasTrns && transColour && colourType == PNG_COLOR_TYPE_GRAY && bitDepth <= 8) {
        // A grey picture's transparent grey, as delivered (2- and 4-bit
        // values widened like the pixels).
        const int maxValue = (1 << bitDepth) - 1;
        const int grey = transColour->gray;
        if (grey <= maxValue) h->transparentIndex = int16_t(bitDepth == 1 || bitDepth == 8 ? grey : grey * 255 / maxValue);
    }
    return channels;
}

// Transforms, row layout and palette of a still picture, on the header the
// information chunks filled. 0, or 4 when the rows do not come out as
// declared.
int DeclareStill(PngLoad* st) {
    png_uint_32 width, height;
    int bitDepth, colourType, interlace;
    png_get_IHDR(st->png, st->info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
    ImageHeader* h = &st->header;
    const int channels = SetStillTransforms(st, colourType, bitDepth);
    png_read_update_info(st->png, st->info);
    const int depth = png_get_bit_depth(st->png, st->info);
    const size_t rowBytes = png_get_rowbytes(st->png, st->info);
    h->bitsPerPlane = int16_t(channels * depth);
    if (rowBytes != (size_t(width) * size_t(h->bitsPerPlane) + 7) / 8) return kLoadIncomplete;
    h->bytesPerPlane = uint32_t(rowBytes);
    if (depth == 16) {
        // Kept deep: samples of one grey, three colour or four colour and
        // alpha words.
        h->components = int16_t(channels);
        h->bitsPerPlane = 16;
    } else if (bitDepth == 16) {
        h->fullWidth = h->width;
        h->fullHeight = h->height;
        h->fullBytesPerPlane = 2 * h->bytesPerPlane;
        h->fullBitsPerSample = 16;
        h->fullComponents = uint32_t(channels);
    }
    if (st->isPalette) {
        // Read after the update: a background composite rewrites the palette.
        png_colorp entries = nullptr;
        int count = 0;
        if (png_get_PLTE(st->png, st->info, &entries, &count))
            for (int i = 0; i < count && i < 256; ++i) {
                st->palette[3 * i] = entries[i].red;
                st->palette[3 * i + 1] = entries[i].green;
                st->palette[3 * i + 2] = entries[i].blue;
            }
        h->palette = st->palette;
        h->paletteLayout = kPaletteTriples;
        h->paletteBits = 8;
    } else if (channels == 1 && depth <= 8) {
        h->flags |= kHeaderGreyLevels;
    }
    return kLoadOk;
}

// ---------------------------------------------------------------------------
// A still picture that is not interlaced is read progressively: libpng
// hands over each row as soon as its data has arrived, so a file cut short
// still delivers every row before the cut (the sequential reader loses the
// rows of the last block it could not read whole).

constexpr int kReadProgressively = -3;

void StopProgressive(PngLoad* st, int code) {
    st->stopCode = code;
    png_error(st->png, "stopped");
}

void ProgressiveInfo(png_structp png, png_infop) {
    auto* st = static_cast<PngLoad*>(png_get_progressive_ptr(png));
    png_get_text(png, st->info, nullptr, &st->textsBefore);
    const int declared = DeclareStill(st);
    if (declared != kLoadOk) StopProgressive(st, declared);
    const int begin = st->ctx->callbacks.beginImage(st->ctx, &st->header);
    if (BeginImageStops(begin)) StopProgressive(st, begin);
    st->phase = kPhaseRows;
}

void ProgressiveRow(png_structp png, png_bytep row, png_uint_32 rowNumber, int) {
    auto* st = static_cast<PngLoad*>(png_get_progressive_ptr(png));
    if (!row || st->status != kLoadOk) return;
    std::memcpy(st->header.rowBuffer, row, st->header.bytesPerPlane);
    ++st->rowsSeen;
    st->status = st->ctx->callbacks.putScanlines(st->ctx, -1, int(rowNumber), 1);
}

void ProgressiveEnd(png_structp png, png_infop) {
    auto* st = static_cast<PngLoad*>(png_get_progressive_ptr(png));
    st->complete = 1;
    FinishPicture(st);
    TakeTexts(st, st->info, true, st->textsBefore);
}

// Feeds the file to the progressive reader until the end chunk, a stop or
// the end of the file.
int ReadStillProgressively(PngLoad* st) {
    if (setjmp(png_jmpbuf(st->png))) {
        if (st->stopCode == kLoadInfoStop || (st->stopCode != kLoadOk && st->phase != kPhaseRows))
            return st->stopCode;
        return ResultOfLibraryError(st);
    }
    png_set_progressive_read_fn(st->png, st, ProgressiveInfo, ProgressiveRow, ProgressiveEnd);
    png_set_user_limits(st->png, kSideLimit, kSideLimit);
    st->phase = kPhaseSetup;
    while (!st->complete && st->status == kLoadOk) {
        const size_t got = ReadFileBytes(st->file, st->feed, sizeof st->feed);
        if (got == 0) break;
        png_process_data(st->png, st->info, st->feed, got);
    }
    // Image data that ends before the last row is a damaged file too.
    const bool whole = st->rowsSeen >= png_uint_32(st->header.height);
    if (st->complete) return st->status != kLoadOk ? st->status : whole ? kLoadOk : kLoadIncomplete;
    if (st->phase != kPhaseRows) return kLoadIncomplete;
    FinishPicture(st);
    return st->status != kLoadOk ? st->status : kLoadIncomplete;
}

// The body between the jump point and the end; returns the load result.
int ReadPngBody(PngLoad* st) {
    LoadContext* ctx = st->ctx;
    if (setjmp(png_jmpbuf(st->png))) return ResultOfLibraryError(st);

    png_set_read_fn(st->png, st, PngReadData);
    png_set_user_limits(st->png, kSideLimit, kSideLimit);
    png_read_info(st->png, st->info);
    st->phase = kPhaseSetup;

    png_uint_32 width, height;
    int bitDepth, colourType, interlace;
    png_get_IHDR(st->png, st->info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
    st->isPalette = colourType == PNG_COLOR_TYPE_PALETTE;

    TakeTexts(st, st->info, false);

    ImageHeader* h = &st->header;
    ctx->callbacks.clearImageHeader(h);
    h->width = int32_t(width);
    h->height = int32_t(height);
    h->compression = kCompressionZip;

    // Animation frames. libpng counts a default image that is not part of
    // the animation as a frame of its own; it is never shown as one.
    png_uint_32 frameCount = 0;
    const bool hiddenDefault = png_get_first_frame_is_hidden(st->png, st->info) != 0;
    if (!st->description && ctx->options.targetWidth < 1 && png_get_valid(st->png, st->info, PNG_INFO_acTL)) {
        frameCount = png_get_num_frames(st->png, st->info);
        if (hiddenDefault && frameCount > 0) --frameCount;
        if (frameCount > 0) ctx->imageCount = frameCount;
    }

    png_uint_32 xPpm, yPpm;
    int unit;
    if (png_get_pHYs(st->png, st->info, &xPpm, &yPpm, &unit) && unit == PNG_RESOLUTION_METER) {
        h->xResolution = int32_t(double(xPpm) * kPerMetreToDotsPerInch + 0.5);
        h->yResolution = int32_t(double(yPpm) * kPerMetreToDotsPerInch + 0.5);
    }
    TakeIccProfile(st, bitDepth);

    const char* description = st->description ? st->description : "Portable Network Graphics";
    std::snprintf(h->description, sizeof h->description, "%s%s", description,
                  !st->description && interlace != PNG_INTERLACE_NONE ? " (Interlaced)" : "");

    const png_uint_32 index = ctx->options.imageIndex;
    if ((frameCount > 1 || (frameCount == 1 && hiddenDefault)) && index < frameCount) {
        const int result = ReadApngFrame(st, index, frameCount);
        if (result != -2) return result;
    }

    // Animations keep the reader that knows their frame chunks.
    const bool animated = png_get_valid(st->png, st->info, PNG_INFO_acTL) != 0;
    if (interlace == PNG_INTERLACE_NONE && !ctx->infoOnly && !animated) return kReadProgressively;
    const int passes = interlace != PNG_INTERLACE_NONE ? png_set_interlace_handling(st->png) : 1;
    const int declared = DeclareStill(st);
    if (declared != kLoadOk) return declared;
    return ReadStillRows(st, passes);
}

bool CreatePngReader(PngLoad* st) {
    st->png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, st, PngLongJump, PngQuietWarning, st, PngAlloc,
                                       PngFree);
    if (!st->png) return false;
    // Every chunk's CRC already covers the image data: zlib's own checksum
    // of it would only tell the same again, at a twentieth of the decode.
    png_set_option(st->png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    st->info = png_create_info_struct(st->png);
    st->endInfo = png_create_info_struct(st->png);
    return st->info && st->endInfo;
}

// The information chunks are read once to choose the way (animation frame,
// interlaced or information only: row by row; other stills: progressively,
// from the start again with a reader of its own).
int RunPngLoad(PngLoad* st) {
    int result = CreatePngReader(st) ? ReadPngBody(st) : kLoadNoMemory;
    png_destroy_read_struct(&st->png, &st->info, &st->endInfo);
    if (result != kReadProgressively) return result;
    if (!SeekWithinFile(st->file, st->start)) return kLoadIncomplete;
    result = CreatePngReader(st) ? ReadStillProgressively(st) : kLoadNoMemory;
    png_destroy_read_struct(&st->png, &st->info, &st->endInfo);
    return result;
}

}  // namespace

int ReadPng(PictureFile* file, LoadContext* ctx, const char* description) {
    // Signature pre-test; the library reads the signature again.
    const int64_t start = TellPictureFile(file);
    uint8_t sig[5];
    if (ReadFileBytes(file, sig, sizeof sig) != sizeof sig) return kLoadIncomplete;
    if (sig[0] != 0x89 || sig[1] != 'P' || sig[2] != 'N' || sig[3] != 'G' ||
        (sig[4] != 13 && sig[4] != 10 && sig[4] != 26))
        return kLoadNotRecognised;
    if (SeekPictureFile(file, start, SEEK_SET) != 0) return kLoadIncomplete;

    auto* st = static_cast<PngLoad*>(std::calloc(1, sizeof(PngLoad)));
    if (!st) return kLoadNoMemory;
    st->file = file;
    st->start = start;
    st->ctx = ctx;
    st->description = description;
    st->phase = kPhaseInfo;
    const int result = RunPngLoad(st);
    std::free(st->block);
    FreeRowBlock(&st->canvas);
    FreeRowBlock(&st->saved);
    FreeRowBlock(&st->frame);
    ReleaseReaderMemory(ctx, st->blocksReserved);
    std::free(st);
    return result;
}

int ReadPngEntry(FileSource* source, LoadContext* ctx) {
    return RunReaderOnSource(source, ctx, [](PictureFile* file, LoadContext* c) { return ReadPng(file, c, nullptr); });
}

uint8_t* DecodeRawProfileIptc(const char* text, size_t textLength, uint32_t* length) {
    *length = 0;
    size_t i = 1;  // the first character (a line feed) is skipped
    while (i < textLength && text[i] != '\n') ++i;
    while (i < textLength && (text[i] == ' ' || text[i] == '\n')) ++i;
    uint64_t count = 0;
    for (; i < textLength && text[i] >= '0' && text[i] <= '9'; ++i) {
        count = count * 10 + uint64_t(text[i] - '0');
        // Two digits a byte: a count beyond what the text can hold is false.
        if (count > textLength / 2) return nullptr;
    }
    if (count == 0) return nullptr;
    while (i < textLength && text[i] != ' ' && text[i] != '\n') ++i;
    auto* bytes = static_cast<uint8_t*>(std::malloc(size_t(count)));
    if (!bytes) return nullptr;
    size_t digits = 0;
    const size_t wanted = size_t(count) * 2;
    for (; i < textLength && digits < wanted; ++i) {
        const int d = HexDigit(text[i]);
        if (d < 0) continue;
        if (digits % 2 == 0) bytes[digits / 2] = uint8_t(d << 4);
        else bytes[digits / 2] |= uint8_t(d);
        ++digits;
    }
    if (digits < wanted) {
        std::free(bytes);
        return nullptr;
    }
    *length = uint32_t(count);
    return bytes;
}
