// libvips peer calls (see vipspeer.h).
#include "vipspeer.h"

#include <vips/vips.h>

namespace bench_support {

bool StartVips() {
    static const bool started = [] {
        if (VIPS_INIT("bench") != 0) return false;
        vips_concurrency_set(1);
        vips_cache_set_max(0);  // every call does its work
        return true;
    }();
    return started;
}

namespace {

// Computes the image into memory; false on failure. Unrefs the image.
bool Compute(VipsImage* image) {
    size_t bytes = 0;
    void* memory = vips_image_write_to_memory(image, &bytes);
    g_object_unref(image);
    if (!memory) return false;
    g_free(memory);
    return true;
}

}  // namespace

bool VipsShrinkRgb(const uint8_t* pixels, int width, int height, int outWidth, int outHeight) {
    VipsImage* in = vips_image_new_from_memory(pixels, size_t(width) * size_t(height) * 3, width, height, 3,
                                               VIPS_FORMAT_UCHAR);
    if (!in) return false;
    VipsImage* out = nullptr;
    const int failed = vips_shrink(in, &out, double(width) / outWidth, double(height) / outHeight, nullptr);
    g_object_unref(in);
    return failed == 0 && Compute(out);
}

bool VipsThumbnailBuffer(const uint8_t* data, size_t size, int width, int height) {
    VipsImage* out = nullptr;
    if (vips_thumbnail_buffer(const_cast<uint8_t*>(data), size, &out, width, "height", height, nullptr) != 0)
        return false;
    return Compute(out);
}

}  // namespace bench_support
