// The TIFF reader against libtiff's own TIFFReadRGBAImage, called in this
// process on the same files: 6-megapixel pages in LZW (with predictor),
// Deflate, PackBits, JPEG and a 12-megapixel Group 4 page, written by
// libtiff at start-up into the temporary folder. A thumbnail load into
// 160 x 120 (on-the-fly scaling, no full-size buffer) is timed too; its
// process peak memory is reported as a counter (run one alone to read it).
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/peer.h"
#include "imagelib/formats.h"
#include "imagelib/load.h"

namespace {

constexpr uint32_t kWidth = 3000;
constexpr uint32_t kHeight = 2000;

std::string TempPath(const char* name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/pv_tiffbench_" + name;
}

// A photograph-like page: smooth gradients with texture, so the codecs do
// real work.
uint8_t Sample(uint32_t x, uint32_t y, int c) {
    const uint32_t v = (x * (3 + c) + y * (5 - c) + ((x * y) >> 7) + ((x ^ y) & 15)) & 0xFF;
    return uint8_t(v);
}

// Writes a page with libtiff: RGB (or bilevel for Group 4).
std::string WritePage(const char* name, uint16_t compression, uint16_t predictor = 1) {
    const std::string path = TempPath(name);
    TIFF* t = TIFFOpen(path.c_str(), "w");
    if (!t) return std::string();
    const bool fax = compression == COMPRESSION_CCITTFAX4;
    const uint32_t w = fax ? 4000 : kWidth, h = fax ? 3000 : kHeight;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, fax ? 1 : 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, fax ? 1 : 3);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
    if (compression == COMPRESSION_JPEG) {
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
        TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        TIFFSetField(t, TIFFTAG_JPEGQUALITY, 90);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16);
    } else {
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, fax ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, fax ? 64 : 16);
    }
    if (predictor != 1) TIFFSetField(t, TIFFTAG_PREDICTOR, predictor);
    std::vector<uint8_t> row(size_t(w) * 3);
    for (uint32_t y = 0; y < h; ++y) {
        if (fax) {
            // Text-like: short black runs in bands.
            std::memset(row.data(), 0, row.size());
            if ((y / 12) % 3 != 2)
                for (uint32_t x = 0; x < w; ++x)
                    if (((x / 9) + (y / 12)) % 5 == 0 && (x * 7 + y) % 13 < 8) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
        } else {
            for (uint32_t x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c) row[size_t(x) * 3 + size_t(c)] = Sample(x, y, c);
        }
        if (TIFFWriteScanline(t, row.data(), y, 0) < 0) {
            TIFFClose(t);
            return std::string();
        }
    }
    TIFFClose(t);
    return path;
}

const std::string& Page(int which) {
    static const std::string pages[] = {
        WritePage("lzw.tif", COMPRESSION_LZW, 2),      WritePage("zip.tif", COMPRESSION_ADOBE_DEFLATE),
        WritePage("packbits.tif", COMPRESSION_PACKBITS), WritePage("jpeg.tif", COMPRESSION_JPEG),
        WritePage("g4.tif", COMPRESSION_CCITTFAX4),
    };
    return pages[which];
}

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

void Ours(benchmark::State& state, int which, int32_t target) {
    InitFormatRegistry();
    const std::string& path = Page(which);
    if (path.empty()) {
        state.SkipWithError("libtiff could not write the page");
        return;
    }
    const std::wstring wide = Wide(path);
    for (auto _ : state) {
        LoadOptions o;
        InitLoadOptions(&o);
        o.flags |= kLoadPreferThreeBytes;
        if (target > 0) {
            o.targetWidth = target;
            o.targetHeight = target * 3 / 4;
        }
        Bitmap b{};
        if (LoadPictureFromFile(wide.c_str(), &b, &o, nullptr) != kLoadOk) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(b.pixels);
        FreeBitmap(&b);
    }
    {
        // Peak resident memory of the process so far, in megabytes (run one
        // benchmark alone to read it for that load).
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("VmHWM:", 0) == 0) state.counters["peak_rss_mb"] = std::atof(line.c_str() + 6) / 1024.0;
    }
}

// libtiff decodes whole Deflate strips with libdeflate when it has it (as
// Debian's has); `zlib` makes it use zlib, the library the product uses.
void Libtiff(benchmark::State& state, int which, bool zlib) {
    const std::string& path = Page(which);
    TIFFSetWarningHandler(nullptr);
    for (auto _ : state) {
        TIFF* t = TIFFOpen(path.c_str(), "r");
        if (!t) {
            state.SkipWithError("libtiff could not open the page");
            break;
        }
        if (zlib) TIFFSetField(t, TIFFTAG_DEFLATE_SUBCODEC, DEFLATE_SUBCODEC_ZLIB);
        uint32_t w = 0, h = 0;
        TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
        std::vector<uint32_t> rgba(size_t(w) * h);
        TIFFReadRGBAImage(t, w, h, rgba.data(), 0);
        benchmark::DoNotOptimize(rgba.data());
        TIFFClose(t);
    }
}

const char* const kNames[] = {"Lzw", "Deflate", "PackBits", "Jpeg", "G4"};

void RegisterAll() {
    for (int i = 0; i < 5; ++i) {
        const std::string n = kNames[i];
        benchmark::RegisterBenchmark(("Tiff" + n + "/ours").c_str(), Ours, i, 0)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Tiff" + n + "/libtiff").c_str(), Libtiff, i, false)->Unit(benchmark::kMillisecond);
        if (i == 1)
            benchmark::RegisterBenchmark(("Tiff" + n + "/libtiff_zlib").c_str(), Libtiff, i, true)
                ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("TiffThumbnailLzw/ours", Ours, 0, 160)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("TiffThumbnailG4/ours", Ours, 4, 160)->Unit(benchmark::kMillisecond);
}

const bool registered = (RegisterAll(), true);

}  // namespace

BENCHMARK_MAIN();
