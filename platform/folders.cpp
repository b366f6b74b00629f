// Shell folders, small icons and storage cards of the device.
#include "platform/internal.h"

#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <string>

#include "imagelib/textutil.h"

namespace {

constexpr const wchar_t* kPersonalFolder = L"\\My Documents";
constexpr const wchar_t* kCardPrefix = L"Storage Card";

struct CardSearch {
    std::vector<std::wstring> names;
    size_t next = 0;
};

bool TakeNextCard(CardSearch* search, CardInfo* card) {
    if (search->next >= search->names.size()) return false;
    CopyWideTextBounded(card->name, MAX_PATH, search->names[search->next++].c_str());
    return true;
}

}  // namespace

BOOL GetPersonalFolder(wchar_t* buffer, int capacity) {
    if (!buffer || capacity <= int(wcslen(kPersonalFolder))) return FALSE;
    wcscpy(buffer, kPersonalFolder);
    return TRUE;
}

// The shell knows only full paths; device paths are root-relative.
static std::wstring FullPath(const wchar_t* path) {
    wchar_t full[MAX_PATH];
    const DWORD n = GetFullPathNameW(path, MAX_PATH, full, nullptr);
    return n > 0 && n < MAX_PATH ? std::wstring(full) : std::wstring(path);
}

HIMAGELIST SystemSmallIcons() {
    SHFILEINFOW info = {};
    return reinterpret_cast<HIMAGELIST>(
        SHGetFileInfoW(FullPath(L"\\").c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
}

int SmallIconIndex(const wchar_t* path) {
    SHFILEINFOW info = {};
    if (!path || !SHGetFileInfoW(FullPath(path).c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON))
        return -1;
    return info.iIcon;
}

HANDLE FindFirstCardIn(const wchar_t* root, CardInfo* card) {
    if (!root || !card) return INVALID_HANDLE_VALUE;
    std::wstring pattern = root;
    if (pattern.empty() || pattern.back() != L'\\') pattern.push_back(L'\\');
    pattern += kCardPrefix;
    pattern += L'*';
    auto* search = new CardSearch;
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW(pattern.c_str(), &found);
    if (listing != INVALID_HANDLE_VALUE) {
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                _wcsnicmp(found.cFileName, kCardPrefix, wcslen(kCardPrefix)) == 0)
                search->names.push_back(found.cFileName);
        } while (FindNextFileW(listing, &found));
        FindClose(listing);
    }
    // The file system lists in no fixed order; cards come by name.
    std::sort(search->names.begin(), search->names.end());
    if (!TakeNextCard(search, card)) {
        delete search;
        return INVALID_HANDLE_VALUE;
    }
    return reinterpret_cast<HANDLE>(search);
}

HANDLE FindFirstCard(CardInfo* card) { return FindFirstCardIn(L"\\", card); }

BOOL FindNextCard(HANDLE search, CardInfo* card) {
    if (!search || search == INVALID_HANDLE_VALUE || !card) return FALSE;
    return TakeNextCard(static_cast<CardSearch*>(search), card) ? TRUE : FALSE;
}

BOOL FindCardClose(HANDLE search) {
    if (!search || search == INVALID_HANDLE_VALUE) return FALSE;
    delete static_cast<CardSearch*>(search);
    return TRUE;
}
