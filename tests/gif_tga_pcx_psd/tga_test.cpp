// The Targa reader on hand-made files: header checks, colour maps, 1-bit
// run-length rows, packets across rows, cut files on every path.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/gif_tga_pcx_psd/readertest.h"

namespace {

using readertest::Bytes;
using readertest::Load;

struct TgaHeader {
    uint8_t idLength = 0;
    uint8_t mapType = 0;
    uint8_t imageType = 2;
    uint16_t firstEntry = 0;
    uint16_t mapLength = 0;
    uint8_t entrySize = 0;
    uint16_t width = 1;
    uint16_t height = 1;
    uint8_t depth = 24;
    uint8_t descriptor = 0x20;  // top-down, so rows read as written

    Bytes Build() const {
        Bytes b = {idLength, mapType, imageType};
        testing_support::AppendLe16(b, firstEntry);
        testing_support::AppendLe16(b, mapLength);
        b.push_back(entrySize);
        b.insert(b.end(), 4, 0);  // origin
        testing_support::AppendLe16(b, width);
        testing_support::AppendLe16(b, height);
        b.push_back(depth);
        b.push_back(descriptor);
        return b;
    }
};

TEST(TgaTest, HeaderFieldsOutsideTheAcceptedValuesAreRefused) {
    struct Case {
        const char* name;
        void (*change)(TgaHeader*);
    } cases[] = {
        {"colour map type 2", [](TgaHeader* h) { h->mapType = 2; }},
        {"image type 4", [](TgaHeader* h) { h->imageType = 4; }},
        {"map without entries", [](TgaHeader* h) { h->mapType = 1, h->entrySize = 24; }},
        {"map entries of no size", [](TgaHeader* h) { h->mapType = 1, h->mapLength = 2; }},
        {"16-bit map entries", [](TgaHeader* h) { h->mapType = 1, h->mapLength = 2, h->entrySize = 16; }},
        {"width 15001", [](TgaHeader* h) { h->width = 15001; }},
        {"depth 12", [](TgaHeader* h) { h->depth = 12; }},
        {"map of 257 entries", [](TgaHeader* h) { h->mapType = 1, h->mapLength = 257, h->entrySize = 24; }},
        {"first entry past the map",
         [](TgaHeader* h) { h->mapType = 1, h->mapLength = 2, h->firstEntry = 3, h->entrySize = 24; }},
        {"zero width", [](TgaHeader* h) { h->width = 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TgaHeader h;
        c.change(&h);
        Load load(readertest::FileOf(h, Bytes(4000, 0x11)), L"x.tga");
        EXPECT_EQ(kLoadNotRecognised, load.result);
    }
    TgaHeader wide;
    wide.width = 15000;
    Load load(readertest::FileOf(wide, Bytes(45000, 0x11)), L"x.tga");
    EXPECT_EQ(kLoadOk, load.result);
    // A header cut before its descriptor byte.
    EXPECT_EQ(kLoadNotRecognised, Load(readertest::Cut(TgaHeader().Build(), 17), L"x.tga").result);
}

// Colour map entries go to the palette from the first entry index on, in
// B, G, R order; 32-bit entries lose their fourth byte.
TEST(TgaTest, ColourMapFromItsFirstEntryIndex) {
    for (uint8_t entrySize : {24, 32}) {
        SCOPED_TRACE(entrySize);
        TgaHeader h;
        h.mapType = 1;
        h.imageType = 1;
        h.firstEntry = 2;
        h.mapLength = 4;
        h.entrySize = entrySize;
        h.width = 6;
        h.depth = 8;
        Bytes rest;
        for (uint8_t i = 0; i < 4; ++i) {
            rest.insert(rest.end(), {uint8_t(10 + i), uint8_t(20 + i), uint8_t(30 + i)});  // B, G, R
            if (entrySize == 32) rest.push_back(0x99);
        }
        readertest::Append(&rest, {0, 1, 2, 3, 4, 5});
        Load load(readertest::FileOf(h, rest), L"x.tga", Load::Options(kLoadLowDepthAsColour));
        ASSERT_EQ(kLoadOk, load.result);
        const std::vector<uint8_t> want = {0,  0,  0,  255, 0,  0,  0,  255, 30, 20, 10, 255,
                                           31, 21, 11, 255, 32, 22, 12, 255, 33, 23, 13, 255};
        EXPECT_EQ(want, load.Rgba().px);
    }
}

// A true-colour picture that carries a colour map skips it.
TEST(TgaTest, TrueColourSkipsItsColourMap) {
    TgaHeader h;
    h.mapType = 1;
    h.mapLength = 3;
    h.entrySize = 24;
    h.width = 2;
    Bytes rest(9, 0xEE);
    readertest::Append(&rest, {1, 2, 3, 4, 5, 6});
    Load load(readertest::FileOf(h, rest), L"x.tga");
    ASSERT_EQ(kLoadOk, load.result);
    EXPECT_EQ((std::vector<uint8_t>{3, 2, 1, 255, 6, 5, 4, 255}), load.Rgba().px);
}

// Packed rows of a 1-bit picture, run-length coded byte by byte, read as
// the same picture as their raw form: a row ends after width bits, and
// packets run on into the next row.
TEST(TgaTest, OneBitRunLengthRowsEndAfterWidthBits) {
    TgaHeader h;
    h.imageType = 3;
    h.depth = 1;
    h.width = 13;
    h.height = 3;
    const Bytes rows = {0xF0, 0x08, 0xFF, 0xF8, 0x81, 0x00};  // two bytes a row
    Load raw(readertest::FileOf(h, rows), L"x.tga");
    ASSERT_EQ(kLoadOk, raw.result);
    ASSERT_EQ(kPixelBilevel, raw.bitmap.pixelType);

    h.imageType = 11;
    // A raw packet of three bytes (into the second row), a run of the
    // second row's last byte, a raw packet of the rest.
    const Bytes packets = {0x02, 0xF0, 0x08, 0xFF, 0x80, 0xF8, 0x01, 0x81, 0x00};
    Load rle(readertest::FileOf(h, packets), L"x.tga");
    ASSERT_EQ(kLoadOk, rle.result);
    EXPECT_EQ(raw.Rgba().px, rle.Rgba().px);
    const std::vector<uint8_t> px = rle.Rgba().px;
    EXPECT_EQ(255, px[4 * 12]);          // pixel 12 of row 0: in 0x08
    EXPECT_EQ(255, px[4 * (13 + 12)]);   // of row 1: in 0xF8
    EXPECT_EQ(0, px[4 * (26 + 8)]);      // row 2 starts 0x81 0x00
    EXPECT_EQ(255, px[4 * (26 + 7)]);
}

// Run and raw packets of every pixel size cross row ends; each decodes to
// the picture its raw twin holds.
TEST(TgaTest, PacketsRunAcrossRows) {
    for (uint8_t depth : {8, 16, 24, 32}) {
        SCOPED_TRACE(int(depth));
        const size_t p = depth == 8 ? 1 : depth == 16 ? 2 : depth / 8;
        TgaHeader h;
        h.width = 3;
        h.height = 3;
        h.depth = depth;
        h.imageType = depth == 8 ? 3 : 2;
        Bytes raw, rle;
        auto pixel = [&](int i) {
            Bytes v;
            for (size_t k = 0; k < p; ++k) v.push_back(uint8_t(17 * i + 3 * int(k) + 1));
            return v;
        };
        // Pixels 0..8: a run of 4 (A), a raw packet of 3, a run of 2 (B).
        std::vector<int> ids = {0, 0, 0, 0, 1, 2, 3, 4, 4};
        for (int id : ids) readertest::Append(&raw, pixel(id));
        rle.push_back(0x83);
        readertest::Append(&rle, pixel(0));
        rle.push_back(0x02);
        for (int id : {1, 2, 3}) readertest::Append(&rle, pixel(id));
        rle.push_back(0x81);
        readertest::Append(&rle, pixel(4));
        Load plain(readertest::FileOf(h, raw), L"x.tga");
        h.imageType = uint8_t(h.imageType + 8);
        const Bytes file = readertest::FileOf(h, rle);
        Load packed(file, L"x.tga");
        ASSERT_EQ(kLoadOk, plain.result);
        ASSERT_EQ(kLoadOk, packed.result);
        EXPECT_EQ(plain.Rgba().px, packed.Rgba().px);
        char description[64];
        std::snprintf(description, sizeof description, "Truevision TARGA (Type %d)", h.imageType);
        EXPECT_STREQ(description, packed.info.description);

        // Cut inside every packet: a header, a run value, raw pixels.
        for (size_t n = 18; n < file.size(); ++n) {
            SCOPED_TRACE(n);
            EXPECT_EQ(kLoadIncomplete, Load(readertest::Cut(file, n), L"x.tga").result);
        }
    }
}

// Rows stored bottom-up unless the descriptor says top-down; the image ID
// is the comment when comments are kept.
TEST(TgaTest, RowOrderAndImageId) {
    TgaHeader h;
    h.idLength = 5;
    h.imageType = 3;
    h.depth = 8;
    h.width = 2;
    h.height = 2;
    Bytes rest = {'h', 'e', 'l', 'l', 'o', 10, 20, 30, 40};
    Load top(readertest::FileOf(h, rest), L"x.tga", Load::Options(kLoadKeepComment));
    ASSERT_EQ(kLoadOk, top.result);
    EXPECT_EQ((std::vector<uint8_t>{10, 10, 10, 255, 20, 20, 20, 255, 30, 30, 30, 255, 40, 40, 40, 255}),
              top.Rgba().px);
    ASSERT_NE(nullptr, top.bitmap.comment);
    EXPECT_STREQ("hello", top.bitmap.comment);

    h.descriptor = 0;
    Load bottom(readertest::FileOf(h, rest), L"x.tga");
    ASSERT_EQ(kLoadOk, bottom.result);
    EXPECT_EQ((std::vector<uint8_t>{30, 30, 30, 255, 40, 40, 40, 255, 10, 10, 10, 255, 20, 20, 20, 255}),
              bottom.Rgba().px);
    EXPECT_EQ(nullptr, bottom.bitmap.comment);
}

// Uncompressed rows cut short end with 4 at every depth, the 15/16-bit ones
// included; the rows before the cut stay when damaged files are accepted.
TEST(TgaTest, ShortRawRowsEndWithIncomplete) {
    for (uint8_t depth : {1, 8, 15, 16, 24, 32}) {
        SCOPED_TRACE(int(depth));
        TgaHeader h;
        h.imageType = depth == 1 || depth == 8 ? 3 : 2;
        h.depth = depth;
        h.width = 9;
        h.height = 4;
        const size_t rowBytes = depth == 1 ? 2 : 9 * size_t((depth + 7) / 8);
        Bytes rows(rowBytes * 4, 0xFF);
        const Bytes file = readertest::FileOf(h, rows);
        ASSERT_EQ(kLoadOk, Load(file, L"x.tga").result);
        const Bytes cut = readertest::Cut(file, file.size() - rowBytes - 1);
        EXPECT_EQ(kLoadIncomplete, Load(cut, L"x.tga").result);
        Load damaged(cut, L"x.tga", Load::Options(kLoadAcceptDamaged));
        ASSERT_EQ(kLoadOk, damaged.result);
        const std::vector<uint8_t> px = damaged.Rgba().px;
        EXPECT_EQ(255, px[4 * (9 + 8)]);      // row 1 read
        EXPECT_EQ(0, px[4 * (27 + 8)]);       // row 3 not
    }
}

// A colour map or image ID that the file does not hold.
TEST(TgaTest, CutBeforeThePixels) {
    TgaHeader h;
    h.mapType = 1;
    h.imageType = 1;
    h.mapLength = 100;
    h.entrySize = 24;
    h.depth = 8;
    EXPECT_EQ(kLoadIncomplete, Load(readertest::FileOf(h, Bytes(50, 1)), L"x.tga").result);
    TgaHeader id;
    id.idLength = 200;
    Load cutId(readertest::FileOf(id, Bytes(20, 1)), L"x.tga", Load::Options(kLoadKeepComment));
    EXPECT_EQ(kLoadIncomplete, cutId.result);
}

}  // namespace
