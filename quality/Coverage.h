#pragma once

#include "quality/RowSpans.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace svglogger {

// How much of a period the rows cover: the time they stand for (an interval row its interval,
// a continuous row the time to the next, never across a gap) against the period's, each gap (a
// step longer than three sample periods) with its span, and the time the status word says the
// SVG ran (the "running" bits), or, without such bits, the time its output was not 0 — which
// tells less, and is said so.
struct Coverage {
    struct Gap {
        double from = 0.0, to = 0.0; // the last row's time before it, where the rows' time begins again
    };
    std::size_t samples = 0; // rows whose time begins in the period
    double expected = 0.0;   // samples the period [from, to) holds at the sample period
    double seconds = 0.0;    // of the period the rows stand for
    double periodSeconds = 0.0;
    std::vector<Gap> gaps;
    std::optional<double> runningSeconds; // with running bits
    double outputSeconds = 0.0;           // the SVG's output not 0

    // Never above 100: no second is counted twice.
    double percent() const { return periodSeconds <= 0.0 ? 0.0 : 100.0 * seconds / periodSeconds; }
    // Of the time the rows stand for (time without rows tells nothing of the SVG), not of rows
    // × a step: the running bits' share; none without such bits.
    std::optional<double> availabilityPercent() const
    {
        if (!runningSeconds)
            return std::nullopt;
        return seconds <= 0.0 ? 0.0 : 100.0 * *runningSeconds / seconds;
    }
    double outputPercent() const { return seconds <= 0.0 ? 0.0 : 100.0 * outputSeconds / seconds; }
};

// Over [from, to); `runningBits` 0: availability not determinable.
Coverage coverageOf(const RowSpans &rows, double from, double to, std::uint16_t runningBits);

} // namespace svglogger
