// Window and dialog framework: see framework_win.h.
#include "platform/framework_win.h"

#include <commctrl.h>

#include <atomic>
#include <cstring>
#include <cwchar>

#include "platform/handheld.h"

LRESULT MsgTableDefaultProc(uint32_t kind, HWND window, UINT message, WPARAM first, LPARAM second) {
    switch (kind) {
    case kDefaultWindow:
        return DefWindowProcW(window, message, first, second);
    case kDefaultDialog:
        return DefDlgProcW(window, message, first, second);
    default:
        return 0;
    }
}

LRESULT MsgTableDispatch(const MessageTable& table, HWND window, UINT message, WPARAM first, LPARAM second) {
    for (int32_t i = 0; i < table.count; ++i)
        if (table.rows[i].message == message) return table.rows[i].handler(window, message, first, second);
    return MsgTableDefaultProc(table.defaultKind, window, message, first, second);
}

LRESULT CmdTableDispatch(const CommandTable& table, HWND window, UINT message, WPARAM first, LPARAM second) {
    const UINT id = LOWORD(first);
    for (int32_t i = 0; i < table.count; ++i)
        if (table.rows[i].id == id)
            return table.rows[i].handler(window, id, HIWORD(first), reinterpret_cast<HWND>(second));
    return MsgTableDefaultProc(table.defaultKind, window, message, first, second);
}

// ---------------------------------------------------------------------------

DialogObject::~DialogObject() { DialogDetachObject(this); }

void DialogInitBase(DialogObject* object, HWND parent, HINSTANCE instance, UINT resourceId, const DialogMapRow* map) {
    object->window = nullptr;
    object->instance = instance;
    object->parent = parent;
    object->resourceId = uint16_t(resourceId & 0xFFFF);
    object->fullScreen = 1;
    object->messageMap = map;
    object->modal = 0;
}

void DialogDetachObject(DialogObject* object) {
    if (object->window) {
        SetWindowLongPtrW(object->window, GWLP_USERDATA, 0);
        object->window = nullptr;
    }
}

INT_PTR DialogRunModalResource(DialogObject* object) {
    object->modal = 1;
    HRSRC found = FindResourceW(object->instance, MAKEINTRESOURCEW(object->resourceId), MAKEINTRESOURCEW(5));
    if (!found) return -1;
    HGLOBAL loaded = LoadResource(object->instance, found);
    const auto* dialogTemplate = loaded ? static_cast<const DLGTEMPLATE*>(LockResource(loaded)) : nullptr;
    if (!dialogTemplate) return -1;
    return DialogBoxIndirectParamW(object->instance, dialogTemplate, object->parent, DialogObjectProc,
                                   reinterpret_cast<LPARAM>(object));
}

namespace {

bool RowMatches(const DialogMapRow& row, UINT message, WPARAM first, LPARAM second) {
    if (row.message != message) return false;
    if (message == WM_COMMAND) {
        const UINT id = LOWORD(first);
        return (row.code == kAnyNotifyCode || row.code == HIWORD(first)) && id >= row.firstId && id <= row.lastId;
    }
    if (message == WM_NOTIFY) {
        if (row.firstId == 0 && row.code == 0) return true;
        const auto* header = reinterpret_cast<const NMHDR*>(second);
        return header && row.firstId == UINT(first) && row.code == header->code;
    }
    return true;
}

template <class Fn>
using Member = Fn DialogObject::*;

template <class Fn>
Member<Fn> Handler(const DialogMapRow& row) {
    Member<Fn> fn;
    static_assert(sizeof fn == sizeof row.handler.bytes, "member function pointers share one size");
    std::memcpy(&fn, row.handler.bytes, sizeof fn);
    return fn;
}

// WM_NOTIFY answers: FALSE while the handler leaves the result at -1, else
// the result goes to DWLP_MSGRESULT and the procedure returns TRUE.
INT_PTR NotifyAnswer(HWND window, LRESULT result) {
    if (result == -1) return FALSE;
    SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR CallRow(const DialogMapRow& row, DialogObject* object, HWND window, WPARAM first, LPARAM second) {
    switch (row.crack) {
    case DialogCrack::kInitDialog:
        return (object->*Handler<INT_PTR()>(row))();
    case DialogCrack::kCommandId:
        (object->*Handler<void(int)>(row))(LOWORD(first));
        return 0;
    case DialogCrack::kCommandControl:
        (object->*Handler<void(HWND)>(row))(reinterpret_cast<HWND>(second));
        return 0;
    case DialogCrack::kNotify: {
        LRESULT result = -1;
        (object->*Handler<void(NMHDR*, LRESULT*)>(row))(reinterpret_cast<NMHDR*>(second), &result);
        return NotifyAnswer(window, result);
    }
    case DialogCrack::kNotifyAny: {
        LRESULT result = -1;
        (object->*Handler<void(int, NMHDR*, LRESULT*)>(row))(int(first), reinterpret_cast<NMHDR*>(second), &result);
        return NotifyAnswer(window, result);
    }
    case DialogCrack::kNoArguments:
        (object->*Handler<void()>(row))();
        return 0;
    case DialogCrack::kMove:
        (object->*Handler<void(int, int)>(row))(short(LOWORD(second)), short(HIWORD(second)));
        return 0;
    case DialogCrack::kSize:
        (object->*Handler<void(UINT, int, int)>(row))(UINT(first), LOWORD(second), HIWORD(second));
        return 0;
    case DialogCrack::kFocus:
        (object->*Handler<void(WPARAM)>(row))(first);
        return 0;
    case DialogCrack::kItem:
        return (object->*Handler<INT_PTR(WPARAM, LPARAM)>(row))(first, second);
    case DialogCrack::kVKeyToItem: {
        const LRESULT result = (object->*Handler<LRESULT(UINT, HWND, UINT)>(row))(
            LOWORD(first), reinterpret_cast<HWND>(second), HIWORD(first));
        SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
        return -1;
    }
    case DialogCrack::kGetDlgCode:
        return (object->*Handler<LRESULT(LPARAM)>(row))(second);
    case DialogCrack::kKey:
        (object->*Handler<void(UINT, UINT, LPARAM)>(row))(UINT(first), UINT(second) & 0xF, second);
        return 0;
    case DialogCrack::kTimer:
        (object->*Handler<void(UINT_PTR)>(row))(first);
        return 0;
    case DialogCrack::kScroll:
        (object->*Handler<void(int, int, HWND)>(row))(LOWORD(first), short(HIWORD(first)),
                                                     reinterpret_cast<HWND>(second));
        return 0;
    case DialogCrack::kCtlColorDlg:
        return reinterpret_cast<INT_PTR>((object->*Handler<HBRUSH(HDC)>(row))(reinterpret_cast<HDC>(first)));
    case DialogCrack::kCtlColorStatic:
        return reinterpret_cast<INT_PTR>(
            (object->*Handler<HBRUSH(HDC, HWND)>(row))(reinterpret_cast<HDC>(first), reinterpret_cast<HWND>(second)));
    case DialogCrack::kMouse:
        (object->*Handler<void(UINT, int, int)>(row))(UINT(first), short(LOWORD(second)), short(HIWORD(second)));
        return 0;
    case DialogCrack::kMouseWheel: {
        POINT point = {short(LOWORD(second)), short(HIWORD(second))};
        ScreenToClient(window, &point);
        return (object->*Handler<LRESULT(UINT, int, int, int)>(row))(LOWORD(first), short(HIWORD(first)), point.x,
                                                                     point.y);
    }
    case DialogCrack::kHotKey:
        (object->*Handler<void(WPARAM, UINT, UINT)>(row))(first, LOWORD(second), HIWORD(second));
        return 0;
    case DialogCrack::kOther:
        break;
    }
    return (object->*Handler<INT_PTR(WPARAM, LPARAM)>(row))(first, second);
}

}  // namespace

INT_PTR CALLBACK DialogObjectProc(HWND window, UINT message, WPARAM first, LPARAM second) {
    DialogObject* object;
    if (message == WM_INITDIALOG) {
        object = reinterpret_cast<DialogObject*>(second);
        if (!object) return FALSE;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
        object->window = window;
        if (object->fullScreen) HandheldDialogSetup(window, kSetupStandardDialog);
    } else {
        object = reinterpret_cast<DialogObject*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (!object) return FALSE;
    }
    if (!object->messageMap) return FALSE;
    for (const DialogMapRow* row = object->messageMap; row->message != kDialogMapEndMessage; ++row)
        if (RowMatches(*row, message, first, second)) return CallRow(*row, object, window, first, second);
    return FALSE;
}

// ---------------------------------------------------------------------------

namespace {

int BuiltInText(HINSTANCE instance, UINT stringId, const char*, wchar_t* buffer, int capacity) {
    return LoadStringW(instance, stringId, buffer, capacity);
}

std::atomic<FrameworkTextLookup> g_textLookup{BuiltInText};

}  // namespace

void SetFrameworkTextLookup(FrameworkTextLookup lookup) { g_textLookup.store(lookup ? lookup : BuiltInText); }

int FrameworkGetText(HINSTANCE instance, UINT stringId, const char* key, wchar_t* buffer, int capacity) {
    return g_textLookup.load()(instance, stringId, key, buffer, capacity);
}

void DialogInitFullScreen(HWND window, void* object) {
    HandheldDialogSetup(window, kSetupStandardDialog);
    if (object) SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
}

void DlgItemEnable(HWND window, int id, BOOL enable) { EnableWindow(GetDlgItem(window, id), enable); }

void DlgItemShow(HWND window, int id, BOOL show) { ShowWindow(GetDlgItem(window, id), show ? SW_SHOW : SW_HIDE); }

void DlgComboAddString(HWND window, int id, UINT stringId, const char* key) {
    wchar_t text[512];
    text[0] = L'\0';
    FrameworkGetText(GetModuleHandleW(nullptr), stringId, key, text, 512);
    SendDlgItemMessageW(window, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

int GetWindowFontHeight(HWND window) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    LOGFONTW description;
    if (!font || GetObjectW(font, sizeof description, &description) != sizeof description) return 0;
    return -description.lfHeight;
}

namespace {
// Marks the font that SetWindowFontHeight gave a window.
constexpr const wchar_t* kOwnFontProperty = L"PvOwnFont";
// Id of the subclass that frees that font with the window.
constexpr UINT_PTR kOwnFontSubclass = 0x50764654;

// The window goes: its own font and the property go with it.
LRESULT CALLBACK OwnFontSubclassProc(HWND window, UINT message, WPARAM first, LPARAM second, UINT_PTR id,
                                     DWORD_PTR) {
    if (message == WM_NCDESTROY) {
        if (HANDLE font = RemovePropW(window, kOwnFontProperty)) DeleteObject(font);
        RemoveWindowSubclass(window, OwnFontSubclassProc, id);
    }
    return DefSubclassProc(window, message, first, second);
}
}  // namespace

void SetWindowFontHeight(HWND window, int height) {
    if (height < 1) return;
    HFONT old = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    HFONT base = old ? old : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW description;
    if (GetObjectW(base, sizeof description, &description) != sizeof description) return;
    if (old && description.lfHeight == -height) return;
    description.lfHeight = -height;
    HFONT font = CreateFontIndirectW(&description);
    if (!font) return;
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    // Only a font made here is deleted: a dialog's font is shared by all its
    // controls, and the system font is no one's to delete.
    if (old && GetPropW(window, kOwnFontProperty) == old) DeleteObject(old);
    SetPropW(window, kOwnFontProperty, font);
    SetWindowSubclass(window, OwnFontSubclassProc, kOwnFontSubclass, 0);  // once per window: same id
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
}

int FitTextToWidth(HDC dc, const wchar_t* source, wchar_t* destination, int capacity, int width) {
    if (capacity < 1) return 1;
    const int room = width - 4;
    int length = int(wcslen(source));
    if (length > capacity - 1) length = capacity - 1;
    wmemcpy(destination, source, size_t(length));
    destination[length] = L'\0';
    SIZE extent = {};
    GetTextExtentPoint32W(dc, destination, length, &extent);
    if (extent.cx <= room && length == int(wcslen(source))) return 1;

    static const wchar_t kEllipsis[] = L"...";
    while (length > 0) {
        --length;
        if (length + 3 > capacity - 1) continue;
        wmemcpy(destination + length, kEllipsis, 4);
        GetTextExtentPoint32W(dc, destination, length + 3, &extent);
        if (extent.cx <= room) return 1;
    }
    destination[0] = L'\0';
    return 1;
}
