#pragma once

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
};

} // namespace svglogger
