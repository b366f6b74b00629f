// The TIFF codecs and directory rules on small hand-made data: the cases
// the oracle files do not reach (damaged codes, edge packets, hostile
// tables and chains) and the values the reader must give.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

#include "imagelib/readers/tiff.h"
#include "tests/tiff/tifftest.h"

namespace {

using tifftest::BuildTiff;
using tifftest::Bytes;
using tifftest::DataStart;
using tifftest::Load;

// A strip through the codec the setup names, asked for `outSize` bytes in
// pieces of `piece` bytes (the last one shorter): the first result that is
// not 0 (or 0) and the bytes produced.
struct Decoded {
    int result = kLoadOk;
    Bytes bytes;
};

Decoded DecodeStrip(TiffCodecSetup setup, const Bytes& in, size_t outSize, size_t piece = 0) {
    TiffMemory memory;
    memory.limit = uint64_t(1) << 30;
    const std::unique_ptr<TiffCodec> codec = MakeTiffCodec(setup, &memory);
    Decoded d;
    if (!codec) {
        d.result = kLoadNoMemory;
        return d;
    }
    codec->Start(in.data(), in.size(), outSize);
    if (piece == 0) piece = outSize;
    for (size_t at = 0; at < outSize && d.result == kLoadOk;) {
        const size_t want = std::min(piece, outSize - at);
        std::vector<uint8_t> out(want);
        size_t produced = 0;
        d.result = codec->Decode(out.data(), want, &produced);
        EXPECT_LE(produced, want);
        d.bytes.insert(d.bytes.end(), out.begin(), out.begin() + long(produced));
        at += want;
        if (produced < want) break;
    }
    return d;
}

TiffCodecSetup CodecOf(uint32_t compression, uint32_t width = 0, size_t rowBytes = 0) {
    TiffCodecSetup s{};
    s.compression = compression;
    s.width = width;
    s.rowBytes = rowBytes;
    return s;
}

TEST(TiffPackBits, PacketsAndTheirEdges) {
    struct Case {
        Bytes in;
        size_t outSize;
        Bytes want;
        int result;
    };
    const Case cases[] = {
        {{0x02, 'a', 'b', 'c', 0xFE, 'x'}, 6, {'a', 'b', 'c', 'x', 'x', 'x'}, 0},
        {{0x81, 'z'}, 3, {'z', 'z', 'z'}, 0},                 // a run passing the block is cut there
        {{0x05, 'a', 'b', 'c', 'd', 'e', 'f'}, 2, {'a', 'b'}, 0},  // a literal likewise
        {{0x80, 0xFF, 'q'}, 2, {'q', 'q'}, 0},                // 128 is no operation
        {{0x03, 'a', 'b'}, 4, {'a', 'b'}, 4},                 // data ends inside a literal
        {{0xFE}, 3, {}, 4},                                   // and before a run's byte
    };
    for (const Case& c : cases) {
        for (size_t piece : {size_t(0), size_t(1)}) {
            const Decoded d = DecodeStrip(CodecOf(kTiffPackBits), c.in, c.outSize, piece);
            EXPECT_EQ(c.result, d.result);
            EXPECT_EQ(c.want, d.bytes);
        }
    }
}

// Long strips of packets of every length, decoded whole and in pieces of
// several sizes, match a plain packet-by-packet decoding; so does a strip
// cut inside a packet.
TEST(TiffPackBits, LongStripsMatchAPlainDecodingInEveryPiece) {
    Bytes strip;
    uint32_t seed = 11;
    auto next = [&seed](uint32_t n) { return ((seed = seed * 1103515245u + 12345u) >> 8) % n; };
    for (int p = 0; p < 500; ++p) {
        const uint32_t kind = next(5);
        if (kind == 0) {
            strip.push_back(0x80);
        } else if (kind <= 2) {
            const uint32_t n = p % 30 == 0 ? 128 : 1 + next(128);
            strip.push_back(uint8_t(n - 1));
            for (uint32_t i = 0; i < n; ++i) strip.push_back(uint8_t(next(256)));
        } else {
            const uint32_t n = p % 30 == 1 ? 128 : 2 + next(127);
            strip.push_back(uint8_t(257 - n));
            strip.push_back(uint8_t(next(256)));
        }
    }
    auto plain = [](const Bytes& in, size_t outSize, int* result) {
        Bytes out;
        *result = kLoadOk;
        for (size_t at = 0; out.size() < outSize;) {
            if (at >= in.size()) return *result = kLoadIncomplete, out;
            const int c = in[at++];
            if (c == 128) continue;
            const size_t n = c < 128 ? size_t(c) + 1 : size_t(257 - c);
            for (size_t i = 0; i < n && out.size() < outSize; ++i) {
                const size_t from = c < 128 ? at + i : at;
                if (from >= in.size()) return *result = kLoadIncomplete, out;
                out.push_back(in[from]);
            }
            at += c < 128 ? n : 1;
        }
        return out;
    };
    for (const size_t length : {strip.size(), strip.size() - 1, strip.size() / 2 + 1}) {
        const Bytes in(strip.begin(), strip.begin() + long(length));
        int whole = 0;
        const size_t size = plain(in, SIZE_MAX, &whole).size();
        for (const size_t outSize : {size_t(200), size - 100, size, size + 50}) {
            int result;
            const Bytes want = plain(in, outSize, &result);
            for (const size_t piece : {size_t(0), size_t(1), size_t(100), size_t(129), size_t(1000)}) {
                SCOPED_TRACE(std::to_string(length) + " bytes, " + std::to_string(outSize) + " out, pieces of " +
                             std::to_string(piece));
                const Decoded d = DecodeStrip(CodecOf(kTiffPackBits), in, outSize, piece);
                EXPECT_EQ(result, d.result);
                EXPECT_EQ(want, d.bytes);
            }
        }
    }
}

// Codes packed most significant bit first at 9 bits.
Bytes PackCodes(const std::vector<int>& codes, bool lsbFirst = false) {
    Bytes b;
    uint64_t acc = 0;
    int held = 0;
    for (int c : codes) {
        if (lsbFirst) {
            acc |= uint64_t(c) << held;
            held += 9;
            while (held >= 8) b.push_back(uint8_t(acc)), acc >>= 8, held -= 8;
        } else {
            acc = (acc << 9) | uint64_t(c);
            held += 9;
            while (held >= 8) b.push_back(uint8_t(acc >> (held - 8))), held -= 8;
        }
    }
    if (held) b.push_back(uint8_t(lsbFirst ? acc : acc << (8 - held)));
    return b;
}

TiffCodecSetup Lzw(bool old) {
    TiffCodecSetup s = CodecOf(kTiffLzw);
    s.oldLzw = old;
    return s;
}

// Deflate strips, whole or asked for in pieces, with and without the zlib
// header, give what zlib's own inflate gives: every byte of a sound
// stream, only the strip's bytes of a longer one, the bytes before the cut
// of a cut one and those before the damage of a damaged one.
TEST(TiffDeflate, StripsMatchZlibInEveryPiece) {
    Bytes raw(600000);
    uint32_t seed = 5;
    for (size_t i = 0; i < raw.size(); ++i)
        raw[i] = i % 7000 < 300 ? uint8_t((seed = seed * 1103515245u + 12345u) >> 24) : uint8_t(i / 3000);
    uLongf packedSize = compressBound(uLong(raw.size()));
    Bytes wrapped(packedSize);
    ASSERT_EQ(Z_OK, compress2(wrapped.data(), &packedSize, raw.data(), uLong(raw.size()), 6));
    wrapped.resize(packedSize);
    // zlib's inflate of `in` (a zlib stream) into at most `outSize` bytes.
    const auto inflated = [](const Bytes& in, size_t outSize) {
        Bytes out(outSize);
        z_stream z{};
        inflateInit(&z);
        z.next_in = const_cast<Bytef*>(in.data());
        z.avail_in = uInt(in.size());
        z.next_out = out.data();
        z.avail_out = uInt(out.size());
        while (z.avail_out > 0 && inflate(&z, Z_NO_FLUSH) == Z_OK) {
        }
        out.resize(out.size() - z.avail_out);
        inflateEnd(&z);
        return out;
    };
    Bytes damaged = wrapped;
    damaged[damaged.size() / 2] ^= 0x55;
    const Bytes cut(wrapped.begin(), wrapped.begin() + long(wrapped.size() / 3));
    struct Case {
        const char* name;
        const Bytes* in;
        size_t outSize;
        bool sound;  // the whole output is known; else the part before the fault
    } cases[] = {
        {"sound", &wrapped, raw.size(), true},
        {"longer than the strip", &wrapped, raw.size() / 2 + 7, true},
        {"shorter than the strip", &wrapped, raw.size() + 999, true},
        {"cut", &cut, raw.size(), true},
        {"damaged", &damaged, raw.size(), false},
    };
    for (const Case& c : cases) {
        const Bytes want = inflated(*c.in, c.outSize);
        for (const size_t piece : {size_t(0), size_t(1000), size_t(262144)}) {
            SCOPED_TRACE(testing::Message() << c.name << ", pieces of " << piece);
            const Decoded d = DecodeStrip(CodecOf(kTiffDeflate), *c.in, c.outSize, piece);
            ASSERT_GE(d.bytes.size(), want.size());
            if (c.sound) {
                EXPECT_EQ(kLoadOk, d.result);
                EXPECT_EQ(want.size(), d.bytes.size());
            }
            EXPECT_TRUE(std::equal(want.begin(), want.end(), d.bytes.begin()));
        }
    }
}

TEST(TiffLzw, CodesOfBothFormsAndDamagedOnes) {
    // "a", "b", 258 = "ab", then 260: the entry being made (259 = "ba" was
    // made by 258; 260 = "ab" + its own first byte = "aba").
    for (bool old : {false, true}) {
        SCOPED_TRACE(old ? "old form" : "current form");
        const Bytes in = PackCodes({256, 'a', 'b', 258, 260, 257}, old);
        // Whole, and in pieces that pass through the codec's history.
        for (size_t piece : {size_t(0), size_t(1), size_t(3)}) {
            const Decoded d = DecodeStrip(Lzw(old), in, 16, piece);
            EXPECT_EQ(0, d.result);
            EXPECT_EQ((Bytes{'a', 'b', 'a', 'b', 'a', 'b', 'a'}), d.bytes);
        }
    }
    const Bytes noClear = PackCodes({'a', 257});
    EXPECT_EQ(kLoadRefused, DecodeStrip(Lzw(false), noClear, 8).result);
    const Bytes endFirst = PackCodes({257});
    const Decoded empty = DecodeStrip(Lzw(false), endFirst, 8);
    EXPECT_EQ(0, empty.result);
    EXPECT_TRUE(empty.bytes.empty());
    // A code beyond the next free entry is not LZW.
    const Bytes ahead = PackCodes({256, 'a', 300, 257});
    EXPECT_EQ(kLoadRefused, DecodeStrip(Lzw(false), ahead, 8).result);
    // Strings are cut at the block's end.
    const Bytes longer = PackCodes({256, 'a', 'b', 258, 258, 258, 257});
    const Decoded cut = DecodeStrip(Lzw(false), longer, 5);
    EXPECT_EQ(0, cut.result);
    EXPECT_EQ(5u, cut.bytes.size());
    // A clear code restarts the table; the pieces on each side of it keep
    // their bytes.
    const Bytes cleared = PackCodes({256, 'x', 'y', 258, 256, 'p', 'q', 258, 257});
    for (size_t piece : {size_t(0), size_t(1), size_t(2), size_t(5)}) {
        const Decoded d = DecodeStrip(Lzw(false), cleared, 8, piece);
        EXPECT_EQ((Bytes{'x', 'y', 'x', 'y', 'p', 'q', 'p', 'q'}), d.bytes) << piece;
    }
}

TEST(TiffThunderScan, RunsDeltasAndRawPixels) {
    // Raw 5, run of 3, deltas +1 (2-bit code 1), skip, -1 (code 3); raw 15.
    const Bytes in = {0xC5, 0x03, 0x40 | (1 << 4) | (2 << 2) | 3, 0xCF};
    const Decoded one = DecodeStrip(CodecOf(kTiffThunderScan, 7, 4), in, 4);
    EXPECT_EQ(0, one.result);
    EXPECT_EQ((Bytes{0x55, 0x55, 0x65, 0xF0}), one.bytes);
    const Decoded two = DecodeStrip(CodecOf(kTiffThunderScan, 7, 4), in, 8);
    EXPECT_EQ(kLoadIncomplete, two.result);
    EXPECT_EQ(4u, two.bytes.size());
}

TEST(TiffSgiLog, LogLuminanceRowsAndRuns) {
    // Log luminance of 4 pixels: high bytes run of 4 x 0x3F (run byte 130),
    // low bytes literal 4: values 0x3F00 (Y = 2^(-1.0)), 0x0000, 0x8000 (sign),
    // 0x7FFF (very large).
    const Bytes in = {130, 0x3F, 2, 0x00, 0x00, 4, 0x00, 0x00, 0x00, 0x00};
    TiffCodecSetup s = CodecOf(kTiffSgiLog, 4, 4);
    s.logL = true;
    const Decoded d = DecodeStrip(s, in, 4);
    ASSERT_EQ(0, d.result);
    ASSERT_EQ(4u, d.bytes.size());
    EXPECT_EQ(181, d.bytes[0]);  // 256 x sqrt(2^(0.5/256 - 1)), truncated
}

TEST(TiffYCbCr, TheConversionOfTiffSixPointZero) {
    TiffDirectory d{};
    d.subsamplingH = d.subsamplingV = 1;
    d.lumaRed = 0.299f;
    d.lumaGreen = 0.587f;
    d.lumaBlue = 0.114f;
    const uint8_t in[] = {100, 128, 128, 76, 85, 255, 150, 44, 21, 29, 255, 107};
    uint8_t out[12];
    ConvertYCbCr(in, sizeof in, out, sizeof out, d, 4, 4, 1);
    const uint8_t want[12] = {100, 100, 100, 254, 0, 0, 0, 255, 1, 0, 0, 254};
    EXPECT_EQ(0, std::memcmp(want, out, sizeof want));
}

// A grey 8-bit picture of w x h, uncompressed, pixels after the directory.
std::vector<tifftest::TiffEntry> GreyEntries(uint32_t w, uint32_t h, uint32_t dataAt, uint32_t count) {
    return {{256, 3, 1, w}, {257, 3, 1, h}, {258, 3, 1, 8}, {259, 3, 1, 1}, {262, 3, 1, 1},
            {273, 4, 1, dataAt}, {277, 3, 1, 1}, {279, 4, 1, count}};
}

TEST(TiffDirectory, RefusalsNameTheirReason) {
    struct Case {
        std::vector<tifftest::TiffEntry> changes;
        const char* message;
    };
    const Case cases[] = {
        {{{259, 3, 1, 99}}, "TIFF : Bad data compression algorithm !"},
        {{{259, 3, 1, 6}}, "TIFF : Bad data compression algorithm !"},  // old JPEG without its offset
        {{{262, 3, 1, 4}}, "TIFF : Bad photometric interpretation !"},
        {{{259, 3, 1, 5}, {317, 3, 1, 3}}, "TIFF : Bad predictor !"},
        {{{258, 3, 1, 12}}, "TIFF : Bad bits per sample !"},
        {{{262, 3, 1, 3}, {277, 3, 1, 2}, {338, 3, 1, 2}}, "TIFF : Bad bits per sample !"},  // palette and alpha
        {{{259, 3, 1, 4}, {258, 3, 1, 8}}, "TIFF : Bad bits per sample !"},  // fax codes of 8-bit samples
        {{{262, 3, 1, 32844}}, "TIFF : Bad photometric interpretation !"},   // log luminance, not SGILog
        {{{277, 3, 1, 17}}, "TIFF : Bad bits per sample !"},                 // more than 16 samples
        {{{262, 3, 1, 6}, {277, 3, 1, 3}, {258, 3, 1, 16}}, "TIFF : Bad bits per sample !"},  // 16-bit YCbCr
        {{{259, 3, 1, 7}, {258, 3, 1, 16}}, "TIFF : Bad bits per sample !"},  // JPEG of 16-bit samples
        {{{339, 3, 1, 3}}, "TIFF : Bad sample format !"},                    // 8-bit floats
        {{{339, 3, 1, 5}}, "TIFF : Bad sample format !"},                    // no such format
        {{{339, 3, 1, 2}, {258, 3, 1, 4}}, "TIFF : Bad sample format !"},    // 4-bit signed
        {{{339, 3, 1, 2}, {262, 3, 1, 3}}, "TIFF : Bad sample format !"},    // signed palette indexes
        {{{339, 3, 1, 2}, {259, 3, 1, 4}, {258, 3, 1, 1}}, "TIFF : Bad sample format !"},  // signed fax
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        auto entries = GreyEntries(2, 2, 0, 4);
        for (const auto& change : c.changes) {
            bool replaced = false;
            for (auto& e : entries)
                if (e.tag == change.tag) e = change, replaced = true;
            if (!replaced) entries.push_back(change);
        }
        std::sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.tag < b.tag; });
        for (auto& e : entries)
            if (e.tag == 273) e.value = uint32_t(DataStart(entries.size()));
        Load load(BuildTiff(entries, Bytes(4, 0x80)), L"picture.tif");
        EXPECT_EQ(kLoadRefused, load.result);
        EXPECT_STREQ(c.message, load.info.subFormat);
    }
}

// The texts a load keeps: the photometric interpretation of grey pictures,
// then the directory's texts, short ones from the entry itself.
TEST(TiffDirectory, TextsOfTheDirectory) {
    for (uint32_t photometric : {0u, 1u}) {
        SCOPED_TRACE(photometric);
        const uint32_t at = uint32_t(DataStart(10));
        auto entries = GreyEntries(1, 1, at + 8, 1);
        entries[4].value = photometric;
        entries.push_back({271, 2, 4, 'A' | 'b' << 8 | 'c' << 16});
        entries.push_back({272, 2, 8, at});
        std::sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.tag < b.tag; });
        const Bytes data = {'M', 'o', 'd', 'e', 'l', ' ', '9', 0, 0x80};
        Load load(BuildTiff(entries, data), L"picture.tif", Load::Options(kLoadKeepTexts));
        ASSERT_EQ(kLoadOk, load.result);
        std::vector<std::string> texts;
        for (int32_t i = 0; i < load.info.textCount; ++i) texts.push_back(load.info.texts[i]);
        const std::vector<std::string> want = {
            photometric == 0 ? "Photometric Interpretation: White=0" : "Photometric Interpretation: Black=0",
            "Make: Abc", "Model: Model 9"};
        EXPECT_EQ(want, texts);
    }
}

// Text tags hold no terminator of their own in these files: each text is
// the tag's count of bytes at most, from the entry (up to four) or from the
// file's last bytes, and a count of 0, or one that runs past the file's
// end, gives no text. The pixels come before the texts.
TEST(TiffDirectory, TextsAreBoundedByTheirCount) {
    struct Case {
        const char* name;
        uint32_t count;
        Bytes text;      // appended after the pixels when longer than four
        bool inEntry;    // the bytes sit in the entry's field
        const char* comment;  // null: none
        const char* make;     // the same bytes as the camera's make
    };
    const Case cases[] = {
        {"unterminated at the end", 5, {'H', 'e', 'l', 'l', 'o'}, false, "Hello", "Make: Hello"},
        {"count past the end", 9, {'H', 'e', 'l', 'l', 'o'}, false, nullptr, nullptr},
        {"count of zero", 0, {}, true, nullptr, nullptr},
        {"one byte, no zero", 1, {'X'}, true, "X", "Make: X"},
        {"one zero byte", 1, {0}, true, nullptr, nullptr},
        {"four bytes in the entry", 4, {'W', 'x', 'y', 'z'}, true, "Wxyz", "Make: Wxyz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (uint32_t tag : {270u, 271u}) {
            const uint32_t at = uint32_t(DataStart(9));
            auto entries = GreyEntries(1, 1, at, 1);
            uint32_t value = at + 1;
            if (c.inEntry) {
                value = 0;
                for (size_t i = 0; i < c.text.size(); ++i) value |= uint32_t(c.text[i]) << (8 * i);
            }
            entries.push_back({uint16_t(tag), 2, c.count, value});
            std::sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.tag < b.tag; });
            Bytes data = {0x80};
            if (!c.inEntry) data.insert(data.end(), c.text.begin(), c.text.end());
            Load load(BuildTiff(entries, data), L"picture.tif",
                      Load::Options(kLoadKeepComment | kLoadKeepTexts));
            ASSERT_EQ(kLoadOk, load.result);
            EXPECT_EQ(0x80, load.Row(0)[0]);
            if (tag == 270) {
                if (c.comment) {
                    ASSERT_NE(nullptr, load.bitmap.comment);
                    EXPECT_STREQ(c.comment, load.bitmap.comment);
                } else {
                    EXPECT_EQ(nullptr, load.bitmap.comment);
                }
            } else {
                std::vector<std::string> texts;
                for (int32_t i = 0; i < load.info.textCount; ++i) texts.push_back(load.info.texts[i]);
                std::vector<std::string> want = {"Photometric Interpretation: Black=0"};
                if (c.make) want.push_back(c.make);
                EXPECT_EQ(want, texts);
            }
        }
    }
}

TEST(TiffDirectory, ResolutionUnitsAndPageLoops) {
    const uint32_t at = uint32_t(DataStart(11));
    auto entries = GreyEntries(2, 1, at + 16, 2);
    entries.push_back({282, 5, 1, at});
    entries.push_back({283, 5, 1, at + 8});
    entries.push_back({296, 3, 1, 3});
    std::sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.tag < b.tag; });
    Bytes data = {72, 0, 0, 0, 1, 0, 0, 0, 100, 0, 0, 0, 1, 0, 0, 0, 7, 9};
    // The directory names itself as the next one: a loop of one page.
    Load load(BuildTiff(entries, data, 8), L"picture.tif");
    ASSERT_EQ(kLoadOk, load.result);
    EXPECT_EQ(182, load.info.xResolution);  // 72 per centimetre
    EXPECT_EQ(254, load.info.yResolution);
    EXPECT_EQ(1u, load.info.imageCount);
}

// Extra strips beyond the picture are dropped; a strip table outside the
// file ends with 11; strips outside the file give 4.
TEST(TiffStrips, TablesAreBoundedByThePicture) {
    const uint32_t at = uint32_t(DataStart(9));
    std::vector<tifftest::TiffEntry> e = {{256, 3, 1, 2}, {257, 3, 1, 2}, {258, 3, 1, 8}, {259, 3, 1, 1},
                                          {262, 3, 1, 1}, {273, 4, 5, at}, {277, 3, 1, 1}, {278, 3, 1, 1},
                                          {279, 4, 5, at + 20}};
    Bytes data;
    for (uint32_t off : {at + 40, at + 42, at + 40, at + 40, at + 40}) for (int i = 0; i < 4; ++i) data.push_back(uint8_t(off >> (8 * i)));
    for (int k = 0; k < 5; ++k) data.insert(data.end(), {2, 0, 0, 0});
    data.insert(data.end(), {10, 20, 30, 40});
    Load load(BuildTiff(e, data), L"picture.tif", Load::Options(kLoadPreferThreeBytes));
    ASSERT_EQ(kLoadOk, load.result);
    EXPECT_EQ(30, load.Rgba().At(0, 1)[0]);

    e[5].value = 100000;
    Load tables(BuildTiff(e, data), L"picture.tif");
    EXPECT_EQ(kLoadStripTablesEnd, tables.result);

    e[5].count = 1;
    e[5].value = 5000;
    e[8].count = 1;
    e[8].value = 4;
    Load outside(BuildTiff(e, data), L"picture.tif");
    EXPECT_EQ(kLoadIncomplete, outside.result);
}

// Tables whose values fit the entry's 4-byte field are kept there (TIFF
// 6.0), whatever their count: two SHORT offsets, two BYTE byte counts.
TEST(TiffStrips, TablesThatFitTheirEntryAreReadFromIt) {
    const uint32_t at = uint32_t(DataStart(9));
    std::vector<tifftest::TiffEntry> e = {{256, 3, 1, 2}, {257, 3, 1, 2}, {258, 3, 1, 8}, {259, 3, 1, 1},
                                          {262, 3, 1, 1}, {273, 3, 2, (at + 2) | (at << 16)}, {277, 3, 1, 1},
                                          {278, 3, 1, 1}, {279, 1, 2, 0x0202}};
    Load load(BuildTiff(e, {10, 20, 30, 40}), L"picture.tif", Load::Options(kLoadPreferThreeBytes));
    ASSERT_EQ(kLoadOk, load.result);
    const auto px = load.Rgba();
    EXPECT_EQ(30, px.At(0, 0)[0]);  // the first strip is the second pair of bytes
    EXPECT_EQ(10, px.At(0, 1)[0]);
}

// Colour stored multiplied by an associated alpha (ExtraSamples 1) comes
// out divided by it again, rounded to nearest: 10, 0, 40 at alpha 144 is
// 18, 0, 71, interleaved or in separate planes (16-bit samples are divided
// at 16 bits and keep their high byte: 17, 0, 71); no alpha leaves black,
// and unassociated alpha (2) leaves the colour as stored.
TEST(TiffStrips, AssociatedAlphaIsDividedOut) {
    struct Case {
        uint32_t bits, planar, extra;
        uint8_t want[4];
    };
    const Case cases[] = {
        {8, 1, 1, {18, 0, 71, 144}},  {8, 2, 1, {18, 0, 71, 144}},  {16, 1, 1, {17, 0, 71, 144}},
        {16, 2, 1, {17, 0, 71, 144}}, {8, 1, 2, {10, 0, 40, 144}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, planar " << c.planar << ", extra " << c.extra);
        // Two pixels: the one above, then a transparent one.
        const uint32_t stored[2][4] = {{10, 0, 40, 144}, {30, 30, 30, 0}};
        const uint32_t bytes = c.bits / 8;
        Bytes data;
        auto put = [&](uint32_t v) {
            const uint32_t wide = c.bits == 16 ? v * 257 : v;
            for (uint32_t i = 0; i < bytes; ++i) data.push_back(uint8_t(wide >> (8 * i)));
        };
        if (c.planar == 1) {
            for (const auto& px : stored)
                for (uint32_t v : px) put(v);
        } else {
            for (int k = 0; k < 4; ++k)
                for (const auto& px : stored) put(px[k]);
        }
        const uint32_t at = uint32_t(DataStart(11));
        const uint32_t planeBytes = 2 * bytes, dataAt = at + 8 + 32;
        std::vector<tifftest::TiffEntry> e = {
            {256, 3, 1, 2}, {257, 3, 1, 1}, {258, 3, 4, at}, {259, 3, 1, 1}, {262, 3, 1, 2},
            {273, 4, c.planar == 1 ? 1u : 4u, c.planar == 1 ? dataAt : at + 8}, {277, 3, 1, 4}, {278, 3, 1, 1},
            {279, 4, c.planar == 1 ? 1u : 4u, c.planar == 1 ? 4 * planeBytes : at + 24}, {284, 3, 1, c.planar},
            {338, 3, 1, c.extra}};
        Bytes tail;
        auto put16 = [&](uint32_t v) { tail.push_back(uint8_t(v)), tail.push_back(uint8_t(v >> 8)); };
        auto put32 = [&](uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
        for (int k = 0; k < 4; ++k) put16(c.bits);
        for (uint32_t k = 0; k < 4; ++k) put32(dataAt + k * planeBytes);
        for (int k = 0; k < 4; ++k) put32(planeBytes);
        tail.insert(tail.end(), data.begin(), data.end());
        Load load(BuildTiff(e, tail), L"picture.tif");
        ASSERT_EQ(kLoadOk, load.result);
        const auto px = load.Rgba();
        EXPECT_EQ(0, std::memcmp(c.want, px.At(0, 0), 4));
        EXPECT_EQ(c.extra == 1 ? 0 : 30, px.At(1, 0)[0]);
    }
}

// Colour samples of 1, 2 and 4 bits widen to 8 as value x 255 / (2^bits -
// 1), at every position in their bytes; a fit by point samples keeps the
// same values for the rows it takes (0, 3 and 6 of 9 into 3).
TEST(TiffStrips, PackedColourSamplesOfEveryDepth) {
    for (uint32_t bits : {1u, 2u, 4u}) {
        for (uint32_t width : {1u, 5u}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, " << width << " wide");
            const uint32_t height = 9, rowBytes = (width * 3 * bits + 7) / 8, max = (1u << bits) - 1;
            Bytes pixels(size_t(rowBytes) * height);
            uint32_t seed = 7 * bits + width;
            for (uint8_t& b : pixels) b = uint8_t((seed = seed * 1103515245u + 12345u) >> 23);
            const auto sample = [&](uint32_t x, uint32_t y, uint32_t k) {
                const uint32_t i = (x * 3 + k) * bits;
                return ((pixels[size_t(y) * rowBytes + i / 8] >> (8 - bits - i % 8)) & max) * 255 / max;
            };
            const uint32_t at = uint32_t(DataStart(9));
            std::vector<tifftest::TiffEntry> e = {
                {256, 3, 1, width}, {257, 3, 1, height}, {258, 3, 3, at},          {259, 3, 1, 1},
                {262, 3, 1, 2},     {273, 4, 1, at + 6}, {277, 3, 1, 3},           {278, 3, 1, height},
                {279, 4, 1, uint32_t(pixels.size())}};
            Bytes tail = {uint8_t(bits), 0, uint8_t(bits), 0, uint8_t(bits), 0};
            tail.insert(tail.end(), pixels.begin(), pixels.end());
            const Bytes file = BuildTiff(e, tail);
            Load full(file, L"picture.tif");
            ASSERT_EQ(kLoadOk, full.result);
            const auto px = full.Rgba();
            for (uint32_t y = 0; y < height; ++y)
                for (uint32_t x = 0; x < width; ++x)
                    for (uint32_t k = 0; k < 3; ++k) ASSERT_EQ(sample(x, y, k), px.At(int(x), int(y))[k]) << x << "," << y;
            if (width != 1) continue;
            LoadOptions o = Load::Options(0);
            o.targetWidth = 1;
            o.targetHeight = 3;
            Load fitted(file, L"picture.tif", o);
            ASSERT_EQ(kLoadOk, fitted.result);
            ASSERT_EQ(3, fitted.bitmap.height);
            const auto small = fitted.Rgba();
            for (uint32_t y = 0; y < 3; ++y)
                for (uint32_t k = 0; k < 3; ++k) EXPECT_EQ(sample(0, 3 * y, k), small.At(0, int(y))[k]) << y;
        }
    }
}

TEST(TiffStrips, StretchedSixteenBitSamples) {
    const uint32_t at = uint32_t(DataStart(9));
    std::vector<tifftest::TiffEntry> e = {{256, 3, 1, 3}, {257, 3, 1, 1}, {258, 3, 1, 16}, {259, 3, 1, 1},
                                          {262, 3, 1, 1}, {273, 4, 1, at}, {277, 3, 1, 1}, {279, 4, 1, 6},
                                          {33628, 3, 1, 0}};
    Load load(BuildTiff(e, {0x00, 0x01, 0x80, 0x08, 0xF0, 0x0F}), L"picture.tif");
    ASSERT_EQ(kLoadOk, load.result);
    const auto px = load.Rgba();
    EXPECT_EQ(0, px.At(0, 0)[0]);
    EXPECT_EQ(128, px.At(1, 0)[0]);
    EXPECT_EQ(255, px.At(2, 0)[0]);
    // All samples equal: no division by zero, a black picture.
    Load flat(BuildTiff(e, {0x80, 0x08, 0x80, 0x08, 0x80, 0x08}), L"picture.tif");
    ASSERT_EQ(kLoadOk, flat.result);
    EXPECT_EQ(0, flat.Rgba().At(2, 0)[0]);
}

TEST(TiffMetadata, IptcBecomesAPhotoshopResourceWithItsSize) {
    const uint32_t at = uint32_t(DataStart(9));
    auto e = GreyEntries(1, 1, at + 5, 1);
    e.push_back({33723, 7, 5, at});
    Bytes data = {0x1C, 0x02, 0x00, 0x00, 0x02, 0x77};
    Load load(BuildTiff(e, data), L"picture.tif", Load::Options(kLoadKeepMetadata));
    ASSERT_EQ(kLoadOk, load.result);
    const MetadataBlock* iptc = FindMetadataBlock(load.bitmap.metadata, kMetadataIptc);
    ASSERT_NE(nullptr, iptc);
    const uint8_t want[] = {'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0', 0,
                            '8', 'B', 'I', 'M', 4, 4, 0, 0, 0, 0, 0, 5, 0x1C, 0x02, 0x00, 0x00, 0x02, 0};
    ASSERT_EQ(sizeof want, iptc->length);
    EXPECT_EQ(0, std::memcmp(want, iptc->data, sizeof want));
}

}  // namespace

namespace {

// A strip of old-form LZW (least significant bit first) is recognised by its
// first bytes and so is every later strip; the current form is not taken
// for it.
TEST(TiffLzw, OldFormStripsAreRecognised) {
    for (bool old : {true, false}) {
        SCOPED_TRACE(old ? "old form" : "current form");
        const Bytes strip1 = PackCodes({256, 'a', 'b', 'c', 'd', 257}, old);
        const Bytes strip2 = PackCodes({256, 'e', 'f', 'g', 'h', 257}, old);
        const uint32_t at = uint32_t(DataStart(9));
        const uint32_t data = at + 16;
        std::vector<tifftest::TiffEntry> e = {
            {256, 3, 1, 4}, {257, 3, 1, 2}, {258, 3, 1, 8}, {259, 3, 1, 5}, {262, 3, 1, 1},
            {273, 4, 2, at}, {277, 3, 1, 1}, {278, 3, 1, 1}, {279, 4, 2, at + 8}};
        Bytes tail;
        auto put32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) tail.push_back(uint8_t(v >> (8 * i))); };
        put32(data);
        put32(data + uint32_t(strip1.size()));
        put32(uint32_t(strip1.size()));
        put32(uint32_t(strip2.size()));
        tail.insert(tail.end(), strip1.begin(), strip1.end());
        tail.insert(tail.end(), strip2.begin(), strip2.end());
        Load load(BuildTiff(e, tail), L"picture.tif");
        ASSERT_EQ(kLoadOk, load.result);
        const auto px = load.Rgba();
        EXPECT_EQ('a', px.At(0, 0)[0]);
        EXPECT_EQ('d', px.At(3, 0)[0]);
        EXPECT_EQ('h', px.At(3, 1)[0]);
    }
}

}  // namespace

namespace {

// ThunderScan and SGILog strips through the whole reader.
TEST(TiffStrips, ThunderScanAndLogLuminancePictures) {
    const uint32_t at = uint32_t(DataStart(8));
    std::vector<tifftest::TiffEntry> thunder = {{256, 3, 1, 7}, {257, 3, 1, 1}, {258, 3, 1, 4}, {259, 3, 1, 32809},
                                                {262, 3, 1, 1}, {273, 4, 1, at}, {277, 3, 1, 1}, {279, 4, 1, 4}};
    Load t(BuildTiff(thunder, {0xC5, 0x03, 0x40 | (1 << 4) | (2 << 2) | 3, 0xCF}), L"picture.tif");
    ASSERT_EQ(kLoadOk, t.result);
    const auto tp = t.Rgba();
    EXPECT_EQ(85, tp.At(0, 0)[0]);
    EXPECT_EQ(102, tp.At(4, 0)[0]);
    EXPECT_EQ(255, tp.At(6, 0)[0]);

    std::vector<tifftest::TiffEntry> logl = {{256, 3, 1, 4}, {257, 3, 1, 1}, {258, 3, 1, 16}, {259, 3, 1, 34676},
                                             {262, 3, 1, 32844}, {273, 4, 1, at}, {277, 3, 1, 1}, {279, 4, 1, 10}};
    Load l(BuildTiff(logl, {130, 0x3F, 2, 0x00, 0x00, 4, 0x00, 0x00, 0x00, 0x00}), L"picture.tif");
    ASSERT_EQ(kLoadOk, l.result);
    EXPECT_EQ(181, l.Rgba().At(0, 0)[0]);
    EXPECT_EQ(181, l.Rgba().At(3, 0)[0]);
}

}  // namespace
