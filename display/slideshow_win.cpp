// The album slideshow window.
#include "display/slideshow_win.h"

#include <cwchar>
#include <limits>

#include "display/audio.h"
#include "display/display_win.h"
#include "display/view_win.h"
#include "imagelib/imagelib.h"
#include "platform/handheld.h"
#include "platform/framework_win.h"

namespace {

constexpr wchar_t kSlideClass[] = L"slideClass";
constexpr COLORREF kDefaultBackground = 0x808080;

SlideshowState* StateOf(HWND window) {
    return reinterpret_cast<SlideshowState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// The timer's period: the delay in milliseconds, without overflow; a delay
// of 0 fires as fast as the system allows.
UINT TimerPeriod(int32_t delaySeconds) {
    if (delaySeconds <= 0) return USER_TIMER_MINIMUM;
    const uint64_t ms = uint64_t(delaySeconds) * 1000u;
    return ms > USER_TIMER_MAXIMUM ? USER_TIMER_MAXIMUM : UINT(ms);
}

void OnViewEvent(const ViewEvent* event) {
    if (event->code == kViewTapReleased) PostMessageW(GetParent(event->window), WM_CLOSE, 0, 0);
}

// Extracts, loads and shows the picture at the position, then moves on.
// A missing or unreadable picture is skipped silently.
void ShowNextPicture(HWND window, SlideshowState* s) {
    if (s->position >= s->names.size()) s->position = 0;
    const std::wstring& name = s->names[s->position++];
    int32_t index = -1;
    if (FindZipItem(s->archive, name.c_str(), 0, &index, nullptr) != kZipOk) return;
    const std::wstring path = s->folder + name;
    if (UnzipItemToFile(s->archive, index, name.c_str()) == kZipOk) {
        LoadOptions options;
        InitLoadOptions(&options);
        options.pixelOrder = 1;
        options.flags |= kLoadPreferThreeBytes;
        Bitmap picture{};
        if (AlbumLoadPicture(path.c_str(), &picture, &options) == 0) {
            HBITMAP screen = MakeScreenBitmap(window, &picture, picture.width, picture.height, nullptr);
            if (screen) {
                if (s->transitions) ViewSetScreenBitmapWithTransition(s->view, screen, &picture);
                else ViewSetScreenBitmap(s->view, screen, &picture);
            }
        }
        FreeBitmap(&picture);
    }
    DeletePictureFile(path.c_str());
}

// Extracts the sound entry and gives it the extension its kind plays with.
void ExtractSound(SlideshowState* s, const std::wstring& entry) {
    int32_t index = -1;
    if (FindZipItem(s->archive, entry.c_str(), 0, &index, nullptr) != kZipOk) return;
    if (UnzipItemToFile(s->archive, index, entry.c_str()) != kZipOk) return;
    std::wstring path = s->folder + entry;
    if (s->soundKind == kAlbumSoundWave || s->soundKind == kAlbumSoundMp3) {
        const std::wstring named = path + (s->soundKind == kAlbumSoundWave ? L".wav" : L".mp3");
        DeletePictureFile(named.c_str());
        if (MovePictureFile(path.c_str(), named.c_str()) != 0) {
            DeletePictureFile(path.c_str());
            return;
        }
        path = named;
    }
    s->soundPath = path;
}

LRESULT OnCreate(HWND window, UINT, WPARAM, LPARAM second) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(second);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return 0;
}

LRESULT OnTimer(HWND window, UINT, WPARAM id, LPARAM) {
    SlideshowState* s = StateOf(window);
    if (!s || id != kSlideshowTimer) return 0;
    if (s->position >= s->names.size()) {
        if (!s->loop) {
            KillTimer(window, kSlideshowTimer);
            PostMessageW(window, WM_CLOSE, 0, 0);
            return 0;
        }
        // Stopped first: a new sound does not stop the one playing.
        if (!s->soundPath.empty()) {
            AudioPlay(nullptr);
            AudioPlay(s->soundPath.c_str());
        }
    }
    // The time spent loading is not counted.
    KillTimer(window, kSlideshowTimer);
    ShowNextPicture(window, s);
    SetTimer(window, kSlideshowTimer, TimerPeriod(s->delay), nullptr);
    return 0;
}

LRESULT OnDestroy(HWND window, UINT, WPARAM, LPARAM) {
    KillTimer(window, kSlideshowTimer);
    SlideshowState* s = StateOf(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (!s) return 0;
    if (ZipHandleIsReader(s->archive)) CloseZipReader(s->archive);
    else CloseZipWriter(s->archive);
    if (!s->soundPath.empty()) {
        AudioPlay(nullptr);
        DeletePictureFile(s->soundPath.c_str());
    }
    RemoveDirectoryW(s->folder.c_str());
    HandheldFullScreen(window, kShowTopBar | kShowInputButton);
    const SlideshowHooks hooks = s->hooks;
    delete s;
    if (hooks.startWorker) hooks.startWorker(hooks.user);
    return 0;
}

const MessageRow kSlideRows[] = {
    {WM_CREATE, OnCreate},
    {WM_TIMER, OnTimer},
    {WM_DESTROY, OnDestroy},
};
const MessageTable kSlideTable = MakeMessageTable(kSlideRows, kDefaultWindow);

LRESULT CALLBACK SlideWindowProc(HWND window, UINT message, WPARAM first, LPARAM second) {
    return MsgTableDispatch(kSlideTable, window, message, first, second);
}

bool RegisterSlideClass(HINSTANCE instance) {
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = SlideWindowProc;
    wc.hInstance = instance;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kSlideClass;
    return RegisterClassW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

const wchar_t* SlideshowExtractFolder() { return L"\\Temp\\Trelmo\\"; }

HWND SlideshowStartAlbum(const SlideshowHooks* hooks, const wchar_t* folder, const wchar_t* fileName, COLORREF background) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!RegisterSlideClass(instance)) return nullptr;
    const std::wstring album = std::wstring(folder) + fileName;
    ZipHandle* archive = OpenZipFile(album.c_str(), nullptr);
    if (!archive) return nullptr;

    // The config is read before any window exists, so an album that cannot
    // be played never shows one.
    AlbumShowConfig config;
    if (!AlbumReadConfig(archive, &config) || config.names.empty()) {
        CloseZipReader(archive);
        return nullptr;
    }
    auto* s = new SlideshowState;
    s->archive = archive;
    s->delay = config.delay;
    s->transitions = config.transitions;
    s->sound = config.sound;
    s->loop = config.loop;
    s->names = std::move(config.names);
    s->soundKind = config.soundKind;
    s->folder = SlideshowExtractFolder();
    if (hooks) s->hooks = *hooks;

    CreateDirectoryW(L"\\Temp", nullptr);
    CreateDirectoryW(s->folder.c_str(), nullptr);
    SetUnzipBaseDir(archive, s->folder.c_str());

    const int screenW = GetSystemMetrics(SM_CXSCREEN);
    const int screenH = GetSystemMetrics(SM_CYSCREEN);
    HWND window = HandheldCreateWindow(WS_EX_TOPMOST, kSlideClass, L"", WS_POPUP | WS_VISIBLE, 0, 0, screenW,
                                       screenH, nullptr, nullptr, instance, s);
    if (!window) {
        CloseZipReader(archive);
        delete s;
        return nullptr;
    }
    // From here the window owns the state.
    if (s->hooks.stopWorker) s->hooks.stopWorker(s->hooks.user);
    MoveWindow(window, 0, 0, screenW, screenH, FALSE);
    HandheldFullScreen(window, kHideTopBar | kHideInputButton);

    const RECT whole = {0, 0, screenW, screenH};
    ViewIsClassRegistered(instance);
    s->view = ViewCreate(window, WS_VISIBLE, &whole, kDefaultBackground, nullptr);
    ViewSetZoomMode(s->view, kZoomShrinkToFit);
    ViewSetBackgroundColor(s->view, background);
    ViewSetEventCallback(s->view, OnViewEvent, 0);
    MoveWindow(s->view, 0, 0, screenW, screenH, FALSE);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);

    s->position = 0;
    const std::wstring soundEntry = config.sound ? config.soundName : std::wstring();
    if (!soundEntry.empty()) ExtractSound(s, soundEntry);
    ShowNextPicture(window, s);
    SetTimer(window, kSlideshowTimer, TimerPeriod(s->delay), nullptr);
    if (!s->soundPath.empty()) AudioPlay(s->soundPath.c_str());
    return window;
}
