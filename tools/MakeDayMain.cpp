#include "common/ProgramVersion.h"
#include "reading/RecordTime.h"
#include "recording/DateSerial.h"
#include "tools/EuropeanSummerTime.h"
#include "tools/RecordedDay.h"

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

namespace {

const std::string kUsage =
    "Usage: svg-make-day FOLDER [OPTION...]\n"
    "Writes the simulator's stream as the logger's hourly files (Tarmin<day>D<hour>H0M0.csv) into FOLDER:\n"
    "a day from 2026/12/07 0:00:00 by default, stamped by the wall clock.\n"
    "\n"
    "Options:\n"
    "  --start yyyy/mm/dd         the first day (default 2026/12/07)\n"
    "  --hours N                  hours of files, beyond 24 into the next days' (default 24)\n"
    "  --summer-time european     the wall clock keeps Europe's summer time, as a logger there:\n"
    "                             no 2 o'clock file in spring, both 2 o'clock hours in one in autumn\n"
    "  --interval SECONDS         interval rows of SECONDS instead of continuous ones\n"
    "  --controller-version 1|2   an older controller with 1 (default 2)\n"
    "  --events SECONDS           a voltage dip and a load step every SECONDS\n"
    "  --dip-depth VOLTS          each dip VOLTS deep (default "
    + std::to_string(static_cast<int>(svglogger::RecordedDay{}.dipVolts)) + ")\n"
    "  -h, --help                 show this help\n"
    "  --version                  show the program's version\n";

// A whole number from `low` to `high`, or none.
bool wholeNumber(std::string_view text, int low, int high, int &value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

} // namespace

// svg-make-day: a day of the simulator's stream recorded as the logger's hourly files.
int main(int argc, char *argv[])
{
    svglogger::RecordedDay day;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(kUsage.c_str(), stdout);
            return 0;
        }
        if (argument == "--version") {
            std::fputs(svglogger::versionLine("svg-make-day").c_str(), stdout);
            return 0;
        }
        if (!argument.starts_with("-")) {
            if (!day.folder.empty()) {
                std::fprintf(stderr, "svg-make-day: one folder only, not also '%s'\n%s", argv[i], kUsage.c_str());
                return 2;
            }
            day.folder = argv[i];
            continue;
        }
        if (argument == "--start" || argument == "--summer-time") {
            const std::string_view value = i + 1 < argc ? std::string_view(argv[i + 1]) : std::string_view();
            if (argument == "--summer-time") {
                if (value != "european") {
                    std::fprintf(stderr, "svg-make-day: --summer-time takes european\n");
                    return 2;
                }
                day.zone = std::make_shared<svglogger::EuropeanSummerTime>();
            } else {
                const std::optional<std::int64_t> start = svglogger::parseRowTime(value);
                if (!start || *start % 86400 != 0) {
                    std::fprintf(stderr, "svg-make-day: --start takes a date, yyyy/mm/dd\n");
                    return 2;
                }
                svglogger::civilFromDays(*start / 86400, day.year, day.month, day.day);
            }
            ++i;
            continue;
        }
        struct Option {
            std::string_view name;
            int low, high;
            int *target;
        };
        int interval = 0, dipDepth = 0;
        const Option options[] = {{"--interval", 1, 3600, &interval},
                                  {"--dip-depth", 1, 6600, &dipDepth},
                                  {"--hours", 1, 24 * 366, &day.hours},
                                  {"--controller-version", 1, 2, &day.version}};
        int events = 0;
        const Option *option = nullptr;
        for (const Option &o : options)
            if (o.name == argument)
                option = &o;
        const bool isEvents = argument == "--events";
        if (!option && !isEvents) {
            std::fprintf(stderr, "svg-make-day: unknown option %s\n%s", argv[i], kUsage.c_str());
            return 2;
        }
        const int low = isEvents ? 1 : option->low, high = isEvents ? 86400 : option->high;
        int value = 0;
        if (i + 1 >= argc || !wholeNumber(argv[i + 1], low, high, value)) {
            std::fprintf(stderr, "svg-make-day: %s takes a whole number from %d to %d\n", argv[i], low, high);
            return 2;
        }
        ++i;
        if (isEvents) {
            events = value;
            day.eventEverySeconds = events;
        } else {
            *option->target = value;
            if (option->target == &dipDepth)
                day.dipVolts = dipDepth;
            if (option->target == &interval) {
                day.interval = true;
                day.intervalSeconds = interval;
            }
        }
    }
    if (day.folder.empty()) {
        std::fputs(kUsage.c_str(), stderr);
        return 2;
    }
    const long long rows = day.write();
    if (rows < 0) {
        std::fprintf(stderr, "svg-make-day: cannot write into %s\n", day.folder.c_str());
        return 1;
    }
    std::printf("%lld rows in %s\n", rows, day.folder.c_str());
    return 0;
}
