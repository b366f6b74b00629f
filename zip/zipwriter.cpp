// ZIP writer: outputs, local headers, entry data (deflated, stored,
// encrypted), data descriptors, the central directory and the end record.
// Every record is serialised byte by byte, little-endian.
#include "zip/zipwriter.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <mutex>
#include <string>

#include "imagelib/textutil.h"
#include "zip/zipfs.h"
#include "zip/ziphandle.h"
#include "zip/zipname.h"

thread_local uint32_t LastZipWriterResult = 0;

namespace {

constexpr uint32_t kLocalHeaderSize = 30;
constexpr uint32_t kCentralHeaderSize = 46;
constexpr uint32_t kEndRecordSize = 22;
constexpr uint32_t kDescriptorSize = 16;
constexpr uint32_t kEncryptionHeaderSize = 12;
constexpr uint16_t kVersionMadeBy = 0x0B17;  // host 11, version 2.3
constexpr uint16_t kVersionNeeded = 20;
constexpr uint16_t kFlagEncrypted = 0x01;
constexpr uint16_t kFlagDescriptor = 0x08;
constexpr uint16_t kMethodStored = 0, kMethodDeflated = 8;
constexpr uint64_t kMaxArchiveEnd = 0xFFFFFFFFu;

// ---------------------------------------------------------------------------
// Random bytes of the encryption header. The injected source is process-wide
// (tests set it before they create writers); each writer takes a copy when it
// is created and keeps its own generator state, so writers on different
// threads share nothing.

struct RandomSource {
    uint8_t (*next)(void*);
    void* user;
};
std::mutex g_randomLock;
RandomSource g_randomSource = {nullptr, nullptr};
std::atomic<uint64_t> g_writerSerial{0};

uint64_t SeedFor(const ZipWriter* w) {
    // Time, clock, the writer's address and a serial: writers made in the
    // same tick, even on two threads, start apart.
    uint64_t seed = uint64_t(std::time(nullptr)) ^ (uint64_t(std::clock()) << 32) ^
                    uint64_t(reinterpret_cast<uintptr_t>(w)) ^
                    (g_writerSerial.fetch_add(1, std::memory_order_relaxed) * 0x9E3779B97F4A7C15ull);
    return seed ? seed : 0x9E3779B97F4A7C15ull;
}

// xorshift64*
uint8_t NextRandomByte(uint64_t* state) {
    uint64_t x = *state;
    x ^= x >> 12;
    x ^= x << 25;
    x ^= x >> 27;
    *state = x;
    return uint8_t((x * 0x2545F4914F6CDD1Dull) >> 56);
}

uint8_t RandomByte(ZipWriter* w) {
    return w->randomNext ? w->randomNext(w->randomUser) : NextRandomByte(&w->randomState);
}

// ---------------------------------------------------------------------------

void Put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

void SetError(ZipWriter* w, uint32_t code) {
    if (!w->error) w->error = code;
}

uint32_t Store(uint32_t result) {
    LastZipWriterResult = result;
    return result;
}

void ReleaseMemoryOutput(ZipWriter* w) {
    if (w->ownsMemory) std::free(w->memory);
    w->memory = nullptr;
    w->ownsMemory = 0;
}

uint32_t WriterOf(ZipHandle* handle, ZipWriter** writer) { return ZipHandleObject(handle, kZipWriterHandle, writer); }

// Writes the whole block; false (with the error recorded) when it did not go.
bool WriteAll(ZipWriter* w, const void* data, uint32_t count) { return ZipWriterWrite(w, data, count) == count; }

// What a header that could not be written fails its entry with.
uint32_t ShortWriteResult(const ZipWriter* w) { return w->error == kZipTooLarge ? kZipTooLarge : kZipWriteFailed; }

// The fields that local and central headers share, from version needed to
// the name length (26 bytes).
void PutEntryFields(uint8_t* p, const ZipEntryRecord& r, uint16_t flags) {
    Put16(p, kVersionNeeded);
    Put16(p + 2, flags);
    Put16(p + 4, r.method);
    Put32(p + 6, r.dosTime);
    Put32(p + 10, r.crc);
    Put32(p + 14, r.compressedSize);
    Put32(p + 18, r.uncompressedSize);
    Put16(p + 22, r.nameLength);
}

bool WriteLocalHeader(ZipWriter* w, const ZipEntryRecord& r) {
    uint8_t h[kLocalHeaderSize + kZipMaxPath];
    Put32(h, 0x04034B50);
    PutEntryFields(h + 4, r, r.localFlags);
    Put16(h + 28, 0);  // no extra field
    std::memcpy(h + kLocalHeaderSize, r.name, r.nameLength);
    return WriteAll(w, h, kLocalHeaderSize + r.nameLength);
}

bool WriteCentralHeader(ZipWriter* w, const ZipEntryRecord& r) {
    uint8_t h[kCentralHeaderSize + kZipMaxPath];
    Put32(h, 0x02014B50);
    Put16(h + 4, kVersionMadeBy);
    PutEntryFields(h + 6, r, r.flags);
    Put16(h + 30, 0);  // no extra field,
    Put16(h + 32, 0);  // comment
    Put16(h + 34, 0);  // or other disk
    Put16(h + 36, r.internalAttributes);
    Put32(h + 38, r.externalAttributes);
    Put32(h + 42, r.localHeaderOffset);
    std::memcpy(h + kCentralHeaderSize, r.name, r.nameLength);
    return WriteAll(w, h, kCentralHeaderSize + r.nameLength);
}

bool WriteDataDescriptor(ZipWriter* w, const ZipEntryRecord& r) {
    uint8_t d[kDescriptorSize];
    Put32(d, 0x08074B50);
    Put32(d + 4, r.crc);
    Put32(d + 8, r.compressedSize);
    Put32(d + 12, r.uncompressedSize);
    return WriteAll(w, d, kDescriptorSize);
}

bool WriteEndRecord(ZipWriter* w, uint32_t count, uint32_t size, uint32_t offset) {
    uint8_t e[kEndRecordSize] = {};
    Put32(e, 0x06054B50);
    Put16(e + 8, count);
    Put16(e + 10, count);
    Put32(e + 12, size);
    Put32(e + 16, offset);
    return WriteAll(w, e, kEndRecordSize);
}

// The deflate compressor's flush callback.
uint32_t FlushOutput(void* writer, const uint8_t* buffer, uint32_t* count) {
    if (*count == 0) return 0;
    const uint32_t n = ZipWriterWrite(static_cast<ZipWriter*>(writer), buffer, *count);
    if (n == *count) *count = 0;
    return n;
}

// 0, or kZipNoMemory / kZipDataError (the compressor failed).
uint32_t DeflateSource(ZipWriter* w, ZipEntryRecord* r) {
    w->compressor = CreateDeflateState(w, 8, ReadSource, FlushOutput);
    if (!w->compressor) return kZipNoMemory;
    StartBitOutput(w->compressor, w->data, sizeof w->data);
    ct_init(w->compressor, &r->internalAttributes);
    PrepareMatcher(w->compressor, &r->flags);
    w->source.compressedSize = DeflateRun(w->compressor);
    const bool failed = DeflateError(w->compressor) != nullptr;
    FreeDeflateState(w->compressor);
    w->compressor = nullptr;
    // The output may hold part of a block the compressor gave up on: like a
    // failed write, the failure sticks, and close will not report success.
    if (failed) SetError(w, kZipWriteFailed);
    return failed ? kZipDataError : kZipOk;
}

uint32_t StoreSource(ZipWriter* w) {
    uint32_t total = 0;
    for (;;) {
        const uint32_t n = ReadSource(w, w->data, sizeof w->data);
        if (n == 0 || n >= 0xFFFFFFFEu) break;
        if (ZipWriterWrite(w, w->data, n) != n) {
            w->source.compressedSize = total;
            return kZipSizeMismatch;
        }
        total += n;
    }
    w->source.compressedSize = total;
    return kZipOk;
}

uint32_t OpenSource(ZipWriter* w, const void* source, uint32_t length, int kind) {
    switch (kind) {
        case kZipKindHandle: return OpenSourceHandle(w, static_cast<FILE*>(const_cast<void*>(source)), length);
        case kZipKindFileName: return OpenSourceFile(w, static_cast<const wchar_t*>(source));
        case kZipKindMemory: return OpenSourceMemory(w, source, length);
        case kZipKindFolder: return OpenSourceFolder(w);
        default: return kZipBadArguments;
    }
}

// The entry's 8-bit name ("\" made "/", a folder's ending in "/"), or false
// when it is empty or too long.
bool MakeEntryName(const wchar_t* entryName, bool folder, ZipEntryRecord* r, uint16_t* utf8Flag) {
    if (!entryName || !*entryName || std::wcslen(entryName) >= size_t(kZipMaxPath)) return false;
    std::wstring name(entryName);
    for (wchar_t& c : name)
        if (c == L'\\') c = L'/';
    if (folder && name.back() != L'/') name += L'/';
    bool nonAscii;
    const std::string stored = EncodeZipName(name.c_str(), &nonAscii);
    if (stored.size() >= size_t(kZipMaxPath)) return false;
    std::memcpy(r->name, stored.c_str(), stored.size() + 1);
    r->nameLength = uint32_t(stored.size());
    *utf8Flag = nonAscii ? uint16_t(kZipUtf8Flag) : 0;
    return true;
}

bool AppendRecord(ZipWriter* w, const ZipEntryRecord& r) {
    auto* copy = static_cast<ZipEntryRecord*>(std::malloc(sizeof(ZipEntryRecord)));
    if (!copy) return false;
    *copy = r;
    copy->next = nullptr;
    if (w->lastEntry)
        w->lastEntry->next = copy;
    else
        w->entries = copy;
    w->lastEntry = copy;
    ++w->entryCount;
    return true;
}

void FreeRecords(ZipWriter* w) {
    for (ZipEntryRecord* r = w->entries; r;) {
        ZipEntryRecord* next = r->next;
        std::free(r);
        r = next;
    }
    w->entries = w->lastEntry = nullptr;
}

// The data of one entry after its local header: the encryption header and
// the stored or deflated bytes. Returns 0 or the add's failure.
uint32_t WriteEntryData(ZipWriter* w, ZipEntryRecord* r, bool encrypted, bool folder) {
    if (encrypted) {
        InitKeys(&w->keys, w->password);
        uint8_t header[kEncryptionHeaderSize];
        for (uint8_t& b : header) b = RandomByte(w);
        // With a data descriptor the check byte is the high byte of the time.
        header[kEncryptionHeaderSize - 1] = uint8_t(r->dosTime >> 8);
        for (uint8_t& b : header) b = EncryptByte(&w->keys, b);
        if (!WriteAll(w, header, kEncryptionHeaderSize)) {
            CloseSource(w);
            return ShortWriteResult(w);
        }
        w->written += kEncryptionHeaderSize;
        w->encrypting = 1;
    }
    uint32_t data = kZipOk;
    if (folder)
        w->source.compressedSize = 0;
    else if (r->method == kMethodDeflated)
        data = DeflateSource(w, r);
    else
        data = StoreSource(w);
    w->encrypting = 0;
    const uint32_t closed = CloseSource(w);
    w->written += w->source.compressedSize;
    if (w->error) return w->error;
    if (w->source.tooLarge) return kZipTooLarge;
    // Data that ended early or differ from the announced size fail the
    // entry rather than being stored truncated.
    if (data != kZipOk || w->source.readError || closed != kZipOk) return kZipWriteFailed;
    return kZipOk;
}

// The real sizes and CRC-32: rewritten into the local header when the
// output can seek (and the entry is not encrypted), else in a data
// descriptor after the data.
uint32_t FinishEntry(ZipWriter* w, ZipEntryRecord* r, bool encrypted, uint32_t firstCompressedSize) {
    if (w->canSeek && !encrypted) {
        if (!(r->flags & kFlagEncrypted)) r->flags = uint16_t(r->flags & ~kFlagDescriptor);
        r->localFlags = r->flags;
        if (!ZipWriterSeek(w, r->localHeaderOffset - w->initialOffset)) return kZipCannotSeek;
        if (!WriteLocalHeader(w, *r)) return ShortWriteResult(w);
        if (!ZipWriterSeek(w, w->written)) return kZipCannotSeek;
        return kZipOk;
    }
    if (r->method == kMethodStored && r->compressedSize != firstCompressedSize) return kZipStoredSizeUnknown;
    if (!WriteDataDescriptor(w, *r)) return ShortWriteResult(w);
    w->written += kDescriptorSize;
    r->flags = r->localFlags;
    return kZipOk;
}

}  // namespace

void SetZipRandomSource(uint8_t (*next)(void* user), void* user) {
    std::lock_guard<std::mutex> hold(g_randomLock);
    g_randomSource = {next, next ? user : nullptr};
}

ZipWriter* CreateZipWriter(const char* password) {
    auto* w = static_cast<ZipWriter*>(std::calloc(1, sizeof(ZipWriter)));
    if (!w) return nullptr;
    {
        std::lock_guard<std::mutex> hold(g_randomLock);
        w->randomNext = g_randomSource.next;
        w->randomUser = g_randomSource.user;
    }
    w->randomState = SeedFor(w);
    if (password && *password) {
        w->password = DuplicateText(password);
        if (!w->password) {
            std::free(w);
            return nullptr;
        }
    }
    return w;
}

void FreeZipWriter(ZipWriter* w) {
    if (!w) return;
    ReleaseMemoryOutput(w);
    CloseSource(w);
    if (w->output && w->ownsOutput) std::fclose(w->output);
    ZipEndReplacement(&w->replacement, false);
    FreeDeflateState(w->compressor);
    FreeRecords(w);
    std::free(w->cryptBuffer);
    std::free(w->password);
    std::free(w);
}

uint32_t ZipWriterOpen(ZipWriter* w, void* target, uint32_t length, int kind) {
    if (w->output || w->memory || w->written || w->error || w->closed) return kZipInUse;
    switch (kind) {
        case kZipKindHandle: {
            if (!target) return kZipBadArguments;
            auto* f = static_cast<FILE*>(target);
            uint64_t position;
            w->canSeek = ZipStreamCanSeek(f, &position) ? 1 : 0;
            if (position > kMaxArchiveEnd) return kZipTooLarge;
            w->output = f;
            w->initialOffset = uint32_t(position);
            return kZipOk;
        }
        case kZipKindFileName: {
            const auto* name = static_cast<const wchar_t*>(target);
            if (!name || !*name) return kZipBadArguments;
            w->output = ZipOpenReplacement(name, &w->replacement);
            if (!w->output) return kZipCannotOpen;
            w->ownsOutput = 1;
            w->canSeek = 1;
            return kZipOk;
        }
        case kZipKindMemory:
            if (length == 0) return kZipMemoryFull;
            if (!target) {
                // Memory of the writer's own, released when it closes.
                target = std::calloc(1, length);
                if (!target) return kZipNoMemory;
                w->ownsMemory = 1;
            }
            w->memory = static_cast<uint8_t*>(target);
            w->memoryCapacity = length;
            w->memoryPosition = 0;
            w->canSeek = 1;
            return kZipOk;
        default:
            return kZipBadArguments;
    }
}

uint32_t ZipWriterWrite(ZipWriter* w, const void* data, uint32_t count) {
    if (count == 0) return 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (w->encrypting) {
        // A copy is encrypted: the data may be the compressor's window.
        if (w->cryptBufferSize < count) {
            std::free(w->cryptBuffer);
            w->cryptBufferSize = 0;
            w->cryptBuffer = static_cast<uint8_t*>(std::malloc(size_t(count) * 2));
            if (!w->cryptBuffer) {
                SetError(w, kZipNoMemory);
                return 0;
            }
            w->cryptBufferSize = count * 2;
        }
        for (uint32_t i = 0; i < count; ++i) w->cryptBuffer[i] = EncryptByte(&w->keys, bytes[i]);
        bytes = w->cryptBuffer;
    }
    if (uint64_t(w->initialOffset) + w->outputPosition + count > kMaxArchiveEnd) {
        SetError(w, kZipTooLarge);
        return 0;
    }
    if (w->memory) {
        if (uint64_t(w->memoryPosition) + count > w->memoryCapacity) {
            SetError(w, kZipMemoryFull);
            return 0;
        }
        std::memcpy(w->memory + w->memoryPosition, bytes, count);
        w->memoryPosition += count;
        w->outputPosition = w->memoryPosition;
        return count;
    }
    if (!w->output) {
        SetError(w, kZipInUse);
        return 0;
    }
    const uint32_t n = uint32_t(std::fwrite(bytes, 1, count, w->output));
    w->outputPosition += n;
    if (n != count) SetError(w, kZipWriteFailed);
    return n;
}

bool ZipWriterSeek(ZipWriter* w, uint32_t position) {
    if (!w->canSeek) {
        SetError(w, kZipCannotSeek);
        return false;
    }
    if (w->memory) {
        if (position > w->memoryCapacity) {
            SetError(w, kZipMemoryFull);
            return false;
        }
        w->memoryPosition = position;
        w->outputPosition = position;
        return true;
    }
    if (!w->output || SeekStream64(w->output, int64_t(w->initialOffset) + position, SEEK_SET) != 0) {
        SetError(w, kZipCannotSeek);
        return false;
    }
    w->outputPosition = position;
    return true;
}

uint32_t ZipWriterAdd(ZipWriter* w, const wchar_t* entryName, const void* source, uint32_t length, int kind) {
    if (w->error) return kZipEarlierError;
    if (w->closed) return kZipClosed;
    if (w->entryCount >= kZipMaxEntries) return kZipTooLarge;
    const bool folder = kind == kZipKindFolder;
    const bool encrypted = w->password && !folder;
    const uint32_t encryptionHeader = encrypted ? kEncryptionHeaderSize : 0;

    ZipEntryRecord r = {};
    uint16_t utf8Flag;
    if (!MakeEntryName(entryName, folder, &r, &utf8Flag)) return kZipBadArguments;
    r.method = (folder || IsStoreOnlyName(entryName)) ? kMethodStored : kMethodDeflated;
    const uint32_t opened = OpenSource(w, source, length, kind);
    if (opened != kZipOk) return opened;

    const ZipSource& src = w->source;
    r.flags = r.localFlags = uint16_t(kFlagDescriptor | (encrypted ? kFlagEncrypted : 0) | utf8Flag);
    r.dosTime = src.dosTime;
    // A stored entry of known size announces it; an unknown size is 0.
    const bool knownSize = src.size >= 0;
    r.compressedSize = (r.method == kMethodStored && knownSize) ? uint32_t(src.size) + encryptionHeader : 0;
    r.uncompressedSize = knownSize ? uint32_t(src.size) : 0;
    r.externalAttributes = src.attributes;
    r.localHeaderOffset = w->written + w->initialOffset;
    const uint32_t firstCompressedSize = r.compressedSize;

    if (!WriteLocalHeader(w, r)) {
        CloseSource(w);
        return ShortWriteResult(w);
    }
    w->written += kLocalHeaderSize + r.nameLength;

    uint32_t result = WriteEntryData(w, &r, encrypted, folder);
    if (result != kZipOk) return result;
    r.compressedSize = w->source.compressedSize + encryptionHeader;
    r.uncompressedSize = w->source.bytesRead;
    r.crc = w->source.crc;
    result = FinishEntry(w, &r, encrypted, firstCompressedSize);
    if (result != kZipOk) return result;
    if (w->error) return w->error;
    return AppendRecord(w, r) ? kZipOk : kZipNoMemory;
}

uint32_t ZipWriterClose(ZipWriter* w) {
    uint32_t result = kZipOk;
    if (!w->closed) {
        if (w->error) {
            result = w->error;
        } else {
            const uint32_t start = w->written;
            uint32_t count = 0;
            bool failed = false;
            for (const ZipEntryRecord* r = w->entries; r; r = r->next) {
                if (!failed && !WriteCentralHeader(w, *r)) failed = true;
                ++count;
                w->written += kCentralHeaderSize + r->nameLength;
            }
            if (failed || !WriteEndRecord(w, count, w->written - start, w->initialOffset + start))
                result = kZipWriteFailed;
            else
                w->written += kEndRecordSize;
        }
    }
    w->closed = 1;
    FreeRecords(w);
    ReleaseMemoryOutput(w);
    if (w->output) {
        const int done = w->ownsOutput ? std::fclose(w->output) : std::fflush(w->output);
        if (done != 0 && result == kZipOk) result = kZipWriteFailed;
        w->output = nullptr;
        w->ownsOutput = 0;
    }
    if (ZipEndReplacement(&w->replacement, result == kZipOk) != 0) result = kZipWriteFailed;
    return result;
}

ZipHandle* CreateZipFile(const wchar_t* fileName, const char* password) {
    ZipWriter* w = CreateZipWriter(password);
    if (!w) {
        Store(kZipNoMemory);
        return nullptr;
    }
    uint32_t result = ZipWriterOpen(w, const_cast<wchar_t*>(fileName), 0, kZipKindFileName);
    ZipHandle* handle = result == kZipOk ? NewZipHandle(kZipWriterHandle, w) : nullptr;
    if (result == kZipOk && !handle) result = kZipNoMemory;
    if (!handle) FreeZipWriter(w);
    Store(result);
    return handle;
}

uint32_t ZipAddFile(ZipHandle* handle, const wchar_t* entryName, const wchar_t* sourceFile) {
    ZipWriter* w;
    const uint32_t checked = WriterOf(handle, &w);
    if (checked != kZipOk) return Store(checked);
    return Store(ZipWriterAdd(w, entryName, sourceFile, 0, kZipKindFileName));
}

uint32_t CloseZipWriter(ZipHandle* handle) {
    ZipWriter* w;
    const uint32_t checked = WriterOf(handle, &w);
    if (checked != kZipOk) return Store(checked);
    const uint32_t result = ZipWriterClose(w);
    FreeZipWriter(w);
    std::free(handle);
    return Store(result);
}
