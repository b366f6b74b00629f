#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "imagelib/metadata.h"
#include "processing/adjust.h"
#include "tests/processing/picture.h"

using namespace pictest;

namespace {

std::vector<uint8_t> Table(int brightness, int contrast, double gamma) {
    std::vector<uint8_t> t(256);
    BuildAdjustTable(t.data(), brightness, contrast, gamma);
    return t;
}

std::vector<uint8_t> Identity() {
    std::vector<uint8_t> t(256);
    for (int i = 0; i < 256; ++i) t[size_t(i)] = uint8_t(i);
    return t;
}

TEST(AdjustTable, Cases) {
    EXPECT_EQ(Identity(), Table(0, 0, 1.0));
    EXPECT_EQ(Identity(), Table(0, 0, 1.00005));
    EXPECT_EQ(std::vector<uint8_t>(256, 255), Table(300, 0, 1.0));
    EXPECT_EQ(std::vector<uint8_t>(256, 0), Table(-256, 0, 1.0));
    // Brightness 10: shifted and clamped.
    EXPECT_EQ(10, Table(10, 0, 1.0)[0]);
    EXPECT_EQ(255, Table(10, 0, 1.0)[250]);
    // Contrast -127 flattens everything to mid grey.
    const std::vector<uint8_t> flat = Table(0, -127, 1.0);
    for (int i = 0; i < 255; ++i) EXPECT_EQ(127, flat[size_t(i)]) << i;
    EXPECT_EQ(128, flat[255]);
    // Contrast 64 stretches 64..191 over 0..255.
    const std::vector<uint8_t> stretch = Table(0, 64, 1.0);
    EXPECT_EQ(0, stretch[64]);
    EXPECT_EQ(128, stretch[128]);
    EXPECT_EQ(255, stretch[191]);
    // Gamma 2.2 lifts the middle: (128 / 255)^(1 / 2.2) * 255 + 0.5.
    EXPECT_EQ(186, Table(0, 0, 2.2)[128]);
}

TEST(AdjustTable, OutOfRangeContrastAndGammaAreClamped) {
    EXPECT_EQ(Table(0, 127, 1.0), Table(0, 128, 1.0));
    EXPECT_EQ(Table(0, 127, 1.0), Table(0, 100000, 1.0));
    EXPECT_EQ(Table(0, -127, 1.0), Table(0, -1000, 1.0));
    const std::vector<uint8_t> least = Table(0, 0, kGammaMin);
    for (double g : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) EXPECT_EQ(least, Table(0, 0, g)) << g;
    for (int i = 1; i < 256; ++i) EXPECT_LE(least[size_t(i - 1)], least[size_t(i)]);
}

// Where each true-colour type keeps red, green, blue and alpha.
struct Layout {
    uint16_t type;
    int red, green, blue, alpha;
};
const Layout kLayouts[] = {
    {kPixelRGB, 0, 1, 2, -1},  {kPixelBGR, 2, 1, 0, -1},  {kPixelRGBA, 0, 1, 2, 3},
    {kPixelABGR, 3, 2, 1, 0},  {kPixelBGRA, 2, 1, 0, 3},  {kPixelARGB, 1, 2, 3, 0},
};

struct Rgba {
    uint32_t r, g, b, a;
};

// A picture of `l`'s type, one pixel per colour, in one row.
void MakePixels(Picture& p, const Layout& l, const std::vector<Rgba>& colours) {
    std::vector<uint32_t> all;
    for (const Rgba& c : colours) {
        std::vector<uint32_t> px(l.alpha < 0 ? 3 : 4);
        px[size_t(l.red)] = c.r;
        px[size_t(l.green)] = c.g;
        px[size_t(l.blue)] = c.b;
        if (l.alpha >= 0) px[size_t(l.alpha)] = c.a;
        all.insert(all.end(), px.begin(), px.end());
    }
    Make(p, l.type, int32_t(colours.size()), 1, all);
}

class AdjustKinds : public ::testing::TestWithParam<Kind> {};

TEST_P(AdjustKinds, IdentitySettingsChangeNothing) {
    const Kind kind = GetParam();
    Picture pic;
    MakeRandom(pic, kind, 9, 4, 23);
    if (kind.type == kPixelGrey || kind.type == kPixelPalette) pic->paletteCount = 256;
    const std::vector<uint32_t> samples = Samples(pic.get());
    const std::vector<uint8_t> palette(pic->palette ? pic->palette : nullptr,
                                       pic->palette ? pic->palette + kPaletteBytes : nullptr);
    const int expected = kind.type == kPixelBilevel ? 17 : 0;
    EXPECT_EQ(expected, BitmapAdjustColours(pic.get(), nullptr, nullptr, 0, 0, 1.0));
    EXPECT_EQ(expected, BitmapAdjustRgb(pic.get(), nullptr, nullptr, 0, 0, 0));
    const std::vector<uint8_t> identity = Identity();
    EXPECT_EQ(expected, ApplyAdjustTable(pic.get(), nullptr, nullptr, identity.data()));
    EXPECT_EQ(samples, Samples(pic.get()));
    if (pic->palette) {
        EXPECT_EQ(0, std::memcmp(palette.data(), pic->palette, kPaletteBytes));
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, AdjustKinds, ::testing::ValuesIn(AllKinds()), KindName);

TEST(AdjustRgb, EachOffsetReachesItsChannelAndAlphaStays) {
    for (const Layout& l : kLayouts) {
        SCOPED_TRACE(l.type);
        Picture pic;
        MakePixels(pic, l, {{100, 100, 250, 7}, {100, 100, 250, 7}});
        ASSERT_EQ(0, BitmapAdjustRgb(pic.get(), nullptr, nullptr, 10, -20, 30));
        EXPECT_EQ(110u, Sample(pic.get(), 1, 0, l.red));
        EXPECT_EQ(80u, Sample(pic.get(), 1, 0, l.green));
        EXPECT_EQ(255u, Sample(pic.get(), 1, 0, l.blue));
        if (l.alpha >= 0) {
            EXPECT_EQ(7u, Sample(pic.get(), 1, 0, l.alpha));
        }
        // The one-table adjustment changes the colours, never alpha.
        ASSERT_EQ(0, BitmapAdjustColours(pic.get(), nullptr, nullptr, 300, 0, 1.0));
        EXPECT_EQ(255u, Sample(pic.get(), 0, 0, l.red));
        if (l.alpha >= 0) {
            EXPECT_EQ(7u, Sample(pic.get(), 0, 0, l.alpha));
        }
    }
}

TEST(Adjust, BilevelPicturesAreRefusedByEveryOperation) {
    Picture bits;
    Make(bits, kPixelBilevel, 9, 2, std::vector<uint32_t>(18, 1));
    const uint8_t tables[3][256] = {};
    const std::vector<uint8_t> table(256, 0);
    EXPECT_EQ(17, BitmapAdjustColours(bits.get(), nullptr, nullptr, 10, 0, 1.0));
    EXPECT_EQ(17, BitmapAutoLevels(bits.get(), nullptr, nullptr));
    EXPECT_EQ(17, BitmapAutoContrast(bits.get(), nullptr, nullptr));
    EXPECT_EQ(17, BitmapAdjustRgb(bits.get(), nullptr, nullptr, 1, 2, 3));
    EXPECT_EQ(17, ApplyAdjustTable(bits.get(), nullptr, nullptr, table.data()));
    EXPECT_EQ(17, ApplyChannelTables(bits.get(), nullptr, nullptr, tables));
    EXPECT_EQ(std::vector<uint32_t>(18, 1), Samples(bits.get()));
}

TEST(Adjust, RectangleAndDestination) {
    Picture src;
    Make(src, kPixelGrey, 4, 3, std::vector<uint32_t>(12, 100));
    src->paletteCount = 256;
    src->xResolution = 200;
    const PictureRect inside{1, 1, 10, 10};  // clipped to 3 x 2
    Picture dst;
    ASSERT_EQ(0, BitmapAdjustColours(src.get(), dst.get(), &inside, 5, 0, 1.0));
    EXPECT_EQ(std::vector<uint32_t>(12, 100), Samples(src.get()));
    EXPECT_EQ((std::vector<uint32_t>{100, 100, 100, 100, 100, 105, 105, 105, 100, 105, 105, 105}), Samples(dst.get()));
    EXPECT_EQ(200, dst->xResolution);
    EXPECT_NE(src->pixels, dst->pixels);
    const PictureRect outside{4, 0, 2, 2};
    EXPECT_EQ(16, BitmapAdjustColours(src.get(), nullptr, &outside, 5, 0, 1.0));
    EXPECT_EQ(16, BitmapAutoLevels(src.get(), nullptr, &outside));
    EXPECT_EQ(std::vector<uint32_t>(12, 100), Samples(src.get()));
}

TEST(Adjust, PalettePicturesChangeTheirPaletteOnly) {
    Picture pal;
    Make(pal, kPixelPalette, 3, 1, {0, 1, 2});
    pal->paletteCount = 2;  // entries beyond the count stay
    ASSERT_EQ(0, BitmapAdjustRgb(pal.get(), nullptr, nullptr, 10, 0, 0));
    EXPECT_EQ((std::vector<uint32_t>{0, 1, 2}), Samples(pal.get()));
    EXPECT_EQ(10, pal->palette[0]);
    EXPECT_EQ(11, pal->palette[1]);
    EXPECT_EQ(2, pal->palette[2]);
    EXPECT_EQ(255, pal->palette[kPaletteGreen]);
}

TEST(Adjust, GreyOfFewLevelsStaysWithinItsLevels) {
    // Sixteen levels: the identity keeps every level, brightness moves them
    // on the 0..255 scale (17 per level).
    std::vector<uint32_t> levels;
    for (uint32_t v = 0; v < 16; ++v) levels.push_back(v);
    Picture grey;
    Make(grey, kPixelGrey, 16, 1, levels);
    grey->paletteCount = 16;
    ASSERT_EQ(0, BitmapAdjustColours(grey.get(), nullptr, nullptr, 0, 0, 1.0));
    EXPECT_EQ(levels, Samples(grey.get()));
    ASSERT_EQ(0, BitmapAdjustColours(grey.get(), nullptr, nullptr, 34, 0, 1.0));
    EXPECT_EQ(16, grey->paletteCount);
    for (uint32_t v = 0; v < 16; ++v) EXPECT_EQ(std::min(v + 2, 15u), Sample(grey.get(), int32_t(v), 0)) << v;
}

TEST(Adjust, DeepSamplesFollowTheTable) {
    Picture deep;
    Make(deep, kPixelRGB, 2, 1, {0, 0x1234, 0xFFFF, 0x8000, 257 * 10, 65535}, 16);
    const std::vector<uint32_t> before = Samples(deep.get());
    ASSERT_EQ(0, BitmapAdjustColours(deep.get(), nullptr, nullptr, 0, 0, 1.0));
    EXPECT_EQ(before, Samples(deep.get()));
    ASSERT_EQ(0, BitmapAdjustRgb(deep.get(), nullptr, nullptr, 1, 0, -1));
    EXPECT_EQ((std::vector<uint32_t>{257, 0x1234, 0xFFFF - 257, 0x8000 + 257, 257 * 10, 65535 - 257}), Samples(deep.get()));

    // 32-bit samples use their whole range.
    Picture wide;
    Make(wide, kPixelRGB, 1, 1, {0, 0x89ABCDEFu, 0xFFFFFFFFu}, 32);
    ASSERT_EQ(0, BitmapAdjustColours(wide.get(), nullptr, nullptr, 0, 0, 1.0));
    EXPECT_EQ((std::vector<uint32_t>{0, 0x89ABCDEFu, 0xFFFFFFFFu}), Samples(wide.get()));
    ASSERT_EQ(0, BitmapAdjustRgb(wide.get(), nullptr, nullptr, 1, 0, 0));
    EXPECT_EQ(0x01010101u, Sample(wide.get(), 0, 0, 0));
}

TEST(AdjustRgb, LargePicturesMapEveryByteAsSmallOnesDo) {
    // Past a megabyte the bytes go two at a time through pair tables; an
    // odd rectangle leaves a tail of single bytes in every row.
    struct LargeCase {
        uint16_t type;
        int32_t w, h;
        int red, green, blue, alpha;  // positions; -1 none
    };
    for (const LargeCase& c : {LargeCase{kPixelRGB, 700, 520, 0, 1, 2, -1}, LargeCase{kPixelABGR, 600, 450, 3, 2, 1, 0},
                               LargeCase{kPixelGrey, 1100, 1000, 0, 0, 0, -1}}) {
        SCOPED_TRACE(c.type);
        Picture src, out;
        MakeRandom(src, Kind{"", c.type, 8}, c.w, c.h, 17);
        src->paletteCount = 256;
        const PictureRect rect{3, 0, c.w - 4, c.h};
        ASSERT_EQ(0, BitmapAdjustRgb(src.get(), out.get(), &rect, 40, -30, 20));
        for (int32_t y = 0; y < c.h; y += 7)
            for (int32_t x = 0; x < c.w; ++x) {
                const bool inside = x >= 3 && x < c.w - 1;
                for (int k = 0; k < src->components; ++k) {
                    const int v = int(Sample(src.get(), x, y, k));
                    int expected = v;
                    if (inside && k == c.red) expected = std::min(v + 40, 255);
                    else if (inside && k == c.green) expected = std::max(v - 30, 0);
                    else if (inside && k == c.blue) expected = std::min(v + 20, 255);
                    ASSERT_EQ(uint32_t(expected), Sample(out.get(), x, y, k)) << x << "," << y << "," << k;
                }
            }
        // One table for every colour byte.
        Picture bright;
        uint8_t table[256];
        BuildAdjustTable(table, 0, 20, 1.3);
        ASSERT_EQ(0, ApplyAdjustTable(src.get(), bright.get(), &rect, table));
        for (int32_t y = 0; y < c.h; y += 5)
            for (int32_t x = 0; x < c.w; ++x)
                for (int k = 0; k < src->components; ++k) {
                    const bool changes = x >= 3 && x < c.w - 1 && k != c.alpha;
                    const uint32_t v = Sample(src.get(), x, y, k);
                    ASSERT_EQ(changes ? table[v] : v, Sample(bright.get(), x, y, k)) << x << "," << y << "," << k;
                }
    }
}

TEST(AutoLevels, StretchesEachChannelByItsOwnOrder) {
    // Red spans 50..200, green 0..255 already, blue is flat: red is
    // stretched, green kept, blue and alpha left alone; in every layout.
    for (const Layout& l : kLayouts) {
        SCOPED_TRACE(l.type);
        Picture pic;
        MakePixels(pic, l, {{50, 0, 90, 3}, {200, 255, 90, 3}, {125, 128, 90, 3}});
        ASSERT_EQ(0, BitmapAutoLevels(pic.get(), nullptr, nullptr));
        const uint32_t expected[3][4] = {{0, 0, 90, 3}, {255, 255, 90, 3}, {127, 128, 90, 3}};
        for (int32_t x = 0; x < 3; ++x) {
            EXPECT_EQ(expected[x][0], Sample(pic.get(), x, 0, l.red)) << x;
            EXPECT_EQ(expected[x][1], Sample(pic.get(), x, 0, l.green)) << x;
            EXPECT_EQ(expected[x][2], Sample(pic.get(), x, 0, l.blue)) << x;
            if (l.alpha >= 0) {
                EXPECT_EQ(expected[x][3], Sample(pic.get(), x, 0, l.alpha)) << x;
            }
        }
    }
}

TEST(AutoLevels, OnePercentTailsAreCutAndFlatPicturesStay) {
    // 2000 pixels: threshold 2. Two pixels at 0 and two at 255 are the tails;
    // the body spans 40..240.
    std::vector<uint32_t> v;
    for (int i = 0; i < 2000; ++i) v.push_back(uint32_t(40 + i % 201));
    v[0] = v[1] = 0;
    v[2] = v[3] = 255;
    Picture grey;
    Make(grey, kPixelGrey, 2000, 1, v);
    grey->paletteCount = 256;
    ASSERT_EQ(0, BitmapAutoLevels(grey.get(), nullptr, nullptr));
    EXPECT_EQ(0u, Sample(grey.get(), 201, 0));    // 40 -> 0
    EXPECT_EQ(255u, Sample(grey.get(), 200, 0));  // 240 -> 255
    EXPECT_EQ(127u, Sample(grey.get(), 100, 0));  // 140 -> 127
    EXPECT_EQ(0u, Sample(grey.get(), 0, 0));
    EXPECT_EQ(255u, Sample(grey.get(), 2, 0));

    Picture flat;
    Make(flat, kPixelGrey, 5, 5, std::vector<uint32_t>(25, 77));
    flat->paletteCount = 256;
    ASSERT_EQ(0, BitmapAutoLevels(flat.get(), nullptr, nullptr));
    EXPECT_EQ(std::vector<uint32_t>(25, 77), Samples(flat.get()));
}

TEST(AutoLevels, PalettePicturesStretchTheColoursTheyUse) {
    // Entries 0 and 1 are used; the unused ones (0..255 ramps) must not
    // count, and the pixel indices stay.
    Picture pal;
    Make(pal, kPixelPalette, 4, 1, {0, 1, 1, 0});
    const uint8_t used[2][3] = {{50, 60, 70}, {200, 190, 180}};
    for (int i = 0; i < 2; ++i)
        for (int k = 0; k < 3; ++k) pal->palette[256 * k + i] = used[i][k];
    ASSERT_EQ(0, BitmapAutoLevels(pal.get(), nullptr, nullptr));
    EXPECT_EQ((std::vector<uint32_t>{0, 1, 1, 0}), Samples(pal.get()));
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(0, pal->palette[256 * k]) << k;
        EXPECT_EQ(255, pal->palette[256 * k + 1]) << k;
    }
}

TEST(AutoContrast, StretchesLuminanceAndLeavesFlatPictures) {
    std::vector<uint32_t> span;
    for (uint32_t v = 50; v <= 200; ++v) span.push_back(v);
    Picture grey;
    Make(grey, kPixelGrey, int32_t(span.size()), 1, span);
    grey->paletteCount = 256;
    ASSERT_EQ(0, BitmapAutoContrast(grey.get(), nullptr, nullptr));
    EXPECT_LE(Sample(grey.get(), 0, 0), 2u);
    EXPECT_EQ(255u, Sample(grey.get(), int32_t(span.size()) - 1, 0));

    for (const Layout& l : kLayouts) {
        SCOPED_TRACE(l.type);
        Picture flat;
        MakePixels(flat, l, {{100, 100, 100, 9}, {100, 100, 100, 9}});
        const std::vector<uint32_t> before = Samples(flat.get());
        ASSERT_EQ(0, BitmapAutoContrast(flat.get(), nullptr, nullptr));
        EXPECT_EQ(before, Samples(flat.get()));
    }
}

TEST(Histograms, ChannelsAndLuminanceByTheTypesOrder) {
    Picture bgr;
    Make(bgr, kPixelBGR, 2, 1, {255, 0, 0, 10, 20, 30});  // blue, then (30, 20, 10)
    uint32_t channels[4][256];
    ChannelHistograms(bgr.get(), channels);
    EXPECT_EQ(1u, channels[0][0]);
    EXPECT_EQ(1u, channels[0][30]);
    EXPECT_EQ(1u, channels[2][255]);
    EXPECT_EQ(1u, channels[2][10]);
    uint32_t luminance[256];
    LuminanceHistogram(bgr.get(), luminance);
    EXPECT_EQ(1u, luminance[28]);  // pure blue
    EXPECT_EQ(1u, luminance[(77 * 30 + 150 * 20 + 29 * 10) >> 8]);
}

}  // namespace
