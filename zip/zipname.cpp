// Name conversion and path checks of the ZIP layer.
#include "zipname.h"

#include <cstdint>
#include <cwchar>

#include "imagelib/fileio.h"
#include "imagelib/textutil.h"
#include "zip/zip.h"

namespace {

// Windows-1252 bytes 0x80-0x9F; the five unassigned ones map to themselves.
const uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

wchar_t Cp1252ToWide(uint8_t c) { return (c >= 0x80 && c < 0xA0) ? wchar_t(kCp1252High[c - 0x80]) : wchar_t(c); }

}  // namespace

std::string EncodeZipName(const wchar_t* name, bool* nonAscii) {
    *nonAscii = false;
    for (const wchar_t* p = name; *p; ++p)
        if (uint32_t(*p) >= 0x80) *nonAscii = true;
    return WideToUtf8(name);
}

bool EncodeCp1252Name(const wchar_t* name, std::string* out) {
    out->clear();
    for (const wchar_t* p = name; *p; ++p) {
        const uint32_t c = uint32_t(*p);
        if (c < 0x80 || (c >= 0xA0 && c < 0x100)) {
            *out += char(c);
            continue;
        }
        int found = -1;
        for (int i = 0; i < 32; ++i)
            if (kCp1252High[i] == c) found = i;
        if (found < 0) return false;
        *out += char(0x80 + found);
    }
    return true;
}

void DecodeZipName(const char* stored, bool utf8, wchar_t* out, size_t capacity) {
    if (capacity == 0) return;
    if (utf8) {
        const std::wstring wide = Utf8ToWide(stored);
        CopyWideTextBounded(out, capacity, wide.c_str());
        return;
    }
    size_t n = 0;
    for (const char* p = stored; *p && n + 1 < capacity; ++p) out[n++] = Cp1252ToWide(static_cast<uint8_t>(*p));
    out[n] = L'\0';
}

bool IsSafeRelativeName(const wchar_t* name) {
    if (!name || !*name || IsZipSeparator(name[0])) return false;
    if (std::wcschr(name, L':')) return false;
    const wchar_t* part = name;
    for (const wchar_t* p = name;; ++p) {
        if (*p == L'\0' || IsZipSeparator(*p)) {
            if (p - part == 2 && part[0] == L'.' && part[1] == L'.') return false;
            if (IsReservedFileName(part, size_t(p - part))) return false;
            if (*p == L'\0') return true;
            part = p + 1;
        }
    }
}

bool JoinZipPath(const wchar_t* base, const wchar_t* name, size_t nameLength, wchar_t* out) {
    const size_t baseLength = std::wcslen(base);
    if (baseLength + nameLength + 1 > size_t(kZipMaxPath)) return false;
    std::wmemcpy(out, base, baseLength);
    std::wmemcpy(out + baseLength, name, nameLength);
    out[baseLength + nameLength] = L'\0';
    return true;
}
