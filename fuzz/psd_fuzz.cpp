// The Photoshop reader (resources, layers, composite, run-length rows)
// through the load from memory: the composite as every reader target loads
// it, then a layer chosen by the input's last byte, with the metadata
// resources kept.
#include "load_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::FuzzLoad(data, size, L"fuzz.psd");
    if (size < 1) return 0;
    const uint8_t knobs = data[size - 1];
    fuzzing::FuzzLoadImageInBox(data, size, L"fuzz.psd", 1u + (knobs & 3), knobs & 4 ? kLoadAcceptDamaged : 0);
    return 0;
}
