// The dialogs of the file and folder commands: about, new folder, rename
// file and rename folder. Each is a DialogObject run modally from its
// resource; names the user types are checked before a dialog confirms, so
// the commands never act on an empty name or one that leaves the folder.
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "platform/framework_win.h"
#include "platform/handheld.h"
#include "resources/commands.rh"
#include "resources/main.rh"
#include "app/commandlogic.h"
#include "app/commands_win.h"
#include "shell/language_win.h"
#include "app/viewer_win.h"

namespace {

constexpr COLORREF kLinkColour = 0xFF0000;

std::wstring ItemText(HWND dialog, int id) {
    wchar_t buffer[MAX_PATH + 1] = L"";
    GetDlgItemTextW(dialog, id, buffer, MAX_PATH + 1);
    return buffer;
}

void FocusAll(HWND dialog, int id) {
    const HWND edit = GetDlgItem(dialog, id);
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, LPARAM(GetWindowTextLengthW(edit)));
}

// Refuses a name the user may not give, telling why; the dialog stays open.
bool NameAccepted(HWND dialog, const std::wstring& name, int editId) {
    if (IsAcceptableName(name)) return true;
    const std::wstring text = LoadText(IDS_BADNAME, "IDS_BADNAME");
    HandheldMessageBox(dialog, text.c_str(), LoadText(IDS_ERROR, "IDS_ERROR").c_str(), MB_OK | MB_ICONSTOP);
    FocusAll(dialog, editId);
    return false;
}

// --- About ------------------------------------------------------------------

class AboutDialog : public DialogObject {
public:
    explicit AboutDialog(HWND parentWindow) { DialogInitBase(this, parentWindow, g_Instance, IDD_ABOUT, kMap); }

private:
    INT_PTR OnInit() {
        LngSelectSection("DlgAbout");
        LngSetItemText(window, IDC_ABOUT_DISTRIBUTOR, "IDC_TEXT");
        ShowWindow(GetDlgItem(window, IDC_ABOUT_DISTRIBUTOR), SW_HIDE);
        return TRUE;
    }
    HBRUSH OnColour(HDC dc, HWND control) {
        const int id = GetDlgCtrlID(control);
        if (id != IDC_ABOUT_WEB && id != IDC_ABOUT_FORUM) return nullptr;
        SetTextColor(dc, kLinkColour);
        return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    }
    void OnLink(int id) { OpenWithDesktopHandler(window, ItemText(window, id).c_str()); }
    void OnEnd(int) { EndDialog(window, 1); }

    static const DialogMapRow kMap[];
};

const DialogMapRow AboutDialog::kMap[] = {
    dialogmap::InitDialog(&AboutDialog::OnInit),
    dialogmap::Message<WM_CTLCOLORSTATIC>(&AboutDialog::OnColour),
    dialogmap::Command(IDOK, IDCANCEL, &AboutDialog::OnEnd),
    dialogmap::Command(IDC_ABOUT_WEB, IDC_ABOUT_FORUM, &AboutDialog::OnLink, STN_CLICKED),
    dialogmap::End(),
};

// --- New folder -------------------------------------------------------------

class NewFolderBox : public DialogObject {
public:
    NewFolderBox(HWND parentWindow, const std::wstring& parentFolder) : folder(parentFolder) {
        DialogInitBase(this, parentWindow, g_Instance, IDD_NEWFOLDER, kMap);
    }
    std::wstring folder;
    std::wstring name;

private:
    INT_PTR OnInit() {
        LngSelectSection("CDlgNewFolder");
        LngSetItemText(window, IDC_NF_CREATE, "IDC_APPLY");
        LngSetItemText(window, IDC_NF_TFOLDER, "IDC_NF_TFOLDER");
        LngSetItemText(window, IDC_NF_TNEWFOLDER, "IDC_NF_TNEWFOLDER");
        SetDlgItemTextW(window, IDC_NF_FOLDER, folder.c_str());
        const std::wstring proposal = ProposeNewFolderName(folder, LoadText(IDS_NEWFOLDER, "IDS_NEWFOLDER"),
            [](const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; });
        SetDlgItemTextW(window, IDC_NF_NAME, proposal.c_str());
        FocusAll(window, IDC_NF_NAME);
        return FALSE;  // the focus is set
    }
    void OnCreate(int) {
        name = ItemText(window, IDC_NF_NAME);
        if (NameAccepted(window, name, IDC_NF_NAME)) EndDialog(window, 1);
    }
    void OnEnd(int) { EndDialog(window, 0); }

    static const DialogMapRow kMap[];
};

const DialogMapRow NewFolderBox::kMap[] = {
    dialogmap::InitDialog(&NewFolderBox::OnInit),
    dialogmap::Command(IDC_NF_CREATE, &NewFolderBox::OnCreate, BN_CLICKED),
    dialogmap::Command(IDOK, IDCANCEL, &NewFolderBox::OnEnd),
    dialogmap::End(),
};

// --- Rename file and folder -------------------------------------------------

class RenameBox : public DialogObject {
public:
    RenameBox(HWND parentWindow, bool forFolder, const std::wstring& path) : folderMode(forFolder) {
        DialogInitBase(this, parentWindow, g_Instance, forFolder ? IDD_RENFOLDER : IDD_RENAME, kMap);
        std::wstring trimmed = path;
        if (folderMode && !trimmed.empty() && trimmed.back() == L'\\') trimmed.pop_back();
        current = NameOfPath(trimmed);
        location = trimmed.substr(0, trimmed.size() - current.size());
        // A folder's location shows without its last "\" (empty in the root).
        if (folderMode && !location.empty()) location.pop_back();
        const size_t dot = current.rfind(L'.');
        if (!folderMode && dot != std::wstring::npos && dot > 0) {
            stem = current.substr(0, dot);
            extension = current.substr(dot);
        } else {
            stem = current;
        }
    }
    bool folderMode;
    std::wstring location, current, stem, extension;
    std::wstring newName, newPath;

private:
    INT_PTR OnInit() {
        LngSelectSection(folderMode ? "DlgRenFolder" : "DlgRename");
        LngSetItemText(window, IDC_REN_APPLY, "IDC_APPLY");
        LngSetItemText(window, IDC_REN_TFOLDER, "IDC_REN_TFOLDER");
        LngSetItemText(window, IDC_REN_TNEWNAME, "IDC_REN_TNEWNAME");
        LngSetItemText(window, folderMode ? IDC_REN_TLOCATION : IDC_REN_TFILENAME,
                       folderMode ? "IDC_REN_TLOCATION" : "IDC_REN_TFILENAME");
        SetDlgItemTextW(window, IDC_REN_FOLDER, location.c_str());
        SetDlgItemTextW(window, IDC_REN_CURRENT, current.c_str());
        SetDlgItemTextW(window, IDC_REN_NEWNAME, stem.c_str());
        if (!folderMode) SetDlgItemTextW(window, IDC_REN_EXTENSION, extension.c_str());
        FocusAll(window, IDC_REN_NEWNAME);
        return FALSE;
    }
    void OnApply(int) {
        const std::wstring typed = ItemText(window, IDC_REN_NEWNAME);
        if (!NameAccepted(window, typed, IDC_REN_NEWNAME)) return;
        newName = typed + extension;
        newPath = location + (folderMode ? L"\\" : L"") + newName;
        EndDialog(window, 1);
    }
    void OnEnd(int) { EndDialog(window, 0); }

    static const DialogMapRow kMap[];
};

const DialogMapRow RenameBox::kMap[] = {
    dialogmap::InitDialog(&RenameBox::OnInit),
    dialogmap::Command(IDC_REN_APPLY, &RenameBox::OnApply, BN_CLICKED),
    dialogmap::Command(IDOK, IDCANCEL, &RenameBox::OnEnd),
    dialogmap::End(),
};

}  // namespace

namespace {

// The handheld's style, as the tool sheets have it: tabs at the bottom, and
// an empty menu bar under the pages.
int CALLBACK ShellSheetCallback(HWND sheet, UINT message, LPARAM) {
    if (message == kSheetVersionQuery) return kHandheldSheetVersion;
    if (message == PSCB_INITIALIZED) HandheldDialogSetup(sheet, kSetupEmptyMenuBar);
    return 0;
}

}  // namespace

INT_PTR RunShellSheet(HWND parent, const ShellSheetPage* pages, int count, DLGPROC procedure) {
    std::vector<PROPSHEETPAGEW> sheetPages(size_t(count > 0 ? count : 0));
    for (int i = 0; i < count; ++i) {
        PROPSHEETPAGEW& page = sheetPages[size_t(i)];
        page.dwSize = sizeof(PROPSHEETPAGEW);
        page.dwFlags = PSP_USETITLE | pages[i].flags;
        page.hInstance = g_Instance;
        page.pszTemplate = MAKEINTRESOURCEW(pages[i].dialog);
        page.pszTitle = pages[i].title.c_str();
        page.pfnDlgProc = procedure;
        page.lParam = pages[i].user;
    }
    PROPSHEETHEADERW header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_USECALLBACK | kSheetMaximize;
    header.pfnCallback = ShellSheetCallback;
    header.hwndParent = parent;
    header.hInstance = g_Instance;
    header.pszCaption = L"";
    header.nPages = UINT(count);
    header.ppsp = sheetPages.data();
    return HandheldPropertySheet(&header);
}

INT_PTR ModalAboutBox(HWND parent) {
    AboutDialog dialog(parent);
    return DialogRunModalResource(&dialog);
}

int NewFolderDialog(HWND parent, const std::wstring& folder, std::wstring* name) {
    NewFolderBox dialog(parent, folder);
    if (DialogRunModalResource(&dialog) != 1) return 0;
    *name = dialog.name;
    return 1;
}

int RenameFileDialog(HWND parent, const std::wstring& path, std::wstring* newName) {
    RenameBox dialog(parent, false, path);
    if (DialogRunModalResource(&dialog) != 1) return 0;
    *newName = dialog.newName;
    return 1;
}

int RenameFolderDialog(HWND parent, const std::wstring& folder, std::wstring* newName, std::wstring* newPath) {
    RenameBox dialog(parent, true, folder);
    if (DialogRunModalResource(&dialog) != 1) return 0;
    *newName = dialog.newName;
    *newPath = dialog.newPath;
    return 1;
}
