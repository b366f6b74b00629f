// The JPEG and PNG writers carrying what a loaded file brought: its EXIF,
// IPTC and XMP blocks, ICC profile, comment and texts. The input (after a
// control byte) is loaded as a JPEG or a PNG with everything kept, then
// saved as JPEG and as PNG to a scratch stream with the keep switches the
// control byte sets. Every result must be a save code; nothing may crash
// or leak.
#include <cstdint>
#include <cstdio>

#include "imagelib/save.h"
#include "imagelib/savecontext.h"
#include "load_fuzz.h"

namespace {

bool IsSaveCode(int r) {
    return r == kSaveOk || r == kSaveNoMemory || r == kSaveCannotCreate || r == kSaveWriteFailed ||
           r == kSaveRefused || r == kSaveNoWriter || r == kSaveJpegError || r == kSaveCancelled;
}

void SaveAs(const Bitmap& bitmap, int16_t format, uint8_t knobs) {
    FILE* stream = std::tmpfile();
    if (!stream) return;
    SaveOptions options;
    InitSaveOptions(&options);
    options.formatIndex = format;
    options.keepExif = knobs & 2 ? 1 : 0;
    options.keepIptc = knobs & 4 ? 1 : 0;
    options.keepXmp = knobs & 8 ? 1 : 0;
    options.flags = knobs & 16 ? kSaveWriteIcc : 0;
    options.quality = 50;
    options.compressionLevel = 1;
    fuzzing::Check(IsSaveCode(SavePicture(nullptr, stream, &bitmap, &options)));
    std::fclose(stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool registry = (InitFormatRegistry(), true);
    (void)registry;
    if (size < 2) return 0;
    const uint8_t knobs = data[0];
    data += 1;
    size -= 1;
    const int16_t from = knobs & 1 ? kFormatPng : kFormatJpeg;
    const wchar_t* name = from == kFormatPng ? L"fuzz.png" : L"fuzz.jpg";
    if (!fuzzing::SmallEnoughToLoad(data, size, name, from)) return 0;

    LoadOptions options;
    InitLoadOptions(&options);
    options.formatIndex = from;
    options.flags = kLoadKeepMetadata | kLoadKeepComment | kLoadKeepTexts | kLoadAcceptDamaged;
    options.targetWidth = 32;
    options.targetHeight = 32;
    Bitmap bitmap{};
    const int r = LoadPictureFromMemory(data, size, name, &bitmap, &options, nullptr);
    fuzzing::Check(fuzzing::KnownResult(r));
    if (r == kLoadOk) {
        SaveAs(bitmap, kFormatJpeg, knobs);
        SaveAs(bitmap, kFormatPng, knobs);
    }
    FreeBitmap(&bitmap);
    return 0;
}
