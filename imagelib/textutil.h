// Small ASCII text helpers. Case folding touches only A-Z; every other
// byte (128 and above included) compares as it is.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

int CompareTextNoCase(const char* a, const char* b);
char* DuplicateText(const char* text);
// The first n characters (fewer when the text is shorter), always terminated.
char* DuplicateTextN(const char* text, size_t n);
const char* FindTextNoCase(const char* text, const char* pattern);
wchar_t* LowerWideText(wchar_t* text);
wchar_t* DuplicateWideText(const wchar_t* text);

// Copies at most capacity - 1 characters and always terminates (capacity >= 1).
void CopyTextBounded(char* dst, size_t capacity, const char* src);
void CopyWideTextBounded(wchar_t* dst, size_t capacity, const wchar_t* src);

// Wide text <-> UTF-8 (UTF-16 on Windows, UTF-32 elsewhere). Invalid
// sequences become U+FFFD.
std::string WideToUtf8(const wchar_t* text);
std::wstring Utf8ToWide(const char* text);
// As WideToUtf8 into `dst` of `capacity` bytes (at least 1), cut before the
// first character that does not fit, always terminated; allocates nothing.
// Returns the bytes written.
size_t WideToUtf8Bounded(const wchar_t* text, char* dst, size_t capacity);

// Bytes as lower-case hex digits, two per byte.
std::string HexText(const uint8_t* bytes, size_t count);
// The bytes of a text of hex digit pairs (either case). False, with `bytes`
// emptied, for an odd length or a character that is no hex digit.
bool ParseHexText(std::string_view text, std::vector<uint8_t>* bytes);
