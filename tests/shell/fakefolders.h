// An in-memory folder tree for the browser model's tests: a FolderLister and
// a single-file lookup over it. Paths are written with "/" and turned into
// the system's separator by P().
#pragma once

#include <map>
#include <string>
#include <vector>

#include "shell/filelist.h"

namespace fake_folders {

inline wchar_t Separator() { return IsPathSeparator(L'/') ? L'/' : L'\\'; }

// The path with every "/" as the system's separator.
inline std::wstring P(std::wstring path) {
    for (wchar_t& c : path)
        if (c == L'/') c = Separator();
    return path;
}

// folder (with its separator) -> items in listing order.
inline std::map<std::wstring, std::vector<FolderItem>>& Tree() {
    static std::map<std::wstring, std::vector<FolderItem>> tree;
    return tree;
}

inline FolderItem File(const std::wstring& name, uint64_t size = 1000, uint64_t time = 100) {
    return FolderItem{name, 0, size, time};
}
inline FolderItem Folder(const std::wstring& name) { return FolderItem{name, kAttributeFolder, 0, 0}; }

// Adds an item to a folder given with "/" separators (created when missing).
inline void Add(const std::wstring& folder, const FolderItem& item) { Tree()[P(folder)].push_back(item); }

inline void Remove(const std::wstring& folder, const std::wstring& name) {
    auto& items = Tree()[P(folder)];
    for (auto it = items.begin(); it != items.end(); ++it)
        if (it->name == name) {
            items.erase(it);
            return;
        }
}

inline bool List(const std::wstring& folder, FileNameFilter wanted, std::vector<FolderItem>* items) {
    const auto it = Tree().find(folder);
    if (it == Tree().end()) return false;
    items->push_back(FolderItem{L".", kAttributeFolder, 0, 0});
    items->push_back(FolderItem{L"..", kAttributeFolder, 0, 0});
    for (const FolderItem& item : it->second)
        if ((item.attributes & kAttributeFolder) || !wanted || wanted(item.name)) items->push_back(item);
    return true;
}

inline bool Lookup(const std::wstring& path, FolderItem* item) {
    std::wstring folder, name;
    SplitPathFolderName(path.c_str(), &folder, &name);
    const auto it = Tree().find(folder);
    if (it == Tree().end()) return false;
    for (const FolderItem& found : it->second)
        if (found.name == name) {
            *item = found;
            return true;
        }
    return false;
}

// The entries' paths with "/" separators, in order.
inline std::vector<std::wstring> Paths(const FileList& list) {
    std::vector<std::wstring> paths;
    for (const FileListEntry& e : list) {
        std::wstring p = e.path;
        for (wchar_t& c : p)
            if (c == Separator()) c = L'/';
        paths.push_back(p);
    }
    return paths;
}

}  // namespace fake_folders
