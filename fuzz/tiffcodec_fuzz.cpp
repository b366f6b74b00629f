// The TIFF strip codecs over memory: the first byte picks the codec, the
// next four the block's width and rows; the rest is the strip. No codec may
// read past the strip or write past the block, and every result is one the
// driver knows.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imagelib/readers/tiff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const int codec = data[0] % 9;
    const uint32_t width = 1 + (data[1] | (data[2] & 0x0F) << 8);  // up to 4096
    const uint32_t rows = 1 + data[3] % 64;
    const uint8_t flags = data[4];
    const uint8_t* in = data + 5;
    const size_t inSize = size - 5;
    const size_t rowBytes = codec == 5 || codec == 8 ? size_t(width) * 3 : codec == 6 ? width : (size_t(width) + 7) / 8 * 4;
    std::vector<uint8_t> out(rowBytes * rows);
    size_t produced = 0;
    int r = 0;
    switch (codec) {
    case 0: r = UnpackTiffPackBits(in, inSize, out.data(), out.size(), &produced); break;
    case 1: r = DecodeTiffLzw(in, inSize, out.data(), out.size(), &produced, flags & 1); break;
    case 2: r = DecodeTiffDeflate(in, inSize, out.data(), out.size(), &produced); break;
    case 3:
    case 4: {
        FaxParams p{uint32_t(2 + flags % 3), (flags & 4) != 0, (flags & 8) != 0, width, rows, rowBytes};
        r = DecodeTiffFax(in, inSize, out.data(), p, &produced);
        break;
    }
    case 5: r = DecodeSgiLog(in, inSize, out.data(), width, rows, false, &produced); break;
    case 6: r = DecodeSgiLog(in, inSize, out.data(), width, rows, true, &produced); break;
    case 8: r = DecodeSgiLog24(in, inSize, out.data(), width, rows, &produced); break;
    default: r = DecodeThunderScanStrip(in, inSize, out.data(), width, rows, rowBytes, &produced); break;
    }
    if (produced > out.size()) std::abort();
    if (r != kLoadOk && r != kLoadIncomplete && r != kLoadRefused && r != kLoadNoMemory) std::abort();
    unsigned sum = 0;
    for (size_t i = 0; i < produced; ++i) sum += out[i];
    return sum == 0xFFFFFFFFu ? 1 : 0;
}
