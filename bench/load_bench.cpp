// The load pipeline on its own: a raw reader hands over 24-bit B, G, R rows
// bottom-up (as a BMP file stores them) from memory, at full size and fitted
// into a 160 x 120 box (nearest and smooth). The peer is a plain copy of the
// same bytes (the bound): the ratio shows the cost per source byte of row
// delivery, conversion and scaling.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "imagelib/formats.h"
#include "imagelib/load.h"

namespace {

constexpr int kWidth = 3000;
constexpr int kHeight = 2000;
constexpr size_t kRowBytes = size_t(kWidth) * 3;

int ReadRaw(FileSource* source, LoadContext* ctx) {
    PictureFile* file = ctx->callbacks.openSource(source, kOpenReadBinary);
    if (!file) return kLoadCannotOpen;
    ImageHeader h;
    ctx->callbacks.clearImageHeader(&h);
    h.width = kWidth;
    h.height = kHeight;
    h.bitsPerPlane = 24;
    h.bytesPerPlane = uint32_t(kRowBytes);
    h.flags = 0x8;          // B, G, R
    h.orientation = 0x10;   // bottom-up
    int result = ctx->callbacks.beginImage(ctx, &h);
    if (result != 0) {
        ctx->callbacks.closeSource(file);
        return result;
    }
    for (int y = 0; y < kHeight && result == 0; ++y) {
        if (ReadFileBytes(file, h.rowBuffer, kRowBytes) != kRowBytes) result = kLoadIncomplete;
        else result = ctx->callbacks.putScanlines(ctx, -1, y, 1);
    }
    ctx->callbacks.endImage(ctx, 0, 0, nullptr);
    ctx->callbacks.closeSource(file);
    return result;
}

const FormatRow kRaw[] = {
    {0x1, "raw", "Raw rows", nullptr, nullptr, ReadRaw, nullptr, nullptr, 0, 0, {"raw"}},
};

const std::vector<uint8_t>& Pixels() {
    static const std::vector<uint8_t> pixels = [] {
        std::vector<uint8_t> v(kRowBytes * kHeight);
        for (size_t i = 0; i < v.size(); ++i) v[i] = uint8_t(i * 7 + i / kRowBytes);
        return v;
    }();
    return pixels;
}

void Load(benchmark::State& state, int target, uint16_t method, uint16_t order) {
    RegisterFormatsFromTable(kRaw, 1);
    const std::vector<uint8_t>& pixels = Pixels();
    LoadOptions options;
    InitLoadOptions(&options);
    options.pixelOrder = order;
    options.scaleMethod = method;
    if (target) {
        options.targetWidth = 160;
        options.targetHeight = 120;
    }
    for (auto _ : state) {
        Bitmap bitmap;
        const int result = LoadPictureFromMemory(pixels.data(), pixels.size(), L"x.raw", &bitmap, &options, nullptr);
        if (result != 0) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(bitmap.pixels);
        FreeBitmap(&bitmap);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pixels.size()));
    FreeFormatRegistry();
}

void BM_LoadFullSize(benchmark::State& state) { Load(state, 0, 0, 0); }
void BM_LoadFullSizeBgr(benchmark::State& state) { Load(state, 0, 0, 1); }
void BM_LoadNearest160x120(benchmark::State& state) { Load(state, 1, 0, 1); }
void BM_LoadSmooth160x120(benchmark::State& state) { Load(state, 1, 2, 1); }
BENCHMARK(BM_LoadFullSize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFullSizeBgr)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadNearest160x120)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadSmooth160x120)->Unit(benchmark::kMillisecond);

void BM_CopyPeer(benchmark::State& state) {
    const std::vector<uint8_t>& pixels = Pixels();
    std::vector<uint8_t> out(pixels.size());
    for (auto _ : state) {
        std::memcpy(out.data(), pixels.data(), pixels.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pixels.size()));
}
BENCHMARK(BM_CopyPeer)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
