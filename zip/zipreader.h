// The ZIP reader object behind a reader handle, and the lower layers that
// the public operations of zip.h are built on (also a stream source and a
// stream target, kZipKindHandle).
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zip/zip.h"
#include "zip/zipinput.h"

struct ZipEntryStream;

struct ZipReader {
    void* archive;             // minizip's unzFile; null while none is open
    int32_t openItem;          // the item open for extraction to memory, -1 when none
    ZipItem cachedItem;        // the record last returned for an index >= 0
    int32_t cachedIndex;       // -1 when none
    char* password;            // heap copy, or null
    wchar_t baseFolder[kZipMaxPath];  // ends in "\" or "/"
    // Ours besides: the source minizip reads through, the open item's
    // decoder, the item count, and the items refused for sharing data.
    ZipInput* input;
    ZipEntryStream* stream;
    int32_t itemCount;
    uint8_t* sharesData;       // per item: its bytes are another item's too; not extracted
    int32_t sharesCount;       // items sharesData covers
};

// A reader handle over a source of the given kind (kZipKindHandle: an open
// FILE* that can seek, kZipKindFileName, kZipKindMemory), or null with the
// code in LastZipReaderResult.
ZipHandle* OpenZipSource(const void* source, uint32_t length, int kind, const char* password);

// Extracts an item to a target: kZipKindHandle (an open FILE*, written to
// and not closed), kZipKindFileName (a name relative to the base folder) or
// kZipKindMemory (a buffer of `length` bytes).
uint32_t UnzipItem(ZipReader* reader, int32_t index, void* target, uint32_t length, int kind);

// Creates the folders of `path` (its first `length` characters) below the
// base folder, parents first. 0 when the last one exists afterwards,
// kZipCannotOpen otherwise (also when one of them is a link); an empty path
// does nothing.
uint32_t EnsureUnzipFolders(const wchar_t* baseFolder, const wchar_t* path, size_t length);
