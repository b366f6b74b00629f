// The TIFF strip and tile driver: reads the strip (or tile) tables, reads
// each strip's bytes, has its codec decode them into a block of rows,
// undoes the predictor, converts YCbCr, and hands each row to the load in
// the layout ReadTiff declared (8-bit samples, colour samples and alpha
// only), at its place in the picture.
//
// Strips beyond the picture's own count are dropped; every buffer is sized
// from the strip or tile geometry with checked arithmetic, and a strip's
// bytes are read only as far as the file holds them.
//
// Portable: talks to the library only through the load context's callbacks
// and the picture file.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "../checked.h"
#include "readerio.h"
#include "tiff.h"

namespace {

// A block larger than this (one strip or tile of decoded rows) is refused
// as out of memory rather than attempted.
constexpr size_t kMaxBlockBytes = size_t(1) << 30;

uint32_t CeilDiv(uint32_t a, uint32_t b) { return uint32_t((uint64_t(a) + b - 1) / b); }

// How many decoded bytes a strip of `inSize` compressed bytes can give at
// most; a block is never allocated larger than that.
uint64_t DecodedBound(uint32_t compression, uint64_t inSize, size_t rowBytes) {
    switch (compression) {
    case kTiffNone:
    case kTiffSgiLog24: return inSize;
    case kTiffPackBits: return inSize * 65 + 256;
    case kTiffDeflate:
    case kTiffDeflateOld: return inSize * 1032 + 1024;
    case kTiffLzw: {
        // Codes of at least 9 bits; the k-th code of a table generation
        // names at most k + 1 bytes, never more than 4096.
        const uint64_t codes = inSize * 8 / 9 + 2;
        return codes * std::min<uint64_t>(codes, 4096);
    }
    case kTiffCcittRle:
    case kTiffCcittG3:
    case kTiffCcittG4:
        // A Group 4 row of one colour costs a single bit.
        return (inSize * 8 + 8) * rowBytes;
    case kTiffThunderScan: return (inSize + 1) * std::max<size_t>(rowBytes, 32);
    default: return UINT64_MAX;
    }
}

struct StripTables {
    TiffBuffer offsets;              // uint32 per strip
    TiffBuffer counts;
    bool haveCounts = false;

    uint32_t Offset(uint32_t k) const { return reinterpret_cast<const uint32_t*>(offsets.data)[k]; }
    uint32_t Count(uint32_t k) const { return reinterpret_cast<const uint32_t*>(counts.data)[k]; }
};

// Reads the first `n` values of a strip or tile table: from the entry's own
// field when the whole table fits there, else from the file.
int ReadTable(PictureFile* file, const TiffDirectory& d, const TiffTable& t, uint32_t n, TiffBuffer* out) {
    const size_t unit = t.type == kTiffShort ? 2 : t.type == kTiffByte ? 1 : 4;
    if (!out->Reserve(size_t(n) * 4)) return kLoadNoMemory;
    TiffBuffer stored;
    const uint8_t* p = t.field;
    if (uint64_t(t.count) * unit > 4) {
        const uint32_t at = TiffU32(t.field, d.bigEndian);
        if (!RangeInside(at, uint64_t(n) * unit, uint64_t(file->size)) || SeekPictureFile(file, at, SEEK_SET) != 0)
            return kLoadStripTablesEnd;
        if (!stored.Reserve(size_t(n) * unit)) return kLoadNoMemory;
        if (ReadFileBytes(file, stored.data, size_t(n) * unit) != size_t(n) * unit) return kLoadStripTablesEnd;
        p = stored.data;
    }
    auto* v = reinterpret_cast<uint32_t*>(out->data);
    for (uint32_t i = 0; i < n; ++i)
        v[i] = unit == 1 ? p[i] : unit == 2 ? TiffU16(p + 2 * size_t(i), d.bigEndian) : TiffU32(p + 4 * size_t(i), d.bigEndian);
    return kLoadOk;
}

// The picture's strip or tile geometry.
struct Geometry {
    bool tiled;
    uint32_t blockWidth;             // tile width, or the picture's width
    uint32_t blockRows;              // tile length, or rows per strip
    uint32_t across;                 // blocks per block row
    uint32_t perPlane;               // blocks of one plane
    uint32_t planesInFile;
    uint32_t fileSamples;            // samples per pixel of one block's pixel
};

Geometry PlanGeometry(const TiffDirectory& d) {
    Geometry g;
    g.tiled = d.Tiled();
    g.blockWidth = g.tiled ? d.tileWidth : d.width;
    g.blockRows = g.tiled ? d.tileLength : d.rowsPerStrip;
    g.across = g.tiled ? CeilDiv(d.width, d.tileWidth) : 1;
    g.perPlane = uint32_t(std::min<uint64_t>(uint64_t(g.across) * CeilDiv(d.height, g.blockRows), UINT32_MAX));
    g.planesInFile = d.planarConfig == 2 ? d.samplesPerPixel : 1;
    g.fileSamples = d.planarConfig == 2 ? 1 : d.samplesPerPixel;
    return g;
}

// How the decoded block's samples look before assembly.
struct BlockFormat {
    uint32_t bits;                   // per sample
    uint32_t samples;                // per pixel
};

// One sample of `bits` (1..32) at sample index i of a row, as 8 bits.
inline uint8_t SampleAt(const uint8_t* row, size_t i, uint32_t bits, bool big) {
    switch (bits) {
    case 8: return row[i];
    case 16: return big ? row[2 * i] : row[2 * i + 1];
    case 32: return big ? row[4 * i] : row[4 * i + 3];
    default: {
        const size_t bit = i * bits;
        const uint32_t v = (row[bit >> 3] >> (8 - bits - (bit & 7))) & ((1u << bits) - 1);
        return uint8_t(v * 255 / ((1u << bits) - 1));
    }
    }
}

// One decoded row into the load's row buffer in the declared layout.
void AssembleRow(const uint8_t* src, uint8_t* dst, uint32_t columns, const BlockFormat& f, uint32_t kept,
                 bool packed, bool big) {
    if (packed) {
        std::memcpy(dst, src, (size_t(columns) * f.bits + 7) / 8);
        return;
    }
    if (f.bits == 8 && f.samples == kept) {
        std::memcpy(dst, src, size_t(columns) * kept);
        return;
    }
    if (f.bits == 8) {
        for (uint32_t x = 0; x < columns; ++x, src += f.samples)
            for (uint32_t k = 0; k < kept; ++k) *dst++ = src[k];
        return;
    }
    for (uint32_t x = 0; x < columns; ++x)
        for (uint32_t k = 0; k < kept; ++k) *dst++ = SampleAt(src, size_t(x) * f.samples + k, f.bits, big);
}

struct Driver {
    PictureFile* file;
    LoadContext* ctx;
    const ImageHeader& header;
    const TiffDirectory& d;
    const TiffLayout& layout;
    Geometry g;
    StripTables tables;
    TiffBuffer raw;                  // one strip's stored bytes
    TiffBuffer block;                // its decoded rows
    TiffBuffer converted;            // YCbCr converted to RGB
    TiffBuffer stretched;            // whole picture of 16-bit samples (stretch)
    uint16_t smallest = 0xFFFF, largest = 0;
    bool oldLzw = false;

    // The stored bytes of strip k, as far as the file holds them and at
    // most `limit`. 0, or 4 when the strip lies outside the file, or 1.
    int ReadStrip(uint32_t k, uint64_t limit, size_t* size) {
        *size = 0;
        const uint64_t offset = tables.Offset(k);
        const uint64_t fileSize = uint64_t(file->size);
        if (offset >= fileSize) return kLoadIncomplete;
        uint64_t n = fileSize - offset;
        if (tables.haveCounts) n = std::min<uint64_t>(n, tables.Count(k));
        n = std::min(n, limit);
        if (n > kMaxBlockBytes) return kLoadNoMemory;
        if (!raw.Reserve(size_t(n) + 1)) return kLoadNoMemory;
        if (SeekPictureFile(file, int64_t(offset), SEEK_SET) != 0) return kLoadIncomplete;
        *size = ReadFileBytes(file, raw.data, size_t(n));
        return *size == n ? kLoadOk : kLoadIncomplete;
    }

    BlockFormat Format() const {
        if (d.compression == kTiffSgiLog || d.compression == kTiffSgiLog24)
            return {8, d.photometric == kTiffLogL ? 1u : 3u};
        if (d.photometric == kTiffYCbCr && !d.JpegCoded()) return {8, 3};
        return {d.bitsPerSample, g.fileSamples};
    }

    // Decodes strip k (rows x blockWidth pixels) into `block`; the count of
    // whole rows decoded comes back in *rowsDone.
    int DecodeBlock(uint32_t k, uint32_t rows, size_t rowBytes, uint32_t* rowsDone) {
        *rowsDone = 0;
        size_t blockBytes;
        const bool ycbcr = d.photometric == kTiffYCbCr && !d.JpegCoded();
        const size_t storedBytes = ycbcr ? YCbCrBlockBytes(d, g.blockWidth, rows) : 0;
        if (!CheckedMul(rowBytes, rows, &blockBytes) || blockBytes > kMaxBlockBytes) return kLoadNoMemory;
        const size_t decodeBytes = ycbcr ? storedBytes : blockBytes;

        size_t inSize = 0;
        const uint64_t readLimit = d.compression == kTiffNone ? decodeBytes : UINT64_MAX;
        int status = ReadStrip(k, readLimit, &inSize);
        if (status == kLoadNoMemory) return status;
        // Fill order 2 reverses the bits of the stored bytes; the fax
        // decoder reads them in either order itself.
        const bool fax = d.compression == kTiffCcittRle || d.compression == kTiffCcittG3 ||
                         d.compression == kTiffCcittG4;
        if (d.fillOrder == 2 && !fax) ReverseBits(raw.data, inSize);

        const uint64_t bound = std::min<uint64_t>(decodeBytes, DecodedBound(d.compression, inSize, rowBytes));
        if (!block.Reserve(size_t(bound) + 1)) return kLoadNoMemory;
        uint8_t* out = block.data;
        const size_t outSize = size_t(bound);
        size_t produced = 0;
        int decoded = kLoadOk;
        switch (d.compression) {
        case kTiffNone:
            produced = std::min(inSize, outSize);
            if (produced) std::memcpy(out, raw.data, produced);
            break;
        case kTiffPackBits: decoded = UnpackTiffPackBits(raw.data, inSize, out, outSize, &produced); break;
        case kTiffLzw:
            // The old form begins with its clear code least significant bit first.
            if (k == 0 && inSize >= 2 && raw.data[0] == 0x00 && (raw.data[1] & 0x01)) oldLzw = true;
            decoded = DecodeTiffLzw(raw.data, inSize, out, outSize, &produced, oldLzw);
            break;
        case kTiffDeflate:
        case kTiffDeflateOld: decoded = DecodeTiffDeflate(raw.data, inSize, out, outSize, &produced); break;
        case kTiffThunderScan:
            decoded = DecodeThunderScanStrip(raw.data, inSize, out, g.blockWidth, uint32_t(outSize / rowBytes), rowBytes,
                                        &produced);
            break;
        case kTiffSgiLog:
            decoded = DecodeSgiLog(raw.data, inSize, out, g.blockWidth, uint32_t(outSize / rowBytes),
                                   d.photometric == kTiffLogL, &produced);
            break;
        case kTiffSgiLog24:
            decoded = DecodeSgiLog24(raw.data, inSize, out, g.blockWidth, uint32_t(outSize / rowBytes), &produced);
            break;
        case kTiffCcittRle:
        case kTiffCcittG3:
        case kTiffCcittG4: {
            FaxParams p{d.compression, (d.t4Options & 1) != 0, d.fillOrder == 2, g.blockWidth,
                        uint32_t(outSize / rowBytes), rowBytes};
            decoded = DecodeTiffFax(raw.data, inSize, out, p, &produced);
            break;
        }
        case kTiffOldJpeg:
            decoded = DecodeTiffOldJpegStrip(d, raw.data, inSize, out, g.blockWidth, rows, g.fileSamples, &produced);
            break;
        case kTiffJpeg:
            decoded = DecodeTiffJpegStrip(d.jpegTables, d.jpegTablesLength, raw.data, inSize, out, g.blockWidth, rows,
                                          g.fileSamples, d.photometric == kTiffYCbCr && d.planarConfig == 1,
                                          &produced);
            break;
        default: break;
        }
        if (status == kLoadOk) status = decoded;
        if (status == kLoadOk && produced < decodeBytes) status = kLoadIncomplete;

        if (ycbcr) {
            // Whole block rows only; the rows of a partial one are not made up.
            const uint32_t v = d.subsamplingV;
            const size_t perBlockRow = YCbCrBlockBytes(d, g.blockWidth, v);
            const uint32_t blockRowsDone = perBlockRow ? uint32_t(produced / perBlockRow) : 0;
            const uint32_t ready = std::min(rows, blockRowsDone * v);
            if (!converted.Reserve(blockBytes + 1)) return kLoadNoMemory;
            ConvertYCbCr(out, produced, converted.data, d, g.blockWidth, ready);
            *rowsDone = ready;
            return status;
        }
        *rowsDone = uint32_t(std::min<size_t>(rows, produced / rowBytes));
        if (d.predictor == 2 && *rowsDone > 0)
            UndoTiffPredictor(out, *rowsDone, rowBytes, g.blockWidth, g.fileSamples, d.bitsPerSample, d.bigEndian);
        return status;
    }

    static void ReverseBits(uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            uint8_t b = p[i];
            b = uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
            b = uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
            p[i] = uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
        }
    }

    // Rows of one block to the load. `plane` -1 for interleaved samples.
    int Deliver(const uint8_t* rowsData, size_t rowBytes, uint32_t rows, int plane, uint32_t x0, uint32_t y0,
                uint32_t columns) {
        const BlockFormat f = Format();
        const uint32_t kept = layout.separatePlanes ? 1 : layout.keptSamples;
        for (uint32_t r = 0; r < rows; ++r) {
            const uint8_t* src = rowsData + size_t(r) * rowBytes;
            if (d.stretch && d.bitsPerSample == 16 && f.samples == 1) {
                auto* dst = reinterpret_cast<uint16_t*>(stretched.data) + (size_t(y0) + r) * d.width + x0;
                for (uint32_t x = 0; x < columns; ++x) {
                    const uint8_t* p = src + 2 * size_t(x);
                    const uint16_t v = uint16_t((d.bigEndian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0])) >> 4);
                    dst[x] = v;
                    smallest = std::min(smallest, v);
                    largest = std::max(largest, v);
                }
                continue;
            }
            AssembleRow(src, header.rowBuffer, columns, f, kept, layout.packed, d.bigEndian);
            const int answer = g.tiled ? PutStripRows(ctx, plane, int(y0 + r), 1, int(x0), int(columns))
                                       : ctx->callbacks.putScanlines(ctx, plane, int(y0 + r), 1);
            if (answer != kLoadOk) return answer;
        }
        return kLoadOk;
    }

    // Stretched 16-bit samples to their own range, after the last strip.
    // A picture whose samples are all equal comes out black.
    int DeliverStretched() {
        const uint32_t range = largest > smallest ? uint32_t(largest - smallest) : 0;
        const auto* all = reinterpret_cast<const uint16_t*>(stretched.data);
        for (uint32_t y = 0; y < d.height; ++y) {
            const uint16_t* row = all + size_t(y) * d.width;
            for (uint32_t x = 0; x < d.width; ++x)
                header.rowBuffer[x] = range ? uint8_t((uint32_t(row[x] - std::min(row[x], smallest)) * 255u) / range) : 0;
            const int answer = ctx->callbacks.putScanlines(ctx, -1, int(y), 1);
            if (answer != kLoadOk) return answer;
        }
        return kLoadOk;
    }

    int Run() {
        const uint32_t expected = uint32_t(std::min<uint64_t>(uint64_t(g.perPlane) * g.planesInFile, UINT32_MAX));
        // Extra strips are dropped; missing ones leave their rows undelivered.
        const uint32_t count = std::min(d.offsets.count, expected);
        if (count == 0) return kLoadIncomplete;
        int result = ReadTable(file, d, d.offsets, count, &tables.offsets);
        if (result != kLoadOk) return result;
        if (d.byteCounts.count > 0) {
            const uint32_t n = std::min(count, d.byteCounts.count);
            result = ReadTable(file, d, d.byteCounts, n, &tables.counts);
            if (result != kLoadOk) return result;
            if (!tables.counts.Reserve(size_t(count) * 4)) return kLoadNoMemory;
            // Strips without a byte count of their own read to the file's end.
            for (uint32_t k = n; k < count; ++k) reinterpret_cast<uint32_t*>(tables.counts.data)[k] = UINT32_MAX;
            tables.haveCounts = true;
        }
        if (d.stretch && d.bitsPerSample == 16 && Format().samples == 1) {
            size_t bytes;
            if (!CheckedMul3(d.width, d.height, 2, &bytes) || bytes > kMaxBlockBytes || !stretched.Reserve(bytes))
                return kLoadNoMemory;
            std::memset(stretched.data, 0, bytes);
        }

        const uint32_t deliveredPlanes = layout.separatePlanes ? layout.keptSamples : 1;
        const BlockFormat f = Format();
        uint64_t rowBits = uint64_t(g.blockWidth) * f.bits * f.samples;
        if (d.photometric == kTiffYCbCr && !d.JpegCoded()) rowBits = uint64_t(g.blockWidth) * 24;
        const size_t rowBytes = size_t((rowBits + 7) / 8);
        for (uint32_t k = 0; k < count && result == kLoadOk; ++k) {
            const uint32_t plane = k / g.perPlane, index = k % g.perPlane;
            if (plane >= deliveredPlanes) break;
            const uint32_t x0 = g.tiled ? (index % g.across) * g.blockWidth : 0;
            const uint32_t y0 = (g.tiled ? index / g.across : index) * g.blockRows;
            if (y0 >= d.height) continue;
            const uint32_t columns = std::min(g.blockWidth, d.width - x0);
            // A tile keeps its full length; a strip stops at the picture's end.
            const uint32_t rows = g.tiled ? g.blockRows : std::min(g.blockRows, d.height - y0);
            uint32_t rowsDone = 0;
            result = DecodeBlock(k, rows, rowBytes, &rowsDone);
            const bool ycbcr = d.photometric == kTiffYCbCr && !d.JpegCoded();
            const uint8_t* rowsData = ycbcr ? converted.data : block.data;
            const uint32_t visible = std::min(rowsDone, d.height - y0);
            const int answer = Deliver(rowsData, rowBytes, visible, layout.separatePlanes ? int(plane) : -1, x0, y0,
                                       columns);
            if (answer != kLoadOk) result = answer;
            // Rows past the picture's end (the last strip or tile row) are not needed.
            if (result == kLoadIncomplete && rowsDone >= d.height - y0) result = kLoadOk;
        }
        if (stretched.data && (result == kLoadOk || result == kLoadIncomplete)) {
            const int answer = DeliverStretched();
            if (answer != kLoadOk) result = answer;
        }
        return result;
    }
};

}  // namespace

size_t YCbCrBlockBytes(const TiffDirectory& d, uint32_t width, uint32_t rows) {
    const uint32_t h = d.subsamplingH, v = d.subsamplingV;
    return size_t(CeilDiv(width, h)) * CeilDiv(rows, v) * (size_t(h) * v + 2);
}

void ConvertYCbCr(const uint8_t* in, size_t inSize, uint8_t* out, const TiffDirectory& d, uint32_t width,
                  uint32_t rows) {
    const uint32_t h = d.subsamplingH, v = d.subsamplingV;
    const double lr = d.lumaRed, lg = d.lumaGreen, lb = d.lumaBlue;
    const double crR = 2 - 2 * lr, cbB = 2 - 2 * lb;
    const double cbG = lb * (2 - 2 * lb) / lg, crG = lr * (2 - 2 * lr) / lg;
    const size_t blockBytes = size_t(h) * v + 2;
    const uint32_t across = CeilDiv(width, h);
    const size_t rowBytes = size_t(width) * 3;
    auto clamp = [](double c) -> uint8_t { return c <= 0 ? 0 : c >= 255 ? 255 : uint8_t(c); };
    for (uint32_t by = 0; by * v < rows; ++by) {
        for (uint32_t bx = 0; bx < across; ++bx) {
            const size_t at = (size_t(by) * across + bx) * blockBytes;
            if (at + blockBytes > inSize) return;
            const uint8_t* b = in + at;
            const double cb = double(b[h * v]) - 128, cr = double(b[h * v + 1]) - 128;
            const double dr = crR * cr, dg = -cbG * cb - crG * cr, db = cbB * cb;
            for (uint32_t j = 0; j < v; ++j) {
                const uint32_t y = by * v + j;
                if (y >= rows) break;
                uint8_t* o = out + size_t(y) * rowBytes;
                for (uint32_t i = 0; i < h; ++i) {
                    const uint32_t x = bx * h + i;
                    if (x >= width) break;
                    const double luma = b[j * h + i];
                    o[3 * x] = clamp(luma + dr);
                    o[3 * x + 1] = clamp(luma + dg);
                    o[3 * x + 2] = clamp(luma + db);
                }
            }
        }
    }
}

void UndoTiffPredictor(uint8_t* rows, uint32_t rowCount, size_t rowBytes, uint32_t pixels, uint32_t samples,
                       uint32_t bits, bool bigEndian) {
    const size_t n = size_t(pixels) * samples;
    for (uint32_t r = 0; r < rowCount; ++r) {
        uint8_t* p = rows + size_t(r) * rowBytes;
        if (bits == 8 && samples == 3) {
            // The common case, with the running sums kept in registers.
            uint8_t r = p[0], g = p[1], b = p[2];
            for (size_t i = 3; i + 3 <= n; i += 3) {
                r = uint8_t(r + p[i]);
                g = uint8_t(g + p[i + 1]);
                b = uint8_t(b + p[i + 2]);
                p[i] = r, p[i + 1] = g, p[i + 2] = b;
            }
        } else if (bits == 8) {
            for (size_t i = samples; i < n; ++i) p[i] = uint8_t(p[i] + p[i - samples]);
        } else if (bits == 16) {
            auto get = [&](size_t i) { return bigEndian ? uint32_t(p[2 * i] << 8 | p[2 * i + 1]) : uint32_t(p[2 * i + 1] << 8 | p[2 * i]); };
            for (size_t i = samples; i < n; ++i) {
                const uint32_t v = (get(i) + get(i - samples)) & 0xFFFF;
                if (bigEndian) p[2 * i] = uint8_t(v >> 8), p[2 * i + 1] = uint8_t(v);
                else p[2 * i] = uint8_t(v), p[2 * i + 1] = uint8_t(v >> 8);
            }
        } else if (bits == 32) {
            auto get = [&](size_t i) {
                const uint8_t* q = p + 4 * i;
                return bigEndian ? uint32_t(q[0]) << 24 | uint32_t(q[1]) << 16 | uint32_t(q[2]) << 8 | q[3]
                                 : uint32_t(q[3]) << 24 | uint32_t(q[2]) << 16 | uint32_t(q[1]) << 8 | q[0];
            };
            for (size_t i = samples; i < n; ++i) {
                const uint32_t v = get(i) + get(i - samples);
                uint8_t* q = p + 4 * i;
                if (bigEndian) q[0] = uint8_t(v >> 24), q[1] = uint8_t(v >> 16), q[2] = uint8_t(v >> 8), q[3] = uint8_t(v);
                else q[3] = uint8_t(v >> 24), q[2] = uint8_t(v >> 16), q[1] = uint8_t(v >> 8), q[0] = uint8_t(v);
            }
        }
    }
}

int DecodeTiffImage(PictureFile* file, LoadContext* ctx, const ImageHeader& header, const TiffDirectory& d,
                    const TiffLayout& layout) {
    Driver driver{file, ctx, header, d, layout, PlanGeometry(d), {}, {}, {}, {}, {}};
    return driver.Run();
}
