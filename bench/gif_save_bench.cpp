// GIF save with the library's own LZW encoder against Pillow's GIF encoder
// (its C encoder, driven by one Python process that times its own loop), on
// the same pixels and palette, both writing to memory. Reported: time per
// save and file size for each, and the ratios ours / Pillow.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "imagelib/formats.h"
#include "imagelib/save.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

enum Kind { kPhoto = 0, kGraphic = 1 };

// Palette pictures: a dithered photo-like field, and flat graphics.
void MakePicture(Bitmap* b, Kind kind) {
    AllocBitmap(b, kPixelPalette, 1, kWidth, kHeight);
    b->paletteCount = 256;
    for (int i = 0; i < 256; ++i) {
        b->palette[i] = uint8_t(i);
        b->palette[kPaletteGreen + i] = uint8_t(255 - i);
        b->palette[kPaletteBlue + i] = uint8_t(i * 7);
    }
    std::mt19937 rng(7);
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = b->pixels + size_t(y) * size_t(b->bytesPerRow);
        for (int x = 0; x < kWidth; ++x) {
            if (kind == kPhoto) row[x] = uint8_t((x / 3 + y / 2 + int(rng() % 5)) & 255);
            else row[x] = uint8_t(((x / 80) * 7 + (y / 60) * 31) & 255);
        }
    }
}

struct Figures {
    double seconds = 0;
    double bytes = 0;
};
Figures g_ours[2], g_pillow[2];

// The registry, the picture and the options of one benchmark.
struct Saver {
    explicit Saver(Kind kind) {
        InitFormatRegistry();
        MakePicture(&bitmap, kind);
        InitSaveOptions(&options);
        options.formatIndex = kFormatGif;
    }
    ~Saver() {
        FreeBitmap(&bitmap);
        FreeFormatRegistry();
    }
    // One save into memory; the file's size, or 0 when the save failed.
    size_t SaveOnce() {
        char* data = nullptr;
        size_t size = 0;
        FILE* f = open_memstream(&data, &size);
        const int result = SavePicture(nullptr, f, &bitmap, &options);
        std::fclose(f);
        std::free(data);
        return result == 0 ? size : 0;
    }
    Bitmap bitmap;
    SaveOptions options;
};

void BM_GifSaveOurs(benchmark::State& state) {
    const Kind kind = Kind(state.range(0));
    Saver saver(kind);
    size_t bytes = 0;
    for (auto _ : state) {
        bytes = saver.SaveOnce();
        if (!bytes) state.SkipWithError("save failed");
    }
    g_ours[kind].bytes = double(bytes);
    state.counters["bytes"] = double(bytes);
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_GifSaveOurs)->Arg(kPhoto)->Arg(kGraphic)->Unit(benchmark::kMillisecond);

const char kPillowScript[] = R"(
import io, sys, time
from PIL import Image
w, h, reps = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
data = open(sys.argv[1], "rb").read()
im = Image.frombytes("P", (w, h), data[768:])
im.putpalette(data[:768])
best = None
for _ in range(reps):
    buf = io.BytesIO()
    t = time.perf_counter()
    im.save(buf, "GIF")
    t = time.perf_counter() - t
    best = t if best is None or t < best else best
print(best, len(buf.getvalue()))
)";

// Pillow runs once per benchmark: the time is its best of a timed loop.
void BM_GifSavePillow(benchmark::State& state) {
    const Kind kind = Kind(state.range(0));
    Bitmap b;
    MakePicture(&b, kind);
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    const std::string raw = (dir / "pv_gif_bench.raw").string(), script = (dir / "pv_gif_bench.py").string();
    {
        std::ofstream out(raw, std::ios::binary);
        for (int i = 0; i < 256; ++i) {
            const char rgb[3] = {char(b.palette[i]), char(b.palette[kPaletteGreen + i]), char(b.palette[kPaletteBlue + i])};
            out.write(rgb, 3);
        }
        for (int y = 0; y < kHeight; ++y) out.write(reinterpret_cast<const char*>(b.pixels) + size_t(y) * size_t(b.bytesPerRow), kWidth);
        std::ofstream(script) << kPillowScript;
    }
    FreeBitmap(&b);
    Figures f;
    for (auto _ : state) {
        const std::string command = "/usr/bin/python3 " + script + " " + raw + " " + std::to_string(kWidth) + " " +
                                    std::to_string(kHeight) + " 30";
        FILE* p = popen(command.c_str(), "r");
        if (!p || std::fscanf(p, "%lf %lf", &f.seconds, &f.bytes) != 2) state.SkipWithError("Pillow did not run");
        if (p) pclose(p);
        state.SetIterationTime(f.seconds);
    }
    g_pillow[kind] = f;
    state.counters["bytes"] = f.bytes;
    std::remove(raw.c_str());
    std::remove(script.c_str());
}
BENCHMARK(BM_GifSavePillow)->Arg(kPhoto)->Arg(kGraphic)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// Ours again, timed the same way as Pillow (best of 30), and the ratios.
void BM_GifSaveRatios(benchmark::State& state) {
    const Kind kind = Kind(state.range(0));
    Saver saver(kind);
    double best = 0;
    for (auto _ : state) {
        for (int rep = 0; rep < 30; ++rep) {
            const auto start = std::chrono::steady_clock::now();
            saver.SaveOnce();
            const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (rep == 0 || t < best) best = t;
        }
        state.SetIterationTime(best);
    }
    g_ours[kind].seconds = best;
    if (g_pillow[kind].seconds > 0) {
        state.counters["time_ours_over_pillow"] = best / g_pillow[kind].seconds;
        state.counters["size_ours_over_pillow"] = g_ours[kind].bytes / g_pillow[kind].bytes;
    }
}
BENCHMARK(BM_GifSaveRatios)->Arg(kPhoto)->Arg(kGraphic)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
