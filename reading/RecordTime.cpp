#include "reading/RecordTime.h"

#include "recording/CsvText.h"
#include "recording/DateSerial.h"

#include <chrono>

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
    // The date: fixed positions.
    if (text.size() < 10 || text[4] != '/' || text[7] != '/')
        return std::nullopt;
    const int year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
    if (year < 0 || month < 0 || day < 0
        || !std::chrono::year_month_day(std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                        std::chrono::day(static_cast<unsigned>(day)))
                .ok())
        return std::nullopt;
    const std::int64_t midnight = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400;
    if (text.size() == 10)
        return midnight;
    // " H:MM:SS" or " HH:MM:SS".
    const std::size_t hourDigits = text.size() == 18 ? 1 : text.size() == 19 ? 2 : 0;
    if (hourDigits == 0 || text[10] != ' ' || text[11 + hourDigits] != ':' || text[14 + hourDigits] != ':')
        return std::nullopt;
    const int hour = digits(text, 11, hourDigits);
    const int minute = digits(text, 12 + hourDigits, 2);
    const int second = digits(text, 15 + hourDigits, 2);
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return std::nullopt;
    return midnight + hour * 3600 + minute * 60 + second;
}

std::string rowTimeText(std::int64_t seconds)
{
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    LocalDateTime time;
    civilFromDays(days, time.year, time.month, time.day);
    time.hour = static_cast<int>(rest / 3600);
    time.minute = static_cast<int>(rest / 60 % 60);
    time.second = static_cast<int>(rest % 60);
    return dateTimeText(time); // as the recorder writes it
}

} // namespace svglogger
