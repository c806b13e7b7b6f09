#include "link/MeasurementTime.h"

namespace svglogger {

namespace {

void putTwoDigits(std::string &text, std::size_t at, int value)
{
    value %= 100;
    if (value < 0)
        value = -value;
    text[at] = static_cast<char>('0' + value / 10);
    text[at + 1] = static_cast<char>('0' + value % 10);
}

} // namespace

std::string formatMeasurementTime(const LocalDateTime &time)
{
    std::string text = "00/00 00:00:00";
    putTwoDigits(text, 0, time.month);
    putTwoDigits(text, 3, time.day);
    putTwoDigits(text, 6, time.hour);
    putTwoDigits(text, 9, time.minute);
    putTwoDigits(text, 12, time.second);
    return text;
}

} // namespace svglogger
