// Every fixture made by Pillow, ImageMagick and icoutils loads as the oracle
// decoded it, and every fixture cut short fails cleanly.
#include <gtest/gtest.h>

#include <set>

#include "pngico_support.h"
#include "tests/support/missingoracle.h"

namespace {

using namespace pngico;

LoadOptions OptionsFor(const FixtureCheck& f) {
    LoadOptions o = RgbaOptions();
    if (f.index >= 0) o.imageIndex = uint32_t(f.index);
    if (f.options.find("best") != std::string::npos) o.iconChooseBest = 1;
    if (f.options.find("mask") != std::string::npos) o.iconMaskToAlpha = 1;
    if (f.options.find("white") != std::string::npos) o.pngAlphaBackground = o.pngTransparencyBackground = 1;
    return o;
}

TEST(OracleFixtures, LoadAsTheOracleDecodedThem) {
    std::string skip;
    const auto fixtures = FixtureChecks(&skip);
    if (fixtures.empty()) PV_ORACLE_MISSING(skip);
    for (const auto& f : fixtures) {
        SCOPED_TRACE(f.name);
        const Bytes data = ReadFixture(f.file);
        ASSERT_FALSE(data.empty());
        Load load;
        ASSERT_EQ(LoadBytes(data, NameFor(f.file), OptionsFor(f), &load), 0);
        ExpectSamePixels(ExpectedPixels(f.name), load.Pixels(), f.check == "rgba", f.tolerance, kVisiblePixels);
    }
}

// Cut at the first bytes, inside the header chunks, in the image data and in
// the last chunk: never a crash or a leak; 2 before the picture was declared,
// 4 after (0 when only trailing chunks are missing). With damaged files
// accepted, the same cuts give 0 once the picture was declared.
TEST(OracleFixtures, CutFilesFailCleanly) {
    std::string skip;
    const auto fixtures = FixtureChecks(&skip);
    if (fixtures.empty()) PV_ORACLE_MISSING(skip);
    std::set<std::string> seen;
    for (const auto& f : fixtures) {
        if (!seen.insert(f.file + std::to_string(f.index)).second) continue;
        SCOPED_TRACE(f.name);
        const Bytes data = ReadFixture(f.file);
        std::vector<size_t> cuts = {1, 4, 8, 16, 33, 60};
        for (int k = 1; k < 8; ++k) cuts.push_back(data.size() * size_t(k) / 8);
        cuts.push_back(data.size() - 12);
        cuts.push_back(data.size() - 1);
        for (size_t cut : cuts) {
            if (cut == 0 || cut >= data.size()) continue;
            SCOPED_TRACE(cut);
            const Bytes part(data.begin(), data.begin() + long(cut));
            LoadOptions o = OptionsFor(f);
            Load strict;
            const int r = LoadBytes(part, NameFor(f.file), o, &strict);
            EXPECT_TRUE(r == 0 || r == 2 || r == 4) << r;
            if (r != 0) {
                EXPECT_EQ(strict.bitmap.pixels, nullptr);
            }
            o.flags |= kLoadAcceptDamaged;
            Load lenient;
            const int r2 = LoadBytes(part, NameFor(f.file), o, &lenient);
            // A damaged file is accepted only when rows arrived.
            if (r == 4) EXPECT_TRUE(r2 == 0 || r2 == 4) << r2;
            else EXPECT_EQ(r2, r);
            if (r2 == 0 && r == 4) {
                const Rgba got = lenient.Pixels();
                const Rgba want = ExpectedPixels(f.name);
                EXPECT_EQ(got.width, want.width);
                EXPECT_EQ(got.height, want.height);
            }
        }
    }
}

}  // namespace
