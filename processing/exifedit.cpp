// EXIF orientation and thumbnail operations.
//
// Portable: no platform headers.
#include "exifedit.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imagelib/metadata.h"
#include "imagelib/readers/tiffifd.h"
#include "jpegsize.h"

namespace {

constexpr size_t kTiffAt = 6;  // after "Exif\0\0"
constexpr uint16_t kTagOrientation = 274;
constexpr uint16_t kTagThumbnailOffset = 513;
constexpr uint16_t kTagThumbnailLength = 514;
constexpr uint16_t kTagPixelXDimension = 40962;
constexpr uint16_t kTagPixelYDimension = 40963;

// The orientation callback's context: the value read (-1 until one is) or
// the value to write.
struct OrientationJob {
    int64_t value;
    bool write;
};

int OrientationEntry(uint32_t, uint16_t tag, uint16_t type, uint32_t count, size_t, uint8_t* value, int bigEndian,
                     void* context) {
    if (tag != kTagOrientation) return 1;
    auto* job = static_cast<OrientationJob*>(context);
    if (type == kTiffShort && count == 1) {
        if (job->write) {
            const uint16_t v = uint16_t(job->value);
            value[0] = uint8_t(bigEndian ? v >> 8 : v);
            value[1] = uint8_t(bigEndian ? v : v >> 8);
        } else {
            job->value = bigEndian ? (value[0] << 8 | value[1]) : (value[1] << 8 | value[0]);
        }
    }
    return 0;  // the first Orientation entry ends the search
}

void Put16(uint8_t* p, uint32_t v, int bigEndian) {
    p[bigEndian ? 0 : 1] = uint8_t(v >> 8);
    p[bigEndian ? 1 : 0] = uint8_t(v);
}

void Put32(uint8_t* p, uint32_t v, int bigEndian) {
    for (int i = 0; i < 4; ++i) p[bigEndian ? 3 - i : i] = uint8_t(v >> (8 * i));
}

// Tag 514 in its own type; false when the length does not fit it.
bool PutThumbnailLength(uint8_t* block, const ExifThumbnailScan& scan, size_t length) {
    uint8_t* at = block + scan.lengthValueAt;
    if (scan.lengthType == kTiffLong && length <= 0xFFFFFFFFu) Put32(at, uint32_t(length), scan.bigEndian);
    else if (scan.lengthType == kTiffShort && length <= 0xFFFF) Put16(at, uint32_t(length), scan.bigEndian);
    else return false;
    return true;
}

struct Dimensions {
    uint32_t width;
    uint32_t height;
};

int PixelDimensionEntry(uint32_t, uint16_t tag, uint16_t type, uint32_t count, size_t, uint8_t* value, int bigEndian,
                        void* context) {
    if ((tag != kTagPixelXDimension && tag != kTagPixelYDimension) || count != 1) return 1;
    const auto* size = static_cast<const Dimensions*>(context);
    const uint32_t v = tag == kTagPixelXDimension ? size->width : size->height;
    if (type == kTiffLong) Put32(value, v, bigEndian);
    else if (type == kTiffShort && v <= 0xFFFF) Put16(value, v, bigEndian);
    return 1;
}

struct ScanWalk {
    ExifThumbnailScan* scan;
};

bool ScanIfd(void* context, uint32_t kind, const TiffView& view, const IfdTable& table) {
    ExifThumbnailScan* s = static_cast<ScanWalk*>(context)->scan;
    const uint64_t tableEnd = table.at + 2 + uint64_t(table.count) * 12 + (table.hasNext ? 4 : 0);
    s->structureEnd = std::max<size_t>(s->structureEnd, size_t(std::min<uint64_t>(tableEnd, view.size)) + kTiffAt);
    for (uint32_t i = 0; i < table.count; ++i) {
        const IfdEntry e = ReadIfdEntry(view, table, i);
        if (!e.usable) continue;
        if (!e.inLine) {
            ++s->outOfLineValues;
            s->structureEnd = std::max<size_t>(s->structureEnd, size_t(e.valueAt + e.size) + kTiffAt);
        }
        const bool number = (e.type == kTiffShort || e.type == kTiffLong) && e.count == 1;
        if (kind == kIfdThumbnail && number && e.tag == kTagThumbnailOffset && s->offset == 0) {
            s->offset = uint32_t(IfdInteger(view, e, 0));
        } else if (kind == kIfdThumbnail && number && e.tag == kTagThumbnailLength && s->lengthValueAt == 0) {
            s->length = uint32_t(IfdInteger(view, e, 0));
            s->lengthValueAt = size_t(e.valueAt) + kTiffAt;
            s->lengthType = e.type;
        } else if (kind != kIfdMain && e.tag == kTagOrientation && e.type == kTiffShort && e.count == 1 &&
                   s->orientationCount < 4) {
            s->orientationAt[s->orientationCount++] = size_t(e.valueAt) + kTiffAt;
        }
    }
    return true;
}

// After a thumbnail was written: the block's IFDs must still lead to it. A
// hostile block can hide IFDs that overlap the thumbnail's bytes or that
// only fit once the block has grown; such a change is taken back.
bool ThumbnailFoundAgain(const uint8_t* block, size_t length, uint32_t offset, size_t jpegLength) {
    ExifThumbnailScan scan;
    return ScanExifThumbnail(block, length, &scan) && scan.offset == offset && scan.length == jpegLength;
}

MetadataBlock* FirstExif(const MetadataBlock* list) {
    for (const MetadataBlock* node = list; node; node = node->next)
        if (node->kind == kMetadataExif) return const_cast<MetadataBlock*>(node);
    return nullptr;
}

}  // namespace

int ExifBlockGetOrientation(uint8_t* block, size_t length, uint32_t* value) {
    OrientationJob job{-1, false};
    WalkExifIfds(block, length, kIfdMain, OrientationEntry, &job, nullptr);
    if (job.value < 0) return 0;
    *value = uint32_t(job.value);
    return 1;
}

int ExifBlockSetOrientation(uint8_t* block, size_t length, uint32_t value) {
    OrientationJob job{int64_t(value & 0xFFFF), true};
    return WalkExifIfds(block, length, kIfdMain, OrientationEntry, &job, nullptr);
}

int ExifGetOrientation(const MetadataBlock* list, uint32_t* value) {
    for (const MetadataBlock* node = list; node; node = node->next)
        if (node->kind == kMetadataExif && ExifBlockGetOrientation(node->data, node->length, value)) return 1;
    return 0;
}

int ExifSetOrientation(MetadataBlock* list, uint32_t value) {
    MetadataBlock* node = FirstExif(list);
    return node ? ExifBlockSetOrientation(node->data, node->length, value) : 0;
}

bool ScanExifThumbnail(const uint8_t* block, size_t length, ExifThumbnailScan* scan) {
    std::memset(scan, 0, sizeof *scan);
    static const uint8_t kPrefix[kTiffAt] = {'E', 'x', 'i', 'f', 0, 0};
    if (!block || length < kTiffAt || std::memcmp(block, kPrefix, kTiffAt) != 0) return false;
    TiffView view;
    uint32_t ifd0;
    if (!OpenTiffView(block + kTiffAt, length - kTiffAt, &view, &ifd0)) return false;
    scan->bigEndian = view.bigEndian ? 1 : 0;
    scan->structureEnd = kTiffAt + 8;
    ScanWalk walk{scan};
    WalkTiffIfds(view, ifd0, IfdWalkOptions{}, ScanIfd, &walk);
    // A thumbnail that does not end inside the TIFF data is none.
    if (scan->offset == 0 || scan->length == 0 || uint64_t(scan->offset) + scan->length > view.size) {
        scan->offset = 0;
        scan->length = 0;
    } else {
        scan->offset += kTiffAt;
    }
    return true;
}

bool ExifThumbnailIsLast(const ExifThumbnailScan& scan) {
    return scan.offset != 0 && scan.length != 0 && scan.lengthValueAt != 0 && scan.outOfLineValues > 0 &&
           scan.offset >= scan.structureEnd;
}

int ExifHasThumbnail(const MetadataBlock* list) {
    for (const MetadataBlock* node = list; node; node = node->next) {
        ExifThumbnailScan scan;
        if (node->kind == kMetadataExif && ScanExifThumbnail(node->data, node->length, &scan) &&
            ExifThumbnailIsLast(scan))
            return 1;
    }
    return 0;
}

int ExifGetThumbnailSize(const MetadataBlock* list, uint32_t* width, uint32_t* height) {
    *width = 0;
    *height = 0;
    for (const MetadataBlock* node = list; node; node = node->next) {
        ExifThumbnailScan scan;
        if (node->kind != kMetadataExif || !ScanExifThumbnail(node->data, node->length, &scan) || !scan.offset)
            continue;
        GetJpegSizeFromMemory(node->data + scan.offset, scan.length, width, height);
        return *width != 0 && *height != 0;
    }
    return 0;
}

int ExifBlockReplaceThumbnail(uint8_t** block, size_t* length, const uint8_t* jpeg, size_t jpegLength) {
    ExifThumbnailScan scan;
    if (!block || !*block || !jpeg || !ScanExifThumbnail(*block, *length, &scan) || !ExifThumbnailIsLast(scan))
        return 0;
    if (jpegLength > kMaxExifBlockBytes - scan.offset) return 0;
    const size_t newLength = scan.offset + jpegLength;
    auto* fresh = static_cast<uint8_t*>(std::malloc(newLength));
    if (!fresh) return 0;
    std::memcpy(fresh, *block, scan.offset);
    std::memcpy(fresh + scan.offset, jpeg, jpegLength);
    if (!PutThumbnailLength(fresh, scan, jpegLength) ||
        !ThumbnailFoundAgain(fresh, newLength, scan.offset, jpegLength)) {
        std::free(fresh);
        return 0;
    }
    std::free(*block);
    *block = fresh;
    *length = newLength;
    return 1;
}

int ExifReplaceThumbnail(MetadataBlock* list, const uint8_t* jpeg, size_t length) {
    MetadataBlock* node = FirstExif(list);
    if (!node) return 0;
    uint8_t* data = node->data;
    size_t size = node->length;
    if (!ExifBlockReplaceThumbnail(&data, &size, jpeg, length)) return 0;
    node->data = data;
    node->length = uint32_t(size);
    return 1;
}

int ExifBlockOverwriteThumbnail(uint8_t* block, size_t length, const uint8_t* jpeg, size_t jpegLength) {
    ExifThumbnailScan scan;
    if (!jpeg || !ScanExifThumbnail(block, length, &scan) || scan.offset == 0 || scan.lengthValueAt == 0 ||
        jpegLength > scan.length)
        return 0;
    auto* old = static_cast<uint8_t*>(std::malloc(scan.length + 4));
    if (!old) return 0;
    std::memcpy(old, block + scan.offset, scan.length);
    std::memcpy(old + scan.length, block + scan.lengthValueAt, 4);
    int done = 0;
    if (PutThumbnailLength(block, scan, jpegLength)) {
        std::memcpy(block + scan.offset, jpeg, jpegLength);
        done = ThumbnailFoundAgain(block, length, scan.offset, jpegLength);
        if (!done) {
            std::memcpy(block + scan.offset, old, scan.length);
            std::memcpy(block + scan.lengthValueAt, old + scan.length, 4);
        }
    }
    std::free(old);
    return done;
}

void ExifBlockResetThumbnailOrientation(uint8_t* block, size_t length) {
    ExifThumbnailScan scan;
    if (!ScanExifThumbnail(block, length, &scan)) return;
    for (uint32_t i = 0; i < scan.orientationCount; ++i) Put16(block + scan.orientationAt[i], 1, scan.bigEndian);
}

void ExifBlockSetPixelDimensions(uint8_t* block, size_t length, uint32_t width, uint32_t height) {
    Dimensions size{width, height};
    WalkExifIfds(block, length, kIfdExif, PixelDimensionEntry, &size, nullptr);
}
