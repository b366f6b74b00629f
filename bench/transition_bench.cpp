// Planning the steps of each transition on the handheld's 240x320 screen,
// against a plain memcpy of one 16-bit 240x320 frame (the least a step that
// redraws the screen would move). Reported per step: the plan must stay a
// small fraction of the 10 ms a step may take.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "display/transition.h"

namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 320;

// Every step of one run of the effect (its argument), a new picture of
// 200 x 150 replacing a full-screen one; the time is per step.
void BM_PlanStep(benchmark::State& state) {
    const int effect = int(state.range(0));
    const TransitionGeometry g = TransitionLayout(effect, {20, 85, 200, 150}, {0, 0, kWidth, kHeight}, kWidth, kHeight);
    const int steps = TransitionStepsFor(effect);
    const int count = TransitionStepCount(effect, g, steps);
    std::vector<TransitionOp> ops;
    ops.reserve(64);
    size_t drawn = 0;
    for (auto _ : state) {
        for (int i = 0; i < count; ++i) {
            PlanTransitionStep(effect, g, steps, i, &ops);
            drawn += ops.size();
        }
        benchmark::DoNotOptimize(drawn);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * count);  // steps per second
    state.counters["ops_per_step"] = double(drawn) / double(state.iterations() * count);
}
BENCHMARK(BM_PlanStep)->DenseRange(0, kTransitionEffectCount - 1);

void BM_FrameMemcpyPeer(benchmark::State& state) {
    const size_t bytes = size_t(kWidth) * kHeight * 2;
    std::vector<uint8_t> in(bytes, 1), out(bytes);
    for (auto _ : state) {
        std::memcpy(out.data(), in.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()));  // frames per second
}
BENCHMARK(BM_FrameMemcpyPeer);

}  // namespace

BENCHMARK_MAIN();
