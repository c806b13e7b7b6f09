#include "tools/RecordedDay.h"

#include <cstdio>
#include <cstdlib>
#include <string>

// svg-make-day FOLDER [--interval SECONDS] [--hours N] [--version 1|2] [--events SECONDS]:
// a day of the simulator's stream recorded as the logger's hourly files.
int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: svg-make-day FOLDER [--interval SECONDS] [--hours N] [--version 1|2] [--events SECONDS]\n");
        return 2;
    }
    svglogger::RecordedDay day;
    day.folder = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (option == "--interval") {
            day.interval = true;
            day.intervalSeconds = value;
        } else if (option == "--hours") {
            day.hours = value;
        } else if (option == "--version") {
            day.version = value;
        } else if (option == "--events") {
            day.eventEverySeconds = value;
        } else {
            std::fprintf(stderr, "svg-make-day: unknown option %s\n", option.c_str());
            return 2;
        }
    }
    const long long rows = day.write();
    if (rows < 0) {
        std::fprintf(stderr, "svg-make-day: cannot write into %s\n", day.folder.c_str());
        return 1;
    }
    std::printf("%lld rows in %d files in %s\n", rows, day.hours, day.folder.c_str());
    return 0;
}
