// The oracle fixtures that make_fixtures.py writes into the build tree: the
// manifest, the files, and the pixels an independent decoder read from them.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

struct ReaderFixture {
    std::string name;
    std::string file;
    std::string check;  // "rgb", "rgba" or "refuse" (the reader answers 2)
};

inline std::string ReaderFixtureDir() { return PV_READER_FIXTURES; }

inline std::vector<uint8_t> ReadReaderFixture(const std::string& name) {
    std::ifstream in(ReaderFixtureDir() + "/" + name, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The manifest; empty with `skipReason` set when the fixtures could not be
// made (a tool missing) or are not there.
inline std::vector<ReaderFixture> ReaderFixtures(std::string* skipReason) {
    std::vector<ReaderFixture> list;
    std::ifstream in(ReaderFixtureDir() + "/manifest.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        ReaderFixture f;
        words >> f.name;
        if (f.name == "skip") {
            std::getline(words, *skipReason);
            return {};
        }
        words >> f.file >> f.check;
        if (!f.name.empty()) list.push_back(f);
    }
    if (list.empty()) *skipReason = "no fixtures in " + ReaderFixtureDir();
    return list;
}

// Expected pixels: top-down R, G, B, A.
struct RgbaPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> px;
    const uint8_t* At(int x, int y) const { return &px[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
};

inline RgbaPicture ExpectedPixels(const std::string& name) {
    const std::vector<uint8_t> e = ReadReaderFixture(name + ".rgba");
    RgbaPicture r;
    if (e.size() < 8) return r;
    r.width = e[0] | e[1] << 8 | e[2] << 16 | e[3] << 24;
    r.height = e[4] | e[5] << 8 | e[6] << 16 | e[7] << 24;
    r.px.assign(e.begin() + 8, e.end());
    return r;
}

// Pictures compared byte by byte (alpha only when asked), within `tolerance`;
// the first few differences are reported.
inline void ExpectSamePixels(const RgbaPicture& want, const RgbaPicture& got, bool alpha, int tolerance = 0) {
    ASSERT_EQ(want.width, got.width);
    ASSERT_EQ(want.height, got.height);
    ASSERT_EQ(want.px.size(), got.px.size());
    int bad = 0;
    for (size_t i = 0; i < got.px.size() && bad < 5; ++i) {
        if (i % 4 == 3 && !alpha) continue;
        if (std::abs(int(got.px[i]) - int(want.px[i])) > tolerance) {
            const size_t p = i / 4;
            ADD_FAILURE() << "pixel " << p % size_t(got.width) << "," << p / size_t(got.width) << " byte " << i % 4
                          << ": " << int(got.px[i]) << " want " << int(want.px[i]);
            ++bad;
        }
    }
}

// A plain (ASCII) file cut inside its last number still reads as whole.
inline bool CutInsideLastNumber(const std::vector<uint8_t>& file, size_t cut) {
    for (size_t i = cut; i < file.size(); ++i)
        if (!((file[i] >= '0' && file[i] <= '9') || file[i] == ' ' || file[i] == '\n')) return false;
    return true;
}

}  // namespace testing_support
