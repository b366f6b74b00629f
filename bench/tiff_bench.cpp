// The TIFF reader against libtiff's own TIFFReadRGBAImage, called in this
// process on the same files: 6-megapixel pages in LZW (with predictor),
// Deflate, PackBits, JPEG and a 12-megapixel Group 4 page, written by
// libtiff at start-up into the temporary folder. A thumbnail load into
// 160 x 120 (on-the-fly scaling, no full-size buffer) is timed too; its
// process peak memory is reported as a counter (run one alone to read it).
// Camera RAW: a DNG with a 4-megapixel JPEG preview loads as that preview,
// timed beside `dcraw -e`, which only copies the preview out, and beside
// `dcraw -e | djpeg`, which also decodes it (both with process start).
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
#include "imagelib/writers/jpegwriter.h"

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

// A DNG: a small main directory with Make, Model and DNGVersion, a CFA
// sub-directory of 16-bit samples and a JPEG preview sub-directory.
std::string WriteDng() {
    const uint32_t pw = 2400, ph = 1600, rw = 2464, rh = 1632;
    std::vector<uint8_t> pixels(size_t(pw) * ph * 3);
    for (uint32_t y = 0; y < ph; ++y)
        for (uint32_t x = 0; x < pw; ++x)
            for (int c = 0; c < 3; ++c) pixels[(size_t(y) * pw + x) * 3 + size_t(c)] = Sample(x, y, c);
    std::vector<uint8_t> jpeg(pixels.size());
    size_t jpegSize = 0;
    if (EncodeJpegBuffer(pixels.data(), int32_t(pw), int32_t(ph), int32_t(pw * 3), 3, jpeg.data(), jpeg.size(),
                         &jpegSize, 90) != kEncodeJpegDone)
        return std::string();
    std::vector<uint8_t> f = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put16 = [&f](uint32_t v) { f.push_back(uint8_t(v)), f.push_back(uint8_t(v >> 8)); };
    auto put32 = [&](uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
    struct Entry { uint16_t tag, type; uint32_t count, value; };
    auto ifd = [&](const std::vector<Entry>& entries) {
        for (const Entry& e : entries) put16(e.tag), put16(e.type), put32(e.count), put32(e.value);
    };
    // Layout: main IFD (8), raw IFD, preview IFD, strings, CFA pattern, data.
    const uint32_t mainAt = 8, mainN = 6, rawN = 11, prevN = 9;
    const uint32_t rawAt = mainAt + 2 + 12 * mainN + 4, prevAt = rawAt + 2 + 12 * rawN + 4;
    const uint32_t textAt = prevAt + 2 + 12 * prevN + 4, subAt = textAt + 32, dataAt = subAt + 8;
    const uint32_t rawBytes = rw * rh * 2, jpegAt = dataAt + rawBytes;
    put16(mainN);
    ifd({{254, 4, 1, 1}, {271, 2, 6, textAt}, {272, 2, 17, textAt + 8}, {330, 4, 2, subAt},
         {50706, 1, 4, 0x00000401}, {50708, 2, 6, textAt}});
    put32(0);
    put16(rawN);
    ifd({{254, 4, 1, 0}, {256, 4, 1, rw}, {257, 4, 1, rh}, {258, 3, 1, 16}, {259, 3, 1, 1}, {262, 3, 1, 32803},
         {273, 4, 1, dataAt}, {277, 3, 1, 1}, {279, 4, 1, rawBytes}, {33421, 3, 2, 0x00020002},
         {33422, 1, 4, 0x02010100}});
    put32(0);
    put16(prevN);
    ifd({{254, 4, 1, 1}, {256, 4, 1, pw}, {257, 4, 1, ph}, {258, 3, 1, 8}, {259, 3, 1, 7}, {262, 3, 1, 6},
         {273, 4, 1, jpegAt}, {277, 3, 1, 3}, {279, 4, 1, uint32_t(jpegSize)}});
    put32(0);
    const char text[32] = "Canon\0\0\0EOS 350D DIGITAL";
    f.insert(f.end(), text, text + 32);
    put32(rawAt);
    put32(prevAt);
    for (uint32_t i = 0; i < rw * rh; ++i) put16((i * 37) & 0xFFF);
    f.insert(f.end(), jpeg.begin(), jpeg.begin() + long(jpegSize));
    const std::string path = TempPath("camera.dng");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(f.data()), long(f.size()));
    return path;
}

const std::string& Dng() {
    static const std::string path = WriteDng();
    return path;
}

void RawOurs(benchmark::State& state) {
    InitFormatRegistry();
    const std::wstring wide = Wide(Dng());
    for (auto _ : state) {
        LoadOptions o;
        InitLoadOptions(&o);
        Bitmap b{};
        if (LoadPictureFromFile(wide.c_str(), &b, &o, nullptr) != kLoadOk) {
            state.SkipWithError("the DNG preview did not load");
            break;
        }
        benchmark::DoNotOptimize(b.pixels);
        FreeBitmap(&b);
    }
}

void RawDcraw(benchmark::State& state, bool decode) {
    const std::string extract = "dcraw -e -c '" + Dng() + "'";
    bench_support::TimePeerCommand(state, extract + (decode ? " | djpeg >/dev/null 2>&1" : " >/dev/null 2>&1"),
                                   "dcraw -e failed");
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
    benchmark::RegisterBenchmark("RawPreview/ours", RawOurs)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("RawPreview/dcraw_e", RawDcraw, false)->UseManualTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("RawPreview/dcraw_e_djpeg", RawDcraw, true)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

const bool registered = (RegisterAll(), true);

}  // namespace

BENCHMARK_MAIN();
