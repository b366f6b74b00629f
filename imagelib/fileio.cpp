// Picture file wrappers over the C runtime's streams, or over memory.
//
// Portable: the operating system is reached only through osfile.h, whose
// halves live in osfile_posix.cpp and osfile_win.cpp.
#include "fileio.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <ctime>
#include <new>
#include <string>

#include "osfile.h"
#include "textutil.h"

bool IsReservedFileName(const wchar_t* name, size_t length) {
    if (!name || length == 0) return false;
    if (name[length - 1] == L'.' || name[length - 1] == L' ') return true;
    // The device is named by what comes before the first dot, without the
    // spaces that end it.
    size_t base = 0;
    while (base < length && name[base] != L'.') ++base;
    while (base > 0 && name[base - 1] == L' ') --base;
    wchar_t upper[8];
    if (base < 3 || base >= sizeof upper / sizeof *upper) return false;
    for (size_t i = 0; i < base; ++i) {
        const wchar_t c = name[i];
        upper[i] = (c >= L'a' && c <= L'z') ? wchar_t(c - L'a' + L'A') : c;
    }
    upper[base] = L'\0';
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$", L"CLOCK$"};
    for (const wchar_t* device : kDevices)
        if (std::wcscmp(upper, device) == 0) return true;
    // COM and LPT with one digit, the superscripts 1, 2 and 3 included.
    if (base != 4 || (std::wcsncmp(upper, L"COM", 3) != 0 && std::wcsncmp(upper, L"LPT", 3) != 0)) return false;
    const wchar_t digit = upper[3];
    return (digit >= L'0' && digit <= L'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3;
}

int DeletePictureFile(const wchar_t* path) { return RemoveWidePath(path) == 0 ? 0 : 1; }

int MovePictureFile(const wchar_t* oldPath, const wchar_t* newPath) {
    if (!oldPath || !newPath || !*oldPath || !*newPath) return 1;
    return RenameWidePath(oldPath, newPath) == 0 ? 0 : 1;
}

size_t GetLibraryTempFolder(char* buffer, size_t capacity) {
    if (buffer && capacity > 0) buffer[0] = '\0';
    return 0;
}

size_t GetTempFolder(wchar_t* buffer, size_t capacity) {
    if (!buffer || capacity < 2) return 0;
    buffer[0] = L'\0';
    try {
        const std::wstring folder = SystemTempFolder();
        if (folder.empty() || folder.size() + 1 > capacity) return 0;
        CopyWideTextBounded(buffer, capacity, folder.c_str());
        return folder.size();
    } catch (const std::bad_alloc&) {
        return 0;  // callers are C-style: out of memory is a plain failure
    }
}

uint32_t MakeTempFileName(wchar_t* buffer, size_t capacity) {
    wchar_t folder[261];
    if (!buffer || capacity == 0 || GetTempFolder(folder, 261) == 0) {
        if (buffer && capacity) buffer[0] = L'\0';
        return 0;
    }
    // Start from a value that differs between processes and calls; probe
    // forward until an exclusive create succeeds.
    static std::atomic<uint32_t> counter{0};
    uint32_t seed = static_cast<uint32_t>(std::time(nullptr)) ^ static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&folder));
    seed = (seed ^ (++counter * 0x9E3779B9u)) & 0xFFFF;
    for (uint32_t attempt = 0; attempt < 0x10000; ++attempt) {
        const uint32_t unique = ((seed + attempt) & 0xFFFF) ? ((seed + attempt) & 0xFFFF) : 1;
        wchar_t path[261 + 32];
        if (std::swprintf(path, sizeof path / sizeof *path, L"%lsx_%X.tmp", folder, unique) < 0) break;
        if (std::wcslen(path) + 1 > capacity) break;
        const int made = CreateExclusiveFile(path, true);
        if (made == 1) {
            CopyWideTextBounded(buffer, capacity, path);
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
        const int made = CreateExclusiveFile(candidate.c_str(), false);
        if (made == 1) return candidate;
        if (made < 0) break;
    }
    return std::wstring();
}

int ReplaceWithTemp(const std::wstring& temp, const std::wstring& final) {
    return ReplaceFileDurably(temp.c_str(), final.c_str(), false) == 0 ? 0 : 1;
}

FileReplacement::Start FileReplacement::Begin(const std::wstring& name, const wchar_t* tag, Links links) {
    Abandon();
    if (links == kReplaceLinks && WidePathIsLink(name.c_str())) {
        // Nothing of the link is kept: the new file takes its place.
        target_ = name;
        replacing_ = false;
        temp_ = SiblingName(target_, tag);
        return temp_.empty() ? kFailed : kReady;
    }
    if (ResolveLinks(name.c_str(), &target_) != 0) return kFailed;
    WideFileInfo info;
    replacing_ = StatWidePath(target_.c_str(), &info) == 0;
    if (replacing_) {
        if (!WidePathIsPlainFile(target_.c_str())) return kNotAFile;
        if (info.dosAttributes & kWideFileReadOnly) return kReadOnly;
        if (links == kFollowLinks && HardLinkCount(target_.c_str()) > 1) return kHardLinked;
        if (GetFileProtection(target_.c_str(), &protection_) != 0) return kFailed;
    }
    temp_ = SiblingName(target_, tag);
    return temp_.empty() ? kFailed : kReady;
}

int FileReplacement::Commit() {
    if (temp_.empty()) return 1;
    const bool done = (!replacing_ || SetFileProtection(temp_.c_str(), protection_) == 0) &&
                      ReplaceFileDurably(temp_.c_str(), target_.c_str(), replacing_) == 0;
    if (done) temp_.clear();
    else Abandon();
    return done ? 0 : 1;
}

void FileReplacement::Abandon() {
    if (!temp_.empty()) RemoveWidePath(temp_.c_str());
    temp_.clear();
}

namespace {
std::atomic<ReplaceFaultHook> g_replaceFaultHook{nullptr};
}  // namespace

void SetReplaceFaultHook(ReplaceFaultHook hook) { g_replaceFaultHook.store(hook); }

bool ReplaceStepFails(ReplaceStep step) {
    const ReplaceFaultHook hook = g_replaceFaultHook.load();
    return hook && hook(step);
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

    errno = 0;
    pf->stream = OpenWidePath(source->path, modeString);
    if (!pf->stream) {
        std::free(pf);
        *why = errno == ENOMEM ? OpenFailure::kNoMemory : OpenFailure::kCannotOpen;
        return nullptr;
    }
    if (probe) {
        int64_t size = -1;
        if (SeekStream64(pf->stream, 0, SEEK_END) == 0) size = TellStream64(pf->stream);
        if (size <= 0 || SeekStream64(pf->stream, 0, SEEK_SET) != 0) {
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

// Bytes of memory left from the position (which may stand past the end).
static size_t MemoryLeft(const PictureFile* pf) {
    return pf->memoryPos < pf->memorySize ? pf->memorySize - pf->memoryPos : 0;
}

size_t ReadFileBytes(PictureFile* pf, void* buffer, size_t count) {
    if (count == 0) return 0;
    size_t got = 0;
    if (pf->memory) {
        const size_t left = MemoryLeft(pf);
        got = count < left ? count : left;
        if (got) std::memcpy(buffer, pf->memory + pf->memoryPos, got);
        pf->memoryPos += got;
    } else if (pf->stream) {
        got = std::fread(buffer, 1, count, pf->stream);
        if (got < count && std::ferror(pf->stream)) pf->error = 1;
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
        else if (origin != SEEK_SET) base = -1;
        // Before the start, or beyond what a position can hold, is refused
        // (checked without computing a wrapped target); past the end is
        // accepted, as a stream accepts it.
        if (base < 0 || offset < -base || offset > INT64_MAX - base) {
            pf->error = 1;
            return 1;
        }
        pf->memoryPos = static_cast<size_t>(base + offset);
        pf->eof = 0;
        return 0;
    }
    if (!pf->stream || SeekStream64(pf->stream, offset, origin) != 0) {
        pf->error = 1;
        return 1;
    }
    pf->eof = 0;
    return 0;
}

int64_t TellPictureFile(PictureFile* pf) {
    if (pf->memory) return static_cast<int64_t>(pf->memoryPos);
    return pf->stream ? TellStream64(pf->stream) : -1;
}

int64_t RemainingFileBytes(PictureFile* pf) {
    if (pf->memory) return static_cast<int64_t>(MemoryLeft(pf));
    if (!pf->stream || pf->size <= 0 || pf->size == kUnknownFileSize) return -1;
    const int64_t pos = TellStream64(pf->stream);
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
        const size_t left = MemoryLeft(pf);
        if (static_cast<uint64_t>(count) > left) {
            pf->memoryPos += left;
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

namespace {

// A packet makes at most this many bytes: with room for as many on both
// sides, each is copied (or set) at that fixed length, which costs less than
// a copy of its own length, and the bytes past its end are written again by
// the packets after it.
constexpr size_t kLongestPacket = 128;
constexpr int64_t kPacketSlack = kLongestPacket;

// Whole PackBits packets from in[0, size) into `buffer` while output is
// wanted (*count > 0); a packet whose header or bytes run past `size` is
// left for the caller. Returns the bytes used. A literal longer than the
// output still wanted is consumed whole, its tail dropped.
size_t UnpackPackets(const uint8_t* in, size_t size, uint8_t*& buffer, int64_t& count) {
    size_t at = 0;
    while (count > 0 && at < size) {
        const unsigned c = in[at];
        if (c < 128) {
            const size_t n = size_t(c) + 1;
            if (size - at - 1 < n) break;
            if (count >= kPacketSlack && size - at > kPacketSlack) {
                std::memcpy(buffer, in + at + 1, kLongestPacket);
                buffer += n;
            } else {
                const size_t keep = int64_t(n) < count ? n : size_t(count);
                std::memcpy(buffer, in + at + 1, keep);
                buffer += keep;
            }
            count -= int64_t(n);
            at += 1 + n;
        } else if (c > 128) {
            if (size - at < 2) break;
            const size_t n = 257 - size_t(c);
            if (count >= kPacketSlack) {
                std::memset(buffer, in[at + 1], kLongestPacket);
                buffer += n;
            } else {
                const size_t keep = int64_t(n) < count ? n : size_t(count);
                std::memset(buffer, in[at + 1], keep);
                buffer += keep;
            }
            count -= int64_t(n);
            at += 2;
        } else {
            ++at;  // 128 is a no-op
        }
    }
    return at;
}

}  // namespace

int UnpackBitsFromFile(PictureFile* pf, uint8_t* buffer, int64_t count) {
    if (pf->memory) {
        // Straight from the memory, whole packets at a time.
        const size_t left = MemoryLeft(pf);
        const uint8_t* in = pf->memory + pf->memoryPos;
        const size_t used = UnpackPackets(in, left, buffer, count);
        pf->memoryPos += used;
        if (count <= 0) return 0;
        // The data ends inside a packet (or before one): what there is of
        // a literal still comes, as a byte-wise read would give it.
        if (used < left && in[used] < 128) {
            const size_t have = left - used - 1;
            std::memcpy(buffer, in + used + 1, int64_t(have) < count ? have : size_t(count));
        }
        pf->memoryPos = pf->memorySize;
        pf->eof = 1;
        return 4;
    }
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
