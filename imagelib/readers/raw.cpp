// Camera RAW files: LibRaw identifies the camera and the file's layout, and
// the picture that loads is a JPEG preview the camera stored in the file,
// decoded by the JPEG reader. LibRaw's own RAW decoding is never run. An
// information-only load reports the size LibRaw's output would have.
//
// The file is read once through the load's PictureFile (a path or memory)
// and handed to LibRaw as a buffer behind a stream with a read budget; the
// embedded-JPEG search runs over that buffer with memchr.
//
// Portable: LibRaw and the JPEG reader; no platform headers.
#include <cmath>
#include <cstring>
#include <new>

#include <libraw/libraw.h>

#include "../checked.h"
#include "jpeg.h"
#include "raw.h"
#include "readerio.h"
#include "readers.h"
#include "tiff.h"

namespace {

// A RAW file larger than this is not read into memory.
constexpr int64_t kMaxRawFileBytes = int64_t(1) << 30;
// Candidate JPEG starts whose headers are read in one search.
constexpr int kMaxCandidates = 256;

// LibRaw's identification reads through this stream over the file's bytes.
// Some of its parsers take counts from the file and loop on them (reading
// on at the end of the file, where every read still succeeds with zero
// bytes), so a few bytes can keep it busy for minutes. The stream charges
// every read, seek and line read a fixed cost plus the bytes it moves, and
// once the charges pass a budget tied to the file's size it throws LibRaw's
// own end-of-file exception, which ends the identification with an I/O
// error. Identifying a real file reads its directories and a few blocks:
// the camera files of the tests spend under a third of their size, far
// below the budget, while a looping file stops after about 260,000 reads
// plus a quarter of a read per byte of the file.
class BudgetedRawStream : public LibRaw_buffer_datastream {
public:
    BudgetedRawStream(void* data, size_t size)
        : LibRaw_buffer_datastream(data, size), budget_(kFixedBudget + kBudgetPerFileByte * uint64_t(size)) {}

    int read(void* ptr, size_t sz, size_t nmemb) override {
        const INT64 before = tell();
        const int got = LibRaw_buffer_datastream::read(ptr, sz, nmemb);
        Charge(uint64_t(tell() - before));
        return got;
    }
    int seek(INT64 offset, int whence) override {
        Charge(0);
        return LibRaw_buffer_datastream::seek(offset, whence);
    }
    int get_char() override {
        Charge(1);
        return LibRaw_buffer_datastream::get_char();
    }
    char* gets(char* s, int sz) override {
        Charge(sz > 0 ? uint64_t(sz) : 0);
        return LibRaw_buffer_datastream::gets(s, sz);
    }
    int scanf_one(const char* fmt, void* val) override {
        Charge(0);
        return LibRaw_buffer_datastream::scanf_one(fmt, val);
    }

private:
    static constexpr uint64_t kCallCost = 16;
    static constexpr uint64_t kFixedBudget = uint64_t(4) << 20;
    static constexpr uint64_t kBudgetPerFileByte = 4;

    void Charge(uint64_t bytes) {
        spent_ += kCallCost + bytes;
        if (spent_ > budget_) throw LIBRAW_EXCEPTION_IO_EOF;
    }

    uint64_t budget_;
    uint64_t spent_ = 0;
};

// LibRaw with the identification results it keeps protected.
class RawIdentifier : public LibRaw {
public:
    int64_t ThumbnailOffset() const { return libraw_internal_data.internal_data.toffset; }
    int FujiWidth() const { return libraw_internal_data.internal_output_params.fuji_width; }
    int Shrink() const { return libraw_internal_data.internal_output_params.shrink; }
};

struct RawSize {
    int32_t width;
    int32_t height;
};

// The size of LibRaw's output: Fuji's 45-degree sensors widen by the square
// root of two; flip codes with bit 4 swap the sides.
RawSize RawOutputSize(bool fuji, int fujiWidth, int flip, int shrink, int32_t width, int32_t height) {
    RawSize s{width, height};
    if (fuji && fujiWidth != 0) {
        const int f = (fujiWidth + shrink - 1) >> shrink;
        const double root2 = 1 / std::sqrt(0.5);
        s.width = int32_t(f * root2);
        s.height = int32_t((height - f) * root2);
    }
    if (flip & 4) std::swap(s.width, s.height);
    return s;
}

// LibRaw's flip as 0, 3 (180 degrees), 5 (90 counter-clockwise) or 6 (90
// clockwise); values given in degrees are turned into those codes.
int NormaliseFlip(int flip) {
    switch ((flip + 3600) % 360) {
    case 270: return 5;
    case 180: return 3;
    case 90: return 6;
    default: return flip;
    }
}

// True at a JPEG start: FF D8 and a marker.
inline bool JpegStartAt(const uint8_t* p, size_t left) {
    return left >= 4 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF && p[3] >= 0xC0 && p[3] != 0xFF;
}

// The embedded JPEG to load: for a fitted load the first one found, else
// the largest RGB one (both sides larger than the one before). 0 when none.
uint64_t FindEmbeddedJpeg(const uint8_t* data, size_t size, PictureFile* file, bool fitted, uint64_t skip) {
    uint64_t best = 0;
    int32_t bestWidth = 0, bestHeight = 0;
    int candidates = 0;
    for (size_t at = 0; at + 4 <= size && candidates < kMaxCandidates;) {
        const void* hit = std::memchr(data + at, 0xFF, size - at);
        if (!hit) break;
        const size_t i = size_t(static_cast<const uint8_t*>(hit) - data);
        at = i + 1;
        if (i == skip || !JpegStartAt(data + i, size - i)) continue;
        if (fitted) return i;
        ++candidates;
        int32_t w = 0, h = 0;
        if (SeekPictureFile(file, int64_t(i), SEEK_SET) != 0) continue;
        if (ReadJpegStreamSize(file, &w, &h) && w > bestWidth && h > bestHeight) {
            best = i;
            bestWidth = w;
            bestHeight = h;
        }
    }
    return best;
}

struct RawJob {
    PictureFile* file;
    LoadContext* ctx;
    RawIdentifier* raw;
    const uint8_t* data;
    size_t size;
    int flip;
    RawSize output;
};

// Decodes the JPEG at `offset` as the load's picture. 2 when it is not a
// JPEG the reader can declare (another may be tried), else the reader's
// result (4 or 10 when its rows failed, with the rows read kept).
int DecodePreview(const RawJob& job, uint64_t offset) {
    if (offset == 0 || offset >= job.size || !JpegStartAt(job.data + offset, job.size - size_t(offset)))
        return kLoadNotRecognised;
    if (SeekPictureFile(job.file, int64_t(offset), SEEK_SET) != 0) return kLoadNotRecognised;
    // A camera turned upside down is turned back here; quarter turns are
    // left to the caller (readerFlags).
    const uint16_t orientation = job.flip == 3 ? 0x11 : 0;
    return DecodeJpegAt(job.file, job.ctx, job.raw->imgdata.idata.model, orientation, job.output.width,
                        job.output.height, 16, 1);
}

int LoadRawPreview(const RawJob& job) {
    const LoadOptions& o = job.ctx->options;
    const bool fitted = o.targetWidth >= 1;
    const int64_t thumbnail = job.raw->ThumbnailOffset();
    const uint64_t known = thumbnail > 0 ? uint64_t(thumbnail) : 0;
    int result = kLoadNotRecognised;
    if (!fitted) {
        // The largest preview, unless it is the known one (tried next).
        const uint64_t found = FindEmbeddedJpeg(job.data, job.size, job.file, false, known);
        int32_t fw = 0, fh = 0, kw = 0, kh = 0;
        if (found && SeekPictureFile(job.file, int64_t(found), SEEK_SET) == 0) ReadJpegStreamSize(job.file, &fw, &fh);
        if (known && SeekPictureFile(job.file, int64_t(known), SEEK_SET) == 0) ReadJpegStreamSize(job.file, &kw, &kh);
        if (found && (fw > kw && fh > kh)) {
            result = DecodePreview(job, found);
            if (result != kLoadNotRecognised) return result;
        }
    }
    if (known) {
        result = DecodePreview(job, known);
        if (result != kLoadNotRecognised) return result;
    }
    return DecodePreview(job, FindEmbeddedJpeg(job.data, job.size, job.file, fitted, 0));
}

int LoadRawWithDecoder(PictureFile* file, LoadContext* ctx) {
    if (!LearnFileSize(file) || file->size <= 0 || file->size > kMaxRawFileBytes) return kLoadNotRecognised;
    TiffBuffer data;
    const size_t size = size_t(file->size);
    if (!data.Reserve(size)) return kLoadNoMemory;
    if (ReadFileBytes(file, data.data, size) != size) return kLoadIncomplete;

    // Declared before LibRaw's object, which reads through it until deleted.
    BudgetedRawStream stream(data.data, size);
    RawIdentifier* raw = new (std::nothrow) RawIdentifier;
    if (!raw) return kLoadNoMemory;
    LoadOptions& o = ctx->options;
    // A fitted preview may decode fast and reduced; a full one may not.
    if (!ctx->infoOnly && o.targetWidth >= 1) o.flags |= kLoadReduced | kLoadFastDecode;
    // Every load but an information-only one is a preview load.
    SetRawDecoderOptions(o, !ctx->infoOnly, &raw->imgdata.params);

    int result;
    if (raw->open_datastream(&stream) != LIBRAW_SUCCESS) {
        result = kLoadNotRecognised;
    } else {
        const libraw_image_sizes_t& s = raw->imgdata.sizes;
        int32_t width = s.width, height = s.height;
        libraw_decoder_info_t decoder{};
        if (raw->get_decoder_info(&decoder) == LIBRAW_SUCCESS && decoder.decoder_name &&
            std::strstr(decoder.decoder_name, "kodak_ycbcr"))
            width = (width + 1) & ~1, height = (height + 1) & ~1;
        const int flip = NormaliseFlip(s.flip);
        RawJob job{file, ctx, raw, data.data, size, flip,
                   RawOutputSize(true, raw->FujiWidth(), flip, raw->Shrink(), width, height)};
        if (!ctx->infoOnly) {
            result = LoadRawPreview(job);
            if (result == kLoadOk || result == kLoadCancelled) {
                if (flip == 5) ctx->readerFlags |= 0x2;
                if (flip == 6) ctx->readerFlags |= 0x4;
            }
        } else {
            ImageHeader h;
            ctx->callbacks.clearImageHeader(&h);
            h.width = h.fullWidth = job.output.width;
            h.height = h.fullHeight = job.output.height;
            h.fullBytesPerPlane = h.bytesPerPlane = uint32_t(3 * int64_t(std::max(job.output.width, 0)));
            h.fullBitsPerSample = 16;
            h.fullComponents = 3;
            h.planes = 1;
            h.bitsPerPlane = 24;
            CopyTextBounded(h.description, sizeof h.description, raw->imgdata.idata.model);
            result = ctx->callbacks.beginImage(ctx, &h);
        }
    }
    delete raw;
    return result;
}

}  // namespace

void SetRawDecoderOptions(const LoadOptions& o, bool previewLoad, libraw_output_params_t* p) {
    p->gamm[0] = o.rawReals[0];
    p->gamm[1] = o.rawReals[4];
    p->bright = o.rawReals[1];
    p->user_mul[0] = o.rawReals[2];
    p->user_mul[2] = o.rawReals[3];
    p->threshold = o.rawReals[5];
    p->use_auto_wb = o.rawSwitches[0];
    p->use_camera_wb = o.rawSwitches[1];
    p->use_fuji_rotate = o.rawSwitches[2] ? 0 : 1;
    p->highlight = static_cast<int8_t>(o.rawValue & 0xFF);
    p->output_color = 1;
    p->output_bps = 8;
    // Half size shrinks what identification reports of a Fuji sensor (and
    // any decode); a full-size identification is asked for by rawFullSize.
    p->half_size = previewLoad || o.rawFullSize == 0 ? 1 : 0;
}

int ReadCameraRaw(FileSource* source, LoadContext* ctx) { return RunReaderOnSource(source, ctx, LoadRawWithDecoder); }
