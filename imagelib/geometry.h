// Geometric operations on a Bitmap that the image library's own load and
// save paths need: crop and copy, resample, shrink, mirror, flip, rotate.
// The picture operations built on them (fitting to a box) are declared in
// processing/geometry.h, which includes this header.
//
// Output convention for every operation: a fresh picture is built; with a
// destination record the result goes there and the source is untouched; with
// a null destination the source's buffers are freed and the source record
// takes the result (keeping its own comment and metadata). A destination's
// previous contents are overwritten, not freed. Every new picture carries
// the source's orientation, resolution, comment, metadata, palette count,
// transparent index and palette table, except where an operation says
// otherwise.
//
// Results (GeometryResult): done; out of memory; not supported yet; stopped
// by the progress callback; bad size (a size below 1, an empty rectangle, or
// a source record that is not a valid picture). On any failure
// the source and the destination are untouched.
//
// Pixels of every type are handled, deep samples (2 or 4 bytes per sample,
// processor byte order) included; palette indices are never filtered.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagelib/bitmap.h"

enum GeometryResult : int {
    kGeometryDone = 0,
    kGeometryNoMemory = 1,
    kGeometryNotSupported = 7,
    kGeometryStopped = 15,
    kGeometryBadSize = 16,
};

// Orientation flag of a Bitmap whose row 0 is the bottom of the picture.
constexpr uint16_t kOrientationBottomUp = 0x10;

// Resampling mode: sample without filtering.
constexpr uint16_t kResampleNearest = 2;

// Progress of a row loop: (row, total, user); non-zero stops.
using RowProgressCallback = int (*)(int32_t row, int32_t total, uintptr_t user);

// A copy of the rectangle (memory rows, clipped to the picture; 16 when
// nothing is left), with the source's type and depth. A null rectangle is
// BitmapDuplicate.
int BitmapCrop(Bitmap* src, Bitmap* dst, const PictureRect* rect);
// A whole copy; a null destination does nothing and returns 0.
int BitmapDuplicate(Bitmap* src, Bitmap* dst);
// Resample to any size, keeping the type. Filtered: shrinking averages the
// covered area, enlarging interpolates linearly (the last column and row
// repeat the edge). Mode 2, palette and bilevel pictures: sampled without
// filtering (BitmapResampleNearest). 16 for a size below 1.
int BitmapResample(Bitmap* src, Bitmap* dst, int32_t width, int32_t height, uint16_t mode);
int BitmapResampleNearest(Bitmap* src, Bitmap* dst, int32_t width, int32_t height);
// Resize: a smaller size is made by area average, a size larger on either
// side by filtered resampling (BitmapResample) after the same conversion.
// 16 for a size below 1; bilevel pictures are only shrunk (16 for a width not
// below the source's or a larger height) and become 8-bit grey (256 levels);
// palette pictures become `outputType`: kPixelRGB, any other value kPixelBGR,
// with palette count 0 and no transparent index. 8-bit grey levels
// 0 .. count - 1 are spread over 0 .. 255 (256 levels out); a grey source
// with fewer than 2 levels returns 16.
int BitmapResize(Bitmap* src, Bitmap* dst, int32_t width, int32_t height, uint16_t outputType);
// The area-average shrink of BitmapResize for any type (16 for a size above
// the source's), with a progress callback asked (source row, new height,
// user) before each source row.
int BitmapShrinkArea(Bitmap* src, Bitmap* dst, int32_t width, int32_t height, uint16_t outputType,
                     RowProgressCallback progress, uintptr_t user);
// Bilevel sources only (16 otherwise). Both give the same pixels; the second
// reads whole bytes and is chosen by the first for steps of 10 pixels or more.
int BitmapShrinkBilevel(Bitmap* src, Bitmap* dst, int32_t width, int32_t height);
int BitmapShrinkBilevelBytes(Bitmap* src, Bitmap* dst, int32_t width, int32_t height);

// Reverse the pixel order (mirror) or the row order (flip) inside the
// rectangle, clipped to the picture (16 when empty); null: the whole picture.
// Pixels outside the rectangle are kept.
int BitmapMirror(Bitmap* src, Bitmap* dst, const PictureRect* rect);
int BitmapFlip(Bitmap* src, Bitmap* dst, const PictureRect* rect);
// Angle in degrees, positive clockwise; an angle that is no multiple of 90,
// like a multiple of 360, gives a copy. With the bottom-up orientation flag the turn
// is clockwise as seen. Quarter turns exchange the two resolutions. The
// progress callback gets (output row, source width, user) on the general
// quarter-turn path.
int BitmapRotate(Bitmap* src, Bitmap* dst, int32_t angle, RowProgressCallback progress, uintptr_t user);
// direction > 0 clockwise, else counter-clockwise.
int BitmapRotateQuarter(Bitmap* src, Bitmap* dst, int direction, RowProgressCallback progress, uintptr_t user);
int BitmapRotateHalf(Bitmap* src, Bitmap* dst);
// Bilevel pictures (16 otherwise), turned 32 x 32 pixels at a time when the
// rows are padded to 32 bits with row alignment 4, else by the general path;
// the pixels are the same either way.
int BitmapRotateBilevelRight(Bitmap* src, Bitmap* dst);
int BitmapRotateBilevelLeft(Bitmap* src, Bitmap* dst);
int BitmapRotateBilevelHalf(Bitmap* src, Bitmap* dst);
// Crop with the rectangle (required) measured from the top of the picture as
// seen, also for bottom-up pictures, whose result stays bottom-up; parts
// outside the picture are cut off first (16 when nothing is left).
int BitmapCropClipped(Bitmap* src, Bitmap* dst, const PictureRect* rect);

// Hooks of the format registry, empty here: the image library calls the
// first two while it builds its registry, the third when it frees it, and
// the last (with the format index) on its describe, load and save paths.
void FormatsInitHookFirst();
void FormatsInitHookSecond();
void FormatsExitHook();
void FormatsCallHook(uint32_t value);
