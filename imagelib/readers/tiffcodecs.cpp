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

void LogLuv32ToRgb(uint32_t p, uint8_t* rgb) {
    const double l = LogL16ToY(p >> 16);
    if (l <= 0) {
        rgb[0] = rgb[1] = rgb[2] = 0;
        return;
    }
    const double u = (((p >> 8) & 0xFF) + 0.5) / 410, v = ((p & 0xFF) + 0.5) / 410;
    const double s = 1 / (6 * u - 16 * v + 12);
    const double x = 9 * u * s, y = 4 * v * s;
    XyzToRgb24(float(x / y * l), float(l), float((1 - x - y) / y * l), rgb);
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
