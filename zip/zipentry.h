// Reading one item's data: minizip hands out the raw bytes (its local-header
// check included); we decrypt them, inflate them with zlib's raw inflate and
// check the size and CRC-32 ourselves, so both targets behave the same
// whatever minizip was built with.
//
// Portable: no platform headers.
#pragma once

#include <cstdint>

struct ZipEntryStream;

// Opens the archive's current item (an unzFile). Returns 0 with *out set,
// or kZipBadLocalHeader (local header unreadable or disagreeing),
// kZipBadPassword (encrypted and no password, or the check byte differs),
// kZipDataError (a method other than stored or deflated, or an encryption
// header that is not there), kZipNoMemory.
uint32_t OpenEntryStream(void* archive, const char* password, ZipEntryStream** out);

// Delivers up to `length` bytes into `out`; *got gets the count. Returns
// kZipMoreData while the item goes on, kZipOk once it has ended with the size
// and CRC-32 of its directory entry (later calls deliver nothing and return
// kZipOk again), else kZipDataError.
uint32_t ReadEntryStream(ZipEntryStream* stream, uint8_t* out, uint32_t length, uint32_t* got);

// Closes the item in minizip and frees the stream; null is allowed.
void CloseEntryStream(ZipEntryStream* stream);
