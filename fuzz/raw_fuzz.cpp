// The camera RAW glue (LibRaw's identification, the preview search and the
// preview's decoding) through the load from memory.
#include "load_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzing::FuzzLoad(data, size, L"fuzz.dng");
}
