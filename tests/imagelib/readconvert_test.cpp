// Source layouts and output modes: one row of each layout a reader can
// declare goes through the whole load, and the stored pixels are checked.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fakereader.h"
#include "imagelib/readconvert.h"

namespace {

using fake::Loaded;
using fake::Picture;
using Bytes = std::vector<uint8_t>;

struct LayoutCase {
    const char* name;
    uint32_t headerFlags;
    int planes;
    int bits;
    uint32_t bytesPerPlane;
    int width;
    Bytes row;
    uint32_t loadFlags;
    uint16_t order;
    uint16_t type;
    Bytes pixels;  // the stored row (packed bytes for bilevel)
    uint8_t alpha = 255;
};

// Little-endian 16-bit words.
Bytes Words(std::initializer_list<uint16_t> words) {
    Bytes b;
    for (uint16_t w : words) {
        b.push_back(uint8_t(w));
        b.push_back(uint8_t(w >> 8));
    }
    return b;
}

class Layouts : public fake::Pipeline {};

TEST_F(Layouts, EveryUnpackerAndStorer) {
    const LayoutCase cases[] = {
        // Bilevel and packed index or grey sources.
        {"1-bit packed", 0, 1, 1, 1, 3, {0xA0}, 0, 0, kPixelBilevel, {0xA0}},
        {"1-bit one byte per pixel", 0x2, 1, 1, 3, 3, {1, 0, 1}, 0, 0, kPixelBilevel, {0xA0}},
        {"1-bit packed, no bilevel", 0, 1, 1, 1, 3, {0xA0}, kLoadNoBilevel, 0, kPixelGrey, {255, 0, 255}},
        {"2-bit packed", 0, 1, 2, 1, 4, {0x1B}, 0, 0, kPixelGrey, {0, 1, 2, 3}},
        {"4-bit packed", 0, 1, 4, 2, 3, {0x1F, 0x80}, 0, 0, kPixelGrey, {1, 15, 8}},
        {"8-bit", 0, 1, 8, 3, 3, {5, 6, 7}, 0, 0, kPixelGrey, {5, 6, 7}},
        {"3-bit one byte per pixel", kLayoutBytePerPixel, 1, 3, 3, 3, {1, 7, 3}, 0, 0, kPixelGrey, {1, 7, 3}},
        {"interleaved bit planes", kLayoutInterleavedPlanes, 2, 1, 2, 4, {0xA0, 0x00, 0x60, 0x00}, 0, 0, kPixelGrey, {1, 2, 3, 0}},
        {"line bit planes", 0, 2, 1, 1, 4, {0xA0, 0x60}, 0, 0, kPixelGrey, {1, 2, 3, 0}},
        // Words and colour bytes.
        {"12-bit", 0, 1, 12, 3, 2, {0x12, 0x34, 0x56}, 0, 0, kPixelRGB, {17, 34, 51, 68, 85, 102}},
        {"15-bit", 0, 1, 15, 4, 2, Words({0x7FFF, 0x4000}), 0, 0, kPixelRGB, {255, 255, 255, 131, 0, 0}},
        {"15-bit blue high", kLayout555BlueHigh, 1, 15, 4, 2, Words({0x001F, 0x7C00}), 0, 0, kPixelRGB, {255, 0, 0, 0, 0, 255}},
        {"16-bit ignores blue high", kLayout555BlueHigh, 1, 16, 2, 1, Words({0x7C00}), 0, 0, kPixelRGB, {255, 0, 0}},
        {"16-bit 4-4-4 high", kLayout444High, 1, 16, 4, 2, Words({0xF000, 0x00F0}), 0, 0, kPixelRGB, {255, 0, 0, 0, 0, 255}},
        {"16-bit 4-4-4 low", kLayout444Low, 1, 16, 4, 2, Words({0x0F00, 0xF00F}), 0, 0, kPixelRGB, {255, 0, 0, 0, 0, 255}},
        {"5-6-5", kLayout565, 1, 16, 4, 2, Words({0x07E0, 0x0400}), 0, 0, kPixelRGB, {0, 255, 0, 0, 129, 0}},
        {"5-5-5 green 6-10", 0x1000, 1, 16, 4, 2, Words({0x07C0, 0x0020}), 0, 0, kPixelRGB, {0, 255, 0, 0, 0, 0}},
        {"5-5-5 green 5-9", 0x2000, 1, 16, 4, 2, Words({0x03E0, 0x0400}), 0, 0, kPixelRGB, {0, 255, 0, 0, 0, 0}},
        {"24 RGB", 0, 1, 24, 3, 1, {1, 2, 3}, 0, 0, kPixelRGB, {1, 2, 3}},
        {"24 reversed", 0x8, 1, 24, 3, 1, {1, 2, 3}, 0, 0, kPixelRGB, {3, 2, 1}},
        {"24 alpha-first flag", 0x10, 1, 24, 3, 1, {1, 2, 3}, 0, 0, kPixelRGB, {1, 2, 3}},
        {"24 B, G, R flag", 0x20, 1, 24, 3, 1, {1, 2, 3}, 0, 0, kPixelRGB, {3, 2, 1}},
        {"32 RGBA", 0, 1, 32, 4, 1, {1, 2, 3, 4}, 0, 0, kPixelRGBA, {1, 2, 3, 4}},
        {"32 ABGR", 0x8, 1, 32, 4, 1, {1, 2, 3, 4}, 0, 0, kPixelRGBA, {4, 3, 2, 1}},
        {"32 ARGB", 0x10, 1, 32, 4, 1, {1, 2, 3, 4}, 0, 0, kPixelRGBA, {2, 3, 4, 1}},
        {"32 BGRA", 0x20, 1, 32, 4, 1, {1, 2, 3, 4}, 0, 0, kPixelRGBA, {3, 2, 1, 4}},
        {"planar 3", 0, 3, 8, 2, 2, {1, 2, 3, 4, 5, 6}, 0, 0, kPixelRGB, {1, 3, 5, 2, 4, 6}},
        {"planar 3 reversed", 0x8, 3, 8, 2, 2, {1, 2, 3, 4, 5, 6}, 0, 0, kPixelRGB, {5, 3, 1, 6, 4, 2}},
        {"planar 4", 0, 4, 8, 1, 1, {1, 2, 3, 4}, 0, 0, kPixelRGBA, {1, 2, 3, 4}},
        {"planar 4 reversed", 0x8, 4, 8, 1, 1, {1, 2, 3, 4}, 0, 0, kPixelRGBA, {4, 3, 2, 1}},
        {"planar 4 alpha first", 0x10, 4, 8, 1, 1, {1, 2, 3, 4}, 0, 0, kPixelRGBA, {2, 3, 4, 1}},
        // Output byte orders.
        {"24 order 1", 0, 1, 24, 3, 1, {1, 2, 3}, 0, 1, kPixelBGR, {3, 2, 1}},
        {"24 four bytes order 0", 0, 1, 24, 3, 1, {1, 2, 3}, kLoadPreferFourBytes, 0, kPixelRGBA, {1, 2, 3, 7}, 7},
        {"24 four bytes order 1", 0, 1, 24, 3, 1, {1, 2, 3}, kLoadPreferFourBytes, 1, kPixelABGR, {255, 3, 2, 1}},
        {"24 four bytes order 2", 0, 1, 24, 3, 1, {1, 2, 3}, kLoadPreferFourBytes, 2, kPixelBGRA, {3, 2, 1, 255}},
        {"24 four bytes order 3", 0, 1, 24, 3, 1, {1, 2, 3}, kLoadPreferFourBytes, 3, kPixelARGB, {255, 1, 2, 3}},
        {"32 three bytes", 0, 1, 32, 4, 1, {1, 2, 3, 4}, kLoadPreferThreeBytes, 0, kPixelRGB, {1, 2, 3}},
        {"32 three bytes order 1", 0, 1, 32, 4, 1, {1, 2, 3, 4}, kLoadPreferThreeBytes, 1, kPixelBGR, {3, 2, 1}},
        {"32 order 1", 0, 1, 32, 4, 1, {1, 2, 3, 4}, 0, 1, kPixelABGR, {4, 3, 2, 1}},
        {"32 order 2", 0, 1, 32, 4, 1, {1, 2, 3, 4}, 0, 2, kPixelBGRA, {3, 2, 1, 4}},
        {"32 order 3", 0, 1, 32, 4, 1, {1, 2, 3, 4}, 0, 3, kPixelARGB, {4, 1, 2, 3}},
        // Grey widened to colour: the levels are scaled.
        {"grey to colour", 0, 1, 8, 1, 1, {9}, kLoadLowDepthAsColour, 0, kPixelRGB, {9, 9, 9}},
        {"grey to four bytes order 1", 0, 1, 8, 1, 1, {9}, kLoadLowDepthAsColour | kLoadPreferFourBytes, 1,
         kPixelABGR, {255, 9, 9, 9}},
        {"4-bit grey to colour", 0, 1, 4, 1, 2, {0xF8}, kLoadLowDepthAsColour, 0, kPixelRGB,
         {255, 255, 255, 136, 136, 136}},
        {"1-bit grey to colour order 1", 0, 1, 1, 1, 2, {0x80}, kLoadLowDepthAsColour, 1, kPixelBGR,
         {255, 255, 255, 0, 0, 0}},
        {"1-bit grey to four bytes order 3", 0, 1, 1, 1, 2, {0x80}, kLoadLowDepthAsColour | kLoadPreferFourBytes, 3,
         kPixelARGB, {9, 255, 255, 255, 9, 0, 0, 0}, 9},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        Picture p = fake::Rows(c.width, 1, c.planes, c.bits, c.bytesPerPlane, c.row, c.row.size());
        p.header.flags = c.headerFlags;
        LoadOptions o = fake::With(options, c.loadFlags, c.order);
        o.alphaValue = c.alpha;
        fake::ExpectFirstRow(p, o, c.type, c.pixels);
    }
}

// Planes delivered one call per plane row, with a plane index.
TEST_F(Layouts, SeparatePlanes) {
    struct Case {
        const char* name;
        int planes;
        int bits;
        uint32_t loadFlags;
        uint16_t order;
        std::vector<Bytes> planeRows;
        uint16_t type;
        Bytes pixels;
    } cases[] = {
        {"three byte planes", 3, 8, 0, 0, {{1, 2}, {3, 4}, {5, 6}}, kPixelRGB, {1, 3, 5, 2, 4, 6}},
        {"three byte planes order 1", 3, 8, 0, 1, {{1, 2}, {3, 4}, {5, 6}}, kPixelBGR, {5, 3, 1, 6, 4, 2}},
        {"four byte planes", 4, 8, 0, 0, {{1}, {2}, {3}, {4}}, kPixelRGBA, {1, 2, 3, 4}},
        {"four byte planes order 1", 4, 8, 0, 1, {{1}, {2}, {3}, {4}}, kPixelABGR, {4, 3, 2, 1}},
        {"four byte planes order 2", 4, 8, 0, 2, {{1}, {2}, {3}, {4}}, kPixelBGRA, {3, 2, 1, 4}},
        {"four byte planes order 3", 4, 8, 0, 3, {{1}, {2}, {3}, {4}}, kPixelARGB, {4, 1, 2, 3}},
        {"four planes into three bytes", 4, 8, kLoadPreferThreeBytes, 0, {{1}, {2}, {3}, {4}}, kPixelRGB, {1, 2, 3}},
        {"two one-bit planes", 2, 1, 0, 0, {{0x50}, {0x30}}, kPixelGrey, {0, 1, 2, 3}},
        {"two one-bit planes to colour", 2, 1, kLoadLowDepthAsColour, 1, {{0x50}, {0x30}}, kPixelBGR,
         {0, 0, 0, 85, 85, 85, 170, 170, 170, 255, 255, 255}},
        {"two one-bit planes to four bytes", 2, 1, kLoadLowDepthAsColour | kLoadPreferFourBytes, 3, {{0x50}, {0x30}},
         kPixelARGB, {255, 0, 0, 0, 255, 85, 85, 85, 255, 170, 170, 170, 255, 255, 255, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture p;
        const int width = c.bits == 1 ? 4 : int(c.planeRows[0].size());
        p.header.width = width;
        p.header.height = 1;
        p.header.planes = int16_t(c.planes);
        p.header.bitsPerPlane = int16_t(c.bits);
        p.header.bytesPerPlane = uint32_t(c.planeRows[0].size());
        p.header.flags = kHeaderSeparatePlanes;
        for (size_t plane = 0; plane < c.planeRows.size(); ++plane) {
            fake::Delivery d;
            d.plane = int(plane);
            d.first = 0;
            d.rows = c.planeRows[plane];
            p.deliveries.push_back(d);
        }
        fake::ExpectFirstRow(p, fake::With(options, c.loadFlags, c.order), c.type, c.pixels);
    }
}

// Native 16- and 32-bit samples, as a reader of deep samples writes them.
template <typename Sample>
Bytes Samples(std::initializer_list<Sample> values) {
    Bytes b;
    for (Sample v : values) {
        uint8_t raw[sizeof v];
        std::memcpy(raw, &v, sizeof v);
        b.insert(b.end(), raw, raw + sizeof v);
    }
    return b;
}
Bytes W16(std::initializer_list<uint16_t> v) { return Samples<uint16_t>(v); }
Bytes W32(std::initializer_list<uint32_t> v) { return Samples<uint32_t>(v); }

// Samples deeper than 8 bits, declared as components, reach the bitmap whole
// when the load keeps them, in the byte orders of the three- and four-byte
// modes, a sample for a byte; a two-pixel row, mirrored, and a 2 x 1 picture
// reduced to one pixel check that the rest of the row path moves whole
// samples.
TEST_F(Layouts, DeepSamplesAreKept) {
    struct Case {
        const char* name;
        int components;
        int bits;
        Bytes row;  // two pixels
        uint32_t loadFlags;
        uint16_t order;
        uint16_t type;
        int bytesPerPixel;
        int outComponents;
        Bytes pixels;
        uint32_t headerFlags = 0;
        uint16_t orientation = 0;
        int32_t target = -1;
    } cases[] = {
        {"grey 16", 1, 16, W16({0x1234, 0xFFFF}), 0, 0, kPixelGrey, 2, 1, W16({0x1234, 0xFFFF})},
        {"grey 10, order 1", 1, 10, W16({0x3FF, 7}), 0, 1, kPixelGrey, 2, 1, W16({0x3FF, 7})},
        {"grey 32", 1, 32, W32({0x89ABCDEF, 1}), 0, 0, kPixelGrey, 4, 1, W32({0x89ABCDEF, 1})},
        {"RGB 16", 3, 16, W16({1, 2, 3, 4, 5, 6}), 0, 0, kPixelRGB, 6, 3, W16({1, 2, 3, 4, 5, 6})},
        {"RGB 16 order 1", 3, 16, W16({1, 2, 3, 4, 5, 6}), 0, 1, kPixelBGR, 6, 3, W16({3, 2, 1, 6, 5, 4})},
        {"RGB 24 in 32-bit words", 3, 24, W32({0xFFFFFF, 2, 3, 4, 5, 6}), 0, 2, kPixelBGR, 12, 3,
         W32({3, 2, 0xFFFFFF, 6, 5, 4})},
        {"RGB 16 four samples", 3, 16, W16({1, 2, 3, 4, 5, 6}), kLoadPreferFourBytes, 0, kPixelRGBA, 8, 4,
         W16({1, 2, 3, 0xFFFF, 4, 5, 6, 0xFFFF})},
        {"RGB 12 four samples order 3", 3, 12, W16({1, 2, 3, 4, 5, 6}), kLoadPreferFourBytes, 3, kPixelARGB, 8, 4,
         W16({0xFFF, 1, 2, 3, 0xFFF, 4, 5, 6})},
        {"RGBA 16", 4, 16, W16({1, 2, 3, 4, 5, 6, 7, 8}), 0, 0, kPixelRGBA, 8, 4, W16({1, 2, 3, 4, 5, 6, 7, 8})},
        {"RGBA 16 order 1", 4, 16, W16({1, 2, 3, 4, 5, 6, 7, 8}), 0, 1, kPixelABGR, 8, 4,
         W16({4, 3, 2, 1, 8, 7, 6, 5})},
        {"RGBA 16 order 2", 4, 16, W16({1, 2, 3, 4, 5, 6, 7, 8}), 0, 2, kPixelBGRA, 8, 4,
         W16({3, 2, 1, 4, 7, 6, 5, 8})},
        {"RGBA 32 order 3", 4, 32, W32({1, 2, 3, 4, 5, 6, 7, 8}), 0, 3, kPixelARGB, 16, 4,
         W32({4, 1, 2, 3, 8, 5, 6, 7})},
        {"CMYK kept", 4, 16, W16({1, 2, 3, 4, 5, 6, 7, 8}), kLoadKeepCmyk, 1, kPixelCMYK, 8, 4,
         W16({1, 2, 3, 4, 5, 6, 7, 8}), kHeaderCmyk},
        {"RGB 16 mirrored", 3, 16, W16({1, 2, 3, 4, 5, 6}), 0, 0, kPixelRGB, 6, 3, W16({4, 5, 6, 1, 2, 3}), 0, 0x1},
        {"RGB 16 reduced", 3, 16, W16({1, 2, 3, 4, 5, 6}), 0, 0, kPixelRGB, 6, 3, W16({4, 5, 6}), 0, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture p = fake::Rows(2, 1, 1, c.bits, uint32_t(c.row.size()), c.row, c.row.size());
        p.header.components = int16_t(c.components);
        p.header.flags = c.headerFlags;
        LoadOptions o = fake::Fitted(fake::With(options, c.loadFlags | kLoadKeepDeepSamples, c.order), c.target,
                                     c.target, c.orientation);
        Loaded out;
        fake::LoadFake(p, o, &out);
        ASSERT_EQ(0, out.result);
        EXPECT_EQ(c.type, out.bitmap.pixelType);
        EXPECT_EQ(c.bits, out.bitmap.bitsPerSample);
        EXPECT_EQ(c.bytesPerPixel, out.bitmap.bytesPerPixel);
        EXPECT_EQ(c.outComponents, out.bitmap.components);
        EXPECT_EQ(c.pixels.size(), size_t(out.bitmap.width) * c.bytesPerPixel);
        EXPECT_EQ(c.pixels, out.RowBytes(0, c.pixels.size()));
        EXPECT_GE(out.bitmap.bytesPerRow, out.bitmap.width * c.bytesPerPixel);
    }
}

// Declarations that no unpacker can read are refused rather than garbled or
// read past the row.
TEST_F(Layouts, RefusedDeclarations) {
    struct Case {
        const char* name;
        uint32_t flags;
        int planes;
        int bits;
        int components;
        uint32_t bytesPerPlane;
        int width;
        int height;
        int rowsPerCall;
        uint32_t loadFlags;
    } cases[] = {
        {"33 bits", 0, 1, 33, 0, 8, 1, 1, 1, 0},
        {"zero bits", 0, 1, 0, 0, 8, 1, 1, 1, 0},
        {"zero planes", 0, 0, 8, 0, 8, 1, 1, 1, 0},
        {"negative planes and bits", 0, -1, -8, 0, 8, 1, 1, 1, 0},
        {"planes x bits over 32", 0, 5, 8, 0, 8, 1, 1, 1, 0},
        {"width 400000", 0, 1, 8, 0, 400000, 400000, 1, 1, 0},
        {"height 0", 0, 1, 8, 0, 8, 8, 0, 1, 0},
        {"no rows per call", 0, 1, 8, 0, 8, 8, 1, 0, 0},
        {"rows per call far past the height", 0, 1, 8, 0, 8, 8, 1, 1000, 0},
        {"five components", 0, 1, 8, 5, 8, 8, 1, 1, 0},
        {"negative components", 0, 1, 8, -1, 8, 8, 1, 1, 0},
        {"3-bit packed", 0, 1, 3, 0, 8, 8, 1, 1, 0},
        {"7-bit packed", 0, 1, 7, 0, 8, 8, 1, 1, 0},
        {"20-bit pixels", 0, 1, 20, 0, 60, 20, 1, 1, 0},
        {"two byte planes", 0, 2, 8, 0, 8, 8, 1, 1, 0},
        {"two-bit line planes", 0, 2, 2, 0, 8, 8, 1, 1, 0},
        {"row shorter than the width (8-bit)", 0, 1, 8, 0, 7, 8, 1, 1, 0},
        {"row shorter than the width (24-bit)", 0, 1, 24, 0, 23, 8, 1, 1, 0},
        {"byte planes shorter than the width", 0, 3, 8, 0, 7, 8, 1, 1, 0},
        {"bit planes shorter than the width", 0, 4, 1, 0, 1, 9, 1, 1, 0},
        {"interleaved words short of the width", 0x1, 2, 1, 0, 2, 17, 1, 1, 0},
        {"grey with alpha as one 16-bit plane", 0, 1, 16, 2, 64, 8, 1, 1, 0},
        {"16-bit grey samples", 0, 1, 16, 1, 64, 8, 1, 1, 0},
        {"16-bit colour samples without keeping them", 0, 1, 16, 3, 64, 8, 1, 1, 0},
        {"deep grey with alpha", 0, 1, 16, 2, 64, 8, 1, 1, kLoadKeepDeepSamples},
        {"deep samples in two planes", 0, 2, 16, 1, 64, 8, 1, 1, kLoadKeepDeepSamples},
        {"deep samples delivered by plane", 0x4, 1, 16, 3, 64, 8, 1, 1, kLoadKeepDeepSamples},
        {"deep CMYK converted at the end", 0x8000, 1, 16, 4, 64, 8, 1, 1, kLoadKeepDeepSamples},
        {"deep L*a*b*", 0x20000, 1, 16, 3, 64, 8, 1, 1, kLoadKeepDeepSamples},
        {"four-bit planes delivered separately", 0x4, 2, 4, 0, 8, 8, 1, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture p;
        p.header.flags = c.flags;
        p.header.planes = int16_t(c.planes);
        p.header.bitsPerPlane = int16_t(c.bits);
        p.header.components = int16_t(c.components);
        p.header.bytesPerPlane = c.bytesPerPlane;
        p.header.width = c.width;
        p.header.height = c.height;
        p.header.rowsPerCall = c.rowsPerCall;
        LoadOptions o = options;
        o.flags = c.loadFlags;
        Loaded out;
        fake::LoadFake(p, o, &out);
        EXPECT_EQ(kLoadNotRecognised, fake::g_readers[0].beginResult);
        EXPECT_EQ(kLoadNotRecognised, out.result);
        EXPECT_EQ(nullptr, out.bitmap.pixels);
    }
}

TEST_F(Layouts, AcceptedLimits) {
    struct Case {
        const char* name;
        int planes;
        int bits;
        uint32_t bytesPerPlane;
        int width;
        int rowsPerCall;
    } cases[] = {
        {"32 bits in one plane", 1, 32, 4, 1, 1},
        {"width 399999", 1, 8, 399999, 399999, 1},
        {"block of rows past a small height", 1, 32, 8, 2, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture p;
        p.header.planes = int16_t(c.planes);
        p.header.bitsPerPlane = int16_t(c.bits);
        p.header.bytesPerPlane = c.bytesPerPlane;
        p.header.width = c.width;
        p.header.height = 1;
        p.header.rowsPerCall = c.rowsPerCall;
        Loaded out;
        fake::LoadFake(p, options, &out);
        EXPECT_EQ(0, out.result);
        EXPECT_EQ(c.width, out.bitmap.width);
    }
}

TEST(RowHelpers, UnpackPackedPixels) {
    uint8_t out[8] = {};
    const uint8_t two[] = {0xE4};
    UnpackPackedPixels(two, out, 4, 2);
    EXPECT_EQ(Bytes({3, 2, 1, 0}), Bytes(out, out + 4));
    uint8_t untouched[4] = {9, 9, 9, 9};
    UnpackPackedPixels(two, untouched, 4, 3);
    EXPECT_EQ(Bytes({9, 9, 9, 9}), Bytes(untouched, untouched + 4));
}

TEST(RowHelpers, BitPlanes) {
    // Plane 0 sets pixel 0 and 15, plane 2 pixel 15: values 1 and 5.
    const uint8_t interleaved[] = {0x80, 0x01, 0x00, 0x00, 0x00, 0x01};
    uint8_t out[16];
    UnpackInterleavedBitplanes(interleaved, out, 1, 3);
    EXPECT_EQ(1, out[0]);
    EXPECT_EQ(5, out[15]);
    EXPECT_EQ(0, out[7]);
    const uint8_t lines[] = {0x81, 0x01};
    uint8_t lineOut[8];
    UnpackLineBitplanes(lines, lineOut, 1, 2);
    EXPECT_EQ(Bytes({1, 0, 0, 0, 0, 0, 0, 3}), Bytes(lineOut, lineOut + 8));
}

}  // namespace
