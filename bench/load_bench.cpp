// The load pipeline on its own: a raw reader hands over 24-bit B, G, R rows
// bottom-up (as a BMP file stores them) from memory, at full size and fitted
// into a 160 x 120 box (nearest and smooth), and reduced as thumbnails are
// (box averaging) for that and for 32-bit R, G, B, A, 8-bit grey and 8-bit
// palette rows. The peer is a plain copy of the 24-bit bytes (the bound):
// the ratio shows the cost per source byte of row delivery, conversion and
// scaling.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "imagelib/formats.h"
#include "imagelib/load.h"

namespace {

constexpr int kWidth = 3000;
constexpr int kHeight = 2000;
constexpr size_t kRowBytes = size_t(kWidth) * 3;

// What the raw reader declares (one kind per benchmark, run one at a time).
struct RawLayout {
    int bits;
    uint32_t flags;
    bool palette;
};
constexpr RawLayout kBgr = {24, 0x8, false};             // B, G, R
constexpr RawLayout kRgba = {32, 0, false};              // R, G, B, A
constexpr RawLayout kGrey = {8, kHeaderGreyLevels, false};
constexpr RawLayout kIndexed = {8, 0, true};
RawLayout g_layout = kBgr;

const uint8_t* GreyRampPalette() {
    static const std::vector<uint8_t> palette = [] {
        std::vector<uint8_t> p;
        for (int i = 0; i < 256; ++i) p.insert(p.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
        return p;
    }();
    return palette.data();
}

int ReadRaw(FileSource* source, LoadContext* ctx) {
    PictureFile* file = ctx->callbacks.openSource(source, kOpenReadBinary);
    if (!file) return kLoadCannotOpen;
    const size_t rowBytes = size_t(kWidth) * size_t(g_layout.bits / 8);
    ImageHeader h;
    ctx->callbacks.clearImageHeader(&h);
    h.width = kWidth;
    h.height = kHeight;
    h.bitsPerPlane = int16_t(g_layout.bits);
    h.bytesPerPlane = uint32_t(rowBytes);
    h.flags = g_layout.flags;
    h.orientation = 0x10;   // bottom-up
    h.palette = g_layout.palette ? GreyRampPalette() : nullptr;
    h.paletteLayout = 0x100;  // R, G, B triples
    h.paletteBits = 8;
    int result = ctx->callbacks.beginImage(ctx, &h);
    if (result != 0) {
        ctx->callbacks.closeSource(file);
        return result;
    }
    for (int y = 0; y < kHeight && result == 0; ++y) {
        if (ReadFileBytes(file, h.rowBuffer, rowBytes) != rowBytes) result = kLoadIncomplete;
        else result = ctx->callbacks.putScanlines(ctx, -1, y, 1);
    }
    ctx->callbacks.endImage(ctx, h.paletteLayout, h.paletteBits, h.palette);
    ctx->callbacks.closeSource(file);
    return result;
}

const FormatRow kRaw[] = {
    {0x1, "raw", "Raw rows", nullptr, nullptr, ReadRaw, nullptr, nullptr, 0, 0, {"raw"}},
};

// Rows enough for the widest layout (four bytes a pixel).
const std::vector<uint8_t>& Pixels() {
    static const std::vector<uint8_t> pixels = [] {
        std::vector<uint8_t> v(size_t(kWidth) * 4 * kHeight);
        for (size_t i = 0; i < v.size(); ++i) v[i] = uint8_t(i * 7 + i / kRowBytes);
        return v;
    }();
    return pixels;
}

void Load(benchmark::State& state, int target, uint16_t method, uint16_t order, uint32_t flags = 0,
          RawLayout layout = kBgr) {
    RegisterFormatsFromTable(kRaw, 1);
    g_layout = layout;
    const std::vector<uint8_t>& pixels = Pixels();
    LoadOptions options;
    InitLoadOptions(&options);
    options.pixelOrder = order;
    options.scaleMethod = method;
    options.flags = flags;
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
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kWidth) * kHeight * (layout.bits / 8));
    FreeFormatRegistry();
}

void BM_LoadFullSize(benchmark::State& state) { Load(state, 0, 0, 0); }
void BM_LoadFullSizeBgr(benchmark::State& state) { Load(state, 0, 0, 1); }
void BM_LoadNearest160x120(benchmark::State& state) { Load(state, 1, 0, 1); }
void BM_LoadSmooth160x120(benchmark::State& state) { Load(state, 1, 2, 1); }
void BM_LoadBox160x120(benchmark::State& state) { Load(state, 1, 0, 1, kLoadReduced); }
void BM_LoadBoxRgba160x120(benchmark::State& state) { Load(state, 1, 0, 1, kLoadReduced, kRgba); }
void BM_LoadBoxGrey160x120(benchmark::State& state) { Load(state, 1, 0, 1, kLoadReduced, kGrey); }
void BM_LoadBoxPalette160x120(benchmark::State& state) { Load(state, 1, 0, 1, kLoadReduced, kIndexed); }
BENCHMARK(BM_LoadFullSize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFullSizeBgr)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadNearest160x120)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadSmooth160x120)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadBox160x120)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadBoxRgba160x120)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadBoxGrey160x120)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadBoxPalette160x120)->Unit(benchmark::kMillisecond);

void BM_CopyPeer(benchmark::State& state) {
    const std::vector<uint8_t>& pixels = Pixels();
    const size_t bytes = kRowBytes * kHeight;
    std::vector<uint8_t> out(bytes);
    for (auto _ : state) {
        std::memcpy(out.data(), pixels.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_CopyPeer)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
