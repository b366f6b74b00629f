// Favorites in the registry, the add-favorite dialog and the favorite
// commands of the main window.
#include "shell/favorites_win.h"

#include "platform/framework_win.h"
#include "resources/commands.rh"
#include "resources/main.rh"
#include "shell/commandlogic.h"
#include "shell/language_win.h"
#include "shell/viewer_win.h"

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
            MessageBoxW(window, LoadText(IDS_BADNAME, "IDS_BADNAME").c_str(), LoadText(IDS_ERROR, "IDS_ERROR").c_str(),
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

void FillFavoritesMenu(HMENU popup) {
    const std::vector<Favorite> list = FavoritesLoad();
    for (size_t i = 0; i < list.size() && i < kFavoriteMenuEntries; ++i)
        AppendMenuW(popup, MF_STRING, kFirstFavoriteCommand + UINT(i), list[i].label.c_str());
    AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(popup, MF_STRING, IDM_MAIN_ADD_FAVORITE, LoadText(IDS_ADDFAVORITE, "IDS_ADDFAVORITE").c_str());
    AppendMenuW(popup, MF_STRING, IDM_MAIN_FAVORITES, LoadText(IDS_FAVORITESENTRY1, "IDS_FAVORITESENTRY1").c_str());
}
