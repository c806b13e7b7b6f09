#include "reading/PreTriggerRows.h"

#include <chrono>
#include <cmath>
#include <cstdint>

namespace svglogger {

namespace {

// 1 or 2 digits from the front of `text`, then `mark`.
std::optional<int> field(std::string_view &text, char mark)
{
    int value = 0;
    std::size_t digits = 0;
    while (digits < text.size() && digits < 2 && text[digits] >= '0' && text[digits] <= '9')
        value = value * 10 + (text[digits++] - '0');
    if (digits == 0 || digits >= text.size() || text[digits] != mark)
        return std::nullopt;
    text.remove_prefix(digits + 1);
    return value;
}

} // namespace

std::optional<FileNameTime> fileNameTime(std::string_view name)
{
    if (const std::size_t slash = name.find_last_of("/\\"); slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    if (!name.starts_with("Tarmin") || !name.ends_with(".csv"))
        return std::nullopt;
    name.remove_prefix(6);
    const std::optional<int> day = field(name, 'D');
    const std::optional<int> hour = day ? field(name, 'H') : std::nullopt;
    const std::optional<int> minute = hour ? field(name, 'M') : std::nullopt;
    if (!minute || name.empty() || name[0] < '0' || name[0] > '9')
        return std::nullopt;
    int second = name[0] - '0';
    if (name.size() > 1 && name[1] >= '0' && name[1] <= '9')
        second = second * 10 + (name[1] - '0');
    if (*day < 1 || *day > 31 || *hour > 23 || *minute > 59 || second > 59)
        return std::nullopt;
    return FileNameTime{*day, (*hour * 60 + *minute) * 60 + second};
}

std::size_t preTriggerRows(std::string_view fileName, const double *times, std::size_t rows,
                           std::size_t preTriggerCount)
{
    const std::optional<FileNameTime> named = fileNameTime(fileName);
    if (!named || rows == 0)
        return 0;
    // The name's moment on the calendar of the file's first row: the same day of the month,
    // or the next days' (a capture that fired after midnight with its ring from before).
    using namespace std::chrono;
    const auto firstSecond = static_cast<std::int64_t>(std::floor(times[0]));
    const sys_days firstDay{days{firstSecond >= 0 ? firstSecond / 86400 : (firstSecond - 86399) / 86400}};
    std::int64_t moment = -1;
    for (int ahead = 0; ahead <= 1 && moment < 0; ++ahead) {
        const year_month_day date{firstDay + days{ahead}};
        if (static_cast<unsigned>(date.day()) == static_cast<unsigned>(named->day))
            moment = sys_days{date}.time_since_epoch().count() * 86400LL + named->secondOfDay;
    }
    if (moment < 0 || moment <= firstSecond)
        return 0; // named by its first row: an hourly file, or a capture without rows before it
    // The rows certainly before the firing (stamped before the name's second), and those that
    // may be (stamped in its second, before the last one of it).
    std::size_t before = 0;
    while (before < rows && std::floor(times[before]) < static_cast<double>(moment))
        ++before;
    std::size_t inItsSecond = before;
    while (inItsSecond < rows && std::floor(times[inItsSecond]) == static_cast<double>(moment))
        ++inItsSecond;
    if (preTriggerCount >= before && preTriggerCount < inItsSecond)
        return preTriggerCount;
    return before;
}

} // namespace svglogger
