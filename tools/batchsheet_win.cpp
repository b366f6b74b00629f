#include "tools/batchsheet_win.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "display/display_win.h"
#include "display/view_win.h"
#include "imagelib/formats.h"
#include "imagelib/geometry.h"
#include "imagelib/load.h"
#include "imagelib/textutil.h"
#include "platform/framework_win.h"
#include "platform/handheld.h"
#include "resources/tools.rh"
#include "shell/filelist.h"
#include "shell/foldertree_win.h"
#include "shell/language.h"
#include "shell/language_win.h"
#include "shell/pictureload.h"
#include "shell/settings_win.h"
#include "tools/properties.h"
#include "tools/tooldialogs_win.h"

namespace {

constexpr UINT_PTR kSheetSubclassId = 0x7001;
// Posted to the sheet once it is up: make the output format page now if the
// property-sheet code left it for later (it is asked for as made with the
// sheet, so that its choices are read and stored from the start).
constexpr UINT kMakeFormatPage = WM_APP + 0x101;
constexpr int kFormatButtons[] = {IDC_CN_JPEG, IDC_CN_GIF, IDC_CN_BMP, IDC_CN_PNG, IDC_CN_TGA};
constexpr const char* kFormatNames[] = {"jpeg", "gif", "bmp", "png", "tga"};
constexpr int kRotateButtons[] = {IDC_ROT_N90, IDC_ROT_90, IDC_ROT_180, IDC_ROT_HFLIP, IDC_ROT_VFLIP};
constexpr const wchar_t* kResizeSection = L"Resize";
constexpr const wchar_t* kRotateSection = L"Rotate";

// The sheet being shown; its subclass has no other way to find the state.
BatchToolState* g_current = nullptr;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

BatchToolState* StateOf(HWND page) { return reinterpret_cast<BatchToolState*>(GetWindowLongPtrW(page, GWLP_USERDATA)); }

void ShowButtons(HWND page, const BatchButtonTexts& texts) {
    DlgItemShow(page, IDC_APPLY, texts.applyShown);
    DlgItemShow(page, IDC_APPLYALL, texts.applyAllShown);
    if (texts.applyShown) SetDlgItemTextW(page, IDC_APPLY, texts.apply);
    if (texts.applyAllShown) SetDlgItemTextW(page, IDC_APPLYALL, texts.applyAll);
}

void SetStepButtons(const BatchToolState& s) { SetStepMenuBar(s.menuBar, s.count, s.current); }

// --- The output format page -------------------------------------------------

int CheckedFormatButton(HWND page) {
    for (int id : kFormatButtons)
        if (IsDlgButtonChecked(page, id) == BST_CHECKED) return id;
    return 0;
}

void UpdateFormatControls(HWND page) {
    const int checked = CheckedFormatButton(page);
    DlgItemEnable(page, IDC_CN_GIFMODE, checked == IDC_CN_GIF);
    DlgItemEnable(page, IDC_CN_BMPMODE, checked == IDC_CN_BMP);
    DlgItemEnable(page, IDC_CN_PNGMODE, checked == IDC_CN_PNG);
    DlgItemEnable(page, IDC_CN_PNGLEVEL, checked == IDC_CN_PNG);
}

void FillModeList(HWND page, int id, bool trueColour) {
    DlgComboAddString(page, id, IDS_BW, "IDS_BW");
    DlgComboAddString(page, id, IDS_16COLS, "IDS_16COLS");
    DlgComboAddString(page, id, IDS_256COLS, "IDS_256COLS");
    if (trueColour) DlgComboAddString(page, id, IDS_16M, "IDS_16M");
}

OutputChoices ChoicesFromPage(HWND page) {
    OutputChoices c = ReadStoredOutputChoices();
    for (size_t i = 0; i < std::size(kFormatButtons); ++i)
        if (IsDlgButtonChecked(page, kFormatButtons[i]) == BST_CHECKED) c.format = FindFormatByName(kFormatNames[i]);
    c.jpegQuality = int32_t(SendDlgItemMessageW(page, IDC_CN_QUALITYBAR, TBM_GETPOS, 0, 0));
    c.gifMode = int32_t(SendDlgItemMessageW(page, IDC_CN_GIFMODE, CB_GETCURSEL, 0, 0));
    c.bmpMode = int32_t(SendDlgItemMessageW(page, IDC_CN_BMPMODE, CB_GETCURSEL, 0, 0));
    c.pngMode = int32_t(SendDlgItemMessageW(page, IDC_CN_PNGMODE, CB_GETCURSEL, 0, 0));
    c.pngCompression = int32_t(SendDlgItemMessageW(page, IDC_CN_PNGLEVEL, CB_GETCURSEL, 0, 0)) + 1;
    return c;
}

void ForwardToToolPage(HWND page, UINT id) {
    const auto* link = reinterpret_cast<const OutputPageLink*>(GetWindowLongPtrW(page, GWLP_USERDATA));
    if (link && link->windows->tool) SendMessageW(link->windows->tool, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

INT_PTR AnswerKillActive(HWND page, LPARAM second) {
    if (reinterpret_cast<const NMHDR*>(second)->code != UINT(PSN_KILLACTIVE)) return FALSE;
    SetWindowLongPtrW(page, DWLP_MSGRESULT, FALSE);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK OutputFormatPage(HWND page, UINT message, WPARAM first, LPARAM second) {
    switch (message) {
    case WM_INITDIALOG: {
        auto* link = reinterpret_cast<OutputPageLink*>(reinterpret_cast<PROPSHEETPAGEW*>(second)->lParam);
        SetWindowLongPtrW(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(link));
        link->windows->format = page;
        LngSelectSection("DlgConvert");
        for (auto item : {std::make_pair(IDC_CN_JPEG, "IDC_CN_JPEG"), std::make_pair(IDC_CN_GIF, "IDC_CN_GIF"),
                          std::make_pair(IDC_CN_BMP, "IDC_CN_BMP"), std::make_pair(IDC_CN_PNG, "IDC_CN_PNG"),
                          std::make_pair(IDC_CN_TGA, "IDC_CN_TGA"), std::make_pair(IDC_QUALITY, "IDC_QUALITY"),
                          std::make_pair(IDC_COMPRESSION, "IDC_COMPRESSION"),
                          std::make_pair(IDC_CN_JPEGTEXT1, "IDC_CN_JPEGTEXT1"),
                          std::make_pair(IDC_CN_JPEGTEXT2, "IDC_CN_JPEGTEXT2")})
            LngSetItemText(page, item.first, item.second);
        const OutputOptions o = MakeOutputOptions(ReadStoredOutputChoices());
        SendDlgItemMessageW(page, IDC_CN_QUALITYBAR, TBM_SETRANGE, TRUE, MAKELPARAM(1, 100));
        SendDlgItemMessageW(page, IDC_CN_QUALITYBAR, TBM_SETPOS, TRUE, o.jpegQuality);
        SetDlgItemInt(page, IDC_CN_QUALITYVALUE, UINT(o.jpegQuality), FALSE);
        FillModeList(page, IDC_CN_GIFMODE, false);
        FillModeList(page, IDC_CN_BMPMODE, true);
        FillModeList(page, IDC_CN_PNGMODE, true);
        static const LevelName kNamedLevels[] = {
            {1, IDS_COMP1, "IDS_COMP1"}, {7, IDS_COMP7, "IDS_COMP7"}, {9, IDS_COMP9, "IDS_COMP9"}};
        FillLevelList(page, IDC_CN_PNGLEVEL, 1, 9, kNamedLevels, std::size(kNamedLevels));
        SendDlgItemMessageW(page, IDC_CN_GIFMODE, CB_SETCURSEL, WPARAM(std::clamp(o.gifMode, 0, 2)), 0);
        SendDlgItemMessageW(page, IDC_CN_BMPMODE, CB_SETCURSEL, WPARAM(std::clamp(o.bmpMode, 0, 3)), 0);
        SendDlgItemMessageW(page, IDC_CN_PNGMODE, CB_SETCURSEL, WPARAM(std::clamp(o.pngMode, 0, 3)), 0);
        SendDlgItemMessageW(page, IDC_CN_PNGLEVEL, CB_SETCURSEL, WPARAM(o.pngCompression - 1), 0);
        // A stored format that is none of the page's checks JPEG.
        int button = IDC_CN_JPEG;
        for (size_t i = 0; i < std::size(kFormatButtons); ++i)
            if (FindFormatByName(kFormatNames[i]) == o.format) button = kFormatButtons[i];
        CheckRadioButton(page, IDC_CN_JPEG, IDC_CN_TGA, button);
        UpdateFormatControls(page);
        ShowButtons(page, *link->texts);
        return TRUE;
    }
    case WM_COMMAND: {
        const UINT id = LOWORD(first);
        if (id == IDC_APPLY || id == IDC_APPLYALL) ForwardToToolPage(page, id);
        else if (std::find(std::begin(kFormatButtons), std::end(kFormatButtons), int(id)) != std::end(kFormatButtons))
            UpdateFormatControls(page);
        return TRUE;
    }
    case WM_HSCROLL:
        SetDlgItemInt(page, IDC_CN_QUALITYVALUE,
                      UINT(SendDlgItemMessageW(page, IDC_CN_QUALITYBAR, TBM_GETPOS, 0, 0)), FALSE);
        return TRUE;
    case WM_NOTIFY: return AnswerKillActive(page, second);
    default: return FALSE;
    }
}

namespace {

// --- The output folder page -------------------------------------------------

INT_PTR CALLBACK OutputFolderPage(HWND page, UINT message, WPARAM first, LPARAM second) {
    switch (message) {
    case WM_INITDIALOG: {
        auto* link = reinterpret_cast<OutputPageLink*>(reinterpret_cast<PROPSHEETPAGEW*>(second)->lParam);
        LngSelectSection("DlgFolder");
        LngSetItemText(page, IDC_FD_TEXT, "IDC_FD_TEXT");
        LngSetItemText(page, IDC_FD_TPREFIX, "IDC_FD_TPREFIX");
        LngSetItemText(page, IDC_FD_TSUFFIX, "IDC_FD_TSUFFIX");
        SetWindowLongPtrW(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(link));
        link->windows->folder = page;
        // The folder tree, on the folder of the first selected file.
        TreeSetOwner(GetDlgItem(page, IDC_FD_FOLDER));
        if (link->files) OutputPageSetFolder(page, link->files[0].path);
        const OutputFolder stored = ReadStoredOutputFolder();
        SendDlgItemMessageW(page, IDC_FD_PREFIX, EM_LIMITTEXT, kOutputAffixCapacity - 1, 0);
        SendDlgItemMessageW(page, IDC_FD_SUFFIX, EM_LIMITTEXT, kOutputAffixCapacity - 1, 0);
        SetDlgItemTextW(page, IDC_FD_PREFIX, stored.prefix);
        SetDlgItemTextW(page, IDC_FD_SUFFIX, stored.suffix);
        ShowButtons(page, *link->texts);
        return TRUE;
    }
    case WM_COMMAND: {
        const UINT id = LOWORD(first);
        if (id == IDC_APPLY || id == IDC_APPLYALL) ForwardToToolPage(page, id);
        return TRUE;
    }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(second);
        if (header->idFrom != IDC_FD_FOLDER) return AnswerKillActive(page, second);
        SetWindowLongPtrW(page, DWLP_MSGRESULT, TreeOnNotify(page, header));
        return TRUE;
    }
    default: return FALSE;
    }
}

// --- Tool pages -------------------------------------------------------------

// --- Crop -------------------------------------------------------------------

const int kCropEdits[] = {IDC_CR_X, IDC_CR_Y, IDC_CR_WIDTH, IDC_CR_HEIGHT};
const int kCropSpins[] = {IDC_CR_XSPIN, IDC_CR_YSPIN, IDC_CR_WIDTHSPIN, IDC_CR_HEIGHTSPIN};

void SetCropNumbers(HWND page, const int32_t values[4]) {
    for (int i = 0; i < 4; ++i) {
        SetDlgItemInt(page, kCropEdits[i], UINT(std::max(values[i], 0)), FALSE);
        SendDlgItemMessageW(page, kCropSpins[i], UDM_SETPOS32, 0, values[i]);
    }
}

void CropSelectionDrawn(const ViewEvent* event) {
    if (event->code != kViewSelecting) return;
    auto* s = reinterpret_cast<BatchToolState*>(event->user);
    const int32_t values[4] = {CropToPicture(event->selectionLeft, s->cropScale),
                               CropToPicture(event->selectionTop, s->cropScale),
                               CropToPicture(event->selectionWidth, s->cropScale),
                               CropToPicture(event->selectionHeight, s->cropScale)};
    SetCropNumbers(s->windows.tool, values);
}

void ShowCropPreview(BatchToolState* s) {
    HWND page = s->windows.tool;
    ViewSetPicture(s->cropView, nullptr, 0);
    FreeBitmap(&s->cropPreview);
    RECT client{};
    GetClientRect(s->cropView, &client);
    ImageInfo info{};
    int32_t fullWidth = 1;
    int32_t fullHeight = 1;
    if (LoadPictureThumbnail(s->files[s->current].path, &s->cropPreview, &info, client.right, client.bottom, 0, 1, 1,
                             0, MetadataExifOrientation()) == 0) {
        UprightFullSize(info, s->cropPreview, &fullWidth, &fullHeight);
        ViewSetPicture(s->cropView, &s->cropPreview, 0);
    }
    FreePictureInfo(&info);
    s->cropScale = CropScale(fullWidth, s->cropPreview.width);
    ViewSetZoomMode(s->cropView, 2);
    ViewSetMouseMode(s->cropView, kMouseSelect);
    ViewSetEventCallback(s->cropView, CropSelectionDrawn, reinterpret_cast<uintptr_t>(s));
    const int32_t maxima[4] = {fullWidth, fullHeight, fullWidth, fullHeight};
    for (int i = 0; i < 4; ++i)
        SendDlgItemMessageW(page, kCropSpins[i], UDM_SETRANGE32, i < 2 ? 0 : 1, maxima[i]);
    const int32_t whole[4] = {0, 0, fullWidth, fullHeight};
    SetCropNumbers(page, whole);
}

void InitCropPage(HWND page, BatchToolState* s) {
    LngSelectSection("DlgCrop");
    LngSetItemText(page, IDC_TWIDTH, "IDC_TWIDTH");
    LngSetItemText(page, IDC_THEIGHT, "IDC_THEIGHT");
    RECT area{};
    GetWindowRect(GetDlgItem(page, IDC_CR_VIEWAREA), &area);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&area), 2);
    ShowWindow(GetDlgItem(page, IDC_CR_VIEWAREA), SW_HIDE);
    // The viewer registered the image view's class at start-up; ViewCreate
    // registers it only where nobody has.
    s->cropView = ViewCreate(page, WS_VISIBLE | WS_BORDER, &area, 0x808080, nullptr);
}

// An up-down moved: its edit takes the number and the drawn selection follows
// all four numbers.
void CropSpinMoved(BatchToolState* s) {
    HWND page = s->windows.tool;
    int32_t values[4];
    for (int i = 0; i < 4; ++i) {
        values[i] = int32_t(SendDlgItemMessageW(page, kCropSpins[i], UDM_GETPOS32, 0, 0));
        SetDlgItemInt(page, kCropEdits[i], UINT(std::max(values[i], 0)), FALSE);
    }
    const PictureRect selection{CropToPreview(values[0], s->cropScale), CropToPreview(values[1], s->cropScale),
                                CropToPreview(values[2], s->cropScale), CropToPreview(values[3], s->cropScale)};
    ViewSetSelection(s->cropView, &selection);
}

// --- The preview ------------------------------------------------------------

bool HasAfterPreview(BatchToolKind kind) { return kind == BatchToolKind::kAdjust || kind == BatchToolKind::kFilter; }

int PreviewItem(BatchToolKind kind) {
    switch (kind) {
    case BatchToolKind::kConvert: return IDC_PV_PREVIEW;
    case BatchToolKind::kAdjust:
    case BatchToolKind::kFilter: return IDC_AD_BEFORE;
    default: return IDC_TOOL_PREVIEW;
    }
}

void DeleteBitmapHandle(HBITMAP* handle) {
    if (*handle) DeleteObject(*handle);
    *handle = nullptr;
}

void FreePreview(BatchToolState* s) {
    DeleteBitmapHandle(&s->previewBefore);
    DeleteBitmapHandle(&s->previewAfter);
    FreeBitmap(&s->previewPicture);
}

void ReadToolValues(BatchToolState* s);

// The after preview again from the loaded picture with the tool's values.
void MakeAfterPreview(BatchToolState* s) {
    if (!HasAfterPreview(s->kind)) return;
    DeleteBitmapHandle(&s->previewAfter);
    HWND item = GetDlgItem(s->windows.tool, IDC_AD_AFTER);
    Bitmap copy{};
    if (s->previewPicture.width > 0 && BitmapCrop(&s->previewPicture, &copy, nullptr) == 0) {
        ReadToolValues(s);
        const int rc = s->kind == BatchToolKind::kAdjust ? ApplyAdjust(&copy, s->adjust) : (ApplyFilter(&copy, s->filter), 0);
        if (rc == 0) s->previewAfter = MakeScreenBitmap(item, &copy, copy.width, copy.height, nullptr);
    }
    FreeBitmap(&copy);
    InvalidateRect(item, nullptr, TRUE);
}

// A file newly shown by the filter starts unsharpened (smoothing and noise
// reduction stay as chosen) and its after preview shows it as it is, until
// the user changes a value.
void ShowFilterUnchanged(BatchToolState* s) {
    HWND page = s->windows.tool;
    SendDlgItemMessageW(page, IDC_SHARPENBAR, TBM_SETPOS, TRUE, 0);
    DeleteBitmapHandle(&s->previewAfter);
    HWND item = GetDlgItem(page, IDC_AD_AFTER);
    if (s->previewPicture.width > 0)
        s->previewAfter = MakeScreenBitmap(item, &s->previewPicture, s->previewPicture.width,
                                           s->previewPicture.height, nullptr);
    InvalidateRect(item, nullptr, TRUE);
}

// What the preview learnt of the current file; zero sizes when it did not load.
struct PreviewFacts {
    int32_t width;
    int32_t height;
    int32_t dpi;  // 72 when the file gives no resolution
};

// Both previews from the current file, scaled into the preview item.
PreviewFacts MakePreview(BatchToolState* s) {
    FreePreview(s);
    HWND item = GetDlgItem(s->windows.tool, PreviewItem(s->kind));
    RECT client{};
    GetClientRect(item, &client);
    ImageInfo info{};
    PreviewFacts facts{0, 0, 72};
    if (client.right > 0 && client.bottom > 0 &&
        LoadPictureThumbnail(s->files[s->current].path, &s->previewPicture, &info, client.right, client.bottom, 0, 1,
                             1, 0, MetadataExifOrientation()) == 0) {
        s->previewBefore = MakeScreenBitmap(item, &s->previewPicture, s->previewPicture.width,
                                            s->previewPicture.height, nullptr);
        UprightFullSize(info, s->previewPicture, &facts.width, &facts.height);
        if (info.xResolution && info.yResolution) facts.dpi = info.xResolution;
    }
    FreePictureInfo(&info);
    InvalidateRect(item, nullptr, TRUE);
    if (s->kind == BatchToolKind::kFilter) ShowFilterUnchanged(s);
    else if (HasAfterPreview(s->kind)) MakeAfterPreview(s);
    else FreeBitmap(&s->previewPicture);
    return facts;
}

// "Width : %d" or "Height : %d" with `value`.
std::wstring SizeLabel(UINT id, const char* key, int32_t value) {
    wchar_t format[64] = L"";
    LngGetFormat(Instance(), id, key, format, 64);
    return FormatWithNumber(format, int(value));
}

// The resize and rotate pages show the picture's full size; the resize page
// also starts its size and DPI edits from the picture.
// Writes a size edit and its up-down without the kept ratio answering.
void WriteSizeEdit(BatchToolState* s, int edit, int spin, int32_t value) {
    s->updating = 1;
    SetDlgItemInt(s->windows.tool, edit, UINT(std::max(value, 0)), FALSE);
    SendDlgItemMessageW(s->windows.tool, spin, UDM_SETPOS32, 0, value);
    s->updating = 0;
}

void ShowPictureFacts(BatchToolState* s, const PreviewFacts& facts) {
    if (s->kind != BatchToolKind::kResize && s->kind != BatchToolKind::kRotate) return;
    HWND page = s->windows.tool;
    s->pictureWidth = facts.width;
    s->pictureHeight = facts.height;
    const bool loaded = facts.width > 0;
    SetDlgItemTextW(page, IDC_TOOL_WIDTH,
                    loaded ? SizeLabel(IDS_INFO_WIDTH, "IDS_INFO_WIDTH", facts.width).c_str() : L"");
    SetDlgItemTextW(page, IDC_TOOL_HEIGHT,
                    loaded ? SizeLabel(IDS_INFO_HEIGHT, "IDS_INFO_HEIGHT", facts.height).c_str() : L"");
    if (s->kind != BatchToolKind::kResize || !loaded) return;
    WriteSizeEdit(s, IDC_RZ_WIDTHEDIT, IDC_RZ_WIDTHSPIN, facts.width);
    WriteSizeEdit(s, IDC_RZ_HEIGHTEDIT, IDC_RZ_HEIGHTSPIN, facts.height);
    WriteSizeEdit(s, IDC_RZ_DPIEDIT, IDC_RZ_DPISPIN, facts.dpi);
}

// The user-size controls are on only for "User defined size".
void EnableUserSize(HWND page) {
    const bool user = SendDlgItemMessageW(page, IDC_RZ_LIST, CB_GETCURSEL, 0, 0) == kResizeUser;
    for (int id : {IDC_RZ_BOX, IDC_RZ_TWIDTH, IDC_RZ_WIDTHEDIT, IDC_RZ_WIDTHSPIN, IDC_RZ_THEIGHT, IDC_RZ_HEIGHTEDIT,
                   IDC_RZ_HEIGHTSPIN, IDC_RZ_RATIO, IDC_RZ_TDPI, IDC_RZ_DPIEDIT, IDC_RZ_DPISPIN})
        DlgItemEnable(page, id, user);
}

// A size typed with Keep ratio on: the other size follows the picture's
// shape (its full size, not the preview's rounded one).
void KeepRatio(BatchToolState* s, int typed) {
    HWND page = s->windows.tool;
    if (s->updating || IsDlgButtonChecked(page, IDC_RZ_RATIO) != BST_CHECKED) return;
    BOOL read = FALSE;
    const UINT value = GetDlgItemInt(page, typed, &read, FALSE);
    if (!read) return;
    if (typed == IDC_RZ_WIDTHEDIT)
        WriteSizeEdit(s, IDC_RZ_HEIGHTEDIT, IDC_RZ_HEIGHTSPIN, KeptRatioSide(value, s->pictureWidth, s->pictureHeight));
    else
        WriteSizeEdit(s, IDC_RZ_WIDTHEDIT, IDC_RZ_WIDTHSPIN, KeptRatioSide(value, s->pictureHeight, s->pictureWidth));
}


void ShowCurrentFile(BatchToolState* s) {
    HWND page = s->windows.tool;
    const wchar_t* path = s->files[s->current].path;
    const int pathId = s->kind == BatchToolKind::kConvert                                   ? IDC_PV_PATH
                       : s->kind == BatchToolKind::kAdjust || s->kind == BatchToolKind::kFilter ? IDC_AD_PATH
                                                                                                : IDC_TOOL_PATH;
    if (s->kind == BatchToolKind::kCrop) {
        ShowCropPreview(s);
        SetStepButtons(*s);
        return;
    }
    SetDlgItemTextW(page, pathId, path);
    SendDlgItemMessageW(page, pathId, EM_SETSEL, 0, -1);
    ShowPictureFacts(s, MakePreview(s));
    if (s->kind == BatchToolKind::kConvert) {
        // The facts the properties sheet shows, for the file as stored.
        ImageInfo info{};
        PictureFacts facts;
        if (QueryPictureInfo(path, -1, 0, &info) == 0 && info.formatIndex >= 0) facts = DescribePicture(info);
        FreePictureInfo(&info);
        SetDlgItemTextW(page, IDC_PV_TYPE, facts.type.c_str());
        SetDlgItemTextW(page, IDC_PV_DIMENSIONS, facts.dimensions.c_str());
        SetDlgItemTextW(page, IDC_PV_COLOURS, facts.colours.c_str());
        SetDlgItemTextW(page, IDC_PV_DPI, facts.dpi.c_str());
    }
    SetStepButtons(*s);
}

void Step(BatchToolState* s, int direction) {
    const uint32_t next = StepIndex(s->count, s->current, direction);
    if (next == s->current) return;
    s->current = next;
    ShowCurrentFile(s);
}

void ReadToolValues(BatchToolState* s) {
    HWND page = s->windows.tool;
    if (s->kind == BatchToolKind::kRotate) {
        s->rotateChoice = kRotateLeft;
        for (int i = 0; i < int(std::size(kRotateButtons)); ++i)
            if (IsDlgButtonChecked(page, kRotateButtons[i]) == BST_CHECKED) {
                s->rotateChoice = i;
                break;
            }
        s->lossless = IsDlgButtonChecked(page, IDC_RZ_LOSSLESS) == BST_CHECKED;
    } else if (s->kind == BatchToolKind::kResize) {
        s->resize.entry = int32_t(SendDlgItemMessageW(page, IDC_RZ_LIST, CB_GETCURSEL, 0, 0));
        s->resize.width = int32_t(GetDlgItemInt(page, IDC_RZ_WIDTHEDIT, nullptr, FALSE));
        s->resize.height = int32_t(GetDlgItemInt(page, IDC_RZ_HEIGHTEDIT, nullptr, FALSE));
        s->resize.dpi = int32_t(GetDlgItemInt(page, IDC_RZ_DPIEDIT, nullptr, FALSE));
        s->resize.keepRatio = IsDlgButtonChecked(page, IDC_RZ_RATIO) == BST_CHECKED;
        s->resize.screenWidth = GetSystemMetrics(SM_CXSCREEN);
        s->resize.screenHeight = GetSystemMetrics(SM_CYSCREEN);
    } else if (s->kind == BatchToolKind::kAdjust) {
        s->adjust.autoLevels = IsDlgButtonChecked(page, IDC_AUTOLEVELS) == BST_CHECKED;
        s->adjust.autoContrast = IsDlgButtonChecked(page, IDC_AUTOCONTRAST) == BST_CHECKED;
    } else if (s->kind == BatchToolKind::kFilter) {
        s->filter.sharpen = int32_t(SendDlgItemMessageW(page, IDC_SHARPENBAR, TBM_GETPOS, 0, 0));
        s->filter.smooth = int32_t(SendDlgItemMessageW(page, IDC_SMOOTHBAR, TBM_GETPOS, 0, 0));
        s->filter.reduceNoise = IsDlgButtonChecked(page, IDC_REDUCENOISE) == BST_CHECKED;
    }
}

// Shows the chosen adjust setting on the trackbar, the up-down and the edit.
void ShowAdjustSetting(BatchToolState* s) {
    HWND page = s->windows.tool;
    int32_t lo = 0;
    int32_t hi = 0;
    AdjustSettingRange(s->adjustSetting, &lo, &hi);
    const int32_t position = AdjustSettingPosition(s->adjust, s->adjustSetting);
    SendDlgItemMessageW(page, IDC_AD_VALUEBAR, TBM_SETRANGE, TRUE, MAKELPARAM(lo, hi));
    SendDlgItemMessageW(page, IDC_AD_VALUEBAR, TBM_SETTICFREQ, 10, 0);
    SendDlgItemMessageW(page, IDC_AD_VALUEBAR, TBM_SETPOS, TRUE, position);
    SendDlgItemMessageW(page, IDC_AD_VALUESPIN, UDM_SETRANGE32, WPARAM(lo), LPARAM(hi));
    SendDlgItemMessageW(page, IDC_AD_VALUESPIN, UDM_SETPOS32, 0, position);
    wchar_t text[32];
    if (s->adjustSetting == kAdjustGamma) std::swprintf(text, 32, L"%.2f", s->adjust.gamma);
    else std::swprintf(text, 32, L"%d", int(position));
    s->updating = 1;
    SetDlgItemTextW(page, IDC_AD_VALUE, text);
    s->updating = 0;
}

void StoreToolSettings(BatchToolState* s) {
    StoreOutputOptions(s->windows.format);
    StoreOutputFolder(s->windows.folder);
    if (!s->windows.tool) return;
    ReadToolValues(s);
    if (s->kind == BatchToolKind::kRotate) RegWriteDword(kRotateSection, L"Lossless", s->lossless ? 1 : 0);
    if (s->kind == BatchToolKind::kResize) {
        RegWriteDword(kResizeSection, L"List", DWORD(s->resize.entry));
        RegWriteDword(kResizeSection, L"Ratio", s->resize.keepRatio ? 1 : 0);
    }
}

struct ApplyRun {
    BatchToolState* state;
    HWND owner;
    OutputOptions options;
    OutputFolder folder;
    int doneId;
    const char* doneKey;
    ImageInfo header;  // resize: what the file being worked on declares
};

int LoadForTool(void* user, const wchar_t* path, Bitmap* bitmap) {
    auto* run = static_cast<ApplyRun*>(user);
    LoadOptions options{};
    if (run->state->kind == BatchToolKind::kResize) {
        FreePictureInfo(&run->header);
        ResizeLoadOptions(path, run->state->resize, &options, &run->header);
    } else {
        InitLoadOptions(&options);
        options.flags |= run->state->kind == BatchToolKind::kConvert ? kConvertLoadFlags : kToolLoadFlags;
    }
    return LoadPictureOriented(path, bitmap, &options, nullptr, MetadataExifOrientation());
}

int OperateForTool(void* user, const wchar_t*, Bitmap* bitmap) {
    const auto* run = static_cast<ApplyRun*>(user);
    const BatchToolState* s = run->state;
    switch (s->kind) {
    case BatchToolKind::kRotate: return ApplyRotate(bitmap, s->rotateChoice);
    case BatchToolKind::kResize: return ApplyResize(bitmap, s->resize, run->header);
    case BatchToolKind::kAdjust: return ApplyAdjust(bitmap, s->adjust);
    case BatchToolKind::kFilter: ApplyFilter(bitmap, s->filter); return 0;
    case BatchToolKind::kCrop: {
        HWND page = s->windows.tool;
        return ApplyCrop(bitmap, GetDlgItemInt(page, IDC_CR_X, nullptr, FALSE),
                         GetDlgItemInt(page, IDC_CR_Y, nullptr, FALSE),
                         GetDlgItemInt(page, IDC_CR_WIDTH, nullptr, FALSE),
                         GetDlgItemInt(page, IDC_CR_HEIGHT, nullptr, FALSE));
    }
    default: return 0;
    }
}

SaveOutcome SaveForTool(void* user, const wchar_t* path, Bitmap* bitmap, bool announce) {
    const auto* run = static_cast<ApplyRun*>(user);
    return SaveInChosenFormatOutcome(run->owner, run->options, run->folder, announce ? run->doneId : -1,
                                     run->doneKey, path, bitmap, run->state->rewrites);
}

bool ConfirmLosslessOverwrite(void* user, const wchar_t*) { return AskToOverwrite(static_cast<HWND>(user)); }

// Turns one JPEG file on its coefficients. No done message belongs to this
// path; a failure is told, and a file written over is told to the browser.
void TurnLosslessly(const BatchToolState* s, const ApplyRun& run, const wchar_t* source, ApplyCounts* counts) {
    wchar_t written[kOutputPathCapacity] = L"";
    switch (RotateJpegLosslessly(source, run.folder, s->rotateChoice, ConfirmLosslessOverwrite, run.owner, written)) {
    case kLosslessWritten: ++counts->saved; break;
    case kLosslessReplacedExisting:
        ++counts->saved;
        TellRewritten(s->rewrites, written);
        break;
    case kLosslessKept: ++counts->skipped; break;
    case kLosslessFailed:
        ++counts->failed;
        ShowSaveProblem(run.owner);
        break;
    }
}

void Apply(BatchToolState* s, bool all) {
    HWND page = s->windows.tool;
    ReadToolValues(s);
    ApplyRun run{s, page, ReadOutputOptions(s->windows.format), ReadOutputFolder(s->windows.folder), -1, nullptr, {}};
    switch (s->kind) {
    case BatchToolKind::kConvert: run.doneId = IDS_CONVERT_OK, run.doneKey = "IDS_CONVERT_OK"; break;
    case BatchToolKind::kRotate: run.doneId = IDS_ROTATE_OK, run.doneKey = "IDS_ROTATE_OK"; break;
    case BatchToolKind::kResize: run.doneId = IDS_RESIZE_OK, run.doneKey = "IDS_RESIZE_OK"; break;
    case BatchToolKind::kAdjust:
    case BatchToolKind::kFilter: run.doneId = IDS_ADJUST_OK, run.doneKey = "IDS_ADJUST_OK"; break;
    case BatchToolKind::kCrop: run.doneId = IDS_CROP_OK, run.doneKey = "IDS_CROP_OK"; all = false; break;
    }
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    ApplyHooks hooks;
    hooks.user = &run;
    hooks.load = LoadForTool;
    hooks.operate = OperateForTool;
    hooks.save = SaveForTool;
    if (s->kind == BatchToolKind::kRotate && s->lossless) {
        // JPEG files turn on their coefficients, one by one; the others take
        // the decode path together, so that its done message comes once.
        const int jpeg = FindFormatByName("jpeg");
        std::vector<SelectedFile> others;
        ApplyCounts turned{};
        const uint32_t first = all ? 0 : s->current;
        const uint32_t last = all ? s->count - 1 : s->current;
        for (uint32_t i = first; i <= last; ++i) {
            ImageInfo info{};
            const bool isJpeg = QueryPictureInfo(s->files[i].path, -1, 0, &info) == 0 && info.formatIndex == jpeg;
            FreePictureInfo(&info);
            if (isJpeg) TurnLosslessly(s, run, s->files[i].path, &turned);
            else others.push_back(s->files[i]);
        }
        s->lastApply = others.empty() ? ApplyCounts{}
                                       : RunApplyLoop(others.data(), uint32_t(others.size()), 0, true, hooks);
        s->lastApply.saved += turned.saved;
        s->lastApply.skipped += turned.skipped;
        s->lastApply.failed += turned.failed;
    } else {
        s->lastApply = RunApplyLoop(s->files, s->count, s->current, all, hooks);
    }
    FreePictureInfo(&run.header);
    SetCursor(previous);
    if (ApplyClosesSheet(s->count, all)) PostMessageW(GetParent(page), WM_COMMAND, IDOK, 0);
}

void InitToolPage(HWND page, BatchToolState* s) {
    s->windows.tool = page;
    SetWindowLongPtrW(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(s));
    switch (s->kind) {
    case BatchToolKind::kConvert:
        LngSelectSection("DlgPreview");
        LngSetItemText(page, 1118, "IDC_PP_TTYPE");
        LngSetItemText(page, 1119, "IDC_PP_TDIM");
        LngSetItemText(page, 1121, "IDC_PP_TDEPTH");
        LngSetItemText(page, 1120, "IDC_PP_TDPI");
        LngSetItemText(page, 1122, "IDC_PP_TPIXELS");
        LngSetItemText(page, 1123, "IDC_PP_TIMAGE");
        break;
    case BatchToolKind::kRotate: {
        LngSelectSection("DlgRotate");
        const char* keys[] = {"IDC_ROT_N90", "IDC_ROT_90", "IDC_ROT_180", "IDC_ROT_HFLIP", "IDC_ROT_VFLIP"};
        for (size_t i = 0; i < std::size(kRotateButtons); ++i) LngSetItemText(page, kRotateButtons[i], keys[i]);
        LngSetItemText(page, IDC_RZ_LOSSLESS, "IDC_RZ_LOSSLESS");
        CheckRadioButton(page, IDC_ROT_N90, IDC_ROT_VFLIP, IDC_ROT_N90);
        CheckDlgButton(page, IDC_RZ_LOSSLESS, RegReadSettingDefault(kRotateSection, L"Lossless", 0) ? BST_CHECKED
                                                                                                   : BST_UNCHECKED);
        break;
    }
    case BatchToolKind::kResize: {
        LngSelectSection("DlgResize");
        LngSetItemText(page, IDC_RZ_TEXT, "IDC_RZ_TEXT");
        LngSetItemText(page, IDC_RZ_BOX, "IDC_RZ_BOX");
        LngSetItemText(page, IDC_RZ_TWIDTH, "IDC_RZ_WIDTH");
        LngSetItemText(page, IDC_RZ_THEIGHT, "IDC_RZ_HEIGHT");
        LngSetItemText(page, IDC_RZ_RATIO, "IDC_RZ_RATIO");
        SendDlgItemMessageW(page, IDC_RZ_WIDTHSPIN, UDM_SETRANGE32, 1, 5000);
        SendDlgItemMessageW(page, IDC_RZ_HEIGHTSPIN, UDM_SETRANGE32, 1, 5000);
        SendDlgItemMessageW(page, IDC_RZ_DPISPIN, UDM_SETRANGE32, 1, 3000);
        const std::pair<UINT, const char*> sizes[] = {
            {IDS_USERSIZE, "IDS_USERSIZE"}, {IDS_FITSCREEN, "IDS_FITSCREEN"}, {IDS_160_120, "IDS_160_120"},
            {IDS_240_, "IDS_240_"},         {IDS_240_180, "IDS_240_180"},     {IDS_320_240, "IDS_320_240"},
            {IDS_640_480, "IDS_640_480"},   {IDS_800_600, "IDS_800_600"},     {IDS_1024_768, "IDS_1024_768"}};
        for (const auto& size : sizes) DlgComboAddString(page, IDC_RZ_LIST, size.first, size.second);
        for (const wchar_t* percent : {L"75%", L"50%", L"25%"})
            SendDlgItemMessageW(page, IDC_RZ_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(percent));
        DWORD entry = RegReadSettingDefault(kResizeSection, L"List", kResizeScreen);
        if (entry >= DWORD(kResizeEntryCount)) entry = kResizeScreen;
        SendDlgItemMessageW(page, IDC_RZ_LIST, CB_SETCURSEL, entry, 0);
        CheckDlgButton(page, IDC_RZ_RATIO, RegReadSettingDefault(kResizeSection, L"Ratio", 1) ? BST_CHECKED
                                                                                             : BST_UNCHECKED);
        WriteSizeEdit(s, IDC_RZ_DPIEDIT, IDC_RZ_DPISPIN, 72);
        EnableUserSize(page);
        SetFocus(GetDlgItem(page, IDC_RZ_LIST));
        break;
    }
    case BatchToolKind::kAdjust:
        LngSelectSection("DlgAdjust");
        LngSetItemText(page, IDC_AUTOLEVELS, "IDC_AUTOLEVELS");
        LngSetItemText(page, IDC_AUTOCONTRAST, "IDC_AUTOCONTRAST");
        DlgComboAddString(page, IDC_AD_SETTING, IDS_BRIGHTNESS, "IDS_BRIGHTNESS");
        DlgComboAddString(page, IDC_AD_SETTING, IDS_CONTRAST, "IDS_CONTRAST");
        DlgComboAddString(page, IDC_AD_SETTING, IDS_GAMMA, "IDS_GAMMA");
        DlgComboAddString(page, IDC_AD_SETTING, IDS_RED, "IDS_RED");
        DlgComboAddString(page, IDC_AD_SETTING, IDS_GREEN, "IDS_GREEN");
        DlgComboAddString(page, IDC_AD_SETTING, IDS_BLUE, "IDS_BLUE");
        SendDlgItemMessageW(page, IDC_AD_SETTING, CB_SETCURSEL, 0, 0);
        s->adjust = AdjustValues{};
        s->adjustSetting = kAdjustBrightness;
        ShowAdjustSetting(s);
        break;
    case BatchToolKind::kFilter:
        LngSelectSection("DlgMisc");
        LngSetItemText(page, IDC_TSHARPEN, "IDC_TSHARPEN");
        LngSetItemText(page, IDC_TSMOOTH, "IDC_TSMOOTH");
        LngSetItemText(page, IDC_REDUCENOISE, "IDC_REDUCENOISE");
        SendDlgItemMessageW(page, IDC_SHARPENBAR, TBM_SETRANGE, TRUE, MAKELPARAM(0, 90));
        SendDlgItemMessageW(page, IDC_SMOOTHBAR, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
        SendDlgItemMessageW(page, IDC_SHARPENBAR, TBM_SETTICFREQ, 10, 0);
        SendDlgItemMessageW(page, IDC_SMOOTHBAR, TBM_SETTICFREQ, 10, 0);
        break;
    case BatchToolKind::kCrop: InitCropPage(page, s); break;
    }
    LngSetItemText(page, IDC_APPLY, "IDC_APPLY");
    LngSetItemText(page, IDC_APPLYALL, "IDC_APPLYALL");
    s->texts.applyShown = 1;
    GetDlgItemTextW(page, IDC_APPLY, s->texts.apply, 64);
    if (s->count != 1 && s->kind != BatchToolKind::kCrop) {
        s->texts.applyAllShown = 1;
        GetDlgItemTextW(page, IDC_APPLYALL, s->texts.applyAll, 64);
    }
    ShowButtons(page, s->texts);
    // The format page was made before this one: show it the buttons too.
    if (s->windows.format) ShowButtons(s->windows.format, s->texts);
    ShowCurrentFile(s);
}

INT_PTR CALLBACK ToolPage(HWND page, UINT message, WPARAM first, LPARAM second) {
    switch (message) {
    case WM_INITDIALOG:
        InitToolPage(page, reinterpret_cast<BatchToolState*>(reinterpret_cast<PROPSHEETPAGEW*>(second)->lParam));
        return TRUE;
    case WM_COMMAND: {
        BatchToolState* s = StateOf(page);
        if (!s) return FALSE;
        switch (LOWORD(first)) {
        case IDC_APPLY: Apply(s, false); return TRUE;
        case IDC_APPLYALL: Apply(s, true); return TRUE;
        case IDC_RZ_LIST:
            if (s->kind == BatchToolKind::kResize) EnableUserSize(page);
            return TRUE;
        case IDC_RZ_WIDTHEDIT:
        case IDC_RZ_HEIGHTEDIT:
            if (s->kind == BatchToolKind::kResize && HIWORD(first) == EN_UPDATE) KeepRatio(s, LOWORD(first));
            return TRUE;
        case IDC_AD_SETTING:
            if (HIWORD(first) == CBN_SELCHANGE) {
                const LRESULT chosen = SendDlgItemMessageW(page, IDC_AD_SETTING, CB_GETCURSEL, 0, 0);
                s->adjustSetting = chosen >= 0 && chosen < kAdjustSettingCount ? int(chosen) : 0;
                ShowAdjustSetting(s);
            }
            return TRUE;
        case IDC_AD_VALUE:
            if (HIWORD(first) == EN_CHANGE && !s->updating) {
                // The typed value is used clamped; the edit keeps what was typed.
                wchar_t text[32];
                GetDlgItemTextW(page, IDC_AD_VALUE, text, 32);
                if (SetAdjustFromText(&s->adjust, s->adjustSetting, text)) {
                    const int32_t position = AdjustSettingPosition(s->adjust, s->adjustSetting);
                    SendDlgItemMessageW(page, IDC_AD_VALUEBAR, TBM_SETPOS, TRUE, position);
                    SendDlgItemMessageW(page, IDC_AD_VALUESPIN, UDM_SETPOS32, 0, position);
                }
                MakeAfterPreview(s);
            }
            return TRUE;
        case IDC_AUTOLEVELS:
        case IDC_AUTOCONTRAST:
        case IDC_REDUCENOISE: MakeAfterPreview(s); return TRUE;
        default: return FALSE;
        }
    }
    case WM_HSCROLL: {
        BatchToolState* s = StateOf(page);
        if (s && s->kind == BatchToolKind::kAdjust) {
            SetAdjustFromPosition(&s->adjust, s->adjustSetting,
                                  int32_t(SendDlgItemMessageW(page, IDC_AD_VALUEBAR, TBM_GETPOS, 0, 0)));
            ShowAdjustSetting(s);
        }
        if (s) MakeAfterPreview(s);
        return TRUE;
    }
    case WM_VSCROLL: {
        BatchToolState* s = StateOf(page);
        if (s && s->kind == BatchToolKind::kCrop && LOWORD(first) == SB_THUMBPOSITION) CropSpinMoved(s);
        if (s && s->kind == BatchToolKind::kResize && LOWORD(first) == SB_THUMBPOSITION) {
            // The up-down's edit takes the number; a size edit's kept ratio answers.
            const int spin = GetDlgCtrlID(reinterpret_cast<HWND>(second));
            const int edit = spin == IDC_RZ_WIDTHSPIN    ? IDC_RZ_WIDTHEDIT
                             : spin == IDC_RZ_HEIGHTSPIN ? IDC_RZ_HEIGHTEDIT
                             : spin == IDC_RZ_DPISPIN    ? IDC_RZ_DPIEDIT
                                                         : 0;
            if (edit) SetDlgItemInt(page, edit, UINT(std::max(0, int(short(HIWORD(first))))), FALSE);
        }
        if (s && s->kind == BatchToolKind::kAdjust && LOWORD(first) == SB_THUMBPOSITION) {
            SetAdjustFromPosition(&s->adjust, s->adjustSetting, int32_t(short(HIWORD(first))));
            ShowAdjustSetting(s);
            MakeAfterPreview(s);
        }
        return TRUE;
    }
    case WM_DRAWITEM: {
        const BatchToolState* s = StateOf(page);
        if (!s || s->kind == BatchToolKind::kCrop) return FALSE;
        const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(second);
        DrawPreviewItem(draw, draw->CtlID == IDC_AD_AFTER ? s->previewAfter : s->previewBefore);
        SetWindowLongPtrW(page, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    case WM_NOTIFY: return AnswerKillActive(page, second);
    default: return FALSE;
    }
}

LRESULT CALLBACK SheetProc(HWND sheet, UINT message, WPARAM first, LPARAM second, UINT_PTR, DWORD_PTR data) {
    auto* s = reinterpret_cast<BatchToolState*>(data);
    if (message == WM_COMMAND) {
        switch (LOWORD(first)) {
        case IDC_STEP_PREVIOUS: Step(s, -1); break;
        case IDC_STEP_NEXT: Step(s, +1); break;
        case IDOK:
        case IDCANCEL: StoreToolSettings(s); break;
        default: break;
        }
    } else if (message == kMakeFormatPage) {
        if (!s->windows.format) {
            HWND shown = PropSheet_GetCurrentPageHwnd(sheet);
            const LRESULT index = SendMessageW(sheet, PSM_HWNDTOINDEX, WPARAM(shown), 0);
            SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
            SendMessageW(sheet, PSM_SETCURSEL, WPARAM(index < 0 ? 0 : index), 0);
        }
        return 0;
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(sheet, SheetProc, kSheetSubclassId);
    }
    return DefSubclassProc(sheet, message, first, second);
}

int CALLBACK SheetCallback(HWND sheet, UINT message, LPARAM) {
    if (message == kSheetVersionQuery) return kHandheldSheetVersion;
    if (message == PSCB_INITIALIZED && g_current) {
        // Whichever comes first, the bar or the tool page, the step states
        // are set once both exist.
        g_current->menuBar =
            PrepareStepSheet(sheet, SheetProc, kSheetSubclassId, reinterpret_cast<DWORD_PTR>(g_current));
        SetStepButtons(*g_current);
        PostMessageW(sheet, kMakeFormatPage, 0, 0);
    }
    return 0;
}

int RunBatchSheet(HWND parent, const SelectedFile* files, uint32_t count, const RewriteListener* rewrites,
                  BatchToolKind kind, UINT dialog, UINT titleId, const char* titleKey) {
    if (!files || count == 0) return 1;
    BatchToolState state{};
    state.files = files;
    state.count = count;
    state.rewrites = rewrites;
    state.kind = kind;
    state.formatLink = {&state.windows, 1, count == 1 ? files : nullptr, &state.texts};
    state.folderLink = {&state.windows, 1, files, &state.texts};
    state.resize.screenWidth = GetSystemMetrics(SM_CXSCREEN);
    state.resize.screenHeight = GetSystemMetrics(SM_CYSCREEN);

    const ToolSheetPage pages[] = {
        {dialog, ToolPage, reinterpret_cast<LPARAM>(&state), titleId, titleKey, false},
        {IDD_OUTPUT_FORMAT, OutputFormatPage, reinterpret_cast<LPARAM>(&state.formatLink), IDS_FORMAT, "IDS_FORMAT",
         true},
        {IDD_OUTPUT_FOLDER, OutputFolderPage, reinterpret_cast<LPARAM>(&state.folderLink), IDS_FOLDER, "IDS_FOLDER",
         false},
    };
    BatchToolState* outer = g_current;
    g_current = &state;
    RunToolSheet(parent, pages, 3, SheetCallback);
    g_current = outer;
    FreeBitmap(&state.cropPreview);
    FreePreview(&state);
    return 1;
}

}  // namespace

INT_PTR RunToolSheet(HWND parent, const ToolSheetPage* pages, int count, PFNPROPSHEETCALLBACK callback) {
    constexpr int kMostPages = 6;
    if (count < 1 || count > kMostPages) return -1;
    wchar_t titles[kMostPages][64] = {};
    PROPSHEETPAGEW sheetPages[kMostPages] = {};
    for (int i = 0; i < count; ++i) {
        if (pages[i].fixedTitle) CopyWideTextBounded(titles[i], 64, pages[i].fixedTitle);
        else LngGetString(Instance(), pages[i].titleId, pages[i].titleKey, titles[i], 64);
        sheetPages[i].dwSize = sizeof sheetPages[i];
        sheetPages[i].dwFlags = PSP_USETITLE | (pages[i].premature ? PSP_PREMATURE : 0);
        sheetPages[i].hInstance = Instance();
        sheetPages[i].pszTemplate = MAKEINTRESOURCEW(pages[i].dialog);
        sheetPages[i].pfnDlgProc = pages[i].procedure;
        sheetPages[i].pszTitle = titles[i];
        sheetPages[i].lParam = pages[i].parameter;
    }
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_USECALLBACK | kSheetMaximize;
    header.hwndParent = parent;
    header.hInstance = Instance();
    header.pszCaption = L"";
    header.nPages = UINT(count);
    header.ppsp = sheetPages;
    header.pfnCallback = callback;
    return HandheldPropertySheet(&header);
}

HWND PrepareStepSheet(HWND sheet, SUBCLASSPROC procedure, UINT_PTR id, DWORD_PTR data) {
    HandheldDialogSetup(sheet, kSetupEmptyMenuBar);
    SetWindowSubclass(sheet, procedure, id, data);
    return MenuBarCreate(MenuBarSpec{sheet, Instance(), IDR_TOOL_MENUBAR, IDB_TOOL_STEPS, 2});
}

void SetStepMenuBar(HWND bar, uint32_t count, uint32_t current) {
    if (!bar) return;
    const StepStates steps = StepButtonStates(count, current);
    SendMessageW(bar, TB_SETSTATE, IDC_STEP_PREVIOUS, MAKELONG(steps.previous ? TBSTATE_ENABLED : 0, 0));
    SendMessageW(bar, TB_SETSTATE, IDC_STEP_NEXT, MAKELONG(steps.next ? TBSTATE_ENABLED : 0, 0));
}

OutputOptions ReadOutputOptions(HWND formatPage) {
    return MakeOutputOptions(formatPage ? ChoicesFromPage(formatPage) : ReadStoredOutputChoices());
}

void StoreOutputOptions(HWND formatPage) {
    if (formatPage) StoreOutputChoices(ChoicesFromPage(formatPage));
}

void DrawPreviewItem(const DRAWITEMSTRUCT* draw, HBITMAP shown) {
    const RECT& r = draw->rcItem;
    FillRect(draw->hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
    BITMAP size{};
    if (!shown || !GetObjectW(shown, sizeof size, &size)) return;
    HDC memory = CreateCompatibleDC(draw->hDC);
    if (!memory) return;
    const HGDIOBJ old = SelectObject(memory, shown);
    BitBlt(draw->hDC, r.left + (r.right - r.left - size.bmWidth + 1) / 2,
           r.top + (r.bottom - r.top - size.bmHeight + 1) / 2, size.bmWidth, size.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
}

OutputFolder ReadOutputFolder(HWND folderPage) {
    if (!folderPage) return ReadStoredOutputFolder();
    OutputFolder folder{};
    // The tree's paths end in '\'; nothing selected leaves the source's own folder.
    TreeGetSelectedPath(GetDlgItem(folderPage, IDC_FD_FOLDER), folder.folder, int(kOutputPathCapacity));
    GetDlgItemTextW(folderPage, IDC_FD_PREFIX, folder.prefix, int(kOutputAffixCapacity));
    GetDlgItemTextW(folderPage, IDC_FD_SUFFIX, folder.suffix, int(kOutputAffixCapacity));
    return folder;
}

void OutputPageSetFolder(HWND folderPage, const wchar_t* path) {
    if (!folderPage || !path) return;
    const std::wstring folder(path, FileNameOffset(path));
    TreeSelectPath(GetDlgItem(folderPage, IDC_FD_FOLDER), folder.c_str());
}

void StoreOutputFolder(HWND folderPage) {
    if (folderPage) StoreOutputAffixes(ReadOutputFolder(folderPage));
}

BatchToolState* CurrentBatchTool() { return g_current; }

int RunBatchConvertTool(HWND parent, const SelectedFile* files, uint32_t count, const RewriteListener* rewrites) {
    return RunBatchSheet(parent, files, count, rewrites, BatchToolKind::kConvert, IDD_CONVERT_PAGE, IDS_INFOS,
                         "IDS_INFOS");
}

int RunBatchRotateTool(HWND parent, const SelectedFile* files, uint32_t count, const RewriteListener* rewrites) {
    return RunBatchSheet(parent, files, count, rewrites, BatchToolKind::kRotate, IDD_ROTATE_PAGE, IDS_ROTATE,
                         "IDS_ROTATE");
}

int RunBatchAdjustTool(HWND parent, const SelectedFile* files, uint32_t count, const RewriteListener* rewrites) {
    return RunBatchSheet(parent, files, count, rewrites, BatchToolKind::kAdjust, IDD_ADJUST_PAGE, IDS_ADJUST,
                         "IDS_ADJUST");
}

int RunBatchFilterTool(HWND parent, const SelectedFile* files, uint32_t count, const RewriteListener* rewrites) {
    return RunBatchSheet(parent, files, count, rewrites, BatchToolKind::kFilter, IDD_FILTER_PAGE, IDS_ADJUST,
                         "IDS_ADJUST");
}

int RunBatchCropTool(HWND parent, const SelectedFile* files, uint32_t count, const RewriteListener* rewrites) {
    return RunBatchSheet(parent, files, count, rewrites, BatchToolKind::kCrop, IDD_CROP_PAGE, IDS_CROP, "IDS_CROP");
}

int RunBatchResizeTool(HWND parent, const SelectedFile* files, uint32_t count, const RewriteListener* rewrites) {
    return RunBatchSheet(parent, files, count, rewrites, BatchToolKind::kResize, IDD_RESIZE_PAGE, IDS_RESIZE,
                         "IDS_RESIZE");
}
