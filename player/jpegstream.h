// The player's JPEG decoding: one picture from an open file positioned at
// its start-of-image marker, as 8-bit grey or three bytes blue, green, red
// per pixel (the order the screen converter takes without exchanging).
//
// Portable: no platform headers.
#pragma once

#include <cstdint>
#include <cstdio>

#include "imagelib/bitmap.h"

// Pictures larger than this many pixels are refused before allocating; so
// is a picture that, with the coefficient buffer libjpeg keeps for a
// progressive file, would take more than the load budget
// (GetLoadMemoryBudget).
constexpr uint64_t kPlayerMaxPixels = uint64_t(1) << 26;

enum JpegStreamResult : int {
    kJpegStreamDone = 0,
    kJpegStreamNotRecognised = 2,  // not a JPEG the player shows (also 2 or 4 components, or too large)
    kJpegStreamCorrupt = 10,       // the data broke off or are damaged
};

// Decodes into `picture` (pixel type grey or BGR, rows 4-byte aligned). On
// failure nothing stays allocated.
int DecodeJpegStream(FILE* file, Bitmap* picture);
// Turns the picture by +90 (clockwise) or -90 degrees in place; other
// angles do nothing. 0 done, else a geometry result code (the picture is
// then unchanged).
int RotateBitmap(Bitmap* picture, int32_t angle);
