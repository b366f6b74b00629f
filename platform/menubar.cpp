// Menu bars: a bar window at the bottom of the screen, owned by its window,
// holding a toolbar control. TB_* and common-control messages sent to the bar
// go to the toolbar; presses and menu choices go to the owner.
//
// The "MENUBAR" resource is a list of 16-bit words:
//   menu id (the menu whose popups the drop-down buttons open; 0 for none),
//   button count, then per button: image index (kMenuBarNoImage for none),
//   command id, state (TBSTATE_*), style (BTNS_*), string id (0 for no text),
//   popup index in the menu (kMenuBarNoPopup for none).
#include "platform/internal.h"

#include <string>
#include <vector>

namespace {

constexpr const wchar_t* kMenuBarClass = L"PvMenuBar";
constexpr const wchar_t* kOwnerProperty = L"PvMenuBarWindow";
constexpr size_t kWordsPerButton = 6;

struct BarButton {
    UINT command;
    WORD popup;
};

struct MenuBarData {
    HWND owner = nullptr;
    HWND toolbar = nullptr;
    HMENU menu = nullptr;
    std::vector<BarButton> buttons;
    UINT droppedCommand = 0;
    HMENU droppedPopup = nullptr;
    HIMAGELIST images = nullptr;  // button images scaled to the screen, or none
    // A bar destroyed while its popup is open (its owner closed from a menu
    // command or from outside) is freed once the popup has returned.
    bool tracking = false;
    bool destroyed = false;
};

void FreeBarData(MenuBarData* data) {
    if (data->menu) DestroyMenu(data->menu);
    if (data->images) ImageList_Destroy(data->images);
    delete data;
}

MenuBarData* DataOf(HWND bar) { return reinterpret_cast<MenuBarData*>(GetWindowLongPtrW(bar, GWLP_USERDATA)); }

bool IsToolbarMessage(UINT message) {
    return (message >= WM_USER && message < 0x8000) || (message >= CCM_FIRST && message < CCM_FIRST + 0x200);
}

void ShowDropDown(HWND bar, MenuBarData* data, UINT command) {
    for (const BarButton& button : data->buttons) {
        if (button.command != command || button.popup == kMenuBarNoPopup || !data->menu) continue;
        HMENU popup = GetSubMenu(data->menu, button.popup);
        if (!popup) return;
        RECT place = {};
        SendMessageW(data->toolbar, TB_GETRECT, command, reinterpret_cast<LPARAM>(&place));
        MapWindowPoints(data->toolbar, nullptr, reinterpret_cast<POINT*>(&place), 2);
        data->droppedCommand = command;
        data->droppedPopup = popup;
        // The bar never takes the focus: its owner comes to the front, so the
        // menu answers the keys.
        SetForegroundWindow(data->owner);
        data->tracking = true;
        TrackPopupMenuEx(popup, TPM_LEFTALIGN | TPM_BOTTOMALIGN, place.left, place.top, bar, nullptr);
        data->tracking = false;
        if (data->destroyed) {
            FreeBarData(data);
            return;
        }
        data->droppedPopup = nullptr;
        return;
    }
}

LRESULT CALLBACK MenuBarProc(HWND bar, UINT message, WPARAM first, LPARAM second) {
    MenuBarData* data = DataOf(bar);
    if (data && data->toolbar && IsToolbarMessage(message))
        return SendMessageW(data->toolbar, message, first, second);
    switch (message) {
    case WM_SIZE:
        if (data && data->toolbar) MoveWindow(data->toolbar, 0, 0, LOWORD(second), HIWORD(second), TRUE);
        return 0;
    case WM_MOUSEACTIVATE:
        // A tap on the bar leaves its owner active, so the keys still reach
        // the owner once a menu is closed.
        return MA_NOACTIVATE;
    case WM_COMMAND:
        // Toolbar presses name the bar as their control; menu choices none.
        if (data && data->owner)
            return SendMessageW(data->owner, WM_COMMAND, first,
                                second ? reinterpret_cast<LPARAM>(bar) : 0);
        return 0;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(second);
        if (data && header && header->code == UINT(TBN_DROPDOWN)) {
            ShowDropDown(bar, data, UINT(reinterpret_cast<const NMTOOLBARW*>(second)->iItem));
            return TBDDRET_DEFAULT;
        }
        return 0;
    }
    case WM_INITMENUPOPUP:
        // The owner learns which button opened the popup from the low word.
        if (data && data->owner) {
            LPARAM place = second;
            if (reinterpret_cast<HMENU>(first) == data->droppedPopup)
                place = MAKELPARAM(data->droppedCommand, HIWORD(second));
            return SendMessageW(data->owner, WM_INITMENUPOPUP, first, place);
        }
        return 0;
    case WM_NCDESTROY:
        if (data) {
            if (data->owner && GetPropW(data->owner, kOwnerProperty) == bar) RemovePropW(data->owner, kOwnerProperty);
            SetWindowLongPtrW(bar, GWLP_USERDATA, 0);
            if (data->tracking) data->destroyed = true;
            else FreeBarData(data);
        }
        break;
    }
    return DefWindowProcW(bar, message, first, second);
}

bool RegisterBarClass(HINSTANCE instance) {
    WNDCLASSW wc = {};
    if (GetClassInfoW(instance, kMenuBarClass, &wc)) return true;
    wc.lpfnWndProc = MenuBarProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kMenuBarClass;
    return RegisterClassW(&wc) != 0;
}

// The resource's words, or an empty list when it is missing or malformed.
std::vector<WORD> ReadBarResource(HINSTANCE instance, UINT id) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), kMenuBarResourceType);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(instance, found);
    const auto* words = loaded ? static_cast<const WORD*>(LockResource(loaded)) : nullptr;
    const size_t count = SizeofResource(instance, found) / sizeof(WORD);
    if (!words || count < 2) return {};
    const size_t buttons = words[1];
    if (buttons > (count - 2) / kWordsPerButton) return {};
    return std::vector<WORD>(words, words + 2 + buttons * kWordsPerButton);
}

// The bitmap's images enlarged for a screen of more than 96 pixels per inch
// (the bitmap is drawn for 96), light grey showing the bar through; nullptr
// at 96, where the toolbar takes the bitmap as it is.
HIMAGELIST ScaledImages(HINSTANCE instance, UINT bitmapId, UINT count) {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    if (dpi <= 96) return nullptr;
    HBITMAP source = static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    BITMAP info = {};
    if (!source || !GetObjectW(source, sizeof info, &info) || info.bmWidth < int(count) || info.bmHeight <= 0) {
        if (source) DeleteObject(source);
        return nullptr;
    }
    const int width = MulDiv(info.bmWidth / int(count), dpi, 96);
    const int height = MulDiv(info.bmHeight, dpi, 96);
    HIMAGELIST images = ImageList_Create(width, height, ILC_COLOR24 | ILC_MASK, int(count), 0);
    HDC from = CreateCompatibleDC(nullptr);
    HDC to = CreateCompatibleDC(nullptr);
    BITMAPINFO dib = {};
    dib.bmiHeader.biSize = sizeof dib.bmiHeader;
    dib.bmiHeader.biWidth = width * int(count);
    dib.bmiHeader.biHeight = height;
    dib.bmiHeader.biPlanes = 1;
    dib.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP scaled = to ? CreateDIBSection(to, &dib, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    bool ok = images && from && to && scaled;
    if (ok) {
        HGDIOBJ oldFrom = SelectObject(from, source);
        HGDIOBJ oldTo = SelectObject(to, scaled);
        SetStretchBltMode(to, COLORONCOLOR);
        ok = StretchBlt(to, 0, 0, width * int(count), height, from, 0, 0, info.bmWidth / int(count) * int(count),
                        info.bmHeight, SRCCOPY) != FALSE;
        SelectObject(from, oldFrom);
        SelectObject(to, oldTo);
        ok = ok && ImageList_AddMasked(images, scaled, RGB(0xC0, 0xC0, 0xC0)) >= 0;
    }
    if (scaled) DeleteObject(scaled);
    if (from) DeleteDC(from);
    if (to) DeleteDC(to);
    DeleteObject(source);
    if (!ok && images) {
        ImageList_Destroy(images);
        images = nullptr;
    }
    return images;
}

}  // namespace

LRESULT MenuBarAddString(HWND bar, const wchar_t* text) {
    std::wstring list = text;
    list.push_back(L'\0');
    list.push_back(L'\0');
    return SendMessageW(bar, TB_ADDSTRINGW, 0, reinterpret_cast<LPARAM>(list.c_str()));
}

HWND MenuBarFind(HWND owner) {
    return owner ? static_cast<HWND>(GetPropW(owner, kOwnerProperty)) : nullptr;
}

bool MenuBarOtherShown(HWND bar) {
    struct Search {
        HWND bar;
        bool found;
    } search{bar, false};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM user) -> BOOL {
            auto* s = reinterpret_cast<Search*>(user);
            wchar_t name[32] = L"";
            GetClassNameW(window, name, 32);
            s->found = window != s->bar && IsWindowVisible(window) && lstrcmpW(name, kMenuBarClass) == 0;
            return !s->found;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HMENU MenuBarGetMenu(HWND bar) {
    MenuBarData* data = IsWindow(bar) ? DataOf(bar) : nullptr;
    return data ? data->menu : nullptr;
}

HWND MenuBarCreate(const MenuBarSpec& spec) {
    RecordHandheldCall(HandheldCall::kMenuBarCreate, spec.owner, spec.resourceId);
    HINSTANCE self = GetModuleHandleW(nullptr);
    if (!spec.owner || !RegisterBarClass(self)) return nullptr;
    std::vector<WORD> words;
    if (spec.resourceId) {
        words = ReadBarResource(spec.instance, spec.resourceId);
        if (words.empty()) return nullptr;
    }
    if (HWND old = MenuBarFind(spec.owner)) DestroyWindow(old);

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = MenuBarHeight();
    HWND bar = CreateWindowExW(WS_EX_NOACTIVATE, kMenuBarClass, L"", WS_POPUP | WS_CLIPCHILDREN, 0,
                               GetSystemMetrics(SM_CYSCREEN) - height, width, height, spec.owner, nullptr, self,
                               nullptr);
    if (!bar) return nullptr;
    auto* data = new MenuBarData;
    data->owner = spec.owner;
    SetWindowLongPtrW(bar, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data));
    data->toolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, L"",
                                    WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | CCS_NORESIZE | CCS_NOPARENTALIGN |
                                        CCS_NODIVIDER,
                                    0, 0, width, height, bar, nullptr, self, nullptr);
    if (!data->toolbar) {
        DestroyWindow(bar);
        return nullptr;
    }
    SendMessageW(data->toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    if (spec.bitmapId && spec.imageCount) {
        data->images = ScaledImages(spec.instance, spec.bitmapId, spec.imageCount);
        if (data->images) {
            SendMessageW(data->toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(data->images));
        } else {
            TBADDBITMAP images = {spec.instance, spec.bitmapId};
            SendMessageW(data->toolbar, TB_ADDBITMAP, spec.imageCount, reinterpret_cast<LPARAM>(&images));
        }
    }
    // String 0 is a placeholder: button texts start at 1, the first index
    // that the translation of the bar's buttons looks at.
    MenuBarAddString(data->toolbar, L" ");

    if (!words.empty()) {
        if (words[0]) data->menu = LoadMenuW(spec.instance, MAKEINTRESOURCEW(words[0]));
        const size_t count = words[1];
        std::vector<TBBUTTON> buttons(count);
        for (size_t i = 0; i < count; ++i) {
            const WORD* w = &words[2 + i * kWordsPerButton];
            TBBUTTON& b = buttons[i];
            b.iBitmap = w[0] == kMenuBarNoImage ? I_IMAGENONE : int(w[0]);
            b.idCommand = w[1];
            b.fsState = BYTE(w[2]);
            b.fsStyle = BYTE(w[3]);
            b.iString = -1;
            if (w[4]) {
                wchar_t text[128];
                if (LoadStringW(spec.instance, w[4], text, 128) > 0) b.iString = MenuBarAddString(data->toolbar, text);
            }
            data->buttons.push_back({w[1], w[5]});
        }
        if (count)
            SendMessageW(data->toolbar, TB_ADDBUTTONSW, count, reinterpret_cast<LPARAM>(buttons.data()));
    }
    SetPropW(spec.owner, kOwnerProperty, bar);
    ShowWindow(bar, SW_SHOWNA);
    return bar;
}
