// Neighbourhood filters: sharpen with an amount, smooth with a strength,
// and a fixed noise reduction. Every sample of a pixel (a fourth one
// included) is filtered by itself from the samples at the same position in
// the neighbouring pixels; pixels outside the picture repeat the edge.
// Output samples are computed from the source only, never from filtered
// ones.
//
// Output convention as in geometry.h. A rectangle (clipped; 16 when empty;
// null: the whole picture) limits the change to its pixels, and the pixels
// around it still serve as neighbours. Palette pictures are filtered as
// their colours: the result is true colour (red, green, blue). Deep samples
// are filtered as samples; grey pictures of fewer than 256 levels stay
// within their levels. Results: 0 done, 1 out of memory, 16 an empty
// rectangle or an invalid record, 17 a bilevel picture.
//
// Portable: no platform headers.
#pragma once

#include <cstdint>

#include "imagelib/bitmap.h"

enum FilterResult : int {
    kFilterRefusesBilevel = 17,
};

// amount 0..100 (clamped): 0 changes nothing; towards 100 each sample moves
// ever further from its eight neighbours' mean; flat areas stay flat.
int BitmapSharpen(Bitmap* picture, Bitmap* dst, const PictureRect* rect, int amount);
// strength 0..100 (clamped): the centre keeps about 0.73 of the weight at
// 0 and about 0.02 at 100, the rest going to the neighbours (direct ones
// twice the diagonal ones).
int BitmapSmooth(Bitmap* picture, Bitmap* dst, const PictureRect* rect, int strength);
// A cross of radius 2: 7 the centre, 3 each direct neighbour, -1 each pixel
// two steps away, over 15.
int BitmapReduceNoise(Bitmap* picture, Bitmap* dst, const PictureRect* rect);

// Copies row `row` of `picture` (clamped to the picture's rows) into `work`
// with its first and last pixels repeated window / 2 times on each side;
// `work` holds (width + window - 1) pixels. window is 3 or 5.
void FillPaddedRow(uint8_t* work, const Bitmap* picture, int32_t row, int window);
