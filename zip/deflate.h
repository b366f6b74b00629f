// The ZIP writer's deflate compressor: one ZIP entry's data become a raw
// deflate stream (RFC 1951: no zlib or gzip wrapper, no checksum). Input is
// pulled through a read callback and output pushed through a flush callback;
// nothing is allocated after the state.
//
// The creator calls, in this order: CreateDeflateState, StartBitOutput,
// ct_init, PrepareMatcher, DeflateRun; then reads DeflateError (null when
// the compression succeeded) and frees the state.
// Portable: no platform headers.
#pragma once

#include <cstdint>

// Fills up to `size` bytes of `buffer`; returns the count. 0 or 0xFFFFFFFF
// ends the input.
typedef uint32_t (*DeflateReadFn)(void* arg, uint8_t* buffer, uint32_t size);
// Writes *count bytes of `buffer` and sets *count to 0 when all were
// written; returns the bytes written. A count left non-zero stops the
// compression with an error.
typedef uint32_t (*DeflateFlushFn)(void* arg, const uint8_t* buffer, uint32_t* count);

struct DeflateState;

// Null when the state cannot be allocated. Levels 1-3 take each match as
// found, 4-8 look ahead for a better one; the ZIP writer uses 8.
DeflateState* CreateDeflateState(void* arg, int level, DeflateReadFn read, DeflateFlushFn flush);
void FreeDeflateState(DeflateState* state);

// The output buffer, flushed through the callback whenever it fills and at
// the end (at least 16 bytes).
void StartBitOutput(DeflateState* state, uint8_t* buffer, uint32_t size);
// Builds the code tables and fixed trees and starts the first block.
// *fileType, when it holds 0xFFFF, is set to 1 (text) or 0 (binary) from
// the first block's bytes; any other value is left alone.
void ct_init(DeflateState* state, uint16_t* fileType);
// Takes the tuning of the state's level, ORs the level's hint into *flags (2
// for level 8, 4 for levels 1 and 2: the ZIP general-purpose bits 1 and 2)
// and reads the first input.
void PrepareMatcher(DeflateState* state, uint16_t* flags);
// Compresses all input; returns the bytes the flush callback took (the
// compressed size; after a failure, what the output holds).
uint32_t DeflateRun(DeflateState* state);
// The message of the first failed check or output, or null.
const char* DeflateError(const DeflateState* state);
