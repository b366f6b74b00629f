// The image properties sheet: a picture file's facts on three pages
// ("Infos", "EXIF", "IPTC"), stepping through a list of files. Entry point of
// the main window's properties command: RunPropertiesSheet.
#pragma once

#include <windows.h>

#include <cstdint>

struct ImageInfo;

// A file's information with its metadata and comment, from one
// information-only read. False when the file cannot be read; the record is
// freed with FreePictureInfo either way.
bool ReadFacts(const wchar_t* path, ImageInfo* info);

// `paths`: `count` wide paths; the sheet opens on `start`. Nothing is shown
// when the start file's information cannot be read. Returns 0.
int RunPropertiesSheet(HWND owner, const wchar_t* const* paths, uint32_t count, uint32_t start);
