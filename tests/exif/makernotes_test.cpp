// Maker notes: the tables' row counts, the lens post-processing against
// exiftool's reading of the same lens records, camera-raw tag lists, the
// formatters' fixed formats and hostile notes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "imagelib/bitmap.h"
#include "imagelib/metadata.h"
#include "processing/exif_internal.h"
#include "processing/exif_props.h"
#include "tests/support/testfiles.h"
#include "tests/support/tiffblock.h"

namespace {

using testing_support::FixtureFile;
using testing_support::ReadBytes;
using testing_support::ToFsPath;

struct Item {
    uint32_t category;
    uint16_t tag;
    std::string name;
    std::string text;
};

void Collect(void* context, uint32_t category, uint16_t tag, const char* name, const char* text) {
    if (text) static_cast<std::vector<Item>*>(context)->push_back({category, tag, name, text});
}

std::vector<Item> PropertiesOf(MetadataBlock* list) {
    std::vector<Item> items;
    ExifEnumProperties(list, Collect, &items);
    FreeMetadataList(&list);
    return items;
}

std::vector<Item> PropertiesOf(const std::vector<uint8_t>& block) {
    MetadataBlock* list = nullptr;
    AddMetadataBlockToList(&list, kMetadataExif, block.data(), uint32_t(block.size()));
    return PropertiesOf(list);
}

std::string Text(const std::vector<Item>& items, uint16_t tag, const std::string& name) {
    for (const Item& i : items)
        if (i.category == kCategoryMakernotes && i.tag == tag && i.name == name) return i.text;
    return "-";
}

size_t MakerCount(const std::vector<Item>& items) {
    size_t n = 0;
    for (const Item& i : items) n += i.category == kCategoryMakernotes;
    return n;
}

TEST(MakerNotes, TableRowCounts) {
    // The IFD tables are counted with their end row, the arrays without.
    // Olympus gains its two serial number tags and Pentax its date and time
    // (which the shutter count is enciphered with); the Olympus equipment
    // directory has a table of its own.
    struct Table {
        const TagTable* table;
        uint32_t rows;
    } tables[] = {
        {&kIfd0Table, 38},          {&kExifTable, 63},         {&kIopTable, 4},
        {&kGpsTable, 31},           {&kNikonType1Table, 10 - 1}, {&kNikonTable, 36 - 1},
        {&kCasioType1Table, 13 - 1}, {&kCasioType2Table, 28 - 1}, {&kFujifilmTable, 18 - 1},
        {&kOlympusTable, 9 + 2 - 1}, {&kOlympusEquipmentTable, 4}, {&kPanasonicTable, 37 - 1},
        {&kPentaxTable, 71 + 2 - 1},
        {&kSigmaTable, 24 - 1},     {&kSanyoTable, 26 - 1},    {&kMinoltaTable, 10 - 1},
        {&kMinoltaSettingsTable, 48 - 1}, {&kCanonSettingsTable, 22}, {&kCanonShotInfoTable, 2},
    };
    for (const Table& t : tables) {
        EXPECT_EQ(t.table->count, t.rows) << t.table->rows[0].name;
        // No tag twice in one table: a second row could never be found.
        for (uint32_t i = 0; i < t.table->count; ++i)
            for (uint32_t k = i + 1; k < t.table->count; ++k)
                EXPECT_NE(t.table->rows[i].tag, t.table->rows[k].tag) << t.table->rows[k].name;
    }
    // The Pentax and Minolta tables resolve their duplicate rows to the tags
    // the cameras use.
    EXPECT_STREQ(FindTagRow(kPentaxTable, 0x001E)->name, "Digital Zoom");
    EXPECT_STREQ(FindTagRow(kPentaxTable, 0x001C)->name, "Red Balance");
    EXPECT_STREQ(FindTagRow(kMinoltaSettingsTable, 0x002A)->name, "BWFilter");
    EXPECT_STREQ(FindTagRow(kMinoltaSettingsTable, 0x002B)->name, "Internal Flash");

    EXPECT_EQ(kPentaxLensCount, 130u);
    EXPECT_EQ(kPentaxPictureModeCount, 44u);
    EXPECT_EQ(kPentaxFlashModeCount, 15u);
    EXPECT_EQ(kNikonFocalCount, 59u);
}

TEST(MakerNotes, ValueListRowCounts) {
    // One row per value-name list of the maker tables. Casio type-1 0x0005
    // (flash intensity) is given 7 names, but public documentation names 5
    // values: those 5 are listed.
    struct List {
        const TagTable* table;
        uint16_t tag;
        uint32_t count;
    } lists[] = {
        {&kNikonType1Table, 0x0003, 9},
        {&kNikonType1Table, 0x0004, 2},
        {&kNikonType1Table, 0x0005, 5},
        {&kNikonType1Table, 0x0006, 4},
        {&kNikonType1Table, 0x0007, 7},
        {&kNikonType1Table, 0x000B, 2},
        {&kNikonTable, 0x0087, 3},
        {&kCasioType1Table, 0x0001, 5},
        {&kCasioType1Table, 0x0002, 3},
        {&kCasioType1Table, 0x0003, 4},
        {&kCasioType1Table, 0x0004, 4},
        {&kCasioType1Table, 0x0005, 5},
        {&kCasioType1Table, 0x0007, 6},
        {&kCasioType1Table, 0x000A, 2},
        {&kCasioType1Table, 0x000B, 3},
        {&kCasioType1Table, 0x000C, 3},
        {&kCasioType1Table, 0x000D, 3},
        {&kCasioType1Table, 0x0014, 6},
        {&kCasioType2Table, 0x0008, 3},
        {&kCasioType2Table, 0x0009, 7},
        {&kCasioType2Table, 0x000D, 2},
        {&kCasioType2Table, 0x0014, 4},
        {&kCasioType2Table, 0x0019, 6},
        {&kCasioType2Table, 0x001F, 3},
        {&kCasioType2Table, 0x0020, 3},
        {&kCasioType2Table, 0x0021, 3},
        {&kCasioType2Table, 0x2012, 4},
        {&kCasioType2Table, 0x3000, 1},
        {&kCasioType2Table, 0x3001, 1},
        {&kCasioType2Table, 0x3002, 3},
        {&kCasioType2Table, 0x3003, 4},
        {&kCasioType2Table, 0x3007, 2},
        {&kCasioType2Table, 0x3015, 1},
        {&kCasioType2Table, 0x3016, 1},
        {&kCasioType2Table, 0x3017, 1},
        {&kFujifilmTable, 0x1001, 5},
        {&kFujifilmTable, 0x1002, 8},
        {&kFujifilmTable, 0x1003, 3},
        {&kFujifilmTable, 0x1004, 3},
        {&kFujifilmTable, 0x1010, 4},
        {&kFujifilmTable, 0x1020, 2},
        {&kFujifilmTable, 0x1021, 2},
        {&kFujifilmTable, 0x1030, 2},
        {&kFujifilmTable, 0x1031, 9},
        {&kFujifilmTable, 0x1100, 2},
        {&kFujifilmTable, 0x1300, 2},
        {&kFujifilmTable, 0x1301, 2},
        {&kFujifilmTable, 0x1302, 2},
        {&kOlympusTable, 0x0201, 3},
        {&kOlympusTable, 0x0202, 2},
        {&kPanasonicTable, 0x0001, 5},
        {&kPanasonicTable, 0x0003, 8},
        {&kPanasonicTable, 0x0007, 4},
        {&kPanasonicTable, 0x001A, 3},
        {&kPanasonicTable, 0x001C, 3},
        {&kPanasonicTable, 0x001F, 29},
        {&kPanasonicTable, 0x0020, 2},
        {&kPanasonicTable, 0x0028, 5},
        {&kPanasonicTable, 0x002A, 3},
        {&kPanasonicTable, 0x002C, 6},
        {&kPanasonicTable, 0x002D, 3},
        {&kPanasonicTable, 0x002E, 3},
        {&kPanasonicTable, 0x0030, 3},
        {&kPanasonicTable, 0x0032, 2},
        {&kPanasonicTable, 0x0034, 2},
        {&kPanasonicTable, 0x0035, 4},
        {&kPanasonicTable, 0x003A, 2},
        {&kPanasonicTable, 0x0042, 7},
        {&kPanasonicTable, 0x8001, 30},
        {&kPentaxTable, 0x0008, 6},
        {&kPentaxTable, 0x000B, 33},
        {&kPentaxTable, 0x000D, 9},
        {&kPentaxTable, 0x000E, 15},
        {&kPentaxTable, 0x000F, 11},
        {&kPentaxTable, 0x0014, 42},
        {&kPentaxTable, 0x0017, 3},
        {&kPentaxTable, 0x0019, 14},
        {&kPentaxTable, 0x001A, 10},
        {&kPentaxTable, 0x001F, 8},
        {&kPentaxTable, 0x0020, 7},
        {&kPentaxTable, 0x0021, 7},
        {&kPentaxTable, 0x0022, 2},
        {&kPentaxTable, 0x0023, 71},
        {&kPentaxTable, 0x0024, 71},
        {&kPentaxTable, 0x0025, 2},
        {&kPentaxTable, 0x0026, 2},
        {&kPentaxTable, 0x0037, 2},
        {&kPentaxTable, 0x0048, 2},
        {&kPentaxTable, 0x0049, 2},
        {&kPentaxTable, 0x004F, 6},
        {&kPentaxTable, 0x0071, 4},
        {&kSanyoTable, 0x0201, 24},
        {&kSanyoTable, 0x0202, 4},
        {&kSanyoTable, 0x020E, 4},
        {&kSanyoTable, 0x020F, 2},
        {&kSanyoTable, 0x0210, 2},
        {&kSanyoTable, 0x0213, 2},
        {&kSanyoTable, 0x0214, 2},
        {&kSanyoTable, 0x0216, 2},
        {&kSanyoTable, 0x0217, 2},
        {&kSanyoTable, 0x0218, 2},
        {&kSanyoTable, 0x0219, 2},
        {&kSanyoTable, 0x021B, 2},
        {&kSanyoTable, 0x021D, 2},
        {&kSanyoTable, 0x021E, 2},
        {&kSanyoTable, 0x021F, 6},
        {&kSanyoTable, 0x0224, 4},
        {&kSanyoTable, 0x0225, 4},
        {&kMinoltaTable, 0x0101, 5},
        {&kMinoltaTable, 0x0102, 6},
        {&kMinoltaTable, 0x0103, 6},
        {&kMinoltaSettingsTable, 0x0001, 4},
        {&kMinoltaSettingsTable, 0x0002, 4},
        {&kMinoltaSettingsTable, 0x0003, 9},
        {&kMinoltaSettingsTable, 0x0004, 4},
        {&kMinoltaSettingsTable, 0x0005, 6},
        {&kMinoltaSettingsTable, 0x0006, 7},
        {&kMinoltaSettingsTable, 0x0007, 3},
        {&kMinoltaSettingsTable, 0x000B, 2},
        {&kMinoltaSettingsTable, 0x000C, 3},
        {&kMinoltaSettingsTable, 0x000E, 3},
        {&kMinoltaSettingsTable, 0x0014, 2},
        {&kMinoltaSettingsTable, 0x001A, 2},
        {&kMinoltaSettingsTable, 0x0021, 3},
        {&kMinoltaSettingsTable, 0x0022, 6},
        {&kMinoltaSettingsTable, 0x0024, 5},
        {&kMinoltaSettingsTable, 0x0025, 6},
        {&kMinoltaSettingsTable, 0x0026, 2},
        {&kMinoltaSettingsTable, 0x0027, 2},
        {&kMinoltaSettingsTable, 0x0028, 5},
        {&kMinoltaSettingsTable, 0x002B, 2},
        {&kMinoltaSettingsTable, 0x002F, 5},
        {&kMinoltaSettingsTable, 0x0030, 2},
        {&kMinoltaSettingsTable, 0x0031, 2},
        {&kMinoltaSettingsTable, 0x0032, 4},
        {&kCanonSettingsTable, 0x0001, 2},
        {&kCanonSettingsTable, 0x0002, 1},
        {&kCanonSettingsTable, 0x0003, 3},
        {&kCanonSettingsTable, 0x0004, 7},
        {&kCanonSettingsTable, 0x0005, 2},
        {&kCanonSettingsTable, 0x0007, 7},
        {&kCanonSettingsTable, 0x000A, 3},
        {&kCanonSettingsTable, 0x000B, 12},
        {&kCanonSettingsTable, 0x000D, 3},
        {&kCanonSettingsTable, 0x000E, 3},
        {&kCanonSettingsTable, 0x0010, 6},
        {&kCanonSettingsTable, 0x0011, 3},
        {&kCanonSettingsTable, 0x0013, 5},
        {&kCanonSettingsTable, 0x0012, 5},
        {&kCanonSettingsTable, 0x0014, 6},
        {&kCanonShotInfoTable, 0x0007, 7},
    };
    for (const List& l : lists) {
        const TagRow* row = FindTagRow(*l.table, l.tag);
        ASSERT_NE(row, nullptr) << l.tag;
        EXPECT_EQ(row->valueCount, l.count) << row->name;
    }
}

// Reads our "x.x mm" and "Fx.x" texts back as numbers.
double NumberIn(const std::string& text) {
    return std::strtod(text.c_str() + (text[0] == 'F' ? 1 : 0), nullptr);
}

TEST(MakerNotes, NikonLensDataMatchesExiftool) {
    // exiftool deciphers the records of versions 0201, 0204 and 0800 (their
    // fields at bytes 11, 12 and 13) on its own; focal lengths agree within
    // the rounding of the focal table.
    for (const char* name : {"nikon3", "nikon-0204", "nikon-0800"}) {
        SCOPED_TRACE(name);
        const std::string file = name;
        const std::vector<Item> items = PropertiesOf(ReadBytes(FixtureFile(PV_EXIF_FIXTURES, file + ".exif")));
        std::ifstream in(ToFsPath(FixtureFile(PV_EXIF_FIXTURES, file + ".lens")));
        double want[4] = {0, 0, 0, 0};
        in >> want[0] >> want[1] >> want[2] >> want[3];
        ASSERT_GT(want[0], 0);
        const char* names[4] = {"Minimal Focal Length", "Maximum Focal Length", "Max Aperture at Minimal Focal",
                                "Max Aperture at Maximum Focal"};
        for (int i = 0; i < 4; ++i) {
            const double got = NumberIn(Text(items, 0x98, names[i]));
            EXPECT_NEAR(got, want[i], want[i] * 0.02) << names[i];
        }
    }
    const std::vector<Item> items = PropertiesOf(ReadBytes(FixtureFile(PV_EXIF_FIXTURES, "nikon3.exif")));
    EXPECT_EQ(Text(items, 0x98, "LensID"), "50 50 126 1.8 1.8 ");
}

// A Nikon type-3 note (no "Nikon" header) in a little-endian block:
// IFD0 (make, model, Exif pointer), the Exif IFD, the note at TIFF offset 200.
std::vector<uint8_t> NikonBlock(const std::vector<Entry>& entries, const std::vector<uint8_t>& lens) {
    ExifBlock b(600, false);
    b.Ifd(8, {{271, 2, 6, 80}, {272, 2, 11, 88}, {34665, kLong, 1, 120}}, 0);
    b.PutText(80, "NIKON");
    b.PutText(88, "NIKON D200");
    b.Ifd(120, {{37500, 7, 200, 200}}, 0);
    b.Ifd(200, entries, 0);
    b.PutBytes(400, lens.data(), lens.size());
    return b.Bytes();
}

TEST(MakerNotes, NikonLensRecordsOfEachVersion) {
    std::vector<uint8_t> lens(20, 0);
    std::memcpy(lens.data(), "0100", 4);
    const uint8_t fields[7] = {7, 72, 24, 80, 12, 24, 3};
    std::memcpy(lens.data() + 6, fields, 7);
    std::vector<Item> items = PropertiesOf(NikonBlock({{0x98, 7, 20, 400}}, lens));
    EXPECT_EQ(Text(items, 0x98, "LensID"), "10 50 7 1.4 2.0 ");
    EXPECT_EQ(Text(items, 0x98, "Lens FStops"), "6.00");
    EXPECT_EQ(Text(items, 0x98, "MCU Version"), "3");

    // Version 0201 without a shutter count is read as it stands, from byte 11.
    std::vector<uint8_t> enciphered(20, 0);
    std::memcpy(enciphered.data(), "0201", 4);
    std::memcpy(enciphered.data() + 11, fields, 7);
    items = PropertiesOf(NikonBlock({{0x98, 7, 20, 400}}, enciphered));
    EXPECT_EQ(Text(items, 0x98, "Lens ID Number"), "7");

    // A record too short for its fields keeps no lens text and adds nothing;
    // so do versions without those fields (the Nikon 1 layouts) and unknown
    // ones.
    for (const char* version : {"0101", "0400", "0900"}) {
        SCOPED_TRACE(version);
        std::vector<uint8_t> record(std::strcmp(version, "0101") == 0 ? 12 : 20, 0);
        std::memcpy(record.data(), version, 4);
        items = PropertiesOf(NikonBlock({{0x98, 7, uint32_t(record.size()), 400}}, record));
        EXPECT_EQ(Text(items, 0x98, "Lens ID Number"), "-");
        EXPECT_EQ(MakerCount(items), 0u);
    }
}

TEST(MakerNotes, FixedOffsetReadsStayInTheirRecord) {
    // A picture-control record one byte short of its last field adds nothing.
    std::vector<uint8_t> control(57, 128);
    std::vector<Item> items = PropertiesOf(NikonBlock({{0x23, 7, 57, 400}}, control));
    EXPECT_EQ(MakerCount(items), 0u);
    control.push_back(128);
    items = PropertiesOf(NikonBlock({{0x23, 7, 58, 400}}, control));
    EXPECT_EQ(Text(items, 7, "Sharpness"), "Normal");
    EXPECT_EQ(Text(items, 11, "HueAdjustment"), "None");

    // A Canon lens record shorter than the model's lens type (bytes 151 and
    // 152 for the EOS 5D): no lens type. A lens type of 0 in the settings
    // is taken from the record only for models whose record is known to
    // hold it.
    const auto canon = [](const char* model, uint16_t lensType, uint32_t recordSize) {
        ExifBlock b(800, false);
        b.Ifd(8, {{271, 2, 6, 60}, {272, 2, uint32_t(std::strlen(model) + 1), 68}, {34665, kLong, 1, 90}}, 0);
        b.PutText(60, "Canon");
        b.PutText(68, model);
        b.Ifd(90, {{37500, 7, 100, 120}}, 0);
        b.Ifd(120, {{1, kShort, 26, 200}, {13, 7, recordSize, 300}}, 0);
        b.Put16(200, 52);
        b.Put16(200 + 2 * 22, lensType);
        b.Put16(200 + 2 * 23, 105);
        b.Put16(200 + 2 * 24, 24);
        const uint8_t oldBodyLensType[2] = {0x10, 0x3A};  // at 12, big-endian: 4154
        b.PutBytes(300 + 12, oldBodyLensType, 2);
        return PropertiesOf(b.Bytes());
    };
    EXPECT_EQ(Text(canon("Canon EOS 5D", 0xFFFF, 140), 13, "LensID"), "24 105");
    EXPECT_EQ(Text(canon("Canon PowerShot G9", 0, 140), 13, "LensID"), "24 105");
    EXPECT_EQ(Text(canon("Canon PowerShot G9", 0xFFFF, 140), 13, "LensID"), "24 105 4154");
}

TEST(MakerNotes, PrefixesNeedTheirLength) {
    // Notes cut inside their prefix or header give no maker properties and
    // never read past the note's data.
    struct Case {
        const char* make;
        std::vector<uint8_t> note;
    } cases[] = {
        {"NIKON", {'N', 'i', 'k', 'o', 'n', 0, 2}},
        {"NIKON", {'N', 'i', 'k', 'o', 'n', 0, 2, 0, 0, 0, 'M', 'M', 0, 42, 0xFF, 0xFF, 0xFF, 0xF0}},
        {"NIKON", {'N', 'i', 'k', 'o', 'n', 0, 3, 0, 1, 0, 0, 0}},
        {"FUJIFILM", {'F', 'U', 'J', 'I', 'F', 'I', 'L', 'M', 0xFF, 0xFF}},
        {"OLYMPUS", {'O', 'L', 'Y', 'M', 'P'}},
        {"PENTAX", {'A', 'O', 'C', 0, 'X', 'X', 1, 0, 0, 0}},
        {"Panasonic", {'P', 'a', 'n', 'a', 's', 'o', 'n', 'i', 'c'}},
        {"Canon", {1, 0, 1, 0, 3, 0}},
        {"Minolta", {'+', 'M', 1, 0}},
        {"SANYO", {'S', 'A', 'N', 'Y', 'O'}},
    };
    for (const Case& c : cases) {
        // The note is the block's last bytes, so any overread leaves the block.
        ExifBlock b(120 + c.note.size(), false);
        b.Ifd(8, {{271, 2, uint32_t(std::strlen(c.make) + 1), 60}, {34665, kLong, 1, 90}}, 0);
        b.PutText(60, c.make);
        b.Ifd(90, {{37500, 7, uint32_t(c.note.size()), 120}}, 0);
        b.PutBytes(120, c.note.data(), c.note.size());
        EXPECT_EQ(MakerCount(PropertiesOf(b.Bytes())), 0u) << c.make;
    }
}

// A Pentax note ("AOC\0" and a byte order, its IFD at M + 6) is read in
// its marked order, unless that gives a count of entries the note cannot
// hold and the other order one it can: notes rewritten by other programs
// keep the mark of the camera's order. exiftool reads the mismatched notes
// below (put in a JPEG's EXIF) as Quality "Best", Focus Mode "Macro".
TEST(MakerNotes, PentaxNoteInTheOtherOrderThanItsMark) {
    struct Case {
        bool blockBig, markBig, ifdBig;
    } cases[] = {
        {false, true, false}, {true, true, false}, {false, false, true},
        {true, true, true},   {false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.blockBig) + std::to_string(c.markBig) + std::to_string(c.ifdBig));
        ExifBlock b(200, c.blockBig);
        b.Ifd(8, {{271, 2, 7, 60}, {34665, kLong, 1, 70}}, 0);
        b.PutText(60, "PENTAX");
        b.Ifd(70, {{37500, 7, 6 + 2 + 2 * 12 + 4, 100}}, 0);
        b.PutText(100, c.markBig ? std::string("AOC\0MM", 6) : std::string("AOC\0II", 6));
        ExifBlock note(40, c.ifdBig, 0);  // the note's IFD, in its own order, at 8
        note.Ifd(8, {{0x0008, kShort, 1, 2}, {0x000D, kShort, 1, 1}}, 0);
        b.PutBytes(106, note.Tiff().data() + 8, 2 + 2 * 12 + 4);
        const std::vector<Item> items = PropertiesOf(b.Bytes());
        EXPECT_EQ(Text(items, 0x0008, "Quality"), "Best");
        EXPECT_EQ(Text(items, 0x000D, "Focus Mode"), "Macro");
    }
}

TEST(MakerNotes, CanonArraysAreBoundedByTheirEntry) {
    // Camera settings claiming 1000 bytes in an entry of 46 elements: one
    // item per element that has a row, and nothing beyond the entry.
    ExifBlock b(400, false);
    b.Ifd(8, {{271, 2, 6, 60}, {34665, kLong, 1, 70}}, 0);
    b.PutText(60, "Canon");
    b.Ifd(70, {{37500, 7, 20, 100}}, 0);
    b.Ifd(100, {{1, kShort, 46, 200}}, 0);
    b.Put16(200, 1000);
    b.Put16(202, 2);           // macro: 2
    b.Put16(200 + 2 * 16, 0x4000 | 100);
    const std::vector<Item> items = PropertiesOf(b.Bytes());
    EXPECT_EQ(MakerCount(items), 22u);  // every row's element lies within the 46
    EXPECT_EQ(Text(items, 1, "Macro"), "Normal");
    EXPECT_EQ(Text(items, 16, "ISO value"), "100");
    EXPECT_EQ(Text(items, 22, "Lens Type"), "0");
}

TEST(MakerNotes, CameraRawTagLists) {
    TagList* tags = NewTagList(1);
    ASSERT_NE(tags, nullptr);
    TagRecord* r = AppendTagRecord(tags);
    *r = TagRecord{0x0087, 1, -1, 1, 9, 0, nullptr};
    r = AppendTagRecord(tags);
    static const char kQuality[] = "FINE ";
    *r = TagRecord{0x0004, 2, -1, 6, 0, 6, static_cast<uint8_t*>(std::malloc(6))};
    std::memcpy(r->data, kQuality, 6);
    r = AppendTagRecord(tags);
    *r = TagRecord{0x0002, 3, -1, 1, 400, 0, nullptr};

    ExifBlock exif(100, true);
    exif.Ifd(8, {{271, 2, 6, 60}}, 0);
    exif.PutText(60, "NIKON");
    const std::vector<uint8_t> block = exif.Bytes();
    MetadataBlock* list = nullptr;
    AddMetadataBlockToList(&list, kMetadataExif, block.data(), uint32_t(block.size()));
    auto* node = static_cast<MetadataBlock*>(std::calloc(1, sizeof(MetadataBlock)));
    node->kind = kMetadataTagLists;
    node->make = static_cast<char*>(std::malloc(6));
    std::memcpy(node->make, "NIKON", 6);
    node->makerNotes = tags;
    node->next = list;
    list = node;
    const std::vector<Item> items = PropertiesOf(list);
    EXPECT_EQ(Text(items, 0x87, "Flash mode"), "Fired, TTL Mode");
    EXPECT_EQ(Text(items, 0x04, "Image Quality"), "FINE ");
    EXPECT_EQ(Text(items, 0x02, "ISO"), "400 ");
}

TEST(MakerNotes, FormatterTexts) {
    struct Minolta {
        uint32_t index;
        int64_t value;
        const char* text;
    } minolta[] = {
        {8, 48, "100"},          {9, 112, "1/256"},        {9, 40, "2.0"},       {10, 48, "5.7"},
        {13, 9, "1"},            {18, 512, "2.0000"},      {19, 999, "inf"},     {19, 2500, "2 m"},
        {21, 0x07EA0C0A, "2026:12:10"}, {22, 0x050009, " 5:00:09"}, {31, 5, "2"}, {35, 9, "1.0"},
        {44, 56, "1.0000"},
    };
    char text[kTextSize];
    for (const Minolta& m : minolta) {
        ASSERT_TRUE(FormatMinoltaSettings(m.index, m.value, text)) << m.index;
        EXPECT_STREQ(text, m.text) << m.index;
    }
    EXPECT_FALSE(FormatMinoltaSettings(1, 1, text));
    EXPECT_TRUE(FormatCanonSettings(16, 0x4000 | 250, text));
    EXPECT_STREQ(text, "250");
    EXPECT_FALSE(FormatCanonSettings(16, 17, text));
    EXPECT_FALSE(FormatCanonSettings(15, 0x4000 | 250, text));

    struct Pentax {
        uint16_t tag;
        std::vector<uint8_t> value;
        const char* text;
    } pentax[] = {
        {2, {0x02, 0x80, 0x01, 0xE0}, "640x480"},
        {39, {0xFE, 0xFE, 0xFD, 0xFC}, "1.01.02.03"},
        {45, {0x18, 0x00}, "6.0"},
        {50, {0x02, 0, 0, 0}, "Cropped"},
        {50, {0x09, 0, 0, 0}, ""},
        {52, {9, 1, 2, 1}, "Self-timer (12 s);Remote Control;Multiple Exposure"},
        {63, {8, 0xFF}, "Sigma 70-200mm F2.8 EX DG Macro HSM II"},
        {63, {0x7F, 0x7F}, ""},
        {105, {1, 0, 0, 0}, "On"},
        {12, {0x01, 0x00, 0, 0}, "Auto, Fired"},
    };
    for (const Pentax& p : pentax) {
        std::snprintf(text, kTextSize, "default");
        FormatPentax(FindTagRow(kPentaxTable, p.tag), p.value.data(), kTiffByte, uint32_t(p.value.size()), true,
                     text, nullptr, kCategoryMakernotes);
        EXPECT_STREQ(text, p.text) << p.tag;
    }
}

}  // namespace
