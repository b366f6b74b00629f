// JPEG-compressed TIFF strips and tiles. Compression 7: each is a JPEG
// stream, abbreviated when the file keeps the quantisation and Huffman
// tables once in JPEGTables; the tables stream (without its end marker) and
// the strip's stream (without its start marker) are decoded as one stream.
// Old-style compression 6: each strip is a scan, decoded as the stream that
// the directory's tables, a frame and a scan header of the strip's own size
// make around it.
//
// Portable: libjpeg through the shared error manager.
#include <csetjmp>
#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "../checked.h"
#include "jpegglue.h"
#include "tiff.h"

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

// The libjpeg side of a strip: the decompress object and what its error
// exit needs, kept apart from the codec so that no object with a destructor
// lives in the frame of the function that sets the jump point.
struct StripJob {
    jpeg_decompress_struct cinfo;
    JpegErrorManager err;
    JpegScanGuard guard;
    bool live;                       // the object exists: the strip's header was read
    const uint8_t* data;
    size_t size;
    uint32_t width, rows, components;
    bool ycbcr;
    const TiffDirectory* convert;    // YCbCr turned to RGB here, by the directory's reference codes
    long memoryLimit;                // what libjpeg may take for the strip
};

// Reads up to `rows` more rows of the strip's stream into `out`, creating
// the decompress object and reading the header on the first call, and
// destroying it after the last row or any error. The stream must be the
// strip the directory describes. Sets a jump point: keeps no object with a
// destructor and changes no local after it.
int ReadStripRows(StripJob* job, uint8_t* out, uint32_t rows, size_t* produced) {
    j_decompress_ptr cinfo = &job->cinfo;
    const size_t rowBytes = size_t(job->width) * job->components;
    if (setjmp(job->err.jump)) {
        jpeg_destroy_decompress(cinfo);
        job->live = false;
        return kLoadIncomplete;
    }
    if (!job->live) {
        InitJpegErrorManager(&job->err, JpegErrorPolicy::kStream, cinfo);
        jpeg_create_decompress(cinfo);
        job->live = true;
        LimitJpegDecoder(cinfo, &job->guard);
        cinfo->mem->max_memory_to_use = std::min(cinfo->mem->max_memory_to_use, job->memoryLimit);
        jpeg_mem_src(cinfo, job->data, static_cast<unsigned long>(job->size));
        jpeg_read_header(cinfo, TRUE);
        if (cinfo->image_width != job->width || cinfo->image_height > job->rows || cinfo->image_height == 0 ||
            uint32_t(cinfo->num_components) != job->components) {
            jpeg_destroy_decompress(cinfo);
            job->live = false;
            return kLoadIncomplete;
        }
        if (job->ycbcr && job->components == 3) {
            cinfo->jpeg_color_space = JCS_YCbCr;
            cinfo->out_color_space = job->convert ? JCS_YCbCr : JCS_RGB;
        } else if (cinfo->jpeg_color_space == JCS_YCCK) {
            cinfo->out_color_space = JCS_CMYK;
        } else {
            // Samples come out as stored.
            cinfo->jpeg_color_space = JCS_UNKNOWN;
            cinfo->out_color_space = JCS_UNKNOWN;
        }
        jpeg_start_decompress(cinfo);
    }
    while (cinfo->output_scanline < cinfo->output_height && *produced < size_t(rows) * rowBytes) {
        JSAMPROW row = out + *produced;
        if (jpeg_read_scanlines(cinfo, &row, 1) != 1) break;
        if (job->convert && job->components == 3) ConvertYCbCrPixels(row, job->width, *job->convert);
        *produced += rowBytes;
    }
    if (cinfo->output_scanline < cinfo->output_height) return kLoadOk;
    const bool truncated = job->err.truncated != 0;
    jpeg_destroy_decompress(cinfo);
    job->live = false;
    return truncated ? kLoadIncomplete : kLoadOk;
}

class JpegCodec final : public TiffCodec {
public:
    JpegCodec(const TiffCodecSetup& s, TiffMemory* memory, StripJob* job)
        : d_(*s.directory), memory_(memory), job_(job), rowBytes_(s.rowBytes) {
        job_->width = s.width;
        job_->components = s.components;
        job_->ycbcr = d_.photometric == kTiffYCbCr && d_.planarConfig == 1;
        // Old-style strips whose YCbCr codes have a reference range of their
        // own (ReferenceBlackWhite) are turned to RGB by it.
        job_->convert = job_->ycbcr && d_.compression == kTiffOldJpeg && d_.referenceSet ? &d_ : nullptr;
    }

    ~JpegCodec() override {
        if (job_->live) jpeg_destroy_decompress(&job_->cinfo);
        std::free(job_);
    }

    void Start(const uint8_t* in, size_t inSize, size_t decodedSize) override {
        if (job_->live) jpeg_destroy_decompress(&job_->cinfo);
        job_->live = false;
        job_->rows = rowBytes_ ? uint32_t(std::min<size_t>(decodedSize / rowBytes_, UINT32_MAX)) : 0;
        status_ = Prepare(in, inSize);
        job_->memoryLimit = long(std::min<uint64_t>(memory_->limit - memory_->held, LONG_MAX));
    }

    int Decode(uint8_t* out, size_t outSize, size_t* produced) override {
        *produced = 0;
        if (status_ != kLoadOk) return status_;
        status_ = ReadStripRows(job_, out, uint32_t(std::min<size_t>(outSize / rowBytes_, UINT32_MAX)), produced);
        return status_;
    }

private:
    // The stream the strip is decoded as: the strip itself, joined to the
    // tables when it is abbreviated, or built around an old-style scan.
    int Prepare(const uint8_t* in, size_t inSize) {
        const uint8_t* tables = d_.jpegTables;
        size_t tablesSize = d_.jpegTablesLength;
        const bool stream = inSize >= 2 && in[0] == 0xFF && in[1] == 0xD8;
        if (stream && (!tables || tablesSize < 4)) return Use(in, inSize);
        if (stream) {
            // The tables without their end marker, the strip without its start.
            if (tables[tablesSize - 2] == 0xFF && tables[tablesSize - 1] == 0xD9) tablesSize -= 2;
            return Join(tables, tablesSize, nullptr, 0, in + 2, inSize - 2, false);
        }
        if (d_.compression != kTiffOldJpeg || !tables) return Use(in, inSize);
        uint8_t headers[kOldJpegHeaderBytes];
        const size_t n = OldJpegHeaders(headers);
        if (n == 0) return kLoadIncomplete;
        return Join(tables, tablesSize, headers, n, in, inSize, true);
    }

    int Use(const uint8_t* data, size_t size) {
        job_->data = data;
        job_->size = size;
        return size ? kLoadOk : kLoadIncomplete;
    }

    int Join(const uint8_t* a, size_t aSize, const uint8_t* b, size_t bSize, const uint8_t* c, size_t cSize,
             bool endMarker) {
        size_t total;
        if (!CheckedAdd(aSize + bSize + (endMarker ? 2 : 0), cSize, &total) || !memory_->Reserve(&joined_, total))
            return kLoadNoMemory;
        uint8_t* p = joined_.data;
        std::memcpy(p, a, aSize);
        if (bSize) std::memcpy(p + aSize, b, bSize);
        std::memcpy(p + aSize + bSize, c, cSize);
        if (endMarker) p[total - 2] = 0xFF, p[total - 1] = 0xD9;
        return Use(p, total);
    }

    // A baseline frame of the strip's size and a scan of all its
    // components: component i takes table i, or the last one defined; for
    // YCbCr the first is subsampled as the directory says. 0 when the size
    // does not fit a frame.
    static constexpr size_t kOldJpegHeaderBytes = 10 + 3 * 4 + 6 + 2 * 4 + 3;
    size_t OldJpegHeaders(uint8_t* out) const {
        const uint32_t width = job_->width, rows = job_->rows, components = job_->components;
        if (width > 0xFFFF || rows > 0xFFFF || components < 1 || components > 4) return 0;
        if (d_.oldJpegFrame) {
            // The interchange stream's own headers (checked by ReadTiff to
            // be of this size), the frame cut to the strip's rows.
            const uint32_t f = d_.oldJpegFrameLength, s = d_.oldJpegScanLength;
            if (f + s + 8 > kOldJpegHeaderBytes || f < 6) return 0;
            size_t n = 0;
            out[n++] = 0xFF, out[n++] = 0xC0, out[n++] = uint8_t((f + 2) >> 8), out[n++] = uint8_t(f + 2);
            std::memcpy(out + n, d_.oldJpegFrame, f);
            out[n + 1] = uint8_t(rows >> 8), out[n + 2] = uint8_t(rows);
            n += f;
            out[n++] = 0xFF, out[n++] = 0xDA, out[n++] = uint8_t((s + 2) >> 8), out[n++] = uint8_t(s + 2);
            std::memcpy(out + n, d_.oldJpegScan, s);
            return n + s;
        }
        const TableCounts counts = CountTables(d_.jpegTables, d_.jpegTablesLength);
        auto table = [&](int kind, uint32_t component) {
            return uint8_t(std::min<int>(int(component), std::max(counts.kinds[kind] - 1, 0)));
        };
        size_t n = 0;
        auto put = [&](uint32_t v) { out[n++] = uint8_t(v); };
        put(0xFF), put(0xC0), put(0), put(8 + 3 * components), put(8), put(rows >> 8), put(rows), put(width >> 8),
            put(width), put(components);
        for (uint32_t i = 0; i < components; ++i) {
            const bool sub = job_->ycbcr && i == 0;
            put(i + 1), put((sub ? d_.subsamplingH : 1) << 4 | (sub ? d_.subsamplingV : 1)), put(table(0, i));
        }
        put(0xFF), put(0xDA), put(0), put(6 + 2 * components), put(components);
        for (uint32_t i = 0; i < components; ++i) put(i + 1), put(table(1, i) << 4 | table(2, i));
        put(0), put(63), put(0);
        return n;
    }

    const TiffDirectory& d_;
    TiffMemory* const memory_;
    StripJob* const job_;
    const size_t rowBytes_;
    TiffBuffer joined_;
    int status_ = kLoadIncomplete;
};

}  // namespace

std::unique_ptr<TiffCodec> MakeJpegCodec(const TiffCodecSetup& setup, TiffMemory* memory) {
    auto* job = static_cast<StripJob*>(std::calloc(1, sizeof(StripJob)));
    if (!job) return nullptr;
    std::unique_ptr<TiffCodec> codec(new (std::nothrow) JpegCodec(setup, memory, job));
    if (!codec) std::free(job);
    return codec;
}
