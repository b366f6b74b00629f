// What the EXIF property list, the maker-note readers and their formatters
// share: tag tables, value-name lists, value readers, the text formats and
// the maker-note entry adder. Not for callers outside processing/.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "exif_props.h"
#include "imagelib/readers/tiffifd.h"

// A value and the name shown for it.
struct ValueName {
    int64_t value;
    const char* name;
};

struct PropertyList;
struct TagRow;

// A maker formatter: may overwrite `text` (kTextSize bytes) or add items of
// its own to `category` of the list.
using MakerFormatter = void (*)(const TagRow* row, const uint8_t* value, uint16_t type, uint32_t size,
                                bool bigEndian, char* text, PropertyList* list, uint32_t category);
// An array formatter: true when it wrote the element's text.
using ArrayFormatter = bool (*)(uint32_t index, int64_t value, char* text);

// One row of a tag table. For array tables (Canon and Minolta settings) the
// tag is the element index. type 0 accepts any type; count 0 any count (for
// ASCII and UNDEFINED values a non-zero count cuts the text).
struct TagRow {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    const char* name;
    const ValueName* values;
    uint32_t valueCount;
};

struct TagTable {
    const TagRow* rows;
    uint32_t count;
};

template <size_t N>
constexpr TagTable MakeTable(const TagRow (&rows)[N]) {
    return TagTable{rows, uint32_t(N)};
}

// Names of a value-name list as a row's last two fields.
#define PV_VALUES(list) list, uint32_t(sizeof(list) / sizeof((list)[0]))

constexpr size_t kTextSize = 512;

const TagRow* FindTagRow(const TagTable& table, uint16_t tag);
// The first row with the value wins; null when none has it.
const char* FindValueName(const ValueName* rows, uint32_t count, int64_t value);

// Element `index` of a value of `type` at `p` (the caller has checked that
// it lies inside the value), as FindValueName and the formats read it.
inline uint16_t Get16(const uint8_t* p, bool bigEndian) { return TiffU16(p, bigEndian); }
inline uint32_t Get32(const uint8_t* p, bool bigEndian) { return TiffU32(p, bigEndian); }
inline double ElementNumber(const uint8_t* p, uint16_t type, uint32_t index, bool bigEndian) {
    return TiffElementNumber(p, type, index, bigEndian);
}
// Numerator and denominator of a RATIONAL (unsigned) or SRATIONAL value.
inline void ElementRational(const uint8_t* p, uint16_t type, uint32_t index, bool bigEndian, int64_t* numerator,
                            int64_t* denominator) {
    TiffElementRational(p, type, index, bigEndian, numerator, denominator);
}
// The same as a whole number: 0 when it does not fit 64 bits.
int64_t ElementInteger(const uint8_t* p, uint16_t type, uint32_t index, bool bigEndian);

// "0", "7/0", "5", "-3/2": a rational reduced by the greatest common divisor.
void RationalText(int64_t numerator, int64_t denominator, char* text, size_t size);
// "%.6f" less two digits, trailing zeros and point removed.
void FloatText(double value, char* text, size_t size);
// An exposure time: "1/250", "0.50", "2.00"; a negative value v is 2^|v|.
void ExposureText(double seconds, char* text, size_t size);
// A focal length in millimetres: "%.1f" without trailing zeros ("35",
// "7.5").
void FocalLengthText(double millimetres, char* text, size_t size);
// At most `max` bytes of `p` as text, ending at a zero byte.
void BytesText(const uint8_t* p, size_t size, size_t max, char* text, size_t textSize);
// UTF-16 code units as 8-bit text: Latin-1 characters as they are, others
// as '?'; ends at a zero unit.
void Utf16Text(const uint8_t* p, size_t size, bool bigEndian, char* text, size_t textSize);
// Removes trailing characters found in `chars`.
void TrimRight(char* text, const char* chars);
// Case-blind comparison of the first n characters (a shorter text ends the
// comparison with success where both end).
bool PrefixIs(const char* text, const char* prefix, size_t n);

// The maker-note entry adder: finds the tag's row, checks the type, makes
// the default text, asks the formatter and appends the item. `value` holds
// `size` bytes.
void AddMakerEntry(PropertyList* list, uint32_t category, const TagTable& table, uint16_t tag, uint16_t type,
                   const uint8_t* value, uint32_t size, bool bigEndian, MakerFormatter formatter);
// The maker-note entry parser: every usable entry of the IFD at `at` of the
// view through the entry adder. The highest out-of-line value end lands in
// `valueEnd` (view offsets) when given.
void ParseMakerIfd(const TiffView& view, uint64_t at, uint32_t category, const TagTable& table,
                   MakerFormatter formatter, PropertyList* list, uint64_t* valueEnd);
// Array expansion: one item per element that has a row. `elementSize` is 2
// or 4; ASCII rows take their text from the array's start.
void ExpandArray(const TagTable& table, uint16_t itemType, const uint8_t* array, uint32_t elementCount,
                 uint32_t arrayBytes, uint32_t elementSize, bool bigEndian, ArrayFormatter formatter,
                 PropertyList* list);

// The maker note of a scanned block into "Makernotes".
void ParseMakerNote(const ExifScan* scan, PropertyList* list);
// The tag list a camera raw reader left in a kind-255 node.
void AddRawMakerNotes(const MetadataBlock* node, PropertyList* list);
// Rewrites the Nikon and Canon lens records into lens properties.
void PostProcessLenses(PropertyList* list);

// Formatters of the maker tables (makernote_format.cpp).
void FormatGps(const TagRow*, const uint8_t*, uint16_t, uint32_t, bool, char*, PropertyList*, uint32_t);
void FormatNikon(const TagRow*, const uint8_t*, uint16_t, uint32_t, bool, char*, PropertyList*, uint32_t);
void FormatPentax(const TagRow*, const uint8_t*, uint16_t, uint32_t, bool, char*, PropertyList*, uint32_t);
void FormatMinoltaVersion(const TagRow*, const uint8_t*, uint16_t, uint32_t, bool, char*, PropertyList*,
                          uint32_t);
void FormatCanonImageNumber(const TagRow*, const uint8_t*, uint16_t, uint32_t, bool, char*, PropertyList*,
                            uint32_t);
bool FormatCanonSettings(uint32_t index, int64_t value, char* text);
bool FormatMinoltaSettings(uint32_t index, int64_t value, char* text);

// The EXIF tables (exif_tables.cpp).
extern const TagTable kIfd0Table;
extern const TagTable kExifTable;
extern const TagTable kIopTable;
extern const TagTable kGpsTable;

// The maker tables (makernote_tables.cpp).
extern const TagTable kNikonType1Table;
extern const TagTable kNikonTable;
extern const TagTable kCasioType1Table;
extern const TagTable kCasioType2Table;
extern const TagTable kFujifilmTable;
extern const TagTable kOlympusTable;
extern const TagTable kOlympusEquipmentTable;
extern const TagTable kPanasonicTable;
extern const TagTable kPentaxTable;
extern const TagTable kSigmaTable;
extern const TagTable kSanyoTable;
extern const TagTable kMinoltaTable;
extern const TagTable kMinoltaSettingsTable;
extern const TagTable kCanonSettingsTable;
extern const TagTable kCanonShotInfoTable;

// Lens and mode lists of the formatters (makernote_tables.cpp).
struct PentaxPictureMode {
    uint8_t first;
    uint8_t second;
    const char* name;
};
extern const ValueName kPentaxLenses[];
extern const uint32_t kPentaxLensCount;
extern const PentaxPictureMode kPentaxPictureModes[];
extern const uint32_t kPentaxPictureModeCount;
extern const ValueName kPentaxFlashModes[];
extern const uint32_t kPentaxFlashModeCount;
struct NikonFocal {
    uint8_t code;
    double millimetres;
};
extern const NikonFocal kNikonFocals[];
extern const uint32_t kNikonFocalCount;
extern const uint8_t kNikonKeySerial[256];
extern const uint8_t kNikonKeyCount[256];
