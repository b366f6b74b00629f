// Lossless JPEG transforms through libjpeg's transupp.
//
// Portable: no platform headers. The functions that set a jump point for
// libjpeg's errors hold no object with a destructor and change no local
// after setting it: everything they own lives in a plain record reached
// through a pointer, and the clean-up frees what the record says is held.
#include "lossless.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <jpeglib.h>
#include <jerror.h>
#include <transupp.h>

#include "exifedit.h"
#include "imagelib/fileio.h"
#include "imagelib/readers/jpegglue.h"

namespace {

constexpr size_t kDestinationChunk = 64 * 1024;

bool IsExifMarker(const jpeg_saved_marker_ptr m) {
    return m->marker == JPEG_APP0 + 1 && m->data_length >= 6 && std::memcmp(m->data, "Exif\0\0", 6) == 0;
}

JXFORM_CODE TransformOfCode(int code) {
    switch (code) {
        case kLosslessRotate90: return JXFORM_ROT_90;
        case kLosslessRotate180: return JXFORM_ROT_180;
        case kLosslessRotate270: return JXFORM_ROT_270;
        case kLosslessFlipVertical: return JXFORM_FLIP_V;
        case kLosslessFlipHorizontal: return JXFORM_FLIP_H;
        default: return JXFORM_NONE;
    }
}

// The transform that makes a picture with this EXIF Orientation upright.
JXFORM_CODE TransformOfOrientation(uint32_t orientation) {
    switch (orientation) {
        case kOrientationMirrored: return JXFORM_FLIP_H;
        case kOrientationRotated180: return JXFORM_ROT_180;
        case kOrientationFlipped: return JXFORM_FLIP_V;
        case kOrientationTransposed: return JXFORM_TRANSPOSE;
        case kOrientationRotated90: return JXFORM_ROT_90;
        case kOrientationTransversed: return JXFORM_TRANSVERSE;
        case kOrientationRotated270: return JXFORM_ROT_270;
        default: return JXFORM_NONE;
    }
}

// A destination manager writing into a growing malloc'ed buffer that the
// caller owns and frees, also after an error.
struct MemoryDestination {
    jpeg_destination_mgr pub;
    uint8_t* buffer;
    size_t capacity;
    size_t used;
};

boolean GrowMemoryDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    const size_t grown = d->capacity ? d->capacity * 2 : kDestinationChunk;
    auto* buffer = static_cast<uint8_t*>(std::realloc(d->buffer, grown));
    if (!buffer) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    d->buffer = buffer;
    d->pub.next_output_byte = buffer + d->capacity;
    d->pub.free_in_buffer = grown - d->capacity;
    d->capacity = grown;
    return TRUE;
}

// libjpeg writes a byte before it asks for room: start with some.
void InitMemoryDestination(j_compress_ptr cinfo) { GrowMemoryDestination(cinfo); }

void TermMemoryDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    d->used = d->capacity - d->pub.free_in_buffer;
}

// One transform: both libjpeg objects and everything held across a jump.
struct TransformJob {
    jpeg_decompress_struct src;
    jpeg_compress_struct dst;
    JpegErrorManager err;
    JpegScanGuard guard;
    jpeg_transform_info info;
    bool srcMade;
    bool dstMade;
    // A file transform.
    PictureFile* in;
    FILE* out;
    uint8_t* exifCopy;  // a rewritten EXIF block the kept marker points at
    // A memory transform.
    MemoryDestination memory;
};

void ReleaseJob(TransformJob* job) {
    if (job->dstMade) jpeg_destroy_compress(&job->dst);
    if (job->srcMade) jpeg_destroy_decompress(&job->src);
    if (job->in) ClosePictureFile(job->in);
    if (job->out) std::fclose(job->out);
    std::free(job->exifCopy);
    std::free(job->memory.buffer);
    std::free(job);
}

TransformJob* NewJob() {
    auto* job = static_cast<TransformJob*>(std::calloc(1, sizeof(TransformJob)));
    if (!job) return nullptr;
    InitJpegErrorManager(&job->err, JpegErrorPolicy::kStream, &job->src);
    job->dst.err = &job->err.pub;
    return job;
}

// Creates both objects (the caller's jump point is set).
void CreateObjects(TransformJob* job) {
    jpeg_create_decompress(&job->src);
    job->srcMade = true;
    LimitJpegDecoder(&job->src, &job->guard);
    jpeg_create_compress(&job->dst);
    job->dstMade = true;
}

// Reads the coefficients, sets up the compressor and returns the arrays to
// write; false when the transform cannot be made (not exact without trim).
bool PrepareTransform(TransformJob* job, jvirt_barray_ptr** dstCoefficients, jvirt_barray_ptr** srcCoefficients) {
    if (!jtransform_request_workspace(&job->src, &job->info)) return false;
    *srcCoefficients = jpeg_read_coefficients(&job->src);
    jpeg_copy_critical_parameters(&job->src, &job->dst);
    *dstCoefficients = jtransform_adjust_parameters(&job->src, &job->dst, *srcCoefficients, &job->info);
    job->dst.optimize_coding = TRUE;
    return true;
}

void SetTransform(jpeg_transform_info* info, JXFORM_CODE transform, bool trim) {
    std::memset(info, 0, sizeof *info);
    info->transform = transform;
    info->trim = trim ? TRUE : FALSE;
    info->perfect = trim ? FALSE : TRUE;
    info->force_grayscale = FALSE;
}

// Runs `body` with libjpeg's jump point set, on a fresh job that is
// released either way. 1 when the body succeeded. The one place a jump
// lands: the bodies hold no object with a destructor either.
using JobBody = bool (*)(TransformJob* job, void* args);

int RunJob(JobBody body, void* args) {
    TransformJob* job = NewJob();
    if (!job) return 0;
    if (setjmp(job->err.jump)) {
        ReleaseJob(job);
        return 0;
    }
    CreateObjects(job);
    const bool ok = body(job, args);
    ReleaseJob(job);
    return ok ? 1 : 0;
}

struct MemoryTransform {
    const uint8_t* data;
    size_t length;
    JXFORM_CODE transform;
    uint8_t* out;       // malloc'ed result
    size_t outLength;
};

bool TransformMemoryBody(TransformJob* job, void* args) {
    auto* t = static_cast<MemoryTransform*>(args);
    jpeg_mem_src(&job->src, t->data, static_cast<unsigned long>(t->length));
    jpeg_read_header(&job->src, TRUE);
    SetTransform(&job->info, t->transform, true);
    jvirt_barray_ptr* srcCoefficients;
    jvirt_barray_ptr* dstCoefficients;
    if (!PrepareTransform(job, &dstCoefficients, &srcCoefficients)) return false;
    job->memory.pub.init_destination = InitMemoryDestination;
    job->memory.pub.empty_output_buffer = GrowMemoryDestination;
    job->memory.pub.term_destination = TermMemoryDestination;
    job->dst.dest = &job->memory.pub;
    jpeg_write_coefficients(&job->dst, dstCoefficients);
    jtransform_execute_transform(&job->src, &job->dst, srcCoefficients, &job->info);
    jpeg_finish_compress(&job->dst);
    jpeg_finish_decompress(&job->src);
    t->out = job->memory.buffer;
    t->outLength = job->memory.used;
    job->memory.buffer = nullptr;
    return true;
}

// The EXIF thumbnail turned like the picture, in a new malloc'ed copy of the
// block; null when there is none to turn or it cannot be put back.
uint8_t* TurnThumbnail(const uint8_t* block, size_t length, JXFORM_CODE transform, size_t* newLength) {
    ExifThumbnailScan scan;
    if (!ScanExifThumbnail(block, length, &scan) || scan.offset == 0 || scan.lengthValueAt == 0) return nullptr;
    MemoryTransform turn{block + scan.offset, scan.length, transform, nullptr, 0};
    if (!RunJob(TransformMemoryBody, &turn)) return nullptr;
    auto* copy = static_cast<uint8_t*>(std::malloc(length));
    if (copy) std::memcpy(copy, block, length);
    size_t copyLength = length;
    const bool placed = copy && (ExifBlockReplaceThumbnail(&copy, &copyLength, turn.out, turn.outLength) ||
                                 ExifBlockOverwriteThumbnail(copy, copyLength, turn.out, turn.outLength));
    std::free(turn.out);
    if (!placed) {
        std::free(copy);
        return nullptr;
    }
    ExifBlockResetThumbnailOrientation(copy, copyLength);
    *newLength = copyLength;
    return copy;
}

// The EXIF side of a transform, between reading the header and requesting
// the workspace: picks the transform for code 6, resets the Orientation and
// turns the thumbnail. Calls libjpeg only through its own jobs.
JXFORM_CODE PrepareExif(TransformJob* job, int code, bool resetOrientation) {
    JXFORM_CODE transform = TransformOfCode(code);
    jpeg_saved_marker_ptr exif = nullptr;
    for (jpeg_saved_marker_ptr m = job->src.marker_list; m; m = m->next) {
        uint32_t orientation;
        if (!IsExifMarker(m)) continue;
        if (!exif) exif = m;
        if ((code == kLosslessByExif || (resetOrientation && transform != JXFORM_NONE)) &&
            ExifBlockGetOrientation(m->data, m->data_length, &orientation)) {
            if (code == kLosslessByExif) transform = TransformOfOrientation(orientation);
            ExifBlockSetOrientation(m->data, m->data_length, 1);
            break;
        }
    }
    if (exif && transform != JXFORM_NONE) {
        size_t length;
        if (uint8_t* block = TurnThumbnail(exif->data, exif->data_length, transform, &length)) {
            job->exifCopy = block;
            exif->data = block;
            exif->data_length = static_cast<unsigned int>(length);
        }
    }
    return transform;
}

void SetCrop(jpeg_transform_info* info, uint32_t left, uint32_t top, uint32_t width, uint32_t height) {
    info->crop = TRUE;
    info->crop_width = width;
    info->crop_width_set = JCROP_POS;
    info->crop_height = height;
    info->crop_height_set = JCROP_POS;
    info->crop_xoffset = left;
    info->crop_xoffset_set = JCROP_POS;
    info->crop_yoffset = top;
    info->crop_yoffset_set = JCROP_POS;
}

struct FileTransform {
    const wchar_t* source;
    const wchar_t* temp;
    uint32_t cropLeft, cropTop, cropWidth, cropHeight;
    int code;
    bool trim;
    bool resetOrientation;
};

// Source file to temporary file.
bool TransformFileBody(TransformJob* job, void* args) {
    const auto* t = static_cast<const FileTransform*>(args);
    FileSource source;
    InitFileSource(&source, t->source);
    job->in = OpenPictureFile(&source, kOpenReadBinary);
    if (!job->in) return false;
    UseJpegFileSource(&job->src, job->in);
    jcopy_markers_setup(&job->src, JCOPYOPT_ALL);
    jpeg_read_header(&job->src, TRUE);

    const int code = t->code >= kLosslessNone && t->code <= kLosslessByExif ? t->code : kLosslessNone;
    SetTransform(&job->info, PrepareExif(job, code, t->resetOrientation), t->trim);
    if (t->cropWidth && t->cropHeight) SetCrop(&job->info, t->cropLeft, t->cropTop, t->cropWidth, t->cropHeight);
    jvirt_barray_ptr* srcCoefficients;
    jvirt_barray_ptr* dstCoefficients;
    if (!PrepareTransform(job, &dstCoefficients, &srcCoefficients)) return false;
    for (jpeg_saved_marker_ptr m = job->src.marker_list; m; m = m->next) {
        if (!IsExifMarker(m)) continue;
        ExifBlockSetPixelDimensions(m->data, m->data_length, job->info.output_width, job->info.output_height);
        break;
    }

    job->out = OpenWidePath(t->temp, "wb");
    if (!job->out) return false;
    jpeg_stdio_dest(&job->dst, job->out);
    jpeg_write_coefficients(&job->dst, dstCoefficients);
    jcopy_markers_execute(&job->src, &job->dst, JCOPYOPT_ALL);
    jtransform_execute_transform(&job->src, &job->dst, srcCoefficients, &job->info);
    jpeg_finish_compress(&job->dst);
    jpeg_finish_decompress(&job->src);
    FILE* out = job->out;
    job->out = nullptr;
    return std::fclose(out) == 0;
}

}  // namespace

int TransformJpegLosslessly(const wchar_t* source, const wchar_t* destination, uint32_t cropLeft, uint32_t cropTop,
                            uint32_t cropWidth, uint32_t cropHeight, int code, int trim, int resetOrientation) {
    if (!source || !destination) return 0;
    std::wstring from;
    if (ResolveLinks(source, &from) != 0 || !WidePathIsPlainFile(from.c_str())) return 0;
    FileReplacement out;
    if (out.Begin(destination, L"lt") != FileReplacement::kReady) return 0;
    FileTransform t{from.c_str(), out.temp().c_str(), cropLeft, cropTop, cropWidth, cropHeight,
                    code, trim != 0, resetOrientation != 0};
    return RunJob(TransformFileBody, &t) && out.Commit() == 0 ? 1 : 0;
}

int TransformJpegFileInPlace(const wchar_t* path, int code, int trim, int resetOrientation) {
    return TransformJpegLosslessly(path, path, 0, 0, 0, 0, code, trim, resetOrientation);
}
