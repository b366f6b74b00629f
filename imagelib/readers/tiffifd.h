// The one reader of TIFF image file directories (IFDs) in memory: the EXIF
// APP1 block, the property list, camera maker notes and the EXIF
// orientation and thumbnail operations all walk their IFDs through it.
//
// Portable: no platform headers. Nothing in the bytes is trusted: offsets
// are unsigned 32-bit values measured from the view's first byte, every
// offset + size and type size x count is computed in 64 bits, an IFD whose
// entries do not fit is refused whole, an entry whose value does not fit is
// marked unusable, and walks are iterations with a cap on the number of IFDs
// that never enter one IFD twice (so a looping chain ends).
#pragma once

#include <cstddef>
#include <cstdint>

// TIFF field types.
enum TiffType : uint16_t {
    kTiffByte = 1,
    kTiffAscii = 2,
    kTiffShort = 3,
    kTiffLong = 4,
    kTiffRational = 5,
    kTiffSByte = 6,
    kTiffUndefined = 7,
    kTiffSShort = 8,
    kTiffSLong = 9,
    kTiffSRational = 10,
    kTiffFloat = 11,
    kTiffDouble = 12,
};

// Bytes per value of a field type; 0 for types outside 1..12.
uint32_t TiffTypeSize(uint32_t type);

// IFD kinds, as bits so a walk can be told which kinds it wants. They are
// also the property list's category codes.
enum IfdKind : uint32_t {
    kIfdMain = 1,        // IFD0
    kIfdExif = 2,        // the Exif sub-IFD (tag 34665)
    kIfdInterop = 4,     // the Interoperability IFD (tag 40965)
    kIfdThumbnail = 8,   // IFD1 and every IFD chained after it
    kIfdGps = 16,        // the GPS IFD (tag 34853)
    kIfdAllKinds = 31,
};

constexpr uint16_t kTagExifIfd = 34665;
constexpr uint16_t kTagGpsIfd = 34853;
constexpr uint16_t kTagInteropIfd = 40965;
constexpr uint16_t kTagMakerNote = 37500;

// Bytes laid out as TIFF: IFD offsets and out-of-line value offsets are
// measured from `data`, and nothing beyond `size` bytes is ever read. A
// maker note gets a view of its own whose start is the point its offsets
// count from.
struct TiffView {
    const uint8_t* data = nullptr;
    size_t size = 0;
    bool bigEndian = false;

    // False (and 0) when the value does not lie wholly inside the view.
    bool U16At(uint64_t offset, uint16_t* out) const;
    bool U32At(uint64_t offset, uint32_t* out) const;
    // The view from `offset` on, same byte order; empty when offset > size.
    TiffView From(uint64_t offset) const;
};

// Checks an 8-byte TIFF header ("II" or "MM", then 42) at data[0] and reads
// IFD0's offset. False for any other header or fewer than 8 bytes.
bool OpenTiffView(const uint8_t* data, size_t size, TiffView* view, uint32_t* ifd0);

// One IFD's table: `count` 12-byte entries from at + 2. ReadIfdTable refuses
// an IFD whose entries do not all lie inside the view; the 4-byte link to
// the next IFD may be cut off (hasNext false then).
struct IfdTable {
    uint64_t at = 0;
    uint32_t count = 0;
    bool hasNext = false;
    uint32_t next = 0;
};
bool ReadIfdTable(const TiffView& view, uint64_t at, IfdTable* table);

// One entry. `usable` is false for types outside 1..12, a count of 0 and a
// value that does not lie wholly inside the view; then only the tag, type,
// count and field are meaningful.
struct IfdEntry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    uint32_t field = 0;     // the raw 4-byte value-or-offset field
    uint64_t size = 0;      // type size x count
    uint64_t entryAt = 0;   // the entry's offset in the view
    uint64_t valueAt = 0;   // the value's offset: entryAt + 8 when size <= 4
    bool inLine = false;    // size <= 4
    bool usable = false;
};
IfdEntry ReadIfdEntry(const TiffView& view, const IfdTable& table, uint32_t index);

// Readers of values already known to lie inside their data: 16 and 32 bits
// in a byte order, and element `index` of a value of `type` at `p` as a
// number (as IfdNumber) or as a rational (RATIONAL unsigned, SRATIONAL
// signed).
uint16_t TiffU16(const uint8_t* p, bool bigEndian);
uint32_t TiffU32(const uint8_t* p, bool bigEndian);
double TiffElementNumber(const uint8_t* p, uint32_t type, uint32_t index, bool bigEndian);
void TiffElementRational(const uint8_t* p, uint32_t type, uint32_t index, bool bigEndian, int64_t* numerator,
                         int64_t* denominator);

// The value bytes of a usable entry (size bytes), else null.
const uint8_t* IfdValueBytes(const TiffView& view, const IfdEntry& entry);

// Element `index` of a usable entry's value. Integer types as they are
// (signed types signed), rationals as numerator / denominator (0 when the
// denominator is 0), FLOAT and DOUBLE as stored; ASCII, UNDEFINED, an
// unusable entry and an index past the count give 0.
double IfdNumber(const TiffView& view, const IfdEntry& entry, uint32_t index);
// The same for whole-number use: integer types exactly, others truncated.
int64_t IfdInteger(const TiffView& view, const IfdEntry& entry, uint32_t index);
// Element `index` of a RATIONAL (unsigned) or SRATIONAL (signed) value. False
// for other types or an index past the count.
bool IfdRational(const TiffView& view, const IfdEntry& entry, uint32_t index, int64_t* numerator,
                 int64_t* denominator);
// Copies at most `capacity` - 1 bytes of the value, ends the copy with a zero
// byte and returns the number of bytes copied (0 for an unusable entry).
size_t CopyIfdValue(const TiffView& view, const IfdEntry& entry, char* out, size_t capacity);

// The most IFDs one walk enters; a maker note or a hostile block cannot make
// a walk longer.
constexpr int kMaxIfdsPerWalk = 64;

// The IFD offsets a walk has entered.
struct IfdVisits {
    uint64_t seen[kMaxIfdsPerWalk];
    int count = 0;
    // False when the IFD was entered before or the cap is reached.
    bool Enter(uint64_t at);
};

// Called once per IFD a walk reaches, with the IFD's kind; false ends the
// walk.
using IfdVisitor = bool (*)(void* context, uint32_t kind, const TiffView& view, const IfdTable& table);

struct IfdWalkOptions {
    uint32_t startKind = kIfdMain;
    // Kinds of sub-IFD to enter (from IFD0 and Exif IFDs: Exif, Interop,
    // GPS). Inside an Exif IFD every kind is wanted.
    uint32_t kindsWanted = kIfdAllKinds;
    // Follow the next-IFD link of the start IFD and of each IFD chained after
    // it (as kIfdThumbnail). Links of sub-IFDs are never followed.
    bool followChain = true;
};

// Walks the IFD at `start` and what hangs off it, depth first: an IFD, then
// each of its sub-IFDs (Exif with its own sub-IFDs first, then Interop,
// then GPS) and only then the next IFD of the chain. Sub-IFD offsets count
// when they lie inside the view. True when the visitor ended the walk.
bool WalkTiffIfds(const TiffView& view, uint64_t start, const IfdWalkOptions& options, IfdVisitor visitor,
                  void* context);

// The entry walk of the EXIF orientation and thumbnail operations. `value`
// points at the entry's value bytes in the caller's (writable) data.
// Returns 0 to stop the walk.
using IfdEntryCallback = int (*)(uint32_t kind, uint16_t tag, uint16_t type, uint32_t count, size_t size,
                                 uint8_t* value, int bigEndian, void* context);

// Hands every usable entry of the IFD at `ifd` of the TIFF data (and of its
// wanted sub-IFDs) to the callback, except the maker note and the sub-IFD
// pointers. Next-IFD links are not followed. 1 when the callback stopped the
// walk, else 0.
int WalkIfd(uint8_t* tiff, size_t length, uint32_t ifd, int bigEndian, uint32_t kind, uint32_t kindsWanted,
            IfdEntryCallback callback, void* context);

// The same on an EXIF block ("Exif\0\0" and TIFF data): checks the header
// and walks IFD0 as kind 1. `bigEndian` (when given) receives the block's
// byte order once the header is valid.
int WalkExifIfds(uint8_t* block, size_t length, uint32_t kindsWanted, IfdEntryCallback callback, void* context,
                 int* bigEndian);
