#pragma once

#include "quality/VoltageEvents.h"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace svglogger {

// Voltage events counted in EN 50160's tables: dips by residual voltage and duration, swells by
// highest voltage and duration, interruptions short and long. The rows are ~200 ms values, so a
// one-row event lands in the first duration column (its 10–200 ms part is not measurable).
struct EventTables {
    // Rows: residual 90–80, 80–70, 70–40, 40–5, below 5 % of Uc; columns: duration up to
    // 0.2, 0.5, 1, 5 and 60 s. An interruption of up to 60 s counts in the last row too.
    static constexpr std::array<double, 5> kDipResiduals{0.90, 0.80, 0.70, 0.40, 0.05}; // each row's upper edge
    static constexpr std::array<double, 5> kDipSeconds{0.2, 0.5, 1.0, 5.0, 60.0};
    // Rows: at least 120 %, 110–120 % of Uc; columns: duration up to 0.5, 5 and 60 s.
    static constexpr std::array<double, 2> kSwellLevels{1.20, 1.10}; // each row's lower edge
    static constexpr std::array<double, 3> kSwellSeconds{0.5, 5.0, 60.0};

    std::array<std::array<std::size_t, 5>, 5> dips{};
    std::array<std::array<std::size_t, 3>, 2> swells{};
    std::size_t shortInterruptions = 0, longInterruptions = 0;
    std::size_t longerThanTheTables = 0; // under- and overvoltages: beyond a threshold for more than 60 s
    std::size_t durationUnknown = 0;     // shown by an interval row's extreme alone
};

EventTables eventTables(const std::vector<VoltageEvent> &events, double nominal);

} // namespace svglogger
