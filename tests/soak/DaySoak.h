#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace svglogger::test {

// Hours of simulator output at five lines a second through the whole engine, with a fake
// clock and log files that are checked as they are written and not kept.
class DaySoak
{
public:
    enum class Mode { Continuous, Interval, Trigger };

    struct Result {
        std::int64_t lines = 0;           // measurement lines sent
        std::int64_t rows = 0;            // rows written, all files
        std::int64_t files = 0;           // files opened
        std::int64_t sampleCountSum = 0;  // interval mode: the "DT数" column added up
        std::int64_t stillOpen = 0;       // interval mode: samples of the interval not yet written
        std::int64_t completeCaptures = 0;
        std::int64_t shortCaptures = 0;   // trigger mode: capture files ended with fewer rows
        std::size_t heapAfterFirstHour = 0;
        std::size_t heapAtEnd = 0;
        std::string problem;              // the first rule a file broke, empty when none
    };

    // Trigger mode: a window-out condition on the grid voltage, a dip every 60 s, captures of
    // 100 pre-trigger rows and N = 1000.
    static constexpr int kRecordCount = 1000;

    static Result run(Mode mode, int hours = 24);
};

} // namespace svglogger::test
