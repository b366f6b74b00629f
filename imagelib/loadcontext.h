// The reader side of a load: what a reader declares (ImageHeader), the
// callback table it talks back through (ReaderCallbacks), the per-load
// context, and the information record a load returns (ImageInfo).
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bitmap.h"
#include "fileio.h"
#include "metadata.h"

// Load result codes (tested on their low 16 bits).
enum LoadResult : int {
    kLoadOk = 0,
    kLoadNoMemory = 1,
    kLoadNotRecognised = 2,
    kLoadCannotOpen = 3,
    kLoadIncomplete = 4,
    kLoadRefused = 9,        // the reader named the problem in subFormat
    kLoadCorrupt = 10,
    kLoadStripTablesEnd = 11,
    kLoadCancelled = 15,
    kLoadInfoStop = -1,      // BeginImage of an information-only load: stop
};

// Output modes of samples kept deeper than 8 bits (load flag
// kLoadKeepDeepSamples): one or three samples of 2 or 4 bytes, or four
// samples of 2 or 4 bytes. The four-sample modes take the pixel orders of the
// four-byte mode, the others those of the three-byte mode.
enum DeepOutputMode : uint32_t {
    kModeDeep16 = 2048,
    kModeDeep16x4 = 4096,
    kModeDeep32 = 8192,
    kModeDeep32x4 = 16384,
};
constexpr uint32_t kDeepModes = kModeDeep16 | kModeDeep16x4 | kModeDeep32 | kModeDeep32x4;

// Header flags (ImageHeader::flags) that this layer and the end of load read.
enum ImageHeaderFlags : uint32_t {
    kHeaderSeparatePlanes = 0x4,
    kHeaderCmykInverted = 0x4000,
    kHeaderCmyk = 0x8000,
    // Pixels of at most 8 bits that are grey levels (no palette will come),
    // so that a reduced load can average them (see ImageHeader::palette).
    kHeaderGreyLevels = 0x10000,
    kHeaderLabUnsigned = 0x20000,
    kHeaderLabUnsignedD50 = 0x40000,
    kHeaderLabSignedD50 = 0x80000,
    kHeaderLabSigned = 0x100000,
    // Rows arrive in an order other than top to bottom (interlaced
    // pictures): a reduced load keeps the sums of every output row.
    kHeaderRowsOutOfOrder = 0x200000,
    kHeaderFitAfterLoad = 0x400000,
    kHeaderFitAfterLoad2 = 0x1000000,
    kHeaderMayHaveAlpha = 0x2000000,
};

struct ImageHeader {
    uint32_t flags;
    uint16_t orientation;        // 0x1 right to left, 0x10 bottom-up; 128/129/144/145 transposed
    int32_t rowsPerCall;         // default 1; at most the height, or 64 for readers of blocks
    uint8_t* rowBuffer;          // set by BeginImage
    int32_t width;               // 1 .. 399999
    int32_t height;              // 1 .. 399999
    int16_t planes;              // default 1
    int16_t bitsPerPlane;        // default 1
    int16_t components;          // 0: planes and bitsPerPlane decide
    int16_t headerExtra;
    uint32_t bytesPerPlane;
    int32_t xResolution;
    int32_t yResolution;
    int32_t fullWidth;           // non-zero: the delivered picture reduces one of this width
    int32_t fullHeight;
    uint32_t fullBytesPerPlane;
    uint32_t fullBitsPerSample;  // default 8
    uint32_t fullComponents;     // default 1
    uint16_t compression;
    uint16_t colourSpace;
    int16_t transparentIndex;    // default -1
    char compressionText[32];
    char description[64];
    // A picture of at most 8 bits per pixel that a reduced load is to
    // average needs its values before the rows: its palette here, as
    // EndImage will receive it (in `paletteLayout`, `paletteBits` bits per
    // value), or kHeaderGreyLevels. Values declared neither way are
    // point-sampled. Read during BeginImage only.
    const void* palette;
    uint16_t paletteLayout;
    int16_t paletteBits;
};

struct ImageInfo {
    uint64_t fileSize;
    int16_t formatIndex;
    uint16_t orientation;
    int32_t width;
    int32_t height;
    uint16_t bitsPerSample;
    uint16_t components;
    uint16_t planes;
    uint16_t bitsPerPlane;
    uint32_t bytesPerPlane;
    uint16_t xResolution;
    uint16_t yResolution;
    uint16_t compression;
    uint16_t colourSpace;
    uint32_t imageCount;
    uint32_t readerValues[3];
    char description[64];
    char* comment;               // information-only loads
    int32_t textCount;
    char* texts[kMaxPictureTexts];
    char compressionText[32];
    MetadataBlock* metadata;     // information-only loads
    char subFormat[64];
    uint32_t readerFlags;
    // A damaged file that a load accepted (kLoadAcceptDamaged) with the rows
    // it could read: the reader's result, kLoadIncomplete or kLoadCorrupt;
    // 0 for a whole picture.
    uint16_t damaged;
};

struct LoadContext;

// The first part of every LoadContext: how a reader talks back to the load.
//
// A reader (the readFn of a format row, called as readFn(source, ctx)):
//  - opens its file with openSource(source, kOpenReadBinary), which gives a
//    fresh record positioned at 0 with the file's size (the source may name a
//    path or a block of memory), and closes it with closeSource on every way
//    out;
//  - fills an ImageHeader after clearImageHeader and calls beginImage once. A
//    non-zero result (2 refused declaration, 1 out of memory, -1 stop of an
//    information-only load) is returned at once, without endImage;
//  - writes source rows into header.rowBuffer, consecutive, each of the
//    declared row length (planes x bytesPerPlane; the width for planes
//    delivered separately; components x sample bytes x width when
//    components are given), at most rowsPerCall of them, and hands them over
//    with putScanlines(ctx, plane or -1, first row or -1 for the next, count)
//    or PutStripRows for blocks of columns. A non-zero result (15, cancelled)
//    ends the reading;
//  - calls endImage on every way out once beginImage has succeeded, with its
//    palette (2^bits-per-pixel entries, at most 256, in the layout the flags
//    name) or null, and returns its result code, or endImage's when that
//    failed (FinishReaderPicture in readers/readerio.h). Rows addressed past
//    the height are dropped.
// Components are declared only for samples deeper than 8 bits kept as they
// are, in loads with kLoadKeepDeepSamples (other loads get the reader's 8-bit
// samples): 1 grey, 3 R, G, B or 4 R, G, B, A (CMYK with kHeaderCmyk) samples
// of bitsPerPlane (9..32) bits, each a native 16-bit word up to 16 bits, else
// a native 32-bit word, in one plane.
// Slots 10 and 11 are empty in information-only loads: readers test them
// before calling.
struct ReaderCallbacks {
    int (*beginImage)(LoadContext* ctx, ImageHeader* header);
    int (*putScanlines)(LoadContext* ctx, int plane, int firstRow, int rowCount);
    int (*endImage)(LoadContext* ctx, uint16_t paletteLayout, int paletteBits, const void* palette);
    void (*clearImageHeader)(ImageHeader* header);
    size_t (*getLibraryTempFolder)(char* buffer, size_t capacity);
    uint32_t (*makeTempFileName)(wchar_t* buffer, size_t capacity);
    void* unused6;
    void (*prepareSource)(FileSource* source, const wchar_t* path);
    PictureFile* (*openSource)(const FileSource* source, int mode);
    void (*closeSource)(PictureFile* file);
    uint32_t (*getCallerValue)(LoadContext* ctx, int selector);
    void (*addMetadataBlock)(LoadContext* ctx, uint32_t kind, const void* data, uint32_t length);
};

// Converters of the row state (readconvert.h). An unpacker turns `count`
// source pixels into the unpacked line; a storer writes `count` pixels of the
// line into the output row at `dst`.
struct LoadRowState;
using RowUnpacker = void (*)(const LoadRowState* rs, const uint8_t* src, uint8_t* dst, int32_t count);
using RowStorer = void (*)(const LoadRowState* rs, const uint8_t* line, int plane, uint8_t* dst, int32_t count);

// Scaling of the rows while they arrive, or after the load.
enum LoadScaleMode : int {
    kScaleNone = 0,
    kScaleNearest = 1,
    kScaleSmooth = 2,
    kScaleNearestAfterLoad = 3,
    kScaleSmoothAfterLoad = 4,
    // Reduced loads (thumbnails): each output pixel is the mean of the
    // source pixels that map to it, summed as the rows arrive.
    kScaleBox = 5,
};

// Row state of a load: what BeginImage decided and the buffers and tables
// that carry rows from the reader into the bitmap. Everything here is owned
// by the load and released by EndImage (or by the load when a reader never
// ends its picture).
struct LoadRowState {
    uint8_t active;              // BeginImage succeeded and EndImage has not run
    // The declaration.
    int32_t srcWidth;
    int32_t srcHeight;
    uint32_t headerFlags;
    int32_t rowsPerCall;
    uint16_t orientation;        // the header's
    int16_t bitsPerPlane;
    int16_t planes;
    int32_t bitsPerPixel;        // planes x bitsPerPlane, 1..32
    int32_t xResolution;
    int32_t yResolution;
    int16_t transparentIndex;
    uint32_t bytesPerPlane;
    uint8_t separatePlanes;      // one delivery per plane row (header flag 0x4)
    uint8_t mirror;              // exactly one of header and options asks for it
    uint8_t flip;                // likewise for bottom-up rows
    uint8_t alphaFill;
    // The reader's row buffer: rowsPerCall rows of srcBytesPerRow bytes.
    size_t srcBytesPerRow;
    uint8_t* srcBuffer;
    // Converters and their lines.
    RowUnpacker unpack;
    uint8_t unpackCopies;        // the unpacker only copies: storers may read the source row itself
    uint8_t rowsUnchanged;       // unpacker and storer only copy: a source row is its output row, byte for byte
    RowStorer store;
    int8_t storeMap[4];          // storers that move bytes: source byte per output byte (readconvert.cpp)
    int32_t internalBytesPerPixel;
    int32_t linePixelBytes;      // bytes per pixel of the unpacked line; 0 for packed bits
    uint8_t* unpackScratch;
    uint8_t* internalLine;
    // Output.
    int32_t outWidth;
    int32_t outHeight;
    uint32_t outputMode;         // 1, 2, 80, 1952, or a deep mode (kDeepModes)
    int32_t outBytesPerPixel;
    // Samples kept deeper than 8 bits: 2 or 4 bytes each, as native words;
    // 1 otherwise. The line and the output then hold whole samples.
    int32_t sampleBytes;
    uint32_t deepAlpha;          // the alpha sample a three-sample pixel gets in four-sample output
    // Delivery counters.
    int32_t runningRow;          // next row for "first row -1"
    int32_t runningPlane;
    int64_t stripColumns;        // columns delivered towards the current row (strips)
    int32_t rowsDone;
    int32_t totalRows;           // planes x height with separate planes, else height
    int32_t lastPercent;
    // Scaling.
    int scaleMode;               // LoadScaleMode
    int32_t* rowTable;           // nearest: output row per source row, -1 skipped; box: output row per source row
    int32_t* columnTable;        // nearest: see BeginImage; box: first source column per output column, then srcWidth
    // Smooth scaling while the rows arrive.
    uint8_t* smoothLine;         // one unpacked source line
    uint64_t* accA;              // current output row, (outWidth + 10) x samples
    uint64_t* accB;              // next output row
    int32_t* columnWeights;      // per source column: -1 whole, else the next column's share of 1024
    int32_t smoothSamples;
    double smoothXs;
    double smoothYs;
    double smoothRowEdge;
    uint64_t smoothDivisor;
    int32_t smoothRowsIn;
    int32_t smoothRowsOut;
    // Box averaging: the sums of the output row being gathered (outWidth x
    // smoothSamples; of every output row when rows come out of order) and
    // the source rows each output row holds.
    int32_t boxRow;              // the output row being gathered, -1 before the first
    int32_t boxPlane;            // its plane, when planes are delivered separately
    uint8_t premultiply;         // four samples whose fourth is alpha: colours weighted by it
    uint64_t* boxSums;
    int32_t* boxRowCounts;
    uint8_t* boxLine;            // one output row of means, in the line's layout
    // Averaged pictures of at most 8 bits: each unpacked value becomes
    // valueBytes bytes of `values` (a grey level widened to 8 bits, or a
    // palette entry's R, G, B) before it is summed or stored; 0 otherwise.
    uint8_t valueBytes;
    uint8_t packedBits;          // mapped values that the unpacker widens from fields of 1, 2 or 4 bits; else 0
    uint8_t values[256][3];
    uint8_t valuesPlain;         // one-byte values that map to themselves (8-bit grey levels)
    uint64_t valueLanes[256];    // R, G, B of `values` in 21-bit lanes (bits 0, 21, 42), summed in one addition
    uint8_t* valueLine;
    int32_t finishedBits;        // bits per pixel EndImage finishes: the source's, 8 or 24 for mapped values
    // The bytes BeginImage weighed against the memory budget: the bitmap,
    // the row buffers and the scaling tables.
    uint64_t committedBytes;
};

struct LoadContext {
    ReaderCallbacks callbacks;

    // Values the reader reports.
    uint32_t readerValues[3];
    uint32_t imageCount;
    uint32_t loadValue;
    char subFormat[64];
    uint32_t readerFlags;
    void* scratch;               // freed by the load

    LoadOptions options;         // working copy

    LoadRowState row;

    const wchar_t* fileName;
    Bitmap* bitmap;
    ImageInfo* info;
    FileSource* source;
    uint64_t fileSize;           // of the opened source
    PictureFile* loadFile;       // the load's own open file (size probe)
    int16_t chosenFormat;        // the row whose reader decided, -1 none

    // What the reader itself holds for the picture (a decoder's whole-image
    // workspace, a buffered thumbnail): ReserveReaderMemory and
    // ReleaseReaderMemory keep it, and BeginImage weighs it together with
    // the load's own buffers.
    uint64_t readerBytes;

    uint8_t infoOnly;
    uint8_t cancelled;
    uint8_t pictureBegun;
    uint8_t alphaSeen;
    int32_t progressBarPos;

    // Gathered metadata.
    MetadataBlock* metadata;
    TagList* exifTags;
    TagList* makerNoteTags;
    char* make;
    char* model;
    char* comment;
    int32_t textCount;
    char* texts[kMaxPictureTexts];
};

// The reader side of a load (rows.cpp, endload.cpp). Readers reach the first
// four through ReaderCallbacks and call PutStripRows, CheckLoadCancelled,
// ReserveReaderMemory, InPlaceRow, LoadUsesRow and PutRowsInPlace directly.
int BeginImage(LoadContext* ctx, ImageHeader* header);
// A reader's own memory for the picture, reserved before the reader (or the
// library it calls) allocates it: true when what the reader holds then,
// together, stays within the load's budget (SetLoadMemoryBudget); false,
// with nothing reserved, when it would not (the reader fails with
// kLoadNoMemory). Every reservation is released once the memory is freed.
bool ReserveReaderMemory(LoadContext* ctx, uint64_t bytes);
void ReleaseReaderMemory(LoadContext* ctx, uint64_t bytes);
// 0, or 15 when the load was cancelled.
int PutScanlines(LoadContext* ctx, int plane, int firstRow, int rowCount);
// Where a reader may decode source row `row` itself, so that it needs
// neither a buffer of its own nor a copy into the bitmap: the bitmap's row,
// when rows are stored as delivered (no conversion, scaling or mirror; one
// plane); else null. Such rows are then handed over with PutRowsInPlace.
uint8_t* InPlaceRow(LoadContext* ctx, int32_t row);
// False when the load drops source row `row` unseen (a fit by point
// samples takes one source row of each output row): the reader still
// delivers it, but need not fill it in. True for every row otherwise.
bool LoadUsesRow(const LoadContext* ctx, int32_t row);
// Rows firstRow .. firstRow + rowCount - 1 were decoded in place: counts
// them as PutScanlines would (progress, cancel, alpha). 0, or 15 when the
// load was cancelled.
int PutRowsInPlace(LoadContext* ctx, int32_t firstRow, int32_t rowCount);
// Rows of a block of `columns` columns starting at column x (strips, tiles);
// each row starts at the beginning of its row in the buffer. 0, 15 when
// cancelled, or 1 when a smooth fit must wait for the whole picture and its
// full-size bitmap cannot be allocated.
int PutStripRows(LoadContext* ctx, int plane, int firstRow, int rowCount, int x, int columns);
// kLoadOk, or kLoadNoMemory when the palette or a widened picture cannot be
// allocated (the reader passes it on as its result).
int EndImage(LoadContext* ctx, uint16_t paletteLayout, int paletteBits, const void* palette);
void ClearImageHeader(ImageHeader* header);
// What the load's memory budget leaves for a reader's own buffers once
// BeginImage has sized the bitmap and the row buffers (the whole budget
// before it): readers whose buffers grow with the file's numbers weigh them
// against it before allocating.
uint64_t LoadMemoryLeft(const LoadContext* ctx);
// Asks the caller's row callback whether to stop; 1 when cancelled (latched).
int CheckLoadCancelled(LoadContext* ctx);
// 1 when the cancel callback asks to stop; else reports a changed percentage.
int ReportLoadProgress(LoadContext* ctx);
// A provisional output bitmap: the mode as pixel type, zeroed pixels. 1 done,
// 0 out of memory or a size that does not fit; the record is cleared first.
int AllocOutputBitmap(Bitmap* bitmap, uint32_t mode, int32_t bytesPerRow, int32_t width, int32_t height,
                      int allocate);
// Frees the row buffers and tables of a load (EndImage does it normally).
void ReleaseLoadRows(LoadRowState* rs);
// Emits the pending last row of smooth or box scaling while rows arrive.
void FlushScaledRow(LoadContext* ctx);

// Pieces of the end of a load, also usable on their own.
// A bilevel bitmap becomes a palette bitmap (type 4) holding bytes 0 and 1,
// keeping its resolution, orientation, transparency and metadata; the
// palette is left for the caller to attach. 0 done, 1 out of memory.
int ConvertBilevelToPalette(Bitmap* bitmap);
// One-byte pixels: every non-zero byte becomes 255; palette count 256.
void SpreadBilevelToGrey(Bitmap* bitmap);
// Three- and four-byte pixels: the first three bytes become 255 when the
// first byte is non-zero, else 0; palette count 256.
void SpreadBilevelToColour(Bitmap* bitmap);
// The sRGB transfer table of the L*a*b* conversion.
void BuildGammaTable(uint8_t table[256]);
