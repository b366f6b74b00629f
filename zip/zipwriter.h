// The ZIP writer object behind a writer handle, and the lower layers that
// CreateZipFile, ZipAddFile and CloseZipWriter are built on: outputs to an
// open stream, a file or memory, and entries from streams, files, memory
// blocks and folders.
//
// Any failed output operation is recorded and sticks: later adds return
// kZipEarlierError and the close fails. A failed add leaves a partial entry
// in the output that the central directory does not name.
// Portable: no platform headers.
#pragma once

#include <cstdint>
#include <cstdio>

#include "imagelib/fileio.h"
#include "zip/deflate.h"
#include "zip/zip.h"
#include "zip/zipcrypt.h"
#include "zip/zipinput.h"
#include "zip/zipsource.h"

// What the central directory needs of one added entry.
struct ZipEntryRecord {
    uint16_t flags, localFlags, method;
    uint32_t dosTime, crc, compressedSize, uncompressedSize;
    uint32_t nameLength;
    uint16_t internalAttributes;
    uint32_t externalAttributes, localHeaderOffset;
    char name[kZipMaxPath];  // 8-bit, zero-terminated
    ZipEntryRecord* next;
};

constexpr uint32_t kZipWriterBufferSize = 16384;
constexpr uint32_t kZipMaxEntries = 65535;

struct ZipWriter {
    char* password;            // null when none or empty
    FILE* output;
    uint8_t ownsOutput;
    // A file output by name is written beside its target and moved over it
    // when the close succeeds; the target is untouched until then. Null when
    // written in place or not by name.
    FileReplacement* replacement;
    uint32_t initialOffset;    // the output's position when opened
    uint32_t error;            // the first failed output operation; sticky
    uint32_t written;          // bytes written since the initial offset
    uint8_t canSeek;
    uint8_t* memory;
    uint8_t ownsMemory;        // the writer allocated the memory output; freed at close
    uint32_t memoryPosition;
    uint32_t memoryCapacity;
    uint8_t closed;            // the central directory has been written
    uint8_t encrypting;        // data passed to the output are encrypted
    ZipKeys keys;
    uint8_t* cryptBuffer;
    uint32_t cryptBufferSize;
    ZipEntryRecord* entries;
    ZipEntryRecord* lastEntry;
    uint32_t entryCount;
    DeflateState* compressor;  // while an entry is deflated
    ZipSource source;
    uint8_t data[kZipWriterBufferSize];
    uint64_t outputPosition;   // where the next write lands, from the initial offset
    // The encryption header's random bytes: the source set by
    // SetZipRandomSource when the writer was created, else this writer's own
    // generator.
    uint8_t (*randomNext)(void* user);
    void* randomUser;
    uint64_t randomState;
};

// A writer with no output yet; the password is copied when not empty.
ZipWriter* CreateZipWriter(const char* password);
// Frees the writer and all it holds (ZipWriterClose first to finish the
// archive; without a successful close, a file output leaves its target as
// it was).
void FreeZipWriter(ZipWriter* writer);

// kZipKindHandle: an open FILE* (not owned; data descriptors when it cannot
// seek); kZipKindFileName: a file created by name (replacing one there only
// when the close succeeds); kZipKindMemory: a block of `length` bytes at
// `target`, or with a null target one the writer allocates (kZipNoMemory
// when it cannot) and releases when it closes.
uint32_t ZipWriterOpen(ZipWriter* writer, void* target, uint32_t length, int kind);
// Sources: kZipKindHandle (a FILE*; length announces the size of a stream
// that cannot seek, 0 = unknown), kZipKindFileName, kZipKindMemory (address,
// length), kZipKindFolder (no source).
uint32_t ZipWriterAdd(ZipWriter* writer, const wchar_t* entryName, const void* source, uint32_t length, int kind);
// Bytes written (encrypted first while encrypting); a short write records
// the error.
uint32_t ZipWriterWrite(ZipWriter* writer, const void* data, uint32_t count);
// Moves the output to `position` (from the initial offset); false when it
// cannot.
bool ZipWriterSeek(ZipWriter* writer, uint32_t position);
// Writes the central directory and end record (once) and closes the output;
// a file output by name then replaces its target, or on failure is removed.
uint32_t ZipWriterClose(ZipWriter* writer);

// The source of the encryption header's random bytes for writers created
// from now on (process-wide, safe from any thread); null restores the
// default, a generator per writer seeded at its creation.
void SetZipRandomSource(uint8_t (*next)(void* user), void* user);
