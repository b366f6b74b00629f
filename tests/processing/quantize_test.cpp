#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "imagelib/metadata.h"
#include "processing/reduce.h"
#include "tests/processing/picture.h"
#include "tests/support/oracles.h"
#include "tests/support/testfiles.h"

using namespace pictest;

namespace {

struct Colour {
    uint8_t r, g, b;
    bool operator==(const Colour& o) const { return r == o.r && g == o.g && b == o.b; }
};

Colour PaletteEntry(const Bitmap* b, int i) {
    return Colour{b->palette[i], b->palette[kPaletteGreen + i], b->palette[kPaletteBlue + i]};
}

// A picture of `type` whose pixel i has colours[i] (red, green, blue placed
// where the type keeps them; alpha 255).
void MakeColours(Picture& p, uint16_t type, int32_t w, int32_t h, const std::vector<Colour>& colours) {
    ASSERT_EQ(1, AllocBitmap(p.get(), type, 4, w, h));
    int at[4] = {0, 1, 2, 3};
    if (type == kPixelBGR || type == kPixelBGRA) at[0] = 2, at[2] = 0;
    if (type == kPixelABGR) at[0] = 3, at[1] = 2, at[2] = 1, at[3] = 0;
    if (type == kPixelARGB) at[0] = 1, at[1] = 2, at[2] = 3, at[3] = 0;
    for (int32_t i = 0; i < w * h; ++i) {
        uint8_t* px = p->pixels + size_t(i / w) * size_t(p->bytesPerRow) + size_t(i % w) * p->bytesPerPixel;
        px[at[0]] = colours[size_t(i)].r;
        px[at[1]] = colours[size_t(i)].g;
        px[at[2]] = colours[size_t(i)].b;
        if (p->bytesPerPixel == 4) px[at[3]] = 255;
    }
}

Colour PixelColour(const Bitmap* b, int32_t x, int32_t y) {
    return PaletteEntry(b, b->pixels[size_t(y) * size_t(b->bytesPerRow) + size_t(x)]);
}

TEST(Quantize, FewColoursKeepEveryPixelInOrderOfFirstAppearance) {
    // Eight colours, first seen in this order, repeated in another order.
    const std::vector<Colour> eight = {{9, 8, 7},   {255, 0, 0},   {0, 255, 0}, {0, 0, 255},
                                       {1, 2, 3},   {200, 100, 50}, {0, 0, 0},   {255, 255, 255}};
    std::vector<Colour> pixels = eight;
    for (int i = 7; i >= 0; --i) pixels.push_back(eight[size_t(i)]);
    for (uint16_t type : {kPixelRGB, kPixelBGR, kPixelRGBA, kPixelABGR, kPixelBGRA, kPixelARGB}) {
        SCOPED_TRACE(type);
        Picture src, out;
        MakeColours(src, type, 4, 4, pixels);
        src->transparentIndex = 3;
        ASSERT_EQ(0, QuantizeBitmap(src.get(), out.get(), 8, 1));
        EXPECT_EQ(kPixelPalette, out->pixelType);
        EXPECT_EQ(8, out->paletteCount);
        EXPECT_EQ(-1, out->transparentIndex);
        for (int i = 0; i < 8; ++i) EXPECT_EQ(eight[size_t(i)], PaletteEntry(out.get(), i)) << i;
        for (int32_t i = 0; i < 16; ++i) EXPECT_EQ(pixels[size_t(i)], PixelColour(out.get(), i % 4, i / 4)) << i;
    }
}

TEST(Quantize, TwoHundredAndFiftySixColoursAreKeptExactly) {
    // Colours that hash alike land in neighbouring slots; each keeps its
    // own entry, in order of first appearance, and the palette is full.
    std::vector<Colour> colours;
    for (int i = 0; i < 64 * 64; ++i) {
        const int k = (i * 37) % 256;
        colours.push_back(Colour{uint8_t(k), uint8_t(k * 7), uint8_t(255 - k)});
    }
    Picture src, out;
    MakeColours(src, kPixelBGRA, 64, 64, colours);
    ASSERT_EQ(0, QuantizeBitmap(src.get(), out.get(), 256, 1));
    for (int i = 0; i < 256; ++i) EXPECT_EQ(colours[size_t(i)], PaletteEntry(out.get(), i)) << i;
    for (int i = 0; i < 64 * 64; ++i) ASSERT_EQ(colours[size_t(i)], PixelColour(out.get(), i % 64, i / 64)) << i;
    // One more colour and the picture goes through the median cut.
    colours[4095] = Colour{1, 2, 3};
    Picture more, cut;
    MakeColours(more, kPixelRGB, 64, 64, colours);
    ASSERT_EQ(0, QuantizeBitmap(more.get(), cut.get(), 256, 0));
    int exact = 0;
    for (int i = 0; i < 64 * 64; ++i) exact += colours[size_t(i)] == PixelColour(cut.get(), i % 64, i / 64);
    EXPECT_LT(exact, 64 * 64);
}

TEST(Quantize, OneColourGivesThatColourThenBlack) {
    Picture src;
    MakeColours(src, kPixelRGB, 3, 2, std::vector<Colour>(6, Colour{10, 20, 30}));
    src->xResolution = 150;
    ASSERT_EQ(0, QuantizeBitmap(src.get(), nullptr, 8, 0));  // in place
    EXPECT_EQ(kPixelPalette, src->pixelType);
    EXPECT_EQ(8, src->paletteCount);
    EXPECT_EQ(150, src->xResolution);
    EXPECT_EQ((Colour{10, 20, 30}), PaletteEntry(src.get(), 0));
    for (int i = 1; i < 256; ++i) EXPECT_EQ((Colour{0, 0, 0}), PaletteEntry(src.get(), i));
    EXPECT_EQ(std::vector<uint32_t>(6, 0), Samples(src.get()));
}

TEST(Quantize, OneColourMoreThanAskedGoesThroughTheMedianCut) {
    // Nine colours far apart into eight: one entry must serve two colours,
    // each of the other seven stays within its cell (a cell centre is at
    // most 4 away from the colours of its cell).
    std::vector<Colour> nine;
    for (int i = 0; i < 8; ++i)
        nine.push_back(Colour{uint8_t(i & 1 ? 250 : 5), uint8_t(i & 2 ? 250 : 5), uint8_t(i & 4 ? 250 : 5)});
    nine.push_back(Colour{128, 128, 128});
    Picture src, out;
    MakeColours(src, kPixelRGB, 9, 1, nine);
    ASSERT_EQ(0, QuantizeBitmap(src.get(), out.get(), 8, 0));
    EXPECT_EQ(8, out->paletteCount);
    int kept = 0;
    std::set<int> used;
    for (int32_t x = 0; x < 9; ++x) {
        const Colour c = PixelColour(out.get(), x, 0);
        const Colour& o = nine[size_t(x)];
        kept += std::abs(c.r - o.r) <= 4 && std::abs(c.g - o.g) <= 4 && std::abs(c.b - o.b) <= 4;
        used.insert(out->pixels[x]);
    }
    EXPECT_EQ(7, kept);
    EXPECT_EQ(8u, used.size());
}

TEST(Quantize, OneBytePicturesListTheirValuesMostFrequentFirst) {
    // Grey of 16 levels: level 15 four times, 0 twice, 5 once.
    Picture grey, out;
    Make(grey, kPixelGrey, 7, 1, {15, 0, 15, 5, 15, 0, 15});
    grey->paletteCount = 16;
    ASSERT_EQ(0, QuantizeBitmap(grey.get(), out.get(), 4, 1));
    EXPECT_EQ(4, out->paletteCount);
    EXPECT_EQ((Colour{255, 255, 255}), PaletteEntry(out.get(), 0));
    EXPECT_EQ((Colour{0, 0, 0}), PaletteEntry(out.get(), 1));
    EXPECT_EQ((Colour{85, 85, 85}), PaletteEntry(out.get(), 2));
    EXPECT_EQ((std::vector<uint32_t>{0, 1, 0, 2, 0, 1, 0}), Samples(out.get()));

    // A palette picture keeps its entries' colours (entry e is e, 255 - e, 7e).
    Picture pal, palOut;
    Make(pal, kPixelPalette, 4, 1, {9, 3, 9, 9});
    ASSERT_EQ(0, QuantizeBitmap(pal.get(), palOut.get(), 2, 0));
    EXPECT_EQ((Colour{9, 246, 63}), PaletteEntry(palOut.get(), 0));
    EXPECT_EQ((Colour{3, 252, 21}), PaletteEntry(palOut.get(), 1));
    EXPECT_EQ((std::vector<uint32_t>{0, 1, 0, 0}), Samples(palOut.get()));

    // A bilevel picture: white first here.
    Picture bits, bitsOut;
    Make(bits, kPixelBilevel, 3, 1, {1, 0, 1});
    ASSERT_EQ(0, QuantizeBitmap(bits.get(), bitsOut.get(), 2, 0));
    EXPECT_EQ((Colour{255, 255, 255}), PaletteEntry(bitsOut.get(), 0));
    EXPECT_EQ((std::vector<uint32_t>{0, 1, 0}), Samples(bitsOut.get()));
}

TEST(Quantize, GreyIsNeverDitheredAndFlatColourIsDitheredBetweenItsNeighbours) {
    // A ramp of 256 grey levels into 8: the same level always takes the
    // same entry, with or without the dither flag.
    std::vector<uint32_t> ramp;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 256; ++x) ramp.push_back(uint32_t(x));
    Picture grey, plain, flagged;
    Make(grey, kPixelGrey, 256, 4, ramp);
    grey->paletteCount = 256;
    ASSERT_EQ(0, QuantizeBitmap(grey.get(), plain.get(), 8, 0));
    ASSERT_EQ(0, QuantizeBitmap(grey.get(), flagged.get(), 8, 1));
    EXPECT_EQ(Samples(plain.get()), Samples(flagged.get()));
    for (int x = 0; x < 256; ++x) EXPECT_EQ(Sample(plain.get(), x, 0), Sample(plain.get(), x, 3));

    // Colour: a wide black strip, a flat grey block and a white strip, into
    // two colours: black and the grey share an entry (about 17 grey),
    // white has its own. The block is nearer the dark entry, but its
    // limited error of 32 lifts it past the midpoint: with dithering it
    // mixes both entries, without it takes the dark one only.
    std::vector<Colour> pixels;
    const int32_t w = 64, h = 24;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            pixels.push_back(x < 48 ? Colour{0, 0, 0} : x >= 56 ? Colour{255, 255, 255} : Colour{120, 120, 120});
    Picture colour, none, diffused;
    MakeColours(colour, kPixelRGB, w, h, pixels);
    ASSERT_EQ(0, QuantizeBitmap(colour.get(), none.get(), 2, 0));
    ASSERT_EQ(0, QuantizeBitmap(colour.get(), diffused.get(), 2, 1));
    std::set<uint8_t> plainBlock, mixedBlock;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 48; x < 56; ++x) {
            plainBlock.insert(none->pixels[size_t(y) * size_t(none->bytesPerRow) + size_t(x)]);
            mixedBlock.insert(diffused->pixels[size_t(y) * size_t(diffused->bytesPerRow) + size_t(x)]);
        }
    EXPECT_EQ(std::set<uint8_t>{0}, plainBlock);
    EXPECT_EQ((std::set<uint8_t>{0, 1}), mixedBlock);
}

TEST(Quantize, BadCountsAndRecordsAreRefused) {
    Picture src;
    MakeColours(src, kPixelRGB, 2, 1, {{1, 2, 3}, {4, 5, 6}});
    EXPECT_EQ(16, QuantizeBitmap(src.get(), nullptr, 1, 0));
    EXPECT_EQ(16, QuantizeBitmap(src.get(), nullptr, 257, 0));
    Bitmap empty{};
    EXPECT_EQ(16, QuantizeBitmap(&empty, nullptr, 8, 0));
    EXPECT_EQ(kPixelRGB, src->pixelType);
}

TEST(Quantize, ColourSumsOfLargePicturesDoNotOverflow) {
    // 3072 x 3072 pixels: 144 colours of 65536 pixels each in one box
    // (red cells 0..15, green cells 0..8, blue 252) and one far red pixel.
    // Cut in two, the big box's sums pass 2^31: its colour is the plain
    // mean of its cell centres, (64, 18, 252).
    const int32_t side = 3072;
    Picture src, out;
    ASSERT_EQ(1, AllocBitmap(src.get(), kPixelRGB, 4, side, side));
    for (int32_t y = 0; y < side; ++y) {
        uint8_t* row = src->pixels + size_t(y) * size_t(src->bytesPerRow);
        for (int32_t x = 0; x < side; ++x) {
            const int cell = int((int64_t(y) * side + x) / 65536);  // 0..143
            row[3 * x] = uint8_t(8 * (cell % 16) + 4);
            row[3 * x + 1] = uint8_t(4 * (cell / 16) + 2);
            row[3 * x + 2] = 252;
        }
    }
    src->pixels[0] = 252;
    src->pixels[1] = 2;
    ASSERT_EQ(0, QuantizeBitmap(src.get(), out.get(), 2, 0));
    EXPECT_EQ((Colour{64, 18, 252}), PaletteEntry(out.get(), 0));
    EXPECT_EQ((Colour{252, 2, 252}), PaletteEntry(out.get(), 1));
}

TEST(Quantize, DeepSamplesAreQuantizedByTheirTopBits) {
    Picture src, out;
    Make(src, kPixelRGB, 2, 1, {0x1234, 0xFF00, 0x0080, 0xABCD, 0, 0xFFFF}, 16);
    ASSERT_EQ(0, QuantizeBitmap(src.get(), out.get(), 2, 0));
    EXPECT_EQ((Colour{0x12, 0xFF, 0x00}), PaletteEntry(out.get(), 0));
    EXPECT_EQ((Colour{0xAB, 0x00, 0xFF}), PaletteEntry(out.get(), 1));
}

#ifndef _WIN32
using testing_support::RunCommand;
using testing_support::ShellQuote;

// djpeg's own two-pass quantizer is the same median cut, inverse map and
// diffusion: on the same decoded pixels its palette and indices are ours.
struct DjpegQuantized {
    std::vector<Colour> palette;
    std::vector<uint8_t> indices;  // top row first
};

// Reads the 8-bit BMP djpeg writes: 256 BGR0 entries, rows bottom-up.
bool ReadPaletteBmp(const std::string& data, int32_t w, int32_t h, DjpegQuantized* q) {
    auto le32 = [&](size_t at) {
        return uint32_t(uint8_t(data[at])) | uint32_t(uint8_t(data[at + 1])) << 8 |
               uint32_t(uint8_t(data[at + 2])) << 16 | uint32_t(uint8_t(data[at + 3])) << 24;
    };
    if (data.size() < 54 || data[0] != 'B' || data[1] != 'M') return false;
    const uint32_t offset = le32(10), headerSize = le32(14), colours = le32(46);
    const size_t stride = (size_t(w) + 3) & ~size_t(3);
    if (int32_t(le32(18)) != w || int32_t(le32(22)) != h || offset + stride * size_t(h) > data.size()) return false;
    for (uint32_t i = 0; i < (colours ? colours : 256); ++i) {
        const size_t at = 14 + headerSize + 4 * i;
        q->palette.push_back(Colour{uint8_t(data[at + 2]), uint8_t(data[at + 1]), uint8_t(data[at])});
    }
    for (int32_t y = h - 1; y >= 0; --y)
        for (int32_t x = 0; x < w; ++x) q->indices.push_back(uint8_t(data[offset + size_t(y) * stride + size_t(x)]));
    return true;
}

// A photo-like picture for the oracle: gradients, a disc and noise, and
// (with `flat`) a sky of one colour over more than 65535 pixels, so that
// its histogram cell saturates.
std::string OraclePicture(int32_t w, int32_t h, bool flat) {
    std::mt19937 rng(7);
    std::string pnm = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            if (flat && y < h * 7 / 10) {
                pnm += "\x50\x90\xE0";
                continue;
            }
            const bool disc = (x - 60) * (x - 60) + (y - 30) * (y - 30) < 400;
            const int n = int(rng() % 24);
            pnm += char(std::min(255, x * 2 + n + (disc ? 60 : 0)));
            pnm += char(std::min(255, y * 4 + n));
            pnm += char(disc ? 40 + n : std::min(255, (x + y) * 2));
        }
    return pnm;
}

TEST(QuantizeOracle, MatchesDjpegColoursBitForBit) {
    struct PictureCase {
        int32_t w, h;
        bool flat;
        std::vector<int> counts;
    };
    // Odd sizes so that rows of both directions end on every kind of edge.
    for (const PictureCase& c : {PictureCase{97, 61, false, {8, 17, 64, 200, 256}},
                                 PictureCase{401, 300, true, {9, 256}}}) {
        testing_support::ScratchDir dir;
        const std::string ppm = testing_support::Narrow(dir.File("in.ppm"));
        const std::string jpg = testing_support::Narrow(dir.File("in.jpg"));
        testing_support::WriteText(dir.File("in.ppm"), OraclePicture(c.w, c.h, c.flat));
        ASSERT_EQ(0, std::system(("cjpeg -quality 92 -sample 1x1 " + ShellQuote(ppm) + " > " + ShellQuote(jpg)).c_str()))
            << "cjpeg (libjpeg-turbo-progs) is needed";
        const testing_support::PnmImage decoded = testing_support::Djpeg(jpg);
        ASSERT_EQ(c.w, decoded.width);
        ASSERT_EQ(3, decoded.channels);
        Picture src;
        ASSERT_EQ(1, AllocBitmap(src.get(), kPixelRGB, 4, c.w, c.h));
        for (int32_t y = 0; y < c.h; ++y)
            std::memcpy(src->pixels + size_t(y) * size_t(src->bytesPerRow), &decoded.pixels[size_t(y) * size_t(c.w) * 3],
                        size_t(c.w) * 3);
        for (int colours : c.counts) {
            for (bool dither : {false, true}) {
                SCOPED_TRACE(std::to_string(c.w) + ": " + std::to_string(colours) + (dither ? " dithered" : " plain"));
                DjpegQuantized expected;
                const std::string bmp = RunCommand("djpeg -colors " + std::to_string(colours) + " -dither " +
                                                   (dither ? "fs" : "none") + " -bmp " + ShellQuote(jpg));
                ASSERT_TRUE(ReadPaletteBmp(bmp, c.w, c.h, &expected));
                Picture out;
                ASSERT_EQ(0, QuantizeBitmap(src.get(), out.get(), colours, dither));
                ASSERT_EQ(colours, out->paletteCount);
                // djpeg lists the colours it chose and pads with black, as we do.
                for (int i = 0; i < colours; ++i)
                    ASSERT_EQ(expected.palette[size_t(i)], PaletteEntry(out.get(), i)) << i;
                std::vector<uint8_t> ours;
                for (int32_t y = 0; y < c.h; ++y)
                    for (int32_t x = 0; x < c.w; ++x)
                        ours.push_back(out->pixels[size_t(y) * size_t(out->bytesPerRow) + size_t(x)]);
                EXPECT_EQ(expected.indices, ours);
            }
        }
    }
}
#endif

}  // namespace
