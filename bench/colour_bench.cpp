// The colour operations on one 12-megapixel (4000 x 3000) photo-like
// picture, each beside a peer timed in the same iteration, so every row
// reports our time, the peer's and their ratio (ours / peer):
//   BM_AdjustVsMemcpy     a lookup-table adjustment in place / a memcpy of
//                         the same bytes (goal: within 2x)
//   BM_SharpenVsVipsConv  3x3 sharpen / libvips' vips_conv of the same
//   BM_SmoothVsVipsConv   kernel, integer precision, one thread (goal: <= 1)
//   BM_QuantizeVsLibjpeg  256 colours with diffusion / libjpeg's own two-pass
//                         quantizer on the same decoded pixels: a decode with
//                         quantizing less a plain decode (goal: within 1.1x)
//   BM_QuantizeVsPngquant 256 colours with diffusion / the pngquant program
//                         (process start included); PSNR of both results
//                         against the picture, in dB.
// libvips and pngquant are peers for this benchmark only.
#include <benchmark/benchmark.h>

#include <vips/vips.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "processing/adjust.h"
#include "processing/filter.h"
#include "processing/reduce.h"
#include "tests/support/oracles.h"

namespace {

constexpr int32_t kWidth = 4000, kHeight = 3000;

template <typename F>
double Seconds(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs ours and the peer once per iteration; the iteration time is ours.
template <typename Ours, typename Peer>
void Compare(benchmark::State& state, Ours&& ours, Peer&& peer) {
    // One untimed round first: the first touches of fresh memory (page
    // faults, the allocator settling) belong to neither side.
    Seconds(ours);
    peer();
    double sumOurs = 0, sumPeer = 0;
    for (auto _ : state) {
        const double a = Seconds(ours), b = peer();
        sumOurs += a;
        sumPeer += b;
        state.SetIterationTime(a);
    }
    const double n = double(state.iterations());
    state.counters["ours_ms"] = sumOurs / n * 1000;
    state.counters["peer_ms"] = sumPeer / n * 1000;
    state.counters["ratio"] = sumOurs / sumPeer;
}

// A photo-like picture: smooth gradients and waves, a few discs and fine
// noise, so that it has hundreds of thousands of colours in clusters.
std::vector<uint8_t> MakePhoto() {
    std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
    std::mt19937 rng(5);
    std::vector<double> wave(kWidth);
    for (int32_t x = 0; x < kWidth; ++x) wave[size_t(x)] = std::sin(x / 310.0);
    for (int32_t y = 0; y < kHeight; ++y) {
        const double cy = std::cos(y / 220.0);
        for (int32_t x = 0; x < kWidth; ++x) {
            const int noise = int(rng() % 9) - 4;
            const bool disc = ((x % 1000) - 500) * ((x % 1000) - 500) + ((y % 1000) - 500) * ((y % 1000) - 500) < 90000;
            const double r = 128 + 90 * wave[size_t(x)] * cy + (disc ? 30 : 0);
            const double g = 40 + 170.0 * y / kHeight + (disc ? -25 : 0);
            const double b = 60 + 120.0 * x / kWidth * (disc ? 0.5 : 1.0);
            uint8_t* p = &rgb[(size_t(y) * kWidth + size_t(x)) * 3];
            p[0] = uint8_t(std::clamp(int(r) + noise, 0, 255));
            p[1] = uint8_t(std::clamp(int(g) + noise, 0, 255));
            p[2] = uint8_t(std::clamp(int(b) + noise, 0, 255));
        }
    }
    return rgb;
}

// The picture as a JPEG (quality 95, no subsampling), made once: the
// quantizer comparison runs on its decoded pixels, as djpeg would.
const std::vector<uint8_t>& Jpeg() {
    static const std::vector<uint8_t> jpeg = [] {
        const std::vector<uint8_t> rgb = MakePhoto();
        jpeg_compress_struct c{};
        jpeg_error_mgr err{};
        c.err = jpeg_std_error(&err);
        jpeg_create_compress(&c);
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&c, &buffer, &size);
        c.image_width = kWidth;
        c.image_height = kHeight;
        c.input_components = 3;
        c.in_color_space = JCS_RGB;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, 95, TRUE);
        for (int i = 0; i < c.num_components; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
        jpeg_start_compress(&c, TRUE);
        while (c.next_scanline < c.image_height) {
            JSAMPROW row = const_cast<uint8_t*>(&rgb[size_t(c.next_scanline) * kWidth * 3]);
            jpeg_write_scanlines(&c, &row, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        std::vector<uint8_t> out(buffer, buffer + size);
        std::free(buffer);
        return out;
    }();
    return jpeg;
}

// Decodes Jpeg(), plainly or through libjpeg's two-pass quantizer to 256
// colours with Floyd-Steinberg diffusion; `pixels` (optional) receives
// the decoded RGB or the colour indices.
void DecodeJpeg(bool quantize, std::vector<uint8_t>* pixels) {
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    const std::vector<uint8_t>& jpeg = Jpeg();
    jpeg_mem_src(&d, jpeg.data(), jpeg.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    if (quantize) {
        d.quantize_colors = TRUE;
        d.two_pass_quantize = TRUE;
        d.dither_mode = JDITHER_FS;
        d.desired_number_of_colors = 256;
    }
    jpeg_start_decompress(&d);
    const size_t rowBytes = size_t(d.output_width) * size_t(d.output_components);
    std::vector<uint8_t> row(rowBytes);
    if (pixels) pixels->resize(rowBytes * d.output_height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW r = pixels ? &(*pixels)[rowBytes * d.output_scanline] : row.data();
        jpeg_read_scanlines(&d, &r, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
}

// The decoded picture as an RGB Bitmap, made once and shared.
Bitmap& Source() {
    static Bitmap picture = [] {
        Bitmap b{};
        AllocBitmap(&b, kPixelRGB, 4, kWidth, kHeight);
        std::vector<uint8_t> rgb;
        DecodeJpeg(false, &rgb);
        for (int32_t y = 0; y < kHeight; ++y)
            std::memcpy(b.pixels + size_t(y) * size_t(b.bytesPerRow), &rgb[size_t(y) * kWidth * 3], size_t(kWidth) * 3);
        return b;
    }();
    return picture;
}

size_t SourceBytes() { return size_t(Source().bytesPerRow) * size_t(Source().height); }

void BM_AdjustVsMemcpy(benchmark::State& state) {
    Bitmap work{};
    AllocBitmap(&work, kPixelRGB, 4, kWidth, kHeight);
    std::memcpy(work.pixels, Source().pixels, SourceBytes());
    std::vector<uint8_t> copy(SourceBytes());
    Compare(
        state,
        [&] {
            if (BitmapAdjustColours(&work, nullptr, nullptr, 3, 10, 1.1) != 0) state.SkipWithError("adjust failed");
        },
        [&] {
            return Seconds([&] {
                std::memcpy(copy.data(), work.pixels, copy.size());
                benchmark::DoNotOptimize(copy.data());
            });
        });
    FreeBitmap(&work);
}
BENCHMARK(BM_AdjustVsMemcpy)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// vips_conv of the source with an integer 3 x 3 mask, written to memory.
double VipsConv(const std::vector<double>& mask, double scale) {
    return Seconds([&] {
        VipsImage* in = vips_image_new_from_memory(Source().pixels, SourceBytes(), kWidth, kHeight, 3, VIPS_FORMAT_UCHAR);
        VipsImage* m = vips_image_new_matrix_from_array(3, 3, mask.data(), int(mask.size()));
        vips_image_set_double(m, "scale", scale);
        VipsImage* out = nullptr;
        if (!in || !m || vips_conv(in, &out, m, "precision", VIPS_PRECISION_INTEGER, nullptr) != 0) {
            std::fprintf(stderr, "vips_conv failed: %s\n", vips_error_buffer());
            std::exit(1);
        }
        size_t size = 0;
        void* result = vips_image_write_to_memory(out, &size);
        benchmark::DoNotOptimize(result);
        g_free(result);
        g_object_unref(out);
        g_object_unref(m);
        g_object_unref(in);
    });
}

void BM_SharpenVsVipsConv(benchmark::State& state) {
    // Amount 50: (100 c - 50 S / 8) / 50 = (16 c - S) / 8.
    Compare(
        state,
        [&] {
            Bitmap out{};
            if (BitmapSharpen(&Source(), &out, nullptr, 50) != 0) state.SkipWithError("sharpen failed");
            FreeBitmap(&out);
        },
        [&] { return VipsConv({-1, -1, -1, -1, 16, -1, -1, -1, -1}, 8); });
}
BENCHMARK(BM_SharpenVsVipsConv)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SmoothVsVipsConv(benchmark::State& state) {
    // Strength 100: ((2 N + D) 100 + 25 c) / 1225, about (8 N + 4 D + c) / 49.
    Compare(
        state,
        [&] {
            Bitmap out{};
            if (BitmapSmooth(&Source(), &out, nullptr, 100) != 0) state.SkipWithError("smooth failed");
            FreeBitmap(&out);
        },
        [&] { return VipsConv({4, 8, 4, 8, 1, 8, 4, 8, 4}, 49); });
}
BENCHMARK(BM_SmoothVsVipsConv)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void QuantizeOurs(benchmark::State& state, Bitmap* out) {
    if (QuantizeBitmap(&Source(), out, 256, 1) != 0) state.SkipWithError("quantize failed");
}

void BM_QuantizeVsLibjpeg(benchmark::State& state) {
    Compare(
        state,
        [&] {
            Bitmap out{};
            QuantizeOurs(state, &out);
            FreeBitmap(&out);
        },
        [&] { return Seconds([] { DecodeJpeg(true, nullptr); }) - Seconds([] { DecodeJpeg(false, nullptr); }); });
}
BENCHMARK(BM_QuantizeVsLibjpeg)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// PSNR of RGB pixels against the source.
double PsnrAgainstSource(const std::vector<uint8_t>& rgb) {
    std::vector<uint8_t> original(size_t(kWidth) * kHeight * 3);
    for (int32_t y = 0; y < kHeight; ++y)
        std::memcpy(&original[size_t(y) * kWidth * 3], Source().pixels + size_t(y) * size_t(Source().bytesPerRow),
                    size_t(kWidth) * 3);
    return testing_support::Psnr(original, rgb);
}

void BM_QuantizeVsPngquant(benchmark::State& state) {
    const std::string dir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
    const std::string in = dir + "/pv_colour_bench.png", out = dir + "/pv_colour_bench_q.png";
    VipsImage* src = vips_image_new_from_memory(Source().pixels, SourceBytes(), kWidth, kHeight, 3, VIPS_FORMAT_UCHAR);
    if (!src || vips_pngsave(src, in.c_str(), "compression", 1, nullptr) != 0) {
        state.SkipWithError("cannot write the PNG for pngquant");
        return;
    }
    g_object_unref(src);
    const std::string command = "pngquant --force --output '" + out + "' 256 '" + in + "'";
    Bitmap ours{};
    Compare(
        state,
        [&] {
            FreeBitmap(&ours);
            QuantizeOurs(state, &ours);
        },
        [&] {
            return Seconds([&] {
                if (std::system(command.c_str()) != 0) state.SkipWithError("pngquant failed");
            });
        });
    // Quality of both results.
    std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) {
            const uint8_t i = ours.pixels[size_t(y) * size_t(ours.bytesPerRow) + size_t(x)];
            uint8_t* p = &rgb[(size_t(y) * kWidth + size_t(x)) * 3];
            p[0] = ours.palette[i];
            p[1] = ours.palette[kPaletteGreen + i];
            p[2] = ours.palette[kPaletteBlue + i];
        }
    state.counters["psnr_ours_db"] = PsnrAgainstSource(rgb);
    FreeBitmap(&ours);
    VipsImage* q = vips_image_new_from_file(out.c_str(), nullptr);
    VipsImage* q3 = nullptr;
    if (q && vips_extract_band(q, &q3, 0, "n", 3, nullptr) == 0) {
        size_t size = 0;
        auto* data = static_cast<uint8_t*>(vips_image_write_to_memory(q3, &size));
        if (data && size == rgb.size()) state.counters["psnr_pngquant_db"] = PsnrAgainstSource(std::vector<uint8_t>(data, data + size));
        g_free(data);
        g_object_unref(q3);
    }
    if (q) g_object_unref(q);
    std::remove(in.c_str());
    std::remove(out.c_str());
}
BENCHMARK(BM_QuantizeVsPngquant)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    if (VIPS_INIT(argv[0])) return 1;
    // One thread and no operation cache: the peer does the work each time,
    // on as many cores as ours.
    vips_concurrency_set(1);
    vips_cache_set_max(0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    vips_shutdown();
    return 0;
}
