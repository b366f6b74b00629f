// TIFF IFD reader: header, tables, entries, values and capped walks.
//
// Portable: no platform headers.
#include "tiffifd.h"

#include <cstring>

#include "../checked.h"

namespace {

constexpr uint64_t kEntryBytes = 12;
constexpr uint8_t kTypeSizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

uint16_t Get16(const uint8_t* p, bool big) {
    return big ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[0] | p[1] << 8);
}

uint32_t Get32(const uint8_t* p, bool big) {
    return big ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
               : uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint64_t Get64(const uint8_t* p, bool big) {
    const uint64_t a = Get32(p, big);
    const uint64_t b = Get32(p + 4, big);
    return big ? a << 32 | b : b << 32 | a;
}

}  // namespace

uint16_t TiffU16(const uint8_t* p, bool bigEndian) { return Get16(p, bigEndian); }
uint32_t TiffU32(const uint8_t* p, bool bigEndian) { return Get32(p, bigEndian); }

void TiffElementRational(const uint8_t* p, uint32_t type, uint32_t index, bool big, int64_t* numerator,
                         int64_t* denominator) {
    const uint8_t* q = p + 8 * size_t(index);
    const uint32_t n = Get32(q, big);
    const uint32_t d = Get32(q + 4, big);
    if (type == kTiffSRational) {
        *numerator = int32_t(n);
        *denominator = int32_t(d);
    } else {
        *numerator = n;
        *denominator = d;
    }
}

double TiffElementNumber(const uint8_t* p, uint32_t type, uint32_t index, bool big) {
    const uint8_t* q = p + size_t(TiffTypeSize(type)) * index;
    switch (type) {
    case kTiffByte: return q[0];
    case kTiffSByte: return int8_t(q[0]);
    case kTiffShort: return Get16(q, big);
    case kTiffSShort: return int16_t(Get16(q, big));
    case kTiffLong: return Get32(q, big);
    case kTiffSLong: return int32_t(Get32(q, big));
    case kTiffRational:
    case kTiffSRational: {
        int64_t n;
        int64_t d;
        TiffElementRational(p, type, index, big, &n, &d);
        return d == 0 ? 0.0 : double(n) / double(d);
    }
    case kTiffFloat: {
        const uint32_t bits = Get32(q, big);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    case kTiffDouble: {
        const uint64_t bits = Get64(q, big);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    default: return 0;
    }
}

uint32_t TiffTypeSize(uint32_t type) {
    return type < sizeof kTypeSizes ? kTypeSizes[type] : 0;
}

bool TiffView::U16At(uint64_t offset, uint16_t* out) const {
    *out = 0;
    if (!RangeInside(offset, 2, size)) return false;
    *out = Get16(data + offset, bigEndian);
    return true;
}

bool TiffView::U32At(uint64_t offset, uint32_t* out) const {
    *out = 0;
    if (!RangeInside(offset, 4, size)) return false;
    *out = Get32(data + offset, bigEndian);
    return true;
}

TiffView TiffView::From(uint64_t offset) const {
    TiffView v;
    v.bigEndian = bigEndian;
    if (offset <= size) {
        v.data = data + offset;
        v.size = size - static_cast<size_t>(offset);
    }
    return v;
}

bool OpenTiffView(const uint8_t* data, size_t size, TiffView* view, uint32_t* ifd0) {
    *view = TiffView();
    *ifd0 = 0;
    if (!data || size < 8) return false;
    bool big;
    if (data[0] == 'I' && data[1] == 'I') big = false;
    else if (data[0] == 'M' && data[1] == 'M') big = true;
    else return false;
    if (Get16(data + 2, big) != 42) return false;
    view->data = data;
    view->size = size;
    view->bigEndian = big;
    *ifd0 = Get32(data + 4, big);
    return true;
}

bool ReadIfdTable(const TiffView& view, uint64_t at, IfdTable* table) {
    *table = IfdTable();
    uint16_t count;
    if (!view.U16At(at, &count)) return false;
    const uint64_t entriesEnd = at + 2 + kEntryBytes * count;  // at < 2^32 + size: no wrap
    if (entriesEnd > view.size) return false;
    table->at = at;
    table->count = count;
    table->hasNext = view.U32At(entriesEnd, &table->next);
    return true;
}

IfdEntry ReadIfdEntry(const TiffView& view, const IfdTable& table, uint32_t index) {
    IfdEntry e;
    if (index >= table.count) return e;
    e.entryAt = table.at + 2 + kEntryBytes * index;
    const uint8_t* p = view.data + e.entryAt;  // ReadIfdTable checked the whole table
    const bool big = view.bigEndian;
    e.tag = Get16(p, big);
    e.type = Get16(p + 2, big);
    e.count = Get32(p + 4, big);
    e.field = Get32(p + 8, big);
    e.size = uint64_t(TiffTypeSize(e.type)) * e.count;
    e.inLine = e.size <= 4;
    e.valueAt = e.inLine ? e.entryAt + 8 : e.field;
    e.usable = e.size != 0 && RangeInside(e.valueAt, e.size, view.size);
    return e;
}

const uint8_t* IfdValueBytes(const TiffView& view, const IfdEntry& entry) {
    return entry.usable ? view.data + entry.valueAt : nullptr;
}

bool IfdRational(const TiffView& view, const IfdEntry& entry, uint32_t index, int64_t* numerator,
                 int64_t* denominator) {
    *numerator = 0;
    *denominator = 0;
    if (!entry.usable || index >= entry.count) return false;
    if (entry.type != kTiffRational && entry.type != kTiffSRational) return false;
    TiffElementRational(view.data + entry.valueAt, entry.type, index, view.bigEndian, numerator, denominator);
    return true;
}

double IfdNumber(const TiffView& view, const IfdEntry& entry, uint32_t index) {
    if (!entry.usable || index >= entry.count) return 0;
    return TiffElementNumber(view.data + entry.valueAt, entry.type, index, view.bigEndian);
}

int64_t IfdInteger(const TiffView& view, const IfdEntry& entry, uint32_t index) {
    const double v = IfdNumber(view, entry, index);
    // NaN and values beyond 64 bits (from FLOAT, DOUBLE) read as 0.
    if (!(v > -9.2e18 && v < 9.2e18)) return 0;
    return int64_t(v);
}

size_t CopyIfdValue(const TiffView& view, const IfdEntry& entry, char* out, size_t capacity) {
    if (capacity == 0) return 0;
    out[0] = 0;
    const uint8_t* p = IfdValueBytes(view, entry);
    if (!p) return 0;
    const size_t n = entry.size < capacity - 1 ? static_cast<size_t>(entry.size) : capacity - 1;
    std::memcpy(out, p, n);
    out[n] = 0;
    return n;
}

bool IfdVisits::Enter(uint64_t at) {
    if (count >= kMaxIfdsPerWalk) return false;
    for (int i = 0; i < count; ++i)
        if (seen[i] == at) return false;
    seen[count++] = at;
    return true;
}

namespace {

struct PendingIfd {
    uint64_t at;
    uint32_t kind;
    uint32_t wanted;
};

// The sub-IFD pointers of a table, in the order they are walked.
int SubIfds(const TiffView& view, const IfdTable& table, uint32_t wanted, PendingIfd out[3]) {
    static const struct {
        uint16_t tag;
        uint32_t kind;
    } kPointers[3] = {{kTagExifIfd, kIfdExif}, {kTagInteropIfd, kIfdInterop}, {kTagGpsIfd, kIfdGps}};
    bool have[3] = {false, false, false};
    uint64_t where[3] = {0, 0, 0};
    for (uint32_t i = 0; i < table.count; ++i) {
        const IfdEntry e = ReadIfdEntry(view, table, i);
        for (int k = 0; k < 3; ++k) {
            // The first pointer of each kind counts; one outside the view is none.
            if (e.tag != kPointers[k].tag || have[k] || !e.inLine || e.count == 0) continue;
            if (e.type != kTiffLong && e.type != kTiffShort && e.type != 13) continue;  // 13: IFD type
            const uint64_t at = e.type == kTiffShort ? (view.bigEndian ? e.field >> 16 : e.field & 0xFFFF) : e.field;
            if (at >= view.size) continue;
            have[k] = true;
            where[k] = at;
        }
    }
    int n = 0;
    for (int k = 0; k < 3; ++k) {
        if (!have[k] || !(wanted & kPointers[k].kind)) continue;
        out[n++] = {where[k], kPointers[k].kind, kPointers[k].kind == kIfdExif ? uint32_t(kIfdAllKinds) : wanted};
    }
    return n;
}

}  // namespace

bool WalkTiffIfds(const TiffView& view, uint64_t start, const IfdWalkOptions& options, IfdVisitor visitor,
                  void* context) {
    IfdVisits visits;
    // Every IFD is pushed at most once per entry into `visits`, and each
    // entered IFD pushes at most three: the stack stays within this bound.
    PendingIfd stack[3 * kMaxIfdsPerWalk + 1];
    uint64_t chainAt = start;
    uint32_t chainKind = options.startKind;
    bool chainGoes = true;
    while (chainGoes) {
        chainGoes = false;
        int depth = 0;
        stack[depth++] = {chainAt, chainKind, options.kindsWanted};
        bool chainHead = true;
        while (depth > 0) {
            const PendingIfd p = stack[--depth];
            IfdTable table;
            if (!visits.Enter(p.at) || !ReadIfdTable(view, p.at, &table)) {
                if (chainHead) return false;
                continue;
            }
            if (!visitor(context, p.kind, view, table)) return true;
            if (chainHead) {
                chainHead = false;
                if (options.followChain && table.hasNext && table.next != 0 && table.next < view.size) {
                    chainGoes = true;
                    chainAt = table.next;
                    chainKind = kIfdThumbnail;
                }
            }
            // Sub-IFDs hang off IFD0 and Exif IFDs only.
            if (p.kind != kIfdMain && p.kind != kIfdExif) continue;
            PendingIfd subs[3];
            const int n = SubIfds(view, table, p.wanted, subs);
            for (int k = n - 1; k >= 0; --k) stack[depth++] = subs[k];
        }
    }
    return false;
}

namespace {

struct EntryWalk {
    uint8_t* data;
    IfdEntryCallback callback;
    void* context;
};

bool HandEntries(void* context, uint32_t kind, const TiffView& view, const IfdTable& table) {
    auto* w = static_cast<EntryWalk*>(context);
    for (uint32_t i = 0; i < table.count; ++i) {
        const IfdEntry e = ReadIfdEntry(view, table, i);
        if (!e.usable) continue;
        if (e.tag == kTagMakerNote || e.tag == kTagExifIfd || e.tag == kTagInteropIfd || e.tag == kTagGpsIfd)
            continue;
        if (!w->callback(kind, e.tag, e.type, e.count, static_cast<size_t>(e.size), w->data + e.valueAt,
                         view.bigEndian ? 1 : 0, w->context))
            return false;
    }
    return true;
}

}  // namespace

int WalkIfd(uint8_t* tiff, size_t length, uint32_t ifd, int bigEndian, uint32_t kind, uint32_t kindsWanted,
            IfdEntryCallback callback, void* context) {
    if (!tiff || !callback) return 0;
    TiffView view;
    view.data = tiff;
    view.size = length;
    view.bigEndian = bigEndian != 0;
    IfdWalkOptions options;
    options.startKind = kind;
    options.kindsWanted = kindsWanted;
    options.followChain = false;
    EntryWalk walk{tiff, callback, context};
    return WalkTiffIfds(view, ifd, options, HandEntries, &walk) ? 1 : 0;
}

int WalkExifIfds(uint8_t* block, size_t length, uint32_t kindsWanted, IfdEntryCallback callback, void* context,
                 int* bigEndian) {
    static const uint8_t kPrefix[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (!block || length < 6 || std::memcmp(block, kPrefix, 6) != 0) return 0;
    TiffView view;
    uint32_t ifd0;
    if (!OpenTiffView(block + 6, length - 6, &view, &ifd0)) return 0;
    if (bigEndian) *bigEndian = view.bigEndian ? 1 : 0;
    return WalkIfd(block + 6, length - 6, ifd0, view.bigEndian ? 1 : 0, kIfdMain, kindsWanted, callback, context);
}
