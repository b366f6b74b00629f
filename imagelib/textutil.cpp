// ASCII text helpers and wide/UTF-8 conversion.
#include "textutil.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

static inline unsigned char FoldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

int CompareTextNoCase(const char* a, const char* b) {
    const auto* p = reinterpret_cast<const unsigned char*>(a);
    const auto* q = reinterpret_cast<const unsigned char*>(b);
    for (;; ++p, ++q) {
        const int d = int(FoldAscii(*p)) - int(FoldAscii(*q));
        if (d != 0 || *p == 0) return d;
    }
}

char* DuplicateText(const char* text) {
    const size_t n = std::strlen(text);
    auto* copy = static_cast<char*>(std::malloc(n + 1));
    if (copy) std::memcpy(copy, text, n + 1);
    return copy;
}

char* DuplicateTextN(const char* text, size_t n) {
    const size_t len = strnlen(text, n);
    auto* copy = static_cast<char*>(std::malloc(len + 1));
    if (!copy) return nullptr;
    std::memcpy(copy, text, len);
    copy[len] = '\0';
    return copy;
}

const char* FindTextNoCase(const char* text, const char* pattern) {
    if (!text || !pattern || !*text) return nullptr;
    if (!*pattern) return text;
    for (const char* start = text; *start; ++start) {
        const char* s = start;
        const char* p = pattern;
        while (*s && *p && FoldAscii(static_cast<unsigned char>(*s)) == FoldAscii(static_cast<unsigned char>(*p))) {
            ++s;
            ++p;
        }
        if (!*p) return start;
        if (!*s) return nullptr;
    }
    return nullptr;
}

wchar_t* LowerWideText(wchar_t* text) {
    for (wchar_t* p = text; *p; ++p)
        if (*p >= L'A' && *p <= L'Z') *p = wchar_t(*p + (L'a' - L'A'));
    return text;
}

wchar_t* DuplicateWideText(const wchar_t* text) {
    const size_t n = std::wcslen(text);
    auto* copy = static_cast<wchar_t*>(std::malloc((n + 1) * sizeof(wchar_t)));
    if (copy) std::memcpy(copy, text, (n + 1) * sizeof(wchar_t));
    return copy;
}

void CopyTextBounded(char* dst, size_t capacity, const char* src) {
    if (capacity == 0) return;
    const size_t n = src ? strnlen(src, capacity - 1) : 0;
    if (n) std::memcpy(dst, src, n);
    dst[n] = '\0';
}

void CopyWideTextBounded(wchar_t* dst, size_t capacity, const wchar_t* src) {
    if (capacity == 0) return;
    size_t n = 0;
    if (src)
        while (n + 1 < capacity && src[n]) ++n;
    if (n) std::memcpy(dst, src, n * sizeof(wchar_t));
    dst[n] = L'\0';
}

// The UTF-8 bytes of one code point; returns their count (1..4).
static size_t EncodeUtf8(uint32_t cp, char out[4]) {
    if (cp < 0x80) {
        out[0] = char(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = char(0xC0 | (cp >> 6));
        out[1] = char(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = char(0xE0 | (cp >> 12));
        out[1] = char(0x80 | ((cp >> 6) & 0x3F));
        out[2] = char(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = char(0xF0 | (cp >> 18));
    out[1] = char(0x80 | ((cp >> 12) & 0x3F));
    out[2] = char(0x80 | ((cp >> 6) & 0x3F));
    out[3] = char(0x80 | (cp & 0x3F));
    return 4;
}

// The code point at *p (a surrogate pair on UTF-16), moving *p past it.
static uint32_t NextWideCodePoint(const wchar_t*& p) {
    uint32_t cp = uint32_t(*p++);
    if constexpr (sizeof(wchar_t) == 2) {
        cp &= 0xFFFF;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            const uint32_t lo = uint32_t(*p) & 0xFFFF;
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                ++p;
                return 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
            }
            return 0xFFFD;
        }
        if (cp >= 0xDC00 && cp <= 0xDFFF) return 0xFFFD;
    } else if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0xFFFD;
    }
    return cp;
}

std::string WideToUtf8(const wchar_t* text) {
    std::string out;
    if (!text) return out;
    char bytes[4];
    for (const wchar_t* p = text; *p;) out.append(bytes, EncodeUtf8(NextWideCodePoint(p), bytes));
    return out;
}

size_t WideToUtf8Bounded(const wchar_t* text, char* dst, size_t capacity) {
    if (capacity == 0) return 0;
    size_t n = 0;
    char bytes[4];
    for (const wchar_t* p = text; p && *p;) {
        const size_t k = EncodeUtf8(NextWideCodePoint(p), bytes);
        if (n + k >= capacity) break;
        std::memcpy(dst + n, bytes, k);
        n += k;
    }
    dst[n] = '\0';
    return n;
}

static void AppendWide(std::wstring& out, uint32_t cp) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += wchar_t(0xD800 + (cp >> 10));
            out += wchar_t(0xDC00 + (cp & 0x3FF));
            return;
        }
    }
    out += wchar_t(cp);
}

std::wstring Utf8ToWide(const char* text) {
    std::wstring out;
    if (!text) return out;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        const unsigned char c = *p;
        int extra;
        uint32_t cp;
        if (c < 0x80) { cp = c; extra = 0; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
        else { AppendWide(out, 0xFFFD); ++p; continue; }
        ++p;
        bool bad = false;
        for (int i = 0; i < extra; ++i) {
            if ((*p & 0xC0) != 0x80) { bad = true; break; }
            cp = cp << 6 | (*p & 0x3F);
            ++p;
        }
        static const uint32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
        if (bad || cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
        AppendWide(out, cp);
    }
    return out;
}

std::string HexText(const uint8_t* bytes, size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

static int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseHexText(std::string_view text, std::vector<uint8_t>* bytes) {
    bytes->clear();
    if (text.size() % 2) return false;
    bytes->reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigitValue(text[i]), low = HexDigitValue(text[i + 1]);
        if (high < 0 || low < 0) {
            bytes->clear();
            return false;
        }
        bytes->push_back(uint8_t(high << 4 | low));
    }
    return true;
}
