// The appended-show reader over arbitrary bytes, read from memory as the
// player reads its own file: the first two bytes choose where the search
// starts. Every offset handed out must lie inside the file, and the sound
// must fit in it.
#include <cstdint>
#include <cstdlib>

#include "player/showfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > (1u << 22)) return 0;
    const int64_t start = int64_t(data[0] | data[1] << 8);
    FileSource source;
    InitMemorySource(&source, data + 2, size - 2);
    PictureFile* file = OpenPictureFile(&source, kOpenReadBinary);
    if (!file) return 0;
    AppendedShow show;
    const int r = ReadAppendedShow(file, start, &show);
    ClosePictureFile(file);
    if (r < kShowRead || r > kShowBadOffset) std::abort();
    if (r == kShowRead) {
        if (show.sound.size() > size) std::abort();
        for (int64_t offset : show.offsets)
            if (offset < 0 || offset > int64_t(size - 2)) std::abort();
    }
    (void)PeImageEnd(data, size);
    return 0;
}
