#pragma once

#include "reading/RecordTable.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace svglogger {

// Where a voltage event starts and ends, as fractions of the declared voltage Uc, with the
// hysteresis of EN 50160's indicative method; a residual below `interruption` makes a dip an
// interruption, short up to `longInterruptionSeconds`. A dip or swell lasts at most
// `longestDipSeconds`: beyond that the deviation is a slow voltage variation.
struct VoltageEventLimits {
    double nominal = 6600.0; // Uc, V
    double dipStart = 0.90, dipEnd = 0.92;
    double swellStart = 1.10, swellEnd = 1.08;
    double interruption = 0.05;
    double longInterruptionSeconds = 180.0;
    static constexpr double longestDipSeconds = 60.0;
};

// A dip, swell or interruption of the grid voltage found in recorded rows: resolution one
// row (~200 ms RMS values, no IEC 61000-4-30 instrument), so indicative only.
struct VoltageEvent {
    // Undervoltage, overvoltage: beyond the dip or swell threshold for longer than a dip lasts.
    enum class Kind { Dip, Swell, ShortInterruption, LongInterruption, Undervoltage, Overvoltage };
    Kind kind = Kind::Dip;
    std::size_t firstRow = 0, lastRow = 0; // its rows, both included
    double start = 0.0;                    // where its first row's time begins (an interval row's interval)
    // The time its rows stand for (each the time to the next row, see RowSpans), whatever the
    // rate; none where an interval row's extreme alone shows it.
    std::optional<double> seconds;
    float extreme = 0.0f; // the lowest value of a dip or interruption, the highest of a swell, V

    // Whether the 10-minute values it touches are flagged (left out of their verdicts): a dip,
    // swell or interruption is; a slow voltage variation is what those values are there to judge.
    bool flagsTenMinuteValues() const { return kind != Kind::Undervoltage && kind != Kind::Overvoltage; }
};

// The events of the grid voltage over all rows of `table`, in time order. An interval row
// (with its minimum and maximum) takes part by its extremes, its duration unknown, from the
// start of its interval. An event ends where its end threshold is crossed, at a gap (more than
// `gapSeconds` from a row to where the next row's time begins) and at the last row.
std::vector<VoltageEvent> voltageEvents(const RecordTable &table, double samplePeriod, double gapSeconds,
                                        const VoltageEventLimits &limits = {});

} // namespace svglogger
