// A recording stand-in for the load pipeline: runs one reader over bytes in
// memory and keeps what it declared, every row it delivered, and its palette,
// so reader tests see exactly what a reader hands over. The row buffer is
// sized from the declaration alone (rows per call x planes x bytes per plane),
// so a reader that writes past what it declared trips AddressSanitizer.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/fileio.h"
#include "imagelib/loadcontext.h"

namespace testing_support {

struct Delivery {
    int plane;
    int firstRow;
    int rowCount;
};

class FakeLoad {
public:
    // Reader body over an open file (ReadBmpFromFile, ReadPnm...).
    using Body = int (*)(PictureFile*, LoadContext*);

    FakeLoad() {
        ctx_ = static_cast<LoadContext*>(std::calloc(1, sizeof(LoadContext)));
        ctx_->scratch = this;
        ctx_->callbacks.beginImage = BeginImage;
        ctx_->callbacks.putScanlines = PutScanlines;
        ctx_->callbacks.endImage = EndImage;
        ctx_->callbacks.clearImageHeader = ::ClearImageHeader;  // the library's own defaults
        ctx_->callbacks.openSource = OpenPictureFile;
        ctx_->callbacks.closeSource = ClosePictureFile;
    }
    ~FakeLoad() {
        std::free(ctx_->comment);
        std::free(ctx_);
    }
    FakeLoad(const FakeLoad&) = delete;
    FakeLoad& operator=(const FakeLoad&) = delete;

    LoadContext* ctx() { return ctx_; }

    // Runs a reader body over `bytes`; returns its result.
    int Run(Body body, const std::vector<uint8_t>& bytes) {
        FileSource src;
        InitMemorySource(&src, bytes.data(), bytes.size());
        PictureFile* f = OpenPictureFile(&src, kOpenReadBinary);
        if (!f) return kLoadNotRecognised;
        ctx_->infoOnly = infoOnly;
        result = body(f, ctx_);
        ClosePictureFile(f);
        return result;
    }
    // Runs a format-table entry over `bytes` as a memory source.
    int RunEntry(int (*entry)(FileSource*, LoadContext*), const std::vector<uint8_t>& bytes) {
        FileSource src;
        InitMemorySource(&src, bytes.data(), bytes.size());
        ctx_->infoOnly = infoOnly;
        result = entry(&src, ctx_);
        return result;
    }

    // Settings.
    bool infoOnly = false;
    int cancelAfterRows = -1;  // PutScanlines answers 15 once this many rows came

    // What the reader did.
    int result = 0;
    int beginCalls = 0;
    int endCalls = 0;
    ImageHeader header{};
    std::vector<Delivery> deliveries;
    std::vector<std::vector<uint8_t>> rows;  // by row index; all zero until delivered
    std::vector<bool> delivered;
    bool badAddress = false;                 // a row outside the picture or a count above rowsPerCall
    uint16_t paletteLayout = 0;
    int paletteBits = 0;
    std::vector<uint8_t> palette;            // R, G, B per entry (reordered from B, G, R)

    int RowsDelivered() const {
        int n = 0;
        for (bool d : delivered) n += d;
        return n;
    }
    const std::vector<uint8_t>& Row(int y) const { return rows.at(size_t(y)); }

    // The picture as top-down R, G, B, A for the layouts the BMP, DXT and
    // PNM readers declare. Undelivered rows read as zero bytes.
    std::vector<uint8_t> ToRgba() const;

private:
    static FakeLoad* Of(LoadContext* ctx) { return static_cast<FakeLoad*>(ctx->scratch); }

    static int BeginImage(LoadContext* ctx, ImageHeader* h) {
        FakeLoad* self = Of(ctx);
        ++self->beginCalls;
        ctx->pictureBegun = 1;
        const int bpp = h->planes * h->bitsPerPlane;
        if (bpp < 1 || bpp > 32 || h->width < 1 || h->height < 1 || h->width >= 400000 ||
            h->height >= 400000 || h->rowsPerCall < 1)
            return kLoadNotRecognised;
        self->header = *h;
        if (self->infoOnly) return kLoadInfoStop;
        // The declared row must hold the width's pixels.
        const uint64_t need = (h->flags & 0x2) ? uint64_t(h->width) : (uint64_t(h->width) * uint64_t(h->bitsPerPlane) + 7) / 8;
        if (h->bytesPerPlane < need) return kLoadNotRecognised;
        self->rowBuffer_.assign(size_t(h->rowsPerCall) * size_t(h->planes) * h->bytesPerPlane, 0xCD);
        h->rowBuffer = self->rowBuffer_.data();
        self->header.rowBuffer = h->rowBuffer;
        self->rows.assign(size_t(h->height), std::vector<uint8_t>(h->bytesPerPlane, 0));
        self->delivered.assign(size_t(h->height), false);
        return kLoadOk;
    }

    static int PutScanlines(LoadContext* ctx, int plane, int first, int count) {
        FakeLoad* self = Of(ctx);
        self->deliveries.push_back({plane, first, count});
        const ImageHeader& h = self->header;
        if (count < 1 || count > h.rowsPerCall || first < 0 || first >= h.height || count > h.height - first) {
            self->badAddress = true;
            return kLoadOk;
        }
        for (int i = 0; i < count; ++i) {
            const uint8_t* src = self->rowBuffer_.data() + size_t(i) * h.bytesPerPlane;
            self->rows[size_t(first + i)].assign(src, src + h.bytesPerPlane);
            self->delivered[size_t(first + i)] = true;
        }
        self->rowsSeen_ += count;
        if (self->cancelAfterRows >= 0 && self->rowsSeen_ >= self->cancelAfterRows) return kLoadCancelled;
        return kLoadOk;
    }

    static int EndImage(LoadContext* ctx, uint16_t layout, int bits, const void* palette) {
        FakeLoad* self = Of(ctx);
        ++self->endCalls;
        self->paletteLayout = layout;
        self->paletteBits = bits;
        self->palette.clear();
        if (palette) {
            const int bpp = self->header.planes * self->header.bitsPerPlane;
            const size_t entries = bpp >= 8 ? 256 : size_t(1) << bpp;
            const uint8_t* p = static_cast<const uint8_t*>(palette);
            for (size_t i = 0; i < entries; ++i) {
                const bool bgr = layout & 0x200;
                self->palette.push_back(p[3 * i + (bgr ? 2 : 0)]);
                self->palette.push_back(p[3 * i + 1]);
                self->palette.push_back(p[3 * i + (bgr ? 0 : 2)]);
            }
        }
        return 0;
    }

    LoadContext* ctx_;
    std::vector<uint8_t> rowBuffer_;
    int rowsSeen_ = 0;
};

inline std::vector<uint8_t> FakeLoad::ToRgba() const {
    const ImageHeader& h = header;
    const int w = h.width, ht = h.height;
    std::vector<uint8_t> out(size_t(w) * size_t(ht) * 4);
    const int bits = h.planes * h.bitsPerPlane;
    for (int t = 0; t < ht; ++t) {
        const uint8_t* row = rows[size_t(t)].data();
        const int y = (h.orientation & 0x10) ? ht - 1 - t : t;
        for (int x = 0; x < w; ++x) {
            uint8_t* px = &out[(size_t(y) * size_t(w) + size_t(x)) * 4];
            px[3] = 255;
            if (bits <= 8) {
                unsigned v;
                if (h.flags & 0x2) v = row[x];
                else v = row[x * bits / 8] >> (8 - bits - (x * bits) % 8) & ((1u << bits) - 1);
                if (!palette.empty()) {
                    std::memcpy(px, &palette[3 * v], 3);
                } else {
                    if (paletteLayout & 0x1) v = ((1u << bits) - 1) - v;
                    const uint8_t g = uint8_t(bits == 1 ? v * 255 : v);
                    px[0] = px[1] = px[2] = g;
                }
            } else if (bits == 15 || bits == 16) {
                const unsigned p = unsigned(row[2 * x] | row[2 * x + 1] << 8);
                if (h.flags & 0x100) {
                    px[0] = uint8_t((p >> 11 & 31) * 255 / 31);
                    px[1] = uint8_t((p >> 5 & 63) * 255 / 63);
                } else {
                    px[0] = uint8_t((p >> 10 & 31) * 255 / 31);
                    px[1] = uint8_t((p >> 5 & 31) * 255 / 31);
                }
                px[2] = uint8_t((p & 31) * 255 / 31);
            } else {
                const int n = bits / 8;
                const uint8_t* s = row + x * n;
                const bool reversed = h.flags & 0x28;  // B, G, R (, A)
                px[0] = s[reversed ? 2 : 0];
                px[1] = s[1];
                px[2] = s[reversed ? 0 : 2];
                if (n == 4) px[3] = s[3];
            }
        }
    }
    return out;
}

}  // namespace testing_support
