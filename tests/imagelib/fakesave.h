// A stand-in for the save dispatch, to drive one writer on its own: the
// picture description is set directly, and GetScanlines hands out rows that
// the test prepared in the layout the writer is expected to ask for. It
// records what the writer declared and how it used the callbacks.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "imagelib/fileio.h"
#include "imagelib/savecontext.h"

namespace testing_support {

class FakeSave {
public:
    FakeSave() {
        std::memset(&ctx_, 0, sizeof ctx_);
        ctx_.callbacks.beginWrite = BeginWrite;
        ctx_.callbacks.getScanlines = GetScanlines;
        ctx_.callbacks.endWrite = EndWrite;
        ctx_.callbacks.clearWriteHeader = ClearHeader;
        ctx_.callbacks.openPictureFile = OpenPictureFile;
        ctx_.callbacks.closePictureFile = ClosePictureFileChecked;
        InitSaveOptions(&ctx_.options);
        ctx_.picture.transparentIndex = -1;
        current_ = this;
    }
    ~FakeSave() { current_ = nullptr; }
    FakeSave(const FakeSave&) = delete;
    FakeSave& operator=(const FakeSave&) = delete;

    SaveContext* ctx() { return &ctx_; }
    SavePictureInfo& picture() { return ctx_.picture; }
    SaveOptions& options() { return ctx_.options; }

    // Rows in the writer's layout, top first.
    std::vector<std::vector<uint8_t>> rows;
    // The writer palette as interleaved R, G, B triples (palette writers).
    std::vector<uint8_t> palette;
    // What BeginWrite answers, and the row at which GetScanlines answers
    // `rowFailure` instead of delivering (-1: never).
    int beginResult = 0;
    int failAtRow = -1;
    int rowFailure = kSaveCancelled;

    // What the writer did.
    WriteHeader header{};
    int begins = 0;
    int ends = 0;
    int rowsDelivered = 0;
    bool badRequest = false;  // a row outside the picture, or more rows than declared

private:
    static int BeginWrite(SaveContext*, WriteHeader* h) {
        FakeSave* f = current_;
        ++f->begins;
        f->header = *h;
        if (f->beginResult) return f->beginResult;
        f->rowBuffer_.assign(size_t(h->bytesPerPlane) * size_t(h->rowsPerCall > 0 ? h->rowsPerCall : 1) + 16, 0);
        h->rowBuffer = f->rowBuffer_.data();
        if (h->paletteLayout) {
            f->palette.resize(256 * 3);
            h->palette = f->palette.data();
        }
        f->next_ = 0;
        return 0;
    }

    static int GetScanlines(SaveContext*, int32_t first, int32_t count) {
        FakeSave* f = current_;
        const int32_t row = first < 0 ? f->next_ : first;
        if (count != 1 || row < 0 || size_t(row) >= f->rows.size()) {
            f->badRequest = true;
            return kSaveBadRowRequest;
        }
        if (row == f->failAtRow) return f->rowFailure;
        const std::vector<uint8_t>& r = f->rows[size_t(row)];
        std::memcpy(f->rowBuffer_.data(), r.data(), std::min(r.size(), f->rowBuffer_.size()));
        f->next_ = row + 1;
        ++f->rowsDelivered;
        return 0;
    }

    static void EndWrite(SaveContext*) { ++current_->ends; }

    static void ClearHeader(WriteHeader* h) {
        std::memset(h, 0, sizeof *h);
        h->planes = 1;
        h->bitsPerPlane = 1;
        h->bitsPerSample = 1;
        h->rowsPerCall = 1;
    }

    static inline FakeSave* current_ = nullptr;
    SaveContext ctx_;
    std::vector<uint8_t> rowBuffer_;
    int32_t next_ = 0;
};

}  // namespace testing_support
