// Property sheets in the handheld's style: asked for its version, a sheet
// that says 0x20C or more gets its tabs at the bottom; a maximised sheet fills
// the work area without caption or buttons and lays each page over the tab
// control's display area.
#include "platform/internal.h"

#include <deque>

namespace {

struct SheetRun {
    PFNPROPSHEETCALLBACK callback = nullptr;  // the caller's, or none
    bool maximize = false;
    int version = 0;
};

// Sheets run modally on the calling thread; nested runs stack.
thread_local std::deque<SheetRun> t_runs;

constexpr UINT_PTR kSheetSubclassId = 0x5053;
constexpr int kApplyButtonId = 0x3021;

int CallerCallback(HWND sheet, UINT message, LPARAM second) {
    if (t_runs.empty() || !t_runs.back().callback) return 0;
    return t_runs.back().callback(sheet, message, second);
}

void RemoveCaption(LPARAM dialogTemplate) {
    auto* words = reinterpret_cast<WORD*>(dialogTemplate);
    DWORD* style;
    if (words[0] == 1 && words[1] == 0xFFFF)  // extended template: version, signature, help id, ex style, style
        style = reinterpret_cast<DWORD*>(words + 6);
    else
        style = reinterpret_cast<DWORD*>(words);
    *style &= ~DWORD(WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_MODALFRAME);
    *style |= WS_POPUP;
}

void FitCurrentPage(HWND sheet) {
    HWND tabs = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
    HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    if (!tabs || !page) return;
    RECT display;
    GetClientRect(tabs, &display);
    SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
    MapWindowPoints(tabs, sheet, reinterpret_cast<POINT*>(&display), 2);
    SetWindowPos(page, nullptr, display.left, display.top, display.right - display.left,
                 display.bottom - display.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void LayOutMaximized(HWND sheet) {
    FillWorkArea(sheet);
    for (int id : {IDOK, IDCANCEL, IDHELP, kApplyButtonId}) {
        if (HWND button = GetDlgItem(sheet, id)) ShowWindow(button, SW_HIDE);
    }
    RECT client;
    GetClientRect(sheet, &client);
    if (HWND tabs = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0)))
        SetWindowPos(tabs, nullptr, 0, 0, client.right, client.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
    FitCurrentPage(sheet);
}

LRESULT CALLBACK SheetSubclass(HWND sheet, UINT message, WPARAM first, LPARAM second, UINT_PTR, DWORD_PTR) {
    const LRESULT result = DefSubclassProc(sheet, message, first, second);
    if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(second);
        if (header && header->code == UINT(TCN_SELCHANGE)) FitCurrentPage(sheet);
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(sheet, SheetSubclass, kSheetSubclassId);
    }
    return result;
}

int CALLBACK SheetCallback(HWND sheet, UINT message, LPARAM second) {
    SheetRun* run = t_runs.empty() ? nullptr : &t_runs.back();
    if (!run) return 0;
    switch (message) {
    case PSCB_PRECREATE: {
        const int result = CallerCallback(sheet, message, second);
        if (run->maximize && second) RemoveCaption(second);
        return result;
    }
    case PSCB_INITIALIZED: {
        run->version = CallerCallback(sheet, kSheetVersionQuery, 0);
        const int result = CallerCallback(sheet, message, second);
        if (run->version >= kHandheldSheetVersion) {
            if (HWND tabs = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0)))
                SetWindowLongPtrW(tabs, GWL_STYLE, GetWindowLongPtrW(tabs, GWL_STYLE) | TCS_BOTTOM);
        }
        if (run->maximize) {
            SetWindowSubclass(sheet, SheetSubclass, kSheetSubclassId, 0);
            SetDoneTarget(sheet);  // first: it may bring the top bar back
            LayOutMaximized(sheet);
        }
        return result;
    }
    default:
        return CallerCallback(sheet, message, second);
    }
}

}  // namespace

INT_PTR HandheldPropertySheet(const PROPSHEETHEADERW* header) {
    if (!header) return -1;
    RecordHandheldCall(HandheldCall::kPropertySheet, header->hwndParent, header->dwFlags);
    PROPSHEETHEADERW copy = *header;
    SheetRun run;
    run.callback = (header->dwFlags & PSH_USECALLBACK) ? header->pfnCallback : nullptr;
    run.maximize = (header->dwFlags & kSheetMaximize) != 0;
    copy.dwFlags = (header->dwFlags & ~kSheetMaximize) | PSH_USECALLBACK;
    copy.pfnCallback = SheetCallback;
    t_runs.push_back(run);
    const INT_PTR result = PropertySheetW(&copy);
    t_runs.pop_back();
    return result;
}
