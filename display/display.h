// The display layer's portable core: turning a Bitmap into the pixels of a
// device-independent bitmap (DIB) for the screen's depth, scaled by
// nearest-neighbour row and column maps and, on 16-bit screens, ordered-
// dithered to 5 bits per channel (5-5-5). On screens of 8 bits or less,
// pictures are dithered onto a shared 216-colour cube.
//
// Everything here is plain memory: the DIB's header and colour table have the
// exact layout of BITMAPINFO, and the few operating-system objects the layer
// needs (the DIB section, palettes) are made and deleted through a
// DibServices table, so the whole choice of format, stride, palette and row
// converter runs and is tested without the platform. display_win.h supplies
// the Win32 services and the drawing.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagelib/bitmap.h"

// ---------------------------------------------------------------------------
// DIB header and colour table (the layout of BITMAPINFOHEADER and RGBQUAD)

struct DibHeader {
    uint32_t size;  // 40
    int32_t width;
    int32_t height;  // positive: rows stored bottom-up
    uint16_t planes;
    uint16_t bitCount;
    uint32_t compression;  // kDibRgb or kDibBitFields
    uint32_t sizeImage;
    int32_t xPelsPerMeter;
    int32_t yPelsPerMeter;
    uint32_t coloursUsed;
    uint32_t coloursImportant;
};

struct DibColour {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
    uint8_t reserved;
};

// For 16-bit DIBs the first three colour words are the red, green and blue
// bit masks.
struct DibInfo {
    DibHeader header;
    DibColour colours[256];
};

static_assert(sizeof(DibHeader) == 40, "DibHeader has the layout of BITMAPINFOHEADER");
static_assert(sizeof(DibInfo) == 40 + 256 * 4, "DibInfo has the layout of BITMAPINFO with 256 colours");

constexpr uint32_t kDibRgb = 0;
constexpr uint32_t kDibBitFields = 3;
// The 5-5-5 masks of 16-bit DIBs.
constexpr uint32_t kMask555Red = 0x7C00;
constexpr uint32_t kMask555Green = 0x03E0;
constexpr uint32_t kMask555Blue = 0x001F;

// ---------------------------------------------------------------------------
// Global state: dither tables for the screen's depth

// 16-bit screens: per channel, 16 dither positions of 256 values.
constexpr size_t kDither16Entries = 4096;

// The colour cube of screens of 8 bits or less: entry r*36 + g*6 + b has the
// levels r*51, g*51, b*51 (r, g, b from 0 to 5).
constexpr int kCubeLevels = 6;
constexpr int kCubeColours = 216;
constexpr int kCubeCell = 8;  // the cube dither repeats every 8 x 8 pixels

// One channel value's place in the cube: its fraction between the lower and
// the upper level (0..255), and the channel's share of the colour index for
// each of the two levels.
struct CubeChannelEntry {
    uint8_t fraction;
    uint8_t index[2];  // [0] lower level, [1] upper level
    uint8_t unused;
};

struct DisplayState {
    int32_t screenBits;  // the screen's bits per pixel
    // 16-bit screens only, else null: entry v + 256 * p is value v's 5-bit
    // level at dither position p, already shifted to its place in 5-5-5.
    uint16_t* ditherRed;
    uint16_t* ditherGreen;
    uint16_t* ditherBlue;
    // Screens of 8 bits or less only, else null.
    // Each of the two is one block: the three channel tables follow one
    // another from cubeChannels[0].
    CubeChannelEntry* cubeChannels[3];     // red, green, blue; 256 entries each
    uint8_t (*cubeCells)[kCubeCell][256];  // [y mod 8][x mod 8][fraction]: 0 lower, 1 upper
    void* sharedPalette;                   // the cube as a logical palette (made by the platform side)
};

// Written only before any window or thread exists and after all are gone,
// read-only in between (the thumbnail worker converts too), so no lock.
extern DisplayState g_Display;

// Clears g_Display and builds the tables for a screen of `screenBits` bits
// per pixel: the 16-bit dither tables on exactly 16, the cube tables on 8 or
// less. 1 done, 0 out of memory (the tables that failed stay null, and
// pictures that need them cannot be prepared).
int DisplayInitForDepth(int screenBits);
// Frees the tables (not the shared palette, which its maker deletes) and
// clears g_Display.
void DisplayReleaseTables();

// Fills the three 4096-entry 5-5-5 tables: with the 4 x 4 threshold t at
// (y mod 4, x mod 4) and p = (y mod 4) + 4 * (x mod 4), value v's level is
// v / 8, plus one when v mod 8 > t and v < 248.
void DisplayBuildDitherTables(uint16_t* red, uint16_t* green, uint16_t* blue);

// The cube's colour (r*36 + g*6 + b -> r*51, g*51, b*51) for entries
// 0..215; the rest of the table is left as it is.
void FillCubeColours(DibColour* colours);

// ---------------------------------------------------------------------------
// Screen bitmaps

struct ScreenBitmap;

// Writes the rectangle (x, y, width, height, in target coordinates) into the
// DIB, starting at the DIB's top row and first column. Rectangles reaching
// past the target or the DIB are cut to them.
using ScreenRowConverter = void (*)(ScreenBitmap* sb, int32_t x, int32_t y, int32_t width, int32_t height);

// A picture converted for the screen. Owned by its user; released with
// ScreenBitmapFreeWith (or ScreenBitmapFree on Win32).
struct ScreenBitmap {
    const uint8_t** rowMap;  // target row y -> the source row shown there
    int32_t* columnMap;      // target column x -> the source pixel's byte offset (bilevel: its index)
    int32_t targetWidth;     // the size the picture is shown at
    int32_t targetHeight;
    int32_t sourceWidth;     // the picture's size when the maps were built
    int32_t sourceHeight;
    DibInfo info;
    void* dib;  // the DIB section (HBITMAP on Win32), or null
    uint8_t* dibPixels;
    int32_t dibStride;
    int32_t dibWidth;
    int32_t dibHeight;
    uint8_t* dibTopRow;                // the picture's top row: the DIB's last row in memory
    DibColour pictureColours[256];     // the picture's palette or grey ramp
    void* palette;                     // logical palette (HPALETTE), owned unless it is the shared one
    ScreenRowConverter converter;      // null until a successful prepare

    // How the converters read a source pixel, set by the prepare: byte
    // offsets in the pixel of red, green, blue (and black for CMYK); for
    // one-channel pictures [0] is the offset of the sample's high byte.
    uint8_t channel[4];
    uint8_t cmyk;           // pixels hold C, M, Y, K inks
    uint8_t sourceBytes;    // bytes per source pixel; 0 for bilevel pictures
    // Each converter checks the DIB depth and source kind it was made for,
    // so a converter never writes into a DIB of another format.
};

// The row converters (see ScreenRowConverter).
// Target, source and DIB of one size, pixels stored as the DIB wants them.
void ScreenRowsCopyDirect(ScreenBitmap* sb, int32_t x, int32_t y, int32_t width, int32_t height);
// Bilevel picture into a 1-bit DIB; a repeated source row is copied from
// the previous output row.
void ScreenRowsToMono(ScreenBitmap* sb, int32_t x, int32_t y, int32_t width, int32_t height);
// 8-bit DIB: the mapped sample; 24-bit DIB: the mapped pixel as B, G, R.
void ScreenRowsCopyMapped(ScreenBitmap* sb, int32_t x, int32_t y, int32_t width, int32_t height);
// True colour into a 16-bit 5-5-5 DIB through the dither tables.
void ScreenRowsRgbTo16Dithered(ScreenBitmap* sb, int32_t x, int32_t y, int32_t width, int32_t height);
// True colour into an 8-bit cube DIB.
void ScreenRowsRgbToCubeDithered(ScreenBitmap* sb, int32_t x, int32_t y, int32_t width, int32_t height);
// 8-bit grey or palette picture into an 8-bit cube DIB, colours from
// pictureColours.
void ScreenRowsIndexedToCubeDithered(ScreenBitmap* sb, int32_t x, int32_t y, int32_t width, int32_t height);

// What the platform provides to the portable prepare. Each slot's contract:
struct DibServices {
    // Makes a DIB section as sb->info describes (its header and colour
    // table are final); sets sb->dib and sb->dibPixels. 1 done, 0 failed
    // (both then stay null).
    int (*createDib)(ScreenBitmap* sb);
    // Deletes a DIB section made by createDib.
    void (*deleteDib)(void* dib);
    // A logical palette of the first `count` colours; null when it cannot
    // be made.
    void* (*createPalette)(const DibColour* colours, int count);
    void (*deletePalette)(void* palette);
    // Called before the CPU writes into a DIB (pending drawing must finish
    // first); may be null.
    void (*flush)();
};

// DIBs in plain heap memory, palettes as heap tokens: for conversions that
// never reach the screen (tests, benchmarks). No flush.
const DibServices* MemoryDibServices();

// ScreenBitmapPrepareWith flags.
constexpr uint32_t kPrepareBuildPalette = 1;

// Makes sb->info describe the DIB for `picture` (null: the screen's own
// format) at sb->dibWidth x sb->dibHeight, and (re)creates the DIB when the
// present one cannot serve: none yet, a one-byte picture (its colours live
// in the DIB), or a true-colour picture while the DIB has 8 bits or less.
// 1 when a usable DIB is there, 0 when it could not be made.
int ScreenBitmapCreateDibWith(const DibServices* services, ScreenBitmap* sb, const Bitmap* picture);

// Gets `sb` ready to show `picture` at targetWidth x targetHeight: the DIB,
// both maps, the palette handle (flag kPrepareBuildPalette) and the row
// converter. 1 done; 0 when the picture is not a valid one, a size is below
// 1, memory, the DIB or the palette fails, or the screen's tables are
// missing: the converter is then null, so nothing is drawn.
int ScreenBitmapPrepareWith(const DibServices* services, ScreenBitmap* sb, const Bitmap* picture,
                            int32_t targetWidth, int32_t targetHeight, uint32_t flags);

// Runs the converter over the rectangle (flushing first); nothing when the
// record was not prepared.
void ScreenBitmapConvert(const DibServices* services, ScreenBitmap* sb, int32_t x, int32_t y, int32_t width,
                         int32_t height);

// Frees both maps, deletes the DIB and the palette (unless shared), and
// clears the record.
void ScreenBitmapFreeWith(const DibServices* services, ScreenBitmap* sb);

// The one-shot conversion: a DIB of width x height holding the whole picture
// converted. Returns the DIB (owned by the caller, deleted with
// services->deleteDib), null when none could be made; `pixels` (may be null)
// receives its pixels, whose first row in memory is the picture's bottom row.
void* MakeScreenBitmapWith(const DibServices* services, const Bitmap* picture, int32_t width, int32_t height,
                           uint8_t** pixels);
