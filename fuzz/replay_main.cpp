// Runs one of the fuzz targets over files and folders given on the command
// line, so the stored crashers and corpora replay as ordinary regression
// tests:  fuzz_replay <target> <file or folder>...
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

using FuzzEntry = int (*)(const uint8_t* data, size_t size);

#define PV_REPLAY_TARGET(name) extern "C" int PvReplay_##name(const uint8_t* data, size_t size);
#include "replay_targets.inc"
#undef PV_REPLAY_TARGET

namespace {

struct Target {
    const char* name;
    FuzzEntry entry;
};

const Target kTargets[] = {
#define PV_REPLAY_TARGET(name) {#name, PvReplay_##name},
#include "replay_targets.inc"
#undef PV_REPLAY_TARGET
};

namespace fs = std::filesystem;

void RunFile(FuzzEntry entry, const fs::path& path, int* count) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    entry(bytes.data(), bytes.size());
    ++*count;
}

int Usage() {
    std::fprintf(stderr, "usage: fuzz_replay <target> <file or folder>...\ntargets:");
    for (const Target& t : kTargets) std::fprintf(stderr, " %s", t.name);
    std::fprintf(stderr, "\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    FuzzEntry entry = nullptr;
    for (const Target& t : kTargets)
        if (std::strcmp(t.name, argv[1]) == 0) entry = t.entry;
    if (!entry) {
        std::fprintf(stderr, "fuzz_replay: no target named %s\n", argv[1]);
        return Usage();
    }
    int count = 0;
    for (int i = 2; i < argc; ++i) {
        const fs::path arg(argv[i]);
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            for (const auto& e : fs::recursive_directory_iterator(arg, ec))
                if (e.is_regular_file()) RunFile(entry, e.path(), &count);
        } else if (fs::is_regular_file(arg, ec)) {
            RunFile(entry, arg, &count);
        } else {
            std::fprintf(stderr, "fuzz_replay: no such file or folder: %s\n", argv[i]);
            return 2;
        }
    }
    std::printf("fuzz_replay %s: %d inputs ran cleanly\n", argv[1], count);
    return 0;
}
