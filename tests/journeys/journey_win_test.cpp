// The viewer as users meet it: the real viewer.exe under Wine, driven by
// input only (taps of the stylus as mouse clicks at screen points,
// tap-and-hold, drags and keys, all through SendInput), and read back as a
// user would see and keep it: window texts, the screen, files and registry
// values. One viewer start serves several steps of a journey; every step
// asserts something that can fail.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/handheld.h"
#include "resources/albumwizard.rh"
#include "resources/commands.rh"
#include "resources/main.rh"
#include "resources/options.rh"
#include "resources/sharing.rh"
#include "resources/tools.rh"
#include "tests/albums/screen_win.h"
#include "tests/support/dialogfit.h"
#include "tests/support/languagefile.h"
#include "tests/support/removetree_win.h"
#include "tests/viewer/viewerprocess.h"

using screentest::Hue;
using screentest::PumpUntil;
using screentest::ScreenHue;
using screentest::ScreenPixel;

namespace {

const std::wstring kRoot = L"\\Temp\\journeys\\";
const std::wstring kPics = kRoot + L"pics\\";
const std::wstring kMore = kRoot + L"more\\";
// Name order of the two folders.
const wchar_t* const kPicNames[] = {L"a.png", L"b.png", L"c.png", L"d.jpg", L"e.tif"};
const Hue kPicHues[] = {Hue::kBlue, Hue::kGreen, Hue::kRed};
constexpr int kPicCount = 5;
constexpr int kMoreCount = 3;  // broken.jpg, f.png, show.alb

// --- Input ---------------------------------------------------------------------

void Wait(DWORD ms) { PumpUntil([] { return false; }, ms); }

void SendMouse(int x, int y, DWORD flags) {
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dx = x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
    in.mi.dy = y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
    in.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof in);
}
void StylusDown(POINT p) {
    SendMouse(p.x, p.y, 0);
    Wait(30);
    SendMouse(p.x, p.y, MOUSEEVENTF_LEFTDOWN);
}
void StylusUp(POINT p) { SendMouse(p.x, p.y, MOUSEEVENTF_LEFTUP); }
void Tap(POINT p) {
    StylusDown(p);
    Wait(60);
    StylusUp(p);
    Wait(150);
}
void DoubleTap(POINT p) {
    StylusDown(p);
    StylusUp(p);
    Wait(40);
    SendMouse(p.x, p.y, MOUSEEVENTF_LEFTDOWN);
    SendMouse(p.x, p.y, MOUSEEVENTF_LEFTUP);
    Wait(200);
}
// The stylus goes down at `from`, moves in steps to `to` and comes up there.
void Drag(POINT from, POINT to) {
    StylusDown(from);
    Wait(60);
    for (int i = 1; i <= 8; ++i) {
        SendMouse(from.x + (to.x - from.x) * i / 8, from.y + (to.y - from.y) * i / 8, 0);
        Wait(30);
    }
    StylusUp(to);
    Wait(200);
}
void Key(WORD key) {
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = key;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof in[0]);
    Wait(30);
}
// `key` pressed while `modifier` is held.
void Chord(WORD modifier, WORD key) {
    INPUT in[4] = {};
    for (INPUT& i : in) i.type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[3].ki.wVk = modifier;
    in[1].ki.wVk = in[2].ki.wVk = key;
    in[2].ki.dwFlags = in[3].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(4, in, sizeof in[0]);
    Wait(80);
}
void Type(const std::wstring& text) {
    for (wchar_t c : text) {
        INPUT in[2] = {};
        in[0].type = in[1].type = INPUT_KEYBOARD;
        in[0].ki.wScan = in[1].ki.wScan = c;
        in[0].ki.dwFlags = KEYEVENTF_UNICODE;
        in[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        SendInput(2, in, sizeof in[0]);
    }
    Wait(150);
}

POINT Centre(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// --- What the user sees ---------------------------------------------------------

RECT WindowRect(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}
bool Visible(HWND window) { return window && IsWindowVisible(window); }
// A window's text, asked of its own process (GetWindowText only sees
// another process's captions).
std::wstring Text(HWND window) {
    wchar_t text[512] = L"";
    SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}
std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}
bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The viewer's visible dialogs (message boxes, dialogs, sheets), newest first.
std::vector<HWND> Dialogs() {
    std::vector<HWND> found;
    for (HWND w = FindWindowW(L"#32770", nullptr); w; w = FindWindowExW(nullptr, w, L"#32770", nullptr))
        if (Visible(w)) found.push_back(w);
    return found;
}
// Every dialog and message box a journey waits for is measured against the
// screen, with its controls unless told (`controls`).
HWND WaitForDialog(DWORD limit = 15000, bool controls = true) {
    HWND dialog = nullptr;
    PumpUntil([&] { return (dialog = Dialogs().empty() ? nullptr : Dialogs().front()) != nullptr; }, limit);
    if (dialog) {
        Wait(100);  // laid out and shown
        testing_support::ExpectOnScreen(dialog, "\"" + Utf8(Text(dialog)) + "\"", controls);
    }
    return dialog;
}
bool NoDialog() { return PumpUntil([] { return Dialogs().empty(); }, 10000); }
// The newest visible dialog; null when none.
HWND FrontDialog() {
    const std::vector<HWND> open = Dialogs();
    return open.empty() ? nullptr : open.front();
}
std::vector<HWND> OpenMenus() {
    std::vector<HWND> menus;
    for (HWND w = FindWindowW(L"#32768", nullptr); w; w = FindWindowExW(nullptr, w, L"#32768", nullptr))
        if (Visible(w)) menus.push_back(w);
    return menus;
}
// Lies within the 240 x 320 screen.
void ExpectFits(HWND window, const char* what) {
    const RECT r = WindowRect(window);
    EXPECT_GE(r.left, 0) << what;
    EXPECT_GE(r.top, 0) << what;
    EXPECT_LE(r.right, GetSystemMetrics(SM_CXSCREEN)) << what;
    EXPECT_LE(r.bottom, GetSystemMetrics(SM_CYSCREEN)) << what;
}
std::wstring MessageText(HWND box) { return Text(GetDlgItem(box, 0xFFFF)); }
// A property sheet as the handheld shows it: on the screen, its tabs at the
// bottom, its own (empty) menu bar.
void ExpectHandheldSheet(HWND sheet, const char* what) {
    ExpectFits(sheet, what);
    const HWND tabs = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
    EXPECT_TRUE(GetWindowLongPtrW(tabs, GWL_STYLE) & TCS_BOTTOM) << what << ": tabs at the bottom";
    EXPECT_TRUE(Visible(MenuBarFind(sheet))) << what << ": its own menu bar";
}

// --- Registry -----------------------------------------------------------------------

DWORD ReadNumber(const wchar_t* name, DWORD missing = 0xDEAD) {
    DWORD value = missing, size = sizeof value;
    RegGetValueW(HKEY_CURRENT_USER, L"Software\\Trelmo\\General", name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}
std::wstring ReadText(HKEY root, const std::wstring& key, const wchar_t* name) {
    wchar_t buffer[300] = L"";
    DWORD size = sizeof buffer;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) return L"<none>";
    return buffer;
}

// --- The viewer's own parts -----------------------------------------------------------

HWND Toolbar() { return FindWindowExW(MenuBarFind(Viewer::Main()), nullptr, TOOLBARCLASSNAMEW, nullptr); }

// The menu-bar button of `command`, in screen coordinates.
RECT BarButton(Viewer& viewer, UINT command) {
    return viewer.RemoteRect(Toolbar(), TB_GETRECT, command, RECT{});
}

// Where a command sits in the main menu: the menu-bar button that opens its
// popup and, level by level, its place among the entries that are not
// separators (the keys skip separators). Read from the program's own menu.
struct MenuPath {
    UINT button = 0;
    std::vector<int> steps;
};
bool FindInMenu(HMENU menu, UINT command, std::vector<int>* steps) {
    int entry = 0;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        MENUITEMINFOW info = {sizeof info, MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU};
        GetMenuItemInfoW(menu, UINT(i), TRUE, &info);
        if (info.fType & MFT_SEPARATOR) continue;
        steps->push_back(entry);
        if (info.hSubMenu ? FindInMenu(info.hSubMenu, command, steps) : info.wID == command) return true;
        steps->pop_back();
        ++entry;
    }
    return false;
}
MenuPath PathOf(UINT command) {
    static const UINT kButtons[] = {IDM_MAIN_FILE, IDM_MAIN_VIEW, IDM_MAIN_TOOLS};
    const HMODULE program = LoadLibraryExW(Wide(PV_VIEWER_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const HMENU menu = program ? LoadMenuW(program, MAKEINTRESOURCEW(IDM_MAIN)) : nullptr;
    MenuPath path;
    for (int i = 0; menu && i < 3; ++i) {
        std::vector<int> steps;
        if (FindInMenu(GetSubMenu(menu, i), command, &steps)) {
            path.button = kButtons[i];
            path.steps = steps;
        }
    }
    if (menu) DestroyMenu(menu);
    if (program) FreeLibrary(program);
    return path;
}

// Opens the menu-bar button's popup with a tap and walks it with the keys:
// down to each level's entry, right into a submenu, Return on the last.
void ChooseSteps(Viewer& viewer, UINT button, const std::vector<int>& steps) {
    ASSERT_FALSE(steps.empty());
    Tap(Centre(BarButton(viewer, button)));
    ASSERT_TRUE(PumpUntil([] { return OpenMenus().size() == 1; }, 10000)) << "the popup of " << button << " opens";
    for (size_t level = 0; level < steps.size(); ++level) {
        if (level > 0) {
            Key(VK_RIGHT);
            ASSERT_TRUE(PumpUntil([&] { return OpenMenus().size() == level + 1; }, 10000)) << "submenu " << level;
        }
        for (int i = 0; i < steps[level] + (level == 0 ? 1 : 0); ++i) Key(VK_DOWN);
    }
    Key(VK_RETURN);
    ASSERT_TRUE(PumpUntil([] { return OpenMenus().empty(); }, 10000)) << "the menu closes";
    Wait(200);
}
// The context menu's entry for `command`: its place among the picture
// popup's entries that are not separators.
int ContextEntry(UINT command) {
    const HMODULE program = LoadLibraryExW(Wide(PV_VIEWER_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const HMENU menu = program ? LoadMenuW(program, MAKEINTRESOURCEW(IDM_MAIN_CONTEXT)) : nullptr;
    std::vector<int> steps;
    const bool found = menu && FindInMenu(GetSubMenu(menu, 0), command, &steps) && steps.size() == 1;
    if (menu) DestroyMenu(menu);
    if (program) FreeLibrary(program);
    return found ? steps[0] : -1;
}
// Holds the stylus still at `p` until the context menu opens, lifts it and
// chooses the command there with the keys.
void ChooseFromContextMenu(POINT p, UINT command) {
    const int entry = ContextEntry(command);
    ASSERT_GE(entry, 0) << "command " << command << " is in the context menu";
    StylusDown(p);
    const bool opened = PumpUntil([] { return OpenMenus().size() == 1; }, 5000);
    StylusUp(p);
    ASSERT_TRUE(opened) << "a hold opens the context menu";
    Wait(200);
    for (int i = 0; i <= entry; ++i) Key(VK_DOWN);
    Key(VK_RETURN);
    ASSERT_TRUE(PumpUntil([] { return OpenMenus().empty(); }, 10000)) << "the menu closes";
}

void Choose(Viewer& viewer, UINT command) {
    const MenuPath path = PathOf(command);
    ASSERT_NE(path.button, 0u) << "command " << command << " is in no menu";
    ChooseSteps(viewer, path.button, path.steps);
}

// Item `index` selected as the user does it: a tap on the first cell, then
// the arrow keys towards it, row by row (the list scrolls along).
bool SelectItem(Viewer& viewer, int index) {
    // Thumbnail cells take a tap anywhere; list rows on their text.
    const RECT label = viewer.RemoteRect(Viewer::List(), LVM_GETITEMRECT, 0, RECT{LVIR_LABEL, 0, 0, 0});
    const bool cells = (GetWindowLongPtrW(Viewer::List(), GWL_STYLE) & LVS_TYPEMASK) == LVS_ICON;
    Tap(cells ? viewer.CellCentre(0) : POINT{label.left + 8, (label.top + label.bottom) / 2});
    if (!PumpUntil([] { return Viewer::Selected() == 0; }, 5000)) return false;
    for (int steps = 0; steps < 32 && Viewer::Selected() != index; ++steps) {
        const RECT target = viewer.ItemRect(index), at = viewer.ItemRect(Viewer::Selected());
        Key(target.top > at.top ? VK_DOWN : target.top < at.top ? VK_UP : target.left > at.left ? VK_RIGHT : VK_LEFT);
    }
    return PumpUntil([index] { return Viewer::Selected() == index; }, 5000);
}

// Waits for the viewer to list `count` items, then taps its splitter bar
// between the buttons (where a tap does nothing) so that the window the
// user works in is the active one and takes the keys.
bool ReadyWith(Viewer& viewer, int count) {
    if (!viewer.WaitForList(count)) return false;
    const RECT main = WindowRect(Viewer::Main());
    Tap(POINT{main.left + 35, WindowRect(Viewer::Tree()).bottom + 4});
    return PumpUntil([] { return GetForegroundWindow() == Viewer::Main(); }, 10000);
}

// The top bar's "ok", which closes the dialog or sheet in front.
void TapOk() {
    const HWND ok = FindWindowExW(FindWindowW(L"PvTopBar", nullptr), nullptr, L"BUTTON", L"ok");
    ASSERT_TRUE(Visible(ok)) << "an ok on the top bar";
    Tap(Centre(WindowRect(ok)));
}
void TapControl(HWND dialog, int id) {
    const HWND control = GetDlgItem(dialog, id);
    ASSERT_TRUE(Visible(control)) << "control " << id;
    Tap(Centre(WindowRect(control)));
}
// Replaces the text of the dialog's edit box as the user would: a tap into
// it, the old text selected from its end and typed over.
void TypeInto(HWND dialog, int id, const std::wstring& text) {
    TapControl(dialog, id);
    Key(VK_END);
    Chord(VK_SHIFT, VK_HOME);
    Type(text);
}
// A property sheet's page: the tab tapped, the page it shows.
HWND ShowPage(Viewer& viewer, HWND sheet, int index) {
    const HWND tabs = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
    Tap(Centre(viewer.RemoteRect(tabs, TCM_GETITEMRECT, WPARAM(index), RECT{})));
    HWND page = nullptr;
    PumpUntil([&] {
        page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        return SendMessageW(tabs, TCM_GETCURSEL, 0, 0) == index && Visible(page);
    }, 10000);
    return page;
}
bool Checked(HWND dialog, int id) { return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

// The tree's item showing `name` among the children of the selected item's
// parent or the selected item itself; its rectangle on the screen.
RECT TreeItemRect(Viewer& viewer, HTREEITEM item) {
    RECT r = {};
    *reinterpret_cast<HTREEITEM*>(&r) = item;
    return viewer.RemoteRect(Viewer::Tree(), TVM_GETITEMRECT, TRUE, r);
}
HTREEITEM TreeNext(HTREEITEM item, UINT how) {
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(Viewer::Tree(), TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

void CopyFixture(const std::wstring& folder, const char* sub, const wchar_t* name) {
    const std::wstring from = Wide(std::string(PV_JOURNEY_FIXTURES) + "/" + sub + "/") + name;
    ASSERT_TRUE(CopyFileW(from.c_str(), (folder + name).c_str(), FALSE)) << sub;
}

class Journey : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::RemoveFolderTree(kRoot);
        ASSERT_TRUE(CreateDirectoryW(kRoot.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(kPics.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(kMore.c_str(), nullptr));
        for (const wchar_t* name : kPicNames) CopyFixture(kPics, "pics", name);
        for (const wchar_t* name : {L"broken.jpg", L"f.png", L"show.alb"}) CopyFixture(kMore, "more", name);
        ClearViewerSettings();
        ASSERT_TRUE(WriteViewerText(nullptr, L"Path", kPics));
        ASSERT_TRUE(WriteViewerNumber(L"UseSplashScreen", 0));
        ASSERT_TRUE(WriteViewerNumber(L"SlideDelay", 1));
    }
    void TearDown() override {
        ClearViewerSettings();
        testing_support::RemoveFolderTree(kRoot);
    }
};

// ---------------------------------------------------------------------------

// From the start screen to the thumbnails, a folder chosen in the tree, the
// list and details layouts, a picture full screen and back by swipes.
TEST_F(Journey, StartScreenTreeLayoutsAndFullScreen) {
    ASSERT_TRUE(WriteViewerNumber(L"UseSplashScreen", 1));
    Viewer viewer;
    ASSERT_TRUE(viewer.Started());
    HWND splash = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return Visible(splash = FindWindowW(L"SplashClass", nullptr)); }, 30000));
    EXPECT_FALSE(Visible(Viewer::Main())) << "the start screen comes first";
    Tap(POINT{42, 80});  // "Browse Folder"
    ASSERT_TRUE(PumpUntil([] { return Visible(Viewer::Main()) && !FindWindowW(L"SplashClass", nullptr); }, 10000));
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    const POINT first = viewer.CellCentre(0);
    EXPECT_TRUE(PumpUntil([&] { return ScreenHue(first.x, first.y) == Hue::kBlue; }, 15000)) << "a.png's thumbnail";

    // The tree: "more" is pics' sibling; a tap on it lists it.
    HTREEITEM pics = TreeNext(nullptr, TVGN_CARET);
    ASSERT_NE(pics, nullptr);
    HTREEITEM more = TreeNext(pics, TVGN_NEXT);
    if (!more) more = TreeNext(pics, TVGN_PREVIOUS);
    ASSERT_NE(more, nullptr);
    Tap(Centre(TreeItemRect(viewer, more)));
    ASSERT_TRUE(PumpUntil([] { return Viewer::ItemCount() == kMoreCount; }, 10000)) << "the tapped folder is listed";
    Tap(Centre(TreeItemRect(viewer, pics)));
    ASSERT_TRUE(PumpUntil([] { return Viewer::ItemCount() == kPicCount; }, 10000));

    // List and details from the View menu.
    Choose(viewer, IDM_MAIN_LIST);
    EXPECT_EQ(viewer.ItemText(1, 0), L"b.png") << "the list layout labels its items";
    Choose(viewer, IDM_MAIN_DETAILS);
    EXPECT_EQ(GetWindowLongPtrW(Viewer::List(), GWL_STYLE) & LVS_OWNERDRAWFIXED, LVS_OWNERDRAWFIXED);
    EXPECT_EQ(viewer.ItemText(1, 0), L"") << "details rows are drawn, their labels cleared";
    EXPECT_EQ(viewer.ItemText(2, 1), L"160x160,16M");
    Choose(viewer, IDM_MAIN_THUMBNAILS);

    // A double tap opens the picture full screen; swipes step.
    DoubleTap(viewer.CellCentre(1));
    ASSERT_TRUE(PumpUntil([] { return WindowRect(Viewer::Main()).top == 0 && ScreenHue(120, 160) == Hue::kGreen; },
                          10000))
        << "b.png full screen";
    Drag(POINT{160, 150}, POINT{100, 150});  // to the left: the next file
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kRed; }, 10000));
    Drag(POINT{100, 150}, POINT{160, 150});  // to the right: the previous one
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kGreen; }, 10000));
    Tap(POINT{120, 150});  // a tap changes nothing in full screen
    EXPECT_EQ(Viewer::Selected(), 1);
    // Return (the "Fullscreen" action) goes back to the browser.
    Key(VK_RETURN);
    EXPECT_TRUE(PumpUntil([] { return Visible(Viewer::List()) && WindowRect(Viewer::Main()).top > 0; }, 10000));
    ASSERT_TRUE(viewer.Close());
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, L"Software\\Trelmo", L"Path"), kPics);
}

// The menu bar fits the screen: every button can be reached by a tap, the
// favorites button too.
TEST_F(Journey, EveryMenuBarButtonLiesOnTheScreen) {
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    const int count = int(SendMessageW(Toolbar(), TB_BUTTONCOUNT, 0, 0));
    EXPECT_EQ(count, 9);
    for (int i = 0; i < count; ++i) {
        const RECT r = viewer.RemoteRect(Toolbar(), TB_GETITEMRECT, WPARAM(i), RECT{});
        EXPECT_GE(r.left, 0) << "button " << i;
        EXPECT_LE(r.right, GetSystemMetrics(SM_CXSCREEN)) << "button " << i;
    }
    Tap(Centre(BarButton(viewer, IDM_MAIN_FAVORITES)));
    EXPECT_TRUE(PumpUntil([] { return OpenMenus().size() == 1; }, 10000)) << "the favorites popup opens";
    Key(VK_ESCAPE);
    EXPECT_TRUE(PumpUntil([] { return OpenMenus().empty(); }, 10000));
    ASSERT_TRUE(viewer.Close());
}


// A damaged JPEG says so by name; an album in the list plays as a show.
TEST_F(Journey, DamagedPictureAndAlbumFromTheList) {
    ASSERT_TRUE(WriteViewerText(nullptr, L"Path", kMore));
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kMoreCount));  // broken.jpg, f.png, show.alb
    DoubleTap(viewer.CellCentre(0));
    const HWND box = WaitForDialog();
    ASSERT_TRUE(box) << "an error is shown";
    EXPECT_EQ(MessageText(box), L"Problem to load " + kMore + L"broken.jpg.");
    EXPECT_EQ(Text(box), L"Error");
    TapControl(box, IDOK);
    EXPECT_TRUE(NoDialog());
    Key(VK_RETURN);  // back to the browser
    ASSERT_TRUE(PumpUntil([] { return Visible(Viewer::List()) && WindowRect(Viewer::Main()).top > 0; }, 10000));
    Wait(300);

    EXPECT_TRUE(Dialogs().empty()) << "the error is not shown again on the way back";
    DoubleTap(viewer.CellCentre(2));
    HWND show = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return Visible(show = FindWindowW(L"slideClass", nullptr)); }, 15000))
        << "the album's show window";
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kGreen; }, 10000)) << "its first picture";
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kBlue; }, 10000)) << "then its second";
    Tap(POINT{120, 160});  // a tap ends the show
    EXPECT_TRUE(PumpUntil([] { return !FindWindowW(L"slideClass", nullptr); }, 10000));
    EXPECT_TRUE(PumpUntil([] { return Visible(Viewer::List()); }, 10000));
    ASSERT_TRUE(viewer.Close());
}

// The error boxes that appear within `ms`, each closed with a tap on its OK
// after a moment, as a user reads it first.
int ErrorBoxesWithin(DWORD ms) {
    int boxes = 0;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        const std::vector<HWND> open = Dialogs();
        if (open.empty()) {
            Wait(100);
            continue;
        }
        ++boxes;
        Wait(800);
        TapControl(open.front(), IDOK);
        PumpUntil([&] { return !Visible(open.front()); }, 5000);
    }
    return boxes;
}

// Pixels on the screen's row `y` from x0 to x1 that are nearly white: the
// text the view writes over a picture.
int WhitePixels(int y, int x0, int x1) {
    int n = 0;
    for (int x = x0; x < x1; ++x) {
        const uint32_t p = ScreenPixel(x, y);
        n += (p >> 16 & 255) > 200 && (p >> 8 & 255) > 200 && (p & 255) > 200;
    }
    return n;
}
bool TextOverTheTop(const RECT& view) {
    for (int y = view.top + 2; y < view.top + 14; ++y)
        if (WhitePixels(y, view.left, view.right) >= 4) return true;
    return false;
}

// Photos cut short, opened in the image layout: one whose picture has no
// row gives one message for one open, and none again when the view is
// zoomed or laid out anew; one cut in half is shown with the rows that
// arrived and says that its file is damaged, as its thumbnail shows the same
// part.
TEST_F(Journey, CutPhotosSayItOnce) {
    const std::wstring damaged = kRoot + L"damaged\\";
    ASSERT_TRUE(CreateDirectoryW(damaged.c_str(), nullptr));
    for (const wchar_t* name : {L"half.jpg", L"rowless.jpg"}) CopyFixture(damaged, "damaged", name);
    ASSERT_TRUE(WriteViewerText(nullptr, L"Path", damaged));
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, 2));  // half.jpg, rowless.jpg

    // The thumbnail: the rows that arrived (green), nothing below them.
    const RECT cell = viewer.ItemRect(0);
    const int x = (cell.left + cell.right) / 2;
    EXPECT_TRUE(PumpUntil([&] { return ScreenHue(x, cell.top + 10) == Hue::kGreen; }, 15000)) << "the part read";
    int blue = 0;
    for (int y = cell.top; y < cell.bottom; ++y) blue += ScreenHue(x, y) == Hue::kBlue;
    EXPECT_EQ(blue, 0) << "no part that the file does not hold";

    ASSERT_TRUE(SelectItem(viewer, 1));
    Choose(viewer, IDM_MAIN_IMAGE);
    EXPECT_EQ(ErrorBoxesWithin(4000), 1) << "one open, one message";
    ASSERT_TRUE(PumpUntil([] { return Visible(Viewer::View()); }, 5000));
    Choose(viewer, IDM_MAIN_ZOOM50);
    Choose(viewer, IDM_MAIN_FIT_ALL);
    EXPECT_EQ(ErrorBoxesWithin(2000), 0) << "nothing shown, nothing reported again";
    Choose(viewer, IDM_MAIN_THUMBNAILS);
    ASSERT_TRUE(PumpUntil([] { return Visible(Viewer::List()); }, 10000));
    EXPECT_EQ(ErrorBoxesWithin(1500), 0);

    // The half photo: its top, and a word over it that the file is damaged.
    ASSERT_TRUE(SelectItem(viewer, 0));
    Choose(viewer, IDM_MAIN_IMAGE);
    ASSERT_TRUE(PumpUntil([] { return Visible(Viewer::View()); }, 10000));
    const RECT area = WindowRect(Viewer::View());
    const int middle = (area.left + area.right) / 2;
    EXPECT_TRUE(PumpUntil([&] { return ScreenHue(middle, area.top + 40) == Hue::kGreen; }, 10000));
    EXPECT_TRUE(PumpUntil([&] { return TextOverTheTop(area); }, 5000)) << "the file is said to be damaged";
    EXPECT_EQ(ErrorBoxesWithin(1500), 0) << "a partial picture is no error";
    // The next picture drops the word.
    Choose(viewer, IDM_MAIN_THUMBNAILS);
    ASSERT_TRUE(PumpUntil([] { return Visible(Viewer::List()); }, 10000));
    ASSERT_TRUE(viewer.Close());
}

// The stand-alone slideshow made from the viewer as it is built and installed
// (slide.exe beside viewer.exe): a failed write leaves the wizard open with
// the user's choices; the show made then plays its pictures on its own.
TEST_F(Journey, StandAloneSlideshowIsMadeAndPlays) {
    ASSERT_TRUE(WriteViewerText(L"Slide", L"OutputDir", kPics));
    ASSERT_TRUE(WriteViewerText(L"Slide", L"OutputFile", L"trip"));
    const std::wstring show = kPics + L"trip.exe";
    // A read-only file of that name: the first Create cannot replace it.
    {
        const HANDLE file = CreateFileW(show.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
        ASSERT_TRUE(SetFileAttributesW(show.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    Choose(viewer, IDM_MAIN_CREATE_SLIDESHOW);
    const HWND wizard = WaitForDialog();
    ASSERT_TRUE(wizard);
    const HWND bar = FindWindowExW(MenuBarFind(wizard), nullptr, TOOLBARCLASSNAMEW, nullptr);
    ASSERT_TRUE(Visible(bar));
    const POINT next = Centre(viewer.RemoteRect(bar, TB_GETRECT, CMD_AL_NEXT, RECT{}));
    HWND create = nullptr;
    for (int page = 0; page < 6; ++page) {
        Tap(next);
        Wait(200);
    }
    for (HWND page = FindWindowExW(wizard, nullptr, nullptr, nullptr); page && !create;
         page = FindWindowExW(wizard, page, nullptr, nullptr))
        if (Visible(page) && Visible(GetDlgItem(page, IDC_AL_CREATE))) create = GetDlgItem(page, IDC_AL_CREATE);
    ASSERT_TRUE(create) << "the last page, with Create";
    Tap(Centre(WindowRect(create)));
    HWND box = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (box = FrontDialog()) != wizard && box; }, 10000)) << "asked to overwrite";
    TapControl(box, IDOK);
    ASSERT_TRUE(PumpUntil([&] {
        const HWND front = FrontDialog();
        return front != box && front != wizard;
    }, 20000));
    box = FrontDialog();
    ASSERT_TRUE(box) << "a message";
    EXPECT_EQ(MessageText(box), L"Can't create file");
    TapControl(box, IDOK);
    ASSERT_TRUE(PumpUntil([&] { return Dialogs() == std::vector<HWND>{wizard}; }, 10000)) << "the wizard stays open";
    EXPECT_TRUE(Visible(create)) << "on its last page, ready to try again";

    // Made writable, the file is made, the wizard closes.
    ASSERT_TRUE(SetFileAttributesW(show.c_str(), FILE_ATTRIBUTE_NORMAL));
    Tap(Centre(WindowRect(create)));
    ASSERT_TRUE(PumpUntil([&] { return (box = FrontDialog()) != wizard && box; }, 10000)) << "asked to overwrite";
    TapControl(box, IDOK);
    ASSERT_TRUE(NoDialog()) << "made: the wizard closes";
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(GetFileAttributesExW(show.c_str(), GetFileExInfoStandard, &data));
    EXPECT_GT(data.nFileSizeLow, 50000u) << "the player and the pictures";
    ASSERT_TRUE(viewer.Close());

    // The show plays: its first picture, a.png, blue on the whole screen.
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION player = {};
    std::wstring line = L"\"" + show + L"\"";
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &player));
    HWND window = nullptr;
    EXPECT_TRUE(PumpUntil([&] { return Visible(window = FindWindowW(L"slideClass", L"TrelmoSlide")); }, 15000));
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kBlue; }, 10000)) << "the show's first picture";
    Tap(POINT{120, 160});  // a tap ends it
    EXPECT_EQ(WaitForSingleObject(player.hProcess, 10000), WAIT_OBJECT_0);
    if (WaitForSingleObject(player.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(player.hProcess, 1);
    CloseHandle(player.hThread);
    CloseHandle(player.hProcess);
}

// E-mail on a device where no mail account or service is set up: the user
// is told so, not only that the pictures could not be sent.
TEST_F(Journey, EmailWithoutAnAccountSaysSo) {
    const std::wstring stores = kRoot + L"no-mail\\";
    ASSERT_TRUE(CreateDirectoryW(stores.c_str(), nullptr));
    wchar_t previous[520] = L"";
    const bool had = GetEnvironmentVariableW(L"PV_MAIL_STORES", previous, 520) > 0;
    SetEnvironmentVariableW(L"PV_MAIL_STORES", stores.c_str());
    Viewer viewer;
    SetEnvironmentVariableW(L"PV_MAIL_STORES", had ? previous : nullptr);
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    ASSERT_TRUE(SelectItem(viewer, 0));
    Choose(viewer, IDM_MAIN_EMAIL);
    const HWND options = WaitForDialog();
    ASSERT_TRUE(options);
    EXPECT_EQ(SendDlgItemMessageW(options, IDC_EMAILOPT_STORE, CB_GETCOUNT, 0, 0), 0) << "no service to offer";
    TypeInto(options, IDC_EMAILOPT_TO, L"friend@example.org");
    TapControl(options, IDC_EMAILOPT_SEND);
    HWND box = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (box = FrontDialog()) && box != options; }, 10000));
    EXPECT_EQ(MessageText(box), L"The pictures were not sent: no e-mail account or service is set up on this device.");
    TapControl(box, IDOK);
    EXPECT_TRUE(NoDialog());
    ASSERT_TRUE(viewer.Close());
}

// Infrared send with no device in range, then cancelled while it searches:
// each ends with a message in the program's own words inside the screen,
// not a silent return to the browser.
TEST_F(Journey, InfraredSendTellsHowItEnded) {
    const std::wstring devices = kRoot + L"no-devices\\";
    ASSERT_TRUE(CreateDirectoryW(devices.c_str(), nullptr));
    wchar_t previous[520] = L"";
    const bool had = GetEnvironmentVariableW(L"PV_IRDA_REGISTRY", previous, 520) > 0;
    SetEnvironmentVariableW(L"PV_IRDA_REGISTRY", devices.c_str());
    Viewer viewer;
    SetEnvironmentVariableW(L"PV_IRDA_REGISTRY", had ? previous : nullptr);
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    ASSERT_TRUE(SelectItem(viewer, 0));
    const struct {
        bool cancel;
        std::wstring text;
    } cases[] = {
        {false, L"The picture was not sent: no device was found. Start receiving on the other device, hold it "
                L"facing this one and try again."},
        {true, L"Sending was cancelled. The picture was not sent."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cancel ? "cancelled" : "no device");
        Choose(viewer, IDM_MAIN_INFRARED);
        const HWND progress = WaitForDialog();
        ASSERT_TRUE(progress) << "the send's progress";
        if (c.cancel) TapControl(progress, IDCANCEL);
        HWND box = nullptr;
        ASSERT_TRUE(PumpUntil([&] { return (box = FrontDialog()) && box != progress; }, 15000)) << "a message";
        Wait(100);
        testing_support::ExpectOnScreen(box, "the message", true);
        EXPECT_EQ(MessageText(box), c.text);
        TapControl(box, IDOK);
        EXPECT_TRUE(NoDialog());
    }
    ASSERT_TRUE(viewer.Close());
}

// The run of one hue through (x, y), across and down.
int HueRun(int x, int y, Hue hue, bool across) {
    if (ScreenHue(x, y) != hue) return 0;
    int a = across ? x : y, b = a;
    auto at = [&](int v) { return across ? ScreenHue(v, y) : ScreenHue(x, v); };
    const int limit = across ? GetSystemMetrics(SM_CXSCREEN) : GetSystemMetrics(SM_CYSCREEN);
    while (a > 0 && at(a - 1) == hue) --a;
    while (b < limit - 1 && at(b + 1) == hue) ++b;
    return b - a + 1;
}

// The strip with automatic rotation: the view below the strip is wider than
// high, so a landscape picture stays as it is and fills the view's height,
// while a portrait one is turned to lie across it.
TEST_F(Journey, StripShowsPicturesTurnedForItsView) {
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    Choose(viewer, IDM_MAIN_STRIP);
    ASSERT_TRUE(PumpUntil([] { return Visible(Viewer::View()) && !Visible(Viewer::Tree()); }, 5000));
    const RECT area = WindowRect(Viewer::View());
    const POINT c = Centre(area);
    Tap(viewer.CellCentre(0));  // a.png, 160 x 120, blue
    ASSERT_TRUE(PumpUntil([&] { return ScreenHue(c.x, c.y) == Hue::kBlue; }, 10000));
    ASSERT_GT(area.right - area.left, area.bottom - area.top) << "a band below the strip";
    Wait(300);
    EXPECT_EQ(HueRun(c.x, c.y, Hue::kBlue, true), 160) << "a.png as it is";
    EXPECT_EQ(HueRun(c.x, c.y, Hue::kBlue, false), 120);
    Tap(viewer.CellCentre(1));  // b.png, 120 x 160, green
    ASSERT_TRUE(PumpUntil([&] { return ScreenHue(c.x, c.y) == Hue::kGreen; }, 10000));
    Wait(300);
    EXPECT_EQ(HueRun(c.x, c.y, Hue::kGreen, true), 160) << "b.png turned to lie across";
    EXPECT_EQ(HueRun(c.x, c.y, Hue::kGreen, false), 120);
    ASSERT_TRUE(viewer.Close());
}

// The top bar's text and whether anything is written on it.
std::wstring TopBarText() { return Text(FindWindowW(L"PvTopBar", nullptr)); }
bool TopBarWritten() {
    const RECT bar = WindowRect(FindWindowW(L"PvTopBar", nullptr));
    for (int y = bar.top + 4; y < bar.bottom - 4; ++y)
        if (WhitePixels(y, bar.left, bar.left + 120) > 0) return true;
    return false;
}
// The tree's selected folder lies in the tree's window, where it can be seen.
bool SelectionInSight(Viewer& viewer) {
    const RECT item = TreeItemRect(viewer, TreeNext(nullptr, TVGN_CARET));
    const RECT tree = WindowRect(Viewer::Tree());
    return item.bottom > item.top && item.top >= tree.top && item.bottom <= tree.bottom;
}

// The shown folder is named on the top bar and selected in the tree, in
// sight, at start and after "Go to"; folders made and removed on disk in it
// come and go in the tree at once.
TEST_F(Journey, TheShownFolderIsNamedAndSelectedInTheTree) {
    // Deep enough that its item lies below the tree pane's first rows.
    std::wstring deep = kRoot;
    for (const wchar_t* level : {L"deep\\", L"one\\", L"two\\", L"three\\"}) {
        deep += level;
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    CopyFixture(deep, "pics", L"a.png");
    ASSERT_TRUE(WriteViewerText(nullptr, L"Path", deep));
    ASSERT_TRUE(WriteViewerText(L"General", L"Home", kMore));
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, 1));
    PumpUntil([] { return TopBarText() == L"\\Temp\\journeys\\deep\\one\\two\\three"; }, 5000);
    EXPECT_EQ(TopBarText(), L"\\Temp\\journeys\\deep\\one\\two\\three") << "the top bar names the shown folder";
    EXPECT_TRUE(PumpUntil([] { return TopBarWritten(); }, 5000)) << "drawn on the bar";
    EXPECT_EQ(viewer.TreeSelection(), L"three");
    EXPECT_TRUE(SelectionInSight(viewer)) << "the selected folder is scrolled into sight";

    const std::wstring trip = deep + L"trip";
    ASSERT_TRUE(CreateDirectoryW(trip.c_str(), nullptr));
    const HTREEITEM three = TreeNext(nullptr, TVGN_CARET);
    EXPECT_TRUE(PumpUntil([&] { return viewer.TreeText(TreeNext(three, TVGN_CHILD)) == L"trip"; }, 10000))
        << "a folder made on disk shows in the tree";
    ASSERT_TRUE(RemoveDirectoryW(trip.c_str()));
    EXPECT_TRUE(PumpUntil([&] { return TreeNext(three, TVGN_CHILD) == nullptr; }, 10000)) << "and goes";

    Choose(viewer, IDM_MAIN_HOME);
    ASSERT_TRUE(PumpUntil([] { return Viewer::ItemCount() == kMoreCount; }, 10000));
    EXPECT_EQ(viewer.TreeSelection(), L"more");
    EXPECT_TRUE(SelectionInSight(viewer));
    EXPECT_EQ(TopBarText(), L"\\Temp\\journeys\\more");
    // A dialog's title takes the bar while the dialog is open.
    Choose(viewer, IDM_MAIN_OPTIONS);
    const HWND sheet = WaitForDialog();
    ASSERT_TRUE(sheet);
    EXPECT_NE(TopBarText(), L"\\Temp\\journeys\\more");
    TapOk();
    ASSERT_TRUE(NoDialog());
    EXPECT_TRUE(PumpUntil([] { return TopBarText() == L"\\Temp\\journeys\\more"; }, 5000));
    ASSERT_TRUE(viewer.Close());
}

// The list layout gives a long name the room it needs, up to the screen's
// width; short names keep two columns side by side.
TEST_F(Journey, ListLayoutShowsLongNamesWhole) {
    const std::wstring named = kRoot + L"named\\";
    const std::wstring longName = L"holiday at the seaside 01.png";
    ASSERT_TRUE(CreateDirectoryW(named.c_str(), nullptr));
    CopyFixture(named, "pics", L"a.png");
    ASSERT_TRUE(CopyFileW((named + L"a.png").c_str(), (named + longName).c_str(), FALSE));
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    Choose(viewer, IDM_MAIN_LIST);
    const int shortNames = int(SendMessageW(Viewer::List(), LVM_GETCOLUMNWIDTH, 0, 0));
    EXPECT_LE(shortNames, WindowRect(Viewer::List()).right / 2) << "short names: two columns";
    Choose(viewer, IDM_MAIN_UP);
    HTREEITEM item = TreeNext(TreeNext(nullptr, TVGN_CARET), TVGN_CHILD);
    while (item && viewer.TreeText(item) != L"named") item = TreeNext(item, TVGN_NEXT);
    ASSERT_TRUE(item);
    Tap(Centre(TreeItemRect(viewer, item)));
    ASSERT_TRUE(PumpUntil([] { return Viewer::ItemCount() == 2; }, 10000));
    ASSERT_TRUE(PumpUntil([&] { return viewer.ItemText(1, 0) == longName; }, 5000));
    // The name's width in the list's own font, measured by the list.
    const SIZE_T bytes = (longName.size() + 1) * sizeof(wchar_t);
    void* remote = VirtualAllocEx(viewer.Process(), nullptr, bytes, MEM_COMMIT, PAGE_READWRITE);
    ASSERT_TRUE(remote);
    WriteProcessMemory(viewer.Process(), remote, longName.c_str(), bytes, nullptr);
    const int text = int(SendMessageW(Viewer::List(), LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(remote)));
    VirtualFreeEx(viewer.Process(), remote, 0, MEM_RELEASE);
    ASSERT_GT(text, 100);
    const RECT label = viewer.RemoteRect(Viewer::List(), LVM_GETITEMRECT, 1, RECT{LVIR_LABEL, 0, 0, 0});
    EXPECT_GE(label.right - label.left, text + 4) << "room for the long name";
    EXPECT_LE(label.right, WindowRect(Viewer::List()).right) << "within the list";
    ASSERT_TRUE(viewer.Close());
}

// The splitter's buttons hide and bring back each pane, and are drawn where
// they can be tapped.
TEST_F(Journey, SplitterButtonsHideAndBringBackThePanes) {
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    const RECT main = WindowRect(Viewer::Main());
    const int bar = WindowRect(Viewer::Tree()).bottom;  // the splitter's top edge
    // Both shown: "hide the list" at x 5..34.
    EXPECT_EQ(ScreenHue(main.left + 17, bar + 3), Hue::kGrey) << "a button is drawn on the bar";
    Tap(POINT{main.left + 17, bar + 4});
    ASSERT_TRUE(PumpUntil([] { return !Visible(Viewer::List()); }, 5000)) << "the list is hidden";
    // The bar now lies at the bottom; its button shows the list again.
    const int bottomBar = WindowRect(Viewer::Tree()).bottom;
    EXPECT_EQ(bottomBar, main.bottom - 8);
    EXPECT_TRUE(PumpUntil([&] { return ScreenHue(main.left + 17, bottomBar + 3) == Hue::kGrey; }, 5000))
        << "the button is drawn against the bar at the bottom";
    EXPECT_NE(ScreenPixel(main.left + 17, bottomBar + 3), ScreenPixel(main.left + 120, bottomBar + 3))
        << "a button, not the bare bar";
    Tap(POINT{main.left + 17, bottomBar + 4});
    EXPECT_TRUE(PumpUntil([] { return Visible(Viewer::List()) && Visible(Viewer::Tree()); }, 5000));
    // "hide the tree" at x 36..65, then the button at the top brings it back.
    Tap(POINT{main.left + 50, WindowRect(Viewer::Tree()).bottom + 4});
    ASSERT_TRUE(PumpUntil([] { return !Visible(Viewer::Tree()); }, 5000));
    Tap(POINT{main.left + 17, main.top + 4});
    EXPECT_TRUE(PumpUntil([] { return Visible(Viewer::Tree()); }, 5000));
    ASSERT_TRUE(viewer.Close());
}

// A file renamed from the File menu keeps its place under its new name.
TEST_F(Journey, RenameKeepsThePlaceInTheList) {
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    Choose(viewer, IDM_MAIN_LIST);
    ASSERT_TRUE(SelectItem(viewer, 1));
    Choose(viewer, IDM_MAIN_RENAME);
    const HWND dialog = WaitForDialog();
    ASSERT_TRUE(dialog);
    ExpectFits(dialog, "rename");
    TypeInto(dialog, IDC_REN_NEWNAME, L"zz");
    TapControl(dialog, IDC_REN_APPLY);
    EXPECT_TRUE(NoDialog());
    EXPECT_TRUE(Exists(kPics + L"zz.png"));
    EXPECT_FALSE(Exists(kPics + L"b.png"));
    EXPECT_TRUE(PumpUntil([&] { return viewer.ItemText(1, 0) == L"zz.png"; }, 5000)) << "in its place";
    Wait(1500);  // the folder watch's news of the rename changes nothing more
    EXPECT_EQ(viewer.ItemText(1, 0), L"zz.png");
    EXPECT_EQ(Viewer::ItemCount(), kPicCount);
    ASSERT_TRUE(viewer.Close());
}

// New folder, rename folder, delete folder.
TEST_F(Journey, NewRenameAndDeleteAFolder) {
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    Choose(viewer, IDM_MAIN_NEWFOLDER);
    HWND dialog = WaitForDialog();
    ASSERT_TRUE(dialog);
    ExpectFits(dialog, "new folder");
    EXPECT_EQ(Text(GetDlgItem(dialog, IDC_NF_FOLDER)), kPics);
    TypeInto(dialog, IDC_NF_NAME, L"trip");
    TapControl(dialog, IDC_NF_CREATE);
    ASSERT_TRUE(NoDialog());
    const std::wstring trip = kPics + L"trip\\";
    ASSERT_TRUE(Exists(trip)) << "the folder is made";
    CopyFixture(trip, "pics", L"a.png");
    // The new folder is the tree's child of pics: pics opened with a double
    // tap when it is closed, then the child tapped.
    const HTREEITEM parent = TreeNext(nullptr, TVGN_CARET);
    HTREEITEM item = TreeNext(parent, TVGN_CHILD);
    ASSERT_NE(item, nullptr);
    if (TreeItemRect(viewer, item).bottom == 0) DoubleTap(Centre(TreeItemRect(viewer, parent)));
    ASSERT_TRUE(PumpUntil([&] { return TreeItemRect(viewer, item).bottom > 0; }, 5000)) << "the new folder shows";
    Tap(Centre(TreeItemRect(viewer, item)));
    ASSERT_TRUE(PumpUntil([] { return Viewer::ItemCount() == 1; }, 10000)) << "the new folder is listed";
    Choose(viewer, IDM_MAIN_RENAME_FOLDER);
    dialog = WaitForDialog();
    ASSERT_TRUE(dialog);
    TypeInto(dialog, IDC_REN_NEWNAME, L"holiday");
    TapControl(dialog, IDC_REN_APPLY);
    ASSERT_TRUE(NoDialog());
    const std::wstring holiday = kPics + L"holiday\\";
    ASSERT_TRUE(Exists(holiday) && !Exists(trip)) << "the folder is renamed";
    Choose(viewer, IDM_MAIN_DELETE_FOLDER);
    const HWND ask = WaitForDialog();
    ASSERT_TRUE(ask);
    EXPECT_EQ(MessageText(ask), L"Do you want to delete this folder?");
    TapControl(ask, IDOK);
    EXPECT_TRUE(NoDialog());
    EXPECT_TRUE(PumpUntil([&] { return !Exists(holiday); }, 5000)) << "the folder is deleted with its picture";
    ASSERT_TRUE(viewer.Close());
}

// A folder that holds a link to a folder elsewhere (made on the host by the
// test's set-up, as Wine shows a host symbolic link as a link): deleting the
// folder never reaches through the link, so what it points to survives.
TEST_F(Journey, DeletingAFolderLeavesWhatItsLinkPointsTo) {
    const std::wstring top = L"\\Temp\\journey-links\\";
    const std::wstring holder = top + L"holder\\", kept = top + L"target\\keep.png";
    ASSERT_TRUE(Exists(holder + L"link\\keep.png")) << "the set-up made the link";
    ASSERT_TRUE(WriteViewerText(nullptr, L"Path", holder));
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, 1));
    Choose(viewer, IDM_MAIN_DELETE_FOLDER);
    const HWND ask = WaitForDialog();
    ASSERT_TRUE(ask);
    TapControl(ask, IDOK);
    EXPECT_TRUE(NoDialog());
    Wait(500);
    EXPECT_TRUE(Exists(kept)) << "the link's target keeps its picture";
    ASSERT_TRUE(viewer.Close());
}

// Favorites: added for the shown folder, opened from the menu, relabelled
// and deleted in the manager.
TEST_F(Journey, FavoritesAddOpenRenameAndDelete) {
    const std::wstring key = L"Software\\Trelmo\\Favorites\\";
    ASSERT_TRUE(WriteViewerText(nullptr, L"Path", kMore));
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kMoreCount));
    ChooseSteps(viewer, IDM_MAIN_FAVORITES, {0});  // "Add to favorites..." after the separator
    HWND dialog = WaitForDialog();
    ASSERT_TRUE(dialog);
    ExpectFits(dialog, "add favorite");
    Type(L"Extras");  // the label box has the focus
    TapOk();
    ASSERT_TRUE(NoDialog());
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, key + L"Extras", L"Path"), kMore);
    // Elsewhere, then back through the favorites menu.
    Choose(viewer, IDM_MAIN_UP);
    ASSERT_TRUE(PumpUntil([] { return Viewer::ItemCount() == 0; }, 10000));
    ChooseSteps(viewer, IDM_MAIN_FAVORITES, {0});  // the favorite, first
    EXPECT_TRUE(PumpUntil([] { return Viewer::ItemCount() == kMoreCount; }, 10000)) << "the favorite's folder";
    // The manager: its sheet in the handheld's style, the second page relabels.
    ChooseSteps(viewer, IDM_MAIN_FAVORITES, {2});
    const HWND sheet = WaitForDialog();
    ASSERT_TRUE(sheet);
    ExpectHandheldSheet(sheet, "favorites");
    HWND page = ShowPage(viewer, sheet, 1);
    ASSERT_TRUE(page);
    const HWND list = GetDlgItem(page, IDC_FAVLIST);
    Tap(Centre(viewer.RemoteRect(list, LVM_GETITEMRECT, 0, RECT{LVIR_LABEL, 0, 0, 0})));
    TapControl(page, IDC_FAV_RENAME);
    dialog = WaitForDialog();
    ASSERT_TRUE(dialog != sheet && dialog);
    Key(VK_END);
    Type(L"2");
    TapOk();
    ASSERT_TRUE(PumpUntil([&] { return WaitForDialog() == sheet; }, 10000));
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, key + L"Extras2", L"Path"), kMore);
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, key + L"Extras", L"Path"), L"<none>");
    Tap(Centre(viewer.RemoteRect(list, LVM_GETITEMRECT, 0, RECT{LVIR_LABEL, 0, 0, 0})));
    TapControl(page, IDC_FAV_DELETE);
    EXPECT_TRUE(PumpUntil([&] { return ReadText(HKEY_CURRENT_USER, key + L"Extras2", L"Path") == L"<none>"; }, 5000));
    TapOk();
    EXPECT_TRUE(NoDialog());
    ASSERT_TRUE(viewer.Close());
}

// The length of the white run through `y` around `x` on the screen: the
// width at which d.jpg's white centre square is shown.
int WhiteRunAt(int x, int y) {
    auto white = [y](int at) {
        const uint32_t p = ScreenPixel(at, y);
        return (p >> 16 & 255) > 200 && (p >> 8 & 255) > 200 && (p & 255) > 200;
    };
    if (!white(x)) return 0;
    int left = x, right = x;
    while (left > 0 && white(left - 1)) --left;
    while (right < GetSystemMetrics(SM_CXSCREEN) - 1 && white(right + 1)) ++right;
    return right - left + 1;
}

// In the image layout: fixed zooms, zoom in and out, panning, and, with the
// pen set to select, zoom to a drawn selection.
TEST_F(Journey, ZoomPanAndZoomToSelection) {
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    ASSERT_TRUE(SelectItem(viewer, 3));  // d.jpg
    Choose(viewer, IDM_MAIN_IMAGE);
    ASSERT_TRUE(PumpUntil([] { return Visible(Viewer::View()); }, 5000));
    const POINT c = Centre(WindowRect(Viewer::View()));
    // Fitted: 400 pixels into 240, the square's 40 into 24.
    ASSERT_TRUE(PumpUntil([&] { return std::abs(WhiteRunAt(c.x, c.y) - 24) <= 2; }, 10000)) << WhiteRunAt(c.x, c.y);
    const struct {
        UINT command;
        int run;  // the square's width on the screen
    } zooms[] = {{IDM_MAIN_ORIGINAL_SIZE, 40}, {IDM_MAIN_ZOOM50, 20},  {IDM_MAIN_ZOOM_IN, 28},
                 {IDM_MAIN_ZOOM200, 80},      {IDM_MAIN_ZOOM_OUT, 60}, {IDM_MAIN_ZOOM400, 160}};
    for (const auto& z : zooms) {
        Choose(viewer, z.command);
        EXPECT_TRUE(PumpUntil([&] { return std::abs(WhiteRunAt(c.x, c.y) - z.run) <= 2; }, 10000))
            << "command " << z.command << ": " << WhiteRunAt(c.x, c.y);
    }
    // At 400 % the square reaches 80 pixels left of the centre; a drag to
    // the right pulls the red quarter there.
    const POINT probe{c.x - 70, c.y - 10};
    ASSERT_GT(WhiteRunAt(probe.x, probe.y), 0);
    Drag(c, POINT{c.x + 80, c.y});
    EXPECT_TRUE(PumpUntil([&] { return ScreenHue(probe.x, probe.y) == Hue::kRed; }, 5000)) << "the picture follows";

    // Options, Viewer page: the pen selects instead of panning.
    Choose(viewer, IDM_MAIN_OPTIONS);
    const HWND sheet = WaitForDialog();
    ASSERT_TRUE(sheet);
    const HWND page = ShowPage(viewer, sheet, 2);
    ASSERT_TRUE(page);
    ASSERT_TRUE(Checked(page, IDC_OPT_VIEWMOVE));
    TapControl(page, IDC_OPT_VIEWMOVE);
    EXPECT_TRUE(PumpUntil([&] { return !Checked(page, IDC_OPT_VIEWMOVE); }, 5000));
    TapOk();
    ASSERT_TRUE(NoDialog());
    Choose(viewer, IDM_MAIN_FIT_ALL);
    ASSERT_TRUE(PumpUntil([&] { return std::abs(WhiteRunAt(c.x, c.y) - 24) <= 2; }, 10000));
    // A selection of about 27 picture pixels around the centre: the zoom
    // that shows it whole is 800 %, where the square covers the screen.
    Drag(POINT{c.x - 8, c.y - 8}, POINT{c.x + 8, c.y + 8});
    EXPECT_TRUE(PumpUntil([&] { return WhiteRunAt(c.x, c.y) >= 200; }, 10000))
        << "zoomed beyond 400 %: " << WhiteRunAt(c.x, c.y);
    ASSERT_TRUE(viewer.Close());
    EXPECT_EQ(ReadNumber(L"ViewMove"), 0u) << "kept";
}

// A camera photo of 4000 x 3000, decoded reduced to the screen: every zoom
// shows it at that percentage of its own pixels, whether the reduced bitmap
// is magnified or the photo decoded again, and fitting brings it back.
TEST_F(Journey, ZoomOnACameraPhotoCountsItsOwnPixels) {
    const std::wstring camera = kRoot + L"camera\\";
    ASSERT_TRUE(CreateDirectoryW(camera.c_str(), nullptr));
    CopyFixture(camera, "camera", L"photo.jpg");
    ASSERT_TRUE(WriteViewerText(nullptr, L"Path", camera));
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, 1));
    ASSERT_TRUE(SelectItem(viewer, 0));
    Choose(viewer, IDM_MAIN_IMAGE);
    ASSERT_TRUE(PumpUntil([] { return Visible(Viewer::View()); }, 5000));
    const POINT c = Centre(WindowRect(Viewer::View()));
    // Fitted, the 40-pixel square is at most a few pixels across.
    const auto small = [&] { return WhiteRunAt(c.x, c.y) <= 6; };
    ASSERT_TRUE(PumpUntil(small, 15000)) << WhiteRunAt(c.x, c.y);
    const struct {
        UINT command;
        int run;  // the square's width on the screen
    } zooms[] = {{IDM_MAIN_ZOOM150, 60}, {IDM_MAIN_ZOOM200, 80},       {IDM_MAIN_ZOOM400, 160},
                 {IDM_MAIN_FIT_ALL, 0},  {IDM_MAIN_ORIGINAL_SIZE, 40}, {IDM_MAIN_ZOOM_IN, 60},
                 {IDM_MAIN_ZOOM_OUT, 40}, {IDM_MAIN_FIT_ALL, 0},       {IDM_MAIN_ZOOM_IN, 0}};
    for (const auto& z : zooms) {
        Choose(viewer, z.command);
        if (z.run)
            EXPECT_TRUE(PumpUntil([&] { return std::abs(WhiteRunAt(c.x, c.y) - z.run) <= 3; }, 20000))
                << "command " << z.command << ": " << WhiteRunAt(c.x, c.y);
        else  // fitted, or one step in from there: still a few pixels
            EXPECT_TRUE(PumpUntil(small, 20000)) << "command " << z.command << ": " << WhiteRunAt(c.x, c.y);
    }
    EXPECT_EQ(ErrorBoxesWithin(500), 0);
    ASSERT_TRUE(viewer.Close());
}

// A zoom that needs a photo at full size when that is more than the load's
// memory budget holds: the user is told, and the photo comes back fitted.
TEST_F(Journey, AZoomBeyondTheLoadBudgetSaysSoAndFits) {
    const std::wstring giant = kRoot + L"giant\\";
    ASSERT_TRUE(CreateDirectoryW(giant.c_str(), nullptr));
    CopyFixture(giant, "giant", L"giant.jpg");
    ASSERT_TRUE(WriteViewerText(nullptr, L"Path", giant));
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, 1));
    ASSERT_TRUE(SelectItem(viewer, 0));
    Choose(viewer, IDM_MAIN_IMAGE);
    ASSERT_TRUE(PumpUntil([] { return Visible(Viewer::View()); }, 5000));
    const POINT c = Centre(WindowRect(Viewer::View()));
    // Fitted: the quarters around a square of a few pixels.
    const auto fitted = [&] {
        int hues = 0;
        for (int dx : {-30, 30})
            for (int dy : {-30, 30}) hues += ScreenHue(c.x + dx, c.y + dy) != Hue::kOther;
        return hues >= 3 && WhiteRunAt(c.x, c.y) <= 6;
    };
    ASSERT_TRUE(PumpUntil(fitted, 30000));
    Choose(viewer, IDM_MAIN_ZOOM400);
    const HWND box = WaitForDialog(60000);
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageText(box), L"Not enough memory to show the picture at this zoom: it is shown fitted to the screen.");
    TapControl(box, IDOK);
    EXPECT_TRUE(PumpUntil([&] { return !Visible(box); }, 5000));
    EXPECT_TRUE(PumpUntil(fitted, 30000)) << WhiteRunAt(c.x, c.y);
    EXPECT_EQ(ErrorBoxesWithin(1000), 0);
    ASSERT_TRUE(viewer.Close());
}

// The browser's slideshow with its transitions: a tap leaves it running, a
// double tap ends it. The strip opens its picture full screen with a double
// tap. A page of a multi-page picture is shown at its own size.
TEST_F(Journey, SlideshowStripAndPages) {
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    Tap(Centre(BarButton(viewer, IDM_MAIN_SLIDESHOW)));
    ASSERT_TRUE(PumpUntil([] { return WindowRect(Viewer::Main()).top == 0 && ScreenHue(120, 160) == Hue::kBlue; },
                          10000))
        << "the show starts full screen on the first picture";
    EXPECT_FALSE(Visible(MenuBarFind(Viewer::Main())));
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kGreen; }, 10000)) << "the timer steps it";
    Tap(POINT{120, 160});
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kRed; }, 10000)) << "a tap leaves it running";
    EXPECT_EQ(WindowRect(Viewer::Main()).top, 0);
    DoubleTap(POINT{120, 160});
    EXPECT_TRUE(PumpUntil([] { return Visible(Viewer::List()) && WindowRect(Viewer::Main()).top > 0; }, 10000))
        << "a double tap ends it";
    EXPECT_TRUE(Visible(MenuBarFind(Viewer::Main())));

    Choose(viewer, IDM_MAIN_STRIP);
    ASSERT_TRUE(PumpUntil([] { return Visible(Viewer::View()) && !Visible(Viewer::Tree()); }, 5000));
    Tap(viewer.CellCentre(1));
    const POINT view = Centre(WindowRect(Viewer::View()));
    EXPECT_TRUE(PumpUntil([&] { return ScreenHue(view.x, view.y) == Hue::kGreen; }, 10000)) << "the strip shows it";
    DoubleTap(viewer.CellCentre(1));
    EXPECT_TRUE(PumpUntil([] { return WindowRect(Viewer::Main()).top == 0 && ScreenHue(120, 160) == Hue::kGreen; },
                          10000))
        << "a double tap in the strip opens the picture full screen";
    Key(VK_RETURN);
    ASSERT_TRUE(PumpUntil([] { return Visible(Viewer::List()) && WindowRect(Viewer::Main()).top > 0; }, 10000));
    Wait(300);
    Choose(viewer, IDM_MAIN_THUMBNAILS);

    // e.tif at its own size: page 1 is 100 x 80, shown at 100 % on the
    // view's grey.
    Choose(viewer, IDM_MAIN_ORIGINAL_SIZE);
    ASSERT_TRUE(SelectItem(viewer, 4));  // e.tif
    Choose(viewer, IDM_MAIN_IMAGE);
    const RECT area = WindowRect(Viewer::View());
    const POINT middle = Centre(area);
    ASSERT_TRUE(PumpUntil([&] { return ScreenHue(middle.x, middle.y) == Hue::kRed; }, 10000)) << "page 0";
    // The picture's menu, by holding the stylus down on it.
    StylusDown(middle);
    const bool menu = PumpUntil([] { return OpenMenus().size() == 1; }, 10000);
    StylusUp(middle);
    ASSERT_TRUE(menu) << "tap-and-hold opens the picture's menu";
    for (int i = 0; i < 4; ++i) Key(VK_DOWN);  // "Next page"
    Key(VK_RETURN);
    EXPECT_TRUE(PumpUntil([&] { return ScreenHue(middle.x, middle.y) == Hue::kBlue; }, 10000)) << "page 1";
    EXPECT_EQ(ScreenHue(middle.x - 60, middle.y), Hue::kGrey) << "at 100 %: 100 pixels wide on the grey";
    EXPECT_EQ(ScreenHue(middle.x - 40, middle.y), Hue::kBlue);
    ASSERT_TRUE(viewer.Close());
}

// Options: one setting of each kind changed through the sheet (check boxes, a
// drop-down list, a colour, a spinner, a button's action, an association),
// each seen at work at once, and kept across a restart. The button page's
// choices are kept even when the sheet is cancelled.
TEST_F(Journey, OptionsTakeEffectAtOnceAndAreKept) {
    {
        Viewer viewer;
        ASSERT_TRUE(ReadyWith(viewer, kPicCount));
        ASSERT_TRUE(PumpUntil([] { return Exists(kPics + L"cache.zt"); }, 20000)) << "the cache is on at first";
        const LONG cellWidth = viewer.ItemRect(0).right - viewer.ItemRect(0).left;
        Choose(viewer, IDM_MAIN_OPTIONS);
        const HWND sheet = WaitForDialog();
        ASSERT_TRUE(sheet);
        ExpectHandheldSheet(sheet, "options");

        HWND page = ShowPage(viewer, sheet, 1);  // Browser
        ASSERT_TRUE(page);
        TapControl(page, IDC_OPT_USECACHE);
        TapControl(page, IDC_OPT_SHOWEXT);
        EXPECT_FALSE(Checked(page, IDC_OPT_USECACHE));
        EXPECT_FALSE(Checked(page, IDC_OPT_SHOWEXT));
        TapControl(page, IDC_OPT_THUMBSIZE);  // Normal: one down is Large
        Key(VK_DOWN);
        Key(VK_RETURN);
        EXPECT_EQ(SendDlgItemMessageW(page, IDC_OPT_THUMBSIZE, CB_GETCURSEL, 0, 0), 3);

        page = ShowPage(viewer, sheet, 2);  // Viewer: the background colour
        TapControl(page, IDC_OPT_VIEWBACK);
        // The system's colour chooser keeps its custom-colour part folded
        // away beyond its right edge: the chooser itself is measured.
        const HWND colours = WaitForDialog(15000, false);
        ASSERT_TRUE(colours && colours != sheet) << "the colour chooser";
        ExpectFits(colours, "colours");
        // The basic colours, 8 by 6: row 1, column 0 is pure red.
        const RECT grid = WindowRect(GetDlgItem(colours, 720));
        Tap(POINT{grid.left + (grid.right - grid.left) / 16, grid.top + 3 * (grid.bottom - grid.top) / 12});
        TapControl(colours, IDOK);
        ASSERT_TRUE(PumpUntil([&] { return WaitForDialog() == sheet; }, 10000));

        page = ShowPage(viewer, sheet, 3);  // Slideshow: the delay, 1 up to 3
        const RECT spin = WindowRect(GetDlgItem(page, IDC_OPT_DELAY_SPIN));
        for (int i = 0; i < 2; ++i) Tap(POINT{(spin.left + spin.right) / 2, spin.top + 3});
        EXPECT_EQ(Text(GetDlgItem(page, IDC_OPT_DELAY)), L"3");

        page = ShowPage(viewer, sheet, 4);  // Buttons: Left zooms in
        const HWND buttons = GetDlgItem(page, IDC_OPT_BUTTONLIST);
        Tap(Centre(viewer.RemoteRect(buttons, LVM_GETITEMRECT, 2, RECT{LVIR_BOUNDS, 0, 0, 0})));
        TapControl(page, IDC_OPT_ACTION);  // "Previous image": three down is "Zoom in"
        for (int i = 0; i < 3; ++i) Key(VK_DOWN);
        Key(VK_RETURN);
        EXPECT_EQ(viewer.ItemTextOf(buttons, 2, 1), L"Zoom in");

        page = ShowPage(viewer, sheet, 5);  // Associations: png
        const HWND types = GetDlgItem(page, IDC_OPT_ASSOCLIST);
        int png = -1;
        for (int i = 0; i < int(SendMessageW(types, LVM_GETITEMCOUNT, 0, 0)) && png < 0; ++i)
            if (viewer.ItemTextOf(types, i, 0) == L"png") png = i;
        ASSERT_GE(png, 0);
        // The first row tapped, down to png (the list scrolls), its box
        // ticked with the space bar.
        const RECT first = viewer.RemoteRect(types, LVM_GETITEMRECT, 0, RECT{LVIR_LABEL, 0, 0, 0});
        Tap(POINT{first.left + 8, (first.top + first.bottom) / 2});
        for (int i = 0; i < png; ++i) Key(VK_DOWN);
        Key(VK_SPACE);
        EXPECT_TRUE(PumpUntil([] { return ReadText(HKEY_CLASSES_ROOT, L".png", nullptr) == L"Pellaro.png"; }, 5000))
            << "associated at once";
        TapOk();
        ASSERT_TRUE(NoDialog());

        // At work without a restart.
        EXPECT_GT(viewer.ItemRect(0).right - viewer.ItemRect(0).left, cellWidth) << "larger thumbnails";
        Choose(viewer, IDM_MAIN_LIST);
        EXPECT_EQ(viewer.ItemText(0, 0), L"a") << "names without extensions";
        HTREEITEM more = TreeNext(TreeNext(nullptr, TVGN_CARET), TVGN_NEXT);
        if (!more) more = TreeNext(TreeNext(nullptr, TVGN_CARET), TVGN_PREVIOUS);
        Tap(Centre(TreeItemRect(viewer, more)));
        ASSERT_TRUE(PumpUntil([] { return Viewer::ItemCount() == kMoreCount; }, 10000));
        EXPECT_TRUE(PumpUntil([&] { return viewer.ItemText(1, 1) == L"160x120,16M"; }, 10000)) << "examined";
        Wait(1500);
        EXPECT_FALSE(Exists(kMore + L"cache.zt")) << "no cache any more";
        Tap(Centre(TreeItemRect(viewer, TreeNext(TreeNext(nullptr, TVGN_CARET), TVGN_PREVIOUS)
                                             ? TreeNext(TreeNext(nullptr, TVGN_CARET), TVGN_PREVIOUS)
                                             : TreeNext(TreeNext(nullptr, TVGN_CARET), TVGN_NEXT))));
        ASSERT_TRUE(PumpUntil([] { return Viewer::ItemCount() == kPicCount; }, 10000));
        ASSERT_TRUE(SelectItem(viewer, 0));  // a.png, blue, shown at its own size
        Choose(viewer, IDM_MAIN_IMAGE);
        const RECT area = WindowRect(Viewer::View());
        const POINT middle = Centre(area);
        EXPECT_TRUE(PumpUntil([&] { return ScreenHue(middle.x, middle.y) == Hue::kBlue; }, 10000));
        EXPECT_EQ(ScreenHue(area.left + 4, area.top + 4), Hue::kRed) << "the new background";
        const int edge = middle.x + 70;  // beyond the picture's 120 pixels
        EXPECT_EQ(ScreenHue(edge, middle.y), Hue::kRed);
        Key(VK_LEFT);  // now "Zoom in": 150 %
        EXPECT_TRUE(PumpUntil([&] { return ScreenHue(edge, middle.y) == Hue::kBlue; }, 10000)) << "zoomed in";
        ASSERT_TRUE(viewer.Close());
    }
    EXPECT_EQ(ReadNumber(L"UseCache"), 0u);
    EXPECT_EQ(ReadNumber(L"ShowExt"), 0u);
    EXPECT_EQ(ReadNumber(L"ThumbSize"), 3u);
    EXPECT_EQ(ReadNumber(L"SlideDelay"), 3u);
    EXPECT_EQ(ReadNumber(L"ViewBackColor"), DWORD(RGB(255, 0, 0)));
    EXPECT_EQ(ReadNumber(L"KeyLeft"), 5u);

    // After a restart: kept. A button's action chosen, then Cancel: kept too.
    Viewer again;
    ASSERT_TRUE(ReadyWith(again, kPicCount));
    Choose(again, IDM_MAIN_LIST);
    EXPECT_EQ(again.ItemText(0, 0), L"a") << "no extensions";
    Choose(again, IDM_MAIN_OPTIONS);
    const HWND sheet = WaitForDialog();
    ASSERT_TRUE(sheet);
    HWND page = ShowPage(again, sheet, 1);
    EXPECT_FALSE(Checked(page, IDC_OPT_USECACHE));
    EXPECT_EQ(SendDlgItemMessageW(page, IDC_OPT_THUMBSIZE, CB_GETCURSEL, 0, 0), 3);
    page = ShowPage(again, sheet, 4);
    const HWND buttons = GetDlgItem(page, IDC_OPT_BUTTONLIST);
    EXPECT_EQ(again.ItemTextOf(buttons, 2, 1), L"Zoom in");
    Tap(Centre(again.RemoteRect(buttons, LVM_GETITEMRECT, 3, RECT{LVIR_BOUNDS, 0, 0, 0})));  // Right
    TapControl(page, IDC_OPT_ACTION);  // "Next image": five down is "Zoom out"
    for (int i = 0; i < 5; ++i) Key(VK_DOWN);
    Key(VK_RETURN);
    EXPECT_EQ(again.ItemTextOf(buttons, 3, 1), L"Zoom out");
    Key(VK_ESCAPE);  // Cancel
    ASSERT_TRUE(NoDialog());
    ASSERT_TRUE(again.Close());
    EXPECT_EQ(ReadNumber(L"KeyRight"), 6u) << "the button's action is kept on Cancel";
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L".png");
}

// Chooses the command and expects a dialog (a box, a dialog or a sheet) that
// fits the screen; it is closed with Escape, or, where a page keeps that key
// for itself, with the top bar's "ok". A dialog that tells how it ended
// (`toldEnd`) shows a box after Escape, which must fit too.
void ExpectDialogOf(Viewer& viewer, UINT command, const char* what, bool toldEnd = false) {
    Choose(viewer, command);
    const HWND dialog = WaitForDialog();
    ASSERT_TRUE(dialog) << what << " opens";
    ExpectFits(dialog, what);
    Key(VK_ESCAPE);
    if (toldEnd) {
        HWND box = nullptr;
        ASSERT_TRUE(PumpUntil([&] { return (box = FrontDialog()) && box != dialog; }, 15000)) << what << " tells its end";
        Wait(100);
        testing_support::ExpectOnScreen(box, std::string(what) + "'s end", true);
        Key(VK_RETURN);
    }
    if (!PumpUntil([] { return Dialogs().empty(); }, 2000)) TapOk();
    EXPECT_TRUE(NoDialog()) << what << " closes";
}

// Every dialog and message box the menus open fits the screen with its
// controls (WaitForDialog measures each): the damaged picture's error with
// its whole path, and every command's dialog or sheet. Also run on a
// 192-dpi screen of 480x640.
TEST_F(Journey, EveryDialogAndMessageBoxFitsTheScreen) {
    ASSERT_TRUE(WriteViewerText(nullptr, L"Path", kMore));
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kMoreCount));  // broken.jpg, f.png, show.alb
    DoubleTap(viewer.CellCentre(0));
    const HWND box = WaitForDialog();
    ASSERT_TRUE(box) << "an error is shown";
    EXPECT_EQ(MessageText(box), L"Problem to load " + kMore + L"broken.jpg.");
    TapControl(box, IDOK);
    EXPECT_TRUE(NoDialog());
    Key(VK_RETURN);  // back to the browser
    ASSERT_TRUE(PumpUntil([] { return Visible(Viewer::List()) && WindowRect(Viewer::Main()).top > 0; }, 10000));

    // Dialogs: each opens, fits and closes. (Crop's sheet is the tools' own
    // test's: it opens with a second registration of the view's class.)
    ASSERT_TRUE(SelectItem(viewer, 1));  // f.png
    ExpectDialogOf(viewer, IDM_MAIN_SEARCH, "Search");
    ExpectDialogOf(viewer, IDM_MAIN_OPTIONS, "Options");
    ExpectDialogOf(viewer, IDM_MAIN_INFORMATION, "Information");
    ExpectDialogOf(viewer, IDM_MAIN_ABOUT, "About");
    for (const auto& [command, what] : std::vector<std::pair<UINT, const char*>>{
             {IDM_MAIN_RESIZE, "Resize"},
             {IDM_MAIN_CONVERT, "Convert"},
             {IDM_MAIN_ADJUST, "Adjust"},
             {IDM_MAIN_ROTATE, "Rotate"},
             {IDM_MAIN_FILTER, "Sharpen/Smooth"},
             {IDM_MAIN_BATCH_RENAME, "Batch rename"},
             {IDM_MAIN_CREATE_ALBUM, "Create Album"},
             {IDM_MAIN_CREATE_SLIDESHOW, "Create EXE slideshow"},
             {IDM_MAIN_CAPTURE, "Capture"},
             {IDM_MAIN_EMAIL, "Send by Email"},
             {IDM_MAIN_RECEIVE_INFRARED, "Receive via infrared here"},
         })
        ExpectDialogOf(viewer, command, what);
    ExpectDialogOf(viewer, IDM_MAIN_INFRARED, "Send via Infrared", true);
    ASSERT_TRUE(viewer.Close());
}

// Properties opened from full screen (a hold on the picture, Information)
// bring the top bar with its "ok", which closes them with a tap; full screen
// stays.
TEST_F(Journey, PropertiesFromFullScreenCloseWithATap) {
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    const POINT centre = {GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2};
    DoubleTap(viewer.CellCentre(1));
    ASSERT_TRUE(PumpUntil([&] { return WindowRect(Viewer::Main()).top == 0 && ScreenHue(centre.x, centre.y) == Hue::kGreen; },
                          10000))
        << "b.png full screen";
    EXPECT_FALSE(Visible(FindWindowW(L"PvTopBar", nullptr))) << "no top bar in full screen";
    ChooseFromContextMenu(centre, IDM_MAIN_INFORMATION);
    const HWND sheet = WaitForDialog();
    ASSERT_TRUE(sheet) << "the properties";
    TapOk();
    EXPECT_TRUE(NoDialog()) << "closed by a tap";
    EXPECT_TRUE(PumpUntil([] { return !Visible(FindWindowW(L"PvTopBar", nullptr)); }, 5000)) << "the top bar goes again";
    EXPECT_EQ(WindowRect(Viewer::Main()).top, 0) << "still full screen";
    ASSERT_TRUE(viewer.Close());
}

// After a menu is used the keys go to the list or the picture again, not to
// the menu bar: the arrows move the selection in the browser and step
// through the pictures in full screen, also after its context menu.
TEST_F(Journey, FocusReturnsToTheViewAfterAMenu) {
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    ASSERT_TRUE(SelectItem(viewer, 0));
    Choose(viewer, IDM_MAIN_SORT_NAME);
    Key(VK_RIGHT);
    EXPECT_TRUE(PumpUntil([] { return Viewer::Selected() == 1; }, 5000)) << "the list takes the arrow";
    Choose(viewer, IDM_MAIN_IMAGE);  // b.png
    const POINT centre = {GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2};
    ASSERT_TRUE(PumpUntil([&] { return ScreenHue(centre.x, centre.y) == Hue::kGreen; }, 10000));
    Choose(viewer, IDM_MAIN_FULLSCREEN);
    ASSERT_TRUE(PumpUntil([] { return WindowRect(Viewer::Main()).top == 0; }, 10000));
    Key(VK_RIGHT);
    EXPECT_TRUE(PumpUntil([&] { return ScreenHue(centre.x, centre.y) == Hue::kRed; }, 10000))
        << "the picture takes the arrow: c.png";
    // The context menu of full screen, then the arrow again.
    ChooseFromContextMenu(centre, IDM_MAIN_PREVIOUS_FILE);
    EXPECT_TRUE(PumpUntil([&] { return ScreenHue(centre.x, centre.y) == Hue::kGreen; }, 10000)) << "b.png";
    Key(VK_LEFT);
    EXPECT_TRUE(PumpUntil([&] { return ScreenHue(centre.x, centre.y) == Hue::kBlue; }, 10000))
        << "after the context menu the picture takes the arrow: a.png";
    Key(VK_RETURN);
    ASSERT_TRUE(viewer.Close());
}

// Crop on a.png (flat blue) and d.jpg (400 x 400, four coloured quarters):
// the preview shows each picture in its own colours, and the size fields
// take numbers of three digits as typed.
TEST_F(Journey, CropPreviewColoursAndThreeDigitSizes) {
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    // A PNG in flat blue: blue in the preview too.
    ASSERT_TRUE(SelectItem(viewer, 0));
    Choose(viewer, IDM_MAIN_CROP);
    const HWND first = WaitForDialog();
    ASSERT_TRUE(first);
    HWND page = nullptr;
    ASSERT_TRUE(PumpUntil([&] {
        page = reinterpret_cast<HWND>(SendMessageW(first, PSM_GETCURRENTPAGEHWND, 0, 0));
        return Visible(GetDlgItem(page, IDC_CR_WIDTH)) && Text(GetDlgItem(page, IDC_CR_WIDTH)) == L"160";
    }, 10000));
    const POINT middle = Centre(WindowRect(GetDlgItem(page, IDC_CR_VIEWAREA)));
    EXPECT_TRUE(PumpUntil([&] { return ScreenHue(middle.x, middle.y) == Hue::kBlue; }, 5000)) << "a.png";
    Key(VK_ESCAPE);
    if (!PumpUntil([] { return Dialogs().empty(); }, 2000)) TapOk();
    EXPECT_TRUE(NoDialog());
    ASSERT_TRUE(SelectItem(viewer, 3));
    Choose(viewer, IDM_MAIN_CROP);
    const HWND sheet = WaitForDialog();
    ASSERT_TRUE(sheet) << "the crop sheet";
    ASSERT_TRUE(PumpUntil([&] {
        page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        return Visible(GetDlgItem(page, IDC_CR_WIDTH)) && Text(GetDlgItem(page, IDC_CR_WIDTH)) == L"400";
    }, 10000)) << "the whole picture at first";
    // The preview: the view over the hidden place holder.
    const RECT area = WindowRect(GetDlgItem(page, IDC_CR_VIEWAREA));
    const POINT c = Centre(area);
    const int dx = (area.bottom - area.top) / 5, dy = (area.bottom - area.top) / 5;
    Wait(500);
    EXPECT_EQ(ScreenHue(c.x - dx, c.y - dy), Hue::kRed) << "top left";
    EXPECT_EQ(ScreenHue(c.x + dx, c.y - dy), Hue::kGreen) << "top right";
    EXPECT_EQ(ScreenHue(c.x + dx, c.y + dy), Hue::kBlue) << "bottom right";
    for (const auto& [id, typed] : std::vector<std::pair<int, std::wstring>>{
             {IDC_CR_X, L"120"}, {IDC_CR_Y, L"101"}, {IDC_CR_WIDTH, L"250"}, {IDC_CR_HEIGHT, L"275"}}) {
        TypeInto(page, id, typed);
        EXPECT_EQ(Text(GetDlgItem(page, id)), typed) << "field " << id;
    }
    Key(VK_ESCAPE);
    if (!PumpUntil([] { return Dialogs().empty(); }, 2000)) TapOk();
    EXPECT_TRUE(NoDialog());
    ASSERT_TRUE(viewer.Close());
}

// The Associations page's check boxes are drawn as boxes, light inside
// while unticked (not solid squares), with a dark tick once ticked.
TEST_F(Journey, AssociationCheckBoxesAreDrawnAsBoxes) {
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    Choose(viewer, IDM_MAIN_OPTIONS);
    const HWND sheet = WaitForDialog();
    ASSERT_TRUE(sheet);
    const HWND page = ShowPage(viewer, sheet, 5);
    ASSERT_TRUE(page);
    const HWND types = GetDlgItem(page, IDC_OPT_ASSOCLIST);
    // The first row's state image: between the row's left edge and its label.
    const RECT row = viewer.RemoteRect(types, LVM_GETITEMRECT, 0, RECT{LVIR_BOUNDS, 0, 0, 0});
    const RECT label = viewer.RemoteRect(types, LVM_GETITEMRECT, 0, RECT{LVIR_LABEL, 0, 0, 0});
    const int mid = (row.top + row.bottom) / 2;
    const int size = std::min<int>(label.left - row.left, row.bottom - row.top);
    ASSERT_GE(size, 8) << "room for a box";
    // Light pixels across the box's middle, minus its frame.
    auto lightAcross = [&] {
        int light = 0;
        for (int x = row.left + size / 3; x < row.left + size * 2 / 3; ++x) {
            const uint32_t p = ScreenPixel(x, mid);
            if ((p >> 16 & 255) > 200 && (p >> 8 & 255) > 200 && (p & 255) > 200) ++light;
        }
        return light;
    };
    const int across = size * 2 / 3 - size / 3;
    EXPECT_TRUE(PumpUntil([&] { return lightAcross() == across; }, 5000))
        << "unticked: light inside, " << lightAcross() << " of " << across;
    const bool ticked = SendMessageW(types, LVM_GETITEMSTATE, 0, LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
    EXPECT_FALSE(ticked) << "the first type starts unticked";
    Tap(POINT{label.left + 8, mid});
    Key(VK_SPACE);
    EXPECT_TRUE(PumpUntil([&] { return lightAcross() < across; }, 5000)) << "ticked: a dark tick";
    Key(VK_SPACE);  // and off again
    EXPECT_TRUE(PumpUntil([&] { return lightAcross() == across; }, 5000));
    Key(VK_ESCAPE);
    EXPECT_TRUE(NoDialog());
    ASSERT_TRUE(viewer.Close());
}

std::vector<std::wstring> Names(Viewer& viewer) {
    std::vector<std::wstring> names;
    for (int i = 0; i < Viewer::ItemCount(); ++i) names.push_back(viewer.ItemText(i, 0));
    return names;
}

// The list's item of that name; -1 when none.
int IndexOf(Viewer& viewer, const std::wstring& name) {
    const std::vector<std::wstring> names = Names(viewer);
    const auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? -1 : int(found - names.begin());
}

// Every entry of the File and Tools menus not met in the other journeys,
// once, each seen doing what it says.
TEST_F(Journey, EveryFileAndToolsMenuEntry) {
    ASSERT_TRUE(WriteViewerText(L"General", L"Home", kMore));
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    // Go to.
    Choose(viewer, IDM_MAIN_HOME);
    EXPECT_TRUE(PumpUntil([] { return Viewer::ItemCount() == kMoreCount; }, 10000)) << "Home folder";
    Choose(viewer, IDM_MAIN_UP);
    EXPECT_TRUE(PumpUntil([&] { return viewer.TreeSelection() == L"journeys"; }, 10000)) << "Up";
    Choose(viewer, IDM_MAIN_BROWSE_CARD);
    EXPECT_TRUE(PumpUntil([&] { return viewer.TreeSelection() == L"Storage Card"; }, 10000)) << "Browse Flash card";
    Choose(viewer, IDM_MAIN_MY_DOCUMENTS);
    EXPECT_TRUE(PumpUntil([&] { return viewer.TreeSelection() == L"My Documents"; }, 10000)) << "My Documents";
    Choose(viewer, IDM_MAIN_HOME);
    ASSERT_TRUE(PumpUntil([] { return Viewer::ItemCount() == kMoreCount; }, 10000));

    // Copy and Cut, then Paste in pics; Delete in more.
    ASSERT_TRUE(SelectItem(viewer, 1));  // f.png
    Choose(viewer, IDM_MAIN_COPY);
    Choose(viewer, IDM_MAIN_UP);
    HTREEITEM pics = TreeNext(TreeNext(nullptr, TVGN_CARET), TVGN_CHILD);
    while (pics && viewer.TreeText(pics) != L"pics") pics = TreeNext(pics, TVGN_NEXT);
    ASSERT_TRUE(pics);
    Tap(Centre(TreeItemRect(viewer, pics)));
    ASSERT_TRUE(PumpUntil([] { return Viewer::ItemCount() == kPicCount; }, 10000));
    Choose(viewer, IDM_MAIN_PASTE);
    EXPECT_TRUE(PumpUntil([] { return Exists(kPics + L"f.png") && Viewer::ItemCount() == kPicCount + 1; }, 10000))
        << "Paste after Copy";
    EXPECT_TRUE(Exists(kMore + L"f.png"));
    Choose(viewer, IDM_MAIN_PASTE);
    EXPECT_TRUE(PumpUntil([] { return Exists(kPics + L"Copy of f.png"); }, 10000)) << "a second Paste: a copy's name";
    ASSERT_TRUE(PumpUntil([] { return Viewer::ItemCount() == kPicCount + 2; }, 10000));
    Choose(viewer, IDM_MAIN_LIST);
    ASSERT_TRUE(SelectItem(viewer, IndexOf(viewer, L"Copy of f.png")));
    Choose(viewer, IDM_MAIN_CUT);
    Choose(viewer, IDM_MAIN_HOME);
    ASSERT_TRUE(PumpUntil([] { return Viewer::ItemCount() == kMoreCount; }, 10000));
    Choose(viewer, IDM_MAIN_PASTE);
    EXPECT_TRUE(PumpUntil([] { return Exists(kMore + L"Copy of f.png") && !Exists(kPics + L"Copy of f.png"); }, 10000))
        << "Paste after Cut moves";
    ASSERT_TRUE(PumpUntil([] { return Viewer::ItemCount() == kMoreCount + 1; }, 10000));
    const std::wstring doomed = L"Copy of f.png";
    ASSERT_TRUE(SelectItem(viewer, IndexOf(viewer, doomed)));
    Choose(viewer, IDM_MAIN_DELETE);
    const HWND ask = WaitForDialog();
    ASSERT_TRUE(ask);
    EXPECT_EQ(MessageText(ask), L"Do you want to delete this(these) file(s)?");
    TapControl(ask, IDOK);
    EXPECT_TRUE(PumpUntil([&] { return !Exists(kMore + doomed) && Viewer::ItemCount() == kMoreCount; }, 10000))
        << "Delete";

    // Select.
    Choose(viewer, IDM_MAIN_SELECT_ALL);
    EXPECT_EQ(SendMessageW(Viewer::List(), LVM_GETSELECTEDCOUNT, 0, 0), kMoreCount) << "All";
    Choose(viewer, IDM_MAIN_SELECT_NONE);
    EXPECT_EQ(SendMessageW(Viewer::List(), LVM_GETSELECTEDCOUNT, 0, 0), 0) << "None";
    ASSERT_TRUE(SelectItem(viewer, 1));
    Choose(viewer, IDM_MAIN_SELECT_INVERT);
    EXPECT_EQ(SendMessageW(Viewer::List(), LVM_GETSELECTEDCOUNT, 0, 0), kMoreCount - 1) << "Invert";
    EXPECT_EQ(Viewer::Selected(), 0);
    Choose(viewer, IDM_MAIN_MULTIPLE_SELECTION);
    const RECT label = viewer.RemoteRect(Viewer::List(), LVM_GETITEMRECT, 1, RECT{LVIR_LABEL, 0, 0, 0});
    Tap(POINT{label.left + 8, (label.top + label.bottom) / 2});
    EXPECT_TRUE(PumpUntil([] { return SendMessageW(Viewer::List(), LVM_GETSELECTEDCOUNT, 0, 0) == kMoreCount; }, 5000))
        << "a tap adds to the selection";
    Choose(viewer, IDM_MAIN_MULTIPLE_SELECTION);
    EXPECT_EQ(SendMessageW(Viewer::List(), LVM_GETSELECTEDCOUNT, 0, 0), 1) << "off: the first one stays";

    Choose(viewer, IDM_MAIN_UP);
    Tap(Centre(TreeItemRect(viewer, pics)));
    ASSERT_TRUE(PumpUntil([] { return Viewer::ItemCount() == kPicCount + 1; }, 10000));
    ASSERT_TRUE(SelectItem(viewer, IndexOf(viewer, L"d.jpg")));  // IPTC is for JPEG pictures
    ExpectDialogOf(viewer, IDM_MAIN_IPTC, "IPTC edit");

    // Quit: the program ends and keeps its zoom choice.
    Choose(viewer, IDM_MAIN_QUIT);
    EXPECT_EQ(WaitForSingleObject(viewer.Process(), 15000), WAIT_OBJECT_0) << "Quit ends the program";
    EXPECT_NE(ReadNumber(L"Fit"), 0xDEADu);
}

// Every entry of the View menu not met in the other journeys.
TEST_F(Journey, EveryViewMenuEntry) {
    // Distinct dates, newest first by name: a.png is the newest.
    for (int i = 0; i < kPicCount; ++i) {
        const HANDLE file = CreateFileW((kPics + kPicNames[i]).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        ULARGE_INTEGER when;
        when.QuadPart = 133000000000000000ull - uint64_t(i) * 864000000000ull;
        FILETIME time = {when.LowPart, when.HighPart};
        SetFileTime(file, nullptr, nullptr, &time);
        CloseHandle(file);
    }
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    const std::vector<std::wstring> byName = {L"a.png", L"b.png", L"c.png", L"d.jpg", L"e.tif"};
    const std::vector<std::wstring> reversed(byName.rbegin(), byName.rend());
    // Show filename: cells grow by a line; Recursive: the folders below too.
    const LONG cell = viewer.ItemRect(0).bottom - viewer.ItemRect(0).top;
    Choose(viewer, IDM_MAIN_SHOW_LABEL);
    EXPECT_NE(viewer.ItemRect(0).bottom - viewer.ItemRect(0).top, cell) << "Show filename";
    Choose(viewer, IDM_MAIN_UP);
    ASSERT_TRUE(PumpUntil([] { return Viewer::ItemCount() == 0; }, 10000));
    Choose(viewer, IDM_MAIN_RECURSIVE);
    EXPECT_TRUE(PumpUntil([] { return Viewer::ItemCount() == kPicCount + kMoreCount; }, 10000)) << "Recursive";
    Choose(viewer, IDM_MAIN_RECURSIVE);
    EXPECT_TRUE(PumpUntil([] { return Viewer::ItemCount() == 0; }, 10000));
    HTREEITEM pics = TreeNext(TreeNext(nullptr, TVGN_CARET), TVGN_CHILD);
    while (pics && viewer.TreeText(pics) != L"pics") pics = TreeNext(pics, TVGN_NEXT);
    ASSERT_TRUE(pics);
    Tap(Centre(TreeItemRect(viewer, pics)));
    ASSERT_TRUE(PumpUntil([] { return Viewer::ItemCount() == kPicCount; }, 10000));

    // Sort, read in the list layout.
    Choose(viewer, IDM_MAIN_LIST);
    EXPECT_EQ(Names(viewer), byName);
    Choose(viewer, IDM_MAIN_SORT_DESCENDING);
    EXPECT_EQ(Names(viewer), reversed) << "Descending";
    Choose(viewer, IDM_MAIN_SORT_ASCENDING);
    Choose(viewer, IDM_MAIN_SORT_DATE);
    EXPECT_EQ(Names(viewer), reversed) << "Date: the oldest first";
    Choose(viewer, IDM_MAIN_SORT_SIZE);
    EXPECT_EQ(Names(viewer), byName) << "Size";
    Choose(viewer, IDM_MAIN_SORT_RESOLUTION);
    EXPECT_EQ(Names(viewer).back(), L"e.tif") << "Image resolution: the largest last";
    EXPECT_EQ(Names(viewer)[3], L"d.jpg");
    Choose(viewer, IDM_MAIN_SORT_TYPE);
    {
        // The three PNG pictures together, in name order.
        const std::vector<std::wstring> names = Names(viewer);
        const auto a = std::find(names.begin(), names.end(), L"a.png");
        ASSERT_TRUE(a != names.end() && a + 2 < names.end());
        EXPECT_EQ(*(a + 1), L"b.png") << "Type";
        EXPECT_EQ(*(a + 2), L"c.png");
    }
    Choose(viewer, IDM_MAIN_SORT_NAME);
    EXPECT_EQ(Names(viewer), byName) << "Name";
    Choose(viewer, IDM_MAIN_THUMBNAILS);

    // Image layout on a.png (160 x 120): next and previous file, the fits,
    // the remaining fixed zooms on d.jpg, automatic rotation.
    ASSERT_TRUE(SelectItem(viewer, 0));
    Choose(viewer, IDM_MAIN_IMAGE);
    const RECT area = WindowRect(Viewer::View());
    const POINT c = Centre(area);
    ASSERT_TRUE(PumpUntil([&] { return ScreenHue(c.x, c.y) == Hue::kBlue; }, 10000));
    Choose(viewer, IDM_MAIN_NEXT_FILE);
    EXPECT_TRUE(PumpUntil([&] { return ScreenHue(c.x, c.y) == Hue::kGreen; }, 10000)) << "Next file";
    Choose(viewer, IDM_MAIN_PREVIOUS_FILE);
    EXPECT_TRUE(PumpUntil([&] { return ScreenHue(c.x, c.y) == Hue::kBlue; }, 10000)) << "Previous file";
    // a.png is wider than high: turned for the portrait screen, 120 wide.
    EXPECT_EQ(ScreenHue(c.x + 70, c.y - 50), Hue::kGrey);
    Choose(viewer, IDM_MAIN_ROTATE_AUTO);
    EXPECT_TRUE(PumpUntil([&] { return ScreenHue(c.x + 70, c.y - 50) == Hue::kBlue; }, 10000))
        << "Automatic rotation off: 160 wide";
    Choose(viewer, IDM_MAIN_ROTATE_AUTO);
    EXPECT_TRUE(PumpUntil([&] { return ScreenHue(c.x + 70, c.y - 50) == Hue::kGrey; }, 10000)) << "on again";
    Choose(viewer, IDM_MAIN_FIT_ALL);
    EXPECT_TRUE(PumpUntil([&] { return ScreenHue(c.x + 70, c.y) == Hue::kBlue; }, 10000))
        << "Fit to window (all): enlarged";
    Choose(viewer, IDM_MAIN_FIT_LARGE);
    EXPECT_TRUE(PumpUntil([&] { return ScreenHue(c.x + 70, c.y) == Hue::kGrey; }, 10000))
        << "Fit to window (large only): a small picture at its size";
    for (int i = 0; i < 3; ++i) Choose(viewer, IDM_MAIN_NEXT_FILE);  // d.jpg
    ASSERT_TRUE(PumpUntil([&] { return std::abs(WhiteRunAt(c.x, c.y) - 24) <= 2; }, 10000)) << "a large one fitted";
    Choose(viewer, IDM_MAIN_FILL_SCREEN);
    const int fill = (area.bottom - area.top) * 40 / 400;
    EXPECT_TRUE(PumpUntil([&] { return std::abs(WhiteRunAt(c.x, c.y) - fill) <= 1; }, 10000))
        << "Fill the screen: the height filled, " << WhiteRunAt(c.x, c.y) << " for " << fill;
    for (const auto& [command, run] : std::vector<std::pair<UINT, int>>{
             {IDM_MAIN_ZOOM25, 10}, {IDM_MAIN_ZOOM75, 30}, {IDM_MAIN_ZOOM150, 60}, {IDM_MAIN_ZOOM300, 120}}) {
        Choose(viewer, command);
        EXPECT_TRUE(PumpUntil([&, run = run] { return std::abs(WhiteRunAt(c.x, c.y) - run) <= 2; }, 10000))
            << command << ": " << WhiteRunAt(c.x, c.y);
    }
    // Full screen and back, from the View menu.
    Choose(viewer, IDM_MAIN_FULLSCREEN);
    EXPECT_TRUE(PumpUntil([] { return WindowRect(Viewer::Main()).top == 0; }, 10000)) << "Full screen";
    Key(VK_RETURN);
    EXPECT_TRUE(PumpUntil([] { return Visible(Viewer::List()); }, 10000));
    ASSERT_TRUE(viewer.Close());
}
// --- Reading drawn pixels ---------------------------------------------------------

// The screen's pixels in `r`, row by row, as 0xRRGGBB.
std::vector<uint32_t> ScreenPixels(const RECT& r) {
    const int width = std::max(0, int(r.right - r.left)), height = std::max(0, int(r.bottom - r.top));
    std::vector<uint32_t> pixels(size_t(width) * size_t(height));
    if (pixels.empty()) return pixels;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<const uint32_t*>(bits)[i] & 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Text ink: all three channels dark (thumbnails and backgrounds are not).
bool Ink(uint32_t rgb) { return (rgb >> 16 & 255) < 110 && (rgb >> 8 & 255) < 110 && (rgb & 255) < 110; }

// The first and one past the last column holding ink in a band of pixels
// `width` wide; {0, 0} without ink.
std::pair<int, int> InkColumns(const std::vector<uint32_t>& pixels, int width) {
    int first = width, last = -1;
    for (size_t i = 0; i < pixels.size(); ++i)
        if (Ink(pixels[i])) {
            first = std::min(first, int(i % size_t(width)));
            last = std::max(last, int(i % size_t(width)));
        }
    return last < 0 ? std::make_pair(0, 0) : std::make_pair(first, last + 1);
}

// The width of the ink `text` leaves when drawn on one line in a box `room`
// pixels wide with `format`, in the details rows' bold font.
HFONT DetailsBoldFont() {
    const HDC screen = GetDC(nullptr);
    const int height = -(8 * GetDeviceCaps(screen, LOGPIXELSY) / 72);
    ReleaseDC(nullptr, screen);
    return CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH, L"MS Sans Serif");
}

int InkWidthOf(const std::wstring& text, int room, UINT format) {
    const HDC screen = GetDC(nullptr);
    const HFONT font = DetailsBoldFont();
    const HDC memory = CreateCompatibleDC(screen);
    const int width = room + 40, lines = 40;
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -lines, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ oldBitmap = SelectObject(memory, dib);
    const HGDIOBJ oldFont = SelectObject(memory, font);
    RECT all = {0, 0, width, lines};
    FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetBkMode(memory, TRANSPARENT);
    SetTextColor(memory, RGB(0, 0, 0));
    RECT box = {0, 0, room, lines};
    std::wstring copy = text;
    DrawTextW(memory, &copy[0], -1, &box, format);
    GdiFlush();
    const std::vector<uint32_t> pixels(static_cast<const uint32_t*>(bits),
                                       static_cast<const uint32_t*>(bits) + size_t(width) * lines);
    SelectObject(memory, oldFont);
    SelectObject(memory, oldBitmap);
    DeleteObject(dib);
    DeleteObject(font);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    const std::pair<int, int> ink = InkColumns(pixels, width);
    return ink.second - ink.first;
}

// The details layout's first line is the entry's path in bold; where the
// path does not fit its middle gives way, so the name stays at the end.
TEST_F(Journey, DetailsRowsLeadWithTheEntrysPath) {
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    Choose(viewer, IDM_MAIN_DETAILS);
    ASSERT_EQ(GetWindowLongPtrW(Viewer::List(), GWL_STYLE) & LVS_OWNERDRAWFIXED, LVS_OWNERDRAWFIXED);
    Wait(500);
    const RECT row = viewer.ItemRect(1);  // b.png, not selected
    const int right = int(row.left + SendMessageW(Viewer::List(), LVM_GETCOLUMNWIDTH, 0, 0)) - 2;
    // The first line: from the row's top down one line of the bold font.
    const HDC screen = GetDC(nullptr);
    const HFONT font = DetailsBoldFont();
    const HGDIOBJ old = SelectObject(screen, font);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(screen, &metrics);
    SelectObject(screen, old);
    DeleteObject(font);
    ReleaseDC(nullptr, screen);
    const int line = metrics.tmHeight;
    RECT client = {};
    GetClientRect(Viewer::List(), &client);
    MapWindowPoints(Viewer::List(), nullptr, reinterpret_cast<POINT*>(&client), 2);
    const RECT band = {row.left, row.top + 2, std::min<LONG>(right, client.right), row.top + 2 + line};
    const std::pair<int, int> ink = InkColumns(ScreenPixels(band), band.right - band.left);
    ASSERT_LT(ink.first, ink.second) << "a first line is drawn";
    const int room = band.right - band.left - ink.first;
    const int path = InkWidthOf(kPics + L"b.png", room, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS);
    const int name = InkWidthOf(L"b.png", room, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    ASSERT_GT(path, name + 8) << "the path and the name tell apart";
    EXPECT_NEAR(ink.second - ink.first, path, 2) << "the path, name " << name;
    ASSERT_TRUE(viewer.Close());
}

// Sharpen/Smooth over several pictures: a step to another picture returns
// the sharpen bar to 0, keeps smoothing and noise reduction as chosen and
// shows the picture unfiltered until a value changes.
TEST_F(Journey, FilterStepsToAPictureUnsharpenedAndUnfiltered) {
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    Choose(viewer, IDM_MAIN_SELECT_ALL);
    Choose(viewer, IDM_MAIN_FILTER);
    const HWND sheet = WaitForDialog();
    ASSERT_TRUE(sheet);
    const HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_INDEXTOHWND, 0, 0));
    ASSERT_TRUE(GetDlgItem(page, IDC_SHARPENBAR)) << "the filter's page";
    const HWND steps = FindWindowExW(MenuBarFind(sheet), nullptr, TOOLBARCLASSNAMEW, nullptr);
    const auto stepTo = [&](const wchar_t* name) {
        Tap(Centre(viewer.RemoteRect(steps, TB_GETRECT, IDC_STEP_NEXT, RECT{})));
        return PumpUntil([&] { return Text(GetDlgItem(page, IDC_AD_PATH)) == kPics + name; }, 10000);
    };
    const auto position = [&](int bar) { return SendDlgItemMessageW(page, bar, TBM_GETPOS, 0, 0); };
    // The two previews side by side, drawn alike: the same pixels or not.
    const auto previewsAlike = [&] {
        Wait(300);
        return ScreenPixels(WindowRect(GetDlgItem(page, IDC_AD_BEFORE))) ==
               ScreenPixels(WindowRect(GetDlgItem(page, IDC_AD_AFTER)));
    };
    ASSERT_TRUE(stepTo(L"b.png"));
    ASSERT_TRUE(stepTo(L"c.png"));
    for (int bar : {IDC_SHARPENBAR, IDC_SMOOTHBAR}) {
        TapControl(page, bar);
        Key(VK_END);
    }
    TapControl(page, IDC_REDUCENOISE);
    ASSERT_EQ(position(IDC_SHARPENBAR), 90);
    ASSERT_EQ(position(IDC_SMOOTHBAR), 100);
    ASSERT_TRUE(Checked(page, IDC_REDUCENOISE));

    ASSERT_TRUE(stepTo(L"d.jpg"));  // sharp edges, which smoothing blurs
    EXPECT_EQ(position(IDC_SHARPENBAR), 0);
    EXPECT_EQ(position(IDC_SMOOTHBAR), 100);
    EXPECT_TRUE(Checked(page, IDC_REDUCENOISE));
    EXPECT_TRUE(previewsAlike()) << "d.jpg as it is";
    TapControl(page, IDC_REDUCENOISE);  // a change: filtered again
    EXPECT_FALSE(Checked(page, IDC_REDUCENOISE));
    EXPECT_FALSE(previewsAlike()) << "d.jpg smoothed";
    Key(VK_ESCAPE);
    if (!PumpUntil([] { return Dialogs().empty(); }, 2000)) TapOk();
    EXPECT_TRUE(NoDialog());
    ASSERT_TRUE(viewer.Close());
}

// The IPTC editor's pages name what they show, the File page its facts
// too, each page in the words of its own section of the user's language
// file; every page fits the screen.
TEST_F(Journey, IptcEditorPagesAreLabelledInTheUsersLanguage) {
    const testing_support::LanguageFileBesideProgram language(
        "ip", "ip=Labels\r\n[DlgIptc3]\r\nIDC_TCAPTION=Bijschrift\r\n[DlgIptc1]\r\nIDC_TINFO=Gegevens\r\n"
              "[DlgIptc6]\r\nIDC_TODAY=Vandaag\r\n",
        Wide(PV_VIEWER_EXE).c_str());
    ASSERT_TRUE(WriteViewerText(nullptr, L"Language", L"ip"));
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    ASSERT_TRUE(SelectItem(viewer, 3));  // d.jpg
    Choose(viewer, IDM_MAIN_IPTC);
    const HWND sheet = WaitForDialog();
    ASSERT_TRUE(sheet);
    const struct {
        int page;
        int id;
        const wchar_t* text;
    } labels[] = {
        {0, IDC_TFILENAME, L"Filename:"},
        {0, IDC_TINFO, L"Gegevens"},
        {0, IDC_TTYPE, L"Type:"},
        {0, IDC_TDIM, L"Dimensions:"},
        {0, IDC_TPIXELS, L"pixels"},
        {0, IDC_TDEPTH, L"Colors:"},
        {0, IDC_IP_TYPE, L"JPEG"},
        {0, IDC_IP_DIMENSIONS, L"400 x 400"},
        {1, IDC_TCAPTION, L"Bijschrift"},
        {1, IDC_THEADLINE, L"Headline"},
        {2, IDC_TBYLINE, L"By line"},
        {2, IDC_TPRIORITY, L"Priority"},
        {3, IDC_IP_KEYADD, L"Add"},
        {4, IDC_TSUPCAT, L"Supplemental Categories"},
        {5, IDC_IP_TODAY, L"Vandaag"},
        {5, IDC_TORIGINALREF, L"Original Transmission Reference"},
    };
    for (int index = 0; index < 6; ++index) {
        const HWND page = ShowPage(viewer, sheet, index);
        ASSERT_TRUE(Visible(page)) << "page " << index;
        Wait(200);
        testing_support::ExpectOnScreen(sheet, "IPTC page " + std::to_string(index));
        for (const auto& label : labels) {
            if (label.page != index) continue;
            const HWND control = GetDlgItem(page, label.id);
            EXPECT_TRUE(Visible(control)) << "page " << index << " control " << label.id;
            EXPECT_EQ(Text(control), label.text) << "page " << index << " control " << label.id;
        }
    }
    Key(VK_ESCAPE);
    if (!PumpUntil([] { return Dialogs().empty(); }, 2000)) TapOk();
    EXPECT_TRUE(NoDialog());
    ASSERT_TRUE(viewer.Close());
}
// The colour chooser of the options: a custom colour added there is gone
// the next time it opens; its custom colours start black each time.
TEST_F(Journey, OptionsColourChooserStartsWithBlackCustomColours) {
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    Choose(viewer, IDM_MAIN_OPTIONS);
    const HWND sheet = WaitForDialog();
    ASSERT_TRUE(sheet);
    const HWND page = ShowPage(viewer, sheet, 2);  // Viewer: the background colour
    ASSERT_TRUE(page);
    // The first of the chooser's custom colours, 8 by 2.
    const auto firstCustom = [](HWND colours) {
        const RECT grid = WindowRect(GetDlgItem(colours, 721));
        return ScreenPixel(grid.left + (grid.right - grid.left) / 16, grid.top + (grid.bottom - grid.top) / 4);
    };
    for (int opening = 0; opening < 2; ++opening) {
        SCOPED_TRACE(opening);
        TapControl(page, IDC_OPT_VIEWBACK);
        HWND colours = nullptr;
        ASSERT_TRUE(PumpUntil([&] { return (colours = FrontDialog()) != nullptr && colours != sheet; }, 15000))
            << "the colour chooser";
        Wait(300);
        EXPECT_EQ(firstCustom(colours), 0u) << "black";
        if (opening == 0) {
            // Red from the basic colours (row 1, column 0) added as a custom one.
            const RECT basic = WindowRect(GetDlgItem(colours, 720));
            Tap(POINT{basic.left + (basic.right - basic.left) / 16, basic.top + 3 * (basic.bottom - basic.top) / 12});
            TapControl(colours, 719);  // "Define Custom Colors": the part beyond the screen's edge
            SendMessageW(GetDlgItem(colours, 712), BM_CLICK, 0, 0);  // "Add to Custom Colors"
            EXPECT_TRUE(PumpUntil([&] { return screentest::HueOf(firstCustom(colours)) == Hue::kRed; }, 5000))
                << "added";
        }
        TapControl(colours, IDOK);
        ASSERT_TRUE(PumpUntil([&] { return FrontDialog() == sheet; }, 10000));
    }
    TapOk();
    EXPECT_TRUE(NoDialog());
    ASSERT_TRUE(viewer.Close());
}
// A message box brings no menu bar of its own: the main window's stays in
// sight, disabled, while the box is up, and works again after it.
TEST_F(Journey, AMessageBoxLeavesTheMenuBarInSight) {
    Viewer viewer;
    ASSERT_TRUE(ReadyWith(viewer, kPicCount));
    ASSERT_TRUE(SelectItem(viewer, 0));
    Choose(viewer, IDM_MAIN_DELETE);
    const HWND box = WaitForDialog();
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageText(box), L"Do you want to delete this(these) file(s)?");
    const HWND bar = MenuBarFind(Viewer::Main());
    EXPECT_TRUE(Visible(bar));
    EXPECT_FALSE(IsWindowEnabled(bar));
    Wait(300);
    const RECT r = WindowRect(bar);
    EXPECT_NE(ScreenPixel(r.left + 2, r.bottom - 3), 0u) << "the bar's face, not an empty black strip";
    TapControl(box, IDCANCEL);
    EXPECT_TRUE(NoDialog());
    EXPECT_TRUE(Visible(bar));
    EXPECT_TRUE(IsWindowEnabled(bar));
    EXPECT_TRUE(Exists(kPics + L"a.png"));
    ASSERT_TRUE(viewer.Close());
}
}  // namespace
