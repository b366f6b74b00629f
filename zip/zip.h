// ZIP archives: the operations the album files and the start screen use.
//
// A reader opens an archive held in a file or in memory, lists and finds its
// items and extracts them to files or into memory; a writer creates an
// archive and adds files to it, deflated with our own compressor or stored.
// Every operation returns an unsigned 32-bit result: 0 for success and a
// distinct code per failure (below). Operations that take a handle check it
// first: none gives kZipBadArguments, a handle of the other kind
// kZipWrongHandleKind.
//
// Paths and item names are wide strings; passwords are 8-bit strings or null.
// Names are stored in the archive as UTF-8 (flagged as such when they are
// not plain ASCII); names without the UTF-8 flag read as Windows-1252.
//
// Threads: any number of threads may use the layer at once, each with its
// own handles (a handle is used by one thread at a time).
// Portable: no platform headers.
#pragma once

#include <cstdint>

// Result codes of the reader and the writer.
enum : uint32_t {
    kZipOk = 0,
    kZipCannotOpen = 0x200,          // archive not opened / not a ZIP; target or source file not created or opened
    kZipNoMemory = 0x300,            // memory could not be allocated
    kZipWriteFailed = 0x400,         // writing the target or the archive failed, or an entry could not be made
    kZipNotFound = 0x500,            // no item has that name
    kZipMoreData = 0x600,            // bytes were delivered into the memory buffer; call again
    kZipBadLocalHeader = 0x700,      // an item's headers cannot be read or do not agree
    kZipBadLocalExtra = 0x800,       // an item's local extra field cannot be read
    kZipBadPassword = 0x1000,        // the password is wrong or missing
    kZipBadArguments = 0x10000,      // no handle, a bad index, name or kind
    kZipMemoryFull = 0x30000,        // memory output: zero capacity, or the archive does not fit
    kZipEarlierError = 0x40000,      // the writer has a recorded error from an earlier failure
    kZipClosed = 0x50000,            // the writer has been closed
    kZipSizeMismatch = 0x60000,      // a source delivered another number of bytes than announced (internal)
    kZipTooLarge = 0x70000,          // over the format's limits: 65535 entries, 4 GiB, a source of 2 GiB
    kZipWrongHandleKind = 0x80000,   // a writer handle given to the reader, or the other way round
    kZipInUse = 0x1000000,           // open called on an object in use; an operation found no file
    kZipCannotSeek = 0x2000000,      // a source or output that must seek cannot
    kZipStoredSizeUnknown = 0x4000000,  // a stored entry's size changed and its header cannot be rewritten
    kZipDataError = 0x5000000,       // the item's data are corrupt: decompression, size or CRC-32
};

// Handle kinds.
enum : uint32_t { kZipReaderHandle = 1, kZipWriterHandle = 2 };

// An open archive. The caller owns it until CloseZipReader or CloseZipWriter
// (as ZipHandleIsReader tells) frees it.
struct ZipHandle {
    uint32_t kind;
    void* object;  // ZipReader or ZipWriter
};

constexpr int kZipMaxPath = 260;

// One item of an archive, as GetZipItem and FindZipItem fill it.
struct ZipItem {
    int32_t index;                 // for index -1: the number of items
    wchar_t name[kZipMaxPath];     // the stored name, zero-terminated
    uint32_t attributes;           // Windows attribute bits: 0x01 read-only, 0x02 hidden,
                                   // 0x04 system, 0x10 folder, 0x20 archive
    // FILETIME values (100 ns units since 1601-01-01 UTC), all three equal:
    // the stored local DOS time converted to UTC.
    uint64_t accessTime;
    uint64_t creationTime;
    uint64_t writeTime;
    uint32_t compressedSize;       // sizes of 4 GiB or more read as 0xFFFFFFFF
    uint32_t uncompressedSize;
};

// Result of the calling thread's last public reader operation (open, get,
// find, extract, set base folder, close) and of its last public writer
// operation (create, add, close). Each thread sees only its own results.
extern thread_local uint32_t LastZipReaderResult;
extern thread_local uint32_t LastZipWriterResult;

// Reader. The memory block is not copied and must outlive the handle. The
// password, when given (an empty one too), decrypts encrypted items.
ZipHandle* OpenZipFile(const wchar_t* fileName, const char* password);
ZipHandle* OpenZipMemory(const void* address, uint32_t length, const char* password);
// Index -1 asks for the whole archive (index = item count, all else empty).
uint32_t GetZipItem(ZipHandle* handle, int32_t index, ZipItem* item);
// index and item may be null. Missing: kZipNotFound, index -1, item zeroed
// with index -1.
uint32_t FindZipItem(ZipHandle* handle, const wchar_t* name, int ignoreCase, int32_t* index, ZipItem* item);
// Extracts the item to base folder + fileName (a relative name; names that
// would leave the base folder are refused with kZipCannotOpen). Folder items
// create their folders; file items create the folders their name holds. A
// failed extraction leaves no file behind.
uint32_t UnzipItemToFile(ZipHandle* handle, int32_t index, const wchar_t* fileName);
// Delivers the item's bytes in pieces: kZipMoreData while bytes were put
// into the buffer (call again with the same index to go on), then kZipOk once
// the item has ended and its size and CRC-32 were found right.
uint32_t UnzipItemToMemory(ZipHandle* handle, int32_t index, void* buffer, uint32_t length);
// A "\" is appended when the folder does not end in "\" or "/". Until set,
// the base folder is "\".
uint32_t SetUnzipBaseDir(ZipHandle* handle, const wchar_t* folder);
uint32_t CloseZipReader(ZipHandle* handle);
// True for a reader handle and for none, false for a writer.
bool ZipHandleIsReader(const ZipHandle* handle);

// Writer. A non-empty password encrypts every file entry (traditional PKWARE
// encryption).
ZipHandle* CreateZipFile(const wchar_t* fileName, const char* password);
// Adds the file sourceFile as entryName ("\" becomes "/"), deflated unless
// its name marks it as already compressed.
uint32_t ZipAddFile(ZipHandle* handle, const wchar_t* entryName, const wchar_t* sourceFile);
// Writes the central directory and closes the archive; frees the handle.
uint32_t CloseZipWriter(ZipHandle* handle);
