// GIF, Targa, PCX and Photoshop files written by ImageMagick, netpbm,
// gifsicle, Pillow and exiftool (made at build time by make_fixtures.py, with
// the pixels Pillow, netpbm or ImageMagick decode from them) must read
// pixel-exact, keep their metadata byte for byte, and end cleanly when cut
// short anywhere. Runs on both targets: the fixtures are in the build tree.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imagelib/textutil.h"
#include "tests/gif_tga_pcx_psd/readertest.h"
#include "tests/support/missingoracle.h"

namespace {

using readertest::Bytes;
using readertest::Fixture;
using readertest::Load;

class OracleTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string skip;
        fixtures_ = readertest::Fixtures(&skip, &metadata_);
        if (fixtures_.empty()) PV_ORACLE_MISSING(skip);
    }

    static LoadOptions OptionsFor(const Fixture& f, uint32_t flags = 0) {
        // CMYK pictures are compared as the CMYK the oracle sees.
        return Load::Options(f.check == "cmyk" ? flags | kLoadKeepCmyk : flags, f.index);
    }

    std::vector<Fixture> fixtures_;
    std::vector<readertest::MetadataFixture> metadata_;
};

TEST_F(OracleTest, PixelExact) {
    for (const Fixture& f : fixtures_) {
        SCOPED_TRACE(f.name);
        const Bytes file = testing_support::ReadReaderFixture(f.file);
        ASSERT_FALSE(file.empty());
        const std::wstring name = readertest::NameFor(f.file);
        Load load(file, name.c_str(), OptionsFor(f));
        ASSERT_EQ(kLoadOk, load.result);
        testing_support::ExpectSamePixels(testing_support::ExpectedPixels(f.name), load.Rgba(), f.check == "rgba");
    }
}

// The information-only load declares the same picture without pixels, and
// counts the images of animated GIFs and layered Photoshop files.
TEST_F(OracleTest, InformationMatchesTheLoad) {
    for (const Fixture& f : fixtures_) {
        SCOPED_TRACE(f.name);
        const Bytes file = testing_support::ReadReaderFixture(f.file);
        const std::wstring name = readertest::NameFor(f.file);
        FileSource source;
        InitMemorySource(&source, file.data(), file.size());
        ImageInfo info;
        ASSERT_EQ(kLoadOk, GetPictureInfoFromSource(&source, name.c_str(), -1, 0, &info));
        const testing_support::RgbaPicture want = testing_support::ExpectedPixels(f.name);
        if (f.index == 0) {
            EXPECT_EQ(want.width, info.width);
            EXPECT_EQ(want.height, info.height);
        }
        FreePictureInfo(&info);

        Load load(file, name.c_str(), OptionsFor(f));
        ASSERT_EQ(kLoadOk, load.result);
        if (f.file == "anim.gif" || f.file == "optimised.gif" || f.file == "layers.psd" || f.file == "pages.dcx") {
            EXPECT_EQ(3u, load.info.imageCount);
        }
    }
}

// Files read through the stream (seeks, skips, the size probe) give what
// the same bytes give from memory.
TEST_F(OracleTest, FilesLoadAsFromMemory) {
    for (const Fixture& f : fixtures_) {
        SCOPED_TRACE(f.name);
        const std::wstring path = testing_support::FixtureFile(testing_support::ReaderFixtureDir(), f.file);
        const std::wstring name = readertest::NameFor(f.file);
        Load memory(testing_support::ReadReaderFixture(f.file), name.c_str(), OptionsFor(f, kLoadKeepMetadata));
        Bitmap bitmap{};
        const LoadOptions options = OptionsFor(f, kLoadKeepMetadata);
        ASSERT_EQ(kLoadOk, LoadPictureFromFile(path.c_str(), &bitmap, &options, nullptr));
        ASSERT_EQ(memory.bitmap.bytesPerRow, bitmap.bytesPerRow);
        ASSERT_EQ(memory.bitmap.height, bitmap.height);
        EXPECT_EQ(0, std::memcmp(memory.bitmap.pixels, bitmap.pixels,
                                 size_t(bitmap.bytesPerRow) * size_t(bitmap.height)));
        EXPECT_EQ(memory.bitmap.metadata != nullptr, bitmap.metadata != nullptr);
        FreeBitmap(&bitmap);
    }
}

// Each fixture cut at a dozen points, in its header and through its data.
// Before the picture is begun only 2 can come back; once it is begun the
// load gives 4, or 0 with the rows read when damaged files are accepted.
// A 0 without that flag is only right when the wanted picture was whole.
TEST_F(OracleTest, TruncatedFilesEndCleanly) {
    for (const Fixture& f : fixtures_) {
        const Bytes file = testing_support::ReadReaderFixture(f.file);
        const std::wstring name = readertest::NameFor(f.file);
        Load whole(file, name.c_str(), OptionsFor(f));
        ASSERT_EQ(kLoadOk, whole.result) << f.name;
        std::vector<size_t> cuts = {1, 2, 10, 20, 30, 60};
        for (int k = 1; k <= 12; ++k) cuts.push_back(file.size() * size_t(k) / 13);
        cuts.push_back(file.size() - 5);
        cuts.push_back(file.size() - 1);
        for (size_t n : cuts) {
            if (n >= file.size()) continue;
            SCOPED_TRACE(f.name + " cut at " + std::to_string(n));
            const Bytes part = readertest::Cut(file, n);
            Load strict(part, name.c_str(), OptionsFor(f));
            Load damaged(part, name.c_str(), OptionsFor(f, kLoadAcceptDamaged));
            if (strict.result == kLoadOk) {
                EXPECT_EQ(whole.Rgba().px, strict.Rgba().px);
            } else if (strict.result == kLoadIncomplete) {
                // Accepted only when rows arrived before the cut.
                EXPECT_TRUE(damaged.result == kLoadOk || damaged.result == kLoadIncomplete) << damaged.result;
                EXPECT_EQ(damaged.result == kLoadOk, damaged.bitmap.pixels != nullptr);
            } else {
                EXPECT_EQ(kLoadNotRecognised, strict.result);
                EXPECT_EQ(kLoadNotRecognised, damaged.result);
            }
            EXPECT_EQ(strict.result != kLoadOk, strict.bitmap.pixels == nullptr);
        }
    }
}

// Metadata resources of a Photoshop file come out byte for byte as exiftool
// reads them, in the layouts of the JPEG markers: EXIF behind "Exif" and two
// zero bytes, IPTC inside "Photoshop 3.0" and a whole "8BIM" resource.
TEST_F(OracleTest, PhotoshopMetadataAsExiftoolReadsIt) {
    ASSERT_EQ(4u, metadata_.size());
    const Bytes file = testing_support::ReadReaderFixture(metadata_[0].file);
    Load load(file, L"meta.psd", Load::Options(kLoadKeepMetadata));
    ASSERT_EQ(kLoadOk, load.result);
    EXPECT_EQ(72, load.bitmap.xResolution);
    for (const readertest::MetadataFixture& m : metadata_) {
        SCOPED_TRACE(m.blob);
        const Bytes want = testing_support::ReadReaderFixture(m.blob);
        ASSERT_FALSE(want.empty());
        const MetadataBlock* block = FindMetadataBlock(load.bitmap.metadata, m.kind);
        ASSERT_NE(nullptr, block);
        Bytes header;
        if (m.kind == kMetadataExif) header = {'E', 'x', 'i', 'f', 0, 0};
        if (m.kind == kMetadataIptc) {
            readertest::AppendText(&header, "Photoshop 3.0");
            header.push_back(0);
            readertest::AppendText(&header, "8BIM");
            header.insert(header.end(), {0x04, 0x04, 0, 0});
            testing_support::AppendBe32(header, uint32_t(want.size()));
        }
        Bytes got(block->data, block->data + block->length);
        ASSERT_GE(got.size(), header.size() + want.size());
        EXPECT_EQ(header, Bytes(got.begin(), got.begin() + long(header.size())));
        EXPECT_EQ(want, Bytes(got.begin() + long(header.size()), got.begin() + long(header.size() + want.size())));
        // Only the IPTC resource's pad byte may follow.
        EXPECT_EQ(m.kind == kMetadataIptc ? want.size() % 2 : 0, got.size() - header.size() - want.size());
    }
    Load without(file, L"meta.psd");
    EXPECT_EQ(nullptr, without.bitmap.metadata);
}

}  // namespace
