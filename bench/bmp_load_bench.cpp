// Loading a large BMP (4000 x 3000, 24 bits) at full size and into a
// 160 x 120 box, nearest and smooth, against ImageMagick doing the same work
// in the same run (decode only; -sample is nearest, -scale the area average),
// timed around a subprocess. Compare each BM_Load* with its BM_Peer*.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "imagelib/textutil.h"
#include "bmpfile.h"
#include "peer.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// A smooth colour field with some detail, written once per run.
const std::string& BmpPath() {
    static const std::string path = [] {
        const std::string p = (std::filesystem::temp_directory_path() / "pv-bench-4000x3000.bmp").string();
        std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                // File row y is picture row kHeight - 1 - y.
                uint8_t* px = &rgb[(size_t(kHeight - 1 - y) * kWidth + size_t(x)) * 3];
                px[0] = uint8_t((x ^ y) & 0xFF);
                px[1] = uint8_t(y * 255 / kHeight);
                px[2] = uint8_t(x * 255 / kWidth);
            }
        const std::vector<uint8_t> b = bench_support::Bmp24(rgb, kWidth, kHeight);
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
        InitFormatRegistry();
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove(std::filesystem::temp_directory_path() / "pv-bench-4000x3000.bmp", ec);
        });
        return p;
    }();
    return path;
}

void LoadInto(benchmark::State& state, int targetWidth, int targetHeight, int scaleMethod) {
    const std::wstring name = Utf8ToWide(BmpPath().c_str());
    LoadOptions options;
    InitLoadOptions(&options);
    options.targetWidth = targetWidth;
    options.targetHeight = targetHeight;
    options.scaleMethod = uint16_t(scaleMethod);
    for (auto _ : state) {
        Bitmap bitmap{};
        if (LoadPictureFromFile(name.c_str(), &bitmap, &options, nullptr) != kLoadOk) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(bitmap.pixels);
        FreeBitmap(&bitmap);
    }
}

void BM_LoadFullSize(benchmark::State& state) { LoadInto(state, -1, -1, 0); }
void BM_LoadBoxNearest(benchmark::State& state) { LoadInto(state, 160, 120, 0); }
void BM_LoadBoxSmooth(benchmark::State& state) { LoadInto(state, 160, 120, 2); }

// ImageMagick's own convert (not the PATH's wrappers), or the PATH's.
std::string Convert() {
    return std::filesystem::exists("/usr/bin/convert") ? "/usr/bin/convert" : "convert";
}

void Peer(benchmark::State& state, const std::string& operation) {
    const std::string command = Convert() + " '" + BmpPath() + "' " + operation + " null: 2>/dev/null";
    bench_support::TimePeerCommand(state, command, "ImageMagick convert is not available");
}

void BM_PeerFullSize(benchmark::State& state) { Peer(state, ""); }
void BM_PeerBoxNearest(benchmark::State& state) { Peer(state, "-sample 160x120"); }
void BM_PeerBoxSmooth(benchmark::State& state) { Peer(state, "-scale 160x120"); }

BENCHMARK(BM_LoadFullSize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeerFullSize)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadBoxNearest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeerBoxNearest)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadBoxSmooth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeerBoxSmooth)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
