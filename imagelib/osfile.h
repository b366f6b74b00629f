// The operating system's file calls, behind one small interface: wide paths,
// 64-bit positions, exclusive creation, durable replacement, folders,
// attributes and times. osfile_posix.cpp and osfile_win.cpp implement it;
// everything above (PictureFile, the ZIP layer) is portable and calls only
// these.
//
// Paths are wide strings: UTF-16 on Windows, UTF-8 at the system boundary
// elsewhere, where "\" in a path is also taken as a separator, so the same
// relative names and base folders work on both targets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// `path` with the platform's separators (outside Windows "\" becomes "/").
std::wstring NativeSeparators(const wchar_t* path);

// The system's folder for temporary files with a trailing separator (TEMP or
// TMP on Windows, else "\Temp\"; TMPDIR elsewhere, else "/tmp/").
std::wstring SystemTempFolder();

// Opens a file by wide path with a C mode string, honouring the platform's
// wide-path rules.
FILE* OpenWidePath(const wchar_t* path, const char* mode);
// 1 when a file or folder exists at the path.
int WidePathExists(const wchar_t* path);
// 1 when the path names a plain file: not a folder, device or symbolic link.
int WidePathIsPlainFile(const wchar_t* path);
// 1 when `path` itself is a symbolic link (or, on Windows, any reparse
// point), whatever it leads to; else 0.
int WidePathIsLink(const wchar_t* path);

// 0 done, else non-zero. 64-bit positions.
int SeekStream64(FILE* stream, int64_t offset, int origin);
// -1 when unknown.
int64_t TellStream64(FILE* stream);
// True when the stream is a regular file (pipes and devices are not, even
// where a seek on them "succeeds").
bool StreamIsRegularFile(FILE* stream);

// Creates the file only when nothing is there yet. A private file is for the
// owner only (outside Windows); another gets the permissions any new file
// would. 1 created, 0 something exists there, -1 another failure.
int CreateExclusiveFile(const wchar_t* path, bool isPrivate);
// 0 removed.
int RemoveWidePath(const wchar_t* path);
// A plain rename; 0 done. May fail where `newPath` exists.
int RenameWidePath(const wchar_t* oldPath, const wchar_t* newPath);
// 0 when the folder was made or already exists as a folder.
int MakeWideFolder(const wchar_t* path);

// Bytes free to the caller on the volume that holds `path` (a file that need
// not exist yet: its folder is asked); -1 when that cannot be told.
int64_t FreeSpaceAt(const wchar_t* path);

// The read-only bit of WideFileInfo::dosAttributes.
constexpr uint32_t kWideFileReadOnly = 0x01;

// What the ZIP layer needs to know of a file or folder.
struct WideFileInfo {
    uint32_t dosAttributes;  // 0x01 read-only, 0x02 hidden, 0x04 system, 0x10 folder, 0x20 archive
    bool isFolder;
    uint64_t size;
    int64_t writeTime;       // seconds since 1970, UTC
};
// 0 done, -1 when the file cannot be examined.
int StatWidePath(const wchar_t* path, WideFileInfo* info);
int StatStream(FILE* stream, WideFileInfo* info);
// Sets the access and write times (seconds since 1970, UTC); 0 done. The
// stream is flushed first.
int SetWidePathTime(const wchar_t* path, int64_t writeTime);
int SetStreamTime(FILE* stream, int64_t writeTime);

// Follows a symbolic link at `path` (and any in its folders) to the file it
// leads to; `out` gets that file's path, or `path` itself when it is no link
// or nothing is there yet. -1 when the link leads nowhere or round in a
// circle.
int ResolveLinks(const wchar_t* path, std::wstring* out);

// What a file's replacement takes over from it so that access stays as it
// was: the permission bits, owner and group (POSIX), or the hidden, system
// and not-content-indexed attributes (Windows; a replacement is new data, so
// it keeps its own archive bit).
struct FileProtection {
    uint32_t bits;
    int64_t owner = -1;  // POSIX user and group ids; -1 where there are none
    int64_t group = -1;
};
// 0 done, -1 when the file cannot be examined or changed. The owner and
// group are given back where the process may (a process that is not root
// keeps its own user, and a group only when it belongs to it); that a
// process may not is no failure.
int GetFileProtection(const wchar_t* path, FileProtection* protection);
int SetFileProtection(const wchar_t* path, const FileProtection& protection);

// The number of names (hard links) the file at `path` has; -1 when it
// cannot be told.
int64_t HardLinkCount(const wchar_t* path);

// Replaces `target` with the finished, closed file `temp` so that a crash at
// any moment leaves either the old file or the new one under the target's
// name, never neither: the new file's data reach the disk first, then one
// rename puts it in place (POSIX: fsync, rename, fsync of the folder;
// Windows: FlushFileBuffers, MoveFileExW with REPLACE_EXISTING and
// WRITE_THROUGH, falling back on ReplaceFileW). With `targetMustExist` a
// target that is gone by then is not made again: the call fails. 0 done; on
// failure the target is as it was and `temp` is left for the caller to
// remove.
int ReplaceFileDurably(const wchar_t* temp, const wchar_t* target, bool targetMustExist);

// Fault injection for tests of ReplaceFileDurably: the hook is asked before
// each step and a true answer makes that step fail as the system call would.
enum class ReplaceStep {
    kFlushData,     // the new file's data to the disk (then a target that
                    // must exist is looked for)
    kReplace,       // the atomic rename
    kReplaceAgain,  // Windows: ReplaceFileW after MoveFileExW failed
    kSyncFolder,    // POSIX: the folder entry to the disk (best effort)
};
using ReplaceFaultHook = bool (*)(ReplaceStep step);
// Null removes the hook. Process-wide; for tests only.
void SetReplaceFaultHook(ReplaceFaultHook hook);
// True when the installed hook fails `step`.
bool ReplaceStepFails(ReplaceStep step);
