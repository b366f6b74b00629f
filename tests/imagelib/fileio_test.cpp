#include "imagelib/fileio.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "tests/support/testfiles.h"

namespace {

using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

TEST(ByteSwap, Values) {
    EXPECT_EQ(0x7856u, Swap16(0x12345678));
    EXPECT_EQ(0x78563412u, Swap32(0x12345678));
    EXPECT_EQ(0x7856u, OrderSwap16(0x5678));
    EXPECT_EQ(0x12345678u, OrderKeep32(0x12345678));
    EXPECT_EQ(&ReadUInt16Be, kBigEndianOrder.read16);
    EXPECT_EQ(&ReadUInt32Le, kLittleEndianOrder.read32);
}

// Every test below runs against a real file and against memory: the two
// kinds of PictureFile must behave alike.
class PictureFileTest : public ::testing::TestWithParam<bool> {
protected:
    PictureFile* Open(const std::vector<uint8_t>& bytes) {
        bytes_ = bytes;
        FileSource src;
        if (GetParam()) {
            InitMemorySource(&src, bytes_.data(), bytes_.size());
        } else {
            path_ = dir_.File("data.bin");
            WriteBytes(path_, bytes_);
            InitFileSource(&src, path_.c_str());
        }
        return OpenPictureFile(&src, kOpenReadBinary);
    }
    ScratchDir dir_;
    std::wstring path_;
    std::vector<uint8_t> bytes_;
};

TEST_P(PictureFileTest, IntegerReadersAndEndOfFile) {
    PictureFile* f = Open({0x34, 0x12, 0x12, 0x34, 0x78, 0x56, 0x34, 0x12, 0x12, 0x34, 0x56, 0x78, 0xAA});
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(13, f->size);
    EXPECT_EQ(0x1234u, ReadUInt16Le(f));
    EXPECT_EQ(0x1234u, ReadUInt16Be(f));
    EXPECT_EQ(0x12345678u, ReadUInt32Le(f));
    EXPECT_EQ(0x12345678u, ReadUInt32Be(f));
    EXPECT_FALSE(PictureFileFailed(f));
    // One byte left: a 16-bit read runs off the end and says so.
    ReadUInt16Le(f);
    EXPECT_TRUE(f->eof);
    EXPECT_EQ(0xFFFFu, ReadUInt16Be(f));  // both bytes missing
    EXPECT_EQ(0u, ReadUInt32Le(f));       // missing bytes read as zero
    ClosePictureFile(f);
}

TEST_P(PictureFileTest, SkipForwardAndBack) {
    PictureFile* f = Open({1, 2, 3, 4, 5, 6, 7, 8});
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(0, SkipFileBytes(f, 0));
    EXPECT_EQ(0, SkipFileBytes(f, 4));
    EXPECT_EQ(5, ReadFileByte(f));
    EXPECT_EQ(0, SkipFileBytes(f, -4));
    EXPECT_EQ(2, ReadFileByte(f));
    EXPECT_EQ(6, RemainingFileBytes(f));
    EXPECT_EQ(1, SkipFileBytes(f, 10));  // only 6 left
    EXPECT_TRUE(f->eof);
    ClosePictureFile(f);
}

TEST_P(PictureFileTest, SeekBounds) {
    PictureFile* f = Open({1, 2, 3});
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(0, SeekPictureFile(f, 0, SEEK_END));
    EXPECT_EQ(3, TellPictureFile(f));
    EXPECT_EQ(-1, ReadFileByte(f));
    EXPECT_EQ(0, SeekPictureFile(f, 1, SEEK_SET));
    EXPECT_FALSE(f->eof);  // a good seek clears the end flag
    EXPECT_EQ(2, ReadFileByte(f));
    EXPECT_FALSE(f->error);
    // Past the end: accepted by both kinds; the next read comes up short.
    EXPECT_EQ(0, SeekPictureFile(f, 10, SEEK_SET));
    EXPECT_EQ(10, TellPictureFile(f));
    EXPECT_EQ(-1, ReadFileByte(f));
    EXPECT_TRUE(f->eof);
    uint8_t buffer[4];
    EXPECT_EQ(0u, ReadFileBytes(f, buffer, 4));
    EXPECT_EQ(0, SeekPictureFile(f, 2, SEEK_END));
    EXPECT_EQ(5, TellPictureFile(f));
    EXPECT_FALSE(f->error);
    // Before the start: refused by both, and the failure sticks.
    EXPECT_NE(0, SeekPictureFile(f, -10, SEEK_CUR));
    EXPECT_TRUE(f->error);
    EXPECT_EQ(0, SeekPictureFile(f, 0, SEEK_SET));
    EXPECT_TRUE(PictureFileFailed(f));
    ClosePictureFile(f);
}

struct PackBitsCase {
    const char* name;
    std::vector<uint8_t> input;
    int64_t count;
    int result;
    std::vector<uint8_t> output;  // the first `count` bytes of the buffer
    int nextByte;                 // what follows in the file (-1 end)
};

const PackBitsCase kPackBits[] = {
    {"literal and run", {0x02, 'a', 'b', 'c', 0xFE, 'z'}, 6, 0, {'a', 'b', 'c', 'z', 'z', 'z'}, -1},
    {"128 is a no-op", {0x80, 0x00, 'q'}, 1, 0, {'q'}, -1},
    {"run clipped to the buffer", {0x81, 'x', 0x7F}, 3, 0, {'x', 'x', 'x'}, 0x7F},
    {"literal clipped, rest consumed", {0x04, '1', '2', '3', '4', '5', 0x55}, 2, 0, {'1', '2'}, 0x55},
    {"file ends in a literal", {0x03, 'a', 'b'}, 4, 4, {}, -1},
    {"file ends after a run control", {0xFD}, 4, 4, {}, -1},
    {"file ends before a control", {0x00, 'a'}, 2, 4, {}, -1},
    {"zero count reads nothing", {0x00, 'a'}, 0, 0, {}, 0x00},
};

TEST_P(PictureFileTest, UnpackBits) {
    for (const PackBitsCase& c : kPackBits) {
        SCOPED_TRACE(c.name);
        // The guard bytes after `count` must never be written.
        std::vector<uint8_t> buffer(static_cast<size_t>(c.count) + 16, 0xEE);
        PictureFile* f = Open(c.input);
        ASSERT_NE(nullptr, f);
        EXPECT_EQ(c.result, UnpackBitsFromFile(f, buffer.data(), c.count));
        if (c.result == 0) {
            EXPECT_EQ(c.output, std::vector<uint8_t>(buffer.begin(), buffer.begin() + c.count));
        }
        for (size_t i = static_cast<size_t>(c.count); i < buffer.size(); ++i) ASSERT_EQ(0xEE, buffer[i]);
        if (c.result == 0) {
            EXPECT_EQ(c.nextByte, ReadFileByte(f));
        }
        ClosePictureFile(f);
    }
}

// Long streams of every packet kind, cut at every kind of place: the output,
// the result and the bytes consumed match a byte-at-a-time decoding.
TEST_P(PictureFileTest, UnpackBitsLongStreams) {
    std::vector<uint8_t> stream;
    uint32_t seed = 7;
    auto next = [&seed](uint32_t n) { return ((seed = seed * 1103515245u + 12345u) >> 8) % n; };
    for (int p = 0; p < 600; ++p) {
        const uint32_t kind = next(5);
        if (kind == 0) {
            stream.push_back(0x80);  // no-op
        } else if (kind <= 2) {
            const uint32_t n = p % 50 == 0 ? 128 : 1 + next(128);
            stream.push_back(uint8_t(n - 1));
            for (uint32_t i = 0; i < n; ++i) stream.push_back(uint8_t(next(256)));
        } else {
            const uint32_t n = p % 40 == 0 ? 128 : 2 + next(127);
            stream.push_back(uint8_t(257 - n));
            stream.push_back(uint8_t(next(256)));
        }
    }
    // The plain decoding: output, result and bytes consumed.
    struct Expected {
        std::vector<uint8_t> out;
        int result;
        size_t used;
    };
    auto reference = [](const std::vector<uint8_t>& in, int64_t count) {
        Expected e{{}, 0, 0};
        size_t at = 0;
        while (count > 0) {
            if (at >= in.size()) return e.result = 4, e.used = in.size(), e;
            const int c = in[at++];
            if (c == 128) continue;
            const int64_t n = c < 128 ? c + 1 : 257 - c;
            for (int64_t i = 0; i < n; ++i) {
                const size_t from = c < 128 ? at + size_t(i) : at;
                if (from >= in.size()) return e.result = 4, e.used = in.size(), e;
                if (i < count) e.out.push_back(in[from]);
            }
            at += c < 128 ? size_t(n) : 1;
            count -= n;
        }
        e.used = at;
        return e;
    };
    size_t whole = 0;
    for (size_t at = 0; at < stream.size();) {
        const int c = stream[at++];
        if (c < 128) whole += size_t(c) + 1, at += size_t(c) + 1;
        else if (c > 128) whole += size_t(257 - c), ++at;
    }
    const int64_t counts[] = {1, 127, 128, 129, 1000, int64_t(whole) - 200, int64_t(whole) - 1, int64_t(whole),
                              int64_t(whole) + 1};
    const size_t lengths[] = {stream.size(), stream.size() - 1, stream.size() - 130, stream.size() / 2 + 3};
    for (const size_t length : lengths) {
        const std::vector<uint8_t> in(stream.begin(), stream.begin() + long(length));
        for (const int64_t count : counts) {
            SCOPED_TRACE("length " + std::to_string(length) + ", count " + std::to_string(count));
            const Expected e = reference(in, count);
            std::vector<uint8_t> buffer(size_t(count) + 16, 0xEE);
            PictureFile* f = Open(in);
            ASSERT_NE(nullptr, f);
            ASSERT_EQ(e.result, UnpackBitsFromFile(f, buffer.data(), count));
            for (size_t i = size_t(count); i < buffer.size(); ++i) ASSERT_EQ(0xEE, buffer[i]);
            // A short stream leaves what came of its bytes.
            ASSERT_EQ(e.out, std::vector<uint8_t>(buffer.begin(), buffer.begin() + long(e.out.size())));
            if (e.result == 0) {
                EXPECT_EQ(e.used < in.size() ? int(in[e.used]) : -1, ReadFileByte(f));
            }
            ClosePictureFile(f);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(FileAndMemory, PictureFileTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Memory" : "File"; });

TEST(OpenPictureFile, EmptyMissingAndWriteModes) {
    ScratchDir dir;
    const std::wstring empty = dir.File("empty.bin");
    WriteBytes(empty, {});
    FileSource src;
    InitFileSource(&src, empty.c_str());
    OpenFailure why;
    EXPECT_EQ(nullptr, OpenPictureFileEx(&src, kOpenReadBinary, &why));
    EXPECT_EQ(OpenFailure::kEmpty, why);
    EXPECT_EQ(nullptr, OpenPictureFileEx(&src, kOpenReadText, &why));
    EXPECT_EQ(OpenFailure::kEmpty, why);
    PictureFile* w = OpenPictureFile(&src, kOpenWriteBinary);  // empty is fine for writing
    ASSERT_NE(nullptr, w);
    EXPECT_EQ(0, w->size);
    EXPECT_EQ(0, ClosePictureFileChecked(w));

    const std::wstring missing = dir.File("missing.bin");
    InitFileSource(&src, missing.c_str());
    EXPECT_EQ(nullptr, OpenPictureFileEx(&src, kOpenReadBinary, &why));
    EXPECT_EQ(OpenFailure::kCannotOpen, why);

    // No path: a record without a stream, size "unknown".
    InitFileSource(&src, nullptr);
    PictureFile* none = OpenPictureFile(&src, kOpenReadBinary);
    ASSERT_NE(nullptr, none);
    EXPECT_EQ(kUnknownFileSize, none->size);
    EXPECT_EQ(nullptr, none->stream);
    ClosePictureFile(none);

    // Memory is read-only.
    const uint8_t bytes[2] = {1, 2};
    InitMemorySource(&src, bytes, 2);
    EXPECT_EQ(nullptr, OpenPictureFile(&src, kOpenWriteBinary));
    ClosePictureFile(nullptr);  // does nothing
}

TEST(OpenPictureFile, CreateUpdateModeMapsAndWritesReadBack) {
    ScratchDir dir;
    const std::wstring path = dir.File("rw.bin");
    FileSource src;
    InitFileSource(&src, path.c_str());
    PictureFile* f = OpenPictureFile(&src, kOpenCreateUpdateBinary);
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(kOpenUpdateBinary, f->mode);
    EXPECT_EQ(2, WriteUInt16Le(0x0201, f));
    WriteUInt32Le(0x06050403, f);
    EXPECT_EQ(0, SeekPictureFile(f, 0, SEEK_SET));
    EXPECT_EQ(0x04030201u, ReadUInt32Le(f));
    EXPECT_EQ(0, ClosePictureFileChecked(f));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4, 5, 6}), ReadBytes(path));
}

#ifndef _WIN32
TEST(OpenPictureFile, FullDiskIsReportedOnClose) {
    FileSource src;
    InitFileSource(&src, L"/dev/full");
    PictureFile* f = OpenPictureFile(&src, kOpenWriteBinary);
    ASSERT_NE(nullptr, f);
    std::vector<uint8_t> block(100, 7);
    WriteFileBytes(f, block.data(), block.size());  // buffered: may look fine
    EXPECT_EQ(1, ClosePictureFileChecked(f));
}
#endif

TEST(FileHelpers, WidePathsDeleteMoveAndTempNames) {
    ScratchDir dir;
    // A name outside ASCII must survive the trip to the operating system.
    const std::wstring a = dir.File("pic") + L"\u00e9\u4e2d.bin";
    const std::wstring b = dir.File("moved.bin");
    WriteBytes(a, {9, 8, 7});
    FileSource src;
    InitFileSource(&src, a.c_str());
    PictureFile* f = OpenPictureFile(&src, kOpenReadBinary);
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(3, f->size);
    ClosePictureFile(f);

    EXPECT_EQ(0, MovePictureFile(a.c_str(), b.c_str()));
    EXPECT_EQ(0, WidePathExists(a.c_str()));
    EXPECT_EQ(1, WidePathExists(b.c_str()));
    EXPECT_EQ(1, MovePictureFile(a.c_str(), b.c_str()));  // source gone
    EXPECT_EQ(0, DeletePictureFile(b.c_str()));
    EXPECT_EQ(1, DeletePictureFile(b.c_str()));

    wchar_t name1[300];
    wchar_t name2[300];
    const uint32_t u1 = MakeTempFileName(name1, 300);
    const uint32_t u2 = MakeTempFileName(name2, 300);
    EXPECT_NE(0u, u1);
    EXPECT_NE(0u, u2);
    EXPECT_NE(std::wstring(name1), std::wstring(name2));
    EXPECT_NE(nullptr, std::wcsstr(name1, L"x_"));
    EXPECT_EQ(1, WidePathExists(name1));  // created, so nobody else takes it
    EXPECT_EQ(0, DeletePictureFile(name1));
    EXPECT_EQ(0, DeletePictureFile(name2));

    wchar_t tiny[4];
    EXPECT_EQ(0u, MakeTempFileName(tiny, 4));  // does not fit: refused, not truncated
    EXPECT_EQ(L'\0', tiny[0]);
}

// Windows opens a device for these names, or stores the name without its
// last dots and spaces; every other name is a file of that name.
TEST(FileHelpers, ReservedFileNames) {
    const struct {
        const wchar_t* name;
        bool reserved;
    } cases[] = {
        {L"NUL", true},          {L"nul", true},           {L"AUX.txt", true},       {L"COM1", true},
        {L"con", true},          {L"lpt1.jpg", true},      {L"Prn.tar.gz", true},    {L"com9", true},
        {L"LPT0", true},         {L"COM\u00b9.jpg", true}, {L"nul .jpg", true},      {L"CONIN$", true},
        {L"conout$.txt", true},  {L"CLOCK$", true},        {L"trail.jpg.", true},    {L"space.jpg ", true},
        {L"NUL.", true},         {L".", true},             {L"a.jpg", false},        {L"NULL", false},
        {L"COM10", false},       {L"LPT", false},          {L"xnul", false},         {L"nul_x.jpg", false},
        {L"con-1.jpg", false},   {L".nul", false},         {L"COM\u00b4", false},    {L"auxiliary.txt", false},
    };
    for (const auto& c : cases) {
        const std::wstring name = c.name;
        EXPECT_EQ(c.reserved, IsReservedFileName(name.c_str(), name.size())) << name;
    }
    // Only the first `length` characters count.
    EXPECT_TRUE(IsReservedFileName(L"aux/photo.jpg", 3));
    EXPECT_FALSE(IsReservedFileName(L"", 0));
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// Replacing a file: a failure at any step leaves the old file as it was.

std::vector<ReplaceStep> g_failing;
std::vector<ReplaceStep> g_asked;

bool FailChosenSteps(ReplaceStep step) {
    g_asked.push_back(step);
    for (ReplaceStep s : g_failing)
        if (s == step) return true;
    return false;
}

#ifdef _WIN32
constexpr bool kReplaceFallsBack = true;  // ReplaceFileW after MoveFileExW
#else
constexpr bool kReplaceFallsBack = false;
#endif

struct ReplaceCase {
    const char* name;
    std::vector<ReplaceStep> failing;
    bool replaced;
};

TEST(ReplaceWithTemp, AFailureAtEachStepKeepsTheOriginal) {
    const ReplaceCase cases[] = {
        {"no failure", {}, true},
        {"data not flushed", {ReplaceStep::kFlushData}, false},
        {"rename refused", {ReplaceStep::kReplace}, kReplaceFallsBack},
        {"rename and its fallback refused", {ReplaceStep::kReplace, ReplaceStep::kReplaceAgain}, false},
        {"folder not synced (best effort)", {ReplaceStep::kSyncFolder}, true},
    };
    const std::vector<uint8_t> original = {'o', 'l', 'd', 0, 1, 2, 3}, replacement = {'n', 'e', 'w', 9, 9};
    SetReplaceFaultHook(FailChosenSteps);
    for (const ReplaceCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::wstring target = dir.File("picture.jpg");
        WriteBytes(target, original);
        const std::wstring temp = SiblingName(target, L"sv");
        ASSERT_FALSE(temp.empty());
        WriteBytes(temp, replacement);
        g_failing = c.failing;
        g_asked.clear();
        EXPECT_EQ(c.replaced ? 0 : 1, ReplaceWithTemp(temp, target));
        EXPECT_EQ(ReadBytes(target), c.replaced ? replacement : original);
        // On failure the new file is left for the caller to remove.
        EXPECT_EQ(WidePathExists(temp.c_str()), c.replaced ? 0 : 1);
        ASSERT_FALSE(g_asked.empty());
        EXPECT_EQ(g_asked.front(), ReplaceStep::kFlushData);  // data reach the disk before any rename
    }
    SetReplaceFaultHook(nullptr);
}

TEST(ReplaceWithTemp, AMissingNewFileLeavesTheTargetAlone) {
    ScratchDir dir;
    const std::wstring target = dir.File("album.zip");
    WriteBytes(target, {1, 2, 3});
    EXPECT_EQ(1, ReplaceWithTemp(dir.File("gone.tmp"), target));
    EXPECT_EQ(ReadBytes(target), (std::vector<uint8_t>{1, 2, 3}));
    // Into a name that does not exist yet.
    const std::wstring temp = SiblingName(dir.File("new.bmp"), L"sv");
    WriteBytes(temp, {7});
    EXPECT_EQ(0, ReplaceWithTemp(temp, dir.File("new.bmp")));
    EXPECT_EQ(ReadBytes(dir.File("new.bmp")), std::vector<uint8_t>{7});
}

}  // namespace
