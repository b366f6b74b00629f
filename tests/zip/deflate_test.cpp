// The deflate compressor, checked by zlib's raw inflate.
#include "zip/deflate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iterator>
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

// A match of the stream: where it starts in the data, its length and distance.
struct MatchToken {
    size_t at;
    uint32_t length;
    uint32_t distance;
};

// The matches of a raw deflate stream (RFC 1951), read back symbol by
// symbol: zlib gives the bytes only, not how they were coded. Returns false
// on a stream it cannot read.
class TokenReader {
public:
    explicit TokenReader(const std::vector<uint8_t>& stream) : in_(stream) {}

    bool Read(std::vector<MatchToken>* matches) {
        static const uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static const uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        size_t at = 0;
        for (bool final = false; !final;) {
            final = Bits(1) != 0;
            const uint32_t type = Bits(2);
            if (type == 0) {
                bit_ = (bit_ + 7) & ~size_t(7);
                const uint32_t length = Bits(16);
                Bits(16);
                bit_ += size_t(length) * 8;
                at += length;
                continue;
            }
            Code literals, distances;
            if (type == 1) {
                uint8_t lengths[320];
                for (int i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
                for (int i = 0; i < 30; ++i) lengths[288 + i] = 5;
                literals.Build(lengths, 288);
                distances.Build(lengths + 288, 30);
            } else if (type == 2) {
                if (!ReadCodes(&literals, &distances)) return false;
            } else {
                return false;
            }
            for (;;) {
                if (bit_ > in_.size() * 8) return false;
                const int symbol = Decode(literals);
                if (symbol < 0 || symbol > 285) return false;
                if (symbol < 256) {
                    ++at;
                    continue;
                }
                if (symbol == 256) break;
                const uint32_t length = kLengthBase[symbol - 257] + Bits(kLengthExtra[symbol - 257]);
                const int code = Decode(distances);
                if (code < 0 || code > 29) return false;
                const uint32_t extra = code < 4 ? 0 : uint32_t(code / 2 - 1);
                const uint32_t base = code < 4 ? uint32_t(code) + 1 : ((2u + (code & 1)) << extra) + 1;
                matches->push_back({at, length, base + Bits(extra)});
                at += length;
            }
        }
        return true;
    }

private:
    // A canonical Huffman code: the number of codes of each length and the
    // symbols in code order.
    struct Code {
        uint16_t count[16] = {};
        uint16_t symbols[320] = {};
        void Build(const uint8_t* lengths, int n) {
            uint16_t offset[16] = {};
            for (int i = 0; i < n; ++i) ++count[lengths[i]];
            count[0] = 0;
            for (int len = 1; len < 15; ++len) offset[len + 1] = uint16_t(offset[len] + count[len]);
            for (int i = 0; i < n; ++i)
                if (lengths[i]) symbols[offset[lengths[i]]++] = uint16_t(i);
        }
    };

    uint32_t Bits(uint32_t n) {
        uint32_t v = 0;
        for (uint32_t i = 0; i < n; ++i, ++bit_) {
            const size_t byte = bit_ >> 3;
            if (byte < in_.size() && (in_[byte] >> (bit_ & 7)) & 1) v |= 1u << i;
        }
        return v;
    }

    int Decode(const Code& code) {
        int first = 0, index = 0, value = 0;
        for (int len = 1; len <= 15; ++len) {
            value |= int(Bits(1));
            const int count = code.count[len];
            if (value - first < count) return code.symbols[index + value - first];
            index += count;
            first = (first + count) << 1;
            value <<= 1;
        }
        return -1;
    }

    bool ReadCodes(Code* literals, Code* distances) {
        static const uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        const int nLiterals = int(Bits(5)) + 257, nDistances = int(Bits(5)) + 1, nCodes = int(Bits(4)) + 4;
        uint8_t lengths[320] = {};
        for (int i = 0; i < nCodes; ++i) lengths[kOrder[i]] = uint8_t(Bits(3));
        Code lengthCode;
        lengthCode.Build(lengths, 19);
        std::memset(lengths, 0, sizeof lengths);
        for (int i = 0; i < nLiterals + nDistances;) {
            const int symbol = Decode(lengthCode);
            if (symbol < 0) return false;
            if (symbol < 16) {
                lengths[i++] = uint8_t(symbol);
                continue;
            }
            if (symbol == 16 && i == 0) return false;
            const uint8_t repeated = symbol == 16 ? lengths[i - 1] : 0;
            const int times = symbol == 16 ? 3 + int(Bits(2)) : symbol == 17 ? 3 + int(Bits(3)) : 11 + int(Bits(7));
            if (i + times > nLiterals + nDistances) return false;
            for (int k = 0; k < times; ++k) lengths[i++] = repeated;
        }
        literals->Build(lengths, nLiterals);
        distances->Build(lengths + nLiterals, nDistances);
        return true;
    }

    const std::vector<uint8_t>& in_;
    size_t bit_ = 0;
};

// Lines that share their first bytes with many earlier ones (as lines of
// code share their indentation): the one earlier line that goes on like the
// latest must be found at whatever depth of the walk it lies, within the
// level's budget, also when the window slid between the two. Each such pair
// must come out as one match from the start of the line (or its line feed)
// at the pair's distance, not as a match of the shared bytes with a nearer
// line and another of the rest.
TEST(Deflate, FindsTheLongestMatchAtAnyDepthOfTheChain) {
    uint32_t x = 2024;
    const auto letters = [&x](size_t n, const char* alphabet, uint32_t count) {
        std::string s;
        for (size_t i = 0; i < n; ++i) {
            x = x * 1103515245u + 12345u;
            s += alphabet[(x >> 16) % count];
        }
        return s;
    };
    struct Pair {
        size_t first, second;
    };
    // Each line ends in a number of its own, so that no match can start
    // before a line feed and the parse searches at the line feed itself.
    std::string data = "#";  // position 0 is never a match's source
    size_t lines = 0;
    const auto addLine = [&data, &lines](const std::string& text) {
        data += "\nKEY123" + text;
        for (size_t n = ++lines, i = 0; i < 3; ++i, n /= 26) data += char('a' + n % 26);
    };
    std::vector<Pair> pairs;
    const size_t kDepths[] = {1, 2, 7, 8, 9, 15, 16, 17, 64, 300};
    for (size_t unit = 0; data.size() < 200000; ++unit) {
        const size_t depth = kDepths[unit % std::size(kDepths)];
        const std::string tail = letters(60, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ", 36);
        const size_t first = data.size();
        addLine(tail);
        for (size_t i = 1; i < depth; ++i) addLine(letters(10, "abcdefghijklmnopqrstuvwxyz", 26));
        pairs.push_back({first, data.size()});
        addLine(tail);
    }
    const std::vector<uint8_t> bytes(data.begin(), data.end());
    std::vector<uint8_t> packed, unpacked;
    ASSERT_EQ(nullptr, DeflateMemory(bytes.data(), bytes.size(), 8, &packed));
    ASSERT_TRUE(InflateRaw(packed, &unpacked, bytes.size()));
    ASSERT_TRUE(unpacked == bytes);
    std::vector<MatchToken> matches;
    ASSERT_TRUE(TokenReader(packed).Read(&matches));
    size_t next = 0;
    for (size_t i = 0; i < pairs.size(); ++i) {
        const Pair& pair = pairs[i];
        while (next < matches.size() && matches[next].at + matches[next].length <= pair.second) ++next;
        ASSERT_LT(next, matches.size());
        const MatchToken& m = matches[next];
        EXPECT_TRUE(m.at <= pair.second + 1 && m.at + m.length >= pair.second + 67 &&
                    m.distance == pair.second - pair.first)
            << "the string " << kDepths[i % std::size(kDepths)] << " back in its chain, at " << pair.second
            << ": a match of " << m.length << " at " << m.at << " from " << m.distance << " back";
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
