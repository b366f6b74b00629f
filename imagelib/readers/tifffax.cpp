// CCITT fax decoding of TIFF strips: modified Huffman rows (compression 2),
// T.4 Group 3 one- and two-dimensional coding (3) and T.6 Group 4 (4).
//
// The lookup tables are built once from the code lists of ITU-T T.4 (white
// and black run lengths, make-up codes, the extended make-up codes, EOL) and
// the two-dimensional mode codes. Bits are taken most significant first (the
// driver reverses the bytes of fill order 2), so a table indexed by the next
// n bits sees a code's first bit at the top of the index.
//
// A row is kept as the list of its changing elements (positions where the
// colour switches, white first); every list is bounded by the row's width,
// and a row that comes out short or damaged is completed with white.
//
// Portable: no platform headers.
#include <algorithm>
#include <cstring>
#include <new>

#include "tiff.h"

namespace {

enum FaxState : uint8_t {
    kInvalid,
    kPass,
    kHorizontal,
    kVertical,     // param: offset + 3 (0..6 for -3..+3)
    kExtension,
    kTerminating,  // param: run length
    kMakeUp,       // param: run length
    kEol,
};

struct FaxEntry {
    uint8_t state;
    uint8_t width;
    uint16_t param;
};

struct FaxCode {
    const char* bits;
    uint16_t run;
};

// ITU-T T.4, tables 2 and 3: terminating codes for runs 0..63.
constexpr FaxCode kWhiteTerminating[] = {
    {"00110101", 0},  {"000111", 1},   {"0111", 2},     {"1000", 3},     {"1011", 4},     {"1100", 5},
    {"1110", 6},      {"1111", 7},     {"10011", 8},    {"10100", 9},    {"00111", 10},   {"01000", 11},
    {"001000", 12},   {"000011", 13},  {"110100", 14},  {"110101", 15},  {"101010", 16},  {"101011", 17},
    {"0100111", 18},  {"0001100", 19}, {"0001000", 20}, {"0010111", 21}, {"0000011", 22}, {"0000100", 23},
    {"0101000", 24},  {"0101011", 25}, {"0010011", 26}, {"0100100", 27}, {"0011000", 28}, {"00000010", 29},
    {"00000011", 30}, {"00011010", 31}, {"00011011", 32}, {"00010010", 33}, {"00010011", 34}, {"00010100", 35},
    {"00010101", 36}, {"00010110", 37}, {"00010111", 38}, {"00101000", 39}, {"00101001", 40}, {"00101010", 41},
    {"00101011", 42}, {"00101100", 43}, {"00101101", 44}, {"00000100", 45}, {"00000101", 46}, {"00001010", 47},
    {"00001011", 48}, {"01010010", 49}, {"01010011", 50}, {"01010100", 51}, {"01010101", 52}, {"00100100", 53},
    {"00100101", 54}, {"01011000", 55}, {"01011001", 56}, {"01011010", 57}, {"01011011", 58}, {"01001010", 59},
    {"01001011", 60}, {"00110010", 61}, {"00110011", 62}, {"00110100", 63},
};
constexpr FaxCode kBlackTerminating[] = {
    {"0000110111", 0},   {"010", 1},          {"11", 2},           {"10", 3},           {"011", 4},
    {"0011", 5},         {"0010", 6},         {"00011", 7},        {"000101", 8},       {"000100", 9},
    {"0000100", 10},     {"0000101", 11},     {"0000111", 12},     {"00000100", 13},    {"00000111", 14},
    {"000011000", 15},   {"0000010111", 16},  {"0000011000", 17},  {"0000001000", 18},  {"00001100111", 19},
    {"00001101000", 20}, {"00001101100", 21}, {"00000110111", 22}, {"00000101000", 23}, {"00000010111", 24},
    {"00000011000", 25}, {"000011001010", 26}, {"000011001011", 27}, {"000011001100", 28}, {"000011001101", 29},
    {"000001101000", 30}, {"000001101001", 31}, {"000001101010", 32}, {"000001101011", 33}, {"000011010010", 34},
    {"000011010011", 35}, {"000011010100", 36}, {"000011010101", 37}, {"000011010110", 38}, {"000011010111", 39},
    {"000001101100", 40}, {"000001101101", 41}, {"000011011010", 42}, {"000011011011", 43}, {"000001010100", 44},
    {"000001010101", 45}, {"000001010110", 46}, {"000001010111", 47}, {"000001100100", 48}, {"000001100101", 49},
    {"000001010010", 50}, {"000001010011", 51}, {"000000100100", 52}, {"000000110111", 53}, {"000000111000", 54},
    {"000000100111", 55}, {"000000101000", 56}, {"000001011000", 57}, {"000001011001", 58}, {"000000101011", 59},
    {"000000101100", 60}, {"000001011010", 61}, {"000001100110", 62}, {"000001100111", 63},
};
// Make-up codes for runs of 64 to 1728.
constexpr FaxCode kWhiteMakeUp[] = {
    {"11011", 64},      {"10010", 128},     {"010111", 192},    {"0110111", 256},   {"00110110", 320},
    {"00110111", 384},  {"01100100", 448},  {"01100101", 512},  {"01101000", 576},  {"01100111", 640},
    {"011001100", 704}, {"011001101", 768}, {"011010010", 832}, {"011010011", 896}, {"011010100", 960},
    {"011010101", 1024}, {"011010110", 1088}, {"011010111", 1152}, {"011011000", 1216}, {"011011001", 1280},
    {"011011010", 1344}, {"011011011", 1408}, {"010011000", 1472}, {"010011001", 1536}, {"010011010", 1600},
    {"011000", 1664},   {"010011011", 1728},
};
constexpr FaxCode kBlackMakeUp[] = {
    {"0000001111", 64},     {"000011001000", 128},  {"000011001001", 192},  {"000001011011", 256},
    {"000000110011", 320},  {"000000110100", 384},  {"000000110101", 448},  {"0000001101100", 512},
    {"0000001101101", 576}, {"0000001001010", 640}, {"0000001001011", 704}, {"0000001001100", 768},
    {"0000001001101", 832}, {"0000001110010", 896}, {"0000001110011", 960}, {"0000001110100", 1024},
    {"0000001110101", 1088}, {"0000001110110", 1152}, {"0000001110111", 1216}, {"0000001010010", 1280},
    {"0000001010011", 1344}, {"0000001010100", 1408}, {"0000001010101", 1472}, {"0000001011010", 1536},
    {"0000001011011", 1600}, {"0000001100100", 1664}, {"0000001100101", 1728},
};
// Extended make-up codes (runs of 1792 to 2560), the same for both colours.
constexpr FaxCode kExtendedMakeUp[] = {
    {"00000001000", 1792},  {"00000001100", 1856},  {"00000001101", 1920},  {"000000010010", 1984},
    {"000000010011", 2048}, {"000000010100", 2112}, {"000000010101", 2176}, {"000000010110", 2240},
    {"000000010111", 2304}, {"000000011100", 2368}, {"000000011101", 2432}, {"000000011110", 2496},
    {"000000011111", 2560},
};
constexpr char kEolCode[] = "000000000001";

constexpr int kModeBits = 7;
constexpr int kWhiteBits = 12;
constexpr int kBlackBits = 13;

struct FaxTables {
    FaxEntry mode[1 << kModeBits];
    FaxEntry white[1 << kWhiteBits];
    FaxEntry black[1 << kBlackBits];
};

// Every index whose top bits are the code (its first bit the highest) gets
// the entry.
void Place(FaxEntry* table, int tableBits, const char* bits, uint8_t state, uint16_t param) {
    const int n = int(std::strlen(bits));
    uint32_t code = 0;
    for (int i = 0; i < n; ++i) code = code << 1 | (bits[i] == '1' ? 1u : 0u);
    for (uint32_t low = 0; low < (1u << (tableBits - n)); ++low)
        table[code << (tableBits - n) | low] = FaxEntry{state, uint8_t(n), param};
}

template <size_t N>
void PlaceAll(FaxEntry* table, int tableBits, const FaxCode (&codes)[N], uint8_t state) {
    for (const FaxCode& c : codes) Place(table, tableBits, c.bits, state, c.run);
}

FaxTables* BuildTables() {
    static FaxTables t;
    std::memset(&t, 0, sizeof t);
    PlaceAll(t.white, kWhiteBits, kWhiteTerminating, kTerminating);
    PlaceAll(t.white, kWhiteBits, kWhiteMakeUp, kMakeUp);
    PlaceAll(t.white, kWhiteBits, kExtendedMakeUp, kMakeUp);
    Place(t.white, kWhiteBits, kEolCode, kEol, 0);
    PlaceAll(t.black, kBlackBits, kBlackTerminating, kTerminating);
    PlaceAll(t.black, kBlackBits, kBlackMakeUp, kMakeUp);
    PlaceAll(t.black, kBlackBits, kExtendedMakeUp, kMakeUp);
    Place(t.black, kBlackBits, kEolCode, kEol, 0);
    Place(t.mode, kModeBits, "0001", kPass, 0);
    Place(t.mode, kModeBits, "001", kHorizontal, 0);
    Place(t.mode, kModeBits, "1", kVertical, 3);
    Place(t.mode, kModeBits, "011", kVertical, 4);
    Place(t.mode, kModeBits, "000011", kVertical, 5);
    Place(t.mode, kModeBits, "0000011", kVertical, 6);
    Place(t.mode, kModeBits, "010", kVertical, 2);
    Place(t.mode, kModeBits, "000010", kVertical, 1);
    Place(t.mode, kModeBits, "0000010", kVertical, 0);
    Place(t.mode, kModeBits, "0000001", kExtension, 0);
    // Seven zero bits start an EOL; they are left for the row loop to find.
    t.mode[0] = FaxEntry{kEol, 0, 0};
    return &t;
}

const FaxTables& Tables() {
    static const FaxTables* tables = BuildTables();
    return *tables;
}

// Bits of the strip, most significant first, in a 64-bit store whose top
// bits come next: a code costs shifts of the store, and its refills (8 bytes
// at a time where the strip has them) stay off the chain from one code to
// the next. Past the end of the data the store supplies zeros for a code
// that started inside it; the reader is at its end once no real bit is
// left, so every loop ends with the data.
struct BitReader {
    const uint8_t* in;
    size_t size;
    size_t pos;                      // the next byte not yet in the store
    uint64_t acc;
    int held;                        // bits in the store (64 once the data is used up)
    uint64_t left;                   // real bits not yet dropped

    // False at the end of the data.
    bool Need() const { return left > 0; }
    // The next n bits (n <= 32), the first the highest.
    uint32_t Peek(int n) {
        if (held < n) Refill();
        return uint32_t(acc >> (64 - n));
    }
    void Drop(int n) {
        acc <<= n;
        held -= n;
        left = left > uint64_t(n) ? left - uint64_t(n) : 0;
    }
    void AlignToByte() { Drop(held & 7); }

    void Refill() {
        if (pos + 8 <= size) {
            uint64_t w;
            std::memcpy(&w, in + pos, 8);
            const auto* b = reinterpret_cast<const uint8_t*>(&w);
            uint64_t v = 0;
            for (int i = 0; i < 8; ++i) v = v << 8 | b[i];
            acc |= v >> held;
            const int bytes = (63 - held) >> 3;
            pos += size_t(bytes);
            held += 8 * bytes;
            return;
        }
        for (; held <= 56 && pos < size; held += 8) acc |= uint64_t(in[pos++]) << (56 - held);
        // The data is used up: zeros follow.
        if (pos >= size) held = 64;
    }
};

enum RowEnd { kRowDone, kRowEol, kRowInvalid, kRowDataEnd };

// A copy of a reader for one row, written back when the row ends, so that
// its position can stay in a register while the row's codes are read.
struct RowReader {
    BitReader& outer;
    BitReader br;
    explicit RowReader(BitReader& r) : outer(r), br(r) {}
    ~RowReader() { outer = br; }
};

// One run of a colour: make-up codes, then a terminating code.
inline RowEnd ReadRun(BitReader& br, bool black, uint32_t* run) {
    const FaxTables& t = Tables();
    const FaxEntry* table = black ? t.black : t.white;
    const int bits = black ? kBlackBits : kWhiteBits;
    uint32_t total = 0;
    for (;;) {
        if (!br.Need()) return kRowDataEnd;
        const FaxEntry e = table[br.Peek(bits)];
        switch (e.state) {
        case kTerminating:
            br.Drop(e.width);
            *run = total + e.param;
            return kRowDone;
        case kMakeUp:
            br.Drop(e.width);
            total += e.param;
            if (total > (1u << 24)) return kRowInvalid;
            break;
        case kEol: br.Drop(e.width); return kRowEol;
        default: return kRowInvalid;
        }
    }
}

// The changing elements of one row, which only grow. A finished row is
// closed with kChangeSentinels entries of its width, so that searching it
// for a change past a position needs no test of its end.
constexpr uint32_t kChangeSentinels = 4;

struct Changes {
    uint32_t* at;
    uint32_t count;
    uint32_t capacity;               // besides the sentinels

    bool Push(uint32_t x) {
        if (count >= capacity) return false;
        at[count++] = x;
        return true;
    }
    void Close(uint32_t width) {
        for (uint32_t k = 0; k < kChangeSentinels; ++k) at[count + k] = width;
    }
};

RowEnd DecodeRow1D(BitReader& reader, uint32_t width, Changes* cur) {
    RowReader row(reader);
    BitReader& br = row.br;
    uint32_t a0 = 0;
    bool black = false;
    while (a0 < width) {
        uint32_t run;
        const RowEnd end = ReadRun(br, black, &run);
        if (end != kRowDone) return end;
        a0 = uint32_t(std::min<uint64_t>(uint64_t(a0) + run, width));
        if (!cur->Push(a0)) return kRowInvalid;
        black = !black;
    }
    return kRowDone;
}

RowEnd DecodeRow2D(BitReader& reader, uint32_t width, const Changes& ref, Changes* cur) {
    RowReader row(reader);
    BitReader& br = row.br;
    const FaxTables& t = Tables();
    // a0 is `pos`, except before the row's first code, where it stands just
    // left of the row: b1 is the first change on the reference row at or
    // after `from` (a0 + 1) of the colour opposite a0's, and b2 the change
    // after it. Changes of even index end white runs, of odd index black
    // ones, so i keeps the parity of a0's colour and only moves on from where
    // the last b1 was.
    uint32_t pos = 0, from = 0, i = 0;
    bool black = false;
    while (pos < width) {
        while (ref.at[i] < from) i += 2;
        const uint32_t b1 = ref.at[i];
        const uint32_t b2 = ref.at[i + 1];
        if (!br.Need()) return kRowDataEnd;
        const FaxEntry e = t.mode[br.Peek(kModeBits)];
        // Vertical modes are by far the most common: they are tested first.
        if (e.state == kVertical) {
            br.Drop(e.width);
            const uint32_t a1 = b1 + e.param - 3;  // wraps below 0, and is refused
            if (a1 < pos || a1 > width || !cur->Push(a1)) return kRowInvalid;
            pos = a1;
            from = a1 + 1;
            black = !black;
            // The colour changes: b1 is now of the other parity, at the
            // change before the last b1 at the earliest (a1 is at least a0).
            i = i > 0 ? i - 1 : 1;
            continue;
        }
        switch (e.state) {
        case kPass:
            br.Drop(e.width);
            pos = b2;
            from = b2 + 1;
            i += 2;
            break;
        case kHorizontal: {
            br.Drop(e.width);
            uint32_t run1, run2;
            RowEnd end = ReadRun(br, black, &run1);
            if (end != kRowDone) return end;
            end = ReadRun(br, !black, &run2);
            if (end != kRowDone) return end;
            const uint32_t a1 = uint32_t(std::min<uint64_t>(uint64_t(pos) + run1, width));
            const uint32_t a2 = uint32_t(std::min<uint64_t>(uint64_t(a1) + run2, width));
            if (!cur->Push(a1) || !cur->Push(a2)) return kRowInvalid;
            pos = a2;
            from = a2 + 1;
            break;
        }
        case kEol: return kRowEol;
        default: return kRowInvalid;
        }
    }
    return kRowDone;
}

// An EOL: 11 or more zero bits and a one. False at the end of the data.
bool SyncToEol(BitReader& br) {
    for (;;) {
        if (!br.Need()) return false;
        if (br.Peek(11) == 0) break;
        br.Drop(1);
    }
    for (;;) {
        if (!br.Need()) return false;
        if (br.Peek(8) != 0) break;
        br.Drop(8);
    }
    for (;;) {
        if (!br.Need()) return false;
        const bool one = br.Peek(1) != 0;
        br.Drop(1);
        if (one) return true;
    }
}

// Completes the row to the width with white and writes it as bits.
void FillRow(uint8_t* row, size_t rowBytes, uint32_t width, Changes* c) {
    if ((c->count & 1) && c->count < c->capacity) {
        // A row that stops where a black run would begin: that run is empty
        // and the rest of the row white.
        c->at[c->count] = c->at[c->count - 1];
        ++c->count;
    }
    std::memset(row, 0, rowBytes);
    for (uint32_t k = 0; k + 1 <= c->count; k += 2) {
        const uint32_t s = std::min(c->at[k], width);
        const uint32_t e = k + 1 < c->count ? std::min(c->at[k + 1], width) : width;
        if (s >= e) continue;
        // The black run's first and last bytes take the bits it covers,
        // the bytes between them whole.
        const uint32_t first = s >> 3, last = (e - 1) >> 3;
        const uint8_t head = uint8_t(0xFF >> (s & 7)), tail = uint8_t(0xFF << (7 - ((e - 1) & 7)));
        if (first == last) {
            row[first] = uint8_t(row[first] | (head & tail));
            continue;
        }
        row[first] = uint8_t(row[first] | head);
        for (uint32_t b = first + 1; b < last; ++b) row[b] = 0xFF;
        row[last] = uint8_t(row[last] | tail);
    }
}

}  // namespace

namespace {

// Rows of one strip, decoded as the driver asks for them; the bit reader
// and the reference row carry from one piece to the next.
class FaxCodec final : public TiffCodec {
public:
    FaxCodec(const TiffCodecSetup& s)
        : compression_(s.compression), twoDimensional_(s.twoDimensional), width_(s.width), rowBytes_(s.rowBytes),
          capacity_(s.width + 4) {}

    TiffBuffer lists;                // the reference and current rows' changes, capacity each

    void Start(const uint8_t* in, size_t inSize, size_t) override {
        auto* at = reinterpret_cast<uint32_t*>(lists.data);
        ref_ = Changes{at, 0, capacity_};
        cur_ = Changes{at + capacity_ + kChangeSentinels, 0, capacity_};
        ref_.Close(width_);
        br_ = BitReader{in, inSize, 0, 0, 0, uint64_t(inSize) * 8};
        eolSeen_ = false;
        ended_ = false;
    }

    int Decode(uint8_t* out, size_t outSize, size_t* produced) override {
        *produced = 0;
        if (width_ == 0) return kLoadOk;
        // The reader in a local while the rows are decoded.
        BitReader br = br_;
        const int status = DecodeRows(br, out, outSize, produced);
        br_ = br;
        return status;
    }

private:
    int DecodeRows(BitReader& br, uint8_t* out, size_t outSize, size_t* produced) {
        for (; outSize - *produced >= rowBytes_ && !ended_; *produced += rowBytes_) {
            cur_.count = 0;
            bool twoD = compression_ == kTiffCcittG4;
            if (compression_ == kTiffCcittG3) {
                if (!eolSeen_ && !SyncToEol(br)) return End(kLoadIncomplete);
                eolSeen_ = false;
                if (twoDimensional_) {
                    if (!br.Need()) return End(kLoadIncomplete);
                    twoD = br.Peek(1) == 0;
                    br.Drop(1);
                }
            }
            if (!br.Need()) return End(kLoadIncomplete);
            const RowEnd end = twoD ? DecodeRow2D(br, width_, ref_, &cur_) : DecodeRow1D(br, width_, &cur_);
            if (end == kRowEol) {
                // Group 4 data ends with EOL codes; Group 3 rows may run into one.
                if (compression_ == kTiffCcittG4) {
                    if (cur_.count == 0) return End(kLoadIncomplete);
                } else if (!twoD) {
                    eolSeen_ = true;
                }
            }
            if (compression_ == kTiffCcittRle) br.AlignToByte();
            FillRow(out + *produced, rowBytes_, width_, &cur_);
            if (end == kRowDataEnd) {
                // The row begun is delivered as far as it came.
                *produced += rowBytes_;
                return End(kLoadIncomplete);
            }
            cur_.Close(width_);
            std::swap(ref_, cur_);
        }
        return kLoadOk;
    }

    int End(int status) {
        ended_ = true;
        return status;
    }

    const uint32_t compression_;
    const bool twoDimensional_;
    const uint32_t width_;
    const size_t rowBytes_;
    const uint32_t capacity_;
    Changes ref_{}, cur_{};
    BitReader br_{};
    bool eolSeen_ = false, ended_ = false;
};

}  // namespace

std::unique_ptr<TiffCodec> MakeFaxCodec(const TiffCodecSetup& setup, TiffMemory* memory) {
    std::unique_ptr<FaxCodec> codec(new (std::nothrow) FaxCodec(setup));
    const size_t perRow = size_t(setup.width) + 4 + kChangeSentinels;
    if (!codec || !memory->Reserve(&codec->lists, perRow * 2 * sizeof(uint32_t))) return nullptr;
    return codec;
}
