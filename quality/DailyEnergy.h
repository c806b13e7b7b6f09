#pragma once

#include "quality/RowSpans.h"
#include "quality/SvgSign.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace svglogger {

// Energy and power factor per day: each row's powers over the time it stands for (an interval
// row's means over its interval; a gap adds nothing, never bridged), split at midnight where
// that time crosses it; P from the load's active power, the reactive power at the point of
// connection the load's and the SVG's output read by the SVG's sign. Indicative: the meter of
// record decides.
struct DailyEnergy {
    std::int64_t day = 0; // seconds of the local clock at its midnight
    double kwh = 0.0;
    double kvarhLagging = 0.0, kvarhLeading = 0.0; // at the point of connection
    double svgKvarh = 0.0;                         // the SVG's output, either sign
    double loadKvarh = 0.0;                        // the load's, signed
    // Energy-weighted: kWh ÷ √(kWh² + kvarh²), kvarh net of lagging and leading.
    std::optional<double> loadPowerFactor() const;
    std::optional<double> connectionPowerFactor() const;
};

// Per day; with `dayHours` (from, to) only the time of those hours of each day.
std::vector<DailyEnergy> dailyEnergy(const RowSpans &rows, SvgSign sign,
                                     std::optional<std::pair<int, int>> dayHours = std::nullopt);

} // namespace svglogger
