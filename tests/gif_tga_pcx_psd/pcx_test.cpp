// The PCX reader on hand-made files: size checks, the standard and trailing
// palettes, raw and run-length lines, cut files, DCX pages.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/gif_tga_pcx_psd/readertest.h"

namespace {

using readertest::Bytes;
using readertest::Load;

struct PcxHeader {
    uint8_t manufacturer = 10;
    uint8_t version = 5;
    uint8_t encoding = 1;
    uint8_t bitsPerPixel = 8;
    uint16_t xMin = 0, yMin = 0, xMax = 3, yMax = 1;
    uint8_t planes = 1;
    uint16_t bytesPerLine = 4;
    Bytes palette = Bytes(48, 0);

    Bytes Build() const {
        Bytes b = {manufacturer, version, encoding, bitsPerPixel};
        for (uint16_t v : {xMin, yMin, xMax, yMax, uint16_t(72), uint16_t(72)}) testing_support::AppendLe16(b, v);
        readertest::Append(&b, palette);
        b.push_back(0);
        b.push_back(planes);
        testing_support::AppendLe16(b, bytesPerLine);
        b.resize(128, 0);
        return b;
    }
};

// 256 colours whose red is the index.
Bytes Palette256(int marker = 12) {
    Bytes p = {uint8_t(marker)};
    for (int i = 0; i < 256; ++i) p.insert(p.end(), {uint8_t(i), uint8_t(255 - i), 9});
    return p;
}

std::vector<int> Reds(const Load& load) {
    std::vector<int> out;
    const std::vector<uint8_t> px = load.Rgba().px;
    for (size_t i = 0; i < px.size(); i += 4) out.push_back(px[i]);
    return out;
}

TEST(PcxTest, ImpossibleSizesAreRefusedByName) {
    struct Case {
        const char* name;
        void (*change)(PcxHeader*);
    } cases[] = {
        {"xmax before xmin", [](PcxHeader* h) { h->xMin = 5, h->xMax = 4; }},
        {"ymax before ymin", [](PcxHeader* h) { h->yMin = 2; }},
        {"no planes", [](PcxHeader* h) { h->planes = 0; }},
        {"nine planes", [](PcxHeader* h) { h->planes = 9; }},
        {"no bits", [](PcxHeader* h) { h->bitsPerPixel = 0; }},
        {"32 bits", [](PcxHeader* h) { h->bitsPerPixel = 32; }},
        // The lines must hold the width: 4 pixels of 8 bits need 4 bytes,
        // 17 one-bit pixels 3 bytes a plane.
        {"line shorter than the width", [](PcxHeader* h) { h->bytesPerLine = 3; }},
        {"no line", [](PcxHeader* h) { h->bytesPerLine = 0; }},
        {"one-bit planes too short",
         [](PcxHeader* h) { h->bitsPerPixel = 1, h->planes = 4, h->xMax = 16, h->bytesPerLine = 2; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PcxHeader h;
        c.change(&h);
        Load load(readertest::FileOf(h, Bytes(64, 0xC1)), L"x.pcx");
        EXPECT_EQ(kLoadNotRecognised, load.result);
        EXPECT_STREQ("Pcx : Bad picture's size !", load.info.subFormat);
    }
    PcxHeader wrong;
    wrong.manufacturer = 11;
    Load load(readertest::FileOf(wrong, Bytes(64, 0xC1)), L"x.pcx");
    EXPECT_EQ(kLoadNotRecognised, load.result);
    EXPECT_STREQ("", load.info.subFormat);
}

// The 256-colour palette is the file's last 769 bytes, however far behind
// the image data it starts; a palette marker soon after the data is found
// even when other bytes follow the palette.
TEST(PcxTest, TrailingPalette) {
    PcxHeader h;
    const Bytes lines = {0xC4, 7, 1, 2, 0xC2, 4};  // 7 7 7 7 / 1 2 4 4
    struct Case {
        const char* name;
        Bytes gap;
        Bytes after;
    } cases[] = {
        {"right after the data", {}, {}},
        {"a zero byte before it", {0}, {}},
        {"40 bytes before it", Bytes(40, 0), {}},
        {"bytes after it", {0}, Bytes(10, 12)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes rest = lines;
        readertest::Append(&rest, c.gap);
        readertest::Append(&rest, Palette256());
        readertest::Append(&rest, c.after);
        Load load(readertest::FileOf(h, rest), L"x.pcx");
        ASSERT_EQ(kLoadOk, load.result);
        EXPECT_EQ((std::vector<int>{7, 7, 7, 7, 1, 2, 4, 4}), Reds(load));
        EXPECT_EQ(kPixelPalette, load.bitmap.pixelType);
    }
    // Without the marker an 8-bit picture is grey; a palette cut short is
    // an incomplete file.
    Bytes rest = lines;
    readertest::Append(&rest, Palette256(13));
    Load grey(readertest::FileOf(h, rest), L"x.pcx");
    ASSERT_EQ(kLoadOk, grey.result);
    EXPECT_EQ(kPixelGrey, grey.bitmap.pixelType);
    rest = lines;
    readertest::Append(&rest, readertest::Cut(Palette256(), 500));
    EXPECT_EQ(kLoadIncomplete, Load(readertest::FileOf(h, rest), L"x.pcx").result);
}

// Version 3 files show the standard 16 colours whatever their header
// holds; other versions use the header's palette for 3 to 7 bits. Two-bit
// pictures take no palette from the header.
TEST(PcxTest, HeaderAndStandardPalettes) {
    PcxHeader h;
    h.bitsPerPixel = 1;
    h.planes = 4;
    h.bytesPerLine = 2;
    h.xMax = 15;
    h.yMax = 0;
    for (int i = 0; i < 48; ++i) h.palette[size_t(i)] = uint8_t(i + 100);
    // Pixel x has index x: plane p holds bit p of every index.
    const Bytes rows = {0x55, 0x55, 0x33, 0x33, 0x0F, 0x0F, 0x00, 0xFF};
    h.encoding = 0;
    h.version = 3;
    Load standard(readertest::FileOf(h, rows), L"x.pcx");
    ASSERT_EQ(kLoadOk, standard.result);
    const std::vector<uint8_t> px = standard.Rgba().px;
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0x00, 0xAA, 255}), std::vector<uint8_t>(px.begin() + 4, px.begin() + 8));
    EXPECT_EQ((std::vector<uint8_t>{0xAA, 0x55, 0x00, 255}), std::vector<uint8_t>(px.begin() + 24, px.begin() + 28));
    EXPECT_EQ((std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 255}), std::vector<uint8_t>(px.end() - 4, px.end()));

    h.version = 5;
    Load header(readertest::FileOf(h, rows), L"x.pcx");
    ASSERT_EQ(kLoadOk, header.result);
    std::vector<int> reds;
    for (int i = 0; i < 16; ++i) reds.push_back(100 + 3 * i);
    EXPECT_EQ(reds, Reds(header));

    h.planes = 2;
    Load twoBits(readertest::FileOf(h, readertest::Cut(rows, 4)), L"x.pcx");
    ASSERT_EQ(kLoadOk, twoBits.result);
    EXPECT_NE(kPixelPalette, twoBits.bitmap.pixelType);

    // Five planes: indexes 16 and up are past the header's 16 colours.
    h.planes = 5;
    Bytes five = rows;
    five.insert(five.end(), {0x00, 0xFF});
    Load deeper(readertest::FileOf(h, five), L"x.pcx");
    ASSERT_EQ(kLoadOk, deeper.result);
    std::vector<int> first = reds;
    first.resize(8);
    first.insert(first.end(), 8, 0);
    EXPECT_EQ(first, Reds(deeper));
}

// Raw lines, and run-length lines whose runs stop at the line's end; a cut
// run-length picture delivers its partial line and ends with 4.
TEST(PcxTest, RawAndRunLengthLines) {
    PcxHeader h;
    h.encoding = 0;
    h.bitsPerPixel = 8;
    h.planes = 3;
    h.bytesPerLine = 2;  // one padding byte a plane
    h.xMax = 0;
    h.yMax = 1;
    const Bytes raw = {10, 0, 20, 0, 30, 0, 11, 0, 21, 0, 31, 0};
    Load plain(readertest::FileOf(h, raw), L"x.pcx");
    ASSERT_EQ(kLoadOk, plain.result);
    EXPECT_EQ((std::vector<uint8_t>{10, 20, 30, 255, 11, 21, 31, 255}), plain.Rgba().px);

    h.encoding = 1;
    // A run of 9 overruns the first line and is cut there.
    const Bytes packed = {0xC9, 10, 0xC5, 11, 12};
    const Bytes file = readertest::FileOf(h, packed);
    Load rle(file, L"x.pcx");
    ASSERT_EQ(kLoadOk, rle.result);
    EXPECT_EQ((std::vector<uint8_t>{10, 10, 10, 255, 11, 11, 11, 255}), rle.Rgba().px);

    Load cut(readertest::Cut(file, file.size() - 2), L"x.pcx", Load::Options(kLoadAcceptDamaged));
    ASSERT_EQ(kLoadOk, cut.result);
    EXPECT_EQ((std::vector<uint8_t>{10, 10, 10, 255, 0, 0, 0, 255}), cut.Rgba().px);
    EXPECT_EQ(kLoadIncomplete, Load(readertest::Cut(file, file.size() - 2), L"x.pcx").result);
    EXPECT_EQ(kLoadIncomplete, Load(readertest::Cut(readertest::FileOf(h, raw), 128 + 11), L"x.pcx").result);
}

// The picture information of `file` from a stream handed in (size unknown
// to the open) and from memory: the result codes and, when both succeed,
// the sizes and formats, or a description of the first difference.
std::string InfoDifference(const Bytes& file, const wchar_t* name) {
    testing_support::EnsureFormatRegistry();
    FILE* stream = std::tmpfile();
    if (!stream) return "no temporary stream";
    std::string difference;
    if (std::fwrite(file.data(), 1, file.size(), stream) != file.size() || std::fseek(stream, 0, SEEK_SET) != 0) {
        difference = "stream not written";
    } else {
        FileSource fromStream{nullptr, stream, nullptr, 0};
        FileSource fromMemory;
        InitMemorySource(&fromMemory, file.data(), file.size());
        ImageInfo a, b;
        const int ra = GetPictureInfoFromSource(&fromStream, name, -1, 0, &a);
        const int rb = GetPictureInfoFromSource(&fromMemory, name, -1, 0, &b);
        if (ra != rb)
            difference = "stream " + std::to_string(ra) + ", memory " + std::to_string(rb);
        else if (ra == kLoadOk && (a.width != b.width || a.height != b.height || a.formatIndex != b.formatIndex))
            difference = "pictures differ";
        FreePictureInfo(&a);
        FreePictureInfo(&b);
    }
    std::fclose(stream);
    return difference;
}

// DCX: the image index picks a page from the offset table and the load
// reports the page count. A page's trailing palette ends where the next page
// begins; pages past the table, or missing from the file, are refused, and
// the picture information of every case is the same from a stream as from
// memory.
TEST(PcxTest, DcxPages) {
    PcxHeader h;
    const auto page = [&](uint8_t value, uint8_t paletteRed) {
        Bytes rest = {0xC4, value, 0xC4, value};  // two lines of 4 pixels
        Bytes palette = Palette256();
        palette[1 + 3 * value] = paletteRed;
        readertest::Append(&rest, palette);
        return readertest::FileOf(h, rest);
    };
    const Bytes first = page(3, 33), second = page(5, 55);
    const auto dcx = [&](std::vector<uint32_t> offsets, size_t pages) {
        Bytes b;
        testing_support::AppendLe32(b, 987654321);
        for (uint32_t o : offsets) testing_support::AppendLe32(b, o);
        testing_support::AppendLe32(b, 0);
        if (pages > 0) readertest::Append(&b, first);
        if (pages > 1) readertest::Append(&b, second);
        return b;
    };
    const uint32_t at = 4 + 3 * 4;
    const Bytes file = dcx({at, at + uint32_t(first.size())}, 2);
    struct Case {
        const char* name;
        Bytes file;
        uint32_t index;
        int result;
        int red;  // of every pixel
        uint32_t pages;
    } cases[] = {
        {"first page", file, 0, kLoadOk, 33, 2},
        {"second page", file, 1, kLoadOk, 55, 2},
        {"no third page", file, 2, kLoadNotRecognised, 0, 0},
        {"no pages", dcx({}, 0), 0, kLoadNotRecognised, 0, 0},
        {"page past the end", dcx({at, 100000}, 1), 1, kLoadIncomplete, 0, 0},
        {"only page far past the end", dcx({0x16800004}, 0), 0, kLoadIncomplete, 0, 0},
        {"table cut short", readertest::Cut(file, 10), 0, kLoadIncomplete, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Load load(c.file, L"x.dcx", Load::Options(0, c.index));
        EXPECT_EQ(c.result, load.result);
        EXPECT_EQ("", InfoDifference(c.file, L"x.dcx"));
        if (c.result != kLoadOk) continue;
        EXPECT_EQ(std::vector<int>(8, c.red), Reds(load));
        EXPECT_EQ(c.pages, load.info.imageCount);
    }
}

}  // namespace
