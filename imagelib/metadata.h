// Everything a load gathers besides pixels: raw metadata blocks (EXIF, IPTC,
// XMP, ICC), decoded tag lists, the comment and keyed texts. They collect in
// the LoadContext and move to the Bitmap and ImageInfo at the end of a load.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

struct LoadContext;
struct PictureFile;

enum MetadataKind : uint32_t {
    kMetadataExif = 1,       // begins "Exif\0\0"
    kMetadataIptc = 2,       // begins with a "Photoshop 3.0" resource header
    kMetadataXmp = 3,        // the packet only
    kMetadataIcc = 4,        // the profile (chunks concatenated)
    kMetadataTagLists = 255, // decoded tag lists (make, model, maker notes)
};

struct TagRecord {
    uint16_t tag;
    uint16_t type;           // TIFF field type (2 = ASCII)
    int32_t directory;       // -1 for maker-note records
    uint32_t count;
    uint32_t value;          // the value when it fits in four bytes
    uint32_t dataLength;
    uint8_t* data;           // owned
};

struct TagList {
    TagRecord* records;
    uint32_t count;
    uint32_t capacity;
    uint32_t bigEndian;      // 1 for "MM" sources
};

// A node of a picture's metadata list. Kind 255 nodes have no data and carry
// the camera make, model and maker-note tag list instead.
struct MetadataBlock {
    uint32_t kind;
    uint32_t length;
    uint8_t* data;
    MetadataBlock* next;
    char* make;
    char* model;
    TagList* makerNotes;
};

constexpr int kMaxPictureTexts = 32;

// Reader callback: adds a block when the load keeps metadata (0x40000).
void AddMetadataBlock(LoadContext* ctx, uint32_t kind, const void* data, uint32_t length);
// Adds a block to a list directly (the save side and tests); 1 added, 0 not.
int AddMetadataBlockToList(MetadataBlock** head, uint32_t kind, const void* data, uint32_t length);

TagRecord* AppendTagRecord(TagList* list);
TagRecord* AppendExifTag(LoadContext* ctx);
void StartExifTagList(LoadContext* ctx, uint32_t bigEndian);
void StartMakerNoteTagList(LoadContext* ctx, const char* make, const char* model, uint32_t bigEndian);
TagRecord* AppendMakerNoteTag(LoadContext* ctx);
TagList* NewTagList(uint32_t bigEndian);
void FreeTagList(TagList* list);
// A deep copy, or null when out of memory.
TagList* CopyTagList(const TagList* list);

// The text is the first `length` bytes of `text` (or up to an earlier zero);
// nothing past them is read, so file bytes need no terminator.
void SetPictureComment(LoadContext* ctx, const char* text, size_t length);
// 0 done, 4 when the file ended first.
int ReadPictureComment(PictureFile* file, LoadContext* ctx, uint32_t n);
// `key` is a terminated string of ours; `value` is bounded as a comment is.
void AddPictureText(LoadContext* ctx, const char* key, const char* value, size_t length);
int ReadPictureText(PictureFile* file, LoadContext* ctx, const char* key, uint32_t n);

// Finds the first block of a kind in a list, or null.
const MetadataBlock* FindMetadataBlock(const MetadataBlock* head, uint32_t kind);
