// The main settings' key table: every key read with its default when
// missing and brought into its range when present.
#include "shell/settings.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <set>
#include <string>

namespace {

const SettingKey& Key(const wchar_t* name) {
    for (size_t i = 0; i < kGeneralSettingKeyCount; ++i)
        if (std::wcscmp(kGeneralSettingKeys[i].name, name) == 0) return kGeneralSettingKeys[i];
    if (std::wcscmp(name, kFitSettingKey.name) == 0) return kFitSettingKey;
    ADD_FAILURE() << "no such key";
    return kFitSettingKey;
}

TEST(SettingKeys, TableHoldsEveryKeyOnceInOrder) {
    const wchar_t* const expected[] = {
        L"SlideBackColor", L"ViewBackColor", L"TreeViewHeight", L"HighQualityThumb", L"UseSplashScreen",
        L"SlideDelay", L"SlideUseDelay", L"SlideUseTransition", L"SlideLandscape", L"SlideLoop", L"Mode",
        L"Sort", L"RotateAuto", L"Home", L"UseSoundFilename", L"SoundFilename", L"UserViewMode", L"ShowLabel",
        L"ThumbSize", L"FontTree", L"FontThumb", L"UseScrollbar", L"ViewMove", L"KeyUp", L"KeyRight",
        L"KeyLeft", L"KeyDown", L"KeyReturn", L"OpenInFull", L"OneClick", L"LabelInFull", L"PlayAnimatedGIF",
        L"RotateLeft", L"ShowExt", L"AddToBottom", L"Recursive", L"UseCache"};
    ASSERT_EQ(kGeneralSettingKeyCount, sizeof expected / sizeof expected[0]);
    for (size_t i = 0; i < kGeneralSettingKeyCount; ++i)
        EXPECT_STREQ(kGeneralSettingKeys[i].name, expected[i]) << i;
}

TEST(SettingKeys, MissingValuesReadAsTheirDefaults) {
    struct Case {
        const wchar_t* name;
        int32_t value;
    };
    const Case defaults[] = {
        {L"SlideBackColor", 0x808080}, {L"ViewBackColor", 0x808080}, {L"TreeViewHeight", 0},
        {L"HighQualityThumb", 0}, {L"UseSplashScreen", 1}, {L"SlideDelay", 2}, {L"SlideUseDelay", 1},
        {L"SlideUseTransition", 1}, {L"SlideLandscape", 0}, {L"SlideLoop", 0}, {L"Mode", 0}, {L"Sort", 0},
        {L"RotateAuto", 1}, {L"UseSoundFilename", 0}, {L"UserViewMode", 4}, {L"ShowLabel", 1},
        {L"ThumbSize", 2}, {L"FontTree", 0}, {L"FontThumb", 0}, {L"UseScrollbar", 0}, {L"ViewMove", 1},
        {L"KeyUp", 1}, {L"KeyRight", 1}, {L"KeyLeft", 2}, {L"KeyDown", 2}, {L"KeyReturn", 3},
        {L"OpenInFull", 1}, {L"OneClick", 0}, {L"LabelInFull", 1}, {L"PlayAnimatedGIF", 1},
        {L"RotateLeft", 1}, {L"ShowExt", 1}, {L"AddToBottom", 1}, {L"Recursive", 0}, {L"UseCache", 1},
        {L"Fit", 0}};
    for (const Case& c : defaults)
        EXPECT_EQ(SettingValueFromStore(Key(c.name), false, 12345u), c.value)
            << std::string(c.name, c.name + std::wcslen(c.name));
    EXPECT_STREQ(Key(L"Home").defaultText, L"\\My Documents\\");
    EXPECT_STREQ(Key(L"SoundFilename").defaultText, L"");
}

TEST(SettingKeys, StoredValuesAreBroughtIntoRange) {
    struct Case {
        const wchar_t* name;
        uint32_t stored;
        int32_t value;
    };
    const Case cases[] = {
        {L"Mode", 3, 3},
        {L"Mode", 5, 0},  // full screen is not started in
        {L"Mode", 7, 0},
        {L"Mode", 0xFFFFFFFF, 0},
        {L"UserViewMode", 2, 2},
        {L"UserViewMode", 9, 4},
        {L"UserViewMode", 0x80000000, 4},
        {L"Fit", 0xFFFFFFFF, 0},  // -1, as written when there was no choice
        {L"Fit", 3, 3},
        {L"Fit", 4, 0},
        {L"Sort", 3, 3},
        {L"Sort", 0x1004, 0x1004},
        {L"Sort", 0x1009, 0x1000},  // an unknown key, the direction kept
        {L"Sort", 0xFFFF0002, 2},   // stray bits dropped
        {L"KeyUp", 6, 6},
        {L"KeyUp", 7, 1},
        {L"KeyReturn", 0xFFFFFFFF, 3},
        {L"SlideDelay", 0, 1},
        {L"SlideDelay", 60, 60},
        {L"SlideDelay", 1000, 60},
        {L"SlideDelay", 0xFFFFFFFF, 1},
        {L"ThumbSize", 4, 4},
        {L"ThumbSize", 9, 9},  // kept: the thumbnail box gives it the smallest size
        {L"ThumbSize", 0x80000000, INT32_MIN},
        {L"FontTree", 0, 0},
        {L"FontTree", 5, 8},
        {L"FontTree", 12, 12},
        {L"FontThumb", 100, 20},
        {L"FontThumb", 0xFFFFFFF0, 0},  // negative: keep the system font
        {L"TreeViewHeight", 0, 0},
        {L"TreeViewHeight", 10, 40},
        {L"TreeViewHeight", 150, 150},
        {L"TreeViewHeight", 100000, 4096},
        {L"ShowLabel", 0, 0},
        {L"ShowLabel", 2, 1},
        {L"UseCache", 0xFFFFFFFF, 1},
        {L"ViewBackColor", 0x00FF00, 0x00FF00},
        {L"SlideBackColor", 0xFFFFFF, 0xFFFFFF},
        {L"SlideBackColor", 0x01000000, 0x808080},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SettingValueFromStore(Key(c.name), true, c.stored), c.value)
            << std::string(c.name, c.name + std::wcslen(c.name)) << " stored " << c.stored;
}

TEST(SettingKeys, EveryNumberKeyKeepsItsOwnRange) {
    // Whatever is stored, what is read lies in [min, max] (or is the
    // default, or 0 for the optional ones), so no caller indexes past a table.
    const uint32_t probes[] = {0, 1, 2, 3, 4, 5, 6, 7, 20, 21, 59, 61, 4095, 4097, 0x7FFFFFFF,
                               0x80000000, 0xFFFFFFFF, 0x1000, 0x1003, 0xFFFFFF, 0x1000000};
    for (size_t i = 0; i < kGeneralSettingKeyCount; ++i) {
        const SettingKey& key = kGeneralSettingKeys[i];
        if (key.kind == SettingKind::kText) continue;
        for (uint32_t stored : probes) {
            const int32_t value = SettingValueFromStore(key, true, stored);
            const int32_t bare = key.kind == SettingKind::kSortOrder ? int32_t(uint32_t(value) & kSortKeyMask) : value;
            const bool inRange = bare >= key.min && bare <= key.max;
            const bool allowed = inRange || value == key.defaultValue ||
                                 (key.kind == SettingKind::kOptionalNumber && value == 0);
            EXPECT_TRUE(allowed) << "key " << i << " stored " << stored << " read " << value;
        }
    }
}

}  // namespace
