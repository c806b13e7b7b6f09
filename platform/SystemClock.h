#pragma once

#include "common/Clock.h"

namespace svglogger {

// The computer's local clock, in whole seconds.
class SystemClock final : public Clock
{
public:
    LocalDateTime now() const override;
    std::int64_t epochMilliseconds() const override;
};

} // namespace svglogger
