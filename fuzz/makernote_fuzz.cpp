// Maker notes of every make on arbitrary bytes. Input: a byte (make kind in
// the low four bits, Canon make and Nikon model in bits 7 and 6), the
// note's 16-bit little-endian TIFF offset, then TIFF data; the note runs
// from that offset to the end, so a read past it leaves the buffer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "processing/exif_internal.h"
#include "processing/exif_props.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3 || size > 1 << 20) return 0;
    std::vector<uint8_t> tiff(data + 3, data + size);
    const size_t noteAt = size_t(data[1]) | size_t(data[2]) << 8;
    if (tiff.empty() || noteAt >= tiff.size()) return 0;

    ExifScan scan;
    std::memset(&scan, 0, sizeof scan);
    scan.bigEndian = tiff[0] == 'M';
    scan.tiff = tiff.data();
    scan.tiffLength = tiff.size();
    scan.make = (data[0] & 0x0F) % (kMakePentax + 1);  // the high bits choose the camera
    scan.makerNote = tiff.data() + noteAt;
    scan.makerNoteSize = uint32_t(tiff.size() - noteAt);

    PropertyList list{nullptr, 0, 0};
    // Lens post-processing runs only for a Nikon or Canon make in "Camera".
    AddProperty(&list, kCategoryCamera, 271, kTiffAscii, "Camera Manufacturer", nullptr, 0,
                data[0] & 0x80 ? "Canon" : "NIKON");
    AddProperty(&list, kCategoryCamera, 272, kTiffAscii, "Camera Model", nullptr, 0,
                data[0] & 0x40 ? "NIKON D200" : "Canon EOS 5D");
    ParseMakerNote(&scan, &list);
    PostProcessLenses(&list);
    volatile size_t bytes = 0;
    for (uint32_t i = 0; i < list.count; ++i)
        for (uint32_t k = 0; k < list.categories[i].count; ++k) {
            const PropertyItem& item = list.categories[i].items[k];
            if (item.text) bytes = bytes + std::strlen(item.text);
            for (uint32_t b = 0; b < item.size; ++b) bytes = bytes + item.value[b];
        }
    FreePropertyList(&list);
    return 0;
}
