// Stand-ins for the handheld shell's services that desktop Win32 lacks: the
// top bar and work area of a 240x320 screen, dialog set-up, menu bars, full
// screen, tap-and-hold, folder change notifications, the personal folder and
// small icons, storage cards and full-screen property sheets. Each call is
// also recorded (see HandheldCalls) so that tests can check what a window
// asked of the shell.
//
// Win32 only.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Screen layout

// Height of the emulated top bar (title, "ok" button) at 96 pixels per inch.
constexpr int kTopBarHeight96 = 26;

// The top bar's height on this screen (scaled by the vertical pixels per inch).
int TopBarHeight();
// Height of a menu bar: (vertical pixels per inch * 52 + 48) / 96.
int MenuBarHeight();
// The part of the screen that windows may use: the screen less the top bar
// while the top bar is shown.
RECT HandheldWorkArea();
// The top bar window (made on first use). Its window text is what it shows:
// the title of the dialog that its "ok" closes, else the text set below.
HWND TopBarWindow();
// The text the top bar shows while `window` is shown and no dialog with the
// "ok" button is (the shell's navigation bar text; the window's own title is
// left as it is). A path keeps its last folder when it must be shortened.
// A null text clears it.
void HandheldSetTopBarText(HWND window, const wchar_t* text);

// Creates a window as the handheld does: a top-level window (no parent, or
// WS_POPUP) gets no caption or frame, and CW_USEDEFAULT position or size
// become the work area's. Child windows are created unchanged.
HWND HandheldCreateWindow(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x,
                          int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                          void* param);

// MessageBoxW laid out for the screen: no wider than the screen, its text
// broken into lines that fit (paths after their separators), its buttons in
// one row, centred. Same texts, types and answers as MessageBoxW.
int HandheldMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

// Check boxes for a list view's state images, `size` pixels square: image 0
// unticked, image 1 ticked, drawn in full colour whatever the screen's depth.
// The list view that is given them destroys them.
HIMAGELIST MakeCheckBoxImages(int size);

// ---------------------------------------------------------------------------
// Dialog set-up

enum DialogSetupFlags : uint32_t {
    kSetupDoneButton = 0x01,       // the top bar's "ok" sends IDOK to the dialog
    kSetupFullScreen = 0x04,       // fill the work area (above the menu bar), no caption
    kSetupInputPanelDown = 0x08,   // lower the input panel
    kSetupEmptyMenuBar = 0x20,     // give the dialog an empty menu bar
};
// Done button, full screen, input panel down, empty menu bar.
constexpr uint32_t kSetupStandardDialog = 45;

BOOL HandheldDialogSetup(HWND dialog, uint32_t flags);

// ---------------------------------------------------------------------------
// Menu bars: a toolbar control on a bar window at the bottom of the screen,
// owned by its window. TB_* messages sent to the bar window reach the toolbar.
// Button presses reach the owner as WM_COMMAND; a drop-down button opens its
// popup menu, and the owner receives WM_INITMENUPOPUP with the button's
// command id in the low word of the second parameter.

// Resource type of a menu bar description (see resources/menubar.rh).
constexpr const wchar_t* kMenuBarResourceType = L"MENUBAR";
constexpr WORD kMenuBarNoImage = 0xFFFF;
constexpr WORD kMenuBarNoPopup = 0xFFFF;

struct MenuBarSpec {
    HWND owner;
    HINSTANCE instance;  // holds the resources below
    UINT resourceId;     // "MENUBAR" resource; 0 for a bar without buttons
    UINT bitmapId;       // button images in one bitmap; 0 for none
    UINT imageCount;     // images in that bitmap
};

// Creates the owner's menu bar (replacing one it had); nullptr on failure.
HWND MenuBarCreate(const MenuBarSpec& spec);
// The menu that holds the bar's drop-down popups; nullptr when it has none.
HMENU MenuBarGetMenu(HWND bar);
// The owner's menu bar, or nullptr.
HWND MenuBarFind(HWND owner);
// True when this thread shows a menu bar other than `bar` (the one a dialog
// in front brought along).
bool MenuBarOtherShown(HWND bar);
// Adds one text to the bar's string list (TB_ADDSTRINGW wants a list ended by
// an empty string); returns its index, or -1.
LRESULT MenuBarAddString(HWND bar, const wchar_t* text);

// ---------------------------------------------------------------------------
// Full screen

enum FullScreenFlags : uint32_t {
    kShowTopBar = 0x01,
    kHideTopBar = 0x02,
    kShowInputButton = 0x04,
    kHideInputButton = 0x08,
};

BOOL HandheldFullScreen(HWND window, uint32_t flags);
bool TopBarShown();
bool InputButtonShown();
bool InputPanelDown();

// ---------------------------------------------------------------------------
// Activation, setting changes, idle timer: accepted, no effect here.

struct ActivateInfo {
    DWORD size;
    HWND lastFocus;
    uint32_t flags;
};

BOOL HandheldHandleActivate(HWND window, WPARAM first, LPARAM second, ActivateInfo* info);
BOOL HandheldHandleSettingChange(HWND window, WPARAM first, LPARAM second, ActivateInfo* info);
void HandheldResetIdleTimer();

// ---------------------------------------------------------------------------
// Tap and hold

constexpr DWORD kGestureContextMenu = 1000;
constexpr uint32_t kGestureReturnResult = 1;  // answer instead of sending a notification

struct HoldGestureRequest {
    DWORD size;  // sizeof(HoldGestureRequest)
    HWND window;
    POINT point;  // client coordinates of the press
    uint32_t flags;
};

// Called while the stylus is down: kGestureContextMenu when it stays down,
// without moving, for the hold time; 0 when it is lifted or moved first. The
// button-up stays in the queue either way.
DWORD HandheldRecognizeGesture(const HoldGestureRequest* request);
void SetHoldTime(DWORD milliseconds);
DWORD HoldTime();

// ---------------------------------------------------------------------------
// Folder change notifications

// A save through a temporary sibling arrives as kFileCreated of the real
// name, never as events of the sibling; without kFileRenamed a rename
// arrives as kFileDeleted of the old name and kFileCreated of the new.
enum FileEvent : uint32_t {
    kFileRenamed = 0x01,  // item is the new path, oldItem the old one
    kFileCreated = 0x02,
    kFileDeleted = 0x04,
    kWatchIncomplete = 0x08,  // sent whatever was asked: item is a folder the watch could not take
};
constexpr uint32_t kAllFileEvents = kFileRenamed | kFileCreated | kFileDeleted;
constexpr UINT kFileChangeMessage = 0x8101;

// What the window receives as the first parameter of the change message; it
// releases it with FreeFileChange.
struct FileChangeRecord {
    uint32_t event;
    bool folder;                // creations and renames: the item is a folder
    wchar_t item[MAX_PATH];     // full path, as the watched folder was given plus the name
    wchar_t oldItem[MAX_PATH];  // renames only
};

struct FolderWatchSpec {
    HWND window;
    UINT message;          // kFileChangeMessage
    const wchar_t* folder; // nullptr: the whole device, from "\"
    bool subfolders;
    uint32_t events;       // FileEvent bits
};

BOOL WatchFolder(const FolderWatchSpec& spec);
// Ends every watch of the window and frees its change records still queued.
BOOL UnwatchFolders(HWND window);
void FreeFileChange(FileChangeRecord* record);
// Change records posted to windows and not freed yet (for tests).
size_t FileChangeRecordsOutstanding();

// ---------------------------------------------------------------------------
// Shell folders and icons

// "\My Documents" (no trailing backslash).
BOOL GetPersonalFolder(wchar_t* buffer, int capacity);
// The system's small icons, shared (never destroyed by the caller).
HIMAGELIST SystemSmallIcons();
// Index of the path's small icon in SystemSmallIcons(), or -1.
int SmallIconIndex(const wchar_t* path);

// ---------------------------------------------------------------------------
// Storage cards: the folders of the device root named "Storage Card...".

struct CardInfo {
    wchar_t name[MAX_PATH];  // folder name, e.g. "Storage Card"
};

HANDLE FindFirstCard(CardInfo* card);  // INVALID_HANDLE_VALUE when there is none
BOOL FindNextCard(HANDLE search, CardInfo* card);
BOOL FindCardClose(HANDLE search);
// The same over another root folder ("\Temp\x\"), for tests of the walk.
HANDLE FindFirstCardIn(const wchar_t* root, CardInfo* card);

// ---------------------------------------------------------------------------
// Links

// Opens `address` (a web address) with the desktop's handler for it, owned by
// `owner`; every address asked for is recorded (OpenedLinks).
BOOL OpenWithDesktopHandler(HWND owner, const wchar_t* address);
// The addresses asked for since the last SetLinksRecordedOnly, oldest first.
std::vector<std::wstring> OpenedLinks();
// Tests: record the addresses without opening them; clears the record.
void SetLinksRecordedOnly(bool recordOnly);

// ---------------------------------------------------------------------------
// Property sheets

// The sheet's callback is asked for its version like this; 0x20C or more
// selects the handheld's style.
constexpr int kSheetVersionQuery = 3;
constexpr int kHandheldSheetVersion = 0x20C;
// Desktop comctl32 gives this bit another meaning: a handheld-only request to
// fill the screen.
constexpr DWORD kSheetMaximize = 0x2000;

// PropertySheetW for a handheld: the maximise flag fills the work area without
// caption or buttons (the top bar's "ok" and the menu bar close it), the
// callback is asked its version, and the handheld style puts the tabs at the
// bottom.
INT_PTR HandheldPropertySheet(const PROPSHEETHEADERW* header);

// ---------------------------------------------------------------------------
// Call record

enum class HandheldCall : uint8_t {
    kDialogSetup,
    kMenuBarCreate,
    kFullScreen,
    kActivate,
    kSettingChange,
    kIdleReset,
    kGesture,
    kWatchFolder,
    kUnwatchFolders,
    kPropertySheet,
    kOpenLink,
};

struct HandheldCallRecord {
    HandheldCall call;
    HWND window;
    uint32_t value;  // flags, resource id or result
};

// The calls made since the last clear, oldest first.
std::vector<HandheldCallRecord> HandheldCalls();
void ClearHandheldCalls();
