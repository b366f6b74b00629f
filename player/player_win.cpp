// The slideshow player, "slide": plays the show appended to its own
// executable full screen, one JPEG decoded at a time, on a timer, with the
// show's wave sound looping from memory. Any stylus event ends it.
//
// Run as it ships (nothing appended) it exits with code 1.
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <string>
#include <vector>

#include "display/display_win.h"
#include "display/view_win.h"
#include "platform/handheld.h"
#include "player/jpegstream.h"
#include "player/showfile.h"
#include "platform/framework_win.h"

namespace {

constexpr wchar_t kSlideClass[] = L"slideClass";
constexpr wchar_t kPlayerTitle[] = L"TrelmoSlide";
constexpr UINT_PTR kShowTimer = 1000;
constexpr int kIconResource = 1000;
constexpr COLORREF kViewBackground = 0x808080;

// The player's state: one show per process, used on the main thread only.
struct Player {
    HWND window = nullptr;
    HWND view = nullptr;
    PictureFile* file = nullptr;  // the player's own executable
    AppendedShow show;
    int64_t shown = -1;           // index of the picture on screen
    ActivateInfo activate{sizeof(ActivateInfo), nullptr, 0};
};
Player g_player;

UINT TimerPeriod(uint32_t delaySeconds) {
    const uint64_t ms = uint64_t(delaySeconds) * 1000u;
    if (ms < USER_TIMER_MINIMUM) return USER_TIMER_MINIMUM;
    return ms > USER_TIMER_MAXIMUM ? USER_TIMER_MAXIMUM : UINT(ms);
}

// The running program's path, however long.
std::wstring OwnPath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0) return std::wstring();
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

// Opens the own executable and reads the show that begins at or after the
// end of its program image, as the PE headers give it.
bool ReadShow() {
    const std::wstring path = OwnPath();
    FileSource source;
    InitFileSource(&source, path.c_str());
    g_player.file = OpenPictureFile(&source, kOpenReadBinary);
    if (!g_player.file) return false;
    std::vector<uint8_t> headers(4096);
    headers.resize(ReadFileBytes(g_player.file, headers.data(), headers.size()));
    const int64_t imageEnd = PeImageEnd(headers.data(), headers.size());
    return imageEnd > 0 && ReadAppendedShow(g_player.file, imageEnd, &g_player.show) == kShowRead;
}

void ShowPicture(int64_t index, bool transition) {
    if (index == g_player.shown) return;
    g_player.shown = index;
    if (SeekPictureFile(g_player.file, g_player.show.offsets[size_t(index)], SEEK_SET) != 0) return;
    Bitmap picture{};
    if (DecodeJpegStream(g_player.file->stream, &picture) != kJpegStreamDone) return;
    if (g_player.show.flags & kShowTurnAll) RotateBitmap(&picture, -90);
    else if ((g_player.show.flags & kShowTurnLandscape) && picture.width > picture.height) RotateBitmap(&picture, 90);
    if (transition) {
        ViewSetPictureWithTransition(g_player.view, &picture);
        FreeBitmap(&picture);
    } else {
        ViewSetPicture(g_player.view, &picture, 1);
    }
}

void StartShow() {
    if (g_player.show.offsets.empty()) return;
    ShowPicture(0, false);
    if (!g_player.show.sound.empty())
        PlaySoundW(reinterpret_cast<LPCWSTR>(g_player.show.sound.data()), nullptr,
                   SND_MEMORY | SND_ASYNC | SND_LOOP | SND_NODEFAULT);
    SetTimer(g_player.window, kShowTimer, TimerPeriod(g_player.show.delay), nullptr);
    ViewSetBackgroundColor(g_player.view, g_player.show.background);
    HandheldFullScreen(g_player.window, kHideTopBar | kHideInputButton);
}

void OnViewEvent(const ViewEvent*) { PostMessageW(g_player.window, WM_CLOSE, 0, 0); }

LRESULT OnCreate(HWND, UINT, WPARAM, LPARAM) { return 0; }

LRESULT OnActivate(HWND window, UINT, WPARAM first, LPARAM second) {
    HandheldHandleActivate(window, first, second, &g_player.activate);
    return 0;
}

LRESULT OnSettingChange(HWND window, UINT, WPARAM first, LPARAM second) {
    HandheldHandleSettingChange(window, first, second, &g_player.activate);
    return 0;
}

LRESULT OnDestroy(HWND window, UINT, WPARAM, LPARAM) {
    KillTimer(window, kShowTimer);
    PlaySoundW(nullptr, nullptr, SND_NODEFAULT);
    g_player.show = AppendedShow{};
    if (g_player.file) ClosePictureFile(g_player.file);
    g_player.file = nullptr;
    HandheldFullScreen(window, kShowTopBar | kShowInputButton);
    PostQuitMessage(0);
    return 0;
}

LRESULT OnTimer(HWND window, UINT, WPARAM, LPARAM) {
    HandheldResetIdleTimer();
    KillTimer(window, kShowTimer);
    int64_t next = g_player.shown + 1;
    if (next >= int64_t(g_player.show.offsets.size())) {
        if (!(g_player.show.flags & kShowLoop)) {
            PostMessageW(window, WM_CLOSE, 0, 0);
            return 0;
        }
        next = 0;
    }
    ShowPicture(next, (g_player.show.flags & kShowTransitions) != 0);
    SetTimer(window, kShowTimer, TimerPeriod(g_player.show.delay), nullptr);
    return 0;
}

const MessageRow kPlayerRows[] = {
    {WM_CREATE, OnCreate},       {WM_ACTIVATE, OnActivate}, {WM_SETTINGCHANGE, OnSettingChange},
    {WM_DESTROY, OnDestroy},     {WM_TIMER, OnTimer},
};
const MessageTable kPlayerTable = MakeMessageTable(kPlayerRows, kDefaultWindow);

LRESULT CALLBACK PlayerWindowProc(HWND window, UINT message, WPARAM first, LPARAM second) {
    return MsgTableDispatch(kPlayerTable, window, message, first, second);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    if (HWND running = FindWindowW(kSlideClass, kPlayerTitle)) {
        SetForegroundWindow(running);
        return 0;
    }
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = PlayerWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kSlideClass;
    if (!RegisterClassW(&wc)) return 0;

    const int screenW = GetSystemMetrics(SM_CXSCREEN);
    const int screenH = GetSystemMetrics(SM_CYSCREEN);
    g_player.window = HandheldCreateWindow(0, kSlideClass, kPlayerTitle, WS_POPUP | WS_VISIBLE, 0, 0, screenW,
                                           screenH, nullptr, nullptr, instance, nullptr);
    if (!g_player.window) return 0;
    RECT client;
    GetClientRect(g_player.window, &client);
    ViewIsClassRegistered(instance);
    g_player.view = ViewCreate(g_player.window, WS_VISIBLE, &client, kViewBackground, nullptr);
    ViewSetEventCallback(g_player.view, OnViewEvent, 0);
    ViewSetZoomMode(g_player.view, kZoomShrinkToFit);
    ShowWindow(g_player.window, SW_SHOW);
    UpdateWindow(g_player.window);

    DisplayInit();
    if (!ReadShow()) {
        DestroyWindow(g_player.window);
        DisplayRelease();
        return 1;
    }
    StartShow();
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    DisplayRelease();
    return int(message.wParam);
}
