// The JPEG marker walker: size from the first frame header, nothing when
// the stream is cut, has a bad length, or reaches its scan first.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "processing/jpegsize.h"
#include "tests/support/bytes.h"

namespace {

using testing_support::AppendBe16;
using Bytes = std::vector<uint8_t>;

void Soi(Bytes& b) { b.insert(b.end(), {0xFF, 0xD8}); }

// A marker segment whose length field counts itself.
void Segment(Bytes& b, uint8_t code, size_t payload) {
    b.insert(b.end(), {0xFF, code});
    AppendBe16(b, uint32_t(payload + 2));
    b.insert(b.end(), payload, 0x11);
}

void Frame(Bytes& b, uint8_t code, uint16_t width, uint16_t height) {
    b.insert(b.end(), {0xFF, code});
    AppendBe16(b, 11);
    b.push_back(8);
    AppendBe16(b, height);
    AppendBe16(b, width);
    b.insert(b.end(), {1, 1, 0x11, 0});
}

struct SizeCase {
    const char* name;
    Bytes stream;
    int result;
    uint32_t width;
    uint32_t height;
};

std::vector<SizeCase> Cases() {
    std::vector<SizeCase> cases;
    Bytes b;
    Soi(b), Segment(b, 0xE0, 14), Segment(b, 0xDB, 65), Frame(b, 0xC0, 160, 120);
    cases.push_back({"app0 and dqt before a baseline frame", b, 1, 160, 120});
    b.clear(), Soi(b), Segment(b, 0xDB, 65), Frame(b, 0xC2, 7, 5);
    cases.push_back({"progressive frame", b, 1, 7, 5});
    b.clear(), Soi(b), b.insert(b.end(), {0x00, 0x12, 0xFF, 0xFF}), b.push_back(0xDB), AppendBe16(b, 2),
        Frame(b, 0xC1, 9, 3);
    cases.push_back({"garbage and fill bytes before a marker", b, 1, 9, 3});
    b.clear(), Soi(b), Segment(b, 0xC4, 20), Frame(b, 0xC9, 4, 4);
    cases.push_back({"huffman table is no frame; arithmetic frame is", b, 1, 4, 4});
    b.clear(), Soi(b), Segment(b, 0xDB, 65), Segment(b, 0xDA, 8), Frame(b, 0xC0, 1, 1);
    cases.push_back({"scan before any frame", b, 0, 0, 0});
    b.clear(), Soi(b), b.insert(b.end(), {0xFF, 0xD9});
    cases.push_back({"end of image", b, 0, 0, 0});
    b.clear(), Soi(b), Segment(b, 0xE1, 40), b.resize(b.size() - 10);
    cases.push_back({"ends inside a segment", b, 0, 0, 0});
    b.clear(), Soi(b), b.insert(b.end(), {0xFF, 0xE0, 0x00, 0x01}), Frame(b, 0xC0, 2, 2);
    cases.push_back({"segment length 1", b, 0, 0, 0});
    b.clear(), Soi(b), Frame(b, 0xC0, 2, 2), b.resize(b.size() - 6);
    cases.push_back({"frame header cut", b, 0, 0, 0});
    cases.push_back({"not a jpeg", Bytes{0x89, 'P', 'N', 'G'}, 0, 0, 0});
    cases.push_back({"one byte", Bytes{0xFF}, 0, 0, 0});
    cases.push_back({"empty", Bytes{}, 0, 0, 0});
    return cases;
}

TEST(JpegSize, FramesAndFailures) {
    for (const SizeCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        uint32_t w = 0, h = 0;
        EXPECT_EQ(GetJpegSizeFromMemory(c.stream.data(), c.stream.size(), &w, &h), c.result);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
    }
}

TEST(JpegSize, FailureLeavesOutputsAlone) {
    const Bytes cut = {0xFF, 0xD8, 0xFF, 0xE0, 0x00};
    uint32_t w = 77, h = 88;
    EXPECT_EQ(GetJpegSizeFromMemory(cut.data(), cut.size(), &w, &h), 0);
    EXPECT_EQ(w, 77u);
    EXPECT_EQ(h, 88u);
    EXPECT_EQ(GetJpegSizeFromMemory(nullptr, 10, &w, &h), 0);
}

}  // namespace
