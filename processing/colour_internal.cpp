#include "processing/colour_internal.h"

#include <cstdlib>
#include <cstring>

namespace colour {

RgbRowReader::RgbRowReader(const Bitmap* src)
    : src_(src),
      order_(ChannelOrderOf(src->pixelType)),
      components_(src->components),
      sampleBytes_(PixelSampleBytes(src->bitsPerSample)),
      shift_(SampleShift(src)),
      direct_(src->pixelType == kPixelRGB && sampleBytes_ == 1) {
    row_ = static_cast<uint8_t*>(geometry::AllocArray(size_t(src->width), 4));
    ok_ = row_ != nullptr;
}

RgbRowReader::~RgbRowReader() { std::free(row_); }

const uint8_t* RgbRowReader::RgbRow(int32_t y) {
    if (direct_) return geometry::Row(src_, y);
    return Convert(y, 3);
}

const uint8_t* RgbRowReader::RgbaRow(int32_t y) { return Convert(y, 4); }

const uint8_t* RgbRowReader::Convert(int32_t y, int outChannels) {
    const uint8_t* in = geometry::Row(src_, y);
    uint8_t* out = row_;
    const size_t pixelBytes = size_t(src_->bytesPerPixel);
    // CMYK's fourth sample is black, not alpha: such pixels read as opaque.
    const bool hasAlpha = components_ > 3 && src_->pixelType != kPixelCMYK;
    const int at[4] = {order_.red, order_.green, order_.blue, hasAlpha ? order_.alpha : -1};
    for (int32_t x = 0; x < src_->width; ++x, in += pixelBytes, out += outChannels) {
        for (int k = 0; k < outChannels; ++k) {
            if (at[k] < 0) {
                out[k] = 255;
                continue;
            }
            const uint8_t* s = in + size_t(at[k]) * size_t(sampleBytes_);
            uint32_t v;
            if (sampleBytes_ == 1) v = *s;
            else if (sampleBytes_ == 2) v = geometry::ReadSample<2>(s);
            else v = geometry::ReadSample<4>(s);
            v >>= shift_;
            out[k] = uint8_t(v > 255 ? 255 : v);
        }
    }
    return row_;
}

void IndexedColours(const Bitmap* src, Rgb colours[256]) {
    for (int v = 0; v < 256; ++v) {
        uint8_t g;
        if (src->pixelType == kPixelBilevel) g = v ? 255 : 0;
        else if (src->pixelType == kPixelPalette) {
            colours[v] = Rgb{src->palette[v], src->palette[kPaletteGreen + v], src->palette[kPaletteBlue + v]};
            continue;
        } else g = GreyOfLevel(uint32_t(v), src->paletteCount);
        colours[v] = Rgb{g, g, g};
    }
}

}  // namespace colour
