// Save dispatch and the writer callbacks: BeginWrite, GetScanlines, EndWrite.
#include "save.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "checked.h"
#include "formats.h"
#include "pixelrows.h"
#include "geometry.h"
#include "savecontext.h"
#include "textutil.h"
#include "writeconvert.h"

// ---------------------------------------------------------------------------
// Small callbacks.

int BitsForColourCount(int32_t n) {
    if (n < 3) return 1;
    if (n < 5) return 2;
    if (n < 9) return 3;
    if (n < 17) return 4;
    if (n < 33) return 5;
    if (n < 65) return 6;
    if (n < 129) return 7;
    return 8;
}

static void ClearWriteHeader(WriteHeader* h) {
    std::memset(h, 0, sizeof *h);
    h->rowsPerCall = 1;
    h->planes = 1;
    h->bitsPerPlane = 1;
    h->bitsPerSample = 1;
}

static int64_t GetSaveOption(SaveContext* ctx, int index) {
    switch (index) {
        case 0: return ctx->options.quality;
        case 1: return ctx->options.secondSaveValue;
        case 2: return ctx->options.thirdSaveValue;
        default: return 0;
    }
}

// ---------------------------------------------------------------------------
// BeginWrite, GetScanlines, EndWrite.

static void FreeWriteBuffers(SaveContext* ctx) {
    SaveRowState* s = &ctx->row;
    std::free(ctx->rowBuffer);
    std::free(ctx->providerLine);
    std::free(s->fetchLine);
    std::free(s->scratchLine);
    std::free(s->narrowLine);
    std::free(s->writerPalette);
    ctx->rowBuffer = nullptr;
    ctx->rowBufferSize = 0;
    ctx->providerLine = nullptr;
    s->fetchLine = s->scratchLine = s->narrowLine = s->writerPalette = nullptr;
    s->writerPaletteSize = 0;
    ctx->begun = 0;
}

// Source mode, row length and deep-sample layout of a bitmap. False when the
// bitmap is not a picture this library can read rows from.
static bool DescribeSource(const Bitmap* b, SaveRowState* s) {
    if (!b || b->width < 1 || b->height < 1) return false;
    const int components = PixelTypeComponents(b->pixelType);
    if (components == 0) return false;
    if (b->pixelType == kPixelBilevel) s->sourceMode = kPixelBilevel;
    else if (components == 1) s->sourceMode = kPixelGrey;
    else s->sourceMode = components == 3 ? kPixelMask3Byte : kPixelMask4Byte;
    s->deepSampleBytes = 0;
    s->deepBits = 0;
    s->deepComponents = 0;
    const size_t w = size_t(b->width);
    if (b->bitsPerSample > 8) {
        if (b->pixelType == kPixelBilevel || b->bitsPerSample > 32) return false;
        s->deepSampleBytes = uint32_t(PixelSampleBytes(b->bitsPerSample));
        s->deepBits = b->bitsPerSample;
        s->deepComponents = uint32_t(components);
        s->bitmapRowLength = w * size_t(components) * s->deepSampleBytes;
    } else if (s->sourceMode == kPixelBilevel) {
        s->bitmapRowLength = (w + 7) / 8;
    } else {
        s->bitmapRowLength = w * size_t(components);
    }
    if (b->pixels && (b->bytesPerRow < 0 || size_t(b->bytesPerRow) < s->bitmapRowLength)) return false;
    return true;
}

static int BeginWrite(SaveContext* ctx, WriteHeader* h) {
    FreeWriteBuffers(ctx);
    const Bitmap* b = ctx->bitmap;
    SaveRowState* s = &ctx->row;
    ctx->rowsDone = 0;
    ctx->cancelled = 0;
    ctx->progressColumn = 0;

    const uint32_t flags = h->flags;
    ctx->orientation = h->orientation;
    ctx->rowsPerCall = std::clamp<int32_t>(h->rowsPerCall, 1, b->height);
    s->width = b->width;
    s->height = b->height;
    s->writerFlags = flags;
    s->planes = h->planes;
    s->bitsPerPlane = h->components > 0 ? h->bitsPerSample : h->bitsPerPlane;
    const int total = h->components > 0 ? int(h->bitsPerSample) * h->components : int(h->planes) * h->bitsPerPlane;
    if (total < 1 || total > 32) return kSaveRefused;
    s->totalBits = int16_t(total);
    s->bytesPerPlane = h->bytesPerPlane;
    s->paletteLayout = h->paletteLayout;
    s->paletteBits = h->paletteBits;
    s->pixelType = b->pixelType;
    s->colourCount = b->paletteCount;
    s->bitmapPalette = b->palette;
    s->pixelOrder = PixelOrderOfType(b->pixelType);
    ctx->options.pixelOrder = s->pixelOrder;
    if (!DescribeSource(b, s)) return kSaveRefused;

    const int planned = PlanWriteLines(s, h->components, h->bitsPerSample);
    if (planned) return planned;

    // Row buffer: rowsPerCall packed rows, never less than the customary
    // width x (1 or 4) bytes a row, plus slack for writers that read a
    // padded row. Zeroed, so padding never carries stale bytes.
    const size_t unit = total < 9 ? 1 : 4;
    size_t perRow = 0, rows = 0;
    if (!CheckedMul(size_t(b->width), unit, &perRow) ||
        !CheckedMul(std::max(perRow, s->outputLineLength), size_t(ctx->rowsPerCall), &rows) ||
        !CheckedAdd(rows, 1024, &ctx->rowBufferSize))
        return kSaveNoMemory;
    ctx->rowBuffer = static_cast<uint8_t*>(std::calloc(1, ctx->rowBufferSize));
    s->fetchLine = static_cast<uint8_t*>(std::calloc(1, s->fetchLineSize));
    s->scratchLine = static_cast<uint8_t*>(std::calloc(1, s->scratchLineSize));
    bool ok = ctx->rowBuffer && s->fetchLine && s->scratchLine;
    if (ok && s->deepSampleBytes) ok = (s->narrowLine = static_cast<uint8_t*>(std::calloc(1, s->narrowLineSize)));
    if (ok && !b->pixels) ok = (ctx->providerLine = static_cast<uint8_t*>(std::calloc(1, s->bitmapRowLength + 16)));
    if (!ok || BuildWriterPalette(s) != 0) {
        FreeWriteBuffers(ctx);
        return kSaveNoMemory;
    }
    BuildGreyMap(s);
    SelectWriteConverters(s);
    h->rowBuffer = ctx->rowBuffer;
    h->palette = s->writerPalette;
    ctx->begun = 1;

    if (ctx->options.flags & kSaveVerbose) {
        const std::string name = ctx->fileName ? WideToUtf8(ctx->fileName) : std::string();
        std::fprintf(stderr, "A %s was writen : %s\n", h->description, name.c_str());
        const long colours = 1L << std::min(total, 24);
        std::fprintf(stderr, "    Width:%d Height:%d with %ld colors\n", b->width, b->height, colours);
    }
    if (ctx->options.flags & kSaveProgressBar) {
        std::fprintf(stderr, "%s\r", std::string(60, '-').c_str());
        std::fflush(stderr);
    }
    return 0;
}

static int GetScanlines(SaveContext* ctx, int32_t firstRow, int32_t rowCount) {
    if (!ctx->begun) return kSaveBadRowRequest;
    if (ctx->cancelled) return kSaveCancelled;
    if (rowCount < 1) return 0;
    const Bitmap* b = ctx->bitmap;
    SaveRowState* s = &ctx->row;
    const int32_t first = firstRow == -1 ? ctx->rowsDone : firstRow;
    if (first < 0 || first >= s->height || rowCount > ctx->rowsPerCall || rowCount > s->height - first)
        return kSaveBadRowRequest;

    const bool flip = (ctx->orientation ^ b->orientation) & kWriteBottomUp;
    const bool mirror = (ctx->orientation ^ b->orientation) & kWriteMirrored;
    for (int32_t k = 0; k < rowCount; ++k) {
        const int32_t row = first + k;
        const int32_t src = flip ? s->height - 1 - row : row;
        const uint8_t* line;
        if (b->pixels) {
            line = b->pixels + size_t(src) * size_t(b->bytesPerRow);
        } else {
            const int r = ctx->options.rowProvider(ctx->providerLine, src, 1, ctx->options.rowProviderUser);
            if (r) return r;
            line = ctx->providerLine;
        }
        if (s->deepSampleBytes) {
            NarrowDeepRow(s, line);
            line = s->narrowLine;
        }
        s->fetch(s, line);
        ++ctx->rowsDone;

        if (ctx->options.flags & kSaveProgressBar) {
            const int32_t column = int32_t(int64_t(ctx->rowsDone) * 60 / s->height);
            for (; ctx->progressColumn < column; ++ctx->progressColumn) std::fputc('*', stderr);
            std::fflush(stderr);
        }
        if (!(s->writerFlags & kWriteNoProgress) && ctx->options.progressCallback &&
            ctx->options.progressCallback(row, s->height, ctx->options.progressUser))
            ctx->cancelled = 1;

        if (mirror) {
            if (s->sourceMode == kPixelBilevel) MirrorBitRow(s->fetchLine, s->width);
            else MirrorPixelRow(s->fetchLine, s->width, s->fetchBytesPerPixel);
        }
        if (s->greyMapEnabled) ApplyGreyMap(s);
        s->pack(s, ctx->rowBuffer + size_t(k) * s->outputLineLength);
        if (ctx->cancelled) break;
    }
    return ctx->cancelled ? kSaveCancelled : 0;
}

static void EndWrite(SaveContext* ctx) {
    if (ctx->begun && (ctx->options.flags & (kSaveVerbose | kSaveProgressBar))) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
    FreeWriteBuffers(ctx);
}

// ---------------------------------------------------------------------------
// Saving.

static void DescribePicture(const Bitmap* b, SavePictureInfo* p) {
    const bool colour = b->pixelType & kPixelMaskColour;
    p->kind = colour ? kPixelMaskColour : b->pixelType;
    p->subKind = b->pixelType == kPixelCMYK ? uint16_t(kPixelCMYK) : uint16_t(16);
    if (b->pixelType & kPixelMask3Byte || b->pixelType == kPixelCMYK) p->bitsPerPixel = 24;
    else if (b->pixelType & kPixelMask4Byte) p->bitsPerPixel = 32;
    else if (b->pixelType == kPixelBilevel) p->bitsPerPixel = 1;
    else p->bitsPerPixel = 8;
    p->width = b->width;
    p->height = b->height;
    p->colourCount = b->paletteCount;
    p->xResolution = int16_t(std::clamp<int32_t>(b->xResolution, 0, 32767));
    p->yResolution = int16_t(std::clamp<int32_t>(b->yResolution, 0, 32767));
    p->transparentIndex = b->transparentIndex;
    p->bitsPerComponent = b->bitsPerSample;
    p->components = b->components;
    p->metadata = b->metadata;
    p->comment = b->comment;
}

// The first capability record that takes the bitmap, or null. `accepted` is
// false when the format lists records and none matches.
static const FormatCapability* MatchCapability(const FormatCapability* records, const Bitmap* b, bool* accepted) {
    *accepted = true;
    if (records[0].pixelType == kCapabilityEmpty) return nullptr;
    const bool colour = b->pixelType & kPixelMaskColour;
    for (int i = 0; i < kFormatCapabilityCount && records[i].pixelType != kCapabilityEmpty; ++i) {
        const FormatCapability& r = records[i];
        if (r.pixelType == kPixelMask3Byte || r.pixelType == kPixelMask4Byte) {
            if (colour) return &r;
            continue;
        }
        if (!(r.pixelType & b->pixelType)) continue;
        if (!(r.pixelType & (kPixelPalette | kPixelGrey)) || r.mostColours >= 65534 ||
            r.mostColours >= b->paletteCount)
            return &r;
    }
    *accepted = false;
    return nullptr;
}

static int WriteStream(const FormatRow* row, SaveContext* ctx, FILE* stream) {
    FileSource source;
    InitFileSource(&source, nullptr);
    source.stream = stream;
    return row->writeFn(&source, ctx);
}

// Written beside the file the name leads to and moved over it only when
// complete; a device is written in place.
static int WriteNamedFile(const FormatRow* row, SaveContext* ctx, const std::wstring& name) {
    FileReplacement out;
    FileSource source;
    switch (out.Begin(name, L"sv")) {
    case FileReplacement::kReady:
        InitFileSource(&source, out.temp().c_str());
        break;
    case FileReplacement::kNotAFile:
        InitFileSource(&source, ctx->fileName);
        return row->writeFn(&source, ctx);
    default:
        return kSaveCannotCreate;
    }
    const int result = row->writeFn(&source, ctx);
    if (result != kSaveOk) return result;
    return out.Commit() == 0 ? kSaveOk : kSaveCannotCreate;
}

int SavePicture(const wchar_t* fileName, FILE* stream, const Bitmap* bitmap, const SaveOptions* options,
                wchar_t* nameOut, size_t nameOutCapacity) {
    if (!options || !bitmap) return kSaveRefused;
    const FormatRow* row = GetFormatRow(options->formatIndex);
    if (!row || !row->writeFn) return kSaveNoWriter;
    FormatsCallHook(uint32_t(options->formatIndex));
    if (!fileName && !stream) return kSaveCannotCreate;

    // Rows must come from somewhere the library can read them.
    SaveRowState probe{};
    if (!DescribeSource(bitmap, &probe) || (!bitmap->pixels && !options->rowProvider)) return kSaveRefused;

    FormatCapability records[kFormatCapabilityCount];
    for (FormatCapability& r : records) r = FormatCapability{kCapabilityEmpty, 0, -1, -1, nullptr};
    if (row->optionsFn) row->optionsFn(records, row);
    bool accepted;
    const FormatCapability* match = MatchCapability(records, bitmap, &accepted);
    if (!accepted) return kSaveRefused;

    std::wstring finalName;
    if (fileName) {
        finalName = fileName;
        if (options->flags & kSaveSetExtension) {
            const char* ext = match && match->extension ? match->extension : row->extensions[0];
            std::wstring work = finalName;
            work.push_back(L'\0');
            RemoveFileExtension(&work[0]);
            finalName = work.c_str();
            if (ext) finalName += L"." + Utf8ToWide(ext);
        }
        if ((options->flags & kSaveCopyNameBack) && nameOut) {
            if (finalName.size() + 1 > nameOutCapacity) return kSaveCannotCreate;
            CopyWideTextBounded(nameOut, nameOutCapacity, finalName.c_str());
        }
    }

    auto* ctx = static_cast<SaveContext*>(std::calloc(1, sizeof(SaveContext)));
    if (!ctx) return kSaveNoMemory;
    ctx->callbacks = WriterCallbacks{BeginWrite,         GetScanlines, EndWrite,
                                     BitsForColourCount, GetLibraryTempFolder, ClearWriteHeader,
                                     OpenPictureFile,    ClosePictureFileChecked, GetSaveOption};
    ctx->options = *options;
    ctx->bitmap = bitmap;
    DescribePicture(bitmap, &ctx->picture);
    ctx->picture.formatValue = row->loadValue;
    int result = kSaveNoMemory;
    if (options->scratchSize && !(ctx->scratch = std::calloc(1, options->scratchSize))) goto done;
    if (fileName && !(ctx->fileName = DuplicateWideText(finalName.c_str()))) goto done;

    result = fileName ? WriteNamedFile(row, ctx, finalName) : WriteStream(row, ctx, stream);

done:
    FreeWriteBuffers(ctx);  // a writer that left without EndWrite
    std::free(ctx->scratch);
    std::free(ctx->fileName);
    std::free(ctx);
    return result;
}

int SavePictureToFile(const wchar_t* fileName, const Bitmap* bitmap, const SaveOptions* options, wchar_t* nameOut,
                      size_t nameOutCapacity) {
    if (!fileName) return kSaveCannotCreate;
    return SavePicture(fileName, nullptr, bitmap, options, nameOut, nameOutCapacity);
}
