// The EXIF property list on arbitrary EXIF blocks: the scan alone (the
// thumbnail it reports lies inside the block) and the full enumeration with
// maker notes and lens post-processing, every text read to its end.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imagelib/bitmap.h"
#include "imagelib/metadata.h"
#include "processing/exif_props.h"

namespace {

struct Sink {
    volatile size_t bytes;
    bool inCategory;
};

void Touch(void* context, uint32_t, uint16_t tag, const char* name, const char* text) {
    auto* sink = static_cast<Sink*>(context);
    if (!name) std::abort();
    if (!text) {
        if (tag != 0) std::abort();
        sink->inCategory = true;
        return;
    }
    if (!sink->inCategory) std::abort();  // items come after their category
    sink->bytes = sink->bytes + std::strlen(name) + std::strlen(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20) return 0;
    std::vector<uint8_t> block(6 + size);
    std::memcpy(block.data(), "Exif\0\0", 6);
    if (size) std::memcpy(block.data() + 6, data, size);

    ExifScan scan;
    if (ParseTiffBlock(block.data(), block.size(), nullptr, nullptr, &scan, nullptr)) {
        if (scan.thumbnailOffset != 0 &&
            uint64_t(scan.thumbnailOffset) + scan.thumbnailLength > block.size())
            std::abort();
        if (scan.thumbnailLengthAt != 0 && uint64_t(scan.thumbnailLengthAt) + 4 > block.size()) std::abort();
    }

    MetadataBlock* list = nullptr;
    AddMetadataBlockToList(&list, kMetadataExif, block.data(), uint32_t(block.size()));
    Sink sink{0, false};
    ExifEnumProperties(list, Touch, &sink);
    FreeMetadataList(&list);
    return 0;
}
