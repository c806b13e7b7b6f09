#pragma once

#include "common/Clock.h"

#include <string>

namespace svglogger {

// The time of a receive event as the window shows it: "mm/dd hh:mm:ss", two digits each,
// 24-hour clock.
std::string formatMeasurementTime(const LocalDateTime &time);

} // namespace svglogger
