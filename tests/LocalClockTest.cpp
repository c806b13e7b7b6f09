#include "reading/ClockBlocks.h"
#include "reading/LocalClock.h"
#include "reading/RecordTime.h"
#include "recording/DateSerial.h"
#include "support/ClockZoneGuard.h"
#include "tools/EuropeanSummerTime.h"

#include <gtest/gtest.h>

namespace svglogger {
namespace {

// Seconds of a clock reading "y/m/d h:mm:ss", without any zone.
std::int64_t at(int y, unsigned m, unsigned d, int h, int min = 0, int s = 0)
{
    return daysFromCivil(y, m, d) * 86400 + h * 3600 + min * 60 + s;
}

TEST(EuropeanRules, TheLastSundaysOf2026And2027)
{
    // By a calendar: 2026-03-29 and 2026-10-25, 2027-03-28 and 2027-10-31 are the last Sundays.
    EXPECT_EQ(EuropeanSummerTime::lastSunday(2026, 3), daysFromCivil(2026, 3, 29));
    EXPECT_EQ(EuropeanSummerTime::lastSunday(2026, 10), daysFromCivil(2026, 10, 25));
    EXPECT_EQ(EuropeanSummerTime::lastSunday(2027, 3), daysFromCivil(2027, 3, 28));
    EXPECT_EQ(EuropeanSummerTime::lastSunday(2027, 10), daysFromCivil(2027, 10, 31));
}

// Standard time against the wall clock around both changes of 2026, worked out by hand.
TEST(LocalClock, WallAndStandardTimeAroundTheChanges)
{
    const LocalClock clock(std::make_shared<EuropeanSummerTime>());
    struct Case {
        std::int64_t standard, wall;
    } const cases[] = {
        {at(2026, 3, 29, 1, 59, 59), at(2026, 3, 29, 1, 59, 59)}, // winter: the same
        {at(2026, 3, 29, 2), at(2026, 3, 29, 3)},                  // the skip: 2:00 → 3:00
        {at(2026, 7, 1, 12), at(2026, 7, 1, 13)},                  // summer: an hour ahead
        {at(2026, 10, 25, 1, 30), at(2026, 10, 25, 2, 30)},        // the first 2:30
        {at(2026, 10, 25, 2, 30), at(2026, 10, 25, 2, 30)},        // the second 2:30
        {at(2026, 12, 31, 23, 59, 59), at(2026, 12, 31, 23, 59, 59)},
        {at(1969, 7, 1, 0), at(1969, 7, 1, 1)},                    // the rules before 1970 too
    };
    for (const Case &c : cases) {
        EXPECT_EQ(clock.wallOf(c.standard), c.wall) << rowTimeText(c.standard);
    }
    // Back from the wall clock: the repeated hour's first reading unless the row before is later.
    EXPECT_EQ(clock.standardOf(at(2026, 10, 25, 2, 30)), at(2026, 10, 25, 1, 30));
    EXPECT_EQ(clock.standardOf(at(2026, 10, 25, 2, 30), at(2026, 10, 25, 1, 59, 59)), at(2026, 10, 25, 2, 30));
    EXPECT_EQ(clock.standardOf(at(2026, 10, 25, 3, 0)), at(2026, 10, 25, 3, 0));
    EXPECT_EQ(clock.standardOf(at(2026, 10, 25, 1, 59, 59)), at(2026, 10, 25, 0, 59, 59));
    EXPECT_EQ(clock.standardOf(at(2026, 3, 29, 3)), at(2026, 3, 29, 2));
    EXPECT_EQ(clock.standardOf(at(2026, 3, 29, 2, 30)), at(2026, 3, 29, 2, 30)) << "no clock showed it: as before the skip";
    EXPECT_EQ(clock.standardOf(at(2026, 7, 1, 13)), at(2026, 7, 1, 12));
    // The local days of the changes on standard time: 23 and 25 hours.
    EXPECT_EQ(clock.standardOf(at(2026, 3, 30, 0)) - clock.standardOf(at(2026, 3, 29, 0)), 23 * 3600);
    EXPECT_EQ(clock.standardOf(at(2026, 10, 26, 0)) - clock.standardOf(at(2026, 10, 25, 0)), 25 * 3600);
    EXPECT_EQ(clock.standardOf(at(2026, 7, 2, 0)) - clock.standardOf(at(2026, 7, 1, 0)), 24 * 3600);
    // Every second of a day on each side of both changes goes there and back.
    for (const std::int64_t day : {at(2026, 3, 28, 12), at(2026, 10, 24, 12)})
        for (std::int64_t t = day; t < day + 2 * 86400; ++t)
            ASSERT_EQ(clock.standardOf(clock.wallOf(t), t), t) << rowTimeText(t);
}

TEST(LocalClock, WithoutAZoneTheWallClockItself)
{
    const LocalClock clock;
    EXPECT_FALSE(clock.keepsDaylightSaving());
    for (const std::int64_t t : {at(2026, 10, 25, 2, 30), std::int64_t{-1}, at(2026, 3, 29, 2, 30)}) {
        EXPECT_EQ(clock.wallOf(t), t);
        EXPECT_EQ(clock.standardOf(t), t);
    }
}

// The wall clock's blocks on standard time where Europe's summer time is kept: the days of
// the changes 23 and 25 hours long, the repeated hour's blocks twice, each row's text the wall
// clock's. Worked out by hand from the changes at 2:00 standard time.
TEST(LocalClock, BlocksAndTextsOnTheDaysOfTheChanges)
{
    const test::ClockZoneGuard zone(std::make_shared<EuropeanSummerTime>());
    // Texts: standard 1:30 and 2:30 on 25 October both read 2:30.
    EXPECT_EQ(rowTimeText(at(2026, 10, 25, 1, 30)), "2026/10/25 2:30:00");
    EXPECT_EQ(rowTimeText(at(2026, 10, 25, 2, 30)), "2026/10/25 2:30:00");
    EXPECT_EQ(rowTimeText(at(2026, 3, 29, 2)), "2026/03/29 3:00:00");
    EXPECT_EQ(rowTimeText(at(2026, 7, 1, 23)), "2026/07/02") << "midnight of the wall clock";
    EXPECT_EQ(parseClockTime("2026/07/02"), at(2026, 7, 1, 23));
    EXPECT_EQ(parseClockTime("2026/10/25 2:30:00"), at(2026, 10, 25, 1, 30)) << "the first 2:30";
    EXPECT_EQ(parseRowTime("2026/10/25 2:30:00"), at(2026, 10, 25, 2, 30)) << "the text's own seconds";

    struct Day {
        std::int64_t wallMidnight;
        std::int64_t hours;       // the day's length
        std::size_t hourBlocks;   // its blocks of an hour (the repeated hour's two)
        std::size_t tenMinutes;   // and of ten minutes
    } const days[] = {
        {at(2026, 3, 29, 0), 23, 23, 138},
        {at(2026, 10, 25, 0), 25, 25, 150},
        {at(2026, 7, 1, 0), 24, 24, 144},
    };
    for (const Day &d : days) {
        const std::int64_t start = localClock().standardOf(d.wallMidnight);
        EXPECT_EQ(blockStart(static_cast<double>(start) + 7 * 3600.5, 86400), start) << rowTimeText(start);
        const std::int64_t end = nextBlockStart(start, 86400);
        EXPECT_EQ(end - start, d.hours * 3600) << rowTimeText(start);
        std::size_t hours = 0, tens = 0;
        std::int64_t previous = start;
        for (const ClockBlock &b : ClockBlocks(static_cast<double>(start), static_cast<double>(end), 3600)) {
            EXPECT_EQ(b.from, static_cast<double>(previous)) << rowTimeText(b.start);
            previous = static_cast<std::int64_t>(b.to);
            ++hours;
        }
        EXPECT_EQ(previous, end);
        for (const ClockBlock &b : ClockBlocks(static_cast<double>(start), static_cast<double>(end), 600)) {
            EXPECT_EQ(b.to - b.from, 600.0) << rowTimeText(b.start);
            ++tens;
        }
        EXPECT_EQ(hours, d.hourBlocks) << rowTimeText(start);
        EXPECT_EQ(tens, d.tenMinutes) << rowTimeText(start);
    }
    // The two 2 o'clock hours of 25 October, each its own block, both named 2:00.
    const std::int64_t first = at(2026, 10, 25, 1), second = at(2026, 10, 25, 2);
    EXPECT_EQ(blockStart(static_cast<double>(first) + 1800.0, 3600), first);
    EXPECT_EQ(blockStart(static_cast<double>(second) + 1800.0, 3600), second);
    EXPECT_EQ(nextBlockStart(first, 3600), second);
    EXPECT_EQ(nextBlockStart(at(2026, 10, 25, 1, 50), 600), second) << "2:50 to the second 2:00";
    EXPECT_EQ(rowTimeText(first), rowTimeText(second));
    // Rows a second apart across both changes: their blocks of an hour hold 3,600 rows each
    // (the autumn's two 2 o'clock hours too), the spring day has no hour without rows.
    for (const std::int64_t change : {at(2026, 3, 29, 2), at(2026, 10, 25, 2)}) {
        std::vector<double> times;
        for (std::int64_t t = change - 3 * 3600; t < change + 3 * 3600; ++t)
            times.push_back(static_cast<double>(t) + 0.5);
        std::size_t blocks = 0;
        for (const ClockBlock &b : ClockBlocks(times, 3600)) {
            EXPECT_EQ(b.endRow - b.firstRow, 3600u) << rowTimeText(b.start);
            ++blocks;
        }
        EXPECT_EQ(blocks, 6u);
    }
}

} // namespace
} // namespace svglogger
