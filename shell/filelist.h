// The browser's list of one folder's pictures: which names are listed, how a
// folder is scanned into FileListEntry records, how the records are sorted,
// how a search matches a file, and the size of the thumbnail box.
//
// Portable: no platform headers. Folders are listed through a FolderLister
// (the system's is in shell/system.h), so the scan runs on any file tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Room of a path, terminator included; longer paths are never listed.
constexpr size_t kListPathCapacity = 260;

// FileListEntry::attributes bits, as the directory listing gives them.
constexpr uint32_t kAttributeFolder = 0x10;
constexpr uint32_t kAttributeLink = 0x400;  // symbolic link or reparse point

enum EntryState : uint32_t {
    kEntryNotExamined = 0,
    kEntryExamined = 1,  // information and thumbnail present
    kEntryAlbum = 2,     // ".alb": never examined
};

// One listed file, zero-filled when created.
struct FileListEntry {
    uint32_t attributes;
    uint32_t state;              // EntryState
    wchar_t path[kListPathCapacity];  // folder with its trailing separator, then the name
    uint64_t size;
    uint64_t lastWriteTime;      // FILETIME, UTC
    void* thumbnail;             // screen bitmap made by the worker; owned by the entry
    int32_t thumbWidth;
    int32_t thumbHeight;
    int16_t formatIndex;
    uint32_t width;
    uint32_t height;
    uint16_t colourWords[4];     // ImageInfo bitsPerSample, components, planes, bitsPerPlane
    uint32_t anchorFlag;         // scratch of a sort that keeps the selection
    uint32_t selected;
};

// A selected file handed to a tool.
struct SelectedFile {
    wchar_t path[kListPathCapacity];
    uint32_t index;
};

// One item of a directory listing.
struct FolderItem {
    std::wstring name;
    uint32_t attributes;     // kAttributeFolder, kAttributeLink, ...
    uint64_t size;
    uint64_t lastWriteTime;  // FILETIME, UTC
};

// Which files of a listing the caller wants (folders always come).
using FileNameFilter = bool (*)(const std::wstring& name);

// Lists a folder (given with its trailing separator): fills `items` in
// listing order with its folders ("." and ".." included or not) and the
// files `wanted` takes (every file when it is null); false when the folder
// cannot be listed. Files left out may cost the lister nothing more.
using FolderLister = bool (*)(const std::wstring& folder, FileNameFilter wanted, std::vector<FolderItem>* items);

// The entry array, index i being item i of the list view; its room starts
// at 64 entries and doubles.
using FileList = std::vector<FileListEntry>;

// 1 when the character separates folders in a path on this system.
bool IsPathSeparator(wchar_t c);

// Name after the last separator (empty when the path ends with one or has
// none) and folder up to and including it (unchanged when there is none).
void SplitPathFolderName(const wchar_t* path, std::wstring* folderOut, std::wstring* nameOut);

// A name the user may give a new or renamed file or folder: not empty, no
// path separator, no "..", no characters the file system refuses, and not a
// device name or a name Windows strips (IsReservedFileName).
bool IsAcceptableName(const std::wstring& name);

// 1 when the name carries a listed picture extension (".alb" only with
// allowAlbum), compared without regard to case.
int IsListedPictureName(const wchar_t* name, int allowAlbum);
// 1 for the camera RAW extensions.
int IsCameraRawName(const wchar_t* name);

// Appends one entry for folder + item, as the scan builds it; false (and
// nothing appended) when the path would not fit.
bool AddFileEntry(FileList* list, const std::wstring& folder, const FolderItem& item);

// Appends the folder's listed pictures (then, with `recursive`, those of its
// subfolders, depth first in listing order). Folders reached through links
// are not entered and nesting stops at kMaxScanDepth. False when the folder
// itself cannot be listed (the list is left as it was).
constexpr int kMaxScanDepth = 64;
bool ScanFolder(FolderLister lister, const std::wstring& folder, bool recursive, FileList* list);

// The nominal thumbnail size of a ThumbSize setting and OS major version,
// and the box it gives at the screen's pixels per inch.
int32_t NominalThumbSize(int32_t thumbSize, uint32_t osMajorVersion);
void ThumbBoxFor(int32_t thumbSize, uint32_t osMajorVersion, int32_t dpiX, int32_t dpiY, int32_t* width,
                 int32_t* height);

// Sort keys (the Sort setting's low bits; bit 0x1000 descending).
enum SortKey : uint32_t { kSortName = 0, kSortDate, kSortType, kSortSize, kSortResolution, kSortKeyCount };

// The comparison of two entries under a Sort value: negative, zero or positive.
int CompareEntries(const FileListEntry& a, const FileListEntry& b, uint32_t sortValue);
// Orders the list by the Sort value; a key of 5 or more leaves it as it is.
void SortFileEntries(FileList* list, uint32_t sortValue);

// File search: the size classes of the search dialog and the match of one
// listed file.
struct SearchFilter {
    std::wstring contain;  // empty: any name; else the name contains it (case matters)
    int sizeClass;         // 0 ignored, 1 "< 50K", 2 "> 50K", ... 6 "> 200K"
};
bool FileSearchMatch(const FolderItem& item, const SearchFilter& filter);
// Appends every file of folder + pattern that matches, then (with
// `subfolders`) searches every subfolder; `found` is told the running count.
void FileSearch(FolderLister lister, const std::wstring& folder, const std::wstring& pattern,
                const SearchFilter& filter, bool subfolders, FileList* list, void (*found)(size_t, void*),
                void* user);
// Whether a listing pattern such as "*.jpg" or "*.*" takes the name.
bool MatchesListingPattern(const std::wstring& name, const std::wstring& pattern);

// "Go to" menu: the ancestors of the folder from the root downward, at most
// kGoToMenuItems (the nearest ones when the folder lies deeper).
constexpr size_t kGoToMenuItems = 10;
std::vector<std::wstring> GoToFolders(const std::wstring& currentFolder);
