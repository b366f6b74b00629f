// The memory of an animation frame's load: the canvas, its saved copy and
// the frame being read are held beside the picture, so they count in the
// load's budget, and a small file cannot make one load take more. Without
// room for them the still picture is read, as when they cannot be
// allocated. Run under a small budget; the peak is measured in a forked
// child (Linux).
#include <gtest/gtest.h>

#include <cstdint>

#include "pngico_support.h"
#include "tests/support/missingoracle.h"
#include "tests/support/peakrss.h"

namespace {

using namespace pngico;

constexpr uint64_t kMiB = uint64_t(1) << 20;

TEST(ApngMemory, CanvasesCountInTheBudget) {
    std::string skip;
    if (FixtureChecks(&skip).empty()) PV_ORACLE_MISSING(skip);
    const Bytes file = ReadFixture("apng_big.png");
    ASSERT_FALSE(file.empty());
    // Each of the three blocks is 64 MB, the picture as much again.
    constexpr uint64_t kBudget = 72 * kMiB;
    SetLoadMemoryBudget(kBudget);
    LoadOptions o = RgbaOptions();
    o.imageIndex = 1;
    {
        Load load;
        ASSERT_EQ(kLoadOk, LoadBytes(file, L"a.png", o, &load));
        EXPECT_EQ(10, load.bitmap.pixels[0]);  // the still picture's red
    }
#if defined(__linux__)
    const auto peak = testing_support::PeakRssGrowth([&] {
        Load load;
        LoadBytes(file, L"a.png", o, &load);
    });
    ASSERT_TRUE(peak.has_value());
    // Room for AddressSanitizer's shadow and quarantine.
    EXPECT_LT(*peak, kBudget + 24 * kMiB) << *peak / kMiB << " MiB";
#endif
    // With room for all four the frame is composed.
    SetLoadMemoryBudget(300 * kMiB);
    Load load;
    ASSERT_EQ(kLoadOk, LoadBytes(file, L"a.png", o, &load));
    EXPECT_EQ(30, load.bitmap.pixels[0]);  // frame 1's red
    SetLoadMemoryBudget(0);
}

}  // namespace
