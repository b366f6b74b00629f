// The file list view: one list view item per FileListEntry, in array order,
// in four layouts. Thumbnail and strip cells are drawn by custom drawing,
// details rows by owner drawing; the image lists only give the control its
// cell and row sizes.
#include <algorithm>
#include <cwchar>
#include <vector>

#include "display/display_win.h"
#include "imagelib/formats.h"
#include "platform/framework_win.h"
#include "platform/handheld.h"
#include "resources/main.rh"
#include "app/browser_win.h"
#include "shell/filetexts_win.h"
#include "shell/language_win.h"
#include "app/viewer_win.h"
#include "shell/viewerlogic.h"

namespace {

struct ListViewState {
    HFONT boldFont = nullptr;
    HFONT normalFont = nullptr;
    HIMAGELIST tinyList = nullptr;  // 1 x 1: list and strip
    HIMAGELIST cellList = nullptr;  // thumbnails
    HIMAGELIST rowList = nullptr;   // details rows
    int32_t boxWidth = 70, boxHeight = 70;
    int textHeight = 13;
};

ListViewState g_list;

int ColumnTextWidth(HWND list) {
    return int(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(L"XXXXXX")));
}

void InsertColumn(HWND list, int index, UINT stringId, const char* key, int format, int width) {
    std::wstring header = LoadText(stringId, key);
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = width;
    column.pszText = header.data();
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, WPARAM(index), reinterpret_cast<LPARAM>(&column));
}

void SetItemText(HWND list, int index, int column, const wchar_t* text) {
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text);
    SendMessageW(list, LVM_SETITEMTEXTW, WPARAM(index), reinterpret_cast<LPARAM>(&item));
}

void WriteSizeAndDate(HWND list, int index, const FileListEntry& entry) {
    wchar_t number[64], unit[32];
    FormatFileSize(entry.size, number, 64, unit, 32);
    wchar_t size[100];
    swprintf(size, 100, L"%ls %ls", number, unit);
    SetItemText(list, index, 3, size);
    FILETIME utc, local;
    utc.dwLowDateTime = DWORD(entry.lastWriteTime);
    utc.dwHighDateTime = DWORD(entry.lastWriteTime >> 32);
    SYSTEMTIME time = {};
    if (FileTimeToLocalFileTime(&utc, &local) && FileTimeToSystemTime(&local, &time)) {
        wchar_t date[64];
        FormatFileDate(time, date, 64);
        SetItemText(list, index, 4, date);
    }
}

HIMAGELIST SizedList(int width, int height) {
    return ImageList_Create(std::max(1, width), std::max(1, height), ILC_COLOR, 1, 1);
}

void DestroyLists() {
    for (HIMAGELIST* l : {&g_list.tinyList, &g_list.cellList, &g_list.rowList}) {
        if (*l) ImageList_Destroy(*l);
        *l = nullptr;
    }
}

// Draws the entry's thumbnail centred in `area`.
void DrawThumbnail(HDC dc, const FileListEntry& entry, const RECT& area) {
    if (!entry.thumbnail || entry.thumbWidth <= 0 || entry.thumbHeight <= 0) return;
    const HDC source = CreateCompatibleDC(dc);
    const HGDIOBJ old = SelectObject(source, static_cast<HBITMAP>(entry.thumbnail));
    const int w = std::min<int>(entry.thumbWidth, area.right - area.left);
    const int h = std::min<int>(entry.thumbHeight, area.bottom - area.top);
    const int x = area.left + (area.right - area.left - w) / 2;
    const int y = area.top + (area.bottom - area.top - h) / 2;
    BitBlt(dc, x, y, w, h, source, (entry.thumbWidth - w) / 2, (entry.thumbHeight - h) / 2, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
}

void DrawResourceBitmapCentred(HDC dc, UINT id, const RECT& area) {
    const HBITMAP bitmap = LoadBitmapW(g_Instance, MAKEINTRESOURCEW(id));
    if (!bitmap) return;
    BITMAP info = {};
    GetObjectW(bitmap, sizeof info, &info);
    const HDC source = CreateCompatibleDC(dc);
    const HGDIOBJ old = SelectObject(source, bitmap);
    BitBlt(dc, area.left + (area.right - area.left - info.bmWidth) / 2,
           area.top + (area.bottom - area.top - info.bmHeight) / 2, info.bmWidth, info.bmHeight, source, 0, 0,
           SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
    DeleteObject(bitmap);
}

void DrawCell(HDC dc, HWND list, int index, UINT itemState) {
    BrowserModel* model = ViewerModel();
    if (!model || size_t(index) >= model->Entries().size()) return;
    const FileListEntry& entry = model->Entries()[size_t(index)];
    RECT r = {};
    r.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETITEMRECT, WPARAM(index), reinterpret_cast<LPARAM>(&r));
    r.left += 2;
    r.right -= 2;
    r.top += 2;
    r.bottom -= 1;
    const UINT state = UINT(SendMessageW(list, LVM_GETITEMSTATE, WPARAM(index), LVIS_SELECTED | LVIS_DROPHILITED));
    const bool selected = (state & (LVIS_SELECTED | LVIS_DROPHILITED)) != 0 || (itemState & CDIS_SELECTED);
    if (selected) {
        FillRect(dc, &r, GetSysColorBrush(COLOR_HIGHLIGHT));
    } else {
        RECT inner = r;
        FillRect(dc, &inner, GetSysColorBrush(COLOR_WINDOW));
    }
    const HPEN pen = CreatePen(PS_SOLID, 1, selected ? RGB(255, 0, 0) : RGB(173, 173, 173));
    const HGDIOBJ oldPen = SelectObject(dc, pen);
    const POINT frame[5] = {{r.left, r.top}, {r.right - 1, r.top}, {r.right - 1, r.bottom - 1},
                            {r.left, r.bottom - 1}, {r.left, r.top}};
    Polyline(dc, frame, 5);
    SelectObject(dc, oldPen);
    DeleteObject(pen);

    RECT picture = {r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
    const bool showLabel = g_AppSettings.showLabel != 0;
    if (showLabel) picture.bottom -= (g_DpiY + 16) * 3 / 96 + g_list.textHeight;
    if (entry.state == kEntryAlbum) {
        const UINT id = g_list.boxWidth >= 120 && g_list.boxHeight >= 120 ? IDB_MAIN_ALBUM_LARGE
                        : g_list.boxWidth >= 60 && g_list.boxHeight >= 60 ? IDB_MAIN_ALBUM_MEDIUM
                                                                          : IDB_MAIN_ALBUM_SMALL;
        DrawResourceBitmapCentred(dc, id, picture);
    } else {
        DrawThumbnail(dc, entry, picture);
    }
    if (!showLabel) return;
    RECT labelBounds = {};
    labelBounds.left = LVIR_LABEL;
    SendMessageW(list, LVM_GETITEMRECT, WPARAM(index), reinterpret_cast<LPARAM>(&labelBounds));
    RECT label = {labelBounds.left + 4, r.bottom - g_list.textHeight - 2, labelBounds.right - 3, r.bottom - 2};
    if (label.right <= label.left) {
        label.left = r.left + 2;
        label.right = r.right - 2;
    }
    const std::wstring name = ItemLabel(entry.path, g_AppSettings.showExt != 0);
    wchar_t fitted[68];
    FitTextToWidth(dc, name.c_str(), fitted, 65, label.right - label.left);
    SetBkMode(dc, TRANSPARENT);
    if (selected) {
        const HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
        FillRect(dc, &label, blue);
        DeleteObject(blue);
        SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    } else {
        SetTextColor(dc, RGB(0, 0, 0));
    }
    DrawTextW(dc, fitted, -1, &label, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX | DT_VCENTER);
}

}  // namespace

void SetListItemLabel(HWND list, int index, const wchar_t* text) { SetItemText(list, index, 0, text); }

int ListCellHeight() { return g_list.boxHeight; }

HWND ListViewCreate(HWND parent, int x, int y, int width, int height) {
    const HWND list = CreateWindowExW(
        0, WC_LISTVIEWW, L"List View",
        WS_CHILD | WS_VISIBLE | WS_BORDER | WS_HSCROLL | WS_VSCROLL | WS_TABSTOP | LVS_ICON | LVS_AUTOARRANGE |
            LVS_SHAREIMAGELISTS | LVS_SHOWSELALWAYS,
        x, y, width, height, parent, reinterpret_cast<HMENU>(UINT_PTR(kListControlId)), g_Instance, nullptr);
    if (!list) return nullptr;
    const int fontHeight = -(8 * g_DpiY / 72);
    g_list.boldFont = CreateFontW(fontHeight, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, VARIABLE_PITCH,
                                  L"MS Sans Serif");
    g_list.normalFont = CreateFontW(fontHeight, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0,
                                    VARIABLE_PITCH, L"MS Sans Serif");
    const int textWidth = ColumnTextWidth(list);
    InsertColumn(list, 0, IDS_NAME, "IDS_NAME", LVCFMT_LEFT, 116);
    InsertColumn(list, 1, IDS_PROPERTIES, "IDS_PROPERTIES", LVCFMT_LEFT, textWidth);
    InsertColumn(list, 2, IDS_TYPE, "IDS_TYPE", LVCFMT_RIGHT, textWidth);
    InsertColumn(list, 3, IDS_SIZE, "IDS_SIZE", LVCFMT_RIGHT, textWidth);
    InsertColumn(list, 4, IDS_DATE, "IDS_DATE", LVCFMT_RIGHT, textWidth);
    return list;
}

void InsertListItem(HWND list, int index, const FileListEntry& entry) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<wchar_t*>(L"");
    const int at = int(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (at < 0) return;
    if (entry.state == kEntryAlbum) SetItemText(list, at, 1, LoadText(IDS_ALBUM, "IDS_ALBUM").c_str());
    WriteSizeAndDate(list, at, entry);
}

void RefreshItemTexts(HWND list, int index, const FileListEntry& entry) {
    if (entry.state != kEntryExamined) return;
    const uint32_t bits = uint32_t(entry.colourWords[2]) * entry.colourWords[3];
    SetItemText(list, index, 1, FormatPropertiesText(entry.width, entry.height, bits).c_str());
    wchar_t type[32];
    FormatTypeName(entry, type, 32);
    SetItemText(list, index, 2, type);
    WriteSizeAndDate(list, index, entry);
}

void SetupListImageLists(HWND list) {
    ScreenThumbBox(g_AppSettings.thumbSize, &g_list.boxWidth, &g_list.boxHeight);
    const HDC dc = GetDC(list);
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    g_list.textHeight = metrics.tmHeight > 0 ? metrics.tmHeight : 13;
    const ListCellGeometry g = ListCellGeometryFor(g_list.boxWidth, g_list.boxHeight, g_DpiX, g_DpiY,
                                                   g_list.textHeight, g_AppSettings.showLabel != 0);
    DestroyLists();
    g_list.tinyList = SizedList(1, 1);
    g_list.cellList = SizedList(g.cellListWidth, g.cellListHeight);
    g_list.rowList = SizedList(g.rowListWidth, g.rowListHeight);
    SendMessageW(list, LVM_SETICONSPACING, 0, MAKELPARAM(g.spacingX, g.spacingY));
}

void SelectListImageList(HWND list) {
    const int mode = g_AppSettings.viewMode;
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_NORMAL,
                 reinterpret_cast<LPARAM>(mode == 0 || mode == 3 ? g_list.cellList : g_list.tinyList));
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL,
                 reinterpret_cast<LPARAM>(mode == 2 ? g_list.rowList : g_list.tinyList));
}

void RefreshListLayout(HWND list) {
    SetupListImageLists(list);
    SelectListImageList(list);
    InvalidateRect(list, nullptr, TRUE);
}

void SetListStyle(HWND list, int mode) {
    LONG_PTR style = GetWindowLongPtrW(list, GWL_STYLE) & ~LONG_PTR(LVS_TYPEMASK | LVS_OWNERDRAWFIXED | LVS_ALIGNMASK);
    switch (mode) {
    case 1: style |= LVS_LIST; break;
    case 2: style |= LVS_REPORT | LVS_OWNERDRAWFIXED | LVS_NOCOLUMNHEADER; break;
    case 3: style |= LVS_ICON | LVS_ALIGNLEFT; break;
    default: style |= LVS_ICON | LVS_ALIGNTOP; break;
    }
    SetWindowLongPtrW(list, GWL_STYLE, style);
}

LRESULT ListCustomDraw(NMLVCUSTOMDRAW* draw) {
    const int mode = g_AppSettings.viewMode;
    if (mode != 0 && mode != 3) {
        if (mode == 1 && draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
        if (mode == 1 && draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
            if (draw->nmcd.dwItemSpec & 1) draw->clrTextBk = RGB(195, 195, 195);
            return CDRF_DODEFAULT;
        }
        return CDRF_DODEFAULT;
    }
    if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (draw->nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
    BrowserModel* model = ViewerModel();
    const int index = int(draw->nmcd.dwItemSpec);
    if (!model || index < 0 || size_t(index) >= model->Entries().size()) return CDRF_SKIPDEFAULT;
    const HGDIOBJ old = SelectObject(draw->nmcd.hdc, reinterpret_cast<HFONT>(
                                                         SendMessageW(draw->nmcd.hdr.hwndFrom, WM_GETFONT, 0, 0)));
    DrawCell(draw->nmcd.hdc, draw->nmcd.hdr.hwndFrom, index, draw->nmcd.uItemState);
    SelectObject(draw->nmcd.hdc, old);
    return CDRF_SKIPDEFAULT;
}

BOOL DrawListItem(const DRAWITEMSTRUCT* draw) {
    BrowserModel* model = ViewerModel();
    const int index = int(draw->itemID);
    if (!model || index < 0 || size_t(index) >= model->Entries().size()) return TRUE;
    const FileListEntry& entry = model->Entries()[size_t(index)];
    const HWND list = draw->hwndItem;
    const HDC dc = draw->hDC;
    const int columnWidth = int(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0));
    RECT row = {draw->rcItem.left, draw->rcItem.top, draw->rcItem.left + std::max(columnWidth, 1),
                draw->rcItem.bottom};
    const bool selected = (draw->itemState & ODS_SELECTED) != 0;
    const COLORREF back = selected ? RGB(206, 214, 227) : (index & 1) ? RGB(237, 237, 202) : RGB(230, 230, 235);
    const HBRUSH brush = CreateSolidBrush(back);
    FillRect(dc, &row, brush);
    DeleteObject(brush);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, selected ? RGB(0, 0, 0) : GetSysColor(COLOR_WINDOWTEXT));
    RECT picture = {row.left + 6, row.top, row.left + 6 + g_list.boxWidth, row.bottom};
    if (entry.state == kEntryAlbum)
        DrawResourceBitmapCentred(dc, g_list.boxWidth >= 60 ? IDB_MAIN_ALBUM_MEDIUM : IDB_MAIN_ALBUM_SMALL, picture);
    else
        DrawThumbnail(dc, entry, picture);
    const int textLeft = row.left + 6 + g_list.boxWidth + 4;
    wchar_t buffer[kListPathCapacity];
    auto columnText = [&](int column) {
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = buffer;
        item.cchTextMax = int(kListPathCapacity);
        buffer[0] = 0;
        SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(index), reinterpret_cast<LPARAM>(&item));
        return std::wstring(buffer);
    };
    HGDIOBJ old = SelectObject(dc, g_list.boldFont);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    const int line = metrics.tmHeight > 0 ? metrics.tmHeight : 13;
    RECT text = {textLeft, row.top + 2, row.right - 2, row.top + 2 + line};
    // The whole path; where it does not fit, its middle gives way so that
    // the name stays readable.
    DrawTextW(dc, entry.path, -1, &text, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS);
    SelectObject(dc, g_list.normalFont);
    OffsetRect(&text, 0, line);
    DrawTextW(dc, columnText(1).c_str(), -1, &text, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    DrawTextW(dc, columnText(2).c_str(), -1, &text, DT_RIGHT | DT_SINGLELINE | DT_NOPREFIX);
    OffsetRect(&text, 0, line);
    DrawTextW(dc, columnText(4).c_str(), -1, &text, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    OffsetRect(&text, 0, line);
    DrawTextW(dc, columnText(3).c_str(), -1, &text, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    return TRUE;
}

void FormatTypeName(const FileListEntry& entry, wchar_t* text, int length) {
    if (length <= 0) return;
    text[0] = 0;
    const char* name = GetFormatShortName(entry.formatIndex);
    if (!name) return;
    MultiByteToWideChar(CP_ACP, 0, name, -1, text, length);
    text[length - 1] = 0;
    CharUpperW(text);
}

void ListViewRelease() {
    DestroyLists();
    if (g_list.boldFont) DeleteObject(g_list.boldFont);
    if (g_list.normalFont) DeleteObject(g_list.normalFont);
    g_list.boldFont = g_list.normalFont = nullptr;
}

std::vector<long> SelectedItems(HWND list) {
    std::vector<long> selected;
    if (!list) return selected;
    // Each answer lies after the last one; anything else ends the walk.
    for (long i = -1, next; (next = long(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(i), LVNI_SELECTED))) > i;
         i = next)
        selected.push_back(next);
    return selected;
}

void SelectOnly(HWND list, long index) {
    g_AppSettings.browser.programChange++;
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = 0;
    SendMessageW(list, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&item));
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, WPARAM(index), reinterpret_cast<LPARAM>(&item));
    SendMessageW(list, LVM_SETSELECTIONMARK, 0, LPARAM(index));
    SendMessageW(list, LVM_ENSUREVISIBLE, WPARAM(index), FALSE);
    g_AppSettings.browser.programChange--;
}
