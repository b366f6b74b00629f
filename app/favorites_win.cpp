// Favorites in the registry, the add-favorite dialog and the favorite
// commands of the main window.
#include "app/favorites_win.h"

#include <commctrl.h>

#include "platform/framework_win.h"
#include "platform/handheld.h"
#include "resources/commands.rh"
#include "resources/main.rh"
#include "app/commandlogic.h"
#include "app/commands_win.h"
#include "shell/language_win.h"
#include "app/viewer_win.h"

namespace {

constexpr const wchar_t* kFavoritesKey = L"Software\\Trelmo\\Favorites";

std::wstring KeyOf(const std::wstring& label) { return std::wstring(kFavoritesKey) + L"\\" + label; }

bool ReadPath(const std::wstring& label, std::wstring* path) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, KeyOf(label).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    wchar_t buffer[kFavoritePathCapacity + 1] = L"";
    DWORD type = 0, size = kFavoritePathCapacity * sizeof(wchar_t);
    const LONG status = RegQueryValueExW(key, L"Path", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) return false;
    buffer[size / sizeof(wchar_t)] = 0;
    *path = buffer;
    return true;
}

class AddFavoriteBox : public DialogObject {
public:
    AddFavoriteBox(HWND parentWindow, const std::wstring& shownFolder, const std::wstring& startLabel)
        : folder(shownFolder), label(startLabel) {
        DialogInitBase(this, parentWindow, g_Instance, IDD_ADDFAVORITE, kMap);
    }
    std::wstring folder;
    std::wstring label;

private:
    INT_PTR OnInit() {
        LngSelectSection("DlgAddFavorites");
        LngSetItemText(window, IDCANCEL, "IDCANCEL");
        LngSetItemText(window, IDC_FAV_TFOLDER, "IDC_TFOLDER");
        LngSetItemText(window, IDC_FAV_TLABEL, "IDC_TLABEL");
        SetDlgItemTextW(window, IDC_FAV_FOLDER, folder.c_str());
        SetDlgItemTextW(window, IDC_FAV_LABEL, label.c_str());
        const HWND edit = GetDlgItem(window, IDC_FAV_LABEL);
        SendMessageW(edit, EM_LIMITTEXT, kFavoriteLabelCapacity - 1, 0);
        SetFocus(edit);
        SendMessageW(edit, EM_SETSEL, 0, LPARAM(GetWindowTextLengthW(edit)));
        return FALSE;
    }
    void OnOk(int) {
        wchar_t typed[kFavoriteLabelCapacity] = L"";
        GetDlgItemTextW(window, IDC_FAV_LABEL, typed, kFavoriteLabelCapacity);
        if (!IsAcceptableFavoriteLabel(typed)) {
            HandheldMessageBox(window, LoadText(IDS_BADNAME, "IDS_BADNAME").c_str(), LoadText(IDS_ERROR, "IDS_ERROR").c_str(),
                        MB_OK | MB_ICONSTOP);
            SetFocus(GetDlgItem(window, IDC_FAV_LABEL));
            return;
        }
        label = typed;
        EndDialog(window, 1);
    }
    void OnCancel(int) { EndDialog(window, 0); }

    static const DialogMapRow kMap[];
};

const DialogMapRow AddFavoriteBox::kMap[] = {
    dialogmap::InitDialog(&AddFavoriteBox::OnInit),
    dialogmap::Command(IDOK, &AddFavoriteBox::OnOk),
    dialogmap::Command(IDCANCEL, &AddFavoriteBox::OnCancel, BN_CLICKED),
    dialogmap::End(),
};

// --- Manager ------------------------------------------------------------------

struct ManagerState {
    HWND pages[2] = {nullptr, nullptr};
    std::wstring result;
};

struct ManagerPage {
    ManagerState* shared;
    int index;
};

ManagerPage* PageOf(HWND page) { return reinterpret_cast<ManagerPage*>(GetWindowLongPtrW(page, DWLP_USER)); }

void FillList(HWND list) {
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    const std::vector<Favorite> favorites = FavoritesLoad();
    for (size_t i = 0; i < favorites.size(); ++i) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = int(i);
        item.pszText = const_cast<wchar_t*>(favorites[i].label.c_str());
        const int at = int(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        LVITEMW path = {};
        path.iSubItem = 1;
        path.pszText = const_cast<wchar_t*>(favorites[i].path.c_str());
        SendMessageW(list, LVM_SETITEMTEXTW, WPARAM(at), reinterpret_cast<LPARAM>(&path));
    }
}

std::wstring ItemTextAt(HWND list, int index, int subItem, int capacity) {
    std::wstring text(size_t(capacity), L'\0');
    LVITEMW item = {};
    item.iSubItem = subItem;
    item.pszText = &text[0];
    item.cchTextMax = capacity;
    const int n = int(SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(index), reinterpret_cast<LPARAM>(&item)));
    text.resize(size_t(n > 0 ? n : 0));
    return text;
}

// Both pages show the registry's favorites again.
void RefillPages(const ManagerState* shared) {
    for (HWND page : shared->pages) {
        if (page) FillList(GetDlgItem(page, IDC_FAVLIST));
    }
    if (shared->pages[1]) EnableWindow(GetDlgItem(shared->pages[1], IDC_FAV_DELETE), FALSE);
}

void InitManagerPage(HWND page, ManagerPage* record) {
    SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(record));
    LngSelectSection("DlgFavorites");
    LngSetItemText(page, IDC_FAV_DELETE, "IDC_DELETE");
    LngSetItemText(page, IDC_FAV_RENAME, "IDC_MODIFY");
    record->shared->pages[record->index] = page;
    const HWND list = GetDlgItem(page, IDC_FAVLIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    LVCOLUMNW column = {};
    column.mask = LVCF_WIDTH;
    column.cx = 100;
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    SendMessageW(list, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
    FillList(list);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 1, LVSCW_AUTOSIZE);
    EnableWindow(GetDlgItem(page, IDC_FAV_DELETE), FALSE);
}

INT_PTR CALLBACK ManagerPageProc(HWND page, UINT message, WPARAM first, LPARAM second) {
    if (message == WM_INITDIALOG) {
        const auto* sheetPage = reinterpret_cast<const PROPSHEETPAGEW*>(second);
        InitManagerPage(page, reinterpret_cast<ManagerPage*>(sheetPage->lParam));
        return TRUE;
    }
    ManagerPage* record = PageOf(page);
    if (!record) return FALSE;
    const HWND list = GetDlgItem(page, IDC_FAVLIST);
    if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(second);
        if (header->idFrom == IDC_FAVLIST && header->code == LVN_ITEMCHANGED) {
            const auto* change = reinterpret_cast<const NMLISTVIEW*>(second);
            const bool nowSelected = (change->uNewState & LVIS_SELECTED) && !(change->uOldState & LVIS_SELECTED);
            if (record->index == 1) {
                EnableWindow(GetDlgItem(page, IDC_FAV_DELETE), SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0) > 0);
            } else if (nowSelected && change->uChanged == LVIF_STATE) {
                const std::vector<Favorite> favorites = FavoritesLoad();
                const std::wstring label = ItemTextAt(list, change->iItem, 0, kFavoriteLabelCapacity);
                for (const Favorite& f : favorites) {
                    if (f.label == label) record->shared->result = f.path;
                }
                PostMessageW(GetParent(page), WM_COMMAND, IDOK, 0);
            }
            return TRUE;
        }
        if (header->code == PSN_SETACTIVE) {
            SetWindowLongPtrW(page, DWLP_MSGRESULT, 0);
            return TRUE;
        }
        return FALSE;
    }
    if (message == WM_COMMAND && (LOWORD(first) == IDC_FAV_DELETE || LOWORD(first) == IDC_FAV_RENAME)) {
        const int selected = int(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
        if (selected < 0) return TRUE;
        const std::wstring label = ItemTextAt(list, selected, 0, kFavoriteLabelCapacity);
        const std::wstring path = ItemTextAt(list, selected, 1, kFavoritePathCapacity);
        if (LOWORD(first) == IDC_FAV_DELETE) {
            if (FavoritesDelete(label)) RefillPages(record->shared);
        } else {
            std::wstring newLabel = label;
            if (AddFavoriteDialog(page, path, &newLabel) && FavoritesRename(label, newLabel, path))
                RefillPages(record->shared);
        }
        return TRUE;
    }
    return FALSE;
}

}  // namespace

std::vector<Favorite> FavoritesLoad() {
    std::vector<Favorite> list;
    HKEY root;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kFavoritesKey, 0, KEY_READ, &root) != ERROR_SUCCESS) return list;
    for (DWORD i = 0;; ++i) {
        wchar_t name[kFavoriteLabelCapacity] = L"";
        DWORD length = kFavoriteLabelCapacity;
        const LONG status = RegEnumKeyExW(root, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;  // a label too long to read back
        Favorite favorite;
        favorite.label = name;
        if (ReadPath(favorite.label, &favorite.path)) list.push_back(favorite);
    }
    RegCloseKey(root);
    return list;
}

int FavoritesAdd(const std::wstring& label, const std::wstring& path) {
    if (!IsAcceptableFavoriteLabel(label) || path.size() >= size_t(kFavoritePathCapacity)) return 0;
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, KeyOf(label).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return 0;
    const LONG status = RegSetValueExW(key, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                                       DWORD((path.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 1 : 0;
}

int FavoritesDelete(const std::wstring& label) {
    if (!IsAcceptableFavoriteLabel(label)) return 0;
    return RegDeleteKeyW(HKEY_CURRENT_USER, KeyOf(label).c_str()) == ERROR_SUCCESS ? 1 : 0;
}

int FavoritesRename(const std::wstring& oldLabel, const std::wstring& newLabel, const std::wstring& path) {
    if (!FavoritesAdd(newLabel, path)) return 0;
    if (_wcsicmp(oldLabel.c_str(), newLabel.c_str()) == 0) return 1;  // one key: already rewritten
    return FavoritesDelete(oldLabel);
}

int AddFavoriteDialog(HWND parent, const std::wstring& folder, std::wstring* label) {
    AddFavoriteBox dialog(parent, folder, label ? *label : std::wstring());
    if (DialogRunModalResource(&dialog) != 1) return 0;
    if (label) *label = dialog.label;
    return 1;
}

LRESULT OnAddFavorite(HWND window, UINT, UINT, HWND) {
    const std::wstring folder = g_AppSettings.currentFolder;
    std::wstring label;
    if (AddFavoriteDialog(window, folder, &label)) FavoritesAdd(label, folder);
    return 0;
}

LRESULT OnFavoriteItem(HWND, UINT id, UINT, HWND) {
    const std::vector<Favorite> list = FavoritesLoad();
    const size_t index = id - kFirstFavoriteCommand;
    if (index < list.size()) TreeSelectPath(g_AppSettings.treeWindow, list[index].path.c_str());
    return 0;
}

int RunFavoritesManager(HWND parent, std::wstring* path) {
    ManagerState shared;
    ManagerPage records[2] = {{&shared, 0}, {&shared, 1}};
    const ShellSheetPage pages[2] = {
        {IDD_FAVORITES_OPEN, LoadText(IDS_OPEN, "IDS_OPEN"), 0, reinterpret_cast<LPARAM>(&records[0])},
        {IDD_FAVORITES_EDIT, LoadText(IDS_DELETE_MODIFY, "IDS_DELETE_MODIFY"), PSP_PREMATURE,
         reinterpret_cast<LPARAM>(&records[1])},
    };
    RunShellSheet(parent, pages, 2, ManagerPageProc);
    if (shared.result.empty()) return 0;
    if (path) *path = shared.result;
    return 1;
}

LRESULT OnFavoritesManager(HWND window, UINT, UINT, HWND) {
    std::wstring path;
    if (RunFavoritesManager(window, &path)) TreeSelectPath(g_AppSettings.treeWindow, path.c_str());
    return 0;
}

void FillFavoritesMenu(HMENU popup) {
    const std::vector<Favorite> list = FavoritesLoad();
    for (size_t i = 0; i < list.size() && i < kFavoriteMenuEntries; ++i)
        AppendMenuW(popup, MF_STRING, kFirstFavoriteCommand + UINT(i), list[i].label.c_str());
    AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(popup, MF_STRING, IDM_MAIN_ADD_FAVORITE, LoadText(IDS_ADDFAVORITE, "IDS_ADDFAVORITE").c_str());
    // With more favorites than the menu holds, the entry says the others are there.
    const bool more = list.size() > kFavoriteMenuEntries;
    AppendMenuW(popup, MF_STRING, IDM_MAIN_FAVORITES,
                more ? LoadText(IDS_FAVORITESENTRY2, "IDS_FAVORITESENTRY2").c_str()
                     : LoadText(IDS_FAVORITESENTRY1, "IDS_FAVORITESENTRY1").c_str());
}
