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
#include "tests/support/testfiles.h"

namespace {

using testing_support::FakeLoad;
using Bytes = std::vector<uint8_t>;

struct Fixture {
    std::string name;
    std::string file;
    std::string check;  // "rgb", "rgba" or "refuse"
};

std::string FixtureDir() { return PV_READER_FIXTURES; }

Bytes ReadFixture(const std::string& name) {
    std::ifstream in(FixtureDir() + "/" + name, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The manifest, or one entry named "skip" whose file is the reason.
std::vector<Fixture> Manifest() {
    std::vector<Fixture> list;
    std::ifstream in(FixtureDir() + "/manifest.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        Fixture f;
        words >> f.name;
        if (f.name == "skip") {
            std::getline(words, f.file);
            return {f};
        }
        words >> f.file >> f.check;
        if (!f.name.empty()) list.push_back(f);
    }
    return list;
}

bool IsBmp(const std::string& file) {
    const std::string ext = file.substr(file.rfind('.') + 1);
    return ext == "bmp" || ext == "2bp";
}

int ReadBmpBody(PictureFile* f, LoadContext* ctx) { return ReadBmp(f, ctx, nullptr, 0); }

FakeLoad::Body BodyFor(const std::string& file) { return IsBmp(file) ? ReadBmpBody : ReadPnm; }

class OracleTest : public ::testing::Test {
protected:
    void SetUp() override {
        fixtures_ = Manifest();
        ASSERT_FALSE(fixtures_.empty()) << "no manifest in " << FixtureDir();
        if (fixtures_[0].name == "skip") GTEST_SKIP() << fixtures_[0].file;
    }
    std::vector<Fixture> fixtures_;
};

TEST_F(OracleTest, PixelExact) {
    for (const Fixture& f : fixtures_) {
        SCOPED_TRACE(f.name);
        const Bytes file = ReadFixture(f.file);
        ASSERT_FALSE(file.empty());
        FakeLoad load;
        const int r = load.Run(BodyFor(f.file), file);
        if (f.check == "refuse") {
            EXPECT_EQ(kLoadNotRecognised, r);
            continue;
        }
        ASSERT_EQ(kLoadOk, r);
        EXPECT_FALSE(load.badAddress);
        const Bytes expected = ReadFixture(f.name + ".rgba");
        ASSERT_GE(expected.size(), 8u);
        const int w = expected[0] | expected[1] << 8 | expected[2] << 16 | expected[3] << 24;
        const int h = expected[4] | expected[5] << 8 | expected[6] << 16 | expected[7] << 24;
        ASSERT_EQ(w, load.header.width);
        ASSERT_EQ(h, load.header.height);
        const Bytes got = load.ToRgba();
        ASSERT_EQ(expected.size() - 8, got.size());
        int mismatches = 0;
        for (size_t i = 0; i < got.size() && mismatches < 5; ++i) {
            if (i % 4 == 3 && f.check != "rgba") continue;
            if (got[i] != expected[8 + i]) {
                ADD_FAILURE() << "pixel " << (i / 4) % size_t(w) << "," << (i / 4) / size_t(w) << " byte " << i % 4
                              << ": " << int(got[i]) << " want " << int(expected[8 + i]);
                ++mismatches;
            }
        }
    }
}

// Each fixture cut at a dozen points through the pixel data, and in its
// header: nothing is taken before the picture is begun but 2 or 4, and a
// begun picture ends with EndImage and 4.
TEST_F(OracleTest, TruncatedFilesEndCleanly) {
    for (const Fixture& f : fixtures_) {
        if (f.check == "refuse") continue;
        const Bytes file = ReadFixture(f.file);
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
                // A plain file cut inside its last number still reads as whole.
                bool lastNumber = true;
                for (size_t i = n; i < file.size(); ++i)
                    lastNumber &= (file[i] >= '0' && file[i] <= '9') || file[i] == ' ' || file[i] == '\n';
                EXPECT_TRUE(r == kLoadIncomplete || (r == kLoadOk && lastNumber)) << r;
                EXPECT_EQ(1, load.endCalls);
            }
        }
    }
}

}  // namespace
