// The picture record every subsystem meets on, its pixel types, and the
// settings records of one load and one save.
//
// Portable: no platform headers. All memory of a Bitmap comes from
// malloc/calloc and is released with free; a bitmap has one owner, who
// releases it with FreeBitmap.
#pragma once

#include <cstddef>
#include <cstdint>

struct MetadataBlock;

// Pixel types: single bits so that families can be tested by masks.
enum PixelType : uint16_t {
    kPixelBilevel = 1,   // 8 pixels per byte, MSB first; bit 0 black, 1 white
    kPixelGrey = 2,      // 1 byte, 0 black .. 255 white; no palette array
    kPixelPalette = 4,   // 1 byte, index into the planar palette
    kPixelRGB = 16,
    kPixelRGBA = 32,
    kPixelBGR = 64,
    kPixelABGR = 128,
    kPixelBGRA = 256,
    kPixelARGB = 512,
    kPixelCMYK = 1024,
};

// Family masks.
constexpr uint16_t kPixelMask3Byte = 80;     // RGB or BGR
constexpr uint16_t kPixelMask4Byte = 1952;   // RGBA, ABGR, BGRA, ARGB, CMYK
constexpr uint16_t kPixelMaskColour = 2032;  // any three- or four-byte type

// Rectangles: x, y, width, height.
struct PictureRect {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

// The planar palette: four planes of 256 bytes (red, green, blue, fourth).
constexpr size_t kPaletteBytes = 1024;
constexpr size_t kPaletteGreen = 256;
constexpr size_t kPaletteBlue = 512;
constexpr size_t kPaletteFourth = 768;

struct Bitmap {
    int32_t width;
    int32_t height;
    int32_t bytesPerRow;       // a multiple of rowAlignment
    uint16_t pixelType;        // one PixelType value
    uint16_t bytesPerPixel;    // 1 for bilevel/grey/palette; components x sample bytes otherwise
    uint16_t bitsPerSample;    // 1 bilevel, 8 normally, 9..32 deep samples
    uint16_t components;       // 1, 3 or 4
    int16_t rowAlignment;      // at least 1
    uint16_t orientation;      // the load's orientation request
    int32_t xResolution;       // dots per inch, 0 unknown
    int32_t yResolution;
    int16_t paletteCount;
    int16_t transparentIndex;  // -1 none
    uint8_t* palette;          // kPaletteBytes planar bytes, or null
    uint8_t* pixels;           // height rows of bytesPerRow, top row first
    MetadataBlock* metadata;   // first node of the metadata list, or null
    char* comment;             // NUL-terminated, or null
};

// Load flags (LoadOptions::flags).
enum LoadFlags : uint32_t {
    kLoadVerbose = 0x1,
    kLoadLowDepthAsColour = 0x2,
    kLoadPreferThreeBytes = 0x4,
    kLoadPreferFourBytes = 0x8,
    kLoadProgressBar = 0x100,
    kLoadAcceptDamaged = 0x400,
    kLoadReduced = 0x800,
    kLoadExtensionOnly = 0x1000,
    kLoadFirstImageOnly = 0x8000,
    kLoadKeepComment = 0x10000,
    kLoadKeepTexts = 0x20000,
    kLoadKeepMetadata = 0x40000,
    kLoadNoBilevel = 0x80000,
    kLoadKeepCmyk = 0x100000,
    kLoadKeepDeepSamples = 0x200000,
    kLoadRefuseSmallThumbnail = 0x400000,
    kLoadFastDecode = 0x800000,
    kLoadInfoOnly = 0x1000000,
    kLoadEstimateQuality = 0x2000000,
};

// Callbacks of a load. User values are pointer-sized so they can carry pointers.
using LoadRowCallback = int (*)(int32_t row, int32_t total, uintptr_t user);
using LoadProgressCallback = void (*)(int32_t percent, uintptr_t user);
using LoadCancelCallback = int (*)(uintptr_t user);

struct LoadOptions {
    uint16_t pixelOrder;            // PixelOrder of 3/4-byte output
    int16_t formatIndex;            // -1: by extension and probing
    uint16_t orientation;           // 0x1 mirror rows, 0x10 bottom-up
    uint32_t flags;                 // LoadFlags
    uint32_t imageIndex;            // page / frame / layer wanted
    int16_t rowAlignment;           // values below 1 count as 1
    uint8_t alphaValue;             // alpha written when widening to four bytes
    uint8_t iconChooseBest;
    uint16_t keepReaderReduction;
    uint16_t scaleMethod;           // 2 smooth, else nearest
    int32_t targetWidth;            // fit box; values >= 1 ask for a fit
    int32_t targetHeight;
    uintptr_t rowCallbackUser;
    LoadRowCallback rowCallback;
    LoadProgressCallback progressCallback;
    uintptr_t progressUser;
    LoadCancelCallback cancelCallback;
    uintptr_t cancelUser;
    uint32_t referenceWidth;
    uint32_t referenceHeight;
    uint16_t referenceDpi;          // carried only; defaults to 72
    uint8_t pngTransparencyBackground;
    uint8_t pngAlphaBackground;
    uint8_t rawFullSize;
    uint8_t embeddedThumbnailMode;
    uint8_t psdDropAlpha;
    uint8_t iconMaskToAlpha;
    // Camera RAW parameters, handed to the RAW reader unchanged.
    uint8_t rawSwitches[3];         // defaults 1, 1, 0
    uint32_t rawValue;
    float rawReals[8];              // defaults 0.6, 0.8, 1.0, 1.0, 0, 0, 1.0, 1.0
};

// Callbacks of a save.
using SaveProgressCallback = int (*)(int32_t row, int32_t height, uintptr_t user);
using SaveRowProvider = int (*)(uint8_t* row, int32_t rowIndex, int32_t count, uintptr_t user);

struct SaveOptions {
    int16_t formatIndex;
    uint16_t pixelOrder;            // set by the save itself
    uint32_t flags;
    uint32_t scratchSize;
    uintptr_t progressUser;
    SaveProgressCallback progressCallback;
    SaveRowProvider rowProvider;
    uintptr_t rowProviderUser;
    uint16_t rleSwitch;
    int16_t quality;                // JPEG 0..100
    int16_t compressionLevel;       // PNG; above 9 counts as 9
    uint16_t pngFilter;
    int16_t jpegSmoothing;
    uint16_t jpegDctMethod;         // 1 fast int, 2 float, else library default
    int16_t jpegSubsampling;        // 0 2x2, 1 2x1, 2 1x1, else default
    uint8_t keepExif;
    uint8_t keepIptc;
    uint8_t keepXmp;
    uint8_t interlaced;
    uint8_t gif87a;
    uint8_t os2Header;
    uint8_t jpegOptimize;
    int16_t secondSaveValue;
    uint32_t thirdSaveValue;
};

void InitLoadOptions(LoadOptions* options);
int InitSaveOptions(SaveOptions* options);

// A zeroed kPaletteBytes palette for types with bit 4 (palette), else null.
uint8_t* AllocBitmapPalette(uint16_t pixelType);

// 1 done, 0 out of memory or a size that does not fit (width or height below 1,
// or a row or picture too large). A failed allocation leaves the record cleared.
int AllocBitmap(Bitmap* bitmap, uint16_t pixelType, int16_t alignment, int32_t width, int32_t height);
int AllocBitmapWithDepth(Bitmap* bitmap, uint16_t pixelType, int16_t alignment, int32_t width,
                         int32_t height, uint16_t bitsPerSample);
void FreeBitmap(Bitmap* bitmap);
void FreeMetadataList(MetadataBlock** head);
void CopyBitmapMetadata(Bitmap* dst, const Bitmap* src);
int CreateBitmapLike(Bitmap* dst, uint16_t pixelType, const Bitmap* src);

int GetRowBit(const uint8_t* row, int32_t x);
void OrRowBit(uint8_t* row, int32_t x, int value);
void PutRowBit(uint8_t* row, int32_t x, int value);

// Components of a stored pixel type: 1 for bilevel, grey and palette, 3 or 4
// for colour; 0 for any other value (families included).
int PixelTypeComponents(uint16_t pixelType);
// Bytes one sample of this depth is stored in: 1 up to 8 bits, 2 up to 16,
// 4 up to 32; 0 deeper.
int PixelSampleBytes(uint16_t bitsPerSample);
// How a picture record's pixels are stored, as CheckBitmapLayout finds it.
struct PixelLayout {
    int components;   // 1, 3 or 4 (1 for bilevel)
    int sampleBytes;  // 1, 2 or 4 (1 for bilevel, whose samples are bits)
    int pixelBytes;   // components x sampleBytes (0 for bilevel)
};
// The one check of a record before its pixels are read: a stored pixel type
// (no family), width and height at least 1, pixels present, bytes per pixel
// equal to components x PixelSampleBytes(bitsPerSample) (samples of 1 to 8
// bits take a byte), palette indices at most a byte deep, rows at least as
// wide as the width needs, and the whole picture within 32-bit sizes. What
// a caller needs beyond that (a palette table, say) it checks itself.
bool CheckBitmapLayout(const Bitmap* bitmap, PixelLayout* layout);

// Bytes of one row as AllocBitmapWithDepth lays it out (families resolved,
// alignments below 1 counting as 1; bilevel rows ignore the depth); 0 when
// width or height is below 1, the depth is above 32 for other types, or a row
// or the whole picture of `height` rows does not fit in 32 bits.
int32_t BitmapRowBytes(uint16_t pixelType, int16_t alignment, int32_t width, int32_t height,
                       uint16_t bitsPerSample);

// 0, or 16 when the clipped rectangle is empty; `out` is written in both cases.
int ClipRectToBitmap(const Bitmap* bitmap, const PictureRect* rect, PictureRect* out);

// The row alignment arithmetic shared by the allocators: bytes of a row of
// `width` pixels of `bitsPerPixel` bits, rounded up to `alignment`; 0 when it
// does not fit in 32 bits.
int32_t AlignedRowBytes(int64_t width, int64_t bitsPerPixel, int32_t alignment);
