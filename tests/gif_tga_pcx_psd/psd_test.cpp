// The Photoshop reader on hand-made documents: header checks, colour mode
// data, resources of every size, layers with masks and empty records, cut
// files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imagelib/readers/psd.h"
#include "tests/gif_tga_pcx_psd/readertest.h"

namespace {

using readertest::Bytes;
using readertest::Load;

// One image resource: signature, id, padded name, size, data, pad.
Bytes Resource(uint16_t id, const Bytes& data, const std::string& name = "") {
    Bytes b;
    readertest::AppendText(&b, "8BIM");
    testing_support::AppendBe16(b, id);
    b.push_back(uint8_t(name.size()));
    readertest::AppendText(&b, name.c_str());
    if (name.size() % 2 == 0) b.push_back(0);
    testing_support::AppendBe32(b, uint32_t(data.size()));
    readertest::Append(&b, data);
    if (data.size() % 2) b.push_back(0);
    return b;
}

struct Channel {
    int16_t id;
    Bytes data;  // compression word and rows
};

// Raw channel data: the compression word 0 and the rows.
Bytes Raw(const Bytes& rows) {
    Bytes b = {0, 0};
    readertest::Append(&b, rows);
    return b;
}

struct Layer {
    int32_t top, left, bottom, right;
    std::vector<Channel> channels;
};

// The layer info of a layer and mask section: records, then channel data.
// A negative count says that the composite's first extra channel is its
// transparency.
Bytes LayerInfo(const std::vector<Layer>& layers, bool mergedAlpha = false) {
    Bytes info;
    const int count = int(layers.size());
    testing_support::AppendBe16(info, uint16_t(mergedAlpha ? -count : count));
    for (const Layer& l : layers) {
        for (int32_t v : {l.top, l.left, l.bottom, l.right}) testing_support::AppendBe32(info, uint32_t(v));
        testing_support::AppendBe16(info, uint16_t(l.channels.size()));
        for (const Channel& c : l.channels) {
            testing_support::AppendBe16(info, uint16_t(c.id));
            testing_support::AppendBe32(info, uint32_t(c.data.size()));
        }
        readertest::AppendText(&info, "8BIMnorm");
        info.insert(info.end(), {255, 0, 0, 0});
        // Extra data: empty mask and blending ranges, the name "L".
        testing_support::AppendBe32(info, 12);
        testing_support::AppendBe32(info, 0);
        testing_support::AppendBe32(info, 0);
        info.insert(info.end(), {1, 'L', 0, 0});
    }
    for (const Layer& l : layers)
        for (const Channel& c : l.channels) readertest::Append(&info, c.data);
    Bytes section;
    testing_support::AppendBe32(section, uint32_t(info.size()));
    readertest::Append(&section, info);
    return section;
}

struct PsdFile {
    uint16_t version = 1;
    uint16_t channels = 3;
    uint32_t height = 1;
    uint32_t width = 2;
    uint16_t depth = 8;
    uint16_t mode = 3;
    Bytes colourData;
    Bytes resources;
    Bytes layers;     // the layer and mask section's content
    Bytes composite;  // compression word and rows

    Bytes Build() const {
        Bytes b;
        readertest::AppendText(&b, "8BPS");
        testing_support::AppendBe16(b, version);
        b.insert(b.end(), 6, 0);
        testing_support::AppendBe16(b, channels);
        testing_support::AppendBe32(b, height);
        testing_support::AppendBe32(b, width);
        testing_support::AppendBe16(b, depth);
        testing_support::AppendBe16(b, mode);
        for (const Bytes* s : {&colourData, &resources, &layers}) {
            testing_support::AppendBe32(b, uint32_t(s->size()));
            readertest::Append(&b, *s);
        }
        readertest::Append(&b, composite);
        return b;
    }
};

// A 2 x 1 RGB document: red, green and blue planes.
PsdFile Rgb() {
    PsdFile p;
    p.composite = Raw({10, 11, 20, 21, 30, 31});
    return p;
}

TEST(PsdTest, HeaderChecks) {
    struct Case {
        const char* name;
        void (*change)(PsdFile*);
        int result;
        const char* message;
    } cases[] = {
        {"version 2", [](PsdFile* p) { p->version = 2; }, kLoadNotRecognised, ""},
        {"depth 4", [](PsdFile* p) { p->depth = 4; }, kLoadRefused, "PSD: Depth != 8/16!"},
        {"depth 32", [](PsdFile* p) { p->depth = 32; }, kLoadRefused, "PSD: Depth != 8/16!"},
        {"depth 1 in RGB", [](PsdFile* p) { p->depth = 1; }, kLoadRefused, "PSD: Depth != 8/16!"},
        {"bitmap of 8 bits", [](PsdFile* p) { p->mode = 0; }, kLoadRefused, "PSD: Depth != 8/16!"},
        {"mode 5", [](PsdFile* p) { p->mode = 5; }, kLoadRefused, "PSD: Invalid Picture Mode !"},
        {"no channels", [](PsdFile* p) { p->channels = 0; }, kLoadCorrupt, ""},
        {"57 channels", [](PsdFile* p) { p->channels = 57; }, kLoadCorrupt, ""},
        {"56 channels", [](PsdFile* p) { p->channels = 56; }, kLoadOk, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PsdFile p = Rgb();
        c.change(&p);
        p.composite.resize(200, 0);
        Load load(p.Build(), L"x.psd");
        EXPECT_EQ(c.result, load.result);
        EXPECT_STREQ(c.message, load.info.subFormat);
    }
    Bytes other = Rgb().Build();
    other[3] = 'X';
    EXPECT_EQ(kLoadNotRecognised, Load(other, L"x.psd").result);
}

// Planes of the composite: the mode's colour channels, and the first extra
// channel as transparency only when the layer count is negative (and the
// load wants alpha). Other extra channels (spot colours, saved selections)
// never show, in RGB or multichannel documents.
TEST(PsdTest, CompositeChannels) {
    const Layer layer = {0, 0, 1, 1, {{0, Raw({1})}, {1, Raw({2})}, {2, Raw({3})}}};
    struct Case {
        const char* name;
        uint16_t mode;
        uint16_t channels;
        int layers;  // 0 none, 1 a layer, -1 a layer and a negative count
        bool dropAlpha;
        std::vector<uint8_t> rgba;
    } cases[] = {
        {"grey and an extra channel", 1, 2, 0, false, {50, 50, 50, 255, 60, 60, 60, 255}},
        {"RGB and a selection", 3, 4, 0, false, {10, 20, 30, 255, 11, 21, 31, 255}},
        {"RGB and a selection, layers", 3, 4, 1, false, {10, 20, 30, 255, 11, 21, 31, 255}},
        {"RGB, merged alpha", 3, 4, -1, false, {10, 20, 30, 40, 11, 21, 31, 41}},
        {"RGB, merged alpha, dropped", 3, 4, -1, true, {10, 20, 30, 255, 11, 21, 31, 255}},
        {"RGB, merged alpha and a spot colour", 3, 5, -1, false, {10, 20, 30, 40, 11, 21, 31, 41}},
        {"RGB and two spot colours", 3, 5, 0, false, {10, 20, 30, 255, 11, 21, 31, 255}},
        {"multichannel of four", 7, 4, 0, false, {10, 20, 30, 255, 11, 21, 31, 255}},
        {"multichannel of two", 7, 2, 0, false, {10, 10, 10, 255, 11, 11, 11, 255}},
    };
    const Bytes planes = {10, 11, 20, 21, 30, 31, 40, 41, 50, 51};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PsdFile p = Rgb();
        p.mode = c.mode;
        p.channels = c.channels;
        p.composite = Raw(Bytes(planes.begin(), planes.begin() + 2 * c.channels));
        if (c.mode == 1) p.composite = Raw({50, 60, 0, 0});
        if (c.layers) p.layers = LayerInfo({layer}, c.layers < 0);
        LoadOptions o = Load::Options();
        o.psdDropAlpha = c.dropAlpha ? 1 : 0;
        Load load(p.Build(), L"x.psd", o);
        ASSERT_EQ(kLoadOk, load.result);
        EXPECT_EQ(c.rgba, load.Rgba().px);
    }
}

// A bitmap-mode document stores 1 for black.
TEST(PsdTest, BitmapMode) {
    PsdFile p;
    p.mode = 0;
    p.depth = 1;
    p.channels = 1;
    p.width = 10;
    p.composite = Raw({0xA0, 0x40});
    Load load(p.Build(), L"x.psd");
    ASSERT_EQ(kLoadOk, load.result);
    ASSERT_EQ(kPixelBilevel, load.bitmap.pixelType);
    std::vector<int> white;
    const std::vector<uint8_t> px = load.Rgba().px;
    for (size_t i = 0; i < px.size(); i += 4) white.push_back(px[i] == 255);
    EXPECT_EQ((std::vector<int>{0, 1, 0, 1, 1, 1, 1, 1, 1, 0}), white);
}

// Indexed documents need their 768-byte palette.
TEST(PsdTest, IndexedPalette) {
    PsdFile p;
    p.mode = 2;
    p.channels = 1;
    p.composite = Raw({1, 2});
    p.colourData.assign(768, 0);
    for (int i = 0; i < 256; ++i) p.colourData[size_t(i)] = uint8_t(i * 3);
    p.colourData[256 + 2] = 77;
    Load load(p.Build(), L"x.psd");
    ASSERT_EQ(kLoadOk, load.result);
    EXPECT_EQ((std::vector<uint8_t>{3, 0, 0, 255, 6, 77, 0, 255}), load.Rgba().px);

    p.colourData.resize(767);
    EXPECT_EQ(kLoadCorrupt, Load(p.Build(), L"x.psd").result);
    p.colourData.clear();
    EXPECT_EQ(kLoadCorrupt, Load(p.Build(), L"x.psd").result);
}

// Resources are walked by their padded names and sizes; one that does not
// fit its section ends the walk without harm, and no size wraps.
TEST(PsdTest, ResourcesOfEverySize) {
    const Bytes resolution = {0, 150, 0, 0, 0, 1, 0, 1, 0, 96, 0x80, 0, 0, 1, 0, 1};
    const Bytes iptc = {0x1C, 0x02, 0x19, 0x00, 0x02, 'h', 'i', 0x1C};
    PsdFile p = Rgb();
    p.resources = Resource(1005, resolution, "abc");
    readertest::Append(&p.resources, Resource(1000, {1, 2, 3}, "ab"));
    readertest::Append(&p.resources, Resource(1028, iptc));
    Load load(p.Build(), L"x.psd", Load::Options(kLoadKeepMetadata));
    ASSERT_EQ(kLoadOk, load.result);
    EXPECT_EQ(150, load.bitmap.xResolution);
    EXPECT_EQ(96, load.bitmap.yResolution);
    const MetadataBlock* block = FindMetadataBlock(load.bitmap.metadata, kMetadataIptc);
    ASSERT_NE(nullptr, block);
    Bytes want;
    readertest::AppendText(&want, "Photoshop 3.0");
    want.push_back(0);
    readertest::Append(&want, Resource(1028, iptc));
    EXPECT_EQ(want, Bytes(block->data, block->data + block->length));

    for (uint32_t size : {0xFFFFFFFFu, 0xFFFFFFF0u, 0x7FFFFFFFu, 100u}) {
        SCOPED_TRACE(size);
        PsdFile q = Rgb();
        q.resources = Resource(1005, resolution);
        Bytes bad = Resource(1028, iptc);
        for (int k = 0; k < 4; ++k) bad[size_t(8 + k)] = uint8_t(size >> (24 - 8 * k));
        readertest::Append(&q.resources, bad);
        Load l(q.Build(), L"x.psd", Load::Options(kLoadKeepMetadata));
        ASSERT_EQ(kLoadOk, l.result);
        EXPECT_EQ(150, l.bitmap.xResolution);
        EXPECT_EQ(nullptr, FindMetadataBlock(l.bitmap.metadata, kMetadataIptc));
        EXPECT_EQ((std::vector<uint8_t>{10, 20, 30, 255, 11, 21, 31, 255}), l.Rgba().px);
    }
}

// A kept metadata resource that claims more bytes than the file holds (its
// section claiming as many) is a file cut before the picture, whatever the
// claim; nothing of it is kept.
TEST(PsdTest, MetadataResourceLongerThanTheFile) {
    auto put32Be = [](Bytes* b, size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k) (*b)[at + size_t(k)] = uint8_t(v >> (24 - 8 * k));
    };
    for (uint32_t size : {100u, 60u << 20}) {
        SCOPED_TRACE(size);
        PsdFile p = Rgb();
        p.resources = Resource(1028, {0x1C, 0x02, 0x19, 0x00});
        Bytes file = p.Build();
        const size_t sectionAt = 26 + 4;  // after the header and the empty colour mode data
        put32Be(&file, sectionAt, size + 12);
        put32Be(&file, sectionAt + 4 + 8, size);
        EXPECT_EQ(kLoadNotRecognised, Load(file, L"x.psd", Load::Options(kLoadKeepMetadata)).result);
    }
}

// Layers: the index counts only layers with pixels, mask channels are passed
// over by their lengths, and an alpha channel lands on the fourth plane.
TEST(PsdTest, LayerN) {
    PsdFile p = Rgb();
    std::vector<Layer> layers = {
        {0, 0, 0, 0, {{0, Raw({})}, {1, Raw({})}, {2, Raw({})}}},
        {1, 2, 2, 4,
         {{-1, Raw({200, 201})}, {0, Raw({1, 2})}, {-2, Raw({9, 9, 9, 9, 9})}, {1, Raw({3, 4})}, {2, Raw({5, 6})}}},
        {0, 1, 1, 2, {{0, Raw({7})}, {1, Raw({8})}, {2, Raw({9})}, {-3, Raw({1, 2, 3})}}},
    };
    p.layers = LayerInfo(layers);
    const Bytes file = p.Build();
    struct Case {
        uint32_t index;
        std::vector<uint8_t> rgba;
        uint32_t left, top;
    } cases[] = {
        {0, {10, 20, 30, 255, 11, 21, 31, 255}, 0, 0},
        {1, {1, 3, 5, 200, 2, 4, 6, 201}, 2, 1},
        {2, {7, 8, 9, 255}, 1, 0},
        {3, {10, 20, 30, 255, 11, 21, 31, 255}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        Load load(file, L"x.psd", Load::Options(0, c.index));
        ASSERT_EQ(kLoadOk, load.result);
        EXPECT_EQ(c.rgba, load.Rgba().px);
        EXPECT_EQ(3u, load.info.imageCount);
        EXPECT_EQ(c.left, load.info.readerValues[0]);
        EXPECT_EQ(c.top, load.info.readerValues[1]);
    }
}

// Length-prefixed texts (layer names): the length byte and the text take an
// even number of bytes; an empty text still takes two.
TEST(PsdTest, LengthPrefixedText) {
    const struct {
        Bytes bytes;
        const char* text;  // null: none
        uint32_t size;
        int next;          // the byte after it, -1 for the end
    } cases[] = {
        {{1, 'L', 7}, "L", 2, 7},
        {{2, 'a', 'b', 0, 7}, "ab", 4, 7},
        {{0, 0, 7}, nullptr, 2, 7},
        {{3, 'a', 'b', 'c'}, "abc", 4, -1},
        {{2, 'a', 'b'}, nullptr, 0, -1},  // the pad byte is missing
        {{5, 'a'}, nullptr, 0, -1},
        {{0}, nullptr, 0, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.size());
        FileSource source;
        InitMemorySource(&source, c.bytes.data(), c.bytes.size());
        PictureFile* f = OpenPictureFile(&source, kOpenReadBinary);
        ASSERT_NE(nullptr, f);
        uint32_t size = 99;
        char* text = ReadLengthPrefixedText(f, &size);
        EXPECT_EQ(c.size, size);
        if (c.text) {
            ASSERT_NE(nullptr, text);
            EXPECT_STREQ(c.text, text);
        } else {
            EXPECT_EQ(nullptr, text);
        }
        EXPECT_EQ(c.next, ReadFileByte(f));
        std::free(text);
        ClosePictureFile(f);
    }
}

// Run-length layer channels, and layers whose records or data are broken.
TEST(PsdTest, LayerChannelData) {
    auto document = [](const std::vector<Layer>& layers) {
        PsdFile p = Rgb();
        p.layers = LayerInfo(layers);
        return p.Build();
    };
    // Each row: a PackBits run of 2 then one literal byte.
    const Bytes rle = {0, 1, 0, 4, 0, 4, 0xFF, 5, 0, 6, 0xFF, 7, 0, 8};
    Load packed(document({{0, 0, 2, 3, {{0, rle}, {1, rle}, {2, rle}}}}), L"x.psd", Load::Options(0, 1));
    ASSERT_EQ(kLoadOk, packed.result);
    EXPECT_EQ((std::vector<uint8_t>{5, 5, 5, 255, 5, 5, 5, 255, 6, 6, 6, 255,
                                    7, 7, 7, 255, 7, 7, 7, 255, 8, 8, 8, 255}),
              packed.Rgba().px);

    const Bytes zip = {0, 2, 0x78, 0x9C, 0x63, 0, 0, 0, 1, 0, 1};
    Load deflated(document({{0, 0, 1, 1, {{0, zip}, {1, Raw({1})}, {2, Raw({1})}}}}), L"x.psd",
                  Load::Options(0, 1));
    EXPECT_EQ(kLoadCorrupt, deflated.result);

    std::vector<Channel> many(57, Channel{0, Raw({1})});
    EXPECT_EQ(kLoadCorrupt, Load(document({{0, 0, 1, 1, many}}), L"x.psd").result);

    // Extra data longer than the layer info section.
    Bytes file = document({{0, 0, 1, 1, {{0, Raw({1})}}}});
    const size_t extraAt = file.size() - 8 - 3 - 12 - 4;  // composite, channel data, extra data, its length
    file[extraAt] = 0x7F;
    EXPECT_EQ(kLoadCorrupt, Load(file, L"x.psd").result);
}

// End of file in the rows is 4, never 1; the rows before stay when damaged
// files are accepted, and a cut before the first row stays 4.
TEST(PsdTest, CutRowsEndWithIncomplete) {
    PsdFile p = Rgb();
    p.height = 2;
    p.width = 1;
    p.composite = {0, 1, 0, 2, 0, 2, 0, 2, 0, 2, 0, 2, 0, 2};  // run-length counts
    for (uint8_t v : {10, 11, 20, 21, 30, 31}) p.composite.insert(p.composite.end(), {0, v});
    const Bytes file = p.Build();
    ASSERT_EQ(kLoadOk, Load(file, L"x.psd").result);
    // 4 cuts into the last plane's rows; 14 leaves the run-length counts
    // but no row; 17 cuts into the counts.
    const struct {
        size_t cut;
        bool rowsArrived;
    } cases[] = {{4, true}, {14, false}, {17, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cut);
        const Bytes part = readertest::Cut(file, file.size() - c.cut);
        EXPECT_EQ(kLoadIncomplete, Load(part, L"x.psd").result);
        Load damaged(part, L"x.psd", Load::Options(kLoadAcceptDamaged));
        EXPECT_EQ(c.rowsArrived ? kLoadOk : kLoadIncomplete, damaged.result);
        EXPECT_EQ(c.rowsArrived, damaged.bitmap.pixels != nullptr);
    }
    Load partial(readertest::Cut(file, file.size() - 4), L"x.psd", Load::Options(kLoadAcceptDamaged));
    EXPECT_EQ((std::vector<uint8_t>{10, 20, 0, 255, 11, 21, 0, 255}), partial.Rgba().px);
    // Cut in the header and the sections before the picture is begun.
    for (size_t n : {size_t(10), size_t(27), size_t(33)})
        EXPECT_EQ(kLoadNotRecognised, Load(readertest::Cut(file, n), L"x.psd").result);
}

}  // namespace
