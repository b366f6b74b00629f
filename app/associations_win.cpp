#include "app/associations_win.h"

#include <cwchar>

namespace {

constexpr const wchar_t* kBackupSuffix = L"\\Trelmo.bak";
constexpr DWORD kValueBytes = 256;

// The key's default value when it is text; empty otherwise.
std::wstring DefaultText(HKEY key) {
    wchar_t buffer[kValueBytes / sizeof(wchar_t) + 1] = L"";
    DWORD type = 0, size = kValueBytes;
    if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::wstring();
    buffer[size / sizeof(wchar_t)] = 0;  // size is at most kValueBytes
    return buffer;
}

LONG SetDefaultText(HKEY key, const std::wstring& text) {
    return RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          DWORD((text.size() + 1) * sizeof(wchar_t)));
}

LONG WriteKey(const std::wstring& path, const std::wstring& text) {
    HKEY key;
    LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = SetDefaultText(key, text);
    RegCloseKey(key);
    return status;
}

std::wstring ProgramPath() {
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

bool KeyExists(const std::wstring& path) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

}  // namespace

std::wstring AssociationClassName(const wchar_t* extension) { return std::wstring(L"Pellaro.") + extension; }

LONG AssociationWriter(const wchar_t* className, int iconIndex, const wchar_t* description) {
    const std::wstring cls = className;
    LONG status = WriteKey(cls, description);
    if (status != ERROR_SUCCESS) return status;
    status = WriteKey(cls + L"\\shell\\open\\command", L"\"" + ProgramPath() + L"\" %1");
    if (status != ERROR_SUCCESS) return status;
    return WriteKey(cls + L"\\DefaultIcon", ProgramPath() + L"," + std::to_wstring(iconIndex));
}

int RegisterExtension(const wchar_t* extension, const wchar_t* className) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, extension, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        const std::wstring previous = DefaultText(key);
        RegCloseKey(key);
        if (!previous.empty() && _wcsicmp(previous.c_str(), className) != 0)
            WriteKey(std::wstring(extension) + kBackupSuffix, previous);
    }
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, extension, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return 0;
    const LONG status = SetDefaultText(key, className);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 1 : 0;
}

int AssociationRemover(const wchar_t* extension, const wchar_t* className) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, extension, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return 1;
    const std::wstring backupPath = std::wstring(extension) + kBackupSuffix;
    std::wstring previous;
    HKEY backup;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, backupPath.c_str(), 0, KEY_READ, &backup) == ERROR_SUCCESS) {
        previous = DefaultText(backup);
        RegCloseKey(backup);
    }
    if (!previous.empty()) {
        SetDefaultText(key, previous);
    } else if (_wcsicmp(DefaultText(key).c_str(), className) == 0) {
        // Nobody owned the extension before us: take back what we made.
        RegDeleteValueW(key, nullptr);
    }
    RegDeleteKeyW(HKEY_CLASSES_ROOT, backupPath.c_str());
    DWORD subkeys = 0, values = 0;
    const bool empty = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                        nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                       subkeys == 0 && values == 0;
    RegCloseKey(key);
    if (empty && previous.empty()) RegDeleteKeyW(HKEY_CLASSES_ROOT, extension);
    return 1;
}

int IsAssociated(const wchar_t* extension) {
    const std::wstring cls = AssociationClassName(extension);
    HKEY key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"." + std::wstring(extension)).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return 0;
    const std::wstring owner = DefaultText(key);
    RegCloseKey(key);
    return _wcsicmp(owner.c_str(), cls.c_str()) == 0 && KeyExists(cls) ? 1 : 0;
}

void RegisterAlbumAssociation() {
    AssociationWriter(L"Pellaro.alb", -170, L"Pellaro Album");
    RegisterExtension(L".alb", L"Pellaro.alb");
}
