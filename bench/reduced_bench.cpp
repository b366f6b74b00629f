// A reduced load (a thumbnail fitted into 160 x 120, averaged) against the
// full load of the same file, for every reader and bit depth: the pages are
// drawn and written at start-up by make_reduced_pages.py (Pillow, and
// ImageMagick where Pillow writes no such file) into a temporary folder. A
// reduced load must never cost more than the full one: goal <= 1.00 on
// every line, each ratio the median of interleaved rounds (reduced, then
// full, the order alternating) with its quartiles, in processor time. Run
// it pinned to one core (taskset -c N).
//
//   bench_reduced [--rounds=N] [--only=TEXT]   (N defaults to 15; TEXT picks
//                                               the pages whose name holds it)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/interleaved.h"
#include "imagelib/formats.h"
#include "imagelib/load.h"

#ifndef PV_BENCH_SOURCE_DIR
#error "PV_BENCH_SOURCE_DIR names the bench folder (for make_reduced_pages.py)"
#endif

namespace {

std::vector<std::string> MakePages(const std::string& dir) {
    const std::string command = "/usr/bin/python3 '" PV_BENCH_SOURCE_DIR "/make_reduced_pages.py' '" + dir + "'";
    std::vector<std::string> names;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return names;
    char line[256];
    while (std::fgets(line, sizeof line, p)) {
        std::string name(line);
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
        if (!name.empty()) names.push_back(name);
    }
    if (pclose(p) != 0) names.clear();
    return names;
}

bool Load(const std::wstring& path, bool reduced) {
    LoadOptions o;
    InitLoadOptions(&o);
    o.flags |= kLoadAcceptDamaged | kLoadPreferThreeBytes;
    if (reduced) {
        o.flags |= kLoadReduced;
        o.targetWidth = 160;
        o.targetHeight = 120;
    }
    Bitmap b{};
    const bool ok = LoadPictureFromFile(path.c_str(), &b, &o, nullptr) == kLoadOk;
    FreeBitmap(&b);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 15;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--rounds=", 9) == 0 && std::atoi(argv[i] + 9) > 0) {
            rounds = std::atoi(argv[i] + 9);
        } else if (std::strncmp(argv[i], "--only=", 7) == 0) {
            only = argv[i] + 7;
        } else {
            std::fprintf(stderr, "bench_reduced: unknown argument %s\nusage: bench_reduced [--rounds=N] [--only=TEXT]\n",
                         argv[i]);
            return 2;
        }
    }
    InitFormatRegistry();
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/pv_reducedbench";
    const std::vector<std::string> names = MakePages(dir);
    if (names.empty()) {
        std::fprintf(stderr, "bench_reduced: make_reduced_pages.py wrote no pages (Pillow and ImageMagick needed)\n");
        return 1;
    }
    std::printf("Reduced load (160 x 120) / full load of the same file, %d rounds, goal <= 1.00:\n", rounds);
    int measured = 0, missed = 0;
    for (const std::string& name : names) {
        if (!only.empty() && name.find(only) == std::string::npos) continue;
        const std::string full = dir + "/" + name;
        const std::wstring path(full.begin(), full.end());
        if (!Load(path, false) || !Load(path, true)) {
            std::printf("  %-34s does not load: not measured  MISSED\n", name.c_str());
            ++missed;
            continue;
        }
        const bench_support::RatioSpread r = bench_support::TimeAgainstPeer(
            rounds, [&] { Load(path, true); }, [&] { Load(path, false); });
        bench_support::PrintRatio(name.c_str(), "full", r, 1.0);
        ++measured;
        if (r.median > 1.0) ++missed;
    }
    if (measured == 0) {
        std::printf("nothing measured\n");
        return 1;
    }
    if (missed) std::printf("%d of %d goals missed\n", missed, measured);
    else std::printf("every goal of %d met\n", measured);
    return missed ? 1 : 0;
}
