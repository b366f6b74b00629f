// Lossless rotation of a 12-megapixel camera JPEG (4000 x 3000, 4:2:0, an
// EXIF block with a 160 x 120 thumbnail), file to file, in the same run:
//  - BM_TransformJpegLosslessly: ours, a quarter turn with trim, the EXIF
//    thumbnail turned along and the Orientation reset;
//  - BM_PeerTransupp: jpegtran's own sequence of transupp calls in process
//    with the same options (-copy all -optimize -rotate 90 -trim), so the
//    ratio shows what our EXIF handling and file replacement cost;
//  - BM_PeerJpegtran: the jpegtran program, process start included.
// Goal: ours within 5% of BM_PeerTransupp.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <jpeglib.h>
#include <transupp.h>

#include "imagelib/textutil.h"
#include "peer.h"
#include "processing/lossless.h"

namespace {

namespace fs = std::filesystem;

struct Picture {
    fs::path dir;
    fs::path source;
    fs::path output;
    bool ok = false;
};

char g_dirPath[1024];

bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

const Picture& Camera() {
    static const Picture picture = [] {
        Picture p;
        p.dir = fs::temp_directory_path() / ("pv-bench-lossless-" + std::to_string(std::rand()));
        fs::create_directories(p.dir);
        std::snprintf(g_dirPath, sizeof g_dirPath, "%s", p.dir.string().c_str());
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(g_dirPath, ec);
        });
        const std::string convert = fs::exists("/usr/bin/convert") ? "/usr/bin/convert" : "convert";
        const fs::path ppm = p.dir / "source.ppm";
        const fs::path thumb = p.dir / "thumb.jpg";
        p.source = p.dir / "camera.jpg";
        p.output = p.dir / "out.jpg";
        p.ok = Run(convert + " -size 1000x750 -seed 5 plasma:fractal -resize 4000x3000! -attenuate 0.5 "
                             "+noise Gaussian " + Quote(ppm)) &&
               Run(convert + " " + Quote(ppm) + " -resize 160x120! -quality 85 " + Quote(thumb)) &&
               Run("cjpeg -quality 92 -outfile " + Quote(p.source) + " " + Quote(ppm)) &&
               Run("exiftool -q -overwrite_original -Make=Bench -Orientation#=6 -ThumbnailImage'<='" +
                   Quote(thumb) + " " + Quote(p.source));
        fs::remove(ppm);
        return p;
    }();
    return picture;
}

void BM_TransformJpegLosslessly(benchmark::State& state) {
    const Picture& p = Camera();
    if (!p.ok) return state.SkipWithError("could not make the picture (ImageMagick, cjpeg, exiftool)");
    const std::wstring source = Utf8ToWide(p.source.string().c_str());
    const std::wstring output = Utf8ToWide(p.output.string().c_str());
    for (auto _ : state) {
        if (!TransformJpegLosslessly(source.c_str(), output.c_str(), 0, 0, 0, 0, kLosslessRotate90, 1, 1))
            state.SkipWithError("transform failed");
    }
}

// jpegtran's transform sequence, file to file.
bool PeerTransform(const char* sourcePath, const char* outputPath) {
    FILE* in = std::fopen(sourcePath, "rb");
    FILE* out = std::fopen(outputPath, "wb");
    if (!in || !out) {
        if (in) std::fclose(in);
        if (out) std::fclose(out);
        return false;
    }
    jpeg_decompress_struct src;
    jpeg_compress_struct dst;
    jpeg_error_mgr srcErr, dstErr;
    src.err = jpeg_std_error(&srcErr);
    dst.err = jpeg_std_error(&dstErr);
    jpeg_create_decompress(&src);
    jpeg_create_compress(&dst);
    jpeg_transform_info info{};
    info.transform = JXFORM_ROT_90;
    info.trim = TRUE;
    jpeg_stdio_src(&src, in);
    jcopy_markers_setup(&src, JCOPYOPT_ALL);
    jpeg_read_header(&src, TRUE);
    const bool ok = jtransform_request_workspace(&src, &info);
    if (ok) {
        jvirt_barray_ptr* srcCoefficients = jpeg_read_coefficients(&src);
        jpeg_copy_critical_parameters(&src, &dst);
        jvirt_barray_ptr* dstCoefficients = jtransform_adjust_parameters(&src, &dst, srcCoefficients, &info);
        dst.optimize_coding = TRUE;
        jpeg_stdio_dest(&dst, out);
        jpeg_write_coefficients(&dst, dstCoefficients);
        jcopy_markers_execute(&src, &dst, JCOPYOPT_ALL);
        jtransform_execute_transform(&src, &dst, srcCoefficients, &info);
        jpeg_finish_compress(&dst);
        jpeg_finish_decompress(&src);
    }
    jpeg_destroy_compress(&dst);
    jpeg_destroy_decompress(&src);
    std::fclose(in);
    std::fclose(out);
    return ok;
}

void BM_PeerTransupp(benchmark::State& state) {
    const Picture& p = Camera();
    if (!p.ok) return state.SkipWithError("could not make the picture");
    const std::string source = p.source.string();
    const std::string output = (p.dir / "peer.jpg").string();
    for (auto _ : state) {
        if (!PeerTransform(source.c_str(), output.c_str())) state.SkipWithError("transform failed");
    }
}

void BM_PeerJpegtran(benchmark::State& state) {
    const Picture& p = Camera();
    if (!p.ok) return state.SkipWithError("could not make the picture");
    bench_support::TimePeerCommand(state, "jpegtran -copy all -optimize -rotate 90 -trim -outfile " +
                                              Quote(p.dir / "jpegtran.jpg") + " " + Quote(p.source));
}

}  // namespace

BENCHMARK(BM_TransformJpegLosslessly)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PeerTransupp)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PeerJpegtran)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);

BENCHMARK_MAIN();
