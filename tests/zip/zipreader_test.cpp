// The ZIP reader over hand-made archives (byte tables serialised in
// ziptestutil.cpp, deflated data from zlib), in memory and in files.
#include "zip/zipreader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imagelib/textutil.h"
#include "tests/support/testfiles.h"
#include "tests/zip/ziptestutil.h"
#include "zip/zipfs.h"
#include "zip/ziptime.h"

namespace {

using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;
using ziptest::BuildArchive;
using ziptest::PatternBytes;
using ziptest::RawEntry;
using ziptest::ReadItem;
using ziptest::TextBytes;

const std::vector<uint8_t> kConfig = TextBytes("#Trelmo Album\ncount = 1\n0000,beach.jpg\nDelay = 3\n");

std::vector<uint8_t> Compressible(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t("picture data "[i % 13] + (i / 1000) % 3);
    return v;
}

RawEntry Entry(const std::string& name, std::vector<uint8_t> data, uint16_t method = 0) {
    RawEntry e;
    e.name = name;
    e.data = std::move(data);
    e.method = method;
    return e;
}

RawEntry Folder(const std::string& name) {
    RawEntry e = Entry(name, {});
    e.external = 0x41ED0010;  // 040755 and the DOS folder bit
    return e;
}

// config (stored), 0000 (deflated), photos/ (folder), photos/a.jpg (stored).
std::vector<RawEntry> AlbumEntries() {
    return {Entry("config", kConfig), Entry("0000", Compressible(20000), 8), Folder("photos/"),
            Entry("photos/a.jpg", PatternBytes(3000, 1))};
}

class ZipReaderTest : public ::testing::Test {
protected:
    ZipHandle* OpenBytes(const std::vector<uint8_t>& bytes, const char* password = nullptr) {
        bytes_ = bytes;
        handle_ = OpenZipMemory(bytes_.data(), uint32_t(bytes_.size()), password);
        return handle_;
    }
    void TearDown() override {
        if (handle_) {
            EXPECT_EQ(kZipOk, CloseZipReader(handle_));
        }
    }
    std::vector<uint8_t> bytes_;
    ZipHandle* handle_ = nullptr;
};

TEST_F(ZipReaderTest, WholeArchiveQueryAndIndexBounds) {
    ZipHandle* h = OpenBytes(BuildArchive(AlbumEntries()));
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(kZipOk, LastZipReaderResult);
    ZipItem item;
    ASSERT_EQ(kZipOk, GetZipItem(h, -1, &item));
    EXPECT_EQ(4, item.index);
    EXPECT_EQ(L'\0', item.name[0]);
    EXPECT_EQ(0u, item.attributes);
    EXPECT_EQ(0u, item.writeTime);
    EXPECT_EQ(0u, item.uncompressedSize);
    EXPECT_EQ(kZipBadArguments, GetZipItem(h, -2, &item));
    EXPECT_EQ(kZipBadArguments, LastZipReaderResult);
    EXPECT_EQ(kZipBadArguments, GetZipItem(h, 4, &item));
}

// An archive of nothing but its end record (as our writer makes an empty
// archive) opens with no items, with or without a comment; one that claims
// items it does not hold does not open.
TEST_F(ZipReaderTest, EmptyArchiveOfOnlyTheEndRecord) {
    const std::vector<uint8_t> empty = {'P', 'K', 5, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> commented = empty;
    commented[20] = 3;
    commented.insert(commented.end(), {'a', 'b', 'c'});
    for (const auto& bytes : {empty, commented}) {
        ZipHandle* h = OpenZipMemory(bytes.data(), uint32_t(bytes.size()), nullptr);
        ASSERT_NE(nullptr, h);
        EXPECT_EQ(kZipOk, LastZipReaderResult);
        ZipItem item;
        ASSERT_EQ(kZipOk, GetZipItem(h, -1, &item));
        EXPECT_EQ(0, item.index);
        EXPECT_EQ(kZipBadArguments, GetZipItem(h, 0, &item));
        int32_t index = 5;
        EXPECT_EQ(kZipNotFound, FindZipItem(h, L"config", 1, &index, nullptr));
        EXPECT_EQ(-1, index);
        uint8_t buffer[8];
        EXPECT_EQ(kZipBadArguments, UnzipItemToMemory(h, 0, buffer, 8));
        EXPECT_EQ(kZipOk, CloseZipReader(h));
    }
    // From a file too.
    ScratchDir dir;
    const std::wstring path = dir.File("empty.zip");
    WriteBytes(path, empty);
    ZipHandle* h = OpenZipFile(path.c_str(), nullptr);
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(kZipOk, CloseZipReader(h));

    std::vector<uint8_t> claims = empty;
    claims[8] = claims[10] = 1;  // one item, none there
    EXPECT_EQ(nullptr, OpenZipMemory(claims.data(), uint32_t(claims.size()), nullptr));
    EXPECT_EQ(kZipCannotOpen, LastZipReaderResult);
    std::vector<uint8_t> badComment = commented;
    badComment[20] = 9;  // longer than what follows
    EXPECT_EQ(nullptr, OpenZipMemory(badComment.data(), uint32_t(badComment.size()), nullptr));
}

TEST_F(ZipReaderTest, ItemRecords) {
    ZipHandle* h = OpenBytes(BuildArchive(AlbumEntries()));
    ASSERT_NE(nullptr, h);
    const struct {
        const wchar_t* name;
        uint32_t attributes;
        uint32_t size;
        bool deflated;
    } kExpected[] = {{L"config", 0x20, uint32_t(kConfig.size()), false},
                     {L"0000", 0x20, 20000, true},
                     {L"photos/", 0x30, 0, false},
                     {L"photos/a.jpg", 0x20, 3000, false}};
    const uint64_t time = UnixTimeToFileTime(ziptest::PinnedLocalToUtc(2009, 1, 1, 13, 26, 58));
    for (int32_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        ZipItem item;
        ASSERT_EQ(kZipOk, GetZipItem(h, i, &item));
        EXPECT_EQ(i, item.index);
        EXPECT_STREQ(kExpected[i].name, item.name);
        EXPECT_EQ(kExpected[i].attributes, item.attributes);
        EXPECT_EQ(kExpected[i].size, item.uncompressedSize);
        if (kExpected[i].deflated)
            EXPECT_LT(item.compressedSize, item.uncompressedSize);
        else
            EXPECT_EQ(item.uncompressedSize, item.compressedSize);
        EXPECT_EQ(time, item.writeTime);
        EXPECT_EQ(time, item.creationTime);
        EXPECT_EQ(time, item.accessTime);
    }
}

TEST_F(ZipReaderTest, AttributesByHostSystem) {
    const struct {
        uint16_t versionMadeBy;
        uint32_t external;
        uint32_t expected;
    } kCases[] = {
        {0x031E, 0x81A40000, 0x20},  // Unix 0644
        {0x031E, 0x81240000, 0x21},  // Unix 0444
        {0x031E, 0x41ED0000, 0x30},  // Unix folder 040755
        {0x0014, 0x00000021, 0x21},  // DOS read-only, archive
        {0x0B17, 0x81000027, 0x27},  // NTFS: the low byte, hidden and system too
        {0x0E14, 0x000000FF, 0x37},  // VFAT: only the five known bits
        {0x0714, 0x00000010, 0x10},  // Macintosh: as DOS
    };
    std::vector<RawEntry> entries;
    for (const auto& c : kCases) {
        RawEntry e = Entry("f" + std::to_string(entries.size()), TextBytes("x"));
        e.versionMadeBy = c.versionMadeBy;
        e.external = c.external;
        entries.push_back(e);
    }
    ZipHandle* h = OpenBytes(BuildArchive(entries));
    ASSERT_NE(nullptr, h);
    for (size_t i = 0; i < entries.size(); ++i) {
        ZipItem item;
        ASSERT_EQ(kZipOk, GetZipItem(h, int32_t(i), &item));
        EXPECT_EQ(kCases[i].expected, item.attributes) << i;
    }
}

TEST_F(ZipReaderTest, SecondAskComesFromTheCache) {
    ZipHandle* h = OpenBytes(BuildArchive(AlbumEntries()));
    ASSERT_NE(nullptr, h);
    ZipItem first, again;
    ASSERT_EQ(kZipOk, GetZipItem(h, 1, &first));
    // Wipe the archive: only a cached record can still be answered.
    std::memset(bytes_.data(), 0, bytes_.size());
    ASSERT_EQ(kZipOk, GetZipItem(h, 1, &again));
    EXPECT_EQ(0, std::memcmp(&first, &again, sizeof first));
    EXPECT_NE(kZipOk, GetZipItem(h, 0, &again));
}

TEST_F(ZipReaderTest, FindByName) {
    ZipHandle* h = OpenBytes(BuildArchive(AlbumEntries()));
    ASSERT_NE(nullptr, h);
    int32_t index = -5;
    ZipItem item;
    ASSERT_EQ(kZipOk, FindZipItem(h, L"0000", 0, &index, &item));
    EXPECT_EQ(1, index);
    EXPECT_EQ(1, item.index);
    EXPECT_EQ(20000u, item.uncompressedSize);
    EXPECT_EQ(kZipNotFound, FindZipItem(h, L"CONFIG", 0, &index, nullptr));
    ASSERT_EQ(kZipOk, FindZipItem(h, L"CONFIG", 1, &index, &item));
    EXPECT_EQ(0, index);
    EXPECT_STREQ(L"config", item.name);
    EXPECT_EQ(kZipOk, FindZipItem(h, L"photos/a.jpg", 0, nullptr, nullptr));
}

TEST_F(ZipReaderTest, MissingNames) {
    ZipHandle* h = OpenBytes(BuildArchive(AlbumEntries()));
    ASSERT_NE(nullptr, h);
    const std::wstring longName(256, L'a');
    for (const std::wstring& name : {std::wstring(L"nothing"), std::wstring(L"conf"), longName}) {
        int32_t index = 7;
        ZipItem item;
        std::memset(&item, 0x55, sizeof item);
        EXPECT_EQ(kZipNotFound, FindZipItem(h, name.c_str(), 1, &index, &item));
        EXPECT_EQ(kZipNotFound, LastZipReaderResult);
        EXPECT_EQ(-1, index);
        EXPECT_EQ(-1, item.index);
        EXPECT_EQ(L'\0', item.name[0]);
        EXPECT_EQ(0u, item.uncompressedSize);
    }
}

TEST_F(ZipReaderTest, FailedSearchKeepsTheOpenItem) {
    ZipHandle* h = OpenBytes(BuildArchive(AlbumEntries()));
    ASSERT_NE(nullptr, h);
    const std::vector<uint8_t> expected = Compressible(20000);
    std::vector<uint8_t> buffer(20000);
    ASSERT_EQ(kZipMoreData, UnzipItemToMemory(h, 1, buffer.data(), 10000));
    EXPECT_EQ(kZipNotFound, FindZipItem(h, L"missing", 0, nullptr, nullptr));
    ASSERT_EQ(kZipMoreData, UnzipItemToMemory(h, 1, buffer.data() + 10000, 10000));
    EXPECT_EQ(kZipOk, UnzipItemToMemory(h, 1, buffer.data(), 10000));
    EXPECT_EQ(expected, buffer);
}

TEST_F(ZipReaderTest, MemoryExtractionInPieces) {
    ZipHandle* h = OpenBytes(BuildArchive(AlbumEntries()));
    ASSERT_NE(nullptr, h);
    for (int32_t index : {0, 1, 3}) {
        ZipItem item;
        ASSERT_EQ(kZipOk, GetZipItem(h, index, &item));
        const uint32_t size = item.uncompressedSize;
        SCOPED_TRACE(index);
        // A buffer of the item's size takes it whole: more data, then done.
        std::vector<uint8_t> whole(size);
        EXPECT_EQ(kZipMoreData, UnzipItemToMemory(h, index, whole.data(), size));
        EXPECT_EQ(kZipOk, UnzipItemToMemory(h, index, whole.data(), size));
        EXPECT_EQ(AlbumEntries()[size_t(index)].data, whole);
        // Half the size: two pieces, then done.
        std::vector<uint8_t> halves(size);
        EXPECT_EQ(kZipMoreData, UnzipItemToMemory(h, index, halves.data(), size / 2));
        EXPECT_EQ(kZipMoreData, UnzipItemToMemory(h, index, halves.data() + size / 2, size - size / 2));
        EXPECT_EQ(kZipOk, UnzipItemToMemory(h, index, halves.data(), size / 2));
        EXPECT_EQ(whole, halves);
        // Small pieces.
        uint32_t result;
        EXPECT_EQ(whole, ReadItem(h, index, 333, &result));
        EXPECT_EQ(kZipOk, result);
    }
    uint8_t byte;
    EXPECT_EQ(kZipBadArguments, UnzipItemToMemory(h, 4, &byte, 1));
    EXPECT_EQ(kZipBadArguments, UnzipItemToMemory(h, -1, &byte, 1));
    EXPECT_EQ(kZipBadArguments, UnzipItemToMemory(h, 0, nullptr, 1));
    EXPECT_EQ(kZipBadArguments, UnzipItemToMemory(h, 0, &byte, 0));
}

TEST_F(ZipReaderTest, DamagedItemsAreReported) {
    struct Case {
        const char* what;
        RawEntry entry;
        uint32_t expected;
    };
    std::vector<Case> cases;
    for (uint16_t method : {uint16_t(0), uint16_t(8)}) {
        RawEntry crc = Entry("crc", Compressible(5000), method);
        crc.crcXor = 1;
        cases.push_back({"wrong CRC", crc, kZipDataError});
        RawEntry longer = Entry("longer", Compressible(5000), method);
        longer.uncompressedDelta = 1;
        cases.push_back({"size too large", longer, kZipDataError});
        RawEntry shorter = Entry("shorter", Compressible(5000), method);
        shorter.uncompressedDelta = -1;
        cases.push_back({"size too small", shorter, kZipDataError});
        RawEntry cut = Entry("cut", Compressible(5000), method);
        cut.truncateData = 100;
        cases.push_back({"data cut short", cut, kZipDataError});
    }
    RawEntry bzip2 = Entry("bzip2", Compressible(100));
    bzip2.method = 12;
    cases.push_back({"unsupported method", bzip2, kZipDataError});
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " " + c.entry.name + " method " + std::to_string(c.entry.method));
        ZipHandle* h = OpenBytes(BuildArchive({c.entry, Entry("next", TextBytes("fine"))}));
        ASSERT_NE(nullptr, h);
        uint32_t result;
        ReadItem(h, 0, 4096, &result);
        EXPECT_EQ(c.expected, result);
        ReadItem(h, 0, 1 << 20, &result);
        EXPECT_EQ(c.expected, result);
        // The next item still reads.
        EXPECT_EQ(TextBytes("fine"), ReadItem(h, 1, 100, &result));
        EXPECT_EQ(kZipOk, result);
        EXPECT_EQ(kZipOk, CloseZipReader(h));
        handle_ = nullptr;
    }
}

TEST_F(ZipReaderTest, LocalHeaderThatDisagrees) {
    RawEntry e = Entry("config", kConfig);
    e.localMethod = 8;
    ZipHandle* h = OpenBytes(BuildArchive({e}));
    ASSERT_NE(nullptr, h);
    ZipItem item;
    EXPECT_EQ(kZipBadLocalHeader, GetZipItem(h, 0, &item));
    uint8_t buffer[100];
    EXPECT_EQ(kZipBadLocalHeader, UnzipItemToMemory(h, 0, buffer, sizeof buffer));
}

TEST_F(ZipReaderTest, DataBeforeTheArchive) {
    const std::vector<uint8_t> junk = TextBytes(std::string(3000, 'j'));
    ZipHandle* h = OpenBytes(BuildArchive(AlbumEntries(), junk));
    ASSERT_NE(nullptr, h);
    uint32_t result;
    EXPECT_EQ(Compressible(20000), ReadItem(h, 1, 4096, &result));
    EXPECT_EQ(kZipOk, result);
}

TEST_F(ZipReaderTest, OpenFailures) {
    const std::vector<uint8_t> notZip = TextBytes(std::string(500, 'x'));
    EXPECT_EQ(nullptr, OpenBytes(notZip));
    EXPECT_EQ(kZipCannotOpen, LastZipReaderResult);
    EXPECT_EQ(nullptr, OpenBytes({}));
    // An end record whose directory lies beyond the block.
    std::vector<uint8_t> bad = BuildArchive(AlbumEntries());
    bad[bad.size() - 6] = 0xFF;
    bad[bad.size() - 5] = 0xFF;
    EXPECT_EQ(nullptr, OpenBytes(bad));
    EXPECT_EQ(kZipCannotOpen, LastZipReaderResult);
    EXPECT_EQ(nullptr, OpenZipMemory(nullptr, 10, nullptr));
    EXPECT_EQ(kZipBadArguments, LastZipReaderResult);
    ScratchDir dir;
    EXPECT_EQ(nullptr, OpenZipFile(dir.File("missing.zip").c_str(), nullptr));
    EXPECT_EQ(kZipCannotOpen, LastZipReaderResult);
    EXPECT_EQ(nullptr, OpenZipFile(nullptr, nullptr));
    EXPECT_EQ(kZipCannotOpen, LastZipReaderResult);
}

// One real record under end records whose entry count lies: the classic
// record's own count, or a ZIP64 end record's (the classic one then saying
// "see ZIP64"). The reader reports the records that are there, and refuses
// a count the archive is too small to hold.
std::vector<uint8_t> ClaimingCount(uint64_t count, bool zip64) {
    std::vector<uint8_t> b = BuildArchive({Entry("a.txt", TextBytes("hello"))});
    const size_t end = b.size() - 22;
    const uint32_t centralSize = ziptest::Le32(&b[end + 12]), centralOffset = ziptest::Le32(&b[end + 16]);
    if (!zip64) {
        for (size_t at : {end + 8, end + 10}) b[at] = uint8_t(count), b[at + 1] = uint8_t(count >> 8);
        return b;
    }
    std::vector<uint8_t> tail(b.begin() + std::ptrdiff_t(end), b.end());
    b.resize(end);
    const auto le = [&b](uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> (8 * i)));
    };
    le(0x06064B50, 4);  // ZIP64 end record
    le(44, 8);
    le(45, 2);
    le(45, 2);
    le(0, 4);
    le(0, 4);
    le(count, 8);
    le(count, 8);
    le(centralSize, 8);
    le(centralOffset, 8);
    le(0x07064B50, 4);  // its locator
    le(0, 4);
    le(end, 8);
    le(1, 4);
    for (size_t i = 8; i < 20; ++i) tail[i] = 0xFF;  // counts, size and offset: in the ZIP64 record
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

TEST_F(ZipReaderTest, EndRecordCountsThatLie) {
    EXPECT_EQ(189u, ClaimingCount(1, true).size());
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int32_t items;  // -1: refused
    } cases[] = {
        {"classic, true", ClaimingCount(1, false), 1},
        {"classic, one more", ClaimingCount(2, false), 1},
        {"classic, 65535", ClaimingCount(65535, false), -1},
        {"ZIP64, true", ClaimingCount(1, true), 1},
        {"ZIP64, one more", ClaimingCount(2, true), 1},
        {"ZIP64, 0x7FFFFFFF", ClaimingCount(0x7FFFFFFF, true), -1},
        {"ZIP64, 2^40", ClaimingCount(uint64_t(1) << 40, true), -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ZipHandle* h = OpenZipMemory(c.bytes.data(), uint32_t(c.bytes.size()), nullptr);
        if (c.items < 0) {
            EXPECT_EQ(nullptr, h);
            EXPECT_EQ(kZipCannotOpen, LastZipReaderResult);
            if (h) CloseZipReader(h);
            continue;
        }
        ASSERT_NE(nullptr, h);
        ZipItem item;
        ASSERT_EQ(kZipOk, GetZipItem(h, -1, &item));
        EXPECT_EQ(c.items, item.index);
        EXPECT_EQ(kZipBadArguments, GetZipItem(h, c.items, &item));
        uint32_t result;
        EXPECT_EQ(TextBytes("hello"), ReadItem(h, 0, 64, &result));
        EXPECT_EQ(kZipOk, result);
        EXPECT_EQ(kZipOk, CloseZipReader(h));
    }
}

TEST(ZipReaderHandles, NoneAndWriterHandles) {
    ZipItem item;
    uint8_t byte;
    EXPECT_EQ(kZipBadArguments, GetZipItem(nullptr, 0, &item));
    EXPECT_EQ(kZipBadArguments, FindZipItem(nullptr, L"x", 0, nullptr, nullptr));
    EXPECT_EQ(kZipBadArguments, UnzipItemToFile(nullptr, 0, L"x"));
    EXPECT_EQ(kZipBadArguments, UnzipItemToMemory(nullptr, 0, &byte, 1));
    EXPECT_EQ(kZipBadArguments, SetUnzipBaseDir(nullptr, L"x"));
    EXPECT_EQ(kZipBadArguments, CloseZipReader(nullptr));
    EXPECT_TRUE(ZipHandleIsReader(nullptr));

    int dummy = 0;
    ZipHandle writer = {kZipWriterHandle, &dummy};
    EXPECT_EQ(kZipWrongHandleKind, GetZipItem(&writer, 0, &item));
    EXPECT_EQ(kZipWrongHandleKind, FindZipItem(&writer, L"x", 0, nullptr, nullptr));
    EXPECT_EQ(kZipWrongHandleKind, UnzipItemToFile(&writer, 0, L"x"));
    EXPECT_EQ(kZipWrongHandleKind, UnzipItemToMemory(&writer, 0, &byte, 1));
    EXPECT_EQ(kZipWrongHandleKind, SetUnzipBaseDir(&writer, L"x"));
    EXPECT_EQ(kZipWrongHandleKind, CloseZipReader(&writer));
    EXPECT_EQ(kZipWrongHandleKind, LastZipReaderResult);
    EXPECT_FALSE(ZipHandleIsReader(&writer));
}

TEST(ZipReaderStreams, ArchiveInsideAnOpenStream) {
    ScratchDir dir;
    const std::wstring path = dir.File("inside.bin");
    std::vector<uint8_t> bytes = TextBytes(std::string(777, 'h'));
    const std::vector<uint8_t> archive = BuildArchive(AlbumEntries());
    bytes.insert(bytes.end(), archive.begin(), archive.end());
    WriteBytes(path, bytes);
    FILE* f = OpenWidePath(path.c_str(), "rb");
    ASSERT_NE(nullptr, f);
    ASSERT_EQ(0, SeekStream64(f, 777, SEEK_SET));
    ZipHandle* h = OpenZipSource(f, 0, kZipKindHandle, nullptr);
    ASSERT_NE(nullptr, h);
    uint32_t result;
    EXPECT_EQ(kConfig, ReadItem(h, 0, 64, &result));
    EXPECT_EQ(kZipOk, result);
    EXPECT_EQ(kZipOk, CloseZipReader(h));
    // The stream is the caller's: still open.
    EXPECT_EQ(0, SeekStream64(f, 0, SEEK_SET));
    std::fclose(f);

    FILE *readEnd, *writeEnd;
    ASSERT_TRUE(ziptest::MakePipe(&readEnd, &writeEnd));
    EXPECT_EQ(nullptr, OpenZipSource(readEnd, 0, kZipKindHandle, nullptr));
    EXPECT_EQ(kZipCannotSeek, LastZipReaderResult);
    std::fclose(readEnd);
    std::fclose(writeEnd);
}

// ---------------------------------------------------------------------------
// Extraction to files.

class ZipExtractTest : public ::testing::Test {
protected:
    ZipHandle* Open(const std::vector<RawEntry>& entries) {
        bytes_ = BuildArchive(entries);
        handle_ = OpenZipMemory(bytes_.data(), uint32_t(bytes_.size()), nullptr);
        if (handle_) {
            EXPECT_EQ(kZipOk, SetUnzipBaseDir(handle_, base_.c_str()));
        }
        return handle_;
    }
    void TearDown() override {
        if (handle_) CloseZipReader(handle_);
    }
    std::wstring Path(const std::string& relative) const { return base_ + ziptest::Widen(relative); }
    bool Exists(const std::string& relative) const {
        WideFileInfo info;
        return StatWidePath(Path(relative).c_str(), &info) == 0;
    }
    ScratchDir dir_;
    std::wstring base_ = dir_.File("out");  // no separator: one is appended
    std::vector<uint8_t> bytes_;
    ZipHandle* handle_ = nullptr;
};

TEST_F(ZipExtractTest, FilesFoldersAndTimes) {
    ASSERT_EQ(0, MakeWideFolder(base_.c_str()));
    base_ += L"/";
    ZipHandle* h = Open(AlbumEntries());
    ASSERT_NE(nullptr, h);
    const std::vector<RawEntry> entries = AlbumEntries();
    for (int32_t i = 0; i < 4; ++i) {
        ZipItem item;
        ASSERT_EQ(kZipOk, GetZipItem(h, i, &item));
        ASSERT_EQ(kZipOk, UnzipItemToFile(h, i, item.name)) << i;
    }
    EXPECT_EQ(kConfig, ReadBytes(Path("config")));
    EXPECT_EQ(Compressible(20000), ReadBytes(Path("0000")));
    EXPECT_TRUE(ZipPathIsFolder(Path("photos").c_str()));
    EXPECT_EQ(entries[3].data, ReadBytes(Path("photos/a.jpg")));
    WideFileInfo info;
    ASSERT_EQ(0, StatWidePath(Path("0000").c_str(), &info));
    EXPECT_EQ(ziptest::PinnedLocalToUtc(2009, 1, 1, 13, 26, 58), info.writeTime);
    // Another target name in a folder that does not exist yet.
    ASSERT_EQ(kZipOk, UnzipItemToFile(h, 0, L"deep/er/config.txt"));
    EXPECT_EQ(kConfig, ReadBytes(Path("deep/er/config.txt")));
    ASSERT_EQ(kZipOk, UnzipItemToFile(h, 0, L"back\\slash.txt"));
    EXPECT_EQ(kConfig, ReadBytes(Path("back/slash.txt")));
}

TEST_F(ZipExtractTest, FileItemsCreateTheirFolders) {
    ASSERT_EQ(0, MakeWideFolder(base_.c_str()));
    ZipHandle* h = Open({Entry("a/b/c.txt", TextBytes("deep"))});
    ASSERT_NE(nullptr, h);
    ASSERT_EQ(kZipOk, UnzipItemToFile(h, 0, L"a/b/c.txt"));
    EXPECT_EQ(TextBytes("deep"), ReadBytes(Path("/a/b/c.txt")));
}

TEST_F(ZipExtractTest, NamesThatLeaveTheBaseAreRefused) {
    ASSERT_EQ(0, MakeWideFolder(base_.c_str()));
    ZipHandle* h = Open({Entry("x.txt", TextBytes("payload")), Folder("../evil/"), Folder("/rooted/"),
                         Folder("C:/drive/"), Folder("fine/../../up/")});
    ASSERT_NE(nullptr, h);
    for (const wchar_t* name : {L"../x.txt", L"..\\x.txt", L"a/../../x.txt", L"/x.txt", L"\\x.txt", L"C:x.txt",
                                L"c:\\x.txt", L"..", L"", L"x.txt:stream"}) {
        EXPECT_EQ(kZipCannotOpen, UnzipItemToFile(h, 0, name)) << name;
    }
    for (int32_t folder = 1; folder <= 4; ++folder) EXPECT_EQ(kZipCannotOpen, UnzipItemToFile(h, folder, L"ignored"));
    EXPECT_FALSE(testing_support::fs::exists(dir_.path() / "x.txt"));
    EXPECT_FALSE(testing_support::fs::exists(dir_.path() / "evil"));
    EXPECT_FALSE(testing_support::fs::exists(dir_.path() / "up"));
    EXPECT_EQ(kZipCannotOpen, UnzipItemToFile(h, 0, nullptr));
}

// Names Windows would hand to a device (the bytes go there and the write
// "succeeds"), or store without their last dots and spaces, are refused in
// every component, and nothing is made in the base folder.
TEST_F(ZipExtractTest, DeviceNamesAreRefused) {
    ASSERT_EQ(0, MakeWideFolder(base_.c_str()));
    ZipHandle* h = Open({Entry("x.txt", TextBytes("payload")), Folder("CON/"), Folder("ok/aux/")});
    ASSERT_NE(nullptr, h);
    for (const wchar_t* name : {L"NUL", L"AUX.txt", L"COM1", L"con", L"lpt1.jpg", L"Nul .txt", L"sub/prn.jpg",
                                L"com1/x.txt", L"trail.jpg.", L"trail.jpg ", L"dots./x.txt"}) {
        EXPECT_EQ(kZipCannotOpen, UnzipItemToFile(h, 0, name)) << name;
    }
    EXPECT_EQ(kZipCannotOpen, UnzipItemToFile(h, 1, L"ignored"));
    EXPECT_EQ(kZipCannotOpen, UnzipItemToFile(h, 2, L"ignored"));
    size_t made = 0;
    for (const auto& entry : testing_support::fs::directory_iterator(testing_support::ToFsPath(base_))) {
        ADD_FAILURE() << entry.path();
        ++made;
    }
    EXPECT_EQ(0u, made);
    // The same names inside longer ones are plain file names.
    EXPECT_EQ(kZipOk, UnzipItemToFile(h, 0, L"nul_x.txt"));
}

TEST_F(ZipExtractTest, FailedExtractionLeavesNoFile) {
    ASSERT_EQ(0, MakeWideFolder(base_.c_str()));
    RawEntry bad = Entry("bad.bin", Compressible(50000), 8);
    bad.crcXor = 0x100;
    ZipHandle* h = Open({bad});
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(kZipDataError, UnzipItemToFile(h, 0, L"bad.bin"));
    EXPECT_FALSE(Exists("/bad.bin"));
}

// A file already at the target is replaced only by a complete extraction
// (which then carries the item's time); a failed one leaves it as it was and
// nothing beside it.
TEST_F(ZipExtractTest, ExistingFileIsReplacedOnlyByACompleteItem) {
    ASSERT_EQ(0, MakeWideFolder(base_.c_str()));
    RawEntry bad = Entry("bad.bin", Compressible(50000), 8);
    bad.crcXor = 0x100;
    ZipHandle* h = Open({bad, Entry("good.txt", TextBytes("extracted"))});
    ASSERT_NE(nullptr, h);
    const std::vector<uint8_t> before = TextBytes("the file as it was");
    WriteBytes(Path("/mine.txt"), before);
    EXPECT_EQ(kZipDataError, UnzipItemToFile(h, 0, L"mine.txt"));
    EXPECT_EQ(before, ReadBytes(Path("/mine.txt")));
    ASSERT_EQ(kZipOk, UnzipItemToFile(h, 1, L"mine.txt"));
    EXPECT_EQ(TextBytes("extracted"), ReadBytes(Path("/mine.txt")));
    WideFileInfo info;
    ASSERT_EQ(0, StatWidePath(Path("/mine.txt").c_str(), &info));
    EXPECT_EQ(ziptest::PinnedLocalToUtc(2009, 1, 1, 13, 26, 58), info.writeTime);
    size_t files = 0;
    for (const auto& entry : testing_support::fs::directory_iterator(testing_support::ToFsPath(base_))) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(1u, files);
}

TEST_F(ZipExtractTest, ReadOnlyItemsExtractAsDeletableFiles) {
    ASSERT_EQ(0, MakeWideFolder(base_.c_str()));
    RawEntry ro = Entry("ro.txt", TextBytes("read only"));
    ro.external = 0x81240000;  // 0444
    RawEntry hidden = Entry("hidden.txt", TextBytes("hidden"));
    hidden.versionMadeBy = 0x0B17;
    hidden.external = 0x23;  // read-only, hidden, archive
    ZipHandle* h = Open({ro, hidden});
    ASSERT_NE(nullptr, h);
    for (int32_t i = 0; i < 2; ++i) {
        ZipItem item;
        ASSERT_EQ(kZipOk, GetZipItem(h, i, &item));
        EXPECT_TRUE(item.attributes & 0x01);
        ASSERT_EQ(kZipOk, UnzipItemToFile(h, i, item.name));
        const std::wstring path = Path(std::string("/") + (i == 0 ? "ro.txt" : "hidden.txt"));
        WideFileInfo info;
        ASSERT_EQ(0, StatWidePath(path.c_str(), &info));
        EXPECT_EQ(0u, info.dosAttributes & 0x03) << i;
        EXPECT_EQ(0, RemoveWidePath(path.c_str()));
    }
}

TEST_F(ZipExtractTest, BaseFolderAndIndexChecks) {
    ZipHandle* h = Open(AlbumEntries());
    ASSERT_NE(nullptr, h);
    auto* reader = static_cast<ZipReader*>(h->object);
    EXPECT_EQ(kZipOk, SetUnzipBaseDir(h, L"\\Temp\\Trelmo"));
    EXPECT_STREQ(L"\\Temp\\Trelmo\\", reader->baseFolder);
    EXPECT_EQ(kZipOk, SetUnzipBaseDir(h, L"/already/"));
    EXPECT_STREQ(L"/already/", reader->baseFolder);
    EXPECT_EQ(kZipBadArguments, SetUnzipBaseDir(h, L""));
    EXPECT_EQ(kZipBadArguments, SetUnzipBaseDir(h, nullptr));
    EXPECT_EQ(kZipBadArguments, SetUnzipBaseDir(h, std::wstring(300, L'a').c_str()));
    EXPECT_STREQ(L"/already/", reader->baseFolder);
    EXPECT_EQ(kZipBadArguments, UnzipItemToFile(h, -1, L"x"));
    EXPECT_EQ(kZipBadArguments, UnzipItemToFile(h, 4, L"x"));
    // A joined path of 260 characters or more is refused.
    ASSERT_EQ(kZipOk, SetUnzipBaseDir(h, (dir_.path().wstring() + L"/").c_str()));
    EXPECT_EQ(kZipCannotOpen, UnzipItemToFile(h, 0, std::wstring(260, L'n').c_str()));
}

// ---------------------------------------------------------------------------
// Archive bombs: small archives that would extract to many times their size.

// Central records sharing one stored stream (the archive's bytes counted once
// per record) are refused, to files and to memory; an archive without such
// records extracts as before.
TEST_F(ZipExtractTest, RecordsSharingOneStreamAreRefused) {
    ASSERT_EQ(0, MakeWideFolder(base_.c_str()));
    std::vector<RawEntry> entries = {Entry("0000", Compressible(200000), 8)};
    for (int i = 1; i <= 4; ++i) {
        RawEntry copy = Entry("000" + std::to_string(i), {});
        copy.sharesHeaderOf = 0;
        entries.push_back(copy);
    }
    entries.push_back(Entry("alone", TextBytes("fine")));
    ZipHandle* h = Open(entries);
    ASSERT_NE(nullptr, h);
    for (int32_t i = 0; i < 5; ++i) {
        ZipItem item;
        ASSERT_EQ(kZipOk, GetZipItem(h, i, &item));
        EXPECT_EQ(200000u, item.uncompressedSize);
        EXPECT_EQ(kZipDataError, UnzipItemToFile(h, i, item.name)) << i;
        uint8_t byte;
        EXPECT_EQ(kZipDataError, UnzipItemToMemory(h, i, &byte, 1)) << i;
        EXPECT_FALSE(Exists("/" + WideToUtf8(item.name)));
    }
    EXPECT_EQ(kZipOk, UnzipItemToFile(h, 5, L"alone"));
    EXPECT_EQ(TextBytes("fine"), ReadBytes(Path("/alone")));
}

// A deflated item that claims many times its stored bytes is refused before
// anything is written; below a megabyte, or at ordinary ratios, items pass.
TEST_F(ZipExtractTest, ItemsPastTheInflateRatioAreRefused) {
    ASSERT_EQ(0, MakeWideFolder(base_.c_str()));
    const std::vector<uint8_t> zeros(4u << 20, 0);  // about 4 KB deflated
    ZipHandle* h = Open({Entry("bomb", zeros, 8), Entry("small", std::vector<uint8_t>(900000, 0), 8),
                         Entry("photo", PatternBytes(2u << 20, 5), 8)});
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(kZipDataError, UnzipItemToFile(h, 0, L"bomb"));
    EXPECT_FALSE(Exists("/bomb"));
    uint8_t byte;
    EXPECT_EQ(kZipDataError, UnzipItemToMemory(h, 0, &byte, 1));
    EXPECT_EQ(kZipOk, UnzipItemToFile(h, 1, L"small"));
    EXPECT_EQ(kZipOk, UnzipItemToFile(h, 2, L"photo"));
    EXPECT_EQ(PatternBytes(2u << 20, 5), ReadBytes(Path("/photo")));
}

// An item whose data go on past its declared size delivers not one byte
// more than it declares.
TEST_F(ZipExtractTest, NothingPastTheDeclaredSizeIsWritten) {
    RawEntry longer = Entry("longer", PatternBytes(200000, 3), 8);
    longer.uncompressedDelta = -100000;
    ZipHandle* h = Open({longer});
    ASSERT_NE(nullptr, h);
    const std::wstring path = dir_.File("stream.bin");
    FILE* f = OpenWidePath(path.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(kZipDataError, UnzipItem(static_cast<ZipReader*>(h->object), 0, f, 0, kZipKindHandle));
    std::fclose(f);
    EXPECT_EQ(100000u, ReadBytes(path).size());
    // In memory, pieces of any size stop at the declared size too.
    for (uint32_t piece : {1000u, 65536u, 300000u}) {
        uint32_t result;
        EXPECT_EQ(100000u, ReadItem(h, 0, piece, &result).size()) << piece;
        EXPECT_EQ(kZipDataError, result);
    }
}

// An item larger than the free space of the target's volume is refused
// before anything is written (a stored item declaring a petabyte in a ZIP64
// extra field).
TEST_F(ZipExtractTest, ItemsLargerThanTheFreeSpaceAreRefused) {
    ASSERT_EQ(0, MakeWideFolder(base_.c_str()));
    RawEntry huge = Entry("huge", TextBytes("the rest is missing"));
    huge.zip64Size = uint64_t(1) << 50;
    ZipHandle* h = Open({huge});
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(kZipWriteFailed, UnzipItemToFile(h, 0, L"huge"));
    EXPECT_FALSE(Exists("/huge"));
    size_t files = 0;
    for (const auto& entry : testing_support::fs::directory_iterator(testing_support::ToFsPath(base_))) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(0u, files);
}

#ifndef _WIN32
// Links planted in the (shared) base folder: one at an item's name is
// replaced by the item, and what it leads to is left as it was, whether a
// file, a link to nowhere or a device, and a second name of another file is
// split from it; a folder link on the way is refused.
TEST_F(ZipExtractTest, LinksInTheBaseFolderAreNeverWrittenThrough) {
    namespace fs = testing_support::fs;
    ASSERT_EQ(0, MakeWideFolder(base_.c_str()));
    const fs::path base = testing_support::ToFsPath(base_);
    const std::wstring victim = dir_.File("victim.txt");
    const std::vector<uint8_t> mine = TextBytes("not the archive's");
    WriteBytes(victim, mine);
    fs::create_directory(dir_.path() / "elsewhere");
    fs::create_symlink(testing_support::ToFsPath(victim), base / "A.txt");
    fs::create_symlink(dir_.path() / "gone.txt", base / "B.txt");
    fs::create_symlink("/dev/null", base / "C.txt");
    fs::create_symlink(dir_.path() / "elsewhere", base / "sub");
    fs::create_hard_link(testing_support::ToFsPath(victim), base / "D.txt");
    ZipHandle* h = Open({Entry("A.txt", TextBytes("payload"))});
    ASSERT_NE(nullptr, h);
    for (const char* name : {"A.txt", "B.txt", "C.txt", "D.txt"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(kZipOk, UnzipItemToFile(h, 0, ziptest::Widen(name).c_str()));
        EXPECT_FALSE(fs::is_symlink(base / name));
        EXPECT_EQ(TextBytes("payload"), ReadBytes(Path(std::string("/") + name)));
    }
    EXPECT_EQ(mine, ReadBytes(victim));
    EXPECT_FALSE(fs::exists(dir_.path() / "gone.txt"));
    EXPECT_EQ(kZipCannotOpen, UnzipItemToFile(h, 0, L"sub/A.txt"));
    EXPECT_EQ(kZipCannotOpen, UnzipItemToFile(h, 0, L"sub/deeper/A.txt"));
    EXPECT_TRUE(fs::is_empty(dir_.path() / "elsewhere"));
}
#endif

TEST_F(ZipExtractTest, ToAnOpenStream) {
    ZipHandle* h = Open(AlbumEntries());
    ASSERT_NE(nullptr, h);
    const std::wstring path = dir_.File("stream.bin");
    FILE* f = OpenWidePath(path.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    std::fputs("head:", f);
    auto* reader = static_cast<ZipReader*>(h->object);
    EXPECT_EQ(kZipOk, UnzipItem(reader, 1, f, 0, kZipKindHandle));
    EXPECT_EQ(kZipOk, UnzipItem(reader, 2, f, 0, kZipKindHandle));  // a folder: nothing to write
    std::fclose(f);
    std::vector<uint8_t> expected = TextBytes("head:");
    const std::vector<uint8_t> data = Compressible(20000);
    expected.insert(expected.end(), data.begin(), data.end());
    EXPECT_EQ(expected, ReadBytes(path));
    EXPECT_EQ(kZipBadArguments, UnzipItem(reader, 0, nullptr, 0, kZipKindHandle));
    int notAStream = 0;
    EXPECT_EQ(kZipBadArguments, UnzipItem(reader, 0, &notAStream, 0, 7));
}

}  // namespace
