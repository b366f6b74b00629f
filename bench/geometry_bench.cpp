// Shrinking a 4000 x 3000 colour picture to 160 x 120 by area averaging:
// BitmapShrinkArea (fixed point) and BitmapResample (filtered, doubles)
// against libvips doing the same box shrink (`vips shrink`) on the same
// pixels, run as a process on its uncompressed native file. The peer's
// figure includes starting the process; BM_VipsStartOnly measures that
// alone, so the peer's work is the difference.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "processing/geometry.h"
#include "peer.h"

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

// The source as a vips native file (written through a PPM once).
const std::string& VipsSource() {
    static const std::string path = [] {
        const std::string dir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
        const std::string ppm = dir + "/pv_geometry_bench.ppm", v = dir + "/pv_geometry_bench.v";
        FILE* f = std::fopen(ppm.c_str(), "wb");
        if (!f) return std::string();
        std::fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
        const Bitmap& b = Source();
        for (int32_t y = 0; y < b.height; ++y)
            std::fwrite(b.pixels + size_t(y) * size_t(b.bytesPerRow), 1, size_t(kWidth) * 3, f);
        std::fclose(f);
        if (std::system(("vips copy '" + ppm + "' '" + v + "' >/dev/null 2>&1").c_str()) != 0) return std::string();
        std::remove(ppm.c_str());
        return v;
    }();
    return path;
}

void RunTimed(benchmark::State& state, const std::string& cmd) { bench_support::TimePeerCommand(state, cmd); }

void BM_VipsShrinkPeer(benchmark::State& state) {
    const std::string& src = VipsSource();
    if (src.empty()) {
        state.SkipWithError("vips is not available");
        return;
    }
    const std::string out = src + ".out.v";
    RunTimed(state, "vips shrink '" + src + "' '" + out + "' 25 25 >/dev/null 2>&1");
    std::remove(out.c_str());
}
BENCHMARK(BM_VipsShrinkPeer)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_VipsStartOnly(benchmark::State& state) {
    RunTimed(state, "vips --version >/dev/null 2>&1");
}
BENCHMARK(BM_VipsStartOnly)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
