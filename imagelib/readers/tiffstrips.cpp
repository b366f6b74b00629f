// The TIFF strip and tile driver: reads the strip (or tile) tables, reads
// each strip's bytes, has its codec decode them piece by piece, undoes the
// predictor, converts YCbCr, and hands the rows to the load in the layout
// ReadTiff declared (interleaved 8-bit samples, colour samples and alpha
// only, the colour divided by an associated alpha) as whole rows: a piece of
// a strip at a time, or a row of tiles at a time, so the load can scale
// them as they arrive.
//
// Separate planes are decoded side by side, one codec each, and interleaved
// here. Strips beyond the picture's own count are dropped; every buffer is
// sized from the strip or tile geometry with checked arithmetic and weighed
// against the load's memory budget before it is allocated, uncompressed
// rows are read straight into the piece, and a strip's stored bytes are
// read only as far as the file holds them (and not copied at all when the
// file is in memory).
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

// Decoded bytes a piece of a strip (or tile) holds at most, unless one row
// is larger: small enough to stay in the processor's caches between the
// codec and the delivery.
constexpr size_t kPieceBytes = 256 * 1024;

uint32_t CeilDiv(uint32_t a, uint32_t b) { return uint32_t((uint64_t(a) + b - 1) / b); }

struct StripTables {
    TiffBuffer offsets;              // uint32 per strip
    TiffBuffer counts;
    bool haveCounts = false;

    uint32_t Offset(uint32_t k) const { return reinterpret_cast<const uint32_t*>(offsets.data)[k]; }
    uint32_t Count(uint32_t k) const { return reinterpret_cast<const uint32_t*>(counts.data)[k]; }
};

// Reads the first `n` values of a strip or tile table: from the entry's own
// field when the whole table fits there, else from the file.
int ReadTable(PictureFile* file, const TiffDirectory& d, const TiffTable& t, uint32_t n, TiffMemory* memory,
              TiffBuffer* out) {
    const size_t unit = t.type == kTiffShort ? 2 : t.type == kTiffByte ? 1 : 4;
    if (!memory->Reserve(out, size_t(n) * 4)) return kLoadNoMemory;
    TiffBuffer stored;
    const uint8_t* p = t.field;
    if (uint64_t(t.count) * unit > 4) {
        const uint32_t at = TiffU32(t.field, d.bigEndian);
        if (!RangeInside(at, uint64_t(n) * unit, uint64_t(file->size)) || SeekPictureFile(file, at, SEEK_SET) != 0)
            return kLoadStripTablesEnd;
        if (!memory->Reserve(&stored, size_t(n) * unit)) return kLoadNoMemory;
        if (ReadFileBytes(file, stored.data, size_t(n) * unit) != size_t(n) * unit) return kLoadStripTablesEnd;
        p = stored.data;
    }
    auto* v = reinterpret_cast<uint32_t*>(out->data);
    for (uint32_t i = 0; i < n; ++i)
        v[i] = unit == 1 ? p[i] : unit == 2 ? TiffU16(p + 2 * size_t(i), d.bigEndian) : TiffU32(p + 4 * size_t(i), d.bigEndian);
    return kLoadOk;
}

// The picture's strip or tile geometry, and how its decoded blocks look.
struct Geometry {
    bool tiled;
    uint32_t blockWidth;             // tile width, or the picture's width
    uint32_t blockRows;              // tile length, or rows per strip
    uint32_t across;                 // blocks per block row
    uint32_t perPlane;               // blocks of one plane
    uint32_t planesInFile;
    uint32_t samples;                // samples of a decoded block's pixel
    uint32_t bits;                   // bits of a decoded sample
    bool ycbcr;                      // blocks of subsampled YCbCr, converted here
    size_t rowBytes;                 // bytes of a decoded row (YCbCr: of a converted one)
    uint32_t planesUsed;             // planes decoded for the kept samples
    uint32_t pieceRows;              // rows a piece of a block holds at most
};

Geometry PlanGeometry(const TiffDirectory& d, const TiffLayout& layout) {
    Geometry g;
    g.tiled = d.Tiled();
    g.blockWidth = g.tiled ? d.tileWidth : d.width;
    // A picture of no rows (which the load refuses) still has blocks of one.
    g.blockRows = std::max<uint32_t>(g.tiled ? d.tileLength : d.rowsPerStrip, 1);
    g.across = g.tiled ? CeilDiv(d.width, d.tileWidth) : 1;
    g.perPlane = uint32_t(std::min<uint64_t>(uint64_t(g.across) * CeilDiv(d.height, g.blockRows), UINT32_MAX));
    const bool planar = d.planarConfig == 2;
    g.planesInFile = planar ? d.samplesPerPixel : 1;
    g.ycbcr = d.photometric == kTiffYCbCr && !d.JpegCoded();
    if (d.compression == kTiffSgiLog || d.compression == kTiffSgiLog24) {
        g.samples = d.photometric == kTiffLogL ? 1 : 3;
        g.bits = 8;
    } else if (g.ycbcr) {
        g.samples = 3;
        g.bits = 8;
    } else {
        g.samples = planar ? 1 : d.samplesPerPixel;
        g.bits = d.bitsPerSample;
    }
    g.rowBytes = size_t((uint64_t(g.blockWidth) * g.bits * g.samples + 7) / 8);
    // Separate planes: the colour planes kept, and the alpha plane that an
    // associated alpha divides them by.
    const uint32_t used = layout.associatedAlpha ? (layout.keptSamples == 4 ? 4 : 2) : layout.keptSamples;
    g.planesUsed = planar ? std::min(used, g.planesInFile) : 1;
    const size_t keptRow = size_t(g.blockWidth) * std::max<uint32_t>(layout.keptSamples, 1);
    const size_t perRow = std::max(g.rowBytes * g.planesUsed, keptRow);
    uint32_t rows = uint32_t(std::min<size_t>(std::max<size_t>(kPieceBytes / std::max<size_t>(perRow, 1), 1), g.blockRows));
    // Subsampled YCbCr comes in whole rows of blocks.
    if (g.ycbcr && rows < g.blockRows) rows = std::min(g.blockRows, std::max(d.subsamplingV, rows / d.subsamplingV * d.subsamplingV));
    g.pieceRows = rows;
    return g;
}

// The decoded size of `rows` rows of a block.
size_t PieceBytes(const TiffDirectory& d, const Geometry& g, uint32_t rows) {
    return g.ycbcr ? YCbCrBlockBytes(d, g.blockWidth, rows) : g.rowBytes * rows;
}

// The value of sample i of a row of `bits`-bit samples (1..8, 16 or 32).
inline uint32_t SampleValue(const uint8_t* row, size_t i, uint32_t bits, bool big) {
    switch (bits) {
    case 8: return row[i];
    case 16: return big ? uint32_t(row[2 * i]) << 8 | row[2 * i + 1] : uint32_t(row[2 * i + 1]) << 8 | row[2 * i];
    case 32: return TiffU32(row + 4 * i, big);
    default: {
        const size_t bit = i * bits;
        return (row[bit >> 3] >> (8 - bits - (bit & 7))) & ((1u << bits) - 1);
    }
    }
}

// A sample of `bits` bits as 8: the high byte of deeper samples, shallower
// ones widened as value x 255 / (2^bits - 1).
inline uint8_t To8Bits(uint32_t v, uint32_t bits) {
    switch (bits) {
    case 8: return uint8_t(v);
    case 16: return uint8_t(v >> 8);
    case 32: return uint8_t(v >> 24);
    default: return uint8_t(v * 255 / ((1u << bits) - 1));
    }
}

// A colour sample stored multiplied by its alpha (both of `max` at most),
// divided again and rounded to nearest; no alpha leaves nothing.
inline uint32_t Unpremultiply(uint32_t v, uint32_t alpha, uint32_t max) {
    if (alpha == 0) return 0;
    if (v >= alpha) return max;
    return uint32_t((uint64_t(v) * max + alpha / 2) / alpha);
}

// Where sample k of a piece's pixel x lies: in row[k], at sample index
// first[k] + x x step (interleaved samples share one row; separate planes
// each have their own).
struct SampleSources {
    const uint8_t* row[4];
    uint32_t first[4];
    uint32_t step;
};

// Packed samples of B (1, 2 or 4) bits widened to 8, each sample read in
// place with shifts known at compile time and widened from a table.
template <uint32_t B>
void WidenPackedRow(const SampleSources& s, uint8_t* dst, uint32_t columns, uint32_t kept) {
    constexpr uint32_t kMask = (1u << B) - 1, kPerByte = 8 / B;
    uint8_t widen[kMask + 1];
    for (uint32_t v = 0; v <= kMask; ++v) widen[v] = uint8_t(v * 255 / kMask);
    for (uint32_t k = 0; k < kept; ++k) {
        const uint8_t* row = s.row[k];
        size_t i = s.first[k];
        uint8_t* out = dst + k;
        for (uint32_t x = 0; x < columns; ++x, i += s.step, out += kept)
            *out = widen[(row[i / kPerByte] >> (8 - B * (i % kPerByte + 1))) & kMask];
    }
}

// One decoded row into the row buffer, `columns` pixels of `kept` 8-bit
// samples; with an alpha sample (its index, else -1), the colour samples
// are divided by it first, at the file's depth.
void AssembleRow(const SampleSources& s, uint8_t* dst, uint32_t columns, uint32_t kept, uint32_t bits, bool big,
                 int alpha, bool deep) {
    if (alpha < 0 && (bits == 1 || bits == 2 || bits == 4)) {
        if (bits == 1) WidenPackedRow<1>(s, dst, columns, kept);
        else if (bits == 2) WidenPackedRow<2>(s, dst, columns, kept);
        else WidenPackedRow<4>(s, dst, columns, kept);
        return;
    }
    if (bits == 8 && alpha < 0) {
        if (s.step == kept && s.row[0] == s.row[kept - 1]) {
            std::memcpy(dst, s.row[0], size_t(columns) * kept);
            return;
        }
        for (uint32_t k = 0; k < kept; ++k) {
            const uint8_t* src = s.row[k] + s.first[k];
            uint8_t* out = dst + k;
            for (uint32_t x = 0; x < columns; ++x, src += s.step, out += kept) *out = *src;
        }
        return;
    }
    const uint32_t max = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
    for (uint32_t x = 0; x < columns; ++x) {
        const uint32_t a = alpha >= 0 ? SampleValue(s.row[alpha], s.first[alpha] + size_t(x) * s.step, bits, big) : 0;
        for (uint32_t k = 0; k < kept; ++k) {
            uint32_t v = SampleValue(s.row[k], s.first[k] + size_t(x) * s.step, bits, big);
            if (alpha >= 0 && int(k) != alpha) v = Unpremultiply(v, a, max);
            if (deep) {
                const auto word = uint16_t(v);
                std::memcpy(dst, &word, sizeof word);
                dst += sizeof word;
            } else {
                *dst++ = To8Bits(v, bits);
            }
        }
    }
}

// `columns` samples of `bits` (1..8) bits from the start of `src` into `dst`
// from sample x0 on, the bits around them kept.
void CopyPackedSamples(const uint8_t* src, uint8_t* dst, uint32_t x0, uint32_t columns, uint32_t bits) {
    const uint64_t at = uint64_t(x0) * bits, n = uint64_t(columns) * bits;
    if (at % 8 == 0) {
        std::memcpy(dst + at / 8, src, size_t(n / 8));
        if (n % 8) {
            const uint8_t keep = uint8_t(0xFF >> (n % 8));
            uint8_t& last = dst[(at + n) / 8];
            last = uint8_t((last & keep) | (src[n / 8] & ~keep));
        }
        return;
    }
    for (uint64_t i = 0; i < n; ++i) {
        const int bit = (src[i / 8] >> (7 - i % 8)) & 1;
        uint8_t& out = dst[(at + i) / 8];
        const uint8_t mask = uint8_t(0x80 >> ((at + i) % 8));
        out = uint8_t(bit ? out | mask : out & ~mask);
    }
}

void ReverseBits(uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        uint8_t b = p[i];
        b = uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
        b = uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
        p[i] = uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
    }
}

// One plane's strip (or tile) under way: its codec, its stored bytes and
// the decoded piece.
struct Plane {
    std::unique_ptr<TiffCodec> codec;
    TiffBuffer stored;               // the stored bytes, when they must be read (or reversed)
    TiffBuffer piece;                // the decoded rows of the piece under way
    uint64_t next = 0, end = 0;      // uncompressed: the strip's bytes still to read in the file
    int status = kLoadOk;            // a strip that could not be started
};

struct Driver {
    PictureFile* file;
    LoadContext* ctx;
    const ImageHeader& header;
    const TiffDirectory& d;
    const TiffLayout& layout;
    Geometry g;
    TiffMemory memory;
    StripTables tables;
    uint32_t stripCount = 0;
    Plane planes[4];
    size_t bandStride = 0;           // bytes of one delivered row
    // Strips whose decoded rows are the delivered rows are decoded straight
    // into the row buffer.
    bool direct = false;
    int alpha = -1;                  // the alpha sample divided into the colour, or -1
    TiffBuffer stretched;            // whole picture of 16-bit samples (stretch)
    uint16_t smallest = 0xFFFF, largest = 0;

    bool Stretched() const { return d.stretch && g.bits == 16 && d.samplesPerPixel == 1; }
    // Bytes of a delivered pixel.
    size_t PixelBytes() const { return size_t(layout.keptSamples) * layout.sampleBytes; }

    // Starts plane p on block `index` of its plane, which decodes to `rows`
    // rows.
    void StartBlock(Plane& p, uint32_t plane, uint32_t index, uint32_t rows) {
        p.status = kLoadOk;
        const uint64_t k = uint64_t(plane) * g.perPlane + index;
        const uint64_t fileSize = uint64_t(file->size);
        const uint64_t offset = k < stripCount ? tables.Offset(uint32_t(k)) : fileSize;
        if (offset >= fileSize) {
            p.status = kLoadIncomplete;
            return;
        }
        uint64_t n = fileSize - offset;
        if (tables.haveCounts) n = std::min<uint64_t>(n, tables.Count(uint32_t(k)));
        if (!p.codec) {
            p.next = offset;
            p.end = offset + n;
            return;
        }
        // Fill order 2 reverses the bits of the stored bytes.
        const bool reverse = d.fillOrder == 2;
        const uint8_t* in;
        if (file->memory && !reverse) {
            in = file->memory + offset;
        } else {
            if (!memory.Reserve(&p.stored, size_t(n))) {
                p.status = kLoadNoMemory;
                return;
            }
            if (SeekPictureFile(file, int64_t(offset), SEEK_SET) != 0 || ReadFileBytes(file, p.stored.data, size_t(n)) != n) {
                p.status = kLoadIncomplete;
                return;
            }
            if (reverse) ReverseBits(p.stored.data, size_t(n));
            in = p.stored.data;
        }
        p.codec->Start(in, size_t(n), PieceBytes(d, g, rows));
    }

    // The next `rows` rows of plane p's block into its piece; *done tells how
    // many whole rows came.
    int DecodePiece(Plane& p, uint32_t rows, uint32_t* done) {
        *done = 0;
        if (p.status != kLoadOk) return p.status;
        const size_t bytes = PieceBytes(d, g, rows);
        if (!direct && !memory.Reserve(&p.piece, bytes + 1)) return kLoadNoMemory;
        uint8_t* out = direct ? header.rowBuffer : p.piece.data;
        size_t produced = 0;
        int status = kLoadOk;
        if (p.codec) {
            status = p.codec->Decode(out, bytes, &produced);
        } else {
            const uint64_t n = std::min<uint64_t>(bytes, p.end - p.next);
            if (n > 0 && SeekPictureFile(file, int64_t(p.next), SEEK_SET) == 0)
                produced = ReadFileBytes(file, out, size_t(n));
            p.next += produced;
            if (d.fillOrder == 2) ReverseBits(out, produced);
        }
        if (g.ycbcr) {
            const size_t perBlockRow = YCbCrBlockBytes(d, g.blockWidth, d.subsamplingV);
            *done = std::min<uint32_t>(rows, uint32_t(produced / perBlockRow) * d.subsamplingV);
        } else {
            *done = uint32_t(std::min<size_t>(rows, produced / g.rowBytes));
            if (d.predictor == 2 && *done > 0)
                UndoTiffPredictor(out, *done, g.rowBytes, g.blockWidth, g.samples, g.bits, d.bigEndian);
            if (d.sampleFormat != 1 && *done > 0)
                NormaliseTiffSamples(out, *done, g.rowBytes, size_t(g.blockWidth) * g.samples, g.bits, d.sampleFormat,
                                     d.bigEndian);
        }
        if (status == kLoadOk && *done < rows) status = kLoadIncomplete;
        return status;
    }

    // Rows [0, rows) of the decoded pieces into the row buffer from row
    // `bandRow` on, at column x0, `columns` wide; for stretched samples into
    // the whole picture's buffer at picture row y instead.
    void Assemble(uint32_t rows, uint32_t bandRow, uint32_t x0, uint32_t columns, uint32_t y) {
        if (direct) return;
        uint8_t* band = header.rowBuffer + size_t(bandRow) * bandStride;
        if (Stretched()) {
            for (uint32_t r = 0; r < rows; ++r) {
                const uint8_t* src = planes[0].piece.data + size_t(r) * g.rowBytes;
                auto* dst = reinterpret_cast<uint16_t*>(stretched.data) + (size_t(y) + r) * d.width + x0;
                for (uint32_t x = 0; x < columns; ++x) {
                    const uint16_t v = uint16_t(SampleValue(src, x, 16, d.bigEndian) >> 4);
                    dst[x] = v;
                    smallest = std::min(smallest, v);
                    largest = std::max(largest, v);
                }
            }
            return;
        }
        if (g.ycbcr) {
            ConvertYCbCr(planes[0].piece.data, PieceBytes(d, g, rows), band + size_t(x0) * 3, bandStride, d,
                         g.blockWidth, columns, rows);
            return;
        }
        for (uint32_t r = 0; r < rows; ++r, band += bandStride) {
            // A row the load drops is delivered as it is.
            if (!LoadUsesRow(ctx, int32_t(y + r))) continue;
            if (layout.packed) {
                CopyPackedSamples(planes[0].piece.data + size_t(r) * g.rowBytes, band, x0, columns, g.bits);
                continue;
            }
            SampleSources s;
            for (uint32_t k = 0; k < 4; ++k) {
                const bool planar = g.planesUsed > 1;
                const uint32_t plane = planar ? std::min(k, g.planesUsed - 1) : 0;
                s.row[k] = planes[plane].piece.data + size_t(r) * g.rowBytes;
                s.first[k] = planar ? 0 : std::min(k, g.samples - 1);
            }
            s.step = g.planesUsed > 1 ? 1 : g.samples;
            AssembleRow(s, band + size_t(x0) * PixelBytes(), columns, layout.keptSamples, g.bits, d.bigEndian,
                        alpha, layout.sampleBytes == 2);
        }
    }

    // Clears rows [first, last) of the row buffer from column x0 on, where a
    // block's rows did not come.
    void Clear(uint32_t first, uint32_t last, uint32_t x0, uint32_t columns) {
        if (layout.packed || Stretched()) return;  // nothing of them is delivered from the buffer
        for (uint32_t r = first; r < last; ++r)
            std::memset(header.rowBuffer + size_t(r) * bandStride + size_t(x0) * PixelBytes(), 0,
                        size_t(columns) * PixelBytes());
    }

    int Deliver(uint32_t y, uint32_t rows) {
        if (rows == 0 || Stretched()) return kLoadOk;
        return ctx->callbacks.putScanlines(ctx, -1, int(y), int(rows));
    }

    // Decodes block `index` of every plane used, `columns` wide at column x0
    // and picture row y, piece by piece; rows past the picture's end are not
    // decoded. Strips deliver each piece; tiles leave their rows in the row
    // buffer for the row of tiles. *done: the rows that came.
    int DecodeBlock(uint32_t index, uint32_t x0, uint32_t columns, uint32_t y, uint32_t visible, uint32_t* done) {
        *done = 0;
        const uint32_t blockRows = g.tiled ? g.blockRows : visible;
        for (uint32_t p = 0; p < g.planesUsed; ++p) StartBlock(planes[p], p, index, blockRows);
        int result = kLoadOk;
        for (uint32_t r = 0; r < visible && result == kLoadOk;) {
            const uint32_t rows = std::min(g.pieceRows, visible - r);
            uint32_t came = rows;
            for (uint32_t p = 0; p < g.planesUsed; ++p) {
                uint32_t planeRows;
                const int status = DecodePiece(planes[p], rows, &planeRows);
                came = std::min(came, planeRows);
                if (status != kLoadOk && result == kLoadOk) result = status;
            }
            const uint32_t bandRow = g.tiled ? r : 0;
            Assemble(came, bandRow, x0, columns, y + r);
            *done = r + came;
            if (!g.tiled) {
                const int answer = Deliver(y + r, came);
                if (answer != kLoadOk) return answer;
            }
            r += rows;
        }
        return result;
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

    int Strips() {
        for (uint32_t index = 0; index < g.perPlane; ++index) {
            const uint32_t y = index * g.blockRows;
            uint32_t done;
            const int result = DecodeBlock(index, 0, d.width, y, std::min(g.blockRows, d.height - y), &done);
            if (result != kLoadOk) return result;
        }
        return kLoadOk;
    }

    // Each row of tiles is decoded into the row buffer, tile by tile, and
    // handed over as whole rows. A damaged tile ends the picture after its
    // row of tiles, the rows that did not come cleared.
    int Tiles() {
        for (uint32_t ty = 0, y = 0; y < d.height; ++ty, y += g.blockRows) {
            const uint32_t visible = std::min(g.blockRows, d.height - y);
            int result = kLoadOk;
            uint32_t delivered = visible;
            for (uint32_t tx = 0; tx < g.across; ++tx) {
                const uint32_t x0 = tx * g.blockWidth, columns = std::min(g.blockWidth, d.width - x0);
                uint32_t done = 0;
                if (result == kLoadOk) {
                    result = DecodeBlock(ty * g.across + tx, x0, columns, y, visible, &done);
                    if (result != kLoadOk && tx == 0) delivered = done;
                }
                Clear(done, visible, x0, columns);
            }
            const int answer = Deliver(y, delivered);
            if (answer != kLoadOk) return answer;
            if (result != kLoadOk) return result;
        }
        return kLoadOk;
    }

    int Run() {
        memory.limit = LoadMemoryLeft(ctx);
        const uint32_t expected = uint32_t(std::min<uint64_t>(uint64_t(g.perPlane) * g.planesInFile, UINT32_MAX));
        // Extra strips are dropped; missing ones leave their rows undelivered.
        stripCount = std::min(d.offsets.count, expected);
        if (stripCount == 0) return kLoadIncomplete;
        int result = ReadTable(file, d, d.offsets, stripCount, &memory, &tables.offsets);
        if (result != kLoadOk) return result;
        if (d.byteCounts.count > 0) {
            const uint32_t n = std::min(stripCount, d.byteCounts.count);
            result = ReadTable(file, d, d.byteCounts, n, &memory, &tables.counts);
            if (result != kLoadOk) return result;
            if (!memory.Reserve(&tables.counts, size_t(stripCount) * 4)) return kLoadNoMemory;
            // Strips without a byte count of their own read to the file's end.
            for (uint32_t k = n; k < stripCount; ++k) reinterpret_cast<uint32_t*>(tables.counts.data)[k] = UINT32_MAX;
            tables.haveCounts = true;
        }
        if (Stretched()) {
            size_t bytes;
            if (!CheckedMul3(d.width, d.height, 2, &bytes) || !memory.Reserve(&stretched, bytes)) return kLoadNoMemory;
            std::memset(stretched.data, 0, bytes);
        }
        bandStride = header.bytesPerPlane;
        // RGB and alpha, or grey whose alpha is not kept but divided in.
        if (layout.associatedAlpha) alpha = layout.keptSamples == 4 ? 3 : 1;
        direct = !g.tiled && !g.ycbcr && !Stretched() && g.planesUsed == 1 && alpha < 0 &&
                 g.rowBytes == bandStride && (layout.packed || (g.bits == 8 && g.samples == layout.keptSamples));
        TiffCodecSetup setup{d.compression, g.blockWidth, g.rowBytes, d.photometric == kTiffLogL, OldLzw(),
                             (d.t4Options & 1) != 0, g.samples, &d};
        if (d.compression != kTiffNone) {
            for (uint32_t p = 0; p < g.planesUsed; ++p)
                if (!(planes[p].codec = MakeTiffCodec(setup, &memory))) return kLoadNoMemory;
        }
        result = g.tiled ? Tiles() : Strips();
        if (stretched.data && (result == kLoadOk || result == kLoadIncomplete)) {
            const int answer = DeliverStretched();
            if (answer != kLoadOk) result = answer;
        }
        return result;
    }

    // LZW in the old form begins with its clear code least significant bit
    // first (0x00 0x01); the picture's first strip decides for every strip.
    bool OldLzw() {
        if (d.compression != kTiffLzw) return false;
        uint8_t head[2];
        return tables.Offset(0) < uint64_t(file->size) && SeekPictureFile(file, tables.Offset(0), SEEK_SET) == 0 &&
               ReadFileBytes(file, head, 2) == 2 && head[0] == 0x00 && (head[1] & 0x01);
    }
};

}  // namespace

int32_t TiffRowsPerCall(const TiffDirectory& d, const TiffLayout& layout) {
    const Geometry g = PlanGeometry(d, layout);
    return int32_t(g.tiled ? std::min(d.tileLength, d.height) : g.pieceRows);
}

size_t YCbCrBlockBytes(const TiffDirectory& d, uint32_t width, uint32_t rows) {
    const uint32_t h = d.subsamplingH, v = d.subsamplingV;
    return size_t(CeilDiv(width, h)) * CeilDiv(rows, v) * (size_t(h) * v + 2);
}

namespace {

// TIFF 6.0's YCbCr to RGB with the directory's luma coefficients and
// reference codes: Y from its black to its white spans 0..255, Cb and Cr
// from their zero to their white 0..127; each result truncated into 0..255.
struct YCbCrToRgb {
    double lumaBlack, lumaScale, chromaZero[2], chromaScale[2];
    double crR, cbB, cbG, crG;

    explicit YCbCrToRgb(const TiffDirectory& d) {
        const double lr = d.lumaRed, lg = d.lumaGreen, lb = d.lumaBlue;
        crR = 2 - 2 * lr;
        cbB = 2 - 2 * lb;
        cbG = lb * (2 - 2 * lb) / lg;
        crG = lr * (2 - 2 * lr) / lg;
        // A pair whose white is not above its black (a directory that was
        // never given one) is the default: 0 to 255, chroma centred on 128.
        const auto pair = [&](int k, double* black, double* scale, double range) {
            const double b = d.referenceBlack[k], w = d.referenceWhite[k];
            *black = w > b ? b : k == 0 ? 0 : 128;
            *scale = range / (w > b ? w - b : k == 0 ? 255 : 127);
        };
        pair(0, &lumaBlack, &lumaScale, 255);
        for (int k = 0; k < 2; ++k) pair(k + 1, &chromaZero[k], &chromaScale[k], 127);
    }
    static uint8_t Clamp(double c) { return c <= 0 ? 0 : c >= 255 ? 255 : uint8_t(c); }
    double Luma(uint8_t y) const { return (y - lumaBlack) * lumaScale; }
    // The three differences that Cb and Cr add to the luma of R, G and B.
    void Chroma(uint8_t cbCode, uint8_t crCode, double* dr, double* dg, double* db) const {
        const double cb = (cbCode - chromaZero[0]) * chromaScale[0], cr = (crCode - chromaZero[1]) * chromaScale[1];
        *dr = crR * cr;
        *dg = -cbG * cb - crG * cr;
        *db = cbB * cb;
    }
};

}  // namespace

void ConvertYCbCrPixels(uint8_t* pixels, size_t count, const TiffDirectory& d) {
    const YCbCrToRgb c(d);
    for (size_t i = 0; i < count; ++i, pixels += 3) {
        double dr, dg, db;
        c.Chroma(pixels[1], pixels[2], &dr, &dg, &db);
        const double luma = c.Luma(pixels[0]);
        pixels[0] = YCbCrToRgb::Clamp(luma + dr);
        pixels[1] = YCbCrToRgb::Clamp(luma + dg);
        pixels[2] = YCbCrToRgb::Clamp(luma + db);
    }
}

void ConvertYCbCr(const uint8_t* in, size_t inSize, uint8_t* out, size_t outStride, const TiffDirectory& d,
                  uint32_t width, uint32_t columns, uint32_t rows) {
    const uint32_t h = d.subsamplingH, v = d.subsamplingV;
    const YCbCrToRgb c(d);
    const size_t blockBytes = size_t(h) * v + 2;
    const uint32_t across = CeilDiv(width, h);
    for (uint32_t by = 0; by * v < rows; ++by) {
        for (uint32_t bx = 0; bx < across; ++bx) {
            const size_t at = (size_t(by) * across + bx) * blockBytes;
            if (at + blockBytes > inSize) return;
            const uint8_t* b = in + at;
            double dr, dg, db;
            c.Chroma(b[h * v], b[h * v + 1], &dr, &dg, &db);
            for (uint32_t j = 0; j < v; ++j) {
                const uint32_t y = by * v + j;
                if (y >= rows) break;
                uint8_t* o = out + size_t(y) * outStride;
                for (uint32_t i = 0; i < h; ++i) {
                    const uint32_t x = bx * h + i;
                    if (x >= columns) break;
                    const double luma = c.Luma(b[j * h + i]);
                    o[3 * x] = YCbCrToRgb::Clamp(luma + dr);
                    o[3 * x + 1] = YCbCrToRgb::Clamp(luma + dg);
                    o[3 * x + 2] = YCbCrToRgb::Clamp(luma + db);
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

namespace {

// An IEEE half-precision value (sign, 5 exponent bits, 10 fraction bits).
float HalfToFloat(uint32_t h) {
    const int exponent = int(h >> 10) & 0x1F;
    const float fraction = float(h & 0x3FF);
    float v;
    if (exponent == 0) v = std::ldexp(fraction, -24);                 // subnormal
    else if (exponent == 31) v = fraction != 0 ? NAN : INFINITY;
    else v = std::ldexp(fraction + 1024.0f, exponent - 25);
    return (h & 0x8000) ? -v : v;
}

// A float sample on 0..1 as a 16-bit level; NaN is 0.
uint32_t FloatLevel(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 1.0f) return 0xFFFF;
    return uint32_t(v * 65535.0f + 0.5f);
}

}  // namespace

void NormaliseTiffSamples(uint8_t* rows, uint32_t rowCount, size_t rowBytes, size_t count, uint32_t bits,
                          uint32_t sampleFormat, bool bigEndian) {
    if (sampleFormat != 2 && sampleFormat != 3) return;
    const size_t bytes = bits / 8;
    // The byte that holds a sample's most significant bits.
    const size_t top = bigEndian ? 0 : bytes - 1;
    for (uint32_t r = 0; r < rowCount; ++r) {
        uint8_t* p = rows + size_t(r) * rowBytes;
        if (sampleFormat == 2) {
            for (size_t i = 0; i < count; ++i) p[i * bytes + top] ^= 0x80;
            continue;
        }
        for (size_t i = 0; i < count; ++i) {
            uint8_t* q = p + i * bytes;
            if (bits == 16) {
                const uint32_t level = FloatLevel(HalfToFloat(TiffU16(q, bigEndian)));
                q[top] = uint8_t(level >> 8);
                q[1 - top] = uint8_t(level);
            } else if (bits == 32) {
                const uint32_t raw = TiffU32(q, bigEndian);
                float v;
                std::memcpy(&v, &raw, 4);
                // The 16-bit level repeated, so that every narrowing of the
                // 32-bit sample keeps it.
                const uint32_t level = FloatLevel(v) * 0x10001u;
                for (size_t k = 0; k < 4; ++k) q[bigEndian ? k : 3 - k] = uint8_t(level >> (24 - 8 * k));
            }
        }
    }
}

int DecodeTiffImage(PictureFile* file, LoadContext* ctx, const ImageHeader& header, const TiffDirectory& d,
                    const TiffLayout& layout) {
    Driver driver{file, ctx, header, d, layout, PlanGeometry(d, layout)};
    return driver.Run();
}
