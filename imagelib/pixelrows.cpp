// Row helpers shared by the load and save converters.
#include "pixelrows.h"

#include <algorithm>
#include <cstring>

void MirrorPixelRow(uint8_t* line, int32_t count, unsigned bytesPerPixel) {
    if (count < 2) return;
    uint8_t* a = line;
    uint8_t* b = line + size_t(count - 1) * bytesPerPixel;
    switch (bytesPerPixel) {
        case 1:
            std::reverse(line, line + count);
            return;
        default:
            for (; a < b; a += bytesPerPixel, b -= bytesPerPixel)
                std::swap_ranges(a, a + bytesPerPixel, b);
            return;
    }
}

void MirrorBitRow(uint8_t* row, int32_t count) {
    if (count < 2) return;
    for (int32_t i = 0, j = count - 1; i < j; ++i, --j) {
        const uint8_t mi = uint8_t(0x80u >> (i & 7));
        const uint8_t mj = uint8_t(0x80u >> (j & 7));
        const bool bi = row[i >> 3] & mi;
        const bool bj = row[j >> 3] & mj;
        if (bi == bj) continue;
        row[i >> 3] ^= mi;
        row[j >> 3] ^= mj;
    }
}
