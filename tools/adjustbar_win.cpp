#include "tools/adjustbar_win.h"

#include <commctrl.h>

#include <cstdio>
#include <cwchar>

#include "display/view_win.h"
#include "platform/framework_win.h"
#include "platform/handheld.h"
#include "processing/adjust.h"
#include "resources/tools.rh"
#include "shell/language_win.h"
#include "tools/batch.h"

namespace {

struct ViewAdjustState {
    HWND view;
    Bitmap backup;
    Bitmap shown;
    ViewAdjustValues values;
    int setting;
};

void ShowSetting(HWND bar, ViewAdjustState* s) {
    int32_t lo = 0;
    int32_t hi = 0;
    ViewAdjustRange(s->setting, &lo, &hi);
    SendDlgItemMessageW(bar, IDC_VA_BAR, TBM_SETRANGE, TRUE, MAKELPARAM(lo, hi));
    SendDlgItemMessageW(bar, IDC_VA_BAR, TBM_SETPOS, TRUE, ViewAdjustPosition(s->values, s->setting));
    wchar_t text[32];
    if (s->setting == kViewGamma) std::swprintf(text, 32, L"%.2f", s->values.gamma);
    else std::swprintf(text, 32, L"%d",
                       int(s->setting == kViewBrightness ? s->values.brightness : s->values.contrast));
    SetDlgItemTextW(bar, IDC_VA_VALUE, text);
}

INT_PTR CALLBACK BarProc(HWND bar, UINT message, WPARAM first, LPARAM second) {
    auto* s = reinterpret_cast<ViewAdjustState*>(GetWindowLongPtrW(bar, GWLP_USERDATA));
    switch (message) {
    case WM_INITDIALOG: {
        s = reinterpret_cast<ViewAdjustState*>(second);
        HandheldDialogSetup(bar, kSetupInputPanelDown);
        if (HWND owner = GetParent(bar)) HandheldFullScreen(owner, kHideInputButton);
        LngSelectSection("DlgEdit");
        LngSetItemText(bar, IDOK, "IDOK");
        LngSetItemText(bar, IDCANCEL, "IDCANCEL");
        LngSetItemText(bar, IDC_UNDO, "IDC_UNDO");
        // Across the bottom of the screen.
        RECT r;
        GetWindowRect(bar, &r);
        const int width = GetSystemMetrics(SM_CXSCREEN);
        const int height = r.bottom - r.top;
        MoveWindow(bar, 0, GetSystemMetrics(SM_CYSCREEN) - height, width, height, TRUE);
        SetWindowLongPtrW(bar, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(s));
        SetFocus(GetDlgItem(bar, IDC_VA_SETTING));
        DlgComboAddString(bar, IDC_VA_SETTING, IDS_BRIGHTNESS, "IDS_BRIGHTNESS");
        DlgComboAddString(bar, IDC_VA_SETTING, IDS_CONTRAST, "IDS_CONTRAST");
        DlgComboAddString(bar, IDC_VA_SETTING, IDS_GAMMA, "IDS_GAMMA");
        SendDlgItemMessageW(bar, IDC_VA_SETTING, CB_SETCURSEL, 0, 0);
        s->setting = kViewBrightness;
        ShowSetting(bar, s);
        return FALSE;
    }
    case WM_HSCROLL: {
        if (!s) return FALSE;
        SetViewAdjustFromPosition(&s->values, s->setting,
                                  int32_t(SendDlgItemMessageW(bar, IDC_VA_BAR, TBM_GETPOS, 0, 0)));
        ShowSetting(bar, s);
        uint8_t table[256];
        BuildAdjustTable(table, s->values.brightness, s->values.contrast, s->values.gamma);
        MapThroughTable(s->backup, &s->shown, table);
        ViewRefresh(s->view);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(first)) {
        case IDOK: EndDialog(bar, 1); return TRUE;
        case IDCANCEL: EndDialog(bar, 0); return TRUE;
        case IDC_UNDO:
            s->values = ViewAdjustValues{};
            ShowSetting(bar, s);
            ViewRestoreOriginal(s->view);
            return TRUE;
        case IDC_VA_SETTING:
            if (HIWORD(first) == CBN_SELCHANGE) {
                const LRESULT chosen = SendDlgItemMessageW(bar, IDC_VA_SETTING, CB_GETCURSEL, 0, 0);
                s->setting = chosen >= 0 && chosen <= kViewGamma ? int(chosen) : kViewBrightness;
                ShowSetting(bar, s);
            }
            return TRUE;
        default: return FALSE;
        }
    default: return FALSE;
    }
}

}  // namespace

int RunViewAdjust(HWND parent, HWND view, int* brightness, int* contrast, double* gamma) {
    ViewAdjustState s{};
    s.view = view;
    if (!ViewBeginPreview(view, &s.backup, &s.shown)) return 0;
    const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_VIEW_ADJUST), parent,
                                           BarProc, reinterpret_cast<LPARAM>(&s));
    if (result == 1) {
        *brightness = s.values.brightness;
        *contrast = s.values.contrast;
        *gamma = s.values.gamma;
        ViewEndPreview(view, 1);
        return 1;
    }
    ViewEndPreview(view, 0);
    return 0;
}
