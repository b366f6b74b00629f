// Damaged and hostile files through every reader: the same bytes give the
// same result from a file and from memory, a damaged file is accepted only
// when rows arrived, every four-byte layout gets its alpha byte, and a
// declaration the file cannot justify costs no memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "imagelib/load.h"
#include "tests/readers/fixtures.h"
#include "tests/support/missingoracle.h"
#include "tests/support/pictures.h"
#include "tests/support/testfiles.h"

namespace {

using testing_support::LoadedPicture;
using testing_support::ReaderFixture;
using Bytes = std::vector<uint8_t>;

struct Fixture {
    std::string name;
    std::string file;
};

std::vector<Fixture> Fixtures(std::string* skipReason) {
    return testing_support::ReadManifest<Fixture>(
        skipReason, [](const std::string& first, std::istringstream& words, std::vector<Fixture>* list) {
            Fixture f;
            f.name = first;
            words >> f.file;
            list->push_back(f);
        });
}

// Counts the rows the load stored: the row callback runs once per row (the
// cancel probe asks with a total of 1, which no fixture has).
int CountRow(int32_t, int32_t total, uintptr_t user) {
    if (total > 1) ++*reinterpret_cast<int*>(user);
    return 0;
}

struct Outcome {
    int result = -100;
    int rows = 0;
    int damaged = -1;  // the information record's word for a damaged file
    testing_support::RgbaPicture pixels;
};

Outcome LoadCut(const Bytes& bytes, const std::wstring& name, uint32_t flags, const std::wstring* path) {
    Outcome out;
    LoadOptions o;
    InitLoadOptions(&o);
    o.flags = flags;
    o.rowCallback = CountRow;
    o.rowCallbackUser = reinterpret_cast<uintptr_t>(&out.rows);
    LoadedPicture p;
    ImageInfo info{};
    p.result = path ? LoadPictureFromFile(path->c_str(), &p.bitmap, &o, &info)
                    : LoadPictureFromMemory(bytes.data(), bytes.size(), name.c_str(), &p.bitmap, &o, &info);
    out.result = p.result;
    out.damaged = info.damaged;
    FreePictureInfo(&info);
    if (p.bitmap.pixels) out.pixels = testing_support::RgbaOf(p.bitmap);
    return out;
}

class DamagedTest : public testing::Test {
protected:
    void SetUp() override {
        testing_support::EnsureFormatRegistry();
        std::string why;
        fixtures_ = Fixtures(&why);
        if (fixtures_.empty()) PV_ORACLE_MISSING(why);
    }
    std::vector<Fixture> fixtures_;
};

// Every reader, cut in its header, through its data and just before its end,
// read from memory and from a file: both give the same result and pixels.
// Under kLoadAcceptDamaged kLoadIncomplete or kLoadCorrupt becomes kLoadOk
// exactly when at least one row arrived, and the information record keeps
// the reader's code, so the caller can say the picture is partial; otherwise
// the reader's code stands and there is no picture.
TEST_F(DamagedTest, CutFilesGiveOneResultFromFileAndMemory) {
    testing_support::ScratchDir dir;
    for (const Fixture& f : fixtures_) {
        const Bytes whole = testing_support::ReadReaderFixture(f.file);
        const std::wstring name = Utf8ToWide(f.file.c_str());
        std::vector<size_t> cuts = {8, 30};
        for (int percent : {10, 25, 50, 75, 90}) cuts.push_back(whole.size() * size_t(percent) / 100);
        cuts.push_back(whole.size() - 1);
        for (size_t cut : cuts) {
            SCOPED_TRACE(f.name + " cut at " + std::to_string(cut) + " of " + std::to_string(whole.size()));
            const Bytes part(whole.begin(), whole.begin() + long(cut));
            const std::wstring path = dir.File("cut-" + f.file);
            testing_support::WriteBytes(path, part);
            const Outcome strict = LoadCut(part, name, 0, nullptr);
            const Outcome strictFile = LoadCut(part, name, 0, &path);
            const Outcome lenient = LoadCut(part, name, kLoadAcceptDamaged, nullptr);
            const Outcome lenientFile = LoadCut(part, name, kLoadAcceptDamaged, &path);
            EXPECT_EQ(strict.result, strictFile.result);
            EXPECT_EQ(lenient.result, lenientFile.result);
            EXPECT_EQ(lenient.pixels.px, lenientFile.pixels.px);

            const bool damaged = strict.result == kLoadIncomplete || strict.result == kLoadCorrupt;
            if (damaged) {
                EXPECT_EQ(lenient.rows > 0 ? kLoadOk : strict.result, lenient.result) << lenient.rows << " rows";
            } else {
                EXPECT_EQ(strict.result, lenient.result);
            }
            EXPECT_EQ(lenient.damaged, damaged && lenient.rows > 0 ? strict.result : 0);
            EXPECT_EQ(lenient.damaged, lenientFile.damaged);
            EXPECT_EQ(strict.damaged, 0);
            EXPECT_EQ(lenient.result == kLoadOk, !lenient.pixels.px.empty());
            EXPECT_TRUE(strict.result == kLoadOk || strict.pixels.px.empty());
        }
    }
}

// A PNG cut a few kilobytes into its image data: the rows whose data
// arrived are delivered (the file is accepted as damaged), and they are the
// whole picture's rows.
TEST_F(DamagedTest, PngCutEarlyInItsImageDataKeepsTheRowsBeforeTheCut) {
    const Bytes whole = testing_support::ReadReaderFixture("png-noise.png");
    const Outcome full = LoadCut(whole, L"x.png", 0, nullptr);
    ASSERT_EQ(kLoadOk, full.result);
    const std::string text(whole.begin(), whole.end());
    const size_t idat = text.find("IDAT");
    ASSERT_NE(std::string::npos, idat);
    const size_t rowBytes = size_t(full.pixels.width) * 4;
    const Bytes part(whole.begin(), whole.begin() + long(idat + 3000));
    const Outcome cut = LoadCut(part, L"x.png", kLoadAcceptDamaged, nullptr);
    ASSERT_EQ(kLoadOk, cut.result);
    // 3000 bytes of incompressible data hold six rows of 160 pixels.
    EXPECT_GE(cut.rows, 4);
    ASSERT_EQ(full.pixels.px.size(), cut.pixels.px.size());
    const size_t kept = size_t(cut.rows - 1) * rowBytes;  // the last row may be partly decoded
    EXPECT_TRUE(std::equal(full.pixels.px.begin(), full.pixels.px.begin() + long(kept), cut.pixels.px.begin()));
}

// Alpha byte of each pixel order's four-byte pixels: R, G, B, A / A, B, G, R
// / B, G, R, A / A, R, G, B.
int AlphaByte(uint16_t order) { return order == 1 || order == 3 ? 0 : 3; }

// Every reader, asked for four bytes a pixel in every pixel order (low
// depths widened too), fills the alpha byte of a picture without alpha with
// the load's alpha value. An icon's own mask and an animation's composed
// canvas are alpha of the picture's own: opaque here.
TEST_F(DamagedTest, FourBytePixelsCarryTheAlphaValue) {
    constexpr uint8_t kAlpha = 200;
    for (const Fixture& f : fixtures_) {
        const std::wstring path = testing_support::FixtureFile(testing_support::ReaderFixtureDir(), f.file);
        const uint8_t want = f.name == "ico" || f.name == "apng" ? 255 : kAlpha;
        for (uint16_t order = 0; order < 4; ++order) {
            for (uint32_t flags : {uint32_t(kLoadPreferFourBytes), uint32_t(kLoadPreferFourBytes | kLoadLowDepthAsColour)}) {
                SCOPED_TRACE(f.name + " order " + std::to_string(order) + " flags " + std::to_string(flags));
                LoadOptions o;
                InitLoadOptions(&o);
                o.flags = flags;
                o.pixelOrder = order;
                o.alphaValue = kAlpha;
                LoadedPicture p;
                p.result = LoadPictureFromFile(path.c_str(), &p.bitmap, &o, nullptr);
                ASSERT_EQ(kLoadOk, p.result);
                if (p.bitmap.bytesPerPixel != 4) continue;  // grey and palette pictures stay one byte
                int wrong = 0;
                for (int32_t y = 0; y < p.bitmap.height; ++y)
                    for (int32_t x = 0; x < p.bitmap.width; ++x)
                        if (p.Row(y)[4 * x + AlphaByte(order)] != want) ++wrong;
                EXPECT_EQ(0, wrong) << "of " << p.bitmap.width * p.bitmap.height;
            }
        }
    }
}

}  // namespace
