// The animated GIF player's loader on any bytes: every frame it keeps is a
// complete palette picture of the screen's size (each pixel is read), its
// transparent index is none or a byte, and the frames are freed.
#include <cstdint>
#include <cstdlib>

#include "display/anigif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Keep logical screens small so a run spends its time in the decoder,
    // not in filling megabytes of canvas.
    if (size >= 10 && long(data[6] | data[7] << 8) * long(data[8] | data[9] << 8) > 256 * 256) return 0;
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
