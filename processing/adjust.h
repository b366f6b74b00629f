// Tone and colour adjustments through 256-entry lookup tables: brightness,
// contrast and gamma in one table, automatic levels per channel, automatic
// contrast on luminance, and offsets per colour channel.
//
// Tables are on the 0..255 scale. They change the red, green and blue of
// true-colour pixels wherever the pixel type keeps them and never alpha;
// the samples of grey pictures (re-expressed for their number of levels);
// and the palette of palette pictures, whose indices stay. Deeper samples
// follow the table between its entries.
//
// With a null destination the picture is changed in place; with one, a copy
// (pixels, palette count, transparent index, metadata) is made there and
// only the copy changes. A rectangle (clipped to the picture) limits the
// change to its pixels; null means the whole picture, and palette pictures
// ignore it. Results: 0 done, 1 out of memory, 16 an empty rectangle or a
// record that is not a valid picture, 17 a bilevel picture.
//
// Portable: no platform headers.
#pragma once

#include <cstdint>

#include "imagelib/bitmap.h"

enum AdjustResult : int {
    kAdjustRefusesBilevel = 17,
};

// Contrast and gamma are clamped to these: contrast 128 or more would make
// the stretch divide by zero or turn it over, and gamma must be positive.
constexpr int kContrastLimit = 127;
constexpr double kGammaMin = 0.01;

// table[i] for brightness (added), contrast (-127..127: negative flattens
// towards mid grey, positive stretches) and gamma (1.0 within 0.0001 leaves
// the values).
void BuildAdjustTable(uint8_t table[256], int brightness, int contrast, double gamma);

int BitmapAdjustColours(Bitmap* picture, Bitmap* dst, const PictureRect* rect, int brightness, int contrast,
                        double gamma);
// Stretches each colour channel so that its darkest and lightest 0.1 % of
// the pixels reach 0 and 255 (palette pictures: of their colours as the
// pixels use them). A channel of one level is left as it is.
int BitmapAutoLevels(Bitmap* picture, Bitmap* dst, const PictureRect* rect);
// Stretches the luminance the same way through brightness and contrast; a
// picture of one luminance is left as it is.
int BitmapAutoContrast(Bitmap* picture, Bitmap* dst, const PictureRect* rect);
// Adds an offset to red, green and blue (grey pictures: the red one),
// clamped to 0..255.
int BitmapAdjustRgb(Bitmap* picture, Bitmap* dst, const PictureRect* rect, int red, int green, int blue);

// One table for red, green and blue (grey: the samples).
int ApplyAdjustTable(Bitmap* picture, Bitmap* dst, const PictureRect* rect, const uint8_t table[256]);
// tables[0] red, [1] green, [2] blue (grey pictures use the red one).
int ApplyChannelTables(Bitmap* picture, Bitmap* dst, const PictureRect* rect, const uint8_t tables[3][256]);

// Counts of luminance 0..255 over the whole picture (grey pictures: their
// grey values; palette pictures: their colours as the pixels use them).
// Bilevel pictures and invalid records count nothing.
void LuminanceHistogram(const Bitmap* picture, uint32_t counts[256]);
// Counts per channel: [0] red, [1] green, [2] blue, [3] alpha, on the 0..255
// scale (grey pictures: their samples in [0]; palette pictures: their
// colours as the pixels use them).
void ChannelHistograms(const Bitmap* picture, uint32_t counts[4][256]);
// Re-expresses a 0..255 table for a grey picture of fewer than 256 levels
// (bilevel: 2): entry k for level k, zeros after the last level. Other
// pictures keep the table.
void FitTableToGreyLevels(const Bitmap* picture, uint8_t table[256]);
