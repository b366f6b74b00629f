// Helpers of the TIFF reader tests: the oracle manifest that
// make_fixtures.py writes, and a builder of small TIFF files by hand.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "tests/gif_tga_pcx_psd/readertest.h"

namespace tifftest {

using readertest::Bytes;
using readertest::Load;

struct Fixture {
    std::string name;
    std::string file;
    std::string check;  // "rgb", "rgba" or "cmyk"
    uint32_t index = 0;
    int tolerance = 0;
};

inline std::vector<Fixture> Fixtures(std::string* skipReason) {
    return testing_support::ReadManifest<Fixture>(
        skipReason, [](const std::string& first, std::istringstream& words, std::vector<Fixture>* list) {
            Fixture f;
            f.name = first;
            words >> f.file >> f.check >> f.index >> f.tolerance;
            list->push_back(f);
        });
}

// A little-endian TIFF of one directory: entries (tag, type, count, value)
// in the order given, then extra data at the offsets the caller put in the
// values (the directory starts at 8 and takes 2 + 12 n + 4 bytes).
struct TiffEntry {
    uint16_t tag, type;
    uint32_t count, value;
};

inline size_t DataStart(size_t entries) { return 8 + 2 + 12 * entries + 4; }

inline Bytes BuildTiff(const std::vector<TiffEntry>& entries, const Bytes& data, uint32_t next = 0) {
    Bytes b = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put16 = [&](uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); };
    auto put32 = [&](uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
    put16(uint32_t(entries.size()));
    for (const TiffEntry& e : entries) {
        put16(e.tag);
        put16(e.type);
        put32(e.count);
        put32(e.value);
    }
    put32(next);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

}  // namespace tifftest
