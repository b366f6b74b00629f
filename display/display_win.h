// The display layer on Win32: the global tables for the screen's depth, DIB
// sections and palettes for ScreenBitmap records (display.h holds the
// portable core), the one-shot MakeScreenBitmap and the per-paint drawing
// of the visible part of a picture.
//
// Win32 only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "display/display.h"

// Prepares g_Display for the screen: the 16-bit dither tables on a 16-bit
// screen, the cube tables and the shared cube palette on a screen of 8 bits
// or less. Runs once before any window exists. 1 done, 0 out of memory.
int DisplayInit();
// Frees what DisplayInit made; runs after every window is gone.
void DisplayRelease();

// The services ScreenBitmap records use on Win32: DIB sections, logical
// palettes, GdiFlush before CPU writes.
const DibServices* Win32DibServices();

// Clears the record and gives it a scratch DIB in the screen's format, as
// wide and as tall as the larger side of the screen (per-paint drawing
// converts at most that much).
void ScreenBitmapInitForScreen(HWND window, ScreenBitmap* sb);
// See ScreenBitmapCreateDibWith.
int ScreenBitmapCreateDib(HWND window, ScreenBitmap* sb, const Bitmap* picture);
// See ScreenBitmapPrepareWith; flags: kPrepareBuildPalette.
int ScreenBitmapPrepare(HWND window, ScreenBitmap* sb, const Bitmap* picture, int32_t targetWidth,
                        int32_t targetHeight, uint32_t flags);
void ScreenBitmapFree(ScreenBitmap* sb);

// A DIB section of width x height holding the picture converted for the
// screen; the caller owns it (DeleteObject). Null when none could be made.
// `pixels` (may be null) receives its bits, whose first row in memory is the
// picture's bottom row. Safe on any thread once DisplayInit has run.
HBITMAP MakeScreenBitmap(HWND window, const Bitmap* picture, int32_t width, int32_t height, void** pixels);
// Tests: with true, MakeScreenBitmap fails as it does when the memory for a
// large picture's bitmap is not there.
void SetScreenBitmapsFailForTesting(bool fail);

// Draws the prepared picture with its top-left corner at (x, y) (negative
// when scrolled), limited to `clip` (x, y, width, height): the visible part
// is converted into the scratch DIB and blitted (piece by piece when it is
// larger than the DIB). Nothing is drawn when the record has no DIB or
// converter.
void ScreenBitmapDraw(HDC dc, ScreenBitmap* sb, int32_t x, int32_t y, const PictureRect* clip);
