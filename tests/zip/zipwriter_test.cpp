// The ZIP writer: record layout (read back by an independent parser in
// ziptestutil.cpp), data checked by zlib's inflate and by our reader, and
// natively by Python's zipfile and Info-ZIP's unzip and zipinfo.
#include "zip/zipwriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/oracles.h"
#include "tests/support/testfiles.h"
#include "tests/support/zipdeflate.h"
#include "tests/zip/ziptestutil.h"
#include "zip/zipcrypt.h"
#include "zip/zipfs.h"
#include "zip/zipreader.h"
#include "zip/ziptime.h"

namespace {

#ifndef _WIN32
using testing_support::RunCommand;
using testing_support::ShellQuote;
#endif
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;
using ziptest::ParseArchive;
using ziptest::ParsedArchive;
using ziptest::PatternBytes;
using ziptest::ReadItem;
using ziptest::TextBytes;

const int64_t kSourceTime = ziptest::PinnedLocalToUtc(2009, 6, 30, 10, 15, 36);
const uint32_t kSourceDosTime = uint32_t((29 << 9) | (6 << 5) | 30) << 16 | ((10 << 11) | (15 << 5) | 18);

std::vector<uint8_t> Picture(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t((i % 240) + ((i / 240) % 7) * 3);
    return v;
}

const std::vector<uint8_t> kConfig = TextBytes("#Trelmo Album\ncount = 2\n0000,a.jpg\n0001,b.jpg\nDelay = 5\n");

// A counter as the encryption header's random source, so that encrypted
// archives come out the same on every run.
class FixedRandom {
public:
    FixedRandom() { SetZipRandomSource(&Next, this); }
    ~FixedRandom() { SetZipRandomSource(nullptr, nullptr); }

private:
    static uint8_t Next(void* self) { return uint8_t(static_cast<FixedRandom*>(self)->n_++ * 37 + 11); }
    uint32_t n_ = 0;
};

class ZipWriterTest : public ::testing::Test {
protected:
    // A source file with the fixed time.
    std::wstring Source(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::wstring path = dir_.File(name);
        WriteBytes(path, bytes);
        EXPECT_EQ(0, SetWidePathTime(path.c_str(), kSourceTime));
        return path;
    }
    // Writes an archive into memory of `capacity` bytes; *closeResult gets the
    // close's code. `add` adds the entries and checks their results.
    template <typename Add>
    std::vector<uint8_t> InMemory(const char* password, uint32_t capacity, Add add, uint32_t* closeResult = nullptr) {
        std::vector<uint8_t> buffer(capacity);
        ZipWriter* w = CreateZipWriter(password);
        EXPECT_EQ(kZipOk, ZipWriterOpen(w, buffer.data(), capacity, kZipKindMemory));
        add(w);
        const uint32_t closed = ZipWriterClose(w);
        if (closeResult)
            *closeResult = closed;
        else
            EXPECT_EQ(kZipOk, closed);
        buffer.resize(w->written <= capacity ? w->written : capacity);
        FreeZipWriter(w);
        return buffer;
    }
    ScratchDir dir_;
};

// Reads every item back with our reader and returns the names and bytes.
std::vector<std::pair<std::wstring, std::vector<uint8_t>>> ReadBack(const std::vector<uint8_t>& archive,
                                                                   const char* password = nullptr) {
    std::vector<std::pair<std::wstring, std::vector<uint8_t>>> items;
    ZipHandle* h = OpenZipMemory(archive.data(), uint32_t(archive.size()), password);
    EXPECT_NE(nullptr, h);
    if (!h) return items;
    ZipItem all;
    EXPECT_EQ(kZipOk, GetZipItem(h, -1, &all));
    for (int32_t i = 0; i < all.index; ++i) {
        ZipItem item;
        EXPECT_EQ(kZipOk, GetZipItem(h, i, &item));
        uint32_t result;
        std::vector<uint8_t> data = ReadItem(h, i, 5000, &result);
        EXPECT_EQ(kZipOk, result) << i;
        items.emplace_back(item.name, data);
    }
    CloseZipReader(h);
    return items;
}

#ifndef _WIN32
// An entry as Python's zipfile sees it (after reading it whole, with the
// password when given).
struct PythonEntry {
    unsigned flags, method;
    uint32_t external, size, crc;
};

// Python's zipfile over an archive: testzip must find nothing wrong; returns
// the entries by name.
std::map<std::string, PythonEntry> PythonListing(const std::string& path, const char* password = nullptr) {
    const std::string script =
        "import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "if len(sys.argv) > 2: z.setpassword(sys.argv[2].encode())\n"
        "print('testzip', z.testzip())\n"
        "for i in z.infolist():\n"
        "    z.read(i)\n"
        "    print(i.flag_bits, i.compress_type, i.external_attr, i.file_size, i.CRC, i.filename)\n";
    int status = -1;
    const std::string out = RunCommand("/usr/bin/python3 -c " + ShellQuote(script) + " " + ShellQuote(path) +
                                           (password ? " " + ShellQuote(password) : std::string()) + " 2>&1",
                                       &status);
    EXPECT_EQ(0, status) << out;
    EXPECT_EQ(0u, out.find("testzip None\n")) << out;
    std::map<std::string, PythonEntry> entries;
    std::istringstream lines(out);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        PythonEntry e;
        std::string name;
        fields >> e.flags >> e.method >> e.external >> e.size >> e.crc;
        std::getline(fields >> std::ws, name);
        entries[name] = e;
    }
    return entries;
}

// Python's view of each entry agrees with the records we wrote.
void ExpectPythonAgrees(const std::string& path, const ParsedArchive& parsed, const char* password = nullptr) {
    const std::map<std::string, PythonEntry> python = PythonListing(path, password);
    ASSERT_EQ(parsed.entries.size(), python.size());
    for (const ziptest::ParsedEntry& e : parsed.entries) {
        const auto it = python.find(e.name);
        ASSERT_NE(python.end(), it) << e.name;
        EXPECT_EQ(e.flags, it->second.flags) << e.name;
        EXPECT_EQ(e.method, it->second.method) << e.name;
        EXPECT_EQ(e.external, it->second.external) << e.name;
        EXPECT_EQ(e.uncompressedSize, it->second.size) << e.name;
        EXPECT_EQ(e.crc, it->second.crc) << e.name;
    }
}

void CheckWithInfoZip(const std::string& path, const char* password = nullptr) {
    const std::string pw = password ? " -P " + ShellQuote(password) : std::string();
    int status = -1;
    std::string out = RunCommand("unzip -t" + pw + " " + ShellQuote(path) + " 2>&1", &status);
    EXPECT_EQ(0, status) << out;
    EXPECT_NE(std::string::npos, out.find("No errors detected")) << out;
    out = RunCommand("zipinfo -v " + ShellQuote(path) + " 2>&1", &status);
    EXPECT_EQ(0, status) << out;
}

// Both oracles over an archive in a file.
void CheckWithOracles(const std::wstring& archive, const ParsedArchive& parsed, const char* password = nullptr) {
    const std::string path = testing_support::ToFsPath(archive).string();
    ExpectPythonAgrees(path, parsed, password);
    CheckWithInfoZip(path, password);
}
#endif

TEST_F(ZipWriterTest, FileArchiveRoundTrip) {
    const std::vector<uint8_t> a = Picture(70000), b = PatternBytes(3000, 4), c = TextBytes("already packed");
    const std::wstring archive = dir_.File("album.alb");
    ZipHandle* h = CreateZipFile(archive.c_str(), nullptr);
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(kZipOk, LastZipWriterResult);
    EXPECT_FALSE(ZipHandleIsReader(h));
    EXPECT_EQ(kZipOk, ZipAddFile(h, L"config", Source("config.txt", kConfig).c_str()));
    EXPECT_EQ(kZipOk, ZipAddFile(h, L"0000", Source("a.bmp", a).c_str()));
    EXPECT_EQ(kZipOk, ZipAddFile(h, L"photos\\2009\\b.jpg", Source("b.jpg", b).c_str()));
    EXPECT_EQ(kZipOk, ZipAddFile(h, L"c.Tgz", Source("c.tgz", c).c_str()));
    EXPECT_EQ(kZipCannotOpen, ZipAddFile(h, L"missing", dir_.File("missing").c_str()));
    EXPECT_EQ(kZipOk, CloseZipWriter(h));
    EXPECT_EQ(kZipOk, LastZipWriterResult);

    const std::vector<uint8_t> bytes = ReadBytes(archive);
    const ParsedArchive parsed = ParseArchive(bytes);
    ASSERT_TRUE(parsed.ok);
    ASSERT_EQ(4u, parsed.entries.size());
    const struct {
        const char* name;
        uint16_t method;
        const std::vector<uint8_t>* data;
    } kExpected[] = {{"config", 8, &kConfig}, {"0000", 8, &a}, {"photos/2009/b.jpg", 8, &b}, {"c.Tgz", 0, &c}};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(kExpected[i].name);
        const ziptest::ParsedEntry& e = parsed.entries[i];
        EXPECT_EQ(kExpected[i].name, e.name);
        EXPECT_EQ(kExpected[i].method, e.method);
        EXPECT_EQ(0x0B17, e.versionMadeBy);
        // Local headers rewritten with the real values: no descriptors.
        EXPECT_EQ(e.method == 8 ? 2 : 0, e.flags);
        EXPECT_EQ(e.flags, e.localFlags);
        EXPECT_FALSE(e.hasDescriptor);
        EXPECT_EQ(e.crc, e.localCrc);
        EXPECT_EQ(e.compressedSize, e.localCompressed);
        EXPECT_EQ(e.uncompressedSize, e.localUncompressed);
        EXPECT_EQ(kSourceDosTime, e.dosTime);
        EXPECT_EQ(0x81800000u, e.external & 0xFFFF0000u);
        EXPECT_EQ(kExpected[i].data->size(), e.uncompressedSize);
        std::vector<uint8_t> data;
        if (e.method == 8)
            ASSERT_TRUE(testing_support::InflateRaw(e.rawData, &data, e.uncompressedSize));
        else
            data = e.rawData;
        EXPECT_EQ(*kExpected[i].data, data);
    }
    // The central directory follows the last entry's data.
    const ziptest::ParsedEntry& last = parsed.entries.back();
    EXPECT_EQ(last.localOffset + 30 + last.name.size() + last.compressedSize, parsed.centralOffset);
    EXPECT_EQ(bytes.size(), parsed.centralOffset + parsed.centralSize + 22);

    const auto items = ReadBack(bytes);
    ASSERT_EQ(4u, items.size());
    EXPECT_EQ(L"photos/2009/b.jpg", items[2].first);
    EXPECT_EQ(a, items[1].second);
    ZipHandle* r = OpenZipFile(archive.c_str(), nullptr);
    ASSERT_NE(nullptr, r);
    ZipItem item;
    ASSERT_EQ(kZipOk, GetZipItem(r, 1, &item));
    EXPECT_EQ(UnixTimeToFileTime(kSourceTime), item.writeTime);
    EXPECT_EQ(0x20u, item.attributes & 0x31);
    EXPECT_EQ(kZipOk, CloseZipReader(r));

#ifndef _WIN32
    CheckWithOracles(archive, parsed);
#endif
}

// An archive created over an existing file replaces it only when the close
// succeeds: a failed add and close, or a writer freed without a close, leave
// the old file as it was and nothing beside it.
TEST_F(ZipWriterTest, ExistingFileIsReplacedOnlyByAFinishedArchive) {
    const std::vector<uint8_t> before = TextBytes("the album as it was");
    const std::vector<uint8_t> data = Picture(3000);
    const std::wstring source = Source("a.bmp", data);
    const std::wstring archive = dir_.File("album.alb");
    enum Outcome { kFailedClose, kNoClose, kDone };
    for (Outcome outcome : {kFailedClose, kNoClose, kDone}) {
        SCOPED_TRACE(outcome);
        WriteBytes(archive, before);
        ZipHandle* h = CreateZipFile(archive.c_str(), nullptr);
        ASSERT_NE(nullptr, h);
        EXPECT_EQ(before, ReadBytes(archive));
        auto* w = static_cast<ZipWriter*>(h->object);
        // The next header would pass 4 GiB: the add fails and the error sticks.
        if (outcome == kFailedClose) ASSERT_TRUE(ZipWriterSeek(w, 0xFFFFFFF0u));
        EXPECT_EQ(outcome == kFailedClose ? kZipTooLarge : kZipOk, ZipAddFile(h, L"0000", source.c_str()));
        if (outcome == kNoClose) {
            FreeZipWriter(w);
            std::free(h);
        } else {
            EXPECT_EQ(outcome == kFailedClose ? kZipTooLarge : kZipOk, CloseZipWriter(h));
        }
        if (outcome == kDone) {
            const auto items = ReadBack(ReadBytes(archive));
            ASSERT_EQ(1u, items.size());
            EXPECT_EQ(data, items[0].second);
        } else {
            EXPECT_EQ(before, ReadBytes(archive));
        }
        size_t files = 0;
        for (const auto& entry : testing_support::fs::directory_iterator(dir_.path())) files += !entry.is_directory();
        EXPECT_EQ(2u, files);  // the source and the archive
    }
}

// An archive over a read-only file is refused and the file stays as it was;
// over a file of narrow permissions it keeps them.
TEST_F(ZipWriterTest, ReadOnlyFilesAreRefusedAndPermissionsCarryOver) {
    namespace fs = testing_support::fs;
    const std::vector<uint8_t> before = TextBytes("the album as it was");
    const std::wstring archive = dir_.File("album.alb");
    const fs::path where = testing_support::ToFsPath(archive);
    WriteBytes(archive, before);
    fs::permissions(where, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(nullptr, CreateZipFile(archive.c_str(), nullptr));
    EXPECT_EQ(kZipCannotOpen, LastZipWriterResult);
    EXPECT_EQ(before, ReadBytes(archive));
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(dir_.path())) files += !entry.is_directory();
    EXPECT_EQ(1u, files);
#ifndef _WIN32
    const fs::perms narrow = fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(where, narrow);
    ZipHandle* h = CreateZipFile(archive.c_str(), nullptr);
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(kZipOk, ZipAddFile(h, L"0000", Source("a.bmp", Picture(300)).c_str()));
    EXPECT_EQ(kZipOk, CloseZipWriter(h));
    EXPECT_NE(before, ReadBytes(archive));
    EXPECT_EQ(narrow, fs::status(where).permissions());
#endif
}

TEST_F(ZipWriterTest, FoldersAndStoreOnlyNames) {
    const std::vector<uint8_t> data = Picture(1000);
    const std::vector<uint8_t> bytes = InMemory(nullptr, 100000, [&](ZipWriter* w) {
        EXPECT_EQ(kZipOk, ZipWriterAdd(w, L"photos", nullptr, 0, kZipKindFolder));
        EXPECT_EQ(kZipOk, ZipWriterAdd(w, L"already/", nullptr, 0, kZipKindFolder));
        for (const wchar_t* name : {L"a.ZIP", L"b.Tgz", L"c.z", L"d.jpg", L"0001", L"config"})
            EXPECT_EQ(kZipOk, ZipWriterAdd(w, name, data.data(), uint32_t(data.size()), kZipKindMemory));
    });
    const ParsedArchive parsed = ParseArchive(bytes);
    ASSERT_TRUE(parsed.ok);
    ASSERT_EQ(8u, parsed.entries.size());
    for (size_t i = 0; i < 2; ++i) {
        const ziptest::ParsedEntry& e = parsed.entries[i];
        EXPECT_EQ(i == 0 ? "photos/" : "already/", e.name);
        EXPECT_EQ(0, e.method);
        EXPECT_EQ(0u, e.compressedSize);
        EXPECT_EQ(0u, e.uncompressedSize);
        EXPECT_EQ(0x41C00010u, e.external);
        EXPECT_EQ(0, e.flags);
    }
    const uint16_t kMethods[] = {0, 0, 0, 8, 8, 8};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(kMethods[i], parsed.entries[i + 2].method) << parsed.entries[i + 2].name;
        EXPECT_EQ(kZipStreamAttributes, parsed.entries[i + 2].external);
    }
    const auto items = ReadBack(bytes);
    ASSERT_EQ(8u, items.size());
    for (size_t i = 2; i < 8; ++i) EXPECT_EQ(data, items[i].second);
#ifndef _WIN32
    WriteBytes(dir_.File("folders.zip"), bytes);
    CheckWithOracles(dir_.File("folders.zip"), parsed);
#endif

    // Extracting the folder entry makes the folder.
    ZipHandle* h = OpenZipMemory(bytes.data(), uint32_t(bytes.size()), nullptr);
    ASSERT_NE(nullptr, h);
    ASSERT_EQ(kZipOk, SetUnzipBaseDir(h, dir_.path().wstring().c_str()));
    EXPECT_EQ(kZipOk, UnzipItemToFile(h, 0, L"ignored"));
    EXPECT_TRUE(ZipPathIsFolder(dir_.File("photos").c_str()));
    CloseZipReader(h);
}

TEST_F(ZipWriterTest, EncryptedEntries) {
    FixedRandom random;
    const std::vector<uint8_t> a = Picture(40000), b = PatternBytes(2000, 5);
    const std::wstring sourceA = Source("a.bmp", a), sourceB = Source("b.zip", b);
    auto add = [&](ZipWriter* w) {
        EXPECT_EQ(kZipOk, ZipWriterAdd(w, L"0000", sourceA.c_str(), 0, kZipKindFileName));
        EXPECT_EQ(kZipOk, ZipWriterAdd(w, L"b.zip", sourceB.c_str(), 0, kZipKindFileName));
        EXPECT_EQ(kZipOk, ZipWriterAdd(w, L"folder", nullptr, 0, kZipKindFolder));
    };
    const std::vector<uint8_t> bytes = InMemory("secret", 200000, add);
    const ParsedArchive parsed = ParseArchive(bytes);
    ASSERT_TRUE(parsed.ok);
    ASSERT_EQ(3u, parsed.entries.size());
    for (size_t i = 0; i < 2; ++i) {
        const ziptest::ParsedEntry& e = parsed.entries[i];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(9, e.flags);
        EXPECT_EQ(9, e.localFlags);
        EXPECT_TRUE(e.hasDescriptor);
        // The encryption header's last byte, decrypted, is the high byte of
        // the DOS time.
        ZipKeys keys;
        InitKeys(&keys, "secret");
        uint8_t last = 0;
        for (size_t k = 0; k < 12; ++k) last = DecryptByte(&keys, e.rawData[k]);
        EXPECT_EQ(uint8_t(kSourceDosTime >> 8), last);
        std::vector<uint8_t> plain;
        for (size_t k = 12; k < e.rawData.size(); ++k) plain.push_back(DecryptByte(&keys, e.rawData[k]));
        std::vector<uint8_t> data;
        if (e.method == 8)
            ASSERT_TRUE(testing_support::InflateRaw(plain, &data, e.uncompressedSize));
        else
            data = plain;
        EXPECT_EQ(i == 0 ? a : b, data);
        EXPECT_EQ(e.compressedSize, (i == 0 ? e.compressedSize : b.size() + 12));
    }
    EXPECT_EQ(0, parsed.entries[2].flags);  // folders are not encrypted
    EXPECT_FALSE(parsed.entries[2].hasDescriptor);

    const auto items = ReadBack(bytes, "secret");
    ASSERT_EQ(3u, items.size());
    EXPECT_EQ(a, items[0].second);
    EXPECT_EQ(b, items[1].second);
    for (const char* wrong : {"Secret", static_cast<const char*>(nullptr)}) {
        ZipHandle* h = OpenZipMemory(bytes.data(), uint32_t(bytes.size()), wrong);
        ASSERT_NE(nullptr, h);
        uint8_t buffer[100];
        EXPECT_EQ(kZipBadPassword, UnzipItemToMemory(h, 0, buffer, sizeof buffer));
        EXPECT_EQ(kZipBadPassword, UnzipItemToFile(h, 1, L"never.zip"));
        CloseZipReader(h);
    }

    // The same random bytes make the same archive (of files only: a folder
    // entry takes the time of the moment it is added).
    auto addFiles = [&](ZipWriter* w) {
        EXPECT_EQ(kZipOk, ZipWriterAdd(w, L"0000", sourceA.c_str(), 0, kZipKindFileName));
        EXPECT_EQ(kZipOk, ZipWriterAdd(w, L"b.zip", sourceB.c_str(), 0, kZipKindFileName));
    };
    std::vector<uint8_t> first;
    {
        FixedRandom again;
        first = InMemory("secret", 200000, addFiles);
    }
    FixedRandom again;
    EXPECT_EQ(first, InMemory("secret", 200000, addFiles));

#ifndef _WIN32
    WriteBytes(dir_.File("secret.zip"), bytes);
    CheckWithOracles(dir_.File("secret.zip"), parsed, "secret");
#endif
}

TEST_F(ZipWriterTest, EncryptingStoredDataLeavesTheSourceAlone) {
    FixedRandom random;
    std::vector<uint8_t> data = PatternBytes(50000, 6);
    const std::vector<uint8_t> original = data;
    const std::vector<uint8_t> bytes = InMemory("pw", 200000, [&](ZipWriter* w) {
        EXPECT_EQ(kZipOk, ZipWriterAdd(w, L"x.gz", data.data(), uint32_t(data.size()), kZipKindMemory));
        EXPECT_EQ(kZipOk, ZipWriterAdd(w, L"y.bin", data.data(), uint32_t(data.size()), kZipKindMemory));
    });
    EXPECT_EQ(original, data);
    const auto items = ReadBack(bytes, "pw");
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ(original, items[0].second);
    EXPECT_EQ(original, items[1].second);
}

TEST_F(ZipWriterTest, EmptyArchiveIsTheEndRecord) {
    const std::vector<uint8_t> bytes = InMemory(nullptr, 100, [](ZipWriter*) {});
    const std::vector<uint8_t> expected = {'P', 'K', 5, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(expected, bytes);

    // Behind other data in a stream, offsets count from the stream's start.
    const std::wstring path = dir_.File("behind.bin");
    FILE* f = OpenWidePath(path.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    std::fwrite("0123456789", 1, 10, f);
    ZipWriter* w = CreateZipWriter(nullptr);
    ASSERT_EQ(kZipOk, ZipWriterOpen(w, f, 0, kZipKindHandle));
    EXPECT_EQ(10u, w->initialOffset);
    EXPECT_EQ(kZipOk, ZipWriterClose(w));
    FreeZipWriter(w);
    std::fclose(f);
    const std::vector<uint8_t> file = ReadBytes(path);
    ASSERT_EQ(32u, file.size());
    EXPECT_EQ(10u, ziptest::Le32(&file[10 + 16]));
}

TEST_F(ZipWriterTest, LifecycleAndHandles) {
    uint8_t buffer[1000];
    ZipWriter* w = CreateZipWriter(nullptr);
    ASSERT_EQ(kZipOk, ZipWriterOpen(w, buffer, sizeof buffer, kZipKindMemory));
    EXPECT_EQ(kZipInUse, ZipWriterOpen(w, buffer, sizeof buffer, kZipKindMemory));
    EXPECT_EQ(kZipBadArguments, ZipWriterAdd(w, L"", buffer, 10, kZipKindMemory));
    EXPECT_EQ(kZipBadArguments, ZipWriterAdd(w, nullptr, buffer, 10, kZipKindMemory));
    EXPECT_EQ(kZipBadArguments, ZipWriterAdd(w, L"x", buffer, 10, 9));
    EXPECT_EQ(kZipBadArguments, ZipWriterAdd(w, L"x", buffer, 0, kZipKindMemory));
    EXPECT_EQ(kZipOk, ZipWriterClose(w));
    EXPECT_EQ(kZipClosed, ZipWriterAdd(w, L"x", buffer, 10, kZipKindMemory));
    EXPECT_EQ(kZipOk, ZipWriterClose(w));
    FreeZipWriter(w);

    w = CreateZipWriter(nullptr);
    EXPECT_EQ(kZipMemoryFull, ZipWriterOpen(w, buffer, 0, kZipKindMemory));
    EXPECT_EQ(kZipBadArguments, ZipWriterOpen(w, buffer, 10, 5));
    EXPECT_EQ(kZipCannotOpen, ZipWriterOpen(w, const_cast<wchar_t*>(dir_.File("no/such/dir.zip").c_str()), 0,
                                            kZipKindFileName));
    FreeZipWriter(w);

    EXPECT_EQ(nullptr, CreateZipFile(dir_.File("no/such/dir.zip").c_str(), nullptr));
    EXPECT_EQ(kZipCannotOpen, LastZipWriterResult);
    EXPECT_EQ(kZipBadArguments, ZipAddFile(nullptr, L"x", L"y"));
    EXPECT_EQ(kZipBadArguments, CloseZipWriter(nullptr));
    int dummy = 0;
    ZipHandle reader = {kZipReaderHandle, &dummy};
    EXPECT_EQ(kZipWrongHandleKind, ZipAddFile(&reader, L"x", L"y"));
    EXPECT_EQ(kZipWrongHandleKind, CloseZipWriter(&reader));
    EXPECT_EQ(kZipWrongHandleKind, LastZipWriterResult);
}

// Memory output without an address: the writer allocates the capacity
// itself, writes into it like any block, and releases it when it closes.
TEST_F(ZipWriterTest, MemoryOutputTheWriterAllocates) {
    const std::vector<uint8_t> data = PatternBytes(5000, 3);
    ZipWriter* w = CreateZipWriter(nullptr);
    ASSERT_EQ(kZipOk, ZipWriterOpen(w, nullptr, 100000, kZipKindMemory));
    ASSERT_NE(nullptr, w->memory);
    EXPECT_EQ(kZipInUse, ZipWriterOpen(w, nullptr, 100000, kZipKindMemory));
    EXPECT_EQ(kZipOk, ZipWriterAdd(w, L"a.bin", data.data(), uint32_t(data.size()), kZipKindMemory));
    EXPECT_GT(w->memoryPosition, 22u);
    EXPECT_EQ(kZipOk, ZipWriterClose(w));
    EXPECT_EQ(nullptr, w->memory);  // released (the leak check sees the rest)
    FreeZipWriter(w);

    // Too small for the entry: the allocated block fills, the failure sticks.
    w = CreateZipWriter(nullptr);
    ASSERT_EQ(kZipOk, ZipWriterOpen(w, nullptr, 100, kZipKindMemory));
    EXPECT_EQ(kZipMemoryFull, ZipWriterAdd(w, L"a.bin", data.data(), uint32_t(data.size()), kZipKindMemory));
    EXPECT_EQ(kZipMemoryFull, ZipWriterClose(w));
    FreeZipWriter(w);  // freed without a close too

    w = CreateZipWriter(nullptr);
    EXPECT_EQ(kZipMemoryFull, ZipWriterOpen(w, nullptr, 0, kZipKindMemory));
    ASSERT_EQ(kZipOk, ZipWriterOpen(w, nullptr, 4096, kZipKindMemory));
    FreeZipWriter(w);
}

TEST_F(ZipWriterTest, MemoryOutputMayBeExactlyFull) {
    const std::wstring source = Source("p.bmp", Picture(30000));
    auto add = [&](ZipWriter* w) { EXPECT_EQ(kZipOk, ZipWriterAdd(w, L"0000", source.c_str(), 0, kZipKindFileName)); };
    const std::vector<uint8_t> roomy = InMemory(nullptr, 100000, add);
    const std::vector<uint8_t> exact = InMemory(nullptr, uint32_t(roomy.size()), add);
    EXPECT_EQ(roomy, exact);

    // One byte short: the end record does not fit and the close fails.
    uint32_t closed;
    InMemory(nullptr, uint32_t(roomy.size() - 1), add, &closed);
    EXPECT_EQ(kZipWriteFailed, closed);
}

TEST_F(ZipWriterTest, FailedOutputSticks) {
    const std::vector<uint8_t> data = PatternBytes(50000, 3);
    for (uint32_t capacity : {20u, 1000u}) {
        SCOPED_TRACE(capacity);
        uint32_t closed;
        InMemory(nullptr, capacity, [&](ZipWriter* w) {
            // The header does not fit (20), or the data do not (1000).
            const uint32_t first = ZipWriterAdd(w, L"0000", data.data(), uint32_t(data.size()), kZipKindMemory);
            EXPECT_EQ(capacity == 20 ? kZipWriteFailed : kZipMemoryFull, first);
            EXPECT_EQ(kZipMemoryFull, w->error);
            EXPECT_EQ(kZipEarlierError, ZipWriterAdd(w, L"0001", data.data(), 10, kZipKindMemory));
        }, &closed);
        EXPECT_EQ(kZipMemoryFull, closed);
    }

    // A stream that refuses writes.
    const std::wstring path = Source("readonly.zip", {});
    FILE* f = OpenWidePath(path.c_str(), "rb");
    ASSERT_NE(nullptr, f);
    ZipWriter* w = CreateZipWriter(nullptr);
    ASSERT_EQ(kZipOk, ZipWriterOpen(w, f, 0, kZipKindHandle));
    EXPECT_EQ(kZipWriteFailed, ZipWriterAdd(w, L"0000", data.data(), uint32_t(data.size()), kZipKindMemory));
    EXPECT_EQ(kZipEarlierError, ZipWriterAdd(w, L"0001", data.data(), 10, kZipKindMemory));
    EXPECT_EQ(kZipWriteFailed, ZipWriterClose(w));
    FreeZipWriter(w);
    std::fclose(f);
}

TEST_F(ZipWriterTest, OutputThatCannotSeekGetsDataDescriptors) {
    FILE *readEnd, *writeEnd;
    ASSERT_TRUE(ziptest::MakePipe(&readEnd, &writeEnd));
    const std::vector<uint8_t> a = Picture(20000), b = PatternBytes(1000, 7);
    ZipWriter* w = CreateZipWriter(nullptr);
    ASSERT_EQ(kZipOk, ZipWriterOpen(w, writeEnd, 0, kZipKindHandle));
    EXPECT_EQ(0, w->canSeek);
    EXPECT_EQ(kZipOk, ZipWriterAdd(w, L"0000", a.data(), uint32_t(a.size()), kZipKindMemory));
    EXPECT_EQ(kZipOk, ZipWriterAdd(w, L"b.zip", b.data(), uint32_t(b.size()), kZipKindMemory));
    EXPECT_EQ(kZipOk, ZipWriterClose(w));
    FreeZipWriter(w);
    std::fclose(writeEnd);
    const std::vector<uint8_t> bytes = ziptest::ReadToEndAndClose(readEnd);

    const ParsedArchive parsed = ParseArchive(bytes);
    ASSERT_TRUE(parsed.ok);
    ASSERT_EQ(2u, parsed.entries.size());
    for (const ziptest::ParsedEntry& e : parsed.entries) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(8, e.flags);
        EXPECT_EQ(8, e.localFlags);
        EXPECT_TRUE(e.hasDescriptor);
        EXPECT_EQ(0u, e.localCrc);
    }
    // Deflated: sizes unknown when the header went out (the size of a
    // memory source is known); stored: the size is announced.
    EXPECT_EQ(0u, parsed.entries[0].localCompressed);
    EXPECT_EQ(a.size(), parsed.entries[0].localUncompressed);
    EXPECT_EQ(b.size(), parsed.entries[1].localCompressed);
    const auto items = ReadBack(bytes);
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ(a, items[0].second);
    EXPECT_EQ(b, items[1].second);
#ifndef _WIN32
    WriteBytes(dir_.File("piped.zip"), bytes);
    CheckWithOracles(dir_.File("piped.zip"), parsed);
#endif
}

TEST_F(ZipWriterTest, SourcesThatEndEarlyFailTheirEntry) {
    const std::vector<uint8_t> data = Picture(900);
    // A stream that announces 1000 bytes and delivers 900.
    for (const wchar_t* name : {L"short.bin", L"short.zip"}) {
        FILE *readEnd, *writeEnd;
        ASSERT_TRUE(ziptest::MakePipe(&readEnd, &writeEnd));
        std::fwrite(data.data(), 1, data.size(), writeEnd);
        std::fclose(writeEnd);
        const std::vector<uint8_t> bytes = InMemory(nullptr, 10000, [&](ZipWriter* w) {
            EXPECT_EQ(kZipWriteFailed, ZipWriterAdd(w, name, readEnd, 1000, kZipKindHandle));
            EXPECT_EQ(0u, w->error);
            EXPECT_EQ(kZipOk, ZipWriterAdd(w, L"after", data.data(), uint32_t(data.size()), kZipKindMemory));
        });
        std::fclose(readEnd);
        // The failed entry is not named; the one after it reads.
        const auto items = ReadBack(bytes);
        ASSERT_EQ(1u, items.size());
        EXPECT_EQ(L"after", items[0].first);
        EXPECT_EQ(data, items[0].second);
    }
}

TEST_F(ZipWriterTest, UnknownSizes) {
    const std::vector<uint8_t> data = Picture(30000);
    // Deflated into a file: the header is rewritten with the real size.
    FILE *readEnd, *writeEnd;
    ASSERT_TRUE(ziptest::MakePipe(&readEnd, &writeEnd));
    std::fwrite(data.data(), 1, data.size(), writeEnd);
    std::fclose(writeEnd);
    const std::vector<uint8_t> bytes = InMemory(nullptr, 100000, [&](ZipWriter* w) {
        EXPECT_EQ(kZipOk, ZipWriterAdd(w, L"piped", readEnd, 0, kZipKindHandle));
    });
    std::fclose(readEnd);
    const ParsedArchive parsed = ParseArchive(bytes);
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(data.size(), parsed.entries[0].localUncompressed);
    EXPECT_EQ(kZipStreamAttributes, parsed.entries[0].external);
    EXPECT_EQ(data, ReadBack(bytes)[0].second);

    // Deflated with no size into a stream that cannot seek: the local header
    // says 0 (not 0xFFFFFFFF) and the data descriptor has the sizes.
    {
        FILE *sourceRead, *sourceWrite, *outRead, *outWrite;
        ASSERT_TRUE(ziptest::MakePipe(&sourceRead, &sourceWrite));
        ASSERT_TRUE(ziptest::MakePipe(&outRead, &outWrite));
        std::fwrite(data.data(), 1, data.size(), sourceWrite);
        std::fclose(sourceWrite);
        ZipWriter* w = CreateZipWriter(nullptr);
        ASSERT_EQ(kZipOk, ZipWriterOpen(w, outWrite, 0, kZipKindHandle));
        EXPECT_EQ(kZipOk, ZipWriterAdd(w, L"piped", sourceRead, 0, kZipKindHandle));
        EXPECT_EQ(kZipOk, ZipWriterClose(w));
        FreeZipWriter(w);
        std::fclose(outWrite);
        const std::vector<uint8_t> piped = ziptest::ReadToEndAndClose(outRead);
        std::fclose(sourceRead);
        const ParsedArchive streamed = ParseArchive(piped);
        ASSERT_TRUE(streamed.ok);
        EXPECT_EQ(0u, streamed.entries[0].localUncompressed);
        EXPECT_EQ(0u, streamed.entries[0].localCompressed);
        EXPECT_TRUE(streamed.entries[0].hasDescriptor);
        EXPECT_EQ(data.size(), streamed.entries[0].uncompressedSize);
        EXPECT_EQ(data, ReadBack(piped)[0].second);
    }

    // Stored with no size into a stream that cannot seek: no header can
    // tell where its data end.
    FILE *sourceRead, *sourceWrite, *outRead, *outWrite;
    ASSERT_TRUE(ziptest::MakePipe(&sourceRead, &sourceWrite));
    ASSERT_TRUE(ziptest::MakePipe(&outRead, &outWrite));
    std::fwrite(data.data(), 1, 1000, sourceWrite);
    std::fclose(sourceWrite);
    ZipWriter* w = CreateZipWriter(nullptr);
    ASSERT_EQ(kZipOk, ZipWriterOpen(w, outWrite, 0, kZipKindHandle));
    EXPECT_EQ(kZipStoredSizeUnknown, ZipWriterAdd(w, L"x.zip", sourceRead, 0, kZipKindHandle));
    ZipWriterClose(w);
    FreeZipWriter(w);
    for (FILE* f : {sourceRead, outRead, outWrite}) std::fclose(f);
}

TEST_F(ZipWriterTest, FormatLimits) {
    uint8_t byte = 1;
    // Names below 260 characters.
    InMemory(nullptr, 10000, [&](ZipWriter* w) {
        EXPECT_EQ(kZipBadArguments, ZipWriterAdd(w, std::wstring(260, L'n').c_str(), &byte, 1, kZipKindMemory));
        EXPECT_EQ(kZipOk, ZipWriterAdd(w, std::wstring(259, L'n').c_str(), &byte, 1, kZipKindMemory));
        EXPECT_EQ(kZipBadArguments, ZipWriterAdd(w, std::wstring(259, L'f').c_str(), nullptr, 0, kZipKindFolder));
    });
    // At most 65535 entries.
    const std::vector<uint8_t> bytes = InMemory(nullptr, 7000000, [&](ZipWriter* w) {
        wchar_t name[16];
        for (uint32_t i = 0; i < kZipMaxEntries; ++i) {
            std::swprintf(name, 16, L"%05u", i);
            ASSERT_EQ(kZipOk, ZipWriterAdd(w, name, nullptr, 0, kZipKindFolder)) << i;
        }
        EXPECT_EQ(kZipTooLarge, ZipWriterAdd(w, L"one more", nullptr, 0, kZipKindFolder));
    });
    ZipHandle* h = OpenZipMemory(bytes.data(), uint32_t(bytes.size()), nullptr);
    ASSERT_NE(nullptr, h);
    ZipItem item;
    ASSERT_EQ(kZipOk, GetZipItem(h, -1, &item));
    EXPECT_EQ(65535, item.index);
    ASSERT_EQ(kZipOk, GetZipItem(h, 65534, &item));
    EXPECT_STREQ(L"65534/", item.name);
    CloseZipReader(h);
}

#ifndef _WIN32
// Natively only (a sparse file): an archive may not reach 4 GiB.
TEST_F(ZipWriterTest, ArchivesStopShortOf4GiB) {
    const std::wstring path = dir_.File("big.zip");
    FILE* f = OpenWidePath(path.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    ASSERT_EQ(0, SeekStream64(f, 0xFFFFF000, SEEK_SET));
    ZipWriter* w = CreateZipWriter(nullptr);
    ASSERT_EQ(kZipOk, ZipWriterOpen(w, f, 0, kZipKindHandle));
    const std::vector<uint8_t> small(1000, 'a'), large = PatternBytes(5000, 8);
    EXPECT_EQ(kZipOk, ZipWriterAdd(w, L"fits", small.data(), uint32_t(small.size()), kZipKindMemory));
    EXPECT_EQ(kZipTooLarge, ZipWriterAdd(w, L"too far", large.data(), uint32_t(large.size()), kZipKindMemory));
    EXPECT_EQ(kZipEarlierError, ZipWriterAdd(w, L"more", small.data(), 10, kZipKindMemory));
    EXPECT_EQ(kZipTooLarge, ZipWriterClose(w));
    FreeZipWriter(w);
    std::fclose(f);
}
#endif

TEST_F(ZipWriterTest, NonAsciiNamesAreFlaggedUtf8) {
    const std::vector<uint8_t> data = TextBytes("accent");
    const std::vector<uint8_t> bytes = InMemory(nullptr, 10000, [&](ZipWriter* w) {
        EXPECT_EQ(kZipOk, ZipWriterAdd(w, L"caf\u00e9.txt", data.data(), uint32_t(data.size()), kZipKindMemory));
    });
    const ParsedArchive parsed = ParseArchive(bytes);
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ("caf\xc3\xa9.txt", parsed.entries[0].name);
    EXPECT_EQ(0x800 | 2, parsed.entries[0].flags);
    const auto items = ReadBack(bytes);
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ(L"caf\u00e9.txt", items[0].first);
    ZipHandle* h = OpenZipMemory(bytes.data(), uint32_t(bytes.size()), nullptr);
    int32_t index = -1;
    EXPECT_EQ(kZipOk, FindZipItem(h, L"caf\u00e9.txt", 0, &index, nullptr));
    EXPECT_EQ(0, index);
    CloseZipReader(h);
}

}  // namespace
