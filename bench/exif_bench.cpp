// The full EXIF property list of a camera JPEG with maker notes against
// exiftool -j -n of the same file, in the same run.
//
// At start the EXIF test fixtures are made in a temporary folder (the test
// folder's make_fixtures.py: ImageMagick, exiftool and a byte-built Nikon
// maker note with enciphered lens data), and exiftool adds a camera's usual
// tags, GPS and a thumbnail to the Nikon picture.
//  - BM_PropertyList: a load that keeps the metadata (the picture is
//    96 x 64, so the decode costs little), then the whole property list
//    enumerated, per iteration.
//  - BM_PropertyListOfBlock: the property list of the EXIF block in memory.
//  - BM_PeerExiftool: one `exiftool -j -n` process (UseManualTime).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "imagelib/bitmap.h"
#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "imagelib/loadcontext.h"
#include "imagelib/textutil.h"
#include "peer.h"
#include "processing/exif_props.h"

namespace {

namespace fs = std::filesystem;

char g_folderPath[1024];

bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

struct Camera {
    fs::path file;
    bool ok = false;
};

const Camera& CameraFile() {
    static const Camera camera = [] {
        Camera c;
        const fs::path dir = fs::temp_directory_path() / ("pv-bench-exif-" + std::to_string(std::rand()));
        fs::create_directories(dir);
        std::snprintf(g_folderPath, sizeof g_folderPath, "%s", dir.string().c_str());
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(g_folderPath, ec);
        });
        const fs::path script = fs::path(PV_SOURCE_DIR) / "tests" / "exif" / "make_fixtures.py";
        c.file = dir / "nikon3.jpg";
        c.ok = Run("/usr/bin/python3 " + Quote(script) + " " + Quote(dir)) &&
               Run("exiftool -q -overwrite_original -ExposureTime=1/250 -FNumber=5.6 -ISO=200 -EXIF:Flash#=25"
                   " -FocalLength=35 -ExposureProgram#=3 -MeteringMode#=5 -Software=bench -Artist=bench"
                   " -DateTimeOriginal='2026:12:10 12:00:00' -GPSLatitude='48 51 24' -GPSLatitudeRef=N"
                   " -GPSLongitude='2 21 7.5' -GPSLongitudeRef=E -GPSAltitude=35 '-ThumbnailImage<=" +
                   (dir / "thumb.jpg").string() + "' " + Quote(c.file));
        InitFormatRegistry();
        return c;
    }();
    return camera;
}

struct Count {
    size_t items;
    size_t bytes;
};

void CountItem(void* context, uint32_t, uint16_t, const char* name, const char* text) {
    auto* c = static_cast<Count*>(context);
    ++c->items;
    c->bytes += text ? std::strlen(text) : std::strlen(name);
}

// Loads the camera picture keeping its metadata; false (and the benchmark
// skipped) when it cannot.
bool LoadCamera(benchmark::State& state, Bitmap* bitmap) {
    const Camera& camera = CameraFile();
    if (!camera.ok) {
        state.SkipWithError("could not make the camera JPEG (python3, ImageMagick, exiftool)");
        return false;
    }
    const std::wstring name = Utf8ToWide(camera.file.string().c_str());
    LoadOptions options;
    InitLoadOptions(&options);
    options.flags |= kLoadKeepMetadata;
    *bitmap = Bitmap{};
    if (LoadPictureFromFile(name.c_str(), bitmap, &options, nullptr) == kLoadOk) return true;
    state.SkipWithError("the load failed");
    return false;
}

void BM_PropertyList(benchmark::State& state) {
    size_t items = 0;
    for (auto _ : state) {
        Bitmap bitmap;
        if (!LoadCamera(state, &bitmap)) break;
        Count count{0, 0};
        ExifEnumProperties(bitmap.metadata, CountItem, &count);
        FreeBitmap(&bitmap);
        items = count.items;
        benchmark::DoNotOptimize(count.bytes);
    }
    state.counters["properties"] = double(items);
}

void BM_PropertyListOfBlock(benchmark::State& state) {
    Bitmap bitmap;
    if (!LoadCamera(state, &bitmap)) return;
    size_t items = 0;
    for (auto _ : state) {
        Count count{0, 0};
        ExifEnumProperties(bitmap.metadata, CountItem, &count);
        items = count.items;
        benchmark::DoNotOptimize(count.bytes);
    }
    state.counters["properties"] = double(items);
    FreeBitmap(&bitmap);
}

void BM_PeerExiftool(benchmark::State& state) {
    const Camera& camera = CameraFile();
    if (!camera.ok) {
        state.SkipWithError("could not make the camera JPEG (python3, ImageMagick, exiftool)");
        return;
    }
    bench_support::TimePeerCommand(state, "exiftool -j -n " + Quote(camera.file) + " >/dev/null 2>&1");
}

}  // namespace

BENCHMARK(BM_PropertyList)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PropertyListOfBlock)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PeerExiftool)->UseManualTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
