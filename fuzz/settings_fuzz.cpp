// Settings read back from the registry (the portable part): any stored
// word, present or not, for every key comes back inside the key's range.
// The input is a run of 5-byte records: presence, then the stored word.
#include <cstdint>
#include <cstdlib>

#include "shell/settings.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void CheckValue(const SettingKey& key, bool present, uint32_t stored) {
    const int32_t v = SettingValueFromStore(key, present, stored);
    if (!present || key.kind == SettingKind::kText) {
        Check(v == key.defaultValue);
        return;
    }
    switch (key.kind) {
        case SettingKind::kFlag: Check(v == 0 || v == 1); break;
        case SettingKind::kNumber: Check(v >= key.min && v <= key.max); break;
        case SettingKind::kOptionalNumber: Check(v == 0 || (v >= key.min && v <= key.max)); break;
        case SettingKind::kChoice: Check((v >= key.min && v <= key.max) || v == key.defaultValue); break;
        case SettingKind::kColour: Check(uint32_t(v) <= 0xFFFFFFu); break;
        case SettingKind::kSortOrder: {
            const int32_t sortKey = int32_t(uint32_t(v) & kSortKeyMask);
            Check((uint32_t(v) & ~(kSortKeyMask | kSortDescending)) == 0);
            Check((sortKey >= key.min && sortKey <= key.max) ||
                  sortKey == int32_t(uint32_t(key.defaultValue) & kSortKeyMask));
            break;
        }
        case SettingKind::kText: break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t k = 0;
    for (size_t at = 0; at + 5 <= size; at += 5, ++k) {
        const bool present = data[at] & 1;
        const uint32_t stored = uint32_t(data[at + 1]) | uint32_t(data[at + 2]) << 8 | uint32_t(data[at + 3]) << 16 |
                                uint32_t(data[at + 4]) << 24;
        CheckValue(kGeneralSettingKeys[k % kGeneralSettingKeyCount], present, stored);
        CheckValue(kFitSettingKey, present, stored);
    }
    return 0;
}
