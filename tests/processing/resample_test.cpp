#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "processing/geometry.h"
#include "tests/processing/picture.h"

using namespace pictest;

namespace {

// Kinds that are filtered (palette indices and bits are only sampled).
std::vector<Kind> FilteredKinds() {
    std::vector<Kind> v;
    for (const Kind& k : AllKinds())
        if (k.type != kPixelBilevel && k.type != kPixelPalette) v.push_back(k);
    return v;
}

// Values for component k of a kind: spread over the sample range.
uint32_t Scaled(const Kind& kind, uint32_t v8) {
    if (kind.bits == 16) return v8 * 257;
    if (kind.bits == 32) return v8 * 16843009u;
    return v8;
}

// A picture whose component k of pixel (x, y) is Scaled(v(x, y) + k).
void MakeFrom(Picture& p, const Kind& kind, int32_t w, int32_t h, const std::vector<uint32_t>& v) {
    Picture probe;
    ASSERT_EQ(1, AllocBitmapWithDepth(probe.get(), kind.type, 4, 1, 1, kind.bits));
    const int c = probe->components;
    std::vector<uint32_t> s;
    for (uint32_t value : v)
        for (int k = 0; k < c; ++k) s.push_back(Scaled(kind, value + uint32_t(k)));
    Make(p, kind.type, w, h, s, kind.bits);
}

class ResampleKinds : public ::testing::TestWithParam<Kind> {};

TEST_P(ResampleKinds, HalvingAveragesEachTwoByTwoBlockExactly) {
    const Kind kind = GetParam();
    // 4 x 2 -> 2 x 1: blocks {0, 4, 100, 104} and {10, 30, 50, 70}.
    Picture src, out;
    MakeFrom(src, kind, 4, 2, {0, 4, 10, 30, 100, 104, 50, 70});
    ASSERT_EQ(0, BitmapResample(src.get(), out.get(), 2, 1, 0));
    Picture expected;
    MakeFrom(expected, kind, 2, 1, {52, 40});
    EXPECT_EQ(Samples(expected.get()), Samples(out.get()));
    EXPECT_EQ(src->pixelType, out->pixelType);
    EXPECT_EQ(src->bitsPerSample, out->bitsPerSample);
}

TEST_P(ResampleKinds, EnlargingInterpolatesAndRepeatsTheLastRowAndColumn) {
    const Kind kind = GetParam();
    // Each output pixel samples the source where it ends: a b / c d becomes
    // (a+b+c+d)/4 (b+d)/2 (b+d)/2 (b+d)/2 on the first row and
    // (c+d)/2 d d d below, the edge repeated rather than read past.
    Picture src, out;
    MakeFrom(src, kind, 2, 2, {0, 100, 40, 200});
    ASSERT_EQ(0, BitmapResample(src.get(), out.get(), 4, 4, 0));
    Picture expected;
    MakeFrom(expected, kind, 4, 4,
             {85, 150, 150, 150, 120, 200, 200, 200, 120, 200, 200, 200, 120, 200, 200, 200});
    EXPECT_EQ(Samples(expected.get()), Samples(out.get()));
}

TEST_P(ResampleKinds, OneAxisEnlargedTheOtherAveraged) {
    const Kind kind = GetParam();
    Picture src;
    MakeFrom(src, kind, 2, 2, {0, 100, 40, 200});
    // Across only: rows averaged, columns interpolated.
    Picture across, expectedAcross;
    ASSERT_EQ(0, BitmapResample(src.get(), across.get(), 4, 1, 0));
    MakeFrom(expectedAcross, kind, 4, 1, {85, 150, 150, 150});
    EXPECT_EQ(Samples(expectedAcross.get()), Samples(across.get()));
    // Down only.
    Picture down, expectedDown;
    ASSERT_EQ(0, BitmapResample(src.get(), down.get(), 1, 4, 0));
    MakeFrom(expectedDown, kind, 1, 4, {85, 120, 120, 120});
    EXPECT_EQ(Samples(expectedDown.get()), Samples(down.get()));
}

TEST_P(ResampleKinds, SameSizeIsACopy) {
    Picture src, out;
    MakeRandom(src, GetParam(), 7, 5, 3);
    ASSERT_EQ(0, BitmapResample(src.get(), out.get(), 7, 5, 0));
    EXPECT_EQ(Samples(src.get()), Samples(out.get()));
}

INSTANTIATE_TEST_SUITE_P(Kinds, ResampleKinds, ::testing::ValuesIn(FilteredKinds()), KindName);

// Eight-bit rows sum their whole source pixels before weighting them; the
// general path weights each pixel. The same values stored in 16-bit samples
// take the general path, and both give the same pixels at steps that split
// pixels as well as at whole ones.
TEST(Resample, ByteRowsGiveTheGeneralPathsPixels) {
    Picture bytes;
    MakeRandom(bytes, Kind{"rgb", kPixelRGB, 8}, 97, 61, 5);
    Picture words;
    Make(words, kPixelRGB, 97, 61, Samples(bytes.get()), 16);
    for (const auto& size : {std::pair<int, int>{10, 7}, {33, 20}, {96, 60}, {1, 1}, {48, 61}}) {
        SCOPED_TRACE(std::to_string(size.first) + "x" + std::to_string(size.second));
        Picture fromBytes, fromWords;
        ASSERT_EQ(0, BitmapResample(bytes.get(), fromBytes.get(), size.first, size.second, 0));
        ASSERT_EQ(0, BitmapResample(words.get(), fromWords.get(), size.first, size.second, 0));
        EXPECT_EQ(Samples(fromWords.get()), Samples(fromBytes.get()));
    }
}

TEST(Resample, HundredSquareHalvedAndDoubled) {
    Picture src;
    MakeRandom(src, Kind{"rgb", kPixelRGB, 8}, 100, 100, 17);
    Picture half;
    ASSERT_EQ(0, BitmapResample(src.get(), half.get(), 50, 50, 0));
    for (int32_t y = 0; y < 50; ++y)
        for (int32_t x = 0; x < 50; ++x)
            for (int k = 0; k < 3; ++k) {
                const uint32_t sum = Sample(src.get(), 2 * x, 2 * y, k) + Sample(src.get(), 2 * x + 1, 2 * y, k) +
                                     Sample(src.get(), 2 * x, 2 * y + 1, k) +
                                     Sample(src.get(), 2 * x + 1, 2 * y + 1, k);
                ASSERT_EQ(sum / 4, Sample(half.get(), x, y, k)) << x << "," << y;
            }
    Picture twice;
    ASSERT_EQ(0, BitmapResample(src.get(), twice.get(), 200, 200, 0));
    // Odd output rows and columns end on a source pixel edge and show the
    // next source pixel, the last one repeating the edge.
    for (int32_t i = 1; i < 200; i += 2) {
        const int32_t s = std::min((i + 1) / 2, 99);
        for (int k = 0; k < 3; ++k) {
            ASSERT_EQ(Sample(src.get(), 99, s, k), Sample(twice.get(), 199, i, k)) << i;
            ASSERT_EQ(Sample(src.get(), s, 99, k), Sample(twice.get(), i, 199, k)) << i;
        }
    }
}

TEST(Resample, PaletteAndBilevelAreSampledAndKeepTheirType) {
    for (uint16_t type : {uint16_t(kPixelPalette), uint16_t(kPixelBilevel)}) {
        Picture src, out;
        MakeRandom(src, Kind{"", type, 8}, 6, 4, 9);
        src->transparentIndex = 1;
        ASSERT_EQ(0, BitmapResample(src.get(), out.get(), 3, 2, 0));
        EXPECT_EQ(type, out->pixelType);
        EXPECT_EQ(src->paletteCount, out->paletteCount);
        EXPECT_EQ(1, out->transparentIndex);
        if (type == kPixelPalette) {
            ASSERT_NE(nullptr, out->palette);
            EXPECT_EQ(0, std::memcmp(src->palette, out->palette, kPaletteBytes));
        }
        for (int32_t y = 0; y < 2; ++y)
            for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(Sample(src.get(), 2 * x, 2 * y), Sample(out.get(), x, y));
    }
}

TEST(Resample, NearestTakesTheSourcePixelAtEachStep) {
    // Columns i * w / new w, rows j * h / new h, integer division.
    Picture src;
    Make(src, kPixelGrey, 2, 3, {1, 2, 3, 4, 5, 6});
    Picture up, down;
    ASSERT_EQ(0, BitmapResample(src.get(), up.get(), 5, 2, kResampleNearest));
    EXPECT_EQ((std::vector<uint32_t>{1, 1, 1, 2, 2, 3, 3, 3, 4, 4}), Samples(up.get()));
    ASSERT_EQ(0, BitmapResampleNearest(src.get(), down.get(), 1, 3));
    EXPECT_EQ((std::vector<uint32_t>{1, 3, 5}), Samples(down.get()));
    // Bilevel, from a bit that does not start a byte.
    Picture bits, bitsOut;
    Make(bits, kPixelBilevel, 12, 1, {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1});
    ASSERT_EQ(0, BitmapResampleNearest(bits.get(), bitsOut.get(), 4, 2));
    EXPECT_EQ((std::vector<uint32_t>{0, 0, 0, 1, 0, 0, 0, 1}), Samples(bitsOut.get()));
}

TEST(Resample, OutOfRangeSizesAreRefusedAndChangeNothing) {
    Picture src;
    MakeRandom(src, Kind{"rgb", kPixelRGB, 8}, 3, 2, 1);
    const std::vector<uint32_t> before = Samples(src.get());
    struct Size {
        int32_t w, h;
    };
    for (const Size& s : {Size{0, 5}, Size{5, 0}, Size{-1, 2}, Size{2, INT32_MIN}, Size{70000, 70000},
                          Size{INT32_MAX, 1}}) {
        for (uint16_t mode : {uint16_t(0), kResampleNearest}) {
            Picture out;
            EXPECT_EQ(kGeometryBadSize, BitmapResample(src.get(), out.get(), s.w, s.h, mode)) << s.w << "x" << s.h;
            EXPECT_EQ(nullptr, out->pixels);
            EXPECT_EQ(kGeometryBadSize, BitmapResample(src.get(), nullptr, s.w, s.h, mode));
        }
    }
    EXPECT_EQ(3, src->width);
    EXPECT_EQ(before, Samples(src.get()));
}

TEST(Resample, DestinationLeavesTheSourceAndNullReplacesIt) {
    Picture src, copy, out;
    MakeRandom(src, Kind{"bgra", kPixelBGRA, 8}, 6, 6, 2);
    src->xResolution = 72;
    ASSERT_EQ(0, BitmapDuplicate(src.get(), copy.get()));
    ASSERT_EQ(0, BitmapResample(src.get(), out.get(), 3, 3, 0));
    EXPECT_EQ(Samples(copy.get()), Samples(src.get()));
    EXPECT_EQ(72, out->xResolution);
    uint8_t* oldPixels = src->pixels;
    ASSERT_EQ(0, BitmapResample(src.get(), nullptr, 3, 3, 0));
    EXPECT_NE(oldPixels, src->pixels);
    EXPECT_EQ(3, src->width);
    EXPECT_EQ(72, src->xResolution);
    EXPECT_EQ(Samples(out.get()), Samples(src.get()));
}

}  // namespace
