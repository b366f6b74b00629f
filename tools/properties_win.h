// The image properties sheet: a picture file's facts on three pages
// ("Infos", "EXIF", "IPTC"), stepping through a list of files. Entry point of
// the main window's properties command: RunPropertiesSheet.
#pragma once

#include <windows.h>

#include <cstdint>

// `paths`: `count` wide paths; the sheet opens on `start`. Nothing is shown
// when the start file's information cannot be read. Returns 0.
int RunPropertiesSheet(HWND owner, const wchar_t* const* paths, uint32_t count, uint32_t start);
