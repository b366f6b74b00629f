// File-system boundary of the ZIP layer over the C runtime.
#include "zipfs.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include "imagelib/fileio.h"
#include "imagelib/textutil.h"

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/utime.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The path with the separators of the platform: outside Windows "\" becomes
// "/".
std::wstring NativeSeparators(const wchar_t* path) {
    std::wstring p(path);
#ifndef _WIN32
    for (wchar_t& c : p)
        if (c == L'\\') c = L'/';
#endif
    return p;
}

#ifndef _WIN32
// Outside Windows the separators become "/" and the path UTF-8.
std::string NativePath(const wchar_t* path) { return WideToUtf8(NativeSeparators(path).c_str()); }

int SetTimes(int fd, const char* path, int64_t writeTime) {
    struct timespec times[2];
    times[0].tv_sec = static_cast<time_t>(writeTime);
    times[0].tv_nsec = 0;
    times[1] = times[0];
    return path ? utimensat(AT_FDCWD, path, times, 0) : futimens(fd, times);
}
#endif

}  // namespace

FILE* ZipOpenPath(const wchar_t* path, bool forWriting) {
    if (!path || !*path) return nullptr;
#ifdef _WIN32
    return OpenWidePath(path, forWriting ? "wb" : "rb");
#else
    return std::fopen(NativePath(path).c_str(), forWriting ? "wb" : "rb");
#endif
}

FILE* ZipOpenReplacement(const wchar_t* path, wchar_t** temp) {
    *temp = nullptr;
    if (!path || !*path) return nullptr;
    const std::wstring target = NativeSeparators(path);
    if (WidePathExists(target.c_str())) {
        if (!WidePathIsPlainFile(target.c_str())) return ZipOpenPath(path, true);
        // A file that could not be opened for writing is not replaced either
        // (appending opens it without emptying it).
        FILE* probe = OpenWidePath(target.c_str(), "ab");
        if (!probe) return nullptr;
        std::fclose(probe);
    }
    const std::wstring sibling = SiblingName(target, L"zp");
    if (sibling.empty()) return nullptr;
    FILE* f = ZipOpenPath(sibling.c_str(), true);
    if (f) *temp = DuplicateWideText(sibling.c_str());
    if (!*temp) {
        if (f) std::fclose(f);
        ZipRemoveFile(sibling.c_str());
        return nullptr;
    }
    return f;
}

int ZipEndReplacement(wchar_t** temp, const wchar_t* path, bool keep) {
    if (!*temp) return 0;
    int result = 0;
    if (!keep || !path || ReplaceWithTemp(*temp, NativeSeparators(path)) != 0) {
        ZipRemoveFile(*temp);
        result = keep ? -1 : 0;
    }
    std::free(*temp);
    *temp = nullptr;
    return result;
}

int ZipMakeFolder(const wchar_t* path) {
    if (!path || !*path) return -1;
#ifdef _WIN32
    const int made = _wmkdir(path);
#else
    const int made = mkdir(NativePath(path).c_str(), 0777);
#endif
    if (made == 0) return 0;
    return ZipPathIsFolder(path) ? 0 : -1;
}

int ZipRemoveFile(const wchar_t* path) {
    if (!path || !*path) return -1;
#ifdef _WIN32
    return _wremove(path) == 0 ? 0 : -1;
#else
    return std::remove(NativePath(path).c_str()) == 0 ? 0 : -1;
#endif
}

bool ZipPathIsFolder(const wchar_t* path) {
    ZipFileInfo info;
    return ZipStatPath(path, &info) == 0 && info.isFolder;
}

int ZipStatPath(const wchar_t* path, ZipFileInfo* info) {
    if (!path || !*path) return -1;
#ifdef _WIN32
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
#else
    struct stat st;
    if (stat(NativePath(path).c_str(), &st) != 0) return -1;
    info->isFolder = S_ISDIR(st.st_mode);
    info->dosAttributes = (info->isFolder ? 0x10u : 0x20u) | ((st.st_mode & S_IWUSR) ? 0u : 0x01u);
    info->size = static_cast<uint64_t>(st.st_size);
    info->writeTime = static_cast<int64_t>(st.st_mtime);
    return 0;
#endif
}

int ZipStatStream(FILE* stream, ZipFileInfo* info) {
    if (!stream) return -1;
#ifdef _WIN32
    struct _stat64 st;
    if (_fstat64(_fileno(stream), &st) != 0) return -1;
    info->isFolder = (st.st_mode & _S_IFDIR) != 0;
    info->dosAttributes = (info->isFolder ? 0x10u : 0x20u) | ((st.st_mode & _S_IWRITE) ? 0u : 0x01u);
#else
    struct stat st;
    if (fstat(fileno(stream), &st) != 0) return -1;
    info->isFolder = S_ISDIR(st.st_mode);
    info->dosAttributes = (info->isFolder ? 0x10u : 0x20u) | ((st.st_mode & S_IWUSR) ? 0u : 0x01u);
#endif
    info->size = static_cast<uint64_t>(st.st_size);
    info->writeTime = static_cast<int64_t>(st.st_mtime);
    return 0;
}

int ZipSetPathTime(const wchar_t* path, int64_t writeTime) {
    if (!path || !*path) return -1;
#ifdef _WIN32
    struct __utimbuf64 times = {writeTime, writeTime};
    return _wutime64(path, &times) == 0 ? 0 : -1;
#else
    return SetTimes(-1, NativePath(path).c_str(), writeTime) == 0 ? 0 : -1;
#endif
}

int ZipSetStreamTime(FILE* stream, int64_t writeTime) {
    if (!stream || std::fflush(stream) != 0) return -1;
#ifdef _WIN32
    struct __utimbuf64 times = {writeTime, writeTime};
    return _futime64(_fileno(stream), &times) == 0 ? 0 : -1;
#else
    return SetTimes(fileno(stream), nullptr, writeTime) == 0 ? 0 : -1;
#endif
}

int ZipSeekStream(FILE* stream, int64_t offset, int origin) {
#ifdef _WIN32
    return _fseeki64(stream, offset, origin) == 0 ? 0 : -1;
#else
    return fseeko(stream, static_cast<off_t>(offset), origin) == 0 ? 0 : -1;
#endif
}

int64_t ZipTellStream(FILE* stream) {
#ifdef _WIN32
    return _ftelli64(stream);
#else
    return static_cast<int64_t>(ftello(stream));
#endif
}

// Only regular files count: on some systems a seek on a pipe "succeeds".
static bool IsRegularFile(FILE* stream) {
#ifdef _WIN32
    struct _stat64 st;
    return _fstat64(_fileno(stream), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
#else
    struct stat st;
    return fstat(fileno(stream), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

bool ZipStreamCanSeek(FILE* stream, uint64_t* position) {
    *position = 0;
    if (!stream || !IsRegularFile(stream) || ZipSeekStream(stream, 0, SEEK_CUR) != 0) return false;
    const int64_t at = ZipTellStream(stream);
    if (at < 0) return false;
    *position = static_cast<uint64_t>(at);
    return true;
}
