// Save dispatch, writer callbacks and the save-side row converters, seen
// through a test writer that declares a row layout and records what
// GetScanlines hands it.
#include "imagelib/save.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imagelib/savecontext.h"
#include "imagelib/textutil.h"
#include "save_support.h"
#include "tests/support/testfiles.h"

namespace {

using save_testing::MakeBitmap;
using save_testing::SetPalette;
using save_testing::TestBitmap;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;
using Bytes = std::vector<uint8_t>;

// What the test writer declares and what it saw.
struct Recorder {
    std::function<void(WriteHeader*)> layout;  // fills the header after it was cleared
    int rowsPerRequest = 1;
    bool continueRows = false;                 // ask with first row -1
    size_t paletteBytes = 0;
    int beginResult = -99;
    size_t lineLength = 0;
    std::vector<Bytes> rows;
    Bytes palette;
    int64_t options[3] = {};
    int bits[5] = {};
};
Recorder* g_recorder = nullptr;

int RecordingWriter(FileSource* source, SaveContext* ctx) {
    Recorder& r = *g_recorder;
    const WriterCallbacks& cb = ctx->callbacks;
    for (int i = 0; i < 3; ++i) r.options[i] = cb.getSaveOption(ctx, i);
    PictureFile* f = cb.openPictureFile(source, kOpenWriteBinary);
    if (!f) return kSaveCannotCreate;
    WriteHeader h;
    cb.clearWriteHeader(&h);
    std::snprintf(h.description, sizeof h.description, "Recorder");
    if (r.layout) r.layout(&h);
    r.beginResult = cb.beginWrite(ctx, &h);
    if (r.beginResult) {
        cb.closePictureFile(f);
        return r.beginResult;
    }
    r.lineLength = ctx->row.outputLineLength;
    if (r.paletteBytes) r.palette.assign(h.palette, h.palette + r.paletteBytes);
    int result = 0;
    const int32_t height = ctx->picture.height;
    for (int32_t y = 0; y < height && result == 0; y += r.rowsPerRequest) {
        const int32_t n = std::min(r.rowsPerRequest, height - y);
        result = cb.getScanlines(ctx, r.continueRows ? -1 : y, n);
        if (result) break;
        for (int32_t k = 0; k < n; ++k) {
            const uint8_t* line = h.rowBuffer + size_t(k) * r.lineLength;
            r.rows.emplace_back(line, line + r.lineLength);
            WriteFileBytes(f, line, r.lineLength);
        }
    }
    cb.endWrite(ctx);
    if (cb.closePictureFile(f) && !result) result = kSaveWriteFailed;
    return result;
}

// Capability records of the "caps" row, set per test.
std::vector<FormatCapability> g_capabilities;
void TestCapabilities(FormatCapability* records, const FormatRow*) {
    for (size_t i = 0; i < g_capabilities.size(); ++i) records[i] = g_capabilities[i];
}

enum TestFormat { kRecorder = 0, kNoWriter = 1, kCaps = 2 };
const FormatRow kTestTable[] = {
    {0, "rec", "Recorder", nullptr, nullptr, nullptr, RecordingWriter, nullptr, 0, 0, {"rec", "rc"}},
    {0, "nowr", "No writer", nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, {"nw"}},
    {0, "caps", "Capabilities", nullptr, nullptr, nullptr, RecordingWriter, TestCapabilities, 0, 0, {"cap"}},
};

class SaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterFormatsFromTable(kTestTable, 3);
        g_recorder = &rec;
        g_capabilities.clear();
        InitSaveOptions(&options);
        options.formatIndex = kRecorder;
    }
    void TearDown() override {
        g_recorder = nullptr;
        FreeFormatRegistry();
    }
    int Save(const Bitmap* b, const std::string& name = "out.rec") {
        return SavePictureToFile(dir.File(name).c_str(), b, &options);
    }

    ScratchDir dir;
    Recorder rec;
    SaveOptions options;
};

// ---------------------------------------------------------------------------
// Converters: one bitmap, one declared layout, the rows and palette expected.

struct ConvertCase {
    const char* name;
    uint16_t type;
    int32_t width, height;
    Bytes pixels;
    std::function<void(Bitmap*)> prepare;
    std::function<void(WriteHeader*)> layout;
    std::vector<Bytes> rows;
    Bytes palette;  // expected leading palette bytes, when not empty
};

void Layout(WriteHeader* h, int planes, int bits, uint32_t flags = 0, uint32_t bytesPerPlane = 0,
            uint16_t paletteLayout = 0, uint16_t paletteBits = 0) {
    h->planes = int16_t(planes);
    h->bitsPerPlane = int16_t(bits);
    h->flags = flags;
    h->bytesPerPlane = bytesPerPlane;
    h->paletteLayout = paletteLayout;
    h->paletteBits = paletteBits;
}

TEST_F(SaveTest, ConvertersProduceTheDeclaredLayout) {
    const ConvertCase cases[] = {
        {"cmyk to rgb", kPixelCMYK, 3, 1, {0, 0, 0, 0, 0, 0, 0, 255, 255, 0, 0, 0}, nullptr,
         [](WriteHeader* h) { Layout(h, 1, 24); }, {{255, 255, 255, 0, 0, 0, 0, 255, 255}}},
        {"cmyk inverted", kPixelCMYK, 1, 1, {0, 10, 200, 255}, nullptr,
         [](WriteHeader* h) { Layout(h, 1, 32, kWriteCmykInverted); }, {{255, 245, 55, 0}}},
        {"cmyk kept", kPixelCMYK, 1, 1, {1, 2, 3, 4}, nullptr, [](WriteHeader* h) { Layout(h, 1, 32, kWriteCmyk); },
         {{1, 2, 3, 4}}},
        {"rgba as abgr", kPixelRGBA, 2, 1, {1, 2, 3, 4, 5, 6, 7, 8}, nullptr,
         [](WriteHeader* h) { Layout(h, 1, 32, kWriteReversed); }, {{4, 3, 2, 1, 8, 7, 6, 5}}},
        {"argb as bgra", kPixelARGB, 1, 1, {9, 1, 2, 3}, nullptr, [](WriteHeader* h) { Layout(h, 1, 32, kWriteBgra); },
         {{3, 2, 1, 9}}},
        {"abgr as argb", kPixelABGR, 1, 1, {9, 3, 2, 1}, nullptr,
         [](WriteHeader* h) { Layout(h, 1, 32, kWriteAlphaFirst); }, {{9, 1, 2, 3}}},
        {"bgra to 24 bits drops alpha", kPixelBGRA, 1, 1, {3, 2, 1, 9}, nullptr, [](WriteHeader* h) { Layout(h, 1, 24); },
         {{1, 2, 3}}},
        {"bgr to bgr", kPixelBGR, 2, 1, {3, 2, 1, 6, 5, 4}, nullptr,
         [](WriteHeader* h) { Layout(h, 1, 24, kWriteReversed); }, {{3, 2, 1, 6, 5, 4}}},
        {"rgb into 32 bits gets alpha 0", kPixelRGB, 1, 1, {1, 2, 3}, nullptr, [](WriteHeader* h) { Layout(h, 1, 32); },
         {{1, 2, 3, 0}}},
        {"rgb as three planes", kPixelRGB, 2, 1, {1, 2, 3, 4, 5, 6}, nullptr, [](WriteHeader* h) { Layout(h, 3, 8, 0, 2); },
         {{1, 4, 2, 5, 3, 6}}},
        {"rgba as four reversed planes", kPixelRGBA, 2, 1, {1, 2, 3, 4, 5, 6, 7, 8}, nullptr,
         [](WriteHeader* h) { Layout(h, 4, 8, kWriteReversed, 2); }, {{4, 8, 3, 7, 2, 6, 1, 5}}},
        // 4-level grey into 8 bits without a palette: a spread ramp.
        {"grey ramp", kPixelGrey, 4, 1, {0, 1, 2, 3}, [](Bitmap* b) { b->paletteCount = 4; },
         [](WriteHeader* h) { Layout(h, 1, 8); }, {{0, 85, 170, 255}}},
        {"grey ramp inverted", kPixelGrey, 4, 1, {0, 1, 2, 3}, [](Bitmap* b) { b->paletteCount = 4; },
         [](WriteHeader* h) { Layout(h, 1, 8, kWriteGreyInverted); }, {{255, 170, 85, 0}}},
        // A grey bitmap with no usable level count is a full 0..255 ramp.
        {"grey without levels", kPixelGrey, 3, 1, {0, 128, 255}, [](Bitmap* b) { b->paletteCount = 1; },
         [](WriteHeader* h) { Layout(h, 1, 8); }, {{0, 128, 255}}},
        {"grey without levels, palette", kPixelGrey, 1, 1, {7}, [](Bitmap* b) { b->paletteCount = 0; },
         [](WriteHeader* h) { Layout(h, 1, 8, 0, 0, kPaletteTriples, 8); }, {{7}}, {0, 0, 0, 1, 1, 1, 2, 2, 2}},
        {"bilevel to grey bytes", kPixelBilevel, 3, 1, {0xA0}, nullptr, [](WriteHeader* h) { Layout(h, 1, 8); },
         {{255, 0, 255}}},
        {"bilevel to index bytes", kPixelBilevel, 3, 1, {0xA0}, nullptr,
         [](WriteHeader* h) { Layout(h, 1, 8, 0, 0, kPaletteTriples, 8); }, {{1, 0, 1}}, {0, 0, 0, 255, 255, 255}},
        {"bilevel one byte a pixel", kPixelBilevel, 3, 1, {0xA0}, nullptr,
         [](WriteHeader* h) { Layout(h, 1, 8, kWriteBytePerPixel); }, {{1, 0, 1}}},
        {"bilevel row padding cleared", kPixelBilevel, 3, 1, {0xBF}, nullptr, [](WriteHeader* h) { Layout(h, 1, 1); },
         {{0xA0}}},
        {"bilevel inverted 1-bit", kPixelBilevel, 10, 1, {0xA0, 0x40}, nullptr,
         [](WriteHeader* h) { Layout(h, 1, 1, kWriteGreyInverted); }, {{0x5F, 0x80}}},
        {"bilevel into 2-bit pixels", kPixelBilevel, 5, 1, {0xA8}, nullptr,
         [](WriteHeader* h) { Layout(h, 1, 2, 0, 0, kPaletteTriples, 8); }, {{0x44, 0x40}}},
        {"4-bit pixels, odd width", kPixelPalette, 3, 1, {1, 2, 3}, [](Bitmap* b) { b->paletteCount = 16; },
         [](WriteHeader* h) { Layout(h, 1, 4, 0, 0, kPaletteTriples, 8); }, {{0x12, 0x30}}},
        {"2-bit pixels", kPixelPalette, 5, 1, {3, 2, 1, 0, 3}, [](Bitmap* b) { b->paletteCount = 4; },
         [](WriteHeader* h) { Layout(h, 1, 2, 0, 0, kPaletteTriples, 8); }, {{0xE4, 0xC0}}},
        // Four 1-bit planes, one after another.
        {"line bit planes", kPixelPalette, 8, 1, {0, 1, 2, 3, 4, 5, 6, 15}, [](Bitmap* b) { b->paletteCount = 16; },
         [](WriteHeader* h) { Layout(h, 4, 1, 0, 1, kPaletteTriples, 8); }, {{0x55, 0x33, 0x0F, 0x01}}},
        // 20 pixels: one whole group of 16 and a final partial group of 4.
        {"interleaved planes, partial group", kPixelPalette, 20, 1,
         {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 2, 0, 0, 1}, [](Bitmap* b) { b->paletteCount = 4; },
         [](WriteHeader* h) { Layout(h, 2, 1, kWriteInterleavedPlanes, 4, kPaletteTriples, 8); },
         {{0x80, 0x01, 0x00, 0x01, 0x10, 0x00, 0x80, 0x00}}},
    };
    for (const ConvertCase& c : cases) {
        SCOPED_TRACE(c.name);
        rec = Recorder{};
        rec.layout = c.layout;
        rec.paletteBytes = c.palette.size();
        TestBitmap b;
        MakeBitmap(&b, c.type, c.width, c.height, c.pixels);
        if (c.prepare) c.prepare(b.get());
        ASSERT_EQ(kSaveOk, Save(b.get()));
        EXPECT_EQ(c.rows, rec.rows);
        if (!c.palette.empty()) {
            EXPECT_EQ(c.palette, rec.palette);
        }
    }
}

TEST_F(SaveTest, WriterPaletteLayouts) {
    TestBitmap b;
    MakeBitmap(&b, kPixelPalette, 1, 1, {0});
    SetPalette(b.get(), {0xFF0000, 0x00FF00, 0x808080, 0x0000FF});
    b->paletteCount = 16;
    struct Case {
        const char* name;
        uint16_t layout;
        uint16_t bits;
        Bytes expected;
    } cases[] = {
        // Words R << 8 | G << 4 | B, big-endian.
        {"4-4-4 words", kPaletteWords444, 8, {0x0F, 0x00, 0x00, 0xF0, 0x07, 0x77, 0x00, 0x0F}},
        {"3-3-3 words", kPaletteWords333, 8, {0x07, 0x00, 0x00, 0x70, 0x03, 0x33, 0x00, 0x07}},
        // 4-bit fields with the low bit rotated to the top: 15 -> 15, 7 -> 11.
        {"rotated 4-4-4 words", kPaletteWords444Rot, 8, {0x0F, 0x00, 0x00, 0xF0, 0x0B, 0xBB, 0x00, 0x0F}},
        {"triples", kPaletteTriples, 8, {255, 0, 0, 0, 255, 0, 128, 128, 128, 0, 0, 255}},
        {"triples bgr", kPaletteTriples | kPaletteBgr, 8, {0, 0, 255, 0, 255, 0, 128, 128, 128, 255, 0, 0}},
        {"triples inverted", kPaletteTriples | kPaletteInverted, 8, {0, 255, 255, 255, 0, 255}},
        {"triples of 6 bits", kPaletteTriples, 6, {63, 0, 0, 0, 63, 0, 31, 31, 31}},
        {"triples of 16 bits", kPaletteTriples, 16, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0}},
        // Three arrays of 16 entries: reds first.
        {"planar", kPalettePlanar, 8, {255, 0, 128, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rec = Recorder{};
        rec.layout = [&](WriteHeader* h) { Layout(h, 1, 4, 0, 0, c.layout, c.bits); };
        rec.paletteBytes = c.expected.size();
        ASSERT_EQ(kSaveOk, Save(b.get()));
        EXPECT_EQ(c.expected, rec.palette);
    }
    // Planar with blue first: the blue array starts the table, 16 entries a plane.
    rec = Recorder{};
    rec.layout = [](WriteHeader* h) { Layout(h, 1, 4, 0, 0, kPalettePlanar | kPaletteBgr, 8); };
    rec.paletteBytes = 48;
    ASSERT_EQ(kSaveOk, Save(b.get()));
    EXPECT_EQ(Bytes({0, 0, 128, 255}), Bytes(rec.palette.begin(), rec.palette.begin() + 4));
    EXPECT_EQ(Bytes({255, 0, 128, 0}), Bytes(rec.palette.begin() + 32, rec.palette.begin() + 36));
}

TEST_F(SaveTest, OrientationFlipsAndMirrorsEveryDepth) {
    struct Case {
        const char* name;
        uint16_t type;
        int32_t width;
        Bytes pixels;  // two rows
        int bits;
        uint32_t flags;
        std::vector<Bytes> rows;  // bottom-up and mirrored
    } cases[] = {
        {"grey odd width", kPixelGrey, 3, {1, 2, 3, 4, 5, 6}, 8, 0, {{6, 5, 4}, {3, 2, 1}}},
        {"grey even width", kPixelGrey, 2, {1, 2, 3, 4}, 8, 0, {{4, 3}, {2, 1}}},
        {"rgb", kPixelRGB, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 24, 0, {{10, 11, 12, 7, 8, 9}, {4, 5, 6, 1, 2, 3}}},
        {"rgba into 24 bits", kPixelRGBA, 2, {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0}, 24, 0,
         {{10, 11, 12, 7, 8, 9}, {4, 5, 6, 1, 2, 3}}},
        // 1-bit rows are mirrored bit by bit over the width.
        {"bilevel 1-bit", kPixelBilevel, 10, {0xC0, 0x40, 0x00, 0x80}, 1, 0, {{0x40, 0x00}, {0x80, 0xC0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rec = Recorder{};
        rec.layout = [&](WriteHeader* h) {
            Layout(h, 1, c.bits, c.flags);
            h->orientation = kWriteBottomUp | kWriteMirrored;
        };
        TestBitmap b;
        MakeBitmap(&b, c.type, c.width, 2, c.pixels);
        ASSERT_EQ(kSaveOk, Save(b.get()));
        EXPECT_EQ(c.rows, rec.rows);
    }
    // A bitmap that is itself bottom-up cancels the writer's wish.
    rec = Recorder{};
    rec.layout = [](WriteHeader* h) {
        Layout(h, 1, 8);
        h->orientation = kWriteBottomUp;
    };
    TestBitmap b;
    MakeBitmap(&b, kPixelGrey, 1, 2, {1, 2});
    b->orientation = kWriteBottomUp;
    ASSERT_EQ(kSaveOk, Save(b.get()));
    EXPECT_EQ(std::vector<Bytes>({{1}, {2}}), rec.rows);
}

TEST_F(SaveTest, DeepSamplesAreNarrowedOrRefused) {
    TestBitmap b;
    ASSERT_TRUE(AllocBitmapWithDepth(b.get(), kPixelRGB, 4, 2, 1, 16));
    const uint16_t samples[6] = {0, 65535, 32768, 257, 1000, 65280};
    std::memcpy(b->pixels, samples, sizeof samples);
    rec.layout = [](WriteHeader* h) { Layout(h, 1, 24, kWriteReversed); };
    ASSERT_EQ(kSaveOk, Save(b.get()));
    EXPECT_EQ(std::vector<Bytes>({{127, 255, 0, 254, 3, 1}}), rec.rows);

    // 12-bit grey samples scale by their own maximum.
    TestBitmap g;
    ASSERT_TRUE(AllocBitmapWithDepth(g.get(), kPixelGrey, 4, 2, 1, 12));
    const uint16_t grey[2] = {4095, 2048};
    std::memcpy(g->pixels, grey, sizeof grey);
    rec = Recorder{};
    rec.layout = [](WriteHeader* h) { Layout(h, 1, 8); };
    ASSERT_EQ(kSaveOk, Save(g.get()));
    EXPECT_EQ(std::vector<Bytes>({{255, 127}}), rec.rows);

    // A writer that asks for samples deeper than 8 bits gets 7.
    rec = Recorder{};
    rec.layout = [](WriteHeader* h) {
        h->components = 3;
        h->bitsPerSample = 16;
    };
    EXPECT_EQ(kSaveRefused, Save(b.get()));
    EXPECT_EQ(kSaveRefused, rec.beginResult);
}

TEST_F(SaveTest, LayoutsThatCannotBeMadeAreRefused) {
    TestBitmap rgb, grey;
    MakeBitmap(&rgb, kPixelRGB, 2, 1, {});
    MakeBitmap(&grey, kPixelGrey, 2, 1, {});
    const struct {
        const char* name;
        const Bitmap* bitmap;
        std::function<void(WriteHeader*)> layout;
    } cases[] = {
        {"colour into 8 bits", rgb.get(), [](WriteHeader* h) { Layout(h, 1, 8); }},
        {"grey into 24 bits", grey.get(), [](WriteHeader* h) { Layout(h, 1, 24); }},
        {"more than 32 bits", rgb.get(), [](WriteHeader* h) { Layout(h, 5, 8); }},
        {"no bits", grey.get(), [](WriteHeader* h) { Layout(h, 0, 8); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rec = Recorder{};
        rec.layout = c.layout;
        EXPECT_EQ(kSaveRefused, Save(c.bitmap));
    }
}

TEST_F(SaveTest, RowsPerCallAndContinuation) {
    TestBitmap b;
    MakeBitmap(&b, kPixelGrey, 2, 5, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    rec.layout = [](WriteHeader* h) {
        Layout(h, 1, 8);
        h->rowsPerCall = 2;
    };
    rec.rowsPerRequest = 2;
    rec.continueRows = true;
    ASSERT_EQ(kSaveOk, Save(b.get()));
    EXPECT_EQ(std::vector<Bytes>({{1, 2}, {3, 4}, {5, 6}, {7, 8}, {9, 10}}), rec.rows);
}

// A writer that misuses GetScanlines is stopped before a row is packed.
int g_badRequestResults[4];
int BadRequestWriter(FileSource* source, SaveContext* ctx) {
    ctx->callbacks.closePictureFile(ctx->callbacks.openPictureFile(source, kOpenWriteBinary));
    WriteHeader h;
    ctx->callbacks.clearWriteHeader(&h);
    h.bitsPerPlane = 8;
    g_badRequestResults[0] = ctx->callbacks.getScanlines(ctx, 0, 1);  // before BeginWrite
    if (ctx->callbacks.beginWrite(ctx, &h)) return 99;
    g_badRequestResults[1] = ctx->callbacks.getScanlines(ctx, ctx->picture.height, 1);
    g_badRequestResults[2] = ctx->callbacks.getScanlines(ctx, 0, 2);  // rows per call is 1
    g_badRequestResults[3] = ctx->callbacks.getScanlines(ctx, -5, 1);
    ctx->callbacks.endWrite(ctx);
    return 0;
}

TEST(SaveDispatch, GetScanlinesChecksItsRequest) {
    const FormatRow table[] = {
        {0, "bad", "Bad", nullptr, nullptr, nullptr, BadRequestWriter, nullptr, 0, 0, {"bad"}}};
    RegisterFormatsFromTable(table, 1);
    TestBitmap b;
    MakeBitmap(&b, kPixelGrey, 4, 3, {});
    SaveOptions o;
    InitSaveOptions(&o);
    o.formatIndex = 0;
    ScratchDir dir;
    EXPECT_EQ(0, SavePictureToFile(dir.File("x.bad").c_str(), b.get(), &o));
    for (int r : g_badRequestResults) EXPECT_EQ(kSaveBadRowRequest, r);
    FreeFormatRegistry();
}

// ---------------------------------------------------------------------------
// Dispatch.

TEST_F(SaveTest, UnknownFormatsAndWritersGive8) {
    TestBitmap b;
    MakeBitmap(&b, kPixelGrey, 2, 2, {});
    for (int index : {-1, 3, 60, int(kNoWriter)}) {
        options.formatIndex = int16_t(index);
        EXPECT_EQ(kSaveNoWriter, Save(b.get())) << index;
    }
    EXPECT_FALSE(testing_support::fs::exists(dir.path() / "out.rec"));
}

TEST_F(SaveTest, CapabilityRecords) {
    options.formatIndex = kCaps;
    TestBitmap p16, p17, rgba, grey, bilevel;
    MakeBitmap(&p16, kPixelPalette, 1, 1, {});
    p16->paletteCount = 16;
    MakeBitmap(&p17, kPixelPalette, 1, 1, {});
    p17->paletteCount = 17;
    MakeBitmap(&rgba, kPixelRGBA, 1, 1, {});
    MakeBitmap(&grey, kPixelGrey, 1, 1, {});
    MakeBitmap(&bilevel, kPixelBilevel, 1, 1, {});
    auto layoutFor = [](const Bitmap* b) {
        return [b](WriteHeader* h) { Layout(h, 1, (b->pixelType & kPixelMaskColour) ? 32 : 8); };
    };
    const FormatCapability kAny = {kCapabilityEmpty, 0, -1, -1, nullptr};
    const struct {
        const char* name;
        std::vector<FormatCapability> records;
        const Bitmap* bitmap;
        int result;
    } cases[] = {
        {"no records: anything", {}, rgba.get(), kSaveOk},
        {"16 colours at most: 16", {{kPixelPalette, 16, -1, -1, nullptr}}, p16.get(), kSaveOk},
        {"16 colours at most: 17", {{kPixelPalette, 16, -1, -1, nullptr}}, p17.get(), kSaveRefused},
        {"any count", {{kPixelPalette, 65535, -1, -1, nullptr}}, p17.get(), kSaveOk},
        {"rgba through the 3-byte family", {{kPixelMask3Byte, 0, -1, -1, nullptr}}, rgba.get(), kSaveOk},
        {"grey only", {{kPixelGrey, 65535, -1, -1, nullptr}, kAny}, rgba.get(), kSaveRefused},
        {"bilevel by type bit", {{kPixelGrey, 2, -1, -1, nullptr}, {kPixelBilevel, 0, -1, -1, nullptr}}, bilevel.get(),
         kSaveOk},
        {"grey with too few colours", {{kPixelGrey, 16, -1, -1, nullptr}}, grey.get(), kSaveRefused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rec = Recorder{};
        rec.layout = layoutFor(c.bitmap);
        g_capabilities = c.records;
        EXPECT_EQ(c.result, Save(c.bitmap));
    }
}

TEST_F(SaveTest, ExtensionsAndNameCopy) {
    TestBitmap b;
    MakeBitmap(&b, kPixelGrey, 1, 1, {});
    rec.layout = [](WriteHeader* h) { Layout(h, 1, 8); };
    options.flags = kSaveSetExtension | kSaveCopyNameBack;
    const struct {
        const char* given;
        const char* written;
    } cases[] = {
        {"photo.bmp", "photo.rec"},
        {"image.001", "image.001.rec"},
        {".profile", ".profile.rec"},
        {"plain", "plain.rec"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        wchar_t out[512] = L"unchanged";
        EXPECT_EQ(kSaveOk, SavePictureToFile(dir.File(c.given).c_str(), b.get(), &options, out, 512));
        EXPECT_EQ(dir.File(c.written), std::wstring(out));
        EXPECT_TRUE(testing_support::fs::exists(dir.path() / c.written));
    }

    // A capability record's extension wins over the format's default.
    options.formatIndex = kCaps;
    g_capabilities = {{kPixelGrey, 65535, -1, -1, "gry"}};
    wchar_t out[512];
    EXPECT_EQ(kSaveOk, SavePictureToFile(dir.File("shot.bmp").c_str(), b.get(), &options, out, 512));
    EXPECT_EQ(dir.File("shot.gry"), std::wstring(out));

    // A name that does not fit the caller's buffer is refused before writing.
    options.formatIndex = kRecorder;
    const std::wstring longName = dir.File("long.bmp");
    wchar_t small[512];
    CopyWideTextBounded(small, 512, L"keep");
    EXPECT_EQ(kSaveCannotCreate,
              SavePictureToFile(longName.c_str(), b.get(), &options, small, longName.size()));
    EXPECT_EQ(std::wstring(L"keep"), std::wstring(small));
    EXPECT_FALSE(testing_support::fs::exists(dir.path() / "long.rec"));
}

TEST_F(SaveTest, CannotCreate) {
    TestBitmap b;
    MakeBitmap(&b, kPixelGrey, 1, 1, {});
    rec.layout = [](WriteHeader* h) { Layout(h, 1, 8); };
    EXPECT_EQ(kSaveCannotCreate, Save(b.get(), "no-such-folder/out.rec"));
    EXPECT_EQ(kSaveCannotCreate, SavePicture(nullptr, nullptr, b.get(), &options));
}

int CancelAtRow(int32_t row, int32_t height, uintptr_t user) {
    auto* seen = reinterpret_cast<std::vector<int32_t>*>(user);
    seen->push_back(row);
    return row == 1 ? 1 : 0;
}

TEST_F(SaveTest, CancelKeepsTheOldFileAndLeavesNothingBehind) {
    const std::wstring target = dir.File("old.rec");
    WriteBytes(target, {'o', 'l', 'd'});
    TestBitmap b;
    MakeBitmap(&b, kPixelGrey, 1, 4, {1, 2, 3, 4});
    rec.layout = [](WriteHeader* h) { Layout(h, 1, 8); };
    std::vector<int32_t> seen;
    options.progressCallback = CancelAtRow;
    options.progressUser = reinterpret_cast<uintptr_t>(&seen);
    EXPECT_EQ(kSaveCancelled, Save(b.get(), "old.rec"));
    EXPECT_EQ(std::vector<int32_t>({0, 1}), seen);
    EXPECT_EQ(Bytes({'o', 'l', 'd'}), ReadBytes(target));
    int files = 0;
    for (const auto& e : testing_support::fs::directory_iterator(dir.path())) files += e.is_regular_file();
    EXPECT_EQ(1, files);

    // The same save without a cancel replaces the old file.
    seen.clear();
    options.progressCallback = nullptr;
    rec = Recorder{};
    rec.layout = [](WriteHeader* h) { Layout(h, 1, 8); };
    EXPECT_EQ(kSaveOk, Save(b.get(), "old.rec"));
    EXPECT_EQ(Bytes({1, 2, 3, 4}), ReadBytes(target));

    // A writer that turns the progress callback off is never cancelled.
    options.progressCallback = CancelAtRow;
    rec = Recorder{};
    rec.layout = [](WriteHeader* h) {
        Layout(h, 1, 8);
        h->flags = kWriteNoProgress;
    };
    EXPECT_EQ(kSaveOk, Save(b.get(), "old.rec"));
    EXPECT_TRUE(seen.empty());
}

int ProvideRows(uint8_t* row, int32_t index, int32_t count, uintptr_t user) {
    if (index == int32_t(user)) return 42;
    row[0] = uint8_t(10 + index);
    row[1] = uint8_t(20 + index);
    return 0;
}

TEST_F(SaveTest, RowProvider) {
    Bitmap b{};
    b.width = 2;
    b.height = 3;
    b.pixelType = kPixelGrey;
    b.paletteCount = 256;
    b.bitsPerSample = 8;
    rec.layout = [](WriteHeader* h) { Layout(h, 1, 8); };
    EXPECT_EQ(kSaveRefused, Save(&b));  // no pixels and no provider
    options.rowProvider = ProvideRows;
    options.rowProviderUser = 99;
    rec = Recorder{};
    rec.layout = [](WriteHeader* h) { Layout(h, 1, 8); };
    ASSERT_EQ(kSaveOk, Save(&b));
    EXPECT_EQ(std::vector<Bytes>({{10, 20}, {11, 21}, {12, 22}}), rec.rows);
    options.rowProviderUser = 1;
    rec = Recorder{};
    rec.layout = [](WriteHeader* h) { Layout(h, 1, 8); };
    EXPECT_EQ(42, Save(&b));
}

TEST_F(SaveTest, BitmapsThatAreNotPicturesAreRefused) {
    TestBitmap b;
    MakeBitmap(&b, kPixelRGB, 4, 2, {});
    rec.layout = [](WriteHeader* h) { Layout(h, 1, 24); };
    Bitmap bad = *b.get();
    bad.bytesPerRow = 11;  // shorter than 4 RGB pixels
    EXPECT_EQ(kSaveRefused, Save(&bad));
    bad = *b.get();
    bad.pixelType = 3;
    EXPECT_EQ(kSaveRefused, Save(&bad));
    bad = *b.get();
    bad.height = 0;
    EXPECT_EQ(kSaveRefused, Save(&bad));
    EXPECT_EQ(kSaveRefused, Save(nullptr));
}

TEST_F(SaveTest, SaveOptionsReachTheWriter) {
    TestBitmap b;
    MakeBitmap(&b, kPixelGrey, 1, 1, {});
    rec.layout = [](WriteHeader* h) { Layout(h, 1, 8); };
    options.quality = 75;
    options.secondSaveValue = -3;
    options.thirdSaveValue = 4000000000u;
    ASSERT_EQ(kSaveOk, Save(b.get()));
    EXPECT_EQ(75, rec.options[0]);
    EXPECT_EQ(-3, rec.options[1]);
    EXPECT_EQ(4000000000ll, rec.options[2]);
}

TEST(SaveDispatch, BitsForColourCount) {
    const int table[][2] = {{0, 1},  {2, 1},  {3, 2},  {4, 2},   {5, 3},   {8, 3},    {9, 4},
                            {16, 4}, {17, 5}, {33, 6}, {65, 7},  {128, 7}, {129, 8}, {256, 8}, {1000, 8}};
    for (const auto& row : table) EXPECT_EQ(row[1], BitsForColourCount(row[0])) << row[0];
}

TEST_F(SaveTest, VerboseAndProgressBarGoToStandardError) {
    TestBitmap b;
    MakeBitmap(&b, kPixelGrey, 1, 7, {});
    rec.layout = [](WriteHeader* h) { Layout(h, 1, 8); };
    options.flags = kSaveVerbose | kSaveProgressBar;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    ASSERT_EQ(kSaveOk, Save(b.get(), "v.rec"));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    const std::string name = WideToUtf8(dir.File("v.rec").c_str());
    const std::string expected = "A Recorder was writen : " + name + "\n    Width:1 Height:7 with 256 colors\n" +
                                 std::string(60, '-') + "\r" + std::string(60, '*') + "\n";
    EXPECT_EQ(expected, err);
}

}  // namespace
