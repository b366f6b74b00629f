// Decoding a 3000 x 2000 RGB PNG (non-interlaced and Adam7) into a bitmap
// through the whole load, against netpbm's pngtopam decoding the same file
// in the same run. The peer's figure includes starting the process;
// BM_PngtopamStartOnly measures that alone (pngtopam on a 1 x 1 picture),
// so the peer's decode is the difference.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "imagelib/textutil.h"
#include "peer.h"

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

const std::string& Plain() {
    static const std::string p = MakePng("pv_png_bench.png", kWidth, kHeight, false);
    return p;
}
const std::string& Interlaced() {
    static const std::string p = MakePng("pv_png_bench_i.png", kWidth, kHeight, true);
    return p;
}
const std::string& Tiny() {
    static const std::string p = MakePng("pv_png_bench_1.png", 1, 1, false);
    return p;
}

void LoadBench(benchmark::State& state, const std::string& path) {
    if (path.empty()) {
        state.SkipWithError("pnmtopng is not available");
        return;
    }
    static const bool registry = (InitFormatRegistry(), true);
    (void)registry;
    const std::wstring wide = Utf8ToWide(path.c_str());
    LoadOptions o;
    InitLoadOptions(&o);
    for (auto _ : state) {
        Bitmap b;
        if (LoadPictureFromFile(wide.c_str(), &b, &o, nullptr) != 0) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(b.pixels);
        FreeBitmap(&b);
    }
}

void RunTimed(benchmark::State& state, const std::string& path) {
    if (path.empty()) {
        state.SkipWithError("pnmtopng is not available");
        return;
    }
    bench_support::TimePeerCommand(state, "pngtopam '" + path + "' > /dev/null 2>&1");
}

void BM_LoadPng(benchmark::State& state) { LoadBench(state, Plain()); }
BENCHMARK(BM_LoadPng)->Unit(benchmark::kMillisecond);

void BM_PngtopamPeer(benchmark::State& state) { RunTimed(state, Plain()); }
BENCHMARK(BM_PngtopamPeer)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LoadPngInterlaced(benchmark::State& state) { LoadBench(state, Interlaced()); }
BENCHMARK(BM_LoadPngInterlaced)->Unit(benchmark::kMillisecond);

void BM_PngtopamInterlacedPeer(benchmark::State& state) { RunTimed(state, Interlaced()); }
BENCHMARK(BM_PngtopamInterlacedPeer)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_PngtopamStartOnly(benchmark::State& state) { RunTimed(state, Tiny()); }
BENCHMARK(BM_PngtopamStartOnly)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
