// The viewer adjust bar on an image view under Wine: live change, Undo,
// Cancel restoring the picture, OK keeping it, refusal of other pictures.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <vector>

#include "display/display_win.h"
#include "display/view_win.h"
#include "resources/tools.rh"
#include "tests/support/dialogfit.h"
#include "tests/support/modaldriver.h"
#include "tools/adjustbar_win.h"

using modaltest::Click;
using modaltest::ItemText;

namespace {

void MoveBar(HWND bar, int position) { modaltest::MoveTrackbar(bar, IDC_VA_BAR, position); }

}  // namespace

TEST(ViewAdjustBar, ChangesLiveUndoesAndKeepsOnlyOnOk) {
    InitCommonControls();
    ASSERT_EQ(DisplayInit(), 1);
    ViewRegisterClass(GetModuleHandleW(nullptr));
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr,
                                  nullptr, nullptr);
    RECT area{0, 0, 240, 280};
    HWND view = ViewCreate(parent, WS_VISIBLE, &area, 0x808080, nullptr);
    ASSERT_NE(view, nullptr);
    Bitmap picture{};
    ASSERT_TRUE(AllocBitmap(&picture, kPixelBGR, 4, 8, 8));
    for (int i = 0; i < picture.bytesPerRow * picture.height; ++i) picture.pixels[i] = 100;
    ViewSetPicture(view, &picture, 0);
    const std::vector<uint8_t> original(picture.pixels, picture.pixels + picture.bytesPerRow * picture.height);

    modaltest::ModalDriver driver;
    std::wstring shown;
    std::wstring gammaLeft;
    std::wstring gammaRight;
    uint8_t during = 0;
    RECT placed{};
    driver.OnDialog([&](HWND bar) {
        GetWindowRect(bar, &placed);
        MoveBar(bar, 200);
        shown = ItemText(bar, IDC_VA_VALUE);
        during = picture.pixels[0];
        modaltest::SelectComboItem(bar, IDC_VA_SETTING, 2);
        MoveBar(bar, 1);
        gammaLeft = ItemText(bar, IDC_VA_VALUE);
        MoveBar(bar, 300);
        gammaRight = ItemText(bar, IDC_VA_VALUE);
        Click(bar, IDC_UNDO);
        EXPECT_TRUE(std::equal(original.begin(), original.end(), picture.pixels));
        Click(bar, IDCANCEL);
    });
    int brightness = -1;
    int contrast = -1;
    double gamma = -1;
    EXPECT_EQ(RunViewAdjust(parent, view, &brightness, &contrast, &gamma), 0);
    EXPECT_EQ(shown, L"100");
    EXPECT_GT(during, 100);
    EXPECT_EQ(gammaLeft, L"0.01");
    EXPECT_EQ(gammaRight, L"3.00");
    EXPECT_EQ(placed.left, 0);
    EXPECT_EQ(placed.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(placed.bottom, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_TRUE(std::equal(original.begin(), original.end(), picture.pixels));
    EXPECT_EQ(brightness, -1);

    // OK after a change keeps it and tells the values.
    driver.OnDialog([&](HWND bar) {
        MoveBar(bar, 150);
        Click(bar, IDOK);
    });
    EXPECT_EQ(RunViewAdjust(parent, view, &brightness, &contrast, &gamma), 1);
    EXPECT_EQ(brightness, 50);
    EXPECT_EQ(contrast, 0);
    EXPECT_DOUBLE_EQ(gamma, 1.0);
    EXPECT_GT(picture.pixels[0], 100);

    // A palette picture: the bar does not open.
    Bitmap palette{};
    ASSERT_TRUE(AllocBitmap(&palette, kPixelPalette, 4, 8, 8));
    ViewSetPicture(view, &palette, 0);
    EXPECT_EQ(RunViewAdjust(parent, view, &brightness, &contrast, &gamma), 0);
    ViewSetPicture(view, nullptr, 0);
    DestroyWindow(parent);
    FreeBitmap(&palette);
    FreeBitmap(&picture);
    testing_support::ExpectDialogFitsScreen(IDD_VIEW_ADJUST);
}
