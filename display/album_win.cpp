// The album writer on the device.
#include "display/album_win.h"

#include "platform/handheld.h"

const wchar_t* AlbumTempFolder() {
    CreateDirectoryW(L"\\Temp", nullptr);
    return L"\\Temp\\";
}

AlbumWriteEnv AlbumDeviceEnv() {
    return AlbumWriteEnv{AlbumTempFolder(), GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

int AlbumWrite(HWND owner, const wchar_t* const* paths, int32_t count, const AlbumOptions* options,
               AlbumProgressCallback progress, uintptr_t user) {
    const AlbumWriteEnv env = AlbumDeviceEnv();
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    const int result = AlbumWriteFile(paths, count, *options, progress, user, env);
    SetCursor(previous);
    if (result == kAlbumCannotCreate) HandheldMessageBox(owner, L"Can't create file", L"", MB_OK);
    return result;
}

int SlideshowConvertPicture(const wchar_t* source, const wchar_t* destination, const AlbumOptions* options) {
    return SlideshowConvertPictureForScreen(source, destination, *options, GetSystemMetrics(SM_CXSCREEN),
                                            GetSystemMetrics(SM_CYSCREEN));
}
