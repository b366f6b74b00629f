// DOS time <-> FILETIME through the C runtime's local time.
#include "ziptime.h"

#include <ctime>

namespace {

constexpr uint32_t kDosTimeMin = (0u << 25) | (1u << 21) | (1u << 16);  // 1980-01-01 00:00:00
constexpr uint32_t kDosTimeMax = (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;

bool LocalTime(int64_t seconds, std::tm* out) {
#ifdef _WIN32
    const __time64_t t = seconds;
    return _localtime64_s(out, &t) == 0;
#else
    const time_t t = static_cast<time_t>(seconds);
    return localtime_r(&t, out) != nullptr;
#endif
}

// -1 when the runtime cannot represent the time.
int64_t MakeLocalTime(std::tm* tm) {
#ifdef _WIN32
    return _mktime64(tm);
#else
    return static_cast<int64_t>(std::mktime(tm));
#endif
}

int DaysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

}  // namespace

uint64_t UnixTimeToFileTime(int64_t seconds) {
    if (seconds < -static_cast<int64_t>(kFileTimeOf1970 / kFileTimeTicksPerSecond)) return 0;
    return kFileTimeOf1970 + static_cast<uint64_t>(seconds) * kFileTimeTicksPerSecond;
}

int64_t FileTimeToUnixTime(uint64_t fileTime) {
    return (static_cast<int64_t>(fileTime / kFileTimeTicksPerSecond)) -
           static_cast<int64_t>(kFileTimeOf1970 / kFileTimeTicksPerSecond);
}

uint64_t DosTimeToFileTime(uint32_t dosDateTime) {
    const uint32_t date = dosDateTime >> 16;
    const uint32_t time = dosDateTime & 0xFFFF;
    std::tm tm = {};
    tm.tm_year = int(date >> 9) + 1980 - 1900;
    const int month = Clamp(int((date >> 5) & 15), 1, 12);
    tm.tm_mon = month - 1;
    tm.tm_mday = Clamp(int(date & 31), 1, DaysInMonth(tm.tm_year + 1900, month));
    tm.tm_hour = Clamp(int(time >> 11), 0, 23);
    tm.tm_min = Clamp(int((time >> 5) & 63), 0, 59);
    tm.tm_sec = Clamp(int(time & 31) * 2, 0, 58);
    tm.tm_isdst = -1;
    const int64_t seconds = MakeLocalTime(&tm);
    if (seconds == -1) return 0;
    return UnixTimeToFileTime(seconds);
}

uint32_t UnixTimeToDosTime(int64_t seconds) {
    std::tm tm;
    if (!LocalTime(seconds, &tm)) return seconds < 0 ? kDosTimeMin : kDosTimeMax;
    const int year = tm.tm_year + 1900;
    if (year < 1980) return kDosTimeMin;
    if (year > 2107) return kDosTimeMax;
    const uint32_t date = uint32_t(year - 1980) << 9 | uint32_t(tm.tm_mon + 1) << 5 | uint32_t(tm.tm_mday);
    const uint32_t seconds2 = tm.tm_sec > 59 ? 29 : uint32_t(tm.tm_sec / 2);  // a leap second
    const uint32_t time = uint32_t(tm.tm_hour) << 11 | uint32_t(tm.tm_min) << 5 | seconds2;
    return date << 16 | time;
}

void FileTimeToDosTime(uint64_t fileTime, uint16_t* date, uint16_t* time) {
    const uint32_t dos = UnixTimeToDosTime(FileTimeToUnixTime(fileTime));
    *date = uint16_t(dos >> 16);
    *time = uint16_t(dos & 0xFFFF);
}

uint32_t CurrentDosTime() { return UnixTimeToDosTime(static_cast<int64_t>(std::time(nullptr))); }
