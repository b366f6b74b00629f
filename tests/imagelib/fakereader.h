// A scripted reader for the load pipeline tests. Each fake format row has a
// magic; its reader opens the file through the callbacks, answers 2 when the
// magic differs, and otherwise declares the scripted picture, delivers the
// scripted rows and ends with the scripted palette and result.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "imagelib/loadcontext.h"
#include "tests/support/pictures.h"

namespace fake {

// One call of PutScanlines (strip false) or PutStripRows (strip true).
struct Delivery {
    int plane = -1;
    int first = -1;
    int count = 1;
    std::vector<uint8_t> rows;  // copied into the row buffer first
    bool strip = false;
    int x = 0;
    int columns = 0;
};

struct Picture {
    ImageHeader header;
    std::vector<Delivery> deliveries;
    bool hasPalette = false;
    bool declarePalette = false;  // also in the header, before the rows
    uint16_t paletteLayout = 0;
    int paletteBits = 8;
    std::vector<uint8_t> palette;
    int result = 0;               // returned after EndImage
    int earlyResult = 0;          // when non-zero: returned before BeginImage
    bool endImage = true;
    std::function<void(LoadContext*)> beforeBegin;  // metadata, texts ...
    std::function<void(LoadContext*)> afterRows;

    Picture() { ClearImageHeader(&header); }
};

struct ReaderState {
    std::string magic;
    Picture picture;
    int calls = 0;
    int beginResult = 0;          // what BeginImage answered
    std::vector<int> putResults;
    int64_t fileSize = -1;        // as the reader's own open reported
};

inline ReaderState g_readers[5];
inline std::vector<int> g_callOrder;

inline int RunReader(int id, FileSource* source, LoadContext* ctx) {
    ReaderState& r = g_readers[id];
    ++r.calls;
    g_callOrder.push_back(id);
    PictureFile* file = ctx->callbacks.openSource(source, kOpenReadBinary);
    if (!file) return kLoadCannotOpen;
    r.fileSize = file->size;
    std::string head(r.magic.size(), '\0');
    const size_t got = ReadFileBytes(file, &head[0], head.size());
    ctx->callbacks.closeSource(file);
    if (got != head.size() || head != r.magic) return kLoadNotRecognised;

    Picture& p = r.picture;
    if (p.beforeBegin) p.beforeBegin(ctx);
    if (p.earlyResult != 0) return p.earlyResult;
    ImageHeader h = p.header;
    if (p.declarePalette) {
        h.palette = p.palette.data();
        h.paletteLayout = p.paletteLayout;
        h.paletteBits = int16_t(p.paletteBits);
    }
    r.beginResult = ctx->callbacks.beginImage(ctx, &h);
    if (r.beginResult != 0) return r.beginResult;
    int result = 0;
    for (const Delivery& d : p.deliveries) {
        if (!d.rows.empty()) std::memcpy(h.rowBuffer, d.rows.data(), d.rows.size());
        result = d.strip ? PutStripRows(ctx, d.plane, d.first, d.count, d.x, d.columns)
                         : ctx->callbacks.putScanlines(ctx, d.plane, d.first, d.count);
        r.putResults.push_back(result);
        if (result != 0) break;
    }
    if (p.afterRows) p.afterRows(ctx);
    if (p.endImage)
        ctx->callbacks.endImage(ctx, p.paletteLayout, p.paletteBits, p.hasPalette ? p.palette.data() : nullptr);
    return result != 0 ? result : p.result;
}

template <int Id>
int Read(FileSource* source, LoadContext* ctx) {
    return RunReader(Id, source, ctx);
}

// The injected table: extension "fak" (probed), "oth" (probed), "np" (never
// probed), "bn" (opens by name, probed), "nr" (no reader).
inline const FormatRow kTable[] = {
    {0x1, "fake", "Fake", nullptr, nullptr, Read<0>, nullptr, nullptr, 0, 0, {"fak", "fk2"}},
    {0x1, "other", "Other", nullptr, nullptr, Read<1>, nullptr, nullptr, 0, 0, {"oth"}},
    {0x0, "noprobe", "Not probed", nullptr, nullptr, Read<2>, nullptr, nullptr, 0, 0, {"np"}},
    {0x11, "byname", "By name", nullptr, nullptr, Read<3>, nullptr, nullptr, 0, 0, {"bn"}},
    {0x1, "noread", "No reader", nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, {"nr"}},
};

// Registers the fake table for one test and resets the readers.
class Pipeline : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, GetFormatCount()) << "another registry is still built";
        RegisterFormatsFromTable(kTable, 5);
        const char* magics[] = {"FAKE", "OTHR", "NOPR", "BYNM", "NONE"};
        for (int i = 0; i < 5; ++i) {
            g_readers[i] = ReaderState();
            g_readers[i].magic = magics[i];
        }
        g_callOrder.clear();
        InitLoadOptions(&options);
    }
    void TearDown() override { FreeFormatRegistry(); }

    LoadOptions options;
};

// What a load produced; frees it at the end of the test.
struct Loaded : testing_support::LoadedPicture {
    std::vector<uint8_t> RowBytes(int y, size_t n) const { return std::vector<uint8_t>(Row(y), Row(y) + n); }
    std::vector<uint8_t> PixelAt(int x, int y) const {
        const uint8_t* p = Row(y) + size_t(x) * bitmap.bytesPerPixel;
        return std::vector<uint8_t>(p, p + bitmap.bytesPerPixel);
    }
};

// The fixture's options with a case's load flags and pixel order.
inline LoadOptions With(LoadOptions o, uint32_t flags, uint16_t order) {
    o.flags = flags;
    o.pixelOrder = order;
    return o;
}

// The fixture's options with a target box and an orientation request.
inline LoadOptions Fitted(LoadOptions o, int32_t width, int32_t height, uint16_t orientation) {
    o.targetWidth = width;
    o.targetHeight = height;
    o.orientation = orientation;
    return o;
}

// Loads `picture` through fake reader 0 from memory named "pic.fak".
inline void LoadFake(const Picture& picture, const LoadOptions& options, Loaded* out,
                     const wchar_t* name = L"pic.fak", const std::string& content = "FAKE....") {
    g_readers[0].picture = picture;
    out->result = LoadPictureFromMemory(reinterpret_cast<const uint8_t*>(content.data()), content.size(), name,
                                        &out->bitmap, &options, &out->info);
}

// A picture of `rows` (each `rowBytes` long, in order) delivered one row per
// call with explicit row numbers.
inline Picture Rows(int width, int height, int planes, int bits, uint32_t bytesPerPlane,
                    const std::vector<uint8_t>& rows, size_t rowBytes) {
    Picture p;
    p.header.width = width;
    p.header.height = height;
    p.header.planes = int16_t(planes);
    p.header.bitsPerPlane = int16_t(bits);
    p.header.bytesPerPlane = bytesPerPlane;
    for (int y = 0; y < height; ++y) {
        Delivery d;
        d.first = y;
        if (!rows.empty())
            d.rows.assign(rows.begin() + std::ptrdiff_t(size_t(y) * rowBytes),
                          rows.begin() + std::ptrdiff_t(size_t(y + 1) * rowBytes));
        p.deliveries.push_back(d);
    }
    return p;
}

// One 8-bit grey row of values v per pixel, `height` rows of x + 10 * y.
inline std::vector<uint8_t> Ramp(int width, int height) {
    std::vector<uint8_t> v;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) v.push_back(uint8_t(x + 10 * y));
    return v;
}

// Loads `picture` and checks the pixel type and the first bytes of row 0.
inline void ExpectFirstRow(const Picture& picture, const LoadOptions& options, uint16_t type,
                           const std::vector<uint8_t>& bytes) {
    Loaded out;
    LoadFake(picture, options, &out);
    ASSERT_EQ(0, out.result);
    EXPECT_EQ(type, out.bitmap.pixelType);
    EXPECT_EQ(bytes, out.RowBytes(0, bytes.size()));
}

}  // namespace fake
