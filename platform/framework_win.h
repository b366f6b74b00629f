// The window and dialog framework: every window procedure is a lookup in its
// class's message table (and WM_COMMAND in a command table), and modal dialogs
// that carry state are DialogObjects whose messages are matched against a map
// of cracked rows. The framework knows nothing of pictures; it only routes.
//
// Win32 only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

// What an unhandled message falls back on.
enum DefaultProcKind : uint32_t {
    kDefaultNone = 0,    // returns 0, as a plain dialog procedure or page needs
    kDefaultWindow = 1,  // DefWindowProcW
    kDefaultDialog = 2,  // DefDlgProcW
};

using MessageHandler = LRESULT (*)(HWND window, UINT message, WPARAM first, LPARAM second);
using CommandHandler = LRESULT (*)(HWND window, UINT id, UINT code, HWND control);

struct MessageRow {
    UINT message;
    MessageHandler handler;
};

struct MessageTable {
    int32_t count;
    const MessageRow* rows;
    uint32_t defaultKind;
};

struct CommandRow {
    UINT id;
    CommandHandler handler;
};

struct CommandTable {
    int32_t count;
    const CommandRow* rows;
    uint32_t defaultKind;
};

template <size_t N>
constexpr MessageTable MakeMessageTable(const MessageRow (&rows)[N], uint32_t defaultKind) {
    return MessageTable{int32_t(N), rows, defaultKind};
}

template <size_t N>
constexpr CommandTable MakeCommandTable(const CommandRow (&rows)[N], uint32_t defaultKind) {
    return CommandTable{int32_t(N), rows, defaultKind};
}

// The first row for `message` handles it; without one, the table's default.
LRESULT MsgTableDispatch(const MessageTable& table, HWND window, UINT message, WPARAM first, LPARAM second);
// kDefaultWindow: DefWindowProcW, kDefaultDialog: DefDlgProcW; any other kind
// answers 0.
LRESULT MsgTableDefaultProc(uint32_t kind, HWND window, UINT message, WPARAM first, LPARAM second);
// The first row for the command id (low word of `first`) is called with
// (window, id, high word of `first`, control window); without one, the
// table's default procedure receives the WM_COMMAND unchanged.
LRESULT CmdTableDispatch(const CommandTable& table, HWND window, UINT message, WPARAM first, LPARAM second);

// ---------------------------------------------------------------------------
// Object-driven modal dialogs

class DialogObject;

// How DialogObjectProc cracks a message for a row's handler.
enum class DialogCrack : uint8_t {
    kInitDialog,      // INT_PTR ()
    kCommandId,       // void (int id)
    kCommandControl,  // void (HWND control)
    kNotify,          // void (NMHDR*, LRESULT* result)
    kNotifyAny,       // void (int id, NMHDR*, LRESULT* result)
    kNoArguments,     // void (): WM_DESTROY, WM_CLOSE
    kMove,            // void (int x, int y)
    kSize,            // void (UINT type, int width, int height)
    kFocus,           // void (WPARAM)
    kItem,            // INT_PTR (WPARAM, LPARAM): WM_DRAWITEM, WM_MEASUREITEM
    kVKeyToItem,      // LRESULT (UINT key, HWND list, UINT caret)
    kGetDlgCode,      // LRESULT (LPARAM)
    kKey,             // void (UINT key, UINT repeat, LPARAM)
    kTimer,           // void (UINT_PTR id)
    kScroll,          // void (int code, int position, HWND bar)
    kCtlColorDlg,     // HBRUSH (HDC)
    kCtlColorStatic,  // HBRUSH (HDC, HWND control)
    kMouse,           // void (UINT keys, int x, int y)
    kMouseWheel,      // LRESULT (UINT keys, int delta, int x, int y), client point
    kHotKey,          // void (WPARAM, UINT low, UINT high)
    kOther,           // INT_PTR (WPARAM, LPARAM)
};

// Any handler, stored type-erased; DialogObjectProc takes it back out with
// the signature its crack names.
struct DialogAnyHandler {
    alignas(void (DialogObject::*)()) unsigned char bytes[sizeof(void (DialogObject::*)())];
};

constexpr UINT kDialogMapEndMessage = 0xFFFFFFFFu;
constexpr UINT kAnyNotifyCode = 0xFFFFFFFFu;

// One row of a dialog's message map (rows in order; the first match wins).
struct DialogMapRow {
    UINT message;      // kDialogMapEndMessage ends the map
    UINT code;         // WM_COMMAND: notification code or kAnyNotifyCode; WM_NOTIFY: NMHDR code (0 in the catch-all)
    UINT firstId;      // WM_COMMAND first id; WM_NOTIFY control id (0 in the catch-all)
    UINT lastId;       // WM_COMMAND last id, inclusive
    DialogCrack crack;
    DialogAnyHandler handler;
};

class DialogObject {
public:
    virtual ~DialogObject();

    HWND window = nullptr;  // set at WM_INITDIALOG
    HINSTANCE instance = nullptr;
    HWND parent = nullptr;
    uint16_t resourceId = 0;
    uint8_t fullScreen = 1;  // lay the dialog out full screen at WM_INITDIALOG
    const DialogMapRow* messageMap = nullptr;
    uint32_t modal = 0;
};

// Fills the base fields: no window, laid out full screen, id cut to 16 bits.
void DialogInitBase(DialogObject* object, HWND parent, HINSTANCE instance, UINT resourceId, const DialogMapRow* map);
// Clears the window's user data and forgets the window (the base destructor).
void DialogDetachObject(DialogObject* object);
// Runs the dialog resource modally with the object; returns the EndDialog
// code, or -1 when the resource is missing or the dialog cannot be made.
INT_PTR DialogRunModalResource(DialogObject* object);
INT_PTR CALLBACK DialogObjectProc(HWND window, UINT message, WPARAM first, LPARAM second);

// How each message is cracked, and the handler signature that goes with it.
template <UINT Message>
struct DialogCrackOf {
    static constexpr DialogCrack crack = DialogCrack::kOther;
    using Fn = INT_PTR(WPARAM, LPARAM);
};
#define PV_DIALOG_CRACK(message, kind, ...)                \
    template <>                                            \
    struct DialogCrackOf<message> {                        \
        static constexpr DialogCrack crack = DialogCrack::kind; \
        using Fn = __VA_ARGS__;                            \
    };
PV_DIALOG_CRACK(WM_DESTROY, kNoArguments, void())
PV_DIALOG_CRACK(WM_CLOSE, kNoArguments, void())
PV_DIALOG_CRACK(WM_MOVE, kMove, void(int, int))
PV_DIALOG_CRACK(WM_SIZE, kSize, void(UINT, int, int))
PV_DIALOG_CRACK(WM_SETFOCUS, kFocus, void(WPARAM))
PV_DIALOG_CRACK(WM_KILLFOCUS, kFocus, void(WPARAM))
PV_DIALOG_CRACK(WM_DRAWITEM, kItem, INT_PTR(WPARAM, LPARAM))
PV_DIALOG_CRACK(WM_MEASUREITEM, kItem, INT_PTR(WPARAM, LPARAM))
PV_DIALOG_CRACK(WM_VKEYTOITEM, kVKeyToItem, LRESULT(UINT, HWND, UINT))
PV_DIALOG_CRACK(WM_GETDLGCODE, kGetDlgCode, LRESULT(LPARAM))
PV_DIALOG_CRACK(WM_KEYDOWN, kKey, void(UINT, UINT, LPARAM))
PV_DIALOG_CRACK(WM_KEYUP, kKey, void(UINT, UINT, LPARAM))
PV_DIALOG_CRACK(WM_CHAR, kKey, void(UINT, UINT, LPARAM))
PV_DIALOG_CRACK(WM_TIMER, kTimer, void(UINT_PTR))
PV_DIALOG_CRACK(WM_HSCROLL, kScroll, void(int, int, HWND))
PV_DIALOG_CRACK(WM_VSCROLL, kScroll, void(int, int, HWND))
PV_DIALOG_CRACK(WM_CTLCOLORDLG, kCtlColorDlg, HBRUSH(HDC))
PV_DIALOG_CRACK(WM_CTLCOLORSTATIC, kCtlColorStatic, HBRUSH(HDC, HWND))
PV_DIALOG_CRACK(WM_MOUSEMOVE, kMouse, void(UINT, int, int))
PV_DIALOG_CRACK(WM_LBUTTONDOWN, kMouse, void(UINT, int, int))
PV_DIALOG_CRACK(WM_LBUTTONUP, kMouse, void(UINT, int, int))
PV_DIALOG_CRACK(WM_MOUSEWHEEL, kMouseWheel, LRESULT(UINT, int, int, int))
PV_DIALOG_CRACK(WM_HOTKEY, kHotKey, void(WPARAM, UINT, UINT))
#undef PV_DIALOG_CRACK

// Builders of map rows. Handlers are member functions of the dialog class
// (derived from DialogObject); their signatures are checked here.
namespace dialogmap {

template <class F>
DialogAnyHandler Erase(F DialogObject::*fn) {
    static_assert(sizeof fn == sizeof(DialogAnyHandler), "member function pointers share one size");
    DialogAnyHandler erased;
    std::memcpy(erased.bytes, &fn, sizeof fn);
    return erased;
}

template <class D>
DialogMapRow InitDialog(INT_PTR (D::*fn)()) {
    return {WM_INITDIALOG, 0, 0, 0, DialogCrack::kInitDialog, Erase(static_cast<INT_PTR (DialogObject::*)()>(fn))};
}
// A command id, or an inclusive range of ids, for one notification code or any.
template <class D>
DialogMapRow Command(UINT firstId, UINT lastId, void (D::*fn)(int), UINT code = kAnyNotifyCode) {
    return {WM_COMMAND, code, firstId, lastId, DialogCrack::kCommandId,
            Erase(static_cast<void (DialogObject::*)(int)>(fn))};
}
template <class D>
DialogMapRow Command(UINT id, void (D::*fn)(int), UINT code = kAnyNotifyCode) {
    return Command(id, id, fn, code);
}
template <class D>
DialogMapRow CommandControl(UINT firstId, UINT lastId, void (D::*fn)(HWND), UINT code = kAnyNotifyCode) {
    return {WM_COMMAND, code, firstId, lastId, DialogCrack::kCommandControl,
            Erase(static_cast<void (DialogObject::*)(HWND)>(fn))};
}
template <class D>
DialogMapRow Notify(UINT id, UINT code, void (D::*fn)(NMHDR*, LRESULT*)) {
    return {WM_NOTIFY, code, id, id, DialogCrack::kNotify,
            Erase(static_cast<void (DialogObject::*)(NMHDR*, LRESULT*)>(fn))};
}
// The catch-all WM_NOTIFY row (id 0, code 0).
template <class D>
DialogMapRow NotifyAny(void (D::*fn)(int, NMHDR*, LRESULT*)) {
    return {WM_NOTIFY, 0, 0, 0, DialogCrack::kNotifyAny,
            Erase(static_cast<void (DialogObject::*)(int, NMHDR*, LRESULT*)>(fn))};
}
// Any other message, cracked as DialogCrackOf<Message> says:
// dialogmap::Message<WM_TIMER>(&MyDialog::OnTimer).
template <UINT Msg, class D>
DialogMapRow Message(typename DialogCrackOf<Msg>::Fn D::*fn) {
    using Fn = typename DialogCrackOf<Msg>::Fn;
    return {Msg, 0, 0, 0, DialogCrackOf<Msg>::crack, Erase(static_cast<Fn DialogObject::*>(fn))};
}
inline DialogMapRow End() {
    return {kDialogMapEndMessage, 0, 0, 0, DialogCrack::kOther, {}};
}

}  // namespace dialogmap

// Runs the shell's dialog set-up with flags 45 (done button, full screen,
// input panel down, empty menu bar) and, with an object, stores it as the
// window's user data. For dialogs and pages under plain procedures.
void DialogInitFullScreen(HWND window, void* object);

// Where the framework's user-facing texts come from: (instance, string
// resource id, language key, buffer, capacity in characters), returning what
// LoadStringW would (0 when there is no text). The shell installs its
// translator at start-up; until then, and after a null is installed, the
// built-in string resources answer (LoadStringW). Safe from any thread.
using FrameworkTextLookup = int (*)(HINSTANCE instance, UINT stringId, const char* key, wchar_t* buffer,
                                    int capacity);
void SetFrameworkTextLookup(FrameworkTextLookup lookup);
// The text for (`stringId`, `key`) through the installed lookup.
int FrameworkGetText(HINSTANCE instance, UINT stringId, const char* key, wchar_t* buffer, int capacity);

void DlgItemEnable(HWND window, int id, BOOL enable);
void DlgItemShow(HWND window, int id, BOOL show);
// Appends the translated string (FrameworkGetText, 512 characters) to a combo box.
void DlgComboAddString(HWND window, int id, UINT stringId, const char* key);

// The height of the window's font as a positive number; 0 when unknown.
int GetWindowFontHeight(HWND window);
// Gives the window a copy of its font with this height (1 or more) when it
// differs; the font it made before is deleted, and the last one is deleted
// with the window (at WM_NCDESTROY).
void SetWindowFontHeight(HWND window, int height);
// Copies `source`; when it is wider than width - 4 pixels, cuts characters
// from the end until the rest plus "..." fits (and fits `capacity`), then
// appends "..."; empty when nothing can stay. Returns 1.
int FitTextToWidth(HDC dc, const wchar_t* source, wchar_t* destination, int capacity, int width);
