// Shrinking a 4000 x 3000 colour picture to 160 x 120 by area averaging:
// BitmapShrinkArea (fixed point) and BitmapResample (filtered, doubles)
// against libvips doing the same box shrink (vips_shrink, one thread) on
// the same pixels in memory, in the same process. Goal: at most 1.0x.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "processing/geometry.h"
#include "vipspeer.h"

namespace {

constexpr int32_t kWidth = 4000, kHeight = 3000, kOutWidth = 160, kOutHeight = 120;

const Bitmap& Source() {
    static Bitmap picture = [] {
        Bitmap b;
        AllocBitmap(&b, kPixelRGB, 4, kWidth, kHeight);
        std::mt19937 rng(1);
        for (size_t i = 0; i < size_t(b.bytesPerRow) * size_t(b.height); ++i) b.pixels[i] = uint8_t(rng());
        return b;
    }();
    return picture;
}

void BM_ShrinkArea(benchmark::State& state) {
    Bitmap src = Source();
    for (auto _ : state) {
        Bitmap out;
        if (BitmapShrinkArea(&src, &out, kOutWidth, kOutHeight, kPixelRGB, nullptr, 0) != 0) {
            state.SkipWithError("shrink failed");
            break;
        }
        FreeBitmap(&out);
    }
}
BENCHMARK(BM_ShrinkArea)->Unit(benchmark::kMillisecond);

void BM_ResampleFiltered(benchmark::State& state) {
    Bitmap src = Source();
    for (auto _ : state) {
        Bitmap out;
        if (BitmapResample(&src, &out, kOutWidth, kOutHeight, 0) != 0) {
            state.SkipWithError("resample failed");
            break;
        }
        FreeBitmap(&out);
    }
}
BENCHMARK(BM_ResampleFiltered)->Unit(benchmark::kMillisecond);

// libvips' box shrink of the same pixels in this process, one thread, the
// result computed into memory.
void BM_VipsShrinkPeer(benchmark::State& state) {
    const Bitmap& src = Source();
    if (!bench_support::StartVips() || src.bytesPerRow != kWidth * 3) {
        state.SkipWithError("libvips could not start");
        return;
    }
    for (auto _ : state) {
        if (!bench_support::VipsShrinkRgb(src.pixels, kWidth, kHeight, kOutWidth, kOutHeight)) {
            state.SkipWithError("vips_shrink failed");
            break;
        }
    }
}
BENCHMARK(BM_VipsShrinkPeer)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
