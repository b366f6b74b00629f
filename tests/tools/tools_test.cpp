// The tools' portable logic: output names and the shared save (checked with
// Pillow, ImageMagick and exiftool), capture names, resize targets, rename
// patterns, IPTC templates, the preview steps, the apply loop, and the
// lossless turn in place (checked against jpegtran).
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "imagelib/osfile.h"
#include "processing/iptc.h"
#include "shell/filelist.h"
#include "shell/pictureload.h"
#include "tests/support/faults.h"
#include "tests/support/missingoracle.h"
#include "tests/support/oracles.h"
#include "tests/support/pictures.h"
#include "tests/support/testfiles.h"
#include "tools/batch.h"
#include "tools/iptctemplate.h"
#include "tools/output.h"
#include "tools/properties.h"
#include "tools/rename.h"

using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

namespace {

int Format(const char* name) {
    testing_support::EnsureFormatRegistry();
    return FindFormatByName(name);
}

std::wstring Fixture(const char* name) { return testing_support::FixtureFile(PV_TOOLS_FIXTURES, name); }

bool FixturesPresent() {
    const std::vector<uint8_t> manifest = ReadBytes(Fixture("manifest.txt"));
    return !manifest.empty() && manifest[0] != 's';
}

#define REQUIRE_FIXTURES()                                                 \
    do {                                                                   \
        if (!FixturesPresent()) PV_ORACLE_MISSING("tools fixtures missing"); \
    } while (0)

OutputFolder Folder(const wchar_t* folder, const wchar_t* prefix, const wchar_t* suffix) {
    OutputFolder f{};
    std::wcsncpy(f.folder, folder, kOutputPathCapacity - 1);
    std::wcsncpy(f.prefix, prefix, kOutputAffixCapacity - 1);
    std::wcsncpy(f.suffix, suffix, kOutputAffixCapacity - 1);
    return f;
}

Bitmap Load(const std::wstring& path) {
    testing_support::EnsureFormatRegistry();
    Bitmap b{};
    LoadOptions options{};
    InitLoadOptions(&options);
    options.flags |= kToolLoadFlags;
    EXPECT_EQ(LoadPictureFromFile(path.c_str(), &b, &options, nullptr), 0);
    return b;
}

OutputOptions Options(const char* format, int32_t mode = kOutputTrueColour, int32_t quality = 80) {
    OutputChoices c;
    c.format = Format(format);
    c.gifMode = mode > kOutputColours256 ? int32_t(kOutputColours256) : mode;
    c.bmpMode = mode;
    c.pngMode = mode;
    c.jpegQuality = quality;
    return MakeOutputOptions(c);
}

#ifndef _WIN32
std::string Pillow(const std::wstring& path, const char* expression) {
    return testing_support::RunPillow("from PIL import Image\nim = Image.open(" +
                                      testing_support::ShellQuote(testing_support::Narrow(path)) + ")\nprint(" +
                                      expression + ")");
}
#endif

}  // namespace

TEST(OutputNames, BuildsNamesFromFolderPrefixSuffixAndFormat) {
    struct Case {
        const wchar_t* source;
        const wchar_t* folder;
        const wchar_t* prefix;
        const wchar_t* suffix;
        const char* format;
        const wchar_t* folderOut;
        const wchar_t* name;
    } cases[] = {
        {L"\\My Documents\\a.jpg", L"", L"", L"_m", "png", L"\\My Documents\\", L"a_m.png"},
        {L"\\My Documents\\noext", L"", L"", L"", "gif", L"\\My Documents\\", L"noext.gif"},
        {L"\\Pics.2024\\noext", L"", L"x_", L"", "jpeg", L"\\Pics.2024\\", L"x_noext.jpg"},
        {L"\\a.b\\c.d.tif", L"\\Out\\", L"p", L"s", "bmp", L"\\Out\\", L"pc.ds.bmp"},
        {L"bare.png", L"", L"", L"_m", "tga", L"", L"bare_m.tga"},
    };
    for (const Case& c : cases) {
        OutputFolder folder = Folder(c.folder, c.prefix, c.suffix);
        wchar_t sourceFolder[kOutputPathCapacity];
        wchar_t sourceName[kOutputPathCapacity];
        wchar_t name[kOutputPathCapacity];
        ASSERT_TRUE(BuildOutputName(c.source, sourceFolder, sourceName, name, &folder, Format(c.format)));
        EXPECT_STREQ(folder.folder, c.folderOut);
        EXPECT_STREQ(name, c.name);
        EXPECT_STREQ(sourceName, c.source + FileNameOffset(c.source));
    }
}

TEST(OutputNames, ExtensionOnlyInTheFileNameAndBounded) {
    wchar_t path[kOutputPathCapacity] = L"\\Some.Folder\\name";
    EXPECT_TRUE(SetOutputExtension(path, kOutputPathCapacity, Format("png")));
    EXPECT_STREQ(path, L"\\Some.Folder\\name");  // the folder's '.' is no extension
    std::wcscpy(path, L"\\Some.Folder\\name.old");
    EXPECT_TRUE(SetOutputExtension(path, kOutputPathCapacity, Format("png")));
    EXPECT_STREQ(path, L"\\Some.Folder\\name.png");

    wchar_t small[8] = L"abc.x";
    EXPECT_FALSE(SetOutputExtension(small, 6, Format("jpeg")));  // "abc.jpg" needs 8
    EXPECT_STREQ(small, L"abc.x");

    // A prefix and a name that together pass the path's capacity are refused.
    OutputFolder folder = Folder(L"", std::wstring(63, L'p').c_str(), L"");
    const std::wstring source = L"\\" + std::wstring(200, L'n') + L".jpg";
    wchar_t name[kOutputPathCapacity];
    EXPECT_FALSE(BuildOutputName(source.c_str(), nullptr, nullptr, name, &folder, Format("png")));
}

TEST(OutputNames, ColourModeByFormatAndOption) {
    struct Case {
        const char* format;
        int32_t mode;
        int32_t colourMode;
    } cases[] = {
        {"jpeg", kOutputBlackWhite, 19}, {"gif", kOutputBlackWhite, 1}, {"gif", kOutputColours16, 13},
        {"gif", kOutputColours256, 18},  {"gif", 7, 18},                {"bmp", kOutputBlackWhite, 1},
        {"bmp", kOutputColours16, 13},   {"bmp", kOutputTrueColour, 19}, {"png", kOutputColours256, 18},
        {"png", 9, 19},                  {"tga", kOutputBlackWhite, 19},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OutputColourMode(Format(c.format), c.mode, c.mode, c.mode), c.colourMode)
            << c.format << " " << c.mode;
    const OutputOptions png = Options("png");
    EXPECT_EQ(png.compression, 7);
    EXPECT_EQ(Options("jpeg").compression, 0);
}

TEST(CaptureNames, NextFreeNameNeverOverwrites) {
    ScratchDir dir;
    const std::wstring folder = dir.path().wstring() + L"/";
    for (const char* name : {"capture001.png", "capture002.png", "capture001.bmp"})
        WriteBytes(dir.File(name), {1});
    wchar_t name[64];
    ASSERT_TRUE(FindCaptureName(folder.c_str(), Format("png"), WidePathExists, name, 64));
    EXPECT_STREQ(name, L"capture003.png");
    ASSERT_TRUE(FindCaptureName(folder.c_str(), Format("bmp"), WidePathExists, name, 64));
    EXPECT_STREQ(name, L"capture002.bmp");

    // Every number taken: no name at all, rather than the last one again.
    EXPECT_FALSE(FindCaptureName(folder.c_str(), Format("png"), [](const wchar_t*) { return 1; }, name, 64));
}

#ifndef _WIN32
TEST(SaveWithOutputOptions, FormatsAndColourOptionsAsOraclesSeeThem) {
    REQUIRE_FIXTURES();
    ScratchDir dir;
    struct Case {
        const char* format;
        int32_t mode;
        const char* name;
        const char* pillow;  // what Pillow reports
    } cases[] = {
        {"png", kOutputBlackWhite, "photo_m.png", "PNG 1 (320, 240)"},
        {"bmp", kOutputColours16, "photo_m.bmp", "BMP P (320, 240)"},
        {"gif", kOutputColours256, "photo_m.gif", "GIF P (320, 240)"},
        {"jpeg", kOutputTrueColour, "photo_m.jpg", "JPEG RGB (320, 240)"},
        {"tga", kOutputTrueColour, "photo_m.tga", "TGA RGB (320, 240)"},
    };
    const std::wstring source = dir.File("photo.jpg");
    WriteBytes(source, ReadBytes(Fixture("photo.jpg")));
    for (const Case& c : cases) {
        Bitmap b = Load(source);
        wchar_t written[kOutputPathCapacity];
        EXPECT_EQ(SaveWithOutputOptions(Options(c.format, c.mode), Folder(L"", L"", L"_m"), source.c_str(), &b,
                                        false, SaveHooks{}, written),
                  kSaveOutcomeSaved);
        FreeBitmap(&b);
        EXPECT_EQ(std::wstring(written), dir.File(c.name));
        EXPECT_EQ(Pillow(written, "im.format, im.mode, im.size"), std::string(c.pillow) + "\n")
            << c.format;
    }
    // 16 colours: at most 16 distinct colours, as ImageMagick counts them.
    EXPECT_LE(std::stoi(testing_support::RunCommand("identify -format %k " +
                                                    testing_support::ShellQuote(
                                                        testing_support::Narrow(dir.File("photo_m.bmp"))))),
              16);
}

TEST(SaveWithOutputOptions, AsksBeforeReplacingAndKeepsTheFileOnCancel) {
    REQUIRE_FIXTURES();
    ScratchDir dir;
    const std::wstring source = dir.File("photo.jpg");
    WriteBytes(source, ReadBytes(Fixture("photo.jpg")));
    const std::wstring target = dir.File("photo_m.png");
    const std::vector<uint8_t> old = {'o', 'l', 'd'};

    struct Record {
        bool answer = false;
        int asked = 0;
        int replaced = 0;
        int announced = 0;
    } record;
    SaveHooks hooks;
    hooks.user = &record;
    hooks.confirmOverwrite = [](void* user, const wchar_t*) {
        auto* r = static_cast<Record*>(user);
        ++r->asked;
        return r->answer;
    };
    hooks.replaced = [](void* user, const wchar_t*, const wchar_t*) { ++static_cast<Record*>(user)->replaced; };
    hooks.saved = [](void* user, const wchar_t*, const wchar_t*, bool announce) {
        static_cast<Record*>(user)->announced += announce;
    };

    for (bool answer : {false, true}) {
        WriteBytes(target, old);
        record.answer = answer;
        Bitmap b = Load(source);
        EXPECT_EQ(SaveWithOutputOptions(Options("png"), Folder(L"", L"", L"_m"), source.c_str(), &b, true, hooks),
                  answer ? kSaveOutcomeSaved : kSaveOutcomeSkipped);
        FreeBitmap(&b);
        EXPECT_EQ(ReadBytes(target) == old, !answer);
    }
    EXPECT_EQ(record.asked, 2);
    EXPECT_EQ(record.replaced, 1);
    EXPECT_EQ(record.announced, 1);
}

TEST(SaveWithOutputOptions, FailingSaveLeavesTheExistingFileByteIdentical) {
    REQUIRE_FIXTURES();
    ScratchDir dir;
    const std::wstring source = dir.File("photo.jpg");
    const std::vector<uint8_t> original = ReadBytes(Fixture("photo.jpg"));
    WriteBytes(source, original);
    // The tool writes over its own source (no suffix, same format); the card
    // fills up part-way.
    int failures = 0;
    SaveHooks hooks;
    hooks.user = &failures;
    hooks.failed = [](void* user, const wchar_t*, int) { ++*static_cast<int*>(user); };
    Bitmap b = Load(source);
    SaveOutcome outcome;
    {
        testing_support::FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.active());
        outcome = SaveWithOutputOptions(Options("bmp"), Folder(L"", L"", L""), source.c_str(), &b, false, hooks);
        const std::wstring bmp = dir.File("photo.bmp");
        EXPECT_FALSE(WidePathExists(bmp.c_str()));
        // Over the source itself (a JPEG of the same name).
        FreeBitmap(&b);
        b = Load(source);
        EXPECT_EQ(SaveWithOutputOptions(Options("jpeg", 3, 100), Folder(L"", L"", L""), source.c_str(), &b, false,
                                        hooks),
                  kSaveOutcomeFailed);
    }
    FreeBitmap(&b);
    EXPECT_EQ(outcome, kSaveOutcomeFailed);
    EXPECT_EQ(failures, 2);
    EXPECT_TRUE(ReadBytes(source) == original);
    size_t entries = 0;
    for (const auto& e : testing_support::fs::directory_iterator(dir.path())) entries += e.is_regular_file();
    EXPECT_EQ(entries, 1u) << "no temporary file is left behind";
}

TEST(SaveWithOutputOptions, RebuildsTheExifThumbnailTurnedToThePicture) {
    REQUIRE_FIXTURES();
    ScratchDir dir;
    const std::wstring source = dir.File("photo.jpg");
    WriteBytes(source, ReadBytes(Fixture("photo.jpg")));
    Bitmap b = Load(source);
    ASSERT_EQ(ApplyRotate(&b, kRotateRight), 0);  // 240 x 320 now
    wchar_t written[kOutputPathCapacity];
    ASSERT_EQ(SaveWithOutputOptions(Options("jpeg"), Folder(L"", L"", L"_t"), source.c_str(), &b, false, SaveHooks{},
                                    written),
              kSaveOutcomeSaved);
    FreeBitmap(&b);
    const std::string quoted = testing_support::ShellQuote(testing_support::Narrow(written));
    EXPECT_EQ(testing_support::RunCommand("exiftool -b -ThumbnailImage " + quoted + " | identify -format %wx%h -"),
              "120x160");
    EXPECT_EQ(testing_support::RunCommand("exiftool -s3 -Make " + quoted), "Testcam\n");
    // The new thumbnail shows the picture, not the old red square.
    EXPECT_EQ(testing_support::RunCommand("exiftool -b -ThumbnailImage " + quoted +
                                          " | convert - -format '%[fx:mean.g>0.05]' info:"),
              "1");
}

TEST(LosslessRotate, TurnsInPlaceLikeJpegtranAndKeepsTheFileOnFailure) {
    REQUIRE_FIXTURES();
    testing_support::EnsureFormatRegistry();
    ScratchDir dir;
    const std::wstring source = dir.File("turn.jpg");
    WriteBytes(source, ReadBytes(Fixture("turn.jpg")));
    wchar_t written[kOutputPathCapacity];
    EXPECT_EQ(RotateJpegLosslessly(source.c_str(), Folder(L"", L"", L""), kRotateRight, nullptr, nullptr, written),
              kLosslessReplacedExisting);
    EXPECT_EQ(std::wstring(written), source);
    const std::string ae = testing_support::RunCommand(
        "compare -metric AE " + testing_support::ShellQuote(testing_support::Narrow(source)) + " " +
        testing_support::ShellQuote(testing_support::Narrow(Fixture("turn-rot90.jpg"))) + " null: 2>&1");
    EXPECT_EQ(ae, "0");

    // A card that fills up: the file stays byte-identical, no temporary left.
    const std::vector<uint8_t> before = ReadBytes(source);
    {
        testing_support::FileSizeLimit limit(200);
        ASSERT_TRUE(limit.active());
        EXPECT_EQ(RotateJpegLosslessly(source.c_str(), Folder(L"", L"", L""), kRotateHalf, nullptr, nullptr,
                                       nullptr),
                  kLosslessFailed);
    }
    EXPECT_TRUE(ReadBytes(source) == before);
    size_t entries = 0;
    for (const auto& e : testing_support::fs::directory_iterator(dir.path())) entries += e.is_regular_file();
    EXPECT_EQ(entries, 1u);

    // A camera picture that is not whole blocks high (400 x 300 at 4:2:0):
    // turned with its partial edge blocks dropped, as jpegtran -trim does,
    // its EXIF kept.
    const std::wstring camera = dir.File("camera.jpg");
    WriteBytes(camera, ReadBytes(Fixture("camera.jpg")));
    EXPECT_EQ(RotateJpegLosslessly(camera.c_str(), Folder(L"", L"", L""), kRotateRight, nullptr, nullptr, nullptr),
              kLosslessReplacedExisting);
    const std::string cameraPath = testing_support::ShellQuote(testing_support::Narrow(camera));
    EXPECT_EQ(testing_support::RunCommand(
                  "compare -metric AE " + cameraPath + " " +
                  testing_support::ShellQuote(testing_support::Narrow(Fixture("camera-rot90.jpg"))) + " null: 2>&1"),
              "0");
    EXPECT_EQ(testing_support::RunCommand("identify -format %wx%h " + cameraPath), "288x400");
    EXPECT_EQ(testing_support::RunCommand("exiftool -s3 -Make " + cameraPath), "Testcam\n");

    // Into the output folder: an existing output is asked about; kept on no.
    WriteBytes(dir.File("turn_r.jpg"), {'x'});
    EXPECT_EQ(RotateJpegLosslessly(source.c_str(), Folder(L"", L"", L"_r"), kRotateLeft,
                                   [](void*, const wchar_t*) { return false; }, nullptr, nullptr),
              kLosslessKept);
    EXPECT_TRUE(ReadBytes(dir.File("turn_r.jpg")) == std::vector<uint8_t>{'x'});
}
#endif

TEST(ResizeTargets, PresetsUserSizesAndOrientation) {
    struct Case {
        int32_t entry, width, height, dpi;
        bool keepRatio;
        int32_t pictureWidth, pictureHeight;
        ResizeSize want;
    } cases[] = {
        {kResizeVga, 0, 0, 0, true, 1200, 1600, {480, 640, 0}},
        {kResizeVga, 0, 0, 0, true, 1600, 1200, {640, 480, 0}},
        {kResize240Free, 0, 0, 0, true, 1600, 1200, {240, 180, 0}},
        {kResize240Free, 0, 0, 0, true, 1200, 1600, {240, 320, 0}},
        {kResizeUser, 800, 800, 300, true, 1600, 1200, {800, 600, 300}},
        {kResizeUser, 800, 800, 300, false, 1600, 1200, {800, 800, 300}},
        {kResizeUser, 800, 300, 0, true, 1600, 1200, {400, 300, 0}},
        {kResizeScreen, 800, 800, 300, true, 1600, 1200, {320, 240, 0}},
        {kResize25, 0, 0, 0, true, 1000, 600, {250, 150, 0}},
        {kResizeMms, 0, 0, 0, true, 100, 100, {160, 120, 0}},
        {kResizeUser, 100, 100, 0, true, 0, 0, {100, 100, 0}},  // a picture with no size: no division by zero
    };
    for (const Case& c : cases) {
        ResizeRequest r;
        r.entry = c.entry;
        r.width = c.width;
        r.height = c.height;
        r.dpi = c.dpi;
        r.keepRatio = c.keepRatio;
        const ResizeSize got = ResizeTarget(r, c.pictureWidth, c.pictureHeight);
        EXPECT_EQ(got.width, c.want.width) << c.entry << " " << c.pictureWidth;
        EXPECT_EQ(got.height, c.want.height) << c.entry << " " << c.pictureWidth;
        EXPECT_EQ(got.dpi, c.want.dpi) << c.entry;
    }
    // Typing one side with Keep ratio on: the other follows the picture's shape.
    struct Typed {
        int64_t typed;
        int32_t typedSide, otherSide, want;
    } typedCases[] = {
        {800, 4000, 3000, 600},  // the picture's own shape, not its small preview's
        {600, 3000, 4000, 800},
        {1, 3000, 4000, 1},
        {0, 3000, 4000, 0},
        {800, 0, 3000, 0},  // a picture with no size
        {4294967295LL, 1, 2147483647, 2147483647},
    };
    for (const Typed& c : typedCases)
        EXPECT_EQ(KeptRatioSide(c.typed, c.typedSide, c.otherSide), c.want) << c.typed << " " << c.typedSide;
    int32_t w = 0;
    int32_t h = 0;
    JpegLoadSize(2048, 1536, 320, 240, &w, &h);
    EXPECT_EQ(w, 341);
    EXPECT_EQ(h, 256);
    JpegLoadSize(100, 100, 320, 240, &w, &h);
    EXPECT_EQ(w, 100);
}

TEST(ResizeTargets, AJpegDecodedReducedGetsTheTargetOfTheFilesOwnSize) {
    REQUIRE_FIXTURES();
    testing_support::EnsureFormatRegistry();
    const std::wstring path = Fixture("big.jpg");  // 2048 x 1536
    struct Case {
        int32_t entry;
        int32_t loadWidth;  // 0: decoded at full size
        int32_t width, height;
    } cases[] = {
        {kResize50, 1024, 1024, 768},
        {kResize25, 512, 512, 384},
        {kResize75, 0, 1536, 1152},
        {kResizeQvga, 341, 320, 240},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        ResizeRequest r;
        r.entry = c.entry;
        LoadOptions options{};
        ImageInfo header{};
        ResizeLoadOptions(path.c_str(), r, &options, &header);
        EXPECT_EQ((options.flags & kLoadReduced) ? options.targetWidth : 0, c.loadWidth);
        Bitmap b{};
        ASSERT_EQ(LoadPictureOriented(path.c_str(), &b, &options, nullptr, MetadataExifOrientation()), 0);
        EXPECT_EQ(ApplyResize(&b, r, header), 0);
        EXPECT_EQ(b.width, c.width);
        EXPECT_EQ(b.height, c.height);
        FreeBitmap(&b);
        FreePictureInfo(&header);
    }
    // A picture turned upright on loading takes the file's size turned too.
    ImageInfo turned{};
    turned.width = 3000;
    turned.height = 4000;
    Bitmap b{};
    ASSERT_TRUE(AllocBitmap(&b, kPixelRGB, 4, 400, 300));
    ResizeRequest r;
    r.entry = kResize25;
    EXPECT_EQ(ApplyResize(&b, r, turned), 0);
    EXPECT_EQ(b.width, 1000);
    EXPECT_EQ(b.height, 750);
    FreeBitmap(&b);
}

TEST(Rename, NamesNumbersAndRefusals) {
    struct Case {
        const wchar_t* base;
        uint32_t number, digits;
        const wchar_t* extension;
        const wchar_t* want;  // null: refused
    } cases[] = {
        {L"Img", 1, 3, L"jpg", L"Img001.jpg"},
        {L"Img", 100, 2, L"jpg", L"Img100.jpg"},
        {L"Img", 7, 0, L"png", L"Img7.png"},                        // at least one digit
        {L"Img", 7, 4000000000u, L"", L"Img00000000000000000007"},  // at most 20; no extension, no dot
        {L"..\\up", 1, 2, L"jpg", nullptr},
        {L"a/b", 1, 2, L"jpg", nullptr},
        {L"", 1, 2, L"jpg", nullptr},
        // The extension cannot lead out of the folder or into a stream.
        {L"Img", 1, 2, L"jpg\\..\\..\\x", nullptr},
        {L"Img", 1, 2, L"/x", nullptr},
        {L"Img", 1, 2, L"jpg:hidden", nullptr},
        {L"Img", 1, 2, L"j*g", nullptr},
    };
    for (const Case& c : cases) {
        RenamePlan plan{};
        std::wcscpy(plan.base, c.base);
        std::wcscpy(plan.extension, c.extension);
        plan.digits = c.digits;
        wchar_t name[kRenameTextCapacity];
        const bool ok = RenamedFileName(plan, c.number, name, kRenameTextCapacity);
        EXPECT_EQ(ok, c.want != nullptr) << c.base;
        if (ok && c.want) {
            EXPECT_STREQ(name, c.want);
        }
    }
    wchar_t base[16];
    wchar_t ext[16];
    SplitRenameName(L"holiday.2024.jpeg", base, ext, 16);
    EXPECT_STREQ(base, L"holiday.2024");
    EXPECT_STREQ(ext, L"jpeg");
    SplitRenameName(L"README", base, ext, 16);
    EXPECT_STREQ(base, L"README");
    EXPECT_STREQ(ext, L"");
}

TEST(Rename, RenamesInOrderAndSkipsATakenName) {
    ScratchDir dir;
    std::vector<SelectedFile> files(3);
    const char* names[] = {"b.jpg", "Img002.jpg", "c.jpg"};
    for (size_t i = 0; i < 3; ++i) {
        WriteBytes(dir.File(names[i]), {uint8_t('0' + i)});
        std::wcscpy(files[i].path, dir.File(names[i]).c_str());
    }
    RenamePlan plan{};
    std::wcscpy(plan.base, L"Img");
    std::wcscpy(plan.extension, L"jpg");
    plan.start = 1;
    plan.digits = 3;
    std::vector<uint32_t> renamed;
    const auto move = [](const wchar_t* from, const wchar_t* to) {
        return WidePathExists(to) ? -1 : RenameWidePath(from, to);
    };
    EXPECT_EQ(RenameSelection(files.data(), 3, plan, move,
                              [](void* user, uint32_t i, const wchar_t*) {
                                  static_cast<std::vector<uint32_t>*>(user)->push_back(i);
                              },
                              &renamed),
              2u);
    // Img002.jpg is already taken (by the second file itself): it keeps its
    // name and number 2 is left out.
    EXPECT_EQ(renamed, (std::vector<uint32_t>{0, 2}));
    EXPECT_EQ(ReadBytes(dir.File("Img001.jpg")), std::vector<uint8_t>{'0'});
    EXPECT_EQ(ReadBytes(dir.File("Img002.jpg")), std::vector<uint8_t>{'1'});
    EXPECT_EQ(ReadBytes(dir.File("Img003.jpg")), std::vector<uint8_t>{'2'});

    // Names taken by files not yet renamed: nothing moves.
    plan.start = 2;
    std::wcscpy(files[0].path, dir.File("Img001.jpg").c_str());
    std::wcscpy(files[1].path, dir.File("Img003.jpg").c_str());
    EXPECT_EQ(RenameSelection(files.data(), 2, plan, move, nullptr, nullptr), 0u);
    std::wcscpy(plan.base, L"..\\x");
    EXPECT_EQ(RenameSelection(files.data(), 2, plan, move, nullptr, nullptr), 0u);
    // An extension with a separator moves nothing, not even into the folder
    // it names.
    std::wcscpy(plan.base, L"Img");
    std::wcscpy(plan.extension, L"jpg\\..\\out");
    plan.start = 7;
    EXPECT_EQ(RenameSelection(files.data(), 2, plan, move, nullptr, nullptr), 0u);
    EXPECT_FALSE(ReadBytes(files[0].path).empty());
}

namespace {

struct RecordGuard {
    IptcRecord record{};
    ~RecordGuard() { IptcFree(&record); }
};

std::string Slot(const IptcRecord& r, int dataset) {
    return r.slots[dataset].text ? std::string(r.slots[dataset].text, r.slots[dataset].length) : std::string();
}

}  // namespace

TEST(IptcTemplates, EncodesInTheTemplateOrderAndRoundTrips) {
    RecordGuard in;
    IptcSetText(&in.record, 105, "Sea", 3);
    IptcAddListItem(&in.record, kIptcKeywords, "sky");
    EXPECT_EQ(IptcTemplateEncode(in.record), "105:3:Sea:25:3:sky:");

    IptcSetText(&in.record, 120, "a:b:c", 5);  // a value holding the separator
    IptcSetText(&in.record, 10, "5x", 2);      // urgency: one character
    IptcAddListItem(&in.record, kIptcKeywords, "sun");
    IptcAddListItem(&in.record, kIptcSupplementalCategories, "cat");
    IptcSetText(&in.record, 200, "nope", 4);   // not a template dataset
    const std::string text = IptcTemplateEncode(in.record);
    EXPECT_EQ(text, "120:5:a:b:c:105:3:Sea:25:3:sky:25:3:sun:20:3:cat:10:1:5:");

    RecordGuard out;
    ASSERT_EQ(IptcTemplateDecode(text.data(), text.size(), &out.record), 1);
    EXPECT_EQ(Slot(out.record, 120), "a:b:c");
    EXPECT_EQ(Slot(out.record, 105), "Sea");
    EXPECT_EQ(Slot(out.record, 10), "5");
    EXPECT_EQ(Slot(out.record, 200), "");
    ASSERT_EQ(out.record.lists[kIptcKeywords].count, 2u);
    EXPECT_STREQ(out.record.lists[kIptcKeywords].items[1], "sun");
    EXPECT_EQ(out.record.lists[kIptcSupplementalCategories].count, 1u);
    EXPECT_EQ(IptcTemplateDecode("", 0, &out.record), 0);
}

TEST(IptcTemplates, LeavesOutWhatWouldPassTheLimitButKeepsLaterEntries) {
    RecordGuard in;
    const std::string caption(1000, 'c');
    IptcSetText(&in.record, 120, caption.data(), caption.size());
    const std::string headline(100, 'h');
    IptcSetText(&in.record, 105, headline.data(), headline.size());
    IptcSetText(&in.record, 90, "Oslo", 4);
    const std::string text = IptcTemplateEncode(in.record);
    EXPECT_LT(text.size(), kIptcTemplateCapacity);
    EXPECT_EQ(text, "120:1000:" + caption + ":90:4:Oslo:");
}

TEST(IptcTemplates, ParseNeverReadsPastTheText) {
    struct Case {
        const char* text;
        const char* headline;  // what the headline becomes
    } cases[] = {
        {"105:3:Sea:", "Sea"},
        {"105:3:Sea", "Sea"},          // no final separator
        {"105:30:Sea:", ""},           // length past the end: the entry is dropped
        {"105:99999999999999999999:x", ""},
        {"105:3", ""},
        {"105", ""},
        {"x:3:Sea:", ""},
        {"105:-1:Sea:", ""},
        {"5:1:a:105:3:Sea:105:9", "Sea"},
    };
    for (const Case& c : cases) {
        // Copied into a buffer of exactly the text's length, so ASan sees any
        // read past it.
        const std::vector<char> exact(c.text, c.text + std::strlen(c.text));
        RecordGuard out;
        EXPECT_EQ(IptcTemplateDecode(exact.data(), exact.size(), &out.record), 1) << c.text;
        EXPECT_EQ(Slot(out.record, 105), c.headline) << c.text;
    }
}

TEST(BatchSteps, ButtonStatesAndSteps) {
    struct Case {
        uint32_t count, current;
        bool previous, next;
    } cases[] = {{1, 0, false, false}, {3, 0, false, true}, {3, 1, true, true}, {3, 2, true, false}};
    for (const Case& c : cases) {
        const StepStates s = StepButtonStates(c.count, c.current);
        EXPECT_EQ(s.previous, c.previous) << c.count << " " << c.current;
        EXPECT_EQ(s.next, c.next) << c.count << " " << c.current;
    }
    EXPECT_EQ(StepIndex(3, 0, -1), 0u);
    EXPECT_EQ(StepIndex(3, 2, +1), 2u);
    EXPECT_EQ(StepIndex(3, 1, +1), 2u);
    EXPECT_TRUE(ApplyClosesSheet(1, false));
    EXPECT_FALSE(ApplyClosesSheet(3, false));
    EXPECT_TRUE(ApplyClosesSheet(3, true));
}

TEST(BatchApplyLoop, RangeOrderSkipsAndOneAnnouncement) {
    std::vector<SelectedFile> files(4);
    for (size_t i = 0; i < files.size(); ++i) std::swprintf(files[i].path, 16, L"f%zu", i);
    struct Log {
        std::wstring order;
        std::wstring announced;
        std::wstring failing;  // files whose load fails
    } log;
    ApplyHooks hooks;
    hooks.user = &log;
    hooks.load = [](void* user, const wchar_t* path, Bitmap* b) {
        if (static_cast<Log*>(user)->failing.find(path[1]) != std::wstring::npos) return 3;
        return AllocBitmap(b, kPixelGrey, 1, 2, 2) ? 0 : 1;
    };
    hooks.operate = [](void*, const wchar_t* path, Bitmap*) { return path[1] == L'2' ? 17 : 0; };
    hooks.save = [](void* user, const wchar_t* path, Bitmap*, bool announce) {
        auto* l = static_cast<Log*>(user);
        l->order += path[1];
        if (announce) l->announced += path[1];
        return kSaveOutcomeSaved;
    };

    ApplyCounts counts = RunApplyLoop(files.data(), 4, 1, false, hooks);
    EXPECT_EQ(log.order, L"1");
    EXPECT_EQ(log.announced, L"1");
    EXPECT_EQ(counts.saved, 1u);

    log = Log{L"", L"", L"0"};
    counts = RunApplyLoop(files.data(), 4, 1, true, hooks);
    EXPECT_EQ(log.order, L"13");  // 0 does not load, 2 is refused by the operation
    EXPECT_EQ(log.announced, L"3");
    EXPECT_EQ(counts.saved, 2u);
    EXPECT_EQ(counts.skipped, 2u);

    // The last file fails to load: no announcement at all.
    log = Log{L"", L"", L"3"};
    RunApplyLoop(files.data(), 4, 0, true, hooks);
    EXPECT_EQ(log.announced, L"");
    EXPECT_EQ(RunApplyLoop(files.data(), 4, 9, false, hooks).saved, 0u);
}

TEST(BatchTools, AdjustValuesAndOperations) {
    AdjustValues v;
    EXPECT_TRUE(AdjustColoursUnchanged(v));
    v.gamma = 1.005;
    EXPECT_TRUE(AdjustColoursUnchanged(v));
    v.gamma = 1.02;
    EXPECT_FALSE(AdjustColoursUnchanged(v));
    EXPECT_EQ(ClampAdjustValue(250), 100);
    EXPECT_EQ(ClampAdjustValue(-1000000), -100);
    EXPECT_DOUBLE_EQ(ClampAdjustGamma(0.05), 0.1);
    EXPECT_DOUBLE_EQ(ClampAdjustGamma(2.5), 2.5);

    // Start values change nothing; a 1-bit picture is refused (17).
    Bitmap b{};
    ASSERT_TRUE(AllocBitmap(&b, kPixelRGB, 4, 3, 2));
    for (int i = 0; i < b.bytesPerRow * b.height; ++i) b.pixels[i] = uint8_t(i * 37);
    const std::vector<uint8_t> before(b.pixels, b.pixels + b.bytesPerRow * b.height);
    EXPECT_EQ(ApplyAdjust(&b, AdjustValues{}), 0);
    EXPECT_TRUE(std::vector<uint8_t>(b.pixels, b.pixels + b.bytesPerRow * b.height) == before);
    EXPECT_EQ(ApplyFilter(&b, FilterValues{}), 0);
    EXPECT_TRUE(std::vector<uint8_t>(b.pixels, b.pixels + b.bytesPerRow * b.height) == before);
    AdjustValues red;
    red.red = 10;
    ASSERT_EQ(ApplyAdjust(&b, red), 0);
    EXPECT_EQ(b.pixels[0], uint8_t(before[0] + 10));
    EXPECT_EQ(b.pixels[1], before[1]);
    FreeBitmap(&b);

    ASSERT_TRUE(AllocBitmap(&b, kPixelBilevel, 4, 8, 2));
    AdjustValues bright;
    bright.brightness = 20;
    EXPECT_EQ(ApplyAdjust(&b, bright), 17);
    FreeBitmap(&b);

    // A palette picture comes out of the filter in true colour.
    ASSERT_TRUE(AllocBitmap(&b, kPixelPalette, 4, 4, 4));
    b.paletteCount = 2;
    EXPECT_EQ(ApplyFilter(&b, FilterValues{}), 0);
    EXPECT_EQ(b.pixelType, kPixelBGR);
    FreeBitmap(&b);
}

TEST(BatchTools, AdjustSettingsOnTheTrackbarAndTyped) {
    AdjustValues v;
    int32_t lo = 0;
    int32_t hi = 0;
    AdjustSettingRange(kAdjustGamma, &lo, &hi);
    EXPECT_EQ(lo, 10);
    EXPECT_EQ(hi, 200);
    EXPECT_EQ(AdjustSettingPosition(v, kAdjustGamma), 10);  // gamma 1.00 at start
    SetAdjustFromPosition(&v, kAdjustGamma, 25);
    EXPECT_DOUBLE_EQ(v.gamma, 2.5);
    SetAdjustFromPosition(&v, kAdjustBlue, -40);
    EXPECT_EQ(v.blue, -40);
    EXPECT_EQ(AdjustSettingPosition(v, kAdjustBlue), -40);
    EXPECT_TRUE(SetAdjustFromText(&v, kAdjustBrightness, L"250"));
    EXPECT_EQ(v.brightness, 100);
    EXPECT_TRUE(SetAdjustFromText(&v, kAdjustGamma, L"0.05"));
    EXPECT_DOUBLE_EQ(v.gamma, 0.1);
    EXPECT_FALSE(SetAdjustFromText(&v, kAdjustContrast, L"abc"));
    EXPECT_EQ(v.contrast, 0);
    // Switching settings keeps every value.
    EXPECT_EQ(AdjustSettingPosition(v, kAdjustBlue), -40);
}

TEST(BatchTools, ViewAdjustBarPositions) {
    ViewAdjustValues v;
    EXPECT_EQ(ViewAdjustPosition(v, kViewBrightness), 100);
    EXPECT_EQ(ViewAdjustPosition(v, kViewGamma), 100);
    SetViewAdjustFromPosition(&v, kViewBrightness, 200);
    EXPECT_EQ(v.brightness, 100);
    SetViewAdjustFromPosition(&v, kViewGamma, 1);
    EXPECT_DOUBLE_EQ(v.gamma, 0.01);
    SetViewAdjustFromPosition(&v, kViewGamma, 900);  // beyond the bar: its end
    EXPECT_DOUBLE_EQ(v.gamma, 3.0);

    Bitmap backup{};
    Bitmap shown{};
    ASSERT_TRUE(AllocBitmap(&backup, kPixelBGR, 4, 3, 2));
    ASSERT_TRUE(AllocBitmap(&shown, kPixelBGR, 4, 3, 2));
    for (int i = 0; i < backup.bytesPerRow * backup.height; ++i) backup.pixels[i] = uint8_t(i);
    uint8_t table[256];
    for (int i = 0; i < 256; ++i) table[i] = uint8_t(255 - i);
    ASSERT_TRUE(MapThroughTable(backup, &shown, table));
    EXPECT_EQ(shown.pixels[0], 255);
    EXPECT_EQ(shown.pixels[shown.bytesPerRow + 8], uint8_t(255 - (backup.bytesPerRow + 8)));
    FreeBitmap(&shown);
    ASSERT_TRUE(AllocBitmap(&shown, kPixelBGR, 4, 4, 2));
    EXPECT_FALSE(MapThroughTable(backup, &shown, table));  // records that do not match
    FreeBitmap(&shown);
    FreeBitmap(&backup);
}

TEST(BatchTools, CropScaleAndClipping) {
    EXPECT_EQ(CropScale(480, 120), 400);
    EXPECT_EQ(CropToPicture(30, 400), 120);
    EXPECT_EQ(CropToPreview(120, 400), 30);
    EXPECT_EQ(CropScale(480, 0), 100);  // no preview: no division by zero
    EXPECT_EQ(CropToPreview(120, 0), 120);

    Bitmap b{};
    ASSERT_TRUE(AllocBitmap(&b, kPixelGrey, 1, 10, 8));
    EXPECT_EQ(ApplyCrop(&b, 4, 2, 1000, 3), 0);  // clipped to the right edge
    EXPECT_EQ(b.width, 6);
    EXPECT_EQ(b.height, 3);
    EXPECT_EQ(ApplyCrop(&b, 50, 0, 5, 5), 16);  // wholly outside
    EXPECT_EQ(ApplyCrop(&b, 0xFFFFFFFFu, 0, 5, 5), 16);
    FreeBitmap(&b);

    ResizeRequest r;
    r.entry = kResize50;
    ASSERT_TRUE(AllocBitmap(&b, kPixelGrey, 1, 10, 8));
    EXPECT_EQ(ApplyResize(&b, r, ImageInfo{}), 0);  // no header read: the bitmap's own size
    EXPECT_EQ(b.width, 5);
    EXPECT_EQ(b.height, 4);
    r.entry = kResizeUser;
    r.width = 20;
    r.height = 20;
    r.dpi = 300;
    r.keepRatio = false;
    EXPECT_EQ(ApplyResize(&b, r, ImageInfo{}), 0);
    EXPECT_EQ(b.xResolution, 300);
    FreeBitmap(&b);
}

TEST(Properties, FactsOfAPicture) {
    ImageInfo info{};
    info.formatIndex = int16_t(Format("png"));
    info.width = 640;
    info.height = 480;
    info.planes = 1;
    info.bitsPerPlane = 8;
    PictureFacts f = DescribePicture(info);
    EXPECT_EQ(f.type, L"PNG");
    EXPECT_EQ(f.dimensions, L"640 x 480");
    EXPECT_EQ(f.colours, L"256");
    EXPECT_EQ(f.dpi, L"72 x 72");  // no resolution
    info.planes = 3;
    info.xResolution = 300;
    info.yResolution = 150;
    f = DescribePicture(info);
    EXPECT_EQ(f.colours, L"16M");
    EXPECT_EQ(f.dpi, L"300 x 150");
    info.planes = 1;
    info.bitsPerPlane = 32;
    EXPECT_EQ(DescribePicture(info).colours, L"0");
}
