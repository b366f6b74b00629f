// The IPTC reader on arbitrary APP13 payloads: the resource walk, the
// dataset parse, the display listing and the builder, never reading outside
// the block; a record the builder accepts parses back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imagelib/bitmap.h"
#include "imagelib/metadata.h"
#include "processing/iptc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    MetadataBlock* list = nullptr;
    if (!AddMetadataBlockToList(&list, kMetadataIptc, data, uint32_t(size))) return 0;

    IptcRecord record;
    if (IptcRead(list, &record)) {
        size_t n = 0;
        if (uint8_t* iim = BuildIim(&record, &n)) {
            // Built bytes parse into a record that builds the same bytes.
            IptcRecord again;
            std::memset(&again, 0, sizeof again);
            ParseIim(iim + 2, n - 2, &again);
            size_t n2 = 0;
            uint8_t* iim2 = BuildIim(&again, &n2);
            if (!iim2 || n2 != n || std::memcmp(iim, iim2, n) != 0) std::abort();
            std::free(iim2);
            IptcFree(&again);
            std::free(iim);
        }
    }
    IptcFree(&record);
    volatile size_t sink = 0;
    IptcEnumDatasets(
        list,
        [](void* ctx, int, const char* name, const char* text) {
            *static_cast<volatile size_t*>(ctx) += std::strlen(name) + std::strlen(text);
        },
        const_cast<size_t*>(&sink));
    FreeMetadataList(&list);
    return 0;
}
