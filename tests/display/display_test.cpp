// The display layer's portable core: exact DIB bytes for tiny pictures of
// every pixel type on every screen depth, the format and converter chosen,
// maps, dither tables, and the failures that must leave nothing to convert.
#include "display/display.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "screenpicture.h"

using namespace screentest;

namespace {

class DisplayTest : public ::testing::Test {
protected:
    void UseScreen(int bits) { ASSERT_EQ(DisplayInitForDepth(bits), 1); }
    void TearDown() override { DisplayReleaseTables(); }
};

// The four colours of the 2 x 2 test picture, top row first.
const std::vector<Rgb> kFour = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {100, 150, 200}};

const std::vector<uint8_t> kFourAt24 = {
    // bottom row (blue, then 100/150/200 as B, G, R), padded to 8
    0xFF, 0x00, 0x00, 200, 150, 100, 0, 0,
    // top row (red, green)
    0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0, 0,
};

// 5-5-5, little-endian words. Bottom row: blue at (0, 1) threshold 6 ->
// 0x001F; (100, 150, 200) at (1, 1) threshold 2 -> levels 13, 19, 25 =
// 0x3679. Top row: red at threshold 0 -> 0x7C00; green at threshold 4 -> 0x03E0.
const std::vector<uint8_t> kFourAt16 = {0x1F, 0x00, 0x79, 0x36, 0x00, 0x7C, 0xE0, 0x03};

// Cube indices r*36 + g*6 + b. Bottom row: blue -> 5; (100, 150, 200) at
// Bayer 16 (threshold 66): fractions 245, 240, 235 all take the upper levels
// 2, 3, 4 -> 94. Top row: red -> 180, green -> 30.
const std::vector<uint8_t> kFourAtCube = {5, 94, 0, 0, 180, 30, 0, 0};

struct TypeCase {
    const char* name;
    uint16_t type;
    int bits;
};

const TypeCase kColourTypes[] = {
    {"rgb", kPixelRGB, 8},     {"bgr", kPixelBGR, 8},     {"rgba", kPixelRGBA, 8},     {"bgra", kPixelBGRA, 8},
    {"abgr", kPixelABGR, 8},   {"argb", kPixelARGB, 8},   {"cmyk", kPixelCMYK, 8},     {"rgb16", kPixelRGB, 16},
    {"bgra16", kPixelBGRA, 16}, {"rgb32", kPixelRGB, 32},
};

TEST_F(DisplayTest, EveryTrueColourTypeGivesTheSameDibBytesOnEveryScreen) {
    struct Screen {
        int bits;
        const std::vector<uint8_t>* expected;
    };
    const Screen screens[] = {{32, &kFourAt24}, {24, &kFourAt24}, {16, &kFourAt16}, {8, &kFourAtCube},
                              {4, &kFourAtCube}};
    for (const Screen& screen : screens) {
        UseScreen(screen.bits);
        for (const TypeCase& c : kColourTypes) {
            SCOPED_TRACE(std::string(c.name) + " on a " + std::to_string(screen.bits) + "-bit screen");
            Picture p;
            MakeColour(p.get(), c.type, 2, 2, kFour, c.bits, 0);
            EXPECT_EQ(Converted(p.get(), 2, 2), *screen.expected);
            // Rows stored bottom-up show the same.
            TurnBottomUp(p.get());
            EXPECT_EQ(Converted(p.get(), 2, 2), *screen.expected);
        }
    }
}

TEST_F(DisplayTest, CmykBlackTakesTheColoursAwayFromWhite) {
    UseScreen(24);
    Picture p;
    // White paper with K = 155 everywhere: (255 - 155) = 100 on each channel.
    MakeColour(p.get(), kPixelCMYK, 1, 1, {{255, 255, 255}}, 8, 155);
    EXPECT_EQ(Converted(p.get(), 1, 1), (std::vector<uint8_t>{100, 100, 100, 0}));
}

TEST_F(DisplayTest, FormatStrideColoursAndConverterFollowScreenAndType) {
    struct Row {
        int screen;
        uint16_t type;
        int32_t width;  // also the target and source width
        uint16_t bitCount;
        uint32_t compression;
        int32_t stride;
        uint32_t coloursUsed;
        ScreenRowConverter converter;
    };
    const Row rows[] = {
        {16, kPixelRGB, 5, 16, kDibBitFields, 12, 0, ScreenRowsRgbTo16Dithered},
        {16, kPixelBGRA, 2, 16, kDibBitFields, 4, 0, ScreenRowsRgbTo16Dithered},
        {24, kPixelBGR, 5, 24, kDibRgb, 16, 0, ScreenRowsCopyDirect},
        {32, kPixelBGR, 1, 24, kDibRgb, 4, 0, ScreenRowsCopyDirect},
        {32, kPixelRGB, 5, 24, kDibRgb, 16, 0, ScreenRowsCopyMapped},
        {32, kPixelARGB, 3, 24, kDibRgb, 12, 0, ScreenRowsCopyMapped},
        {8, kPixelRGB, 5, 8, kDibRgb, 8, 216, ScreenRowsRgbToCubeDithered},
        {1, kPixelCMYK, 3, 8, kDibRgb, 4, 216, ScreenRowsRgbToCubeDithered},
        {16, kPixelGrey, 5, 8, kDibRgb, 8, 256, ScreenRowsCopyDirect},
        {32, kPixelPalette, 6, 8, kDibRgb, 8, 256, ScreenRowsCopyDirect},
        {8, kPixelPalette, 5, 8, kDibRgb, 8, 216, ScreenRowsIndexedToCubeDithered},
        {4, kPixelGrey, 1, 8, kDibRgb, 4, 216, ScreenRowsIndexedToCubeDithered},
        {16, kPixelBilevel, 33, 1, kDibRgb, 8, 2, ScreenRowsToMono},
        {8, kPixelBilevel, 32, 1, kDibRgb, 4, 2, ScreenRowsToMono},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE("screen " + std::to_string(r.screen) + " type " + std::to_string(r.type) + " width " +
                     std::to_string(r.width));
        UseScreen(r.screen);
        Picture p;
        ASSERT_EQ(AllocBitmap(p.get(), r.type, 1, r.width, 3), 1);
        Screen s;
        ASSERT_EQ(s.Prepare(p.get(), r.width, 3), 1);
        const DibHeader& h = s.sb.info.header;
        EXPECT_EQ(h.size, 40u);
        EXPECT_EQ(h.width, r.width);
        EXPECT_EQ(h.height, 3);
        EXPECT_EQ(h.planes, 1);
        EXPECT_EQ(h.bitCount, r.bitCount);
        EXPECT_EQ(h.compression, r.compression);
        EXPECT_EQ(s.sb.dibStride, r.stride);
        EXPECT_EQ(h.sizeImage, uint32_t(r.stride) * 3);
        EXPECT_EQ(h.coloursUsed, r.coloursUsed);
        EXPECT_EQ(s.sb.converter, r.converter);
        if (r.bitCount == 16) {
            uint32_t masks[3];
            std::memcpy(masks, s.sb.info.colours, sizeof masks);
            EXPECT_EQ(masks[0], kMask555Red);
            EXPECT_EQ(masks[1], kMask555Green);
            EXPECT_EQ(masks[2], kMask555Blue);
        }
        // Scaled, nothing is copied directly.
        Screen scaled;
        ASSERT_EQ(scaled.Prepare(p.get(), r.width + 1, 3), 1);
        EXPECT_NE(scaled.sb.converter, ScreenRowsCopyDirect);
    }
}

TEST_F(DisplayTest, NoPictureGivesTheScreenFormat) {
    const struct {
        int screen;
        uint16_t bitCount;
    } rows[] = {{16, 16}, {24, 24}, {32, 24}, {8, 8}, {1, 8}};
    for (const auto& r : rows) {
        UseScreen(r.screen);
        Screen s(320, 320);
        ASSERT_EQ(ScreenBitmapCreateDibWith(MemoryDibServices(), &s.sb, nullptr), 1);
        EXPECT_EQ(s.sb.info.header.bitCount, r.bitCount) << r.screen;
        EXPECT_EQ(s.sb.dibTopRow, s.sb.dibPixels + size_t(319) * s.sb.dibStride);
    }
}

TEST_F(DisplayTest, ScratchDibIsKeptForTrueColourAndRemadeForOneBytePictures) {
    UseScreen(16);
    Screen s(64, 64);
    ASSERT_EQ(ScreenBitmapCreateDibWith(MemoryDibServices(), &s.sb, nullptr), 1);
    void* scratch = s.sb.dib;
    Picture colour, grey;
    MakeColour(colour.get(), kPixelRGB, 2, 2, kFour);
    MakeIndexed(grey.get(), kPixelGrey, 2, 1, {0, 255});
    ASSERT_EQ(s.Prepare(colour.get(), 40, 30), 1);
    EXPECT_EQ(s.sb.dib, scratch);
    EXPECT_EQ(s.sb.info.header.width, 64);  // the DIB keeps its size; only the target changes
    ASSERT_EQ(s.Prepare(grey.get(), 40, 30), 1);
    EXPECT_EQ(s.sb.info.header.bitCount, 8);
    ASSERT_EQ(s.Prepare(colour.get(), 40, 30), 1);  // an 8-bit DIB cannot take true colour
    EXPECT_EQ(s.sb.info.header.bitCount, 16);
    EXPECT_EQ(s.sb.converter, ScreenRowsRgbTo16Dithered);
}

TEST_F(DisplayTest, PaletteAndGreyPicturesCarryTheirColourTables) {
    UseScreen(16);
    Picture pal;
    MakeIndexed(pal.get(), kPixelPalette, 3, 1, {2, 0, 1});
    pal->paletteCount = 3;
    const uint8_t colours[3][3] = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}};
    for (int i = 0; i < 3; ++i) {
        pal->palette[i] = colours[i][0];
        pal->palette[kPaletteGreen + i] = colours[i][1];
        pal->palette[kPaletteBlue + i] = colours[i][2];
    }
    Screen s;
    ASSERT_EQ(s.Prepare(pal.get(), 3, 1), 1);
    s.Convert(0, 0, 3, 1);
    EXPECT_EQ(s.Bytes(), (std::vector<uint8_t>{2, 0, 1, 0}));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(s.sb.info.colours[i].red, colours[i][0]);
        EXPECT_EQ(s.sb.info.colours[i].green, colours[i][1]);
        EXPECT_EQ(s.sb.info.colours[i].blue, colours[i][2]);
        EXPECT_EQ(std::memcmp(&s.sb.pictureColours[i], &s.sb.info.colours[i], sizeof(DibColour)), 0);
    }
    EXPECT_NE(s.sb.palette, nullptr);

    // Grey ramps: 16 levels spread to 0..255; counts that cannot be a ramp
    // (0, 1) take all 256 levels; deep samples show their high byte.
    const struct {
        int16_t count;
        int bits;
        int entry;
        uint8_t value;
    } ramps[] = {{16, 8, 15, 255}, {16, 8, 1, 17}, {0, 8, 200, 200}, {1, 8, 200, 200}, {256, 16, 128, 128}};
    for (const auto& r : ramps) {
        Picture grey;
        MakeIndexed(grey.get(), kPixelGrey, 2, 1, {7, 200}, r.bits);
        grey->paletteCount = r.count;
        Screen g;
        ASSERT_EQ(g.Prepare(grey.get(), 2, 1), 1) << r.count;
        EXPECT_EQ(g.sb.info.colours[r.entry].red, r.value) << r.count;
        EXPECT_EQ(g.sb.info.colours[r.entry].blue, r.value) << r.count;
        g.Convert(0, 0, 2, 1);
        EXPECT_EQ(g.Bytes(), (std::vector<uint8_t>{7, 200, 0, 0})) << r.count;
    }
}

TEST_F(DisplayTest, OneBitPicturesPackMostSignificantBitFirst) {
    UseScreen(16);
    Picture p;
    MakeBilevel(p.get(), {"1000000001", "0110000000"});
    Screen s;
    ASSERT_EQ(s.Prepare(p.get(), 10, 2), 1);
    EXPECT_EQ(s.sb.info.colours[0].red, 0);
    EXPECT_EQ(s.sb.info.colours[1].red, 255);
    s.Convert(0, 0, 10, 2);
    EXPECT_EQ(s.Bytes(), (std::vector<uint8_t>{0x60, 0x00, 0, 0, 0x80, 0x40, 0, 0}));

    // Doubled rows are copied from the row above; a part converts into the
    // DIB's first columns.
    Screen tall;
    ASSERT_EQ(tall.Prepare(p.get(), 10, 4), 1);
    tall.Convert(0, 0, 10, 4);
    EXPECT_EQ(tall.Bytes(), (std::vector<uint8_t>{0x60, 0, 0, 0, 0x60, 0, 0, 0, 0x80, 0x40, 0, 0, 0x80, 0x40, 0, 0}));
    Screen part;
    ASSERT_EQ(part.Prepare(p.get(), 10, 2), 1);
    part.Convert(1, 1, 3, 1);  // row 1, columns 1..3: 1 1 0
    EXPECT_EQ(part.Bytes()[4], 0xC0);
}

TEST_F(DisplayTest, TinyPicturesPadTheirRows) {
    UseScreen(24);
    Picture p;
    MakeColour(p.get(), kPixelBGR, 1, 1, {{1, 2, 3}});
    Screen s;
    ASSERT_EQ(s.Prepare(p.get(), 1, 1), 1);
    EXPECT_EQ(s.sb.dibStride, 4);
    s.Convert(0, 0, 1, 1);
    EXPECT_EQ(s.Bytes(), (std::vector<uint8_t>{3, 2, 1, 0}));
}

TEST_F(DisplayTest, MapsTruncateAndFollowTheRowOrder) {
    UseScreen(24);
    Picture p;
    std::vector<Rgb> colours;
    for (int i = 0; i < 15; ++i) colours.push_back(Rgb{uint8_t(i), 0, 0});
    MakeColour(p.get(), kPixelRGB, 5, 3, colours);
    const uint8_t* rows[3] = {p->pixels, p->pixels + p->bytesPerRow, p->pixels + 2 * p->bytesPerRow};

    Screen shrink;
    ASSERT_EQ(shrink.Prepare(p.get(), 2, 2), 1);
    EXPECT_EQ(std::vector<int32_t>(shrink.sb.columnMap, shrink.sb.columnMap + 2), (std::vector<int32_t>{0, 6}));
    EXPECT_EQ(shrink.sb.rowMap[0], rows[0]);  // 3 * 0 / 2
    EXPECT_EQ(shrink.sb.rowMap[1], rows[1]);  // 3 * 1 / 2
    EXPECT_EQ(shrink.sb.sourceWidth, 5);
    EXPECT_EQ(shrink.sb.targetWidth, 2);

    Screen grow;
    ASSERT_EQ(grow.Prepare(p.get(), 12, 7), 1);
    EXPECT_EQ(std::vector<int32_t>(grow.sb.columnMap, grow.sb.columnMap + 12),
              (std::vector<int32_t>{0, 0, 0, 3, 3, 6, 6, 6, 9, 9, 12, 12}));
    const uint8_t* expectedRows[7] = {rows[0], rows[0], rows[0], rows[1], rows[1], rows[2], rows[2]};
    for (int y = 0; y < 7; ++y) EXPECT_EQ(grow.sb.rowMap[y], expectedRows[y]) << y;

    TurnBottomUp(p.get());
    Screen up;
    ASSERT_EQ(up.Prepare(p.get(), 5, 3), 1);
    EXPECT_EQ(up.sb.rowMap[0], rows[2]);  // the stored last row is the top
    EXPECT_EQ(up.sb.rowMap[2], rows[0]);

    // Every column and row as width x i / target, rounded down, at ratios
    // with and without a remainder.
    Picture wide;
    MakeColour(wide.get(), kPixelRGB, 97, 41, std::vector<Rgb>(97 * 41));
    for (const int32_t target : {1, 13, 41, 60, 97, 150, 301}) {
        Screen s;
        ASSERT_EQ(s.Prepare(wide.get(), target, target), 1);
        for (int32_t x = 0; x < target; ++x) ASSERT_EQ(s.sb.columnMap[x], 97 * x / target * 3) << target << " " << x;
        for (int32_t y = 0; y < target; ++y)
            ASSERT_EQ(s.sb.rowMap[y], wide->pixels + size_t(41 * y / target) * size_t(wide->bytesPerRow))
                << target << " " << y;
    }
}

TEST_F(DisplayTest, ConvertersWriteOnlyTheRectangleCutToTargetAndDib) {
    UseScreen(16);
    Picture p;
    std::vector<Rgb> grey(64 * 64, Rgb{255, 255, 255});
    MakeColour(p.get(), kPixelRGB, 64, 64, grey);
    Screen s(8, 4);  // a scratch DIB smaller than the target
    ASSERT_EQ(s.Prepare(p.get(), 64, 64), 1);
    // Reaching past the target and the DIB: cut, never written past the DIB
    // (the sanitizer watches the heap block).
    s.Convert(60, 62, 100, 100);
    const std::vector<uint8_t> bytes = s.Bytes();
    ASSERT_EQ(bytes.size(), size_t(16) * 4);
    // Target 64 - 60 = 4 columns of target 64 - 62 = 2 rows, at the DIB's top-left.
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 8; ++col) {
            const size_t at = size_t(3 - row) * 16 + size_t(col) * 2;
            const bool written = row < 2 && col < 4;
            EXPECT_EQ(bytes[at] | bytes[at + 1] << 8, written ? 0x7FFF : 0) << row << "," << col;
        }
    s.Convert(64, 0, 5, 5);  // wholly outside: nothing
    s.Convert(0, 0, 0, 5);
    EXPECT_EQ(s.Bytes(), bytes);
}

TEST_F(DisplayTest, DitherTablesStayInRangeAndAverageToTheValue) {
    std::vector<uint16_t> red(kDither16Entries), green(kDither16Entries), blue(kDither16Entries);
    DisplayBuildDitherTables(red.data(), green.data(), blue.data());
    for (int v = 0; v < 256; ++v) {
        int sum = 0;
        for (int p = 0; p < 16; ++p) {
            const int level = blue[size_t(v + 256 * p)];
            EXPECT_LE(level, 31);
            EXPECT_TRUE(level == v / 8 || level == v / 8 + 1) << v;
            EXPECT_EQ(red[size_t(v + 256 * p)], level << 10);
            EXPECT_EQ(green[size_t(v + 256 * p)], level << 5);
            sum += level;
        }
        // Over the 16 positions the levels average to v / 8 exactly, below
        // the top level; from 248 on every position gives 31.
        if (v < 248)
            EXPECT_EQ(sum, 2 * v) << v;
        else
            EXPECT_EQ(sum, 16 * 31) << v;
    }
}

// Every pixel of a 16-bit conversion takes the colour of the source pixel
// its maps name and the dither cell of its target column and row (modulo
// 4): whatever rectangle it is converted in, whether the picture is shown
// at its size, smaller or larger, and whichever way the picture orders its
// samples (the last columns of a row too, where a pixel's fourth byte would
// be past the row).
TEST_F(DisplayTest, SixteenBitDitherFollowsTheShownPixelAndTheTargetPosition) {
    UseScreen(16);
    std::vector<uint16_t> red(kDither16Entries), green(kDither16Entries), blue(kDither16Entries);
    DisplayBuildDitherTables(red.data(), green.data(), blue.data());
    constexpr int32_t kW = 23, kH = 9;
    std::vector<Rgb> colours;
    for (int32_t i = 0; i < kW * kH; ++i)
        colours.push_back(Rgb{uint8_t(i * 37 + 11), uint8_t(i * 59 + 3), uint8_t(255 - i * 13)});
    struct Case {
        int32_t targetWidth;  // the picture is kW wide
        int32_t x, y, w, h;   // the rectangle converted
    };
    const Case cases[] = {{kW, 0, 0, kW, kH}, {kW, 5, 2, 11, 5}, {kW, 1, 3, 3, 2}, {kW, 2, 1, 1, 6},
                          {kW, 7, 0, 16, 9},  {5, 0, 0, 5, kH},  {11, 0, 0, 11, kH}, {16, 3, 1, 13, 7},
                          {37, 0, 0, 37, kH}, {50, 0, 0, 50, kH}};
    for (const uint16_t type : {kPixelRGB, kPixelBGR, kPixelRGBA, kPixelBGRA, kPixelABGR, kPixelARGB}) {
        Picture p;
        MakeColour(p.get(), type, kW, kH, colours, 8, 0xA5);
        const Bitmap* picture = p.get();
        for (const Case& r : cases) {
            SCOPED_TRACE(std::to_string(type) + " at width " + std::to_string(r.targetWidth) + ": " +
                         std::to_string(r.x) + "," + std::to_string(r.y) + " " + std::to_string(r.w) + "x" +
                         std::to_string(r.h));
            Screen s;
            ASSERT_EQ(s.Prepare(picture, r.targetWidth, kH), 1);
            s.Convert(r.x, r.y, r.w, r.h);
            const std::vector<uint8_t> bytes = s.Bytes();
            const size_t stride = (size_t(r.targetWidth) * 2 + 3) / 4 * 4;
            for (int32_t i = 0; i < r.h; ++i)
                for (int32_t j = 0; j < r.w; ++j) {
                    const int32_t tx = r.x + j, ty = r.y + i;
                    const size_t sy = size_t(s.sb.rowMap[ty] - picture->pixels) / size_t(picture->bytesPerRow);
                    const size_t sx = size_t(s.sb.columnMap[tx]) / size_t(picture->bytesPerPixel);
                    const Rgb& c = colours[sy * kW + sx];
                    const size_t cell = size_t((ty & 3) + 4 * (tx & 3)) << 8;
                    const int want = red[cell + c.r] | green[cell + c.g] | blue[cell + c.b];
                    // The rectangle lands at the DIB's top left, rows bottom-up.
                    const size_t at = size_t(kH - 1 - i) * stride + size_t(j) * 2;
                    ASSERT_EQ(bytes[at] | bytes[at + 1] << 8, want) << j << "," << i;
                }
        }
    }
}

TEST_F(DisplayTest, CubeDitherAveragesToTheValueOverACell) {
    UseScreen(8);
    for (int v = 0; v < 256; ++v) {
        int sum = 0;
        for (int y = 0; y < kCubeCell; ++y)
            for (int x = 0; x < kCubeCell; ++x) {
                const CubeChannelEntry& e = g_Display.cubeChannels[2][v];  // blue: index = level
                const int level = e.index[g_Display.cubeCells[y][x][e.fraction]];
                EXPECT_TRUE(level == v / 51 || level == v / 51 + 1) << v;
                EXPECT_LE(level, 5);
                sum += level * 51;
            }
        EXPECT_NEAR(sum / 64.0, v, 3.0) << v;
    }
    // The cube's own levels come out exactly, everywhere.
    Picture p;
    MakeColour(p.get(), kPixelRGB, 8, 8, std::vector<Rgb>(64, Rgb{51, 204, 255}));
    const std::vector<uint8_t> bytes = Converted(p.get(), 8, 8);
    ASSERT_EQ(bytes.size(), 64u);
    for (uint8_t b : bytes) EXPECT_EQ(b, 1 * 36 + 4 * 6 + 5);
}

TEST_F(DisplayTest, IndexedPicturesDitherTheirColoursOntoTheCube) {
    UseScreen(8);
    Picture p;
    MakeIndexed(p.get(), kPixelPalette, 2, 1, {1, 0});
    p->paletteCount = 2;
    p->palette[0] = 255;                  // entry 0 red
    p->palette[kPaletteBlue + 1] = 102;   // entry 1 blue 102: cube level 2
    Screen s;
    ASSERT_EQ(s.Prepare(p.get(), 2, 1), 1);
    EXPECT_EQ(s.sb.info.colours[180].red, 255);  // the DIB's table is the cube
    EXPECT_EQ(s.sb.info.colours[2].blue, 102);
    s.Convert(0, 0, 2, 1);
    EXPECT_EQ(s.Bytes(), (std::vector<uint8_t>{2, 180, 0, 0}));
}

// ---------------------------------------------------------------------------
// Failures leave no converter behind

int g_palettesRefused = 0;
void* RefusePalette(const DibColour*, int) {
    ++g_palettesRefused;
    return nullptr;
}
int RefuseDib(ScreenBitmap*) { return 0; }

TEST_F(DisplayTest, AFailedPaletteClearsTheConverterSoNothingIsWritten) {
    UseScreen(16);
    DibServices refusing = *MemoryDibServices();
    refusing.createPalette = RefusePalette;
    Picture colour, pal;
    MakeColour(colour.get(), kPixelRGB, 2, 2, kFour);
    MakeIndexed(pal.get(), kPixelPalette, 2, 2, {0, 1, 2, 3});
    ScreenBitmap sb;
    std::memset(&sb, 0, sizeof sb);
    sb.dibWidth = sb.dibHeight = 2;
    ASSERT_EQ(ScreenBitmapPrepareWith(&refusing, &sb, colour.get(), 2, 2, kPrepareBuildPalette), 1);
    ASSERT_NE(sb.converter, nullptr);  // true colour on 16 bits needs no palette

    g_palettesRefused = 0;
    EXPECT_EQ(ScreenBitmapPrepareWith(&refusing, &sb, pal.get(), 2, 2, kPrepareBuildPalette), 0);
    EXPECT_EQ(g_palettesRefused, 1);
    EXPECT_EQ(sb.converter, nullptr);  // not the true-colour converter of before
    const std::vector<uint8_t> before(sb.dibPixels, sb.dibPixels + sb.info.header.sizeImage);
    ScreenBitmapConvert(&refusing, &sb, 0, 0, 2, 2);
    EXPECT_EQ(std::vector<uint8_t>(sb.dibPixels, sb.dibPixels + sb.info.header.sizeImage), before);
    ScreenBitmapFreeWith(&refusing, &sb);

    // The one-shot conversion gives nothing rather than a half-made DIB.
    EXPECT_EQ(MakeScreenBitmapWith(&refusing, pal.get(), 2, 2, nullptr), nullptr);
}

TEST_F(DisplayTest, PicturesThatCannotBeReadAreRefused) {
    UseScreen(24);
    Picture good;
    MakeColour(good.get(), kPixelRGB, 4, 2, std::vector<Rgb>(8, Rgb{1, 2, 3}));
    const struct {
        const char* what;
        void (*spoil)(Bitmap*);
    } cases[] = {
        {"no pixels", [](Bitmap* b) { b->pixels = nullptr; }},
        {"rows too short", [](Bitmap* b) { b->bytesPerRow = 11; }},
        {"unknown type", [](Bitmap* b) { b->pixelType = 8; }},
        {"pixel size of another type", [](Bitmap* b) { b->bytesPerPixel = 4; }},
        {"no width", [](Bitmap* b) { b->width = 0; }},
        {"negative height", [](Bitmap* b) { b->height = -2; }},
    };
    for (const auto& c : cases) {
        Bitmap spoilt = good.b;
        c.spoil(&spoilt);
        Screen s;
        EXPECT_EQ(s.Prepare(&spoilt, 4, 2), 0) << c.what;
        EXPECT_EQ(s.sb.converter, nullptr) << c.what;
    }
    Screen s;
    EXPECT_EQ(s.Prepare(good.get(), 0, 2), 0);
    EXPECT_EQ(s.Prepare(nullptr, 4, 2), 0);

    DibServices noDib = *MemoryDibServices();
    noDib.createDib = RefuseDib;
    uint8_t* pixels = reinterpret_cast<uint8_t*>(&noDib);
    EXPECT_EQ(MakeScreenBitmapWith(&noDib, good.get(), 4, 2, &pixels), nullptr);
    EXPECT_EQ(pixels, nullptr);
}

TEST_F(DisplayTest, MissingScreenTablesRefuseThePictureThatNeedsThem) {
    DisplayReleaseTables();
    g_Display.screenBits = 16;  // as if the tables could not be allocated
    Picture p;
    MakeColour(p.get(), kPixelRGB, 2, 2, kFour);
    Screen s;
    EXPECT_EQ(s.Prepare(p.get(), 2, 2), 0);
    EXPECT_EQ(s.sb.converter, nullptr);
    g_Display.screenBits = 8;
    Screen c;
    EXPECT_EQ(c.Prepare(p.get(), 2, 2), 0);
}

TEST_F(DisplayTest, MakeScreenBitmapHandsOverBottomUpPixels) {
    UseScreen(32);
    Picture p;
    MakeColour(p.get(), kPixelRGB, 2, 2, kFour);
    uint8_t* pixels = nullptr;
    void* dib = MakeScreenBitmapWith(MemoryDibServices(), p.get(), 2, 2, &pixels);
    ASSERT_NE(dib, nullptr);
    ASSERT_EQ(pixels, dib);
    EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + 16), kFourAt24);  // first row in memory: the bottom one
    MemoryDibServices()->deleteDib(dib);

    // At another size it is scaled with the same maps.
    dib = MakeScreenBitmapWith(MemoryDibServices(), p.get(), 1, 1, &pixels);
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + 4), (std::vector<uint8_t>{0, 0, 255, 0}));
    MemoryDibServices()->deleteDib(dib);
    EXPECT_EQ(MakeScreenBitmapWith(MemoryDibServices(), p.get(), 0, 1, &pixels), nullptr);
}

}  // namespace
