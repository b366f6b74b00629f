// Entry sources: names stored as they are, attributes, timestamps, sizes
// and the running CRC-32.
#include "zip/zipsource.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/testfiles.h"
#include "tests/zip/ziptestutil.h"
#include "zip/zipcrypt.h"
#include "zip/zipfs.h"
#include "zip/ziptime.h"
#include "zip/zipwriter.h"

namespace {

namespace fs = testing_support::fs;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

TEST(ZipSource, StoreOnlyNames) {
    const struct {
        const wchar_t* name;
        bool storeOnly;
    } kCases[] = {
        {L"a.Z", true},    {L"a.ZIP", true},   {L"a.zoo", true},  {L"a.Arc", true},    {L"a.lzh", true},
        {L"a.arj", true},  {L"a.gz", true},    {L"a.TGZ", true},  {L"a.z", true},      {L".zip", true},
        {L"a.jpg", false}, {L"a.tar", false},  {L"zip", false},   {L"a.zip.jpg", false}, {L"config", false},
        {L"0001", false},  {L"a.gzip", false}, {L"", false},
    };
    for (const auto& c : kCases) EXPECT_EQ(c.storeOnly, IsStoreOnlyName(c.name)) << c.name;
    EXPECT_FALSE(IsStoreOnlyName(nullptr));
}

class ZipSourceTest : public ::testing::Test {
protected:
    void SetUp() override { writer_ = CreateZipWriter(nullptr); }
    void TearDown() override {
        CloseSource(writer_);
        FreeZipWriter(writer_);
    }
    ZipSource& source() { return writer_->source; }
    ScratchDir dir_;
    ZipWriter* writer_ = nullptr;
};

TEST_F(ZipSourceTest, FileAttributesAndLocalTimestamp) {
    const std::wstring path = dir_.File("photo.jpg");
    WriteBytes(path, ziptest::PatternBytes(1234, 1));
    ASSERT_EQ(0, SetWidePathTime(path.c_str(), ziptest::PinnedLocalToUtc(2009, 6, 30, 10, 15, 37)));
    ASSERT_EQ(kZipOk, OpenSourceFile(writer_, path.c_str()));
    EXPECT_EQ(1234, source().size);
    EXPECT_EQ(uint32_t((29 << 9) | (6 << 5) | 30) << 16 | ((10 << 11) | (15 << 5) | 18), source().dosTime);
    // A regular file the owner may read and write; DOS bits in the low byte.
    EXPECT_EQ(0x81800000u, source().attributes & 0xFFFF0000u);
    EXPECT_EQ(0u, source().attributes & 0x11);
    CloseSource(writer_);

    fs::permissions(testing_support::ToFsPath(path),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    ASSERT_EQ(kZipOk, OpenSourceFile(writer_, path.c_str()));
    EXPECT_EQ(0x81000001u, source().attributes & 0xFFFF0001u);
    if (source().attributes & 0x20) {
        EXPECT_EQ(0x81000021u, source().attributes);
    }
    CloseSource(writer_);
    fs::permissions(testing_support::ToFsPath(path), fs::perms::owner_write, fs::perm_options::add);
}

#ifdef _WIN32
// Windows only: attribute bits that stat does not know reach the low byte
// (set with the system's attrib command, as the C runtime cannot; Wine keeps
// the system bit but derives "hidden" from the name).
TEST_F(ZipSourceTest, SystemFiles) {
    const std::wstring path = dir_.File("system.jpg");
    WriteBytes(path, {1, 2, 3});
    ASSERT_EQ(0, _wsystem((L"attrib +s \"" + path + L"\" >NUL").c_str()));
    ASSERT_EQ(kZipOk, OpenSourceFile(writer_, path.c_str()));
    EXPECT_EQ(0x04u, source().attributes & 0x04u);
    CloseSource(writer_);
    _wsystem((L"attrib -s \"" + path + L"\" >NUL").c_str());
}
#endif

TEST_F(ZipSourceTest, FolderAttributes) {
    uint32_t attributes, dosTime;
    uint64_t size;
    ASSERT_EQ(kZipOk, GetSourceFileInfo(nullptr, dir_.path().wstring().c_str(), &attributes, &size, &dosTime));
    EXPECT_EQ(0x41800010u, attributes & ~0x20u);
    EXPECT_EQ(kZipCannotOpen, GetSourceFileInfo(nullptr, dir_.File("none").c_str(), &attributes, &size, &dosTime));
}

TEST_F(ZipSourceTest, ExecutablesGetTheOwnerExecuteBit) {
    auto makeExe = [](size_t size, uint32_t headerOffset, const char* signature) {
        std::vector<uint8_t> v(size, 0);
        v[0] = 'M';
        v[1] = 'Z';
        for (int i = 0; i < 4; ++i) v[0x3C + i] = uint8_t(headerOffset >> (8 * i));
        if (headerOffset + 4 <= size) {
            v[headerOffset] = uint8_t(signature[0]);
            v[headerOffset + 1] = uint8_t(signature[1]);
        }
        return v;
    };
    const struct {
        std::vector<uint8_t> bytes;
        bool executable;
    } kCases[] = {
        {makeExe(0x200, 0x80, "PE"), true},
        {makeExe(0x200, 0x80, "NE"), true},
        {makeExe(0x200, 0x80, "LE"), true},
        {makeExe(0x200, 0x80, "MZ"), true},
        {makeExe(0x200, 0x80, "XX"), false},
        {makeExe(0x80 + 53, 0x80, "PE"), true},   // offset + 52 just below the size
        {makeExe(0x80 + 52, 0x80, "PE"), false},  // not below
        {makeExe(0x200, 0xFFFFFFF0, "PE"), false},
        {ziptest::TextBytes(std::string(100, 'M')), false},
    };
    for (size_t i = 0; i < sizeof kCases / sizeof *kCases; ++i) {
        const std::wstring path = dir_.File("prog" + std::to_string(i));
        WriteBytes(path, kCases[i].bytes);
        ASSERT_EQ(kZipOk, OpenSourceFile(writer_, path.c_str()));
        EXPECT_EQ(kCases[i].executable, (source().attributes & 0x00400000u) != 0) << i;
        // Reading starts at the beginning whatever the check read.
        uint8_t first[2];
        EXPECT_EQ(2u, ReadSource(writer_, first, 2));
        EXPECT_EQ(kCases[i].bytes[0], first[0]);
        CloseSource(writer_);
    }
}

TEST_F(ZipSourceTest, MemorySources) {
    const std::vector<uint8_t> data = ziptest::PatternBytes(1000, 9);
    EXPECT_EQ(kZipBadArguments, OpenSourceMemory(writer_, data.data(), 0));
    EXPECT_EQ(kZipBadArguments, OpenSourceMemory(writer_, nullptr, 10));
    const uint32_t before = CurrentDosTime();
    ASSERT_EQ(kZipOk, OpenSourceMemory(writer_, data.data(), 1000));
    EXPECT_EQ(kZipStreamAttributes, source().attributes);
    EXPECT_GE(source().dosTime, before);
    EXPECT_LE(source().dosTime, CurrentDosTime());
    std::vector<uint8_t> buffer(1000);
    EXPECT_EQ(600u, ReadSource(writer_, buffer.data(), 600));
    EXPECT_EQ(300u, ReadSource(writer_, buffer.data() + 600, 300));
    EXPECT_EQ(900u, source().bytesRead);
    EXPECT_EQ(ZipCrc32(0, data.data(), 900), source().crc);
    // Announced 1000, 900 read.
    EXPECT_EQ(kZipSizeMismatch, CloseSource(writer_));
    EXPECT_EQ(900, source().size);
}

TEST_F(ZipSourceTest, StreamsThatCannotSeek) {
    FILE *readEnd, *writeEnd;
    ASSERT_TRUE(ziptest::MakePipe(&readEnd, &writeEnd));
    const std::vector<uint8_t> data = ziptest::PatternBytes(5000, 2);
    std::fwrite(data.data(), 1, data.size(), writeEnd);
    std::fclose(writeEnd);
    ASSERT_EQ(kZipOk, OpenSourceHandle(writer_, readEnd, 0));
    EXPECT_EQ(-1, source().size);
    EXPECT_EQ(kZipStreamAttributes, source().attributes);
    std::vector<uint8_t> buffer(8000);
    uint32_t total = 0, n;
    while ((n = ReadSource(writer_, buffer.data() + total, 8000 - total)) != 0) total += n;
    EXPECT_EQ(5000u, total);
    EXPECT_EQ(kZipOk, CloseSource(writer_));
    EXPECT_EQ(5000, source().size);
    EXPECT_EQ(ZipCrc32(0, data.data(), data.size()), source().crc);
    std::fclose(readEnd);

    EXPECT_EQ(kZipBadArguments, OpenSourceHandle(writer_, nullptr, 0));
    ASSERT_TRUE(ziptest::MakePipe(&readEnd, &writeEnd));
    EXPECT_EQ(kZipTooLarge, OpenSourceHandle(writer_, readEnd, 0x80000000u));
    std::fclose(readEnd);
    std::fclose(writeEnd);
}

TEST_F(ZipSourceTest, MissingFilesAndFolders) {
    EXPECT_EQ(kZipBadArguments, OpenSourceFile(writer_, nullptr));
    EXPECT_EQ(kZipBadArguments, OpenSourceFile(writer_, L""));
    EXPECT_EQ(kZipCannotOpen, OpenSourceFile(writer_, dir_.File("missing").c_str()));
    EXPECT_EQ(nullptr, source().data);
    ASSERT_EQ(kZipOk, OpenSourceFolder(writer_));
    EXPECT_EQ(kZipFolderAttributes, source().attributes);
    EXPECT_EQ(0, source().size);
}

#ifndef _WIN32
// Natively only: a sparse file stands in for 2 GiB of data.
TEST_F(ZipSourceTest, FilesOf2GiBAreRefused) {
    const std::wstring path = dir_.File("huge.bin");
    WriteBytes(path, {1});
    fs::resize_file(testing_support::ToFsPath(path), 0x80000000u);
    EXPECT_EQ(kZipTooLarge, OpenSourceFile(writer_, path.c_str()));
    EXPECT_EQ(nullptr, source().data);
    fs::resize_file(testing_support::ToFsPath(path), 0x7FFFFFFFu);
    EXPECT_EQ(kZipOk, OpenSourceFile(writer_, path.c_str()));
}
#endif

}  // namespace
