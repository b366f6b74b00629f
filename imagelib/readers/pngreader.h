// The PNG reader (with APNG frames), also used by the icon reader for icon
// entries stored as PNG.
//
// Portable: no platform headers; libpng is reached only from png.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

struct FileSource;
struct LoadContext;
struct PictureFile;

// Reads the PNG that starts at the file's current position and hands it to
// the load's callbacks. `description` null: a plain PNG load (APNG frames and
// the " (Interlaced)" suffix apply); otherwise the text names the picture in
// the load's information (the icon reader passes "ICO"). Returns a load
// result code.
int ReadPng(PictureFile* file, LoadContext* ctx, const char* description);

// The format-table entry: opens the load's file and reads it as a PNG.
int ReadPngEntry(FileSource* source, LoadContext* ctx);

// Decodes the text of a "Raw profile type iptc" chunk: a line feed, the
// profile name, a line feed, optional blanks, a decimal byte count, then the
// bytes as lower-case hexadecimal digits (other characters skipped). Returns
// a malloc'd block of *length bytes, or null when the text is malformed, the
// count is 0, or the digits run out first.
uint8_t* DecodeRawProfileIptc(const char* text, size_t textLength, uint32_t* length);
