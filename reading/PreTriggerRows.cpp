#include "reading/PreTriggerRows.h"

#include "reading/LocalClock.h"

#include "recording/LogFileName.h"

#include <chrono>
#include <cmath>
#include <cstdint>

namespace svglogger {

std::optional<FileNameTime> fileNameTime(std::string_view name)
{
    if (const std::size_t slash = name.find_last_of("/\\"); slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    // Whatever follows the second: a copy of a capture under another name still says its moment.
    const std::optional<ParsedLogFileName> parsed = parseLogFileName(name);
    if (!parsed || !parsed->name.onTheClock())
        return std::nullopt;
    const LogFileName &named = parsed->name;
    return FileNameTime{named.day, (named.hour * 60 + named.minute) * 60 + named.second};
}

std::size_t preTriggerRows(std::string_view fileName, const double *times, std::size_t rows,
                           std::size_t preTriggerCount)
{
    const std::optional<FileNameTime> named = fileNameTime(fileName);
    if (!named || rows == 0)
        return 0;
    // The name's moment on the calendar of the file's first row: the same day of the month,
    // or the next days' (a capture that fired after midnight with its ring from before).
    // The name is the wall clock's, the rows' times are on standard time (see LocalClock).
    using namespace std::chrono;
    const LocalClock &clock = localClock();
    const auto firstSecond = static_cast<std::int64_t>(std::floor(times[0]));
    const std::int64_t firstWall = clock.wallOf(firstSecond);
    const sys_days firstDay{days{firstWall >= 0 ? firstWall / 86400 : (firstWall - 86399) / 86400}};
    std::int64_t moment = -1;
    for (int ahead = 0; ahead <= 1 && moment < 0; ++ahead) {
        const year_month_day date{firstDay + days{ahead}};
        if (static_cast<unsigned>(date.day()) == static_cast<unsigned>(named->day))
            moment = sys_days{date}.time_since_epoch().count() * 86400LL + named->secondOfDay;
    }
    if (moment < 0 || moment <= firstWall)
        return 0; // named by its first row: an hourly file, or a capture without rows before it
    moment = clock.standardOf(moment, firstSecond);
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
