// The options sheet. A page stores its controls into the settings when it is
// left for another page and when the sheet is closed with OK (so Cancel
// keeps what earlier pages stored); numbers typed into a spinner's box are
// held to the spinner's range. The colours, the home folder, the sound file,
// the button assignments and the associations take effect as soon as they
// are chosen.
#include "app/options_win.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cwchar>
#include <string>
#include <utility>

#include "display/view_win.h"
#include "imagelib/formats.h"
#include "platform/framework_win.h"
#include "platform/handheld.h"
#include "resources/options.rh"
#include "app/associations_win.h"
#include "app/browser_win.h"
#include "app/commands_win.h"
#include "shell/language_win.h"
#include "shell/sounddialog_win.h"
#include "app/startscreen_win.h"
#include "app/viewer_win.h"

namespace {

constexpr int kPageCount = 6;
constexpr int kFontMin = 8, kFontMax = 20;
constexpr int kDelayMin = 1, kDelayMax = 60;

struct CheckBinding {
    int page;
    int id;
    int32_t AppSettings::*field;
};

const CheckBinding kChecks[] = {
    {0, IDC_OPT_SPLASH, &AppSettings::useSplashScreen},   {0, IDC_OPT_ONECLICK, &AppSettings::oneClick},
    {0, IDC_OPT_OPENINFULL, &AppSettings::openInFull},    {1, IDC_OPT_HIGHQUALITY, &AppSettings::highQualityThumb},
    {1, IDC_OPT_USECACHE, &AppSettings::useCache},        {1, IDC_OPT_SHOWLABEL, &AppSettings::showLabel},
    {1, IDC_OPT_SHOWEXT, &AppSettings::showExt},          {1, IDC_OPT_ADDBOTTOM, &AppSettings::addToBottom},
    {2, IDC_OPT_VIEWMOVE, &AppSettings::viewMove},        {2, IDC_OPT_USESCROLL, &AppSettings::useScrollbar},
    {2, IDC_OPT_ROTATELEFT, &AppSettings::rotateLeft},    {2, IDC_OPT_LABELINFULL, &AppSettings::labelInFull},
    {2, IDC_OPT_ANIMATEDGIF, &AppSettings::playAnimatedGif}, {3, IDC_OPT_USEDELAY, &AppSettings::slideUseDelay},
    {3, IDC_OPT_TRANSITION, &AppSettings::slideUseTransition}, {3, IDC_OPT_LANDSCAPE, &AppSettings::slideLandscape},
    {3, IDC_OPT_USESOUND, &AppSettings::useSoundFilename}, {3, IDC_OPT_LOOP, &AppSettings::slideLoop},
};

struct SpinBinding {
    int page;
    int edit;
    int spin;
    int low, high;
    int32_t AppSettings::*field;
};

const SpinBinding kSpins[] = {
    {1, IDC_OPT_FONTTREE, IDC_OPT_FONTTREE_SPIN, kFontMin, kFontMax, &AppSettings::fontTree},
    {1, IDC_OPT_FONTTHUMB, IDC_OPT_FONTTHUMB_SPIN, kFontMin, kFontMax, &AppSettings::fontThumb},
    {3, IDC_OPT_DELAY, IDC_OPT_DELAY_SPIN, kDelayMin, kDelayMax, &AppSettings::slideDelay},
};

struct TextId {
    UINT id;
    const char* key;
};
const TextId kViewModes[] = {{IDS_THUMBNAIL, "IDS_THUMBNAIL"}, {IDS_LIST, "IDS_LIST"}, {IDS_DETAIL, "IDS_DETAIL"},
                             {IDS_STRIP, "IDS_STRIP"},         {IDS_LASTMODE, "IDS_LASTMODE"}};
// The thumbnail sizes in the order of ThumbSize.
const TextId kThumbSizes[] = {{IDS_THUMB_TINY, "IDS_THUMB_TINY"},
                              {IDS_THUMB_SMALL, "IDS_THUMB_SMALL"},
                              {IDS_THUMB_NORMAL, "IDS_THUMB_NORMAL"},
                              {IDS_THUMB_LARGE, "IDS_THUMB_LARGE"},
                              {IDS_THUMB_HUGE, "IDS_THUMB_HUGE"}};
// The actions in the order of their codes, and the buttons in list order.
const TextId kActions[] = {{IDS_NONE, "IDS_NONE"},           {IDS_NEXTIMAGE, "IDS_NEXTIMAGE"},
                           {IDS_PREVIMAGE, "IDS_PREVIMAGE"}, {IDS_FULLSCREEN, "IDS_FULLSCREEN"},
                           {IDS_SLIDESHOW, "IDS_SLIDESHOW"}, {IDS_ZOOMIN, "IDS_ZOOMIN"},
                           {IDS_ZOOMOUT, "IDS_ZOOMOUT"}};
const TextId kButtonNames[] = {{IDS_KEYUP, "IDS_KEYUP"},       {IDS_KEYDOWN, "IDS_KEYDOWN"},
                               {IDS_KEYLEFT, "IDS_KEYLEFT"},   {IDS_KEYRIGHT, "IDS_KEYRIGHT"},
                               {IDS_KEYRETURN, "IDS_KEYRETURN"}};
int32_t AppSettings::*const kButtonFields[] = {&AppSettings::keyUp, &AppSettings::keyDown, &AppSettings::keyLeft,
                                               &AppSettings::keyRight, &AppSettings::keyReturn};
// What "Restore" gives the buttons, in list order: the settings' defaults.
constexpr int32_t kFactoryButtonActions[5] = {1, 2, 2, 1, 3};

// The language file's section of each page and the items it translates.
const char* const kPageSections[kPageCount] = {"DlgOption1", "DlgOption2", "DlgOption3",
                                               "DlgOption4", "DlgOption5", "DlgOption6"};
struct TranslatedItem {
    int page;
    int id;
    const char* key;
};
const TranslatedItem kTranslatedItems[] = {
    {0, 1103, "IDC_THOMEFOLDER"}, {0, 1104, "IDC_TVIEWMODE"}, {0, 1106, "IDC_TLANGUAGE"},
    {0, IDC_OPT_SPLASH, "IDC_STARTSPLASH"}, {0, IDC_OPT_OPENINFULL, "IDC_OPENINFULLSCREEN"},
    {0, IDC_OPT_ONECLICK, "IDC_ONECLICK"},
    {1, IDC_OPT_HIGHQUALITY, "IDC_HIGHQUALITY"}, {1, 1105, "IDC_TTHUMBSIZE"}, {1, IDC_OPT_SHOWLABEL, "IDC_SHOWNAME"},
    {1, 1134, "IDC_FONTSIZE"}, {1, 1107, "IDC_TFONT1"}, {1, 1108, "IDC_TFONT2"},
    {1, IDC_OPT_SHOWEXT, "IDC_SHOWEXT"}, {1, IDC_OPT_ADDBOTTOM, "IDC_ADDBOTTOM"}, {1, IDC_OPT_USECACHE, "IDC_USECACHE"},
    {2, IDC_OPT_VIEWMOVE, "IDC_VIEWMOVE"}, {2, IDC_OPT_USESCROLL, "IDC_USESCROLL"},
    {2, IDC_OPT_ROTATELEFT, "IDC_ROTATELEFT"}, {2, 1209, "IDC_TVIEWBACK"},
    {2, IDC_OPT_LABELINFULL, "IDC_SHOWFILENAME"}, {2, IDC_OPT_ANIMATEDGIF, "IDC_ANIMATEDGIF"},
    {3, IDC_OPT_USEDELAY, "IDC_TDELAY"}, {3, 1107, "IDC_TSECONDS"}, {3, 1108, "IDC_TSLIDEBACK"},
    {3, IDC_OPT_TRANSITION, "IDC_USETRANSITION"}, {3, IDC_OPT_LANDSCAPE, "IDC_LANDSCAPE"},
    {3, IDC_OPT_USESOUND, "IDC_USESOUNDFILE"}, {3, IDC_OPT_LOOP, "IDC_USELOOP"},
    {4, 1126, "IDC_TEXT"}, {4, 1159, "IDC_TACTION"}, {4, IDC_OPT_RESTORE, "IDC_RESTORE"},
    {5, 1126, "IDC_TEXT"},
};

struct OptionsState {
    HWND pages[kPageCount] = {};
    bool filling = false;  // the associations list is being filled: no registry change
};

struct PageRecord {
    OptionsState* state;
    int index;
};

int Clamped(HWND page, const SpinBinding& spin) {
    wchar_t text[16] = L"";
    GetDlgItemTextW(page, spin.edit, text, 16);
    const long value = std::wcstol(text, nullptr, 10);
    return int(value < spin.low ? spin.low : value > spin.high ? spin.high : value);
}

void FillButtons(HWND page) {
    const HWND list = GetDlgItem(page, IDC_OPT_BUTTONLIST);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    for (int i = 0; i < 5; ++i) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        std::wstring name = LoadText(kButtonNames[i].id, kButtonNames[i].key);
        item.pszText = &name[0];
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        const int32_t key = g_AppSettings.*kButtonFields[i];
        const int32_t action = key >= 0 && key < 7 ? key : 0;
        std::wstring assignment = LoadText(kActions[action].id, kActions[action].key);
        LVITEMW sub = {};
        sub.iSubItem = 1;
        sub.pszText = &assignment[0];
        SendMessageW(list, LVM_SETITEMTEXTW, WPARAM(i), reinterpret_cast<LPARAM>(&sub));
    }
}

void FillAssociations(HWND page, OptionsState* state) {
    const HWND list = GetDlgItem(page, IDC_OPT_ASSOCLIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
                 LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    // Our own boxes, at the screen's density, in place of the list's.
    if (HIMAGELIST boxes = MakeCheckBoxImages(MulDiv(16, g_DpiY, 96))) {
        if (auto old = reinterpret_cast<HIMAGELIST>(
                SendMessageW(list, LVM_SETIMAGELIST, LVSIL_STATE, reinterpret_cast<LPARAM>(boxes))))
            ImageList_Destroy(old);
    }
    LVCOLUMNW column = {};
    column.mask = LVCF_WIDTH;
    column.cx = 50;
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    column.cx = 164;
    SendMessageW(list, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
    state->filling = true;
    for (int i = 0; i < GetFormatCount(); ++i) {
        FormatDescription d = {};
        if (DescribeFormat(i, &d, 0) != 0 || !d.extensions[0][0]) continue;
        wchar_t extension[16] = L"", description[80] = L"";
        MultiByteToWideChar(CP_ACP, 0, d.extensions[0], -1, extension, 16);
        MultiByteToWideChar(CP_ACP, 0, d.description, -1, description, 80);
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        item.pszText = extension;
        const int row = int(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        LVITEMW sub = {};
        sub.iSubItem = 1;
        sub.pszText = description;
        SendMessageW(list, LVM_SETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&sub));
        ListView_SetCheckState(list, row, IsAssociated(extension) ? TRUE : FALSE);
    }
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 1, LVSCW_AUTOSIZE);
    state->filling = false;
}

void InitPage(HWND page, PageRecord* record) {
    SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(record));
    OptionsState* state = record->state;
    state->pages[record->index] = page;
    const int index = record->index;
    LngSelectSection(kPageSections[index]);
    for (const TranslatedItem& item : kTranslatedItems) {
        if (item.page == index) LngSetItemText(page, item.id, item.key);
    }
    for (const CheckBinding& c : kChecks) {
        if (c.page == index) CheckDlgButton(page, c.id, g_AppSettings.*c.field ? BST_CHECKED : BST_UNCHECKED);
    }
    for (const SpinBinding& s : kSpins) {
        if (s.page != index) continue;
        SendDlgItemMessageW(page, s.spin, UDM_SETRANGE32, WPARAM(s.low), LPARAM(s.high));
        const int32_t value = g_AppSettings.*s.field;
        SetDlgItemInt(page, s.edit, UINT(value < s.low ? s.low : value > s.high ? s.high : value), FALSE);
    }
    switch (index) {
    case 0:
        SetDlgItemTextW(page, IDC_OPT_HOME, g_AppSettings.home);
        for (const auto& mode : kViewModes) DlgComboAddString(page, IDC_OPT_VIEWMODE, mode.id, mode.key);
        SendDlgItemMessageW(page, IDC_OPT_VIEWMODE, CB_SETCURSEL, WPARAM(g_AppSettings.userViewMode), 0);
        LngListLanguages(GetDlgItem(page, IDC_OPT_LANGUAGE));
        break;
    case 1:
        for (const auto& size : kThumbSizes) DlgComboAddString(page, IDC_OPT_THUMBSIZE, size.id, size.key);
        SendDlgItemMessageW(page, IDC_OPT_THUMBSIZE, CB_SETCURSEL, WPARAM(g_AppSettings.thumbSize), 0);
        // The font boxes show the heights the tree and the list have now, so
        // that OK alone leaves their fonts as they are.
        for (const auto& [edit, window] : {std::pair<int, HWND>{IDC_OPT_FONTTREE, g_AppSettings.treeWindow},
                                           {IDC_OPT_FONTTHUMB, g_AppSettings.listWindow}}) {
            const int height = window ? GetWindowFontHeight(window) : 0;
            if (height >= kFontMin && height <= kFontMax) SetDlgItemInt(page, edit, UINT(height), FALSE);
        }
        break;
    case 3: SetDlgItemTextW(page, IDC_OPT_SOUNDFILE, g_AppSettings.soundFilename); break;
    case 4: {
        const HWND list = GetDlgItem(page, IDC_OPT_BUTTONLIST);
        SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH | LVCF_TEXT;
        column.cx = 60;
        std::wstring heading = LoadText(IDS_BUTTON, "IDS_BUTTON");
        column.pszText = &heading[0];
        SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
        column.cx = 164;
        heading = LoadText(IDS_ASSIGNMENT, "IDS_ASSIGNMENT");
        column.pszText = &heading[0];
        SendMessageW(list, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
        for (const TextId& action : kActions) DlgComboAddString(page, IDC_OPT_ACTION, action.id, action.key);
        FillButtons(page);
        break;
    }
    case 5: FillAssociations(page, state); break;
    default: break;
    }
}

void Apply(HWND page, const PageRecord* record) {
    const int index = record->index;
    for (const CheckBinding& c : kChecks) {
        if (c.page == index) g_AppSettings.*c.field = IsDlgButtonChecked(page, c.id) == BST_CHECKED ? 1 : 0;
    }
    for (const SpinBinding& s : kSpins) {
        if (s.page == index) g_AppSettings.*s.field = Clamped(page, s);
    }
    switch (index) {
    case 0: {
        const LRESULT mode = SendDlgItemMessageW(page, IDC_OPT_VIEWMODE, CB_GETCURSEL, 0, 0);
        if (mode >= 0 && mode < 5) g_AppSettings.userViewMode = int32_t(mode);
        wchar_t language[64] = L"";
        const LRESULT chosen = SendDlgItemMessageW(page, IDC_OPT_LANGUAGE, CB_GETCURSEL, 0, 0);
        if (chosen >= 0 && SendDlgItemMessageW(page, IDC_OPT_LANGUAGE, CB_GETLBTEXTLEN, WPARAM(chosen), 0) < 64) {
            SendDlgItemMessageW(page, IDC_OPT_LANGUAGE, CB_GETLBTEXT, WPARAM(chosen), reinterpret_cast<LPARAM>(language));
            language[2] = 0;  // "en - English": the code
            // The open language file stays until the program starts again.
            if (language[0] && LngSetLanguage(language))
                HandheldMessageBox(page, LoadText(IDS_REBOOT, "IDS_REBOOT").c_str(), L"", MB_OK | MB_ICONEXCLAMATION);
        }
        break;
    }
    case 1: {
        const LRESULT size = SendDlgItemMessageW(page, IDC_OPT_THUMBSIZE, CB_GETCURSEL, 0, 0);
        if (size >= 0 && size < 5) g_AppSettings.thumbSize = int32_t(size);
        break;
    }
    case 3: GetDlgItemTextW(page, IDC_OPT_SOUNDFILE, g_AppSettings.soundFilename, kSettingTextCapacity); break;
    default: break;
    }
}

// "..." beside the audio file: an open-file dialog in the folder of the
// current sound; a chosen file becomes the sound and turns it on.
void PickSoundFile(HWND page) {
    wchar_t current[kSettingTextCapacity] = L"";
    GetDlgItemTextW(page, IDC_OPT_SOUNDFILE, current, kSettingTextCapacity);
    wchar_t file[kSettingTextCapacity];
    if (!ChooseSoundFile(page, current, file, kSettingTextCapacity)) return;
    wcsncpy(g_AppSettings.soundFilename, file, kSettingTextCapacity - 1);
    g_AppSettings.useSoundFilename = 1;
    SetDlgItemTextW(page, IDC_OPT_SOUNDFILE, file);
    CheckDlgButton(page, IDC_OPT_USESOUND, BST_CHECKED);
}

// The chooser starts from the current colour with its custom colours black
// each time. It opens folded: opened whole it is nearly twice as wide as the
// handheld's screen.
void PickColour(HWND page, COLORREF* colour) {
    COLORREF custom[16] = {};
    CHOOSECOLORW choose = {};
    choose.lStructSize = sizeof choose;
    choose.hwndOwner = page;
    choose.rgbResult = *colour;
    choose.lpCustColors = custom;
    choose.Flags = CC_RGBINIT;
    if (ChooseColorW(&choose)) *colour = choose.rgbResult;
    InvalidateRect(page, nullptr, TRUE);
}

INT_PTR CALLBACK OptionsPageProc(HWND page, UINT message, WPARAM first, LPARAM second) {
    if (message == WM_INITDIALOG) {
        InitPage(page, reinterpret_cast<PageRecord*>(reinterpret_cast<const PROPSHEETPAGEW*>(second)->lParam));
        return TRUE;
    }
    auto* record = reinterpret_cast<PageRecord*>(GetWindowLongPtrW(page, DWLP_USER));
    if (!record) return FALSE;
    OptionsState* state = record->state;
    switch (message) {
    case WM_DRAWITEM: {
        const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(second);
        const COLORREF colour = draw->CtlID == IDC_OPT_VIEWBACK && record->index == 2 ? g_AppSettings.viewBackColor
                                                                                     : g_AppSettings.slideBackColor;
        const HBRUSH brush = CreateSolidBrush(colour);
        FillRect(draw->hDC, &draw->rcItem, brush);
        DeleteObject(brush);
        FrameRect(draw->hDC, &draw->rcItem, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        return TRUE;
    }
    case WM_COMMAND:
        if (record->index == 4 && LOWORD(first) == IDC_OPT_ACTION && HIWORD(first) == CBN_SELCHANGE) {
            // The chosen action goes to the selected button.
            const HWND list = GetDlgItem(page, IDC_OPT_BUTTONLIST);
            const int row = int(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
            const LRESULT action = SendDlgItemMessageW(page, IDC_OPT_ACTION, CB_GETCURSEL, 0, 0);
            if (row >= 0 && row < 5 && action >= 0 && action < 7) {
                g_AppSettings.*kButtonFields[row] = int32_t(action);
                std::wstring assignment = LoadText(kActions[action].id, kActions[action].key);
                LVITEMW sub = {};
                sub.iSubItem = 1;
                sub.pszText = &assignment[0];
                SendMessageW(list, LVM_SETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&sub));
            }
            return TRUE;
        }
        if (HIWORD(first) != BN_CLICKED) return FALSE;
        if (record->index == 2 && LOWORD(first) == IDC_OPT_VIEWBACK) PickColour(page, &g_AppSettings.viewBackColor);
        if (record->index == 3 && LOWORD(first) == IDC_OPT_SLIDEBACK) PickColour(page, &g_AppSettings.slideBackColor);
        if (record->index == 0 && LOWORD(first) == IDC_OPT_HOME_PICK &&
            ChooseFolderDialog(page, g_AppSettings.home, kSettingTextCapacity))
            SetDlgItemTextW(page, IDC_OPT_HOME, g_AppSettings.home);
        if (record->index == 3 && LOWORD(first) == IDC_OPT_SOUND_PICK) PickSoundFile(page);
        if (record->index == 4 && LOWORD(first) == IDC_OPT_RESTORE) {
            for (int i = 0; i < 5; ++i) g_AppSettings.*kButtonFields[i] = kFactoryButtonActions[i];
            FillButtons(page);
        }
        return TRUE;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(second);
        // Left for another page, and closed with OK: the page is stored.
        if (header->code == PSN_KILLACTIVE || header->code == PSN_APPLY) {
            Apply(page, record);
            SetWindowLongPtrW(page, DWLP_MSGRESULT, header->code == PSN_APPLY ? PSNRET_NOERROR : FALSE);
            return TRUE;
        }
        if (record->index == 4 && header->idFrom == IDC_OPT_BUTTONLIST && header->code == LVN_ITEMCHANGED) {
            // A button chosen in the list shows its action.
            const auto* change = reinterpret_cast<const NMLISTVIEW*>(second);
            if ((change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_SELECTED) &&
                !(change->uOldState & LVIS_SELECTED) && change->iItem >= 0 && change->iItem < 5)
                SendDlgItemMessageW(page, IDC_OPT_ACTION, CB_SETCURSEL,
                                    WPARAM(g_AppSettings.*kButtonFields[change->iItem]), 0);
            return TRUE;
        }
        if (record->index == 5 && header->idFrom == IDC_OPT_ASSOCLIST && header->code == LVN_ITEMCHANGED &&
            !state->filling) {
            const auto* change = reinterpret_cast<const NMLISTVIEW*>(second);
            if (!(change->uChanged & LVIF_STATE) || ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK) == 0)
                return TRUE;
            wchar_t text[64] = L"";
            ListView_GetItemText(header->hwndFrom, change->iItem, 0, text, 64);
            const std::wstring extension = std::wstring(L".") + text;
            const std::wstring cls = AssociationClassName(text);
            if (ListView_GetCheckState(header->hwndFrom, change->iItem)) {
                AssociationWriter(cls.c_str(), -108, L"Pellaro Image");
                RegisterExtension(extension.c_str(), cls.c_str());
            } else {
                AssociationRemover(extension.c_str(), cls.c_str());
            }
            return TRUE;
        }
        return FALSE;
    }
    default: break;
    }
    return FALSE;
}

}  // namespace

INT_PTR RunOptionsSheet(HWND parent) {
    OptionsState state;
    PageRecord records[kPageCount];
    static const struct {
        UINT dialog, title;
        const char* key;
    } kPages[kPageCount] = {
        {IDD_OPTIONS_GENERAL, IDS_GENERAL, "IDS_GENERAL"},       {IDD_OPTIONS_BROWSER, IDS_BROWSER, "IDS_BROWSER"},
        {IDD_OPTIONS_VIEWER, IDS_VIEWER, "IDS_VIEWER"},          {IDD_OPTIONS_SLIDESHOW, IDS_SLIDESHOW, "IDS_SLIDESHOW"},
        {IDD_OPTIONS_BUTTONS, IDS_BUTTONS, "IDS_BUTTONS"},       {IDD_OPTIONS_ASSOCIATIONS, IDS_ASSOCIATIONS, "IDS_ASSOCIATIONS"},
    };
    ShellSheetPage pages[kPageCount];
    for (int i = 0; i < kPageCount; ++i) {
        records[i] = {&state, i};
        pages[i] = {kPages[i].dialog, LoadText(kPages[i].title, kPages[i].key), PSP_PREMATURE,
                    reinterpret_cast<LPARAM>(&records[i])};
    }
    return RunShellSheet(parent, pages, kPageCount, OptionsPageProc);
}

LRESULT OnOptionsCommand(HWND window, UINT, UINT, HWND) {
    const int32_t showLabel = g_AppSettings.showLabel, thumbSize = g_AppSettings.thumbSize,
                  fontThumb = g_AppSettings.fontThumb, useScrollbar = g_AppSettings.useScrollbar,
                  useCache = g_AppSettings.useCache, highQuality = g_AppSettings.highQualityThumb,
                  showExt = g_AppSettings.showExt;
    RunOptionsSheet(window);
    const HWND list = g_AppSettings.listWindow;
    if (BrowserModel* model = ViewerModel()) {
        // The browser follows every setting at once; its thumbnails are made
        // again when their size, their quality or their cache changed.
        model->SetSettings(ViewerBrowserSettings());
        if (thumbSize != g_AppSettings.thumbSize || useCache != g_AppSettings.useCache ||
            highQuality != g_AppSettings.highQualityThumb) {
            if (list && thumbSize != g_AppSettings.thumbSize) RefreshListLayout(list);
            model->BrowseFolder(model->CurrentFolder());
        }
    }
    if (list && thumbSize == g_AppSettings.thumbSize) {
        if (showLabel != g_AppSettings.showLabel) {
            RefreshListLayout(list);
        } else if (fontThumb != g_AppSettings.fontThumb) {
            SetWindowFontHeight(list, g_AppSettings.fontThumb);
            RefreshListLayout(list);
        }
    }
    if (g_AppSettings.viewMode == 1 && showExt != g_AppSettings.showExt) UpdateItemLabels(1);
    // The strip's height follows the label: the main window lays its panes out again.
    if (g_AppSettings.viewMode == 3 && showLabel != g_AppSettings.showLabel) SendMessageW(window, WM_SIZE, 0, 0);
    if (g_AppSettings.treeWindow) SetWindowFontHeight(g_AppSettings.treeWindow, g_AppSettings.fontTree);
    if (const HWND view = g_AppSettings.viewWindow) {
        if (useScrollbar != g_AppSettings.useScrollbar) ViewSetScrollBars(view, g_AppSettings.useScrollbar);
        ViewSetMouseMode(view, g_AppSettings.viewMove ? kMousePan : kMouseSelect4);
        ViewSetBackgroundColor(view, g_AppSettings.viewBackColor);
    }
    return 0;
}
