// Settings in the registry: see settings_win.h.
#include "shell/settings_win.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "imagelib/textutil.h"

AppSettings g_AppSettings;

namespace {

std::wstring g_root = L"Software\\Trelmo";

std::wstring KeyPath(const wchar_t* section) {
    std::wstring path = g_root;
    if (section && *section) {
        path += L'\\';
        path += section;
    }
    return path;
}

// True with the value when it exists and is a REG_DWORD.
bool ReadNumber(HKEY root, const wchar_t* section, const wchar_t* name, DWORD* value) {
    HKEY key;
    if (RegOpenKeyExW(root, KeyPath(section).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, data = 0, size = sizeof data;
    const LONG status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data) return false;
    *value = data;
    return true;
}

// Stores a value under the section's key, made when missing.
LONG WriteValue(const wchar_t* section, const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    HKEY key;
    LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(section).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                  &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes);
    RegCloseKey(key);
    return status;
}

void CopyBounded(wchar_t* buffer, int capacity, const wchar_t* text) {
    if (buffer && capacity >= 1) CopyWideTextBounded(buffer, size_t(capacity), text ? text : L"");
}

// Menu commands whose checks follow the settings.
enum : UINT {
    kCmdViewThumbnails = 4007,  // ... 4012 full screen
    kCmdViewFullScreen = 4012,
    kCmdSortByName = 4133,      // ... 4137 by image resolution
    kCmdSortByResolution = 4137,
    kCmdSortAscending = 4138,
    kCmdSortDescending = 4139,
    kCmdRotateAuto = 4121,
    kCmdFitAll = 4122,
    kCmdOriginalSize = 4125,
    kCmdFitLargeOnly = 4131,
    kCmdPreviousPage = 4223,
    kCmdNextPage = 4224,
    kCmdShowLabel = 4225,
    kCmdRecursive = 4226,
    kCmdFillScreen = 4228,
};

// Each settings field read or written by its type.
void ReadField(int32_t& field, const SettingKey& key) { field = RegReadSetting(kGeneralSection, key); }
void ReadField(COLORREF& field, const SettingKey& key) {
    field = COLORREF(RegReadSetting(kGeneralSection, key));
}
void ReadField(wchar_t (&field)[kSettingTextCapacity], const SettingKey& key) {
    RegReadText(kGeneralSection, key.name, key.defaultText, field, int(kSettingTextCapacity));
}
void WriteField(int32_t field, const SettingKey& key) {
    RegWriteDword(kGeneralSection, key.name, SettingValueToStore(field));
}
void WriteField(COLORREF field, const SettingKey& key) { RegWriteDword(kGeneralSection, key.name, field); }
void WriteField(const wchar_t (&field)[kSettingTextCapacity], const SettingKey& key) {
    RegWriteText(kGeneralSection, key.name, field);
}

}  // namespace

const wchar_t* RegSettingsRoot() { return g_root.c_str(); }

void RegSetSettingsRoot(const wchar_t* keyPath) { g_root = keyPath; }

DWORD RegReadDword(HKEY root, const wchar_t* section, const wchar_t* name, DWORD defaultValue) {
    DWORD value;
    return ReadNumber(root, section, name, &value) ? value : defaultValue;
}

DWORD RegReadSettingDefault(const wchar_t* section, const wchar_t* name, DWORD defaultValue) {
    return RegReadDword(HKEY_CURRENT_USER, section, name, defaultValue);
}

int32_t RegReadSetting(const wchar_t* section, const SettingKey& key) {
    DWORD value = 0;
    const bool present = ReadNumber(HKEY_CURRENT_USER, section, key.name, &value);
    return SettingValueFromStore(key, present, value);
}

void RegReadText(const wchar_t* section, const wchar_t* name, const wchar_t* defaultText, wchar_t* buffer,
                 int capacity) {
    if (!buffer || capacity < 1) return;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(section).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        CopyBounded(buffer, capacity, defaultText);
        return;
    }
    // One character more than the caller's buffer tells a value that fits
    // (its zero included) from one that does not.
    std::vector<wchar_t> data(size_t(capacity) + 1, L'\0');
    DWORD type = 0;
    DWORD size = DWORD(data.size() * sizeof(wchar_t));
    const LONG status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    RegCloseKey(key);
    // The text ends at its first zero; a value stored without one ends with
    // its data. A value too long for the buffer fails, its full size in
    // `size`: nothing past the buffer is looked at.
    size_t length = data.size();
    if (status == ERROR_SUCCESS && type == REG_SZ)
        length = wcsnlen(data.data(), std::min(size_t(size / sizeof(wchar_t)), data.size()));
    if (length > size_t(capacity - 1)) {
        CopyBounded(buffer, capacity, defaultText);
        return;
    }
    wmemcpy(buffer, data.data(), length);
    buffer[length] = L'\0';
}

LONG RegWriteDword(const wchar_t* section, const wchar_t* name, DWORD value) {
    const LONG status = WriteValue(section, name, REG_DWORD, &value, sizeof value);
    if (status != ERROR_SUCCESS) {
        wchar_t message[300];
        swprintf(message, 300, L"Pb : <%ls> \n", name);
        OutputDebugStringW(message);
    }
    return status;
}

LONG RegWriteText(const wchar_t* section, const wchar_t* name, const wchar_t* text) {
    return WriteValue(section, name, REG_SZ, text, DWORD((wcslen(text) + 1) * sizeof(wchar_t)));
}

int SettingsLoad(HWND mainWindow) {
    g_AppSettings = AppSettings{};
    g_AppSettings.mainWindow = mainWindow;
    g_AppSettings.currentItem = -1;

    const SettingKey* key = kGeneralSettingKeys;
#define PV_READ_SETTING(name, field, ...) ReadField(g_AppSettings.field, *key++);
    PV_GENERAL_SETTINGS(PV_READ_SETTING)
#undef PV_READ_SETTING
    const int fit = RegReadSetting(kGeneralSection, kFitSettingKey);

    if (g_AppSettings.userViewMode != 4) g_AppSettings.viewMode = g_AppSettings.userViewMode;
    if (g_AppSettings.treeViewHeight == 0) {
        RECT client = {};
        if (mainWindow) GetClientRect(mainWindow, &client);
        g_AppSettings.treeViewHeight = (client.bottom - client.top) / 2 - 16;
    }
    return fit;
}

void SettingsSave() {
    const SettingKey* key = kGeneralSettingKeys;
#define PV_WRITE_SETTING(name, field, ...) WriteField(g_AppSettings.field, *key++);
    PV_GENERAL_SETTINGS(PV_WRITE_SETTING)
#undef PV_WRITE_SETTING
}

void SettingsApplyMenuChecks(HMENU menu, int fit) {
    if (!menu) return;
    const AppSettings& s = g_AppSettings;
    CheckMenuRadioItem(menu, kCmdViewThumbnails, kCmdViewFullScreen, UINT(kCmdViewThumbnails + s.viewMode),
                       MF_BYCOMMAND);
    CheckMenuRadioItem(menu, kCmdSortByName, kCmdSortByResolution,
                       UINT(kCmdSortByName + (uint32_t(s.sort) & ~kSortDescending)), MF_BYCOMMAND);
    CheckMenuRadioItem(menu, kCmdSortAscending, kCmdSortDescending,
                       (uint32_t(s.sort) & kSortDescending) ? kCmdSortDescending : kCmdSortAscending, MF_BYCOMMAND);
    CheckMenuItem(menu, kCmdRotateAuto, MF_BYCOMMAND | (s.rotateAuto ? MF_CHECKED : MF_UNCHECKED));
    CheckMenuItem(menu, kCmdShowLabel, MF_BYCOMMAND | (s.showLabel ? MF_CHECKED : MF_UNCHECKED));
    CheckMenuItem(menu, kCmdRecursive, MF_BYCOMMAND | (s.recursive ? MF_CHECKED : MF_UNCHECKED));
    EnableMenuItem(menu, kCmdPreviousPage, MF_BYCOMMAND | MF_ENABLED);
    EnableMenuItem(menu, kCmdNextPage, MF_BYCOMMAND | MF_ENABLED);
    const UINT zoomItem = fit == 3 ? kCmdFillScreen
                          : fit == 2 ? kCmdOriginalSize
                          : fit == 1 ? kCmdFitAll
                                     : kCmdFitLargeOnly;
    CheckMenuItem(menu, zoomItem, MF_BYCOMMAND | MF_CHECKED);
}
