#include "shell/filelist.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include "imagelib/fileio.h"

namespace {

const wchar_t* const kPictureExtensions[] = {
    L".bmp", L".tif", L".tiff", L".ico", L".jpg", L".jpe", L".jpeg", L".jif", L".png", L".tga",
    L".gif", L".2bp", L".pcx", L".psd", L".pbm", L".pgm", L".ppm", L".pnm",
};
const wchar_t* const kCameraRawExtensions[] = {
    L".crw", L".cr2", L".nef", L".raf", L".mrw", L".orf", L".pef", L".sr2", L".srf", L".x3f", L".dcr", L".dng",
};

wchar_t FoldCase(wchar_t c) { return wchar_t(std::towlower(wint_t(c))); }

int CompareNoCase(const wchar_t* a, const wchar_t* b) {
    for (;; ++a, ++b) {
        const wchar_t x = FoldCase(*a), y = FoldCase(*b);
        if (x != y) return x < y ? -1 : 1;
        if (!x) return 0;
    }
}

int CompareCodeUnits(const wchar_t* a, const wchar_t* b) {
    for (;; ++a, ++b) {
        if (*a != *b) return uint32_t(*a) < uint32_t(*b) ? -1 : 1;
        if (!*a) return 0;
    }
}

// The name's extension from its last "." (null when it has none).
const wchar_t* Extension(const wchar_t* name) { return std::wcsrchr(name, L'.'); }

// The name's extension in lower case (ASCII letters folded) into `out`;
// false when there is none or it is longer than any listed one.
bool LowerExtension(const wchar_t* name, wchar_t (&out)[8]) {
    const wchar_t* dot = Extension(name);
    if (!dot) return false;
    size_t n = 0;
    for (; dot[n]; ++n) {
        if (n + 1 >= sizeof out / sizeof *out) return false;
        const wchar_t c = dot[n];
        out[n] = (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c;
    }
    out[n] = L'\0';
    return true;
}

template <size_t N>
bool ExtensionIn(const wchar_t* name, const wchar_t* const (&table)[N]) {
    wchar_t ext[8];
    if (!LowerExtension(name, ext)) return false;
    for (const wchar_t* listed : table)
        if (std::wcscmp(ext, listed) == 0) return true;
    return false;
}

bool IsAlbumName(const wchar_t* name) {
    wchar_t ext[8];
    return LowerExtension(name, ext) && std::wcscmp(ext, L".alb") == 0;
}

bool IsDotName(const std::wstring& name) { return name == L"." || name == L".."; }

template <typename T>
int Order(T a, T b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

// The names a scan lists: longer than 4 characters, with a listed extension
// (albums included).
bool ScannedName(const std::wstring& name) { return name.size() > 4 && IsListedPictureName(name.c_str(), 1); }

bool ScanLevel(FolderLister lister, const std::wstring& folder, bool recursive, int depth, FileList* list) {
    std::vector<FolderItem> items;
    if (!lister(folder, ScannedName, &items)) return false;
    // Room for the listing's files at once, in steps of 64 entries.
    const size_t needed = list->size() + items.size();
    if (list->capacity() < needed) list->reserve((needed + 63) / 64 * 64);
    for (const FolderItem& item : items) {
        if ((item.attributes & kAttributeFolder) || !ScannedName(item.name)) continue;
        AddFileEntry(list, folder, item);
    }
    if (!recursive || depth >= kMaxScanDepth) return true;
    // Links to folders are not followed: one pointing up the tree would make
    // the walk endless.
    for (const FolderItem& item : items) {
        if (IsDotName(item.name) || !(item.attributes & kAttributeFolder) || (item.attributes & kAttributeLink))
            continue;
        std::wstring sub = folder + item.name;
        sub.push_back(folder.empty() ? L'/' : folder.back());
        if (sub.size() < kListPathCapacity) ScanLevel(lister, sub, true, depth + 1, list);
    }
    return true;
}

void SearchLevel(FolderLister lister, const std::wstring& folder, const std::wstring& pattern,
                 const SearchFilter& filter, bool subfolders, int depth, FileList* list,
                 void (*found)(size_t, void*), void* user) {
    std::vector<FolderItem> items;
    if (!lister(folder, nullptr, &items)) return;
    for (const FolderItem& item : items) {
        if ((item.attributes & kAttributeFolder) || !MatchesListingPattern(item.name, pattern)) continue;
        if (!FileSearchMatch(item, filter) || !AddFileEntry(list, folder, item)) continue;
        if (found) found(list->size(), user);
    }
    if (!subfolders || depth >= kMaxScanDepth) return;
    for (const FolderItem& item : items) {
        if (IsDotName(item.name) || !(item.attributes & kAttributeFolder) || (item.attributes & kAttributeLink))
            continue;
        std::wstring sub = folder + item.name;
        sub.push_back(folder.empty() ? L'/' : folder.back());
        if (sub.size() < kListPathCapacity)
            SearchLevel(lister, sub, pattern, filter, true, depth + 1, list, found, user);
    }
}

}  // namespace

void SplitPathFolderName(const wchar_t* path, std::wstring* folderOut, std::wstring* nameOut) {
    const wchar_t* last = nullptr;
    for (const wchar_t* p = path; *p; ++p)
        if (IsPathSeparator(*p)) last = p;
    if (nameOut) *nameOut = last ? std::wstring(last + 1) : std::wstring();
    if (folderOut && last) folderOut->assign(path, size_t(last - path) + 1);
}

bool IsAcceptableName(const std::wstring& name) {
    if (name.empty() || name.find(L"..") != std::wstring::npos) return false;
    for (wchar_t c : name) {
        if (c < 32 || std::wcschr(L"\\/:*?\"<>|", c)) return false;
    }
    return name.find_first_not_of(L" .") != std::wstring::npos && !IsReservedFileName(name.c_str(), name.size());
}

int IsListedPictureName(const wchar_t* name, int allowAlbum) {
    if (ExtensionIn(name, kPictureExtensions) || ExtensionIn(name, kCameraRawExtensions)) return 1;
    return allowAlbum && IsAlbumName(name) ? 1 : 0;
}

int IsCameraRawName(const wchar_t* name) { return ExtensionIn(name, kCameraRawExtensions) ? 1 : 0; }

bool AddFileEntry(FileList* list, const std::wstring& folder, const FolderItem& item) {
    // A path cut to fit would name another file, or none.
    if (folder.size() + item.name.size() >= kListPathCapacity) return false;
    // Room doubles from 64 entries: a folder of thousands of pictures is
    // not copied over again every 64 files.
    if (list->size() == list->capacity()) list->reserve(list->capacity() < 64 ? 64 : list->capacity() * 2);
    list->emplace_back();
    FileListEntry& entry = list->back();
    std::memset(&entry, 0, sizeof entry);
    entry.attributes = item.attributes;
    entry.lastWriteTime = item.lastWriteTime;
    entry.size = item.size;
    if (IsAlbumName(item.name.c_str())) entry.state = kEntryAlbum;
    std::wmemcpy(entry.path, folder.data(), folder.size());
    std::wmemcpy(entry.path + folder.size(), item.name.data(), item.name.size());
    return true;
}

bool ScanFolder(FolderLister lister, const std::wstring& folder, bool recursive, FileList* list) {
    return ScanLevel(lister, folder, recursive, 0, list);
}

int32_t NominalThumbSize(int32_t thumbSize, uint32_t osMajorVersion) {
    const bool newer = osMajorVersion >= 5;
    switch (thumbSize) {
    case 1: return newer ? 51 : 50;
    case 2: return newer ? 70 : 68;
    case 3: return newer ? 107 : 105;
    case 4: return newer ? 220 : 218;
    default: return 38;
    }
}

void ThumbBoxFor(int32_t thumbSize, uint32_t osMajorVersion, int32_t dpiX, int32_t dpiY, int32_t* width,
                 int32_t* height) {
    const int64_t size = NominalThumbSize(thumbSize, osMajorVersion);
    *width = int32_t((int64_t(dpiX) * size + 48) / 96);
    *height = int32_t((int64_t(dpiY) * size + 48) / 96);
}

int CompareEntries(const FileListEntry& a, const FileListEntry& b, uint32_t sortValue) {
    if (std::wcscmp(a.path, L"..") == 0) return -1;
    if (std::wcscmp(b.path, L"..") == 0) return 1;
    const bool aFolder = a.attributes & kAttributeFolder, bFolder = b.attributes & kAttributeFolder;
    if (aFolder != bFolder) return aFolder ? -1 : 1;
    const uint32_t key = sortValue & 0x0FFF;
    const bool descending = sortValue & 0x1000;
    const int flip = descending ? -1 : 1;
    const int byPath = CompareCodeUnits(a.path, b.path);
    if (aFolder) {
        if (key != kSortName) return byPath;
        const int named = CompareNoCase(a.path, b.path);
        return flip * (named ? named : byPath);
    }
    const bool aRead = a.state == kEntryExamined, bRead = b.state == kEntryExamined;
    int result = 0;
    switch (key) {
    case kSortName:
        result = CompareNoCase(a.path, b.path);
        break;
    case kSortDate:
        result = Order(a.lastWriteTime, b.lastWriteTime);
        break;
    case kSortType:
        if (aRead != bRead) return flip * (aRead ? -1 : 1);
        if (aRead) result = Order(a.formatIndex, b.formatIndex);
        break;
    case kSortSize:
        result = Order(a.size, b.size);
        break;
    case kSortResolution:
        if (aRead != bRead) return aRead ? -1 : 1;
        if (!aRead) return byPath;
        result = Order(uint64_t(a.width) * a.height, uint64_t(b.width) * b.height);
        if (a.width == b.width && a.height == b.height) result = 0;
        break;
    default:
        return 0;
    }
    return flip * (result ? result : byPath);
}

void SortFileEntries(FileList* list, uint32_t sortValue) {
    if ((sortValue & 0x0FFF) >= kSortKeyCount) return;
    std::sort(list->begin(), list->end(), [sortValue](const FileListEntry& a, const FileListEntry& b) {
        return CompareEntries(a, b, sortValue) < 0;
    });
}

bool MatchesListingPattern(const std::wstring& name, const std::wstring& pattern) {
    if (pattern == L"*.*" || pattern == L"*") return true;
    if (pattern.size() < 2 || pattern.compare(0, 2, L"*.") != 0) return CompareNoCase(name.c_str(), pattern.c_str()) == 0;
    const wchar_t* dot = Extension(name.c_str());
    return dot && CompareNoCase(dot, pattern.c_str() + 1) == 0;
}

bool FileSearchMatch(const FolderItem& item, const SearchFilter& filter) {
    if (!filter.contain.empty() && item.name.find(filter.contain) == std::wstring::npos) return false;
    if (!IsListedPictureName(item.name.c_str(), 0)) return false;
    const uint64_t size = item.size & ~uint64_t(1023);
    static const uint64_t kLimits[] = {51200, 102400, 204800};
    if (filter.sizeClass < 1 || filter.sizeClass > 6) return true;
    const uint64_t limit = kLimits[(filter.sizeClass - 1) / 2];
    return (filter.sizeClass % 2) ? size <= limit : size >= limit;
}

void FileSearch(FolderLister lister, const std::wstring& folder, const std::wstring& pattern,
                const SearchFilter& filter, bool subfolders, FileList* list, void (*found)(size_t, void*),
                void* user) {
    if (list->capacity() == 0) list->reserve(64);
    SearchLevel(lister, folder, pattern, filter, subfolders, 0, list, found, user);
}

std::vector<std::wstring> GoToFolders(const std::wstring& currentFolder) {
    std::vector<std::wstring> folders;
    std::wstring path = currentFolder;
    if (!path.empty() && IsPathSeparator(path.back())) path.pop_back();
    for (size_t i = 1; i < path.size(); ++i)
        if (IsPathSeparator(path[i])) folders.push_back(path.substr(0, i));
    if (folders.size() > kGoToMenuItems) folders.erase(folders.begin(), folders.end() - kGoToMenuItems);
    return folders;
}
