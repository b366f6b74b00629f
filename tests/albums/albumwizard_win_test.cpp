// The album and slideshow wizard under Wine, driven as a user drives it:
// every dialog fits the screen; the pages offer the selection or the folder;
// the output folder is chosen in a folder tree that starts on the stored one;
// the picture list follows the selection's order, leaves albums out and
// reorders; Create writes an album that then plays, or a stand-alone
// slideshow that runs, shows its pictures and ends on a tap; the overwrite
// question names what is made; closing is refused while a writer runs.
#include "tools/albumwizard_win.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "albumtest.h"
#include "display/audio.h"
#include "display/display_win.h"
#include "display/slideshow_win.h"
#include "platform/handheld.h"
#include "resources/albumwizard.rh"
#include "screen_win.h"
#include "shell/pictureload.h"
#include "shell/language_win.h"
#include "shell/settings_win.h"
#include "tests/support/foldertree.h"
#include "tests/support/modaldriver.h"
#include "tests/support/pictures.h"
#include "tests/support/testfiles.h"

using namespace albumtest;
using namespace modaltest;
using namespace screentest;

namespace {

AlbumWizardState* Wizard(HWND dialog) {
    return reinterpret_cast<AlbumWizardState*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
}

void Next(HWND dialog) { SendMessageW(dialog, WM_COMMAND, CMD_AL_NEXT, 0); }

bool BarEnabled(HWND dialog, UINT command) {
    HWND bar = MenuBarFind(dialog);
    return bar && SendMessageW(bar, TB_ISBUTTONENABLED, command, 0) != 0;
}

std::vector<std::wstring> ListNames(HWND dialog) {
    HWND list = GetDlgItem(Wizard(dialog)->pages[1], IDC_AL_LIST);
    std::vector<std::wstring> names;
    const int count = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = i;
        SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        names.push_back(reinterpret_cast<AlbumPictureItem*>(item.lParam)->name);
    }
    return names;
}

void SelectOnly(HWND list, std::initializer_list<int> indices) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED;
    SendMessageW(list, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&state));
    state.state = LVIS_SELECTED;
    for (int i : indices) SendMessageW(list, LVM_SETITEMSTATE, WPARAM(i), reinterpret_cast<LPARAM>(&state));
}

std::vector<std::wstring> g_audioLog;
void LogAudio(const wchar_t* path, uintptr_t) { g_audioLog.push_back(path ? path : L"<stop>"); }

// The output folder: one the folder tree shows (under the device's "\Temp"),
// removed with all it holds at the end.
struct DeviceFolder {
    std::wstring path = L"\\Temp\\albumwizard" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    DeviceFolder() {
        CreateDirectoryW(L"\\Temp", nullptr);
        CreateDirectoryW(path.c_str(), nullptr);
    }
    ~DeviceFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(path), ignored);
    }
};

HWND OutputTree(HWND dialog) { return GetDlgItem(Wizard(dialog)->pages[4], IDC_AL_FOLDER); }

class WizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::EnsureFormatRegistry();
        ASSERT_EQ(DisplayInit(), 1);
        RegSetSettingsRoot(L"Software\\TrelmoAlbumWizardTest");
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TrelmoAlbumWizardTest");
        for (const char* n : {"red.jpg", "green.jpg", "blue.jpg"}) paths.push_back(Fixture(n));
        paths.push_back(Fixture("holiday.alb"));  // an album in the browser's list: never listed
        for (size_t i = 0; i < paths.size(); ++i)
            entries.push_back(AlbumWizardEntry{paths[i].c_str(), i == 3, nullptr, 0, 0});
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TrelmoAlbumWizardTest");
        RegSetSettingsRoot(L"Software\\Trelmo");
    }
    // Pages 2 to 5: small pictures, a short delay, the output folder chosen
    // in the tree.
    void FillOptions(HWND dialog, const wchar_t* name, bool sound) {
        AlbumWizardState* w = Wizard(dialog);
        SelectComboItem(w->pages[2], IDC_AL_SIZE, 1);
        SetDlgItemInt(w->pages[3], IDC_AL_DELAY, 1, FALSE);
        SetCheck(w->pages[3], IDC_AL_LOOP, true);
        SetCheck(w->pages[3], IDC_AL_TRANSITIONS, false);
        SetCheck(w->pages[3], IDC_AL_USESOUND, sound);
        SetItemText(w->pages[3], IDC_AL_SOUNDFILE, Fixture("tone.wav").c_str());
        ASSERT_TRUE(SelectTreeFolder(OutputTree(dialog), folder));
        SetItemText(w->pages[4], IDC_AL_FILENAME, name);
    }
    DeviceFolder output;
    std::wstring folder = output.path;
    std::vector<std::wstring> paths;
    std::vector<AlbumWizardEntry> entries;
};

TEST(WizardResources, EveryDialogFitsTheScreen) {
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);
    const RECT work = HandheldWorkArea();
    const int usable = (work.bottom - work.top) - MenuBarHeight();
    for (int id : {IDD_ALBUM_WIZARD, IDD_ALBUM_PAGE0, IDD_ALBUM_PAGE1, IDD_ALBUM_PAGE2, IDD_ALBUM_PAGE3,
                   IDD_ALBUM_PAGE4, IDD_ALBUM_PAGE5, IDD_ALBUM_PAGE6}) {
        SCOPED_TRACE(id);
        HWND d = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), parent,
                                    [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
        ASSERT_NE(d, nullptr);
        RECT r;
        GetWindowRect(d, &r);
        EXPECT_LE(r.right - r.left, 240);
        EXPECT_LE(r.bottom - r.top, 320);
        if (id != IDD_ALBUM_WIZARD) {
            EXPECT_LE(r.bottom - r.top, usable);
        }
        // Every control lies inside its page.
        for (HWND c = GetWindow(d, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            RECT cr;
            GetWindowRect(c, &cr);
            EXPECT_LE(cr.right, r.right) << GetDlgCtrlID(c);
            EXPECT_LE(cr.bottom, r.bottom) << GetDlgCtrlID(c);
        }
        DestroyWindow(d);
    }
    DestroyWindow(parent);
}

TEST(WizardThumbnails, FitTheCell) {
    const struct {
        int w, h, cx, cy;
    } cases[] = {{52, 49, 52, 49}, {53, 10, 52, 9}, {40, 50, 39, 49}, {10, 10, 10, 10}, {200, 100, 52, 26}};
    for (const auto& c : cases) {
        const SIZE s = AlbumWizardThumbnailSize(c.w, c.h);
        EXPECT_EQ(s.cx, c.cx) << c.w << "x" << c.h;
        EXPECT_EQ(s.cy, c.cy) << c.w << "x" << c.h;
    }
    EXPECT_TRUE(AlbumWizardIsPictureName(L"a.JPG"));
    EXPECT_TRUE(AlbumWizardIsPictureName(L"x.y.Dng"));
    EXPECT_FALSE(AlbumWizardIsPictureName(L"holiday.alb"));
    EXPECT_FALSE(AlbumWizardIsPictureName(L"jpg"));
}

TEST_F(WizardTest, AlbumFromTheSelectionPlays) {
    const int32_t selected[] = {2, 0, 3};  // blue, red, and an album
    ModalDriver driver(30000);
    driver.OnDialog([&](HWND dialog) {
        AlbumWizardState* w = Wizard(dialog);
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(w->pages[0], IDC_AL_SEL1)));
        EXPECT_TRUE(IsChecked(w->pages[0], IDC_AL_SEL1));
        EXPECT_FALSE(BarEnabled(dialog, CMD_AL_PREVIOUS));
        Next(dialog);
        EXPECT_EQ(w->currentPage, 1);
        EXPECT_FALSE(BarEnabled(dialog, CMD_AL_PREVIOUS));
        EXPECT_EQ(ListNames(dialog), (std::vector<std::wstring>{L"blue.jpg", L"red.jpg"}));
        for (int i = 0; i < 5; ++i) Next(dialog);
        EXPECT_EQ(w->currentPage, 6);
        EXPECT_FALSE(BarEnabled(dialog, CMD_AL_NEXT));
        FillOptions(dialog, L"holiday.jpg", true);
        Click(w->pages[6], IDC_AL_CREATE);
    });
    RunAlbumWizard(nullptr, entries.data(), int32_t(entries.size()), selected, 3, kWizardAlbum);
    EXPECT_EQ(driver.dialogsSeen(), 1);

    // The stored name took the album's extension; the settings were kept.
    wchar_t stored[kAlbumPathChars];
    RegReadText(L"Slide", L"OutputFile", L"", stored, kAlbumPathChars);
    EXPECT_STREQ(stored, L"holiday.alb");
    EXPECT_EQ(RegReadSettingDefault(L"Slide", L"Delay", 0), 1u);

    const std::wstring album = folder + L"holiday.alb";
    ZipHandle* zip = OpenZipFile(album.c_str(), nullptr);
    ASSERT_NE(zip, nullptr);
    AlbumShowConfig c;
    ASSERT_EQ(AlbumReadConfig(zip, &c), 1);
    EXPECT_EQ(c.names, (std::vector<std::wstring>{L"0000", L"0001"}));
    EXPECT_EQ(c.soundName, L"0002");
    EXPECT_EQ(c.delay, 1);
    EXPECT_EQ(c.loop, 1);
    CloseZipReader(zip);

    // It plays: blue first, with its sound.
    const SlideshowAudio audio{LogAudio, 0};
    SetSlideshowAudio(&audio);
    g_audioLog.clear();
    HWND show = SlideshowStartAlbum(nullptr, folder.c_str(), L"holiday.alb");
    ASSERT_NE(show, nullptr);
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kBlue; }));
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kRed; }));
    ASSERT_FALSE(g_audioLog.empty());
    DestroyWindow(show);
    SetSlideshowAudio(nullptr);
}

// What the browser lends the wizard, recorded: the calls around the writer.
struct HookLog {
    std::vector<std::wstring> calls;
};
HookLog* g_hookLog = nullptr;

void BeforeWrite(uintptr_t) { g_hookLog->calls.push_back(L"before"); }
void AfterWrite(uintptr_t, const wchar_t* folder, const wchar_t* name, int32_t made) {
    g_hookLog->calls.push_back(std::wstring(L"after ") + folder + name + (made ? L" made" : L" stopped"));
}

TEST_F(WizardTest, PageLabelsFollowTheLanguageFile) {
    // A language file beside the program, opened for this test only.
    wchar_t program[MAX_PATH] = L"";
    LngProgramFolder(program, MAX_PATH);
    const std::wstring file = std::wstring(program) + L"zw.lng";
    testing_support::WriteText(file,
                               "zw=Wizardish\r\n"
                               "[DlgAlbum2]\r\nIDC_AL_TEXT1=Grandeur\r\nIDC_AL_TEXT3=Tour\r\nIDC_AL_TEXT4=Lumiere\r\n"
                               "[DlgAlbum3]\r\nIDC_TDELAY=Pause\r\nIDC_TSECONDS=secondes\r\n"
                               "[DlgAlbum4]\r\nIDC_SELECT_TEXT=Dossier\r\nIDC_AL_TEXT=Nom\r\n"
                               "[DlgAlbum5]\r\nIDC_JPEG_TEXT=Qualite\r\nIDC_JPEGTEXT1=Basse\r\nIDC_JPEGTEXT2=Haute\r\n");
    ASSERT_EQ(LngOpen("zw"), 1);
    std::vector<std::wstring> labels;
    ModalDriver driver(30000);
    driver.OnDialog([&](HWND dialog) {
        AlbumWizardState* w = Wizard(dialog);
        const std::pair<int, int> items[] = {
            {2, IDC_AL_TSIZE},    {2, IDC_AL_TROTATE},   {2, IDC_AL_TBRIGHTNESS}, {3, IDC_AL_TDELAY},
            {3, IDC_AL_TSECONDS}, {4, IDC_AL_TFOLDER},   {4, IDC_AL_TFILENAME},   {5, IDC_AL_TQUALITY},
            {5, IDC_AL_TLOW},     {5, IDC_AL_THIGH}};
        for (const auto& item : items) labels.push_back(ItemText(w->pages[item.first], item.second));
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    RunAlbumWizard(nullptr, entries.data(), int32_t(entries.size()), nullptr, 0, kWizardAlbum);
    LngOpen("en");
    DeleteFileW(file.c_str());
    EXPECT_EQ(labels, (std::vector<std::wstring>{L"Grandeur", L"Tour", L"Lumiere", L"Pause", L"secondes", L"Dossier",
                                                 L"Nom", L"Qualite", L"Basse", L"Haute"}));
}

// The writer runs between the two browser calls, which name the file made.
// Album pictures and the list's thumbnails come from the installed loader: a
// sideways camera picture is listed upright.
TEST_F(WizardTest, WriterHooksAndUprightThumbnails) {
    HookLog log;
    g_hookLog = &log;
    const AlbumWizardHooks hooks{BeforeWrite, AfterWrite, 0};
    SetAlbumPictureLoader(LoadPictureUpright);
    const std::wstring sideways = Fixture("sideways.jpg");
    const AlbumWizardEntry sidewaysEntry{sideways.c_str(), 0, nullptr, 0, 0};
    ModalDriver driver(30000);
    SIZE thumbnail{};
    driver.OnDialog([&](HWND dialog) {
        AlbumWizardState* w = Wizard(dialog);
        Next(dialog);
        ASSERT_TRUE(PumpUntil([&] {
            AlbumPictureItem* item = nullptr;
            LVITEMW lv{};
            lv.mask = LVIF_PARAM;
            SendMessageW(GetDlgItem(w->pages[1], IDC_AL_LIST), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&lv));
            item = reinterpret_cast<AlbumPictureItem*>(lv.lParam);
            if (item && item->thumbnail) thumbnail = SIZE{item->thumbnailWidth, item->thumbnailHeight};
            return item && item->thumbnail;
        }));
        for (int i = 0; i < 3; ++i) Next(dialog);
        FillOptions(dialog, L"upright", false);
        for (int i = 0; i < 2; ++i) Next(dialog);
        Click(w->pages[6], IDC_AL_CREATE);
    });
    RunAlbumWizard(nullptr, &sidewaysEntry, 1, nullptr, 0, kWizardAlbum, &hooks);
    SetAlbumPictureLoader(nullptr);
    g_hookLog = nullptr;
    EXPECT_EQ(log.calls, (std::vector<std::wstring>{L"before", L"after " + folder + L"upright.alb made"}));
    // Stored 640 x 320, upright 320 x 640: the thumbnail is taller than wide.
    EXPECT_LT(thumbnail.cx, thumbnail.cy);

    // The album's picture went in upright too.
    ZipHandle* zip = OpenZipFile((folder + L"upright.alb").c_str(), nullptr);
    ASSERT_NE(zip, nullptr);
    int32_t index = -1;
    ASSERT_EQ(FindZipItem(zip, L"0000", 0, &index, nullptr), kZipOk);
    ASSERT_EQ(SetUnzipBaseDir(zip, folder.c_str()), kZipOk);
    ASSERT_EQ(UnzipItemToFile(zip, index, L"0000.jpg"), kZipOk);
    const std::wstring unpacked = folder + L"0000.jpg";
    CloseZipReader(zip);
    ImageInfo info{};
    ASSERT_EQ(QueryPictureInfo(unpacked.c_str(), -1, 0, &info), 0);
    EXPECT_LT(info.width, info.height);
    FreePictureInfo(&info);
}

// The output page starts on the stored folder, with the stored name below
// the tree and above the menu bar; the folder chosen in the tree is where
// Create writes, and it is stored ending with "\".
TEST_F(WizardTest, OutputFolderTreeStartsOnTheStoredFolderAndChoosesWhereTheAlbumGoes) {
    const std::wstring first = folder + L"first\\", second = folder + L"second\\";
    for (const std::wstring& f : {first, second}) ASSERT_TRUE(CreateDirectoryW(f.c_str(), nullptr));
    RegWriteText(L"Slide", L"OutputDir", first.c_str());
    RegWriteText(L"Slide", L"OutputFile", L"trip.alb");
    std::wstring startedOn, nameShown;
    ModalDriver driver(30000);
    driver.OnDialog([&](HWND dialog) {
        AlbumWizardState* w = Wizard(dialog);
        for (int i = 0; i < 4; ++i) Next(dialog);
        ASSERT_EQ(w->currentPage, 4);
        const HWND tree = OutputTree(dialog), name = GetDlgItem(w->pages[4], IDC_AL_FILENAME);
        startedOn = SelectedTreeFolder(tree);
        nameShown = Text(name);
        RECT nameRect, barRect;
        GetWindowRect(name, &nameRect);
        GetWindowRect(MenuBarFind(dialog), &barRect);
        EXPECT_TRUE(IsWindowVisible(name));
        EXPECT_LE(nameRect.bottom, barRect.top);
        ASSERT_TRUE(SelectTreeFolder(tree, second));
        for (int i = 0; i < 2; ++i) Next(dialog);
        Click(w->pages[6], IDC_AL_CREATE);
    });
    RunAlbumWizard(nullptr, entries.data(), int32_t(entries.size()), nullptr, 0, kWizardAlbum);
    EXPECT_EQ(startedOn, first);
    EXPECT_EQ(nameShown, L"trip.alb");
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(second + L"trip.alb")));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(first + L"trip.alb")));
    wchar_t stored[kAlbumPathChars];
    RegReadText(L"Slide", L"OutputDir", L"", stored, kAlbumPathChars);
    EXPECT_EQ(std::wstring(stored), second);
}

// The stored folder is cut after its last "\"; one that is gone leaves the
// root selected, which is then where the output goes.
TEST_F(WizardTest, OutputFolderTreeStartsOnWhatIsLeftOfTheStoredFolder) {
    const std::wstring first = folder + L"first\\";
    ASSERT_TRUE(CreateDirectoryW(first.c_str(), nullptr));
    const struct {
        std::wstring stored, shown;
    } cases[] = {{first + L"old.alb", first}, {folder + L"gone\\", L"\\"}, {L"", L"\\"}};
    for (const auto& c : cases) {
        RegWriteText(L"Slide", L"OutputDir", c.stored.c_str());
        std::wstring shown;
        ModalDriver driver(30000);
        driver.OnDialog([&](HWND dialog) {
            shown = SelectedTreeFolder(OutputTree(dialog));
            SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        RunAlbumWizard(nullptr, entries.data(), int32_t(entries.size()), nullptr, 0, kWizardAlbum);
        EXPECT_EQ(shown, c.shown) << testing_support::ToFsPath(c.stored).string();
    }
}

TEST_F(WizardTest, FolderListReordersAndSlideshowRuns) {
    // Copy the player beside this program, where the maker looks for it.
    ModalDriver driver(30000);
    driver.OnDialog([&](HWND dialog) {
        AlbumWizardState* w = Wizard(dialog);
        // Without a selection the folder is offered instead.
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(w->pages[0], IDC_AL_SEL1)));
        EXPECT_TRUE(IsChecked(w->pages[0], IDC_AL_SEL2));
        Next(dialog);
        EXPECT_EQ(ListNames(dialog), (std::vector<std::wstring>{L"red.jpg", L"green.jpg", L"blue.jpg"}));
        HWND list = GetDlgItem(w->pages[1], IDC_AL_LIST);
        // Only the first selected: nothing moves.
        SelectOnly(list, {0});
        Click(w->pages[1], IDC_AL_UP);
        EXPECT_EQ(ListNames(dialog), (std::vector<std::wstring>{L"red.jpg", L"green.jpg", L"blue.jpg"}));
        // The first two: the second goes to the top and stays selected.
        SelectOnly(list, {0, 1});
        Click(w->pages[1], IDC_AL_UP);
        EXPECT_EQ(ListNames(dialog), (std::vector<std::wstring>{L"green.jpg", L"red.jpg", L"blue.jpg"}));
        EXPECT_EQ(SendMessageW(list, LVM_GETITEMSTATE, 0, LVIS_SELECTED), LRESULT(LVIS_SELECTED));
        EXPECT_EQ(SendMessageW(list, LVM_GETITEMSTATE, 1, LVIS_SELECTED), 0);
        // Down from the last does nothing; the green one goes back down.
        SelectOnly(list, {0});
        Click(w->pages[1], IDC_AL_DOWN);
        EXPECT_EQ(ListNames(dialog), (std::vector<std::wstring>{L"red.jpg", L"green.jpg", L"blue.jpg"}));
        // Green unchecked: it stays out of the show.
        SendMessageW(w->pages[1], WM_COMMAND, IDC_AL_UNCHECKALL, 0);
        SendMessageW(w->pages[1], WM_COMMAND, IDC_AL_CHECKALL, 0);
        {
            LVITEMW item{};
            item.mask = LVIF_PARAM;
            item.iItem = 1;
            SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
            reinterpret_cast<AlbumPictureItem*>(item.lParam)->checked = 0;
        }
        for (int i = 0; i < 5; ++i) Next(dialog);
        FillOptions(dialog, L"holiday.alb", false);
        SetCheck(w->pages[3], IDC_AL_LOOP, false);
        // Closing while the writer runs is refused: this one arrives in
        // the writer's message pump and must be ignored.
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        Click(w->pages[6], IDC_AL_CREATE);
    });
    RunAlbumWizard(nullptr, entries.data(), int32_t(entries.size()), nullptr, 0, kWizardSlideshow);
    // Closed by Create's command 1 (settings written), not by the refused one.
    wchar_t stored[kAlbumPathChars];
    RegReadText(L"Slide", L"OutputFile", L"", stored, kAlbumPathChars);
    EXPECT_STREQ(stored, L"holiday.exe");

    const std::wstring show = folder + L"holiday.exe";
    ASSERT_TRUE(std::filesystem::exists(show));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring command = L"\"" + show + L"\"";
    ASSERT_TRUE(CreateProcessW(show.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kRed; }));
    EXPECT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kBlue; }));
    EXPECT_TRUE(TapView(FindWindowW(L"slideClass", L"TrelmoSlide")));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 20000), DWORD(WAIT_OBJECT_0));
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    if (code == STILL_ACTIVE) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
}

TEST_F(WizardTest, OverwriteQuestionNamesTheSlideshowAndCancelWritesNothing) {
    testing_support::WriteText(folder + L"old.exe", "older");
    ModalDriver driver(30000);
    std::wstring question;
    driver.OnDialog([&](HWND dialog) {
        AlbumWizardState* w = Wizard(dialog);
        Next(dialog);
        for (int i = 0; i < 5; ++i) Next(dialog);
        FillOptions(dialog, L"old", false);
        Click(w->pages[6], IDC_AL_CREATE);
        // Cancel left the wizard on its last page with nothing written.
        EXPECT_TRUE(IsWindow(dialog));
        EXPECT_EQ(w->currentPage, 6);
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(w->pages[6], IDC_AL_CREATE)));
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    driver.OnDialog([&](HWND box) {
        for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            if (Text(c).find(L"overwrite") != std::wstring::npos) question = Text(c);
        SendMessageW(box, WM_COMMAND, IDCANCEL, 0);
    });
    RunAlbumWizard(nullptr, entries.data(), int32_t(entries.size()), nullptr, 0, kWizardSlideshow);
    EXPECT_NE(question.find(L"slideshow"), std::wstring::npos) << testing_support::ToFsPath(question).string();
    EXPECT_EQ(question.find(L"album"), std::wstring::npos);
    const std::vector<uint8_t> kept = testing_support::ReadBytes(folder + L"old.exe");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "older");
    // Closed with command 2: the settings were not written.
    wchar_t stored[kAlbumPathChars];
    RegReadText(L"Slide", L"OutputFile", L"none", stored, kAlbumPathChars);
    EXPECT_STREQ(stored, L"none");
}

}  // namespace
