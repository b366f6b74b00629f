// JPEG files taken apart in tests: the segments before the scan, one
// segment's payload, a payload put back in place of a segment's, and the
// scan data.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/bytes.h"

namespace jpegtest {

using Bytes = std::vector<uint8_t>;

struct Seg {
    uint8_t marker;
    size_t start;  // of the 0xFF
    size_t end;
};

// The segments before the scan, and where the scan starts.
inline std::vector<Seg> Segments(const Bytes& f, size_t* scan = nullptr) {
    std::vector<Seg> out;
    size_t pos = 2;
    while (pos + 4 <= f.size() && f[pos] == 0xFF && f[pos + 1] != 0xDA) {
        const size_t end = pos + 2 + (size_t(f[pos + 2]) << 8 | f[pos + 3]);
        out.push_back({f[pos + 1], pos, end});
        pos = end;
    }
    if (scan) *scan = pos;
    return out;
}

// "E0 E1 DB ..." for the segments before the scan.
inline std::string Markers(const Bytes& f) {
    std::string s;
    for (const Seg& g : Segments(f)) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", g.marker);
        s += hex;
    }
    return s;
}

inline Bytes ScanData(const Bytes& f) {
    size_t scan = 0;
    Segments(f, &scan);
    return Bytes(f.begin() + long(scan), f.end());
}

// The payload of the first segment with the marker, or nothing.
inline Bytes Payload(const Bytes& f, uint8_t marker) {
    for (const Seg& g : Segments(f))
        if (g.marker == marker) return Bytes(f.begin() + long(g.start + 4), f.begin() + long(g.end));
    return {};
}

// The file with the first segment of the marker carrying a new payload.
inline Bytes WithPayload(const Bytes& f, uint8_t marker, const Bytes& payload) {
    for (const Seg& g : Segments(f)) {
        if (g.marker != marker) continue;
        Bytes out(f.begin(), f.begin() + long(g.start));
        out.insert(out.end(), {0xFF, marker});
        testing_support::AppendBe16(out, uint32_t(payload.size() + 2));
        out.insert(out.end(), payload.begin(), payload.end());
        out.insert(out.end(), f.begin() + long(g.end), f.end());
        return out;
    }
    return f;
}

}  // namespace jpegtest
