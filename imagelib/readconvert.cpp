// Load-side scanline converters: unpackers, storers and palette builders.
#include "readconvert.h"

#include <cstring>

namespace {

// ---------------------------------------------------------------------------
// Unpackers. `count` is the number of source pixels; the plan guarantees that
// the source holds them and that dst (and the scratch line) has room.

// Packed bits stay packed (bilevel output).
void UnpackBitsCopy(const LoadRowState*, const uint8_t* src, uint8_t* dst, int32_t count) {
    std::memcpy(dst, src, (size_t(count) + 7) / 8);
}

// Bytes 0 or 1 become packed bits (bilevel output).
void UnpackBytesToBits(const LoadRowState*, const uint8_t* src, uint8_t* dst, int32_t count) {
    std::memset(dst, 0, (size_t(count) + 7) / 8);
    for (int32_t i = 0; i < count; ++i)
        if (src[i] & 1) dst[i >> 3] |= uint8_t(0x80 >> (i & 7));
}

// Packed bits become bytes 0 or 1 (bit planes delivered separately).
void UnpackBitsToBytes(const LoadRowState*, const uint8_t* src, uint8_t* dst, int32_t count) {
    for (int32_t i = 0; i < count; ++i) dst[i] = (src[i >> 3] >> (7 - (i & 7))) & 1;
}

void UnpackInterleaved(const LoadRowState* rs, const uint8_t* src, uint8_t* dst, int32_t count) {
    UnpackInterleavedBitplanes(src, rs->unpackScratch, int32_t(rs->bytesPerPlane / 2), rs->bitsPerPixel);
    std::memcpy(dst, rs->unpackScratch, size_t(count));
}

void UnpackBytes(const LoadRowState*, const uint8_t* src, uint8_t* dst, int32_t count) {
    std::memcpy(dst, src, size_t(count));
}

void UnpackLinePlanes(const LoadRowState* rs, const uint8_t* src, uint8_t* dst, int32_t count) {
    UnpackLineBitplanes(src, rs->unpackScratch, int32_t(rs->bytesPerPlane), rs->planes);
    std::memcpy(dst, rs->unpackScratch, size_t(count));
}

void UnpackPacked(const LoadRowState* rs, const uint8_t* src, uint8_t* dst, int32_t count) {
    UnpackPackedPixels(src, dst, count, rs->bitsPerPlane);
}

// 12-bit colour: two pixels in three bytes, nibbles R0 G0 B0 R1 G1 B1.
void Unpack12(const LoadRowState*, const uint8_t* src, uint8_t* dst, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        const size_t nibble = size_t(i) * 3;
        for (int k = 0; k < 3; ++k) {
            const size_t n = nibble + size_t(k);
            const uint8_t byte = src[n / 2];
            dst[k] = uint8_t(((n & 1) ? (byte & 0x0F) : (byte >> 4)) * 17);
        }
        dst += 3;
    }
}

// 16-bit little-endian words with three fields: shift and width of each.
template <int RS, int RB, int GS, int GB, int BS, int BB>
void UnpackWords(const LoadRowState*, const uint8_t* src, uint8_t* dst, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t v = uint32_t(src[0]) | (uint32_t(src[1]) << 8);
        dst[0] = WidenField((v >> RS) & ((1u << RB) - 1), RB);
        dst[1] = WidenField((v >> GS) & ((1u << GB) - 1), GB);
        dst[2] = WidenField((v >> BS) & ((1u << BB) - 1), BB);
        src += 2;
        dst += 3;
    }
}

void UnpackCopy3(const LoadRowState*, const uint8_t* src, uint8_t* dst, int32_t count) {
    std::memcpy(dst, src, size_t(count) * 3);
}

void UnpackCopy4(const LoadRowState*, const uint8_t* src, uint8_t* dst, int32_t count) {
    std::memcpy(dst, src, size_t(count) * 4);
}

void UnpackSwap3(const LoadRowState*, const uint8_t* src, uint8_t* dst, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
        src += 3;
        dst += 3;
    }
}

// Four bytes a pixel: output byte k is source byte Sk.
template <int S0, int S1, int S2, int S3>
void UnpackShuffle4(const LoadRowState*, const uint8_t* src, uint8_t* dst, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        dst[0] = src[S0];
        dst[1] = src[S1];
        dst[2] = src[S2];
        dst[3] = src[S3];
        src += 4;
        dst += 4;
    }
}

// Byte planes of one row: plane p starts at p x bytesPerPlane; output byte k
// of pixel i is byte i of plane Pk (N bytes a pixel).
template <int N, int P0, int P1, int P2, int P3 = 0>
void UnpackPlanar(const LoadRowState* rs, const uint8_t* src, uint8_t* dst, int32_t count) {
    const size_t stride = rs->bytesPerPlane;
    const uint8_t* planes[4] = {src + P0 * stride, src + P1 * stride, src + P2 * stride, src + P3 * stride};
    for (int32_t i = 0; i < count; ++i, dst += N)
        for (int k = 0; k < N; ++k) dst[k] = planes[k][i];
}

// Deep samples: whole pixels of several bytes, copied.
void UnpackCopyDeep(const LoadRowState* rs, const uint8_t* src, uint8_t* dst, int32_t count) {
    std::memcpy(dst, src, size_t(count) * size_t(rs->linePixelBytes));
}

// ---------------------------------------------------------------------------
// Storers.

// Packed bits: the bytes that hold `count` pixels.
void StoreBits(const LoadRowState*, const uint8_t* line, int, uint8_t* dst, int32_t count) {
    std::memcpy(dst, line, (size_t(count) + 7) / 8);
}

void StoreCopy1(const LoadRowState*, const uint8_t* line, int, uint8_t* dst, int32_t count) {
    std::memcpy(dst, line, size_t(count));
}

void StoreCopy3(const LoadRowState*, const uint8_t* line, int, uint8_t* dst, int32_t count) {
    std::memcpy(dst, line, size_t(count) * 3);
}

void StoreCopy4(const LoadRowState*, const uint8_t* line, int, uint8_t* dst, int32_t count) {
    std::memcpy(dst, line, size_t(count) * 4);
}

// Two one-bit planes delivered separately (the line holds bytes 0 or 1): plane
// 0 sets the pixel's index, plane p ORs its bit in at position p. The index
// goes to byte storeMap[0] of N-byte pixels.
template <int N>
void StoreCombinePlanes(const LoadRowState* rs, const uint8_t* line, int plane, uint8_t* dst, int32_t count) {
    dst += rs->storeMap[0];
    if (plane == 0) {
        for (int32_t i = 0; i < count; ++i) dst[size_t(i) * N] = line[i] & 1;
    } else {
        for (int32_t i = 0; i < count; ++i) dst[size_t(i) * N] |= uint8_t((line[i] & 1) << plane);
    }
}

void StoreSwap3(const LoadRowState*, const uint8_t* line, int, uint8_t* dst, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        dst[0] = line[2];
        dst[1] = line[1];
        dst[2] = line[0];
        line += 3;
        dst += 3;
    }
}

// Map codes of storeMap: 0..3 a byte of the line's pixel, else these.
constexpr int8_t kMapZero = -1;
constexpr int8_t kMapAlphaFill = -2;

template <int N>
void StoreMapped(const LoadRowState* rs, const uint8_t* line, int, uint8_t* dst, int32_t count) {
    const int step = rs->linePixelBytes;
    const int8_t* map = rs->storeMap;
    const uint8_t fill = rs->alphaFill;
    for (int32_t i = 0; i < count; ++i) {
        for (int k = 0; k < N; ++k) {
            const int8_t m = map[k];
            dst[k] = m >= 0 ? line[m] : m == kMapAlphaFill ? fill : 0;
        }
        line += step;
        dst += N;
    }
}

// One plane of a separately delivered picture into its byte of each pixel.
template <int N>
void StorePlane(const LoadRowState* rs, const uint8_t* line, int plane, uint8_t* dst, int32_t count) {
    if (plane < 0 || plane > 3) return;
    const int8_t at = rs->storeMap[plane];
    if (at < 0) return;
    for (int32_t i = 0; i < count; ++i) dst[size_t(i) * N + size_t(at)] = line[i];
}

// Deep samples of S bytes: output sample k is the line's sample storeMap[k],
// the deep alpha or 0; output pixels of outBytesPerPixel bytes.
template <typename Sample>
void StoreDeepMapped(const LoadRowState* rs, const uint8_t* line, int, uint8_t* dst, int32_t count) {
    const int samples = rs->outBytesPerPixel / int(sizeof(Sample));
    const int8_t* map = rs->storeMap;
    const auto alpha = static_cast<Sample>(rs->deepAlpha);
    for (int32_t i = 0; i < count; ++i) {
        for (int k = 0; k < samples; ++k) {
            const int8_t m = map[k];
            Sample v = 0;
            if (m >= 0) std::memcpy(&v, line + size_t(m) * sizeof(Sample), sizeof v);
            else if (m == kMapAlphaFill) v = alpha;
            std::memcpy(dst + size_t(k) * sizeof(Sample), &v, sizeof v);
        }
        line += rs->linePixelBytes;
        dst += rs->outBytesPerPixel;
    }
}

void StoreCopyDeep(const LoadRowState* rs, const uint8_t* line, int, uint8_t* dst, int32_t count) {
    std::memcpy(dst, line, size_t(count) * size_t(rs->outBytesPerPixel));
}

void SetMap(LoadRowState* rs, int8_t a, int8_t b, int8_t c, int8_t d) {
    rs->storeMap[0] = a;
    rs->storeMap[1] = b;
    rs->storeMap[2] = c;
    rs->storeMap[3] = d;
}

}  // namespace

// ---------------------------------------------------------------------------
// Row helpers.

namespace {

// The fields of each byte value of B-bit fields, most significant first.
template <int B>
struct FieldTable {
    uint8_t fields[256][8 / B];
    FieldTable() {
        for (unsigned b = 0; b < 256; ++b)
            for (int i = 0; i < 8 / B; ++i) fields[b][i] = uint8_t((b >> (8 - B * (i + 1))) & ((1u << B) - 1));
    }
};

// A whole byte's fields at a time, from a table: no division or shift per
// pixel.
template <int B>
void UnpackFields(const uint8_t* src, uint8_t* dst, int32_t count) {
    constexpr int kPerByte = 8 / B;
    static const FieldTable<B> table;
    const int32_t whole = count / kPerByte;
    for (int32_t i = 0; i < whole; ++i, dst += kPerByte) std::memcpy(dst, table.fields[src[i]], kPerByte);
    for (int32_t i = 0; i < count % kPerByte; ++i) dst[i] = table.fields[src[whole]][i];
}

}  // namespace

void UnpackPackedPixels(const uint8_t* src, uint8_t* dst, int32_t count, int bits) {
    if (count <= 0) return;
    switch (bits) {
    case 1: UnpackFields<1>(src, dst, count); return;
    case 2: UnpackFields<2>(src, dst, count); return;
    case 4: UnpackFields<4>(src, dst, count); return;
    case 8: std::memcpy(dst, src, size_t(count)); return;
    default: return;
    }
}

void UnpackInterleavedBitplanes(const uint8_t* src, uint8_t* dst, int32_t words, int planes) {
    if (words <= 0) return;
    std::memset(dst, 0, size_t(words) * 16);
    for (int32_t g = 0; g < words; ++g) {
        uint8_t* group = dst + size_t(g) * 16;
        for (int p = 0; p < planes; ++p) {
            const uint32_t word = (uint32_t(src[0]) << 8) | src[1];
            src += 2;
            if (!word || p > 7) continue;
            for (int i = 0; i < 16; ++i)
                if (word & (0x8000u >> i)) group[i] |= uint8_t(1u << p);
        }
    }
}

void UnpackLineBitplanes(const uint8_t* src, uint8_t* dst, int32_t bytesPerPlane, int planes) {
    if (bytesPerPlane <= 0) return;
    std::memset(dst, 0, size_t(bytesPerPlane) * 8);
    for (int p = 0; p < planes && p < 8; ++p) {
        const uint8_t* plane = src + size_t(p) * size_t(bytesPerPlane);
        for (int32_t k = 0; k < bytesPerPlane; ++k) {
            const uint8_t byte = plane[k];
            if (!byte) continue;
            for (int j = 0; j < 8; ++j)
                if (byte & (0x80 >> j)) dst[size_t(k) * 8 + size_t(j)] |= uint8_t(1u << p);
        }
    }
}

// ---------------------------------------------------------------------------
// Choice of the unpacker.

namespace {

// The unpacker of a layout with what it reads and writes, or null.
RowUnpacker ChooseUnpacker(const LoadRowState* rs, UnpackPlan* plan) {
    const uint32_t f = rs->headerFlags;
    const size_t w = size_t(rs->srcWidth);
    const int bits = rs->bitsPerPlane;
    const int bpp = rs->bitsPerPixel;
    *plan = UnpackPlan{1, w, 0, nullptr};

    if (rs->sampleBytes > 1) {
        // Whole samples, as declared (BeginImage took one plane only).
        if (rs->separatePlanes || rs->planes != 1) return nullptr;
        plan->linePixelBytes = rs->internalBytesPerPixel;
        plan->rowBytes = w * size_t(rs->internalBytesPerPixel);
        return UnpackCopyDeep;
    }
    if (rs->planes == 1 && bits == 1 && rs->outputMode == 1) {
        plan->linePixelBytes = 0;
        if (f & kLayoutBytePerPixel) return UnpackBytesToBits;
        plan->rowBytes = (w + 7) / 8;
        return UnpackBitsCopy;
    }
    if (f & kLayoutInterleavedPlanes) {
        // Groups of 16 pixels, one 16-bit word per plane (a plane per bit).
        const size_t words = rs->bytesPerPlane / 2;
        if (bpp > 8 || words * 16 < w) return nullptr;
        plan->rowBytes = words * 2 * size_t(bpp);
        plan->scratchBytes = words * 16;
        return UnpackInterleaved;
    }
    if (rs->separatePlanes) {
        if (bits == 8) return UnpackBytes;
        if (bits == 1 && rs->planes == 2) {
            plan->rowBytes = (w + 7) / 8;
            return UnpackBitsToBytes;
        }
        return nullptr;
    }
    if (rs->planes > 1) {
        if (bpp >= 9) {
            if (bits != 8 || (rs->planes != 3 && rs->planes != 4) || rs->bytesPerPlane < w) return nullptr;
            plan->linePixelBytes = rs->planes;
            plan->rowBytes = size_t(rs->planes - 1) * rs->bytesPerPlane + w;
            if (rs->planes == 3) {
                if (f & kLayoutReversed) return UnpackPlanar<3, 2, 1, 0>;
                return UnpackPlanar<3, 0, 1, 2>;
            }
            if (f & kLayoutReversed) return UnpackPlanar<4, 3, 2, 1, 0>;
            if (f & kLayoutAlphaFirst) return UnpackPlanar<4, 1, 2, 3, 0>;
            return UnpackPlanar<4, 0, 1, 2, 3>;
        }
        // Bit planes one after the other: one bit per plane.
        if (bits != 1 || size_t(rs->bytesPerPlane) * 8 < w) return nullptr;
        plan->rowBytes = size_t(rs->planes) * rs->bytesPerPlane;
        plan->scratchBytes = size_t(rs->bytesPerPlane) * 8;
        return UnpackLinePlanes;
    }
    if (bits <= 8) {
        if (f & kLayoutBytePerPixel) return UnpackBytes;
        if (bits != 1 && bits != 2 && bits != 4 && bits != 8) return nullptr;
        plan->rowBytes = (w * size_t(bits) + 7) / 8;
        return UnpackPacked;
    }
    plan->linePixelBytes = 3;
    switch (bits) {
    case 12:
        plan->rowBytes = (w * 3 + 1) / 2;
        return Unpack12;
    case 15:
        plan->rowBytes = w * 2;
        if (f & kLayout555BlueHigh) return UnpackWords<0, 5, 5, 5, 10, 5>;
        return UnpackWords<10, 5, 5, 5, 0, 5>;
    case 16:
        plan->rowBytes = w * 2;
        if (f & kLayout444High) return UnpackWords<12, 4, 8, 4, 4, 4>;
        if (f & kLayout444Low) return UnpackWords<8, 4, 4, 4, 0, 4>;
        if (f & kLayout565) return UnpackWords<11, 5, 5, 6, 0, 5>;
        if (f & kLayout555RedTop6) return UnpackWords<11, 5, 6, 5, 0, 5>;
        if (f & kLayout555RedTop5) return UnpackWords<11, 5, 5, 5, 0, 5>;
        return UnpackWords<10, 5, 5, 5, 0, 5>;
    case 24:
        plan->rowBytes = w * 3;
        if (f & kLayoutReversed) return UnpackSwap3;
        if (f & kLayoutAlphaFirst) return UnpackCopy3;
        return (f & kLayoutBgra) ? UnpackSwap3 : UnpackCopy3;
    case 32:
        plan->linePixelBytes = 4;
        plan->rowBytes = w * 4;
        if (f & kLayoutReversed) return UnpackShuffle4<3, 2, 1, 0>;
        if (f & kLayoutAlphaFirst) return UnpackShuffle4<1, 2, 3, 0>;
        if (f & kLayoutBgra) return UnpackShuffle4<2, 1, 0, 3>;
        return UnpackCopy4;
    default:
        return nullptr;
    }
}

}  // namespace

bool PlanReadConverters(const LoadRowState* rs, UnpackPlan* plan) {
    const RowUnpacker unpack = ChooseUnpacker(rs, plan);
    plan->unpack = unpack;
    if (!unpack) return false;
    if (plan->rowBytes > rs->srcBytesPerRow) return false;
    // The storers read the line at the intermediate pixel size (planes
    // delivered separately and packed bits have their own storers).
    if (rs->outputMode != 1 && !rs->separatePlanes && plan->linePixelBytes != rs->internalBytesPerPixel)
        return false;
    return true;
}

namespace {

// Deep samples take the byte orders of the three- and four-byte modes, a
// sample for a byte: one and three samples those of three bytes, four those
// of four bytes (CMYK kept in its order, three samples given the deep alpha).
void SelectDeepStorer(LoadRowState* rs, uint16_t order) {
    const int line = rs->linePixelBytes / rs->sampleBytes;
    const bool four = rs->outputMode == kModeDeep16x4 || rs->outputMode == kModeDeep32x4;
    bool copy = false;
    if (!four) {
        copy = line == 1 || order == 0;
        if (line == 1) SetMap(rs, 0, kMapZero, kMapZero, kMapZero);
        else if (order == 0) SetMap(rs, 0, 1, 2, kMapZero);
        else SetMap(rs, 2, 1, 0, kMapZero);
    } else {
        const int8_t alpha = line == 4 ? 3 : kMapAlphaFill;
        if (order == 0 || (rs->headerFlags & kHeaderCmyk)) SetMap(rs, 0, 1, 2, alpha);
        else if (order == 1) SetMap(rs, alpha, 2, 1, 0);
        else if (order == 3) SetMap(rs, alpha, 0, 1, 2);
        else SetMap(rs, 2, 1, 0, alpha);
        copy = line == 4 && rs->storeMap[0] == 0;
    }
    if (copy) {
        rs->store = StoreCopyDeep;
        rs->rowsUnchanged = 1;
    } else {
        rs->store = rs->sampleBytes == 2 ? StoreDeepMapped<uint16_t> : StoreDeepMapped<uint32_t>;
    }
}

}  // namespace

void SelectReadConverters(LoadRowState* rs, const UnpackPlan& plan, uint16_t order) {
    rs->unpack = plan.unpack;
    rs->unpackCopies = plan.unpack == UnpackCopy3 || plan.unpack == UnpackCopy4 || plan.unpack == UnpackCopyDeep;
    rs->rowsUnchanged = 0;
    rs->packedBits = 0;
    rs->store = nullptr;
    SetMap(rs, kMapZero, kMapZero, kMapZero, kMapZero);
    if (!rs->unpack) return;
    // Declared values averaged as they arrive are stored as what they map to.
    rs->linePixelBytes = rs->valueBytes ? rs->valueBytes : plan.linePixelBytes;
    rs->packedBits = rs->valueBytes && plan.unpack == UnpackPacked && rs->bitsPerPlane < 8 ? uint8_t(rs->bitsPerPlane) : 0;

    const uint32_t f = rs->headerFlags;
    const bool separate = rs->separatePlanes != 0;
    const uint32_t mode = rs->outputMode;

    if (mode == 1) {
        rs->store = StoreBits;
        return;
    }
    if (mode & kDeepModes) {
        SelectDeepStorer(rs, order);
        return;
    }
    const bool combine = separate && rs->bitsPerPixel == 2;
    if (mode == 2) {
        rs->storeMap[0] = 0;
        rs->store = combine ? StoreCombinePlanes<1> : StoreCopy1;
        rs->rowsUnchanged = !separate && (plan.unpack == UnpackBytes || (plan.unpack == UnpackPacked && rs->bitsPerPlane == 8));
        return;
    }
    const bool four = mode == 1952;
    if (rs->finishedBits <= 8) {
        // An index or grey value lands where red belongs; EndImage replaces
        // it by its colour.
        const int at = IndexByteOfPixel(mode, order);
        if (combine) {
            rs->storeMap[0] = int8_t(at);
            rs->store = four ? StoreCombinePlanes<4> : StoreCombinePlanes<3>;
            return;
        }
        rs->storeMap[at] = 0;
        rs->store = four ? StoreMapped<4> : StoreMapped<3>;
        return;
    }

    // Colour-space data keeps its byte order. Every L*a*b* flag counts for
    // four-byte output too, so the conversion at the end finds L, a, b first.
    const uint32_t lab = kHeaderLabUnsigned | kHeaderLabUnsignedD50 | kHeaderLabSignedD50 | kHeaderLabSigned;
    const bool colourSpace = four ? (f & (kHeaderCmykInverted | kHeaderCmyk | lab)) != 0
                                  : (f & (kHeaderCmykInverted | lab)) != 0;
    if (separate) {
        if (!four) {
            if (order == 0 || colourSpace) SetMap(rs, 0, 1, 2, -1);
            else SetMap(rs, 2, 1, 0, -1);
            rs->store = StorePlane<3>;
        } else {
            if (order == 0 || colourSpace) SetMap(rs, 0, 1, 2, 3);
            else if (order == 1) SetMap(rs, 3, 2, 1, 0);
            else if (order == 3) SetMap(rs, 1, 2, 3, 0);
            else SetMap(rs, 2, 1, 0, 3);
            rs->store = StorePlane<4>;
        }
        return;
    }
    const bool line4 = rs->linePixelBytes == 4;
    if (!four) {
        if (order != 0 && !colourSpace) {
            SetMap(rs, 2, 1, 0, kMapZero);
            rs->store = line4 ? StoreMapped<3> : StoreSwap3;
        } else if (!line4) {
            rs->store = StoreCopy3;
            rs->rowsUnchanged = rs->unpackCopies;
        } else {
            SetMap(rs, 0, 1, 2, kMapZero);
            rs->store = StoreMapped<3>;
        }
        return;
    }
    const int8_t alpha = line4 ? 3 : kMapAlphaFill;
    if (order != 0 && !colourSpace) {
        if (order == 1) SetMap(rs, alpha, 2, 1, 0);
        else if (order == 3) SetMap(rs, alpha, 0, 1, 2);
        else SetMap(rs, 2, 1, 0, alpha);
        rs->store = StoreMapped<4>;
    } else if (!line4) {
        SetMap(rs, 0, 1, 2, kMapAlphaFill);
        rs->store = StoreMapped<4>;
    } else {
        rs->store = StoreCopy4;
        rs->rowsUnchanged = rs->unpackCopies;
    }
}

// ---------------------------------------------------------------------------
// Palettes.

namespace {

void PutEntry(uint8_t* palette, int i, uint8_t r, uint8_t g, uint8_t b) {
    palette[i] = r;
    palette[kPaletteGreen + i] = g;
    palette[kPaletteBlue + i] = b;
}

uint8_t ScaleByte(uint8_t v, int bits) { return bits > 8 ? v : WidenField(v, bits); }

}  // namespace

void ConvertReaderPalette(uint8_t* palette, const void* readerPalette, uint16_t layout, int bits, int n) {
    if (!palette || !readerPalette || n <= 0) return;
    if (n > 256) n = 256;
    if (bits < 1) bits = 8;
    const auto* p = static_cast<const uint8_t*>(readerPalette);

    if (layout & (kPaletteWords333 | kPaletteWords444Rotated | kPaletteWords444)) {
        for (int i = 0; i < n; ++i) {
            const uint32_t v = (uint32_t(p[2 * i]) << 8) | p[2 * i + 1];
            uint32_t c[3] = {(v >> 8) & 0xF, (v >> 4) & 0xF, v & 0xF};
            for (uint32_t& x : c) {
                if (layout & kPaletteWords333) x = WidenField(x & 7, 3);
                else if (layout & kPaletteWords444Rotated) x = (((x & 7) << 1) | (x >> 3)) * 17;
                else x *= 17;
            }
            PutEntry(palette, i, uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2]));
        }
        return;
    }
    if (layout & kPalettePlanes) {
        const bool bgr = layout & kPaletteBgr;
        const int first = bgr ? 2 : 0;
        const int step = bgr ? -1 : 1;
        if (bits <= 8) {
            for (int plane = 0; plane < 3; ++plane)
                for (int i = 0; i < n; ++i)
                    palette[(first + step * plane) * 256 + i] = ScaleByte(p[plane * n + i], bits);
            return;
        }
        // 16-bit values: the low bytes when every value fits in a byte.
        bool small = true;
        for (int i = 0; i < 3 * n; ++i)
            if (p[2 * i + 1] != 0) small = false;
        for (int plane = 0; plane < 3; ++plane)
            for (int i = 0; i < n; ++i) {
                const uint8_t* v = p + 2 * (plane * n + i);
                palette[(first + step * plane) * 256 + i] = small ? v[0] : v[1];
            }
        return;
    }
    if (layout & (kPaletteAbgr | kPaletteRgba | kPaletteBgra)) {
        int r, g, b, a;
        if (layout & kPaletteAbgr) r = 3, g = 2, b = 1, a = 0;
        else if (layout & kPaletteRgba) r = 0, g = 1, b = 2, a = 3;
        else r = 2, g = 1, b = 0, a = 3;
        for (int i = 0; i < n; ++i) {
            const uint8_t* e = p + 4 * i;
            PutEntry(palette, i, ScaleByte(e[r], bits), ScaleByte(e[g], bits), ScaleByte(e[b], bits));
            palette[kPaletteFourth + i] = ScaleByte(e[a], bits);
        }
        return;
    }
    const bool bgr = layout & kPaletteBgr;
    for (int i = 0; i < n; ++i) {
        const uint8_t* e = p + 3 * i;
        const uint8_t r = ScaleByte(bgr ? e[2] : e[0], bits);
        const uint8_t b = ScaleByte(bgr ? e[0] : e[2], bits);
        PutEntry(palette, i, r, ScaleByte(e[1], bits), b);
    }
}
