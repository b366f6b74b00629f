// The texts of a file's date and size as the browser shows them: the date in
// the user's locale order and separators, the size as a number and its
// translated unit.
//
// Win32 only.
#pragma once

#include <windows.h>

#include <cstdint>

void FormatFileDate(const SYSTEMTIME& time, wchar_t* text, int capacity);
void FormatFileSize(uint64_t size, wchar_t* number, int numberCapacity, wchar_t* unit, int unitCapacity);
