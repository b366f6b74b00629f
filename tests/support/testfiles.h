// Test helpers: a scratch folder per test and whole-file read/write, on both
// targets (wide paths on Windows).
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "imagelib/textutil.h"

namespace testing_support {

namespace fs = std::filesystem;

// Wide paths reach std::filesystem as UTF-8 outside Windows (the C locale
// cannot convert them).
inline fs::path ToFsPath(const std::wstring& path) {
#ifdef _WIN32
    return fs::path(path);
#else
    return fs::path(WideToUtf8(path.c_str()));
#endif
}

class ScratchDir {
public:
    ScratchDir() {
        std::random_device rd;
        path_ = fs::temp_directory_path() / ("pvtest-" + std::to_string(rd()) + std::to_string(rd()));
        fs::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const fs::path& path() const { return path_; }
    std::wstring File(const std::string& name) const { return (path_ / name).wstring(); }

private:
    fs::path path_;
};

// A file in a fixture folder given as UTF-8 (a build-tree path from a
// compile definition), as a wide path.
inline std::wstring FixtureFile(const std::string& dir, const std::string& name) {
    return Utf8ToWide((dir + "/" + name).c_str());
}

inline void WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(ToFsPath(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const std::wstring& path, const std::string& text) {
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

inline std::vector<uint8_t> ReadBytes(const std::wstring& path) {
    std::ifstream in(ToFsPath(path), std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace testing_support
