#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "imagelib/metadata.h"
#include "processing/geometry.h"
#include "tests/processing/picture.h"

using namespace pictest;

namespace {

// The source pixel that output pixel (x, y) shows after a clockwise turn
// of `turn` degrees (0, 90, 180, 270) of a w x h picture.
void SourceOf(int turn, int32_t w, int32_t h, int32_t x, int32_t y, int32_t* sx, int32_t* sy) {
    switch (turn) {
    case 90: *sx = y; *sy = h - 1 - x; break;
    case 180: *sx = w - 1 - x; *sy = h - 1 - y; break;
    case 270: *sx = w - 1 - y; *sy = x; break;
    default: *sx = x; *sy = y; break;
    }
}

void ExpectTurned(const Bitmap* src, const Bitmap* out, int turn) {
    const bool quarter = turn == 90 || turn == 270;
    ASSERT_EQ(quarter ? src->height : src->width, out->width);
    ASSERT_EQ(quarter ? src->width : src->height, out->height);
    EXPECT_EQ(src->pixelType, out->pixelType);
    EXPECT_EQ(src->bitsPerSample, out->bitsPerSample);
    EXPECT_EQ(src->rowAlignment, out->rowAlignment);
    for (int32_t y = 0; y < out->height; ++y)
        for (int32_t x = 0; x < out->width; ++x) {
            int32_t sx, sy;
            SourceOf(turn, src->width, src->height, x, y, &sx, &sy);
            ASSERT_EQ(Pixel(src, sx, sy), Pixel(out, x, y)) << "turn " << turn << " at " << x << "," << y;
        }
}

class RotateKinds : public ::testing::TestWithParam<Kind> {};

TEST_P(RotateKinds, EveryRightAngleTurnsAsSeen) {
    struct AngleCase {
        int32_t angle;
        int turn;
    };
    const AngleCase angles[] = {{90, 90},   {-270, 90}, {450, 90}, {-90, 270}, {270, 270}, {180, 180},
                                {-180, 180}, {0, 0},    {360, 0},  {-720, 0}};
    Picture src;
    MakeRandom(src, GetParam(), 5, 3, 7);
    src->transparentIndex = 3;
    src->paletteCount = 77;
    src->xResolution = 300;
    src->yResolution = 200;
    const std::vector<uint32_t> before = Samples(src.get());
    for (const AngleCase& a : angles) {
        SCOPED_TRACE(a.angle);
        Picture out;
        ASSERT_EQ(0, BitmapRotate(src.get(), out.get(), a.angle, nullptr, 0));
        ExpectTurned(src.get(), out.get(), a.turn);
        EXPECT_EQ(77, out->paletteCount);
        EXPECT_EQ(3, out->transparentIndex);
        if (src->palette) {
            EXPECT_EQ(0, std::memcmp(src->palette, out->palette, kPaletteBytes));
        }
        // A quarter turn exchanges the resolutions.
        const bool quarter = a.turn == 90 || a.turn == 270;
        EXPECT_EQ(quarter ? 200 : 300, out->xResolution);
        EXPECT_EQ(quarter ? 300 : 200, out->yResolution);
    }
    EXPECT_EQ(before, Samples(src.get()));  // the source is untouched
}

TEST_P(RotateKinds, InPlaceTakesTheResult) {
    Picture src, expected;
    MakeRandom(src, GetParam(), 4, 7, 11);
    ASSERT_EQ(0, BitmapRotate(src.get(), expected.get(), 90, nullptr, 0));
    src->comment = static_cast<char*>(std::malloc(4));
    std::memcpy(src->comment, "abc", 4);
    ASSERT_EQ(0, BitmapRotate(src.get(), nullptr, 90, nullptr, 0));
    EXPECT_EQ(7, src->width);
    EXPECT_EQ(4, src->height);
    EXPECT_EQ(Samples(expected.get()), Samples(src.get()));
    ASSERT_NE(nullptr, src->comment);
    EXPECT_STREQ("abc", src->comment);
}

INSTANTIATE_TEST_SUITE_P(Kinds, RotateKinds, ::testing::ValuesIn(AllKinds()), KindName);

TEST(Rotate, QuarterTurnOfASmallColourPicture) {
    // a b c        d a
    // d e f   ->   e b
    //              f c
    Picture src;
    Make(src, kPixelRGB, 3, 2, {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6, 6});
    Picture cw, ccw;
    ASSERT_EQ(0, BitmapRotate(src.get(), cw.get(), 90, nullptr, 0));
    EXPECT_EQ((std::vector<uint32_t>{4, 4, 4, 1, 1, 1, 5, 5, 5, 2, 2, 2, 6, 6, 6, 3, 3, 3}), Samples(cw.get()));
    ASSERT_EQ(0, BitmapRotate(src.get(), ccw.get(), -90, nullptr, 0));
    EXPECT_EQ((std::vector<uint32_t>{3, 3, 3, 6, 6, 6, 2, 2, 2, 5, 5, 5, 1, 1, 1, 4, 4, 4}), Samples(ccw.get()));
}

TEST(Rotate, AnglesThatAreNotRightAnglesGiveACopy) {
    Picture src;
    MakeRandom(src, Kind{"rgb", kPixelRGB, 8}, 3, 2, 1);
    const std::vector<uint32_t> before = Samples(src.get());
    for (int32_t angle : {45, 1, -89, 91, 359, INT32_MIN + 1}) {
        Picture out;
        EXPECT_EQ(0, BitmapRotate(src.get(), out.get(), angle, nullptr, 0)) << angle;
        EXPECT_EQ(3, out->width);
        EXPECT_EQ(before, Samples(out.get())) << angle;
        EXPECT_EQ(0, BitmapRotate(src.get(), nullptr, angle, nullptr, 0)) << angle;
    }
    EXPECT_EQ(3, src->width);
    EXPECT_EQ(before, Samples(src.get()));
}

TEST(Rotate, BottomUpRowsTurnClockwiseAsSeen) {
    // Memory rows of a bottom-up picture are the seen rows upside down; the
    // result stays bottom-up, so as seen it must be the clockwise turn.
    Picture seen, stored;
    MakeRandom(seen, Kind{"bgr", kPixelBGR, 8}, 5, 3, 21);
    ASSERT_EQ(0, BitmapFlip(seen.get(), stored.get(), nullptr));
    stored->orientation = kOrientationBottomUp;
    for (int angle : {90, -90, 180}) {
        Picture out, outSeen, expected;
        ASSERT_EQ(0, BitmapRotate(stored.get(), out.get(), angle, nullptr, 0));
        EXPECT_EQ(kOrientationBottomUp, out->orientation);
        ASSERT_EQ(0, BitmapFlip(out.get(), outSeen.get(), nullptr));
        ASSERT_EQ(0, BitmapRotate(seen.get(), expected.get(), angle, nullptr, 0));
        EXPECT_EQ(Samples(expected.get()), Samples(outSeen.get())) << angle;
    }
}

TEST(Rotate, ProgressIsAskedPerOutputRowAndCanStop) {
    struct Log {
        int calls = 0;
        int32_t lastRow = -1;
        int32_t total = 0;
        int stopAt = -1;
    };
    auto cb = [](int32_t row, int32_t total, uintptr_t user) -> int {
        auto* log = reinterpret_cast<Log*>(user);
        ++log->calls;
        log->lastRow = row;
        log->total = total;
        return row == log->stopAt ? 1 : 0;
    };
    Picture src;
    MakeRandom(src, Kind{"rgba", kPixelRGBA, 8}, 6, 4, 3);
    const std::vector<uint32_t> before = Samples(src.get());

    Log all;
    Picture out;
    ASSERT_EQ(0, BitmapRotate(src.get(), out.get(), 90, cb, reinterpret_cast<uintptr_t>(&all)));
    EXPECT_EQ(6, all.calls);
    EXPECT_EQ(5, all.lastRow);
    EXPECT_EQ(6, all.total);  // the source width

    Log stop;
    stop.stopAt = 2;
    EXPECT_EQ(kGeometryStopped, BitmapRotate(src.get(), nullptr, -90, cb, reinterpret_cast<uintptr_t>(&stop)));
    EXPECT_EQ(3, stop.calls);
    EXPECT_EQ(6, src->width);
    EXPECT_EQ(before, Samples(src.get()));
}

// Rows as stored, padding included: the fast paths must leave the padding
// bits clear, as the general paths do.
std::vector<uint8_t> RawRows(const Bitmap* b) {
    return std::vector<uint8_t>(b->pixels, b->pixels + size_t(b->bytesPerRow) * size_t(b->height));
}

TEST(Rotate, BilevelWordPathsGiveTheGeneralPathsPixels) {
    for (int32_t w : {1, 7, 8, 9, 31, 32, 33, 63, 64, 65, 100, 130}) {
        for (int32_t h : {1, 5, 31, 32, 33, 70}) {
            SCOPED_TRACE(::testing::Message() << w << "x" << h);
            Picture src;
            MakeRandom(src, Kind{"bilevel", kPixelBilevel, 8}, w, h, uint32_t(w * 1000 + h));
            // Garbage in the padding bits must not show.
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = w; x < src->bytesPerRow * 8; ++x)
                    PutRowBit(src->pixels + size_t(y) * src->bytesPerRow, x, 1);
            Picture fastR, slowR, fastL, slowL, fastH, slowH;
            ASSERT_EQ(0, BitmapRotateBilevelRight(src.get(), fastR.get()));
            ASSERT_EQ(0, BitmapRotateQuarter(src.get(), slowR.get(), 1, nullptr, 0));
            ASSERT_EQ(0, BitmapRotateBilevelLeft(src.get(), fastL.get()));
            ASSERT_EQ(0, BitmapRotateQuarter(src.get(), slowL.get(), -1, nullptr, 0));
            ASSERT_EQ(0, BitmapRotateBilevelHalf(src.get(), fastH.get()));
            ASSERT_EQ(0, BitmapRotateHalf(src.get(), slowH.get()));
            ExpectTurned(src.get(), slowR.get(), 90);
            ExpectTurned(src.get(), slowL.get(), 270);
            ExpectTurned(src.get(), slowH.get(), 180);
            EXPECT_EQ(RawRows(slowR.get()), RawRows(fastR.get()));
            EXPECT_EQ(RawRows(slowL.get()), RawRows(fastL.get()));
            EXPECT_EQ(RawRows(slowH.get()), RawRows(fastH.get()));
            EXPECT_EQ(src->yResolution, fastR->xResolution);
        }
    }
}

TEST(Rotate, BilevelFastPathsFallBackForOtherRowLayouts) {
    // Alignment 1 rows are not whole words: the word paths must not read
    // or write past a row.
    Picture src;
    MakeRandom(src, Kind{"bilevel", kPixelBilevel, 8}, 13, 9, 5, 1);
    ASSERT_EQ(2, src->bytesPerRow);
    Picture right, left, viaRotate;
    ASSERT_EQ(0, BitmapRotateBilevelRight(src.get(), right.get()));
    ExpectTurned(src.get(), right.get(), 90);
    ASSERT_EQ(0, BitmapRotateBilevelLeft(src.get(), left.get()));
    ExpectTurned(src.get(), left.get(), 270);
    ASSERT_EQ(0, BitmapRotate(src.get(), viaRotate.get(), 270, nullptr, 0));
    ExpectTurned(src.get(), viaRotate.get(), 270);

    Picture colour, out;
    MakeRandom(colour, Kind{"rgb", kPixelRGB, 8}, 3, 3, 1);
    EXPECT_EQ(kGeometryBadSize, BitmapRotateBilevelRight(colour.get(), out.get()));
    EXPECT_EQ(kGeometryBadSize, BitmapRotateBilevelHalf(colour.get(), out.get()));
}

TEST(Rotate, ARecordThatIsNotAPictureIsRefused) {
    Picture empty;
    EXPECT_EQ(kGeometryBadSize, BitmapRotate(empty.get(), nullptr, 90, nullptr, 0));
    Picture src;
    MakeRandom(src, Kind{"rgb", kPixelRGB, 8}, 3, 3, 1);
    src->bytesPerPixel = 4;  // does not match the type
    EXPECT_EQ(kGeometryBadSize, BitmapRotate(src.get(), nullptr, 90, nullptr, 0));
    src->bytesPerPixel = 3;
    src->bytesPerRow = 8;  // too narrow for 3 pixels
    EXPECT_EQ(kGeometryBadSize, BitmapRotateHalf(src.get(), nullptr));
    EXPECT_EQ(kGeometryBadSize, BitmapRotate(nullptr, nullptr, 90, nullptr, 0));
}

}  // namespace
