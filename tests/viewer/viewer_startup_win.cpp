// Start-up of the viewer to its first thumbnail on a folder of 500 camera-
// sized JPEG pictures, with a cold thumbnail cache (none in the folder) and a
// warm one (the cache the first run left). Prints each run and the ratio of
// cold to warm; fails only when the viewer does not get there.
//
//   viewer_startup <viewer.exe> <picture.jpg> <device folder> [runs]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/albums/screen_win.h"
#include "tests/viewer/viewerprocess.h"

namespace {

constexpr int kPictures = 500;

void SetUpFolder(const std::wstring& folder, const std::wstring& picture) {
    CreateDirectoryW(folder.c_str(), nullptr);
    for (int i = 0; i < kPictures; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"p%03d.jpg", i);
        const std::wstring to = folder + name;
        if (GetFileAttributesW(to.c_str()) == INVALID_FILE_ATTRIBUTES) CopyFileW(picture.c_str(), to.c_str(), FALSE);
    }
}

void WriteSettings(const std::wstring& folder) {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Trelmo");
    HKEY key;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Trelmo", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    RegSetValueExW(key, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   DWORD((folder.size() + 1) * 2));
    RegCloseKey(key);
}

uint64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

void WaitForCacheToSettle(const std::wstring& cache) {
    uint64_t last = 0;
    int still = 0;
    screentest::PumpUntil(
        [&] {
            Sleep(200);
            const uint64_t size = FileSize(cache);
            still = size > 0 && size == last ? still + 1 : 0;
            last = size;
            return still >= 5;
        },
        90000);
}

// Milliseconds from the start of the process to the first thumbnail on the
// screen; -1 when it never came.
double TimeToFirstThumbnail(const std::wstring& program, Viewer** keep) {
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    auto* viewer = new Viewer(L"", program);
    *keep = viewer;
    POINT centre = {};
    const bool shown = screentest::PumpUntil(
        [&] {
            if (!Viewer::Main() || Viewer::ItemCount() < 1) return false;
            if (centre.x == 0) centre = viewer->CellCentre(0);
            const screentest::Hue hue = screentest::ScreenHue(centre.x, centre.y);
            return hue != screentest::Hue::kGrey;
        },
        60000);
    QueryPerformanceCounter(&now);
    return shown ? double(now.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart) : -1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: viewer_startup <viewer.exe> <picture.jpg> <device folder> [runs]\n");
        return 2;
    }
    const std::wstring program = argv[1], picture = argv[2], folder = argv[3];
    const int runs = argc > 4 ? std::max(1, _wtoi(argv[4])) : 3;
    SetUpFolder(folder, picture);
    WriteSettings(folder);
    std::vector<double> cold, warm;
    for (int run = 0; run < runs; ++run) {
        DeleteFileW((folder + L"cache.zt").c_str());
        Viewer* viewer = nullptr;
        const double c = TimeToFirstThumbnail(program, &viewer);
        // Every thumbnail made (the cache stops growing), then closed.
        WaitForCacheToSettle(folder + L"cache.zt");
        const bool closed = viewer->Close();
        delete viewer;
        const double w = TimeToFirstThumbnail(program, &viewer);
        viewer->Close();
        delete viewer;
        std::printf("run %d: cold %.0f ms, warm %.0f ms%s\n", run + 1, c, w, closed ? "" : " (first close failed)");
        if (c < 0 || w < 0) return 1;
        cold.push_back(c);
        warm.push_back(w);
    }
    std::sort(cold.begin(), cold.end());
    std::sort(warm.begin(), warm.end());
    const double c = cold[cold.size() / 2], w = warm[warm.size() / 2];
    std::printf("viewer start-up to the first thumbnail, %d pictures: cold %.0f ms, warm %.0f ms, cold/warm %.2f\n",
                kPictures, c, w, w > 0 ? c / w : 0.0);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Trelmo");
    return 0;
}
