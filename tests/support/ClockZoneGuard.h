#pragma once

#include "reading/LocalClock.h"

#include <memory>

namespace svglogger::test {

// The local clock keeps `zone`'s daylight saving while the guard lives; none again after it,
// also when an assertion ends the test early.
class ClockZoneGuard
{
public:
    explicit ClockZoneGuard(std::shared_ptr<const ClockZone> zone) { setLocalClock(std::move(zone)); }
    ~ClockZoneGuard() { setLocalClock({}); }
    ClockZoneGuard(const ClockZoneGuard &) = delete;
    ClockZoneGuard &operator=(const ClockZoneGuard &) = delete;
};

} // namespace svglogger::test
