// What the browser model needs of the operating system, one implementation
// per system (system_posix.cpp, system_win.cpp): folder listings, a single
// file's listing record and local file times.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shell/filelist.h"

// The system's directory listing (a FolderLister). Symbolic links and
// reparse points carry kAttributeLink.
bool SystemListFolder(const std::wstring& folder, FileNameFilter wanted, std::vector<FolderItem>* items);

// The listing record of one path; false when nothing is there.
bool SystemLookupFile(const std::wstring& path, FolderItem* item);

// A FILETIME (UTC) as local time, by the system's time-zone rules.
uint64_t FileTimeToLocalTime(uint64_t utc);
