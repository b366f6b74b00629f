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

// Header flags (ImageHeader::flags) that this layer and the end of load read.
enum ImageHeaderFlags : uint32_t {
    kHeaderSeparatePlanes = 0x4,
    kHeaderCmykInverted = 0x4000,
    kHeaderCmyk = 0x8000,
    kHeaderLabUnsigned = 0x20000,
    kHeaderLabUnsignedD50 = 0x40000,
    kHeaderLabSignedD50 = 0x80000,
    kHeaderLabSigned = 0x100000,
    kHeaderFitAfterLoad = 0x400000,
    kHeaderFitAfterLoad2 = 0x1000000,
    kHeaderMayHaveAlpha = 0x2000000,
};

struct ImageHeader {
    uint32_t flags;
    uint16_t orientation;        // 0x1 right to left, 0x10 bottom-up; 128/129/144/145 transposed
    int32_t rowsPerCall;         // default 1
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
};

struct LoadContext;

// The first part of every LoadContext. Slots 10 and 11 are empty in
// information-only loads: readers test them before calling.
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

// Row state of a load: what BeginImage decided and the buffers and tables
// that carry rows from the reader into the bitmap.
struct LoadRowState {
    int32_t srcWidth;
    int32_t srcHeight;
    uint32_t headerFlags;
    int32_t rowsPerCall;
    uint16_t orientation;
    int16_t bitsPerPlane;
    int16_t components;
    int16_t headerExtra;
    int16_t planes;
    int32_t bitsPerPixel;
    int32_t xResolution;
    int32_t yResolution;
    int16_t transparentIndex;
    uint32_t bytesPerPlane;
    size_t srcBytesPerRow;
    uint8_t* srcBuffer;          // the reader's row buffer
    size_t srcBufferSize;
    void (*unpack)(LoadContext* ctx, const uint8_t* src, uint8_t* dst, int32_t count, int plane);
    void (*store)(LoadContext* ctx, const uint8_t* line, uint8_t* dst, int32_t count);
    int32_t outWidth;
    int32_t outHeight;
    int32_t stripColumns;        // columns delivered so far in the current row (strips)
    int32_t rowsDone;
    int32_t lastPercent;
    uint32_t outputMode;         // 1, 2, 80, 1952, 2048, 4096, 8192, 16384
    int32_t outBytesPerPixel;
    int32_t outBytesPerRow;
    int32_t internalBytesPerPixel;
    uint8_t* unpackScratch;
    size_t unpackScratchSize;
    uint8_t* internalLine;
    size_t internalLineSize;
    uint8_t* bilevelScratch;
    int scaleMode;               // 0 none, 1 nearest, 2 smooth, 3/4 after the load
    int32_t* rowTable;
    int32_t* columnTable;
    // Smooth scaling.
    uint8_t* smoothLine;
    uint64_t* accA;
    uint64_t* accB;
    int32_t* columnWeights;
    double smoothXs;
    double smoothYs;
    double smoothRowEdge;
    uint64_t smoothDivisor;
    int32_t smoothRowsOut;
    int32_t runningRow;
    int converterFlags;          // choices of the load-side converters
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

    uint8_t infoOnly;
    uint8_t cancelled;
    uint8_t pictureBegun;
    uint8_t alphaSeen;
    uint8_t alphaValue;
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
