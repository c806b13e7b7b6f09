#pragma once

#include <chrono>
#include <cstdint>

namespace svglogger {

// Local calendar date and time of day, whole seconds.
struct LocalDateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;

    friend bool operator==(const LocalDateTime &, const LocalDateTime &) = default;
};

// The computer's local clock.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual LocalDateTime now() const = 0;
    // The same moment as milliseconds since 1970-01-01 UTC, for messages that leave the box.
    virtual std::int64_t epochMilliseconds() const = 0;
};

// A local time read as if it were UTC, in milliseconds since 1970: for clocks that know no zone.
inline std::int64_t epochMillisecondsAsUtc(const LocalDateTime &time)
{
    using namespace std::chrono;
    const sys_days day{year{time.year} / time.month / time.day};
    const auto moment = day + hours{time.hour} + minutes{time.minute} + seconds{time.second};
    return duration_cast<milliseconds>(moment.time_since_epoch()).count();
}

} // namespace svglogger
