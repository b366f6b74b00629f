#include "shell/pictureload.h"

#include "imagelib/load.h"
#include "processing/exifedit.h"
#include "imagelib/geometry.h"
#include "shell/filelist.h"

namespace {

constexpr uint32_t kRawTurnLeft = 0x2;
constexpr uint32_t kRawTurnRight = 0x4;

// Turns in place; false when the operation failed (the bitmap is unchanged).
bool Turn(Bitmap* bitmap, int exifOrientation) {
    switch (exifOrientation) {
    case 2: return BitmapMirror(bitmap, nullptr, nullptr) == kGeometryDone;
    case 3: return BitmapRotate(bitmap, nullptr, 180, nullptr, 0) == kGeometryDone;
    case 4: return BitmapFlip(bitmap, nullptr, nullptr) == kGeometryDone;
    case 5:  // transposed: a right turn, then mirrored
        return BitmapRotate(bitmap, nullptr, 90, nullptr, 0) == kGeometryDone &&
               BitmapMirror(bitmap, nullptr, nullptr) == kGeometryDone;
    case 6: return BitmapRotate(bitmap, nullptr, 90, nullptr, 0) == kGeometryDone;
    case 7:  // transversed: a left turn, then mirrored
        return BitmapRotate(bitmap, nullptr, 270, nullptr, 0) == kGeometryDone &&
               BitmapMirror(bitmap, nullptr, nullptr) == kGeometryDone;
    case 8: return BitmapRotate(bitmap, nullptr, 270, nullptr, 0) == kGeometryDone;
    default: return false;
    }
}

int ReadMetadataOrientation(const Bitmap* bitmap) {
    uint32_t value = 0;
    return ExifGetOrientation(bitmap->metadata, &value) && value <= 8 ? int(value) : 0;
}

void ResetMetadataOrientation(Bitmap* bitmap) { ExifSetOrientation(bitmap->metadata, kOrientationNormal); }

const ExifOrientationAccess kMetadataOrientation = {ReadMetadataOrientation, ResetMetadataOrientation};

}  // namespace

const ExifOrientationAccess* MetadataExifOrientation() { return &kMetadataOrientation; }

int ApplyPictureOrientation(Bitmap* bitmap, const ImageInfo* info, int resetTag, const ExifOrientationAccess* exif) {
    if (!bitmap->pixels) return 0;
    if (info && bitmap->width > bitmap->height && info->height > info->width &&
        (info->orientation & (kRawTurnLeft | kRawTurnRight)))
        return BitmapRotate(bitmap, nullptr, (info->orientation & kRawTurnLeft) ? -90 : 90, nullptr, 0) ==
               kGeometryDone;
    if (!exif || !exif->read) return 0;
    const int orientation = exif->read(bitmap);
    if (orientation == 0) return 0;
    // Cameras store their pictures wider than high. One stored otherwise was
    // turned upright already by whatever saved it, whatever its tag still
    // says: it stays as it is, and its tag says so from now on.
    if (bitmap->width <= bitmap->height) {
        if (exif->reset) exif->reset(bitmap);
        return 0;
    }
    if (orientation < 2 || orientation > 8 || !Turn(bitmap, orientation)) return 0;
    if (resetTag && exif->reset) exif->reset(bitmap);
    return 1;
}

int LoadPictureOriented(const wchar_t* path, Bitmap* bitmap, const LoadOptions* options, ImageInfo* info,
                        const ExifOrientationAccess* exif) {
    if (options->targetWidth != 0 || !IsCameraRawName(path)) return LoadPictureFromFile(path, bitmap, options, info);
    LoadOptions full = *options;
    full.targetWidth = -1;
    full.targetHeight = -1;
    const int result = LoadPictureFromFile(path, bitmap, &full, info);
    if (result == kLoadOk) ApplyPictureOrientation(bitmap, info, 1, exif);
    return result;
}

int LoadPictureUpright(const wchar_t* path, Bitmap* bitmap, const LoadOptions* options) {
    LoadOptions keep = *options;
    keep.flags |= kLoadKeepMetadata;
    ImageInfo info{};
    const int result = LoadPictureOriented(path, bitmap, &keep, &info, MetadataExifOrientation());
    // A camera RAW file turned above keeps its orientation at 1: no second turn.
    if (result == kLoadOk) ApplyPictureOrientation(bitmap, &info, 1, MetadataExifOrientation());
    FreePictureInfo(&info);
    return result;
}

void ThumbnailLoadOptions(LoadOptions* o, int32_t boxWidth, int32_t boxHeight, uint32_t page, int fit,
                          int highQuality, int preview) {
    InitLoadOptions(o);
    const bool fitting = fit && boxWidth >= 1 && boxHeight >= 1;
    o->pixelOrder = 1;
    o->flags = kLoadAcceptDamaged | kLoadPreferThreeBytes | kLoadExtensionOnly | (fitting ? uint32_t(kLoadReduced) : 0u);
    o->imageIndex = page;
    o->rowAlignment = 4;
    o->keepReaderReduction = (fitting && !preview) ? 1 : 0;
    if (highQuality) o->scaleMethod = 2;
    o->targetWidth = boxWidth;
    o->targetHeight = boxHeight;
    o->embeddedThumbnailMode = uint8_t(preview);
}

int LoadPictureThumbnail(const wchar_t* path, Bitmap* bitmap, ImageInfo* info, int32_t boxWidth,
                         int32_t boxHeight, uint32_t page, int fit, int highQuality, int preview,
                         const ExifOrientationAccess* exif, LoadCancelCallback cancel, uintptr_t cancelUser) {
    LoadOptions o;
    ThumbnailLoadOptions(&o, boxWidth, boxHeight, page, fit, highQuality, preview);
    o.cancelCallback = cancel;
    o.cancelUser = cancelUser;
    if (preview || !IsCameraRawName(path)) return LoadPictureFromFile(path, bitmap, &o, info);
    o.targetWidth = -1;
    o.targetHeight = -1;
    const int result = LoadPictureFromFile(path, bitmap, &o, info);
    if (result == kLoadOk) ApplyPictureOrientation(bitmap, info, 1, exif);
    return result;
}
