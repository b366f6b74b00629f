// The TIFF IFD reader on arbitrary bytes: WalkIfd over an "Exif\0\0" block
// and a full walk that reads every entry's value. Never a read outside the
// bytes, every value pointer handed out lies inside them, and every walk
// ends within the cap.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imagelib/readers/tiffifd.h"

namespace {

struct Bounds {
    const uint8_t* begin;
    const uint8_t* end;
    int ifds;
    volatile double sink;
};

int CheckEntry(uint32_t, uint16_t, uint16_t type, uint32_t count, size_t size, uint8_t* value, int, void* context) {
    auto* b = static_cast<Bounds*>(context);
    if (value < b->begin || size > size_t(b->end - value) || size != size_t(TiffTypeSize(type)) * count)
        std::abort();
    for (size_t i = 0; i < size; ++i) b->sink = b->sink + value[i];
    return 1;
}

bool ReadAll(void* context, uint32_t, const TiffView& view, const IfdTable& table) {
    auto* b = static_cast<Bounds*>(context);
    if (++b->ifds > kMaxIfdsPerWalk) std::abort();
    for (uint32_t i = 0; i < table.count; ++i) {
        const IfdEntry e = ReadIfdEntry(view, table, i);
        const uint32_t n = e.count < 16 ? e.count : 16;
        for (uint32_t k = 0; k < n; ++k) b->sink = b->sink + IfdNumber(view, e, k);
        char text[64];
        CopyIfdValue(view, e, text, sizeof text);
        b->sink = b->sink + text[0];
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so a read past the end shows under AddressSanitizer.
    std::vector<uint8_t> block(data, data + size);
    Bounds b{block.data(), block.data() + block.size(), 0, 0};
    int order = -1;
    WalkExifIfds(block.data(), block.size(), kIfdAllKinds, CheckEntry, &b, &order);
    if (size > 6) {
        TiffView view;
        uint32_t ifd0;
        if (OpenTiffView(block.data() + 6, block.size() - 6, &view, &ifd0))
            WalkTiffIfds(view, ifd0, IfdWalkOptions(), ReadAll, &b);
    }
    return 0;
}
