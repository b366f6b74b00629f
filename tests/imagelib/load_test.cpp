// Load dispatch: choice of the reader, result codes, what moves into the
// Bitmap and the ImageInfo, information-only loads, files and memory.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fakereader.h"
#include "imagelib/metadata.h"
#include "tests/support/testfiles.h"

namespace {

using fake::g_callOrder;
using fake::g_readers;
using fake::Loaded;
using fake::Picture;
using Bytes = std::vector<uint8_t>;

// A 2 x 1 grey picture with pixels 7, 8.
Picture Small() { return fake::Rows(2, 1, 1, 8, 2, {7, 8}, 2); }

int LoadMemory(const std::string& content, const wchar_t* name, const LoadOptions& o, Loaded* out) {
    out->result = LoadPictureFromMemory(reinterpret_cast<const uint8_t*>(content.data()), content.size(), name,
                                        &out->bitmap, &o, &out->info);
    return out->result;
}

class Dispatch : public fake::Pipeline {};

TEST_F(Dispatch, ChoosesByIndexExtensionAndProbing) {
    for (auto& r : g_readers) r.picture = Small();
    struct Case {
        const char* name;
        std::string content;
        const wchar_t* file;
        int formatIndex;
        uint32_t flags;
        int result;
        int chosen;
        std::vector<int> calls;
    } cases[] = {
        {"extension", "FAKE", L"a.fak", -1, 0, 0, 0, {0}},
        {"second extension of a row", "FAKE", L"a.fk2", -1, 0, 0, 0, {0}},
        {"extension compared lower-cased", "FAKE", L"dir.x/A.FAK", -1, 0, 0, 0, {0}},
        {"extension of another format: probing", "FAKE", L"a.oth", -1, 0, 0, 0, {1, 0}},
        {"probing in table order, never rows without the probe flag", "NOPR", L"a.oth", -1, 0, 2, -1,
         {1, 0, 1, 3}},
        {"only by extension", "FAKE", L"a.oth", -1, kLoadExtensionOnly, 2, -1, {1}},
        {"unknown extension, only by extension", "FAKE", L"a.zzz", -1, kLoadExtensionOnly, 2, -1, {}},
        {"no extension: probing", "OTHR", L"noext", -1, 0, 0, 1, {0, 1}},
        {"a dot in the folder is no extension", "FAKE", L"dir.fak/noext", -1, 0, 0, 0, {0}},
        {"by index", "OTHR", L"a.fak", 1, 0, 0, 1, {1}},
        {"by index, refused: no probing", "FAKE", L"a.fak", 1, 0, 2, -1, {1}},
        {"index past the registry", "FAKE", L"a.fak", 5, 0, 2, -1, {}},
        {"index and extension of another format", "OTHR", L"a.fak", 1, kLoadExtensionOnly, 2, -1, {}},
        {"a row without reader is never run", "NONE", L"a.nr", -1, 0, 2, -1, {0, 1, 3}},
        {"never probed by its own extension", "NOPR", L"a.np", -1, 0, 0, 2, {2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_callOrder.clear();
        LoadOptions o = options;
        o.formatIndex = int16_t(c.formatIndex);
        o.flags = c.flags;
        Loaded out;
        LoadMemory(c.content + "....", c.file, o, &out);
        EXPECT_EQ(c.result, out.result);
        EXPECT_EQ(c.chosen, out.info.formatIndex);
        EXPECT_EQ(c.calls, g_callOrder);
        EXPECT_EQ(c.result == 0, out.bitmap.pixels != nullptr);
    }
}

TEST_F(Dispatch, ResultCodes) {
    struct Case {
        const char* name;
        int early;       // returned before BeginImage
        int late;        // returned after the rows
        uint32_t flags;
        int result;
    } cases[] = {
        {"done", 0, 0, 0, 0},
        {"incomplete", 0, 4, 0, 4},
        {"incomplete, accepted", 0, 4, kLoadAcceptDamaged, 0},
        {"incomplete before the picture: not recognised", 4, 0, 0, 2},
        {"corrupt", 0, 10, 0, 10},
        {"corrupt, accepted", 0, 10, kLoadAcceptDamaged, 0},
        {"corrupt before the picture is not accepted", 10, 0, kLoadAcceptDamaged, 10},
        {"refused with a message", 9, 0, 0, 9},
        {"strip tables", 0, 11, 0, 11},
        {"strip tables are not accepted as damage", 0, 11, kLoadAcceptDamaged, 11},
        {"cancelled", 0, 15, 0, 15},
        {"out of memory", 1, 0, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture p = Small();
        p.earlyResult = c.early;
        p.result = c.late;
        p.beforeBegin = [](LoadContext* ctx) { std::strcpy(ctx->subFormat, "Fake : Bad picture's size !"); };
        LoadOptions o = options;
        o.flags = c.flags;
        Loaded out;
        fake::LoadFake(p, o, &out);
        EXPECT_EQ(c.result, out.result);
        EXPECT_EQ(c.result == 0, out.bitmap.pixels != nullptr);
        if (c.result == 0) {
            EXPECT_EQ(Bytes({7, 8}), out.RowBytes(0, 2));
            EXPECT_EQ(0, out.info.formatIndex);
            // A damaged file keeps the reader's word on it.
            EXPECT_STREQ(c.late == 0 ? "" : "Fake : Bad picture's size !", out.info.subFormat);
        } else if (c.result != 2) {
            EXPECT_STREQ("Fake : Bad picture's size !", out.info.subFormat);
        } else {
            EXPECT_EQ(-1, out.info.formatIndex);
        }
    }
}

// A declaration too large for memory is refused with 1 and nothing kept.
TEST_F(Dispatch, PictureTooLargeForMemory) {
    Picture p;
    p.header.width = 399999;
    p.header.height = 399999;
    p.header.planes = 1;
    p.header.bitsPerPlane = 24;
    p.header.bytesPerPlane = 3 * 399999;
    Loaded out;
    fake::LoadFake(p, options, &out);
    EXPECT_EQ(kLoadNoMemory, out.result);
    EXPECT_EQ(nullptr, out.bitmap.pixels);
}

// Flag 0x400: a reader that stops early keeps the rows read, zero rows
// after them, and everything it gathered.
TEST_F(Dispatch, DamagedButAcceptedKeepsRowsAndMetadata) {
    for (const bool accept : {false, true}) {
        SCOPED_TRACE(accept ? "accepted" : "refused");
        Picture p = fake::Rows(2, 4, 1, 8, 2, {1, 2, 3, 4, 5, 6, 7, 8}, 2);
        p.deliveries.resize(2);
        p.result = kLoadIncomplete;
        p.beforeBegin = [](LoadContext* ctx) {
            const uint8_t exif[] = {'E', 'x', 'i', 'f', 0, 0, 1, 2};
            ctx->callbacks.addMetadataBlock(ctx, kMetadataExif, exif, sizeof exif);
            SetPictureComment(ctx, "a comment", 9);
            AddPictureText(ctx, "Key", "value", 5);
        };
        LoadOptions o = options;
        o.flags = kLoadKeepComment | kLoadKeepTexts | kLoadKeepMetadata | (accept ? uint32_t(kLoadAcceptDamaged) : 0u);
        Loaded out;
        fake::LoadFake(p, o, &out);
        if (!accept) {
            EXPECT_EQ(kLoadIncomplete, out.result);
            EXPECT_EQ(nullptr, out.bitmap.pixels);
            EXPECT_EQ(nullptr, out.bitmap.metadata);
            EXPECT_EQ(nullptr, out.bitmap.comment);
            continue;
        }
        ASSERT_EQ(0, out.result);
        EXPECT_EQ(Bytes({1, 2}), out.RowBytes(0, 2));
        EXPECT_EQ(Bytes({3, 4}), out.RowBytes(1, 2));
        EXPECT_EQ(Bytes({0, 0}), out.RowBytes(2, 2));
        EXPECT_EQ(Bytes({0, 0}), out.RowBytes(3, 2));
        ASSERT_NE(nullptr, FindMetadataBlock(out.bitmap.metadata, kMetadataExif));
        EXPECT_EQ(8u, FindMetadataBlock(out.bitmap.metadata, kMetadataExif)->length);
        ASSERT_NE(nullptr, out.bitmap.comment);
        EXPECT_STREQ("a comment", out.bitmap.comment);
        ASSERT_EQ(1, out.info.textCount);
        EXPECT_STREQ("Key: value", out.info.texts[0]);
    }
}

// Each reader attempt starts from nothing: what a refused attempt declared,
// delivered or gathered does not reach the picture of the next.
TEST_F(Dispatch, AttemptsStartClean) {
    Picture refused = fake::Rows(50, 50, 1, 24, 150, std::vector<uint8_t>(150 * 50, 0xEE), 150);
    refused.result = kLoadNotRecognised;
    refused.endImage = false;
    refused.beforeBegin = [](LoadContext* ctx) {
        const uint8_t xmp[] = "<x/>";
        ctx->callbacks.addMetadataBlock(ctx, kMetadataXmp, xmp, 4);
        SetPictureComment(ctx, "not mine", 8);
        AddPictureText(ctx, "Key", "not mine", 8);
        StartExifTagList(ctx, 0);
        AppendExifTag(ctx);
    };
    g_readers[1].picture = refused;
    g_readers[0].picture = Small();
    LoadOptions o = options;
    o.flags = kLoadKeepComment | kLoadKeepTexts | kLoadKeepMetadata;
    Loaded out;
    LoadMemory("FAKE", L"a.oth", o, &out);
    ASSERT_EQ(0, out.result);
    EXPECT_EQ((std::vector<int>{1, 0}), g_callOrder);
    EXPECT_EQ(0, out.info.formatIndex);
    EXPECT_EQ(2, out.bitmap.width);
    EXPECT_EQ(1, out.bitmap.height);
    EXPECT_EQ(kPixelGrey, out.bitmap.pixelType);
    EXPECT_EQ(Bytes({7, 8}), out.RowBytes(0, 2));
    EXPECT_EQ(nullptr, out.bitmap.metadata);
    EXPECT_EQ(nullptr, out.bitmap.comment);
    EXPECT_EQ(0, out.info.textCount);
}

// A reader that returns without ending its picture still hands over a
// finished bitmap.
TEST_F(Dispatch, PictureNotEndedByTheReader) {
    Picture p = Small();
    p.endImage = false;
    Loaded out;
    fake::LoadFake(p, options, &out);
    ASSERT_EQ(0, out.result);
    EXPECT_EQ(kPixelGrey, out.bitmap.pixelType);
    EXPECT_EQ(Bytes({7, 8}), out.RowBytes(0, 2));
}

TEST_F(Dispatch, MetadataCommentAndTextsMoveToTheResult) {
    for (const bool withInfo : {true, false}) {
        SCOPED_TRACE(withInfo ? "with info" : "without info");
        Picture p = Small();
        p.beforeBegin = [](LoadContext* ctx) {
            const uint8_t iptc[] = "Photoshop 3.0";
            ctx->callbacks.addMetadataBlock(ctx, kMetadataIptc, iptc, sizeof iptc);
            SetPictureComment(ctx, "comment", 7);
            AddPictureText(ctx, "Make", "Maker", 5);
            StartExifTagList(ctx, 1);
            AppendExifTag(ctx)->tag = 271;
            StartMakerNoteTagList(ctx, "Maker", "Model 1", 1);
            AppendMakerNoteTag(ctx)->tag = 1;
        };
        g_readers[0].picture = p;
        LoadOptions o = options;
        o.flags = kLoadKeepComment | kLoadKeepTexts | kLoadKeepMetadata;
        Loaded out;
        const std::string content = "FAKE";
        out.result = LoadPictureFromMemory(reinterpret_cast<const uint8_t*>(content.data()), content.size(),
                                           L"a.fak", &out.bitmap, &o, withInfo ? &out.info : nullptr);
        ASSERT_EQ(0, out.result);
        ASSERT_NE(nullptr, out.bitmap.comment);
        EXPECT_STREQ("comment", out.bitmap.comment);
        ASSERT_NE(nullptr, out.bitmap.metadata);
        if (withInfo) {
            // The decoded maker notes lead the list; the reader's blocks follow.
            EXPECT_EQ(uint32_t(kMetadataTagLists), out.bitmap.metadata->kind);
            EXPECT_STREQ("Model 1", out.bitmap.metadata->model);
            ASSERT_NE(nullptr, out.bitmap.metadata->makerNotes);
            EXPECT_EQ(1u, out.bitmap.metadata->makerNotes->count);
            ASSERT_NE(nullptr, out.bitmap.metadata->next);
            EXPECT_EQ(uint32_t(kMetadataIptc), out.bitmap.metadata->next->kind);
            ASSERT_EQ(1, out.info.textCount);
            EXPECT_STREQ("Make: Maker", out.info.texts[0]);
            EXPECT_EQ(4u, out.info.fileSize);
            EXPECT_EQ(1u, out.info.imageCount);
        } else {
            EXPECT_EQ(uint32_t(kMetadataIptc), out.bitmap.metadata->kind);
            EXPECT_EQ(nullptr, out.bitmap.metadata->next);
        }
    }
}

TEST_F(Dispatch, CallerValueAndCallbackSlots) {
    uint32_t seen = 99;
    bool slotsSet = false;
    Picture p = Small();
    p.beforeBegin = [&](LoadContext* ctx) {
        slotsSet = ctx->callbacks.getCallerValue && ctx->callbacks.addMetadataBlock;
        if (ctx->callbacks.getCallerValue) seen = ctx->callbacks.getCallerValue(ctx, 0);
    };
    LoadOptions o = options;
    o.imageIndex = 3;
    Loaded out;
    fake::LoadFake(p, o, &out);
    EXPECT_EQ(0, out.result);
    EXPECT_TRUE(slotsSet);
    EXPECT_EQ(3u, seen);

    // Information-only loads leave slots 10 and 11 empty.
    g_readers[0].picture = p;
    FileSource source;
    const std::string content = "FAKE";
    InitMemorySource(&source, reinterpret_cast<const uint8_t*>(content.data()), content.size());
    ImageInfo info;
    EXPECT_EQ(0, GetPictureInfoFromSource(&source, L"a.fak", -1, 0, &info));
    EXPECT_FALSE(slotsSet);
    FreePictureInfo(&info);
}

TEST_F(Dispatch, InformationOnly) {
    Picture p = fake::Rows(640, 480, 1, 24, 1920, {}, 0);
    p.header.fullWidth = 1280;
    p.header.fullHeight = 960;
    p.header.fullBytesPerPlane = 3840;
    p.header.fullBitsPerSample = 8;
    p.header.fullComponents = 3;
    p.header.xResolution = 2;  // implausible: both become 0
    p.header.yResolution = 300;
    p.header.compression = 255;
    std::strcpy(p.header.compressionText, "Own");
    std::strcpy(p.header.description, "Fake picture");
    uint32_t flagsSeen = 0;
    p.beforeBegin = [&](LoadContext* ctx) {
        flagsSeen = ctx->options.flags;
        SetPictureComment(ctx, "comment", 7);
        const uint8_t xmp[] = "<x/>";
        AddMetadataBlock(ctx, kMetadataXmp, xmp, 4);
    };
    g_readers[0].picture = p;
    FileSource source;
    const std::string content = "FAKE";
    InitMemorySource(&source, reinterpret_cast<const uint8_t*>(content.data()), content.size());
    ImageInfo info;
    ASSERT_EQ(0, GetPictureInfoFromSource(&source, L"a.fak", -1, kLoadKeepComment | kLoadKeepMetadata, &info));
    EXPECT_EQ(kLoadInfoStop, g_readers[0].beginResult);
    EXPECT_TRUE(g_readers[0].putResults.empty());
    EXPECT_EQ(kLoadInfoOnly | kLoadFastDecode | kLoadReduced | kLoadKeepComment | kLoadKeepMetadata, flagsSeen);
    EXPECT_EQ(0, info.formatIndex);
    EXPECT_EQ(1280, info.width);
    EXPECT_EQ(960, info.height);
    EXPECT_EQ(3840u, info.bytesPerPlane);
    EXPECT_EQ(3, info.components);
    EXPECT_EQ(0, info.xResolution);
    EXPECT_EQ(0, info.yResolution);
    EXPECT_STREQ("Fake picture", info.description);
    EXPECT_STREQ("Own", info.compressionText);
    EXPECT_EQ(4u, info.fileSize);
    ASSERT_NE(nullptr, info.comment);
    EXPECT_STREQ("comment", info.comment);
    ASSERT_NE(nullptr, info.metadata);
    EXPECT_EQ(uint32_t(kMetadataXmp), info.metadata->kind);
    FreePictureInfo(&info);

    // Not recognised: format index -1.
    const std::string other = "ZZZZ";
    InitMemorySource(&source, reinterpret_cast<const uint8_t*>(other.data()), other.size());
    EXPECT_EQ(kLoadNotRecognised, GetPictureInfoFromSource(&source, L"a.fak", -1, 0, &info));
    EXPECT_EQ(-1, info.formatIndex);
    FreePictureInfo(&info);
}

// The same load from files: the reader opens its own view of the file; a
// reader that opens the file by name gets it closed and reopened around it.
TEST_F(Dispatch, Files) {
    testing_support::ScratchDir dir;
    const std::wstring fak = dir.File("pic.fak");
    const std::wstring byName = dir.File("pic.bn");
    const std::wstring empty = dir.File("empty.fak");
    testing_support::WriteText(fak, "FAKE and more");
    testing_support::WriteText(byName, "BYNM");
    testing_support::WriteText(empty, "");
    g_readers[0].picture = Small();
    g_readers[3].picture = Small();

    Loaded a;
    a.result = LoadPictureFromFile(fak.c_str(), &a.bitmap, &options, &a.info);
    ASSERT_EQ(0, a.result);
    EXPECT_EQ(13, g_readers[0].fileSize);
    EXPECT_EQ(13u, a.info.fileSize);
    EXPECT_EQ(Bytes({7, 8}), a.RowBytes(0, 2));

    Loaded b;
    b.result = LoadPictureFromFile(byName.c_str(), &b.bitmap, &options, &b.info);
    EXPECT_EQ(0, b.result);
    EXPECT_EQ(3, b.info.formatIndex);

    Loaded missing;
    missing.result = LoadPictureFromFile(dir.File("missing.fak").c_str(), &missing.bitmap, &options, nullptr);
    EXPECT_EQ(kLoadCannotOpen, missing.result);
    Loaded none;
    none.result = LoadPictureFromFile(empty.c_str(), &none.bitmap, &options, nullptr);
    EXPECT_EQ(kLoadNotRecognised, none.result);
    Loaded emptyMemory;
    EXPECT_EQ(kLoadNotRecognised, LoadMemory("", L"a.fak", options, &emptyMemory));

    ImageInfo info;
    EXPECT_EQ(0, QueryPictureInfo(fak.c_str(), -1, 0, &info));
    EXPECT_EQ(2, info.width);
    EXPECT_EQ(0, info.formatIndex);
    FreePictureInfo(&info);
    EXPECT_EQ(kLoadCannotOpen, QueryPictureInfo(dir.File("missing.fak").c_str(), -1, 0, &info));
    EXPECT_EQ(kLoadNotRecognised, QueryPictureInfo(dir.File("x.zzz").c_str(), -1, kLoadExtensionOnly, &info));
}

TEST_F(Dispatch, ExtensionQueries) {
    EXPECT_EQ(1, IsKnownExtension(L"a.fak"));
    EXPECT_EQ(1, IsKnownExtension(L"C:\\dir\\A.OTH"));
    EXPECT_EQ(1, IsKnownExtension(L"a.nr"));  // registered, even without a reader
    EXPECT_EQ(0, IsKnownExtension(L"a.zzz"));
    EXPECT_EQ(0, IsKnownExtension(L"fak"));
    EXPECT_EQ(0, IsKnownExtension(nullptr));
    EXPECT_EQ(1, ExtensionBelongsToFormat(L"a.fk2", 0));
    EXPECT_EQ(0, ExtensionBelongsToFormat(L"a.fak", 1));
    EXPECT_EQ(0, ExtensionBelongsToFormat(L"a.fak", 9));
}

}  // namespace
