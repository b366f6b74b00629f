// Entry names and extraction paths.
//
// Stored names are 8-bit: UTF-8 (with the entry's UTF-8 flag, bit 11) or,
// without the flag, Windows-1252. Extraction names are relative to a base
// folder and must not leave it.
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <string>

// General-purpose flag bit: the name is UTF-8.
constexpr unsigned kZipUtf8Flag = 0x800;

// The stored form of a wide name: UTF-8. *nonAscii tells whether the name
// needs the UTF-8 flag.
std::string EncodeZipName(const wchar_t* name, bool* nonAscii);
// The Windows-1252 form, false when a character has none.
bool EncodeCp1252Name(const wchar_t* name, std::string* out);
// A stored name as wide text, at most capacity - 1 characters, terminated.
void DecodeZipName(const char* stored, bool utf8, wchar_t* out, size_t capacity);

// True for a relative name that stays below its base folder and names files
// there: not empty, no leading separator, no ":" (drive letters, streams), no
// ".." component and no component that Windows takes for a device or strips
// (IsReservedFileName).
bool IsSafeRelativeName(const wchar_t* name);
// base + the first nameLength characters of name into out (kZipMaxPath
// characters); false when the result does not fit.
bool JoinZipPath(const wchar_t* base, const wchar_t* name, size_t nameLength, wchar_t* out);
inline bool IsZipSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }
