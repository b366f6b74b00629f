// The six row converters: from the picture, through the row and column maps,
// into the DIB's rows (top row last in memory). Each cuts the rectangle to
// the target and to the DIB before writing, so a caller's rectangle can
// never reach past the DIB. See display.h.
#include <cstring>

#include "display/display.h"

namespace {

// The rectangle cut to the target and the DIB; false when nothing is left
// or the record has no maps or DIB.
bool Clip(const ScreenBitmap* sb, int32_t& x, int32_t& y, int32_t& w, int32_t& h) {
    if (!sb->rowMap || !sb->columnMap || !sb->dibTopRow) return false;
    if (x < 0) {
        w += x;
        x = 0;
    }
    if (y < 0) {
        h += y;
        y = 0;
    }
    if (x >= sb->targetWidth || y >= sb->targetHeight) return false;
    if (w > sb->targetWidth - x) w = sb->targetWidth - x;
    if (h > sb->targetHeight - y) h = sb->targetHeight - y;
    if (w > sb->dibWidth) w = sb->dibWidth;
    if (h > sb->dibHeight) h = sb->dibHeight;
    return w > 0 && h > 0;
}

inline uint8_t* OutRow(const ScreenBitmap* sb, int32_t i) { return sb->dibTopRow - ptrdiff_t(i) * sb->dibStride; }

// Red, green and blue of the pixel at p. CMYK inks are taken away from
// white: each colour is (255 - ink) * (255 - K) / 255.
template <bool Cmyk>
inline void Fetch(const uint8_t* p, const uint8_t* ch, unsigned& r, unsigned& g, unsigned& b) {
    if (Cmyk) {
        const unsigned white = 255u - p[ch[3]];
        r = (255u - p[ch[0]]) * white / 255u;
        g = (255u - p[ch[1]]) * white / 255u;
        b = (255u - p[ch[2]]) * white / 255u;
    } else {
        r = p[ch[0]];
        g = p[ch[1]];
        b = p[ch[2]];
    }
}

template <bool Cmyk>
void MappedTo24(ScreenBitmap* sb, int32_t x, int32_t y, int32_t w, int32_t h) {
    const int32_t* columns = sb->columnMap + x;
    for (int32_t i = 0; i < h; ++i) {
        const uint8_t* src = sb->rowMap[y + i];
        uint8_t* out = OutRow(sb, i);
        for (int32_t j = 0; j < w; ++j, out += 3) {
            unsigned r, g, b;
            Fetch<Cmyk>(src + columns[j], sb->channel, r, g, b);
            out[0] = uint8_t(b);
            out[1] = uint8_t(g);
            out[2] = uint8_t(r);
        }
    }
}

template <bool Cmyk>
void DitherTo16(ScreenBitmap* sb, int32_t x, int32_t y, int32_t w, int32_t h) {
    const uint16_t* red = g_Display.ditherRed;
    const uint16_t* green = g_Display.ditherGreen;
    const uint16_t* blue = g_Display.ditherBlue;
    const int32_t* columns = sb->columnMap + x;
    for (int32_t i = 0; i < h; ++i) {
        const uint8_t* src = sb->rowMap[y + i];
        uint8_t* out = OutRow(sb, i);
        const unsigned row = unsigned(y + i) & 3u;
        for (int32_t j = 0; j < w; ++j, out += 2) {
            const size_t base = size_t(row + 4u * (unsigned(x + j) & 3u)) << 8;
            unsigned r, g, b;
            Fetch<Cmyk>(src + columns[j], sb->channel, r, g, b);
            const unsigned v = red[base + r] | green[base + g] | blue[base + b];
            out[0] = uint8_t(v);
            out[1] = uint8_t(v >> 8);
        }
    }
}

inline uint8_t CubeIndex(const uint8_t* cell, unsigned r, unsigned g, unsigned b) {
    const CubeChannelEntry& er = g_Display.cubeChannels[0][r];
    const CubeChannelEntry& eg = g_Display.cubeChannels[1][g];
    const CubeChannelEntry& eb = g_Display.cubeChannels[2][b];
    return uint8_t(er.index[cell[er.fraction]] + eg.index[cell[eg.fraction]] + eb.index[cell[eb.fraction]]);
}

template <bool Cmyk>
void RgbToCube(ScreenBitmap* sb, int32_t x, int32_t y, int32_t w, int32_t h) {
    const int32_t* columns = sb->columnMap + x;
    for (int32_t i = 0; i < h; ++i) {
        const uint8_t* src = sb->rowMap[y + i];
        uint8_t* out = OutRow(sb, i);
        uint8_t* const* cells = g_Display.cubeCells[unsigned(y + i) % kCubeCell];
        for (int32_t j = 0; j < w; ++j) {
            unsigned r, g, b;
            Fetch<Cmyk>(src + columns[j], sb->channel, r, g, b);
            out[j] = CubeIndex(cells[unsigned(x + j) % kCubeCell], r, g, b);
        }
    }
}

}  // namespace

void ScreenRowsCopyDirect(ScreenBitmap* sb, int32_t x, int32_t y, int32_t width, int32_t height) {
    // Only whole rows of a picture at its own size, stored as the DIB stores them.
    const size_t pixelBytes = sb->info.header.bitCount / 8u;
    if ((pixelBytes != 1 && pixelBytes != 3) || pixelBytes != sb->sourceBytes ||
        sb->targetWidth != sb->sourceWidth || !Clip(sb, x, y, width, height))
        return;
    for (int32_t i = 0; i < height; ++i)
        std::memcpy(OutRow(sb, i), sb->rowMap[y + i] + sb->columnMap[x], size_t(width) * pixelBytes);
}

void ScreenRowsToMono(ScreenBitmap* sb, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (sb->info.header.bitCount != 1 || sb->sourceBytes != 0 || !Clip(sb, x, y, width, height)) return;
    const size_t rowBytes = (size_t(width) + 7) / 8;
    const int32_t* columns = sb->columnMap + x;
    for (int32_t i = 0; i < height; ++i) {
        const uint8_t* src = sb->rowMap[y + i];
        uint8_t* out = OutRow(sb, i);
        if (i > 0 && src == sb->rowMap[y + i - 1]) {
            std::memcpy(out, out + sb->dibStride, rowBytes);  // the row above
            continue;
        }
        std::memset(out, 0, rowBytes);
        for (int32_t j = 0; j < width; ++j) {
            const int32_t s = columns[j];
            if ((src[s >> 3] >> (7 - (s & 7))) & 1) out[j >> 3] |= uint8_t(0x80u >> (j & 7));
        }
    }
}

void ScreenRowsCopyMapped(ScreenBitmap* sb, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (sb->sourceBytes == 0 || !Clip(sb, x, y, width, height)) return;
    if (sb->info.header.bitCount == 8) {
        const int32_t* columns = sb->columnMap + x;
        const uint8_t at = sb->channel[0];
        for (int32_t i = 0; i < height; ++i) {
            const uint8_t* src = sb->rowMap[y + i] + at;
            uint8_t* out = OutRow(sb, i);
            for (int32_t j = 0; j < width; ++j) out[j] = src[columns[j]];
        }
    } else if (sb->info.header.bitCount == 24 && sb->sourceBytes >= 3) {
        if (sb->cmyk)
            MappedTo24<true>(sb, x, y, width, height);
        else
            MappedTo24<false>(sb, x, y, width, height);
    }
}

void ScreenRowsRgbTo16Dithered(ScreenBitmap* sb, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (sb->info.header.bitCount != 16 || sb->sourceBytes < 3 || !g_Display.ditherRed ||
        !Clip(sb, x, y, width, height))
        return;
    if (sb->cmyk)
        DitherTo16<true>(sb, x, y, width, height);
    else
        DitherTo16<false>(sb, x, y, width, height);
}

void ScreenRowsRgbToCubeDithered(ScreenBitmap* sb, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (sb->info.header.bitCount != 8 || sb->sourceBytes < 3 || !g_Display.cubeCells ||
        !Clip(sb, x, y, width, height))
        return;
    if (sb->cmyk)
        RgbToCube<true>(sb, x, y, width, height);
    else
        RgbToCube<false>(sb, x, y, width, height);
}

void ScreenRowsIndexedToCubeDithered(ScreenBitmap* sb, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (sb->info.header.bitCount != 8 || sb->sourceBytes == 0 || sb->sourceBytes > 2 || !g_Display.cubeCells ||
        !Clip(sb, x, y, width, height))
        return;
    const int32_t* columns = sb->columnMap + x;
    const uint8_t at = sb->channel[0];
    for (int32_t i = 0; i < height; ++i) {
        const uint8_t* src = sb->rowMap[y + i] + at;
        uint8_t* out = OutRow(sb, i);
        uint8_t* const* cells = g_Display.cubeCells[unsigned(y + i) % kCubeCell];
        for (int32_t j = 0; j < width; ++j) {
            const DibColour& c = sb->pictureColours[src[columns[j]]];
            out[j] = CubeIndex(cells[unsigned(x + j) % kCubeCell], c.red, c.green, c.blue);
        }
    }
}
