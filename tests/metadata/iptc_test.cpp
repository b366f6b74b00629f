// The IPTC record: finding resource 0x0404 by walking the resource list,
// parsing datasets, listing them for display and building IIM bytes back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "iptcfixtures.h"
#include "processing/iptc.h"

namespace {

using namespace iptctest;

// The IIM bytes BuildIim makes, without the count, and the count checked.
Bytes Built(const IptcRecord* record) {
    size_t n = 0;
    uint8_t* bytes = BuildIim(record, &n);
    if (!bytes) return Bytes{0xEE};
    EXPECT_EQ(size_t(bytes[0]) << 8 | bytes[1], n - 2);
    Bytes out(bytes + 2, bytes + n);
    std::free(bytes);
    return out;
}

TEST(IptcRead, ResourceNameIsPaddedAndListKeepsOrder) {
    Bytes iim;
    Dataset(iim, 2, 25, "sea"), Dataset(iim, 2, 25, "sand"), Dataset(iim, 2, 25, "sun");
    MetadataList list;
    list.Add(kMetadataIptc, IptcBlock(iim, "ab"));  // a two-character name is padded to 4 bytes
    Record rec;
    ASSERT_EQ(IptcRead(list.head, rec.get()), 1);
    EXPECT_EQ(rec->present, 1u);
    EXPECT_EQ(rec.List(kIptcKeywords), (std::vector<std::string>{"sea", "sand", "sun"}));
    EXPECT_EQ(Enumerate(list.head), (std::vector<Listed>{{25, "Keywords", "sea,sand,sun"}}));
    Bytes expected;
    Dataset(expected, 2, 25, "sea"), Dataset(expected, 2, 25, "sand"), Dataset(expected, 2, 25, "sun");
    EXPECT_EQ(Built(rec.get()), expected);
}

TEST(IptcRead, DatasetRules) {
    Bytes iim;
    Dataset(iim, 2, 0, std::string("\0\x02", 2));   // record version: binary, kept as it is
    Dataset(iim, 2, 5, "first");
    Dataset(iim, 2, 5, "second");                   // not repeatable: the last one holds
    Dataset(iim, 2, 80, "Ann");
    Dataset(iim, 2, 80, "Bob");                     // repeatable: both kept
    Dataset(iim, 2, 200, "x");                      // no name
    Dataset(iim, 2, 20, "cat");
    Dataset(iim, 2, 118, "phone");
    Dataset(iim, 2, 27, "Bay");
    Dataset(iim, 3, 5, "other record");             // skipped
    MetadataList list;
    list.Add(kMetadataIptc, IptcBlock(iim));
    Record rec;
    ASSERT_EQ(IptcRead(list.head, rec.get()), 1);
    EXPECT_EQ(rec.Slot(0), std::string("\0\x02", 2));
    EXPECT_EQ(rec.Slot(5), "second");
    EXPECT_EQ(rec.Slot(80), "Ann");
    ASSERT_EQ(rec->repeatCount, 1u);
    EXPECT_EQ(rec->repeats[0].dataset, 80);
    EXPECT_EQ(std::string(rec->repeats[0].value.text), "Bob");
    EXPECT_EQ(rec.List(kIptcSupplementalCategories), std::vector<std::string>{"cat"});
    EXPECT_EQ(rec.List(kIptcContacts), std::vector<std::string>{"phone"});
    EXPECT_EQ(rec.List(kIptcContentLocations), std::vector<std::string>{"Bay"});

    EXPECT_EQ(Enumerate(list.head), (std::vector<Listed>{{0, "????", ""},
                                                         {5, "Object Name", "second"},
                                                         {20, "Supplemental Categories", "cat"},
                                                         {27, "Location", "Bay"},
                                                         {80, "Byline", "Ann,Bob"},
                                                         {118, "Contacts", "phone"},
                                                         {200, "????", "x"}}));
    // Written back in ascending order, every value kept, the version unchanged.
    Bytes expected;
    Dataset(expected, 2, 0, std::string("\0\x02", 2)), Dataset(expected, 2, 5, "second");
    Dataset(expected, 2, 20, "cat"), Dataset(expected, 2, 27, "Bay");
    Dataset(expected, 2, 80, "Ann"), Dataset(expected, 2, 80, "Bob");
    Dataset(expected, 2, 118, "phone"), Dataset(expected, 2, 200, "x");
    EXPECT_EQ(Built(rec.get()), expected);
}

TEST(IptcRead, Utf8RecordStaysUtf8AndListsInTheCodePage) {
    Bytes iim;
    Dataset(iim, 1, 90, "\x1B%G");
    Dataset(iim, 2, 120, "Caf\xC3\xA9");
    Dataset(iim, 2, 25, "cr\xC3\xA8me");
    MetadataList list;
    list.Add(kMetadataIptc, IptcBlock(iim));
    Record rec;
    ASSERT_EQ(IptcRead(list.head, rec.get()), 1);
    EXPECT_EQ(rec->utf8, 1u);
    EXPECT_EQ(rec.Slot(120), "Caf\xC3\xA9");
    EXPECT_EQ(Enumerate(list.head),
              (std::vector<Listed>{{25, "Keywords", "cr\xE8me"}, {120, "Caption", "Caf\xE9"}}));
    // Written back as UTF-8, marked so.
    Bytes expected;
    Dataset(expected, 1, 90, "\x1B%G"), Dataset(expected, 2, 25, "cr\xC3\xA8me"),
        Dataset(expected, 2, 120, "Caf\xC3\xA9");
    EXPECT_EQ(Built(rec.get()), expected);
}

TEST(IptcRead, TakingDatasetsKeepsEverythingElseOfTheRecord) {
    // A file's record: the version, a contact, a content location, two
    // by-lines, keywords, a caption and a headline, UTF-8 marked.
    Bytes iim;
    Dataset(iim, 1, 90, "\x1B%G");
    Dataset(iim, 2, 0, std::string("\0\4", 2)), Dataset(iim, 2, 25, "old"), Dataset(iim, 2, 27, "harbour"),
        Dataset(iim, 2, 80, "Ann"), Dataset(iim, 2, 80, "Bob"), Dataset(iim, 2, 105, "head"),
        Dataset(iim, 2, 118, "desk"), Dataset(iim, 2, 120, "old caption");
    MetadataList list;
    list.Add(kMetadataIptc, IptcBlock(iim));
    Record file;
    ASSERT_EQ(IptcRead(list.head, file.get()), 1);
    // What an editor showing caption, headline, by-line and the keywords
    // and supplemental categories wrote: a new caption, the headline
    // emptied, new keywords, no supplemental categories.
    Record pages;
    ASSERT_EQ(IptcSetText(pages.get(), 120, "new caption", 11), 1);
    ASSERT_EQ(IptcAddListItem(pages.get(), kIptcKeywords, "sea"), 1);
    ASSERT_EQ(IptcSetText(pages.get(), 80, "Ann", 3), 1);
    ASSERT_EQ(IptcSetText(pages.get(), 5, "not shown", 9), 1);
    const uint8_t shown[] = {80, 105, 120};
    IptcTakeDatasets(file.get(), pages.get(), shown, 3, 1u << kIptcKeywords | 1u << kIptcSupplementalCategories);
    Bytes expected;
    Dataset(expected, 1, 90, "\x1B%G");
    Dataset(expected, 2, 0, std::string("\0\4", 2)), Dataset(expected, 2, 25, "sea"),
        Dataset(expected, 2, 27, "harbour"), Dataset(expected, 2, 80, "Ann"), Dataset(expected, 2, 80, "Bob"),
        Dataset(expected, 2, 118, "desk"), Dataset(expected, 2, 120, "new caption");
    EXPECT_EQ(Built(file.get()), expected);
    // What was not taken stays with the pages' record; what was is gone there.
    EXPECT_EQ(pages.Slot(5), "not shown");
    EXPECT_EQ(pages.Slot(120), "<none>");
    EXPECT_EQ(pages->lists[kIptcKeywords].count, 0u);

    // Into an empty record (a file without IPTC) it becomes present.
    Record empty, more;
    ASSERT_EQ(IptcSetText(more.get(), 120, "c", 1), 1);
    IptcTakeDatasets(empty.get(), more.get(), shown, 3, 0);
    EXPECT_EQ(empty->present, 1u);
    EXPECT_EQ(empty.Slot(120), "c");
}

TEST(IptcRead, SerialisesAscending) {
    Record rec;
    ASSERT_EQ(IptcSetText(rec.get(), 120, "cap", 3), 1);
    ASSERT_EQ(IptcSetText(rec.get(), 5, "name", 4), 1);
    Bytes expected;
    Dataset(expected, 2, 5, "name"), Dataset(expected, 2, 120, "cap");
    EXPECT_EQ(Built(rec.get()), expected);
}

TEST(IptcRead, ResourceListIsWalkedNotScanned) {
    Bytes iim;
    Dataset(iim, 2, 5, "real");
    // A resource before the IPTC one whose data holds the IPTC signature.
    Bytes decoy = {'8', 'B', 'I', 'M', 0x04, 0x04, 0, 0, 0, 0, 0, 8, 0x1C, 2, 5, 0, 3, 'f', 'a', 'k'};
    Bytes block = PhotoshopHeader();
    Resource(block, 0x03ED, "", decoy);
    Resource(block, 0x0404, "name", iim);
    MetadataList list;
    list.Add(kMetadataIptc, block);
    Record rec;
    ASSERT_EQ(IptcRead(list.head, rec.get()), 1);
    EXPECT_EQ(rec.Slot(5), "real");
}

TEST(IptcRead, FullResourceSizeAndStrayBytes) {
    // More than 65,535 bytes of IIM: the 32-bit size is read whole.
    Bytes iim;
    Dataset(iim, 2, 40, std::string(30000, 'a'));
    Dataset(iim, 2, 120, std::string(30000, 'b'));
    Dataset(iim, 2, 105, std::string(30000, 'c'));
    iim.insert(iim.end(), {0, 0, 0});  // padding between datasets is stepped over
    Dataset(iim, 2, 5, "last");
    MetadataList list;
    list.Add(kMetadataIptc, IptcBlock(iim));
    Record rec;
    ASSERT_EQ(IptcRead(list.head, rec.get()), 1);
    EXPECT_EQ(rec->slots[40].length, 30000u);
    EXPECT_EQ(rec->slots[105].length, 30000u);
    EXPECT_EQ(rec->slots[120].length, 30000u);
    EXPECT_EQ(rec.Slot(5), "last");
    // ... and such a record is refused by the builder (16-bit count).
    size_t n = 0;
    EXPECT_EQ(BuildIim(rec.get(), &n), nullptr);
    EXPECT_EQ(IimDatasetBytes(rec.get()), SIZE_MAX);
}

TEST(IptcRead, DamagedInput) {
    struct Case {
        const char* name;
        Bytes block;
        int result;
        std::string slot5;
    };
    Bytes good;
    Dataset(good, 2, 5, "ok");
    Bytes cut = good;
    Dataset(cut, 2, 120, "cut short");
    cut.resize(cut.size() - 3);
    Bytes extended = good;
    extended.insert(extended.end(), {0x1C, 2, 120, 0x80, 0x04, 0, 0, 0, 1, 'x'});
    Bytes noTag(300, 0);
    Dataset(noTag, 2, 5, "too far");
    Bytes badSize = PhotoshopHeader();
    Resource(badSize, 0x0404, "", good);
    badSize[kPhotoshopHeaderBytes + 8] = 0x7F;  // size far beyond the block: the bytes there are read
    Bytes wrongSignature = IptcBlock(good);
    wrongSignature[kPhotoshopHeaderBytes] = 'X';
    const std::vector<Case> cases = {
        {"dataset passes the end", IptcBlock(cut), 1, "ok"},
        {"extended length stops the parse", IptcBlock(extended), 1, "ok"},
        {"no dataset in the first 256 bytes", IptcBlock(noTag), 1, "<none>"},
        {"resource size beyond the block", badSize, 1, "ok"},
        {"resource that is not 8BIM", wrongSignature, 0, "<none>"},
        {"header only", PhotoshopHeader(), 0, "<none>"},
        {"no header", good, 0, "<none>"},
        {"six bytes", Bytes{'P', 'h', 'o', 't', 'o', 's'}, 0, "<none>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MetadataList list;
        list.Add(kMetadataIptc, c.block);
        Record rec;
        EXPECT_EQ(IptcRead(list.head, rec.get()), c.result);
        EXPECT_EQ(rec.Slot(5), c.slot5);
    }
}

TEST(IptcRead, FirstNodeIsReadLastIsListed) {
    Bytes a, b;
    Dataset(a, 2, 5, "first");
    Dataset(b, 2, 5, "second");
    MetadataList list;
    list.Add(kMetadataIptc, IptcBlock(b));
    list.Add(kMetadataIptc, IptcBlock(a));
    list.Add(kMetadataIptc, PhotoshopHeader());  // no IPTC resource: passed over
    list.Add(kMetadataExif, Bytes{'E', 'x', 'i', 'f', 0, 0});
    Record rec;
    ASSERT_EQ(IptcRead(list.head, rec.get()), 1);
    EXPECT_EQ(rec.Slot(5), "first");
    EXPECT_EQ(Enumerate(list.head), (std::vector<Listed>{{5, "Object Name", "second"}}));

    Record none;
    none->present = none->utf8 = 1;  // zeroed even when nothing is found
    EXPECT_EQ(IptcRead(nullptr, none.get()), 0);
    EXPECT_EQ(none->present, 0u);
    EXPECT_EQ(none->utf8, 0u);
    EXPECT_TRUE(Enumerate(nullptr).empty());
}

TEST(IptcRead, NamesTable) {
    const std::vector<std::pair<int, std::string>> names = {
        {80, "Byline"}, {116, "CopyrightNotice"}, {103, "Original Transmission Reference"},
        {26, "Content location code"}, {50, "Reference Number"}, {0, "????"}, {255, "????"}};
    for (const auto& [d, name] : names) EXPECT_EQ(IptcDatasetName(d), name) << d;
}

TEST(IptcRead, OversizedValueRefused) {
    Record rec;
    // A length with the high bit set would mean an extended dataset.
    const std::string big(32768, 'x');
    ASSERT_EQ(IptcSetText(rec.get(), 120, big.data(), big.size()), 1);
    size_t n = 0;
    EXPECT_EQ(BuildIim(rec.get(), &n), nullptr);
    ASSERT_EQ(IptcSetText(rec.get(), 120, big.data(), 32767), 1);
    EXPECT_EQ(Built(rec.get()).size(), 32772u);
}

}  // namespace
