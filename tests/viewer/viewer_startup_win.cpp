// Start-up of the viewer to its first screen of thumbnails on a folder of
// 500 camera JPEG pictures (made beforehand by bench/make_camera_folder.py,
// see scripts/bench-viewer-startup.sh), with a cold thumbnail cache (none in
// the folder) and a warm one (the cache the cold run left). The main window
// is shown at once (no start screen); the first screen is there when every
// item the list shows has its picture's information and thumbnail. Prints
// each run, the medians with their spread and the ratio of cold to warm;
// fails only when the viewer does not get there.
//
//   viewer_startup <viewer.exe> <device folder> [runs]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/albums/screen_win.h"
#include "tests/viewer/viewerprocess.h"

namespace {

constexpr int kPictures = 500;

int CountPictures(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    const HANDLE listing = FindFirstFileW((folder + L"*.JPG").c_str(), &data);
    if (listing == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do ++count;
    while (FindNextFileW(listing, &data));
    FindClose(listing);
    return count;
}

void WriteSettings(const std::wstring& folder) {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Trelmo");
    HKEY key;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Trelmo", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    RegSetValueExW(key, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   DWORD((folder.size() + 1) * 2));
    RegCloseKey(key);
    // The browser itself, as a user who turned the start screen off meets it.
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Trelmo\\General", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                    nullptr);
    const DWORD off = 0;
    RegSetValueExW(key, L"UseSplashScreen", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off), sizeof off);
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
        600000);
}

// Every item the list shows within its client area has its information
// (the properties column is written with the thumbnail).
bool FirstScreenShown(Viewer& viewer) {
    const HWND list = Viewer::List();
    if (!Viewer::Main() || !IsWindowVisible(Viewer::Main()) || Viewer::ItemCount() != kPictures) return false;
    RECT client;
    GetClientRect(list, &client);
    MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&client), 2);
    int shown = 0;
    for (int i = 0; i < kPictures; ++i) {
        const RECT r = viewer.ItemRect(i);
        if (r.top >= client.bottom) break;
        if (r.bottom <= client.top) continue;
        if (viewer.ItemText(i, 1).empty()) return false;
        ++shown;
    }
    return shown > 0;
}

// Milliseconds from the start of the process to its first screen of
// thumbnails; -1 when it never came.
double TimeToFirstScreen(const std::wstring& program, Viewer** keep) {
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    auto* viewer = new Viewer(L"", program);
    *keep = viewer;
    const bool shown = screentest::PumpUntil([&] { return FirstScreenShown(*viewer); }, 120000);
    QueryPerformanceCounter(&now);
    return shown ? double(now.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart) : -1;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: viewer_startup <viewer.exe> <device folder> [runs]\n");
        return 2;
    }
    const std::wstring program = argv[1], folder = argv[2];
    const int runs = argc > 3 ? std::max(1, _wtoi(argv[3])) : 3;
    if (CountPictures(folder) != kPictures) {
        std::fprintf(stderr, "viewer_startup: %ls does not hold %d pictures (bench/make_camera_folder.py)\n",
                     folder.c_str(), kPictures);
        return 2;
    }
    WriteSettings(folder);
    std::vector<double> cold, warm;
    for (int run = 0; run < runs; ++run) {
        DeleteFileW((folder + L"cache.zt").c_str());
        Viewer* viewer = nullptr;
        const double c = TimeToFirstScreen(program, &viewer);
        // Every thumbnail made (the cache stops growing), then closed.
        WaitForCacheToSettle(folder + L"cache.zt");
        const bool closed = viewer->Close();
        delete viewer;
        const double w = TimeToFirstScreen(program, &viewer);
        viewer->Close();
        delete viewer;
        std::printf("run %d: cold %.0f ms, warm %.0f ms%s\n", run + 1, c, w, closed ? "" : " (first close failed)");
        if (c < 0 || w < 0) return 1;
        cold.push_back(c);
        warm.push_back(w);
    }
    const double c = Median(cold), w = Median(warm);
    std::printf("viewer start-up to the first screen of thumbnails, %d camera pictures of 4000 x 3000: "
                "cold %.0f ms (%.0f..%.0f), warm %.0f ms (%.0f..%.0f), cold/warm %.2f\n",
                kPictures, c, *std::min_element(cold.begin(), cold.end()), *std::max_element(cold.begin(), cold.end()),
                w, *std::min_element(warm.begin(), warm.end()), *std::max_element(warm.begin(), warm.end()),
                w > 0 ? c / w : 0.0);
    DeleteFileW((folder + L"cache.zt").c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Trelmo");
    return 0;
}
