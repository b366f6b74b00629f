// Animated GIF playback: the whole file is decoded once into a list of
// complete frames, each an 8-bit palette Bitmap of the logical screen with
// its display time, so showing a frame is a plain picture change in the view.
//
// Portable: no platform headers. Reads through the image library's
// PictureFile, so a path and a block of memory load alike.
#pragma once

#include <cstdint>
#include <vector>

#include "imagelib/bitmap.h"
#include "imagelib/fileio.h"

// Result codes of AniGifLoad. Frames decoded before an error stay in the
// result and the error's code is returned.
enum AniGifResultCode : int {
    kAniGifOk = 0,
    kAniGifNoMemory = 1,        // no frame array or work area
    kAniGifNotGif = 2,          // no GIF signature, or no frame decoded
    kAniGifCannotOpen = 3,
    kAniGifTruncated = 4,       // the file ends inside a block
    kAniGifBadFrame = 9,        // frame size or LZW minimum code size out of range
    kAniGifStringTooLong = 10,  // an LZW string longer than 4095 bytes
};

// Frames and logical screens are at most this wide and tall (exclusive).
constexpr int32_t kAniGifMaxSide = 16000;
// The frames of one animation take at most this many pixel bytes together;
// a file that would need more keeps the frames that fit and returns 1 (a
// few bytes of GIF can otherwise ask for gigabytes of full-screen frames).
constexpr size_t kAniGifMaxTotalBytes = size_t(256) << 20;

// One composited frame: a Bitmap of pixel type 4 (8-bit with palette), row
// alignment 4, the logical screen's size, with its palette, palette count
// and transparent index (-1 none); and how long it is shown.
struct AniGifFrame {
    Bitmap bitmap;
    uint32_t delayMs;
};

// The frames in file order. The caller frees each frame's Bitmap and the
// array, most simply through AniGifFree.
struct AniGifAnimation {
    std::vector<AniGifFrame> frames;
};

// Loads every frame of the GIF file at `path` into `out` (which it empties
// first). Returns an AniGifResultCode; a file that is not a GIF returns 2
// without allocating anything.
int AniGifLoad(const wchar_t* path, AniGifAnimation* out);
// The same from any source (a path, a stream or memory).
int AniGifLoadSource(const FileSource* source, AniGifAnimation* out);
// Frees every frame's Bitmap and empties the list.
void AniGifFree(AniGifAnimation* animation);

// The 13-byte logical screen descriptor.
struct AniGifScreen {
    char signature[6];
    uint16_t width;
    uint16_t height;
    uint8_t flags;
    uint8_t background;
    uint8_t aspect;
};

// The image descriptor after the 0x2C separator.
struct AniGifImageDescriptor {
    uint16_t left;
    uint16_t top;
    uint16_t width;
    uint16_t height;
    uint8_t flags;
};

// Each reads its record; 1 done, 0 when the file ends first.
int AniGifReadScreen(AniGifScreen* header, PictureFile* file);
int AniGifReadImageDescriptor(AniGifImageDescriptor* descriptor, PictureFile* file);

// The LZW decoder's tables and its row buffer; one per load.
struct AniGifWork {
    uint8_t stack[4096];     // a decoded string, last byte first
    uint8_t suffix[4096];
    uint16_t prefix[4096];
    std::vector<uint8_t> row;  // one image row
};

// Where and how one image is drawn into its frame.
struct AniGifTarget {
    Bitmap* frame;            // the canvas, already holding what shows through
    int32_t left, top;        // the image's rectangle on the canvas
    int32_t width, height;
    bool interlaced;
    const uint8_t* indexMap;  // 256 entries: file index -> frame palette index
    bool transparency;        // pixels whose file index is `transparentIndex`
    int transparentIndex;     // are not written
};

// Decodes one image's LZW data (the sub-blocks after the minimum code size
// byte) into `target`, rows and columns outside the frame left unwritten.
// Returns 0, 4 when the file ends inside the data, 9 for a minimum code size
// outside 2..9, 10 for a string longer than 4095 bytes. The data's
// sub-blocks are consumed up to their terminator whenever the file allows.
int AniGifDecodeFrame(PictureFile* file, int minCodeSize, AniGifWork* work, const AniGifTarget& target);
