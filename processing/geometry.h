// Picture operations of the processing library. The geometric operations
// they build on live in the image library (imagelib/geometry.h, included
// here with its output convention and result codes), because loading and
// saving turn and scale pictures too.
//
// Portable: no platform headers.
#pragma once

#include <cstdint>

#include "imagelib/geometry.h"

// Flags of BitmapResizeToFit.
enum FitFlags : int {
    kFitKeepAspect = 1,
    kFitEnlarge = 2,
    kFitTurnBox = 4,
};

// Resample into a box (FitFlags); `mode` as BitmapResample. With
// kFitKeepAspect the picture keeps its aspect ratio; without kFitEnlarge a
// picture that would grow both ways is copied unchanged. Filtering (a mode
// other than kResampleNearest) a bilevel or palette picture that must change
// size returns kGeometryNotSupported: it needs the colour reduction
// operations.
int BitmapResizeToFit(Bitmap* src, Bitmap* dst, int32_t boxWidth, int32_t boxHeight, int flags, uint16_t mode);
