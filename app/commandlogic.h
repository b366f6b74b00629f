// The main window's commands, apart from their windows: names of copies and
// new folders, the folders that "Up" and the path menu lead to, which labels
// a user may give a favorite (names of files and folders: IsAcceptableName in
// shell/filelist.h), which files count as pictures when looking for a card's
// pictures, and the sort setting after a sort command.
//
// Paths are device paths ("\folder\"), with "\" as the only separator.
//
// Portable: no platform headers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "shell/filelist.h"

// Answers whether a file or folder of that full path exists.
using PathExists = std::function<bool(const std::wstring& path)>;

// What deleting a folder tree asks of the system.
struct TreeRemoval {
    FolderLister list;
    bool (*removeFile)(const std::wstring& path);
    bool (*removeFolder)(const std::wstring& path);  // an empty folder
    // A link (to a folder when `folder`): the link itself, never its target.
    bool (*removeLink)(const std::wstring& path, bool folder);
};

// Deletes the folder (with its trailing separator) and everything in it,
// depth first. A link is deleted itself and never entered, so nothing
// outside the folder goes. The first failure stops the walk: false.
bool DeleteFolderTreeWith(const std::wstring& folder, const TreeRemoval& system);

// `format` with each "%s" replaced by the next of `texts` and "%d" by
// `number`; "%%" gives "%". Any other directive is copied as it stands, so a
// translated format can never read more than it is given.
std::wstring FillPattern(const std::wstring& format, const std::wstring* texts, int textCount, int number);

// Where a pasted `name` goes in `folder` (with its trailing "\"): the name
// itself when free, else `copyOf` ("%sCopy of %s": folder, name) when free,
// else `copyN` ("%sCopy (%d) of %s": folder, n, name) for the first free n
// from 2 to 998; after that the last one tried.
std::wstring MakeCopyName(const std::wstring& folder, const std::wstring& name, const std::wstring& copyOf,
                          const std::wstring& copyN, const PathExists& exists);

// The name proposed for a new folder in `folder`: `base` when free, else
// "<base> (n)" for the first free n from 1 to 99, else `base`.
std::wstring ProposeNewFolderName(const std::wstring& folder, const std::wstring& base, const PathExists& exists);

// "Up": the folder above `folder`, with its trailing "\"; the root stays.
std::wstring ParentFolder(const std::wstring& folder);

// A favorite's label (the name of its registry key): not empty, no "\",
// at most 63 characters.
bool IsAcceptableFavoriteLabel(const std::wstring& label);

// The name of a path: what follows its last "\".
std::wstring NameOfPath(const std::wstring& path);

// Whether a file of this name is one of the picture kinds the card search
// looks for (by its extension, in any case).
bool IsCardPictureName(const std::wstring& name);

// The sort setting after a sort command: `key` 0 (name) to 4 (resolution)
// keeps the direction bit; `descending` 0 or 1 keeps the key. Pass -1 for
// the part the command leaves.
int32_t SortAfterCommand(int32_t sort, int32_t key, int32_t descending);

// The bit of the sort setting that asks for descending order.
constexpr int32_t kSortDescendingBit = 0x1000;
