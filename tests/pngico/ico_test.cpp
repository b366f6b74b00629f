// The icon reader on hand-made icons: the choice of entry, the accepted bit
// counts, 16- and 32-bit rows, the mask standing in for an empty alpha
// channel, PNG entries, and refusals.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "pngico_support.h"
#include "tests/support/missingoracle.h"

namespace {

using namespace pngico;

// An icon whose directory is `dirEntries` (width, height, bit count) and whose
// every entry i is a 1 x 1 24-bit image of width i + 1, so the loaded width
// tells which entry was read.
Bytes IconOfEntries(const std::vector<std::array<int, 3>>& dirEntries) {
    Bytes dir, images;
    AppendLe16(dir, 0);
    AppendLe16(dir, 1);
    AppendLe16(dir, uint32_t(dirEntries.size()));
    const uint32_t base = 6 + 16 * uint32_t(dirEntries.size());
    for (size_t i = 0; i < dirEntries.size(); ++i) {
        const int32_t w = int32_t(i) + 1;
        Bytes dib = BitmapHeader(w, 2, 24);
        dib.resize(dib.size() + (size_t(w) * 3 + 3) / 4 * 4 + 4, 0x40);  // one colour row, one mask row
        dir.push_back(uint8_t(dirEntries[i][0]));
        dir.push_back(uint8_t(dirEntries[i][1]));
        dir.push_back(0);
        dir.push_back(0);
        AppendLe16(dir, 1);
        AppendLe16(dir, uint32_t(dirEntries[i][2]));
        AppendLe32(dir, uint32_t(dib.size()));
        AppendLe32(dir, base + uint32_t(images.size()));
        images.insert(images.end(), dib.begin(), dib.end());
    }
    dir.insert(dir.end(), images.begin(), images.end());
    return dir;
}

TEST(IconChoice, RichestEntryOrTheWantedOne) {
    struct Case {
        const char* what;
        std::vector<std::array<int, 3>> entries;
        uint8_t chooseBest;
        uint32_t index;
        int result;
        int loadedEntry;
    } cases[] = {
        {"fewer bits do not replace, more of everything does", {{32, 32, 8}, {48, 48, 4}, {32, 32, 32}}, 1, 0, 0, 2},
        {"among equals the last wins", {{16, 16, 8}, {16, 16, 8}}, 1, 0, 0, 1},
        {"size 0 counts as 256", {{0, 0, 8}, {255, 255, 8}}, 1, 0, 0, 0},
        {"better in one respect only", {{32, 16, 8}, {16, 32, 8}}, 1, 0, 0, 0},
        {"without the flag entry 0", {{16, 16, 1}, {32, 32, 32}}, 0, 0, 0, 0},
        {"a wanted index is kept", {{16, 16, 1}, {32, 32, 32}, {8, 8, 4}}, 1, 2, 0, 2},
        {"index at the count", {{16, 16, 1}, {32, 32, 32}}, 0, 2, 2, -1},
        {"index far past the count", {{16, 16, 1}}, 1, 70000, 2, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LoadOptions o = RgbaOptions();
        o.iconChooseBest = c.chooseBest;
        o.imageIndex = c.index;
        Load load;
        EXPECT_EQ(LoadBytes(IconOfEntries(c.entries), L"i.ico", o, &load), c.result);
        if (c.result == 0) {
            EXPECT_EQ(load.bitmap.width, c.loadedEntry + 1);
            EXPECT_EQ(load.info.imageCount, c.entries.size());
            EXPECT_STREQ(load.info.description, "Windows Icon");
        }
    }
}

TEST(IconRefusals, DirectoryAndBitmapHeader) {
    const Bytes good = OneEntryIcon(1, 1, 24, [] {
        Bytes d = BitmapHeader(1, 2, 24);
        d.resize(d.size() + 8, 0);
        return d;
    }());
    Load ok;
    ASSERT_EQ(LoadBytes(good, L"i.ico", RgbaOptions(), &ok), 0);

    struct Case {
        const char* what;
        size_t at;
        std::vector<uint8_t> bytes;
        int result;
    } cases[] = {
        {"reserved not 0", 0, {1}, 2},
        {"type 0", 2, {0}, 2},
        {"count 0", 4, {0}, 2},
        {"cursor accepted", 2, {2}, 0},
        {"header size 41", 22, {41}, 2},
        {"header size 124", 22, {124}, 2},
        {"width 0", 26, {0}, 2},
        {"width negative", 26, {0xFF, 0xFF, 0xFF, 0xFF}, 2},
        {"width 16000", 26, {0x80, 0x3E, 0, 0}, 2},
        {"height 0", 30, {0}, 2},
        {"height negative", 30, {0xFE, 0xFF, 0xFF, 0xFF}, 2},
        {"height 16000", 30, {0x80, 0x3E, 0, 0}, 2},
        {"height 1: no rows", 30, {1}, 2},
        {"planes 2", 34, {2}, 2},
        {"offset past the end", 18, {0xFF, 0xFF, 0, 0}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes data = good;
        std::copy(c.bytes.begin(), c.bytes.end(), data.begin() + long(c.at));
        Load load;
        EXPECT_EQ(LoadBytes(data, L"i.ico", RgbaOptions(), &load), c.result);
    }
}

TEST(IconRefusals, OnlyBitCountsOf1To32ThatIconsUse) {
    for (int bits : {0, 2, 3, 5, 7, 12, 15, 33, 48, 64}) {
        SCOPED_TRACE(bits);
        Bytes dib = BitmapHeader(1, 2, uint16_t(bits));
        dib.resize(dib.size() + 1024 + 64, 0);
        Load load;
        EXPECT_EQ(LoadBytes(OneEntryIcon(1, 1, uint16_t(bits), dib), L"i.ico", RgbaOptions(), &load), 2);
    }
}

// 2 x 2, 16 bits: 5-5-5 words, bottom row first; the mask is not read.
TEST(IconRows, SixteenBitWords) {
    Bytes dib = BitmapHeader(2, 4, 16);
    for (uint32_t w : {0x7C00u, 0x03E0u, 0x001Fu, 0x7FFFu}) AppendLe16(dib, w);
    Load load;
    ASSERT_EQ(LoadBytes(OneEntryIcon(2, 2, 16, dib), L"i.ico", RgbaOptions(), &load), 0);
    const Rgba got = load.Pixels();
    const uint8_t want[] = {0, 0, 255, 255, 255, 255, 255, 255, 255, 0, 0, 255, 0, 255, 0, 255};
    EXPECT_EQ(got.px, Bytes(std::begin(want), std::end(want)));
}

// 32 bits: the alpha channel is used; when it is zero everywhere the AND mask
// gives it (set bit transparent); a cut mask leaves the rest opaque.
TEST(IconRows, ThirtyTwoBitAlphaOrItsMask) {
    struct Case {
        const char* what;
        uint8_t alpha0, alpha1;
        uint8_t maskByte;
        bool maskCut;
        int result;
        uint8_t want0, want1;
    } cases[] = {
        {"own alpha, mask ignored", 0, 90, 0x40, false, 0, 0, 90},
        {"all zero: the mask", 0, 0, 0x80, false, 0, 0, 255},
        {"all zero, mask all set", 0, 0, 0xC0, false, 0, 0, 0},
        {"all zero, mask cut", 0, 0, 0x80, true, 4, 255, 255},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes dib = BitmapHeader(2, 2, 32);
        const uint8_t px[] = {10, 20, 30, c.alpha0, 40, 50, 60, c.alpha1};
        dib.insert(dib.end(), std::begin(px), std::end(px));
        if (!c.maskCut) dib.insert(dib.end(), {c.maskByte, 0, 0, 0});
        LoadOptions o = RgbaOptions();
        o.flags |= kLoadAcceptDamaged;
        Load load;
        ASSERT_EQ(LoadBytes(OneEntryIcon(2, 1, 32, dib), L"i.ico", o, &load), 0);
        const Rgba got = load.Pixels();
        ASSERT_EQ(got.px.size(), 8u);
        EXPECT_EQ(got.px[0], 30);
        EXPECT_EQ(got.px[2], 10);
        EXPECT_EQ(got.px[3], c.want0);
        EXPECT_EQ(got.px[7], c.want1);
        o.flags &= ~kLoadAcceptDamaged;
        Load strict;
        EXPECT_EQ(LoadBytes(OneEntryIcon(2, 1, 32, dib), L"i.ico", o, &strict), c.result);
    }
}

// A 32-bit colour half that ends inside its second row: the bottom row is
// delivered, the load is incomplete, whether the header claims a few rows or
// thousands (only the rows the file holds are buffered).
TEST(IconRows, ColourHalfCutAfterItsFirstRow) {
    for (int32_t rows : {3, 7999}) {
        SCOPED_TRACE(rows);
        Bytes dib = BitmapHeader(2, 2 * rows, 32);
        const uint8_t px[] = {10, 20, 30, 40, 50, 60, 70, 80, 1, 2, 3};
        dib.insert(dib.end(), std::begin(px), std::end(px));
        LoadOptions o = RgbaOptions();
        o.flags |= kLoadAcceptDamaged;
        Load load;
        ASSERT_EQ(LoadBytes(OneEntryIcon(2, 0, 32, dib), L"i.ico", o, &load), 0);
        const Rgba got = load.Pixels();
        ASSERT_EQ(got.px.size(), size_t(rows) * 8);
        const Bytes bottom(got.px.end() - 8, got.px.end());
        EXPECT_EQ(bottom, Bytes({30, 20, 10, 40, 70, 60, 50, 80}));
        o.flags &= ~kLoadAcceptDamaged;
        Load strict;
        EXPECT_EQ(LoadBytes(OneEntryIcon(2, 0, 32, dib), L"i.ico", o, &strict), 4);
    }
}

// 8 bits with mask to alpha: 32 bits, alpha 0 where the mask is set.
TEST(IconRows, EightBitMaskToAlpha) {
    Bytes dib = BitmapHeader(3, 2, 8);
    for (int i = 0; i < 256; ++i) dib.insert(dib.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 0});
    dib.insert(dib.end(), {7, 200, 9, 0xEE});   // indexes, then padding
    dib.insert(dib.end(), {0x40, 0, 0, 0});      // the middle pixel is transparent
    LoadOptions o = RgbaOptions();
    o.iconMaskToAlpha = 1;
    Load load;
    ASSERT_EQ(LoadBytes(OneEntryIcon(3, 1, 8, dib), L"i.ico", o, &load), 0);
    const uint8_t want[] = {3, 248, 7, 255, 100, 55, 200, 0, 4, 246, 9, 255};
    EXPECT_EQ(load.Pixels().px, Bytes(std::begin(want), std::end(want)));

    o.iconMaskToAlpha = 0;  // without the flag: the palette picture, opaque
    Load plain;
    ASSERT_EQ(LoadBytes(OneEntryIcon(3, 1, 8, dib), L"i.ico", o, &plain), 0);
    EXPECT_EQ(plain.Pixels().px[7], 255);
}

TEST(IconPng, EntriesGoThroughThePngReader) {
    std::string skip;
    if (FixtureChecks(&skip).empty()) PV_ORACLE_MISSING(skip);
    for (const char* file : {"rgb8.png", "rgb8_i.png"}) {
        SCOPED_TRACE(file);
        const Bytes png = ReadFixture(file);
        Bytes ico;
        AppendLe16(ico, 0);
        AppendLe16(ico, 1);
        AppendLe16(ico, 1);
        ico.insert(ico.end(), {13, 7, 0, 0});
        AppendLe16(ico, 1);
        AppendLe16(ico, 32);
        AppendLe32(ico, uint32_t(png.size()));
        AppendLe32(ico, 22);
        ico.insert(ico.end(), png.begin(), png.end());
        Load load;
        ASSERT_EQ(LoadBytes(ico, L"i.ico", RgbaOptions(), &load), 0);
        EXPECT_STREQ(load.info.description, "ICO");  // no " (Interlaced)" either
        EXPECT_EQ(load.info.formatIndex, kFormatIco);
        ExpectSamePixels(ExpectedPixels(std::string(file, std::strlen(file) - 4)), load.Pixels(), false, 0,
                         kVisiblePixels);
    }
}

int CancelAlways(int32_t, int32_t, uintptr_t) { return 1; }

TEST(IconCancel, Returns15) {
    for (uint8_t mask : {0, 1}) {
        Bytes dib = BitmapHeader(1, 2, 24);
        dib.resize(dib.size() + 8, 0);
        LoadOptions o = RgbaOptions();
        o.iconMaskToAlpha = mask;
        o.rowCallback = CancelAlways;
        Load load;
        EXPECT_EQ(LoadBytes(OneEntryIcon(1, 1, 24, dib), L"i.ico", o, &load), 15);
    }
}

}  // namespace
