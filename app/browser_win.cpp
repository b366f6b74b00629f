#include "app/browser_win.h"

#include "display/display_win.h"
#include "shell/pictureload.h"
#include "shell/system.h"

namespace {

HWND WindowOf(void* user) { return static_cast<HWND>(user); }

int CancelWhenStopped(uintptr_t user) { return reinterpret_cast<const std::atomic<bool>*>(user)->load() ? 1 : 0; }

void PostToWindow(void* user, uint32_t message, uintptr_t run, intptr_t index) {
    PostMessageW(WindowOf(user), message, WPARAM(run), LPARAM(index));
}

void DrainWorkerMessages(void* user) {
    const HWND window = WindowOf(user);
    MSG m;
    while (PeekMessageW(&m, window, kThumbReadyMessage, kThumbsDoneMessage, PM_REMOVE)) {
    }
}

int LoadThumbnail(void* user, const wchar_t* path, Bitmap* bitmap, ImageInfo* info, int32_t boxWidth,
                  int32_t boxHeight, int highQuality, const std::atomic<bool>* stop) {
    return LoadPictureThumbnail(path, bitmap, info, boxWidth, boxHeight, 0, 1, highQuality, 1,
                                ViewerExifOrientation(), CancelWhenStopped,
                                reinterpret_cast<uintptr_t>(stop));
}

void* MakeThumbnailBitmap(void* user, const Bitmap* bitmap) {
    return MakeScreenBitmap(WindowOf(user), bitmap, bitmap->width, bitmap->height, nullptr);
}

void DeleteThumbnailBitmap(void*, void* bitmap) { DeleteObject(static_cast<HBITMAP>(bitmap)); }

}  // namespace

const ExifOrientationAccess* ViewerExifOrientation() { return MetadataExifOrientation(); }

BrowserServices Win32BrowserServices(HWND window) {
    BrowserServices services;
    services.list = SystemListFolder;
    services.lookupFile = SystemLookupFile;
    services.deleteScreenBitmap = DeleteThumbnailBitmap;
    services.thumbs.post = PostToWindow;
    services.thumbs.drain = DrainWorkerMessages;
    services.thumbs.load = LoadThumbnail;
    services.thumbs.makeScreenBitmap = MakeThumbnailBitmap;
    services.thumbs.toLocalTime = FileTimeToLocalTime;
    services.thumbs.user = window;
    return services;
}

void ScreenThumbBox(int32_t thumbSize, int32_t* width, int32_t* height) {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&version);
#pragma GCC diagnostic pop
    const HDC screen = GetDC(nullptr);
    const int dpiX = GetDeviceCaps(screen, LOGPIXELSX), dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    ThumbBoxFor(thumbSize, version.dwMajorVersion, dpiX, dpiY, width, height);
}

void WatchBrowserFolder(HWND window, const std::wstring& folder, bool subfolders) {
    UnwatchFolders(window);
    if (folder.empty()) return;
    WatchFolder(FolderWatchSpec{window, kFileChangeMessage, folder.c_str(), subfolders, kFileCreated | kFileDeleted});
}

bool HandleBrowserMessage(BrowserModel* model, UINT message, WPARAM first, LPARAM second) {
    switch (message) {
    case kThumbReadyMessage:
        model->OnThumbReady(uintptr_t(first), intptr_t(second));
        return true;
    case kThumbsDoneMessage:
        model->OnThumbnailsDone(uintptr_t(first));
        return true;
    case kFileChangeMessage: {
        auto* record = reinterpret_cast<FileChangeRecord*>(first);
        if (!record) return true;
        if (record->event == kFileCreated && !record->folder) model->OnFileCreated(record->item);
        if (record->event == kFileDeleted) model->OnFileDeleted(record->item);
        FreeFileChange(record);
        return true;
    }
    default:
        return false;
    }
}
