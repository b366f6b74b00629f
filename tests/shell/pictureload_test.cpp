// Orientation: every EXIF orientation turns a picture stored wider than high
// upright, the tag is reset only when the picture was turned; a picture
// stored not wider than high is upright already and only loses its tag; the
// camera RAW reader's flags turn a portrait picture delivered on its side.
// Thumbnails: fine patterns come out as their mean, in the box's exact size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/load.h"
#include "processing/exifedit.h"
#include "shell/pictureload.h"
#include "tests/support/pictures.h"
#include "tests/support/testfiles.h"

namespace {

using testing_support::EnsureFormatRegistry;
using testing_support::FixtureFile;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

// The orientation a test hands the picture, and the resets it saw.
int g_orientation = 0;
int g_resets = 0;
const ExifOrientationAccess kFakeExif = {
    [](const Bitmap*) { return g_orientation; },
    [](Bitmap*) { ++g_resets; },
};

// A grey picture whose pixel (x, y) holds 10 * y + x.
struct Grey {
    Bitmap b{};
    Grey(int w, int h) {
        EXPECT_EQ(AllocBitmap(&b, kPixelGrey, 1, w, h), 1);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) b.pixels[y * b.bytesPerRow + x] = uint8_t(10 * y + x);
    }
    ~Grey() { FreeBitmap(&b); }
    int At(int x, int y) const { return b.pixels[y * b.bytesPerRow + x]; }
};

// Where the upright picture's pixel (x, y) was stored, for a stored picture
// of w x h.
void StoredAt(int orientation, int w, int h, int x, int y, int* sx, int* sy) {
    switch (orientation) {
    case 2: *sx = w - 1 - x; *sy = y; break;
    case 3: *sx = w - 1 - x; *sy = h - 1 - y; break;
    case 4: *sx = x; *sy = h - 1 - y; break;
    case 5: *sx = y; *sy = x; break;
    case 6: *sx = y; *sy = h - 1 - x; break;
    case 7: *sx = w - 1 - y; *sy = h - 1 - x; break;
    case 8: *sx = w - 1 - y; *sy = x; break;
    default: *sx = x; *sy = y; break;
    }
}

// Every colour byte of a thumbnail (grey or three-byte pixels, whatever
// their order) lies in [lowest, highest].
void ExpectColourBytesWithin(const Bitmap& b, int lowest, int highest) {
    int low = 255, high = 0;
    for (int y = 0; y < b.height; ++y)
        for (int i = 0; i < b.bytesPerPixel * b.width; ++i) {
            low = std::min(low, int(b.pixels[y * b.bytesPerRow + i]));
            high = std::max(high, int(b.pixels[y * b.bytesPerRow + i]));
        }
    EXPECT_GE(low, lowest);
    EXPECT_LE(high, highest);
}

TEST(Orientation, EveryExifValueOnLandscapeAndPortraitPictures) {
    for (const auto& [w, h] : {std::make_pair(3, 2), std::make_pair(2, 3), std::make_pair(3, 3)}) {
        for (int orientation = 0; orientation <= 9; ++orientation) {
            Grey stored(w, h), picture(w, h);
            g_orientation = orientation;
            g_resets = 0;
            const bool landscape = w > h;
            const bool turns = landscape && orientation >= 2 && orientation <= 8;
            EXPECT_EQ(ApplyPictureOrientation(&picture.b, nullptr, 1, &kFakeExif), turns ? 1 : 0) << orientation;
            // Turned, or a tag on a picture that counts as upright: reset.
            EXPECT_EQ(g_resets, turns || (!landscape && orientation != 0) ? 1 : 0) << w << "x" << h << " o"
                                                                                  << orientation;
            const bool quarter = turns && orientation >= 5;
            ASSERT_EQ(picture.b.width, quarter ? h : w) << orientation;
            ASSERT_EQ(picture.b.height, quarter ? w : h) << orientation;
            for (int y = 0; y < picture.b.height; ++y)
                for (int x = 0; x < picture.b.width; ++x) {
                    int sx, sy;
                    StoredAt(turns ? orientation : 1, w, h, x, y, &sx, &sy);
                    EXPECT_EQ(picture.At(x, y), stored.At(sx, sy)) << w << "x" << h << " o" << orientation;
                }
        }
    }
    // Without resetTag the tag stays.
    Grey picture(3, 2);
    g_orientation = 6;
    g_resets = 0;
    EXPECT_EQ(ApplyPictureOrientation(&picture.b, nullptr, 0, &kFakeExif), 1);
    EXPECT_EQ(g_resets, 0);
}

TEST(Orientation, CameraRawFlagsTurnAPortraitDeliveredOnItsSide) {
    struct Case {
        uint16_t flags;
        int32_t infoWidth, infoHeight;
        int turned;
        int topLeftFrom;  // stored pixel now at (0, 0)
    };
    const Case cases[] = {
        {0x2, 2, 3, 1, 2},   // a left turn: the top-right pixel comes to the top left
        {0x4, 2, 3, 1, 10},  // a right turn: the bottom-left pixel does
        {0x4, 3, 2, 0, 0},   // declared landscape: left alone
        {0x1, 2, 3, 0, 0},   // no turn asked for
    };
    g_orientation = 0;
    for (const Case& c : cases) {
        Grey picture(3, 2);
        ImageInfo info{};
        info.width = c.infoWidth;
        info.height = c.infoHeight;
        info.orientation = c.flags;
        EXPECT_EQ(ApplyPictureOrientation(&picture.b, &info, 1, &kFakeExif), c.turned) << c.flags;
        EXPECT_EQ(picture.At(0, 0), c.topLeftFrom) << c.flags;
    }
}

// Loads a fixture with its metadata; the load's result.
int LoadWithMetadata(const char* name, Bitmap* b, ImageInfo* info) {
    testing_support::EnsureFormatRegistry();
    LoadOptions options;
    InitLoadOptions(&options);
    options.flags |= kLoadKeepMetadata;
    return LoadPictureFromFile(testing_support::FixtureFile(PV_SHELL_FIXTURES, name).c_str(), b, &options, info);
}

// A JPEG that Pillow wrote with orientation 6, through the metadata layer.
TEST(Orientation, JpegWithOrientation6IsTurnedAndItsTagReset) {
    Bitmap b{};
    ImageInfo info{};
    ASSERT_EQ(LoadWithMetadata("oriented6.jpg", &b, &info), 0);
    ASSERT_EQ(b.width, 64);
    uint32_t value = 0;
    ASSERT_EQ(ExifGetOrientation(b.metadata, &value), 1);
    EXPECT_EQ(value, 6u);
    EXPECT_EQ(ApplyPictureOrientation(&b, &info, 1, MetadataExifOrientation()), 1);
    EXPECT_EQ(b.width, 32);
    EXPECT_EQ(b.height, 64);
    ASSERT_EQ(ExifGetOrientation(b.metadata, &value), 1);
    EXPECT_EQ(value, 1u);
    // Upright now: nothing more to do.
    EXPECT_EQ(ApplyPictureOrientation(&b, &info, 1, MetadataExifOrientation()), 0);
    FreeBitmap(&b);
    FreePictureInfo(&info);
}

// A portrait picture whose tag still says 6 (an editor turned its pixels and
// kept the tag) is shown as stored, and its tag becomes 1.
TEST(Orientation, PortraitJpegWithAStaleTagStaysAsStored) {
    Bitmap b{};
    ImageInfo info{};
    ASSERT_EQ(LoadWithMetadata("stale6.jpg", &b, &info), 0);
    ASSERT_EQ(b.width, 32);
    EXPECT_EQ(ApplyPictureOrientation(&b, &info, 1, MetadataExifOrientation()), 0);
    EXPECT_EQ(b.width, 32);
    EXPECT_EQ(b.height, 64);
    uint32_t value = 0;
    ASSERT_EQ(ExifGetOrientation(b.metadata, &value), 1);
    EXPECT_EQ(value, 1u);
    FreeBitmap(&b);
    FreePictureInfo(&info);
}

// Patterns finer than a thumbnail's pixels, which point samples turn into
// one of their colours or into coarse stripes: a JPEG of stripes 8 pixels
// wide (Pillow's), which the decoder's own reduction makes 1 pixel wide, and
// a one-pixel checkerboard in a PPM file (no reduction by the decoder). Both
// settings give the mean grey in the box's size.
TEST(ThumbnailLoad, FinePatternsComeOutAsTheirMeanGrey) {
    EnsureFormatRegistry();
    ScratchDir dir;
    const std::wstring checkerboard = dir.File("checkerboard.ppm");
    std::vector<uint8_t> ppm;
    const std::string header = "P6\n120 90\n255\n";
    ppm.assign(header.begin(), header.end());
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 120; ++x) ppm.insert(ppm.end(), 3, uint8_t((x + y) % 2 ? 255 : 0));
    WriteBytes(checkerboard, ppm);
    struct Case {
        const char* name;
        std::wstring path;
        int32_t boxW, boxH;
        int width, height;
    } cases[] = {
        {"stripes.jpg", FixtureFile(PV_SHELL_FIXTURES, "stripes.jpg"), 40, 40, 40, 20},
        {"checkerboard.ppm", checkerboard, 30, 30, 30, 23},
        {"checkerboard.ppm, tall box", checkerboard, 12, 70, 12, 9},
    };
    for (const Case& c : cases)
        for (const int highQuality : {0, 1}) {
            SCOPED_TRACE(std::string(c.name) + (highQuality ? ", high quality" : ""));
            Bitmap b{};
            ImageInfo info{};
            ASSERT_EQ(LoadPictureThumbnail(c.path.c_str(), &b, &info, c.boxW, c.boxH, 0, 1, highQuality, 1, nullptr),
                      kLoadOk);
            EXPECT_EQ(b.width, c.width);
            EXPECT_EQ(b.height, c.height);
            ASSERT_EQ(b.bytesPerPixel, 3);
            ExpectColourBytesWithin(b, 124, 131);
            FreeBitmap(&b);
            FreePictureInfo(&info);
        }
}

// Every other kind of picture is averaged too (Pillow's 120 x 90 stripes one
// pixel wide, six to a thumbnail pixel; the JPEG's 8 pixels wide, as above):
// grey, palette, one-bit and alpha pictures, plain and interlaced. Grey
// pictures stay grey; palette ones come out in colour. Where only the white
// stripes are opaque, the mean is white: colours are weighted by their alpha.
TEST(ThumbnailLoad, EveryKindOfPictureIsAveraged) {
    EnsureFormatRegistry();
    struct Case {
        const char* file;
        uint16_t pixelType;
        int lowest, highest;  // of every colour byte
    } cases[] = {
        {"stripes-grey.jpg", kPixelGrey, 124, 131},      {"stripes-plain.gif", kPixelBGR, 124, 131},
        {"stripes-interlaced.gif", kPixelBGR, 124, 131}, {"stripes-palette.png", kPixelBGR, 124, 131},
        {"stripes-1bit.png", kPixelGrey, 124, 131},      {"stripes-alpha.png", kPixelBGR, 255, 255},
        {"stripes-palette.bmp", kPixelBGR, 124, 131},    {"stripes-palette.pcx", kPixelBGR, 124, 131},
        {"stripes-grey.tga", kPixelGrey, 124, 131},      {"stripes-grey.pgm", kPixelGrey, 124, 131},
        // TIFF's stripes are one black to two white. ImageMagick writes the
        // four-bit white-is-zero file with the levels as they were, so it
        // shows inverted (tiff2rgba and Pillow agree on 85).
        {"stripes-grey.tif", kPixelGrey, 167, 173},      {"stripes-palette.tif", kPixelBGR, 167, 173},
        {"stripes-grey4.tif", kPixelGrey, 167, 173},     {"stripes-grey4-inverted.tif", kPixelGrey, 82, 88},
        {"stripes-g4.tif", kPixelGrey, 167, 173},        {"stripes-g4-inverted.tif", kPixelGrey, 167, 173},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const int32_t box = std::strcmp(c.file, "stripes-grey.jpg") == 0 ? 40 : 20;
        Bitmap b{};
        ImageInfo info{};
        EXPECT_EQ(LoadPictureThumbnail(FixtureFile(PV_SHELL_FIXTURES, c.file).c_str(), &b, &info, box, box, 0, 1, 0,
                                       1, nullptr),
                  kLoadOk);
        EXPECT_EQ(b.pixelType, c.pixelType);
        EXPECT_EQ(b.width, box);
        if (b.pixelType == c.pixelType) ExpectColourBytesWithin(b, c.lowest, c.highest);
        FreeBitmap(&b);
        FreePictureInfo(&info);
    }
}

TEST(ThumbnailLoad, OptionsAsTheWorkerSetsThem) {
    LoadOptions o;
    ThumbnailLoadOptions(&o, 70, 68, 3, 1, 1, 0);
    EXPECT_EQ(o.flags, 0x1404u | 0x800u);
    EXPECT_EQ(o.imageIndex, 3u);
    EXPECT_EQ(o.targetWidth, 70);
    EXPECT_EQ(o.targetHeight, 68);
    EXPECT_EQ(o.scaleMethod, 2);
    EXPECT_EQ(o.keepReaderReduction, 1);
    EXPECT_EQ(o.embeddedThumbnailMode, 0);
    ThumbnailLoadOptions(&o, 0, 68, 0, 1, 0, 1);  // no box: no fit
    EXPECT_EQ(o.flags, 0x1404u);
    EXPECT_EQ(o.keepReaderReduction, 0);
    EXPECT_EQ(o.embeddedThumbnailMode, 1);
}

}  // namespace
