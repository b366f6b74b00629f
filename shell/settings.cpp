// Main settings keys: see settings.h.
#include "shell/settings.h"

#define PV_SETTING_WIDEN2(text) L##text
#define PV_SETTING_WIDEN(text) PV_SETTING_WIDEN2(text)
#define PV_SETTING_ROW(key, field, kind, def, lo, hi, text) \
    {PV_SETTING_WIDEN(#key), SettingKind::kind, def, lo, hi, text},

const SettingKey kGeneralSettingKeys[] = {PV_GENERAL_SETTINGS(PV_SETTING_ROW)};
const size_t kGeneralSettingKeyCount = sizeof kGeneralSettingKeys / sizeof kGeneralSettingKeys[0];

const SettingKey kFitSettingKey = {L"Fit", SettingKind::kChoice, 0, 0, 3, nullptr};

int32_t SettingValueFromStore(const SettingKey& key, bool present, uint32_t stored) {
    if (!present || key.kind == SettingKind::kText) return key.defaultValue;
    const int32_t value = int32_t(stored);
    switch (key.kind) {
    case SettingKind::kFlag:
        return stored != 0 ? 1 : 0;
    case SettingKind::kNumber:
        return value < key.min ? key.min : (value > key.max ? key.max : value);
    case SettingKind::kOptionalNumber:
        if (value <= 0) return 0;
        return value < key.min ? key.min : (value > key.max ? key.max : value);
    case SettingKind::kChoice:
        return (value < key.min || value > key.max) ? key.defaultValue : value;
    case SettingKind::kColour:
        return stored > 0xFFFFFFu ? key.defaultValue : value;
    case SettingKind::kSortOrder: {
        const int32_t sortKey = int32_t(stored & kSortKeyMask);
        const int32_t direction = int32_t(stored & kSortDescending);
        if (sortKey < key.min || sortKey > key.max)
            return int32_t(uint32_t(key.defaultValue) & kSortKeyMask) | direction;
        return sortKey | direction;
    }
    case SettingKind::kText:
        break;
    }
    return key.defaultValue;
}
