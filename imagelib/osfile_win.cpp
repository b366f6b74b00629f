// The file calls of osfile.h over the Windows API and its C runtime.
#include "osfile.h"

#include <windows.h>

#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <sys/utime.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

std::wstring NativeSeparators(const wchar_t* path) { return std::wstring(path ? path : L""); }

std::wstring SystemTempFolder() {
    const wchar_t* env = _wgetenv(L"TEMP");
    if (!env || !*env) env = _wgetenv(L"TMP");
    std::wstring folder = (env && *env) ? env : L"\\Temp";
    if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder;
}

FILE* OpenWidePath(const wchar_t* path, const char* mode) {
    if (!path || !*path) return nullptr;
    wchar_t wmode[8];
    size_t i = 0;
    for (; mode[i] && i + 1 < sizeof wmode / sizeof *wmode; ++i) wmode[i] = wchar_t(mode[i]);
    wmode[i] = L'\0';
    return _wfopen(path, wmode);
}

int WidePathExists(const wchar_t* path) {
    if (!path || !*path) return 0;
    return _waccess(path, 0) == 0;
}

int WidePathIsPlainFile(const wchar_t* path) {
    if (!path || !*path) return 0;
    struct _stat64 st;
    return _wstat64(path, &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
}

int WidePathIsLink(const wchar_t* path) {
    if (!path || !*path) return 0;
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? 1 : 0;
}

int SeekStream64(FILE* stream, int64_t offset, int origin) { return _fseeki64(stream, offset, origin) == 0 ? 0 : -1; }

int64_t TellStream64(FILE* stream) { return _ftelli64(stream); }

bool StreamIsRegularFile(FILE* stream) {
    struct _stat64 st;
    return _fstat64(_fileno(stream), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
}

int CreateExclusiveFile(const wchar_t* path, bool /*isPrivate*/) {
    int fd = -1;
    if (_wsopen_s(&fd, path, _O_CREAT | _O_EXCL | _O_RDWR | _O_BINARY, _SH_DENYNO, _S_IREAD | _S_IWRITE) != 0)
        return errno == EEXIST ? 0 : -1;
    _close(fd);
    return 1;
}

int RemoveWidePath(const wchar_t* path) {
    if (!path || !*path) return -1;
    return _wremove(path) == 0 ? 0 : -1;
}

int RenameWidePath(const wchar_t* oldPath, const wchar_t* newPath) { return _wrename(oldPath, newPath) == 0 ? 0 : -1; }

int MakeWideFolder(const wchar_t* path) {
    if (!path || !*path) return -1;
    if (_wmkdir(path) == 0) return 0;
    WideFileInfo info;
    return StatWidePath(path, &info) == 0 && info.isFolder ? 0 : -1;
}

int64_t FreeSpaceAt(const wchar_t* path) {
    if (!path || !*path) return -1;
    std::wstring folder(path);
    const size_t cut = folder.find_last_of(L"\\/");
    folder = cut == std::wstring::npos ? L"." : folder.substr(0, cut + 1);
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return -1;
    return available.QuadPart > uint64_t(INT64_MAX) ? INT64_MAX : int64_t(available.QuadPart);
}

int StatWidePath(const wchar_t* path, WideFileInfo* info) {
    if (!path || !*path) return -1;
    // The find record carries the hidden, system and archive bits that stat
    // does not. A trailing separator would make it look inside a folder.
    std::wstring p(path);
    while (p.size() > 1 && (p.back() == L'\\' || p.back() == L'/')) p.pop_back();
    struct _wfinddata64_t found;
    const intptr_t h = _wfindfirst64(p.c_str(), &found);
    if (h == -1) return -1;
    _findclose(h);
    info->dosAttributes = found.attrib & 0x37;
    info->isFolder = (found.attrib & _A_SUBDIR) != 0;
    info->size = static_cast<uint64_t>(found.size);
    info->writeTime = found.time_write;
    return 0;
}

int StatStream(FILE* stream, WideFileInfo* info) {
    if (!stream) return -1;
    struct _stat64 st;
    if (_fstat64(_fileno(stream), &st) != 0) return -1;
    info->isFolder = (st.st_mode & _S_IFDIR) != 0;
    info->dosAttributes = (info->isFolder ? 0x10u : 0x20u) | ((st.st_mode & _S_IWRITE) ? 0u : 0x01u);
    info->size = static_cast<uint64_t>(st.st_size);
    info->writeTime = static_cast<int64_t>(st.st_mtime);
    return 0;
}

int SetWidePathTime(const wchar_t* path, int64_t writeTime) {
    if (!path || !*path) return -1;
    struct __utimbuf64 times = {writeTime, writeTime};
    return _wutime64(path, &times) == 0 ? 0 : -1;
}

int SetStreamTime(FILE* stream, int64_t writeTime) {
    if (!stream || std::fflush(stream) != 0) return -1;
    struct __utimbuf64 times = {writeTime, writeTime};
    return _futime64(_fileno(stream), &times) == 0 ? 0 : -1;
}

namespace {

// FlushFileBuffers on the closed file, reopened for writing; 0 done.
int FlushToDisk(const wchar_t* path) {
    HANDLE h = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    const BOOL flushed = FlushFileBuffers(h);
    CloseHandle(h);
    return flushed ? 0 : -1;
}

}  // namespace

int ResolveLinks(const wchar_t* path, std::wstring* out) {
    if (!path || !*path) return -1;
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        *out = path;
        return 0;
    }
    // Opening follows the link; the handle's final path is where it leads.
    HANDLE h = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    std::wstring resolved(32768, L'\0');
    const DWORD n = GetFinalPathNameByHandleW(h, &resolved[0], DWORD(resolved.size()), VOLUME_NAME_DOS);
    CloseHandle(h);
    if (n == 0 || n >= resolved.size()) return -1;
    resolved.resize(n);
    // "\\?\C:\..." and "\\?\UNC\server\..." back to their usual forms.
    if (resolved.compare(0, 8, L"\\\\?\\UNC\\") == 0) resolved = L"\\" + resolved.substr(7);
    else if (resolved.compare(0, 4, L"\\\\?\\") == 0) resolved = resolved.substr(4);
    *out = resolved;
    return 0;
}

namespace {

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

}  // namespace

int GetFileProtection(const wchar_t* path, FileProtection* protection) {
    if (!path || !*path) return -1;
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return -1;
    protection->bits = attributes & kKeptAttributes;
    protection->owner = protection->group = -1;
    return 0;
}

int64_t HardLinkCount(const wchar_t* path) {
    if (!path || !*path) return -1;
    const HANDLE h = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return known ? int64_t(info.nNumberOfLinks) : -1;
}

int SetFileProtection(const wchar_t* path, const FileProtection& protection) {
    if (!path || !*path) return -1;
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return -1;
    const DWORD wanted = (attributes & ~kKeptAttributes) | (protection.bits & kKeptAttributes);
    return wanted == attributes || SetFileAttributesW(path, wanted) ? 0 : -1;
}

int ReplaceFileDurably(const wchar_t* temp, const wchar_t* target, bool targetMustExist) {
    if (!temp || !*temp || !target || !*target) return -1;
    if (ReplaceStepFails(ReplaceStep::kFlushData) || FlushToDisk(temp) != 0) return -1;
    if (targetMustExist && GetFileAttributesW(target) == INVALID_FILE_ATTRIBUTES) return -1;
    if (!ReplaceStepFails(ReplaceStep::kReplace) &&
        MoveFileExW(temp, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    // Where the move is refused (a file system or a sharing mode it cannot
    // handle), ReplaceFileW swaps the files in one step; it needs a target.
    if (GetFileAttributesW(target) == INVALID_FILE_ATTRIBUTES) return -1;
    if (ReplaceStepFails(ReplaceStep::kReplaceAgain)) return -1;
    return ReplaceFileW(target, temp, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) ? 0 : -1;
}
