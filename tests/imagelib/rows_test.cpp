// Row delivery: row addressing, mirror and bottom-up storage, scaling on the
// fly (nearest, smooth and box averaging) and after the load, blocks of
// columns, progress and cancel.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "fakereader.h"
#include "imagelib/pixelrows.h"

namespace {

using fake::Delivery;
using fake::g_readers;
using fake::Loaded;
using fake::Picture;
using Bytes = std::vector<uint8_t>;

class Rows : public fake::Pipeline {};

// All rows of a one-byte-per-pixel bitmap, without padding.
std::vector<Bytes> AllRows(const Loaded& out, size_t bytesPerRow) {
    std::vector<Bytes> rows;
    for (int y = 0; y < out.bitmap.height; ++y) rows.push_back(out.RowBytes(y, bytesPerRow));
    return rows;
}

// A grey picture delivered as blocks of `blockWidth` columns, block by block,
// each block row by row.
Picture GreyInBlocks(int width, int height, int blockWidth) {
    Picture p = fake::Rows(width, height, 1, 8, uint32_t(width), {}, 0);
    p.deliveries.clear();
    const Bytes ramp = fake::Ramp(width, height);
    for (int x = 0; x < width; x += blockWidth) {
        for (int y = 0; y < height; ++y) {
            Delivery d;
            d.strip = true;
            d.first = y;
            d.x = x;
            d.columns = blockWidth;
            for (int i = 0; i < blockWidth && x + i < width; ++i) d.rows.push_back(ramp[size_t(y * width + x + i)]);
            p.deliveries.push_back(d);
        }
    }
    return p;
}

TEST_F(Rows, Addressing) {
    // First row -1: the next row, in order.
    Picture next = fake::Rows(1, 3, 1, 8, 1, {1, 2, 3}, 1);
    for (auto& d : next.deliveries) d.first = -1;
    // Rows past the height are dropped, never wrapped onto the first rows.
    Picture past = fake::Rows(1, 3, 1, 8, 1, {1, 2, 3}, 1);
    past.deliveries.push_back({-1, -1, 1, {9}});
    past.deliveries.push_back({-1, 3, 1, {8}});
    past.deliveries.push_back({-1, 100000, 1, {7}});
    // A block of four rows at row 1 of a 3-row picture: the fourth is dropped.
    Picture block = fake::Rows(1, 3, 1, 8, 1, {}, 1);
    block.header.rowsPerCall = 4;
    block.deliveries = {{-1, 0, 1, {5}}, {-1, 1, 4, {1, 2, 3, 4}}};
    // More rows than declared per call: only the declared number is taken.
    Picture clipped = fake::Rows(1, 3, 1, 8, 1, {}, 1);
    clipped.deliveries = {{-1, 0, 3, {1, 2, 3}}};
    const std::pair<Picture*, std::vector<Bytes>> cases[] = {
        {&next, {{1}, {2}, {3}}},
        {&past, {{1}, {2}, {3}}},
        {&block, {{5}, {1}, {2}}},
        {&clipped, {{1}, {0}, {0}}},
    };
    for (const auto& c : cases) {
        Loaded out;
        fake::LoadFake(*c.first, options, &out);
        ASSERT_EQ(0, out.result);
        EXPECT_EQ(c.second, AllRows(out, 1));
    }
}

TEST_F(Rows, MirrorAndBottomUp) {
    struct Case {
        const char* name;
        uint16_t header;
        uint16_t options;
        int bits;
        std::vector<Bytes> expected;
    } cases[] = {
        {"as stored", 0, 0, 8, {{1, 2, 3, 4}, {5, 6, 7, 8}}},
        {"right to left", 0x1, 0, 8, {{4, 3, 2, 1}, {8, 7, 6, 5}}},
        {"mirror asked", 0, 0x1, 8, {{4, 3, 2, 1}, {8, 7, 6, 5}}},
        {"right to left, mirror asked", 0x1, 0x1, 8, {{1, 2, 3, 4}, {5, 6, 7, 8}}},
        {"bottom-up", 0x10, 0, 8, {{5, 6, 7, 8}, {1, 2, 3, 4}}},
        {"bottom-up, flip asked", 0x10, 0x10, 8, {{1, 2, 3, 4}, {5, 6, 7, 8}}},
        {"both", 0x11, 0, 8, {{8, 7, 6, 5}, {4, 3, 2, 1}}},
        {"colour mirrored", 0x1, 0, 24, {{10, 11, 12, 7, 8, 9, 4, 5, 6, 1, 2, 3}, {22, 23, 24, 19, 20, 21, 16, 17, 18, 13, 14, 15}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int n = c.bits / 8;
        Bytes rows;
        for (int i = 1; i <= 8 * n; ++i) rows.push_back(uint8_t(i));
        Picture p = fake::Rows(4, 2, 1, c.bits, uint32_t(4 * n), rows, size_t(4 * n));
        p.header.orientation = c.header;
        LoadOptions o = options;
        o.orientation = c.options;
        Loaded out;
        fake::LoadFake(p, o, &out);
        ASSERT_EQ(0, out.result);
        EXPECT_EQ(c.expected, AllRows(out, size_t(4 * n)));
        EXPECT_EQ(c.options, out.bitmap.orientation);
    }
}

TEST_F(Rows, BilevelMirror) {
    // Ten pixels 1100000001: mirrored 1000000011.
    Picture p = fake::Rows(10, 1, 1, 1, 2, {0xC0, 0x40}, 2);
    p.header.orientation = 0x1;
    Loaded out;
    fake::LoadFake(p, options, &out);
    ASSERT_EQ(0, out.result);
    ASSERT_EQ(kPixelBilevel, out.bitmap.pixelType);
    EXPECT_EQ(0x80, out.Row(0)[0]);
    EXPECT_EQ(0xC0, out.Row(0)[1] & 0xC0);
}

TEST_F(Rows, FitToTheTargetBox) {
    struct Case {
        int width, height, targetW, targetH;
        uint16_t method;
        int outW, outH;
    } cases[] = {
        {1000, 500, 100, 100, 0, 100, 50},
        {1000, 500, 100, 30, 0, 60, 30},
        {50, 50, 100, 100, 0, 50, 50},
        {50, 50, -1, 100, 0, 50, 50},
        {3, 1000, 100, 10, 0, 1, 10},  // a side rounds to 0: 1
        {1000, 500, 100, 100, 2, 100, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " into " +
                     std::to_string(c.targetW) + "x" + std::to_string(c.targetH));
        Picture p = fake::Rows(c.width, c.height, 1, 24, uint32_t(3 * c.width), {}, 0);
        LoadOptions o = fake::Fitted(options, c.targetW, c.targetH, 0);
        o.scaleMethod = c.method;
        Loaded out;
        fake::LoadFake(p, o, &out);
        ASSERT_EQ(0, out.result);
        EXPECT_EQ(c.outW, out.bitmap.width);
        EXPECT_EQ(c.outH, out.bitmap.height);
    }
}

TEST_F(Rows, NearestScaling) {
    // Five rows into two keep rows 0 and 3; five columns into two keep the
    // last source column of each output column (2 and 4).
    Picture tall = fake::Rows(1, 5, 1, 8, 1, {0, 10, 20, 30, 40}, 1);
    Picture wide = fake::Rows(5, 1, 1, 8, 5, {0, 1, 2, 3, 4}, 5);
    // Bilevel: ten pixels into five take columns 0, 2, 4, 6, 8.
    Picture bits = fake::Rows(10, 1, 1, 1, 2, {0xAA, 0x80}, 2);
    struct Case {
        const char* name;
        Picture* p;
        int targetW, targetH;
        uint16_t orientation;
        std::vector<Bytes> expected;
    } cases[] = {
        {"rows", &tall, 1, 2, 0, {{0}, {30}}},
        {"rows bottom-up", &tall, 1, 2, 0x10, {{40}, {10}}},
        {"columns", &wide, 2, 1, 0, {{2, 4}}},
        {"columns mirrored", &wide, 2, 1, 0x1, {{2, 0}}},
        {"bilevel", &bits, 5, 1, 0, {{0xF8}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Loaded out;
        fake::LoadFake(*c.p, fake::Fitted(options, c.targetW, c.targetH, c.orientation), &out);
        ASSERT_EQ(0, out.result);
        EXPECT_EQ(c.expected, AllRows(out, c.expected[0].size()));
    }
}

// A reader may leave the rows a fit by point samples drops unfilled: the
// load names them (one source row per output row is kept, the first that
// maps to it, counted from the bottom for bottom-up storage); every row is
// used by a full load and by one that averages.
TEST_F(Rows, RowsTheLoadDrops) {
    Picture tall = fake::Rows(1, 5, 1, 8, 1, {0, 10, 20, 30, 40}, 1);
    tall.header.flags = kHeaderGreyLevels;
    struct Case {
        const char* name;
        int targetW, targetH;
        uint16_t orientation;
        uint32_t flags;
        std::vector<bool> used;
    } cases[] = {
        {"point samples", 1, 2, 0, 0, {true, false, false, true, false}},
        {"point samples, bottom-up", 1, 2, 0x10, 0, {false, true, false, false, true}},
        {"averaged", 1, 2, 0, kLoadReduced, {true, true, true, true, true}},
        {"full size", 0, 0, 0, 0, {true, true, true, true, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<bool> used;
        tall.afterRows = [&](LoadContext* ctx) {
            for (int32_t y = 0; y < 5; ++y) used.push_back(LoadUsesRow(ctx, y));
        };
        LoadOptions o = fake::Fitted(options, c.targetW, c.targetH, c.orientation);
        o.flags |= c.flags | kLoadNoBilevel;
        Loaded out;
        fake::LoadFake(tall, o, &out);
        ASSERT_EQ(0, out.result);
        EXPECT_EQ(c.used, used);
    }
}

// Blocks of columns land where whole rows would: with and without nearest
// scaling, mirrored or not, whatever column a block starts at.
TEST_F(Rows, BlocksOfColumnsMatchWholeRows) {
    struct Case {
        const char* name;
        int targetW, targetH;
        uint16_t orientation;
        int blockWidth;
    } cases[] = {
        {"full size", -1, -1, 0, 3},
        {"full size mirrored", -1, -1, 0x11, 3},
        {"nearest", 4, 4, 0, 2},
        {"nearest, odd blocks", 3, 3, 0, 3},
        {"nearest mirrored", 4, 4, 0x1, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LoadOptions o = fake::Fitted(options, c.targetW, c.targetH, c.orientation);
        Loaded rows;
        fake::LoadFake(fake::Rows(8, 8, 1, 8, 8, fake::Ramp(8, 8), 8), o, &rows);
        Loaded blocks;
        fake::LoadFake(GreyInBlocks(8, 8, c.blockWidth), o, &blocks);
        ASSERT_EQ(0, rows.result);
        ASSERT_EQ(0, blocks.result);
        ASSERT_EQ(rows.bitmap.width, blocks.bitmap.width);
        EXPECT_EQ(AllRows(rows, size_t(rows.bitmap.width)), AllRows(blocks, size_t(blocks.bitmap.width)));
    }
}

TEST_F(Rows, BilevelBlocksAtAnyColumn) {
    // Twelve pixels 101100111000 in blocks of 5, 5 and 2 columns.
    Picture p = fake::Rows(12, 1, 1, 1, 2, {}, 0);
    p.deliveries = {
        {-1, 0, 1, {0xB0}, true, 0, 5},  // 10110
        {-1, 0, 1, {0x70}, true, 5, 5},  // 01110
        {-1, 0, 1, {0x00}, true, 10, 2}, // 00
    };
    Loaded out;
    fake::LoadFake(p, options, &out);
    ASSERT_EQ(0, out.result);
    EXPECT_EQ(0xB3, out.Row(0)[0]);
    EXPECT_EQ(0x80, out.Row(0)[1] & 0xF0);
}

TEST_F(Rows, BlockColumnsAreChecked) {
    Picture p = fake::Rows(4, 1, 1, 8, 4, {}, 0);
    p.deliveries = {
        {-1, 0, 1, {1, 2, 3, 4, 5, 6}, true, 2, 6},  // cut to 2 columns
        {-1, 0, 1, {9}, true, 4, 1},                 // past the width
        {-1, 0, 1, {9}, true, -1, 1},                // before the first column
    };
    Loaded out;
    fake::LoadFake(p, options, &out);
    ASSERT_EQ(0, out.result);
    EXPECT_EQ(Bytes({0, 0, 1, 2}), out.RowBytes(0, 4));
}

// Smooth scaling averages areas in fixed point; 64-bit sums keep pictures
// that put tens of thousands of source pixels into one output pixel right
// (box averaging too).
TEST_F(Rows, SmoothScaling) {
    // 4 x 4 colour picture, each 2 x 2 block averaging to a known colour.
    Bytes rows;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const int block = (y / 2) * 2 + x / 2;
            const int v = 40 * block + ((x + y) % 2 ? 10 : 30);  // average 40 * block + 20
            rows.insert(rows.end(), {uint8_t(v), uint8_t(v + 1), uint8_t(v + 2)});
        }
    struct Case {
        const char* name;
        uint16_t orientation;
        std::vector<Bytes> expected;
    } cases[] = {
        {"as stored", 0, {{20, 21, 22, 60, 61, 62}, {100, 101, 102, 140, 141, 142}}},
        {"mirrored", 0x1, {{60, 61, 62, 20, 21, 22}, {140, 141, 142, 100, 101, 102}}},
        {"bottom-up", 0x10, {{100, 101, 102, 140, 141, 142}, {20, 21, 22, 60, 61, 62}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoadOptions o = fake::Fitted(options, 2, 2, c.orientation);
        o.scaleMethod = 2;
        Loaded out;
        fake::LoadFake(fake::Rows(4, 4, 1, 24, 12, rows, 12), o, &out);
        ASSERT_EQ(0, out.result);
        ASSERT_EQ(2, out.bitmap.width);
        EXPECT_EQ(c.expected, AllRows(out, 6));
    }
}

TEST_F(Rows, SmoothScalingOfManyPixelsIntoOne) {
    struct Case {
        int width, height;
    } cases[] = {{200, 200}, {100000, 1}, {3, 30000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const size_t rowBytes = size_t(c.width) * 3;
        Picture p = fake::Rows(c.width, 1, 1, 24, uint32_t(rowBytes), Bytes(rowBytes, 250), rowBytes);
        p.header.height = c.height;
        p.header.rowsPerCall = 1;
        p.deliveries.assign(size_t(c.height), p.deliveries[0]);
        for (auto& d : p.deliveries) d.first = -1;
        for (const bool smooth : {true, false}) {
            SCOPED_TRACE(smooth ? "smooth" : "box");
            LoadOptions o = fake::Fitted(options, 1, 1, 0);
            if (smooth) o.scaleMethod = 2;
            else o.flags |= kLoadReduced;
            Loaded out;
            fake::LoadFake(p, o, &out);
            ASSERT_EQ(0, out.result);
            ASSERT_EQ(1, out.bitmap.width);
            ASSERT_EQ(1, out.bitmap.height);
            EXPECT_EQ(Bytes({250, 250, 250}), out.RowBytes(0, 3));
        }
    }
}

// A reduced (thumbnail) load without smooth scaling averages each output
// pixel over the source pixels that map to it, where point samples would
// pick one of them.
TEST_F(Rows, BoxAveragingOfReducedLoads) {
    // Grey RGB pixels of value v.
    const auto grey = [](std::initializer_list<int> values) {
        Bytes rows;
        for (int v : values) rows.insert(rows.end(), {uint8_t(v), uint8_t(v), uint8_t(v)});
        return rows;
    };
    // 4 x 4, each 2 x 2 block averaging to 40 x block + 20 (its own colour).
    Bytes blocks;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const int v = 40 * ((y / 2) * 2 + x / 2) + ((x + y) % 2 ? 10 : 30);
            blocks.insert(blocks.end(), {uint8_t(v), uint8_t(v + 1), uint8_t(v + 2)});
        }
    struct Case {
        const char* name;
        Picture picture;
        int targetW, targetH;
        uint16_t orientation;
        std::vector<Bytes> expected;
    } cases[] = {
        {"blocks", fake::Rows(4, 4, 1, 24, 12, blocks, 12), 2, 2, 0,
         {{20, 21, 22, 60, 61, 62}, {100, 101, 102, 140, 141, 142}}},
        {"blocks mirrored", fake::Rows(4, 4, 1, 24, 12, blocks, 12), 2, 2, 0x1,
         {{60, 61, 62, 20, 21, 22}, {140, 141, 142, 100, 101, 102}}},
        {"blocks bottom-up", fake::Rows(4, 4, 1, 24, 12, blocks, 12), 2, 2, 0x10,
         {{100, 101, 102, 140, 141, 142}, {20, 21, 22, 60, 61, 62}}},
        // Stripes one pixel wide: their mean, where point samples give 0 or 255.
        {"stripes", fake::Rows(8, 1, 1, 24, 24, grey({0, 255, 0, 255, 0, 255, 0, 255}), 24), 2, 2, 0,
         {{128, 128, 128, 128, 128, 128}}},
        // Five columns into two: columns 0-2 and 3-4; three rows into one.
        {"uneven cells", fake::Rows(5, 3, 1, 24, 15, grey({0, 10, 20, 30, 40, 0, 10, 20, 30, 40, 6, 16, 26, 36, 46}), 15),
         2, 1, 0, {{12, 12, 12, 37, 37, 37}}},
    };
    // A picture cut short: the last output row holds the means of the rows
    // that came.
    Case cut{"cut short", fake::Rows(2, 4, 1, 24, 6, grey({10, 30, 50, 70, 90, 110, 0, 0}), 6), 1, 2, 0,
             {{40, 40, 40}, {100, 100, 100}}};
    cut.picture.deliveries.pop_back();
    for (const Case& c : {cases[0], cases[1], cases[2], cases[3], cases[4], cut}) {
        SCOPED_TRACE(c.name);
        LoadOptions o = fake::Fitted(options, c.targetW, c.targetH, c.orientation);
        o.flags |= kLoadReduced;
        Loaded out;
        fake::LoadFake(c.picture, o, &out);
        ASSERT_EQ(0, out.result);
        ASSERT_EQ(int(c.expected[0].size() / 3), out.bitmap.width);
        ASSERT_EQ(int(c.expected.size()), out.bitmap.height);
        EXPECT_EQ(c.expected, AllRows(out, c.expected[0].size()));
    }
}

// Every kind of pixel is averaged: grey levels and palette indexes the
// reader declared before the rows (as levels widened to bytes, and as their
// colours), four samples with colours weighted by alpha, planes delivered
// separately, and rows that come out of order. Values declared neither way
// are point-sampled, as averaging indexes would mix unrelated colours.
TEST_F(Rows, BoxAveragingOfEveryKind) {
    const auto picture = [](int width, int height, int planes, int bits, Bytes rows, uint32_t flags) {
        const uint32_t rowBytes = uint32_t(rows.size()) / uint32_t(height * planes);
        // One delivery per row of each plane; the header then says what they are.
        Picture p = fake::Rows(width, height * planes, 1, bits, rowBytes, rows, rowBytes);
        p.header.height = height;
        p.header.planes = int16_t(planes);
        p.header.bytesPerPlane = rowBytes;
        p.header.flags = flags;
        for (size_t i = 0; i < p.deliveries.size(); ++i) {
            p.deliveries[i].plane = planes == 1 ? -1 : int(i) / height;
            p.deliveries[i].first = int(i) % height;
        }
        return p;
    };
    Picture twoColours = picture(4, 1, 1, 4, {0x01, 0x01}, 0);
    twoColours.palette = {255, 0, 0, 0, 0, 255};
    twoColours.palette.resize(16 * 3);
    twoColours.hasPalette = twoColours.declarePalette = true;
    twoColours.paletteLayout = kPaletteTriples;
    Picture undeclared = twoColours;
    undeclared.declarePalette = false;
    Picture inverted = picture(8, 1, 1, 1, {0xC3}, kHeaderGreyLevels);
    inverted.paletteLayout = kPaletteGreyInverted;
    Picture outOfOrder = picture(1, 4, 1, 8, {0, 255, 0, 255}, kHeaderGreyLevels | kHeaderRowsOutOfOrder);
    std::swap(outOfOrder.deliveries[1], outOfOrder.deliveries[2]);  // rows 0, 2, 1, 3
    struct Case {
        const char* name;
        Picture picture;
        int targetW, targetH;
        uint16_t type;
        std::vector<Bytes> expected;
    } cases[] = {
        {"grey levels", picture(4, 1, 1, 8, {0, 255, 0, 255}, kHeaderGreyLevels), 2, 1, kPixelGrey, {{128, 128}}},
        {"one-bit grey levels", picture(8, 1, 1, 1, {0xAA}, kHeaderGreyLevels), 2, 1, kPixelGrey, {{128, 128}}},
        {"one-bit levels, 1 black", inverted, 2, 1, kPixelGrey, {{127, 127}}},
        {"palette colours", twoColours, 1, 1, kPixelRGBA, {{128, 0, 128, 255}}},
        {"undeclared indexes", undeclared, 1, 1, kPixelPalette, {{1}}},
        {"colours weighted by alpha", picture(2, 1, 1, 32, {255, 255, 255, 255, 0, 0, 0, 0}, 0), 1, 1, kPixelRGBA,
         {{255, 255, 255, 128}}},
        {"alpha zero throughout", picture(2, 1, 1, 32, {200, 0, 0, 0, 100, 0, 0, 0}, kHeaderMayHaveAlpha), 1, 1,
         kPixelRGBA, {{150, 0, 0, 255}}},
        {"planes one by one", picture(2, 1, 3, 8, {0, 255, 10, 30, 100, 200}, kHeaderSeparatePlanes), 1, 1,
         kPixelRGBA, {{128, 20, 150, 255}}},
        {"rows out of order", outOfOrder, 1, 2, kPixelGrey, {{128}, {128}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoadOptions o = fake::Fitted(options, c.targetW, c.targetH, 0);
        o.flags |= kLoadReduced | kLoadPreferFourBytes;
        o.pixelOrder = 0;
        Loaded out;
        fake::LoadFake(c.picture, o, &out);
        ASSERT_EQ(0, out.result);
        EXPECT_EQ(c.type, out.bitmap.pixelType);
        EXPECT_EQ(c.expected, AllRows(out, c.expected[0].size()));
    }
}

// Averages of values of every depth up to 8 bits, grey levels or palette
// colours, packed ones taken straight from the reader's rows, match the
// means of what they map to, for runs that start and end inside a byte,
// span whole bytes, or span more than eight of them.
TEST_F(Rows, BoxAveragingOfValuesOfEveryDepth) {
    for (bool palette : {false, true}) {
        for (int bits : {1, 2, 4, 8}) {
            for (const auto& size : std::vector<std::pair<int, int>>{{150, 2}, {37, 5}, {600, 3}, {9, 4}}) {
                const int width = size.first, outW = size.second;
                SCOPED_TRACE(std::string(palette ? "palette, " : "grey, ") + std::to_string(bits) + " bits, " +
                             std::to_string(width) + " into " + std::to_string(outW));
                const int rowBytes = (width * bits + 7) / 8;
                Bytes row(size_t(rowBytes) * 2);
                uint32_t seed = 12345u + uint32_t(bits * 7 + width);
                for (uint8_t& b : row) b = uint8_t((seed = seed * 1103515245u + 12345u) >> 24);
                Picture p = fake::Rows(width, 2, 1, bits, uint32_t(rowBytes), row, size_t(rowBytes));
                const unsigned max = (1u << bits) - 1;
                const int samples = palette ? 3 : 1;
                if (palette) {
                    for (unsigned i = 0; i < 256; ++i)
                        p.palette.insert(p.palette.end(), {uint8_t(i * 37), uint8_t(255 - i), uint8_t(i * i)});
                    p.hasPalette = p.declarePalette = true;
                    p.paletteLayout = kPaletteTriples;
                } else {
                    p.header.flags = kHeaderGreyLevels;
                }
                const auto mapped = [&](int y, int x, int k) {
                    const uint8_t byte = row[size_t(y * rowBytes + x * bits / 8)];
                    const unsigned v = (byte >> (8 - bits - (x * bits) % 8)) & max;
                    return palette ? unsigned(p.palette[v * 3 + unsigned(k)]) : v * 255u / max;
                };
                // The expected means: each output column holds the source
                // columns from ceil(X x width / outW) on, of both rows.
                Bytes expected;
                for (int c = 0; c < outW; ++c) {
                    const int first = (c * width + outW - 1) / outW, end = ((c + 1) * width + outW - 1) / outW;
                    for (int k = 0; k < samples; ++k) {
                        unsigned sum = 0, n = 0;
                        for (int y = 0; y < 2; ++y)
                            for (int x = first; x < end; ++x, ++n) sum += mapped(y, x, k);
                        expected.push_back(uint8_t((sum + n / 2) / n));
                    }
                    if (palette) expected.push_back(255);
                }
                LoadOptions o = fake::Fitted(options, outW, 1, 0);
                o.flags |= kLoadReduced | kLoadPreferFourBytes;
                o.pixelOrder = 0;
                Loaded out;
                fake::LoadFake(p, o, &out);
                ASSERT_EQ(0, out.result);
                EXPECT_EQ(palette ? kPixelRGBA : kPixelGrey, out.bitmap.pixelType);
                EXPECT_EQ(expected, out.RowBytes(0, expected.size()));
            }
        }
    }
}

// Blocks of columns cannot be summed row by row: a reduced load delivered in
// blocks is scaled as an ordinary load is, to the same size.
TEST_F(Rows, BoxAveragingFallsBackToNearestForBlocks) {
    Bytes rgb;
    for (uint8_t v : fake::Ramp(8, 8)) rgb.insert(rgb.end(), {v, v, v});
    Picture blocks = fake::Rows(8, 8, 1, 24, 24, {}, 0);
    blocks.deliveries.clear();
    for (int x = 0; x < 8; x += 3)
        for (int y = 0; y < 8; ++y) {
            Delivery d;
            d.strip = true;
            d.first = y;
            d.x = x;
            d.columns = 3;
            for (int i = 0; i < 3 && x + i < 8; ++i)
                d.rows.insert(d.rows.end(), rgb.begin() + (y * 8 + x + i) * 3, rgb.begin() + (y * 8 + x + i + 1) * 3);
            blocks.deliveries.push_back(d);
        }
    LoadOptions o = fake::Fitted(options, 4, 4, 0);
    Loaded nearest;
    fake::LoadFake(blocks, o, &nearest);
    o.flags |= kLoadReduced;
    Loaded reduced;
    fake::LoadFake(blocks, o, &reduced);
    ASSERT_EQ(0, nearest.result);
    ASSERT_EQ(0, reduced.result);
    ASSERT_EQ(4, reduced.bitmap.width);
    ASSERT_EQ(4, reduced.bitmap.height);
    EXPECT_EQ(AllRows(nearest, 12), AllRows(reduced, 12));
}

// What cannot be scaled while the rows arrive is scaled once the picture is
// complete, to the same box.
TEST_F(Rows, ScalingAfterTheLoad) {
    struct Case {
        const char* name;
        uint32_t headerFlags;
        int bits;
        uint16_t method;
        bool blocks;
        int outW, outH;
        uint16_t type;
    } cases[] = {
        {"nearest, declared for after the load", kHeaderFitAfterLoad, 8, 0, false, 3, 2, kPixelGrey},
        {"nearest, tiles", kHeaderFitAfterLoad2, 8, 0, false, 3, 2, kPixelGrey},
        {"smooth of grey", 0, 8, 2, false, 3, 2, kPixelGrey},
        {"smooth of colour with alpha", 0, 32, 2, false, 3, 2, kPixelRGBA},
        {"smooth of colour in blocks", 0, 24, 2, true, 3, 2, kPixelRGB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int n = c.bits / 8;
        Picture p = fake::Rows(12, 8, 1, c.bits, uint32_t(12 * n), Bytes(size_t(12 * 8 * n), 90), size_t(12 * n));
        p.header.flags = c.headerFlags;
        if (c.blocks) {
            for (auto& d : p.deliveries) {
                d.strip = true;
                d.columns = 6;
            }
            const size_t count = p.deliveries.size();
            for (size_t i = 0; i < count; ++i) {
                Delivery right = p.deliveries[i];
                right.x = 6;
                p.deliveries.push_back(right);
            }
        }
        LoadOptions o = fake::Fitted(options, 3, 3, 0);
        o.scaleMethod = c.method;
        Loaded out;
        fake::LoadFake(p, o, &out);
        ASSERT_EQ(0, out.result);
        EXPECT_EQ(c.outW, out.bitmap.width);
        EXPECT_EQ(c.outH, out.bitmap.height);
        EXPECT_EQ(c.type, out.bitmap.pixelType);
        EXPECT_EQ(90, out.Row(1)[0]);
    }
}

struct Recorder {
    std::vector<std::pair<int, int>> rows;
    std::vector<int> percents;
    int cancelAtRow = -1;
    int cancelAnswer = 0;
    int cancelCalls = 0;
};

int RecordRow(int32_t row, int32_t total, uintptr_t user) {
    auto* r = reinterpret_cast<Recorder*>(user);
    r->rows.emplace_back(row, total);
    return row == r->cancelAtRow ? 1 : 0;
}

void RecordPercent(int32_t percent, uintptr_t user) { reinterpret_cast<Recorder*>(user)->percents.push_back(percent); }

int AnswerCancel(uintptr_t user) {
    auto* r = reinterpret_cast<Recorder*>(user);
    ++r->cancelCalls;
    return r->cancelAnswer;
}

TEST_F(Rows, ProgressAndCancel) {
    struct Case {
        const char* name;
        int cancelAtRow;
        int cancelAnswer;
        int result;
        size_t rowsSeen;
    } cases[] = {
        {"to the end", -1, 0, 0, 4},
        {"row callback cancels", 1, 0, 15, 2},
        {"cancel callback's low byte is 0", -1, 0x100, 0, 4},
        {"cancel callback stops", -1, 1, 15, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Recorder rec;
        rec.cancelAtRow = c.cancelAtRow;
        rec.cancelAnswer = c.cancelAnswer;
        LoadOptions o = options;
        o.rowCallback = RecordRow;
        o.rowCallbackUser = reinterpret_cast<uintptr_t>(&rec);
        o.progressCallback = RecordPercent;
        o.progressUser = reinterpret_cast<uintptr_t>(&rec);
        o.cancelCallback = AnswerCancel;
        o.cancelUser = reinterpret_cast<uintptr_t>(&rec);
        Loaded out;
        fake::LoadFake(fake::Rows(1, 4, 1, 8, 1, {1, 2, 3, 4}, 1), o, &out);
        EXPECT_EQ(c.result, out.result);
        EXPECT_EQ(c.rowsSeen, rec.rows.size());
        for (size_t i = 0; i < rec.rows.size(); ++i) EXPECT_EQ(std::make_pair(int(i), 4), rec.rows[i]);
        if (c.result == 0) {
            EXPECT_EQ((std::vector<int>{25, 50, 75, 100}), rec.percents);
        } else {
            EXPECT_EQ(nullptr, out.bitmap.pixels);
            // The reader was told at the call that cancelled and stopped.
            EXPECT_EQ(kLoadCancelled, g_readers[0].putResults.back());
        }
    }
}

TEST_F(Rows, CancelLatches) {
    Recorder rec;
    rec.cancelAtRow = 0;
    LoadOptions o = options;
    o.rowCallback = RecordRow;
    o.rowCallbackUser = reinterpret_cast<uintptr_t>(&rec);
    int checked = -1;
    int afterwards = -1;
    Picture p = fake::Rows(1, 2, 1, 8, 1, {1, 2}, 1);
    p.deliveries.clear();
    p.afterRows = [&](LoadContext* ctx) {
        checked = CheckLoadCancelled(ctx);
        afterwards = PutScanlines(ctx, -1, 0, 1);
    };
    Loaded out;
    fake::LoadFake(p, o, &out);
    EXPECT_EQ(1, checked);
    EXPECT_EQ(kLoadCancelled, afterwards);
    ASSERT_EQ(1u, rec.rows.size());
    EXPECT_EQ(std::make_pair(0, 1), rec.rows[0]);
}

TEST_F(Rows, ProgressBarAndVerboseText) {
    Picture p = fake::Rows(1, 120, 1, 8, 1, Bytes(120, 0), 1);
    std::strcpy(p.header.description, "Fake picture");
    p.header.xResolution = 300;
    p.header.yResolution = 300;
    LoadOptions o = options;
    o.flags = kLoadProgressBar | kLoadVerbose;
    Loaded out;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    fake::LoadFake(p, o, &out, L"pic.fak");
    const std::string text = testing::internal::GetCapturedStdout();
    const std::string bar = testing::internal::GetCapturedStderr();
    ASSERT_EQ(0, out.result);
    EXPECT_EQ(std::string(60, '-') + "\r" + std::string(60, '*') + "\n", bar);
    EXPECT_NE(std::string::npos, text.find("A Fake picture (RGB) was recognized : pic.fak\n"));
    EXPECT_NE(std::string::npos, text.find("    Width:1 Height:120 with 256 colors\n"));
    EXPECT_NE(std::string::npos, text.find("    xdpi : 300         ydpi : 300\n"));
}

}  // namespace
