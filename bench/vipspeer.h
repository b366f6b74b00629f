// libvips as a peer, called in the benchmark's own process on pixels or
// bytes already in memory, on one thread. Kept behind plain functions so
// only vipspeer.cpp sees the libvips headers (and their include paths).
#pragma once

#include <cstddef>
#include <cstdint>

namespace bench_support {

// Starts libvips once, on one worker thread; false when it cannot start.
bool StartVips();

// vips_shrink of packed 8-bit RGB pixels (width x height x 3, rows without
// padding) into at most outWidth x outHeight, computed into memory. False
// on failure.
bool VipsShrinkRgb(const uint8_t* pixels, int width, int height, int outWidth, int outHeight);

// vips_thumbnail_buffer of an encoded picture into a width x height box,
// the thumbnail's pixels computed into memory. False on failure.
bool VipsThumbnailBuffer(const uint8_t* data, size_t size, int width, int height);

}  // namespace bench_support
