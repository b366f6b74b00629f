// The main window's commands end to end under Wine: the real main window with
// its tree, list and view on the device root, each command sent as the menu
// sends it, its dialogs answered by the modal driver, and the files, list
// and menu checks read back.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "display/display_win.h"
#include "display/viewlayout.h"
#include "imagelib/bitmap.h"
#include "imagelib/formats.h"
#include "imagelib/save.h"
#include "imagelib/imagelib.h"
#include "platform/framework_win.h"
#include "platform/handheld.h"
#include "resources/albumwizard.rh"
#include "resources/commands.rh"
#include "resources/main.rh"
#include "resources/options.rh"
#include "resources/sharing.rh"
#include "resources/startscreen.rh"
#include "resources/tools.rh"
#include "app/associations_win.h"
#include "app/commandlogic.h"
#include "app/commands_win.h"
#include "app/favorites_win.h"
#include "shell/language_win.h"
#include "app/startscreen_win.h"
#include "app/viewer_win.h"
#include "platform/irsock.h"
#include "platform/mailstore.h"
#include "tools/albumwizard_win.h"
#include "tests/sharing/obexpeer.h"
#include "tests/support/foldertree.h"
#include "tests/support/languagefile.h"
#include "tests/support/menubar.h"
#include "tests/support/missingoracle.h"
#include "tests/support/modaldriver.h"
#include "tests/support/pictures.h"
#include "tests/support/removetree_win.h"
#include "tests/support/testfiles.h"

namespace {

using modaltest::Click;
using modaltest::ItemText;
using modaltest::ModalDriver;

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void MakeFile(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "not a picture", 13, &written, nullptr);
    CloseHandle(file);
}

void Pump() {
    for (int round = 0; round < 5; ++round) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(10);
    }
}

void Command(UINT id) {
    SendMessageW(g_AppSettings.mainWindow, WM_COMMAND, id, 0);
    Pump();
}

bool MenuChecked(UINT id) { return (GetMenuState(MainMenu(), id, MF_BYCOMMAND) & MF_CHECKED) != 0; }

// The dialog lies within the 240 x 320 screen.
void ExpectFitsScreen(HWND dialog) {
    RECT r;
    GetWindowRect(dialog, &r);
    EXPECT_GE(r.left, 0);
    EXPECT_GE(r.top, 0);
    EXPECT_LE(r.right, 240);
    EXPECT_LE(r.bottom, 320);
}

void Answer(ModalDriver& driver, int button) {
    driver.OnDialog([button](HWND box) { Click(box, button); });
}

class Commands : public ::testing::Test {
protected:
    static std::wstring CardFolder() {
        return L"\\Storage Card\\cmd" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    }
    static std::wstring GoToFolder() { return L"\\Temp\\goto" + std::to_wstring(GetCurrentProcessId()) + L"\\"; }
    // Twelve levels below GoToFolder().
    static std::wstring DeepFolder() {
        std::wstring deep = GoToFolder();
        for (int i = 0; i < 12; ++i) deep += L"d" + std::to_wstring(i) + L"\\";
        return deep;
    }
    static void SetUpTestSuite() {
        // The folder tree reads a folder's children when it first opens it:
        // the card's pictures are there before it starts.
        CreateDirectoryW(CardFolder().c_str(), nullptr);
        CreateDirectoryW((CardFolder() + L"DCIM").c_str(), nullptr);
        MakeFile(CardFolder() + L"DCIM\\p.JPG");
        // Likewise the "Go to" menu's folders.
        for (const std::wstring& folder : {GoToFolder(), GoToFolder() + L"a folder with a rather long name\\",
                                           GoToFolder() + L"a folder with a rather long name\\deeper\\"})
            CreateDirectoryW(folder.c_str(), nullptr);
        std::wstring deep = GoToFolder();
        for (int i = 0; i < 12; ++i) CreateDirectoryW((deep += L"d" + std::to_wstring(i) + L"\\").c_str(), nullptr);
        g_Instance = GetModuleHandleW(nullptr);
        InitFormatRegistry();
        DisplayInit();
        INITCOMMONCONTROLSEX controls = {sizeof controls,
                                         ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        LngOpen("en");
        ASSERT_EQ(InitInstance(g_Instance, SW_SHOW, L""), 1);
        ShowWindow(g_AppSettings.mainWindow, SW_SHOW);
        Pump();
    }
    static void TearDownTestSuite() {
        DestroyWindow(g_AppSettings.mainWindow);
        Pump();
        LngClose();
        FreeFormatRegistry();
        DisplayRelease();
        DeleteFolderTreeForce(CardFolder());
        DeleteFolderTreeForce(GoToFolder());
    }

    void SetUp() override {
        folder_ = L"\\Temp\\commands" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        RemoveAll(folder_);
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((folder_ + L"other").c_str(), nullptr));
    }
    void TearDown() override {
        Browse(L"\\Temp\\");
        RemoveAll(folder_);
    }

    static void RemoveAll(const std::wstring& folder) {
        if (Exists(folder)) DeleteFolderTreeForce(folder);
    }
    static void DeleteFolderTreeForce(const std::wstring& folder) { testing_support::RemoveFolderTree(folder); }

    static void Browse(const std::wstring& folder) {
        TreeSelectPath(g_AppSettings.treeWindow, folder.c_str());
        Pump();
    }

    static int ListCount() { return int(SendMessageW(g_AppSettings.listWindow, LVM_GETITEMCOUNT, 0, 0)); }
    static int SelectedCount() {
        return int(SendMessageW(g_AppSettings.listWindow, LVM_GETSELECTEDCOUNT, 0, 0));
    }
    // Selects the list's item of that name.
    static void SelectName(const std::wstring& name) {
        BrowserModel* model = ViewerModel();
        ASSERT_NE(model, nullptr);
        const FileList& entries = model->Entries();
        for (size_t i = 0; i < entries.size(); ++i) {
            const std::wstring path = entries[i].path;
            if (path.size() >= name.size() && path.compare(path.size() - name.size(), name.size(), name) == 0) {
                SelectOnly(g_AppSettings.listWindow, long(i));
                Pump();
                return;
            }
        }
        FAIL() << "not listed";
    }
    // Waits for the folder watch to bring the list to `count` entries.
    static bool ListReaches(int count) {
        for (int i = 0; i < 200 && ListCount() != count; ++i) Pump();
        return ListCount() == count;
    }

    // Copies of the tools' fixture pictures (fixture, name) in the folder,
    // browsed with all of them selected.
    void BrowseAllSelected(const std::vector<std::pair<const char*, std::wstring>>& copies);

    std::wstring folder_;
};

TEST_F(Commands, CopyCutAndPasteMakeCopyNames) {
    MakeFile(folder_ + L"a.jpg");
    Browse(folder_);
    ASSERT_EQ(ListCount(), 1);
    SelectName(L"a.jpg");
    EXPECT_TRUE(GetMenuState(MainMenu(), IDM_MAIN_PASTE, MF_BYCOMMAND) & MF_GRAYED || !ViewerModel()->ClipboardFiles().empty());
    Command(IDM_MAIN_COPY);
    EXPECT_FALSE(GetMenuState(MainMenu(), IDM_MAIN_PASTE, MF_BYCOMMAND) & MF_GRAYED);
    for (int i = 0; i < 3; ++i) Command(IDM_MAIN_PASTE);
    for (const wchar_t* name : {L"a.jpg", L"Copy of a.jpg", L"Copy (2) of a.jpg", L"Copy (3) of a.jpg"})
        EXPECT_TRUE(Exists(folder_ + name)) << name;

    // Cut into the other folder moves; a second Paste finds no source.
    SelectName(L"a.jpg");
    Command(IDM_MAIN_CUT);
    Browse(folder_ + L"other\\");
    Command(IDM_MAIN_PASTE);
    EXPECT_TRUE(Exists(folder_ + L"other\\a.jpg"));
    EXPECT_FALSE(Exists(folder_ + L"a.jpg"));
    Command(IDM_MAIN_PASTE);
    EXPECT_FALSE(Exists(folder_ + L"other\\Copy of a.jpg"));
}

TEST_F(Commands, DeleteAsksAgainForReadOnlyFiles) {
    MakeFile(folder_ + L"keep.jpg");
    SetFileAttributesW((folder_ + L"keep.jpg").c_str(), FILE_ATTRIBUTE_READONLY);
    Browse(folder_);
    SelectName(L"keep.jpg");
    {
        ModalDriver driver;
        Answer(driver, IDCANCEL);  // "delete these files?"
        Command(IDM_MAIN_DELETE);
    }
    EXPECT_TRUE(Exists(folder_ + L"keep.jpg"));
    {
        ModalDriver driver;
        Answer(driver, IDOK);
        Answer(driver, IDCANCEL);  // the read-only question: kept
        Command(IDM_MAIN_DELETE);
    }
    EXPECT_TRUE(Exists(folder_ + L"keep.jpg"));
    {
        ModalDriver driver;
        Answer(driver, IDOK);
        Answer(driver, IDOK);  // the read-only question: deleted
        Command(IDM_MAIN_DELETE);
    }
    EXPECT_FALSE(Exists(folder_ + L"keep.jpg"));
    EXPECT_TRUE(ListReaches(0));
}

TEST_F(Commands, RenameKeepsTheExtensionAndRefusesBadNames) {
    MakeFile(folder_ + L"old.jpg");
    Browse(folder_);
    SelectName(L"old.jpg");
    ModalDriver driver;
    driver.OnDialog([](HWND dialog) {
        ExpectFitsScreen(dialog);
        EXPECT_EQ(ItemText(dialog, IDC_REN_CURRENT), L"old.jpg");
        EXPECT_EQ(ItemText(dialog, IDC_REN_NEWNAME), L"old");
        EXPECT_EQ(ItemText(dialog, IDC_REN_EXTENSION), L".jpg");
        SetDlgItemTextW(dialog, IDC_REN_NEWNAME, L"..\\escape");
        Click(dialog, IDC_REN_APPLY);  // refused: a message, the dialog stays
        SetDlgItemTextW(dialog, IDC_REN_NEWNAME, L"new");
        Click(dialog, IDC_REN_APPLY);
    });
    driver.OnDialog([](HWND box) { Click(box, IDOK); });
    Command(IDM_MAIN_RENAME);
    EXPECT_TRUE(Exists(folder_ + L"new.jpg"));
    EXPECT_FALSE(Exists(folder_ + L"old.jpg"));
    EXPECT_FALSE(Exists(L"\\Temp\\escape.jpg"));
}

TEST_F(Commands, NewFolderProposesAFreeNameAndRenameFolderMovesIt) {
    ASSERT_TRUE(CreateDirectoryW((folder_ + L"New Folder").c_str(), nullptr));
    Browse(folder_);
    {
        ModalDriver driver;
        driver.OnDialog([this](HWND dialog) {
            ExpectFitsScreen(dialog);
            EXPECT_EQ(ItemText(dialog, IDC_NF_FOLDER), folder_);
            EXPECT_EQ(ItemText(dialog, IDC_NF_NAME), L"New Folder (1)");
            SetDlgItemTextW(dialog, IDC_NF_NAME, L"");
            Click(dialog, IDC_NF_CREATE);  // refused
            SetDlgItemTextW(dialog, IDC_NF_NAME, L"Trips");
            Click(dialog, IDC_NF_CREATE);
        });
        driver.OnDialog([](HWND box) { Click(box, IDOK); });
        Command(IDM_MAIN_NEWFOLDER);
    }
    EXPECT_TRUE(Exists(folder_ + L"Trips"));
    {
        ModalDriver driver;
        driver.OnDialog([](HWND dialog) { Click(dialog, IDOK); });  // the title bar's ok creates nothing
        Command(IDM_MAIN_NEWFOLDER);
    }
    EXPECT_FALSE(Exists(folder_ + L"New Folder (1)"));

    // The shown folder (with its open thumbnail cache) renamed.
    Browse(folder_ + L"Trips\\");
    MakeFile(folder_ + L"Trips\\p.jpg");
    {
        ModalDriver driver;
        driver.OnDialog([](HWND dialog) {
            ExpectFitsScreen(dialog);
            EXPECT_EQ(ItemText(dialog, IDC_REN_CURRENT), L"Trips");
            SetDlgItemTextW(dialog, IDC_REN_NEWNAME, L"Journeys");
            Click(dialog, IDC_REN_APPLY);
        });
        Command(IDM_MAIN_RENAME_FOLDER);
    }
    EXPECT_TRUE(Exists(folder_ + L"Journeys\\p.jpg"));
    EXPECT_FALSE(Exists(folder_ + L"Trips"));
    EXPECT_EQ(std::wstring(g_AppSettings.currentFolder), folder_ + L"Journeys\\");

    // Deleted while shown, after the question.
    {
        ModalDriver driver;
        Answer(driver, IDOK);
        Command(IDM_MAIN_DELETE_FOLDER);
    }
    EXPECT_FALSE(Exists(folder_ + L"Journeys"));
}

TEST_F(Commands, RenameFolderShowsTheLocationWithoutItsSeparator) {
    struct Case {
        const wchar_t* folder;
        const wchar_t* location;  // as the dialog shows it
        const wchar_t* newPath;   // after "Renamed" is typed
    };
    const Case cases[] = {
        {L"\\Temp\\Trips\\", L"\\Temp", L"\\Temp\\Renamed"},
        {L"\\Trips\\", L"", L"\\Renamed"},  // a folder in the root
    };
    for (const Case& c : cases) {
        std::wstring location, name, path;
        ModalDriver driver;
        driver.OnDialog([&](HWND dialog) {
            location = ItemText(dialog, IDC_REN_FOLDER);
            EXPECT_EQ(ItemText(dialog, IDC_REN_CURRENT), L"Trips");
            SetDlgItemTextW(dialog, IDC_REN_NEWNAME, L"Renamed");
            Click(dialog, IDC_REN_APPLY);
        });
        EXPECT_EQ(RenameFolderDialog(g_AppSettings.mainWindow, c.folder, &name, &path), 1);
        EXPECT_EQ(location, c.location) << c.folder;
        EXPECT_EQ(name, L"Renamed");
        EXPECT_EQ(path, c.newPath) << c.folder;
    }
}

TEST_F(Commands, GoToFoldersAndCards) {
    const std::wstring card = CardFolder();
    Browse(folder_ + L"other\\");
    Command(IDM_MAIN_UP);
    EXPECT_EQ(std::wstring(g_AppSettings.currentFolder), folder_);
    std::wstring found;
    ASSERT_TRUE(FolderHoldsPictures(card, &found));
    EXPECT_EQ(found, card + L"DCIM\\");
    Command(IDM_MAIN_BROWSE_CARD);
    EXPECT_EQ(std::wstring(g_AppSettings.currentFolder), FindCardPictures());
    EXPECT_EQ(FindCardPictures().rfind(L"\\Storage Card\\", 0), 0u) << FindCardPictures();
}

// The File menu's "Go to" submenu: its fixed entries, then one entry per
// ancestor of the shown folder.
HMENU GoToMenu() { return GetSubMenu(GetSubMenu(MainMenu(), 0), 0); }

std::vector<std::wstring> GoToTexts() {
    std::vector<std::wstring> texts;
    const HMENU menu = GoToMenu();
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = L"";
        if (GetMenuStringW(menu, UINT(i), text, 128, MF_BYPOSITION) > 0) texts.push_back(text);
        else texts.push_back(L"-");
    }
    return texts;
}

TEST_F(Commands, GoToMenuNamesTheAncestorsAndBrowsesThere) {
    const std::vector<std::wstring> fixed = {L"Home folder", L"Up", L"Browse Flash card", L"\\My Documents"};
    Browse(L"\\");
    EXPECT_EQ(GoToTexts(), fixed) << "the root has no ancestors, and no separator is left";

    const std::wstring longer = GoToFolder() + L"a folder with a rather long name";
    Browse(longer + L"\\deeper\\");
    ASSERT_EQ(std::wstring(g_AppSettings.currentFolder), longer + L"\\deeper\\");
    std::vector<std::wstring> texts = GoToTexts();
    ASSERT_EQ(texts.size(), fixed.size() + 1 + 3);
    EXPECT_EQ(texts[4], L"-");
    EXPECT_EQ(texts[5], L"\\Temp");
    // Cut to fit the menu's 100 pixels.
    const std::wstring& cut = texts[7];
    ASSERT_GT(cut.size(), 3u);
    EXPECT_LT(cut.size(), longer.size());
    EXPECT_EQ(cut.substr(cut.size() - 3), L"...") << cut;
    EXPECT_EQ(longer.compare(0, cut.size() - 3, cut, 0, cut.size() - 3), 0) << cut;
    EXPECT_EQ(GetMenuItemID(GoToMenu(), 5), UINT(IDM_MAIN_GOTO_FIRST));

    Command(IDM_MAIN_GOTO_FIRST + 1);
    EXPECT_EQ(std::wstring(g_AppSettings.currentFolder), GoToFolder());
    EXPECT_EQ(GoToTexts().size(), fixed.size() + 1 + 1) << "rebuilt for the new folder";
    Command(IDM_MAIN_GOTO_FIRST + 4);  // no such entry now: nothing
    EXPECT_EQ(std::wstring(g_AppSettings.currentFolder), GoToFolder());
    Command(IDM_MAIN_GOTO_FIRST);
    EXPECT_EQ(std::wstring(g_AppSettings.currentFolder), L"\\Temp\\");

    // Deeper than ten levels: the ten nearest ancestors, and each entry goes
    // where it says.
    const std::wstring deep = DeepFolder();
    Browse(deep);
    ASSERT_EQ(std::wstring(g_AppSettings.currentFolder), deep);
    EXPECT_EQ(GoToTexts().size(), fixed.size() + 1 + 10);
    Command(IDM_MAIN_GOTO_LAST);
    EXPECT_EQ(std::wstring(g_AppSettings.currentFolder), ParentFolder(deep));
}

TEST_F(Commands, EveryMenuCommandHasItsItemAndText) {
    struct Item {
        UINT id;
        const wchar_t* text;
    };
    const Item mainItems[] = {
        {4014, L"About..."}, {4013, L"Quit"}, {4007, L"Thumbnails"}, {4008, L"List"}, {4009, L"Details"},
        {4010, L"Strip"}, {4011, L"Image"}, {4012, L"Full screen"}, {4015, L"Home folder"}, {4016, L"Up"},
        {4017, L"Browse Flash card"}, {4018, L"\\My Documents"}, {4019, L"Slideshow"}, {4022, L"New folder..."},
        {4023, L"Delete folder"}, {4153, L"Rename folder..."}, {4028, L"Rename..."}, {4162, L"Batch rename..."},
        {4027, L"Delete"}, {4024, L"Cut"}, {4025, L"Copy"}, {4026, L"Paste"}, {4030, L"Information..."},
        {4034, L"Crop..."}, {4052, L"Resize..."}, {4055, L"Adjust..."}, {4054, L"Convert..."}, {4140, L"Rotate..."},
        {4151, L"Sharpen/Smooth..."}, {4141, L"Capture..."}, {4152, L"Create EXE slideshow..."},
        {4176, L"Create Album..."}, {4142, L"Options..."}, {4180, L"IPTC edit..."}, {4227, L"Search..."},
        {4048, L"All"}, {4049, L"None"}, {4050, L"Invert"}, {4051, L"Multiple selection"}, {4125, L"Original size"},
        {4128, L"150%"}, {4123, L"200%"}, {4130, L"300%"}, {4129, L"400%"}, {4126, L"75%"}, {4124, L"50%"},
        {4127, L"25%"}, {4185, L"Zoom in"}, {4186, L"Zoom out"}, {4238, L"Lock zoom"}, {4228, L"Fill the screen"},
        {4131, L"Fit to window (large only)"}, {4122, L"Fit to window (all)"}, {4121, L"Automatic rotation"},
        {4132, L"Send by Email..."}, {4187, L"Send via Infrared..."}, {4188, L"Receive via infrared here"},
        {4133, L"Name"}, {4134, L"Date"}, {4135, L"Type"}, {4136, L"Size"}, {4137, L"Image resolution"},
        {4138, L"Ascending"}, {4139, L"Descending"}, {4225, L"Show filename (thumbnail)"}, {4223, L"Previous page"},
        {4224, L"Next page"}, {4226, L"Recursive"},
    };
    const Item viewItems[] = {{4236, L"Previous file"}, {4237, L"Next file"}, {4122, L"Fit to screen"}};
    auto textOf = [](HMENU menu, UINT id) {
        wchar_t text[64] = L"";
        GetMenuStringW(menu, id, text, 64, MF_BYCOMMAND);
        return std::wstring(text);
    };
    for (const Item& item : mainItems) EXPECT_EQ(textOf(MainMenu(), item.id), item.text) << item.id;
    const HMENU viewMenu = LoadMenuW(g_Instance, MAKEINTRESOURCEW(IDM_MAIN_CONTEXT));
    ASSERT_TRUE(viewMenu);
    for (const Item& item : viewItems) EXPECT_EQ(textOf(viewMenu, item.id), item.text) << item.id;
    DestroyMenu(viewMenu);
}

TEST_F(Commands, SelectionModes) {
    for (const wchar_t* name : {L"1.jpg", L"2.jpg", L"3.jpg"}) MakeFile(folder_ + name);
    Browse(folder_);
    ASSERT_EQ(ListCount(), 3);
    SelectName(L"2.jpg");
    Command(IDM_MAIN_SELECT_INVERT);
    EXPECT_EQ(SelectedCount(), 2);
    Command(IDM_MAIN_SELECT_ALL);
    EXPECT_EQ(SelectedCount(), 3);
    Command(IDM_MAIN_SELECT_NONE);
    EXPECT_EQ(SelectedCount(), 0);

    Command(IDM_MAIN_MULTIPLE_SELECTION);
    EXPECT_TRUE(MenuChecked(IDM_MAIN_MULTIPLE_SELECTION) || g_AppSettings.browser.multiSelect);
    EXPECT_EQ(g_AppSettings.browser.multiSelect, 1);
    Command(IDM_MAIN_SELECT_ALL);
    Command(IDM_MAIN_MULTIPLE_SELECTION);  // off: only the first selected stays
    EXPECT_EQ(g_AppSettings.browser.multiSelect, 0);
    EXPECT_EQ(SelectedCount(), 1);
}

TEST_F(Commands, ViewModesZoomSortAndListOptions) {
    MakeFile(folder_ + L"1.jpg");
    Browse(folder_);
    const struct {
        UINT id;
        int mode;
        LONG_PTR style;
    } modes[] = {{IDM_MAIN_LIST, 1, LVS_LIST}, {IDM_MAIN_DETAILS, 2, LVS_REPORT}, {IDM_MAIN_THUMBNAILS, 0, LVS_ICON}};
    for (const auto& m : modes) {
        Command(m.id);
        EXPECT_EQ(g_AppSettings.viewMode, m.mode);
        EXPECT_EQ(GetWindowLongPtrW(g_AppSettings.listWindow, GWL_STYLE) & LVS_TYPEMASK, m.style) << m.id;
        EXPECT_TRUE(MenuChecked(m.id));
    }

    // Fixed zooms, steps and fits.
    Command(IDM_MAIN_ZOOM200);
    EXPECT_EQ(g_AppSettings.zoom, 200);
    EXPECT_TRUE(MenuChecked(IDM_MAIN_ZOOM200));
    EXPECT_FALSE(MenuChecked(IDM_MAIN_FIT_ALL));
    Command(IDM_MAIN_ZOOM_IN);
    EXPECT_EQ(g_AppSettings.zoom, 300);
    EXPECT_FALSE(MenuChecked(IDM_MAIN_ZOOM200));
    Command(IDM_MAIN_ZOOM25);
    for (int32_t expected : {20, 15, 10, 5, 5}) {
        Command(IDM_MAIN_ZOOM_OUT);
        EXPECT_EQ(g_AppSettings.zoom, expected);
    }
    Command(IDM_MAIN_LOCK_ZOOM);
    EXPECT_EQ(g_AppSettings.lockZoom, 1);
    Command(IDM_MAIN_FIT_ALL);
    EXPECT_EQ(g_AppSettings.zoom, -1);
    EXPECT_EQ(g_AppSettings.lockZoom, 0);
    EXPECT_TRUE(MenuChecked(IDM_MAIN_FIT_ALL));
    EXPECT_FALSE(MenuChecked(IDM_MAIN_LOCK_ZOOM));
    EXPECT_EQ(ViewGetZoomMode(g_AppSettings.viewWindow), kZoomFit);
    Command(IDM_MAIN_FILL_SCREEN);
    EXPECT_TRUE(MenuChecked(IDM_MAIN_FILL_SCREEN));
    EXPECT_FALSE(MenuChecked(IDM_MAIN_FIT_ALL));

    // Sort key and direction, each keeping the other.
    Command(IDM_MAIN_SORT_SIZE);
    EXPECT_EQ(g_AppSettings.sort, 3);
    Command(IDM_MAIN_SORT_DESCENDING);
    EXPECT_EQ(g_AppSettings.sort, 0x1000 | 3);
    EXPECT_EQ(ViewerModel()->Settings().sort, uint32_t(0x1000 | 3));
    Command(IDM_MAIN_SORT_NAME);
    EXPECT_EQ(g_AppSettings.sort, 0x1000);
    Command(IDM_MAIN_SORT_ASCENDING);
    EXPECT_EQ(g_AppSettings.sort, 0);

    // Show file name and recursive listing.
    const int32_t label = g_AppSettings.showLabel;
    Command(IDM_MAIN_SHOW_LABEL);
    EXPECT_EQ(g_AppSettings.showLabel, !label);
    EXPECT_EQ(MenuChecked(IDM_MAIN_SHOW_LABEL), !label);
    Command(IDM_MAIN_SHOW_LABEL);

    MakeFile(folder_ + L"other\\deep.jpg");
    EXPECT_EQ(g_AppSettings.recursive, 0);
    Command(IDM_MAIN_RECURSIVE);
    EXPECT_TRUE(MenuChecked(IDM_MAIN_RECURSIVE));
    EXPECT_EQ(ListCount(), 2);
    Command(IDM_MAIN_RECURSIVE);
    EXPECT_EQ(ListCount(), 1);
}

TEST_F(Commands, AboutOpensEachLinkThroughTheDesktop) {
    SetLinksRecordedOnly(true);
    ModalDriver driver;
    driver.OnDialog([](HWND dialog) {
        ExpectFitsScreen(dialog);
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_ABOUT_DISTRIBUTOR)));
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_ABOUT_WEB, STN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_ABOUT_WEB)));
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_ABOUT_FORUM, STN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_ABOUT_FORUM)));
        Click(dialog, IDOK);
    });
    Command(IDM_MAIN_ABOUT);
    const std::vector<std::wstring> links = OpenedLinks();
    ASSERT_EQ(links.size(), 2u);
    EXPECT_NE(links[0], links[1]);
    EXPECT_EQ(links[0].rfind(L"http://", 0), 0u);
    bool recorded = false;
    for (const HandheldCallRecord& call : HandheldCalls()) recorded |= call.call == HandheldCall::kOpenLink;
    EXPECT_TRUE(recorded);
    SetLinksRecordedOnly(false);
}

// The screen's pixels as 32-bit BGRX, top-down; saved as a BMP beside the
// test for a person to look at.
std::vector<uint32_t> Screenshot(const wchar_t* saveAs) {
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP shot = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(memory, shot);
    BitBlt(memory, 0, 0, w, h, screen, 0, 0, SRCCOPY);
    GdiFlush();
    std::vector<uint32_t> pixels(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + size_t(w) * size_t(h));
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (saveAs) {
        BITMAPFILEHEADER file = {0x4D42, DWORD(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + pixels.size() * 4),
                                 0, 0, DWORD(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER))};
        const HANDLE out = CreateFileW(saveAs, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(out, &file, sizeof file, &written, nullptr);
        WriteFile(out, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr);
        WriteFile(out, pixels.data(), DWORD(pixels.size() * 4), &written, nullptr);
        CloseHandle(out);
    }
    DeleteObject(shot);
    return pixels;
}

uint32_t Pixel(const std::vector<uint32_t>& shot, int x, int y) { return shot[size_t(y) * 240 + size_t(x)] & 0xFFFFFF; }

// Red-dominant pixels (a selected label) in the rectangle.
int RedPixels(const std::vector<uint32_t>& shot, RECT r) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            const uint32_t p = Pixel(shot, x, y);
            if (((p >> 16) & 0xFF) > 200 && ((p >> 8) & 0xFF) < 60 && (p & 0xFF) < 60) ++n;
        }
    }
    return n;
}

TEST_F(Commands, StartScreenShowsSixTilesAndActsOnTheTappedOne) {
    ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 240);
    ASSERT_EQ(GetSystemMetrics(SM_CYSCREEN), 320);
    ShowWindow(g_AppSettings.mainWindow, SW_HIDE);
    const HWND launcher = StartScreenCreate(g_AppSettings.mainWindow);
    ASSERT_TRUE(launcher);
    Pump();
    RECT r;
    GetWindowRect(launcher, &r);
    EXPECT_EQ(r.right - r.left, 240);
    EXPECT_EQ(r.bottom - r.top, 320);

    // The picture from the program's SPLASH archive: each tile's colour at
    // its centre, the background around; the labels below in black.
    // On a loaded machine the X server may show the window a little after it
    // was painted: wait (bounded) until the first tile and the last label are
    // on the screen.
    const StartTile* tiles = StartScreenTiles();
    auto darkUnder = [](const std::vector<uint32_t>& shot, const StartTile& t) {
        int dark = 0;
        for (int y = t.bottom; y < t.bottom + 24; ++y)
            for (int x = t.left; x < t.right; ++x) dark += Pixel(shot, x, y) == 0;
        return dark;
    };
    const StartTile& last = tiles[kStartTileCount - 1];
    std::vector<uint32_t> shot = Screenshot(L"startscreen.bmp");
    for (int tries = 0; tries < 40 && (Pixel(shot, tiles[0].left + 4, tiles[0].top + 10) == Pixel(shot, 5, 140) ||
                                       darkUnder(shot, last) == 0);
         ++tries) {
        RedrawWindow(launcher, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Pump();
        Sleep(50);
        shot = Screenshot(L"startscreen.bmp");
    }
    const uint32_t background = Pixel(shot, 5, 140);
    for (int i = 0; i < kStartTileCount; ++i) {
        const StartTile& t = tiles[i];
        EXPECT_NE(Pixel(shot, t.left + 4, t.top + 10), background) << "tile " << i;
        EXPECT_GT(darkUnder(shot, t), 10) << "label of tile " << i;
        EXPECT_EQ(RedPixels(shot, RECT{t.left, t.bottom, t.right, t.bottom + 24}), 0);
    }

    // A tap between tiles selects none, and lifting does nothing.
    SendMessageW(launcher, WM_LBUTTONDOWN, 0, MAKELPARAM(79, 60));
    SendMessageW(launcher, WM_LBUTTONUP, 0, MAKELPARAM(79, 60));
    Pump();
    ASSERT_TRUE(IsWindow(launcher));
    EXPECT_FALSE(IsWindowVisible(g_AppSettings.mainWindow));

    // Down on "Browse CF"'s label, up elsewhere: its label turns red, then
    // the browser shows the card and the launcher goes.
    const StartTile card = tiles[4];
    SendMessageW(launcher, WM_LBUTTONDOWN, 0, MAKELPARAM(card.left + 5, card.bottom + 30));
    UpdateWindow(launcher);
    Pump();
    std::vector<uint32_t> selected = Screenshot(L"startscreen-selected.bmp");
    for (int tries = 0; tries < 40 && RedPixels(selected, RECT{card.left, card.bottom, card.right, card.bottom + 24}) <= 10;
         ++tries) {
        Pump();
        Sleep(50);
        selected = Screenshot(L"startscreen-selected.bmp");
    }
    EXPECT_GT(RedPixels(selected, RECT{card.left, card.bottom, card.right, card.bottom + 24}), 10);
    EXPECT_EQ(RedPixels(selected, RECT{tiles[0].left, tiles[0].bottom, tiles[0].right, tiles[0].bottom + 24}), 0);
    SendMessageW(launcher, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    Pump();
    EXPECT_FALSE(IsWindow(launcher));
    EXPECT_TRUE(IsWindowVisible(g_AppSettings.mainWindow));
    EXPECT_EQ(std::wstring(g_AppSettings.currentFolder), FindCardPictures());
}

// The menu bar's toolbar of `owner` and its button `command`'s text.
HWND BarToolbar(HWND owner) { return FindWindowExW(MenuBarFind(owner), nullptr, TOOLBARCLASSNAMEW, nullptr); }

std::wstring BarButtonText(HWND owner, UINT command) {
    wchar_t text[64] = L"";
    const HWND toolbar = BarToolbar(owner);
    if (SendMessageW(toolbar, TB_GETBUTTONTEXTW, command, 0) < 64)
        SendMessageW(toolbar, TB_GETBUTTONTEXTW, command, reinterpret_cast<LPARAM>(text));
    return text;
}

// A tap on the menu bar button `command` of `owner`.
void PressBarButton(HWND owner, UINT command) {
    const HWND toolbar = BarToolbar(owner);
    ASSERT_NE(toolbar, nullptr);
    RECT r = {};
    ASSERT_TRUE(SendMessageW(toolbar, TB_GETRECT, command, reinterpret_cast<LPARAM>(&r)));
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageW(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(toolbar, WM_LBUTTONUP, 0, at);
}

TEST_F(Commands, ChooseFolderGivesTheSelectedFolderOrNothing) {
    // Its menu bar and menu share their number with the infrared receive
    // dialog: three resources of three types.
    static_assert(IDR_CHOOSEFOLDER_MENUBAR == IDD_IRDA_RECEIVE && IDM_CHOOSEFOLDER == IDD_IRDA_RECEIVE);
    EXPECT_TRUE(FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_IRDA_RECEIVE), RT_DIALOG));
    EXPECT_TRUE(FindResourceW(nullptr, MAKEINTRESOURCEW(IDM_CHOOSEFOLDER), RT_MENU));
    EXPECT_TRUE(FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_CHOOSEFOLDER_MENUBAR), kMenuBarResourceType));
    wchar_t path[MAX_PATH] = L"";
    wcscpy(path, folder_.c_str());
    {
        ModalDriver driver;
        driver.OnDialog([](HWND dialog) {
            ExpectFitsScreen(dialog);
            EXPECT_EQ(GetDlgItem(dialog, IDC_CHOOSEFOLDER_OPEN), nullptr) << "Open is the menu bar's";
            const HWND bar = MenuBarFind(dialog);
            ASSERT_NE(bar, nullptr);
            RECT box, strip;
            GetWindowRect(dialog, &box);
            GetWindowRect(bar, &strip);
            EXPECT_LE(box.bottom, strip.top) << "the menu bar hides none of the dialog";
            EXPECT_EQ(SendMessageW(bar, TB_BUTTONCOUNT, 0, 0), 2);
            EXPECT_EQ(BarButtonText(dialog, IDC_CHOOSEFOLDER_OPEN), L"Open");
            EXPECT_EQ(BarButtonText(dialog, IDCANCEL), L"Cancel");
            const HMENU menu = MenuBarGetMenu(bar);
            ASSERT_EQ(GetMenuItemCount(menu), 1);
            wchar_t apply[16] = L"";
            GetMenuStringW(menu, IDOK, apply, 16, MF_BYCOMMAND);
            EXPECT_EQ(std::wstring(apply), L"Apply");
            PressBarButton(dialog, IDCANCEL);
        });
        EXPECT_EQ(ChooseFolderDialog(g_AppSettings.mainWindow, path, MAX_PATH), 0);
    }
    EXPECT_EQ(std::wstring(path), folder_) << "Cancel leaves the folder as it was";
    {
        ModalDriver driver;
        driver.OnDialog([](HWND dialog) {
            const HWND tree = GetDlgItem(dialog, IDC_CHOOSEFOLDER_TREE);
            const auto child = reinterpret_cast<HTREEITEM>(SendMessageW(
                tree, TVM_GETNEXTITEM, TVGN_CHILD, SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0)));
            ASSERT_TRUE(child);  // "other"
            SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(child));
            PressBarButton(dialog, IDC_CHOOSEFOLDER_OPEN);
        });
        EXPECT_EQ(ChooseFolderDialog(g_AppSettings.mainWindow, path, MAX_PATH), 1);
    }
    EXPECT_EQ(std::wstring(path), folder_ + L"other\\");
    {
        ModalDriver driver;
        driver.OnDialog([](HWND dialog) {
            const HWND tree = GetDlgItem(dialog, IDC_CHOOSEFOLDER_TREE);
            SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, 0);  // nothing selected
            PressBarButton(dialog, IDC_CHOOSEFOLDER_OPEN);
        });
        EXPECT_EQ(ChooseFolderDialog(g_AppSettings.mainWindow, path, MAX_PATH), 0);
    }
    EXPECT_EQ(std::wstring(path), folder_ + L"other\\");
    {
        ModalDriver driver;
        driver.OnDialog([](HWND dialog) {
            const HWND tree = GetDlgItem(dialog, IDC_CHOOSEFOLDER_TREE);
            SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
            PressBarButton(dialog, IDC_CHOOSEFOLDER_OPEN);
        });
        EXPECT_EQ(ChooseFolderDialog(g_AppSettings.mainWindow, path, MAX_PATH), 1);
    }
    EXPECT_EQ(std::wstring(path), L"\\") << "the root";
}

// Runs Wine's own "reg query <arguments>"; its output, and its exit code in
// `code`.
std::string RegQuery(const std::wstring& arguments, DWORD* code) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return {};
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = writeEnd;
    start.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    std::wstring line = L"reg.exe query " + arguments;
    std::string output;
    if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &start,
                       &process)) {
        CloseHandle(writeEnd);
        writeEnd = nullptr;
        char buffer[512];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got) output.append(buffer, got);
        WaitForSingleObject(process.hProcess, 10000);
        GetExitCodeProcess(process.hProcess, code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (writeEnd) CloseHandle(writeEnd);
    CloseHandle(readEnd);
    return output;
}

TEST(Associations, MadeAndUndoneAsRegQuerySeesThem) {
    DWORD code = 0;
    // An extension another program owned: kept in the backup and given back.
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L".pvtest", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              0);
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"otherfile"), 20);
    RegCloseKey(key);
    const std::wstring cls = AssociationClassName(L"pvtest");
    EXPECT_EQ(cls, L"Pellaro.pvtest");
    EXPECT_EQ(IsAssociated(L"pvtest"), 0);
    EXPECT_EQ(AssociationWriter(cls.c_str(), -108, L"Pellaro Image"), 0);
    EXPECT_EQ(RegisterExtension(L".pvtest", cls.c_str()), 1);
    EXPECT_EQ(IsAssociated(L"pvtest"), 1);
    EXPECT_NE(RegQuery(L"HKCR\\.pvtest /ve", &code).find("Pellaro.pvtest"), std::string::npos);
    EXPECT_NE(RegQuery(L"HKCR\\.pvtest\\Trelmo.bak /ve", &code).find("otherfile"), std::string::npos);
    const std::string command = RegQuery(L"HKCR\\Pellaro.pvtest\\shell\\open\\command /ve", &code);
    EXPECT_NE(command.find("\" %1"), std::string::npos) << command;
    EXPECT_NE(RegQuery(L"HKCR\\Pellaro.pvtest\\DefaultIcon /ve", &code).find(",-108"), std::string::npos);
    EXPECT_EQ(AssociationRemover(L".pvtest", cls.c_str()), 1);
    EXPECT_EQ(IsAssociated(L"pvtest"), 0);
    EXPECT_NE(RegQuery(L"HKCR\\.pvtest /ve", &code).find("otherfile"), std::string::npos);
    RegQuery(L"HKCR\\.pvtest\\Trelmo.bak", &code);
    EXPECT_NE(code, 0u) << "the backup is gone";

    // An extension nobody owned: removing the association removes it all.
    EXPECT_EQ(RegisterExtension(L".pvfresh", AssociationClassName(L"pvfresh").c_str()), 1);
    AssociationWriter(AssociationClassName(L"pvfresh").c_str(), -108, L"Pellaro Image");
    EXPECT_EQ(IsAssociated(L"pvfresh"), 1);
    RegQuery(L"HKCR\\.pvfresh\\Trelmo.bak", &code);
    EXPECT_NE(code, 0u) << "no backup without a previous owner";
    EXPECT_EQ(AssociationRemover(L".pvfresh", AssociationClassName(L"pvfresh").c_str()), 1);
    RegQuery(L"HKCR\\.pvfresh", &code);
    EXPECT_NE(code, 0u) << "the extension key we made is gone";
    EXPECT_EQ(AssociationRemover(L".pvabsent", L"Pellaro.pvabsent"), 1);

    // The album association made at start-up.
    RegisterAlbumAssociation();
    EXPECT_EQ(IsAssociated(L"alb"), 1);
    EXPECT_NE(RegQuery(L"HKCR\\Pellaro.alb /ve", &code).find("Pellaro Album"), std::string::npos);

    for (const wchar_t* k : {L".pvtest", L"Pellaro.pvtest", L"Pellaro.pvfresh"}) RegDeleteTreeW(HKEY_CLASSES_ROOT, k);
}

TEST_F(Commands, FavoritesStoredRelabelledAndOpened) {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Trelmo\\Favorites");
    EXPECT_TRUE(FavoritesLoad().empty());
    for (const wchar_t* bad : {L"", L"a\\b"}) EXPECT_EQ(FavoritesAdd(bad, folder_), 0) << bad;
    const std::wstring longPath = L"\\" + std::wstring(258, L'p');
    ASSERT_EQ(FavoritesAdd(L"long", longPath), 1);
    ASSERT_EQ(FavoritesAdd(L"other", folder_ + L"other\\"), 1);
    std::vector<Favorite> list = FavoritesLoad();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].path, longPath);  // 259 characters survive

    // Relabelling onto an existing label takes that label over.
    ASSERT_EQ(FavoritesRename(L"long", L"other", folder_), 1);
    list = FavoritesLoad();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].label, L"other");
    EXPECT_EQ(list[0].path, folder_);
    EXPECT_EQ(FavoritesRename(L"other", L"bad\\label", folder_), 0);
    EXPECT_EQ(FavoritesLoad().size(), 1u) << "a refused new label keeps the old one";
    EXPECT_EQ(FavoritesRename(L"other", L"Other", folder_ + L"other\\"), 1);  // same key, new folder
    ASSERT_EQ(FavoritesLoad().size(), 1u);
    EXPECT_EQ(FavoritesLoad()[0].path, folder_ + L"other\\");

    // "Add to favorites..." for the shown folder, with a refused label first.
    Browse(folder_);
    {
        ModalDriver driver;
        driver.OnDialog([this](HWND dialog) {
            ExpectFitsScreen(dialog);
            EXPECT_EQ(ItemText(dialog, IDC_FAV_FOLDER), folder_);
            SetDlgItemTextW(dialog, IDC_FAV_LABEL, L"");
            Click(dialog, IDOK);  // refused
            SetDlgItemTextW(dialog, IDC_FAV_LABEL, L"Holidays");
            Click(dialog, IDOK);
        });
        driver.OnDialog([](HWND box) { Click(box, IDOK); });
        Command(IDM_MAIN_ADD_FAVORITE);
    }
    list = FavoritesLoad();
    ASSERT_EQ(list.size(), 2u);
    const HMENU popup = CreatePopupMenu();
    FillFavoritesMenu(popup);
    EXPECT_EQ(GetMenuItemCount(popup), 2 + 3);
    wchar_t text[64];
    GetMenuStringW(popup, kFirstFavoriteCommand, text, 64, MF_BYCOMMAND);
    EXPECT_EQ(std::wstring(text), list[0].label);
    GetMenuStringW(popup, IDM_MAIN_FAVORITES, text, 64, MF_BYCOMMAND);
    EXPECT_EQ(std::wstring(text), L"Favorites...");
    DestroyMenu(popup);

    // Choosing a favorite shows its folder.
    for (size_t i = 0; i < list.size(); ++i) {
        Command(kFirstFavoriteCommand + UINT(i));
        EXPECT_EQ(std::wstring(g_AppSettings.currentFolder), list[i].path);
    }
    Command(kFirstFavoriteCommand + 9);  // no such favorite: nothing
    EXPECT_EQ(std::wstring(g_AppSettings.currentFolder), list.back().path);
    EXPECT_EQ(FavoritesDelete(L"Holidays"), 1);
    EXPECT_EQ(FavoritesDelete(L"Other"), 1);
    EXPECT_TRUE(FavoritesLoad().empty());
}

TEST_F(Commands, FavoritesMenuShowsTenAndNamesTheManagerByTheirCount) {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Trelmo\\Favorites");
    auto menuAfter = [](int favorites) {
        for (int i = int(FavoritesLoad().size()); i < favorites; ++i)
            EXPECT_EQ(FavoritesAdd(L"f" + std::to_wstring(i), L"\\Temp\\"), 1);
        const HMENU popup = CreatePopupMenu();
        FillFavoritesMenu(popup);
        int shown = 0;
        for (UINT id = kFirstFavoriteCommand; id < kFirstFavoriteCommand + 12; ++id)
            shown += GetMenuState(popup, id, MF_BYCOMMAND) != UINT(-1) ? 1 : 0;
        wchar_t text[64] = L"";
        GetMenuStringW(popup, IDM_MAIN_FAVORITES, text, 64, MF_BYCOMMAND);
        DestroyMenu(popup);
        return std::make_pair(shown, std::wstring(text));
    };
    EXPECT_EQ(menuAfter(10), std::make_pair(10, std::wstring(L"Favorites...")));
    EXPECT_EQ(menuAfter(12), std::make_pair(10, std::wstring(L"Next/Favorites...")));
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Trelmo\\Favorites");
}

TEST_F(Commands, SearchShowsFoundFilesFromSubfoldersWhenAsked) {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Trelmo\\Search");
    MakeFile(folder_ + L"IMG_top.jpg");
    MakeFile(folder_ + L"other\\IMG_deep.jpg");
    MakeFile(folder_ + L"other\\img_lower.jpg");
    MakeFile(folder_ + L"other\\IMG_show.alb");
    Browse(folder_);
    ASSERT_EQ(ListCount(), 1);
    {
        // Nothing found: no question, the browser as it was.
        ModalDriver driver;
        driver.OnDialog([this](HWND dialog) {
            ExpectFitsScreen(dialog);
            EXPECT_EQ(ItemText(dialog, IDC_SCH_FOLDER), folder_);
            SetDlgItemTextW(dialog, IDC_SCH_CONTAIN, L"nothing");
            Click(dialog, IDC_SCH_APPLY);
            EXPECT_EQ(ItemText(dialog, IDC_SCH_COUNT), L"");
            Click(dialog, IDCANCEL);
        });
        Command(IDM_MAIN_SEARCH);
    }
    EXPECT_EQ(ListCount(), 1);
    {
        ModalDriver driver;
        driver.OnDialog([](HWND dialog) {
            EXPECT_EQ(ItemText(dialog, IDC_SCH_CONTAIN), L"nothing");  // kept from last time
            SetDlgItemTextW(dialog, IDC_SCH_CONTAIN, L"IMG");
            modaltest::SelectComboItem(dialog, IDC_SCH_TYPE, 1);  // *.jpg
            modaltest::SetCheck(dialog, IDC_SCH_SUBFOLDER, true);
            Click(dialog, IDC_SCH_APPLY);
        });
        driver.OnDialog([](HWND box) { Click(box, IDOK); });  // view the found files
        Command(IDM_MAIN_SEARCH);
    }
    // Case matters, albums never come: the two IMG pictures.
    EXPECT_EQ(ListCount(), 2);
    EXPECT_FALSE(ViewerModel()->Cache().IsOpen());
    EXPECT_EQ(RegReadSettingDefault(L"Search", L"Type", 0), 1u);
    EXPECT_EQ(RegReadSettingDefault(L"Search", L"SubFolder", 0), 1u);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Trelmo\\Search");
}

// A 1000 x 1000 picture shown in the image layout for the length of a test;
// the browser comes back at the end.
struct ShownPicture {
    ShownPicture() {
        ok = AllocBitmap(&picture, kPixelRGB, 4, 1000, 1000) == 1;
        Command(IDM_MAIN_IMAGE);
        if (ok) ViewSetPicture(g_AppSettings.viewWindow, &picture, 0);
    }
    ~ShownPicture() {
        ViewSetPicture(g_AppSettings.viewWindow, nullptr, 0);
        FreeBitmap(&picture);
        Command(IDM_MAIN_THUMBNAILS);
    }
    Bitmap picture = {};
    bool ok = false;
};

// Panning shows the program's own hand cursor (its resource "HandCur").
TEST_F(Commands, PanningShowsTheProgramsHandCursor) {
    const HCURSOR hand = LoadCursorW(GetModuleHandleW(nullptr), L"HandCur");
    ASSERT_NE(hand, nullptr) << "the program carries its pan cursor";
    const RECT place = {0, 0, 200, 200};
    const HWND view = ViewCreate(g_AppSettings.mainWindow, WS_VISIBLE, &place, 0x808080, nullptr);
    ASSERT_TRUE(view);
    Bitmap picture{};
    ASSERT_EQ(AllocBitmap(&picture, kPixelRGB, 4, 300, 300), 1);
    ViewSetPicture(view, &picture, 0);
    ViewSetZoomPercent(view, 400);
    ViewSetMouseMode(view, kMousePan);
    SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
    SendMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 100));
    SendMessageW(view, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(80, 90));
    EXPECT_EQ(GetCursor(), hand);
    SendMessageW(view, WM_LBUTTONUP, 0, MAKELPARAM(80, 90));
    DestroyWindow(view);
    FreeBitmap(&picture);
}

// Every button of the main menu bar lies within the screen's width: at
// 96 dpi as built, and at 192 dpi, where the system font is twice as high,
// the images are the 32-pixel ones and the screen 480 pixels wide.
TEST_F(Commands, MenuBarButtonsFitTheScreenAt96And192Dpi) {
    const HWND toolbar = FindWindowExW(MainMenuBar(), nullptr, TOOLBARCLASSNAMEW, nullptr);
    ASSERT_TRUE(toolbar);
    const auto rightmost = [toolbar] {
        LONG right = 0;
        for (int i = 0; i < int(SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0)); ++i) {
            RECT r{};
            if (SendMessageW(toolbar, TB_GETITEMRECT, WPARAM(i), reinterpret_cast<LPARAM>(&r))) right = std::max(right, r.right);
        }
        return right;
    };
    EXPECT_LE(rightmost(), 240);
    const HFONT font = reinterpret_cast<HFONT>(SendMessageW(toolbar, WM_GETFONT, 0, 0));
    LOGFONTW twice{};
    GetObjectW(font ? font : GetStockObject(DEFAULT_GUI_FONT), sizeof twice, &twice);
    twice.lfHeight *= 2;
    const HFONT large = CreateFontIndirectW(&twice);
    const HIMAGELIST images = ImageList_LoadImageW(g_Instance, MAKEINTRESOURCEW(IDB_MAIN_BUTTONS32), 32, 0,
                                                   RGB(0xC4, 0xC4, 0xC4), IMAGE_BITMAP, LR_CREATEDIBSECTION);
    const auto oldImages =
        reinterpret_cast<HIMAGELIST>(SendMessageW(toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images)));
    SendMessageW(toolbar, WM_SETFONT, reinterpret_cast<WPARAM>(large), TRUE);
    SendMessageW(toolbar, TB_AUTOSIZE, 0, 0);
    EXPECT_LE(rightmost(), 480);
    SendMessageW(toolbar, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    SendMessageW(toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(oldImages));
    SendMessageW(toolbar, TB_AUTOSIZE, 0, 0);
    EXPECT_LE(rightmost(), 240);
    DeleteObject(large);
    ImageList_Destroy(images);
}

TEST_F(Commands, ZoomStepsFromTheFittedPercentage) {
    // A 1000 x 1000 picture fitted into the view shows at a percentage
    // between the steps; zoom in and out go to the steps around it.
    const ShownPicture shown;
    ASSERT_TRUE(shown.ok);
    const HWND view = g_AppSettings.viewWindow;
    Command(IDM_MAIN_FIT_ALL);
    const int32_t fitted = ViewGetZoomPercent(view);
    ASSERT_GT(fitted, 5);
    ASSERT_LT(fitted, 30);
    EXPECT_EQ(CurrentZoomPercent(), fitted);
    Command(IDM_MAIN_ZOOM_IN);
    EXPECT_EQ(g_AppSettings.zoom, ZoomStepIn(fitted));
    EXPECT_EQ(ViewGetZoomPercent(view), ZoomStepIn(fitted));
    Command(IDM_MAIN_FIT_ALL);
    Command(IDM_MAIN_ZOOM_OUT);
    EXPECT_EQ(g_AppSettings.zoom, ZoomStepOut(fitted));
    EXPECT_EQ(ViewGetZoomPercent(view), ZoomStepOut(fitted));
    for (int i = 0; i < 5; ++i) Command(IDM_MAIN_ZOOM_OUT);
    EXPECT_EQ(ViewGetZoomPercent(view), 5);  // the smallest step, which the view takes
}

// A selection drawn on the view is zoomed to on a double tap, and on a tap
// released when the pen draws rather than pans; without one, a released tap
// leaves the zoom alone.
TEST_F(Commands, DrawnSelectionIsZoomedToOnDoubleTapAndOnRelease) {
    const ShownPicture shown;
    ASSERT_TRUE(shown.ok);
    const HWND view = g_AppSettings.viewWindow;
    BrowserState& state = g_AppSettings.browser;
    state.fullSizeLoaded = 1;
    state.pictureWidth = state.loadedWidth = 1000;
    state.pictureHeight = state.loadedHeight = 1000;
    const int32_t savedViewMove = g_AppSettings.viewMove;
    RECT client;
    GetClientRect(view, &client);
    struct Case {
        ViewEventCode code;
        int32_t viewMove;
    };
    for (const Case c : {Case{kViewDoubleTap, 1}, Case{kViewTapReleased, 0}}) {
        SCOPED_TRACE(c.code);
        Command(IDM_MAIN_FIT_ALL);
        ASSERT_TRUE(MenuChecked(IDM_MAIN_FIT_ALL));
        const int32_t fitted = ViewGetZoomPercent(view);
        g_AppSettings.viewMove = c.viewMove;
        const PictureRect selection{400, 400, 100, 100};
        ViewSetSelection(view, &selection);
        ViewEvent event{};
        event.code = c.code;
        event.window = view;
        event.hasSelection = 1;
        OnViewEvent(&event);
        Pump();
        // The zoom step at which 100 picture pixels fit the window's
        // shorter side.
        const int32_t fits = int32_t(std::min(client.right, client.bottom));
        const int32_t zoom = ViewGetZoomPercent(view);
        EXPECT_GT(zoom, fitted * 5);
        EXPECT_LE(zoom, fits);
        EXPECT_GE(zoom, fits / 2);
        EXPECT_EQ(g_AppSettings.zoom, zoom);
        EXPECT_FALSE(MenuChecked(IDM_MAIN_FIT_ALL));
        PictureRect left{};
        EXPECT_EQ(ViewGetSelection(view, &left), 0);
    }
    // Released without a selection: the zoom stays.
    const int32_t before = ViewGetZoomPercent(view);
    ViewEvent release{};
    release.code = kViewTapReleased;
    release.window = view;
    OnViewEvent(&release);
    Pump();
    EXPECT_EQ(ViewGetZoomPercent(view), before);

    g_AppSettings.viewMove = savedViewMove;
    Command(IDM_MAIN_FIT_ALL);
}

TEST_F(Commands, AlbumCommandsOpenTheWizard) {
    MakeFile(folder_ + L"1.jpg");
    Browse(folder_);
    SelectName(L"1.jpg");
    for (UINT id : {IDM_MAIN_CREATE_ALBUM, IDM_MAIN_CREATE_SLIDESHOW}) {
        ModalDriver driver;
        driver.OnDialog([](HWND wizard) {
            ExpectFitsScreen(wizard);
            PostMessageW(wizard, WM_COMMAND, IDCANCEL, 0);
        });
        Command(id);
        EXPECT_EQ(driver.dialogsSeen(), 1) << id;
    }
}

// The wizard's output folder is chosen in its folder tree; the album made
// there joins the browser's list and the thumbnail worker runs again
// afterwards.
TEST_F(Commands, AlbumWizardWritesInTheTreesFolderAndListsTheAlbum) {
    {
        Bitmap picture{};
        ASSERT_EQ(AllocBitmap(&picture, kPixelRGB, 4, 16, 12), 1);
        SaveOptions save;
        InitSaveOptions(&save);
        save.formatIndex = int16_t(FindFormatByName("jpeg"));
        ASSERT_EQ(SavePictureToFile((folder_ + L"1.jpg").c_str(), &picture, &save), 0);
        FreeBitmap(&picture);
    }
    Browse(folder_);
    SelectName(L"1.jpg");
    const int before = ListCount();
    std::wstring chosen;
    ModalDriver driver(30000);
    driver.OnDialog([&](HWND wizard) {
        for (int page = 0; page < 4; ++page) SendMessageW(wizard, WM_COMMAND, CMD_AL_NEXT, 0);
        auto* state = reinterpret_cast<AlbumWizardState*>(GetWindowLongPtrW(wizard, GWLP_USERDATA));
        ASSERT_NE(state, nullptr);
        const HWND page4 = state->pages[4];
        const HWND tree = GetDlgItem(page4, IDC_AL_FOLDER);
        ASSERT_TRUE(modaltest::SelectTreeFolder(tree, folder_));
        SetWindowTextW(GetDlgItem(page4, IDC_AL_FILENAME), L"trip");
        chosen = modaltest::SelectedTreeFolder(tree);
        for (int page = 4; page < 6; ++page) SendMessageW(wizard, WM_COMMAND, CMD_AL_NEXT, 0);
        Click(state->pages[6], IDC_AL_CREATE);
    });
    Command(IDM_MAIN_CREATE_ALBUM);
    EXPECT_EQ(driver.dialogsSeen(), 1);
    EXPECT_EQ(chosen, folder_);
    ASSERT_TRUE(Exists(folder_ + L"trip.alb"));
    BrowserModel* model = ViewerModel();
    ASSERT_NE(model, nullptr);
    bool listed = false;
    for (const FileListEntry& entry : model->Entries())
        listed = listed || std::wstring(entry.path) == folder_ + L"trip.alb";
    EXPECT_TRUE(listed);
    Pump();
    EXPECT_EQ(ListCount(), before + 1);  // listed once, whatever the folder watch adds
}

TEST_F(Commands, StartScreenOpensAlbumFilesUnderTheirOwnName) {
    ShowWindow(g_AppSettings.mainWindow, SW_HIDE);
    const HWND launcher = StartScreenCreate(g_AppSettings.mainWindow);
    ASSERT_TRUE(launcher);
    const StartTile album = StartScreenTiles()[1];
    ModalDriver driver;
    driver.OnDialog([](HWND open) {
        constexpr int kFilterList = 0x470;  // the file dialog's type list
        const std::vector<std::wstring> filters = modaltest::ComboItems(open, kFilterList);
        ASSERT_EQ(filters.size(), 1u);
        EXPECT_EQ(filters[0], L"Album files (*.alb)");
        PostMessageW(open, WM_COMMAND, IDCANCEL, 0);
    });
    SendMessageW(launcher, WM_LBUTTONDOWN, 0, MAKELPARAM(album.left + 5, album.top + 5));
    SendMessageW(launcher, WM_LBUTTONUP, 0, MAKELPARAM(album.left + 5, album.top + 5));
    Pump();
    EXPECT_EQ(driver.dialogsSeen(), 1);
    EXPECT_FALSE(IsWindow(launcher));  // a cancelled dialog still closes the launcher
    EXPECT_TRUE(IsWindowVisible(g_AppSettings.mainWindow));
}

TEST_F(Commands, FavoritesManagerDeletesRelabelsAndOpens) {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Trelmo\\Favorites");
    ASSERT_EQ(FavoritesAdd(L"gone", L"\\Temp\\"), 1);
    ASSERT_EQ(FavoritesAdd(L"kept", folder_ + L"other\\"), 1);
    auto selectRow = [](HWND page, const wchar_t* label) {
        const HWND list = GetDlgItem(page, IDC_FAVLIST);
        LVFINDINFOW find = {};
        find.flags = LVFI_STRING;
        find.psz = label;
        const int row = int(SendMessageW(list, LVM_FINDITEMW, WPARAM(-1), reinterpret_cast<LPARAM>(&find)));
        ASSERT_GE(row, 0) << label;
        LVITEMW state = {};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(&state));
    };
    {
        ModalDriver driver;
        driver.OnDialog([&](HWND sheet) {
            ExpectFitsScreen(sheet);
            PropSheet_SetCurSel(sheet, nullptr, 1);
            const HWND edit = PropSheet_GetCurrentPageHwnd(sheet);
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(edit, IDC_FAV_DELETE)));
            selectRow(edit, L"gone");
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(edit, IDC_FAV_DELETE)));
            Click(edit, IDC_FAV_DELETE);
            EXPECT_EQ(SendDlgItemMessageW(edit, IDC_FAVLIST, LVM_GETITEMCOUNT, 0, 0), 1);
            selectRow(edit, L"kept");
            Click(edit, IDC_FAV_RENAME);  // the add-favorite dialog below
            PropSheet_SetCurSel(sheet, nullptr, 0);
            const HWND open = PropSheet_GetCurrentPageHwnd(sheet);
            EXPECT_EQ(SendDlgItemMessageW(open, IDC_FAVLIST, LVM_GETITEMCOUNT, 0, 0), 1);
            selectRow(open, L"Trip");  // closes the sheet with the choice
        });
        driver.OnDialog([](HWND dialog) {
            EXPECT_EQ(ItemText(dialog, IDC_FAV_LABEL), L"kept");
            SetDlgItemTextW(dialog, IDC_FAV_LABEL, L"Trip");
            Click(dialog, IDOK);
        });
        Command(IDM_MAIN_FAVORITES);
    }
    const std::vector<Favorite> list = FavoritesLoad();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].label, L"Trip");
    EXPECT_EQ(std::wstring(g_AppSettings.currentFolder), folder_ + L"other\\");
    {
        // Closed without a choice: nothing changes.
        Browse(folder_);
        ModalDriver driver;
        driver.OnDialog([](HWND sheet) { PostMessageW(sheet, WM_COMMAND, IDCANCEL, 0); });
        Command(IDM_MAIN_FAVORITES);
    }
    EXPECT_EQ(std::wstring(g_AppSettings.currentFolder), folder_);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Trelmo\\Favorites");
}

TEST_F(Commands, CommandsThatNeedOneItemOrAFolderDoNothingElse) {
    MakeFile(folder_ + L"1.jpg");
    MakeFile(folder_ + L"2.jpg");
    Browse(folder_);
    Command(IDM_MAIN_SELECT_ALL);
    ASSERT_EQ(SelectedCount(), 2);
    {
        ModalDriver driver;  // no dialog may open
        Command(IDM_MAIN_RENAME);
        EXPECT_EQ(driver.dialogsSeen(), 0);
    }
    // The tree's root is never deleted nor renamed.
    Browse(L"\\");
    {
        ModalDriver driver;
        Command(IDM_MAIN_DELETE_FOLDER);
        Command(IDM_MAIN_RENAME_FOLDER);
        EXPECT_EQ(driver.dialogsSeen(), 0);
    }
    Command(IDM_MAIN_UP);
    EXPECT_EQ(std::wstring(g_AppSettings.currentFolder), L"\\");
    EXPECT_TRUE(Exists(folder_ + L"1.jpg"));
}

TEST_F(Commands, OptionsStoreWhatThePagesShowWithNumbersHeldToTheirRanges) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L".jpg\\Trelmo.bak");
    const bool jpegWasOurs = IsAssociated(L"jpg") != 0;
    const int32_t label = g_AppSettings.showLabel;
    {
        ModalDriver driver;
        driver.OnDialog([&](HWND sheet) {
            ExpectFitsScreen(sheet);
            HWND pages[6];
            for (int i = 0; i < 6; ++i) {
                PropSheet_SetCurSel(sheet, nullptr, i);
                pages[i] = PropSheet_GetCurrentPageHwnd(sheet);
            }
            for (HWND page : pages) ASSERT_TRUE(page);
            EXPECT_EQ(modaltest::ComboItems(pages[0], IDC_OPT_VIEWMODE).back(), L"Last used mode");
            EXPECT_EQ(modaltest::ComboItems(pages[1], IDC_OPT_THUMBSIZE),
                      (std::vector<std::wstring>{L"Tiny", L"Small", L"Normal", L"Large", L"Huge"}));
            // Browser page: typed font sizes outside 8..20, the label box flipped.
            SetDlgItemTextW(pages[1], IDC_OPT_FONTTREE, L"99");
            SetDlgItemTextW(pages[1], IDC_OPT_FONTTHUMB, L"3");
            modaltest::SetCheck(pages[1], IDC_OPT_SHOWLABEL, !label);
            // Slideshow page: a delay beyond a minute.
            SetDlgItemTextW(pages[3], IDC_OPT_DELAY, L"600");
            // Buttons page: "Up" becomes "Zoom in".
            const HWND buttons = GetDlgItem(pages[4], IDC_OPT_BUTTONLIST);
            EXPECT_EQ(SendMessageW(buttons, LVM_GETITEMCOUNT, 0, 0), 5);
            LVITEMW state = {};
            state.stateMask = LVIS_SELECTED;
            state.state = LVIS_SELECTED;
            SendMessageW(buttons, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
            modaltest::SelectComboItem(pages[4], IDC_OPT_ACTION, 5);
            wchar_t assigned[32] = L"";
            ListView_GetItemText(buttons, 0, 1, assigned, 32);
            EXPECT_EQ(std::wstring(assigned), L"Zoom in");
            // Associations page: tick and clear the JPEG row.
            const HWND types = GetDlgItem(pages[5], IDC_OPT_ASSOCLIST);
            LVFINDINFOW find = {};
            find.flags = LVFI_STRING;
            find.psz = L"jpg";
            const int row = int(SendMessageW(types, LVM_FINDITEMW, WPARAM(-1), reinterpret_cast<LPARAM>(&find)));
            ASSERT_GE(row, 0);
            EXPECT_EQ(ListView_GetCheckState(types, row) != 0, jpegWasOurs);
            ListView_SetCheckState(types, row, TRUE);
            EXPECT_EQ(IsAssociated(L"jpg"), 1);
            ListView_SetCheckState(types, row, FALSE);
            EXPECT_EQ(IsAssociated(L"jpg"), 0);
            PropSheet_PressButton(sheet, PSBTN_OK);
        });
        Command(IDM_MAIN_OPTIONS);
    }
    EXPECT_EQ(g_AppSettings.fontTree, 20);
    EXPECT_EQ(g_AppSettings.fontThumb, 8);
    EXPECT_EQ(g_AppSettings.slideDelay, 60);
    EXPECT_EQ(g_AppSettings.showLabel, !label);
    EXPECT_EQ(g_AppSettings.keyUp, 5);
    {
        // Cancel keeps every setting.
        ModalDriver driver;
        driver.OnDialog([](HWND sheet) {
            PropSheet_SetCurSel(sheet, nullptr, 1);
            SetDlgItemTextW(PropSheet_GetCurrentPageHwnd(sheet), IDC_OPT_FONTTREE, L"12");
            PropSheet_PressButton(sheet, PSBTN_CANCEL);
        });
        Command(IDM_MAIN_OPTIONS);
    }
    EXPECT_EQ(g_AppSettings.fontTree, 20);
    g_AppSettings.showLabel = label;
}

TEST_F(Commands, OptionsThumbnailSizesAreTranslated) {
    // A language file beside the program, opened for this test only.
    const testing_support::LanguageFileBesideProgram file(
        "ot", "ot=Other\r\n[String]\r\nIDS_THUMB_TINY=Minuscule\r\nIDS_THUMB_HUGE=Enorme\r\n");
    ASSERT_EQ(LngOpen("ot"), 1);
    std::vector<std::wstring> sizes;
    {
        ModalDriver driver;
        driver.OnDialog([&](HWND sheet) {
            PropSheet_SetCurSel(sheet, nullptr, 1);
            sizes = modaltest::ComboItems(PropSheet_GetCurrentPageHwnd(sheet), IDC_OPT_THUMBSIZE);
            PropSheet_PressButton(sheet, PSBTN_CANCEL);
        });
        Command(IDM_MAIN_OPTIONS);
    }
    LngOpen("en");
    EXPECT_EQ(sizes, (std::vector<std::wstring>{L"Minuscule", L"Small", L"Normal", L"Large", L"Enorme"}));
}

TEST_F(Commands, APictureThatCannotBeReadIsReportedByName) {
    MakeFile(folder_ + L"broken.jpg");
    Browse(folder_);
    SelectName(L"broken.jpg");
    std::wstring text, title;
    {
        ModalDriver driver;
        driver.OnDialog([&](HWND box) {
            text = ItemText(box, 0xFFFF);
            title = modaltest::Text(box);
            Click(box, IDOK);
        });
        Command(IDM_MAIN_IMAGE);
        for (int i = 0; i < 50 && driver.dialogsSeen() < 1; ++i) Pump();
    }
    Command(IDM_MAIN_THUMBNAILS);
    EXPECT_EQ(text, L"Problem to load " + folder_ + L"broken.jpg.");
    EXPECT_EQ(title, L"Error");
}

TEST_F(Commands, OptionsAskForARestartOnlyWhenTheLanguageChanges) {
    const testing_support::LanguageFileBesideProgram file(
        "rb", "rb=Reboot\r\n[String]\r\nIDS_REBOOT=Start again to see it.\r\n");
    struct Box {
        std::wstring text, title;
        bool exclamation = false;
    };
    // Chooses the language item starting with `code` and closes the sheet with
    // OK; answers the message box that may follow.
    const auto chooseLanguage = [](const wchar_t* code, Box* box) {
        ModalDriver driver;
        driver.OnDialog([code](HWND sheet) {
            PropSheet_SetCurSel(sheet, nullptr, 0);
            const HWND general = PropSheet_GetCurrentPageHwnd(sheet);
            const LRESULT item = SendDlgItemMessageW(general, IDC_OPT_LANGUAGE, CB_FINDSTRING, WPARAM(-1),
                                                     reinterpret_cast<LPARAM>(code));
            EXPECT_GE(item, 0) << code;
            modaltest::SelectComboItem(general, IDC_OPT_LANGUAGE, int(item));
            PropSheet_PressButton(sheet, PSBTN_OK);
        });
        if (box) {
            driver.OnDialog([box](HWND shown) {
                box->text = ItemText(shown, 0xFFFF);
                box->title = modaltest::Text(shown);
                box->exclamation = reinterpret_cast<HICON>(SendDlgItemMessageW(shown, 0x0440, STM_GETICON, 0, 0)) ==
                                   LoadIconW(nullptr, IDI_EXCLAMATION);
                Click(shown, IDOK);
            });
        }
        Command(IDM_MAIN_OPTIONS);
        for (int i = 0; i < 50 && box && driver.dialogsSeen() < 2; ++i) Pump();
        // A box where none was expected is left open and fails the driver.
        EXPECT_EQ(driver.dialogsSeen(), box ? 2 : 1) << code;
    };
    ASSERT_EQ(std::wstring(LngCurrentLanguage()), L"en");
    chooseLanguage(L"en - ", nullptr);
    Box built;
    chooseLanguage(L"rb - ", &built);
    EXPECT_EQ(built.text, L"You must restart Trelmo to apply changes. ");
    EXPECT_EQ(built.title, L"");
    EXPECT_TRUE(built.exclamation);
    // With the language file open, the box speaks its language.
    ASSERT_EQ(LngOpen("rb"), 1);
    Box translated;
    chooseLanguage(L"en - ", &translated);
    EXPECT_EQ(translated.text, L"Start again to see it.");
    LngOpen("en");
}

TEST_F(Commands, OptionsPagesAreTranslatedFromTheirOwnSections) {
    // Page 1's key also stands in page 0's section with another text: each
    // page reads its own section only.
    const std::string text =
        "op=Pages\r\n[DlgOption1]\r\nIDC_STARTSPLASH=Accueil\r\nIDC_SHOWNAME=Faux\r\n"
        "[DlgOption2]\r\nIDC_SHOWNAME=Montrer le nom\r\nIDC_TFONT2=Liste\r\n"
        "[DlgOption3]\r\nIDC_TVIEWBACK=Fond\r\n[DlgOption4]\r\nIDC_TSECONDS=secondes\r\nIDC_USELOOP=Boucle\r\n"
        "[DlgOption5]\r\nIDC_RESTORE=Retablir\r\n[DlgOption6]\r\nIDC_TEXT=Types\r\n";
    const testing_support::LanguageFileBesideProgram file("op", text);
    ASSERT_EQ(LngOpen("op"), 1);
    std::vector<std::wstring> texts;
    {
        ModalDriver driver;
        driver.OnDialog([&](HWND sheet) {
            const std::pair<int, int> items[] = {{0, IDC_OPT_SPLASH},  {1, IDC_OPT_SHOWLABEL}, {1, 1108},
                                                 {1, IDC_OPT_SHOWEXT}, {2, 1209},              {3, 1107},
                                                 {3, IDC_OPT_LOOP},    {4, IDC_OPT_RESTORE},   {5, 1126}};
            for (const auto& [index, id] : items) {
                PropSheet_SetCurSel(sheet, nullptr, index);
                texts.push_back(ItemText(PropSheet_GetCurrentPageHwnd(sheet), id));
            }
            PropSheet_PressButton(sheet, PSBTN_CANCEL);
        });
        Command(IDM_MAIN_OPTIONS);
    }
    LngOpen("en");
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"Accueil", L"Montrer le nom", L"Liste", L"Show filename extension",
                                                L"Fond", L"secondes", L"Boucle", L"Retablir", L"Types"}));
}

TEST_F(Commands, OptionsShowTheFontsTheWindowsHaveAndOkKeepsThem) {
    // The tree shows a font of 14 pixels; the list keeps the system's.
    SetWindowFontHeight(g_AppSettings.treeWindow, 14);
    g_AppSettings.fontTree = 0;
    g_AppSettings.fontThumb = 0;
    const int listFont = GetWindowFontHeight(g_AppSettings.listWindow);
    std::wstring treeBox, listBox;
    {
        ModalDriver driver;
        driver.OnDialog([&](HWND sheet) {
            PropSheet_SetCurSel(sheet, nullptr, 1);
            const HWND page = PropSheet_GetCurrentPageHwnd(sheet);
            treeBox = ItemText(page, IDC_OPT_FONTTREE);
            listBox = ItemText(page, IDC_OPT_FONTTHUMB);
            PropSheet_PressButton(sheet, PSBTN_OK);
        });
        Command(IDM_MAIN_OPTIONS);
    }
    EXPECT_EQ(treeBox, L"14");
    EXPECT_EQ(g_AppSettings.fontTree, 14);
    EXPECT_EQ(GetWindowFontHeight(g_AppSettings.treeWindow), 14);
    EXPECT_EQ(GetWindowFontHeight(g_AppSettings.listWindow), listFont) << "list box showed " << listBox;
}

TEST_F(Commands, OptionsButtonsPageShowsTheChosenRowsActionAndRestoresTheFactoryOnes) {
    const int32_t kept[5] = {g_AppSettings.keyUp, g_AppSettings.keyDown, g_AppSettings.keyLeft,
                             g_AppSettings.keyRight, g_AppSettings.keyReturn};
    g_AppSettings.keyUp = 6;
    g_AppSettings.keyLeft = 4;
    g_AppSettings.keyReturn = 0;
    std::vector<std::wstring> restored;
    {
        ModalDriver driver;
        driver.OnDialog([&](HWND sheet) {
            PropSheet_SetCurSel(sheet, nullptr, 4);
            const HWND page = PropSheet_GetCurrentPageHwnd(sheet);
            const HWND buttons = GetDlgItem(page, IDC_OPT_BUTTONLIST);
            // Choosing a row shows its action in the list of actions.
            for (const auto& [row, action] : {std::pair<int, int>{2, 4}, {0, 6}, {4, 0}}) {
                LVITEMW state = {};
                state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
                state.state = LVIS_SELECTED | LVIS_FOCUSED;
                SendMessageW(buttons, LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(&state));
                EXPECT_EQ(SendDlgItemMessageW(page, IDC_OPT_ACTION, CB_GETCURSEL, 0, 0), action) << "row " << row;
            }
            Click(page, IDC_OPT_RESTORE);
            for (int row = 0; row < 5; ++row) {
                wchar_t text[32] = L"";
                ListView_GetItemText(buttons, row, 1, text, 32);
                restored.push_back(text);
            }
            PropSheet_PressButton(sheet, PSBTN_OK);
        });
        Command(IDM_MAIN_OPTIONS);
    }
    // Up, Down, Left, Right and Return as the program ships.
    EXPECT_EQ(restored, (std::vector<std::wstring>{L"Next image", L"Previous image", L"Previous image", L"Next image",
                                                   L"Fullscreen"}));
    const int32_t now[5] = {g_AppSettings.keyUp, g_AppSettings.keyDown, g_AppSettings.keyLeft, g_AppSettings.keyRight,
                            g_AppSettings.keyReturn};
    EXPECT_EQ(std::vector<int32_t>(now, now + 5), (std::vector<int32_t>{1, 2, 2, 1, 3}));
    g_AppSettings.keyUp = kept[0], g_AppSettings.keyDown = kept[1], g_AppSettings.keyLeft = kept[2];
    g_AppSettings.keyRight = kept[3], g_AppSettings.keyReturn = kept[4];
}

TEST_F(Commands, OptionsAudioFileIsChosenInTheSoundsFolderAndTurnsTheSoundOn) {
    const std::wstring tune = folder_ + L"tune.wav";
    MakeFile(tune);
    wchar_t before[MAX_PATH] = L"", after[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, before);
    wcscpy(g_AppSettings.soundFilename, (folder_ + L"gone.wav").c_str());
    g_AppSettings.useSoundFilename = 0;
    std::wstring shown;
    bool ticked = false;
    for (const bool choose : {false, true}) {
        ModalDriver driver;
        driver.OnDialog([&](HWND sheet) {
            PropSheet_SetCurSel(sheet, nullptr, 3);
            const HWND page = PropSheet_GetCurrentPageHwnd(sheet);
            Click(page, IDC_OPT_SOUND_PICK);
            shown = modaltest::ItemText(page, IDC_OPT_SOUNDFILE);
            ticked = modaltest::IsChecked(page, IDC_OPT_USESOUND);
            PropSheet_PressButton(sheet, PSBTN_OK);
        });
        driver.OnDialog([&](HWND open) {
            constexpr int kFilterList = 0x470, kFileName = 0x47c;  // the file dialog's type list and name box
            EXPECT_EQ(modaltest::ComboItems(open, kFilterList), (std::vector<std::wstring>{L"Audio files"}));
            if (!choose) {
                PostMessageW(open, WM_COMMAND, IDCANCEL, 0);
                return;
            }
            // The dialog starts in the folder of the sound chosen before.
            SetDlgItemTextW(open, kFileName, L"tune.wav");
            PostMessageW(open, WM_COMMAND, IDOK, 0);
        });
        Command(IDM_MAIN_OPTIONS);
        if (!choose) {
            EXPECT_EQ(shown, folder_ + L"gone.wav") << "a cancelled choice changes nothing";
            EXPECT_FALSE(ticked);
            EXPECT_EQ(g_AppSettings.useSoundFilename, 0);
        }
    }
    // The chosen path as the file dialog gives it (here with the device's drive).
    auto isTune = [&tune](const std::wstring& path) {
        return path.size() >= tune.size() && path.compare(path.size() - tune.size(), tune.size(), tune) == 0;
    };
    EXPECT_TRUE(isTune(shown)) << shown;
    EXPECT_TRUE(ticked);
    EXPECT_TRUE(isTune(g_AppSettings.soundFilename)) << g_AppSettings.soundFilename;
    EXPECT_EQ(g_AppSettings.useSoundFilename, 1);
    // The program's own folder commands can still delete or rename the folder.
    GetCurrentDirectoryW(MAX_PATH, after);
    EXPECT_EQ(std::wstring(after), std::wstring(before));
    g_AppSettings.soundFilename[0] = 0;
    g_AppSettings.useSoundFilename = 0;
}

}  // namespace

// --- The tools and sharing, run from the browser's selection ----------------

namespace {

std::wstring ToolFixture(const char* name) { return testing_support::FixtureFile(PV_TOOLS_FIXTURES, name); }

void CopyFixture(const char* name, const std::wstring& to) {
    testing_support::WriteBytes(to, testing_support::ReadBytes(ToolFixture(name)));
}

}  // namespace

void Commands::BrowseAllSelected(const std::vector<std::pair<const char*, std::wstring>>& copies) {
    for (const auto& copy : copies) CopyFixture(copy.first, folder_ + copy.second);
    Browse(folder_);
    Command(IDM_MAIN_SELECT_ALL);
    ASSERT_EQ(SelectedCount(), int(copies.size()));
}

namespace {

HWND SheetPage(HWND sheet, int index) {
    return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_INDEXTOHWND, WPARAM(index), 0));
}

// Names of the files (not folders) that match the pattern, e.g. "x\\*.eml".
std::vector<std::wstring> FileNames(const std::wstring& pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    const HANDLE listing = FindFirstFileW(pattern.c_str(), &data);
    if (listing == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    } while (FindNextFileW(listing, &data));
    FindClose(listing);
    return names;
}

// Width and height of a picture file; 0 x 0 when it cannot be read.
std::pair<int, int> SizeOf(const std::wstring& path) {
    ImageInfo info{};
    const bool read = QueryPictureInfo(path.c_str(), -1, 0, &info) == 0;
    const std::pair<int, int> size = read ? std::make_pair(int(info.width), int(info.height)) : std::make_pair(0, 0);
    FreePictureInfo(&info);
    return size;
}

testing_support::RgbaPicture Decoded(const std::wstring& path, int* result) {
    testing_support::LoadedPicture picture;
    LoadOptions options{};
    InitLoadOptions(&options);
    *result = LoadPictureFromFile(path.c_str(), &picture.bitmap, &options, &picture.info);
    return *result == 0 ? testing_support::RgbaOf(picture.bitmap) : testing_support::RgbaPicture{};
}

// Outputs kept for Pillow (tests/viewer/check_tool_outputs.py), next to the
// device root's Temp folder.
const wchar_t kKeptOutputs[] = L"\\Temp\\commands_outputs\\";

}  // namespace

TEST_F(Commands, ConvertAndLosslessRotateRunOnTheSelectedPictures) {
    CopyFixture("photo.jpg", folder_ + L"p.jpg");
    CopyFixture("turn.jpg", folder_ + L"t.jpg");
    Browse(folder_);
    ASSERT_EQ(ListCount(), 2);

    // Convert to PNG beside the source.
    SelectName(L"p.jpg");
    {
        ModalDriver driver;
        driver.OnDialog([](HWND sheet) {
            const HWND format = SheetPage(sheet, 1);
            modaltest::SetCheck(format, IDC_CN_JPEG, false);
            modaltest::SetCheck(format, IDC_CN_PNG, true);
            Click(SheetPage(sheet, 0), IDC_APPLY);
        });
        Answer(driver, IDOK);  // the done message
        Command(IDM_MAIN_CONVERT);
        EXPECT_EQ(driver.dialogsSeen(), 2);
    }
    EXPECT_EQ(SizeOf(folder_ + L"p_m.png"), std::make_pair(320, 240));
    CreateDirectoryW(kKeptOutputs, nullptr);
    ASSERT_TRUE(CopyFileW((folder_ + L"p_m.png").c_str(), (std::wstring(kKeptOutputs) + L"converted.png").c_str(),
                          FALSE));

    // A quarter turn without decoding: the same pixels as jpegtran's turn.
    SelectName(L"t.jpg");
    {
        ModalDriver driver;
        driver.OnDialog([](HWND sheet) {
            const HWND tool = SheetPage(sheet, 0);
            modaltest::SetCheck(tool, IDC_ROT_N90, false);
            modaltest::SetCheck(tool, IDC_ROT_90, true);
            modaltest::SetCheck(tool, IDC_RZ_LOSSLESS, true);
            Click(tool, IDC_APPLY);  // one file: the sheet closes by itself
        });
        Command(IDM_MAIN_ROTATE);
    }
    int got = -1, want = -1;
    const testing_support::RgbaPicture turned = Decoded(folder_ + L"t_m.jpg", &got);
    const testing_support::RgbaPicture reference = Decoded(ToolFixture("turn-rot90.jpg"), &want);
    ASSERT_EQ(got, 0);
    ASSERT_EQ(want, 0);
    testing_support::ExpectSamePixels(reference, turned, false);
}

TEST_F(Commands, SendByEmailPutsOneMessageInTheOutbox) {
    testing_support::ScratchDir stores;
    MailStoreSetRoot(stores.path().wstring());
    MailStoreInfo store;
    ASSERT_EQ(MailStoreCreate(L"ActiveSync", "me@device.example", &store), 0);
    ASSERT_NO_FATAL_FAILURE(BrowseAllSelected({{"photo.jpg", L"a.jpg"}, {"gradient.png", L"b.png"}}));
    {
        ModalDriver driver;
        driver.OnDialog([](HWND d) {
            modaltest::SetItemText(d, IDC_EMAILOPT_TO, L"friend@home.example");
            modaltest::SelectComboItem(d, IDC_EMAILOPT_SIZE, 0);
            modaltest::SelectComboItem(d, IDC_EMAILOPT_FORMAT, 0);
            Click(d, IDC_EMAILOPT_SEND);
        });
        Command(IDM_MAIN_EMAIL);
    }
    const std::vector<std::wstring> sent = FileNames(store.folder + L"Outbox\\*.eml");
    MailStoreSetRoot(L"");
    ASSERT_EQ(sent.size(), 1u);
    const std::vector<uint8_t> bytes = testing_support::ReadBytes(store.folder + L"Outbox\\" + sent[0]);
    const std::string message(bytes.begin(), bytes.end());
    EXPECT_NE(message.find("friend@home.example"), std::string::npos);
    EXPECT_NE(message.find("filename=\"a.jpg\""), std::string::npos);
    EXPECT_NE(message.find("filename=\"b.png\""), std::string::npos);
}

// Every file of one infrared connection is listed, none in place of another.
TEST_F(Commands, ReceiveViaInfraredListsEveryFileOfTheConnection) {
    if (!testing_support::PythonPresent()) PV_ORACLE_MISSING("Debian's /usr/bin/python3");
    MakeFile(folder_ + L"beam.jpg");
    Browse(folder_);
    ASSERT_EQ(ListCount(), 1);
    testing_support::ScratchDir scratch;
    const testing_support::fs::path devices = scratch.path() / "devices";
    IrSetRegistryFolder(devices.u8string());
    const std::wstring source = scratch.File("pushed.jpg");
    testing_support::WriteText(source, "pushed");
    const std::string file = testing_support::UnixPath(source);
    testing_support::ObexPeer peer("push", devices,
                                   R"([{"op": "connect"}, {"op": "put", "name": "beam.jpg", "file": ")" + file +
                                       R"("}, {"op": "put", "name": "second.jpg", "file": ")" + file +
                                       R"("}, {"op": "disconnect"}])");
    {
        ModalDriver driver;  // no script: the dialog ends by itself
        Command(IDM_MAIN_RECEIVE_INFRARED);
    }
    IrSetRegistryFolder("");
    EXPECT_EQ(peer.Result().back(), "disconnect a0");
    EXPECT_TRUE(ListReaches(3));
    std::vector<std::wstring> listed;
    for (const FileListEntry& entry : ViewerModel()->Entries()) listed.push_back(entry.path);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::wstring>{folder_ + L"beam (2).jpg", folder_ + L"beam.jpg",
                                                 folder_ + L"second.jpg"}));
    const std::vector<uint8_t> kept = testing_support::ReadBytes(folder_ + L"beam.jpg");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "not a picture");
}

TEST_F(Commands, InformationOpensTheSheetOnTheSelectedPictureOfTheFolder) {
    CopyFixture("photo.jpg", folder_ + L"a.jpg");
    CopyFixture("gradient.png", folder_ + L"b.png");
    Browse(folder_);
    SelectName(L"b.png");
    std::wstring first, next;
    bool canGoBack = false;
    {
        ModalDriver driver;
        driver.OnDialog([&](HWND sheet) {
            ExpectFitsScreen(sheet);
            const HWND infos = SheetPage(sheet, 0);
            first = ItemText(infos, IDC_PP_FILENAME);
            canGoBack = modaltest::MenuBarButtonEnabled(sheet, IDC_STEP_PREVIOUS);
            modaltest::TapMenuBarButton(sheet, IDC_STEP_PREVIOUS);
            next = ItemText(infos, IDC_PP_FILENAME);
            SendMessageW(sheet, WM_COMMAND, IDOK, 0);
        });
        Command(IDM_MAIN_INFORMATION);
        EXPECT_EQ(driver.dialogsSeen(), 1);
    }
    EXPECT_EQ(first, L"b.png");
    EXPECT_TRUE(canGoBack);  // the whole folder, from the selected picture
    EXPECT_EQ(next, L"a.jpg");
}

namespace {

uint64_t SumOfSamples(const std::wstring& path) {
    int result = -1;
    const testing_support::RgbaPicture rgba = Decoded(path, &result);
    uint64_t sum = 0;
    for (size_t i = 0; i < rgba.px.size(); i += 4) sum += rgba.px[i] + rgba.px[i + 1] + rgba.px[i + 2];
    return sum;
}

bool Holds(const std::vector<uint8_t>& bytes, const std::string& text) {
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

void MoveAdjustBar(HWND bar, int position) { modaltest::MoveTrackbar(bar, IDC_VA_BAR, position); }

}  // namespace

TEST_F(Commands, AdjustAndSaveRewritesTheShownPictureKeepingItsMetadata) {
    CopyFixture("photo.jpg", folder_ + L"s.jpg");
    Browse(folder_);
    ASSERT_EQ(ListCount(), 1);
    SelectName(L"s.jpg");
    Command(IDM_MAIN_IMAGE);
    ShowEntry(0, 0, 0);
    Pump();
    ASSERT_EQ(g_AppSettings.currentItem, 0);
    const std::vector<uint8_t> before = testing_support::ReadBytes(folder_ + L"s.jpg");
    const uint64_t brightnessBefore = SumOfSamples(folder_ + L"s.jpg");

    // "No" to the question: the file stays as it was.
    {
        ModalDriver driver;
        driver.OnDialog([](HWND bar) {
            MoveAdjustBar(bar, 150);
            Click(bar, IDOK);
        });
        Answer(driver, IDNO);
        Command(IDM_MAIN_ADJUST_SAVE);
        EXPECT_EQ(driver.dialogsSeen(), 2);
    }
    EXPECT_EQ(testing_support::ReadBytes(folder_ + L"s.jpg"), before);

    // "Yes" and a JPEG quality: brighter, the camera's EXIF kept, nothing
    // left beside it.
    {
        ModalDriver driver;
        driver.OnDialog([](HWND bar) {
            MoveAdjustBar(bar, 150);
            Click(bar, IDOK);
        });
        Answer(driver, IDYES);
        driver.OnDialog([](HWND quality) {
            modaltest::SelectComboItem(quality, IDC_JQ_LIST, 3);
            Click(quality, IDOK);
        });
        Command(IDM_MAIN_ADJUST_SAVE);
        EXPECT_EQ(driver.dialogsSeen(), 3);
    }
    const std::vector<uint8_t> after = testing_support::ReadBytes(folder_ + L"s.jpg");
    EXPECT_NE(after, before);
    EXPECT_GT(SumOfSamples(folder_ + L"s.jpg"), brightnessBefore);
    EXPECT_TRUE(Holds(after, "Testcam"));
    std::vector<std::wstring> files = FileNames(folder_ + L"*");
    files.erase(std::remove(files.begin(), files.end(), L"cache.zt"), files.end());  // the browser's own
    EXPECT_EQ(files, std::vector<std::wstring>{L"s.jpg"});
    Command(IDM_MAIN_THUMBNAILS);
}

TEST_F(Commands, AdjustAndSaveAsksBeforeReplacingAnotherFileOfTheJpegName) {
    // A Targa picture is written back as a JPEG beside it, where the user
    // already keeps a file of that name.
    Bitmap picture{};
    ASSERT_TRUE(AllocBitmap(&picture, kPixelBGR, 4, 64, 48));
    for (int32_t i = 0; i < picture.bytesPerRow * picture.height; ++i) picture.pixels[i] = 100;
    SaveOptions save{};
    InitSaveOptions(&save);
    save.formatIndex = int16_t(FindFormatByName("tga"));
    ASSERT_EQ(SavePictureToFile((folder_ + L"t.tga").c_str(), &picture, &save), 0);
    FreeBitmap(&picture);
    MakeFile(folder_ + L"t.jpg");
    const std::vector<uint8_t> targa = testing_support::ReadBytes(folder_ + L"t.tga");
    const std::vector<uint8_t> mine = testing_support::ReadBytes(folder_ + L"t.jpg");
    Browse(folder_);
    SelectName(L"t.tga");
    Command(IDM_MAIN_IMAGE);
    ShowEntry(long(SendMessageW(g_AppSettings.listWindow, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)), 0, 0);
    Pump();

    for (const int answer : {IDCANCEL, IDOK}) {
        ModalDriver driver;
        driver.OnDialog([](HWND bar) {
            MoveAdjustBar(bar, 150);
            Click(bar, IDOK);
        });
        Answer(driver, IDYES);
        Answer(driver, IDOK);  // the JPEG quality
        Answer(driver, answer);  // replace t.jpg?
        Command(IDM_MAIN_ADJUST_SAVE);
        EXPECT_EQ(driver.dialogsSeen(), 4);
        if (answer == IDCANCEL) {
            EXPECT_EQ(testing_support::ReadBytes(folder_ + L"t.jpg"), mine);
        }
    }
    EXPECT_EQ(SizeOf(folder_ + L"t.jpg"), std::make_pair(64, 48));
    EXPECT_EQ(testing_support::ReadBytes(folder_ + L"t.tga"), targa);
    Command(IDM_MAIN_THUMBNAILS);
}

TEST_F(Commands, BatchRenameRenamesTheSelectionAndTheListFollowsAtOnce) {
    ASSERT_NO_FATAL_FAILURE(BrowseAllSelected({{"photo.jpg", L"a.jpg"}, {"photo.jpg", L"b.jpg"}}));
    {
        ModalDriver driver;
        driver.OnDialog([](HWND d) {
            ExpectFitsScreen(d);
            modaltest::SetItemText(d, IDC_BREN_NAME, L"trip");
            modaltest::SetItemText(d, IDC_BREN_EXTENSION, L"jpg");
            modaltest::SetItemText(d, IDC_BREN_START, L"1");
            modaltest::SetItemText(d, IDC_BREN_DIGITS, L"2");
            Click(d, IDC_APPLY);
        });
        Command(IDM_MAIN_BATCH_RENAME);
        EXPECT_EQ(driver.dialogsSeen(), 1);
    }
    EXPECT_TRUE(Exists(folder_ + L"trip01.jpg"));
    EXPECT_TRUE(Exists(folder_ + L"trip02.jpg"));
    EXPECT_FALSE(Exists(folder_ + L"a.jpg"));
    std::vector<std::wstring> listed;
    for (const FileListEntry& entry : ViewerModel()->Entries()) listed.push_back(NameOfPath(entry.path));
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::wstring>{L"trip01.jpg", L"trip02.jpg"}));
    EXPECT_EQ(ListCount(), 2);
}

namespace {

// Captures the screen into the shown folder as PNG after a second, as the
// capture sheet and the main window's timer do; the message told after.
std::wstring CaptureAsPng() {
    ModalDriver driver;
    driver.OnDialog([](HWND sheet) {
        PropSheet_SetCurSel(sheet, nullptr, 1);
        const HWND format = SheetPage(sheet, 1);
        modaltest::SetCheck(format, IDC_CN_JPEG, false);
        modaltest::SetCheck(format, IDC_CN_PNG, true);
        const HWND capture = SheetPage(sheet, 0);
        SendDlgItemMessageW(capture, IDC_CP_DELAYLIST, CB_SETCURSEL, 0, 0);  // 1 s
        Click(capture, IDC_APPLY);
    });
    std::wstring told;
    driver.OnDialog([&](HWND box) {
        told = ItemText(box, 0xFFFF);
        Click(box, IDOK);
    });
    Command(IDM_MAIN_CAPTURE);
    for (int i = 0; i < 100 && driver.dialogsSeen() < 2; ++i) Pump();
    EXPECT_EQ(driver.dialogsSeen(), 2);
    return told;
}

}  // namespace

TEST_F(Commands, CaptureWritesTheScreenIntoTheShownFolderWhenItsTimerFires) {
    Browse(folder_);
    EXPECT_EQ(CaptureAsPng(), L"The capture has been saved into " + folder_ + L"capture001.png.");
    EXPECT_EQ(SizeOf(folder_ + L"capture001.png"),
              std::make_pair(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)));
}

TEST_F(Commands, ACaptureThatCannotBeWrittenIsTold) {
    // Every capture name is taken, and none is ever written over.
    const std::wstring full = folder_ + L"other\\";
    for (int n = 1; n <= 999; ++n) {
        wchar_t name[32];
        swprintf(name, 32, L"capture%03d.png", n);
        MakeFile(full + name);
    }
    Browse(full);
    EXPECT_EQ(CaptureAsPng(), L"Problem to save the file!");
}
