// The PNG writer, checked with Pillow (decoded pixels, exact; transparency;
// text) and pngcheck (chunk structure, interlace, compression), plus
// Python's zlib for the row filters. Those tools run natively only; the row
// layout the writer asks for, the result codes and the callback protocol are
// checked on both targets.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <png.h>

#include "imagelib/savecontext.h"
#include "imagelib/writers/pngwriter.h"
#include "tests/imagelib/fakesave.h"
#include "tests/support/oracles.h"
#include "tests/support/testfiles.h"

using namespace testing_support;

namespace {

// A picture in the writer's row layout and what a decoder gives back.
struct PngKindCase {
    const char* name;
    uint16_t kind;
    int32_t bitsPerPixel;     // of the description (24 or 32 for colour)
    int16_t colourCount;
    int width, height;
    int bitsPerPlane;         // the layout the writer must ask for
    uint32_t bytesPerPlane;
    const char* pillowMode;
};

const PngKindCase kKinds[] = {
    {"Grey", kPixelGrey, 8, 256, 13, 7, 8, 13, "L"},
    {"Bilevel", kPixelBilevel, 1, 2, 13, 7, 1, 2, "1"},
    {"Palette16OddWidth", kPixelPalette, 8, 16, 5, 9, 4, 3, "P"},
    {"Palette2", kPixelPalette, 8, 2, 3, 3, 4, 2, "P"},
    {"Palette17", kPixelPalette, 8, 17, 11, 6, 8, 11, "P"},
    {"Rgb", kPixelMaskColour, 24, 0, 9, 5, 24, 27, "RGB"},
    {"Rgba", kPixelMaskColour, 32, 0, 9, 5, 32, 36, "RGBA"},
};

// The value of pixel (x, y): a grey level, a bit, a palette index or a sample.
uint8_t SampleAt(const PngKindCase& k, int x, int y, int c) {
    switch (k.kind) {
    case kPixelGrey: return uint8_t(x * 19 + y * 31 + 3);
    case kPixelBilevel: return uint8_t((x + y) % 3 == 0);
    case kPixelPalette: return uint8_t((x * 3 + y) % k.colourCount);
    default: return uint8_t(x * 25 + y * 40 + c * 70 + (c == 3 ? 11 : 0));
    }
}

int Channels(const PngKindCase& k) { return k.kind == kPixelMaskColour ? k.bitsPerPixel / 8 : 1; }

// Rows packed as the writer asks for them (PNG's own packing: MSB first).
void PrepareRows(FakeSave* f, const PngKindCase& k) {
    SavePictureInfo& p = f->picture();
    p.kind = k.kind;
    p.bitsPerPixel = k.bitsPerPixel;
    p.colourCount = k.colourCount;
    p.width = k.width;
    p.height = k.height;
    f->rows.clear();
    for (int y = 0; y < k.height; ++y) {
        std::vector<uint8_t> row(k.bytesPerPlane, 0);
        for (int x = 0; x < k.width; ++x) {
            if (k.bitsPerPlane < 8) {
                const int bit = x * k.bitsPerPlane;
                row[size_t(bit / 8)] |= uint8_t(SampleAt(k, x, y, 0) << (8 - k.bitsPerPlane - bit % 8));
            } else {
                for (int c = 0; c < Channels(k); ++c)
                    row[size_t(x * Channels(k) + c)] = SampleAt(k, x, y, c);
            }
        }
        f->rows.push_back(row);
    }
    f->palette.clear();
    for (int i = 0; i < 256; ++i) {
        f->palette.push_back(uint8_t(i * 10));
        f->palette.push_back(uint8_t(255 - i));
        f->palette.push_back(uint8_t(i * 3));
    }
}

// What Pillow should decode: one byte a pixel or sample (indexes for "P",
// 0/255 for "1").
std::vector<uint8_t> Expected(const PngKindCase& k) {
    std::vector<uint8_t> out;
    for (int y = 0; y < k.height; ++y)
        for (int x = 0; x < k.width; ++x)
            for (int c = 0; c < Channels(k); ++c) {
                const uint8_t v = SampleAt(k, x, y, c);
                out.push_back(k.kind == kPixelBilevel ? uint8_t(v ? 255 : 0) : v);
            }
    return out;
}

int WriteTo(FakeSave* f, const std::wstring& path) {
    FileSource src;
    InitFileSource(&src, path.c_str());
    return WritePng(&src, f->ctx());
}

#ifndef _WIN32
std::string PngCheck(const std::string& path) { return RunCommand("pngcheck -v " + ShellQuote(path) + " 2>&1"); }
#endif

// ---------------------------------------------------------------------------
// Picture kinds, plain and interlaced.

class PngKindTest : public ::testing::TestWithParam<std::tuple<PngKindCase, bool>> {};

TEST_P(PngKindTest, RowsDecodeExactly) {
    const PngKindCase& k = std::get<0>(GetParam());
    const bool interlaced = std::get<1>(GetParam());
    ScratchDir dir;
    FakeSave f;
    PrepareRows(&f, k);
    f.options().interlaced = interlaced;
    const std::wstring path = dir.File("k.png");
    ASSERT_EQ(WriteTo(&f, path), kSaveOk);

    // Whole bytes per row: (bits x width + 7) / 8, one row per call.
    EXPECT_EQ(f.header.bitsPerPlane, k.bitsPerPlane);
    EXPECT_EQ(f.header.bytesPerPlane, k.bytesPerPlane);
    EXPECT_EQ(f.header.planes, 1);
    EXPECT_EQ(f.header.rowsPerCall, 1);
    EXPECT_STREQ(f.header.description, "PiNG");
    EXPECT_EQ(f.header.paletteLayout, k.kind == kPixelPalette ? kPaletteTriples : 0);
    EXPECT_EQ(f.header.paletteBits, k.kind == kPixelPalette ? 8 : 0);
    EXPECT_EQ(f.rowsDelivered, k.height);
    EXPECT_EQ(f.ends, 1);
    EXPECT_FALSE(f.badRequest);

#ifndef _WIN32
    const std::string p = Narrow(path);
    const PillowView v = Pillow(p);
    EXPECT_EQ(v.mode(), k.pillowMode);
    EXPECT_EQ(v.size(), std::to_string(k.width) + "x" + std::to_string(k.height));
    EXPECT_EQ(v.interlace(), interlaced ? "1" : "0");
    EXPECT_EQ(v.pixels(), Expected(k));
    const std::string check = PngCheck(p);
    EXPECT_TRUE(Contains(check, "No errors detected")) << check;
    EXPECT_TRUE(Contains(check, interlaced ? ", interlaced" : ", non-interlaced")) << check;
    if (k.kind == kPixelPalette) {
        // PLTE holds 16 or 256 entries; those past the colour count are black.
        const int entries = k.colourCount <= 16 ? 16 : 256;
        EXPECT_TRUE(Contains(check, "length " + std::to_string(entries * 3) + ": " + std::to_string(entries) +
                                        " palette entries"))
            << check;
        std::string expected = "[";
        for (int i = 0; i < 17; ++i) {
            const bool used = i < k.colourCount && i < entries;
            if (i >= entries) break;
            if (i) expected += ", ";
            expected += used ? std::to_string(i * 10) + ", " + std::to_string(255 - i) + ", " + std::to_string(i * 3)
                             : "0, 0, 0";
        }
        EXPECT_EQ(v.palette(), expected + "]");
    }
    EXPECT_FALSE(Contains(check, "tRNS"));
    EXPECT_FALSE(Contains(check, "pHYs"));
    EXPECT_FALSE(Contains(check, "tEXt"));
#endif
}

INSTANTIATE_TEST_SUITE_P(Kinds, PngKindTest, ::testing::Combine(::testing::ValuesIn(kKinds), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "Interlaced" : "");
                         });

// ---------------------------------------------------------------------------
// Transparency, resolution and comment.

#ifndef _WIN32
TEST(PngWriter, TransparencyIsWrittenAsTheTransparentLevelOrEntry) {
    struct Case {
        const char* name;
        const PngKindCase* kind;
        int16_t colourCount;
        int16_t transparentIndex;
        const char* pillow;   // Pillow's info['transparency']: the index or the grey level
        const char* trns;     // pngcheck's tRNS line, or null for no chunk
    } cases[] = {
        // 255, 255, 255, 0: Pillow names the one transparent entry.
        {"palette entry 3", &kKinds[2], 16, 3, "3", "length 4: 4 transparency entries"},
        {"palette entry 0", &kKinds[4], 17, 0, "0", "length 1: 1 transparency entry"},
        {"palette entry past the PLTE", &kKinds[2], 16, 16, "None", nullptr},
        {"grey of 256 levels", &kKinds[0], 256, 100, "100", "length 2"},
        {"grey of 16 levels", &kKinds[0], 16, 5, "85", "length 2"},
        {"grey index past its levels", &kKinds[0], 16, 16, "None", nullptr},
        {"grey without a usable level count has 256", &kKinds[0], 0, 100, "100", "length 2"},
        {"bilevel white", &kKinds[1], 2, 1, "1", "length 2"},
        {"bilevel black", &kKinds[1], 2, 0, "0", "length 2"},
        {"colour pictures have none", &kKinds[5], 0, 3, "None", nullptr},
        {"nor do colour pictures with alpha", &kKinds[6], 0, 3, "None", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        FakeSave f;
        PngKindCase k = *c.kind;
        k.colourCount = c.colourCount;
        PrepareRows(&f, k);
        f.picture().transparentIndex = c.transparentIndex;
        const std::wstring path = dir.File("t.png");
        ASSERT_EQ(WriteTo(&f, path), kSaveOk);
        const PillowView v = Pillow(Narrow(path));
        EXPECT_EQ(v.transparency(), c.pillow);
        EXPECT_EQ(v.pixels(), Expected(k));
        const std::string check = PngCheck(Narrow(path));
        EXPECT_TRUE(Contains(check, "No errors detected")) << check;
        if (c.trns) {
            EXPECT_TRUE(Contains(check, std::string("tRNS at")) && Contains(check, c.trns)) << check;
        } else {
            EXPECT_FALSE(Contains(check, "tRNS")) << check;
        }
    }
}

TEST(PngWriter, ResolutionAndComment) {
    struct Case {
        int16_t x, y;
        const char* comment;
        const char* phys;       // pngcheck's pHYs line, or null for none
        const char* pillowComment;
    } cases[] = {
        {72, 72, nullptr, "2834x2834 pixels/meter", "None"},
        {300, 150, "A comment", "11811x5905 pixels/meter", "'A comment'"},
        {0, 72, "", nullptr, "''"},
        {96, 0, nullptr, nullptr, "None"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "x" + std::to_string(c.y));
        ScratchDir dir;
        FakeSave f;
        PrepareRows(&f, kKinds[5]);
        f.picture().xResolution = c.x;
        f.picture().yResolution = c.y;
        f.picture().comment = c.comment;
        const std::wstring path = dir.File("r.png");
        ASSERT_EQ(WriteTo(&f, path), kSaveOk);
        const std::string check = PngCheck(Narrow(path));
        if (c.phys) {
            EXPECT_TRUE(Contains(check, std::string("pHYs at")) && Contains(check, c.phys)) << check;
        } else {
            EXPECT_FALSE(Contains(check, "pHYs")) << check;
        }
        EXPECT_EQ(Contains(check, "tEXt"), c.comment != nullptr) << check;
        EXPECT_EQ(Pillow(Narrow(path)).comment(), c.pillowComment);
    }
}

// ---------------------------------------------------------------------------
// Compression level and row filters.

// The filter type byte of each row, read by Python's zlib from the IDAT data.
std::string RowFilters(const std::string& path) {
    return RunPillow(
        "import struct, zlib\n"
        "d = open('" + path + "', 'rb').read()\n"
        "p, idat, w, h, bpp = 8, b'', 0, 0, 0\n"
        "while p < len(d):\n"
        "    n, t = struct.unpack('>I4s', d[p:p+8])\n"
        "    if t == b'IHDR': w, h, depth, ct = struct.unpack('>IIBB', d[p+8:p+18])\n"
        "    if t == b'IDAT': idat += d[p+8:p+8+n]\n"
        "    p += 12 + n\n"
        "raw = zlib.decompress(idat)\n"
        "stride = len(raw) // h\n"
        "print(''.join(str(raw[i * stride]) for i in range(h)))\n");
}

TEST(PngWriter, FilterChoiceSetsEveryRowsFilter) {
    struct Case {
        uint16_t choice;
        const char* filters;  // of the 6 rows; null: any mix the library picks
    } cases[] = {{1, "111111"}, {2, "222222"}, {3, "333333"}, {4, "444444"}, {5, nullptr}, {0, nullptr}, {9, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice);
        ScratchDir dir;
        FakeSave f;
        PngKindCase k = kKinds[5];
        k.height = 6;
        PrepareRows(&f, k);
        f.options().pngFilter = c.choice;
        const std::wstring path = dir.File("f.png");
        ASSERT_EQ(WriteTo(&f, path), kSaveOk);
        const std::string filters = RowFilters(Narrow(path));
        ASSERT_EQ(filters.size(), 7u) << filters;
        if (c.filters) {
            EXPECT_EQ(filters, std::string(c.filters) + "\n");
        }
        EXPECT_EQ(Pillow(Narrow(path)).pixels(), Expected(k));
    }
}

// The IDAT data of a PNG held in memory, joined.
std::string ImageData(const std::string& png) {
    std::string idat;
    for (size_t at = 8; at + 12 <= png.size();) {
        const size_t length = size_t(uint8_t(png[at])) << 24 | size_t(uint8_t(png[at + 1])) << 16 |
                              size_t(uint8_t(png[at + 2])) << 8 | size_t(uint8_t(png[at + 3]));
        if (png.compare(at + 4, 4, "IDAT") == 0) idat.append(png, at + 8, length);
        at += 12 + length;
    }
    return idat;
}

// The same rows written by libpng alone with all five filters, its own
// adaptive choice.
std::string LibpngAllFilters(const std::vector<std::vector<uint8_t>>& rows, int width, int colourType, int level) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return std::string();
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, size_t n) {
            static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(data), n);
        },
        nullptr);
    png_set_compression_level(png, level);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(rows.size()), 8, colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    for (const std::vector<uint8_t>& row : rows) png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// With all five filters (asked for, or libpng's default for the layout) the
// writer picks each row's filter itself: the stream must be the very one
// libpng's own choice gives, for every pixel size and for widths that end
// inside and outside a 16-byte step. The rows mix noise, ramps, repeats
// and flat runs, so that every filter wins somewhere.
TEST(PngWriter, AdaptiveFilterStreamIsLibpngsOwn) {
    struct Layout {
        uint16_t kind;
        int32_t bitsPerPixel;
        int channels;
        int colourType;
    } layouts[] = {{kPixelGrey, 8, 1, PNG_COLOR_TYPE_GRAY},
                   {kPixelMaskColour, 24, 3, PNG_COLOR_TYPE_RGB},
                   {kPixelMaskColour, 32, 4, PNG_COLOR_TYPE_RGB_ALPHA}};
    std::mt19937 rng(5);
    std::string filtersSeen;
    for (const Layout& l : layouts) {
        for (const int width : {2, 5, 6, 16, 17, 41, 133}) {
            for (const uint16_t choice : {5, 0}) {
                SCOPED_TRACE(std::to_string(l.bitsPerPixel) + " bits, width " + std::to_string(width) + ", choice " +
                             std::to_string(choice));
                const int height = 24;
                const size_t rowBytes = size_t(width) * size_t(l.channels);
                FakeSave f;
                f.picture().kind = l.kind;
                f.picture().bitsPerPixel = l.bitsPerPixel;
                f.picture().width = width;
                f.picture().height = height;
                f.options().pngFilter = choice;
                f.options().compressionLevel = 6;
                for (int y = 0; y < height; ++y) {
                    std::vector<uint8_t> row(rowBytes);
                    for (size_t i = 0; i < rowBytes; ++i) {
                        const uint8_t above = y > 0 ? f.rows.back()[i] : 0;
                        const uint8_t left = i >= size_t(l.channels) ? row[i - size_t(l.channels)] : 0;
                        switch (y % 6) {
                        case 0: row[i] = uint8_t(rng()); break;
                        case 1: row[i] = uint8_t(i * 7 + size_t(y)); break;
                        case 2: row[i] = uint8_t(above + rng() % 3); break;
                        case 3: row[i] = uint8_t((above + left) / 2 + rng() % 5); break;
                        case 4: row[i] = uint8_t(left + above / 3 + rng() % 9); break;
                        default: row[i] = uint8_t(i < rowBytes / 2 ? 200 : 250 - rng() % 120); break;
                        }
                    }
                    f.rows.push_back(row);
                }
                ScratchDir dir;
                const std::wstring path = dir.File("a.png");
                ASSERT_EQ(WriteTo(&f, path), kSaveOk);
                const std::string reference = LibpngAllFilters(f.rows, width, l.colourType, 6);
                ASSERT_FALSE(reference.empty());
                std::string ours;
                if (std::FILE* in = std::fopen(Narrow(path).c_str(), "rb")) {
                    char buffer[4096];
                    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) != 0;) ours.append(buffer, n);
                    std::fclose(in);
                }
                EXPECT_EQ(ImageData(ours), ImageData(reference));
                if (width == 133) filtersSeen += RowFilters(Narrow(path));
            }
        }
    }
    for (const char filter : {'0', '1', '2', '3', '4'})
        EXPECT_NE(filtersSeen.find(filter), std::string::npos) << "no row took filter " << filter << ": " << filtersSeen;
}

TEST(PngWriter, CompressionLevelAboveNineIsNine) {
    ScratchDir dir;
    auto write = [&](int16_t level) {
        FakeSave f;
        PngKindCase k = kKinds[0];
        k.width = 200;
        k.height = 100;
        k.bytesPerPlane = 200;
        PrepareRows(&f, k);
        f.options().compressionLevel = level;
        const std::wstring path = dir.File("l" + std::to_string(level) + ".png");
        EXPECT_EQ(WriteTo(&f, path), kSaveOk);
        return Narrow(path);
    };
    const std::string l0 = write(0), l1 = write(1), l6 = write(6), l9 = write(9), l12 = write(12);
    EXPECT_TRUE(Contains(PngCheck(l1), "superfast compression")) << PngCheck(l1);
    EXPECT_TRUE(Contains(PngCheck(l6), "default compression")) << PngCheck(l6);
    EXPECT_TRUE(Contains(PngCheck(l9), "maximum compression")) << PngCheck(l9);
    EXPECT_TRUE(Contains(PngCheck(l12), "maximum compression")) << PngCheck(l12);
    EXPECT_EQ(ReadBytes(std::wstring(l12.begin(), l12.end())), ReadBytes(std::wstring(l9.begin(), l9.end())));
    EXPECT_GT(ReadBytes(std::wstring(l0.begin(), l0.end())).size(), 200u * 100u);  // stored, not deflated
}
#endif

// ---------------------------------------------------------------------------
// Failures, cancel and large pictures.

TEST(PngWriter, RefusalsAndFailuresGiveTheirCodes) {
    ScratchDir dir;
    {
        SCOPED_TRACE("a file that cannot be created");
        FakeSave f;
        PrepareRows(&f, kKinds[0]);
        EXPECT_EQ(WriteTo(&f, dir.File("missing/x.png")), kSaveCannotCreate);
        EXPECT_EQ(f.begins, 0);
    }
    {
        SCOPED_TRACE("a kind PNG has no layout for");
        FakeSave f;
        PrepareRows(&f, kKinds[0]);
        f.picture().kind = 8;
        EXPECT_EQ(WriteTo(&f, dir.File("k.png")), kSaveRefused);
        EXPECT_EQ(f.begins, 0);
    }
    {
        SCOPED_TRACE("BeginWrite's status ends the write with nothing written");
        FakeSave f;
        PrepareRows(&f, kKinds[5]);
        f.beginResult = kSaveNoMemory;
        EXPECT_EQ(WriteTo(&f, dir.File("m.png")), kSaveNoMemory);
        EXPECT_EQ(f.ends, 0);
        EXPECT_TRUE(ReadBytes(dir.File("m.png")).empty());
    }
    for (bool interlaced : {false, true}) {
        SCOPED_TRACE(interlaced ? "a cancel, interlaced" : "a cancel");
        FakeSave f;
        PrepareRows(&f, kKinds[0]);
        f.options().interlaced = interlaced;
        f.failAtRow = 4;
        EXPECT_EQ(WriteTo(&f, dir.File("c.png")), kSaveCancelled);
        EXPECT_EQ(f.rowsDelivered, 4);
        EXPECT_EQ(f.ends, 1);
    }
}

#ifndef _WIN32
// Short writes come back through the library's error path (large pictures)
// or at the final flush (small ones).
TEST(PngWriter, FullDiskIsAWriteFailure) {
    for (int side : {4, 400}) {
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(std::to_string(side) + (interlaced ? " interlaced" : ""));
            FakeSave f;
            PngKindCase k = kKinds[6];
            k.width = k.height = side;
            k.bytesPerPlane = uint32_t(side) * 4;
            PrepareRows(&f, k);
            f.options().compressionLevel = 0;
            f.options().interlaced = interlaced;
            EXPECT_EQ(WriteTo(&f, L"/dev/full"), kSaveWriteFailed);
            EXPECT_EQ(f.ends, f.begins);
        }
    }
}
#endif

// Adam7 pictures of 65536 rows and more are gathered whole, not through a
// 16-bit rows-per-call count.
TEST(PngWriter, TallInterlacedPicture) {
    ScratchDir dir;
    FakeSave f;
    PngKindCase k = kKinds[2];  // 4-bit palette, odd width
    k.width = 3;
    k.height = 70001;
    k.bytesPerPlane = 2;
    PrepareRows(&f, k);
    f.options().interlaced = 1;
    const std::wstring path = dir.File("tall.png");
    ASSERT_EQ(WriteTo(&f, path), kSaveOk);
    EXPECT_EQ(f.rowsDelivered, 70001);
#ifndef _WIN32
    const PillowView v = Pillow(Narrow(path));
    EXPECT_EQ(v.size(), "3x70001");
    EXPECT_EQ(v.interlace(), "1");
    EXPECT_EQ(v.pixels(), Expected(k));
#endif
}

}  // namespace
