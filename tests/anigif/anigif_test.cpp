// The animated GIF player's loader: every frame of the fixtures matches
// Pillow's composited frame pixel for pixel (disposal, transparency, local
// colour tables, interlacing, a full LZW table), and damaged or hostile files
// end with the documented result and the frames read so far.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "display/anigif.h"
#include "tests/support/bytes.h"
#include "tests/support/missingoracle.h"
#include "tests/support/pictures.h"
#include "tests/support/testfiles.h"

namespace {

using testing_support::RgbaPicture;

struct Animation : AniGifAnimation {
    Animation() = default;
    Animation(const Animation&) = delete;
    Animation& operator=(const Animation&) = delete;
    ~Animation() { AniGifFree(this); }
};

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

RgbaPicture ReadExpected(const std::string& path) {
    const std::vector<uint8_t> data = ReadAll(path);
    RgbaPicture p;
    if (data.size() < 8) return p;
    std::memcpy(&p.width, data.data(), 4);
    std::memcpy(&p.height, data.data() + 4, 4);
    p.px.assign(data.begin() + 8, data.end());
    return p;
}

// A frame as R, G, B, A: alpha 0 where the pixel is the frame's transparent
// index.
RgbaPicture FrameRgba(const Bitmap& b) {
    RgbaPicture p = testing_support::RgbaOf(b);
    for (int32_t y = 0; y < b.height; ++y)
        for (int32_t x = 0; x < b.width; ++x)
            if (b.transparentIndex >= 0 && b.pixels[size_t(y) * size_t(b.bytesPerRow) + size_t(x)] == b.transparentIndex)
                p.px[(size_t(y) * size_t(b.width) + size_t(x)) * 4 + 3] = 0;
    return p;
}

int LoadBytes(const std::vector<uint8_t>& bytes, AniGifAnimation* out) {
    FileSource source;
    InitMemorySource(&source, bytes.data(), bytes.size());
    return AniGifLoadSource(&source, out);
}

TEST(AniGifOracle, EveryFrameMatchesPillow) {
    const std::string dir = PV_ANIGIF_FIXTURES;
    std::ifstream manifest(dir + "/manifest.txt");
    std::string line;
    int files = 0;
    while (std::getline(manifest, line)) {
        std::istringstream fields(line);
        std::string name, file;
        size_t frames = 0;
        fields >> name >> file >> frames;
        if (name == "skip") PV_ORACLE_MISSING(line);
        SCOPED_TRACE(file);
        Animation a;
        ASSERT_EQ(AniGifLoad(testing_support::FixtureFile(dir, file).c_str(), &a), kAniGifOk);
        ASSERT_EQ(a.frames.size(), frames);
        for (size_t i = 0; i < frames; ++i) {
            SCOPED_TRACE("frame " + std::to_string(i));
            const Bitmap& b = a.frames[i].bitmap;
            EXPECT_EQ(b.pixelType, kPixelPalette);
            EXPECT_EQ(b.bytesPerRow % 4, 0);
            const RgbaPicture want = ReadExpected(dir + "/" + name + "." + std::to_string(i) + ".rgba");
            // Where the frame is transparent only the alpha is compared.
            testing_support::ExpectSamePixels(want, FrameRgba(b), true, 0, testing_support::kVisiblePixels);
        }
        ++files;
    }
    if (files == 0) PV_ORACLE_MISSING("no fixtures in " + dir);
}

TEST(AniGifOracle, DelaysAreHundredthsWithShortOnesAsATenth) {
    Animation a;
    ASSERT_EQ(AniGifLoad(testing_support::FixtureFile(PV_ANIGIF_FIXTURES, "pillow.gif").c_str(), &a), kAniGifOk);
    ASSERT_EQ(a.frames.size(), 3u);
    EXPECT_EQ(a.frames[0].delayMs, 0u);  // no graphic control block
    EXPECT_EQ(a.frames[1].delayMs, 70u);
    EXPECT_EQ(a.frames[2].delayMs, 200u);
}

// Tiny GIFs built here: a 4x4 screen with a two-colour global table, and
// frames of 2x2 solid pixels.
std::vector<uint8_t> Screen(int w, int h) {
    return {'G', 'I', 'F', '8', '9', 'a', uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8),
            0x80, 0, 0, 0, 0, 0, 255, 255, 255};
}

// One image at (x, y) of w x h; minimum code size 2; `data` its LZW bytes.
void Image(std::vector<uint8_t>* g, int x, int y, int w, int h, int minCode, const std::vector<uint8_t>& data,
           uint8_t packed = 0, uint8_t delay = 5) {
    const std::vector<uint8_t> gce = {'!', 0xF9, 4, packed, delay, 0, 0, 0};
    g->insert(g->end(), gce.begin(), gce.end());
    const std::vector<uint8_t> d = {',', uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8), uint8_t(w),
                                    uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8), 0, uint8_t(minCode),
                                    uint8_t(data.size())};
    g->insert(g->end(), d.begin(), d.end());
    g->insert(g->end(), data.begin(), data.end());
    g->push_back(0);
}

// Clear, then index 1 repeated: 4 pixels of colour 1 with code size 3
// (codes clear, 1, "11", 1, end; the last two of 4 bits).
const std::vector<uint8_t> kFourOnes = {0x8C, 0xA3};

TEST(AniGifLoad, BuildsFramesFromHandMadeFiles) {
    std::vector<uint8_t> g = Screen(4, 4);
    Image(&g, 0, 0, 2, 2, 2, kFourOnes);
    Image(&g, 2, 2, 2, 2, 2, kFourOnes, 2 << 2);
    Image(&g, 0, 2, 2, 2, 2, kFourOnes, 0, 1);
    g.push_back(';');
    Animation a;
    ASSERT_EQ(LoadBytes(g, &a), kAniGifOk);
    ASSERT_EQ(a.frames.size(), 3u);
    const uint8_t* p = a.frames[2].bitmap.pixels;
    const int32_t stride = a.frames[2].bitmap.bytesPerRow;
    EXPECT_EQ(p[0], 1);
    EXPECT_EQ(p[3 * stride + 3], 0) << "disposal 2 clears to the background";
    EXPECT_EQ(p[3 * stride + 0], 1);
    EXPECT_EQ(a.frames[0].delayMs, 50u);
    EXPECT_EQ(a.frames[2].delayMs, 100u) << "a delay below 2 hundredths shows a tenth of a second";
}

TEST(AniGifLoad, RefusesOrStopsOnBadFiles) {
    const auto withFrames = [](std::initializer_list<std::vector<uint8_t>> images, int w = 4, int h = 4) {
        std::vector<uint8_t> g = Screen(w, h);
        for (const auto& i : images) g.insert(g.end(), i.begin(), i.end());
        return g;
    };
    const auto image = [](int x, int y, int wi, int he, int minCode, const std::vector<uint8_t>& data) {
        std::vector<uint8_t> g;
        Image(&g, x, y, wi, he, minCode, data);
        return g;
    };
    const std::vector<uint8_t> good = image(0, 0, 2, 2, 2, kFourOnes);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        int result;
        size_t frames;
    } cases[] = {
        {"no signature", {'P', 'N', 'G', '8', '9', 'a', 4, 0, 4, 0, 0, 0, 0}, kAniGifNotGif, 0},
        {"version not digits", {'G', 'I', 'F', 'x', '9', 'a', 4, 0, 4, 0, 0, 0, 0}, kAniGifNotGif, 0},
        {"no image at all", withFrames({}), kAniGifNotGif, 0},
        {"minimum code size 10", withFrames({good, image(0, 0, 2, 2, 10, kFourOnes)}), kAniGifBadFrame, 1},
        {"minimum code size 1", withFrames({good, image(0, 0, 2, 2, 1, kFourOnes)}), kAniGifBadFrame, 1},
        {"frame width 0", withFrames({good, image(0, 0, 0, 2, 2, kFourOnes)}), kAniGifBadFrame, 1},
        {"screen 16000 wide", withFrames({good}, 16000, 4), kAniGifBadFrame, 0},
        {"later frame larger than the screen ends it", withFrames({good, image(0, 0, 5, 2, 2, kFourOnes), good}),
         kAniGifOk, 1},
        {"previous rectangle off the canvas", withFrames({image(250, 250, 2, 2, 2, kFourOnes), good}), kAniGifOk,
         2},
        {"code beyond the table ends the image", withFrames({image(0, 0, 2, 2, 2, {0xCC, 0x01})}), kAniGifOk, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Animation a;
        EXPECT_EQ(LoadBytes(c.bytes, &a), c.result);
        EXPECT_EQ(a.frames.size(), c.frames);
    }

    // Cut inside the second image's data: the first frame stays.
    std::vector<uint8_t> cut = withFrames({good, good});
    cut.resize(cut.size() - 3);
    Animation a;
    EXPECT_EQ(LoadBytes(cut, &a), kAniGifTruncated);
    EXPECT_EQ(a.frames.size(), 1u);
}

// A first frame may enlarge the screen; a few bytes then cannot make the
// loader hold more than its budget of full-screen frames.
TEST(AniGifLoad, FramesStopAtTheMemoryBudget) {
    std::vector<uint8_t> g = Screen(4, 4);
    for (int i = 0; i < 3; ++i) Image(&g, 0, 0, 12000, 12000, 2, kFourOnes);
    g.push_back(';');
    Animation a;
    EXPECT_EQ(LoadBytes(g, &a), kAniGifNoMemory);
    ASSERT_EQ(a.frames.size(), 1u);
    EXPECT_EQ(a.frames[0].bitmap.width, 12000);
}

TEST(AniGifLoad, MissingFileCannotBeOpened) {
    testing_support::ScratchDir dir;
    Animation a;
    EXPECT_EQ(AniGifLoad(dir.File("none.gif").c_str(), &a), kAniGifCannotOpen);
}

// A frame after a disposal-2 image whose rectangle leaves the canvas: only
// the part on the canvas is cleared.
TEST(AniGifLoad, DisposalClipsThePreviousRectangleToTheCanvas) {
    std::vector<uint8_t> g = Screen(4, 4);
    Image(&g, 0, 0, 2, 2, 2, kFourOnes);
    Image(&g, 3, 3, 2, 2, 2, kFourOnes, 2 << 2);
    Image(&g, 0, 0, 2, 2, 2, kFourOnes);
    g.push_back(';');
    Animation a;
    ASSERT_EQ(LoadBytes(g, &a), kAniGifOk);
    ASSERT_EQ(a.frames.size(), 3u);
    const Bitmap& b = a.frames[1].bitmap;
    EXPECT_EQ(b.pixels[3 * b.bytesPerRow + 3], 1);
    const Bitmap& c = a.frames[2].bitmap;
    EXPECT_EQ(c.pixels[3 * c.bytesPerRow + 3], 0);
}

}  // namespace
