// Test helpers of the ZIP layer: a pinned time zone, hand-made archives
// serialised byte by byte (independently of our writer), a small parser of
// archive records.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "zip/zip.h"

namespace ziptest {

// The zone every ZIP test runs in: three hours east of UTC, no daylight
// saving (POSIX TZ syntax, understood by both C runtimes).
constexpr const char* kTimeZone = "PVT-3";
constexpr int64_t kZoneOffsetSeconds = 3 * 3600;

// One entry of a hand-made archive. Deflated data are made by zlib.
struct RawEntry {
    std::string name;
    std::vector<uint8_t> data;          // uncompressed bytes
    uint16_t method = 0;                // 0 stored, 8 deflated (anything else is written as is)
    uint16_t flags = 0;
    uint16_t versionMadeBy = 0x031E;    // host 3 (Unix)
    uint32_t external = 0x81A40000u;    // mode 0100644
    uint32_t dosTime = 0x3A216B5D;      // 2009-01-01 13:26:58
    // Faults to plant.
    uint32_t crcXor = 0;                // applied to both CRC fields
    int64_t uncompressedDelta = 0;      // applied to both size fields
    uint16_t localMethod = 0xFFFF;      // a local header method other than `method`
    size_t truncateData = 0;            // bytes of data left out (sizes unchanged)
    // Hostile layouts.
    int sharesHeaderOf = -1;            // the central record points at that earlier entry's
                                        // local header; nothing of its own is stored
    uint64_t zip64Size = 0;             // stored: both sizes declared this large in ZIP64 extra fields
};

std::vector<uint8_t> BuildArchive(const std::vector<RawEntry>& entries, const std::vector<uint8_t>& prefix = {});
std::vector<uint8_t> ZlibDeflateRaw(const std::vector<uint8_t>& data, int level = 6);
std::vector<uint8_t> TextBytes(const std::string& text);
std::vector<uint8_t> PatternBytes(size_t n, uint32_t seed);

// Reads an item completely through UnzipItemToMemory in pieces of `piece`
// bytes; *result gets the last code.
std::vector<uint8_t> ReadItem(ZipHandle* h, int32_t index, uint32_t piece, uint32_t* result);

// Records of an archive as found by walking it from its end record.
struct ParsedEntry {
    std::string name;
    uint16_t versionMadeBy, flags, localFlags, method;
    uint32_t dosTime, crc, compressedSize, uncompressedSize, external, localOffset;
    uint32_t localCrc, localCompressed, localUncompressed;
    bool hasDescriptor;                 // a "PK\7\8" record follows the data
    std::vector<uint8_t> rawData;       // the bytes between local header and what follows
};
struct ParsedArchive {
    bool ok = false;
    uint32_t centralOffset = 0, centralSize = 0, count = 0;
    std::vector<ParsedEntry> entries;
};
ParsedArchive ParseArchive(const std::vector<uint8_t>& bytes);

uint16_t Le16(const uint8_t* p);
uint32_t Le32(const uint8_t* p);

// The UTC seconds of a local date and time in the pinned zone.
int64_t PinnedLocalToUtc(int year, int month, int day, int hour, int minute, int second);

// A pipe as two binary streams (64 KiB of buffer: small archives need no
// reader on the other end).
bool MakePipe(FILE** readEnd, FILE** writeEnd);
// Everything left in a stream (to its end), which is then closed.
std::vector<uint8_t> ReadToEndAndClose(FILE* stream);

std::wstring Widen(const std::string& utf8);
std::string FixturePath(const char* name);

}  // namespace ziptest
