// The TIFF reader's shared record and the pieces its files call on each
// other: the directory (tiff.cpp), the strip and tile driver with sample
// assembly and YCbCr conversion (tiffstrips.cpp), the byte codecs
// (tiffcodecs.cpp), CCITT fax (tifffax.cpp) and JPEG strips (tiffjpeg.cpp).
//
// Every codec decodes one strip or tile held in memory, in pieces of rows
// the driver asks for, never past either end, so each can be fuzzed on its
// own; the driver's and the codecs' buffers are weighed against the load's
// memory budget before they are allocated.
//
// Portable: no platform headers. Nothing here is shared between loads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "../fileio.h"
#include "../loadcontext.h"
#include "tiffifd.h"

// TIFF compression codes the reader knows.
enum TiffCompression : uint32_t {
    kTiffNone = 1,
    kTiffCcittRle = 2,
    kTiffCcittG3 = 3,
    kTiffCcittG4 = 4,
    kTiffLzw = 5,
    kTiffOldJpeg = 6,
    kTiffJpeg = 7,
    kTiffDeflate = 8,
    kTiffPackBits = 32773,
    kTiffThunderScan = 32809,
    kTiffDeflateOld = 32946,
    kTiffSgiLog = 34676,
    kTiffSgiLog24 = 34677,
};

enum TiffPhotometric : uint32_t {
    kTiffWhiteIsZero = 0,
    kTiffBlackIsZero = 1,
    kTiffRgb = 2,
    kTiffPalette = 3,
    kTiffSeparated = 5,
    kTiffYCbCr = 6,
    kTiffCieLab = 8,
    kTiffLogL = 32844,
    kTiffLogLuv = 32845,
};

// A strip or tile table (StripOffsets, StripByteCounts and their tile
// forms) as its directory entry holds it. Its `count` values of `type`
// (BYTE, SHORT or LONG) lie in the entry's 4-byte field itself when they fit
// there (TIFF 6.0: count x type size <= 4), else at the file offset the
// field holds; the field is kept in the file's byte order.
struct TiffTable {
    uint32_t count;
    uint32_t type;
    uint8_t field[4];
};

// One directory, as the reader found it and as the driver and codecs read it.
struct TiffDirectory {
    bool bigEndian;
    uint32_t width;
    uint32_t height;
    uint32_t bitsPerSample;
    uint32_t samplesPerPixel;
    uint32_t extraSamples;           // count of ExtraSamples
    uint32_t firstExtraSample;       // its first value (1 associated alpha, 2 unassociated)
    uint32_t planarConfig;           // 1 contiguous, 2 separate
    uint32_t compression;
    uint32_t predictor;
    uint32_t sampleFormat;           // 1 unsigned integers, 2 signed (two's complement), 3 IEEE floats
    uint32_t photometric;
    uint32_t fillOrder;
    uint32_t t4Options;
    uint32_t rowsPerStrip;
    uint32_t tileWidth;              // both non-zero: tiled
    uint32_t tileLength;
    uint32_t subsamplingH;           // YCbCr
    uint32_t subsamplingV;
    float lumaRed, lumaGreen, lumaBlue;
    // ReferenceBlackWhite of YCbCr: the codes of black and white of Y, Cb
    // and Cr (chroma's black is its zero); 0, 255 and 128, 255 unless the
    // file says otherwise. `referenceSet`: they differ from those.
    float referenceBlack[3], referenceWhite[3];
    bool referenceSet;
    bool stretch;                    // 16-bit samples scaled to their own range
    // Strip or tile tables, read by the driver; byte counts of count 0 are
    // absent.
    TiffTable offsets;
    TiffTable byteCounts;
    // JPEG tables, owned by ReadTiff: JPEGTables (compression 7), or the
    // start of the stream each old-style strip is decoded as (6).
    uint8_t* jpegTables;
    uint32_t jpegTablesLength;
    // Old-style JPEG strips cut from one interchange stream: the payloads of
    // its frame and scan headers, owned by ReadTiff; null when each strip's
    // frame is made from the directory.
    const uint8_t* oldJpegFrame;
    uint32_t oldJpegFrameLength;
    const uint8_t* oldJpegScan;
    uint32_t oldJpegScanLength;

    bool Tiled() const { return tileWidth > 0 && tileLength > 0; }
    // Strips that are JPEG streams (or, old-style, their scans), which
    // libjpeg turns from YCbCr itself.
    bool JpegCoded() const { return compression == kTiffJpeg || compression == kTiffOldJpeg; }
};

// A block of memory from malloc, freed with its owner. Readers allocate
// with malloc so that a failure is a result code, never an exception.
struct TiffBuffer {
    uint8_t* data = nullptr;
    size_t size = 0;

    TiffBuffer() = default;
    TiffBuffer(const TiffBuffer&) = delete;
    TiffBuffer& operator=(const TiffBuffer&) = delete;
    ~TiffBuffer() { std::free(data); }
    // At least n bytes (contents kept); false when out of memory.
    bool Reserve(size_t n) {
        if (n <= size && data) return true;
        void* p = std::realloc(data, n ? n : 1);
        if (!p) return false;
        data = static_cast<uint8_t*>(p);
        size = n;
        return true;
    }
};

// The reader's own buffers (stored strips, decoded rows, codec state)
// weighed against what the load's memory budget leaves once the bitmap and
// the row buffers are sized (LoadMemoryLeft): every buffer that grows with
// the file's numbers is reserved through it before it is allocated.
struct TiffMemory {
    uint64_t limit = 0;
    uint64_t held = 0;

    // Grows `b` to at least n bytes; false when that passes the limit or
    // memory runs out (the buffer keeps what it had).
    bool Reserve(TiffBuffer* b, size_t n) {
        if (n <= b->size && b->data) return true;
        const uint64_t after = held - b->size + n;
        if (after > limit) return false;
        const size_t before = b->size;
        if (!b->Reserve(n)) return false;
        held += b->size - before;
        return true;
    }
};

// --- Codecs: one strip or tile at a time -----------------------------------
//
// A codec is started on the stored bytes of each strip (or tile) and then
// asked for its decoded bytes in pieces: each Decode goes on where the last
// one stopped, writes at most `outSize` bytes into `out` and tells how many
// it produced. Row codecs (fax, ThunderScan, SGILog, JPEG) are asked for
// whole rows. Results: 0 the bytes came, or the data ended cleanly (fewer
// came); 1 out of memory; 4 the data is damaged or ended early; 9 (LZW) the
// codes are not LZW codes. No codec reads past the stored bytes or writes
// past `out`, so each can be fuzzed on its own.
class TiffCodec {
public:
    virtual ~TiffCodec() = default;
    // A new strip: its stored bytes (kept by the caller until the next
    // Start) and the size of its whole decoded form.
    virtual void Start(const uint8_t* in, size_t inSize, size_t decodedSize) = 0;
    virtual int Decode(uint8_t* out, size_t outSize, size_t* produced) = 0;
};

// What a codec knows of the strips it decodes.
struct TiffCodecSetup {
    uint32_t compression;
    uint32_t width;                  // pixels of a decoded row (a tile's, or the picture's)
    size_t rowBytes;                 // bytes of a decoded row
    bool logL;                       // SGILog: 16-bit log luminance, else 32-bit LogLuv
    bool oldLzw;                     // LZW: the old form, codes least significant bit first
    bool twoDimensional;             // CCITT Group 3: T4Options bit 0
    uint32_t components;             // JPEG: samples of a decoded pixel
    const TiffDirectory* directory;  // JPEG: tables, photometric, subsampling
};

// The codec of a compressed strip, or null when out of memory (or for
// compression 1, which needs none). Codecs keep their growing buffers
// within `memory`, which must outlive them.
std::unique_ptr<TiffCodec> MakeTiffCodec(const TiffCodecSetup& setup, TiffMemory* memory);

// The codecs behind MakeTiffCodec that live in files of their own.
// PackBits (32773; header 128 is no operation, as TIFF 6.0 says), LZW (5,
// current or old form), Deflate (8, 32946), ThunderScan (32809), SGILog
// (34676) and SGILog24 (34677) rows of 8-bit R, G, B (grey for log
// luminance) are in tiffcodecs.cpp.
// CCITT fax (2, 3, 4): rows of 1-bit pixels, white 0, black 1, most
// significant bit first, from codes read most significant bit first.
std::unique_ptr<TiffCodec> MakeFaxCodec(const TiffCodecSetup& setup, TiffMemory* memory);
// JPEG (7): each strip a stream, after the tables of JPEGTables when the
// file has them; old-style JPEG (6): each strip's scan, decoded as a stream
// made of the directory's tables, a baseline frame of the strip's size (the
// first component subsampled as YCbCrSubSampling says for YCbCr) and a
// scan of every component, or a stream of its own after the tables. Rows
// of `components` samples, YCbCr turned to RGB; the stream must be the
// strip the directory describes.
std::unique_ptr<TiffCodec> MakeJpegCodec(const TiffCodecSetup& setup, TiffMemory* memory);

// YCbCr blocks of h x v luma samples and Cb, Cr, in rows of blocks of a
// block `width` pixels wide, into `rows` rows of R, G, B pixels, `outStride`
// bytes apart, of which the first `columns` are written; partial blocks at
// the right and bottom edges included, blocks past `inSize` left out.
void ConvertYCbCr(const uint8_t* in, size_t inSize, uint8_t* out, size_t outStride, const TiffDirectory& d,
                  uint32_t width, uint32_t columns, uint32_t rows);
// `count` pixels of Y, Cb, Cr into R, G, B in place, by the formula and
// reference codes ConvertYCbCr uses.
void ConvertYCbCrPixels(uint8_t* pixels, size_t count, const TiffDirectory& d);
// Bytes of `rows` rows of YCbCr blocks for a picture `width` wide.
size_t YCbCrBlockBytes(const TiffDirectory& d, uint32_t width, uint32_t rows);

// Undoes horizontal differencing (predictor 2) in place over `rows` rows of
// `pixels` pixels of `samples` samples of `bits` (8, 16 or 32) bits each,
// rowBytes apart, in the file's byte order.
void UndoTiffPredictor(uint8_t* rows, uint32_t rowCount, size_t rowBytes, uint32_t pixels, uint32_t samples,
                       uint32_t bits, bool bigEndian);

// Turns `rows` rows of signed (SampleFormat 2) or IEEE float (3) samples,
// `count` samples of `bits` bits a row, rowBytes apart in the file's byte
// order, into unsigned samples of the same size in place: signed ones
// offset by half their range (the most negative value becomes 0), floats
// (16-bit half or 32-bit single) taken as 0 to 1, clamped, and scaled to
// the full range (NaN as 0). Unsigned samples are left as they are.
void NormaliseTiffSamples(uint8_t* rows, uint32_t rowCount, size_t rowBytes, size_t count, uint32_t bits,
                          uint32_t sampleFormat, bool bigEndian);

// --- The driver --------------------------------------------------------------

// What ReadTiff declared, for the driver's assembly of the rows it hands
// over: interleaved 8-bit samples (or single samples of 1..8 bits as
// stored), whatever the file's planes and depth.
struct TiffLayout {
    uint32_t keptSamples;            // samples per delivered pixel (1, 3 or 4)
    bool packed;                     // single samples of 1..8 bits passed through as stored
    bool associatedAlpha;            // the colour is stored multiplied by the first extra sample
    uint32_t sampleBytes;            // bytes of a delivered sample: 1, or 2 for 16-bit samples kept as native words
};

// The rows the driver hands over at once, which the header's rowsPerCall
// must allow: a tile's length (a row of tiles is delivered as whole rows),
// or a piece of a strip small enough to keep the driver's buffers small.
int32_t TiffRowsPerCall(const TiffDirectory& d, const TiffLayout& layout);

// Decodes every strip or tile of the picture into the load (BeginImage has
// run). A load result code.
int DecodeTiffImage(PictureFile* file, LoadContext* ctx, const ImageHeader& header, const TiffDirectory& d,
                    const TiffLayout& layout);
