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
int ReadGifEntry(FileSource* source, LoadContext* ctx);   // gif.cpp
int ReadTargaEntry(FileSource* source, LoadContext* ctx); // tga.cpp
int ReadPcxEntry(FileSource* source, LoadContext* ctx);   // pcx.cpp
int ReadPsdEntry(FileSource* source, LoadContext* ctx);   // psd.cpp
int ReadTiff(FileSource* source, LoadContext* ctx);       // tiff.cpp
int ReadCameraRaw(FileSource* source, LoadContext* ctx);  // raw.cpp

// Readers set these to their entry functions once they exist.
constexpr FormatReadFn kReadJpeg = ReadJpeg;
constexpr FormatReadFn kReadTga = ReadTargaEntry;
constexpr FormatReadFn kReadBmp = ReadBmpEntry;
constexpr FormatReadFn kReadGif = ReadGifEntry;
constexpr FormatReadFn kReadPng = ReadPngEntry;
constexpr FormatReadFn kReadTiff = ReadTiff;
constexpr FormatReadFn kReadPcx = ReadPcxEntry;
constexpr FormatReadFn kReadPnm = ReadPnmEntry;
constexpr FormatReadFn kReadIco = ReadIcon;
constexpr FormatReadFn kReadPsd = ReadPsdEntry;
constexpr FormatReadFn kReadCrw = ReadCameraRaw;
constexpr FormatReadFn kReadRaw = ReadCameraRaw;
