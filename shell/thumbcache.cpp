#include "shell/thumbcache.h"

#include <zlib.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "imagelib/bytereader.h"
#include "imagelib/checked.h"
#include "shell/filelist.h"

namespace {

const uint8_t kMagic[8] = {'Z', 'T', '0', '1', 0, 0, 0, 0};
static_assert(kThumbCacheMaxFile <= uint64_t(INT32_MAX), "record offsets are signed 32-bit");
constexpr uint64_t kInflateMaxRatio = 1032;

void Put16(std::vector<uint8_t>* out, uint32_t v) {
    out->push_back(uint8_t(v));
    out->push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>* out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
void Put64(std::vector<uint8_t>* out, uint64_t v) {
    Put32(out, uint32_t(v));
    Put32(out, uint32_t(v >> 32));
}

void PutRecord(std::vector<uint8_t>* out, const ThumbCacheRecord& r) {
    Put32(out, uint32_t(r.offset));
    Put32(out, r.length);
    Put16(out, uint16_t(r.formatIndex));
    Put16(out, 0);
    Put32(out, r.width);
    Put32(out, r.height);
    for (uint16_t word : r.colourWords) Put16(out, word);
    Put64(out, r.localTime);
    for (uint16_t unit : r.name) Put16(out, unit);
}

ThumbCacheRecord ReadRecord(ByteReader& in) {
    ThumbCacheRecord r;
    r.offset = int32_t(in.U32Le());
    r.length = in.U32Le();
    r.formatIndex = int16_t(in.U16Le());
    in.Skip(2);
    r.width = in.U32Le();
    r.height = in.U32Le();
    for (uint16_t& word : r.colourWords) word = in.U16Le();
    const uint64_t low = in.U32Le();
    r.localTime = low | uint64_t(in.U32Le()) << 32;
    for (uint16_t& unit : r.name) unit = in.U16Le();
    r.name[kThumbNameUnits - 1] = 0;
    return r;
}

void PutDescription(std::vector<uint8_t>* out, const Bitmap& b, bool palette) {
    Put32(out, uint32_t(b.width));
    Put32(out, uint32_t(b.height));
    Put32(out, uint32_t(b.bytesPerRow));
    Put16(out, b.pixelType);
    Put16(out, b.bytesPerPixel);
    Put16(out, b.bitsPerSample);
    Put16(out, b.components);
    Put16(out, uint16_t(b.rowAlignment));
    Put16(out, b.orientation);
    Put32(out, uint32_t(b.xResolution));
    Put32(out, uint32_t(b.yResolution));
    Put16(out, uint16_t(b.paletteCount));
    Put16(out, uint16_t(b.transparentIndex));
    Put32(out, palette ? 1 : 0);  // where the record keeps its palette reference
    out->insert(out->end(), 12, 0);
}

bool SameName(const uint16_t (&a)[kThumbNameUnits], const uint16_t (&b)[kThumbNameUnits]) {
    return std::memcmp(a, b, sizeof a) == 0;
}

}  // namespace

void ColourWordsOf(const ImageInfo& info, uint16_t (&words)[4]) {
    words[0] = info.bitsPerSample;
    words[1] = info.components;
    words[2] = info.planes;
    words[3] = info.bitsPerPlane;
}

void ThumbCacheName(const wchar_t* path, uint16_t (&name)[kThumbNameUnits]) {
    std::wstring text;
    SplitPathFolderName(path, nullptr, &text);
    if (text.empty() && !std::wcspbrk(path, L"\\/")) text = path;
    std::memset(name, 0, sizeof name);
    size_t n = 0;
    for (wchar_t c : text) {
        const uint32_t code = uint32_t(c);
        if (code > 0xFFFF && code <= 0x10FFFF) {
            if (n + 2 > kThumbNameUnits - 1) break;
            name[n++] = uint16_t(0xD800 + ((code - 0x10000) >> 10));
            name[n++] = uint16_t(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            if (n + 1 > kThumbNameUnits - 1) break;
            name[n++] = uint16_t(code > 0xFFFF ? 0xFFFD : code);
        }
    }
}

bool ParseThumbCacheIndex(const uint8_t* data, size_t size, uint64_t fileSize, int32_t boxWidth,
                          int32_t boxHeight, std::vector<ThumbCacheRecord>* records) {
    records->clear();
    ByteReader in(data, size);
    const uint8_t* magic = in.Take(8);
    const int32_t width = int32_t(in.U32Le());
    const int32_t height = int32_t(in.U32Le());
    const uint32_t count = in.U32Le();
    if (!in.ok || magic[0] != 'Z' || magic[1] != 'T') return false;
    if (width != boxWidth || height != boxHeight || width < 1 || width > kThumbCacheMaxBox || height < 1 ||
        height > kThumbCacheMaxBox)
        return false;
    // The count comes from the file: the index must fit in it.
    if (uint64_t(count) > (fileSize - kThumbCacheHeaderBytes) / kThumbCacheRecordBytes || !in.Has(size_t(count) * kThumbCacheRecordBytes))
        return false;
    records->reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const ThumbCacheRecord r = ReadRecord(in);
        if (r.offset >= 0 && r.length >= kThumbDescriptionBytes && RangeInside(uint64_t(r.offset), r.length, fileSize))
            records->push_back(r);
    }
    return in.ok;
}

bool CompressThumbData(size_t sourceLength, const uint8_t* source, size_t* destinationLength,
                       uint8_t* destination) {
    if (sourceLength > UINT_MAX || *destinationLength > UINT_MAX) return false;
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(source);
    z.avail_in = uInt(sourceLength);
    z.next_out = destination;
    z.avail_out = uInt(*destinationLength);
    const int result = deflate(&z, Z_FINISH);
    const size_t made = z.total_out;
    if (deflateEnd(&z) != Z_OK || result != Z_STREAM_END) return false;
    *destinationLength = made;
    return true;
}

bool UncompressThumbData(size_t sourceLength, const uint8_t* source, size_t destinationLength,
                         uint8_t* destination) {
    if (sourceLength > UINT_MAX || destinationLength > UINT_MAX) return false;
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (inflateInit(&z) != Z_OK) return false;
    // The stream's structure, its end and its exact length are checked; its
    // Adler-32 would cost a tenth of the inflate again, for a thumbnail the
    // cache can always make anew.
    inflateValidate(&z, 0);
    z.next_in = const_cast<Bytef*>(source);
    z.avail_in = uInt(sourceLength);
    z.next_out = destination;
    z.avail_out = uInt(destinationLength);
    const int result = inflate(&z, Z_FINISH);
    const bool whole = result == Z_STREAM_END && z.total_out == destinationLength;
    inflateEnd(&z);
    return whole;
}

bool FitsThumbBox(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight) {
    return (width <= boxWidth && height <= boxHeight) || (width <= boxHeight && height <= boxWidth);
}

int DecodeThumbPayload(const uint8_t* payload, size_t length, int32_t boxWidth, int32_t boxHeight, Bitmap* bitmap) {
    std::memset(bitmap, 0, sizeof *bitmap);
    ByteReader in(payload, length);
    const int32_t width = int32_t(in.U32Le());
    const int32_t height = int32_t(in.U32Le());
    const int32_t bytesPerRow = int32_t(in.U32Le());
    const uint16_t pixelType = in.U16Le();
    const uint16_t bytesPerPixel = in.U16Le();
    const uint16_t bitsPerSample = in.U16Le();
    const uint16_t components = in.U16Le();
    const int16_t rowAlignment = int16_t(in.U16Le());
    const uint16_t orientation = in.U16Le();
    const int32_t xResolution = int32_t(in.U32Le());
    const int32_t yResolution = int32_t(in.U32Le());
    const int16_t paletteCount = int16_t(in.U16Le());
    const int16_t transparentIndex = int16_t(in.U16Le());
    const uint32_t paletteReference = in.U32Le();
    in.Skip(12);
    if (!in.ok || width < 1 || height < 1 || !FitsThumbBox(width, height, boxWidth, boxHeight)) return 0;
    if (PixelTypeComponents(pixelType) == 0 || rowAlignment < 1 || rowAlignment > 64) return 0;
    if (paletteCount < 0 || paletteCount > 256 || transparentIndex < -1 || transparentIndex > 255) return 0;
    // The description must be one the image library makes itself: the same
    // row length, pixel size and components for this type, size and depth.
    if (BitmapRowBytes(pixelType, rowAlignment, width, height, bitsPerSample) != bytesPerRow) return 0;
    const bool hasPalette = paletteCount != 0 && paletteReference != 0;
    const uint8_t* palette = hasPalette ? in.Take(kPaletteBytes) : nullptr;
    if (hasPalette && !palette) return 0;
    // zlib expands at most 1032 to 1: pixels the stored bytes cannot hold
    // are refused before anything is allocated for them.
    if (uint64_t(bytesPerRow) * uint64_t(height) > uint64_t(in.Remaining()) * kInflateMaxRatio) return 0;
    if (!AllocBitmapWithDepth(bitmap, pixelType, rowAlignment, width, height, bitsPerSample)) return 0;
    if (bitmap->bytesPerRow != bytesPerRow || bitmap->bytesPerPixel != bytesPerPixel ||
        bitmap->components != components) {
        FreeBitmap(bitmap);
        return 0;
    }
    bitmap->orientation = orientation;
    bitmap->xResolution = xResolution;
    bitmap->yResolution = yResolution;
    bitmap->paletteCount = paletteCount;
    bitmap->transparentIndex = transparentIndex;
    if (palette) {
        if (!bitmap->palette) bitmap->palette = static_cast<uint8_t*>(std::calloc(1, kPaletteBytes));
        if (!bitmap->palette) {
            FreeBitmap(bitmap);
            return 0;
        }
        std::memcpy(bitmap->palette, palette, kPaletteBytes);
    }
    const size_t pixelBytes = size_t(bytesPerRow) * size_t(height);
    if (!UncompressThumbData(in.Remaining(), payload + in.pos, pixelBytes, bitmap->pixels)) {
        FreeBitmap(bitmap);
        return 0;
    }
    return 1;
}

bool EncodeThumbPayload(const Bitmap& bitmap, std::vector<uint8_t>* payload) {
    payload->clear();
    size_t pixelBytes;
    if (!bitmap.pixels || bitmap.bytesPerRow < 1 || bitmap.height < 1 ||
        !CheckedMul(size_t(bitmap.bytesPerRow), size_t(bitmap.height), &pixelBytes))
        return false;
    const bool palette = bitmap.paletteCount != 0 && bitmap.palette;
    PutDescription(payload, bitmap, palette);
    if (palette) payload->insert(payload->end(), bitmap.palette, bitmap.palette + kPaletteBytes);
    const size_t header = payload->size();
    size_t room = pixelBytes + 4096;
    payload->resize(header + room);
    if (!CompressThumbData(pixelBytes, bitmap.pixels, &room, payload->data() + header)) {
        payload->clear();
        return false;
    }
    payload->resize(header + room);
    return true;
}

// ---------------------------------------------------------------------------
// The open cache.

void ThumbCache::Reset() {
    records_.clear();
    used_.clear();
    contents_.clear();
    dirty_ = false;
    appendAt_ = 0;
}

bool ThumbCache::Open(const std::wstring& folder, int32_t boxWidth, int32_t boxHeight) {
    Close(false);
    Reset();
    folder_ = folder;
    boxWidth_ = boxWidth;
    boxHeight_ = boxHeight;
    const std::wstring path = folder + L"cache.zt";
    FileSource source;
    InitFileSource(&source, path.c_str());
    file_ = OpenPictureFile(&source, kOpenUpdateBinary);
    bool valid = false;
    // The whole file is read once: lookups then decode from memory.
    if (file_ && SeekPictureFile(file_, 0, SEEK_END) == 0) {
        const int64_t size = TellPictureFile(file_);
        if (size >= int64_t(kThumbCacheHeaderBytes) && uint64_t(size) <= kThumbCacheMaxFile &&
            SeekPictureFile(file_, 0, SEEK_SET) == 0) {
            contents_.resize(size_t(size));
            valid = ReadFileBytes(file_, contents_.data(), contents_.size()) == contents_.size() &&
                    ParseThumbCacheIndex(contents_.data(), contents_.size(), uint64_t(size), boxWidth, boxHeight,
                                         &records_);
        }
        appendAt_ = size;
    }
    if (valid) {
        used_.assign(records_.size(), 0);
        return true;
    }
    if (file_) ClosePictureFile(file_);
    Reset();
    dirty_ = true;
    file_ = OpenPictureFile(&source, kOpenCreateUpdateBinary);
    return file_ != nullptr;
}

bool ThumbCache::HoldsPath(const wchar_t* path) const {
    // Records are keyed by name alone: pictures of subfolders (a recursive
    // list) would meet their namesakes of the folder itself.
    if (std::wcsncmp(path, folder_.c_str(), folder_.size()) != 0) return false;
    for (const wchar_t* p = path + folder_.size(); *p; ++p)
        if (IsPathSeparator(*p)) return false;
    return true;
}

int ThumbCache::Lookup(const wchar_t* path, uint64_t localTime, Bitmap* bitmap, ImageInfo* info) {
    if (!file_ || !HoldsPath(path)) return 0;
    uint16_t name[kThumbNameUnits];
    ThumbCacheName(path, name);
    for (size_t i = 0; i < records_.size(); ++i) {
        const ThumbCacheRecord& r = records_[i];
        if (r.localTime != localTime || !SameName(r.name, name)) continue;
        // Records lie inside the file (ParseThumbCacheIndex, Store).
        if (!DecodeThumbPayload(contents_.data() + r.offset, r.length, boxWidth_, boxHeight_, bitmap)) return 0;
        std::memset(info, 0, sizeof *info);
        info->formatIndex = r.formatIndex;
        info->width = int32_t(r.width);
        info->height = int32_t(r.height);
        info->bitsPerSample = r.colourWords[0];
        info->components = r.colourWords[1];
        info->planes = r.colourWords[2];
        info->bitsPerPlane = r.colourWords[3];
        used_[i] = 1;
        return 1;
    }
    return 0;
}

bool ThumbCache::Store(const wchar_t* path, uint64_t localTime, const Bitmap& bitmap, const ImageInfo& info) {
    if (!file_ || !HoldsPath(path) || !FitsThumbBox(bitmap.width, bitmap.height, boxWidth_, boxHeight_)) return false;
    if (!EncodeThumbPayload(bitmap, &scratch_) || uint64_t(appendAt_) + scratch_.size() > kThumbCacheMaxFile)
        return false;
    file_->eof = file_->error = 0;
    if (SeekPictureFile(file_, appendAt_, SEEK_SET) != 0 ||
        WriteFileBytes(file_, scratch_.data(), scratch_.size()) != scratch_.size() || PictureFileFailed(file_))
        return false;
    contents_.insert(contents_.end(), scratch_.begin(), scratch_.end());
    ThumbCacheRecord r;
    std::memset(&r, 0, sizeof r);
    r.offset = int32_t(appendAt_);
    r.length = uint32_t(scratch_.size());
    r.formatIndex = info.formatIndex;
    r.width = uint32_t(info.width);
    r.height = uint32_t(info.height);
    ColourWordsOf(info, r.colourWords);
    r.localTime = localTime;
    ThumbCacheName(path, r.name);
    records_.push_back(r);
    used_.push_back(1);
    appendAt_ += int64_t(scratch_.size());
    dirty_ = true;
    return true;
}

bool ThumbCache::Compact(bool folderFinished) {
    const std::wstring temp = folder_ + L"cache.zt1";
    FileSource source;
    InitFileSource(&source, temp.c_str());
    PictureFile* out = OpenPictureFile(&source, kOpenWriteBinary);
    if (!out) return false;
    std::vector<ThumbCacheRecord> kept;
    uint64_t total = 0;
    for (size_t i = 0; i < records_.size(); ++i) {
        if ((!used_[i] && folderFinished) || total >= budget_) continue;
        kept.push_back(records_[i]);
        total += records_[i].length;
    }
    // The index is written twice: first to reserve its room, then with the
    // payloads' new offsets.
    std::vector<uint8_t> head(kMagic, kMagic + sizeof kMagic);
    Put32(&head, uint32_t(boxWidth_));
    Put32(&head, uint32_t(boxHeight_));
    head.resize(kThumbCacheHeaderBytes + kept.size() * kThumbCacheRecordBytes);
    WriteFileBytes(out, head.data(), head.size());
    int64_t at = int64_t(head.size());
    std::vector<ThumbCacheRecord> written;
    for (ThumbCacheRecord r : kept) {
        if (at > INT32_MAX - int64_t(r.length)) break;
        WriteFileBytes(out, contents_.data() + r.offset, r.length);
        r.offset = int32_t(at);
        at += r.length;
        written.push_back(r);
    }
    head.resize(8);
    Put32(&head, uint32_t(boxWidth_));
    Put32(&head, uint32_t(boxHeight_));
    Put32(&head, uint32_t(written.size()));
    for (const ThumbCacheRecord& r : written) PutRecord(&head, r);
    // Records dropped on the way leave unused room after the index.
    SeekPictureFile(out, 0, SEEK_SET);
    WriteFileBytes(out, head.data(), head.size());
    const bool wrote = !PictureFileFailed(out) && ClosePictureFileChecked(out) == 0;
    if (!wrote) DeletePictureFile(temp.c_str());
    return wrote;
}

void ThumbCache::Close(bool folderFinished) {
    if (!file_) return;
    if (folderFinished)
        for (uint8_t used : used_)
            if (!used) dirty_ = true;
    const bool rewrite = !records_.empty() && dirty_ && Compact(folderFinished);
    ClosePictureFile(file_);
    file_ = nullptr;
    if (rewrite) {
        const std::wstring path = folder_ + L"cache.zt";
        if (ReplaceWithTemp(folder_ + L"cache.zt1", path) != 0) DeletePictureFile((folder_ + L"cache.zt1").c_str());
    }
    Reset();
}
