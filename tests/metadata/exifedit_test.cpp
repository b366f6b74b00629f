// EXIF orientation and thumbnail operations on exiftool-made blocks in both
// byte orders and on synthetic blocks for the layouts exiftool never makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "iptcfixtures.h"
#include "jpegsegments.h"
#include "processing/exifedit.h"
#include "processing/jpegsize.h"
#include "tests/support/oracles.h"
#include "tests/support/tiffblock.h"

namespace {

using iptctest::Fixture;
using iptctest::MetadataList;
using jpegtest::Bytes;
using testing_support::ReadBytes;

constexpr uint16_t kTagOrientation = 274;

class ExifFixture : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        file = ReadBytes(Fixture(GetParam()));
        block = jpegtest::Payload(file, 0xE1);
        ASSERT_GT(block.size(), 6u);
        list.Add(kMetadataExif, block);
    }
    bool BigEndian() const { return block[6] == 'M'; }
    Bytes file;
    Bytes block;
    MetadataList list;
};

TEST_P(ExifFixture, OrientationReadAndReset) {
    uint32_t value = 0;
    ASSERT_EQ(ExifGetOrientation(list.head, &value), 1);
    EXPECT_EQ(value, 6u);
    ASSERT_EQ(ExifSetOrientation(list.head, 1), 1);
    ASSERT_EQ(ExifGetOrientation(list.head, &value), 1);
    EXPECT_EQ(value, 1u);
    // Exactly one byte changed: the value's low byte, where the byte order puts it.
    const Bytes after(list.head->data, list.head->data + list.head->length);
    ASSERT_EQ(after.size(), block.size());
    std::vector<size_t> changed;
    for (size_t i = 0; i < after.size(); ++i)
        if (after[i] != block[i]) changed.push_back(i);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(block[changed[0]], 6);
    EXPECT_EQ(after[changed[0]], 1);
    EXPECT_EQ(after[changed[0] + (BigEndian() ? -1 : 1)], 0);
#ifndef _WIN32
    testing_support::ScratchDir dir;
    const std::wstring path = dir.File("reset.jpg");
    testing_support::WriteBytes(path, jpegtest::WithPayload(file, 0xE1, after));
    EXPECT_EQ(testing_support::RunCommand("exiftool -n -s3 -Orientation " +
                                          testing_support::ShellQuote(testing_support::Narrow(path))),
              "1\n");
#endif
}

TEST_P(ExifFixture, ThumbnailMeasuredAndReplaced) {
    EXPECT_EQ(ExifHasThumbnail(list.head), 1);
    uint32_t w = 1, h = 1;
    ASSERT_EQ(ExifGetThumbnailSize(list.head, &w, &h), 1);
    EXPECT_EQ(w, 32u);
    EXPECT_EQ(h, 24u);

    const Bytes small = ReadBytes(Fixture("thumb-small.jpg"));
    ExifThumbnailScan before;
    ASSERT_TRUE(ScanExifThumbnail(list.head->data, list.head->length, &before));
    ASSERT_EQ(ExifReplaceThumbnail(list.head, small.data(), small.size()), 1);
    EXPECT_EQ(list.head->length, before.offset + small.size());
    ASSERT_EQ(ExifGetThumbnailSize(list.head, &w, &h), 1);
    EXPECT_EQ(w, 24u);
    EXPECT_EQ(h, 16u);
    ExifThumbnailScan after;
    ASSERT_TRUE(ScanExifThumbnail(list.head->data, list.head->length, &after));
    EXPECT_EQ(after.offset, before.offset);
    EXPECT_EQ(after.length, small.size());
#ifndef _WIN32
    testing_support::ScratchDir dir;
    const std::wstring path = dir.File("thumb.jpg");
    const Bytes changed(list.head->data, list.head->data + list.head->length);
    testing_support::WriteBytes(path, jpegtest::WithPayload(file, 0xE1, changed));
    const std::wstring out = dir.File("thumb-out.jpg");
    testing_support::RunCommand("exiftool -b -ThumbnailImage " +
                                testing_support::ShellQuote(testing_support::Narrow(path)) + " > " +
                                testing_support::ShellQuote(testing_support::Narrow(out)));
    EXPECT_EQ(ReadBytes(out), small);
#endif
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, ExifFixture, ::testing::Values("exif-ii.jpg", "exif-mm.jpg"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param).substr(5, 2);
                         });

// A block laid out by hand: IFD0 (Orientation, Exif pointer), the Exif IFD
// with one out-of-line RATIONAL, IFD1, then the thumbnail at `thumbAt`.
struct Layout {
    bool bigEndian = false;
    uint32_t thumbAt = 200;
    uint32_t thumbLength = 40;
    uint16_t lengthType = kLong;
    uint16_t orientationType = kShort;
    uint32_t orientationCount = 1;
    bool exifValue = true;
    uint32_t ifd1Next = 0;
};

Bytes Build(const Layout& l) {
    ExifBlock b(std::max<size_t>(l.thumbAt + l.thumbLength, 120), l.bigEndian);
    b.Ifd(8, {{kTagOrientation, l.orientationType, l.orientationCount, 6}, {34665, kLong, 1, 38}}, 80);
    if (l.exifValue) {
        b.Ifd(38, {{33434, kRational, 1, 64}}, 0);  // ExposureTime, its value at 64
        b.PutRational(64, 1, 125);
    } else {
        b.Ifd(38, {{33434, kShort, 1, 1}}, 0);
    }
    b.Ifd(80, {{513, kLong, 1, l.thumbAt}, {514, l.lengthType, 1, l.thumbLength}}, l.ifd1Next);
    std::vector<uint8_t> thumb(l.thumbLength, 0x55);
    thumb[0] = 0xFF, thumb[1] = 0xD8;
    b.PutBytes(l.thumbAt, thumb.data(), thumb.size());
    return b.Bytes();
}

TEST(ExifEdit, OrientationEntryRules) {
    struct Case {
        const char* name;
        Layout layout;
        int found;
    };
    Layout longType;
    longType.orientationType = kLong;
    Layout twoValues;
    twoValues.orientationCount = 2;
    Layout big;
    big.bigEndian = true;
    const Case cases[] = {
        {"short, little-endian", Layout{}, 1},
        {"short, big-endian", big, 1},
        {"long: neither read nor written", longType, 0},
        {"count 2: neither read nor written", twoValues, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MetadataList list;
        const Bytes original = Build(c.layout);
        list.Add(kMetadataExif, original);
        uint32_t value = 99;
        EXPECT_EQ(ExifGetOrientation(list.head, &value), c.found);
        EXPECT_EQ(value, c.found ? 6u : 99u);
        EXPECT_EQ(ExifSetOrientation(list.head, 3), 1);  // the entry is there
        const Bytes after(list.head->data, list.head->data + list.head->length);
        const size_t at = ExifBlock::ValueAt(8, 0);
        if (c.found) {
            EXPECT_EQ(after[at + (c.layout.bigEndian ? 1 : 0)], 3);
            EXPECT_EQ(after[at + (c.layout.bigEndian ? 0 : 1)], 0);
        } else {
            EXPECT_EQ(after, original);
        }
    }
}

TEST(ExifEdit, NoExifNoAnswer) {
    MetadataList list;
    list.Add(kMetadataIptc, Bytes{'P', 'h', 'o', 't', 'o'});
    Bytes bad = Build(Layout{});
    bad[6] = 'X';  // not "II"
    list.Add(kMetadataExif, bad);
    uint32_t value = 9, w = 9, h = 9;
    EXPECT_EQ(ExifGetOrientation(list.head, &value), 0);
    EXPECT_EQ(value, 9u);
    EXPECT_EQ(ExifSetOrientation(list.head, 1), 0);
    EXPECT_EQ(ExifHasThumbnail(list.head), 0);
    EXPECT_EQ(ExifGetThumbnailSize(list.head, &w, &h), 0);
    EXPECT_EQ(w, 0u);
    EXPECT_EQ(h, 0u);
    const uint8_t jpeg[2] = {0xFF, 0xD8};
    EXPECT_EQ(ExifReplaceThumbnail(list.head, jpeg, 2), 0);
    EXPECT_EQ(ExifGetOrientation(nullptr, &value), 0);
}

TEST(ExifEdit, WhichThumbnailsMayBeReplaced) {
    struct Case {
        const char* name;
        Layout layout;
        size_t newLength;
        int replaced;
        int has = replaced;  // ExifHasThumbnail
    };
    Layout early;  // the thumbnail lies before the Exif IFD's value
    early.thumbAt = 50;
    early.thumbLength = 10;
    Layout noValues;
    noValues.exifValue = false;
    Layout shortLength;
    shortLength.lengthType = kShort;
    Layout loop;
    loop.ifd1Next = 8;  // IFD1 links back to IFD0
    const Case cases[] = {
        {"shorter", Layout{}, 20, 1},
        {"longer", Layout{}, 400, 1},
        {"up to the segment's limit", Layout{}, kMaxExifBlockBytes - 206, 1},
        {"past the segment's limit", Layout{}, kMaxExifBlockBytes - 205, 0, 1},
        {"thumbnail before other values", early, 20, 0},
        {"no out-of-line value at all", noValues, 20, 0},
        {"length tag of type SHORT", shortLength, 300, 1},
        {"IFD chain that loops", loop, 20, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MetadataList list;
        const Bytes original = Build(c.layout);
        list.Add(kMetadataExif, original);
        EXPECT_EQ(ExifHasThumbnail(list.head), c.has);
        Bytes jpeg(c.newLength, 0x77);
        EXPECT_EQ(ExifReplaceThumbnail(list.head, jpeg.data(), jpeg.size()), c.replaced);
        const Bytes after(list.head->data, list.head->data + list.head->length);
        if (!c.replaced) {
            EXPECT_EQ(after, original);
            continue;
        }
        const size_t thumbAt = 6 + c.layout.thumbAt;
        ASSERT_EQ(after.size(), thumbAt + c.newLength);
        EXPECT_EQ(Bytes(after.begin() + long(thumbAt), after.end()), jpeg);
        // Everything before the thumbnail is kept but tag 514's value.
        const size_t lengthAt = ExifBlock::ValueAt(80, 1);
        for (size_t i = 0; i < thumbAt; ++i) {
            if (i < lengthAt || i >= lengthAt + 4) {
                ASSERT_EQ(after[i], original[i]) << i;
            }
        }
        ExifThumbnailScan scan;
        ASSERT_TRUE(ScanExifThumbnail(after.data(), after.size(), &scan));
        EXPECT_EQ(scan.length, c.newLength);
        if (c.layout.lengthType == kShort) {
            EXPECT_EQ(after[lengthAt + 2], original[lengthAt + 2]);  // only 16 bits written
            EXPECT_EQ(after[lengthAt + 3], original[lengthAt + 3]);
        }
    }
}

TEST(ExifEdit, ShortLengthTagRefusesWhatItCannotHold) {
    Layout l;
    l.lengthType = kShort;
    Bytes block = Build(l);
    ExifThumbnailScan scan;
    ASSERT_TRUE(ScanExifThumbnail(block.data(), block.size(), &scan));
    EXPECT_EQ(scan.lengthType, kShort);
    auto* data = static_cast<uint8_t*>(std::malloc(block.size()));
    std::memcpy(data, block.data(), block.size());
    size_t length = block.size();
    Bytes huge(70000, 1);
    EXPECT_EQ(ExifBlockReplaceThumbnail(&data, &length, huge.data(), huge.size()), 0);
    EXPECT_EQ(length, block.size());
    std::free(data);
}

TEST(ExifEdit, ThumbnailPastTheBlockIsNone) {
    Layout l;
    Bytes block = Build(l);
    block.resize(block.size() - 1);  // the thumbnail's last byte is missing
    ExifThumbnailScan scan;
    ASSERT_TRUE(ScanExifThumbnail(block.data(), block.size(), &scan));
    EXPECT_EQ(scan.offset, 0u);
    EXPECT_EQ(scan.length, 0u);
    MetadataList list;
    list.Add(kMetadataExif, block);
    EXPECT_EQ(ExifHasThumbnail(list.head), 0);
}

}  // namespace
