// The emulated screen: top bar, work area, top-level geometry, dialog set-up,
// full screen, and the activation and idle services that need no work here.
#include "platform/internal.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr const wchar_t* kTopBarClass = L"PvTopBar";
constexpr int kOkButtonId = IDOK;
constexpr int kOkButtonWidth = 30;

HWND g_topBar = nullptr;
HWND g_okButton = nullptr;
// Windows set up with the done button, latest last; the latest that still
// exists is the one the "ok" button answers.
std::vector<HWND> g_doneTargets;
// The text set for a window, shown while no done target is.
HWND g_textWindow = nullptr;
std::wstring g_text;
bool g_topBarShown = true;
// A dialog with the done button shows the top bar while it is open, also
// over a full-screen window, so that its "ok" can be tapped; the bar goes
// again with the dialog that brought it.
HWND g_topBarRaisedFor = nullptr;
bool g_inputButtonShown = true;
bool g_inputPanelDown = false;

int ScreenDpiY() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

void UpdateOkButton();

HWND DoneTarget() {
    while (!g_doneTargets.empty() && !IsWindow(g_doneTargets.back())) g_doneTargets.pop_back();
    return g_doneTargets.empty() ? nullptr : g_doneTargets.back();
}

// What the top bar shows; `path` tells a text set for a window (a path).
std::wstring TopBarText(bool* path) {
    *path = false;
    if (HWND target = DoneTarget()) {
        wchar_t title[128] = {};
        GetWindowTextW(target, title, 128);
        return title;
    }
    if (g_textWindow && IsWindow(g_textWindow) && IsWindowVisible(g_textWindow)) {
        *path = true;
        return g_text;
    }
    return std::wstring();
}

void PaintTopBar(HWND bar) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(bar, &paint);
    RECT area;
    GetClientRect(bar, &area);
    HBRUSH background = CreateSolidBrush(RGB(0, 0, 128));
    FillRect(dc, &area, background);
    DeleteObject(background);
    bool path = false;
    std::wstring title = TopBarText(&path);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    area.left += 4;
    area.right -= kOkButtonWidth + 4;
    DrawTextW(dc, title.c_str(), -1, &area,
              DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX | (path ? DT_PATH_ELLIPSIS : DT_END_ELLIPSIS));
    EndPaint(bar, &paint);
}

LRESULT CALLBACK TopBarProc(HWND bar, UINT message, WPARAM first, LPARAM second) {
    switch (message) {
    case WM_PAINT:
        PaintTopBar(bar);
        return 0;
    case WM_COMMAND:
        if (LOWORD(first) == kOkButtonId) {
            if (HWND target = DoneTarget())
                SendMessageW(target, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(g_okButton));
            UpdateOkButton();
        }
        return 0;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_GETTEXTLENGTH: {
        bool path = false;
        return LRESULT(TopBarText(&path).size());
    }
    case WM_GETTEXT: {
        bool path = false;
        const std::wstring text = TopBarText(&path);
        auto* out = reinterpret_cast<wchar_t*>(second);
        if (!out || first == 0) return 0;
        const size_t n = std::min<size_t>(text.size(), size_t(first) - 1);
        std::wmemcpy(out, text.c_str(), n);
        out[n] = 0;
        return LRESULT(n);
    }
    case WM_DESTROY:
        g_topBar = nullptr;
        g_okButton = nullptr;
        return 0;
    }
    return DefWindowProcW(bar, message, first, second);
}

void UpdateOkButton() {
    if (!g_okButton) return;
    const bool show = DoneTarget() != nullptr;
    ShowWindow(g_okButton, show ? SW_SHOWNA : SW_HIDE);
    InvalidateRect(g_topBar, nullptr, TRUE);
}

}  // namespace

int TopBarHeight() { return (ScreenDpiY() * kTopBarHeight96 + 48) / 96; }

int MenuBarHeight() { return (ScreenDpiY() * 52 + 48) / 96; }

HWND TopBarWindow() {
    if (g_topBar) return g_topBar;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc = {};
    if (!GetClassInfoW(instance, kTopBarClass, &wc)) {
        wc.lpfnWndProc = TopBarProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.lpszClassName = kTopBarClass;
        RegisterClassW(&wc);
    }
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = TopBarHeight();
    g_topBar = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kTopBarClass, L"",
                               WS_POPUP | WS_CLIPCHILDREN | (g_topBarShown ? WS_VISIBLE : 0), 0, 0, width,
                               height, nullptr, nullptr, instance, nullptr);
    if (!g_topBar) return nullptr;
    g_okButton = CreateWindowExW(0, L"BUTTON", L"ok", WS_CHILD | BS_PUSHBUTTON, width - kOkButtonWidth - 2, 2,
                                 kOkButtonWidth, height - 4, g_topBar,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kOkButtonId)), instance, nullptr);
    UpdateOkButton();
    return g_topBar;
}

void HandheldSetTopBarText(HWND window, const wchar_t* text) {
    g_textWindow = text ? window : nullptr;
    g_text = text ? text : L"";
    if (HWND bar = TopBarWindow()) InvalidateRect(bar, nullptr, TRUE);
}

RECT HandheldWorkArea() {
    RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (g_topBarShown) area.top = TopBarHeight();
    return area;
}

namespace {

constexpr UINT_PTR kDoneTargetSubclassId = 0x444F;

// Takes a closing window off the done targets, so the "ok" button goes with it.
LRESULT CALLBACK DoneTargetSubclass(HWND window, UINT message, WPARAM first, LPARAM second, UINT_PTR, DWORD_PTR) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, DoneTargetSubclass, kDoneTargetSubclassId);
        for (auto it = g_doneTargets.begin(); it != g_doneTargets.end();)
            it = *it == window ? g_doneTargets.erase(it) : it + 1;
        if (window == g_topBarRaisedFor) {
            g_topBarRaisedFor = nullptr;
            g_topBarShown = false;
            if (g_topBar) ShowWindow(g_topBar, SW_HIDE);
        }
        UpdateOkButton();
    }
    return DefSubclassProc(window, message, first, second);
}

}  // namespace

void SetDoneTarget(HWND window) {
    if (DoneTarget() != window) {
        g_doneTargets.push_back(window);
        SetWindowSubclass(window, DoneTargetSubclass, kDoneTargetSubclassId, 0);
    }
    if (!g_topBarShown && !g_topBarRaisedFor) {
        g_topBarShown = true;
        g_topBarRaisedFor = window;
    }
    if (HWND bar = TopBarWindow()) {
        if (g_topBarShown) ShowWindow(bar, SW_SHOWNA);
    }
    UpdateOkButton();
}

void MakeCaptionless(HWND window) {
    LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    style &= ~LONG_PTR(WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | DS_MODALFRAME);
    style |= WS_POPUP;
    SetWindowLongPtrW(window, GWL_STYLE, style);
    LONG_PTR exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
    exStyle &= ~LONG_PTR(WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE);
    SetWindowLongPtrW(window, GWL_EXSTYLE, exStyle);
}

void FillWorkArea(HWND window) {
    MakeCaptionless(window);
    RECT area = HandheldWorkArea();
    if (HWND bar = MenuBarFind(window)) {
        if (IsWindowVisible(bar)) area.bottom -= MenuBarHeight();
    }
    SetWindowPos(window, nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

HWND HandheldCreateWindow(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x,
                          int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                          void* param) {
    const bool topLevel = !(style & WS_CHILD);
    if (topLevel) {
        style &= ~DWORD(WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
        style |= WS_POPUP;
        exStyle &= ~DWORD(WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME);
        const RECT area = HandheldWorkArea();
        if (x == CW_USEDEFAULT) {
            x = area.left;
            y = area.top;
        }
        if (width == CW_USEDEFAULT) {
            width = area.right - area.left;
            height = area.bottom - area.top;
        }
    }
    return CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, menu, instance, param);
}

BOOL HandheldDialogSetup(HWND dialog, uint32_t flags) {
    RecordHandheldCall(HandheldCall::kDialogSetup, dialog, flags);
    if (!IsWindow(dialog)) return FALSE;
    if (flags & kSetupEmptyMenuBar) {
        const MenuBarSpec empty = {dialog, nullptr, 0, 0, 0};
        MenuBarCreate(empty);
    }
    if (flags & kSetupDoneButton) SetDoneTarget(dialog);  // first: it may bring the top bar back
    if (flags & kSetupFullScreen) FillWorkArea(dialog);
    if (flags & kSetupInputPanelDown) g_inputPanelDown = true;
    return TRUE;
}

BOOL HandheldFullScreen(HWND window, uint32_t flags) {
    RecordHandheldCall(HandheldCall::kFullScreen, window, flags);
    if (flags & kHideTopBar) g_topBarShown = false;
    if (flags & kShowTopBar) g_topBarShown = true;
    if (flags & (kHideTopBar | kShowTopBar)) g_topBarRaisedFor = nullptr;
    if (flags & kHideInputButton) g_inputButtonShown = false;
    if (flags & kShowInputButton) g_inputButtonShown = true;
    if (flags & (kHideTopBar | kShowTopBar)) {
        if (HWND bar = TopBarWindow()) ShowWindow(bar, g_topBarShown ? SW_SHOWNA : SW_HIDE);
    }
    return TRUE;
}

bool TopBarShown() { return g_topBarShown; }
bool InputButtonShown() { return g_inputButtonShown; }
bool InputPanelDown() { return g_inputPanelDown; }

BOOL HandheldHandleActivate(HWND window, WPARAM, LPARAM, ActivateInfo*) {
    RecordHandheldCall(HandheldCall::kActivate, window, 0);
    return TRUE;
}

BOOL HandheldHandleSettingChange(HWND window, WPARAM, LPARAM, ActivateInfo*) {
    RecordHandheldCall(HandheldCall::kSettingChange, window, 0);
    return TRUE;
}

void HandheldResetIdleTimer() { RecordHandheldCall(HandheldCall::kIdleReset, nullptr, 0); }
