// The per-folder thumbnail cache file "cache.zt": a 20-byte header (magic
// "ZT01" and four zero bytes, box width, box height, record count N), N
// index records of 164 bytes, and the payloads (a 52-byte bitmap
// description, an optional 1024-byte palette, the pixels as one zlib
// stream). All numbers little-endian. New thumbnails are appended; the file
// is rewritten through "cache.zt1" when it is closed, keeping the records
// used since it was opened within a payload budget.
//
// The file is read whole when it is opened (at most kThumbCacheMaxFile
// bytes; a larger one is made anew), and lookups decode from that copy.
//
// Portable: no platform headers. The file is untrusted: every count, offset,
// length and size is checked against the file before it is used, and a
// thumbnail must fit the box before anything is allocated for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "imagelib/bitmap.h"
#include "imagelib/fileio.h"
#include "imagelib/loadcontext.h"

constexpr size_t kThumbCacheHeaderBytes = 20;
constexpr size_t kThumbCacheRecordBytes = 164;
constexpr size_t kThumbDescriptionBytes = 52;
constexpr size_t kThumbNameUnits = 64;      // UTF-16 code units, the last always 0
constexpr uint64_t kThumbCacheBudget = 409600;  // payload bytes kept by a compaction
constexpr int32_t kThumbCacheMaxBox = 640;
// The largest cache file kept: compaction leaves a few hundred kilobytes,
// and a folder's visit appends one thumbnail per picture.
constexpr uint64_t kThumbCacheMaxFile = uint64_t(32) << 20;

struct ThumbCacheRecord {
    int32_t offset;       // payload offset from the start of the file
    uint32_t length;      // payload length
    int16_t formatIndex;
    uint32_t width;
    uint32_t height;
    uint16_t colourWords[4];
    uint64_t localTime;   // FILETIME of the picture's last write, local time
    uint16_t name[kThumbNameUnits];  // name without folder, UTF-16, zero padded
};

// The four colour words of an information record (bits per sample,
// components, planes, bits per plane), as the list and the cache keep them.
void ColourWordsOf(const ImageInfo& info, uint16_t (&words)[4]);

// The stored name of a path: the text after the last separator as UTF-16,
// cut to 63 code units.
void ThumbCacheName(const wchar_t* path, uint16_t (&name)[kThumbNameUnits]);

// Reads the header and index of a cache file of `fileSize` bytes (the reader
// starts at its first byte). False when the magic, the box (which must be
// the requested one, each side 1..640) or the index does not fit the file.
// Records whose payload lies outside the file are left out.
bool ParseThumbCacheIndex(const uint8_t* data, size_t size, uint64_t fileSize, int32_t boxWidth,
                          int32_t boxHeight, std::vector<ThumbCacheRecord>* records);

// Whether a thumbnail of width x height fits the box (either way round: a
// picture stored turned comes out turned).
bool FitsThumbBox(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight);

// A payload into a fresh bitmap (pixels, and the palette when one is
// stored, allocated here). 1 done; 0 when the thumbnail does not fit the
// box, the description is not a bitmap the image library lays out itself,
// the lengths disagree, or the pixels do not inflate to exactly bytes per
// row x height (the bitmap is then empty).
int DecodeThumbPayload(const uint8_t* payload, size_t length, int32_t boxWidth, int32_t boxHeight, Bitmap* bitmap);
// The payload of a bitmap; false when it cannot be deflated.
bool EncodeThumbPayload(const Bitmap& bitmap, std::vector<uint8_t>* payload);

// The zlib routines: one deflate at the default level; one inflate that must
// end its stream. CompressThumbData sets *destinationLength to the bytes made.
bool CompressThumbData(size_t sourceLength, const uint8_t* source, size_t* destinationLength,
                       uint8_t* destination);
bool UncompressThumbData(size_t sourceLength, const uint8_t* source, size_t destinationLength,
                         uint8_t* destination);

// The open cache of one folder. Used by one thread at a time: the browser
// hands it to the thumbnail worker and takes it back only after the worker
// has ended.
class ThumbCache {
public:
    // `budget`: payload bytes a compaction keeps (the last record kept may
    // pass it).
    explicit ThumbCache(uint64_t budget = kThumbCacheBudget) : budget_(budget) {}
    ThumbCache(const ThumbCache&) = delete;
    ThumbCache& operator=(const ThumbCache&) = delete;
    ~ThumbCache() { Close(false); }

    // Closes the open cache (compacting it) and opens folder + "cache.zt",
    // created when missing and recreated empty when not valid for the box.
    // False when it cannot be opened: lookups then miss and stores do nothing.
    bool Open(const std::wstring& folder, int32_t boxWidth, int32_t boxHeight);
    bool IsOpen() const { return file_ != nullptr; }

    // The thumbnail and information stored for the path's name and time.
    // 1 found: `bitmap` holds the thumbnail (caller frees it with FreeBitmap)
    // and `info` the stored fields, the rest zero; 0 not found.
    int Lookup(const wchar_t* path, uint64_t localTime, Bitmap* bitmap, ImageInfo* info);
    // Appends one record; false when nothing was stored (also for a bitmap
    // that does not fit the box, or one that would take the file past
    // kThumbCacheMaxFile).
    bool Store(const wchar_t* path, uint64_t localTime, const Bitmap& bitmap, const ImageInfo& info);

    // Closes the file, rewriting it when something changed. Records not used
    // since the open are dropped only when `folderFinished` (every entry of
    // the folder was looked up); the others stay within the budget.
    void Close(bool folderFinished);

    // For tests: the index as it is now.
    const std::vector<ThumbCacheRecord>& Records() const { return records_; }

private:
    void Reset();
    bool HoldsPath(const wchar_t* path) const;
    bool Compact(bool folderFinished);

    uint64_t budget_;
    std::wstring folder_;
    PictureFile* file_ = nullptr;
    int32_t boxWidth_ = 0;
    int32_t boxHeight_ = 0;
    int64_t appendAt_ = 0;
    // An allocator that leaves new bytes unset: the file's contents are read
    // over them at once, and zeroing megabytes first would cost a pass.
    template <class T>
    struct UnsetAllocator : std::allocator<T> {
        template <class U>
        struct rebind {
            using other = UnsetAllocator<U>;
        };
        UnsetAllocator() = default;
        template <class U>
        UnsetAllocator(const UnsetAllocator<U>&) {}
        template <class U>
        void construct(U* p) {
            ::new (static_cast<void*>(p)) U;
        }
        template <class U, class... Args>
        void construct(U* p, Args&&... args) {
            ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
        }
    };
    std::vector<uint8_t, UnsetAllocator<uint8_t>> contents_;  // the file's first appendAt_ bytes
    bool dirty_ = false;
    std::vector<ThumbCacheRecord> records_;
    std::vector<uint8_t> used_;
    std::vector<uint8_t> scratch_;
};
