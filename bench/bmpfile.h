// A 24-bit BMP file (Windows info header, rows bottom-up and padded to 4
// bytes) of a picture given as top-down R, G, B, for benchmarks that need
// one on disk or in memory.
#pragma once

#include <cstdint>
#include <vector>

#include "tests/support/bytes.h"

namespace bench_support {

inline std::vector<uint8_t> Bmp24(const std::vector<uint8_t>& rgb, int width, int height) {
    using testing_support::AppendLe16;
    using testing_support::AppendLe32;
    const uint32_t stride = (uint32_t(width) * 3 + 3) & ~3u;
    std::vector<uint8_t> bmp;
    bmp.reserve(54 + size_t(stride) * size_t(height));
    bmp.push_back('B');
    bmp.push_back('M');
    AppendLe32(bmp, 54 + stride * uint32_t(height));
    AppendLe32(bmp, 0);
    AppendLe32(bmp, 54);
    AppendLe32(bmp, 40);
    AppendLe32(bmp, uint32_t(width));
    AppendLe32(bmp, uint32_t(height));
    AppendLe16(bmp, 1);
    AppendLe16(bmp, 24);
    for (int i = 0; i < 6; ++i) AppendLe32(bmp, i == 1 ? stride * uint32_t(height) : 0);
    for (int y = height - 1; y >= 0; --y) {
        const size_t start = bmp.size();
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
            bmp.push_back(p[2]);
            bmp.push_back(p[1]);
            bmp.push_back(p[0]);
        }
        bmp.resize(start + stride, 0);
    }
    return bmp;
}

}  // namespace bench_support
