// Writing IPTC into JPEG files: where the APP13 goes, what it holds, that
// exiftool and exiv2 read the datasets back and the pixels stay, and that a
// failure leaves the file as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "iptcfixtures.h"
#include "jpegsegments.h"
#include "processing/iptcjpeg.h"
#include "processing/jpegsize.h"
#include "tests/support/faults.h"
#include "tests/support/oracles.h"

namespace {

using namespace iptctest;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

using jpegtest::Markers;
using jpegtest::ScanData;
using jpegtest::Seg;
using jpegtest::Segments;

Bytes App13(const Bytes& f) { return jpegtest::Payload(f, 0xED); }

// The file with its APP13 segments left out.
Bytes WithoutApp13(const Bytes& f) {
    Bytes rest = f;
    const std::vector<Seg> segments = Segments(f);
    for (auto g = segments.rbegin(); g != segments.rend(); ++g)
        if (g->marker == 0xED) rest.erase(rest.begin() + long(g->start), rest.begin() + long(g->end));
    return rest;
}

// A copy of a fixture in a scratch folder.
std::wstring CopyFixture(const ScratchDir& dir, const std::string& name) {
    const std::wstring path = dir.File(name);
    WriteBytes(path, ReadBytes(Fixture(name)));
    return path;
}

void FillRecord(Record& rec) {
    ASSERT_EQ(IptcAddListItem(rec.get(), kIptcKeywords, "sea"), 1);
    ASSERT_EQ(IptcAddListItem(rec.get(), kIptcKeywords, "sand"), 1);
    ASSERT_EQ(IptcAddListItem(rec.get(), kIptcKeywords, "sun"), 1);
    ASSERT_EQ(IptcSetText(rec.get(), 120, "A caption", 9), 1);
    ASSERT_EQ(IptcSetText(rec.get(), 5, "Title", 5), 1);
}

TEST(IptcWrite, Placement) {
    struct Case {
        const char* file;
        const char* before;
        const char* after;
    };
    const Case cases[] = {
        {"camera.jpg", "E0 E1 DB DB C0 ", "E0 E1 ED DB DB C0 "},     // after the last APPn found
        {"app14.jpg", "EE DB DB C0 ", "ED EE DB DB C0 "},            // before APP14
        {"photoshop.jpg", "ED E0 E1 DB ", "ED E0 E1 DB "},           // in place of the APP13
        {"app13-other.jpg", "E0 E1 ED DB ", "E0 E1 ED ED DB "},      // a foreign APP13 is kept
        {"bare.jpg", "DB DB C0 ", "DB DB ED C0 "},                   // before the baseline frame
        {"progressive.jpg", "DB DB C2 ", "ED DB DB C2 "},            // after SOI
    };
    ScratchDir dir;
    Record rec;
    FillRecord(rec);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::wstring path = CopyFixture(dir, c.file);
        const Bytes before = ReadBytes(path);
        EXPECT_EQ(Markers(before).substr(0, std::strlen(c.before)), c.before);
        ASSERT_EQ(IptcWriteJpegFile(path.c_str(), rec.get()), kIptcWriteDone);
        const Bytes after = ReadBytes(path);
        EXPECT_EQ(Markers(after).substr(0, std::strlen(c.after)), c.after);
        EXPECT_EQ(ScanData(after), ScanData(before));
        EXPECT_EQ(WithoutApp13(after), WithoutApp13(before)) << "other segments changed";
        // And the record reads back.
        MetadataList list;
        list.Add(kMetadataIptc, App13(after));
        Record back;
        ASSERT_EQ(IptcRead(list.head, back.get()), 1);
        EXPECT_EQ(back.List(kIptcKeywords), (std::vector<std::string>{"sea", "sand", "sun"}));
        EXPECT_EQ(back.Slot(120), "A caption");
    }
}

TEST(IptcWrite, SegmentLayoutAndPadding) {
    ScratchDir dir;
    const std::wstring path = CopyFixture(dir, "bare.jpg");
    Record rec;
    ASSERT_EQ(IptcSetText(rec.get(), 5, "odd", 3), 1);  // 8 dataset bytes: even
    ASSERT_EQ(IptcSetText(rec.get(), 7, "x", 1), 1);    // 6 more: 14, even
    ASSERT_EQ(IptcSetText(rec.get(), 10, "", 0), 1);    // 5 more: 19, odd: one pad byte
    ASSERT_EQ(IptcWriteJpegFile(path.c_str(), rec.get()), kIptcWriteDone);
    const Bytes f = ReadBytes(path);
    const Bytes payload = App13(f);
    Bytes expected = PhotoshopHeader();
    expected.insert(expected.end(), {'8', 'B', 'I', 'M', 0x04, 0x04, 0, 0, 0, 0, 0, 19});
    Dataset(expected, 2, 5, "odd"), Dataset(expected, 2, 7, "x"), Dataset(expected, 2, 10, "");
    expected.push_back(0);
    EXPECT_EQ(payload, expected);
    EXPECT_EQ(payload.size() + 2, 26u + 19u + 3u);  // L = 26 + P, P = n + 3 for odd n
}

TEST(IptcWrite, OtherPhotoshopResourcesKeptAndRewriteIsStable) {
    ScratchDir dir;
    const std::wstring path = CopyFixture(dir, "photoshop.jpg");
    Record rec;
    FillRecord(rec);
    ASSERT_EQ(IptcWriteJpegFile(path.c_str(), rec.get()), kIptcWriteDone);
    const Bytes once = ReadBytes(path);
    const Bytes payload = App13(once);
    size_t pos;
    ASSERT_TRUE(BeginPhotoshopResources(payload.data(), payload.size(), &pos));
    std::vector<uint16_t> ids;
    PhotoshopResource res;
    while (NextPhotoshopResource(payload.data(), payload.size(), &pos, &res)) ids.push_back(res.id);
    EXPECT_EQ(ids, (std::vector<uint16_t>{0x03ED, 0x0404}));
    ASSERT_EQ(IptcWriteJpegFile(path.c_str(), rec.get()), kIptcWriteDone);
    EXPECT_EQ(ReadBytes(path), once);
#ifndef _WIN32
    using testing_support::RunCommand;
    using testing_support::ShellQuote;
    const std::string p = ShellQuote(testing_support::Narrow(path));
    EXPECT_EQ(RunCommand("exiftool -s3 -Photoshop:XResolution -IPTC:ObjectName " + p), "72\nTitle\n");
#endif
}

TEST(IptcWrite, Failures) {
    ScratchDir dir;
    Record rec;
    FillRecord(rec);
    EXPECT_EQ(IptcWriteJpegFile(dir.File("missing.jpg").c_str(), rec.get()), kIptcWriteCannotOpen);
    EXPECT_EQ(IptcWriteJpegFile(dir.path().wstring().c_str(), rec.get()), kIptcWriteCannotOpen);

    const std::wstring png = dir.File("not.jpg");
    const Bytes pngBytes = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0};
    WriteBytes(png, pngBytes);
    EXPECT_EQ(IptcWriteJpegFile(png.c_str(), rec.get()), kIptcWriteNoPlace);
    EXPECT_EQ(ReadBytes(png), pngBytes);

    const std::wstring jpeg = CopyFixture(dir, "camera.jpg");
    const Bytes original = ReadBytes(jpeg);
    Record big;
    const std::string text(30000, 'k');
    ASSERT_EQ(IptcSetText(big.get(), 120, text.data(), text.size()), 1);
    ASSERT_EQ(IptcSetText(big.get(), 40, text.data(), text.size()), 1);
    ASSERT_EQ(IptcSetText(big.get(), 105, text.data(), 5500), 1);  // n = 65,515: the segment would pass 65,535
    EXPECT_EQ(IptcWriteJpegFile(jpeg.c_str(), big.get()), kIptcWriteTooLarge);
    EXPECT_EQ(ReadBytes(jpeg), original);
    ASSERT_EQ(IptcSetText(big.get(), 105, text.data(), 5400), 1);  // fits
    EXPECT_EQ(IptcWriteJpegFile(jpeg.c_str(), big.get()), kIptcWriteDone);
}

TEST(IptcWrite, FailingWriteLeavesTheOriginal) {
#ifdef _WIN32
    GTEST_SKIP() << "no file size limit to inject faults with";
#else
    ScratchDir dir;
    const std::wstring path = CopyFixture(dir, "camera.jpg");
    const Bytes original = ReadBytes(path);
    Record rec;
    FillRecord(rec);
    int result;
    {
        testing_support::FileSizeLimit limit(1000);  // the new file stops a third of the way
        ASSERT_TRUE(limit.active());
        result = IptcWriteJpegFile(path.c_str(), rec.get());
    }
    EXPECT_EQ(result, kIptcWriteNoPlace);
    EXPECT_EQ(ReadBytes(path), original);
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) (void)entry, ++files;
    EXPECT_EQ(files, 1u) << "the partial file was left behind";
#endif
}

#ifndef _WIN32
using testing_support::Narrow;
using testing_support::RunCommand;
using testing_support::ShellQuote;

std::vector<std::string> SortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// exiv2's listing of the application record and the character set.
std::vector<std::string> Exiv2Iptc(const std::wstring& path) {
    return SortedLines(RunCommand("exiv2 -pi " + ShellQuote(Narrow(path)) + " | grep -v ModelVersion"));
}

TEST(IptcWriteOracle, ExiftoolRecordSurvivesARoundTrip) {
    ScratchDir dir;
    const Bytes source = ReadBytes(Fixture("iptc.jpg"));
    MetadataList list;
    list.Add(kMetadataIptc, App13(source));
    Record rec;
    ASSERT_EQ(IptcRead(list.head, rec.get()), 1);
    EXPECT_EQ(rec->utf8, 1u);

    const std::wstring target = CopyFixture(dir, "camera.jpg");
    ASSERT_EQ(IptcWriteJpegFile(target.c_str(), rec.get()), kIptcWriteDone);
    const std::vector<std::string> expected = Exiv2Iptc(Fixture("iptc.jpg"));
    ASSERT_GE(expected.size(), 8u);
    EXPECT_EQ(Exiv2Iptc(target), expected);
    EXPECT_EQ(RunCommand("exiftool -s3 -IPTC:CodedCharacterSet -IPTC:Keywords -IPTC:By-line "
                         "-IPTC:Caption-Abstract " + ShellQuote(Narrow(target))),
              "UTF8\nsea, sand, sun\nAnn, Bob\nCaf\xC3\xA9 au lait\n");
    int status = -1;
    const std::string ae = RunCommand("compare -metric AE " + ShellQuote(Narrow(Fixture("camera.jpg"))) + " " +
                                          ShellQuote(Narrow(target)) + " null: 2>&1",
                                      &status);
    EXPECT_EQ(ae, "0");
    EXPECT_EQ(status, 0);
}
#endif

TEST(IptcWrite, FixtureSizeWalk) {
    const Bytes f = ReadBytes(Fixture("camera.jpg"));
    uint32_t w = 0, h = 0;
    ASSERT_EQ(GetJpegSizeFromMemory(f.data(), f.size(), &w, &h), 1);
    EXPECT_EQ(w, 64u);
    EXPECT_EQ(h, 48u);
}

}  // namespace
