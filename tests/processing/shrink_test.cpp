#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "processing/geometry.h"
#include "tests/processing/picture.h"

using namespace pictest;

namespace {

// Component k of the area average of output pixel (i, j), in doubles.
double AreaAverage(const Bitmap* src, int32_t w, int32_t h, int32_t i, int32_t j, int k) {
    const double sx = double(src->width) / w, sy = double(src->height) / h;
    double sum = 0.0;
    for (int32_t y = int32_t(j * sy); y < src->height && y < (j + 1) * sy; ++y) {
        const double oy = std::min<double>(y + 1, (j + 1) * sy) - std::max<double>(y, j * sy);
        for (int32_t x = int32_t(i * sx); x < src->width && x < (i + 1) * sx; ++x) {
            const double ox = std::min<double>(x + 1, (i + 1) * sx) - std::max<double>(x, i * sx);
            sum += ox * oy * Sample(src, x, y, k);
        }
    }
    return sum / (sx * sy);
}

class ShrinkColourKinds : public ::testing::TestWithParam<Kind> {};

TEST_P(ShrinkColourKinds, KeepsTypeAndDepthAndMatchesTheAreaAverage) {
    const Kind kind = GetParam();
    struct Size {
        int32_t sw, sh, w, h;
    };
    for (const Size& s : {Size{4, 2, 2, 1}, Size{9, 7, 4, 3}, Size{17, 5, 3, 5}, Size{40, 33, 7, 6},
                          Size{5, 5, 5, 5}}) {
        SCOPED_TRACE(::testing::Message() << s.sw << "x" << s.sh << " -> " << s.w << "x" << s.h);
        Picture src, out;
        MakeRandom(src, kind, s.sw, s.sh, uint32_t(s.sw * 31 + s.w));
        src->transparentIndex = 4;
        ASSERT_EQ(0, BitmapResize(src.get(), out.get(), s.w, s.h, kPixelRGB));
        EXPECT_EQ(kind.type, out->pixelType);
        EXPECT_EQ(src->bitsPerSample, out->bitsPerSample);
        EXPECT_EQ(4, out->transparentIndex);
        const double max = kind.bits == 8 ? 255.0 : kind.bits == 16 ? 65535.0 : 4294967295.0;
        // Fixed point truncates shares: allow one step of 1/1024 of the range.
        const double slack = kind.bits == 8 ? 1.0 : max / 1024.0;
        for (int32_t j = 0; j < s.h; ++j)
            for (int32_t i = 0; i < s.w; ++i)
                for (int k = 0; k < out->components; ++k)
                    ASSERT_NEAR(AreaAverage(src.get(), s.w, s.h, i, j, k), double(Sample(out.get(), i, j, k)), slack)
                        << i << "," << j << " component " << k;
    }
}

std::vector<Kind> ColourKinds() {
    std::vector<Kind> v;
    for (const Kind& k : AllKinds())
        if (k.type != kPixelBilevel && k.type != kPixelPalette) v.push_back(k);
    return v;
}

INSTANTIATE_TEST_SUITE_P(Kinds, ShrinkColourKinds, ::testing::ValuesIn(ColourKinds()), KindName);

TEST(Shrink, PartPixelsAreWeightedByTheirShare) {
    // 3 x 3 -> 2 x 2: the middle row and column are shared half and half.
    // Output (0, 0) = (90 + 180/2 + 36/2 + 72/4) / 2.25 = 96.
    Picture src, out;
    Make(src, kPixelGrey, 3, 3, {90, 180, 0, 36, 72, 0, 0, 0, 0});
    ASSERT_EQ(0, BitmapResize(src.get(), out.get(), 2, 2, kPixelRGB));
    EXPECT_EQ((std::vector<uint32_t>{96, 48, 16, 8}), Samples(out.get()));
}

// Eight-bit colour rows are reduced straight from the row; palette rows go
// through the general sample path. The same colours give the same pixels,
// at steps that split columns and rows as well as at whole ones.
TEST(Shrink, ByteRowsGiveTheGeneralPathsSums) {
    Picture palette;
    MakeRandom(palette, Kind{"palette", kPixelPalette, 8}, 97, 61, 3);
    Picture rgb;
    std::vector<uint32_t> colours;
    for (int32_t y = 0; y < 61; ++y)
        for (int32_t x = 0; x < 97; ++x) {
            const uint32_t e = Sample(palette.get(), x, y);
            colours.insert(colours.end(), {palette->palette[e], palette->palette[kPaletteGreen + e],
                                           palette->palette[kPaletteBlue + e]});
        }
    Make(rgb, kPixelRGB, 97, 61, colours);
    for (const auto& size : {std::pair<int, int>{10, 7}, {33, 20}, {97, 1}, {1, 61}, {48, 30}}) {
        SCOPED_TRACE(std::to_string(size.first) + "x" + std::to_string(size.second));
        Picture fromPalette, fromRgb;
        ASSERT_EQ(0, BitmapShrinkArea(palette.get(), fromPalette.get(), size.first, size.second, kPixelRGB, nullptr, 0));
        ASSERT_EQ(0, BitmapShrinkArea(rgb.get(), fromRgb.get(), size.first, size.second, kPixelRGB, nullptr, 0));
        EXPECT_EQ(Samples(fromPalette.get()), Samples(fromRgb.get()));
    }
}

TEST(Shrink, PaletteBecomesColourInTheAskedOrder) {
    // Palette entry e is (e, 255 - e, 7e): indices 4, 8, 12, 16 average
    // to (10, 245, 70).
    Picture src;
    Make(src, kPixelPalette, 2, 2, {4, 8, 12, 16});
    src->transparentIndex = 5;
    Picture rgb, bgr, other;
    ASSERT_EQ(0, BitmapResize(src.get(), rgb.get(), 1, 1, kPixelRGB));
    EXPECT_EQ(kPixelRGB, rgb->pixelType);
    EXPECT_EQ((std::vector<uint32_t>{10, 245, 70}), Samples(rgb.get()));
    ASSERT_EQ(0, BitmapResize(src.get(), bgr.get(), 1, 1, kPixelBGR));
    EXPECT_EQ(kPixelBGR, bgr->pixelType);
    EXPECT_EQ((std::vector<uint32_t>{70, 245, 10}), Samples(bgr.get()));
    // Any other output type is the blue-first order.
    ASSERT_EQ(0, BitmapResize(src.get(), other.get(), 1, 1, kPixelRGBA));
    EXPECT_EQ(kPixelBGR, other->pixelType);
    for (Bitmap* b : {rgb.get(), bgr.get(), other.get()}) {
        EXPECT_EQ(0, b->paletteCount);
        EXPECT_EQ(-1, b->transparentIndex);
        EXPECT_EQ(nullptr, b->palette);
    }
}

// Pictures of 2 or 4 bits a sample, one byte a pixel (as a 16-colour GIF or a
// 4-bit grey PNG loads), are as valid to these operations as to the display.
TEST(Shrink, LowDepthPalettesAndGreysAreValidPictures) {
    Picture palette;
    Make(palette, kPixelPalette, 2, 2, {4, 8, 12, 15});
    palette->bitsPerSample = 4;
    palette->paletteCount = 16;
    Picture rgb, nearest;
    ASSERT_EQ(0, BitmapResize(palette.get(), rgb.get(), 1, 1, kPixelRGB));
    EXPECT_EQ((std::vector<uint32_t>{9, 245, 68}), Samples(rgb.get()));  // area averages, truncated
    ASSERT_EQ(0, BitmapResample(palette.get(), nearest.get(), 4, 4, kResampleNearest));
    EXPECT_EQ(4, nearest->width);

    Picture grey, small;
    Make(grey, kPixelGrey, 2, 1, {0, 3});
    grey->bitsPerSample = 2;
    grey->paletteCount = 4;
    ASSERT_EQ(0, BitmapResize(grey.get(), small.get(), 1, 1, kPixelRGB));
    EXPECT_EQ((std::vector<uint32_t>{127}), Samples(small.get()));  // levels 0 and 3 spread to 0 and 255
}

TEST(Shrink, BilevelBecomesGrey) {
    Picture src, out;
    Make(src, kPixelBilevel, 4, 2, {1, 1, 0, 0, 1, 0, 0, 1});
    src->transparentIndex = 0;
    ASSERT_EQ(0, BitmapResize(src.get(), out.get(), 2, 1, kPixelRGB));
    EXPECT_EQ(kPixelGrey, out->pixelType);
    EXPECT_EQ(256, out->paletteCount);
    EXPECT_EQ(-1, out->transparentIndex);
    EXPECT_EQ((std::vector<uint32_t>{191, 63}), Samples(out.get()));
    // The same width (or a taller picture) is not a shrink.
    Picture same;
    EXPECT_EQ(kGeometryBadSize, BitmapResize(src.get(), same.get(), 4, 1, kPixelRGB));
    EXPECT_EQ(kGeometryBadSize, BitmapResize(src.get(), same.get(), 2, 3, kPixelRGB));
}

TEST(Shrink, GreyLevelsAreSpreadOverTheByteAndTooFewAreRefused) {
    Picture src, out;
    Make(src, kPixelGrey, 2, 1, {15, 15});
    src->paletteCount = 16;
    src->transparentIndex = 3;
    ASSERT_EQ(0, BitmapResize(src.get(), out.get(), 1, 1, kPixelRGB));
    EXPECT_EQ((std::vector<uint32_t>{255}), Samples(out.get()));
    EXPECT_EQ(256, out->paletteCount);
    EXPECT_EQ(51, out->transparentIndex);  // level 3 of 16
    for (int16_t count : {1, 0, -3}) {
        src->paletteCount = count;
        Picture none;
        EXPECT_EQ(kGeometryBadSize, BitmapResize(src.get(), none.get(), 1, 1, kPixelRGB)) << count;
        EXPECT_EQ(nullptr, none->pixels);
    }
}

TEST(Shrink, EnlargingResamplesWithTheShrinksConversion) {
    // Larger on either side: the type the shrink gives (palette to colour in
    // the asked order, grey levels over the byte), filtered to the size.
    for (const Kind& kind : AllKinds()) {
        if (kind.type == kPixelBilevel) continue;
        SCOPED_TRACE(kind.name);
        Picture src;
        MakeRandom(src, kind, 4, 4, 1);
        src->xResolution = 300;
        Picture converted;
        ASSERT_EQ(0, BitmapResize(src.get(), converted.get(), 4, 4, kPixelBGR));
        for (const std::pair<int32_t, int32_t>& size : {std::make_pair(5, 2), std::make_pair(2, 5),
                                                        std::make_pair(9, 8)}) {
            Picture out, expected;
            ASSERT_EQ(0, BitmapResize(src.get(), out.get(), size.first, size.second, kPixelBGR));
            ASSERT_EQ(0, BitmapResample(converted.get(), expected.get(), size.first, size.second, 0));
            EXPECT_EQ(size.first, out->width);
            EXPECT_EQ(size.second, out->height);
            EXPECT_EQ(converted->pixelType, out->pixelType);
            EXPECT_EQ(300, out->xResolution);
            EXPECT_EQ(Samples(expected.get()), Samples(out.get()));
        }
        EXPECT_EQ(kGeometryBadSize, BitmapShrinkArea(src.get(), nullptr, 4, 5, kPixelRGB, nullptr, 0));
        EXPECT_EQ(4, src->width);
    }
    // A flat palette picture stays flat in colour; in place the source
    // record takes the result.
    Picture flat;
    Make(flat, kPixelPalette, 2, 2, {4, 4, 4, 4});
    ASSERT_EQ(0, BitmapResize(flat.get(), nullptr, 6, 3, kPixelRGB));
    EXPECT_EQ(kPixelRGB, flat->pixelType);
    EXPECT_EQ(6, flat->width);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 6; ++x)
            EXPECT_EQ((std::vector<uint32_t>{4, 251, 28}),
                      (std::vector<uint32_t>{Sample(flat.get(), x, y, 0), Sample(flat.get(), x, y, 1),
                                             Sample(flat.get(), x, y, 2)}));
    // Bilevel pictures are only shrunk; no size below 1 is made.
    Picture bits, none;
    Make(bits, kPixelBilevel, 4, 4, std::vector<uint32_t>(16, 1));
    EXPECT_EQ(kGeometryBadSize, BitmapResize(bits.get(), none.get(), 5, 2, kPixelRGB));
    EXPECT_EQ(kGeometryBadSize, BitmapResize(bits.get(), none.get(), 2, 5, kPixelRGB));
    EXPECT_EQ(kGeometryBadSize, BitmapResize(flat.get(), none.get(), 0, 2, kPixelRGB));
    EXPECT_EQ(nullptr, none->pixels);
}

TEST(Shrink, ManySourcePixelsPerOutputPixelDoNotOverflow) {
    // 20000 white pixels x 255 x 1024 pass 2^32: the sums must be wider.
    Picture wide, out;
    Make(wide, kPixelRGB, 20000, 1, std::vector<uint32_t>(60000, 255));
    ASSERT_EQ(0, BitmapResize(wide.get(), out.get(), 1, 1, kPixelRGB));
    EXPECT_EQ((std::vector<uint32_t>{255, 255, 255}), Samples(out.get()));

    Picture bits, grey;
    Make(bits, kPixelBilevel, 40000, 3, std::vector<uint32_t>(120000, 1));
    ASSERT_EQ(0, BitmapResize(bits.get(), grey.get(), 1, 1, kPixelRGB));
    EXPECT_EQ((std::vector<uint32_t>{255}), Samples(grey.get()));

    // 2^22 samples of 2^32 - 1 pass 2^64 even before the shares.
    Picture deep, deepOut;
    ASSERT_EQ(1, AllocBitmapWithDepth(deep.get(), kPixelGrey, 4, 2048, 2048, 32));
    std::memset(deep->pixels, 0xFF, size_t(deep->bytesPerRow) * 2048);
    ASSERT_EQ(0, BitmapResize(deep.get(), deepOut.get(), 1, 1, kPixelRGB));
    EXPECT_EQ(0xFFFFFFFFu, Sample(deepOut.get(), 0, 0));
}

TEST(Shrink, BilevelByteReaderGivesTheBitReadersPixels) {
    for (int32_t w : {80, 95, 96, 97, 200, 333}) {
        for (int32_t nw : {1, 3, 7, 9, w / 10, w / 10 + 1, w / 2}) {
            SCOPED_TRACE(::testing::Message() << w << " -> " << nw);
            Picture src;
            MakeRandom(src, Kind{"bilevel", kPixelBilevel, 8}, w, 13, uint32_t(w + nw));
            // Set padding bits must not count.
            for (int32_t x = w; x < src->bytesPerRow * 8; ++x) PutRowBit(src->pixels, x, 1);
            Picture bytes, general, chosen;
            ASSERT_EQ(0, BitmapShrinkBilevelBytes(src.get(), bytes.get(), nw, 5));
            ASSERT_EQ(0, BitmapShrinkArea(src.get(), general.get(), nw, 5, kPixelRGB, nullptr, 0));
            ASSERT_EQ(0, BitmapShrinkBilevel(src.get(), chosen.get(), nw, 5));
            EXPECT_EQ(Samples(general.get()), Samples(bytes.get()));
            EXPECT_EQ(Samples(general.get()), Samples(chosen.get()));
            for (int32_t i = 0; i < nw; ++i)
                ASSERT_NEAR(AreaAverage(src.get(), nw, 5, i, 2, 0) * 255.0, double(Sample(bytes.get(), i, 2)), 1.0);
        }
    }
    Picture colour, out;
    MakeRandom(colour, Kind{"rgb", kPixelRGB, 8}, 20, 2, 1);
    EXPECT_EQ(kGeometryBadSize, BitmapShrinkBilevelBytes(colour.get(), out.get(), 1, 1));
    EXPECT_EQ(kGeometryBadSize, BitmapShrinkBilevel(colour.get(), out.get(), 1, 1));
}

TEST(Shrink, ProgressIsAskedBeforeEachSourceRowAndCanStop) {
    struct Log {
        int calls = 0;
        int32_t total = 0;
        int stopAt = -1;
    };
    auto cb = [](int32_t row, int32_t total, uintptr_t user) -> int {
        auto* log = reinterpret_cast<Log*>(user);
        EXPECT_EQ(log->calls, row);
        ++log->calls;
        log->total = total;
        return row == log->stopAt ? 1 : 0;
    };
    Picture src;
    MakeRandom(src, Kind{"rgb", kPixelRGB, 8}, 8, 6, 2);
    const std::vector<uint32_t> before = Samples(src.get());
    Log all;
    Picture out;
    ASSERT_EQ(0, BitmapShrinkArea(src.get(), out.get(), 4, 3, kPixelRGB, cb, reinterpret_cast<uintptr_t>(&all)));
    EXPECT_EQ(6, all.calls);
    EXPECT_EQ(3, all.total);
    Log stop;
    stop.stopAt = 4;
    EXPECT_EQ(kGeometryStopped,
              BitmapShrinkArea(src.get(), nullptr, 4, 3, kPixelRGB, cb, reinterpret_cast<uintptr_t>(&stop)));
    EXPECT_EQ(8, src->width);
    EXPECT_EQ(before, Samples(src.get()));
}

TEST(Shrink, InPlaceReplacesTheSource) {
    Picture src, expected;
    MakeRandom(src, Kind{"palette", kPixelPalette, 8}, 9, 9, 4);
    ASSERT_EQ(0, BitmapResize(src.get(), expected.get(), 4, 4, kPixelBGR));
    ASSERT_EQ(0, BitmapResize(src.get(), nullptr, 4, 4, kPixelBGR));
    EXPECT_EQ(kPixelBGR, src->pixelType);
    EXPECT_EQ(nullptr, src->palette);
    EXPECT_EQ(Samples(expected.get()), Samples(src.get()));
}

}  // namespace
