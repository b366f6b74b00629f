// The BMP reader and its DXT block decoder against hand-made files: what
// each header declares, the RLE opcodes, bit-field masks, DXT blocks, hostile
// sizes, cancel and truncation. Pixels decoded from files made by other tools
// are compared in oracle_test.cpp.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/load.h"
#include "imagelib/readers/bmp.h"
#include "imagelib/readers/readers.h"
#include "tests/readers/fakeload.h"
#include "tests/support/bytes.h"

namespace {

using testing_support::FakeLoad;
using Bytes = std::vector<uint8_t>;

int ReadBmpBody(PictureFile* f, LoadContext* ctx) { return ReadBmp(f, ctx, nullptr, 0); }

using testing_support::AppendLe16;
using testing_support::AppendLe32;

// A BMP with a Windows (40 bytes or more) or OS/2 (12 bytes) info header.
// `extra` (masks, palette) follows the info header; the data offset points
// right after it unless `dataOffset` is given.
struct BmpSpec {
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bits = 24;
    uint32_t compression = 0;
    uint32_t infoSize = 40;
    int32_t pelsPerMetre = 0;
    uint32_t coloursUsed = 0;
    Bytes extra;
    Bytes pixels;
    int64_t dataOffset = -1;
};

Bytes MakeBmp(const BmpSpec& s) {
    Bytes info;
    AppendLe32(info, s.infoSize);
    if (s.infoSize == 12) {
        AppendLe16(info, uint32_t(s.width));
        AppendLe16(info, uint32_t(s.height));
        AppendLe16(info, 1);
        AppendLe16(info, s.bits);
    } else {
        AppendLe32(info, uint32_t(s.width));
        AppendLe32(info, uint32_t(s.height));
        AppendLe16(info, 1);
        AppendLe16(info, s.bits);
        AppendLe32(info, s.compression);
        AppendLe32(info, uint32_t(s.pixels.size()));
        AppendLe32(info, uint32_t(s.pelsPerMetre));
        AppendLe32(info, uint32_t(s.pelsPerMetre));
        AppendLe32(info, s.coloursUsed);
        AppendLe32(info, 0);
        info.resize(s.infoSize, 0);
    }
    const uint32_t offset = s.dataOffset >= 0 ? uint32_t(s.dataOffset) : uint32_t(14 + info.size() + s.extra.size());
    Bytes b = {'B', 'M'};
    AppendLe32(b, uint32_t(offset + s.pixels.size()));
    AppendLe32(b, 0);
    AppendLe32(b, offset);
    b.insert(b.end(), info.begin(), info.end());
    b.insert(b.end(), s.extra.begin(), s.extra.end());
    b.resize(std::max<size_t>(b.size(), offset), 0);
    b.insert(b.end(), s.pixels.begin(), s.pixels.end());
    return b;
}

Bytes Masks(std::initializer_list<uint32_t> masks) {
    Bytes b;
    for (uint32_t m : masks) AppendLe32(b, m);
    return b;
}

// Palette of `n` B, G, R, 0 entries where entry i is (R=i, G=2i, B=3i) x 10.
Bytes Palette(int n, int entryBytes = 4) {
    Bytes b;
    for (int i = 0; i < n; ++i) {
        b.push_back(uint8_t(30 * i));
        b.push_back(uint8_t(20 * i));
        b.push_back(uint8_t(10 * i));
        if (entryBytes == 4) b.push_back(0);
    }
    return b;
}

// ---------------------------------------------------------------------------
// Declarations.

struct HeaderCase {
    const char* name;
    BmpSpec spec;
    int result;
    const char* description;
    int32_t width;
    int32_t height;
    uint16_t orientation;
    uint32_t flags;
    int bitsPerPlane;
    uint32_t bytesPerPlane;
    int32_t dpi;
};

BmpSpec Spec(int32_t w, int32_t h, uint16_t bits, uint32_t compression = 0, Bytes extra = {}, Bytes pixels = {}) {
    BmpSpec s;
    s.width = w;
    s.height = h;
    s.bits = bits;
    s.compression = compression;
    s.extra = std::move(extra);
    s.pixels = pixels.empty() ? Bytes(size_t(64) * 1024, 0) : std::move(pixels);
    return s;
}

BmpSpec Os2(int32_t w, int32_t h, uint16_t bits, Bytes extra) {
    BmpSpec s = Spec(w, h, bits, 0, std::move(extra));
    s.infoSize = 12;
    return s;
}

BmpSpec WithInfoSize(BmpSpec s, uint32_t size) {
    s.infoSize = size;
    return s;
}

BmpSpec WithResolution(BmpSpec s, int32_t ppm) {
    s.pelsPerMetre = ppm;
    return s;
}

BmpSpec WithDataOffset(BmpSpec s, int64_t offset) {
    s.dataOffset = offset;
    return s;
}

const HeaderCase kHeaderCases[] = {
    {"bottom_up_24", Spec(3, 2, 24), 0, "Windows Bitmap", 3, 2, 0x10, 0x8, 24, 9, 0},
    {"top_down_negative_height", Spec(3, -2, 24), 0, "Windows Bitmap", 3, 2, 0, 0x8, 24, 9, 0},
    {"negative_width_taken_positive", Spec(-3, 2, 24), 0, "Windows Bitmap", 3, 2, 0x10, 0x8, 24, 9, 0},
    {"os2_header", Os2(5, 2, 4, Palette(16, 3)), 0, "OS/2 Bitmap", 5, 2, 0x10, 0, 4, 4, 0},
    {"one_bit_row_padded", Spec(9, 1, 1, 0, Palette(2)), 0, "Windows Bitmap", 9, 1, 0x10, 0, 1, 4, 0},
    {"two_bit_pocket_pc", Spec(5, 1, 2, 0, Palette(4)), 0, "Windows Bitmap", 5, 1, 0x10, 0, 2, 4, 0},
    {"eight_bit", Spec(5, 1, 8, 0, Palette(256)), 0, "Windows Bitmap", 5, 1, 0x10, 0, 8, 8, 0},
    {"sixteen_bit_raw_is_555", Spec(3, 1, 16), 0, "Windows Bitmap", 3, 1, 0x10, 0x80, 16, 6, 0},
    {"masks_555", Spec(3, 1, 16, 3, Masks({0x7C00, 0x03E0, 0x001F})), 0, "Windows Bitmap", 3, 1, 0x10, 0x80, 16, 6, 0},
    {"masks_565", Spec(3, 1, 16, 3, Masks({0xF800, 0x07E0, 0x001F})), 0, "Windows Bitmap", 3, 1, 0x10, 0x100, 16, 6, 0},
    {"no_room_for_masks_uses_565", WithDataOffset(Spec(3, 1, 16, 3), 54), 0, "Windows Bitmap", 3, 1, 0x10, 0x100, 16, 6, 0},
    {"masks_4444_widened_to_bgr", Spec(3, 1, 16, 3, Masks({0x0F00, 0x00F0, 0x000F})), 0, "Windows Bitmap", 3, 1, 0x10, 0x8, 24, 9, 0},
    {"thirty_two_bit_raw", Spec(3, 1, 32), 0, "Windows Bitmap", 3, 1, 0x10, 0x2000020, 32, 12, 0},
    {"thirty_two_other_masks", Spec(3, 1, 32, 3, Masks({0xFF000000, 0xFF0000, 0xFF00})), 0, "Windows Bitmap", 3, 1, 0x10, 0x2000020, 32, 12, 0},
    {"v5_header", WithInfoSize(Spec(3, 1, 24), 124), 0, "Windows Bitmap", 3, 1, 0x10, 0x8, 24, 9, 0},
    {"resolution_2835_is_72_dpi", WithResolution(Spec(3, 1, 24), 2835), 0, "Windows Bitmap", 3, 1, 0x10, 0x8, 24, 9, 72},
    {"huge_resolution", WithResolution(Spec(3, 1, 24), INT_MAX), 0, "Windows Bitmap", 3, 1, 0x10, 0x8, 24, 9, 0},
    {"width_65535_accepted", Spec(65535, 1, 8, 0, Palette(256)), 0, "Windows Bitmap", 65535, 1, 0x10, 0, 8, 65536, 0},
    {"width_65536_refused", Spec(65536, 1, 24), 9, nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"width_65537_not_cut_to_1", Spec(65537, 1, 24), 9, nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"width_int_min", Spec(INT_MIN, 1, 24), 9, nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"height_int_min", Spec(1, INT_MIN, 24), 9, nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"height_zero", Spec(1, 0, 24), 9, nullptr, 0, 0, 0, 0, 0, 0, 0},
    // Depths outside the format's own: indexes of 3 to 14 bits one byte a
    // pixel, other true-colour depths as 16-bit words.
    {"bit_count_3_bytes", Spec(4, 1, 3), 0, "Windows Bitmap", 4, 1, 0x10, 0, 8, 4, 0},
    {"bit_count_14_bytes", Spec(5, 1, 14), 0, "Windows Bitmap", 5, 1, 0x10, 0, 8, 8, 0},
    {"bit_count_15_is_555", Spec(4, 1, 15), 0, "Windows Bitmap", 4, 1, 0x10, 0x80, 15, 8, 0},
    {"bit_count_15_masks_565", Spec(3, 1, 15, 3, Masks({0xF800, 0x07E0, 0x001F})), 0, "Windows Bitmap", 3, 1, 0x10, 0x100, 16, 6, 0},
    {"bit_count_20_words", Spec(4, 1, 20), 0, "Windows Bitmap", 4, 1, 0x10, 0x80, 16, 8, 0},
    {"bit_count_0", Spec(4, 1, 0), 2, nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"bit_count_33", Spec(4, 1, 33), 2, nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"bit_count_48", Spec(4, 1, 48), 2, nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"rle8_at_4_bits", Spec(4, 1, 4, 1), 2, nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"rle4_at_8_bits", Spec(4, 1, 8, 2), 2, nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"compression_jpeg", Spec(4, 1, 24, 4), 2, nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"info_header_20", WithInfoSize(Spec(4, 1, 24), 20), 2, nullptr, 0, 0, 0, 0, 0, 0, 0},
};

class BmpHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(BmpHeader, Declares) {
    const HeaderCase& c = GetParam();
    FakeLoad load;
    load.infoOnly = true;  // declarations only: no rows, no allocation
    const int r = load.Run(ReadBmpBody, MakeBmp(c.spec));
    if (c.result != 0) {
        EXPECT_EQ(c.result, r);
        EXPECT_EQ(0, load.beginCalls);
        if (c.result == 9) {
            EXPECT_STREQ("Windows Bitmap : Bad picture's size !", load.ctx()->subFormat);
        }
        return;
    }
    ASSERT_EQ(kLoadInfoStop, r);
    EXPECT_EQ(0, load.endCalls);
    const ImageHeader& h = load.header;
    EXPECT_STREQ(c.description, h.description);
    EXPECT_EQ(c.width, h.width);
    EXPECT_EQ(c.height, h.height);
    EXPECT_EQ(c.orientation, h.orientation);
    EXPECT_EQ(c.flags, h.flags);
    EXPECT_EQ(1, h.planes);
    EXPECT_EQ(c.bitsPerPlane, h.bitsPerPlane);
    EXPECT_EQ(c.bytesPerPlane, h.bytesPerPlane);
    EXPECT_EQ(c.dpi, h.xResolution);
    EXPECT_EQ(c.dpi, h.yResolution);
}

INSTANTIATE_TEST_SUITE_P(Table, BmpHeader, ::testing::ValuesIn(kHeaderCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A pixel is the bits of all planes together: planes x bits per plane,
// read as one plane of that depth; no pixel of 0 or more than 32 bits.
TEST(BmpHeader, PlanesMakeOnePixel) {
    struct Case {
        const char* name;
        uint8_t planes;
        uint8_t bits;
        int result;
    } cases[] = {
        {"2 planes of 4 bits", 2, 4, kLoadOk},
        {"8 planes of 1 bit", 8, 1, kLoadOk},
        {"no planes", 0, 8, kLoadNotRecognised},
        {"3 planes of 16 bits", 3, 16, kLoadNotRecognised},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeLoad load;
        BmpSpec s = Spec(4, 1, 8, 0, Palette(256));
        s.pixels = {7, 9, 200, 255};
        Bytes file = MakeBmp(s);
        file[26] = c.planes;
        file[28] = c.bits;
        ASSERT_EQ(c.result, load.Run(ReadBmpBody, file));
        if (c.result != kLoadOk) continue;
        EXPECT_EQ(1, load.header.planes);
        EXPECT_EQ(8, load.header.bitsPerPlane);
        EXPECT_EQ((Bytes{7, 9, 200, 255}), load.Row(0));
    }
}

TEST(BmpHeader, NotBmp) {
    FakeLoad load;
    EXPECT_EQ(kLoadNotRecognised, load.Run(ReadBmpBody, Bytes{'B', 'A', 0, 0}));
    EXPECT_EQ(kLoadNotRecognised, load.Run(ReadBmpBody, Bytes{'B'}));
}

// A tiny OS/2 picture is shorter than a Windows header: it must still load.
TEST(BmpRows, TinyOs2Picture) {
    BmpSpec s = Os2(2, 1, 1, {0, 0, 0, 255, 255, 255});
    s.pixels = {0x40, 0, 0, 0};
    const Bytes file = MakeBmp(s);
    ASSERT_LT(file.size(), 54u);
    FakeLoad load;
    ASSERT_EQ(kLoadOk, load.Run(ReadBmpBody, file));
    EXPECT_EQ(0x40, load.Row(0)[0]);
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 255, 255, 255}), Bytes(load.palette.begin(), load.palette.begin() + 6));
}

// ---------------------------------------------------------------------------
// Rows: raw indexed and true colour, with palettes and masks.

TEST(BmpRows, IndexedRowsAndPalette) {
    // 3x2 at 4 bits: rows padded to 4 bytes, delivered in file order.
    BmpSpec s = Spec(3, 2, 4, 0, Palette(16));
    s.pixels = {0x12, 0x30, 0xEE, 0xEE, 0x45, 0x60, 0xEE, 0xEE};
    FakeLoad load;
    ASSERT_EQ(kLoadOk, load.Run(ReadBmpBody, MakeBmp(s)));
    EXPECT_EQ(0x200, load.paletteLayout);
    EXPECT_EQ(8, load.paletteBits);
    ASSERT_EQ(16u * 3, load.palette.size());
    EXPECT_EQ(10 * 5, load.palette[3 * 5]);      // red of entry 5
    EXPECT_EQ(30 * 5, load.palette[3 * 5 + 2]);  // blue
    EXPECT_EQ(0x12, load.Row(0)[0]);
    EXPECT_EQ(0x45, load.Row(1)[0]);
    EXPECT_EQ(1, load.endCalls);
    EXPECT_FALSE(load.badAddress);
}

TEST(BmpRows, ColoursUsedLimitsPaletteAndDataOffsetWins) {
    // Two palette entries declared, then four junk bytes before the data.
    BmpSpec s = Spec(2, 1, 8, 0, Palette(2));
    s.coloursUsed = 2;
    s.extra.insert(s.extra.end(), {9, 9, 9, 9});
    s.pixels = {1, 0, 0, 0};
    FakeLoad load;
    ASSERT_EQ(kLoadOk, load.Run(ReadBmpBody, MakeBmp(s)));
    EXPECT_EQ(10, load.palette[3]);
    EXPECT_EQ(0, load.palette[6]);  // entry 2 not read
    EXPECT_EQ(1, load.Row(0)[0]);
}

TEST(BmpRows, MaskConversions) {
    struct Case {
        const char* name;
        uint16_t bits;
        Bytes masks;
        uint32_t pixel;
        uint8_t b, g, r, a;
    };
    const Case cases[] = {
        // 4-4-4 with alpha above: each field x 17.
        {"4444", 16, Masks({0x0F00, 0x00F0, 0x000F}), 0xF8A1, 0x11, 0xAA, 0x88, 0},
        // Red at the top of a 32-bit word, alpha in the low byte (56-byte header).
        {"rgba_order", 32, Masks({0xFF000000, 0xFF0000, 0xFF00, 0xFF}), 0x11223344, 0x33, 0x22, 0x11, 0x44},
        // 10-10-10: fields wider than 8 bits scale down.
        {"10_10_10", 32, Masks({0x3FF00000, 0xFFC00, 0x3FF}), (1023u << 20) | (512u << 10) | 0, 0, 127, 255, 0},
        // An empty colour mask reads 0 rather than failing.
        {"empty_green", 16, Masks({0xF800, 0, 0x1F}), 0xFFFF, 255, 0, 255, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BmpSpec s = Spec(1, 1, c.bits, 3);
        s.infoSize = c.masks.size() == 16 ? 56 : 40;
        if (s.infoSize == 56) {
            s.extra = {};
        } else {
            s.extra = c.masks;
        }
        Bytes px;
        if (c.bits == 16) {
            AppendLe16(px, c.pixel);
            AppendLe16(px, 0);
        } else {
            AppendLe32(px, c.pixel);
        }
        s.pixels = px;
        Bytes file = MakeBmp(s);
        if (s.infoSize == 56) std::memcpy(&file[14 + 40], c.masks.data(), 16);
        FakeLoad load;
        ASSERT_EQ(kLoadOk, load.Run(ReadBmpBody, file));
        const Bytes& row = load.Row(0);
        EXPECT_EQ(c.b, row[0]);
        EXPECT_EQ(c.g, row[1]);
        EXPECT_EQ(c.r, row[2]);
        if (c.bits == 32) {
            EXPECT_EQ(c.a, row[3]);
        }
    }
}

TEST(BmpRows, TrueColourRowsSkipPadding) {
    BmpSpec s = Spec(1, 2, 24);
    s.pixels = {1, 2, 3, 0xEE, 4, 5, 6, 0xEE};
    FakeLoad load;
    ASSERT_EQ(kLoadOk, load.Run(ReadBmpBody, MakeBmp(s)));
    EXPECT_EQ((Bytes{1, 2, 3}), load.Row(0));
    EXPECT_EQ((Bytes{4, 5, 6}), load.Row(1));
    EXPECT_EQ(0, load.paletteLayout);
    EXPECT_TRUE(load.palette.empty());
}

TEST(BmpRows, LastRowWithoutPaddingIsWhole) {
    BmpSpec s = Spec(1, 2, 24);
    s.pixels = {1, 2, 3, 0xEE, 4, 5, 6};
    FakeLoad load;
    EXPECT_EQ(kLoadOk, load.Run(ReadBmpBody, MakeBmp(s)));
    EXPECT_EQ(2, load.RowsDelivered());
}

TEST(BmpRows, BaseOffsetMovesEverySeek) {
    BmpSpec s = Spec(2, 1, 8, 0, Palette(2));
    s.coloursUsed = 2;
    s.pixels = {1, 0, 0, 0};
    Bytes file = {0xAA, 0xBB, 0xCC};
    const Bytes bmp = MakeBmp(s);
    file.insert(file.end(), bmp.begin(), bmp.end());
    FakeLoad load;
    const int r = load.Run(
        [](PictureFile* f, LoadContext* ctx) {
            SeekPictureFile(f, 3, SEEK_SET);
            return ReadBmp(f, ctx, "Embedded", 3);
        },
        file);
    ASSERT_EQ(kLoadOk, r);
    EXPECT_STREQ("Embedded", load.header.description);
    EXPECT_EQ(1, load.Row(0)[0]);
    EXPECT_EQ(10, load.palette[3]);
}

TEST(BmpRows, CancelStopsAndEnds) {
    BmpSpec s = Spec(1, 5, 24);
    s.pixels.assign(20, 7);
    FakeLoad load;
    load.cancelAfterRows = 2;
    EXPECT_EQ(kLoadCancelled, load.Run(ReadBmpBody, MakeBmp(s)));
    EXPECT_EQ(2, load.RowsDelivered());
    EXPECT_EQ(1, load.endCalls);
}

TEST(BmpRows, EntryOpensTheSource) {
    BmpSpec s = Spec(1, 1, 24);
    s.pixels = {1, 2, 3, 0};
    FakeLoad load;
    EXPECT_EQ(kLoadOk, load.RunEntry(kReadBmp, MakeBmp(s)));
    EXPECT_EQ((Bytes{1, 2, 3}), load.Row(0));
}

// ---------------------------------------------------------------------------
// RLE8 and RLE4.

BmpSpec Rle(int32_t w, int32_t h, int bits, Bytes codes) {
    BmpSpec s = Spec(w, h, uint16_t(bits), bits == 8 ? 1 : 2, Palette(bits == 8 ? 256 : 16));
    s.pixels = std::move(codes);
    return s;
}

struct RleCase {
    const char* name;
    int bits;
    int32_t width;
    int32_t height;
    Bytes codes;
    int result;
    std::vector<Bytes> rows;  // expected row bytes (first width-worth of bytes), bottom-up
    int delivered;
};

const RleCase kRleCases[] = {
    {"rle8_runs_and_absolute", 8, 4, 2, {2, 5, 0, 3, 6, 7, 8, 0, 0, 0, 4, 9, 0, 1}, 0, {{5, 5, 6, 7}, {9, 9, 9, 9}}, 2},
    {"rle8_run_clipped_at_row_end", 8, 3, 1, {200, 4, 0, 1}, 0, {{4, 4, 4}}, 1},
    {"rle8_delta_moves_right_and_down", 8, 3, 3, {1, 1, 0, 2, 1, 2, 1, 2, 0, 1}, 0, {{1, 0, 0}, {0, 0, 0}, {0, 0, 2}}, 3},
    {"rle8_end_of_bitmap_after_one_row", 8, 2, 3, {2, 1, 0, 0, 1, 2, 0, 1}, 0, {{1, 1}, {2, 0}, {0, 0}}, 2},
    {"rle8_eol_rows_start_cleared", 8, 3, 2, {3, 1, 0, 0, 1, 2, 0, 0}, 0, {{1, 1, 1}, {2, 0, 0}}, 2},
    {"rle8_eof_at_opcode", 8, 2, 2, {2, 1, 0, 0}, 4, {{1, 1}, {0, 0}}, 1},
    {"rle8_eof_in_absolute_run", 8, 4, 1, {0, 4, 1, 2}, 4, {{0, 0, 0, 0}}, 0},
    {"rle8_eof_in_delta", 8, 4, 2, {0, 2, 1}, 4, {{0, 0, 0, 0}, {0, 0, 0, 0}}, 0},
    {"rle4_run_at_odd_position", 4, 5, 1, {1, 0x70, 3, 0x12, 0, 1}, 0, {{0x71, 0x21}}, 1},
    {"rle4_absolute_odd_count_padded", 4, 4, 1, {0, 3, 0x12, 0x30, 1, 0x90, 0, 1}, 0, {{0x12, 0x39}}, 1},
    {"rle4_absolute_one_pixel_padded", 4, 4, 1, {0, 5, 0x12, 0x34, 0x50, 0, 0, 1}, 0, {{0x12, 0x34}}, 1},
    {"rle4_end_of_bitmap_ends_cleanly", 4, 2, 3, {2, 0x12, 0, 1}, 0, {{0x12}, {0}, {0}}, 1},
    {"rle4_rows_start_cleared", 4, 4, 2, {4, 0x11, 0, 0, 1, 0x20, 0, 0}, 0, {{0x11, 0x11}, {0x20, 0}}, 2},
    {"rle4_delta_moves", 4, 4, 2, {1, 0x10, 0, 2, 2, 1, 1, 0x30, 0, 1}, 0, {{0x10, 0}, {0, 0x03}}, 2},
    {"rle4_eof_inside_row", 4, 4, 2, {4, 0x11}, 4, {{0, 0}, {0, 0}}, 0},
};

class BmpRle : public ::testing::TestWithParam<RleCase> {};

TEST_P(BmpRle, Decodes) {
    const RleCase& c = GetParam();
    FakeLoad load;
    EXPECT_EQ(c.result, load.Run(ReadBmpBody, MakeBmp(Rle(c.width, c.height, c.bits, c.codes))));
    EXPECT_EQ(1, load.endCalls);
    EXPECT_FALSE(load.badAddress);
    EXPECT_EQ(1, load.header.compression);
    EXPECT_EQ(c.delivered, load.RowsDelivered());
    for (size_t y = 0; y < c.rows.size(); ++y) {
        const Bytes& want = c.rows[y];
        const Bytes& got = load.Row(int(y));
        EXPECT_EQ(want, Bytes(got.begin(), got.begin() + long(want.size()))) << "row " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, BmpRle, ::testing::ValuesIn(kRleCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// DXT payloads.

// A 565 colour block: two colours and sixteen 2-bit indexes.
Bytes ColourBlock(uint16_t c0, uint16_t c1, uint32_t indexes) {
    Bytes b;
    AppendLe16(b, c0);
    AppendLe16(b, c1);
    AppendLe32(b, indexes);
    return b;
}

BmpSpec Dxt(int32_t w, int32_t h, uint32_t fourCc, Bytes blocks) {
    BmpSpec s = Spec(w, h, 32, fourCc);
    s.pixels = std::move(blocks);
    return s;
}

// R, G, B, A of pixel (x, y) of the delivered picture (row y as delivered).
Bytes Pixel(const FakeLoad& load, int x, int y) {
    const Bytes& row = load.Row(y);
    return Bytes(row.begin() + 4 * x, row.begin() + 4 * x + 4);
}

TEST(BmpDxt, Dxt1FourColourBlock) {
    // c0 = pure red (0xF800) > c1 = pure blue (0x001F); indexes 0,1,2,3 in row 0.
    FakeLoad load;
    ASSERT_EQ(kLoadOk, load.Run(ReadBmpBody, MakeBmp(Dxt(4, 4, kFourCcDxt1, ColourBlock(0xF800, 0x001F, 0xE4)))));
    EXPECT_STREQ("Windows Bitmap (DXT)", load.header.description);
    EXPECT_EQ(0x10, load.header.orientation);
    EXPECT_EQ(32, load.header.bitsPerPlane);
    EXPECT_EQ(4, load.header.rowsPerCall);
    EXPECT_EQ(16u, load.header.bytesPerPlane);
    EXPECT_EQ((Bytes{248, 0, 0, 255}), Pixel(load, 0, 0));
    EXPECT_EQ((Bytes{0, 0, 248, 255}), Pixel(load, 1, 0));
    EXPECT_EQ((Bytes{165, 0, 83, 255}), Pixel(load, 2, 0));  // (2 x 248 + 0 + 1) / 3
    EXPECT_EQ((Bytes{83, 0, 165, 255}), Pixel(load, 3, 0));
    EXPECT_EQ((Bytes{248, 0, 0, 255}), Pixel(load, 0, 3));
}

TEST(BmpDxt, Dxt1ThreeColourBlock) {
    // c0 == c1 (white, 0xFFFF -> 248, 252, 248): index 3 is the third blend with alpha 0.
    FakeLoad load;
    ASSERT_EQ(kLoadOk, load.Run(ReadBmpBody, MakeBmp(Dxt(4, 4, kFourCcDxt1, ColourBlock(0xFFFF, 0xFFFF, 0xE4)))));
    EXPECT_EQ((Bytes{248, 252, 248, 255}), Pixel(load, 0, 0));
    EXPECT_EQ((Bytes{248, 252, 248, 255}), Pixel(load, 2, 0));
    EXPECT_EQ((Bytes{248, 252, 248, 0}), Pixel(load, 3, 0));
    // c0 < c1: entry 2 is the plain average.
    FakeLoad load2;
    ASSERT_EQ(kLoadOk, load2.Run(ReadBmpBody, MakeBmp(Dxt(4, 4, kFourCcDxt1, ColourBlock(0x001F, 0xF800, 0x8)))));
    EXPECT_EQ((Bytes{124, 0, 124, 255}), Pixel(load2, 1, 0));
}

TEST(BmpDxt, Dxt3ExplicitAlpha) {
    Bytes block = {0xF8, 0x00, 0, 0, 0, 0, 0, 0};  // row 0: alphas 8, 15, 0, 0
    const Bytes colour = ColourBlock(0xFFFF, 0, 0);
    block.insert(block.end(), colour.begin(), colour.end());
    FakeLoad load;
    ASSERT_EQ(kLoadOk, load.Run(ReadBmpBody, MakeBmp(Dxt(4, 4, kFourCcDxt3, block))));
    EXPECT_EQ((Bytes{248, 252, 248, 136}), Pixel(load, 0, 0));
    EXPECT_EQ(255, Pixel(load, 1, 0)[3]);
    EXPECT_EQ(0, Pixel(load, 2, 0)[3]);
}

TEST(BmpDxt, Dxt5FiveStepAlpha) {
    // a0 = 0 <= a1 = 255: entries 2..5 interpolate, 6 = 0, 7 = 255.
    // Row 0 indexes 2, 5, 6, 7 (3 bits each, low first): 0b111'110'101'010.
    const uint32_t bits = 2 | 5 << 3 | 6 << 6 | 7 << 9;
    Bytes block = {0, 255, uint8_t(bits), uint8_t(bits >> 8), 0, 0, 0, 0};
    const Bytes colour = ColourBlock(0, 0, 0);
    block.insert(block.end(), colour.begin(), colour.end());
    FakeLoad load;
    ASSERT_EQ(kLoadOk, load.Run(ReadBmpBody, MakeBmp(Dxt(4, 4, kFourCcDxt5, block))));
    EXPECT_EQ(51, Pixel(load, 0, 0)[3]);   // (4 x 0 + 1 x 255 + 2) / 5
    EXPECT_EQ(204, Pixel(load, 1, 0)[3]);  // (1 x 0 + 4 x 255 + 2) / 5
    EXPECT_EQ(0, Pixel(load, 2, 0)[3]);
    EXPECT_EQ(255, Pixel(load, 3, 0)[3]);
    EXPECT_EQ(0, Pixel(load, 0, 1)[3]);    // index 0 = a0
}

TEST(BmpDxt, PartialBlocksAndStrips) {
    // 6 x 5: two blocks per block row, the second cut to two columns; two
    // strips, the second of one row.
    Bytes blocks;
    for (uint16_t c : {0xF800, 0x07E0, 0x001F, 0xFFFF}) {
        const Bytes b = ColourBlock(c, c, 0);
        blocks.insert(blocks.end(), b.begin(), b.end());
    }
    FakeLoad load;
    ASSERT_EQ(kLoadOk, load.Run(ReadBmpBody, MakeBmp(Dxt(6, 5, kFourCcDxt1, blocks))));
    ASSERT_EQ(2u, load.deliveries.size());
    EXPECT_EQ(4, load.deliveries[0].rowCount);
    EXPECT_EQ(4, load.deliveries[1].firstRow);
    EXPECT_EQ(1, load.deliveries[1].rowCount);
    EXPECT_FALSE(load.badAddress);
    EXPECT_EQ((Bytes{0, 252, 0, 255}), Pixel(load, 5, 3));
    EXPECT_EQ((Bytes{248, 252, 248, 255}), Pixel(load, 4, 4));
}

TEST(BmpDxt, ReadFromDataOffset) {
    BmpSpec s = Dxt(4, 4, kFourCcDxt1, ColourBlock(0x07E0, 0x07E0, 0));
    s.extra.assign(28, 0xFF);  // junk at 74, where a fixed offset would look
    FakeLoad load;
    ASSERT_EQ(kLoadOk, load.Run(ReadBmpBody, MakeBmp(s)));
    EXPECT_EQ((Bytes{0, 252, 0, 255}), Pixel(load, 0, 0));
}

TEST(BmpDxt, ShortPayloadIsIncomplete) {
    // 8 x 8 DXT1 needs four blocks; one and a half are there. Strictly that
    // is 4 before the picture is declared; damaged files accepted, the
    // first block row arrives.
    Bytes blocks = ColourBlock(0xF800, 0xF800, 0);
    blocks.insert(blocks.end(), {1, 2, 3, 4});
    FakeLoad strict;
    EXPECT_EQ(kLoadIncomplete, strict.Run(ReadBmpBody, MakeBmp(Dxt(8, 8, kFourCcDxt1, blocks))));
    EXPECT_EQ(0, strict.beginCalls);
    FakeLoad load;
    load.ctx()->options.flags = kLoadAcceptDamaged;
    EXPECT_EQ(kLoadIncomplete, load.Run(ReadBmpBody, MakeBmp(Dxt(8, 8, kFourCcDxt1, blocks))));
    EXPECT_EQ(1, load.endCalls);
    EXPECT_EQ(4, load.RowsDelivered());
    EXPECT_EQ((Bytes{248, 0, 0, 255}), Pixel(load, 0, 0));
    EXPECT_EQ((Bytes{0, 0, 0, 0}), Pixel(load, 4, 0));  // the cut block stays blank
}

TEST(BmpDxt, HugeSidesWithTinyPayload) {
    // 65535 x 65535 DXT5 claims 4 GiB of blocks: read one block row, stop.
    FakeLoad load;
    load.infoOnly = true;
    EXPECT_EQ(kLoadInfoStop, load.Run(ReadBmpBody, MakeBmp(Dxt(65535, 65535, kFourCcDxt5, Bytes(16, 0)))));
    EXPECT_EQ(65535, load.header.width);
    // Loaded, it ends with 4 before anything is allocated for the rows.
    FakeLoad sized;
    EXPECT_EQ(kLoadIncomplete, sized.Run(ReadBmpBody, MakeBmp(Dxt(65535, 8, kFourCcDxt5, Bytes(16, 0)))));
    EXPECT_EQ(0, sized.beginCalls);
}

// Through the whole load: bottom-up strips land flipped, alpha is kept.
TEST(BmpDxt, LoadsAsRgba) {
    Bytes block = {0xF8, 0, 0, 0, 0, 0, 0, 0};
    const Bytes colour = ColourBlock(0xF800, 0, 0);
    block.insert(block.end(), colour.begin(), colour.end());
    const Bytes file = MakeBmp(Dxt(4, 4, kFourCcDxt3, block));
    LoadOptions options;
    InitLoadOptions(&options);
    Bitmap b{};
    ImageInfo info;
    ASSERT_EQ(kLoadOk, LoadPictureFromMemory(file.data(), file.size(), L"t.bmp", &b, &options, &info));
    EXPECT_STREQ("Windows Bitmap (DXT)", info.description);
    ASSERT_EQ(kPixelRGBA, b.pixelType);
    const uint8_t* bottom = b.pixels + 3 * size_t(b.bytesPerRow);
    EXPECT_EQ((Bytes{248, 0, 0, 136, 248, 0, 0, 255}), Bytes(bottom, bottom + 8));
    EXPECT_EQ(0, b.pixels[3]);  // top row: alpha nibbles 0
    FreeBitmap(&b);
    FreePictureInfo(&info);
}

// ---------------------------------------------------------------------------
// Truncation: every prefix of every small file either is not taken (2 or 4
// before the picture was begun) or ends with 4 after EndImage; never a crash.

TEST(BmpTruncation, EveryPrefix) {
    std::vector<Bytes> files;
    for (const RleCase& c : kRleCases) files.push_back(MakeBmp(Rle(c.width, c.height, c.bits, c.codes)));
    BmpSpec raw = Spec(3, 3, 4, 0, Palette(16));
    raw.pixels.assign(12, 0x21);
    files.push_back(MakeBmp(raw));
    BmpSpec os2 = Os2(3, 3, 8, Palette(256, 3));
    os2.pixels.assign(12, 5);
    files.push_back(MakeBmp(os2));
    for (uint16_t bits : {16, 24, 32}) {
        BmpSpec s = Spec(3, 3, bits, bits == 24 ? 0 : 3, bits == 24 ? Bytes{} : Masks({0xF00, 0xF0, 0xF}));
        s.pixels.assign(size_t(3) * ((3 * bits / 8 + 3) / 4 * 4), 0x5A);
        files.push_back(MakeBmp(s));
    }
    files.push_back(MakeBmp(Dxt(8, 8, kFourCcDxt3, Bytes(64, 0x11))));
    for (size_t f = 0; f < files.size(); ++f) {
        const Bytes& full = files[f];
        FakeLoad whole;
        const int fullResult = whole.Run(ReadBmpBody, full);
        for (size_t n = 0; n < full.size(); ++n) {
            SCOPED_TRACE("file " + std::to_string(f) + " cut at " + std::to_string(n));
            FakeLoad load;
            const int r = load.Run(ReadBmpBody, Bytes(full.begin(), full.begin() + long(n)));
            if (load.beginCalls == 0) {
                EXPECT_TRUE(r == kLoadNotRecognised || r == kLoadIncomplete) << r;
            } else {
                // A file whose tail holds nothing the reader needs (an RLE
                // end of bitmap, the last row's padding) may still load.
                EXPECT_TRUE(r == kLoadIncomplete || r == fullResult) << r;
                EXPECT_EQ(1, load.endCalls);
            }
            EXPECT_FALSE(load.badAddress);
        }
    }
}

}  // namespace
