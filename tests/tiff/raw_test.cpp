// Camera RAW files (DNG, NEF and CIFF files made by make_fixtures.py) load as the largest
// JPEG preview they carry, the one dcraw -e extracts, turned back when the
// camera was upside down; quarter turns are reported in readerFlags. An
// information-only load reports LibRaw's output size as raw-identify does.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/tiff/tifftest.h"

namespace {

using tifftest::Bytes;
using tifftest::Load;

struct RawFixture {
    std::string file;
    int orientation = 1;
    int32_t width = 0, height = 0;
};

std::vector<RawFixture> RawFixtures() {
    std::vector<RawFixture> list;
    std::ifstream in(testing_support::ToFsPath(
        testing_support::FixtureFile(testing_support::ReaderFixtureDir(), "raw.txt")));
    RawFixture f;
    while (in >> f.file >> f.orientation >> f.width >> f.height) list.push_back(f);
    return list;
}

TEST(CameraRaw, LoadsTheLargestPreviewTurnedAsRecorded) {
    const auto fixtures = RawFixtures();
    ASSERT_EQ(6u, fixtures.size()) << "no RAW fixtures";
    for (const RawFixture& f : fixtures) {
        SCOPED_TRACE(f.file);
        const Bytes file = testing_support::ReadReaderFixture(f.file);
        const std::wstring name = readertest::NameFor(f.file);
        Load load(file, name.c_str());
        ASSERT_EQ(kLoadOk, load.result);
        testing_support::ExpectSamePixels(testing_support::ExpectedPixels(f.file), load.Rgba(), false, 1);
        const uint32_t turn = f.orientation == 6 ? 0x4 : f.orientation == 8 ? 0x2 : 0;
        EXPECT_EQ(turn, load.info.readerFlags & 0x6);
        const char* model = f.file == "camera.crw" ? "PowerShot G2" : f.file == "camera.nef" ? "D70" : "EOS 350D DIGITAL";
        EXPECT_STREQ(model, load.info.description);

        FileSource source;
        InitMemorySource(&source, file.data(), file.size());
        ImageInfo info;
        ASSERT_EQ(kLoadOk, GetPictureInfoFromSource(&source, name.c_str(), -1, 0, &info));
        EXPECT_EQ(f.width, info.width);
        EXPECT_EQ(f.height, info.height);
        FreePictureInfo(&info);

        // A fitted load takes a preview too.
        LoadOptions fitted = Load::Options();
        fitted.targetWidth = 20;
        fitted.targetHeight = 20;
        Load small(file, name.c_str(), fitted);
        EXPECT_EQ(kLoadOk, small.result);
    }
}

TEST(CameraRaw, DamagedAndForeignFilesEndCleanly) {
    const Bytes file = testing_support::ReadReaderFixture("camera1.dng");
    ASSERT_FALSE(file.empty());
    Load foreign(Bytes(4096, 0x5A), L"picture.cr2");
    EXPECT_EQ(kLoadNotRecognised, foreign.result);
    for (size_t n : {size_t(8), size_t(100), file.size() / 3, file.size() / 2, file.size() - 700, file.size() - 10}) {
        SCOPED_TRACE(n);
        Load cut(readertest::Cut(file, n), L"picture.dng");
        const int r = cut.result;
        EXPECT_TRUE(r == kLoadOk || r == kLoadNotRecognised || r == kLoadIncomplete || r == kLoadCorrupt) << r;
        EXPECT_EQ(r == kLoadOk, cut.bitmap.pixels != nullptr);
    }
}

// 64 bytes whose "IIII" sends LibRaw's identification into a Phase One
// directory claiming billions of entries, each read past the end of the
// file: the identification stops when its reads pass what a file of this
// size can take, and the file is not recognised, whatever its name and
// whatever the load.
TEST(CameraRaw, IdentificationReadingPastTheEndStops) {
    const Bytes file = {0x49, 0x46, 0x08, 0x49, 0x49, 0x49, 0x49, 0x43, 0x77, 0x61, 0x52, 0x0c, 0x00, 0x00, 0x00, 0x10,
                        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0xde, 0x49, 0x49, 0x00,
                        0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xde, 0x49, 0x00, 0x00, 0x00, 0x01,
                        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xde, 0x49, 0x49, 0x00, 0x00, 0x00, 0x00, 0x00, 0xde};
    for (const wchar_t* name : {L"loop.dng", L"loop.nef", L"loop.cr2"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        FileSource source;
        InitMemorySource(&source, file.data(), file.size());
        ImageInfo info;
        EXPECT_EQ(kLoadNotRecognised, GetPictureInfoFromSource(&source, name, -1, 0, &info));
        FreePictureInfo(&info);
        LoadOptions fitted = Load::Options();
        fitted.targetWidth = 20;
        fitted.targetHeight = 20;
        EXPECT_EQ(kLoadNotRecognised, Load(file, name).result);
        EXPECT_EQ(kLoadNotRecognised, Load(file, name, fitted).result);
    }
}

}  // namespace
