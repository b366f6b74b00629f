// One byte reader for every parser of untrusted data in memory (markers,
// chunks, IFDs, resource blocks, archive headers, packets). A read past the
// end clears `ok` and yields zeros; once cleared it stays cleared, so a
// parser may read a whole record and test once.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct ByteReader {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
    bool ok = true;

    ByteReader() = default;
    ByteReader(const void* d, size_t n) : data(static_cast<const uint8_t*>(d)), size(n) {}

    size_t Remaining() const { return ok ? size - pos : 0; }
    bool Has(size_t n) const { return ok && n <= size - pos; }

    // Moves to an absolute offset; beyond the end fails.
    bool Seek(size_t offset) {
        if (!ok || offset > size) return Fail();
        pos = offset;
        return true;
    }
    bool Skip(size_t n) {
        if (!Has(n)) return Fail();
        pos += n;
        return true;
    }
    // Copies n bytes out, or zero-fills and fails.
    bool Read(void* out, size_t n) {
        if (!Has(n)) {
            if (n) std::memset(out, 0, n);
            return Fail();
        }
        if (n) std::memcpy(out, data + pos, n);
        pos += n;
        return true;
    }
    // A pointer to the next n bytes, advancing; null when they are not there.
    const uint8_t* Take(size_t n) {
        if (!Has(n)) {
            Fail();
            return nullptr;
        }
        const uint8_t* p = data + pos;
        pos += n;
        return p;
    }
    uint8_t U8() {
        const uint8_t* p = Take(1);
        return p ? p[0] : 0;
    }
    uint16_t U16Le() {
        const uint8_t* p = Take(2);
        return p ? uint16_t(p[0] | p[1] << 8) : 0;
    }
    uint16_t U16Be() {
        const uint8_t* p = Take(2);
        return p ? uint16_t(p[0] << 8 | p[1]) : 0;
    }
    uint32_t U32Le() {
        const uint8_t* p = Take(4);
        return p ? uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24 : 0;
    }
    uint32_t U32Be() {
        const uint8_t* p = Take(4);
        return p ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]) : 0;
    }
    uint16_t U16(bool bigEndian) { return bigEndian ? U16Be() : U16Le(); }
    uint32_t U32(bool bigEndian) { return bigEndian ? U32Be() : U32Le(); }

    bool Fail() {
        ok = false;
        return false;
    }
};
