// The writer side of a save: what a writer declares (WriteHeader), the
// callback table it talks back through (WriterCallbacks), the picture
// description it reads, and the per-save context.
//
// A writer is reached only through the writeFn of its format row, with a
// FileSource and a SaveContext. It opens its file through the callbacks'
// openPictureFile, fills a WriteHeader (clearWriteHeader clears it), calls
// beginWrite once, getScanlines for the rows and endWrite once, and closes
// its file through closePictureFile.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bitmap.h"
#include "fileio.h"
#include "metadata.h"
#include "pixelrows.h"

// Save result codes (tested on their low 16 bits).
enum SaveResult : int {
    kSaveOk = 0,
    kSaveNoMemory = 1,
    kSaveCannotCreate = 5,   // the output file cannot be created
    kSaveWriteFailed = 6,    // a write (or the final flush and close) failed
    kSaveRefused = 7,        // the format does not take the picture (pixel type, size, LZW off)
    kSaveNoWriter = 8,       // no such format, or it has no writer
    kSaveJpegError = 11,     // a JPEG library error
    kSaveCancelled = 15,     // the progress callback asked to stop
    kSaveBadRowRequest = 16, // GetScanlines asked for rows outside the picture or more than
                             // its rows per call: a writer fault, nothing delivered
};

// SaveOptions::flags bits read by the save dispatch (the JPEG writer reads
// kSaveWriteIcc).
enum SaveFlags : uint32_t {
    kSaveVerbose = 0x1,        // what was written, on the standard error stream
    kSaveSetExtension = 0x40,  // give the name the format's extension
    kSaveCopyNameBack = 0x80,  // copy the changed name into the caller's name buffer
    kSaveProgressBar = 0x100,  // 60 "-", "\r", one "*" per sixtieth, "\n"; standard error
    kSaveWriteIcc = 0x2000000,
};

// WriteHeader::flags: the row layout a writer wants.
enum WriteHeaderFlags : uint32_t {
    kWriteInterleavedPlanes = 0x1,  // word-interleaved bit planes
    kWriteBytePerPixel = 0x2,       // one byte per pixel (1-bit pictures: bytes 0 or 1)
    kWriteSeparatePlanes = 0x4,     // no packing: the fetched line as it is
    kWriteReversed = 0x8,           // B, G, R or A, B, G, R
    kWriteAlphaFirst = 0x10,        // A, R, G, B
    kWriteBgra = 0x20,              // B, G, R, A
    kWriteCmykInverted = 0x4000,    // CMYK bytes written as 255 minus themselves
    kWriteCmyk = 0x8000,            // CMYK bytes written unchanged
    kWriteGreyInverted = 0x10000,   // grey levels inverted (minimum is white)
    kWriteNoProgress = 0x200000,    // the progress callback is not called
};

// WriteHeader::orientation.
enum WriteOrientation : uint16_t {
    kWriteMirrored = 0x1,   // rows wanted right to left
    kWriteBottomUp = 0x10,  // rows wanted bottom row first
};

// WriteHeader::paletteLayout takes the PaletteLayoutFlags of pixelrows.h
// (kPaletteTriples and the byte, word and plane layouts); 0 means the writer
// needs no palette, and grey and bilevel rows then pass through the grey map.

struct WriteHeader {
    uint32_t flags;             // WriteHeaderFlags
    uint16_t orientation;       // WriteOrientation
    int32_t rowsPerCall;        // rows one GetScanlines call may deliver; default 1
    uint8_t* rowBuffer;         // set by BeginWrite: packed rows, outputLineLength apart
    int16_t planes;             // default 1
    int16_t bitsPerPlane;       // default 1
    int16_t bitsPerSample;      // used with components; default 1
    int16_t components;         // above 0: total bits = bitsPerSample x components; default 0
    uint32_t bytesPerPlane;     // of the writer's rows
    uint16_t paletteLayout;     // PaletteLayoutFlags; 0 = no palette
    uint16_t paletteBits;       // bits per palette component
    uint8_t* palette;           // set by BeginWrite, owned by the context
    char description[64];       // the format's description, for the verbose message
};

struct SaveContext;

// The first part of every SaveContext.
struct WriterCallbacks {
    // 0, 1 out of memory, 7 a row layout the converters cannot make for this
    // picture. On a non-zero result nothing stays allocated and EndWrite is
    // not to be called.
    int (*beginWrite)(SaveContext* ctx, WriteHeader* header);
    // Packs rowCount rows, starting at firstRow (-1: where the last call
    // stopped), into the header's row buffer. 0, 15 cancelled (from then on),
    // the row provider's error, or kSaveBadRowRequest.
    int (*getScanlines)(SaveContext* ctx, int32_t firstRow, int32_t rowCount);
    // Frees what BeginWrite allocated (row buffer and palette included).
    void (*endWrite)(SaveContext* ctx);
    // Bits needed for a colour count: 1 below 3 ... 8 from 129 on.
    int (*bitsForColourCount)(int32_t colourCount);
    // The library's temporary folder with a trailing "/", or an empty text.
    size_t (*getLibraryTempFolder)(char* buffer, size_t capacity);
    void (*clearWriteHeader)(WriteHeader* header);
    PictureFile* (*openPictureFile)(const FileSource* source, int mode);
    // Flushes and closes; 0 when every write and the close went through, 1
    // when any failed (the writer then returns kSaveWriteFailed).
    int (*closePictureFile)(PictureFile* file);
    // 0: quality; 1: the second save value; 2: the third; other indexes 0.
    int64_t (*getSaveOption)(SaveContext* ctx, int index);
};

// The colours a writer must provide for a picture: 2 for bilevel; for grey
// and palette pictures the colour count, or 256 when the count is not a
// usable one (grey pixels are 0..255 by definition; a palette has 256 slots).
inline int EffectiveColourCount(uint16_t pixelType, int colourCount) {
    if (pixelType == kPixelBilevel) return 2;
    const int least = pixelType == kPixelGrey ? 2 : 1;
    return colourCount >= least && colourCount <= 256 ? colourCount : 256;
}

// The picture as writers see it.
struct SavePictureInfo {
    uint16_t kind;              // kPixelMaskColour for any 3/4-byte type, else 1, 2 or 4
    uint16_t subKind;           // kPixelCMYK for CMYK, else 16
    int32_t bitsPerPixel;       // 24 for 3-byte and CMYK, 32 other 4-byte, 1 bilevel, else 8
    int32_t width;
    int32_t height;
    int16_t colourCount;        // the bitmap's paletteCount
    int16_t xResolution;        // dots per inch, 0 unknown
    int16_t yResolution;
    int16_t transparentIndex;   // -1 none
    uint16_t bitsPerComponent;
    uint16_t components;
    uint32_t formatValue;       // the format row's per-format value
    const MetadataBlock* metadata;
    const char* comment;
};

// The save-side converter state (filled by BeginWrite; see writeconvert.h).
struct SaveRowState {
    int32_t width;
    int32_t height;
    int16_t planes;
    int16_t totalBits;
    int16_t bitsPerPlane;
    uint32_t sourceMode;        // 1, 2, 80, 1952 (deep samples are narrowed to 8 bits first)
    uint32_t writerFlags;
    size_t bitmapRowLength;     // bytes of one bitmap row as read
    uint32_t bytesPerPlane;
    size_t outputLineLength;
    void (*fetch)(SaveRowState* state, const uint8_t* bitmapRow);
    void (*pack)(SaveRowState* state, uint8_t* outputRow);
    uint16_t paletteLayout;
    uint16_t paletteBits;
    uint16_t pixelType;         // of the bitmap
    int16_t colourCount;
    const uint8_t* bitmapPalette;
    uint8_t* writerPalette;
    size_t writerPaletteSize;
    uint16_t greyMapEnabled;
    uint8_t greyMap[256];
    uint32_t fetchBytesPerPixel;
    uint16_t pixelOrder;
    uint8_t* scratchLine;
    size_t scratchLineSize;
    uint8_t* fetchLine;
    size_t fetchLineSize;
    // Deep samples (bitmaps of more than 8 bits per sample): narrowed into
    // narrowLine, which the fetcher then reads.
    uint32_t deepSampleBytes;   // 0, 2 or 4
    uint32_t deepBits;
    uint32_t deepComponents;
    uint8_t* narrowLine;
    size_t narrowLineSize;
};

struct SaveContext {
    WriterCallbacks callbacks;
    SavePictureInfo picture;
    SaveOptions options;        // the caller's, with pixelOrder set by BeginWrite
    SaveRowState row;

    // Save state.
    wchar_t* fileName;          // the name written (after the extension change), or null
    const Bitmap* bitmap;
    int32_t rowsDone;
    uint8_t cancelled;
    uint8_t begun;
    int32_t progressColumn;
    int32_t rowsPerCall;
    uint16_t orientation;       // the writer's
    uint8_t* rowBuffer;
    size_t rowBufferSize;
    uint8_t* providerLine;      // a bitmap row from the row provider
    void* scratch;              // SaveOptions::scratchSize zeroed bytes, or null
};
