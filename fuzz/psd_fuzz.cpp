// The Photoshop reader (resources, layers, composite, run-length rows)
// through the load from memory: the composite as every reader target loads
// it, then a layer chosen by the input's last byte, with the metadata
// resources kept.
#include "load_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzing::FuzzLoadAndLaterImage(data, size, L"fuzz.psd");
}
