// Picture transitions on the window. See transition_win.h.
#include "display/transition_win.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

namespace {

// The shuffled order of effects, built on the first transition of the run.
// Only the thread that runs the windows touches it.
TransitionShuffle g_shuffle = {};
std::atomic<DWORD> g_stepDelay{kTransitionStepDelayMs};
TransitionRandom g_random = TransitionRandomFromRand;
void* g_randomUser = nullptr;

// The picture stretched to pictureWidth x pictureHeight at the centre of a
// canvasWidth x canvasHeight background, of which only the part (in canvas
// coordinates) is made.
HBITMAP MakeCanvasPart(HDC dc, HBITMAP picture, int canvasWidth, int canvasHeight, int pictureWidth,
                       int pictureHeight, COLORREF background, const RECT& part) {
    BITMAP info = {};
    if (!picture || GetObjectW(picture, sizeof info, &info) == 0) return nullptr;
    const int partWidth = part.right - part.left;
    const int partHeight = part.bottom - part.top;
    if (partWidth <= 0 || partHeight <= 0) return nullptr;

    HBITMAP canvas = CreateCompatibleBitmap(dc, partWidth, partHeight);
    HDC target = CreateCompatibleDC(dc);
    HDC source = CreateCompatibleDC(dc);
    HBRUSH brush = CreateSolidBrush(background);
    bool done = false;
    if (canvas && target && source && brush) {
        HGDIOBJ oldTarget = SelectObject(target, canvas);
        HGDIOBJ oldSource = SelectObject(source, picture);
        if (oldTarget && oldSource) {
            const RECT all = {0, 0, partWidth, partHeight};
            FillRect(target, &all, brush);
            SetStretchBltMode(target, COLORONCOLOR);
            const int x = static_cast<int>((int64_t{canvasWidth} - pictureWidth) / 2 - part.left);
            const int y = static_cast<int>((int64_t{canvasHeight} - pictureHeight) / 2 - part.top);
            done = StretchBlt(target, x, y, pictureWidth, pictureHeight, source, 0, 0, info.bmWidth,
                              std::abs(info.bmHeight), SRCCOPY) != FALSE;
        }
        if (oldSource) SelectObject(source, oldSource);
        if (oldTarget) SelectObject(target, oldTarget);
    }
    if (brush) DeleteObject(brush);
    if (source) DeleteDC(source);
    if (target) DeleteDC(target);
    if (!done && canvas) {
        DeleteObject(canvas);
        canvas = nullptr;
    }
    return canvas;
}

}  // namespace

HBITMAP TransitionCentreOnBackground(HDC dc, HBITMAP picture, int canvasWidth, int canvasHeight, int pictureWidth,
                                     int pictureHeight, COLORREF background) {
    const RECT whole = {0, 0, canvasWidth, canvasHeight};
    return MakeCanvasPart(dc, picture, canvasWidth, canvasHeight, pictureWidth, pictureHeight, background, whole);
}

int TransitionWaitStep(DWORD delay) {
    if (delay == 0) return 0;
    constexpr UINT kWakeOn = QS_MOUSEBUTTON | QS_POSTMESSAGE;
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD now = GetTickCount();
        if (now < start) return 0;  // the tick count went backwards
        const DWORD elapsed = now - start;
        if (elapsed > delay) return 0;
        // The filter takes exactly the release it finds, and nothing queued
        // before or after it.
        MSG message;
        if (PeekMessageW(&message, nullptr, WM_LBUTTONUP, WM_LBUTTONUP, PM_REMOVE)) return 1;
        // Sleep until the delay is over or new input or a posted message
        // arrives; what is queued already has been looked at and does not
        // wake the wait again.
        GetQueueStatus(kWakeOn);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, delay - elapsed + 1, kWakeOn);
    }
}

void DrawTransitionStep(HDC screenDC, HDC canvasDC, POINT origin, HBRUSH background,
                        const std::vector<TransitionOp>& ops) {
    for (const TransitionOp& op : ops) {
        if (op.kind == TransitionOpKind::kCopy) {
            BitBlt(screenDC, op.dest.x, op.dest.y, op.dest.width, op.dest.height, canvasDC, op.sourceX - origin.x,
                   op.sourceY - origin.y, SRCCOPY);
        } else {
            const RECT rect = {op.dest.x, op.dest.y, op.dest.x + op.dest.width, op.dest.y + op.dest.height};
            FillRect(screenDC, &rect, background);
        }
    }
    GdiFlush();
}

int RunTransitionEffect(int effect, HDC canvasDC, POINT origin, const TransitionGeometry& geometry, HDC screenDC,
                        HBRUSH background, DWORD delay, int steps) {
    const int count = TransitionStepCount(effect, geometry, steps);
    std::vector<TransitionOp> ops;
    ops.reserve(64);
    for (int i = 0; i < count; ++i) {
        PlanTransitionStep(effect, geometry, steps, i, &ops);
        DrawTransitionStep(screenDC, canvasDC, origin, background, ops);
        if (TransitionStepWaits(effect, steps, i) && TransitionWaitStep(delay)) return 1;
    }
    return 0;
}

void SetTransitionRandomSource(TransitionRandom random, void* user) {
    g_random = random ? random : TransitionRandomFromRand;
    g_randomUser = user;
    g_shuffle = {};
}

int ShowWithTransition(HWND window, uint32_t* position, HBITMAP bitmap, int newX, int newY, int newWidth,
                       int newHeight, int oldX, int oldY, int oldWidth, int oldHeight, COLORREF background) {
    if (!window || !position) return 0;
    const int effect = NextTransitionEffect(&g_shuffle, position, g_random, g_randomUser);

    BITMAP info = {};
    if (!bitmap || GetObjectW(bitmap, sizeof info, &info) == 0) return 0;
    const int bitmapWidth = info.bmWidth;
    const int bitmapHeight = std::abs(info.bmHeight);

    RECT client = {};
    GetClientRect(window, &client);
    const TransitionGeometry g = TransitionLayout(effect, {newX, newY, newWidth, newHeight},
                                                  {oldX, oldY, oldWidth, oldHeight}, client.right, client.bottom);
    const int steps = TransitionStepsFor(effect);
    if (TransitionStepCount(effect, g, steps) == 0) return 0;

    // The bitmap is the canvas only when it is the canvas's size and shown
    // unscaled; otherwise a canvas is made, of the part the window can show.
    const bool slide = effect == 0 || effect == 1;
    const int pictureWidth = slide ? g.canvasWidth : std::max(newWidth, 0);
    const int pictureHeight = slide ? g.canvasHeight : std::max(newHeight, 0);
    const bool bitmapIsCanvas = bitmapWidth == g.canvasWidth && bitmapHeight == g.canvasHeight &&
                                pictureWidth == bitmapWidth && pictureHeight == bitmapHeight;

    HDC screen = GetDC(window);
    if (!screen) return 0;
    HBITMAP made = nullptr;
    POINT origin = {0, 0};
    if (!bitmapIsCanvas) {
        auto inCanvas = [](int64_t v, int32_t size) { return static_cast<LONG>(std::clamp<int64_t>(v, 0, size)); };
        const RECT part = {inCanvas(-int64_t{g.canvasX}, g.canvasWidth), inCanvas(-int64_t{g.canvasY}, g.canvasHeight),
                           inCanvas(int64_t{client.right} - g.canvasX, g.canvasWidth),
                           inCanvas(int64_t{client.bottom} - g.canvasY, g.canvasHeight)};
        made = MakeCanvasPart(screen, bitmap, g.canvasWidth, g.canvasHeight, pictureWidth, pictureHeight, background,
                              part);
        origin = {part.left, part.top};
    }

    int result = 0;
    HDC memory = CreateCompatibleDC(screen);
    HBRUSH brush = CreateSolidBrush(background);
    if (memory && brush && (bitmapIsCanvas || made)) {
        HGDIOBJ old = SelectObject(memory, made ? made : bitmap);
        if (old) {
            result = RunTransitionEffect(effect, memory, origin, g, screen, brush, g_stepDelay.load(), steps);
            SelectObject(memory, old);
        }
    }
    if (brush) DeleteObject(brush);
    if (memory) DeleteDC(memory);
    if (made) DeleteObject(made);
    ReleaseDC(window, screen);
    return result;
}

void SetTransitionStepDelay(DWORD delay) { g_stepDelay.store(delay); }

DWORD TransitionStepDelay() { return g_stepDelay.load(); }
