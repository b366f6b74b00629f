// EXIF APP1 locator and the JPEG thumbnail decoder.
//
// Portable: no platform headers.
#include "exif.h"

#include <cstdlib>
#include <cstring>

#include "../checked.h"
#include "jpegglue.h"
#include "readerio.h"
#include "tiffifd.h"

namespace {

constexpr size_t kTiffHeaderAt = 6;     // after "Exif\0\0"
constexpr uint16_t kTagOrientation = 274;
constexpr uint16_t kTagThumbnailOffset = 513;
constexpr uint16_t kTagThumbnailLength = 514;

struct App1Walk {
    uint8_t* tiff;            // writable: the info's pointers point here
    ExifApp1Info* info;
    bool fits;                // the thumbnail found lies inside the data
};

// Picks the thumbnail and Orientation entries out of every IFD after IFD0
// (the Exif IFD and the chain from IFD1); ends the walk at the first IFD
// after which both thumbnail tags are known.
bool VisitApp1Ifd(void* context, uint32_t kind, const TiffView& view, const IfdTable& table) {
    auto* w = static_cast<App1Walk*>(context);
    ExifApp1Info* info = w->info;
    if (kind == kIfdMain) return true;
    for (uint32_t i = 0; i < table.count; ++i) {
        const IfdEntry e = ReadIfdEntry(view, table, i);
        if (!e.usable || e.count != 1) continue;
        if (e.tag == kTagThumbnailOffset && e.type == kTiffLong) {
            info->thumbnailOffset = e.field;
        } else if (e.tag == kTagThumbnailLength && e.type == kTiffLong) {
            info->thumbnailLength = e.field;
            info->thumbnailLengthValue = w->tiff + e.valueAt;
        } else if (e.tag == kTagOrientation && e.type == kTiffShort) {
            info->orientationFound = kTagOrientation;
            info->orientationValue = w->tiff + e.valueAt;
        }
    }
    if (info->thumbnailOffset == 0 || info->thumbnailLength == 0) return true;
    w->fits = RangeInside(info->thumbnailOffset, info->thumbnailLength, view.size);
    return false;
}

}  // namespace

int ParseExifApp1(uint8_t* data, size_t length, ExifApp1Info* info) {
    std::memset(info, 0, sizeof *info);
    if (!data || length < kTiffHeaderAt) return 0;
    TiffView view;
    uint32_t ifd0;
    if (!OpenTiffView(data + kTiffHeaderAt, length - kTiffHeaderAt, &view, &ifd0)) return 0;
    info->bigEndian = view.bigEndian ? 1 : 0;
    App1Walk walk{data + kTiffHeaderAt, info, false};
    IfdWalkOptions options;
    options.kindsWanted = kIfdExif;
    if (!WalkTiffIfds(view, ifd0, options, VisitApp1Ifd, &walk) || !walk.fits) return 0;
    info->thumbnailOffset += kTiffHeaderAt;
    return 1;
}

int FindExifThumbnail(uint8_t* data, size_t length, uint32_t* offset, uint32_t* thumbnailLength) {
    ExifApp1Info info;
    if (!ParseExifApp1(data, length, &info)) return 0;
    *offset = info.thumbnailOffset;
    *thumbnailLength = info.thumbnailLength;
    return 1;
}

// ---------------------------------------------------------------------------
// The thumbnail decoder.

namespace {

struct ThumbnailJob {
    jpeg_decompress_struct cinfo;
    JpegErrorManager err;
    JpegScanGuard guard;
    ImageHeader header;
    PictureFile* file;
    uint8_t* pixels;          // the whole thumbnail, rows of header.bytesPerPlane
    JSAMPROW* rows;
    // Reserved in the load's budget: libjpeg's buffer while the decoder
    // lives, the rows until they are delivered.
    uint64_t workspace;
    uint64_t rowBytes;
};

void FreeThumbnailBuffers(ThumbnailJob* job) {
    std::free(job->pixels);
    std::free(job->rows);
    job->pixels = nullptr;
    job->rows = nullptr;
}

// Declares the thumbnail as a reduction of the main picture.
void DescribeThumbnail(ThumbnailJob* job, int32_t pictureWidth, int32_t pictureHeight, int pictureColourSpace) {
    ImageHeader* h = &job->header;
    const int components = JpegColourSpaceComponents(pictureColourSpace);
    DescribeJpegVersion(h->description, sizeof h->description, pictureColourSpace, &job->cinfo);
    h->fullWidth = pictureWidth;
    h->fullHeight = pictureHeight;
    h->fullBitsPerSample = 8;
    h->fullComponents = static_cast<uint32_t>(components);
    h->fullBytesPerPlane = static_cast<uint32_t>(pictureWidth) * static_cast<uint32_t>(components);
}

// Decodes every row into the job's buffer. 0 done, or a load result.
int DecodeThumbnailRows(ThumbnailJob* job, int32_t pictureWidth, int32_t pictureHeight, LoadContext* ctx) {
    j_decompress_ptr cinfo = &job->cinfo;
    // A thumbnail larger than its picture is no thumbnail (and a hostile one
    // could ask for gigabytes).
    if (int64_t(cinfo->output_width) > pictureWidth || int64_t(cinfo->output_height) > pictureHeight)
        return kLoadNotRecognised;
    size_t bytes;
    size_t pointerBytes;
    if (!CheckedMul(job->header.bytesPerPlane, cinfo->output_height, &bytes) ||
        !CheckedMul(sizeof(JSAMPROW), cinfo->output_height, &pointerBytes) ||
        !ReserveReaderMemory(ctx, uint64_t(bytes) + pointerBytes))
        return kLoadNoMemory;
    job->rowBytes = uint64_t(bytes) + pointerBytes;
    job->pixels = static_cast<uint8_t*>(std::malloc(bytes));
    job->rows = static_cast<JSAMPROW*>(std::malloc(pointerBytes));
    if (!job->pixels || !job->rows) return kLoadNoMemory;
    for (JDIMENSION y = 0; y < cinfo->output_height; ++y)
        job->rows[y] = job->pixels + size_t(y) * job->header.bytesPerPlane;
    while (cinfo->output_scanline < cinfo->output_height) {
        if (jpeg_read_scanlines(cinfo, &job->rows[cinfo->output_scanline], 1) != 1) return kLoadCorrupt;
    }
    return kLoadOk;
}

// Hands the decoded rows to the load; the last PutScanlines answer.
int DeliverThumbnail(ThumbnailJob* job, LoadContext* ctx) {
    const ImageHeader* h = &job->header;
    int answer = kLoadOk;
    for (int32_t y = 0; y < h->height && answer == kLoadOk; ++y) {
        std::memcpy(h->rowBuffer, job->rows[y], h->bytesPerPlane);
        answer = ctx->callbacks.putScanlines(ctx, -1, -1, 1);
    }
    return FinishReaderPicture(ctx, answer);
}

// The libjpeg part: header, refusal of small thumbnails, all rows. 0 when
// the rows are in the job's buffer, else the result to return.
int DecodeThumbnail(ThumbnailJob* job, int32_t pictureWidth, int32_t pictureHeight, int pictureColourSpace,
                    LoadContext* ctx) {
    j_decompress_ptr cinfo = &job->cinfo;
    InitJpegErrorManager(&job->err, JpegErrorPolicy::kThumbnail, cinfo);
    if (setjmp(job->err.jump)) {
        jpeg_destroy_decompress(cinfo);
        return job->err.code;
    }
    CreateJpegDecoder(cinfo, &job->guard, job->file);
    jpeg_read_header(cinfo, TRUE);
    const LoadOptions& o = ctx->options;
    if (o.flags & kLoadReduced) UseFastJpegDecoding(cinfo);
    // A progressive thumbnail keeps a coefficient buffer of its declared
    // size while it decodes: weighed like the rows it is decoded into.
    const uint64_t workspace = JpegCoefficientBytes(cinfo, false);
    if (!ReserveReaderMemory(ctx, workspace)) {
        jpeg_destroy_decompress(cinfo);
        return kLoadNoMemory;
    }
    job->workspace = workspace;
    jpeg_start_decompress(cinfo);

    ctx->callbacks.clearImageHeader(&job->header);
    if (!DeclareJpegLayout(&job->header, cinfo)) {
        jpeg_destroy_decompress(cinfo);
        return kLoadNotRecognised;
    }
    DescribeThumbnail(job, pictureWidth, pictureHeight, pictureColourSpace);
    if ((o.flags & kLoadRefuseSmallThumbnail) && o.targetWidth > 0 && o.targetHeight > 0 &&
        job->header.width < o.targetWidth && job->header.height < o.targetHeight) {
        jpeg_destroy_decompress(cinfo);
        return kLoadNoMemory;
    }

    // Any error from here on is a damaged thumbnail.
    if (setjmp(job->err.jump)) {
        jpeg_destroy_decompress(cinfo);
        return kLoadCorrupt;
    }
    const int decoded = DecodeThumbnailRows(job, pictureWidth, pictureHeight, ctx);
    if (decoded != kLoadOk) {
        jpeg_destroy_decompress(cinfo);
        return decoded;
    }
    jpeg_finish_decompress(cinfo);
    jpeg_destroy_decompress(cinfo);
    return kLoadOk;
}

}  // namespace

int DecodeJpegFromMemory(const uint8_t* data, size_t length, int32_t pictureWidth, int32_t pictureHeight,
                         int pictureColourSpace, LoadContext* ctx) {
    if (!data || length == 0 || !ctx) return kLoadNotRecognised;
    FileSource source;
    InitMemorySource(&source, data, length);
    auto* job = static_cast<ThumbnailJob*>(std::calloc(1, sizeof(ThumbnailJob)));
    if (!job) return kLoadNoMemory;
    job->file = OpenPictureFile(&source, kOpenReadBinary);
    if (!job->file) {
        std::free(job);
        return kLoadNoMemory;
    }

    int result = DecodeThumbnail(job, pictureWidth, pictureHeight, pictureColourSpace, ctx);
    ReleaseReaderMemory(ctx, job->workspace);  // the decoder is gone
    if (result == kLoadOk) {
        LoadOptions* o = &ctx->options;
        const int32_t boxWidth = o->targetWidth;
        const int32_t boxHeight = o->targetHeight;
        if (o->embeddedThumbnailMode == 2) {
            o->targetWidth = job->header.width;
            o->targetHeight = job->header.height;
        }
        result = ctx->callbacks.beginImage(ctx, &job->header);
        if (result == kLoadOk) {
            ctx->readerFlags = 1;
            result = DeliverThumbnail(job, ctx);
        } else {
            // The full picture may still be decoded in the caller's box.
            o->targetWidth = boxWidth;
            o->targetHeight = boxHeight;
        }
    }
    FreeThumbnailBuffers(job);
    ReleaseReaderMemory(ctx, job->rowBytes);
    ClosePictureFile(job->file);
    std::free(job);
    return result;
}
