// The deflate compressor, checked by zlib's raw inflate.
#include "zip/deflate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/zipdeflate.h"
#include "tests/zip/ziptestutil.h"

namespace {

using testing_support::DeflateMemory;
using testing_support::InflateRaw;
using ziptest::PatternBytes;

std::vector<uint8_t> Text(size_t n) {
    static const char* const kWords[] = {"album", "picture", "the", "of", "slideshow", "viewer", "a",
                                         "folder", "thumbnail", "JPEG", "rotate", "and", "card"};
    std::string s;
    uint32_t x = 12345;
    while (s.size() < n) {
        x = x * 1103515245u + 12345u;
        s += kWords[(x >> 16) % 13];
        s += (x >> 8) % 11 == 0 ? ".\n" : " ";
    }
    s.resize(n);
    return std::vector<uint8_t>(s.begin(), s.end());
}

// A random block of d bytes followed by a copy of its first 300 bytes: the
// copy can only be coded as matches at distance d.
std::vector<uint8_t> RepeatAtDistance(size_t d) {
    std::vector<uint8_t> v = PatternBytes(d, 77);
    v.insert(v.end(), v.begin(), v.begin() + 300);
    return v;
}

// Pixels of a smooth picture with sensor noise, 3 bytes each: literals cost
// over 6 bits, and most matches are short and far.
std::vector<uint8_t> Pixels(int width, int height) {
    std::vector<uint8_t> v;
    uint32_t x = 99;
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            for (int channel = 0; channel < 3; ++channel) {
                x = x * 1103515245u + 12345u;
                v.push_back(uint8_t(row / 3 + column / 5 + channel * 40 + int((x >> 16) % 9)));
            }
        }
    }
    return v;
}

// Noise with pieces of itself repeated: at the farthest distance, and
// short repeats of 3 to 5 bytes at many distances.
std::vector<uint8_t> NoiseWithRepeats() {
    std::vector<uint8_t> v = PatternBytes(70000, 4);
    v.insert(v.end(), v.end() - 32506, v.end() - 32506 + 600);
    for (size_t at = 1000; at + 8 < v.size(); at += 97) {
        const size_t length = 3 + at % 3, distance = 1 + (at * 7919) % (at < 32000 ? at : 32000);
        for (size_t i = 0; i < length; ++i) v[at + i] = v[at - distance + i];
    }
    return v;
}

std::vector<uint8_t> Run(size_t n, bool withPrefix) {
    std::vector<uint8_t> v(n, 'x');
    if (withPrefix) v.insert(v.begin(), 'y');
    return v;
}

// Runs one compression with the given callbacks; returns the error.
const char* Compress(void* arg, DeflateReadFn read, DeflateFlushFn flush, uint16_t* fileType) {
    DeflateState* s = CreateDeflateState(arg, 8, read, flush);
    if (!s) return "no memory";
    std::vector<uint8_t> buffer(16384);
    uint16_t flags = 0;
    StartBitOutput(s, buffer.data(), uint32_t(buffer.size()));
    ct_init(s, fileType);
    PrepareMatcher(s, &flags);
    DeflateRun(s);
    const char* error = DeflateError(s);
    FreeDeflateState(s);
    return error;
}

struct Input {
    const char* name;
    std::function<std::vector<uint8_t>()> make;
};

const Input kInputs[] = {
    {"empty", [] { return std::vector<uint8_t>(); }},
    {"one byte", [] { return std::vector<uint8_t>{0x41}; }},
    {"two bytes", [] { return std::vector<uint8_t>{0x41, 0x41}; }},
    {"three bytes", [] { return std::vector<uint8_t>{0x41, 0x42, 0x41}; }},
    {"run of 258", [] { return Run(258, false); }},
    {"run of 259", [] { return Run(259, true); }},
    {"run of 100000", [] { return Run(100000, true); }},
    {"random", [] { return PatternBytes(100000, 1); }},
    {"text", [] { return Text(200000); }},
    {"text 32767", [] { return Text(32767); }},
    {"text 32768", [] { return Text(32768); }},
    {"text 32769", [] { return Text(32769); }},
    {"text 65273", [] { return Text(65273); }},
    {"text 65274", [] { return Text(65274); }},
    {"text 65275", [] { return Text(65275); }},
    {"text 65535", [] { return Text(65535); }},
    {"text 65536", [] { return Text(65536); }},
    {"text 65537", [] { return Text(65537); }},
    {"distance 4096", [] { return RepeatAtDistance(4096); }},
    {"distance 4097", [] { return RepeatAtDistance(4097); }},
    {"distance 32506", [] { return RepeatAtDistance(32506); }},
    {"distance 32507", [] { return RepeatAtDistance(32507); }},
    {"pixels", [] { return Pixels(300, 120); }},
    {"noise with repeats", NoiseWithRepeats},
    {"text then random", [] {
         std::vector<uint8_t> v = Text(70000);
         const std::vector<uint8_t> r = PatternBytes(70000, 9);
         v.insert(v.end(), r.begin(), r.end());
         return v;
     }},
};

TEST(Deflate, RoundTripsThroughZlibAtEveryLevel) {
    for (const Input& input : kInputs) {
        const std::vector<uint8_t> data = input.make();
        for (int level = 1; level <= 8; ++level) {
            SCOPED_TRACE(std::string(input.name) + ", level " + std::to_string(level));
            std::vector<uint8_t> packed, unpacked;
            uint32_t reported = 0;
            ASSERT_EQ(nullptr, DeflateMemory(data.data(), data.size(), level, &packed, 0, &reported));
            EXPECT_EQ(packed.size(), reported);
            ASSERT_TRUE(InflateRaw(packed, &unpacked, data.size()));
            EXPECT_TRUE(unpacked == data);
        }
    }
}

TEST(Deflate, ShortReadsGiveTheSameStream) {
    const std::vector<uint8_t> data = Text(150000);
    std::vector<uint8_t> whole, trickled;
    ASSERT_EQ(nullptr, DeflateMemory(data.data(), data.size(), 8, &whole));
    for (uint32_t piece : {1u, 7u, 4095u}) {
        ASSERT_EQ(nullptr, DeflateMemory(data.data(), data.size(), 8, &trickled, piece));
        EXPECT_TRUE(whole == trickled) << "reads of " << piece;
    }
}

TEST(Deflate, EmptyInputIsOneFixedFinalBlock) {
    std::vector<uint8_t> packed;
    ASSERT_EQ(nullptr, DeflateMemory(nullptr, 0, 8, &packed));
    EXPECT_EQ((std::vector<uint8_t>{0x03, 0x00}), packed);
}

// A block ends after 32767 symbols; random bytes hold only a few short
// matches, so the first block is stored and about that long.
TEST(Deflate, IncompressibleDataIsStoredInBlocksOfAbout32767) {
    const std::vector<uint8_t> data = PatternBytes(100000, 3);
    std::vector<uint8_t> packed;
    ASSERT_EQ(nullptr, DeflateMemory(data.data(), data.size(), 8, &packed));
    // First block: not final, type 0, then LEN and NLEN on the next bytes.
    EXPECT_EQ(0, packed[0] & 7);
    const uint16_t len = ziptest::Le16(&packed[1]);
    EXPECT_GE(len, 32767);
    EXPECT_LE(len, 32767 + 200);
    EXPECT_EQ(uint16_t(~len), ziptest::Le16(&packed[3]));
    EXPECT_EQ(0, std::memcmp(&packed[5], data.data(), len));
    EXPECT_LT(packed.size(), data.size() + data.size() / 100);
}

// Incompressible bytes make the matcher search only now and then; text that
// follows in the same block must still be searched in full. Sharing a block
// with the noise costs the text some bits, but not half its size again.
TEST(Deflate, TextAfterIncompressibleBytesStillCompresses) {
    const std::vector<uint8_t> noise = PatternBytes(20000, 5);
    const std::vector<uint8_t> text = Text(12000);
    std::vector<uint8_t> data = noise;
    data.insert(data.end(), text.begin(), text.end());
    std::vector<uint8_t> alone, mixed, unpacked;
    ASSERT_EQ(nullptr, DeflateMemory(text.data(), text.size(), 8, &alone));
    ASSERT_EQ(nullptr, DeflateMemory(data.data(), data.size(), 8, &mixed));
    ASSERT_TRUE(InflateRaw(mixed, &unpacked, data.size()));
    EXPECT_TRUE(unpacked == data);
    EXPECT_LT(mixed.size(), noise.size() + alone.size() + alone.size() / 2);
}

// Text and noise in turn, as an archive of varied files holds them: each
// kind of data gets blocks of its own, so the noise goes out stored and the
// text keeps codes made for text. One block over both would code the noise
// with text's codes (or the text as noise). The noise may cost 1 % more than
// its bytes, the text a fifth more than alone (its matches reach over the
// noise less often).
TEST(Deflate, EachKindOfDataGetsBlocksOfItsOwn) {
    constexpr size_t kPiece = 12000;
    const std::vector<uint8_t> text = Text(16 * kPiece), noise = PatternBytes(16 * kPiece, 8);
    std::vector<uint8_t> data;
    for (size_t at = 0; at < text.size(); at += kPiece) {
        data.insert(data.end(), text.begin() + ptrdiff_t(at), text.begin() + ptrdiff_t(at + kPiece));
        data.insert(data.end(), noise.begin() + ptrdiff_t(at), noise.begin() + ptrdiff_t(at + kPiece));
    }
    std::vector<uint8_t> textAlone, packed, unpacked;
    ASSERT_EQ(nullptr, DeflateMemory(text.data(), text.size(), 8, &textAlone));
    ASSERT_EQ(nullptr, DeflateMemory(data.data(), data.size(), 8, &packed));
    ASSERT_TRUE(InflateRaw(packed, &unpacked, data.size()));
    EXPECT_TRUE(unpacked == data);
    EXPECT_LT(packed.size(), noise.size() + noise.size() / 100 + textAlone.size() + textAlone.size() / 5);
}

// In noise the matcher searches its chains only now and then and only for
// strings it has seen; a long repeat there must still become matches.
TEST(Deflate, LongRepeatsInsideNoiseAreFoundAtEveryLevel) {
    std::vector<uint8_t> data = PatternBytes(60000, 6);
    data.insert(data.end(), data.begin() + 40000, data.begin() + 44000);  // 4000 bytes from 20000 back
    const std::vector<uint8_t> tail = PatternBytes(10000, 7);
    data.insert(data.end(), tail.begin(), tail.end());
    for (int level = 1; level <= 8; ++level) {
        std::vector<uint8_t> packed, unpacked;
        ASSERT_EQ(nullptr, DeflateMemory(data.data(), data.size(), level, &packed));
        ASSERT_TRUE(InflateRaw(packed, &unpacked, data.size()));
        EXPECT_TRUE(unpacked == data);
        EXPECT_LT(packed.size(), data.size() - 3000) << "level " << level;
    }
}

TEST(Deflate, RefusesLevelsOutsideOneToEight) {
    for (int level : {0, 9}) {
        std::vector<uint8_t> packed;
        const uint8_t byte = 1;
        const char* error = DeflateMemory(&byte, 1, level, &packed);
        ASSERT_NE(nullptr, error);
        EXPECT_STREQ("bad pack level", error);
    }
}

TEST(Deflate, SetsTheLevelHintInTheFlags) {
    const struct {
        int level;
        uint16_t flags;
    } kCases[] = {{1, 4}, {2, 4}, {3, 0}, {6, 0}, {8, 2}};
    for (const auto& c : kCases) {
        testing_support::DeflateMemoryJob job = {nullptr, 0, 0, 0, nullptr};
        DeflateState* s = CreateDeflateState(&job, c.level, testing_support::DeflateMemoryRead,
                                             testing_support::DeflateMemoryFlush);
        ASSERT_NE(nullptr, s);
        uint16_t flags = 0;
        PrepareMatcher(s, &flags);
        EXPECT_EQ(c.flags, flags) << "level " << c.level;
        FreeDeflateState(s);
    }
}

// An output that refuses every write stops the compression at once.
TEST(Deflate, FailedFlushStopsTheCompression) {
    struct Job {
        testing_support::DeflateMemoryJob input;
        int flushes;
    };
    const std::vector<uint8_t> data = PatternBytes(1 << 20, 5);
    Job job = {{data.data(), data.size(), 0, 0, nullptr}, 0};
    auto refuse = [](void* arg, const uint8_t*, uint32_t*) -> uint32_t {
        static_cast<Job*>(arg)->flushes++;
        return 0;
    };
    uint16_t type = 0;
    const char* error = Compress(&job, testing_support::DeflateMemoryRead, refuse, &type);
    ASSERT_NE(nullptr, error);
    EXPECT_STREQ("flush failed", error);
    EXPECT_LE(job.flushes, 2);
    EXPECT_LT(job.input.position, data.size());
}

// An output that takes only part of a flush: the compressor stops and reports
// the bytes the output really took, so that what follows is placed after them.
TEST(Deflate, AfterAShortFlushTheSizeIsWhatWasWritten) {
    struct Job {
        testing_support::DeflateMemoryJob input;
        uint32_t taken;
    };
    constexpr uint32_t kRoom = 20000;  // more than one output buffer, less than the stream
    std::vector<uint8_t> data(1 << 18);
    uint32_t x = 12345;
    for (uint8_t& b : data) b = uint8_t((x = x * 1103515245u + 12345u) >> 24);  // incompressible
    Job job = {{data.data(), data.size(), 0, 0, nullptr}, 0};
    auto partly = [](void* arg, const uint8_t*, uint32_t* count) -> uint32_t {
        Job* j = static_cast<Job*>(arg);
        const uint32_t n = *count < kRoom - j->taken ? *count : kRoom - j->taken;
        j->taken += n;
        if (n == *count) *count = 0;
        return n;
    };
    DeflateState* s = CreateDeflateState(&job, 8, testing_support::DeflateMemoryRead, partly);
    ASSERT_NE(nullptr, s);
    std::vector<uint8_t> buffer(16384);
    uint16_t flags = 0, type = 0;
    StartBitOutput(s, buffer.data(), uint32_t(buffer.size()));
    ct_init(s, &type);
    PrepareMatcher(s, &flags);
    EXPECT_EQ(kRoom, DeflateRun(s));
    EXPECT_STREQ("flush failed", DeflateError(s));
    FreeDeflateState(s);
}

TEST(Deflate, GuessesTextOrBinaryWhenAsked) {
    const struct {
        std::vector<uint8_t> data;
        uint16_t expected;
    } kCases[] = {{Text(5000), 1}, {PatternBytes(5000, 2), 0}};
    for (const auto& c : kCases) {
        testing_support::DeflateMemoryJob job = {c.data.data(), c.data.size(), 0, 0, nullptr};
        std::vector<uint8_t> packed;
        job.out = &packed;
        uint16_t type = 0xFFFF;
        EXPECT_EQ(nullptr, Compress(&job, testing_support::DeflateMemoryRead, testing_support::DeflateMemoryFlush, &type));
        EXPECT_EQ(c.expected, type);
    }
}

}  // namespace
