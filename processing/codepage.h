// Conversion of UTF-8 metadata texts to the system's 8-bit code page, in
// which the displays show metadata.
//
// Portable interface: codepage_win.cpp converts through the system's code
// page; codepage_posix.cpp takes Latin-1 as the system code page.
#pragma once

#include <cstddef>
#include <cstdint>

// A malloc'ed, zero-terminated code-page copy of `length` bytes of UTF-8,
// its length in *outLength; characters the code page lacks become '?'.
// Null when the text is not valid UTF-8 or memory runs out.
char* Utf8ToSystemCodePage(const char* text, size_t length, uint32_t* outLength);
