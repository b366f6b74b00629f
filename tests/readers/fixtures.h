// The oracle fixtures that make_fixtures.py writes into the build tree: the
// manifest, the files, and the pixels an independent decoder read from them.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/pictures.h"
#include "tests/support/testfiles.h"

namespace testing_support {

struct ReaderFixture {
    std::string name;
    std::string file;
    std::string check;  // "rgb", "rgba" or "refuse" (the reader answers 2)
};

inline std::string ReaderFixtureDir() { return PV_READER_FIXTURES; }

inline std::vector<uint8_t> ReadReaderFixture(const std::string& name) {
    return ReadBytes(FixtureFile(ReaderFixtureDir(), name));
}

// Reads the manifest, one line at a time: `entry(first word, the rest of
// the line, &list)` for each line that is not empty. Empty with
// `skipReason` set when the fixtures could not be made (the manifest is one
// "skip REASON" line: a tool missing) or are not there.
template <class Entry, class ParseLine>
std::vector<Entry> ReadManifest(std::string* skipReason, ParseLine entry) {
    std::vector<Entry> list;
    std::ifstream in(ToFsPath(FixtureFile(ReaderFixtureDir(), "manifest.txt")));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (first == "skip") {
            std::getline(words, *skipReason);
            return {};
        }
        if (!first.empty()) entry(first, words, &list);
    }
    if (list.empty()) *skipReason = "no fixtures in " + ReaderFixtureDir();
    return list;
}

// The manifest.
inline std::vector<ReaderFixture> ReaderFixtures(std::string* skipReason) {
    return ReadManifest<ReaderFixture>(skipReason, [](const std::string& first, std::istringstream& words,
                                                      std::vector<ReaderFixture>* list) {
        ReaderFixture f;
        f.name = first;
        words >> f.file >> f.check;
        list->push_back(f);
    });
}

// The pixels the oracle read from fixture `name` (NAME.rgba: width and
// height as little-endian 32-bit words, then R, G, B, A rows from the top).
inline RgbaPicture ExpectedPixels(const std::string& name) {
    const std::vector<uint8_t> e = ReadReaderFixture(name + ".rgba");
    RgbaPicture r;
    if (e.size() < 8) return r;
    r.width = e[0] | e[1] << 8 | e[2] << 16 | e[3] << 24;
    r.height = e[4] | e[5] << 8 | e[6] << 16 | e[7] << 24;
    r.px.assign(e.begin() + 8, e.end());
    return r;
}

// A plain (ASCII) file cut inside its last number still reads as whole.
inline bool CutInsideLastNumber(const std::vector<uint8_t>& file, size_t cut) {
    for (size_t i = cut; i < file.size(); ++i)
        if (!((file[i] >= '0' && file[i] <= '9') || file[i] == ' ' || file[i] == '\n')) return false;
    return true;
}

}  // namespace testing_support
