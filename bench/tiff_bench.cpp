// The TIFF reader against libtiff's fastest call for the same decoding, in
// the same process on the same files: TIFFReadEncodedStrip for strips and
// TIFFReadEncodedTile for tiles into one reused buffer (Deflate with
// libdeflate, as Debian's libtiff has it, and with zlib, the library the
// product uses). Our side is the whole load into a bitmap: three bytes a
// pixel for colour, one bit for the bilevel page.
//
// Pages, written by libtiff at start-up into the temporary folder. Synthetic
// ones: 3000 x 2000 RGB (6 megapixels) in strips of 16 rows: LZW with the
// horizontal predictor, LZW without (which cannot compress this page: a
// worst case), Deflate, PackBits and JPEG; LZW with and without the
// predictor and Deflate in tiles of 256 x 256; a 4000 x 3000 Group 4 page in
// strips of 64 rows. Real ones, from what make_tiff_pages.py (Pillow) makes
// of the photographs and the scanned text page of Debian's python3-skimage:
// a 3000 x 2000 photograph mosaic and a 2400 x 3200 grey scan, each with
// every colour codec, and the scan made bilevel with Group 4, all in strips
// and in tiles. Thumbnail loads (into 160 x 120) are set beside the same
// full decoding by libtiff, which has no reduced one.
//
// JPEG pages of YCbCr are also timed against libtiff turning them to RGB
// (the "_rgb" lines), the output ours makes; by default libtiff hands the
// subsampled YCbCr out as stored, which spares libjpeg's upsampling and
// colour conversion.
//
// Each benchmark runs ours and the peer alternately, one pair per
// iteration (which goes first alternates), and reports the median of the
// pairs' time ratios (ours / peer, in the thread's processor time) with the
// quartiles; run it pinned to one core (taskset).
//
// Camera RAW: a DNG with a 4-megapixel JPEG preview loads as that preview,
// timed beside `dcraw -e`, which only copies the preview out, and
// `dcraw -e | djpeg`, which also decodes it (both with process start).
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <time.h>

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

// The pixels a page is written from: 8-bit RGB or grey, or bilevel (one bit
// a pixel, 1 = black).
struct Pixels {
    uint32_t width = 0, height = 0;
    int channels = 3;                // 3 or 1
    bool bilevel = false;
    std::vector<uint8_t> data;       // rows of RowBytes()
    size_t RowBytes() const { return bilevel ? (width + 7) / 8 : size_t(width) * size_t(channels); }
};

Pixels SyntheticColour() {
    Pixels p;
    p.width = kWidth, p.height = kHeight, p.channels = 3;
    p.data.resize(p.RowBytes() * p.height);
    for (uint32_t y = 0; y < p.height; ++y)
        for (uint32_t x = 0; x < p.width; ++x)
            for (int c = 0; c < 3; ++c) p.data[p.RowBytes() * y + size_t(x) * 3 + size_t(c)] = Sample(x, y, c);
    return p;
}

// Text-like: short black runs in bands.
Pixels SyntheticFax() {
    Pixels p;
    p.width = 4000, p.height = 3000, p.channels = 1, p.bilevel = true;
    p.data.resize(p.RowBytes() * p.height);
    for (uint32_t y = 0; y < p.height; ++y) {
        uint8_t* row = p.data.data() + p.RowBytes() * y;
        if ((y / 12) % 3 != 2)
            for (uint32_t x = 0; x < p.width; ++x)
                if (((x / 9) + (y / 12)) % 5 == 0 && (x * 7 + y) % 13 < 8) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
    }
    return p;
}

#ifdef PV_BENCH_SOURCE_DIR
// The real pages, made once by make_tiff_pages.py (Pillow, from the
// photographs and the scanned page of Debian's python3-skimage).
std::string RealPagesDir() {
    static const std::string dir = [] {
        const std::string d = TempPath("real");
        const std::string command = "/usr/bin/python3 '" PV_BENCH_SOURCE_DIR "/make_tiff_pages.py' '" + d + "' >/dev/null";
        return std::system(command.c_str()) == 0 ? d : std::string();
    }();
    return dir;
}
#else
std::string RealPagesDir() { return std::string(); }
#endif

// Reads a binary PPM, PGM or PBM with a maximum of 255 (as Pillow writes them).
Pixels ReadPnm(const std::string& path) {
    Pixels p;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    uint32_t maxval = 1;
    in >> magic >> p.width >> p.height;
    if (magic != "P4") in >> maxval;
    in.get();
    if (!in || maxval != (magic == "P4" ? 1u : 255u) || (magic != "P4" && magic != "P5" && magic != "P6")) return Pixels();
    p.bilevel = magic == "P4";
    p.channels = magic == "P6" ? 3 : 1;
    p.data.resize(p.RowBytes() * p.height);
    in.read(reinterpret_cast<char*>(p.data.data()), std::streamsize(p.data.size()));
    return in ? p : Pixels();
}

enum Source { kSynthetic, kPhoto, kScan };

const Pixels& SourcePixels(Source source, bool bilevel) {
    static Pixels cache[3][2];
    static bool made[3][2];
    Pixels& p = cache[source][bilevel];
    if (!made[source][bilevel]) {
        made[source][bilevel] = true;
        if (source == kSynthetic) {
            p = bilevel ? SyntheticFax() : SyntheticColour();
        } else {
            const std::string dir = RealPagesDir();
            if (!dir.empty())
                p = ReadPnm(dir + (source == kPhoto ? "/photo.ppm" : bilevel ? "/scan.pbm" : "/scan.pgm"));
        }
    }
    return p;
}

struct PageRecipe {
    Source source;
    uint16_t compression;
    uint16_t predictor;
    uint32_t tile;                   // 0: strips
};

// Writes a page with libtiff: RGB or grey, or bilevel for Group 4.
std::string WritePage(const PageRecipe& recipe, const std::string& path) {
    const bool fax = recipe.compression == COMPRESSION_CCITTFAX4;
    const Pixels& page = SourcePixels(recipe.source, fax);
    if (page.data.empty()) return std::string();
    TIFF* t = TIFFOpen(path.c_str(), "w");
    if (!t) return std::string();
    const uint32_t w = page.width, h = page.height;
    const uint16_t spp = uint16_t(page.channels);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, fax ? 1 : 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, recipe.compression);
    if (recipe.compression == COMPRESSION_JPEG && spp == 3) {
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
        TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    } else {
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                     fax ? PHOTOMETRIC_MINISWHITE : spp == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    }
    if (recipe.compression == COMPRESSION_JPEG) TIFFSetField(t, TIFFTAG_JPEGQUALITY, 90);
    if (recipe.predictor != 1) TIFFSetField(t, TIFFTAG_PREDICTOR, recipe.predictor);
    if (recipe.tile) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, recipe.tile);
        TIFFSetField(t, TIFFTAG_TILELENGTH, recipe.tile);
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, fax ? 64 : 16);
    }
    const size_t rowBytes = page.RowBytes();
    bool ok = true;
    if (recipe.tile) {
        const size_t tileRow = fax ? recipe.tile / 8 : size_t(recipe.tile) * spp;
        std::vector<uint8_t> tile(TIFFTileSize(t));
        for (uint32_t ty = 0; ty < h && ok; ty += recipe.tile)
            for (uint32_t tx = 0; tx < w && ok; tx += recipe.tile) {
                std::fill(tile.begin(), tile.end(), 0);
                const size_t at = fax ? tx / 8 : size_t(tx) * spp;
                const size_t n = std::min(tileRow, rowBytes - at);
                for (uint32_t y = ty; y < std::min(h, ty + recipe.tile); ++y)
                    std::memcpy(tile.data() + size_t(y - ty) * tileRow, page.data.data() + rowBytes * y + at, n);
                ok = TIFFWriteTile(t, tile.data(), tx, ty, 0, 0) >= 0;
            }
    } else {
        std::vector<uint8_t> row(rowBytes);
        for (uint32_t y = 0; y < h && ok; ++y) {
            std::memcpy(row.data(), page.data.data() + rowBytes * y, rowBytes);
            ok = TIFFWriteScanline(t, row.data(), y, 0) >= 0;
        }
    }
    TIFFClose(t);
    return ok ? path : std::string();
}

enum Page {
    kLzwPredicted,
    kLzw,
    kDeflate,
    kPackBits,
    kJpeg,
    kG4,
    kLzwPredictedTiles,
    kLzwTiles,
    kDeflateTiles,
    kPageCount
};

const PageRecipe kSyntheticRecipes[kPageCount] = {
    {kSynthetic, COMPRESSION_LZW, 2, 0},       {kSynthetic, COMPRESSION_LZW, 1, 0},
    {kSynthetic, COMPRESSION_ADOBE_DEFLATE, 1, 0}, {kSynthetic, COMPRESSION_PACKBITS, 1, 0},
    {kSynthetic, COMPRESSION_JPEG, 1, 0},      {kSynthetic, COMPRESSION_CCITTFAX4, 1, 0},
    {kSynthetic, COMPRESSION_LZW, 2, 256},     {kSynthetic, COMPRESSION_LZW, 1, 256},
    {kSynthetic, COMPRESSION_ADOBE_DEFLATE, 1, 256},
};

// Each distinct page is written once, under a name made from its recipe.
const std::string& PagePath(const PageRecipe& r) {
    static std::map<std::string, std::string> paths;
    const std::string name = std::to_string(int(r.source)) + "_" + std::to_string(r.compression) + "_" +
                             std::to_string(r.predictor) + "_" + std::to_string(r.tile) + ".tif";
    auto it = paths.find(name);
    if (it == paths.end()) it = paths.emplace(name, WritePage(r, TempPath(name.c_str()))).first;
    return it->second;
}

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// Our whole load of the page (or a thumbnail of it): colour into a
// three-byte bitmap, a bilevel page into a bilevel one.
bool LoadOurs(const std::wstring& path, int32_t target, bool bilevel) {
    LoadOptions o;
    InitLoadOptions(&o);
    if (!bilevel) o.flags |= kLoadPreferThreeBytes;
    if (target > 0) {
        o.flags |= kLoadReduced;
        o.targetWidth = target;
        o.targetHeight = target * 3 / 4;
    }
    Bitmap b{};
    const bool ok = LoadPictureFromFile(path.c_str(), &b, &o, nullptr) == kLoadOk;
    benchmark::DoNotOptimize(b.pixels);
    FreeBitmap(&b);
    return ok;
}

// How libtiff decodes: as it is set up by default (Deflate with libdeflate,
// JPEG's YCbCr as stored: subsampled, not turned to RGB), Deflate with zlib,
// or JPEG's YCbCr upsampled and turned to RGB by libjpeg, the output ours
// makes.
enum Peer { kPeerDefault, kPeerZlib, kPeerRgb };

// libtiff's decoding of every strip or tile of the page into one buffer.
bool LoadLibtiff(const std::string& path, Peer peer) {
    TIFF* t = TIFFOpen(path.c_str(), "r");
    if (!t) return false;
    if (peer == kPeerZlib) TIFFSetField(t, TIFFTAG_DEFLATE_SUBCODEC, DEFLATE_SUBCODEC_ZLIB);
    if (peer == kPeerRgb) TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    bool ok = true;
    if (TIFFIsTiled(t)) {
        std::vector<uint8_t> buffer(TIFFTileSize(t));
        for (uint32_t k = 0; k < TIFFNumberOfTiles(t) && ok; ++k)
            ok = TIFFReadEncodedTile(t, k, buffer.data(), tmsize_t(buffer.size())) >= 0;
        benchmark::DoNotOptimize(buffer.data());
    } else {
        std::vector<uint8_t> buffer(TIFFStripSize(t));
        for (uint32_t k = 0; k < TIFFNumberOfStrips(t) && ok; ++k)
            ok = TIFFReadEncodedStrip(t, k, buffer.data(), tmsize_t(buffer.size())) >= 0;
        benchmark::DoNotOptimize(buffer.data());
    }
    TIFFClose(t);
    return ok;
}

// The processor time the calling thread spends on `work` (its own and the
// system's on its behalf: file reads, page faults), which time spent waiting
// for a core that other processes hold does not disturb.
double Seconds(const std::function<bool()>& work, bool* ok) {
    timespec start{}, end{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
    *ok = work() && *ok;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
    return double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) * 1e-9;
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

// One pair per iteration, ours and libtiff's in alternating order; the
// iteration time is ours, the counters the ratios.
void Pair(benchmark::State& state, PageRecipe recipe, int32_t target, Peer how) {
    InitFormatRegistry();
    TIFFSetWarningHandler(nullptr);
    if (recipe.source != kSynthetic && RealPagesDir().empty())
        return state.SkipWithError("make_tiff_pages.py failed (python3-skimage and Pillow needed): not measured");
    const std::string& path = PagePath(recipe);
    if (path.empty()) return state.SkipWithError("libtiff could not write the page");
    const bool bilevel = recipe.compression == COMPRESSION_CCITTFAX4;
    const std::wstring wide = Wide(path);
    std::vector<double> ratios;
    bool ok = true;
    for (auto _ : state) {
        double ours, peer;
        if (ratios.size() % 2 == 0) {
            ours = Seconds([&] { return LoadOurs(wide, target, bilevel); }, &ok);
            peer = Seconds([&] { return LoadLibtiff(path, how); }, &ok);
        } else {
            peer = Seconds([&] { return LoadLibtiff(path, how); }, &ok);
            ours = Seconds([&] { return LoadOurs(wide, target, bilevel); }, &ok);
        }
        if (!ok) return state.SkipWithError("a load failed");
        state.SetIterationTime(ours);
        ratios.push_back(ours / peer);
    }
    state.counters["ratio"] = Percentile(ratios, 0.5);
    state.counters["ratio_q1"] = Percentile(ratios, 0.25);
    state.counters["ratio_q3"] = Percentile(ratios, 0.75);
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

const char* const kNames[kPageCount] = {"LzwPredictor", "Lzw",           "Deflate",  "PackBits",    "Jpeg",
                                        "G4",           "LzwPredictorTiles", "LzwTiles", "DeflateTiles"};

void RegisterAll() {
    auto add = [](const std::string& name, PageRecipe recipe, int32_t target, Peer peer) {
        benchmark::RegisterBenchmark(name.c_str(), Pair, recipe, target, peer)
            ->UseManualTime()
            ->Iterations(21)
            ->Unit(benchmark::kMillisecond);
    };
    for (int i = 0; i < kPageCount; ++i) {
        const std::string n = std::string("Tiff") + kNames[i];
        const bool deflate = i == kDeflate || i == kDeflateTiles;
        add(n + (deflate ? "/vs_libtiff_libdeflate" : "/vs_libtiff"), kSyntheticRecipes[i], 0, kPeerDefault);
        if (deflate) add(n + "/vs_libtiff_zlib", kSyntheticRecipes[i], 0, kPeerZlib);
        if (i == kJpeg) add(n + "/vs_libtiff_rgb", kSyntheticRecipes[i], 0, kPeerRgb);
    }
    for (int i = 0; i < kPageCount; ++i) {
        const std::string n = std::string("TiffThumbnail") + kNames[i];
        const bool deflate = i == kDeflate || i == kDeflateTiles;
        add(n + (deflate ? "/vs_libtiff_libdeflate" : "/vs_libtiff"), kSyntheticRecipes[i], 160, kPeerDefault);
        if (deflate) add(n + "/vs_libtiff_zlib", kSyntheticRecipes[i], 160, kPeerZlib);
    }
    // The real pages: every codec in strips and in tiles, whole and as a
    // thumbnail; Group 4 on the bilevel scan, the others on the photograph
    // and on the grey scan.
    struct Codec { const char* name; uint16_t compression, predictor; };
    const Codec codecs[] = {{"LzwPredictor", COMPRESSION_LZW, 2}, {"Lzw", COMPRESSION_LZW, 1},
                            {"Deflate", COMPRESSION_ADOBE_DEFLATE, 1}, {"PackBits", COMPRESSION_PACKBITS, 1},
                            {"Jpeg", COMPRESSION_JPEG, 1}, {"G4", COMPRESSION_CCITTFAX4, 1}};
    for (Source source : {kPhoto, kScan})
        for (const Codec& c : codecs) {
            if (c.compression == COMPRESSION_CCITTFAX4 && source != kScan) continue;
            for (uint32_t tile : {0u, 256u})
                for (int32_t target : {0, 160}) {
                    const std::string n = std::string(source == kPhoto ? "Photo" : "Scan") + "/" + c.name +
                                          (tile ? "Tiles" : "") + (target ? "/thumbnail" : "/full") +
                                          (c.compression == COMPRESSION_ADOBE_DEFLATE ? "/vs_libtiff_libdeflate"
                                                                                       : "/vs_libtiff");
                    const PageRecipe recipe{source, c.compression, c.predictor, tile};
                    add(n, recipe, target, kPeerDefault);
                    if (c.compression == COMPRESSION_JPEG && source == kPhoto)
                        add(n + "_rgb", recipe, target, kPeerRgb);
                }
        }
    benchmark::RegisterBenchmark("RawPreview/ours", RawOurs)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("RawPreview/dcraw_e", RawDcraw, false)->UseManualTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("RawPreview/dcraw_e_djpeg", RawDcraw, true)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

const bool registered = (RegisterAll(), true);

}  // namespace

BENCHMARK_MAIN();
