// The player's JPEG decoding: grey pictures as grey, colour pictures as
// blue-green-red bytes labelled so, other component counts refused, a
// picture cut short reported and nothing left allocated.
#include "player/jpegstream.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "albumtest.h"
#include "tests/support/testfiles.h"

using namespace albumtest;

namespace {

int Decode(const char* name, Bitmap* picture) {
    FILE* f = std::fopen(testing_support::ToFsPath(Fixture(name)).string().c_str(), "rb");
    if (!f) return -1;
    const int r = DecodeJpegStream(f, picture);
    std::fclose(f);
    return r;
}

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

}  // namespace
