// The search dialog: picture files under a folder by part of their name,
// size class and type, optionally in every subfolder, shown in the browser
// as if they were a folder's content.
#include <windows.h>

#include <string>

#include "platform/framework_win.h"
#include "platform/handheld.h"
#include "resources/commands.rh"
#include "resources/main.rh"
#include "app/commands_win.h"
#include "shell/filelist.h"
#include "shell/language_win.h"
#include "shell/settings_win.h"
#include "shell/system.h"
#include "app/viewer_win.h"

namespace {

constexpr const wchar_t* kSearchSection = L"Search";
constexpr int kContainCapacity = 129;

const wchar_t* const kSizeTexts[] = {L"< 50K", L"> 50K", L"< 100K", L"> 100K", L"< 200K", L"> 200K"};
const struct {
    UINT stringId;
    const char* key;
    const wchar_t* pattern;
} kTypes[] = {
    {IDS_IGNORED, "IDS_IGNORED", L"*.*"},       {IDS_JPEG_FILES, "IDS_JPEG_FILES", L"*.jpg"},
    {IDS_GIF_FILES, "IDS_GIF_FILES", L"*.gif"}, {IDS_BMP_FILES, "IDS_BMP_FILES", L"*.bmp"},
    {IDS_PNG_FILES, "IDS_PNG_FILES", L"*.png"}, {IDS_TGA_FILES, "IDS_TGA_FILES", L"*.tga"},
};
constexpr int kTypeCount = int(sizeof kTypes / sizeof kTypes[0]);
constexpr int kSizeCount = 1 + int(sizeof kSizeTexts / sizeof kSizeTexts[0]);

int Selected(HWND dialog, int id, int count) {
    const int index = int(SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0));
    return index >= 0 && index < count ? index : 0;
}

class SearchBox : public DialogObject {
public:
    SearchBox(HWND parentWindow, const std::wstring& startFolder) : folder(startFolder) {
        DialogInitBase(this, parentWindow, g_Instance, IDD_SEARCH, kMap);
    }
    std::wstring folder;

private:
    INT_PTR OnInit() {
        LngSelectSection("DlgSearch");
        LngSetItemText(window, IDC_SCH_TFOLDER, "IDC_SCH_TFOLDER");
        LngSetItemText(window, IDC_SCH_TFILENAME, "IDC_SCH_TFILENAME");
        LngSetItemText(window, IDC_SCH_TFILESIZE, "IDC_SCH_TFILESIZE");
        LngSetItemText(window, IDC_SCH_TFILETYPE, "IDC_SCH_TFILETYPE");
        LngSetItemText(window, IDC_SCH_SUBFOLDER, "IDC_SCH_SUBFOLDER");
        LngSetItemText(window, IDC_SCH_APPLY, "IDC_APPLY");
        SetDlgItemTextW(window, IDC_SCH_FOLDER, folder.c_str());
        wchar_t contain[kContainCapacity] = L"";
        RegReadText(kSearchSection, L"Contain", L"", contain, kContainCapacity);
        SetDlgItemTextW(window, IDC_SCH_CONTAIN, contain);
        SendDlgItemMessageW(window, IDC_SCH_CONTAIN, EM_LIMITTEXT, 64, 0);
        DlgComboAddString(window, IDC_SCH_SIZE, IDS_IGNORED, "IDS_IGNORED");
        for (const wchar_t* text : kSizeTexts)
            SendDlgItemMessageW(window, IDC_SCH_SIZE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        for (const auto& type : kTypes) DlgComboAddString(window, IDC_SCH_TYPE, type.stringId, type.key);
        const DWORD size = RegReadSettingDefault(kSearchSection, L"Size", 0);
        const DWORD type = RegReadSettingDefault(kSearchSection, L"Type", 0);
        SendDlgItemMessageW(window, IDC_SCH_SIZE, CB_SETCURSEL, size < DWORD(kSizeCount) ? size : 0, 0);
        SendDlgItemMessageW(window, IDC_SCH_TYPE, CB_SETCURSEL, type < DWORD(kTypeCount) ? type : 0, 0);
        CheckDlgButton(window, IDC_SCH_SUBFOLDER,
                       RegReadSettingDefault(kSearchSection, L"SubFolder", 0) ? BST_CHECKED : BST_UNCHECKED);
        const HWND edit = GetDlgItem(window, IDC_SCH_CONTAIN);
        SetFocus(edit);
        SendMessageW(edit, EM_SETSEL, 0, -1);
        return FALSE;
    }

    void SaveSettings() {
        wchar_t contain[kContainCapacity] = L"";
        GetDlgItemTextW(window, IDC_SCH_CONTAIN, contain, kContainCapacity);
        RegWriteText(kSearchSection, L"Contain", contain);
        RegWriteDword(kSearchSection, L"Size", DWORD(Selected(window, IDC_SCH_SIZE, kSizeCount)));
        RegWriteDword(kSearchSection, L"Type", DWORD(Selected(window, IDC_SCH_TYPE, kTypeCount)));
        RegWriteDword(kSearchSection, L"SubFolder", IsDlgButtonChecked(window, IDC_SCH_SUBFOLDER) == BST_CHECKED);
    }

    static void ShowCount(size_t count, void* user) {
        const HWND dialog = static_cast<HWND>(user);
        const std::wstring text = LoadText(IDS_FOUND_FILES, "IDS_FOUND_FILES");
        const size_t at = text.find(L"%d");
        const std::wstring shown = at == std::wstring::npos
                                       ? text
                                       : text.substr(0, at) + std::to_wstring(count) + text.substr(at + 2);
        SetDlgItemTextW(dialog, IDC_SCH_COUNT, shown.c_str());
        UpdateWindow(GetDlgItem(dialog, IDC_SCH_COUNT));
    }

    void OnSearch(int) {
        wchar_t typed[MAX_PATH] = L"";
        GetDlgItemTextW(window, IDC_SCH_FOLDER, typed, MAX_PATH);
        std::wstring where = typed;
        if (where.empty() || where.back() != L'\\') where.push_back(L'\\');
        wchar_t contain[kContainCapacity] = L"";
        GetDlgItemTextW(window, IDC_SCH_CONTAIN, contain, kContainCapacity);
        SearchFilter filter;
        filter.contain = contain;
        filter.sizeClass = Selected(window, IDC_SCH_SIZE, kSizeCount);
        const wchar_t* pattern = kTypes[Selected(window, IDC_SCH_TYPE, kTypeCount)].pattern;
        const bool subfolders = IsDlgButtonChecked(window, IDC_SCH_SUBFOLDER) == BST_CHECKED;
        const HCURSOR previous = SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
        FileList found;
        FileSearch(SystemListFolder, where, pattern, filter, subfolders, &found, ShowCount, window);
        if (!found.empty() &&
            HandheldMessageBox(window, LoadText(IDS_SHOW_FILES, "IDS_SHOW_FILES").c_str(), L"", MB_OKCANCEL) == IDOK) {
            if (BrowserModel* model = ViewerModel()) {
                // The results come from many folders: the shown folder's
                // thumbnail cache has no part in them.
                model->StopWorker();
                model->Cache().Close(false);
                model->SetFileList(std::move(found));
            }
            SaveSettings();
            SetCursor(previous);
            EndDialog(window, 0);
            return;
        }
        SetCursor(previous);
    }
    void OnEnd(int) {
        SaveSettings();
        EndDialog(window, 0);
    }

    static const DialogMapRow kMap[];
};

const DialogMapRow SearchBox::kMap[] = {
    dialogmap::InitDialog(&SearchBox::OnInit),
    dialogmap::Command(IDC_SCH_APPLY, &SearchBox::OnSearch),
    dialogmap::Command(IDOK, IDCANCEL, &SearchBox::OnEnd),
    dialogmap::End(),
};

}  // namespace

INT_PTR SearchDialog(HWND parent, const std::wstring& folder) {
    SearchBox dialog(parent, folder);
    DialogRunModalResource(&dialog);
    return 0;
}

LRESULT OnSearchCommand(HWND window, UINT, UINT, HWND) {
    SearchDialog(window, g_AppSettings.currentFolder);
    return 0;
}
