// Thumbnail cache files as ThumbCache reads them: the whole file in memory,
// its index read against the box the file names itself, and every record's
// payload decoded where it lies. Records found lie inside the file; a
// decoded thumbnail fits the box and every pixel byte is touched.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "shell/thumbcache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kThumbCacheHeaderBytes) return 0;
    const int32_t boxWidth = int32_t(uint32_t(data[8]) | uint32_t(data[9]) << 8 | uint32_t(data[10]) << 16 |
                                     uint32_t(data[11]) << 24);
    const int32_t boxHeight = int32_t(uint32_t(data[12]) | uint32_t(data[13]) << 8 | uint32_t(data[14]) << 16 |
                                      uint32_t(data[15]) << 24);
    std::vector<ThumbCacheRecord> records;
    if (!ParseThumbCacheIndex(data, size, size, boxWidth, boxHeight, &records)) return 0;
    unsigned sum = 0;
    for (const ThumbCacheRecord& r : records) {
        if (r.offset < 0 || uint64_t(r.offset) + r.length > size || r.name[kThumbNameUnits - 1] != 0) std::abort();
        Bitmap b{};
        if (!DecodeThumbPayload(data + r.offset, r.length, boxWidth, boxHeight, &b)) {
            if (b.pixels || b.palette) std::abort();
            continue;
        }
        if (b.width < 1 || b.height < 1 || !FitsThumbBox(b.width, b.height, boxWidth, boxHeight)) std::abort();
        for (size_t i = 0; i < size_t(b.bytesPerRow) * size_t(b.height); ++i) sum += b.pixels[i];
        // What decodes encodes again to the same pixels.
        std::vector<uint8_t> again;
        Bitmap back{};
        if (!EncodeThumbPayload(b, &again) || !DecodeThumbPayload(again.data(), again.size(), boxWidth, boxHeight, &back))
            std::abort();
        for (size_t i = 0; i < size_t(b.bytesPerRow) * size_t(b.height); ++i)
            if (back.pixels[i] != b.pixels[i]) std::abort();
        FreeBitmap(&back);
        FreeBitmap(&b);
    }
    return int(sum & 0);
}
