// Tap-and-hold: a press that stays where it is for the hold time.
#include "platform/internal.h"

#include <atomic>
#include <cstdlib>

namespace {

std::atomic<DWORD> g_holdTime{500};
// How far the stylus may wander, in pixels, and still count as held.
constexpr int kHoldSlop = 5;

bool Wandered(const POINT& press, LPARAM where) {
    const POINT now = {short(LOWORD(where)), short(HIWORD(where))};
    return std::abs(now.x - press.x) > kHoldSlop || std::abs(now.y - press.y) > kHoldSlop;
}

}  // namespace

void SetHoldTime(DWORD milliseconds) { g_holdTime = milliseconds; }

DWORD HoldTime() { return g_holdTime; }

DWORD HandheldRecognizeGesture(const HoldGestureRequest* request) {
    if (!request || request->size < sizeof(HoldGestureRequest) || !IsWindow(request->window)) return 0;
    const HWND window = request->window;
    const DWORD start = GetTickCount();
    const DWORD hold = g_holdTime;
    DWORD result = kGestureContextMenu;
    for (;;) {
        // Small moves, and moves without the button down (a pointer that
        // hovers, which a stylus cannot do while pressed), are taken out of
        // the queue; a release or a real drag stays there for the window,
        // and ends the wait.
        MSG pending;
        bool ended = false;
        while (PeekMessageW(&pending, window, WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE)) {
            if (pending.message == WM_MOUSEMOVE &&
                (!(pending.wParam & MK_LBUTTON) || !Wandered(request->point, pending.lParam))) {
                PeekMessageW(&pending, window, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE);
                continue;
            }
            ended = true;
            break;
        }
        if (ended) {
            result = 0;
            break;
        }
        const DWORD waited = GetTickCount() - start;
        if (waited >= hold) break;
        MsgWaitForMultipleObjectsEx(0, nullptr, hold - waited, QS_MOUSE, MWMO_INPUTAVAILABLE);
    }
    RecordHandheldCall(HandheldCall::kGesture, window, result);
    return result;
}
