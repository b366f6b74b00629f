// The handheld platform layer under Wine at 240x320: screen geometry and
// top-level windows, dialog set-up and the done button, menu bars, full
// screen, tap-and-hold, folder change notifications, shell folders, storage
// cards and full-screen property sheets.
#include "platform/handheld.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../support/dialogfit.h"
#include "../support/modaldriver.h"
#include "imagelib/fileio.h"
#include "platform_test.rh"

namespace {

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

RECT WindowRect(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

::testing::AssertionResult RectIs(const RECT& r, int left, int top, int right, int bottom) {
    if (r.left == left && r.top == top && r.right == right && r.bottom == bottom)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "rect (" << r.left << "," << r.top << ")-(" << r.right << ","
                                         << r.bottom << "), expected (" << left << "," << top << ")-(" << right
                                         << "," << bottom << ")";
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// A top-level window that records what reaches it.
class Owner {
public:
    struct Event {
        UINT message;
        WPARAM first;
        LPARAM second;
    };

    Owner() {
        WNDCLASSW wc = {};
        if (!GetClassInfoW(Instance(), kClass, &wc)) {
            wc.lpfnWndProc = Proc;
            wc.hInstance = Instance();
            wc.lpszClassName = kClass;
            RegisterClassW(&wc);
        }
        window_ = HandheldCreateWindow(0, kClass, L"Owner", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                       CW_USEDEFAULT, nullptr, nullptr, Instance(), this);
    }
    ~Owner() {
        if (IsWindow(window_)) DestroyWindow(window_);
    }
    HWND get() const { return window_; }
    std::vector<Event> events;
    std::vector<FileChangeRecord> changes;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM first, LPARAM second) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(second);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self) {
            if (message == WM_COMMAND || message == WM_INITMENUPOPUP) self->events.push_back({message, first, second});
            if (message == kFileChangeMessage) {
                auto* record = reinterpret_cast<FileChangeRecord*>(first);
                if (record) self->changes.push_back(*record);
                FreeFileChange(record);
                return 0;
            }
        }
        return DefWindowProcW(window, message, first, second);
    }
    static constexpr const wchar_t* kClass = L"PvPlatformTestOwner";
    HWND window_;
};

TEST(Screen, HandheldGeometryAt240By320) {
    EXPECT_EQ(TopBarHeight(), 26);
    EXPECT_EQ(MenuBarHeight(), (96 * 52 + 48) / 96);
    EXPECT_TRUE(RectIs(HandheldWorkArea(), 0, 26, 240, 320));

    Owner owner;
    ASSERT_NE(owner.get(), nullptr);
    // A top-level window gets the work area and no caption, not the
    // desktop's default place.
    EXPECT_TRUE(RectIs(WindowRect(owner.get()), 0, 26, 240, 320));
    EXPECT_EQ(GetWindowLongPtrW(owner.get(), GWL_STYLE) & WS_CAPTION, 0);
    RECT client;
    GetClientRect(owner.get(), &client);
    EXPECT_TRUE(RectIs(client, 0, 0, 240, 294));

    // Children are made as asked.
    HWND child = HandheldCreateWindow(0, L"STATIC", L"", WS_CHILD | WS_BORDER, 5, 6, 50, 40, owner.get(), nullptr,
                                      Instance(), nullptr);
    EXPECT_TRUE(RectIs(WindowRect(child), 5, 32, 55, 72));

    HWND top = TopBarWindow();
    ASSERT_NE(top, nullptr);
    EXPECT_TRUE(IsWindowVisible(top));
    EXPECT_TRUE(RectIs(WindowRect(top), 0, 0, 240, 26));
}

HWND CreatePlainDialog(HWND owner) {
    HRSRC found = FindResourceW(Instance(), MAKEINTRESOURCEW(IDD_PLAIN), MAKEINTRESOURCEW(5));
    const auto* dialogTemplate = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(Instance(), found)));
    return CreateDialogIndirectParamW(Instance(), dialogTemplate, owner,
                                      [](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR { return message == WM_INITDIALOG; },
                                      0);
}

TEST(DialogSetup, FillsTheWorkAreaAboveAnEmptyMenuBarWithADoneButton) {
    Owner owner;
    HWND dialog = CreatePlainDialog(owner.get());
    ASSERT_NE(dialog, nullptr);
    ClearHandheldCalls();
    EXPECT_TRUE(HandheldDialogSetup(dialog, kSetupStandardDialog));

    EXPECT_EQ(GetWindowLongPtrW(dialog, GWL_STYLE) & WS_CAPTION, 0);
    EXPECT_TRUE(RectIs(WindowRect(dialog), 0, 26, 240, 320 - MenuBarHeight()));
    HWND bar = MenuBarFind(dialog);
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(RectIs(WindowRect(bar), 0, 320 - MenuBarHeight(), 240, 320));
    EXPECT_EQ(SendMessageW(bar, TB_BUTTONCOUNT, 0, 0), 0);  // empty
    EXPECT_TRUE(InputPanelDown());

    // The top bar's "ok" answers for the dialog as its IDOK.
    HWND ok = FindWindowExW(TopBarWindow(), nullptr, L"BUTTON", L"ok");
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(IsWindowVisible(ok));
    std::vector<WPARAM> commands;
    SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&commands));
    SetWindowLongPtrW(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(static_cast<DLGPROC>(
        [](HWND window, UINT message, WPARAM first, LPARAM) -> INT_PTR {
            if (message == WM_COMMAND)
                reinterpret_cast<std::vector<WPARAM>*>(GetWindowLongPtrW(window, GWLP_USERDATA))->push_back(first);
            return FALSE;
        })));
    SendMessageW(ok, BM_CLICK, 0, 0);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(LOWORD(commands[0]), IDOK);

    const auto calls = HandheldCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].call, HandheldCall::kDialogSetup);
    EXPECT_EQ(calls[0].window, dialog);
    EXPECT_EQ(calls[0].value, 45u);

    DestroyWindow(dialog);
    EXPECT_FALSE(IsWindow(bar));  // owned by the dialog
    EXPECT_FALSE(IsWindowVisible(ok));
}

// ---------------------------------------------------------------------------
// Menu bars

POINT ButtonCentre(HWND toolbar, int index) {
    RECT r = {};
    SendMessageW(toolbar, TB_GETITEMRECT, WPARAM(index), reinterpret_cast<LPARAM>(&r));
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void Tap(HWND toolbar, int index) {
    const POINT p = ButtonCentre(toolbar, index);
    SendMessageW(toolbar, WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
    SendMessageW(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    SendMessageW(toolbar, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
}

std::vector<UINT> Commands(const Owner& owner) {
    std::vector<UINT> ids;
    for (const Owner::Event& e : owner.events)
        if (e.message == WM_COMMAND) ids.push_back(LOWORD(e.first));
    return ids;
}

TEST(MenuBar, ButtonsSendCommandsAndFollowTheirStates) {
    Owner owner;
    const MenuBarSpec spec = {owner.get(), Instance(), IDM_BAR, 0, 0};
    HWND bar = MenuBarCreate(spec);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(MenuBarFind(owner.get()), bar);
    EXPECT_TRUE(IsWindowVisible(bar));
    EXPECT_TRUE(RectIs(WindowRect(bar), 0, 320 - MenuBarHeight(), 240, 320));
    HWND toolbar = FindWindowExW(bar, nullptr, TOOLBARCLASSNAMEW, nullptr);
    ASSERT_NE(toolbar, nullptr);
    ASSERT_EQ(SendMessageW(bar, TB_BUTTONCOUNT, 0, 0), 4);

    Tap(toolbar, 2);
    EXPECT_EQ(Commands(owner), std::vector<UINT>{CMD_DELETE});

    // TB_* messages sent to the bar change its toolbar.
    owner.events.clear();
    EXPECT_TRUE(SendMessageW(bar, TB_SETSTATE, CMD_DELETE, 0));
    EXPECT_EQ(SendMessageW(bar, TB_GETSTATE, CMD_DELETE, 0) & TBSTATE_ENABLED, 0);
    Tap(toolbar, 2);
    EXPECT_TRUE(Commands(owner).empty());  // disabled: nothing
    SendMessageW(bar, TB_SETSTATE, CMD_DELETE, TBSTATE_ENABLED);
    Tap(toolbar, 2);
    EXPECT_EQ(Commands(owner), std::vector<UINT>{CMD_DELETE});

    // A check button keeps its state.
    Tap(toolbar, 1);
    EXPECT_NE(SendMessageW(bar, TB_GETSTATE, CMD_SLIDESHOW, 0) & TBSTATE_CHECKED, 0);

    // Image lists, strings and button editing, as the translation does.
    HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR16, 4, 0);
    SendMessageW(bar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
    EXPECT_EQ(reinterpret_cast<HIMAGELIST>(SendMessageW(bar, TB_GETIMAGELIST, 0, 0)), images);
    TBBUTTON button = {};
    ASSERT_TRUE(SendMessageW(bar, TB_GETBUTTON, 2, reinterpret_cast<LPARAM>(&button)));
    EXPECT_EQ(button.idCommand, CMD_DELETE);
    const LRESULT index = SendMessageW(bar, TB_ADDSTRINGW, 0, reinterpret_cast<LPARAM>(L"Erase\0"));
    EXPECT_GT(index, 0);
    button.iString = index;
    EXPECT_TRUE(SendMessageW(bar, TB_DELETEBUTTON, 2, 0));
    EXPECT_TRUE(SendMessageW(bar, TB_INSERTBUTTONW, 2, reinterpret_cast<LPARAM>(&button)));
    wchar_t text[16] = {};
    SendMessageW(bar, TB_GETBUTTONTEXTW, CMD_DELETE, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, L"Erase");
    SendMessageW(bar, TB_GETBUTTONTEXTW, CMD_FILE, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, L"File");

    // The menu of the drop-downs is reachable for checks and radio items.
    HMENU menu = MenuBarGetMenu(bar);
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(CheckMenuRadioItem(menu, CMD_OPEN, CMD_OPEN, CMD_OPEN, MF_BYCOMMAND));
    EXPECT_NE(GetMenuState(menu, CMD_OPEN, MF_BYCOMMAND) & MF_CHECKED, 0u);

    // Hidden with its owner's full screen, and gone with its owner.
    ShowWindow(bar, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(bar));
    DestroyWindow(owner.get());
    EXPECT_FALSE(IsWindow(bar));
    ImageList_Destroy(images);
}

// Chooses the first item of whatever popup is open, from inside its loop.
// The popup menu's window once its loop has shown it. The timers below keep
// firing until then: one that fired before the menu opened would be lost and
// leave the menu up for ever.
bool PopupMenuOpen() {
    HWND popup = FindWindowW(L"#32768", nullptr);
    return popup && IsWindowVisible(popup);
}

void CALLBACK ChooseFirstItem(HWND, UINT, UINT_PTR timer, DWORD) {
    if (!PopupMenuOpen()) return;
    KillTimer(nullptr, timer);
    keybd_event(VK_DOWN, 0, 0, 0);
    keybd_event(VK_DOWN, 0, KEYEVENTF_KEYUP, 0);
    keybd_event(VK_RETURN, 0, 0, 0);
    keybd_event(VK_RETURN, 0, KEYEVENTF_KEYUP, 0);
}

void CALLBACK CloseMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    if (!PopupMenuOpen()) return;
    KillTimer(nullptr, timer);
    EndMenu();
}

TEST(MenuBar, DropDownButtonsOpenTheirPopupsNamedByCommand) {
    Owner owner;
    const MenuBarSpec spec = {owner.get(), Instance(), IDM_BAR, 0, 0};
    HWND bar = MenuBarCreate(spec);
    HWND toolbar = FindWindowExW(bar, nullptr, TOOLBARCLASSNAMEW, nullptr);
    ASSERT_NE(toolbar, nullptr);
    HMENU menu = MenuBarGetMenu(bar);

    SetTimer(nullptr, 0, 50, CloseMenu);
    Tap(toolbar, 3);  // favorites: returns when the popup closes
    ASSERT_EQ(owner.events.size(), 1u);
    EXPECT_EQ(owner.events[0].message, UINT(WM_INITMENUPOPUP));
    EXPECT_EQ(reinterpret_cast<HMENU>(owner.events[0].first), GetSubMenu(menu, 1));
    EXPECT_EQ(LOWORD(owner.events[0].second), CMD_FAVORITES);

    owner.events.clear();
    SetTimer(nullptr, 0, 50, ChooseFirstItem);
    Tap(toolbar, 0);
    Pump();
    ASSERT_GE(owner.events.size(), 1u);
    EXPECT_EQ(LOWORD(owner.events[0].second), CMD_FILE);
    EXPECT_EQ(Commands(owner), std::vector<UINT>{CMD_OPEN});
}

HWND gClosedWhileOpen = nullptr;
HMENU gMenuOfClosedBar = nullptr;
bool gMenuKeptWhileOpen = false;

void CALLBACK DestroyOwnerWhileOpen(HWND, UINT, UINT_PTR timer, DWORD) {
    if (!PopupMenuOpen()) return;
    KillTimer(nullptr, timer);
    DestroyWindow(gClosedWhileOpen);
    gMenuKeptWhileOpen = IsMenu(gMenuOfClosedBar) != FALSE;
}

// A window closed while its bar's popup is open (by a message from another
// program, or at shutdown) takes the bar along, but the bar's menu and its
// own record live until the popup has returned, and are freed then.
TEST(MenuBar, AWindowClosedWhileItsPopupIsOpenTakesTheBarAlong) {
    Owner owner;
    HWND bar = MenuBarCreate({owner.get(), Instance(), IDM_BAR, 0, 0});
    HWND toolbar = FindWindowExW(bar, nullptr, TOOLBARCLASSNAMEW, nullptr);
    ASSERT_NE(toolbar, nullptr);
    gClosedWhileOpen = owner.get();
    gMenuOfClosedBar = MenuBarGetMenu(bar);
    ASSERT_TRUE(IsMenu(gMenuOfClosedBar));
    SetTimer(nullptr, 0, 50, DestroyOwnerWhileOpen);
    Tap(toolbar, 3);
    for (int i = 0; i < 200 && (IsWindow(bar) || PopupMenuOpen()); ++i) {
        Pump();
        Sleep(10);
    }
    EXPECT_FALSE(IsWindow(bar));
    EXPECT_FALSE(PopupMenuOpen());
    EXPECT_TRUE(gMenuKeptWhileOpen);
    EXPECT_FALSE(IsMenu(gMenuOfClosedBar));
}

TEST(MenuBar, ButtonImagesComeFromTheBitmap) {
    Owner owner;
    HWND bar = MenuBarCreate({owner.get(), Instance(), IDM_BAR, IDB_BAR_IMAGES, 3});
    ASSERT_NE(bar, nullptr);
    HIMAGELIST images = reinterpret_cast<HIMAGELIST>(SendMessageW(bar, TB_GETIMAGELIST, 0, 0));
    ASSERT_NE(images, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(images), 3);
    // Drawn 16 pixels square for 96 pixels per inch: as large, in inches, on
    // a denser screen.
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    int width = 0, height = 0;
    ImageList_GetIconSize(images, &width, &height);
    EXPECT_EQ(width, MulDiv(16, dpi, 96));
    EXPECT_EQ(height, MulDiv(16, dpi, 96));
    TBBUTTON button = {};
    SendMessageW(bar, TB_GETBUTTON, 2, reinterpret_cast<LPARAM>(&button));
    EXPECT_EQ(button.iBitmap, 1);
    SendMessageW(bar, TB_GETBUTTON, 0, reinterpret_cast<LPARAM>(&button));
    EXPECT_EQ(button.iBitmap, I_IMAGENONE);
}

TEST(MenuBar, BrokenOrMissingResourcesMakeNoBar) {
    Owner owner;
    EXPECT_EQ(MenuBarCreate({owner.get(), Instance(), IDM_BROKEN_BAR, 0, 0}), nullptr);
    EXPECT_EQ(MenuBarCreate({owner.get(), Instance(), 999, 0, 0}), nullptr);
    EXPECT_EQ(MenuBarCreate({nullptr, Instance(), IDM_BAR, 0, 0}), nullptr);
    EXPECT_EQ(MenuBarFind(owner.get()), nullptr);
    // A second bar replaces the first.
    HWND first = MenuBarCreate({owner.get(), Instance(), IDM_BAR, 0, 0});
    HWND second = MenuBarCreate({owner.get(), Instance(), 0, 0, 0});
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(MenuBarFind(owner.get()), second);
    EXPECT_EQ(MenuBarGetMenu(second), nullptr);
}

// ---------------------------------------------------------------------------

TEST(FullScreen, HidesAndShowsTheTopBarAndInputButton) {
    Owner owner;
    ClearHandheldCalls();
    EXPECT_TRUE(HandheldFullScreen(owner.get(), kHideTopBar | kHideInputButton));
    EXPECT_FALSE(TopBarShown());
    EXPECT_FALSE(InputButtonShown());
    EXPECT_FALSE(IsWindowVisible(TopBarWindow()));
    EXPECT_TRUE(RectIs(HandheldWorkArea(), 0, 0, 240, 320));

    EXPECT_TRUE(HandheldFullScreen(owner.get(), kShowTopBar | kShowInputButton));
    EXPECT_TRUE(TopBarShown());
    EXPECT_TRUE(InputButtonShown());
    EXPECT_TRUE(IsWindowVisible(TopBarWindow()));
    EXPECT_TRUE(RectIs(HandheldWorkArea(), 0, 26, 240, 320));

    HandheldFullScreen(owner.get(), kHideInputButton);  // input button only
    EXPECT_TRUE(TopBarShown());
    EXPECT_FALSE(InputButtonShown());
    HandheldFullScreen(owner.get(), kShowInputButton);

    const auto calls = HandheldCalls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].value, 10u);
    EXPECT_EQ(calls[1].value, 5u);
}

TEST(Services, ActivationSettingChangesAndIdleResetAreAccepted) {
    Owner owner;
    ActivateInfo info = {sizeof info, nullptr, 0};
    ClearHandheldCalls();
    EXPECT_TRUE(HandheldHandleActivate(owner.get(), WA_ACTIVE, 0, &info));
    EXPECT_TRUE(HandheldHandleSettingChange(owner.get(), 0, 0, &info));
    HandheldResetIdleTimer();
    const auto calls = HandheldCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].call, HandheldCall::kActivate);
    EXPECT_EQ(calls[1].call, HandheldCall::kSettingChange);
    EXPECT_EQ(calls[2].call, HandheldCall::kIdleReset);
    EXPECT_TRUE(RectIs(WindowRect(owner.get()), 0, 26, 240, 320));  // nothing moved
}

// ---------------------------------------------------------------------------

TEST(TapAndHold, AHeldStillPressIsTheContextGesture) {
    Owner owner;
    SetHoldTime(150);
    HoldGestureRequest request = {sizeof request, owner.get(), {40, 50}, kGestureReturnResult};
    Pump();

    DWORD start = GetTickCount();
    EXPECT_EQ(HandheldRecognizeGesture(&request), kGestureContextMenu);
    EXPECT_GE(GetTickCount() - start, 140u);

    // A small wobble is still a hold, and so is a pointer moving with no
    // button down.
    PostMessageW(owner.get(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(42, 48));
    PostMessageW(owner.get(), WM_MOUSEMOVE, 0, MAKELPARAM(200, 200));
    EXPECT_EQ(HandheldRecognizeGesture(&request), kGestureContextMenu);

    // Lifted before the time: no gesture, and the button-up stays queued.
    PostMessageW(owner.get(), WM_LBUTTONUP, 0, MAKELPARAM(40, 50));
    EXPECT_EQ(HandheldRecognizeGesture(&request), 0u);
    MSG queued;
    EXPECT_TRUE(PeekMessageW(&queued, owner.get(), WM_LBUTTONUP, WM_LBUTTONUP, PM_REMOVE));

    // Moved away: no gesture, the move stays queued too.
    PostMessageW(owner.get(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(80, 50));
    EXPECT_EQ(HandheldRecognizeGesture(&request), 0u);
    EXPECT_TRUE(PeekMessageW(&queued, owner.get(), WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE));

    HoldGestureRequest wrongSize = request;
    wrongSize.size = 20;
    EXPECT_EQ(HandheldRecognizeGesture(&wrongSize), 0u);
    SetHoldTime(500);
}

// ---------------------------------------------------------------------------

class ScratchFolder {
public:
    explicit ScratchFolder(const wchar_t* stem) {
        wchar_t name[MAX_PATH];
        swprintf(name, MAX_PATH, L"\\Temp\\%ls-%lu\\", stem, GetCurrentProcessId());
        path_ = name;
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~ScratchFolder() { RemoveTree(path_); }
    const std::wstring& path() const { return path_; }

    static void RemoveTree(const std::wstring& folder) {
        WIN32_FIND_DATAW found;
        HANDLE listing = FindFirstFileW((folder + L"*").c_str(), &found);
        if (listing != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(folder + name + L"\\");
                else
                    DeleteFileW((folder + name).c_str());
            } while (FindNextFileW(listing, &found));
            FindClose(listing);
        }
        RemoveDirectoryW(folder.c_str());
    }

private:
    std::wstring path_;
};

void Touch(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

// Pumps until `count` change records arrived or the time passed.
void WaitForChanges(Owner& owner, size_t count, DWORD milliseconds = 3000) {
    const DWORD start = GetTickCount();
    while (owner.changes.size() < count && GetTickCount() - start < milliseconds) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        Pump();
    }
}

TEST(FolderWatch, CreatedDeletedAndRenamedFilesArriveAsChangeMessages) {
    Owner owner;
    ScratchFolder folder(L"pvwatch");
    ClearHandheldCalls();
    ASSERT_TRUE(WatchFolder({owner.get(), kFileChangeMessage, folder.path().c_str(), false, kAllFileEvents}));

    Touch(folder.path() + L"new.jpg");
    WaitForChanges(owner, 1);
    ASSERT_EQ(owner.changes.size(), 1u);
    EXPECT_EQ(owner.changes[0].event, uint32_t(kFileCreated));
    EXPECT_EQ(std::wstring(owner.changes[0].item), folder.path() + L"new.jpg");

    ASSERT_TRUE(MoveFileW((folder.path() + L"new.jpg").c_str(), (folder.path() + L"renamed.jpg").c_str()));
    WaitForChanges(owner, 2);
    ASSERT_EQ(owner.changes.size(), 2u);
    EXPECT_EQ(owner.changes[1].event, uint32_t(kFileRenamed));
    EXPECT_EQ(std::wstring(owner.changes[1].item), folder.path() + L"renamed.jpg");
    EXPECT_EQ(std::wstring(owner.changes[1].oldItem), folder.path() + L"new.jpg");

    ASSERT_TRUE(DeleteFileW((folder.path() + L"renamed.jpg").c_str()));
    WaitForChanges(owner, 3);
    ASSERT_EQ(owner.changes.size(), 3u);
    EXPECT_EQ(owner.changes[2].event, uint32_t(kFileDeleted));
    EXPECT_EQ(std::wstring(owner.changes[2].item), folder.path() + L"renamed.jpg");

    // After the watch ends, nothing more arrives.
    EXPECT_TRUE(UnwatchFolders(owner.get()));
    Touch(folder.path() + L"late.jpg");
    WaitForChanges(owner, 4, 500);
    EXPECT_EQ(owner.changes.size(), 3u);
    EXPECT_FALSE(UnwatchFolders(owner.get()));
    EXPECT_FALSE(WatchFolder({owner.get(), kFileChangeMessage, L"\\No Such Folder\\", false, kAllFileEvents}));
}

// A save writes a temporary sibling and renames it onto the name (moving
// an existing file aside first); the window hears only of the real name.
TEST(FolderWatch, SavesThroughSiblingsArriveAsCreationsOfTheRealName) {
    Owner owner;
    ScratchFolder folder(L"pvwatchsave");
    Touch(folder.path() + L"old.jpg");
    ASSERT_TRUE(WatchFolder({owner.get(), kFileChangeMessage, folder.path().c_str(), false, kAllFileEvents}));
    for (const wchar_t* name : {L"new.jpg", L"old.jpg"}) {
        const std::wstring final = folder.path() + name;
        const std::wstring temp = SiblingName(final, L"sv");
        ASSERT_FALSE(temp.empty());
        ASSERT_EQ(ReplaceWithTemp(temp, final), 0);
    }
    Touch(folder.path() + L"marker.jpg");
    WaitForChanges(owner, 3);
    ASSERT_EQ(owner.changes.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(owner.changes[i].event, uint32_t(kFileCreated)) << i;
    EXPECT_EQ(std::wstring(owner.changes[0].item), folder.path() + L"new.jpg");
    EXPECT_EQ(std::wstring(owner.changes[1].item), folder.path() + L"old.jpg");
    EXPECT_EQ(std::wstring(owner.changes[2].item), folder.path() + L"marker.jpg");
    UnwatchFolders(owner.get());
}

// Without renames asked for, a rename is a deletion and a creation; a new
// folder says it is one.
TEST(FolderWatch, RenamesAsDeletionAndCreationAndFoldersMarked) {
    Owner owner;
    ScratchFolder folder(L"pvwatchrename");
    Touch(folder.path() + L"a.jpg");
    ASSERT_TRUE(WatchFolder({owner.get(), kFileChangeMessage, folder.path().c_str(), false, kFileCreated | kFileDeleted}));
    ASSERT_TRUE(MoveFileW((folder.path() + L"a.jpg").c_str(), (folder.path() + L"b.jpg").c_str()));
    ASSERT_TRUE(CreateDirectoryW((folder.path() + L"pics.jpg").c_str(), nullptr));
    WaitForChanges(owner, 3);
    ASSERT_EQ(owner.changes.size(), 3u);
    EXPECT_EQ(owner.changes[0].event, uint32_t(kFileDeleted));
    EXPECT_EQ(std::wstring(owner.changes[0].item), folder.path() + L"a.jpg");
    EXPECT_EQ(owner.changes[1].event, uint32_t(kFileCreated));
    EXPECT_EQ(std::wstring(owner.changes[1].item), folder.path() + L"b.jpg");
    EXPECT_FALSE(owner.changes[1].folder);
    EXPECT_EQ(owner.changes[2].event, uint32_t(kFileCreated));
    EXPECT_TRUE(owner.changes[2].folder);
    UnwatchFolders(owner.get());
}

TEST(FolderWatch, SubfoldersAndEventFilters) {
    Owner owner;
    ScratchFolder folder(L"pvwatchsub");
    CreateDirectoryW((folder.path() + L"sub").c_str(), nullptr);
    ASSERT_TRUE(WatchFolder({owner.get(), kFileChangeMessage, folder.path().c_str(), true, kFileCreated}));
    Touch(folder.path() + L"sub\\deep.png");
    WaitForChanges(owner, 1);
    ASSERT_EQ(owner.changes.size(), 1u);
    EXPECT_EQ(std::wstring(owner.changes[0].item), folder.path() + L"sub\\deep.png");
    // Deletions were not asked for.
    DeleteFileW((folder.path() + L"sub\\deep.png").c_str());
    Touch(folder.path() + L"top.png");
    WaitForChanges(owner, 2);
    ASSERT_EQ(owner.changes.size(), 2u);
    EXPECT_EQ(owner.changes[1].event, uint32_t(kFileCreated));
    EXPECT_EQ(std::wstring(owner.changes[1].item), folder.path() + L"top.png");

    // A folder made after the registration is watched as well.
    CreateDirectoryW((folder.path() + L"later").c_str(), nullptr);
    WaitForChanges(owner, 3);
    ASSERT_EQ(owner.changes.size(), 3u);
    EXPECT_EQ(std::wstring(owner.changes[2].item), folder.path() + L"later");
    Touch(folder.path() + L"later\\inside.jpg");
    WaitForChanges(owner, 4);
    ASSERT_EQ(owner.changes.size(), 4u);
    EXPECT_EQ(std::wstring(owner.changes[3].item), folder.path() + L"later\\inside.jpg");
    UnwatchFolders(owner.get());
}

TEST(FolderWatch, WithoutAFolderTheWholeDeviceIsWatched) {
    Owner owner;
    ScratchFolder folder(L"pvwatchall");
    ASSERT_TRUE(WatchFolder({owner.get(), kFileChangeMessage, nullptr, false, kFileCreated}));
    Touch(folder.path() + L"any.jpg");
    // Other tests may be making files on the device meanwhile.
    const std::wstring wanted = folder.path() + L"any.jpg";
    const DWORD start = GetTickCount();
    bool seen = false;
    while (!seen && GetTickCount() - start < 3000) {
        WaitForChanges(owner, owner.changes.size() + 1);
        for (const FileChangeRecord& change : owner.changes)
            if (wanted == change.item) seen = true;
    }
    EXPECT_TRUE(seen);
    UnwatchFolders(owner.get());
}

TEST(FolderWatch, QueuedRecordsAreFreedWhenTheWatchEnds) {
    Owner owner;
    ScratchFolder folder(L"pvwatchqueue");
    ASSERT_TRUE(WatchFolder({owner.get(), kFileChangeMessage, folder.path().c_str(), false, kAllFileEvents}));
    const size_t before = FileChangeRecordsOutstanding();
    Touch(folder.path() + L"a.jpg");
    Touch(folder.path() + L"b.jpg");
    // Posted, not yet dispatched: wait (bounded) until the records are queued.
    MSG queued;
    for (int i = 0; i < 200 && FileChangeRecordsOutstanding() < before + 2; ++i) Sleep(10);
    ASSERT_EQ(FileChangeRecordsOutstanding(), before + 2);
    EXPECT_TRUE(PeekMessageW(&queued, owner.get(), kFileChangeMessage, kFileChangeMessage, PM_NOREMOVE));
    EXPECT_TRUE(UnwatchFolders(owner.get()));
    EXPECT_EQ(FileChangeRecordsOutstanding(), before);  // both freed by the unwatch
    Pump();
    EXPECT_TRUE(owner.changes.empty());
}

// ---------------------------------------------------------------------------

TEST(ShellFolders, PersonalFolderAndSmallIcons) {
    wchar_t path[MAX_PATH];
    ASSERT_TRUE(GetPersonalFolder(path, MAX_PATH));
    EXPECT_STREQ(path, L"\\My Documents");
    EXPECT_FALSE(GetPersonalFolder(path, 5));
    EXPECT_NE(SystemSmallIcons(), nullptr);
    EXPECT_GE(SmallIconIndex(L"\\My Documents"), 0);
}

std::vector<std::wstring> Cards(HANDLE search, const CardInfo& first) {
    std::vector<std::wstring> names;
    if (search == INVALID_HANDLE_VALUE) return names;
    CardInfo card = first;
    do {
        names.push_back(card.name);
    } while (FindNextCard(search, &card));
    EXPECT_TRUE(FindCardClose(search));
    return names;
}

TEST(StorageCards, EnumeratesTheStorageCardFoldersByName) {
    ScratchFolder root(L"pvcards");
    for (const wchar_t* name : {L"Storage Card2", L"Other", L"Storage Card"})
        CreateDirectoryW((root.path() + name).c_str(), nullptr);
    Touch(root.path() + L"Storage Card3");  // a file is no card
    CardInfo card;
    EXPECT_EQ(Cards(FindFirstCardIn(root.path().c_str(), &card), card),
              (std::vector<std::wstring>{L"Storage Card", L"Storage Card2"}));

    ScratchFolder empty(L"pvnocards");
    EXPECT_EQ(FindFirstCardIn(empty.path().c_str(), &card), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(FindNextCard(INVALID_HANDLE_VALUE, &card));

    // The device itself has its "Storage Card".
    const auto device = Cards(FindFirstCard(&card), card);
    ASSERT_FALSE(device.empty());
    EXPECT_EQ(device[0], L"Storage Card");
}

// ---------------------------------------------------------------------------

std::vector<UINT> g_sheetMessages;

int CALLBACK RecordingSheetCallback(HWND sheet, UINT message, LPARAM) {
    g_sheetMessages.push_back(message);
    if (message == kSheetVersionQuery) return kHandheldSheetVersion;
    if (message == PSCB_INITIALIZED) HandheldDialogSetup(sheet, kSetupEmptyMenuBar);
    return 0;
}

INT_PTR CALLBACK PageProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

TEST(Sheets, MaximisedSheetFillsTheWorkAreaWithTabsAtTheBottom) {
    Owner owner;
    PROPSHEETPAGEW pages[2] = {};
    for (int i = 0; i < 2; ++i) {
        pages[i].dwSize = sizeof pages[i];
        pages[i].hInstance = Instance();
        pages[i].pszTemplate = MAKEINTRESOURCEW(i == 0 ? IDD_PAGE_ONE : IDD_PAGE_TWO);
        pages[i].pfnDlgProc = PageProc;
    }
    PROPSHEETHEADERW header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_USECALLBACK | kSheetMaximize;
    header.hwndParent = owner.get();
    header.hInstance = Instance();
    header.pszCaption = L"";
    header.nPages = 2;
    header.ppsp = pages;
    header.pfnCallback = RecordingSheetCallback;
    g_sheetMessages.clear();

    modaltest::ModalDriver driver;
    driver.OnDialog([](HWND sheet) {
        const int barTop = 320 - MenuBarHeight();
        EXPECT_TRUE(RectIs(WindowRect(sheet), 0, 26, 240, barTop));
        EXPECT_EQ(GetWindowLongPtrW(sheet, GWL_STYLE) & WS_CAPTION, 0);
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(sheet, IDOK)));
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(sheet, IDCANCEL)));
        HWND tabs = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
        ASSERT_NE(tabs, nullptr);
        EXPECT_NE(GetWindowLongPtrW(tabs, GWL_STYLE) & TCS_BOTTOM, 0);
        EXPECT_TRUE(RectIs(WindowRect(tabs), 0, 26, 240, barTop));

        // Each page covers the tab control's display area.
        for (int page = 0; page < 2; ++page) {
            SendMessageW(sheet, PSM_SETCURSEL, WPARAM(page), 0);
            HWND current = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
            ASSERT_NE(current, nullptr);
            const RECT r = WindowRect(current);
            EXPECT_GT(r.right - r.left, 220) << page;
            EXPECT_GT(r.bottom - r.top, 150) << page;
        }
        // The top bar's "ok" closes the sheet.
        SendMessageW(FindWindowExW(TopBarWindow(), nullptr, L"BUTTON", L"ok"), BM_CLICK, 0, 0);
    });
    const INT_PTR result = HandheldPropertySheet(&header);
    EXPECT_GT(result, 0);
    EXPECT_EQ(driver.dialogsSeen(), 1);
    // Asked for its version before it was told the sheet is ready.
    const auto version = std::find(g_sheetMessages.begin(), g_sheetMessages.end(), UINT(kSheetVersionQuery));
    const auto ready = std::find(g_sheetMessages.begin(), g_sheetMessages.end(), UINT(PSCB_INITIALIZED));
    ASSERT_NE(version, g_sheetMessages.end());
    ASSERT_NE(ready, g_sheetMessages.end());
    EXPECT_LT(version, ready);
}

// Message boxes lie on the screen with their whole text, however long the
// path in it, and keep the system's texts and answers.
TEST(MessageBoxes, FitTheScreenWithTheirWholeText) {
    struct Case {
        const char* what;
        std::wstring text;
        UINT type;
        int button;
    };
    const Case cases[] = {
        {"a short question", L"Delete?", MB_YESNO | MB_ICONQUESTION, IDYES},
        {"a long path", L"Problem to load \\Temp\\journeys\\a folder with a long name\\more\\broken picture.jpg.",
         MB_OK | MB_ICONSTOP, IDOK},
        {"a path without separators",
         L"The picture Averyveryveryveryveryveryveryveryveryverylongnamewithoutanybreak.jpg has been converted.",
         MB_OK | MB_ICONINFORMATION, IDOK},
        {"three buttons, no icon", L"Save the changes to the album before it is closed?", MB_YESNOCANCEL, IDCANCEL},
    };
    for (const Case& c : cases) {
        modaltest::ModalDriver driver;
        driver.OnDialog([&c](HWND box) {
            testing_support::ExpectOnScreen(box, c.what);
            const HWND text = GetDlgItem(box, 0xFFFF);
            ASSERT_NE(text, nullptr) << c.what;
            EXPECT_EQ(modaltest::Text(text), c.text) << c.what;
            // Tall enough for every line the text breaks into at its width.
            HDC dc = GetDC(text);
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(text, WM_GETFONT, 0, 0)));
            const RECT r = WindowRect(text);
            RECT need = {0, 0, r.right - r.left, 0};
            DrawTextW(dc, c.text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
            TEXTMETRICW metrics = {};
            GetTextMetricsW(dc, &metrics);
            ReleaseDC(text, dc);
            EXPECT_LE(need.right, r.right - r.left) << c.what;
            EXPECT_GE(r.bottom - r.top, metrics.tmHeight) << c.what;
            EXPECT_GE(r.bottom - r.top, need.bottom - metrics.tmHeight) << c.what << ": about the lines it needs";
            modaltest::Click(box, c.button);
        });
        EXPECT_EQ(HandheldMessageBox(nullptr, c.text.c_str(), L"Error", c.type), c.button) << c.what;
        EXPECT_EQ(driver.dialogsSeen(), 1) << c.what;
    }
}

// A message box as the screen shows it: its caption's text in the title bar
// and a close button with a cross (the title bar's own glyph needs a symbol
// font that a fresh Wine prefix may lack; a letter "r" shows in its place).
TEST(MessageBoxes, ShowTheirCaptionAndACloseButtonWithACross) {
    const auto pixel = [](int x, int y) {
        HDC screen = GetDC(nullptr);
        const COLORREF c = GetPixel(screen, x, y);
        ReleaseDC(nullptr, screen);
        return c;
    };
    const auto dark = [](COLORREF c) { return GetRValue(c) < 110 && GetGValue(c) < 110 && GetBValue(c) < 110; };
    int captionPixels = 0;
    std::vector<bool> cross;
    modaltest::ModalDriver driver;
    driver.OnDialog([&](HWND box) {
        RedrawWindow(box, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        RECT window = WindowRect(box), client = {};
        GetClientRect(box, &client);
        MapWindowPoints(box, nullptr, reinterpret_cast<POINT*>(&client), 2);
        const int border = (int(window.right - window.left) - int(client.right - client.left)) / 2;
        const int top = window.top + border, bottom = client.top, right = window.right - border;
        // The caption's text on the left half of the title bar, in the
        // colour of an active or an inactive one.
        const COLORREF active = GetSysColor(COLOR_CAPTIONTEXT), inactive = GetSysColor(COLOR_INACTIVECAPTIONTEXT);
        for (int y = top; y < bottom; ++y)
            for (int x = window.left + border; x < (window.left + window.right) / 2; ++x) {
                const COLORREF c = pixel(x, y);
                if (c == active || c == inactive) ++captionPixels;
            }
        // The cross: its middle and a point towards each corner of the
        // button (the title bar's height square, 2 pixels in).
        const int left = right - (bottom - top) + 2, side = bottom - top - 4;
        const int cx = (left + right - 3) / 2, cy = (top + 2 + bottom - 3) / 2, d = side / 4;
        for (const POINT p : {POINT{cx, cy}, POINT{cx - d, cy - d}, POINT{cx + d, cy - d}, POINT{cx - d, cy + d},
                              POINT{cx + d, cy + d}})
            cross.push_back(dark(pixel(p.x, p.y)));
        modaltest::Click(box, IDOK);
    });
    EXPECT_EQ(HandheldMessageBox(nullptr, L"Problem to load \\Temp\\broken.jpg.", L"Error", MB_OK | MB_ICONSTOP), IDOK);
    ASSERT_EQ(driver.dialogsSeen(), 1);
    EXPECT_GE(captionPixels, 10) << "\"Error\" in the title bar";
    EXPECT_EQ(cross, std::vector<bool>(5, true)) << "middle, top left, top right, bottom left, bottom right";
}

}  // namespace
