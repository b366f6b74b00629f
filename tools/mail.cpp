// The recipient and attachment name rules of e-mail sending.
#include "tools/mail.h"

std::vector<std::wstring> MailSplitAddresses(const wchar_t* text) {
    std::vector<std::wstring> addresses;
    if (!text) return addresses;
    const wchar_t* p = text;
    while (*p) {
        while (*p == L' ') ++p;
        if (!*p) break;
        const wchar_t* start = p;
        while (*p && *p != L';' && *p != L' ') ++p;
        if (p > start) addresses.emplace_back(start, size_t(p - start));
        if (*p) ++p;
    }
    return addresses;
}

size_t MailCountAddresses(const wchar_t* text) { return MailSplitAddresses(text).size(); }

std::wstring MailAttachmentName(const wchar_t* name) {
    if (!name) return std::wstring();
    const std::wstring whole(name);
    const size_t cut = whole.find_last_of(L"\\/");
    return cut == std::wstring::npos ? whole : whole.substr(cut + 1);
}
