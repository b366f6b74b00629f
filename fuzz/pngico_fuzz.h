// Loads of one image of a file with several (APNG frames, icon entries),
// with the options those readers read, for the PNG and icon fuzz targets.
// Pictures are queried first and only small ones are loaded (load_fuzz.h).
#pragma once

#include "load_fuzz.h"

namespace fuzzing {

inline uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
inline uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]); }

// True when every entry of an icon directory that can be read names a
// picture of at most kMaxPixels (PNG entries by their IHDR, DIBs by their
// bitmap header); any entry may be the chosen one.
inline bool IconEntriesSmall(const uint8_t* data, size_t size) {
    if (size < 6) return true;
    const uint32_t count = uint32_t(data[4] | data[5] << 8);
    for (uint32_t i = 0; i < count && 6 + 16 * size_t(i) + 16 <= size; ++i) {
        const size_t offset = Le32(data + 6 + 16 * size_t(i) + 12);
        if (offset > size || size - offset < 24) continue;
        const uint8_t* p = data + offset;
        int64_t w, h;
        if (p[0] == 0x89 && p[1] == 'P') {
            w = Be32(p + 16);
            h = Be32(p + 20);
        } else {
            w = int32_t(Le32(p + 4));
            h = int32_t(Le32(p + 8)) / 2;
        }
        if (w < 0 || h < 0 || w > kMaxPixels || h > kMaxPixels || w * h > kMaxPixels) return false;
    }
    return true;
}

// What the file is: icons have directory entries of their own to bound.
enum class ImageFile { kPng, kIcon };

inline int FuzzImageIndexes(const uint8_t* data, size_t size, const wchar_t* name, ImageFile kind, uint8_t knobs) {
    if (size < 1) return 0;
    LoadOptions options;
    InitLoadOptions(&options);
    options.flags = kLoadKeepComment | kLoadKeepTexts | kLoadKeepMetadata | (knobs & 1 ? kLoadAcceptDamaged : 0);
    options.imageIndex = (knobs >> 1) & 7;
    options.iconChooseBest = knobs & 16 ? 1 : 0;
    options.iconMaskToAlpha = knobs & 32 ? 1 : 0;
    options.pngAlphaBackground = knobs & 64 ? 1 : 0;
    options.pngTransparencyBackground = knobs & 128 ? 1 : 0;

    // The query declares image 0; another image of the file may be larger,
    // so the canvas (APNG) or the entry (icons) is bounded as well.
    if (!SmallEnoughToLoad(data, size, name, -1)) return 0;
    if (kind == ImageFile::kIcon && !IconEntriesSmall(data, size)) return 0;

    Bitmap bitmap{};
    ImageInfo full;
    const int r = LoadPictureFromMemory(data, size, name, &bitmap, &options, &full);
    Check(KnownResult(r));
    Check((r == kLoadOk) == (bitmap.pixels != nullptr));
    volatile unsigned sink = TouchPixels(bitmap);
    (void)sink;
    FreeBitmap(&bitmap);
    FreePictureInfo(&full);
    return 0;
}

}  // namespace fuzzing
