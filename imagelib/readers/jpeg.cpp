// The JPEG reader over libjpeg (IJG 6b API).
//
// Portable: no platform headers. The decoding runs in three phases (declare,
// rows, finish), each with its own jump point set before its first libjpeg
// call; none keeps an object with a destructor in its frame.
#include "jpeg.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "exif.h"
#include "jpegglue.h"
#include "readerio.h"

namespace {

constexpr unsigned kMarkerLimit = 0xFFFF;
constexpr size_t kIccChunkHeader = 14;   // "ICC_PROFILE\0", chunk number, chunk count
constexpr uint32_t kProgressiveFlag = 8;
constexpr uint32_t kPreviewFlag = 1;
// What ReadJpeg's thumbnail step answers when the full picture is to be decoded.
constexpr int kDecodeFullPicture = -2;
// What the declaration answers when the picture is begun and rows follow.
constexpr int kRowsFollow = -3;

const char kBadPrecision[] = "JPEG : Bad sample precision !";

// What differs between a JPEG file of its own and a stream inside another file.
struct JpegCall {
    bool embedded;
    const char* description;   // embedded: the caller's text
    uint16_t headerWord;
    int32_t fileWidth;         // embedded: reported when both sides are above 0
    int32_t fileHeight;
    int bitsPerComponent;
    int previewFlag;
};

struct JpegJob {
    jpeg_decompress_struct cinfo;
    JpegErrorManager err;
    JpegScanGuard guard;
    ImageHeader header;
    uint64_t workspace;  // libjpeg's whole-image buffer, reserved in the load's budget
};

bool StartsWith(const jpeg_saved_marker_ptr m, const char* text, size_t n) {
    return m->data_length >= n && std::memcmp(m->data, text, n) == 0;
}

void SaveMarkers(j_decompress_ptr cinfo, const LoadContext* ctx, const JpegCall* call) {
    if (call->embedded) {
        jpeg_save_markers(cinfo, JPEG_COM, kMarkerLimit);
        return;
    }
    const LoadOptions& o = ctx->options;
    if (o.flags & kLoadKeepComment) jpeg_save_markers(cinfo, JPEG_COM, kMarkerLimit);
    if (o.flags & kLoadKeepMetadata)
        for (int m = 0; m < 16; ++m) jpeg_save_markers(cinfo, JPEG_APP0 + m, kMarkerLimit);
    if ((o.flags & kLoadReduced) && o.embeddedThumbnailMode) jpeg_save_markers(cinfo, JPEG_APP0 + 1, kMarkerLimit);
}

// Every COM marker in order (the last one stays); a stream inside another
// file looks only at its first saved marker.
void KeepComments(j_decompress_ptr cinfo, LoadContext* ctx, bool firstOnly) {
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next) {
        if (m->marker == JPEG_COM && m->data_length > 0)
            SetPictureComment(ctx, reinterpret_cast<const char*>(m->data), m->data_length);
        if (firstOnly) break;
    }
}

// EXIF, XMP, IPTC and ICC markers as metadata blocks, in marker order.
void KeepMetadata(j_decompress_ptr cinfo, LoadContext* ctx) {
    if (!(ctx->options.flags & kLoadKeepMetadata) || !ctx->callbacks.addMetadataBlock) return;
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next) {
        const uint32_t n = m->data_length;
        if (m->marker == JPEG_APP0 + 1) {
            if (StartsWith(m, "Exif", 4) && n >= 6)
                ctx->callbacks.addMetadataBlock(ctx, kMetadataExif, m->data, n);
            else if (StartsWith(m, "http:", 5) && n >= 7)
                ctx->callbacks.addMetadataBlock(ctx, kMetadataXmp, m->data, n);
        } else if (m->marker == JPEG_APP0 + 13 && n > 0) {
            ctx->callbacks.addMetadataBlock(ctx, kMetadataIptc, m->data, n);
        } else if (m->marker == JPEG_APP0 + 2 && n > kIccChunkHeader && StartsWith(m, "ICC_PROFILE", 12)) {
            ctx->callbacks.addMetadataBlock(ctx, kMetadataIcc, m->data + kIccChunkHeader,
                                            n - static_cast<uint32_t>(kIccChunkHeader));
        }
    }
}

// A reduced load may take the picture from the EXIF thumbnail. Returns the
// load's result when the thumbnail ended it (delivered, cancelled, or an
// information-only stop), else kDecodeFullPicture.
int TryExifThumbnail(j_decompress_ptr cinfo, LoadContext* ctx) {
    const LoadOptions& o = ctx->options;
    if (!(o.flags & kLoadReduced) || !o.embeddedThumbnailMode) return kDecodeFullPicture;
    jpeg_calc_output_dimensions(cinfo);
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next) {
        if (m->marker != JPEG_APP0 + 1 || m->data_length <= 6 || !StartsWith(m, "Exif", 4)) continue;
        uint32_t offset = 0;
        uint32_t length = 0;
        if (!FindExifThumbnail(m->data, m->data_length, &offset, &length)) continue;
        const int r = DecodeJpegFromMemory(m->data + offset, length, static_cast<int32_t>(cinfo->output_width),
                                           static_cast<int32_t>(cinfo->output_height), cinfo->out_color_space, ctx);
        if (r == kLoadOk || r == kLoadCancelled || r == kLoadInfoStop) return r;
    }
    return kDecodeFullPicture;
}

// Fast decoding and, for a reduced load, libjpeg's DCT scaling towards the
// box. The ratio is crossed on purpose (the width against the box height),
// so a picture reduced for either orientation of the box stays large enough.
void ChooseDecodeScale(j_decompress_ptr cinfo, const LoadOptions& o, bool fast) {
    if (fast) UseFastJpegDecoding(cinfo);
    if (!(o.flags & kLoadReduced) || o.targetWidth <= 0 || o.targetHeight <= 0) return;
    jpeg_calc_output_dimensions(cinfo);
    const double ratio = std::min(double(cinfo->output_width) / o.targetHeight,
                                  double(cinfo->output_height) / o.targetWidth);
    // libjpeg's smallest scale is 1/8: larger denominators change nothing.
    cinfo->scale_num = 1;
    cinfo->scale_denom = ratio >= 8.0 ? 8u : ratio >= 1.0 ? static_cast<unsigned>(ratio) : 1u;
    jpeg_calc_output_dimensions(cinfo);
}

// JFIF densities as dots per inch; dots per cm are converted.
void SetResolution(ImageHeader* h, j_decompress_ptr cinfo, bool embedded) {
    const int x = cinfo->X_density;
    const int y = cinfo->Y_density;
    if (embedded) {
        h->xResolution = x;
        h->yResolution = y;
        return;
    }
    if (x <= 1) return;
    if (cinfo->density_unit == 2) {
        h->xResolution = static_cast<int32_t>(x * 2.54 + 0.5);
        h->yResolution = y > 1 ? static_cast<int32_t>(y * 2.54 + 0.5) : h->xResolution;
    } else {
        h->xResolution = x;
        h->yResolution = y >= 2 ? y : x;
    }
}

// The stored picture the delivered one reduces.
void SetFileSize(ImageHeader* h, j_decompress_ptr cinfo, const JpegCall* call) {
    const uint32_t components = static_cast<uint32_t>(JpegColourSpaceComponents(cinfo->out_color_space));
    int32_t width = static_cast<int32_t>(cinfo->image_width);
    int32_t height = static_cast<int32_t>(cinfo->image_height);
    uint32_t bits = 8;
    if (call->embedded && cinfo->out_color_space != JCS_CMYK) {
        if (call->fileWidth > 0 && call->fileHeight > 0) {
            width = call->fileWidth;
            height = call->fileHeight;
        }
        bits = static_cast<uint32_t>(call->bitsPerComponent);
    }
    h->fullWidth = width;
    h->fullHeight = height;
    h->fullBytesPerPlane = static_cast<uint32_t>(width) * components;
    h->fullBitsPerSample = bits;
    h->fullComponents = components;
}

void Describe(ImageHeader* h, j_decompress_ptr cinfo, const JpegCall* call) {
    if (call->embedded) {
        std::snprintf(h->description, sizeof h->description, "%s", call->description ? call->description : "");
        return;
    }
    DescribeJpegVersion(h->description, sizeof h->description, cinfo->out_color_space, cinfo);
}

// Phase 1: the header, metadata, the thumbnail shortcut, the declaration.
// kRowsFollow when the picture is begun; otherwise the load's result, with
// the object destroyed.
int DeclarePicture(JpegJob* job, PictureFile* file, LoadContext* ctx, const JpegCall* call) {
    j_decompress_ptr cinfo = &job->cinfo;
    InitJpegErrorManager(&job->err, call->embedded ? JpegErrorPolicy::kStream : JpegErrorPolicy::kFile, cinfo);
    if (setjmp(job->err.jump)) {
        jpeg_destroy_decompress(cinfo);
        if (call->embedded) return kLoadNotRecognised;
        return job->err.code == kLoadRefused ? RefusePicture(ctx, kBadPrecision) : job->err.code;
    }
    CreateJpegDecoder(cinfo, &job->guard, file);
    SaveMarkers(cinfo, ctx, call);
    jpeg_read_header(cinfo, TRUE);

    const LoadOptions& o = ctx->options;
    KeepComments(cinfo, ctx, call->embedded);
    if (!call->embedded) {
        KeepMetadata(cinfo, ctx);
        const int thumbnail = TryExifThumbnail(cinfo, ctx);
        if (thumbnail != kDecodeFullPicture) {
            jpeg_destroy_decompress(cinfo);
            return thumbnail;
        }
    }
    const bool fast = (o.flags & kLoadReduced) || (!call->embedded && (o.flags & kLoadFastDecode));
    ChooseDecodeScale(cinfo, o, fast);
    if (!call->embedded && (o.flags & kLoadEstimateQuality))
        ctx->readerValues[kJpegQualityValue] = static_cast<uint32_t>(EstimateJpegQuality(cinfo));

    // An information-only load needs the output size, not the decoding that
    // a progressive file's start would do. A full decode first weighs the
    // coefficient buffer that start takes against the load's budget, so the
    // buffer and the picture together stay within it.
    if (ctx->infoOnly) {
        jpeg_calc_output_dimensions(cinfo);
    } else {
        const uint64_t workspace = JpegCoefficientBytes(cinfo, false);
        if (!ReserveReaderMemory(ctx, workspace)) {
            jpeg_destroy_decompress(cinfo);
            return kLoadNoMemory;
        }
        job->workspace = workspace;
        job->err.deferTruncation = jpeg_has_multiple_scans(cinfo) ? 1 : 0;
        jpeg_start_decompress(cinfo);
    }

    ImageHeader* h = &job->header;
    ctx->callbacks.clearImageHeader(h);
    if (!DeclareJpegLayout(h, cinfo)) {
        jpeg_destroy_decompress(cinfo);
        return kLoadNotRecognised;
    }
    h->orientation = call->headerWord;
    SetFileSize(h, cinfo, call);
    SetResolution(h, cinfo, call->embedded);
    Describe(h, cinfo, call);
    if (call->embedded) ctx->readerFlags = call->previewFlag ? kPreviewFlag : 0;
    else if (cinfo->progressive_mode) ctx->readerFlags |= kProgressiveFlag;

    const int begun = ctx->callbacks.beginImage(ctx, h);
    if (begun != kLoadOk || ctx->infoOnly) {
        if (begun == kLoadOk) ctx->callbacks.endImage(ctx, 0, 0, nullptr);
        jpeg_destroy_decompress(cinfo);
        return begun;
    }
    return kRowsFollow;
}

// Decodes the rows one at a time straight into the load's row buffer. 0
// when all were delivered, else the stop answer.
int PassRows(j_decompress_ptr cinfo, LoadContext* ctx, uint8_t* rowBuffer) {
    JSAMPROW row = rowBuffer;
    while (cinfo->output_scanline < cinfo->output_height) {
        if (jpeg_read_scanlines(cinfo, &row, 1) != 1) return kLoadCorrupt;
        const int answer = ctx->callbacks.putScanlines(ctx, -1, -1, 1);
        if (answer != kLoadOk) return answer;
    }
    return kLoadOk;
}

// Phase 2: the rows, then EndImage. 0 when finishing follows; otherwise the
// result, with the object destroyed.
int DeliverRows(JpegJob* job, LoadContext* ctx) {
    j_decompress_ptr cinfo = &job->cinfo;
    if (setjmp(job->err.jump)) {
        // The rows decoded so far stay in the picture.
        jpeg_destroy_decompress(cinfo);
        return FinishReaderPicture(ctx, job->err.code == kLoadIncomplete ? kLoadIncomplete : kLoadCorrupt);
    }
    const int answer = FinishReaderPicture(ctx, PassRows(cinfo, ctx, job->header.rowBuffer));
    // A stopped load ends here: finishing with rows unread would fail.
    if (answer != kLoadOk) jpeg_destroy_decompress(cinfo);
    return answer;
}

// Phase 3: reads to the end of the stream and releases the object.
int FinishStream(JpegJob* job) {
    j_decompress_ptr cinfo = &job->cinfo;
    if (setjmp(job->err.jump)) {
        jpeg_destroy_decompress(cinfo);
        return job->err.code == kLoadIncomplete ? kLoadIncomplete : kLoadCorrupt;
    }
    jpeg_finish_decompress(cinfo);
    jpeg_destroy_decompress(cinfo);
    return job->err.truncated ? kLoadIncomplete : kLoadOk;
}

int DecodeStream(PictureFile* file, LoadContext* ctx, const JpegCall* call) {
    JpegJob job;
    std::memset(&job, 0, sizeof job);
    int result = DeclarePicture(&job, file, ctx, call);
    if (result == kRowsFollow) {
        result = DeliverRows(&job, ctx);
        if (result == kLoadOk) result = FinishStream(&job);
    }
    // Every way out has destroyed the object by now.
    ReleaseReaderMemory(ctx, job.workspace);
    return result;
}

// Reads the header of the stream at the file's position. 1 for an RGB
// stream, else 0; the sizes are 0 after an error.
int ReadStreamHeader(JpegJob* job, PictureFile* file, int32_t* width, int32_t* height) {
    j_decompress_ptr cinfo = &job->cinfo;
    InitJpegErrorManager(&job->err, JpegErrorPolicy::kStream, cinfo);
    if (setjmp(job->err.jump)) {
        jpeg_destroy_decompress(cinfo);
        *width = 0;
        *height = 0;
        return 0;
    }
    CreateJpegDecoder(cinfo, &job->guard, file);
    jpeg_read_header(cinfo, TRUE);
    jpeg_calc_output_dimensions(cinfo);
    *width = static_cast<int32_t>(cinfo->output_width);
    *height = static_cast<int32_t>(cinfo->output_height);
    const int rgb = cinfo->out_color_space == JCS_RGB ? 1 : 0;
    jpeg_destroy_decompress(cinfo);
    return rgb;
}

// The quality tables: for each quality 1..100 (index 0 first) the hash of a
// few table entries and the sum of all entries that a table saved at that
// quality reaches.
constexpr int kSingleHash[101] = {
    510, 505, 422, 380, 355, 338, 326, 318, 311, 305, 300, 297, 293, 291, 288, 286, 284, 283, 281, 280, 279,
    278, 277, 273, 262, 251, 243, 233, 225, 218, 211, 205, 198, 193, 186, 181, 177, 172, 168, 164, 158, 156,
    152, 148, 145, 142, 139, 136, 133, 131, 129, 126, 123, 120, 118, 115, 113, 110, 107, 105, 102, 100, 97,
    94,  92,  89,  87,  83,  81,  79,  76,  74,  70,  68,  66,  63,  61,  57,  55,  52,  50,  48,  44,  42,
    39,  37,  34,  31,  29,  26,  24,  21,  18,  16,  13,  11,  8,   6,   3,   2,   0};
constexpr int kSingleSums[101] = {
    16320, 16315, 15946, 15277, 14655, 14073, 13623, 13230, 12859, 12560, 12240, 11861, 11456, 11081, 10714,
    10360, 10027, 9679,  9368,  9056,  8680,  8331,  7995,  7668,  7376,  7084,  6823,  6562,  6345,  6125,
    5939,  5756,  5571,  5421,  5240,  5086,  4976,  4829,  4719,  4616,  4463,  4393,  4280,  4166,  4092,
    3980,  3909,  3835,  3755,  3688,  3621,  3541,  3467,  3396,  3323,  3247,  3170,  3096,  3021,  2952,
    2874,  2804,  2727,  2657,  2583,  2509,  2437,  2362,  2290,  2211,  2136,  2068,  1996,  1915,  1858,
    1773,  1692,  1620,  1552,  1477,  1398,  1326,  1251,  1179,  1109,  1031,  961,   884,   814,   736,
    667,   592,   518,   441,   369,   292,   221,   151,   86,    64,    0};
constexpr int kDoubleHash[101] = {
    1020, 1015, 932, 848, 780, 735, 702, 679, 660, 645, 632, 623, 613, 607, 600, 594, 589, 585, 581, 571, 555,
    542,  529,  514, 494, 474, 457, 439, 424, 410, 397, 386, 373, 364, 351, 341, 334, 324, 317, 309, 299, 294,
    287,  279,  274, 267, 262, 257, 251, 247, 243, 237, 232, 227, 222, 217, 213, 207, 202, 198, 192, 188, 183,
    177,  173,  168, 163, 157, 153, 148, 143, 139, 132, 128, 125, 119, 115, 108, 104, 99,  94,  90,  84,  79,
    74,   70,   64,  59,  55,  49,  45,  40,  34,  30,  25,  20,  15,  11,  6,   4,   0};
constexpr int kDoubleSums[101] = {
    32640, 32635, 32266, 31495, 30665, 29804, 29146, 28599, 28104, 27670, 27225, 26725, 26210, 25716, 25240,
    24789, 24373, 23946, 23572, 22846, 21801, 20842, 19949, 19121, 18386, 17651, 16998, 16349, 15800, 15247,
    14783, 14321, 13859, 13535, 13081, 12702, 12423, 12056, 11779, 11513, 11135, 10955, 10676, 10392, 10208,
    9928,  9747,  9564,  9369,  9193,  9017,  8822,  8639,  8458,  8270,  8084,  7896,  7710,  7527,  7347,
    7156,  6977,  6788,  6607,  6422,  6236,  6054,  5867,  5684,  5495,  5305,  5128,  4945,  4751,  4638,
    4442,  4248,  4065,  3888,  3698,  3509,  3326,  3139,  2957,  2775,  2586,  2405,  2216,  2037,  1846,
    1666,  1483,  1297,  1109,  927,   735,   554,   375,   201,   128,   0};

}  // namespace

int ReadJpeg(FileSource* source, LoadContext* ctx) {
    return RunReaderOnSource(source, ctx, [](PictureFile* file, LoadContext* c) {
        const JpegCall call{false, nullptr, 0, -1, -1, 8, 0};
        return DecodeStream(file, c, &call);
    });
}

int DecodeJpegAt(PictureFile* file, LoadContext* ctx, const char* description, uint16_t headerWord,
                 int32_t fileWidth, int32_t fileHeight, int bitsPerComponent, int previewFlag) {
    if (!file || !ctx) return kLoadNotRecognised;
    const JpegCall call{true, description, headerWord, fileWidth, fileHeight, bitsPerComponent, previewFlag};
    return DecodeStream(file, ctx, &call);
}

int DecodeJpegAtDefault(PictureFile* file, LoadContext* ctx, const char* description, uint16_t headerWord) {
    return DecodeJpegAt(file, ctx, description, headerWord, -1, -1, 8, 0);
}

int ReadJpegStreamSize(PictureFile* file, int32_t* width, int32_t* height) {
    *width = 0;
    *height = 0;
    if (!file) return 0;
    JpegJob job;
    std::memset(&job, 0, sizeof job);
    return ReadStreamHeader(&job, file, width, height);
}

int EstimateJpegQuality(const jpeg_decompress_struct* cinfo) {
    const JQUANT_TBL* const* tables = cinfo->quant_tbl_ptrs;
    if (!tables[0]) return -1;
    long sum = 0;
    for (int t = 0; t < 4; ++t) {
        if (!tables[t]) continue;
        for (int i = 0; i < DCTSIZE2; ++i) sum += tables[t]->quantval[i];
    }
    const UINT16* t0 = tables[0]->quantval;
    const bool single = tables[1] == nullptr;
    const long hash = single ? long(t0[2]) + t0[53]
                             : long(t0[2]) + t0[53] + tables[1]->quantval[0] + tables[1]->quantval[DCTSIZE2 - 1];
    const int* hashes = single ? kSingleHash : kDoubleHash;
    const int* sums = single ? kSingleSums : kDoubleSums;
    for (int i = 0; i < 100; ++i)
        if (hash >= hashes[i] || sum >= sums[i]) return i + 1;
    return -1;
}
