// EXIF reading into displayable properties: the EXIF block a load leaves in
// a picture's metadata list becomes a PropertyList of named categories
// ("Camera", "Image", "IOP", "Thumbnail", "GPS", "Makernotes") of (name,
// text) items, camera maker notes included, handed out through a callback.
//
// Portable: no platform headers. Texts are 8-bit texts in the system code
// page (Latin-1 here: the GPS degree sign is 0xB0). Every IFD goes through
// the capped reader of imagelib/readers/tiffifd.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagelib/metadata.h"

// Category codes, in the order a scan creates them.
enum PropertyCategoryCode : uint32_t {
    kCategoryCamera = 1,      // IFD0
    kCategoryImage = 2,       // the Exif sub-IFD
    kCategoryIop = 4,         // the Interoperability IFD
    kCategoryThumbnail = 8,   // IFD1 and every later IFD of the chain
    kCategoryGps = 16,
    kCategoryMakernotes = 32,
};

// "Camera", "Image", ...; "???" for any other code.
const char* PropertyCategoryName(uint32_t code);

struct PropertyItem {
    uint16_t tag;
    uint16_t type;            // TIFF field type
    const char* name;         // a static text, not owned
    uint32_t size;            // bytes of the raw value
    uint8_t* value;           // owned copy of the raw value; none for ASCII
    char* text;               // owned
};

struct PropertyCategory {
    uint32_t code;
    uint32_t count;
    uint32_t capacity;
    PropertyItem* items;
};

struct PropertyList {
    PropertyCategory* categories;
    uint32_t count;
    uint32_t capacity;
};

// Finds the category with `code`, creating it at the end; null when out of
// memory.
PropertyCategory* FindOrAddCategory(PropertyList* list, uint32_t code);
// Appends an item; `value` (size bytes) is copied unless the type is ASCII,
// `text` is copied. A failed allocation leaves that field empty; null only
// when the item itself could not be added.
PropertyItem* AddProperty(PropertyList* list, uint32_t code, uint16_t tag, uint16_t type, const char* name,
                          const void* value, uint32_t size, const char* text);
// Replaces an item's text (a failed allocation leaves it empty).
void SetPropertyText(PropertyItem* item, const char* text);
void FreePropertyList(PropertyList* list);

// Camera make kinds found in tag 271.
enum CameraMake : int {
    kMakeNone = 0,
    kMakeCanon,
    kMakeOlympus,
    kMakeFujifilm,
    kMakeNikon,
    kMakeCasio,
    kMakeMinolta,
    kMakeSigma,
    kMakeSanyo,
    kMakePanasonic,
    kMakePentax,
};

// The make kind of a tag-271 text (its beginning, without regard to case).
int CameraMakeOf(const char* make);

// The scan state of one EXIF block.
struct ExifScan {
    int bigEndian;
    const uint8_t* tiff;          // the TIFF data: block + 6
    size_t tiffLength;
    int make;                     // CameraMake
    int ifdsParsed;
    uint64_t highestValueEnd;     // end of the furthest out-of-line value (TIFF offset); 0 when none
    uint32_t thumbnailOffset;     // from the block's start (the TIFF value + 6); 0 when none
    uint32_t thumbnailLength;
    uint32_t thumbnailLengthAt;   // block offset of tag 514's value
    const uint8_t* makerNote;     // tag 37500's value, inside the TIFF data
    uint32_t makerNoteSize;
    PropertyList* list;           // null when properties are not collected
};

// Receives one call per category, (context, code, 0, category name, null),
// then one per item of it, (context, code, tag, name, text).
using PropertyCallback = void (*)(void* context, uint32_t category, uint16_t tag, const char* name,
                                  const char* text);

// Scans one EXIF block ("Exif\0\0" and TIFF data). 1 when the header is
// valid, else 0. Without a callback it only fills `scan` (thumbnail, value
// offsets, make); with one it also builds the property list (maker notes and
// `makerNode`'s tag list included), post-processes the lens records,
// enumerates and frees it.
int ParseTiffBlock(const uint8_t* block, size_t length, PropertyCallback callback, void* context, ExifScan* scan,
                   const MetadataBlock* makerNode);

// Enumerates the properties of the last EXIF block of a metadata list (with
// the last camera-raw maker-note node, kind 255). Nothing is called when the
// list holds no EXIF block or its header is wrong.
void ExifEnumProperties(const MetadataBlock* list, PropertyCallback callback, void* context);
