// The PNG reader (stills, interlace, APNG frames, texts and profiles) through
// the load from memory. The input's first two bytes are control bytes, the
// rest the file: the first chooses the options of the shared load passes,
// the second the frame index and the background options of a frame load.
// (Bytes at the end of a PNG are its end chunk's checksum, which a mutation
// cannot change without breaking the file, so they cannot steer.)
#include "load_fuzz.h"
#include "pngico_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t loadKnobs = data[0];
    const uint8_t frameKnobs = data[1];
    fuzzing::FuzzLoadWith(data + 2, size - 2, L"fuzz.png", loadKnobs);
    return fuzzing::FuzzImageIndexes(data + 2, size - 2, L"fuzz.png", fuzzing::ImageFile::kPng, frameKnobs);
}
