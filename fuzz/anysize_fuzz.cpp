// Every reader through the whole load with no cap on the size a file
// declares, so that the memory bounds themselves are fuzzed: whatever a file
// claims, one load takes no more than the load budget. The input's first
// byte chooses the extension (and so the reader), the second the load
// options; the rest is the file.
//
// Run with -rss_limit_mb=600 (LLVMFuzzerInitialize puts it first on the
// command line, so a later one still wins): with the budget at 256 MB, a load
// beyond the budget plus AddressSanitizer's shadow shows as an out-of-memory
// finding. Freed memory leaves the sanitizer's quarantine at once, so what a
// load freed does not count against the next one.
#include <cstdint>
#include <vector>

#include "load_fuzz.h"

namespace {

constexpr uint64_t kFuzzBudget = uint64_t(256) << 20;

const wchar_t* const kNames[] = {L"f.jpg", L"f.png", L"f.bmp", L"f.gif", L"f.tga", L"f.pcx", L"f.ppm",
                                 L"f.ico", L"f.psd", L"f.tif", L"f.2bp", L"f.nef"};
constexpr size_t kNameCount = sizeof kNames / sizeof kNames[0];

}  // namespace

#ifndef PV_FUZZ_REPLAY
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=0"; }

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static std::vector<char*> args;
    static char rssLimit[] = "-rss_limit_mb=600";
    args.assign(*argv, *argv + *argc);
    args.insert(args.begin() + (args.empty() ? 0 : 1), rssLimit);
    args.push_back(nullptr);
    *argc = int(args.size() - 1);
    *argv = args.data();
    return 0;
}
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool budget = (SetLoadMemoryBudget(kFuzzBudget), true);
    (void)budget;
    if (size < 3) return 0;
    const wchar_t* name = kNames[data[0] % kNameCount];
    fuzzing::FuzzLoadPasses(data + 2, size - 2, name, data[1]);
    return 0;
}
