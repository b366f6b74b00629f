// ZIP reader: the handle operations, item records, finding and extraction.
//
// minizip finds the end record (data before the archive are allowed), walks
// the central directory and hands out each item's raw bytes; the item
// records, names, attributes, times, extraction and result codes are ours.
#include "zip/zipreader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include <minizip/unzip.h>

#include "imagelib/textutil.h"
#include "zip/zipentry.h"
#include "zip/zipfs.h"
#include "zip/ziphandle.h"
#include "zip/zipname.h"
#include "zip/ziptime.h"

thread_local uint32_t LastZipReaderResult = 0;

namespace {

constexpr uint32_t kReadOnly = 0x01, kHidden = 0x02, kSystem = 0x04, kFolder = 0x10, kArchive = 0x20;
constexpr uint32_t kExtractBufferSize = 16384;
constexpr uint64_t kLocalHeaderSize = 30;  // before the name and the extra field

uint32_t Store(uint32_t result) {
    LastZipReaderResult = result;
    return result;
}

uint32_t ReaderOf(ZipHandle* handle, ZipReader** reader) { return ZipHandleObject(handle, kZipReaderHandle, reader); }

ZipReader* CreateZipReader(const char* password) {
    auto* r = static_cast<ZipReader*>(std::calloc(1, sizeof(ZipReader)));
    if (!r) return nullptr;
    r->openItem = -1;
    r->cachedIndex = -1;
    if (password) {
        r->password = DuplicateText(password);
        if (!r->password) {
            std::free(r);
            return nullptr;
        }
    }
    return r;
}

void CloseOpenItem(ZipReader* r) {
    CloseEntryStream(r->stream);
    r->stream = nullptr;
    r->openItem = -1;
}

void FreeZipReader(ZipReader* r) {
    CloseOpenItem(r);
    if (r->archive) unzClose(r->archive);
    ZipInputFree(r->input);
    std::free(r->password);
    std::free(r->sharesData);
    std::free(r);
}

void SetBaseFolder(ZipReader* r, const wchar_t* folder) {
    CopyWideTextBounded(r->baseFolder, kZipMaxPath - 1, folder);
    const size_t n = std::wcslen(r->baseFolder);
    if (n == 0 || !IsZipSeparator(r->baseFolder[n - 1])) {
        r->baseFolder[n] = L'\\';
        r->baseFolder[n + 1] = L'\0';
    }
}

// True when the input holds nothing but an end record of an archive without
// items (what our writer makes of an empty archive): minizip refuses an end
// record at offset 0. The input is left at its start.
bool IsEmptyArchive(ZipInput* in) {
    constexpr uint32_t kEndRecordSize = 22, kMaxCommentSize = 0xFFFF;
    if (ZipInputSeek(in, 0, 2) != 0) return false;
    const uint64_t size = ZipInputTell(in);
    if (ZipInputSeek(in, 0, 0) != 0 || size < kEndRecordSize || size > kEndRecordSize + kMaxCommentSize) return false;
    uint8_t e[kEndRecordSize];
    if (ZipInputRead(e, 1, kEndRecordSize, in) != kEndRecordSize || ZipInputSeek(in, 0, 0) != 0) return false;
    static const uint8_t kSignature[4] = {0x50, 0x4B, 0x05, 0x06};
    if (std::memcmp(e, kSignature, 4) != 0) return false;
    // Disk numbers, entry counts, directory size and offset: all zero.
    for (uint32_t i = 4; i < 20; ++i)
        if (e[i] != 0) return false;
    return uint32_t(e[20]) + (uint32_t(e[21]) << 8) == size - kEndRecordSize;
}

// The most central records the source can hold: each takes at least 46
// bytes, and the directory lies within the source. An end record claiming
// more is not believed. The input's position is kept.
uint64_t MostCentralRecords(ZipInput* in) {
    constexpr uint64_t kCentralHeaderSize = 46;
    const uint64_t here = ZipInputTell(in);
    if (ZipInputSeek(in, 0, 2) != 0) return 0;
    const uint64_t size = ZipInputTell(in);
    if (ZipInputSeek(in, here, 0) != 0) return 0;
    return std::min<uint64_t>(size / kCentralHeaderSize, 0x7FFFFFFF);
}

// Marks the items that share bytes of the archive with another: two central
// records at one local header (both marked), or a record whose data run over
// the next one's header (that record marked). Each such record would inflate
// the same stream again, so a small archive would extract to many times its
// size; they are refused when extracted. Items whose local header cannot be
// read are left unmarked (they fail on use).
bool MarkSharedData(ZipReader* r, int32_t count) {
    struct Span {
        uint64_t start, end;  // the local header to the end of the data
        int32_t index;
    };
    std::vector<Span> spans;
    int32_t index = 0;
    for (int status = unzGoToFirstFile(r->archive); status == UNZ_OK && index < count;
         status = unzGoToNextFile(r->archive), ++index) {
        unz_file_info64 info;
        if (unzGetCurrentFileInfo64(r->archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) break;
        if (unzOpenCurrentFile2(r->archive, nullptr, nullptr, 1) != UNZ_OK) continue;
        const uint64_t data = unzGetCurrentFileZStreamPos64(r->archive);
        const int extra = unzGetLocalExtrafield(r->archive, nullptr, 0);
        unzCloseCurrentFile(r->archive);
        const uint64_t header = kLocalHeaderSize + info.size_filename + uint64_t(extra < 0 ? 0 : extra);
        if (data >= header) spans.push_back(Span{data - header, data + info.compressed_size, index});
    }
    // As many flags as records were found (the count in the end record is
    // only a claim of the file).
    r->sharesData = static_cast<uint8_t*>(std::calloc(size_t(index) + 1, 1));
    if (!r->sharesData) return false;
    r->sharesCount = index;
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.start < b.start; });
    for (size_t i = 1; i < spans.size(); ++i) {
        if (spans[i].start >= spans[i - 1].end) continue;
        r->sharesData[spans[i - 1].index] = 1;
        if (spans[i].start == spans[i - 1].start) r->sharesData[spans[i].index] = 1;
    }
    return true;
}

bool SharesData(const ZipReader* r, int32_t index) { return index < r->sharesCount && r->sharesData[index]; }

uint32_t ZipReaderOpen(ZipReader* r, const void* source, uint32_t length, int kind) {
    if (r->archive || r->openItem != -1) return kZipInUse;
    SetBaseFolder(r, L"\\");
    uint64_t position;
    if (kind == kZipKindHandle && source && !ZipStreamCanSeek(static_cast<FILE*>(const_cast<void*>(source)), &position))
        return kZipCannotSeek;
    uint32_t error;
    r->input = ZipInputOpen(source, length, kind, &error);
    if (!r->input) return error;
    if (IsEmptyArchive(r->input)) {
        r->itemCount = 0;  // no minizip archive: every lookup finds nothing
        return kZipOk;
    }
    zlib_filefunc64_def functions;
    FillZipInputFunctions(&functions);
    r->archive = unzOpen2_64(r->input, &functions);
    unz_global_info64 global;
    if (!r->archive || unzGetGlobalInfo64(r->archive, &global) != UNZ_OK ||
        global.number_entry > MostCentralRecords(r->input))
        return kZipCannotOpen;
    try {
        if (!MarkSharedData(r, int32_t(global.number_entry))) return kZipNoMemory;
    } catch (const std::bad_alloc&) {
        return kZipNoMemory;
    }
    // The records found, which the end record's count only bounds.
    r->itemCount = r->sharesCount;
    return kZipOk;
}

// Makes `index` minizip's current item, walking forward from the current one
// or from the first.
bool PositionOnItem(ZipReader* r, int32_t index) {
    unz64_file_pos pos;
    int64_t current = unzGetFilePos64(r->archive, &pos) == UNZ_OK ? int64_t(pos.num_of_file) : -1;
    if (current < 0 || index < current) {
        if (unzGoToFirstFile(r->archive) != UNZ_OK) return false;
        current = 0;
    }
    for (; current < index; ++current)
        if (unzGoToNextFile(r->archive) != UNZ_OK) return false;
    return true;
}

uint32_t AttributesOf(const unz_file_info64& info) {
    const uint32_t host = uint32_t(info.version >> 8) & 0xFF;
    const uint32_t external = uint32_t(info.external_fa);
    if (host == 0 || host == 7 || host == 11 || host == 14)  // DOS, Macintosh, NTFS, VFAT
        return external & (kReadOnly | kHidden | kSystem | kFolder | kArchive);
    // Unix mode in the high 16 bits.
    uint32_t a = kArchive;
    if (external & 0x40000000u) a |= kFolder;
    if (!(external & 0x00800000u)) a |= kReadOnly;
    return a;
}

uint32_t Clamp32(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(v); }

// Checks the current item's local header and reads its local extra field,
// so that an item whose headers cannot be read is reported before use.
uint32_t CheckLocalHeader(ZipReader* r) {
    if (unzOpenCurrentFile2(r->archive, nullptr, nullptr, 1) != UNZ_OK) return kZipBadLocalHeader;
    uint32_t result = kZipOk;
    const int extraSize = unzGetLocalExtrafield(r->archive, nullptr, 0);
    if (extraSize < 0) {
        result = kZipBadLocalExtra;
    } else if (extraSize > 0) {
        void* extra = std::malloc(size_t(extraSize));
        if (!extra)
            result = kZipNoMemory;
        else if (unzGetLocalExtrafield(r->archive, extra, unsigned(extraSize)) != extraSize)
            result = kZipBadLocalExtra;
        std::free(extra);
    }
    unzCloseCurrentFile(r->archive);
    return result;
}

uint32_t ZipReaderGetItem(ZipReader* r, int32_t index, ZipItem* item) {
    if (index < -1 || index >= r->itemCount || !item) return kZipBadArguments;
    CloseOpenItem(r);
    if (index == r->cachedIndex && index != -1) {
        *item = r->cachedItem;
        return kZipOk;
    }
    std::memset(item, 0, sizeof *item);
    if (index == -1) {
        item->index = r->itemCount;
        return kZipOk;
    }
    if (!PositionOnItem(r, index)) return kZipBadLocalHeader;
    unz_file_info64 info;
    char name[kZipMaxPath + 1];
    if (unzGetCurrentFileInfo64(r->archive, &info, name, kZipMaxPath, nullptr, 0, nullptr, 0) != UNZ_OK)
        return kZipBadLocalHeader;
    name[kZipMaxPath] = '\0';
    if (info.size_filename < kZipMaxPath) name[info.size_filename] = '\0';
    const uint32_t checked = CheckLocalHeader(r);
    if (checked != kZipOk) return checked;

    item->index = index;
    DecodeZipName(name, (info.flag & kZipUtf8Flag) != 0, item->name, kZipMaxPath);
    item->attributes = AttributesOf(info);
    const uint64_t time = DosTimeToFileTime(uint32_t(info.dosDate));
    item->accessTime = item->creationTime = item->writeTime = time;
    item->compressedSize = Clamp32(info.compressed_size);
    item->uncompressedSize = Clamp32(info.uncompressed_size);
    r->cachedItem = *item;
    r->cachedIndex = index;
    return kZipOk;
}

uint32_t ZipReaderFindItem(ZipReader* r, const wchar_t* name, int ignoreCase, int32_t* index, ZipItem* item) {
    if (!name) return kZipBadArguments;
    const int sensitivity = ignoreCase ? 2 : 1;
    bool nonAscii;
    const std::string utf8 = EncodeZipName(name, &nonAscii);
    bool found = unzLocateFile(r->archive, utf8.c_str(), sensitivity) == UNZ_OK;
    std::string cp1252;
    if (!found && nonAscii && EncodeCp1252Name(name, &cp1252))
        found = unzLocateFile(r->archive, cp1252.c_str(), sensitivity) == UNZ_OK;
    if (!found) {
        if (index) *index = -1;
        if (item) {
            std::memset(item, 0, sizeof *item);
            item->index = -1;
        }
        return kZipNotFound;
    }
    CloseOpenItem(r);
    unz64_file_pos pos;
    if (unzGetFilePos64(r->archive, &pos) != UNZ_OK) return kZipBadLocalHeader;
    const int32_t at = int32_t(pos.num_of_file);
    if (index) *index = at;
    return item ? ZipReaderGetItem(r, at, item) : kZipOk;
}

uint32_t UnzipToMemory(ZipReader* r, int32_t index, uint8_t* buffer, uint32_t length) {
    if (index != r->openItem || !r->stream) {
        CloseOpenItem(r);
        if (index < 0 || index >= r->itemCount) return kZipBadArguments;
        if (SharesData(r, index)) return kZipDataError;
        if (!PositionOnItem(r, index)) return kZipBadLocalHeader;
        const uint32_t opened = OpenEntryStream(r->archive, r->password, &r->stream);
        if (opened != kZipOk) return opened;
        r->openItem = index;
    }
    uint32_t got;
    const uint32_t status = ReadEntryStream(r->stream, buffer, length, &got);
    if (status == kZipMoreData || (status == kZipOk && got > 0)) return kZipMoreData;
    CloseOpenItem(r);
    return status;
}

// True unless the volume holding `path` is known to have fewer than `bytes`
// free.
bool HasRoomFor(const wchar_t* path, uint64_t bytes) {
    const int64_t available = FreeSpaceAt(path);
    return available < 0 || bytes <= uint64_t(available);
}

// Writes the open stream's remaining bytes to `out`.
uint32_t CopyEntryTo(ZipEntryStream* stream, FILE* out) {
    uint8_t buffer[kExtractBufferSize];
    for (;;) {
        uint32_t got;
        const uint32_t status = ReadEntryStream(stream, buffer, sizeof buffer, &got);
        if (got && std::fwrite(buffer, 1, got, out) != got) return kZipWriteFailed;
        if (status != kZipMoreData) return status;
    }
}

uint32_t UnzipToFile(ZipReader* r, int32_t index, void* target, int kind) {
    CloseOpenItem(r);
    if (index < 0 || index >= r->itemCount) return kZipBadArguments;
    if (!target) return kind == kZipKindFileName ? kZipCannotOpen : kZipBadArguments;
    ZipItem item;
    const uint32_t got = ZipReaderGetItem(r, index, &item);
    if (got != kZipOk) return got;

    if (item.attributes & kFolder) {
        if (kind != kZipKindFileName) return kZipOk;
        if (!IsSafeRelativeName(item.name)) return kZipCannotOpen;
        return EnsureUnzipFolders(r->baseFolder, item.name, std::wcslen(item.name));
    }

    const auto* name = static_cast<const wchar_t*>(target);
    wchar_t path[kZipMaxPath];
    if (kind == kZipKindFileName) {
        if (!IsSafeRelativeName(name) || !JoinZipPath(r->baseFolder, name, std::wcslen(name), path))
            return kZipCannotOpen;
        size_t folderPart = 0;
        for (size_t i = 0; name[i]; ++i)
            if (IsZipSeparator(name[i])) folderPart = i;
        if (folderPart > 0 && EnsureUnzipFolders(r->baseFolder, name, folderPart) != kZipOk) return kZipCannotOpen;
    }

    // The item is opened (and its password checked) before the target file
    // is made, so a failure leaves nothing behind. A file is written beside
    // its target and replaces it only when complete: a failure leaves a file
    // already there as it was.
    if (SharesData(r, index)) return kZipDataError;
    if (!PositionOnItem(r, index)) return kZipBadLocalHeader;
    ZipEntryStream* stream;
    const uint32_t opened = OpenEntryStream(r->archive, r->password, &stream);
    if (opened != kZipOk) return opened;

    // Nothing is written for an item the target's volume has no room for.
    if (kind == kZipKindFileName && !HasRoomFor(path, EntryStreamSize(stream))) {
        CloseEntryStream(stream);
        return kZipWriteFailed;
    }
    FileReplacement* replacement = nullptr;
    // The base folder may be shared: a link planted at the name is replaced,
    // never written through.
    FILE* out = kind == kZipKindFileName ? ZipOpenReplacement(path, &replacement, FileReplacement::kReplaceLinks)
                                         : static_cast<FILE*>(target);
    if (!out) {
        CloseEntryStream(stream);
        return kZipCannotOpen;
    }
    uint32_t result = CopyEntryTo(stream, out);
    CloseEntryStream(stream);
    const int64_t writeTime = FileTimeToUnixTime(item.writeTime);
    if (kind == kZipKindFileName) {
        if (std::fclose(out) != 0 && result == kZipOk) result = kZipWriteFailed;
        if (ZipEndReplacement(&replacement, result == kZipOk) != 0) result = kZipCannotOpen;
        if (result == kZipOk && item.writeTime) SetWidePathTime(path, writeTime);
    } else if (result == kZipOk) {
        if (std::fflush(out) != 0) result = kZipWriteFailed;
        else if (item.writeTime) SetStreamTime(out, writeTime);
    }
    return result;
}

}  // namespace

uint32_t EnsureUnzipFolders(const wchar_t* baseFolder, const wchar_t* path, size_t length) {
    if (length == 0) return kZipOk;
    wchar_t folder[kZipMaxPath];
    for (size_t i = 1; i <= length; ++i) {
        if (i < length && !IsZipSeparator(path[i])) continue;
        if (IsZipSeparator(path[i - 1])) continue;  // "a//b" and a trailing separator
        if (!JoinZipPath(baseFolder, path, i, folder)) return kZipCannotOpen;
        MakeWideFolder(folder);
        // A link planted in the base folder would lead the items elsewhere.
        if (WidePathIsLink(folder)) return kZipCannotOpen;
    }
    size_t end = length;
    while (end > 0 && IsZipSeparator(path[end - 1])) --end;
    if (end == 0 || !JoinZipPath(baseFolder, path, end, folder)) return kZipCannotOpen;
    return ZipPathIsFolder(folder) ? kZipOk : kZipCannotOpen;
}

ZipHandle* OpenZipSource(const void* source, uint32_t length, int kind, const char* password) {
    ZipReader* r = CreateZipReader(password);
    if (!r) {
        Store(kZipNoMemory);
        return nullptr;
    }
    uint32_t result = ZipReaderOpen(r, source, length, kind);
    ZipHandle* handle = result == kZipOk ? NewZipHandle(kZipReaderHandle, r) : nullptr;
    if (result == kZipOk && !handle) result = kZipNoMemory;
    if (!handle) FreeZipReader(r);
    Store(result);
    return handle;
}

ZipHandle* OpenZipFile(const wchar_t* fileName, const char* password) {
    return OpenZipSource(fileName, 0, kZipKindFileName, password);
}

ZipHandle* OpenZipMemory(const void* address, uint32_t length, const char* password) {
    return OpenZipSource(address, length, kZipKindMemory, password);
}

uint32_t GetZipItem(ZipHandle* handle, int32_t index, ZipItem* item) {
    ZipReader* r;
    const uint32_t checked = ReaderOf(handle, &r);
    return Store(checked != kZipOk ? checked : ZipReaderGetItem(r, index, item));
}

uint32_t FindZipItem(ZipHandle* handle, const wchar_t* name, int ignoreCase, int32_t* index, ZipItem* item) {
    ZipReader* r;
    const uint32_t checked = ReaderOf(handle, &r);
    return Store(checked != kZipOk ? checked : ZipReaderFindItem(r, name, ignoreCase, index, item));
}

uint32_t UnzipItem(ZipReader* r, int32_t index, void* target, uint32_t length, int kind) {
    switch (kind) {
        case kZipKindHandle:
        case kZipKindFileName:
            return UnzipToFile(r, index, target, kind);
        case kZipKindMemory:
            if (!target || length == 0) return kZipBadArguments;
            return UnzipToMemory(r, index, static_cast<uint8_t*>(target), length);
        default:
            return kZipBadArguments;
    }
}

uint32_t UnzipItemToFile(ZipHandle* handle, int32_t index, const wchar_t* fileName) {
    ZipReader* r;
    const uint32_t checked = ReaderOf(handle, &r);
    return Store(checked != kZipOk ? checked : UnzipItem(r, index, const_cast<wchar_t*>(fileName), 0, kZipKindFileName));
}

uint32_t UnzipItemToMemory(ZipHandle* handle, int32_t index, void* buffer, uint32_t length) {
    ZipReader* r;
    const uint32_t checked = ReaderOf(handle, &r);
    return Store(checked != kZipOk ? checked : UnzipItem(r, index, buffer, length, kZipKindMemory));
}

uint32_t SetUnzipBaseDir(ZipHandle* handle, const wchar_t* folder) {
    ZipReader* r;
    const uint32_t checked = ReaderOf(handle, &r);
    if (checked != kZipOk) return Store(checked);
    // Room for the separator and at least one character of a name.
    if (!folder || !*folder || std::wcslen(folder) > size_t(kZipMaxPath) - 3) return Store(kZipBadArguments);
    SetBaseFolder(r, folder);
    return Store(kZipOk);
}

uint32_t CloseZipReader(ZipHandle* handle) {
    ZipReader* r;
    const uint32_t checked = ReaderOf(handle, &r);
    if (checked != kZipOk) return Store(checked);
    FreeZipReader(r);
    std::free(handle);
    return Store(kZipOk);
}

bool ZipHandleIsReader(const ZipHandle* handle) { return !handle || handle->kind == kZipReaderHandle; }
