// The byte codecs of TIFF strips: PackBits, LZW (current and old form),
// Deflate, ThunderScan 4-bit and the SGI LogLuv encodings. Each decodes one
// strip held in memory into a block of rows, reading no further than the
// strip's bytes and writing no further than the block.
//
// Portable: zlib for Deflate; nothing else beyond the standard library.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include <zlib.h>

#include "tiff.h"

namespace {

constexpr int kLzwClear = 256;
constexpr int kLzwEnd = 257;
constexpr int kLzwFirstFree = 258;
constexpr int kLzwMaxCodes = 4096;
constexpr double kLn2 = 0.69314718055994530942;

// The LZW string table. The string of every entry from 258 on was written
// whole into this strip's output once already (the previous code's string
// and the next byte lie side by side there), so an entry is its place in
// the output and its length, and decoding a code copies those bytes.
struct LzwTable {
    uint32_t offset[kLzwMaxCodes];
    uint16_t length[kLzwMaxCodes];
};

}  // namespace

int UnpackTiffPackBits(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize, size_t* produced) {
    size_t ip = 0, op = 0;
    int status = kLoadOk;
    while (op < outSize) {
        if (ip >= inSize) {
            status = kLoadIncomplete;
            break;
        }
        const int n = in[ip++];
        if (n < 128) {
            const size_t count = size_t(n) + 1;
            const size_t avail = std::min(count, inSize - ip);
            const size_t take = std::min(avail, outSize - op);
            std::memcpy(out + op, in + ip, take);
            op += take;
            ip += avail;
            if (avail < count && op < outSize) {
                status = kLoadIncomplete;
                break;
            }
        } else if (n > 128) {
            if (ip >= inSize) {
                status = kLoadIncomplete;
                break;
            }
            const size_t take = std::min(size_t(257 - n), outSize - op);
            std::memset(out + op, in[ip++], take);
            op += take;
        }
        // 128 is no operation (TIFF 6.0, section 9).
    }
    *produced = op;
    return status;
}

int DecodeTiffLzw(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize, size_t* produced, bool oldForm) {
    *produced = 0;
    LzwTable* t = static_cast<LzwTable*>(std::malloc(sizeof(LzwTable)));
    if (!t) return kLoadNoMemory;

    uint64_t acc = 0;
    int held = 0;
    size_t ip = 0, op = 0;
    int width = 9, next = kLzwFirstFree, prev = -1;
    size_t prevAt = 0;               // where the previous code's string was written
    uint32_t prevLength = 0;
    // The width grows one code early in the current form, as TIFF writers do.
    const int early = oldForm ? 0 : 1;
    int status = kLoadOk;
    bool started = false;
    while (op < outSize) {
        if (held < width) {
            while (held <= 56 && ip < inSize) {
                if (oldForm) acc |= uint64_t(in[ip++]) << held;
                else acc = (acc << 8) | in[ip++];
                held += 8;
            }
            if (held < width) break;  // the strip's bytes are used up
        }
        int code;
        if (oldForm) {
            code = int(acc & ((1u << width) - 1));
            acc >>= width;
        } else {
            code = int((acc >> (held - width)) & ((1u << width) - 1));
        }
        held -= width;
        if (!started && code != kLzwClear) {
            if (code != kLzwEnd) status = kLoadRefused;
            break;
        }
        started = true;
        if (code == kLzwEnd) break;
        if (code == kLzwClear) {
            width = 9;
            next = kLzwFirstFree;
            prev = -1;
            continue;
        }
        if (code < 256) {
            out[op] = uint8_t(code);
            if (prev >= 0 && next < kLzwMaxCodes) {
                t->offset[next] = uint32_t(prevAt);
                t->length[next] = uint16_t(prevLength + 1);
                ++next;
            }
            prevAt = op;
            prevLength = 1;
            ++op;
        } else {
            if (prev < 0 || code > next || code >= kLzwMaxCodes || (code == next && next >= kLzwMaxCodes)) {
                status = kLoadRefused;
                break;
            }
            if (next < kLzwMaxCodes) {
                // The new entry: the previous string and the first byte of
                // this one (its own first byte when it names itself).
                t->offset[next] = uint32_t(prevAt);
                t->length[next] = uint16_t(prevLength + 1);
                ++next;
            }
            const size_t from = t->offset[code];
            const size_t n = std::min<size_t>(t->length[code], outSize - op);
            if (from + n <= op) {
                std::memcpy(out + op, out + from, n);
            } else {
                for (size_t i = 0; i < n; ++i) out[op + i] = out[from + i];
            }
            prevAt = op;
            prevLength = t->length[code];
            op += n;
        }
        prev = code;
        if (width < 12 && next + early >= (1 << width)) ++width;
    }
    std::free(t);
    *produced = std::min(op, outSize);
    return status;
}

int DecodeTiffDeflate(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize, size_t* produced) {
    *produced = 0;
    z_stream s;
    std::memset(&s, 0, sizeof s);
    // A well-formed zlib header is stepped over and the data inflated raw:
    // the trailing checksum would cost a pass over every decoded byte and
    // tells nothing the decoded rows do not.
    const bool zlibHeader = inSize >= 2 && (in[0] & 0x0F) == 8 && (in[0] >> 4) <= 7 && !(in[1] & 0x20) &&
                            ((in[0] << 8) | in[1]) % 31 == 0;
    if (zlibHeader) {
        in += 2;
        inSize -= 2;
    }
    if ((zlibHeader ? inflateInit2(&s, -15) : inflateInit(&s)) != Z_OK) return kLoadNoMemory;
    s.next_in = const_cast<Bytef*>(in);
    s.avail_in = uInt(std::min<size_t>(inSize, UINT_MAX));
    s.next_out = out;
    s.avail_out = uInt(std::min<size_t>(outSize, UINT_MAX));
    int status = kLoadOk;
    bool resynced = false;
    while (s.avail_out > 0) {
        const int r = inflate(&s, Z_NO_FLUSH);
        if (r == Z_STREAM_END) break;
        if (r == Z_DATA_ERROR && !resynced) {
            // Decoding goes on at the next flush point, if there is one.
            resynced = true;
            if (inflateSync(&s) == Z_OK) continue;
        }
        if (r != Z_OK) {
            if (r != Z_BUF_ERROR) status = kLoadIncomplete;
            break;
        }
    }
    *produced = size_t(s.total_out);
    inflateEnd(&s);
    return status;
}

int DecodeThunderScanStrip(const uint8_t* in, size_t inSize, uint8_t* out, uint32_t width, uint32_t rows,
                      size_t rowBytes, size_t* produced) {
    static const int kTwoBitDeltas[4] = {0, 1, 0, -1};
    static const int kThreeBitDeltas[8] = {0, 1, 2, 3, 0, -3, -2, -1};
    size_t ip = 0;
    *produced = 0;
    for (uint32_t r = 0; r < rows; ++r) {
        uint8_t* row = out + size_t(r) * rowBytes;
        std::memset(row, 0, rowBytes);
        uint32_t n = 0;
        int last = 0;
        auto put = [&](int v) {
            if (n < width) row[n >> 1] = uint8_t(row[n >> 1] | ((n & 1) ? v : v << 4));
            ++n;
        };
        while (n < width) {
            if (ip >= inSize) return kLoadIncomplete;
            const int b = in[ip++];
            switch (b >> 6) {
            case 0:
                for (int i = b & 0x3F; i > 0 && n < width; --i) put(last);
                break;
            case 1:
                for (int shift = 4; shift >= 0; shift -= 2) {
                    const int code = (b >> shift) & 3;
                    if (code == 2) continue;
                    last = (last + kTwoBitDeltas[code]) & 0xF;
                    put(last);
                }
                break;
            case 2:
                for (int shift = 3; shift >= 0; shift -= 3) {
                    const int code = (b >> shift) & 7;
                    if (code == 4) continue;
                    last = (last + kThreeBitDeltas[code]) & 0xF;
                    put(last);
                }
                break;
            default:
                last = b & 0xF;
                put(last);
                break;
            }
        }
        *produced = size_t(r + 1) * rowBytes;
    }
    return kLoadOk;
}

namespace {

// The u'v' chromaticity code of 24-bit LogLuv pixels: the gamut is cut into
// square cells of kUvCell, in rows of v' from kUvFirstV, each row a starting
// u', its cell count and the cells of the rows before it. These are the
// values published with the encoding (its uv_row table).
constexpr float kUvCell = 0.0035f;
constexpr float kUvFirstV = 0.01694f;
constexpr int kUvCodes = 16289;
struct UvRow {
    float firstU;
    int16_t cells;
    int16_t cellsBefore;
};
constexpr UvRow kUvRows[163] = {
    {0.247663f, 4, 0}, {0.243779f, 6, 4}, {0.241684f, 7, 10}, {0.237874f, 9, 17}, {0.235906f, 10, 26},
    {0.232153f, 12, 36}, {0.228352f, 14, 48}, {0.226259f, 15, 62}, {0.222371f, 17, 77}, {0.220410f, 18, 94},
    {0.214710f, 21, 112}, {0.212714f, 22, 133}, {0.210721f, 23, 155}, {0.204976f, 26, 178},
    {0.202986f, 27, 204}, {0.199245f, 29, 231}, {0.195525f, 31, 260}, {0.193560f, 32, 291},
    {0.189878f, 34, 323}, {0.186216f, 36, 357}, {0.186216f, 36, 393}, {0.182592f, 38, 429},
    {0.179003f, 40, 467}, {0.175466f, 42, 507}, {0.172001f, 44, 549}, {0.172001f, 44, 593},
    {0.168612f, 46, 637}, {0.168612f, 46, 683}, {0.163575f, 49, 729}, {0.158642f, 52, 778},
    {0.158642f, 52, 830}, {0.158642f, 52, 882}, {0.153815f, 55, 934}, {0.153815f, 55, 989},
    {0.149097f, 58, 1044}, {0.149097f, 58, 1102}, {0.142746f, 62, 1160}, {0.142746f, 62, 1222},
    {0.142746f, 62, 1284}, {0.138270f, 65, 1346}, {0.138270f, 65, 1411}, {0.138270f, 65, 1476},
    {0.132166f, 69, 1541}, {0.132166f, 69, 1610}, {0.126204f, 73, 1679}, {0.126204f, 73, 1752},
    {0.126204f, 73, 1825}, {0.120381f, 77, 1898}, {0.120381f, 77, 1975}, {0.120381f, 77, 2052},
    {0.120381f, 77, 2129}, {0.112962f, 82, 2206}, {0.112962f, 82, 2288}, {0.112962f, 82, 2370},
    {0.107450f, 86, 2452}, {0.107450f, 86, 2538}, {0.107450f, 86, 2624}, {0.107450f, 86, 2710},
    {0.100343f, 91, 2796}, {0.100343f, 91, 2887}, {0.100343f, 91, 2978}, {0.095126f, 95, 3069},
    {0.095126f, 95, 3164}, {0.095126f, 95, 3259}, {0.095126f, 95, 3354}, {0.088276f, 100, 3449},
    {0.088276f, 100, 3549}, {0.088276f, 100, 3649}, {0.088276f, 100, 3749}, {0.081523f, 105, 3849},
    {0.081523f, 105, 3954}, {0.081523f, 105, 4059}, {0.081523f, 105, 4164}, {0.074861f, 110, 4269},
    {0.074861f, 110, 4379}, {0.074861f, 110, 4489}, {0.074861f, 110, 4599}, {0.068290f, 115, 4709},
    {0.068290f, 115, 4824}, {0.068290f, 115, 4939}, {0.068290f, 115, 5054}, {0.063573f, 119, 5169},
    {0.063573f, 119, 5288}, {0.063573f, 119, 5407}, {0.063573f, 119, 5526}, {0.057219f, 124, 5645},
    {0.057219f, 124, 5769}, {0.057219f, 124, 5893}, {0.057219f, 124, 6017}, {0.050985f, 129, 6141},
    {0.050985f, 129, 6270}, {0.050985f, 129, 6399}, {0.050985f, 129, 6528}, {0.050985f, 129, 6657},
    {0.044859f, 134, 6786}, {0.044859f, 134, 6920}, {0.044859f, 134, 7054}, {0.044859f, 134, 7188},
    {0.040571f, 138, 7322}, {0.040571f, 138, 7460}, {0.040571f, 138, 7598}, {0.040571f, 138, 7736},
    {0.036339f, 142, 7874}, {0.036339f, 142, 8016}, {0.036339f, 142, 8158}, {0.036339f, 142, 8300},
    {0.032139f, 146, 8442}, {0.032139f, 146, 8588}, {0.032139f, 146, 8734}, {0.032139f, 146, 8880},
    {0.027947f, 150, 9026}, {0.027947f, 150, 9176}, {0.027947f, 150, 9326}, {0.023739f, 154, 9476},
    {0.023739f, 154, 9630}, {0.023739f, 154, 9784}, {0.023739f, 154, 9938}, {0.019504f, 158, 10092},
    {0.019504f, 158, 10250}, {0.019504f, 158, 10408}, {0.016976f, 161, 10566}, {0.016976f, 161, 10727},
    {0.016976f, 161, 10888}, {0.016976f, 161, 11049}, {0.012639f, 165, 11210}, {0.012639f, 165, 11375},
    {0.012639f, 165, 11540}, {0.009991f, 168, 11705}, {0.009991f, 168, 11873}, {0.009991f, 168, 12041},
    {0.009016f, 170, 12209}, {0.009016f, 170, 12379}, {0.009016f, 170, 12549}, {0.006217f, 173, 12719},
    {0.006217f, 173, 12892}, {0.005097f, 175, 13065}, {0.005097f, 175, 13240}, {0.005097f, 175, 13415},
    {0.003909f, 177, 13590}, {0.003909f, 177, 13767}, {0.002340f, 177, 13944}, {0.002389f, 170, 14121},
    {0.001068f, 164, 14291}, {0.001653f, 157, 14455}, {0.000717f, 150, 14612}, {0.001614f, 143, 14762},
    {0.000270f, 136, 14905}, {0.000484f, 129, 15041}, {0.001103f, 123, 15170}, {0.001242f, 115, 15293},
    {0.001188f, 109, 15408}, {0.001011f, 103, 15517}, {0.000709f, 97, 15620}, {0.000301f, 89, 15717},
    {0.002416f, 82, 15806}, {0.003251f, 76, 15888}, {0.003246f, 69, 15964}, {0.004141f, 62, 16033},
    {0.005963f, 55, 16095}, {0.008839f, 47, 16150}, {0.010490f, 40, 16197}, {0.016994f, 31, 16237},
    {0.023659f, 21, 16268},
};

// The cell's centre for a code; false for a code outside the table.
bool DecodeUvCode(uint32_t code, double* u, double* v) {
    if (code >= uint32_t(kUvCodes)) return false;
    int lower = 0, upper = int(sizeof kUvRows / sizeof kUvRows[0]);
    while (upper - lower > 1) {
        const int mid = (lower + upper) / 2;
        const int d = int(code) - kUvRows[mid].cellsBefore;
        if (d > 0) {
            lower = mid;
        } else if (d < 0) {
            upper = mid;
        } else {
            lower = mid;
            break;
        }
    }
    *u = kUvRows[lower].firstU + (int(code) - kUvRows[lower].cellsBefore + 0.5) * kUvCell;
    *v = kUvFirstV + (lower + 0.5) * kUvCell;
    return true;
}

// Log luminance (15 bits and a sign) to Y.
double LogL16ToY(uint32_t p) {
    const uint32_t le = p & 0x7FFF;
    if (le == 0) return 0;
    const double y = std::exp(kLn2 / 256 * (le + 0.5) - kLn2 * 64);
    return (p & 0x8000) ? -y : y;
}

uint8_t GammaByte(double c) { return c <= 0 ? 0 : c >= 1 ? 255 : uint8_t(256 * std::sqrt(c)); }

void XyzToRgb24(double x, double y, double z, uint8_t* rgb) {
    rgb[0] = GammaByte(2.690 * x - 1.276 * y - 0.414 * z);
    rgb[1] = GammaByte(-1.022 * x + 1.978 * y + 0.044 * z);
    rgb[2] = GammaByte(0.061 * x - 0.224 * y + 1.163 * z);
}

// Luminance and u'v' chromaticity to 8-bit R, G, B (X, Y and Z held as
// floats on the way, as the encoding's own conversion keeps them).
void LuvToRgb(double l, double u, double v, uint8_t* rgb) {
    const double s = 1 / (6 * u - 16 * v + 12);
    const double x = 9 * u * s, y = 4 * v * s;
    XyzToRgb24(float(x / y * l), float(l), float((1 - x - y) / y * l), rgb);
}

void LogLuv32ToRgb(uint32_t p, uint8_t* rgb) {
    const double l = LogL16ToY(p >> 16);
    if (l <= 0) {
        rgb[0] = rgb[1] = rgb[2] = 0;
        return;
    }
    LuvToRgb(l, (((p >> 8) & 0xFF) + 0.5) / 410, ((p & 0xFF) + 0.5) / 410, rgb);
}

// 10 bits of log luminance and a 14-bit u'v' code; a code outside the table
// stands for the neutral chromaticity.
void LogLuv24ToRgb(uint32_t p, uint8_t* rgb) {
    const uint32_t le = (p >> 14) & 0x3FF;
    if (le == 0) {
        rgb[0] = rgb[1] = rgb[2] = 0;
        return;
    }
    const double l = std::exp(kLn2 / 64 * (le + 0.5) - kLn2 * 12);
    double u, v;
    if (!DecodeUvCode(p & 0x3FFF, &u, &v)) u = 0.210526316, v = 0.473684211;
    LuvToRgb(l, u, v, rgb);
}

}  // namespace

int DecodeSgiLog(const uint8_t* in, size_t inSize, uint8_t* out, uint32_t width, uint32_t rows, bool logL,
                 size_t* produced) {
    *produced = 0;
    uint32_t* values = static_cast<uint32_t*>(std::malloc(size_t(width) * 4 + 4));
    if (!values) return kLoadNoMemory;
    const int planes = logL ? 2 : 4;
    const size_t rowBytes = size_t(width) * (logL ? 1 : 3);
    size_t ip = 0;
    int status = kLoadOk;
    for (uint32_t r = 0; r < rows && status == kLoadOk; ++r) {
        std::memset(values, 0, size_t(width) * 4);
        // Byte planes, most significant first, each run-length coded.
        for (int plane = 0; plane < planes && status == kLoadOk; ++plane) {
            const int shift = 8 * (planes - 1 - plane);
            uint32_t i = 0;
            while (i < width) {
                if (ip >= inSize) {
                    status = kLoadIncomplete;
                    break;
                }
                const int b = in[ip++];
                if (b >= 128) {
                    if (ip >= inSize) {
                        status = kLoadIncomplete;
                        break;
                    }
                    const uint32_t v = uint32_t(in[ip++]) << shift;
                    for (int k = b - 126; k > 0 && i < width; --k) values[i++] |= v;
                } else {
                    for (int k = b; k > 0; --k) {
                        if (ip >= inSize) {
                            status = kLoadIncomplete;
                            break;
                        }
                        const uint32_t v = uint32_t(in[ip++]) << shift;
                        if (i < width) values[i++] |= v;
                    }
                    if (status != kLoadOk) break;
                }
            }
        }
        if (status != kLoadOk) break;
        uint8_t* row = out + size_t(r) * rowBytes;
        for (uint32_t x = 0; x < width; ++x) {
            if (logL) row[x] = GammaByte(float(LogL16ToY(values[x])));
            else LogLuv32ToRgb(values[x], row + 3 * size_t(x));
        }
        *produced = size_t(r + 1) * rowBytes;
    }
    std::free(values);
    return status;
}

int DecodeSgiLog24(const uint8_t* in, size_t inSize, uint8_t* out, uint32_t width, uint32_t rows, size_t* produced) {
    *produced = 0;
    const size_t rowBytes = size_t(width) * 3;
    for (uint32_t r = 0; r < rows; ++r) {
        if (inSize - *produced < rowBytes) return kLoadIncomplete;
        const uint8_t* p = in + *produced;
        uint8_t* row = out + *produced;
        for (uint32_t x = 0; x < width; ++x, p += 3)
            LogLuv24ToRgb(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2], row + 3 * size_t(x));
        *produced += rowBytes;
    }
    return kLoadOk;
}
