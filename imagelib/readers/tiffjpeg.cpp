// JPEG-compressed TIFF strips and tiles (compression 7): each is a JPEG
// stream, abbreviated when the file keeps the quantisation and Huffman
// tables once in JPEGTables. The tables stream (without its end marker) and
// the strip's stream (without its start marker) are decoded as one stream.
//
// Portable: libjpeg through the shared error and source managers.
#include <csetjmp>
#include <algorithm>
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

namespace {

// The table id of each kind (quantisation, DC, AC) the tables define most,
// for the frame and scan that name them: component i takes table i, or the
// last one defined.
struct TableCounts {
    int kinds[3] = {0, 0, 0};
};

TableCounts CountTables(const uint8_t* tables, size_t size) {
    TableCounts c;
    size_t at = 2;  // after SOI
    while (at + 4 <= size && tables[at] == 0xFF) {
        const uint8_t marker = tables[at + 1];
        const size_t length = size_t(tables[at + 2]) << 8 | tables[at + 3];
        if (length < 2 || length > size - at - 2) break;
        const uint8_t* p = tables + at + 4;
        const size_t n = length - 2;
        // Each DQT or DHT segment holds one or more tables, each led by its
        // class and id.
        for (size_t i = 0; i < n && (marker == 0xDB || marker == 0xC4);) {
            const int kind = marker == 0xDB ? 0 : (p[i] >> 4) ? 2 : 1;
            c.kinds[kind] = std::max(c.kinds[kind], (p[i] & 0x0F) + 1);
            if (marker == 0xDB) {
                i += 1 + ((p[i] >> 4) ? 128 : 64);
            } else {
                size_t values = 0;
                for (size_t k = 1; k <= 16 && i + k < n; ++k) values += p[i + k];
                i += 17 + values;
            }
        }
        at += 2 + length;
    }
    return c;
}

}  // namespace

int DecodeTiffOldJpegStrip(const TiffDirectory& d, const uint8_t* in, size_t inSize, uint8_t* out, uint32_t width,
                           uint32_t rows, uint32_t components, size_t* produced) {
    *produced = 0;
    const bool ycbcr = d.photometric == kTiffYCbCr && components == 3;
    if (inSize >= 2 && in[0] == 0xFF && in[1] == 0xD8)
        return DecodeTiffJpegStrip(d.jpegTables, d.jpegTablesLength, in, inSize, out, width, rows, components, ycbcr,
                                   produced);
    if (width > 0xFFFF || rows > 0xFFFF || components < 1 || components > 4) return kLoadIncomplete;
    const TableCounts counts = CountTables(d.jpegTables, d.jpegTablesLength);
    auto table = [&](int kind, uint32_t component) { return uint8_t(std::min<int>(int(component), std::max(counts.kinds[kind] - 1, 0))); };
    // Frame (baseline) and scan headers for this strip.
    uint8_t headers[2 + 2 + 6 + 3 * 4 + 2 + 2 + 1 + 2 * 4 + 3];
    size_t n = 0;
    auto put = [&](uint32_t v) { headers[n++] = uint8_t(v); };
    put(0xFF), put(0xC0), put(0), put(8 + 3 * components), put(8), put(rows >> 8), put(rows), put(width >> 8), put(width),
        put(components);
    for (uint32_t i = 0; i < components; ++i) {
        const uint32_t h = ycbcr && i == 0 ? d.subsamplingH : 1, v = ycbcr && i == 0 ? d.subsamplingV : 1;
        put(i + 1), put(h << 4 | v), put(table(0, i));
    }
    put(0xFF), put(0xDA), put(0), put(6 + 2 * components), put(components);
    for (uint32_t i = 0; i < components; ++i) put(i + 1), put(table(1, i) << 4 | table(2, i));
    put(0), put(63), put(0);
    TiffBuffer stream;
    size_t total;
    if (!CheckedAdd(size_t(d.jpegTablesLength) + n + 2, inSize, &total) || !stream.Reserve(total)) return kLoadNoMemory;
    std::memcpy(stream.data, d.jpegTables, d.jpegTablesLength);
    std::memcpy(stream.data + d.jpegTablesLength, headers, n);
    std::memcpy(stream.data + d.jpegTablesLength + n, in, inSize);
    stream.data[total - 2] = 0xFF;
    stream.data[total - 1] = 0xD9;
    return DecodeTiffJpegStrip(nullptr, 0, stream.data, total, out, width, rows, components, ycbcr, produced);
}
