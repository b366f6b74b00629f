// The EXIF APP1 walk: where the thumbnail and the Orientation entry are, and
// that hostile offsets, lengths and links never read outside the block.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "imagelib/readers/exif.h"
#include "jpegfixtures.h"
#include "tests/support/tiffblock.h"

namespace {

struct Parsed {
    int result;
    ExifApp1Info info;
    std::vector<uint8_t> bytes;  // the block the pointers point into
};

Parsed Parse(std::vector<uint8_t> bytes) {
    Parsed p{0, {}, std::move(bytes)};
    p.result = ParseExifApp1(p.bytes.data(), p.bytes.size(), &p.info);
    return p;
}

// IFD0 at 8 with one ordinary entry, linking to IFD1 at 200 that holds the
// thumbnail tags.
ExifBlock CameraBlock(bool big, uint32_t offset, uint32_t length, size_t tiffSize = 6994) {
    ExifBlock b(tiffSize, big);
    b.Ifd(8, {{256, kLong, 1, 3000}}, 200);
    b.Ifd(200, {{259, kShort, 1, 6}, {513, kLong, 1, offset}, {514, kLong, 1, length}}, 0);
    return b;
}

TEST(ExifApp1, FindsTheThumbnailOfIfd1InEitherByteOrder) {
    for (bool big : {false, true}) {
        Parsed p = Parse(CameraBlock(big, 1000, 5000).Bytes());
        ASSERT_EQ(p.bytes.size(), 7000u);
        EXPECT_EQ(p.result, 1) << big;
        EXPECT_EQ(p.info.thumbnailOffset, 1006u);
        EXPECT_EQ(p.info.thumbnailLength, 5000u);
        EXPECT_EQ(p.info.bigEndian, big ? 1u : 0u);
        // The length's value can be rewritten in place.
        EXPECT_EQ(p.info.thumbnailLengthValue, p.bytes.data() + ExifBlock::ValueAt(200, 2));
        EXPECT_EQ(p.info.orientationFound, 0u);

        uint32_t offset = 0;
        uint32_t length = 0;
        EXPECT_EQ(FindExifThumbnail(p.bytes.data(), p.bytes.size(), &offset, &length), 1);
        EXPECT_EQ(offset, 1006u);
        EXPECT_EQ(length, 5000u);
    }
}

TEST(ExifApp1, RefusesThumbnailsReachingPastTheBlock) {
    struct Case {
        uint32_t offset;
        uint32_t length;
        int result;
    } cases[] = {
        {1000, 5994, 1},            // ends exactly at the end
        {1000, 5995, 0},
        {1000, 6000, 0},
        {0xFFFFFF00u, 0x200, 0},    // wraps to a small sum in 32 bits
        {0x200, 0xFFFFFF00u, 0},
    };
    for (const Case& c : cases) {
        Parsed p = Parse(CameraBlock(false, c.offset, c.length).Bytes());
        EXPECT_EQ(p.result, c.result) << c.offset << "+" << c.length;
        uint32_t offset = 7;
        uint32_t length = 7;
        if (c.result == 0) {
            EXPECT_EQ(FindExifThumbnail(p.bytes.data(), p.bytes.size(), &offset, &length), 0);
            EXPECT_EQ(offset, 7u);  // untouched
            EXPECT_EQ(length, 7u);
        }
    }
}

TEST(ExifApp1, TakesTagsOnlyAfterIfd0) {
    // Thumbnail and orientation in IFD0 only: ignored.
    ExifBlock only0(2000, false);
    only0.Ifd(8, {{274, kShort, 1, 6}, {513, kLong, 1, 500}, {514, kLong, 1, 100}}, 0);
    Parsed p = Parse(only0.Bytes());
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.info.thumbnailOffset, 0u);
    EXPECT_EQ(p.info.orientationFound, 0u);

    // Orientation in the Exif IFD, thumbnail in IFD1; wrong types are skipped.
    ExifBlock b(2000, true);
    b.Ifd(8, {{274, kShort, 1, 3}, {34665, kLong, 1, 100}}, 300);
    b.Ifd(100, {{33434, kRational, 1, 900}, {274, kShort, 1, 8}}, 0);
    b.Ifd(300, {{513, kShort, 1, 77}, {513, kLong, 2, 500}, {513, kLong, 1, 600}, {514, kLong, 1, 200}}, 0);
    p = Parse(b.Bytes());
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.info.thumbnailOffset, 606u);
    EXPECT_EQ(p.info.thumbnailLength, 200u);
    EXPECT_EQ(p.info.orientationFound, 274u);
    ASSERT_EQ(p.info.orientationValue, p.bytes.data() + ExifBlock::ValueAt(100, 1));
    EXPECT_EQ(p.info.orientationValue[0] << 8 | p.info.orientationValue[1], 8);

    // Orientation in IFD1 counts too.
    ExifBlock c(2000, false);
    c.Ifd(8, {{256, kLong, 1, 10}}, 40);
    c.Ifd(40, {{274, kShort, 1, 1}}, 0);
    p = Parse(c.Bytes());
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.info.orientationFound, 274u);
    EXPECT_EQ(p.info.orientationValue, p.bytes.data() + ExifBlock::ValueAt(40, 0));
}

TEST(ExifApp1, LinksThatPointBackEndTheWalk) {
    // IFD1's next link points back to IFD0.
    ExifBlock back(1000, false);
    back.Ifd(8, {{256, kLong, 1, 10}}, 100);
    back.Ifd(100, {{257, kLong, 1, 10}}, 8);
    EXPECT_EQ(Parse(back.Bytes()).result, 0);

    // A link to itself.
    ExifBlock self(1000, false);
    self.Ifd(8, {{256, kLong, 1, 10}}, 8);
    EXPECT_EQ(Parse(self.Bytes()).result, 0);

    // Exif IFD pointers may point anywhere: to IFD0 itself, and to each other.
    ExifBlock loop(1000, true);
    loop.Ifd(8, {{34665, kLong, 1, 8}}, 0);
    EXPECT_EQ(Parse(loop.Bytes()).result, 0);
    ExifBlock pair(1000, false);
    pair.Ifd(8, {{34665, kLong, 1, 100}}, 300);
    pair.Ifd(100, {{34665, kLong, 1, 8}}, 300);
    pair.Ifd(300, {{34665, kLong, 1, 100}}, 0);
    EXPECT_EQ(Parse(pair.Bytes()).result, 0);

    // ... and the thumbnail beyond such a loop is still found.
    pair.Ifd(300, {{34665, kLong, 1, 100}, {513, kLong, 1, 500}, {514, kLong, 1, 50}}, 0);
    Parsed p = Parse(pair.Bytes());
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.info.thumbnailOffset, 506u);
}

TEST(ExifApp1, NeverReadsOutsideTheBlock) {
    // Every prefix of a valid block (a read past its end shows under
    // AddressSanitizer); the thumbnail ends at TIFF offset 320.
    const std::vector<uint8_t> full = CameraBlock(false, 300, 20, 400).Bytes();
    for (size_t n = 0; n < 6 + 320; ++n) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + long(n));
        EXPECT_EQ(Parse(cut).result, 0) << n;
    }
    EXPECT_EQ(Parse(full).result, 1);

    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    {
        ExifBlock b(100, false, 0xFFFFFFFAu);  // IFD0 offset + 6 wraps in 32 bits
        cases.push_back({"IFD0 offset wraps", b.Bytes()});
    }
    {
        ExifBlock b(100, false, 90);  // IFD0 right at the end
        cases.push_back({"IFD0 at the end", b.Bytes()});
    }
    {
        ExifBlock b(100, false);
        b.Ifd(8, {{34665, kLong, 1, 100}}, 0);  // Exif IFD at exactly B + S
        cases.push_back({"Exif IFD at the end", b.Bytes()});
    }
    {
        ExifBlock b(100, false);
        b.Ifd(8, {{34665, kLong, 1, 99}}, 0);  // one byte before the end
        cases.push_back({"Exif IFD one byte long", b.Bytes()});
    }
    {
        ExifBlock b(40, false);
        b.Put16(8, 500);  // 500 entries in 32 bytes
        cases.push_back({"entry count past the end", b.Bytes()});
    }
    {
        ExifBlock b(100, false);
        b.Ifd(8, {{256, kLong, 1, 1}}, 0xFFFFFFF0u);  // next link far away
        cases.push_back({"next IFD far away", b.Bytes()});
    }
    {
        ExifBlock b(100, false);
        b.Ifd(8, {{270, 2, 0x7FFFFFFFu, 0xFFFFFFF0u}, {34665, kLong, 1, 30}}, 0);  // value size near 8 GB
        cases.push_back({"huge value", b.Bytes()});
    }
    {
        ExifBlock b(100, false);
        b.Ifd(8, {{270, 13, 1, 0}}, 0);  // type 13
        cases.push_back({"unknown type", b.Bytes()});
    }
    {
        ExifBlock b(100, false);
        b.Ifd(8, {{270, 2, 0x80000000u, 0}}, 0);  // negative count
        cases.push_back({"negative count", b.Bytes()});
    }
    {
        std::vector<uint8_t> bytes = {'E', 'x', 'i', 'f', 0, 0, 'I', 'M', 42, 0, 8, 0, 0, 0, 0, 0};
        cases.push_back({"mixed byte order", bytes});
    }
    {
        std::vector<uint8_t> bytes = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 43, 0, 8, 0, 0, 0, 0, 0};
        cases.push_back({"not 42", bytes});
    }
    for (Case& c : cases) EXPECT_EQ(Parse(c.bytes).result, 0) << c.what;
}

TEST(ExifApp1, AThumbnailInsideTheLastBytesIsFound) {
    // The smallest block whose IFD1 entries end just before the TIFF data
    // does, with the thumbnail in the last byte.
    ExifBlock b(60, false);
    b.Ifd(8, {{256, kLong, 1, 1}}, 26);
    b.Ifd(26, {{513, kLong, 1, 59}, {514, kLong, 1, 1}}, 0);
    Parsed p = Parse(b.Bytes());
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.info.thumbnailOffset, 65u);
}

}  // namespace
