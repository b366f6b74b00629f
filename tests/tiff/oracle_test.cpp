// TIFF files written by libtiff's tiffcp in every codec and layout (and raw
// YCbCr files packed by make_fixtures.py) must read as libtiff's tiff2rgba
// or Pillow reads them: pixel-exact for the lossless codecs, within one step
// for JPEG and two for libtiff's YCbCr rounding. Information-only loads
// declare the same picture; files cut short anywhere end with a result code.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/tiff/tifftest.h"

namespace {

using tifftest::Bytes;
using tifftest::Fixture;
using tifftest::Load;

class TiffOracleTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string skip;
        fixtures_ = tifftest::Fixtures(&skip);
        if (fixtures_.empty()) FAIL() << "no TIFF fixtures: " << skip;
    }

    static LoadOptions OptionsFor(const Fixture& f, uint32_t flags = 0) {
        return Load::Options(f.check == "cmyk" ? flags | kLoadKeepCmyk : flags, f.index);
    }

    std::vector<Fixture> fixtures_;
};

TEST_F(TiffOracleTest, EveryCodecAndLayoutMatchesTheOracle) {
    for (const Fixture& f : fixtures_) {
        SCOPED_TRACE(f.name);
        const Bytes file = testing_support::ReadReaderFixture(f.file);
        ASSERT_FALSE(file.empty());
        Load load(file, L"picture.tif", OptionsFor(f));
        ASSERT_EQ(kLoadOk, load.result) << load.info.subFormat;
        testing_support::ExpectSamePixels(testing_support::ExpectedPixels(f.name), load.Rgba(), f.check == "rgba",
                                          f.tolerance);
    }
}

TEST_F(TiffOracleTest, InformationOnlyLoadsDeclareThePicture) {
    for (const Fixture& f : fixtures_) {
        SCOPED_TRACE(f.name);
        const Bytes file = testing_support::ReadReaderFixture(f.file);
        FileSource source;
        InitMemorySource(&source, file.data(), file.size());
        ImageInfo info;
        ASSERT_EQ(kLoadOk, GetPictureInfoFromSource(&source, L"picture.tif", -1, 0, &info));
        if (f.index == 0) {
            // The information describes the picture as stored: pictures
            // turned by a quarter are declared before their turn.
            testing_support::RgbaPicture want = testing_support::ExpectedPixels(f.name);
            if (f.name >= "orient5" && f.name <= "orient8") std::swap(want.width, want.height);
            EXPECT_EQ(want.width, info.width);
            EXPECT_EQ(want.height, info.height);
        }
        EXPECT_EQ(f.file == "multi.tif" ? 3u : 1u, info.imageCount);
        FreePictureInfo(&info);
    }
}

// A stream handed in (whose size the open does not know) declares the same
// picture as the bytes in memory, the fixtures and a damaged directory alike.
TEST_F(TiffOracleTest, StreamsDeclareWhatMemoryDeclares) {
    testing_support::EnsureFormatRegistry();
    std::vector<Bytes> files;
    for (size_t i = 0; i < fixtures_.size(); i += 7) files.push_back(testing_support::ReadReaderFixture(fixtures_[i].file));
    // Eight bytes of header and a directory whose samples are refused.
    files.push_back(testing_support::ReadBytes(testing_support::FixtureFile(
        std::string(PV_SOURCE_DIR) + "/tests/crashers/sameload", "tiff-info-stream-vs-memory")));
    files.back().erase(files.back().begin(), files.back().begin() + 2);
    for (const Bytes& file : files) {
        FILE* stream = std::tmpfile();
        ASSERT_NE(nullptr, stream);
        ASSERT_EQ(file.size(), std::fwrite(file.data(), 1, file.size(), stream));
        std::rewind(stream);
        FileSource fromStream{nullptr, stream, nullptr, 0};
        FileSource fromMemory;
        InitMemorySource(&fromMemory, file.data(), file.size());
        ImageInfo a, b;
        const int ra = GetPictureInfoFromSource(&fromStream, L"picture.gif", -1, 0, &a);
        const int rb = GetPictureInfoFromSource(&fromMemory, L"picture.gif", -1, 0, &b);
        EXPECT_EQ(rb, ra);
        EXPECT_STREQ(b.subFormat, a.subFormat);
        EXPECT_EQ(b.width, a.width);
        EXPECT_EQ(b.imageCount, a.imageCount);
        FreePictureInfo(&a);
        FreePictureInfo(&b);
        std::fclose(stream);
    }
}

// What libtiff writes and the reader does not read is refused with a code
// (and, where the reader recognised a TIFF, its message), never misread.
TEST(TiffRefusals, FilesOfFormsTheReaderDoesNotRead) {
    struct Case {
        const char* file;
        int result;
        const char* message;
    };
    const Case cases[] = {
        {"refused_lzma.tif", kLoadRefused, "TIFF : Bad data compression algorithm !"},
        {"refused_zstd.tif", kLoadRefused, "TIFF : Bad data compression algorithm !"},
        {"refused_webp.tif", kLoadRefused, "TIFF : Bad data compression algorithm !"},
        {"refused_bigtiff.tif", kLoadNotRecognised, ""},
        {"refused_float_predictor3.tif", kLoadRefused, "TIFF : Bad predictor !"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Load load(testing_support::ReadReaderFixture(c.file), L"picture.tif");
        EXPECT_EQ(c.result, load.result);
        EXPECT_STREQ(c.message, load.info.subFormat);
    }
}

// A page beyond the last loads the first.
TEST_F(TiffOracleTest, PageBeyondTheLastLoadsTheFirst) {
    const Bytes file = testing_support::ReadReaderFixture("multi.tif");
    Load first(file, L"picture.tif", Load::Options(0, 0));
    Load beyond(file, L"picture.tif", Load::Options(0, 7));
    ASSERT_EQ(kLoadOk, beyond.result);
    EXPECT_EQ(first.Rgba().px, beyond.Rgba().px);
    EXPECT_EQ(3u, beyond.info.imageCount);
}

// Each fixture cut at a dozen points: before the picture is declared the
// result is 2 or 4; after it, 4 (or 0 with damaged files accepted), and a
// 0 only when every row the picture needs was still there.
TEST_F(TiffOracleTest, TruncatedFilesEndCleanly) {
    for (size_t i = 0; i < fixtures_.size(); i += 3) {
        const Fixture& f = fixtures_[i];
        const Bytes file = testing_support::ReadReaderFixture(f.file);
        Load whole(file, L"picture.tif", OptionsFor(f));
        ASSERT_EQ(kLoadOk, whole.result) << f.name;
        std::vector<size_t> cuts = {1, 4, 9, 20};
        for (int k = 1; k <= 10; ++k) cuts.push_back(file.size() * size_t(k) / 11);
        cuts.push_back(file.size() - 1);
        for (size_t n : cuts) {
            if (n >= file.size()) continue;
            SCOPED_TRACE(f.name + " cut at " + std::to_string(n));
            const Bytes part = readertest::Cut(file, n);
            Load strict(part, L"picture.tif", OptionsFor(f));
            const int r = strict.result;
            EXPECT_TRUE(r == kLoadOk || r == kLoadNotRecognised || r == kLoadIncomplete || r == kLoadRefused ||
                        r == kLoadStripTablesEnd || r == kLoadCorrupt)
                << r;
            if (r == kLoadOk) {
                EXPECT_EQ(whole.Rgba().px, strict.Rgba().px);
            }
        }
    }
}

}  // namespace

namespace {

int CancelAtRowTen(int32_t row, int32_t, uintptr_t) { return row >= 10 ? 1 : 0; }

// A cancel from the row callback ends strips, tiles, fax rows and JPEG
// strips alike with 15.
TEST(TiffCancel, EveryPathStopsWithTheCancel) {
    for (const char* file : {"rgb_lzw_strip7.tif", "rgb_zip_tile16.tif", "bilevel_g4_strip9.tif",
                             "rgb_jpeg_tile16.tif", "rgb_none_separate.tif", "ycbcr22.tif"}) {
        SCOPED_TRACE(file);
        LoadOptions o = Load::Options();
        o.rowCallback = CancelAtRowTen;
        Load load(testing_support::ReadReaderFixture(file), L"picture.tif", o);
        EXPECT_EQ(kLoadCancelled, load.result);
    }
}

}  // namespace
