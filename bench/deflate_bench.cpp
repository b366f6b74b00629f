// Our deflate compressor against zlib and libdeflate at level 8 (the level
// the ZIP writer uses), on the same data in the same run: text, a 24-bit
// BMP, a JPEG and random bytes. The goals are ratios: against libdeflate,
// time at most 1.3x and output at most 0.3 % larger; against zlib, output
// within 1 %. The summary after the table prints them.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <libdeflate.h>
#include <zlib.h>

#include "bmpfile.h"
#include "tests/support/zipdeflate.h"

namespace {

struct DataSet {
    std::string name;
    std::vector<uint8_t> bytes;
};

// Licence texts that every Debian system carries; made-up prose when absent.
std::vector<uint8_t> Text() {
    std::vector<uint8_t> text;
    for (const char* name : {"GPL-3", "GPL-2", "LGPL-2.1", "Apache-2.0", "Artistic", "MPL-2.0", "GFDL-1.3"}) {
        std::ifstream in(std::string("/usr/share/common-licenses/") + name, std::ios::binary);
        text.insert(text.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (text.size() < 100000) {
        static const char* const kWords[] = {"picture", "album", "the", "of", "a", "viewer", "folder", "and",
                                             "rotate", "to", "slideshow", "card", "is", "with", "JPEG"};
        std::mt19937 rng(7);
        while (text.size() < 300000) {
            const char* w = kWords[rng() % 15];
            text.insert(text.end(), w, w + std::strlen(w));
            text.push_back(rng() % 12 == 0 ? '\n' : ' ');
        }
    }
    return text;
}

// A photo-like picture: smooth light over a few octaves of value noise and
// a little sensor noise, RGB.
std::vector<uint8_t> PhotoPixels(int width, int height) {
    std::mt19937 rng(11);
    auto lattice = [](int x, int y, int seed) {
        uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + uint32_t(seed) * 2246822519u;
        h = (h ^ (h >> 13)) * 1274126177u;
        return float((h ^ (h >> 16)) & 0xFFFF) / 65535.0f;
    };
    auto noise = [&](float x, float y, int seed) {
        const int x0 = int(x), y0 = int(y);
        const float fx = x - float(x0), fy = y - float(y0);
        const float a = lattice(x0, y0, seed), b = lattice(x0 + 1, y0, seed);
        const float c = lattice(x0, y0 + 1, seed), d = lattice(x0 + 1, y0 + 1, seed);
        const float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
        return (a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy;
    };
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int ch = 0; ch < 3; ++ch) {
                float v = 60.0f + 80.0f * float(y) / float(height) + 20.0f * float(ch);
                float amplitude = 90.0f;
                for (int octave = 0; octave < 5; ++octave) {
                    const float scale = float(1 << octave) / 96.0f;
                    v += amplitude * (noise(float(x) * scale, float(y) * scale, octave * 3 + ch) - 0.5f);
                    amplitude *= 0.5f;
                }
                v += float(int(rng() % 7) - 3);
                rgb[(size_t(y) * size_t(width) + size_t(x)) * 3 + size_t(ch)] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    return rgb;
}

std::vector<uint8_t> Jpeg(const std::vector<uint8_t>& rgb, int width, int height) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 85, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[size_t(cinfo.next_scanline) * size_t(width) * 3]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> jpeg(out, out + outSize);
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return jpeg;
}

std::vector<DataSet> MakeDataSets() {
    std::vector<DataSet> sets;
    sets.push_back({"text", Text()});
    const int w = 1024, h = 768;
    const std::vector<uint8_t> rgb = PhotoPixels(w, h);
    sets.push_back({"bmp24", bench_support::Bmp24(rgb, w, h)});
    sets.push_back({"jpeg", Jpeg(rgb, w, h)});
    std::mt19937 rng(3);
    std::vector<uint8_t> random(1 << 20);
    for (uint8_t& b : random) b = uint8_t(rng());
    sets.push_back({"random", random});
    return sets;
}

size_t ZlibLevel8(const std::vector<uint8_t>& in, std::vector<uint8_t>* out) {
    z_stream z = {};
    deflateInit2(&z, 8, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    out->resize(deflateBound(&z, uLong(in.size())));
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = uInt(in.size());
    z.next_out = out->data();
    z.avail_out = uInt(out->size());
    deflate(&z, Z_FINISH);
    const size_t n = z.total_out;
    deflateEnd(&z);
    return n;
}

size_t Libdeflate8(libdeflate_compressor* c, const std::vector<uint8_t>& in, std::vector<uint8_t>* out) {
    out->resize(libdeflate_deflate_compress_bound(c, in.size()));
    return libdeflate_deflate_compress(c, in.data(), in.size(), out->data(), out->size());
}

size_t Ours(const std::vector<uint8_t>& in, std::vector<uint8_t>* out) {
    testing_support::DeflateMemory(in.data(), in.size(), 8, out);
    return out->size();
}

void BM_Ours(benchmark::State& state, const DataSet* set) {
    std::vector<uint8_t> out;
    out.reserve(set->bytes.size() + set->bytes.size() / 100 + 1024);
    size_t n = 0;
    for (auto _ : state) benchmark::DoNotOptimize(n = Ours(set->bytes, &out));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(set->bytes.size()));
    std::vector<uint8_t> peer;
    state.counters["compressed"] = double(n);
    state.counters["size_vs_zlib8"] = double(n) / double(ZlibLevel8(set->bytes, &peer));
    libdeflate_compressor* c = libdeflate_alloc_compressor(8);
    state.counters["size_vs_libdeflate8"] = double(n) / double(Libdeflate8(c, set->bytes, &peer));
    libdeflate_free_compressor(c);
}

void BM_Libdeflate8(benchmark::State& state, const DataSet* set) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(8);
    std::vector<uint8_t> out;
    size_t n = 0;
    for (auto _ : state) benchmark::DoNotOptimize(n = Libdeflate8(c, set->bytes, &out));
    libdeflate_free_compressor(c);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(set->bytes.size()));
    state.counters["compressed"] = double(n);
}

void BM_Zlib8(benchmark::State& state, const DataSet* set) {
    std::vector<uint8_t> out;
    size_t n = 0;
    for (auto _ : state) benchmark::DoNotOptimize(n = ZlibLevel8(set->bytes, &out));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(set->bytes.size()));
    state.counters["compressed"] = double(n);
}

// Collects the runs to print the ratios after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_None) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) continue;
            seconds_[run.benchmark_name()] = run.GetAdjustedRealTime();
            const auto it = run.counters.find("size_vs_zlib8");
            if (it != run.counters.end()) sizeRatio_[run.benchmark_name()] = it->second;
            const auto ld = run.counters.find("size_vs_libdeflate8");
            if (ld != run.counters.end()) sizeRatioLd_[run.benchmark_name()] = ld->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Summary(const std::vector<DataSet>& sets) const {
        std::printf("\nours / zlib level 8 (goal: size <= 1.01) and / libdeflate level 8 (goals: time <= 1.30, "
                    "size <= 1.003)\n");
        for (const DataSet& set : sets) {
            const auto ours = seconds_.find("ours/" + set.name);
            const auto zlib = seconds_.find("zlib8/" + set.name);
            const auto ld = seconds_.find("libdeflate8/" + set.name);
            const auto size = sizeRatio_.find("ours/" + set.name);
            const auto sizeLd = sizeRatioLd_.find("ours/" + set.name);
            if (ours == seconds_.end() || zlib == seconds_.end() || ld == seconds_.end() ||
                size == sizeRatio_.end() || sizeLd == sizeRatioLd_.end())
                continue;
            std::printf("  %-7s %8zu bytes: zlib size %.4f time %.2f; libdeflate size %.4f time %.2f\n",
                        set.name.c_str(), set.bytes.size(), size->second, ours->second / zlib->second,
                        sizeLd->second, ours->second / ld->second);
        }
    }

private:
    std::map<std::string, double> seconds_, sizeRatio_, sizeRatioLd_;
};

}  // namespace

int main(int argc, char** argv) {
    static const std::vector<DataSet> sets = MakeDataSets();
    for (const DataSet& set : sets) {
        benchmark::RegisterBenchmark(("ours/" + set.name).c_str(), BM_Ours, &set)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("zlib8/" + set.name).c_str(), BM_Zlib8, &set)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("libdeflate8/" + set.name).c_str(), BM_Libdeflate8, &set)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.Summary(sets);
    benchmark::Shutdown();
    return 0;
}
