// The player's JPEG decoding. Portable: no platform headers.
#include "player/jpegstream.h"

#include <csetjmp>
#include <cstring>
#include <utility>

#include <jpeglib.h>
#include <jerror.h>

#include "imagelib/geometry.h"

namespace {

struct ErrorExit {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int code;
};

void JumpOut(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorExit*>(cinfo->err);
    err->code = err->pub.msg_code == JERR_INPUT_EMPTY ? kJpegStreamCorrupt : kJpegStreamNotRecognised;
    std::longjmp(err->jump, 1);
}

// Warnings are dropped, except the data ending early: libjpeg would fill the
// rest grey, and the player skips such a picture instead.
void OnMessage(j_common_ptr cinfo, int level) {
    auto* err = reinterpret_cast<ErrorExit*>(cinfo->err);
    if (level == -1 && err->pub.msg_code == JWRN_JPEG_EOF) {
        err->code = kJpegStreamCorrupt;
        std::longjmp(err->jump, 1);
    }
}

}  // namespace

int DecodeJpegStream(FILE* file, Bitmap* picture) {
    *picture = Bitmap{};
    jpeg_decompress_struct cinfo;
    ErrorExit err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JumpOut;
    err.pub.emit_message = OnMessage;
    err.code = kJpegStreamNotRecognised;
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
    if (uint64_t(cinfo.image_width) * cinfo.image_height > kPlayerMaxPixels) {
        jpeg_destroy_decompress(&cinfo);
        return kJpegStreamNotRecognised;
    }
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
