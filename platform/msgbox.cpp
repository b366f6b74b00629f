// Message boxes that fit the handheld's screen. The system's box is made as
// usual; once it has laid itself out it is laid out again: as wide as its
// text needs but never wider than the screen, its text broken into lines
// that fit (long paths after their separators, see textwrap.h) and drawn by
// us, its buttons in one row within the box, the whole box centred on the
// screen. Its texts, ids and answers stay the system's.
#include "platform/internal.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/textwrap.h"

namespace {

constexpr UINT_PTR kBoxSubclassId = 0x4D42;
constexpr const wchar_t* kTextIdProperty = L"PvBoxTextId";

// Set while a box of ours is being made on this thread; the hook takes the
// first dialog made and clears it.
thread_local bool t_boxPending = false;

int Scaled(int value, int dpi) { return MulDiv(value, dpi, 96); }

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

struct BoxParts {
    HWND text = nullptr;
    HWND icon = nullptr;
    std::vector<HWND> buttons;
};

// Shown once the box is: the box itself is not visible yet.
bool Shown(HWND child) { return (GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE) != 0; }

BOOL CALLBACK CollectPart(HWND child, LPARAM user) {
    auto* parts = reinterpret_cast<BoxParts*>(user);
    wchar_t name[16] = L"";
    GetClassNameW(child, name, 16);
    if (lstrcmpiW(name, L"Static") == 0) {
        if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            if (Shown(child)) parts->icon = child;
        } else if (!parts->text) {
            parts->text = child;
        }
    } else if (lstrcmpiW(name, L"Button") == 0 && Shown(child)) {
        parts->buttons.push_back(child);
    }
    return TRUE;
}

std::wstring WindowText(HWND window) {
    std::wstring text(size_t(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(window, &text[0], int(text.size()))));
    return text;
}

std::vector<TextLine> WrapIn(HDC dc, const std::wstring& text, int width) {
    return WrapTextLines(text, width, [dc](const wchar_t* run, size_t length) {
        SIZE size = {};
        GetTextExtentPoint32W(dc, run, int(length), &size);
        return int(size.cx);
    });
}

int LineHeight(HDC dc) {
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    return metrics.tmHeight;
}

RECT RectIn(HWND child, HWND parent) {
    RECT r = {};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The text, broken to the control's width, as the static would draw it.
void DrawBoxText(const DRAWITEMSTRUCT* item) {
    const std::wstring text = WindowText(item->hwndItem);
    HDC dc = item->hDC;
    const int saved = SaveDC(dc);
    HBRUSH brush = reinterpret_cast<HBRUSH>(
        SendMessageW(GetParent(item->hwndItem), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(item->hwndItem)));
    FillRect(dc, &item->rcItem, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
    if (HFONT font = reinterpret_cast<HFONT>(SendMessageW(item->hwndItem, WM_GETFONT, 0, 0))) SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    const int lineHeight = LineHeight(dc);
    int y = item->rcItem.top;
    for (const TextLine& line : WrapIn(dc, text, item->rcItem.right - item->rcItem.left)) {
        TextOutW(dc, item->rcItem.left, y, text.data() + line.start, int(line.length));
        y += lineHeight;
    }
    RestoreDC(dc, saved);
}

void LayOutBox(HWND box) {
    BoxParts parts;
    EnumChildWindows(box, CollectPart, reinterpret_cast<LPARAM>(&parts));
    if (!parts.text) return;
    const int dpi = ScreenDpi();
    const int margin = Scaled(6, dpi);
    const int gap = Scaled(4, dpi);
    const int edge = Scaled(2, dpi);
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);

    RECT frame = {0, 0, 0, 0};
    AdjustWindowRectEx(&frame, DWORD(GetWindowLongPtrW(box, GWL_STYLE)), FALSE,
                       DWORD(GetWindowLongPtrW(box, GWL_EXSTYLE)));
    const int frameWidth = frame.right - frame.left;
    const int frameHeight = frame.bottom - frame.top;
    const int widest = screenWidth - 2 * edge - frameWidth;

    std::sort(parts.buttons.begin(), parts.buttons.end(),
              [box](HWND a, HWND b) { return RectIn(a, box).left < RectIn(b, box).left; });
    int buttonsWidth = 0;
    int buttonHeight = 0;
    for (HWND button : parts.buttons) {
        const RECT r = RectIn(button, box);
        buttonsWidth += r.right - r.left;
        buttonHeight = std::max(buttonHeight, int(r.bottom - r.top));
    }
    if (!parts.buttons.empty()) buttonsWidth += gap * int(parts.buttons.size() - 1);

    int iconWidth = 0;
    int iconHeight = 0;
    if (parts.icon) {
        const RECT r = RectIn(parts.icon, box);
        iconWidth = r.right - r.left;
        iconHeight = r.bottom - r.top;
    }
    const int textLeft = margin + (parts.icon ? iconWidth + margin : 0);

    const std::wstring text = WindowText(parts.text);
    HDC dc = GetDC(parts.text);
    HGDIOBJ oldFont = nullptr;
    if (HFONT font = reinterpret_cast<HFONT>(SendMessageW(parts.text, WM_GETFONT, 0, 0))) oldFont = SelectObject(dc, font);
    int natural = 0;
    for (const TextLine& line : WrapIn(dc, text, INT_MAX / 2)) {
        SIZE size = {};
        GetTextExtentPoint32W(dc, text.data() + line.start, int(line.length), &size);
        natural = std::max(natural, int(size.cx));
    }
    const int clientWidth = std::min(widest, std::max(textLeft + natural + margin, buttonsWidth + 2 * margin));
    const int textWidth = std::max(1, clientWidth - textLeft - margin);
    const int lineCount = int(WrapIn(dc, text, textWidth).size());
    const int textHeight = lineCount * LineHeight(dc);
    if (oldFont) SelectObject(dc, oldFont);
    ReleaseDC(parts.text, dc);

    const int bodyHeight = std::max(textHeight, iconHeight);
    const int clientHeight = std::min(screenHeight - 2 * edge - frameHeight,
                                      margin + bodyHeight + margin + buttonHeight + (buttonHeight ? margin : 0));
    const int boxWidth = clientWidth + frameWidth;
    const int boxHeight = clientHeight + frameHeight;
    SetWindowPos(box, nullptr, (screenWidth - boxWidth) / 2, std::max(0, (screenHeight - boxHeight) / 2), boxWidth,
                 boxHeight, SWP_NOZORDER | SWP_NOACTIVATE);

    if (parts.icon)
        SetWindowPos(parts.icon, nullptr, margin, margin + std::max(0, (textHeight - iconHeight) / 2), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    const int bodyBottom = clientHeight - (buttonHeight ? buttonHeight + 2 * margin : margin);
    SetWindowLongPtrW(parts.text, GWL_STYLE, (GetWindowLongPtrW(parts.text, GWL_STYLE) & ~LONG_PTR(SS_TYPEMASK)) | SS_OWNERDRAW);
    SetWindowPos(parts.text, nullptr, textLeft, margin + std::max(0, (iconHeight - textHeight) / 2), textWidth,
                 std::min(textHeight, std::max(0, bodyBottom - margin)), SWP_NOZORDER | SWP_NOACTIVATE);

    // Buttons keep their widths while the row fits, else share the row.
    const int count = int(parts.buttons.size());
    const int room = clientWidth - 2 * margin;
    const bool shrink = buttonsWidth > room;
    const int shared = count ? (room - gap * (count - 1)) / count : 0;
    int x = shrink ? margin : (clientWidth - buttonsWidth) / 2;
    const int y = clientHeight - margin - buttonHeight;
    for (HWND button : parts.buttons) {
        const RECT r = RectIn(button, box);
        const int width = shrink ? shared : int(r.right - r.left);
        SetWindowPos(button, nullptr, x, y, width, buttonHeight, SWP_NOZORDER | SWP_NOACTIVATE);
        x += width + gap;
    }
    SetPropW(box, kTextIdProperty, reinterpret_cast<HANDLE>(INT_PTR(GetDlgCtrlID(parts.text))));
    InvalidateRect(box, nullptr, TRUE);
}

// The caption's close button, in window coordinates: the square at the
// right end of the title bar, between the frame and the client area.
RECT CloseButtonRect(HWND box) {
    RECT window = {}, client = {};
    GetWindowRect(box, &window);
    GetClientRect(box, &client);
    MapWindowPoints(box, nullptr, reinterpret_cast<POINT*>(&client), 2);
    const int border = (int(window.right - window.left) - int(client.right - client.left)) / 2;
    const int top = border;
    const int bottom = int(client.top - window.top);
    const int right = int(window.right - window.left) - border;
    const int side = bottom - top;
    RECT button = {right - side, top, right, bottom};
    InflateRect(&button, -2, -2);
    return button;
}

// The close button drawn by us: the title bar's own glyph comes from a
// symbol font that a fresh Wine prefix may lack, which shows a letter in
// its place. A raised button with a cross in the caption's text colour.
void DrawCloseButton(HWND box) {
    if (!(GetWindowLongPtrW(box, GWL_STYLE) & WS_SYSMENU)) return;
    const RECT button = CloseButtonRect(box);
    if (button.right - button.left < 4 || button.bottom - button.top < 4) return;
    HDC dc = GetWindowDC(box);
    if (!dc) return;
    RECT face = button;
    DrawFrameControl(dc, &face, DFC_BUTTON, DFCS_BUTTONPUSH);
    const int side = std::min(int(button.right - button.left), int(button.bottom - button.top));
    const int inset = side / 4;
    const int thickness = std::max(1, side / 8);
    HPEN pen = CreatePen(PS_SOLID, thickness, GetSysColor(COLOR_BTNTEXT));
    const HGDIOBJ old = SelectObject(dc, pen);
    const int left = button.left + inset, top = button.top + inset;
    const int right = button.right - 1 - inset, bottom = button.bottom - 1 - inset;
    MoveToEx(dc, left, top, nullptr);
    LineTo(dc, right, bottom);
    MoveToEx(dc, right, top, nullptr);
    LineTo(dc, left, bottom);
    SelectObject(dc, old);
    DeleteObject(pen);
    ReleaseDC(box, dc);
}

// The box lays itself out at WM_INITDIALOG; ours follows. Its text is drawn
// here once it is ours to draw, and so is the caption's close button each
// time the frame is painted.
LRESULT CALLBACK BoxSubclass(HWND box, UINT message, WPARAM first, LPARAM second, UINT_PTR, DWORD_PTR) {
    switch (message) {
    case WM_INITDIALOG: {
        const LRESULT result = DefSubclassProc(box, message, first, second);
        LayOutBox(box);
        return result;
    }
    case WM_NCPAINT:
    case WM_NCACTIVATE: {
        const LRESULT result = DefSubclassProc(box, message, first, second);
        DrawCloseButton(box);
        return result;
    }
    case WM_DRAWITEM:
        if (GetPropW(box, kTextIdProperty) && first == WPARAM(INT_PTR(GetPropW(box, kTextIdProperty)))) {
            DrawBoxText(reinterpret_cast<const DRAWITEMSTRUCT*>(second));
            return TRUE;
        }
        break;
    case WM_NCDESTROY:
        RemovePropW(box, kTextIdProperty);
        RemoveWindowSubclass(box, BoxSubclass, kBoxSubclassId);
        break;
    }
    return DefSubclassProc(box, message, first, second);
}

LRESULT CALLBACK BoxHook(int code, WPARAM first, LPARAM second) {
    if (code == HCBT_CREATEWND && t_boxPending) {
        const HWND window = reinterpret_cast<HWND>(first);
        const auto* create = reinterpret_cast<CBT_CREATEWNDW*>(second)->lpcs;
        const bool dialog = IS_INTRESOURCE(create->lpszClass)
                                ? LOWORD(reinterpret_cast<ULONG_PTR>(create->lpszClass)) == 0x8002
                                : lstrcmpW(create->lpszClass, L"#32770") == 0;
        if (dialog && !(create->style & WS_CHILD)) {
            t_boxPending = false;
            SetWindowSubclass(window, BoxSubclass, kBoxSubclassId, 0);
        }
    }
    return CallNextHookEx(nullptr, code, first, second);
}

}  // namespace

int HandheldMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) {
    const bool outer = !t_boxPending;
    HHOOK hook = SetWindowsHookExW(WH_CBT, BoxHook, nullptr, GetCurrentThreadId());
    t_boxPending = hook != nullptr;
    const int answer = MessageBoxW(owner, text ? text : L"", caption, type);
    if (hook) UnhookWindowsHookEx(hook);
    if (outer) t_boxPending = false;
    return answer;
}
