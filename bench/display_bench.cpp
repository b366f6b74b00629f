// The display layer's conversions, against a plain copy of the same source
// bytes (the bound) measured in the same run:
// - per-paint: the 240 x 320 visible part of a 12-megapixel RGB picture
//   (4000 x 3000) through the nearest-neighbour maps and the 16-bit dither,
//   at 100 % and at 50 % (every other source pixel);
// - MakeScreenBitmap's conversion core for a 3-megapixel picture (2048 x
//   1536) at its own size: dithered to 5-5-5, and copied to a 24-bit DIB.
// Figures are pixels per second (items) and source bytes per second.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "display/display.h"

namespace {

constexpr int32_t kAreaWidth = 240, kAreaHeight = 320;

Bitmap Picture(uint16_t type, int32_t width, int32_t height) {
    Bitmap b;
    AllocBitmap(&b, type, 4, width, height);
    std::mt19937 rng(1);
    for (size_t i = 0; i < size_t(b.bytesPerRow) * size_t(b.height); ++i) b.pixels[i] = uint8_t(rng());
    return b;
}

const Bitmap& TwelveMegapixels() {
    static const Bitmap b = Picture(kPixelRGB, 4000, 3000);
    return b;
}

void PerPaint(benchmark::State& state, int32_t percent) {
    DisplayInitForDepth(16);
    const Bitmap& picture = TwelveMegapixels();
    ScreenBitmap sb;
    std::memset(&sb, 0, sizeof sb);
    sb.dibWidth = sb.dibHeight = kAreaHeight;  // the screen square
    const int32_t tw = picture.width * percent / 100, th = picture.height * percent / 100;
    if (!ScreenBitmapPrepareWith(MemoryDibServices(), &sb, &picture, tw, th, kPrepareBuildPalette)) {
        state.SkipWithError("prepare failed");
        return;
    }
    // A different part of the picture on each paint, as when panning.
    int32_t x = 0;
    for (auto _ : state) {
        ScreenBitmapConvert(MemoryDibServices(), &sb, x, th / 3, kAreaWidth, kAreaHeight);
        benchmark::ClobberMemory();
        x = (x + 97) % (tw - kAreaWidth);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kAreaWidth * kAreaHeight);
    state.SetBytesProcessed(int64_t(state.iterations()) * kAreaWidth * kAreaHeight * 3);
    ScreenBitmapFreeWith(MemoryDibServices(), &sb);
    DisplayReleaseTables();
}

void BM_PerPaint16Bit100(benchmark::State& state) { PerPaint(state, 100); }
void BM_PerPaint16Bit50(benchmark::State& state) { PerPaint(state, 50); }
BENCHMARK(BM_PerPaint16Bit100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PerPaint16Bit50)->Unit(benchmark::kMicrosecond);

// The same 240 x 320 pixels of source rows copied as they are.
void BM_PerPaintCopyPeer(benchmark::State& state) {
    const Bitmap& picture = TwelveMegapixels();
    std::vector<uint8_t> out(size_t(kAreaWidth) * 3 * kAreaHeight);
    int32_t x = 0;
    for (auto _ : state) {
        for (int32_t y = 0; y < kAreaHeight; ++y)
            std::memcpy(out.data() + size_t(y) * kAreaWidth * 3,
                        picture.pixels + size_t(1000 + y) * picture.bytesPerRow + size_t(x) * 3, size_t(kAreaWidth) * 3);
        benchmark::ClobberMemory();
        x = (x + 97) % (picture.width - kAreaWidth);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kAreaWidth * kAreaHeight);
    state.SetBytesProcessed(int64_t(state.iterations()) * kAreaWidth * kAreaHeight * 3);
}
BENCHMARK(BM_PerPaintCopyPeer)->Unit(benchmark::kMicrosecond);

const Bitmap& ThreeMegapixels(uint16_t type) {
    static const Bitmap rgb = Picture(kPixelRGB, 2048, 1536);
    static const Bitmap bgr = Picture(kPixelBGR, 2048, 1536);
    return type == kPixelRGB ? rgb : bgr;
}

void MakeWhole(benchmark::State& state, int screenBits, uint16_t type) {
    DisplayInitForDepth(screenBits);
    const Bitmap& picture = ThreeMegapixels(type);
    for (auto _ : state) {
        void* dib = MakeScreenBitmapWith(MemoryDibServices(), &picture, picture.width, picture.height, nullptr);
        if (!dib) {
            state.SkipWithError("conversion failed");
            break;
        }
        benchmark::DoNotOptimize(dib);
        MemoryDibServices()->deleteDib(dib);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * picture.width * picture.height);
    state.SetBytesProcessed(int64_t(state.iterations()) * picture.width * picture.height * 3);
    DisplayReleaseTables();
}

void BM_MakeScreenBitmap16Bit(benchmark::State& state) { MakeWhole(state, 16, kPixelRGB); }
void BM_MakeScreenBitmap24BitRgb(benchmark::State& state) { MakeWhole(state, 32, kPixelRGB); }
void BM_MakeScreenBitmap24BitBgr(benchmark::State& state) { MakeWhole(state, 32, kPixelBGR); }
BENCHMARK(BM_MakeScreenBitmap16Bit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakeScreenBitmap24BitRgb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakeScreenBitmap24BitBgr)->Unit(benchmark::kMillisecond);

// The picture's bytes copied into a fresh buffer of the DIB's size.
void BM_MakeScreenBitmapCopyPeer(benchmark::State& state) {
    const Bitmap& picture = ThreeMegapixels(kPixelRGB);
    const size_t bytes = size_t(picture.bytesPerRow) * size_t(picture.height);
    for (auto _ : state) {
        std::vector<uint8_t> out(bytes);
        std::memcpy(out.data(), picture.pixels, bytes);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * picture.width * picture.height);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_MakeScreenBitmapCopyPeer)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
