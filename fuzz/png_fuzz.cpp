// The PNG reader (stills, interlace, APNG frames, texts and profiles) through
// the load from memory: the shared load passes, then frame loads with the
// frame index and the background options taken from the input.
#include "load_fuzz.h"
#include "pngico_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::FuzzLoad(data, size, L"fuzz.png");
    return fuzzing::FuzzImageIndexes(data, size, L"fuzz.png", fuzzing::ImageFile::kPng);
}
