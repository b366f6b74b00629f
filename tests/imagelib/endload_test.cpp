// End of load: final pixel types, reader palettes in every layout, two-colour
// and grey pictures, opaque alpha, CMYK and L*a*b* conversion, and the turn of
// pictures stored column-wise.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "fakereader.h"
#include "imagelib/readconvert.h"

namespace {

using fake::Loaded;
using fake::Picture;
using Bytes = std::vector<uint8_t>;

class EndOfLoad : public fake::Pipeline {};

// Entry i of a bitmap's planar palette as R, G, B, fourth.
Bytes Entry(const Bitmap& b, int i) {
    return {b.palette[i], b.palette[kPaletteGreen + i], b.palette[kPaletteBlue + i], b.palette[kPaletteFourth + i]};
}

TEST_F(EndOfLoad, ReaderPaletteLayouts) {
    struct Case {
        const char* name;
        uint16_t layout;
        int bits;
        Bytes palette;      // two entries
        Bytes first, second;  // R, G, B, fourth
    } cases[] = {
        {"R, G, B", 0, 8, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 0}, {4, 5, 6, 0}},
        {"B, G, R", kPaletteBgr, 8, {1, 2, 3, 4, 5, 6}, {3, 2, 1, 0}, {6, 5, 4, 0}},
        {"4-bit bytes scaled", 0, 4, {15, 1, 0, 8, 8, 8}, {255, 17, 0, 0}, {136, 136, 136, 0}},
        {"no bits given: 8", 0, 0, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 0}, {4, 5, 6, 0}},
        {"3-bit words", kPaletteWords333, 8, {0x07, 0x77, 0x04, 0x21}, {255, 255, 255, 0}, {145, 72, 36, 0}},
        {"rotated 4-bit words", kPaletteWords444Rotated, 8, {0x0F, 0x81, 0x00, 0x00}, {255, 17, 34, 0}, {0, 0, 0, 0}},
        {"4-bit words", kPaletteWords444, 8, {0x0F, 0x00, 0x01, 0x23}, {255, 0, 0, 0}, {17, 34, 51, 0}},
        {"planes", kPalettePlanes, 8, {1, 4, 2, 5, 3, 6}, {1, 2, 3, 0}, {4, 5, 6, 0}},
        {"planes, blue first", kPalettePlanes | kPaletteBgr, 8, {1, 4, 2, 5, 3, 6}, {3, 2, 1, 0}, {6, 5, 4, 0}},
        {"16-bit planes within a byte", kPalettePlanes | kPaletteTriples, 16, {1, 0, 4, 0, 2, 0, 5, 0, 3, 0, 255, 0}, {1, 2, 3, 0}, {4, 5, 255, 0}},
        {"16-bit planes: high bytes", kPalettePlanes | kPaletteTriples, 16, {1, 0, 4, 1, 2, 2, 5, 3, 3, 4, 6, 5}, {0, 2, 4, 0}, {1, 3, 5, 0}},
        {"A, B, G, R", kPaletteAbgr, 8, {9, 3, 2, 1, 8, 6, 5, 4}, {1, 2, 3, 9}, {4, 5, 6, 8}},
        {"R, G, B, A", kPaletteRgba, 8, {1, 2, 3, 9, 4, 5, 6, 8}, {1, 2, 3, 9}, {4, 5, 6, 8}},
        {"B, G, R, A", kPaletteBgra, 8, {3, 2, 1, 9, 6, 5, 4, 8}, {1, 2, 3, 9}, {4, 5, 6, 8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A one-bit picture read into bytes keeps its two-entry palette.
        Picture p = fake::Rows(2, 1, 1, 1, 1, {0x40}, 1);
        p.hasPalette = true;
        p.paletteLayout = c.layout;
        p.paletteBits = c.bits;
        p.palette = c.palette;
        LoadOptions o = options;
        o.flags = kLoadNoBilevel;
        Loaded out;
        fake::LoadFake(p, o, &out);
        ASSERT_EQ(0, out.result);
        ASSERT_EQ(kPixelPalette, out.bitmap.pixelType);
        ASSERT_NE(nullptr, out.bitmap.palette);
        EXPECT_EQ(2, out.bitmap.paletteCount);
        EXPECT_EQ(Bytes({0, 1}), out.RowBytes(0, 2));
        EXPECT_EQ(c.first, Entry(out.bitmap, 0));
        EXPECT_EQ(c.second, Entry(out.bitmap, 1));
    }
}

// Two-colour pictures: black and white in either order come out with 0 as
// black; other colours become a palette picture of bytes 0 and 1.
TEST_F(EndOfLoad, TwoColourPictures) {
    const Bytes blackWhite = {0, 0, 0, 255, 255, 255};
    const Bytes whiteBlack = {255, 255, 255, 0, 0, 0};
    const Bytes redBlue = {255, 0, 0, 0, 0, 255};
    struct Case {
        const char* name;
        Bytes palette;
        uint32_t flags;
        uint16_t order;
        uint16_t type;
        Bytes pixels;  // pixels 1, 0 of the source
    } cases[] = {
        {"bilevel, black then white", blackWhite, 0, 0, kPixelBilevel, {0x80}},
        {"bilevel, white then black", whiteBlack, 0, 0, kPixelBilevel, {0x7F}},
        {"bilevel, other colours", redBlue, 0, 0, kPixelPalette, {1, 0}},
        {"bytes, black then white", blackWhite, kLoadNoBilevel, 0, kPixelGrey, {255, 0}},
        {"bytes, white then black", whiteBlack, kLoadNoBilevel, 1, kPixelGrey, {0, 255}},
        {"bytes, other colours", redBlue, kLoadNoBilevel, 0, kPixelPalette, {1, 0}},
        {"colour, white then black", whiteBlack, kLoadLowDepthAsColour, 0, kPixelRGB, {0, 0, 0, 255, 255, 255}},
        {"colour order 1, white then black", whiteBlack, kLoadLowDepthAsColour, 1, kPixelBGR, {0, 0, 0, 255, 255, 255}},
        {"colour, other colours", redBlue, kLoadLowDepthAsColour, 1, kPixelBGR, {255, 0, 0, 0, 0, 255}},
        {"four bytes order 2, black then white", blackWhite, kLoadLowDepthAsColour | kLoadPreferFourBytes, 2,
         kPixelBGRA, {255, 255, 255, 255, 0, 0, 0, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture p = fake::Rows(2, 1, 1, 1, 1, {0x80}, 1);
        p.hasPalette = true;
        p.palette = c.palette;
        p.header.xResolution = 300;
        p.header.yResolution = 200;
        p.header.transparentIndex = 1;
        LoadOptions o = fake::With(options, c.flags, c.order);
        o.orientation = 0x10;
        Loaded out;
        fake::LoadFake(p, o, &out);
        ASSERT_EQ(0, out.result);
        EXPECT_EQ(c.type, out.bitmap.pixelType);
        EXPECT_EQ(c.pixels, out.RowBytes(0, c.pixels.size()));
        // Converted pictures keep what the load set on them.
        EXPECT_EQ(300, out.bitmap.xResolution);
        EXPECT_EQ(200, out.bitmap.yResolution);
        EXPECT_EQ(0x10, out.bitmap.orientation);
        EXPECT_EQ(1, out.bitmap.transparentIndex);
        if (c.type == kPixelPalette) {
            EXPECT_EQ(Bytes({255, 0, 0, 0}), Entry(out.bitmap, 0));
            EXPECT_EQ(Bytes({0, 0, 255, 0}), Entry(out.bitmap, 1));
            EXPECT_EQ(2, out.bitmap.paletteCount);
            EXPECT_EQ(8, out.bitmap.bitsPerSample);
        }
    }
}

TEST_F(EndOfLoad, PalettePicturesToColour) {
    // An 8-bit index row expanded in every output order.
    const Bytes palette = {10, 20, 30, 40, 50, 60};
    struct Case {
        uint32_t flags;
        uint16_t order;
        uint16_t type;
        Bytes pixel;  // index 1
    } cases[] = {
        {0, 0, kPixelPalette, {1}},
        {kLoadLowDepthAsColour, 0, kPixelRGB, {40, 50, 60}},
        {kLoadLowDepthAsColour, 1, kPixelBGR, {60, 50, 40}},
        {kLoadLowDepthAsColour, 2, kPixelBGR, {60, 50, 40}},
        {kLoadLowDepthAsColour | kLoadPreferFourBytes, 0, kPixelRGBA, {40, 50, 60, 7}},
        {kLoadLowDepthAsColour | kLoadPreferFourBytes, 1, kPixelABGR, {7, 60, 50, 40}},
        {kLoadLowDepthAsColour | kLoadPreferFourBytes, 2, kPixelBGRA, {60, 50, 40, 7}},
        {kLoadLowDepthAsColour | kLoadPreferFourBytes, 3, kPixelARGB, {7, 40, 50, 60}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "flags " << c.flags << " order " << c.order);
        Picture p = fake::Rows(2, 1, 1, 8, 2, {0, 1}, 2);
        p.hasPalette = true;
        p.palette = palette;
        p.palette.resize(768);
        LoadOptions o = fake::With(options, c.flags, c.order);
        o.alphaValue = 7;
        Loaded out;
        fake::LoadFake(p, o, &out);
        ASSERT_EQ(0, out.result);
        EXPECT_EQ(c.type, out.bitmap.pixelType);
        EXPECT_EQ(c.pixel, out.PixelAt(1, 0));
        EXPECT_EQ(c.type == kPixelPalette ? 256 : 0, out.bitmap.paletteCount);
    }
}

// Grey samples marked as inverted (0 is white): the inversion touches the
// grey value, never the alpha or padding bytes, whatever the output.
TEST_F(EndOfLoad, InvertedGrey) {
    struct Case {
        const char* name;
        int bits;
        Bytes row;
        int width;
        uint32_t flags;
        uint16_t order;
        uint16_t type;
        Bytes pixels;
    } cases[] = {
        {"bilevel", 1, {0xA0}, 3, 0, 0, kPixelBilevel, {0x5F}},
        {"one-bit bytes", 1, {0xA0}, 3, kLoadNoBilevel, 0, kPixelGrey, {0, 255, 0}},
        {"8-bit", 8, {0, 200}, 2, 0, 0, kPixelGrey, {255, 55}},
        {"4-bit keeps its levels", 4, {0x0F}, 2, 0, 0, kPixelGrey, {15, 0}},
        {"4-bit to colour", 4, {0x0F}, 2, kLoadLowDepthAsColour, 0, kPixelRGB, {255, 255, 255, 0, 0, 0}},
        {"8-bit to four bytes order 1", 8, {0, 255}, 2, kLoadLowDepthAsColour | kLoadPreferFourBytes, 1, kPixelABGR,
         {255, 255, 255, 255, 255, 0, 0, 0}},
        {"8-bit to four bytes order 3", 8, {0, 255}, 2, kLoadLowDepthAsColour | kLoadPreferFourBytes, 3, kPixelARGB,
         {255, 255, 255, 255, 255, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture p = fake::Rows(c.width, 1, 1, c.bits, uint32_t(c.row.size()), c.row, c.row.size());
        p.paletteLayout = kPaletteGreyInverted;
        fake::ExpectFirstRow(p, fake::With(options, c.flags, c.order), c.type, c.pixels);
    }
}

TEST_F(EndOfLoad, GreyPictureRecords) {
    struct Case {
        int bits;
        uint32_t flags;
        int16_t paletteCount;
        uint16_t bitsPerSample;
    } cases[] = {
        {8, 0, 256, 8},
        {4, 0, 16, 4},
        {1, kLoadNoBilevel, 256, 8},
        {1, 0, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        Picture p = fake::Rows(1, 1, 1, c.bits, 1, {0}, 1);
        LoadOptions o = options;
        o.flags = c.flags;
        Loaded out;
        fake::LoadFake(p, o, &out);
        ASSERT_EQ(0, out.result);
        EXPECT_EQ(c.paletteCount, out.bitmap.paletteCount);
        EXPECT_EQ(c.bitsPerSample, out.bitmap.bitsPerSample);
        EXPECT_EQ(1, out.bitmap.bytesPerPixel);
        EXPECT_EQ(1, out.bitmap.components);
    }
}

TEST_F(EndOfLoad, DeclaredAlphaThatIsZeroEverywhereIsOpaque) {
    struct Case {
        const char* name;
        Bytes row;
        uint16_t order;
        Bytes pixels;
    } cases[] = {
        {"all zero", {1, 2, 3, 0, 4, 5, 6, 0}, 0, {1, 2, 3, 255, 4, 5, 6, 255}},
        {"all zero, alpha first", {1, 2, 3, 0, 4, 5, 6, 0}, 1, {255, 3, 2, 1, 255, 6, 5, 4}},
        {"one pixel with alpha", {1, 2, 3, 0, 4, 5, 6, 9}, 0, {1, 2, 3, 0, 4, 5, 6, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture p = fake::Rows(2, 1, 1, 32, 8, c.row, 8);
        p.header.flags = kHeaderMayHaveAlpha;
        LoadOptions o = options;
        o.pixelOrder = c.order;
        Loaded out;
        fake::LoadFake(p, o, &out);
        ASSERT_EQ(0, out.result);
        EXPECT_EQ(c.pixels, out.RowBytes(0, 8));
    }
}

TEST_F(EndOfLoad, CmykAndLab) {
    struct Case {
        const char* name;
        uint32_t headerFlags;
        int bits;
        Bytes row;
        uint32_t flags;
        uint16_t order;
        uint16_t type;
        Bytes pixel;
    } cases[] = {
        {"CMYK, nothing printed", kHeaderCmyk, 32, {0, 0, 0, 0}, 0, 0, kPixelRGB, {255, 255, 255}},
        {"CMYK, full black", kHeaderCmyk, 32, {0, 0, 0, 255}, 0, 0, kPixelRGB, {0, 0, 0}},
        {"CMYK, cyan", kHeaderCmyk, 32, {255, 0, 0, 0}, 0, 1, kPixelBGR, {255, 255, 0}},
        {"CMYK kept", kHeaderCmyk, 32, {1, 2, 3, 4}, kLoadKeepCmyk, 0, kPixelCMYK, {1, 2, 3, 4}},
        {"inverted CMYK", kHeaderCmykInverted, 32, {255, 0, 255, 255}, 0, 0, kPixelRGB, {255, 0, 255}},
        {"inverted CMYK kept", kHeaderCmykInverted, 32, {255, 0, 1, 2}, kLoadKeepCmyk, 0, kPixelCMYK,
         {0, 255, 254, 253}},
        {"inverted CMY", kHeaderCmykInverted, 24, {255, 0, 10}, 0, 0, kPixelRGB, {0, 255, 245}},
        {"L*a*b* white", kHeaderLabUnsigned, 24, {255, 128, 128}, 0, 0, kPixelRGB, {255, 255, 255}},
        {"L*a*b* black", kHeaderLabUnsignedD50, 24, {0, 128, 128}, 0, 1, kPixelBGR, {0, 0, 0}},
        {"signed L*a*b* white", kHeaderLabSigned, 24, {255, 0, 0}, 0, 0, kPixelRGB, {255, 255, 255}},
        {"signed L*a*b* white, four-byte output", kHeaderLabSignedD50, 24, {255, 0, 0}, kLoadPreferFourBytes, 1,
         kPixelBGR, {255, 255, 255}},
        {"32-bit L*a*b*", kHeaderLabUnsigned, 32, {255, 128, 128, 0}, 0, 0, kPixelRGB, {255, 255, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int n = c.bits / 8;
        Picture p = fake::Rows(3, 1, 1, c.bits, uint32_t(3 * n), {}, 0);
        Bytes row;
        for (int i = 0; i < 3; ++i) row.insert(row.end(), c.row.begin(), c.row.end());
        p.deliveries[0].rows = row;
        p.header.flags = c.headerFlags;
        LoadOptions o = fake::With(options, c.flags, c.order);
        o.rowAlignment = 8;
        Loaded out;
        fake::LoadFake(p, o, &out);
        ASSERT_EQ(0, out.result);
        EXPECT_EQ(c.type, out.bitmap.pixelType);
        ASSERT_EQ(c.pixel.size(), size_t(out.bitmap.bytesPerPixel));
        EXPECT_EQ(int(c.pixel.size()), out.bitmap.components);
        const int32_t stride = (3 * int32_t(c.pixel.size()) + 7) / 8 * 8;
        EXPECT_EQ(stride, out.bitmap.bytesPerRow);
        for (int x = 0; x < 3; ++x) {
            const Bytes got = out.PixelAt(x, 0);
            for (size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(c.pixel[k], got[k], 1) << "pixel " << x;
        }
    }
}

// Pictures stored column-wise are mirrored and turned a quarter at the end,
// unless the caller asked for an orientation of its own.
TEST_F(EndOfLoad, TransposedStorage) {
    struct Case {
        const char* name;
        uint16_t code;
        uint16_t options;
        std::vector<Bytes> rows;
    } cases[] = {
        {"code 128", 128, 0, {{1, 4}, {2, 5}, {3, 6}}},
        {"code 129", 129, 0, {{4, 1}, {5, 2}, {6, 3}}},
        {"code 144", 144, 0, {{3, 6}, {2, 5}, {1, 4}}},
        {"code 145", 145, 0, {{6, 3}, {5, 2}, {4, 1}}},
        {"code 128, orientation asked", 128, 0x1, {{3, 2, 1}, {6, 5, 4}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture p = fake::Rows(3, 2, 1, 8, 3, {1, 2, 3, 4, 5, 6}, 3);
        p.header.orientation = c.code;
        LoadOptions o = options;
        o.orientation = c.options;
        Loaded out;
        fake::LoadFake(p, o, &out);
        ASSERT_EQ(0, out.result);
        ASSERT_EQ(int(c.rows.size()), out.bitmap.height);
        ASSERT_EQ(int(c.rows[0].size()), out.bitmap.width);
        for (int y = 0; y < out.bitmap.height; ++y) EXPECT_EQ(c.rows[size_t(y)], out.RowBytes(y, c.rows[0].size()));
        EXPECT_EQ(out.bitmap.width, out.info.width);
        EXPECT_EQ(out.bitmap.height, out.info.height);
        EXPECT_EQ(c.code, out.info.orientation);
    }
}

TEST(EndOfLoadPieces, ConvertBilevelToPalette) {
    Bitmap b;
    ASSERT_EQ(1, AllocBitmap(&b, kPixelBilevel, 4, 10, 2));
    b.pixels[0] = 0x81;
    b.pixels[1] = 0x40;
    b.xResolution = 96;
    b.yResolution = 72;
    b.orientation = 0x10;
    b.transparentIndex = 1;
    ASSERT_EQ(0, ConvertBilevelToPalette(&b));
    EXPECT_EQ(kPixelPalette, b.pixelType);
    EXPECT_EQ(12, b.bytesPerRow);
    EXPECT_EQ(Bytes({1, 0, 0, 0, 0, 0, 0, 1, 0, 1}), Bytes(b.pixels, b.pixels + 10));
    EXPECT_EQ(Bytes(10, 0), Bytes(b.pixels + 12, b.pixels + 22));
    EXPECT_EQ(96, b.xResolution);
    EXPECT_EQ(72, b.yResolution);
    EXPECT_EQ(0x10, b.orientation);
    EXPECT_EQ(1, b.transparentIndex);
    EXPECT_EQ(2, b.paletteCount);
    EXPECT_EQ(nullptr, b.palette);
    FreeBitmap(&b);
}

TEST(EndOfLoadPieces, Spreads) {
    Bitmap grey;
    ASSERT_EQ(1, AllocBitmap(&grey, kPixelGrey, 4, 3, 1));
    grey.pixels[1] = 1;
    SpreadBilevelToGrey(&grey);
    EXPECT_EQ(Bytes({0, 255, 0, 0}), Bytes(grey.pixels, grey.pixels + 4));
    FreeBitmap(&grey);

    Bitmap colour;
    ASSERT_EQ(1, AllocBitmap(&colour, kPixelRGBA, 1, 2, 1));
    colour.pixels[0] = 1;
    colour.pixels[3] = 9;
    SpreadBilevelToColour(&colour);
    EXPECT_EQ(Bytes({255, 255, 255, 9, 0, 0, 0, 0}), Bytes(colour.pixels, colour.pixels + 8));
    EXPECT_EQ(256, colour.paletteCount);
    FreeBitmap(&colour);
}

TEST(EndOfLoadPieces, GammaTable) {
    uint8_t table[256];
    BuildGammaTable(table);
    EXPECT_EQ(0, table[0]);
    EXPECT_EQ(13, table[1]);
    EXPECT_EQ(255, table[255]);
    for (int i = 1; i < 256; ++i) EXPECT_LE(table[i - 1], table[i]);
}

}  // namespace
