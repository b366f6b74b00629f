// Reading the screen back in the slideshow tests: a pixel of the whole
// screen (any process's windows), classified by its strongest channel so
// that JPEG noise and the 16-bit screen's dithering do not matter, and a
// message pump that waits for a condition with a generous limit.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <functional>

namespace screentest {

inline uint32_t ScreenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c);
}

enum class Hue { kRed, kGreen, kBlue, kGrey, kOther };

inline Hue HueOf(uint32_t rgb) {
    const int r = int(rgb >> 16 & 255), g = int(rgb >> 8 & 255), b = int(rgb & 255);
    auto dominant = [](int a, int o1, int o2) { return a > 150 && o1 < 90 && o2 < 90; };
    if (dominant(r, g, b)) return Hue::kRed;
    if (dominant(g, r, b)) return Hue::kGreen;
    if (dominant(b, r, g)) return Hue::kBlue;
    if (std::abs(r - g) < 16 && std::abs(g - b) < 16 && std::abs(r - b) < 16) return Hue::kGrey;
    return Hue::kOther;
}

inline Hue ScreenHue(int x, int y) { return HueOf(ScreenPixel(x, y)); }

// A tap on the image view inside `window` (any process's), posted so the
// release waits in the queue as a real one would. False without a view.
inline bool TapView(HWND window) {
    HWND view = window ? FindWindowExW(window, nullptr, L"CBmpClass", nullptr) : nullptr;
    if (!view) return false;
    PostMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 100));
    PostMessageW(view, WM_LBUTTONUP, 0, MAKELPARAM(100, 100));
    return true;
}

// Pumps this thread's messages until `done` holds or `limitMs` passed.
inline bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = 15000) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > limitMs) return false;
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

}  // namespace screentest
