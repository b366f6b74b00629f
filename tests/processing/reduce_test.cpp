#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <utility>
#include <set>
#include <vector>

#include "processing/reduce.h"
#include "tests/processing/picture.h"

using namespace pictest;

namespace {

// A flat grey picture (256 levels).
void MakeFlatGrey(Picture& p, int32_t w, int32_t h, uint32_t v) {
    Make(p, kPixelGrey, w, h, std::vector<uint32_t>(size_t(w) * size_t(h), v));
    p->paletteCount = 256;
}

TEST(ReduceColours, BadModesAreRefusedButDeepSamplesAreStillReducedInPlace) {
    for (int mode : {0, 10, 11, 25, 0x10000}) {
        SCOPED_TRACE(mode);
        Picture src, out;
        Make(src, kPixelRGB, 2, 1, {0x1234, 0x5678, 0x9ABC, 0xDEF0, 0x0100, 0xFFFF}, 16);
        EXPECT_EQ(16, BitmapReduceColours(src.get(), out.get(), mode, 0));
        EXPECT_EQ(nullptr, out->pixels);
        EXPECT_EQ(16, src->bitsPerSample);
        EXPECT_EQ(16, BitmapReduceColours(src.get(), nullptr, mode, 0));
        EXPECT_EQ(8, src->bitsPerSample);
        EXPECT_EQ((std::vector<uint32_t>{0x12, 0x56, 0x9A, 0xDE, 0x01, 0xFF}), Samples(src.get()));
    }
}

TEST(ReduceColours, DeepSamplesKeepTheirTopBits) {
    struct DepthCase {
        uint16_t bits;
        uint32_t sample;
        uint32_t expected;
    };
    for (const DepthCase& c : {DepthCase{16, 0xABCD, 0xAB}, DepthCase{12, 0x0ABC, 0xAB}, DepthCase{10, 0x3FF, 0xFF},
                               DepthCase{32, 0xFEDCBA98u, 0xFE}}) {
        SCOPED_TRACE(c.bits);
        Picture src, out;
        Make(src, kPixelRGB, 1, 1, {c.sample, 0, c.sample}, c.bits);
        src->bitsPerSample = c.bits;
        ASSERT_EQ(0, BitmapReduceColours(src.get(), out.get(), kColourRGB, 0));
        EXPECT_EQ(8, out->bitsPerSample);
        EXPECT_EQ((std::vector<uint32_t>{c.expected, 0, c.expected}), Samples(out.get()));
        EXPECT_EQ(c.bits, src->bitsPerSample);
    }
}

TEST(ReduceColours, BlackAndWhiteThresholdsAt127) {
    Picture src, out;
    Make(src, kPixelGrey, 4, 1, {126, 127, 0, 255});
    src->paletteCount = 256;
    src->xResolution = 96;
    ASSERT_EQ(0, BitmapReduceColours(src.get(), out.get(), kColourBilevel, kDitherNone));
    EXPECT_EQ(kPixelBilevel, out->pixelType);
    EXPECT_EQ(2, out->paletteCount);
    EXPECT_EQ(96, out->xResolution);
    EXPECT_EQ((std::vector<uint32_t>{0, 1, 0, 1}), Samples(out.get()));

    // Colour pixels by their luminance in their own channel order: pure red
    // (76) is black, pure green (149) white, whichever byte holds them.
    for (uint16_t type : {kPixelRGB, kPixelBGR, kPixelABGR, kPixelARGB}) {
        SCOPED_TRACE(type);
        Picture rgb, colour, bw;
        Make(rgb, kPixelRGB, 2, 1, {255, 0, 0, 0, 255, 0});
        const int mode = type == kPixelRGB ? kColourRGB : type == kPixelBGR ? kColourBGR
                         : type == kPixelABGR ? kColourABGR : kColourARGB;
        ASSERT_EQ(0, BitmapReduceColours(rgb.get(), colour.get(), mode, 0));
        ASSERT_EQ(type, colour->pixelType);
        ASSERT_EQ(0, BitmapReduceColours(colour.get(), bw.get(), kColourBilevel, kDitherNone));
        EXPECT_EQ((std::vector<uint32_t>{0, 1}), Samples(bw.get()));
    }
}

TEST(ReduceColours, OrderedBlackAndWhiteFollowsTheBayerMatrix) {
    // The least grey that turns each cell white is the cell's threshold.
    uint32_t threshold[16][16];
    for (auto& row : threshold)
        for (uint32_t& t : row) t = 256;
    for (uint32_t g = 0; g < 256; ++g) {
        Picture src, out;
        MakeFlatGrey(src, 16, 16, g);
        ASSERT_EQ(0, BitmapReduceColours(src.get(), out.get(), kColourBilevel, kDitherOrdered));
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                if (Sample(out.get(), x, y) && threshold[y][x] == 256) threshold[y][x] = g;
    }
    const uint32_t row0[16] = {1, 128, 32, 160, 8, 136, 40, 168, 2, 130, 34, 162, 10, 138, 42, 170};
    const uint32_t row1[16] = {192, 64, 224, 96, 200, 72, 232, 104, 194, 66, 226, 98, 202, 74, 234, 106};
    std::set<uint32_t> all;
    for (int x = 0; x < 16; ++x) {
        EXPECT_EQ(row0[x], threshold[0][x]) << x;
        EXPECT_EQ(row1[x], threshold[1][x]) << x;
    }
    for (auto& row : threshold)
        for (uint32_t t : row) all.insert(t);
    EXPECT_EQ(255u, all.size());  // 0 is never a threshold: it became 1
}

TEST(ReduceColours, HalftonePatternsLightTheirFirstCell) {
    // Grey 8 is one 36th: only the pattern's cell holding 1 turns white.
    struct PatternCase {
        int method;
        int x, y;
    };
    for (const PatternCase& c : {PatternCase{kDitherPattern, 1, 1}, PatternCase{4, 1, 1},
                                 PatternCase{kDitherPatternSecond, 2, 2}}) {
        SCOPED_TRACE(c.method);
        Picture src, out;
        MakeFlatGrey(src, 12, 6, 8);
        ASSERT_EQ(0, BitmapReduceColours(src.get(), out.get(), kColourBilevel, c.method));
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 12; ++x) EXPECT_EQ(x % 6 == c.x && y == c.y ? 1u : 0u, Sample(out.get(), x, y)) << x;
    }
}

TEST(ReduceColours, ErrorDiffusionAlternatesMidGreyAndKeepsPureAreasPure) {
    for (uint32_t g : {0u, 255u, 128u}) {
        SCOPED_TRACE(g);
        Picture src, out;
        MakeFlatGrey(src, 40, 20, g);
        ASSERT_EQ(0, BitmapReduceColours(src.get(), out.get(), kColourBilevel, kDitherDiffusion));
        int white = 0;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 40; ++x) white += int(Sample(out.get(), x, y));
        if (g == 0) {
            EXPECT_EQ(0, white);
        } else if (g == 255) {
            EXPECT_EQ(800, white);
        } else {
            EXPECT_NEAR(400, white, 40);
            // The first row alternates exactly: 128 white, error -127 ...
            for (int x = 0; x < 8; ++x) EXPECT_EQ(x % 2 == 0 ? 1u : 0u, Sample(out.get(), x, 0)) << x;
        }
    }
}

TEST(ReduceColours, GreyLevels) {
    struct LevelCase {
        const char* name;
        uint16_t type;
        std::vector<uint32_t> samples;
        int16_t paletteCount;
        int mode;
        std::vector<uint32_t> expected;
    };
    const LevelCase cases[] = {
        {"bilevel keeps only the ends", kPixelBilevel, {0, 1, 1}, 2, kColourGrey4 + 1, {0, 7, 7}},
        {"grey 256 to 4", kPixelGrey, {0, 84, 85, 255}, 256, kColourGrey4, {0, 0, 1, 3}},
        {"grey 16 to 256", kPixelGrey, {0, 1, 15, 8}, 16, kColourGrey256, {0, 17, 255, 136}},
        {"grey of one level reads as 256", kPixelGrey, {0, 200}, 1, kColourGrey256, {0, 200}},
        {"grey of no levels reads as 256", kPixelGrey, {7, 255}, 0, kColourGrey4, {0, 3}},
        {"rgb luminance", kPixelRGB, {255, 0, 0, 0, 0, 255}, 0, kColourGrey256, {76, 28}},
        {"bgr luminance by channel", kPixelBGR, {255, 0, 0, 0, 0, 255}, 0, kColourGrey256, {28, 76}},
        {"palette luminance", kPixelPalette, {0, 255}, 256, kColourGrey256, {149, 104}},
    };
    for (const LevelCase& c : cases) {
        SCOPED_TRACE(c.name);
        Picture src, out;
        const int32_t w = int32_t(c.expected.size());
        Make(src, c.type, w, 1, c.samples);
        src->paletteCount = c.paletteCount;
        ASSERT_EQ(0, BitmapReduceColours(src.get(), out.get(), c.mode, kDitherNone));
        EXPECT_EQ(kPixelGrey, out->pixelType);
        const int levels[] = {4, 8, 16, 32, 64, 128, 216, 256};
        EXPECT_EQ(levels[c.mode - kColourGrey4], out->paletteCount);
        EXPECT_EQ(c.expected, Samples(out.get()));
    }
}

TEST(ReduceColours, OrderedGreyLevelsStepBetweenNeighbouringLevels) {
    // 128 into 4 levels: 85 apart, so 128 lies 31/63 of the way from level
    // 1 to 2, and exactly the cells of the 8 x 8 matrix below 31 step up.
    const uint8_t matrix[8][8] = {{0, 38, 9, 47, 2, 40, 11, 50},  {25, 12, 35, 22, 27, 15, 37, 24},
                                  {6, 44, 3, 41, 8, 47, 5, 43},   {31, 19, 28, 15, 34, 21, 31, 18},
                                  {1, 39, 11, 49, 0, 39, 10, 48}, {27, 14, 36, 23, 26, 13, 35, 23},
                                  {7, 46, 4, 43, 7, 45, 3, 42},   {33, 20, 30, 17, 32, 19, 29, 16}};
    Picture src, out;
    MakeFlatGrey(src, 8, 8, 128);
    ASSERT_EQ(0, BitmapReduceColours(src.get(), out.get(), kColourGrey4, kDitherOrdered));
    EXPECT_EQ(4, out->paletteCount);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(31 > matrix[y][x] ? 2u : 1u, Sample(out.get(), x, y)) << x << "," << y;

    // True colour is read by its channels: pure blue in BGR (luminance 28)
    // lies 20/63 above level 0 of 4.
    Picture bgr, levels;
    Make(bgr, kPixelBGR, 8, 8, [] {
        std::vector<uint32_t> v;
        for (int i = 0; i < 64; ++i) v.insert(v.end(), {255, 0, 0});
        return v;
    }());
    ASSERT_EQ(0, BitmapReduceColours(bgr.get(), levels.get(), kColourGrey4, kDitherOrdered));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(20 > matrix[y][x] ? 1u : 0u, Sample(levels.get(), x, y)) << x << "," << y;
}

TEST(ReduceColours, Palettes) {
    // A bilevel picture becomes black and white entries of an N-colour palette.
    Picture bits, pal;
    Make(bits, kPixelBilevel, 3, 1, {1, 0, 1});
    ASSERT_EQ(0, BitmapReduceColours(bits.get(), pal.get(), kColourPalette8 + 1, kDitherDiffusion));
    EXPECT_EQ(kPixelPalette, pal->pixelType);
    EXPECT_EQ(16, pal->paletteCount);
    EXPECT_EQ((std::vector<uint32_t>{1, 0, 1}), Samples(pal.get()));
    EXPECT_EQ(255, pal->palette[1]);
    EXPECT_EQ(255, pal->palette[kPaletteBlue + 1]);
    EXPECT_EQ(0, pal->palette[kPaletteGreen + 0]);

    // Optimised palettes are the quantizer's, diffused only for method 5.
    Picture rgb;
    MakeRandom(rgb, Kind{"rgb", kPixelRGB, 8}, 24, 16, 3);
    for (int method : {int(kDitherNone), 4, int(kDitherDiffusion)}) {
        SCOPED_TRACE(method);
        Picture viaMode, direct;
        ASSERT_EQ(0, BitmapReduceColours(rgb.get(), viaMode.get(), kColourPalette8 + 2, method));
        ASSERT_EQ(0, QuantizeBitmap(rgb.get(), direct.get(), 32, method == kDitherDiffusion));
        EXPECT_EQ(Samples(direct.get()), Samples(viaMode.get()));
        EXPECT_EQ(0, std::memcmp(direct->palette, viaMode->palette, 768));
    }
}

TEST(ReduceColours, OrderedCubes) {
    struct CubeCase {
        int mode;
        int r, g, b;
    };
    const CubeCase cubes[] = {{12, 2, 2, 2}, {13, 2, 4, 2}, {14, 4, 4, 2}, {15, 4, 4, 4},
                              {16, 4, 8, 4}, {17, 6, 6, 6}, {18, 8, 8, 4}};
    // The cube's corners are exact: pure colours keep their colour at every cell.
    const uint32_t corners[][3] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    for (const CubeCase& c : cubes) {
        SCOPED_TRACE(c.mode);
        std::vector<uint32_t> samples;
        for (int i = 0; i < 8 * 8; ++i) samples.insert(samples.end(), corners[i % 5], corners[i % 5] + 3);
        Picture src, out;
        Make(src, kPixelRGB, 8, 8, samples);
        ASSERT_EQ(0, BitmapReduceColours(src.get(), out.get(), c.mode, kDitherOrdered));
        EXPECT_EQ(c.r * c.g * c.b, out->paletteCount);
        for (int i = 0; i < 64; ++i) {
            const int index = int(Sample(out.get(), i % 8, i / 8));
            EXPECT_EQ(corners[i % 5][0], out->palette[index]) << i;
            EXPECT_EQ(corners[i % 5][1], out->palette[kPaletteGreen + index]) << i;
            EXPECT_EQ(corners[i % 5][2], out->palette[kPaletteBlue + index]) << i;
        }
        // Entry ((ri g) + gi) b + bi holds the levels spread over 0..255.
        const int last = c.r * c.g * c.b - 1;
        EXPECT_EQ(255, out->palette[last]);
        EXPECT_EQ(255 / (c.b - 1), out->palette[kPaletteBlue + 1]);
        EXPECT_EQ(255 / (c.g - 1), out->palette[kPaletteGreen + c.b]);
    }
}

TEST(ReduceColours, TrueColourLayouts) {
    // One RGBA pixel (10, 20, 30, 40) into every layout: bytes in that
    // layout's order, alpha carried to the four-byte ones.
    struct LayoutCase {
        int mode;
        uint16_t type;
        std::vector<uint32_t> bytes;
    };
    const LayoutCase layouts[] = {
        {kColourRGB, kPixelRGB, {10, 20, 30}},          {kColourRGBA, kPixelRGBA, {10, 20, 30, 40}},
        {kColourBGR, kPixelBGR, {30, 20, 10}},          {kColourABGR, kPixelABGR, {40, 30, 20, 10}},
        {kColourBGRA, kPixelBGRA, {30, 20, 10, 40}},    {kColourARGB, kPixelARGB, {40, 10, 20, 30}},
    };
    Picture rgba;
    Make(rgba, kPixelRGBA, 1, 1, {10, 20, 30, 40});
    for (const LayoutCase& c : layouts) {
        SCOPED_TRACE(c.mode);
        Picture out, back;
        ASSERT_EQ(0, BitmapReduceColours(rgba.get(), out.get(), c.mode, 0));
        EXPECT_EQ(c.type, out->pixelType);
        EXPECT_EQ(c.bytes, Samples(out.get()));
        // And back from that layout.
        ASSERT_EQ(0, BitmapReduceColours(out.get(), back.get(), kColourRGBA, 0));
        EXPECT_EQ((std::vector<uint32_t>{10, 20, 30, c.bytes.size() == 4 ? 40u : 255u}), Samples(back.get()));
    }

    // One-byte sources: opaque colours, a bilevel one too.
    struct SourceCase {
        const char* name;
        uint16_t type;
        std::vector<uint32_t> samples;
        int16_t paletteCount;
        std::vector<uint32_t> abgr;
    };
    const SourceCase sources[] = {
        {"bilevel", kPixelBilevel, {1, 0}, 2, {255, 255, 255, 255, 255, 0, 0, 0}},
        {"grey of 4 levels", kPixelGrey, {1, 3}, 4, {255, 85, 85, 85, 255, 255, 255, 255}},
        {"palette", kPixelPalette, {2, 200}, 256, {255, 14, 253, 2, 255, 120, 55, 200}},
    };
    for (const SourceCase& c : sources) {
        SCOPED_TRACE(c.name);
        Picture src, out;
        Make(src, c.type, 2, 1, c.samples);
        src->paletteCount = c.paletteCount;
        ASSERT_EQ(0, BitmapReduceColours(src.get(), out.get(), kColourABGR, 0));
        EXPECT_EQ(c.abgr, Samples(out.get()));
    }
}

TEST(ReduceColours, AskingForWhatThePictureIsCopiesOrLeavesIt) {
    for (const auto& [type, mode] : {std::pair<uint16_t, int>{kPixelRGB, kColourRGB},
                                     std::pair<uint16_t, int>{kPixelBilevel, kColourBilevel}}) {
        Picture src, copy;
        MakeRandom(src, Kind{"", type, 8}, 9, 5, 11);
        src->transparentIndex = 1;
        const uint8_t* pixels = src->pixels;
        const std::vector<uint32_t> before = Samples(src.get());
        ASSERT_EQ(0, BitmapReduceColours(src.get(), nullptr, mode, 0));
        EXPECT_EQ(pixels, src->pixels);
        ASSERT_EQ(0, BitmapReduceColours(src.get(), copy.get(), mode, 0));
        EXPECT_NE(pixels, copy->pixels);
        EXPECT_EQ(before, Samples(copy.get()));
        EXPECT_EQ(1, copy->transparentIndex);
    }
}

TEST(ReduceColours, InPlaceTheRecordTakesTheResult) {
    Picture src;
    MakeRandom(src, Kind{"", kPixelRGB, 8}, 13, 7, 5);
    src->yResolution = 72;
    ASSERT_EQ(0, BitmapReduceColours(src.get(), nullptr, kColourPalette256, kDitherDiffusion));
    EXPECT_EQ(kPixelPalette, src->pixelType);
    EXPECT_EQ(256, src->paletteCount);
    EXPECT_EQ(-1, src->transparentIndex);
    EXPECT_EQ(72, src->yResolution);
    ASSERT_EQ(0, BitmapReduceColours(src.get(), nullptr, kColourBGRA, 0));
    EXPECT_EQ(kPixelBGRA, src->pixelType);
    EXPECT_EQ(nullptr, src->palette);
}

}  // namespace
