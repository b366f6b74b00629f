// The JPEG writer of the format table and the in-memory JPEG encoder.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

struct FileSource;
struct FormatCapability;
struct FormatRow;
struct SaveContext;

// Writer of the "jpeg" row: a save result code (0 done, 5 cannot create,
// 6 a write failed, 7 pixel type not accepted, 11 a libjpeg error, or the
// status of BeginWrite / GetScanlines: 1 out of memory, 15 cancelled).
int WriteJpeg(FileSource* source, SaveContext* ctx);

// Accepted pixel types, best first: 24-bit colour, grey, bilevel, CMYK.
void GetJpegWriterOptions(FormatCapability* records, const FormatRow* row);

// Results of EncodeJpegBuffer. Unlike the save results, success is 1: the
// sharing tools test for 1 ("the stream was produced").
enum EncodeJpegResult : int {
    kEncodeJpegDone = 1,
    kEncodeJpegTooLarge = 6,    // the stream does not fit in the output capacity
    kEncodeJpegFailed = 11,     // a libjpeg error, or arguments it cannot encode
};

// Encodes `height` rows of 8-bit pixels, `bytesPerRow` apart, top row first,
// into a baseline JFIF stream in `output` (at most `outputCapacity` bytes).
// `components` 1 is grey (one byte a pixel); any other value is R, G, B
// (three bytes a pixel). `quality` is libjpeg's 0..100 scale. On success the
// stream's length is stored in *outputSize; on failure *outputSize is left
// untouched and the buffer's contents are unspecified.
int EncodeJpegBuffer(const uint8_t* pixels, int32_t width, int32_t height, int32_t bytesPerRow,
                     int components, uint8_t* output, size_t outputCapacity, size_t* outputSize,
                     int quality);
