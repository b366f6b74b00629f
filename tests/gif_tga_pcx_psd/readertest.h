// Helpers of the GIF, Targa, PCX and Photoshop reader tests: loading bytes
// through the library's memory load, reading the result back as R, G, B, A
// (or C, M, Y, K), builders for tiny hand-made files, and the manifest
// of the oracle fixtures that make_fixtures.py writes into the build tree
// (their files and pixels are read with tests/readers/fixtures.h).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "imagelib/bitmap.h"
#include "imagelib/load.h"
#include "imagelib/metadata.h"
#include "tests/readers/fixtures.h"
#include "tests/support/bytes.h"
#include "tests/support/pictures.h"

namespace readertest {

using Bytes = std::vector<uint8_t>;

// One load from memory, freed on destruction.
struct Load : testing_support::LoadedPicture {
    Load(const Bytes& file, const wchar_t* name, LoadOptions options) {
        testing_support::EnsureFormatRegistry();
        result = LoadPictureFromMemory(file.data(), file.size(), name, &bitmap, &options, &info);
    }
    Load(const Bytes& file, const wchar_t* name) : Load(file, name, Options()) {}

    static LoadOptions Options(uint32_t flags = 0, uint32_t imageIndex = 0) {
        LoadOptions o;
        InitLoadOptions(&o);
        o.flags = flags;
        o.imageIndex = imageIndex;
        return o;
    }

    // The pixels as R, G, B, A (or the four bytes of CMYK), top row first.
    testing_support::RgbaPicture Rgba() const { return testing_support::RgbaOf(bitmap); }
};

// Little byte builders (fields: tests/support/bytes.h).
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
    return testing_support::ReadManifest<Fixture>(
        skipReason, [metadata](const std::string& first, std::istringstream& words, std::vector<Fixture>* list) {
            if (first == "meta") {
                MetadataFixture m;
                words >> m.file >> m.kind >> m.blob;
                if (metadata) metadata->push_back(m);
                return;
            }
            Fixture f;
            f.name = first;
            words >> f.file >> f.check >> f.index;
            list->push_back(f);
        });
}

// A wide name with the fixture's extension, so the load picks its reader.
inline std::wstring NameFor(const std::string& file) {
    return L"picture" + std::wstring(file.begin() + long(file.rfind('.')), file.end());
}

}  // namespace readertest
