// Geometric operations on a Bitmap: crop, resample, shrink, mirror, flip,
// rotate, fit to a box.
//
// Output convention for every operation: a fresh picture is built; with a
// destination record the result goes there and the source is untouched; with
// a null destination the source's buffers are freed and the source record
// takes the result. Results: 0 done, 1 out of memory, 15 stopped by the
// progress callback, 16 bad size or empty rectangle.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagelib/bitmap.h"

// Progress of a row loop: (row, total, user); non-zero stops.
using RowProgressCallback = int (*)(int32_t row, int32_t total, uintptr_t user);

int BitmapCrop(Bitmap* src, Bitmap* dst, const PictureRect* rect);
int BitmapDuplicate(Bitmap* src, Bitmap* dst);
// mode 2: sample without filtering.
int BitmapResample(Bitmap* src, Bitmap* dst, int32_t width, int32_t height, uint16_t mode);
int BitmapResampleNearest(Bitmap* src, Bitmap* dst, int32_t width, int32_t height);
// Shrinking resize; palette pictures become `outputType` (16 RGB, else BGR).
int BitmapResize(Bitmap* src, Bitmap* dst, int32_t width, int32_t height, uint16_t outputType);
int BitmapShrinkArea(Bitmap* src, Bitmap* dst, int32_t width, int32_t height, uint16_t outputType,
                     RowProgressCallback progress, uintptr_t user);
int BitmapShrinkBilevel(Bitmap* src, Bitmap* dst, int32_t width, int32_t height);
int BitmapShrinkBilevelBytes(Bitmap* src, Bitmap* dst, int32_t width, int32_t height);

int BitmapMirror(Bitmap* src, Bitmap* dst, const PictureRect* rect);
int BitmapFlip(Bitmap* src, Bitmap* dst, const PictureRect* rect);
// Angle in degrees, positive clockwise.
int BitmapRotate(Bitmap* src, Bitmap* dst, int32_t angle, RowProgressCallback progress, uintptr_t user);
int BitmapRotateQuarter(Bitmap* src, Bitmap* dst, int direction, RowProgressCallback progress, uintptr_t user);
int BitmapRotateHalf(Bitmap* src, Bitmap* dst);
int BitmapRotateBilevelRight(Bitmap* src, Bitmap* dst);
int BitmapRotateBilevelLeft(Bitmap* src, Bitmap* dst);
int BitmapRotateBilevelHalf(Bitmap* src, Bitmap* dst);
// flags: 1 keep aspect, 2 allow enlarging, 4 turn the box to the picture.
int BitmapResizeToFit(Bitmap* src, Bitmap* dst, int32_t boxWidth, int32_t boxHeight, int flags, uint16_t mode);
int BitmapCropClipped(Bitmap* src, Bitmap* dst, const PictureRect* rect);

// The image library's temporary folder (none is configured: empty text, 0).
size_t GetLibraryTempFolder(char* buffer, size_t capacity);
