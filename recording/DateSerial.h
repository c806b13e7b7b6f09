#pragma once

#include "common/Clock.h"

namespace svglogger {

// Dates as a 64-bit float count of days since 1899-12-30 0:00, the fraction being the time of
// day; interval starts and ends are kept in this form.
double toDateSerial(const LocalDateTime &time);
// Back to calendar form, rounded to the nearest whole second.
LocalDateTime fromDateSerial(double serial);

} // namespace svglogger
