// Entry sources of the ZIP writer.
#include "zip/zipsource.h"

#include <cstring>
#include <cwchar>

#include "imagelib/fileio.h"
#include "imagelib/textutil.h"
#include "zip/zip.h"
#include "zip/zipcrypt.h"
#include "zip/zipfs.h"
#include "zip/ziptime.h"
#include "zip/zipwriter.h"

namespace {

constexpr uint64_t kMaxSourceSize = 0x7FFFFFFF;
constexpr uint32_t kUnixFile = 0x80000000u, kUnixFolder = 0x40000000u;
constexpr uint32_t kOwnerRead = 0x01000000u, kOwnerWrite = 0x00800000u, kOwnerExecute = 0x00400000u;

void ClearSource(ZipSource* s) { std::memset(s, 0, sizeof *s); }

// The source's data record over a stream (kept open by it) or a memory block.
bool OpenData(ZipSource* s, FILE* stream, const uint8_t* memory, uint32_t length) {
    FileSource from;
    if (stream) {
        InitFileSource(&from, nullptr);
        from.stream = stream;
    } else {
        InitMemorySource(&from, memory, length);
    }
    s->data = OpenPictureFile(&from, kOpenReadBinary);
    return s->data != nullptr;
}

void ReleaseData(ZipSource* s) {
    ClosePictureFile(s->data);
    s->data = nullptr;
    if (s->ownedStream) std::fclose(s->ownedStream);
    s->ownedStream = nullptr;
}

bool ReadAt(FILE* f, int64_t offset, uint8_t* out, size_t n) {
    return SeekStream64(f, offset, SEEK_SET) == 0 && std::fread(out, 1, n, f) == n;
}

// An MZ file whose header offset (at 0x3C) points at an MZ, NE, LE or PE
// signature followed by two zero bytes.
bool IsExecutable(FILE* f, uint64_t size) {
    if (size <= 40) return false;
    uint8_t mz[2], at[4], sig[4];
    if (!ReadAt(f, 0, mz, 2) || mz[0] != 'M' || mz[1] != 'Z') return false;
    if (!ReadAt(f, 0x3C, at, 4)) return false;
    const uint64_t offset = uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
    if (offset + 52 >= size || !ReadAt(f, int64_t(offset), sig, 4)) return false;
    static const char* const kSignatures[4] = {"MZ", "NE", "LE", "PE"};
    for (const char* s : kSignatures)
        if (sig[0] == uint8_t(s[0]) && sig[1] == uint8_t(s[1]) && sig[2] == 0 && sig[3] == 0) return true;
    return false;
}

uint32_t OpenStream(ZipWriter* w, FILE* handle, uint32_t length, const wchar_t* path) {
    ZipSource* s = &w->source;
    ClearSource(s);
    if (!handle) return kZipBadArguments;
    uint64_t position;
    if (ZipStreamCanSeek(handle, &position)) {
        uint64_t size;
        const uint32_t info = GetSourceFileInfo(handle, path, &s->attributes, &size, &s->dosTime);
        if (info != kZipOk) return info;
        if (size > kMaxSourceSize) return kZipTooLarge;
        s->size = int32_t(size);
        if (SeekStream64(handle, 0, SEEK_SET) != 0) return kZipCannotOpen;
    } else {
        if (length > kMaxSourceSize) return kZipTooLarge;
        s->attributes = kZipStreamAttributes;
        s->size = length ? int32_t(length) : -1;
        s->dosTime = CurrentDosTime();
    }
    return OpenData(s, handle, nullptr, 0) ? kZipOk : kZipNoMemory;
}

}  // namespace

uint32_t GetSourceFileInfo(FILE* handle, const wchar_t* path, uint32_t* attributes, uint64_t* size, uint32_t* dosTime) {
    WideFileInfo info;
    if (handle) {
        if (StatStream(handle, &info) != 0) return kZipCannotOpen;
        WideFileInfo byName;
        if (path && StatWidePath(path, &byName) == 0) info.dosAttributes = byName.dosAttributes;
    } else if (!path || StatWidePath(path, &info) != 0) {
        return kZipCannotOpen;
    }
    const bool readOnly = info.dosAttributes & 0x01;
    uint32_t unix = (info.isFolder ? kUnixFolder : kUnixFile) | kOwnerRead;
    if (!readOnly) unix |= kOwnerWrite;
    if (handle && !info.isFolder && IsExecutable(handle, info.size)) unix |= kOwnerExecute;
    *attributes = unix | (info.dosAttributes & 0xFF);
    *size = info.size;
    *dosTime = UnixTimeToDosTime(info.writeTime);
    return kZipOk;
}

uint32_t OpenSourceFile(ZipWriter* w, const wchar_t* fileName) {
    ClearSource(&w->source);
    if (!fileName || !*fileName) return kZipBadArguments;
    FILE* f = OpenWidePath(fileName, "rb");
    if (!f) return kZipCannotOpen;
    const uint32_t result = OpenStream(w, f, 0, fileName);
    if (result != kZipOk) {
        ReleaseData(&w->source);
        std::fclose(f);
        ClearSource(&w->source);
        return result;
    }
    w->source.ownedStream = f;
    return kZipOk;
}

uint32_t OpenSourceHandle(ZipWriter* w, FILE* handle, uint32_t length) {
    const uint32_t result = OpenStream(w, handle, length, nullptr);
    if (result != kZipOk) ClearSource(&w->source);
    return result;
}

uint32_t OpenSourceMemory(ZipWriter* w, const void* address, uint32_t length) {
    ZipSource* s = &w->source;
    ClearSource(s);
    if (!address || length == 0) return kZipBadArguments;
    if (length > kMaxSourceSize) return kZipTooLarge;
    if (!OpenData(s, nullptr, static_cast<const uint8_t*>(address), length)) return kZipNoMemory;
    s->size = int32_t(length);
    s->attributes = kZipStreamAttributes;
    s->dosTime = CurrentDosTime();
    return kZipOk;
}

uint32_t OpenSourceFolder(ZipWriter* w) {
    ZipSource* s = &w->source;
    ClearSource(s);
    s->attributes = kZipFolderAttributes;
    s->dosTime = CurrentDosTime();
    return kZipOk;
}

uint32_t ReadSource(void* writer, uint8_t* buffer, uint32_t size) {
    auto* w = static_cast<ZipWriter*>(writer);
    ZipSource* s = &w->source;
    if (!s->data) {
        if (!w->error) w->error = kZipInUse;
        return 0;
    }
    const uint32_t n = uint32_t(ReadFileBytes(s->data, buffer, size));
    if (s->data->error) s->readError = 1;
    if (uint64_t(s->bytesRead) + n > kMaxSourceSize) {
        s->tooLarge = 1;
        return 0;
    }
    s->bytesRead += n;
    s->crc = ZipCrc32(s->crc, buffer, n);
    return n;
}

uint32_t CloseSource(ZipWriter* w) {
    ZipSource* s = &w->source;
    ReleaseData(s);
    if (s->size == -1) {
        s->size = int32_t(s->bytesRead);
        return kZipOk;
    }
    const bool differs = uint32_t(s->size) != s->bytesRead;
    s->size = int32_t(s->bytesRead);
    return differs ? kZipSizeMismatch : kZipOk;
}

bool IsStoreOnlyName(const wchar_t* name) {
    if (!name) return false;
    const wchar_t* dot = std::wcsrchr(name, L'.');
    if (!dot || std::wcslen(dot) > 4) return false;
    wchar_t suffix[8];
    CopyWideTextBounded(suffix, 8, dot);
    LowerWideText(suffix);
    static const wchar_t* const kSuffixes[] = {L".z", L".zip", L".zoo", L".arc", L".lzh", L".arj", L".gz", L".tgz"};
    for (const wchar_t* known : kSuffixes)
        if (std::wcscmp(suffix, known) == 0) return true;
    return false;
}
