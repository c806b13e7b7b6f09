#pragma once

#include "quality/RowSpans.h"
#include "quality/SvgSign.h"
#include "quality/VoltageEvents.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace svglogger {

// How much the SVG steadied the voltage, per day: each clock minute's swing (max − min) of the
// voltage and of the voltage without the SVG, on a 100 V base (× 100 ÷ Uc); their 95th
// percentile and maximum; the suppression 1 − swing ÷ swing without; the rapid voltage changes
// of both. Content up to 2.5 Hz (five values a second): no ΔV10. From continuous rows only
// (an interval row's means hide the swing), and without the minutes that hold a dip, swell or
// interruption: the SVG's effect on the steady voltage, not the events' depth.
struct DailyEffectiveness {
    std::int64_t day = 0; // seconds of the local clock at its midnight
    std::size_t minutes = 0;      // judged
    std::size_t eventMinutes = 0; // left out: a dip, swell or interruption in them
    double swingP95 = 0.0, swingMax = 0.0;                       // V on 100 V
    double uncompensatedP95 = 0.0, uncompensatedMax = 0.0;       // V on 100 V
    std::optional<double> suppression;                           // of the 95th percentiles, a fraction
    std::size_t rapidChanges = 0, uncompensatedRapidChanges = 0;
};

struct EffectivenessSettings {
    double nominal = 6600.0;         // Uc, V
    double reactancePercent = 100.0; // %X per 10 MVA, as the window's
    double rapidChange = 0.03;       // the RVC threshold, a fraction of Uc
    SvgSign sign = SvgSign::Plus;    // how the SVG's output is read for the voltage without it
};

// `events`: the voltage events of the same rows, in time order.
std::vector<DailyEffectiveness> svgEffectiveness(const RowSpans &rows, const EffectivenessSettings &settings,
                                                 const std::vector<VoltageEvent> &events);

// Rapid voltage changes in `values` (one series without gaps): a steady state is five values
// within `threshold` volts of their mean; each departure from one that settles into the next
// counts once, unless it went beyond `eventBand` volts of the old mean (a dip or swell then).
std::size_t rapidVoltageChanges(const std::vector<double> &values, double threshold, double eventBand);

} // namespace svglogger
