// The EXIF APP1 walk on arbitrary blocks: never a read outside the block, and
// a thumbnail it reports lies wholly inside it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imagelib/readers/exif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so a read past the end shows under AddressSanitizer.
    std::vector<uint8_t> block(data, data + size);
    uint8_t* begin = block.data();
    ExifApp1Info info;
    const int found = ParseExifApp1(begin, block.size(), &info);
    if (found) {
        if (info.thumbnailOffset < 6 || info.thumbnailLength == 0 ||
            uint64_t(info.thumbnailOffset) + info.thumbnailLength > size)
            std::abort();
    }
    volatile uint32_t sink = 0;
    if (info.thumbnailLengthValue) {
        if (info.thumbnailLengthValue < begin || info.thumbnailLengthValue + 4 > begin + size) std::abort();
        for (int i = 0; i < 4; ++i) sink = sink + info.thumbnailLengthValue[i];
    }
    if (info.orientationValue) {
        if (info.orientationValue < begin || info.orientationValue + 2 > begin + size) std::abort();
        sink = sink + info.orientationValue[0] + info.orientationValue[1];
    }
    uint32_t offset = 0;
    uint32_t length = 0;
    if (FindExifThumbnail(begin, block.size(), &offset, &length) != found) std::abort();
    if (found && (offset != info.thumbnailOffset || length != info.thumbnailLength)) std::abort();
    return 0;
}
