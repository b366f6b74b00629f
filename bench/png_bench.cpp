// Decoding a 3000 x 2000 RGB PNG (non-interlaced and Adam7) into a bitmap
// through the whole load, against libpng called directly (its simplified
// API, RGB into a zeroed picture) and libspng, on the same bytes in memory
// in the same process.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <png.h>
#include <spng.h>

#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "imagelib/textutil.h"
#include "tests/support/testfiles.h"

namespace {

constexpr int kWidth = 3000, kHeight = 2000;

std::string TempDir() { return std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp"; }

// A picture with smooth areas and noise, as photographs have, written as PPM
// and compressed by pnmtopng; "" when netpbm is missing.
std::string MakePng(const char* name, int width, int height, bool interlaced) {
    const std::string ppm = TempDir() + "/pv_png_bench.ppm", png = TempDir() + "/" + name;
    FILE* f = std::fopen(ppm.c_str(), "wb");
    if (!f) return {};
    std::fprintf(f, "P6\n%d %d\n255\n", width, height);
    uint32_t seed = 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 28) - 8;
            const int px[3] = {(x * 255 / width + noise) & 255, (y * 255 / height + noise) & 255,
                               ((x + y) / 16 * 37) & 255};
            for (int c : px) std::fputc(c, f);
        }
    std::fclose(f);
    const std::string cmd = std::string("pnmtopng ") + (interlaced ? "-interlace " : "") + "'" + ppm + "' > '" +
                            png + "' 2>/dev/null";
    const bool ok = std::system(cmd.c_str()) == 0;
    std::remove(ppm.c_str());
    return ok ? png : std::string();
}

// The file's bytes, read once; empty when it could not be made.
const std::vector<uint8_t>& Plain() {
    static const std::vector<uint8_t> p = [] {
        const std::string path = MakePng("pv_png_bench.png", kWidth, kHeight, false);
        return path.empty() ? std::vector<uint8_t>() : testing_support::ReadBytes(Utf8ToWide(path.c_str()));
    }();
    return p;
}
const std::vector<uint8_t>& Interlaced() {
    static const std::vector<uint8_t> p = [] {
        const std::string path = MakePng("pv_png_bench_i.png", kWidth, kHeight, true);
        return path.empty() ? std::vector<uint8_t>() : testing_support::ReadBytes(Utf8ToWide(path.c_str()));
    }();
    return p;
}

void LoadBench(benchmark::State& state, const std::vector<uint8_t>& file) {
    if (file.empty()) return state.SkipWithError("pnmtopng is not available");
    static const bool registry = (InitFormatRegistry(), true);
    (void)registry;
    LoadOptions o;
    InitLoadOptions(&o);
    for (auto _ : state) {
        Bitmap b;
        if (LoadPictureFromMemory(file.data(), file.size(), L"x.png", &b, &o, nullptr) != 0) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(b.pixels);
        FreeBitmap(&b);
    }
}

void LibpngBench(benchmark::State& state, const std::vector<uint8_t>& file) {
    if (file.empty()) return state.SkipWithError("pnmtopng is not available");
    for (auto _ : state) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) {
            state.SkipWithError("libpng failed");
            break;
        }
        image.format = PNG_FORMAT_RGB;
        void* pixels = std::calloc(PNG_IMAGE_SIZE(image), 1);
        if (!pixels || !png_image_finish_read(&image, nullptr, pixels, 0, nullptr)) state.SkipWithError("libpng failed");
        benchmark::DoNotOptimize(pixels);
        std::free(pixels);
        png_image_free(&image);
    }
}

void SpngBench(benchmark::State& state, const std::vector<uint8_t>& file) {
    if (file.empty()) return state.SkipWithError("pnmtopng is not available");
    for (auto _ : state) {
        spng_ctx* ctx = spng_ctx_new(0);
        size_t bytes = 0;
        void* pixels = nullptr;
        if (!ctx || spng_set_png_buffer(ctx, file.data(), file.size()) != 0 ||
            spng_decoded_image_size(ctx, SPNG_FMT_RGB8, &bytes) != 0 || !(pixels = std::calloc(bytes, 1)) ||
            spng_decode_image(ctx, pixels, bytes, SPNG_FMT_RGB8, 0) != 0)
            state.SkipWithError("libspng failed");
        benchmark::DoNotOptimize(pixels);
        std::free(pixels);
        spng_ctx_free(ctx);
    }
}

void BM_LoadPng(benchmark::State& state) { LoadBench(state, Plain()); }
void BM_LibpngPeer(benchmark::State& state) { LibpngBench(state, Plain()); }
void BM_SpngPeer(benchmark::State& state) { SpngBench(state, Plain()); }
void BM_LoadPngInterlaced(benchmark::State& state) { LoadBench(state, Interlaced()); }
void BM_LibpngInterlacedPeer(benchmark::State& state) { LibpngBench(state, Interlaced()); }
void BM_SpngInterlacedPeer(benchmark::State& state) { SpngBench(state, Interlaced()); }

BENCHMARK(BM_LoadPng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngPeer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpngPeer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPngInterlaced)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngInterlacedPeer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpngInterlacedPeer)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
