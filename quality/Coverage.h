#pragma once

#include "reading/RecordTable.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace svglogger {

// How much of a period the rows cover: the samples against those the recording's own rate
// gives, each gap (a step longer than three sample periods) with its span, and the time the
// status word says the SVG ran (the "running" bits), or, without such bits, the time its
// output was not 0 — which tells less, and is said so.
struct Coverage {
    struct Gap {
        double from = 0.0, to = 0.0; // the rows either side
    };
    std::size_t samples = 0;
    double expected = 0.0; // samples the period [from, to) holds at the sample period
    std::vector<Gap> gaps;
    std::optional<double> runningSeconds; // with running bits
    double outputSeconds = 0.0;           // the SVG's output not 0

    double percent() const { return expected <= 0.0 ? 0.0 : 100.0 * static_cast<double>(samples) / expected; }
};

// Over the rows in [from, to); `runningBits` 0: availability not determinable.
Coverage coverageOf(const RecordTable &table, double from, double to, double samplePeriod, double gapSeconds,
                    std::uint16_t runningBits);

} // namespace svglogger
