// A load of a TIFF stays within the memory budget, whatever the picture
// its small file declares: strips and tiles of 108 MB, stored in files of a
// few hundred kilobytes, are decoded for a thumbnail under a budget of 32 MB
// with a peak below the budget plus 64 MB (the allowance the budget gives
// everything it does not count). Measured in a forked child
// (tests/support/peakrss.h), so Linux only.
#include <gtest/gtest.h>

#if defined(__linux__)

#include <string>

#include "tests/support/peakrss.h"
#include "tests/tiff/tifftest.h"

namespace {

constexpr uint64_t kMiB = uint64_t(1) << 20;

TEST(TiffMemory, LargePicturesOfSmallFilesStayWithinTheBudget) {
    for (const char* file : {"huge_zip_onestrip.tif", "huge_lzw_onestrip.tif", "huge_zip_tile1024.tif"}) {
        SCOPED_TRACE(file);
        const tifftest::Bytes bytes = testing_support::ReadReaderFixture(file);
        ASSERT_FALSE(bytes.empty());
        ASSERT_LT(bytes.size(), 1u << 20);
        const uint64_t budget = 32 * kMiB;
        const auto growth = testing_support::PeakRssGrowth([&] {
            SetLoadMemoryBudget(budget);
            LoadOptions o = tifftest::Load::Options(kLoadReduced);
            o.targetWidth = 160;
            o.targetHeight = 120;
            tifftest::Load load(bytes, L"picture.tif", o);
            // A thumbnail of the square picture, black, or the child fails.
            if (load.result != kLoadOk || load.bitmap.width != 120 || load.Rgba().At(60, 60)[0] != 0) std::exit(1);
        });
        ASSERT_TRUE(growth.has_value()) << "the load failed";
        EXPECT_LT(*growth, budget + 64 * kMiB) << *growth / kMiB << " MiB";
    }
}

}  // namespace

#endif  // __linux__
