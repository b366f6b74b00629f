// Saving a 1600 x 1200 colour bitmap as JPEG (quality 75) and PNG (level 6)
// through SavePicture, beside peers on the same pixels in the same run:
//   JPEG: cjpeg on a PPM of the pixels, and libjpeg's own stdio destination
//         called directly (the bound: no row conversion, no callbacks);
//   PNG:  pnmtopng on the same PPM at the same level, and libpng called
//         directly with its stdio output (the bound).
// Goal: our JPEG save within 10% of cjpeg. Every output goes to /dev/null.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include <jpeglib.h>
#include <png.h>

#include "imagelib/bitmap.h"
#include "imagelib/formats.h"
#include "imagelib/save.h"
#include "peer.h"

namespace {

constexpr int kWidth = 1600;
constexpr int kHeight = 1200;

// A photo-like picture: smooth gradients with some texture.
struct Picture {
    Bitmap bitmap{};
    std::string ppmPath;

    Picture() {
        AllocBitmap(&bitmap, kPixelRGB, 4, kWidth, kHeight);
        uint32_t seed = 7;
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* row = bitmap.pixels + size_t(y) * size_t(bitmap.bytesPerRow);
            for (int x = 0; x < kWidth; ++x) {
                seed = seed * 1103515245 + 12345;
                const int noise = int(seed >> 28) - 8;
                row[3 * x] = uint8_t(std::clamp(x * 255 / kWidth + noise, 0, 255));
                row[3 * x + 1] = uint8_t(std::clamp(y * 255 / kHeight + noise, 0, 255));
                row[3 * x + 2] = uint8_t(std::clamp(((x / 40 + y / 40) % 2) * 120 + 60 + noise, 0, 255));
            }
        }
        char name[] = "/tmp/pvbench-XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        ppmPath = std::string(name) + ".ppm";
        std::remove(name);
        FILE* f = std::fopen(ppmPath.c_str(), "wb");
        std::fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
        for (int y = 0; y < kHeight; ++y)
            std::fwrite(bitmap.pixels + size_t(y) * size_t(bitmap.bytesPerRow), 1, size_t(kWidth) * 3, f);
        std::fclose(f);
        InitFormatRegistry();
    }
    ~Picture() {
        FreeBitmap(&bitmap);
        std::remove(ppmPath.c_str());
        FreeFormatRegistry();
    }
};

Picture& ThePicture() {
    static Picture p;
    return p;
}

void SaveOurs(benchmark::State& state, const char* format) {
    Picture& p = ThePicture();
    SaveOptions o;
    InitSaveOptions(&o);
    o.formatIndex = int16_t(FindFormatByName(format));
    o.quality = 75;
    o.compressionLevel = 6;
    for (auto _ : state) {
        FILE* out = std::fopen("/dev/null", "wb");
        const int r = SavePicture(nullptr, out, &p.bitmap, &o);
        std::fclose(out);
        if (r != 0) state.SkipWithError("save failed");
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}

void RunTool(benchmark::State& state, const std::string& command) {
    bench_support::TimePeerCommand(state, command);
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}

void BM_JpegSave(benchmark::State& state) { SaveOurs(state, "jpeg"); }
BENCHMARK(BM_JpegSave)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_JpegCjpegPeer(benchmark::State& state) {
    RunTool(state, "cjpeg -quality 75 -outfile /dev/null " + ThePicture().ppmPath);
}
BENCHMARK(BM_JpegCjpegPeer)->UseManualTime()->Unit(benchmark::kMillisecond);

// libjpeg straight from the pixel rows into its stdio destination.
void BM_JpegLibjpegBound(benchmark::State& state) {
    Picture& p = ThePicture();
    for (auto _ : state) {
        FILE* out = std::fopen("/dev/null", "wb");
        jpeg_compress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        jpeg_stdio_dest(&cinfo, out);
        cinfo.image_width = kWidth;
        cinfo.image_height = kHeight;
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 75, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            JSAMPROW row = p.bitmap.pixels + size_t(cinfo.next_scanline) * size_t(p.bitmap.bytesPerRow);
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        std::fclose(out);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_JpegLibjpegBound)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PngSave(benchmark::State& state) { SaveOurs(state, "png"); }
BENCHMARK(BM_PngSave)->Unit(benchmark::kMillisecond)->UseRealTime();

// libpng straight from the pixel rows into its stdio output.
void BM_PngLibpngBound(benchmark::State& state) {
    Picture& p = ThePicture();
    for (auto _ : state) {
        FILE* out = std::fopen("/dev/null", "wb");
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png))) {
            state.SkipWithError("libpng failed");
        } else {
            png_init_io(png, out);
            png_set_compression_level(png, 6);
            png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                         PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
            png_write_info(png, info);
            for (int y = 0; y < kHeight; ++y) png_write_row(png, p.bitmap.pixels + size_t(y) * size_t(p.bitmap.bytesPerRow));
            png_write_end(png, info);
        }
        png_destroy_write_struct(&png, &info);
        std::fclose(out);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_PngLibpngBound)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PngPnmtopngPeer(benchmark::State& state) {
    RunTool(state, "pnmtopng -compression 6 " + ThePicture().ppmPath + " >/dev/null 2>&1");
}
BENCHMARK(BM_PngPnmtopngPeer)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
