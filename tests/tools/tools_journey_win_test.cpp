// The tools as a user meets them: the real viewer.exe under Wine, driven by
// taps on its list, its menu bar and its dialogs, keys in its menus and
// typed characters, and read back through its windows' texts, the files it
// writes and the screen. What needs tools of this machine to check
// (jpegtran, exiftool) is kept in "\Temp\tools_journey_outputs" for
// check_journey_outputs.py, which runs after this test.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "imagelib/load.h"
#include "platform/handheld.h"
#include "resources/main.rh"
#include "resources/tools.rh"
#include "tests/albums/screen_win.h"
#include "tests/support/dialogfit.h"
#include "tests/support/pictures.h"
#include "tests/support/testfiles.h"
#include "tests/viewer/viewerprocess.h"

using screentest::Hue;
using screentest::PumpUntil;
using screentest::ScreenHue;
using testing_support::ReadBytes;

namespace {

const wchar_t* kKept = L"\\Temp\\tools_journey_outputs\\";

// The Tools menu's entries, in order.
enum ToolsEntry : int {
    kCrop = 1,
    kResize,
    kConvert,
    kAdjust,
    kRotate,
    kSharpen,
    kBatchRename,
    kIptcEdit,
};

std::string Utf8(const std::wstring& text) {
    char out[1024] = "";
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out, int(sizeof out), nullptr, nullptr);
    return out;
}

std::wstring ToolsFixture(const char* name) { return testing_support::FixtureFile(PV_TOOLS_FIXTURES, name); }

void CopyFixture(const std::wstring& from, const std::wstring& to) {
    ASSERT_TRUE(CopyFileW(from.c_str(), to.c_str(), FALSE)) << Utf8(from);
}

// A folder of the device made afresh.
std::wstring FreshFolder(const wchar_t* name) {
    const std::wstring folder = std::wstring(L"\\Temp\\journey_") + name + L"\\";
    testing_support::fs::remove_all(testing_support::ToFsPath(folder));
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// --- Settings as an earlier run of the viewer left them ---------------------

void WriteSetting(const wchar_t* section, const wchar_t* name, DWORD value) {
    HKEY key;
    const std::wstring path = std::wstring(L"Software\\Trelmo\\") + section;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), 0);
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

void WriteText(const wchar_t* section, const wchar_t* name, const std::wstring& text) {
    HKEY key;
    const std::wstring path = section ? std::wstring(L"Software\\Trelmo\\") + section : L"Software\\Trelmo";
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), 0);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   DWORD((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// --- Reading the viewer's windows from outside -------------------------------

std::wstring TextOf(HWND window) {
    wchar_t text[512] = L"";
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 10000, &copied);
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    return name;
}

// The viewer's visible dialogs, sheets and message boxes.
std::vector<HWND> DialogsOf(DWORD process) {
    struct Search {
        DWORD process;
        std::vector<HWND> found;
    } search{process, {}};
    EnumWindows(
        [](HWND window, LPARAM user) -> BOOL {
            auto* s = reinterpret_cast<Search*>(user);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->process && IsWindowVisible(window) && ClassOf(window) == L"#32770")
                s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The viewer's popup menu on the screen, or null.
HWND MenuOf(DWORD process) {
    for (HWND w = FindWindowW(L"#32768", nullptr); w; w = FindWindowExW(nullptr, w, L"#32768", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == process && IsWindowVisible(w)) return w;
    }
    return nullptr;
}

bool IsMessageBox(HWND dialog) { return GetDlgItem(dialog, 0xFFFF) != nullptr && !GetDlgItem(dialog, 0x3020); }

HWND SheetPage(HWND sheet, int index) {
    return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_INDEXTOHWND, WPARAM(index), 0));
}

// --- Input ------------------------------------------------------------------

// A tap: the stylus down and up at a point of the window's client area.
void TapAt(HWND window, int x, int y) {
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

void Tap(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    TapAt(window, r.right / 2, r.bottom / 2);
}

void Press(HWND window, UINT key) {
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

void Type(HWND edit, const wchar_t* text) {
    for (const wchar_t* c = text; *c; ++c) PostMessageW(edit, WM_CHAR, *c, 1);
}

// The top of a popup menu's highlighted row as the screen shows it (in the
// menu's own coordinates), -1 when no row is highlighted.
// A menu highlights the row under the pointer, and a screen starts with the
// pointer in its middle: it is moved to the top left corner, away from every
// menu, as a lifted stylus leaves no pointer over them. The display driver
// moves the screen's pointer only for a process with a window of its own:
// a hidden one is made once.
void RestPointerInTheCorner() {
    static const HWND anchor = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr,
                                               nullptr, nullptr, nullptr);
    ASSERT_NE(anchor, nullptr);
    SetCursorPos(0, 0);
}

// Lets the viewer take what was posted.
void Settle() { PumpUntil([] { return false; }, 300); }

class Journey : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Trelmo");
        WriteSetting(L"General", L"UseCache", 0);
        WriteSetting(L"General", L"UseSplashScreen", 0);
        CreateDirectoryW(L"\\Temp", nullptr);
        CreateDirectoryW(kKept, nullptr);
    }
    void TearDown() override {
        if (viewer_) {
            EXPECT_TRUE(viewer_->Close()) << "the viewer ends cleanly";
        }
        viewer_.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Trelmo");
    }

    // Starts the viewer on `folder` and waits for its `count` items.
    void Start(const std::wstring& folder, int count) {
        WriteText(nullptr, L"Path", folder);
        viewer_ = std::make_unique<Viewer>();
        ASSERT_TRUE(viewer_->Started());
        ASSERT_TRUE(viewer_->WaitForList(count)) << "the folder's pictures are listed";
    }
    DWORD Process() const { return GetProcessId(viewer_->Process()); }

    // A tap on item `index` of the list selects it; the list is scrolled to
    // it first, as taps on its scroll bar's arrows would.
    void TapItem(int index) {
        const HWND list = Viewer::List();
        RECT client{};
        GetClientRect(list, &client);
        POINT centre{};
        for (int step = 0; step < 100; ++step) {
            const RECT r = viewer_->ItemRect(index);
            centre = POINT{(r.left + r.right) / 2, r.top + (r.bottom - r.top) / 3};
            ScreenToClient(list, &centre);
            if (centre.y >= 0 && centre.y < client.bottom) break;
            SendMessageW(list, WM_VSCROLL, centre.y < 0 ? SB_LINEUP : SB_LINEDOWN, 0);
        }
        TapAt(list, centre.x, centre.y);
        ASSERT_TRUE(PumpUntil([index] { return Viewer::Selected() == index; }, 10000)) << "item " << index;
    }

    // A tap on a button of a window's menu bar (its rectangle asked of the
    // viewer in its own address space).
    void TapMenuBar(HWND owner, UINT command) {
        const HWND toolbar = FindWindowExW(MenuBarFind(owner), nullptr, TOOLBARCLASSNAMEW, nullptr);
        ASSERT_NE(toolbar, nullptr) << "a menu bar";
        void* remote = VirtualAllocEx(viewer_->Process(), nullptr, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
        ASSERT_NE(remote, nullptr);
        RECT r{};
        const bool found = SendMessageW(toolbar, TB_GETRECT, command, reinterpret_cast<LPARAM>(remote)) != 0 &&
                           ReadProcessMemory(viewer_->Process(), remote, &r, sizeof r, nullptr);
        VirtualFreeEx(viewer_->Process(), remote, 0, MEM_RELEASE);
        ASSERT_TRUE(found) << "menu bar button " << command;
        TapAt(toolbar, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }

    // Tools > the entry, from the main window's menu bar and the menu's keys,
    // pressed once the menu reads them (its thread is in menu mode).
    void ChooseTool(ToolsEntry entry) {
        RestPointerInTheCorner();
        TapMenuBar(Viewer::Main(), IDM_MAIN_TOOLS);
        const DWORD thread = GetWindowThreadProcessId(Viewer::Main(), nullptr);
        auto inMenu = [thread] {
            GUITHREADINFO gui{sizeof gui};
            return GetGUIThreadInfo(thread, &gui) && (gui.flags & GUI_INMENUMODE);
        };
        HWND menu = nullptr;
        ASSERT_TRUE(PumpUntil([&] { return inMenu() && (menu = MenuOf(Process())) != nullptr; }, 30000))
            << "the Tools menu opens";
        for (int step = 0; step < int(entry); ++step) Press(menu, VK_DOWN);
        Press(menu, VK_RETURN);
        ASSERT_TRUE(PumpUntil([&] { return !inMenu(); }, 30000)) << "the menu closes";
    }

    // The first of the viewer's dialogs that `match` accepts; a message box
    // that comes instead fails the test with its text.
    HWND WaitForDialog(const std::function<bool(HWND)>& match, const char* what, DWORD limitMs = 60000) {
        HWND found = nullptr;
        std::wstring unexpected;
        PumpUntil(
            [&] {
                for (HWND dialog : DialogsOf(Process())) {
                    if (match(dialog)) {
                        found = dialog;
                        return true;
                    }
                    if (IsMessageBox(dialog)) unexpected = TextOf(GetDlgItem(dialog, 0xFFFF));
                }
                return !unexpected.empty();
            },
            limitMs);
        EXPECT_TRUE(unexpected.empty()) << "instead of " << what << ": \"" << Utf8(unexpected)
                                        << "\"";
        EXPECT_NE(found, nullptr) << what << " did not open; open instead: " << Utf8(OpenDialogs());
        if (found) {
            // Every dialog and message box the tools show fits the screen.
            PumpUntil([] { return false; }, 100);
            testing_support::ExpectOnScreen(found, what + std::string(" \"") + Utf8(TextOf(found)) + "\"");
        }
        return found;
    }
    HWND WaitForSheet(int pageItem, const char* what) {
        return WaitForDialog(
            [pageItem](HWND d) {
                HWND page = SheetPage(d, 0);
                return page && GetDlgItem(page, pageItem) != nullptr;
            },
            what);
    }

    // Waits for a message box, answers it with the button and gives its text.
    std::wstring Answer(int button) {
        const HWND box = WaitForDialog(IsMessageBox, "a message box");
        if (!box) return L"<no message>";
        const std::wstring text = TextOf(GetDlgItem(box, 0xFFFF));
        Tap(GetDlgItem(box, button));
        EXPECT_TRUE(PumpUntil([box] { return !IsWindow(box); }, 10000)) << "the message box closes";
        return text;
    }

    // The "ok" of the top bar: the dialog in front ends with OK.
    void TapDone() {
        const HWND bar = FindWindowW(L"PvTopBar", nullptr);
        const HWND ok = bar ? FindWindowExW(bar, nullptr, L"BUTTON", nullptr) : nullptr;
        ASSERT_NE(ok, nullptr);
        Tap(ok);
    }

    bool NoDialogLeft() {
        const bool none = PumpUntil([this] { return DialogsOf(Process()).empty(); }, 20000);
        EXPECT_TRUE(none) << "left open: " << Utf8(OpenDialogs());
        return none;
    }

    // The titles of the viewer's open dialogs, with the first item of each
    // one's first page, for a failure's message.
    std::wstring OpenDialogs() {
        std::wstring list;
        for (HWND dialog : DialogsOf(Process())) {
            const HWND page = SheetPage(dialog, 0);
            const HWND first = GetWindow(page ? page : dialog, GW_CHILD);
            list += L"[\"" + TextOf(dialog) + L"\" item " + std::to_wstring(first ? GetDlgCtrlID(first) : 0) + L"] ";
        }
        return list;
    }

    std::unique_ptr<Viewer> viewer_;
};

// The IPTC editor's caption edit, once the editor has made every page and
// shown the file on them.
HWND CaptionEdit(HWND editor) {
    HWND caption = nullptr;
    PumpUntil(
        [&] {
            const HWND last = SheetPage(editor, 5);
            caption = GetDlgItem(SheetPage(editor, 1), IDC_IP_CAPTION);
            return last && caption && !TextOf(GetDlgItem(SheetPage(editor, 0), IDC_IP_PATH)).empty();
        },
        10000);
    EXPECT_NE(caption, nullptr) << "the editor's pages are made";
    return caption;
}

std::pair<int, int> SizeOf(const std::wstring& path) {
    testing_support::EnsureFormatRegistry();
    ImageInfo info{};
    const bool read = QueryPictureInfo(path.c_str(), -1, 0, &info) == 0;
    const std::pair<int, int> size = read ? std::make_pair(int(info.width), int(info.height)) : std::make_pair(0, 0);
    FreePictureInfo(&info);
    return size;
}

}  // namespace

TEST_F(Journey, EveryToolOpensOnAPictureOfEveryReadableFormatOneAfterAnother) {
    const std::wstring folder = FreshFolder(L"formats");
    // Listed in name order: a camera RAW file of each kind, then one picture
    // of each other format.
    const std::vector<std::pair<std::wstring, std::wstring>> pictures = {
        {testing_support::FixtureFile(PV_TIFF_FIXTURES, "camera1.dng"), L"a.dng"},
        {testing_support::FixtureFile(PV_TIFF_FIXTURES, "camera.nef"), L"b.nef"},
        {ToolsFixture("format.2bp"), L"c.2bp"}, {ToolsFixture("format.bmp"), L"d.bmp"},
        {ToolsFixture("format.gif"), L"e.gif"}, {ToolsFixture("format.ico"), L"f.ico"},
        {ToolsFixture("format.jpg"), L"g.jpg"}, {ToolsFixture("format.pbm"), L"h.pbm"},
        {ToolsFixture("format.pcx"), L"i.pcx"}, {ToolsFixture("format.pgm"), L"j.pgm"},
        {ToolsFixture("format.png"), L"k.png"}, {ToolsFixture("format.pnm"), L"l.pnm"},
        {ToolsFixture("format.ppm"), L"m.ppm"}, {ToolsFixture("format.psd"), L"n.psd"},
        {ToolsFixture("format.tga"), L"o.tga"}, {ToolsFixture("format.tif"), L"p.tif"},
    };
    for (const auto& picture : pictures) CopyFixture(picture.first, folder + picture.second);
    Start(folder, int(pictures.size()));

    // Each tool's page, known by an item of its own.
    const std::pair<ToolsEntry, int> sheets[] = {
        {kCrop, IDC_CR_X},          {kResize, IDC_RZ_LIST},    {kConvert, IDC_PV_TYPE}, {kAdjust, IDC_AD_SETTING},
        {kRotate, IDC_ROT_N90},     {kSharpen, IDC_SHARPENBAR}, {kIptcEdit, IDC_IP_PATH},
    };
    for (int i = 0; i < int(pictures.size()); ++i) {
        const std::wstring& name = pictures[size_t(i)].second;
        SCOPED_TRACE(Utf8(name));
        TapItem(i);
        for (const auto& sheet : sheets) {
            SCOPED_TRACE(sheet.first);
            // IPTC records are written into JPEG files only: the entry is
            // offered for them alone.
            if (sheet.first == kIptcEdit && name.substr(name.size() - 4) != L".jpg") continue;
            ChooseTool(sheet.first);
            const HWND shown = WaitForSheet(sheet.second, "the tool's sheet");
            if (!shown) break;
            TapDone();
            ASSERT_TRUE(NoDialogLeft()) << "the sheet closes";
        }
        ChooseTool(kBatchRename);
        if (WaitForDialog([](HWND d) { return GetDlgItem(d, IDC_BREN_NAME) != nullptr; }, "batch rename")) TapDone();
        ASSERT_TRUE(NoDialogLeft());
        // The properties from the menu bar's information button.
        TapMenuBar(Viewer::Main(), IDM_MAIN_INFORMATION);
        if (const HWND properties = WaitForSheet(IDC_PP_TYPE, "the properties")) {
            EXPECT_FALSE(TextOf(GetDlgItem(SheetPage(properties, 0), IDC_PP_TYPE)).empty()) << "a readable format";
            TapDone();
        }
        ASSERT_TRUE(NoDialogLeft());
    }
}

TEST_F(Journey, BatchResizeByPercentOfACameraPictureIsOfItsOwnSize) {
    const std::wstring folder = FreshFolder(L"resize");
    CopyFixture(ToolsFixture("camera4000.jpg"), folder + L"photo.jpg");
    Start(folder, 1);
    struct Step {
        int keys[2];  // moved from the stored choice: 50 % is one above the last
        const wchar_t* size;
        std::pair<int, int> want;
        bool replaces;
    } steps[] = {
        {{VK_END, VK_UP}, L"50%", {2000, 1500}, false},
        {{VK_END, 0}, L"25%", {1000, 750}, true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(Utf8(step.size));
        // The first result joins the list after the picture.
        ASSERT_TRUE(PumpUntil([&] { return Viewer::ItemCount() == (step.replaces ? 2 : 1); }, 10000));
        TapItem(0);
        ChooseTool(kResize);
        const HWND sheet = WaitForSheet(IDC_RZ_LIST, "the resize sheet");
        ASSERT_NE(sheet, nullptr);
        const HWND page = SheetPage(sheet, 0);
        const HWND sizes = GetDlgItem(page, IDC_RZ_LIST);
        for (int key : step.keys)
            if (key) Press(sizes, UINT(key));
        Settle();
        // The item's text comes across processes like a window's text.
        wchar_t chosen[32] = L"";
        SendMessageW(sizes, CB_GETLBTEXT, WPARAM(SendMessageW(sizes, CB_GETCURSEL, 0, 0)),
                     reinterpret_cast<LPARAM>(chosen));
        ASSERT_EQ(std::wstring(chosen), step.size);
        Tap(GetDlgItem(page, IDC_APPLY));
        if (step.replaces) {
            EXPECT_EQ(Answer(IDOK), L"File exists already, do you want to overwrite it?");
        }
        EXPECT_EQ(Answer(IDOK), L"The picture photo.jpg has been resized and saved into photo_m.jpg.");
        ASSERT_TRUE(NoDialogLeft()) << "one file: the sheet closes after Apply";
        EXPECT_EQ(SizeOf(folder + L"photo_m.jpg"), step.want);
    }
    EXPECT_EQ(SizeOf(folder + L"photo.jpg"), std::make_pair(4000, 3000));
}

TEST_F(Journey, LosslessRotateTurnsACameraPictureAndItsThumbnail) {
    const std::wstring folder = FreshFolder(L"rotate");
    const std::wstring camera = folder + L"camera.jpg";
    CopyFixture(ToolsFixture("camera4000.jpg"), camera);
    WriteText(L"Folder", L"Prefix", L"");  // the result in place of the picture
    WriteText(L"Folder", L"Suffix", L"");
    Start(folder, 1);
    // The thumbnail: green on the left, red on the right.
    const RECT cell = viewer_->ItemRect(0);
    const int midX = (cell.left + cell.right) / 2, midY = cell.top + (cell.bottom - cell.top) / 3;
    ASSERT_TRUE(PumpUntil(
        [&] { return ScreenHue(midX - 12, midY) == Hue::kGreen && ScreenHue(midX + 12, midY) == Hue::kRed; }, 20000))
        << "the thumbnail as made";
    TapItem(0);
    ChooseTool(kRotate);
    const HWND sheet = WaitForSheet(IDC_ROT_90, "the rotate sheet");
    ASSERT_NE(sheet, nullptr);
    const HWND page = SheetPage(sheet, 0);
    Tap(GetDlgItem(page, IDC_ROT_90));
    Tap(GetDlgItem(page, IDC_RZ_LOSSLESS));
    Settle();
    ASSERT_EQ(SendDlgItemMessageW(page, IDC_RZ_LOSSLESS, BM_GETCHECK, 0, 0), BST_CHECKED);
    Tap(GetDlgItem(page, IDC_APPLY));
    ASSERT_TRUE(NoDialogLeft()) << "no message on the lossless path; one file: the sheet closes";
    // Turned clockwise with the partial blocks of its last rows dropped.
    EXPECT_EQ(SizeOf(camera), std::make_pair(2992, 4000));
    EXPECT_TRUE(PumpUntil(
        [&] { return ScreenHue(midX, midY - 12) == Hue::kGreen && ScreenHue(midX, midY + 12) == Hue::kRed; }, 20000))
        << "the thumbnail turns too: green above red";
    ASSERT_TRUE(CopyFileW(camera.c_str(), (std::wstring(kKept) + L"rotated.jpg").c_str(), FALSE));
}

TEST_F(Journey, AFailingSaveInEveryToolIsToldAndTheOriginalStays) {
    const std::wstring folder = FreshFolder(L"failing");
    const std::wstring photo = folder + L"photo.jpg";
    CopyFixture(ToolsFixture("photo.jpg"), photo);
    WriteText(L"Folder", L"Prefix", L"");  // every result over the picture itself
    WriteText(L"Folder", L"Suffix", L"");
    WriteSetting(L"Convert", L"Format", 0);  // JPEG
    Start(folder, 1);
    const std::vector<uint8_t> original = ReadBytes(photo);
    // Another program holds the picture open for reading: it may be read,
    // not replaced.
    const HANDLE held = CreateFileW(photo.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    TapItem(0);
    const std::wstring problem = L"Problem to save the file!";
    const std::wstring exists = L"File exists already, do you want to overwrite it?";
    const std::pair<ToolsEntry, int> decoded[] = {{kCrop, IDC_CR_X},      {kResize, IDC_RZ_LIST},
                                                  {kConvert, IDC_PV_TYPE}, {kAdjust, IDC_AD_SETTING},
                                                  {kRotate, IDC_ROT_N90},  {kSharpen, IDC_SHARPENBAR}};
    for (const auto& tool : decoded) {
        SCOPED_TRACE(tool.first);
        ChooseTool(tool.first);
        const HWND sheet = WaitForSheet(tool.second, "the tool's sheet");
        ASSERT_NE(sheet, nullptr);
        Tap(GetDlgItem(SheetPage(sheet, 0), IDC_APPLY));
        EXPECT_EQ(Answer(IDOK), exists);
        EXPECT_EQ(Answer(IDOK), problem);
        ASSERT_TRUE(NoDialogLeft());
        EXPECT_TRUE(ReadBytes(photo) == original);
    }
    {
        SCOPED_TRACE("lossless rotate");
        ChooseTool(kRotate);
        const HWND sheet = WaitForSheet(IDC_ROT_N90, "the rotate sheet");
        ASSERT_NE(sheet, nullptr);
        const HWND page = SheetPage(sheet, 0);
        Tap(GetDlgItem(page, IDC_RZ_LOSSLESS));
        Settle();
        Tap(GetDlgItem(page, IDC_APPLY));
        EXPECT_EQ(Answer(IDOK), problem);
        ASSERT_TRUE(NoDialogLeft());
    }
    {
        SCOPED_TRACE("IPTC editor");
        ChooseTool(kIptcEdit);
        const HWND sheet = WaitForSheet(IDC_IP_PATH, "the IPTC editor");
        ASSERT_NE(sheet, nullptr);
        Type(CaptionEdit(sheet), L"Not to be written");
        Settle();
        TapDone();
        EXPECT_EQ(Answer(IDOK), L"Do you want to write IPTC data?");
        EXPECT_EQ(Answer(IDOK), problem);
        ASSERT_TRUE(NoDialogLeft());
    }
    CloseHandle(held);
    EXPECT_TRUE(ReadBytes(photo) == original) << "the picture is byte for byte as it was";
}

TEST_F(Journey, IptcEditorWritesItsPagesAndKeepsWhatItDoesNotShow) {
    const std::wstring folder = FreshFolder(L"iptc");
    const std::wstring picture = folder + L"iptc.jpg";
    CopyFixture(ToolsFixture("iptc.jpg"), picture);
    Start(folder, 1);
    TapItem(0);
    ChooseTool(kIptcEdit);
    const HWND sheet = WaitForSheet(IDC_IP_PATH, "the IPTC editor");
    ASSERT_NE(sheet, nullptr);
    const HWND caption = CaptionEdit(sheet);
    EXPECT_EQ(TextOf(caption), L"Old caption");
    SendMessageW(caption, EM_SETSEL, 0, -1);
    Type(caption, L"Boats at dawn");
    Settle();
    TapDone();
    EXPECT_EQ(Answer(IDOK), L"Do you want to write IPTC data?");
    ASSERT_TRUE(NoDialogLeft());
    ASSERT_TRUE(CopyFileW(picture.c_str(), (std::wstring(kKept) + L"iptc.jpg").c_str(), FALSE));
}



