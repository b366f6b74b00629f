// The EXIF orientation and thumbnail operations on arbitrary blocks: the
// thumbnail scan, orientation read and write, the thumbnail's size through
// the JPEG marker walker, and a thumbnail replacement, never touching bytes
// outside the block; a replacement is found again by the next scan.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "imagelib/bitmap.h"
#include "imagelib/metadata.h"
#include "processing/exifedit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxExifBlockBytes) return 0;
    MetadataBlock* list = nullptr;
    if (!AddMetadataBlockToList(&list, kMetadataExif, data, uint32_t(size))) return 0;

    uint32_t value = 0;
    if (ExifGetOrientation(list, &value)) {
        if (!ExifSetOrientation(list, 1) || !ExifGetOrientation(list, &value) || value != 1) std::abort();
    }
    uint32_t w, h;
    ExifGetThumbnailSize(list, &w, &h);
    const int has = ExifHasThumbnail(list);
    static const uint8_t kThumb[] = {0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, 0, 3, 0, 5, 1, 1, 0x11, 0, 0xFF, 0xD9};
    const int replaced = ExifReplaceThumbnail(list, kThumb, sizeof kThumb);
    if (replaced && !has) std::abort();
    if (replaced) {
        ExifThumbnailScan scan;
        if (!ScanExifThumbnail(list->data, list->length, &scan) || scan.length != sizeof kThumb ||
            std::memcmp(list->data + scan.offset, kThumb, sizeof kThumb) != 0 ||
            !ExifGetThumbnailSize(list, &w, &h) || w != 5 || h != 3)
            std::abort();
    }
    FreeMetadataList(&list);
    return 0;
}
