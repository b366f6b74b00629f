// JPEG writing through libjpeg (IJG 6b API): the file writer of the format
// table, which carries the comment and the kept metadata blocks into markers,
// and the encoder of a memory block of rows.
//
// libjpeg reports fatal errors through a long jump back into the function
// that set the jump point. Those functions hold only plain C records (no
// object with a destructor may be skipped by the jump), and everything they
// must clean up after a jump is recorded in volatile fields.
#include "jpegwriter.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

#include "../checked.h"
#include "../formats.h"
#include "../savecontext.h"
#include "writerio.h"

namespace {

// Size of the output buffer of both destinations.
constexpr size_t kJpegOutputBufferSize = 4096;

// Largest payload of one marker (its 16-bit length counts itself).
constexpr size_t kMaxMarkerData = 65533;

// Standard identifier of an XMP packet in APP1: the namespace name and a zero.
constexpr char kXmpIdentifier[] = "http://ns.adobe.com/xap/1.0/";
constexpr size_t kXmpIdentifierSize = sizeof kXmpIdentifier;  // with the zero

// ICC profile chunks in APP2: "ICC_PROFILE", a zero, chunk number, chunk count.
constexpr char kIccIdentifier[] = "ICC_PROFILE";
constexpr size_t kIccHeaderSize = sizeof kIccIdentifier + 2;
constexpr size_t kIccChunkData = kMaxMarkerData - kIccHeaderSize;  // 65519
constexpr size_t kMaxIccChunks = 255;

// libjpeg's standard error manager followed by the jump point. `writeBegun`
// tells the jump target that BeginWrite succeeded, so EndWrite must run.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    volatile int writeBegun;
};

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    longjmp(err->jump, 1);
}

// Warnings and traces are not the user's business: the library stays silent.
void JpegSilentMessage(j_common_ptr) {}

void InitJpegErrors(j_compress_ptr cinfo, JpegErrorManager* err) {
    std::memset(cinfo, 0, sizeof *cinfo);
    cinfo->err = jpeg_std_error(&err->pub);
    err->pub.error_exit = JpegErrorExit;
    err->pub.output_message = JpegSilentMessage;
    err->writeBegun = 0;
}

// The result code of a long jump: a failed write is 6, anything else 11.
int JpegJumpResult(const JpegErrorManager& err) {
    return err.pub.msg_code == JERR_FILE_WRITE || err.pub.msg_code == JERR_BUFFER_SIZE
               ? kSaveWriteFailed
               : kSaveJpegError;
}

// ---------------------------------------------------------------------------
// Destinations: one output buffer from the image pool in front of a sink that
// takes each full buffer and, at the end, the rest. A sink that cannot take
// the bytes raises a library error: the library never suspends, so rows and
// markers alike stop there.

struct JpegDestination {
    jpeg_destination_mgr pub;
    JOCTET* buffer;
    void (*sink)(j_compress_ptr cinfo, JpegDestination* dest, size_t count, bool last);
    // The file of a file destination.
    PictureFile* file;
    // The caller's block of a memory destination.
    uint8_t* output;       // where the next bytes go
    size_t produced;       // bytes copied to the output so far
    size_t capacity;       // bytes the output can take in all
};

JpegDestination* DestinationOf(j_compress_ptr cinfo) { return reinterpret_cast<JpegDestination*>(cinfo->dest); }

void ResetDestinationBuffer(JpegDestination* dest) {
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kJpegOutputBufferSize;
}

void InitDestination(j_compress_ptr cinfo) {
    JpegDestination* dest = DestinationOf(cinfo);
    dest->buffer = static_cast<JOCTET*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, kJpegOutputBufferSize));
    ResetDestinationBuffer(dest);
}

boolean EmptyDestination(j_compress_ptr cinfo) {
    JpegDestination* dest = DestinationOf(cinfo);
    dest->sink(cinfo, dest, kJpegOutputBufferSize, false);
    ResetDestinationBuffer(dest);
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    JpegDestination* dest = DestinationOf(cinfo);
    dest->sink(cinfo, dest, kJpegOutputBufferSize - dest->pub.free_in_buffer, true);
}

JpegDestination* InstallDestination(j_compress_ptr cinfo,
                                    void (*sink)(j_compress_ptr, JpegDestination*, size_t, bool)) {
    auto* dest = static_cast<JpegDestination*>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(JpegDestination)));
    std::memset(dest, 0, sizeof *dest);
    dest->pub.init_destination = InitDestination;
    dest->pub.empty_output_buffer = EmptyDestination;
    dest->pub.term_destination = TermDestination;
    dest->sink = sink;
    cinfo->dest = &dest->pub;
    return dest;
}

// Into the file. The last call (the rest of the stream) also flushes, so a
// full disk shows here rather than after the library is done.
void FileSink(j_compress_ptr cinfo, JpegDestination* dest, size_t count, bool last) {
    if (count && WriteFileBytes(dest->file, dest->buffer, count) != count) ERREXIT(cinfo, JERR_FILE_WRITE);
    if (last && FlushPictureFile(dest->file) != 0) ERREXIT(cinfo, JERR_FILE_WRITE);
}

// Into the caller's block; a stream that outgrows it raises JERR_BUFFER_SIZE
// instead of writing past it.
void MemorySink(j_compress_ptr cinfo, JpegDestination* dest, size_t count, bool) {
    if (count > dest->capacity - dest->produced) ERREXIT(cinfo, JERR_BUFFER_SIZE);
    if (count) std::memcpy(dest->output, dest->buffer, count);
    dest->output += count;
    dest->produced += count;
}

// ---------------------------------------------------------------------------
// Markers.

void WriteMarkerBytes(j_compress_ptr cinfo, const void* data, size_t length) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < length; ++i) jpeg_write_m_byte(cinfo, p[i]);
}

// The profile in APP2 chunks numbered from 1. A profile that needs more
// chunks than the one-byte count can name is left out.
void WriteIccProfile(j_compress_ptr cinfo, const uint8_t* data, size_t length) {
    if (length == 0) return;
    const size_t chunks = (length + kIccChunkData - 1) / kIccChunkData;
    if (chunks > kMaxIccChunks) return;
    for (size_t i = 0; i < chunks; ++i) {
        const size_t offset = i * kIccChunkData;
        const size_t n = length - offset < kIccChunkData ? length - offset : kIccChunkData;
        jpeg_write_m_header(cinfo, JPEG_APP0 + 2, static_cast<unsigned int>(kIccHeaderSize + n));
        WriteMarkerBytes(cinfo, kIccIdentifier, sizeof kIccIdentifier);
        jpeg_write_m_byte(cinfo, static_cast<int>(i + 1));
        jpeg_write_m_byte(cinfo, static_cast<int>(chunks));
        WriteMarkerBytes(cinfo, data + offset, n);
    }
}

// The comment and the kept metadata blocks, in list order. A block that does
// not fit one marker is left out (ICC profiles are chunked instead).
void WriteJpegMarkers(j_compress_ptr cinfo, const SaveContext* ctx) {
    if (ctx->picture.comment) {
        const size_t n = std::strlen(ctx->picture.comment) + 1;  // the zero is written too
        if (n <= kMaxMarkerData)
            jpeg_write_marker(cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(ctx->picture.comment),
                              static_cast<unsigned int>(n));
    }
    const SaveOptions& opt = ctx->options;
    for (const MetadataBlock* b = ctx->picture.metadata; b; b = b->next) {
        if (!b->data || b->length == 0) continue;
        const size_t n = b->length;
        switch (b->kind) {
        case kMetadataIptc:
            if (opt.keepIptc && n <= kMaxMarkerData)
                jpeg_write_marker(cinfo, JPEG_APP0 + 13, b->data, static_cast<unsigned int>(n));
            break;
        case kMetadataExif:
            if (opt.keepExif && n <= kMaxMarkerData)
                jpeg_write_marker(cinfo, JPEG_APP0 + 1, b->data, static_cast<unsigned int>(n));
            break;
        case kMetadataXmp:
            if (opt.keepXmp && n <= kMaxMarkerData - kXmpIdentifierSize) {
                jpeg_write_m_header(cinfo, JPEG_APP0 + 1, static_cast<unsigned int>(kXmpIdentifierSize + n));
                WriteMarkerBytes(cinfo, kXmpIdentifier, kXmpIdentifierSize);
                WriteMarkerBytes(cinfo, b->data, n);
            }
            break;
        case kMetadataIcc:
            if (opt.flags & kSaveWriteIcc) WriteIccProfile(cinfo, b->data, n);
            break;
        default:
            break;
        }
    }
}

// ---------------------------------------------------------------------------
// Compression parameters.

// JFIF density: dots per inch when both resolutions are known and fit the
// 16-bit fields, else unit 0 with a 1:1 aspect.
void SetJpegDensity(j_compress_ptr cinfo, int32_t xDpi, int32_t yDpi) {
    if (xDpi > 0 && yDpi > 0 && xDpi <= 65535 && yDpi <= 65535) {
        cinfo->density_unit = 1;
        cinfo->X_density = static_cast<UINT16>(xDpi);
        cinfo->Y_density = static_cast<UINT16>(yDpi);
    } else {
        cinfo->density_unit = 0;
        cinfo->X_density = 1;
        cinfo->Y_density = 1;
    }
}

void SetJpegOptions(j_compress_ptr cinfo, const SaveOptions& opt) {
    cinfo->optimize_coding = opt.jpegOptimize ? TRUE : FALSE;
    jpeg_set_quality(cinfo, opt.quality, TRUE);
    if (opt.interlaced) jpeg_simple_progression(cinfo);

    if (cinfo->num_components >= 3 && opt.jpegSubsampling >= 0 && opt.jpegSubsampling <= 2) {
        static const int kLuma[3][2] = {{2, 2}, {2, 1}, {1, 1}};
        cinfo->comp_info[0].h_samp_factor = kLuma[opt.jpegSubsampling][0];
        cinfo->comp_info[0].v_samp_factor = kLuma[opt.jpegSubsampling][1];
        for (int c = 1; c < 3; ++c) {
            cinfo->comp_info[c].h_samp_factor = 1;
            cinfo->comp_info[c].v_samp_factor = 1;
        }
    }
    if (opt.jpegDctMethod == 1) cinfo->dct_method = JDCT_IFAST;
    else if (opt.jpegDctMethod == 2) cinfo->dct_method = JDCT_FLOAT;

    // The library weighs neighbours by this factor without checking it.
    int smoothing = opt.jpegSmoothing;
    if (smoothing < 0) smoothing = 0;
    if (smoothing > 100) smoothing = 100;
    cinfo->smoothing_factor = smoothing;
}

// Compresses the picture into an open file. Long-jump frame: plain records only.
int CompressPicture(PictureFile* file, SaveContext* ctx) {
    jpeg_compress_struct cinfo;
    JpegErrorManager err;
    InitJpegErrors(&cinfo, &err);
    if (setjmp(err.jump)) {
        if (err.writeBegun) ctx->callbacks.endWrite(ctx);
        jpeg_destroy_compress(&cinfo);
        return JpegJumpResult(err);
    }
    jpeg_create_compress(&cinfo);
    InstallDestination(&cinfo, FileSink)->file = file;

    const bool grey = ctx->picture.kind == kPixelGrey || ctx->picture.kind == kPixelBilevel;
    const bool cmyk = !grey && ctx->picture.subKind == kPixelCMYK;
    cinfo.image_width = static_cast<JDIMENSION>(ctx->picture.width);
    cinfo.image_height = static_cast<JDIMENSION>(ctx->picture.height);
    cinfo.input_components = grey ? 1 : cmyk ? 4 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    SetJpegDensity(&cinfo, ctx->picture.xResolution, ctx->picture.yResolution);
    SetJpegOptions(&cinfo, ctx->options);

    WriteHeader header;
    ctx->callbacks.clearWriteHeader(&header);
    header.planes = 1;
    header.bitsPerPlane = static_cast<int16_t>(8 * cinfo.input_components);
    if (cmyk) header.flags |= kWriteCmykInverted;  // Adobe's CMYK JPEGs hold inverted inks
    header.bytesPerPlane = static_cast<uint32_t>(ctx->picture.width) * static_cast<uint32_t>(cinfo.input_components);
    header.rowsPerCall = 1;
    std::strcpy(header.description, "Jpeg");

    // Rows are asked for before anything is written, so a refusal leaves no
    // half-made stream behind.
    const int begun = ctx->callbacks.beginWrite(ctx, &header);
    if (begun != kSaveOk) {
        jpeg_destroy_compress(&cinfo);
        return begun;
    }
    err.writeBegun = 1;

    jpeg_start_compress(&cinfo, TRUE);
    WriteJpegMarkers(&cinfo, ctx);

    while (cinfo.next_scanline < cinfo.image_height) {
        const int status = ctx->callbacks.getScanlines(ctx, -1, 1);
        JSAMPROW row = header.rowBuffer;
        if (status != kSaveOk || jpeg_write_scanlines(&cinfo, &row, 1) != 1) {
            err.writeBegun = 0;
            ctx->callbacks.endWrite(ctx);
            jpeg_destroy_compress(&cinfo);
            return status != kSaveOk ? status : kSaveWriteFailed;
        }
    }
    err.writeBegun = 0;
    ctx->callbacks.endWrite(ctx);
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return kSaveOk;
}

// Encodes into a memory destination. Long-jump frame: plain records only.
int CompressRows(const uint8_t* pixels, int32_t width, int32_t height, size_t bytesPerRow, int components,
                 uint8_t* output, size_t capacity, size_t* outputSize, int quality) {
    jpeg_compress_struct cinfo;
    JpegErrorManager err;
    InitJpegErrors(&cinfo, &err);
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return err.pub.msg_code == JERR_BUFFER_SIZE ? kEncodeJpegTooLarge : kEncodeJpegFailed;
    }
    jpeg_create_compress(&cinfo);
    JpegDestination* dest = InstallDestination(&cinfo, MemorySink);
    dest->output = output;
    dest->capacity = capacity;

    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, FALSE);
    while (cinfo.next_scanline < cinfo.image_height) {
        // The library only reads the rows it is handed.
        JSAMPROW row = const_cast<JSAMPLE*>(pixels + size_t(cinfo.next_scanline) * bytesPerRow);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    *outputSize = dest->produced;
    jpeg_destroy_compress(&cinfo);
    return kEncodeJpegDone;
}

}  // namespace

int WriteJpeg(FileSource* source, SaveContext* ctx) {
    if (ctx->picture.kind != kPixelMaskColour && ctx->picture.kind != kPixelGrey && ctx->picture.kind != kPixelBilevel)
        return kSaveRefused;
    return RunWriterOnSource(source, ctx, CompressPicture);
}

void GetJpegWriterOptions(FormatCapability* records, const FormatRow*) {
    static const uint16_t kTypes[] = {kPixelMask3Byte, kPixelGrey, kPixelBilevel, kPixelCMYK};
    ListWriterTypes(records, kTypes);
}

int EncodeJpegBuffer(const uint8_t* pixels, int32_t width, int32_t height, int32_t bytesPerRow,
                     int components, uint8_t* output, size_t outputCapacity, size_t* outputSize,
                     int quality) {
    if (!pixels || !output || !outputSize || width < 1 || height < 1 || bytesPerRow < 1)
        return kEncodeJpegFailed;
    // Every row must hold `width` pixels, or the library would read past it.
    const size_t pixelBytes = components == 1 ? 1 : 3;
    size_t rowBytes;
    if (!CheckedMul(size_t(width), pixelBytes, &rowBytes) || rowBytes > size_t(bytesPerRow))
        return kEncodeJpegFailed;
    return CompressRows(pixels, width, height, size_t(bytesPerRow), components == 1 ? 1 : 3, output,
                        outputCapacity, outputSize, quality);
}
