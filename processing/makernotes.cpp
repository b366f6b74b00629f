// Camera maker notes: the layout of each make, the entry parser and adder
// shared with the GPS IFD, and the Canon and Minolta settings arrays.
//
// Portable: no platform headers. A note is read through a TiffView whose
// start is the point the note's offsets count from and whose end is the end
// of the TIFF data, so no layout can reach outside the block.
#include <cstdio>
#include <cstring>

#include "exif_internal.h"

namespace {

// The value a value-name list looks up: BYTE as one byte, SHORT as 16 bits,
// others as 32 bits (fewer when the value is shorter).
int64_t ListValue(const uint8_t* p, uint16_t type, uint32_t size, bool big) {
    if (size == 0) return 0;
    switch (type) {
    case kTiffByte: return p[0];
    case kTiffSByte: return int8_t(p[0]);
    case kTiffShort: return Get16(p, big);
    case kTiffSShort: return int16_t(Get16(p, big));
    case kTiffSLong: return int32_t(Get32(p, big));
    default: break;
    }
    if (size >= 4) return Get32(p, big);
    if (size >= 2) return Get16(p, big);
    return p[0];
}

// The default text of an entry whose row has no value names.
void DefaultText(const TagRow* row, uint16_t type, const uint8_t* p, uint32_t size, bool big, char* text) {
    text[0] = 0;
    const uint32_t typeSize = TiffTypeSize(type);
    const uint32_t count = typeSize ? size / typeSize : 0;
    switch (type) {
    case kTiffByte:
    case kTiffShort:
    case kTiffLong:
    case kTiffSByte:
    case kTiffSShort:
    case kTiffSLong: {
        const uint32_t n = count < 8 ? count : 8;
        size_t used = 0;
        for (uint32_t i = 0; i < n && used < kTextSize; ++i) {
            const long long v = ElementInteger(p, type, i, big);
            used += std::snprintf(text + used, kTextSize - used, i + 1 < n ? "%lld  " : "%lld ", v);
        }
        break;
    }
    case kTiffAscii:
    case kTiffUndefined: {
        const size_t cut = row->count != 0 && row->count < 255 ? row->count : 255;
        BytesText(p, size, cut, text, kTextSize);
        break;
    }
    case kTiffRational:
    case kTiffSRational: {
        int64_t n;
        int64_t d;
        ElementRational(p, type, 0, big, &n, &d);
        RationalText(n, d, text, kTextSize);
        break;
    }
    case kTiffFloat:
    case kTiffDouble: FloatText(ElementNumber(p, type, 0, big), text, kTextSize); break;
    default: break;
    }
}

}  // namespace

void AddMakerEntry(PropertyList* list, uint32_t category, const TagTable& table, uint16_t tag, uint16_t type,
                   const uint8_t* value, uint32_t size, bool big, MakerFormatter formatter) {
    const TagRow* row = FindTagRow(table, tag);
    if (!row || TiffTypeSize(type) == 0 || size < TiffTypeSize(type)) return;
    if (row->type != 0 && type != row->type && !(row->type == kTiffLong && type == kTiffShort)) return;
    char text[kTextSize];
    text[0] = 0;
    if (!row->values) {
        DefaultText(row, type, value, size, big, text);
    } else if (type == kTiffAscii) {
        if (row->count == 0 || size == row->count) BytesText(value, size, 255, text, kTextSize);
    } else {
        const int64_t v = ListValue(value, type, size, big);
        if (const char* name = FindValueName(row->values, row->valueCount, v))
            std::snprintf(text, kTextSize, "%s", name);
        else
            std::snprintf(text, kTextSize, "%lld", static_cast<long long>(v));
    }
    if (formatter) formatter(row, value, type, size, big, text, list, category);
    AddProperty(list, category, tag, type, row->name, value, size, text);
}

void ParseMakerIfd(const TiffView& view, uint64_t at, uint32_t category, const TagTable& table,
                   MakerFormatter formatter, PropertyList* list, uint64_t* valueEnd) {
    IfdTable ifd;
    if (!ReadIfdTable(view, at, &ifd)) return;
    for (uint32_t i = 0; i < ifd.count; ++i) {
        const IfdEntry e = ReadIfdEntry(view, ifd, i);
        if (!e.usable) continue;
        if (valueEnd && !e.inLine && e.valueAt + e.size > *valueEnd) *valueEnd = e.valueAt + e.size;
        if (!list) continue;
        AddMakerEntry(list, category, table, e.tag, e.type, IfdValueBytes(view, e), static_cast<uint32_t>(e.size),
                      view.bigEndian, formatter);
    }
}

void ExpandArray(const TagTable& table, uint16_t itemType, const uint8_t* array, uint32_t elementCount,
                 uint32_t arrayBytes, uint32_t elementSize, bool big, ArrayFormatter formatter, PropertyList* list) {
    // Never more elements than the bytes hold.
    if (elementSize == 0) return;
    if (elementCount > arrayBytes / elementSize) elementCount = arrayBytes / elementSize;
    char text[kTextSize];
    if (elementCount > 0x10000) elementCount = 0x10000;  // rows are 16-bit indexes
    for (uint32_t i = 0; i < elementCount; ++i) {
        const TagRow* row = FindTagRow(table, uint16_t(i));
        if (!row) continue;
        text[0] = 0;
        if (row->type == kTiffAscii) {
            if (row->count == 0 || arrayBytes == row->count) BytesText(array, arrayBytes, 255, text, kTextSize);
            AddProperty(list, kCategoryMakernotes, row->tag, kTiffAscii, row->name, nullptr, 0, text);
            continue;
        }
        const uint8_t* p = array + size_t(i) * elementSize;
        // Settings arrays hold signed 16-bit values (-1 for "not set").
        const int64_t v = elementSize == 2 ? int64_t(int16_t(Get16(p, big))) : int64_t(Get32(p, big));
        if (!(formatter && formatter(i, v, text))) {
            const char* name = row->values ? FindValueName(row->values, row->valueCount, v) : nullptr;
            if (name) std::snprintf(text, kTextSize, "%s", name);
            else std::snprintf(text, kTextSize, "%lld", static_cast<long long>(v));
        }
        AddProperty(list, kCategoryMakernotes, uint16_t(i), itemType, row->name, p, elementSize, text);
    }
}

namespace {

// Canon: a plain IFD of arrays and a few single values.
const TagRow kCanonPictureInfo[] = {{0, kTiffAscii, 32, "Picture info", nullptr, 0}};
const TagRow kCanonFirmware[] = {{0, kTiffAscii, 24, "Firmware version", nullptr, 0}};
const TagRow kCanonOwner[] = {{0, kTiffAscii, 32, "Owner name", nullptr, 0}};
const TagRow kCanonSingles[] = {{8, kTiffLong, 0, "Image number", nullptr, 0}};

void AddCanonEntry(PropertyList* list, uint16_t tag, uint16_t type, const uint8_t* p, uint32_t size, bool big) {
    switch (tag) {
    case 1:
    case 4: {
        if (type != kTiffShort && type != kTiffSShort) return;
        if (size < 2) return;
        // Camera settings: the first element holds the array's size in
        // bytes; shot info: its element count. Neither may exceed the entry.
        const uint32_t first = Get16(p, big);
        const uint32_t count = tag == 1 ? first / 2 : first;
        if (tag == 1) ExpandArray(kCanonSettingsTable, kTiffShort, p, count, size, 2, big, FormatCanonSettings, list);
        else ExpandArray(kCanonShotInfoTable, kTiffShort, p, count, size, 2, big, nullptr, list);
        return;
    }
    case 6:
    case 7:
    case 9: {
        if (type != kTiffAscii) return;
        const TagRow* rows = tag == 6 ? kCanonPictureInfo : tag == 7 ? kCanonFirmware : kCanonOwner;
        char text[kTextSize] = "";
        if (size == rows[0].count) BytesText(p, size, 255, text, kTextSize);
        AddProperty(list, kCategoryMakernotes, tag, kTiffAscii, rows[0].name, nullptr, 0, text);
        return;
    }
    case 8: {
        static const TagTable kTable = MakeTable(kCanonSingles);
        AddMakerEntry(list, kCategoryMakernotes, kTable, tag, type, p, size, big, FormatCanonImageNumber);
        return;
    }
    case 13: AddProperty(list, kCategoryMakernotes, 13, kTiffUndefined, "LensID", p, size, ""); return;
    default: return;
    }
}

// The table of a note that is a plain IFD (Canon, Minolta): at least one
// entry, and all entries inside the note itself.
bool ReadNoteIfd(const TiffView& tiff, uint64_t noteAt, uint32_t noteSize, IfdTable* ifd) {
    return ReadIfdTable(tiff, noteAt, ifd) && ifd->count >= 1 && uint64_t(noteSize) >= 2 + 12ull * ifd->count;
}

void ParseCanonNote(const TiffView& tiff, uint64_t noteAt, uint32_t noteSize, PropertyList* list) {
    IfdTable ifd;
    if (!ReadNoteIfd(tiff, noteAt, noteSize, &ifd)) return;
    for (uint32_t i = 0; i < ifd.count; ++i) {
        const IfdEntry e = ReadIfdEntry(tiff, ifd, i);
        if (!e.usable) continue;
        AddCanonEntry(list, e.tag, e.type, IfdValueBytes(tiff, e), static_cast<uint32_t>(e.size), tiff.bigEndian);
    }
}

void ParseMinoltaNote(const TiffView& tiff, uint64_t noteAt, uint32_t noteSize, PropertyList* list) {
    IfdTable ifd;
    if (!ReadNoteIfd(tiff, noteAt, noteSize, &ifd)) return;
    for (uint32_t i = 0; i < ifd.count; ++i) {
        const IfdEntry e = ReadIfdEntry(tiff, ifd, i);
        if (e.type >= 53) break;
        if (!e.usable) continue;
        const uint8_t* p = IfdValueBytes(tiff, e);
        const uint32_t size = static_cast<uint32_t>(e.size);
        if (e.tag == 1 || e.tag == 3) {
            ExpandArray(kMinoltaSettingsTable, kTiffLong, p, size / 4, size, 4, true, FormatMinoltaSettings, list);
        } else {
            AddMakerEntry(list, kCategoryMakernotes, kMinoltaTable, e.tag, e.type, p, size, tiff.bigEndian,
                          FormatMinoltaVersion);
        }
    }
}

// Olympus: the main IFD, then the equipment directory its tag 0x2010 names:
// an IFD at the offset it holds (type IFD or LONG), or one stored inside
// the entry's value (UNDEFINED). Its offsets count from where the note's do.
void ParseOlympusNote(const TiffView& view, uint64_t at, PropertyList* list) {
    constexpr uint16_t kEquipment = 0x2010;
    constexpr uint16_t kTypeIfd = 13;
    ParseMakerIfd(view, at, kCategoryMakernotes, kOlympusTable, nullptr, list, nullptr);
    IfdTable ifd;
    if (!ReadIfdTable(view, at, &ifd)) return;
    for (uint32_t i = 0; i < ifd.count; ++i) {
        const IfdEntry e = ReadIfdEntry(view, ifd, i);
        if (e.tag != kEquipment) continue;
        if ((e.type == kTypeIfd || e.type == kTiffLong) && e.count == 1)
            ParseMakerIfd(view, e.field, kCategoryMakernotes, kOlympusEquipmentTable, nullptr, list, nullptr);
        else if (e.type == kTiffUndefined && e.usable)
            ParseMakerIfd(view, e.valueAt, kCategoryMakernotes, kOlympusEquipmentTable, nullptr, list, nullptr);
        return;
    }
}

bool Begins(const uint8_t* note, uint32_t size, const char* prefix, size_t n) {
    return size >= n && std::memcmp(note, prefix, n) == 0;
}

bool BeginsBlind(const uint8_t* note, uint32_t size, const char* prefix, size_t n) {
    if (size < n) return false;
    char head[16];
    std::memcpy(head, note, n);
    head[n] = 0;
    // Compares the n bytes only: a zero byte in the note ends the comparison.
    return PrefixIs(head, prefix, n);
}

}  // namespace

void ParseMakerNote(const ExifScan* scan, PropertyList* list) {
    const uint8_t* m = scan->makerNote;
    const uint32_t size = scan->makerNoteSize;
    if (!m || size == 0 || !scan->tiff || m < scan->tiff) return;
    const uint64_t noteAt = uint64_t(m - scan->tiff);  // the note lies inside the TIFF data
    TiffView tiff;
    tiff.data = scan->tiff;
    tiff.size = scan->tiffLength;
    tiff.bigEndian = scan->bigEndian != 0;
    TiffView note = tiff.From(noteAt);  // offsets counted from the note

    switch (scan->make) {
    case kMakeFujifilm: {
        if (!BeginsBlind(m, size, "FUJIFILM", 8) || size < 12) return;
        note.bigEndian = false;
        uint16_t ifd;
        note.U16At(8, &ifd);
        ParseMakerIfd(note, ifd, kCategoryMakernotes, kFujifilmTable, nullptr, list, nullptr);
        return;
    }
    case kMakeOlympus: {
        // Later notes ("OLYMPUS", a zero, a byte order) have their IFD at
        // M + 12 and count their offsets from the note.
        if (Begins(m, size, "OLYMPUS\0", 8) && size >= 14) {
            if (m[8] == 'I' && m[9] == 'I') note.bigEndian = false;
            else if (m[8] == 'M' && m[9] == 'M') note.bigEndian = true;
            else return;
            ParseOlympusNote(note, 12, list);
            return;
        }
        if (!BeginsBlind(m, size, "OLYMP", 5) || size < 10) return;
        ParseOlympusNote(tiff, noteAt + 8, list);
        return;
    }
    case kMakePentax: {
        if (!Begins(m, size, "AOC\0", 4) || size < 8) return;
        TiffView own = tiff;
        if (m[4] == 'M' && m[5] == 'M') own.bigEndian = true;
        else if (m[4] == 'I' && m[5] == 'I') own.bigEndian = false;
        else return;
        // Notes rewritten by other programs may keep the mark while their
        // IFD is in the other order: a count whose entries cannot fit in
        // the note gives way to one read the other way that does.
        const auto fits = [&](bool big) {
            const uint32_t n = big ? uint32_t(m[6]) << 8 | m[7] : uint32_t(m[7]) << 8 | m[6];
            return n >= 1 && 8 + 12ull * n <= size;
        };
        if (!fits(own.bigEndian) && fits(!own.bigEndian)) own.bigEndian = !own.bigEndian;
        ParseMakerIfd(own, noteAt + 6, kCategoryMakernotes, kPentaxTable, FormatPentax, list, nullptr);
        return;
    }
    case kMakePanasonic: {
        if (!Begins(m, size, "Panasonic\0", 10) || size < 14) return;
        TiffView own = tiff;
        own.bigEndian = false;
        ParseMakerIfd(own, noteAt + 12, kCategoryMakernotes, kPanasonicTable, nullptr, list, nullptr);
        return;
    }
    case kMakeSigma:
        if (!(BeginsBlind(m, size, "sigma", 5) || BeginsBlind(m, size, "foveo", 5)) || size < 12) return;
        ParseMakerIfd(tiff, noteAt + 10, kCategoryMakernotes, kSigmaTable, nullptr, list, nullptr);
        return;
    case kMakeSanyo:
        if (!BeginsBlind(m, size, "sanyo", 5) || size < 10) return;
        ParseMakerIfd(tiff, noteAt + 8, kCategoryMakernotes, kSanyoTable, nullptr, list, nullptr);
        return;
    case kMakeNikon: {
        if (!Begins(m, size, "Nikon", 5)) {
            ParseMakerIfd(tiff, noteAt, kCategoryMakernotes, kNikonTable, FormatNikon, list, nullptr);
            return;
        }
        if (size < 8 || m[5] != 0) return;
        if (m[6] == 1) {
            ParseMakerIfd(tiff, noteAt + 8, kCategoryMakernotes, kNikonType1Table, nullptr, list, nullptr);
        } else if (m[6] == 2 && size >= 18) {
            // Its own TIFF header at M + 10; offsets count from there.
            TiffView own;
            uint32_t ifd;
            const TiffView from = tiff.From(noteAt + 10);
            if (!OpenTiffView(from.data, from.size, &own, &ifd)) return;
            ParseMakerIfd(own, ifd, kCategoryMakernotes, kNikonTable, FormatNikon, list, nullptr);
        }
        return;
    }
    case kMakeCasio:
        if (Begins(m, size, "QVC\0\0\0", 6)) {
            TiffView own = tiff;
            own.bigEndian = true;
            ParseMakerIfd(own, noteAt + 6, kCategoryMakernotes, kCasioType2Table, nullptr, list, nullptr);
        } else {
            ParseMakerIfd(tiff, noteAt, kCategoryMakernotes, kCasioType1Table, nullptr, list, nullptr);
        }
        return;
    case kMakeCanon: ParseCanonNote(tiff, noteAt, size, list); return;
    case kMakeMinolta:
        if (size < 2 || m[0] == '+' || m[1] == 'M') return;
        ParseMinoltaNote(tiff, noteAt, size, list);
        return;
    default: return;
    }
}

void AddRawMakerNotes(const MetadataBlock* node, PropertyList* list) {
    const TagList* tags = node->makerNotes;
    if (!tags || !FindOrAddCategory(list, kCategoryMakernotes)) return;
    const bool big = tags->bigEndian != 0;
    const bool nikon = node->make && PrefixIs(node->make, "Nikon", 5);
    const bool canon = !nikon && node->make && PrefixIs(node->make, "Canon", 5);
    if (!nikon && !canon) return;
    for (uint32_t i = 0; i < tags->count; ++i) {
        const TagRecord& r = tags->records[i];
        const uint32_t typeSize = TiffTypeSize(r.type);
        if (typeSize == 0 || r.count == 0) continue;
        uint8_t inPlace[4] = {0, 0, 0, 0};
        const uint8_t* p;
        uint32_t size;
        if (r.data && r.dataLength > 0) {
            p = r.data;
            size = r.dataLength;
        } else {
            // A value that fits four bytes: its first element, stored in the
            // list's byte order at the start as the file held it.
            size = uint64_t(typeSize) * r.count <= 4 ? typeSize * r.count : 4;
            const uint32_t v = r.value;
            if (typeSize == 2) {
                inPlace[big ? 0 : 1] = uint8_t(v >> 8);
                inPlace[big ? 1 : 0] = uint8_t(v);
            } else {
                for (int k = 0; k < 4; ++k) inPlace[big && typeSize == 4 ? 3 - k : k] = uint8_t(v >> (8 * k));
            }
            p = inPlace;
        }
        if (nikon) AddMakerEntry(list, kCategoryMakernotes, kNikonTable, r.tag, r.type, p, size, big, FormatNikon);
        else AddCanonEntry(list, r.tag, r.type, p, size, big);
    }
}
