// The start screen's tiles and the check of its picture.
#include "app/startscreen.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>


namespace {

TEST(StartScreen, TilesScaleWithTheScreen) {
    StartTile tiles[kStartTileCount];
    StartTilesAtDefault(tiles);
    ScaleStartTiles(tiles, 96, 96);
    EXPECT_EQ(tiles[0].left, 10);
    EXPECT_EQ(tiles[5].bottom, 229);
    ScaleStartTiles(tiles, 192, 192);
    EXPECT_EQ(tiles[0].left, 20);
    EXPECT_EQ(tiles[0].top, 96);
    EXPECT_EQ(tiles[0].right, 148);
    EXPECT_EQ(tiles[0].bottom, 224);
    EXPECT_EQ(ScaleForDpi(-10, 131), -14);  // rounded the same way on both sides of 0
    EXPECT_EQ(ScaleForDpi(10, 131), 14);
    EXPECT_EQ(tiles[4].stringId, 4194u);  // 4193 is not used
}

TEST(StartScreen, TapsSelectTilesWithTheirLabels) {
    StartTile tiles[kStartTileCount];
    StartTilesAtDefault(tiles);
    const struct {
        int x, y, tile;
    } taps[] = {
        {20, 60, 0}, {100, 100, 1}, {200, 50, 2},
        {20, 112 + 30, 0},   // on the label under the tile
        {20, 48 - 32, 0},    // the grown edge above
        {20, 48 - 33, -1},
        {79, 60, -1},        // between two tiles
        {100, 200, 4},       {200, 228, 5}, {120, 300, -1},
    };
    for (const auto& t : taps) EXPECT_EQ(StartTileAt(tiles, t.x, t.y), t.tile) << t.x << "," << t.y;
}

// Stores `value` little-endian in `width` bytes at `at`.
void Put(std::vector<uint8_t>& f, size_t at, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) f[at + size_t(i)] = uint8_t(value >> (8 * i));
}

std::vector<uint8_t> SplashFile(uint32_t offset = 1078) {
    std::vector<uint8_t> f(offset + kSplashPixelBytes, 0);
    f[0] = 'B';
    f[1] = 'M';
    Put(f, 2, uint32_t(f.size()), 4);
    Put(f, 10, offset, 4);
    Put(f, 14, 40, 4);
    Put(f, 18, 240, 4);
    Put(f, 22, 320, 4);
    Put(f, 26, 1, 2);
    Put(f, 28, 8, 2);
    Put(f, 46, 256, 4);
    f[54] = 0x11;          // first palette entry
    f[offset] = 0x22;      // first pixel
    return f;
}

TEST(StartScreen, PictureCheckedBeforeAnyCopy) {
    std::vector<uint8_t> good = SplashFile();
    SplashBitmap bitmap = {};
    ASSERT_TRUE(CheckSplashBitmap(good.data(), good.size(), &bitmap));
    EXPECT_EQ(bitmap.palette[0], 0x11);
    EXPECT_EQ(bitmap.pixels[0], 0x22);
    std::vector<uint8_t> later = SplashFile(1080);  // pixels where the file says
    ASSERT_TRUE(CheckSplashBitmap(later.data(), later.size(), &bitmap));
    EXPECT_EQ(bitmap.pixels[0], 0x22);

    const struct {
        const char* what;
        size_t at;
        uint32_t value;
        int width;  // 1, 2 or 4 bytes
    } faults[] = {
        {"signature", 0, 'X', 1},      {"width", 18, 241, 4},        {"height", 22, 319, 4},
        {"top-down", 22, uint32_t(-320), 4}, {"depth", 28, 4, 2},   {"compression", 30, 1, 4},
        {"planes", 26, 2, 2},          {"header size", 14, 108, 4},  {"colours", 46, 257, 4},
        {"offset inside the palette", 10, 1000, 4}, {"offset past the end", 10, 2000, 4},
        {"offset far away", 10, 0xFFFFFFF0u, 4},
    };
    for (const auto& f : faults) {
        std::vector<uint8_t> bad = SplashFile();
        Put(bad, f.at, f.value, f.width);
        EXPECT_FALSE(CheckSplashBitmap(bad.data(), bad.size(), &bitmap)) << f.what;
    }
    for (size_t cut : {size_t(0), size_t(10), size_t(53), good.size() - 1})
        EXPECT_FALSE(CheckSplashBitmap(good.data(), cut, &bitmap)) << cut;
    EXPECT_FALSE(CheckSplashBitmap(nullptr, 100, &bitmap));
}

TEST(StartScreen, LabelsBreakWhereTheyAsk) {
    wchar_t out[16];
    ExpandLineBreaks(L"Browse\\nFolder", out, 16);
    EXPECT_EQ(std::wstring(out), L"Browse\r\nFolder");
    ExpandLineBreaks(L"Browse CF", out, 16);
    EXPECT_EQ(std::wstring(out), L"Browse CF");
    ExpandLineBreaks(L"abcdefgh\\n", out, 10);  // no room for the break: cut before it
    EXPECT_EQ(std::wstring(out), L"abcdefgh");
    ExpandLineBreaks(L"end\\", out, 16);
    EXPECT_EQ(std::wstring(out), L"end\\");
}

}  // namespace
