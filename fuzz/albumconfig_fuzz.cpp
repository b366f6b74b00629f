// The album config parser over arbitrary text: a received album is
// untrusted. Every accepted config must hold plain entry names and a count
// inside the limits; nothing may crash, hang or leak.
#include <cstdint>
#include <cstdlib>

#include "display/album.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    AlbumShowConfig config;
    if (AlbumParseConfigText(data, size, &config)) {
        if (config.names.size() + (config.sound ? 1 : 0) > size_t(kAlbumMaxEntries)) std::abort();
        for (const std::wstring& name : config.names)
            if (name.empty() || name.find_first_of(L"\\/:") != std::wstring::npos || name == L"..") std::abort();
        if (config.soundKind < 0 || config.soundKind > 2) std::abort();
    }
    return 0;
}
