// Win32 tests: a test folder removed with everything in it, read-only files
// too; links in it go themselves, never what they point to.
#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

// `folder` ends with its "\".
inline void RemoveFolderTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    const HANDLE listing = FindFirstFileW((folder + L"*").c_str(), &data);
    if (listing != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const DWORD attributes = data.dwFileAttributes;
            SetFileAttributesW((folder + name).c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveFolderTree(folder + name + L"\\");
            else if (attributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW((folder + name).c_str());
            else
                DeleteFileW((folder + name).c_str());
        } while (FindNextFileW(listing, &data));
        FindClose(listing);
    }
    RemoveDirectoryW(folder.substr(0, folder.size() - 1).c_str());
}

}  // namespace testing_support
