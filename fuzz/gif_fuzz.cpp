// The GIF reader (LZW, extensions, several images) through the load from
// memory: the first image as every reader target loads it, then a later
// image chosen by the input's last byte.
#include "load_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::FuzzLoad(data, size, L"fuzz.gif");
    if (size < 1) return 0;
    const uint8_t knobs = data[size - 1];
    fuzzing::FuzzLoadImageInBox(data, size, L"fuzz.gif", 1u + (knobs & 3), knobs & 4 ? kLoadAcceptDamaged : 0);
    return 0;
}
