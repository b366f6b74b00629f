// What the PNG and icon reader tests share: loads from memory into one
// comparable form (top-down R, G, B, A), the manifest of the oracle fixtures
// that make_fixtures.py writes into the build tree (read through the reader
// fixture helpers), and builders for hand-made icons.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "imagelib/bitmap.h"
#include "imagelib/load.h"
#include "imagelib/metadata.h"
#include "tests/readers/fixtures.h"
#include "tests/support/bytes.h"
#include "tests/support/pictures.h"

namespace pngico {

using Bytes = std::vector<uint8_t>;

using testing_support::AppendLe16;
using testing_support::AppendLe32;
using testing_support::ExpectedPixels;
using testing_support::ExpectSamePixels;
using testing_support::kVisiblePixels;
using testing_support::ReaderFixtureDir;
using Rgba = testing_support::RgbaPicture;

inline Bytes ReadFixture(const std::string& name) { return testing_support::ReadReaderFixture(name); }

// One load from memory with its bitmap and information.
struct Load : testing_support::LoadedPicture {
    // The bitmap as R, G, B, A; empty unless it has four bytes a pixel
    // (loads made with RgbaOptions do).
    Rgba Pixels() const { return bitmap.bytesPerPixel == 4 ? testing_support::RgbaOf(bitmap) : Rgba(); }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (int i = 0; i < info.textCount; ++i) t.emplace_back(info.texts[i]);
        return t;
    }
};

using testing_support::EnsureFormatRegistry;

// Options of every pixel comparison: four-byte R, G, B, A output.
inline LoadOptions RgbaOptions() {
    LoadOptions o;
    InitLoadOptions(&o);
    o.flags = kLoadLowDepthAsColour | kLoadPreferFourBytes;
    o.pixelOrder = 0;
    return o;
}

inline int LoadBytes(const Bytes& data, const wchar_t* name, const LoadOptions& o, Load* out) {
    EnsureFormatRegistry();
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
    return testing_support::ReadManifest<FixtureCheck>(
        skipReason, [](const std::string& first, std::istringstream& words, std::vector<FixtureCheck>* list) {
            FixtureCheck f;
            f.name = first;
            words >> f.file >> f.check >> f.index >> f.options >> f.tolerance;
            list->push_back(f);
        });
}

inline const wchar_t* NameFor(const std::string& file) {
    return file.size() > 4 && file.compare(file.size() - 4, 4, ".ico") == 0 ? L"fixture.ico" : L"fixture.png";
}

// ---------------------------------------------------------------------------
// Hand-made icons.

// An icon of one DIB entry: directory, entry, then `dib` (bitmap header on).
inline Bytes OneEntryIcon(uint8_t width, uint8_t height, uint16_t bitCount, const Bytes& dib) {
    Bytes b;
    AppendLe16(b, 0);
    AppendLe16(b, 1);
    AppendLe16(b, 1);
    b.push_back(width);
    b.push_back(height);
    b.push_back(0);
    b.push_back(0);
    AppendLe16(b, 1);
    AppendLe16(b, bitCount);
    AppendLe32(b, uint32_t(dib.size()));
    AppendLe32(b, 22);
    b.insert(b.end(), dib.begin(), dib.end());
    return b;
}

// The 40-byte bitmap header of an icon image (height: both halves).
inline Bytes BitmapHeader(int32_t width, int32_t height, uint16_t bitCount, uint32_t size = 40, uint16_t planes = 1) {
    Bytes b;
    AppendLe32(b, size);
    AppendLe32(b, uint32_t(width));
    AppendLe32(b, uint32_t(height));
    AppendLe16(b, planes);
    AppendLe16(b, bitCount);
    for (int i = 0; i < 6; ++i) AppendLe32(b, 0);
    return b;
}

}  // namespace pngico
