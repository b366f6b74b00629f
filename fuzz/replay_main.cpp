// Runs a fuzz target over files and folders given on the command line, so
// the stored crashers and corpora replay as ordinary regression tests.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

static void RunFile(const fs::path& path, int* count) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    ++*count;
}

int main(int argc, char** argv) {
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg(argv[i]);
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            for (const auto& entry : fs::recursive_directory_iterator(arg, ec))
                if (entry.is_regular_file()) RunFile(entry.path(), &count);
        } else if (fs::is_regular_file(arg, ec)) {
            RunFile(arg, &count);
        } else {
            std::fprintf(stderr, "replay: no such file or folder: %s\n", argv[i]);
            return 2;
        }
    }
    std::printf("replay: %d inputs ran cleanly\n", count);
    return 0;
}
