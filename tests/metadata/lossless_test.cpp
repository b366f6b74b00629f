// Lossless JPEG transforms: scan data byte-identical to jpegtran's with the
// same options (4:2:0, 4:4:4, grey), the EXIF Orientation reset, the
// thumbnail and pixel dimensions turned along, and failures that leave
// every file as it was.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "iptcfixtures.h"
#include "jpegsegments.h"
#include "processing/exifedit.h"
#include "processing/jpegsize.h"
#include "imagelib/load.h"
#include "processing/lossless.h"
#include "tests/support/faults.h"
#include "tests/support/oracles.h"
#include "tests/support/peakrss.h"

namespace {

using iptctest::Fixture;
using iptctest::MetadataList;
using jpegtest::Bytes;
using jpegtest::ScanData;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

struct Size {
    uint32_t width = 0;
    uint32_t height = 0;
};

Size JpegSize(const Bytes& f) {
    Size s;
    GetJpegSizeFromMemory(f.data(), f.size(), &s.width, &s.height);
    return s;
}

std::wstring Copy(const ScratchDir& dir, const std::string& name) {
    const std::wstring path = dir.File(name);
    WriteBytes(path, ReadBytes(Fixture(name)));
    return path;
}

size_t FilesIn(const ScratchDir& dir) {
    size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) (void)entry, ++n;
    return n;
}

struct Case {
    const char* name;
    const char* source;
    int code;
    int trim;
    uint32_t crop[4];
    const char* reference;  // jpegtran's answer, made with the fixtures
};

TEST(Lossless, ScanDataMatchesJpegtran) {
    const Case cases[] = {
        {"4:2:0 rotate 90 trimmed", "p420.jpg", kLosslessRotate90, 1, {}, "ref-p420-rot90-trim.jpg"},
        {"4:2:0 rotate 270 trimmed", "p420.jpg", kLosslessRotate270, 1, {}, "ref-p420-rot270-trim.jpg"},
        {"4:2:0 crop", "p420.jpg", kLosslessNone, 0, {16, 16, 32, 32}, "ref-p420-crop.jpg"},
        {"4:2:0 crop of width 0 crops nothing", "p420.jpg", kLosslessNone, 0, {16, 16, 0, 32}, "ref-p420-copy.jpg"},
        {"4:2:0 copy", "p420.jpg", kLosslessNone, 0, {}, "ref-p420-copy.jpg"},
        {"code above 6 copies", "p420.jpg", 9, 0, {}, "ref-p420-copy.jpg"},
        {"by EXIF without EXIF copies", "p420.jpg", kLosslessByExif, 0, {}, "ref-p420-copy.jpg"},
        {"4:4:4 rotate 180 trimmed", "p444.jpg", kLosslessRotate180, 1, {}, "ref-p444-rot180-trim.jpg"},
        {"4:4:4 flip left to right", "p444.jpg", kLosslessFlipHorizontal, 1, {}, "ref-p444-fliph-trim.jpg"},
        {"4:4:4 flip top to bottom", "p444.jpg", kLosslessFlipVertical, 1, {}, "ref-p444-flipv-trim.jpg"},
        {"grey rotate 90 trimmed", "grey.jpg", kLosslessRotate90, 1, {}, "ref-grey-rot90-trim.jpg"},
        {"by EXIF orientation 6", "exif-mm.jpg", kLosslessByExif, 0, {}, "ref-exif-rot90.jpg"},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring out = dir.File("out.jpg");
        ASSERT_EQ(TransformJpegLosslessly(Fixture(c.source).c_str(), out.c_str(), c.crop[0], c.crop[1], c.crop[2],
                                          c.crop[3], c.code, c.trim, 0),
                  1);
        const Bytes ours = ReadBytes(out);
        const Bytes theirs = ReadBytes(Fixture(c.reference));
        const Size a = JpegSize(ours), b = JpegSize(theirs);
        EXPECT_EQ(a.width, b.width);
        EXPECT_EQ(a.height, b.height);
        EXPECT_GT(ScanData(theirs).size(), 100u);
        EXPECT_TRUE(ScanData(ours) == ScanData(theirs)) << "scan data differs from jpegtran's";
    }
}

TEST(Lossless, PartialBlocksWithoutTrimAreRefused) {
    ScratchDir dir;
    const std::wstring out = dir.File("out.jpg");
    WriteBytes(out, Bytes{1, 2, 3});
    // 100 x 75 in 16 x 16 blocks: a quarter turn cannot move the edge blocks.
    EXPECT_EQ(TransformJpegLosslessly(Fixture("p420.jpg").c_str(), out.c_str(), 0, 0, 0, 0, kLosslessRotate90, 0, 0),
              0);
    EXPECT_EQ(ReadBytes(out), (Bytes{1, 2, 3}));
    EXPECT_EQ(FilesIn(dir), 1u);
#ifndef _WIN32
    int status = 0;
    testing_support::RunCommand("jpegtran -perfect -rotate 90 " +
                                    testing_support::ShellQuote(testing_support::Narrow(Fixture("p420.jpg"))) +
                                    " >/dev/null 2>&1",
                                &status);
    EXPECT_NE(status, 0) << "jpegtran -perfect agrees";
#endif
}

// The EXIF block of a file as a one-node list.
struct ExifOf {
    MetadataList list;
    explicit ExifOf(const Bytes& file) { list.Add(kMetadataExif, jpegtest::Payload(file, 0xE1)); }
    uint32_t Orientation() {
        uint32_t v = 0;
        return ExifGetOrientation(list.head, &v) ? v : 0;
    }
    Bytes Thumbnail() {
        ExifThumbnailScan scan;
        if (!ScanExifThumbnail(list.head->data, list.head->length, &scan) || !scan.offset) return {};
        return Bytes(list.head->data + scan.offset, list.head->data + scan.offset + scan.length);
    }
};

TEST(Lossless, ExifTravelsWithThePicture) {
    for (const char* name : {"exif-ii.jpg", "exif-mm.jpg"}) {
        SCOPED_TRACE(name);
        ScratchDir dir;
        const std::wstring path = Copy(dir, name);
        ASSERT_EQ(TransformJpegFileInPlace(path.c_str(), kLosslessByExif, 0, 0), 1);
        const Bytes out = ReadBytes(path);
        EXPECT_EQ(JpegSize(out).width, 64u);
        EXPECT_EQ(JpegSize(out).height, 96u);
        ExifOf exif(out);
        EXPECT_EQ(exif.Orientation(), 1u);
        const Bytes thumb = exif.Thumbnail();
        EXPECT_EQ(JpegSize(thumb).width, 24u);
        EXPECT_EQ(JpegSize(thumb).height, 32u);
        EXPECT_TRUE(ScanData(thumb) == ScanData(ReadBytes(Fixture("ref-thumb-rot90.jpg"))))
            << "thumbnail not turned as jpegtran turns it";
        EXPECT_EQ(FilesIn(dir), 1u);
#ifndef _WIN32
        const std::string q = testing_support::ShellQuote(testing_support::Narrow(path));
        EXPECT_EQ(testing_support::RunCommand("exiftool -n -s3 -Orientation -ExifImageWidth -ExifImageHeight "
                                              "-Make " + q),
                  "1\n64\n96\nTestmaker\n");
        const std::wstring extracted = dir.File("thumb.jpg");
        testing_support::RunCommand("exiftool -b -ThumbnailImage " + q + " > " +
                                    testing_support::ShellQuote(testing_support::Narrow(extracted)));
        EXPECT_EQ(ReadBytes(extracted), thumb);
#endif
    }
}

TEST(Lossless, OrientationResetOnlyWhenAsked) {
    ScratchDir dir;
    const std::wstring kept = dir.File("kept.jpg");
    const std::wstring reset = dir.File("reset.jpg");
    const std::wstring source = Fixture("exif-ii.jpg");
    ASSERT_EQ(TransformJpegLosslessly(source.c_str(), kept.c_str(), 0, 0, 0, 0, kLosslessRotate180, 0, 0), 1);
    ASSERT_EQ(TransformJpegLosslessly(source.c_str(), reset.c_str(), 0, 0, 0, 0, kLosslessRotate180, 0, 1), 1);
    EXPECT_EQ(ExifOf(ReadBytes(kept)).Orientation(), 6u);
    EXPECT_EQ(ExifOf(ReadBytes(reset)).Orientation(), 1u);
    // A half turn keeps the width and height.
    EXPECT_EQ(JpegSize(ReadBytes(kept)).width, 96u);
    const Bytes thumb = ExifOf(ReadBytes(kept)).Thumbnail();
    EXPECT_EQ(JpegSize(thumb).width, 32u);
    EXPECT_EQ(JpegSize(thumb).height, 24u);
}

TEST(Lossless, FailuresLeaveFilesAsTheyWere) {
    ScratchDir dir;
    const std::wstring out = dir.File("out.jpg");
    const std::wstring notJpeg = dir.File("not.jpg");
    WriteBytes(notJpeg, Bytes{0x89, 'P', 'N', 'G', 13, 10, 26, 10});
    const std::wstring cut = Copy(dir, "truncated.jpg");
    const Bytes cutBytes = ReadBytes(cut);
    struct Failure {
        const char* name;
        std::wstring source;
    };
    const Failure failures[] = {
        {"missing source", dir.File("missing.jpg")},
        {"not a JPEG", notJpeg},
        {"cut short", cut},
        {"a folder", dir.path().wstring()},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.name);
        EXPECT_EQ(TransformJpegLosslessly(f.source.c_str(), out.c_str(), 0, 0, 0, 0, kLosslessRotate180, 1, 0), 0);
        EXPECT_FALSE(std::filesystem::exists(testing_support::ToFsPath(out)));
    }
    EXPECT_EQ(TransformJpegFileInPlace(cut.c_str(), kLosslessRotate180, 1, 0), 0);
    EXPECT_EQ(ReadBytes(cut), cutBytes);
    EXPECT_EQ(FilesIn(dir), 2u);  // no partial file left behind
}

TEST(Lossless, InPlaceLeavesAnUnrelatedSiblingAlone) {
    ScratchDir dir;
    const std::wstring path = Copy(dir, "p444.jpg");
    const std::wstring sibling = dir.File("p444.jp_");  // the name a naive in-place variant would use
    WriteBytes(sibling, Bytes{'m', 'i', 'n', 'e'});
    ASSERT_EQ(TransformJpegFileInPlace(path.c_str(), kLosslessRotate180, 1, 0), 1);
    EXPECT_EQ(ReadBytes(sibling), (Bytes{'m', 'i', 'n', 'e'}));
    EXPECT_TRUE(ScanData(ReadBytes(path)) == ScanData(ReadBytes(Fixture("ref-p444-rot180-trim.jpg"))));
    EXPECT_EQ(FilesIn(dir), 2u);
}

// The whole picture's coefficients, and the copy a quarter turn writes them
// into, are held to the load budget: past it the transform fails before it
// takes the memory, and the file stays as it was. Run under a small budget;
// the peak is measured in a forked child (Linux).
TEST(Lossless, CoefficientsStayWithinTheBudget) {
    constexpr uint64_t kMiB = uint64_t(1) << 20;
    constexpr uint64_t kBudget = 48 * kMiB;
    ScratchDir dir;
    const std::wstring path = Copy(dir, "progressive-big.jpg");
    const Bytes original = ReadBytes(path);
    SetLoadMemoryBudget(kBudget);
    EXPECT_EQ(TransformJpegFileInPlace(path.c_str(), kLosslessRotate90, 0, 0), 0);
    EXPECT_TRUE(ReadBytes(path) == original);
    EXPECT_EQ(FilesIn(dir), 1u);
#if defined(__linux__)
    const auto peak = testing_support::PeakRssGrowth(
        [&] { TransformJpegFileInPlace(path.c_str(), kLosslessRotate90, 0, 0); });
    ASSERT_TRUE(peak.has_value());
    // Room for AddressSanitizer's shadow and quarantine.
    EXPECT_LT(*peak, kBudget + 24 * kMiB) << *peak / kMiB << " MiB";
#endif
    SetLoadMemoryBudget(0);
    EXPECT_EQ(TransformJpegFileInPlace(path.c_str(), kLosslessRotate90, 0, 0), 1);
    EXPECT_EQ(JpegSize(ReadBytes(path)).width, 5120u);
}

TEST(Lossless, FailingWriteLeavesTheOriginal) {
#ifdef _WIN32
    GTEST_SKIP() << "no file size limit to inject faults with";
#else
    ScratchDir dir;
    const std::wstring path = Copy(dir, "exif-mm.jpg");
    const Bytes original = ReadBytes(path);
    int result;
    {
        testing_support::FileSizeLimit limit(1500);
        ASSERT_TRUE(limit.active());
        result = TransformJpegFileInPlace(path.c_str(), kLosslessByExif, 0, 0);
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_EQ(FilesIn(dir), 1u);
#endif
}

#ifndef _WIN32
TEST(Lossless, QuarterTurnsBackGiveTheSamePixels) {
    ScratchDir dir;
    const std::wstring path = Copy(dir, "exif-ii.jpg");
    ASSERT_EQ(TransformJpegFileInPlace(path.c_str(), kLosslessRotate90, 0, 0), 1);
    ASSERT_EQ(TransformJpegFileInPlace(path.c_str(), kLosslessRotate270, 0, 0), 1);
    int status = -1;
    const std::string ae = testing_support::RunCommand(
        "compare -metric AE " + testing_support::ShellQuote(testing_support::Narrow(Fixture("exif-ii.jpg"))) + " " +
            testing_support::ShellQuote(testing_support::Narrow(path)) + " null: 2>&1",
        &status);
    EXPECT_EQ(ae, "0");
    EXPECT_EQ(status, 0);
}
#endif

}  // namespace
