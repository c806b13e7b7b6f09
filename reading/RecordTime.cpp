#include "reading/RecordTime.h"

#include "reading/LocalClock.h"
#include "recording/CsvText.h"
#include "recording/DateSerial.h"

#include <cassert>
#include <chrono>
#include <cmath>

namespace svglogger {

namespace {

// `count` decimal digits at `at`; -1 when any is no digit.
int digits(std::string_view text, std::size_t at, std::size_t count)
{
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

std::optional<std::int64_t> parseRowTime(std::string_view text)
{
    // 1 to `most` digits from the front of `text`; -1 when there are none.
    auto number = [&text](std::size_t most) {
        std::size_t n = 0;
        while (n < text.size() && n < most && text[n] >= '0' && text[n] <= '9')
            ++n;
        const int value = n == 0 ? -1 : digits(text, 0, n);
        text.remove_prefix(n);
        return value;
    };
    auto mark = [&text](char c) {
        if (text.empty() || text.front() != c)
            return false;
        text.remove_prefix(1);
        return true;
    };
    // The date: "2026/12/07" as the logger writes it, "2026/12/7" as a spreadsheet saves it
    // back, or ISO's "2026-12-07".
    if (text.size() < 8 || (text[4] != '/' && text[4] != '-'))
        return std::nullopt;
    const char separator = text[4];
    const int year = text.size() >= 4 ? digits(text, 0, 4) : -1;
    text.remove_prefix(5);
    const int month = number(2);
    if (!mark(separator))
        return std::nullopt;
    const int day = number(2);
    if (year < 0 || month < 0 || day < 0
        || !std::chrono::year_month_day(std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                        std::chrono::day(static_cast<unsigned>(day)))
                .ok())
        return std::nullopt;
    const std::int64_t midnight = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400;
    if (text.empty())
        return midnight;
    // " H:MM:SS", " HH:MM:SS", a spreadsheet's " H:MM" without seconds, or ISO's "THH:MM:SS".
    if (!mark(' ') && !mark('T'))
        return std::nullopt;
    const int hour = number(2);
    if (!mark(':') || text.size() < 2)
        return std::nullopt;
    const int minute = digits(text, 0, 2);
    text.remove_prefix(2);
    int second = 0;
    if (mark(':')) {
        if (text.size() != 2)
            return std::nullopt;
        second = digits(text, 0, 2);
        text.remove_prefix(2);
    }
    if (!text.empty() || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return std::nullopt;
    return midnight + hour * 3600 + minute * 60 + second;
}

std::optional<std::int64_t> parseClockTime(std::string_view text)
{
    const std::optional<std::int64_t> wall = parseRowTime(text);
    return wall ? std::optional(localClock().standardOf(*wall)) : std::nullopt;
}

std::string rowTimeText(std::int64_t seconds)
{
    return dateTimeText(civilFromSeconds(localClock().wallOf(seconds))); // as the recorder writes it
}

std::string fullRowTimeText(double time)
{
    std::string text = rowTimeText(static_cast<std::int64_t>(std::floor(time)));
    if (text.find(' ') == std::string::npos)
        text += " 0:00:00";
    return text;
}

std::string rowDateText(std::int64_t seconds)
{
    const std::string text = rowTimeText(seconds);
    return text.substr(0, text.find(' '));
}

std::int64_t blockStart(double time, std::int64_t length)
{
    assert(length > 0);
    const auto second = static_cast<std::int64_t>(std::floor(time));
    const LocalClock &clock = localClock();
    const std::int64_t wall = clock.wallOf(second);
    const std::int64_t wallStart = wall - ((wall % length) + length) % length;
    // Where no change lies between the block's start and the time, as long before it as on the
    // wall clock; else the wall clock's start read back (a midnight is no repeated time).
    const std::int64_t start = second - (wall - wallStart);
    return clock.wallOf(start) == wallStart ? start : clock.standardOf(wallStart);
}

std::int64_t nextBlockStart(std::int64_t start, std::int64_t length)
{
    assert(length > 0);
    const LocalClock &clock = localClock();
    const std::int64_t wallStart = clock.wallOf(start);
    std::int64_t next = std::max(clock.standardOf(wallStart + length, start + 1), start + 1);
    // A change of the shift inside begins a block of its own where the wall clock's block there
    // is another (the repeated hour), never where it is the same (the day of the change).
    if (const std::optional<std::int64_t> change = clock.nextChange(start, next - 1);
        change && blockStart(static_cast<double>(*change), length) != start)
        next = *change;
    return next;
}

} // namespace svglogger
