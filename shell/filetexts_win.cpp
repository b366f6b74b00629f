#include "shell/filetexts_win.h"

#include <cwchar>
#include <string>

#include "imagelib/textutil.h"
#include "resources/main.rh"
#include "shell/language_win.h"
#include "shell/viewerlogic.h"

namespace {

// The user's date order and separators, read from the locale once.
struct DateStyle {
    wchar_t order[8] = L"";
    wchar_t dateSeparator[8] = L"";
    wchar_t timeSeparator[8] = L"";
    bool read = false;
};

DateStyle g_dateStyle;

void CopyText(wchar_t* destination, int capacity, const std::wstring& text) {
    if (capacity > 0) CopyWideTextBounded(destination, size_t(capacity), text.c_str());
}

}  // namespace

void FormatFileDate(const SYSTEMTIME& time, wchar_t* text, int capacity) {
    DateStyle& style = g_dateStyle;
    if (!style.read) {
        if (!GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IDATE, style.order, 8)) wcscpy(style.order, L"1");
        if (!GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDATE, style.dateSeparator, 8))
            wcscpy(style.dateSeparator, L"/");
        if (!GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, style.timeSeparator, 8))
            wcscpy(style.timeSeparator, L":");
        style.read = true;
    }
    const std::wstring s = FormatDateText(style.order, style.dateSeparator, style.timeSeparator, time.wYear,
                                          time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond);
    CopyText(text, capacity, s);
}

void FormatFileSize(uint64_t size, wchar_t* number, int numberCapacity, wchar_t* unit, int unitCapacity) {
    std::wstring n;
    static const UINT ids[] = {IDS_BYTES, IDS_KB, IDS_MB, IDS_GB};
    static const char* keys[] = {"IDS_BYTES", "IDS_KB", "IDS_MB", "IDS_GB"};
    const SizeUnit u = FormatSizeNumber(size, &n);
    wchar_t unitText[64] = L"";
    LngGetString(GetModuleHandleW(nullptr), ids[u], keys[u], unitText, 64);
    CopyText(number, numberCapacity, n);
    CopyText(unit, unitCapacity, unitText);
}
