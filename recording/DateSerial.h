#pragma once

#include "common/Clock.h"

#include <cstdint>

namespace svglogger {

// Dates as a 64-bit float count of days since 1899-12-30 0:00, the fraction being the time of
// day; interval starts and ends are kept in this form.
double toDateSerial(const LocalDateTime &time);
// Back to calendar form, rounded to the nearest whole second.
LocalDateTime fromDateSerial(double serial);

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar (years -32767 to 32767,
// as std::chrono keeps them), and back.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day);
void civilFromDays(std::int64_t days, int &year, int &month, int &day);
// The calendar time `seconds` after 1970-01-01 0:00 of the same clock (the logger's stamps carry
// no zone); before 1970 too.
LocalDateTime civilFromSeconds(std::int64_t seconds);

} // namespace svglogger
