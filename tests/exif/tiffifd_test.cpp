// The TIFF IFD reader: tables that must fit, entries whose values must fit,
// numbers of every type in both byte orders, and walks that visit each IFD
// once, in order, with a cap.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/readers/tiffifd.h"
#include "tests/support/tiffblock.h"

namespace {

TiffView ViewOf(const std::vector<uint8_t>& tiff) {
    TiffView v;
    uint32_t ifd0;
    EXPECT_TRUE(OpenTiffView(tiff.data(), tiff.size(), &v, &ifd0));
    return v;
}

TEST(TiffIfd, HeaderNeedsByteOrderAnd42) {
    struct Case {
        std::vector<uint8_t> bytes;
        bool ok;
        bool big;
        uint32_t ifd0;
    } cases[] = {
        {{'I', 'I', 42, 0, 8, 0, 0, 0}, true, false, 8},
        {{'M', 'M', 0, 42, 0, 0, 1, 0}, true, true, 256},
        {{'M', 'M', 0, 42, 0xFF, 0xFF, 0xFF, 0xF0}, true, true, 0xFFFFFFF0u},  // unsigned
        {{'I', 'M', 42, 0, 8, 0, 0, 0}, false, false, 0},
        {{'I', 'I', 43, 0, 8, 0, 0, 0}, false, false, 0},
        {{'I', 'I', 42, 0, 8, 0, 0}, false, false, 0},  // 7 bytes
    };
    for (const Case& c : cases) {
        TiffView v;
        uint32_t ifd0 = 99;
        EXPECT_EQ(OpenTiffView(c.bytes.data(), c.bytes.size(), &v, &ifd0), c.ok);
        EXPECT_EQ(ifd0, c.ifd0);
        if (c.ok) {
            EXPECT_EQ(v.bigEndian, c.big);
        }
    }
}

TEST(TiffIfd, TablesMustFitButTheNextLinkMayBeCut) {
    // IFD at 8 with two entries: entries end at 8 + 2 + 24 = 34.
    struct Case {
        size_t size;
        bool ok;
        bool hasNext;
    } cases[] = {{38, true, true}, {36, true, false}, {34, true, false}, {33, false, false}, {9, false, false}};
    for (bool big : {false, true}) {
        ExifBlock b(38, big);
        b.Ifd(8, {{256, kLong, 1, 1}, {257, kLong, 1, 2}}, 77);
        for (const Case& c : cases) {
            std::vector<uint8_t> tiff(b.Tiff().begin(), b.Tiff().begin() + long(c.size));
            TiffView v = ViewOf(tiff);
            IfdTable t;
            EXPECT_EQ(ReadIfdTable(v, 8, &t), c.ok) << c.size;
            EXPECT_EQ(t.hasNext, c.hasNext) << c.size;
            if (c.hasNext) {
                EXPECT_EQ(t.next, 77u);
            }
        }
    }
    // Offsets far past the data never wrap into it.
    ExifBlock b(64, false);
    TiffView v = ViewOf(b.Tiff());
    IfdTable t;
    for (uint64_t at : {uint64_t(0xFFFFFFFFu), uint64_t(0xFFFFFFFEu), uint64_t(63), uint64_t(64)})
        EXPECT_FALSE(ReadIfdTable(v, at, &t)) << at;
}

TEST(TiffIfd, EntriesAreUsableOnlyWhenTheirValueFits) {
    ExifBlock b(200, true);
    b.Ifd(8, {
                 {270, 2, 4, 0x41424300},          // 4 bytes in line
                 {270, 2, 5, 180},                 // 5 bytes at 180
                 {270, 2, 20, 180},                // 180 + 20 = 200: ends at the end
                 {270, 2, 21, 180},                // one byte past
                 {282, kRational, 0x20000000u, 8}, // 2^32 bytes: no wrap
                 {270, 2, 0xFFFFFFFFu, 0xFFFFFFFFu},
                 {270, 0, 1, 0},                   // type 0
                 {270, 13, 1, 0},                  // type 13
                 {270, 2, 0, 0},                   // count 0
                 {282, kRational, 1, 0xFFFFFFFCu}, // offset + 8 wraps in 32 bits
             },
          0);
    TiffView v = ViewOf(b.Tiff());
    IfdTable t;
    ASSERT_TRUE(ReadIfdTable(v, 8, &t));
    ASSERT_EQ(t.count, 10u);
    const bool usable[] = {true, true, true, false, false, false, false, false, false, false};
    for (uint32_t i = 0; i < t.count; ++i) {
        const IfdEntry e = ReadIfdEntry(v, t, i);
        EXPECT_EQ(e.usable, usable[i]) << i;
        EXPECT_EQ(IfdValueBytes(v, e) != nullptr, usable[i]) << i;
    }
    IfdEntry e = ReadIfdEntry(v, t, 0);
    EXPECT_TRUE(e.inLine);
    EXPECT_EQ(e.valueAt, ExifBlock::FieldAt(8, 0));
    e = ReadIfdEntry(v, t, 4);
    EXPECT_EQ(e.size, 0x100000000ull);
    EXPECT_FALSE(ReadIfdEntry(v, t, 10).usable);  // past the count

    // Bounded copies: a value longer than the buffer is cut and ended.
    b.PutText(180, "ABCDEFGHIJKLMNOPQRST");
    v = ViewOf(b.Tiff());
    char text[8];
    EXPECT_EQ(CopyIfdValue(v, ReadIfdEntry(v, t, 2), text, sizeof text), 7u);
    EXPECT_STREQ(text, "ABCDEFG");
    EXPECT_EQ(CopyIfdValue(v, ReadIfdEntry(v, t, 3), text, sizeof text), 0u);
    EXPECT_STREQ(text, "");
}

TEST(TiffIfd, NumbersOfEveryTypeInBothByteOrders) {
    for (bool big : {false, true}) {
        ExifBlock b(200, big);
        b.Ifd(8,
              {
                  {1, 1, 2, 0},          // BYTE 250, 7
                  {2, 6, 1, 0},          // SBYTE -6
                  {3, kShort, 2, 0},     // SHORT 65535, 2
                  {4, 8, 1, 0},          // SSHORT -300
                  {5, kLong, 1, 0xFFFFFFFFu},
                  {6, 9, 1, 0xFFFFFFFEu},  // SLONG -2
                  {7, kRational, 2, 160},  // 3/4, 0xFFFFFFFF/1
                  {8, 10, 2, 176},         // -6/4, 5/0
                  {9, 11, 1, 0},           // FLOAT 1.5
                  {10, 12, 1, 192},        // DOUBLE -2.25
                  {11, 2, 4, 0},           // ASCII
              },
              0);
        const size_t f = ExifBlock::FieldAt(8, 0);
        const uint8_t bytes[] = {250, 7};
        b.PutBytes(f, bytes, 2);
        const uint8_t sbyte = 0xFA;
        b.PutBytes(f + 12, &sbyte, 1);
        b.Put16(f + 24, 65535);
        b.Put16(f + 26, 2);
        b.Put16(f + 36, uint16_t(-300));
        b.PutRational(160, 3, 4);
        b.PutRational(168, 0xFFFFFFFFu, 1);
        b.PutRational(176, uint32_t(-6), 4);
        b.PutRational(184, 5, 0);
        b.Put32(f + 96, 0x3FC00000u);
        b.Put32(192 + (big ? 0 : 4), 0xC0020000u);  // -2.25 as a double
        b.Put32(192 + (big ? 4 : 0), 0);
        TiffView v = ViewOf(b.Tiff());
        IfdTable t;
        ASSERT_TRUE(ReadIfdTable(v, 8, &t));
        struct Want {
            uint32_t entry;
            uint32_t index;
            double value;
        } wants[] = {{0, 0, 250},  {0, 1, 7},           {1, 0, -6},         {2, 0, 65535}, {2, 1, 2},
                     {3, 0, -300}, {4, 0, 4294967295.}, {5, 0, -2},         {6, 0, 0.75},  {6, 1, 4294967295.},
                     {7, 0, -1.5}, {7, 1, 0},           {8, 0, 1.5},        {9, 0, -2.25}, {10, 0, 0},
                     {2, 2, 0}};
        for (const Want& w : wants)
            EXPECT_DOUBLE_EQ(IfdNumber(v, ReadIfdEntry(v, t, w.entry), w.index), w.value)
                << big << " entry " << w.entry << "[" << w.index << "]";
        int64_t n;
        int64_t d;
        ASSERT_TRUE(IfdRational(v, ReadIfdEntry(v, t, 6), 1, &n, &d));
        EXPECT_EQ(n, 4294967295ll);  // RATIONAL is unsigned
        ASSERT_TRUE(IfdRational(v, ReadIfdEntry(v, t, 7), 0, &n, &d));
        EXPECT_EQ(n, -6);
        EXPECT_EQ(d, 4);
        EXPECT_FALSE(IfdRational(v, ReadIfdEntry(v, t, 2), 0, &n, &d));
        EXPECT_EQ(IfdInteger(v, ReadIfdEntry(v, t, 7), 0), -1);
    }
}

struct Visit {
    uint32_t kind;
    uint64_t at;
};

bool Record(void* context, uint32_t kind, const TiffView&, const IfdTable& table) {
    static_cast<std::vector<Visit>*>(context)->push_back({kind, table.at});
    return true;
}

std::vector<Visit> Walk(const ExifBlock& b, uint64_t start, IfdWalkOptions options = IfdWalkOptions()) {
    std::vector<Visit> visits;
    EXPECT_FALSE(WalkTiffIfds(ViewOf(b.Tiff()), start, options, Record, &visits));
    return visits;
}

std::string Show(const std::vector<Visit>& visits) {
    std::string s;
    for (const Visit& v : visits) s += std::to_string(v.kind) + "@" + std::to_string(v.at) + " ";
    return s;
}

TEST(TiffIfd, WalksSubIfdsBeforeTheChainInOrder) {
    ExifBlock b(1000, false);
    b.Ifd(8, {{kTagGpsIfd, kLong, 1, 400}, {kTagInteropIfd, kLong, 1, 300}, {kTagExifIfd, kLong, 1, 100}}, 500);
    b.Ifd(100, {{kTagInteropIfd, kLong, 1, 200}, {33434, kRational, 1, 900}}, 600);  // Exif's link: not followed
    b.Ifd(200, {{1, 2, 4, 0}}, 0);
    b.Ifd(300, {{1, 2, 4, 0}}, 0);
    b.Ifd(400, {{0, 1, 4, 0}}, 0);
    b.Ifd(500, {{kTagExifIfd, kLong, 1, 700}, {513, kLong, 1, 0}}, 550);  // IFD1's sub-IFDs: not walked
    b.Ifd(550, {{513, kLong, 1, 0}}, 0);
    b.Ifd(600, {{1, 2, 4, 0}}, 0);
    b.Ifd(700, {{1, 2, 4, 0}}, 0);
    EXPECT_EQ(Show(Walk(b, 8)), "1@8 2@100 4@200 4@300 16@400 8@500 8@550 ");

    IfdWalkOptions onlyGps;
    onlyGps.kindsWanted = kIfdGps;
    onlyGps.followChain = false;
    EXPECT_EQ(Show(Walk(b, 8, onlyGps)), "1@8 16@400 ");
    // Inside the Exif IFD every kind is wanted.
    IfdWalkOptions onlyExif;
    onlyExif.kindsWanted = kIfdExif;
    EXPECT_EQ(Show(Walk(b, 8, onlyExif)), "1@8 2@100 4@200 8@500 8@550 ");
}

TEST(TiffIfd, LoopsAndLongChainsEnd) {
    // The chain points back to IFD0; the Exif IFD points at IFD0 and itself.
    ExifBlock b(1000, true);
    b.Ifd(8, {{kTagExifIfd, kLong, 1, 100}}, 200);
    b.Ifd(100, {{kTagExifIfd, kLong, 1, 100}, {kTagInteropIfd, kLong, 1, 8}}, 0);
    b.Ifd(200, {{256, kLong, 1, 1}}, 8);
    EXPECT_EQ(Show(Walk(b, 8)), "1@8 2@100 8@200 ");

    // A chain of 200 IFDs, each linking to the next: the walk stops at the cap.
    ExifBlock chain(8 + 200 * 20 + 20, false);
    for (uint32_t i = 0; i < 200; ++i) chain.Ifd(8 + 20 * i, {{256, kLong, 1, i}}, 8 + 20 * (i + 1));
    EXPECT_EQ(Walk(chain, 8).size(), size_t(kMaxIfdsPerWalk));

    // Sub-IFD pointers outside the data, and a chain link past the end.
    ExifBlock out(100, false);
    out.Ifd(8, {{kTagExifIfd, kLong, 1, 100}, {kTagGpsIfd, kLong, 1, 0xFFFFFFF0u}}, 0xFFFFFFFFu);
    EXPECT_EQ(Show(Walk(out, 8)), "1@8 ");
}

// WalkIfd's callback: records tags, writes 1 into the first Orientation it
// meets and stops there.
struct Seen {
    std::vector<uint16_t> tags;
    std::vector<uint32_t> kinds;
};

int Collect(uint32_t kind, uint16_t tag, uint16_t type, uint32_t count, size_t, uint8_t* value, int big,
            void* context) {
    auto* seen = static_cast<Seen*>(context);
    seen->tags.push_back(tag);
    seen->kinds.push_back(kind);
    if (tag == 274 && type == kShort && count == 1) {
        value[big ? 0 : 1] = 0;
        value[big ? 1 : 0] = 1;
        return 0;
    }
    return 1;
}

TEST(TiffIfd, WalkIfdHandsEntriesAndStops) {
    for (bool big : {false, true}) {
        ExifBlock b(1000, big);
        b.Ifd(8, {{271, 2, 4, 0}, {kTagExifIfd, kLong, 1, 100}, {kTagMakerNote, 7, 4, 0}, {272, 2, 60, 990}}, 300);
        b.Ifd(100, {{33434, kRational, 1, 900}, {274, kShort, 1, 6}, {37383, kShort, 1, 2}}, 0);
        b.Ifd(300, {{274, kShort, 1, 8}}, 0);
        std::vector<uint8_t> block = b.Bytes();
        Seen seen;
        int order = -1;
        EXPECT_EQ(WalkExifIfds(block.data(), block.size(), kIfdAllKinds, Collect, &seen, &order), 1);
        EXPECT_EQ(order, big ? 1 : 0);
        // 272 does not fit; the maker note and the pointer are not handed over;
        // IFD1 (the chain) is not walked.
        EXPECT_EQ(seen.tags, (std::vector<uint16_t>{271, 33434, 274}));
        EXPECT_EQ(seen.kinds, (std::vector<uint32_t>{1, 2, 2}));
        const size_t at = ExifBlock::ValueAt(100, 1);
        EXPECT_EQ(block[at + (big ? 1 : 0)], 1);
        EXPECT_EQ(block[at + (big ? 0 : 1)], 0);

        Seen ifd0Only;
        EXPECT_EQ(WalkExifIfds(block.data(), block.size(), kIfdMain, Collect, &ifd0Only, nullptr), 0);
        EXPECT_EQ(ifd0Only.tags, (std::vector<uint16_t>{271}));
    }
    std::vector<uint8_t> bad = {'E', 'x', 'i', 'f', 0, 0, 'M', 'I', 0, 42, 0, 0, 0, 8};
    Seen seen;
    int order = 7;
    EXPECT_EQ(WalkExifIfds(bad.data(), bad.size(), kIfdAllKinds, Collect, &seen, &order), 0);
    EXPECT_EQ(order, 7);
    EXPECT_TRUE(seen.tags.empty());
}

}  // namespace
