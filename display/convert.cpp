// The six row converters: from the picture, through the row and column maps,
// into the DIB's rows (top row last in memory). Each cuts the rectangle to
// the target and to the DIB before writing, so a caller's rectangle can
// never reach past the DIB. See display.h.
#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "display/display.h"

namespace {

// The rectangle cut to the target and the DIB; false when nothing is left
// or the record has no maps or DIB.
bool Clip(const ScreenBitmap* sb, int32_t& x, int32_t& y, int32_t& w, int32_t& h) {
    if (!sb->rowMap || !sb->columnMap || !sb->dibTopRow) return false;
    const int64_t left = x > 0 ? x : 0;
    const int64_t top = y > 0 ? y : 0;
    const int64_t right = std::min({int64_t(x) + w, int64_t(sb->targetWidth), left + sb->dibWidth});
    const int64_t bottom = std::min({int64_t(y) + h, int64_t(sb->targetHeight), top + sb->dibHeight});
    if (right <= left || bottom <= top) return false;
    x = int32_t(left);
    y = int32_t(top);
    w = int32_t(right - left);
    h = int32_t(bottom - top);
    return true;
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

// Calls put(out row, target x, target y, column in the rectangle, r, g, b)
// for every pixel of the rectangle, already clipped.
// The offsets and maps are copied into locals first: the writes through
// `out` could alias the record, which would make the compiler reload them
// for every pixel.
template <bool Cmyk, class Put>
inline void EachColour(ScreenBitmap* sb, int32_t x, int32_t y, int32_t w, int32_t h, Put put) {
    const int32_t* columns = sb->columnMap + x;
    const uint8_t* const* rows = sb->rowMap + y;
    const uint8_t ch[4] = {sb->channel[0], sb->channel[1], sb->channel[2], sb->channel[3]};
    for (int32_t i = 0; i < h; ++i) {
        const uint8_t* src = rows[i];
        uint8_t* out = OutRow(sb, i);
        for (int32_t j = 0; j < w; ++j) {
            unsigned r, g, b;
            Fetch<Cmyk>(src + columns[j], ch, r, g, b);
            put(out, unsigned(x + j), unsigned(y + i), j, r, g, b);
        }
    }
}

template <bool Cmyk>
void MappedTo24(ScreenBitmap* sb, int32_t x, int32_t y, int32_t w, int32_t h) {
    EachColour<Cmyk>(sb, x, y, w, h, [](uint8_t* out, unsigned, unsigned, int32_t j, unsigned r, unsigned g, unsigned b) {
        out[3 * j] = uint8_t(b);
        out[3 * j + 1] = uint8_t(g);
        out[3 * j + 2] = uint8_t(r);
    });
}

// A 16-bit DIB pixel, least significant byte first.
inline void Store16Le(uint8_t* out, unsigned v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    const uint16_t w = uint16_t(v);
    std::memcpy(out, &w, 2);
#else
    out[0] = uint8_t(v);
    out[1] = uint8_t(v >> 8);
#endif
}

#if defined(__SSE2__)
// Pixels 0 and 1 of three bytes at the start of the low half, 2 and 3 at the
// start of the high half: into one 32-bit lane each.
inline __m128i SpreadPixels(__m128i even) {
    const __m128i odd = _mm_srli_epi64(even, 24);  // 1 and 3 at the halves' starts
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(3, 1, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(3, 1, 2, 0)));
}

// Four pixels of three (or four) bytes from `p` into the low three bytes of
// each 32-bit lane. Reads 22 bytes (16 for four-byte pixels).
inline __m128i FourPixels(const uint8_t* p, int step) {
    if (step == 4) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));      // pixels 0, 1 in the low half
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 6));  // pixels 2, 3 in the low half
    return SpreadPixels(_mm_unpacklo_epi64(a, b));
}

// The same from exactly the 12 bytes of four three-byte pixels, for the last
// pixels of a row.
inline __m128i FourPixelsExact(const uint8_t* p) {
    uint64_t first;
    uint32_t last;
    std::memcpy(&first, p, 8);
    std::memcpy(&last, p + 8, 4);
    const __m128i v = _mm_set_epi64x(int64_t(last), int64_t(first));
    return SpreadPixels(_mm_unpacklo_epi64(v, _mm_srli_si128(v, 6)));
}

// Four pixels wherever the column map puts them, one per lane. A pixel's
// fourth byte is read along with it where the row has one.
inline __m128i GatherPixels(const uint8_t* src, const int32_t* columns, int64_t rowBytes) {
    uint32_t lane[4];
    for (int k = 0; k < 4; ++k) {
        const uint8_t* p = src + columns[k];
        if (int64_t(columns[k]) + 4 <= rowBytes) std::memcpy(&lane[k], p, 4);
        else lane[k] = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    }
    return _mm_setr_epi32(int(lane[0]), int(lane[1]), int(lane[2]), int(lane[3]));
}

// Pixels of `step` (3 or 4) bytes, no inks: the tables give level v / 8,
// one more where v % 8 passes the cell's threshold t (and v is below 248),
// so four pixels are done at a time from the thresholds. Does every column
// of the rectangle; `even` when the columns lie one pixel apart.
void DitherTo16Lanes(ScreenBitmap* sb, int32_t x, int32_t y, int32_t w, int32_t h, int step, bool even) {
    const int32_t* columns = sb->columnMap + x;
    const int32_t groups = w / 4;
    const int64_t rowBytes = int64_t(sb->sourceWidth) * step;
    // Four neighbouring three-byte pixels read 22 bytes from their first:
    // the groups whose reads would pass the source row's pixels read exactly
    // theirs. Columns that are not neighbours are gathered one by one.
    const int64_t lastStart = rowBytes - (step == 4 ? 16 : 22);
    int32_t wide = 0;
    if (even)
        while (wide < groups && int64_t(columns[wide * 4]) <= lastStart) ++wide;
    // The colours are worked on in a lane's low three bytes: pixels whose
    // first byte is alpha are moved down one.
    const int drop = std::max({sb->channel[0], sb->channel[1], sb->channel[2]}) == 3 ? 1 : 0;
    // Each lane's cell threshold t in its three colour bytes, for each row
    // phase (a cell's blue table is 0 from v = 0 to t); never passed in the
    // fourth byte.
    __m128i thresholds[4];
    for (unsigned ty = 0; ty < 4; ++ty) {
        int lane[4];
        for (unsigned k = 0; k < 4; ++k) {
            const uint16_t* cell = g_Display.ditherBlue + (size_t(ty + 4u * ((unsigned(x) + k) & 3u)) << 8);
            int t = -1;
            while (t < 7 && cell[t + 1] == 0) ++t;
            lane[k] = int(0x7F000000u | uint32_t(uint8_t(t)) * 0x010101u);
        }
        thresholds[ty] = _mm_setr_epi32(lane[0], lane[1], lane[2], lane[3]);
    }
    // A level's weight in the 16-bit word by the byte it is in: red 1 << 10,
    // green 1 << 5, blue 1. Bytes 0 and 2 are weighed as the two 16-bit
    // halves of the lane masked to their low bytes, byte 1 on its own.
    int weight[3];
    weight[sb->channel[0] - drop] = 1 << 10;
    weight[sb->channel[1] - drop] = 1 << 5;
    weight[sb->channel[2] - drop] = 1;
    const __m128i weighEven = _mm_set1_epi32(weight[0] | weight[2] << 16);
    const __m128i weighOdd = _mm_set1_epi32(weight[1]);
    const __m128i evenBytes = _mm_set1_epi32(0x00FF00FF);
    const __m128i low3 = _mm_set1_epi32(0x070707);
    const __m128i five = _mm_set1_epi32(0x1F1F1F);
    // Four pixels, one per lane, stored as four 16-bit words at `out`.
    const auto dither = [&](__m128i v, __m128i threshold, uint8_t* out) {
        if (drop) v = _mm_srli_epi32(v, 8);
        const __m128i base = _mm_and_si128(_mm_srli_epi32(v, 3), five);
        const __m128i passes = _mm_cmpgt_epi8(_mm_and_si128(v, low3), threshold);  // -1 where passed
        // One more where passed, but never past 31.
        const __m128i level = _mm_min_epu8(_mm_sub_epi8(base, passes), five);
        const __m128i word = _mm_add_epi32(_mm_madd_epi16(_mm_and_si128(level, evenBytes), weighEven),
                                           _mm_madd_epi16(_mm_srli_epi16(level, 8), weighOdd));
        // Words below 0x8000: the signed pack keeps them.
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packs_epi32(word, word));
    };
    const uint16_t* red = g_Display.ditherRed;
    const uint16_t* green = g_Display.ditherGreen;
    const uint16_t* blue = g_Display.ditherBlue;
    const uint8_t ch[3] = {sb->channel[0], sb->channel[1], sb->channel[2]};
    const uint8_t* const* rows = sb->rowMap + y;
    for (int32_t i = 0; i < h; ++i) {
        const unsigned ty = unsigned(y + i) & 3u;
        const __m128i threshold = thresholds[ty];
        const uint8_t* src = rows[i];
        uint8_t* out = OutRow(sb, i);
        int32_t g = 0;
        for (; g < wide; ++g) dither(FourPixels(src + columns[4 * g], step), threshold, out + 8 * g);
        if (even)
            for (; g < groups; ++g) dither(FourPixelsExact(src + columns[4 * g]), threshold, out + 8 * g);
        else
            for (; g < groups; ++g) dither(GatherPixels(src, columns + 4 * g, rowBytes), threshold, out + 8 * g);
        // Fewer than four left: from the tables.
        for (int32_t j = 4 * groups; j < w; ++j) {
            const size_t cell = size_t(ty + 4u * ((unsigned(x) + unsigned(j)) & 3u)) << 8;
            const uint8_t* p = src + columns[j];
            Store16Le(out + 2 * j, red[cell + p[ch[0]]] | green[cell + p[ch[1]]] | blue[cell + p[ch[2]]]);
        }
    }
}
#endif

// The dither cell of a pixel depends on its target column and row, each
// modulo 4: a row goes in four passes, one per column phase, each with its
// cell's three tables held in registers. Pixels of three or four bytes go
// four at a time where the processor allows.
template <bool Cmyk>
void DitherTo16(ScreenBitmap* sb, int32_t x, int32_t y, int32_t w, int32_t h) {
#if defined(__SSE2__)
    if (!Cmyk && (sb->sourceBytes == 3 || sb->sourceBytes == 4)) {
        const int32_t* columns = sb->columnMap + x;
        bool even = true;
        for (int32_t j = 1; j < w && even; ++j) even = columns[j] - columns[j - 1] == sb->sourceBytes;
        DitherTo16Lanes(sb, x, y, w, h, sb->sourceBytes, even);
        return;
    }
#endif
    const uint16_t* red = g_Display.ditherRed;
    const uint16_t* green = g_Display.ditherGreen;
    const uint16_t* blue = g_Display.ditherBlue;
    const int32_t* columns = sb->columnMap + x;
    const uint8_t* const* rows = sb->rowMap + y;
    const uint8_t ch[4] = {sb->channel[0], sb->channel[1], sb->channel[2], sb->channel[3]};
    for (int32_t i = 0; i < h; ++i) {
        const uint8_t* src = rows[i];
        uint8_t* out = OutRow(sb, i);
        const unsigned ty = unsigned(y + i) & 3u;
        for (int32_t k = 0; k < 4 && k < w; ++k) {
            const size_t base = size_t(ty + 4u * ((unsigned(x) + unsigned(k)) & 3u)) << 8;
            const uint16_t* r4 = red + base;
            const uint16_t* g4 = green + base;
            const uint16_t* b4 = blue + base;
            for (int32_t j = k; j < w; j += 4) {
                unsigned r, g, b;
                Fetch<Cmyk>(src + columns[j], ch, r, g, b);
                Store16Le(out + 2 * j, r4[r] | g4[g] | b4[b]);
            }
        }
    }
}

// The cube tables, read once per rectangle rather than from g_Display for
// every pixel.
struct CubeTables {
    const uint8_t (*cells)[kCubeCell][256];
    const CubeChannelEntry* red;
    const CubeChannelEntry* green;
    const CubeChannelEntry* blue;

    CubeTables()
        : cells(g_Display.cubeCells),
          red(g_Display.cubeChannels[0]),
          green(g_Display.cubeChannels[1]),
          blue(g_Display.cubeChannels[2]) {}

    uint8_t Index(unsigned tx, unsigned ty, unsigned r, unsigned g, unsigned b) const {
        const uint8_t* cell = cells[ty % kCubeCell][tx % kCubeCell];
        const CubeChannelEntry& er = red[r];
        const CubeChannelEntry& eg = green[g];
        const CubeChannelEntry& eb = blue[b];
        return uint8_t(er.index[cell[er.fraction]] + eg.index[cell[eg.fraction]] + eb.index[cell[eb.fraction]]);
    }
};

template <bool Cmyk>
void RgbToCube(ScreenBitmap* sb, int32_t x, int32_t y, int32_t w, int32_t h) {
    const CubeTables cube;
    EachColour<Cmyk>(sb, x, y, w, h,
                     [cube](uint8_t* out, unsigned tx, unsigned ty, int32_t j, unsigned r, unsigned g, unsigned b) {
                         out[j] = cube.Index(tx, ty, r, g, b);
                     });
}

// Runs the converter made for the picture's inks: CMYK or light.
void ByInks(ScreenBitmap* sb, ScreenRowConverter light, ScreenRowConverter inks, int32_t x, int32_t y, int32_t w,
            int32_t h) {
    (sb->cmyk ? inks : light)(sb, x, y, w, h);
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
        ByInks(sb, MappedTo24<false>, MappedTo24<true>, x, y, width, height);
    }
}

void ScreenRowsRgbTo16Dithered(ScreenBitmap* sb, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (sb->info.header.bitCount != 16 || sb->sourceBytes < 3 || !g_Display.ditherRed ||
        !Clip(sb, x, y, width, height))
        return;
    ByInks(sb, DitherTo16<false>, DitherTo16<true>, x, y, width, height);
}

void ScreenRowsRgbToCubeDithered(ScreenBitmap* sb, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (sb->info.header.bitCount != 8 || sb->sourceBytes < 3 || !g_Display.cubeCells ||
        !Clip(sb, x, y, width, height))
        return;
    ByInks(sb, RgbToCube<false>, RgbToCube<true>, x, y, width, height);
}

void ScreenRowsIndexedToCubeDithered(ScreenBitmap* sb, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (sb->info.header.bitCount != 8 || sb->sourceBytes == 0 || sb->sourceBytes > 2 || !g_Display.cubeCells ||
        !Clip(sb, x, y, width, height))
        return;
    const CubeTables cube;
    const int32_t* columns = sb->columnMap + x;
    const DibColour* colours = sb->pictureColours;
    const uint8_t at = sb->channel[0];
    for (int32_t i = 0; i < height; ++i) {
        const uint8_t* src = sb->rowMap[y + i] + at;
        uint8_t* out = OutRow(sb, i);
        for (int32_t j = 0; j < width; ++j) {
            const DibColour& c = colours[src[columns[j]]];
            out[j] = cube.Index(unsigned(x + j), unsigned(y + i), c.red, c.green, c.blue);
        }
    }
}
