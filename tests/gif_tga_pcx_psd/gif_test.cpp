// The GIF reader on hand-made files: LZW streams written code by code, block
// streams with extensions, several images, broken and cut data.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/gif_tga_pcx_psd/readertest.h"
#include "tests/support/missingoracle.h"
#include "tests/support/peakrss.h"

namespace {

using readertest::Bytes;
using readertest::Load;

struct Rgb {
    uint8_t r, g, b;
};

// A palette of `n` colours whose red is 10 x the index, so a pixel's index
// can be read back from its red.
std::vector<Rgb> Ramp(int n) {
    std::vector<Rgb> p;
    for (int i = 0; i < n; ++i) p.push_back({uint8_t(10 * i), uint8_t(255 - i), 7});
    return p;
}

// Packs codes least significant bit first with the code sizes a decoder
// uses: minimum + 1 bits after a clear code, one more whenever the next free
// entry reaches the current limit (at most 12).
Bytes PackCodes(int minimum, const std::vector<int>& codes) {
    const int clear = 1 << minimum;
    int size = minimum + 1;
    int nextFree = clear + 2;
    bool first = true;
    Bytes out;
    uint32_t bits = 0;
    int count = 0;
    for (int code : codes) {
        bits |= uint32_t(code) << count;
        count += size;
        while (count >= 8) {
            out.push_back(uint8_t(bits));
            bits >>= 8;
            count -= 8;
        }
        if (code == clear) {
            size = minimum + 1;
            nextFree = clear + 2;
            first = true;
        } else if (code != clear + 1) {
            if (!first && nextFree < 4096 && ++nextFree == (1 << size) && size < 12) ++size;
            first = false;
        }
    }
    if (count > 0) out.push_back(uint8_t(bits));
    return out;
}

// Codes for pixels as literals only: a clear code before the table would
// make codes wider, and the end code last.
std::vector<int> LiteralCodes(int minimum, const std::vector<uint8_t>& pixels, bool endCode = true) {
    const int clear = 1 << minimum;
    std::vector<int> codes;
    int sinceClear = clear;  // forces a clear first
    for (uint8_t p : pixels) {
        if (sinceClear >= clear - 2) {
            codes.push_back(clear);
            sinceClear = 0;
        }
        codes.push_back(p);
        ++sinceClear;
    }
    if (endCode) codes.push_back(clear + 1);
    return codes;
}

// Data as length-prefixed sub-blocks, with the zero-length terminator.
Bytes SubBlocks(const Bytes& data, size_t blockSize = 255, bool terminator = true) {
    Bytes out;
    for (size_t at = 0; at < data.size(); at += blockSize) {
        const size_t n = std::min(blockSize, data.size() - at);
        out.push_back(uint8_t(n));
        out.insert(out.end(), data.begin() + long(at), data.begin() + long(at + n));
    }
    if (terminator) out.push_back(0);
    return out;
}

int TableBits(size_t colours) {
    int bits = 1;
    while ((size_t(1) << bits) < colours) ++bits;
    return bits;
}

void PutTable(Bytes* b, const std::vector<Rgb>& colours) {
    const size_t n = size_t(1) << TableBits(colours.size());
    for (size_t i = 0; i < n; ++i) {
        const Rgb c = i < colours.size() ? colours[i] : Rgb{0, 0, 0};
        b->insert(b->end(), {c.r, c.g, c.b});
    }
}

// A GIF file built block by block.
struct GifFile {
    Bytes b;

    GifFile(int width, int height, const std::vector<Rgb>& global, const char* signature = "GIF89a") {
        readertest::AppendText(&b, signature);
        testing_support::AppendLe16(b, uint32_t(width));
        testing_support::AppendLe16(b, uint32_t(height));
        b.push_back(global.empty() ? 0 : uint8_t(0x80 | (TableBits(global.size()) - 1)));
        b.insert(b.end(), {0, 0});
        if (!global.empty()) PutTable(&b, global);
    }
    void Extension(int label, const Bytes& blocks) {
        b.insert(b.end(), {0x21, uint8_t(label)});
        readertest::Append(&b, blocks);
    }
    void Transparent(int index, bool flag = true) {
        Extension(0xF9, {4, uint8_t(flag ? 1 : 0), 0, 0, uint8_t(index), 0});
    }
    // An image whose data (already in sub-blocks) follows its code size.
    void Image(int width, int height, const std::vector<Rgb>& local, bool interlaced, int minimum,
               const Bytes& blocks) {
        b.push_back(0x2C);
        testing_support::AppendLe16(b, 0);
        testing_support::AppendLe16(b, 0);
        testing_support::AppendLe16(b, uint32_t(width));
        testing_support::AppendLe16(b, uint32_t(height));
        uint8_t packed = interlaced ? 0x40 : 0;
        if (!local.empty()) packed |= uint8_t(0x80 | (TableBits(local.size()) - 1));
        b.push_back(packed);
        if (!local.empty()) PutTable(&b, local);
        b.push_back(uint8_t(minimum));
        readertest::Append(&b, blocks);
    }
    // An image of pixel indexes coded as literals.
    void Pixels(int width, int height, const std::vector<uint8_t>& pixels, const std::vector<Rgb>& local = {},
                bool interlaced = false, int minimum = 4) {
        Image(width, height, local, interlaced, minimum, SubBlocks(PackCodes(minimum, LiteralCodes(minimum, pixels))));
    }
    Bytes Done() const {
        Bytes out = b;
        out.push_back(0x3B);
        return out;
    }
};

std::vector<uint8_t> Indexes(int width, int height, int (*f)(int x, int y)) {
    std::vector<uint8_t> p;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) p.push_back(uint8_t(f(x, y)));
    return p;
}

// The palette index of every pixel, read back through the ramp's reds.
std::vector<int> IndexesOf(const Load& load) {
    std::vector<int> out;
    const std::vector<uint8_t> px = load.Rgba().px;
    for (size_t i = 0; i < px.size(); i += 4) out.push_back(px[i] / 10);
    return out;
}

std::vector<int> AsInts(const std::vector<uint8_t>& v) { return std::vector<int>(v.begin(), v.end()); }

// Rows of an interlaced image arrive in the order 0, 8, 16 ...; 4, 12 ...;
// 2, 6 ...; 1, 3 ... and each lands on its own row, for every height.
TEST(GifTest, InterlacedRowsLandOnTheirRows) {
    for (int height = 1; height <= 20; ++height) {
        SCOPED_TRACE(height);
        // The stored order of rows: the passes of the interlace.
        std::vector<int> order;
        for (int start : {0, 4, 2, 1})
            for (int y = start; y < height; y += (start == 0 ? 8 : start == 4 ? 8 : start == 2 ? 4 : 2))
                order.push_back(y);
        ASSERT_EQ(size_t(height), order.size());
        std::vector<uint8_t> stored;
        for (int y : order)
            for (int x = 0; x < 3; ++x) stored.push_back(uint8_t(y));
        GifFile gif(3, height, Ramp(32));
        gif.Pixels(3, height, stored, {}, true, 5);
        Load load(gif.Done(), L"x.gif");
        ASSERT_EQ(kLoadOk, load.result);
        std::vector<int> want;
        for (int y = 0; y < height; ++y) want.insert(want.end(), 3, y);
        EXPECT_EQ(want, IndexesOf(load));
        EXPECT_STREQ("Compuserve GIF (Version 89a - Interlaced)", load.info.description);
    }
}

// The table grows through every code size up to 12 bits and is full for a
// while before the next clear code; repeated strings exercise the code that
// is defined by its own use.
TEST(GifTest, LongStreamsThroughEveryCodeSize) {
    const int w = 160, h = 120;
    std::vector<uint8_t> pixels;
    for (int i = 0; i < w * h; ++i) pixels.push_back(uint8_t((i / 7) % 3 == 0 ? 1 : (i * i / 13) % 4));
    // A greedy LZW coder over the pixels, clearing only when the table has
    // been full for a while.
    const int minimum = 2;
    const int clear = 1 << minimum;
    std::vector<int> codes = {clear};
    std::vector<std::vector<uint8_t>> table;
    auto reset = [&] {
        table.clear();
        for (int i = 0; i < clear + 2; ++i) table.push_back({uint8_t(i)});
    };
    reset();
    size_t at = 0;
    int full = 0;
    while (at < pixels.size()) {
        int best = pixels[at];
        size_t len = 1;
        for (size_t e = size_t(clear) + 2; e < table.size(); ++e) {
            const auto& s = table[e];
            if (s.size() > len && at + s.size() <= pixels.size() &&
                std::equal(s.begin(), s.end(), pixels.begin() + long(at))) {
                best = int(e);
                len = s.size();
            }
        }
        codes.push_back(best);
        if (at + len < pixels.size() && table.size() < 4096) {
            std::vector<uint8_t> s(pixels.begin() + long(at), pixels.begin() + long(at + len + 1));
            table.push_back(s);
        } else if (table.size() >= 4096 && ++full == 300) {
            codes.push_back(clear);
            reset();
            full = 0;
        }
        at += len;
    }
    codes.push_back(clear + 1);
    GifFile gif(w, h, Ramp(4));
    gif.Image(w, h, {}, false, minimum, SubBlocks(PackCodes(minimum, codes)));
    Load load(gif.Done(), L"x.gif");
    ASSERT_EQ(kLoadOk, load.result);
    EXPECT_EQ(AsInts(pixels), IndexesOf(load));
}

// Roots of 2 to 9 bits are taken; 1 and 10 up are refused by name.
TEST(GifTest, MinimumCodeSize) {
    for (int minimum : {1, 2, 3, 8, 9, 10, 12}) {
        SCOPED_TRACE(minimum);
        GifFile gif(4, 2, Ramp(4));
        const std::vector<uint8_t> pixels = {0, 1, 2, 3, 3, 2, 1, 0};
        const int m = minimum >= 2 && minimum <= 9 ? minimum : 2;
        gif.Image(4, 2, {}, false, minimum, SubBlocks(PackCodes(m, LiteralCodes(m, pixels))));
        Load load(gif.Done(), L"x.gif");
        if (minimum >= 2 && minimum <= 9) {
            ASSERT_EQ(kLoadOk, load.result);
            EXPECT_EQ(AsInts(pixels), IndexesOf(load));
        } else {
            EXPECT_EQ(kLoadRefused, load.result);
            EXPECT_STREQ("GIF : Bad code's size !", load.info.subFormat);
        }
    }
}

// Broken LZW data ends the image with 4 and the rows decoded before it; the
// partial row is padded with index 0. Accepting damaged files keeps them.
TEST(GifTest, CorruptDataKeepsTheRowsBeforeIt) {
    const int minimum = 3;
    const int clear = 8;
    std::vector<int> rows = LiteralCodes(minimum, {1, 2, 3, 4, 5, 1, 2, 3}, false);  // two rows of 4
    struct Case {
        const char* name;
        std::vector<int> codes;     // after the first two rows
        std::vector<int> lastRow;   // what the third row holds
    } cases[] = {
        // A code beyond the next free entry.
        {"code past the table", {6, 7, 15}, {6, 7, 0, 0}},
        // After a clear code the next free code has no string yet.
        {"next free after a clear", {clear, 6, clear, clear + 2}, {6, 0, 0, 0}},
        {"end code before the last row", {6, 7, 6, clear + 1}, {6, 7, 6, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int> codes = rows;
        codes.insert(codes.end(), c.codes.begin(), c.codes.end());
        GifFile gif(4, 4, Ramp(8));
        gif.Image(4, 4, {}, false, minimum, SubBlocks(PackCodes(minimum, codes)));
        const Bytes file = gif.Done();
        Load strict(file, L"x.gif");
        EXPECT_EQ(kLoadIncomplete, strict.result);
        Load damaged(file, L"x.gif", Load::Options(kLoadAcceptDamaged));
        ASSERT_EQ(kLoadOk, damaged.result);
        std::vector<int> want = {1, 2, 3, 4, 5, 1, 2, 3};
        want.insert(want.end(), c.lastRow.begin(), c.lastRow.end());
        want.insert(want.end(), 4, 0);
        EXPECT_EQ(want, IndexesOf(damaged));
    }
}

TEST(GifTest, StreamStartingWithTheNextFreeCodeIsRefused) {
    const int minimum = 2;
    // No clear code: a literal may start the stream, the first free code
    // may not.
    GifFile ok(2, 1, Ramp(4));
    ok.Image(2, 1, {}, false, minimum, SubBlocks(PackCodes(minimum, {3, 1, 5})));
    Load good(ok.Done(), L"x.gif");
    ASSERT_EQ(kLoadOk, good.result);
    EXPECT_EQ((std::vector<int>{3, 1}), IndexesOf(good));

    GifFile bad(2, 1, Ramp(4));
    bad.Image(2, 1, {}, false, minimum, SubBlocks(PackCodes(minimum, {6, 1, 5})));
    // No row arrived, so even a lenient load has no picture to give.
    Load refused(bad.Done(), L"x.gif", Load::Options(kLoadAcceptDamaged));
    EXPECT_EQ(kLoadIncomplete, refused.result);
    EXPECT_EQ(nullptr, refused.bitmap.pixels);
    Load strict(bad.Done(), L"x.gif");
    EXPECT_EQ(kLoadIncomplete, strict.result);
}

// A zero-length sub-block ends an image's data, complete or not; the block
// stream goes on after it.
TEST(GifTest, ZeroLengthSubBlockEndsTheData) {
    const int minimum = 4;
    const std::vector<uint8_t> pixels = Indexes(6, 4, [](int x, int y) { return (x + y) % 9; });
    const Bytes data = PackCodes(minimum, LiteralCodes(minimum, pixels));
    Bytes cut = SubBlocks(Bytes(data.begin(), data.begin() + 6));
    GifFile gif(6, 4, Ramp(16));
    gif.Image(6, 4, {}, false, minimum, cut);
    gif.Pixels(6, 4, pixels);
    const Bytes file = gif.Done();

    Load first(file, L"x.gif", Load::Options(kLoadAcceptDamaged));
    ASSERT_EQ(kLoadOk, first.result);
    const std::vector<int> got = IndexesOf(first);
    EXPECT_EQ(AsInts(std::vector<uint8_t>(pixels.begin(), pixels.begin() + 6)),
              std::vector<int>(got.begin(), got.begin() + 6));
    EXPECT_EQ(std::vector<int>(12, 0), std::vector<int>(got.end() - 12, got.end()));
    EXPECT_EQ(kLoadIncomplete, Load(file, L"x.gif").result);

    Load second(file, L"x.gif", Load::Options(0, 1));
    ASSERT_EQ(kLoadOk, second.result);
    EXPECT_EQ(AsInts(pixels), IndexesOf(second));
    EXPECT_EQ(2u, second.info.imageCount);
}

// Extensions of any label are passed over by their sub-block lengths, even
// when their bytes look like blocks; the graphic control extension gives
// the transparent index and a comment is kept when asked for.
TEST(GifTest, ExtensionsAreSkippedByTheirSubBlocks) {
    const std::vector<uint8_t> pixels = Indexes(5, 3, [](int x, int y) { return x * 3 + y; });
    GifFile gif(5, 3, Ramp(16));
    gif.Extension(0xFF, SubBlocks({'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 0x2C, 0x3B}));
    gif.Extension(0x01, SubBlocks({0x2C, 0, 0, 0, 0, 9, 0, 9, 0, 0, 0x21, 0xF9, 0x3B}, 4));
    gif.Extension(0xFE, SubBlocks({'a', ' ', 'h', 'a', 'r', 'b', 'o', 'u', 'r'}, 5));
    gif.Transparent(6);
    gif.Extension(0x77, SubBlocks({0x3B, 0x3B}));
    gif.Pixels(5, 3, pixels);
    Load load(gif.Done(), L"x.gif", Load::Options(kLoadKeepComment));
    ASSERT_EQ(kLoadOk, load.result);
    EXPECT_EQ(AsInts(pixels), IndexesOf(load));
    EXPECT_EQ(6, load.bitmap.transparentIndex);
    ASSERT_NE(nullptr, load.bitmap.comment);
    EXPECT_STREQ("a harbour", load.bitmap.comment);
    EXPECT_EQ(1u, load.info.imageCount);
}

// A graphic control extension names the transparent index of the next
// image only: each image of a file made here is transparent as gifsicle and
// ImageMagick read it (make_fixtures.py). Several extensions before one
// image: a later one without the flag keeps the index of an earlier one.
TEST(GifTest, TransparencyBelongsToTheNextImage) {
    std::string skip;
    if (testing_support::ReaderFixtures(&skip).empty()) PV_ORACLE_MISSING(skip);
    const Bytes file = testing_support::ReadReaderFixture("transparency.gif");
    ASSERT_FALSE(file.empty()) << "no GIF fixtures";
    const Bytes list = testing_support::ReadReaderFixture("gif_transparency.txt");
    std::istringstream lines(std::string(list.begin(), list.end()));
    int image, transparent, images = 0;
    while (lines >> image >> transparent) {
        SCOPED_TRACE(image);
        ++images;
        Load load(file, L"x.gif", Load::Options(0, uint32_t(image)));
        ASSERT_EQ(kLoadOk, load.result);
        EXPECT_EQ(transparent, load.bitmap.transparentIndex);
    }
    EXPECT_EQ(4, images);

    GifFile gif(2, 1, Ramp(8));
    gif.Transparent(5);
    gif.Transparent(1, false);
    gif.Pixels(2, 1, {1, 5});
    gif.Transparent(4, false);
    gif.Pixels(2, 1, {4, 5});
    const Bytes twice = gif.Done();
    Load first(twice, L"x.gif");
    EXPECT_EQ(5, first.bitmap.transparentIndex);
    Load second(twice, L"x.gif", Load::Options(0, 1));
    EXPECT_EQ(-1, second.bitmap.transparentIndex);
}

TEST(GifTest, CommentsStartingWithNccAreNotKept) {
    GifFile gif(1, 1, Ramp(2));
    gif.Extension(0xFE, SubBlocks({'n', 'C', 'C', ' ', 'x'}));
    gif.Pixels(1, 1, {1}, {}, false, 2);
    Load load(gif.Done(), L"x.gif", Load::Options(kLoadKeepComment));
    ASSERT_EQ(kLoadOk, load.result);
    EXPECT_EQ(nullptr, load.bitmap.comment);
    EXPECT_EQ(-1, load.bitmap.transparentIndex);
}

// Each image takes its own local table or, without one, the global table,
// whatever the image before it had.
TEST(GifTest, ImagesWithoutLocalTableUseTheGlobalOne) {
    const std::vector<Rgb> global = Ramp(4);
    const std::vector<Rgb> local = {{200, 0, 0}, {210, 0, 0}, {220, 0, 0}, {230, 0, 0},
                                    {240, 0, 0}, {250, 0, 0}, {0, 0, 0},   {0, 0, 0}};
    GifFile gif(3, 1, global);
    gif.Pixels(3, 1, {0, 1, 2}, local, false, 3);
    gif.Pixels(3, 1, {3, 2, 1}, {}, false, 2);
    const Bytes file = gif.Done();
    Load first(file, L"x.gif");
    ASSERT_EQ(kLoadOk, first.result);
    EXPECT_EQ((std::vector<int>{20, 21, 22}), IndexesOf(first));
    Load second(file, L"x.gif", Load::Options(0, 1));
    ASSERT_EQ(kLoadOk, second.result);
    EXPECT_EQ((std::vector<int>{3, 2, 1}), IndexesOf(second));
    EXPECT_EQ(4, second.bitmap.paletteCount);
}

// Image N of a file, the image count, and the stop after the wanted image
// that thumbnail loads ask for.
TEST(GifTest, ImageIndexAndStopAfterTheWantedImage) {
    GifFile gif(2, 1, Ramp(8));
    for (uint8_t i = 0; i < 3; ++i) gif.Pixels(2, 1, {i, uint8_t(i + 4)});
    const Bytes file = gif.Done();
    struct Case {
        uint32_t index;
        uint32_t flags;
        int result;
        uint32_t count;
    } cases[] = {
        {0, 0, kLoadOk, 3},
        {2, 0, kLoadOk, 3},
        {3, 0, kLoadNotRecognised, 3},
        {0, kLoadFirstImageOnly, kLoadOk, 1},
        {1, kLoadFirstImageOnly, kLoadOk, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        Load load(file, L"x.gif", Load::Options(c.flags, c.index));
        ASSERT_EQ(c.result, load.result);
        if (c.result != kLoadOk) continue;
        EXPECT_EQ(c.count, load.info.imageCount);
        EXPECT_EQ((std::vector<int>{int(c.index), int(c.index) + 4}), IndexesOf(load));
    }
}

// A reduced load (thumbnails) sets the stop flag itself.
TEST(GifTest, ReducedLoadStopsAfterTheFirstImage) {
    GifFile gif(2, 1, Ramp(8));
    gif.Pixels(2, 1, {1, 2});
    gif.b.insert(gif.b.end(), {0x2C, 0, 0});  // a cut second image is never looked at
    Load load(gif.b, L"x.gif", Load::Options(kLoadReduced));
    ASSERT_EQ(kLoadOk, load.result);
    EXPECT_EQ(1u, load.info.imageCount);
    Load full(gif.b, L"x.gif");
    EXPECT_EQ(kLoadOk, full.result);  // the wanted image was whole
}

#if defined(__linux__)
// A reduced load of an interlaced picture, whose rows revisit the thumbnail's
// rows, keeps the sums of the thumbnail, never the picture: a 3000 x 2000
// picture (6 MB at a byte a pixel) fitted into 100 x 100 grows the process
// by a fraction of that, ASan's shadow and quarantine included.
TEST(GifTest, InterlacedReducedLoadHoldsOnlyTheThumbnailsSums) {
    const int w = 3000, h = 2000;
    GifFile gif(w, h, Ramp(4));
    gif.Pixels(w, h, Indexes(w, h, [](int x, int y) { return (x + y) % 4; }), {}, true, 2);
    const Bytes file = gif.Done();
    testing_support::EnsureFormatRegistry();
    LoadOptions o = Load::Options(kLoadReduced);
    o.targetWidth = o.targetHeight = 100;
    const std::optional<uint64_t> growth = testing_support::PeakRssGrowth([&] {
        Bitmap b{};
        if (LoadPictureFromMemory(file.data(), file.size(), L"x.gif", &b, &o, nullptr) != kLoadOk) std::abort();
        FreeBitmap(&b);
    });
    ASSERT_TRUE(growth.has_value());
    RecordProperty("PeakGrowthBytes", std::to_string(*growth));
    EXPECT_LT(*growth, uint64_t(3) << 20);
}
#endif

TEST(GifTest, TwoBlackColoursShowAsBlackAndWhite) {
    GifFile gif(2, 1, {{0, 0, 0}, {0, 0, 0}});
    gif.Pixels(2, 1, {0, 1}, {}, false, 2);
    Load load(gif.Done(), L"x.gif", Load::Options(kLoadLowDepthAsColour));
    ASSERT_EQ(kLoadOk, load.result);
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 255, 255, 255, 255, 255}), load.Rgba().px);
}

TEST(GifTest, RefusedFiles) {
    struct Case {
        const char* name;
        Bytes file;
        int result;
        const char* message;
    };
    GifFile zero(1, 1, Ramp(2));
    zero.Pixels(0, 1, {});
    GifFile noImage(1, 1, Ramp(2));
    std::vector<Case> cases = {
        {"other signature", GifFile(1, 1, Ramp(2), "GIF88a").Done(), kLoadNotRecognised, ""},
        {"zero width", zero.Done(), kLoadRefused, "GIF : Bad picture's size !"},
        {"no image", noImage.Done(), kLoadNotRecognised, ""},
        {"cut screen", Bytes{'G', 'I', 'F', '8', '9', 'a', 1}, kLoadNotRecognised, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Load load(c.file, L"x.gif");
        EXPECT_EQ(c.result, load.result);
        EXPECT_STREQ(c.message, load.info.subFormat);
    }
}

int CancelAtThirdRow(int32_t row, int32_t, uintptr_t) { return row == 2; }

TEST(GifTest, CancelEndsTheLoad) {
    GifFile gif(2, 6, Ramp(4));
    gif.Pixels(2, 6, std::vector<uint8_t>(12, 1));
    LoadOptions o = Load::Options();
    o.rowCallback = CancelAtThirdRow;
    Load load(gif.Done(), L"x.gif", o);
    EXPECT_EQ(kLoadCancelled, load.result);
    EXPECT_EQ(nullptr, load.bitmap.pixels);
}

}  // namespace
