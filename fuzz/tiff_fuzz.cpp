// The TIFF reader (directory, pages, strip tables, every codec, sample
// assembly) through the load from memory.
#include "load_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzing::FuzzLoad(data, size, L"fuzz.tif");
}
