// The ZIP layer's file helpers over imagelib's file layer.
#include "zipfs.h"

#include <cstdlib>
#include <string>

#include "imagelib/fileio.h"
#include "imagelib/textutil.h"

FILE* ZipOpenReplacement(const wchar_t* path, wchar_t** temp) {
    *temp = nullptr;
    if (!path || !*path) return nullptr;
    const std::wstring target = NativeSeparators(path);
    if (WidePathExists(target.c_str())) {
        if (!WidePathIsPlainFile(target.c_str())) return OpenWidePath(target.c_str(), "wb");
        // A file that could not be opened for writing is not replaced either
        // (appending opens it without emptying it).
        FILE* probe = OpenWidePath(target.c_str(), "ab");
        if (!probe) return nullptr;
        std::fclose(probe);
    }
    const std::wstring sibling = SiblingName(target, L"zp");
    if (sibling.empty()) return nullptr;
    FILE* f = OpenWidePath(sibling.c_str(), "wb");
    if (f) *temp = DuplicateWideText(sibling.c_str());
    if (!*temp) {
        if (f) std::fclose(f);
        RemoveWidePath(sibling.c_str());
        return nullptr;
    }
    return f;
}

int ZipEndReplacement(wchar_t** temp, const wchar_t* path, bool keep) {
    if (!*temp) return 0;
    int result = 0;
    if (!keep || !path || ReplaceWithTemp(*temp, NativeSeparators(path)) != 0) {
        RemoveWidePath(*temp);
        result = keep ? -1 : 0;
    }
    std::free(*temp);
    *temp = nullptr;
    return result;
}

bool ZipPathIsFolder(const wchar_t* path) {
    WideFileInfo info;
    return StatWidePath(path, &info) == 0 && info.isFolder;
}

bool ZipStreamCanSeek(FILE* stream, uint64_t* position) {
    *position = 0;
    // Only regular files count: on some systems a seek on a pipe "succeeds".
    if (!stream || !StreamIsRegularFile(stream) || SeekStream64(stream, 0, SEEK_CUR) != 0) return false;
    const int64_t at = TellStream64(stream);
    if (at < 0) return false;
    *position = static_cast<uint64_t>(at);
    return true;
}
