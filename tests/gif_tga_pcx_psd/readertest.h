// Helpers of the GIF, Targa, PCX and Photoshop reader tests: loading bytes
// through the library's memory load, reading the result back as R, G, B, A
// (or C, M, Y, K), byte builders for tiny hand-made files, and the oracle
// fixtures that make_fixtures.py writes into the build tree.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
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

namespace readertest {

using Bytes = std::vector<uint8_t>;

// One load from memory, freed on destruction.
struct Load {
    int result = -99;
    Bitmap bitmap{};
    ImageInfo info{};

    Load(const Bytes& file, const wchar_t* name, LoadOptions options) {
        static const bool registry = (InitFormatRegistry(), true);
        (void)registry;
        result = LoadPictureFromMemory(file.data(), file.size(), name, &bitmap, &options, &info);
    }
    Load(const Bytes& file, const wchar_t* name) : Load(file, name, Options()) {}
    ~Load() {
        FreeBitmap(&bitmap);
        FreePictureInfo(&info);
    }
    Load(const Load&) = delete;
    Load& operator=(const Load&) = delete;

    static LoadOptions Options(uint32_t flags = 0, uint32_t imageIndex = 0) {
        LoadOptions o;
        InitLoadOptions(&o);
        o.flags = flags;
        o.imageIndex = imageIndex;
        return o;
    }

    // The pixels as R, G, B, A (or the four bytes of CMYK), top row first.
    std::vector<uint8_t> Rgba() const {
        const Bitmap& b = bitmap;
        std::vector<uint8_t> out;
        if (!b.pixels) return out;
        out.reserve(size_t(b.width) * size_t(b.height) * 4);
        for (int32_t y = 0; y < b.height; ++y) {
            const uint8_t* row = b.pixels + size_t(y) * size_t(b.bytesPerRow);
            for (int32_t x = 0; x < b.width; ++x) {
                uint8_t px[4] = {0, 0, 0, 255};
                switch (b.pixelType) {
                    case kPixelBilevel: px[0] = px[1] = px[2] = GetRowBit(row, x) ? 255 : 0; break;
                    case kPixelGrey: px[0] = px[1] = px[2] = row[x]; break;
                    case kPixelPalette:
                        px[0] = b.palette[row[x]];
                        px[1] = b.palette[kPaletteGreen + row[x]];
                        px[2] = b.palette[kPaletteBlue + row[x]];
                        break;
                    case kPixelRGB: std::memcpy(px, row + 3 * x, 3); break;
                    case kPixelRGBA:
                    case kPixelCMYK: std::memcpy(px, row + 4 * x, 4); break;
                    default: ADD_FAILURE() << "pixel type " << b.pixelType; return {};
                }
                out.insert(out.end(), px, px + 4);
            }
        }
        return out;
    }
};

// Pixels of a picture, R, G, B, A each, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> px;
};

// Compares byte by byte (alpha only when asked) within `tolerance`; the
// first few differences are reported.
inline void ExpectSamePixels(const Picture& want, const Load& got, bool alpha, int tolerance = 0) {
    ASSERT_EQ(want.width, got.bitmap.width);
    ASSERT_EQ(want.height, got.bitmap.height);
    const std::vector<uint8_t> px = got.Rgba();
    ASSERT_EQ(want.px.size(), px.size());
    int bad = 0;
    for (size_t i = 0; i < px.size() && bad < 5; ++i) {
        if (i % 4 == 3 && !alpha) continue;
        if (std::abs(int(px[i]) - int(want.px[i])) > tolerance) {
            const size_t p = i / 4;
            ADD_FAILURE() << "pixel " << p % size_t(want.width) << "," << p / size_t(want.width) << " byte "
                          << i % 4 << ": " << int(px[i]) << " want " << int(want.px[i]);
            ++bad;
        }
    }
}

// Little byte builders.
inline void Put16Le(Bytes* b, uint32_t v) {
    b->push_back(uint8_t(v));
    b->push_back(uint8_t(v >> 8));
}
inline void Put16Be(Bytes* b, uint32_t v) {
    b->push_back(uint8_t(v >> 8));
    b->push_back(uint8_t(v));
}
inline void Put32Be(Bytes* b, uint32_t v) {
    Put16Be(b, v >> 16);
    Put16Be(b, v & 0xFFFF);
}
inline void Append(Bytes* b, const Bytes& more) { b->insert(b->end(), more.begin(), more.end()); }
inline void AppendText(Bytes* b, const char* text) { b->insert(b->end(), text, text + std::strlen(text)); }

inline Bytes Cut(const Bytes& file, size_t n) { return Bytes(file.begin(), file.begin() + long(n)); }

// --- Oracle fixtures -------------------------------------------------------

struct Fixture {
    std::string name;
    std::string file;
    std::string check;  // "rgb", "rgba" or "cmyk"
    uint32_t index = 0;
};

struct MetadataFixture {
    std::string file;
    uint32_t kind = 0;
    std::string blob;
};

inline std::string FixtureDir() { return PV_GTPP_FIXTURES; }

inline Bytes ReadFixture(const std::string& name) {
    std::ifstream in(FixtureDir() + "/" + name, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The manifest; empty with `skipReason` set when the fixtures could not be
// made (a tool missing) or are not there.
inline std::vector<Fixture> Fixtures(std::string* skipReason, std::vector<MetadataFixture>* metadata = nullptr) {
    std::vector<Fixture> list;
    std::ifstream in(FixtureDir() + "/manifest.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (first == "skip") {
            std::getline(words, *skipReason);
            return {};
        }
        if (first == "meta") {
            MetadataFixture m;
            words >> m.file >> m.kind >> m.blob;
            if (metadata) metadata->push_back(m);
            continue;
        }
        Fixture f;
        f.name = first;
        words >> f.file >> f.check >> f.index;
        if (!f.name.empty()) list.push_back(f);
    }
    if (list.empty()) *skipReason = "no fixtures in " + FixtureDir();
    return list;
}

inline Picture ExpectedPixels(const std::string& name) {
    const Bytes e = ReadFixture(name + ".rgba");
    Picture p;
    if (e.size() < 8) return p;
    p.width = e[0] | e[1] << 8 | e[2] << 16 | e[3] << 24;
    p.height = e[4] | e[5] << 8 | e[6] << 16 | e[7] << 24;
    p.px.assign(e.begin() + 8, e.end());
    return p;
}

// A wide name with the fixture's extension, so the load picks its reader.
inline std::wstring NameFor(const std::string& file) {
    return L"picture" + std::wstring(file.begin() + long(file.rfind('.')), file.end());
}

}  // namespace readertest
