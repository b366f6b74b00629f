// The ZIP layer's file-system boundary: opening, creating folders, removing,
// attributes, sizes and times of files named by wide paths or open streams.
//
// C runtime only (no platform headers). Outside Windows, "\" in a path is
// taken as a separator and becomes "/" here, so the same relative names and
// base folders work on both targets.
#pragma once

#include <cstdint>
#include <cstdio>

struct ZipFileInfo {
    uint32_t dosAttributes;  // 0x01 read-only, 0x02 hidden, 0x04 system, 0x10 folder, 0x20 archive
    bool isFolder;
    uint64_t size;
    int64_t writeTime;       // seconds since 1970, UTC
};

// fopen with "rb" or "wb".
FILE* ZipOpenPath(const wchar_t* path, bool forWriting);
// Writing a file by name without losing the one already there. Opens a new
// file beside `path` for writing; *temp gets its name (malloc'd). A path
// that names something other than a plain file (a device, a link) is opened
// itself, leaving *temp null. Null when the file cannot be made, or when the
// existing file could not be opened for writing.
FILE* ZipOpenReplacement(const wchar_t* path, wchar_t** temp);
// Ends a replacement after its stream was closed: with `keep`, moves the new
// file over `path` (0 done; -1 when it could not, and then the new file is
// removed); without, removes the new file. Frees and clears *temp; nothing to
// do when it is null.
int ZipEndReplacement(wchar_t** temp, const wchar_t* path, bool keep);
// 0 when the folder was made or already exists as a folder.
int ZipMakeFolder(const wchar_t* path);
// 0 when removed.
int ZipRemoveFile(const wchar_t* path);
bool ZipPathIsFolder(const wchar_t* path);
// 0 done, -1 when the file cannot be examined.
int ZipStatPath(const wchar_t* path, ZipFileInfo* info);
int ZipStatStream(FILE* stream, ZipFileInfo* info);
// Sets the access and write times (seconds since 1970, UTC); 0 done.
int ZipSetPathTime(const wchar_t* path, int64_t writeTime);
int ZipSetStreamTime(FILE* stream, int64_t writeTime);

// 64-bit stream positioning. ZipSeekStream returns 0 when done.
int ZipSeekStream(FILE* stream, int64_t offset, int origin);
int64_t ZipTellStream(FILE* stream);
// True when the stream can seek; *position gets its current position.
bool ZipStreamCanSeek(FILE* stream, uint64_t* position);
