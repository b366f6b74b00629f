// Time conversions of the ZIP layer: DOS date and time (local time, as ZIP
// stores it), FILETIME (100 ns units since 1601-01-01 UTC, as ZipItem
// carries it) and the C runtime's seconds since 1970 (UTC).
//
// Local time is the C runtime's (TZ is honoured on both targets).
// Portable: no platform headers.
#pragma once

#include <cstdint>

constexpr uint64_t kFileTimeTicksPerSecond = 10000000;
// 1970-01-01 as a FILETIME.
constexpr uint64_t kFileTimeOf1970 = 116444736000000000ull;

uint64_t UnixTimeToFileTime(int64_t seconds);
int64_t FileTimeToUnixTime(uint64_t fileTime);

// A DOS date (high 16 bits) and time (low 16 bits), read as local time, as a
// UTC FILETIME. Fields out of range are clamped (month 1-12, day to the
// month's length, hour 23, minute 59, seconds 58); 0 when the runtime cannot
// convert the time.
uint64_t DosTimeToFileTime(uint32_t dosDateTime);

// A UTC FILETIME as a local DOS date and time. Times before 1980 become
// 1980-01-01 00:00:00, times after 2107 become 2107-12-31 23:59:58.
void FileTimeToDosTime(uint64_t fileTime, uint16_t* date, uint16_t* time);
// The same from seconds since 1970; date in the high 16 bits.
uint32_t UnixTimeToDosTime(int64_t seconds);
// The current local time as a DOS date and time.
uint32_t CurrentDosTime();
