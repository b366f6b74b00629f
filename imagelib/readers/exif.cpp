// EXIF APP1 locator and the JPEG thumbnail decoder.
//
// Portable: no platform headers.
#include "exif.h"

#include <cstdlib>
#include <cstring>

#include "../bytereader.h"
#include "../checked.h"
#include "jpegglue.h"
#include "readerio.h"

namespace {

constexpr size_t kTiffHeaderAt = 6;     // after "Exif\0\0"
constexpr size_t kIfdEntryBytes = 12;
constexpr uint16_t kTagOrientation = 274;
constexpr uint16_t kTagThumbnailOffset = 513;
constexpr uint16_t kTagThumbnailLength = 514;
constexpr uint16_t kTagExifIfd = 34665;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
// Exif IFD pointers may point anywhere, backwards too: the walk stops at
// this depth and after this many IFDs.
constexpr int kMaxIfdDepth = 16;
constexpr int kMaxIfdVisits = 64;

// Bytes per value of TIFF field types 0..12.
constexpr uint8_t kTypeSizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

struct ExifWalk {
    ByteReader tiff;          // the TIFF data: B and S
    bool bigEndian;
    int visits;
    ExifApp1Info* info;

    // Reads at an offset the caller has checked; a miss still clears `ok`.
    uint16_t U16At(uint64_t offset) {
        tiff.Seek(static_cast<size_t>(offset));
        return tiff.U16(bigEndian);
    }
    uint32_t U32At(uint64_t offset) {
        tiff.Seek(static_cast<size_t>(offset));
        return tiff.U32(bigEndian);
    }
    uint8_t* PointerAt(uint64_t offset) const { return const_cast<uint8_t*>(tiff.data) + offset; }
};

// Walks the IFD at offset `ifd` of the TIFF data. True when a thumbnail that
// fits the data was found on the way.
bool WalkIfd(ExifWalk* w, uint64_t ifd, int depth) {
    if (depth > kMaxIfdDepth || ++w->visits > kMaxIfdVisits) return false;
    const uint64_t size = w->tiff.size;
    if (ifd + 2 > size) return false;
    const uint32_t count = w->U16At(ifd);
    if (count == 0 || !w->tiff.ok) return false;

    uint64_t exifIfd = 0;
    bool haveExifIfd = false;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t e = ifd + 2 + uint64_t(i) * kIfdEntryBytes;
        // The entry must end before the data does.
        if (e + kIfdEntryBytes >= size) return false;
        const uint16_t tag = w->U16At(e);
        const uint16_t type = w->U16At(e + 2);
        const uint32_t valueCount = w->U32At(e + 4);
        if (type >= sizeof kTypeSizes || valueCount > 0x7FFFFFFFu) return false;
        const uint64_t valueBytes = uint64_t(kTypeSizes[type]) * valueCount;
        const uint32_t field = w->U32At(e + 8);
        if (!w->tiff.ok) return false;
        if (valueBytes > 4 && uint64_t(field) + valueBytes > size) break;

        if (tag == kTagExifIfd && field <= size) {
            exifIfd = field;
            haveExifIfd = true;
        }
        if (depth == 0) continue;
        if (tag == kTagThumbnailOffset && type == kTypeLong && valueCount == 1) {
            w->info->thumbnailOffset = field;
        } else if (tag == kTagThumbnailLength && type == kTypeLong && valueCount == 1) {
            w->info->thumbnailLength = field;
            w->info->thumbnailLengthValue = w->PointerAt(e + 8);
        } else if (tag == kTagOrientation && type == kTypeShort && valueCount == 1) {
            w->info->orientationFound = tag;
            w->info->orientationValue = w->PointerAt(e + 8);
        }
    }

    if (w->info->thumbnailOffset != 0 && w->info->thumbnailLength != 0)
        return uint64_t(w->info->thumbnailOffset) + w->info->thumbnailLength <= size;
    if (haveExifIfd && WalkIfd(w, exifIfd, depth + 1)) return true;

    // The next IFD must lie after this one, so the chain cannot loop.
    const uint64_t linkAt = ifd + 2 + uint64_t(count) * kIfdEntryBytes;
    if (linkAt + 4 > size) return false;
    const uint32_t next = w->U32At(linkAt);
    if (!w->tiff.ok || next == 0 || next >= size || next <= ifd) return false;
    return WalkIfd(w, next, depth + 1);
}

}  // namespace

int ParseExifApp1(uint8_t* data, size_t length, ExifApp1Info* info) {
    std::memset(info, 0, sizeof *info);
    ByteReader block(data, length);
    if (!data || !block.Seek(kTiffHeaderAt)) return 0;
    const uint8_t* order = block.Take(2);
    if (!order) return 0;
    bool bigEndian;
    if (order[0] == 'I' && order[1] == 'I') bigEndian = false;
    else if (order[0] == 'M' && order[1] == 'M') bigEndian = true;
    else return 0;
    if (block.U16(bigEndian) != 42) return 0;
    const uint32_t ifd0 = block.U32(bigEndian);
    if (!block.ok || uint64_t(ifd0) + kTiffHeaderAt + 2 >= length) return 0;

    info->bigEndian = bigEndian ? 1 : 0;
    ExifWalk walk{ByteReader(data + kTiffHeaderAt, length - kTiffHeaderAt), bigEndian, 0, info};
    if (!WalkIfd(&walk, ifd0, 0) || info->thumbnailOffset == 0) return 0;
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
int DecodeThumbnailRows(ThumbnailJob* job, int32_t pictureWidth, int32_t pictureHeight) {
    j_decompress_ptr cinfo = &job->cinfo;
    // A thumbnail larger than its picture is no thumbnail (and a hostile one
    // could ask for gigabytes).
    if (int64_t(cinfo->output_width) > pictureWidth || int64_t(cinfo->output_height) > pictureHeight)
        return kLoadNotRecognised;
    size_t bytes;
    size_t pointerBytes;
    if (!CheckedMul(job->header.bytesPerPlane, cinfo->output_height, &bytes) ||
        !CheckedMul(sizeof(JSAMPROW), cinfo->output_height, &pointerBytes))
        return kLoadNoMemory;
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
    const int decoded = DecodeThumbnailRows(job, pictureWidth, pictureHeight);
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
    ClosePictureFile(job->file);
    std::free(job);
    return result;
}
