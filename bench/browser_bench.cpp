// The browser's model against its peers, in one run:
//  - BM_ScanFolder: the scan of a folder of 10,000 picture files, against
//    BM_PeerListing, a plain listing of the same folder with each item's
//    size and time (readdir and fstatat), which any scan needs at least.
//  - BM_WorkerColdFolder: thumbnails of a folder of 200 camera-sized JPEGs
//    (4000 x 3000, no EXIF thumbnail) through the thumbnail worker into the
//    default 70 x 70 box with an empty cache, screen bitmaps included,
//    against BM_PeerVipsThumbnail (vips_thumbnail in this process, one
//    thread, cache off). Counters: pictures per second; the PSNR of one
//    thumbnail of each against a box-filtered full decode.
//  - after the table: 1,000 thumbnails (70 x 53 RGB, 11 KB each) read back
//    from a cache file (its open and the lookups), alone and made into screen
//    bitmaps, against zlib inflating the same deflated bytes into one buffer,
//    timed in alternation (bench/interleaved.h). Goal: at most 1.05x.
//  - BM_BudgetHitRate: a folder of the 200 pictures' thumbnails stored,
//    compacted within the budget and visited again; counter hit_rate.
// The pictures are made at start (ImageMagick and cjpeg); nothing is kept.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <vips/vips.h>
#include <zlib.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "bench/interleaved.h"
#include "bench/vipspeer.h"
#include "display/display.h"
#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "imagelib/textutil.h"
#include "shell/pictureload.h"
#include "shell/system.h"
#include "shell/thumbcache.h"
#include "shell/thumbworker.h"

namespace {

namespace fs = std::filesystem;

constexpr int kScanFiles = 10000;
constexpr int kCameraFiles = 200;
constexpr int kDistinctPictures = 4;
constexpr int kCacheThumbnails = 1000;
constexpr int32_t kBox = 70;

std::vector<std::string> g_cleanUp;

fs::path NewFolder(const char* what) {
    std::random_device random;
    const fs::path dir =
        fs::temp_directory_path() / ("pv-bench-" + std::string(what) + "-" + std::to_string(random()) + std::to_string(random()));
    fs::create_directories(dir);
    if (g_cleanUp.empty())
        std::atexit([] {
            std::error_code ec;
            for (const std::string& d : g_cleanUp) fs::remove_all(d, ec);
        });
    g_cleanUp.push_back(dir.string());
    return dir;
}

std::wstring WideFolder(const fs::path& dir) { return Utf8ToWide(dir.string().c_str()) + L"/"; }

bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// ---------------------------------------------------------------------------
// Scan.

const fs::path& ScanFolderPath() {
    static const fs::path dir = [] {
        const fs::path d = NewFolder("scan");
        static const char* const kExtensions[] = {".jpg", ".png", ".gif", ".txt"};
        for (int i = 0; i < kScanFiles; ++i) {
            const std::string name = "picture" + std::to_string(i) + kExtensions[i % 4];
            std::FILE* f = std::fopen((d / name).c_str(), "wb");
            if (f) std::fclose(f);
        }
        return d;
    }();
    return dir;
}

void BM_ScanFolder(benchmark::State& state) {
    const std::wstring folder = WideFolder(ScanFolderPath());
    for (auto _ : state) {
        FileList list;
        ScanFolder(SystemListFolder, folder, false, &list);
        benchmark::DoNotOptimize(list.data());
    }
    state.counters["files"] = kScanFiles;
}

void BM_PeerListing(benchmark::State& state) {
    const std::string folder = ScanFolderPath().string();
    for (auto _ : state) {
        DIR* dir = opendir(folder.c_str());
        uint64_t total = 0;
        while (const dirent* e = readdir(dir)) {
            struct stat st;
            if (fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) total += uint64_t(st.st_size) + uint64_t(st.st_mtime);
        }
        closedir(dir);
        benchmark::DoNotOptimize(total);
    }
}

// ---------------------------------------------------------------------------
// Camera pictures.

struct CameraFolder {
    fs::path dir;
    std::vector<std::string> files;
    bool ok = false;
};

const CameraFolder& Camera() {
    static const CameraFolder folder = [] {
        CameraFolder f;
        f.dir = NewFolder("camera");
        const std::string convert = fs::exists("/usr/bin/convert") ? "/usr/bin/convert" : "convert";
        for (int s = 0; s < kDistinctPictures; ++s) {
            const fs::path ppm = f.dir / ("source" + std::to_string(s) + ".ppm");
            const fs::path jpg = f.dir / ("distinct" + std::to_string(s) + ".jpg");
            if (!Run(convert + " -size 1000x750 -seed " + std::to_string(31 + s) +
                     " plasma:fractal -resize 4000x3000! -attenuate 0.5 +noise Gaussian '" + ppm.string() + "'") ||
                !Run("cjpeg -quality 92 -outfile '" + jpg.string() + "' '" + ppm.string() + "'"))
                return f;
            fs::remove(ppm);
        }
        for (int i = 0; i < kCameraFiles; ++i) {
            const fs::path out = f.dir / ("img_" + std::to_string(1000 + i) + ".jpg");
            fs::copy_file(f.dir / ("distinct" + std::to_string(i % kDistinctPictures) + ".jpg"), out);
            f.files.push_back(out.string());
        }
        for (int s = 0; s < kDistinctPictures; ++s) fs::remove(f.dir / ("distinct" + std::to_string(s) + ".jpg"));
        InitFormatRegistry();
        DisplayInitForDepth(16);
        f.ok = true;
        return f;
    }();
    return folder;
}

// Pictures as packed RGB rows.
struct Rgb {
    int w = 0, h = 0;
    std::vector<uint8_t> px;
};

Rgb RgbOf(const Bitmap& b) {
    Rgb out;
    out.w = b.width;
    out.h = b.height;
    out.px.resize(size_t(b.width) * size_t(b.height) * 3);
    const bool bgr = b.pixelType == kPixelBGR;
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x) {
            const uint8_t* p = b.pixels + size_t(y) * size_t(b.bytesPerRow) + size_t(x) * b.bytesPerPixel;
            uint8_t* q = &out.px[(size_t(y) * size_t(b.width) + size_t(x)) * 3];
            for (int c = 0; c < 3; ++c) q[c] = b.bytesPerPixel == 1 ? p[0] : p[bgr ? 2 - c : c];
        }
    return out;
}

// The box filter: each output pixel is the mean of the source pixels whose
// centres fall in its cell.
Rgb BoxFilter(const Rgb& src, int w, int h) {
    Rgb out;
    if (w < 1 || h < 1 || src.w < w || src.h < h) return out;
    out.w = w;
    out.h = h;
    out.px.resize(size_t(w) * size_t(h) * 3);
    for (int y = 0; y < h; ++y) {
        const int y0 = int(int64_t(y) * src.h / h), y1 = int(int64_t(y + 1) * src.h / h);
        for (int x = 0; x < w; ++x) {
            const int x0 = int(int64_t(x) * src.w / w), x1 = int(int64_t(x + 1) * src.w / w);
            uint64_t sum[3] = {0, 0, 0};
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx)
                    for (int c = 0; c < 3; ++c) sum[c] += src.px[(size_t(sy) * size_t(src.w) + size_t(sx)) * 3 + size_t(c)];
            const uint64_t n = uint64_t(y1 - y0) * uint64_t(x1 - x0);
            for (int c = 0; c < 3; ++c)
                out.px[(size_t(y) * size_t(w) + size_t(x)) * 3 + size_t(c)] = uint8_t((sum[c] + n / 2) / n);
        }
    }
    return out;
}

double Psnr(const Rgb& a, const Rgb& b) {
    if (a.w != b.w || a.h != b.h) return 0;
    double se = 0;
    for (size_t i = 0; i < a.px.size(); ++i) se += (double(a.px[i]) - b.px[i]) * (double(a.px[i]) - b.px[i]);
    const double mse = se / double(a.px.size());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

const Rgb& Reference() {
    static const Rgb reference = [] {
        Bitmap full{};
        LoadOptions options;
        InitLoadOptions(&options);
        LoadPictureFromFile(Utf8ToWide(Camera().files[0].c_str()).c_str(), &full, &options, nullptr);
        Rgb rgb = RgbOf(full);
        FreeBitmap(&full);
        return rgb;
    }();
    return reference;
}

// The worker's surroundings for a benchmark: messages counted, screen
// bitmaps in memory.
struct BenchHost {
    std::mutex lock;
    std::condition_variable changed;
    bool done = false;
    int highQuality = 0;
    std::vector<void*> bitmaps;

    ThumbServices Services() {
        ThumbServices s;
        s.post = [](void* user, uint32_t message, uintptr_t, intptr_t) {
            auto* host = static_cast<BenchHost*>(user);
            if (message != kThumbsDoneMessage) return;
            std::lock_guard<std::mutex> hold(host->lock);
            host->done = true;
            host->changed.notify_all();
        };
        s.drain = [](void*) {};
        s.load = [](void*, const wchar_t* path, Bitmap* bitmap, ImageInfo* info, int32_t w, int32_t h, int hq,
                    const std::atomic<bool>*) {
            return LoadPictureThumbnail(path, bitmap, info, w, h, 0, 1, hq, 1, nullptr);
        };
        s.makeScreenBitmap = [](void*, const Bitmap* b) {
            return MakeScreenBitmapWith(MemoryDibServices(), b, b->width, b->height, nullptr);
        };
        s.toLocalTime = FileTimeToLocalTime;
        s.user = this;
        return s;
    }
    void Wait() {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [this] { return done; });
        done = false;
    }
};

void FreeThumbnails(FileList* list) {
    for (FileListEntry& e : *list)
        if (e.thumbnail) MemoryDibServices()->deleteDib(e.thumbnail);
}

void WorkerColdFolder(benchmark::State& state, int highQuality) {
    const CameraFolder& camera = Camera();
    if (!camera.ok) {
        state.SkipWithError("could not make the pictures (ImageMagick, cjpeg)");
        return;
    }
    const std::wstring folder = WideFolder(camera.dir);
    BenchHost host;
    ThumbWorker worker(host.Services());
    Rgb first;
    for (auto _ : state) {
        FileList list;
        ScanFolder(SystemListFolder, folder, false, &list);
        ThumbCache cache;
        cache.Open(folder, kBox, kBox);
        worker.Start(&list, &cache, ThumbJob{kBox, kBox, highQuality});
        host.Wait();
        worker.Finish(worker.CurrentRun());
        state.PauseTiming();
        cache.Close(false);
        fs::remove(camera.dir / "cache.zt");
        FreeThumbnails(&list);
        state.ResumeTiming();
    }
    Bitmap thumb{};
    ImageInfo info{};
    LoadPictureThumbnail(Utf8ToWide(camera.files[0].c_str()).c_str(), &thumb, &info, kBox, kBox, 0, 1, highQuality,
                         1, nullptr);
    const Rgb ours = RgbOf(thumb);
    FreeBitmap(&thumb);
    state.counters["pictures_per_s"] =
        benchmark::Counter(double(kCameraFiles) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["psnr_db"] = Psnr(ours, BoxFilter(Reference(), ours.w, ours.h));
}

void BM_WorkerColdFolder(benchmark::State& state) { WorkerColdFolder(state, 0); }
void BM_WorkerColdFolderHighQuality(benchmark::State& state) { WorkerColdFolder(state, 1); }

void BM_PeerVipsThumbnail(benchmark::State& state) {
    const CameraFolder& camera = Camera();
    if (!camera.ok) {
        state.SkipWithError("could not make the pictures (ImageMagick, cjpeg)");
        return;
    }
    if (!bench_support::StartVips()) {
        state.SkipWithError("libvips did not start");
        return;
    }
    Rgb first;
    for (auto _ : state) {
        for (size_t i = 0; i < camera.files.size(); ++i) {
            VipsImage* out = nullptr;
            if (vips_thumbnail(camera.files[i].c_str(), &out, kBox, "height", kBox, nullptr) != 0) {
                state.SkipWithError("vips_thumbnail failed");
                return;
            }
            size_t size = 0;
            void* pixels = vips_image_write_to_memory(out, &size);
            if (i == 0 && first.px.empty() && vips_image_get_bands(out) == 3) {
                first.w = vips_image_get_width(out);
                first.h = vips_image_get_height(out);
                first.px.assign(static_cast<uint8_t*>(pixels), static_cast<uint8_t*>(pixels) + size);
            }
            g_free(pixels);
            g_object_unref(out);
        }
    }
    state.counters["pictures_per_s"] =
        benchmark::Counter(double(kCameraFiles) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["psnr_db"] = Psnr(first, BoxFilter(Reference(), first.w, first.h));
}

// ---------------------------------------------------------------------------
// The cache file.

// A 70 x 53 thumbnail of one of the camera pictures' kind: made once from
// the first picture, varied per record so that no two are alike.
struct CacheFolder {
    fs::path dir;
    std::wstring folder;
    std::vector<std::vector<uint8_t>> deflated;  // each record's deflated pixels
    size_t pixelBytes = 0;
    bool ok = false;
};

const CacheFolder& WarmCache() {
    static const CacheFolder folder = [] {
        CacheFolder f;
        const CameraFolder& camera = Camera();
        if (!camera.ok) return f;
        f.dir = NewFolder("cache");
        f.folder = WideFolder(f.dir);
        Bitmap thumb{};
        ImageInfo info{};
        LoadPictureThumbnail(Utf8ToWide(camera.files[0].c_str()).c_str(), &thumb, &info, kBox, kBox, 0, 1, 0, 1,
                             nullptr);
        f.pixelBytes = size_t(thumb.bytesPerRow) * size_t(thumb.height);
        ThumbCache cache(UINT64_MAX);
        cache.Open(f.folder, kBox, kBox);
        for (int i = 0; i < kCacheThumbnails; ++i) {
            for (size_t p = 0; p < f.pixelBytes; p += 97) thumb.pixels[p] = uint8_t(thumb.pixels[p] + i);
            const std::wstring path = f.folder + L"img_" + std::to_wstring(i) + L".jpg";
            cache.Store(path.c_str(), uint64_t(i), thumb, info);
            std::vector<uint8_t> payload;
            EncodeThumbPayload(thumb, &payload);
            f.deflated.emplace_back(payload.begin() + kThumbDescriptionBytes, payload.end());
        }
        cache.Close(false);
        FreeBitmap(&thumb);
        f.ok = true;
        return f;
    }();
    return folder;
}

// Opens the cache and looks up every thumbnail, made into a screen bitmap
// when `screen`; false on a miss.
bool ReadWarmCache(const CacheFolder& f, bool screen) {
    ThumbCache cache;
    cache.Open(f.folder, kBox, kBox);
    for (int i = 0; i < kCacheThumbnails; ++i) {
        const std::wstring path = f.folder + L"img_" + std::to_wstring(i) + L".jpg";
        Bitmap b{};
        ImageInfo info{};
        if (!cache.Lookup(path.c_str(), uint64_t(i), &b, &info)) return false;
        if (screen) MemoryDibServices()->deleteDib(MakeScreenBitmapWith(MemoryDibServices(), &b, b.width, b.height, nullptr));
        FreeBitmap(&b);
    }
    cache.Close(false);  // every record used, nothing stored: no rewrite
    return true;
}

// Returns the exit status (bench_support::PrintVerdict).
int CompareWarmCacheRead(int rounds) {
    const CacheFolder& f = WarmCache();
    if (!f.ok || !ReadWarmCache(f, false)) {
        std::printf("the warm cache could not be made or read\n");
        return bench_support::PrintVerdict(0, false);
    }
    std::vector<uint8_t> out(f.pixelBytes);
    const auto inflateAll = [&] {
        for (const std::vector<uint8_t>& d : f.deflated) {
            uLongf length = uLongf(out.size());
            uncompress(out.data(), &length, d.data(), uLong(d.size()));
        }
    };
    std::printf("\nthe warm cache, median of %d alternating rounds:\n", rounds);
    const auto plain = bench_support::TimeAgainstPeer(rounds, [&] { ReadWarmCache(f, false); }, inflateAll);
    bench_support::PrintRatio("1,000 cached thumbnails", "zlib inflate", plain, 1.05);
    const auto screen = bench_support::TimeAgainstPeer(rounds, [&] { ReadWarmCache(f, true); }, inflateAll);
    bench_support::PrintRatio("... made into screen bitmaps", "zlib inflate", screen, 1.05);
    return bench_support::PrintVerdict(2, plain.median <= 1.05 && screen.median <= 1.05);
}

void BM_BudgetHitRate(benchmark::State& state) {
    const CameraFolder& camera = Camera();
    if (!camera.ok) {
        state.SkipWithError("no pictures");
        return;
    }
    const fs::path dir = NewFolder("budget");
    const std::wstring folder = WideFolder(dir);
    // The thumbnails of the 200 camera pictures (four distinct ones, each
    // changed a little per copy so that they deflate like different
    // photographs of one scene).
    double rate = 0;
    size_t kept = 0;
    for (auto _ : state) {
        {
            ThumbCache cache;
            cache.Open(folder, kBox, kBox);
            for (int i = 0; i < kCameraFiles; ++i) {
                Bitmap thumb{};
                ImageInfo info{};
                LoadPictureThumbnail(Utf8ToWide(camera.files[size_t(i % kDistinctPictures)].c_str()).c_str(), &thumb,
                                     &info, kBox, kBox, 0, 1, 0, 1, nullptr);
                for (size_t p = size_t(i); p < size_t(thumb.bytesPerRow) * size_t(thumb.height); p += 53)
                    thumb.pixels[p] ^= uint8_t(i);
                cache.Store((folder + L"img_" + std::to_wstring(i) + L".jpg").c_str(), 1, thumb, info);
                FreeBitmap(&thumb);
            }
            cache.Close(true);
        }
        ThumbCache cache;
        cache.Open(folder, kBox, kBox);
        kept = cache.Records().size();
        int hits = 0;
        for (int i = 0; i < kCameraFiles; ++i) {
            Bitmap b{};
            ImageInfo info{};
            hits += cache.Lookup((folder + L"img_" + std::to_wstring(i) + L".jpg").c_str(), 1, &b, &info);
            FreeBitmap(&b);
        }
        cache.Close(true);
        fs::remove(dir / "cache.zt");
        rate = double(hits) / kCameraFiles;
    }
    state.counters["hit_rate"] = rate;
    state.counters["records_kept"] = double(kept);
}

}  // namespace

BENCHMARK(BM_ScanFolder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeerListing)->Unit(benchmark::kMillisecond);
// The worker's time is on its own thread: these are timed by the clock.
BENCHMARK(BM_WorkerColdFolder)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_WorkerColdFolderHighQuality)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_PeerVipsThumbnail)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_BudgetHitRate)->Unit(benchmark::kMillisecond)->Iterations(1);

// The table, then the warm cache's comparison (--benchmark_filter=none runs
// only the comparison).
int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return CompareWarmCacheRead(15);
}
