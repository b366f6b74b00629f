// The batch tool sheet under Wine, run from a selection of fixture pictures
// as the main window's commands run it: Apply and Apply all, the done
// message once, the overwrite question, settings stored by OK and Cancel
// alike, and every page fitting the screen.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "display/display_win.h"
#include "display/view_win.h"
#include "platform/handheld.h"
#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "resources/tools.rh"
#include "shell/filelist.h"
#include "shell/foldertree_win.h"
#include "shell/settings_win.h"
#include "shell/viewerlogic.h"
#include "tests/support/dialogfit.h"
#include "tests/support/languagefile.h"
#include "tests/support/menubar.h"
#include "tests/support/modaldriver.h"
#include "tests/support/pictures.h"
#include "tests/support/testfiles.h"
#include "tools/batchsheet_win.h"
#include "shell/language_win.h"
#include "processing/iptc.h"
#include "processing/iptcjpeg.h"
#include "tools/iptceditor_win.h"
#include "tools/properties_win.h"
#include "tests/tools/toolsettings_win.h"
#include "tools/tooldialogs_win.h"

using modaltest::Click;
using modaltest::ItemText;
using modaltest::MenuBarButtonEnabled;
using modaltest::TapMenuBarButton;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

namespace {

std::wstring Fixture(const char* name) { return testing_support::FixtureFile(PV_TOOLS_FIXTURES, name); }

class BatchSheet : public ToolSettingsTest {
protected:
    BatchSheet() : ToolSettingsTest(L"Software\\TrelmoBatchSheetTest") {}
    void SetUp() override {
        ToolSettingsTest::SetUp();
        static const int displayReady = DisplayInit();  // once, as the program does at start-up
        ASSERT_EQ(displayReady, 1);
    }
    // Copies of fixture pictures as the browser's selection.
    std::vector<SelectedFile> Select(const std::vector<std::pair<const char*, const char*>>& copies) {
        std::vector<SelectedFile> files(copies.size());
        for (size_t i = 0; i < copies.size(); ++i) {
            const std::wstring path = dir.File(copies[i].second);
            WriteBytes(path, ReadBytes(Fixture(copies[i].first)));
            wcscpy(files[i].path, path.c_str());
            files[i].index = uint32_t(i);
        }
        return files;
    }
    ScratchDir dir;
};

HWND Page(HWND sheet, int index) {
    return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_INDEXTOHWND, WPARAM(index), 0));
}

std::pair<int, int> SizeOf(const std::wstring& path) {
    ImageInfo info{};
    const int rc = QueryPictureInfo(path.c_str(), -1, 0, &info);
    const std::pair<int, int> size = rc == 0 ? std::make_pair(int(info.width), int(info.height)) : std::make_pair(0, 0);
    FreePictureInfo(&info);
    return size;
}

}  // namespace

TEST_F(BatchSheet, RotateAllDecodesTurnsSavesAndAnnouncesOnce) {
    std::vector<SelectedFile> files = Select({{"photo.jpg", "a.jpg"}, {"gradient.png", "b.png"}, {"photo.jpg", "c.jpg"}});
    modaltest::ModalDriver driver;
    int messages = 0;
    std::wstring done;
    bool allShown = false;
    driver.OnDialog([&](HWND sheet) {
        HWND tool = Page(sheet, 0);
        allShown = IsWindowVisible(GetDlgItem(tool, IDC_APPLYALL)) != 0;
        EXPECT_FALSE(MenuBarButtonEnabled(sheet, IDC_STEP_PREVIOUS));
        EXPECT_TRUE(MenuBarButtonEnabled(sheet, IDC_STEP_NEXT));
        modaltest::SetCheck(tool, IDC_ROT_N90, false);
        modaltest::SetCheck(tool, IDC_ROT_90, true);
        Click(tool, IDC_APPLYALL);
    });
    driver.OnDialog([&](HWND box) {
        ++messages;
        done = ItemText(box, 0xFFFF);
        Click(box, IDOK);
    });
    EXPECT_EQ(RunBatchRotateTool(nullptr, files.data(), uint32_t(files.size())), 1);
    EXPECT_TRUE(allShown);
    EXPECT_EQ(messages, 1);
    EXPECT_EQ(done, L"The picture c.jpg has been rotated and saved into c_m.jpg.");
    EXPECT_EQ(SizeOf(dir.File("a_m.jpg")), std::make_pair(240, 320));
    EXPECT_EQ(SizeOf(dir.File("b_m.jpg")), std::make_pair(32, 48));
    EXPECT_EQ(SizeOf(dir.File("c_m.jpg")), std::make_pair(240, 320));
    EXPECT_EQ(RegReadSettingDefault(L"Convert", L"Format", 99), DWORD(FindFormatByName("jpeg")));
}

TEST_F(BatchSheet, ApplyOnOneOfSeveralKeepsTheSheetOpenAndStepsOn) {
    std::vector<SelectedFile> files = Select({{"turn.jpg", "x.jpg"}, {"turn.jpg", "y.jpg"}});
    modaltest::ModalDriver driver;
    std::wstring pathShown;
    bool stillOpen = false;
    driver.OnDialog([&](HWND sheet) {
        HWND tool = Page(sheet, 0);
        TapMenuBarButton(sheet, IDC_STEP_NEXT);
        pathShown = ItemText(tool, IDC_TOOL_PATH);
        Click(tool, IDC_APPLY);  // the done message comes and goes meanwhile
        stillOpen = IsWindow(sheet) && IsWindowVisible(sheet);
        SendMessageW(sheet, WM_COMMAND, IDOK, 0);
    });
    driver.OnDialog([&](HWND box) { Click(box, IDOK); });
    EXPECT_EQ(RunBatchRotateTool(nullptr, files.data(), 2), 1);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(pathShown, files[1].path);
    EXPECT_FALSE(GetFileAttributesW(dir.File("x_m.jpg").c_str()) != INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(SizeOf(dir.File("y_m.jpg")), std::make_pair(48, 64));
}

TEST_F(BatchSheet, LosslessTurnInPlaceAndSettingsKeptOnCancel) {
    std::vector<SelectedFile> files = Select({{"turn.jpg", "t.jpg"}});
    modaltest::ModalDriver driver;
    driver.OnDialog([&](HWND sheet) {
        HWND tool = Page(sheet, 0);
        modaltest::SetCheck(tool, IDC_RZ_LOSSLESS, true);
        // Into the source itself: no prefix, no suffix.
        PropSheet_SetCurSel(sheet, nullptr, 2);
        HWND folder = Page(sheet, 2);
        modaltest::SetItemText(folder, IDC_FD_SUFFIX, L"");
        Click(tool, IDC_APPLY);  // one file: the sheet closes by itself
    });
    EXPECT_EQ(RunBatchRotateTool(nullptr, files.data(), 1), 1);
    EXPECT_EQ(SizeOf(files[0].path), std::make_pair(48, 64));
    EXPECT_EQ(RegReadSettingDefault(L"Rotate", L"Lossless", 0), 1u);

    // Cancel still stores what the pages hold.
    driver.OnDialog([&](HWND sheet) {
        HWND format = Page(sheet, 1);
        modaltest::SetCheck(format, IDC_CN_JPEG, false);
        modaltest::SetCheck(format, IDC_CN_PNG, true);
        SendDlgItemMessageW(format, IDC_CN_PNGLEVEL, CB_SETCURSEL, 8, 0);
        PropSheet_SetCurSel(sheet, nullptr, 2);
        modaltest::SetItemText(Page(sheet, 2), IDC_FD_PREFIX, L"new_");
        SendMessageW(sheet, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(RunBatchConvertTool(nullptr, files.data(), 1), 1);
    EXPECT_EQ(RegReadSettingDefault(L"Convert", L"Format", 99), DWORD(FindFormatByName("png")));
    EXPECT_EQ(RegReadSettingDefault(L"Convert", L"PngCompression", 0), 9u);
    wchar_t prefix[64];
    RegReadText(L"Folder", L"Prefix", L"?", prefix, 64);
    EXPECT_STREQ(prefix, L"new_");
}

TEST_F(BatchSheet, ConvertAskBeforeOverwriteAndResizeToPreset) {
    std::vector<SelectedFile> files = Select({{"photo.jpg", "p.jpg"}});
    WriteBytes(dir.File("p_m.jpg"), {'o', 'l', 'd'});
    modaltest::ModalDriver driver;
    driver.OnDialog([&](HWND sheet) { Click(Page(sheet, 0), IDC_APPLY); });
    driver.OnDialog([&](HWND box) { Click(box, IDCANCEL); });  // keep the old file
    EXPECT_EQ(RunBatchConvertTool(nullptr, files.data(), 1), 1);
    EXPECT_EQ(ReadBytes(dir.File("p_m.jpg")), (std::vector<uint8_t>{'o', 'l', 'd'}));

    RegWriteDword(L"Convert", L"Format", DWORD(FindFormatByName("bmp")));
    driver.OnDialog([&](HWND sheet) {
        HWND tool = Page(sheet, 0);
        modaltest::SelectComboItem(tool, IDC_RZ_LIST, kResizeMms);
        Click(tool, IDC_APPLY);
    });
    driver.OnDialog([&](HWND box) { Click(box, IDOK); });
    EXPECT_EQ(RunBatchResizeTool(nullptr, files.data(), 1), 1);
    EXPECT_EQ(SizeOf(dir.File("p_m.bmp")), std::make_pair(160, 120));
    EXPECT_EQ(RegReadSettingDefault(L"Resize", L"List", 0), DWORD(kResizeMms));
}

namespace {

// A folder on the device (a path from its root, as the folder tree gives
// them) with a subfolder "out", removed with all it holds at the end.
struct DeviceFolder {
    std::wstring path = L"\\Temp\\batchsheet" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    DeviceFolder() {
        CreateDirectoryW(L"\\Temp", nullptr);
        CreateDirectoryW(path.c_str(), nullptr);
        CreateDirectoryW((path + L"out").c_str(), nullptr);
    }
    ~DeviceFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(path), ignored);
    }
};

std::wstring SelectedTreePath(HWND tree) {
    wchar_t path[MAX_PATH] = L"?";
    TreeGetSelectedPath(tree, path, MAX_PATH);
    return path;
}

}  // namespace

TEST_F(BatchSheet, FolderPageTreeStartsOnTheSourceFolderAndChoosesWhereResultsGo) {
    DeviceFolder device;
    SelectedFile file{};
    wcscpy(file.path, (device.path + L"p.jpg").c_str());
    WriteBytes(file.path, ReadBytes(Fixture("photo.jpg")));
    modaltest::ModalDriver driver;
    std::wstring startedOn, chosen;
    driver.OnDialog([&](HWND sheet) {
        PropSheet_SetCurSel(sheet, nullptr, 2);
        HWND tree = GetDlgItem(Page(sheet, 2), IDC_FD_FOLDER);
        startedOn = SelectedTreePath(tree);
        const auto child = reinterpret_cast<HTREEITEM>(
            SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0)));
        ASSERT_TRUE(child);  // "out"
        SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(child));
        chosen = SelectedTreePath(tree);
        Click(Page(sheet, 0), IDC_APPLY);
    });
    driver.OnDialog([&](HWND box) { Click(box, IDOK); });
    EXPECT_EQ(RunBatchConvertTool(nullptr, &file, 1), 1);
    EXPECT_EQ(startedOn, device.path);
    EXPECT_EQ(chosen, device.path + L"out\\");
    EXPECT_EQ(SizeOf(device.path + L"out\\p_m.jpg"), std::make_pair(320, 240));
    EXPECT_EQ(GetFileAttributesW((device.path + L"p_m.jpg").c_str()), INVALID_FILE_ATTRIBUTES);
    // The folder is chosen per run: it is not among the stored settings.
    EXPECT_EQ(ReadOutputFolder(nullptr).folder[0], L'\0');
}

namespace {

uint64_t SumOfSamples(const std::wstring& path) {
    testing_support::LoadedPicture p;
    LoadOptions options{};
    InitLoadOptions(&options);
    p.result = LoadPictureFromFile(path.c_str(), &p.bitmap, &options, &p.info);
    if (p.result != 0) return 0;
    const testing_support::RgbaPicture rgba = testing_support::RgbaOf(p.bitmap);
    uint64_t sum = 0;
    for (size_t i = 0; i < rgba.px.size(); i += 4) sum += rgba.px[i] + rgba.px[i + 1] + rgba.px[i + 2];
    return sum;
}

}  // namespace

TEST_F(BatchSheet, AdjustTypedBrightnessIsClampedAndApplied) {
    std::vector<SelectedFile> files = Select({{"gradient.png", "g.png"}});
    RegWriteDword(L"Convert", L"Format", DWORD(FindFormatByName("png")));
    modaltest::ModalDriver driver;
    std::wstring shown;
    std::wstring gammaShown;
    driver.OnDialog([&](HWND sheet) {
        HWND tool = Page(sheet, 0);
        modaltest::SelectComboItem(tool, IDC_AD_SETTING, kAdjustGamma);
        gammaShown = ItemText(tool, IDC_AD_VALUE);
        modaltest::SelectComboItem(tool, IDC_AD_SETTING, kAdjustBrightness);
        modaltest::SetItemText(tool, IDC_AD_VALUE, L"250");
        shown = ItemText(tool, IDC_AD_VALUE);
        EXPECT_EQ(SendDlgItemMessageW(tool, IDC_AD_VALUEBAR, TBM_GETPOS, 0, 0), 100);
        Click(tool, IDC_APPLY);
    });
    driver.OnDialog([&](HWND box) { Click(box, IDOK); });
    EXPECT_EQ(RunBatchAdjustTool(nullptr, files.data(), 1), 1);
    EXPECT_EQ(gammaShown, L"1.00");
    EXPECT_EQ(shown, L"250");
    EXPECT_GT(SumOfSamples(dir.File("g_m.png")), SumOfSamples(files[0].path) + 48 * 32 * 150);
}

namespace {

// The sum of the samples of a screen bitmap (0 for none), read back as 32-bit
// pixels.
uint64_t SumOfScreenBitmap(HBITMAP bitmap) {
    BITMAP size{};
    if (!bitmap || !GetObjectW(bitmap, sizeof size, &size)) return 0;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size.bmWidth;
    info.bmiHeader.biHeight = size.bmHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<uint8_t> pixels(size_t(size.bmWidth) * size_t(size.bmHeight) * 4);
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, UINT(size.bmHeight), pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    uint64_t sum = 0;
    for (size_t i = 0; rows > 0 && i < pixels.size(); i += 4) sum += pixels[i] + pixels[i + 1] + pixels[i + 2];
    return sum;
}

struct PreviewSums {
    uint64_t before = 0;
    uint64_t after = 0;
};

PreviewSums Previews() {
    const BatchToolState* s = CurrentBatchTool();
    return s ? PreviewSums{SumOfScreenBitmap(s->previewBefore), SumOfScreenBitmap(s->previewAfter)} : PreviewSums{};
}

// A trackbar moved by the user to `position`.
void MoveBar(HWND page, int bar, int position) {
    SendDlgItemMessageW(page, bar, TBM_SETPOS, TRUE, position);
    SendMessageW(page, WM_HSCROLL, SB_THUMBPOSITION, reinterpret_cast<LPARAM>(GetDlgItem(page, bar)));
}

}  // namespace

TEST_F(BatchSheet, AdjustAndFilterPreviewsFollowTheValues) {
    std::vector<SelectedFile> files = Select({{"gradient.png", "g.png"}, {"photo.jpg", "p.jpg"}});
    modaltest::ModalDriver driver;
    PreviewSums start, brighter, stepped;
    driver.OnDialog([&](HWND sheet) {
        HWND tool = Page(sheet, 0);
        start = Previews();
        MoveBar(tool, IDC_AD_VALUEBAR, 60);
        brighter = Previews();
        TapMenuBarButton(sheet, IDC_STEP_NEXT);  // a new file: the values are kept and shown on it
        stepped = Previews();
        SendMessageW(sheet, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(RunBatchAdjustTool(nullptr, files.data(), 2), 1);
    EXPECT_NE(start.before, 0u);
    EXPECT_EQ(start.after, start.before);
    EXPECT_EQ(brighter.before, start.before);
    EXPECT_GT(brighter.after, brighter.before);
    EXPECT_NE(stepped.before, start.before);
    EXPECT_GT(stepped.after, stepped.before);

    PreviewSums smoothed;
    driver.OnDialog([&](HWND sheet) {
        HWND tool = Page(sheet, 0);
        start = Previews();
        MoveBar(tool, IDC_SMOOTHBAR, 100);
        smoothed = Previews();
        SendMessageW(sheet, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(RunBatchFilterTool(nullptr, files.data() + 1, 1), 1);
    EXPECT_EQ(start.after, start.before);
    EXPECT_NE(smoothed.after, smoothed.before);
    EXPECT_EQ(smoothed.before, start.before);
}

TEST_F(BatchSheet, ConvertResizeAndRotateShowTheCurrentPicture) {
    std::vector<SelectedFile> files = Select({{"photo.jpg", "p.jpg"}, {"missing.jpg", "m.jpg"}});
    for (auto run : {RunBatchConvertTool, RunBatchResizeTool, RunBatchRotateTool}) {
        modaltest::ModalDriver driver;
        PreviewSums first, second;
        driver.OnDialog([&](HWND sheet) {
            first = Previews();
            TapMenuBarButton(sheet, IDC_STEP_NEXT);
            second = Previews();
            SendMessageW(sheet, WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_EQ(run(nullptr, files.data(), 2, nullptr), 1);
        EXPECT_NE(first.before, 0u);
        EXPECT_EQ(first.after, 0u);
        EXPECT_EQ(second.before, 0u);  // a file that does not load leaves the preview empty
    }
}

TEST_F(BatchSheet, ConvertPageShowsThePicturesFactsAndFollowsTheSteps) {
    std::vector<SelectedFile> files = Select({{"photo.jpg", "p.jpg"}, {"palette.gif", "g.gif"}});
    struct Facts {
        std::wstring type, dimensions, colours, dpi;
    };
    auto read = [](HWND page) {
        return Facts{ItemText(page, IDC_PV_TYPE), ItemText(page, IDC_PV_DIMENSIONS), ItemText(page, IDC_PV_COLOURS),
                     ItemText(page, IDC_PV_DPI)};
    };
    Facts first, second;
    bool imageGroupShown = false;
    modaltest::ModalDriver driver;
    driver.OnDialog([&](HWND sheet) {
        HWND page = Page(sheet, 0);
        first = read(page);
        imageGroupShown = IsWindowVisible(GetDlgItem(page, 1123)) && IsWindowVisible(GetDlgItem(page, 1122));
        TapMenuBarButton(sheet, IDC_STEP_NEXT);
        second = read(page);
        SendMessageW(sheet, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(RunBatchConvertTool(nullptr, files.data(), 2), 1);
    EXPECT_EQ(first.type, L"JPEG");
    EXPECT_EQ(first.dimensions, L"320 x 240");
    EXPECT_EQ(first.colours, L"16777216");  // one plane of 24 bits
    EXPECT_FALSE(first.dpi.empty());
    EXPECT_TRUE(imageGroupShown);
    EXPECT_EQ(second.type, L"GIF");
    EXPECT_EQ(second.dimensions, L"40 x 30");
    EXPECT_EQ(second.colours, L"32");
    EXPECT_EQ(second.dpi, L"72 x 72");  // a GIF carries no resolution
}

TEST_F(BatchSheet, MenuBarStepsShowEachPicturesSizeOnResizeAndRotate) {
    std::vector<SelectedFile> files = Select({{"photo.jpg", "p.jpg"}, {"gradient.png", "g.png"}});
    for (auto run : {RunBatchResizeTool, RunBatchRotateTool}) {
        modaltest::ModalDriver driver;
        std::vector<std::wstring> shown;
        std::vector<std::wstring> typedSizes;
        bool pageAboveBar = false;
        driver.OnDialog([&](HWND sheet) {
            HWND tool = Page(sheet, 0);
            auto record = [&] {
                shown.push_back(ItemText(tool, IDC_TOOL_PATH) + L" " + ItemText(tool, IDC_TOOL_WIDTH) + L", " +
                                ItemText(tool, IDC_TOOL_HEIGHT));
                typedSizes.push_back(ItemText(tool, IDC_RZ_WIDTHEDIT) + L"x" + ItemText(tool, IDC_RZ_HEIGHTEDIT));
            };
            RECT page{}, bar{};
            GetWindowRect(sheet, &page);
            GetWindowRect(MenuBarFind(sheet), &bar);
            pageAboveBar = IsWindowVisible(MenuBarFind(sheet)) && page.bottom <= bar.top && bar.bottom <= 320;
            record();
            TapMenuBarButton(sheet, IDC_STEP_PREVIOUS);  // off on the first file
            record();
            TapMenuBarButton(sheet, IDC_STEP_NEXT);
            record();
            TapMenuBarButton(sheet, IDC_STEP_NEXT);  // off on the last file
            record();
            TapMenuBarButton(sheet, IDC_STEP_PREVIOUS);
            record();
            SendMessageW(sheet, WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_EQ(run(nullptr, files.data(), 2, nullptr), 1);
        EXPECT_TRUE(pageAboveBar);
        const std::wstring first = std::wstring(files[0].path) + L" Width : 320, Height : 240";
        const std::wstring second = std::wstring(files[1].path) + L" Width : 48, Height : 32";
        EXPECT_EQ(shown, (std::vector<std::wstring>{first, first, second, second, first}));
        if (run == RunBatchResizeTool) {
            EXPECT_EQ(typedSizes, (std::vector<std::wstring>{L"320x240", L"320x240", L"48x32", L"48x32", L"320x240"}));
        }
    }
}

TEST_F(BatchSheet, ResizeUserSizeFollowsThePicturesShapeWhileKeptRatioIsOn) {
    std::vector<SelectedFile> files = Select({{"photo.jpg", "p.jpg"}});  // 320 x 240
    modaltest::ModalDriver driver;
    bool offForPreset = true;
    bool onForUserSize = false;
    std::wstring followedHeight, spunHeight, freeHeight;
    std::vector<std::wstring> sizes;
    driver.OnDialog([&](HWND sheet) {
        HWND tool = Page(sheet, 0);
        sizes = modaltest::ComboItems(tool, IDC_RZ_LIST);
        modaltest::SelectComboItem(tool, IDC_RZ_LIST, kResizeVga);
        offForPreset = IsWindowEnabled(GetDlgItem(tool, IDC_RZ_WIDTHEDIT)) || IsWindowEnabled(GetDlgItem(tool, IDC_RZ_RATIO));
        modaltest::SelectComboItem(tool, IDC_RZ_LIST, kResizeUser);
        onForUserSize = IsWindowEnabled(GetDlgItem(tool, IDC_RZ_WIDTHEDIT)) && IsWindowEnabled(GetDlgItem(tool, IDC_RZ_DPISPIN));
        modaltest::SetCheck(tool, IDC_RZ_RATIO, true);
        modaltest::SetItemText(tool, IDC_RZ_WIDTHEDIT, L"160");
        followedHeight = ItemText(tool, IDC_RZ_HEIGHTEDIT);
        // The height's up-down moved to 60: the height edit takes it, the width follows.
        SendDlgItemMessageW(tool, IDC_RZ_HEIGHTSPIN, UDM_SETPOS32, 0, 60);
        SendMessageW(tool, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 60),
                     reinterpret_cast<LPARAM>(GetDlgItem(tool, IDC_RZ_HEIGHTSPIN)));
        spunHeight = ItemText(tool, IDC_RZ_HEIGHTEDIT) + L"x" + ItemText(tool, IDC_RZ_WIDTHEDIT);
        modaltest::SetCheck(tool, IDC_RZ_RATIO, false);
        modaltest::SetItemText(tool, IDC_RZ_WIDTHEDIT, L"100");
        freeHeight = ItemText(tool, IDC_RZ_HEIGHTEDIT);
        Click(tool, IDC_APPLY);
    });
    driver.OnDialog([&](HWND box) { Click(box, IDOK); });
    EXPECT_EQ(RunBatchResizeTool(nullptr, files.data(), 1), 1);
    EXPECT_EQ(sizes, (std::vector<std::wstring>{L"User defined size", L"Fit to screen", L"120 x 160 pixels (MMS)",
                                                 L"240x-", L"240 x 180 pixels", L"320 x 240 pixels (QVGA)",
                                                 L"640 x 480 pixels (VGA)", L"800 x 600 pixels", L"1024 x 768 pixels",
                                                 L"75%", L"50%", L"25%"}));
    EXPECT_FALSE(offForPreset);
    EXPECT_TRUE(onForUserSize);
    EXPECT_EQ(followedHeight, L"120");
    EXPECT_EQ(spunHeight, L"60x80");
    EXPECT_EQ(freeHeight, L"60");
    EXPECT_EQ(SizeOf(dir.File("p_m.jpg")), std::make_pair(100, 60));
    EXPECT_EQ(RegReadSettingDefault(L"Resize", L"Ratio", 1), 0u);
}

TEST_F(BatchSheet, FilterWithNothingChosenSavesEachPictureUnchanged) {
    std::vector<SelectedFile> files = Select({{"palette.gif", "p.gif"}, {"gradient.png", "g.png"}});
    RegWriteDword(L"Convert", L"Format", DWORD(FindFormatByName("png")));
    modaltest::ModalDriver driver;
    driver.OnDialog([&](HWND sheet) { Click(Page(sheet, 0), IDC_APPLYALL); });
    driver.OnDialog([&](HWND box) { Click(box, IDOK); });
    EXPECT_EQ(RunBatchFilterTool(nullptr, files.data(), 2), 1);
    for (auto names : {std::make_pair("p.gif", "p_m.png"), std::make_pair("g.png", "g_m.png")}) {
        const uint64_t before = SumOfSamples(dir.File(names.first));
        EXPECT_NE(before, 0u);
        EXPECT_EQ(SumOfSamples(dir.File(names.second)), before) << names.second;
    }
}

TEST_F(BatchSheet, CropWholeByDefaultAndTypedRectangleClipped) {
    std::vector<SelectedFile> files = Select({{"photo.jpg", "c.jpg"}, {"photo.jpg", "d.jpg"}});
    RegWriteDword(L"Convert", L"Format", DWORD(FindFormatByName("png")));
    modaltest::ModalDriver driver;
    std::wstring widthShown;
    bool allShown = true;
    driver.OnDialog([&](HWND sheet) {
        HWND tool = Page(sheet, 0);
        allShown = IsWindowVisible(GetDlgItem(tool, IDC_APPLYALL)) != 0;
        widthShown = ItemText(tool, IDC_CR_WIDTH);
        Click(tool, IDC_APPLY);  // the whole picture
        TapMenuBarButton(sheet, IDC_STEP_NEXT);
        modaltest::SetItemText(tool, IDC_CR_X, L"10");
        modaltest::SetItemText(tool, IDC_CR_Y, L"20");
        modaltest::SetItemText(tool, IDC_CR_WIDTH, L"1000");  // past the right edge
        modaltest::SetItemText(tool, IDC_CR_HEIGHT, L"100");
        Click(tool, IDC_APPLY);
        // An up-down step writes its edit.
        SendDlgItemMessageW(tool, IDC_CR_HEIGHTSPIN, UDM_SETPOS32, 0, 50);
        SendMessageW(tool, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 50),
                     reinterpret_cast<LPARAM>(GetDlgItem(tool, IDC_CR_HEIGHTSPIN)));
        EXPECT_EQ(ItemText(tool, IDC_CR_HEIGHT), L"50");
        SendMessageW(sheet, WM_COMMAND, IDOK, 0);
    });
    driver.OnDialog([&](HWND box) { Click(box, IDOK); });
    driver.OnDialog([&](HWND box) { Click(box, IDOK); });
    EXPECT_EQ(RunBatchCropTool(nullptr, files.data(), 2), 1);
    EXPECT_FALSE(allShown);
    EXPECT_EQ(widthShown, L"320");
    EXPECT_EQ(SizeOf(dir.File("c_m.png")), std::make_pair(320, 240));
    EXPECT_EQ(SizeOf(dir.File("d_m.png")), std::make_pair(310, 100));
}

TEST(BatchSheetResources, EveryPageFitsTheScreen) {
    InitCommonControls();
    for (int id : {IDD_OUTPUT_FORMAT, IDD_OUTPUT_FOLDER, IDD_CONVERT_PAGE, IDD_ROTATE_PAGE, IDD_RESIZE_PAGE,
                   IDD_ADJUST_PAGE, IDD_FILTER_PAGE, IDD_CROP_PAGE, IDD_PROPERTIES_INFO, IDD_PROPERTIES_LIST, IDD_IPTC_FILE,
                   IDD_IPTC_CAPTION, IDD_IPTC_CREDIT, IDD_IPTC_KEYWORD, IDD_IPTC_CATEGORY, IDD_IPTC_ORIGIN})
        testing_support::ExpectDialogFitsScreen(id);
}

TEST_F(BatchSheet, PropertiesShowFactsExifAndStepThroughFiles) {
    std::vector<SelectedFile> files = Select({{"photo.jpg", "photo.jpg"}, {"palette.gif", "p.gif"}});
    const wchar_t* paths[] = {files[0].path, files[1].path};
    modaltest::ModalDriver driver;
    std::wstring type, size, date, dimensions, colours, dpi, name, typeAfter, coloursAfter;
    int exifRows = -1;
    int exifRowsAfter = -1;
    bool previous = true;
    std::vector<bool> selections;  // file name and folder: all their text selected
    driver.OnDialog([&](HWND sheet) {
        HWND infos = Page(sheet, 0);
        type = ItemText(infos, IDC_PP_TYPE);
        size = ItemText(infos, IDC_PP_SIZE);
        date = ItemText(infos, IDC_PP_DATE);
        dimensions = ItemText(infos, IDC_PP_DIMENSIONS);
        colours = ItemText(infos, IDC_PP_COLOURS);
        dpi = ItemText(infos, IDC_PP_DPI);
        name = ItemText(infos, IDC_PP_FILENAME);
        for (int id : {IDC_PP_FILENAME, IDC_PP_FOLDER}) {
            DWORD start = 1, end = 0;
            SendDlgItemMessageW(infos, id, EM_GETSEL, WPARAM(&start), LPARAM(&end));
            selections.push_back(start == 0 && end == DWORD(ItemText(infos, id).size()));
        }
        previous = MenuBarButtonEnabled(sheet, IDC_STEP_PREVIOUS);
        PropSheet_SetCurSel(sheet, nullptr, 1);
        HWND exif = Page(sheet, 1);
        exifRows = int(SendDlgItemMessageW(exif, IDC_PP_LIST, LVM_GETITEMCOUNT, 0, 0));
        TapMenuBarButton(sheet, IDC_STEP_NEXT);
        typeAfter = ItemText(infos, IDC_PP_TYPE);
        coloursAfter = ItemText(infos, IDC_PP_COLOURS);
        exifRowsAfter = int(SendDlgItemMessageW(exif, IDC_PP_LIST, LVM_GETITEMCOUNT, 0, 0));
        SendMessageW(sheet, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(RunPropertiesSheet(nullptr, paths, 2, 0), 0);
    EXPECT_EQ(type, L"JPEG");
    // Size and date as the browser's list writes them: the number and its
    // unit; the file's creation date in local time.
    std::wstring number;
    FormatSizeNumber(ReadBytes(files[0].path).size(), &number);
    EXPECT_EQ(size.substr(0, number.size() + 1), number + L" ");
    SYSTEMTIME today{};
    GetLocalTime(&today);  // the copy was made moments ago
    EXPECT_NE(date.find(std::to_wstring(today.wYear)), std::wstring::npos) << date;
    EXPECT_EQ(dimensions, L"320 x 240");
    EXPECT_EQ(colours, L"16777216");  // one plane of 24 bits
    EXPECT_EQ(name, L"photo.jpg");
    EXPECT_EQ(selections, (std::vector<bool>{true, true}));
    EXPECT_FALSE(previous);
    EXPECT_GT(exifRows, 2);  // the camera make and more
    EXPECT_EQ(typeAfter, L"GIF");
    EXPECT_EQ(coloursAfter, L"32");
    EXPECT_EQ(exifRowsAfter, 0);  // no EXIF: an empty page
    EXPECT_FALSE(dpi.empty());

    // A file that cannot be read shows nothing.
    const wchar_t* missing[] = {L"Z:\\no\\such\\file.jpg"};
    EXPECT_EQ(RunPropertiesSheet(nullptr, missing, 1, 0), 0);
}

namespace {

// The IPTC record of a file, read through the image library.
struct FileIptc {
    IptcRecord record{};
    explicit FileIptc(const std::wstring& path) {
        Bitmap b{};
        LoadOptions options{};
        InitLoadOptions(&options);
        options.flags |= kLoadKeepMetadata;
        if (LoadPictureFromFile(path.c_str(), &b, &options, nullptr) == 0) IptcRead(b.metadata, &record);
        FreeBitmap(&b);
    }
    ~FileIptc() { IptcFree(&record); }
};

// Typed into an edit over its whole text, one character at a time.
void TypeOver(HWND edit, const wchar_t* text) {
    SendMessageW(edit, EM_SETSEL, 0, -1);
    for (const wchar_t* c = text; *c; ++c) SendMessageW(edit, WM_CHAR, *c, 1);
}

// The editor makes its pages from posted messages once the sheet is up.
void LetPagesBeMade() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

}  // namespace

TEST_F(BatchSheet, IptcEditorWritesWhatWasTypedWhenTheUserAgrees) {
    std::vector<SelectedFile> files = Select({{"photo.jpg", "i.jpg"}, {"turn.jpg", "j.jpg"}});
    modaltest::ModalDriver driver;
    std::wstring captionShownAfterStep = L"?";
    driver.OnDialog([&](HWND sheet) {
        LetPagesBeMade();
        HWND caption = Page(sheet, 1);
        HWND keywords = Page(sheet, 3);
        HWND credit = Page(sheet, 2);
        ASSERT_NE(caption, nullptr);
        modaltest::SetItemText(caption, IDC_IP_CAPTION, L"Sea: waves");
        modaltest::SetItemText(keywords, IDC_IP_KEYWORD, L"sky");
        Click(keywords, IDC_IP_KEYADD);
        modaltest::SetItemText(keywords, IDC_IP_KEYWORD, L"sky");
        Click(keywords, IDC_IP_KEYADD);  // already there: not twice
        modaltest::SelectComboItem(credit, IDC_IP_PRIORITY, 1);
        TapMenuBarButton(sheet, IDC_STEP_NEXT);  // asks, then shows the next file
        captionShownAfterStep = ItemText(caption, IDC_IP_CAPTION);
        SendMessageW(sheet, WM_COMMAND, IDOK, 0);  // nothing changed: no question
    });
    std::wstring question;
    LONG_PTR buttons = 0;
    driver.OnDialog([&](HWND box) {
        question = ItemText(box, 0xFFFF);
        buttons = (GetDlgItem(box, IDOK) ? 1 : 0) | (GetDlgItem(box, IDCANCEL) ? 2 : 0) |
                  (GetDlgItem(box, IDYES) ? 4 : 0);
        Click(box, IDOK);
    });
    RunIptcEditor(nullptr, files.data(), 2);
    EXPECT_EQ(question, L"Do you want to write IPTC data?");
    EXPECT_EQ(buttons, 3) << "OK and Cancel";
    EXPECT_EQ(captionShownAfterStep, L"");
    FileIptc written(files[0].path);
    ASSERT_NE(written.record.slots[120].text, nullptr);
    EXPECT_EQ(std::string(written.record.slots[120].text, written.record.slots[120].length), "Sea: waves");
    EXPECT_EQ(written.record.lists[kIptcKeywords].count, 1u);
    ASSERT_NE(written.record.slots[10].text, nullptr);
    EXPECT_EQ(std::string(written.record.slots[10].text, written.record.slots[10].length), "1");
    FileIptc untouched(files[1].path);
    EXPECT_EQ(untouched.record.present, 0u);
}

TEST_F(BatchSheet, IptcEditorShowsThePictureAndClearEmptiesEveryText) {
    std::vector<SelectedFile> files = Select({{"photo.jpg", "k.jpg"}});
    IptcRecord start{};
    IptcSetText(&start, 120, "old caption", 11);
    IptcAddListItem(&start, kIptcKeywords, "old");
    ASSERT_EQ(IptcWriteJpegFile(files[0].path, &start), 0);
    IptcFree(&start);
    modaltest::ModalDriver driver;
    std::wstring dimensions, colours, captionBefore, captionAfter;
    LRESULT keywordsBefore = -1, keywordsAfter = -1;
    driver.OnDialog([&](HWND sheet) {
        LetPagesBeMade();
        HWND file = Page(sheet, 0);
        HWND caption = Page(sheet, 1);
        HWND keywords = Page(sheet, 3);
        ASSERT_NE(keywords, nullptr);
        dimensions = ItemText(file, IDC_IP_DIMENSIONS);
        colours = ItemText(file, IDC_IP_COLOURS);
        captionBefore = ItemText(caption, IDC_IP_CAPTION);
        keywordsBefore = SendDlgItemMessageW(keywords, IDC_IP_KEYLIST, LB_GETCOUNT, 0, 0);
        Click(file, IDC_IP_CLEAR);
        captionAfter = ItemText(caption, IDC_IP_CAPTION);
        keywordsAfter = SendDlgItemMessageW(keywords, IDC_IP_KEYLIST, LB_GETCOUNT, 0, 0);
        SendMessageW(sheet, WM_COMMAND, IDOK, 0);
    });
    driver.OnDialog([](HWND box) { Click(box, IDOK); });  // write the cleared record
    RunIptcEditor(nullptr, files.data(), 1);
    EXPECT_EQ(dimensions, L"320 x 240");  // the picture's size, not the preview's
    EXPECT_EQ(colours, L"16M");
    EXPECT_EQ(captionBefore, L"old caption");
    EXPECT_EQ(keywordsBefore, 1);
    EXPECT_EQ(captionAfter, L"");
    EXPECT_EQ(keywordsAfter, 0);
    FileIptc written(files[0].path);
    EXPECT_EQ(written.record.slots[120].text, nullptr);
    EXPECT_EQ(written.record.lists[kIptcKeywords].count, 0u);
    EXPECT_EQ(SizeOf(files[0].path), std::make_pair(320, 240));
}

TEST_F(BatchSheet, IptcEditorKeepsWhatItDoesNotShowAndTellsOfAFailedWrite) {
    std::vector<SelectedFile> files = Select({{"photo.jpg", "v.jpg"}, {"gradient.png", "w.png"}});
    // The file's record: the version, a contact, a content location, a
    // second by-line and an originating program, none of which the pages
    // show, beside a caption they do.
    IptcRecord start{};
    IptcSetText(&start, 0, "\0\4", 2);
    IptcSetText(&start, 80, "Ann", 3);
    IptcSetText(&start, 65, "Camera app", 10);
    IptcSetText(&start, 120, "old caption", 11);
    IptcAddListItem(&start, kIptcContacts, "desk");
    IptcAddListItem(&start, kIptcContentLocations, "harbour");
    start.repeats = static_cast<IptcRepeat*>(calloc(1, sizeof(IptcRepeat)));
    ASSERT_NE(start.repeats, nullptr);
    start.repeats[0] = IptcRepeat{80, IptcText{_strdup("Bob"), 3}};
    start.repeatCount = 1;
    ASSERT_EQ(IptcWriteJpegFile(files[0].path, &start), 0);
    IptcFree(&start);
    const std::vector<uint8_t> png = ReadBytes(files[1].path);

    modaltest::ModalDriver driver;
    std::wstring failure;
    driver.OnDialog([&](HWND sheet) {
        LetPagesBeMade();
        TypeOver(GetDlgItem(Page(sheet, 1), IDC_IP_CAPTION), L"new caption");
        TapMenuBarButton(sheet, IDC_STEP_NEXT);  // asks, writes, shows the PNG
        TypeOver(GetDlgItem(Page(sheet, 1), IDC_IP_CAPTION), L"no place for it");
        SendMessageW(sheet, WM_COMMAND, IDOK, 0);  // asks; a PNG cannot take it
    });
    driver.OnDialog([](HWND box) { Click(box, IDOK); });
    driver.OnDialog([](HWND box) { Click(box, IDOK); });
    driver.OnDialog([&](HWND box) {
        failure = ItemText(box, 0xFFFF);
        Click(box, IDOK);
    });
    RunIptcEditor(nullptr, files.data(), 2);
    FileIptc written(files[0].path);
    auto text = [&](int d) {
        const IptcText& t = written.record.slots[d];
        return t.text ? std::string(t.text, t.length) : std::string("<none>");
    };
    EXPECT_EQ(text(120), "new caption");
    EXPECT_EQ(text(0), std::string("\0\4", 2));
    EXPECT_EQ(text(80), "Ann");
    ASSERT_EQ(written.record.repeatCount, 1u);
    EXPECT_EQ(std::string(written.record.repeats[0].value.text, written.record.repeats[0].value.length), "Bob");
    EXPECT_EQ(text(65), "Camera app");
    ASSERT_EQ(written.record.lists[kIptcContacts].count, 1u);
    EXPECT_STREQ(written.record.lists[kIptcContacts].items[0], "desk");
    ASSERT_EQ(written.record.lists[kIptcContentLocations].count, 1u);
    EXPECT_STREQ(written.record.lists[kIptcContentLocations].items[0], "harbour");
    EXPECT_EQ(failure, L"Problem to save the file!");
    EXPECT_TRUE(ReadBytes(files[1].path) == png);
}

TEST_F(BatchSheet, IptcEditorNamesTheProgramWhereTheFileNamesNone) {
    std::vector<SelectedFile> files = Select({{"turn.jpg", "o.jpg"}});
    modaltest::ModalDriver driver;
    driver.OnDialog([&](HWND sheet) {
        LetPagesBeMade();
        TypeOver(GetDlgItem(Page(sheet, 5), IDC_IP_CITY), L"Lyon");
        SendMessageW(sheet, WM_COMMAND, IDOK, 0);
    });
    driver.OnDialog([](HWND box) { Click(box, IDOK); });
    RunIptcEditor(nullptr, files.data(), 1);
    FileIptc written(files[0].path);
    const IptcText& program = written.record.slots[65];
    ASSERT_NE(program.text, nullptr);
    EXPECT_EQ(std::string(program.text, program.length), "Trelmo");
    ASSERT_NE(written.record.slots[90].text, nullptr);
    EXPECT_EQ(std::string(written.record.slots[90].text, written.record.slots[90].length), "Lyon");
}

TEST_F(BatchSheet, CropOpensEveryTimeBesideAnImageViewAlreadyRegistered) {
    // The viewer registers the image view's class at start-up; the crop page
    // makes one of its own each time it opens.
    ASSERT_TRUE(ViewIsClassRegistered(GetModuleHandleW(nullptr)));
    std::vector<SelectedFile> files = Select({{"photo.jpg", "r.jpg"}});
    for (int run = 0; run < 2; ++run) {
        modaltest::ModalDriver driver;
        bool cropPage = false;
        driver.OnDialog([&](HWND sheet) {
            HWND tool = Page(sheet, 0);
            cropPage = tool && GetDlgItem(tool, IDC_CR_X) &&
                       FindWindowExW(tool, nullptr, L"CBmpClass", nullptr) != nullptr;
            SendMessageW(sheet, WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_EQ(RunBatchCropTool(nullptr, files.data(), 1), 1);
        EXPECT_TRUE(cropPage) << "run " << run << ": the sheet with its image view came first";
        EXPECT_EQ(driver.dialogsSeen(), 1) << "run " << run;
    }
}

TEST_F(BatchSheet, NumberedListsNameTheirLevelsInTheUsersLanguage) {
    // A language file beside the program names two levels its own way.
    const testing_support::LanguageFileBesideProgram language(
        "nl", "nl=Levels\r\n[String]\r\nIDS_IPTC_5=5 : Gewoon\r\nIDS_COMP9=9 (Hoog)\r\n");
    std::vector<SelectedFile> files = Select({{"photo.jpg", "u.jpg"}});
    std::vector<std::wstring> urgencies[2], levels[2];
    for (int translated = 0; translated < 2; ++translated) {
        ASSERT_EQ(LngOpen(translated ? "nl" : "en"), translated);
        modaltest::ModalDriver driver;
        driver.OnDialog([&](HWND sheet) {
            LetPagesBeMade();
            urgencies[translated] = modaltest::ComboItems(Page(sheet, 2), IDC_IP_PRIORITY);
            SendMessageW(sheet, WM_COMMAND, IDCANCEL, 0);
        });
        RunIptcEditor(nullptr, files.data(), 1);
        driver.OnDialog([&](HWND sheet) {
            levels[translated] = modaltest::ComboItems(Page(sheet, 1), IDC_CN_PNGLEVEL);
            SendMessageW(sheet, WM_COMMAND, IDCANCEL, 0);
        });
        RunBatchConvertTool(nullptr, files.data(), 1);
    }
    LngOpen("en");
    EXPECT_EQ(urgencies[0], (std::vector<std::wstring>{L"0 : None", L"1 : High", L"2", L"3", L"4", L"5 : Normal", L"6",
                                                       L"7", L"8 : Low"}));
    EXPECT_EQ(urgencies[1], (std::vector<std::wstring>{L"0 : None", L"1 : High", L"2", L"3", L"4", L"5 : Gewoon", L"6",
                                                       L"7", L"8 : Low"}));
    EXPECT_EQ(levels[0], (std::vector<std::wstring>{L"1 (Low)", L"2", L"3", L"4", L"5", L"6", L"7 (Normal)", L"8",
                                                    L"9 (High)"}));
    EXPECT_EQ(levels[1].back(), L"9 (Hoog)");
}
