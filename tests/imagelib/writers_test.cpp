// The BMP, Targa and GIF writers: headers, palettes, RLE streams and
// extension bytes are compared byte for byte on tiny bitmaps; refusals,
// cancels and failing writes by their result codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imagelib/save.h"
#include "imagelib/savecontext.h"
#include "imagelib/textutil.h"
#include "save_support.h"
#include "tests/support/testfiles.h"

namespace {

using save_testing::BuiltinRegistry;
using save_testing::MakeBitmap;
using save_testing::SetPalette;
using save_testing::TestBitmap;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using Bytes = std::vector<uint8_t>;

Bytes Le16(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }
Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes Repeat(const Bytes& unit, size_t n) {
    Bytes out;
    for (size_t i = 0; i < n; ++i) out.insert(out.end(), unit.begin(), unit.end());
    return out;
}

class WriterTest : public ::testing::Test {
protected:
    // Saves and returns the result; the file's bytes land in `bytes`.
    int Save(const Bitmap* b, int format, const std::function<void(SaveOptions*)>& tweak = nullptr) {
        SaveOptions o;
        InitSaveOptions(&o);
        o.formatIndex = int16_t(format);
        if (tweak) tweak(&o);
        const std::wstring name = dir.File("out");
        std::error_code ec;
        testing_support::fs::remove(testing_support::ToFsPath(name), ec);
        const int r = SavePictureToFile(name.c_str(), b, &o);
        bytes = ReadBytes(name);
        return r;
    }

    BuiltinRegistry registry;
    ScratchDir dir;
    Bytes bytes;
};

// ---------------------------------------------------------------------------
// BMP.

Bytes BmpHeader(uint32_t fileSize, uint32_t offset, int32_t w, int32_t h, int bits, uint32_t compression = 0,
                uint32_t imageSize = 0, uint32_t ppm = 0) {
    return Cat({{'B', 'M'}, Le32(fileSize), Le32(0), Le32(offset), Le32(40), Le32(uint32_t(w)), Le32(uint32_t(h)),
                Le16(1), Le16(uint32_t(bits)), Le32(compression), Le32(imageSize), Le32(ppm), Le32(ppm), Le32(0),
                Le32(0)});
}

TEST_F(WriterTest, BmpTrueColourRowsArePaddedAndBottomUp) {
    TestBitmap b;
    MakeBitmap(&b, kPixelRGB, 2, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    b->xResolution = b->yResolution = 72;
    ASSERT_EQ(kSaveOk, Save(b.get(), kFormatBmp));
    EXPECT_EQ(Cat({BmpHeader(70, 54, 2, 2, 24, 0, 0, 2834), {9, 8, 7, 12, 11, 10, 0, 0, 3, 2, 1, 6, 5, 4, 0, 0}}),
              bytes);

    // Width 5: 15 bytes and one byte of padding. 32-bit pictures stay B, G, R, A.
    TestBitmap w5;
    MakeBitmap(&w5, kPixelBGRA, 5, 1, Repeat({1, 2, 3, 4}, 5));
    ASSERT_EQ(kSaveOk, Save(w5.get(), kFormatBmp));
    EXPECT_EQ(Cat({BmpHeader(74, 54, 5, 1, 32), Repeat({1, 2, 3, 4}, 5)}), bytes);
    TestBitmap w5rgb;
    MakeBitmap(&w5rgb, kPixelRGB, 5, 1, Repeat({1, 2, 3}, 5));
    ASSERT_EQ(kSaveOk, Save(w5rgb.get(), kFormatBmp));
    EXPECT_EQ(Cat({BmpHeader(70, 54, 5, 1, 24), Repeat({3, 2, 1}, 5), {0}}), bytes);
}

TEST_F(WriterTest, BmpIndexedDepthsAndPalettes) {
    // Bilevel: 1 bit, black and white.
    TestBitmap bw;
    MakeBitmap(&bw, kPixelBilevel, 3, 1, {0xA0});
    ASSERT_EQ(kSaveOk, Save(bw.get(), kFormatBmp));
    EXPECT_EQ(Cat({BmpHeader(66, 62, 3, 1, 1), {0, 0, 0, 0, 255, 255, 255, 0}, {0xA0, 0, 0, 0}}), bytes);

    // 16 colours: 4 bits, 16 entries (B, G, R, 0).
    TestBitmap p16;
    MakeBitmap(&p16, kPixelPalette, 3, 1, {0, 1, 15});
    SetPalette(p16.get(), {0x102030, 0x405060});
    p16->paletteCount = 16;
    ASSERT_EQ(kSaveOk, Save(p16.get(), kFormatBmp));
    ASSERT_EQ(54u + 64 + 4, bytes.size());
    EXPECT_EQ(BmpHeader(122, 118, 3, 1, 4), Bytes(bytes.begin(), bytes.begin() + 54));
    EXPECT_EQ(Bytes({0x30, 0x20, 0x10, 0, 0x60, 0x50, 0x40, 0}), Bytes(bytes.begin() + 54, bytes.begin() + 62));
    EXPECT_EQ(Bytes({0x01, 0xF0, 0, 0}), Bytes(bytes.end() - 4, bytes.end()));

    // 17 colours: 8 bits, 256 entries.
    p16->paletteCount = 17;
    ASSERT_EQ(kSaveOk, Save(p16.get(), kFormatBmp));
    ASSERT_EQ(54u + 1024 + 4, bytes.size());
    EXPECT_EQ(Bytes({0, 1, 15, 0}), Bytes(bytes.end() - 4, bytes.end()));

    // Grey: 8 bits with a grey ramp.
    TestBitmap grey;
    MakeBitmap(&grey, kPixelGrey, 1, 1, {200});
    ASSERT_EQ(kSaveOk, Save(grey.get(), kFormatBmp));
    ASSERT_EQ(54u + 1024 + 4, bytes.size());
    EXPECT_EQ(Bytes({200, 200, 200, 0}), Bytes(bytes.begin() + 54 + 800, bytes.begin() + 54 + 804));
}

TEST_F(WriterTest, BmpOs2Header) {
    TestBitmap p;
    MakeBitmap(&p, kPixelPalette, 3, 1, {0, 1, 2});
    SetPalette(p.get(), {0x010203, 0x040506, 0x070809});
    const Bytes expected = Cat({{'B', 'M'}, Le32(78), Le32(0), Le32(74), Le32(12), Le16(3), Le16(1), Le16(1), Le16(4),
                                {3, 2, 1, 6, 5, 4, 9, 8, 7}, Bytes(13 * 3, 0), {0x01, 0x20, 0, 0}});
    ASSERT_EQ(kSaveOk, Save(p.get(), kFormatBmp, [](SaveOptions* o) { o->os2Header = 1; }));
    EXPECT_EQ(expected, bytes);
    // The OS/2 header has no compression field: RLE is not used with it.
    ASSERT_EQ(kSaveOk, Save(p.get(), kFormatBmp, [](SaveOptions* o) { o->os2Header = o->rleSwitch = 1; }));
    EXPECT_EQ(expected, bytes);
    // Its sizes are 16-bit.
    TestBitmap wide;
    MakeBitmap(&wide, kPixelGrey, 65536, 1, {});
    EXPECT_EQ(kSaveRefused, Save(wide.get(), kFormatBmp, [](SaveOptions* o) { o->os2Header = 1; }));
    EXPECT_EQ(kSaveOk, Save(wide.get(), kFormatBmp));
}

TEST_F(WriterTest, BmpRunLengthRows) {
    struct Case {
        const char* name;
        int colours;  // 17 or more: RLE8; 16 or fewer: RLE4
        Bytes row;
        Bytes encoded;  // the row, its end-of-line and the end-of-bitmap codes
    } cases[] = {
        {"rle8 run then singles", 17, {7, 7, 7, 1, 2}, {3, 7, 1, 1, 1, 2, 0, 0, 0, 1}},
        {"rle8 absolute, odd, padded", 17, {1, 2, 3, 4, 4}, {0, 3, 1, 2, 3, 0, 2, 4, 0, 0, 0, 1}},
        {"rle8 two singles", 17, {1, 2, 3}, {1, 1, 1, 2, 1, 3, 0, 0, 0, 1}},
        {"rle8 300-pixel run", 17, Bytes(300, 5), {255, 5, 45, 5, 0, 0, 0, 1}},
        {"rle4 pair then run", 16, {1, 2, 3, 3}, {2, 0x12, 2, 0x33, 0, 0, 0, 1}},
        {"rle4 absolute of 4", 16, {1, 2, 3, 4, 5}, {0, 4, 0x12, 0x34, 1, 0x50, 0, 0, 0, 1}},
        {"rle4 absolute of 5, padded", 16, {1, 2, 3, 4, 5, 6, 6}, {0, 5, 0x12, 0x34, 0x50, 0, 2, 0x66, 0, 0, 0, 1}},
        {"rle4 single", 16, {1, 2, 2}, {1, 0x10, 2, 0x22, 0, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestBitmap p;
        const int32_t w = int32_t(c.row.size());
        MakeBitmap(&p, kPixelPalette, w, 1, c.row);
        p->paletteCount = int16_t(c.colours);
        ASSERT_EQ(kSaveOk, Save(p.get(), kFormatBmp, [](SaveOptions* o) { o->rleSwitch = 1; }));
        const bool rle8 = c.colours > 16;
        const uint32_t offset = 54 + (rle8 ? 1024 : 64);
        const uint32_t size = offset + uint32_t(c.encoded.size());
        ASSERT_EQ(size, bytes.size());
        // The image size field holds the real size of the encoded data.
        EXPECT_EQ(BmpHeader(size, offset, w, 1, rle8 ? 8 : 4, rle8 ? 1 : 2, uint32_t(c.encoded.size())),
                  Bytes(bytes.begin(), bytes.begin() + 54));
        EXPECT_EQ(c.encoded, Bytes(bytes.begin() + offset, bytes.end()));
    }
}

// ---------------------------------------------------------------------------
// Targa.

Bytes TgaHeader(uint8_t idLength, uint8_t mapType, uint8_t type, uint16_t w, uint16_t h, uint8_t depth,
                uint8_t descriptor) {
    return Cat({{idLength, mapType, type}, Le16(0), Le16(mapType ? 256 : 0), {uint8_t(mapType ? 24 : 0)}, Le16(0),
                Le16(0), Le16(w), Le16(h), {depth, descriptor}});
}

TEST_F(WriterTest, TargaFiles) {
    TestBitmap rgb;
    MakeBitmap(&rgb, kPixelRGB, 2, 1, {1, 2, 3, 4, 5, 6});
    rgb->comment = DuplicateText("abc");
    ASSERT_EQ(kSaveOk, Save(rgb.get(), kFormatTga));
    EXPECT_EQ(Cat({TgaHeader(4, 0, 2, 2, 1, 24, 0x20), {'a', 'b', 'c', 0}, {3, 2, 1, 6, 5, 4}}), bytes);

    // 32 bits: 8 alpha bits declared.
    TestBitmap rgba;
    MakeBitmap(&rgba, kPixelRGBA, 1, 1, {1, 2, 3, 4});
    ASSERT_EQ(kSaveOk, Save(rgba.get(), kFormatTga));
    EXPECT_EQ(Cat({TgaHeader(0, 0, 2, 1, 1, 32, 0x28), {3, 2, 1, 4}}), bytes);

    // Grey with RLE: type 11; bilevel ignores RLE: type 3, depth 1.
    TestBitmap grey;
    MakeBitmap(&grey, kPixelGrey, 3, 1, {5, 5, 5});
    ASSERT_EQ(kSaveOk, Save(grey.get(), kFormatTga, [](SaveOptions* o) { o->rleSwitch = 1; }));
    EXPECT_EQ(Cat({TgaHeader(0, 0, 11, 3, 1, 8, 0x20), {0x82, 5}}), bytes);
    TestBitmap bw;
    MakeBitmap(&bw, kPixelBilevel, 3, 1, {0xA0});
    ASSERT_EQ(kSaveOk, Save(bw.get(), kFormatTga, [](SaveOptions* o) { o->rleSwitch = 1; }));
    EXPECT_EQ(Cat({TgaHeader(0, 0, 3, 3, 1, 1, 0x20), {0xA0}}), bytes);

    // Palette: a 256-entry map of B, G, R.
    TestBitmap pal;
    MakeBitmap(&pal, kPixelPalette, 2, 1, {0, 1});
    SetPalette(pal.get(), {0xFF0000, 0x00FF00});
    ASSERT_EQ(kSaveOk, Save(pal.get(), kFormatTga));
    EXPECT_EQ(Cat({TgaHeader(0, 1, 1, 2, 1, 8, 0x20), {0, 0, 255, 0, 255, 0}, Bytes(254 * 3, 0), {0, 1}}), bytes);

    // A comment of 255 characters or more is not written.
    rgb->comment = static_cast<char*>(std::realloc(rgb->comment, 256));
    std::memset(rgb->comment, 'x', 255);
    rgb->comment[255] = 0;
    ASSERT_EQ(kSaveOk, Save(rgb.get(), kFormatTga));
    EXPECT_EQ(0, bytes[0]);
    EXPECT_EQ(18u + 6, bytes.size());

    // 16-bit sizes.
    TestBitmap tall;
    MakeBitmap(&tall, kPixelGrey, 1, 65536, {});
    EXPECT_EQ(kSaveRefused, Save(tall.get(), kFormatTga));
}

TEST_F(WriterTest, TargaRunLengthPackets) {
    auto pixel = [](int i) { return Bytes({uint8_t(i), uint8_t(i >> 8), 7}); };
    Bytes equal130 = Repeat({9, 8, 7}, 130);
    Bytes distinct200;
    for (int i = 0; i < 200; ++i) {
        const Bytes p = pixel(i);
        distinct200.insert(distinct200.end(), p.begin(), p.end());
    }
    struct Case {
        const char* name;
        Bytes rgb;  // one row
        Bytes packets;
    } cases[] = {
        {"run of 128 and of 2", equal130, Cat({{0xFF, 7, 8, 9}, {0x81, 7, 8, 9}})},
        {"raw of 127 and of 73", distinct200, {}},
        {"raw, run, raw", {1, 1, 1, 2, 2, 2, 2, 2, 2, 3, 3, 3}, {0x00, 1, 1, 1, 0x81, 2, 2, 2, 0x00, 3, 3, 3}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int32_t w = int32_t(c.rgb.size() / 3);
        TestBitmap b;
        MakeBitmap(&b, kPixelRGB, w, 1, c.rgb);
        ASSERT_EQ(kSaveOk, Save(b.get(), kFormatTga, [](SaveOptions* o) { o->rleSwitch = 1; }));
        ASSERT_GT(bytes.size(), 18u);
        EXPECT_EQ(TgaHeader(0, 0, 10, uint16_t(w), 1, 24, 0x20), Bytes(bytes.begin(), bytes.begin() + 18));
        const Bytes packets(bytes.begin() + 18, bytes.end());
        if (!c.packets.empty()) {
            EXPECT_EQ(c.packets, packets);
        } else {
            ASSERT_EQ(2u + 200 * 3, packets.size());
            EXPECT_EQ(0x7E, packets[0]);
            EXPECT_EQ(0x48, packets[1 + 127 * 3]);
        }
    }
}

// ---------------------------------------------------------------------------
// GIF.

// 2 x 2 black pixels, two colours: the LZW codes clear (4), 0, 6, 0, end (5)
// at 3, 3, 3, 3 and 4 bits.
const Bytes kTinyGif = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x80, 0, 0,  // screen
                        0, 0, 0, 255, 255, 255,                                // global table
                        ',', 0, 0, 0, 0, 2, 0, 2, 0, 0,                        // image
                        2, 2, 0x84, 0x51, 0, ';'};

TEST_F(WriterTest, GifTinyPictureByteForByte) {
    TestBitmap bw;
    MakeBitmap(&bw, kPixelBilevel, 2, 2, {0x00, 0x00});
    ASSERT_EQ(kSaveOk, Save(bw.get(), kFormatGif));
    EXPECT_EQ(kTinyGif, bytes);

    // Indexes at or above 2^bits cannot reach the code stream as control
    // codes: with two colours only the low bit is coded.
    TestBitmap p;
    MakeBitmap(&p, kPixelPalette, 2, 2, {2, 4, 6, 254});
    SetPalette(p.get(), {0x000000, 0xFFFFFF});
    ASSERT_EQ(kSaveOk, Save(p.get(), kFormatGif));
    EXPECT_EQ(kTinyGif, bytes);
}

TEST_F(WriterTest, GifHeadersAndExtensions) {
    TestBitmap p;
    MakeBitmap(&p, kPixelPalette, 1, 1, {0});
    p->paletteCount = 200;
    ASSERT_EQ(kSaveOk, Save(p.get(), kFormatGif));
    ASSERT_GT(bytes.size(), 13u + 768);
    EXPECT_EQ(Bytes({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x87, 0, 0}), Bytes(bytes.begin(), bytes.begin() + 13));
    EXPECT_EQ(',', bytes[13 + 768]);
    EXPECT_EQ(0x07, bytes[13 + 768 + 9]);
    EXPECT_EQ(8, bytes[13 + 768 + 10]);  // minimum code size

    // A transparent index and a comment: the two extensions, and GIF89a even
    // when GIF87a was asked for.
    p->transparentIndex = 5;
    p->comment = DuplicateText("abc");
    ASSERT_EQ(kSaveOk, Save(p.get(), kFormatGif, [](SaveOptions* o) { o->gif87a = 1; }));
    EXPECT_EQ(Bytes({'G', 'I', 'F', '8', '9', 'a'}), Bytes(bytes.begin(), bytes.begin() + 6));
    const Bytes extensions = {0x21, 0xF9, 4, 1, 0, 0, 5, 0, 0x21, 0xFE, 4, 'a', 'b', 'c', 0, 0, ','};
    EXPECT_EQ(extensions, Bytes(bytes.begin() + 13 + 768, bytes.begin() + 13 + 768 + extensions.size()));

    // Without extensions the GIF87a option holds.
    p->transparentIndex = -1;
    std::free(p->comment);
    p->comment = nullptr;
    ASSERT_EQ(kSaveOk, Save(p.get(), kFormatGif, [](SaveOptions* o) { o->gif87a = 1; }));
    EXPECT_EQ(Bytes({'G', 'I', 'F', '8', '7', 'a'}), Bytes(bytes.begin(), bytes.begin() + 6));

    // Two colours: 1 bit, a 6-byte table, minimum code size 2.
    TestBitmap two;
    MakeBitmap(&two, kPixelPalette, 1, 1, {1});
    SetPalette(two.get(), {0x112233, 0x445566});
    ASSERT_EQ(kSaveOk, Save(two.get(), kFormatGif, [](SaveOptions* o) { o->interlaced = 1; }));
    EXPECT_EQ(0x80, bytes[10]);
    EXPECT_EQ(Bytes({0x11, 0x22, 0x33, 0x44, 0x55, 0x66, ','}), Bytes(bytes.begin() + 13, bytes.begin() + 20));
    EXPECT_EQ(0x40, bytes[28]);  // interlaced, no local table
    EXPECT_EQ(2, bytes[29]);

    // Grey pictures take 8 bits; true colour is refused.
    TestBitmap grey, rgb;
    MakeBitmap(&grey, kPixelGrey, 1, 1, {9});
    ASSERT_EQ(kSaveOk, Save(grey.get(), kFormatGif));
    EXPECT_EQ(0x87, bytes[10]);
    MakeBitmap(&rgb, kPixelRGB, 1, 1, {});
    EXPECT_EQ(kSaveRefused, Save(rgb.get(), kFormatGif));
}

std::vector<int32_t>* g_rowsSeen;
int RecordRow(int32_t row, int32_t, uintptr_t) {
    g_rowsSeen->push_back(row);
    return 0;
}

TEST_F(WriterTest, GifInterlacedRowOrder) {
    std::vector<int32_t> seen;
    g_rowsSeen = &seen;
    auto interlaced = [](SaveOptions* o) {
        o->interlaced = 1;
        o->progressCallback = RecordRow;
    };
    TestBitmap three, eleven;
    MakeBitmap(&three, kPixelGrey, 1, 3, {});
    ASSERT_EQ(kSaveOk, Save(three.get(), kFormatGif, interlaced));
    EXPECT_EQ(std::vector<int32_t>({0, 2, 1}), seen);
    seen.clear();
    MakeBitmap(&eleven, kPixelGrey, 1, 11, {});
    ASSERT_EQ(kSaveOk, Save(eleven.get(), kFormatGif, interlaced));
    EXPECT_EQ(std::vector<int32_t>({0, 8, 4, 2, 6, 10, 1, 3, 5, 7, 9}), seen);
}

TEST_F(WriterTest, GifDataPacketsHold254Bytes) {
    TestBitmap b;
    MakeBitmap(&b, kPixelGrey, 600, 200, {});
    ASSERT_EQ(kSaveOk, Save(b.get(), kFormatGif));
    size_t pos = 13 + 768 + 10 + 1;  // screen, table, image descriptor, code size
    std::vector<int> lengths;
    while (pos < bytes.size() && bytes[pos] != 0) {
        lengths.push_back(bytes[pos]);
        pos += 1 + bytes[pos];
    }
    ASSERT_GE(lengths.size(), 2u);
    for (size_t i = 0; i + 1 < lengths.size(); ++i) EXPECT_EQ(254, lengths[i]) << i;
    ASSERT_EQ(pos + 2, bytes.size());
    EXPECT_EQ(';', bytes.back());
}

// ---------------------------------------------------------------------------
// All writers: cancel and failing writes.

int CancelAtRowTwo(int32_t row, int32_t, uintptr_t) { return row == 2; }

TEST_F(WriterTest, CancelLeavesNoFile) {
    TestBitmap grey, rgb;
    MakeBitmap(&grey, kPixelGrey, 4, 6, {});
    MakeBitmap(&rgb, kPixelRGB, 4, 6, {});
    const struct {
        const char* name;
        int format;
        const Bitmap* bitmap;
        uint16_t rle;
    } cases[] = {
        {"bmp", kFormatBmp, rgb.get(), 0},  {"bmp rle", kFormatBmp, grey.get(), 1}, {"tga", kFormatTga, rgb.get(), 0},
        {"tga rle", kFormatTga, grey.get(), 1}, {"gif", kFormatGif, grey.get(), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(kSaveCancelled, Save(c.bitmap, c.format, [&](SaveOptions* o) {
                      o->progressCallback = CancelAtRowTwo;
                      o->rleSwitch = c.rle;
                  }));
        EXPECT_TRUE(bytes.empty());
        EXPECT_TRUE(testing_support::fs::is_empty(dir.path()));
    }
}

#ifndef _WIN32
// A full device: every writer reports the failed write, whether it names the
// device or is handed an open stream, for tiny and for larger pictures.
TEST(WriterFailures, FullDeviceGives6) {
    BuiltinRegistry registry;
    TestBitmap small, large, grey;
    MakeBitmap(&small, kPixelRGB, 2, 2, {});
    MakeBitmap(&large, kPixelRGB, 300, 300, {});
    MakeBitmap(&grey, kPixelGrey, 300, 300, {});
    const struct {
        int format;
        const Bitmap* bitmap;
        uint16_t rle;
    } cases[] = {
        {kFormatBmp, small.get(), 0}, {kFormatBmp, large.get(), 0}, {kFormatBmp, grey.get(), 1},
        {kFormatTga, small.get(), 0}, {kFormatTga, large.get(), 1}, {kFormatGif, grey.get(), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format << " width " << c.bitmap->width << " rle " << c.rle);
        SaveOptions o;
        InitSaveOptions(&o);
        o.formatIndex = int16_t(c.format);
        o.rleSwitch = c.rle;
        EXPECT_EQ(kSaveWriteFailed, SavePictureToFile(L"/dev/full", c.bitmap, &o));
        FILE* full = std::fopen("/dev/full", "wb");
        ASSERT_TRUE(full);
        EXPECT_EQ(kSaveWriteFailed, SavePicture(nullptr, full, c.bitmap, &o));
        std::fclose(full);
    }
}
#endif

}  // namespace
