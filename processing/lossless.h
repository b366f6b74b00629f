// Lossless transforms of JPEG files: rotate, flip or crop the DCT
// coefficients with libjpeg's transform code, never decoding to pixels. The
// EXIF data travel along: the Orientation can be reset to 1, the EXIF
// thumbnail is turned the same way as the picture, and the EXIF pixel
// dimensions follow the new size.
//
// Portable: no platform headers.
#pragma once

#include <cstdint>

// Transform codes. Values above 6 act as kLosslessNone.
enum LosslessCode : int {
    kLosslessNone = 0,         // the coefficients are copied through
    kLosslessRotate90 = 1,     // clockwise
    kLosslessRotate180 = 2,
    kLosslessRotate270 = 3,    // clockwise
    kLosslessFlipVertical = 4, // top to bottom
    kLosslessFlipHorizontal = 5,
    kLosslessByExif = 6,       // whatever makes the EXIF Orientation upright, then Orientation 1
};

// Transforms `source` into `destination` (which may be the same path): the
// result is written through a FileReplacement, beside the destination (the
// file a link leads to) and moved over it only once complete, keeping its
// permissions, so on failure the destination is as it was; a read-only
// destination is refused. The coefficients, and the copy a turn writes them
// into, are held to the load budget (GetLoadMemoryBudget). A crop is made when
// `cropWidth` and `cropHeight` are both non-zero. With `trim` the partial
// edge blocks a transform cannot move are dropped; without it a transform
// that cannot be made exactly is refused. `resetOrientation` sets the EXIF
// Orientation to 1 (codes 1-5; code 6 always does). 1 done, 0 failed (the
// source cannot be read, is no JPEG libjpeg accepts, the transform is not
// exact or needs more memory than the budget, or the destination cannot be
// written).
int TransformJpegLosslessly(const wchar_t* source, const wchar_t* destination, uint32_t cropLeft, uint32_t cropTop,
                            uint32_t cropWidth, uint32_t cropHeight, int code, int trim, int resetOrientation);

// TransformJpegLosslessly from a file onto itself.
int TransformJpegFileInPlace(const wchar_t* path, int code, int trim, int resetOrientation);
