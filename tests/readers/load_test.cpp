// The BMP and PNM readers through the whole load: LoadPictureFromFile and
// QueryPictureInfo on files made by ImageMagick and netpbm (fixtures and
// expected pixels from make_fixtures.py), fitting into a box, mirror and
// bottom-up requests, progress, cancel, damaged files and result codes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "imagelib/textutil.h"
#include "tests/readers/fixtures.h"
#include "tests/support/testfiles.h"
#include "tests/support/missingoracle.h"

namespace {

using Bytes = std::vector<uint8_t>;

class RegistryEnvironment : public ::testing::Environment {
public:
    void SetUp() override { InitFormatRegistry(); }
    void TearDown() override { FreeFormatRegistry(); }
};
const auto* const kRegistry = ::testing::AddGlobalTestEnvironment(new RegistryEnvironment);

using testing_support::ExpectedPixels;
using testing_support::ExpectSamePixels;
using testing_support::ReaderFixture;
using testing_support::ReadReaderFixture;
using Rgba = testing_support::RgbaPicture;

std::wstring FixturePath(const std::string& name) {
    return testing_support::FixtureFile(testing_support::ReaderFixtureDir(), name);
}

class LoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string skip;
        fixtures_ = testing_support::ReaderFixtures(&skip);
        if (fixtures_.empty()) PV_ORACLE_MISSING(skip);
        InitLoadOptions(&options_);
    }
    void TearDown() override { FreeBitmap(&bitmap_); }

    int Load(const std::string& file, ImageInfo* info = nullptr) {
        FreeBitmap(&bitmap_);
        return LoadPictureFromFile(FixturePath(file).c_str(), &bitmap_, &options_, info);
    }

    std::vector<ReaderFixture> fixtures_;
    LoadOptions options_;
    Bitmap bitmap_{};
};

// Full size, in the reader's own output and widened to colour: pixel-exact.
TEST_F(LoadTest, EveryFixturePixelExact) {
    for (const ReaderFixture& f : fixtures_) {
        SCOPED_TRACE(f.name);
        ImageInfo info;
        for (uint32_t flags : {0u, uint32_t(kLoadLowDepthAsColour | kLoadPreferFourBytes)}) {
            SCOPED_TRACE(flags);
            options_.flags = flags;
            const int r = Load(f.file, &info);
            if (f.check == "refuse") {
                EXPECT_EQ(kLoadNotRecognised, r);
                EXPECT_EQ(-1, info.formatIndex);
                EXPECT_EQ(nullptr, bitmap_.pixels);
                FreePictureInfo(&info);
                continue;
            }
            ASSERT_EQ(kLoadOk, r);
            EXPECT_GE(info.formatIndex, 0);
            ExpectSamePixels(ExpectedPixels(f.name), testing_support::RgbaOf(bitmap_), f.check == "rgba");
            FreePictureInfo(&info);
        }
    }
}

TEST_F(LoadTest, QueryPictureInfo) {
    struct Case {
        const char* file;
        int formatIndex;
        const char* description;
        int bitsPerPlane;
    };
    const Case cases[] = {
        {"bmp_8bit.bmp", kFormatBmp, "Windows Bitmap", 8},
        {"bmp_os2_4bit.bmp", kFormatBmp, "OS/2 Bitmap", 4},
        {"bmp_2bit.2bp", kFormat2bp, "Windows Bitmap", 2},
        {"bmp_rgb565.bmp", kFormatBmp, "Windows Bitmap", 16},
        {"pbm_plain.pbm", kFormatPbm, "Portable Bitmap (Type 1 - ASCII)", 1},
        {"pgm_raw_1023.pgm", kFormatPgm, "Portable Graymap (Type 5 - Binary)", 8},
        {"ppm_plain_255.ppm", kFormatPpm, "Portable Pixmap (Type 3 - ASCII)", 24},
        {"xv_thumb.p7", kFormatPbm, "XV visual schnauzer", 8},  // found by probing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ImageInfo info;
        ASSERT_EQ(kLoadOk, QueryPictureInfo(FixturePath(c.file).c_str(), -1, 0, &info));
        EXPECT_EQ(37, info.width);
        EXPECT_EQ(21, info.height);
        EXPECT_EQ(c.formatIndex, info.formatIndex);
        EXPECT_STREQ(c.description, info.description);
        EXPECT_EQ(c.bitsPerPlane, info.bitsPerPlane);
        FreePictureInfo(&info);
    }
    ImageInfo deep;
    ASSERT_EQ(kLoadOk, QueryPictureInfo(FixturePath("ppm_raw_1023.ppm").c_str(), -1, 0, &deep));
    EXPECT_EQ(10, deep.bitsPerSample);
    FreePictureInfo(&deep);
}

// Nearest: each output row takes the first source row that maps to it, each
// output column the last source column.
Rgba NearestOf(const Rgba& src, int w, int h) {
    Rgba out;
    out.width = w;
    out.height = h;
    out.px.resize(size_t(w) * size_t(h) * 4);
    for (int y = 0; y < h; ++y) {
        int sy = 0;
        while (int64_t(sy) * h / src.height != y) ++sy;
        for (int x = 0; x < w; ++x) {
            int sx = src.width - 1;
            while (int64_t(sx) * w / src.width != x) --sx;
            std::memcpy(&out.px[(size_t(y) * size_t(w) + size_t(x)) * 4], src.At(sx, sy), 4);
        }
    }
    return out;
}

// Area average in floating point, the reference for smooth scaling.
Rgba AreaOf(const Rgba& src, int w, int h) {
    Rgba out;
    out.width = w;
    out.height = h;
    out.px.resize(size_t(w) * size_t(h) * 4);
    const double xs = double(src.width) / w, ys = double(src.height) / h;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < 4; ++k) {
                double sum = 0;
                for (int sy = 0; sy < src.height; ++sy) {
                    const double wy = std::max(0.0, std::min(sy + 1.0, (y + 1) * ys) - std::max(double(sy), y * ys));
                    if (wy <= 0) continue;
                    for (int sx = 0; sx < src.width; ++sx) {
                        const double wx = std::max(0.0, std::min(sx + 1.0, (x + 1) * xs) - std::max(double(sx), x * xs));
                        sum += wx * wy * src.At(sx, sy)[k];
                    }
                }
                out.px[(size_t(y) * size_t(w) + size_t(x)) * 4 + size_t(k)] = uint8_t(sum / (xs * ys) + 0.5);
            }
    return out;
}

TEST_F(LoadTest, FitIntoABox) {
    options_.targetWidth = 16;
    options_.targetHeight = 16;
    for (const char* name : {"bmp_24bit", "bmp_topdown", "ppm_raw_255", "bmp_8bit"}) {
        SCOPED_TRACE(name);
        const Rgba full = ExpectedPixels(name);
        const std::string file = std::string(name) + (name[0] == 'p' ? ".ppm" : ".bmp");
        options_.scaleMethod = 0;
        ASSERT_EQ(kLoadOk, Load(file));
        EXPECT_EQ(16, bitmap_.width);
        EXPECT_EQ(9, bitmap_.height);  // 37 x 21 -> 16 x round(16 x 21 / 37)
        ExpectSamePixels(NearestOf(full, 16, 9), testing_support::RgbaOf(bitmap_), false);
        options_.scaleMethod = 2;
        ASSERT_EQ(kLoadOk, Load(file));
        ExpectSamePixels(AreaOf(full, 16, 9), testing_support::RgbaOf(bitmap_), false, 3);
    }
}

TEST_F(LoadTest, MirrorAndBottomUpRequests) {
    const Rgba full = ExpectedPixels("bmp_24bit");
    for (uint16_t orientation : {0x1, 0x10, 0x11}) {
        SCOPED_TRACE(orientation);
        options_.orientation = orientation;
        ASSERT_EQ(kLoadOk, Load("bmp_24bit.bmp"));
        Rgba want = full;
        for (int y = 0; y < full.height; ++y)
            for (int x = 0; x < full.width; ++x) {
                const int sx = (orientation & 0x1) ? full.width - 1 - x : x;
                const int sy = (orientation & 0x10) ? full.height - 1 - y : y;
                std::memcpy(&want.px[(size_t(y) * size_t(full.width) + size_t(x)) * 4], full.At(sx, sy), 4);
            }
        ExpectSamePixels(want, testing_support::RgbaOf(bitmap_), false);
    }
}

struct Progress {
    std::vector<int> percents;
    int rows = 0;
    int cancelAt = -1;
};

TEST_F(LoadTest, ProgressAndCancel) {
    for (const char* file : {"bmp_rle8.bmp", "pgm_plain_255.pgm", "bmp_24bit.bmp"}) {
        SCOPED_TRACE(file);
        Progress p;
        options_.progressUser = reinterpret_cast<uintptr_t>(&p);
        options_.progressCallback = [](int32_t percent, uintptr_t user) {
            reinterpret_cast<Progress*>(user)->percents.push_back(percent);
        };
        ASSERT_EQ(kLoadOk, Load(file));
        ASSERT_FALSE(p.percents.empty());
        EXPECT_EQ(100, p.percents.back());
        for (size_t i = 1; i < p.percents.size(); ++i) EXPECT_LT(p.percents[i - 1], p.percents[i]);

        Progress c;
        c.cancelAt = 5;
        options_.rowCallbackUser = reinterpret_cast<uintptr_t>(&c);
        options_.rowCallback = [](int32_t, int32_t, uintptr_t user) {
            auto* q = reinterpret_cast<Progress*>(user);
            return ++q->rows >= q->cancelAt ? 1 : 0;
        };
        EXPECT_EQ(kLoadCancelled, Load(file));
        EXPECT_EQ(nullptr, bitmap_.pixels);
        EXPECT_EQ(5, c.rows);
        options_.rowCallback = nullptr;
        options_.progressCallback = nullptr;
    }
}

// Cut short: 4, and with flag 0x400 the rows read so far (BMP rows arrive
// bottom first) over a cleared picture.
TEST_F(LoadTest, DamagedFiles) {
    const Bytes file = ReadReaderFixture("bmp_24bit.bmp");
    const Rgba full = ExpectedPixels("bmp_24bit");
    const size_t stride = (37 * 3 + 3) / 4 * 4;
    const size_t keepRows = 8;
    const Bytes cut(file.begin(), file.begin() + long(54 + keepRows * stride + 10));
    Bitmap b{};
    EXPECT_EQ(kLoadIncomplete, LoadPictureFromMemory(cut.data(), cut.size(), L"x.bmp", &b, &options_, nullptr));
    EXPECT_EQ(nullptr, b.pixels);
    options_.flags = kLoadAcceptDamaged;
    ASSERT_EQ(kLoadOk, LoadPictureFromMemory(cut.data(), cut.size(), L"x.bmp", &b, &options_, nullptr));
    const Rgba got = testing_support::RgbaOf(b);
    for (int y = 0; y < 21; ++y) {
        const bool read = y >= 21 - int(keepRows);
        for (int x = 0; x < 37; ++x)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(read ? full.At(x, y)[k] : 0, got.At(x, y)[k]) << x << "," << y;
    }
    FreeBitmap(&b);
}

// Every fixture cut at several points, through the load: 4 (or 2 when the
// cut leaves no picture to begin); with kLoadAcceptDamaged 0 when rows
// arrived, else 4; never a crash or leak.
TEST_F(LoadTest, EveryFixtureTruncated) {
    for (const ReaderFixture& f : fixtures_) {
        if (f.check == "refuse") continue;
        const Bytes file = ReadReaderFixture(f.file);
        const std::wstring name = Utf8ToWide(f.file.c_str());
        for (int k = 1; k <= 7; ++k) {
            const size_t n = file.size() * size_t(k) / 8;
            SCOPED_TRACE(f.name + " cut at " + std::to_string(n));
            for (uint32_t flags : {0u, uint32_t(kLoadAcceptDamaged)}) {
                options_.flags = flags;
                Bitmap b{};
                const int r = LoadPictureFromMemory(file.data(), n, name.c_str(), &b, &options_, nullptr);
                if (flags) {
                    EXPECT_TRUE(r == kLoadOk || r == kLoadIncomplete || r == kLoadNotRecognised) << r;
                    EXPECT_EQ(r == kLoadOk, b.pixels != nullptr);
                } else {
                    EXPECT_TRUE(r == kLoadIncomplete || r == kLoadNotRecognised) << r;
                    EXPECT_EQ(nullptr, b.pixels);
                }
                FreeBitmap(&b);
            }
        }
    }
}

TEST_F(LoadTest, MissingAndEmptyFiles) {
    testing_support::ScratchDir dir;
    const std::wstring empty = dir.File("empty.bmp");
    testing_support::WriteBytes(empty, {});
    EXPECT_EQ(kLoadCannotOpen, LoadPictureFromFile(dir.File("missing.bmp").c_str(), &bitmap_, &options_, nullptr));
    EXPECT_EQ(kLoadNotRecognised, LoadPictureFromFile(empty.c_str(), &bitmap_, &options_, nullptr));
    EXPECT_EQ(nullptr, bitmap_.pixels);
}

TEST_F(LoadTest, RefusedByName) {
    struct Case {
        const char* name;
        std::string bytes;
        int result;
        const char* subFormat;
    };
    const std::string wideBmp = std::string("BM") + std::string(8, '\0') + std::string("\x36\0\0\0\x28\0\0\0", 8) +
                                std::string("\0\0\1\0\1\0\0\0\1\0\x18\0", 12) + std::string(24, '\0');
    const Case cases[] = {
        {"wide.bmp", wideBmp, kLoadRefused, "Windows Bitmap : Bad picture's size !"},
        {"wide.pgm", "P5 16000 1 255\n", kLoadRefused, "Portable Bitmap : Bad picture's size !"},
        {"zero.pgm", "P2 1 1 0 0\n", kLoadCorrupt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bitmap b{};
        ImageInfo info;
        const Bytes data(c.bytes.begin(), c.bytes.end());
        const std::wstring name = Utf8ToWide(c.name);
        EXPECT_EQ(c.result, LoadPictureFromMemory(data.data(), data.size(), name.c_str(), &b, &options_, &info));
        EXPECT_STREQ(c.subFormat, info.subFormat);
        EXPECT_EQ(nullptr, b.pixels);
        FreePictureInfo(&info);
    }
}

}  // namespace
