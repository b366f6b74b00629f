// JPEG loads of camera-sized pictures against their peers, in the same run.
//
// At start a folder of eight 4000 x 3000 JPEGs is made with ImageMagick,
// cjpeg and exiftool (baseline 2x2 and 2x1, progressive; four carry a
// 160 x 120 EXIF thumbnail, as cameras write them).
//  - Thumbnails into 160 x 120, the whole folder per iteration:
//    BM_ThumbnailFolder (the browser's options: the EXIF thumbnail where there
//    is one, else DCT scaling), BM_ThumbnailFolderNoExif (DCT scaling only),
//    against BM_PeerVipsthumbnail (one vipsthumbnail process for the folder)
//    and the floor BM_PeerDjpegEighth (djpeg -scale 1/8 -dct fast -nosmooth,
//    one process per file) with BM_LibjpegEighth (the same decode in process).
//  - Full decode of one picture: BM_FullDecode against BM_PeerDjpeg (djpeg to
//    /dev/null) and BM_LibjpegFull (the same decode in process).
// Peers run as subprocesses, timed around the call (UseManualTime).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "imagelib/textutil.h"
#include "peer.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 8;

struct Folder {
    fs::path dir;
    std::vector<std::string> files;
    bool ok = false;
};

// The folder's path for the clean-up at exit, kept apart from the folder's
// record, which is gone by then.
char g_folderPath[1024];

bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

const Folder& Pictures() {
    static const Folder folder = [] {
        Folder f;
        f.dir = fs::temp_directory_path() / ("pv-bench-jpeg-" + std::to_string(std::rand()));
        fs::create_directories(f.dir);
        std::snprintf(g_folderPath, sizeof g_folderPath, "%s", f.dir.string().c_str());
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(g_folderPath, ec);
        });
        const std::string convert = fs::exists("/usr/bin/convert") ? "/usr/bin/convert" : "convert";
        // Two source pictures: a plasma field with grain, like a photograph's.
        const fs::path thumb = f.dir / "thumb.jpg";
        for (int s = 0; s < 2; ++s) {
            const fs::path ppm = f.dir / ("source" + std::to_string(s) + ".ppm");
            if (!Run(convert + " -size 1000x750 -seed " + std::to_string(11 + s) +
                     " plasma:fractal -resize 4000x3000! -attenuate 0.5 +noise Gaussian " + Quote(ppm)))
                return f;
        }
        if (!Run(convert + " " + Quote(f.dir / "source0.ppm") + " -resize 160x120! -quality 85 " + Quote(thumb)))
            return f;
        const char* const kOptions[kFiles] = {
            "-quality 92", "-quality 92 -sample 2x1", "-quality 85 -progressive", "-quality 95",
            "-quality 92", "-quality 92 -sample 2x1", "-quality 85 -progressive", "-quality 95",
        };
        for (int i = 0; i < kFiles; ++i) {
            const fs::path out = f.dir / ("photo" + std::to_string(i) + ".jpg");
            const fs::path src = f.dir / ("source" + std::to_string(i % 2) + ".ppm");
            if (!Run(std::string("cjpeg ") + kOptions[i] + " -outfile " + Quote(out) + " " + Quote(src))) return f;
            if (i < kFiles / 2 &&
                !Run("exiftool -q -overwrite_original -Make=Bench -ThumbnailImage'<='" + Quote(thumb) + " " +
                     Quote(out)))
                return f;
            f.files.push_back(out.string());
        }
        fs::remove(f.dir / "source0.ppm");
        fs::remove(f.dir / "source1.ppm");
        InitFormatRegistry();
        f.ok = true;
        return f;
    }();
    return folder;
}

void LoadFolder(benchmark::State& state, uint8_t embeddedThumbnailMode) {
    const Folder& folder = Pictures();
    if (!folder.ok) {
        state.SkipWithError("could not make the pictures (ImageMagick, cjpeg, exiftool)");
        return;
    }
    std::vector<std::wstring> names;
    for (const std::string& f : folder.files) names.push_back(Utf8ToWide(f.c_str()));
    // The thumbnail loader's options: reduced, extension checked, damaged
    // files accepted, three-byte output, a 160 x 120 box.
    LoadOptions options;
    InitLoadOptions(&options);
    options.flags = 0x1C04;
    options.targetWidth = 160;
    options.targetHeight = 120;
    options.embeddedThumbnailMode = embeddedThumbnailMode;
    for (auto _ : state) {
        for (const std::wstring& name : names) {
            Bitmap bitmap{};
            if (LoadPictureFromFile(name.c_str(), &bitmap, &options, nullptr) != kLoadOk)
                state.SkipWithError("load failed");
            benchmark::DoNotOptimize(bitmap.pixels);
            FreeBitmap(&bitmap);
        }
    }
}

void BM_ThumbnailFolder(benchmark::State& state) { LoadFolder(state, 1); }
void BM_ThumbnailFolderNoExif(benchmark::State& state) { LoadFolder(state, 0); }

void TimedCommand(benchmark::State& state, const std::string& command) {
    if (!Pictures().ok) {
        state.SkipWithError("could not make the pictures");
        return;
    }
    bench_support::TimePeerCommand(state, command + " >/dev/null 2>&1");
}

void BM_PeerVipsthumbnail(benchmark::State& state) {
    const Folder& f = Pictures();
    std::string command = "vipsthumbnail";
    for (const std::string& file : f.files) command += " " + Quote(file);
    command += " -s 160x120 -o " + Quote(f.dir / "%s-vips.jpg");
    TimedCommand(state, command);
}

void BM_PeerDjpegEighth(benchmark::State& state) {
    std::string command = "true";
    for (const std::string& file : Pictures().files)
        command += "; djpeg -scale 1/8 -dct fast -nosmooth -outfile /dev/null " + Quote(file);
    TimedCommand(state, command);
}

void BM_PeerDjpeg(benchmark::State& state) {
    TimedCommand(state, "djpeg -outfile /dev/null " + Quote(Pictures().files[0]));
}

// libjpeg alone: the decode the reader asks for, rows into one buffer.
void DecodeWithLibjpeg(const std::string& file, bool eighth) {
    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (!in) return;
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, in);
    jpeg_read_header(&cinfo, TRUE);
    if (eighth) {
        cinfo.scale_num = 1;
        cinfo.scale_denom = 8;
        cinfo.dct_method = JDCT_IFAST;
        cinfo.do_fancy_upsampling = FALSE;
    }
    jpeg_start_decompress(&cinfo);
    std::vector<JSAMPLE> row(size_t(cinfo.output_width) * cinfo.output_components);
    JSAMPROW rows[1] = {row.data()};
    while (cinfo.output_scanline < cinfo.output_height) jpeg_read_scanlines(&cinfo, rows, 1);
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(in);
    benchmark::DoNotOptimize(row.data());
}

void BM_LibjpegEighth(benchmark::State& state) {
    if (!Pictures().ok) return state.SkipWithError("could not make the pictures");
    for (auto _ : state)
        for (const std::string& file : Pictures().files) DecodeWithLibjpeg(file, true);
}

void BM_FullDecode(benchmark::State& state) {
    if (!Pictures().ok) return state.SkipWithError("could not make the pictures");
    const std::wstring name = Utf8ToWide(Pictures().files[0].c_str());
    LoadOptions options;
    InitLoadOptions(&options);
    for (auto _ : state) {
        Bitmap bitmap{};
        if (LoadPictureFromFile(name.c_str(), &bitmap, &options, nullptr) != kLoadOk)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(bitmap.pixels);
        FreeBitmap(&bitmap);
    }
}

void BM_LibjpegFull(benchmark::State& state) {
    if (!Pictures().ok) return state.SkipWithError("could not make the pictures");
    for (auto _ : state) DecodeWithLibjpeg(Pictures().files[0], false);
}

BENCHMARK(BM_ThumbnailFolder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThumbnailFolderNoExif)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeerVipsthumbnail)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeerDjpegEighth)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibjpegEighth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeerDjpeg)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibjpegFull)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
