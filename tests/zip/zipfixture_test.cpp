// Archives written by Info-ZIP zip and by Python's zipfile (made at build
// time by make_fixtures.py) read back exactly: names, sizes, bytes, times
// and attributes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/testfiles.h"
#include "tests/zip/ziptestutil.h"
#include "zip/zip.h"
#include "zip/zipfs.h"
#include "zip/ziptime.h"

namespace {

using testing_support::ReadBytes;
using testing_support::ScratchDir;
using ziptest::ReadItem;

// Kept in step with make_fixtures.py.
std::vector<uint8_t> ConfigText() {
    std::string s;
    for (int i = 0; i < 40; ++i) s += "#Trelmo Album\ncount = 2\n";
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::vector<uint8_t> PictureBytes() {
    std::vector<uint8_t> v(5000);
    for (size_t i = 0; i < v.size(); ++i) v[i] = uint8_t((i * 31 + 7) & 0xFF);
    return v;
}

const int64_t kFixtureTime = 1246346136;  // 2009-06-30 07:15:36 UTC

struct ExpectedItem {
    const wchar_t* name;
    std::vector<uint8_t> data;
    uint32_t attributes;
};

const std::vector<ExpectedItem>& InfoZipItems() {
    static const std::vector<ExpectedItem> items = {
        {L"config", ConfigText(), 0x20},
        {L"pics/a.bin", PictureBytes(), 0x20},
        {L"readonly.txt", ziptest::TextBytes("do not touch\n"), 0x21},
        {L"empty.txt", {}, 0x20},
        {L"pics/", {}, 0x30},
    };
    return items;
}

const std::vector<ExpectedItem>& PythonItems() {
    static const std::vector<ExpectedItem> items = {
        {L"stored.bin", PictureBytes(), 0x20},
        {L"deflated.txt", ConfigText(), 0x21},
        {L"dos.txt", ziptest::TextBytes("dos attributes\n"), 0x21},
        {L"folder/", {}, 0x30},
        {L"caf\u00e9.txt", ziptest::TextBytes("utf-8 name\n"), 0x20},
    };
    return items;
}

ZipHandle* OpenFixture(const char* name, const char* password) {
    const std::wstring path = ziptest::Widen(ziptest::FixturePath(name));
    ZipHandle* h = OpenZipFile(path.c_str(), password);
    EXPECT_NE(nullptr, h) << name << " (" << LastZipReaderResult << ")";
    return h;
}

void ExpectItems(const char* fixture, const char* password, const std::vector<ExpectedItem>& expected) {
    SCOPED_TRACE(fixture);
    ZipHandle* h = OpenFixture(fixture, password);
    if (!h) return;
    ZipItem all;
    ASSERT_EQ(kZipOk, GetZipItem(h, -1, &all));
    ASSERT_EQ(int32_t(expected.size()), all.index);
    for (int32_t i = 0; i < all.index; ++i) {
        const ExpectedItem& e = expected[size_t(i)];
        SCOPED_TRACE(i);
        ZipItem item;
        ASSERT_EQ(kZipOk, GetZipItem(h, i, &item));
        EXPECT_STREQ(e.name, item.name);
        EXPECT_EQ(e.attributes, item.attributes);
        EXPECT_EQ(e.data.size(), item.uncompressedSize);
        EXPECT_EQ(UnixTimeToFileTime(kFixtureTime), item.writeTime);
        uint32_t result;
        const std::vector<uint8_t> data = ReadItem(h, i, 1000, &result);
        EXPECT_EQ(kZipOk, result);
        EXPECT_EQ(e.data, data);
        int32_t found = -1;
        EXPECT_EQ(kZipOk, FindZipItem(h, e.name, 0, &found, nullptr));
        EXPECT_EQ(i, found);
    }
    EXPECT_EQ(kZipOk, CloseZipReader(h));
}

TEST(ZipFixtures, InfoZipArchive) { ExpectItems("infozip.zip", nullptr, InfoZipItems()); }

TEST(ZipFixtures, InfoZipArchiveBehindJunk) { ExpectItems("junk.zip", nullptr, InfoZipItems()); }

TEST(ZipFixtures, InfoZipEncryptedArchive) { ExpectItems("infozip_pw.zip", "secret", InfoZipItems()); }

TEST(ZipFixtures, PythonArchive) { ExpectItems("python.zip", nullptr, PythonItems()); }

TEST(ZipFixtures, WrongOrMissingPasswordLeavesNothing) {
    ScratchDir dir;
    for (const char* password : {"Secret", static_cast<const char*>(nullptr), ""}) {
        ZipHandle* h = OpenFixture("infozip_pw.zip", password);
        ASSERT_NE(nullptr, h);
        ASSERT_EQ(kZipOk, SetUnzipBaseDir(h, dir.path().wstring().c_str()));
        // The check byte catches all but one wrong password in 256; the
        // data (CRC-32) catch the rest.
        const auto refused = [](uint32_t r) { return r == kZipBadPassword || (r == kZipDataError); };
        if (!password) {
            EXPECT_EQ(kZipBadPassword, UnzipItemToFile(h, 0, L"config"));
        } else {
            EXPECT_PRED1(refused, UnzipItemToFile(h, 0, L"config"));
        }
        EXPECT_PRED1(refused, UnzipItemToFile(h, 1, L"pics/a.bin"));
        std::vector<uint8_t> buffer(10000);
        uint32_t r = UnzipItemToMemory(h, 0, buffer.data(), uint32_t(buffer.size()));
        if (r == kZipMoreData) r = UnzipItemToMemory(h, 0, buffer.data(), uint32_t(buffer.size()));
        EXPECT_PRED1(refused, r);
        EXPECT_EQ(kZipOk, CloseZipReader(h));
    }
    EXPECT_FALSE(testing_support::fs::exists(dir.path() / "config"));
    EXPECT_FALSE(testing_support::fs::exists(dir.path() / "pics" / "a.bin"));
}

TEST(ZipFixtures, ExtractEverythingToFiles) {
    ScratchDir dir;
    ZipHandle* h = OpenFixture("infozip.zip", nullptr);
    ASSERT_NE(nullptr, h);
    ASSERT_EQ(kZipOk, SetUnzipBaseDir(h, dir.path().wstring().c_str()));
    for (int32_t i = 0; i < 5; ++i) {
        ZipItem item;
        ASSERT_EQ(kZipOk, GetZipItem(h, i, &item));
        ASSERT_EQ(kZipOk, UnzipItemToFile(h, i, item.name)) << i;
    }
    EXPECT_EQ(kZipOk, CloseZipReader(h));
    for (const ExpectedItem& e : InfoZipItems()) {
        const std::wstring path = dir.path().wstring() + L"/" + e.name;
        if (e.attributes & 0x10) {
            EXPECT_TRUE(ZipPathIsFolder(path.c_str()));
            continue;
        }
        EXPECT_EQ(e.data, ReadBytes(path)) << e.name;
        WideFileInfo info;
        ASSERT_EQ(0, StatWidePath(path.c_str(), &info));
        EXPECT_EQ(kFixtureTime, info.writeTime);
        EXPECT_EQ(0u, info.dosAttributes & 0x01);  // read-only is not copied
    }
}

}  // namespace
