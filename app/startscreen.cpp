#include "app/startscreen.h"

#include "imagelib/bytereader.h"

namespace {

const StartTile kDefaultTiles[kStartTileCount] = {
    {10, 48, 74, 112, 4189, "IDS_WIZARD1", 0},   {84, 48, 148, 112, 4190, "IDS_WIZARD2", 0},
    {164, 48, 228, 112, 4191, "IDS_WIZARD3", 0}, {10, 165, 74, 229, 4192, "IDS_WIZARD4", 0},
    {84, 165, 148, 229, 4194, "IDS_WIZARD5", 0}, {164, 165, 228, 229, 4195, "IDS_WIZARD6", 0},
};

constexpr int32_t kTapMargin = 32;

}  // namespace

void StartTilesAtDefault(StartTile (&tiles)[kStartTileCount]) {
    for (int i = 0; i < kStartTileCount; ++i) tiles[i] = kDefaultTiles[i];
}

int32_t ScaleForDpi(int32_t value, int32_t dpi) {
    const int64_t magnitude = (int64_t(value < 0 ? -int64_t(value) : value) * dpi + 48) / 96;
    return int32_t(value < 0 ? -magnitude : magnitude);
}

void ScaleStartTiles(StartTile (&tiles)[kStartTileCount], int32_t dpiX, int32_t dpiY) {
    for (StartTile& t : tiles) {
        t.left = ScaleForDpi(t.left, dpiX);
        t.right = ScaleForDpi(t.right, dpiX);
        t.top = ScaleForDpi(t.top, dpiY);
        t.bottom = ScaleForDpi(t.bottom, dpiY);
    }
}

int StartTileAt(const StartTile (&tiles)[kStartTileCount], int32_t x, int32_t y) {
    for (int i = 0; i < kStartTileCount; ++i) {
        const StartTile& t = tiles[i];
        if (x >= t.left && x < t.right && y >= t.top - kTapMargin && y < t.bottom + kTapMargin) return i;
    }
    return -1;
}

bool CheckSplashBitmap(const uint8_t* data, size_t size, SplashBitmap* out) {
    if (!data) return false;
    constexpr size_t kHeaders = 14 + 40;
    ByteReader r(data, size);
    if (r.U8() != 'B' || r.U8() != 'M' || !r.Seek(10)) return false;
    const uint32_t dataOffset = r.U32Le();
    const uint32_t headerSize = r.U32Le();
    const int32_t width = int32_t(r.U32Le());
    const int32_t height = int32_t(r.U32Le());
    const uint16_t planes = r.U16Le();
    const uint16_t bits = r.U16Le();
    const uint32_t compression = r.U32Le();
    r.Skip(12);  // image size and resolution
    const uint32_t colours = r.U32Le();
    if (!r.ok) return false;
    if (headerSize != 40 || width != kSplashWidth || height != kSplashHeight || planes != 1 || bits != 8 ||
        compression != 0 || colours > 256)
        return false;
    // The palette follows the header; the pixels start where the file says,
    // after the palette, and end inside the data.
    if (dataOffset < kHeaders + kSplashPaletteBytes || dataOffset > size || size - dataOffset < kSplashPixelBytes)
        return false;
    if (out) {
        out->palette = data + kHeaders;
        out->pixels = data + dataOffset;
    }
    return true;
}
