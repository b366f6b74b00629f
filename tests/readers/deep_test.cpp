// 16-bit PNG, TIFF and PNM files that ImageMagick wrote (make_fixtures.py),
// loaded through the whole load: a load that keeps deep samples gets every
// 16-bit sample as ImageMagick and netpbm read it; any other load gets the
// high byte of each, as before.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "imagelib/load.h"
#include "tests/readers/fixtures.h"
#include "tests/support/missingoracle.h"
#include "tests/support/pictures.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testing_support::LoadedPicture;
using testing_support::ReadReaderFixture;

struct DeepFixture {
    std::string name;
    std::string file;
    uint32_t width = 0, height = 0, samples = 0;
    std::vector<uint16_t> values;  // top row first
};

uint32_t U32(const Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

std::vector<DeepFixture> DeepFixtures() {
    std::vector<DeepFixture> list;
    const Bytes text = ReadReaderFixture("deep.txt");
    std::istringstream lines(std::string(text.begin(), text.end()));
    DeepFixture f;
    while (lines >> f.name >> f.file) {
        const Bytes e = ReadReaderFixture(f.name + ".deep");
        if (e.size() < 12) continue;
        f.width = U32(e, 0);
        f.height = U32(e, 4);
        f.samples = U32(e, 8);
        f.values.clear();
        for (size_t i = 12; i + 1 < e.size(); i += 2) f.values.push_back(uint16_t(e[i] | e[i + 1] << 8));
        list.push_back(f);
    }
    return list;
}

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

void Load(const DeepFixture& f, uint32_t flags, LoadedPicture* out) {
    testing_support::EnsureFormatRegistry();
    const Bytes file = ReadReaderFixture(f.file);
    LoadOptions o;
    InitLoadOptions(&o);
    o.flags = flags;
    out->result = LoadPictureFromMemory(file.data(), file.size(), Wide(f.file).c_str(), &out->bitmap, &o, &out->info);
}

class DeepSamples : public ::testing::Test {
protected:
    void SetUp() override {
        std::string skip;
        if (testing_support::ReaderFixtures(&skip).empty()) PV_ORACLE_MISSING(skip);
        fixtures_ = DeepFixtures();
        ASSERT_EQ(11u, fixtures_.size()) << "deep.txt lists a fixture for each kind";
    }
    std::vector<DeepFixture> fixtures_;
};

TEST_F(DeepSamples, KeptWhenTheLoadAsks) {
    for (const DeepFixture& f : fixtures_) {
        SCOPED_TRACE(f.name);
        LoadedPicture p;
        Load(f, kLoadKeepDeepSamples, &p);
        ASSERT_EQ(kLoadOk, p.result);
        const Bitmap& b = p.bitmap;
        ASSERT_EQ(int32_t(f.width), b.width);
        ASSERT_EQ(int32_t(f.height), b.height);
        EXPECT_EQ(f.samples == 1 ? kPixelGrey : f.samples == 3 ? kPixelRGB : kPixelRGBA, b.pixelType);
        EXPECT_EQ(16, b.bitsPerSample);
        EXPECT_EQ(f.samples, b.components);
        ASSERT_EQ(2 * f.samples, b.bytesPerPixel);
        std::vector<uint16_t> got;
        for (int32_t y = 0; y < b.height; ++y) {
            const uint8_t* row = p.Row(y);
            for (size_t i = 0; i < size_t(b.width) * f.samples; ++i) {
                uint16_t v;
                std::memcpy(&v, row + 2 * i, sizeof v);
                got.push_back(v);
            }
        }
        EXPECT_EQ(f.values, got);
    }
}

TEST_F(DeepSamples, NarrowedToTheHighByteOtherwise) {
    for (const DeepFixture& f : fixtures_) {
        SCOPED_TRACE(f.name);
        LoadedPicture p;
        Load(f, 0, &p);
        ASSERT_EQ(kLoadOk, p.result);
        const Bitmap& b = p.bitmap;
        EXPECT_EQ(8, b.bitsPerSample);
        ASSERT_EQ(f.samples, b.bytesPerPixel);
        Bytes got, want;
        for (int32_t y = 0; y < b.height; ++y) got.insert(got.end(), p.Row(y), p.Row(y) + size_t(b.width) * f.samples);
        for (uint16_t v : f.values) want.push_back(uint8_t(v >> 8));
        EXPECT_EQ(want, got);
    }
}

}  // namespace
