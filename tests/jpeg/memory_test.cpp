// The memory of a JPEG load: the coefficient buffer libjpeg keeps for a
// progressive file (its declared size, whatever the file holds) counts in
// the load's budget together with the picture, so a file of a few hundred
// bytes cannot make one load take more than the budget. The loads run under
// a small budget so the files stay small; peaks are measured in a forked
// child (Linux).
#include <gtest/gtest.h>

#include <cstdint>

#include "tests/jpeg/jpegfixtures.h"
#include "tests/support/peakrss.h"

namespace {

using jpegtest::Load;
using jpegtest::LoadFixture;
using jpegtest::Options;

constexpr uint64_t kMiB = uint64_t(1) << 20;
constexpr uint64_t kBudget = 48 * kMiB;
// Room beside the budget for AddressSanitizer's shadow and quarantine and the
// decoder's own small buffers.
constexpr uint64_t kPeakLimit = kBudget + 24 * kMiB;

class JpegMemoryTest : public testing::Test {
protected:
    void SetUp() override { SetLoadMemoryBudget(kBudget); }
    void TearDown() override { SetLoadMemoryBudget(0); }
};

TEST_F(JpegMemoryTest, CoefficientBufferCountsInTheBudget) {
    const struct {
        const char* what;
        const char* file;
        bool reduced;
        uint8_t embeddedThumbnail;
        int result;
    } cases[] = {
        // 98 MB of coefficients for 49 MB of grey picture.
        {"294 bytes declaring 7000 x 7000", "declares-7000.jpg", false, 0, kLoadNoMemory},
        {"its thumbnail: a small picture, the same coefficients", "declares-7000.jpg", true, 0, kLoadNoMemory},
        {"an EXIF thumbnail declaring 7000 x 7000", "thumbnail-declares-7000.jpg", true, 1, kLoadNoMemory},
        // 32 MB of coefficients and 16 MB of picture: each fits, both do not.
        {"a valid 4096 x 4096 progressive file", "progressive-4096.jpg", false, 0, kLoadNoMemory},
        {"its thumbnail fits", "progressive-4096.jpg", true, 0, kLoadOk},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LoadOptions o = Options();
        if (c.reduced) {
            o.flags |= kLoadReduced;
            o.targetWidth = 160;
            o.targetHeight = 120;
            o.embeddedThumbnailMode = c.embeddedThumbnail;
        }
        {
            Load load;
            LoadFixture(&load, c.file, o);
            EXPECT_EQ(c.result, load.result);
            EXPECT_EQ(c.result == kLoadOk, load.bitmap.pixels != nullptr);
        }
#if defined(__linux__)
        const auto peak = testing_support::PeakRssGrowth([&] {
            Load load;
            LoadFixture(&load, c.file, o);
        });
        ASSERT_TRUE(peak.has_value());
        EXPECT_LT(*peak, kPeakLimit) << *peak / kMiB << " MiB";
#endif
    }
}

// The budget set back, the valid file loads whole again.
TEST_F(JpegMemoryTest, DefaultBudgetLoadsTheValidFile) {
    SetLoadMemoryBudget(0);
    Load load;
    LoadFixture(&load, "progressive-4096.jpg", Options());
    ASSERT_EQ(kLoadOk, load.result);
    EXPECT_EQ(4096, load.bitmap.width);
    EXPECT_EQ(128, load.bitmap.pixels[0]);
}

}  // namespace
