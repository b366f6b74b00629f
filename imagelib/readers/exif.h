// The EXIF block of a JPEG file (its APP1 marker): where its thumbnail and
// Orientation entry are, and the decoding of that thumbnail as the load's
// picture, so a reduced load of a large photograph decodes a few kilobytes.
//
// Portable: no platform headers. ParseExifApp1 trusts nothing in the block:
// every offset and length is checked in 64-bit arithmetic against the
// block's size, and IFD walks go through the capped reader of tiffifd.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../loadcontext.h"

// What ParseExifApp1 found. The pointers point into the caller's block (so
// a caller can rewrite the values in place) and live as long as it does.
struct ExifApp1Info {
    uint32_t thumbnailOffset;      // from the block's first byte ("Exif"); the TIFF header is at 6
    uint32_t thumbnailLength;
    uint8_t* thumbnailLengthValue; // the 4-byte value of tag 514
    uint32_t orientationFound;     // 274 once an Orientation entry was met after IFD0, else 0
    uint8_t* orientationValue;     // its 16-bit value
    uint32_t bigEndian;            // 1 for "MM", 0 for "II"
};

// `data` is an APP1 payload beginning "Exif" and two zero bytes (the caller
// tests that). 1 when it holds a thumbnail that lies wholly inside the
// block, else 0. The record is cleared first and filled as far as the walk
// came, also when the result is 0. Tags 513, 514 and 274 count only in the
// IFDs after IFD0.
int ParseExifApp1(uint8_t* data, size_t length, ExifApp1Info* info);

// 1 with the thumbnail's offset (from the block's start) and length when
// ParseExifApp1 finds one; else 0 and the outputs untouched.
int FindExifThumbnail(uint8_t* data, size_t length, uint32_t* offset, uint32_t* thumbnailLength);

// Decodes a thumbnail's JPEG bytes as the load's picture, declared as a
// reduction of the main picture (its output width, height and libjpeg colour
// space). 0 delivered; 1 refused as smaller than the box (load flag
// 0x400000) or out of memory; 2 or 10 for a libjpeg error (10 for an
// unsupported process or damaged rows), and 2 for a thumbnail larger than
// the main picture or of a colour space the load cannot take; BeginImage's
// refusal;
// otherwise the last PutScanlines answer (15 when the load was cancelled).
// BeginImage is called only once the whole thumbnail has decoded.
int DecodeJpegFromMemory(const uint8_t* data, size_t length, int32_t pictureWidth, int32_t pictureHeight,
                         int pictureColourSpace, LoadContext* ctx);
