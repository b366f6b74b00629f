// What every reader shares: opening the load's file through the callback
// table, naming a refusal, and the test on BeginImage's answer.
//
// Portable: readers reach the library only through the load context.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../fileio.h"
#include "../loadcontext.h"
#include "../textutil.h"

// Opens the load's picture file for binary reading through the context's
// callback table; null when it cannot be opened.
inline PictureFile* OpenReaderFile(FileSource* source, LoadContext* ctx) {
    return ctx->callbacks.openSource(source, kOpenReadBinary);
}

inline void CloseReaderFile(PictureFile* file, LoadContext* ctx) { ctx->callbacks.closeSource(file); }

// Runs a reader body over the load's file and closes it on every way out.
inline int RunReaderOnSource(FileSource* source, LoadContext* ctx, int (*body)(PictureFile*, LoadContext*)) {
    PictureFile* file = OpenReaderFile(source, ctx);
    if (!file) return kLoadCannotOpen;
    const int result = body(file, ctx);
    CloseReaderFile(file, ctx);
    return result;
}

// The header an IPTC metadata block begins with: "Photoshop 3.0" and its
// zero, 14 bytes.
constexpr char kPhotoshopIptcHeader[] = "Photoshop 3.0";
constexpr size_t kPhotoshopIptcHeaderSize = sizeof kPhotoshopIptcHeader;

// A refusal the reader can name: the message goes to the load's sub-format
// text ("Windows Bitmap : Bad picture's size !") and the result is 9.
inline int RefusePicture(LoadContext* ctx, const char* message) {
    CopyTextBounded(ctx->subFormat, sizeof ctx->subFormat, message);
    return kLoadRefused;
}

// BeginImage's answer stops the reader when its low 16 bits are not 0: a
// refusal, no memory, or -1 for an information-only load.
inline bool BeginImageStops(int result) { return (result & 0xFFFF) != 0; }

// Ends the picture (the reader's last call once beginImage succeeded) and
// gives the reader's result, or EndImage's when the end itself failed.
inline int FinishReaderPicture(LoadContext* ctx, int result, uint16_t paletteLayout = 0, int paletteBits = 0,
                               const void* palette = nullptr) {
    const int ended = ctx->callbacks.endImage(ctx, paletteLayout, paletteBits, palette);
    return ended != kLoadOk && result != kLoadCancelled ? ended : result;
}

// Seeks to `offset` from the start; false when that fails or lies past the
// end of a file of known size, so a file and the same bytes in memory take
// the same way (a stream would let the seek succeed and fail the next read).
inline bool SeekWithinFile(PictureFile* file, int64_t offset) {
    const bool sized = file->size >= 0 && file->size != kUnknownFileSize;
    if (offset < 0 || (sized && offset > file->size)) return false;
    return SeekPictureFile(file, offset, SEEK_SET) == 0;
}

// For readers that check offsets against the file's size: a stream handed
// in (whose size the open leaves unknown) is measured by seeking to its end
// and back, and the size recorded in the record. False when the size stays
// unknown (a stream that cannot seek).
inline bool LearnFileSize(PictureFile* file) {
    if (file->size >= 0 && file->size != kUnknownFileSize) return true;
    if (!file->stream) return false;
    const int64_t here = TellPictureFile(file);
    if (here < 0 || SeekPictureFile(file, 0, SEEK_END) != 0) return false;
    const int64_t end = TellPictureFile(file);
    if (end < 0 || SeekPictureFile(file, here, SEEK_SET) != 0) return false;
    file->size = end;
    return true;
}

// Before a reader of uncompressed data declares its picture: can the file
// hold the `rows` rows of `rowBytes` bytes the picture needs from offset
// `dataAt` (the last one may lack `lastRowSlack` bytes of padding)? A
// shortfall is accepted only under kLoadAcceptDamaged and only when the
// file holds `minimumBytes` of data (default: one row), enough for one row
// to arrive; otherwise the reader ends with kLoadIncomplete before anything
// is allocated for the rows. Always kLoadOk when the file's size is not
// known (a stream handed in).
inline int CheckStoredRowsFit(const PictureFile* file, LoadContext* ctx, int64_t dataAt, uint64_t rowBytes,
                              uint64_t rows, uint64_t lastRowSlack = 0, uint64_t minimumBytes = 0) {
    // An information-only load allocates nothing for rows.
    if (ctx->infoOnly || file->size < 0 || file->size == kUnknownFileSize || rows == 0) return kLoadOk;
    const uint64_t available = dataAt >= 0 && dataAt < file->size ? uint64_t(file->size - dataAt) : 0;
    const bool fits = rowBytes <= UINT64_MAX / rows && available >= rowBytes * rows - lastRowSlack;
    if (fits) return kLoadOk;
    if ((ctx->options.flags & kLoadAcceptDamaged) && available >= (minimumBytes ? minimumBytes : rowBytes))
        return kLoadOk;
    // The picture was recognised: the result is the file's shortfall, not 2.
    ctx->pictureBegun = 1;
    return kLoadIncomplete;
}

// Uncompressed rows of `rowBytes` stored bytes each, read whole into the row
// buffer, rearranged by `prepare` when given, and handed over top to bottom
// as stored; a short row ends with 4, a row callback's non-zero answer with
// that answer.
inline int ReadStoredRows(PictureFile* file, LoadContext* ctx, const ImageHeader* header, size_t rowBytes,
                          void (*prepare)(const ImageHeader*) = nullptr) {
    for (int32_t y = 0; y < header->height; ++y) {
        if (ReadFileBytes(file, header->rowBuffer, rowBytes) != rowBytes) return kLoadIncomplete;
        if (prepare) prepare(header);
        const int r = ctx->callbacks.putScanlines(ctx, -1, y, 1);
        if (r) return r;
    }
    return kLoadOk;
}
