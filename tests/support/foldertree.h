// Win32 tests: a folder tree (a tree control whose items name the device's
// folders under one root item) driven as the user drives it: each folder on
// the way is expanded, so the tree's owner fills it, and the last one is
// selected. Only tree-control messages are used, never the tree's own
// functions, so what is checked is the owner's answer to the tree.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cwchar>
#include <string>

namespace modaltest {

inline std::wstring TreeItemText(HWND tree, HTREEITEM item) {
    wchar_t text[MAX_PATH] = L"";
    TVITEMW tv{};
    tv.mask = TVIF_TEXT | TVIF_HANDLE;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = MAX_PATH;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    return text;
}

inline HTREEITEM TreeNext(HWND tree, HTREEITEM item, UINT how) {
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

// Selects the folder `path` (from the device's root, ending in '\'); false
// when one of its folders is not in the tree.
inline bool SelectTreeFolder(HWND tree, const std::wstring& path) {
    HTREEITEM item = TreeNext(tree, nullptr, TVGN_ROOT);
    size_t at = 1;  // past the root's "\"
    while (item && at < path.size()) {
        SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
        const size_t end = path.find(L'\\', at);
        const std::wstring name = path.substr(at, end - at);
        HTREEITEM child = TreeNext(tree, item, TVGN_CHILD);
        while (child && _wcsicmp(TreeItemText(tree, child).c_str(), name.c_str()) != 0)
            child = TreeNext(tree, child, TVGN_NEXT);
        item = child;
        at = end == std::wstring::npos ? path.size() : end + 1;
    }
    if (!item) return false;
    return SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)) != 0;
}

// The selected item's path from the device's root, ending in '\' ("\" for
// the root); empty when nothing is selected.
inline std::wstring SelectedTreeFolder(HWND tree) {
    HTREEITEM item = TreeNext(tree, nullptr, TVGN_CARET);
    if (!item) return L"";
    std::wstring path;
    for (; TreeNext(tree, item, TVGN_PARENT); item = TreeNext(tree, item, TVGN_PARENT))
        path.insert(0, TreeItemText(tree, item) + L"\\");
    return L"\\" + path;
}

}  // namespace modaltest
