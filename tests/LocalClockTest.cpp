#include "reading/LocalClock.h"
#include "reading/RecordTime.h"
#include "recording/DateSerial.h"
#include "support/EuropeanSummerTime.h"

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
    EXPECT_EQ(test::EuropeanSummerTime::lastSunday(2026, 3), daysFromCivil(2026, 3, 29));
    EXPECT_EQ(test::EuropeanSummerTime::lastSunday(2026, 10), daysFromCivil(2026, 10, 25));
    EXPECT_EQ(test::EuropeanSummerTime::lastSunday(2027, 3), daysFromCivil(2027, 3, 28));
    EXPECT_EQ(test::EuropeanSummerTime::lastSunday(2027, 10), daysFromCivil(2027, 10, 31));
}

// Standard time against the wall clock around both changes of 2026, worked out by hand.
TEST(LocalClock, WallAndStandardTimeAroundTheChanges)
{
    const LocalClock clock(std::make_shared<test::EuropeanSummerTime>());
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

} // namespace
} // namespace svglogger
