#include "shell/sounddialog_win.h"

#include <commdlg.h>

#include <cwchar>
#include <string>
#include <vector>

#include "resources/albumwizard.rh"
#include "shell/language_win.h"

bool ChooseSoundFile(HWND owner, const wchar_t* current, wchar_t* file, DWORD capacity) {
    if (!file || capacity == 0) return false;
    std::vector<wchar_t> folder(capacity, L'\0');
    if (current) wcsncpy(folder.data(), current, capacity - 1);
    if (wchar_t* cut = std::wcsrchr(folder.data(), L'\\'))
        cut[1] = 0;
    else
        folder[0] = 0;
    wchar_t filterName[128] = L"";
    LngGetString(GetModuleHandleW(nullptr), IDS_SOUNDFILENAME, "IDS_SOUNDFILENAME", filterName, 100);
    const std::wstring filter = std::wstring(filterName) + L'\0' + L"*.wav;*.mp3;*.wma;*.ogg" + L'\0' + L'\0';
    file[0] = 0;
    OPENFILENAMEW open = {};
    open.lStructSize = sizeof open;
    open.hwndOwner = owner;
    open.lpstrFilter = filter.c_str();
    open.nFilterIndex = 1;
    open.lpstrFile = file;
    open.nMaxFile = capacity;
    open.lpstrInitialDir = folder.data();
    open.lpstrTitle = L"";
    open.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR;
    return GetOpenFileNameW(&open) != 0;
}
