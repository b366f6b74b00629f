// The JPEG reader against djpeg (same library, so bit-exact), Pillow,
// identify and exiftool, on fixtures made at build time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "imagelib/readers/exif.h"
#include "imagelib/readers/jpeg.h"
#include "jpegfixtures.h"

using namespace jpegtest;

namespace {

const char* const kDecoded[] = {"baseline", "progressive", "grey", "restart", "optimised", "h1v1",
                                "grey-progressive"};

TEST(JpegReader, FullDecodeMatchesDjpeg) {
    for (const char* name : kDecoded) {
        SCOPED_TRACE(name);
        Load load;
        LoadFixture(&load, std::string(name) + ".jpg", Options());
        ASSERT_EQ(load.result, kLoadOk);
        EXPECT_TRUE(SamePixels(load.bitmap, FixturePnm(std::string(name) + ".full.pnm")));
        EXPECT_EQ(load.info.formatIndex, kFormatJpeg);
        EXPECT_EQ(load.info.width, 333);
        EXPECT_EQ(load.info.height, 251);
        const bool grey = std::strncmp(name, "grey", 4) == 0;
        EXPECT_STREQ(load.info.description, grey ? "JPEG Grayscale (v1.1)" : "JPEG TrueColor (v1.1)");
        EXPECT_EQ(load.info.components, grey ? 1 : 3);
        EXPECT_EQ(load.info.compression, 3);
        const bool progressive = std::strstr(name, "progressive") != nullptr;
        EXPECT_EQ(load.info.readerFlags, progressive ? 8u : 0u);
    }
}

TEST(JpegReader, FastDecodeMatchesDjpegFast) {
    for (const char* name : kDecoded) {
        SCOPED_TRACE(name);
        Load load;
        LoadFixture(&load, std::string(name) + ".jpg", Options(kLoadFastDecode));
        ASSERT_EQ(load.result, kLoadOk);
        EXPECT_TRUE(SamePixels(load.bitmap, FixturePnm(std::string(name) + ".fast1.pnm")));
    }
}

// Reduced loads decode at libjpeg's DCT scale chosen from the box; kept at
// that scale they equal djpeg -dct fast -nosmooth -scale 1/N.
TEST(JpegReader, ReducedLoadsMatchDjpegScaling) {
    struct Case {
        int boxWidth;
        int boxHeight;
        int scale;
    } cases[] = {
        {251, 251, 1}, {125, 125, 2}, {62, 62, 4}, {31, 31, 8}, {10, 10, 8},
        // The ratio is crossed: 333 / 30 against 251 / 100 gives 2, where
        // width against width would give 3.
        {100, 30, 2},
        {400, 400, 1},  // a box larger than the picture
    };
    for (const char* name : kDecoded) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(name) + " box " + std::to_string(c.boxWidth) + "x" + std::to_string(c.boxHeight));
            LoadOptions o = Options(kLoadReduced);
            o.targetWidth = c.boxWidth;
            o.targetHeight = c.boxHeight;
            o.keepReaderReduction = 1;
            Load load;
            LoadFixture(&load, std::string(name) + ".jpg", o);
            ASSERT_EQ(load.result, kLoadOk);
            EXPECT_TRUE(SamePixels(load.bitmap, FixturePnm(std::string(name) + ".fast" + std::to_string(c.scale) + ".pnm")));
            EXPECT_EQ(load.info.width, 333);  // the stored picture
        }
    }
}

TEST(JpegReader, ACameraPictureInA320By240BoxDecodesAtAQuarter) {
    // min(3264 / 240, 2448 / 320) = 7.65: denominator 7, which libjpeg
    // meets with its 1/4 scale.
    LoadOptions o = Options(kLoadReduced);
    o.targetWidth = 320;
    o.targetHeight = 240;
    o.keepReaderReduction = 1;
    Load load;
    LoadFixture(&load, "camera.jpg", o);
    ASSERT_EQ(load.result, kLoadOk);
    EXPECT_EQ(load.bitmap.width, 816);
    EXPECT_EQ(load.bitmap.height, 612);
    EXPECT_TRUE(SamePixels(load.bitmap, FixturePnm("camera.fast4.pnm")));
}

TEST(JpegReader, ReducedLoadsFitTheBox) {
    LoadOptions o = Options(kLoadReduced);
    o.targetWidth = 40;
    o.targetHeight = 40;
    Load load;
    LoadFixture(&load, "baseline.jpg", o);
    ASSERT_EQ(load.result, kLoadOk);
    EXPECT_EQ(load.bitmap.width, 40);
    EXPECT_EQ(load.bitmap.height, 30);

    // A box of 0 or -1 asks for no reduction.
    for (int side : {0, -1}) {
        LoadOptions n = Options(kLoadReduced);
        n.targetWidth = side;
        n.targetHeight = 40;
        Load full;
        LoadFixture(&full, "baseline.jpg", n);
        ASSERT_EQ(full.result, kLoadOk);
        EXPECT_TRUE(SamePixels(full.bitmap, FixturePnm("baseline.fast1.pnm"))) << side;
    }
}

int CancelAfterFiveRows(int32_t row, int32_t /*total*/, uintptr_t user) {
    ++*reinterpret_cast<int*>(user);
    return row >= 5 ? 1 : 0;
}

TEST(JpegReader, ACancelEndsTheLoadWith15) {
    for (const char* name : {"baseline", "progressive"}) {
        int rows = 0;
        LoadOptions o = Options();
        o.rowCallback = CancelAfterFiveRows;
        o.rowCallbackUser = reinterpret_cast<uintptr_t>(&rows);
        Load load;
        LoadFixture(&load, std::string(name) + ".jpg", o);
        EXPECT_EQ(load.result, kLoadCancelled) << name;
        EXPECT_EQ(load.bitmap.pixels, nullptr);
        EXPECT_EQ(rows, 6) << name;
    }
}

// The EXIF thumbnail replaces the picture in reduced loads that allow it.
TEST(JpegReader, ExifThumbnailLoads) {
    struct Case {
        const char* file;
        uint32_t flags;
        int boxWidth;
        int boxHeight;
        uint8_t mode;
        const char* oracle;     // pixels expected, or null
        int width;
        int height;
        uint32_t readerFlags;
    } cases[] = {
        {"exif-thumb.jpg", kLoadReduced, 200, 200, 1, "exif-thumb.thumb.pnm", 160, 120, 1},
        // The box's size is adopted: the thumbnail is not scaled down.
        {"exif-thumb.jpg", kLoadReduced, 80, 60, 2, "exif-thumb.thumb.pnm", 160, 120, 1},
        {"exif-thumb.jpg", kLoadReduced, 80, 60, 1, nullptr, 80, 60, 1},
        // Refused as smaller than the box in both directions: the picture
        // is decoded and fitted.
        {"exif-thumb.jpg", kLoadReduced | kLoadRefuseSmallThumbnail, 200, 200, 1, nullptr, 200, 151, 0},
        {"exif-thumb.jpg", kLoadReduced | kLoadRefuseSmallThumbnail, 160, 100, 1, nullptr, 133, 100, 1},
        // No thumbnail without the mode or without a reduced load.
        {"exif-thumb.jpg", kLoadReduced, 200, 200, 0, nullptr, 200, 151, 0},
        {"exif-thumb.jpg", 0, -1, -1, 1, "baseline.full.pnm", 333, 251, 0},
        // A grey thumbnail of a colour picture; a progressive picture.
        {"exif-tiny.jpg", kLoadReduced, 200, 200, 1, "exif-tiny.thumb.pnm", 64, 48, 1},
        {"exif-thumb-progressive.jpg", kLoadReduced, 200, 200, 1, "exif-thumb.thumb.pnm", 160, 120, 1},
        // A picture without EXIF decodes at its DCT scale.
        {"baseline.jpg", kLoadReduced, 200, 200, 1, nullptr, 200, 151, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " flags " + std::to_string(c.flags) + " box " + std::to_string(c.boxWidth) +
                     " mode " + std::to_string(c.mode));
        LoadOptions o = Options(c.flags);
        o.targetWidth = c.boxWidth;
        o.targetHeight = c.boxHeight;
        o.embeddedThumbnailMode = c.mode;
        Load load;
        LoadFixture(&load, c.file, o);
        ASSERT_EQ(load.result, kLoadOk);
        EXPECT_EQ(load.bitmap.width, c.width);
        EXPECT_EQ(load.bitmap.height, c.height);
        EXPECT_EQ(load.info.readerFlags, c.readerFlags);
        EXPECT_EQ(load.info.width, 333);  // the picture the thumbnail stands for
        EXPECT_EQ(load.info.height, 251);
        EXPECT_EQ(load.info.components, 3);
        EXPECT_STREQ(load.info.description, "JPEG TrueColor (v1.1)");
        if (c.oracle) {
            EXPECT_TRUE(SamePixels(load.bitmap, FixturePnm(c.oracle)));
        }
    }
}

TEST(JpegReader, ACancelDuringTheThumbnailEndsTheLoad) {
    LoadOptions o = Options(kLoadReduced);
    o.targetWidth = 200;
    o.targetHeight = 200;
    o.embeddedThumbnailMode = 1;
    int rows = 0;
    o.rowCallback = CancelAfterFiveRows;
    o.rowCallbackUser = reinterpret_cast<uintptr_t>(&rows);
    ReaderContext rc(o);
    FileSource source;
    const std::wstring path = FixturePath("exif-thumb.jpg");
    InitFileSource(&source, path.c_str());
    EXPECT_EQ(ReadJpeg(&source, rc.ctx), kLoadCancelled);
    EXPECT_EQ(g_beginCalls, 1);  // the full picture was not begun after it
    EXPECT_EQ(rows, 6);

    Load load;
    LoadFixture(&load, "exif-thumb.jpg", o);
    EXPECT_EQ(load.result, kLoadCancelled);
}

TEST(JpegReader, DecodeJpegFromMemoryRefusesSmallThumbnails) {
    const std::vector<uint8_t> thumb = Fixture("exif-thumb.extracted.jpg");
    struct Case {
        uint32_t flags;
        int boxWidth;
        int boxHeight;
        int result;
    } cases[] = {
        {kLoadReduced | kLoadRefuseSmallThumbnail, 200, 200, kLoadNoMemory},
        {kLoadReduced | kLoadRefuseSmallThumbnail, 160, 100, kLoadOk},
        {kLoadReduced | kLoadRefuseSmallThumbnail, 100, 200, kLoadOk},
        {kLoadReduced | kLoadRefuseSmallThumbnail, -1, -1, kLoadOk},
        {kLoadReduced, 200, 200, kLoadOk},
    };
    for (const Case& c : cases) {
        LoadOptions o = Options(c.flags);
        o.targetWidth = c.boxWidth;
        o.targetHeight = c.boxHeight;
        ReaderContext rc(o);
        EXPECT_EQ(DecodeJpegFromMemory(thumb.data(), thumb.size(), 333, 251, JCS_RGB, rc.ctx), c.result)
            << c.boxWidth << "x" << c.boxHeight;
        EXPECT_EQ(g_beginCalls, c.result == kLoadOk ? 1 : 0);
    }
    // Larger than the picture it stands for, or not a JPEG: not used.
    ReaderContext rc(Options(kLoadReduced));
    EXPECT_EQ(DecodeJpegFromMemory(thumb.data(), thumb.size(), 100, 100, JCS_RGB, rc.ctx), kLoadNotRecognised);
    const uint8_t junk[] = {1, 2, 3, 4};
    EXPECT_EQ(DecodeJpegFromMemory(junk, sizeof junk, 333, 251, JCS_RGB, rc.ctx), kLoadNotRecognised);
    EXPECT_EQ(g_beginCalls, 0);
}

TEST(JpegReader, QualityEstimateMatchesIdentify) {
    std::istringstream lines(FixtureText("quality.txt"));
    std::string name;
    int expected = 0;
    int count = 0;
    while (lines >> name >> expected) {
        Load load;
        LoadFixture(&load, name, Options(kLoadEstimateQuality));
        ASSERT_EQ(load.result, kLoadOk) << name;
        EXPECT_EQ(int32_t(load.info.readerValues[kJpegQualityValue]), expected) << name;
        ++count;
    }
    EXPECT_GT(count, 10);

    Load none;
    LoadFixture(&none, "q75-colour.jpg", Options());
    EXPECT_EQ(none.info.readerValues[kJpegQualityValue], 0u);  // not asked for
}

TEST(JpegReader, QualityEstimateOfExtremeTables) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    EXPECT_EQ(EstimateJpegQuality(&cinfo), -1);  // no table yet

    auto table = [&](int slot, UINT16 value) {
        JQUANT_TBL* t = jpeg_alloc_quant_table(reinterpret_cast<j_common_ptr>(&cinfo));
        for (UINT16& q : t->quantval) q = value;
        cinfo.quant_tbl_ptrs[slot] = t;
    };
    table(0, 255);
    EXPECT_EQ(EstimateJpegQuality(&cinfo), 1);
    table(0, 1);
    EXPECT_EQ(EstimateJpegQuality(&cinfo), 100);
    table(1, 1);
    EXPECT_EQ(EstimateJpegQuality(&cinfo), 100);
    table(1, 255);
    table(0, 255);
    EXPECT_EQ(EstimateJpegQuality(&cinfo), 1);
    jpeg_destroy_decompress(&cinfo);
}

TEST(JpegReader, KeepsMetadataBlocksAsExiftoolReadsThem) {
    Load load;
    LoadFixture(&load, "meta.jpg", Options(kLoadKeepMetadata | kLoadKeepComment));
    ASSERT_EQ(load.result, kLoadOk);
    const MetadataBlock* list = load.bitmap.metadata;

    std::vector<uint8_t> exif = {'E', 'x', 'i', 'f', 0, 0};
    const std::vector<uint8_t> tiff = Fixture("meta.exif");
    ASSERT_FALSE(tiff.empty());
    exif.insert(exif.end(), tiff.begin(), tiff.end());
    EXPECT_EQ(BlockBytes(FindMetadataBlock(list, kMetadataExif)), exif);
    EXPECT_EQ(BlockBytes(FindMetadataBlock(list, kMetadataXmp)), Fixture("meta.xmp"));
    EXPECT_EQ(BlockBytes(FindMetadataBlock(list, kMetadataIcc)), Fixture("meta.icc"));

    // IPTC arrives as the whole APP13 block, whose resource holds the records.
    const std::vector<uint8_t> app13 = BlockBytes(FindMetadataBlock(list, kMetadataIptc));
    const std::vector<uint8_t> records = Fixture("meta.iptc");
    ASSERT_GT(app13.size(), 14u);
    EXPECT_EQ(std::memcmp(app13.data(), "Photoshop 3.0", 14), 0);
    EXPECT_NE(std::search(app13.begin(), app13.end(), records.begin(), records.end()), app13.end());

    // Two comments: the last one stays.
    std::string comments = FixtureText("meta.comments");
    while (!comments.empty() && comments.back() == '\n') comments.pop_back();
    ASSERT_NE(load.bitmap.comment, nullptr);
    EXPECT_EQ(std::string(load.bitmap.comment), comments.substr(comments.rfind('\n') + 1));

    Load plain;
    LoadFixture(&plain, "meta.jpg", Options());
    EXPECT_EQ(plain.bitmap.metadata, nullptr);
    EXPECT_EQ(plain.bitmap.comment, nullptr);
}

TEST(JpegReader, JoinsAProfileSplitOverSeveralMarkers) {
    Load load;
    LoadFixture(&load, "icc-chunks.jpg", Options(kLoadKeepMetadata));
    ASSERT_EQ(load.result, kLoadOk);
    const std::vector<uint8_t> profile = Fixture("icc-chunks.icc");
    ASSERT_EQ(profile.size(), 150000u);
    EXPECT_EQ(BlockBytes(FindMetadataBlock(load.bitmap.metadata, kMetadataIcc)), profile);
}

// The file's markers with `segment` (marker, then payload) inserted after SOI.
std::vector<uint8_t> WithSegment(const std::vector<uint8_t>& jpeg, uint8_t marker, const std::string& payload) {
    std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
    const size_t length = payload.size() + 2;
    out.insert(out.end(), {0xFF, marker, uint8_t(length >> 8), uint8_t(length)});
    out.insert(out.end(), payload.begin(), payload.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

TEST(JpegReader, ShortMarkersAreIgnoredSafely) {
    const std::vector<uint8_t> jpeg = Fixture("baseline.jpg");
    using namespace std::string_literals;
    struct Case {
        uint8_t marker;
        std::string payload;
        uint32_t kind;      // block expected, 0 none
        uint32_t length;
    } cases[] = {
        {0xE2, "ICC_PROFILE\0"s, 0, 0},               // shorter than its chunk header
        {0xE2, "ICC_PROFILE\0\1\1"s, 0, 0},           // a header and nothing more
        {0xE2, "ICC_PROFILE\0\1\1abc"s, kMetadataIcc, 3},
        {0xE2, "ICC_PROFILE\1\1\1abc"s, 0, 0},        // the name without its zero
        {0xE1, "Exif\0"s, 0, 0},
        {0xE1, "Exif\0\0"s, kMetadataExif, 6},
        {0xE1, "Exif\0\0II"s, kMetadataExif, 8},
        {0xE1, "Exif\0\0II*\0\x08\0\0"s, kMetadataExif, 13},
        {0xE1, "http:/"s, 0, 0},
        {0xE1, "http:/x"s, kMetadataXmp, 7},
        {0xED, ""s, 0, 0},
        {0xFE, ""s, 0, 0},                            // an empty comment
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.marker) + " of " + std::to_string(c.payload.size()) + " bytes");
        LoadOptions o = Options(kLoadKeepMetadata | kLoadKeepComment | kLoadReduced);
        o.targetWidth = 31;
        o.targetHeight = 31;
        o.keepReaderReduction = 1;
        o.embeddedThumbnailMode = 1;
        Load load;
        LoadBytes(&load, WithSegment(jpeg, c.marker, c.payload), o);
        ASSERT_EQ(load.result, kLoadOk);
        EXPECT_TRUE(SamePixels(load.bitmap, FixturePnm("baseline.fast8.pnm")));
        const MetadataBlock* list = load.bitmap.metadata;
        if (c.kind == 0) {
            EXPECT_EQ(list, nullptr);
        } else {
            ASSERT_NE(list, nullptr);
            EXPECT_EQ(list->kind, c.kind);
            EXPECT_EQ(list->length, c.length);
            EXPECT_EQ(list->next, nullptr);
        }
        EXPECT_EQ(load.bitmap.comment, nullptr);
    }
}

TEST(JpegReader, CmykIsAdobeInverted) {
    const std::vector<uint8_t> cmyk = Fixture("cmyk.samples");  // true CMYK, as Pillow reads it
    ASSERT_EQ(cmyk.size(), 333u * 251u * 4u);

    Load rgb;
    LoadFixture(&rgb, "cmyk.jpg", Options());
    ASSERT_EQ(rgb.result, kLoadOk);
    EXPECT_STREQ(rgb.info.description, "JPEG CMYK (v1.1)");
    EXPECT_EQ(rgb.info.colourSpace, 3);
    EXPECT_EQ(rgb.info.components, 4);
    ASSERT_EQ(rgb.bitmap.pixelType, kPixelRGB);
    int wrong = 0;
    for (int y = 0; y < 251; ++y) {
        for (int x = 0; x < 333; ++x) {
            const uint8_t* s = &cmyk[(size_t(y) * 333 + x) * 4];
            const uint8_t* p = rgb.bitmap.pixels + size_t(y) * rgb.bitmap.bytesPerRow + size_t(x) * 3;
            for (int c = 0; c < 3; ++c)
                if (p[c] != (255 - s[c]) * (255 - s[3]) / 255) ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);

    Load kept;
    LoadFixture(&kept, "cmyk.jpg", Options(kLoadKeepCmyk));
    ASSERT_EQ(kept.result, kLoadOk);
    ASSERT_EQ(kept.bitmap.pixelType, kPixelCMYK);
    for (int y = 0; y < 251; ++y)
        ASSERT_EQ(std::memcmp(kept.bitmap.pixels + size_t(y) * kept.bitmap.bytesPerRow, &cmyk[size_t(y) * 333 * 4],
                              333 * 4), 0) << y;
}

TEST(JpegReader, ResolutionFromJfifDensity) {
    struct Case {
        const char* file;
        int x;
        int y;
    } cases[] = {
        {"density-cm.jpg", 300, 119},  // 118 and 47 dots per cm
        {"density-in.jpg", 200, 200},  // a vertical density of 1 takes the horizontal one
    };
    for (const Case& c : cases) {
        Load load;
        LoadFixture(&load, c.file, Options());
        ASSERT_EQ(load.result, kLoadOk);
        EXPECT_EQ(load.info.xResolution, c.x) << c.file;
        EXPECT_EQ(load.info.yResolution, c.y) << c.file;
        EXPECT_EQ(load.bitmap.xResolution, c.x) << c.file;
        EXPECT_EQ(load.bitmap.yResolution, c.y) << c.file;
    }
}

// Offset of the first SOS marker, walking the marker segments.
size_t FirstScan(const std::vector<uint8_t>& jpeg) {
    size_t i = 2;
    while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF) {
        if (jpeg[i + 1] == 0xDA) return i;
        i += 2 + size_t(jpeg[i + 2] << 8 | jpeg[i + 3]);
    }
    return jpeg.size();
}

TEST(JpegReader, CutFilesEndWith4OrKeepTheirRows) {
    const char* const files[] = {"baseline.jpg", "progressive.jpg", "grey.jpg", "restart.jpg", "optimised.jpg",
                                 "h1v1.jpg",     "cmyk.jpg",        "exif-thumb.jpg", "meta.jpg", "grey-progressive.jpg"};
    for (const char* file : files) {
        const std::vector<uint8_t> whole = Fixture(file);
        ASSERT_GT(whole.size(), 1000u) << file;
        const size_t scan = FirstScan(whole);
        ASSERT_LT(scan, whole.size()) << file;
        const size_t cuts[] = {1, 2, 20, scan / 2, scan, scan + 200, whole.size() / 2, whole.size() * 3 / 4,
                               whole.size() - 2};
        for (size_t cut : cuts) {
            SCOPED_TRACE(std::string(file) + " cut at " + std::to_string(cut));
            const std::vector<uint8_t> part(whole.begin(), whole.begin() + long(cut));
            Load strict;
            LoadBytes(&strict, part, Options(kLoadKeepMetadata));
            Load lenient;
            LoadBytes(&lenient, part, Options(kLoadAcceptDamaged | kLoadKeepMetadata));
            if (cut == whole.size() - 2) {
                // Only the EOI marker is missing: every row is there.
                EXPECT_EQ(strict.result, kLoadOk);
            } else if (cut > scan) {
                EXPECT_EQ(strict.result, kLoadIncomplete);
                EXPECT_EQ(strict.bitmap.pixels, nullptr);
                // Accepted once rows arrived; half the file holds some.
                if (cut >= whole.size() / 2) EXPECT_EQ(lenient.result, kLoadOk);
                else EXPECT_TRUE(lenient.result == kLoadOk || lenient.result == kLoadIncomplete) << lenient.result;
                EXPECT_EQ(lenient.result == kLoadOk, lenient.bitmap.pixels != nullptr);
            } else {
                // Cut before the scan: nothing to show.
                EXPECT_EQ(strict.result, kLoadNotRecognised);
                EXPECT_EQ(lenient.result, kLoadNotRecognised);
                EXPECT_EQ(lenient.bitmap.pixels, nullptr);
            }
        }
    }
}

TEST(JpegReader, ACutBaselineFileKeepsItsFirstRows) {
    const std::vector<uint8_t> whole = Fixture("baseline.jpg");
    const std::vector<uint8_t> half(whole.begin(), whole.begin() + long(whole.size() / 2));
    Load load;
    LoadBytes(&load, half, Options(kLoadAcceptDamaged));
    ASSERT_EQ(load.result, kLoadOk);
    const Pnm full = FixturePnm("baseline.full.pnm");
    ASSERT_EQ(full.width, 333);
    const size_t rowBytes = 333 * 3;
    for (int y = 0; y < 32; ++y)
        EXPECT_EQ(std::memcmp(load.bitmap.pixels + size_t(y) * load.bitmap.bytesPerRow, &full.pixels[y * rowBytes],
                              rowBytes), 0) << y;
    // The rows after the cut were never delivered.
    const uint8_t* last = load.bitmap.pixels + size_t(250) * load.bitmap.bytesPerRow;
    EXPECT_EQ(std::count(last, last + rowBytes, 0), long(rowBytes));
}

// A progressive file's scans are all read before the first row: a cut file
// still delivers the whole picture as libjpeg recovers it, and says 4.
TEST(JpegReader, ACutProgressiveFileDeliversWhatWasRead) {
    for (const char* name : {"progressive", "grey-progressive"}) {
        const std::vector<uint8_t> cut = Fixture(std::string(name) + ".cut.jpg");
        Load strict;
        LoadBytes(&strict, cut, Options());
        EXPECT_EQ(strict.result, kLoadIncomplete) << name;
        Load lenient;
        LoadBytes(&lenient, cut, Options(kLoadAcceptDamaged));
        ASSERT_EQ(lenient.result, kLoadOk) << name;
        EXPECT_TRUE(SamePixels(lenient.bitmap, FixturePnm(std::string(name) + ".cut.pnm"))) << name;
    }
}

TEST(JpegReader, RefusesWhatIsNotAJpegPicture) {
    const std::vector<uint8_t> jpeg = Fixture("baseline.jpg");
    // A lossless (SOF3) frame: an unsupported process.
    std::vector<uint8_t> lossless = jpeg;
    const uint8_t sof0[] = {0xFF, 0xC0};
    auto at = std::search(lossless.begin(), lossless.end(), std::begin(sof0), std::end(sof0));
    ASSERT_NE(at, lossless.end());
    at[1] = 0xC3;
    LoadOptions o = Options();
    o.formatIndex = kFormatJpeg;
    Load unsupported;
    LoadBytes(&unsupported, lossless, o);
    EXPECT_EQ(unsupported.result, kLoadCorrupt);

    // 12-bit samples (an extended frame of precision 12), which the 8-bit
    // decoder does not read: refused by name, by extension or by probing.
    std::vector<uint8_t> twelveBits = jpeg;
    at = std::search(twelveBits.begin(), twelveBits.end(), std::begin(sof0), std::end(sof0));
    at[1] = 0xC1;
    at[4] = 12;
    for (const int format : {int(kFormatJpeg), -1}) {
        SCOPED_TRACE(format);
        LoadOptions twelve = Options();
        twelve.formatIndex = format;
        Load refused;
        LoadBytes(&refused, twelveBits, twelve);
        EXPECT_EQ(refused.result, kLoadRefused);
        EXPECT_STREQ(refused.info.subFormat, "JPEG : Bad sample precision !");
    }

    Load text;
    LoadBytes(&text, std::vector<uint8_t>{'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'}, o);
    EXPECT_EQ(text.result, kLoadNotRecognised);

    // The reader itself calls an empty file corrupt (the load never runs a
    // reader on one).
    std::FILE* empty = std::tmpfile();
    ASSERT_NE(empty, nullptr);
    FileSource source{};
    source.stream = empty;
    ReaderContext rc(Options());
    EXPECT_EQ(ReadJpeg(&source, rc.ctx), kLoadCorrupt);
    std::fclose(empty);
}

TEST(JpegReader, LoadsFromMemoryAsFromAFile) {
    LoadOptions o = Options(kLoadKeepMetadata | kLoadKeepComment | kLoadEstimateQuality);
    Load file;
    LoadFixture(&file, "meta.jpg", o);
    Load memory;
    LoadBytes(&memory, Fixture("meta.jpg"), o);
    ASSERT_EQ(file.result, kLoadOk);
    ASSERT_EQ(memory.result, kLoadOk);
    ASSERT_EQ(memory.bitmap.height, file.bitmap.height);
    EXPECT_EQ(std::memcmp(memory.bitmap.pixels, file.bitmap.pixels, size_t(file.bitmap.bytesPerRow) * file.bitmap.height),
              0);
    EXPECT_EQ(BlockBytes(FindMetadataBlock(memory.bitmap.metadata, kMetadataExif)),
              BlockBytes(FindMetadataBlock(file.bitmap.metadata, kMetadataExif)));
    EXPECT_EQ(memory.info.readerValues[kJpegQualityValue], file.info.readerValues[kJpegQualityValue]);
}

TEST(JpegReader, InformationOnlyLoads) {
    EnsureFormatRegistry();
    for (const char* name : {"progressive.jpg", "exif-thumb.jpg", "cmyk.jpg"}) {
        ImageInfo info{};
        EXPECT_EQ(QueryPictureInfo(FixturePath(name).c_str(), -1, 0, &info), kLoadOk) << name;
        EXPECT_EQ(info.formatIndex, kFormatJpeg);
        EXPECT_EQ(info.width, 333);
        EXPECT_EQ(info.height, 251);
        FreePictureInfo(&info);
    }
}

TEST(JpegReader, InformationOnlyLoadsKeepTheMetadataTheFlagsAskFor) {
    EnsureFormatRegistry();
    Load load;
    LoadFixture(&load, "meta.jpg", Options(kLoadKeepMetadata | kLoadKeepComment));
    ASSERT_EQ(load.result, kLoadOk);
    ImageInfo info{};
    ASSERT_EQ(QueryPictureInfo(FixturePath("meta.jpg").c_str(), -1, kLoadKeepMetadata | kLoadKeepComment, &info),
              kLoadOk);
    // The same blocks and comment as the full load, without its pixels.
    for (uint32_t kind : {kMetadataExif, kMetadataXmp, kMetadataIcc, kMetadataIptc}) {
        const MetadataBlock* block = FindMetadataBlock(info.metadata, kind);
        ASSERT_NE(block, nullptr) << kind;
        EXPECT_EQ(BlockBytes(block), BlockBytes(FindMetadataBlock(load.bitmap.metadata, kind))) << kind;
    }
    ASSERT_NE(info.comment, nullptr);
    EXPECT_STREQ(info.comment, load.bitmap.comment);
    FreePictureInfo(&info);

    ImageInfo plain{};
    ASSERT_EQ(QueryPictureInfo(FixturePath("meta.jpg").c_str(), -1, 0, &plain), kLoadOk);
    EXPECT_EQ(plain.metadata, nullptr);
    EXPECT_EQ(plain.comment, nullptr);
    FreePictureInfo(&plain);
}

// A stream inside another file, as camera RAW previews and TIFF pictures hold them.
std::vector<uint8_t> Embedded(const std::string& fixture) {
    std::vector<uint8_t> bytes(100, 0x55);
    const std::vector<uint8_t> jpeg = Fixture(fixture);
    bytes.insert(bytes.end(), jpeg.begin(), jpeg.end());
    bytes.insert(bytes.end(), 50, 0xAA);
    return bytes;
}

TEST(JpegStream, DecodesAtTheFilePosition) {
    const std::vector<uint8_t> bytes = Embedded("baseline.jpg");
    MemoryFile mf(bytes);
    ASSERT_EQ(SeekPictureFile(mf.file, 100, SEEK_SET), 0);
    ReaderContext rc(Options(kLoadKeepComment));
    ImageInfo info{};
    rc.ctx->info = &info;
    EXPECT_EQ(DecodeJpegAt(mf.file, rc.ctx, "TIFF (jpeg)", 0, 1000, 800, 16, 1), kLoadOk);
    EXPECT_TRUE(SamePixels(rc.bitmap, FixturePnm("baseline.full.pnm")));
    EXPECT_STREQ(info.description, "TIFF (jpeg)");
    EXPECT_EQ(info.width, 1000);
    EXPECT_EQ(info.height, 800);
    EXPECT_EQ(info.bitsPerSample, 16);
    EXPECT_EQ(rc.ctx->readerFlags, 1u);

    // The short form: the stream's own size.
    ASSERT_EQ(SeekPictureFile(mf.file, 100, SEEK_SET), 0);
    ReaderContext plain(Options());
    ImageInfo plainInfo{};
    plain.ctx->info = &plainInfo;
    plain.ctx->readerFlags = 8;
    EXPECT_EQ(DecodeJpegAtDefault(mf.file, plain.ctx, "TIFF (jpeg)", 0), kLoadOk);
    EXPECT_EQ(plainInfo.width, 333);
    EXPECT_EQ(plainInfo.bitsPerSample, 8);
    EXPECT_EQ(plain.ctx->readerFlags, 0u);
}

TEST(JpegStream, FailuresBeforeThePictureAre2AndACancelIs15) {
    const std::vector<uint8_t> bytes = Embedded("progressive.jpg");
    MemoryFile mf(bytes);
    // Not at a stream, and at the end of the file.
    for (int64_t at : {int64_t(10), int64_t(bytes.size())}) {
        ASSERT_EQ(SeekPictureFile(mf.file, at, SEEK_SET), 0);
        ReaderContext rc(Options());
        EXPECT_EQ(DecodeJpegAtDefault(mf.file, rc.ctx, "x", 0), kLoadNotRecognised) << at;
        EXPECT_EQ(g_beginCalls, 0);
    }
    int rows = 0;
    LoadOptions o = Options();
    o.rowCallback = CancelAfterFiveRows;
    o.rowCallbackUser = reinterpret_cast<uintptr_t>(&rows);
    ReaderContext rc(o);
    ASSERT_EQ(SeekPictureFile(mf.file, 100, SEEK_SET), 0);
    EXPECT_EQ(DecodeJpegAt(mf.file, rc.ctx, "x", 0, -1, -1, 8, 1), kLoadCancelled);

    // A stream cut in its rows keeps them and says 4.
    const std::vector<uint8_t> baseline = Embedded("baseline.jpg");
    const std::vector<uint8_t> cut(baseline.begin(), baseline.begin() + 100 + 15000);
    MemoryFile cf(cut);
    ASSERT_EQ(SeekPictureFile(cf.file, 100, SEEK_SET), 0);
    ReaderContext crc(Options());
    EXPECT_EQ(DecodeJpegAtDefault(cf.file, crc.ctx, "x", 0), kLoadIncomplete);
    EXPECT_NE(crc.bitmap.pixels, nullptr);
}

TEST(JpegStream, ReadsTheSizeFromTheHeader) {
    struct Case {
        const char* fixture;
        int64_t at;
        int result;
        int32_t width;
        int32_t height;
    } cases[] = {
        {"baseline.jpg", 100, 1, 333, 251},
        {"grey.jpg", 100, 0, 333, 251},
        {"cmyk.jpg", 100, 0, 333, 251},
        {"baseline.jpg", 0, 0, 0, 0},  // not at a stream
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> bytes = Embedded(c.fixture);
        MemoryFile mf(bytes);
        ASSERT_EQ(SeekPictureFile(mf.file, c.at, SEEK_SET), 0);
        int32_t width = -1;
        int32_t height = -1;
        EXPECT_EQ(ReadJpegStreamSize(mf.file, &width, &height), c.result) << c.fixture;
        EXPECT_EQ(width, c.width) << c.fixture;
        EXPECT_EQ(height, c.height) << c.fixture;
    }
}

}  // namespace
