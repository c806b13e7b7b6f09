#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace svglogger {

// The times of the logger's rows, as the local clock wrote them: whole seconds since
// 1970-01-01 0:00:00 of that clock (the files name no time zone, and none is applied).

// "yyyy/mm/dd H:MM:SS" (the hour with or without its leading zero), or the date alone, which
// the logger writes at 0:00:00; and as a spreadsheet saves it back: "yyyy/m/d H:MM" (month and
// day without their zeros, no seconds) or ISO's "yyyy-mm-ddTHH:MM:SS". Nothing for any other
// text or an impossible date or time.
std::optional<std::int64_t> parseRowTime(std::string_view text);

// The logger's own text of a time: "2016/06/24 9:05:03", the date alone at midnight.
std::string rowTimeText(std::int64_t seconds);
// The same with its time at midnight too ("2016/06/24 0:00:00"), one format for a column of
// times; a fraction of a second belongs to its whole second.
std::string fullRowTimeText(double time);
// The date alone: "2016/06/24".
std::string rowDateText(std::int64_t seconds);

// The start of the clock-aligned block of `length` seconds (600: ten minutes, 86400: a day)
// that holds `time`: its whole second rounded down to a multiple of `length`, before 1970 too.
std::int64_t blockStart(double time, std::int64_t length);

} // namespace svglogger
