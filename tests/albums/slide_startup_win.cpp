// Start-up of a stand-alone slideshow under Wine: from process creation to
// its first picture on the screen, for a show of one camera-sized picture
// shrunk for the screen. Prints the runs and their median; asserts nothing
// (Wine's process start dominates and varies with the machine).
//
//   slide_startup <slide.exe> <picture.jpg> <work folder>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "imagelib/imagelib.h"
#include "tools/slideshowmaker.h"

namespace {

bool CentreIsPicture() {
    HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, 120, 160);
    ReleaseDC(nullptr, screen);
    // The picture is a strong yellow; the background black.
    return GetRValue(c) > 150 && GetGValue(c) > 130 && GetBValue(c) < 100;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: slide_startup <slide.exe> <picture.jpg> <work folder>\n");
        return 2;
    }
    InitFormatRegistry();
    std::wstring folder = argv[3];
    if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    CreateDirectoryW(folder.c_str(), nullptr);
    AlbumOptions o{};
    o.delay = 60;
    o.sizeIndex = 2;
    o.jpegQuality = 85;
    wcsncpy(o.outputFolder, folder.c_str(), kAlbumPathChars - 1);
    wcscpy(o.outputFile, L"startup.exe");
    const wchar_t* paths[] = {argv[2]};
    const ExeSlideshowEnv env{argv[1], AlbumWriteEnv{folder.c_str(), 240, 320}};
    if (WriteExeSlideshowFile(paths, 1, o, 0, nullptr, 0, env) != kExeSlideshowWritten) {
        std::fprintf(stderr, "slide_startup: the show could not be made\n");
        return 1;
    }
    const std::wstring show = folder + L"startup.exe";
    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) {
        // The previous run's picture must be gone from the screen first.
        for (int wait = 0; wait < 400 && CentreIsPicture(); ++wait) Sleep(5);
        LARGE_INTEGER f, t0, t1;
        QueryPerformanceFrequency(&f);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        std::wstring command = L"\"" + show + L"\"";
        QueryPerformanceCounter(&t0);
        if (!CreateProcessW(show.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            return 1;
        bool seen = false;
        for (int wait = 0; wait < 3000 && !seen; ++wait) {
            seen = CentreIsPicture();
            if (!seen) Sleep(5);
        }
        QueryPerformanceCounter(&t1);
        TerminateProcess(pi.hProcess, 0);
        WaitForSingleObject(pi.hProcess, 5000);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        if (!seen) {
            std::fprintf(stderr, "slide_startup: the picture never showed\n");
            return 1;
        }
        runs.push_back(double(t1.QuadPart - t0.QuadPart) * 1000.0 / double(f.QuadPart));
        std::printf("run %d: %.0f ms\n", i + 1, runs.back());
    }
    std::sort(runs.begin(), runs.end());
    std::printf("slide start-up to first picture under Wine: median %.0f ms\n", runs[runs.size() / 2]);
    DeleteFileW(show.c_str());
    return 0;
}
