// End of load: EndImage turns the provisional output of BeginImage into the
// final Bitmap (pixel type, sizes, palette, grey and palette widening, colour
// space conversions, opaque alpha), then does what could not be done row by
// row: the fit to the target box and the turn of pictures stored column-wise.
//
// Portable: no platform headers. Calls the geometric operations of the
// processing library.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "loadcontext.h"
#include "geometry.h"
#include "readconvert.h"

namespace {

// What EndImage keeps of the row state once its buffers are gone.
struct Finished {
    uint32_t mode;
    int bpp;  // of the values that reached the bitmap (LoadRowState::finishedBits)
    uint32_t headerFlags;
    uint16_t headerOrientation;
    int scaleMode;
    // Deep modes: bits per sample, samples the reader gave, bytes per pixel.
    int deepBits;
    int deepComponents;
    int deepPixelBytes;
};

// 256 output pixels (in the output byte order) indexed by the value that the
// storer left in the pixel, and where it left it.
struct Expander {
    uint8_t pixels[256][4];
    int at;     // byte of the pixel holding the index or grey value
    int bytes;  // 3 or 4
};

void PlaceColour(Expander* e, int i, uint8_t r, uint8_t g, uint8_t b, uint8_t alpha, uint16_t order) {
    uint8_t* p = e->pixels[i];
    if (e->bytes == 3) {
        if (order == 0) p[0] = r, p[1] = g, p[2] = b;
        else p[0] = b, p[1] = g, p[2] = r;
        return;
    }
    switch (order) {
    case 0: p[0] = r, p[1] = g, p[2] = b, p[3] = alpha; break;
    case 1: p[0] = alpha, p[1] = b, p[2] = g, p[3] = r; break;
    case 3: p[0] = alpha, p[1] = r, p[2] = g, p[3] = b; break;
    default: p[0] = b, p[1] = g, p[2] = r, p[3] = alpha; break;
    }
}

void InitExpander(Expander* e, uint32_t mode, uint16_t order) {
    std::memset(e, 0, sizeof *e);
    e->bytes = mode == 1952 ? 4 : 3;
    e->at = IndexByteOfPixel(mode, order);
}

void RunExpander(Bitmap* b, const Expander& e) {
    for (int32_t y = 0; y < b->height; ++y) {
        uint8_t* p = b->pixels + size_t(y) * size_t(b->bytesPerRow);
        for (int32_t x = 0; x < b->width; ++x, p += e.bytes) std::memcpy(p, e.pixels[p[e.at]], size_t(e.bytes));
    }
}

void ForEachRowByte(Bitmap* b, size_t rowBytes, uint8_t (*fn)(uint8_t, uintptr_t), uintptr_t arg) {
    for (int32_t y = 0; y < b->height; ++y) {
        uint8_t* p = b->pixels + size_t(y) * size_t(b->bytesPerRow);
        for (size_t i = 0; i < rowBytes; ++i) p[i] = fn(p[i], arg);
    }
}

uint8_t InvertByte(uint8_t v, uintptr_t) { return uint8_t(255 - v); }

// Grey of `levels` values reversed (0 becomes the brightest).
uint8_t InvertLevel(uint8_t v, uintptr_t max) { return v >= max ? 0 : uint8_t(max - v); }

// 0 and 1 of a two-colour picture as black and white; `whiteFirst` when
// value 0 is the white one.
uint8_t SpreadTwoColours(uint8_t v, uintptr_t whiteFirst) { return ((v != 0) != (whiteFirst != 0)) ? 255 : 0; }

bool SameColour(const uint8_t* palette, int i, uint8_t v) {
    return palette[i] == v && palette[kPaletteGreen + i] == v && palette[kPaletteBlue + i] == v;
}

// Rewrites the rows of a three- or four-byte bitmap as three-byte rows, in
// place: each output pixel lies at or before its source.
template <typename Fn>
void RewriteAsThreeBytes(Bitmap* b, int16_t alignment, Fn convert) {
    const int step = b->bytesPerPixel;
    const int32_t newRow = AlignedRowBytes(b->width, 24, alignment < 1 ? 1 : alignment);
    if (newRow == 0 || newRow > b->bytesPerRow) return;
    for (int32_t y = 0; y < b->height; ++y) {
        const uint8_t* src = b->pixels + size_t(y) * size_t(b->bytesPerRow);
        uint8_t* dst = b->pixels + size_t(y) * size_t(newRow);
        for (int32_t x = 0; x < b->width; ++x) {
            uint8_t in[4] = {src[0], src[1], src[2], uint8_t(step > 3 ? src[3] : 0)};
            convert(in, dst);
            src += step;
            dst += 3;
        }
    }
    b->bytesPerRow = newRow;
    b->bytesPerPixel = 3;
    b->components = 3;
    b->bitsPerSample = 8;
}

double LabInverse(double f) {
    return f > 0.20689655172413793 ? f * f * f : (f - 0.13793103448275862) * 0.12841855030312424;
}

double Clamp02(double v) { return v < 0.0 ? 0.0 : v > 2.0 ? 2.0 : v; }

void LabToRgb(LoadContext* ctx, bool signedAb, bool firstChoice) {
    Bitmap* b = ctx->bitmap;
    const uint16_t order = ctx->options.pixelOrder;
    uint8_t gamma[256];
    BuildGammaTable(gamma);
    const bool swap = order == 1 || order == 2;
    RewriteAsThreeBytes(b, ctx->options.rowAlignment, [&](const uint8_t* in, uint8_t* out) {
        const double l = in[0] * 0.3921568627450981;
        const double a = signedAb ? double(int8_t(in[1])) : double(in[1]) - 128.0;
        const double bb = signedAb ? double(int8_t(in[2])) : double(in[2]) - 128.0;
        double fy = (l + 16.0) * 0.008620689655172414;
        double y;
        if (l > 8.0) {
            y = fy * fy * fy;
        } else {
            y = l * 0.0011070564482319617;
            fy = 7.787036979 * y + 0.13793103448275862;
        }
        double x = LabInverse(a * 0.002 + fy);
        double z = LabInverse(fy - bb * 0.005);
        x = Clamp02(x);
        y = Clamp02(y);
        z = Clamp02(z);
        double r, g, bl;
        if (firstChoice) {
            x *= 0.9643;
            z *= 0.8251;
            r = 3.13386467802206 * x - 1.61708787738292 * y - 0.49070460774676 * z;
            g = 1.91605177261501 * y + 0.03346568837626 * z - 0.97846928415465 * x;
            bl = 0.07197299083166 * x - 0.22908945441861 * y + 1.40536182567307 * z;
        } else {
            x *= 0.9505;
            z *= 1.089;
            r = 3.24062547732005 * x - 1.53720797221032 * y - 0.49862859869825 * z;
            g = 1.87575606088524 * y - 0.96893071472932 * x + 0.04151752384295 * z;
            bl = 0.05571012044551 * x - 0.20402105059849 * y + 1.05699594225439 * z;
        }
        const double rgb[3] = {r, g, bl};
        uint8_t v[3];
        for (int k = 0; k < 3; ++k) {
            const int i = static_cast<int>(rgb[k] * 255.0 + 0.5);
            v[k] = i > 255 ? 255 : i < 0 ? 0 : gamma[i];
        }
        out[0] = swap ? v[2] : v[0];
        out[1] = v[1];
        out[2] = swap ? v[0] : v[2];
    });
    b->pixelType = swap ? kPixelBGR : kPixelRGB;
}

void CmykToRgb(LoadContext* ctx, bool inverted) {
    Bitmap* b = ctx->bitmap;
    const uint16_t order = ctx->options.pixelOrder;
    const bool bgr = order == 1 || order == 2;
    RewriteAsThreeBytes(b, ctx->options.rowAlignment, [&](const uint8_t* in, uint8_t* out) {
        uint32_t rgb[3];
        for (int k = 0; k < 3; ++k)
            rgb[k] = inverted ? uint32_t(in[k]) * in[3] / 255 : (255u - in[k]) * (255u - in[3]) / 255;
        out[0] = uint8_t(bgr ? rgb[2] : rgb[0]);
        out[1] = uint8_t(rgb[1]);
        out[2] = uint8_t(bgr ? rgb[0] : rgb[2]);
    });
    b->pixelType = bgr ? kPixelBGR : kPixelRGB;
}

void CmyInvertedToRgb(LoadContext* ctx, bool reversed) {
    Bitmap* b = ctx->bitmap;
    RewriteAsThreeBytes(b, ctx->options.rowAlignment, [&](const uint8_t* in, uint8_t* out) {
        out[0] = uint8_t(255 - (reversed ? in[2] : in[0]));
        out[1] = uint8_t(255 - in[1]);
        out[2] = uint8_t(255 - (reversed ? in[0] : in[2]));
    });
    b->pixelType = ctx->options.pixelOrder == 1 ? kPixelBGR : kPixelRGB;
}

// Pixel type and sizes of the finished bitmap.
// Deep samples: one sample is grey, three colour in the three-byte orders,
// four (or three given an alpha sample) in the four-byte orders or CMYK.
void SetDeepPixelType(Bitmap* b, const Finished& f, const LoadOptions& o) {
    const uint16_t order = o.pixelOrder;
    const bool four = f.mode == kModeDeep16x4 || f.mode == kModeDeep32x4;
    b->bitsPerSample = uint16_t(f.deepBits);
    b->bytesPerPixel = uint16_t(f.deepPixelBytes);
    b->components = uint16_t(four ? 4 : f.deepComponents);
    b->paletteCount = 0;
    if (four) {
        if ((o.flags & kLoadKeepCmyk) && (f.headerFlags & kHeaderCmyk)) b->pixelType = kPixelCMYK;
        else b->pixelType = order == 0 ? kPixelRGBA : order == 1 ? kPixelABGR : order == 3 ? kPixelARGB : kPixelBGRA;
    } else if (f.deepComponents == 1) {
        b->pixelType = kPixelGrey;
        b->paletteCount = 256;
    } else {
        b->pixelType = order == 0 ? kPixelRGB : kPixelBGR;
    }
}

void SetPixelType(Bitmap* b, const Finished& f, bool hasPalette, const LoadOptions& o) {
    const uint16_t order = o.pixelOrder;
    if (f.mode & kDeepModes) {
        SetDeepPixelType(b, f, o);
        return;
    }
    if (f.mode == 80) {
        b->pixelType = order == 0 ? kPixelRGB : kPixelBGR;
        b->bytesPerPixel = 3;
        b->components = 3;
        b->bitsPerSample = 8;
        b->paletteCount = 0;
        return;
    }
    if (f.mode == 1952) {
        if ((o.flags & kLoadKeepCmyk) && (f.headerFlags & (kHeaderCmykInverted | kHeaderCmyk)))
            b->pixelType = kPixelCMYK;
        else
            b->pixelType = order == 0 ? kPixelRGBA : order == 1 ? kPixelABGR : order == 3 ? kPixelARGB : kPixelBGRA;
        b->bytesPerPixel = 4;
        b->components = 4;
        b->bitsPerSample = 8;
        b->paletteCount = 0;
        return;
    }
    if (f.bpp == 1 && f.mode != 1) b->pixelType = kPixelGrey;
    else if (f.bpp == 1) b->pixelType = kPixelBilevel;
    else b->pixelType = hasPalette ? kPixelPalette : kPixelGrey;
    b->paletteCount = int16_t(f.bpp >= 8 ? 256 : 1 << f.bpp);
    b->bytesPerPixel = 1;
    b->components = 1;
    if (f.mode == 1) b->bitsPerSample = 1;
    else if (f.bpp == 1 || f.bpp >= 8) b->bitsPerSample = 8;
    else b->bitsPerSample = uint16_t(f.bpp);
}

// Sets the alpha byte of every four-byte pixel: a declared alpha channel
// that is zero everywhere means none (255), and three planes delivered
// separately into four-byte pixels never write the fourth (the load's
// alpha value).
void FillAlpha(Bitmap* b, uint16_t order, uint8_t value) {
    const int at = (order == 1 || order == 3) ? 0 : 3;
    for (int32_t y = 0; y < b->height; ++y) {
        uint8_t* p = b->pixels + size_t(y) * size_t(b->bytesPerRow) + at;
        for (int32_t x = 0; x < b->width; ++x, p += 4) *p = value;
    }
}

// Two-colour and other palette pictures (bits per pixel at most 8).
// kLoadOk, or kLoadNoMemory when the palette or the widened pixels cannot be
// allocated.
int FinishPalettePicture(LoadContext* ctx, const Finished& f, uint16_t layout, int paletteBits, const void* data) {
    Bitmap* b = ctx->bitmap;
    const LoadOptions& o = ctx->options;
    uint8_t palette[kPaletteBytes] = {};
    ConvertReaderPalette(palette, data, layout, paletteBits, 1 << f.bpp);

    if (f.mode == 80 || f.mode == 1952) {
        Expander e;
        InitExpander(&e, f.mode, o.pixelOrder);
        for (int i = 0; i < 256; ++i)
            PlaceColour(&e, i, palette[i], palette[kPaletteGreen + i], palette[kPaletteBlue + i], o.alphaValue,
                        o.pixelOrder);
        RunExpander(b, e);
        return kLoadOk;
    }
    if (f.bpp == 1) {
        const bool blackWhite = SameColour(palette, 0, 0) && SameColour(palette, 1, 255);
        const bool whiteBlack = SameColour(palette, 0, 255) && SameColour(palette, 1, 0);
        if (blackWhite || whiteBlack) {
            if (f.mode == 1) {
                // Bit 0 is black in a bilevel bitmap.
                if (whiteBlack) ForEachRowByte(b, size_t(b->bytesPerRow), InvertByte, 0);
            } else {
                ForEachRowByte(b, size_t(b->width), SpreadTwoColours, whiteBlack ? 1 : 0);
                b->paletteCount = 256;
            }
            return kLoadOk;
        }
        // Any other two colours: a palette picture of bytes 0 and 1.
        if (f.mode == 1 && ConvertBilevelToPalette(b) != 0) return kLoadNoMemory;
        b->pixelType = kPixelPalette;
        b->paletteCount = 2;
        b->bitsPerSample = 8;
    }
    if (b->pixelType == kPixelPalette) {
        std::free(b->palette);
        b->palette = static_cast<uint8_t*>(std::malloc(kPaletteBytes));
        if (!b->palette) return kLoadNoMemory;
        std::memcpy(b->palette, palette, kPaletteBytes);
    }
    return kLoadOk;
}

// Grey pictures of at most 8 bits without a palette.
void FinishGreyPicture(LoadContext* ctx, const Finished& f, uint16_t layout) {
    Bitmap* b = ctx->bitmap;
    const LoadOptions& o = ctx->options;
    const bool inverted = layout & kPaletteGreyInverted;
    const unsigned max = (1u << f.bpp) - 1;
    if (f.mode == 1) {
        if (inverted) ForEachRowByte(b, size_t(b->bytesPerRow), InvertByte, 0);
        return;
    }
    if (f.mode == 80 || f.mode == 1952) {
        // Widened to colour, the levels are scaled to 0..255.
        Expander e;
        InitExpander(&e, f.mode, o.pixelOrder);
        for (unsigned i = 0; i < 256; ++i) {
            unsigned v = i > max ? max : i;
            if (inverted) v = max - v;
            const uint8_t g = WidenField(v, f.bpp);
            PlaceColour(&e, int(i), g, g, g, o.alphaValue, o.pixelOrder);
        }
        RunExpander(b, e);
        return;
    }
    if (f.bpp == 1) {
        ForEachRowByte(b, size_t(b->width), SpreadTwoColours, inverted ? 1 : 0);
        b->paletteCount = 256;
    } else if (inverted) {
        ForEachRowByte(b, size_t(b->width), InvertLevel, max);
    }
}

void FitAfterLoad(LoadContext* ctx, const Finished& f) {
    Bitmap* b = ctx->bitmap;
    const LoadOptions& o = ctx->options;
    if (b->width < 1 || b->height < 1 || o.targetWidth < 1 || o.targetHeight < 1) return;
    int64_t w = o.targetWidth;
    int64_t h = int64_t(b->height) * w / b->width;
    if (h > o.targetHeight) {
        h = o.targetHeight;
        w = int64_t(b->width) * h / b->height;
    }
    if (w < 1) w = 1;
    if (h < 1) h = 1;
    // Failures leave the picture as loaded.
    if (f.scaleMode == kScaleNearestAfterLoad)
        BitmapResample(b, nullptr, int32_t(w), int32_t(h), 0);
    else
        BitmapResize(b, nullptr, int32_t(w), int32_t(h), o.pixelOrder != 0 ? kPixelBGR : kPixelRGB);
}

void TurnTransposed(LoadContext* ctx, const Finished& f) {
    const uint16_t code = f.headerOrientation;
    if (ctx->options.orientation != 0 || (code != 128 && code != 129 && code != 144 && code != 145)) return;
    Bitmap* b = ctx->bitmap;
    if (BitmapMirror(b, nullptr, nullptr) != 0) return;
    const int angle = (code == 129 || code == 144) ? 90 : -90;
    if (BitmapRotate(b, nullptr, angle, nullptr, 0) != 0) return;
    if (ctx->info) {
        const int32_t w = ctx->info->width;
        ctx->info->width = ctx->info->height;
        ctx->info->height = w;
    }
}

}  // namespace

void BuildGammaTable(uint8_t table[256]) {
    for (int x = 0; x < 256; ++x) {
        const double v = x / 256.0;
        const double e = v < 0.00303951367781155 ? v * 3295.395483970642
                                                 : (1.055 * std::pow(v, 1.0 / 2.4) - 0.055) * 255.0;
        const int i = static_cast<int>(e + 0.5);
        table[x] = static_cast<uint8_t>(i > 255 ? 255 : i < 0 ? 0 : i);
    }
}

int ConvertBilevelToPalette(Bitmap* b) {
    if (!b || b->pixelType != kPixelBilevel || !b->pixels) return 0;
    Bitmap out;
    if (!AllocBitmap(&out, kPixelPalette, b->rowAlignment, b->width, b->height)) return 1;
    for (int32_t y = 0; y < b->height; ++y) {
        const uint8_t* src = b->pixels + size_t(y) * size_t(b->bytesPerRow);
        uint8_t* dst = out.pixels + size_t(y) * size_t(out.bytesPerRow);
        for (int32_t x = 0; x < b->width; ++x) dst[x] = uint8_t(GetRowBit(src, x));
    }
    std::free(b->pixels);
    std::free(b->palette);
    std::free(out.palette);
    b->pixels = out.pixels;
    b->palette = nullptr;
    b->bytesPerRow = out.bytesPerRow;
    b->pixelType = kPixelPalette;
    b->bytesPerPixel = 1;
    b->bitsPerSample = 8;
    b->components = 1;
    b->paletteCount = 2;
    return 0;
}

void SpreadBilevelToGrey(Bitmap* b) {
    if (!b || !b->pixels || b->bytesPerPixel != 1 || b->pixelType == kPixelBilevel) return;
    ForEachRowByte(b, size_t(b->width), SpreadTwoColours, 0);
    b->paletteCount = 256;
}

void SpreadBilevelToColour(Bitmap* b) {
    if (!b || !b->pixels || b->bytesPerPixel < 3) return;
    for (int32_t y = 0; y < b->height; ++y) {
        uint8_t* p = b->pixels + size_t(y) * size_t(b->bytesPerRow);
        for (int32_t x = 0; x < b->width; ++x, p += b->bytesPerPixel) {
            const uint8_t v = p[0] ? 255 : 0;
            p[0] = p[1] = p[2] = v;
        }
    }
    b->paletteCount = 256;
}

int EndImage(LoadContext* ctx, uint16_t layout, int paletteBits, const void* palette) {
    if (!ctx || !ctx->row.active) return 0;
    LoadRowState* rs = &ctx->row;
    const LoadOptions& o = ctx->options;
    if (o.flags & kLoadProgressBar) std::fputc('\n', stderr);
    FlushScaledRow(ctx);

    Bitmap* b = ctx->bitmap;
    const Finished f{rs->outputMode,  rs->finishedBits,
                     rs->headerFlags, rs->orientation,
                     rs->scaleMode,   rs->bitsPerPlane,
                     rs->sampleBytes > 1 ? rs->internalBytesPerPixel / rs->sampleBytes : 0,
                     rs->outBytesPerPixel};
    const bool alphaDeclaredOnly = (f.headerFlags & kHeaderMayHaveAlpha) && f.bpp == 32 && !ctx->alphaSeen &&
                                   rs->outBytesPerPixel == 4;
    const uint32_t colourSpaces = kHeaderCmykInverted | kHeaderCmyk | kHeaderLabUnsigned | kHeaderLabUnsignedD50 |
                                  kHeaderLabSignedD50 | kHeaderLabSigned;
    const bool alphaNeverStored = rs->separatePlanes && rs->planes == 3 && rs->outBytesPerPixel == 4 &&
                                  !(f.headerFlags & colourSpaces);
    b->orientation = o.orientation;
    b->xResolution = rs->xResolution;
    b->yResolution = rs->yResolution;
    b->transparentIndex = rs->transparentIndex;
    b->width = rs->outWidth;
    b->height = rs->outHeight;
    ReleaseLoadRows(rs);

    // Values the reader declared and the load averaged are colours or grey
    // levels already: a palette for them has been applied.
    const bool hasPalette = palette != nullptr && f.bpp <= 8 && rs->valueBytes == 0;
    SetPixelType(b, f, hasPalette, o);
    if (alphaDeclaredOnly) FillAlpha(b, o.pixelOrder, 255);
    else if (alphaNeverStored) FillAlpha(b, o.pixelOrder, o.alphaValue);

    int result = kLoadOk;
    const uint32_t hf = f.headerFlags;
    const bool atLeastThree = b->bytesPerPixel >= 3;
    if (f.mode & kDeepModes) {
        // Kept as the reader gave them: nothing to convert.
    } else if (hasPalette) {
        result = FinishPalettePicture(ctx, f, layout, paletteBits, palette);
    } else if ((hf & (kHeaderLabUnsigned | kHeaderLabUnsignedD50)) && atLeastThree) {
        LabToRgb(ctx, false, (hf & kHeaderLabUnsignedD50) != 0);
    } else if ((hf & (kHeaderLabSignedD50 | kHeaderLabSigned)) && atLeastThree) {
        LabToRgb(ctx, true, (hf & kHeaderLabSignedD50) != 0);
    } else if ((hf & (kHeaderCmykInverted | kHeaderCmyk)) && b->pixelType != kPixelCMYK) {
        if ((hf & kHeaderCmyk) && b->bytesPerPixel == 4) CmykToRgb(ctx, false);
        else if ((hf & kHeaderCmykInverted) && b->bytesPerPixel == 4) CmykToRgb(ctx, true);
        else if ((hf & kHeaderCmykInverted) && b->bytesPerPixel == 3) CmyInvertedToRgb(ctx, (hf & kLayoutReversed) != 0);
    } else if ((hf & kHeaderCmykInverted) && b->pixelType == kPixelCMYK) {
        ForEachRowByte(b, size_t(b->width) * 4, InvertByte, 0);
    } else if (f.bpp <= 8) {
        FinishGreyPicture(ctx, f, layout);
    }

    if (result != kLoadOk) return result;
    if (f.scaleMode == kScaleNearestAfterLoad || f.scaleMode == kScaleSmoothAfterLoad) FitAfterLoad(ctx, f);
    TurnTransposed(ctx, f);
    return kLoadOk;
}
