#include "tools/properties_win.h"

#include <commctrl.h>

#include <string>

#include "imagelib/load.h"
#include "imagelib/textutil.h"
#include "platform/framework_win.h"
#include "platform/handheld.h"
#include "processing/exif_props.h"
#include "processing/iptc.h"
#include "resources/tools.rh"
#include "shell/filetexts_win.h"
#include "shell/language_win.h"
#include "tools/batch.h"
#include "tools/batchsheet_win.h"
#include "tools/output.h"
#include "tools/properties.h"

namespace {

constexpr COLORREF kOddRowShade = 0xC3C3C3;
constexpr uint32_t kInfoFlags = kLoadKeepComment | kLoadKeepMetadata;
constexpr int kPageCount = 3;
constexpr UINT_PTR kSheetSubclassId = 0x7003;

struct PropertiesContext {
    const wchar_t* const* paths;
    uint32_t count;
    uint32_t current;
    ImageInfo info;
    bool infoRead;
    HWND pages[kPageCount];
    HWND menuBar;  // Previous and Next
};

PropertiesContext* g_properties = nullptr;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

std::wstring FromCodePage(const char* text) {
    if (!text) return std::wstring();
    wchar_t wide[129] = L"";
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 128);
    return wide;
}

}  // namespace

bool ReadFacts(const wchar_t* path, ImageInfo* info) { return QueryPictureInfo(path, -1, kInfoFlags, info) == 0; }

namespace {

void AddRow(HWND list, const char* name, const char* text) {
    const std::wstring first = FromCodePage(name);
    const std::wstring second = FromCodePage(text);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<wchar_t*>(text ? first.c_str() : L"");
    const int row = int(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    item.iItem = row;
    item.iSubItem = 1;
    item.pszText = const_cast<wchar_t*>(second.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&item));
}

void ExifRow(void* context, uint32_t, uint16_t, const char* name, const char* text) {
    AddRow(static_cast<HWND>(context), name, text);
}

void IptcRow(void* context, int, const char* name, const char* text) {
    AddRow(static_cast<HWND>(context), name, text);
}

void FillInfos(HWND page, const PropertiesContext& c) {
    const wchar_t* path = c.paths[c.current];
    const size_t nameStart = FileNameOffset(path);
    SetDlgItemTextW(page, IDC_PP_FOLDER, std::wstring(path, nameStart).c_str());
    SetDlgItemTextW(page, IDC_PP_FILENAME, path + nameStart);
    for (int id : {IDC_PP_FOLDER, IDC_PP_FILENAME}) SendDlgItemMessageW(page, id, EM_SETSEL, 0, -1);
    // The size and date as the browser's list shows them.
    std::wstring size;
    if (c.infoRead) {
        wchar_t number[32] = L"";
        wchar_t unit[32] = L"";
        FormatFileSize(c.info.fileSize, number, 32, unit, 32);
        size = std::wstring(number) + L" " + unit;
    }
    SetDlgItemTextW(page, IDC_PP_SIZE, size.c_str());
    WIN32_FILE_ATTRIBUTE_DATA data{};
    SetDlgItemTextW(page, IDC_PP_DATE, L"");
    if (GetFileAttributesExW(path, GetFileExInfoStandard, &data)) {
        FILETIME local{};
        SYSTEMTIME time{};
        FileTimeToLocalFileTime(&data.ftCreationTime, &local);
        FileTimeToSystemTime(&local, &time);
        wchar_t text[64] = L"";
        FormatFileDate(time, text, 64);
        SetDlgItemTextW(page, IDC_PP_DATE, text);
    }
    const bool image = c.infoRead && c.info.formatIndex >= 0;
    for (int id : {1098, 1118, 1119, 1120, 1121, 1122, 1097, IDC_PP_TYPE, IDC_PP_DIMENSIONS, IDC_PP_COLOURS,
                   IDC_PP_DPI, IDC_PP_COMMENT})
        DlgItemShow(page, id, image);
    if (!image) return;
    const PictureFacts facts = DescribePicture(c.info);
    SetDlgItemTextW(page, IDC_PP_TYPE, facts.type.c_str());
    SetDlgItemTextW(page, IDC_PP_DIMENSIONS, facts.dimensions.c_str());
    SetDlgItemTextW(page, IDC_PP_COLOURS, facts.colours.c_str());
    SetDlgItemTextW(page, IDC_PP_DPI, facts.dpi.c_str());
    SetDlgItemTextW(page, IDC_PP_COMMENT, facts.comment.c_str());
}

void FillList(HWND page, int index, const PropertiesContext& c) {
    HWND list = GetDlgItem(page, IDC_PP_LIST);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    if (c.infoRead) {
        if (index == 1) ExifEnumProperties(c.info.metadata, ExifRow, list);
        else IptcEnumDatasets(c.info.metadata, IptcRow, list);
    }
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, 100);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 1, 150);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

void SetSteps(const PropertiesContext& c) { SetStepMenuBar(c.menuBar, c.count, c.current); }

void Refill(PropertiesContext* c) {
    for (int i = 0; i < kPageCount; ++i) {
        if (!c->pages[i]) continue;
        if (i == 0) FillInfos(c->pages[i], *c);
        else FillList(c->pages[i], i, *c);
    }
    SetSteps(*c);
}

void Step(PropertiesContext* c, int direction) {
    const uint32_t next = StepIndex(c->count, c->current, direction);
    if (next == c->current) return;
    c->current = next;
    FreePictureInfo(&c->info);
    c->info = ImageInfo{};
    c->infoRead = ReadFacts(c->paths[c->current], &c->info);
    if (!c->infoRead) c->info.formatIndex = -1;
    Refill(c);
}

INT_PTR CALLBACK PropertiesPage(HWND page, UINT message, WPARAM first, LPARAM second) {
    switch (message) {
    case WM_INITDIALOG: {
        const int index = int(reinterpret_cast<PROPSHEETPAGEW*>(second)->lParam);
        SetWindowLongPtrW(page, GWLP_USERDATA, index);
        PropertiesContext* c = g_properties;
        c->pages[index] = page;
        if (index == 0) {
            LngSelectSection("DlgProp1");
            const std::pair<int, const char*> keys[] = {
                {1118, "IDC_PP_TTYPE"},   {1119, "IDC_PP_TDIM"},    {1121, "IDC_PP_TDEPTH"},
                {1093, "IDC_PP_TFOLDER"}, {1095, "IDC_PP_TDATE"},   {1096, "IDC_PP_TSIZE"},
                {1094, "IDC_PP_TFILENAME"}, {1120, "IDC_PP_TDPI"},  {1122, "IDC_PP_TPIXELS"},
                {1097, "IDC_PP_TCOMMENT"}, {1099, "IDC_PP_FILE"},   {1098, "IDC_PP_IMAGE"}};
            for (const auto& key : keys) LngSetItemText(page, key.first, key.second);
            FillInfos(page, *c);
        } else {
            HWND list = GetDlgItem(page, IDC_PP_LIST);
            const std::pair<UINT, const char*> columns[] = {{IDS_TAG, "IDS_TAG"}, {IDS_VALUE, "IDS_VALUE"}};
            for (int i = 0; i < 2; ++i) {
                wchar_t title[64] = L"";
                LngGetString(Instance(), columns[i].first, columns[i].second, title, 64);
                LVCOLUMNW column{};
                column.mask = LVCF_TEXT | LVCF_WIDTH;
                column.cx = i == 0 ? 100 : 150;
                column.pszText = title;
                SendMessageW(list, LVM_INSERTCOLUMNW, WPARAM(i), reinterpret_cast<LPARAM>(&column));
            }
            FillList(page, index, *c);
        }
        SetSteps(*c);
        return TRUE;
    }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(second);
        if (header->code == UINT(PSN_KILLACTIVE)) {
            SetWindowLongPtrW(page, DWLP_MSGRESULT, FALSE);
            return TRUE;
        }
        if (header->code == UINT(NM_CUSTOMDRAW) && header->idFrom == IDC_PP_LIST) {
            auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(header));
            LONG_PTR result = CDRF_DODEFAULT;
            if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) {
                result = CDRF_NOTIFYITEMDRAW;
            } else if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT && (draw->nmcd.dwItemSpec & 1)) {
                draw->clrTextBk = kOddRowShade;
            }
            SetWindowLongPtrW(page, DWLP_MSGRESULT, result);
            return TRUE;
        }
        return FALSE;
    }
    default: return FALSE;
    }
}

LRESULT CALLBACK PropertiesSheetProc(HWND sheet, UINT message, WPARAM first, LPARAM second, UINT_PTR,
                                     DWORD_PTR data) {
    auto* c = reinterpret_cast<PropertiesContext*>(data);
    if (message == WM_COMMAND && LOWORD(first) == IDC_STEP_PREVIOUS) Step(c, -1);
    if (message == WM_COMMAND && LOWORD(first) == IDC_STEP_NEXT) Step(c, +1);
    if (message == WM_NCDESTROY) RemoveWindowSubclass(sheet, PropertiesSheetProc, kSheetSubclassId);
    return DefSubclassProc(sheet, message, first, second);
}

int CALLBACK PropertiesCallback(HWND sheet, UINT message, LPARAM) {
    if (message == kSheetVersionQuery) return kHandheldSheetVersion;
    if (message == PSCB_INITIALIZED && g_properties) {
        g_properties->menuBar = PrepareStepSheet(sheet, PropertiesSheetProc, kSheetSubclassId,
                                                 reinterpret_cast<DWORD_PTR>(g_properties));
        SetSteps(*g_properties);
    }
    return 0;
}

}  // namespace

int RunPropertiesSheet(HWND owner, const wchar_t* const* paths, uint32_t count, uint32_t start) {
    if (!paths || count == 0 || start >= count) return 0;
    PropertiesContext c{};
    c.paths = paths;
    c.count = count;
    c.current = start;
    if (!ReadFacts(paths[start], &c.info)) {
        FreePictureInfo(&c.info);
        return 0;
    }
    c.infoRead = true;
    const ToolSheetPage pages[] = {
        {IDD_PROPERTIES_INFO, PropertiesPage, 0, 0, nullptr, false, L"Infos"},
        {IDD_PROPERTIES_LIST, PropertiesPage, 1, 0, nullptr, false, L"EXIF"},
        {IDD_PROPERTIES_LIST, PropertiesPage, 2, 0, nullptr, false, L"IPTC"},
    };
    PropertiesContext* outer = g_properties;
    g_properties = &c;
    RunToolSheet(owner, pages, kPageCount, PropertiesCallback);
    g_properties = outer;
    FreePictureInfo(&c.info);
    return 0;
}
