// IPTC-IIM record 2: parsing, listing and building.
//
// Portable: no platform headers.
#include "iptc.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "codepage.h"
#include "imagelib/bytereader.h"
#include "imagelib/metadata.h"

const uint8_t kIptcListDatasets[kIptcListCount] = {20, 25, 118, 27};

namespace {

constexpr uint8_t kTag = 0x1C;
constexpr uint16_t kIptcResourceId = 0x0404;
constexpr uint8_t kUtf8Marker[3] = {0x1B, 0x25, 0x47};  // ESC % G
constexpr size_t kDatasetHeaderBytes = 5;
// A dataset's 16-bit length with the high bit set announces an extended
// length, so a standard dataset holds at most 32,767 bytes; the resource's
// count field limits the whole to 65,535.
constexpr size_t kMaxValueBytes = 0x7FFF;
constexpr size_t kMaxIimBytes = 0xFFFF;
// Bytes tested for the first dataset before the data counts as not IIM.
constexpr size_t kFirstTagWindow = 256;

struct DatasetName {
    uint8_t dataset;
    const char* name;
};

// Looked up by number, first match.
constexpr DatasetName kNames[] = {
    {80, "Byline"},        {85, "Byline Title"},
    {110, "Credits"},      {115, "Source"},
    {122, "Caption Writer"}, {120, "Caption"},
    {105, "Headline"},     {40, "Special Instructions"},
    {5, "Object Name"},    {55, "Date Created"},
    {30, "Release Date"},  {90, "City"},
    {95, "State"},         {101, "Country"},
    {103, "Original Transmission Reference"}, {15, "Category"},
    {116, "CopyrightNotice"}, {7, "Edit Status"},
    {22, "JobId"},         {65, "Program"},
    {10, "Priority"},      {92, "Sublocation"},
    {100, "Country Code"}, {75, "Object Cycle"},
    {60, "Time Created"},  {35, "Release Time"},
    {70, "Program version"}, {118, "Contact"},
    {27, "Content location"}, {26, "Content location code"},
    {45, "Reference Service"}, {50, "Reference Number"},
};
static_assert(sizeof kNames / sizeof kNames[0] == 32, "32 dataset names");

const char* const kListNames[kIptcListCount] = {"Supplemental Categories", "Keywords", "Contacts", "Location"};

// Record-2 datasets the IIM lets repeat that have no list of their own.
bool IsRepeatable(uint8_t dataset) {
    switch (dataset) {
        case 4: case 12: case 26: case 45: case 47: case 50: case 80: case 85: case 122: return true;
        default: return false;
    }
}

int ListOf(int dataset) {
    for (int i = 0; i < kIptcListCount; ++i)
        if (kIptcListDatasets[i] == dataset) return i;
    return -1;
}

char* CopyBytes(const void* data, size_t length) {
    auto* text = static_cast<char*>(std::malloc(length + 1));
    if (!text) return nullptr;
    if (length) std::memcpy(text, data, length);
    text[length] = 0;
    return text;
}

int AppendItem(IptcList* list, char* text) {
    auto* items = static_cast<char**>(std::realloc(list->items, (size_t(list->count) + 1) * sizeof(char*)));
    if (!items) return 0;
    list->items = items;
    list->items[list->count++] = text;
    return 1;
}

int AppendRepeat(IptcRecord* record, uint8_t dataset, char* text, size_t length) {
    auto* repeats = static_cast<IptcRepeat*>(
        std::realloc(record->repeats, (size_t(record->repeatCount) + 1) * sizeof(IptcRepeat)));
    if (!repeats) return 0;
    record->repeats = repeats;
    record->repeats[record->repeatCount++] = IptcRepeat{dataset, IptcText{text, uint32_t(length)}};
    return 1;
}

// Takes ownership of `text` (freed when it cannot be stored).
void StoreDataset(IptcRecord* record, uint8_t dataset, char* text, size_t length) {
    const int list = ListOf(dataset);
    bool stored;
    if (list >= 0) {
        stored = AppendItem(&record->lists[list], text);
    } else if (IsRepeatable(dataset) && record->slots[dataset].text) {
        stored = AppendRepeat(record, dataset, text, length);
    } else {
        std::free(record->slots[dataset].text);
        record->slots[dataset] = IptcText{text, uint32_t(length)};
        stored = true;
    }
    if (!stored) std::free(text);
}

const MetadataBlock* FindIptcNode(const MetadataBlock* list, bool last, const uint8_t** iim, size_t* length) {
    const MetadataBlock* found = nullptr;
    for (const MetadataBlock* node = list; node; node = node->next) {
        if (node->kind != kMetadataIptc) continue;
        size_t n;
        const uint8_t* data = FindIptcResource(node->data, node->length, &n);
        if (!data) continue;
        found = node;
        *iim = data;
        *length = n;
        if (!last) break;
    }
    return found;
}

void AppendDataset(std::string& out, uint8_t record, uint8_t dataset, const char* data, size_t length) {
    const char head[kDatasetHeaderBytes] = {char(kTag), char(record), char(dataset), char(length >> 8),
                                            char(length & 0xFF)};
    out.append(head, sizeof head);
    out.append(data, length);
}

// The text listed for dataset d: a list's items or a repeated dataset's
// values joined with ","; false when the dataset has none.
bool ListedText(const IptcRecord& record, int d, std::string* text, const char** name) {
    text->clear();
    const int listIndex = ListOf(d);
    if (listIndex >= 0) {
        const IptcList& items = record.lists[listIndex];
        for (uint32_t i = 0; i < items.count; ++i) {
            if (i) *text += ',';
            *text += items.items[i];
        }
        *name = kListNames[listIndex];
        return items.count > 0;
    }
    const IptcText& slot = record.slots[d];
    if (!slot.text) return false;
    text->assign(slot.text, slot.length);
    for (uint32_t i = 0; i < record.repeatCount; ++i) {
        const IptcRepeat& r = record.repeats[i];
        if (r.dataset != d) continue;
        *text += ',';
        text->append(r.value.text, r.value.length);
    }
    *name = IptcDatasetName(d);
    return true;
}

}  // namespace

bool BeginPhotoshopResources(const uint8_t* block, size_t length, size_t* pos) {
    if (!block || length < kPhotoshopHeaderBytes || std::memcmp(block, "Photoshop 3.0", kPhotoshopHeaderBytes) != 0)
        return false;
    *pos = kPhotoshopHeaderBytes;
    return true;
}

bool NextPhotoshopResource(const uint8_t* block, size_t length, size_t* pos, PhotoshopResource* out) {
    ByteReader r(block, length);
    if (!r.Seek(*pos)) return false;
    const size_t start = r.pos;
    const uint8_t* signature = r.Take(4);
    if (!signature || std::memcmp(signature, "8BIM", 4) != 0) return false;
    const uint16_t id = r.U16Be();
    const uint8_t nameLength = r.U8();
    r.Skip(nameLength + ((nameLength & 1) ? 0u : 1u));  // length byte + name, padded to even
    const uint32_t size = r.U32Be();
    if (!r.ok) return false;
    out->id = id;
    out->start = start;
    out->data = r.pos;
    out->truncated = size > r.Remaining();
    out->size = out->truncated ? r.Remaining() : size;
    // The pad byte after odd data may be missing at the very end.
    out->end = out->data + out->size;
    if (!out->truncated && (size & 1) && out->end < length) ++out->end;
    *pos = out->truncated ? length : out->end;
    return true;
}

const uint8_t* FindIptcResource(const uint8_t* block, size_t length, size_t* iimLength) {
    size_t pos;
    if (!BeginPhotoshopResources(block, length, &pos)) return nullptr;
    PhotoshopResource res;
    while (NextPhotoshopResource(block, length, &pos, &res)) {
        if (res.id == kIptcResourceId) {
            *iimLength = res.size;
            return block + res.data;
        }
    }
    return nullptr;
}

void ParseIim(const uint8_t* iim, size_t length, IptcRecord* record) {
    if (!iim) return;
    size_t pos = 0;
    while (pos < length && pos < kFirstTagWindow && iim[pos] != kTag) ++pos;
    if (pos >= kFirstTagWindow) return;
    while (pos < length) {
        if (iim[pos] != kTag) {  // stray bytes between datasets (padding): step over them
            ++pos;
            continue;
        }
        ByteReader r(iim, length);
        r.Seek(pos + 1);
        const uint8_t recordNumber = r.U8();
        const uint8_t dataset = r.U8();
        const uint16_t size = r.U16Be();
        // Extended lengths (high bit set) are not supported; neither are
        // data that pass the end.
        if (!r.ok || (size & 0x8000) || !r.Has(size)) break;
        const uint8_t* data = iim + r.pos;
        if (recordNumber == 1 && dataset == 90 && size == 3 && std::memcmp(data, kUtf8Marker, 3) == 0) {
            record->utf8 = 1;
        } else if (recordNumber == 2) {
            record->present = 1;
            if (char* text = CopyBytes(data, size)) StoreDataset(record, dataset, text, size);
        }
        pos = r.pos + size;
    }
}

int IptcRead(const MetadataBlock* list, IptcRecord* record) {
    std::memset(record, 0, sizeof *record);
    const uint8_t* iim;
    size_t length;
    if (!FindIptcNode(list, false, &iim, &length)) return 0;
    ParseIim(iim, length, record);
    return 1;
}

const char* IptcDatasetName(int dataset) {
    for (const DatasetName& row : kNames)
        if (row.dataset == dataset) return row.name;
    return "????";
}

void IptcEnumDatasets(const MetadataBlock* list, IptcDatasetCallback callback, void* context) {
    const uint8_t* iim;
    size_t length;
    if (!callback || !FindIptcNode(list, true, &iim, &length)) return;
    auto* record = static_cast<IptcRecord*>(std::calloc(1, sizeof(IptcRecord)));
    if (!record) return;
    ParseIim(iim, length, record);
    try {
        std::string text;
        const char* name;
        for (int d = 0; d < kIptcSlotCount; ++d) {
            if (!ListedText(*record, d, &text, &name)) continue;
            char* converted = nullptr;
            uint32_t convertedLength;
            if (record->utf8) converted = Utf8ToSystemCodePage(text.data(), text.size(), &convertedLength);
            callback(context, d, name, converted ? converted : text.c_str());
            std::free(converted);
        }
    } catch (const std::bad_alloc&) {
        // Listing stops here; the record is freed all the same.
    }
    IptcFree(record);
    std::free(record);
}

void IptcFree(IptcRecord* record) {
    for (IptcText& slot : record->slots) std::free(slot.text);
    for (IptcList& list : record->lists) {
        for (uint32_t i = 0; i < list.count; ++i) std::free(list.items[i]);
        std::free(list.items);
    }
    for (uint32_t i = 0; i < record->repeatCount; ++i) std::free(record->repeats[i].value.text);
    std::free(record->repeats);
    std::memset(record, 0, sizeof *record);
}

int IptcAddListItem(IptcRecord* record, int list, const char* text) {
    if (list < 0 || list >= kIptcListCount || !text) return 0;
    char* copy = CopyBytes(text, std::strlen(text));
    if (!copy) return 0;
    if (!AppendItem(&record->lists[list], copy)) {
        std::free(copy);
        return 0;
    }
    return 1;
}

int IptcSetText(IptcRecord* record, int dataset, const char* text, size_t length) {
    if (dataset < 0 || dataset >= kIptcSlotCount) return 0;
    char* copy = nullptr;
    if (text && !(copy = CopyBytes(text, length))) return 0;
    std::free(record->slots[dataset].text);
    record->slots[dataset] = IptcText{copy, copy ? uint32_t(length) : 0};
    return 1;
}

void IptcTakeDatasets(IptcRecord* into, IptcRecord* from, const uint8_t* datasets, size_t count, uint32_t lists) {
    for (size_t i = 0; i < count; ++i) {
        IptcText& slot = into->slots[datasets[i]];
        std::free(slot.text);
        slot = from->slots[datasets[i]];
        from->slots[datasets[i]] = IptcText{nullptr, 0};
        if (slot.text) into->present = 1;
    }
    for (int l = 0; l < kIptcListCount; ++l) {
        if (!(lists & (1u << l))) continue;
        IptcList& list = into->lists[l];
        for (uint32_t i = 0; i < list.count; ++i) std::free(list.items[i]);
        std::free(list.items);
        list = from->lists[l];
        from->lists[l] = IptcList{0, nullptr};
        if (list.count) into->present = 1;
    }
}

size_t IimDatasetBytes(const IptcRecord* record) {
    constexpr size_t kTooLarge = std::numeric_limits<size_t>::max();
    size_t total = record->utf8 ? kDatasetHeaderBytes + sizeof kUtf8Marker : 0;
    auto add = [&total](size_t n) {
        if (n > kMaxValueBytes) return false;
        total += kDatasetHeaderBytes + n;  // at most 5 + 65,535 per value: no wrap
        return total <= kMaxIimBytes;
    };
    for (int d = 0; d < kIptcSlotCount; ++d) {
        if (record->slots[d].text && !add(record->slots[d].length)) return kTooLarge;
        const int listIndex = ListOf(d);
        if (listIndex < 0) continue;
        const IptcList& list = record->lists[listIndex];
        for (uint32_t i = 0; i < list.count; ++i)
            if (!add(std::strlen(list.items[i]))) return kTooLarge;
    }
    for (uint32_t i = 0; i < record->repeatCount; ++i)
        if (record->repeats[i].value.text && !add(record->repeats[i].value.length)) return kTooLarge;
    return total;
}

uint8_t* BuildIim(const IptcRecord* record, size_t* length) {
    if (IimDatasetBytes(record) > kMaxIimBytes) return nullptr;
    std::string out;
    try {
        if (record->utf8) AppendDataset(out, 1, 90, reinterpret_cast<const char*>(kUtf8Marker), 3);
        for (int d = 0; d < kIptcSlotCount; ++d) {
            const IptcText& slot = record->slots[d];
            if (slot.text) {
                AppendDataset(out, 2, uint8_t(d), slot.text, slot.length);
            }
            for (uint32_t i = 0; i < record->repeatCount; ++i) {
                const IptcRepeat& r = record->repeats[i];
                if (r.dataset != d || !r.value.text) continue;
                AppendDataset(out, 2, uint8_t(d), r.value.text, r.value.length);
            }
            const int listIndex = ListOf(d);
            if (listIndex < 0) continue;
            const IptcList& list = record->lists[listIndex];
            for (uint32_t i = 0; i < list.count; ++i)
                AppendDataset(out, 2, uint8_t(d), list.items[i], std::strlen(list.items[i]));
        }
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    auto* bytes = static_cast<uint8_t*>(std::malloc(out.size() + 2));
    if (!bytes) return nullptr;
    bytes[0] = uint8_t(out.size() >> 8);
    bytes[1] = uint8_t(out.size() & 0xFF);
    if (!out.empty()) std::memcpy(bytes + 2, out.data(), out.size());
    *length = out.size() + 2;
    return bytes;
}
