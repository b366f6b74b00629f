// JPEG loads of camera-sized pictures against their peers, in the same
// process on the same bytes in memory.
//
// At start a folder of eight 4000 x 3000 JPEGs is made with ImageMagick,
// cjpeg and exiftool (baseline 2x2 and 2x1, progressive; four carry a
// 160 x 120 EXIF thumbnail, as cameras write them) and read into memory.
//  - Thumbnails into 160 x 120, the whole folder per iteration:
//    BM_ThumbnailFolderNoExif (DCT scaling) against libvips'
//    vips_thumbnail_buffer on one thread (BM_PeerVipsThumbnail), and against
//    the same library called directly at 1/8 (BM_LibjpegEighth, the goal:
//    within 3 %) and TurboJPEG's scaled decode (BM_PeerTurboEighth).
//    BM_ThumbnailFolderExifShortcut is the browser's way (the EXIF
//    thumbnail where there is one): its own line, in no ratio.
//  - Full decode of one picture: BM_FullDecode against libjpeg called
//    directly (BM_LibjpegFull, goal within 3 %) and TurboJPEG
//    (BM_PeerTurboFull).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <turbojpeg.h>

#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "imagelib/textutil.h"
#include "tests/support/testfiles.h"
#include "vipspeer.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 8;

struct Folder {
    fs::path dir;
    std::vector<std::string> files;
    std::vector<std::vector<uint8_t>> bytes;  // each file, read once
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
        for (const std::string& file : f.files)
            f.bytes.push_back(testing_support::ReadBytes(Utf8ToWide(file.c_str())));
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
    // The thumbnail loader's options: reduced, extension checked, damaged
    // files accepted, three-byte output, a 160 x 120 box.
    LoadOptions options;
    InitLoadOptions(&options);
    options.flags = kLoadReduced | kLoadExtensionOnly | kLoadAcceptDamaged | kLoadPreferThreeBytes;
    options.targetWidth = 160;
    options.targetHeight = 120;
    options.embeddedThumbnailMode = embeddedThumbnailMode;
    for (auto _ : state) {
        for (const std::vector<uint8_t>& file : folder.bytes) {
            Bitmap bitmap{};
            if (LoadPictureFromMemory(file.data(), file.size(), L"x.jpg", &bitmap, &options, nullptr) != kLoadOk)
                state.SkipWithError("load failed");
            benchmark::DoNotOptimize(bitmap.pixels);
            FreeBitmap(&bitmap);
        }
    }
}

void BM_ThumbnailFolderExifShortcut(benchmark::State& state) { LoadFolder(state, 1); }
void BM_ThumbnailFolderNoExif(benchmark::State& state) { LoadFolder(state, 0); }

void BM_PeerVipsThumbnail(benchmark::State& state) {
    const Folder& folder = Pictures();
    if (!folder.ok || !bench_support::StartVips()) return state.SkipWithError("no pictures or no libvips");
    for (auto _ : state)
        for (const std::vector<uint8_t>& file : folder.bytes)
            if (!bench_support::VipsThumbnailBuffer(file.data(), file.size(), 160, 120))
                state.SkipWithError("vips_thumbnail_buffer failed");
}

// libjpeg alone: the decode the reader asks for, into a picture of its own
// (allocated zeroed per call, as the load's bitmap is).
void DecodeWithLibjpeg(const std::vector<uint8_t>& file, bool eighth) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&cinfo, TRUE);
    if (eighth) {
        cinfo.scale_num = 1;
        cinfo.scale_denom = 8;
        cinfo.dct_method = JDCT_IFAST;
        cinfo.do_fancy_upsampling = FALSE;
    }
    jpeg_start_decompress(&cinfo);
    const size_t rowBytes = size_t(cinfo.output_width) * size_t(cinfo.output_components);
    auto* picture = static_cast<JSAMPLE*>(std::calloc(rowBytes * cinfo.output_height, 1));
    while (picture && cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = picture + rowBytes * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(picture);
    std::free(picture);
}

// TurboJPEG's decode of the same bytes into RGB, at 1/8 or full size.
bool DecodeWithTurbo(tjhandle tj, const std::vector<uint8_t>& file, bool eighth, std::vector<uint8_t>* out) {
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(tj, file.data(), static_cast<unsigned long>(file.size()), &width, &height, &subsampling,
                            &colourspace) != 0)
        return false;
    if (eighth) {
        width = TJSCALED(width, (tjscalingfactor{1, 8}));
        height = TJSCALED(height, (tjscalingfactor{1, 8}));
    }
    out->resize(size_t(width) * size_t(height) * 3);
    const int flags = eighth ? TJFLAG_FASTDCT | TJFLAG_FASTUPSAMPLE : 0;
    return tjDecompress2(tj, file.data(), static_cast<unsigned long>(file.size()), out->data(), width, 0, height,
                         TJPF_RGB, flags) == 0;
}

void TurboFolder(benchmark::State& state, bool eighth, size_t files) {
    const Folder& folder = Pictures();
    if (!folder.ok) return state.SkipWithError("could not make the pictures");
    tjhandle tj = tjInitDecompress();
    std::vector<uint8_t> pixels;
    for (auto _ : state)
        for (size_t i = 0; i < files; ++i)
            if (!DecodeWithTurbo(tj, folder.bytes[i], eighth, &pixels)) state.SkipWithError("TurboJPEG failed");
    tjDestroy(tj);
}

void BM_PeerTurboEighth(benchmark::State& state) { TurboFolder(state, true, kFiles); }
void BM_PeerTurboFull(benchmark::State& state) { TurboFolder(state, false, 1); }

void BM_LibjpegEighth(benchmark::State& state) {
    if (!Pictures().ok) return state.SkipWithError("could not make the pictures");
    for (auto _ : state)
        for (const std::vector<uint8_t>& file : Pictures().bytes) DecodeWithLibjpeg(file, true);
}

void BM_FullDecode(benchmark::State& state) {
    if (!Pictures().ok) return state.SkipWithError("could not make the pictures");
    const std::vector<uint8_t>& file = Pictures().bytes[0];
    LoadOptions options;
    InitLoadOptions(&options);
    for (auto _ : state) {
        Bitmap bitmap{};
        if (LoadPictureFromMemory(file.data(), file.size(), L"x.jpg", &bitmap, &options, nullptr) != kLoadOk)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(bitmap.pixels);
        FreeBitmap(&bitmap);
    }
}

void BM_LibjpegFull(benchmark::State& state) {
    if (!Pictures().ok) return state.SkipWithError("could not make the pictures");
    for (auto _ : state) DecodeWithLibjpeg(Pictures().bytes[0], false);
}

BENCHMARK(BM_ThumbnailFolderNoExif)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibjpegEighth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeerTurboEighth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeerVipsThumbnail)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThumbnailFolderExifShortcut)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibjpegFull)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeerTurboFull)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
