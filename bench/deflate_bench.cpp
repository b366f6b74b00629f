// Our deflate compressor against libdeflate at level 8 (the level the ZIP
// writer uses; libdeflate's fastest equivalent call, one buffer in, one out)
// and zlib level 8, on the same data in the same run, timed in alternation
// (bench/interleaved.h). The sets, each sized as printed:
//   text    10 MiB: the Python standard library's sources (prose, code and
//           tables), made-up prose where they are missing
//   bmp24   a 2048 x 1536 photo-like picture as a 24-bit BMP (9 MiB)
//   jpeg    the same picture as a JPEG of quality 98 (1.2 MiB; the picture
//           is smooth, camera pictures of its size take as much at 90)
//   photo   a real photograph as a 24-bit BMP of 2048 x 1536 (9 MiB):
//           ImageMagick's built-in rose picture enlarged, with the grain
//           of a camera sensor (made at run time by ImageMagick)
//   mixed   8 MiB of 64 KiB pieces of text, BMP, JPEG and random bytes in
//           turn, as an album of varied files gives them
//   random  1 MiB of random bytes
// Goals (ratios): time at most 1.0x libdeflate's, output at most 0.3 %
// larger than libdeflate's and within 1 % of zlib's. Every stream of ours is
// inflated by zlib and compared before it is timed.
//
//   taskset -c 5 bench_deflate [rounds [set...]]   (default: 11 rounds, every set)
//
// A set that cannot be made (ImageMagick missing) is NOT MEASURED, and no
// goal is then met.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <libdeflate.h>
#include <zlib.h>

#include "bmpfile.h"
#include "interleaved.h"
#include "tests/support/zipdeflate.h"

namespace {

constexpr size_t kTextBytes = size_t(10) << 20;
constexpr size_t kMixedBytes = size_t(8) << 20;
constexpr size_t kMixedPiece = size_t(64) << 10;

struct DataSet {
    std::string name;
    std::vector<uint8_t> bytes;
};

// The Python sources in path order, the same on every Debian 12 machine; if
// they fall short, made-up prose fills the rest.
std::vector<uint8_t> Text() {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const char* root : {"/usr/lib/python3.11", "/usr/lib/python3/dist-packages"}) {
        for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            if (it->is_regular_file(ec) && it->path().extension() == ".py") files.push_back(it->path());
    }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.native() < b.native(); });
    std::vector<uint8_t> text;
    for (const auto& path : files) {
        if (text.size() >= kTextBytes) break;
        std::ifstream in(path, std::ios::binary);
        text.insert(text.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static const char* const kWords[] = {"picture", "album", "the", "of", "a", "viewer", "folder", "and",
                                         "rotate", "to", "slideshow", "card", "is", "with", "JPEG"};
    std::mt19937 rng(7);
    while (text.size() < kTextBytes) {
        const char* w = kWords[rng() % 15];
        text.insert(text.end(), w, w + std::strlen(w));
        text.push_back(rng() % 12 == 0 ? '\n' : ' ');
    }
    text.resize(kTextBytes);
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
    jpeg_set_quality(&cinfo, 98, TRUE);
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

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes(n);
    for (uint8_t& b : bytes) b = uint8_t(rng());
    return bytes;
}

// ImageMagick's rose photograph enlarged to 2048 x 1536 with a little
// Gaussian grain, as a 24-bit BMP; empty when ImageMagick is missing.
std::vector<uint8_t> PhotoBmp() {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("pvbench-photo-" + std::to_string(std::random_device()()) + ".bmp"))
                                 .string();
    const std::string command = "convert rose: -resize '2048x1536!' -seed 3 -attenuate 0.4 +noise Gaussian "
                                "-type TrueColor bmp3:'" + path + "' 2>/dev/null";
    std::vector<uint8_t> bytes;
    if (std::system(command.c_str()) == 0) {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return bytes;
}

std::vector<DataSet> MakeDataSets() {
    std::vector<DataSet> sets;
    sets.push_back({"text", Text()});
    const int w = 2048, h = 1536;
    const std::vector<uint8_t> rgb = PhotoPixels(w, h);
    sets.push_back({"bmp24", bench_support::Bmp24(rgb, w, h)});
    sets.push_back({"jpeg", Jpeg(rgb, w, h)});
    sets.push_back({"photo", PhotoBmp()});
    const std::vector<uint8_t> random = RandomBytes(size_t(1) << 20, 3);
    // Pieces of each source in turn, each source read on from where its
    // last piece ended (wrapping).
    const std::vector<uint8_t>* sources[] = {&sets[0].bytes, &sets[1].bytes, &sets[2].bytes, &random};
    size_t offsets[4] = {};
    std::vector<uint8_t> mixed;
    for (size_t i = 0; mixed.size() < kMixedBytes; i = (i + 1) % 4) {
        const std::vector<uint8_t>& from = *sources[i];
        const size_t n = std::min(kMixedPiece, from.size() - offsets[i]);
        mixed.insert(mixed.end(), from.begin() + ptrdiff_t(offsets[i]), from.begin() + ptrdiff_t(offsets[i] + n));
        offsets[i] = (offsets[i] + n) % from.size();
    }
    mixed.resize(kMixedBytes);
    sets.push_back({"mixed", mixed});
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

}  // namespace

int main(int argc, char** argv) {
    int rounds = 0;
    std::vector<std::string> chosen;
    if (!bench_support::ParseRoundsAndNames(argc, argv, 11, {"text", "bmp24", "jpeg", "photo", "mixed", "random"}, &rounds,
                                            &chosen))
        return 2;
    const std::vector<DataSet> sets = MakeDataSets();
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(8);
    std::vector<uint8_t> ours, peer, check;
    bool allMet = true;
    int measured = 0;
    std::printf("ours / libdeflate level 8: time (median of %d alternating rounds), size; ours / zlib 8: size\n",
                rounds);
    for (const DataSet& set : sets) {
        if (!chosen.empty() && std::find(chosen.begin(), chosen.end(), set.name) == chosen.end()) continue;
        const std::vector<uint8_t>& in = set.bytes;
        if (in.empty()) {
            std::printf("  %-34s NOT MEASURED (ImageMagick could not make it)\n", set.name.c_str());
            allMet = false;
            continue;
        }
        ours.reserve(in.size() + in.size() / 100 + 1024);
        peer.resize(libdeflate_deflate_compress_bound(compressor, in.size()));
        if (testing_support::DeflateMemory(in.data(), in.size(), 8, &ours) != nullptr ||
            !testing_support::InflateRaw(ours, &check, in.size()) || check != in) {
            std::printf("%s: our stream does not inflate to the input\n", set.name.c_str());
            return 1;
        }
        const size_t oursSize = ours.size();
        const size_t peerSize = libdeflate_deflate_compress(compressor, in.data(), in.size(), peer.data(), peer.size());
        std::vector<uint8_t> zlibOut;
        const size_t zlibSize = ZlibLevel8(in, &zlibOut);
        const bench_support::RatioSpread r = bench_support::TimeAgainstPeer(
            rounds, [&] { testing_support::DeflateMemory(in.data(), in.size(), 8, &ours); },
            [&] { libdeflate_deflate_compress(compressor, in.data(), in.size(), peer.data(), peer.size()); });
        const double sizeLd = double(oursSize) / double(peerSize), sizeZlib = double(oursSize) / double(zlibSize);
        char what[64];
        std::snprintf(what, sizeof what, "%s (%zu bytes)", set.name.c_str(), in.size());
        bench_support::PrintRatio(what, "libdeflate 8", r, 1.0);
        std::printf("  %-34s size %zu: %.4f libdeflate 8 (goal <= 1.003), %.4f zlib 8 (goal <= 1.01)\n", "",
                    oursSize, sizeLd, sizeZlib);
        allMet = allMet && r.median <= 1.0 && sizeLd <= 1.003 && sizeZlib <= 1.01;
        ++measured;
    }
    libdeflate_free_compressor(compressor);
    return bench_support::PrintVerdict(measured, allMet);
}
