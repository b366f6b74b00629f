// PackBits decoding from memory against a plain memcpy of the decoded size
// (the bound): the ratio shows the decoder's cost per output byte.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "imagelib/fileio.h"

namespace {

// Mixed literal and run packets, as a photo's PackBits rows look.
std::vector<uint8_t> MakeStream(size_t outBytes) {
    std::mt19937 rng(42);
    std::vector<uint8_t> s;
    size_t made = 0;
    while (made < outBytes) {
        if (rng() & 1) {
            const int n = 1 + int(rng() % 128);
            s.push_back(uint8_t(n - 1));
            for (int i = 0; i < n; ++i) s.push_back(uint8_t(rng()));
            made += size_t(n);
        } else {
            const int n = 2 + int(rng() % 127);
            s.push_back(uint8_t(257 - n));
            s.push_back(uint8_t(rng()));
            made += size_t(n);
        }
    }
    return s;
}

constexpr size_t kOut = 1 << 20;

void BM_UnpackBits(benchmark::State& state) {
    const std::vector<uint8_t> stream = MakeStream(kOut);
    std::vector<uint8_t> out(kOut);
    for (auto _ : state) {
        FileSource src;
        InitMemorySource(&src, stream.data(), stream.size());
        PictureFile* f = OpenPictureFile(&src, kOpenReadBinary);
        benchmark::DoNotOptimize(UnpackBitsFromFile(f, out.data(), kOut));
        ClosePictureFile(f);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kOut));
}
BENCHMARK(BM_UnpackBits);

void BM_MemcpyPeer(benchmark::State& state) {
    std::vector<uint8_t> in(kOut, 1), out(kOut);
    for (auto _ : state) {
        std::memcpy(out.data(), in.data(), kOut);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kOut));
}
BENCHMARK(BM_MemcpyPeer);

}  // namespace

BENCHMARK_MAIN();
