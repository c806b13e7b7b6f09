#pragma once

#include "common/Clock.h"

#include <string>

namespace svglogger {

// Label5's form of a time: "mm/dd hh:mm:ss", two digits each, 24-hour clock.
std::string formatMeasurementTime(const LocalDateTime &time);

} // namespace svglogger
