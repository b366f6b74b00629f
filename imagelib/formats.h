// The table of picture formats and its run-time registry. Readers and
// writers are reached only through the function slots of a registry row.
//
// Portable: no platform headers. The registry is built once at start-up and
// freed at shutdown under its mutex; lookups in between read it unlocked,
// from any thread (a thread that holds a reference, through InitFormatRegistry
// or the program's start-up, always sees the complete registry).
#pragma once

#include <cstddef>
#include <cstdint>

struct FileSource;
struct LoadContext;
struct SaveContext;
struct FormatRow;

enum FormatFlags : uint32_t {
    kFormatProbe = 0x1,         // a load that cannot choose by extension tries it
    kFormatOpensByName = 0x10,  // the reader opens the file itself by name
    kFormatOwnsTexts = 0x20,    // texts allocated at run time; freed with the registry
    kFormatHasReader = 0x100,   // set by the registry
    kFormatHasWriter = 0x200,   // set by the registry
};

// What a format's writer accepts (also the option descriptors of a
// FormatDescription). An empty record has pixelType 65535.
struct FormatCapability {
    uint16_t pixelType;      // accepted type bits; 80 and 1952 stand for every 3/4-byte type
    uint16_t mostColours;    // palette and grey: largest colour count; 65535 any
    int32_t reserved1;
    int32_t reserved2;
    const char* extension;   // file extension to use when this record matches, or null
};
constexpr int kFormatCapabilityCount = 10;
constexpr uint16_t kCapabilityEmpty = 65535;

using FormatAvailableFn = uint32_t (*)();
using FormatReleaseFn = void (*)(uint32_t* scratch);
// Reader: load result code (see loadcontext.h).
using FormatReadFn = int (*)(FileSource* source, LoadContext* ctx);
// Writer: save result code (see savecontext.h).
using FormatWriteFn = int (*)(FileSource* source, SaveContext* ctx);
using FormatOptionsFn = void (*)(FormatCapability* records, const FormatRow* row);

constexpr int kFormatExtensionSlots = 12;

struct FormatRow {
    uint32_t flags;
    const char* shortName;
    const char* description;
    FormatAvailableFn availableFn;   // low 16 bits 0 leaves the format out
    FormatReleaseFn releaseFn;       // called once when the registry is freed
    FormatReadFn readFn;
    FormatWriteFn writeFn;
    FormatOptionsFn optionsFn;
    uint32_t reserved;
    uint32_t loadValue;              // copied into the load context before the reader runs
    const char* extensions[kFormatExtensionSlots];  // lower case, no dot; ends at the first null
};

constexpr int kBuiltinFormatCount = 28;
constexpr int kFormatRegistryCapacity = 60;
extern const FormatRow kBuiltinFormats[kBuiltinFormatCount];

// Registry indexes of the built-in formats.
enum BuiltinFormat : int {
    kFormatJpeg = 0, kFormatTga = 1, kFormatBmp = 2, kFormatGif = 3, kFormatPng = 4,
    kFormat2bp = 5, kFormatTiff = 6, kFormatPcx = 7, kFormatPbm = 8, kFormatPgm = 9,
    kFormatPpm = 10, kFormatPnm = 11, kFormatIco = 12, kFormatPsd = 13, kFormatCrw = 14,
    kFormatNef = 15, kFormatRaw = 27,
};

struct FormatDescription {
    char shortName[8];       // always terminated
    uint16_t formatIndex;
    uint16_t access;         // 1 readable, 2 writable, 3 both
    char description[64];    // always terminated
    char extensions[kFormatExtensionSlots][8];  // ends with an empty entry (when fewer than 12)
    FormatCapability options[kFormatCapabilityCount];
};

void InitFormatRegistry();
void RegisterFormats(int includeAll, int unused1, int unused2);
// Builds the registry from another table (tests inject fake readers). Like
// RegisterFormats, a registry that already exists only gains a reference.
void RegisterFormatsFromTable(const FormatRow* rows, int count);
void FreeFormatRegistry();
void LockFormatRegistry();
void UnlockFormatRegistry();

int GetFormatCount();
// The row at an index, or null when out of range.
const FormatRow* GetFormatRow(int index);
int FindFormatByName(const char* shortName);
const char* GetFormatShortName(int index);
const char* GetFormatDefaultExtension(int index);
int DescribeFormat(int index, FormatDescription* d, int unused);

const char* GetColourSpaceName(uint16_t code);
const char* GetCompressionName(uint16_t code);
void FormatCompressionText(char* dst, size_t capacity, uint16_t code, const char* fallback);
int IsLzwEnabled();
void RemoveFileExtension(wchar_t* name);
