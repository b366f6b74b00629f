// The geometry checked against ImageMagick's convert on random pictures:
// turns, mirror (-flop), flip, crop and block averaging (-scale). Native
// only: the tool does not run under Wine.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "processing/geometry.h"
#include "tests/processing/picture.h"
#include "tests/support/testfiles.h"
#include "tests/support/missingoracle.h"

using namespace pictest;
using testing_support::ScratchDir;

namespace {

bool HaveConvert() { return std::system("convert -version >/dev/null 2>&1") == 0; }

// Netpbm: P4 (bit 1 black, so our white bits are written as 0), P5, P6
// with maxval 255 or 65535 (big-endian samples).
std::vector<uint8_t> ToNetpbm(const Bitmap* b) {
    const int c = b->components;
    const bool deep = b->bitsPerSample > 8;
    const char* magic = b->pixelType == kPixelBilevel ? "P4" : c == 1 ? "P5" : "P6";
    std::string header = std::string(magic) + "\n" + std::to_string(b->width) + " " + std::to_string(b->height) + "\n";
    if (b->pixelType != kPixelBilevel) header += deep ? "65535\n" : "255\n";
    std::vector<uint8_t> out(header.begin(), header.end());
    for (int32_t y = 0; y < b->height; ++y) {
        if (b->pixelType == kPixelBilevel) {
            std::vector<uint8_t> row(size_t(b->width + 7) / 8, 0);
            for (int32_t x = 0; x < b->width; ++x)
                if (!Sample(b, x, y)) row[size_t(x) / 8] |= uint8_t(0x80 >> (x % 8));
            out.insert(out.end(), row.begin(), row.end());
            continue;
        }
        for (int32_t x = 0; x < b->width; ++x)
            for (int k = 0; k < 3 && k < c; ++k) {
                const uint32_t v = Sample(b, x, y, k);
                if (deep) out.push_back(uint8_t(v >> 8));
                out.push_back(uint8_t(v));
            }
    }
    return out;
}

// Reads a Netpbm file back into a picture of `like`'s type and depth.
bool FromNetpbm(const std::vector<uint8_t>& data, const Bitmap* like, Picture& out) {
    size_t pos = 2;
    auto number = [&](uint32_t* v) {
        while (pos < data.size() && (std::isspace(data[pos]) || data[pos] == '#')) {
            if (data[pos] == '#')
                while (pos < data.size() && data[pos] != '\n') ++pos;
            else
                ++pos;
        }
        *v = 0;
        if (pos >= data.size() || !std::isdigit(data[pos])) return false;
        while (pos < data.size() && std::isdigit(data[pos])) *v = *v * 10 + (data[pos++] - '0');
        return true;
    };
    uint32_t w, h, max = 1;
    if (data.size() < 2 || data[0] != 'P' || !number(&w) || !number(&h)) return false;
    const bool bits = data[1] == '4';
    if (!bits && !number(&max)) return false;
    ++pos;
    if (AllocBitmapWithDepth(out.get(), like->pixelType, like->rowAlignment, int32_t(w), int32_t(h),
                             like->bitsPerSample) != 1)
        return false;
    const int c = data[1] == '6' ? 3 : 1;
    const int sb = max > 255 ? 2 : 1;
    for (uint32_t y = 0; y < h; ++y) {
        if (bits) {
            const size_t rowBytes = (w + 7) / 8;
            if (pos + rowBytes > data.size()) return false;
            for (uint32_t x = 0; x < w; ++x)
                SetSample(out.get(), int32_t(x), int32_t(y), 0, !(data[pos + x / 8] & (0x80 >> (x % 8))));
            pos += rowBytes;
            continue;
        }
        for (uint32_t x = 0; x < w; ++x)
            for (int k = 0; k < c; ++k) {
                if (pos + size_t(sb) > data.size()) return false;
                const uint32_t v = sb == 2 ? uint32_t(data[pos] << 8 | data[pos + 1]) : data[pos];
                pos += size_t(sb);
                SetSample(out.get(), int32_t(x), int32_t(y), k, v);
            }
    }
    return true;
}

// Runs convert on `src` with `args`; the result in `out`.
void Convert(const ScratchDir& dir, const Bitmap* src, const std::string& args, Picture& out) {
    const std::string ext = src->pixelType == kPixelBilevel ? ".pbm" : src->components == 1 ? ".pgm" : ".ppm";
    const std::wstring in = dir.File("in" + ext), result = dir.File("out" + ext);
    testing_support::WriteBytes(in, ToNetpbm(src));
    const std::string cmd = "convert '" + testing_support::ToFsPath(in).string() + "' " + args + " '" +
                            testing_support::ToFsPath(result).string() + "'";
    ASSERT_EQ(0, std::system(cmd.c_str())) << cmd;
    ASSERT_TRUE(FromNetpbm(testing_support::ReadBytes(result), src, out)) << cmd;
}

class Oracle : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveConvert()) PV_ORACLE_MISSING("ImageMagick convert is not installed");
    }
    ScratchDir dir;
};

TEST_F(Oracle, TurnsMirrorFlipAndCropMatchConvert) {
    const Kind kinds[] = {{"rgb", kPixelRGB, 8}, {"grey", kPixelGrey, 8}, {"rgb16", kPixelRGB, 16},
                          {"bilevel", kPixelBilevel, 8}};
    struct Op {
        const char* args;
        int (*run)(Bitmap*, Bitmap*);
    };
    const Op ops[] = {
        {"-rotate 90", [](Bitmap* s, Bitmap* d) { return BitmapRotate(s, d, 90, nullptr, 0); }},
        {"-rotate 270", [](Bitmap* s, Bitmap* d) { return BitmapRotate(s, d, -90, nullptr, 0); }},
        {"-rotate 180", [](Bitmap* s, Bitmap* d) { return BitmapRotate(s, d, 180, nullptr, 0); }},
        {"-flop", [](Bitmap* s, Bitmap* d) { return BitmapMirror(s, d, nullptr); }},
        {"-flip", [](Bitmap* s, Bitmap* d) { return BitmapFlip(s, d, nullptr); }},
        {"-crop 17x9+5+3 +repage",
         [](Bitmap* s, Bitmap* d) {
             const PictureRect r{5, 3, 17, 9};
             return BitmapCrop(s, d, &r);
         }},
    };
    for (const Kind& kind : kinds) {
        for (int32_t w : {37, 64, 70}) {
            Picture src;
            MakeRandom(src, kind, w, 45, uint32_t(w));
            for (const Op& op : ops) {
                SCOPED_TRACE(::testing::Message() << kind.name << " " << w << " " << op.args);
                Picture ours, theirs;
                ASSERT_EQ(0, op.run(src.get(), ours.get()));
                Convert(dir, src.get(), op.args, theirs);
                ASSERT_EQ(theirs->width, ours->width);
                ASSERT_EQ(theirs->height, ours->height);
                EXPECT_EQ(Samples(theirs.get()), Samples(ours.get()));
            }
        }
    }
}

TEST_F(Oracle, HalvingAndQuarteringAverageBlocksAsConvertScaleDoes) {
    // -scale averages whole blocks and rounds; we truncate: at most one step apart.
    for (const Kind& kind : {Kind{"rgb", kPixelRGB, 8}, Kind{"grey", kPixelGrey, 8}}) {
        Picture src;
        MakeRandom(src, kind, 64, 48, 77);
        for (int f : {2, 4}) {
            SCOPED_TRACE(::testing::Message() << kind.name << " 1/" << f);
            Picture resampled, shrunk, theirs;
            ASSERT_EQ(0, BitmapResample(src.get(), resampled.get(), 64 / f, 48 / f, 0));
            ASSERT_EQ(0, BitmapResize(src.get(), shrunk.get(), 64 / f, 48 / f, kPixelRGB));
            Convert(dir, src.get(), "-scale " + std::to_string(64 / f) + "x" + std::to_string(48 / f) + "!", theirs);
            const std::vector<uint32_t> t = Samples(theirs.get()), r = Samples(resampled.get()),
                                        s = Samples(shrunk.get());
            ASSERT_EQ(t.size(), r.size());
            ASSERT_EQ(t.size(), s.size());
            for (size_t i = 0; i < t.size(); ++i) {
                ASSERT_LE(r[i], t[i]) << i;
                ASSERT_LE(t[i], r[i] + 1) << i;
                ASSERT_EQ(r[i], s[i]) << i;
            }
        }
    }
}

}  // namespace

#endif  // _WIN32
