// The animated GIF player's loader on any bytes: every frame it keeps is a
// complete palette picture of the screen's size (each pixel is read), its
// transparent index is none or a byte, and the frames are freed.
#include <cstdint>
#include <cstdlib>

#include "display/anigif.h"
#include "imagelib/bytereader.h"

namespace {

constexpr long kMaxPixels = 64 * 64;

// True when the logical screen or the first image (which may enlarge the
// screen) is larger than the fuzzer cares for: such inputs spend their time
// filling megabytes of canvas rather than in the decoder.
bool TooLarge(const uint8_t* data, size_t size) {
    ByteReader r(data, size);
    r.Skip(6);
    const long w = r.U16Le(), h = r.U16Le();
    const uint8_t flags = r.U8();
    if (w * h > kMaxPixels) return true;
    r.Skip(2);
    if (flags & 0x80) r.Skip(3u << ((flags & 7) + 1));
    while (r.ok && r.Remaining() > 0) {
        const uint8_t c = r.U8();
        if (c == 0x2C) {
            r.Skip(4);
            return long(r.U16Le()) * long(r.U16Le()) > kMaxPixels;
        }
        if (c != 0x21) continue;
        r.Skip(1);
        for (uint8_t n; r.ok && (n = r.U8()) != 0;) r.Skip(n);
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (TooLarge(data, size)) return 0;
    FileSource source;
    InitMemorySource(&source, data, size);
    AniGifAnimation animation;
    const int rc = AniGifLoadSource(&source, &animation);
    if (rc < 0 || rc > 10) std::abort();
    unsigned sum = 0;
    for (const AniGifFrame& f : animation.frames) {
        const Bitmap& b = f.bitmap;
        if (b.pixelType != kPixelPalette || b.width < 1 || b.height < 1 || !b.palette) std::abort();
        if (b.width != animation.frames[0].bitmap.width || b.height != animation.frames[0].bitmap.height) std::abort();
        if (b.transparentIndex < -1 || b.transparentIndex > 255 || b.paletteCount < 1 || b.paletteCount > 256)
            std::abort();
        for (int32_t y = 0; y < b.height; ++y)
            for (int32_t x = 0; x < b.width; ++x) sum += b.pixels[size_t(y) * size_t(b.bytesPerRow) + size_t(x)];
    }
    AniGifFree(&animation);
    return int(sum & 0);
}
