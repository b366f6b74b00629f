// The album and slideshow wizard.
#include "tools/albumwizard_win.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "display/album_win.h"
#include "display/display_win.h"
#include "imagelib/imagelib.h"
#include "platform/handheld.h"
#include "resources/albumwizard.rh"
#include "platform/framework_win.h"
#include "shell/foldertree_win.h"
#include "shell/sounddialog_win.h"
#include "shell/language_win.h"
#include "shell/settings_win.h"
#include "tools/slideshowmaker_win.h"

namespace {

constexpr wchar_t kSection[] = L"Slide";
constexpr UINT_PTR kThumbnailTimer = 1000;
constexpr int kCellWidth = 52;
constexpr int kCellHeight = 49;
constexpr int kCheckSize = 11;
constexpr COLORREF kSelectedFill = RGB(206, 214, 227);
constexpr COLORREF kFrame = RGB(192, 192, 192);

// Set when creation starts being stopped; one wizard runs at a time, on the
// main thread.
volatile LONG g_stopFlag = 0;

const int kPageIds[kAlbumWizardPages] = {IDD_ALBUM_PAGE0, IDD_ALBUM_PAGE1, IDD_ALBUM_PAGE2, IDD_ALBUM_PAGE3,
                                         IDD_ALBUM_PAGE4, IDD_ALBUM_PAGE5, IDD_ALBUM_PAGE6};

AlbumWizardState* StateOf(HWND window) {
    return reinterpret_cast<AlbumWizardState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

// ---------------------------------------------------------------------------
// Settings: one row per number field of AlbumOptions.

struct NumberSetting {
    const wchar_t* key;
    int32_t AlbumOptions::*field;
    DWORD defaultValue;
};
const NumberSetting kNumberSettings[] = {
    {L"Delay", &AlbumOptions::delay, 5},
    {L"Size", &AlbumOptions::sizeIndex, 0},
    {L"Fit", &AlbumOptions::fit, 0},
    {L"Rotate", &AlbumOptions::rotate, 0},
    {L"Brightness", &AlbumOptions::autoLevels, 0},
    {L"JPEGQuality", &AlbumOptions::jpegQuality, 80},
    {L"UseTransitions", &AlbumOptions::transitions, 0},
    {L"UseSound", &AlbumOptions::sound, 0},
    {L"Loop", &AlbumOptions::loop, 1},
};

void ReadOptions(AlbumOptions* o) {
    for (const NumberSetting& s : kNumberSettings) o->*s.field = int32_t(RegReadSettingDefault(kSection, s.key, s.defaultValue));
    RegReadText(kSection, L"SoundFile", L"", o->soundFile, kAlbumPathChars);
    RegReadText(kSection, L"OutputDir", L"", o->outputFolder, kAlbumPathChars);
    RegReadText(kSection, L"OutputFile", L"album", o->outputFile, kAlbumPathChars);
}

void WriteOptions(const AlbumOptions& o) {
    for (const NumberSetting& s : kNumberSettings) RegWriteDword(kSection, s.key, DWORD(o.*s.field));
    RegWriteText(kSection, L"SoundFile", o.soundFile);
    RegWriteText(kSection, L"OutputDir", o.outputFolder);
    RegWriteText(kSection, L"OutputFile", o.outputFile);
}

// Reads the controls of pages 2 to 5 into the options.
void CollectOptions(AlbumWizardState* w) {
    AlbumOptions& o = w->options;
    HWND p2 = w->pages[2], p3 = w->pages[3], p4 = w->pages[4], p5 = w->pages[5];
    o.sizeIndex = int32_t(SendDlgItemMessageW(p2, IDC_AL_SIZE, CB_GETCURSEL, 0, 0));
    o.fit = IsDlgButtonChecked(p2, IDC_AL_FIT) == BST_CHECKED;
    o.rotate = int32_t(SendDlgItemMessageW(p2, IDC_AL_ROTATE, CB_GETCURSEL, 0, 0));
    o.autoLevels = int32_t(SendDlgItemMessageW(p2, IDC_AL_BRIGHTNESS, CB_GETCURSEL, 0, 0));
    o.delay = int32_t(GetDlgItemInt(p3, IDC_AL_DELAY, nullptr, FALSE));
    o.sound = IsDlgButtonChecked(p3, IDC_AL_USESOUND) == BST_CHECKED;
    GetDlgItemTextW(p3, IDC_AL_SOUNDFILE, o.soundFile, kAlbumPathChars);
    o.transitions = IsDlgButtonChecked(p3, IDC_AL_TRANSITIONS) == BST_CHECKED;
    o.loop = IsDlgButtonChecked(p3, IDC_AL_LOOP) == BST_CHECKED;
    // The tree's paths end with a separator; without a selection the
    // output goes to the root, as the page shows it.
    TreeGetSelectedPath(GetDlgItem(p4, IDC_AL_FOLDER), o.outputFolder, kAlbumPathChars);
    if (!o.outputFolder[0]) std::wcscpy(o.outputFolder, L"\\");
    GetDlgItemTextW(p4, IDC_AL_FILENAME, o.outputFile, kAlbumPathChars);
    o.jpegQuality = int32_t(SendDlgItemMessageW(p5, IDC_AL_QUALITY, TBM_GETPOS, 0, 0));
}

// ---------------------------------------------------------------------------
// The menu bar and the pages

void EnableBarButton(AlbumWizardState* w, UINT command, bool enable) {
    if (w->menuBar) SendMessageW(w->menuBar, TB_ENABLEBUTTON, command, MAKELONG(enable ? TRUE : FALSE, 0));
}

void SetPageButtons(AlbumWizardState* w, int page) {
    EnableBarButton(w, CMD_AL_PREVIOUS, page >= 2);
    EnableBarButton(w, CMD_AL_NEXT, page <= 5);
}

void FillPictureList(AlbumWizardState* w);

void ShowPage(AlbumWizardState* w, int page) {
    for (int i = 0; i < kAlbumWizardPages; ++i) ShowWindow(w->pages[i], i == page ? SW_SHOW : SW_HIDE);
    w->currentPage = page;
    SetPageButtons(w, page);
    if (page == 1 && SendDlgItemMessageW(w->pages[1], IDC_AL_LIST, LVM_GETITEMCOUNT, 0, 0) == 0) FillPictureList(w);
}

// ---------------------------------------------------------------------------
// Page 1: the picture list

HWND ListOf(AlbumWizardState* w) { return GetDlgItem(w->pages[1], IDC_AL_LIST); }

AlbumPictureItem* ItemAt(HWND list, int index) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    return reinterpret_cast<AlbumPictureItem*>(item.lParam);
}

void AddItem(HWND list, const wchar_t* path, HBITMAP thumbnail, int32_t w, int32_t h) {
    auto* item = static_cast<AlbumPictureItem*>(std::calloc(1, sizeof(AlbumPictureItem)));
    if (!item) return;
    item->checked = 1;
    item->iconIndex = -1;
    item->thumbnail = thumbnail;
    item->thumbnailWidth = w;
    item->thumbnailHeight = h;
    const wchar_t* name = AlbumFileNamePart(path);
    const size_t folderLength = std::min<size_t>(size_t(name - path), kAlbumPathChars - 1);
    std::wcsncpy(item->folder, path, folderLength);
    std::wcsncpy(item->name, name, kAlbumPathChars - 1);
    LVITEMW row{};
    row.mask = LVIF_PARAM | LVIF_IMAGE | LVIF_TEXT;
    row.iItem = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    row.iImage = 0;
    row.lParam = reinterpret_cast<LPARAM>(item);
    const bool report = (GetWindowLongW(list, GWL_STYLE) & LVS_TYPEMASK) == LVS_REPORT;
    row.pszText = const_cast<wchar_t*>(report ? item->name : L"");
    if (SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)) < 0) std::free(item);
}

// Adds the folder's pictures, then (depth first) its subfolders'.
void ScanFolder(HWND list, const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    std::vector<std::wstring> subfolders;
    do {
        const std::wstring name = found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name != L"." && name != L"..") subfolders.push_back(name);
        } else if (AlbumWizardIsPictureName(name.c_str()) && folder.size() + name.size() < kAlbumPathChars) {
            AddItem(list, (folder + name).c_str(), nullptr, 0, 0);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    // Paths that would not fit the item's fields are not followed.
    for (const std::wstring& sub : subfolders)
        if (folder.size() + sub.size() + 1 < kAlbumPathChars) ScanFolder(list, folder + sub + L"\\");
}

void PlaceItems(HWND list) {
    const int count = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    if (count == 0) return;
    RECT cell{};
    cell.left = LVIR_SELECTBOUNDS;
    SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&cell));
    const int cellW = std::max<int>(cell.right - cell.left, kCellWidth);
    const int cellH = std::max<int>(cell.bottom - cell.top, kCellHeight);
    RECT client;
    GetClientRect(list, &client);
    int x = 3, y = 4;
    for (int i = 0; i < count; ++i) {
        SendMessageW(list, LVM_SETITEMPOSITION, WPARAM(i), MAKELPARAM(x, y));
        x += cellW + 3;
        if (x + kCellWidth > client.right) {
            x = 3;
            y += cellH + 3;
        }
    }
}

void FillPictureList(AlbumWizardState* w) {
    HWND list = ListOf(w);
    HWND page0 = w->pages[0];
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = const_cast<wchar_t*>(L"");
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    if (!w->thumbnails) w->thumbnails = ImageList_Create(36, 49, ILC_COLOR16, 1, 1);
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(w->thumbnails));
    SendMessageW(list, LVM_SETICONSPACING, 0, MAKELPARAM(kCellWidth, kCellHeight));
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);

    auto addEntry = [&](const AlbumWizardEntry& e) {
        if (!e.isAlbum && e.path) AddItem(list, e.path, e.thumbnail, e.thumbnailWidth, e.thumbnailHeight);
    };
    if (IsDlgButtonChecked(page0, IDC_AL_SEL3) == BST_CHECKED) {
        ScanFolder(list, L"\\");
    } else if (IsDlgButtonChecked(page0, IDC_AL_SEL2) == BST_CHECKED) {
        for (int32_t i = 0; i < w->entryCount; ++i) addEntry(w->entries[i]);
    } else {
        for (int32_t i = 0; i < w->selectedCount; ++i)
            if (w->selected[i] >= 0 && w->selected[i] < w->entryCount) addEntry(w->entries[w->selected[i]]);
    }
    PlaceItems(list);
    if (!w->checks) {
        w->checks = ImageList_Create(kCheckSize, kCheckSize, ILC_COLOR16, 2, 0);
        HBITMAP images = LoadBitmapW(Instance(), MAKEINTRESOURCEW(IDB_ALBUM_CHECKS));
        if (images) {
            ImageList_Add(w->checks, images, nullptr);
            DeleteObject(images);
        }
    }
    w->thumbnailCursor = 0;
    SetTimer(w->pages[1], kThumbnailTimer, 10, nullptr);
}

void RedrawItem(HWND list, int index) { SendMessageW(list, LVM_REDRAWITEMS, WPARAM(index), LPARAM(index)); }

// One item per tick: its thumbnail, or the file's icon when it cannot be
// loaded.
void LoadNextThumbnail(AlbumWizardState* w) {
    HWND list = ListOf(w);
    const int count = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    if (w->thumbnailCursor >= count) {
        KillTimer(w->pages[1], kThumbnailTimer);
        return;
    }
    const int index = w->thumbnailCursor++;
    AlbumPictureItem* item = ItemAt(list, index);
    if (!item || item->thumbnail || item->iconIndex >= 0) return;
    const std::wstring path = std::wstring(item->folder) + item->name;
    LoadOptions options;
    InitLoadOptions(&options);
    options.pixelOrder = 1;
    options.flags |= 0x1C04;
    options.targetWidth = kCellWidth;
    options.targetHeight = kCellHeight;
    Bitmap picture{};
    if (AlbumLoadPicture(path.c_str(), &picture, &options) == 0) {
        item->thumbnail = MakeScreenBitmap(list, &picture, picture.width, picture.height, nullptr);
        item->thumbnailWidth = picture.width;
        item->thumbnailHeight = picture.height;
        item->ownsBitmap = item->thumbnail != nullptr;
    }
    FreeBitmap(&picture);
    if (!item->thumbnail) {
        item->iconList = SystemSmallIcons();
        item->iconIndex = SmallIconIndex(path.c_str());
    }
    RedrawItem(list, index);
}

void DrawItem(AlbumWizardState* w, NMLVCUSTOMDRAW* draw) {
    HWND list = draw->nmcd.hdr.hwndFrom;
    const int index = int(draw->nmcd.dwItemSpec);
    AlbumPictureItem* item = ItemAt(list, index);
    if (!item) return;
    HDC dc = draw->nmcd.hdc;
    RECT cell{};
    cell.left = LVIR_SELECTBOUNDS;
    SendMessageW(list, LVM_GETITEMRECT, WPARAM(index), reinterpret_cast<LPARAM>(&cell));
    RECT area = cell;
    area.bottom -= 4 + w->textHeight + 1;
    const UINT state = UINT(SendMessageW(list, LVM_GETITEMSTATE, WPARAM(index), LVIS_SELECTED | LVIS_FOCUSED));
    HBRUSH fill = state ? CreateSolidBrush(kSelectedFill) : GetSysColorBrush(COLOR_WINDOW);
    FillRect(dc, &area, fill);
    if (state) DeleteObject(fill);
    HPEN pen = CreatePen(PS_SOLID, 1, kFrame);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    const POINT frame[5] = {{area.left - 1, area.top - 1}, {area.left - 1, area.bottom}, {area.right, area.bottom},
                            {area.right, area.top - 1}, {area.left - 1, area.top - 1}};
    Polyline(dc, frame, 5);
    SelectObject(dc, oldPen);
    DeleteObject(pen);

    const int areaW = area.right - area.left, areaH = area.bottom - area.top;
    if (item->thumbnail) {
        const SIZE shown = AlbumWizardThumbnailSize(item->thumbnailWidth, item->thumbnailHeight);
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, item->thumbnail);
        const int x = area.left + (areaW - shown.cx) / 2, y = area.top + (areaH - shown.cy) / 2;
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, x, y, shown.cx, shown.cy, memory, 0, 0, item->thumbnailWidth, item->thumbnailHeight, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
    } else if (item->iconList && item->iconIndex >= 0) {
        int iw = 16, ih = 16;
        ImageList_GetIconSize(item->iconList, &iw, &ih);
        ImageList_Draw(item->iconList, item->iconIndex, dc, area.left + (areaW - iw) / 2,
                       area.top + (areaH - 8 - ih) / 2, ILD_TRANSPARENT);
    }
    if (w->checks) ImageList_Draw(w->checks, item->checked ? 0 : 1, dc, cell.left, cell.top, ILD_NORMAL);

    wchar_t label[kAlbumPathChars];
    RECT text = {cell.left + 1, cell.bottom - 4 - w->textHeight, cell.right, cell.bottom - 4};
    FitTextToWidth(dc, item->name, label, kAlbumPathChars, text.right - text.left);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, label, -1, &text, DT_CENTER | DT_NOCLIP | DT_NOPREFIX | DT_SINGLELINE);
}

LRESULT OnListCustomDraw(AlbumWizardState* w, NMLVCUSTOMDRAW* draw) {
    const bool report = (GetWindowLongW(draw->nmcd.hdr.hwndFrom, GWL_STYLE) & LVS_TYPEMASK) == LVS_REPORT;
    if (report) return CDRF_DODEFAULT;
    if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        RECT r{};
        r.left = LVIR_BOUNDS;
        SendMessageW(draw->nmcd.hdr.hwndFrom, LVM_GETITEMRECT, draw->nmcd.dwItemSpec, reinterpret_cast<LPARAM>(&r));
        RECT visible;
        if (!IntersectRect(&visible, &r, &draw->nmcd.rc) && !IsRectEmpty(&draw->nmcd.rc)) return CDRF_DODEFAULT;
        DrawItem(w, draw);
        return CDRF_SKIPDEFAULT;
    }
    return CDRF_DODEFAULT;
}

// The selected items' indices in ascending order.
std::vector<int> SelectedIndices(HWND list) {
    std::vector<int> indices;
    int i = -1;
    while ((i = int(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(i), LVNI_SELECTED))) >= 0) indices.push_back(i);
    return indices;
}

void ExchangeItems(HWND list, int from, int to) {
    LVITEMW a{}, b{};
    a.mask = b.mask = LVIF_PARAM;
    a.iItem = from;
    b.iItem = to;
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&a));
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&b));
    std::swap(a.lParam, b.lParam);
    SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&a));
    SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&b));
    LVITEMW state{};
    state.stateMask = LVIS_FOCUSED | LVIS_SELECTED | LVIS_CUT | LVIS_DROPHILITED;
    state.state = LVIS_SELECTED;
    SendMessageW(list, LVM_SETITEMSTATE, WPARAM(to), reinterpret_cast<LPARAM>(&state));
    state.state = 0;
    SendMessageW(list, LVM_SETITEMSTATE, WPARAM(from), reinterpret_cast<LPARAM>(&state));
    RedrawItem(list, from);
    RedrawItem(list, to);
}

LRESULT OnMoveUp(HWND page, UINT, UINT, HWND) {
    HWND list = GetDlgItem(page, IDC_AL_LIST);
    for (int i : SelectedIndices(list))
        if (i > 0) ExchangeItems(list, i, i - 1);
    return 0;
}

LRESULT OnMoveDown(HWND page, UINT, UINT, HWND) {
    HWND list = GetDlgItem(page, IDC_AL_LIST);
    const int count = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    std::vector<int> indices = SelectedIndices(list);
    std::reverse(indices.begin(), indices.end());
    for (int i : indices)
        if (i + 1 < count) ExchangeItems(list, i, i + 1);
    return 0;
}

void CheckEvery(HWND page, int32_t checked) {
    HWND list = GetDlgItem(page, IDC_AL_LIST);
    const int count = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        if (AlbumPictureItem* item = ItemAt(list, i)) item->checked = checked;
    InvalidateRect(list, nullptr, TRUE);
}

LRESULT OnCheckAll(HWND page, UINT, UINT, HWND) {
    CheckEvery(page, 1);
    return 0;
}

LRESULT OnUncheckAll(HWND page, UINT, UINT, HWND) {
    CheckEvery(page, 0);
    return 0;
}

const CommandRow kPage1Commands[] = {
    {IDC_AL_CHECKALL, OnCheckAll},
    {IDC_AL_UNCHECKALL, OnUncheckAll},
    {IDC_AL_UP, OnMoveUp},
    {IDC_AL_DOWN, OnMoveDown},
};
const CommandTable kPage1CommandTable = MakeCommandTable(kPage1Commands, kDefaultNone);

LRESULT OnPage1Command(HWND page, UINT message, WPARAM first, LPARAM second) {
    return CmdTableDispatch(kPage1CommandTable, page, message, first, second);
}

LRESULT OnPage1Notify(HWND page, UINT, WPARAM, LPARAM second) {
    AlbumWizardState* w = StateOf(page);
    auto* header = reinterpret_cast<NMHDR*>(second);
    if (!w || header->idFrom != IDC_AL_LIST) return 0;
    HWND list = header->hwndFrom;
    LRESULT result = 0;
    switch (header->code) {
    case NM_CUSTOMDRAW:
        result = OnListCustomDraw(w, reinterpret_cast<NMLVCUSTOMDRAW*>(second));
        break;
    case NM_CLICK: {
        const auto* click = reinterpret_cast<NMITEMACTIVATE*>(second);
        if (click->iItem < 0) break;
        RECT icon{};
        icon.left = LVIR_ICON;
        SendMessageW(list, LVM_GETITEMRECT, WPARAM(click->iItem), reinterpret_cast<LPARAM>(&icon));
        RECT cell{};
        cell.left = LVIR_SELECTBOUNDS;
        SendMessageW(list, LVM_GETITEMRECT, WPARAM(click->iItem), reinterpret_cast<LPARAM>(&cell));
        const POINT p = click->ptAction;
        // The check box is drawn at the cell's corner; the icon's corner
        // is where a stylus meets it too.
        const bool inBox = (p.x >= cell.left && p.x < cell.left + kCheckSize && p.y >= cell.top &&
                            p.y < cell.top + kCheckSize) ||
                           (p.x >= icon.left && p.x < icon.left + kCheckSize && p.y >= icon.top &&
                            p.y < icon.top + kCheckSize);
        if (inBox) {
            if (AlbumPictureItem* item = ItemAt(list, click->iItem)) item->checked = !item->checked;
            RedrawItem(list, click->iItem);
        }
        break;
    }
    case LVN_ITEMCHANGED: {
        const bool any = SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0) > 0;
        EnableWindow(GetDlgItem(page, IDC_AL_UP), any);
        EnableWindow(GetDlgItem(page, IDC_AL_DOWN), any);
        break;
    }
    case LVN_DELETEITEM: {
        auto* item = reinterpret_cast<AlbumPictureItem*>(reinterpret_cast<NMLISTVIEW*>(second)->lParam);
        if (item && item->ownsBitmap && item->thumbnail) DeleteObject(item->thumbnail);
        std::free(item);
        break;
    }
    default:
        break;
    }
    SetWindowLongPtrW(page, DWLP_MSGRESULT, result);
    return TRUE;
}

LRESULT OnPage1Timer(HWND page, UINT, WPARAM id, LPARAM) {
    if (AlbumWizardState* w = StateOf(page); w && id == kThumbnailTimer) LoadNextThumbnail(w);
    return 0;
}

LRESULT OnPage1Destroy(HWND page, UINT, WPARAM, LPARAM) {
    KillTimer(page, kThumbnailTimer);
    AlbumWizardState* w = StateOf(page);
    if (!w) return 0;
    // The items go first: their deletion notifications need the state.
    SendDlgItemMessageW(page, IDC_AL_LIST, LVM_DELETEALLITEMS, 0, 0);
    if (w->thumbnails) ImageList_Destroy(w->thumbnails);
    if (w->checks) ImageList_Destroy(w->checks);
    w->thumbnails = w->checks = nullptr;
    return 0;
}

// ---------------------------------------------------------------------------
// Page initialisation: each copies the options into its controls.

void SetText(HWND page, int id, const char* key) { LngSetItemText(page, id, key); }

bool InitPage0(HWND page, AlbumWizardState* w) {
    LngSelectSection("DlgAlbum0");
    SetText(page, IDC_AL_SEL1, "IDC_AL_SEL1");
    SetText(page, IDC_AL_SEL2, "IDC_AL_SEL2");
    SetText(page, IDC_AL_SEL3, "IDC_AL_SEL3");
    SetText(page, IDC_AL_TEXT1, "IDC_AL_TEXT1");
    if (w->selected && w->selectedCount > 0) {
        CheckDlgButton(page, IDC_AL_SEL1, BST_CHECKED);
    } else {
        EnableWindow(GetDlgItem(page, IDC_AL_SEL1), FALSE);
        CheckDlgButton(page, IDC_AL_SEL2, BST_CHECKED);
    }
    return true;
}

bool InitPage1(HWND page, AlbumWizardState* w) {
    LngSelectSection("DlgAlbum1");
    SetText(page, IDC_AL_UNCHECKALL, "IDC_SELECTNONE");
    SetText(page, IDC_AL_CHECKALL, "IDC_SELECTALL");
    w->textHeight = GetWindowFontHeight(GetDlgItem(page, IDC_AL_LIST));
    if (w->textHeight <= 0) w->textHeight = 12;
    return true;
}

bool InitPage2(HWND page, AlbumWizardState* w) {
    LngSelectSection("DlgAlbum2");
    SetText(page, IDC_AL_TSIZE, "IDC_AL_TEXT1");
    SetText(page, IDC_AL_TROTATE, "IDC_AL_TEXT3");
    SetText(page, IDC_AL_TBRIGHTNESS, "IDC_AL_TEXT4");
    SetText(page, IDC_AL_FIT, "IDC_FITALL");
    const struct {
        UINT id;
        const char* key;
    } sizes[] = {{IDS_ORIGINAL_SIZE, "IDS_ORIGINAL_SIZE"}, {IDS_240_180, "IDS_240_180"}, {IDS_320_240, "IDS_320_240"},
                 {IDS_640_480, "IDS_640_480"},             {IDS_800_600, "IDS_800_600"}, {IDS_1024_768, "IDS_1024_768"}};
    for (const auto& s : sizes) DlgComboAddString(page, IDC_AL_SIZE, s.id, s.key);
    SendDlgItemMessageW(page, IDC_AL_SIZE, CB_SETCURSEL, WPARAM(w->options.sizeIndex), 0);
    CheckDlgButton(page, IDC_AL_FIT, w->options.fit ? BST_CHECKED : BST_UNCHECKED);
    DlgComboAddString(page, IDC_AL_ROTATE, IDS_NO_ROTATE, "IDS_NO_ROTATE");
    DlgComboAddString(page, IDC_AL_ROTATE, IDS_ROTATE_LEFT, "IDS_ROTATE_LEFT");
    DlgComboAddString(page, IDC_AL_ROTATE, IDS_ROTATE_RIGHT, "IDS_ROTATE_RIGHT");
    SendDlgItemMessageW(page, IDC_AL_ROTATE, CB_SETCURSEL, WPARAM(w->options.rotate), 0);
    DlgComboAddString(page, IDC_AL_BRIGHTNESS, IDS_NO_BRIGHTNESS, "IDS_NO_BRIGHTNESS");
    DlgComboAddString(page, IDC_AL_BRIGHTNESS, IDS_AUTO_BRIGHTNESS, "IDS_AUTO_BRIGHTNESS");
    SendDlgItemMessageW(page, IDC_AL_BRIGHTNESS, CB_SETCURSEL, WPARAM(w->options.autoLevels), 0);
    return true;
}

bool InitPage3(HWND page, AlbumWizardState* w) {
    LngSelectSection("DlgAlbum3");
    SetText(page, IDC_AL_TDELAY, "IDC_TDELAY");
    SetText(page, IDC_AL_TSECONDS, "IDC_TSECONDS");
    SetText(page, IDC_AL_USESOUND, "IDC_USESOUNDFILE");
    SetText(page, IDC_AL_TRANSITIONS, "IDC_USETRANSITION");
    SetText(page, IDC_AL_LOOP, "IDC_LOOP");
    SendDlgItemMessageW(page, IDC_AL_SPIN, UDM_SETRANGE32, 1, 60);
    SendDlgItemMessageW(page, IDC_AL_SPIN, UDM_SETPOS32, 0,
                        LPARAM(RegReadSettingDefault(L"General", L"SlideDelay", 2)));
    SetDlgItemInt(page, IDC_AL_DELAY, UINT(w->options.delay), FALSE);
    CheckDlgButton(page, IDC_AL_USESOUND, w->options.sound ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemTextW(page, IDC_AL_SOUNDFILE, w->options.soundFile);
    CheckDlgButton(page, IDC_AL_TRANSITIONS, w->options.transitions ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(page, IDC_AL_LOOP, w->options.loop ? BST_CHECKED : BST_UNCHECKED);
    return true;
}

// The folder tree starts on the stored output folder (a folder that is gone
// leaves the root selected, where the output then goes); the file name gets
// the focus.
bool InitPage4(HWND page, AlbumWizardState* w) {
    LngSelectSection("DlgAlbum4");
    SetText(page, IDC_AL_TFOLDER, "IDC_SELECT_TEXT");
    SetText(page, IDC_AL_TFILENAME, "IDC_AL_TEXT");
    const HWND tree = GetDlgItem(page, IDC_AL_FOLDER);
    TreeSetOwner(tree);
    std::wstring folder = w->options.outputFolder;
    folder.resize(folder.find_last_of(L'\\') + 1);  // npos + 1 == 0: no folder
    if (!folder.empty()) TreeSelectPath(tree, folder.c_str());
    if (!SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0))
        SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    SetDlgItemTextW(page, IDC_AL_FILENAME, w->options.outputFile);
    SetFocus(GetDlgItem(page, IDC_AL_FILENAME));
    return false;
}

bool InitPage5(HWND page, AlbumWizardState* w) {
    LngSelectSection("DlgAlbum5");
    SetText(page, IDC_AL_TQUALITY, "IDC_JPEG_TEXT");
    SetText(page, IDC_AL_TLOW, "IDC_JPEGTEXT1");
    SetText(page, IDC_AL_THIGH, "IDC_JPEGTEXT2");
    SendDlgItemMessageW(page, IDC_AL_QUALITY, TBM_SETRANGE, TRUE, MAKELPARAM(1, 100));
    SendDlgItemMessageW(page, IDC_AL_QUALITY, TBM_SETPOS, TRUE, LPARAM(w->options.jpegQuality));
    SetDlgItemInt(page, IDC_AL_QUALITYTEXT, UINT(w->options.jpegQuality), TRUE);
    return true;
}

void ShowCreating(HWND page, bool creating) {
    ShowWindow(GetDlgItem(page, IDC_AL_CREATE), creating ? SW_HIDE : SW_SHOW);
    ShowWindow(GetDlgItem(page, IDC_AL_STOP), creating ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(page, IDC_AL_STATUS), creating ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(page, IDC_AL_PROGRESS), creating ? SW_SHOW : SW_HIDE);
}

bool InitPage6(HWND page, AlbumWizardState*) {
    LngSelectSection("DlgAlbum6");
    SetText(page, IDC_AL_STOP, "IDC_STOP");
    SetText(page, IDC_AL_CREATE, "IDC_CREATE");
    ShowCreating(page, false);
    return true;
}

// Each returns whether the dialog manager gives the focus to the page's first
// control (false: the page set it itself).
using PageInit = bool (*)(HWND, AlbumWizardState*);
const PageInit kPageInits[kAlbumWizardPages] = {InitPage0, InitPage1, InitPage2, InitPage3,
                                                InitPage4, InitPage5, InitPage6};

// WM_INITDIALOG of page N: the state becomes the page's user data.
template <int N>
LRESULT OnPageInit(HWND page, UINT, WPARAM, LPARAM second) {
    auto* w = reinterpret_cast<AlbumWizardState*>(second);
    SetWindowLongPtrW(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(w));
    return kPageInits[N](page, w) ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------
// Page 3 and 5 reactions

LRESULT OnChooseSound(HWND page, UINT, UINT, HWND) {
    wchar_t current[kAlbumPathChars] = {};
    GetDlgItemTextW(page, IDC_AL_SOUNDFILE, current, kAlbumPathChars);
    wchar_t file[kAlbumPathChars];
    if (ChooseSoundFile(page, current, file, kAlbumPathChars)) {
        SetDlgItemTextW(page, IDC_AL_SOUNDFILE, file);
        CheckDlgButton(page, IDC_AL_USESOUND, BST_CHECKED);
    }
    return 0;
}

// The folder tree's notifications go to the tree's own handler, whose answer
// is the page's.
LRESULT OnPage4Notify(HWND page, UINT, WPARAM, LPARAM second) {
    auto* header = reinterpret_cast<NMHDR*>(second);
    if (header->idFrom != IDC_AL_FOLDER) return FALSE;
    SetWindowLongPtrW(page, DWLP_MSGRESULT, TreeOnNotify(page, header));
    return TRUE;
}

const CommandRow kPage3Commands[] = {{IDC_AL_BROWSE, OnChooseSound}};
const CommandTable kPage3CommandTable = MakeCommandTable(kPage3Commands, kDefaultNone);

LRESULT OnPage3Command(HWND page, UINT message, WPARAM first, LPARAM second) {
    return CmdTableDispatch(kPage3CommandTable, page, message, first, second);
}

LRESULT OnPage3Scroll(HWND page, UINT, WPARAM first, LPARAM) {
    if (LOWORD(first) == SB_THUMBPOSITION) SetDlgItemInt(page, IDC_AL_DELAY, UINT(short(HIWORD(first))), FALSE);
    return 0;
}

LRESULT OnPage5Scroll(HWND page, UINT, WPARAM, LPARAM) {
    SetDlgItemInt(page, IDC_AL_QUALITYTEXT, UINT(SendDlgItemMessageW(page, IDC_AL_QUALITY, TBM_GETPOS, 0, 0)), TRUE);
    return 0;
}

// ---------------------------------------------------------------------------
// Page 6: Create and Stop

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void SetCreatingButtons(AlbumWizardState* w, bool creating) {
    EnableBarButton(w, IDOK, !creating);
    if (creating) {
        EnableBarButton(w, CMD_AL_PREVIOUS, false);
        EnableBarButton(w, CMD_AL_NEXT, false);
    } else {
        SetPageButtons(w, 6);
    }
}

LRESULT OnCreate(HWND page, UINT, UINT, HWND) {
    AlbumWizardState* w = StateOf(page);
    if (!w || w->writing) return 0;
    CollectOptions(w);
    // The checked items in list order.
    HWND list = ListOf(w);
    std::vector<std::wstring> paths;
    const int count = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        if (AlbumPictureItem* item = ItemAt(list, i); item && item->checked)
            paths.push_back(std::wstring(item->folder) + item->name);
    std::vector<const wchar_t*> pointers;
    for (const auto& p : paths) pointers.push_back(p.c_str());

    // The name gets the mode's extension in place of its own.
    std::wstring name = w->options.outputFile;
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos) name.resize(dot);
    name += w->mode == kWizardAlbum ? L".alb" : L".exe";
    std::wcsncpy(w->options.outputFile, name.c_str(), kAlbumPathChars - 1);
    w->options.outputFile[kAlbumPathChars - 1] = 0;
    SetDlgItemTextW(w->pages[4], IDC_AL_FILENAME, w->options.outputFile);
    const std::wstring output = std::wstring(w->options.outputFolder) + w->options.outputFile;

    const bool existed = FileExists(output);
    if (existed) {
        // The question names what is made: an album or a slideshow.
        wchar_t question[512];
        if (w->mode == kWizardAlbum)
            LngGetString(Instance(), IDS_ALBUM_EXISTS, "IDS_ALBUM_EXISTS", question, 512);
        else
            LngGetString(Instance(), IDS_SLIDESHOW_EXISTS, "IDS_SLIDESHOW_EXISTS", question, 512);
        if (HandheldMessageBox(page, question, L"", MB_OKCANCEL | MB_ICONQUESTION) != IDOK) return 0;
    }
    InterlockedExchange(&g_stopFlag, 0);
    ShowCreating(page, true);
    SetCreatingButtons(w, true);
    w->writing = 1;
    const AlbumWizardHooks* hooks = w->hooks;
    if (hooks && hooks->beforeWrite) hooks->beforeWrite(hooks->user);
    const COLORREF background = RegReadSettingDefault(L"General", L"SlideBackColor", 0x808080);
    int result = 0;
    if (w->mode == kWizardAlbum)
        result = AlbumWrite(list, pointers.data(), int32_t(pointers.size()), &w->options, AlbumWizardProgress,
                            reinterpret_cast<uintptr_t>(page));
    else
        result = WriteExeSlideshow(list, pointers.data(), int32_t(pointers.size()), &w->options, background,
                                   AlbumWizardProgress, reinterpret_cast<uintptr_t>(page));
    w->writing = 0;
    const bool stopped = g_stopFlag != 0;
    const bool made = !stopped && result == 0;
    if (hooks && hooks->afterWrite)
        hooks->afterWrite(hooks->user, w->options.outputFolder, w->options.outputFile, made ? 1 : 0);
    if (stopped) return 0;
    if (result != 0) {
        // The writer said what went wrong; the wizard stays open with the
        // user's choices, to try again.
        SetCreatingButtons(w, false);
        ShowCreating(page, false);
        return 0;
    }
    SendMessageW(GetParent(page), WM_COMMAND, IDOK, 0);
    return 0;
}

LRESULT OnStop(HWND page, UINT, UINT, HWND) {
    InterlockedExchange(&g_stopFlag, 1);
    if (AlbumWizardState* w = StateOf(page)) SetCreatingButtons(w, false);
    ShowCreating(page, false);
    return 0;
}

const CommandRow kPage6Commands[] = {{IDC_AL_CREATE, OnCreate}, {IDC_AL_STOP, OnStop}};
const CommandTable kPage6CommandTable = MakeCommandTable(kPage6Commands, kDefaultNone);

LRESULT OnPage6Command(HWND page, UINT message, WPARAM first, LPARAM second) {
    return CmdTableDispatch(kPage6CommandTable, page, message, first, second);
}

// ---------------------------------------------------------------------------
// Page procedures: the message tables of each page.

const MessageRow kPage0Rows[] = {{WM_INITDIALOG, OnPageInit<0>}};
const MessageRow kPage1Rows[] = {{WM_INITDIALOG, OnPageInit<1>},
                                 {WM_COMMAND, OnPage1Command},
                                 {WM_NOTIFY, OnPage1Notify},
                                 {WM_TIMER, OnPage1Timer},
                                 {WM_DESTROY, OnPage1Destroy}};
const MessageRow kPage2Rows[] = {{WM_INITDIALOG, OnPageInit<2>}};
const MessageRow kPage3Rows[] = {
    {WM_INITDIALOG, OnPageInit<3>}, {WM_COMMAND, OnPage3Command}, {WM_VSCROLL, OnPage3Scroll}};
const MessageRow kPage4Rows[] = {{WM_INITDIALOG, OnPageInit<4>}, {WM_NOTIFY, OnPage4Notify}};
const MessageRow kPage5Rows[] = {{WM_INITDIALOG, OnPageInit<5>}, {WM_HSCROLL, OnPage5Scroll}};
const MessageRow kPage6Rows[] = {{WM_INITDIALOG, OnPageInit<6>}, {WM_COMMAND, OnPage6Command}};

const MessageTable kPageTables[kAlbumWizardPages] = {
    MakeMessageTable(kPage0Rows, kDefaultNone), MakeMessageTable(kPage1Rows, kDefaultNone),
    MakeMessageTable(kPage2Rows, kDefaultNone), MakeMessageTable(kPage3Rows, kDefaultNone),
    MakeMessageTable(kPage4Rows, kDefaultNone), MakeMessageTable(kPage5Rows, kDefaultNone),
    MakeMessageTable(kPage6Rows, kDefaultNone),
};

template <int N>
INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM first, LPARAM second) {
    return INT_PTR(MsgTableDispatch(kPageTables[N], page, message, first, second));
}

const DLGPROC kPageProcs[kAlbumWizardPages] = {PageProc<0>, PageProc<1>, PageProc<2>, PageProc<3>,
                                               PageProc<4>, PageProc<5>, PageProc<6>};

// ---------------------------------------------------------------------------
// The container

LRESULT OnWizardInit(HWND window, UINT, WPARAM, LPARAM second) {
    auto* w = reinterpret_cast<AlbumWizardState*>(second);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(w));
    HandheldDialogSetup(window, kSetupStandardDialog);
    LngSelectSection("DlgAlbum");
    if (w->settingsFlag) ReadOptions(&w->options);
    RECT client;
    GetClientRect(window, &client);
    for (int i = 0; i < kAlbumWizardPages; ++i) {
        w->pages[i] = CreateDialogParamW(Instance(), MAKEINTRESOURCEW(kPageIds[i]), window, kPageProcs[i],
                                         reinterpret_cast<LPARAM>(w));
        MoveWindow(w->pages[i], 0, 0, client.right, client.bottom, FALSE);
    }
    w->menuBar = MenuBarCreate(MenuBarSpec{window, Instance(), IDR_ALBUM_MENUBAR, IDB_ALBUM_MENUBAR, 2});
    if (w->menuBar) LngTranslateMenu(w->menuBar, nullptr);
    ShowPage(w, 0);
    return TRUE;
}

LRESULT OnWizardClose(HWND window, UINT id, UINT, HWND) {
    AlbumWizardState* w = StateOf(window);
    // Never while a writer runs: the pages and the list it reads would go.
    if (!w || w->writing) return 0;
    if (id == IDOK && w->settingsFlag) {
        CollectOptions(w);
        WriteOptions(w->options);
    }
    EndDialog(window, 0);
    return 0;
}

LRESULT OnPrevious(HWND window, UINT, UINT, HWND) {
    AlbumWizardState* w = StateOf(window);
    if (w && !w->writing && w->currentPage >= 2) ShowPage(w, w->currentPage - 1);
    return 0;
}

LRESULT OnNext(HWND window, UINT, UINT, HWND) {
    AlbumWizardState* w = StateOf(window);
    if (w && !w->writing && w->currentPage < kAlbumWizardPages - 1) ShowPage(w, w->currentPage + 1);
    return 0;
}

const CommandRow kWizardCommands[] = {
    {IDOK, OnWizardClose}, {IDCANCEL, OnWizardClose}, {CMD_AL_PREVIOUS, OnPrevious}, {CMD_AL_NEXT, OnNext}};
const CommandTable kWizardCommandTable = MakeCommandTable(kWizardCommands, kDefaultNone);

LRESULT OnWizardCommand(HWND window, UINT message, WPARAM first, LPARAM second) {
    return CmdTableDispatch(kWizardCommandTable, window, message, first, second);
}

LRESULT OnWizardSysClose(HWND window, UINT, WPARAM, LPARAM) {
    OnWizardClose(window, IDCANCEL, 0, nullptr);
    return TRUE;
}

const MessageRow kWizardRows[] = {
    {WM_INITDIALOG, OnWizardInit}, {WM_COMMAND, OnWizardCommand}, {WM_CLOSE, OnWizardSysClose}};
const MessageTable kWizardTable = MakeMessageTable(kWizardRows, kDefaultNone);

INT_PTR CALLBACK WizardProc(HWND window, UINT message, WPARAM first, LPARAM second) {
    return INT_PTR(MsgTableDispatch(kWizardTable, window, message, first, second));
}

}  // namespace

bool AlbumWizardIsPictureName(const wchar_t* name) {
    static const wchar_t* const kExtensions[] = {L".bmp", L".tif", L".tiff", L".jpg", L".jpeg", L".jif", L".png",
                                                 L".tga", L".gif", L".2bp", L".pcx", L".psd", L".pbm", L".pgm",
                                                 L".ppm", L".pnm", L".crw", L".cr2", L".nef", L".raf", L".mrw",
                                                 L".orf", L".pef", L".sr2", L".srf", L".x3f", L".dcr", L".dng"};
    const wchar_t* dot = std::wcsrchr(name, L'.');
    if (!dot) return false;
    for (const wchar_t* e : kExtensions)
        if (_wcsicmp(dot, e) == 0) return true;
    return false;
}

SIZE AlbumWizardThumbnailSize(int32_t w, int32_t h) {
    if (w < 1 || h < 1) return SIZE{0, 0};
    if (w <= kCellWidth && h < kCellHeight + 1) return SIZE{w, h};
    LONG height = LONG(int64_t(h) * kCellWidth / w);
    LONG width = kCellWidth;
    if (height > kCellHeight) {
        height = kCellHeight;
        width = LONG(int64_t(w) * kCellHeight / h);
    }
    return SIZE{width, height};
}

int32_t AlbumWizardProgress(uintptr_t user, const wchar_t* text, int32_t position, int32_t count) {
    HWND page = reinterpret_cast<HWND>(user);
    if (text) SetDlgItemTextW(page, IDC_AL_STATUS, text);
    if (position == 0) SendDlgItemMessageW(page, IDC_AL_PROGRESS, PBM_SETRANGE32, 0, count);
    SendDlgItemMessageW(page, IDC_AL_PROGRESS, PBM_SETPOS, WPARAM(position), 0);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        if (!GetMessageW(&message, nullptr, 0, 0)) {
            PostQuitMessage(int(message.wParam));
            break;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return g_stopFlag ? 0 : 1;
}

INT_PTR RunAlbumWizard(HWND owner, const AlbumWizardEntry* entries, int32_t entryCount, const int32_t* selected,
                       int32_t selectedCount, int32_t mode, const AlbumWizardHooks* hooks) {
    AlbumWizardState state{};
    state.hooks = hooks;
    state.settingsFlag = 1;
    state.mode = mode;
    state.entries = entries;
    state.entryCount = entryCount;
    state.selected = selectedCount > 0 ? selected : nullptr;
    state.selectedCount = selectedCount;
    DialogBoxParamW(Instance(), MAKEINTRESOURCEW(IDD_ALBUM_WIZARD), owner, WizardProc,
                    reinterpret_cast<LPARAM>(&state));
    return 0;
}
