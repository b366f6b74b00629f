// Transitions on a real window under Wine (240x320 at 16 bits): every effect
// ends with the new picture shown, a stylus release stops an effect and only
// that release leaves the queue, and the wait between steps sleeps.
#include "display/transition_win.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "dib555_win.h"
#include "display/display_win.h"
#include "display/view_win.h"

namespace {

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

constexpr int kScreenWidth = 240;
constexpr int kScreenHeight = 320;
constexpr UINT kBefore = WM_USER + 1;
constexpr UINT kAfter = WM_USER + 2;

// Colours given in 5 bits per channel, as a 16-bit screen bitmap holds them.
struct Colour5 {
    int r, g, b;
};
constexpr Colour5 kOldColour = {8, 24, 8};
constexpr Colour5 kBackground5 = {16, 16, 16};
COLORREF ToColorRef(Colour5 c) { return RGB(c.r << 3 | c.r >> 2, c.g << 3 | c.g >> 2, c.b << 3 | c.b >> 2); }
uint32_t ToRgb(Colour5 c) {
    const COLORREF ref = ToColorRef(c);
    return uint32_t(GetRValue(ref)) << 16 | uint32_t(GetGValue(ref)) << 8 | GetBValue(ref);
}

// The test picture: 3 x 2 blocks of the eight colours whose channels are 0
// or 31, so that a picture shifted by one pixel shows; variants differ in
// every block.
Colour5 PatternAt(int x, int y, int variant = 0) {
    const int k = (x / 3 + 3 * (y / 2) + variant) % 8;
    return {k & 1 ? 31 : 0, k & 2 ? 31 : 0, k & 4 ? 31 : 0};
}

HBITMAP MakePicture(int width, int height, int variant = 0) {
    return MakeDib555(width, height, [=](int x, int y) {
        const Colour5 c = PatternAt(x, y, variant);
        return uint16_t(c.r << 10 | c.g << 5 | c.b);
    });
}

// 0x00RRGGBB pixels of a top-down 32-bit copy.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> data;
    uint32_t At(int x, int y) const { return data[size_t(y) * width + x]; }
    uint32_t& At(int x, int y) { return data[size_t(y) * width + x]; }
};

// Copies width x height pixels of dc at (x, y) through a 32-bit DIB section,
// stretching src (when given) instead.
Pixels Capture(HDC dc, int x, int y, int width, int height, int srcWidth = 0, int srcHeight = 0) {
    Pixels p;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP copy = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!copy) return p;
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, copy);
    if (srcWidth > 0) {
        SetStretchBltMode(memory, COLORONCOLOR);
        StretchBlt(memory, 0, 0, width, height, dc, x, y, srcWidth, srcHeight, SRCCOPY);
    } else {
        BitBlt(memory, 0, 0, width, height, dc, x, y, SRCCOPY);
    }
    GdiFlush();
    p.width = width;
    p.height = height;
    const auto* src = static_cast<const uint32_t*>(bits);
    p.data.assign(src, src + size_t(width) * height);
    for (uint32_t& v : p.data) v &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(copy);
    return p;
}

// The picture as the screen shows it at width x height (stretched by GDI).
Pixels PictureAsShown(HBITMAP picture, int pictureWidth, int pictureHeight, int width, int height) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, picture);
    Pixels p = width == pictureWidth && height == pictureHeight
                   ? Capture(memory, 0, 0, width, height)
                   : Capture(memory, 0, 0, width, height, pictureWidth, pictureHeight);
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return p;
}

bool Near(uint32_t a, uint32_t b) {
    for (int shift : {0, 8, 16}) {
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 8) return false;
    }
    return true;
}

// Pixels of the rectangle that differ from the expected ones (expected is
// the whole screen).
int Mismatches(const Pixels& shown, const Pixels& expected, const RECT& r) {
    int bad = 0;
    for (int y = std::max(0L, r.top); y < std::min<LONG>(kScreenHeight, r.bottom); ++y) {
        for (int x = std::max(0L, r.left); x < std::min<LONG>(kScreenWidth, r.right); ++x) {
            if (!Near(shown.At(x, y), expected.At(x, y))) ++bad;
        }
    }
    return bad;
}

int32_t Ascending(void* user) { return (*static_cast<int32_t*>(user))++; }

LRESULT CALLBACK QuietProc(HWND window, UINT message, WPARAM first, LPARAM second) {
    switch (message) {
        case WM_ERASEBKGND: return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(window, &ps);
            EndPaint(window, &ps);
            return 0;
        }
        default: return DefWindowProcW(window, message, first, second);
    }
}

// A window covering the screen that paints nothing of its own, so that what
// it shows is what the transition drew.
// Steps without a wait keep the run quick; a test that taps during an effect
// waits the shortest delay at which a step still looks for a stylus release.
// One test keeps the real delay.
constexpr DWORD kTestStepDelayMs = 0;
constexpr DWORD kTapStepDelayMs = 1;

class TransitionWindow : public testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = QuietProc;
        wc.hInstance = Instance();
        wc.lpszClassName = L"PvTransitionTest";
        RegisterClassW(&wc);
    }
    void SetUp() override {
        // The identity order: effect i at position i.
        SetTransitionRandomSource(Ascending, &key_);
        SetTransitionStepDelay(kTestStepDelayMs);
        window_ = CreateWindowExW(WS_EX_TOPMOST, L"PvTransitionTest", L"transition", WS_POPUP | WS_VISIBLE, 0, 0,
                                  kScreenWidth, kScreenHeight, nullptr, nullptr, Instance(), nullptr);
        ASSERT_NE(window_, nullptr);
        UpdateWindow(window_);
        Pump();
    }
    void TearDown() override {
        SetTransitionRandomSource(nullptr, nullptr);
        SetTransitionStepDelay(kTransitionStepDelayMs);
        if (window_) DestroyWindow(window_);
        Pump();
    }

    static void Pump() {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }

    // Shows the old picture: the whole window in the old colour.
    void PaintOld() {
        HDC dc = GetDC(window_);
        HBRUSH brush = CreateSolidBrush(ToColorRef(kOldColour));
        const RECT all = {0, 0, kScreenWidth, kScreenHeight};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
        GdiFlush();
        ReleaseDC(window_, dc);
        ValidateRect(window_, nullptr);
    }

    Pixels Shown() {
        HDC dc = GetDC(window_);
        Pixels p = Capture(dc, 0, 0, kScreenWidth, kScreenHeight);
        ReleaseDC(window_, dc);
        return p;
    }

    // The posted messages of the test still queued, in order.
    std::vector<MSG> Remaining() {
        std::vector<MSG> left;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == kBefore || message.message == kAfter || message.message == WM_LBUTTONUP ||
                message.message == WM_LBUTTONDOWN) {
                left.push_back(message);
            } else {
                DispatchMessageW(&message);
            }
        }
        return left;
    }

    HWND window_ = nullptr;
    int32_t key_ = 0;
};

// What the screen should show after an effect: the old colour, the canvas
// (background around the picture as shown), or for the slides only the
// picture at its place.
struct Scene {
    RECT newPlace;
    RECT oldPlace;
    Pixels picture;  // as shown at the new size
};

Pixels Expected(int effect, const Scene& s) {
    Pixels p;
    p.width = kScreenWidth;
    p.height = kScreenHeight;
    p.data.assign(size_t(kScreenWidth) * kScreenHeight, ToRgb(kOldColour));
    const int newWidth = s.newPlace.right - s.newPlace.left, newHeight = s.newPlace.bottom - s.newPlace.top;
    if (effect > 1) {
        const int cw = std::max<int>(newWidth, s.oldPlace.right - s.oldPlace.left);
        const int ch = std::max<int>(newHeight, s.oldPlace.bottom - s.oldPlace.top);
        const int cx = (kScreenWidth - cw) / 2, cy = (kScreenHeight - ch) / 2;
        for (int y = cy; y < cy + ch; ++y) {
            for (int x = cx; x < cx + cw; ++x) p.At(x, y) = ToRgb(kBackground5);
        }
    }
    for (int y = 0; y < newHeight; ++y) {
        for (int x = 0; x < newWidth; ++x) p.At(s.newPlace.left + x, s.newPlace.top + y) = s.picture.At(x, y);
    }
    return p;
}

// The region an effect must have finished: the new picture's rectangle for
// the slides, the whole canvas for the others.
RECT Finished(int effect, const Scene& s) {
    if (effect <= 1) return s.newPlace;
    const int cw = std::max(s.newPlace.right - s.newPlace.left, s.oldPlace.right - s.oldPlace.left);
    const int ch = std::max(s.newPlace.bottom - s.newPlace.top, s.oldPlace.bottom - s.oldPlace.top);
    const int cx = (kScreenWidth - cw) / 2, cy = (kScreenHeight - ch) / 2;
    return {cx, cy, cx + cw, cy + ch};
}

// A 200 x 150 picture at its own size, centred, replacing a larger old one:
// the canvas is the larger size with the background around the picture (the
// slides use the picture itself as their canvas).
Scene SmallerOverLarger(HBITMAP picture) {
    return {{20, 85, 220, 235}, {10, 10, 230, 310}, PictureAsShown(picture, 200, 150, 200, 150)};
}

int Show(HWND window, uint32_t* position, HBITMAP picture, const Scene& s) {
    return ShowWithTransition(window, position, picture, s.newPlace.left, s.newPlace.top,
                              s.newPlace.right - s.newPlace.left, s.newPlace.bottom - s.newPlace.top,
                              s.oldPlace.left, s.oldPlace.top, s.oldPlace.right - s.oldPlace.left,
                              s.oldPlace.bottom - s.oldPlace.top, ToColorRef(kBackground5));
}

TEST_F(TransitionWindow, EveryEffectEndsWithTheNewPictureFullyShown) {
    HBITMAP picture = MakePicture(200, 150);
    ASSERT_NE(picture, nullptr);
    const Scene scene = SmallerOverLarger(picture);
    uint32_t position = 0;
    for (int effect = 0; effect < kTransitionEffectCount; ++effect) {
        SCOPED_TRACE("effect " + std::to_string(effect));
        PaintOld();
        EXPECT_EQ(Show(window_, &position, picture, scene), 0);
        EXPECT_EQ(position, uint32_t(effect + 1) % kTransitionEffectCount);
        const Pixels shown = Shown();
        EXPECT_EQ(Mismatches(shown, Expected(effect, scene), Finished(effect, scene)), 0);
        if (effect > 1) {
            // Nothing is drawn outside the union of the two placements.
            EXPECT_EQ(Mismatches(shown, Expected(effect, scene), {0, 0, kScreenWidth, 10}), 0);
        }
    }
    DeleteObject(picture);
}

// The one effect shown at the real pace: every step waits the view's delay.
TEST_F(TransitionWindow, StepsWaitTheRealDelay) {
    SetTransitionStepDelay(kTransitionStepDelayMs);
    EXPECT_EQ(TransitionStepDelay(), kTransitionStepDelayMs);
    HBITMAP picture = MakePicture(200, 150);
    ASSERT_NE(picture, nullptr);
    const Scene scene = SmallerOverLarger(picture);
    uint32_t position = 2;  // a wipe: every step waits
    PaintOld();
    const DWORD start = GetTickCount();
    EXPECT_EQ(Show(window_, &position, picture, scene), 0);
    const DWORD elapsed = GetTickCount() - start;
    // A lower bound only: a busy machine may take longer, never shorter.
    EXPECT_GE(elapsed, DWORD(TransitionStepsFor(2) - 1) * kTransitionStepDelayMs);
    EXPECT_EQ(Mismatches(Shown(), Expected(2, scene), Finished(2, scene)), 0);
    DeleteObject(picture);
}

TEST_F(TransitionWindow, ScaledPicturesAreStretchedOntoTheCanvas) {
    // A 90 x 60 screen bitmap shown at 210 x 140 (a fitted picture) where a
    // 100 x 100 one was.
    HBITMAP picture = MakePicture(90, 60);
    ASSERT_NE(picture, nullptr);
    const Scene scene = {{15, 90, 225, 230}, {70, 110, 170, 210}, PictureAsShown(picture, 90, 60, 210, 140)};
    for (uint32_t position : {0u, 1u, 2u, 15u, 20u}) {  // slides, a wipe, a dissolve, a box
        const int effect = int(position);
        SCOPED_TRACE("effect " + std::to_string(effect));
        PaintOld();
        EXPECT_EQ(Show(window_, &position, picture, scene), 0);
        EXPECT_EQ(Mismatches(Shown(), Expected(effect, scene), Finished(effect, scene)), 0);
    }
    DeleteObject(picture);
}

TEST_F(TransitionWindow, StylusReleaseStopsEveryEffectAndOnlyThatReleaseIsTaken) {
    SetTransitionStepDelay(kTapStepDelayMs);
    HBITMAP picture = MakePicture(200, 150);
    ASSERT_NE(picture, nullptr);
    const Scene scene = SmallerOverLarger(picture);
    uint32_t position = 0;
    for (int effect = 0; effect < kTransitionEffectCount; ++effect) {
        SCOPED_TRACE("effect " + std::to_string(effect));
        PaintOld();
        ASSERT_EQ(Remaining().size(), 0u);
        PostMessageW(window_, kBefore, 1, 0);
        PostMessageW(window_, WM_LBUTTONUP, 0, MAKELPARAM(5, 6));
        PostMessageW(window_, WM_LBUTTONUP, 0, MAKELPARAM(7, 8));
        PostMessageW(window_, kAfter, 2, 0);
        EXPECT_EQ(Show(window_, &position, picture, scene), 1);
        // Stopped after its first step: the picture is not all there.
        EXPECT_GT(Mismatches(Shown(), Expected(effect, scene), Finished(effect, scene)), 0);
        const std::vector<MSG> left = Remaining();
        ASSERT_EQ(left.size(), 3u);
        EXPECT_EQ(left[0].message, kBefore);
        EXPECT_EQ(left[1].message, UINT(WM_LBUTTONUP));
        EXPECT_EQ(left[1].lParam, MAKELPARAM(7, 8));  // the second release stays
        EXPECT_EQ(left[2].message, kAfter);
    }
    DeleteObject(picture);
}

struct Tap {
    HWND window;
    bool hardware;
};

DWORD WINAPI TapLater(void* param) {
    const Tap* tap = static_cast<const Tap*>(param);
    Sleep(150);
    if (tap->hardware) {
        INPUT input[2] = {};
        for (INPUT& i : input) {
            i.type = INPUT_MOUSE;
            i.mi.dx = 120 * 65535 / (kScreenWidth - 1);
            i.mi.dy = 160 * 65535 / (kScreenHeight - 1);
        }
        input[0].mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | MOUSEEVENTF_LEFTDOWN;
        input[1].mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP;
        SendInput(2, input, sizeof(INPUT));
    } else {
        PostMessageW(tap->window, WM_LBUTTONUP, 0, MAKELPARAM(120, 160));
    }
    return 0;
}

TEST_F(TransitionWindow, TapDuringAWipeEndsItPartWay) {
    SetTransitionStepDelay(kTapStepDelayMs);
    HBITMAP picture = MakePicture(240, 320);
    ASSERT_NE(picture, nullptr);
    const Scene scene = {{0, 0, 240, 320}, {0, 0, 240, 320}, PictureAsShown(picture, 240, 320, 240, 320)};
    for (bool hardware : {false, true}) {
        SCOPED_TRACE(hardware ? "tap by the input system" : "posted release");
        PaintOld();
        Tap tap = {window_, hardware};
        HANDLE thread = CreateThread(nullptr, 0, TapLater, &tap, 0, nullptr);
        ASSERT_NE(thread, nullptr);
        uint32_t position = 2;  // wipe from the left, 100 steps of 10 ms
        EXPECT_EQ(Show(window_, &position, picture, scene), 1);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);

        // Some columns at the left show the new picture, the right edge still
        // the old one.
        const Pixels shown = Shown();
        const Pixels expected = Expected(2, scene);
        EXPECT_EQ(Mismatches(shown, expected, {0, 0, 1, kScreenHeight}), 0);
        EXPECT_EQ(Mismatches(shown, expected, {kScreenWidth - 1, 0, kScreenWidth, kScreenHeight}), kScreenHeight);
        // The release was taken; a press before it stays.
        const std::vector<MSG> left = Remaining();
        for (const MSG& m : left) EXPECT_NE(m.message, UINT(WM_LBUTTONUP));
        if (hardware) {
            ASSERT_EQ(left.size(), 1u);
            EXPECT_EQ(left[0].message, UINT(WM_LBUTTONDOWN));
        }
    }
    DeleteObject(picture);
}

TEST_F(TransitionWindow, UnknownEffectsAndMissingBitmapsDrawNothing) {
    HBITMAP picture = MakePicture(50, 40);
    ASSERT_NE(picture, nullptr);
    PaintOld();
    HDC screen = GetDC(window_);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, picture);
    HBRUSH brush = CreateSolidBrush(ToColorRef(kBackground5));
    const TransitionGeometry g = TransitionLayout(2, {0, 0, 50, 40}, {0, 0, 240, 320}, 240, 320);
    for (int effect : {-1, 23, 99}) {
        EXPECT_EQ(RunTransitionEffect(effect, memory, {0, 0}, g, screen, brush, 10, 100), 0);
    }
    DeleteObject(brush);
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(window_, screen);

    uint32_t position = 3;
    EXPECT_EQ(ShowWithTransition(window_, &position, nullptr, 0, 0, 50, 40, 0, 0, 50, 40, 0), 0);
    EXPECT_EQ(position, 4u);
    EXPECT_EQ(ShowWithTransition(window_, &position, picture, 0, 0, 0, 0, 0, 0, 0, 0, 0), 0);  // nothing to show
    EXPECT_EQ(ShowWithTransition(window_, nullptr, picture, 0, 0, 50, 40, 0, 0, 50, 40, 0), 0);
    EXPECT_EQ(ShowWithTransition(nullptr, &position, picture, 0, 0, 50, 40, 0, 0, 50, 40, 0), 0);

    const Pixels shown = Shown();
    int notOld = 0;
    for (uint32_t v : shown.data) notOld += !Near(v, ToRgb(kOldColour));
    EXPECT_EQ(notOld, 0);
    DeleteObject(picture);
}

TEST_F(TransitionWindow, CentreOnBackgroundPlacesTheStretchedPicture) {
    HBITMAP picture = MakePicture(10, 6);
    ASSERT_NE(picture, nullptr);
    HDC screen = GetDC(window_);
    struct Case {
        int canvasWidth, canvasHeight, pictureWidth, pictureHeight;
    };
    for (const Case& c : {Case{20, 16, 10, 6}, Case{31, 21, 20, 12}, Case{8, 4, 10, 6}}) {
        HBITMAP canvas = TransitionCentreOnBackground(screen, picture, c.canvasWidth, c.canvasHeight, c.pictureWidth,
                                                      c.pictureHeight, ToColorRef(kBackground5));
        ASSERT_NE(canvas, nullptr);
        BITMAP info = {};
        ASSERT_NE(GetObjectW(canvas, sizeof info, &info), 0);
        EXPECT_EQ(info.bmWidth, c.canvasWidth);
        EXPECT_EQ(info.bmHeight, c.canvasHeight);
        const Pixels made = PictureAsShown(canvas, c.canvasWidth, c.canvasHeight, c.canvasWidth, c.canvasHeight);
        const Pixels stretched = PictureAsShown(picture, 10, 6, c.pictureWidth, c.pictureHeight);
        const int left = (c.canvasWidth - c.pictureWidth) / 2, top = (c.canvasHeight - c.pictureHeight) / 2;
        int bad = 0;
        for (int y = 0; y < c.canvasHeight; ++y) {
            for (int x = 0; x < c.canvasWidth; ++x) {
                const bool inside = x >= left && x < left + c.pictureWidth && y >= top && y < top + c.pictureHeight;
                const uint32_t want = inside ? stretched.At(x - left, y - top) : ToRgb(kBackground5);
                bad += !Near(made.At(x, y), want);
            }
        }
        EXPECT_EQ(bad, 0) << c.canvasWidth << "x" << c.canvasHeight;
        DeleteObject(canvas);
    }
    EXPECT_EQ(TransitionCentreOnBackground(screen, nullptr, 20, 16, 10, 6, 0), nullptr);
    EXPECT_EQ(TransitionCentreOnBackground(screen, picture, 0, 16, 10, 6, 0), nullptr);
    ReleaseDC(window_, screen);
    DeleteObject(picture);
}

TEST_F(TransitionWindow, ImageViewChangesPicturesThroughEveryEffect) {
    ASSERT_EQ(DisplayInit(), 1);
    const RECT all = {0, 0, kScreenWidth, kScreenHeight};
    HWND view = ViewCreate(window_, WS_VISIBLE, &all, ToColorRef(kBackground5), nullptr);
    ASSERT_NE(view, nullptr);
    Pump();
    // 200 x 150 screen bitmaps, fitted: shown at 240 x 180, 70 rows down.
    // Each picture differs from the one before in every block.
    for (int effect = 0; effect < kTransitionEffectCount; ++effect) {
        SCOPED_TRACE("effect " + std::to_string(effect));
        HBITMAP picture = MakePicture(200, 150, effect % 2 ? 1 : 4);
        ASSERT_NE(picture, nullptr);
        const Pixels expected = PictureAsShown(picture, 200, 150, 240, 180);
        SetTransitionStepDelay(effect == 5 ? kTapStepDelayMs : kTestStepDelayMs);
        if (effect == 5) PostMessageW(view, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));  // a tap ends this one
        ViewSetScreenBitmapWithTransition(view, picture, nullptr);  // the view owns it now

        // What the transition drew, before the view repaints.
        HDC dc = GetDC(view);
        const Pixels shown = Capture(dc, 0, 70, 240, 180);
        ReleaseDC(view, dc);
        EXPECT_TRUE(Remaining().empty());  // the tap's release was taken
        int bad = 0;
        for (size_t i = 0; i < shown.data.size(); ++i) bad += !Near(shown.data[i], expected.data[i]);
        if (effect == 5) {
            EXPECT_GT(bad, 0);
        } else {
            EXPECT_EQ(bad, 0);
        }
        Pump();
    }
    DestroyWindow(view);
    Pump();
    DisplayRelease();
}

// ---------------------------------------------------------------------------
// The wait between steps

uint64_t ThreadCpuMs() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto ms = [](FILETIME t) { return (uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 10000; };
    return ms(kernel) + ms(user);
}

TEST_F(TransitionWindow, WaitSleepsThroughTheDelayWithOtherMessagesQueued) {
    // A posted message other than a release is waiting: the wait must neither
    // take it nor spin on it.
    PostMessageW(window_, kBefore, 0, 0);
    const uint64_t cpuBefore = ThreadCpuMs();
    const DWORD start = GetTickCount();
    EXPECT_EQ(TransitionWaitStep(500), 0);
    const DWORD elapsed = GetTickCount() - start;
    const uint64_t cpu = ThreadCpuMs() - cpuBefore;
    EXPECT_GT(elapsed, 500u);
    // Sleeping costs next to nothing; polling costs this thread well over half
    // of the time under Wine (the rest goes to the server).
    EXPECT_LT(cpu, 100u) << "the wait kept the processor busy";
    const std::vector<MSG> left = Remaining();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].message, kBefore);
}

TEST_F(TransitionWindow, WaitWithoutDelayNeitherWaitsNorTakesARelease) {
    PostMessageW(window_, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(TransitionWaitStep(0), 0);
    const std::vector<MSG> left = Remaining();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].message, UINT(WM_LBUTTONUP));

    // With a delay the release is taken at once.
    PostMessageW(window_, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(TransitionWaitStep(10000), 1);
    EXPECT_TRUE(Remaining().empty());
}

}  // namespace
