// S3TC block decoding (DXT1, DXT3, DXT5) for the BMP reader: blocks of 4x4
// pixels become 32-bit R, G, B, A rows, handed over four rows at a time.
//
// Portable: talks to the library only through the load context's callbacks
// and the picture file. The block data is read one block row at a time, so
// memory stays bounded by the picture's width whatever the header claims.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bmp.h"
#include "readerio.h"

namespace {

enum DxtVariant { kDxt1 = 1, kDxt3 = 3, kDxt5 = 5 };

// One decoded block: 16 pixels of R, G, B, A, row-major.
using BlockPixels = uint8_t[16][4];

inline uint32_t Le16(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8); }

// 5-6-5 to 8 bits per channel; the low bits stay zero.
void ExpandColour(uint32_t c, uint8_t* rgba) {
    rgba[0] = uint8_t(c >> 8 & 0xF8);
    rgba[1] = uint8_t(c >> 3 & 0xFC);
    rgba[2] = uint8_t(c << 3 & 0xFF);
    rgba[3] = 255;
}

// The colour half of a block (8 bytes). DXT1 blocks whose first colour is
// not above the second use three colours and a transparent black-ish fourth.
void DecodeColourBlock(const uint8_t* block, bool allowThreeColour, BlockPixels out) {
    uint8_t table[4][4];
    const uint32_t c0 = Le16(block);
    const uint32_t c1 = Le16(block + 2);
    ExpandColour(c0, table[0]);
    ExpandColour(c1, table[1]);
    const bool threeColour = allowThreeColour && c0 <= c1;
    for (int k = 0; k < 3; ++k) {
        const int a = table[0][k], b = table[1][k];
        table[2][k] = uint8_t(threeColour ? (a + b) / 2 : (2 * a + b + 1) / 3);
        table[3][k] = uint8_t((a + 2 * b + 1) / 3);
    }
    table[2][3] = 255;
    table[3][3] = threeColour ? 0 : 255;
    const uint32_t indexes = uint32_t(block[4]) | uint32_t(block[5]) << 8 | uint32_t(block[6]) << 16 |
                             uint32_t(block[7]) << 24;
    for (int p = 0; p < 16; ++p) std::memcpy(out[p], table[indexes >> (2 * p) & 3], 4);
}

// DXT3: sixteen explicit 4-bit alphas, row by row, low nibble first.
void DecodeExplicitAlpha(const uint8_t* block, BlockPixels out) {
    for (int p = 0; p < 16; ++p) out[p][3] = uint8_t((block[p / 2] >> (4 * (p & 1)) & 15) * 17);
}

// DXT5: two end points and sixteen 3-bit indexes into an 8-entry ramp.
void DecodeInterpolatedAlpha(const uint8_t* block, BlockPixels out) {
    const int a0 = block[0], a1 = block[1];
    int table[8] = {a0, a1};
    if (a0 > a1) {
        for (int k = 2; k < 8; ++k) table[k] = ((8 - k) * a0 + (k - 1) * a1 + 3) / 7;
    } else {
        for (int k = 2; k < 6; ++k) table[k] = ((6 - k) * a0 + (k - 1) * a1 + 2) / 5;
        table[6] = 0;
        table[7] = 255;
    }
    for (int half = 0; half < 2; ++half) {
        const uint8_t* b = block + 2 + 3 * half;
        const uint32_t bits = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16;
        for (int p = 0; p < 8; ++p) out[8 * half + p][3] = uint8_t(table[bits >> (3 * p) & 7]);
    }
}

void DecodeBlock(const uint8_t* block, DxtVariant variant, BlockPixels out) {
    if (variant == kDxt1) {
        DecodeColourBlock(block, true, out);
        return;
    }
    DecodeColourBlock(block + 8, false, out);
    if (variant == kDxt3) DecodeExplicitAlpha(block, out);
    else DecodeInterpolatedAlpha(block, out);
}

}  // namespace

int DecodeDxtBitmap(PictureFile* f, LoadContext* ctx, ImageHeader* ih, uint32_t fourCc, int64_t dataOffset) {
    const DxtVariant variant = fourCc == kFourCcDxt1 ? kDxt1 : fourCc == kFourCcDxt5 ? kDxt5 : kDxt3;
    const uint32_t width = static_cast<uint32_t>(ih->width);
    const uint32_t height = static_cast<uint32_t>(ih->height);
    ih->planes = 1;
    ih->bitsPerPlane = 32;
    ih->bytesPerPlane = width * 4;
    ih->rowsPerCall = 4;
    const size_t blockBytes = variant == kDxt1 ? 8 : 16;
    const size_t blocksPerRow = (width + 3) / 4;
    const size_t rowBlockBytes = blocksPerRow * blockBytes;
    // A block row cut short still gives its whole blocks.
    int r = CheckStoredRowsFit(f, ctx, dataOffset, rowBlockBytes, (uint64_t(height) + 3) / 4, 0, blockBytes);
    if (r != kLoadOk) return r;
    r = ctx->callbacks.beginImage(ctx, ih);
    if (BeginImageStops(r)) return r;

    uint8_t* blocks = static_cast<uint8_t*>(std::malloc(rowBlockBytes));
    if (!blocks) return FinishReaderPicture(ctx, kLoadNoMemory);
    uint8_t* strip = ih->rowBuffer;
    const size_t stride = size_t(width) * 4;
    r = SeekWithinFile(f, dataOffset) ? kLoadOk : kLoadIncomplete;
    for (uint32_t y0 = 0; y0 < height && r == kLoadOk; y0 += 4) {
        const size_t got = ReadFileBytes(f, blocks, rowBlockBytes);
        const uint32_t rows = height - y0 < 4 ? height - y0 : 4;
        // A block row cut short keeps only its whole blocks; the rest is blank.
        if (got < rowBlockBytes) std::memset(strip, 0, stride * rows);
        const size_t wholeBlocks = got / blockBytes;
        for (size_t bx = 0; bx < wholeBlocks; ++bx) {
            BlockPixels px;
            DecodeBlock(blocks + bx * blockBytes, variant, px);
            const uint32_t x0 = uint32_t(bx) * 4;
            const uint32_t cols = width - x0 < 4 ? width - x0 : 4;
            for (uint32_t j = 0; j < rows; ++j) std::memcpy(strip + j * stride + x0 * 4, px[4 * j], cols * 4);
        }
        r = ctx->callbacks.putScanlines(ctx, 0, int(y0), int(rows));
        if (r == kLoadOk && got < rowBlockBytes) r = kLoadIncomplete;
    }
    std::free(blocks);
    return FinishReaderPicture(ctx, r);
}
