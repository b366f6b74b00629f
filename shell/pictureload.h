// The two picture loaders the browser, the thumbnail worker and the tools
// share: a full-size load that turns camera RAW pictures upright, and a load
// scaled into the thumbnail box. Both are safe on any thread.
//
// Portable: no platform headers.
#pragma once

#include <cstdint>

#include "imagelib/bitmap.h"
#include "imagelib/loadcontext.h"

// Reading and resetting the EXIF orientation (tag 274) a loaded bitmap's
// metadata carries. Injected: the metadata layer provides it.
struct ExifOrientationAccess {
    // 1..8, or 0 when the metadata carries none.
    int (*read)(const Bitmap* bitmap);
    // Sets a present orientation to 1 (upright).
    void (*reset)(Bitmap* bitmap);
};

// The EXIF orientation of the bitmap's metadata list (its first EXIF block).
const ExifOrientationAccess* MetadataExifOrientation();

// Turns the bitmap as its orientation says: a camera RAW reader's flags in
// `info` (bit 2 a left turn, bit 4 a right turn, for a picture declared
// higher than wide but delivered wider than high), else, for a bitmap wider
// than high, the EXIF orientation 2..8. With `resetTag`, the EXIF
// orientation of a bitmap so turned becomes 1. A bitmap not wider than high
// counts as upright already: it is never turned by its EXIF orientation,
// which becomes 1 when present. 1 when the bitmap was turned, else 0.
int ApplyPictureOrientation(Bitmap* bitmap, const ImageInfo* info, int resetTag, const ExifOrientationAccess* exif);

// LoadPictureFromFile, turned upright for camera RAW files loaded at full
// size. Returns the load result code.
int LoadPictureOriented(const wchar_t* path, Bitmap* bitmap, const LoadOptions* options, ImageInfo* info,
                        const ExifOrientationAccess* exif);

// A picture turned upright whatever its kind: LoadPictureOriented, then the
// EXIF orientation of the metadata list (kept for the purpose), which is
// reset to 1. The loader albums and the album wizard are given.
int LoadPictureUpright(const wchar_t* path, Bitmap* bitmap, const LoadOptions* options);

// The load options of a thumbnail load (see LoadPictureThumbnail).
void ThumbnailLoadOptions(LoadOptions* options, int32_t boxWidth, int32_t boxHeight, uint32_t page, int fit,
                          int highQuality, int preview);

// A picture scaled to fit the box (with `fit`), from an embedded preview
// where there is one (with `preview`). `cancel` (may be null) is asked
// during the load with `cancelUser`; a non-zero answer stops it (result 15).
int LoadPictureThumbnail(const wchar_t* path, Bitmap* bitmap, ImageInfo* info, int32_t boxWidth,
                         int32_t boxHeight, uint32_t page, int fit, int highQuality, int preview,
                         const ExifOrientationAccess* exif, LoadCancelCallback cancel = nullptr,
                         uintptr_t cancelUser = 0);
