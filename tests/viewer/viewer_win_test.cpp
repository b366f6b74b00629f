// The viewer as users meet it: the real viewer.exe started under Wine on a
// folder of flat-coloured pictures, driven by posted commands, keys and
// copy-data from a second copy, and read back through its windows (styles,
// rectangles, list view items read in its own address space) and the screen.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/handheld.h"
#include "tests/albums/screen_win.h"
#include "tests/viewer/viewerprocess.h"

using screentest::Hue;
using screentest::PumpUntil;
using screentest::ScreenHue;

namespace {

const wchar_t* kFolder = L"\\Temp\\viewer\\pics\\";
const char* kPictures[] = {"blue.png", "green.png", "red.png", "spin.gif", "wide.jpg"};  // name order
constexpr int kPictureCount = 5;

void ClearRegistry() { ClearViewerSettings(); }
void WriteText(const wchar_t* section, const wchar_t* name, const wchar_t* text) {
    ASSERT_TRUE(WriteViewerText(section, name, text));
}
void WriteNumber(const wchar_t* name, DWORD value) { ASSERT_TRUE(WriteViewerNumber(name, value)); }

std::wstring ReadText(const wchar_t* name) {
    wchar_t buffer[300] = L"";
    DWORD size = sizeof buffer;
    RegGetValueW(HKEY_CURRENT_USER, L"Software\\Trelmo", name, RRF_RT_REG_SZ, nullptr, buffer, &size);
    return buffer;
}

RECT WindowRect(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

bool Visible(HWND window) { return window && IsWindowVisible(window); }

LONG_PTR ListType(HWND list) { return GetWindowLongPtrW(list, GWL_STYLE) & LVS_TYPEMASK; }

// Waits for the folder, then opens item `index` full screen through the menu
// bar's button; true once its colour fills the screen's centre.
bool OpenFullScreen(Viewer& viewer, int index, Hue colour) {
    if (!viewer.WaitForList(kPictureCount)) return false;
    viewer.SelectItem(index);
    viewer.Command(4020);
    return PumpUntil([colour] { return ScreenHue(120, 160) == colour; }, 10000);
}

class ViewerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CreateDirectoryW(L"\\Temp\\viewer", nullptr);
        CreateDirectoryW(kFolder, nullptr);
        for (const char* name : kPictures) {
            const std::wstring from = Wide(std::string(PV_VIEWER_FIXTURES) + "/" + name);
            const std::wstring to = std::wstring(kFolder) + Wide(name);
            ASSERT_TRUE(CopyFileW(from.c_str(), to.c_str(), FALSE)) << name;
        }
    }
    void SetUp() override {
        ClearRegistry();
        WriteText(nullptr, L"Path", kFolder);
        WriteNumber(L"UseCache", 0);
        WriteNumber(L"UseSplashScreen", 0);  // straight to the browser
    }
    void TearDown() override { ClearRegistry(); }
};

TEST_F(ViewerTest, StartsOnTheSavedFolderWithThumbnailsAndTree) {
    Viewer viewer;
    ASSERT_TRUE(viewer.Started());
    ASSERT_TRUE(viewer.WaitForList(kPictureCount));
    const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    const RECT main = WindowRect(Viewer::Main()), tree = WindowRect(Viewer::Tree()), list = WindowRect(Viewer::List());
    EXPECT_EQ(main.top, TopBarHeight()) << "under the top bar";
    EXPECT_EQ(main.bottom, screen.bottom - MenuBarHeight()) << "above the menu bar";
    EXPECT_TRUE(Visible(Viewer::Tree()) && Visible(Viewer::List()));
    EXPECT_FALSE(Visible(Viewer::View()));
    EXPECT_EQ(list.top - tree.bottom, 8) << "the splitter bar lies between tree and list";
    // The tree is expanded down to the folder: root, Temp, viewer, pics at least.
    EXPECT_GE(SendMessageW(Viewer::Tree(), TVM_GETCOUNT, 0, 0), 4);
    EXPECT_EQ(ListType(Viewer::List()), LVS_ICON);
    // The first cell shows blue.png's thumbnail once the worker is done.
    const POINT first = viewer.CellCentre(0);
    EXPECT_TRUE(PumpUntil([&] { return ScreenHue(first.x, first.y) == Hue::kBlue; }, 15000))
        << "no blue thumbnail at " << first.x << "," << first.y;
    const POINT second = viewer.CellCentre(1);
    EXPECT_TRUE(PumpUntil([&] { return ScreenHue(second.x, second.y) == Hue::kGreen; }, 5000));
    // Details: texts of the entry.
    EXPECT_EQ(viewer.ItemText(2, 1), L"200x150,16M");
    EXPECT_EQ(viewer.ItemText(2, 2), L"PNG");
    EXPECT_TRUE(viewer.Close());
    EXPECT_EQ(ReadText(L"Path"), kFolder);
}

TEST_F(ViewerTest, LayoutsListDetailsAndStrip) {
    Viewer viewer;
    ASSERT_TRUE(viewer.WaitForList(kPictureCount));
    viewer.Command(4008);  // List
    EXPECT_EQ(ListType(Viewer::List()), LVS_LIST);
    EXPECT_EQ(viewer.ItemText(0, 0), L"blue.png") << "list items carry their names";
    viewer.Command(4009);  // Details
    EXPECT_EQ(ListType(Viewer::List()), LVS_REPORT);
    EXPECT_EQ(viewer.ItemText(0, 0), L"") << "details rows are drawn by the program";
    // Rows are as high as the row list says, not as a measuring message did.
    const RECT row = viewer.ItemRect(0);
    EXPECT_GE(row.bottom - row.top, 60);
    viewer.Command(4010);  // Strip
    EXPECT_TRUE(Visible(Viewer::View()));
    EXPECT_FALSE(Visible(Viewer::Tree()));
    const RECT list = WindowRect(Viewer::List()), view = WindowRect(Viewer::View());
    EXPECT_EQ(view.top, list.bottom) << "the strip lies above the view";
    viewer.Command(4007);  // Thumbnails
    EXPECT_TRUE(Visible(Viewer::Tree()));
    EXPECT_FALSE(Visible(Viewer::View()));
    EXPECT_TRUE(viewer.Close());
}

TEST_F(ViewerTest, SettingsAndPathSurviveARestart) {
    {
        Viewer viewer;
        ASSERT_TRUE(viewer.WaitForList(kPictureCount));
        viewer.Command(4009);
        ASSERT_TRUE(viewer.Close());
    }
    Viewer again;
    ASSERT_TRUE(again.WaitForList(kPictureCount)) << "the saved Path is browsed again";
    EXPECT_EQ(ListType(Viewer::List()), LVS_REPORT) << "details again";
    EXPECT_TRUE(again.Close());
}

TEST_F(ViewerTest, OpensAPictureFullScreenAndStepsWithKeysAndCommands) {
    Viewer viewer;
    ASSERT_TRUE(viewer.WaitForList(kPictureCount));
    viewer.SelectItem(0);
    viewer.Command(4020);  // the full-screen button opens the selected picture
    ASSERT_TRUE(Visible(Viewer::View()));
    const RECT main = WindowRect(Viewer::Main());
    EXPECT_EQ(main.top, 0);
    EXPECT_EQ(main.bottom, GetSystemMetrics(SM_CYSCREEN)) << "full screen covers the bars";
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kBlue; }, 10000));
    viewer.Command(4237);  // Next file
    EXPECT_EQ(Viewer::Selected(), 1);
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kGreen; }, 10000));
    SendMessageW(Viewer::Main(), WM_KEYDOWN, VK_LEFT, 0);  // KeyLeft 2: previous file
    EXPECT_EQ(Viewer::Selected(), 0);
    SendMessageW(Viewer::Main(), WM_KEYDOWN, VK_UP, 0);  // KeyUp 1: next file
    EXPECT_EQ(Viewer::Selected(), 1);
    viewer.Command(4236);
    viewer.Command(4236);  // previous on the first goes to the last
    EXPECT_EQ(Viewer::Selected(), kPictureCount - 1);
    // wide.jpg (1000 x 700) is turned for the portrait screen: its left half
    // (green) comes to the bottom with a left turn... or the top; either way
    // the picture fills the width.
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 40) != ScreenHue(120, 280); }, 10000))
        << "a turned wide picture shows its halves above each other";
    viewer.Command(4020);  // back to the browser
    EXPECT_TRUE(Visible(Viewer::List()));
    EXPECT_FALSE(Visible(Viewer::View()));
    EXPECT_EQ(WindowRect(Viewer::Main()).top, TopBarHeight());
    EXPECT_TRUE(viewer.Close());
}

TEST_F(ViewerTest, SwipesInFullScreenStepThroughThePictures) {
    Viewer viewer;
    ASSERT_TRUE(OpenFullScreen(viewer, 1, Hue::kGreen));
    auto swipe = [](int dx) {
        const HWND view = Viewer::View();
        PostMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(120, 150));
        PostMessageW(view, WM_LBUTTONUP, 0, MAKELPARAM(120 + dx, 150));
        PumpUntil([] { return false; }, 400);
    };
    swipe(-10);
    EXPECT_EQ(Viewer::Selected(), 1) << "a swipe of 10 pixels does nothing";
    swipe(-11);
    EXPECT_TRUE(PumpUntil([] { return Viewer::Selected() == 2; }, 5000)) << "11 to the left: the next file";
    swipe(20);
    EXPECT_TRUE(PumpUntil([] { return Viewer::Selected() == 1; }, 5000)) << "to the right: the previous file";
    EXPECT_TRUE(viewer.Close());
}

TEST_F(ViewerTest, MenuBarButtonsFollowTheSelection) {
    Viewer viewer;
    ASSERT_TRUE(viewer.WaitForList(kPictureCount));
    const HWND bar = MenuBarFind(Viewer::Main());
    auto state = [bar](UINT command) { return int(SendMessageW(bar, TB_GETSTATE, command, 0)); };
    EXPECT_EQ(state(4030) & TBSTATE_ENABLED, 0) << "nothing selected: no information";
    EXPECT_EQ(state(4020) & TBSTATE_ENABLED, 0);
    EXPECT_NE(state(4161) & TBSTATE_HIDDEN, 0) << "adjust and save is hidden in the browser";
    viewer.SelectItem(0);
    EXPECT_NE(state(4030) & TBSTATE_ENABLED, 0);
    EXPECT_NE(state(4020) & TBSTATE_ENABLED, 0);
    EXPECT_NE(state(4027) & TBSTATE_ENABLED, 0);
    viewer.Command(4010);  // strip: delete hides, adjust and save shows
    EXPECT_NE(state(4027) & TBSTATE_HIDDEN, 0);
    EXPECT_EQ(state(4161) & TBSTATE_HIDDEN, 0);
    EXPECT_TRUE(viewer.Close());
}

// The visible popup menus, in Z order (the last opened first).
std::vector<HWND> OpenMenus() {
    std::vector<HWND> menus;
    for (HWND w = FindWindowW(L"#32768", nullptr); w; w = FindWindowExW(nullptr, w, L"#32768", nullptr))
        if (Visible(w)) menus.push_back(w);
    return menus;
}

// Opens File > Go to from the menu bar as the stylus and keys would, presses
// `keys` in the submenu and chooses the entry reached.
void ChooseInGoToMenu(const std::vector<UINT>& keys) {
    const HWND toolbar = FindWindowExW(MenuBarFind(Viewer::Main()), nullptr, TOOLBARCLASSNAMEW, nullptr);
    ASSERT_NE(toolbar, nullptr);
    PostMessageW(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(6, 6));  // "File"
    ASSERT_TRUE(PumpUntil([] { return OpenMenus().size() == 1; }, 10000)) << "the File menu opens";
    auto press = [](UINT key) {
        const HWND menu = OpenMenus().front();
        PostMessageW(menu, WM_KEYDOWN, key, 0);
        PumpUntil([] { return false; }, 100);
    };
    press(VK_DOWN);   // "Go to", the first entry
    press(VK_RIGHT);  // opened on its first entry
    ASSERT_TRUE(PumpUntil([] { return OpenMenus().size() == 2; }, 10000)) << "the Go to submenu opens";
    for (UINT key : keys) press(key);
    press(VK_RETURN);
    ASSERT_TRUE(PumpUntil([] { return OpenMenus().empty(); }, 10000));
}

TEST_F(ViewerTest, GoToMenuListsTheAncestorsAndBrowsesTheChosenOne) {
    Viewer viewer;
    ASSERT_TRUE(viewer.WaitForList(kPictureCount));
    // The fixed entries (Home folder, Up, Browse Flash card, \My Documents),
    // a separator, then "\Temp" and "\Temp\viewer": the fifth step down
    // is the nearest ancestor, which holds no pictures.
    ChooseInGoToMenu({VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN});
    EXPECT_TRUE(PumpUntil([] { return Viewer::ItemCount() == 0; }, 10000)) << "\\Temp\\viewer\\ is shown";
    // Rebuilt for that folder: its only ancestor is now the last entry.
    ChooseInGoToMenu({VK_UP});
    ASSERT_TRUE(viewer.Close());
    EXPECT_EQ(ReadText(L"Path"), L"\\Temp\\");
}

TEST_F(ViewerTest, TapAndHoldOnThePictureOpensTheContextMenu) {
    Viewer viewer;
    ASSERT_TRUE(viewer.WaitForList(kPictureCount));
    viewer.SelectItem(0);
    viewer.Command(4011);  // Image
    ASSERT_TRUE(Visible(Viewer::View()));
    PostMessageW(Viewer::View(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(60, 60));
    HWND menu = nullptr;
    EXPECT_TRUE(PumpUntil([&] { return Visible(menu = FindWindowW(L"#32768", nullptr)); }, 10000))
        << "the stylus held still opens the menu";
    if (menu) PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(PumpUntil([] { return !Visible(FindWindowW(L"#32768", nullptr)); }, 10000));
    PostMessageW(Viewer::View(), WM_LBUTTONUP, 0, MAKELPARAM(60, 60));
    EXPECT_TRUE(viewer.Close());
}

TEST_F(ViewerTest, AnimatedGifShowsItsFramesInTurn) {
    Viewer viewer;
    ASSERT_TRUE(OpenFullScreen(viewer, 3, Hue::kRed));
    // The second frame comes up on the animation timer, then the first again.
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kBlue; }, 5000));
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kRed; }, 5000));
    EXPECT_TRUE(viewer.Close());
}

TEST_F(ViewerTest, BrowserSlideshowRunsFullScreenAndStopsOnADoubleTap) {
    WriteNumber(L"SlideDelay", 1);
    WriteNumber(L"SlideUseTransition", 0);
    Viewer viewer;
    ASSERT_TRUE(viewer.WaitForList(kPictureCount));
    viewer.Command(4019);
    EXPECT_EQ(WindowRect(Viewer::Main()).bottom, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_FALSE(Visible(MenuBarFind(Viewer::Main()))) << "the menu bar is hidden during the show";
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kBlue; }, 10000));
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kGreen; }, 10000)) << "the timer steps the show";
    SendMessageW(Viewer::Main(), WM_KEYDOWN, VK_DOWN, 0);  // back by one
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kBlue; }, 10000));
    // A tap changes nothing in full screen; a double tap ends the show: back
    // to thumbnails with the bars.
    const HWND view = Viewer::View();
    PostMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 100));
    PostMessageW(view, WM_LBUTTONUP, 0, MAKELPARAM(100, 100));
    PumpUntil([] { return false; }, 300);
    EXPECT_FALSE(Visible(Viewer::List()));
    PostMessageW(view, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(100, 100));
    PostMessageW(view, WM_LBUTTONUP, 0, MAKELPARAM(100, 100));
    EXPECT_TRUE(PumpUntil([] { return Visible(Viewer::List()); }, 10000));
    EXPECT_TRUE(Visible(MenuBarFind(Viewer::Main())));
    EXPECT_EQ(WindowRect(Viewer::Main()).top, TopBarHeight());
    EXPECT_TRUE(viewer.Close());
}

TEST_F(ViewerTest, SecondCopyHandsItsQuotedCommandLineToTheFirst) {
    Viewer first;
    ASSERT_TRUE(first.WaitForList(kPictureCount));
    {
        Viewer empty;  // an empty line only brings the first forward
        ASSERT_TRUE(empty.Started());
        EXPECT_EQ(WaitForSingleObject(empty.Process(), 15000), WAIT_OBJECT_0);
        EXPECT_TRUE(Visible(Viewer::List()));
    }
    const std::wstring path = std::wstring(L"\"") + kFolder + L"red.png\"";
    Viewer second(path);
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(WaitForSingleObject(second.Process(), 15000), WAIT_OBJECT_0) << "the second copy ends";
    DWORD code = 1;
    GetExitCodeProcess(second.Process(), &code);
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(PumpUntil([] { return Viewer::Selected() == 2 && Visible(Viewer::View()); }, 10000))
        << "the first copy selects and shows the picture";
    EXPECT_EQ(WindowRect(Viewer::Main()).top, 0) << "full screen";
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kRed; }, 10000));
    // Copy-data whose text is not terminated is refused.
    const wchar_t bad[4] = {L'\\', L'x', L'y', L'z'};
    COPYDATASTRUCT data = {0, sizeof bad, const_cast<wchar_t*>(bad)};
    EXPECT_EQ(SendMessageW(Viewer::Main(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)), FALSE);
    EXPECT_TRUE(first.Close());
}

TEST_F(ViewerTest, CommandLinePictureWinsOverTheSavedFolder) {
    CreateDirectoryW(L"\\Temp\\viewer\\other", nullptr);
    const std::wstring picture = L"\\Temp\\viewer\\other\\only.png";
    ASSERT_TRUE(CopyFileW(Wide(std::string(PV_VIEWER_FIXTURES) + "/red.png").c_str(), picture.c_str(), FALSE));
    Viewer viewer(L"\"" + picture + L"\"");
    ASSERT_TRUE(viewer.WaitForList(1)) << "the picture's folder, not Path, is listed";
    EXPECT_TRUE(PumpUntil([] { return Visible(Viewer::View()) && ScreenHue(120, 160) == Hue::kRed; }, 10000));
    // Nothing else is browsed afterwards.
    PumpUntil([] { return false; }, 500);
    EXPECT_EQ(Viewer::ItemCount(), 1);
    EXPECT_TRUE(viewer.Close());
    EXPECT_EQ(ReadText(L"Path"), L"\\Temp\\viewer\\other\\");
    DeleteFileW(picture.c_str());
}

TEST_F(ViewerTest, CommandLineAlbumPlaysAsASlideshow) {
    CreateDirectoryW(L"\\Temp\\viewer\\albums", nullptr);
    const std::wstring album = L"\\Temp\\viewer\\albums\\SHOW.ALB";
    ASSERT_TRUE(CopyFileW(Wide(std::string(PV_VIEWER_FIXTURES) + "/show.alb").c_str(), album.c_str(), FALSE));
    Viewer viewer(L"\"" + album + L"\"");
    HWND show = nullptr;
    EXPECT_TRUE(PumpUntil([&] { return Visible(show = FindWindowW(L"slideClass", nullptr)); }, 15000))
        << "the album's show window";
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kBlue; }, 10000));
    if (show) PostMessageW(show, WM_CLOSE, 0, 0);
    EXPECT_TRUE(viewer.Close());
    DeleteFileW(album.c_str());
}

TEST_F(ViewerTest, ADisabledMainWindowKeepsItsMenuBarInSightDisabled) {
    Viewer viewer;
    ASSERT_TRUE(viewer.WaitForList(kPictureCount));
    const HWND bar = MenuBarFind(Viewer::Main());
    ASSERT_TRUE(Visible(bar));
    // A modal window in front that brings no menu bar of its own (a message
    // box) disables the main window: its bar stays in sight, disabled, rather
    // than an empty strip of screen.
    EnableWindow(Viewer::Main(), FALSE);
    EXPECT_TRUE(PumpUntil([&] { return Visible(bar) && !IsWindowEnabled(bar); }, 5000));
    EnableWindow(Viewer::Main(), TRUE);
    EXPECT_TRUE(PumpUntil([&] { return Visible(bar) && IsWindowEnabled(bar); }, 5000));
    EXPECT_TRUE(viewer.Close());
}

TEST_F(ViewerTest, SplitterHidesAndShowsThePanes) {
    Viewer viewer;
    ASSERT_TRUE(viewer.WaitForList(kPictureCount));
    const HWND main = Viewer::Main();
    RECT tree = WindowRect(Viewer::Tree());
    POINT bar = {0, tree.bottom - tree.top + 4};  // client y within the bar
    auto tap = [&](int x) {
        SendMessageW(main, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, bar.y));
        SendMessageW(main, WM_LBUTTONUP, 0, MAKELPARAM(x, bar.y));
    };
    tap(35);  // between the buttons: nothing
    EXPECT_TRUE(Visible(Viewer::Tree()) && Visible(Viewer::List()));
    tap(40);  // hides the tree
    EXPECT_FALSE(Visible(Viewer::Tree()));
    bar.y = 4;
    tap(10);  // shows it again
    EXPECT_TRUE(Visible(Viewer::Tree()));
    // Dragging to the very top leaves 40 pixels of tree.
    bar.y = tree.bottom - tree.top + 4;
    SendMessageW(main, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, bar.y));
    SendMessageW(main, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(100, 0));
    SendMessageW(main, WM_LBUTTONUP, 0, MAKELPARAM(100, 0));
    tree = WindowRect(Viewer::Tree());
    EXPECT_EQ(tree.bottom - tree.top, 40);
    EXPECT_TRUE(viewer.Close());
}

// Every dialog of the program fits the handheld's work area with the fonts
// the test prefix pins.
INT_PTR CALLBACK NoDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

BOOL CALLBACK CollectDialog(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR user) {
    if (IS_INTRESOURCE(name)) reinterpret_cast<std::vector<UINT>*>(user)->push_back(UINT(UINT_PTR(name)));
    return TRUE;
}

TEST(ViewerDialogs, EveryDialogFitsTheScreen) {
    const HMODULE program = LoadLibraryExW(Wide(PV_VIEWER_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(program);
    std::vector<UINT> ids;
    EnumResourceNamesW(program, reinterpret_cast<LPCWSTR>(RT_DIALOG), CollectDialog, reinterpret_cast<LONG_PTR>(&ids));
    EXPECT_FALSE(ids.empty());
    const RECT area = HandheldWorkArea();
    const int available = area.bottom - area.top - MenuBarHeight();
    const HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);
    for (UINT id : ids) {
        const HRSRC found = FindResourceW(program, MAKEINTRESOURCEW(id), reinterpret_cast<LPCWSTR>(RT_DIALOG));
        const auto* tmpl = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(program, found)));
        ASSERT_TRUE(tmpl);
        const HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), tmpl, parent, NoDialogProc, 0);
        ASSERT_TRUE(dialog) << "dialog " << id;
        const RECT r = WindowRect(dialog);
        EXPECT_LE(r.right - r.left, 240) << "dialog " << id << " is too wide";
        EXPECT_LE(r.bottom - r.top, available) << "dialog " << id << " is too high";
        DestroyWindow(dialog);
    }
    DestroyWindow(parent);
    FreeLibrary(program);
}

}  // namespace
