// The reader entries of the format table. Each reader lives in its own file
// and is reached only through its table row. A reader not built yet is a
// null entry here.
#pragma once

#include "../formats.h"

int ReadBmpEntry(FileSource* source, LoadContext* ctx);   // bmp.cpp
int ReadPnmEntry(FileSource* source, LoadContext* ctx);   // pnm.cpp
int ReadJpeg(FileSource* source, LoadContext* ctx);   // jpeg.cpp
int ReadPngEntry(FileSource* source, LoadContext* ctx);  // png.cpp
int ReadIcon(FileSource* source, LoadContext* ctx);      // ico.cpp

// Readers set these to their entry functions once they exist.
constexpr FormatReadFn kReadJpeg = ReadJpeg;
constexpr FormatReadFn kReadTga = nullptr;
constexpr FormatReadFn kReadBmp = ReadBmpEntry;
constexpr FormatReadFn kReadGif = nullptr;
constexpr FormatReadFn kReadPng = ReadPngEntry;
constexpr FormatReadFn kReadTiff = nullptr;
constexpr FormatReadFn kReadPcx = nullptr;
constexpr FormatReadFn kReadPnm = ReadPnmEntry;
constexpr FormatReadFn kReadIco = ReadIcon;
constexpr FormatReadFn kReadPsd = nullptr;
constexpr FormatReadFn kReadCrw = nullptr;
constexpr FormatReadFn kReadRaw = nullptr;
