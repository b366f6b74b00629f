// The BMP, Targa and GIF writers checked by decoders no one here wrote:
// Pillow, ImageMagick, netpbm's bmptopnm, giflib's giftext and gifsicle.
// Each case writes a file, decodes it with every tool that reads the format
// and compares all pixels (and the options the tools report).
//
// Native only: under Wine the Linux tools cannot run.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "imagelib/save.h"
#include "imagelib/savecontext.h"
#include "imagelib/textutil.h"
#include "save_support.h"
#include "tests/support/oracles.h"
#include "tests/support/testfiles.h"

namespace {

using save_testing::BuiltinRegistry;
using save_testing::TestBitmap;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using Bytes = std::vector<uint8_t>;

// The tools' output, with the exit status (-1 when the shell could not start).
std::string RunTool(const std::string& command, int* status) {
    *status = -1;
    return testing_support::RunCommand(command, status);
}

std::string Quote(const std::string& s) { return testing_support::ShellQuote(s); }

// A decoded picture as RGBA bytes, with what the tool reported.
struct Decoded {
    bool ok = false;
    int width = 0, height = 0;
    Bytes rgba;
    std::map<std::string, std::string> info;
    std::string error;
};

const char kPillowScript[] = R"(
import sys
from PIL import Image
im = Image.open(sys.argv[1])
im.load()
print("size", im.size[0], im.size[1])
print("mode", im.mode)
for k in ("version", "transparency", "interlace", "compression", "id_section", "comment"):
    if k in im.info:
        v = im.info[k]
        if isinstance(v, bytes):
            v = v.decode("latin-1")
        print(k, v)
open(sys.argv[2], "wb").write(im.convert("RGBA").tobytes())
)";

Decoded DecodeWithPillow(const std::string& path, const std::string& scratch) {
    Decoded d;
    const std::string script = scratch + "/pillow.py", raw = scratch + "/pillow.rgba";
    testing_support::WriteText(Utf8ToWide(script.c_str()), kPillowScript);
    int status;
    const std::string out = RunTool("/usr/bin/python3 " + Quote(script) + " " + Quote(path) + " " + Quote(raw) + " 2>&1",
                                &status);
    if (status != 0) {
        d.error = out;
        return d;
    }
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t space = line.find(' ');
        if (space != std::string::npos) d.info[line.substr(0, space)] = line.substr(space + 1);
    }
    std::istringstream(d.info["size"]) >> d.width >> d.height;
    d.rgba = ReadBytes(Utf8ToWide(raw.c_str()));
    d.ok = true;
    return d;
}

Decoded DecodeWithMagick(const std::string& path, const std::string& scratch) {
    Decoded d;
    const std::string raw = scratch + "/magick.rgba";
    int status;
    const std::string size = RunTool("/usr/bin/identify -format '%w %h' " + Quote(path) + " 2>&1", &status);
    if (status != 0) {
        d.error = size;
        return d;
    }
    std::istringstream(size) >> d.width >> d.height;
    const std::string out = RunTool("/usr/bin/convert " + Quote(path) + " -depth 8 rgba:" + Quote(raw) + " 2>&1", &status);
    if (status != 0) {
        d.error = out;
        return d;
    }
    d.rgba = ReadBytes(Utf8ToWide(raw.c_str()));
    d.ok = true;
    return d;
}

// A netpbm converter to PNM (P4, P5 or P6, maxval 255 or 1), read into RGBA.
Decoded DecodeWithNetpbm(const char* tool, const std::string& path, const std::string& scratch) {
    Decoded d;
    const std::string pnm = scratch + "/netpbm.pnm";
    int status;
    const std::string err = RunTool(std::string(tool) + " " + Quote(path) + " 2>&1 >" + Quote(pnm), &status);
    if (status != 0) {
        d.error = err;
        return d;
    }
    const Bytes file = ReadBytes(Utf8ToWide(pnm.c_str()));
    // Header: magic, width, height, maxval (not for P4), then one whitespace byte.
    size_t pos = 2;
    auto number = [&]() {
        while (pos < file.size() && std::isspace(file[pos])) ++pos;
        int v = 0;
        while (pos < file.size() && std::isdigit(file[pos])) v = v * 10 + (file[pos++] - '0');
        return v;
    };
    if (file.size() < 3 || file[0] != 'P') return d;
    const char kind = char(file[1]);
    d.width = number();
    d.height = number();
    const int maxval = kind == '4' ? 1 : number();
    ++pos;
    for (int y = 0; y < d.height; ++y) {
        for (int x = 0; x < d.width; ++x) {
            uint8_t r, g, b;
            if (kind == '4') {
                const size_t rowBytes = size_t(d.width + 7) / 8;
                const uint8_t byte = file.at(pos + size_t(y) * rowBytes + size_t(x) / 8);
                r = g = b = (byte & (0x80 >> (x & 7))) ? 0 : 255;  // 1 is black
            } else if (kind == '5') {
                r = g = b = uint8_t(file.at(pos + size_t(y) * size_t(d.width) + size_t(x)) * 255 / maxval);
            } else {
                const size_t at = pos + (size_t(y) * size_t(d.width) + size_t(x)) * 3;
                r = uint8_t(file.at(at) * 255 / maxval);
                g = uint8_t(file.at(at + 1) * 255 / maxval);
                b = uint8_t(file.at(at + 2) * 255 / maxval);
            }
            d.rgba.insert(d.rgba.end(), {r, g, b, 255});
        }
    }
    d.ok = true;
    return d;
}

// ---------------------------------------------------------------------------
// Pictures and what they must decode to.

// Pixel bytes with runs and changes, as real pictures have.
Bytes MakeRows(size_t n, int values, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < n) {
        const size_t run = (rng() % 3 == 0) ? 1 + rng() % 40 : 1;
        const uint8_t v = uint8_t(rng() % uint32_t(values));
        for (size_t i = 0; i < run && out.size() < n; ++i) out.push_back(v);
    }
    return out;
}

void FillBitmap(Bitmap* b, int values, uint32_t seed) {
    const Bytes data = MakeRows(size_t(b->bytesPerRow) * size_t(b->height), values, seed);
    std::memcpy(b->pixels, data.data(), data.size());
    if (b->palette) {
        std::mt19937 rng(seed + 1);
        for (size_t i = 0; i < 768; ++i) b->palette[i] = uint8_t(rng());
    }
}

// RGBA of pixel (x, y) as the file must show it.
std::array<uint8_t, 4> Expected(const Bitmap* b, int x, int y) {
    const uint8_t* row = b->pixels + size_t(y) * size_t(b->bytesPerRow);
    const uint8_t* p = row + size_t(x) * b->bytesPerPixel;
    switch (b->pixelType) {
        case kPixelBilevel: {
            const uint8_t v = (row[x / 8] & (0x80 >> (x & 7))) ? 255 : 0;
            return {v, v, v, 255};
        }
        case kPixelGrey: {
            const int n = EffectiveColourCount(kPixelGrey, b->paletteCount);
            const uint8_t v = uint8_t(row[x] * 255 / (n - 1));
            return {v, v, v, 255};
        }
        case kPixelPalette:
            return {b->palette[row[x]], b->palette[kPaletteGreen + row[x]], b->palette[kPaletteBlue + row[x]], 255};
        case kPixelRGB: return {p[0], p[1], p[2], 255};
        case kPixelBGR: return {p[2], p[1], p[0], 255};
        case kPixelRGBA: return {p[0], p[1], p[2], p[3]};
        case kPixelABGR: return {p[3], p[2], p[1], p[0]};
        case kPixelBGRA: return {p[2], p[1], p[0], p[3]};
        case kPixelARGB: return {p[1], p[2], p[3], p[0]};
        case kPixelCMYK: {
            const unsigned k = 255u - p[3];
            return {uint8_t((255u - p[0]) * k / 255), uint8_t((255u - p[1]) * k / 255), uint8_t((255u - p[2]) * k / 255),
                    255};
        }
        default: return {0, 0, 0, 0};
    }
}

// Compares every pixel; `alpha` says whether the file carries alpha.
void ExpectPixels(const Bitmap* b, const Decoded& d, bool alpha, int transparentIndex = -1) {
    ASSERT_TRUE(d.ok) << d.error;
    ASSERT_EQ(b->width, d.width);
    ASSERT_EQ(b->height, d.height);
    ASSERT_EQ(size_t(d.width) * size_t(d.height) * 4, d.rgba.size());
    int mismatches = 0;
    for (int y = 0; y < b->height && mismatches < 5; ++y) {
        for (int x = 0; x < b->width && mismatches < 5; ++x) {
            std::array<uint8_t, 4> want = Expected(b, x, y);
            if (!alpha) want[3] = 255;
            if (transparentIndex >= 0 && b->pixels[size_t(y) * size_t(b->bytesPerRow) + size_t(x)] == transparentIndex)
                want[3] = 0;
            const uint8_t* got = &d.rgba[(size_t(y) * size_t(d.width) + size_t(x)) * 4];
            const bool same = got[0] == want[0] && got[1] == want[1] && got[2] == want[2] &&
                              (want[3] == 0 ? got[3] == 0 : got[3] == want[3]);
            if (!same) {
                ++mismatches;
                ADD_FAILURE() << "pixel (" << x << ", " << y << "): got " << int(got[0]) << "," << int(got[1]) << ","
                              << int(got[2]) << "," << int(got[3]) << " want " << int(want[0]) << "," << int(want[1])
                              << "," << int(want[2]) << "," << int(want[3]);
            }
        }
    }
}

enum Oracle { kPillow = 1, kMagick = 2, kBmpToPnm = 4 };

struct OracleCase {
    const char* name;
    int format;
    uint16_t type;
    int32_t width, height;
    int16_t colours;  // palette and grey pictures
    std::function<void(SaveOptions*)> options;
    int oracles;
    bool alpha;       // the file carries the bitmap's alpha
    std::map<std::string, std::string> pillowInfo;  // values Pillow must report
};

class OracleTest : public ::testing::Test {
protected:
    void Check(const OracleCase& c, uint32_t seed) {
        SCOPED_TRACE(c.name);
        TestBitmap b;
        ASSERT_TRUE(AllocBitmap(b.get(), c.type, 4, c.width, c.height));
        if (c.colours) b->paletteCount = c.colours;
        const int values = c.type == kPixelPalette || c.type == kPixelGrey ? (c.colours ? c.colours : 256) : 256;
        FillBitmap(b.get(), values, seed);
        SaveOptions o;
        InitSaveOptions(&o);
        o.formatIndex = int16_t(c.format);
        if (c.options) c.options(&o);
        const std::wstring file = dir.File(std::string("case.") + GetFormatDefaultExtension(c.format));
        ASSERT_EQ(kSaveOk, SavePictureToFile(file.c_str(), b.get(), &o));
        const std::string path = WideToUtf8(file.c_str());
        const std::string scratch = dir.path().string();
        if (c.oracles & kPillow) {
            SCOPED_TRACE("Pillow");
            const Decoded d = DecodeWithPillow(path, scratch);
            ExpectPixels(b.get(), d, c.alpha);
            for (const auto& [key, value] : c.pillowInfo) {
                EXPECT_EQ(value, d.info.count(key) ? d.info.at(key) : "(absent)") << key;
            }
        }
        if (c.oracles & kMagick) {
            SCOPED_TRACE("ImageMagick");
            ExpectPixels(b.get(), DecodeWithMagick(path, scratch), c.alpha);
        }
        if (c.oracles & kBmpToPnm) {
            SCOPED_TRACE("bmptopnm");
            ExpectPixels(b.get(), DecodeWithNetpbm("bmptopnm", path, scratch), false);
        }
    }

    BuiltinRegistry registry;
    ScratchDir dir;
};

auto Rle = [](SaveOptions* o) { o->rleSwitch = 1; };
auto Os2 = [](SaveOptions* o) { o->os2Header = 1; };

TEST_F(OracleTest, Bmp) {
    const int all = kPillow | kMagick | kBmpToPnm;
    const OracleCase cases[] = {
        {"bilevel", kFormatBmp, kPixelBilevel, 37, 5, 0, nullptr, all, false, {}},
        {"grey", kFormatBmp, kPixelGrey, 23, 7, 0, nullptr, all, false, {}},
        {"grey of 16 levels", kFormatBmp, kPixelGrey, 23, 7, 16, nullptr, all, false, {}},
        {"16 colours", kFormatBmp, kPixelPalette, 13, 4, 16, nullptr, all, false, {}},
        {"200 colours", kFormatBmp, kPixelPalette, 19, 6, 200, nullptr, all, false, {}},
        {"rgb", kFormatBmp, kPixelRGB, 17, 5, 0, nullptr, all, false, {}},
        {"bgr", kFormatBmp, kPixelBGR, 6, 5, 0, nullptr, all, false, {}},
        {"bgra", kFormatBmp, kPixelBGRA, 11, 3, 0, nullptr, kPillow | kBmpToPnm, false, {}},
        {"cmyk", kFormatBmp, kPixelCMYK, 9, 3, 0, nullptr, all, false, {}},
        {"rle8", kFormatBmp, kPixelPalette, 301, 9, 200, Rle, all, false, {{"compression", "1"}}},
        // Pillow drops the last pixel of odd-length RLE4 absolute runs, so it
        // is no judge of these.
        {"rle4", kFormatBmp, kPixelPalette, 299, 9, 10, Rle, kMagick | kBmpToPnm, false, {}},
        {"rle4 odd widths", kFormatBmp, kPixelPalette, 7, 5, 3, Rle, kMagick | kBmpToPnm, false, {}},
        {"os/2 16 colours", kFormatBmp, kPixelPalette, 13, 4, 16, Os2, all, false, {}},
        {"os/2 rgb", kFormatBmp, kPixelRGB, 10, 4, 0, Os2, all, false, {}},
    };
    uint32_t seed = 1;
    for (const OracleCase& c : cases) Check(c, seed++);
}

TEST_F(OracleTest, Targa) {
    const int both = kPillow | kMagick;
    const OracleCase cases[] = {
        {"rgb", kFormatTga, kPixelRGB, 17, 5, 0, nullptr, both, false, {{"compression", "(absent)"}}},
        {"rgb rle", kFormatTga, kPixelRGB, 300, 5, 0, Rle, both, false, {{"compression", "tga_rle"}}},
        {"rgba", kFormatTga, kPixelRGBA, 11, 3, 0, nullptr, both, true, {{"mode", "RGBA"}}},
        {"argb rle", kFormatTga, kPixelARGB, 140, 3, 0, Rle, both, true, {}},
        {"grey", kFormatTga, kPixelGrey, 9, 4, 0, nullptr, both, false, {{"mode", "L"}}},
        {"grey rle", kFormatTga, kPixelGrey, 200, 4, 0, Rle, both, false, {{"compression", "tga_rle"}}},
        {"grey of 4 levels", kFormatTga, kPixelGrey, 9, 4, 4, nullptr, both, false, {}},
        {"bilevel", kFormatTga, kPixelBilevel, 21, 3, 0, nullptr, kPillow, false, {{"mode", "1"}}},
        {"palette", kFormatTga, kPixelPalette, 15, 4, 100, nullptr, both, false, {{"mode", "P"}}},
        {"palette rle", kFormatTga, kPixelPalette, 150, 4, 100, Rle, both, false, {}},
        {"cmyk", kFormatTga, kPixelCMYK, 5, 2, 0, nullptr, both, false, {}},
    };
    uint32_t seed = 100;
    for (const OracleCase& c : cases) Check(c, seed++);
}

TEST_F(OracleTest, Gif) {
    const int both = kPillow | kMagick;
    auto interlaced = [](SaveOptions* o) { o->interlaced = 1; };
    auto old = [](SaveOptions* o) { o->gif87a = 1; };
    const OracleCase cases[] = {
        {"256 colours", kFormatGif, kPixelPalette, 64, 48, 256, nullptr, both, false, {{"version", "GIF89a"}}},
        {"256 colours, large (table resets)", kFormatGif, kPixelPalette, 400, 300, 256, nullptr, both, false, {}},
        {"5 colours", kFormatGif, kPixelPalette, 33, 7, 5, nullptr, both, false, {}},
        {"2 colours", kFormatGif, kPixelPalette, 17, 3, 2, nullptr, both, false, {}},
        {"grey", kFormatGif, kPixelGrey, 31, 5, 0, nullptr, both, false, {}},
        {"grey of 16 levels", kFormatGif, kPixelGrey, 31, 5, 16, nullptr, both, false, {}},
        {"bilevel", kFormatGif, kPixelBilevel, 45, 6, 0, nullptr, both, false, {}},
        {"interlaced", kFormatGif, kPixelPalette, 23, 19, 64, interlaced, both, false, {}},
        {"gif87a", kFormatGif, kPixelPalette, 8, 8, 16, old, both, false, {{"version", "GIF87a"}}},
    };
    uint32_t seed = 200;
    for (const OracleCase& c : cases) Check(c, seed++);
}

// Transparency, comment and interlacing as giftext and gifsicle report them,
// and indexes beyond the colour table decoded as their low bits.
TEST_F(OracleTest, GifExtensionsThroughGiflibAndGifsicle) {
    TestBitmap b;
    ASSERT_TRUE(AllocBitmap(b.get(), kPixelPalette, 4, 20, 10));
    FillBitmap(b.get(), 12, 7);  // indexes up to 11 in a 12-colour picture: 4 bits
    b->paletteCount = 12;
    b->transparentIndex = 3;
    b->comment = DuplicateText("made here");
    SaveOptions o;
    InitSaveOptions(&o);
    o.formatIndex = kFormatGif;
    o.interlaced = 1;
    o.gif87a = 1;
    const std::wstring file = dir.File("ext.gif");
    ASSERT_EQ(kSaveOk, SavePictureToFile(file.c_str(), b.get(), &o));
    const std::string path = WideToUtf8(file.c_str());
    int status;
    const std::string text = RunTool("giftext " + Quote(path) + " 2>&1", &status);
    EXPECT_EQ(0, status) << text;
    EXPECT_NE(std::string::npos, text.find("Image is Interlaced")) << text;
    EXPECT_NE(std::string::npos, text.find("GIF file terminated normally")) << text;
    const std::string info = RunTool("gifsicle --info " + Quote(path) + " 2>&1", &status);
    EXPECT_EQ(0, status) << info;
    EXPECT_NE(std::string::npos, info.find("transparent 3")) << info;
    EXPECT_NE(std::string::npos, info.find("made here")) << info;
    EXPECT_NE(std::string::npos, info.find("interlaced")) << info;
    EXPECT_NE(std::string::npos, info.find("global color table [16]")) << info;
    const Decoded d = DecodeWithPillow(path, dir.path().string());
    EXPECT_EQ("GIF89a", d.info.count("version") ? d.info.at("version") : "");
    // The comment sub-block carries the text's terminating zero.
    EXPECT_EQ(std::string("made here", 10), d.info.count("comment") ? d.info.at("comment") : "");
    ExpectPixels(b.get(), d, false, 3);

    // Indexes at or above the table size reach the decoder as their low bits.
    TestBitmap wide;
    ASSERT_TRUE(AllocBitmap(wide.get(), kPixelPalette, 4, 8, 2));
    wide->paletteCount = 4;
    for (int i = 0; i < 16; ++i) wide->pixels[size_t(i / 8) * size_t(wide->bytesPerRow) + size_t(i % 8)] = uint8_t(i * 17);
    const uint32_t colours[4] = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    for (int i = 0; i < 4; ++i) {
        wide->palette[i] = uint8_t(colours[i] >> 16);
        wide->palette[kPaletteGreen + i] = uint8_t(colours[i] >> 8);
        wide->palette[kPaletteBlue + i] = uint8_t(colours[i]);
    }
    o.interlaced = 0;
    ASSERT_EQ(kSaveOk, SavePictureToFile(file.c_str(), wide.get(), &o));
    const Decoded w = DecodeWithPillow(path, dir.path().string());
    ASSERT_TRUE(w.ok) << w.error;
    for (int i = 0; i < 16; ++i) {
        const int index = (i * 17) & 3;
        EXPECT_EQ(wide->palette[index], w.rgba[size_t(i) * 4]) << i;
        EXPECT_EQ(wide->palette[kPaletteGreen + index], w.rgba[size_t(i) * 4 + 1]) << i;
    }
}

TEST_F(OracleTest, TargaCommentIsTheImageId) {
    TestBitmap b;
    ASSERT_TRUE(AllocBitmap(b.get(), kPixelRGB, 4, 3, 2));
    b->comment = DuplicateText("abc");
    SaveOptions o;
    InitSaveOptions(&o);
    o.formatIndex = kFormatTga;
    const std::wstring file = dir.File("id.tga");
    ASSERT_EQ(kSaveOk, SavePictureToFile(file.c_str(), b.get(), &o));
    const Decoded d = DecodeWithPillow(WideToUtf8(file.c_str()), dir.path().string());
    ASSERT_TRUE(d.ok) << d.error;
    ASSERT_TRUE(d.info.count("id_section"));
    EXPECT_EQ(std::string("abc", 4), d.info.at("id_section"));
}

}  // namespace

#endif  // _WIN32
