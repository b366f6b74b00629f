// The show a stand-alone slideshow carries behind its program image, as the
// player reads it back. All numbers are 32-bit little-endian:
//
//   magic        10 bytes, the show's signature (no terminating zero)
//   flags        bit 0 transitions, bit 1 turn landscape pictures by +90,
//                bit 2 turn every picture by -90, bit 3 a sound block
//                follows, bit 4 loop
//   delay        seconds between pictures
//   background   COLORREF around the pictures
//   reserved     ignored
//   sound size   with flag bit 3 only, then that many bytes of a wave file
//   count        pictures
//   offsets      count absolute file positions, one per picture's JPEG data
//   pictures     the JPEG files
//
// The player holds no copy of the magic that a search of its file could
// find: it is kept masked and unmasked only when looked for, so the first
// occurrence at or after the end of the program image is the show's.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imagelib/fileio.h"

enum ShowFlags : uint32_t {
    kShowTransitions = 0x01,
    kShowTurnLandscape = 0x02,
    kShowTurnAll = 0x04,
    kShowHasSound = 0x08,
    kShowLoop = 0x10,
};

constexpr size_t kShowMagicLength = 10;

struct AppendedShow {
    uint32_t flags = 0;
    uint32_t delay = 0;
    uint32_t background = 0;
    std::vector<uint8_t> sound;     // the wave file, empty without one (or when it could not be held)
    std::vector<int64_t> offsets;   // one per picture, each inside the file
};

enum ShowReadResult : int {
    kShowRead = 0,
    kShowNoMagic = 1,     // no show after the program image
    kShowTruncated = 2,   // the file ends inside the header, the sound or the offsets
    kShowBadOffset = 3,   // an offset lies outside the file
};

// The magic, unmasked into `out`.
void ShowMagic(uint8_t out[kShowMagicLength]);

// The end of the program image of a PE file (the end of its furthest
// section's raw data, or of its COFF symbol table when it has one), from
// its headers in `headers`; 0 when they are not a PE file's.
int64_t PeImageEnd(const uint8_t* headers, size_t size);

// Finds the first magic at or after `start` and reads the show behind it.
// Counts and sizes are checked against the file's size before anything is
// allocated.
int ReadAppendedShow(PictureFile* file, int64_t start, AppendedShow* show);
