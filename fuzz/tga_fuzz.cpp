// The Targa reader (colour maps, raw and run-length rows) through the load from memory.
#include "load_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzing::FuzzLoad(data, size, L"fuzz.tga");
}
