// Settings in the registry: HKEY_CURRENT_USER\Software\Trelmo holds "Path"
// and "Language"; each section is a subkey ("General", "Favorites", the
// tools' sections). Numbers are REG_DWORD, texts REG_SZ; a missing value, a
// missing section or a value of another type reads as the caller's default.
// The main settings live in the global AppSettings record.
//
// Win32 only.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>

#include "shell/browserstate.h"
#include "shell/settings.h"

// The main settings and the main window's run-time state. Zero-filled at
// program start; the settings fields are read from section "General" when the
// main window is created and written back when it is destroyed.
struct AppSettings {
    int32_t viewMode;         // Mode: 0 thumbnails, 1 list, 2 details, 3 strip, 4 image, 5 full screen
    int32_t slideshowRunning;
    int32_t userViewMode;     // view mode to start in; 4: the saved Mode
    int32_t previousViewMode; // browser mode to return to from image or full screen; -1 none
    int32_t sort;             // sort key 0..4, kSortDescending for descending
    int32_t currentItem;      // -1 none
    int32_t currentPage;
    int32_t browserState;
    int32_t multipleSelection;
    RECT savedWindowRect;     // the main window's place while it is full screen
    COLORREF viewBackColor;
    COLORREF slideBackColor;
    int32_t highQualityThumb;
    int32_t keyUp;
    int32_t keyDown;
    int32_t keyLeft;
    int32_t keyRight;
    int32_t keyReturn;
    int32_t showLabel;
    int32_t showExt;
    int32_t addToBottom;
    int32_t useSplashScreen;
    int32_t thumbSize;
    int32_t slideDelay;
    int32_t slideUseDelay;
    int32_t slideUseTransition;
    int32_t slideLandscape;
    int32_t slideLoop;
    int32_t openInFull;
    int32_t oneClick;
    int32_t labelInFull;
    int32_t playAnimatedGif;
    int32_t useCache;
    int32_t useScrollbar;
    int32_t viewMove;
    int32_t rotateLeft;
    int32_t recursive;
    HWND mainWindow;
    HWND treeWindow;
    HWND listWindow;
    HWND viewWindow;
    int32_t fontTree;
    int32_t fontThumb;
    int32_t treeHidden;
    int32_t listHidden;
    int32_t treeViewHeight;
    wchar_t currentFolder[kSettingTextCapacity];  // saved as "Path"
    int32_t rotateAuto;
    int32_t pictureShown;
    int32_t lockZoom;
    int32_t zoom;             // percent, or -1 for a fit mode
    int32_t animationState;
    HIMAGELIST splitterImages;
    wchar_t home[kSettingTextCapacity];
    int32_t useSoundFilename;
    wchar_t soundFilename[kSettingTextCapacity];
    BrowserState browser;     // the browser controller's run-time state
};

extern AppSettings g_AppSettings;

// Where the settings live under HKEY_CURRENT_USER: "Software\Trelmo". Test
// programs, which share one registry when run side by side, point it at a
// key of their own.
const wchar_t* RegSettingsRoot();
void RegSetSettingsRoot(const wchar_t* keyPath);

DWORD RegReadDword(HKEY root, const wchar_t* section, const wchar_t* name, DWORD defaultValue);
DWORD RegReadSettingDefault(const wchar_t* section, const wchar_t* name, DWORD defaultValue);
// The value when it is REG_SZ and fits `capacity` characters with its
// terminating zero; `defaultText` in every other case.
void RegReadText(const wchar_t* section, const wchar_t* name, const wchar_t* defaultText, wchar_t* buffer,
                 int capacity);
// Creates the key when needed; returns the registry's error code.
LONG RegWriteDword(const wchar_t* section, const wchar_t* name, DWORD value);
LONG RegWriteText(const wchar_t* section, const wchar_t* name, const wchar_t* text);

// Reads a number setting of `section`, brought into the key's range.
int32_t RegReadSetting(const wchar_t* section, const SettingKey& key);

// The settings part of the main window's creation: zero-fills g_AppSettings,
// keeps the main window, sets the current item to -1, reads every key of
// "General" in order (each brought into its range), lets UserViewMode other
// than 4 replace Mode and turns a TreeViewHeight of 0 into half the client
// height less 16. Returns the stored zoom choice ("Fit", 0 to 3).
int SettingsLoad(HWND mainWindow);
// Writes every key of "General" back, except "Fit".
void SettingsSave();
// Puts the menu checks that follow the settings (view mode, sort, automatic
// rotation, labels, recursive, the zoom choice `fit`) on the menu.
void SettingsApplyMenuChecks(HMENU menu, int fit);
