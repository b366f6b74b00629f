// The player's JPEG decoding: grey pictures as grey, colour pictures as
// blue-green-red bytes labelled so, other component counts refused, a
// picture cut short reported and nothing left allocated.
#include "player/jpegstream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "albumtest.h"
#include "imagelib/load.h"
#include "tests/support/peakrss.h"
#include "tests/support/testfiles.h"

using namespace albumtest;

namespace {

int DecodeFile(const std::wstring& path, Bitmap* picture) {
    FILE* f = std::fopen(testing_support::ToFsPath(path).string().c_str(), "rb");
    if (!f) return -1;
    const int r = DecodeJpegStream(f, picture);
    std::fclose(f);
    return r;
}

int Decode(const char* name, Bitmap* picture) { return DecodeFile(Fixture(name), picture); }

TEST(PlayerJpeg, DecodesGreyAndColourRefusesTheRest) {
    Bitmap b{};
    ASSERT_EQ(Decode("red.jpg", &b), kJpegStreamDone);
    EXPECT_EQ(b.pixelType, kPixelBGR);
    EXPECT_EQ(b.width, 80);
    EXPECT_EQ(b.height, 60);
    EXPECT_EQ(b.bytesPerRow % 4, 0);
    const uint8_t* p = b.pixels + size_t(30) * size_t(b.bytesPerRow) + 40 * 3;
    EXPECT_NEAR(p[0], 20, 12);   // blue
    EXPECT_NEAR(p[2], 230, 12);  // red
    FreeBitmap(&b);

    ASSERT_EQ(Decode("grey.jpg", &b), kJpegStreamDone);
    EXPECT_EQ(b.pixelType, kPixelGrey);
    EXPECT_NEAR(b.pixels[0], 128, 4);
    FreeBitmap(&b);

    EXPECT_EQ(Decode("cmyk.jpg", &b), kJpegStreamNotRecognised);
    EXPECT_EQ(b.pixels, nullptr);
    EXPECT_EQ(Decode("notapicture.jpg", &b), kJpegStreamNotRecognised);
    EXPECT_EQ(b.pixels, nullptr);
    EXPECT_EQ(Decode("cut.jpg", &b), kJpegStreamCorrupt);
    EXPECT_EQ(b.pixels, nullptr);
}

TEST(PlayerJpeg, TurnsByQuarters) {
    Bitmap b{};
    ASSERT_EQ(Decode("red.jpg", &b), kJpegStreamDone);
    ASSERT_EQ(RotateBitmap(&b, 90), 0);
    EXPECT_EQ(b.width, 60);
    EXPECT_EQ(b.height, 80);
    ASSERT_EQ(RotateBitmap(&b, 45), 0);  // other angles do nothing
    EXPECT_EQ(b.width, 60);
    FreeBitmap(&b);
}

// A progressive picture keeps every coefficient until its last scan: with
// the picture beside it, that must fit the load budget, whatever the few
// hundred bytes of the file hold. Run under a small budget; the peak is
// measured in a forked child (Linux).
TEST(PlayerJpeg, PictureAndCoefficientsStayWithinTheBudget) {
    constexpr uint64_t kMiB = uint64_t(1) << 20;
    constexpr uint64_t kBudget = 48 * kMiB;
    SetLoadMemoryBudget(kBudget);
    Bitmap b{};
    EXPECT_EQ(Decode("declares-6000.jpg", &b), kJpegStreamNotRecognised);
    EXPECT_EQ(b.pixels, nullptr);
    FreeBitmap(&b);
#if defined(__linux__)
    const auto peak = testing_support::PeakRssGrowth([] {
        Bitmap p{};
        Decode("declares-6000.jpg", &p);
        FreeBitmap(&p);
    });
    ASSERT_TRUE(peak.has_value());
    // Room for AddressSanitizer's shadow and quarantine.
    EXPECT_LT(*peak, kBudget + 24 * kMiB) << *peak / kMiB << " MiB";
#endif
    ASSERT_EQ(Decode("progressive.jpg", &b), kJpegStreamDone);
    EXPECT_EQ(b.width, 64);
    FreeBitmap(&b);
    SetLoadMemoryBudget(0);
}

// A few bytes repeating one scan would make the decoder pass over the whole
// picture once per copy: past the scan limit the picture is corrupt.
TEST(PlayerJpeg, EndlessScansAreRefused) {
    std::vector<uint8_t> bytes = testing_support::ReadBytes(Fixture("progressive.jpg"));
    size_t lastScan = 0;
    for (size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) lastScan = i;
    ASSERT_GT(lastScan, 0u);
    ASSERT_EQ(bytes[bytes.size() - 2], 0xFF);  // the end-of-image marker closes the file
    const std::vector<uint8_t> scan(bytes.begin() + long(lastScan), bytes.end() - 2);
    bytes.resize(bytes.size() - 2);
    for (int i = 0; i < 1200; ++i) bytes.insert(bytes.end(), scan.begin(), scan.end());
    bytes.insert(bytes.end(), {0xFF, 0xD9});
    testing_support::ScratchDir dir;
    const std::wstring path = dir.File("scans.jpg");
    testing_support::WriteBytes(path, bytes);
    Bitmap b{};
    EXPECT_EQ(DecodeFile(path, &b), kJpegStreamCorrupt);
    EXPECT_EQ(b.pixels, nullptr);
    FreeBitmap(&b);
}

}  // namespace
