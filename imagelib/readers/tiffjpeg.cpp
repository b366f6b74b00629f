// JPEG-compressed TIFF strips and tiles (compression 7): each is a JPEG
// stream, abbreviated when the file keeps the quantisation and Huffman
// tables once in JPEGTables. The tables stream (without its end marker) and
// the strip's stream (without its start marker) are decoded as one stream.
//
// Portable: libjpeg through the shared error and source managers.
#include <csetjmp>
#include <cstring>

#include "../checked.h"
#include "jpegglue.h"
#include "tiff.h"

namespace {

struct StripJob {
    jpeg_decompress_struct cinfo;
    JpegErrorManager err;
    JpegScanGuard guard;
    const uint8_t* data;
    size_t size;
};

// Decodes the stream in memory into `out`. libjpeg reads it straight from
// memory: with the whole strip in its buffer it takes its fast Huffman path. Sets a jump point: keeps no
// object with a destructor and changes no local after it.
int DecodeStream(StripJob* job, uint8_t* out, uint32_t width, uint32_t rows, uint32_t components, bool ycbcr,
                 size_t* produced) {
    j_decompress_ptr cinfo = &job->cinfo;
    InitJpegErrorManager(&job->err, JpegErrorPolicy::kStream, cinfo);
    if (setjmp(job->err.jump)) {
        jpeg_destroy_decompress(cinfo);
        return kLoadIncomplete;
    }
    jpeg_create_decompress(cinfo);
    LimitJpegDecoder(cinfo, &job->guard);
    jpeg_mem_src(cinfo, job->data, static_cast<unsigned long>(job->size));
    jpeg_read_header(cinfo, TRUE);
    // The stream must be the strip the directory describes.
    if (cinfo->image_width != width || cinfo->image_height > rows || cinfo->image_height == 0 ||
        uint32_t(cinfo->num_components) != components) {
        jpeg_destroy_decompress(cinfo);
        return kLoadIncomplete;
    }
    if (ycbcr && components == 3) {
        cinfo->jpeg_color_space = JCS_YCbCr;
        cinfo->out_color_space = JCS_RGB;
    } else if (cinfo->jpeg_color_space == JCS_YCCK) {
        cinfo->out_color_space = JCS_CMYK;
    } else {
        // Samples come out as stored.
        cinfo->jpeg_color_space = JCS_UNKNOWN;
        cinfo->out_color_space = JCS_UNKNOWN;
    }
    jpeg_start_decompress(cinfo);
    const size_t rowBytes = size_t(width) * components;
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = out + size_t(cinfo->output_scanline) * rowBytes;
        if (jpeg_read_scanlines(cinfo, &row, 1) != 1) break;
        *produced = size_t(cinfo->output_scanline) * rowBytes;
    }
    const bool truncated = job->err.truncated != 0;
    jpeg_destroy_decompress(cinfo);
    return truncated ? kLoadIncomplete : kLoadOk;
}

}  // namespace

int DecodeTiffJpegStrip(const uint8_t* tables, size_t tablesSize, const uint8_t* in, size_t inSize, uint8_t* out,
                        uint32_t width, uint32_t rows, uint32_t components, bool ycbcr, size_t* produced) {
    *produced = 0;
    TiffBuffer joined;
    const uint8_t* data = in;
    size_t size = inSize;
    if (tables && tablesSize >= 4 && inSize >= 2 && in[0] == 0xFF && in[1] == 0xD8) {
        size_t keep = tablesSize;
        if (tables[keep - 2] == 0xFF && tables[keep - 1] == 0xD9) keep -= 2;
        size_t total;
        if (!CheckedAdd(keep, inSize - 2, &total) || !joined.Reserve(total)) return kLoadNoMemory;
        std::memcpy(joined.data, tables, keep);
        std::memcpy(joined.data + keep, in + 2, inSize - 2);
        data = joined.data;
        size = total;
    }
    if (size == 0) return kLoadIncomplete;
    StripJob* job = static_cast<StripJob*>(std::calloc(1, sizeof(StripJob)));
    if (!job) return kLoadNoMemory;
    job->data = data;
    job->size = size;
    const int result = DecodeStream(job, out, width, rows, components, ycbcr, produced);
    std::free(job);
    return result;
}
