// One input, three ways in: from memory, from a file by name, and (for the
// picture information) from a stream handed in, whose size is unknown and
// whose seeks pass the end. All must agree: the same result, and for a load
// the same picture. The first byte chooses the format's extension, the
// second the load options; the rest is the file.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "load_fuzz.h"
#include "tempfiles.h"

namespace {

const wchar_t* const kExtensions[] = {L".bmp", L".png", L".jpg", L".gif", L".tga",
                                      L".pcx", L".ppm", L".ico", L".psd"};
constexpr size_t kExtensionCount = sizeof kExtensions / sizeof kExtensions[0];

void SameInfo(const uint8_t* data, size_t size, const wchar_t* name) {
    FILE* stream = std::tmpfile();
    if (!stream) return;
    if (std::fwrite(data, 1, size, stream) == size && std::fflush(stream) == 0 && std::fseek(stream, 0, SEEK_SET) == 0) {
        FileSource fromStream{nullptr, stream, nullptr, 0};
        FileSource fromMemory;
        InitMemorySource(&fromMemory, data, size);
        ImageInfo a, b;
        const int ra = GetPictureInfoFromSource(&fromStream, name, -1, 0, &a);
        const int rb = GetPictureInfoFromSource(&fromMemory, name, -1, 0, &b);
        fuzzing::Check(ra == rb);
        fuzzing::Check(ra != kLoadOk || (a.width == b.width && a.height == b.height && a.formatIndex == b.formatIndex));
        FreePictureInfo(&a);
        FreePictureInfo(&b);
    }
    std::fclose(stream);
}

bool SamePicture(const Bitmap& a, const Bitmap& b) {
    if (a.width != b.width || a.height != b.height || a.bytesPerRow != b.bytesPerRow || a.pixelType != b.pixelType)
        return false;
    if (std::memcmp(a.pixels, b.pixels, size_t(a.bytesPerRow) * size_t(a.height)) != 0) return false;
    if ((a.palette == nullptr) != (b.palette == nullptr)) return false;
    return !a.palette || std::memcmp(a.palette, b.palette, kPaletteBytes) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool registry = (InitFormatRegistry(), true);
    (void)registry;
    if (size < 3 || fuzzing::ScratchStem().empty()) return 0;
    const std::wstring extension = kExtensions[data[0] % kExtensionCount];
    const uint8_t knobs = data[1];
    data += 2;
    size -= 2;
    const std::wstring name = L"fuzz" + extension;

    SameInfo(data, size, name.c_str());
    if (!fuzzing::SmallEnoughToLoad(data, size, name.c_str(), -1)) return 0;

    const std::wstring path = fuzzing::ScratchStem() + extension;
    FILE* out = OpenWidePath(path.c_str(), "wb");
    if (!out) return 0;
    const bool written = std::fwrite(data, 1, size, out) == size;
    if (std::fclose(out) != 0 || !written) {
        DeletePictureFile(path.c_str());
        return 0;
    }

    LoadOptions options;
    InitLoadOptions(&options);
    options.flags = (knobs & 1 ? kLoadLowDepthAsColour : 0) | (knobs & 2 ? kLoadPreferFourBytes : 0) |
                    (knobs & 4 ? kLoadAcceptDamaged : 0) | (knobs & 8 ? kLoadKeepMetadata : 0);
    if (knobs & 64) {
        // Later images may be larger than the first, which the query bounds:
        // they are only loaded into a small box.
        options.imageIndex = (knobs >> 4) & 3;
        options.targetWidth = 16;
        options.targetHeight = 12;
    }
    Bitmap fromMemory{}, fromFile{};
    const int rm = LoadPictureFromMemory(data, size, name.c_str(), &fromMemory, &options, nullptr);
    const int rf = LoadPictureFromFile(path.c_str(), &fromFile, &options, nullptr);
    DeletePictureFile(path.c_str());
    fuzzing::Check(fuzzing::KnownResult(rm));
    fuzzing::Check(rm == rf);
    fuzzing::Check(rm != kLoadOk || SamePicture(fromMemory, fromFile));
    FreeBitmap(&fromMemory);
    FreeBitmap(&fromFile);
    return 0;
}
