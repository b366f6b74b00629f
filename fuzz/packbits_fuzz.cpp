// PackBits decoding over memory: the buffer is never overrun and a short
// input always ends with 4.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imagelib/fileio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first two bytes choose the output size (up to 64 KiB).
    const int64_t count = data[0] | data[1] << 8;
    FileSource src;
    InitMemorySource(&src, data + 2, size - 2);
    PictureFile* f = OpenPictureFile(&src, kOpenReadBinary);
    if (!f) return 0;
    std::vector<uint8_t> out(static_cast<size_t>(count));
    const int result = UnpackBitsFromFile(f, out.data(), count);
    if (result != 0 && result != 4) std::abort();
    ClosePictureFile(f);
    return 0;
}
