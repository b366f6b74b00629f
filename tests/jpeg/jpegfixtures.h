// Helpers of the JPEG reader tests: the fixtures made at build time by
// make_fixtures.py, their PNM oracle answers, loads, and a load context for
// calling the reader entries directly.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/bitmap.h"
#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "imagelib/loadcontext.h"
#include "imagelib/metadata.h"
#include "tests/support/oracles.h"
#include "tests/support/pictures.h"
#include "tests/support/testfiles.h"

namespace jpegtest {

inline std::wstring FixturePath(const std::string& name) {
    return testing_support::FixtureFile(PV_JPEG_FIXTURES, name);
}

inline std::vector<uint8_t> Fixture(const std::string& name) {
    return testing_support::ReadBytes(FixturePath(name));
}

inline std::string FixtureText(const std::string& name) {
    const std::vector<uint8_t> bytes = Fixture(name);
    return std::string(bytes.begin(), bytes.end());
}

// A binary PNM (P5 grey or P6 colour) as djpeg writes it; width 0 when the
// fixture is missing or is not one.
using Pnm = testing_support::PnmImage;

inline Pnm FixturePnm(const std::string& name) {
    Pnm p;
    if (!testing_support::ParsePnm(FixtureText(name), &p)) return Pnm{};
    return p;
}

using testing_support::EnsureFormatRegistry;

inline LoadOptions Options(uint32_t flags = 0) {
    LoadOptions o;
    InitLoadOptions(&o);
    o.flags = flags;
    return o;
}

// One load of a file or of bytes; the bitmap and info are freed with it.
using Load = testing_support::LoadedPicture;

inline void LoadFixture(Load* load, const std::string& name, const LoadOptions& o) {
    EnsureFormatRegistry();
    load->result = LoadPictureFromFile(FixturePath(name).c_str(), &load->bitmap, &o, &load->info);
}

inline void LoadBytes(Load* load, const std::vector<uint8_t>& bytes, const LoadOptions& o) {
    EnsureFormatRegistry();
    load->result = LoadPictureFromMemory(bytes.data(), bytes.size(), L"picture.jpg", &load->bitmap, &o, &load->info);
}

// Pixels equal the oracle's samples, row by row (RGB or grey output).
inline ::testing::AssertionResult SamePixels(const Bitmap& b, const Pnm& p) {
    if (p.width == 0) return ::testing::AssertionFailure() << "no oracle picture";
    if (b.width != p.width || b.height != p.height)
        return ::testing::AssertionFailure() << "size " << b.width << "x" << b.height << ", oracle " << p.width
                                             << "x" << p.height;
    if (b.bytesPerPixel != p.channels)
        return ::testing::AssertionFailure() << "bytes per pixel " << b.bytesPerPixel << ", oracle " << p.channels;
    const size_t rowBytes = size_t(p.width) * p.channels;
    for (int y = 0; y < p.height; ++y) {
        const uint8_t* ours = b.pixels + size_t(y) * b.bytesPerRow;
        const uint8_t* theirs = p.pixels.data() + size_t(y) * rowBytes;
        for (size_t i = 0; i < rowBytes; ++i)
            if (ours[i] != theirs[i])
                return ::testing::AssertionFailure() << "row " << y << " byte " << i << ": " << int(ours[i])
                                                     << " against " << int(theirs[i]);
    }
    return ::testing::AssertionSuccess();
}

inline std::vector<uint8_t> BlockBytes(const MetadataBlock* block) {
    if (!block || !block->data) return {};
    return std::vector<uint8_t>(block->data, block->data + block->length);
}

// A load context as the load builds one, for calling reader entries
// directly; it counts BeginImage calls.
inline int g_beginCalls = 0;

inline int CountingBeginImage(LoadContext* ctx, ImageHeader* header) {
    ++g_beginCalls;
    return BeginImage(ctx, header);
}

struct ReaderContext {
    LoadContext* ctx = nullptr;
    Bitmap bitmap{};

    explicit ReaderContext(const LoadOptions& o) {
        g_beginCalls = 0;
        ctx = static_cast<LoadContext*>(std::calloc(1, sizeof(LoadContext)));
        ReaderCallbacks& cb = ctx->callbacks;
        cb.beginImage = CountingBeginImage;
        cb.putScanlines = PutScanlines;
        cb.endImage = EndImage;
        cb.clearImageHeader = ClearImageHeader;
        cb.prepareSource = InitFileSource;
        cb.openSource = OpenPictureFile;
        cb.closeSource = ClosePictureFile;
        cb.addMetadataBlock = AddMetadataBlock;
        ctx->options = o;
        ctx->bitmap = &bitmap;
        ctx->imageCount = 1;
        ctx->progressBarPos = -1;
        ctx->chosenFormat = -1;
    }
    ReaderContext(const ReaderContext&) = delete;
    ReaderContext& operator=(const ReaderContext&) = delete;
    ~ReaderContext() {
        ReleaseLoadRows(&ctx->row);
        FreeMetadataList(&ctx->metadata);
        std::free(ctx->comment);
        std::free(ctx);
        FreeBitmap(&bitmap);
    }
};

// A PictureFile over bytes, closed with the holder.
struct MemoryFile {
    FileSource source{};
    PictureFile* file = nullptr;

    explicit MemoryFile(const std::vector<uint8_t>& bytes) {
        InitMemorySource(&source, bytes.data(), bytes.size());
        file = OpenPictureFile(&source, kOpenReadBinary);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    ~MemoryFile() { ClosePictureFile(file); }
};

}  // namespace jpegtest
