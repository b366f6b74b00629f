// The EXIF property list: exiftool-made fixtures in both byte orders (with
// GPS, a thumbnail, XP texts and user comments) show what exiftool's raw
// values say they must, and hand-built blocks pin the text formats, the
// mended faults and hostile input.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "imagelib/bitmap.h"
#include "imagelib/metadata.h"
#include "processing/exif_props.h"
#include "tests/support/testfiles.h"
#include "tests/support/tiffblock.h"

namespace {

using testing_support::FixtureFile;
using testing_support::ReadBytes;
using testing_support::ToFsPath;

struct Property {
    uint32_t category;
    uint16_t tag;
    std::string name;
    std::string text;
};

struct Collected {
    std::vector<std::string> categories;
    std::vector<Property> items;

    const Property* Find(uint32_t category, uint16_t tag, const std::string& name = "") const {
        for (const Property& p : items)
            if (p.category == category && p.tag == tag && (name.empty() || p.name == name)) return &p;
        return nullptr;
    }
    std::string Text(uint32_t category, uint16_t tag, const std::string& name = "") const {
        const Property* p = Find(category, tag, name);
        return p ? p->text : "-";
    }
};

void Collect(void* context, uint32_t category, uint16_t tag, const char* name, const char* text) {
    auto* c = static_cast<Collected*>(context);
    if (!text) {
        EXPECT_EQ(tag, 0);
        c->categories.push_back(name);
        return;
    }
    c->items.push_back({category, tag, name, text});
}

// The properties of one EXIF block, as ExifEnumProperties hands them out.
Collected PropertiesOf(const std::vector<uint8_t>& block) {
    MetadataBlock* list = nullptr;
    AddMetadataBlockToList(&list, kMetadataXmp, "<x/>", 4);
    AddMetadataBlockToList(&list, kMetadataExif, block.data(), uint32_t(block.size()));
    Collected c;
    ExifEnumProperties(list, Collect, &c);
    FreeMetadataList(&list);
    return c;
}

std::vector<uint8_t> Fixture(const std::string& name) {
    return ReadBytes(FixtureFile(PV_EXIF_FIXTURES, name));
}

struct Expected {
    std::string file;
    uint32_t category;
    uint16_t tag;
    std::string name;
    std::string text;
};

std::vector<Expected> ReadExpected() {
    std::ifstream in(ToFsPath(FixtureFile(PV_EXIF_FIXTURES, "expected.txt")), std::ios::binary);
    std::vector<Expected> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        std::vector<std::string> f;
        std::stringstream s(line);
        std::string field;
        while (std::getline(s, field, '\t')) f.push_back(field);
        if (f.size() != 5) continue;
        rows.push_back({f[0], uint32_t(std::stoul(f[1])), uint16_t(std::stoul(f[2])), f[3], f[4]});
    }
    return rows;
}

TEST(ExifProperties, MatchExiftoolTagByTag) {
    const std::vector<Expected> rows = ReadExpected();
    ASSERT_GE(rows.size(), 80u) << "the fixtures were not made (exiftool, ImageMagick and Pillow are needed)";
    std::map<std::string, Collected> byFile;
    for (const Expected& e : rows) {
        if (!byFile.count(e.file)) {
            const std::vector<uint8_t> block = Fixture(e.file + ".exif");
            ASSERT_GT(block.size(), 6u) << e.file;
            byFile[e.file] = PropertiesOf(block);
        }
        const Collected& c = byFile[e.file];
        const Property* p = c.Find(e.category, e.tag, e.text == "-" ? "" : e.name);
        if (e.text == "-") {
            EXPECT_EQ(p, nullptr) << e.file << " " << e.name;
        } else {
            ASSERT_NE(p, nullptr) << e.file << " " << e.name;
            EXPECT_EQ(p->text, e.text) << e.file << " " << e.name;
            EXPECT_EQ(p->name, e.name) << e.file;
        }
    }
    EXPECT_EQ(byFile["camera-ii"].categories,
              (std::vector<std::string>{"Camera", "Image", "GPS", "Thumbnail"}));
}

TEST(ExifProperties, BothByteOrdersGiveTheSameList) {
    const Collected ii = PropertiesOf(Fixture("camera-ii.exif"));
    const Collected mm = PropertiesOf(Fixture("camera-mm.exif"));
    ASSERT_EQ(ii.items.size(), mm.items.size());
    EXPECT_EQ(ii.categories, mm.categories);
    for (size_t i = 0; i < ii.items.size(); ++i) {
        // The thumbnail's place depends on how exiftool laid out each block.
        if (ii.items[i].category == kCategoryThumbnail && ii.items[i].tag == 513) continue;
        EXPECT_EQ(ii.items[i].tag, mm.items[i].tag) << i;
        EXPECT_EQ(ii.items[i].text, mm.items[i].text) << ii.items[i].name;
    }
}

TEST(ExifProperties, TheScanFindsTheThumbnailExiftoolExtracts) {
    for (const char* name : {"camera-ii", "camera-mm"}) {
        const std::vector<uint8_t> block = Fixture(std::string(name) + ".exif");
        const std::vector<uint8_t> thumb = Fixture(std::string(name) + ".thumb");
        ASSERT_GT(thumb.size(), 100u);
        ExifScan scan;
        ASSERT_EQ(ParseTiffBlock(block.data(), block.size(), nullptr, nullptr, &scan, nullptr), 1);
        EXPECT_EQ(scan.bigEndian, std::string(name) == "camera-mm" ? 1 : 0);
        ASSERT_EQ(scan.thumbnailLength, thumb.size()) << name;
        ASSERT_LE(uint64_t(scan.thumbnailOffset) + scan.thumbnailLength, block.size());
        EXPECT_EQ(0, std::memcmp(block.data() + scan.thumbnailOffset, thumb.data(), thumb.size())) << name;
        // The length's value is where the scan says.
        const uint8_t* v = block.data() + scan.thumbnailLengthAt;
        const uint32_t length = scan.bigEndian ? uint32_t(v[0]) << 24 | v[1] << 16 | v[2] << 8 | v[3]
                                               : uint32_t(v[3]) << 24 | v[2] << 16 | v[1] << 8 | v[0];
        EXPECT_EQ(length, thumb.size());
        EXPECT_LE(scan.highestValueEnd + 6, scan.thumbnailOffset);
        EXPECT_EQ(scan.make, kMakeNone);
    }
}

// --- Hand-built blocks -------------------------------------------------------

constexpr uint16_t kAscii = 2;
constexpr uint16_t kUndefined = 7;
constexpr uint16_t kSRational = 10;

TEST(ExifProperties, TextFormats) {
    struct Case {
        const char* what;
        uint16_t tag;
        uint16_t type;
        uint32_t numerator;
        uint32_t denominator;
        const char* text;
    } cases[] = {
        {"1/250 s", 33434, kRational, 1, 250, "1/250"},
        {"0.5 s", 33434, kRational, 1, 2, "0.50"},
        {"2 s", 33434, kRational, 2, 1, "2.00"},
        {"a tiny time does not overflow", 33434, kRational, 1, 0xFFFFFFFFu, "1/4294967295"},
        {"APEX 8", 37377, kSRational, 8, 1, "1/256"},
        {"APEX beyond 100", 37377, kSRational, 200, 1, "0.00"},
        {"rational 10/20", 41486, kRational, 10, 20, "1/2"},
        {"rational 0/7", 41486, kRational, 0, 7, "0"},
        {"rational 7/0", 41486, kRational, 7, 0, "7/0"},
        {"srational -6/4", 37380, kSRational, uint32_t(-6), 4, "-3/2"},
        {"unsigned rational stays positive", 41486, kRational, 0xFFFFFFFEu, 2, "2147483647/1"},
        {"unsigned rational reduced", 41486, kRational, 0xFFFFFFFEu, 4, "2147483647/2"},
        {"F-number", 33437, kRational, 28, 10, "2.8"},
        {"aperture", 37378, kRational, 4, 1, "F4.0"},
        {"subject distance", 37382, kRational, 15, 2, "8"},
        {"subject distance 0 denominator", 37382, kRational, 15, 0, "15/0"},
        {"focal length", 37386, kRational, 505, 10, "50.5"},
        {"focal length whole", 37386, kRational, 50, 1, "50"},
    };
    for (const Case& c : cases) {
        ExifBlock b(200, true);
        b.Ifd(8, {{34665, kLong, 1, 26}}, 0);
        b.Ifd(26, {{c.tag, c.type, 1, 100}}, 0);
        b.PutRational(100, c.numerator, c.denominator);
        EXPECT_EQ(PropertiesOf(b.Bytes()).Text(kCategoryImage, c.tag), c.text) << c.what;
    }
}

TEST(ExifProperties, FlashFiredIsBitZero) {
    struct Case {
        uint32_t value;
        const char* text;
    } cases[] = {{0x00, "No flash"}, {0x10, "No flash"}, {0x19, "Flash fired"}, {0x0F, "Flash fired"},
                 {0x07, "Flash fired"}, {0x18, "No flash"}};
    for (const Case& c : cases) {
        ExifBlock b(100, false);
        b.Ifd(8, {{34665, kLong, 1, 26}}, 0);
        b.Ifd(26, {{37385, kShort, 1, c.value}}, 0);
        EXPECT_EQ(PropertiesOf(b.Bytes()).Text(kCategoryImage, 37385), c.text) << c.value;
    }
}

TEST(ExifProperties, UserCommentsAndTexts) {
    struct Case {
        const char* what;
        bool big;
        std::vector<uint8_t> value;
        const char* text;
    } cases[] = {
        {"ASCII", false, {'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'h', 'i', ' ', 't', 'h', 'e', 'r', 'e', ' ', ' '}, "hi there"},
        {"UNICODE little-endian", false, {'U', 'N', 'I', 'C', 'O', 'D', 'E', 0, 'O', 0, 'k', 0, 0xE9, 0, 0x15, 0x26},
         "Ok\xE9?"},
        {"UNICODE big-endian", true, {'U', 'N', 'I', 'C', 'O', 'D', 'E', 0, 0, 'O', 0, 'k'}, "Ok"},
        {"JIS is not shown", false, {'J', 'I', 'S', 0, 0, 0, 0, 0, 'x', 'y'}, "-"},
        {"blanks only", false, {'A', 'S', 'C', 'I', 'I', 0, 0, 0, ' ', ' ', ' ', ' ', ' '}, "-"},
        {"too short", false, {'A', 'S', 'C', 'I', 'I', 0, 0, 0}, "-"},
    };
    for (const Case& c : cases) {
        ExifBlock b(200, c.big);
        b.Ifd(8, {{34665, kLong, 1, 26}}, 0);
        b.Ifd(26, {{37510, kUndefined, uint32_t(c.value.size()), 100}}, 0);
        b.PutBytes(100, c.value.data(), c.value.size());
        EXPECT_EQ(PropertiesOf(b.Bytes()).Text(kCategoryImage, 37510), c.text) << c.what;
    }
    // An ASCII value longer than the 255 characters shown is cut.
    ExifBlock b(800, false);
    b.Ifd(8, {{270, kAscii, 600, 100}}, 0);
    b.PutText(100, std::string(599, 'x'));
    EXPECT_EQ(PropertiesOf(b.Bytes()).Text(kCategoryCamera, 270), std::string(255, 'x'));
}

TEST(ExifProperties, GpsFormats) {
    ExifBlock b(300, false);
    b.Ifd(8, {{34853, kLong, 1, 26}}, 0);
    b.Ifd(26, {{1, kAscii, 2, 'N'}, {2, kRational, 3, 200}, {4, kRational, 3, 224}, {5, 1, 1, 1},
               {6, kRational, 1, 248}, {7, kRational, 3, 256}, {30, kShort, 1, 1}, {3, kShort, 1, 'E'}},
          0);
    b.PutRational(200, 48, 1);
    b.PutRational(208, 5105, 100);
    b.PutRational(216, 2400, 100);
    b.PutRational(224, 7, 2);
    b.PutRational(232, 3, 1);
    b.PutRational(240, 0, 0);
    b.PutRational(248, 1005, 10);
    b.PutRational(256, 13, 1);
    const Collected c = PropertiesOf(b.Bytes());
    EXPECT_EQ(c.Text(kCategoryGps, 1), "North");
    EXPECT_EQ(c.Text(kCategoryGps, 2), "48\xB0 51.05' 24.00\"");
    EXPECT_EQ(c.Text(kCategoryGps, 4), "7/2\xB0 3' 0.00\"");
    EXPECT_EQ(c.Text(kCategoryGps, 5), "1");
    EXPECT_EQ(c.Text(kCategoryGps, 6), "100.50");
    EXPECT_EQ(c.Text(kCategoryGps, 7), "13");
    EXPECT_EQ(c.Text(kCategoryGps, 30), "Differential Corrected");
    EXPECT_EQ(c.Text(kCategoryGps, 3), "-");  // a SHORT where ASCII is declared
}

TEST(ExifProperties, ChainsLoopsAndCutLinks) {
    // IFD1 links back to IFD0: parsed once.
    ExifBlock loop(300, false);
    loop.Ifd(8, {{256, kLong, 1, 640}}, 100);
    loop.Ifd(100, {{257, kLong, 1, 480}}, 8);
    Collected c = PropertiesOf(loop.Bytes());
    EXPECT_EQ(c.items.size(), 2u);
    EXPECT_EQ(c.Text(kCategoryThumbnail, 257), "480");

    // An Exif IFD's next link is no thumbnail IFD.
    ExifBlock exifLink(300, false);
    exifLink.Ifd(8, {{34665, kLong, 1, 50}}, 0);
    exifLink.Ifd(50, {{37383, kShort, 1, 3}}, 100);
    exifLink.Ifd(100, {{256, kLong, 1, 9}}, 0);
    c = PropertiesOf(exifLink.Bytes());
    EXPECT_EQ(c.Text(kCategoryImage, 37383), "Spot (3)");
    EXPECT_EQ(c.Find(kCategoryThumbnail, 256), nullptr);

    // IFD0 with its next link cut to 2 bytes at the end is read; cut inside
    // its entries it is dropped whole (and nothing is enumerated).
    ExifBlock cut(8 + 2 + 24 + 4, false);
    cut.Ifd(8, {{256, kLong, 1, 1}, {257, kLong, 1, 2}}, 0);
    std::vector<uint8_t> bytes = cut.Bytes();
    bytes.resize(bytes.size() - 2);
    EXPECT_EQ(PropertiesOf(bytes).Text(kCategoryCamera, 257), "2");
    bytes.resize(bytes.size() - 4);
    c = PropertiesOf(bytes);
    EXPECT_TRUE(c.items.empty());
    EXPECT_TRUE(c.categories.empty());
}

TEST(ExifProperties, ThumbnailsOutsideTheDataAreDropped) {
    struct Case {
        uint32_t offset;
        uint32_t length;
        uint32_t wantOffset;
    } cases[] = {
        {100, 50, 106},              // inside
        {100, 150, 106},             // ends at the end
        {100, 151, 0},               // one byte past the end
        {0, 50, 0},                  // the TIFF header is no thumbnail
        {0xFFFFFFFFu, 50, 0},        // + 6 would wrap
        {0xFFFFFF00u, 0x200, 0},
    };
    for (const Case& c : cases) {
        ExifBlock b(250, true);
        b.Ifd(8, {{256, kLong, 1, 1}}, 40);
        b.Ifd(40, {{513, kLong, 1, c.offset}, {514, kLong, 1, c.length}}, 0);
        const std::vector<uint8_t> block = b.Bytes();
        ExifScan scan;
        ASSERT_EQ(ParseTiffBlock(block.data(), block.size(), nullptr, nullptr, &scan, nullptr), 1);
        EXPECT_EQ(scan.thumbnailOffset, c.wantOffset) << c.offset;
        if (c.wantOffset == 0) {
            EXPECT_EQ(scan.thumbnailLength, 0u) << c.offset;
        }
    }
}

TEST(ExifProperties, NothingForBadHeadersAndOnlyTheLastBlock) {
    std::vector<uint8_t> bad = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 43, 0, 8, 0, 0, 0};
    EXPECT_TRUE(PropertiesOf(bad).categories.empty());
    std::vector<uint8_t> notExif = {'E', 'x', 'i', 'f', 1, 0, 'I', 'I', 42, 0, 8, 0, 0, 0};
    EXPECT_TRUE(PropertiesOf(notExif).categories.empty());
    ExifScan scan;
    EXPECT_EQ(ParseTiffBlock(bad.data(), bad.size(), nullptr, nullptr, &scan, nullptr), 0);

    // Two EXIF blocks: the list's last node is enumerated (nodes are added
    // at the head, so that is the first one added).
    ExifBlock first(100, false);
    first.Ifd(8, {{256, kLong, 1, 1}}, 0);
    ExifBlock second(100, false);
    second.Ifd(8, {{256, kLong, 1, 2}}, 0);
    MetadataBlock* list = nullptr;
    const std::vector<uint8_t> a = first.Bytes();
    const std::vector<uint8_t> b = second.Bytes();
    AddMetadataBlockToList(&list, kMetadataExif, a.data(), uint32_t(a.size()));
    AddMetadataBlockToList(&list, kMetadataExif, b.data(), uint32_t(b.size()));
    Collected c;
    ExifEnumProperties(list, Collect, &c);
    EXPECT_EQ(c.Text(kCategoryCamera, 256), "1");
    FreeMetadataList(&list);
}

TEST(ExifProperties, MakesAndCategoryNames) {
    EXPECT_STREQ(PropertyCategoryName(kCategoryMakernotes), "Makernotes");
    EXPECT_STREQ(PropertyCategoryName(64), "???");
    EXPECT_EQ(CameraMakeOf("NIKON CORPORATION"), kMakeNikon);
    EXPECT_EQ(CameraMakeOf("FOVEON"), kMakeSigma);
    EXPECT_EQ(CameraMakeOf("Panasonic"), kMakePanasonic);
    EXPECT_EQ(CameraMakeOf("Can"), kMakeNone);
    EXPECT_EQ(CameraMakeOf(""), kMakeNone);
}

}  // namespace
