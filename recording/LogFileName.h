#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace svglogger {

// The name of a log or capture file: "Tarmin<day>D<hour>H<minute>M<second>[G][-n].csv", the
// moment it was named by the local clock (the numbers without leading zeros), "G" with
// power-flow correction, "-n" (n from 2) where the name was taken already.
struct LogFileName {
    int day = 1, hour = 0, minute = 0, second = 0;
    bool powerFlow = false;
    int copy = 1; // the n of "-n"; 1: the name as first tried, without it

    std::string text() const;
    // A moment a clock gives: day 1–31, hour 0–23, minute and second 0–59.
    bool onTheClock() const;
};

// A file name read as one of the logger's: its parts as written, and how closely it keeps to
// the form after the second.
struct ParsedLogFileName {
    LogFileName name;              // a moment's numbers as written, not checked against a clock
    bool exact = false;            // after the second nothing but [G][-n] (n: digits) before ".csv"
    std::size_t copyDigits = 0;    // the digits of n as written (the recorder writes 1 to 4)
};

// "Tarmin", then the day, hour, minute and second of one or two digits each, the first three
// followed by "D", "H", "M", and ".csv" at its end, all as written here (no other case); none
// for any other name. A file name alone, without its folder.
std::optional<ParsedLogFileName> parseLogFileName(std::string_view fileName);

} // namespace svglogger
