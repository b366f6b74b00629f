// Deflate round trip: our compressor must reproduce any input through
// zlib's raw inflate, at every level and with reads of any length.
//
// Input: byte 0 picks the level (1-8) and the read length; byte 1 repeats
// the rest (with a changing twist) up to 255 times, so that small inputs
// also reach long matches and window slides.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tests/support/zipdeflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > (1u << 16)) return 0;
    const int level = data[0] % 8 + 1;
    static const uint32_t kReads[4] = {0, 1, 100, 40000};
    const uint32_t maxRead = kReads[(data[0] >> 3) & 3];
    std::vector<uint8_t> input;
    const size_t repeats = size_t(data[1]) + 1;
    input.reserve((size - 2) * repeats);
    for (size_t r = 0; r < repeats; ++r)
        for (size_t i = 2; i < size; ++i) input.push_back(uint8_t(data[i] ^ ((r * 7) & data[0] & 0xC0)));
    std::vector<uint8_t> packed, unpacked;
    uint32_t reported = 0;
    if (testing_support::DeflateMemory(input.data(), input.size(), level, &packed, maxRead, &reported)) std::abort();
    if (reported != packed.size()) std::abort();
    if (!testing_support::InflateRaw(packed, &unpacked, input.size()) || unpacked != input) std::abort();
    return 0;
}
