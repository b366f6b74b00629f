// Where a ZIP entry's data come from: a file by name, an open stream, a
// memory block, or nothing (a folder). The source tells the entry's external
// attributes and DOS timestamp, and keeps the running CRC-32 and count of
// the bytes delivered.
//
// Portable: no platform headers.
#pragma once

#include <cstdint>
#include <cstdio>

struct PictureFile;
struct ZipWriter;

// External attributes of sources without file information.
constexpr uint32_t kZipStreamAttributes = 0x80000000u;  // a regular file, no permissions
constexpr uint32_t kZipFolderAttributes = 0x41C00010u;  // a folder, owner rwx, DOS folder bit

struct ZipSource {
    uint32_t attributes;     // DOS bits in the low byte, a Unix mode in the high 16 bits
    uint32_t dosTime;        // date in the high 16 bits, local time
    int32_t size;            // announced size, -1 when unknown
    uint32_t bytesRead;
    uint32_t crc;
    PictureFile* data;        // the bytes: a stream or a memory block (imagelib's file layer); null for a folder
    FILE* ownedStream;        // a file opened here by name; closed with the source
    uint32_t compressedSize;  // filled by the writer
    uint8_t readError;        // a read failed: the data ended early
    uint8_t tooLarge;         // the data reached 2 GiB
};

// 0, kZipBadArguments (no name), kZipCannotOpen, kZipTooLarge (2 GiB or
// more).
uint32_t OpenSourceFile(ZipWriter* writer, const wchar_t* fileName);
// A stream that can seek is read from its start with its file's attributes,
// size and time; one that cannot is read as it comes (length, when not 0,
// announces its size). 0, kZipBadArguments, kZipCannotOpen (no file
// information), kZipTooLarge.
uint32_t OpenSourceHandle(ZipWriter* writer, FILE* handle, uint32_t length);
// 0, kZipBadArguments (no block or 0 bytes), kZipTooLarge.
uint32_t OpenSourceMemory(ZipWriter* writer, const void* address, uint32_t length);
uint32_t OpenSourceFolder(ZipWriter* writer);
// Attributes (see ZipSource), size and local DOS timestamp of an open file
// or, without a handle, of the file or folder at `path`; the path, when
// known, lets the Windows attributes (hidden, system, archive) be read.
// 0 or kZipCannotOpen.
uint32_t GetSourceFileInfo(FILE* handle, const wchar_t* path, uint32_t* attributes, uint64_t* size, uint32_t* dosTime);

// The compressor's read callback: delivers up to `size` bytes, 0 at the end
// or on failure (then readError or tooLarge tells which).
uint32_t ReadSource(void* writer, uint8_t* buffer, uint32_t size);
// Lets go of the data and closes an owned stream. kZipSizeMismatch when a
// known size differs from the bytes read (the size becomes the count either
// way). Safe to call again.
uint32_t CloseSource(ZipWriter* writer);

// True for names whose suffix marks them as compressed already (".Z", ".zip",
// ".zoo", ".arc", ".lzh", ".arj", ".gz", ".tgz", in any case).
bool IsStoreOnlyName(const wchar_t* name);
