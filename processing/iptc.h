// The IPTC-IIM application record (record 2) that pictures carry in a
// Photoshop image resource 0x0404, inside a JPEG APP13 segment: finding it
// in a metadata list, parsing it into an IptcRecord, listing it for display,
// and building IIM bytes back from the record.
//
// Texts are stored as the file holds them: in the system code page, or in
// UTF-8 when the record says so (`utf8`, record 1 dataset 90 = ESC % G). A
// UTF-8 record is written back as UTF-8 with that marker, so nothing is lost
// on a round trip; only the display listing converts to the code page.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

struct MetadataBlock;

constexpr int kIptcSlotCount = 256;

// The repeatable datasets with lists of their own, in list order.
enum IptcListIndex : int {
    kIptcSupplementalCategories = 0,  // 2:20
    kIptcKeywords = 1,                // 2:25
    kIptcContacts = 2,                // 2:118
    kIptcContentLocations = 3,        // 2:27
    kIptcListCount = 4,
};
extern const uint8_t kIptcListDatasets[kIptcListCount];

struct IptcText {
    char* text;       // owned, zero-terminated
    uint32_t length;  // in bytes, without the terminator
};

struct IptcList {
    uint32_t count;
    char** items;     // owned array of owned zero-terminated texts
};

// A further value of a repeatable dataset that has no list (by-line,
// subject reference, ...): the slot keeps the first value, these the rest.
struct IptcRepeat {
    uint8_t dataset;
    IptcText value;
};

// Zeroed before use (IptcRead does it); freed with IptcFree.
struct IptcRecord {
    IptcText slots[kIptcSlotCount];  // by record-2 dataset number
    IptcList lists[kIptcListCount];
    IptcRepeat* repeats;             // owned array, in file order
    uint32_t repeatCount;
    uint32_t present;                // 1 once any record-2 dataset was read
    uint32_t utf8;                   // 1: texts are UTF-8, written back marked so
};

// One resource of a Photoshop image-resource list: "8BIM", id, padded
// name, 32-bit size, data padded to an even length.
struct PhotoshopResource {
    uint16_t id;
    size_t start;     // offset of "8BIM"
    size_t data;      // offset of the data
    size_t size;      // the data's size as stored (the data lies inside the block)
    size_t end;       // offset after the padded data (may be the block's end)
    bool truncated;   // the stored size passed the block: `size` is what is there
};

// Bytes of "Photoshop 3.0" and its terminating zero.
constexpr size_t kPhotoshopHeaderBytes = 14;

// The resource list of an APP13 payload, walked one resource at a time.
// Begin: true when the block starts with the Photoshop header (`*pos` set
// to the first resource). Next: true with the resource at `*pos` and `*pos`
// moved past it; false at the end of the list or at a resource that is not
// "8BIM". A resource whose data passes the block is the last one, marked
// truncated, with the bytes that are there.
bool BeginPhotoshopResources(const uint8_t* block, size_t length, size_t* pos);
bool NextPhotoshopResource(const uint8_t* block, size_t length, size_t* pos, PhotoshopResource* out);

// The IIM data of resource 0x0404 in an APP13 payload and its length, or
// null when the block holds none.
const uint8_t* FindIptcResource(const uint8_t* block, size_t length, size_t* iimLength);

// Parses IIM bytes (datasets, no length prefix) into a zeroed record. Dataset
// data that would pass the end stops the parse; what was read stays.
void ParseIim(const uint8_t* iim, size_t length, IptcRecord* record);

// 1 when the first IPTC node that holds resource 0x0404 was parsed into the
// record, else 0; the record is zeroed first in both cases.
int IptcRead(const MetadataBlock* list, IptcRecord* record);

// Called once per dataset with text: (context, dataset number, name, text).
// Texts are in the system code page; the pointers live for the call only.
using IptcDatasetCallback = void (*)(void* context, int dataset, const char* name, const char* text);

// Lists the last IPTC node that holds resource 0x0404, dataset numbers
// ascending; each list and each repeated dataset is handed on once, its
// values joined with ",". Nothing is called without such a node.
void IptcEnumDatasets(const MetadataBlock* list, IptcDatasetCallback callback, void* context);

// The display name of a record-2 dataset, or "????".
const char* IptcDatasetName(int dataset);

// Frees every text and array and zeroes the record.
void IptcFree(IptcRecord* record);

// Appends a value to one of the four lists (a copy); 0 when out of memory.
int IptcAddListItem(IptcRecord* record, int list, const char* text);
// Sets a slot's text (a copy, replacing the old one; null clears it); 0 when
// out of memory.
int IptcSetText(IptcRecord* record, int dataset, const char* text, size_t length);

// Moves into `into` what `from` holds of the `count` datasets listed (a
// dataset `from` lacks is removed from `into`) and of the lists whose bits
// (1 << IptcListIndex) are set in `lists` (replaced whole); `from` keeps
// what was not moved. Everything else of `into` stays: its other datasets,
// lists, repeated values and UTF-8 marking. An editor that shows only some
// datasets writes its own over a file's record this way.
void IptcTakeDatasets(IptcRecord* into, IptcRecord* from, const uint8_t* datasets, size_t count, uint32_t lists);

// The IIM bytes of a record, malloc'ed: a 16-bit big-endian count n, then n
// bytes of datasets in ascending dataset order (list items and repeats in
// their order), preceded by record 1 dataset 90 (ESC % G) when the record
// is UTF-8. *length = n + 2. Null when out of memory, when a value exceeds
// 32,767 bytes (longer ones need extended datasets) or n exceeds 65,535
// (the count field has 16 bits).
uint8_t* BuildIim(const IptcRecord* record, size_t* length);
// The n of BuildIim (dataset bytes without the count), or SIZE_MAX when
// BuildIim would refuse the record for its size.
size_t IimDatasetBytes(const IptcRecord* record);
