// Load dispatch: builds the load context, opens the picture, chooses the
// reader (format index, extension, probing), runs it, and moves what the
// reader gathered into the Bitmap and the ImageInfo.
//
// Portable: no platform headers.
#include "load.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <stdexcept>

#include "formats.h"
#include "metadata.h"
#include "geometry.h"
#include "textutil.h"

namespace {

constexpr size_t kExtensionLimit = 128;
constexpr uint32_t kInfoOnlyFlags = kLoadInfoOnly | kLoadFastDecode | kLoadReduced;
static_assert(sizeof(ImageInfo::subFormat) == sizeof(LoadContext::subFormat), "sub-format sizes differ");

// A lower-cased extension as 8-bit text: at most kExtensionLimit wide
// characters, so it never needs the heap.
struct Extension {
    char text[kExtensionLimit * 4 + 1];
    bool empty() const { return text[0] == '\0'; }
};

// The lower-cased extension of a file name; empty when none.
Extension ExtensionOf(const wchar_t* name) {
    Extension ext{};
    if (!name) return ext;
    const wchar_t* base = name;
    for (const wchar_t* p = name; *p; ++p)
        if (*p == L'/' || *p == L'\\') base = p + 1;
    const wchar_t* dot = std::wcsrchr(base, L'.');
    if (!dot) return ext;
    wchar_t lowered[kExtensionLimit + 1];
    CopyWideTextBounded(lowered, sizeof lowered / sizeof lowered[0], dot + 1);
    LowerWideText(lowered);
    WideToUtf8Bounded(lowered, ext.text, sizeof ext.text);
    return ext;
}

bool RowHasExtension(const FormatRow* row, const Extension& ext) {
    if (!row || ext.empty()) return false;
    for (const char* e : row->extensions) {
        if (!e) break;
        if (std::strcmp(ext.text, e) == 0) return true;
    }
    return false;
}

bool AnyRowHasExtension(const Extension& ext) {
    for (int i = 0; i < GetFormatCount(); ++i)
        if (RowHasExtension(GetFormatRow(i), ext)) return true;
    return false;
}

// Flag 0x1000: the extension must be a registered one (and the chosen
// format's, when one is chosen).
bool ExtensionAllowed(const wchar_t* name, int formatIndex) {
    const Extension ext = ExtensionOf(name);
    if (!AnyRowHasExtension(ext)) return false;
    return formatIndex < 0 || RowHasExtension(GetFormatRow(formatIndex), ext);
}

uint32_t GetCallerValue(LoadContext* ctx, int selector) {
    return selector == 0 ? ctx->options.imageIndex : 0;
}

void FillCallbacks(ReaderCallbacks* cb, bool full) {
    cb->beginImage = BeginImage;
    cb->putScanlines = PutScanlines;
    cb->endImage = EndImage;
    cb->clearImageHeader = ClearImageHeader;
    cb->getLibraryTempFolder = GetLibraryTempFolder;
    cb->makeTempFileName = MakeTempFileName;
    cb->unused6 = nullptr;
    cb->prepareSource = InitFileSource;
    cb->openSource = OpenPictureFile;
    cb->closeSource = ClosePictureFile;
    cb->getCallerValue = full ? GetCallerValue : nullptr;
    // Information-only reads gather metadata too when their flags ask for it.
    cb->addMetadataBlock = AddMetadataBlock;
}

void FreeTexts(LoadContext* ctx) {
    for (int32_t i = 0; i < ctx->textCount && i < kMaxPictureTexts; ++i) {
        std::free(ctx->texts[i]);
        ctx->texts[i] = nullptr;
    }
    ctx->textCount = 0;
}

void FreeTagLists(LoadContext* ctx) {
    FreeTagList(ctx->exifTags);
    FreeTagList(ctx->makerNoteTags);
    std::free(ctx->make);
    std::free(ctx->model);
    ctx->exifTags = nullptr;
    ctx->makerNoteTags = nullptr;
    ctx->make = nullptr;
    ctx->model = nullptr;
}

// What a failed reader attempt gathered is dropped before the next one.
void DropGathered(LoadContext* ctx) {
    FreeTagLists(ctx);
    FreeMetadataList(&ctx->metadata);
    std::free(ctx->comment);
    ctx->comment = nullptr;
    FreeTexts(ctx);
    std::free(ctx->scratch);
    ctx->scratch = nullptr;
}

void FreeContext(LoadContext* ctx) {
    ReleaseLoadRows(&ctx->row);
    DropGathered(ctx);
    ClosePictureFile(ctx->loadFile);
    std::free(ctx);
}

// The decoded tag lists become a kind-255 node at the front of the metadata
// list (maker notes, make, model); the EXIF list itself is not kept.
void KeepTagLists(LoadContext* ctx) {
    if (ctx->makerNoteTags || ctx->make || ctx->model) {
        auto* node = static_cast<MetadataBlock*>(std::calloc(1, sizeof(MetadataBlock)));
        if (node) {
            node->kind = kMetadataTagLists;
            node->makerNotes = ctx->makerNoteTags;
            node->make = ctx->make;
            node->model = ctx->model;
            node->next = ctx->metadata;
            ctx->metadata = node;
            ctx->makerNoteTags = nullptr;
            ctx->make = nullptr;
            ctx->model = nullptr;
        }
    }
    FreeTagLists(ctx);
}

bool IsProbed(const FormatRow* row) { return (row->flags & kFormatHasReader) && (row->flags & kFormatProbe); }

// True when an earlier probed row runs the same reader with the same value:
// its answer for this file is already known.
bool ProbedBefore(int index) {
    const FormatRow* row = GetFormatRow(index);
    for (int i = 0; i < index; ++i) {
        const FormatRow* earlier = GetFormatRow(i);
        if (IsProbed(earlier) && earlier->readFn == row->readFn && earlier->loadValue == row->loadValue)
            return true;
    }
    return false;
}

// A damaged file (kLoadIncomplete, kLoadCorrupt) counts as loaded under
// kLoadAcceptDamaged only when its picture received at least one row:
// BeginImage allocates the bitmap, so pixels alone do not show that
// anything arrived.
bool AcceptedAsDamaged(const LoadContext* ctx, int result, uint32_t flags) {
    const bool damaged = result == kLoadIncomplete || result == kLoadCorrupt;
    return damaged && (flags & kLoadAcceptDamaged) && ctx->bitmap && ctx->bitmap->pixels && ctx->row.rowsDone > 0;
}

// The reader chosen by extension, then (when that finds none) probing.
int ChooseAndRun(FileSource* source, LoadContext* ctx, int formatIndex) {
    int result = LoadWithChosenReader(source, ctx, formatIndex, ctx->bitmap);
    if (result == kLoadNotRecognised && formatIndex < 0 && !(ctx->options.flags & kLoadExtensionOnly)) {
        for (int i = 0; i < GetFormatCount(); ++i) {
            if (!IsProbed(GetFormatRow(i)) || ProbedBefore(i)) continue;
            result = TryFormatReader(source, ctx, i);
            if (result != kLoadNotRecognised) {
                ctx->chosenFormat = int16_t(i);
                break;
            }
        }
    }
    if (result == kLoadNotRecognised) ctx->chosenFormat = -1;
    if (ctx->info) {
        ctx->info->formatIndex = ctx->chosenFormat;
        if (result != kLoadOk && result != kLoadInfoStop)
            CopyTextBounded(ctx->info->subFormat, sizeof ctx->info->subFormat, ctx->subFormat);
    }
    return result;
}

LoadContext* NewContext(bool full, Bitmap* bitmap, ImageInfo* info, const wchar_t* name) {
    auto* ctx = static_cast<LoadContext*>(std::calloc(1, sizeof(LoadContext)));
    if (!ctx) return nullptr;
    FillCallbacks(&ctx->callbacks, full);
    ctx->bitmap = bitmap;
    ctx->info = info;
    ctx->fileName = name;
    ctx->imageCount = 1;
    ctx->progressBarPos = -1;
    ctx->chosenFormat = -1;
    return ctx;
}

// Opens the load's own view of the source: its size, and the stream kept
// open while the readers run. 0, or the load result of the failure.
int OpenLoadFile(LoadContext* ctx, FileSource* source) {
    OpenFailure why = OpenFailure::kNone;
    ctx->loadFile = OpenPictureFileEx(source, kOpenReadBinary, &why);
    if (!ctx->loadFile) {
        switch (why) {
        case OpenFailure::kEmpty: return kLoadNotRecognised;
        case OpenFailure::kNoMemory: return kLoadNoMemory;
        default: return kLoadCannotOpen;
        }
    }
    if (ctx->loadFile->size < 0) return kLoadIncomplete;
    ctx->fileSize = uint64_t(ctx->loadFile->size);
    ctx->source = source;
    if (source->path) source->stream = ctx->loadFile->stream;
    return kLoadOk;
}

void CloseLoadFile(LoadContext* ctx, FileSource* source) {
    ClosePictureFile(ctx->loadFile);
    ctx->loadFile = nullptr;
    if (source->path) source->stream = nullptr;
}

// Opens the source and runs the readers. Out of memory inside the standard
// library comes back as kLoadNoMemory: the load is a C-style call and never
// lets an exception through.
int OpenAndRun(LoadContext* ctx, FileSource* source, int formatIndex) {
    try {
        const int result = OpenLoadFile(ctx, source);
        return result == kLoadOk ? ChooseAndRun(source, ctx, formatIndex) : result;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    // What the reader began is released with the context.
    if (ctx->row.active) ReleaseLoadRows(&ctx->row);
    return kLoadNoMemory;
}

int LoadFromSource(FileSource* source, const wchar_t* name, Bitmap* bitmap, const LoadOptions* options,
                   ImageInfo* info) {
    if (info) std::memset(info, 0, sizeof *info);
    if (!bitmap || !options) return kLoadNotRecognised;
    std::memset(bitmap, 0, sizeof *bitmap);
    if (info) info->formatIndex = -1;
    const uint32_t flags = options->flags;
    if ((flags & kLoadExtensionOnly) && !ExtensionAllowed(name, options->formatIndex)) return kLoadNotRecognised;

    LoadContext* ctx = NewContext(true, bitmap, info, name);
    if (!ctx) return kLoadNoMemory;
    ctx->options = *options;
    if (ctx->options.flags & kLoadReduced) ctx->options.flags |= kLoadFirstImageOnly;

    int result = OpenAndRun(ctx, source, options->formatIndex);
    CloseLoadFile(ctx, source);

    const bool damaged = result == kLoadIncomplete || result == kLoadCorrupt;
    const bool accepted = AcceptedAsDamaged(ctx, result, flags);
    if (info && (result == kLoadOk || damaged)) {
        info->fileSize = ctx->fileSize;
        info->imageCount = ctx->imageCount;
        std::memcpy(info->readerValues, ctx->readerValues, sizeof info->readerValues);
        info->textCount = ctx->textCount;
        std::memcpy(info->texts, ctx->texts, sizeof info->texts);
        std::memset(ctx->texts, 0, sizeof ctx->texts);
        ctx->textCount = 0;
        info->readerFlags = ctx->readerFlags;
    }
    if (info && (result == kLoadOk || accepted)) KeepTagLists(ctx);
    else FreeTagLists(ctx);

    if (accepted) {
        if (info) info->damaged = uint16_t(result);
        if (flags & kLoadVerbose)
            std::fputs(result == kLoadCorrupt ? " *** WARNING: Corrupt File ... ***\n"
                                              : " *** WARNING: File Not complete ... ***\n",
                       stderr);
        result = kLoadOk;
    }
    if (result == kLoadOk) {
        bitmap->comment = ctx->comment;
        bitmap->metadata = ctx->metadata;
        ctx->comment = nullptr;
        ctx->metadata = nullptr;
    } else {
        FreeBitmap(bitmap);
        std::memset(bitmap, 0, sizeof *bitmap);
    }
    FreeContext(ctx);
    return result;
}

int QueryFromSource(FileSource* source, const wchar_t* name, int formatIndex, uint32_t flags, ImageInfo* info,
                    uint32_t page = 0) {
    if (info) std::memset(info, 0, sizeof *info);
    if (info) info->formatIndex = -1;
    if (name && (flags & kLoadExtensionOnly) && !ExtensionAllowed(name, formatIndex)) return kLoadNotRecognised;

    Bitmap scratch{};
    LoadContext* ctx = NewContext(false, &scratch, info, name);
    if (!ctx) return kLoadNoMemory;
    ctx->infoOnly = 1;
    // Only the flags and the camera RAW defaults: no target, no callbacks.
    ctx->options.flags = flags | kInfoOnlyFlags;
    ctx->options.formatIndex = int16_t(formatIndex);
    ctx->options.imageIndex = page;
    ctx->options.rawSwitches[0] = 1;
    ctx->options.rawSwitches[1] = 1;
    const float reals[4] = {0.6f, 0.8f, 1.0f, 1.0f};
    std::memcpy(ctx->options.rawReals, reals, sizeof reals);

    const int result = OpenAndRun(ctx, source, formatIndex);
    CloseLoadFile(ctx, source);

    if (info) {
        info->fileSize = ctx->fileSize;
        info->imageCount = ctx->imageCount;
        info->textCount = ctx->textCount;
        std::memcpy(info->texts, ctx->texts, sizeof info->texts);
        std::memset(ctx->texts, 0, sizeof ctx->texts);
        ctx->textCount = 0;
        info->comment = ctx->comment;
        info->metadata = ctx->metadata;
        ctx->comment = nullptr;
        ctx->metadata = nullptr;
    }
    FreeTagLists(ctx);
    FreeBitmap(&scratch);  // a reader that did not stop at the declaration
    FreeContext(ctx);
    return result == kLoadInfoStop ? kLoadOk : result;
}

}  // namespace

int LoadWithChosenReader(FileSource* source, LoadContext* ctx, int formatIndex, Bitmap* /*bitmap*/) {
    if (formatIndex >= 0) {
        if (formatIndex >= GetFormatCount()) return kLoadNotRecognised;
        const int result = TryFormatReader(source, ctx, formatIndex);
        ctx->chosenFormat = int16_t(formatIndex);
        return result;
    }
    const Extension ext = ExtensionOf(ctx->fileName);
    if (ext.empty() || GetFormatCount() == 0) return kLoadNotRecognised;
    for (int i = 0; i < GetFormatCount(); ++i) {
        const FormatRow* row = GetFormatRow(i);
        if (!(row->flags & kFormatHasReader)) continue;
        for (const char* e : row->extensions) {
            if (!e) break;
            if (std::strcmp(ext.text, e) != 0) continue;
            const int result = TryFormatReader(source, ctx, i);
            if (result != kLoadNotRecognised) {
                ctx->chosenFormat = int16_t(i);
                return result;
            }
        }
    }
    return kLoadNotRecognised;
}

int TryFormatReader(FileSource* source, LoadContext* ctx, int formatIndex) {
    const FormatRow* row = GetFormatRow(formatIndex);
    if (!row) return kLoadNotRecognised;
    ctx->loadValue = row->loadValue;
    if (!row->readFn) return kLoadNotRecognised;

    // Each attempt starts from nothing: no picture, no rows.
    ReleaseLoadRows(&ctx->row);
    FreeBitmap(ctx->bitmap);
    std::memset(ctx->bitmap, 0, sizeof *ctx->bitmap);
    ctx->pictureBegun = 0;
    ctx->alphaSeen = 0;
    ctx->imageCount = 1;

    bool reopen = false;
    if (ctx->loadFile) {
        if ((row->flags & kFormatOpensByName) && ctx->loadFile->stream && source->path) {
            CloseLoadFile(ctx, source);
            reopen = true;
        } else {
            // A reader tried before may have left the sticky flags set.
            SeekPictureFile(ctx->loadFile, 0, SEEK_SET);
            ctx->loadFile->eof = 0;
            ctx->loadFile->error = 0;
        }
    }

    FormatsCallHook(uint32_t(formatIndex));
    int result = row->readFn(source, ctx);
    if (result == kLoadIncomplete && !ctx->pictureBegun) result = kLoadNotRecognised;
    // A reader that returned without ending its picture still leaves a
    // finished bitmap and no row buffers.
    if (ctx->row.active) {
        const int ended = EndImage(ctx, 0, 0, nullptr);
        if (ended != kLoadOk && result != kLoadCancelled) result = ended;
    }

    if (reopen) {
        ctx->loadFile = OpenPictureFile(source, kOpenReadBinary);
        if (ctx->loadFile && source->path) source->stream = ctx->loadFile->stream;
    }
    if (result != kLoadOk && result != kLoadInfoStop && !AcceptedAsDamaged(ctx, result, ctx->options.flags))
        DropGathered(ctx);
    return result;
}

int LoadPicture(const wchar_t* name, Bitmap* bitmap, const LoadOptions* options, ImageInfo* info, int /*byName*/) {
    FileSource source;
    InitFileSource(&source, name);
    if (!name) {
        if (info) std::memset(info, 0, sizeof *info);
        if (bitmap) std::memset(bitmap, 0, sizeof *bitmap);
        return kLoadCannotOpen;
    }
    return LoadFromSource(&source, name, bitmap, options, info);
}

int LoadPictureFromFile(const wchar_t* name, Bitmap* bitmap, const LoadOptions* options, ImageInfo* info) {
    return LoadPicture(name, bitmap, options, info, 1);
}

int LoadPictureFromMemory(const uint8_t* data, size_t size, const wchar_t* nameForExtension, Bitmap* bitmap,
                          const LoadOptions* options, ImageInfo* info) {
    if (size == 0 || !data) {
        if (info) std::memset(info, 0, sizeof *info);
        if (bitmap) std::memset(bitmap, 0, sizeof *bitmap);
        return size == 0 ? kLoadNotRecognised : kLoadCannotOpen;
    }
    FileSource source;
    InitMemorySource(&source, data, size);
    return LoadFromSource(&source, nameForExtension, bitmap, options, info);
}

int QueryPictureInfo(const wchar_t* name, int formatIndex, uint32_t flags, ImageInfo* info) {
    return GetPictureInfo(name, nullptr, formatIndex, flags, 0, info);
}

int QueryPagePictureInfo(const wchar_t* name, int formatIndex, uint32_t flags, uint32_t page, ImageInfo* info) {
    FileSource own;
    InitFileSource(&own, name);
    return QueryFromSource(&own, name, formatIndex, flags, info, page);
}

int GetPictureInfo(const wchar_t* name, FileSource* source, int formatIndex, uint32_t flags, uint32_t /*unused*/,
                   ImageInfo* info) {
    if (name) return QueryPagePictureInfo(name, formatIndex, flags, 0, info);
    if (!source) {
        if (info) std::memset(info, 0, sizeof *info);
        return kLoadCannotOpen;
    }
    FileSource copy = *source;
    return QueryFromSource(&copy, copy.path, formatIndex, flags, info);
}

int GetPictureInfoFromSource(FileSource* source, const wchar_t* extensionName, int formatIndex, uint32_t flags,
                             ImageInfo* info) {
    if (!source) {
        if (info) std::memset(info, 0, sizeof *info);
        return kLoadCannotOpen;
    }
    if (source->memory && source->memorySize == 0) {
        if (info) std::memset(info, 0, sizeof *info);
        return kLoadNotRecognised;
    }
    FileSource copy = *source;
    return QueryFromSource(&copy, extensionName, formatIndex, flags, info);
}

void FreePictureInfo(ImageInfo* info) {
    if (!info) return;
    for (int32_t i = 0; i < info->textCount && i < kMaxPictureTexts; ++i) {
        std::free(info->texts[i]);
        info->texts[i] = nullptr;
    }
    info->textCount = 0;
    std::free(info->comment);
    info->comment = nullptr;
    FreeMetadataList(&info->metadata);
}

int IsKnownExtension(const wchar_t* name) { return AnyRowHasExtension(ExtensionOf(name)) ? 1 : 0; }

int ExtensionBelongsToFormat(const wchar_t* name, int formatIndex) {
    return RowHasExtension(GetFormatRow(formatIndex), ExtensionOf(name)) ? 1 : 0;
}
