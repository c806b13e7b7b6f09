#include "recording/DateSerial.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace svglogger {

// Howard Hinnant's algorithms.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int &year, int &month, int &day)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

namespace {

const std::int64_t kEpochDays = daysFromCivil(1899, 12, 30);

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
    // Seconds within +/-1e15 (some 30 million years) convert exactly; beyond, the nearest end.
    const double whole = std::floor(serial * 86400.0 + 0.5);
    const auto total = static_cast<std::int64_t>(std::isnan(whole) ? 0.0 : std::clamp(whole, -1e15, 1e15));
    std::int64_t days = total / 86400;
    std::int64_t seconds = total % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    LocalDateTime time;
    civilFromDays(days + kEpochDays, time.year, time.month, time.day);
    time.hour = static_cast<int>(seconds / 3600);
    time.minute = static_cast<int>(seconds / 60 % 60);
    time.second = static_cast<int>(seconds % 60);
    return time;
}

} // namespace svglogger
