// Helpers of the GIF, Targa, PCX and Photoshop reader tests: loading bytes
// through the library's memory load, reading the result back as R, G, B, A
// (or C, M, Y, K), byte builders for tiny hand-made files, and the manifest
// of the oracle fixtures that make_fixtures.py writes into the build tree
// (their files and pixels are read with tests/readers/fixtures.h).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "imagelib/bitmap.h"
#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "imagelib/metadata.h"
#include "tests/readers/fixtures.h"

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
    testing_support::RgbaPicture Rgba() const {
        const Bitmap& b = bitmap;
        testing_support::RgbaPicture out;
        if (!b.pixels) return out;
        out.width = b.width;
        out.height = b.height;
        out.px.reserve(size_t(b.width) * size_t(b.height) * 4);
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
                out.px.insert(out.px.end(), px, px + 4);
            }
        }
        return out;
    }
};

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

// A file made of a header builder's bytes (anything with Build()) and the
// bytes after it.
template <class Header>
Bytes FileOf(const Header& header, const Bytes& rest) {
    Bytes b = header.Build();
    Append(&b, rest);
    return b;
}

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

// The manifest; empty with `skipReason` set when the fixtures could not be
// made (a tool missing) or are not there.
inline std::vector<Fixture> Fixtures(std::string* skipReason, std::vector<MetadataFixture>* metadata = nullptr) {
    std::vector<Fixture> list;
    std::ifstream in(testing_support::ReaderFixtureDir() + "/manifest.txt");
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
    if (list.empty()) *skipReason = "no fixtures in " + testing_support::ReaderFixtureDir();
    return list;
}

// A wide name with the fixture's extension, so the load picks its reader.
inline std::wstring NameFor(const std::string& file) {
    return L"picture" + std::wstring(file.begin() + long(file.rfind('.')), file.end());
}

}  // namespace readertest
