// Camera RAW files (DNG, NEF and CIFF files made by make_fixtures.py) load as the largest
// JPEG preview they carry, the one dcraw -e extracts, turned back when the
// camera was upside down; quarter turns are reported in readerFlags. An
// information-only load reports LibRaw's output size as raw-identify does.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "imagelib/readers/raw.h"
#include "tests/tiff/tifftest.h"

namespace {

using tifftest::Bytes;
using tifftest::Load;

struct RawFixture {
    std::string file;
    int orientation = 1;
    int32_t width = 0, height = 0;          // LibRaw's output at full size (raw-identify)
    int32_t halfWidth = 0, halfHeight = 0;  // the picture a half-size identification finds
};

std::vector<RawFixture> RawFixtures() {
    std::vector<RawFixture> list;
    std::ifstream in(testing_support::ToFsPath(
        testing_support::FixtureFile(testing_support::ReaderFixtureDir(), "raw.txt")));
    RawFixture f;
    while (in >> f.file >> f.orientation >> f.width >> f.height >> f.halfWidth >> f.halfHeight) list.push_back(f);
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

        // Information loads identify at half size (the full size is asked
        // for only through the load options, OptionsSetTheDecoder).
        FileSource source;
        InitMemorySource(&source, file.data(), file.size());
        ImageInfo info;
        ASSERT_EQ(kLoadOk, GetPictureInfoFromSource(&source, name.c_str(), -1, 0, &info));
        EXPECT_EQ(f.halfWidth, info.width);
        EXPECT_EQ(f.halfHeight, info.height);
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

// A colour filter pattern of 36 entries (a 6x6 layout) in a directory whose
// repeat is not 6x6, as the standard tag or Kodak's: LibRaw fills its 6x6
// table from it, and the fill stays inside the table. LibRaw does not take
// the file; the TIFF reader then refuses its colour filter samples.
TEST(CameraRaw, SixBySixColourFilterPatternStaysInItsTable) {
    for (uint16_t patternTag : {uint16_t(33422), uint16_t(64777)}) {
        SCOPED_TRACE(patternTag);
        Bytes pattern;
        for (int i = 0; i < 9; ++i) pattern.insert(pattern.end(), {0, 1, 1, 2});
        const uint32_t at = uint32_t(tifftest::DataStart(6));
        const Bytes file = tifftest::BuildTiff({{256, 4, 1, 8},
                                                {257, 4, 1, 8},
                                                {258, 3, 1, 16},
                                                {259, 3, 1, 1},
                                                {262, 3, 1, 32803},
                                                {patternTag, 1, 36, at}},
                                               pattern);
        FileSource source;
        InitMemorySource(&source, file.data(), file.size());
        ImageInfo info;
        EXPECT_EQ(kLoadRefused, GetPictureInfoFromSource(&source, L"pattern.dng", -1, 0, &info));
        FreePictureInfo(&info);
        EXPECT_EQ(kLoadRefused, Load(file, L"pattern.dng").result);
    }
}


// The camera RAW parameters of the load options reach LibRaw's settings;
// half-size decoding unless the full size is asked for outside a preview.
TEST(CameraRaw, OptionsSetTheDecoder) {
    struct Case {
        const char* name;
        bool preview;
        uint8_t fullSize;
        uint8_t thirdSwitch;
        uint32_t value;
        float reals[6];
        int halfSize;
        int fujiRotate;
        int highlight;
    } cases[] = {
        {"defaults, identification", false, 0, 0, 0, {0.6f, 0.8f, 1.0f, 1.0f, 0.0f, 0.0f}, 1, 1, 0},
        {"full size, identification", false, 1, 0, 0, {0.6f, 0.8f, 1.0f, 1.0f, 0.0f, 0.0f}, 0, 1, 0},
        {"full size, preview", true, 1, 0, 0, {0.6f, 0.8f, 1.0f, 1.0f, 0.0f, 0.0f}, 1, 1, 0},
        {"every value changed", false, 1, 1, 0x1FE, {0.45f, 1.5f, 2.0f, 0.5f, 4.5f, 100.0f}, 0, 0, -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoadOptions o;
        InitLoadOptions(&o);
        o.rawFullSize = c.fullSize;
        o.rawSwitches[0] = 0;
        o.rawSwitches[2] = c.thirdSwitch;
        o.rawValue = c.value;
        for (int i = 0; i < 6; ++i) o.rawReals[i] = c.reals[i];
        libraw_output_params_t p{};
        p.half_size = 7;
        SetRawDecoderOptions(o, c.preview, &p);
        EXPECT_EQ(c.halfSize, int(p.half_size));
        EXPECT_EQ(c.fujiRotate, p.use_fuji_rotate);
        EXPECT_EQ(c.highlight, p.highlight);
        EXPECT_DOUBLE_EQ(c.reals[0], p.gamm[0]);
        EXPECT_DOUBLE_EQ(c.reals[4], p.gamm[1]);
        EXPECT_FLOAT_EQ(c.reals[1], p.bright);
        EXPECT_FLOAT_EQ(c.reals[2], p.user_mul[0]);
        EXPECT_FLOAT_EQ(c.reals[3], p.user_mul[2]);
        EXPECT_FLOAT_EQ(c.reals[5], p.threshold);
        EXPECT_EQ(0, p.use_auto_wb);
        EXPECT_EQ(1, p.use_camera_wb);
        EXPECT_EQ(8, p.output_bps);
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
