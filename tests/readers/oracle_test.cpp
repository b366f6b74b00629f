// BMP and PNM files written by ImageMagick and netpbm (made at build time by
// make_fixtures.py, with the pixels Pillow, ImageMagick or netpbm decode from
// them) must read pixel-exact, and every one of them cut short must end
// cleanly. Runs on both targets: the fixtures are in the build tree.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "imagelib/readers/bmp.h"
#include "imagelib/readers/pnm.h"
#include "tests/readers/fakeload.h"
#include "tests/readers/fixtures.h"
#include "tests/support/missingoracle.h"

namespace {

using testing_support::FakeLoad;
using Bytes = std::vector<uint8_t>;

using testing_support::ReaderFixture;
using testing_support::ReadReaderFixture;

bool IsBmp(const std::string& file) {
    const std::string ext = file.substr(file.rfind('.') + 1);
    return ext == "bmp" || ext == "2bp";
}

int ReadBmpBody(PictureFile* f, LoadContext* ctx) { return ReadBmp(f, ctx, nullptr, 0); }

FakeLoad::Body BodyFor(const std::string& file) { return IsBmp(file) ? ReadBmpBody : ReadPnm; }

class OracleTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string skip;
        fixtures_ = testing_support::ReaderFixtures(&skip);
        if (fixtures_.empty()) PV_ORACLE_MISSING(skip);
    }
    std::vector<ReaderFixture> fixtures_;
};

TEST_F(OracleTest, PixelExact) {
    for (const ReaderFixture& f : fixtures_) {
        SCOPED_TRACE(f.name);
        const Bytes file = ReadReaderFixture(f.file);
        ASSERT_FALSE(file.empty());
        FakeLoad load;
        const int r = load.Run(BodyFor(f.file), file);
        if (f.check == "refuse") {
            EXPECT_EQ(kLoadNotRecognised, r);
            continue;
        }
        ASSERT_EQ(kLoadOk, r);
        EXPECT_FALSE(load.badAddress);
        testing_support::RgbaPicture got;
        got.width = load.header.width;
        got.height = load.header.height;
        got.px = load.ToRgba();
        testing_support::ExpectSamePixels(testing_support::ExpectedPixels(f.name), got, f.check == "rgba");
    }
}

// Each fixture cut at a dozen points through the pixel data, and in its
// header: nothing is taken before the picture is begun but 2 or 4, and a
// begun picture ends with EndImage and 4.
TEST_F(OracleTest, TruncatedFilesEndCleanly) {
    for (const ReaderFixture& f : fixtures_) {
        if (f.check == "refuse") continue;
        const Bytes file = ReadReaderFixture(f.file);
        std::vector<size_t> cuts = {1, 2, 10, 20, 30, 60};
        for (int k = 1; k <= 12; ++k) cuts.push_back(file.size() * size_t(k) / 13);
        cuts.push_back(file.size() - 5);
        for (size_t n : cuts) {
            if (n >= file.size()) continue;
            SCOPED_TRACE(f.name + " cut at " + std::to_string(n));
            FakeLoad load;
            const int r = load.Run(BodyFor(f.file), Bytes(file.begin(), file.begin() + long(n)));
            if (load.beginCalls == 0) {
                EXPECT_TRUE(r == kLoadNotRecognised || r == kLoadIncomplete) << r;
            } else {
                EXPECT_TRUE(r == kLoadIncomplete || (r == kLoadOk && testing_support::CutInsideLastNumber(file, n))) << r;
                EXPECT_EQ(1, load.endCalls);
            }
        }
    }
}

}  // namespace
