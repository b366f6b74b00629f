#include "tools/iptceditor_win.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <iterator>
#include <string>

#include "display/display_win.h"
#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "platform/framework_win.h"
#include "platform/handheld.h"
#include "processing/iptc.h"
#include "processing/iptcjpeg.h"
#include "resources/tools.rh"
#include "shell/filelist.h"
#include "shell/language_win.h"
#include "shell/pictureload.h"
#include "tools/batch.h"
#include "tools/batchsheet_win.h"
#include "tools/iptctemplate_win.h"
#include "tools/properties_win.h"
#include "tools/tooldialogs_win.h"

namespace {

constexpr int kPages = 6;
constexpr int kUrgency = 10;
constexpr int kOriginatingProgram = 65;
constexpr char kProgramName[] = "Trelmo";
constexpr size_t kTextCapacity = 2048;
// The lists the pages show whole.
constexpr uint32_t kShownLists = 1u << kIptcKeywords | 1u << kIptcSupplementalCategories;

struct Field {
    int page;
    int control;
    int dataset;
};
// The pages' edits and the record-2 datasets they carry.
constexpr Field kFields[] = {
    {1, IDC_IP_CAPTION, 120}, {1, IDC_IP_WRITER, 122},     {1, IDC_IP_HEADLINE, 105}, {1, IDC_IP_INSTRUCTIONS, 40},
    {2, 1001, 80},            {2, 1002, 85},               {2, 1003, 110},            {2, 1004, 115},
    {2, 1005, 116},           {2, 1006, 7},                {4, IDC_IP_CATEGORY, 15},  {5, IDC_IP_OBJECTNAME, 5},
    {5, IDC_IP_CREATED, 55},  {5, IDC_IP_CITY, 90},        {5, 1003, 92},             {5, 1004, 95},
    {5, 1005, 101},           {5, 1006, 100},              {5, 1008, 103},
};

struct IptcEditor {
    const SelectedFile* files;
    uint32_t count;
    uint32_t current;
    const RewriteListener* rewrites;
    HWND pages[kPages];
    int made;
    bool modified;
    bool showing;  // set while the pages are filled from a record
    HBITMAP preview;  // the current file on page 0, or null
    HWND menuBar;     // Previous and Next
};

IptcEditor* g_editor = nullptr;

struct Label {
    int page;
    int control;
    const char* key;
};
// The pages' labels and buttons with their keys in the language file; each
// page reads its own section.
constexpr const char* kSections[kPages] = {"DlgIptc1", "DlgIptc3", "DlgIptc2", "DlgIptc4", "DlgIptc5", "DlgIptc6"};
constexpr Label kLabels[] = {
    {0, IDC_TFILENAME, "IDC_TFILENAME"},
    {0, IDC_TTYPE, "IDC_TTYPE"},
    {0, IDC_TDIM, "IDC_TDIM"},
    {0, IDC_TDEPTH, "IDC_TDEPTH"},
    {0, IDC_TPIXELS, "IDC_TPIXELS"},
    {0, IDC_TINFO, "IDC_TINFO"},
    {0, IDC_IP_LOADTEMPLATE, "IDC_LOAD"},
    {0, IDC_IP_SAVETEMPLATE, "IDC_SAVE"},
    {0, IDC_IP_CLEAR, "IDC_CLEAR"},
    {1, IDC_TCAPTION, "IDC_TCAPTION"},
    {1, IDC_TCAPTIONW, "IDC_TCAPTIONW"},
    {1, IDC_THEADLINE, "IDC_THEADLINE"},
    {1, IDC_TINSTR, "IDC_TINSTR"},
    {2, IDC_TBYLINE, "IDC_TBYLINE"},
    {2, IDC_TBYLINET, "IDC_TBYLINET"},
    {2, IDC_TCREDIT, "IDC_TCREDIT"},
    {2, IDC_TSOURCE, "IDC_TSOURCE"},
    {2, IDC_TCOPYRIGHT, "IDC_TCOPYRIGHT"},
    {2, IDC_TSTATUS, "IDC_TSTATUS"},
    {2, IDC_TPRIORITY, "IDC_TPRIORITY"},
    {3, IDC_IP_KEYADD, "IDC_KEYADD"},
    {3, IDC_IP_KEYDEL, "IDC_KEYDEL"},
    {4, IDC_TCAT, "IDC_TCAT"},
    {4, IDC_TSUPCAT, "IDC_TSUPCAT"},
    {4, IDC_IP_SUPCATADD, "IDC_SCATADD"},
    {4, IDC_IP_SUPCATDEL, "IDC_SCATDEL"},
    {5, IDC_TOBJECTN, "IDC_TOBJECTN"},
    {5, IDC_TCREATED, "IDC_TCREATED"},
    {5, IDC_IP_TODAY, "IDC_TODAY"},
    {5, IDC_TCITY, "IDC_TCITY"},
    {5, IDC_TSUBLOCATION, "IDC_TSUBLOCATION"},
    {5, IDC_TSTATE, "IDC_TSTATE"},
    {5, IDC_TCOUNTRY, "IDC_TCOUNTRY"},
    {5, IDC_TCCODE, "IDC_TCCODE"},
    {5, IDC_TORIGINALREF, "IDC_TORIGINALREF"},
};

void TranslatePage(HWND page, int index) {
    LngSelectSection(kSections[index]);
    for (const Label& label : kLabels)
        if (label.page == index) LngSetItemText(page, label.control, label.key);
}

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

// A record's texts are in the system code page, or in UTF-8 when it is
// marked so; the pages' texts go back in the same one.
UINT CodePageOf(const IptcRecord& record) { return record.utf8 ? CP_UTF8 : CP_ACP; }

std::string Narrow(const wchar_t* text, UINT codePage) {
    char buffer[kTextCapacity] = "";
    WideCharToMultiByte(codePage, 0, text, -1, buffer, int(sizeof buffer), nullptr, nullptr);
    return buffer;
}

std::wstring Wide(const char* text, size_t length, UINT codePage) {
    std::wstring wide(length + 1, L'\0');
    const int n = length ? MultiByteToWideChar(codePage, 0, text, int(length), &wide[0], int(wide.size())) : 0;
    wide.resize(size_t(n > 0 ? n : 0));
    return wide;
}

void ReadList(HWND page, int list, IptcRecord* record, int which) {
    const LRESULT count = SendDlgItemMessageW(page, list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t item[256] = L"";
        if (SendDlgItemMessageW(page, list, LB_GETTEXTLEN, WPARAM(i), 0) >= 256) continue;
        SendDlgItemMessageW(page, list, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(item));
        IptcAddListItem(record, which, Narrow(item, CodePageOf(*record)).c_str());
    }
}

// The record the pages hold, in the code page `record` is marked for. Texts
// go in without a trailing zero byte.
void RecordFromPages(const IptcEditor& e, IptcRecord* record) {
    for (const Field& f : kFields) {
        if (!e.pages[f.page]) continue;
        wchar_t text[kTextCapacity] = L"";
        GetDlgItemTextW(e.pages[f.page], f.control, text, int(kTextCapacity));
        const std::string narrow = Narrow(text, CodePageOf(*record));
        if (!narrow.empty()) IptcSetText(record, f.dataset, narrow.data(), narrow.size());
    }
    if (e.pages[2]) {
        const LRESULT urgency = SendDlgItemMessageW(e.pages[2], IDC_IP_PRIORITY, CB_GETCURSEL, 0, 0);
        if (urgency > 0 && urgency <= 8) {
            const char digit = char('0' + urgency);
            IptcSetText(record, kUrgency, &digit, 1);
        }
    }
    if (e.pages[3]) ReadList(e.pages[3], IDC_IP_KEYLIST, record, kIptcKeywords);
    if (e.pages[4]) ReadList(e.pages[4], IDC_IP_SUPCATLIST, record, kIptcSupplementalCategories);
}

void ShowList(HWND page, int list, const IptcList& items, UINT codePage) {
    SendDlgItemMessageW(page, list, LB_RESETCONTENT, 0, 0);
    for (uint32_t i = 0; i < items.count; ++i) {
        const std::wstring item = Wide(items.items[i], std::strlen(items.items[i]), codePage);
        SendDlgItemMessageW(page, list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
}

void ShowRecord(IptcEditor* e, const IptcRecord& record) {
    e->showing = true;
    const UINT codePage = CodePageOf(record);
    for (const Field& f : kFields) {
        if (!e->pages[f.page]) continue;
        const IptcText& slot = record.slots[f.dataset];
        SetDlgItemTextW(e->pages[f.page], f.control,
                        slot.text ? Wide(slot.text, slot.length, codePage).c_str() : L"");
    }
    if (e->pages[2]) {
        const IptcText& urgency = record.slots[kUrgency];
        const int index = urgency.text ? std::atoi(urgency.text) : -1;
        SendDlgItemMessageW(e->pages[2], IDC_IP_PRIORITY, CB_SETCURSEL, WPARAM(index >= 0 && index <= 8 ? index : -1),
                            0);
    }
    if (e->pages[3]) ShowList(e->pages[3], IDC_IP_KEYLIST, record.lists[kIptcKeywords], codePage);
    if (e->pages[4])
        ShowList(e->pages[4], IDC_IP_SUPCATLIST, record.lists[kIptcSupplementalCategories], codePage);
    e->showing = false;
}

// The preview of the file on page 0 with its size and colours ("16M" from
// two bytes a pixel on); all empty when the file does not load.
void ShowPreview(IptcEditor* e, HWND file, const wchar_t* path) {
    if (e->preview) DeleteObject(e->preview);
    e->preview = nullptr;
    HWND item = GetDlgItem(file, IDC_IP_PREVIEW);
    RECT client{};
    GetClientRect(item, &client);
    Bitmap picture{};
    ImageInfo info{};
    std::wstring dimensions, colours;
    if (client.right > 0 && client.bottom > 0 &&
        LoadPictureThumbnail(path, &picture, &info, client.right, client.bottom, 0, 1, 1, 0,
                             MetadataExifOrientation()) == 0) {
        e->preview = MakeScreenBitmap(item, &picture, picture.width, picture.height, nullptr);
        // The file's own size, not the preview's.
        dimensions = std::to_wstring(info.width) + L" x " + std::to_wstring(info.height);
        colours = picture.bytesPerPixel < 2 ? std::to_wstring(1u << std::min<uint32_t>(picture.bitsPerSample, 16))
                                            : std::wstring(L"16M");
    }
    FreePictureInfo(&info);
    FreeBitmap(&picture);
    SetDlgItemTextW(file, IDC_IP_DIMENSIONS, dimensions.c_str());
    SetDlgItemTextW(file, IDC_IP_COLOURS, colours.c_str());
    InvalidateRect(item, nullptr, TRUE);
}

// Clear: every text, the urgency and both lists emptied.
void ClearPages(IptcEditor* e) {
    for (const Field& f : kFields)
        if (e->pages[f.page]) SetDlgItemTextW(e->pages[f.page], f.control, L"");
    if (e->pages[2]) SendDlgItemMessageW(e->pages[2], IDC_IP_PRIORITY, CB_SETCURSEL, WPARAM(-1), 0);
    if (e->pages[3]) SendDlgItemMessageW(e->pages[3], IDC_IP_KEYLIST, LB_RESETCONTENT, 0, 0);
    if (e->pages[4]) SendDlgItemMessageW(e->pages[4], IDC_IP_SUPCATLIST, LB_RESETCONTENT, 0, 0);
    e->modified = true;
}

void ShowFile(IptcEditor* e) {
    const wchar_t* path = e->files[e->current].path;
    HWND file = e->pages[0];
    ImageInfo info{};
    IptcRecord record{};
    if (ReadFacts(path, &info)) IptcRead(info.metadata, &record);
    if (file) {
        SetDlgItemTextW(file, IDC_IP_PATH, path);
        ShowPreview(e, file, path);
        std::wstring type;
        if (const char* name = GetFormatShortName(info.formatIndex))
            for (const char* p = name; *p; ++p) type += wchar_t(std::towupper(wchar_t(static_cast<unsigned char>(*p))));
        SetDlgItemTextW(file, IDC_IP_TYPE, type.c_str());
    }
    SetStepMenuBar(e->menuBar, e->count, e->current);
    FreePictureInfo(&info);
    ShowRecord(e, record);
    IptcFree(&record);
    e->modified = false;
}

// The record to write: the file's own, with what the pages show written
// over it, so that the datasets, lists and repeated values the editor does
// not show (contacts, content locations, the record version, ...) stay. A
// file without an Originating Program gets the program's name. False when
// the file's record cannot be read.
bool RecordToWrite(const IptcEditor& e, IptcRecord* record) {
    ImageInfo info{};
    const bool read = ReadFacts(e.files[e.current].path, &info);
    if (read) IptcRead(info.metadata, record);
    FreePictureInfo(&info);
    if (!read) return false;
    IptcRecord pages{};
    pages.utf8 = record->utf8;
    RecordFromPages(e, &pages);
    uint8_t shown[std::size(kFields) + 1];
    size_t count = 0;
    for (const Field& f : kFields) shown[count++] = uint8_t(f.dataset);
    shown[count++] = kUrgency;
    IptcTakeDatasets(record, &pages, shown, count, kShownLists);
    IptcFree(&pages);
    if (!record->slots[kOriginatingProgram].text)
        IptcSetText(record, kOriginatingProgram, kProgramName, sizeof kProgramName - 1);
    return true;
}

// A changed file is offered for writing; a write that fails is told, and
// the file stays as it was.
void OfferToWrite(IptcEditor* e, HWND owner) {
    if (!e->modified) return;
    e->modified = false;
    IptcRecord record{};
    const bool built = RecordToWrite(*e, &record);
    wchar_t question[256] = L"";
    LngGetString(Instance(), IDS_IPTCQUESTION, "IDS_IPTCQUESTION", question, 256);
    if (HandheldMessageBox(owner, question, L"", MB_OKCANCEL | MB_ICONQUESTION) == IDOK) {
        const wchar_t* path = e->files[e->current].path;
        if (!built || IptcWriteJpegFile(path, &record) != kIptcWriteDone) ShowSaveProblem(owner);
        else TellRewritten(e->rewrites, path);
    }
    IptcFree(&record);
}

void Step(IptcEditor* e, HWND owner, int direction) {
    const uint32_t next = StepIndex(e->count, e->current, direction);
    if (next == e->current) return;
    OfferToWrite(e, owner);
    e->current = next;
    ShowFile(e);
}

void AddToList(HWND page, int edit, int list) {
    wchar_t text[128] = L"";
    GetDlgItemTextW(page, edit, text, 128);
    if (text[0] && SendDlgItemMessageW(page, list, LB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(text)) ==
                       LB_ERR)
        SendDlgItemMessageW(page, list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    SetFocus(GetDlgItem(page, edit));
    SendDlgItemMessageW(page, edit, EM_SETSEL, 0, -1);
}

void RemoveFromList(HWND page, int list) {
    const LRESULT selected = SendDlgItemMessageW(page, list, LB_GETCURSEL, 0, 0);
    if (selected >= 0) SendDlgItemMessageW(page, list, LB_DELETESTRING, WPARAM(selected), 0);
}

void Command(IptcEditor* e, HWND page, UINT id, UINT code) {
    switch (id) {
    case IDC_IP_KEYADD: AddToList(page, IDC_IP_KEYWORD, IDC_IP_KEYLIST); e->modified = true; return;
    case IDC_IP_KEYDEL: RemoveFromList(page, IDC_IP_KEYLIST); e->modified = true; return;
    case IDC_IP_SUPCATADD: AddToList(page, IDC_IP_SUPCAT, IDC_IP_SUPCATLIST); e->modified = true; return;
    case IDC_IP_SUPCATDEL: RemoveFromList(page, IDC_IP_SUPCATLIST); e->modified = true; return;
    case IDC_IP_KEYLIST:
        if (code == LBN_SELCHANGE) DlgItemEnable(page, IDC_IP_KEYDEL, TRUE);
        return;
    case IDC_IP_SUPCATLIST:
        if (code == LBN_SELCHANGE) DlgItemEnable(page, IDC_IP_SUPCATDEL, TRUE);
        return;
    case IDC_IP_TODAY: {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        wchar_t text[16];
        std::swprintf(text, 16, L"%04d%02d%02d", now.wYear, now.wMonth, now.wDay);
        SetDlgItemTextW(page, IDC_IP_CREATED, text);
        return;
    }
    case IDC_IP_SAVETEMPLATE: {
        IptcRecord record{};
        RecordFromPages(*e, &record);
        RunIptcTemplateList(page, &record, kIptcTemplateSave);
        IptcFree(&record);
        return;
    }
    case IDC_IP_LOADTEMPLATE: {
        IptcRecord record{};
        if (RunIptcTemplateList(page, &record, kIptcTemplateLoad)) {
            ShowRecord(e, record);
            e->modified = true;
        }
        IptcFree(&record);
        return;
    }
    case IDC_IP_CLEAR: ClearPages(e); return;
    case IDC_IP_PRIORITY:
        if (code == CBN_SELCHANGE && !e->showing) e->modified = true;
        return;
    default:
        if (code == EN_UPDATE && !e->showing) e->modified = true;
        return;
    }
}

INT_PTR CALLBACK EditorPage(HWND page, UINT message, WPARAM first, LPARAM second) {
    IptcEditor* e = g_editor;
    switch (message) {
    case WM_INITDIALOG: {
        const int index = int(reinterpret_cast<PROPSHEETPAGEW*>(second)->lParam);
        e->pages[index] = page;
        TranslatePage(page, index);
        if (index == 2) {
            // Position = urgency digit.
            static const LevelName kNamedUrgencies[] = {{0, IDS_IPTC_0, "IDS_IPTC_0"},
                                                        {1, IDS_IPTC_1, "IDS_IPTC_1"},
                                                        {5, IDS_IPTC_5, "IDS_IPTC_5"},
                                                        {8, IDS_IPTC_8, "IDS_IPTC_8"}};
            FillLevelList(page, IDC_IP_PRIORITY, 0, 8, kNamedUrgencies, std::size(kNamedUrgencies));
        }
        // Once every page exists, the first file is shown on all of them.
        if (++e->made == kPages) ShowFile(e);
        return TRUE;
    }
    case WM_COMMAND:
        if (e) Command(e, page, LOWORD(first), HIWORD(first));
        return TRUE;
    case WM_DRAWITEM:
        if (!e || first != IDC_IP_PREVIEW) return FALSE;
        DrawPreviewItem(reinterpret_cast<const DRAWITEMSTRUCT*>(second), e->preview);
        SetWindowLongPtrW(page, DWLP_MSGRESULT, TRUE);
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

LRESULT CALLBACK EditorSheetProc(HWND sheet, UINT message, WPARAM first, LPARAM second, UINT_PTR, DWORD_PTR data) {
    auto* e = reinterpret_cast<IptcEditor*>(data);
    if (message == WM_COMMAND && LOWORD(first) == IDOK) OfferToWrite(e, sheet);
    if (message == WM_COMMAND && LOWORD(first) == IDC_STEP_PREVIOUS) Step(e, sheet, -1);
    if (message == WM_COMMAND && LOWORD(first) == IDC_STEP_NEXT) Step(e, sheet, +1);
    if (message == WM_NCDESTROY) RemoveWindowSubclass(sheet, EditorSheetProc, 0x7002);
    return DefSubclassProc(sheet, message, first, second);
}

int CALLBACK EditorCallback(HWND sheet, UINT message, LPARAM) {
    if (message == kSheetVersionQuery) return kHandheldSheetVersion;
    if (message == PSCB_INITIALIZED && g_editor) {
        g_editor->menuBar = PrepareStepSheet(sheet, EditorSheetProc, 0x7002, reinterpret_cast<DWORD_PTR>(g_editor));
        SetStepMenuBar(g_editor->menuBar, g_editor->count, g_editor->current);
        // Every page is made now, so that all of them show the file and any
        // edit on any page is written.
        for (int i = kPages - 1; i >= 0; --i) PostMessageW(sheet, PSM_SETCURSEL, WPARAM(i), 0);
    }
    return 0;
}

}  // namespace

int RunIptcEditor(HWND parent, const SelectedFile* files, uint32_t count, const RewriteListener* rewrites) {
    if (!files || count == 0) return 0;
    IptcEditor editor{};
    editor.files = files;
    editor.count = count;
    editor.rewrites = rewrites;
    const ToolSheetPage pages[kPages] = {
        {IDD_IPTC_FILE, EditorPage, 0, IDS_IPTC_FILE, "IDS_FILE", true},
        {IDD_IPTC_CAPTION, EditorPage, 1, IDS_CAPTION, "IDS_CAPTION", true},
        {IDD_IPTC_CREDIT, EditorPage, 2, IDS_CREDIT, "IDS_CREDIT", true},
        {IDD_IPTC_KEYWORD, EditorPage, 3, IDS_KEYWORD, "IDS_KEYWORD", true},
        {IDD_IPTC_CATEGORY, EditorPage, 4, IDS_CATEGORY, "IDS_CATEGORY", true},
        {IDD_IPTC_ORIGIN, EditorPage, 5, IDS_ORIGIN, "IDS_ORIGIN", true},
    };
    IptcEditor* outer = g_editor;
    g_editor = &editor;
    const INT_PTR result = RunToolSheet(parent, pages, kPages, EditorCallback);
    g_editor = outer;
    if (editor.preview) DeleteObject(editor.preview);
    return int(result);
}
