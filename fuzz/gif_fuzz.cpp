// The GIF reader (LZW, extensions, several images) through the load from
// memory: the first image as every reader target loads it, then a later
// image chosen by the input's last byte.
#include "load_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzing::FuzzLoadAndLaterImage(data, size, L"fuzz.gif");
}
