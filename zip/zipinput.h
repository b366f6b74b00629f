// The input source through which minizip reads an archive: an open stream
// (not owned), a file opened by name (owned) or a block of memory.
//
// Seeks and reads of a memory block never leave it. Positions of a stream are
// relative to where the stream stood when the source was opened, so an
// archive may begin part-way into a stream.
// Portable: no platform headers.
#pragma once

#include <cstdint>
#include <cstdio>

// Source and target kinds of the reader and the writer.
enum ZipObjectKind : int {
    kZipKindHandle = 1,    // an open FILE*, not owned
    kZipKindFileName = 2,  // a wide file name
    kZipKindMemory = 3,    // a block of memory
    kZipKindFolder = 4,    // writer sources only: a folder entry without data
};

struct PictureFile;

struct ZipInput {
    PictureFile* data;       // the stream or the memory block, read through imagelib's file layer
    FILE* ownedStream;       // a file opened here by name; closed with the input
    uint8_t canSeek;
    uint64_t initialOffset;  // where a stream stood when opened
    uint8_t closed;          // ZipInputClose ran (minizip closes what it was given)
};

// A new source, or null with *error set (kZipCannotOpen, kZipBadArguments,
// kZipNoMemory). For kZipKindHandle `source` is the FILE*, for
// kZipKindFileName a wide name, for kZipKindMemory the block of `length`
// bytes.
ZipInput* ZipInputOpen(const void* source, uint32_t length, int kind, uint32_t* error);
// Reads itemSize * itemCount bytes; returns the whole items read.
uint32_t ZipInputRead(void* buffer, uint32_t itemSize, uint32_t itemCount, ZipInput* source);
// origin 0 from the start, 1 from the current position, 2 from the end;
// 0 done. A memory position outside the block is refused (-1); a stream that
// cannot seek gives 29, an unknown origin 19.
int ZipInputSeek(ZipInput* source, uint64_t offset, int origin);
// The position (relative to the initial offset); 0 for a stream that cannot
// seek.
uint64_t ZipInputTell(ZipInput* source);
int ZipInputError(ZipInput* source);
// Closes an owned stream; -1 for none. The record stays until ZipInputFree.
int ZipInputClose(ZipInput* source);
// Closes what is still open and frees the record.
void ZipInputFree(ZipInput* source);

// minizip's file-function table over ZipInput: the "path" given to
// unzOpen2_64 is the ZipInput itself.
struct zlib_filefunc64_def_s;
void FillZipInputFunctions(zlib_filefunc64_def_s* functions);
