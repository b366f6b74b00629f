// libjpeg glue shared by the decoders (jpegglue.h).
//
// Portable: no platform headers.
#include "jpegglue.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include <jerror.h>

#include "../load.h"

namespace {

// Large enough that libjpeg-turbo's Huffman decoder stays on its fast path
// (it leaves it whenever fewer than a block's worst case of bytes remain in
// the buffer); 4 KB made decoding 1 to 7 % slower than reading from memory.
constexpr size_t kSourceBufferSize = 64 * 1024;

JpegErrorManager* ManagerOf(j_common_ptr cinfo) { return reinterpret_cast<JpegErrorManager*>(cinfo->err); }

[[noreturn]] void JumpBack(JpegErrorManager* err, int code) {
    err->code = code;
    std::longjmp(err->jump, 1);
}

// libjpeg's refusals to take more memory than its limit allows (a whole-image
// buffer beyond it needs backing store, which this build does not have).
bool IsMemoryRefusal(int msg) { return msg == JERR_OUT_OF_MEMORY || msg == JERR_NO_BACKING_STORE; }

// error_exit: never returns to libjpeg.
void ExitWithCode(j_common_ptr cinfo) {
    JpegErrorManager* err = ManagerOf(cinfo);
    const int msg = err->pub.msg_code;
    int code = kLoadNotRecognised;
    switch (err->policy) {
    case JpegErrorPolicy::kFile:
        code = (msg == JERR_INPUT_EMPTY || msg == JERR_SOF_UNSUPPORTED) ? kLoadCorrupt
               : IsMemoryRefusal(msg)                                   ? kLoadNoMemory
                                                                        : kLoadNotRecognised;
        // Samples of another precision (12-bit JPEG): a JPEG picture the
        // 8-bit decoder does not read, refused by name.
        if (msg == JERR_BAD_PRECISION) code = kLoadRefused;
        break;
    case JpegErrorPolicy::kStream:
        code = kLoadNoMemory;
        break;
    case JpegErrorPolicy::kThumbnail:
        code = msg == JERR_SOF_UNSUPPORTED ? kLoadCorrupt : IsMemoryRefusal(msg) ? kLoadNoMemory : kLoadNotRecognised;
        break;
    case JpegErrorPolicy::kPlayer:
        code = msg == JERR_INPUT_EMPTY ? kLoadCorrupt : kLoadNotRecognised;
        break;
    }
    JumpBack(err, code);
}

// emit_message: warnings (level -1) and traces. Only the premature end of a
// data segment (and, for the player, of the file) matters; everything else
// is dropped.
void FilterMessage(j_common_ptr cinfo, int level) {
    JpegErrorManager* err = ManagerOf(cinfo);
    if (level >= 0 || err->policy == JpegErrorPolicy::kThumbnail) return;
    if (err->policy == JpegErrorPolicy::kPlayer) {
        if (err->pub.msg_code == JWRN_JPEG_EOF) JumpBack(err, kLoadCorrupt);
        return;
    }
    if (err->pub.msg_code != JWRN_HIT_MARKER) return;
    if (err->deferTruncation) {
        err->truncated = 1;
        return;
    }
    JumpBack(err, kLoadIncomplete);
}

void GuardScans(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kJpegMaxScans) JumpBack(ManagerOf(cinfo), kLoadCorrupt);
}

// The source manager: libjpeg's record first, then ours.
struct JpegFileSource {
    jpeg_source_mgr pub;
    PictureFile* file;
    JOCTET* buffer;
    boolean startOfFile;
};

void InitSource(j_decompress_ptr cinfo) {
    reinterpret_cast<JpegFileSource*>(cinfo->src)->startOfFile = TRUE;
}

// Always succeeds: past the end it supplies an EOI marker, so a cut file
// ends in libjpeg's own "premature end" handling.
boolean FillInput(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<JpegFileSource*>(cinfo->src);
    size_t got = ReadFileBytes(src->file, src->buffer, kSourceBufferSize);
    if (got == 0) {
        if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        got = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = got;
    src->startOfFile = FALSE;
    return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
    jpeg_source_mgr* src = cinfo->src;
    if (count <= 0) return;
    while (count > static_cast<long>(src->bytes_in_buffer)) {
        count -= static_cast<long>(src->bytes_in_buffer);
        (void)src->fill_input_buffer(cinfo);
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr) {}

}  // namespace

void InitJpegErrorManager(JpegErrorManager* err, JpegErrorPolicy policy, j_decompress_ptr cinfo) {
    cinfo->err = jpeg_std_error(&err->pub);
    err->pub.error_exit = ExitWithCode;
    err->pub.emit_message = FilterMessage;
    err->pub.trace_level = 0;
    err->policy = policy;
    err->code = 0;
    err->deferTruncation = 0;
    err->truncated = 0;
}

void LimitJpegDecoder(j_decompress_ptr cinfo, JpegScanGuard* guard) {
    std::memset(guard, 0, sizeof *guard);
    guard->pub.progress_monitor = GuardScans;
    cinfo->progress = &guard->pub;
    LimitJpegMemory(cinfo, 0);
}

void LimitJpegMemory(j_decompress_ptr cinfo, uint64_t heldBeside) {
    const uint64_t budget = GetLoadMemoryBudget();
    // libjpeg reads 0 as "no limit": one byte leaves it nothing.
    const uint64_t share = heldBeside < budget ? budget - heldBeside : 1;
    cinfo->mem->max_memory_to_use = share > uint64_t(LONG_MAX) ? LONG_MAX : long(share);
}

uint64_t JpegCoefficientBytes(j_decompress_ptr cinfo, bool forTranscoding) {
    if (!forTranscoding && !jpeg_has_multiple_scans(cinfo)) return 0;
    // As libjpeg sizes it: each component's blocks, rounded up to whole MCUs.
    uint64_t bytes = 0;
    for (int ci = 0; ci < cinfo->num_components; ++ci) {
        const jpeg_component_info& c = cinfo->comp_info[ci];
        const uint64_t h = uint64_t(c.h_samp_factor < 1 ? 1 : c.h_samp_factor);
        const uint64_t v = uint64_t(c.v_samp_factor < 1 ? 1 : c.v_samp_factor);
        const uint64_t across = (uint64_t(c.width_in_blocks) + h - 1) / h * h;
        const uint64_t down = (uint64_t(c.height_in_blocks) + v - 1) / v * v;
        bytes += across * down * sizeof(JBLOCK);
    }
    return bytes;
}

void CreateJpegDecoder(j_decompress_ptr cinfo, JpegScanGuard* guard, PictureFile* file) {
    jpeg_create_decompress(cinfo);
    LimitJpegDecoder(cinfo, guard);
    UseJpegFileSource(cinfo, file);
}

void UseFastJpegDecoding(j_decompress_ptr cinfo) {
    cinfo->dct_method = JDCT_IFAST;
    cinfo->do_fancy_upsampling = FALSE;
}

void UseJpegFileSource(j_decompress_ptr cinfo, PictureFile* file) {
    if (!cinfo->src) {
        auto* src = static_cast<JpegFileSource*>(
            (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(JpegFileSource)));
        src->buffer = static_cast<JOCTET*>(
            (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kSourceBufferSize));
        cinfo->src = &src->pub;
    }
    auto* src = reinterpret_cast<JpegFileSource*>(cinfo->src);
    src->pub.init_source = InitSource;
    src->pub.fill_input_buffer = FillInput;
    src->pub.skip_input_data = SkipInput;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = TermSource;
    src->pub.bytes_in_buffer = 0;
    src->pub.next_input_byte = nullptr;
    src->file = file;
}

const char* JpegColourSpaceName(int colourSpace) {
    switch (colourSpace) {
    case JCS_GRAYSCALE: return "JPEG Grayscale";
    case JCS_RGB: return "JPEG TrueColor";
    case JCS_CMYK: return "JPEG CMYK";
    default: return nullptr;
    }
}

void DescribeJpegVersion(char* text, size_t capacity, int colourSpace, j_decompress_ptr cinfo) {
    const char* name = JpegColourSpaceName(colourSpace);
    std::snprintf(text, capacity, "%s (v%d.%d)", name ? name : "JPEG", cinfo->JFIF_major_version,
                  cinfo->JFIF_minor_version);
}

int JpegColourSpaceComponents(int colourSpace) {
    switch (colourSpace) {
    case JCS_GRAYSCALE: return 1;
    case JCS_RGB: return 3;
    case JCS_CMYK: return 4;
    default: return 0;
    }
}

bool DeclareJpegLayout(ImageHeader* header, j_decompress_ptr cinfo) {
    const int components = JpegColourSpaceComponents(cinfo->out_color_space);
    if (components == 0 || cinfo->output_components != components) return false;
    header->compression = 3;
    header->width = static_cast<int32_t>(cinfo->output_width);
    header->height = static_cast<int32_t>(cinfo->output_height);
    header->planes = 1;
    header->bitsPerPlane = static_cast<int16_t>(8 * components);
    header->bytesPerPlane = cinfo->output_width * static_cast<uint32_t>(components);
    if (cinfo->out_color_space == JCS_CMYK) {
        header->flags |= kHeaderCmykInverted;
        header->colourSpace = 3;
    }
    // One byte a pixel is grey, never a palette index.
    if (components == 1) header->flags |= kHeaderGreyLevels;
    return true;
}
