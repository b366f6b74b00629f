// Language files: see language.h.
#include "shell/language.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

#include "imagelib/fileio.h"

namespace {

inline char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

inline bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

inline bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

bool LanguageFile::Load(const wchar_t* path) {
    Clear();
    FILE* f = OpenWidePath(path, "rb");
    if (!f) return false;
    std::string bytes;
    char chunk[16384];
    bool ok = true;
    for (;;) {
        const size_t n = std::fread(chunk, 1, sizeof chunk, f);
        if (n > kLanguageFileMaxBytes - bytes.size()) {
            ok = false;
            break;
        }
        bytes.append(chunk, n);
        if (n < sizeof chunk) {
            ok = !std::ferror(f);
            break;
        }
    }
    std::fclose(f);
    if (!ok) return false;
    LoadFromMemory(std::move(bytes));
    return true;
}

void LanguageFile::LoadFromMemory(std::string bytes) {
    data_ = std::move(bytes);
    open_ = true;
}

void LanguageFile::Clear() {
    data_.clear();
    data_.shrink_to_fit();
    open_ = false;
}

bool LanguageFile::NextLine(size_t* pos, std::string_view* line) const {
    while (*pos < data_.size()) {
        const size_t start = *pos;
        const size_t nl = data_.find('\n', start);
        size_t end = nl == std::string::npos ? data_.size() : nl;
        *pos = nl == std::string::npos ? data_.size() : nl + 1;
        if (end > start && data_[end - 1] == '\r') --end;
        if (end - start > kLanguageLineMaxBytes) continue;
        *line = std::string_view(data_).substr(start, end - start);
        return true;
    }
    return false;
}

size_t LanguageFile::FindSection(const char* name) const {
    const std::string_view wanted(name);
    size_t pos = 0;
    std::string_view line;
    while (NextLine(&pos, &line)) {
        if (line.size() < wanted.size() + 1 || line[0] != '[') continue;
        if (line.substr(1, wanted.size()) != wanted) continue;
        const std::string_view rest = line.substr(1 + wanted.size());
        if (rest.empty() || rest[0] == ']' || IsBlankOrTab(rest[0])) return pos;
    }
    return End();
}

bool LanguageFile::FindValue(size_t pos, std::string_view key, std::string* text) const {
    std::string_view line;
    while (NextLine(&pos, &line)) {
        if (!line.empty() && line[0] == '[') return false;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        size_t keyEnd = eq;
        while (keyEnd > 1 && IsBlankOrTab(line[keyEnd - 1])) --keyEnd;
        if (keyEnd == 0 || !EqualNoCase(line.substr(0, keyEnd), key)) continue;

        size_t begin = eq + 1;
        while (begin < line.size() && IsBlankOrTab(line[begin])) ++begin;
        size_t end = line.find('\r', begin);
        if (end == std::string_view::npos) end = line.size();
        while (end > begin && line[end - 1] == ' ') --end;
        if (end - begin < 2) continue;

        text->clear();
        for (size_t i = begin; i < end; ++i) {
            if (line[i] == '\\' && i + 1 < end && line[i + 1] == 'n') {
                text->append("\r\n");
                ++i;
            } else {
                text->push_back(line[i]);
            }
        }
        return true;
    }
    return false;
}

bool LanguageState::Open(const wchar_t* path, const char* code) {
    Close();
    const bool validCode = code && IsAsciiLetter(code[0]) && IsAsciiLetter(code[1]) && code[2] == '\0';
    if (!validCode || !file_.Load(path)) {
        code_ = L"en";
        return false;
    }
    SetCode(code);
    stringSection_ = file_.FindSection("String");
    return true;
}

void LanguageState::OpenFromMemory(std::string bytes, const char* code) {
    Close();
    file_.LoadFromMemory(std::move(bytes));
    SetCode(code);
    stringSection_ = file_.FindSection("String");
}

void LanguageState::Close() {
    file_.Clear();
    currentSection_ = 0;
    stringSection_ = 0;
    code_ = L"en";
}

void LanguageState::SetCode(const char* code) {
    code_.clear();
    for (size_t i = 0; i < 2 && code[i]; ++i) code_.push_back(wchar_t(FoldAscii(code[i])));
}

bool LanguageState::SetLanguage(const wchar_t* code) {
    if (!code) return false;
    const size_t n = code[0] == L'\0' ? 0 : (code[1] == L'\0' ? 1 : 2);
    if (code_.compare(0, 2, code, n) == 0 && code_.size() == n) return false;
    code_.assign(code, n);
    return true;
}

size_t LanguageState::SelectSection(const char* name) {
    if (!file_.IsOpen()) return 0;
    currentSection_ = file_.FindSection(name);
    return currentSection_;
}

bool LanguageState::FindInSection(std::string_view key, std::string* text) const {
    return file_.IsOpen() && file_.FindValue(currentSection_, key, text);
}

bool LanguageState::FindString(std::string_view key, std::string* text) const {
    return file_.IsOpen() && file_.FindValue(stringSection_, key, text);
}

std::string LanguageDisplayName(std::string_view firstBytes) {
    const std::string_view line = firstBytes.substr(0, kLanguageNameLineMaxBytes);
    size_t i = 0;
    while (i < line.size() && !IsBlankOrTab(line[i]) && line[i] != '=' && line[i] != '\r' && line[i] != '\n') ++i;
    if (i >= line.size() || line[i] == '\r' || line[i] == '\n') return std::string();
    ++i;  // the one delimiter
    size_t end = i;
    while (end < line.size() && line[end] != '\r' && line[end] != '\n') ++end;
    return std::string(line.substr(i, end - i));
}

namespace {

// Steps over the digits of a width or precision; false when they give more
// than kFormatWidthMax.
bool SkipSmallNumber(const wchar_t** f) {
    unsigned value = 0;
    for (; **f >= L'0' && **f <= L'9'; ++*f) {
        value = value * 10 + unsigned(**f - L'0');
        if (value > kFormatWidthMax) return false;
    }
    return true;
}

// The argument kinds a printf format consumes, one short code per argument;
// false for a format that cannot be trusted.
bool FormatSignature(const wchar_t* f, std::vector<std::wstring>* kinds) {
    kinds->clear();
    if (!f) return true;
    while (*f) {
        if (*f++ != L'%') continue;
        if (*f == L'%') {
            ++f;
            continue;
        }
        while (*f && std::wcschr(L"-+ #0'", *f)) ++f;
        if (*f == L'*') {
            kinds->push_back(L"*");
            ++f;
        } else if (!SkipSmallNumber(&f)) {
            return false;
        }
        if (*f == L'$') return false;  // positional arguments
        if (*f == L'.') {
            ++f;
            if (*f == L'*') {
                kinds->push_back(L"*");
                ++f;
            } else if (!SkipSmallNumber(&f)) {
                return false;
            }
        }
        std::wstring length;
        static const wchar_t* const kLengths[] = {L"I64", L"I32", L"hh", L"ll", L"h", L"l", L"L", L"q",
                                                  L"j",   L"z",   L"t",  L"I",  L"w"};
        for (const wchar_t* len : kLengths) {
            const size_t n = std::wcslen(len);
            if (std::wcsncmp(f, len, n) == 0) {
                length = len;
                f += n;
                break;
            }
        }
        const wchar_t c = *f;
        if (c == L'\0') return false;
        ++f;
        wchar_t kind;
        if (std::wcschr(L"diouxXcC", c)) kind = L'i';
        else if (std::wcschr(L"eEfFgGaA", c)) kind = L'f';
        else if (c == L's' || c == L'S' || c == L'p') kind = c;
        else return false;  // %n and anything unknown
        kinds->push_back(length + L':' + kind);
    }
    return true;
}

}  // namespace

bool FormatConversionsMatch(const wchar_t* builtin, const wchar_t* translated) {
    std::vector<std::wstring> a, b;
    if (!FormatSignature(builtin, &a) || !FormatSignature(translated, &b)) return false;
    return a == b;
}

bool TranslatedFormatUsable(const wchar_t* builtin, const std::wstring& translated, size_t capacity) {
    return translated.size() < capacity && FormatConversionsMatch(builtin, translated.c_str());
}

std::wstring FormatWithNumber(const wchar_t* format, int value) {
    if (!format) return std::wstring();
    if (!FormatConversionsMatch(L"%d", format)) return format;
    // The one conversion gives at most kFormatWidthMax characters or its
    // number's digits and sign; the rest of the text at most itself.
    std::vector<wchar_t> text(std::wcslen(format) + kFormatWidthMax + 16, L'\0');
    if (std::swprintf(text.data(), text.size(), format, value) < 0) return format;
    return text.data();
}
