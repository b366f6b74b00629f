// Saving arbitrary bitmaps through arbitrary writer row layouts: the input
// picks a bitmap (type, size, depth, palette count, orientation), a format
// (a writer that declares the input's WriteHeader, or the BMP, Targa and GIF
// writers with the input's options) and the pixels. Every byte of every row
// and palette handed to a writer is read, so a row or palette that overruns
// its buffer is caught; results must be save result codes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "imagelib/formats.h"
#include "imagelib/save.h"
#include "imagelib/savecontext.h"

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    uint32_t Take(int bytes) {
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) v = v << 8 | (pos < size ? data[pos++] : 0);
        return v;
    }
};

WriteHeader g_layout;
volatile uint8_t g_sink;

void Touch(const uint8_t* p, size_t n) {
    uint8_t x = 0;
    for (size_t i = 0; i < n; ++i) x ^= p[i];
    g_sink = x;
}

int LayoutWriter(FileSource* source, SaveContext* ctx) {
    const WriterCallbacks& cb = ctx->callbacks;
    PictureFile* f = cb.openPictureFile(source, kOpenWriteBinary);
    if (!f) return kSaveCannotCreate;
    WriteHeader h = g_layout;
    h.rowBuffer = nullptr;
    h.palette = nullptr;
    int r = cb.beginWrite(ctx, &h);
    if (r == 0) {
        if (h.palette) Touch(h.palette, ctx->row.writerPaletteSize);
        const int32_t step = ctx->rowsPerCall;
        for (int32_t y = 0; y < ctx->picture.height && r == 0; y += step) {
            const int32_t n = std::min(step, ctx->picture.height - y);
            r = cb.getScanlines(ctx, y, n);
            if (r == 0) Touch(h.rowBuffer, size_t(n) * ctx->row.outputLineLength);
        }
        cb.endWrite(ctx);
    }
    cb.closePictureFile(f);
    return r;
}

const FormatRow kTable[] = {
    {0, "layout", "Layout", nullptr, nullptr, nullptr, LayoutWriter, nullptr, 0, 0, {"lay"}},
    kBuiltinFormats[kFormatBmp],
    kBuiltinFormats[kFormatTga],
    kBuiltinFormats[kFormatGif],
};

const uint16_t kTypes[] = {kPixelBilevel, kPixelGrey, kPixelPalette, kPixelRGB,  kPixelBGR,
                           kPixelRGBA,    kPixelABGR, kPixelBGRA,    kPixelARGB, kPixelCMYK};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool registered = (RegisterFormatsFromTable(kTable, 4), true);
    static const std::wstring out = (std::filesystem::temp_directory_path() / "pv_save_layout_fuzz.out").wstring();
    (void)registered;
    Input in{data, size};

    const uint16_t type = kTypes[in.Take(1) % 10];
    const int32_t width = 1 + int32_t(in.Take(1) % 64);
    const int32_t height = 1 + int32_t(in.Take(1) % 16);
    static const uint16_t kDepths[] = {8, 8, 12, 16, 20, 32};
    const uint16_t depth = type == kPixelBilevel ? 8 : kDepths[in.Take(1) % 6];
    Bitmap b;
    if (!(depth > 8 ? AllocBitmapWithDepth(&b, type, 4, width, height, depth) : AllocBitmap(&b, type, 4, width, height)))
        return 0;
    b.paletteCount = int16_t(in.Take(2));
    b.orientation = uint16_t(in.Take(1) & 0x11);
    b.transparentIndex = int16_t(int(in.Take(1)) - 128);

    SaveOptions o;
    InitSaveOptions(&o);
    o.formatIndex = int16_t(in.Take(1) % 4);
    o.rleSwitch = uint16_t(in.Take(1) & 1);
    const uint32_t switches = in.Take(1);
    o.os2Header = switches & 1;
    o.interlaced = (switches >> 1) & 1;
    o.gif87a = (switches >> 2) & 1;

    std::memset(&g_layout, 0, sizeof g_layout);
    g_layout.flags = in.Take(4) & (0x3F | 0x4000 | 0x8000 | 0x10000);
    g_layout.orientation = uint16_t(in.Take(1) & 0x11);
    g_layout.rowsPerCall = int32_t(in.Take(1) % 5);
    g_layout.planes = int16_t(in.Take(1) % 6);
    g_layout.bitsPerPlane = int16_t(in.Take(1) % 34);
    g_layout.bitsPerSample = int16_t(in.Take(1) % 18);
    g_layout.components = int16_t(int(in.Take(1) % 6) - 1);
    g_layout.bytesPerPlane = in.Take(2) % 400;
    g_layout.paletteLayout = uint16_t(in.Take(2));
    g_layout.paletteBits = uint16_t(in.Take(1) % 18);

    const size_t pixelBytes = size_t(b.bytesPerRow) * size_t(b.height);
    for (size_t i = 0; i < pixelBytes; ++i) b.pixels[i] = uint8_t(in.Take(1));
    if (b.palette)
        for (size_t i = 0; i < kPaletteBytes; ++i) b.palette[i] = uint8_t(i * 7);

    const int r = SavePictureToFile(out.c_str(), &b, &o);
    FreeBitmap(&b);
    switch (r) {
        case kSaveOk:
        case kSaveNoMemory:
        case kSaveRefused:
        case kSaveCancelled:
        case kSaveBadRowRequest: break;
        default: std::abort();
    }
    return 0;
}
