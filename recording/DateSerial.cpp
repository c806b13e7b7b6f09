#include "recording/DateSerial.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cmath>
#include <cstdint>

namespace svglogger {

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    using namespace std::chrono;
    assert(y >= static_cast<int>(year::min()) && y <= static_cast<int>(year::max()) && m >= 1 && m <= 12);
    // A day past the month's end counts on into the next month, as the calendar's own sum does.
    return sys_days(year(static_cast<int>(y)) / month(m) / day(d)).time_since_epoch().count();
}

void civilFromDays(std::int64_t z, int &y, int &m, int &d)
{
    using namespace std::chrono;
    const year_month_day date{sys_days(days(z))};
    y = static_cast<int>(date.year());
    m = static_cast<int>(static_cast<unsigned>(date.month()));
    d = static_cast<int>(static_cast<unsigned>(date.day()));
}

LocalDateTime civilFromSeconds(std::int64_t seconds)
{
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    LocalDateTime time;
    civilFromDays(days, time.year, time.month, time.day);
    time.hour = static_cast<int>(rest / 3600);
    time.minute = static_cast<int>(rest / 60 % 60);
    time.second = static_cast<int>(rest % 60);
    return time;
}

namespace {

const std::int64_t kEpochDays = daysFromCivil(1899, 12, 30);
// The first and last second of the calendar's years, as seconds from 1899-12-30.
const double kFirstSecond =
    static_cast<double>((daysFromCivil(static_cast<int>(std::chrono::year::min()), 1, 1) - kEpochDays) * 86400);
const double kLastSecond =
    static_cast<double>((daysFromCivil(static_cast<int>(std::chrono::year::max()), 12, 31) - kEpochDays) * 86400 + 86399);

} // namespace

double toDateSerial(const LocalDateTime &time)
{
    const std::int64_t days = daysFromCivil(time.year, static_cast<unsigned>(time.month),
                                            static_cast<unsigned>(time.day)) - kEpochDays;
    const int seconds = time.hour * 3600 + time.minute * 60 + time.second;
    return static_cast<double>(days) + seconds / 86400.0;
}

LocalDateTime fromDateSerial(double serial)
{
    // Seconds within the calendar's years -32767 to 32767 convert exactly; beyond, the nearest end.
    const double whole = std::floor(serial * 86400.0 + 0.5);
    const auto total = static_cast<std::int64_t>(std::isnan(whole) ? 0.0 : std::clamp(whole, kFirstSecond, kLastSecond));
    return civilFromSeconds(total + kEpochDays * 86400);
}

} // namespace svglogger
