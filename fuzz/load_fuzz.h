// Shared body of the reader fuzz targets: one input goes through the whole
// load from memory, as a file with the given extension would, so the reader,
// the row delivery, the converters and the end of load all see it.
//
// The picture is first queried; only pictures of at most kMaxPixels are
// loaded (full size, then fitted into a small box, as a thumbnail or not), so
// a header that claims a huge picture is not decoded at length. The anysize
// target loads whatever is declared, to fuzz the memory bounds themselves.
// Every output pixel is read.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "imagelib/metadata.h"

namespace fuzzing {

constexpr int64_t kMaxPixels = int64_t(1) << 20;

inline void Check(bool ok) {
    if (!ok) std::abort();
}

inline void EnsureRegistry() {
    static const bool registry = (InitFormatRegistry(), true);
    (void)registry;
}

// Reads every byte of the picture so a wrong size or stride shows under ASan.
inline unsigned TouchPixels(const Bitmap& b) {
    unsigned sum = 0;
    if (!b.pixels) return 0;
    Check(b.width >= 1 && b.height >= 1 && b.bytesPerRow >= 1);
    const size_t bytes = size_t(b.bytesPerRow) * size_t(b.height);
    for (size_t i = 0; i < bytes; ++i) sum += b.pixels[i];
    if (b.palette)
        for (size_t i = 0; i < kPaletteBytes; ++i) sum += b.palette[i];
    return sum;
}

// Reads every byte of the kept metadata blocks.
inline unsigned TouchMetadata(const MetadataBlock* list) {
    unsigned sum = 0;
    for (const MetadataBlock* m = list; m; m = m->next)
        for (uint32_t i = 0; i < m->length; ++i) sum += m->data[i];
    return sum;
}
inline unsigned TouchMetadata(const Bitmap& b) { return TouchMetadata(b.metadata); }

inline bool KnownResult(int r) {
    return r == kLoadOk || r == kLoadNoMemory || r == kLoadNotRecognised || r == kLoadIncomplete ||
           r == kLoadRefused || r == kLoadCorrupt || r == kLoadStripTablesEnd || r == kLoadCancelled;
}

// Queries the picture with its comment and metadata, as the properties
// sheet does (any result must be a known one, every kept byte readable);
// true when it was recognised with a size of at most kMaxPixels.
inline bool SmallEnoughToLoad(const uint8_t* data, size_t size, const wchar_t* name, int formatIndex) {
    FileSource source;
    InitMemorySource(&source, data, size);
    ImageInfo info;
    const int q = GetPictureInfoFromSource(&source, name, formatIndex, kLoadKeepMetadata | kLoadKeepComment, &info);
    volatile unsigned sink = TouchMetadata(info.metadata);
    for (const char* c = info.comment; c && *c; ++c) sink = sink + unsigned(*c);
    const bool small = q == kLoadOk && info.width >= 1 && info.height >= 1 &&
                       int64_t(info.width) * info.height <= kMaxPixels;
    FreePictureInfo(&info);
    Check(KnownResult(q));
    return small;
}

// The load passes with the options chosen by `knobs`, whatever size the
// picture declares: a full load, then one fitted into a small box.
inline void FuzzLoadPasses(const uint8_t* data, size_t size, const wchar_t* name, uint8_t knobs) {
    EnsureRegistry();
    LoadOptions options;
    InitLoadOptions(&options);
    options.flags = (knobs & 1 ? kLoadLowDepthAsColour : 0) | (knobs & 2 ? kLoadPreferFourBytes : 0) |
                    (knobs & 4 ? kLoadAcceptDamaged : 0) | (knobs & 8 ? kLoadNoBilevel : 0) | kLoadKeepComment;
    options.orientation = uint16_t((knobs & 16 ? 0x1 : 0) | (knobs & 32 ? 0x10 : 0));
    options.pixelOrder = uint16_t(knobs >> 6);
    volatile unsigned sink = 0;
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            options.targetWidth = 16;
            options.targetHeight = 12;
            options.scaleMethod = knobs & 64 ? 2 : 0;
            // A thumbnail's load: the reader's own reduction, and averaging
            // instead of point samples.
            if (knobs & 128) options.flags |= kLoadReduced;
        }
        Bitmap bitmap{};
        const int r = LoadPictureFromMemory(data, size, name, &bitmap, &options, nullptr);
        Check(KnownResult(r));
        Check((r == kLoadOk) == (bitmap.pixels != nullptr));
        sink = sink + TouchPixels(bitmap);
        FreeBitmap(&bitmap);
    }
}

// The load passes for pictures of at most kMaxPixels.
inline int FuzzLoadWith(const uint8_t* data, size_t size, const wchar_t* name, uint8_t knobs) {
    EnsureRegistry();
    if (size < 1 || !SmallEnoughToLoad(data, size, name, -1)) return 0;
    FuzzLoadPasses(data, size, name, knobs);
    return 0;
}

// FuzzLoadWith, the last byte choosing the options, so the corpus explores
// them too (for formats whose last byte is not inside a checked structure).
inline int FuzzLoad(const uint8_t* data, size_t size, const wchar_t* name) {
    return size < 1 ? 0 : FuzzLoadWith(data, size, name, data[size - 1]);
}

// Image `index` of a file (a later GIF image, a Photoshop layer) fitted into
// a small box, with metadata and comment kept: the size query only sees the
// first image, so the output is kept small whatever the image declares.
// Every pixel and kept byte is read.
inline void FuzzLoadImageInBox(const uint8_t* data, size_t size, const wchar_t* name, uint32_t index,
                               uint32_t flags) {
    LoadOptions options;
    InitLoadOptions(&options);
    options.flags = flags | kLoadKeepMetadata | kLoadKeepComment;
    options.imageIndex = index;
    options.targetWidth = 16;
    options.targetHeight = 12;
    Bitmap bitmap{};
    const int r = LoadPictureFromMemory(data, size, name, &bitmap, &options, nullptr);
    Check(KnownResult(r));
    Check(bitmap.pixels == nullptr || r == kLoadOk);
    volatile unsigned sink = TouchPixels(bitmap) + TouchMetadata(bitmap);
    (void)sink;
    FreeBitmap(&bitmap);
}

// The body of the targets of formats with several images (GIF, Photoshop):
// FuzzLoad, then image 1 to 4, chosen by the input's last byte, in a box.
inline int FuzzLoadAndLaterImage(const uint8_t* data, size_t size, const wchar_t* name) {
    FuzzLoad(data, size, name);
    if (size < 1) return 0;
    const uint8_t knobs = data[size - 1];
    FuzzLoadImageInBox(data, size, name, 1u + (knobs & 3), knobs & 4 ? kLoadAcceptDamaged : 0);
    return 0;
}

}  // namespace fuzzing
