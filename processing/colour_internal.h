// Helpers shared by the colour operations (adjustments, filters, colour
// reduction, quantizer): where each pixel type keeps its red, green, blue
// and alpha, the luminance of a colour, the colour a grey sample stands for,
// and rows of any true-colour layout read as packed 8-bit red, green, blue.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagelib/bitmap.h"
#include "imagelib/geometry/geometry_internal.h"

namespace colour {

// Positions (in samples from the start of a pixel) of red, green, blue and
// the fourth sample of a true-colour type; `alpha` is -1 for three-sample
// types. Types not listed keep red, green, blue in their first three samples.
struct ChannelOrder {
    int red;
    int green;
    int blue;
    int alpha;
};

inline ChannelOrder ChannelOrderOf(uint16_t type) {
    switch (type) {
        case kPixelRGB: return {0, 1, 2, -1};
        case kPixelBGR: return {2, 1, 0, -1};
        case kPixelBGRA: return {2, 1, 0, 3};
        case kPixelABGR: return {3, 2, 1, 0};
        case kPixelARGB: return {1, 2, 3, 0};
        default: return {0, 1, 2, 3};  // RGBA and CMYK
    }
}

// (77 red + 150 green + 29 blue) / 256: 0..255.
inline int Luminance(int red, int green, int blue) { return (77 * red + 150 * green + 29 * blue) >> 8; }

// The 0..255 grey that sample `v` of a grey picture with `levels` levels
// stands for: v * 255 / (levels - 1). A level count below 2 or above 255 has
// no ramp of its own and reads the sample as 0..255; samples above the last
// level read as white.
inline uint8_t GreyOfLevel(uint32_t v, int levels) {
    if (levels < 2 || levels > 255) return uint8_t(v > 255 ? 255 : v);
    if (v >= uint32_t(levels - 1)) return 255;
    return uint8_t(v * 255 / uint32_t(levels - 1));
}

// Right shift that brings a stored sample to 8 bits: 10- and 12-bit samples
// (and any depth up to 16) by their depth less 8; 32-bit samples keep their
// high byte.
inline int SampleShift(const Bitmap* b) {
    if (b->bitsPerSample <= 8) return 0;
    if (b->bitsPerSample <= 16) return b->bitsPerSample - 8;
    return 24;
}

// Reads rows of a validated true-colour picture as packed 8-bit red, green,
// blue (and alpha, 255 for three-sample types, in RgbaRow). 8-bit RGB rows
// are returned in place; every other layout is converted into a row of the
// reader's own, so the pointer holds until the next call.
class RgbRowReader {
public:
    explicit RgbRowReader(const Bitmap* src);
    ~RgbRowReader();
    RgbRowReader(const RgbRowReader&) = delete;
    RgbRowReader& operator=(const RgbRowReader&) = delete;
    bool ok() const { return ok_; }
    const uint8_t* RgbRow(int32_t y);
    const uint8_t* RgbaRow(int32_t y);

private:
    const uint8_t* Convert(int32_t y, int outChannels);
    const Bitmap* src_;
    ChannelOrder order_;
    int components_;
    int sampleBytes_;
    int shift_;
    bool direct_;  // 8-bit RGB rows are read in place
    uint8_t* row_ = nullptr;
    bool ok_ = false;
};

// Colour of a grey, palette or bilevel pixel value, as red, green, blue.
struct Rgb {
    uint8_t r, g, b;
};
// The colours of values 0..255 of a one-byte picture (bilevel: 0 black,
// 1 white; grey: its level's grey; palette: its palette entry).
void IndexedColours(const Bitmap* src, Rgb colours[256]);

// Value of pixel x of row `row` of a one-byte or bilevel picture.
inline uint8_t IndexedValue(const Bitmap* src, const uint8_t* row, int32_t x) {
    return src->pixelType == kPixelBilevel ? uint8_t(GetRowBit(row, x)) : row[x];
}

// Writes one pixel of red, green, blue and alpha in the layout of `order`
// (alpha dropped for three-byte layouts).
inline void PutRgba(uint8_t* p, const ChannelOrder& order, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    p[order.red] = r;
    p[order.green] = g;
    p[order.blue] = b;
    if (order.alpha >= 0) p[order.alpha] = a;
}

// The quantized picture of an 8-bit (or bilevel) source, allocated into
// `out`: kGeometryDone, kGeometryNoMemory or kGeometryBadSize. The record
// carries no metadata; the caller delivers it.
int QuantizeToNew(const Bitmap* src, int wanted, bool dither, Bitmap* out);

}  // namespace colour
