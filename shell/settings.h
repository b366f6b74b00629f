// The keys of the main settings (registry section "General"): names, kinds,
// defaults and valid ranges, written once as a list so that reading, writing
// and the settings record stay in step.
//
// Portable: no platform headers. The registry glue is settings_win.h.
#pragma once

#include <cstddef>
#include <climits>
#include <cstdint>

// How a stored number is brought into range when read.
enum class SettingKind : uint8_t {
    kFlag,            // any nonzero value reads as 1
    kNumber,          // clamped to [min, max]
    kOptionalNumber,  // 0 or less reads as 0 (not set), else clamped to [min, max]
    kChoice,          // outside [min, max] reads as the default
    kColour,          // a COLORREF; above 0xFFFFFF reads as the default
    kSortOrder,       // sort key (low 12 bits) in [min, max], else the default's, plus bit 0x1000
    kText,            // text of at most kSettingTextCapacity - 1 characters
};

constexpr size_t kSettingTextCapacity = 260;
constexpr uint32_t kSortKeyMask = 0x0FFF;
constexpr uint32_t kSortDescending = 0x1000;

// X(key, field, kind, default, min, max, text default), in the order in which
// the settings are read and written. ThumbSize keeps any stored number: the
// thumbnail box maps every value other than 1 to 4 to its smallest size.
#define PV_GENERAL_SETTINGS(X)                                                      \
    X(SlideBackColor, slideBackColor, kColour, 0x808080, 0, 0xFFFFFF, nullptr)      \
    X(ViewBackColor, viewBackColor, kColour, 0x808080, 0, 0xFFFFFF, nullptr)        \
    X(TreeViewHeight, treeViewHeight, kOptionalNumber, 0, 40, 4096, nullptr)        \
    X(HighQualityThumb, highQualityThumb, kFlag, 0, 0, 1, nullptr)                  \
    X(UseSplashScreen, useSplashScreen, kFlag, 1, 0, 1, nullptr)                    \
    X(SlideDelay, slideDelay, kNumber, 2, 1, 60, nullptr)                           \
    X(SlideUseDelay, slideUseDelay, kFlag, 1, 0, 1, nullptr)                        \
    X(SlideUseTransition, slideUseTransition, kFlag, 1, 0, 1, nullptr)              \
    X(SlideLandscape, slideLandscape, kFlag, 0, 0, 1, nullptr)                      \
    X(SlideLoop, slideLoop, kFlag, 0, 0, 1, nullptr)                                \
    X(Mode, viewMode, kChoice, 0, 0, 4, nullptr)                                    \
    X(Sort, sort, kSortOrder, 0, 0, 4, nullptr)                                     \
    X(RotateAuto, rotateAuto, kFlag, 1, 0, 1, nullptr)                              \
    X(Home, home, kText, 0, 0, 0, L"\\My Documents\\")                              \
    X(UseSoundFilename, useSoundFilename, kFlag, 0, 0, 1, nullptr)                  \
    X(SoundFilename, soundFilename, kText, 0, 0, 0, L"")                            \
    X(UserViewMode, userViewMode, kChoice, 4, 0, 4, nullptr)                        \
    X(ShowLabel, showLabel, kFlag, 1, 0, 1, nullptr)                                \
    X(ThumbSize, thumbSize, kNumber, 2, INT32_MIN, INT32_MAX, nullptr)              \
    X(FontTree, fontTree, kOptionalNumber, 0, 8, 20, nullptr)                       \
    X(FontThumb, fontThumb, kOptionalNumber, 0, 8, 20, nullptr)                     \
    X(UseScrollbar, useScrollbar, kFlag, 0, 0, 1, nullptr)                          \
    X(ViewMove, viewMove, kFlag, 1, 0, 1, nullptr)                                  \
    X(KeyUp, keyUp, kChoice, 1, 0, 6, nullptr)                                      \
    X(KeyRight, keyRight, kChoice, 1, 0, 6, nullptr)                                \
    X(KeyLeft, keyLeft, kChoice, 2, 0, 6, nullptr)                                  \
    X(KeyDown, keyDown, kChoice, 2, 0, 6, nullptr)                                  \
    X(KeyReturn, keyReturn, kChoice, 3, 0, 6, nullptr)                              \
    X(OpenInFull, openInFull, kFlag, 1, 0, 1, nullptr)                              \
    X(OneClick, oneClick, kFlag, 0, 0, 1, nullptr)                                  \
    X(LabelInFull, labelInFull, kFlag, 1, 0, 1, nullptr)                            \
    X(PlayAnimatedGIF, playAnimatedGif, kFlag, 1, 0, 1, nullptr)                    \
    X(RotateLeft, rotateLeft, kFlag, 1, 0, 1, nullptr)                              \
    X(ShowExt, showExt, kFlag, 1, 0, 1, nullptr)                                    \
    X(AddToBottom, addToBottom, kFlag, 1, 0, 1, nullptr)                            \
    X(Recursive, recursive, kFlag, 0, 0, 1, nullptr)                                \
    X(UseCache, useCache, kFlag, 1, 0, 1, nullptr)

struct SettingKey {
    const wchar_t* name;
    SettingKind kind;
    int32_t defaultValue;
    int32_t min;
    int32_t max;
    const wchar_t* defaultText;  // kText only
};

// Every key of section "General" that the settings record keeps, in order.
extern const SettingKey kGeneralSettingKeys[];
extern const size_t kGeneralSettingKeyCount;

// "Fit": the zoom choice at the last exit (0 fit large pictures only, 1 fit
// all, 2 original size, 3 fill the screen). Read at start-up into a local
// value only and written by the Quit command alone.
extern const SettingKey kFitSettingKey;

// Section and root names of the registry layout.
constexpr const wchar_t* kGeneralSection = L"General";

// The value a number setting takes when read: `stored` when it was present
// (and a number), brought into the key's range; the default otherwise.
int32_t SettingValueFromStore(const SettingKey& key, bool present, uint32_t stored);

// The number as the registry stores it (a 32-bit word).
inline uint32_t SettingValueToStore(int32_t value) { return uint32_t(value); }
