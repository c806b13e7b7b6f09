#pragma once

#include "reading/LocalClock.h"
#include "recording/DateSerial.h"

#include <vector>

namespace svglogger {

// Central European Time by its rules (since 1996), written out here rather than read from a
// zone database: summer time from the last Sunday of March to the last Sunday of October, the
// wall clock going 2:00 → 3:00 and 3:00 → 2:00 (both at 2:00 standard time). For making the
// files a logger in Europe writes, and for testing the reading of them against a database.
class EuropeanSummerTime final : public ClockZone
{
public:
    static std::int64_t lastSunday(int year, unsigned month)
    {
        const std::int64_t last = daysFromCivil(year, month + 1, 0); // the day before the next month's first
        const std::int64_t weekday = ((last % 7) + 11) % 7;         // 1970-01-01 was a Thursday (4); 0: Sunday
        return last - weekday;
    }
    std::vector<ClockShift> shiftsOf(int year) const override
    {
        return {{daysFromCivil(year, 1, 1) * 86400, 0},
                {lastSunday(year, 3) * 86400 + 7200, 3600},
                {lastSunday(year, 10) * 86400 + 7200, 0}};
    }
};

} // namespace svglogger
