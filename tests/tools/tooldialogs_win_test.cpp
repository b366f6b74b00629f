// The tools' dialogs under Wine, driven as a user would: the JPEG quality
// dialog, batch rename, and the shared save's overwrite question and done
// message. Every dialog fits the 240 x 320 screen.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "platform/handheld.h"
#include "resources/tools.rh"
#include "shell/filelist.h"
#include "shell/settings_win.h"
#include "tests/support/dialogfit.h"
#include "tests/support/modaldriver.h"
#include "tests/support/pictures.h"
#include "tests/support/testfiles.h"
#include "processing/iptc.h"
#include "tools/capture_win.h"
#include "tools/iptctemplate_win.h"
#include "tests/tools/toolsettings_win.h"
#include "tools/tooldialogs_win.h"

using modaltest::Click;
using modaltest::ItemText;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

namespace {

class ToolDialogs : public ToolSettingsTest {
protected:
    ToolDialogs() : ToolSettingsTest(L"Software\\TrelmoToolsTest") {}
};

int ComboSelection(HWND dialog, int id) { return int(SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0)); }

}  // namespace

TEST(ToolResources, EveryDialogFitsTheScreen) {
    InitCommonControls();
    for (int id : {IDD_JPEG_QUALITY, IDD_BATCH_RENAME, IDD_IPTC_TEMPLATES, IDD_CAPTURE_PAGE})
        testing_support::ExpectDialogFitsScreen(id);
}

TEST_F(ToolDialogs, JpegQualityStartsAtNormalAndAnswersTheChoice) {
    // The output page's "JPEGQuality" is another value: registry names ignore
    // case, so the dialog keeps its step under a name of its own.
    RegWriteDword(L"Convert", L"JPEGQuality", 40);
    modaltest::ModalDriver driver;
    std::vector<std::wstring> items;
    int selected = -5;
    RECT box{};
    driver.OnDialog([&](HWND d) {
        items = modaltest::ComboItems(d, IDC_JQ_LIST);
        selected = ComboSelection(d, IDC_JQ_LIST);
        GetWindowRect(d, &box);
        modaltest::SelectComboItem(d, IDC_JQ_LIST, 0);
        Click(d, IDOK);
    });
    int index = -5;
    EXPECT_EQ(AskJpegQuality(nullptr, &index), 1);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(JpegQualityOfStep(index), 25);
    EXPECT_EQ(items, (std::vector<std::wstring>{L"25 (Very low)", L"50 (Low)", L"75 (Normal)", L"100 (High)"}));
    EXPECT_EQ(selected, 2);
    EXPECT_GE(box.left, 0);
    EXPECT_GE(box.top, 0);
    EXPECT_EQ(RegReadSettingDefault(L"Convert", L"JPEGQuality", 0), 40u);  // nothing written

    driver.OnDialog([](HWND d) { Click(d, IDCANCEL); });
    EXPECT_EQ(AskJpegQuality(nullptr, &index), 0);
    EXPECT_EQ(index, -1);
}

TEST_F(ToolDialogs, CentringNeverPutsAWindowOffTheTopOrLeft) {
    HWND reference =
        CreateWindowExW(0, L"STATIC", L"", WS_POPUP, -200, -150, 100, 80, nullptr, nullptr, nullptr, nullptr);
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 50, 50, 60, 40, nullptr, nullptr, nullptr, nullptr);
    CentreWindow(reference, window, FALSE);
    RECT r;
    GetWindowRect(window, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right - r.left, 60);
    MoveWindow(reference, 100, 100, 100, 80, FALSE);
    CentreWindow(reference, window, FALSE);
    GetWindowRect(window, &r);
    EXPECT_EQ(r.left, 120);
    EXPECT_EQ(r.top, 120);
    DestroyWindow(window);
    DestroyWindow(reference);
}

TEST_F(ToolDialogs, BatchRenameFromTheSelection) {
    ScratchDir dir;
    std::vector<SelectedFile> files(3);
    const char* names[] = {"dsc01.jpg", "dsc02.jpg", "dsc03.jpg"};
    for (size_t i = 0; i < 3; ++i) {
        WriteBytes(dir.File(names[i]), {uint8_t('a' + i)});
        wcscpy(files[i].path, dir.File(names[i]).c_str());
        files[i].index = uint32_t(i);
    }
    modaltest::ModalDriver driver;
    std::wstring shownName;
    std::wstring shownExtension;
    std::wstring shownDigits;
    bool stayedOpen = false;
    driver.OnDialog([&](HWND d) {
        shownName = ItemText(d, IDC_REN_NAME);
        shownExtension = ItemText(d, IDC_BREN_EXTENSION);
        shownDigits = ItemText(d, IDC_REN_DIGITS);
        // A base name with a separator is refused and the dialog stays.
        modaltest::SetItemText(d, IDC_REN_NAME, L"..\\Img");
        Click(d, IDC_APPLY);
        stayedOpen = IsWindow(d) && IsWindowVisible(d);
        modaltest::SetItemText(d, IDC_REN_NAME, L"Img");
        modaltest::SetItemText(d, IDC_REN_DIGITS, L"3");
        Click(d, IDC_APPLY);
    });
    std::vector<uint32_t> renamed;
    EXPECT_EQ(RunBatchRenameCommand(nullptr, files.data(), 3,
                                    [](void* user, uint32_t i, const wchar_t*) {
                                        static_cast<std::vector<uint32_t>*>(user)->push_back(i);
                                    },
                                    &renamed),
              3u);
    EXPECT_EQ(shownName, L"dsc01");
    EXPECT_EQ(shownExtension, L"jpg");
    EXPECT_EQ(shownDigits, L"2");
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(renamed, (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(ReadBytes(dir.File("Img001.jpg")), std::vector<uint8_t>{'a'});
    EXPECT_EQ(ReadBytes(dir.File("Img003.jpg")), std::vector<uint8_t>{'c'});

    // The choices were stored; Cancel renames nothing.
    wchar_t stored[64];
    RegReadText(L"Rename", L"Name", L"", stored, 64);
    EXPECT_STREQ(stored, L"Img");
    EXPECT_EQ(RegReadSettingDefault(L"Rename", L"Digit", 0), 3u);
    driver.OnDialog([&](HWND d) {
        shownName = ItemText(d, IDC_REN_NAME);
        Click(d, IDCANCEL);
    });
    EXPECT_EQ(RunBatchRenameCommand(nullptr, files.data(), 1, nullptr, nullptr), 0u);
    EXPECT_EQ(shownName, L"Img");
}

TEST_F(ToolDialogs, SaveAsksBeforeReplacingAndTellsWhereItSaved) {
    ScratchDir dir;
    const std::wstring source = dir.File("pic.bmp");
    Bitmap b{};
    ASSERT_TRUE(AllocBitmap(&b, kPixelRGB, 4, 16, 8));
    OutputChoices choices;
    choices.format = FindFormatByName("png");
    const OutputOptions options = MakeOutputOptions(choices);
    OutputFolder folder = ReadStoredOutputFolder();
    EXPECT_STREQ(folder.suffix, L"_m");
    const std::wstring target = dir.File("pic_m.png");
    WriteBytes(target, {'o', 'l', 'd'});

    modaltest::ModalDriver driver;
    std::wstring question;
    driver.OnDialog([&](HWND d) {
        question = ItemText(d, 0xFFFF);  // a message box's text
        Click(d, IDCANCEL);
    });
    EXPECT_EQ(SaveInChosenFormat(nullptr, options, folder, IDS_CONVERT_OK, "IDS_CONVERT_OK", source.c_str(), &b), 1);
    EXPECT_EQ(question, L"File exists already, do you want to overwrite it?");
    EXPECT_EQ(ReadBytes(target), (std::vector<uint8_t>{'o', 'l', 'd'}));

    std::wstring done;
    driver.OnDialog([](HWND d) { Click(d, IDOK); });
    driver.OnDialog([&](HWND d) {
        done = ItemText(d, 0xFFFF);
        Click(d, IDOK);
    });
    EXPECT_EQ(SaveInChosenFormat(nullptr, options, folder, IDS_CONVERT_OK, "IDS_CONVERT_OK", source.c_str(), &b), 1);
    EXPECT_EQ(done, L"The picture pic.bmp has been saved into pic_m.png.");
    EXPECT_NE(ReadBytes(target), (std::vector<uint8_t>{'o', 'l', 'd'}));
    FreeBitmap(&b);
}

TEST_F(ToolDialogs, CaptureIsUprightAndTakesTheNextFreeName) {
    // Red at the top of the screen, blue at the bottom.
    const auto solid = [](COLORREF colour, int y, int height) {
        // A class of its own per colour paints its background in it.
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = CreateSolidBrush(colour);
        const std::wstring name = L"PvCaptureTest" + std::to_wstring(colour);
        wc.lpszClassName = name.c_str();
        RegisterClassW(&wc);
        HWND w = CreateWindowExW(WS_EX_TOPMOST, name.c_str(), L"", WS_POPUP | WS_VISIBLE, 0, y, 240, height,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        UpdateWindow(w);
        return w;
    };
    HWND top = solid(RGB(255, 0, 0), 0, 40);
    HWND bottom = solid(RGB(0, 0, 255), 280, 40);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    GdiFlush();

    ScratchDir dir;
    const std::wstring folder = dir.path().wstring() + L"\\";
    WriteBytes(dir.File("capture001.png"), {1});
    OutputChoices choices;
    choices.format = FindFormatByName("png");
    wchar_t name[64] = L"";
    ASSERT_EQ(CaptureScreenToFile(folder.c_str(), name, 64, MakeOutputOptions(choices)), 1);
    EXPECT_STREQ(name, L"capture002.png");
    DestroyWindow(top);
    DestroyWindow(bottom);

    testing_support::LoadedPicture picture;
    LoadOptions options{};
    InitLoadOptions(&options);
    picture.result = LoadPictureFromFile((folder + name).c_str(), &picture.bitmap, &options, &picture.info);
    ASSERT_EQ(picture.result, 0);
    const testing_support::RgbaPicture rgba = testing_support::RgbaOf(picture.bitmap);
    ASSERT_EQ(rgba.height, 320);
    EXPECT_GT(rgba.At(120, 10)[0], 200);  // red at the top
    EXPECT_LT(rgba.At(120, 10)[2], 60);
    EXPECT_GT(rgba.At(120, 310)[2], 200);  // blue at the bottom
    EXPECT_LT(rgba.At(120, 310)[0], 60);

    RECT empty{10, 10, 10, 50};
    Bitmap none{};
    EXPECT_EQ(ScreenGrabber(&empty, &none), 0);
}

TEST_F(ToolDialogs, IptcTemplatesSaveLoadAndNeverOverwrite) {
    IptcRecord record{};
    IptcSetText(&record, 105, "Sea", 3);
    IptcAddListItem(&record, kIptcKeywords, "sky");
    modaltest::ModalDriver driver;
    driver.OnDialog([](HWND d) {
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, IDC_LOAD)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDC_APPLY)));
        modaltest::SetItemText(d, IDC_IT_NAME, L"Beach");
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDC_APPLY)));
        Click(d, IDC_APPLY);
    });
    EXPECT_EQ(RunIptcTemplateList(nullptr, &record, kIptcTemplateSave), 1);
    wchar_t stored[128];
    RegReadText(L"IPTC", L"Beach", L"", stored, 128);
    EXPECT_STREQ(stored, L"105:3:Sea:25:3:sky:");

    // The same name again: Save stays off.
    bool saveEnabled = true;
    driver.OnDialog([&](HWND d) {
        modaltest::SetItemText(d, IDC_IT_NAME, L"Beach");
        saveEnabled = IsWindowEnabled(GetDlgItem(d, IDC_APPLY)) != 0;
        Click(d, IDC_APPLY);
    });
    EXPECT_EQ(RunIptcTemplateList(nullptr, &record, kIptcTemplateSave), 0);
    EXPECT_FALSE(saveEnabled);
    IptcFree(&record);

    // Loading fills a record that starts empty; a hand-edited value whose
    // length runs past its end is read safely.
    RegWriteText(L"IPTC", L"Broken", L"90:4:Oslo:105:80:cut");
    for (const wchar_t* name : {L"Beach", L"Broken"}) {
        IptcRecord loaded{};
        driver.OnDialog([&](HWND d) {
            const LRESULT index = SendDlgItemMessageW(d, IDC_IT_LIST, LB_FINDSTRINGEXACT, WPARAM(-1),
                                                      reinterpret_cast<LPARAM>(name));
            ASSERT_GE(index, 0);
            SendDlgItemMessageW(d, IDC_IT_LIST, LB_SETCURSEL, WPARAM(index), 0);
            SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_IT_LIST, LBN_SELCHANGE), 0);
            Click(d, IDC_LOAD);
        });
        EXPECT_EQ(RunIptcTemplateList(nullptr, &loaded, kIptcTemplateLoad), 1);
        if (std::wstring(name) == L"Beach") {
            ASSERT_NE(loaded.slots[105].text, nullptr);
            EXPECT_STREQ(loaded.slots[105].text, "Sea");
            EXPECT_EQ(loaded.lists[kIptcKeywords].count, 1u);
        } else {
            ASSERT_NE(loaded.slots[90].text, nullptr);
            EXPECT_STREQ(loaded.slots[90].text, "Oslo");
            EXPECT_EQ(loaded.slots[105].text, nullptr);
        }
        IptcFree(&loaded);
    }

    // Remove deletes the stored template.
    driver.OnDialog([](HWND d) {
        SendDlgItemMessageW(d, IDC_IT_LIST, LB_SETCURSEL, 0, 0);
        SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_IT_LIST, LBN_SELCHANGE), 0);
        Click(d, IDC_IPTCDEL);
        EXPECT_EQ(SendDlgItemMessageW(d, IDC_IT_LIST, LB_GETCOUNT, 0, 0), 1);
        Click(d, IDCANCEL);
    });
    EXPECT_EQ(RunIptcTemplateList(nullptr, nullptr, kIptcTemplateLoad), 0);
}

TEST_F(ToolDialogs, CaptureSheetGivesDelayAndFormatOrNothingOnCancel) {
    modaltest::ModalDriver driver;
    driver.OnDialog([](HWND sheet) {
        PropSheet_SetCurSel(sheet, nullptr, 1);
        HWND format = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_INDEXTOHWND, 1, 0));
        modaltest::SetCheck(format, IDC_CN_JPEG, true);
        SendDlgItemMessageW(format, IDC_CN_QUALITYBAR, TBM_SETPOS, TRUE, 40);
        HWND capture = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_INDEXTOHWND, 0, 0));
        EXPECT_TRUE(modaltest::IsChecked(capture, IDC_DELAY));
        EXPECT_EQ(SendDlgItemMessageW(capture, IDC_CP_DELAYLIST, CB_GETCURSEL, 0, 0), 1);  // 5 s at first
        SendDlgItemMessageW(capture, IDC_CP_DELAYLIST, CB_SETCURSEL, 2, 0);
        Click(capture, IDC_APPLY);
    });
    int delay = 0;
    OutputOptions options{};
    EXPECT_EQ(RunCaptureTool(nullptr, &delay, &options), 1);
    EXPECT_EQ(delay, 10);
    EXPECT_EQ(options.format, FindFormatByName("jpeg"));
    EXPECT_EQ(options.jpegQuality, 40);
    EXPECT_EQ(RegReadSettingDefault(L"Capture", L"Delay", 0), 2u);
    EXPECT_EQ(RegReadSettingDefault(L"Convert", L"JPEGQuality", 0), 40u);
    EXPECT_EQ(CaptureDelaySeconds(7), 1);

    driver.OnDialog([](HWND sheet) { SendMessageW(sheet, WM_COMMAND, IDCANCEL, 0); });
    delay = -1;
    EXPECT_EQ(RunCaptureTool(nullptr, &delay, &options), 0);
    EXPECT_EQ(delay, -1);
}
