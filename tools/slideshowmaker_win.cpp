// The stand-alone slideshow maker on the device.
#include "tools/slideshowmaker_win.h"

#include "platform/handheld.h"

#include <vector>

#include "display/album_win.h"

std::wstring SlideshowStubPath() {
    // Module paths may be longer than MAX_PATH: grow until it fits.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0) return L"slide.exe";
        if (n < buffer.size()) break;
        buffer.resize(buffer.size() * 2);
    }
    std::wstring path(buffer.data());
    const size_t cut = path.find_last_of(L"\\/");
    return (cut == std::wstring::npos ? std::wstring() : path.substr(0, cut)) + L"\\slide.exe";
}

int WriteExeSlideshow(HWND owner, const wchar_t* const* paths, int32_t count, const AlbumOptions* options,
                      COLORREF background, AlbumProgressCallback progress, uintptr_t user) {
    const std::wstring stub = SlideshowStubPath();
    const ExeSlideshowEnv env{stub.c_str(), AlbumDeviceEnv()};
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    const int result = WriteExeSlideshowFile(paths, count, *options, background, progress, user, env);
    SetCursor(previous);
    if (result == kExeSlideshowCannotCreate || result == kExeSlideshowWriteFailed)
        HandheldMessageBox(owner, L"Can't create file", L"", MB_OK);
    else if (result == kExeSlideshowNoStub)
        HandheldMessageBox(owner, L"Can't find stub slide.exe", L"", MB_OK);
    return result;
}
