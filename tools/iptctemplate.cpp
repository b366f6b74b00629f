#include "tools/iptctemplate.h"

#include <cstdint>
#include <cstring>

#include "processing/iptc.h"

namespace {

// Writing order of the template's datasets.
constexpr uint8_t kTemplateOrder[] = {120, 122, 105, 40, 25, 15, 20, 116, 80, 85, 110, 115, 7,  22,
                                      65,  10,  75,  5,  90, 92, 95, 101, 100, 103, 55, 30};
constexpr uint8_t kUrgency = 10;
constexpr uint8_t kObjectCycle = 75;
constexpr uint8_t kSupplementalCategory = 20;
constexpr uint8_t kKeywords = 25;
// Datasets a template carries as plain texts.
constexpr uint8_t kTextDatasets[] = {5,  7,  15,  22,  30,  40,  55,  65,  80,  85,  90,
                                     92, 95, 100, 101, 103, 105, 110, 115, 116, 120, 122};

bool IsTextDataset(unsigned dataset) {
    for (uint8_t d : kTextDatasets)
        if (d == dataset) return true;
    return false;
}

void AppendEntry(std::string* text, unsigned dataset, const char* value, size_t length) {
    const std::string header = std::to_string(dataset) + ":" + std::to_string(length) + ":";
    if (text->size() + header.size() + length + 2 > kIptcTemplateCapacity - 1) return;
    *text += header;
    text->append(value, length);
    *text += ':';
}

void AppendList(std::string* text, unsigned dataset, const IptcList& list) {
    for (uint32_t i = 0; i < list.count; ++i)
        if (list.items[i]) AppendEntry(text, dataset, list.items[i], std::strlen(list.items[i]));
}

// Digits up to ':' at `*pos`; false when there are none, the number is too
// large or no ':' follows before the end.
bool ReadNumber(const char* text, size_t length, size_t* pos, size_t* value) {
    size_t n = 0;
    size_t i = *pos;
    if (i >= length || text[i] < '0' || text[i] > '9') return false;
    for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
        n = n * 10 + size_t(text[i] - '0');
        if (n > kIptcTemplateCapacity * 64) return false;
    }
    if (i >= length || text[i] != ':') return false;
    *pos = i + 1;
    *value = n;
    return true;
}

}  // namespace

std::string IptcTemplateEncode(const IptcRecord& record) {
    std::string text;
    for (uint8_t dataset : kTemplateOrder) {
        if (dataset == kKeywords) {
            AppendList(&text, dataset, record.lists[kIptcKeywords]);
        } else if (dataset == kSupplementalCategory) {
            AppendList(&text, dataset, record.lists[kIptcSupplementalCategories]);
        } else {
            const IptcText& slot = record.slots[dataset];
            if (!slot.text) continue;
            // Urgency and object cycle are one character each.
            const size_t length = (dataset == kUrgency || dataset == kObjectCycle) ? 1 : slot.length;
            if (length > slot.length) continue;
            AppendEntry(&text, dataset, slot.text, length);
        }
    }
    return text;
}

int IptcTemplateDecode(const char* text, size_t length, IptcRecord* record) {
    if (length == 0 || !text || !text[0]) return 0;
    size_t pos = 0;
    while (pos < length) {
        size_t dataset = 0;
        size_t size = 0;
        if (!ReadNumber(text, length, &pos, &dataset) || !ReadNumber(text, length, &pos, &size)) break;
        if (size > length - pos) break;
        const char* value = text + pos;
        pos += size;
        if (pos < length) ++pos;  // the separator
        if (size == 0) continue;
        if (dataset == kKeywords || dataset == kSupplementalCategory) {
            // List items are zero-terminated texts: one that ends at once adds nothing.
            const std::string item(value, strnlen(value, size));
            if (item.empty()) continue;
            IptcAddListItem(record, dataset == kKeywords ? kIptcKeywords : kIptcSupplementalCategories,
                            item.c_str());
        } else if (dataset == kUrgency || dataset == kObjectCycle) {
            IptcSetText(record, int(dataset), value, 1);
        } else if (IsTextDataset(unsigned(dataset))) {
            IptcSetText(record, int(dataset), value, size);
        }
    }
    return 1;
}
