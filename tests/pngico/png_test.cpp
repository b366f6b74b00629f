// The PNG reader beyond pixels: texts, profiles, transparency, the picture's
// description and frame count, information-only loads, cancels, and the IPTC
// raw-profile decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <zlib.h>

#include "imagelib/readers/pngreader.h"
#include "pngico_support.h"
#include "tests/support/missingoracle.h"
#include "tests/support/peakrss.h"
#include "tests/support/testfiles.h"

namespace {

using namespace pngico;

constexpr uint32_t kKeepAll = kLoadKeepComment | kLoadKeepTexts | kLoadKeepMetadata;

#define NEED_FIXTURES()                                               \
    do {                                                              \
        std::string skip_;                                            \
        if (FixtureChecks(&skip_).empty()) PV_ORACLE_MISSING(skip_);  \
    } while (0)

bool Has(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

bool HasKey(const std::vector<std::string>& texts, const std::string& key) {
    for (const auto& t : texts)
        if (t.compare(0, key.size() + 2, key + ": ") == 0) return true;
    return false;
}

Bytes IptcBlockWanted() {
    Bytes want(std::begin("Photoshop 3.0"), std::end("Photoshop 3.0"));  // with its zero
    const Bytes iim = ReadFixture("iptc.iim");
    want.insert(want.end(), iim.begin(), iim.end());
    return want;
}

Bytes BlockBytes(const Bitmap& b, uint32_t kind) {
    const MetadataBlock* m = FindMetadataBlock(b.metadata, kind);
    return m ? Bytes(m->data, m->data + m->length) : Bytes();
}

TEST(PngTexts, BeforeAndAfterTheImage) {
    NEED_FIXTURES();
    LoadOptions o = RgbaOptions();
    o.flags |= kKeepAll;
    Load load;
    ASSERT_EQ(LoadBytes(ReadFixture("texts.png"), L"t.png", o, &load), 0);
    ASSERT_NE(load.bitmap.comment, nullptr);
    EXPECT_STREQ(load.bitmap.comment, "A comment before the image");
    const auto texts = load.Texts();
    // Before the image: tEXt, zTXt and iTXt; a value beginning "nCC" is dropped.
    EXPECT_TRUE(Has(texts, "Title: A zipped title"));
    EXPECT_TRUE(Has(texts, "Author: An international author"));
    EXPECT_FALSE(HasKey(texts, "Note"));
    // After the image: only the listed keys, case-sensitive.
    EXPECT_TRUE(Has(texts, "Copyright: After the image"));
    EXPECT_TRUE(Has(texts, "Software: A zipped tool"));
    EXPECT_FALSE(HasKey(texts, "comment"));
    EXPECT_FALSE(HasKey(texts, "Unlisted"));
    EXPECT_FALSE(HasKey(texts, "Raw profile type iptc"));
    EXPECT_EQ(BlockBytes(load.bitmap, kMetadataIptc), IptcBlockWanted());
    EXPECT_EQ(load.bitmap.xResolution, 96);
    EXPECT_EQ(load.bitmap.yResolution, 96);
}

TEST(PngTexts, NothingKeptUnlessAsked) {
    NEED_FIXTURES();
    Load load;
    ASSERT_EQ(LoadBytes(ReadFixture("texts.png"), L"t.png", RgbaOptions(), &load), 0);
    EXPECT_EQ(load.bitmap.comment, nullptr);
    EXPECT_EQ(load.info.textCount, 0);
    EXPECT_EQ(load.bitmap.metadata, nullptr);
}

TEST(PngProfiles, IptcWhereverItStandsAndIccUpTo8Bits) {
    NEED_FIXTURES();
    LoadOptions o = RgbaOptions();
    o.flags |= kKeepAll;
    struct Case {
        const char* file;
        bool iptc;
        bool icc;
    } cases[] = {
        {"iptc_before.png", true, false},  // ImageMagick writes it before IDAT
        {"iptc_upper.png", false, false},  // upper-case digits do not count: too few
        {"icc.png", false, true},
        {"icc16.png", false, false},       // 16-bit pictures lose their profile
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        Load load;
        ASSERT_EQ(LoadBytes(ReadFixture(c.file), L"p.png", o, &load), 0);
        EXPECT_EQ(BlockBytes(load.bitmap, kMetadataIptc), c.iptc ? IptcBlockWanted() : Bytes());
        EXPECT_EQ(BlockBytes(load.bitmap, kMetadataIcc), c.icc ? ReadFixture("srgb.icc") : Bytes());
        EXPECT_FALSE(HasKey(load.Texts(), "Raw profile type iptc"));
    }
}

TEST(PngTransparency, IndexOfPaletteAndGreyNoneForRgb) {
    NEED_FIXTURES();
    struct Case {
        const char* file;
        int transparentIndex;
    } cases[] = {
        {"pal_trns.png", 3},    // the first entry whose alpha is 0
        {"grey_trns.png", -2},  // the grey value of the tRNS chunk
        {"rgb_trns.png", -1},   // a colour, no index
        {"rgb8.png", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        Load load;
        LoadOptions o;
        InitLoadOptions(&o);
        ASSERT_EQ(LoadBytes(ReadFixture(c.file), L"p.png", o, &load), 0);
        int want = c.transparentIndex;
        if (want == -2) {
            // The pixel the fixture script made transparent.
            want = load.bitmap.pixels[size_t(3) * size_t(load.bitmap.bytesPerRow) + 2];
        }
        EXPECT_EQ(load.bitmap.transparentIndex, want);
    }
}

TEST(PngInfo, DescriptionFrameCountAndInformationOnly) {
    NEED_FIXTURES();
    struct Case {
        const char* file;
        const char* description;
        uint32_t imageCount;
        int width, height;
    } cases[] = {
        {"rgb8.png", "Portable Network Graphics", 1, 13, 7},
        {"rgb8_i.png", "Portable Network Graphics (Interlaced)", 1, 13, 7},
        {"apng_ops.png", "Portable Network Graphics", 5, 24, 16},
        {"apng_hidden.png", "Portable Network Graphics", 3, 24, 16},
        {"rgba16.png", "Portable Network Graphics", 1, 11, 5},
    };
    EnsureFormatRegistry();
    testing_support::ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes data = ReadFixture(c.file);
        Load load;
        ASSERT_EQ(LoadBytes(data, L"p.png", RgbaOptions(), &load), 0);
        EXPECT_STREQ(load.info.description, c.description);
        EXPECT_EQ(load.info.imageCount, c.imageCount);
        EXPECT_EQ(load.info.formatIndex, kFormatPng);

        // The same through a file, information only: no pixels.
        const std::wstring path = dir.File("p.png");
        testing_support::WriteBytes(path, data);
        ImageInfo info{};
        ASSERT_EQ(QueryPictureInfo(path.c_str(), -1, 0, &info), 0);
        EXPECT_EQ(info.width, c.width);
        EXPECT_EQ(info.height, c.height);
        EXPECT_EQ(info.imageCount, c.imageCount);
        EXPECT_STREQ(info.description, c.description);
        FreePictureInfo(&info);
    }
}

TEST(PngInfo, SixteenBitPicturesDeclareTheirFullDepth) {
    NEED_FIXTURES();
    Load load;
    ASSERT_EQ(LoadBytes(ReadFixture("rgb16.png"), L"p.png", RgbaOptions(), &load), 0);
    EXPECT_EQ(load.info.bitsPerSample, 16);
    EXPECT_EQ(load.info.components, 3);
    EXPECT_EQ(load.info.bytesPerPlane, 2u * 3u * 11u);
    EXPECT_EQ(load.bitmap.bitsPerSample, 8);
}

TEST(PngApng, FittedLoadsAndIndexesPastTheEndReadTheStillPicture) {
    NEED_FIXTURES();
    const Bytes data = ReadFixture("apng_ops.png");
    Load still;
    LoadOptions o = RgbaOptions();
    o.imageIndex = 99;
    ASSERT_EQ(LoadBytes(data, L"a.png", o, &still), 0);
    ExpectSamePixels(ExpectedPixels("apng_ops_f0"), still.Pixels(), true, 0, kVisiblePixels);

    Load fitted;
    o.imageIndex = 3;
    o.targetWidth = 12;
    o.targetHeight = 8;
    ASSERT_EQ(LoadBytes(data, L"a.png", o, &fitted), 0);
    EXPECT_EQ(fitted.bitmap.width, 12);
    EXPECT_EQ(fitted.info.imageCount, 1u);
}

int CancelAtRow(int32_t row, int32_t, uintptr_t user) { return row >= int32_t(user) ? 1 : 0; }

// RGBA options convert every picture; the plain ones keep an interlaced RGB
// picture's rows where they were decoded.
TEST(PngCancel, AnyPathReturns15WithoutPixels) {
    NEED_FIXTURES();
    LoadOptions plain;
    InitLoadOptions(&plain);
    for (const LoadOptions& options : {RgbaOptions(), plain}) {
        for (const char* file : {"rgb8.png", "tall_i.png", "apng_ops.png", "pal4.png"}) {
            SCOPED_TRACE(file);
            LoadOptions o = options;
            o.imageIndex = 2;
            o.rowCallback = CancelAtRow;
            o.rowCallbackUser = 1;
            Load load;
            EXPECT_EQ(LoadBytes(ReadFixture(file), L"p.png", o, &load), 15);
            EXPECT_EQ(load.bitmap.pixels, nullptr);
        }
    }
}

void ExpectSameBitmap(const Bitmap& want, const Bitmap& got) {
    ASSERT_EQ(want.width, got.width);
    ASSERT_EQ(want.height, got.height);
    ASSERT_EQ(want.bytesPerRow, got.bytesPerRow);
    EXPECT_EQ(want.pixelType, got.pixelType);
    EXPECT_EQ(want.paletteCount, got.paletteCount);
    ASSERT_EQ(want.palette == nullptr, got.palette == nullptr);
    if (want.palette) {
        EXPECT_EQ(0, std::memcmp(want.palette, got.palette, kPaletteBytes));
    }
    EXPECT_EQ(0, std::memcmp(want.pixels, got.pixels, size_t(want.bytesPerRow) * size_t(want.height)));
}

// Every colour type and depth, plain and interlaced (twins.txt; Pillow checks
// the interlaced ones in the oracle test): an interlaced picture loads byte
// for byte as its plain twin, whatever the load asks for. As decoded (8-bit
// samples, RGB and RGBA: the rows are the bitmap's own), converted to four
// bytes, fitted to a box by nearest samples, and averaged as a thumbnail
// (both from a whole-picture block).
TEST(PngInterlaced, LoadsExactlyAsItsPlainTwin) {
    NEED_FIXTURES();
    LoadOptions plain;
    InitLoadOptions(&plain);
    LoadOptions fitted = plain;
    fitted.targetWidth = fitted.targetHeight = 40;
    LoadOptions thumbnail = fitted;
    thumbnail.flags |= kLoadReduced;
    const struct {
        const char* what;
        LoadOptions options;
    } kLoads[] = {{"as decoded", plain}, {"four bytes", RgbaOptions()}, {"fitted", fitted}, {"thumbnail", thumbnail}};
    const Bytes list = ReadFixture("twins.txt");
    std::istringstream names(std::string(list.begin(), list.end()));
    int twins = 0;
    for (std::string name; names >> name; ++twins) {
        const Bytes plainFile = ReadFixture(name + ".png"), interlaced = ReadFixture(name + "_i.png");
        for (const auto& l : kLoads) {
            SCOPED_TRACE(name + ", " + l.what);
            Load want, got;
            ASSERT_EQ(LoadBytes(plainFile, L"p.png", l.options, &want), 0);
            ASSERT_EQ(LoadBytes(interlaced, L"i.png", l.options, &got), 0);
            ExpectSameBitmap(want.bitmap, got.bitmap);
        }
    }
    EXPECT_EQ(twins, 15);
}

#if defined(__linux__)
// An interlaced photo stored as decoded holds no second whole picture: the
// passes fill the bitmap's own rows. (Room is left for AddressSanitizer's
// shadow and the library's buffers.)
TEST(PngInterlaced, APictureStoredAsDecodedTakesOneCopyOfItsRows) {
    NEED_FIXTURES();
    const Bytes file = ReadFixture("big_i.png");
    EnsureFormatRegistry();
    LoadOptions o;
    InitLoadOptions(&o);
    const uint64_t rows = 3000 * 3 * 2000;
    const auto peak = testing_support::PeakRssGrowth([&] {
        Bitmap b{};
        const int result = LoadPictureFromMemory(file.data(), file.size(), L"big.png", &b, &o, nullptr);
        FreeBitmap(&b);
        if (result != 0) std::_Exit(1);
    });
    ASSERT_TRUE(peak.has_value());
    EXPECT_LT(*peak, rows + rows / 4 + (4u << 20));
}

// A small file declaring a large interlaced picture, loaded as a thumbnail:
// the whole-picture block the passes need counts in the memory budget before
// it is allocated, and the load is refused (here under a budget of 8 MB, for
// a block of 81 MB).
TEST(PngInterlaced, TheBlockOfAThumbnailCountsInTheBudget) {
    NEED_FIXTURES();
    const Bytes file = ReadFixture("huge_i.png");
    EnsureFormatRegistry();
    constexpr uint64_t kBudget = uint64_t(8) << 20;
    const auto peak = testing_support::PeakRssGrowth([&] {
        SetLoadMemoryBudget(kBudget);
        LoadOptions o;
        InitLoadOptions(&o);
        o.targetWidth = o.targetHeight = 96;
        o.flags |= kLoadReduced;
        Bitmap b{};
        const int result = LoadPictureFromMemory(file.data(), file.size(), L"huge.png", &b, &o, nullptr);
        FreeBitmap(&b);
        if (result != kLoadNoMemory) std::_Exit(1);
    });
    ASSERT_TRUE(peak.has_value()) << "the load did not fail for lack of memory";
    EXPECT_LT(*peak, kBudget + (uint64_t(64) << 20));
}
#endif

TEST(PngRefusals, SignatureAndSize) {
    NEED_FIXTURES();
    const Bytes good = ReadFixture("rgb8.png");
    struct Case {
        const char* what;
        size_t at;
        uint8_t value;
        int result;
    } cases[] = {
        {"not 0x89", 0, 0x88, 2},
        {"fifth byte not CR, LF or EOF", 4, 'x', 2},
        {"a bad IHDR CRC", 29, 0x00, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes data = good;
        data[c.at] = c.value;
        Load load;
        EXPECT_EQ(LoadBytes(data, L"p.png", RgbaOptions(), &load), c.result);
    }
    // Fifth byte 10 or 26 passes the pre-test (the library then refuses).
    Bytes lf = good;
    lf[4] = 10;
    Load load;
    EXPECT_EQ(LoadBytes(lf, L"p.png", RgbaOptions(), &load), 2);

    // Widths the load cannot take are refused before any allocation.
    for (uint32_t width : {399999u, 400000u, 0x7FFFFFFFu}) {
        SCOPED_TRACE(width);
        Bytes wide = good;
        for (int i = 0; i < 4; ++i) wide[16 + size_t(i)] = uint8_t(width >> (24 - 8 * i));
        const uLong crc = crc32(0, wide.data() + 12, 17);
        for (int i = 0; i < 4; ++i) wide[29 + size_t(i)] = uint8_t(crc >> (24 - 8 * i));
        Load w;
        EXPECT_EQ(LoadBytes(wide, L"p.png", RgbaOptions(), &w), width < 400000 ? 4 : 2);
    }
}

// A picture of many rows: rows are delivered through the load from a file as
// well as from memory.
TEST(PngFiles, LoadFromAFileMatchesMemory) {
    NEED_FIXTURES();
    EnsureFormatRegistry();
    testing_support::ScratchDir dir;
    const std::wstring path = dir.File("tall interlaced.png");
    testing_support::WriteBytes(path, ReadFixture("tall_i.png"));
    Bitmap b{};
    const LoadOptions o = RgbaOptions();
    ASSERT_EQ(LoadPictureFromFile(path.c_str(), &b, &o, nullptr), 0);
    Load mem;
    ASSERT_EQ(LoadBytes(ReadFixture("tall_i.png"), L"p.png", o, &mem), 0);
    ASSERT_EQ(b.height, mem.bitmap.height);
    EXPECT_EQ(std::memcmp(b.pixels, mem.bitmap.pixels, size_t(b.bytesPerRow) * size_t(b.height)), 0);
    FreeBitmap(&b);
}

TEST(RawProfileIptc, DecodesTheCountedHexDigits) {
    struct Case {
        const char* what;
        std::string text;
        const char* bytes;  // null: no block
    } cases[] = {
        {"plain", "\niptc\n       3\n1c0201\n", "\x1c\x02\x01"},
        {"digits across lines and junk skipped", "\nx\n2\n1c\n0-2zz\n", "\x1c\x02"},
        {"extra digits ignored", "\nx\n1\nabcdef", "\xab"},
        {"count 0", "\nx\n0\n00", nullptr},
        {"upper-case digits skipped, too few left", "\nx\n2\n1C02", nullptr},
        {"count beyond the text", "\nx\n99999999999999999999\n00", nullptr},
        {"count larger than its digits", "\nx\n4\n001122", nullptr},
        {"no count", "\nx\n\n00", nullptr},
        {"empty", "", nullptr},
        {"one character", "\n", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        uint32_t length = 77;
        uint8_t* out = DecodeRawProfileIptc(c.text.data(), c.text.size(), &length);
        if (!c.bytes) {
            EXPECT_EQ(out, nullptr);
            EXPECT_EQ(length, 0u);
        } else {
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(std::string(reinterpret_cast<char*>(out), length), std::string(c.bytes));
        }
        std::free(out);
    }
}

}  // namespace
