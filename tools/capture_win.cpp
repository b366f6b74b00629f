#include "tools/capture_win.h"

#include <algorithm>
#include <cstring>
#include <string>

#include <commctrl.h>

#include "imagelib/geometry.h"
#include "imagelib/osfile.h"
#include "imagelib/save.h"
#include "platform/framework_win.h"
#include "platform/handheld.h"
#include "processing/reduce.h"
#include "resources/tools.rh"
#include "shell/language_win.h"
#include "shell/settings_win.h"
#include "tools/batchsheet_win.h"
#include "tools/tooldialogs_win.h"

namespace {

constexpr const wchar_t* kCaptureSection = L"Capture";
constexpr int kDelays[] = {1, 5, 10, 15};

struct CaptureRun {
    BatchPageWindows windows;
    BatchButtonTexts texts;
    OutputPageLink link;
    int started;
    int delay;
    OutputOptions* options;
};

INT_PTR CALLBACK CapturePage(HWND page, UINT message, WPARAM first, LPARAM second) {
    auto* run = reinterpret_cast<CaptureRun*>(GetWindowLongPtrW(page, GWLP_USERDATA));
    switch (message) {
    case WM_INITDIALOG: {
        run = reinterpret_cast<CaptureRun*>(reinterpret_cast<PROPSHEETPAGEW*>(second)->lParam);
        SetWindowLongPtrW(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(run));
        run->windows.tool = page;
        LngSelectSection("DlgCapture");
        LngSetItemText(page, IDC_APPLY, "IDC_APPLY");
        LngSetItemText(page, IDC_DELAY, "IDC_DELAY");
        run->texts.applyShown = 1;
        GetDlgItemTextW(page, IDC_APPLY, run->texts.apply, 64);
        CheckDlgButton(page, IDC_DELAY, BST_CHECKED);
        for (const wchar_t* text : {L"1", L"5", L"10", L"15"})
            SendDlgItemMessageW(page, IDC_CP_DELAYLIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        SendDlgItemMessageW(page, IDC_CP_DELAYLIST, CB_SETCURSEL,
                            RegReadSettingDefault(kCaptureSection, L"Delay", 1), 0);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(first) == IDC_APPLY && run) {
            const int index = int(SendDlgItemMessageW(page, IDC_CP_DELAYLIST, CB_GETCURSEL, 0, 0));
            RegWriteDword(kCaptureSection, L"Delay", DWORD(index < 0 ? 0 : index));
            StoreOutputOptions(run->windows.format);
            run->delay = CaptureDelaySeconds(index);
            *run->options = ReadOutputOptions(run->windows.format);
            run->started = 1;
            PostMessageW(GetParent(page), WM_COMMAND, IDOK, 0);
        }
        return TRUE;
    case WM_NOTIFY:
        if (reinterpret_cast<const NMHDR*>(second)->code == UINT(PSN_KILLACTIVE)) {
            SetWindowLongPtrW(page, DWLP_MSGRESULT, FALSE);
            return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}

int CALLBACK CaptureSheetCallback(HWND sheet, UINT message, LPARAM) {
    if (message == kSheetVersionQuery) return kHandheldSheetVersion;
    if (message == PSCB_INITIALIZED) HandheldDialogSetup(sheet, kSetupEmptyMenuBar);
    return 0;
}

}  // namespace

int CaptureDelaySeconds(int index) {
    return index >= 0 && index < int(std::size(kDelays)) ? kDelays[index] : kDelays[0];
}

int RunCaptureTool(HWND parent, int* delaySeconds, OutputOptions* options) {
    CaptureRun run{};
    run.options = options;
    run.link = {&run.windows, 1, nullptr, &run.texts};
    const ToolSheetPage pages[] = {
        {IDD_CAPTURE_PAGE, CapturePage, reinterpret_cast<LPARAM>(&run), IDS_CAPTURE, "IDS_CAPTURE", false},
        {IDD_OUTPUT_FORMAT, OutputFormatPage, reinterpret_cast<LPARAM>(&run.link), IDS_FORMAT, "IDS_FORMAT", true},
    };
    RunToolSheet(parent, pages, 2, CaptureSheetCallback);
    if (run.started) *delaySeconds = run.delay;
    return run.started;
}

int ScreenGrabber(const RECT* rect, Bitmap* bitmap) {
    if (!rect || rect->right <= rect->left || rect->bottom <= rect->top) return 0;
    HDC screen = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    if (!screen) return 0;
    const int left = std::max(0L, rect->left);
    const int top = std::max(0L, rect->top);
    const int width = std::min(GetDeviceCaps(screen, HORZRES), int(rect->right)) - left;
    const int height = std::min(GetDeviceCaps(screen, VERTRES), int(rect->bottom)) - top;
    int done = 0;
    if (width > 0 && height > 0 && AllocBitmap(bitmap, kPixelBGR, 4, width, height)) {
        bitmap->orientation = kOrientationBottomUp;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = height;  // bottom-up
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (memory && dib && bits) {
            HGDIOBJ old = SelectObject(memory, dib);
            BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY);
            SelectObject(memory, old);
            GdiFlush();
            // DIB rows are padded to 4 bytes, as the bitmap's are.
            const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
            for (int y = 0; y < height; ++y)
                std::memcpy(bitmap->pixels + size_t(y) * size_t(bitmap->bytesPerRow),
                            static_cast<const uint8_t*>(bits) + size_t(y) * stride, size_t(width) * 3);
            done = 1;
        } else {
            FreeBitmap(bitmap);
        }
        if (dib) DeleteObject(dib);
        if (memory) DeleteDC(memory);
    }
    DeleteDC(screen);
    return done;
}

int CaptureScreenToFile(const wchar_t* folder, wchar_t* name, size_t nameCapacity, const OutputOptions& options) {
    HDC screen = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    if (!screen) return 0;
    const RECT all{0, 0, GetDeviceCaps(screen, HORZRES), GetDeviceCaps(screen, VERTRES)};
    DeleteDC(screen);
    Bitmap bitmap{};
    if (!ScreenGrabber(&all, &bitmap)) return 0;
    int written = 0;
    const int dither = options.colourMode == kColourBilevel ? kDitherDiffusion : kDitherNone;
    if (BitmapReduceColours(&bitmap, nullptr, options.colourMode, dither) == 0 &&
        FindCaptureName(folder, options.format, WidePathExists, name, nameCapacity)) {
        SaveOptions save{};
        InitSaveOptions(&save);
        save.formatIndex = int16_t(options.format);
        save.quality = int16_t(options.jpegQuality);
        save.compressionLevel = int16_t(options.compression);
        written = SavePictureToFile((std::wstring(folder) + name).c_str(), &bitmap, &save) == 0;
    }
    FreeBitmap(&bitmap);
    return written;
}
