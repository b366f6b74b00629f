// The TIFF reader (directory, pages, strip tables, every codec, sample
// assembly) through the load from memory; then page 1 to 4 (the first when
// the file has fewer) fitted into a small box with the comment and metadata
// kept, the EXIF block made from the tag list included.
#include "load_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzing::FuzzLoadAndLaterImage(data, size, L"fuzz.tif");
}
