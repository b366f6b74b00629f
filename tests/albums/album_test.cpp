// Album files: the config text byte for byte, the parser's cases (a received
// album is untrusted), the archive the writer makes (read back by our own
// reader and, natively, by Python's zipfile and Info-ZIP's zipinfo), cancel
// and failure leaving nothing behind, and the per-picture conversion.
#include "display/album.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "albumtest.h"
#include "imagelib/imagelib.h"
#include "shell/pictureload.h"
#include "tests/support/oracles.h"
#include "tests/support/pictures.h"
#include "tests/support/testfiles.h"

using namespace albumtest;
using testing_support::ScratchDir;
using testing_support::EnsureFormatRegistry;

namespace {

int32_t KeepGoing(uintptr_t, const wchar_t*, int32_t, int32_t) { return 1; }

AlbumWriteEnv EnvFor(const std::wstring& temp) { return AlbumWriteEnv{temp.c_str(), 240, 320}; }

int ParseText(const std::string& text, AlbumShowConfig* config) {
    return AlbumParseConfigText(reinterpret_cast<const uint8_t*>(text.data()), text.size(), config);
}

TEST(AlbumConfig, ListsPicturesSoundAndOptionsInOrder) {
    AlbumOptions o = Options(L"", L"x.alb");
    o.sizeIndex = 2;
    o.rotate = 1;
    o.transitions = 1;
    o.sound = 1;
    std::wcscpy(o.soundFile, L"\\My Documents\\tune.mp3");
    const wchar_t* paths[] = {L"\\My Documents\\a.jpg", L"\\Storage Card\\b\xE9.png", L"c.gif"};
    EXPECT_EQ(AlbumBuildConfig(paths, 3, o),
              "#Trelmo Album\ncount = 4\n0000,a.jpg\n0001,b\xE9.png\n0002,c.gif\n"
              "0003,\\My Documents\\tune.mp3\nDelay = 3\nSize = 2\nFit = 0\nRotate = 1\nAutoL = 0\n"
              "JPEGQ = 90\nTransitions = 1\nLoop = 1\nAudio = 1\n");

    // The sound flag without a path: no sound line, not counted, no audio.
    o.soundFile[0] = 0;
    const std::string text = AlbumBuildConfig(paths, 3, o);
    EXPECT_NE(text.find("count = 3\n"), std::string::npos);
    EXPECT_EQ(text.find("0003,"), std::string::npos);
    EXPECT_NE(text.find("Audio = 0\n"), std::string::npos);
}

TEST(AlbumConfig, ParsesWhatTheWriterWrites) {
    AlbumOptions o = Options(L"", L"x.alb");
    o.delay = 7;
    o.transitions = 1;
    o.sound = 1;
    std::wcscpy(o.soundFile, L"\\Windows\\Alarm.WAV");
    const wchar_t* paths[] = {L"a.jpg", L"b.jpg"};
    AlbumShowConfig c;
    ASSERT_EQ(ParseText(AlbumBuildConfig(paths, 2, o), &c), 1);
    EXPECT_EQ(c.delay, 7);
    EXPECT_EQ(c.transitions, 1);
    EXPECT_EQ(c.loop, 1);
    EXPECT_EQ(c.sound, 1);
    EXPECT_EQ(c.names, (std::vector<std::wstring>{L"0000", L"0001"}));
    EXPECT_EQ(c.soundName, L"0002");
    EXPECT_EQ(c.soundKind, kAlbumSoundWave);
}

TEST(AlbumConfig, ParserCases) {
    const std::string longName(600, 'x');
    const std::string longKeyLine = "Comment = " + std::string(700, 'y') + "\n";
    const struct {
        const char* what;
        std::string text;
        int ok;
        std::vector<std::wstring> names;
        int32_t delay, sound, soundKind;
    } cases[] = {
        {"minimal", "#Trelmo Album\ncount = 1\n0000,a.jpg\n", 1, {L"0000"}, 0, 0, 0},
        {"header with more after it", "#Trelmo Album v2\ncount = 1\n0000,a\n", 1, {L"0000"}, 0, 0, 0},
        {"header differs", "#Trelmo Albun\ncount = 1\n0000,a\n", 0, {}, 0, 0, 0},
        {"count zero", "#Trelmo Album\ncount = 0\n", 0, {}, 0, 0, 0},
        {"count negative", "#Trelmo Album\ncount = -3\n", 0, {}, 0, 0, 0},
        {"count missing", "#Trelmo Album\nDelay = 3\n", 0, {}, 0, 0, 0},
        {"count above the limit", "#Trelmo Album\ncount = 10001\n" + std::string(30000, '\n'), 0, {}, 0, 0, 0},
        {"count beyond the text", "#Trelmo Album\ncount = 2000000000\n0000,a\n", 0, {}, 0, 0, 0},
        {"ends before the entries", "#Trelmo Album\ncount = 3\n0000,a\n0001,b\n", 0, {}, 0, 0, 0},
        {"line without comma", "#Trelmo Album\ncount = 1\npicture\nDelay = 4\n", 1, {L"picture"}, 4, 0, 0},
        {"CRLF lines", "#Trelmo Album\r\ncount = 1\r\n0000,a\r\nDelay = 9\r\n", 1, {L"0000"}, 9, 0, 0},
        {"parent folder name", "#Trelmo Album\ncount = 1\n..,a\n", 0, {}, 0, 0, 0},
        {"path in a name", "#Trelmo Album\ncount = 1\n..\\..\\Windows\\x,a\n", 0, {}, 0, 0, 0},
        {"slash in a name", "#Trelmo Album\ncount = 1\nsub/x,a\n", 0, {}, 0, 0, 0},
        {"drive in a name", "#Trelmo Album\ncount = 1\nC:x,a\n", 0, {}, 0, 0, 0},
        {"device name", "#Trelmo Album\ncount = 1\nNUL,a\n", 0, {}, 0, 0, 0},
        {"device name with extension", "#Trelmo Album\ncount = 1\naux.txt,a\n", 0, {}, 0, 0, 0},
        {"device sound entry", "#Trelmo Album\ncount = 2\n0000,a\nCOM1,b.wav\nAudio = 1\n", 0, {}, 0, 0, 0},
        {"name Windows strips", "#Trelmo Album\ncount = 1\n0000.,a\n", 0, {}, 0, 0, 0},
        {"empty name", "#Trelmo Album\ncount = 1\n,a\n", 0, {}, 0, 0, 0},
        {"name too long", "#Trelmo Album\ncount = 1\n" + longName + ",a\n", 0, {}, 0, 0, 0},
        {"long value stays one line", "#Trelmo Album\ncount = 1\n0000," + longName + "\nDelay = 2\n", 1,
         {L"0000"}, 2, 0, 0},
        {"long key line skipped", "#Trelmo Album\ncount = 1\n0000,a\n" + longKeyLine + "Delay = 6\n", 1,
         {L"0000"}, 6, 0, 0},
        {"mp3 sound", "#Trelmo Album\ncount = 2\n0000,a\n0001,\\x\\song.MP3\nAudio = 1\n", 1, {L"0000"}, 0, 1, 2},
        {"other sound", "#Trelmo Album\ncount = 2\n0000,a\n0001,\\x\\song.ogg\nAudio = 1\n", 1, {L"0000"}, 0, 1,
         0},
        {"transition key needs its s", "#Trelmo Album\ncount = 1\n0000,a\nTransition = 1\n", 1, {L"0000"}, 0, 0, 0},
        {"no final line feed", "#Trelmo Album\ncount = 1\n0000,a\nDelay = 5", 1, {L"0000"}, 5, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AlbumShowConfig config;
        ASSERT_EQ(ParseText(c.text, &config), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(config.names, c.names);
        EXPECT_EQ(config.delay, c.delay);
        EXPECT_EQ(config.sound, c.sound);
        EXPECT_EQ(config.soundKind, c.soundKind);
    }
}

TEST(AlbumConfig, SoundFlagWithOneEntryLeavesNoPictures) {
    AlbumShowConfig c;
    ASSERT_EQ(ParseText("#Trelmo Album\ncount = 1\n0000,a.wav\nAudio = 1\n", &c), 1);
    EXPECT_TRUE(c.names.empty());
    EXPECT_EQ(c.soundName, L"0000");
}

// The per-picture conversion: (fixture, size index, fit, rotate, screen) ->
// the JPEG's size.
TEST(SlideshowConvert, FitsTurnsAndEncodes) {
    EnsureFormatRegistry();
    ScratchDir dir;
    const struct {
        const char* source;
        int32_t size, fit, rotate, screenW, screenH;
        int32_t width, height;
    } cases[] = {
        {"wide.jpg", 2, 0, 0, 240, 320, 320, 240},   // shrunk into the box
        {"wide.jpg", 0, 0, 0, 240, 320, 1600, 1200}, // no box: kept
        {"red.jpg", 1, 0, 0, 240, 320, 80, 60},      // smaller than the box: kept
        {"red.jpg", 1, 1, 0, 240, 320, 240, 180},    // fit: enlarged
        {"green.jpg", 1, 1, 0, 240, 320, 135, 180},  // portrait into a landscape box
        {"wide.jpg", 2, 0, 1, 240, 320, 180, 240},   // portrait screen: box turned, picture turned
        {"wide.jpg", 2, 0, 2, 320, 240, 320, 240},   // landscape screen: no turn
        {"green.jpg", 2, 0, 1, 240, 320, 60, 80},    // portrait picture: no turn
        {"orange.gif", 0, 0, 0, 240, 320, 32, 24},   // palette picture made JPEG
        {"orange.gif", 1, 1, 0, 240, 320, 240, 180}, // palette picture enlarged
        {"grey.jpg", 0, 0, 0, 240, 320, 40, 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " size " + std::to_string(c.size) + " rotate " +
                     std::to_string(c.rotate));
        AlbumOptions o = Options(L"", L"");
        o.sizeIndex = c.size;
        o.fit = c.fit;
        o.rotate = c.rotate;
        const std::wstring out = dir.File("out.jpg");
        ASSERT_EQ(SlideshowConvertPictureForScreen(Fixture(c.source).c_str(), out.c_str(), o, c.screenW, c.screenH),
                  1);
        ImageInfo info{};
        ASSERT_EQ(QueryPictureInfo(out.c_str(), -1, 0, &info), 0);
        EXPECT_EQ(info.formatIndex, FindFormatByName("jpeg"));
        EXPECT_EQ(info.width, c.width);
        EXPECT_EQ(info.height, c.height);
        FreePictureInfo(&info);
    }
    AlbumOptions o = Options(L"", L"");
    EXPECT_EQ(SlideshowConvertPictureForScreen(Fixture("notapicture.jpg").c_str(), dir.File("x.jpg").c_str(), o,
                                               240, 320),
              0);
}

#ifndef _WIN32
// A camera-sized picture shrunk into the box (decoded at a reduced scale)
// matches Pillow's area-averaged resize of the same file.
TEST(SlideshowConvert, ShrunkPictureMatchesPillow) {
    EnsureFormatRegistry();
    ScratchDir dir;
    AlbumOptions o = Options(L"", L"");
    o.sizeIndex = 2;
    o.jpegQuality = 95;
    const std::wstring out = dir.File("small.jpg");
    ASSERT_EQ(SlideshowConvertPictureForScreen(Fixture("gradient.jpg").c_str(), out.c_str(), o, 240, 320), 1);
    const std::string py = testing_support::RunPillow(
        "from PIL import Image, ImageChops, ImageStat\n"
        "import math\n"
        "a=Image.open('" + WideToUtf8(Fixture("gradient.jpg").c_str()) + "').convert('RGB').resize((320,240), Image.BOX)\n"
        "b=Image.open('" + WideToUtf8(out.c_str()) + "').convert('RGB')\n"
        "print(b.size)\n"
        "mse=sum(v*v for v in ImageStat.Stat(ImageChops.difference(a,b)).rms)/3\n"
        "print('psnr %.1f' % (10*math.log10(255*255/max(mse,1e-9))))\n");
    ASSERT_NE(py.find("(320, 240)"), std::string::npos) << py;
    const size_t at = py.find("psnr ");
    ASSERT_NE(at, std::string::npos) << py;
    EXPECT_GT(std::stod(py.substr(at + 5)), 34.0) << py;
}
#endif

// With the shell's upright loader installed a picture held sideways (EXIF
// orientation 6) goes in upright, whole or decoded reduced; the plain
// default load keeps it as stored.
TEST(SlideshowConvert, UprightLoaderTurnsSidewaysPictures) {
    EnsureFormatRegistry();
    ScratchDir dir;
    const struct {
        bool upright;
        int32_t size;
        int32_t width, height;
        bool redOnTop;
    } cases[] = {
        {false, 0, 640, 320, false},  // plain: stored, red on the left
        {true, 0, 320, 640, true},    // whole picture turned
        {true, 1, 90, 180, true},     // reduced decode, then fitted upright into 240 x 180
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.upright) + " size " + std::to_string(c.size));
        SetAlbumPictureLoader(c.upright ? LoadPictureUpright : nullptr);
        AlbumOptions o = Options(L"", L"");
        o.sizeIndex = c.size;
        o.jpegQuality = 95;
        const std::wstring out = dir.File("upright.jpg");
        const int made = SlideshowConvertPictureForScreen(Fixture("sideways.jpg").c_str(), out.c_str(), o, 240, 320);
        SetAlbumPictureLoader(nullptr);
        ASSERT_EQ(made, 1);
        Bitmap b{};
        LoadOptions load;
        InitLoadOptions(&load);
        ASSERT_EQ(LoadPictureFromFile(out.c_str(), &b, &load, nullptr), 0);
        const testing_support::RgbaPicture rgba = testing_support::RgbaOf(b);
        FreeBitmap(&b);
        ASSERT_EQ(rgba.width, c.width);
        ASSERT_EQ(rgba.height, c.height);
        // Top-left is red either way; the far corner tells the turn.
        const uint8_t* topLeft = rgba.At(2, 2);
        const uint8_t* far = c.redOnTop ? rgba.At(c.width - 3, 2) : rgba.At(2, c.height - 3);
        EXPECT_GT(topLeft[0], 180);
        EXPECT_LT(topLeft[2], 80);
        EXPECT_GT(far[0], 180) << "red along the top edge when upright, down the left edge when stored";
        const uint8_t* bottomRight = rgba.At(c.width - 3, c.height - 3);
        EXPECT_GT(bottomRight[2], 180);
        EXPECT_LT(bottomRight[0], 80);
    }
}

// Automatic levels stretch a low-contrast picture to the whole range.
TEST(SlideshowConvert, AutoLevelsStretchTheRange) {
    EnsureFormatRegistry();
    ScratchDir dir;
    int spread[2];
    for (int32_t autoLevels : {0, 1}) {
        AlbumOptions o = Options(L"", L"");
        o.autoLevels = autoLevels;
        o.jpegQuality = 100;
        const std::wstring out = dir.File("levels.jpg");
        ASSERT_EQ(SlideshowConvertPictureForScreen(Fixture("dim.png").c_str(), out.c_str(), o, 240, 320), 1);
        Bitmap b{};
        LoadOptions load;
        InitLoadOptions(&load);
        ASSERT_EQ(LoadPictureFromFile(out.c_str(), &b, &load, nullptr), 0);
        const uint8_t* row = b.pixels + size_t(8) * size_t(b.bytesPerRow);
        spread[autoLevels] = int(row[(b.width - 1) * b.bytesPerPixel]) - int(row[0]);
        FreeBitmap(&b);
    }
    EXPECT_LT(spread[0], 60);
    EXPECT_GT(spread[1], 200);
}

struct ProgressLog {
    std::vector<std::wstring> paths;
    std::vector<int32_t> indices;
    int32_t total = 0;
    int32_t stopAt = -1;
};

int32_t LogProgress(uintptr_t user, const wchar_t* path, int32_t index, int32_t total) {
    auto* log = reinterpret_cast<ProgressLog*>(user);
    log->paths.push_back(path);
    log->indices.push_back(index);
    log->total = total;
    return index == log->stopAt ? 0 : 1;
}

class AlbumWriteTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureFormatRegistry(); }
    ScratchDir dir;
    std::wstring folder = FolderOf(dir);
    std::wstring temp = FolderOf(dir);
};

TEST_F(AlbumWriteTest, WritesConfigPicturesAndSound) {
    const PathList pictures{"red.jpg", "notapicture.jpg", "blue.jpg"};
    AlbumOptions o = Options(folder, L"holiday.alb");
    o.sizeIndex = 1;
    o.sound = 1;
    const std::wstring sound = Fixture("tone.wav");
    std::wcsncpy(o.soundFile, sound.c_str(), kAlbumPathChars - 1);
    ProgressLog log;
    ASSERT_EQ(AlbumWriteFile(pictures.data(), pictures.count(), o, LogProgress, uintptr_t(&log), EnvFor(temp)),
              kAlbumWritten);
    EXPECT_EQ(log.indices, (std::vector<int32_t>{0, 1, 2, 3, 3}));
    EXPECT_EQ(log.total, 4);
    EXPECT_EQ(log.paths.back(), L"");

    // Our reader: the entries in order, the failed picture missing.
    const std::wstring album = folder + L"holiday.alb";
    ZipHandle* zip = OpenZipFile(album.c_str(), nullptr);
    ASSERT_NE(zip, nullptr);
    ZipItem all;
    ASSERT_EQ(GetZipItem(zip, -1, &all), kZipOk);
    std::vector<std::wstring> names;
    for (int32_t i = 0; i < all.index; ++i) {
        ZipItem item;
        ASSERT_EQ(GetZipItem(zip, i, &item), kZipOk);
        names.push_back(item.name);
    }
    EXPECT_EQ(names, (std::vector<std::wstring>{L"config", L"0000", L"0002", L"0003"}));
    AlbumShowConfig c;
    ASSERT_EQ(AlbumReadConfig(zip, &c), 1);
    EXPECT_EQ(c.names, (std::vector<std::wstring>{L"0000", L"0001", L"0002"}));
    EXPECT_EQ(c.soundName, L"0003");
    EXPECT_EQ(c.soundKind, kAlbumSoundWave);
    EXPECT_EQ(c.delay, 3);
    EXPECT_EQ(c.loop, 1);
    CloseZipReader(zip);

    // Nothing but the album is left in the folder (no temporary files).
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1u);

#ifndef _WIN32
    // Python's zipfile and Info-ZIP's zipinfo read the archive alike.
    const std::string path = WideToUtf8(album.c_str());
    const std::string py = testing_support::RunPillow(
        "import zipfile,io\n"
        "from PIL import Image\n"
        "z=zipfile.ZipFile('" + path + "')\n"
        "assert z.testzip() is None\n"
        "print(z.namelist())\n"
        "print(repr(z.read('config')))\n"
        "im=Image.open(io.BytesIO(z.read('0000'))); print(im.format, im.size)\n"
        "print(z.read('0003')==open('" + WideToUtf8(sound.c_str()) + "','rb').read())\n");
    EXPECT_NE(py.find("['config', '0000', '0002', '0003']"), std::string::npos) << py;
    EXPECT_NE(py.find("b'#Trelmo Album\\ncount = 4\\n0000,red.jpg\\n0001,notapicture.jpg\\n0002,blue.jpg\\n0003,"),
              std::string::npos)
        << py;
    EXPECT_NE(py.find("Audio = 1\\n'"), std::string::npos) << py;
    EXPECT_NE(py.find("JPEG (80, 60)"), std::string::npos) << py;
    EXPECT_NE(py.find("True"), std::string::npos) << py;
    int status = -1;
    const std::string info = testing_support::RunCommand("zipinfo -1 " + testing_support::ShellQuote(path), &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(info, "config\n0000\n0002\n0003\n");
#endif
}

TEST_F(AlbumWriteTest, CancelKeepsTheOlderAlbum) {
    const std::wstring album = folder + L"a.alb";
    testing_support::WriteText(album, "older album");
    const PathList pictures{"red.jpg", "blue.jpg"};
    AlbumOptions o = Options(folder, L"a.alb");
    ProgressLog log;
    log.stopAt = 1;
    EXPECT_EQ(AlbumWriteFile(pictures.data(), pictures.count(), o, LogProgress, uintptr_t(&log), EnvFor(temp)),
              kAlbumCancelled);
    const std::vector<uint8_t> kept = testing_support::ReadBytes(album);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "older album");
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1u);
}

TEST_F(AlbumWriteTest, FailuresLeaveNoHalfMadeArchive) {
    const PathList pictures{"red.jpg"};
    // No temporary folder for the config: nothing may be left.
    const std::wstring missingTemp = folder + L"missing" + std::wstring(1, folder.back());
    AlbumOptions o = Options(folder, L"b.alb");
    EXPECT_EQ(AlbumWriteFile(pictures.data(), pictures.count(), o, KeepGoing, 0, EnvFor(missingTemp)),
              kAlbumCannotCreate);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    // No output folder.
    AlbumOptions nowhere = Options(folder + L"nowhere" + std::wstring(1, folder.back()), L"c.alb");
    EXPECT_EQ(AlbumWriteFile(pictures.data(), pictures.count(), nowhere, KeepGoing, 0, EnvFor(temp)),
              kAlbumCannotCreate);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(AlbumRead, RejectsArchivesWithoutAUsableConfig) {
    EnsureFormatRegistry();
    ScratchDir dir;
    const std::wstring folder = FolderOf(dir);
    // An archive whose config lists a path: refused.
    testing_support::WriteText(dir.File("config"), "#Trelmo Album\ncount = 1\n..\\evil,x\n");
    ZipHandle* w = CreateZipFile(dir.File("bad.alb").c_str(), nullptr);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(ZipAddFile(w, L"config", dir.File("config").c_str()), kZipOk);
    ASSERT_EQ(ZipAddFile(w, L"Config2", dir.File("config").c_str()), kZipOk);
    CloseZipWriter(w);
    ZipHandle* r = OpenZipFile(dir.File("bad.alb").c_str(), nullptr);
    ASSERT_NE(r, nullptr);
    AlbumShowConfig c;
    EXPECT_EQ(AlbumReadConfig(r, &c), 0);
    CloseZipReader(r);
    // No "config" entry at all (the name is matched with its case).
    w = CreateZipFile(dir.File("none.alb").c_str(), nullptr);
    ASSERT_EQ(ZipAddFile(w, L"CONFIG", dir.File("config").c_str()), kZipOk);
    CloseZipWriter(w);
    r = OpenZipFile(dir.File("none.alb").c_str(), nullptr);
    EXPECT_EQ(AlbumReadConfig(r, &c), 0);
    CloseZipReader(r);
    // The parser over a file.
    testing_support::WriteText(dir.File("good"), "#Trelmo Album\ncount = 1\n0000,a\nLoop = 1\n");
    ASSERT_EQ(AlbumParseConfig(dir.File("good").c_str(), &c), 1);
    EXPECT_EQ(c.loop, 1);
    EXPECT_EQ(AlbumParseConfig(dir.File("absent").c_str(), &c), 0);
}

}  // namespace
