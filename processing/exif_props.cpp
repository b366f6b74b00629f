// EXIF block scan, value texts and the property list.
//
// Portable: no platform headers.
#include "exif_props.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "exif_internal.h"
#include "imagelib/checked.h"

// ---------------------------------------------------------------------------
// The property list.

namespace {

constexpr uint32_t kCategoryGrowth = 8;
constexpr uint32_t kItemGrowth = 32;
// Raw copies are for formatters and the lens records, which need a few
// hundred bytes; a hostile block cannot make every item a 64 KB copy.
constexpr uint32_t kMaxRawCopy = 65536;

char* CopyText(const char* text) {
    const size_t n = std::strlen(text);
    auto* copy = static_cast<char*>(std::malloc(n + 1));
    if (copy) std::memcpy(copy, text, n + 1);
    return copy;
}

// Grows an array of `count` elements to hold one more; false when out of
// memory (the array is then unchanged).
template <typename T>
bool Grow(T** items, uint32_t count, uint32_t* capacity, uint32_t step) {
    if (count < *capacity) return true;
    if (*capacity > UINT32_MAX - step) return false;
    size_t bytes;
    if (!CheckedMul(size_t(*capacity) + step, sizeof(T), &bytes)) return false;
    auto* grown = static_cast<T*>(std::realloc(*items, bytes));
    if (!grown) return false;
    *items = grown;
    *capacity += step;
    return true;
}

}  // namespace

const char* PropertyCategoryName(uint32_t code) {
    switch (code) {
    case kCategoryCamera: return "Camera";
    case kCategoryImage: return "Image";
    case kCategoryIop: return "IOP";
    case kCategoryThumbnail: return "Thumbnail";
    case kCategoryGps: return "GPS";
    case kCategoryMakernotes: return "Makernotes";
    default: return "???";
    }
}

PropertyCategory* FindOrAddCategory(PropertyList* list, uint32_t code) {
    for (uint32_t i = 0; i < list->count; ++i)
        if (list->categories[i].code == code) return &list->categories[i];
    if (!Grow(&list->categories, list->count, &list->capacity, kCategoryGrowth)) return nullptr;
    PropertyCategory* c = &list->categories[list->count++];
    *c = PropertyCategory{code, 0, 0, nullptr};
    return c;
}

PropertyItem* AddProperty(PropertyList* list, uint32_t code, uint16_t tag, uint16_t type, const char* name,
                          const void* value, uint32_t size, const char* text) {
    PropertyCategory* c = FindOrAddCategory(list, code);
    if (!c || !Grow(&c->items, c->count, &c->capacity, kItemGrowth)) return nullptr;
    PropertyItem* item = &c->items[c->count++];
    *item = PropertyItem{tag, type, name, 0, nullptr, CopyText(text ? text : "")};
    if (type != kTiffAscii && value && size > 0 && size <= kMaxRawCopy) {
        item->value = static_cast<uint8_t*>(std::malloc(size));
        if (item->value) {
            std::memcpy(item->value, value, size);
            item->size = size;
        }
    }
    return item;
}

void SetPropertyText(PropertyItem* item, const char* text) {
    std::free(item->text);
    item->text = CopyText(text);
}

void FreePropertyList(PropertyList* list) {
    for (uint32_t i = 0; i < list->count; ++i) {
        PropertyCategory* c = &list->categories[i];
        for (uint32_t k = 0; k < c->count; ++k) {
            std::free(c->items[k].value);
            std::free(c->items[k].text);
        }
        std::free(c->items);
    }
    std::free(list->categories);
    *list = PropertyList{nullptr, 0, 0};
}

// ---------------------------------------------------------------------------
// Tables, values and texts.

const TagRow* FindTagRow(const TagTable& table, uint16_t tag) {
    for (uint32_t i = 0; i < table.count; ++i)
        if (table.rows[i].tag == tag) return &table.rows[i];
    return nullptr;
}

const char* FindValueName(const ValueName* rows, uint32_t count, int64_t value) {
    for (uint32_t i = 0; i < count; ++i)
        if (rows[i].value == value) return rows[i].name;
    return nullptr;
}

int64_t ElementInteger(const uint8_t* p, uint16_t type, uint32_t index, bool big) {
    const double v = ElementNumber(p, type, index, big);
    if (!(v > -9.2e18 && v < 9.2e18)) return 0;
    return int64_t(v);
}

void RationalText(int64_t numerator, int64_t denominator, char* text, size_t size) {
    if (numerator == 0) {
        std::snprintf(text, size, "0");
    } else if (denominator == 0) {
        std::snprintf(text, size, "%lld/0", static_cast<long long>(numerator));
    } else if (denominator == 1) {
        std::snprintf(text, size, "%lld", static_cast<long long>(numerator));
    } else {
        int64_t a = denominator < 0 ? -denominator : denominator;
        int64_t b = numerator < 0 ? -numerator : numerator;
        while (b != 0) {
            const int64_t r = a % b;
            a = b;
            b = r;
        }
        std::snprintf(text, size, "%lld/%lld", static_cast<long long>(numerator / a),
                      static_cast<long long>(denominator / a));
    }
}

void TrimRight(char* text, const char* chars) {
    size_t n = std::strlen(text);
    while (n > 0 && std::strchr(chars, text[n - 1])) text[--n] = 0;
}

void FloatText(double value, char* text, size_t size) {
    if (!std::isfinite(value)) {
        std::snprintf(text, size, "%s", std::isnan(value) ? "nan" : value < 0 ? "-inf" : "inf");
        return;
    }
    std::snprintf(text, size, "%.6f", value);
    const size_t n = std::strlen(text);
    if (n >= 2 && std::strchr(text, '.')) text[n - 2] = 0;
    if (std::strchr(text, '.')) {
        TrimRight(text, "0");
        TrimRight(text, ".");
    }
}

void FocalLengthText(double millimetres, char* text, size_t size) {
    std::snprintf(text, size, "%.1f", millimetres);
    TrimRight(text, "0");
    TrimRight(text, ".");
}

void ExposureText(double t, char* text, size_t size) {
    if (t < 0) {
        std::snprintf(text, size, "%.1lf", std::pow(2.0, -t));
    } else if (t > 0 && t < 0.25001) {
        // Printed as a double: no integer conversion to overflow.
        std::snprintf(text, size, "1/%.0f", std::floor(1.0 / t + 0.5));
    } else {
        std::snprintf(text, size, "%.2lf", t);
    }
}

void BytesText(const uint8_t* p, size_t size, size_t max, char* text, size_t textSize) {
    size_t n = size < max ? size : max;
    if (n > textSize - 1) n = textSize - 1;
    size_t i = 0;
    for (; i < n && p[i] != 0; ++i) text[i] = char(p[i]);
    text[i] = 0;
}

void Utf16Text(const uint8_t* p, size_t size, bool big, char* text, size_t textSize) {
    size_t out = 0;
    for (size_t i = 0; i + 1 < size && out + 1 < textSize; i += 2) {
        uint32_t unit = Get16(p + i, big);
        if (unit == 0) break;
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < size) i += 2;  // a pair: one character
        text[out++] = unit < 0x100 ? char(unit) : '?';
    }
    text[out] = 0;
}

bool PrefixIs(const char* text, const char* prefix, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const unsigned char a = static_cast<unsigned char>(text[i]);
        const unsigned char b = static_cast<unsigned char>(prefix[i]);
        if (std::tolower(a) != std::tolower(b)) return false;
        if (a == 0) return true;
    }
    return true;
}

int CameraMakeOf(const char* make) {
    static const struct {
        const char* prefix;
        int kind;
    } kMakes[] = {{"canon", kMakeCanon},     {"olympus", kMakeOlympus}, {"fujifilm", kMakeFujifilm},
                  {"nikon", kMakeNikon},     {"casio", kMakeCasio},     {"minolta", kMakeMinolta},
                  {"sigma", kMakeSigma},     {"foveon", kMakeSigma},    {"sanyo", kMakeSanyo},
                  {"panasonic", kMakePanasonic}, {"pentax", kMakePentax}};
    for (const auto& m : kMakes)
        if (PrefixIs(make, m.prefix, std::strlen(m.prefix))) return m.kind;
    return kMakeNone;
}

namespace {

// The text of an EXIF (IFD0, Exif, IOP) entry; empty when it is not shown.
void FormatExifValue(const TagRow* row, const TiffView& view, const IfdEntry& e, char* text) {
    text[0] = 0;
    const uint8_t* p = IfdValueBytes(view, e);
    const bool big = view.bigEndian;
    const size_t size = static_cast<size_t>(e.size);
    const bool numeric = e.type != kTiffAscii && e.type != kTiffUndefined;
    const double number = IfdNumber(view, e, 0);
    if (row->values && numeric) {
        const int64_t whole = IfdInteger(view, e, 0);
        if (const char* name = FindValueName(row->values, row->valueCount, whole)) {
            std::snprintf(text, kTextSize, "%s (%lld)", name, static_cast<long long>(whole));
            return;
        }
    }
    switch (row->tag) {
    case 33434: ExposureText(number, text, kTextSize); return;
    case 37377:
        if (std::fabs(number) < 100) ExposureText(1.0 / std::pow(2.0, number), text, kTextSize);
        else std::snprintf(text, kTextSize, "0.00");
        return;
    case 33437: std::snprintf(text, kTextSize, "%2.1f", number); return;
    case 37378:
    case 37381: std::snprintf(text, kTextSize, "F%.1f", std::pow(std::sqrt(2.0), number)); return;
    case 37382:
        if (e.type == kTiffRational || e.type == kTiffSRational) {
            int64_t n;
            int64_t d;
            IfdRational(view, e, 0, &n, &d);
            if (d == 0) RationalText(n, d, text, kTextSize);
            else std::snprintf(text, kTextSize, "%.0f", double(n) / double(d));
            return;
        }
        break;
    case 37385:
        // Bit 0 is "fired"; the other bits (return light, mode, red-eye) do
        // not change that.
        if (numeric) std::snprintf(text, kTextSize, "%s", (IfdInteger(view, e, 0) & 1) ? "Flash fired" : "No flash");
        return;
    case 37386: FocalLengthText(number, text, kTextSize); return;
    case 36864:
    case 40960:
        if (e.count == 4) {
            std::snprintf(text, kTextSize, "%c%c.%c%c", p[0], p[1], p[2], p[3]);
            return;
        }
        break;
    case 37121:
        if (e.type == kTiffUndefined && e.count == 4) {
            if (p[0] == 4 && p[1] == 5 && p[2] == 6 && p[3] == 0) std::snprintf(text, kTextSize, "RGB uncompressed");
            else if (p[0] == 1 && p[1] == 2 && p[2] == 3 && p[3] == 0) std::snprintf(text, kTextSize, "YCbCr");
            else std::snprintf(text, kTextSize, "%x", Get32(p, big));
            return;
        }
        break;
    case 37510: {
        // An 8-byte character code, then the comment: ASCII as it stands,
        // UNICODE decoded from UTF-16 in the block's byte order; others
        // (JIS, undefined) are not shown.
        if (size < 9) return;
        char code[9];
        BytesText(p, 8, 8, code, sizeof code);
        if (PrefixIs(code, "ASCII", 6)) BytesText(p + 8, size - 8, kTextSize - 1, text, kTextSize);
        else if (PrefixIs(code, "UNICODE", 8)) Utf16Text(p + 8, size - 8, big, text, kTextSize);
        TrimRight(text, " ");
        return;
    }
    case 40091:
    case 40092:
    case 40093:
    case 40094:
    case 40095:
        // Windows stores these as UTF-16LE whatever the block's order.
        Utf16Text(p, size, false, text, kTextSize);
        return;
    case 40961:
        if (number == 1) std::snprintf(text, kTextSize, "sRGB");
        else if (number == 65535) std::snprintf(text, kTextSize, "Uncalibrated");
        else std::snprintf(text, kTextSize, "%lld", static_cast<long long>(IfdInteger(view, e, 0)));
        return;
    case 41728:
    case 41729:
        if (e.type == kTiffUndefined && e.count == 1) {
            const bool known = row->tag == 41728 ? p[0] == 3 : p[0] == 1;
            if (known) std::snprintf(text, kTextSize, row->tag == 41728 ? "DSC" : "A directly photographed image");
            else std::snprintf(text, kTextSize, "%d", p[0]);
            return;
        }
        break;
    case 296:
        if (numeric) {
            if (number == 2) std::snprintf(text, kTextSize, "Inch");
            else if (number == 3) std::snprintf(text, kTextSize, "Centimeter");
            else std::snprintf(text, kTextSize, "%lld", static_cast<long long>(IfdInteger(view, e, 0)));
            return;
        }
        break;
    default: break;
    }
    switch (e.type) {
    case kTiffAscii:
    case kTiffUndefined: BytesText(p, size, 255, text, kTextSize); break;
    case kTiffByte:
    case kTiffShort:
    case kTiffLong:
    case kTiffSByte:
    case kTiffSShort:
    case kTiffSLong: std::snprintf(text, kTextSize, "%lld", static_cast<long long>(IfdInteger(view, e, 0))); break;
    case kTiffFloat:
    case kTiffDouble: FloatText(number, text, kTextSize); break;
    case kTiffRational:
    case kTiffSRational: {
        int64_t n;
        int64_t d;
        IfdRational(view, e, 0, &n, &d);
        RationalText(n, d, text, kTextSize);
        break;
    }
    default: break;
    }
}

constexpr uint16_t kTagMake = 271;
constexpr uint16_t kTagThumbnailOffset = 513;
constexpr uint16_t kTagThumbnailLength = 514;
constexpr uint16_t kTagPadding = 59933;
constexpr size_t kTiffAt = 6;

const TagTable* TableOf(uint32_t kind) {
    switch (kind) {
    case kIfdMain:
    case kIfdThumbnail: return &kIfd0Table;
    case kIfdExif: return &kExifTable;
    case kIfdInterop: return &kIopTable;
    default: return nullptr;
    }
}

void NoteValueEnd(ExifScan* scan, const IfdEntry& e) {
    if (e.usable && !e.inLine && e.valueAt + e.size > scan->highestValueEnd) scan->highestValueEnd = e.valueAt + e.size;
}

// Parses one IFD into the scan (and its category of the list).
bool ScanIfd(void* context, uint32_t kind, const TiffView& view, const IfdTable& table) {
    auto* scan = static_cast<ExifScan*>(context);
    ++scan->ifdsParsed;
    if (kind == kIfdGps) {
        // GPS values count for the thumbnail's place too.
        uint64_t end = 0;
        ParseMakerIfd(view, table.at, kCategoryGps, kGpsTable, FormatGps, scan->list, &end);
        if (end > scan->highestValueEnd) scan->highestValueEnd = end;
        return true;
    }
    const TagTable* tagTable = TableOf(kind);
    char text[kTextSize];
    for (uint32_t i = 0; i < table.count; ++i) {
        const IfdEntry e = ReadIfdEntry(view, table, i);
        if (!e.usable) continue;
        NoteValueEnd(scan, e);
        const TagRow* row = FindTagRow(*tagTable, e.tag);
        if (!row || e.tag == kTagPadding) continue;
        if (e.tag == kTagMakerNote) {
            if (kind == kIfdExif && !scan->makerNote) {
                scan->makerNote = IfdValueBytes(view, e);
                scan->makerNoteSize = static_cast<uint32_t>(e.size);
            }
            continue;
        }
        if (kind == kIfdThumbnail && (e.tag == kTagThumbnailOffset || e.tag == kTagThumbnailLength)) {
            // An offset of 0 (the TIFF header itself) is no thumbnail; the
            // block offset must fit 32 bits.
            const int64_t v = IfdInteger(view, e, 0);
            const bool fits = v > 0 && v <= int64_t(UINT32_MAX - kTiffAt);
            if (e.tag == kTagThumbnailOffset) {
                scan->thumbnailOffset = fits ? static_cast<uint32_t>(v + kTiffAt) : 0;
            } else {
                scan->thumbnailLength = fits ? static_cast<uint32_t>(v) : 0;
                scan->thumbnailLengthAt = static_cast<uint32_t>(e.valueAt + kTiffAt);
            }
        }
        if (!scan->list && e.tag != kTagMake) continue;
        FormatExifValue(row, view, e, text);
        if (e.tag == kTagMake && e.type == kTiffAscii) scan->make = CameraMakeOf(text);
        if (!scan->list || text[0] == 0) continue;
        const uint16_t type = e.tag >= 40091 && e.tag <= 40095 ? uint16_t(kTiffAscii) : e.type;
        AddProperty(scan->list, kind, e.tag, type, row->name, IfdValueBytes(view, e), static_cast<uint32_t>(e.size),
                    text);
    }
    if (kind == kIfdThumbnail && (scan->thumbnailOffset == 0 ||
                                  !RangeInside(uint64_t(scan->thumbnailOffset) - kTiffAt, scan->thumbnailLength,
                                               view.size))) {
        scan->thumbnailOffset = 0;
        scan->thumbnailLength = 0;
    }
    return true;
}

void Enumerate(const PropertyList* list, PropertyCallback callback, void* context) {
    for (uint32_t i = 0; i < list->count; ++i) {
        const PropertyCategory* c = &list->categories[i];
        callback(context, c->code, 0, PropertyCategoryName(c->code), nullptr);
        for (uint32_t k = 0; k < c->count; ++k) {
            const PropertyItem* item = &c->items[k];
            if (item->text && item->text[0]) callback(context, c->code, item->tag, item->name, item->text);
        }
    }
}

}  // namespace

int ParseTiffBlock(const uint8_t* block, size_t length, PropertyCallback callback, void* context, ExifScan* scan,
                   const MetadataBlock* makerNode) {
    std::memset(scan, 0, sizeof *scan);
    static const uint8_t kPrefix[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (!block || length < kTiffAt || std::memcmp(block, kPrefix, kTiffAt) != 0) return 0;
    TiffView view;
    uint32_t ifd0;
    if (!OpenTiffView(block + kTiffAt, length - kTiffAt, &view, &ifd0)) return 0;
    scan->bigEndian = view.bigEndian ? 1 : 0;
    scan->tiff = view.data;
    scan->tiffLength = view.size;
    PropertyList list{nullptr, 0, 0};
    if (callback) scan->list = &list;
    WalkTiffIfds(view, ifd0, IfdWalkOptions(), ScanIfd, scan);
    if (callback) {
        if (scan->makerNote) ParseMakerNote(scan, &list);
        if (makerNode && makerNode->makerNotes) AddRawMakerNotes(makerNode, &list);
        PostProcessLenses(&list);
        Enumerate(&list, callback, context);
        FreePropertyList(&list);
        scan->list = nullptr;
    }
    return 1;
}

void ExifEnumProperties(const MetadataBlock* list, PropertyCallback callback, void* context) {
    const MetadataBlock* exif = nullptr;
    const MetadataBlock* maker = nullptr;
    for (const MetadataBlock* b = list; b; b = b->next) {
        if (b->kind == kMetadataExif && b->data && b->length >= kTiffAt && std::memcmp(b->data, "Exif\0\0", 6) == 0)
            exif = b;
        else if (b->kind == kMetadataTagLists && b->makerNotes)
            maker = b;
    }
    if (!exif || !callback) return;
    ExifScan scan;
    ParseTiffBlock(exif->data, exif->length, callback, context, &scan, maker);
}
