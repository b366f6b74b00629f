// Favorites: named folders kept in the registry, one subkey per label under
// HKEY_CURRENT_USER\Software\Trelmo\Favorites with the folder as its "Path"
// text; the add-favorite dialog; the main window's favorite commands.
//
// Win32 only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

constexpr int kFavoriteLabelCapacity = 64;
constexpr int kFavoritePathCapacity = 260;
constexpr UINT kFirstFavoriteCommand = 10000;
constexpr UINT kFavoriteMenuEntries = 10;

struct Favorite {
    std::wstring label;
    std::wstring path;
};

// Every readable favorite, in registry order; a missing key gives none.
std::vector<Favorite> FavoritesLoad();
// Stores (or replaces) the favorite; 0 for a label that cannot name a key
// (empty, holding "\", too long) or a registry failure.
int FavoritesAdd(const std::wstring& label, const std::wstring& path);
int FavoritesDelete(const std::wstring& label);
// Stores the new label first and deletes the old one only once it is there,
// so a failure never loses the favorite.
int FavoritesRename(const std::wstring& oldLabel, const std::wstring& newLabel, const std::wstring& path);
// 1 with the label the user typed (accepted by FavoritesAdd's rules).
int AddFavoriteDialog(HWND parent, const std::wstring& folder, std::wstring* label);

// The favorites sheet: "Open" (a tap on a favorite chooses it) and
// "Delete/Modify"; 1 with the chosen favorite's folder in `path`.
int RunFavoritesManager(HWND parent, std::wstring* path);
// The favorites entry: the sheet, then the chosen folder in the tree.
LRESULT OnFavoritesManager(HWND window, UINT id, UINT code, HWND control);
// "Add to favorites..." for the current folder.
LRESULT OnAddFavorite(HWND window, UINT id, UINT code, HWND control);
// A favorite of the menu: its folder is selected in the tree.
LRESULT OnFavoriteItem(HWND window, UINT id, UINT code, HWND control);
// Fills the favorites popup: the first ten favorites, a separator, "Add to
// favorites..." and the favorites entry ("Next/Favorites..." when there are
// more than ten).
void FillFavoritesMenu(HMENU popup);
