// Translated strings: see language_win.h.
#include "shell/language_win.h"

#include <commctrl.h>

#include <cstdio>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "imagelib/fileio.h"
#include "imagelib/textutil.h"
#include "platform/framework_win.h"
#include "platform/handheld.h"
#include "shell/language.h"

namespace {

// The program's language. The main thread opens it and chooses sections;
// any thread may look texts up. Lookups share the lock; changes take it
// alone. No lock is held while a window message is sent.
LanguageState g_language;
std::shared_mutex g_languageLock;

using ReadLock = std::shared_lock<std::shared_mutex>;
using WriteLock = std::unique_lock<std::shared_mutex>;

bool FindInSectionLocked(const char* key, std::string* text) {
    ReadLock hold(g_languageLock);
    return g_language.FindInSection(key, text);
}

bool FindStringLocked(const char* key, std::string* text) {
    ReadLock hold(g_languageLock);
    return g_language.FindString(key, text);
}

bool FindValueLocked(size_t section, const std::string& key, std::string* text) {
    ReadLock hold(g_languageLock);
    return g_language.file().FindValue(section, key, text);
}

std::wstring AnsiToWide(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), &wide[0], n);
    return wide;
}

std::string WideToAnsi(const wchar_t* text) {
    const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string narrow(size_t(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &narrow[0], n, nullptr, nullptr);
    narrow.resize(size_t(n - 1));
    return narrow;
}

// Copies as much of `text` as fits, always terminated.
void CopyOut(const std::wstring& text, wchar_t* buffer, int capacity) {
    if (buffer && capacity >= 1) CopyWideTextBounded(buffer, size_t(capacity), text.c_str());
}

}  // namespace

void LngProgramFolder(wchar_t* buffer, int capacity) {
    wchar_t module[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring folder(module, n < MAX_PATH ? n : 0);
    const size_t slash = folder.find_last_of(L'\\');
    folder.resize(slash == std::wstring::npos ? 0 : slash + 1);
    CopyOut(folder, buffer, capacity);
}

int LngOpen(const char* code) {
    // The framework's dialogs translate through the language module from now on.
    SetFrameworkTextLookup(LngGetString);
    wchar_t folder[MAX_PATH];
    LngProgramFolder(folder, MAX_PATH);
    std::wstring path = folder;
    for (const char* c = code; c && *c; ++c) path.push_back(wchar_t(static_cast<unsigned char>(*c)));
    path += L".lng";
    WriteLock hold(g_languageLock);
    return g_language.Open(path.c_str(), code) ? 1 : 0;
}

void LngClose() {
    WriteLock hold(g_languageLock);
    g_language.Close();
}

const wchar_t* LngCurrentLanguage() {
    // A copy per thread: the code may change while a caller still reads it.
    thread_local wchar_t code[3];
    ReadLock hold(g_languageLock);
    CopyWideTextBounded(code, 3, g_language.CurrentCode().c_str());
    return code;
}

int LngSetLanguage(const wchar_t* code) {
    WriteLock hold(g_languageLock);
    return g_language.SetLanguage(code) ? 1 : 0;
}

size_t LngSelectSection(const char* name) {
    WriteLock hold(g_languageLock);
    return g_language.SelectSection(name);
}

size_t LngFindSection(const char* name) {
    ReadLock hold(g_languageLock);
    return g_language.IsOpen() ? g_language.file().FindSection(name) : 0;
}

int LngFindValue(const char* key, wchar_t* buffer, int capacity) {
    std::string text;
    if (!FindInSectionLocked(key, &text)) return 0;
    CopyOut(AnsiToWide(text), buffer, capacity);
    return 1;
}

void LngSetItemText(HWND dialog, int itemId, const char* key) {
    std::string text;
    if (FindInSectionLocked(key, &text)) SetDlgItemTextW(dialog, itemId, AnsiToWide(text).c_str());
}

int LngGetString(HINSTANCE instance, UINT stringId, const char* key, wchar_t* buffer, int capacity) {
    std::string text;
    if (key && FindStringLocked(key, &text)) {
        CopyOut(AnsiToWide(text), buffer, capacity);
        return 1;
    }
    return LoadStringW(instance, stringId, buffer, capacity);
}

int LngGetFormat(HINSTANCE instance, UINT stringId, const char* key, wchar_t* buffer, int capacity) {
    const int length = LoadStringW(instance, stringId, buffer, capacity);
    std::string text;
    if (key && FindStringLocked(key, &text)) {
        const std::wstring translated = AnsiToWide(text);
        if (TranslatedFormatUsable(length > 0 ? buffer : L"", translated, size_t(capacity))) {
            CopyOut(translated, buffer, capacity);
            return 1;
        }
    }
    return length;
}

namespace {

constexpr int kMenuTextCapacity = 256;
constexpr int kMaxMenuItems = 256;

void TranslateMenuItems(HMENU menu, size_t section) {
    for (int position = 0; position < kMaxMenuItems; ++position) {
        wchar_t text[kMenuTextCapacity] = {};
        MENUITEMINFOW item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_SUBMENU;
        item.dwTypeData = text;
        item.cch = kMenuTextCapacity;
        if (!GetMenuItemInfoW(menu, UINT(position), TRUE, &item)) break;
        if (item.fType & MFT_SEPARATOR) continue;
        std::string translation;
        if (text[0] && FindValueLocked(section, WideToAnsi(text), &translation)) {
            const std::wstring wide = AnsiToWide(translation);
            MENUITEMINFOW change = {};
            change.cbSize = sizeof change;
            change.fMask = MIIM_STRING;
            change.dwTypeData = const_cast<wchar_t*>(wide.c_str());
            SetMenuItemInfoW(menu, UINT(position), TRUE, &change);
        }
        if (item.hSubMenu) TranslateMenuItems(item.hSubMenu, section);
    }
}

void TranslateBarButtons(HWND bar, size_t section) {
    const int count = int(SendMessageW(bar, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TBBUTTON button = {};
        if (!SendMessageW(bar, TB_GETBUTTON, WPARAM(i), reinterpret_cast<LPARAM>(&button))) continue;
        // The text from the bar's string list (TB_GETBUTTONINFOW reads only
        // texts given as pointers).
        const LRESULT length = SendMessageW(bar, TB_GETBUTTONTEXTW, WPARAM(button.idCommand), 0);
        if (length <= 0 || length >= kMenuTextCapacity) continue;
        wchar_t text[kMenuTextCapacity] = {};
        SendMessageW(bar, TB_GETBUTTONTEXTW, WPARAM(button.idCommand), reinterpret_cast<LPARAM>(text));
        std::string translation;
        if (button.iString <= 0 || !text[0] ||
            !FindValueLocked(section, WideToAnsi(text), &translation))
            continue;
        const LRESULT index = MenuBarAddString(bar, AnsiToWide(translation).c_str());
        if (index < 0) continue;
        button.iString = index;
        SendMessageW(bar, TB_DELETEBUTTON, WPARAM(i), 0);
        SendMessageW(bar, TB_INSERTBUTTONW, WPARAM(i), reinterpret_cast<LPARAM>(&button));
    }
}

}  // namespace

void LngTranslateMenu(HWND menuBar, HMENU menu) {
    size_t section;
    {
        ReadLock hold(g_languageLock);
        if (!g_language.IsOpen()) return;
        section = g_language.file().FindSection("Menu");
    }
    if (menu) TranslateMenuItems(menu, section);
    if (menuBar) TranslateBarButtons(menuBar, section);
}

void LngListLanguages(HWND comboBox) {
    // Items are found again by text at the end: a sorted combo box moves them.
    std::wstring chosen = L"en - English";
    SendMessageW(comboBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(chosen.c_str()));
    wchar_t folder[MAX_PATH];
    LngProgramFolder(folder, MAX_PATH);
    const std::wstring pattern = std::wstring(folder) + L"*.lng";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || wcscmp(found.cFileName, L".") == 0) continue;
            const std::wstring path = std::wstring(folder) + found.cFileName;
            FILE* f = OpenWidePath(path.c_str(), "rb");
            if (!f) continue;
            char first[kLanguageNameLineMaxBytes + 1] = {};
            const size_t n = fread(first, 1, kLanguageNameLineMaxBytes, f);
            fclose(f);
            const std::string name = LanguageDisplayName(std::string_view(first, n));
            if (name.empty() || wcslen(found.cFileName) < 2) continue;
            const std::wstring code(found.cFileName, 2);
            const std::wstring item = code + L" - " + AnsiToWide(name);
            const LRESULT index = SendMessageW(comboBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
            if (index >= 0 && _wcsnicmp(code.c_str(), LngCurrentLanguage(), 2) == 0) chosen = item;
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    const LRESULT selection =
        SendMessageW(comboBox, CB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(chosen.c_str()));
    SendMessageW(comboBox, CB_SETCURSEL, WPARAM(selection < 0 ? 0 : selection), 0);
}
