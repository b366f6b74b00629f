// Scratch names for fuzz targets that go through real files: one unique
// stem per process in the library's temporary folder, so several fuzzers
// (and the replays) never share a file. Targets delete what they make after
// each input.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "imagelib/fileio.h"
#include "imagelib/textutil.h"

namespace fuzzing {

// "<temp folder>x_<n>.tmp" reserved once per process (the reserving file is
// removed again); names are made by appending to it.
inline const std::wstring& ScratchStem() {
    static const std::wstring stem = [] {
        wchar_t buffer[300];
        if (MakeTempFileName(buffer, sizeof buffer / sizeof buffer[0]) == 0) return std::wstring();
        DeletePictureFile(buffer);
        return std::wstring(buffer);
    }();
    return stem;
}

// A wide path for std::filesystem (UTF-8 outside Windows).
inline std::filesystem::path FsPath(const std::wstring& path) {
#ifdef _WIN32
    return std::filesystem::path(path);
#else
    return std::filesystem::path(WideToUtf8(path.c_str()));
#endif
}

}  // namespace fuzzing
