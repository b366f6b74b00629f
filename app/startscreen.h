// The start screen's window-free parts: its six tiles (where they are, how
// they scale, which one a tap selects) and the check of its picture, a
// 240 x 320 BMP of 256 palette colours, before any byte of it is copied.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kStartTileCount = 6;
constexpr int32_t kSplashWidth = 240;
constexpr int32_t kSplashHeight = 320;
constexpr size_t kSplashPaletteBytes = 1024;
constexpr size_t kSplashPixelBytes = size_t(kSplashWidth) * kSplashHeight;

struct StartTile {
    int32_t left, top, right, bottom;  // pixels, scaled for the screen
    uint32_t stringId;
    const char* stringKey;
    int32_t selected;
};

// The tile table at 96 pixels per inch, nothing selected.
void StartTilesAtDefault(StartTile (&tiles)[kStartTileCount]);
// sign(v) x ((|v| x dpi + 48) / 96).
int32_t ScaleForDpi(int32_t value, int32_t dpi);
// Scales x values with `dpiX` and y values with `dpiY`.
void ScaleStartTiles(StartTile (&tiles)[kStartTileCount], int32_t dpiX, int32_t dpiY);
// The first tile whose rectangle, grown by 32 pixels above and below, holds
// the point; -1 for none.
int StartTileAt(const StartTile (&tiles)[kStartTileCount], int32_t x, int32_t y);

// Where the palette (1024 bytes: blue, green, red, reserved per entry) and
// the 76800 pixel bytes (bottom-up rows) of a checked picture are.
struct SplashBitmap {
    const uint8_t* palette;
    const uint8_t* pixels;
};

// Accepts only a "BM" file of `size` bytes with a 40-byte header for a
// bottom-up 240 x 320 picture, one plane, 8 bits per pixel, uncompressed,
// at most 256 colours, whose palette and pixels lie inside the data where
// its data offset says.
bool CheckSplashBitmap(const uint8_t* data, size_t size, SplashBitmap* out);

// A label's text with every backslash-"n" pair turned into CR LF.
template <typename Char>
size_t ExpandLineBreaks(const Char* text, Char* out, size_t capacity) {
    size_t n = 0;
    for (size_t i = 0; text[i] && n + 1 < capacity; ++i) {
        if (text[i] == Char('\\') && text[i + 1] == Char('n')) {
            if (n + 2 >= capacity) break;
            out[n++] = Char('\r');
            out[n++] = Char('\n');
            ++i;
        } else {
            out[n++] = text[i];
        }
    }
    if (capacity) out[n] = Char(0);
    return n;
}
