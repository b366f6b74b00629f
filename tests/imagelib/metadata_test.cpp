#include "imagelib/metadata.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imagelib/loadcontext.h"
#include "tests/support/testfiles.h"

namespace {

// A zeroed context with the given load flags, freed like a load frees it.
struct Context {
    explicit Context(uint32_t flags) {
        std::memset(&ctx, 0, sizeof ctx);
        InitLoadOptions(&ctx.options);
        ctx.options.flags = flags;
    }
    ~Context() {
        FreeMetadataList(&ctx.metadata);
        FreeTagList(ctx.exifTags);
        FreeTagList(ctx.makerNoteTags);
        std::free(ctx.make);
        std::free(ctx.model);
        std::free(ctx.comment);
        for (int i = 0; i < ctx.textCount; ++i) std::free(ctx.texts[i]);
    }
    LoadContext ctx;
};

std::string Data(const MetadataBlock* b) { return std::string(reinterpret_cast<char*>(b->data), b->length); }

TEST(MetadataBlocks, NewestFirstAndGatedByFlag) {
    Context off(0);
    AddMetadataBlock(&off.ctx, kMetadataExif, "Exif\0\0abc", 9);
    AddMetadataBlock(&off.ctx, kMetadataIcc, "icc", 3);
    EXPECT_EQ(nullptr, off.ctx.metadata);

    Context on(kLoadKeepMetadata);
    AddMetadataBlock(&on.ctx, kMetadataExif, "Exif\0\0abc", 9);
    AddMetadataBlock(&on.ctx, kMetadataIptc, "Photoshop 3.0\0", 14);
    ASSERT_NE(nullptr, on.ctx.metadata);
    EXPECT_EQ(kMetadataIptc, on.ctx.metadata->kind);
    EXPECT_EQ(14u, on.ctx.metadata->length);
    ASSERT_NE(nullptr, on.ctx.metadata->next);
    EXPECT_EQ(kMetadataExif, on.ctx.metadata->next->kind);
    EXPECT_EQ(std::string("Exif\0\0abc", 9), Data(on.ctx.metadata->next));
}

TEST(MetadataBlocks, IccChunksJoinInOrder) {
    Context c(kLoadKeepMetadata);
    std::vector<uint8_t> first(100, 'A');
    std::vector<uint8_t> second(60, 'B');
    AddMetadataBlock(&c.ctx, kMetadataIcc, first.data(), 100);
    AddMetadataBlock(&c.ctx, kMetadataExif, "Exif\0\0", 6);  // another kind in between
    AddMetadataBlock(&c.ctx, kMetadataIcc, second.data(), 60);
    const MetadataBlock* icc = FindMetadataBlock(c.ctx.metadata, kMetadataIcc);
    ASSERT_NE(nullptr, icc);
    EXPECT_EQ(160u, icc->length);
    EXPECT_EQ(std::string(100, 'A') + std::string(60, 'B'), Data(icc));
    int iccBlocks = 0;
    for (const MetadataBlock* b = c.ctx.metadata; b; b = b->next) iccBlocks += b->kind == kMetadataIcc;
    EXPECT_EQ(1, iccBlocks);
}

TEST(MetadataBlocks, XmpNamespacePrefixIsDropped) {
    Context c(kLoadKeepMetadata);
    const char ns[] = "http://ns.adobe.com/xap/1.0/";
    std::string block = std::string(ns, sizeof ns) + "<x:xmpmeta/>";  // includes the zero
    AddMetadataBlock(&c.ctx, kMetadataXmp, block.data(), static_cast<uint32_t>(block.size()));
    ASSERT_NE(nullptr, c.ctx.metadata);
    EXPECT_EQ("<x:xmpmeta/>", Data(c.ctx.metadata));

    // A prefix without its terminating zero is kept whole: never read past it.
    Context d(kLoadKeepMetadata);
    const std::string unterminated = "http://no-zero-here";
    AddMetadataBlock(&d.ctx, kMetadataXmp, unterminated.data(), static_cast<uint32_t>(unterminated.size()));
    ASSERT_NE(nullptr, d.ctx.metadata);
    EXPECT_EQ(unterminated, Data(d.ctx.metadata));

    // Nothing but the prefix: no empty node is linked.
    Context e(kLoadKeepMetadata);
    AddMetadataBlock(&e.ctx, kMetadataXmp, ns, sizeof ns);
    EXPECT_EQ(nullptr, e.ctx.metadata);
}

TEST(TagLists, GrowBySixteenAndKeepRecordsZeroed) {
    TagList* list = NewTagList(0);
    ASSERT_NE(nullptr, list);
    for (int i = 0; i < 15; ++i) {
        TagRecord* r = AppendTagRecord(list);
        ASSERT_NE(nullptr, r);
        r->tag = static_cast<uint16_t>(i);
    }
    EXPECT_EQ(16u, list->capacity);
    TagRecord* sixteenth = AppendTagRecord(list);
    ASSERT_NE(nullptr, sixteenth);
    EXPECT_EQ(32u, list->capacity);
    EXPECT_EQ(0, sixteenth->tag);
    EXPECT_EQ(0u, sixteenth->dataLength);
    EXPECT_EQ(14, list->records[14].tag);
    sixteenth->data = static_cast<uint8_t*>(std::malloc(8));
    sixteenth->dataLength = 8;
    FreeTagList(list);
    EXPECT_EQ(nullptr, AppendTagRecord(nullptr));
    FreeTagList(nullptr);
}

TEST(TagLists, ExifAndMakerNoteListsStartOnce) {
    Context c(kLoadKeepMetadata);
    EXPECT_EQ(nullptr, AppendExifTag(&c.ctx));
    StartExifTagList(&c.ctx, 1);
    TagList* first = c.ctx.exifTags;
    StartExifTagList(&c.ctx, 0);
    EXPECT_EQ(first, c.ctx.exifTags);
    EXPECT_EQ(1u, c.ctx.exifTags->bigEndian);
    EXPECT_NE(nullptr, AppendExifTag(&c.ctx));

    StartMakerNoteTagList(&c.ctx, "Maker", "Model", 0);
    StartMakerNoteTagList(&c.ctx, "Other", "Other", 1);
    EXPECT_STREQ("Maker", c.ctx.make);
    EXPECT_STREQ("Model", c.ctx.model);
    TagRecord* r = AppendMakerNoteTag(&c.ctx);
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(-1, r->directory);
}

TEST(Comment, ReplacedOnlyByPrintableTextWhenWanted) {
    Context off(0);
    SetPictureComment(&off.ctx, "ignored", 7);
    EXPECT_EQ(nullptr, off.ctx.comment);

    Context c(kLoadKeepComment);
    SetPictureComment(&c.ctx, "first comment", 5);
    EXPECT_STREQ("first", c.ctx.comment);
    SetPictureComment(&c.ctx, "\nstarts with a line feed", 24);
    EXPECT_STREQ("first", c.ctx.comment);
    SetPictureComment(&c.ctx, "second", 6);
    EXPECT_STREQ("second", c.ctx.comment);
    SetPictureComment(&c.ctx, "ab\0cd", 5);  // early terminator: no over-read
    EXPECT_STREQ("ab", c.ctx.comment);
}

// Texts come from file bytes that hold no terminator: each is bounded by
// its length alone, and a length of 0 is no text (heap blocks of exactly the
// text's size, so the sanitizer sees any byte read past them).
TEST(Comment, FileBytesAreBoundedByTheirLengthNotATerminator) {
    Context c(kLoadKeepComment | kLoadKeepTexts);
    auto exact = [&](size_t n) { return std::make_unique<char[]>(n ? n : 1); };
    auto three = exact(3);
    std::memcpy(three.get(), "abc", 3);
    SetPictureComment(&c.ctx, three.get(), 3);
    EXPECT_STREQ("abc", c.ctx.comment);
    SetPictureComment(&c.ctx, three.get(), 2);
    EXPECT_STREQ("ab", c.ctx.comment);
    auto none = exact(0);
    none[0] = 'z';
    SetPictureComment(&c.ctx, none.get(), 0);
    EXPECT_STREQ("ab", c.ctx.comment);
    AddPictureText(&c.ctx, "Key", three.get(), 3);
    AddPictureText(&c.ctx, "Empty", none.get(), 0);
    ASSERT_EQ(1, c.ctx.textCount);
    EXPECT_STREQ("Key: abc", c.ctx.texts[0]);
}

TEST(Texts, KeyValueJoinLimitAndFilters) {
    Context c(kLoadKeepTexts);
    AddPictureText(&c.ctx, "Author", "Somebody", 8);
    AddPictureText(&c.ctx, nullptr, "no key", 6);
    AddPictureText(&c.ctx, "Title", "Long title", 4);
    AddPictureText(&c.ctx, "Bad", "\x01starts with a control", 22);
    AddPictureText(&c.ctx, "Bad", "\xE9 not ASCII-printable", 21);
    ASSERT_EQ(3, c.ctx.textCount);
    EXPECT_STREQ("Author: Somebody", c.ctx.texts[0]);
    EXPECT_STREQ(": no key", c.ctx.texts[1]);
    EXPECT_STREQ("Title: Long", c.ctx.texts[2]);
    for (int i = 3; i < 40; ++i) AddPictureText(&c.ctx, "K", "v", 1);
    EXPECT_EQ(kMaxPictureTexts, c.ctx.textCount);  // the 33rd and later are dropped

    Context off(0);
    AddPictureText(&off.ctx, "K", "v", 1);
    EXPECT_EQ(0, off.ctx.textCount);
}

TEST(Texts, ReadFromFile) {
    testing_support::ScratchDir dir;
    const std::wstring path = dir.File("t.bin");
    testing_support::WriteBytes(path, {'C', 'a', 'm', 0, 'h', 'i', '!', 'X'});
    FileSource src;
    InitFileSource(&src, path.c_str());

    Context c(kLoadKeepTexts | kLoadKeepComment);
    PictureFile* f = OpenPictureFile(&src, kOpenReadBinary);
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(0, ReadPictureText(f, &c.ctx, "Model", 4));  // count includes the terminator
    EXPECT_EQ(0, ReadPictureComment(f, &c.ctx, 3));
    EXPECT_EQ('X', ReadFileByte(f));
    EXPECT_EQ(4, ReadPictureComment(f, &c.ctx, 5));  // runs off the end
    EXPECT_EQ(0, ReadPictureText(f, &c.ctx, "K", 0));  // n = 0 writes nothing anywhere
    ClosePictureFile(f);
    ASSERT_EQ(1, c.ctx.textCount);
    EXPECT_STREQ("Model: Cam", c.ctx.texts[0]);
    EXPECT_STREQ("hi!", c.ctx.comment);

    // Not wanted: skipped, the position still moves on.
    Context off(0);
    f = OpenPictureFile(&src, kOpenReadBinary);
    EXPECT_EQ(0, ReadPictureText(f, &off.ctx, "Model", 4));
    EXPECT_EQ(0, ReadPictureComment(f, &off.ctx, 3));
    EXPECT_EQ('X', ReadFileByte(f));
    ClosePictureFile(f);
    EXPECT_EQ(0, off.ctx.textCount);
}

}  // namespace
