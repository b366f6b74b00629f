#include "imagelib/bitmap.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "imagelib/metadata.h"

namespace {

struct AllocCase {
    const char* name;
    uint16_t type;
    int16_t alignment;
    int32_t width;
    uint16_t bits;
    // expected
    uint16_t storedType;
    int32_t bytesPerRow;
    uint16_t bytesPerPixel;
    uint16_t components;
    uint16_t bitsPerSample;
    int16_t paletteCount;
    bool hasPalette;
};

const AllocCase kAllocCases[] = {
    {"bilevel width 9 align 4", 1, 4, 9, 8, 1, 4, 1, 1, 1, 2, false},
    {"bilevel width 33 align 1", 1, 1, 33, 8, 1, 5, 1, 1, 1, 2, false},
    {"grey", 2, 4, 5, 8, 2, 8, 1, 1, 8, 256, false},
    {"palette", 4, 2, 3, 8, 4, 4, 1, 1, 8, 256, true},
    {"family 80 is RGB", 80, 4, 3, 8, 16, 12, 3, 3, 8, 0, false},
    {"family 2032 is RGB", 2032, 1, 3, 8, 16, 9, 3, 3, 8, 0, false},
    {"family 1952 is RGBA", 1952, 4, 3, 8, 32, 12, 4, 4, 8, 0, false},
    {"BGR kept", 64, 4, 1, 8, 64, 4, 3, 3, 8, 0, false},
    {"CMYK kept", 1024, 1, 2, 8, 1024, 8, 4, 4, 8, 0, false},
    {"alignment 0 counts as 1", 16, 0, 3, 8, 16, 9, 3, 3, 8, 0, false},
    {"alignment -5 counts as 1", 2, -5, 7, 8, 2, 7, 1, 1, 8, 256, false},
    {"deep 16-bit grey", 2, 4, 3, 16, 2, 8, 2, 1, 16, 256, false},
    {"deep 12-bit RGB", 16, 1, 2, 12, 16, 12, 6, 3, 12, 0, false},
    {"deep 24-bit RGB takes four bytes", 16, 1, 2, 24, 16, 24, 12, 3, 24, 0, false},
    {"deep 32-bit RGBA", 32, 4, 1, 32, 32, 16, 16, 4, 32, 0, false},
};

class AllocBitmapTest : public ::testing::TestWithParam<AllocCase> {};

TEST_P(AllocBitmapTest, LayoutAndDefaults) {
    const AllocCase& c = GetParam();
    Bitmap b;
    std::memset(&b, 0xAB, sizeof b);  // the allocator must clear the record
    ASSERT_EQ(1, AllocBitmapWithDepth(&b, c.type, c.alignment, c.width, 3, c.bits));
    EXPECT_EQ(c.storedType, b.pixelType);
    EXPECT_EQ(c.bytesPerRow, b.bytesPerRow);
    EXPECT_EQ(c.bytesPerPixel, b.bytesPerPixel);
    EXPECT_EQ(c.components, b.components);
    EXPECT_EQ(c.bitsPerSample, b.bitsPerSample);
    EXPECT_EQ(c.paletteCount, b.paletteCount);
    EXPECT_EQ(c.hasPalette, b.palette != nullptr);
    EXPECT_EQ(-1, b.transparentIndex);
    EXPECT_EQ(0, b.xResolution);
    EXPECT_EQ(nullptr, b.metadata);
    EXPECT_EQ(nullptr, b.comment);
    EXPECT_GE(b.rowAlignment, 1);
    EXPECT_EQ(0, b.bytesPerRow % b.rowAlignment);
    // Pixels and palette are zero-filled.
    for (int i = 0; i < b.bytesPerRow * b.height; ++i) ASSERT_EQ(0, b.pixels[i]) << i;
    if (b.palette) {
        for (size_t i = 0; i < kPaletteBytes; ++i) ASSERT_EQ(0, b.palette[i]);
    }
    FreeBitmap(&b);
    EXPECT_EQ(nullptr, b.pixels);
    EXPECT_EQ(nullptr, b.palette);
}

INSTANTIATE_TEST_SUITE_P(Cases, AllocBitmapTest, ::testing::ValuesIn(kAllocCases),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& ch : n)
                                 if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return n;
                         });

TEST(AllocBitmap, RefusesBadSizesAndLeavesACleanRecord) {
    struct {
        uint16_t type;
        int32_t w, h;
    } bad[] = {
        {16, 0, 5}, {16, 5, 0}, {16, -1, 5}, {2, 5, -7},
        {32, INT_MAX, 1},          // row bytes overflow 32 bits
        {16, 30000, 30000},        // 2.7 GB: over the 32-bit picture limit
        {1, INT_MAX, 20},          // bilevel rows fit, the picture does not
    };
    for (const auto& c : bad) {
        Bitmap b;
        std::memset(&b, 0xCD, sizeof b);
        EXPECT_EQ(0, AllocBitmap(&b, c.type, 4, c.w, c.h)) << c.type << " " << c.w << "x" << c.h;
        EXPECT_EQ(nullptr, b.pixels);
        EXPECT_EQ(nullptr, b.palette);
        EXPECT_EQ(nullptr, b.metadata);
        FreeBitmap(&b);  // harmless on a failed record
    }
}

TEST(AllocBitmapPalette, OnlyPaletteTypesGetOne) {
    uint8_t* p = AllocBitmapPalette(4);
    ASSERT_NE(nullptr, p);
    std::free(p);
    EXPECT_EQ(nullptr, AllocBitmapPalette(2));
    EXPECT_EQ(nullptr, AllocBitmapPalette(16));
}

TEST(LoadOptions, Defaults) {
    LoadOptions o;
    std::memset(&o, 0x5A, sizeof o);
    InitLoadOptions(&o);
    EXPECT_EQ(-1, o.formatIndex);
    EXPECT_EQ(4, o.rowAlignment);
    EXPECT_EQ(255, o.alphaValue);
    EXPECT_EQ(-1, o.targetWidth);
    EXPECT_EQ(-1, o.targetHeight);
    EXPECT_EQ(768u, o.referenceWidth);
    EXPECT_EQ(576u, o.referenceHeight);
    EXPECT_EQ(72, o.referenceDpi);
    EXPECT_EQ(0u, o.flags);
    EXPECT_EQ(0, o.pixelOrder);
    EXPECT_EQ(0, o.scaleMethod);
    EXPECT_EQ(nullptr, o.rowCallback);
    EXPECT_EQ(1, o.rawSwitches[0]);
    EXPECT_EQ(1, o.rawSwitches[1]);
    const float reals[8] = {0.6f, 0.8f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f};
    for (int i = 0; i < 8; ++i) EXPECT_FLOAT_EQ(reals[i], o.rawReals[i]);
}

TEST(SaveOptions, Defaults) {
    SaveOptions o;
    std::memset(&o, 0x5A, sizeof o);
    EXPECT_EQ(1, InitSaveOptions(&o));
    EXPECT_EQ(-1, o.formatIndex);
    EXPECT_EQ(100, o.quality);
    EXPECT_EQ(6, o.compressionLevel);
    EXPECT_EQ(65535, o.jpegDctMethod);
    EXPECT_EQ(65535, static_cast<uint16_t>(o.jpegSubsampling));
    EXPECT_EQ(1, o.keepExif);
    EXPECT_EQ(1, o.keepIptc);
    EXPECT_EQ(0, o.keepXmp);
    EXPECT_EQ(0u, o.flags);
    EXPECT_EQ(nullptr, o.rowProvider);
}

TEST(RowBits, GetPutOrFollowMostSignificantBitFirst) {
    uint8_t row[2] = {0, 0};
    PutRowBit(row, 0, 1);
    PutRowBit(row, 9, 1);
    EXPECT_EQ(0x80, row[0]);
    EXPECT_EQ(0x40, row[1]);
    EXPECT_EQ(1, GetRowBit(row, 0));
    EXPECT_EQ(0, GetRowBit(row, 1));
    EXPECT_EQ(1, GetRowBit(row, 9));
    PutRowBit(row, 0, 0);
    EXPECT_EQ(0, row[0]);
    OrRowBit(row, 15, 1);
    EXPECT_EQ(0x41, row[1]);
    OrRowBit(row, 15, 0);  // OR never clears
    EXPECT_EQ(0x41, row[1]);
}

TEST(ClipRectToBitmap, Cases) {
    Bitmap b{};
    b.width = 10;
    b.height = 8;
    PictureRect out;
    struct {
        PictureRect in;
        int result;
        PictureRect expect;
    } cases[] = {
        {{2, 3, 4, 2}, 0, {2, 3, 4, 2}},
        {{-5, -5, 8, 8}, 0, {0, 0, 3, 3}},
        {{8, 6, 10, 10}, 0, {8, 6, 2, 2}},
        {{-20, 0, 5, 5}, 16, {0, 0, -15, 5}},  // wholly left of the bitmap
        {{10, 0, 5, 5}, 16, {10, 0, 0, 5}},
        {{0, 0, 0, 5}, 16, {0, 0, 0, 5}},
        {{INT_MAX, INT_MAX, INT_MAX, INT_MAX}, 16, {INT_MAX, INT_MAX, 10 - INT_MAX, 8 - INT_MAX}},  // no wrap
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.result, ClipRectToBitmap(&b, &c.in, &out)) << c.in.x << "," << c.in.y;
        EXPECT_EQ(c.expect.x, out.x);
        EXPECT_EQ(c.expect.y, out.y);
        EXPECT_EQ(c.expect.width, out.width);
        EXPECT_EQ(c.expect.height, out.height);
    }
    EXPECT_EQ(0, ClipRectToBitmap(&b, nullptr, &out));
    EXPECT_EQ(10, out.width);
    EXPECT_EQ(8, out.height);
}

MetadataBlock* NewBlock(uint32_t kind, const char* bytes) {
    MetadataBlock* head = nullptr;
    EXPECT_EQ(1, AddMetadataBlockToList(&head, kind, bytes, static_cast<uint32_t>(std::strlen(bytes))));
    return head;
}

TEST(CopyBitmapMetadata, DeepCopyKeepsOrderAndTagLists) {
    Bitmap src{};
    src.orientation = 0x11;
    src.xResolution = 300;
    src.yResolution = 150;
    src.comment = strdup("hello");
    // List order: EXIF, tag lists, XMP.
    MetadataBlock* xmp = NewBlock(kMetadataXmp, "<x/>");
    auto* tags = static_cast<MetadataBlock*>(calloc(1, sizeof(MetadataBlock)));
    tags->kind = kMetadataTagLists;
    tags->make = strdup("Maker");
    tags->model = strdup("Model 1");
    tags->makerNotes = NewTagList(1);
    TagRecord* r = AppendTagRecord(tags->makerNotes);
    r->tag = 271;
    r->type = 2;
    r->data = static_cast<uint8_t*>(malloc(4));
    std::memcpy(r->data, "abc", 4);
    r->dataLength = 4;
    tags->next = xmp;
    MetadataBlock* exif = NewBlock(kMetadataExif, "Exif\0\0");
    exif->next = tags;
    src.metadata = exif;

    Bitmap dst{};
    dst.comment = strdup("old");
    CopyBitmapMetadata(&dst, &src);
    EXPECT_EQ(0x11, dst.orientation);
    EXPECT_EQ(300, dst.xResolution);
    EXPECT_EQ(150, dst.yResolution);
    ASSERT_NE(nullptr, dst.comment);
    EXPECT_STREQ("hello", dst.comment);
    EXPECT_NE(src.comment, dst.comment);

    const MetadataBlock* n = dst.metadata;
    ASSERT_NE(nullptr, n);
    EXPECT_EQ(kMetadataExif, n->kind);
    EXPECT_NE(exif->data, n->data);
    n = n->next;
    ASSERT_NE(nullptr, n);
    EXPECT_EQ(kMetadataTagLists, n->kind);
    EXPECT_STREQ("Maker", n->make);
    EXPECT_STREQ("Model 1", n->model);
    ASSERT_NE(nullptr, n->makerNotes);
    ASSERT_EQ(1u, n->makerNotes->count);
    EXPECT_EQ(1u, n->makerNotes->bigEndian);
    EXPECT_EQ(271, n->makerNotes->records[0].tag);
    EXPECT_NE(r->data, n->makerNotes->records[0].data);
    EXPECT_STREQ("abc", reinterpret_cast<char*>(n->makerNotes->records[0].data));
    n = n->next;
    ASSERT_NE(nullptr, n);
    EXPECT_EQ(kMetadataXmp, n->kind);
    EXPECT_EQ(4u, n->length);
    EXPECT_EQ(nullptr, n->next);

    FreeBitmap(&src);
    FreeBitmap(&dst);  // ASan checks both lists were independent
}

TEST(CopyBitmapMetadata, SkipsNodesWithoutData) {
    Bitmap src{};
    // A node that claims a length but has no data must not be copied as such.
    auto* broken = static_cast<MetadataBlock*>(calloc(1, sizeof(MetadataBlock)));
    broken->kind = kMetadataIptc;
    broken->length = 10;
    src.metadata = broken;
    Bitmap dst{};
    CopyBitmapMetadata(&dst, &src);
    EXPECT_EQ(nullptr, dst.metadata);
    FreeBitmap(&src);
    FreeBitmap(&dst);
}

TEST(CreateBitmapLike, CopiesSizeAlignmentAndMetadata) {
    Bitmap src{};
    ASSERT_EQ(1, AllocBitmap(&src, 4, 2, 7, 5));
    src.xResolution = 96;
    src.comment = strdup("c");
    Bitmap dst{};
    EXPECT_EQ(0, CreateBitmapLike(&dst, 16, &src));
    EXPECT_EQ(7, dst.width);
    EXPECT_EQ(5, dst.height);
    EXPECT_EQ(2, dst.rowAlignment);
    EXPECT_EQ(16, dst.pixelType);
    EXPECT_EQ(22, dst.bytesPerRow);
    EXPECT_EQ(96, dst.xResolution);
    EXPECT_STREQ("c", dst.comment);
    FreeBitmap(&src);
    FreeBitmap(&dst);

    Bitmap huge{};
    huge.width = INT_MAX;
    huge.height = 3;
    huge.rowAlignment = 4;
    EXPECT_EQ(1, CreateBitmapLike(&dst, 16, &huge));
}

}  // namespace
