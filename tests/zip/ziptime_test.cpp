// DOS times are local times; FILETIMEs are UTC. The zone is pinned
// (ziptestutil.h) three hours east of UTC.
#include "zip/ziptime.h"

#include <gtest/gtest.h>

#include "tests/zip/ziptestutil.h"

namespace {

using ziptest::PinnedLocalToUtc;

uint32_t Dos(int year, int month, int day, int hour, int minute, int seconds2) {
    return uint32_t(year - 1980) << 25 | uint32_t(month) << 21 | uint32_t(day) << 16 | uint32_t(hour) << 11 |
           uint32_t(minute) << 5 | uint32_t(seconds2);
}

TEST(ZipTime, DosTimeIsLocal) {
    EXPECT_EQ(UnixTimeToFileTime(PinnedLocalToUtc(2009, 1, 1, 13, 26, 58)), DosTimeToFileTime(0x3A216B5D));
    EXPECT_EQ(UnixTimeToFileTime(PinnedLocalToUtc(1980, 1, 1, 0, 0, 0)), DosTimeToFileTime(0x00210000));
}

TEST(ZipTime, OutOfRangeFieldsAreClamped) {
    const struct {
        uint32_t dos;
        int year, month, day, hour, minute, second;
    } kCases[] = {
        {Dos(2009, 1, 1, 12, 0, 30), 2009, 1, 1, 12, 0, 58},    // 60 seconds
        {Dos(2009, 1, 1, 12, 0, 31), 2009, 1, 1, 12, 0, 58},    // 62 seconds
        {Dos(2009, 0, 0, 12, 0, 0), 2009, 1, 1, 12, 0, 0},      // month and day 0
        {Dos(2009, 15, 1, 12, 0, 0), 2009, 12, 1, 12, 0, 0},
        {Dos(2009, 2, 31, 12, 0, 0), 2009, 2, 28, 12, 0, 0},
        {Dos(2008, 2, 31, 12, 0, 0), 2008, 2, 29, 12, 0, 0},
        {Dos(2009, 6, 1, 31, 63, 0), 2009, 6, 1, 23, 59, 0},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(UnixTimeToFileTime(PinnedLocalToUtc(c.year, c.month, c.day, c.hour, c.minute, c.second)),
                  DosTimeToFileTime(c.dos))
            << std::hex << c.dos;
}

TEST(ZipTime, FileTimeToLocalDosTime) {
    uint16_t date, time;
    FileTimeToDosTime(UnixTimeToFileTime(PinnedLocalToUtc(2009, 6, 30, 10, 15, 37)), &date, &time);
    EXPECT_EQ((29 << 9) | (6 << 5) | 30, date);
    EXPECT_EQ((10 << 11) | (15 << 5) | 18, time);
}

TEST(ZipTime, YearsAreClampedTo1980Through2107) {
    EXPECT_EQ(Dos(1980, 1, 1, 0, 0, 0), UnixTimeToDosTime(PinnedLocalToUtc(1975, 5, 5, 5, 5, 5)));
    EXPECT_EQ(Dos(1980, 1, 1, 0, 0, 0), UnixTimeToDosTime(-86400));
    EXPECT_EQ(Dos(2107, 12, 31, 23, 59, 29), UnixTimeToDosTime(PinnedLocalToUtc(2150, 1, 1, 0, 0, 0)));
    EXPECT_EQ(Dos(2107, 12, 31, 23, 59, 29), UnixTimeToDosTime(PinnedLocalToUtc(2108, 1, 1, 0, 0, 0)));
    EXPECT_EQ(Dos(2107, 12, 31, 23, 59, 29), UnixTimeToDosTime(PinnedLocalToUtc(2107, 12, 31, 23, 59, 59)));
}

TEST(ZipTime, RoundTripKeepsEvenSeconds) {
    for (int64_t t : {PinnedLocalToUtc(1980, 1, 1, 0, 0, 0), PinnedLocalToUtc(2000, 2, 29, 23, 59, 58),
                      PinnedLocalToUtc(2038, 1, 19, 6, 14, 8), PinnedLocalToUtc(2100, 3, 1, 0, 0, 2)}) {
        EXPECT_EQ(UnixTimeToFileTime(t), DosTimeToFileTime(UnixTimeToDosTime(t)));
        EXPECT_EQ(UnixTimeToFileTime(t), DosTimeToFileTime(UnixTimeToDosTime(t + 1)));
    }
}

}  // namespace
