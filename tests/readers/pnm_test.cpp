// The PNM reader against hand-made files: headers, sample scaling, P1 digits
// without separators, XV thumbnails, refusals and truncation. Files made by
// netpbm and ImageMagick are compared in oracle_test.cpp.
#include <gtest/gtest.h>

#include <cstring>

#include <string>
#include <vector>

#include "imagelib/readers/pnm.h"
#include "imagelib/readers/readers.h"
#include "tests/readers/fakeload.h"

namespace {

using testing_support::FakeLoad;
using Bytes = std::vector<uint8_t>;

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct PnmCase {
    const char* name;
    Bytes file;
    int result;
    const char* description;
    int width;
    int height;
    int bitsPerPlane;
    uint32_t flags;
    uint16_t paletteLayout;
    std::vector<Bytes> rows;
};

const PnmCase kCases[] = {
    // P1: one character a pixel, separators optional, comments anywhere.
    {"p1_digits_without_separators", B("P1\n4 2\n0101\n1 1 0 0\n"), 0, "Portable Bitmap (Type 1 - ASCII)", 4, 2, 1, 0x2, 1,
     {{0, 1, 0, 1}, {1, 1, 0, 0}}},
    {"p1_comment_between_pixels", B("P1 3 1 1#c\n01"), 0, "Portable Bitmap (Type 1 - ASCII)", 3, 1, 1, 0x2, 1, {{1, 0, 1}}},
    {"p1_digit_2_is_corrupt", B("P1 2 1 02"), 10, nullptr, 2, 1, 1, 0x2, 1, {}},
    {"p4_packed_rows", Cat(B("P4\n10 2\n"), {0xA5, 0xC0, 0xFF, 0x40}), 0, "Portable Bitmap (Type 4 - Binary)", 10, 2, 1, 0, 1,
     {{0xA5, 0xC0}, {0xFF, 0x40}}},
    // P2 maxval 15: 15 -> 255, 7 -> 119; values above maxval clamp.
    {"p2_maxval_15", B("P2\n# grey\n4 1\n15\n15 7 0 99\n"), 0, "Portable Graymap (Type 2 - ASCII)", 4, 1, 8, 0, 0,
     {{255, 119, 0, 255}}},
    {"p2_maxval_65535_keeps_high_byte", B("P2 2 1 65535 4660 65535"), 0, "Portable Graymap (Type 2 - ASCII)", 2, 1, 8, 0, 0,
     {{0x12, 0xFF}}},
    {"p2_non_digit_in_data", B("P2 2 1 255 1 x"), 10, nullptr, 2, 1, 8, 0, 0, {}},
    {"p3_rgb", B("P3 2 1 255 1 2 3 4 5 6"), 0, "Portable Pixmap (Type 3 - ASCII)", 2, 1, 24, 0, 0, {{1, 2, 3, 4, 5, 6}}},
    {"p5_maxval_255", Cat(B("P5 3 1 255\n"), {0, 128, 255}), 0, "Portable Graymap (Type 5 - Binary)", 3, 1, 8, 0, 0,
     {{0, 128, 255}}},
    {"p5_maxval_15_scaled_and_clamped", Cat(B("P5 3 1 15\n"), {7, 15, 200}), 0, "Portable Graymap (Type 5 - Binary)", 3, 1, 8,
     0, 0, {{119, 255, 255}}},
    {"p5_maxval_65535_first_byte", Cat(B("P5 2 1 65535\n"), {0x12, 0x34, 0xAB, 0xCD}), 0, "Portable Graymap (Type 5 - Binary)",
     2, 1, 8, 0, 0, {{0x12, 0xAB}}},
    {"p5_maxval_1023", Cat(B("P5 3 1 1023\n"), {0x03, 0xFF, 0x02, 0x00, 0x00, 0x03}), 0, "Portable Graymap (Type 5 - Binary)",
     3, 1, 8, 0, 0, {{255, 127, 0}}},
    {"p6_rgb", Cat(B("P6 1 2 255\n"), {1, 2, 3, 4, 5, 6}), 0, "Portable Pixmap (Type 6 - Binary)", 1, 2, 24, 0, 0,
     {{1, 2, 3}, {4, 5, 6}}},
    {"p6_comment_after_maxval", Cat(B("P6 1 1 255#x\n"), {9, 8, 7}), 0, "Portable Pixmap (Type 6 - Binary)", 1, 1, 24, 0, 0,
     {{9, 8, 7}}},
    {"p7_xv_thumbnail", Cat(B("P7 332\n#XVVERSION:Version 2.28\n#IMGINFO:2x1\n#END_OF_COMMENTS\n2 1 255\n"), {0xE0, 0x1F}), 0,
     "XV visual schnauzer", 2, 1, 8, 0, 0, {{0xE0, 0x1F}}},
    // Refusals.
    {"maxval_zero", B("P2 1 1 0 0"), 10, nullptr, 0, 0, 0, 0, 0, {}},
    {"maxval_above_16_bits", B("P5 1 1 65536\n\1\1\1"), 10, nullptr, 0, 0, 0, 0, 0, {}},
    {"width_16000", B("P5 16000 1 255\n"), 9, nullptr, 0, 0, 0, 0, 0, {}},
    {"height_zero", B("P5 1 0 255\n"), 9, nullptr, 0, 0, 0, 0, 0, {}},
    // 4294967297 would be 1 once cut to 32 bits: numbers saturate instead.
    {"width_past_32_bits", B("P5 4294967297 1 255\n"), 9, nullptr, 0, 0, 0, 0, 0, {}},
    {"wrong_magic", B("P8 1 1 255\n"), 2, nullptr, 0, 0, 0, 0, 0, {}},
    {"not_pnm", B("GIF89a"), 2, nullptr, 0, 0, 0, 0, 0, {}},
    {"pam_header", B("P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nENDHDR\n\1"), 2, nullptr, 0, 0, 0, 0, 0, {}},
    {"letter_for_width", B("P5 x 1 255\n"), 2, nullptr, 0, 0, 0, 0, 0, {}},
};

class PnmRead : public ::testing::TestWithParam<PnmCase> {};

TEST_P(PnmRead, Decodes) {
    const PnmCase& c = GetParam();
    FakeLoad load;
    EXPECT_EQ(c.result, load.Run(ReadPnm, c.file));
    if (c.result == 9) {
        EXPECT_STREQ("Portable Bitmap : Bad picture's size !", load.ctx()->subFormat);
    }
    if (!c.description) {
        if (c.result != 10 || c.width == 0) {
            EXPECT_EQ(0, load.beginCalls);
        }
        return;
    }
    const ImageHeader& h = load.header;
    EXPECT_STREQ(c.description, h.description);
    EXPECT_EQ(c.width, h.width);
    EXPECT_EQ(c.height, h.height);
    EXPECT_EQ(1, h.planes);
    EXPECT_EQ(c.bitsPerPlane, h.bitsPerPlane);
    EXPECT_EQ(c.flags, h.flags & ~uint32_t(kHeaderGreyLevels));
    // Bitmaps and greymaps say their values are grey levels, XV thumbnails
    // give their palette, before the rows.
    const bool xv = std::strcmp(c.description, "XV visual schnauzer") == 0;
    EXPECT_EQ(c.bitsPerPlane <= 8 && !xv, (h.flags & kHeaderGreyLevels) != 0);
    EXPECT_EQ(xv, h.palette != nullptr);
    EXPECT_EQ(c.paletteLayout, load.paletteLayout);
    EXPECT_EQ(1, load.endCalls);
    EXPECT_FALSE(load.badAddress);
    for (size_t y = 0; y < c.rows.size(); ++y) EXPECT_EQ(c.rows[y], load.Row(int(y))) << "row " << y;
}

INSTANTIATE_TEST_SUITE_P(Table, PnmRead, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PnmRead, SideBelowLimitAccepted) {
    FakeLoad load;
    load.infoOnly = true;
    EXPECT_EQ(kLoadInfoStop, load.Run(ReadPnm, B("P5 15999 1 255\n")));
    EXPECT_EQ(15999, load.header.width);
    EXPECT_EQ(0, load.endCalls);
}

TEST(PnmRead, DeepSamplesDeclareTheFullDepth) {
    FakeLoad load;
    load.infoOnly = true;
    load.Run(ReadPnm, B("P6 3 2 1023\n"));
    EXPECT_EQ(3, load.header.fullWidth);
    EXPECT_EQ(2, load.header.fullHeight);
    EXPECT_EQ(18u, load.header.fullBytesPerPlane);
    EXPECT_EQ(10u, load.header.fullBitsPerSample);
    EXPECT_EQ(3u, load.header.fullComponents);
    FakeLoad eight;
    eight.infoOnly = true;
    eight.Run(ReadPnm, B("P5 3 2 255\n"));
    EXPECT_EQ(0, eight.header.fullWidth);
}

// A load that keeps deep samples gets them as native 16-bit words of the
// maxval's depth, stretched to its full range.
TEST(PnmRead, DeepSamplesKeptWhenAsked) {
    struct Case {
        const char* name;
        Bytes file;
        int components;
        int bits;
        std::vector<uint16_t> samples;
    } cases[] = {
        {"binary maxval 1000 to 10 bits", Cat(B("P5 3 1 1000\n"), {0x03, 0xE8, 0x01, 0xF4, 0x04, 0x00}), 1, 10,
         {1023, 511, 1023}},
        {"binary maxval 65535", Cat(B("P6 1 1 65535\n"), {0x12, 0x34, 0xAB, 0xCD, 0x00, 0x01}), 3, 16,
         {0x1234, 0xABCD, 0x0001}},
        {"plain maxval 4095", B("P2 2 1 4095 4095 291"), 1, 12, {4095, 291}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeLoad load;
        load.ctx()->options.flags = kLoadKeepDeepSamples;
        ASSERT_EQ(kLoadOk, load.Run(ReadPnm, c.file));
        EXPECT_EQ(c.components, load.header.components);
        EXPECT_EQ(c.bits, load.header.bitsPerPlane);
        EXPECT_EQ(0, load.header.fullWidth);
        Bytes want(c.samples.size() * 2);
        std::memcpy(want.data(), c.samples.data(), want.size());
        EXPECT_EQ(want, load.Row(0));
    }
}

TEST(PnmRead, XvThumbnailIsColourWithItsFirstComment) {
    FakeLoad load;
    load.ctx()->options.flags = kLoadKeepComment;
    ASSERT_EQ(kLoadOk, load.Run(ReadPnm, Cat(B("P7 332\n#XVVERSION:Version 2.28\n#IMGINFO:x\n2 1 255\n"), {0xE0, 0x1F})));
    ASSERT_NE(nullptr, load.ctx()->comment);
    EXPECT_STREQ("XVVERSION:Version 2.28\n", load.ctx()->comment);
    // A 3-3-2 palette: red bits 5-7, green 2-4, blue 0-1.
    ASSERT_EQ(256u * 3, load.palette.size());
    EXPECT_EQ((Bytes{255, 0, 0}), Bytes(&load.palette[3 * 0xE0], &load.palette[3 * 0xE0 + 3]));
    EXPECT_EQ((Bytes{0, 255, 255}), Bytes(&load.palette[3 * 0x1F], &load.palette[3 * 0x1F + 3]));
    EXPECT_EQ((Bytes{36, 72, 85}), Bytes(&load.palette[3 * 0x29], &load.palette[3 * 0x29 + 3]));
    EXPECT_EQ(8, load.paletteBits);
}

TEST(PnmRead, LongCommentIsCut) {
    FakeLoad load;
    load.ctx()->options.flags = kLoadKeepComment;
    const std::string text(700, 'c');
    ASSERT_EQ(kLoadOk, load.Run(ReadPnm, Cat(B("P5\n#" + text + "\n#second\n1 1 255\n"), {7})));
    ASSERT_NE(nullptr, load.ctx()->comment);
    EXPECT_EQ(511u, std::string(load.ctx()->comment).size());
}

TEST(PnmRead, CancelStopsAndEnds) {
    FakeLoad load;
    load.cancelAfterRows = 1;
    EXPECT_EQ(kLoadCancelled, load.Run(ReadPnm, Cat(B("P5 1 3 255\n"), {1, 2, 3})));
    EXPECT_EQ(1, load.RowsDelivered());
    EXPECT_EQ(1, load.endCalls);
}

TEST(PnmRead, EntryOpensTheSource) {
    FakeLoad load;
    EXPECT_EQ(kLoadOk, load.RunEntry(kReadPnm, Cat(B("P5 1 1 255\n"), {42})));
    EXPECT_EQ(42, load.Row(0)[0]);
}

// Every prefix of every accepted file: refused before the picture is begun
// (2, or 4 from the header) or ended with 4 after EndImage.
TEST(PnmTruncation, EveryPrefix) {
    for (const PnmCase& c : kCases) {
        if (c.result != 0) continue;
        for (size_t n = 0; n < c.file.size(); ++n) {
            SCOPED_TRACE(std::string(c.name) + " cut at " + std::to_string(n));
            FakeLoad load;
            const int r = load.Run(ReadPnm, Bytes(c.file.begin(), c.file.begin() + long(n)));
            if (load.beginCalls == 0) {
                EXPECT_TRUE(r == kLoadNotRecognised || r == kLoadIncomplete) << r;
            } else {
                // An ASCII file cut inside its last number still reads as whole.
                bool lastNumber = true;
                for (size_t i = n; i < c.file.size(); ++i)
                    lastNumber &= (c.file[i] >= '0' && c.file[i] <= '9') || c.file[i] == ' ' || c.file[i] == '\n';
                EXPECT_TRUE(r == kLoadIncomplete || (r == kLoadOk && lastNumber)) << r;
                EXPECT_EQ(1, load.endCalls);
            }
        }
    }
}

}  // namespace
