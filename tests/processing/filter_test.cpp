#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "processing/filter.h"
#include "tests/processing/picture.h"

using namespace pictest;

namespace {

enum class Op { kSharpen, kSmooth, kNoise };

int RunFilter(Op op, Bitmap* src, Bitmap* dst, const PictureRect* rect, int amount) {
    switch (op) {
        case Op::kSharpen: return BitmapSharpen(src, dst, rect, amount);
        case Op::kSmooth: return BitmapSmooth(src, dst, rect, amount);
        default: return BitmapReduceNoise(src, dst, rect);
    }
}

// The filters written plainly: neighbours read with clamped coordinates.
int64_t Reference(Op op, const Bitmap* b, int32_t x, int32_t y, int k, int amount, int64_t max) {
    auto at = [&](int32_t dx, int32_t dy) {
        return int64_t(Sample(b, std::clamp(x + dx, 0, b->width - 1), std::clamp(y + dy, 0, b->height - 1), k));
    };
    const int64_t c = at(0, 0);
    int64_t v;
    if (op == Op::kSharpen) {
        const int64_t s = at(-1, -1) + at(0, -1) + at(1, -1) + at(-1, 0) + at(1, 0) + at(-1, 1) + at(0, 1) + at(1, 1);
        // At 100 the divisor is 1 and the centre weighs 101, so that a flat
        // area keeps its value: the sample moves 100 times its distance
        // from the neighbours' mean.
        v = amount == 100 ? c * 101 - (s * 100) / 8 : (c * 100 - (s * amount) / 8) / (100 - amount);
    } else if (op == Op::kSmooth) {
        const int64_t n = at(0, -1) + at(-1, 0) + at(1, 0) + at(0, 1);
        const int64_t d = at(-1, -1) + at(1, -1) + at(-1, 1) + at(1, 1);
        const int64_t kk = (100 - amount) * 3175 / 100;
        v = ((2 * n + d) * 100 + c * (kk + 25)) / (kk + 1225);
    } else {
        const int64_t n1 = at(0, -1) + at(-1, 0) + at(1, 0) + at(0, 1);
        const int64_t n2 = at(0, -2) + at(-2, 0) + at(2, 0) + at(0, 2);
        v = (7 * c + 3 * n1 - n2) / 15;
    }
    return std::clamp<int64_t>(v, 0, max);
}

struct FilterCase {
    const char* name;
    Op op;
    int amount;
};
const FilterCase kFilters[] = {
    {"sharpen 0", Op::kSharpen, 0},    {"sharpen 37", Op::kSharpen, 37}, {"sharpen 99", Op::kSharpen, 99},
    {"sharpen 100", Op::kSharpen, 100}, {"smooth 0", Op::kSmooth, 0},     {"smooth 64", Op::kSmooth, 64},
    {"smooth 100", Op::kSmooth, 100},   {"noise", Op::kNoise, 0},
};

// Kinds that are filtered as samples.
std::vector<Kind> FilteredKinds() {
    std::vector<Kind> v;
    for (const Kind& k : AllKinds())
        if (k.type != kPixelBilevel && k.type != kPixelPalette) v.push_back(k);
    return v;
}

class FilterKinds : public ::testing::TestWithParam<Kind> {};

TEST_P(FilterKinds, EverySampleMatchesThePlainFilterInsideTheRectangleOnly) {
    const Kind kind = GetParam();
    Picture src;
    MakeRandom(src, kind, 11, 7, 3);
    if (kind.type == kPixelGrey && kind.bits == 8) src->paletteCount = 256;
    const int64_t max = kind.bits == 8 ? 255 : kind.bits == 16 ? 65535 : 0xFFFFFFFFll;
    const PictureRect rect{2, 1, 6, 5};
    for (const FilterCase& f : kFilters) {
        SCOPED_TRACE(f.name);
        for (const PictureRect* r : {static_cast<const PictureRect*>(nullptr), &rect}) {
            Picture out;
            ASSERT_EQ(0, RunFilter(f.op, src.get(), out.get(), r, f.amount));
            ASSERT_EQ(src->pixelType, out->pixelType);
            for (int32_t y = 0; y < src->height; ++y)
                for (int32_t x = 0; x < src->width; ++x) {
                    const bool inside = !r || (x >= r->x && x < r->x + r->width && y >= r->y && y < r->y + r->height);
                    for (int k = 0; k < src->components; ++k) {
                        const int64_t expected =
                            inside ? Reference(f.op, src.get(), x, y, k, f.amount, max) : int64_t(Sample(src.get(), x, y, k));
                        ASSERT_EQ(expected, int64_t(Sample(out.get(), x, y, k))) << x << "," << y << "," << k;
                    }
                }
        }
    }
}

TEST_P(FilterKinds, FlatPicturesStayFlat) {
    const Kind kind = GetParam();
    Picture src;
    ASSERT_EQ(1, AllocBitmapWithDepth(src.get(), kind.type, 4, 6, 5, kind.bits));
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 6; ++x)
            for (int k = 0; k < src->components; ++k) SetSample(src.get(), x, y, k, 50u * uint32_t(k + 1));
    src->paletteCount = 256;
    const std::vector<uint32_t> before = Samples(src.get());
    for (const FilterCase& f : kFilters) {
        SCOPED_TRACE(f.name);
        Picture out;
        ASSERT_EQ(0, RunFilter(f.op, src.get(), out.get(), nullptr, f.amount));
        EXPECT_EQ(before, Samples(out.get()));
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, FilterKinds, ::testing::ValuesIn(FilteredKinds()), KindName);

TEST(Filters, HandComputedCentreOfABrightDot) {
    // 100 on a field of 50: sharpen 50 gives (10000 - 400 * 50 / 8) / 50;
    // smooth 100 gives ((2 * 200 + 200) * 100 + 100 * 25) / 1225; noise
    // (700 + 600 - 200) / 15.
    std::vector<uint32_t> dot(9, 50);
    dot[4] = 100;
    struct DotCase {
        Op op;
        int amount;
        uint32_t centre;
    };
    for (const DotCase& c : {DotCase{Op::kSharpen, 50, 150}, DotCase{Op::kSmooth, 100, 51}, DotCase{Op::kNoise, 0, 73}}) {
        Picture src, out;
        Make(src, kPixelGrey, 3, 3, dot);
        src->paletteCount = 256;
        ASSERT_EQ(0, RunFilter(c.op, src.get(), out.get(), nullptr, c.amount));
        EXPECT_EQ(c.centre, Sample(out.get(), 1, 1));
    }
}

TEST(Filters, InPlaceBilevelEmptyRectangleAndFewGreyLevels) {
    Picture src;
    MakeRandom(src, Kind{"", kPixelRGB, 8}, 5, 4, 9);
    src->xResolution = 300;
    Picture copy;
    ASSERT_EQ(0, BitmapSharpen(src.get(), copy.get(), nullptr, 60));
    ASSERT_EQ(0, BitmapSharpen(src.get(), nullptr, nullptr, 60));
    EXPECT_EQ(Samples(copy.get()), Samples(src.get()));
    EXPECT_EQ(300, src->xResolution);

    const PictureRect outside{5, 0, 3, 3};
    EXPECT_EQ(16, BitmapSmooth(src.get(), nullptr, &outside, 10));
    Picture bits;
    Make(bits, kPixelBilevel, 4, 2, std::vector<uint32_t>(8, 1));
    EXPECT_EQ(17, BitmapSharpen(bits.get(), nullptr, nullptr, 10));
    EXPECT_EQ(17, BitmapSmooth(bits.get(), nullptr, nullptr, 10));
    EXPECT_EQ(17, BitmapReduceNoise(bits.get(), nullptr, nullptr));

    // Sixteen grey levels: sharpening stays within level 15.
    Picture grey, sharp;
    Make(grey, kPixelGrey, 3, 1, {0, 15, 0});
    grey->paletteCount = 16;
    ASSERT_EQ(0, BitmapSharpen(grey.get(), sharp.get(), nullptr, 90));
    EXPECT_EQ((std::vector<uint32_t>{0, 15, 0}), Samples(sharp.get()));
}

TEST(Filters, PalettePicturesAreFilteredAsTheirColours) {
    // Entry e is (e, 255 - e, 7e): a field of entry 10 with one pixel of
    // entry 20 smooths into red, green, blue values between them.
    std::vector<uint32_t> idx(9, 10);
    idx[4] = 20;
    Picture pal, out;
    Make(pal, kPixelPalette, 3, 3, idx);
    ASSERT_EQ(0, BitmapSmooth(pal.get(), out.get(), nullptr, 100));
    EXPECT_EQ(kPixelRGB, out->pixelType);
    EXPECT_EQ(nullptr, out->palette);
    // Centre: ((2 * 4 * 10 + 4 * 10) * 100 + 20 * 25) / 1225 for red.
    EXPECT_EQ((std::vector<uint32_t>{10, 244, 71}), Pixel(out.get(), 1, 1));
    // A corner sees the dot once, as a diagonal neighbour.
    EXPECT_EQ((std::vector<uint32_t>{10, 244, 75}), Pixel(out.get(), 0, 0));
}

}  // namespace
