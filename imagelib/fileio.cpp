// Picture file wrappers over the C runtime's streams, or over memory.
//
// The only platform differences (wide paths, 64-bit offsets, exclusive
// creation) are kept in the few functions at the top; they use the C runtime
// only, never the Windows API.
#include "fileio.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <ctime>
#include <new>
#include <string>

#include "textutil.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// ---------------------------------------------------------------------------
// Platform boundary.

FILE* OpenWidePath(const wchar_t* path, const char* mode) {
    if (!path || !*path) return nullptr;
#ifdef _WIN32
    wchar_t wmode[8];
    size_t i = 0;
    for (; mode[i] && i + 1 < sizeof wmode / sizeof *wmode; ++i) wmode[i] = wchar_t(mode[i]);
    wmode[i] = L'\0';
    return _wfopen(path, wmode);
#else
    // Callers are C-style: no exception may leave (out of memory is ENOMEM).
    try {
        return std::fopen(WideToUtf8(path).c_str(), mode);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return nullptr;
    }
#endif
}

int WidePathExists(const wchar_t* path) {
    if (!path || !*path) return 0;
#ifdef _WIN32
    return _waccess(path, 0) == 0;
#else
    return access(WideToUtf8(path).c_str(), F_OK) == 0;
#endif
}

int WidePathIsPlainFile(const wchar_t* path) {
    if (!path || !*path) return 0;
#ifdef _WIN32
    struct _stat64 st;
    return _wstat64(path, &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
#else
    struct stat st;
    return lstat(WideToUtf8(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

static int SeekStream(FILE* f, int64_t offset, int origin) {
#ifdef _WIN32
    return _fseeki64(f, offset, origin);
#else
    return fseeko(f, static_cast<off_t>(offset), origin);
#endif
}

static int64_t TellStream(FILE* f) {
#ifdef _WIN32
    return _ftelli64(f);
#else
    return static_cast<int64_t>(ftello(f));
#endif
}

// Creates the file only when it does not exist yet; a private file is for
// the owner only (outside Windows), another gets the permissions any new
// file would. 1 created, 0 exists, -1 another failure.
static int CreateExclusive(const wchar_t* path, bool isPrivate) {
#ifdef _WIN32
    (void)isPrivate;
    int fd = -1;
    if (_wsopen_s(&fd, path, _O_CREAT | _O_EXCL | _O_RDWR | _O_BINARY, _SH_DENYNO, _S_IREAD | _S_IWRITE) != 0)
        return errno == EEXIST ? 0 : -1;
    _close(fd);
    return 1;
#else
    const int fd = open(WideToUtf8(path).c_str(), O_CREAT | O_EXCL | O_RDWR, isPrivate ? 0600 : 0666);
    if (fd < 0) return errno == EEXIST ? 0 : -1;
    close(fd);
    return 1;
#endif
}

int DeletePictureFile(const wchar_t* path) {
    if (!path || !*path) return 1;
#ifdef _WIN32
    return _wremove(path) == 0 ? 0 : 1;
#else
    return std::remove(WideToUtf8(path).c_str()) == 0 ? 0 : 1;
#endif
}

int MovePictureFile(const wchar_t* oldPath, const wchar_t* newPath) {
    if (!oldPath || !newPath || !*oldPath || !*newPath) return 1;
#ifdef _WIN32
    return _wrename(oldPath, newPath) == 0 ? 0 : 1;
#else
    return std::rename(WideToUtf8(oldPath).c_str(), WideToUtf8(newPath).c_str()) == 0 ? 0 : 1;
#endif
}

size_t GetTempFolder(wchar_t* buffer, size_t capacity) {
    if (!buffer || capacity < 2) return 0;
    std::wstring folder;
#ifdef _WIN32
    const wchar_t* env = _wgetenv(L"TEMP");
    if (!env || !*env) env = _wgetenv(L"TMP");
    folder = (env && *env) ? env : L"\\Temp";
    if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
#else
    const char* env = std::getenv("TMPDIR");
    folder = Utf8ToWide((env && *env) ? env : "/tmp");
    if (folder.back() != L'/') folder += L'/';
#endif
    if (folder.size() + 1 > capacity) {
        buffer[0] = L'\0';
        return 0;
    }
    CopyWideTextBounded(buffer, capacity, folder.c_str());
    return folder.size();
}

uint32_t MakeTempFileName(wchar_t* buffer, size_t capacity) {
    wchar_t folder[261];
    if (!buffer || capacity == 0 || GetTempFolder(folder, 261) == 0) {
        if (buffer && capacity) buffer[0] = L'\0';
        return 0;
    }
    // Start from a value that differs between processes and calls; probe
    // forward until an exclusive create succeeds.
    static uint32_t counter = 0;
    uint32_t seed = static_cast<uint32_t>(std::time(nullptr)) ^ static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&folder));
    seed = (seed ^ (++counter * 0x9E3779B9u)) & 0xFFFF;
    for (uint32_t attempt = 0; attempt < 0x10000; ++attempt) {
        const uint32_t unique = ((seed + attempt) & 0xFFFF) ? ((seed + attempt) & 0xFFFF) : 1;
        wchar_t name[32];
        std::swprintf(name, 32, L"x_%X.tmp", unique);
        const std::wstring path = std::wstring(folder) + name;
        if (path.size() + 1 > capacity) break;
        const int made = CreateExclusive(path.c_str(), true);
        if (made == 1) {
            CopyWideTextBounded(buffer, capacity, path.c_str());
            return unique;
        }
        if (made < 0) break;
    }
    buffer[0] = L'\0';
    return 0;
}

static std::atomic<uint32_t> g_tempCounter{0};

std::wstring SiblingName(const std::wstring& name, const wchar_t* tag) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        wchar_t suffix[32];
        std::swprintf(suffix, 32, L".~%ls%X", tag, unsigned(g_tempCounter.fetch_add(1)) & 0xFFFFF);
        std::wstring candidate = name + suffix;
        const int made = CreateExclusive(candidate.c_str(), false);
        if (made == 1) return candidate;
        if (made < 0) break;
    }
    return std::wstring();
}

int ReplaceWithTemp(const std::wstring& temp, const std::wstring& final) {
    if (MovePictureFile(temp.c_str(), final.c_str()) == 0) return 0;
    if (!WidePathExists(final.c_str())) return 1;
    const std::wstring aside = SiblingName(final, L"old");
    if (aside.empty()) return 1;
    // The reservation only keeps the name: a rename does not land on an
    // existing file everywhere.
    DeletePictureFile(aside.c_str());
    if (MovePictureFile(final.c_str(), aside.c_str()) != 0) return 1;
    if (MovePictureFile(temp.c_str(), final.c_str()) != 0) {
        MovePictureFile(aside.c_str(), final.c_str());
        return 1;
    }
    DeletePictureFile(aside.c_str());
    return 0;
}

// ---------------------------------------------------------------------------
// Byte order.

uint32_t Swap16(uint32_t v) { return ((v & 0xFF) << 8) | ((v >> 8) & 0xFF); }
uint32_t Swap32(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}
uint32_t OrderSwap16(uint32_t v) { return Swap16(v); }
uint32_t OrderSwap32(uint32_t v) { return Swap32(v); }
uint32_t OrderKeep16(uint32_t v) { return v; }
uint32_t OrderKeep32(uint32_t v) { return v; }

const ByteOrderSet kLittleEndianOrder = {ReadUInt16Le, ReadUInt32Le, OrderKeep16, OrderKeep32};
const ByteOrderSet kBigEndianOrder = {ReadUInt16Be, ReadUInt32Be, OrderSwap16, OrderSwap32};

// ---------------------------------------------------------------------------
// Opening and closing.

void InitFileSource(FileSource* source, const wchar_t* path) {
    std::memset(source, 0, sizeof *source);
    source->path = path;
}

void InitMemorySource(FileSource* source, const uint8_t* data, size_t size) {
    std::memset(source, 0, sizeof *source);
    source->memory = data;
    source->memorySize = size;
}

static const char* ModeString(int mode, int* effective, bool* probe) {
    *probe = false;
    *effective = mode;
    switch (mode) {
        case kOpenReadBinary: *probe = true; return "rb";
        case kOpenWriteBinary: return "wb";
        case kOpenUpdateBinary:
        case kOpenUpdateBinary2: return "r+b";
        case kOpenCreateUpdateBinary: *effective = kOpenUpdateBinary; return "w+b";
        case kOpenReadText: *probe = true; return "r";
        case kOpenWriteText: return "w";
        case kOpenUpdateText:
        case kOpenUpdateText2: return "r+";
        case kOpenCreateUpdateText: *effective = kOpenUpdateText; return "w+";
        default: return "rb";
    }
}

static bool IsReadOnlyMode(const char* modeString) { return modeString[0] == 'r' && !std::strchr(modeString, '+'); }

PictureFile* OpenPictureFileEx(const FileSource* source, int mode, OpenFailure* why) {
    OpenFailure dummy;
    if (!why) why = &dummy;
    *why = OpenFailure::kNone;
    auto* pf = static_cast<PictureFile*>(std::calloc(1, sizeof(PictureFile)));
    if (!pf) {
        *why = OpenFailure::kNoMemory;
        return nullptr;
    }
    bool probe;
    const char* modeString = ModeString(mode, &pf->mode, &probe);

    if (!source || !source->path) {
        if (source && source->memory) {
            if (!IsReadOnlyMode(modeString)) {
                std::free(pf);
                *why = OpenFailure::kCannotOpen;
                return nullptr;
            }
            if (probe && source->memorySize == 0) {
                std::free(pf);
                *why = OpenFailure::kEmpty;
                return nullptr;
            }
            pf->memory = source->memory;
            pf->memorySize = source->memorySize;
            pf->size = static_cast<int64_t>(source->memorySize);
            return pf;
        }
        pf->size = kUnknownFileSize;
        if (source && source->stream) {
            pf->stream = source->stream;
            pf->keepOpen = 1;
        }
        return pf;
    }

    pf->stream = OpenWidePath(source->path, modeString);
    if (!pf->stream) {
        std::free(pf);
        *why = errno == ENOMEM ? OpenFailure::kNoMemory : OpenFailure::kCannotOpen;
        return nullptr;
    }
    if (probe) {
        int64_t size = -1;
        if (SeekStream(pf->stream, 0, SEEK_END) == 0) size = TellStream(pf->stream);
        if (size <= 0 || SeekStream(pf->stream, 0, SEEK_SET) != 0) {
            std::fclose(pf->stream);
            std::free(pf);
            *why = size == 0 ? OpenFailure::kEmpty : OpenFailure::kCannotOpen;
            return nullptr;
        }
        pf->size = size;
    }
    pf->path = DuplicateWideText(source->path);
    if (!pf->path) {
        std::fclose(pf->stream);
        std::free(pf);
        *why = OpenFailure::kNoMemory;
        return nullptr;
    }
    return pf;
}

PictureFile* OpenPictureFile(const FileSource* source, int mode) {
    return OpenPictureFileEx(source, mode, nullptr);
}

int ClosePictureFileChecked(PictureFile* pf) {
    if (!pf) return 0;
    int failed = pf->error ? 1 : 0;
    if (pf->stream) {
        if (std::fflush(pf->stream) != 0) failed = 1;
        if (!pf->keepOpen && std::fclose(pf->stream) != 0) failed = 1;
    }
    std::free(pf->path);
    std::free(pf);
    return failed;
}

void ClosePictureFile(PictureFile* pf) { ClosePictureFileChecked(pf); }

// ---------------------------------------------------------------------------
// Reading, writing, seeking.

size_t ReadFileBytes(PictureFile* pf, void* buffer, size_t count) {
    if (count == 0) return 0;
    size_t got = 0;
    if (pf->memory) {
        const size_t left = pf->memorySize - pf->memoryPos;
        got = count < left ? count : left;
        if (got) std::memcpy(buffer, pf->memory + pf->memoryPos, got);
        pf->memoryPos += got;
    } else if (pf->stream) {
        got = std::fread(buffer, 1, count, pf->stream);
    }
    if (got < count) pf->eof = 1;
    return got;
}

int ReadFileByte(PictureFile* pf) {
    if (pf->memory) {
        if (pf->memoryPos < pf->memorySize) return pf->memory[pf->memoryPos++];
        pf->eof = 1;
        return -1;
    }
    const int c = pf->stream ? std::fgetc(pf->stream) : EOF;
    if (c == EOF) {
        pf->eof = 1;
        return -1;
    }
    return c;
}

size_t WriteFileBytes(PictureFile* pf, const void* buffer, size_t count) {
    if (count == 0) return 0;
    if (!pf->stream) {
        pf->error = 1;
        return 0;
    }
    const size_t put = std::fwrite(buffer, 1, count, pf->stream);
    if (put < count) pf->error = 1;
    return put;
}

int WriteFileByte(PictureFile* pf, int value) {
    const uint8_t b = static_cast<uint8_t>(value);
    return WriteFileBytes(pf, &b, 1) == 1 ? value & 0xFF : EOF;
}

int SeekPictureFile(PictureFile* pf, int64_t offset, int origin) {
    if (pf->memory) {
        int64_t base = 0;
        if (origin == SEEK_CUR) base = static_cast<int64_t>(pf->memoryPos);
        else if (origin == SEEK_END) base = static_cast<int64_t>(pf->memorySize);
        // Refuse anything outside 0..size without computing a wrapped target.
        if (offset < -base || offset > static_cast<int64_t>(pf->memorySize) - base) return 1;
        pf->memoryPos = static_cast<size_t>(base + offset);
        pf->eof = 0;
        return 0;
    }
    if (!pf->stream) return 1;
    if (SeekStream(pf->stream, offset, origin) != 0) return 1;
    pf->eof = 0;
    return 0;
}

int64_t TellPictureFile(PictureFile* pf) {
    if (pf->memory) return static_cast<int64_t>(pf->memoryPos);
    return pf->stream ? TellStream(pf->stream) : -1;
}

int64_t RemainingFileBytes(PictureFile* pf) {
    if (pf->memory) return static_cast<int64_t>(pf->memorySize - pf->memoryPos);
    if (!pf->stream || pf->size <= 0 || pf->size == kUnknownFileSize) return -1;
    const int64_t pos = TellStream(pf->stream);
    if (pos < 0) return -1;
    return pos >= pf->size ? 0 : pf->size - pos;
}

int FlushPictureFile(PictureFile* pf) {
    if (!pf->stream) return 0;
    if (std::fflush(pf->stream) != 0) {
        pf->error = 1;
        return 1;
    }
    return 0;
}

int SkipFileBytes(PictureFile* pf, int64_t count) {
    if (count == 0) return 0;
    if (count < 0) return SeekPictureFile(pf, count, SEEK_CUR);
    if (pf->memory) {
        const size_t left = pf->memorySize - pf->memoryPos;
        if (static_cast<uint64_t>(count) > left) {
            pf->memoryPos = pf->memorySize;
            pf->eof = 1;
            return 1;
        }
        pf->memoryPos += static_cast<size_t>(count);
        return 0;
    }
    // Reading (not seeking) notices the end of the file exactly.
    uint8_t chunk[4096];
    while (count > 0) {
        const size_t want = count < static_cast<int64_t>(sizeof chunk) ? static_cast<size_t>(count) : sizeof chunk;
        if (ReadFileBytes(pf, chunk, want) != want) return 1;
        count -= static_cast<int64_t>(want);
    }
    return 0;
}

uint32_t ReadUInt16Le(PictureFile* pf) {
    const int b0 = ReadFileByte(pf);
    const int b1 = ReadFileByte(pf);
    return (static_cast<uint32_t>(b0) | static_cast<uint32_t>(b1) << 8) & 0xFFFF;
}

uint32_t ReadUInt16Be(PictureFile* pf) {
    const int b0 = ReadFileByte(pf);
    const int b1 = ReadFileByte(pf);
    return (static_cast<uint32_t>(b0) << 8 | (static_cast<uint32_t>(b1) & 0xFF)) & 0xFFFF;
}

// A short read leaves the missing bytes zero (and the eof flag set).
uint32_t ReadUInt32Le(PictureFile* pf) {
    uint8_t b[4] = {0, 0, 0, 0};
    ReadFileBytes(pf, b, 4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

uint32_t ReadUInt32Be(PictureFile* pf) {
    uint8_t b[4] = {0, 0, 0, 0};
    ReadFileBytes(pf, b, 4);
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]);
}

uint32_t ReadUInt16LeFromStream(FILE* stream) {
    PictureFile pf{};
    pf.stream = stream;
    return ReadUInt16Le(&pf);
}

int WriteUInt16Le(uint32_t value, PictureFile* pf) {
    WriteFileByte(pf, static_cast<int>(value & 0xFF));
    return WriteFileByte(pf, static_cast<int>((value >> 8) & 0xFF));
}

int WriteUInt32Le(uint32_t value, PictureFile* pf) {
    WriteUInt16Le(value & 0xFFFF, pf);
    return WriteUInt16Le(value >> 16, pf);
}

int UnpackBitsFromFile(PictureFile* pf, uint8_t* buffer, int64_t count) {
    while (count > 0) {
        const int c = ReadFileByte(pf);
        if (c < 0) return 4;
        if (c < 128) {
            const int64_t n = c + 1;
            const int64_t keep = n < count ? n : count;
            if (ReadFileBytes(pf, buffer, static_cast<size_t>(keep)) != static_cast<size_t>(keep)) return 4;
            // The part of a literal run beyond the buffer is still consumed.
            if (n > keep && SkipFileBytes(pf, n - keep) != 0) return 4;
            buffer += keep;
            count -= n;
        } else if (c > 128) {
            const int v = ReadFileByte(pf);
            if (v < 0) return 4;
            const int64_t n = 257 - c;
            const int64_t keep = n < count ? n : count;
            std::memset(buffer, v, static_cast<size_t>(keep));
            buffer += keep;
            count -= n;
        }
        // 128 is a no-op.
    }
    return 0;
}
