#pragma once

#include <memory>
#include <string>

namespace svglogger {

class ClockZone;

// Log files as the logger records a day of the simulator's stream: one file an hour,
// "Tarmin<day>D<hour>H0M0.csv", Shift-JIS headers, CR LF, rows five a second (continuous)
// or one per interval, stamped by the wall clock. Where the clock keeps daylight saving, as
// the logger does: no 2 o'clock file in spring, both 2 o'clock hours in one file in autumn
// (a new file when the hour's number changes). For trying the viewer, its benchmarks and tests.
struct RecordedDay {
    std::string folder;
    int year = 2026, month = 12, day = 7;
    int hours = 24;
    bool interval = false;       // interval rows of `intervalSeconds`
    int intervalSeconds = 10;
    int version = 2;
    unsigned seed = 1;
    double eventEverySeconds = 0; // > 0: a voltage dip and a load step at that period
    // How far each dip falls: 1400 V leaves 79 % of 6600 V, a dip by EN 50160 (below 90 %).
    double dipVolts = 1400.0;
    std::shared_ptr<const ClockZone> zone; // the wall clock's daylight saving; none: the clock runs on

    // The number of rows written; -1 when the folder cannot be written.
    long long write() const;
};

} // namespace svglogger
