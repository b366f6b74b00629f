// The player's JPEG decoding. Portable: no platform headers.
#include "player/jpegstream.h"

#include <csetjmp>
#include <cstring>
#include <utility>

#include "imagelib/geometry.h"
#include "imagelib/load.h"
#include "imagelib/readers/jpegglue.h"

int DecodeJpegStream(FILE* file, Bitmap* picture) {
    *picture = Bitmap{};
    jpeg_decompress_struct cinfo;
    JpegErrorManager err;
    JpegScanGuard guard;
    InitJpegErrorManager(&err, JpegErrorPolicy::kPlayer, &cinfo);
    // Set before the jump point: the record survives a long jump whole.
    Bitmap* volatile out = picture;
    volatile bool reading = false;
    if (setjmp(err.jump)) {
        FreeBitmap(out);
        *out = Bitmap{};
        jpeg_destroy_decompress(&cinfo);
        return reading ? kJpegStreamCorrupt : err.code;
    }
    jpeg_create_decompress(&cinfo);
    LimitJpegDecoder(&cinfo, &guard);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    // Grey and colour only: CMYK and two-component pictures would be shown
    // with the wrong colours.
    uint16_t type;
    if (cinfo.num_components == 1) {
        cinfo.out_color_space = JCS_GRAYSCALE;
        type = kPixelGrey;
    } else if (cinfo.num_components == 3) {
        cinfo.out_color_space = JCS_RGB;
        type = kPixelBGR;
    } else {
        jpeg_destroy_decompress(&cinfo);
        return kJpegStreamNotRecognised;
    }
    // The picture and libjpeg's coefficient buffer (progressive files) must
    // fit the load budget together: libjpeg may take what the picture leaves.
    const int32_t rowBytes = BitmapRowBytes(type, 4, int32_t(cinfo.image_width), int32_t(cinfo.image_height), 8);
    const uint64_t pictureBytes = uint64_t(rowBytes) * cinfo.image_height;
    if (uint64_t(cinfo.image_width) * cinfo.image_height > kPlayerMaxPixels || rowBytes == 0 ||
        pictureBytes + JpegCoefficientBytes(&cinfo, false) > GetLoadMemoryBudget()) {
        jpeg_destroy_decompress(&cinfo);
        return kJpegStreamNotRecognised;
    }
    LimitJpegMemory(&cinfo, pictureBytes);
    jpeg_start_decompress(&cinfo);
    if (!AllocBitmap(out, type, 4, int32_t(cinfo.output_width), int32_t(cinfo.output_height))) {
        jpeg_destroy_decompress(&cinfo);
        return kJpegStreamNotRecognised;
    }
    reading = true;
    while (cinfo.output_scanline < cinfo.output_height) {
        uint8_t* row = out->pixels + size_t(cinfo.output_scanline) * size_t(out->bytesPerRow);
        JSAMPROW rows[1] = {row};
        jpeg_read_scanlines(&cinfo, rows, 1);
        if (type == kPixelBGR)
            for (int32_t x = 0; x < out->width; ++x) std::swap(row[3 * x], row[3 * x + 2]);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return kJpegStreamDone;
}

int RotateBitmap(Bitmap* picture, int32_t angle) {
    if (angle != 90 && angle != -90) return 0;
    return BitmapRotate(picture, nullptr, angle, nullptr, 0);
}
