#include "shell/system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

#include "imagelib/textutil.h"

namespace {

// FILETIME counts 100 ns from 1601-01-01; the Unix epoch is 11644473600 s later.
constexpr int64_t kEpochDifference = 11644473600LL;
constexpr int64_t kTicksPerSecond = 10000000LL;

uint64_t ToFileTime(const struct timespec& t) {
    return uint64_t((int64_t(t.tv_sec) + kEpochDifference) * kTicksPerSecond + t.tv_nsec / 100);
}

// `at` is a directory descriptor the path is relative to, or AT_FDCWD.
bool ItemFromStat(int at, const char* path, std::wstring name, FolderItem* item) {
    struct stat link;
    if (fstatat(at, path, &link, AT_SYMLINK_NOFOLLOW) != 0) return false;
    struct stat target = link;
    const bool isLink = S_ISLNK(link.st_mode);
    if (isLink && fstatat(at, path, &target, 0) != 0) target = link;
    item->name = std::move(name);
    item->attributes = (S_ISDIR(target.st_mode) ? kAttributeFolder : 0) | (isLink ? kAttributeLink : 0);
    item->size = S_ISREG(target.st_mode) ? uint64_t(target.st_size) : 0;
    item->lastWriteTime = ToFileTime(target.st_mtim);
    return true;
}

}  // namespace

bool IsPathSeparator(wchar_t c) { return c == L'/'; }

bool SystemListFolder(const std::wstring& folder, FileNameFilter wanted, std::vector<FolderItem>* items) {
    const std::string base = WideToUtf8(folder.c_str());
    DIR* dir = opendir(base.empty() ? "." : base.c_str());
    if (!dir) return false;
    while (const struct dirent* found = readdir(dir)) {
        std::wstring name = Utf8ToWide(found->d_name);
        // Plain files the caller does not want are not looked at further.
        if (found->d_type == DT_REG && wanted && !wanted(name)) continue;
        FolderItem item;
        if (!ItemFromStat(dirfd(dir), found->d_name, std::move(name), &item)) continue;
        if ((item.attributes & kAttributeFolder) || found->d_type == DT_REG || !wanted || wanted(item.name))
            items->push_back(std::move(item));
    }
    closedir(dir);
    return true;
}

bool SystemLookupFile(const std::wstring& path, FolderItem* item) {
    std::wstring name;
    SplitPathFolderName(path.c_str(), nullptr, &name);
    return ItemFromStat(AT_FDCWD, WideToUtf8(path.c_str()).c_str(), name.empty() ? path : name, item);
}

uint64_t FileTimeToLocalTime(uint64_t utc) {
    const int64_t seconds = int64_t(utc / kTicksPerSecond) - kEpochDifference;
    const time_t when = time_t(seconds);
    struct tm local;
    if (!localtime_r(&when, &local)) return utc;
    return uint64_t(int64_t(utc) + int64_t(local.tm_gmtoff) * kTicksPerSecond);
}
