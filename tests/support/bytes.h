// Little- and big-endian fields appended to a byte vector, for tests and
// benchmarks that build files byte by byte.
#pragma once

#include <cstdint>
#include <vector>

namespace testing_support {

inline void AppendLe16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}

inline void AppendLe32(std::vector<uint8_t>& v, uint32_t x) {
    AppendLe16(v, x & 0xFFFF);
    AppendLe16(v, x >> 16);
}

inline void AppendBe16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x >> 8));
    v.push_back(uint8_t(x));
}

inline void AppendBe32(std::vector<uint8_t>& v, uint32_t x) {
    AppendBe16(v, x >> 16);
    AppendBe16(v, x & 0xFFFF);
}

}  // namespace testing_support
