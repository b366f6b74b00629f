// The ZIP layer's file helpers over imagelib's file layer.
#include "zipfs.h"

#include <new>
#include <string>

#include "imagelib/fileio.h"
#include "imagelib/textutil.h"

FILE* ZipOpenReplacement(const wchar_t* path, FileReplacement** replacement, FileReplacement::Links links) {
    *replacement = nullptr;
    if (!path || !*path) return nullptr;
    const std::wstring target = NativeSeparators(path);
    auto* r = new (std::nothrow) FileReplacement;
    if (!r) return nullptr;
    FILE* f = nullptr;
    switch (r->Begin(target, L"zp", links)) {
        case FileReplacement::kReady:
            f = OpenWidePath(r->temp().c_str(), "wb");
            break;
        case FileReplacement::kNotAFile:
            f = OpenWidePath(target.c_str(), "wb");
            delete r;
            return f;
        default:
            break;
    }
    if (!f) {
        delete r;
        return nullptr;
    }
    *replacement = r;
    return f;
}

int ZipEndReplacement(FileReplacement** replacement, bool keep) {
    if (!*replacement) return 0;
    const int result = keep && (*replacement)->Commit() != 0 ? -1 : 0;
    delete *replacement;  // removes a new file not committed
    *replacement = nullptr;
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
