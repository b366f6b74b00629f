// Crop, crop clipped, duplicate, mirror, flip and resize to fit.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "imagelib/metadata.h"
#include "processing/geometry.h"
#include "tests/processing/picture.h"

using namespace pictest;

namespace {

// The samples of the w x h rectangle at (x, y) of `b`.
std::vector<uint32_t> RectSamples(const Bitmap* b, int32_t x, int32_t y, int32_t w, int32_t h) {
    std::vector<uint32_t> v;
    for (int32_t j = y; j < y + h; ++j)
        for (int32_t i = x; i < x + w; ++i)
            for (int k = 0; k < b->components; ++k) v.push_back(Sample(b, i, j, k));
    return v;
}

class CropKinds : public ::testing::TestWithParam<Kind> {};

TEST_P(CropKinds, CropCopiesTheClippedRectangleWithTheSourcesDepth) {
    struct RectCase {
        PictureRect rect;
        PictureRect expected;  // after clipping
    };
    const RectCase cases[] = {
        {{3, 1, 9, 4}, {3, 1, 9, 4}},        // starts inside a byte of a bilevel row
        {{-2, -1, 5, 3}, {0, 0, 3, 2}},      // partly above and left
        {{15, 7, 10, 10}, {15, 7, 5, 3}},    // partly right and below
        {{0, 0, 20, 10}, {0, 0, 20, 10}},    // the whole picture
        {{INT32_MIN, 2, INT32_MAX, 1}, {0, 2, 0, 1}},  // nothing left after x + width
    };
    Picture src;
    MakeRandom(src, GetParam(), 20, 10, 5);
    src->transparentIndex = 2;
    for (const RectCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.rect.x << "," << c.rect.y << " " << c.rect.width << "x" << c.rect.height);
        Picture out;
        const int rc = BitmapCrop(src.get(), out.get(), &c.rect);
        if (c.expected.width < 1) {
            EXPECT_EQ(kGeometryBadSize, rc);
            EXPECT_EQ(nullptr, out->pixels);
            continue;
        }
        ASSERT_EQ(0, rc);
        EXPECT_EQ(c.expected.width, out->width);
        EXPECT_EQ(c.expected.height, out->height);
        EXPECT_EQ(src->pixelType, out->pixelType);
        EXPECT_EQ(src->bitsPerSample, out->bitsPerSample);
        EXPECT_EQ(src->bytesPerPixel, out->bytesPerPixel);
        EXPECT_EQ(2, out->transparentIndex);
        EXPECT_EQ(RectSamples(src.get(), c.expected.x, c.expected.y, c.expected.width, c.expected.height),
                  Samples(out.get()));
        // Bits after the last pixel of a bilevel row stay clear.
        if (out->pixelType == kPixelBilevel && out->width % 8) {
            const uint8_t last = out->pixels[(out->width - 1) / 8];
            EXPECT_EQ(0, last & (0xFF >> (out->width % 8)));
        }
    }
    // Clipped crop of the same rectangles gives the same pixels.
    for (const RectCase& c : cases) {
        if (c.expected.width < 1) continue;
        Picture a, b;
        ASSERT_EQ(0, BitmapCrop(src.get(), a.get(), &c.rect));
        ASSERT_EQ(0, BitmapCropClipped(src.get(), b.get(), &c.rect));
        EXPECT_EQ(Samples(a.get()), Samples(b.get()));
        EXPECT_EQ(src->bitsPerSample, b->bitsPerSample);
    }
}

TEST_P(CropKinds, DuplicateAndNullRectangleCopyEverything) {
    Picture src, dup, crop;
    MakeRandom(src, GetParam(), 9, 4, 8);
    src->yResolution = 150;
    ASSERT_EQ(0, BitmapDuplicate(src.get(), dup.get()));
    ASSERT_EQ(0, BitmapCrop(src.get(), crop.get(), nullptr));
    for (Bitmap* b : {dup.get(), crop.get()}) {
        EXPECT_EQ(Samples(src.get()), Samples(b));
        EXPECT_EQ(src->bitsPerSample, b->bitsPerSample);
        EXPECT_EQ(150, b->yResolution);
        EXPECT_NE(src->pixels, b->pixels);
    }
    EXPECT_EQ(0, BitmapDuplicate(src.get(), nullptr));  // nothing to do
}

TEST_P(CropKinds, MirrorAndFlipInsideARectangleOnly) {
    Picture src;
    MakeRandom(src, GetParam(), 13, 6, 3);
    const PictureRect rect{3, 1, 7, 4};
    Picture mirrored, flipped;
    ASSERT_EQ(0, BitmapMirror(src.get(), mirrored.get(), &rect));
    ASSERT_EQ(0, BitmapFlip(src.get(), flipped.get(), &rect));
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 13; ++x) {
            const bool inside = x >= 3 && x < 10 && y >= 1 && y < 5;
            ASSERT_EQ(Pixel(src.get(), inside ? 3 + 9 - x : x, y), Pixel(mirrored.get(), x, y)) << x << "," << y;
            ASSERT_EQ(Pixel(src.get(), x, inside ? 1 + 4 - y : y), Pixel(flipped.get(), x, y)) << x << "," << y;
        }
    // The whole picture, in place.
    Picture whole;
    ASSERT_EQ(0, BitmapDuplicate(src.get(), whole.get()));
    ASSERT_EQ(0, BitmapMirror(whole.get(), nullptr, nullptr));
    ASSERT_EQ(0, BitmapFlip(whole.get(), nullptr, nullptr));
    Picture half;
    ASSERT_EQ(0, BitmapRotateHalf(src.get(), half.get()));
    EXPECT_EQ(Samples(half.get()), Samples(whole.get()));
}

INSTANTIATE_TEST_SUITE_P(Kinds, CropKinds, ::testing::ValuesIn(AllKinds()), KindName);

TEST(Mirror, RectanglesOutsideThePictureAreRefused) {
    Picture src;
    MakeRandom(src, Kind{"rgb", kPixelRGB, 8}, 5, 5, 1);
    const std::vector<uint32_t> before = Samples(src.get());
    for (const PictureRect& r : {PictureRect{5, 0, 3, 3}, PictureRect{0, -4, 3, 4}, PictureRect{1, 1, 0, 2},
                                 PictureRect{1, 1, 2, -2}, PictureRect{INT32_MAX, INT32_MAX, INT32_MAX, 1}}) {
        Picture out;
        EXPECT_EQ(kGeometryBadSize, BitmapMirror(src.get(), out.get(), &r));
        EXPECT_EQ(kGeometryBadSize, BitmapFlip(src.get(), nullptr, &r));
        EXPECT_EQ(nullptr, out->pixels);
    }
    // Partly outside: clipped.
    const PictureRect partly{3, -2, 10, 4};
    Picture out;
    ASSERT_EQ(0, BitmapMirror(src.get(), out.get(), &partly));
    EXPECT_EQ(Pixel(src.get(), 4, 0), Pixel(out.get(), 3, 0));
    EXPECT_EQ(Pixel(src.get(), 4, 2), Pixel(out.get(), 4, 2));  // below the clipped rectangle
    EXPECT_EQ(before, Samples(src.get()));
}

TEST(CropClipped, NegativeStartCutsTheWidth) {
    Picture src;
    MakeRandom(src, Kind{"grey", kPixelGrey, 8}, 40, 8, 3);
    const PictureRect r{-10, 2, 30, 3};
    Picture out;
    ASSERT_EQ(0, BitmapCropClipped(src.get(), out.get(), &r));
    EXPECT_EQ(20, out->width);
    EXPECT_EQ(3, out->height);
    EXPECT_EQ(RectSamples(src.get(), 0, 2, 20, 3), Samples(out.get()));
    for (const PictureRect& bad : {PictureRect{-30, 0, 30, 3}, PictureRect{40, 0, 5, 5}, PictureRect{0, 8, 5, 5},
                                   PictureRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}}) {
        Picture none;
        EXPECT_EQ(kGeometryBadSize, BitmapCropClipped(src.get(), none.get(), &bad));
    }
    EXPECT_EQ(kGeometryBadSize, BitmapCropClipped(src.get(), nullptr, nullptr));
}

TEST(CropClipped, BottomUpRectangleIsMeasuredAsSeen) {
    // Store a picture bottom-up: the rectangle's rows count from the top as
    // seen, and the result stays bottom-up.
    Picture seen, stored;
    MakeRandom(seen, Kind{"bilevel", kPixelBilevel, 8}, 21, 9, 6);
    ASSERT_EQ(0, BitmapFlip(seen.get(), stored.get(), nullptr));
    stored->orientation = kOrientationBottomUp;
    const PictureRect r{5, 1, 11, 4};
    Picture out, outSeen, expected;
    ASSERT_EQ(0, BitmapCropClipped(stored.get(), out.get(), &r));
    EXPECT_EQ(kOrientationBottomUp, out->orientation);
    ASSERT_EQ(0, BitmapFlip(out.get(), outSeen.get(), nullptr));
    ASSERT_EQ(0, BitmapCropClipped(seen.get(), expected.get(), &r));
    EXPECT_EQ(Samples(expected.get()), Samples(outSeen.get()));
}

TEST(Crop, InPlaceKeepsCommentAndMetadataDestinationCopiesThem) {
    Picture src;
    MakeRandom(src, Kind{"rgb", kPixelRGB, 8}, 6, 6, 1);
    src->comment = static_cast<char*>(std::malloc(3));
    std::memcpy(src->comment, "hi", 3);
    auto* node = static_cast<MetadataBlock*>(std::calloc(1, sizeof(MetadataBlock)));
    node->kind = kMetadataExif;
    node->length = 4;
    node->data = static_cast<uint8_t*>(std::malloc(4));
    std::memcpy(node->data, "Exif", 4);
    src->metadata = node;
    const PictureRect r{1, 1, 2, 2};
    Picture out;
    ASSERT_EQ(0, BitmapCrop(src.get(), out.get(), &r));
    ASSERT_NE(nullptr, out->comment);
    EXPECT_STREQ("hi", out->comment);
    EXPECT_NE(src->comment, out->comment);
    ASSERT_NE(nullptr, out->metadata);
    EXPECT_NE(node, out->metadata);
    EXPECT_EQ(0, std::memcmp(out->metadata->data, "Exif", 4));
    ASSERT_EQ(0, BitmapCrop(src.get(), nullptr, &r));
    EXPECT_EQ(2, src->width);
    EXPECT_EQ(node, src->metadata);  // moved, not copied
    EXPECT_STREQ("hi", src->comment);
}

TEST(ResizeToFit, BoxCases) {
    struct FitCase {
        const char* name;
        int32_t w, h, boxW, boxH;
        int flags;
        int32_t expectW, expectH;
    };
    const FitCase cases[] = {
        {"turned box", 640, 480, 240, 320, kFitKeepAspect | kFitTurnBox, 320, 240},
        {"box kept", 640, 480, 240, 320, kFitKeepAspect, 240, 180},
        {"small picture not enlarged", 100, 50, 240, 320, kFitKeepAspect, 100, 50},
        {"small picture enlarged", 100, 50, 240, 320, kFitKeepAspect | kFitEnlarge, 240, 120},
        {"no aspect: the box", 640, 480, 240, 320, 0, 240, 320},
        {"no aspect, one side grows", 100, 500, 240, 320, 0, 240, 320},
        {"thin picture keeps one pixel", 1000, 2, 100, 100, kFitKeepAspect, 100, 1},
        {"tall picture", 30, 600, 100, 100, kFitKeepAspect | kFitTurnBox, 5, 100},
    };
    for (const FitCase& c : cases) {
        SCOPED_TRACE(c.name);
        Picture src, out;
        ASSERT_EQ(1, AllocBitmap(src.get(), kPixelRGB, 4, c.w, c.h));
        ASSERT_EQ(0, BitmapResizeToFit(src.get(), out.get(), c.boxW, c.boxH, c.flags, 0));
        EXPECT_EQ(c.expectW, out->width);
        EXPECT_EQ(c.expectH, out->height);
        ASSERT_EQ(0, BitmapResizeToFit(src.get(), nullptr, c.boxW, c.boxH, c.flags, kResampleNearest));
        EXPECT_EQ(c.expectW, src->width);
        EXPECT_EQ(c.expectH, src->height);
    }
}

TEST(ResizeToFit, FilteringTurnsBilevelIntoGreyAndPaletteIntoColour) {
    struct TypeCase {
        uint16_t type;
        uint16_t filteredType;
    };
    for (const TypeCase& c : {TypeCase{kPixelPalette, kPixelRGB}, TypeCase{kPixelBilevel, kPixelGrey}}) {
        SCOPED_TRACE(c.type);
        // Halving a picture of 2 x 2 blocks of one value each keeps each
        // block's colour; one block of each kind is enough to check the
        // conversion's channel order.
        Picture src;
        Make(src, c.type, 4, 2, {0, 0, 1, 1, 0, 0, 1, 1});
        src->xResolution = 300;
        Picture out;
        ASSERT_EQ(0, BitmapResizeToFit(src.get(), out.get(), 2, 1, kFitKeepAspect, 0));
        EXPECT_EQ(c.filteredType, out->pixelType);
        EXPECT_EQ(2, out->width);
        EXPECT_EQ(1, out->height);
        EXPECT_EQ(300, out->xResolution);
        // Palette entry e is (e, 255 - e, 7e).
        const std::vector<uint32_t> expected =
            c.type == kPixelPalette ? std::vector<uint32_t>{0, 255, 0, 1, 254, 7} : std::vector<uint32_t>{0, 255};
        EXPECT_EQ(expected, Samples(out.get()));
        // In place the source record takes the result.
        ASSERT_EQ(0, BitmapResizeToFit(src.get(), nullptr, 2, 1, kFitKeepAspect, 0));
        EXPECT_EQ(Samples(out.get()), Samples(src.get()));
        EXPECT_EQ(300, src->xResolution);
        // Sampled without filtering, or not resized at all, they keep their type.
        Picture fresh, sampled, same;
        Make(fresh, c.type, 4, 2, {0, 0, 1, 1, 0, 0, 1, 1});
        ASSERT_EQ(0, BitmapResizeToFit(fresh.get(), sampled.get(), 2, 1, kFitKeepAspect, kResampleNearest));
        EXPECT_EQ(c.type, sampled->pixelType);
        ASSERT_EQ(0, BitmapResizeToFit(fresh.get(), same.get(), 400, 400, kFitKeepAspect, 0));
        EXPECT_EQ(Samples(fresh.get()), Samples(same.get()));
    }
}

TEST(ResizeToFit, EmptyBoxIsRefused) {
    Picture src;
    ASSERT_EQ(1, AllocBitmap(src.get(), kPixelGrey, 4, 10, 10));
    EXPECT_EQ(kGeometryBadSize, BitmapResizeToFit(src.get(), nullptr, 0, 10, kFitKeepAspect, 0));
    EXPECT_EQ(kGeometryBadSize, BitmapResizeToFit(src.get(), nullptr, 10, -1, 0, 0));
    EXPECT_EQ(10, src->width);
}

TEST(TempFolder, NoneIsConfigured) {
    char buffer[8] = "junk";
    EXPECT_EQ(0u, GetLibraryTempFolder(buffer, sizeof buffer));
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(0u, GetLibraryTempFolder(nullptr, 0));
}

}  // namespace
