// Stand-alone slideshows: the maker's file read back by the player's reader
// and, natively, by an independent Python reader (struct and Pillow); the
// header cases (no sound, a sound that cannot be opened); pictures that fail
// leave no offset behind; refusals and cancel leave no file; hostile shows
// are refused before anything is allocated; the program image's end from PE
// headers.
#include "tools/slideshowmaker.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "albumtest.h"
#include "imagelib/imagelib.h"
#include "player/showfile.h"
#include "tests/support/oracles.h"
#include "tests/support/pictures.h"
#include "tests/support/testfiles.h"

using namespace albumtest;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::EnsureFormatRegistry;
using testing_support::WriteBytes;

namespace {

constexpr size_t kStubSize = 3000;

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

void PutU32(std::vector<uint8_t>* b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b->push_back(uint8_t(v >> (8 * i)));
}

int32_t Stop(uintptr_t, const wchar_t*, int32_t, int32_t) { return 0; }

int ReadShow(const std::wstring& path, int64_t start, AppendedShow* show) {
    FileSource source;
    InitFileSource(&source, path.c_str());
    PictureFile* file = OpenPictureFile(&source, kOpenReadBinary);
    if (!file) return -1;
    const int r = ReadAppendedShow(file, start, show);
    ClosePictureFile(file);
    return r;
}

int ReadShowBytes(const std::vector<uint8_t>& bytes, int64_t start, AppendedShow* show) {
    FileSource source;
    InitMemorySource(&source, bytes.data(), bytes.size());
    PictureFile* file = OpenPictureFile(&source, kOpenReadBinary);
    if (!file) return -1;
    const int r = ReadAppendedShow(file, start, show);
    ClosePictureFile(file);
    return r;
}

class SlideshowMakerTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureFormatRegistry();
        std::vector<uint8_t> stub(kStubSize, 0xCC);
        stub[0] = 'M';
        stub[1] = 'Z';
        WriteBytes(stubPath, stub);
    }
    int Make(const PathList& pictures, const AlbumOptions& o, AlbumProgressCallback progress = nullptr) {
        const ExeSlideshowEnv env{stubPath.c_str(), AlbumWriteEnv{folder.c_str(), 240, 320}};
        return WriteExeSlideshowFile(pictures.data(), pictures.count(), o, 0x00336699, progress, 0, env);
    }
    ScratchDir dir;
    std::wstring folder = FolderOf(dir);
    std::wstring stubPath = dir.File("slide.exe");
};

TEST_F(SlideshowMakerTest, AppendsHeaderSoundOffsetsAndPictures) {
    const PathList pictures{"red.jpg", "notapicture.jpg", "grey.jpg", "green.jpg"};
    AlbumOptions o = Options(folder, L"show.exe");
    o.delay = 4;
    o.transitions = 1;
    o.sound = 1;
    const std::wstring sound = Fixture("tone.wav");
    std::wcsncpy(o.soundFile, sound.c_str(), kAlbumPathChars - 1);
    ASSERT_EQ(Make(pictures, o), kExeSlideshowWritten);

    const std::wstring out = folder + L"show.exe";
    const std::vector<uint8_t> bytes = ReadBytes(out);
    const std::vector<uint8_t> wave = ReadBytes(sound);
    ASSERT_GT(bytes.size(), kStubSize + 30 + wave.size());
    EXPECT_EQ(std::string(bytes.begin() + kStubSize, bytes.begin() + kStubSize + 10), "TRELMO-SCR");
    EXPECT_EQ(U32At(bytes, kStubSize + 10), 1u | 8u | 16u);
    EXPECT_EQ(U32At(bytes, kStubSize + 14), 4u);
    EXPECT_EQ(U32At(bytes, kStubSize + 18), 0x00336699u);
    EXPECT_EQ(U32At(bytes, kStubSize + 22), 0xFFFFFFFFu);
    EXPECT_EQ(U32At(bytes, kStubSize + 26), wave.size());
    EXPECT_TRUE(std::equal(wave.begin(), wave.end(), bytes.begin() + kStubSize + 30));

    AppendedShow show;
    ASSERT_EQ(ReadShow(out, int64_t(kStubSize), &show), kShowRead);
    EXPECT_EQ(show.flags, 1u | 8u | 16u);
    EXPECT_EQ(show.delay, 4u);
    EXPECT_EQ(show.sound, wave);
    // The picture that is no picture has no offset; the others point at
    // whole JPEG files in order, absolute in the whole file.
    ASSERT_EQ(show.offsets.size(), 3u);
    const int32_t sizes[3][2] = {{80, 60}, {40, 30}, {60, 80}};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const size_t at = size_t(show.offsets[i]);
        const size_t end = i + 1 < 3 ? size_t(show.offsets[i + 1]) : bytes.size();
        ASSERT_LT(at + 4, end);
        EXPECT_EQ(bytes[at], 0xFF);
        EXPECT_EQ(bytes[at + 1], 0xD8);
        EXPECT_EQ(bytes[end - 2], 0xFF);
        EXPECT_EQ(bytes[end - 1], 0xD9);
        Bitmap b{};
        LoadOptions load;
        InitLoadOptions(&load);
        ASSERT_EQ(LoadPictureFromMemory(bytes.data() + at, end - at, L"x.jpg", &b, &load, nullptr), 0);
        EXPECT_EQ(b.width, sizes[i][0]);
        EXPECT_EQ(b.height, sizes[i][1]);
        FreeBitmap(&b);
    }

#ifndef _WIN32
    const std::string py = testing_support::RunCommand(
        "/usr/bin/python3 " + testing_support::ShellQuote(std::string(PV_SOURCE_DIR) + "/tests/albums/read_show.py") +
        " " + testing_support::ShellQuote(WideToUtf8(out.c_str())) + " 0 2>&1");
    const std::string want = "magic_at 3000\nflags 25 delay 4 background 3368601 reserved 4294967295\nsound " +
                             std::to_string(wave.size()) + " RIFF\ncount 3\npicture " +
                             std::to_string(show.offsets[0]) + " JPEG 80x60\npicture " +
                             std::to_string(show.offsets[1]) + " JPEG 40x30\npicture " +
                             std::to_string(show.offsets[2]) + " JPEG 60x80\n";
    EXPECT_EQ(py, want);
#endif
}

TEST_F(SlideshowMakerTest, SoundBlockOnlyWhenTheSoundOpens) {
    const PathList pictures{"blue.jpg"};
    for (const wchar_t* soundFile : {L"", L"missing.wav"}) {
        AlbumOptions o = Options(folder, L"quiet.exe");
        o.loop = 0;
        o.sound = 1;
        std::wcscpy(o.soundFile, soundFile);
        ASSERT_EQ(Make(pictures, o), kExeSlideshowWritten);
        const std::vector<uint8_t> bytes = ReadBytes(folder + L"quiet.exe");
        EXPECT_EQ(U32At(bytes, kStubSize + 10), 0u);
        // The picture count follows the reserved word directly.
        EXPECT_EQ(U32At(bytes, kStubSize + 26), 1u);
        EXPECT_EQ(U32At(bytes, kStubSize + 30), kStubSize + 34);
    }
}

TEST_F(SlideshowMakerTest, RefusalsAndCancelLeaveNoFile) {
    const std::wstring out = folder + L"none.exe";
    AlbumOptions o = Options(folder, L"none.exe");
    const PathList none{};
    EXPECT_EQ(Make(none, o), kExeSlideshowNoPictures);
    const PathList pictures{"red.jpg", "blue.jpg"};
    EXPECT_EQ(Make(pictures, o, Stop), kExeSlideshowCancelled);
    std::filesystem::remove(testing_support::ToFsPath(stubPath));
    EXPECT_EQ(Make(pictures, o), kExeSlideshowNoStub);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    // An older file of that name stays as it was.
    SetUp();
    testing_support::WriteText(out, "older");
    EXPECT_EQ(Make(pictures, o, Stop), kExeSlideshowCancelled);
    const std::vector<uint8_t> kept = ReadBytes(out);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "older");
}

// A show built by hand: magic, header, optional sound, count and offsets.
std::vector<uint8_t> HandShow(uint32_t flags, const std::vector<uint32_t>& soundSize, uint32_t count,
                              const std::vector<uint32_t>& offsets, size_t padding) {
    std::vector<uint8_t> b(100, 'x');
    const char magic[] = "TRELMO-SCR";
    b.insert(b.end(), magic, magic + 10);
    PutU32(&b, flags);
    PutU32(&b, 2);
    PutU32(&b, 0);
    PutU32(&b, 0xFFFFFFFF);
    for (uint32_t s : soundSize) PutU32(&b, s);
    PutU32(&b, count);
    for (uint32_t o : offsets) PutU32(&b, o);
    b.resize(b.size() + padding, 0);
    return b;
}

std::vector<uint8_t> Cut(std::vector<uint8_t> bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

TEST(AppendedShowReader, HostileShows) {
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        int64_t start;
        int result;
    } cases[] = {
        {"good", HandShow(0, {}, 2, {140, 150}, 20), 0, kShowRead},
        {"offset at the end", HandShow(0, {}, 1, {134}, 0), 0, kShowRead},
        {"offset past the end", HandShow(0, {}, 1, {135}, 0), 0, kShowBadOffset},
        {"count beyond the file", HandShow(0, {}, 0x40000000, {}, 16), 0, kShowTruncated},
        {"count that wraps a 32-bit size", HandShow(0, {}, 0xFFFFFFFF, {1, 2}, 0), 0, kShowTruncated},
        {"sound beyond the file", HandShow(8, {0xFFFFFFF0}, 0, {}, 0), 0, kShowTruncated},
        {"ends in the header", Cut(HandShow(0, {}, 0, {}, 0), 118), 0, kShowTruncated},
        {"magic before the start", HandShow(0, {}, 0, {}, 0), 101, kShowNoMagic},
        {"no magic", std::vector<uint8_t>(500, 'T'), 0, kShowNoMagic},
        {"start beyond the file", HandShow(0, {}, 0, {}, 0), 100000, kShowNoMagic},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AppendedShow show;
        EXPECT_EQ(ReadShowBytes(c.bytes, c.start, &show), c.result);
    }
    // The magic found across the reader's block boundary.
    std::vector<uint8_t> far(200000, 'R');
    const std::vector<uint8_t> tail = HandShow(kShowLoop, {}, 0, {}, 0);
    far.resize((64 << 10) - 4);
    far.insert(far.end(), tail.begin() + 100, tail.end());
    AppendedShow show;
    ASSERT_EQ(ReadShowBytes(far, 0, &show), kShowRead);
    EXPECT_EQ(show.flags, uint32_t(kShowLoop));
}

TEST(AppendedShowReader, ProgramImageEndFromPeHeaders) {
    // A minimal PE: "MZ", the PE offset at 0x3C, a COFF header with two
    // sections and no optional header.
    std::vector<uint8_t> h(0x40, 0);
    h[0] = 'M';
    h[1] = 'Z';
    h[0x3C] = 0x40;
    const uint8_t pe[] = {'P', 'E', 0, 0, 0x64, 0x86, 2, 0};
    h.insert(h.end(), pe, pe + sizeof pe);
    h.resize(h.size() + 12, 0);  // time stamp, no symbols
    h.push_back(0);              // optional header size 0
    h.push_back(0);
    h.resize(h.size() + 2, 0);
    auto section = [&](uint32_t rawSize, uint32_t rawPointer) {
        h.resize(h.size() + 16, 0);
        PutU32(&h, rawSize);
        PutU32(&h, rawPointer);
        h.resize(h.size() + 16, 0);
    };
    section(0x600, 0x1000);
    section(0x200, 0x400);
    EXPECT_EQ(PeImageEnd(h.data(), h.size()), 0x1600);
    EXPECT_EQ(PeImageEnd(h.data(), h.size() - 1), 0);  // a section header cut short
    h[0] = 'N';
    EXPECT_EQ(PeImageEnd(h.data(), h.size()), 0);
}

}  // namespace
