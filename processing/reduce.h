// Colour reduction: any picture to black and white, grey levels, a palette
// (chosen for the picture or a fixed colour cube) or one of the six
// true-colour byte layouts; and the optimising quantizer behind the chosen
// palettes.
//
// Output convention as in geometry.h: with a destination record the result
// goes there and the source keeps its pixels; with none the source's buffers
// are freed and the source record takes the result. The result carries the
// source's resolution, comment and metadata and has no transparent colour
// (an exact copy keeps the source's).
//
// Portable: no platform headers.
#pragma once

#include <cstdint>

#include "imagelib/bitmap.h"

// Colour modes of BitmapReduceColours (the low 16 bits of its mode).
enum ColourMode : int {
    kColourBilevel = 1,
    kColourGrey4 = 2,      // 2..9: 4, 8, 16, 32, 64, 128, 216, 256 grey levels
    kColourGrey256 = 9,
    kColourPalette8 = 12,  // 12..18: 8, 16, 32, 64, 128, 216, 256 colours
    kColourPalette256 = 18,
    kColourRGB = 19,       // 19..24: the true-colour layouts
    kColourRGBA = 20,
    kColourBGR = 21,
    kColourABGR = 22,
    kColourBGRA = 23,
    kColourARGB = 24,
};

// Dither methods (the low 16 bits of the dither argument). Other values
// threshold; the 6x6 patterns differ from thresholding only for black and
// white, and error diffusion only for black and white and palettes.
enum DitherMethod : int {
    kDitherNone = 0,
    kDitherOrdered = 1,
    kDitherPattern = 2,        // also 4: the first 6x6 pattern
    kDitherPatternSecond = 3,
    kDitherDiffusion = 5,
};

// Results: 0 done, 1 out of memory, 16 a bad mode or a source record that is
// not a valid picture.
//
// Samples deeper than 8 bits are first brought to 8 (their top 8 bits):
// with a destination in a temporary copy, without one in the source itself,
// which stays so even when the mode then proves bad.
int BitmapReduceColours(Bitmap* src, Bitmap* dst, int mode, int dither);

// Reduces a grey, palette, bilevel or true-colour picture to a palette
// picture of `colours` (2..256) entries chosen for it: exactly its own
// colours when it has no more (in order of first appearance for true colour,
// most frequent first for one-byte pictures), else by median cut over a
// 32 x 64 x 32 histogram, each pixel taking its nearest colour. With
// `dither` true-colour pictures are Floyd-Steinberg diffused with limited
// errors; grey and palette pictures never are. Entries beyond the chosen
// colours are black. 0, 1, or 16 for a bad count or source.
int QuantizeBitmap(Bitmap* src, Bitmap* dst, int colours, int dither);

// A copy of `src` with 8 bits per sample in the same pixel type (see
// BitmapReduceColours); 0, 1, or 16 for a bad source. `dst` may be `src`.
int ReduceSampleDepth(Bitmap* src, Bitmap* dst);
