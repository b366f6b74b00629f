// Timing a peer tool in the same run as our own code: the whole command,
// process start included, as one manual-time iteration per run.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace bench_support {

// Runs `command` once per iteration; a failing command stops the benchmark
// with `whyFailed` (default: the command itself).
inline void TimePeerCommand(benchmark::State& state, const std::string& command,
                            const std::string& whyFailed = std::string()) {
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError((whyFailed.empty() ? "failed: " + command : whyFailed).c_str());
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}

}  // namespace bench_support
