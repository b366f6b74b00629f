// The slideshow player's decoding of one picture of a show: the bytes read
// from a stream, as the player reads its own file, then a quarter turn
// either way (the input's first byte chooses). A decode either succeeds with
// a grey or blue-green-red picture, every pixel of which is read before and
// after the turn, or fails with nothing allocated.
//
// The load budget is lowered so that the pictures a small input may declare
// (progressive ones keep every coefficient) decode quickly; the limit's
// arithmetic is the same at any budget.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "imagelib/bitmap.h"
#include "imagelib/load.h"
#include "player/jpegstream.h"

namespace {

constexpr uint64_t kFuzzBudget = uint64_t(96) << 20;

void Check(bool ok) {
    if (!ok) std::abort();
}

unsigned Touch(const Bitmap& b) {
    unsigned sum = 0;
    const size_t bytes = size_t(b.bytesPerRow) * size_t(b.height);
    for (size_t i = 0; i < bytes; ++i) sum += b.pixels[i];
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool budget = (SetLoadMemoryBudget(kFuzzBudget), true);
    (void)budget;
    if (size < 1) return 0;
    const int32_t turn = (data[0] & 1) ? 90 : -90;
    FILE* stream = std::tmpfile();
    if (!stream) return 0;
    Bitmap picture{};
    int result = -1;
    if (std::fwrite(data + 1, 1, size - 1, stream) == size - 1 && std::fseek(stream, 0, SEEK_SET) == 0)
        result = DecodeJpegStream(stream, &picture);
    std::fclose(stream);
    if (result < 0) return 0;
    Check(result == kJpegStreamDone || result == kJpegStreamNotRecognised || result == kJpegStreamCorrupt);
    Check((result == kJpegStreamDone) == (picture.pixels != nullptr));
    if (!picture.pixels) return 0;
    Check(picture.pixelType == kPixelGrey || picture.pixelType == kPixelBGR);
    Check(picture.bytesPerRow % 4 == 0);
    const int32_t width = picture.width, height = picture.height;
    volatile unsigned sink = Touch(picture);
    if (RotateBitmap(&picture, turn) == 0) {
        Check(picture.width == height && picture.height == width);
        sink = sink + Touch(picture);
    }
    FreeBitmap(&picture);
    return 0;
}
