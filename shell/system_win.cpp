#include <windows.h>

#include "shell/system.h"

namespace {

uint64_t FromFileTime(const FILETIME& t) { return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

uint32_t AttributesOf(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY ? kAttributeFolder : 0) |
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT ? kAttributeLink : 0) |
           (attributes & ~DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

}  // namespace

bool IsPathSeparator(wchar_t c) { return c == L'\\'; }

bool SystemListFolder(const std::wstring& folder, FileNameFilter wanted, std::vector<FolderItem>* items) {
    WIN32_FIND_DATAW found;
    const HANDLE listing = FindFirstFileW((folder + L"*.*").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE) return false;
    do {
        FolderItem item;
        item.name = found.cFileName;
        item.attributes = AttributesOf(found.dwFileAttributes);
        if (!(item.attributes & kAttributeFolder) && wanted && !wanted(item.name)) continue;
        item.size = (uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        item.lastWriteTime = FromFileTime(found.ftLastWriteTime);
        items->push_back(std::move(item));
    } while (FindNextFileW(listing, &found));
    FindClose(listing);
    return true;
}

bool SystemLookupFile(const std::wstring& path, FolderItem* item) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    SplitPathFolderName(path.c_str(), nullptr, &item->name);
    item->attributes = AttributesOf(data.dwFileAttributes);
    item->size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    item->lastWriteTime = FromFileTime(data.ftLastWriteTime);
    return true;
}

uint64_t FileTimeToLocalTime(uint64_t utc) {
    FILETIME in, out;
    in.dwLowDateTime = DWORD(utc);
    in.dwHighDateTime = DWORD(utc >> 32);
    if (!FileTimeToLocalFileTime(&in, &out)) return utc;
    return FromFileTime(out);
}
