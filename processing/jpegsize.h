// The size of a JPEG stream held in memory, read from its first frame
// header without decoding anything. The EXIF thumbnail operations measure
// an embedded thumbnail with it.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

// Walks the markers of `data` up to the first frame header (any SOFn but
// DHT, JPG and DAC). 1 with the frame's width and height; 0 when the stream
// is not a JPEG, ends early, has a segment length below 2, or reaches its
// scan or end of image first. On 0 the outputs are untouched (callers preset
// them). Failures and bytes skipped before a marker are reported on the
// standard error stream.
int GetJpegSizeFromMemory(const uint8_t* data, size_t length, uint32_t* width, uint32_t* height);
