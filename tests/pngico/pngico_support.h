// What the PNG and icon reader tests share: loads from memory into one
// comparable form (top-down R, G, B, A), the manifest of the oracle fixtures
// that make_fixtures.py writes into the build tree (read through the reader
// fixture helpers), and builders for hand-made icons.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "imagelib/bitmap.h"
#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "imagelib/metadata.h"
#include "tests/readers/fixtures.h"

namespace pngico {

using Bytes = std::vector<uint8_t>;

using testing_support::ExpectedPixels;
using testing_support::ReaderFixtureDir;
using Rgba = testing_support::RgbaPicture;

inline Bytes ReadFixture(const std::string& name) { return testing_support::ReadReaderFixture(name); }

// One load from memory with its bitmap and information.
struct Load {
    int result = -100;
    Bitmap bitmap{};
    ImageInfo info{};
    Load() = default;
    Load(const Load&) = delete;
    Load& operator=(const Load&) = delete;
    ~Load() {
        FreeBitmap(&bitmap);
        FreePictureInfo(&info);
    }
    // The bitmap as R, G, B, A (loads made by LoadRgba are four-byte RGBA).
    Rgba Pixels() const {
        Rgba r;
        if (!bitmap.pixels || bitmap.bytesPerPixel != 4) return r;
        r.width = bitmap.width;
        r.height = bitmap.height;
        for (int y = 0; y < bitmap.height; ++y) {
            const uint8_t* row = bitmap.pixels + size_t(y) * size_t(bitmap.bytesPerRow);
            r.px.insert(r.px.end(), row, row + size_t(bitmap.width) * 4);
        }
        return r;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (int i = 0; i < info.textCount; ++i) t.emplace_back(info.texts[i]);
        return t;
    }
};

inline void EnsureRegistry() {
    static const bool done = (InitFormatRegistry(), true);
    (void)done;
}

// Options of every pixel comparison: four-byte R, G, B, A output.
inline LoadOptions RgbaOptions() {
    LoadOptions o;
    InitLoadOptions(&o);
    o.flags = kLoadLowDepthAsColour | kLoadPreferFourBytes;
    o.pixelOrder = 0;
    return o;
}

inline int LoadBytes(const Bytes& data, const wchar_t* name, const LoadOptions& o, Load* out) {
    EnsureRegistry();
    out->result = LoadPictureFromMemory(data.data(), data.size(), name, &out->bitmap, &o, &out->info);
    return out->result;
}

// ---------------------------------------------------------------------------
// Oracle fixtures.

struct FixtureCheck {
    std::string name;
    std::string file;
    std::string check;    // "rgb" or "rgba"
    int index = -1;       // wanted image; -1 the load's default
    std::string options;  // "best", "mask", "white" (comma list) or "-"
    int tolerance = 0;
};

// The manifest; empty with `skipReason` set when the fixtures were not made.
inline std::vector<FixtureCheck> FixtureChecks(std::string* skipReason) {
    std::vector<FixtureCheck> list;
    std::ifstream in(ReaderFixtureDir() + "/manifest.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        FixtureCheck f;
        words >> f.name;
        if (f.name == "skip") {
            std::getline(words, *skipReason);
            return {};
        }
        words >> f.file >> f.check >> f.index >> f.options >> f.tolerance;
        if (!f.name.empty()) list.push_back(f);
    }
    if (list.empty()) *skipReason = "no fixtures in " + ReaderFixtureDir();
    return list;
}

inline const wchar_t* NameFor(const std::string& file) {
    return file.size() > 4 && file.compare(file.size() - 4, 4, ".ico") == 0 ? L"fixture.ico" : L"fixture.png";
}

// Compares colours where the expected alpha is not 0 (an oracle may blank
// what a mask hides) and, when asked, alpha.
inline void ExpectSameVisiblePixels(const Rgba& want, const Rgba& got, bool alpha, int tolerance) {
    ASSERT_EQ(want.width, got.width);
    ASSERT_EQ(want.height, got.height);
    ASSERT_EQ(want.px.size(), got.px.size());
    int bad = 0;
    for (size_t i = 0; i < got.px.size() && bad < 5; ++i) {
        const size_t p = i / 4;
        if (i % 4 == 3 ? !alpha : want.px[p * 4 + 3] == 0) continue;
        if (std::abs(int(got.px[i]) - int(want.px[i])) > tolerance) {
            ADD_FAILURE() << "pixel " << p % size_t(got.width) << "," << p / size_t(got.width) << " byte " << i % 4
                          << ": " << int(got.px[i]) << " want " << int(want.px[i]);
            ++bad;
        }
    }
}

// ---------------------------------------------------------------------------
// Little-endian builders for hand-made icons.

inline void Put16(Bytes* b, uint32_t v) {
    b->push_back(uint8_t(v));
    b->push_back(uint8_t(v >> 8));
}

inline void Put32(Bytes* b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// An icon of one DIB entry: directory, entry, then `dib` (bitmap header on).
inline Bytes OneEntryIcon(uint8_t width, uint8_t height, uint16_t bitCount, const Bytes& dib) {
    Bytes b;
    Put16(&b, 0);
    Put16(&b, 1);
    Put16(&b, 1);
    b.push_back(width);
    b.push_back(height);
    b.push_back(0);
    b.push_back(0);
    Put16(&b, 1);
    Put16(&b, bitCount);
    Put32(&b, uint32_t(dib.size()));
    Put32(&b, 22);
    b.insert(b.end(), dib.begin(), dib.end());
    return b;
}

// The 40-byte bitmap header of an icon image (height: both halves).
inline Bytes BitmapHeader(int32_t width, int32_t height, uint16_t bitCount, uint32_t size = 40, uint16_t planes = 1) {
    Bytes b;
    Put32(&b, size);
    Put32(&b, uint32_t(width));
    Put32(&b, uint32_t(height));
    Put16(&b, planes);
    Put16(&b, bitCount);
    for (int i = 0; i < 6; ++i) Put32(&b, 0);
    return b;
}

}  // namespace pngico
