#include "imagelib/formats.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "imagelib/textutil.h"

namespace {

// Holds one reference to the built-in registry for a test.
struct BuiltinRegistry {
    BuiltinRegistry() { InitFormatRegistry(); }
    ~BuiltinRegistry() { FreeFormatRegistry(); }
};

TEST(FormatRegistry, BuiltinLookups) {
    ASSERT_EQ(0, GetFormatCount());
    BuiltinRegistry reg;
    EXPECT_EQ(28, GetFormatCount());
    EXPECT_EQ(6, FindFormatByName("tiff"));
    EXPECT_EQ(-1, FindFormatByName("TIFF"));
    EXPECT_EQ(-1, FindFormatByName(nullptr));
    EXPECT_EQ(20, FindFormatByName("srf2"));
    EXPECT_EQ(22, FindFormatByName("srf"));
    EXPECT_STREQ("jpg", GetFormatDefaultExtension(0));
    EXPECT_STREQ("2bp", GetFormatDefaultExtension(5));
    EXPECT_EQ(nullptr, GetFormatDefaultExtension(28));
    EXPECT_EQ(nullptr, GetFormatDefaultExtension(-1));
    EXPECT_STREQ("png", GetFormatShortName(4));
    EXPECT_EQ(nullptr, GetFormatShortName(28));
    // Probe flags: the RAW rows and the Pocket PC bitmap are never probed.
    for (int i = 0; i < GetFormatCount(); ++i) {
        const bool probed = GetFormatRow(i)->flags & kFormatProbe;
        EXPECT_EQ(i != 5 && i < 14, probed) << GetFormatShortName(i);
    }
}

TEST(FormatRegistry, ReferenceCounted) {
    InitFormatRegistry();
    InitFormatRegistry();
    EXPECT_EQ(28, GetFormatCount());
    FreeFormatRegistry();
    EXPECT_EQ(28, GetFormatCount());
    FreeFormatRegistry();
    EXPECT_EQ(0, GetFormatCount());
    FreeFormatRegistry();  // one too many: harmless
    EXPECT_EQ(0, GetFormatCount());
}

TEST(FormatRegistry, ConcurrentFirstUseBuildsOnce) {
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) threads.emplace_back([] { InitFormatRegistry(); });
    for (auto& t : threads) t.join();
    EXPECT_EQ(28, GetFormatCount());
    threads.clear();
    for (int i = 0; i < 8; ++i) threads.emplace_back([] { FreeFormatRegistry(); });
    for (auto& t : threads) t.join();
    EXPECT_EQ(0, GetFormatCount());
}

// A fake table: a reader-only row left out by its availability check, a
// writer with options, and a row whose texts were allocated at run time.
int g_released = 0;
uint32_t NotAvailable() { return 0x10000; }  // low 16 bits zero: left out
uint32_t Available() { return 1; }
void Release(uint32_t*) { ++g_released; }
int FakeRead(FileSource*, LoadContext*) { return 2; }
int FakeWrite(FileSource*, SaveContext*) { return 0; }
void FakeOptions(FormatCapability* records, const FormatRow*) {
    records[0] = FormatCapability{4, 16, 0, 0, "fk"};
}

TEST(FormatRegistry, InjectedTableFlagsOptionsAndRelease) {
    FormatRow table[3] = {
        {0x1, "gone", "Left out", NotAvailable, Release, FakeRead, nullptr, nullptr, 0, 0, {"gn"}},
        {0x1, "fake", "A fake format with a description longer than sixty-four characters in all",
         Available, Release, FakeRead, FakeWrite, FakeOptions, 0, 0,
         {"fk", "fake", "longextension"}},
        {0x20, DuplicateText("dyn"), DuplicateText("Dynamic"), nullptr, nullptr, nullptr, FakeWrite, nullptr, 0, 0,
         {DuplicateText("dy")}},
    };
    g_released = 0;
    RegisterFormatsFromTable(table, 3);
    ASSERT_EQ(2, GetFormatCount());
    EXPECT_EQ(kFormatProbe | kFormatHasReader | kFormatHasWriter, GetFormatRow(0)->flags);
    EXPECT_EQ(kFormatOwnsTexts | kFormatHasWriter, GetFormatRow(1)->flags);

    FormatDescription d;
    std::memset(&d, 0x7F, sizeof d);
    EXPECT_EQ(0, DescribeFormat(0, &d, 0));
    EXPECT_STREQ("fake", d.shortName);
    EXPECT_EQ(0, d.formatIndex);
    EXPECT_EQ(3, d.access);
    EXPECT_EQ(63u, std::strlen(d.description));  // cut and terminated
    EXPECT_STREQ("fk", d.extensions[0]);
    EXPECT_STREQ("fake", d.extensions[1]);
    EXPECT_STREQ("longext", d.extensions[2]);  // cut to 7 and terminated
    EXPECT_STREQ("", d.extensions[3]);
    EXPECT_EQ(4, d.options[0].pixelType);
    EXPECT_STREQ("fk", d.options[0].extension);
    EXPECT_EQ(kCapabilityEmpty, d.options[1].pixelType);
    EXPECT_EQ(-1, d.options[1].reserved1);
    EXPECT_EQ(nullptr, d.options[1].extension);
    EXPECT_EQ(0, DescribeFormat(1, &d, 0));
    EXPECT_EQ(2, d.access);
    EXPECT_EQ(-1, DescribeFormat(2, &d, 0));
    EXPECT_EQ(-1, DescribeFormat(-1, &d, 0));

    FreeFormatRegistry();  // frees the run-time texts (ASan/LSan would notice a leak)
    EXPECT_EQ(1, g_released);
    EXPECT_EQ(0, GetFormatCount());
}

TEST(FormatRegistry, BuiltinAccess) {
    BuiltinRegistry reg;
    FormatDescription d;
    ASSERT_EQ(0, DescribeFormat(FindFormatByName("tiff"), &d, 0));
    // Readers come with later work; a format without reader or writer shows 0.
    EXPECT_EQ((GetFormatRow(6)->readFn ? 1 : 0), d.access);
    EXPECT_STREQ("TIFF Revision 6", d.description);
    EXPECT_STREQ("tif", d.extensions[0]);
    EXPECT_STREQ("tiff", d.extensions[2]);
    EXPECT_STREQ("", d.extensions[3]);
}

TEST(FormatNames, ColourSpacesAndCompressions) {
    const std::pair<uint16_t, const char*> spaces[] = {
        {0, "RGB"}, {1, "RGB"}, {2, "CMY"}, {3, "CMYK"}, {4, "YCbCr"}, {5, "YUV16"},
        {6, "CIE Lab"}, {7, "CIE Log2(L) (u',v')"}, {8, "CIE Log2(L)"}, {9, "RGB"}, {65535, "RGB"}};
    for (const auto& s : spaces) EXPECT_STREQ(s.second, GetColourSpaceName(s.first));
    const std::pair<uint16_t, const char*> compressions[] = {
        {0, "Uncompressed"}, {1, "Rle"}, {2, "LZW"}, {3, "JPEG"}, {4, "ZIP"}, {5, "Sgi Rle"},
        {6, "CCITT Rle"}, {7, "CCITT Group 3"}, {8, "CCITT Group 3-2D"}, {9, "CCITT Group 4"},
        {10, "Wavelet"}, {11, "Uncompressed"}, {254, "Uncompressed"}, {300, "Uncompressed"}};
    for (const auto& c : compressions) EXPECT_STREQ(c.second, GetCompressionName(c.first));
    EXPECT_EQ(nullptr, GetCompressionName(255));

    char text[8];
    FormatCompressionText(text, sizeof text, 255, "Own codec name");
    EXPECT_STREQ("Own cod", text);
    FormatCompressionText(text, sizeof text, 8, nullptr);
    EXPECT_STREQ("CCITT G", text);
    FormatCompressionText(text, sizeof text, 255, nullptr);
    EXPECT_STREQ("", text);
    EXPECT_EQ(1, IsLzwEnabled());
}

TEST(RemoveFileExtension, Cases) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"photo.jpg", L"photo"},
        {L"\\My Documents\\photo.jpeg", L"\\My Documents\\photo"},
        {L"photo.001", L"photo.001"},
        {L".profile", L".profile"},
        {L"dir.d\\name", L"dir.d\\name"},
        {L"a/b.c/d.png", L"a/b.c/d"},
        {L"archive.tar.gz", L"archive.tar"},
        {L"noext", L"noext"},
        {L"\\folder\\.hidden", L"\\folder\\.hidden"},
        {L"", L""},
    };
    for (const auto& c : cases) {
        std::wstring s = c.first;
        RemoveFileExtension(s.data());
        EXPECT_STREQ(c.second, s.c_str()) << WideToUtf8(c.first);
    }
    RemoveFileExtension(nullptr);
}

}  // namespace
