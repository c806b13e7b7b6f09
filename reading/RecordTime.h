#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace svglogger {

// The times of the logger's rows: the files hold the wall clock's readings (no zone named); the
// viewer keeps them as seconds since 1970-01-01 0:00:00 of the zone's standard time (see
// LocalClock), which is the wall clock itself where no daylight saving is kept. The texts
// below are the wall clock's again.

// "yyyy/mm/dd H:MM:SS" (the hour with or without its leading zero), or the date alone, which
// the logger writes at 0:00:00; and as a spreadsheet saves it back: "yyyy/m/d H:MM" (month and
// day without their zeros, no seconds) or ISO's "yyyy-mm-ddTHH:MM:SS". Nothing for any other
// text or an impossible date or time. The wall clock's seconds, as the text reads.
std::optional<std::int64_t> parseRowTime(std::string_view text);
// The same on standard time: a reading of the repeated hour is its first.
std::optional<std::int64_t> parseClockTime(std::string_view text);

// The logger's own text of a time: "2016/06/24 9:05:03", the date alone at midnight.
std::string rowTimeText(std::int64_t seconds);
// The same with its time at midnight too ("2016/06/24 0:00:00"), one format for a column of
// times; a fraction of a second belongs to its whole second.
std::string fullRowTimeText(double time);
// The date alone: "2016/06/24".
std::string rowDateText(std::int64_t seconds);

// The start of the block of the wall clock of `length` seconds (600: ten minutes, 86400: a day)
// that holds `time`: where the wall clock read its time rounded down to a multiple of
// `length`, before 1970 too. The wall clock repeats an hour in autumn: its blocks come twice.
std::int64_t blockStart(double time, std::int64_t length);
// The start of the block after the one starting at `start`: `length` later, but where the
// daylight shift changes, a day of 23 or 25 hours, the repeated hour's blocks after the first.
std::int64_t nextBlockStart(std::int64_t start, std::int64_t length);

} // namespace svglogger
