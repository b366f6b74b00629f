// Single facts of a picture's EXIF block, read and changed in place: the
// Orientation tag (274) of IFD0, and the JPEG thumbnail that IFD1 points
// at. The browser reads the orientation to show pictures upright; lossless
// transforms reset it; the batch tools measure and replace the thumbnail.
//
// The EXIF block is a metadata node of kind kMetadataExif ("Exif", two zero
// bytes, TIFF data). Its IFDs are walked by the one hardened IFD reader
// (imagelib/readers/tiffifd.h).
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

struct MetadataBlock;

// EXIF orientation values: how the stored rows must be turned to be upright.
enum ExifOrientation : uint32_t {
    kOrientationNormal = 1,
    kOrientationMirrored = 2,          // flip left to right
    kOrientationRotated180 = 3,
    kOrientationFlipped = 4,           // flip top to bottom
    kOrientationTransposed = 5,
    kOrientationRotated90 = 6,         // turn 90 degrees clockwise to view
    kOrientationTransversed = 7,
    kOrientationRotated270 = 8,
};

// 1 and the value when an EXIF block of the list (tried in order) has an
// Orientation entry of type SHORT and count 1 in IFD0; else 0. The first
// Orientation entry of a block ends its search, whatever its type.
int ExifGetOrientation(const MetadataBlock* list, uint32_t* value);

// Writes `value` into the Orientation entry of the first EXIF block's IFD0
// (in the block's byte order; only a SHORT entry of count 1 is written).
// 1 when that IFD0 has an Orientation entry, else 0.
int ExifSetOrientation(MetadataBlock* list, uint32_t value);

// The same two on one EXIF block (a node's data, or an APP1 payload).
int ExifBlockGetOrientation(uint8_t* block, size_t length, uint32_t* value);
int ExifBlockSetOrientation(uint8_t* block, size_t length, uint32_t value);

// What the thumbnail scan of one EXIF block finds. Offsets are from the
// block's first byte.
struct ExifThumbnailScan {
    uint32_t offset;             // the thumbnail (tag 513 + 6), 0 when none
    uint32_t length;             // tag 514
    size_t lengthValueAt;        // where tag 514's value lies in the block
    uint16_t lengthType;         // tag 514's type (SHORT or LONG)
    size_t structureEnd;         // end of the last IFD table or out-of-line value
    uint32_t outOfLineValues;    // how many out-of-line values the IFDs hold
    size_t orientationAt[4];     // Orientation entries (SHORT, count 1) after IFD0
    uint32_t orientationCount;
    int bigEndian;
};

// Scans one EXIF block; false when its header is not valid. A thumbnail that
// does not end inside the block is reported absent (offset and length 0).
bool ScanExifThumbnail(const uint8_t* block, size_t length, ExifThumbnailScan* scan);

// True when the scan found a thumbnail that is the block's last part: it
// starts after every IFD and every out-of-line value, of which there is at
// least one. Only such a thumbnail may be replaced.
bool ExifThumbnailIsLast(const ExifThumbnailScan& scan);

// 1 when an EXIF block of the list has a thumbnail that is its last part.
int ExifHasThumbnail(const MetadataBlock* list);

// 1 with the size of the first EXIF block's thumbnail (the first block that
// has one), read from its frame header; the outputs are set to 0 first.
int ExifGetThumbnailSize(const MetadataBlock* list, uint32_t* width, uint32_t* height);

// The largest EXIF block a JPEG APP1 segment can carry.
constexpr size_t kMaxExifBlockBytes = 65533;

// Puts a new JPEG thumbnail in place of the first EXIF block's one: the block
// is cut after the old thumbnail's start, the new one appended and tag 514
// set to its length in the tag's own type. 1 when replaced; 0 (nothing
// changed) when there is no replaceable thumbnail, the block would pass
// kMaxExifBlockBytes, the length does not fit tag 514's type, or memory
// runs out.
int ExifReplaceThumbnail(MetadataBlock* list, const uint8_t* jpeg, size_t length);

// Writes a new thumbnail over the old one inside the block when it is no
// longer than the old one (any block layout); tag 514 takes its length, the
// block keeps its size. 1 when written.
int ExifBlockOverwriteThumbnail(uint8_t* block, size_t length, const uint8_t* jpeg, size_t jpegLength);

// Sets the Orientation entries (SHORT, count 1) of the IFDs after IFD0 to 1:
// after the thumbnail was turned upright.
void ExifBlockResetThumbnailOrientation(uint8_t* block, size_t length);

// Writes a picture's size into the Exif IFD's pixel dimensions (tags 40962
// and 40963, SHORT or LONG, count 1) where they are.
void ExifBlockSetPixelDimensions(uint8_t* block, size_t length, uint32_t width, uint32_t height);

// The same on a block held in a malloc'ed buffer: on success *block is
// replaced by a new malloc'ed buffer (the old one freed) and *length set.
int ExifBlockReplaceThumbnail(uint8_t** block, size_t* length, const uint8_t* jpeg, size_t jpegLength);
