// The file calls of osfile.h over POSIX.
#include "osfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "textutil.h"

namespace {

std::string NativePath(const wchar_t* path) { return WideToUtf8(NativeSeparators(path).c_str()); }

// Runs `call`, which converts paths (and so may run out of memory): callers
// are C-style, so out of memory becomes `failure` with errno ENOMEM.
template <class Call, class Result>
Result Guarded(Call call, Result failure) {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return failure;
    }
}

int SetTimes(int fd, const char* path, int64_t writeTime) {
    struct timespec times[2];
    times[0].tv_sec = static_cast<time_t>(writeTime);
    times[0].tv_nsec = 0;
    times[1] = times[0];
    return path ? utimensat(AT_FDCWD, path, times, 0) : futimens(fd, times);
}

void FillInfo(const struct stat& st, WideFileInfo* info) {
    info->isFolder = S_ISDIR(st.st_mode);
    info->dosAttributes = (info->isFolder ? 0x10u : 0x20u) | ((st.st_mode & S_IWUSR) ? 0u : 0x01u);
    info->size = static_cast<uint64_t>(st.st_size);
    info->writeTime = static_cast<int64_t>(st.st_mtime);
}

// fsync of the file or folder at `path`; 0 done.
int SyncPath(const std::string& path, int flags) {
    const int fd = open(path.c_str(), flags);
    if (fd < 0) return -1;
    const int synced = fsync(fd);
    return (close(fd) == 0 && synced == 0) ? 0 : -1;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

int ReplaceNativePaths(const std::string& from, const std::string& to, bool toMustExist);

}  // namespace

std::wstring NativeSeparators(const wchar_t* path) {
    std::wstring p(path ? path : L"");
    for (wchar_t& c : p)
        if (c == L'\\') c = L'/';
    return p;
}

std::wstring SystemTempFolder() {
    const char* env = std::getenv("TMPDIR");
    std::wstring folder = Utf8ToWide((env && *env) ? env : "/tmp");
    if (folder.empty() || folder.back() != L'/') folder += L'/';
    return folder;
}

FILE* OpenWidePath(const wchar_t* path, const char* mode) {
    if (!path || !*path) return nullptr;
    return Guarded([&] { return std::fopen(NativePath(path).c_str(), mode); }, static_cast<FILE*>(nullptr));
}

int WidePathExists(const wchar_t* path) {
    if (!path || !*path) return 0;
    return Guarded([&] { return access(NativePath(path).c_str(), F_OK) == 0 ? 1 : 0; }, 0);
}

int WidePathIsPlainFile(const wchar_t* path) {
    if (!path || !*path) return 0;
    struct stat st;
    return Guarded([&] { return lstat(NativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode) ? 1 : 0; }, 0);
}

int WidePathIsLink(const wchar_t* path) {
    if (!path || !*path) return 0;
    struct stat st;
    return Guarded([&] { return lstat(NativePath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode) ? 1 : 0; }, 0);
}

int SeekStream64(FILE* stream, int64_t offset, int origin) {
    return fseeko(stream, static_cast<off_t>(offset), origin) == 0 ? 0 : -1;
}

int64_t TellStream64(FILE* stream) { return static_cast<int64_t>(ftello(stream)); }

bool StreamIsRegularFile(FILE* stream) {
    struct stat st;
    return fstat(fileno(stream), &st) == 0 && S_ISREG(st.st_mode);
}

int CreateExclusiveFile(const wchar_t* path, bool isPrivate) {
    const int fd = Guarded(
        [&] { return open(NativePath(path).c_str(), O_CREAT | O_EXCL | O_RDWR, isPrivate ? 0600 : 0666); }, -1);
    if (fd < 0) return errno == EEXIST ? 0 : -1;
    close(fd);
    return 1;
}

int RemoveWidePath(const wchar_t* path) {
    if (!path || !*path) return -1;
    return Guarded([&] { return std::remove(NativePath(path).c_str()) == 0 ? 0 : -1; }, -1);
}

int RenameWidePath(const wchar_t* oldPath, const wchar_t* newPath) {
    return Guarded([&] { return std::rename(NativePath(oldPath).c_str(), NativePath(newPath).c_str()) == 0 ? 0 : -1; },
                   -1);
}

int MakeWideFolder(const wchar_t* path) {
    if (!path || !*path) return -1;
    if (Guarded([&] { return mkdir(NativePath(path).c_str(), 0777); }, -1) == 0) return 0;
    WideFileInfo info;
    return StatWidePath(path, &info) == 0 && info.isFolder ? 0 : -1;
}

int64_t FreeSpaceAt(const wchar_t* path) {
    if (!path || !*path) return -1;
    struct statvfs vfs;
    if (Guarded([&] { return statvfs(FolderOf(NativePath(path)).c_str(), &vfs); }, -1) != 0) return -1;
    const uint64_t bytes = uint64_t(vfs.f_bavail) * uint64_t(vfs.f_frsize);
    return bytes > uint64_t(INT64_MAX) ? INT64_MAX : int64_t(bytes);
}

int StatWidePath(const wchar_t* path, WideFileInfo* info) {
    if (!path || !*path) return -1;
    struct stat st;
    if (Guarded([&] { return stat(NativePath(path).c_str(), &st); }, -1) != 0) return -1;
    FillInfo(st, info);
    return 0;
}

int StatStream(FILE* stream, WideFileInfo* info) {
    if (!stream) return -1;
    struct stat st;
    if (fstat(fileno(stream), &st) != 0) return -1;
    FillInfo(st, info);
    return 0;
}

int SetWidePathTime(const wchar_t* path, int64_t writeTime) {
    if (!path || !*path) return -1;
    return Guarded([&] { return SetTimes(-1, NativePath(path).c_str(), writeTime) == 0 ? 0 : -1; }, -1);
}

int SetStreamTime(FILE* stream, int64_t writeTime) {
    if (!stream || std::fflush(stream) != 0) return -1;
    return SetTimes(fileno(stream), nullptr, writeTime) == 0 ? 0 : -1;
}

int ResolveLinks(const wchar_t* path, std::wstring* out) {
    if (!path || !*path) return -1;
    return Guarded(
        [&] {
            const std::string native = NativePath(path);
            struct stat st;
            if (lstat(native.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
                *out = path;
                return 0;
            }
            char* real = realpath(native.c_str(), nullptr);
            if (!real) return -1;
            *out = Utf8ToWide(real);
            std::free(real);
            return 0;
        },
        -1);
}

int GetFileProtection(const wchar_t* path, FileProtection* protection) {
    if (!path || !*path) return -1;
    struct stat st;
    if (Guarded([&] { return stat(NativePath(path).c_str(), &st); }, -1) != 0) return -1;
    protection->bits = uint32_t(st.st_mode & 07777);
    protection->owner = int64_t(st.st_uid);
    protection->group = int64_t(st.st_gid);
    return 0;
}

namespace {

// Gives the file the owner and group recorded, or where the owner cannot be
// given (a process that is not root), the group alone; where neither may be
// given the file stays the process's own.
void GiveOwnership(const std::string& native, const FileProtection& protection) {
    if (protection.owner < 0 || protection.group < 0) return;
    const uid_t owner = uid_t(protection.owner);
    const gid_t group = gid_t(protection.group);
    struct stat st;
    if (stat(native.c_str(), &st) == 0 && st.st_uid == owner && st.st_gid == group) return;
    if (chown(native.c_str(), owner, group) == 0) return;
    if (chown(native.c_str(), uid_t(-1), group) == 0) return;
}

}  // namespace

int SetFileProtection(const wchar_t* path, const FileProtection& protection) {
    if (!path || !*path) return -1;
    return Guarded(
               [&] {
                   const std::string native = NativePath(path);
                   // Owner first: a change of owner may clear the set-id bits
                   // that chmod then puts back.
                   GiveOwnership(native, protection);
                   return chmod(native.c_str(), mode_t(protection.bits & 07777));
               },
               -1) == 0
               ? 0
               : -1;
}

int64_t HardLinkCount(const wchar_t* path) {
    if (!path || !*path) return -1;
    struct stat st;
    if (Guarded([&] { return stat(NativePath(path).c_str(), &st); }, -1) != 0) return -1;
    return int64_t(st.st_nlink);
}

int ReplaceFileDurably(const wchar_t* temp, const wchar_t* target, bool targetMustExist) {
    if (!temp || !*temp || !target || !*target) return -1;
    return Guarded([&] { return ReplaceNativePaths(NativePath(temp), NativePath(target), targetMustExist); }, -1);
}

namespace {

int ReplaceNativePaths(const std::string& from, const std::string& to, bool toMustExist) {
    if (ReplaceStepFails(ReplaceStep::kFlushData) || SyncPath(from, O_RDONLY) != 0) return -1;
    struct stat st;
    if (toMustExist && lstat(to.c_str(), &st) != 0) return -1;
    if (ReplaceStepFails(ReplaceStep::kReplace) || std::rename(from.c_str(), to.c_str()) != 0) return -1;
    // The new name is in place; making the folder entry durable is best
    // effort (some file systems refuse fsync on a folder), never a failure.
    if (!ReplaceStepFails(ReplaceStep::kSyncFolder)) SyncPath(FolderOf(to), O_RDONLY | O_DIRECTORY);
    return 0;
}

}  // namespace
