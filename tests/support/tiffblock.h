// A builder of EXIF blocks for tests: "Exif\0\0", then TIFF data of a fixed
// size with the header, IFDs placed at chosen offsets and values written
// where the test wants them, in either byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct Entry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    uint32_t value;
};

inline constexpr uint16_t kShort = 3;
inline constexpr uint16_t kLong = 4;
inline constexpr uint16_t kRational = 5;

// An APP1 payload: "Exif\0\0", then TIFF data of a fixed size with the
// header, IFDs placed at chosen offsets, and the rest zero.
class ExifBlock {
public:
    ExifBlock(size_t tiffSize, bool bigEndian, uint32_t ifd0 = 8) : big_(bigEndian), tiff_(tiffSize) {
        tiff_[0] = tiff_[1] = bigEndian ? 'M' : 'I';
        Put16(2, 42);
        Put32(4, ifd0);
    }

    void Put16(size_t at, uint32_t v) {
        tiff_[at + (big_ ? 1 : 0)] = uint8_t(v);
        tiff_[at + (big_ ? 0 : 1)] = uint8_t(v >> 8);
    }
    void Put32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) tiff_[at + size_t(big_ ? 3 - i : i)] = uint8_t(v >> (8 * i));
    }
    // SHORT values sit in the first two bytes of the value field.
    void Ifd(size_t at, const std::vector<Entry>& entries, uint32_t next) {
        Put16(at, uint32_t(entries.size()));
        size_t e = at + 2;
        for (const Entry& entry : entries) {
            Put16(e, entry.tag);
            Put16(e + 2, entry.type);
            Put32(e + 4, entry.count);
            if (entry.type == kShort && entry.count == 1) Put16(e + 8, entry.value);
            else Put32(e + 8, entry.value);
            e += 12;
        }
        Put32(e, next);
    }
    void PutBytes(size_t at, const void* bytes, size_t n) { std::memcpy(&tiff_[at], bytes, n); }
    void PutText(size_t at, const std::string& text) { PutBytes(at, text.data(), text.size()); }
    void PutRational(size_t at, uint32_t numerator, uint32_t denominator) {
        Put32(at, numerator);
        Put32(at + 4, denominator);
    }
    // Offset in the TIFF data of entry i's value field of the IFD at `at`.
    static size_t FieldAt(size_t at, size_t i) { return at + 2 + 12 * i + 8; }
    // Offset in the whole block of entry i's value field of the IFD at `at`.
    static size_t ValueAt(size_t at, size_t i) { return 6 + at + 2 + 12 * i + 8; }

    const std::vector<uint8_t>& Tiff() const { return tiff_; }
    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> b = {'E', 'x', 'i', 'f', 0, 0};
        b.insert(b.end(), tiff_.begin(), tiff_.end());
        return b;
    }

private:
    bool big_;
    std::vector<uint8_t> tiff_;
};

