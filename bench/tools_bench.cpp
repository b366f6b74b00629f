// Batch resize and convert.
//
// Resize: 100 camera-sized JPEGs (4000 x 3000) to 640 x 480 JPEG at quality 75.
// - BM_ResizeToolApplyLoop: the resize tool's apply loop without its sheet
//   (reduced JPEG decode, resample, the shared save with its output name).
// - BM_PeerVips: vips_thumbnail then vips_jpegsave in this process, one
//   thread, no operation cache. Goal: ours per picture within 1.2x of it.
// - BM_PeerMogrify: ImageMagick's mogrify over the same files as a whole run
//   (a process of its own), reported beside the others.
//
// Convert, after the table: 50 JPEGs of 1600 x 1200 to PNG at compression 7
// with the adaptive filters: the convert tool's apply loop against
// vips_jpegload and vips_pngsave with the same settings, timed in
// alternation (bench/interleaved.h; --benchmark_filter=none runs only this).
// Both write the same image data (the IDAT bytes are compared). Goal: at
// most 1.0x.
//
// The pictures are made at run time (ImageMagick and cjpeg) and never kept.
#include <benchmark/benchmark.h>
#include <vips/vips.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/interleaved.h"
#include "bench/peer.h"
#include "bench/vipspeer.h"
#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "imagelib/textutil.h"
#include "shell/filelist.h"
#include "shell/pictureload.h"
#include "tools/batch.h"
#include "tools/output.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPictures = 100;
constexpr int kConvertPictures = 50;
constexpr int kDistinct = 4;
constexpr int kQuality = 75;
constexpr int kPngCompression = 7;

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

struct CameraFolder {
    fs::path dir;
    std::vector<std::string> files;
    std::vector<SelectedFile> selection;
    bool ok = false;
    ~CameraFolder() {
        std::error_code ec;
        if (!dir.empty()) fs::remove_all(dir, ec);
    }
};

fs::path NewFolder(const char* name) {
    std::random_device rd;
    const fs::path dir = fs::temp_directory_path() / ("pvbench-" + std::to_string(rd()) + "-" + name);
    fs::create_directories(dir);
    return dir;
}

// `count` photo-like JPEGs of width x height (kDistinct different ones,
// copied round), in the folder's "in".
CameraFolder MakePictures(const char* name, int count, int width, int height) {
    CameraFolder f;
    f.dir = NewFolder(name);
    fs::create_directories(f.dir / "in");
    const std::string convert = fs::exists("/usr/bin/convert") ? "/usr/bin/convert" : "convert";
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    for (int s = 0; s < kDistinct; ++s) {
        const fs::path ppm = f.dir / ("source" + std::to_string(s) + ".ppm");
        const fs::path jpg = f.dir / ("distinct" + std::to_string(s) + ".jpg");
        if (!Run(convert + " -size " + std::to_string(width / 4) + "x" + std::to_string(height / 4) + " -seed " +
                 std::to_string(41 + s) + " plasma:fractal -resize " + size + "! -attenuate 0.5 +noise Gaussian '" +
                 ppm.string() + "'") ||
            !Run("cjpeg -quality 92 -outfile '" + jpg.string() + "' '" + ppm.string() + "'"))
            return f;
        fs::remove(ppm);
    }
    for (int i = 0; i < count; ++i) {
        const fs::path out = f.dir / "in" / ("img_" + std::to_string(1000 + i) + ".jpg");
        fs::copy_file(f.dir / ("distinct" + std::to_string(i % kDistinct) + ".jpg"), out);
        f.files.push_back(out.string());
        SelectedFile selected{};
        CopyWideTextBounded(selected.path, kListPathCapacity, Utf8ToWide(out.string().c_str()).c_str());
        selected.index = uint32_t(i);
        f.selection.push_back(selected);
    }
    for (int s = 0; s < kDistinct; ++s) fs::remove(f.dir / ("distinct" + std::to_string(s) + ".jpg"));
    InitFormatRegistry();
    f.ok = true;
    return f;
}

const CameraFolder& Camera() {
    static const CameraFolder folder = MakePictures("tools", kPictures, 4000, 3000);
    return folder;
}

void ResetOutput(const fs::path& out) {
    std::error_code ec;
    fs::remove_all(out, ec);
    fs::create_directories(out);
}

struct ResizeRun {
    ResizeRequest request;
    OutputOptions options;
    OutputFolder folder{};
    ImageInfo header{};  // what the file being resized declares
    ~ResizeRun() { FreePictureInfo(&header); }
};

void BM_ResizeToolApplyLoop(benchmark::State& state) {
    const CameraFolder& camera = Camera();
    if (!camera.ok) {
        state.SkipWithError("could not make the pictures (ImageMagick, cjpeg)");
        return;
    }
    const fs::path out = camera.dir / "ours";
    ResizeRun run;
    run.request.entry = kResizeVga;
    OutputChoices choices;
    choices.format = FindFormatByName("jpeg");
    choices.jpegQuality = kQuality;
    run.options = MakeOutputOptions(choices);
    CopyWideTextBounded(run.folder.folder, kOutputPathCapacity, Utf8ToWide((out.string() + "/").c_str()).c_str());

    ApplyHooks hooks;
    hooks.user = &run;
    hooks.load = [](void* user, const wchar_t* path, Bitmap* bitmap) {
        auto* r = static_cast<ResizeRun*>(user);
        LoadOptions options{};
        FreePictureInfo(&r->header);
        ResizeLoadOptions(path, r->request, &options, &r->header);
        return LoadPictureFromFile(path, bitmap, &options, nullptr);
    };
    hooks.operate = [](void* user, const wchar_t*, Bitmap* bitmap) {
        const auto* r = static_cast<ResizeRun*>(user);
        return ApplyResize(bitmap, r->request, r->header);
    };
    hooks.save = [](void* user, const wchar_t* path, Bitmap* bitmap, bool) {
        const auto* r = static_cast<ResizeRun*>(user);
        return SaveWithOutputOptions(r->options, r->folder, path, bitmap, false, SaveHooks{});
    };
    for (auto _ : state) {
        state.PauseTiming();
        ResetOutput(out);
        state.ResumeTiming();
        const ApplyCounts counts = RunApplyLoop(camera.selection.data(), kPictures, 0, true, hooks);
        if (counts.saved != kPictures) {
            state.SkipWithError("not every picture was saved");
            break;
        }
    }
    state.counters["s_per_picture"] = benchmark::Counter(
        kPictures, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_PeerVips(benchmark::State& state) {
    const CameraFolder& camera = Camera();
    if (!camera.ok) {
        state.SkipWithError("could not make the pictures (ImageMagick, cjpeg)");
        return;
    }
    if (!bench_support::StartVips()) {
        state.SkipWithError("libvips did not start");
        return;
    }
    const fs::path out = camera.dir / "vips";
    for (auto _ : state) {
        state.PauseTiming();
        ResetOutput(out);
        state.ResumeTiming();
        for (int i = 0; i < kPictures; ++i) {
            VipsImage* image = nullptr;
            if (vips_thumbnail(camera.files[size_t(i)].c_str(), &image, 640, "height", 480, nullptr) != 0) {
                state.SkipWithError("vips_thumbnail failed");
                return;
            }
            const std::string target = (out / ("img_" + std::to_string(1000 + i) + "_m.jpg")).string();
            const int rc = vips_jpegsave(image, target.c_str(), "Q", kQuality, nullptr);
            g_object_unref(image);
            if (rc != 0) {
                state.SkipWithError("vips_jpegsave failed");
                return;
            }
        }
    }
    state.counters["s_per_picture"] = benchmark::Counter(
        kPictures, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_PeerMogrify(benchmark::State& state) {
    const CameraFolder& camera = Camera();
    if (!camera.ok) {
        state.SkipWithError("could not make the pictures (ImageMagick, cjpeg)");
        return;
    }
    const fs::path out = camera.dir / "mogrify";
    ResetOutput(out);
    bench_support::TimePeerCommand(state, "MAGICK_THREAD_LIMIT=1 mogrify -path '" + out.string() +
                                              "' -resize 640x480 -quality 75 '" + (camera.dir / "in").string() +
                                              "'/*.jpg");
}

// ---------------------------------------------------------------------------
// Convert.

struct ConvertRun {
    OutputOptions options;
    OutputFolder folder{};
};

// The convert tool's apply loop over the pictures, its files written anew
// into `out`.
bool ConvertOurs(const CameraFolder& pictures, const fs::path& out, ConvertRun* run) {
    ResetOutput(out);
    ApplyHooks hooks;
    hooks.user = run;
    hooks.load = [](void*, const wchar_t* path, Bitmap* bitmap) {
        LoadOptions options;
        InitLoadOptions(&options);
        options.flags |= kConvertLoadFlags;
        return LoadPictureOriented(path, bitmap, &options, nullptr, MetadataExifOrientation());
    };
    hooks.save = [](void* user, const wchar_t* path, Bitmap* bitmap, bool) {
        const auto* r = static_cast<ConvertRun*>(user);
        return SaveWithOutputOptions(r->options, r->folder, path, bitmap, false, SaveHooks{});
    };
    return RunApplyLoop(pictures.selection.data(), uint32_t(pictures.selection.size()), 0, true, hooks).saved ==
           pictures.selection.size();
}

bool ConvertVips(const CameraFolder& pictures, const fs::path& out) {
    ResetOutput(out);
    for (size_t i = 0; i < pictures.files.size(); ++i) {
        VipsImage* image = nullptr;
        if (vips_jpegload(pictures.files[i].c_str(), &image, "access", VIPS_ACCESS_SEQUENTIAL, nullptr) != 0)
            return false;
        const std::string target = (out / ("img_" + std::to_string(1000 + i) + ".png")).string();
        const int rc = vips_pngsave(image, target.c_str(), "compression", kPngCompression, "filter",
                                    VIPS_FOREIGN_PNG_FILTER_ALL, nullptr);
        g_object_unref(image);
        if (rc != 0) return false;
    }
    return true;
}

// The IDAT chunks' data of a PNG file, joined.
std::string ImageData(const fs::path& png) {
    std::FILE* f = std::fopen(png.c_str(), "rb");
    std::string data, idat;
    if (!f) return idat;
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) != 0;) data.append(buffer, n);
    std::fclose(f);
    for (size_t at = 8; at + 12 <= data.size();) {
        const uint32_t length = uint32_t(uint8_t(data[at])) << 24 | uint32_t(uint8_t(data[at + 1])) << 16 |
                                uint32_t(uint8_t(data[at + 2])) << 8 | uint32_t(uint8_t(data[at + 3]));
        if (data.compare(at + 4, 4, "IDAT") == 0) idat.append(data, at + 8, length);
        at += 12 + size_t(length);
    }
    return idat;
}

// Returns the exit status (bench_support::PrintVerdict).
int CompareConvert(int rounds) {
    static const CameraFolder pictures = MakePictures("convert", kConvertPictures, 1600, 1200);
    if (!pictures.ok || !bench_support::StartVips()) {
        std::printf("could not make the pictures (ImageMagick, cjpeg) or start libvips\n");
        return bench_support::PrintVerdict(0, false);
    }
    ConvertRun run;
    OutputChoices choices;
    choices.format = FindFormatByName("png");
    choices.pngCompression = kPngCompression;
    run.options = MakeOutputOptions(choices);
    const fs::path ours = pictures.dir / "ours", vips = pictures.dir / "vips";
    CopyWideTextBounded(run.folder.folder, kOutputPathCapacity, Utf8ToWide((ours.string() + "/").c_str()).c_str());
    if (!ConvertOurs(pictures, ours, &run) || !ConvertVips(pictures, vips)) {
        std::printf("a convert failed\n");
        return bench_support::PrintVerdict(0, false);
    }
    const bool same = ImageData(ours / "img_1000.png") == ImageData(vips / "img_1000.png");
    std::printf("\nconvert %d JPEGs of 1600 x 1200 to PNG (image data %s), median of %d alternating rounds:\n",
                kConvertPictures, same ? "the same bytes" : "DIFFERENT", rounds);
    const auto r = bench_support::TimeAgainstPeer(rounds, [&] { ConvertOurs(pictures, ours, &run); },
                                                  [&] { ConvertVips(pictures, vips); });
    bench_support::PrintRatio("convert tool", "vips jpegload + pngsave", r, 1.0);
    // Different image data is a different job: its time meets no goal.
    return bench_support::PrintVerdict(1, same && r.median <= 1.0);
}

}  // namespace

BENCHMARK(BM_ResizeToolApplyLoop)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_PeerVips)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_PeerMogrify)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return CompareConvert(5);
}
