// Reading one item's data: minizip hands out the raw bytes (its local-header
// check included); we decrypt them, inflate them with zlib's raw inflate and
// check the size and CRC-32 ourselves, so both targets behave the same
// whatever minizip was built with.
//
// Portable: no platform headers.
#pragma once

#include <cstdint>

struct ZipEntryStream;

// A deflated item may declare at most this many times its stored bytes once
// it is larger than kZipRatioFreeBytes: deflate itself cannot pass about
// 1032 to 1, and pictures and sound, what albums hold, come nowhere near
// 100. A larger claim is a bomb (a 1 MB album declaring a 1 GiB picture).
constexpr uint64_t kZipMaxInflateRatio = 100;
constexpr uint64_t kZipRatioFreeBytes = uint64_t(1) << 20;

// Opens the archive's current item (an unzFile). Returns 0 with *out set,
// or kZipBadLocalHeader (local header unreadable or disagreeing),
// kZipBadPassword (encrypted and no password, or the check byte differs),
// kZipDataError (a method other than stored or deflated, an encryption
// header that is not there, or a size past kZipMaxInflateRatio), kZipNoMemory.
uint32_t OpenEntryStream(void* archive, const char* password, ZipEntryStream** out);

// The uncompressed size the item's directory entry declares.
uint64_t EntryStreamSize(const ZipEntryStream* stream);

// Delivers up to `length` bytes into `out`; *got gets the count, never
// taking the item past its declared size. Returns kZipMoreData while the item
// goes on, kZipOk once it has ended with the size and CRC-32 of its directory
// entry (later calls deliver nothing and return kZipOk again), else
// kZipDataError (also for data that go on past the declared size).
uint32_t ReadEntryStream(ZipEntryStream* stream, uint8_t* out, uint32_t length, uint32_t* got);

// Closes the item in minizip and frees the stream; null is allowed.
void CloseEntryStream(ZipEntryStream* stream);
