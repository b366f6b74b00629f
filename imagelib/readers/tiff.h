// The TIFF reader's shared record and the pieces its files call on each
// other: the directory (tiff.cpp), the strip and tile driver with sample
// assembly and YCbCr conversion (tiffstrips.cpp), the byte codecs
// (tiffcodecs.cpp), CCITT fax (tifffax.cpp) and JPEG strips (tiffjpeg.cpp).
//
// Every codec decodes one strip or tile held in memory into a block of rows
// in memory, never past either end, so each can be fuzzed on its own.
//
// Portable: no platform headers. Nothing here is shared between loads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

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
    uint32_t photometric;
    uint32_t fillOrder;
    uint32_t t4Options;
    uint32_t rowsPerStrip;
    uint32_t tileWidth;              // both non-zero: tiled
    uint32_t tileLength;
    uint32_t subsamplingH;           // YCbCr
    uint32_t subsamplingV;
    float lumaRed, lumaGreen, lumaBlue;
    bool stretch;                    // 16-bit samples scaled to their own range
    // Strip or tile tables, read by the driver; byte counts of count 0 are
    // absent.
    TiffTable offsets;
    TiffTable byteCounts;
    // JPEG tables, owned by ReadTiff: JPEGTables (compression 7), or the
    // start of the stream each old-style strip is decoded as (6).
    uint8_t* jpegTables;
    uint32_t jpegTablesLength;

    bool Tiled() const { return tileWidth > 0 && tileLength > 0; }
    // Strips that are JPEG streams (or, old-style, their scans), which
    // libjpeg turns from YCbCr itself.
    bool JpegCoded() const { return compression == kTiffJpeg || compression == kTiffOldJpeg; }
};

// --- Codecs: one strip or tile in memory into a block of rows ---------------
//
// Each writes at most `outSize` bytes into `out` and reports how many it
// produced. Results: 0 the block was filled (or the data ended cleanly), 4
// the data is damaged or ended early, 9 (LZW) the codes are not LZW codes.

// PackBits (compression 32773). A run or literal that passes the block's end
// is cut there; header 128 is a run of 129 bytes, as TIFF writers mean it.
int UnpackTiffPackBits(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize, size_t* produced);
// LZW (compression 5), current form (codes most significant bit first, the
// width growing one code early) or old form (least significant bit first).
int DecodeTiffLzw(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize, size_t* produced, bool oldForm);
// Deflate (compressions 8 and 32946) through zlib.
int DecodeTiffDeflate(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize, size_t* produced);
// ThunderScan 4-bit (compression 32809): `rows` rows of `width` pixels, two a
// byte, first pixel in the high half; rows are rowBytes apart.
int DecodeThunderScanStrip(const uint8_t* in, size_t inSize, uint8_t* out, uint32_t width, uint32_t rows,
                      size_t rowBytes, size_t* produced);
// SGILog (34676: 32-bit LogLuv, or 16-bit log luminance with `logL`): rows
// of 8-bit R, G, B (grey for log luminance).
int DecodeSgiLog(const uint8_t* in, size_t inSize, uint8_t* out, uint32_t width, uint32_t rows, bool logL,
                 size_t* produced);

// SGILog24 (34677): 24-bit LogLuv pixels stored raw, three bytes each, most
// significant first, into rows of 8-bit R, G, B (as many bytes as stored).
int DecodeSgiLog24(const uint8_t* in, size_t inSize, uint8_t* out, uint32_t width, uint32_t rows, size_t* produced);

// CCITT fax (compressions 2, 3 and 4): rows of 1-bit pixels, white 0, black
// 1, most significant bit first, rowBytes apart.
struct FaxParams {
    uint32_t compression;            // 2, 3 or 4
    bool twoDimensional;             // compression 3 with T4Options bit 0
    bool reversedBits;               // fill order 2
    uint32_t width;
    uint32_t rows;
    size_t rowBytes;
};
int DecodeTiffFax(const uint8_t* in, size_t inSize, uint8_t* out, const FaxParams& params, size_t* produced);

// JPEG strips (compression 7): the strip's stream, preceded by the tables
// of JPEGTables when the file has them, decoded into rows of `components`
// samples of `width` pixels (YCbCr to RGB when `ycbcr`, else as stored).
// The stream's size and components must match what the directory declares.
int DecodeTiffJpegStrip(const uint8_t* tables, size_t tablesSize, const uint8_t* in, size_t inSize, uint8_t* out,
                        uint32_t width, uint32_t rows, uint32_t components, bool ycbcr, size_t* produced);

// Old-style JPEG strips (compression 6): the strip's scan, decoded as a
// stream made of the directory's tables, a baseline frame of `width` x
// `rows` and `components` components (the first subsampled as YCbCrSubSampling
// says for YCbCr) and a scan of them all; a strip that is a stream of its own
// needs only the tables.
int DecodeTiffOldJpegStrip(const TiffDirectory& d, const uint8_t* in, size_t inSize, uint8_t* out, uint32_t width,
                           uint32_t rows, uint32_t components, size_t* produced);

// YCbCr blocks of h x v luma samples and Cb, Cr into R, G, B rows of
// `width` pixels; partial blocks at the right and bottom edges included.
// `rows` output rows are written, rowBytes (width x 3) apart.
void ConvertYCbCr(const uint8_t* in, size_t inSize, uint8_t* out, const TiffDirectory& d, uint32_t width,
                  uint32_t rows);
// Bytes of `rows` rows of YCbCr blocks for a picture `width` wide.
size_t YCbCrBlockBytes(const TiffDirectory& d, uint32_t width, uint32_t rows);

// Undoes horizontal differencing (predictor 2) in place over `rows` rows of
// `pixels` pixels of `samples` samples of `bits` (8, 16 or 32) bits each,
// rowBytes apart, in the file's byte order.
void UndoTiffPredictor(uint8_t* rows, uint32_t rowCount, size_t rowBytes, uint32_t pixels, uint32_t samples,
                       uint32_t bits, bool bigEndian);

// --- The driver --------------------------------------------------------------

// What ReadTiff declared, for the driver's assembly of delivered rows.
struct TiffLayout {
    uint32_t keptSamples;            // samples per delivered pixel (1, 3 or 4)
    bool separatePlanes;             // delivered plane by plane
    bool packed;                     // single samples of 1..8 bits passed through as stored
};

// Decodes every strip or tile of the picture into the load (BeginImage has
// run). A load result code.
int DecodeTiffImage(PictureFile* file, LoadContext* ctx, const ImageHeader& header, const TiffDirectory& d,
                    const TiffLayout& layout);

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
