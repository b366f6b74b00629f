// Decoding a 3000 x 2000 RGB PNG (6 megapixels; non-interlaced and Adam7,
// each file's size printed) into a bitmap through the whole load, against
// libpng called directly (its simplified API, RGB into a zeroed picture) and
// libspng, on the same bytes in memory in the same process, timed in
// alternation (bench/interleaved.h). Goal: at most 1.0x each peer.
//
//   taskset -c 5 bench_png [rounds [plain|interlaced...]]     (default 15 rounds, both)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <png.h>
#include <spng.h>

#include "bench/interleaved.h"
#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "imagelib/textutil.h"
#include "tests/support/testfiles.h"

namespace {

constexpr int kWidth = 3000, kHeight = 2000;

std::string TempDir() { return std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp"; }

// A picture with smooth areas and noise, as photographs have, written as PPM
// and compressed by pnmtopng; "" when netpbm is missing.
std::string MakePng(const char* name, int width, int height, bool interlaced) {
    const std::string ppm = TempDir() + "/pv_png_bench.ppm", png = TempDir() + "/" + name;
    FILE* f = std::fopen(ppm.c_str(), "wb");
    if (!f) return {};
    std::fprintf(f, "P6\n%d %d\n255\n", width, height);
    uint32_t seed = 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 28) - 8;
            const int px[3] = {(x * 255 / width + noise) & 255, (y * 255 / height + noise) & 255,
                               ((x + y) / 16 * 37) & 255};
            for (int c : px) std::fputc(c, f);
        }
    std::fclose(f);
    const std::string cmd = std::string("pnmtopng ") + (interlaced ? "-interlace " : "") + "'" + ppm + "' > '" +
                            png + "' 2>/dev/null";
    const bool ok = std::system(cmd.c_str()) == 0;
    std::remove(ppm.c_str());
    return ok ? png : std::string();
}

// The file's bytes, read once; empty when it could not be made.
const std::vector<uint8_t>& Plain() {
    static const std::vector<uint8_t> p = [] {
        const std::string path = MakePng("pv_png_bench.png", kWidth, kHeight, false);
        return path.empty() ? std::vector<uint8_t>() : testing_support::ReadBytes(Utf8ToWide(path.c_str()));
    }();
    return p;
}
const std::vector<uint8_t>& Interlaced() {
    static const std::vector<uint8_t> p = [] {
        const std::string path = MakePng("pv_png_bench_i.png", kWidth, kHeight, true);
        return path.empty() ? std::vector<uint8_t>() : testing_support::ReadBytes(Utf8ToWide(path.c_str()));
    }();
    return p;
}

bool LoadOurs(const std::vector<uint8_t>& file) {
    LoadOptions o;
    InitLoadOptions(&o);
    Bitmap b;
    const bool ok = LoadPictureFromMemory(file.data(), file.size(), L"x.png", &b, &o, nullptr) == 0;
    FreeBitmap(&b);
    return ok;
}

bool LoadLibpng(const std::vector<uint8_t>& file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return false;
    image.format = PNG_FORMAT_RGB;
    void* pixels = std::calloc(PNG_IMAGE_SIZE(image), 1);
    const bool ok = pixels && png_image_finish_read(&image, nullptr, pixels, 0, nullptr);
    std::free(pixels);
    png_image_free(&image);
    return ok;
}

bool LoadSpng(const std::vector<uint8_t>& file) {
    spng_ctx* ctx = spng_ctx_new(0);
    size_t bytes = 0;
    void* pixels = nullptr;
    const bool ok = ctx && spng_set_png_buffer(ctx, file.data(), file.size()) == 0 &&
                    spng_decoded_image_size(ctx, SPNG_FMT_RGB8, &bytes) == 0 && (pixels = std::calloc(bytes, 1)) &&
                    spng_decode_image(ctx, pixels, bytes, SPNG_FMT_RGB8, 0) == 0;
    std::free(pixels);
    spng_ctx_free(ctx);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 0;
    std::vector<std::string> chosen;
    if (!bench_support::ParseRoundsAndNames(argc, argv, 15, {"plain", "interlaced"}, &rounds, &chosen)) return 2;
    InitFormatRegistry();
    bool allMet = true;
    int measured = 0;
    const struct {
        const char* name;
        const std::vector<uint8_t>& file;
    } kFiles[] = {{"plain", Plain()}, {"interlaced", Interlaced()}};
    for (const auto& f : kFiles) {
        if (!chosen.empty() && std::find(chosen.begin(), chosen.end(), f.name) == chosen.end()) continue;
        if (f.file.empty()) {
            std::printf("pnmtopng is not available\n");
            return 1;
        }
        if (!LoadOurs(f.file) || !LoadLibpng(f.file) || !LoadSpng(f.file)) {
            std::printf("%s: a decoder failed\n", f.name);
            return 1;
        }
        char what[64];
        std::snprintf(what, sizeof what, "%s (%zu bytes)", f.name, f.file.size());
        const auto libpng = bench_support::TimeAgainstPeer(rounds, [&] { LoadOurs(f.file); }, [&] { LoadLibpng(f.file); });
        bench_support::PrintRatio(what, "libpng", libpng, 1.0);
        const auto spng = bench_support::TimeAgainstPeer(rounds, [&] { LoadOurs(f.file); }, [&] { LoadSpng(f.file); });
        bench_support::PrintRatio(what, "libspng", spng, 1.0);
        allMet = allMet && libpng.median <= 1.0 && spng.median <= 1.0;
        ++measured;
    }
    return bench_support::PrintVerdict(measured, allMet);
}
