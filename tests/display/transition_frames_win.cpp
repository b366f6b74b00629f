// Frame time of every transition step on the handheld's screen, against the
// 10 ms that a step may take: for each effect, the time to plan a step, draw
// it onto a 240x320 window and flush it, without the wait. Two canvases: the
// screen bitmap itself (a 5-5-5 DIB section, converted to the screen's format
// on every blit) and a canvas made compatible with the screen.
//
// A measurement, not a test of speed: it prints a table and fails only when
// it cannot run.
#include "display/transition_win.h"

#include "dib555_win.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 320;

// A colour ramp across and down.
HBITMAP MakePicture(int width, int height) {
    return MakeDib555(width, height, [=](int x, int y) {
        return uint16_t((x * 31 / width) << 10 | (y * 31 / height) << 5 | 15);
    });
}

double Ms(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
    return double(to.QuadPart - from.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

struct Figures {
    double planMean = 0, drawMean = 0, stepMean = 0, stepMax = 0;
    int steps = 0, over = 0;
};

Figures Measure(int effect, HDC canvasDC, const TransitionGeometry& g, HDC screenDC, HBRUSH brush) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const int steps = TransitionStepsFor(effect);
    const int count = TransitionStepCount(effect, g, steps);
    std::vector<TransitionOp> ops;
    ops.reserve(64);
    Figures f;
    for (int i = 0; i < count; ++i) {
        LARGE_INTEGER t0, t1, t2;
        QueryPerformanceCounter(&t0);
        PlanTransitionStep(effect, g, steps, i, &ops);
        QueryPerformanceCounter(&t1);
        DrawTransitionStep(screenDC, canvasDC, {0, 0}, brush, ops);
        QueryPerformanceCounter(&t2);
        const double step = Ms(t0, t2, frequency);
        f.planMean += Ms(t0, t1, frequency);
        f.drawMean += Ms(t1, t2, frequency);
        f.stepMean += step;
        f.stepMax = std::max(f.stepMax, step);
        f.over += step > kTransitionStepDelayMs;
    }
    f.steps = count;
    if (count > 0) {
        f.planMean /= count;
        f.drawMean /= count;
        f.stepMean /= count;
    }
    return f;
}

LRESULT CALLBACK Quiet(HWND window, UINT message, WPARAM first, LPARAM second) {
    if (message == WM_ERASEBKGND) return 1;
    return DefWindowProcW(window, message, first, second);
}

}  // namespace

int main() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Quiet;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"PvTransitionFrames";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"frames", WS_POPUP | WS_VISIBLE, 0, 0, kWidth,
                                  kHeight, nullptr, nullptr, wc.hInstance, nullptr);
    if (!window) return 1;
    UpdateWindow(window);

    HDC screen = GetDC(window);
    HBITMAP picture = MakePicture(kWidth, kHeight);
    HBITMAP made = TransitionCentreOnBackground(screen, picture, kWidth, kHeight, kWidth, kHeight, RGB(0, 0, 0));
    HDC memory = CreateCompatibleDC(screen);
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, 0));
    if (!picture || !made || !memory || !brush) return 1;

    std::printf("Transition step frame time at %dx%d, %d bits per pixel; budget %u ms per step\n", kWidth, kHeight,
                GetDeviceCaps(screen, BITSPIXEL), unsigned(kTransitionStepDelayMs));
    std::printf("%-7s %-14s %5s %9s %9s %9s %9s %6s\n", "effect", "canvas", "steps", "plan us", "draw ms", "mean ms",
                "max ms", "over");
    double worst = 0;
    for (HBITMAP canvas : {picture, made}) {
        HGDIOBJ old = SelectObject(memory, canvas);
        for (int effect = 0; effect < kTransitionEffectCount; ++effect) {
            const TransitionGeometry g =
                TransitionLayout(effect, {0, 0, kWidth, kHeight}, {0, 0, kWidth, kHeight}, kWidth, kHeight);
            const Figures f = Measure(effect, memory, g, screen, brush);
            std::printf("%-7d %-14s %5d %9.1f %9.3f %9.3f %9.3f %6d\n", effect,
                        canvas == picture ? "screen bitmap" : "compatible", f.steps, f.planMean * 1000.0, f.drawMean,
                        f.stepMean, f.stepMax, f.over);
            worst = std::max(worst, f.stepMax);
        }
        SelectObject(memory, old);
    }
    std::printf("slowest step: %.3f ms of %u ms\n", worst, unsigned(kTransitionStepDelayMs));

    DeleteObject(brush);
    DeleteDC(memory);
    DeleteObject(made);
    DeleteObject(picture);
    ReleaseDC(window, screen);
    DestroyWindow(window);
    return 0;
}
