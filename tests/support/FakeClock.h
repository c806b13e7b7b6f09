#pragma once

#include "common/Clock.h"

namespace svglogger::test {

// A clock the test sets by hand.
class FakeClock final : public Clock
{
public:
    LocalDateTime time{2016, 6, 24, 9, 5, 3};
    LocalDateTime now() const override { return time; }
    std::int64_t epochMilliseconds() const override { return epochMillisecondsAsUtc(time); }
};

} // namespace svglogger::test
