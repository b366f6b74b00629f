// The icon reader (entry choice, DIB entries with masks, PNG entries) through
// the load from memory: the shared load passes, then loads of a chosen entry
// with the choice and mask options taken from the input.
#include "load_fuzz.h"
#include "pngico_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::FuzzLoad(data, size, L"fuzz.ico");
    if (size < 2) return 0;
    return fuzzing::FuzzImageIndexes(data, size, L"fuzz.ico", fuzzing::ImageFile::kIcon, data[size - 2]);
}
