// JPEG streams embedded in other files (camera previews, JPEG data inside
// TIFF): DecodeJpegAt at an offset into the input, through the real row
// delivery into a bitmap. The first four bytes choose the offset, the sizes
// the container claims, the bits per component and the preview flag; the
// rest is the container. Streams of more than kMaxPixels are only sized.
#include <cstdint>
#include <cstdlib>

#include "imagelib/readers/jpeg.h"
#include "load_fuzz.h"

namespace {

// A load context wired to the library's own row delivery, as a load builds
// one for a reader.
struct EmbeddedLoad {
    LoadContext* ctx;
    Bitmap bitmap{};

    EmbeddedLoad() : ctx(static_cast<LoadContext*>(std::calloc(1, sizeof(LoadContext)))) {
        if (!ctx) return;
        ctx->callbacks.beginImage = BeginImage;
        ctx->callbacks.putScanlines = PutScanlines;
        ctx->callbacks.endImage = EndImage;
        ctx->callbacks.clearImageHeader = ClearImageHeader;
        ctx->callbacks.openSource = OpenPictureFile;
        ctx->callbacks.closeSource = ClosePictureFile;
        ctx->bitmap = &bitmap;
        ctx->imageCount = 1;
        ctx->chosenFormat = -1;
        InitLoadOptions(&ctx->options);
    }
    ~EmbeddedLoad() {
        if (!ctx) return;
        if (ctx->row.active) EndImage(ctx, 0, 0, nullptr);
        ReleaseLoadRows(&ctx->row);
        FreeBitmap(&bitmap);
        FreeMetadataList(&ctx->metadata);
        std::free(ctx->comment);
        for (int32_t i = 0; i < ctx->textCount && i < kMaxPictureTexts; ++i) std::free(ctx->texts[i]);
        std::free(ctx->scratch);
        std::free(ctx);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const uint8_t offsetByte = data[0];
    const uint8_t knobs = data[1];
    const int32_t claimedWidth = data[2];
    const int32_t claimedHeight = data[3];
    data += 4;
    size -= 4;
    FileSource source;
    InitMemorySource(&source, data, size);
    PictureFile* file = OpenPictureFile(&source, kOpenReadBinary);
    if (!file) return 0;
    const int64_t offset = int64_t(offsetByte) % int64_t(size);

    int32_t width = 0, height = 0;
    SeekPictureFile(file, offset, SEEK_SET);
    ReadJpegStreamSize(file, &width, &height);
    if (int64_t(width) * height <= fuzzing::kMaxPixels && SeekPictureFile(file, offset, SEEK_SET) == 0) {
        EmbeddedLoad load;
        if (load.ctx) {
            load.ctx->options.flags = (knobs & 1 ? kLoadAcceptDamaged : 0) | (knobs & 2 ? kLoadKeepMetadata : 0) |
                                      (knobs & 4 ? kLoadFastDecode : 0);
            if (knobs & 2) load.ctx->callbacks.addMetadataBlock = AddMetadataBlock;
            const int r = DecodeJpegAt(file, load.ctx, "Embedded", uint16_t(knobs >> 4), claimedWidth, claimedHeight,
                                       knobs & 8 ? 12 : 8, knobs & 128);
            fuzzing::Check(fuzzing::KnownResult(r));
            volatile unsigned sink = fuzzing::TouchPixels(load.bitmap);
            (void)sink;
        }
    }
    ClosePictureFile(file);
    return 0;
}
