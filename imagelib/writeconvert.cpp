// Save-side scanline converters, the writer palette and the grey map.
#include "writeconvert.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "checked.h"
#include "pixelrows.h"

// ---------------------------------------------------------------------------
// Row helpers.

void PackInterleavedBitplanes(const uint8_t* src, uint8_t* dst, size_t groups, int planes) {
    for (size_t g = 0; g < groups; ++g, src += 16) {
        for (int p = 0; p < planes; ++p) {
            unsigned word = 0;
            for (int i = 0; i < 16; ++i)
                if ((src[i] >> p) & 1) word |= 0x8000u >> i;
            *dst++ = uint8_t(word >> 8);
            *dst++ = uint8_t(word);
        }
    }
}

void PackLineBitplanes(const uint8_t* src, uint8_t* dst, size_t bytesPerPlane, int planes) {
    for (int p = 0; p < planes; ++p) {
        const uint8_t* px = src;
        for (size_t k = 0; k < bytesPerPlane; ++k, px += 8) {
            unsigned byte = 0;
            for (int j = 0; j < 8; ++j) byte |= ((px[j] >> p) & 1u) << (7 - j);
            *dst++ = uint8_t(byte);
        }
    }
}

void PackPixels(const uint8_t* src, uint8_t* dst, size_t outBytes, int bits) {
    switch (bits) {
        case 1:
            for (size_t k = 0; k < outBytes; ++k, src += 8) {
                unsigned byte = 0;
                for (int j = 0; j < 8; ++j) byte = (byte << 1) | (src[j] & 1u);
                dst[k] = uint8_t(byte);
            }
            break;
        case 2:
            for (size_t k = 0; k < outBytes; ++k, src += 4)
                dst[k] = uint8_t((src[0] & 3) << 6 | (src[1] & 3) << 4 | (src[2] & 3) << 2 | (src[3] & 3));
            break;
        case 3:
        case 4:
            for (size_t k = 0; k < outBytes; ++k, src += 2) dst[k] = uint8_t((src[0] & 15) << 4 | (src[1] & 15));
            break;
        case 5:
        case 6:
        case 7:
        case 8:
            std::memcpy(dst, src, outBytes);
            break;
        default:
            break;
    }
}

uint16_t PixelOrderOfType(uint16_t pixelType) {
    switch (pixelType) {
        case kPixelBGR:
        case kPixelABGR: return 1;
        case kPixelBGRA: return 2;
        case kPixelARGB: return 3;
        case kPixelCMYK: return 4;
        default: return 0;
    }
}

// ---------------------------------------------------------------------------
// Fetchers: bitmap row -> fetch line.

namespace {

bool IsColourMode(uint32_t mode) { return mode == kPixelMask3Byte || mode == kPixelMask4Byte; }

// Bilevel rows: the packed bits, with the bits after the last pixel cleared
// (a bitmap's row padding never reaches a file).
void FetchBits(SaveRowState* s, const uint8_t* row) {
    std::memcpy(s->fetchLine, row, s->bitmapRowLength);
    if (s->width & 7) s->fetchLine[s->bitmapRowLength - 1] &= uint8_t(0xFF00u >> (s->width & 7));
}

template <unsigned kBytes>
void FetchCopyPixels(SaveRowState* s, const uint8_t* row) {
    std::memcpy(s->fetchLine, row, size_t(s->width) * kBytes);
}

// Reorders kIn-byte pixels into kOut-byte pixels: output byte k is input byte
// Ik, or 0 where Ik is negative.
template <unsigned kIn, unsigned kOut, int I0, int I1, int I2, int I3>
void FetchPermute(SaveRowState* s, const uint8_t* row) {
    uint8_t* out = s->fetchLine;
    for (int32_t x = 0; x < s->width; ++x, row += kIn, out += kOut) {
        out[0] = I0 < 0 ? 0 : row[I0 < 0 ? 0 : I0];
        out[1] = I1 < 0 ? 0 : row[I1 < 0 ? 0 : I1];
        out[2] = I2 < 0 ? 0 : row[I2 < 0 ? 0 : I2];
        if (kOut == 4) out[3] = I3 < 0 ? 0 : row[I3 < 0 ? 0 : I3];
    }
}

void FetchCmykInverted(SaveRowState* s, const uint8_t* row) {
    const size_t n = size_t(s->width) * 4;
    for (size_t i = 0; i < n; ++i) s->fetchLine[i] = uint8_t(255 - row[i]);
}

// R = (255 - C) x (255 - K) / 255 and alike; never above 255.
template <unsigned kOut>
void FetchCmykToRgb(SaveRowState* s, const uint8_t* row) {
    uint8_t* out = s->fetchLine;
    for (int32_t x = 0; x < s->width; ++x, row += 4, out += kOut) {
        const unsigned k = 255u - row[3];
        out[0] = uint8_t((255u - row[0]) * k / 255u);
        out[1] = uint8_t((255u - row[1]) * k / 255u);
        out[2] = uint8_t((255u - row[2]) * k / 255u);
        if (kOut == 4) out[3] = 0;
    }
}

using Fetcher = void (*)(SaveRowState*, const uint8_t*);

Fetcher ChooseFetcher(const SaveRowState* s) {
    const bool w24 = s->totalBits == 24;
    switch (s->sourceMode) {
        case kPixelBilevel: return FetchBits;
        case kPixelGrey: return FetchCopyPixels<1>;
        case kPixelMask3Byte:
            if (s->pixelOrder == 0) return w24 ? FetchCopyPixels<3> : FetchPermute<3, 4, 0, 1, 2, -1>;
            return w24 ? FetchPermute<3, 3, 2, 1, 0, 0> : FetchPermute<3, 4, 2, 1, 0, -1>;
        default:
            break;
    }
    switch (s->pixelOrder) {
        case 0: return w24 ? FetchPermute<4, 3, 0, 1, 2, 0> : FetchCopyPixels<4>;
        case 1: return w24 ? FetchPermute<4, 3, 3, 2, 1, 0> : FetchPermute<4, 4, 3, 2, 1, 0>;
        case 3: return w24 ? FetchPermute<4, 3, 1, 2, 3, 0> : FetchPermute<4, 4, 1, 2, 3, 0>;
        case 4:
            if (s->writerFlags & kWriteCmykInverted) return FetchCmykInverted;
            if (s->writerFlags & kWriteCmyk) return FetchCopyPixels<4>;
            return w24 ? FetchCmykToRgb<3> : FetchCmykToRgb<4>;
        default: return w24 ? FetchPermute<4, 3, 2, 1, 0, 0> : FetchPermute<4, 4, 2, 1, 0, 3>;
    }
}

// ---------------------------------------------------------------------------
// Packers: fetch line -> output row (outputLineLength bytes).

void PackCopyLine(SaveRowState* s, uint8_t* out) { std::memcpy(out, s->fetchLine, s->outputLineLength); }

void PackInterleaved(SaveRowState* s, uint8_t* out) {
    PackInterleavedBitplanes(s->fetchLine, s->scratchLine, (size_t(s->width) + 15) / 16, s->totalBits);
    std::memcpy(out, s->scratchLine, s->outputLineLength);
}

void PackLinePlanes(SaveRowState* s, uint8_t* out) {
    PackLineBitplanes(s->fetchLine, s->scratchLine, s->bytesPerPlane, s->totalBits);
    std::memcpy(out, s->scratchLine, s->outputLineLength);
}

// Planes of `width` bytes one after another, taking fetch byte Ik for plane k.
template <int kPlanes, int I0, int I1, int I2, int I3>
void PackPlanar(SaveRowState* s, uint8_t* out) {
    const size_t w = size_t(s->width);
    const unsigned step = s->fetchBytesPerPixel;
    const int order[4] = {I0, I1, I2, I3};
    for (int p = 0; p < kPlanes; ++p) {
        const uint8_t* in = s->fetchLine + order[p];
        uint8_t* plane = out + size_t(p) * w;
        for (size_t x = 0; x < w; ++x, in += step) plane[x] = *in;
    }
}

void PackPixelsRow(SaveRowState* s, uint8_t* out) { PackPixels(s->fetchLine, out, s->outputLineLength, s->bitsPerPlane); }

// Bilevel fetch lines (packed bits) to one byte per pixel: `one` for a set
// bit, 0 for a clear one.
template <uint8_t kOne>
void PackBitsToBytes(SaveRowState* s, uint8_t* out) {
    const uint8_t* bits = s->fetchLine;
    for (int32_t x = 0; x < s->width; ++x) out[x] = (bits[x >> 3] & (0x80u >> (x & 7))) ? kOne : 0;
}

// Bilevel fetch lines into 2- to 7-bit pixels: 0 and 1 as values.
void PackBitsWiden(SaveRowState* s, uint8_t* out) {
    const uint8_t* bits = s->fetchLine;
    uint8_t* px = s->scratchLine;
    for (int32_t x = 0; x < s->width; ++x) px[x] = (bits[x >> 3] & (0x80u >> (x & 7))) ? 1 : 0;
    PackPixels(px, out, s->outputLineLength, s->bitsPerPlane);
}

// Three bytes out per pixel, from fetch pixels of fetchBytesPerPixel bytes.
template <int I0, int I1, int I2>
void Pack24(SaveRowState* s, uint8_t* out) {
    const unsigned step = s->fetchBytesPerPixel;
    if (step == 3 && I0 == 0 && I1 == 1 && I2 == 2) {
        std::memcpy(out, s->fetchLine, size_t(s->width) * 3);
        return;
    }
    const uint8_t* in = s->fetchLine;
    for (int32_t x = 0; x < s->width; ++x, in += step, out += 3) {
        out[0] = in[I0];
        out[1] = in[I1];
        out[2] = in[I2];
    }
}

template <int I0, int I1, int I2, int I3>
void Pack32(SaveRowState* s, uint8_t* out) {
    const uint8_t* in = s->fetchLine;
    for (int32_t x = 0; x < s->width; ++x, in += 4, out += 4) {
        out[0] = in[I0];
        out[1] = in[I1];
        out[2] = in[I2];
        out[3] = in[I3];
    }
}

void PackCopy32(SaveRowState* s, uint8_t* out) { std::memcpy(out, s->fetchLine, size_t(s->width) * 4); }

using Packer = void (*)(SaveRowState*, uint8_t*);

Packer ChoosePacker(const SaveRowState* s) {
    const uint32_t f = s->writerFlags;
    const bool bilevel = s->sourceMode == kPixelBilevel;
    if (f & kWriteInterleavedPlanes) return bilevel ? PackCopyLine : PackInterleaved;
    if (f & kWriteSeparatePlanes) return PackCopyLine;
    if (s->planes > 1 && s->totalBits < 9) return bilevel ? PackCopyLine : PackLinePlanes;
    if (s->planes > 1) {
        if (f & kWriteReversed) return s->totalBits == 24 ? PackPlanar<3, 2, 1, 0, 0> : PackPlanar<4, 3, 2, 1, 0>;
        return s->totalBits == 24 ? PackPlanar<3, 0, 1, 2, 0> : PackPlanar<4, 0, 1, 2, 3>;
    }
    if (s->bitsPerPlane <= 8) {
        if (f & kWriteBytePerPixel) return bilevel ? PackBitsToBytes<1> : PackCopyLine;
        if (!bilevel) return PackPixelsRow;
        if (s->bitsPerPlane == 1) return PackCopyLine;
        if (s->bitsPerPlane == 8) return s->paletteLayout ? PackBitsToBytes<1> : PackBitsToBytes<255>;
        return PackBitsWiden;
    }
    if (s->totalBits == 24) return (f & kWriteReversed) ? Pack24<2, 1, 0> : Pack24<0, 1, 2>;
    if (f & kWriteReversed) return Pack32<3, 2, 1, 0>;
    if (f & kWriteBgra) return Pack32<2, 1, 0, 3>;
    if (f & kWriteAlphaFirst) return Pack32<3, 0, 1, 2>;
    return PackCopy32;
}

}  // namespace

// ---------------------------------------------------------------------------
// Planning and selection.

int PlanWriteLines(SaveRowState* s, int16_t headerComponents, int16_t headerBitsPerSample) {
    if (headerComponents > 0 && headerBitsPerSample > 8) return kSaveRefused;
    if (s->width < 1 || s->planes < 1 || s->bitsPerPlane < 1 || s->totalBits < 1 || s->totalBits > 32)
        return kSaveRefused;
    const uint32_t f = s->writerFlags;
    const bool colour = IsColourMode(s->sourceMode);
    if (!(f & kWriteSeparatePlanes) && (colour ? s->totalBits <= 8 : s->totalBits > 8)) return kSaveRefused;

    // Bytes per fetched pixel, as the chosen fetcher writes them.
    if (!colour) s->fetchBytesPerPixel = 1;
    else if (s->pixelOrder == 4 && (f & (kWriteCmykInverted | kWriteCmyk))) s->fetchBytesPerPixel = 4;
    else s->fetchBytesPerPixel = s->totalBits == 24 ? 3 : 4;

    const size_t w = size_t(s->width);
    const size_t planeBytes = s->bytesPerPlane;
    size_t planesTotal = 0;
    if (!CheckedMul(size_t(s->planes), planeBytes, &planesTotal)) return kSaveNoMemory;

    size_t line = 0;
    bool ok = true;
    if (f & kWriteInterleavedPlanes) line = planesTotal;
    else if (f & kWriteSeparatePlanes) ok = CheckedMul(w, s->fetchBytesPerPixel, &line);
    else if (s->planes > 1 && s->totalBits <= 8) line = planesTotal;
    else if (s->planes > 1 || s->bitsPerPlane > 8) ok = CheckedMul(w, s->fetchBytesPerPixel, &line);
    else if (f & kWriteBytePerPixel) line = w;
    else line = (w * size_t(s->bitsPerPlane) + 7) / 8;  // w < 2^31, bits <= 8
    if (!ok || line == 0) return kSaveNoMemory;
    s->outputLineLength = line;

    // Pixels the fetch line holds: whole 16-pixel groups, and all that the
    // line bit-plane packer reads (8 per byte of a plane).
    size_t capacity = (w + 15) / 16 * 16;
    size_t planeReads = 0;
    if (!CheckedMul(planeBytes, 8, &planeReads)) return kSaveNoMemory;
    const bool bitPlanes = (f & kWriteInterleavedPlanes) || (s->planes > 1 && s->totalBits <= 8);
    if (bitPlanes) capacity = std::max(capacity, planeReads);

    size_t fetchBytes = 0;
    if (!CheckedMul(capacity, s->fetchBytesPerPixel, &fetchBytes)) return kSaveNoMemory;
    fetchBytes = std::max({fetchBytes, s->bitmapRowLength, line});
    if (!CheckedAdd(fetchBytes, 16, &s->fetchLineSize)) return kSaveNoMemory;

    // Scratch: the bit-plane packers' output and the widened bilevel pixels.
    size_t scratch = std::max(capacity, line);
    size_t planeWrites = 0;
    if (!CheckedMul3((w + 15) / 16, 2, size_t(s->totalBits), &planeWrites)) return kSaveNoMemory;
    scratch = std::max(scratch, planeWrites);
    if (!CheckedMul(planeBytes, size_t(s->totalBits), &planeWrites)) return kSaveNoMemory;
    scratch = std::max(scratch, planeWrites);
    if (!CheckedAdd(scratch, 16, &s->scratchLineSize)) return kSaveNoMemory;

    s->narrowLineSize = 0;
    if (s->deepSampleBytes && !CheckedMul(w, s->deepComponents ? s->deepComponents : 1, &s->narrowLineSize))
        return kSaveNoMemory;
    return 0;
}

void SelectWriteConverters(SaveRowState* s) {
    s->fetch = ChooseFetcher(s);
    s->pack = ChoosePacker(s);
}

// ---------------------------------------------------------------------------
// Deep samples.

void NarrowDeepRow(SaveRowState* s, const uint8_t* row) {
    const size_t n = size_t(s->width) * s->deepComponents;
    uint8_t* out = s->narrowLine;
    if (s->deepSampleBytes == 2) {
        for (size_t i = 0; i < n; ++i, row += 2) {
            uint16_t v;
            std::memcpy(&v, row, 2);
            out[i] = uint8_t(ScaleFieldTo8(v, s->deepBits));
        }
    } else {
        for (size_t i = 0; i < n; ++i, row += 4) {
            uint32_t v;
            std::memcpy(&v, row, 4);
            out[i] = uint8_t(ScaleFieldTo8(v, s->deepBits));
        }
    }
}

// ---------------------------------------------------------------------------
// Writer palette.

int BuildWriterPalette(SaveRowState* s) {
    s->writerPalette = nullptr;
    s->writerPaletteSize = 0;
    if (!s->paletteLayout || (s->pixelType & kPixelMaskColour)) return 0;

    uint8_t rgb[3][256] = {};
    if (s->pixelType == kPixelBilevel) {
        for (int i = 1; i < 4; ++i) rgb[0][i] = rgb[1][i] = rgb[2][i] = 255;
    } else if (s->pixelType == kPixelGrey) {
        const int n = EffectiveColourCount(kPixelGrey, s->colourCount);
        for (int i = 0; i < n; ++i) rgb[0][i] = rgb[1][i] = rgb[2][i] = uint8_t(i * 255 / (n - 1));
    } else if (s->bitmapPalette) {
        const int n = EffectiveColourCount(kPixelPalette, s->colourCount);
        for (int c = 0; c < 3; ++c) std::memcpy(rgb[c], s->bitmapPalette + size_t(c) * 256, size_t(n));
    }
    const uint16_t layout = s->paletteLayout;
    if (layout & kPaletteInverted)
        for (auto& plane : rgb)
            for (uint8_t& v : plane) v = uint8_t(255 - v);

    const int entries = s->totalBits >= 8 ? 256 : 1 << s->totalBits;
    const unsigned c = s->paletteBits;
    const bool words = layout & (kPaletteWords333 | kPaletteWords444Rot | kPaletteWords444);
    const size_t perEntry = words ? 2 : (c > 8 ? 6 : 3);
    // Never smaller than 256 three-byte entries, so a writer that copies a
    // whole table stays inside it; the unused part is zero.
    s->writerPaletteSize = std::max<size_t>(size_t(entries) * perEntry, 256 * 6);
    s->writerPalette = static_cast<uint8_t*>(std::calloc(1, s->writerPaletteSize));
    if (!s->writerPalette) {
        s->writerPaletteSize = 0;
        return 1;
    }
    uint8_t* out = s->writerPalette;
    const unsigned m = c >= 8 ? 255 : (1u << c) - 1;
    const bool bgr = layout & kPaletteBgr;
    auto component = [&](int plane, int i) { return rgb[bgr ? 2 - plane : plane][i]; };

    if (words) {
        for (int i = 0; i < entries; ++i) {
            unsigned f[3];
            for (int k = 0; k < 3; ++k) {
                const unsigned v = rgb[k][i];
                if (layout & kPaletteWords333) f[k] = v * 7 / 255;
                else if (layout & kPaletteWords444Rot) {
                    const unsigned c4 = v * 15 / 255;
                    f[k] = (c4 >> 1) | ((c4 & 1) << 3);
                } else f[k] = v * 15 / 255;
            }
            const unsigned word = f[0] << 8 | f[1] << 4 | f[2];
            *out++ = uint8_t(word >> 8);
            *out++ = uint8_t(word);
        }
    } else if (layout & kPalettePlanar) {
        for (int plane = 0; plane < 3; ++plane) {
            for (int i = 0; i < entries; ++i) {
                const unsigned v = component(plane, i);
                if (c > 8) {
                    const unsigned v16 = v * 257;
                    *out++ = uint8_t(v16);
                    *out++ = uint8_t(v16 >> 8);
                } else {
                    *out++ = uint8_t(v * m / 255);
                }
            }
        }
    } else {
        for (int i = 0; i < entries; ++i) {
            for (int plane = 0; plane < 3; ++plane) {
                const unsigned v = component(plane, i);
                if (c > 8) {
                    const unsigned v16 = v * 257;
                    *out++ = uint8_t(v16);
                    *out++ = uint8_t(v16 >> 8);
                } else {
                    *out++ = uint8_t(v * m / 255);
                }
            }
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Grey map.

void BuildGreyMap(SaveRowState* s) {
    s->greyMapEnabled = 0;
    std::memset(s->greyMap, 0, sizeof s->greyMap);
    if ((s->pixelType & kPixelMaskColour) || (s->writerFlags & kWriteBytePerPixel) || s->paletteLayout ||
        s->totalBits > 8)
        return;
    const bool inverted = s->writerFlags & kWriteGreyInverted;
    s->greyMapEnabled = 1;
    if (s->pixelType == kPixelBilevel && s->bitsPerPlane == 8) {
        s->greyMap[0] = inverted ? 255 : 0;
        s->greyMap[1] = inverted ? 0 : 255;
        return;
    }
    const int n = std::max(2, EffectiveColourCount(s->pixelType, s->colourCount));
    const int m = 1 << s->totalBits;
    for (int i = 0; i < n; ++i) s->greyMap[i] = uint8_t(i * (m - 1) / (n - 1));
    if (inverted)
        for (int i = 0; i < m; ++i) s->greyMap[i] = uint8_t(m - 1 - s->greyMap[i]);
}

void ApplyGreyMap(SaveRowState* s) {
    if (s->sourceMode == kPixelBilevel) {
        if (!s->greyMap[0]) return;
        for (size_t i = 0; i < s->bitmapRowLength; ++i) s->fetchLine[i] = uint8_t(~s->fetchLine[i]);
        if (s->width & 7) s->fetchLine[s->bitmapRowLength - 1] &= uint8_t(0xFF00u >> (s->width & 7));
        return;
    }
    uint8_t* p = s->fetchLine;
    for (int32_t x = 0; x < s->width; ++x) p[x] = s->greyMap[p[x]];
}
