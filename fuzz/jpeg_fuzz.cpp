// The JPEG reader through the load from memory: a full load and a reduced
// load (DCT scaling, the EXIF thumbnail in both modes), with the metadata,
// comment and quality options, so libjpeg's glue, the thumbnail decoder and
// the load all see every input.
//
// Pictures declaring more than fuzzing::kMaxPixels are only queried:
// decoding them is slow, not unsafe. Every output pixel and kept block is
// read.
#include <cstdint>

#include "imagelib/metadata.h"
#include "load_fuzz.h"

namespace {

// The pixels, and every kept block and the comment.
unsigned TouchAll(const Bitmap& b) {
    unsigned sum = fuzzing::TouchPixels(b) + fuzzing::TouchMetadata(b);
    if (b.comment)
        for (const char* c = b.comment; *c; ++c) sum += uint8_t(*c);
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool registry = (InitFormatRegistry(), true);
    (void)registry;
    if (size < 2) return 0;
    // The last byte chooses the options (after EOI it is never decoded).
    const uint8_t knobs = data[size - 1];

    if (!fuzzing::SmallEnoughToLoad(data, size, L"fuzz.jpg", kFormatJpeg)) return 0;

    LoadOptions o;
    InitLoadOptions(&o);
    o.formatIndex = kFormatJpeg;
    o.flags = kLoadKeepMetadata | kLoadKeepComment | kLoadEstimateQuality | (knobs & 1 ? kLoadAcceptDamaged : 0) |
              (knobs & 2 ? kLoadKeepCmyk : 0) | (knobs & 4 ? kLoadFastDecode : 0);
    volatile unsigned sink = 0;
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            o.flags |= kLoadReduced | (knobs & 8 ? kLoadRefuseSmallThumbnail : 0);
            o.targetWidth = knobs & 16 ? 40 : 160;
            o.targetHeight = knobs & 16 ? 30 : 120;
            o.embeddedThumbnailMode = uint8_t((knobs >> 5) % 3);
            o.keepReaderReduction = knobs & 128 ? 1 : 0;
        }
        Bitmap bitmap{};
        ImageInfo info;
        const int r = LoadPictureFromMemory(data, size, L"fuzz.jpg", &bitmap, &o, &info);
        fuzzing::Check(fuzzing::KnownResult(r));
        // Success always comes with pixels, failure never.
        fuzzing::Check(bitmap.pixels == nullptr || r == kLoadOk);
        fuzzing::Check(r != kLoadOk || bitmap.pixels != nullptr);
        sink = sink + TouchAll(bitmap);
        FreeBitmap(&bitmap);
        FreePictureInfo(&info);
    }
    return 0;
}
