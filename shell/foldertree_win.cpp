// A folder's subfolders are listed when it is expanded; its expand button and
// icons are asked for only when the tree shows it. The tree's user data holds
// the TreeFolderChosen of a tree made with TreeCreate (null for the others).
#include "shell/foldertree_win.h"

#include <cwchar>
#include <string>
#include <vector>

#include "platform/handheld.h"
#include "resources/main.rh"
#include "shell/language_win.h"
#include "shell/system.h"

namespace {

constexpr int kItemTextCapacity = MAX_PATH;

bool IsFolderItem(const FolderItem& item) {
    return (item.attributes & kAttributeFolder) && item.name != L"." && item.name != L"..";
}

bool NoFiles(const std::wstring&) { return false; }

std::vector<std::wstring> Subfolders(const std::wstring& path) {
    std::vector<FolderItem> items;
    std::vector<std::wstring> names;
    if (!SystemListFolder(path, NoFiles, &items)) return names;
    for (const FolderItem& item : items)
        if (IsFolderItem(item)) names.push_back(item.name);
    return names;
}

std::wstring ItemText(HWND tree, HTREEITEM item) {
    wchar_t text[kItemTextCapacity] = {};
    TVITEMW tv = {};
    tv.mask = TVIF_TEXT | TVIF_HANDLE;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = kItemTextCapacity;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    return text;
}

HTREEITEM Root(HWND tree) {
    return HTREEITEM(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
}

HTREEITEM Next(HWND tree, HTREEITEM item, UINT how) {
    return HTREEITEM(SendMessageW(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

HTREEITEM InsertChild(HWND tree, HTREEITEM parent, const wchar_t* text, HTREEITEM after) {
    TVINSERTSTRUCTW insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
    insert.item.pszText = const_cast<wchar_t*>(text);
    insert.item.iImage = I_IMAGECALLBACK;
    insert.item.iSelectedImage = I_IMAGECALLBACK;
    insert.item.cChildren = I_CHILDRENCALLBACK;
    return HTREEITEM(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void SetHasChildren(HWND tree, HTREEITEM item, int children) {
    TVITEMW tv = {};
    tv.mask = TVIF_CHILDREN | TVIF_HANDLE;
    tv.hItem = item;
    tv.cChildren = children;
    SendMessageW(tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
}

void DeleteChildren(HWND tree, HTREEITEM item) {
    HTREEITEM child = Next(tree, item, TVGN_CHILD);
    while (child) {
        const HTREEITEM next = Next(tree, child, TVGN_NEXT);
        SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(child));
        child = next;
    }
}

void FillChildren(HWND tree, HTREEITEM item) {
    wchar_t path[MAX_PATH];
    if (!TreeGetItemPath(tree, item, path, MAX_PATH)) return;
    DeleteChildren(tree, item);
    for (const std::wstring& name : Subfolders(path)) InsertChild(tree, item, name.c_str(), TVI_LAST);
    SendMessageW(tree, TVM_SORTCHILDREN, 0, reinterpret_cast<LPARAM>(item));
}

void PrepareTree(HWND tree, TreeFolderChosen chosen) {
    SetWindowLongPtrW(tree, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(chosen));
    SendMessageW(tree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(SystemSmallIcons()));
    SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    wchar_t root[kItemTextCapacity] = L"";
    LngGetString(GetModuleHandleW(nullptr), IDS_TREEROOT, "IDS_TREEROOT", root, kItemTextCapacity);
    InsertChild(tree, TVI_ROOT, root, TVI_LAST);
}

TreeFolderChosen ChosenOf(HWND tree) {
    return reinterpret_cast<TreeFolderChosen>(GetWindowLongPtrW(tree, GWLP_USERDATA));
}

void Expand(HWND tree, HTREEITEM item) {
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
}

}  // namespace

HWND TreeCreate(HWND parent, int x, int y, int width, int height, UINT id, TreeFolderChosen chosen) {
    const HWND tree = CreateWindowExW(0, WC_TREEVIEWW, L"Tree View",
                                      WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | TVS_HASBUTTONS |
                                          TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS | TVS_TRACKSELECT,
                                      x, y, width, height, parent, reinterpret_cast<HMENU>(UINT_PTR(id)),
                                      GetModuleHandleW(nullptr), nullptr);
    if (tree) PrepareTree(tree, chosen);
    return tree;
}

void TreeSetOwner(HWND tree) { PrepareTree(tree, nullptr); }

int TreeGetItemPath(HWND tree, HTREEITEM item, wchar_t* path, int capacity) {
    if (capacity <= 0) return 0;
    path[0] = 0;
    if (!item) return 1;
    std::wstring built;
    for (HTREEITEM i = item; i; i = Next(tree, i, TVGN_PARENT)) {
        if (!Next(tree, i, TVGN_PARENT)) break;  // the root names the device: "\"
        built.insert(0, ItemText(tree, i) + L"\\");
    }
    built.insert(0, L"\\");
    if (built.size() >= size_t(capacity)) return 0;
    wcscpy(path, built.c_str());
    return 1;
}

void TreeGetSelectedPath(HWND tree, wchar_t* path, int capacity) {
    TreeGetItemPath(tree, Next(tree, nullptr, TVGN_CARET), path, capacity);
}

LRESULT TreeOnNotify(HWND, NMHDR* header) {
    const HWND tree = header->hwndFrom;
    switch (header->code) {
    case TVN_ITEMEXPANDINGW: {
        auto* view = reinterpret_cast<NMTREEVIEWW*>(header);
        if (view->action & TVE_EXPAND) FillChildren(tree, view->itemNew.hItem);
        return 0;
    }
    case TVN_GETDISPINFOW: {
        auto* info = reinterpret_cast<NMTVDISPINFOW*>(header);
        wchar_t path[MAX_PATH];
        if (!TreeGetItemPath(tree, info->item.hItem, path, MAX_PATH)) return 0;
        if (info->item.mask & TVIF_CHILDREN) {
            info->item.cChildren = Subfolders(path).empty() ? 0 : 1;
            info->item.mask |= TVIF_DI_SETITEM;
        }
        if (info->item.mask & (TVIF_IMAGE | TVIF_SELECTEDIMAGE)) {
            const int icon = SmallIconIndex(path);
            info->item.iImage = icon < 0 ? 0 : icon;
            info->item.iSelectedImage = info->item.iImage;
        }
        return 0;
    }
    case TVN_SELCHANGEDW: {
        auto* view = reinterpret_cast<NMTREEVIEWW*>(header);
        wchar_t path[MAX_PATH];
        const TreeFolderChosen chosen = ChosenOf(tree);
        if (view->itemNew.hItem && chosen && TreeGetItemPath(tree, view->itemNew.hItem, path, MAX_PATH))
            chosen(path);
        return 0;
    }
    default:
        return 0;
    }
}

void TreeSelectPath(HWND tree, const wchar_t* path) {
    const HTREEITEM root = Root(tree);
    if (!root || !path) return;
    Expand(tree, root);
    if (wcscmp(path, L"\\") == 0) {
        SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(root));
        return;
    }
    const std::wstring wanted = path;
    std::wstring prefix = L"\\";
    HTREEITEM current = root;
    bool matched = true;
    while (matched) {
        matched = false;
        for (HTREEITEM child = Next(tree, current, TVGN_CHILD); child; child = Next(tree, child, TVGN_NEXT)) {
            const std::wstring candidate = prefix + ItemText(tree, child) + L"\\";
            if (wanted.size() < candidate.size() || _wcsnicmp(wanted.c_str(), candidate.c_str(), candidate.size()))
                continue;
            prefix = candidate;
            Expand(tree, child);
            if (_wcsicmp(wanted.c_str(), candidate.c_str()) == 0) {
                SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(child));
                // In a pane a few items high the folder would lie out of sight.
                SendMessageW(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(child));
            }
            current = child;
            matched = true;
            break;
        }
    }
    InvalidateRect(tree, nullptr, TRUE);
}

void TreeInsertFolder(HWND tree, HTREEITEM parent, const wchar_t* name) {
    const bool hadChild = Next(tree, parent, TVGN_CHILD) != nullptr;
    const HTREEITEM item = InsertChild(tree, parent, name, TVI_SORT);
    if (item && !hadChild) SetHasChildren(tree, parent, 1);
    Expand(tree, parent);
}

void TreeRenameItem(HWND tree, HTREEITEM item, const wchar_t* text) {
    wchar_t copy[kItemTextCapacity];
    wcsncpy(copy, text, kItemTextCapacity - 1);
    copy[kItemTextCapacity - 1] = 0;
    TVITEMW tv = {};
    tv.mask = TVIF_TEXT | TVIF_HANDLE;
    tv.hItem = item;
    tv.pszText = copy;
    SendMessageW(tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
}

namespace {

// The item already in the tree for `folder` (with its trailing "\"),
// without listing anything; null when the tree does not hold it.
HTREEITEM FindListedItem(HWND tree, const std::wstring& folder) {
    HTREEITEM current = Root(tree);
    std::wstring prefix = L"\\";
    while (current && _wcsicmp(prefix.c_str(), folder.c_str()) != 0) {
        HTREEITEM found = nullptr;
        for (HTREEITEM child = Next(tree, current, TVGN_CHILD); child && !found; child = Next(tree, child, TVGN_NEXT)) {
            const std::wstring candidate = prefix + ItemText(tree, child) + L"\\";
            if (folder.size() >= candidate.size() && !_wcsnicmp(folder.c_str(), candidate.c_str(), candidate.size())) {
                found = child;
                prefix = candidate;
            }
        }
        current = found;
    }
    return current;
}

HTREEITEM ChildNamed(HWND tree, HTREEITEM parent, const std::wstring& name) {
    for (HTREEITEM child = Next(tree, parent, TVGN_CHILD); child; child = Next(tree, child, TVGN_NEXT))
        if (_wcsicmp(ItemText(tree, child).c_str(), name.c_str()) == 0) return child;
    return nullptr;
}

bool SplitFolderPath(const wchar_t* path, std::wstring* parent, std::wstring* name) {
    std::wstring p = path ? path : L"";
    while (p.size() > 1 && p.back() == L'\\') p.pop_back();
    const size_t cut = p.rfind(L'\\');
    if (cut == std::wstring::npos || cut + 1 >= p.size()) return false;
    *parent = p.substr(0, cut + 1);
    *name = p.substr(cut + 1);
    return true;
}

}  // namespace

void TreeFolderCreated(HWND tree, const wchar_t* path) {
    std::wstring parentPath, name;
    if (!tree || !SplitFolderPath(path, &parentPath, &name)) return;
    const HTREEITEM parent = FindListedItem(tree, parentPath);
    if (!parent) return;
    // Expanding lists the folders anew, so an item added here never doubles.
    if (!ChildNamed(tree, parent, name)) InsertChild(tree, parent, name.c_str(), TVI_SORT);
    SetHasChildren(tree, parent, 1);
}

void TreeFolderRemoved(HWND tree, const wchar_t* path) {
    std::wstring parentPath, name;
    if (!tree || !SplitFolderPath(path, &parentPath, &name)) return;
    const HTREEITEM parent = FindListedItem(tree, parentPath);
    const HTREEITEM item = parent ? ChildNamed(tree, parent, name) : nullptr;
    if (!item) return;
    // The selected folder, or one above it, stays until the user leaves it.
    for (HTREEITEM at = Next(tree, nullptr, TVGN_CARET); at; at = Next(tree, at, TVGN_PARENT))
        if (at == item) return;
    SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
    if (!Next(tree, parent, TVGN_CHILD)) SetHasChildren(tree, parent, 0);
}

void TreeDeleteItem(HWND tree, HTREEITEM item) {
    const HTREEITEM parent = Next(tree, item, TVGN_PARENT);
    HTREEITEM neighbour = Next(tree, item, TVGN_NEXT);
    if (!neighbour) neighbour = Next(tree, item, TVGN_PREVIOUS);
    if (!neighbour) neighbour = parent;
    if (neighbour) SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(neighbour));
    if (!Next(tree, item, TVGN_CHILD))
        SendMessageW(tree, TVM_EXPAND, TVE_COLLAPSE, reinterpret_cast<LPARAM>(item));
    SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
    if (parent && !Next(tree, parent, TVGN_CHILD)) SetHasChildren(tree, parent, 0);
}
