// The load's memory budget and the files that cannot justify what they
// declare: refused before anything is allocated, with a clear result.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "imagelib/load.h"
#include "tests/support/bytes.h"
#include "tests/support/pictures.h"

namespace {

using testing_support::AppendLe16;
using testing_support::AppendLe32;
using testing_support::LoadedPicture;
using Bytes = std::vector<uint8_t>;

// A Windows bitmap header of `bits` bits (two palette entries below 16 bits)
// declaring width x height, with `data` as its pixel data.
Bytes Bitmap(int32_t width, int32_t height, uint16_t bits, uint32_t compression, const Bytes& data) {
    const uint32_t paletteBytes = bits <= 8 ? 8 : 0;
    const uint32_t dataAt = 14 + 40 + paletteBytes;
    Bytes b = {'B', 'M'};
    AppendLe32(b, dataAt + uint32_t(data.size()));
    AppendLe32(b, 0);
    AppendLe32(b, dataAt);
    AppendLe32(b, 40);
    AppendLe32(b, uint32_t(width));
    AppendLe32(b, uint32_t(height));
    AppendLe16(b, 1);
    AppendLe16(b, bits);
    AppendLe32(b, compression);
    for (int i = 0; i < 5; ++i) AppendLe32(b, 0);
    if (paletteBytes) b.insert(b.end(), {0, 0, 0, 0, 255, 255, 255, 0});
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

constexpr uint32_t kRle8 = 1;
const Bytes kEndOfBitmap = {0, 1};

int Load(const Bytes& file, uint32_t flags, LoadedPicture* p) {
    testing_support::EnsureFormatRegistry();
    LoadOptions o;
    InitLoadOptions(&o);
    o.flags = flags;
    p->result = LoadPictureFromMemory(file.data(), file.size(), L"x.bmp", &p->bitmap, &o, &p->info);
    return p->result;
}

class BudgetTest : public testing::Test {
protected:
    void TearDown() override { SetLoadMemoryBudget(0); }
};

// A 64-byte run-length file declaring 65535 x 30000 (1.97 GB at one byte a
// pixel) is refused as out of memory, not allocated.
TEST_F(BudgetTest, TinyFileDeclaringAHugePictureIsRefused) {
    const Bytes file = Bitmap(65535, 30000, 8, kRle8, kEndOfBitmap);
    ASSERT_LE(file.size(), 64u);
    LoadedPicture p;
    EXPECT_EQ(kLoadNoMemory, Load(file, 0, &p));
    EXPECT_EQ(nullptr, p.bitmap.pixels);
}

// The default holds a 100-megapixel photo at four bytes a pixel; a smaller
// budget refuses the same declaration, and the budget set back loads it.
TEST_F(BudgetTest, DefaultHoldsAHundredMegapixels) {
    const Bytes photo = Bitmap(12240, 8160, 8, kRle8, kEndOfBitmap);
    {
        LoadedPicture p;
        ASSERT_EQ(kLoadOk, Load(photo, kLoadLowDepthAsColour | kLoadPreferFourBytes, &p));
        EXPECT_EQ(4, p.bitmap.bytesPerPixel);
        EXPECT_EQ(12240, p.bitmap.width);
    }
    EXPECT_EQ(kDefaultLoadMemoryBudget, SetLoadMemoryBudget(uint64_t(64) << 20));
    LoadedPicture refused;
    EXPECT_EQ(kLoadNoMemory, Load(photo, 0, &refused));
    EXPECT_EQ(nullptr, refused.bitmap.pixels);
    // A thumbnail of it fits: only the reduced output is held.
    LoadOptions o;
    InitLoadOptions(&o);
    o.targetWidth = 160;
    o.targetHeight = 120;
    LoadedPicture thumbnail;
    thumbnail.result = LoadPictureFromMemory(photo.data(), photo.size(), L"x.bmp", &thumbnail.bitmap, &o, nullptr);
    EXPECT_EQ(kLoadOk, thumbnail.result);
    EXPECT_EQ(160, thumbnail.bitmap.width);
}

// Uncompressed rows the file cannot hold: kLoadIncomplete before the picture
// is declared (so before its memory is taken), also under kLoadAcceptDamaged
// when not one row is there; with one row there the damaged load keeps it.
TEST_F(BudgetTest, UncompressedRowsTheFileCannotHoldAreNotAllocated) {
    const int32_t side = 6000;  // 108 MB at three bytes a pixel
    const Bytes oneRow(size_t(side) * 3, 0x80);
    const struct {
        const char* what;
        Bytes data;
        uint32_t flags;
        int result;
        bool declared;
    } cases[] = {
        {"no row", Bytes(100, 0x80), 0, kLoadIncomplete, false},
        {"no row, damaged accepted", Bytes(100, 0x80), kLoadAcceptDamaged, kLoadIncomplete, false},
        {"one row", oneRow, 0, kLoadIncomplete, false},
        {"one row, damaged accepted", oneRow, kLoadAcceptDamaged, kLoadOk, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LoadedPicture p;
        EXPECT_EQ(c.result, Load(Bitmap(side, side, 24, 0, c.data), c.flags, &p));
        // BeginImage fills in the size: it never ran when nothing was declared.
        EXPECT_EQ(c.declared ? side : 0, p.info.width);
    }
}

// A 36-byte GIF declaring 65535 x 32000: its LZW data cannot stand for even
// one row, so it ends with kLoadIncomplete before the picture is declared
// (no 262 MB bitmap under kLoadAcceptDamaged).
TEST_F(BudgetTest, TinyGifDeclaringAHugePictureIsNotAllocated) {
    Bytes gif = {'G', 'I', 'F', '8', '9', 'a'};
    AppendLe16(gif, 65535);
    AppendLe16(gif, 32000);
    gif.insert(gif.end(), {0x80, 0, 0, 0, 0, 0, 255, 255, 255});  // two-colour global table
    gif.push_back(0x2C);
    AppendLe32(gif, 0);
    AppendLe16(gif, 65535);
    AppendLe16(gif, 32000);
    gif.insert(gif.end(), {0, 2, 3, 0x44, 0x01, 0x00, 0, 0x3B});
    ASSERT_LE(gif.size(), 36u);
    for (uint32_t flags : {0u, uint32_t(kLoadAcceptDamaged)}) {
        testing_support::EnsureFormatRegistry();
        LoadOptions o;
        InitLoadOptions(&o);
        o.flags = flags;
        LoadedPicture p;
        p.result = LoadPictureFromMemory(gif.data(), gif.size(), L"x.gif", &p.bitmap, &o, &p.info);
        EXPECT_EQ(kLoadIncomplete, p.result);
        EXPECT_EQ(0, p.info.width);  // BeginImage never ran
    }
}

// The end of a load that cannot allocate its result says so: a two-colour
// picture other than black and white becomes one byte a pixel at the end,
// which for 65535 x 33000 pixels is past what a bitmap may hold. The load
// gives kLoadNoMemory instead of a bilevel picture without its palette.
TEST_F(BudgetTest, EndOfLoadOutOfMemoryIsReported) {
    const int32_t width = 65535;
    const size_t rowBytes = (size_t(width) + 31) / 32 * 4;
    Bytes file = Bitmap(width, 33000, 1, 0, Bytes(2 * rowBytes, 0x5A));
    // Red and blue, not black and white.
    const size_t paletteAt = 14 + 40;
    const uint8_t palette[8] = {0, 0, 255, 0, 255, 0, 0, 0};
    std::copy(palette, palette + 8, file.begin() + long(paletteAt));
    LoadedPicture p;
    EXPECT_EQ(kLoadNoMemory, Load(file, kLoadAcceptDamaged, &p));
    EXPECT_EQ(nullptr, p.bitmap.pixels);
}

}  // namespace
