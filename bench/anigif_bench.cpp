// Loading a whole animated GIF (240 x 320, 24 frames, written by libvips
// with its own palette per frame) into complete frames, beside libvips'
// gifload of every page written to memory, one thread, in the same
// iteration: BM_AniGifVsVips reports ours, the peer's and the ratio (ours /
// peer; goal: <= 1). libvips is a peer for this benchmark only.
#include <benchmark/benchmark.h>

#include <vips/vips.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "display/anigif.h"

namespace {

constexpr int kWidth = 240, kHeight = 320, kFrames = 24;

template <typename F>
double Seconds(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Moving rings over a gradient: every frame differs everywhere a little.
std::vector<uint8_t> MakeAnimation() {
    std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * kFrames * 3);
    for (int f = 0; f < kFrames; ++f)
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                uint8_t* p = &rgb[((size_t(f) * kHeight + size_t(y)) * kWidth + size_t(x)) * 3];
                const double d = std::hypot(x - 120 - 40 * std::sin(f / 4.0), y - 160);
                p[0] = uint8_t(x);
                p[1] = uint8_t(128 + 127 * std::sin(d / 9 - f / 2.0));
                p[2] = uint8_t(y * 255 / kHeight);
            }
    VipsImage* in = vips_image_new_from_memory(rgb.data(), rgb.size(), kWidth, kHeight * kFrames, 3,
                                               VIPS_FORMAT_UCHAR);
    vips_image_set_int(in, "page-height", kHeight);
    void* gif = nullptr;
    size_t size = 0;
    if (!in || vips_gifsave_buffer(in, &gif, &size, nullptr) != 0) {
        std::fprintf(stderr, "vips_gifsave_buffer failed: %s\n", vips_error_buffer());
        std::exit(1);
    }
    std::vector<uint8_t> out(static_cast<uint8_t*>(gif), static_cast<uint8_t*>(gif) + size);
    g_free(gif);
    g_object_unref(in);
    return out;
}

void BM_AniGifVsVips(benchmark::State& state) {
    const std::vector<uint8_t> gif = MakeAnimation();
    const auto ours = [&] {
        FileSource source;
        InitMemorySource(&source, gif.data(), gif.size());
        AniGifAnimation a;
        if (AniGifLoadSource(&source, &a) != kAniGifOk || a.frames.size() != kFrames)
            state.SkipWithError("AniGifLoad failed");
        AniGifFree(&a);
    };
    const auto peer = [&] {
        return Seconds([&] {
            VipsImage* image = nullptr;
            if (vips_gifload_buffer(const_cast<uint8_t*>(gif.data()), gif.size(), &image, "n", -1, nullptr) != 0) {
                state.SkipWithError("vips_gifload_buffer failed");
                return;
            }
            size_t size = 0;
            void* pixels = vips_image_write_to_memory(image, &size);
            benchmark::DoNotOptimize(pixels);
            g_free(pixels);
            g_object_unref(image);
        });
    };
    Seconds(ours);
    peer();
    double sumOurs = 0, sumPeer = 0;
    for (auto _ : state) {
        const double a = Seconds(ours), b = peer();
        sumOurs += a;
        sumPeer += b;
        state.SetIterationTime(a);
    }
    const double n = double(state.iterations());
    state.counters["ours_ms"] = sumOurs / n * 1000;
    state.counters["peer_ms"] = sumPeer / n * 1000;
    state.counters["ratio"] = sumOurs / sumPeer;
    state.counters["gif_kb"] = double(gif.size()) / 1024;
}
BENCHMARK(BM_AniGifVsVips)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    // The GIF writer's quantizer would otherwise leave OpenMP threads
    // spinning beside both sides' timings.
    setenv("OMP_NUM_THREADS", "1", 1);
    if (VIPS_INIT(argv[0])) return 1;
    vips_concurrency_set(1);
    vips_cache_set_max(0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    vips_shutdown();
    return 0;
}
